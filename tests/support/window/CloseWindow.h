#pragma once

// Xlib last in any file that includes this: its macros (None, Bool, Status)
// would break what follows them.
#include <X11/Xlib.h>

namespace uitest {

// Asks a window of another program to close as a window manager's close
// button does: the ICCCM WM_DELETE_WINDOW message (a dialog takes it as its
// cancel). Returns once the server has the request.
inline void CloseAsTheWindowManagerWould(Display* display, Window window) {
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = window;
    close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    close.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &close);
    XSync(display, False);
}

}  // namespace uitest
