#pragma once

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

// The most pixels a decoded picture may have. Far above any cover or story
// picture; a small file can declare a picture of gigapixels (a few kilobytes
// of compressed rows), and decoding it would take the memory of the process.
inline constexpr int64_t kMaxPicturePixels = 4096ll * 4096;

struct PixbufUnref {
    void operator()(GdkPixbuf* pixbuf) const {
        if (pixbuf) g_object_unref(pixbuf);
    }
};
using PixbufPtr = std::unique_ptr<GdkPixbuf, PixbufUnref>;

// The picture the bytes hold (any format gdk-pixbuf knows, no display
// needed); nothing when they hold none, are cut short, or declare more than
// maxPixels pixels, which is refused before the pixels are allocated.
PixbufPtr DecodePicture(std::string_view bytes, int64_t maxPixels = kMaxPicturePixels);
// The same for a picture file; nothing when it cannot be read.
PixbufPtr LoadPictureFile(const std::string& path, int64_t maxPixels = kMaxPicturePixels);

}  // namespace platform
