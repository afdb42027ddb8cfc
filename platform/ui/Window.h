#pragma once

#include "platform/ui/Geometry.h"

#include <functional>
#include <vector>

typedef struct _GtkWidget GtkWidget;
typedef struct _GtkWindow GtkWindow;
typedef struct _GtkGesture GtkGesture;
typedef struct _GtkEventController GtkEventController;

namespace platform::ui {

// A window without the system frame that still moves and resizes: our own hit
// test gives resize edges, a minimum size, a window shape renewed on every
// resize. The window's content sees every press that is not on an edge.
class BorderlessFrame {
  public:
    // border: width of the resize edges in pixels; 0 = not resizable.
    BorderlessFrame(GtkWindow* window, int border);
    ~BorderlessFrame();
    BorderlessFrame(const BorderlessFrame&) = delete;
    BorderlessFrame& operator=(const BorderlessFrame&) = delete;

    void SetMinSize(int width, int height);
    // The shape for a window size; empty (the default) leaves it rectangular.
    void SetShape(std::function<std::vector<Rect>(int width, int height)> shape);
    // Raised after the shape was renewed on a size change.
    std::function<void(int width, int height)> OnResize;

    HitArea HitAt(int x, int y) const;

  private:
    struct Signals;
    void ApplyShape(int width, int height);

    GtkWindow* window_;
    int border_;
    GtkGesture* press_ = nullptr;
    GtkEventController* motion_ = nullptr;
    std::function<std::vector<Rect>(int, int)> shape_;
    int shapedWidth_ = -1;
    int shapedHeight_ = -1;
    bool edgeCursor_ = false;
};

// Starts moving the window of `widget` with the pointer, from the mouse event
// being handled (the caption drag of a borderless window).
void BeginMoveDrag(GtkWidget* widget);

// Sets a window's shape (input and output); an empty list makes it rectangular.
void SetWindowShape(GtkWidget* window, const std::vector<Rect>& shape);

// The work area (the monitor without panels) of the monitor the window is on,
// or of the primary monitor when window is null. Screen coordinates.
Rect WorkArea(GtkWindow* window = nullptr);
// The rectangle spanning every monitor.
Rect DesktopRect();
// The window's rectangle on the screen, and placing it.
Rect WindowRect(GtkWindow* window);
void SetWindowRect(GtkWindow* window, const Rect& rect);

void Minimise(GtkWindow* window);
bool IsMinimised(GtkWindow* window);

// How a window left the screen.
enum class HideResult { Hidden, Minimised };
// Hides the window to the notification area when our tray icon is shown
// there; with no tray it minimises instead, so that the window is never lost.
HideResult HideToTray(GtkWindow* window);
// Shows the window again, restored, in front, with its task-bar entry.
void ShowFromTray(GtkWindow* window);

// Keeps a window above the others.
void SetKeepAbove(GtkWindow* window, bool above);
// A frameless window that stays above the others without a task-bar entry and
// without taking the focus when it appears: the notice pop-ups.
GtkWindow* NewPopupWindow(int width, int height);

}  // namespace platform::ui
