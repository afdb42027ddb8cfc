// The built program bin/QuiraReader as the main program starts it: its
// switches, a second start handing over to the running reader, and the end on
// WM_CLOSE. The children share the world's profile and runtime folder (the
// request block, the lock and the channels); the world's own window is closed
// first so that the child is the only reader.

#include "ReaderWorld.h"

#include <signal.h>
#include <string.h>
#include <sys/wait.h>

#include "exchange/XDataShare.h"
#include "platform/Folders.h"
#include "platform/IniFile.h"
#include "platform/NamedLock.h"
#include "platform/ProgramChannel.h"
#include "platform/Shell.h"
#include "tests/support/ProcessRun.h"

// Xlib last: its macros (None, Bool, Status) would break what comes before.
#include <gdk/gdkx.h>

#include "tests/support/window/CloseWindow.h"

namespace readertest {
namespace {

const std::string kProgram = std::string(QUIRA_BIN_DIR) + "/QuiraReader";

// The exit code once the child ended within the time, else -1.
int WaitForExit(pid_t pid, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (std::chrono::steady_clock::now() > end) return -1;
        uitest::PumpFor(20);
    }
}

bool ReaderListed() {
    for (const auto& program : platform::ProgramChannel::Programs())
        if (program.className == TBookReaderForm::kWindowClass) return true;
    return false;
}

bool LockFree() {
    platform::NamedLock lock("velqo@QuiraReader");
    return lock.Acquired();
}

class ReaderProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        world_ = &ReaderWorld::Get();
        if (world_->form) world_->CloseForm();
        world_->server.ClearFaults();
    }
    void TearDown() override {
        for (const pid_t pid : children_) {
            if (WaitForExit(pid, 0ms) < 0) {
                kill(pid, SIGKILL);
                WaitForExit(pid, 5s);
            }
        }
        TXDataShare().Clear();
    }
    pid_t Start(const std::vector<std::string>& arguments) {
        const pid_t pid = platform::SpawnProgram(kProgram, arguments);
        EXPECT_GT(pid, 0);
        children_.push_back(pid);
        return pid;
    }
    ReaderWorld* world_ = nullptr;
    std::vector<pid_t> children_;
};

TEST_F(ReaderProgramTest, WithoutItsSwitchTheReaderEndsAtOnce) {
    for (const auto& arguments : std::vector<std::vector<std::string>>{{}, {"-open", "read"}}) {
        EXPECT_EQ(WaitForExit(Start(arguments), 20s), 0);
        EXPECT_FALSE(ReaderListed());
        EXPECT_TRUE(LockFree());
    }
}

TEST_F(ReaderProgramTest, ASecondStartReachesTheRunningReaderWhichEndsOnClose) {
    ReaderWorld& w = *world_;
    const FakeStory& story = w.gbkStory;
    w.Uncache("gbk", story, "8");
    w.Uncache("gbk", story, "9");
    const std::string eight = w.gbk->ChapterPath(story.id, "8");
    const std::string nine = w.gbk->ChapterPath(story.id, "9");
    w.server.ClearLog();

    TXDataShare().WriteRequest("gbk", story.id, "8", 0);
    const pid_t reader = Start({"-READ"});
    ASSERT_TRUE(uitest::PumpUntil([&] { return w.server.RequestCount(eight) > 0; }, 30000))
        << "the reader never asked for the chapter it was handed";
    ASSERT_TRUE(uitest::PumpUntil(ReaderListed, 10000));
    EXPECT_FALSE(LockFree());

    // The main program writes a new request and starts the reader again.
    TXDataShare().WriteRequest("gbk", story.id, "9", 0);
    EXPECT_EQ(WaitForExit(Start({"-read"}), 20s), 0) << "the second start ends at once";
    EXPECT_TRUE(uitest::PumpUntil([&] { return w.server.RequestCount(nine) > 0; }, 20000))
        << "the running reader did not open the new request";
    EXPECT_TRUE(
        uitest::PumpUntil([&] { return IsPublishedPage(w.CacheFile("gbk", story, "9")); }, 20000));

    // A second "-localread" only brings the running reader forward.
    EXPECT_EQ(WaitForExit(Start({"-localread"}), 20s), 0);
    EXPECT_EQ(WaitForExit(reader, 300ms), -1) << "the running reader goes on";

    ASSERT_TRUE(
        platform::ProgramChannel::PostToClass(TBookReaderForm::kWindowClass, {platform::kWmClose}));
    EXPECT_EQ(WaitForExit(reader, 30s), 0);
    EXPECT_TRUE(LockFree());
    EXPECT_FALSE(ReaderListed());
    const auto sockets = std::filesystem::directory_iterator(platform::RuntimeFolder());
    for (const auto& entry : sockets)
        EXPECT_NE(entry.path().extension(), ".sock") << entry.path() << " left behind";
    // The window's placement was kept as it closed.
    EXPECT_TRUE(platform::IniFile(SettingsFile()).SectionExists("WindowExReader"));
}

// A start while the reader holding the lock is ending (its channel already
// closed, here the test holding the lock) waits for it and takes its place:
// the request it was started for opens.
TEST_F(ReaderProgramTest, AStartWhileTheReaderEndsTakesItsPlace) {
    ReaderWorld& w = *world_;
    const FakeStory& story = w.gbkStory;
    w.Uncache("gbk", story, "8");
    const std::string eight = w.gbk->ChapterPath(story.id, "8");
    w.server.ClearLog();
    auto ending = std::make_unique<platform::NamedLock>("velqo@QuiraReader");
    ASSERT_TRUE(ending->Acquired());
    TXDataShare().WriteRequest("gbk", story.id, "8", 0);
    const pid_t reader = Start({"-read"});
    uitest::PumpFor(300);
    EXPECT_EQ(WaitForExit(reader, 0ms), -1) << "the start gave up at once";
    ending.reset();
    ASSERT_TRUE(uitest::PumpUntil([&] { return w.server.RequestCount(eight) > 0; }, 30000))
        << "the request was lost with the reader that ended";
    ASSERT_TRUE(uitest::PumpUntil(ReaderListed, 10000));
    ASSERT_TRUE(
        platform::ProgramChannel::PostToClass(TBookReaderForm::kWindowClass, {platform::kWmClose}));
    EXPECT_EQ(WaitForExit(reader, 30s), 0);
}

// The session's end closes the reader as its close button does, whenever
// it comes: as soon as the start holds its lock (before its channel and
// window), and once it is listed.
TEST_F(ReaderProgramTest, TheSessionsEndClosesTheReaderInOrder) {
    ReaderWorld& w = *world_;
    for (const bool listed : {false, true}) {
        for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
            const std::string when =
                std::string(listed ? "listed, " : "locked, ") + strsignal(signal);
            platform::IniFile(SettingsFile()).EraseSection("WindowExReader");
            TXDataShare().WriteRequest("gbk", w.gbkStory.id, "8", 0);
            const pid_t reader = Start({"-read"});
            ASSERT_TRUE(uitest::PumpUntil(
                [&] { return listed ? ReaderListed() : testing_support::HoldsFileLock(reader); },
                30000))
                << when;
            kill(reader, signal);
            EXPECT_EQ(WaitForExit(reader, 30s), 0) << when;
            EXPECT_TRUE(LockFree()) << when;
            EXPECT_FALSE(ReaderListed()) << when;
            EXPECT_TRUE(platform::IniFile(SettingsFile()).SectionExists("WindowExReader")) << when;
        }
    }
}

// The title the running reader shows; empty when none is listed.
std::string ReaderTitle() {
    for (const auto& program : platform::ProgramChannel::Programs())
        if (program.className == TBookReaderForm::kWindowClass) return program.title;
    return {};
}

// A second local start given a file (a desktop's "open with") hands the file
// to the running reader, which leaves its chapter to show it; a request of
// the main program afterwards brings it back to the story.
TEST_F(ReaderProgramTest, ASecondLocalStartHandsItsFileToTheRunningReader) {
    ReaderWorld& w = *world_;
    const FakeStory& story = w.gbkStory;
    w.Cache("gbk", story, "2");
    const std::string chapter = "《长风万里》--" + story.FindChapter("2")->name;
    TXDataShare().WriteRequest("gbk", story.id, "2", 0);
    const pid_t reader = Start({"-read"});
    ASSERT_TRUE(uitest::PumpUntil([&] { return ReaderTitle() == chapter; }, 30000))
        << ReaderTitle();

    const std::string file = w.tree.Write("texts/handed.txt", A("交给正在运行的阅读器"));
    EXPECT_EQ(WaitForExit(Start({"-localread", file}), 20s), 0) << "the second start ends at once";
    EXPECT_TRUE(uitest::PumpUntil([&] { return ReaderTitle() == "handed.txt"; }, 20000))
        << ReaderTitle();

    EXPECT_EQ(WaitForExit(Start({"-read"}), 20s), 0);
    EXPECT_TRUE(uitest::PumpUntil([&] { return ReaderTitle() == chapter; }, 20000))
        << ReaderTitle();
    ASSERT_TRUE(
        platform::ProgramChannel::PostToClass(TBookReaderForm::kWindowClass, {platform::kWmClose}));
    EXPECT_EQ(WaitForExit(reader, 30s), 0);
}

// A local start takes for its file only an argument that is no switch: given
// "-read" after "-localread" it has none, and asks for one.
TEST_F(ReaderProgramTest, ALocalStartTakesNoSwitchForItsFile) {
    const pid_t reader = Start({"x", "-localread", "-read"});
    Display* display = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
    unsigned long chooser = 0;
    ASSERT_TRUE(uitest::PumpUntil(
        [&] {
            for (const auto& window : uitest::ViewableWindows(display))
                if (window.pid == reader && window.name == "打开本地小说（只支持文本文件）")
                    chooser = window.id;
            return chooser != 0;
        },
        30000))
        << "the reader asked for no file";
    EXPECT_TRUE(ReaderListed());
    EXPECT_NE(ReaderTitle(), "-read");
    // Closed as a window manager closes it: cancelled, and the reader ends.
    uitest::CloseAsTheWindowManagerWould(display, chooser);
    EXPECT_EQ(WaitForExit(reader, 30s), 0);
}

}  // namespace
}  // namespace readertest
