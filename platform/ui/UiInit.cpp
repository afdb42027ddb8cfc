#include "platform/ui/UiInit.h"

#include "platform/ui/Fonts.h"
#include "platform/ui/UiThread.h"

#include <glib-unix.h>
#include <gtk/gtk.h>
#include <signal.h>

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

TerminationSignals::TerminationSignals(std::function<void()> onSignal)
    : onSignal_(std::move(onSignal)) {
    const int signals[] = {SIGTERM, SIGINT, SIGHUP};
    for (int i = 0; i < 3; ++i) {
        sources_[i] = g_unix_signal_add(
            signals[i],
            [](gpointer self) -> gboolean {
                const auto* owner = static_cast<TerminationSignals*>(self);
                if (owner->onSignal_) owner->onSignal_();
                return G_SOURCE_CONTINUE;
            },
            this);
    }
}

TerminationSignals::~TerminationSignals() {
    for (const unsigned source : sources_)
        if (source != 0) g_source_remove(source);
}

}  // namespace platform::ui
