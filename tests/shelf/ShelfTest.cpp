// The main window's shelf helpers that need no window: the recent-read
// captions, the cache scan and its limit, and starting the reader for local
// reading after the running one has gone.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "core/Cache.h"
#include "exchange/XDataShare.h"
#include "platform/IniFile.h"
#include "platform/NamedLock.h"
#include "platform/ProgramChannel.h"
#include "shelf/CacheScan.h"
#include "shelf/ReaderStarter.h"
#include "shelf/ShelfHelpers.h"
#include "tests/shelf/ShelfFixture.h"

namespace {

using shelftest::A;

// Runs the default main context until done holds or the time is up.
bool LoopUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
    }
    return true;
}

TEST(RecentNavCaption, CutsEightCharactersNotBytes) {
    struct Case {
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {A("斗破苍穹"), A("斗破苍穹")},
        {A("一二三四五六七八九十"), A("一二三四五六七八")},
        {"abcdefghij", "abcdefgh"},
        {A("第1卷Ab斗破苍穹"), A("第1卷Ab斗破苍")},
        {"", ""},
        // A four-byte character counts as one.
        {A("😀一二三四五六七八"), A("😀一二三四五六七")},
        // A lead byte cut off at the end of the text is left out.
        {A("一二") + "\xB0", A("一二")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RecentNavCaption(c.text), c.expected) << platform::AnsiToUtf8(c.text);
    }
}

class CacheScan : public shelftest::ProfileTest {
  protected:
    // A file of exactly that many bytes, without writing them.
    void SparseFile(const std::string& relative, off_t size) {
        const std::string path = tree_.Write(relative, "");
        ASSERT_EQ(truncate(path.c_str(), size), 0);
    }
    // Runs a scan to its report.
    std::pair<std::vector<std::string>, int64_t> Scan() {
        std::vector<std::string> paths;
        int64_t size = -1;
        auto thread =
            NewCacheScan(StoryDB(), BookFolder(),
                         [&](TCacheThread*, const std::vector<std::string>& found, int64_t total) {
                             paths = found;
                             size = total;
                         });
        EXPECT_TRUE(LoopUntil([&] { return size >= 0; }));
        return {paths, size};
    }
};

TEST_F(CacheScan, SparesTheLocalShelfAndOpensTheCleanUpOnlyOverTheLimit) {
    platform::IniFile(SettingsFile()).WriteInteger("General", "MaxCacheSize", 1);
    ASSERT_EQ(ReadMaxCacheSize(), 1);
    TSiteItemData site;
    site.SiteID = "s";
    site.SiteName = "site";
    ASSERT_TRUE(DB().SaveSite("s", site));  // shelves list stories of known sites
    DB().AddArticle("s", "1", "online", "", "", "", "", -1, "");
    DB().AddArticle("s", "2", "local", "", "", "", "", -1, "");
    ASSERT_TRUE(DB().SetInOnlineShelf("s", "1", true));
    ASSERT_TRUE(DB().SetInLocalShelf("s", "2", true));
    AnsiString online, local;
    DB().GetFolderName("s", "1", online);
    DB().GetFolderName("s", "2", local);

    // Exactly the limit: the clean-up stays shut.
    SparseFile("data/BooK/" + online + "/a.txt", 512 * 1024);
    SparseFile("data/BooK/" + online + "/b.txt", 512 * 1024);
    SparseFile("data/BooK/" + local + "/kept.txt", 5 * 1024 * 1024);
    auto [paths, size] = Scan();
    EXPECT_EQ(size, 1024 * 1024);
    EXPECT_FALSE(CacheOverLimit(size, ReadMaxCacheSize()));
    for (const auto& path : paths) EXPECT_EQ(path.find(local), std::string::npos) << path;

    // One byte more opens it.
    SparseFile("data/BooK/" + online + "/c.txt", 1);
    std::tie(paths, size) = Scan();
    EXPECT_EQ(size, 1024 * 1024 + 1);
    EXPECT_TRUE(CacheOverLimit(size, ReadMaxCacheSize()));
    EXPECT_EQ(paths.size(), 4u);  // three files and their folder
}

// Mended: local reading closed the running reader and started the new one
// at once; the new one met the old one's lock and ended, and nothing opened.
TEST(ReaderStarter, StartsTheReaderOnlyAfterTheOldOneLetGoOfItsLock) {
    testing_support::TempTree tree(testing_support::TempTree::Profile::kXdg);
    // A reader stand-in: a script that leaves its arguments in a file.
    const std::string program = tree.Make("program") + "/";
    const std::string record = tree.Path("started.txt");
    const std::string script =
        tree.Write("program/QuiraReader", "#!/bin/sh\necho \"$@\" > '" + record + "'\n");
    ASSERT_EQ(chmod(script.c_str(), 0755), 0);

    TXDataShare().WriteRequest("s", "1", "2", 0);
    auto old = std::make_unique<platform::NamedLock>(kReaderLock);
    ASSERT_TRUE(old->Acquired());
    EXPECT_TRUE(ReaderRunning());
    // The old reader's window gets the close request.
    std::vector<platform::ChannelMessage> got;
    auto channel = platform::ProgramChannel::Open(
        kReaderWindowClass, "reader", [&](const platform::ChannelMessage& m) { got.push_back(m); });
    ASSERT_TRUE(channel);

    TReaderStarter starter(std::chrono::seconds(20));
    EXPECT_FALSE(starter.Start(program, {"-localread"}));
    EXPECT_TRUE(starter.Waiting());
    ASSERT_TRUE(LoopUntil([&] { return !got.empty(); }));
    EXPECT_EQ(got[0].message, platform::kWmClose);
    // While the lock is held nothing starts.
    LoopUntil([] { return false; }, 200);
    EXPECT_FALSE(std::filesystem::exists(record));

    old.reset();  // the old reader ends
    channel.reset();
    ASSERT_TRUE(LoopUntil([&] { return !starter.Waiting(); }));
    ASSERT_TRUE(LoopUntil([&] { return std::filesystem::exists(record); }));
    EXPECT_TRUE(
        LoopUntil([&] { return testing_support::TempTree::Read(record) == "-localread\n"; }));
    // Local reading opens no story: the request block was cleared.
    AnsiString site, story, chapter;
    unsigned char continueRead = 9;
    TXDataShare().Read(site, story, chapter, continueRead);
    EXPECT_EQ(site, "");

    // With no reader running it starts at once.
    std::filesystem::remove(record);
    EXPECT_TRUE(starter.Start(program, {"-localread"}));
    EXPECT_TRUE(LoopUntil([&] { return std::filesystem::exists(record); }));
}

// Mended: the settings moved the data folder while workers read the folder
// text to write chapters; a reader could see the text half changed.
TEST(FolderTexts, StayWholeWhileTheSettingsMoveTheDataFolder) {
    const std::string first = "/tmp/quira-first-data-folder/";
    const std::string second = "/tmp/quira-the-second-and-much-longer-data-folder-name/";
    SetDataFolder(first);
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 4; ++i) {
        readers.emplace_back([&] {
            while (!stop) {
                const std::string book = BookFolder();
                if (book != first + "BooK/" && book != second + "BooK/") ++torn;
            }
        });
    }
    for (int i = 0; i < 2000; ++i) SetDataFolder(i % 2 ? first : second);
    stop = true;
    for (auto& reader : readers) reader.join();
    EXPECT_EQ(torn, 0);
}

}  // namespace
