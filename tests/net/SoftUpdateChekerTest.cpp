#include "net/SoftUpdateCheker.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <filesystem>
#include <string>
#include <vector>

#include "net/ServiceURL.h"
#include "tests/support/TempTree.h"

namespace fs = std::filesystem;
using testing_support::TempTree;

namespace {

TEST(CompareVersions, NumberByNumber) {
    struct Case {
        const char* a;
        const char* b;
        int sign;
    };
    const Case cases[] = {
        {"2.1.0.5", "2.1.0.10", -1},
        {"2.1.0.10", "2.1.0.5", 1},
        {"2.1", "2.1.0.0", 0},
        {"2.10", "2.9", 1},
        {"3", "2.99.99", 1},
        {"2.1.0.8", "2.1.0.8", 0},
        {"", "0", 0},
        {"x.1", "0.1", 0},
        {" 1.2 ", "1.2", 0},
    };
    for (const auto& c : cases) {
        const int got = CompareVersions(c.a, c.b);
        EXPECT_EQ((got > 0) - (got < 0), c.sign) << c.a << " vs " << c.b;
    }
}

TUpdateDescription Description(const std::string& general, const std::string& server = "") {
    return TUpdateDescription::Parse("[General]\r\n" + general + "\r\n[server]\r\n" + server);
}

TEST(DecideUpdate, Table) {
    struct Case {
        const char* name;
        std::string general;
        std::string server;
        const char* installed;
        const char* localDB;
        std::optional<int> kind;
        bool database;
    };
    const std::vector<Case> cases = {
        // Compared number by number: 2.1.0.10 is newer than 2.1.0.5 and offered.
        {"newer by number", "Version=2.1.0.10", "a=1", "2.1.0.5", "0", 0, false},
        {"older not offered", "Version=2.1.0.5", "a=1", "2.1.0.10", "0", std::nullopt, false},
        {"equal not offered", "Version=2.1.0.8", "a=1", "2.1.0.8", "0", std::nullopt, false},
        {"mode 0 offers an older one", "Version=1.0\r\nupdatemode=0", "a=1", "2.1.0.8", "0", 0,
         false},
        {"mode 0 same text", "Version=2.1.0.8\r\nupdatemode=0", "a=1", "2.1.0.8", "0", std::nullopt,
         false},
        {"no server keys, no outcome and no database check",
         "Version=9.0\r\nDBURL=http://x/db.zip\r\nDBVersion=9", "", "2.1.0.8", "1", std::nullopt,
         false},
        {"fromsite wins even without server keys", "Version=9.0\r\nfromsite=1\r\ndownsite=p", "",
         "2.1.0.8", "0", 1, false},
        {"below permitversion downloads by hand", "Version=9.0\r\npermitversion=2.5", "a=1",
         "2.1.0.5", "0", 1, false},
        {"permitversion by number, not as a decimal", "Version=9.0\r\npermitversion=2.5", "a=1",
         "2.10.0.1", "0", 0, false},
        {"permitversion not a number is ignored", "Version=9.0\r\npermitversion=abc", "a=1",
         "2.1.0.5", "0", 0, false},
        {"permitversion of three numbers is no number", "Version=9.0\r\npermitversion=2.5.1", "a=1",
         "2.1.0.5", "0", 0, false},
        {"installed 0.x is a version too", "Version=9.0\r\npermitversion=0.9", "a=1", "0.5.0.1",
         "0", 1, false},
        {"permitversion 0 is ignored", "Version=9.0\r\npermitversion=0", "a=1", "0.5.0.1", "0", 0,
         false},
        {"empty Version", "Version=", "a=1", "2.1.0.5", "0", std::nullopt, false},
        {"newer site database", "Version=2.1.0.8\r\nDBURL= http://x/db.zip \r\nDBVersion=3", "a=1",
         "2.1.0.8", "2", std::nullopt, true},
        {"same site database", "Version=2.1.0.8\r\nDBURL=http://x/db.zip\r\nDBVersion=2", "",
         "2.1.0.8", "2", std::nullopt, false},
        {"site database version not a number", "DBURL=http://x/db.zip\r\nDBVersion=new", "",
         "2.1.0.8", "2", std::nullopt, false},
        {"no DBURL", "DBVersion=5", "", "2.1.0.8", "2", std::nullopt, false},
    };
    for (const auto& c : cases) {
        const auto decision =
            DecideUpdate(Description(c.general, c.server), c.installed, c.localDB);
        EXPECT_EQ(decision.Kind, c.kind) << c.name;
        EXPECT_EQ(decision.DownloadDatabase, c.database) << c.name;
    }
}

TEST(UpdateDescription, DefaultsAndProfileSemantics) {
    const auto d = TUpdateDescription::Parse(
        "; comment\n[general]\nVERSION = 2.2 \nversion=9\n[Server]\nUpdater=u\nother=1\n");
    EXPECT_EQ(d.Version, "2.2");
    EXPECT_EQ(d.UpdateMode, 1);
    EXPECT_EQ(d.FromSite, 0);
    EXPECT_EQ(d.DBVersion, "0");
    EXPECT_EQ(d.ServerKeys, (std::vector<std::string>{"Updater", "other"}));
    // A line over the bound is no entry: the next key of its name counts.
    const auto longLine = TUpdateDescription::Parse(
        "[General]\r\nVersion=" + std::string(kMaxServiceLineBytes, '9') + "\r\nVersion=2.5\r\n");
    EXPECT_EQ(longLine.Version, "2.5");
}

// Writes a Zip archive whose entries have exactly the given names.
std::string MakeArchive(const std::string& path,
                        const std::vector<std::pair<std::string, std::string>>& entries) {
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    EXPECT_NE(archive, nullptr);
    for (const auto& [name, bytes] : entries) {
        zip_source_t* source = zip_source_buffer(archive, bytes.data(), bytes.size(), 0);
        EXPECT_GE(zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_RAW), 0) << name;
    }
    EXPECT_EQ(zip_close(archive), 0);
    return path;
}

TEST(ExtractUpdatePackage, FirstEntryUnderAFixedName) {
    TempTree tree;
    const std::string folder = tree.Make("update");
    tree.Write("update/temp.db", "old");
    const auto archive = MakeArchive(folder + "/temp.db.tmp",
                                     {{"sites-v3.db", std::string(100000, 'S')}, {"b", "x"}});
    const std::string path = ExtractUpdatePackage(archive);
    EXPECT_EQ(path, folder + "/temp.db");
    EXPECT_EQ(TempTree::Read(path), std::string(100000, 'S'));
    EXPECT_FALSE(fs::exists(folder + "/sites-v3.db"));
}

TEST(ExtractUpdatePackage, RefusesHostileNamesAndLeavesOtherFilesAlone) {
    TempTree tree;
    const std::string folder = tree.Make("update");
    const std::string victim = tree.Write("victim.db", "keep me");
    for (const std::string& name :
         std::vector<std::string>{"../victim.db", victim, "sub/x.db", "sub\\x.db", "..", "a..b",
                                  "C:evil.db", "./x", "dir/"}) {
        tree.Write("update/temp.db", "previous");
        const auto archive = MakeArchive(folder + "/temp.db.tmp", {{name, "evil"}});
        EXPECT_EQ(ExtractUpdatePackage(archive), "") << name;
        EXPECT_EQ(TempTree::Read(victim), "keep me") << name;
        EXPECT_FALSE(fs::exists(folder + "/sub")) << name;
    }
}

TEST(ExtractUpdatePackage, BrokenArchives) {
    TempTree tree;
    const std::string folder = tree.Make("update");
    EXPECT_EQ(ExtractUpdatePackage(tree.Write("update/none.tmp", "not a zip at all")), "");
    EXPECT_EQ(ExtractUpdatePackage(folder + "/missing.tmp"), "");
    const auto empty = MakeArchive(folder + "/empty.tmp", {});
    EXPECT_EQ(ExtractUpdatePackage(empty), "");
    // A cut archive: the entry's data is not all there.
    const auto whole = MakeArchive(folder + "/whole.tmp", {{"db", std::string(50000, 'x')}});
    std::string bytes = TempTree::Read(whole);
    const std::string cut = tree.Write("update/cut.tmp", bytes.substr(0, bytes.size() / 2));
    EXPECT_EQ(ExtractUpdatePackage(cut), "");
    EXPECT_FALSE(fs::exists(folder + "/temp.db"));
    EXPECT_FALSE(fs::exists(folder + "/temp.db.part"));
}

}  // namespace
