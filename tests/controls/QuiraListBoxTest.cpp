#include "controls/QuiraListBox.h"

#include <gtest/gtest.h>

#include "controls/HeadlessHost.h"

namespace {

AnsiString A(const char* utf8) {
    return platform::Utf8ToAnsi(utf8);
}

struct Event {
    std::string kind, a, b;
    friend bool operator==(const Event&, const Event&) = default;
};

struct NavFixture : ::testing::Test {
    void Build(int height) {
        list.SetBounds(0, 0, 200, height);
        hot = list.AddMainClass(A("今日热门"), "TodayHot", 3, 0);
        online = list.AddMainClass(A("在线书架"), "MyOnlineShelf", 0, 1);
        lib = list.AddMainClass(A("小说库"), "StoryLib", 1, 2);
        const char* genres[] = {"玄幻", "仙侠", "军事", "科幻", "耽美", "网友求书", "历史"};
        for (int i = 0; i < 7; ++i)
            list.AddSubClass(lib, A(genres[i]),
                             "http://vendor/velqonew/news/?type_id=" + std::to_string(i + 1));
        recent = list.AddMainClass(A("最近阅读"), "RecentRead", 2, 3);
        for (int i = 0; i < 10; ++i)
            list.AddSubClass(recent, "story" + std::to_string(i), "id" + std::to_string(i),
                             "site" + std::to_string(i), "id" + std::to_string(i));
        list.OnClickMainClass = [&](TControl*, const AnsiString& id) {
            events.push_back({"main", id, ""});
        };
        list.OnClickShelf = [&](TControl*, const AnsiString& id) {
            events.push_back({"shelf", id, ""});
        };
        list.OnClickShelfDetail = [&](TControl*, const AnsiString& id) {
            events.push_back({"detail", id, ""});
        };
        list.OnClickRecentRead = [&](TControl*, const AnsiString& a, const AnsiString& b) {
            events.push_back({"read", a, b});
        };
        list.OnDeleteRecentRead = [&](TControl*, const AnsiString& a, const AnsiString& b) {
            events.push_back({"delete", a, b});
        };
        host.Add(list);
        host.Render();
    }
    void ClickOn(const TRect& r) { host.ClickAt(r.Left + 2, (r.Top + r.Bottom) / 2); }

    THeadlessHost host{200, 700};
    TQuiraListBox list;
    TNodeData *hot = nullptr, *online = nullptr, *lib = nullptr, *recent = nullptr;
    std::vector<Event> events;
};

TEST_F(NavFixture, LaysOutMainClassesAndSubItems) {
    Build(700);
    // Main classes: 35-pixel rows from y = 4; the caption is clickable from x = 42.
    EXPECT_EQ(hot->Rect.Top, 4);
    EXPECT_EQ(hot->Rect.Bottom, 39);
    EXPECT_EQ(hot->Rect.Left, 42);
    EXPECT_EQ(online->Rect.Top, 39);  // no sub-items
    EXPECT_EQ(lib->Rect.Top, 74);
    // The genre grid: three per row, 40 apart, rows 25 apart.
    const auto& g = lib->Children;
    EXPECT_EQ(g[0]->Rect.Left, 30);
    EXPECT_EQ(g[1]->Rect.Left, 70);
    EXPECT_EQ(g[2]->Rect.Left, 110);
    EXPECT_EQ(g[3]->Rect.Left, 30);
    EXPECT_EQ(g[0]->Rect.Top, 109);
    EXPECT_EQ(g[3]->Rect.Top, 134);
    EXPECT_EQ(g[6]->Rect.Top, 159);
    EXPECT_EQ(g[0]->Rect.Width(), 24) << "two characters of 12 pixels";
    // Recent reads: 20-pixel rows below the grid's last row, with close boxes.
    EXPECT_EQ(recent->Rect.Top, 184);
    EXPECT_EQ(recent->Children[0]->Rect.Top, 219);
    EXPECT_EQ(recent->Children[1]->Rect.Top, 239);
    EXPECT_EQ(recent->Children[0]->CloseRect, TRect::FromSize(170, 225, 11, 11));
    EXPECT_TRUE(list.MoreEntry().Rect.IsEmpty()) << "all ten fit";
}

TEST_F(NavFixture, RoutesClicksByEntry) {
    Build(700);
    ClickOn(lib->Rect);
    ClickOn(lib->Children[1]->Rect);
    ClickOn(recent->Children[2]->Rect);
    ClickOn(recent->Children[3]->CloseRect);
    EXPECT_EQ(events, (std::vector<Event>{{"main", "StoryLib", ""},
                                          {"detail", "http://vendor/velqonew/news/?type_id=2", ""},
                                          {"read", "site2", "id2"},
                                          {"delete", "site3", "id3"}}));
    // The close box left the selection where the read put it.
    EXPECT_EQ(recent->Children[2]->State, 3);
    EXPECT_EQ(lib->Children[1]->State, 0);
    EXPECT_EQ(lib->State, 0);
}

TEST_F(NavFixture, SelectionKeepsItsLookUnderThePointer) {
    Build(700);
    TNodeData& genre = *lib->Children[0];
    ClickOn(genre.Rect);
    EXPECT_EQ(genre.State, 3);
    host.MoveTo(genre.Rect.Left + 1, genre.Rect.Top + 2);
    host.MoveTo(199, 690);
    EXPECT_EQ(genre.State, 3);
    // Hover and press on another entry.
    TNodeData& other = *lib->Children[1];
    host.MoveTo(other.Rect.Left + 1, other.Rect.Top + 2);
    EXPECT_EQ(other.State, 1);
    EXPECT_EQ(host.EffectiveCursor(), TCursor::HandPoint);
    host.PointerPress(TMouseButton::Left, other.Rect.Left + 1, other.Rect.Top + 2);
    host.MoveTo(other.Rect.Left + 2, other.Rect.Top + 2);
    EXPECT_EQ(other.State, 2);
    host.PointerRelease(TMouseButton::Left, 199, 690);
    host.MoveTo(199, 690);
    EXPECT_EQ(other.State, 0);
    EXPECT_EQ(host.EffectiveCursor(), TCursor::Default);
}

TEST_F(NavFixture, RecentReadsThatDoNotFitEndInMore) {
    Build(300);  // room for two rows above the last 40 pixels
    const auto& reads = recent->Children;
    EXPECT_FALSE(reads[1]->Rect.IsEmpty());
    EXPECT_TRUE(reads[3]->Rect.IsEmpty()) << "skipped rows are not clickable";
    const TRect more = list.MoreEntry().Rect;
    ASSERT_FALSE(more.IsEmpty());
    EXPECT_EQ(more.Right, 188);
    EXPECT_LE(more.Bottom + 20, 300 + 20);
    ClickOn(more);
    EXPECT_EQ(events, (std::vector<Event>{{"main", "RecentRead", ""}}));
}

TEST_F(NavFixture, MoreFollowsTheLastRowWhenItEndsInTheLastFortyPixels) {
    Build(450);  // the tenth row ends at 419, within the last 40 pixels
    const auto& reads = recent->Children;
    EXPECT_EQ(reads[9]->Rect.Top, 399);
    EXPECT_EQ(list.MoreEntry().Rect.Top, 419);
    EXPECT_EQ(list.MoreEntry().Rect.Right, 188);
}

// "More" always lies wholly inside the list, where it can be read and
// clicked: a row that leaves no room for it below gives it its place.
TEST_F(NavFixture, MoreIsNeverCutByTheListsEdge) {
    struct Case {
        int height;
        int rows;     // recent reads drawn
        int moreTop;  // -1: no "more"
    } const cases[] = {
        {252, 0, 219},  // the first row and "more" do not both fit
        {238, 0, -1},   // not even "more" fits below the heading
        {259, 1, 239},  // one row, "more" below it
        {272, 1, 239}, {279, 2, 259},
    };
    Build(700);
    for (const Case& c : cases) {
        list.ClearSubClasses(recent);
        events.clear();
        list.SetBounds(0, 0, 200, c.height);
        for (int i = 0; i < 10; ++i)
            list.AddSubClass(recent, "story" + std::to_string(i), "id" + std::to_string(i),
                             "site" + std::to_string(i), "id" + std::to_string(i));
        host.Render();
        int drawn = 0;
        for (const auto& read : recent->Children) drawn += read->Rect.IsEmpty() ? 0 : 1;
        EXPECT_EQ(drawn, c.rows) << c.height;
        const TRect more = list.MoreEntry().Rect;
        if (c.moreTop < 0) {
            EXPECT_TRUE(more.IsEmpty()) << c.height;
            continue;
        }
        EXPECT_EQ(more.Top, c.moreTop) << c.height;
        EXPECT_LE(more.Bottom, c.height) << c.height;
        ClickOn(more);
        EXPECT_EQ(events, (std::vector<Event>{{"main", "RecentRead", ""}})) << c.height;
    }
    // A single recent read that fits is shown, with nothing after it.
    list.ClearSubClasses(recent);
    list.AddSubClass(recent, "only", "id", "site", "id");
    list.SetBounds(0, 0, 200, 245);
    host.Render();
    EXPECT_EQ(recent->Children[0]->Rect.Top, 219);
    EXPECT_TRUE(list.MoreEntry().Rect.IsEmpty());
}

TEST_F(NavFixture, HiddenLayoutsAndClearedItemsAreNotClickable) {
    Build(700);
    list.AddSubClass(hot, "hidden", "x");
    list.AddSubClass(online, A("默认书架"), "7");
    host.Render();
    EXPECT_TRUE(hot->Children[0]->Rect.IsEmpty()) << "layout 3 shows no sub-items";
    // Layout 0 rows span the whole width; their parent is no "MyShelf".
    EXPECT_EQ(online->Children[0]->Rect, (TRect{0, 74, 200, 94}));
    ClickOn(online->Children[0]->Rect);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(online->Children[0]->State, 3);

    const TRect old = recent->Children[0]->Rect;
    list.ClearSubClasses(recent);
    host.Render();
    host.ClickAt(old.Left + 2, old.Top + 5);
    EXPECT_TRUE(events.empty());
}

TEST_F(NavFixture, DrawsTheGenreInRedAndTheCount) {
    Build(700);
    online->Children.clear();
    TNodeData* shelf = list.AddSubClass(online, A("书架"), "1");
    shelf->Count = 12;
    host.Render();
    const TRect red = lib->Children[4]->Rect;  // "耽美"
    bool sawRed = false;
    for (int x = red.Left; x < red.Right; ++x)
        for (int y = red.Top; y < red.Bottom; ++y) {
            const TColor p = host.Pixel(x, y);
            if ((p >> 16) > 0xC0 && ((p >> 8) & 0xFF) < 0x60 && (p & 0xFF) < 0x60) sawRed = true;
        }
    EXPECT_TRUE(sawRed);
    // " (12)" follows the caption in its own blue.
    bool sawCount = false;
    for (int x = 64; x < 140; ++x)
        for (int y = shelf->Rect.Top; y < shelf->Rect.Bottom; ++y) {
            const TColor p = host.Pixel(x, y);
            if ((p & 0xFF) > 0xE0 && ((p >> 16) & 0xFF) < 0x60) sawCount = true;
        }
    EXPECT_TRUE(sawCount);
}

}  // namespace
