// The built program bin/Quira as a process: the automation switches, the
// hand-over to a running instance and the installation check.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/NamedLock.h"
#include "platform/ProgramChannel.h"
#include "shelf/MainForm.h"
#include "shelf/ProgramBlock.h"
#include "tests/support/FakeHttpServer.h"
#include "tests/support/ProcessRun.h"
#include "tests/support/TempTree.h"
#include "tests/support/VendorStandIn.h"
#include "tests/support/window/WindowTest.h"

// After the rest: Xlib's macros would break the declarations above.
#include "tests/support/window/CloseWindow.h"
#undef Status

extern char** environ;

namespace {

namespace fs = std::filesystem;

// A copy of the built program in a folder of its own, with what lies beside
// it chosen by the test.
class ProgramFolder {
  public:
    explicit ProgramFolder(const testing_support::TempTree& tree, bool withReader)
        : folder_(tree.Make("program") + "/") {
        const std::string bin = std::string(QUIRA_BIN_DIR) + "/";
        // A copy, not a link: the program finds its files beside the path it
        // runs from, which a link would resolve to the build folder.
        fs::copy_file(bin + "Quira", folder_ + "Quira");
        fs::create_symlink(bin + "Quira2.gresource", folder_ + "Quira2.gresource");
        fs::create_symlink(bin + "idata.dll", folder_ + "idata.dll");
        if (withReader) {
            const std::string reader = tree.Write("program/QuiraReader", "#!/bin/sh\nexit 0\n");
            fs::permissions(reader, fs::perms::owner_all);
        }
    }
    std::string Program() const { return folder_ + "Quira"; }

  private:
    std::string folder_;
};

// Runs the program with the arguments and extra environment; the process id.
pid_t Start(const std::string& program, const std::vector<std::string>& arguments,
            const std::vector<std::string>& environment = {}) {
    std::vector<std::string> args = {program};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    // The given variables replace those of the same name.
    std::vector<std::string> env = environment;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const auto& given : environment) replaced = replaced || given.rfind(name, 0) == 0;
        if (!replaced) env.push_back(entry);
    }
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), envp.data()), 0);
    return pid;
}

// The exit status, or nothing when the process has not ended in time.
std::optional<int> WaitExit(pid_t pid, int timeoutMs = 60000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (std::chrono::steady_clock::now() > end) return std::nullopt;
        uitest::PumpFor(20);
    }
}

void Kill(pid_t pid) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

// A window on the screen whose name is the text, or 0 (only a window on the
// screen: the program's hidden leader window carries the name too).
Window FindWindowNamed(Display* display, const std::string& name) {
    for (const uitest::ScreenWindow& window : uitest::ViewableWindows(display))
        if (window.name == name) return window.id;
    return 0;
}

class QuiraProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        uitest::RequireUi();
        tree_ =
            std::make_unique<testing_support::TempTree>(testing_support::TempTree::Profile::kXdg);
        tree_->UnsetEnv("QUIRA_SERVICE_URL");
    }
    std::unique_ptr<testing_support::TempTree> tree_;
};

TEST_F(QuiraProgram, RegistrationSwitchesEndAtOnceWithoutWindowOrLock) {
    const ProgramFolder folder(*tree_, true);
    for (const char* flag : {"/REGSERVER", "-unregserver", "RegServer"}) {
        // No display is needed: no window is made.
        const pid_t pid = Start(folder.Program(), {flag}, {"DISPLAY="});
        EXPECT_EQ(WaitExit(pid), 0) << flag;
    }
    // Nothing held the lock meanwhile, and no running instance was told.
    platform::NamedLock lock(kMainProgramLock);
    EXPECT_TRUE(lock.Acquired());
    EXPECT_FALSE(fs::exists(tree_->Path("home/.local/share/Velqo/idata.dll")));
}

TEST_F(QuiraProgram, ASecondStartShowsTheRunningInstanceAndEnds) {
    const ProgramFolder folder(*tree_, true);
    // The running instance: the lock and the window caption are ours.
    platform::NamedLock lock(kMainProgramLock);
    ASSERT_TRUE(lock.Acquired());
    std::vector<platform::ChannelMessage> got;
    auto channel = platform::ProgramChannel::Open(
        TMainForm::kWindowClass, TMainForm::kCaption,
        [&](const platform::ChannelMessage& message) { got.push_back(message); });
    ASSERT_TRUE(channel);
    const pid_t pid = Start(folder.Program(), {});
    EXPECT_EQ(WaitExit(pid), 0);
    ASSERT_TRUE(uitest::PumpUntil([&] { return !got.empty(); }));
    EXPECT_EQ(got[0].message, platform::kWmUser + 2);
    EXPECT_EQ(got.size(), 1u);
}

TEST_F(QuiraProgram, AMissingReaderGivesTheInstallationMessage) {
    const ProgramFolder folder(*tree_, false);
    const pid_t pid = Start(folder.Program(), {});
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    Window message = 0;
    const bool shown = uitest::PumpUntil(
        [&] {
            message = FindWindowNamed(display, "Tolvane");
            return message != 0;
        },
        30000);
    if (!shown) Kill(pid);
    ASSERT_TRUE(shown);
    // The program waits for an answer; it holds no lock meanwhile.
    {
        platform::NamedLock lock(kMainProgramLock);
        EXPECT_TRUE(lock.Acquired());
    }
    // Closing the message box is Cancel: the program ends without opening
    // anything.
    uitest::CloseAsTheWindowManagerWould(display, message);
    const auto status = WaitExit(pid, 20000);
    if (!status) Kill(pid);
    EXPECT_EQ(status, 1);
    XCloseDisplay(display);
}

// The ways a running program is ended from outside: the session's end (a
// signal), and the desktop's close on a display without a tray, where no
// "退出" could be chosen. Each ends it in its own order: the placement and
// the data folder are written, the lock is let go, the status is 0.
TEST_F(QuiraProgram, TheSessionsEndAndACloseWithoutTrayEndItInOrder) {
    const ProgramFolder folder(*tree_, true);
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    const std::string settings = tree_->Path("home/.local/share/Velqo/set.ini");
    for (const char* way : {"SIGTERM", "SIGINT", "SIGHUP", "close"}) {
        std::error_code ignored;
        fs::remove(settings, ignored);
        const pid_t pid = Start(folder.Program(), {});
        Window window = 0;
        const bool shown = uitest::PumpUntil(
            [&] {
                window = FindWindowNamed(display, "Tolvane");
                return window != 0;
            },
            30000);
        if (!shown) Kill(pid);
        ASSERT_TRUE(shown) << way;
        const std::string name = way;
        if (name == "close") {
            XEvent close{};
            close.xclient.type = ClientMessage;
            close.xclient.window = window;
            close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
            close.xclient.format = 32;
            close.xclient.data.l[0] =
                static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
            close.xclient.data.l[1] = CurrentTime;
            XSendEvent(display, window, False, NoEventMask, &close);
            XSync(display, False);
        } else {
            kill(pid, name == "SIGTERM" ? SIGTERM : name == "SIGINT" ? SIGINT : SIGHUP);
        }
        const auto status = WaitExit(pid, 30000);
        if (!status) Kill(pid);
        EXPECT_EQ(status, 0) << way;
        const std::string written = testing_support::TempTree::Read(settings);
        EXPECT_NE(written.find("VelqoData"), std::string::npos) << way;
        EXPECT_NE(written.find("[WindowExquira]"), std::string::npos) << way << "\n" << written;
        platform::NamedLock lock(kMainProgramLock);
        EXPECT_TRUE(lock.Acquired()) << way;
    }
    XCloseDisplay(display);
}

// A signal as soon as the start holds its lock, before its channel and its
// window, still ends it in order.
TEST_F(QuiraProgram, TheSessionsEndRightAfterTheStartEndsItInOrder) {
    const ProgramFolder folder(*tree_, true);
    const std::string settings = tree_->Path("home/.local/share/Velqo/set.ini");
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        std::error_code ignored;
        fs::remove(settings, ignored);
        const pid_t pid = Start(folder.Program(), {});
        const bool locked =
            uitest::PumpUntil([&] { return testing_support::HoldsFileLock(pid); }, 30000);
        if (!locked) Kill(pid);
        ASSERT_TRUE(locked) << strsignal(signal);
        kill(pid, signal);
        const auto status = WaitExit(pid, 30000);
        if (!status) Kill(pid);
        EXPECT_EQ(status, 0) << strsignal(signal);
        const std::string written = testing_support::TempTree::Read(settings);
        EXPECT_NE(written.find("VelqoData"), std::string::npos) << strsignal(signal);
        EXPECT_NE(written.find("[WindowExquira]"), std::string::npos) << strsignal(signal);
        platform::NamedLock lock(kMainProgramLock);
        EXPECT_TRUE(lock.Acquired()) << strsignal(signal);
    }
}

// The end of the session while a question is open: the update question,
// which opens by itself five seconds after the start, runs a loop of its own.
// It is answered as No, and the program ends as it always does: status 0,
// the placement and the data folder written, the lock let go, no update.
TEST_F(QuiraProgram, TheSessionsEndAnswersAnOpenQuestionAndEndsInOrder) {
    testing_support::FakeHttpServer server;
    testing_support::VendorStandIn vendor(server);
    vendor.SetUpdateDescription(
        "[General]\r\nVersion=99.0\r\n[server]\r\nurl1=" + vendor.BaseURL() + "/QuiraUpdater\r\n");
    tree_->SetEnv("QUIRA_SERVICE_URL", vendor.BaseURL());
    const ProgramFolder folder(*tree_, true);
    const std::string updater =
        tree_->Write("program/QuiraUpdater", "#!/bin/sh\ntouch \"$0.ran\"\n");
    fs::permissions(updater, fs::perms::owner_all);
    const std::string settings = tree_->Path("home/.local/share/Velqo/set.ini");
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    const pid_t pid = Start(folder.Program(), {});
    // The question: a window of the program named as the program, smaller
    // than the main window can be.
    bool asked = false;
    uitest::PumpUntil(
        [&] {
            for (const uitest::ScreenWindow& window : uitest::ViewableWindows(display))
                asked =
                    asked || (window.name == "Tolvane" && window.width > 0 && window.width < 700);
            return asked;
        },
        60000);
    if (!asked) Kill(pid);
    ASSERT_TRUE(asked) << "the update question never showed";
    kill(pid, SIGTERM);
    const auto status = WaitExit(pid, 30000);
    if (!status) Kill(pid);
    EXPECT_EQ(status, 0);
    const std::string written = testing_support::TempTree::Read(settings);
    EXPECT_NE(written.find("VelqoData"), std::string::npos) << written;
    EXPECT_NE(written.find("[WindowExquira]"), std::string::npos) << written;
    EXPECT_FALSE(fs::exists(updater + ".ran")) << "No: nothing was updated";
    platform::NamedLock lock(kMainProgramLock);
    EXPECT_TRUE(lock.Acquired());
    XCloseDisplay(display);
}

TEST_F(QuiraProgram, WithoutADisplayItSaysSoAndFails) {
    const ProgramFolder folder(*tree_, true);
    const pid_t pid = Start(folder.Program(), {}, {"DISPLAY=", "WAYLAND_DISPLAY="});
    EXPECT_EQ(WaitExit(pid), 1);
}

}  // namespace
