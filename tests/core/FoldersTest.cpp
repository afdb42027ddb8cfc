#include "core/Folders.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <thread>

#include "platform/Folders.h"
#include "platform/IniFile.h"
#include "platform/ProgramChannel.h"
#include "platform/Registry.h"
#include "platform/Version.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempTree.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ChildProcess;
using testing_support::TellParent;
using testing_support::TempTree;

// A fresh profile per test: the folder texts follow its XDG tree.
class FoldersTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetAppFolder(GetSpecialFolder(26) + "Velqo/");
        SetDataFolder(AppFolder());
        SetProgramFolder(tree_.Make("programs"));
    }
    platform::IniFile Ini() const { return platform::IniFile(SettingsFile()); }
    std::string App(const std::string& relative = "") const {
        return tree_.Path("home/.local/share/Velqo/" + relative);
    }

    TempTree tree_{TempTree::Profile::kXdg};
};

// Waits (bounded) until a file appears, for programs started without waiting.
bool AppearsSoon(const std::string& path) {
    for (int i = 0; i < 500; ++i) {
        if (fs::exists(path)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

TEST_F(FoldersTest, SpecialFoldersAreTheXdgOnes) {
    EXPECT_EQ(GetSpecialFolder(26), tree_.Path("home/.local/share/"));
    EXPECT_EQ(GetSpecialFolder(0), tree_.Path("home/Desktop/"));
    EXPECT_EQ(GetSpecialFolder(2), tree_.Path("home/.local/share/applications/"));
    EXPECT_EQ(GetSpecialFolder(5), "");
    EXPECT_EQ(AppFolder(), App());
    EXPECT_EQ(SettingsFile(), App("set.ini"));
}

TEST_F(FoldersTest, StartUpMakesTheFoldersAndPicksTheDataFolder) {
    struct Case {
        const char* name;
        std::string stored;
        std::string expected;
    };
    const std::string elsewhere = tree_.Make("books");
    const Case cases[] = {
        {"empty key", "", App()},
        {"missing folder", tree_.Path("gone"), App()},
        {"existing folder", elsewhere, elsewhere + "/"},
    };
    for (const auto& c : cases) {
        platform::MakeFolders(App());
        Ini().WriteString("General", "VelqoData", c.stored);
        InitFolders();
        EXPECT_EQ(DataFolder(), c.expected) << c.name;
        EXPECT_EQ(BookFolder(), c.expected + "BooK/") << c.name;
        for (const char* sub : {"BooK", "Image", "Cache"}) {
            EXPECT_TRUE(fs::is_directory(c.expected + sub)) << c.name << " " << sub;
        }
        EXPECT_TRUE(fs::is_directory(App("Pic"))) << c.name;
    }
}

TEST_F(FoldersTest, SettingsKeysAndTheirDefaults) {
    // No set.ini at all reads as the defaults.
    EXPECT_EQ(ReadDataFolder(), "");
    EXPECT_FALSE(ReadInstallFlag());
    EXPECT_EQ(ReadMaxCacheSize(), 500);
    EXPECT_TRUE(ReadAutoNotify());

    tree_.Write("home/.local/share/Velqo/set.ini",
                "[general]\nmaxcachesize = 120\nAutoNotify=0\nInstall=1\nVelqoData=/x/y\n");
    EXPECT_EQ(ReadMaxCacheSize(), 120);
    EXPECT_FALSE(ReadAutoNotify());
    EXPECT_TRUE(ReadInstallFlag());
    EXPECT_EQ(ReadDataFolder(), "/x/y");
    WriteDataFolder("/books/\xE4\xB9\xA6");
    EXPECT_EQ(ReadDataFolder(), "/books/\xE4\xB9\xA6");
    EXPECT_EQ(ReadMaxCacheSize(), 120);  // the other keys stay

    tree_.Write("home/.local/share/Velqo/set.ini", "[General]\nMaxCacheSize=lots\n");
    EXPECT_EQ(ReadMaxCacheSize(), 500);
}

TEST_F(FoldersTest, MoveImageFolderCopiesOnceWhenInstalling) {
    struct Case {
        const char* name;
        bool install;
        bool onlyWhenInstalling;
        bool dataElsewhere;
        bool copied;
    };
    const Case cases[] = {
        {"installing, data elsewhere", true, true, true, true},
        {"not installing", false, true, true, false},
        {"asked after the settings dialog", false, false, true, true},
        {"data folder is the application folder", true, true, false, false},
    };
    for (const auto& c : cases) {
        TempTree tree(TempTree::Profile::kXdg);
        SetAppFolder(GetSpecialFolder(26) + "Velqo/");
        tree.Write("home/.local/share/Velqo/Image/a.png", "new");
        tree.Write("home/.local/share/Velqo/Image/sub/b.png", "sub");
        tree.Write("home/.local/share/Velqo/set.ini",
                   std::string("[General]\nInstall=") + (c.install ? "1" : "0") + "\n");
        // The data folder's Image folder does not exist yet at start.
        const std::string data = tree.Path("data/books/", true);
        SetDataFolder(c.dataElsewhere ? data : AppFolder());

        MoveImageFolder(c.onlyWhenInstalling);
        EXPECT_EQ(fs::exists(data + "Image/a.png"), c.copied) << c.name;
        EXPECT_FALSE(fs::exists(data + "Image/sub")) << c.name;  // files only
        EXPECT_FALSE(ReadInstallFlag()) << c.name;
    }
}

TEST_F(FoldersTest, CopyFolderFilesOverwrites) {
    tree_.Write("from/a.png", "new");
    tree_.Write("to/a.png", "old");
    tree_.Write("to/keep.png", "keep");
    EXPECT_TRUE(CopyFolderFiles(tree_.Path("from"), tree_.Path("to")));
    EXPECT_EQ(TempTree::Read(tree_.Path("to/a.png")), "new");
    EXPECT_EQ(TempTree::Read(tree_.Path("to/keep.png")), "keep");
    EXPECT_FALSE(CopyFolderFiles(tree_.Path("missing"), tree_.Path("to")));
}

TEST_F(FoldersTest, CheckInstallation) {
    struct Case {
        const char* name;
        bool bundle;
        bool reader;
        bool shipped;
        bool existing;
        bool expected;
    };
    const Case cases[] = {
        {"reader missing", true, false, true, false, false},
        {"bundle missing", false, true, true, false, false},
        {"database copied", true, true, true, false, true},
        {"existing database kept", true, true, true, true, true},
        {"no database anywhere", true, true, false, false, false},
    };
    for (const auto& c : cases) {
        TempTree tree(TempTree::Profile::kXdg);
        SetAppFolder(GetSpecialFolder(26) + "Velqo/");
        SetProgramFolder(tree.Make("programs"));
        if (c.bundle) tree.Write("programs/Quira2.gresource", "bundle");
        if (c.reader) tree.Write("programs/QuiraReader", "reader");
        if (c.shipped) tree.Write("programs/idata.dll", "shipped");
        if (c.existing) tree.Write("home/.local/share/Velqo/idata.dll", "user data");

        EXPECT_EQ(CheckInstallation(), c.expected) << c.name;
        const std::string database = AppFolder() + "idata.dll";
        if (!c.bundle || !c.reader) {
            EXPECT_FALSE(fs::exists(AppFolder())) << c.name << ": nothing made";
        } else if (c.existing) {
            EXPECT_EQ(TempTree::Read(database), "user data") << c.name;
        } else if (c.shipped) {
            EXPECT_EQ(TempTree::Read(database), "shipped") << c.name;
        }
    }
}

TEST(RandomFolderName, ThirtyCharactersThatDoNotRepeat) {
    const std::string alphabet = "0ABCDEFGHIJKLMNOPQRSTUVWXYZ123456789";
    std::set<std::string> names;
    std::set<char> seen;
    for (int i = 0; i < 2000; ++i) {
        const std::string name = RandomFolderName();
        ASSERT_EQ(name.size(), 30u);
        std::set<char> distinct;
        for (const char c : name) {
            ASSERT_NE(alphabet.find(c), std::string::npos) << name;
            distinct.insert(c);
            seen.insert(c);
        }
        // A generator reseeded from the clock gives runs of one character.
        EXPECT_GT(distinct.size(), 10u) << name;
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 2000u);
    EXPECT_EQ(seen.size(), alphabet.size());
}

TEST_F(FoldersTest, TemplatesComeFromTheBundleBesideThePrograms) {
    std::vector<std::string> list = {"stale"};
    LoadTemplateResource("ListError", list);
    EXPECT_TRUE(list.empty()) << "no bundle yet";

    fs::copy_file(QUIRA_TEST_BUNDLE, tree_.Path("programs/Quira2.gresource"));
    LoadTemplateResource("ListError", list);
    const std::vector<std::string> expected = {"<html>", "<body>{#Message#}</body>",
                                               "\xE7\x9B\xAE\xE5\xBD\x95\xE8\xAF\xBB\xE5\x8F\x96"
                                               "\xE5\xA4\xB1\xE8\xB4\xA5",
                                               "</html>"};
    EXPECT_EQ(list, expected);
    LoadTemplateResource("content", list);  // names without letter case
    EXPECT_EQ(list, (std::vector<std::string>{"<div>{#Content#}</div>"}));
    LoadTemplateResource("Missing", list);
    EXPECT_TRUE(list.empty());
}

TEST_F(FoldersTest, LoadTextFileJoinsLinesWithCrLf) {
    EXPECT_EQ(LoadTextFile(tree_.Write("a.txt", "one\ntwo\r\nthree\rfour\n")),
              "one\r\ntwo\r\nthree\r\nfour");
    EXPECT_EQ(LoadTextFile(tree_.Write("b.txt", "\n\nx")), "\r\n\r\nx");
    EXPECT_EQ(LoadTextFile(tree_.Path("missing.txt")), "");
    EXPECT_EQ(LoadTextFile(tree_.Make("folder.txt")), "");
}

TEST_F(FoldersTest, DeletePathRemovesFilesAndTrees) {
    const std::string file = tree_.Write("f.txt", "x");
    const std::string empty = tree_.Make("empty");
    tree_.Write("tree/a/b/c.txt", "x");
    const std::string outside = tree_.Write("outside/keep.txt", "x");
    fs::create_directory_symlink(tree_.Path("outside"), tree_.Path("tree/link"));

    EXPECT_TRUE(DeletePath(file));
    EXPECT_TRUE(DeletePath(empty));
    EXPECT_TRUE(DeletePath(tree_.Path("tree")));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_FALSE(fs::exists(empty));
    EXPECT_FALSE(fs::exists(tree_.Path("tree")));
    EXPECT_TRUE(fs::exists(outside)) << "a link inside is removed, never followed";
    EXPECT_FALSE(DeletePath(tree_.Path("missing")));
}

TEST_F(FoldersTest, VersionTextsForOurPrograms) {
    const std::string quira = tree_.Write("programs/Quira", "program");
    EXPECT_EQ(GetFileVersionText(quira), platform::VersionText());
    EXPECT_EQ(GetFileVersionString(quira, "FileVersion"), platform::VersionText());
    EXPECT_EQ(GetFileVersionText(tree_.Write("programs/QuiraReader", "reader")),
              platform::VersionText());
    EXPECT_EQ(GetFileVersionText(tree_.Write("programs/other", "x")), "");
    EXPECT_EQ(GetFileVersionText(tree_.Path("programs/missing/Quira")), "");
    EXPECT_EQ(GetFileVersionString(quira, "CompanyName"), "");
}

TEST_F(FoldersTest, EditionValueIsLowerCased) {
    EXPECT_EQ(GetOEMVersion(), "");
    platform::WriteRegistryString(platform::RegistryRoot::kCurrentUser, "Software\\Velqo", "OEMVer",
                                  "PartnerX");
    EXPECT_EQ(GetOEMVersion(), "partnerx");
}

TEST_F(FoldersTest, ProgramsStartWithTheirParametersAsArguments) {
    const std::string marker = tree_.Path("args.txt");
    const std::string script = tree_.Write("programs/QuiraUpdater",
                                           "#!/bin/sh\nprintf '%s|' \"$@\" > \"" + marker + "\"\n");
    chmod(script.c_str(), 0755);
    ShellOpen(script, "-read \"two words\" ;rm");
    ASSERT_TRUE(AppearsSoon(marker));
    // The file is written once the program ends; wait for its content.
    for (int i = 0; i < 500 && TempTree::Read(marker).empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(TempTree::Read(marker), "-read|two words|;rm|");

    fs::remove(marker);
    EXPECT_TRUE(RunElevated(script, ""));
    ASSERT_TRUE(AppearsSoon(marker));
    EXPECT_FALSE(RunElevated(tree_.Path("programs/missing"), ""));
}

// In a fresh helper process (the desktop's application list is read once per
// process): a handler for every scheme records what it was asked to open.
int OpenUrlsInHelper(const std::vector<std::string>& f) {
    const std::string marker = f[1];
    for (size_t i = 2; i < f.size(); ++i) TellParent(OpenURL(f[i]) ? "opened" : "refused");
    return 0;
}

void InstallRecordingHandler(const TempTree& tree, const std::string& marker) {
    const std::string script =
        tree.Write("bin/record", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"" + marker + "\"\n");
    chmod(script.c_str(), 0755);
    const char* schemes[] = {"http", "https", "javascript", "ftp", "mailto"};
    std::string mime;
    std::string defaults = "[Default Applications]\n";
    for (const char* scheme : schemes) {
        mime += std::string("x-scheme-handler/") + scheme + ";";
        defaults += std::string("x-scheme-handler/") + scheme + "=record.desktop\n";
    }
    tree.Write("home/.local/share/applications/record.desktop",
               "[Desktop Entry]\nType=Application\nName=Record\nExec=" + script +
                   " %u\nMimeType=" + mime + "\n");
    tree.Write("home/.config/mimeapps.list", defaults);
}

int RunChild(const std::vector<std::string>& f) {
    if (f[0] == "open-urls") return OpenUrlsInHelper(f);
    if (f[0] == "channel-serve") {
        GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
        auto channel = platform::ProgramChannel::Open(
            "TMainForm", f[1], [loop](const platform::ChannelMessage& m) {
                TellParent(std::to_string(m.message) + " " + std::to_string(m.wparam) + " " +
                           std::to_string(m.lparam));
                g_main_loop_quit(loop);
            });
        if (!channel) return 2;
        TellParent("ready");
        g_main_loop_run(loop);
        g_main_loop_unref(loop);
        return 0;
    }
    return -1;
}

[[maybe_unused]] const bool kChild = testing_support::RunAsChildIfAsked(RunChild);

TEST(OpenURL, OnlyWebPagesAndFilesAreOpened) {
    TempTree tree(TempTree::Profile::kXdg);
    const std::string marker = tree.Path("opened.txt");
    InstallRecordingHandler(tree, marker);
    tree.SetEnv("XDG_DATA_DIRS", tree.Path("home/.local/share"));
    tree.SetEnv("XDG_CONFIG_DIRS", tree.Path("home/.config"));
    ChildProcess helper({"open-urls", marker, "javascript:alert(1)", "ftp://x.example/f",
                         "mailto:a@b.example", "not a url", "https://novel.example/b?id=1"});
    for (int i = 0; i < 4; ++i) EXPECT_EQ(helper.ReadLine(), "refused") << i;
    EXPECT_EQ(helper.ReadLine(), "opened");
    EXPECT_EQ(helper.Wait(), 0);
    ASSERT_TRUE(AppearsSoon(marker));
    for (int i = 0; i < 200 && TempTree::Read(marker).find('\n') == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(TempTree::Read(marker), "https://novel.example/b?id=1\n");
}

TEST(PostToWindowsWithTitle, ReachesTheRunningProgramByItsCaption) {
    TempTree tree(TempTree::Profile::kXdg);
    // The caption holds Chinese text; the caller's text is GBK bytes.
    ChildProcess program({"channel-serve", "\xE4\xB9\xA6\xE6\x9E\xB6 VE@LQO"});
    ASSERT_EQ(program.ReadLine(), "ready");
    EXPECT_FALSE(PostToWindowsWithTitle("nothing like it"));
    EXPECT_TRUE(PostToWindowsWithTitle("\xCA\xE9\xBC\xDC VE@LQO"));
    EXPECT_EQ(program.ReadLine(), "1026 0 0");
    EXPECT_EQ(program.Wait(), 0);
}

}  // namespace
