#include "controls/ComponentGlobal.h"

#include <gio/gio.h>

#include <atomic>
#include <string>

#include "core/Regex.h"

extern "C" {
GResource* quira_controls_artwork_get_resource(void);
void quira_controls_artwork_register_resource(void);
GResource* quira_reader_artwork_get_resource(void);
void quira_reader_artwork_register_resource(void);
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

std::atomic<TProgramArtwork> g_program{TProgramArtwork::Main};

// The images stored under /quira/artwork/<folder>/ of a compiled-in bundle.
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

}  // namespace

TProgramArtwork SetProgramArtwork(TProgramArtwork program) {
    return g_program.exchange(program);
}

TProgramArtwork ProgramArtwork() {
    return g_program.load();
}

std::unique_ptr<TGPImage> LoadResourceImage(std::string_view name) {
    return LoadProgramImage(ProgramArtwork(), name);
}

std::unique_ptr<TGPImage> LoadProgramImage(TProgramArtwork program, std::string_view name) {
    // The bundles are compiled in; each is set up once, on first use.
    if (program == TProgramArtwork::Reader) {
        static GResource* const reader = [] {
            quira_reader_artwork_register_resource();
            return quira_reader_artwork_get_resource();
        }();
        return LoadBundleImage(reader, "reader", name);
    }
    static GResource* const controls = [] {
        quira_controls_artwork_register_resource();
        return quira_controls_artwork_get_resource();
    }();
    return LoadBundleImage(controls, "controls", name);
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
