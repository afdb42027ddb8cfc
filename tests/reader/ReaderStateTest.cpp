#include <gtest/gtest.h>

#include <filesystem>

#include "core/Folders.h"
#include "reader/ReaderProgram.h"
#include "reader/ReaderState.h"
#include "tests/support/TempTree.h"

namespace {

using testing_support::TempTree;

TEST(ReaderProgramTest, TheFirstWholeSwitchDecides) {
    struct Case {
        std::vector<std::string> arguments;
        ReaderSwitch expected;
    } const cases[] = {
        {{}, ReaderSwitch::None},
        {{"-open"}, ReaderSwitch::None},
        {{"-READ"}, ReaderSwitch::Read},
        {{"x", "-LocalRead", "-read"}, ReaderSwitch::LocalRead},
        {{"-reader", "read", "-read"}, ReaderSwitch::Read},
        {{"-readx", "-localreads"}, ReaderSwitch::None},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ScanReaderArguments(c.arguments), c.expected)
            << testing::PrintToString(c.arguments);
}

TEST(ReaderProgramTest, TheFileAfterADecidingLocalSwitchIsOpened) {
    struct Case {
        std::vector<std::string> arguments;
        std::string expected;
    } const cases[] = {
        {{"-localread", "/home/u/a b.txt"}, "/home/u/a b.txt"},
        {{"x", "-LOCALREAD", "y.txt"}, "y.txt"},
        {{"-localread"}, ""},
        {{"-read", "-localread", "y.txt"}, ""},
        {{"y.txt", "-read"}, ""},
        // Only an argument that is no switch is a file.
        {{"x", "-localread", "-read"}, ""},
        {{"-localread", "-READ", "-LocalRead", "/t/z.txt"}, "/t/z.txt"},
        {{"-localread", "-readme.txt"}, "-readme.txt"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LocalFileArgument(c.arguments), c.expected)
            << testing::PrintToString(c.arguments);
}

TEST(ReaderStateTest, FoldersComeFromSetIniAndTheBookFolderIsMade) {
    TempTree tree(TempTree::Profile::kXdg);
    const std::string app = tree.Path("home/.local/share/Velqo/");
    DeriveReaderFolders(true);
    EXPECT_EQ(AppFolder(), app);
    EXPECT_EQ(BookFolder(), app + "BooK/");
    EXPECT_TRUE(std::filesystem::is_directory(app + "BooK/LocalRead"));

    // A data folder that exists is used; one that does not falls back.
    const std::string data = tree.Make("novels") + "/";
    tree.Write("home/.local/share/Velqo/set.ini", "[General]\r\nVelqoData=" + data + "\r\n");
    DeriveReaderFolders(false);
    EXPECT_EQ(BookFolder(), data + "BooK/");
    EXPECT_TRUE(std::filesystem::is_directory(data + "BooK"));
    EXPECT_FALSE(std::filesystem::exists(data + "BooK/LocalRead"));
    tree.Write("home/.local/share/Velqo/set.ini", "[General]\r\nVelqoData=" + data + "gone\r\n");
    DeriveReaderFolders(false);
    EXPECT_EQ(BookFolder(), app + "BooK/");
}

}  // namespace
