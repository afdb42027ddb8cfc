#include "shelf/controls/ComponentGlobal.h"

#include <string>

#include "core/Regex.h"

extern "C" {
GResource* quira_controls_artwork_get_resource(void);
void quira_controls_artwork_register_resource(void);
}

namespace {

std::string LowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && LowerAscii(text.substr(0, prefix.size())) == prefix;
}

}  // namespace

std::unique_ptr<TGPImage> LoadBundleImage(GResource* bundle, std::string_view folder,
                                          std::string_view name) {
    if (!bundle || name.empty()) return nullptr;
    const std::string path =
        "/quira/artwork/" + std::string(folder) + "/" + LowerAscii(name) + ".png";
    GBytes* bytes =
        g_resource_lookup_data(bundle, path.c_str(), G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
    if (!bytes) return nullptr;
    gsize size = 0;
    const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
    std::unique_ptr<TGPImage> image = TGPImage::FromBytes(std::string_view(data, size));
    g_bytes_unref(bytes);
    return image;
}

std::unique_ptr<TGPImage> LoadResourceImage(std::string_view name) {
    // The bundle is compiled in; it is set up once, on first use.
    static GResource* const bundle = [] {
        quira_controls_artwork_register_resource();
        return quira_controls_artwork_get_resource();
    }();
    return LoadBundleImage(bundle, "controls", name);
}

void ExtractDateText(const AnsiString& text, AnsiString& result) {
    result.clear();
    RegexMatchResult match;
    if (Regex::Get(R"((?i)\d+/?\\?-?\d+/?\\?-?\d+)")->Search(text, match))
        result.assign(text, match.Start(), match.End() - match.Start());
}

AnsiString ExtractDateText(const AnsiString& text) {
    AnsiString result;
    ExtractDateText(text, result);
    return result;
}

bool IsWebURL(std::string_view url) {
    size_t hostStart = 0;
    if (StartsWithNoCase(url, "http://"))
        hostStart = 7;
    else if (StartsWithNoCase(url, "https://"))
        hostStart = 8;
    else
        return false;
    for (unsigned char c : url)
        if (c <= 0x20 || c == 0x7F) return false;
    const size_t hostEnd = url.find_first_of("/?#", hostStart);
    const std::string_view host = url.substr(hostStart, hostEnd - hostStart);
    // "http:///x" and "http://@/" name no host to go to.
    const size_t at = host.rfind('@');
    const std::string_view bare = at == std::string_view::npos ? host : host.substr(at + 1);
    return !bare.empty() && bare.front() != ':';
}
