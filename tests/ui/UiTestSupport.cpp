#include "UiTestSupport.h"

#include "platform/ui/UiInit.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

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
void StartXvfb() {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe");
    xvfb = fork();
    if (xvfb == 0) {
        close(fds[0]);
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
    if (number.empty()) throw std::runtime_error("Xvfb did not start");
    std::atexit(StopXvfb);
    setenv("DISPLAY", (":" + number).c_str(), 1);
}

}  // namespace

void RequireUi() {
    static const bool ready = [] {
        // Every test process gets an X server of its own: tests run in
        // parallel and move the one pointer of a server. QUIRA_TEST_DISPLAY
        // names a display to use instead (to watch a test).
        const char* watch = std::getenv("QUIRA_TEST_DISPLAY");
        if (watch && *watch)
            setenv("DISPLAY", watch, 1);
        else
            StartXvfb();
        // Each test process gets its own runtime folder for the font file.
        // No desktop settings daemon here: keep settings in memory.
        setenv("GSETTINGS_BACKEND", "memory", 1);
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

}  // namespace uitest

#include <X11/extensions/XTest.h>
#include <gdk/gdkx.h>

namespace uitest {
namespace {
Display* XDisplay() {
    return GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
}
}  // namespace

void PointerTo(int rootX, int rootY) {
    XTestFakeMotionEvent(XDisplay(), -1, rootX, rootY, CurrentTime);
    XFlush(XDisplay());
    PumpFor(30);
}

void Button(unsigned button, bool press) {
    XTestFakeButtonEvent(XDisplay(), button, press, CurrentTime);
    XFlush(XDisplay());
    PumpFor(30);
}

void Key(unsigned keysym, bool press) {
    XTestFakeKeyEvent(XDisplay(), XKeysymToKeycode(XDisplay(), keysym), press, CurrentTime);
    XFlush(XDisplay());
    PumpFor(20);
}

void ClickAt(int rootX, int rootY) {
    PointerTo(rootX, rootY);
    Button(1, true);
    Button(1, false);
}

}  // namespace uitest
