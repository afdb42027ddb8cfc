// Which frame each button kind shows as the pointer works on it, one table per
// kind. The frame is read back from the rendered pixels.

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "FrameProbe.h"
#include "ProgramArtwork.h"
#include "controls/ComponentGlobal.h"
#include "controls/XButton.h"
#include "controls/XCheckBox.h"
#include "controls/XCloseButton.h"
#include "controls/XSearchBtn.h"
#include "controls/XStandardButton.h"
#include "reader/XReaderButton3.h"

namespace {

constexpr int kOffset = 10;  // the control sits at (10, 10) in a larger host

struct Step {
    const char* what;
    std::function<void(THeadlessHost&, TControl&)> act;
    int frame;
};

// Pointer positions relative to the control.
void Inside(THeadlessHost& h, TControl& c) {
    h.MoveTo(c.Left() + 3, c.Top() + 3);
}
void Outside(THeadlessHost& h, TControl&) {
    h.MoveTo(1, 1);
}
void Press(THeadlessHost& h, TControl& c) {
    h.Press(c.Left() + 3, c.Top() + 3);
}
void ReleaseInside(THeadlessHost& h, TControl& c) {
    h.Release(c.Left() + 3, c.Top() + 3);
}
void PressDragOut(THeadlessHost& h, TControl& c) {
    h.Press(c.Left() + 3, c.Top() + 3);
    h.MoveTo(1, 1);
}
void ReleaseOutside(THeadlessHost& h, TControl&) {
    h.Release(1, 1);
}
void Disable(THeadlessHost&, TControl& c) {
    c.SetEnabled(false);
}

void RunTable(TControl& control, const std::vector<FrameCandidate>& candidates,
              const std::vector<Step>& steps, TColor background = clWhite) {
    THeadlessHost host(control.Width() + 2 * kOffset, control.Height() + 2 * kOffset, background);
    control.SetLeft(kOffset);
    control.SetTop(kOffset);
    host.Add(control);
    EXPECT_EQ(ShownFrame(host, control.BoundsRect(), background, candidates), steps[0].frame)
        << "at creation";
    for (size_t i = 1; i < steps.size(); ++i) {
        steps[i].act(host, control);
        EXPECT_EQ(ShownFrame(host, control.BoundsRect(), background, candidates), steps[i].frame)
            << "after " << steps[i].what;
    }
}

const std::vector<Step> kStandardSteps = {
    {"creation", nullptr, 1},
    {"enter", Inside, 2},
    {"press", Press, 3},
    {"release inside", ReleaseInside, 2},
    {"press and drag out", PressDragOut, 3},  // the capture keeps the pressed face
    {"release outside", ReleaseOutside, 1},
    {"enter again", Inside, 2},
    {"leave", Outside, 1},
    {"disable", Disable, -1},  // four frames: only the base shows
};

template <typename Button>
void StandardTable(const char* sprite, int width, int height, std::unique_ptr<TGPImage> image) {
    SCOPED_TRACE(sprite);
    Button button;
    ASSERT_TRUE(image);
    EXPECT_EQ(button.Width(), width);
    EXPECT_EQ(button.Height(), height);
    RunTable(button, StackedCandidates(image.get(), 4, width, height, true, true), kStandardSteps);
}

TEST(ButtonFrames, StandardButtonFamily) {
    StandardTable<TXReaderButton2>("ReaderButton2", 82, 21, LoadResourceImage("ReaderButton2"));
    StandardTable<TXBackButton>("BackBtnBG", 60, 24, LoadResourceImage("BackBtnBG"));
    const UseArtworkOf reader(TProgramArtwork::Reader);
    StandardTable<TXReaderButton3>("XReaderButton3", 80, 27, LoadResourceImage("XReaderButton3"));
}

TEST(ButtonFrames, StickyXButton) {
    TXButton button;
    button.SetWidth(80);
    const auto sprite = LoadResourceImage("XButton");
    ASSERT_TRUE(sprite);
    EXPECT_EQ(button.Height(), 20);
    int clicks = 0;
    button.OnClick = [&](TControl*) { ++clicks; };
    RunTable(button, StackedCandidates(sprite.get(), 3, 80, 20, true, true),
             {
                 {"creation", nullptr, 1},
                 {"enter", Inside, 2},
                 {"press", Press, 2},  // press and release change nothing
                 {"release inside (click)", ReleaseInside, 2},
                 {"leave while down", Outside, 2},
                 {"owner clears Down",
                  [](THeadlessHost&, TControl& c) { static_cast<TXButton&>(c).SetDown(false); }, 1},
             });
    EXPECT_EQ(clicks, 1);
}

TEST(ButtonFrames, CloseButtonPressesWithoutRepaint) {
    TXCloseButton button;
    const auto sprite = LoadResourceImage("SysButtonClose2");
    EXPECT_EQ(button.Width(), 40);
    EXPECT_EQ(button.Height(), 17);
    RunTable(button, StackedCandidates(sprite.get(), 4, 40, 17, true, true),
             {
                 {"creation", nullptr, 1},
                 {"enter", Inside, 2},
                 {"press", Press, 3},
                 {"release inside", ReleaseInside, 2},
                 {"leave", Outside, 1},
             });

    THeadlessHost host(60, 40);
    host.Add(button);
    host.MoveTo(button.Left() + 3, button.Top() + 3);
    host.ResetInvalidations();
    host.PointerPress(TMouseButton::Left, button.Left() + 3, button.Top() + 3);
    EXPECT_EQ(host.Invalidations(), 0) << "the press asks for no repaint";
    EXPECT_TRUE(button.Pressed());
}

TEST(ButtonFrames, SearchButtonDrawsStatesOnlyWhenEnabled) {
    TXSearchBtn button;
    const auto sprite = LoadResourceImage("XSearchBtn");
    EXPECT_EQ(button.Width(), 73);
    EXPECT_EQ(button.Height(), 33);
    // No white fill: the frames lie over the form's background.
    const TColor band = RGB(0x2B, 0x83, 0xD6);
    RunTable(button, StackedCandidates(sprite.get(), 3, 73, 33, false, true),
             {
                 {"creation", nullptr, 0},
                 {"enter", Inside, 1},
                 {"press", Press, 2},
                 {"release inside", ReleaseInside, 1},
                 {"leave", Outside, 0},
                 {"disable", Disable, -1},
             },
             band);
}

// The hand shows over the search button alone; the other buttons and the
// check box keep the default cursor.
TEST(ButtonFrames, OnlyTheSearchButtonShowsTheHand) {
    struct Case {
        const char* what;
        std::unique_ptr<TControl> control;
        TCursor inside;
    };
    Case cases[] = {
        {"search button", std::make_unique<TXSearchBtn>(), TCursor::HandPoint},
        {"standard button", std::make_unique<TXBackButton>(), TCursor::Default},
        {"text button", std::make_unique<TXButton>(), TCursor::Default},
        {"close button", std::make_unique<TXCloseButton>(), TCursor::Default},
        {"check box", std::make_unique<TXCheckBox>(), TCursor::Default},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        THeadlessHost host(100, 60);
        c.control->SetLeft(10);
        host.Add(*c.control);
        host.MoveTo(20, 10);
        EXPECT_EQ(host.EffectiveCursor(), c.inside);
        host.MoveTo(95, 55);
        EXPECT_EQ(host.EffectiveCursor(), TCursor::Default);
    }
}

TEST(ButtonFrames, CheckBox) {
    TXCheckBox box;
    box.SetWidth(16);  // no caption area to compare
    const auto sprite = LoadResourceImage("CheckBox");
    const auto background = LoadResourceImage("CheckBoxBG");
    ASSERT_TRUE(sprite && background);
    std::vector<FrameCandidate> candidates;
    for (int k = 0; k < 8; ++k)
        candidates.push_back({k, [&, k](TCanvas& canvas) {
                                  canvas.StretchDraw(
                                      background.get(), {0, 0, 16, 16},
                                      TRect::FromSize(0, 0, 1, background->Height()));
                                  canvas.StretchDraw(sprite.get(), TRect::FromSize(0, 1, 13, 13),
                                                     TRect::FromSize(0, k * 13, 13, 13));
                              }});
    std::vector<bool> changes;
    box.OnChange = [&](TControl*, bool checked) { changes.push_back(checked); };
    const auto enableChecked = [](THeadlessHost&, TControl& c) {
        c.SetEnabled(true);
        static_cast<TXCheckBox&>(c).SetChecked(false);
    };
    RunTable(box, candidates,
             {
                 {"creation", nullptr, 0},
                 {"enter", Inside, 1},
                 {"press", Press, 2},
                 {"release inside (click checks)", ReleaseInside, 5},
                 {"click again: stays checked",
                  [](THeadlessHost& h, TControl& c) { h.ClickAt(c.Left() + 3, c.Top() + 3); }, 5},
                 {"leave", Outside, 4},
                 {"disable while checked", Disable, 7},
                 {"enable, uncheck", enableChecked, 0},
                 {"disable while unchecked", Disable, 3},
             });
    // Every click raises OnChange with true, also when it was checked already.
    EXPECT_EQ(changes, (std::vector<bool>{true, true, false}));
}

TEST(ButtonCaptions, GreyWhenDisabledAndBesideTheIcon) {
    // A caption without an icon is centred over the whole face; with an
    // icon it is centred right of it.
    THeadlessHost host(100, 40);
    TXBackButton button;
    button.SetCaption(platform::Utf8ToAnsi("返回"));
    host.Add(button);
    host.Render();
    const auto dark = [&](int from, int to) {
        int n = 0;
        for (int x = from; x < to; ++x)
            for (int y = 0; y < button.Height(); ++y)
                if ((host.Pixel(x, y) & 0xFF) < 0x80) ++n;
        return n;
    };
    EXPECT_GT(dark(20, 40), 0);
    EXPECT_EQ(dark(2, 15), 0);

    button.SetEnabled(false);
    host.Render();
    bool grey = false;
    for (int x = 0; x < button.Width(); ++x)
        for (int y = 0; y < button.Height(); ++y) {
            const TColor p = host.Pixel(x, y);
            if (p == RGB(0x83, 0x83, 0x83)) grey = true;
            EXPECT_FALSE((p & 0xFF) < 0x60) << "no dark caption pixels when disabled";
        }
    EXPECT_TRUE(grey);
}

}  // namespace
