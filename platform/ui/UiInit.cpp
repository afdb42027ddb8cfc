#include "platform/ui/UiInit.h"

#include "platform/ui/Fonts.h"
#include "platform/ui/UiThread.h"

#include <gtk/gtk.h>

namespace platform::ui {

bool InitUi(int* argc, char*** argv) {
    InstallFontAliases();
    // The hot key and the tray need X11; under Wayland GTK runs through
    // XWayland so that both keep working.
    gdk_set_allowed_backends("x11,*");
    if (!gtk_init_check(argc, argv)) return false;
    SetUiThread();
    return true;
}

void RunUi() {
    gtk_main();
}

void QuitUi() {
    gtk_main_quit();
}

}  // namespace platform::ui
