// The host's routing of pointer input, shared by the window and the
// off-screen host.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controls/HeadlessHost.h"

namespace {

// Logs every event it gets, in client coordinates.
class Probe : public TControl {
  public:
    explicit Probe(std::vector<std::string>& log, const char* name) : log_(log), name_(name) {}
    void MouseEnter() override { Log("enter"); }
    void MouseLeave() override { Log("leave"); }
    void MouseDown(TMouseButton, TShiftState, int x, int y) override { Log("down", x, y); }
    void MouseMove(TShiftState, int x, int y) override { Log("move", x, y); }
    void MouseUp(TMouseButton, TShiftState, int x, int y) override { Log("up", x, y); }
    void Click() override { Log("click"); }
    void DblClick() override { Log("dblclick"); }
    bool MouseWheel(TShiftState, int delta, int, int) override {
        Log("wheel", delta, 0);
        return true;
    }
    bool KeyPress(char& key) override {
        Log("key", key, 0);
        return true;
    }
    bool CanFocus() const override { return focusable; }
    bool focusable = false;

  private:
    void Log(const char* what) { log_.push_back(name_ + ":" + what); }
    void Log(const char* what, int x, int y) {
        log_.push_back(name_ + ":" + what + "(" + std::to_string(x) + "," + std::to_string(y) +
                       ")");
    }
    std::vector<std::string>& log_;
    std::string name_;
};

struct HostFixture : ::testing::Test {
    HostFixture() {
        a.SetBounds(10, 10, 50, 20);
        b.SetBounds(100, 10, 50, 20);
        host.Add(a);
        host.Add(b);
    }
    std::vector<std::string> log;
    THeadlessHost host{200, 100};
    Probe a{log, "a"}, b{log, "b"};
};

TEST_F(HostFixture, ClickIsAReleaseInsideThePressedControl) {
    host.ClickAt(20, 15);
    EXPECT_EQ(log, (std::vector<std::string>{"a:enter", "a:move(10,5)", "a:down(10,5)",
                                             "a:up(10,5)", "a:click"}));
    log.clear();
    // Pressed on a, released over b: a keeps the pointer, no click, and the
    // enter/leave waits for the release.
    host.Press(20, 15);
    host.MoveTo(110, 15);
    host.PointerRelease(TMouseButton::Left, 110, 15);
    EXPECT_EQ(log, (std::vector<std::string>{"a:move(10,5)", "a:down(10,5)", "a:move(100,5)",
                                             "a:up(100,5)", "a:leave", "b:enter"}));
}

TEST_F(HostFixture, RightButtonAndDoubleClick) {
    host.Press(20, 15, TMouseButton::Right);
    host.PointerRelease(TMouseButton::Right, 20, 15);
    EXPECT_EQ(std::count(log.begin(), log.end(), "a:click"), 0) << "only the left button clicks";
    log.clear();
    host.DoubleClickAt(20, 15);
    EXPECT_EQ(log,
              (std::vector<std::string>{"a:move(10,5)", "a:down(10,5)", "a:up(10,5)", "a:click",
                                        "a:down(10,5)", "a:dblclick", "a:up(10,5)"}))
        << "the second release is no click";
}

TEST_F(HostFixture, HiddenDisabledAndDestroyedControlsLetGo) {
    host.MoveTo(20, 15);
    a.SetVisible(false);
    EXPECT_EQ(log.back(), "a:leave");
    EXPECT_EQ(host.Hovered(), nullptr);
    host.MoveTo(21, 15);
    EXPECT_EQ(host.ControlAt(21, 15), nullptr);
    a.SetVisible(true);
    b.SetEnabled(false);
    EXPECT_EQ(host.ControlAt(110, 15), nullptr) << "disabled controls take no pointer";

    auto c = std::make_unique<Probe>(log, "c");
    c->SetBounds(0, 50, 40, 40);
    host.Add(*c);
    host.Press(10, 60);
    EXPECT_EQ(host.Captured(), c.get());
    c.reset();
    EXPECT_EQ(host.Captured(), nullptr);
    EXPECT_EQ(host.Hovered(), nullptr);
    host.PointerRelease(TMouseButton::Left, 10, 60);  // nothing left to tell
    EXPECT_EQ(host.Controls().size(), 2u);
}

TEST_F(HostFixture, LaterControlsLieOnTopAndTakeWheelAndKeys) {
    Probe top(log, "top");
    top.SetBounds(0, 0, 200, 100);
    top.focusable = true;
    host.Add(top);
    EXPECT_EQ(host.ControlAt(20, 15), &top);
    host.ClickAt(5, 5);
    EXPECT_EQ(host.Focused(), &top);
    log.clear();
    EXPECT_TRUE(host.Wheel(-120, 5, 5));
    EXPECT_TRUE(host.Type('x'));
    EXPECT_EQ(log, (std::vector<std::string>{"top:wheel(-120,0)", "top:key(120,0)"}));
}

TEST_F(HostFixture, TheControlsCursorUnlessTheScreenCursorIsSet) {
    a.Cursor = TCursor::HandPoint;
    host.MoveTo(20, 15);
    EXPECT_EQ(host.EffectiveCursor(), TCursor::HandPoint);
    host.MoveTo(110, 15);
    EXPECT_EQ(host.EffectiveCursor(), TCursor::Default);
    host.SetScreenCursor(TCursor::HandPoint);
    EXPECT_EQ(host.EffectiveCursor(), TCursor::HandPoint);
}

TEST(ManualClock, RunsTicksInTimeOrderAndLetsThemChangeTimers) {
    TManualClock clock;
    std::vector<std::string> log;
    TTimerScheduler::Id fast = 0;
    fast = clock.Start(30, [&] {
        log.push_back("fast@" + std::to_string(clock.Now()));
        if (clock.Now() >= 60) clock.Stop(fast);
    });
    clock.Start(50, [&] { log.push_back("slow@" + std::to_string(clock.Now())); });
    clock.Advance(100);
    EXPECT_EQ(log, (std::vector<std::string>{"fast@30", "slow@50", "fast@60", "slow@100"}));
    EXPECT_EQ(clock.Now(), 100);
    EXPECT_EQ(clock.ActiveCount(), 1u);
}

TEST(Timer, ChangingTheIntervalStartsANewPeriod) {
    THeadlessHost host(10, 10);
    TControl owner;
    host.Add(owner);
    TTimer timer(&owner);
    int ticks = 0;
    timer.OnTimer = [&] { ++ticks; };
    timer.SetInterval(100);
    timer.SetEnabled(true);
    host.Clock().Advance(90);
    timer.SetInterval(100);  // the same value: no new period
    host.Clock().Advance(10);
    EXPECT_EQ(ticks, 1);
    host.Clock().Advance(90);
    timer.SetInterval(50);
    host.Clock().Advance(49);
    EXPECT_EQ(ticks, 1);
    host.Clock().Advance(1);
    EXPECT_EQ(ticks, 2);
    timer.SetEnabled(false);
    host.Clock().Advance(1000);
    EXPECT_EQ(ticks, 2);
}

}  // namespace
