// The test agent in a small window program of the tests' own, started as a
// process: what it reports matches what the program shows, it reaches the
// programs named to it and no others, and a hung program or script fails a
// request in time.

#include <fcntl.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "tests/support/ProcessRun.h"
#include "tests/support/TempTree.h"
#include "tests/support/agent/ProgramAgent.h"
#include "tests/support/window/WindowTest.h"

namespace {

namespace fs = std::filesystem;
using testing_support::AgentDocumentGone;
using testing_support::AgentError;
using testing_support::AgentText;
using testing_support::AgentWidget;
using testing_support::ProcessRun;
using testing_support::ProgramAgent;
using testing_support::TempTree;
using Clock = std::chrono::steady_clock;

class ProgramAgentTest : public ::testing::Test {
  protected:
    void SetUp() override {
        uitest::RequireUi();
        ASSERT_TRUE(uitest::InputAvailable());
        folder_ = tree_.Make("agent");
        fifo_ = tree_.Path("commands");
        ASSERT_EQ(mkfifo(fifo_.c_str(), 0600), 0);
        started_ = g_get_real_time();
        target_ = std::make_unique<ProcessRun>(QUIRA_AGENT_TARGET, std::vector<std::string>{fifo_},
                                               ProgramAgent::Environment(folder_, {"agent_target"}),
                                               tree_.Path("out"), tree_.Path("err"));
        ASSERT_TRUE(target_->Started());
        agent_ = std::make_unique<ProgramAgent>(ProgramAgent::Connect(folder_, target_->Pid()));
    }
    void TearDown() override {
        agent_.reset();
        target_.reset();
    }

    void Command(const std::string& line) {
        const int fd = open(fifo_.c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        const std::string text = line + "\n";
        ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        close(fd);
    }

    template <typename T, typename Probe>
    T Await(Probe probe, int timeoutMs = 20000) {
        T value{};
        uitest::PumpUntil([&] { return probe(value); }, timeoutMs);
        return value;
    }

    AgentWidget Named(const std::string& type, const std::string& name) {
        for (const AgentWidget& w : agent_->Widgets(type))
            if (w.name == name) return w;
        return {};
    }

    TempTree tree_;
    std::string folder_, fifo_;
    long long started_ = 0;
    std::unique_ptr<ProcessRun> target_;
    std::unique_ptr<ProgramAgent> agent_;
};

TEST_F(ProgramAgentTest, WhatItReportsIsWhatTheProgramShows) {
    ProgramAgent& agent = *agent_;
    const auto window = Await<testing_support::AgentWindow>([&](auto& out) {
        const auto windows = agent.Windows();
        const auto* w = testing_support::FindWindow(windows, "Agent target");
        const bool shown = w && w->mapped && !w->rect.Empty() && w->painted > 0;
        if (shown) out = *w;
        return shown;
    });
    ASSERT_FALSE(window.id.empty());
    EXPECT_EQ(window.rect.x, 20);
    EXPECT_EQ(window.rect.y, 20);
    // Its first paint, on the wall clock, came after the program started.
    EXPECT_GT(window.painted, started_);
    EXPECT_LE(window.painted, g_get_real_time());

    // A widget's place and text; input synthesised on the display reaches it
    // by the time Settle returns.
    const AgentWidget entry = Named("GtkEntry", "TargetEntry");
    ASSERT_FALSE(entry.rect.Empty());
    EXPECT_EQ(entry.text, "hello");
    EXPECT_TRUE(window.rect.Contains(entry.rect.x, entry.rect.y));
    uitest::ClickAt(entry.rect.x + entry.rect.width - 5, entry.rect.CenterY());
    uitest::TypeKey(0xff57 /* End */);
    uitest::TypeText("xy");
    agent.Settle();
    EXPECT_EQ(Named("GtkEntry", "TargetEntry").text, "helloxy");

    // The painted text lies where the canvas painted it, and a new paint
    // replaces it.
    const AgentWidget canvas = Named("GtkDrawingArea", "TargetCanvas");
    const auto painted = Await<AgentText>([&](auto& out) {
        const auto texts = agent.Texts();
        const AgentText* t = testing_support::FindText(texts, "画布上的字");
        if (t) out = *t;
        return t != nullptr;
    });
    ASSERT_FALSE(painted.rect.Empty()) << "the canvas text was never reported";
    EXPECT_NEAR(painted.rect.x, canvas.rect.x + 20, 1);
    EXPECT_NEAR(painted.rect.y, canvas.rect.y + 10, 3);
    EXPECT_TRUE(testing_support::FindText(agent.Texts(), "一个标签"));
    Command("text 新的字");
    EXPECT_TRUE(uitest::PumpUntil([&] {
        const auto texts = agent.Texts();
        return testing_support::FindText(texts, "新的字") &&
               !testing_support::FindText(texts, "画布上的字");
    }));

    // The pointer over the canvas shows its hand; over the label none.
    uitest::PointerTo(canvas.rect.x + 5, canvas.rect.CenterY());
    agent.Settle();
    EXPECT_EQ(agent.Pointer().window, window.id);
    EXPECT_TRUE(agent.Pointer().cursor);
    const AgentWidget label = Named("GtkLabel", "TargetLabel");
    uitest::PointerTo(label.rect.x + 5, label.rect.CenterY());
    agent.Settle();
    EXPECT_FALSE(agent.Pointer().cursor);

    // The web view: its page loaded, and a script's answer as JSON.
    const auto view = Await<testing_support::AgentView>([&](auto& out) {
        const auto views = agent.Views();
        if (views.size() == 1 && !views[0].loading && views[0].uri == "file:///agent-target/")
            out = views[0];
        return !out.id.empty();
    });
    ASSERT_FALSE(view.id.empty());
    EXPECT_TRUE(view.visible);
    EXPECT_EQ(agent.Script(view.id, "return document.getElementById('p').textContent;"),
              "\"网页里的字\"");
    EXPECT_EQ(agent.Script(view.id, "await new Promise(r => setTimeout(r, 50)); return [1, 2];"),
              "[1,2]");
    EXPECT_EQ(agent.Script(view.id, "document.title = 'x';"), "null");
    EXPECT_THROW(agent.Script(view.id, "throw new Error('bad');"), AgentError);

    // A screenshot of the window as it shows: its size, the canvas red.
    const std::string png = tree_.Path("shot.png");
    agent.Shoot(window.id, png);
    GdkPixbuf* shot = gdk_pixbuf_new_from_file(png.c_str(), nullptr);
    ASSERT_NE(shot, nullptr);
    EXPECT_EQ(gdk_pixbuf_get_width(shot), window.rect.width);
    EXPECT_EQ(gdk_pixbuf_get_height(shot), window.rect.height);
    EXPECT_EQ(uitest::PixelAt(shot, canvas.rect.x - window.rect.x + canvas.rect.width - 5,
                              canvas.rect.y - window.rect.y + 5),
              0xCC3333u);
    g_object_unref(shot);
}

TEST_F(ProgramAgentTest, ReachesTheProgramsNamedToItAndNoOthers) {
    Command("spawn-self");
    ProgramAgent child =
        ProgramAgent::WaitForProgram(folder_, "agent_target", 30000, {target_->Pid()});
    EXPECT_NE(child.Pid(), target_->Pid());
    EXPECT_TRUE(uitest::PumpUntil(
        [&] { return testing_support::FindWindow(child.Windows(), "Agent child") != nullptr; }));

    // Another program it starts runs without the agent's preload.
    const std::string report = tree_.Path("preload");
    Command("spawn-shell " + report);
    ASSERT_TRUE(uitest::PumpUntil([&] { return fs::exists(report); }));
    EXPECT_EQ(TempTree::Read(report), "");

    // How the child ended, as its parent collected it.
    EXPECT_EQ(ProgramAgent::ExitStatus(folder_, "agent_target", child.Pid()), -1);
    kill(child.Pid(), SIGTERM);
    EXPECT_TRUE(uitest::PumpUntil([&] {
        return ProgramAgent::ExitStatus(folder_, "agent_target", child.Pid()) == 128 + SIGTERM;
    }));
}

// A document that goes away under a script (the view loads anew while the
// call is in flight) is not the script's failure: it runs again on the new
// document, a bounded number of times. A script's own error fails at once.
TEST_F(ProgramAgentTest, AScriptWhoseDocumentGoesAwayRunsAgainOnTheNewOne) {
    const auto view = Await<std::string>([&](auto& out) {
        const auto views = agent_->Views();
        if (views.size() == 1 && !views[0].loading) out = views[0].id;
        return !out.empty();
    });
    ASSERT_FALSE(view.empty());
    // On the first page the script has the page replaced and never settles.
    EXPECT_EQ(agent_->Script(view,
                             "const p = document.getElementById('p');"
                             "if (p.textContent === '网页里的字') {"
                             "  document.title = 'reload'; await new Promise(() => {}); }"
                             "return p.textContent;"),
              "\"新的网页\"");

    // Its own error: one run, and it says what the script threw.
    try {
        agent_->Script(view, "window.runs = (window.runs || 0) + 1; throw new Error('bad');");
        ADD_FAILURE() << "a throwing script answered";
    } catch (const AgentDocumentGone& e) {
        ADD_FAILURE() << "a script's own error was taken for a lost document: " << e.what();
    } catch (const AgentError& e) {
        EXPECT_NE(std::string(e.what()).find("bad"), std::string::npos) << e.what();
    }
    EXPECT_EQ(agent_->Script(view, "return window.runs;"), "1");

    // A page that goes away under every run: the bound runs out, and the
    // failure says why.
    try {
        agent_->Script(view,
                       "document.title = 'reload ' + Math.random(); await new Promise(() => {});");
        ADD_FAILURE() << "a script whose page never stayed answered";
    } catch (const AgentError& e) {
        EXPECT_NE(std::string(e.what()).find("went away under it"), std::string::npos) << e.what();
    }
}

TEST_F(ProgramAgentTest, AHungScriptOrProgramFailsTheRequestInTime) {
    const auto view = Await<std::string>([&](auto& out) {
        const auto views = agent_->Views();
        if (views.size() == 1 && !views[0].loading) out = views[0].id;
        return !out.empty();
    });
    ASSERT_FALSE(view.empty());
    auto start = Clock::now();
    try {
        agent_->Script(view, "await new Promise(() => {});", 3000);
        ADD_FAILURE() << "a script that never settles answered";
    } catch (const AgentError& e) {
        EXPECT_NE(std::string(e.what()).find("did not finish"), std::string::npos) << e.what();
    }
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(6));
    // The agent still answers after it.
    EXPECT_FALSE(agent_->Windows().empty());

    Command("hang 20000");
    start = Clock::now();
    try {
        agent_->Request({{"op", "windows"}}, 2000);
        ADD_FAILURE() << "a hung program answered";
    } catch (const AgentError& e) {
        EXPECT_NE(std::string(e.what()).find("did not answer"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("agent_target"), std::string::npos) << e.what();
    }
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
