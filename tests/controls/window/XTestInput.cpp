#include "XTestInput.h"

#include <X11/extensions/XTest.h>
#include <gdk/gdkx.h>

namespace xtest {
namespace {

Display* XDisplay() {
    GdkDisplay* display = gdk_display_get_default();
    return display && GDK_IS_X11_DISPLAY(display) ? GDK_DISPLAY_XDISPLAY(display) : nullptr;
}

}  // namespace

bool Available() {
    Display* d = XDisplay();
    int event = 0, error = 0, major = 0, minor = 0;
    return d && XTestQueryExtension(d, &event, &error, &major, &minor);
}

void MoveTo(int rootX, int rootY) {
    if (Display* d = XDisplay()) XTestFakeMotionEvent(d, -1, rootX, rootY, CurrentTime);
}

void Button(int button, bool press) {
    if (Display* d = XDisplay())
        XTestFakeButtonEvent(d, static_cast<unsigned>(button), press, CurrentTime);
}

void TypeKey(unsigned long keysym) {
    Display* d = XDisplay();
    if (!d) return;
    const KeyCode code = XKeysymToKeycode(d, keysym);
    if (!code) return;
    XTestFakeKeyEvent(d, code, True, CurrentTime);
    XTestFakeKeyEvent(d, code, False, CurrentTime);
}

void Flush() {
    if (Display* d = XDisplay()) XSync(d, False);
}

}  // namespace xtest
