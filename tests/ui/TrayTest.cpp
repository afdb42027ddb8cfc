#include "platform/ui/TrayIcon.h"
#include "platform/ui/Window.h"

#include "tests/support/window/WindowTest.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

// After gtest: Xlib's macros (None, Bool) would break its templates.
#include <gdk/gdkx.h>
#include <gtk/gtkx.h>

using namespace platform::ui;

namespace {

// A minimal notification area: owns the tray selection, announces itself and
// embeds every icon that asks to dock, as a desktop panel would.
class FakeTray {
  public:
    FakeTray() {
        window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        box_ = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
        gtk_container_add(GTK_CONTAINER(window_), box_);
        gtk_widget_show_all(window_);
        GdkDisplay* display = gdk_display_get_default();
        Display* x = GDK_DISPLAY_XDISPLAY(display);
        const Window owner = GDK_WINDOW_XID(gtk_widget_get_window(window_));
        const Atom selection = XInternAtom(x, "_NET_SYSTEM_TRAY_S0", False);
        XSetSelectionOwner(x, selection, owner, CurrentTime);
        gdk_window_add_filter(gtk_widget_get_window(window_), &FakeTray::Filter, this);
        XClientMessageEvent manager{};
        manager.type = ClientMessage;
        manager.window = DefaultRootWindow(x);
        manager.message_type = XInternAtom(x, "MANAGER", False);
        manager.format = 32;
        manager.data.l[0] = CurrentTime;
        manager.data.l[1] = static_cast<long>(selection);
        manager.data.l[2] = static_cast<long>(owner);
        XSendEvent(x, DefaultRootWindow(x), False, StructureNotifyMask,
                   reinterpret_cast<XEvent*>(&manager));
        XFlush(x);
    }
    ~FakeTray() {
        gdk_window_remove_filter(gtk_widget_get_window(window_), &FakeTray::Filter, this);
        gtk_widget_destroy(window_);
    }

  private:
    static GdkFilterReturn Filter(GdkXEvent* xevent, GdkEvent*, gpointer data) {
        auto* self = static_cast<FakeTray*>(data);
        auto* event = static_cast<XEvent*>(xevent);
        Display* x = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
        if (event->type != ClientMessage ||
            event->xclient.message_type != XInternAtom(x, "_NET_SYSTEM_TRAY_OPCODE", False) ||
            event->xclient.data.l[1] != 0)  // SYSTEM_TRAY_REQUEST_DOCK
            return GDK_FILTER_CONTINUE;
        GtkWidget* socket = gtk_socket_new();
        gtk_box_pack_start(GTK_BOX(self->box_), socket, FALSE, FALSE, 0);
        gtk_widget_show(socket);
        gtk_socket_add_id(GTK_SOCKET(socket), static_cast<Window>(event->xclient.data.l[2]));
        return GDK_FILTER_REMOVE;
    }

    GtkWidget* window_ = nullptr;
    GtkWidget* box_ = nullptr;
};

TEST(TrayTest, WithATrayHidingHidesAndTheIconBringsTheWindowBack) {
    uitest::RequireUi();
    FakeTray tray;
    ASSERT_TRUE(SystemTrayPresent());

    uitest::TempDir folder;
    const std::string icon = folder.Path() + "/quira.png";
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 22, 22);
    gdk_pixbuf_fill(pixbuf, 0x2a6fdbff);
    ASSERT_TRUE(gdk_pixbuf_save(pixbuf, icon.c_str(), "png", nullptr, nullptr));
    g_object_unref(pixbuf);

    GtkWindow* window = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    gtk_widget_show(GTK_WIDGET(window));
    TrayIcon trayIcon(icon, {{"show", nullptr}});
    trayIcon.OnActivate = [window] { ShowFromTray(window); };
    ASSERT_TRUE(uitest::PumpUntil([&] { return trayIcon.Shown(); }, 5000));

    EXPECT_EQ(HideToTray(window), HideResult::Hidden);
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(window)));
    EXPECT_TRUE(gtk_window_get_skip_taskbar_hint(window));
    trayIcon.OnActivate();
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(window)));
    EXPECT_FALSE(gtk_window_get_skip_taskbar_hint(window));
    gtk_widget_destroy(GTK_WIDGET(window));
}

}  // namespace
