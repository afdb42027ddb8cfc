#include "tests/support/window/WindowTest.h"

#include "platform/ui/UiInit.h"

#include <X11/Xatom.h>
#include <X11/extensions/XTest.h>
#include <gdk/gdkx.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <vector>

namespace uitest {
namespace {

pid_t xvfb = 0;

void StopXvfb() {
    if (xvfb > 0) {
        kill(xvfb, SIGTERM);
        waitpid(xvfb, nullptr, 0);
        xvfb = 0;
    }
}

// Starts Xvfb on a free display; it writes the display number to our pipe.
// Xvfb finds that number itself (-displayfd): it tries the numbers in turn
// and takes the first whose socket it can bind, which no other server can
// take at the same moment. Its complaints about the numbers in use on the
// way go to a file of ours, shown only when it does not start.
bool StartXvfb() {
    int fds[2];
    if (pipe(fds) != 0) return false;
    char logName[] = "/tmp/quira-xvfb-XXXXXX";
    const int log = mkstemp(logName);
    xvfb = fork();
    if (xvfb < 0) return false;
    if (xvfb == 0) {
        close(fds[0]);
        if (log >= 0) dup2(log, STDERR_FILENO);
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24",
               "-nolisten", "tcp", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    std::atexit(StopXvfb);
    if (log >= 0) {
        if (number.empty()) {
            std::ifstream said(logName);
            std::fprintf(stderr, "Xvfb did not start:\n%s\n",
                         std::string(std::istreambuf_iterator<char>(said), {}).c_str());
        }
        unlink(logName);
        close(log);
    }
    if (number.empty()) return false;
    setenv("DISPLAY", (":" + number).c_str(), 1);
    return true;
}

Display* XDisplay() {
    GdkDisplay* display = gdk_display_get_default();
    return display && GDK_IS_X11_DISPLAY(display) ? GDK_DISPLAY_XDISPLAY(display) : nullptr;
}

void Flush() {
    if (Display* d = XDisplay()) XSync(d, False);
}

}  // namespace

bool OpenPrivateDisplay() {
    static const bool open = [] {
        // Every test process gets an X server of its own: tests run in
        // parallel and move the one pointer of a server.
        // The tests measure pixels: a scale from the environment would move them.
        setenv("GDK_SCALE", "1", 1);
        setenv("GDK_DPI_SCALE", "1", 1);
        // No desktop settings daemon here: keep settings in memory.
        setenv("GSETTINGS_BACKEND", "memory", 1);
        const char* watch = std::getenv("QUIRA_TEST_DISPLAY");
        if (watch && *watch) {
            setenv("DISPLAY", watch, 1);
            return true;
        }
        return StartXvfb();
    }();
    return open;
}

void RequireUi() {
    static const bool ready = [] {
        if (!OpenPrivateDisplay()) throw std::runtime_error("Xvfb did not start");
        // Each test process gets its own runtime folder (fonts, locks, channels).
        static TempDir runtime;
        setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
        int argc = 0;
        char** argv = nullptr;
        if (!platform::ui::InitUi(&argc, &argv)) throw std::runtime_error("no display");
        return true;
    }();
    (void)ready;
}

bool PumpUntil(const std::function<bool()>& pred, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= end) return pred();
        if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
    }
    return true;
}

void PumpFor(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
    }
}

void Settle() {
    if (GdkDisplay* display = gdk_display_get_default()) gdk_display_sync(display);
    PumpUntil([] { return !g_main_context_pending(nullptr); }, 500);
}

TempDir::TempDir() {
    char* made = g_dir_make_tmp("quira-ui-XXXXXX", nullptr);
    if (!made) throw std::runtime_error("no temporary folder");
    path_ = made;
    g_free(made);
}

TempDir::~TempDir() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
}

std::string TempDir::Write(const std::string& name, const std::string& content) const {
    const std::string file = path_ + "/" + name;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path());
    std::ofstream(file, std::ios::binary) << content;
    return file;
}

bool InputAvailable() {
    Display* d = XDisplay();
    int event = 0, error = 0, major = 0, minor = 0;
    return d && XTestQueryExtension(d, &event, &error, &major, &minor);
}

void PointerTo(int rootX, int rootY) {
    if (Display* d = XDisplay()) XTestFakeMotionEvent(d, -1, rootX, rootY, CurrentTime);
    Flush();
    PumpFor(30);
}

void Button(unsigned button, bool press) {
    if (Display* d = XDisplay()) XTestFakeButtonEvent(d, button, press, CurrentTime);
    Flush();
    PumpFor(30);
}

void Key(unsigned keysym, bool press) {
    Display* d = XDisplay();
    if (!d) return;
    const KeyCode code = XKeysymToKeycode(d, keysym);
    if (code) XTestFakeKeyEvent(d, code, press, CurrentTime);
    Flush();
    PumpFor(20);
}

void ClickAt(int rootX, int rootY) {
    PointerTo(rootX, rootY);
    Button(1, true);
    Button(1, false);
}

void DoubleClickAt(int rootX, int rootY) {
    PointerTo(rootX, rootY);
    // Both clicks inside the double-click time, with no loop turn between.
    if (Display* d = XDisplay()) {
        for (int i = 0; i < 2; ++i) {
            XTestFakeButtonEvent(d, 1, True, CurrentTime);
            XTestFakeButtonEvent(d, 1, False, CurrentTime);
        }
    }
    Flush();
    PumpFor(60);
}

void Wheel(bool down) {
    Button(down ? 5 : 4, true);
    Button(down ? 5 : 4, false);
}

void TypeKey(unsigned keysym, std::initializer_list<unsigned> modifiers) {
    for (const unsigned m : modifiers) Key(m, true);
    Key(keysym, true);
    Key(keysym, false);
    for (auto m = std::rbegin(modifiers); m != std::rend(modifiers); ++m) Key(*m, false);
}

void TypeText(const std::string& ascii) {
    for (const char c : ascii) {
        const bool shift = (c >= 'A' && c <= 'Z');
        // Latin-1 keysyms equal their characters for printable ASCII.
        const unsigned keysym = static_cast<unsigned char>(shift ? c + ('a' - 'A') : c);
        if (shift)
            TypeKey(keysym, {0xffe1 /* Shift_L */});
        else
            TypeKey(keysym);
    }
}

namespace {

// Key codes without symbols of the display, each lent to one character for
// the life of the display. A code is never mapped anew while a program may
// still be reading a key event of it: a program translates a key event by
// the mapping it knows when it reads the event, and a mapping changed under
// a typed key (one code carrying each character in turn) turned "云台" into
// "云云" under load.
struct SpareKeys {
    Display* display = nullptr;
    std::vector<KeyCode> free;
    std::map<KeySym, KeyCode> lent;
};

SpareKeys& Spares(Display* d) {
    static SpareKeys spares;
    if (spares.display == d) return spares;
    spares = SpareKeys{d, {}, {}};
    int low = 0, high = 0, perCode = 0;
    XDisplayKeycodes(d, &low, &high);
    KeySym* map = XGetKeyboardMapping(d, low, high - low + 1, &perCode);
    for (int code = high; code >= low; --code) {
        bool empty = true;
        for (int i = 0; i < perCode; ++i) empty = empty && map[(code - low) * perCode + i] == 0;
        if (empty) spares.free.push_back(static_cast<KeyCode>(code));
    }
    XFree(map);
    return spares;
}

// The key code that types the symbol, mapped now if it has none yet.
KeyCode CodeFor(Display* d, KeySym keysym) {
    SpareKeys& spares = Spares(d);
    if (const auto found = spares.lent.find(keysym); found != spares.lent.end())
        return found->second;
    if (spares.free.empty()) {
        // Every spare code is lent: they are all taken back, after a moment
        // in which the programs have read the keys typed with them.
        PumpFor(500);
        for (const auto& [symbol, code] : spares.lent) spares.free.push_back(code);
        spares.lent.clear();
    }
    if (spares.free.empty())
        throw std::runtime_error("the display has no spare key code to type with");
    const KeyCode code = spares.free.back();
    spares.free.pop_back();
    KeySym mapped = keysym;
    XChangeKeyboardMapping(d, code, 1, &mapped, 1);
    spares.lent.emplace(keysym, code);
    return code;
}

}  // namespace

void TypeUnicode(const std::string& utf8) {
    Display* d = XDisplay();
    if (!d) return;
    // Each character through a key code of its own, as an on-screen
    // keyboard would type it; every code is mapped before the first key.
    std::vector<KeyCode> codes;
    for (const gchar* p = utf8.c_str(); *p; p = g_utf8_next_char(p)) {
        const gunichar c = g_utf8_get_char(p);
        codes.push_back(CodeFor(d, c < 0x100 ? c : 0x1000000 + c));
    }
    XSync(d, False);
    // A moment for the programs to take the new mapping.
    PumpFor(30);
    for (const KeyCode code : codes) {
        XTestFakeKeyEvent(d, code, True, CurrentTime);
        XTestFakeKeyEvent(d, code, False, CurrentTime);
        XSync(d, False);
        PumpFor(30);
    }
}

void WidgetOrigin(GtkWidget* widget, int& rootX, int& rootY) {
    rootX = rootY = 0;
    GdkWindow* window = gtk_widget_get_window(widget);
    if (!window) return;
    gdk_window_get_origin(window, &rootX, &rootY);
    // A widget without a window of its own sits somewhere in its parent's.
    if (!gtk_widget_get_has_window(widget)) {
        GtkAllocation a;
        gtk_widget_get_allocation(widget, &a);
        rootX += a.x;
        rootY += a.y;
    }
}

void ClickWidget(GtkWidget* widget, int x, int y) {
    int ox = 0, oy = 0;
    WidgetOrigin(widget, ox, oy);
    ClickAt(ox + x, oy + y);
}

GdkPixbuf* ShootScreen(int rootX, int rootY, int width, int height) {
    Settle();
    return gdk_pixbuf_get_from_window(gdk_get_default_root_window(), rootX, rootY, width, height);
}

GdkPixbuf* ShootWidget(GtkWidget* widget) {
    int x = 0, y = 0;
    WidgetOrigin(widget, x, y);
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    return ShootScreen(x, y, a.width, a.height);
}

bool SavePng(GdkPixbuf* shot, const std::string& path) {
    if (!shot) return false;
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    return gdk_pixbuf_save(shot, path.c_str(), "png", nullptr, nullptr);
}

unsigned PixelAt(GdkPixbuf* shot, int x, int y) {
    const guchar* p = gdk_pixbuf_get_pixels(shot) + y * gdk_pixbuf_get_rowstride(shot) +
                      x * gdk_pixbuf_get_n_channels(shot);
    return (unsigned(p[0]) << 16) | (unsigned(p[1]) << 8) | p[2];
}

namespace {

int IgnoreXError(Display*, XErrorEvent*) {
    return 0;
}

void CollectViewable(Display* display, Window parent, Atom name, Atom utf8, Atom pid,
                     std::vector<ScreenWindow>& found) {
    Window root = 0, up = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, parent, &root, &up, &children, &count)) return;
    for (unsigned i = 0; i < count; ++i) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display, children[i], &attributes) ||
            attributes.map_state != IsViewable)
            continue;
        ScreenWindow window;
        window.id = children[i];
        window.width = attributes.width;
        window.height = attributes.height;
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, children[i], name, 0, 256, False, utf8, &type, &format,
                               &items, &after, &data) == Success &&
            data)
            window.name = reinterpret_cast<char*>(data);
        if (data) XFree(data);
        data = nullptr;
        if (XGetWindowProperty(display, children[i], pid, 0, 1, False, XA_CARDINAL, &type, &format,
                               &items, &after, &data) == Success &&
            data && items == 1)
            window.pid = static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data));
        if (data) XFree(data);
        found.push_back(window);
        CollectViewable(display, children[i], name, utf8, pid, found);
    }
    if (children) XFree(children);
}

}  // namespace

std::vector<ScreenWindow> ViewableWindows(Display* display) {
    std::vector<ScreenWindow> found;
    XSync(display, False);
    const auto previous = XSetErrorHandler(IgnoreXError);
    CollectViewable(display, DefaultRootWindow(display),
                    XInternAtom(display, "_NET_WM_NAME", False),
                    XInternAtom(display, "UTF8_STRING", False),
                    XInternAtom(display, "_NET_WM_PID", False), found);
    // Errors of the requests above arrive by now, and are passed over.
    XSync(display, False);
    XSetErrorHandler(previous);
    return found;
}

}  // namespace uitest
