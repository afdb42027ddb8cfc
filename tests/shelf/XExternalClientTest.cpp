// The reader's way into the main program: SearchEx as a request on the main
// program's channel, starting the main program when none runs.
#include "exchange/XExternalClient.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <optional>
#include <string>
#include <vector>

#include "shelf/XExternal.h"
#include "tests/support/TempTree.h"
#include "tests/support/standin/StandIn.h"

namespace {

using namespace std::chrono_literals;
using platform::ChannelMessage;
using platform::ProgramChannel;
using testing_support::StandInProgram;
using testing_support::TempTree;

AnsiString G(const char* utf8) {
    return platform::Utf8ToAnsi(utf8);
}

bool RunLoopUntil(const std::function<bool()>& done, int timeoutMs = 20000) {
    const gint64 deadline = g_get_monotonic_time() + timeoutMs * 1000LL;
    while (!done() && g_get_monotonic_time() < deadline) {
        g_main_context_iteration(nullptr, FALSE);
        g_usleep(1000);
    }
    return done();
}

class XExternalClientTest : public testing::Test {
  protected:
    void TearDown() override { TXExternal::SetMainWindowActions({}); }

    TempTree tree{TempTree::Profile::kXdg};
    std::optional<bool> delivered;
    TXExternalClient::TDoneEvent Done() {
        return [this](bool ok) { delivered = ok; };
    }
};

TEST_F(XExternalClientTest, SearchExReachesTheRunningMainProgramsWindow) {
    std::vector<AnsiString> searched;
    TXExternal::SetMainWindowActions(
        {[&](const AnsiString& text) { searched.push_back(text); }, {}});
    std::vector<uint32_t> others;
    auto channel =
        ProgramChannel::Open("TMainForm", "Tolvane VE@LQO", [&](const ChannelMessage& m) {
            if (!TXExternal::DispatchChannelRequest(m)) others.push_back(m.message);
        });
    ASSERT_TRUE(channel);

    // Nothing is started: the program named here does not even exist. The
    // caller frees the client when it is told, as the reader closes then.
    auto client = std::make_unique<TXExternalClient>(tree.Path("missing/Quira"));
    client->SearchEx(G("斗破苍穹"), G("天蚕土豆"), [&](bool ok) {
        delivered = ok;
        client.reset();
    });
    ASSERT_TRUE(RunLoopUntil([&] { return !client && !searched.empty(); }));
    EXPECT_TRUE(*delivered);
    EXPECT_EQ(searched, std::vector<AnsiString>{G("斗破苍穹+天蚕土豆")});

    // Other messages stay the window's; requests it does not serve are dropped.
    const std::string socket = channel->SocketPath();
    ASSERT_TRUE(ProgramChannel::Post(socket, {platform::kWmUser + 2, 0, 0}));
    ASSERT_TRUE(ProgramChannel::Post(socket, {kXExternalCall, 203, 0, {"s1", "a1", "c1"}}));
    ASSERT_TRUE(ProgramChannel::Post(socket, {kXExternalCall, kDispidSearchEx, 0, {"only"}}));
    ASSERT_TRUE(ProgramChannel::Post(socket, SearchExRequest("a", "b")));
    ASSERT_TRUE(RunLoopUntil([&] { return searched.size() == 2; }));
    EXPECT_EQ(searched[1], "a+b");
    EXPECT_EQ(others, std::vector<uint32_t>{platform::kWmUser + 2});
}

TEST_F(XExternalClientTest, StartsTheMainProgramAndDeliversOnceItsChannelIsUp) {
    const StandInProgram quira(tree.Make("program"), "Quira");
    // A slow start: the request waits for the channel.
    tree.SetEnv("QUIRA_STANDIN_DELAY_MS", "300");
    TXExternalClient client(quira.Path());
    client.SearchEx(G("书名"), G("作者"), Done());
    // The caller's loop is not held up meanwhile.
    EXPECT_TRUE(quira.LinesStartingWith("ready ").empty());
    EXPECT_FALSE(delivered.has_value());
    ASSERT_TRUE(RunLoopUntil([&] { return delivered.has_value(); }));
    EXPECT_TRUE(*delivered);

    const auto starts = quira.LinesStartingWith("start ");
    ASSERT_EQ(starts.size(), 1u);
    const std::string pid = starts[0].substr(6);
    EXPECT_EQ(quira.WaitForLines("message ").at(0),
              "message " + pid + " " + std::to_string(kXExternalCall) + " 209 0\t书名\t作者");

    // A second request finds it running and starts nothing.
    delivered.reset();
    client.SearchEx("x", "y", Done());
    ASSERT_TRUE(RunLoopUntil([&] { return delivered.has_value(); }));
    EXPECT_TRUE(*delivered);
    EXPECT_EQ(quira.WaitForLines("message ", 2).size(), 2u);
    EXPECT_EQ(quira.LinesStartingWith("start ").size(), 1u);

    ASSERT_TRUE(ProgramChannel::PostToTitle(kMainWindowTitleMark, {platform::kWmClose, 0, 0}));
    EXPECT_EQ(quira.WaitForLines("closed ").size(), 1u);
}

TEST_F(XExternalClientTest, GivesUpWhenNoMainProgramComes) {
    // Nothing to start.
    {
        TXExternalClient client(tree.Path("missing/Quira"));
        client.SearchEx("a", "b", Done());
        ASSERT_TRUE(RunLoopUntil([&] { return delivered.has_value(); }));
        EXPECT_FALSE(*delivered);
    }
    // A program that ends with a failure: no waiting out the patience.
    delivered.reset();
    {
        TXExternalClient client("/bin/false", std::chrono::minutes(5));
        client.SearchEx("a", "b", Done());
        ASSERT_TRUE(RunLoopUntil([&] { return delivered.has_value(); }));
        EXPECT_FALSE(*delivered);
    }
    // A program whose channel never comes in time: the wait is bounded.
    delivered.reset();
    const StandInProgram quira(tree.Make("program"), "Quira");
    tree.SetEnv("QUIRA_STANDIN_DELAY_MS", "60000");
    {
        TXExternalClient client(quira.Path(), 200ms);
        client.SearchEx("a", "b", Done());
        ASSERT_TRUE(RunLoopUntil([&] { return delivered.has_value(); }));
        EXPECT_FALSE(*delivered);
    }
    const auto starts = quira.WaitForLines("start ");
    ASSERT_EQ(starts.size(), 1u);
    kill(std::stoi(starts[0].substr(6)), SIGKILL);
}

TEST_F(XExternalClientTest, FreeingTheClientStopsTheWaitAndTellsNobody) {
    const StandInProgram quira(tree.Make("program"), "Quira");
    tree.SetEnv("QUIRA_STANDIN_DELAY_MS", "60000");
    {
        TXExternalClient client(quira.Path(), std::chrono::minutes(5));
        client.SearchEx("a", "b", Done());
        ASSERT_EQ(quira.WaitForLines("start ").size(), 1u);
    }  // joins its worker well before the patience runs out
    for (int i = 0; i < 50; ++i) g_main_context_iteration(nullptr, FALSE);
    EXPECT_FALSE(delivered.has_value());
    kill(std::stoi(quira.LinesStartingWith("start ")[0].substr(6)), SIGKILL);
}

}  // namespace
