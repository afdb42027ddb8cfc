#pragma once

#include <string>

typedef struct _GtkWidget GtkWidget;
typedef struct _PangoFontDescription PangoFontDescription;

namespace platform::ui {

// The face every dialog and control uses. Fontconfig maps it, through the
// aliases below, to a Chinese sans-serif face that is installed here.
inline constexpr const char* kDefaultFontFace = "微软雅黑";
// The font's em height in pixels (a Windows font height of -12).
inline constexpr int kDefaultFontPixels = 12;

// Maps the Windows Chinese face names the programs and their pages use
// ("微软雅黑", "宋体", "KaiTi", ...) to installed faces (Noto CJK, the arphic
// faces). Writes a fontconfig file that includes the system configuration and
// adds the aliases, and points FONTCONFIG_FILE at it, so that the browser's
// web processes see the same aliases; call before any font is used (InitUi
// does) and before other threads run, since it changes the environment.
// Returns false when the file could not be written (the system faces stay).
bool InstallFontAliases();

// The fontconfig family that fontconfig picks for a face name now.
std::string MatchedFontFamily(const std::string& face);

// A new description of the default font; free it with pango_font_description_free.
PangoFontDescription* NewDefaultFont();

// Gives a widget (and the widgets inside it) the default font.
void SetDefaultFont(GtkWidget* widget);

}  // namespace platform::ui
