#pragma once

#include <gtk/gtk.h>

#include <vector>

// Xlib last: its macros (None, Bool, Status) would break what follows them.
#include <gdk/gdkx.h>
#include <gtk/gtkx.h>

namespace uitest {

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

    // The sockets that hold the docked icons, in the order they docked.
    std::vector<GtkWidget*> Icons() const {
        std::vector<GtkWidget*> icons;
        GList* children = gtk_container_get_children(GTK_CONTAINER(box_));
        for (GList* c = children; c; c = c->next) icons.push_back(GTK_WIDGET(c->data));
        g_list_free(children);
        return icons;
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

}  // namespace uitest
