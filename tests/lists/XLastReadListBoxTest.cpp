#include "controls/XLastReadListBox.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/lists/ListTestSupport.h"

namespace {

using liststest::A;
using liststest::AllOf;
using liststest::Centre;
using liststest::Raised;
using liststest::Recorder;
using liststest::Region;

struct RecentFixture : ::testing::Test {
    RecentFixture() {
        list.SetBounds(0, 0, 700, 400);
        host.Add(list);
        list.OnRead = Recorder(list, raised, "read");
        list.OnDelete = Recorder(list, raised, "delete");
    }
    void Fill(int rows, const AnsiString& readTime = "2012-05-01 10:20:30",
              const AnsiString& state = "") {
        for (int i = 0; i < rows; ++i)
            list.AddBook("s" + std::to_string(i), "id" + std::to_string(i), A("站"),
                         A("书") + std::to_string(i), A("作者"), A("第一章"), state, readTime,
                         false, "/nowhere/cover.jpg", 0);
    }
    TRect Button(int row, const std::string& name) const {
        return liststest::ButtonOf(*list.Row(row), name);
    }

    THeadlessHost host{700, 400};
    TXLastReadListBox list;
    std::vector<Raised> raised;
};

TEST_F(RecentFixture, RowsAreSeventyHighAndTheWheelMovesOneRow) {
    Fill(10);
    EXPECT_EQ(list.ItemRect(9).Bottom, 700);
    EXPECT_TRUE(list.ScrollBarShown());
    EXPECT_EQ(list.ItemAtPos({50, 75}), 1);
    EXPECT_TRUE(host.Wheel(-120, 50, 75));
    EXPECT_EQ(list.TopIndex(), 1);
    EXPECT_EQ(list.ItemAtPos({50, 75}), 2);
    EXPECT_EQ(list.ItemRect(1).Top, 0);
    host.Wheel(-360, 50, 75);
    EXPECT_EQ(list.TopIndex(), 2);
    for (int i = 0; i < 20; ++i) host.Wheel(-120, 50, 75);
    EXPECT_EQ(list.TopIndex(), 9);  // the last row at the top, no further
    for (int i = 0; i < 20; ++i) host.Wheel(120, 50, 75);
    EXPECT_EQ(list.TopIndex(), 0);

    // Rows that fit show no bar; their rows span the whole width.
    list.Clear();
    Fill(5);
    EXPECT_FALSE(list.ScrollBarShown());
    EXPECT_EQ(list.ItemRect(0).Right, 700);
}

TEST_F(RecentFixture, TheDeleteButtonShowsOnTheHoveredRowOnly) {
    Fill(4);
    host.Render();
    // Until the pointer comes, the first row is the hovered one.
    EXPECT_EQ(list.HoverIndex, 0);
    EXPECT_EQ(host.Pixel(2, 2), RGB(246, 246, 246));
    EXPECT_EQ(host.Pixel(2, 72), clWhite);
    EXPECT_EQ(Button(0, "Del"), TRect::FromSize(375, 4, 54, 21));
    EXPECT_EQ(Button(0, "Browse"), TRect::FromSize(600, 20, 73, 25));

    host.MoveTo(200, 150);
    host.Render();
    EXPECT_EQ(list.HoverIndex, 2);
    EXPECT_TRUE(Button(0, "Del").IsEmpty());
    EXPECT_EQ(Button(2, "Del"), TRect::FromSize(375, 144, 54, 21));
    EXPECT_EQ(host.Pixel(2, 142), RGB(246, 246, 246));
    EXPECT_EQ(host.Pixel(2, 2), clWhite);
}

// Mended: the delete event came before the row went, so a handler asking
// whether the list is now empty never saw it so.
TEST_F(RecentFixture, ADeleteRemovesTheRowBeforeTheEvent) {
    Fill(3);
    const TBookLastReadBoxItem* seen = nullptr;
    list.OnDelete = [&](TControl*, TObject* item, const AnsiString& site, const AnsiString& story,
                        int index) {
        auto* row = dynamic_cast<TBookLastReadBoxItem*>(item);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->StoryID, story);  // still alive while the handler runs
        seen = row;
        raised.push_back({"delete", site, story, index, item, list.Count()});
    };
    host.MoveTo(200, 100);
    host.Render();
    const TPoint del = Centre(Button(1, "Del"));
    host.ClickAt(del.X, del.Y);
    ASSERT_EQ(raised.size(), 1u);
    EXPECT_EQ(raised[0], (Raised{"delete", "s1", "id1", 1, seen, 2}));
    EXPECT_EQ(list.Row(1)->StoryID, "id2");

    // The last one: the handler sees an empty list.
    list.Clear();
    raised.clear();
    Fill(1);
    host.MoveTo(200, 30);
    host.Render();
    host.ClickAt(Centre(Button(0, "Del")).X, Centre(Button(0, "Del")).Y);
    ASSERT_EQ(raised.size(), 1u);
    EXPECT_EQ(raised[0].countThen, 0);
}

TEST_F(RecentFixture, WithoutDeleteHandlerTheRowStays) {
    Fill(2);
    list.OnDelete = nullptr;
    host.Render();
    host.ClickAt(Centre(Button(0, "Del")).X, Centre(Button(0, "Del")).Y);
    EXPECT_EQ(list.Count(), 2);
}

// Mended: after a wheel turn without a pointer move, a click could delete a
// row that showed no delete button.
TEST_F(RecentFixture, AfterTheWheelOnlyTheDrawnDeleteButtonDeletes) {
    Fill(10);
    host.MoveTo(400, 84);  // row 1: its delete button is drawn
    host.Render();
    host.MoveTo(400, 154);  // row 2: the button moves there
    host.Render();
    host.Wheel(-120, 400, 154);
    EXPECT_EQ(list.TopIndex(), 1);
    EXPECT_EQ(list.HoverIndex, 3);  // the row now under the resting pointer
    host.MoveTo(400, 84);
    host.Wheel(120, 400, 84);
    EXPECT_EQ(list.TopIndex(), 0);
    EXPECT_EQ(list.HoverIndex, 1);
    // The last paint showed the button on row 2, none on row 1.
    host.ClickAt(400, 84);
    EXPECT_TRUE(raised.empty());
    EXPECT_EQ(list.Count(), 10);
    // Once painted, the button under the pointer is there and deletes.
    host.Render();
    EXPECT_FALSE(Button(1, "Del").IsEmpty());
    EXPECT_TRUE(Button(2, "Del").IsEmpty());
    host.ClickAt(400, 84);
    ASSERT_EQ(raised.size(), 1u);
    EXPECT_EQ(raised[0].storyID, "id1");
    EXPECT_EQ(list.Count(), 9);
}

// Mended: the row hovered before a wheel turn kept its lit read button until
// the pointer crossed it again.
TEST_F(RecentFixture, AfterTheWheelNoButtonStaysLit) {
    Fill(10);
    host.Render();
    const TPoint read = Centre(Button(1, "Browse"));
    host.MoveTo(read.X, read.Y);
    host.Render();
    ASSERT_EQ(list.Row(1)->ButtonState("Browse"), 1);
    host.Wheel(-120, read.X, read.Y);
    host.Render();
    // Row 1 is the top row now, away from the pointer: its read button shows
    // the normal face, as row 3's does.
    EXPECT_EQ(list.Row(1)->ButtonState("Browse"), 2);
    ASSERT_EQ(list.HoverIndex, 2);
    EXPECT_EQ(Region(host, Button(1, "Browse")), Region(host, Button(3, "Browse")));
}

// The keys of a list box move the selection and keep it in view.
TEST_F(RecentFixture, ArrowAndPageKeysMoveTheSelection) {
    Fill(20);  // 400 pixels: five whole rows in view
    host.ClickAt(150, 20);
    ASSERT_EQ(list.SelectedIndex, 0);
    struct Step {
        unsigned key;
        int selected, top;
    } const steps[] = {{vk::Down, 1, 0},   {vk::Up, 0, 0},    {vk::Up, 0, 0},    {vk::Next, 5, 1},
                       {vk::Next, 10, 6},  {vk::Down, 11, 7}, {vk::Prior, 6, 6}, {vk::End, 19, 15},
                       {vk::Down, 19, 15}, {vk::Home, 0, 0},  {vk::Prior, 0, 0}};
    for (const Step& step : steps) {
        EXPECT_TRUE(host.KeyDown(step.key));
        EXPECT_EQ(list.SelectedIndex, step.selected) << step.key;
        EXPECT_EQ(list.TopIndex(), step.top) << step.key;
    }
    EXPECT_FALSE(host.KeyDown(vk::Left)) << "not a key of the list";
    host.Render();
    EXPECT_EQ(host.Pixel(2, 2), RGB(246, 246, 246)) << "the selected row is lit";
    EXPECT_TRUE(raised.empty());
}

TEST_F(RecentFixture, ReadingByButtonAndByDoubleClick) {
    Fill(3);
    host.Render();
    const TPoint read = Centre(Button(1, "Browse"));
    host.ClickAt(read.X, read.Y);
    host.Render();
    host.DoubleClickAt(read.X, read.Y);  // on the button: through the click only
    host.DoubleClickAt(150, 160);        // on the text of row 2
    host.ClickAt(150, 20);               // a single click on text reads nothing
    EXPECT_EQ(raised, (std::vector<Raised>{{"read", "s1", "id1", 1, list.Row(1), 3},
                                           {"read", "s1", "id1", 1, list.Row(1), 3},
                                           {"read", "s2", "id2", 2, list.Row(2), 3}}));
    EXPECT_EQ(list.SelectedIndex, 0);
}

TEST_F(RecentFixture, TheDateIsTheReadTimesDateAndTheStateAlwaysReadsSerialising) {
    const auto render = [&](const AnsiString& readTime, const AnsiString& state) {
        list.Clear();
        list.SelectedIndex = -1;
        Fill(1, readTime, state);
        host.MoveTo(200, 300);  // below the row: it is not highlighted
        host.Render();
        return Region(host, {0, 0, 700, 70});
    };
    const auto withClock = render("2012-05-01 10:20:30", "");
    EXPECT_EQ(render("2012-05-01", ""), withClock);
    EXPECT_NE(render("2012-05-02", ""), withClock);
    // The stored state is never shown.
    EXPECT_EQ(render("2012-05-01", A("已完结")), withClock);
    EXPECT_EQ(list.Row(0)->ArticleState, A("连载中"));
    // No read time: no date at all.
    // (The first row is the hovered one: its background is the highlight.)
    render("", "");
    EXPECT_TRUE(AllOf(host, {300, 36, 446, 68}, RGB(246, 246, 246)));
    render("2012-05-01", "");
    EXPECT_FALSE(AllOf(host, {300, 36, 446, 68}, RGB(246, 246, 246)));
}

TEST_F(RecentFixture, TheScrollBarMovesByRowsAndPages) {
    Fill(20);
    host.Render();
    const TCDScrollBar& bar = list.ScrollBar();
    host.ClickAt(Centre(bar.DownArrowRect).X, Centre(bar.DownArrowRect).Y);
    EXPECT_EQ(list.TopIndex(), 1);
    host.Render();
    host.ClickAt(bar.TrackRect.Left + 5, bar.TrackRect.Bottom - 2);
    EXPECT_EQ(list.TopIndex(), 1 + 400 / 70);
    host.Render();
    host.ClickAt(Centre(bar.UpArrowRect).X, Centre(bar.UpArrowRect).Y);
    EXPECT_EQ(list.TopIndex(), 400 / 70);
    // Dragging the thumb to the end shows the last row at the top.
    host.Render();
    const TPoint thumb = Centre(bar.ThumbRect);
    host.Press(thumb.X, thumb.Y);
    host.MoveTo(thumb.X, thumb.Y + 400);
    host.Release(thumb.X, thumb.Y + 400);
    EXPECT_EQ(list.TopIndex(), 19);
}

}  // namespace
