#pragma once

#include <vector>

namespace platform::ui {

// A rectangle as windows have them: right and bottom are exclusive.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool Empty() const { return right <= left || bottom <= top; }
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct Point {
    double x = 0;
    double y = 0;
};

// Where a point of a borderless window lies, as the hit test tells the
// window system: a resize edge or corner, the client area, or outside.
enum class HitArea {
    Nowhere,
    Client,
    Left,
    Top,
    Right,
    Bottom,
    TopLeft,
    TopRight,
    BottomRight,
    BottomLeft
};

// The hit test of a borderless window of the given size whose resize border
// is `border` pixels wide: the four edges (without their corners) first, then
// the corners, else the client area. Window coordinates.
HitArea HitTest(int width, int height, int border, int x, int y);

// The pixels of a width x height surface whose centres lie inside a polygon
// (even-odd rule), as one rectangle per run of each row.
std::vector<Rect> PolygonShape(const std::vector<Point>& polygon, int width, int height);
// The cut-corner outline of the main window: (0,3) (3,0) (w-3,0) (w,3)
// (w,h-4) (w-4,h) (3,h) (0,h-4).
std::vector<Rect> CutCornerShape(int width, int height);
// A rectangle with corners rounded by an ellipse of the given size.
std::vector<Rect> RoundedShape(int width, int height, int ellipseWidth, int ellipseHeight);

// A rectangle of the given size placed at (left, top) and kept inside an area:
// moved back in where it sticks out, shrunk only when larger than the area.
Rect KeepInside(Rect wanted, const Rect& area);
// A rectangle of the given size centred on another.
Rect CentreOn(int width, int height, const Rect& around);

}  // namespace platform::ui
