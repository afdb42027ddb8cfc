#include "platform/Folders.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include "platform/BuildConfig.h"
#include "platform/Shell.h"
#include "platform/Url.h"
#include "platform/Version.h"
#include "tests/support/TempTree.h"

namespace {

using testing_support::TempTree;

TEST(Folders, XdgVariablesAndTheirDefaults) {
    TempTree tree(TempTree::Profile::kXdg);
    EXPECT_EQ(platform::HomeFolder(), tree.Path("home"));
    EXPECT_EQ(platform::DataHomeFolder(), tree.Path("home/.local/share"));
    EXPECT_EQ(platform::ConfigHomeFolder(), tree.Path("home/.config"));
    EXPECT_EQ(platform::StartMenuFolder(), tree.Path("home/.local/share/applications"));
    EXPECT_EQ(platform::DesktopFolder(), tree.Path("home/Desktop"));

    // Unset or relative values fall back to the folders under HOME.
    tree.UnsetEnv("XDG_DATA_HOME");
    tree.SetEnv("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(platform::DataHomeFolder(), tree.Path("home/.local/share"));
    EXPECT_EQ(platform::ConfigHomeFolder(), tree.Path("home/.config"));

    tree.Write("home/.config/user-dirs.dirs",
               "# written by the desktop\nXDG_DESKTOP_DIR=\"$HOME/\xE6\xA1\x8C\xE9\x9D\xA2\"\n");
    EXPECT_EQ(platform::DesktopFolder(), tree.Path("home/\xE6\xA1\x8C\xE9\x9D\xA2"));
    tree.Write("home/.config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"/srv/desk/\"\n");
    EXPECT_EQ(platform::DesktopFolder(), "/srv/desk");
}

TEST(Folders, ProgramFileAndFolders) {
    TempTree tree;
    EXPECT_TRUE(platform::ProgramFile().ends_with("/platform_tests"));
    EXPECT_EQ(platform::ProgramFolderOf("/a/b/Quira"), "/a/b");
    EXPECT_TRUE(platform::MakeFolders(tree.Path("x/y/z")));
    EXPECT_FALSE(platform::MakeFolders(tree.Write("file", "") + "/below"));
    EXPECT_FALSE(platform::MakeFolders(""));
}

TEST(Url, SchemeAndResolution) {
    EXPECT_EQ(platform::UrlScheme("HTTPS://x.com/"), "https");
    EXPECT_EQ(platform::UrlScheme("file:///tmp/a"), "file");
    EXPECT_EQ(platform::UrlScheme("/tmp/a"), "");
    EXPECT_EQ(platform::UrlScheme("javascript:alert(1)"), "javascript");
    EXPECT_EQ(platform::ResolveUrl("http://a.com/b/c.html?x=1", "?y=2"),
              "http://a.com/b/c.html?y=2");
    EXPECT_EQ(platform::ResolveUrl("http://a.com/b/c.html", "../../../d"), "http://a.com/d");
    EXPECT_EQ(platform::ResolveUrl("relative/base", "d"), "");
}

TEST(Shell, StartsProgramsWithAnArgumentVector) {
    TempTree tree;
    const std::string marker = tree.Path("a b;touch x");
    // The argument reaches the program as one text: nothing is read by a shell.
    const pid_t pid = platform::SpawnProgram("/usr/bin/touch", {marker});
    ASSERT_GT(pid, 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(access(marker.c_str(), F_OK), 0);
    EXPECT_NE(access(tree.Path("x").c_str(), F_OK), 0);

    EXPECT_TRUE(platform::StartProgram("/bin/true", {}));
    EXPECT_FALSE(platform::StartProgram(tree.Path("missing"), {}));
    EXPECT_EQ(platform::SpawnProgram(tree.Write("plain.txt", "not a program"), {}), -1);
}

TEST(Shell, SplitsParametersLikeACommandLine) {
    EXPECT_EQ(platform::SplitParameters("-read"), (std::vector<std::string>{"-read"}));
    EXPECT_EQ(platform::SplitParameters(" -a  \"b c\" 'd;e' "),
              (std::vector<std::string>{"-a", "b c", "d;e"}));
    EXPECT_TRUE(platform::SplitParameters("").empty());
    EXPECT_TRUE(platform::SplitParameters("\"unclosed").empty());
}

TEST(Version, TextFromTheBuild) {
    EXPECT_EQ(platform::VersionText(), std::to_string(platform::VersionMajor()) + "." +
                                           std::to_string(platform::VersionMinor()) + "." +
                                           std::to_string(platform::VersionPatch()) + "." +
                                           std::to_string(platform::VersionBuild()));
    EXPECT_EQ(platform::VersionText(), platform::build::kVersionText);
}

}  // namespace
