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

TerminationSignals::TerminationSignals() {
    const int signals[] = {SIGTERM, SIGINT, SIGHUP};
    for (int i = 0; i < 3; ++i) {
        sources_[i] = g_unix_signal_add(
            signals[i],
            [](gpointer self) -> gboolean {
                static_cast<TerminationSignals*>(self)->Deliver();
                return G_SOURCE_CONTINUE;
            },
            this);
    }
}

TerminationSignals::~TerminationSignals() {
    if (late_ != 0) g_source_remove(late_);
    for (const unsigned source : sources_)
        if (source != 0) g_source_remove(source);
}

void TerminationSignals::Deliver() {
    if (!onSignal_) {
        pending_ = true;
        return;
    }
    // A copy: the handler may replace itself.
    const std::function<void()> handler = onSignal_;
    handler();
}

void TerminationSignals::SetHandler(std::function<void()> onSignal) {
    onSignal_ = std::move(onSignal);
    if (late_ != 0) {
        g_source_remove(late_);
        late_ = 0;
    }
    if (!onSignal_ || !pending_) return;
    // Not at once: the caller sets the handler before it shows what the
    // handler closes; the loop hands the signal over once it runs.
    late_ = g_idle_add(
        [](gpointer data) -> gboolean {
            auto* self = static_cast<TerminationSignals*>(data);
            self->late_ = 0;
            self->pending_ = false;
            self->Deliver();
            return G_SOURCE_REMOVE;
        },
        this);
}

}  // namespace platform::ui
