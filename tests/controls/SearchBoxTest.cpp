#include "controls/SearchBox2.h"

#include <gtest/gtest.h>

#include "FrameProbe.h"
#include "controls/ComponentGlobal.h"

namespace {

TEST(SearchBox, EditSitsInsideAndFollowsTheWidth) {
    TSearchBox2 box;
    EXPECT_EQ(box.Width(), 340);
    EXPECT_EQ(box.Height(), 33);
    EXPECT_EQ(box.Edit().Bounds(), TRect::FromSize(30, 9, 302, 18));
    box.SetWidth(500);
    EXPECT_EQ(box.Edit().Bounds(), TRect::FromSize(30, 9, 462, 18)) << "anchored right";
    box.SetWidth(200);
    EXPECT_EQ(box.Edit().Bounds().Width(), 162);
}

// Wider than its image: both ends keep their natural width and the middle
// column is stretched between them.
TEST(SearchBox, PaintsInThreeSlices) {
    const auto image = LoadResourceImage("SearchBox2");
    ASSERT_TRUE(image);
    THeadlessHost reference(340, 33);
    cairo_t* cr = cairo_create(reference.Surface());
    cairo_set_source_surface(cr, image->Surface(), 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    const auto column = [](cairo_surface_t* s, int x) { return Pixels(s, {x, 0, x + 1, 33}); };

    TSearchBox2 box;
    box.SetWidth(500);
    THeadlessHost host(500, 33);
    host.Add(box);
    host.Render();
    for (int x : {0, 5, 100, 169})
        EXPECT_EQ(column(host.Surface(), x), column(reference.Surface(), x)) << x;
    for (int x : {170, 250, 329})
        EXPECT_EQ(column(host.Surface(), x), column(reference.Surface(), 170)) << x;
    for (int x : {330, 400, 499})
        EXPECT_EQ(column(host.Surface(), x), column(reference.Surface(), x - 160)) << x;
}

TEST(SearchBox, EnterAsksForASearchAndIsSwallowed) {
    TSearchBox2 box;
    int searches = 0;
    box.OnClickEx = [&](TControl* sender) {
        EXPECT_EQ(sender, &box);
        ++searches;
    };
    EXPECT_TRUE(box.Edit().DoKeyPress(13)) << "in the empty edit";
    EXPECT_FALSE(box.Edit().DoKeyPress('a'));
    THeadlessHost host(400, 40);
    host.Add(box);
    host.ClickAt(5, 5);  // focuses the box itself
    EXPECT_TRUE(host.Type(13));
    EXPECT_EQ(searches, 2);
}

TEST(SearchBox, ClickingIntoThePromptEmptiesIt) {
    TSearchBox2 box;
    box.SetText(TSearchBox2::Prompt());
    box.Edit().DoClick();
    EXPECT_EQ(box.Text(), "");
    box.SetText(platform::Utf8ToAnsi("诡秘之主"));
    box.Edit().DoClick();
    EXPECT_EQ(box.Text(), platform::Utf8ToAnsi("诡秘之主"));
    box.ClearPrompt();
    EXPECT_EQ(box.Text(), platform::Utf8ToAnsi("诡秘之主"));
}

TEST(SearchBox, ClicksOnTheBoxRaiseOnClickOnly) {
    // The box has no in-box button: after the pointer has moved, a click is a
    // plain click.
    TSearchBox2 box;
    int clicks = 0, searches = 0;
    box.OnClick = [&](TControl*) { ++clicks; };
    box.OnClickEx = [&](TControl*) { ++searches; };
    THeadlessHost host(400, 40);
    host.Add(box);
    host.MoveTo(10, 10);
    host.ClickAt(12, 12);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(searches, 0);
}

}  // namespace
