#include "platform/ui/Timer.h"
#include "platform/ui/UiThread.h"

#include "tests/support/window/WindowTest.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace platform::ui;

namespace {

class UiThreadTest : public ::testing::Test {
  protected:
    void SetUp() override { SetUiThread(); }
};

TEST_F(UiThreadTest, PostsFromWorkersArriveOnTheUiThreadInOrder) {
    constexpr int kThreads = 8;
    constexpr int kPosts = 500;
    std::vector<std::vector<int>> received(kThreads);
    std::atomic<int> offThread{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([t, &received, &offThread] {
            for (int i = 0; i < kPosts; ++i) {
                std::string copied = std::to_string(i);  // a value copied into the post
                PostToUi([t, copied, &received, &offThread] {
                    if (!IsUiThread()) ++offThread;
                    received[t].push_back(std::stoi(copied));
                });
            }
        });
    }
    for (auto& worker : workers) worker.join();
    ASSERT_TRUE(uitest::PumpUntil([&] {
        for (const auto& list : received)
            if (list.size() < kPosts) return false;
        return true;
    }));
    EXPECT_EQ(offThread, 0);
    for (const auto& list : received) {
        for (int i = 0; i < kPosts; ++i) ASSERT_EQ(list[i], i);
    }
}

TEST_F(UiThreadTest, APostFromTheUiThreadNeverRunsInsideThePoster) {
    bool ran = false;
    PostToUi([&] { ran = true; });
    EXPECT_FALSE(ran);
    EXPECT_TRUE(uitest::PumpUntil([&] { return ran; }));
}

TEST_F(UiThreadTest, MessagesToASinkThatIsGoneAreDropped) {
    std::vector<Message> got;
    MessagePoster poster;
    {
        MessageSink sink;
        sink.On(1029, [&](const Message& m) { got.push_back(m); });
        poster = sink.Poster();
        std::thread([poster] { poster.Post(1029, 5, -7); }).join();
        ASSERT_TRUE(uitest::PumpUntil([&] { return got.size() == 1; }));
        EXPECT_EQ(got[0].wparam, 5);
        EXPECT_EQ(got[0].lparam, -7);
        // Queued, but the sink dies before the loop runs again.
        EXPECT_TRUE(poster.Post(1029, 6, 0));
        EXPECT_TRUE(sink.Post(1030));  // no handler: nothing happens
    }
    uitest::PumpFor(50);
    EXPECT_EQ(got.size(), 1u);
    EXPECT_FALSE(poster.Post(1029));
    EXPECT_FALSE(MessagePoster().Post(1));
}

TEST_F(UiThreadTest, TimerTicksAndKeepsItsPhaseWhenEnabledAgain) {
    std::vector<std::chrono::steady_clock::time_point> ticks;
    Timer timer(40, [&] { ticks.push_back(std::chrono::steady_clock::now()); });
    const auto start = std::chrono::steady_clock::now();
    timer.SetEnabled(true);
    uitest::PumpFor(25);
    timer.SetEnabled(true);  // already running: no restart
    ASSERT_TRUE(uitest::PumpUntil([&] { return ticks.size() >= 3; }, 2000));
    const auto first = std::chrono::duration_cast<std::chrono::milliseconds>(ticks[0] - start);
    EXPECT_GE(first.count(), 38);
    EXPECT_LT(first.count(), 62);  // 40 from the first start, not 65 from the second call
    timer.SetEnabled(false);
    const std::size_t count = ticks.size();
    uitest::PumpFor(100);
    EXPECT_EQ(ticks.size(), count);
    EXPECT_FALSE(timer.Enabled());
}

TEST_F(UiThreadTest, TimerHandlerMayStopRestartOrDestroyItsTimer) {
    // One-shot: the handler disables its own timer.
    int oneShot = 0;
    Timer once(10);
    once.OnTimer = [&] {
        once.SetEnabled(false);
        ++oneShot;
    };
    once.SetEnabled(true);
    uitest::PumpFor(80);
    EXPECT_EQ(oneShot, 1);

    // The handler changes the interval (a restart) on its first tick.
    int ticks = 0;
    Timer changing(10);
    changing.OnTimer = [&] {
        if (++ticks == 1) changing.SetInterval(1000);
    };
    changing.SetEnabled(true);
    uitest::PumpFor(100);
    EXPECT_EQ(ticks, 1);
    EXPECT_TRUE(changing.Enabled());

    // The handler destroys the timer that called it.
    auto owned = std::make_unique<Timer>(10);
    bool fired = false;
    owned->OnTimer = [&] {
        fired = true;
        owned.reset();
    };
    owned->SetEnabled(true);
    ASSERT_TRUE(uitest::PumpUntil([&] { return fired; }, 1000));
    EXPECT_EQ(owned, nullptr);
    uitest::PumpFor(30);

    Timer never(0, [&] { ADD_FAILURE() << "an interval of 0 ticked"; });
    never.SetEnabled(true);
    uitest::PumpFor(30);
}

}  // namespace
