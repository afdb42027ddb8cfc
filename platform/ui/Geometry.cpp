#include "platform/ui/Geometry.h"

#include <algorithm>
#include <cmath>

namespace platform::ui {

HitArea HitTest(int width, int height, int border, int x, int y) {
    const Rect window{0, 0, width, height};
    if (!window.Contains(x, y)) return HitArea::Nowhere;
    const int b = border;
    const int w = width;
    const int h = height;
    struct Zone {
        Rect rect;
        HitArea area;
    };
    const Zone zones[] = {
        {{0, b, b, h - b}, HitArea::Left},
        {{b, 0, w - b, b}, HitArea::Top},
        {{w - b, b, w, h - b}, HitArea::Right},
        {{b, h - b, w - b, h}, HitArea::Bottom},
        {{0, 0, b, b}, HitArea::TopLeft},
        {{w - b, 0, w, b}, HitArea::TopRight},
        {{w - b, h - b, w, h}, HitArea::BottomRight},
        {{0, h - b, b, h}, HitArea::BottomLeft},
    };
    for (const Zone& zone : zones)
        if (zone.rect.Contains(x, y)) return zone.area;
    return HitArea::Client;
}

std::vector<Rect> PolygonShape(const std::vector<Point>& polygon, int width, int height) {
    std::vector<Rect> rects;
    if (polygon.size() < 3) return rects;
    std::vector<double> crossings;
    for (int y = 0; y < height; ++y) {
        const double cy = y + 0.5;
        crossings.clear();
        for (std::size_t i = 0; i < polygon.size(); ++i) {
            const Point& a = polygon[i];
            const Point& b = polygon[(i + 1) % polygon.size()];
            if ((a.y <= cy) == (b.y <= cy)) continue;
            crossings.push_back(a.x + (cy - a.y) * (b.x - a.x) / (b.y - a.y));
        }
        std::sort(crossings.begin(), crossings.end());
        for (std::size_t i = 0; i + 1 < crossings.size(); i += 2) {
            // Pixel x is inside when its centre x + 0.5 lies between the crossings.
            const int from = std::max(0, static_cast<int>(std::ceil(crossings[i] - 0.5)));
            const int to = std::min(width, static_cast<int>(std::ceil(crossings[i + 1] - 0.5)));
            if (to <= from) continue;
            // Rows with the same run as the row above grow that rectangle.
            bool merged = false;
            for (auto it = rects.rbegin(); it != rects.rend() && it->bottom == y; ++it) {
                if (it->left == from && it->right == to) {
                    it->bottom = y + 1;
                    merged = true;
                    break;
                }
            }
            if (!merged) rects.push_back({from, y, to, y + 1});
        }
    }
    return rects;
}

std::vector<Rect> CutCornerShape(int width, int height) {
    const double w = width;
    const double h = height;
    return PolygonShape(
        {{0, 3}, {3, 0}, {w - 3, 0}, {w, 3}, {w, h - 4}, {w - 4, h}, {3, h}, {0, h - 4}}, width,
        height);
}

std::vector<Rect> RoundedShape(int width, int height, int ellipseWidth, int ellipseHeight) {
    std::vector<Point> outline;
    const double rx = std::max(0, ellipseWidth) / 2.0;
    const double ry = std::max(0, ellipseHeight) / 2.0;
    if (rx <= 0 || ry <= 0) return {{0, 0, width, height}};
    const double w = width;
    const double h = height;
    constexpr int kSteps = 8;
    const double pi = std::acos(-1.0);
    auto arc = [&](double cx, double cy, double start) {
        for (int i = 0; i <= kSteps; ++i) {
            const double angle = start + (pi / 2) * i / kSteps;
            outline.push_back({cx + rx * std::cos(angle), cy + ry * std::sin(angle)});
        }
    };
    arc(w - rx, ry, -pi / 2);  // top right
    arc(w - rx, h - ry, 0);    // bottom right
    arc(rx, h - ry, pi / 2);   // bottom left
    arc(rx, ry, pi);           // top left
    return PolygonShape(outline, width, height);
}

Rect KeepInside(Rect wanted, const Rect& area) {
    const int width = std::min(wanted.Width(), area.Width());
    const int height = std::min(wanted.Height(), area.Height());
    int left = std::clamp(wanted.left, area.left, area.right - width);
    int top = std::clamp(wanted.top, area.top, area.bottom - height);
    return {left, top, left + width, top + height};
}

Rect CentreOn(int width, int height, const Rect& around) {
    const int left = around.left + (around.Width() - width) / 2;
    const int top = around.top + (around.Height() - height) / 2;
    return {left, top, left + width, top + height};
}

}  // namespace platform::ui
