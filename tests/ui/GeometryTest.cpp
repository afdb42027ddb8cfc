#include "platform/ui/Geometry.h"

#include <gtest/gtest.h>

using namespace platform::ui;

namespace {

// Whether a pixel is covered by a shape.
bool Covered(const std::vector<Rect>& shape, int x, int y) {
    for (const Rect& r : shape)
        if (r.Contains(x, y)) return true;
    return false;
}

TEST(GeometryTest, HitTestZonesOfAThreePixelBorder) {
    struct Case {
        int x, y;
        HitArea area;
    } cases[] = {
        {0, 3, HitArea::Left},
        {2, 500, HitArea::Left},
        {0, 562, HitArea::Left},
        {3, 0, HitArea::Top},
        {896, 2, HitArea::Top},
        {897, 3, HitArea::Right},
        {899, 562, HitArea::Right},
        {3, 563, HitArea::Bottom},
        {896, 565, HitArea::Bottom},
        {0, 0, HitArea::TopLeft},
        {2, 2, HitArea::TopLeft},
        {897, 0, HitArea::TopRight},
        {899, 565, HitArea::BottomRight},
        {897, 563, HitArea::BottomRight},
        {0, 565, HitArea::BottomLeft},
        {2, 563, HitArea::BottomLeft},
        {3, 3, HitArea::Client},
        {896, 562, HitArea::Client},
        {450, 10, HitArea::Client},
        {900, 10, HitArea::Nowhere},
        {-1, 10, HitArea::Nowhere},
        {10, 566, HitArea::Nowhere},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HitTest(900, 566, 3, c.x, c.y), c.area) << c.x << "," << c.y;
    EXPECT_EQ(HitTest(900, 566, 0, 0, 0), HitArea::Client);
}

TEST(GeometryTest, CutCornerShapeLeavesTheCornersOut) {
    const int w = 40;
    const int h = 30;
    const auto shape = CutCornerShape(w, h);
    // A pixel is inside when its centre is: the cuts are not quite symmetric.
    struct Pixel {
        int x, y;
        bool inside;
    } pixels[] = {
        {0, 0, false},        {1, 0, false},         {2, 0, true},          {0, 1, false},
        {0, 2, true},         {w - 1, 0, false},     {w - 3, 0, false},     {w - 4, 0, true},
        {w - 1, 2, false},    {w - 1, 3, true},      {w - 1, h - 1, false}, {w - 4, h - 1, false},
        {w - 5, h - 1, true}, {w - 1, h - 4, false}, {w - 1, h - 5, true},  {0, h - 1, false},
        {2, h - 1, false},    {3, h - 1, true},      {0, h - 3, false},     {0, h - 4, true},
        {20, 15, true},
    };
    for (const Pixel& p : pixels)
        EXPECT_EQ(Covered(shape, p.x, p.y), p.inside) << p.x << "," << p.y;
    // Rows of equal runs are merged: the straight middle is one rectangle.
    EXPECT_LT(shape.size(), 12u);
    int area = 0;
    for (const Rect& r : shape) area += r.Width() * r.Height();
    EXPECT_EQ(area, w * h - 3 - 6 - 10 - 6);
}

TEST(GeometryTest, RoundedShapeAndPlacement) {
    const auto shape = RoundedShape(100, 50, 10, 10);
    EXPECT_FALSE(Covered(shape, 0, 0));
    EXPECT_FALSE(Covered(shape, 99, 49));
    EXPECT_FALSE(Covered(shape, 0, 1));
    EXPECT_FALSE(Covered(shape, 1, 0));
    EXPECT_TRUE(Covered(shape, 3, 3));
    EXPECT_TRUE(Covered(shape, 96, 46));
    EXPECT_TRUE(Covered(shape, 50, 0));
    EXPECT_TRUE(Covered(shape, 0, 25));
    EXPECT_EQ(RoundedShape(10, 10, 0, 0), (std::vector<Rect>{{0, 0, 10, 10}}));

    const Rect work{0, 0, 1280, 994};
    EXPECT_EQ(KeepInside({1200, 900, 1500, 1100}, work), (Rect{980, 794, 1280, 994}));
    EXPECT_EQ(KeepInside({-50, -20, 250, 180}, work), (Rect{0, 0, 300, 200}));
    EXPECT_EQ(KeepInside({10, 10, 2010, 110}, work), (Rect{0, 10, 1280, 110}));
    EXPECT_EQ(CentreOn(320, 150, {100, 100, 900, 666}), (Rect{340, 308, 660, 458}));
}

}  // namespace
