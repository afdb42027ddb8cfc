#pragma once

#include <functional>
#include <string>

#include <sys/types.h>

#include <vector>

typedef struct _GdkPixbuf GdkPixbuf;
typedef struct _XDisplay Display;
typedef struct _GtkWidget GtkWidget;

// Helpers of every window test: a private display, the main loop, input that
// takes the road of a real mouse and keyboard, and screenshots.
namespace uitest {

// Opens a display (a private Xvfb of this process, or QUIRA_TEST_DISPLAY to
// watch a test) with the scale pinned to 1, and initialises the window layer
// once per process. Throws when there is no display.
void RequireUi();
// Only the display (no window layer): for test programs of their own that
// call gtk_init themselves. False when Xvfb did not start.
bool OpenPrivateDisplay();

// Runs the main loop until pred holds or timeoutMs passes; returns pred().
bool PumpUntil(const std::function<bool()>& pred, int timeoutMs = 10000);
// Runs the main loop for about ms milliseconds.
void PumpFor(int ms);
// Waits until the X server has taken every request and the loop is idle.
void Settle();

// A temporary folder, removed with its content.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    // Writes a file below the folder and returns its full path.
    std::string Write(const std::string& name, const std::string& content) const;

  private:
    std::string path_;
};

// Synthesised input through the XTest extension, as a user's would arrive
// (root coordinates). Each call flushes and lets the loop take the events.
bool InputAvailable();
void PointerTo(int rootX, int rootY);
void Button(unsigned button, bool press);
void Key(unsigned keysym, bool press);
// Left click at a point of the screen.
void ClickAt(int rootX, int rootY);
void DoubleClickAt(int rootX, int rootY);
// One wheel notch at the pointer: up (button 4) or down (button 5).
void Wheel(bool down);
// Press and release of one key, with modifier keys (keysyms) held around it.
void TypeKey(unsigned keysym, std::initializer_list<unsigned> modifiers = {});
// Types ASCII text key by key.
void TypeText(const std::string& ascii);
// Types any text (UTF-8), each character through a spare key code mapped to
// it for the moment.
void TypeUnicode(const std::string& utf8);
// The top-left corner of a widget's window on the screen.
void WidgetOrigin(GtkWidget* widget, int& rootX, int& rootY);
// A click at (x, y) of a widget, in its own coordinates.
void ClickWidget(GtkWidget* widget, int x, int y);

// A screenshot of a rectangle of the screen as the user sees it (windows
// above it included); nullptr when it cannot be taken. Unref when done.
GdkPixbuf* ShootScreen(int rootX, int rootY, int width, int height);
// A screenshot of a widget's window (its whole top-level window when widget
// is one), as it shows on the screen.
GdkPixbuf* ShootWidget(GtkWidget* widget);
// Saves a screenshot as PNG; false on failure.
bool SavePng(GdkPixbuf* shot, const std::string& path);
// The colour of one pixel as 0xRRGGBB.
unsigned PixelAt(GdkPixbuf* shot, int x, int y);

// A window of another program on the screen, as the X server knows it.
struct ScreenWindow {
    unsigned long id = 0;
    std::string name;  // _NET_WM_NAME
    pid_t pid = 0;     // _NET_WM_PID; 0 when not set
    int width = 0, height = 0;
};
// The viewable windows of the display, at any depth, in stacking order. A
// window that goes while it is looked at (another program closing it) is
// passed over: no X error ends the test.
std::vector<ScreenWindow> ViewableWindows(Display* display);

}  // namespace uitest
