// The installed tree, as a distribution package would ship it: laid out by
// `cmake --install` into a temp prefix, checked by the desktop's own
// validators, and the installed command started as a user's menu starts it.

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <string>

#include "platform/BuildConfig.h"
#include "platform/Registry.h"
#include "tests/support/ProcessRun.h"
#include "tests/support/TempTree.h"
#include "tests/support/window/WindowTest.h"

// After the rest: Xlib's macros would break the declarations above.
#include <X11/Xlib.h>

namespace {

namespace fs = std::filesystem;
using testing_support::ProcessRun;
using testing_support::TempTree;

constexpr const char* kAppId = platform::build::kAppId;

// One install for the whole program: it is what every test looks at.
class Installed : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        tree_ = new TempTree();
        prefix_ = tree_->Path("prefix");
        ProcessRun install(QUIRA_CMAKE_COMMAND, {"--install", QUIRA_BUILD_DIR, "--prefix", prefix_},
                           {}, tree_->Path("install.out"), tree_->Path("install.err"));
        installStatus_ = install.Wait(120000).value_or(-1);
    }
    static void TearDownTestSuite() {
        delete tree_;
        tree_ = nullptr;
    }
    void SetUp() override {
        ASSERT_EQ(installStatus_, 0) << TempTree::Read(tree_->Path("install.err"));
    }

    static std::string Path(const std::string& relative) { return prefix_ + "/" + relative; }
    static std::string ApplicationFile(const std::string& suffix) {
        return Path("share/applications/" + std::string(kAppId) + suffix + ".desktop");
    }
    // A validator's exit status with what it said.
    static int Validate(const std::vector<std::string>& command, std::string& said) {
        const std::string out = tree_->Path("validate.out");
        std::vector<std::string> arguments(command.begin() + 1, command.end());
        ProcessRun run(command[0], arguments, {}, out, out);
        const int status = run.Wait(60000).value_or(-1);
        said = TempTree::Read(out);
        return status;
    }

    static TempTree* tree_;
    static std::string prefix_;
    static int installStatus_;
};
TempTree* Installed::tree_ = nullptr;
std::string Installed::prefix_;
int Installed::installStatus_ = -1;

// The width and height a PNG file states in its header; zeros when it is none.
std::array<int, 2> PngSize(const std::string& path) {
    const std::string bytes = TempTree::Read(path);
    if (bytes.size() < 24 || bytes.compare(1, 3, "PNG") != 0) return {0, 0};
    const auto word = [&](size_t at) {
        int value = 0;
        for (size_t i = 0; i < 4; ++i)
            value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
        return value;
    };
    return {word(16), word(20)};
}

TEST_F(Installed, TheTreeHoldsTheProgramsCommandsEntriesIconsAndMetainfo) {
    for (const char* file : {"lib/quira/Quira", "lib/quira/QuiraReader", "lib/quira/DBCreater"})
        EXPECT_EQ(access(Path(file).c_str(), X_OK), 0) << file;
    for (const char* file : {"lib/quira/Quira2.gresource", "lib/quira/idata.dll"})
        EXPECT_TRUE(fs::is_regular_file(Path(file))) << file;
    // The commands lead into lib/quira by relative links: the tree may move.
    for (const auto& [command, program] : {std::pair{"bin/quira", "lib/quira/Quira"},
                                           {"bin/quira-reader", "lib/quira/QuiraReader"}}) {
        ASSERT_TRUE(fs::is_symlink(Path(command))) << command;
        EXPECT_TRUE(fs::read_symlink(Path(command)).is_relative()) << command;
        EXPECT_EQ(fs::canonical(Path(command)), fs::canonical(Path(program))) << command;
    }
    // The icon at the sizes desktops ask for, each of its stated size.
    for (const int size : {16, 22, 24, 32, 48, 64, 96, 128, 256}) {
        const std::string edge = std::to_string(size);
        const std::string icon =
            Path("share/icons/hicolor/" + edge + "x" + edge + "/apps/" + kAppId + ".png");
        EXPECT_EQ(PngSize(icon), (std::array<int, 2>{size, size})) << icon;
    }

    std::string said;
    EXPECT_EQ(
        Validate({"desktop-file-validate", ApplicationFile(""), ApplicationFile("Reader")}, said),
        0)
        << said;
    EXPECT_EQ(said, "");
    const std::string metainfo = Path("share/metainfo/" + std::string(kAppId) + ".metainfo.xml");
    EXPECT_EQ(Validate({"appstreamcli", "validate", "--no-net", metainfo}, said), 0) << said;

    // The entries start the installed commands; the reader's hides from
    // menus and opens local text files.
    const std::string main = TempTree::Read(ApplicationFile(""));
    EXPECT_NE(main.find("\nExec=" + Path("bin/quira") + "\n"), std::string::npos) << main;
    EXPECT_NE(main.find("\nIcon=" + std::string(kAppId) + "\n"), std::string::npos) << main;
    const std::string reader = TempTree::Read(ApplicationFile("Reader"));
    EXPECT_NE(reader.find("\nExec=" + Path("bin/quira-reader") + " -localread %f\n"),
              std::string::npos)
        << reader;
    EXPECT_NE(reader.find("\nNoDisplay=true\n"), std::string::npos);
    EXPECT_NE(reader.find("\nMimeType=text/plain;\n"), std::string::npos);
}

TEST_F(Installed, TheAutostartEntryNamesTheInstalledProgramAndItsIcon) {
    TempTree home(TempTree::Profile::kXdg);
    const std::string program = fs::canonical(Path("bin/quira")).string();
    ASSERT_TRUE(platform::WriteRegistryString(platform::RegistryRoot::kCurrentUser,
                                              platform::kRunKey, "Velqo", program));
    const std::string entry = platform::AutostartFile("Velqo");
    std::string said;
    EXPECT_EQ(Validate({"desktop-file-validate", entry}, said), 0) << said;
    const std::string text = TempTree::Read(entry);
    EXPECT_NE(text.find("\nExec=\"" + program + "\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nIcon=" + std::string(kAppId) + "\n"), std::string::npos) << text;
}

TEST_F(Installed, TheInstalledCommandStartsQuiraWithItsFilesFromTheTree) {
    ASSERT_TRUE(uitest::OpenPrivateDisplay());
    TempTree home(TempTree::Profile::kXdg);
    home.UnsetEnv("QUIRA_SERVICE_URL");
    ProcessRun quira(Path("bin/quira"), {}, {}, home.Path("out"), home.Path("err"));
    ASSERT_TRUE(quira.Started());
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    // The main window, not a message: it opens at its full size.
    const bool shown = testing_support::WaitUntil(
        [&] {
            for (const auto& window : uitest::ViewableWindows(display))
                if (window.pid == quira.Pid() && window.width >= 600 && window.height >= 400)
                    return true;
            return !testing_support::ProcessAlive(quira.Pid());
        },
        60000);
    EXPECT_TRUE(shown && testing_support::ProcessAlive(quira.Pid()))
        << TempTree::Read(home.Path("err"));
    XCloseDisplay(display);
    // Its story database came from the shipped one that lies in the tree.
    EXPECT_TRUE(fs::is_regular_file(home.Path("home/.local/share/Velqo/idata.dll")));
    quira.Signal(SIGTERM);
    EXPECT_TRUE(quira.Wait(30000).has_value());
}

}  // namespace
