#pragma once

#include <algorithm>

#include "controls/Geometry.h"

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
    // Whether the desktop shows the program's icon in its notification area,
    // the one way back for a window hidden there.
    virtual bool TrayShown() const = 0;
    virtual void Close() = 0;
    // Starts moving the window with the pointer (from a press in progress).
    virtual void BeginMoveDrag() = 0;
};

// Where a placement puts a window asked for rect (workspace coordinates) on a
// work area of the given size: a rectangle wholly outside the work area is
// moved onto it, its size kept as far as the area allows, so that a placement
// saved on a monitor that is gone or a damaged settings file never leaves a
// window without a frame out of reach. Anything else stays as asked.
inline TRect KeepOnWorkArea(const TRect& rect, const TRect& area) {
    if (rect.IsEmpty() || area.IsEmpty() || !rect.Intersect(area).IsEmpty()) return rect;
    const auto fit = [](long long start, long long size, long long low, long long high) {
        size = std::min(size, high - low);
        return std::pair{std::clamp(start, low, high - size), size};
    };
    const auto [left, width] = fit(rect.Left, 0LL + rect.Right - rect.Left, area.Left, area.Right);
    const auto [top, height] = fit(rect.Top, 0LL + rect.Bottom - rect.Top, area.Top, area.Bottom);
    return TRect::FromSize(int(left), int(top), int(width), int(height));
}
