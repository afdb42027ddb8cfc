#include <gtest/gtest.h>

#include "FrameProbe.h"
#include "ProgramArtwork.h"
#include "reader/XColor.h"
#include "reader/XReaderButton3.h"

namespace {

TEST(XReaderButton3, ACaptionChangeRepaintsAtOnce) {
    const UseArtworkOf reader(TProgramArtwork::Reader);
    TXReaderButton3 button;
    EXPECT_EQ(button.Width(), 80);
    EXPECT_EQ(button.Height(), 27);
    EXPECT_EQ(button.FrameCount, 4);
    THeadlessHost host(100, 40);
    host.Add(button);
    host.ResetInvalidations();
    button.SetCaption("next");
    EXPECT_GT(host.Invalidations(), 0);
}

struct ColorFixture : ::testing::Test {
    ColorFixture() {
        box.Clear();
        box.AddItem("1", RGB(0x12, 0x34, 0x56));
        box.AddItem("1", clDefault);
        box.AddItem("1", clNone);
        box.DefaultColorColor = RGB(0xAA, 0x00, 0x00);
        box.NoneColorColor = RGB(0x00, 0xBB, 0x00);
    }
    // Draws item i at (0, 0, 30, 16) and hands back the surface's pixels.
    void Draw(int i, bool selected) {
        cairo_t* cr = cairo_create(host.Surface());
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_paint(cr);
        TCanvas canvas(cr);
        box.DrawItem(canvas, i, {0, 0, 30, 16}, selected);
        cairo_destroy(cr);
        cairo_surface_flush(host.Surface());
    }
    TXColor box;
    THeadlessHost host{30, 16};
};

TEST_F(ColorFixture, ItemsArePlainSwatches) {
    Draw(0, false);
    EXPECT_EQ(host.Pixel(0, 0), clWhite) << "unselected: the window colour around";
    EXPECT_EQ(host.Pixel(1, 1), RGB(0xE2, 0xE4, 0xE7)) << "the light frame";
    EXPECT_EQ(host.Pixel(15, 8), RGB(0x12, 0x34, 0x56));
    // A selected swatch shows a one-pixel selection border around the colour.
    Draw(0, true);
    for (TPoint p : {TPoint{0, 0}, TPoint{29, 15}, TPoint{15, 0}, TPoint{0, 8}})
        EXPECT_EQ(host.Pixel(p.X, p.Y), TXColor::kSelectionColor);
    EXPECT_EQ(host.Pixel(1, 8), RGB(0xE2, 0xE4, 0xE7));
    EXPECT_EQ(host.Pixel(15, 8), RGB(0x12, 0x34, 0x56));
    // The markers for "default" and "none" take their stand-in colours.
    Draw(1, false);
    EXPECT_EQ(host.Pixel(15, 8), RGB(0xAA, 0x00, 0x00));
    Draw(2, false);
    EXPECT_EQ(host.Pixel(15, 8), RGB(0x00, 0xBB, 0x00));
}

TEST_F(ColorFixture, OnlyTheUsersChoiceRaisesOnChange) {
    int changes = 0;
    box.OnChange = [&](TControl*) { ++changes; };
    box.SetItemIndex(2);
    box.SetSelected(RGB(0x12, 0x34, 0x56));
    EXPECT_EQ(box.ItemIndex(), 0);
    EXPECT_EQ(changes, 0);
    box.UserSelect(1);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(box.ItemIndex(), 1);
    box.UserSelect(7);  // no such item
    EXPECT_EQ(box.ItemIndex(), 1);
    box.SetItemIndex(99);
    EXPECT_EQ(box.ItemIndex(), -1);
    EXPECT_EQ(box.Selected(), clBlack);
}

TEST(XColor, StartsWithTheSystemColours) {
    TXColor box;
    EXPECT_GT(box.Items().size(), 10u);
    box.Clear();
    EXPECT_TRUE(box.Items().empty());
    EXPECT_EQ(box.ItemIndex(), -1);
}

}  // namespace
