#include "controls/CDListBox.h"

#include <gtest/gtest.h>

#include <vector>

#include "controls/HeadlessHost.h"

namespace {

struct PlainItem : TCDListBoxItem {
    explicit PlainItem(int height) : Height(height) {}
    int Height;
};

// A list of plain items, each as high as it says.
class PlainList : public TCDListBox {
  public:
    void Fill(const std::vector<int>& heights) {
        for (int h : heights) AddItem(std::make_unique<PlainItem>(h));
    }

  protected:
    void GetItemHeight(int Index, int& Height) override {
        Height = static_cast<PlainItem*>(Item(Index))->Height;
    }
};

struct ListOnHost {
    ListOnHost(int height, const std::vector<int>& items) : host(300, height) {
        list.SetBounds(0, 0, 300, height);
        list.Fill(items);
        host.Add(list);
        host.Render();
    }
    const TCDScrollBar& Bar() const { return list.ScrollBar; }
    THeadlessHost host;
    PlainList list;
};

TEST(ListArithmetic, MulDivAndRoundingHalfToEven) {
    struct {
        int a, b, c, want;
    } const muldiv[] = {
        {100, 89, 500, 18}, {10, 1, 4, 3},         {10, 1, -4, -3},
        {-10, 1, 4, -3},    {5, 3, 0, -1},         {7, 1, 2, 4},
        {1, 1, -2, -1},     {INT32_MAX, 2, 1, -1}, {INT32_MAX, 2, 2, INT32_MAX},
    };
    for (const auto& c : muldiv)
        EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.want) << c.a << "*" << c.b << "/" << c.c;
    struct {
        double value;
        int64_t want;
    } const rounding[] = {{0.5, 0},   {1.5, 2},    {2.5, 2},    {-0.5, 0},
                          {-1.5, -2}, {2.4999, 2}, {2.5001, 3}, {-2.6, -3}};
    for (const auto& c : rounding) EXPECT_EQ(RoundHalfEven(c.value), c.want) << c.value;
}

TEST(CDListBox, PageStepKeepsATenthOfTheViewBetweenTenAndTwenty) {
    // Control height, then the page step: the item area is one pixel less.
    struct {
        int height, step;
    } const cases[] = {{100, 89},  {151, 135}, {301, 280}, {106, 95},
                       {116, 103}, {51, 40},   {1001, 980}};
    for (const auto& c : cases) {
        PlainList list;
        list.SetBounds(0, 0, 200, c.height);
        EXPECT_EQ(list.PageStep(), c.step) << "height " << c.height;
    }
}

TEST(CDListBox, OffsetStaysBetweenZeroAndHalfAControlPastTheEnd) {
    ListOnHost t(400, std::vector<int>(10, 70));
    EXPECT_EQ(t.list.ContentHeight(), 700);
    struct {
        int asked, got;
    } const cases[] = {{10000, 500}, {-5, 0}, {250, 250}, {500, 500}, {501, 500}};
    for (const auto& c : cases) {
        t.list.SetTopOffset(c.asked);
        EXPECT_EQ(t.list.TopOffset(), c.got) << c.asked;
    }
    // Content shorter than half the control: no scrolling at all.
    ListOnHost shortList(400, {70, 70});
    shortList.list.SetTopOffset(50);
    EXPECT_EQ(shortList.list.TopOffset(), 0);
}

TEST(CDListBox, EmptyListShowsTheSmallestThumbAtTheTopOfTheTrack) {
    ListOnHost t(301, {});
    t.list.SetTopOffset(40);
    EXPECT_EQ(t.list.TopOffset(), 0);
    t.host.Render();
    // Item area 299 x 300: the bar from x 282 to 299, from y 1 to 300.
    EXPECT_EQ(t.Bar().UpArrowRect, (TRect{282, 1, 299, 17}));
    EXPECT_EQ(t.Bar().DownArrowRect, (TRect{282, 284, 299, 300}));
    EXPECT_EQ(t.Bar().TrackRect, (TRect{282, 17, 299, 284}));
    EXPECT_EQ(t.Bar().ThumbRect, (TRect{282, 17, 299, 33}));
    EXPECT_EQ(t.Bar().TrackLength, 267);
    EXPECT_EQ(t.Bar().Range, -150);
}

TEST(CDListBox, ThumbSizeAndPlaceFollowTheScrollModel) {
    ListOnHost t(301, std::vector<int>(20, 100));  // content 2000, range 1850
    EXPECT_EQ(t.Bar().Range, 1850);
    EXPECT_EQ(t.Bar().PageStep, 280);
    // MulDiv(267, 280, 1850) = 40.4 -> 40.
    EXPECT_EQ(t.Bar().ThumbRect.Height(), 40);
    EXPECT_EQ(t.Bar().ThumbRect.Top, 17);
    t.list.SetTopOffset(925);  // half way: 0.5 x 227 = 113.5, halves to even: 114
    t.host.Render();
    EXPECT_EQ(t.Bar().ThumbRect.Top, 17 + 114);
    t.list.SetTopOffset(1850);
    t.host.Render();
    EXPECT_EQ(t.Bar().ThumbRect.Bottom, 284);
}

TEST(CDListBox, WheelArrowsAndTrackMoveOnePage) {
    ListOnHost t(301, std::vector<int>(20, 100));
    const TCDScrollBar& bar = t.Bar();
    const auto mid = [](const TRect& r) {
        return TPoint{(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2};
    };
    const auto click = [&](TPoint p) {
        t.host.ClickAt(p.X, p.Y);
        t.host.Render();
    };

    EXPECT_TRUE(t.host.Wheel(-120, 100, 100));  // toward the user
    EXPECT_EQ(t.list.TopOffset(), 280);
    t.host.Wheel(-360, 100, 100);  // one page per message, whatever the delta
    EXPECT_EQ(t.list.TopOffset(), 560);
    t.host.Wheel(120, 100, 100);
    EXPECT_EQ(t.list.TopOffset(), 280);
    t.host.Render();

    click(mid(bar.DownArrowRect));
    EXPECT_EQ(t.list.TopOffset(), 560);
    click(mid(bar.UpArrowRect));
    EXPECT_EQ(t.list.TopOffset(), 280);
    click(mid(bar.ThumbRect));  // the thumb itself does not page
    EXPECT_EQ(t.list.TopOffset(), 280);
    click({bar.ThumbRect.Left + 5, bar.ThumbRect.Bottom + 3});
    EXPECT_EQ(t.list.TopOffset(), 560);
    click({bar.ThumbRect.Left + 5, bar.ThumbRect.Top - 3});
    EXPECT_EQ(t.list.TopOffset(), 280);
    click({100, 100});  // an item: the list stays
    EXPECT_EQ(t.list.TopOffset(), 280);
}

TEST(CDListBox, PartStatesFollowThePointer) {
    ListOnHost t(301, std::vector<int>(20, 100));
    const TCDScrollBar& bar = t.Bar();
    t.host.MoveTo(bar.UpArrowRect.Left + 3, bar.UpArrowRect.Top + 3);
    EXPECT_EQ((std::vector<int>{bar.PartState[0], bar.PartState[1], bar.PartState[2]}),
              (std::vector<int>{0, 2, 2}));
    t.host.Press(bar.ThumbRect.Left + 3, bar.ThumbRect.Top + 3);
    EXPECT_EQ((std::vector<int>{bar.PartState[0], bar.PartState[1], bar.PartState[2]}),
              (std::vector<int>{2, 1, 2}));
    t.host.Release(bar.ThumbRect.Left + 3, bar.ThumbRect.Top + 3);
    EXPECT_EQ(bar.PartState[1], 0);
    t.host.MoveTo(50, 50);
    EXPECT_EQ((std::vector<int>{bar.PartState[0], bar.PartState[1], bar.PartState[2]}),
              (std::vector<int>{2, 2, 2}));
}

TEST(CDListBox, DraggingTheThumbAlongTheWholeTrackMovesTheWholeRange) {
    ListOnHost t(301, std::vector<int>(20, 100));
    const TCDScrollBar& bar = t.Bar();
    const int x = bar.ThumbRect.Left + 5, y = bar.ThumbRect.Top + 5;
    t.host.Press(x, y);
    t.host.MoveTo(x, y + bar.TrackLength / 2);
    // 133 of 267 pixels: 133 x 1850 / 267 = 921.5..., rounded to 922.
    EXPECT_EQ(t.list.TopOffset(), 922);
    t.host.MoveTo(x, y + bar.TrackLength);
    EXPECT_EQ(t.list.TopOffset(), 1850);
    t.host.MoveTo(x, y - 50);  // back above the start
    EXPECT_EQ(t.list.TopOffset(), 0);
    t.host.Release(x, y - 50);
    t.host.MoveTo(x, y + 100);  // released: moving does nothing
    EXPECT_EQ(t.list.TopOffset(), 0);
}

// Mended: a list 34 pixels high or less has no track, and the drag divided
// by its length.
TEST(CDListBox, ThumbDragOnAListWithoutTrackMovesNothing) {
    for (int height : {34, 30, 20}) {
        ListOnHost t(height, std::vector<int>(10, 70));
        EXPECT_LE(t.Bar().TrackLength, 0) << height;
        const TRect thumb = t.Bar().ThumbRect;
        const int x = thumb.Left + 3, y = std::max(thumb.Top, 0) + 1;
        t.host.Press(x, y);
        for (int dy : {10, -10, -15}) {
            t.host.MoveTo(x, y + dy);
            EXPECT_EQ(t.list.TopOffset(), 0) << height << " moved " << dy;
        }
        t.host.Release(x, y);
    }
}

TEST(CDListBox, ItemRectanglesLeaveOutTheBarColumnFromTheFirstPaintOn) {
    THeadlessHost host(300, 200);
    PlainList list;
    list.SetBounds(0, 0, 300, 200);
    list.Fill({50, 60, 70});
    host.Add(list);
    EXPECT_EQ(list.Items[1]->ItemRect, (TRect{0, 50, 299, 110}));
    EXPECT_EQ(list.ItemAtPos(290, 60), 1);
    host.Render();
    EXPECT_EQ(list.Items[1]->ItemRect, (TRect{0, 50, 282, 110}));
    EXPECT_EQ(list.ItemAtPos(290, 60), -1);
    EXPECT_EQ(list.ItemAtPos(10, 0), 0);
    EXPECT_EQ(list.ItemAtPos(10, 179), 2);
    EXPECT_EQ(list.ItemAtPos(10, 180), -1);
    list.SetTopOffset(60);
    EXPECT_EQ(list.ItemAtPos(10, 0), 1);
}

TEST(CDListBox, DeleteAndClearLayTheListOutAgain) {
    ListOnHost t(200, {50, 60, 70});
    t.list.Delete(0);
    ASSERT_EQ(t.list.Count(), 2);
    EXPECT_EQ(t.list.Items[0]->Index, 0);
    EXPECT_EQ(t.list.Items[1]->ItemRect.Top, 60);
    EXPECT_EQ(t.list.ContentHeight(), 130);
    t.list.Delete(7);  // nothing there
    EXPECT_EQ(t.list.Count(), 2);
    t.list.SetTopOffset(30);
    t.list.Clear();
    EXPECT_EQ(t.list.Count(), 0);
    EXPECT_EQ(t.list.TopOffset(), 0);
    EXPECT_EQ(t.list.ContentHeight(), 0);
}

// Scrolled to the end, the items in view are deleted, or the list grows
// taller: the offset comes back within the content, so that what is left is
// drawn in the view and the thumb stays on its track.
TEST(CDListBox, AnOffsetPastTheEndComesBackAfterALayout) {
    ListOnHost t(301, std::vector<int>(10, 100));  // content 1000, largest offset 850
    t.list.SetTopOffset(850);
    ASSERT_EQ(t.list.TopOffset(), 850);
    while (t.list.Count() > 4) t.list.Delete(t.list.Count() - 1);
    EXPECT_EQ(t.list.TopOffset(), 400 - 150);
    t.host.Render();
    EXPECT_EQ(t.list.ItemAtPos(10, 0), 2) << "the view starts inside the content";
    EXPECT_LE(t.Bar().ThumbRect.Bottom, t.Bar().TrackRect.Bottom);
    // Items changed in place and laid out again.
    for (auto& item : t.list.Items) static_cast<PlainItem*>(item.get())->Height = 40;
    t.list.LayoutItems();
    EXPECT_EQ(t.list.TopOffset(), 160 - 150);
    // A taller list: half of it past the end is less.
    t.list.SetBounds(0, 0, 300, 320);
    EXPECT_EQ(t.list.TopOffset(), 0);
}

}  // namespace
