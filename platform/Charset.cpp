#include "platform/Charset.h"

#include <glib.h>
#include <iconv.h>

#include <cerrno>

namespace platform {
namespace {

// One iconv descriptor, closed with its owner.
class Iconv {
  public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Iconv() {
        if (Valid()) iconv_close(cd_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool Valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const { return cd_; }

  private:
    iconv_t cd_;
};

// iconv descriptors are not thread-safe; each thread keeps its own pair.
struct Converters {
    Iconv toUtf8{"UTF-8", "GB18030"};
    Iconv toAnsi{"GB18030", "UTF-8"};
};

Converters& ThreadConverters() {
    thread_local Converters converters;
    return converters;
}

// Converts with a replacement for each byte that cannot be converted, so that
// a damaged page still yields the rest of its text.
std::string Convert(iconv_t cd, std::string_view in, std::string_view replacement) {
    std::string out;
    out.reserve(in.size() * 3 / 2 + 16);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char buffer[4096];
    while (srcLeft > 0) {
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, static_cast<size_t>(dst - buffer));
        if (rc != static_cast<size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL (a truncated sequence at the end): skip one byte.
        out.append(replacement);
        ++src;
        --srcLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    char* dst = buffer;
    size_t dstLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, &dst, &dstLeft);
    out.append(buffer, static_cast<size_t>(dst - buffer));
    return out;
}

}  // namespace

std::string AnsiToUtf8(std::string_view ansi) {
    bool ascii = true;
    for (const char c : ansi) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii) return std::string(ansi);
    return Convert(ThreadConverters().toUtf8.Get(), ansi, "\xEF\xBF\xBD");
}

AnsiString Utf8ToAnsi(std::string_view utf8) {
    bool ascii = true;
    for (const char c : utf8) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii) return AnsiString(utf8);
    return Convert(ThreadConverters().toAnsi.Get(), utf8, "?");
}

AnsiString Utf16UnitToAnsi(unsigned unit) {
    if (unit >= 0xD800 && unit <= 0xDFFF) return "?";
    char utf8[8] = {};
    const int n = g_unichar_to_utf8(static_cast<gunichar>(unit & 0xFFFF), utf8);
    return Utf8ToAnsi(std::string_view(utf8, static_cast<size_t>(n)));
}

bool IsValidUtf8(std::string_view bytes) {
    return g_utf8_validate(bytes.data(), static_cast<gssize>(bytes.size()), nullptr);
}

}  // namespace platform
