#include <gtest/gtest.h>

#include "controls/ComponentGlobal.h"
#include "controls/HeadlessHost.h"
#include "controls/HotStoryPanel.h"
#include "controls/SearchResultPanel.h"
#include "controls/StoryPicPanel.h"
#include "controls/XCenterPanel.h"

namespace {

std::unique_ptr<TGPImage> Solid(double r, double g, double b) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 4, 4);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, r, g, b);
    cairo_paint(cr);
    cairo_destroy(cr);
    return std::make_unique<TGPImage>(s);
}

TEST(HotStoryPanel, NamesThatDoNotFitAreCutWholeAndNotClickable) {
    THotStoryPanel panel;
    panel.SetBounds(0, 0, 200, 20);
    const TColor band = RGB(0x2B, 0x83, 0xD6);
    THeadlessHost host(200, 20, band);
    host.Add(panel);
    host.Render();
    for (int x = 0; x < 200; ++x)
        ASSERT_EQ(host.Pixel(x, 10), band) << "an empty list draws nothing";

    panel.AddStory("AAAA", "words a");
    panel.AddStory("BBBB", "words b");
    panel.AddStory("A name far too long to fit in what is left of the line", "never");
    panel.AddStory("C", "after the cut");
    host.Render();
    const auto& s = panel.Stories();
    EXPECT_FALSE(s[0].Rect.IsEmpty());
    EXPECT_EQ(s[1].Rect.Left, s[0].Rect.Right + 10);
    EXPECT_TRUE(s[2].Rect.IsEmpty());
    EXPECT_TRUE(s[3].Rect.IsEmpty()) << "the names after the cut are not drawn either";

    std::vector<std::pair<AnsiString, AnsiString>> clicks;
    panel.OnClickEx = [&](TControl*, const AnsiString& name, const AnsiString& words) {
        clicks.push_back({name, words});
    };
    host.ClickAt(s[1].Rect.Left + 2, 10);
    host.ClickAt(195, 10);
    EXPECT_EQ(clicks, (std::vector<std::pair<AnsiString, AnsiString>>{{"BBBB", "words b"}}));
    host.MoveTo(s[0].Rect.Left + 2, 10);
    EXPECT_TRUE(panel.Stories()[0].Hover);
    EXPECT_EQ(host.EffectiveCursor(), TCursor::HandPoint);
    host.Leave();
    EXPECT_FALSE(panel.Stories()[0].Hover);
    EXPECT_EQ(host.EffectiveCursor(), TCursor::Default);
}

TEST(StoryPicPanel, RotatesPicturesAndKeepsOnlyWebLinks) {
    TStoryPicPanel panel;
    EXPECT_EQ(panel.Width(), 233);
    EXPECT_EQ(panel.Height(), 47);
    THeadlessHost host(233, 47);
    host.Add(panel);
    EXPECT_FALSE(panel.Timer().Enabled());

    panel.AddPicture(Solid(1, 0, 0), "https://example.com/red");
    panel.NextPicture();
    EXPECT_TRUE(panel.Timer().Enabled()) << "one picture keeps its timer running";
    EXPECT_EQ(panel.CurrentURL(), "https://example.com/red");
    host.Clock().Advance(9000);
    EXPECT_EQ(panel.CurrentIndex(), 0);
    host.Render();
    EXPECT_EQ(host.Pixel(116, 23), 0xFF0000u) << "the picture fills the frame less 2 pixels";

    panel.AddPicture(Solid(0, 0, 1), "file:///home/user/.ssh/id_rsa");
    host.Clock().Advance(3000);
    EXPECT_EQ(panel.CurrentIndex(), 1);
    EXPECT_EQ(panel.CurrentURL(), "") << "not a web address: nothing to open";
    host.Render();
    EXPECT_EQ(host.Pixel(116, 23), 0x0000FFu);
}

TEST(StoryPicPanel, ClearedBannerDrawsNothingAndHides) {
    TStoryPicPanel panel;
    THeadlessHost host(233, 47, RGB(1, 2, 3));
    host.Add(panel);
    for (int i = 0; i < 3; ++i) panel.AddPicture(Solid(0, 1, 0), "http://x/");
    panel.NextPicture();
    panel.NextPicture();
    panel.NextPicture();  // index 2
    panel.Clear();
    host.Render();
    EXPECT_EQ(host.Pixel(116, 23), RGB(1, 2, 3));
    panel.UpdateVisible();
    EXPECT_FALSE(panel.Visible());
    // A shorter new list starts over (an index past its end would never wrap).
    panel.AddPicture(Solid(1, 0, 0), "http://one/");
    panel.NextPicture();
    EXPECT_EQ(panel.CurrentIndex(), 0);
    EXPECT_EQ(panel.CurrentURL(), "http://one/");
    panel.UpdateVisible();
    EXPECT_TRUE(panel.Visible());
}

TEST(SearchResultPanel, StatusOverThePill) {
    TSearchResultPanel panel;
    panel.SetBounds(0, 0, 300, 43);
    THeadlessHost host(300, 43);
    host.Add(panel);
    host.Render();
    const auto bg = LoadResourceImage("SearchResultBG");
    ASSERT_TRUE(bg);
    // Empty status: only the background, whose middle column spans the width.
    const TColor middle = host.Pixel(150, 20);
    EXPECT_EQ(host.Pixel(60, 20), middle);
    EXPECT_EQ(host.Pixel(1, 1), clWhite) << "white around the pill";
    panel.SetStatusInfo(platform::Utf8ToAnsi("搜索完成"));
    host.Render();
    int text = 0;
    for (int x = 100; x < 200; ++x)
        if (host.Pixel(x, 21) != middle) ++text;
    EXPECT_GT(text, 0);
}

TEST(XCenterPanel, PaintsAsAPlainPanel) {
    TXCenterPanel panel;
    panel.SetBounds(0, 0, 50, 30);
    panel.Color = RGB(0xF7, 0xF9, 0xFB);
    THeadlessHost host(50, 30);
    host.Add(panel);
    host.Render();
    EXPECT_EQ(host.Pixel(25, 15), RGB(0xF7, 0xF9, 0xFB));
    EXPECT_EQ(host.Pixel(49, 15), RGB(0xA0, 0xA0, 0xA0)) << "raised bevel, dark right edge";
    panel.BevelOuter = TBevelCut::None;
    host.Render();
    EXPECT_EQ(host.Pixel(49, 15), RGB(0xF7, 0xF9, 0xFB));
}

}  // namespace
