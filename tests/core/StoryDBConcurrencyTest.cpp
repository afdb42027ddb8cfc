#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/DBCreater.h"
#include "core/Folders.h"
#include "core/StoryDB.h"
#include "tests/core/DatabaseFixtures.h"

namespace {

using dbtest::LockHolder;
using dbtest::One;
using testing_support::TempTree;

class StoryDBSharing : public testing::Test {
  protected:
    void SetUp() override {
        SetAppFolder(tree.Make("app") + "/");
        SetDataFolder(tree.Make("data") + "/");
        path = tree.Path("app/idata.dll");
        dbtest::MakeStoryDatabase(path);
        db = std::make_unique<TStoryDB>(path);
        TSiteItemData site;
        site.SiteID = "s1";
        site.SiteName = "one";
        ASSERT_TRUE(db->SaveSite("s1", site));
    }

    TempTree tree;
    std::string path;
    std::unique_ptr<TStoryDB> db;
};

// The reading program writes while the main program stores: each statement
// waits for the other's lock instead of failing and losing its data.
TEST_F(StoryDBSharing, WritesWaitForTheOtherProgramsLockAndNothingIsLost) {
    struct Case {
        const char* name;
        LockHolder::Mode lock;
    };
    const Case cases[] = {{"writer", LockHolder::Mode::Reserved},
                          {"committing writer", LockHolder::Mode::Exclusive}};
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string story = "story" + std::to_string(round++);
        // An existing row first, so the position is a test and then an update.
        ASSERT_TRUE(db->SaveReadPosition("s1", story, "2024-01-01 00:00:00", "c0", 0, 0));
        {
            LockHolder other(path, 300, tree.Path(story + ".position"), c.lock);
            ASSERT_TRUE(other.WaitUntilLocked());
            EXPECT_TRUE(db->SaveReadPosition("s1", story, "2024-01-02 00:00:00", "0123", 5, 6));
            EXPECT_EQ(other.Wait(), 0);
        }
        {
            // A list stored before, so the batch reads before it writes.
            {
                TStoryDB::ChapterBatch batch(*db);
                db->AddChapter("s1", story, "old", "", "old", "", 0);
            }
            LockHolder other(path, 300, tree.Path(story + ".chapters"), c.lock);
            ASSERT_TRUE(other.WaitUntilLocked());
            {
                TStoryDB::ChapterBatch batch(*db);
                for (int i = 0; i < 200; ++i) {
                    EXPECT_TRUE(db->AddChapter("s1", story, std::to_string(i), "v", "n", "", i));
                }
            }
            EXPECT_EQ(other.Wait(), 0);
        }
        TReadHistoryData position;
        ASSERT_TRUE(db->GetReadPosition("s1", story, position));
        EXPECT_EQ(position.ReadChapter, "0123");
        EXPECT_EQ(position.VScrollBarPos, 6);
        std::vector<TChapterItemData> list;
        db->GetChapterList("s1", story, list);
        ASSERT_EQ(list.size(), 200u);
        EXPECT_EQ(list.back().ChapterID, "199");
        // The other program's own write arrived too.
        AnsiString holder;
        EXPECT_TRUE(db->GetParam("Holder", holder));
    }
}

// Many threads on one object: every operation is serialised, a batch is seen
// whole or not at all, and each story keeps one history row.
TEST_F(StoryDBSharing, ManyThreadsShareOneObject) {
    constexpr int kThreads = 6;
    constexpr int kStories = 8;
    constexpr int kChapters = 40;
    std::atomic<int> partialLists{0};
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int s = 0; s < kStories; ++s) {
                const std::string story = "t" + std::to_string(t) + "s" + std::to_string(s);
                if (!db->AddArticle("s1", story, "title", "", "", "", "", -1, "")) ++failures;
                {
                    TStoryDB::ChapterBatch batch(*db);
                    for (int c = 0; c < kChapters; ++c) {
                        if (!db->AddChapter("s1", story, std::to_string(c), "", "", "", c)) {
                            ++failures;
                        }
                    }
                }
                if (!db->SetInOnlineShelf("s1", story, true)) ++failures;
                if (!db->SaveReadPosition("s1", story, "2024-01-01 00:00:00", "1", t, s)) {
                    ++failures;
                }
                if (!db->TouchReadTime("s1", story)) ++failures;
                // Another thread's story: its list is whole or absent.
                const std::string other =
                    "t" + std::to_string((t + 1) % kThreads) + "s" + std::to_string(s);
                std::vector<TChapterItemData> list;
                db->GetChapterList("s1", other, list);
                if (!list.empty() && list.size() != kChapters) ++partialLists;
                std::vector<TBookListData> shelf;
                db->GetShelf(shelf, kShelfOnline);
                std::vector<TReadHistoryListData> history;
                db->GetReadHistory(history);
            }
        });
    }
    for (auto& thread : threads) thread.join();

    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(partialLists.load(), 0);
    std::vector<TBookListData> shelf;
    db->GetShelf(shelf, kShelfOnline);
    EXPECT_EQ(shelf.size(), static_cast<size_t>(kThreads * kStories));
    auto raw = dbtest::Raw(path);
    EXPECT_EQ(One(*raw, "select count(*) from Chapter"),
              std::to_string(kThreads * kStories * kChapters));
    EXPECT_EQ(One(*raw, "select count(*) from LastReadHistory"),
              std::to_string(kThreads * kStories));
    EXPECT_EQ(One(*raw, "select count(distinct FolderName) from Article"),
              std::to_string(kThreads * kStories));
}

}  // namespace
