#include "platform/Image.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>

#include "tests/support/TempTree.h"

namespace {

using testing_support::TempTree;

void PutWord(std::string& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

void PutChunk(std::string& out, const char* type, const std::string& data) {
    PutWord(out, static_cast<uint32_t>(data.size()));
    const std::string typed = std::string(type, 4) + data;
    out += typed;
    PutWord(out, static_cast<uint32_t>(
                     crc32(0, reinterpret_cast<const Bytef*>(typed.data()), typed.size())));
}

// A whole, valid black RGB picture of the given size: its rows compress to
// almost nothing, so a file of kilobytes declares megapixels.
std::string BlackPng(uint32_t width, uint32_t height) {
    std::string png = "\x89PNG\r\n\x1a\n";
    std::string header;
    PutWord(header, width);
    PutWord(header, height);
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, no interlace
    PutChunk(png, "IHDR", header);

    z_stream z{};
    deflateInit(&z, Z_BEST_COMPRESSION);
    std::string row(1 + size_t{width} * 3, '\0');  // filter byte, then the pixels
    std::string rows;
    char buffer[64 * 1024];
    for (uint32_t y = 0; y <= height; ++y) {
        const bool last = y == height;
        z.next_in = reinterpret_cast<Bytef*>(row.data());
        z.avail_in = last ? 0 : static_cast<uInt>(row.size());
        do {
            z.next_out = reinterpret_cast<Bytef*>(buffer);
            z.avail_out = sizeof buffer;
            deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
            rows.append(buffer, sizeof buffer - z.avail_out);
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    PutChunk(png, "IDAT", rows);
    PutChunk(png, "IEND", "");
    return png;
}

// A picture decodes up to the limit and not a pixel past it, from bytes and
// from a file alike; what is no picture gives nothing.
TEST(Picture, DecodesUpToItsPixelLimit) {
    const std::string small = BlackPng(64, 48);
    const auto picture = platform::DecodePicture(small, 64 * 48);
    ASSERT_TRUE(picture);
    EXPECT_EQ(gdk_pixbuf_get_width(picture.get()), 64);
    EXPECT_EQ(gdk_pixbuf_get_height(picture.get()), 48);
    EXPECT_FALSE(platform::DecodePicture(small, 64 * 48 - 1));

    TempTree tree;
    const std::string file = tree.Write("cover.png", small);
    EXPECT_TRUE(platform::LoadPictureFile(file, 64 * 48));
    EXPECT_FALSE(platform::LoadPictureFile(file, 64 * 48 - 1));

    EXPECT_FALSE(platform::DecodePicture(""));
    EXPECT_FALSE(platform::DecodePicture("no picture"));
    EXPECT_FALSE(platform::DecodePicture(small.substr(0, 20)));
    EXPECT_FALSE(platform::LoadPictureFile(tree.Path("missing.png")));
}

// A file of a few kilobytes that declares 25 megapixels (75 MB of pixels,
// and a hostile one could declare gigapixels) is refused by its declared
// size, without decoding its rows.
TEST(Picture, ASmallFileDeclaringAHugePictureIsRefused) {
    const std::string huge = BlackPng(5000, 5000);
    ASSERT_LT(huge.size(), 200u * 1024);
    EXPECT_FALSE(platform::DecodePicture(huge));
    TempTree tree;
    EXPECT_FALSE(platform::LoadPictureFile(tree.Write("pic.png", huge)));
}

}  // namespace
