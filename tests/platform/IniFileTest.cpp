#include "platform/IniFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "tests/support/TempTree.h"

namespace {

using platform::IniFile;
using testing_support::TempTree;

const char* const kSample =
    "; settings\r\n"
    "[General]\r\n"
    "  VelqoData =  /data/books  \r\n"
    "maxcachesize=200\r\n"
    "MaxCacheSize=999\r\n"
    "Quoted=\" padded \"\r\n"
    "Hex=0x1F\r\n"
    "Word=yes\r\n"
    "\r\n"
    "[WindowExMain]\r\n"
    "Left=10\r\n"
    "[general]\r\n"
    "Late=1\r\n";

struct ReadCase {
    const char* section;
    const char* key;
    const char* expected;
};

TEST(IniFile, ReadsWithWindowsProfileSemantics) {
    TempTree tree;
    const IniFile ini(tree.Write("set.ini", kSample));
    const ReadCase cases[] = {
        {"general", "velqodata", "/data/books"},  // names without case, value trimmed
        {"GENERAL", "MaxCacheSize", "200"},       // the first key of a name wins
        {"General", "Quoted", " padded "},        // one pair of quotes dropped
        {"General", "Late", "default"},           // a repeated section is not read
        {"General", "Left", "default"},           // keys belong to their section
        {"WindowExMain", "Left", "10"},          {"Missing", "Left", "default"},
        {"General", "; settings", "default"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ini.ReadString(c.section, c.key, "default"), c.expected) << c.key;
    }
    EXPECT_EQ(ini.ReadInteger("General", "MaxCacheSize", 500), 200);
    EXPECT_EQ(ini.ReadInteger("General", "Hex", 0), 31);
    EXPECT_EQ(ini.ReadInteger("General", "Word", 7), 7);
    EXPECT_EQ(ini.ReadInteger("General", "Missing", 500), 500);
    EXPECT_TRUE(ini.ReadBool("General", "Hex", false));
    EXPECT_TRUE(ini.ReadBool("General", "Word", true));
    EXPECT_FALSE(ini.ReadBool("General", "Word", false));
    EXPECT_EQ(ini.ReadSection("General"),
              (std::vector<std::string>{"VelqoData", "maxcachesize", "Quoted", "Hex", "Word"}));
    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"General", "WindowExMain"}));
}

// A text held in memory reads as the same text in a file does, LF-ended
// lines and values of the section included.
TEST(IniText, ReadsLikeTheFile) {
    TempTree tree;
    std::string unixLines = kSample;
    for (size_t at; (at = unixLines.find("\r\n")) != std::string::npos;)
        unixLines.replace(at, 2, "\n");
    for (const std::string& text : {std::string(kSample), unixLines}) {
        const platform::IniText memory(text);
        const IniFile file(tree.Write("same.ini", text));
        for (const auto* section : {"General", "windowexmain", "Missing"}) {
            EXPECT_EQ(memory.ReadSection(section), file.ReadSection(section)) << section;
            for (const auto& key : file.ReadSection(section))
                EXPECT_EQ(memory.ReadString(section, key, "-"), file.ReadString(section, key, "-"));
        }
        EXPECT_EQ(memory.ReadSections(), file.ReadSections());
        EXPECT_EQ(memory.ReadInteger("General", "Hex", 0), 31);
        using Values = std::vector<std::pair<std::string, std::string>>;
        EXPECT_EQ(memory.ReadSectionValues("GENERAL"), (Values{{"VelqoData", "/data/books"},
                                                               {"maxcachesize", "200"},
                                                               {"Quoted", " padded "},
                                                               {"Hex", "0x1F"},
                                                               {"Word", "yes"}}));
    }
}

TEST(IniFile, WritesOnlyTheLineConcerned) {
    TempTree tree;
    const std::string path = tree.Write("set.ini", kSample);
    const IniFile ini(path);
    ASSERT_TRUE(ini.WriteString("GENERAL", "maxCacheSize", "300"));
    ASSERT_TRUE(ini.WriteInteger("General", "ScanCache", 0));
    ASSERT_TRUE(ini.WriteString("New", "Key", "a\r\nInjected=1"));
    std::string expected = kSample;
    expected.replace(expected.find("maxcachesize=200"), 16, "maxcachesize=300");
    expected.replace(expected.find("Word=yes\r\n") + 10, 0, "ScanCache=0\r\n");
    expected += "[New]\r\nKey=a  Injected=1\r\n";
    EXPECT_EQ(TempTree::Read(path), expected);
    EXPECT_EQ(ini.ReadInteger("General", "MaxCacheSize", 0), 300);
    EXPECT_FALSE(ini.ValueExists("New", "Injected"));

    ASSERT_TRUE(ini.DeleteKey("general", "HEX"));
    EXPECT_FALSE(ini.ValueExists("General", "Hex"));
    ASSERT_TRUE(ini.EraseSection("windowexmain"));
    EXPECT_FALSE(ini.SectionExists("WindowExMain"));
    EXPECT_EQ(ini.ReadString("General", "VelqoData", ""), "/data/books");
}

TEST(IniFile, MissingAndUnreadableFiles) {
    TempTree tree;
    const IniFile fresh(tree.Path("fresh.ini"));
    EXPECT_EQ(fresh.ReadInteger("General", "MaxCacheSize", 500), 500);
    ASSERT_TRUE(fresh.WriteBool("General", "Install", true));
    EXPECT_EQ(TempTree::Read(fresh.Path()), "[General]\nInstall=1\n");
    // A folder where the file should be reads as all defaults and is not written.
    const IniFile folder(tree.Make("folder.ini"));
    EXPECT_EQ(folder.ReadInteger("General", "MaxCacheSize", 500), 500);
    EXPECT_EQ(folder.ReadString("General", "VelqoData", "x"), "x");
    EXPECT_FALSE(folder.SectionExists("General"));
    EXPECT_FALSE(folder.WriteString("General", "A", "1"));
    // No folder, no file: writing fails and says so.
    EXPECT_FALSE(IniFile(tree.Path("no/such/set.ini")).WriteString("General", "A", "1"));
    // A file that is there but cannot be read is never replaced by a new one.
    if (geteuid() != 0) {
        const std::string locked = tree.Write("locked.ini", "[General]\nA=1\n");
        chmod(locked.c_str(), 0200);
        EXPECT_FALSE(IniFile(locked).WriteString("General", "B", "2"));
        chmod(locked.c_str(), 0600);
        EXPECT_EQ(TempTree::Read(locked), "[General]\nA=1\n");
    }
}

}  // namespace
