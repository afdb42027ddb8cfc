#pragma once

#include <functional>
#include <memory>

#include "controls/ControlHost.h"

typedef struct _GtkWindow GtkWindow;

// What the update pop-up needs of its window: a frameless window that stays
// above the others, takes no focus, has no task-bar entry and carries the
// pop-up's controls. Coordinates are screen coordinates.
class TPopupWindow {
  public:
    virtual ~TPopupWindow() = default;

    virtual TControlHost& Host() = 0;
    // The work area of the monitor the main window is on.
    virtual TRect WorkArea() const = 0;
    virtual TPoint Position() const = 0;
    virtual void Move(int left, int top) = 0;
    // Shows only the top `height` rows of the window, its corners rounded.
    virtual void SetVisibleHeight(int height) = 0;
    virtual void Show() = 0;
    virtual void Hide() = 0;
    virtual bool Visible() const = 0;
    // Whether the pointer lies inside the window's rectangle.
    virtual bool PointerInside() const = 0;

    // Raised when the window system asks the window to close (its close
    // keys, a task switcher): the window stays, its owner hides it.
    std::function<void()> OnCloseQuery;
};

class TGtkControlHost;

// The pop-up's window on the screen: a notification-type GTK window of the
// given size that never takes the focus, placed on the work area of the
// monitor that `mainWindow` is on (the primary monitor when it is null).
class TGtkPopupWindow : public TPopupWindow {
  public:
    TGtkPopupWindow(GtkWindow* mainWindow, int width, int height);
    ~TGtkPopupWindow() override;

    GtkWindow* Window() const { return window_; }

    TControlHost& Host() override;
    TRect WorkArea() const override;
    TPoint Position() const override;
    void Move(int left, int top) override;
    void SetVisibleHeight(int height) override;
    void Show() override;
    void Hide() override;
    bool Visible() const override;
    bool PointerInside() const override;

  private:
    GtkWindow* main_;
    GtkWindow* window_;
    int width_, height_;
    TPoint position_;
    std::unique_ptr<TGtkControlHost> host_;
};
