#pragma once

#include <gtk/gtk.h>

#include <set>

// Xlib last: its macros (None, Bool, Status) would break what follows them.
#include <gdk/gdkx.h>

namespace uitest {

// The one duty of a window manager that the tests' private display lacks:
// a window that asks to be iconified (the ICCCM WM_CHANGE_STATE message a
// program sends to the root window) is unmapped and marked iconic, so that
// the program sees itself minimised as on a desktop. Mapping it again
// needs no manager.
class FakeWindowManager {
  public:
    FakeWindowManager() {
        Display* x = XDisplay();
        const Window root = DefaultRootWindow(x);
        XWindowAttributes attributes;
        XGetWindowAttributes(x, root, &attributes);
        XSelectInput(x, root, attributes.your_event_mask | SubstructureNotifyMask);
        XSync(x, False);
        // The message names the program's window, not one of ours: only a
        // filter on every event sees it.
        gdk_window_add_filter(nullptr, &FakeWindowManager::Filter, this);
    }
    ~FakeWindowManager() { gdk_window_remove_filter(nullptr, &FakeWindowManager::Filter, this); }
    FakeWindowManager(const FakeWindowManager&) = delete;
    FakeWindowManager& operator=(const FakeWindowManager&) = delete;

    // The windows iconified so far (X ids).
    const std::set<unsigned long>& Iconified() const { return iconified_; }

  private:
    static Display* XDisplay() { return GDK_DISPLAY_XDISPLAY(gdk_display_get_default()); }

    static GdkFilterReturn Filter(GdkXEvent* xevent, GdkEvent*, gpointer data) {
        auto* self = static_cast<FakeWindowManager*>(data);
        auto* event = static_cast<XEvent*>(xevent);
        Display* x = XDisplay();
        if (event->type != ClientMessage ||
            event->xclient.message_type != XInternAtom(x, "WM_CHANGE_STATE", False) ||
            event->xclient.data.l[0] != IconicState)
            return GDK_FILTER_CONTINUE;
        const Window window = event->xclient.window;
        const Atom wmState = XInternAtom(x, "WM_STATE", False);
        const long state[2] = {IconicState, 0};
        XChangeProperty(x, window, wmState, wmState, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(state), 2);
        XUnmapWindow(x, window);
        XFlush(x);
        self->iconified_.insert(window);
        return GDK_FILTER_REMOVE;
    }

    std::set<unsigned long> iconified_;
};

}  // namespace uitest
