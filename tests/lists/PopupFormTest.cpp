#include "controls/PopupForm.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "controls/FormWindow.h"
#include "controls/HeadlessHost.h"
#include "tests/lists/ListTestSupport.h"

namespace {

using liststest::A;
using liststest::Centre;

// The window the pop-up would move: it records what is done to it.
class FakePopupWindow : public TPopupWindow, public TFormWindow {
  public:
    FakePopupWindow() { host.SetForm(this); }

    TControlHost& Host() override { return host; }
    TRect WorkArea() const override { return workArea; }
    TPoint Position() const override { return position; }
    void Move(int left, int top) override {
        position = {left, top};
        moves.push_back(position);
    }
    void SetVisibleHeight(int height) override { heights.push_back(height); }
    void Show() override { shown = true; }
    void Hide() override { shown = false; }
    bool Visible() const override { return shown; }
    bool PointerInside() const override { return pointerInside; }

    // The placement calls: only the drag matters here.
    TRect NormalRect() const override { return {}; }
    void SetNormalRect(const TRect&) override {}
    TPoint DesktopSize() const override { return {}; }
    TPoint ScreenSize() const override { return {}; }
    TPoint Size() const override { return {TPopupForm::kWidth, TPopupForm::kHeight}; }
    void Minimize() override {}
    void HideToTray() override {}
    bool TrayShown() const override { return false; }
    void Close() override {}
    void BeginMoveDrag() override { ++drags; }

    THeadlessHost host{TPopupForm::kWidth, TPopupForm::kHeight};
    // A panel on the left and one on top: the area does not start at 0.
    TRect workArea{60, 30, 1280, 994};
    TPoint position;
    std::vector<TPoint> moves;
    std::vector<int> heights;
    bool shown = false;
    bool pointerInside = false;
    int drags = 0;
};

struct PopupFixture : ::testing::Test {
    PopupFixture() {
        auto owned = std::make_unique<FakePopupWindow>();
        window = owned.get();
        popup = std::make_unique<TPopupForm>(std::move(owned));
        popup->OnReadStory = [this](TPopupForm* sender, const AnsiString& site,
                                    const AnsiString& story) {
            EXPECT_EQ(sender, popup.get());
            EXPECT_TRUE(window->shown) << "the event comes before the pop-up hides";
            reads.push_back(site + "/" + story);
        };
    }
    TManualClock& Clock() { return window->host.Clock(); }
    void Queue(int n) {
        popup->ClearNotifies();
        for (int i = 0; i < n; ++i)
            popup->AddNotify("s" + std::to_string(i), "id" + std::to_string(i),
                             A("书名") + std::to_string(i), A("作者"), A("第") + std::to_string(i));
    }
    void Click(const TControl& c) {
        window->host.ClickAt(Centre(c.BoundsRect()).X, Centre(c.BoundsRect()).Y);
    }

    FakePopupWindow* window = nullptr;
    std::unique_ptr<TPopupForm> popup;
    std::vector<std::string> reads;
};

TEST_F(PopupFixture, SlidesUpIntoTheLowerRightCornerOfTheWorkArea) {
    Queue(3);
    popup->ShowNotify();
    EXPECT_TRUE(window->shown);
    EXPECT_EQ(window->position, (TPoint{1280 - 320, 994}));
    EXPECT_EQ(popup->TargetTop, 994 - 150);
    EXPECT_EQ(window->heights.back(), 150);
    // The first notice, whatever else is queued.
    EXPECT_EQ(popup->StoryNameLabel.Caption(), A("《书名0》[作者]"));
    EXPECT_EQ(popup->LastArtilceInfoLabel.Caption(), A("最新章节:第0"));
    EXPECT_EQ(popup->CurrentSiteID, "s0");
    EXPECT_EQ(popup->CurrentStoryID, "id0");

    // Ten pixels every 10 ms: up in 15 ticks, then the timer stops.
    Clock().Advance(140);
    EXPECT_EQ(window->position.Y, 994 - 140);
    Clock().Advance(10);
    EXPECT_EQ(window->position.Y, 994 - 150);
    Clock().Advance(10);
    EXPECT_FALSE(popup->OpenTimer.Enabled());
    const size_t moves = window->moves.size();
    Clock().Advance(1000);
    EXPECT_EQ(window->moves.size(), moves);
    for (const TPoint& p : window->moves) EXPECT_EQ(p.X, 960);

    // Shown again while up: new texts, no second slide.
    popup->ClearNotifies();
    popup->AddNotify("s9", "id9", A("新书"), "", A("终章"));
    popup->ShowNotify();
    EXPECT_EQ(window->moves.size(), moves);
    EXPECT_EQ(popup->StoryNameLabel.Caption(), A("《新书》[]"));
    EXPECT_EQ(popup->CurrentStoryID, "id9");
}

TEST_F(PopupFixture, BeforeAnyClearTheLabelsKeepTheirTexts) {
    popup->AddNotify("s", "id", A("书"), A("某"), A("章"));
    EXPECT_EQ(popup->NotifyIndex, -1);
    EXPECT_TRUE(popup->HasNotify());
    popup->StoryNameLabel.SetCaption("before");
    popup->ShowNotify();
    EXPECT_EQ(popup->StoryNameLabel.Caption(), "before");
    EXPECT_TRUE(popup->CurrentSiteID.empty());
    popup->ClearNotifies();
    EXPECT_FALSE(popup->HasNotify());
    EXPECT_EQ(popup->NotifyIndex, 0);
}

TEST_F(PopupFixture, ThePointerHoldsItAndLeavingStartsAFullWait) {
    Queue(1);
    window->pointerInside = true;
    popup->ShowNotify();
    Clock().Advance(10 * 60 * 1000);
    EXPECT_TRUE(window->shown);
    EXPECT_FALSE(popup->CloseTimer.Enabled());

    window->pointerInside = false;  // left; a tick within 200 ms notices
    Clock().Advance(30 * 1000);
    window->pointerInside = true;  // back for ten seconds
    Clock().Advance(10 * 1000);
    window->pointerInside = false;
    Clock().Advance(59 * 1000 + 800);
    EXPECT_FALSE(popup->RollingDown()) << "the wait starts over when the pointer leaves";
    Clock().Advance(400);
    EXPECT_TRUE(popup->RollingDown());

    // Rolled down two pixels every 10 ms, then hidden.
    const size_t moves = window->moves.size(), heights = window->heights.size();
    Clock().Advance(750);
    EXPECT_FALSE(window->shown);
    ASSERT_EQ(window->heights.size() - heights, 74u);
    EXPECT_EQ(window->heights[heights], 148);
    EXPECT_EQ(window->heights.back(), 2);
    EXPECT_EQ(window->moves.back().Y, 994 - 150 + 148);
    EXPECT_EQ(window->moves.size() - moves, 74u);
    EXPECT_EQ(Clock().ActiveCount(), 0u);
}

// Mended: hiding left the pointer watch running, which armed the close
// timer again: every minute a roll-down ran on the hidden window.
TEST_F(PopupFixture, HidingStopsEveryTimer) {
    const auto quiet = [&](const char* how) {
        EXPECT_EQ(Clock().ActiveCount(), 0u) << how;
        const size_t moves = window->moves.size(), heights = window->heights.size();
        Clock().Advance(5 * 60 * 1000);
        EXPECT_EQ(window->moves.size(), moves) << how;
        EXPECT_EQ(window->heights.size(), heights) << how;
        EXPECT_FALSE(window->shown) << how;
    };
    Queue(1);
    popup->ShowNotify();
    Clock().Advance(50);  // half way up
    Click(popup->CloseButton);
    quiet("closed while sliding");

    popup->ShowNotify();
    Clock().Advance(60 * 1000 + 300);  // rolling down
    ASSERT_TRUE(popup->RollingDown());
    Click(popup->ReaderButton);
    quiet("read while rolling down");
    EXPECT_EQ(reads, (std::vector<std::string>{"s0/id0"}));

    // Shown again after a roll-down: up from the bottom, whole.
    popup->ShowNotify();
    EXPECT_EQ(window->heights.back(), 150);
    EXPECT_EQ(window->position.Y, 994);
}

TEST_F(PopupFixture, TheTopDragsTheWindowAndDoubleClicksDoNothing) {
    Queue(1);
    popup->ShowNotify();
    THeadlessHost& host = window->host;
    host.Press(40, 20);
    host.Release(40, 20);
    EXPECT_EQ(window->drags, 1);
    host.Press(30, 120);  // the frame below the top 80 pixels
    host.Release(30, 120);
    EXPECT_EQ(window->drags, 1);
    host.DoubleClickAt(30, 120);
    EXPECT_TRUE(window->shown);
    EXPECT_TRUE(reads.empty());
    // The layout of the controls.
    EXPECT_EQ(popup->CloseButton.BoundsRect(), TRect::FromSize(270, 0, 40, 17));
    EXPECT_EQ(popup->ReaderButton.BoundsRect(), TRect::FromSize(218, 114, 82, 21));
    EXPECT_EQ(popup->BooKImage.BoundsRect(), TRect::FromSize(12, 38, 64, 64));
    EXPECT_EQ(popup->StoryNameLabel.BoundsRect(), TRect::FromSize(82, 38, 228, 20));
    EXPECT_EQ(popup->LastArtilceInfoLabel.BoundsRect(), TRect::FromSize(82, 65, 228, 70));
}

// Mended: notices came straight from worker threads while the UI thread
// cleared the list. Workers now hand copies to the UI thread.
TEST_F(PopupFixture, NoticesFromWorkersArriveWhole) {
    popup->ClearNotifies();
    const TPopupNotifier notifier = popup->Notifier();
    constexpr int kThreads = 4, kEach = 50;
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t)
        workers.emplace_back([notifier, t] {
            for (int i = 0; i < kEach; ++i) {
                const std::string id = std::to_string(t) + "-" + std::to_string(i);
                notifier.AddNotify("s" + id, "id" + id, "name" + id, "author", "ch" + id);
            }
        });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (popup->Notifies.size() < size_t(kThreads * kEach) &&
           std::chrono::steady_clock::now() < deadline) {
        g_main_context_iteration(nullptr, FALSE);
    }
    for (auto& w : workers) w.join();
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    ASSERT_EQ(popup->Notifies.size(), size_t(kThreads * kEach));
    for (const auto& n : popup->Notifies) {
        const std::string id = n->SiteID.substr(1);
        EXPECT_EQ(n->StoryID, "id" + id);
        EXPECT_EQ(n->StoryName, "name" + id);
        EXPECT_EQ(n->LatestChapter, "ch" + id);
    }

    // Notices still on their way when the pop-up goes are dropped.
    std::thread late([notifier] {
        for (int i = 0; i < 100; ++i) notifier.AddNotify("s", "id", "n", "a", "c");
    });
    late.join();
    popup.reset();
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
}

}  // namespace
