#pragma once

#include "shelf/controls/Geometry.h"

// The window a control strip acts on: its placement, the work area it may
// fill, minimising, hiding to the notification area, closing and a move drag.
// "Workspace coordinates" are relative to the top-left corner of the work
// area, so a window filling the work area has the rectangle (0, 0, w, h).
class TFormWindow {
  public:
    virtual ~TFormWindow() = default;

    // The window's rectangle when it is shown normally.
    virtual TRect NormalRect() const = 0;
    // Shows the window normally in that rectangle.
    virtual void SetNormalRect(const TRect& rect) = 0;
    // The work area of the window's monitor, in workspace coordinates.
    virtual TRect WorkArea() const = 0;
    // Width and height of the whole desktop (all monitors) and of the screen.
    virtual TPoint DesktopSize() const = 0;
    virtual TPoint ScreenSize() const = 0;
    // The window's current (design) width and height.
    virtual TPoint Size() const = 0;

    virtual void Minimize() = 0;
    // Minimised without a task-bar entry; showing it again is the owner's.
    virtual void HideToTray() = 0;
    virtual void Close() = 0;
    // Starts moving the window with the pointer (from a press in progress).
    virtual void BeginMoveDrag() = 0;
};
