#include "platform/ui/Fonts.h"

#include "platform/Folders.h"

#include <fontconfig/fontconfig.h>
#include <glib/gstdio.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <memory>
#include <string_view>

namespace platform::ui {
namespace {

struct Alias {
    const char* face;
    const char* prefer;
};

// Windows faces by what their pages and settings name, each to the nearest
// installed face in style: song/ming, sans-serif, kai.
constexpr Alias kAliases[] = {
    {"微软雅黑", "Noto Sans CJK SC"},
    {"Microsoft YaHei", "Noto Sans CJK SC"},
    {"黑体", "Noto Sans CJK SC"},
    {"SimHei", "Noto Sans CJK SC"},
    {"宋体", "AR PL UMing CN"},
    {"SimSun", "AR PL UMing CN"},
    {"新宋体", "AR PL UMing CN"},
    {"NSimSun", "AR PL UMing CN"},
    {"仿宋", "AR PL UMing CN"},
    {"FangSong", "AR PL UMing CN"},
    {"FangSong_GB2312", "AR PL UMing CN"},
    {"楷体", "AR PL UKai CN"},
    {"KaiTi", "AR PL UKai CN"},
    {"KaiTi_GB2312", "AR PL UKai CN"},
    {"方正启体", "AR PL UKai CN"},
    {"FZQiTi-S14S", "AR PL UKai CN"},
};

// Second choices when the first face is missing.
const char* Fallback(std::string_view prefer) {
    if (prefer == "AR PL UMing CN") return "Noto Serif CJK SC";
    if (prefer == "AR PL UKai CN") return "Noto Serif CJK SC";
    return "Noto Sans CJK SC";
}

std::string Escape(std::string_view text) {
    std::unique_ptr<char, decltype(&g_free)> escaped(
        g_markup_escape_text(text.data(), static_cast<gssize>(text.size())), g_free);
    return escaped.get();
}

std::string AliasRules() {
    std::string rules;
    for (const Alias& alias : kAliases) {
        // "binding strong": the preferred face wins over the generic families
        // that other rules append after an unknown name.
        rules += "<alias binding=\"strong\"><family>" + Escape(alias.face) +
                 "</family><prefer><family>" + Escape(alias.prefer) + "</family><family>" +
                 Escape(Fallback(alias.prefer)) + "</family></prefer></alias>\n";
    }
    return rules;
}

std::string SystemConfigFile() {
    if (const char* own = std::getenv("FONTCONFIG_FILE"); own && *own) return own;
    FcChar8* name = FcConfigFilename(nullptr);
    std::string result = name ? reinterpret_cast<const char*>(name) : "fonts.conf";
    FcStrFree(name);
    return result;
}

}  // namespace

bool InstallFontAliases() {
    const std::string folder = platform::RuntimeFolder();
    if (folder.empty()) return false;
    const std::string file = folder + "/fonts.conf";
    const std::string system = SystemConfigFile();
    // Already ours (a child process, or a second call): keep it.
    if (system == file) return true;
    const std::string xml =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n"
        "<fontconfig>\n<include ignore_missing=\"yes\">" +
        Escape(system) + "</include>\n" + AliasRules() + "</fontconfig>\n";
    GError* error = nullptr;
    if (!g_file_set_contents(file.c_str(), xml.c_str(), static_cast<gssize>(xml.size()), &error)) {
        g_clear_error(&error);
        return false;
    }
    g_setenv("FONTCONFIG_FILE", file.c_str(), TRUE);
    // When fontconfig was set up before this call, it has not read the file:
    // add the rules to the configuration in use as well.
    if (MatchedFontFamily(kDefaultFontFace) != kAliases[0].prefer) {
        const std::string rules = "<fontconfig>" + AliasRules() + "</fontconfig>";
        FcConfigParseAndLoadFromMemory(FcConfigGetCurrent(),
                                       reinterpret_cast<const FcChar8*>(rules.c_str()), FcFalse);
    }
    return true;
}

std::string MatchedFontFamily(const std::string& face) {
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(""));
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(face.c_str()));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    std::string family;
    FcChar8* value = nullptr;
    if (match && FcPatternGetString(match, FC_FAMILY, 0, &value) == FcResultMatch)
        family = reinterpret_cast<const char*>(value);
    if (match) FcPatternDestroy(match);
    FcPatternDestroy(pattern);
    return family;
}

PangoFontDescription* NewDefaultFont() {
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, kDefaultFontFace);
    pango_font_description_set_absolute_size(font, kDefaultFontPixels * PANGO_SCALE);
    return font;
}

void SetDefaultFont(GtkWidget* widget) {
    static GtkCssProvider* provider = [] {
        GtkCssProvider* css = gtk_css_provider_new();
        const std::string rule = std::string("* { font-family: \"") + kDefaultFontFace +
                                 "\"; font-size: " + std::to_string(kDefaultFontPixels) + "px; }";
        gtk_css_provider_load_from_data(css, rule.c_str(), -1, nullptr);
        return css;
    }();
    // Style providers of a widget do not reach its children: walk them too.
    gtk_style_context_add_provider(gtk_widget_get_style_context(widget),
                                   GTK_STYLE_PROVIDER(provider),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    if (GTK_IS_CONTAINER(widget)) {
        gtk_container_forall(
            GTK_CONTAINER(widget), [](GtkWidget* child, gpointer) { SetDefaultFont(child); },
            nullptr);
    }
}

}  // namespace platform::ui
