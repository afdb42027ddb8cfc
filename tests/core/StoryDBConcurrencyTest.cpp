#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
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
            LockHolder other(path, 300, c.lock);
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
            LockHolder other(path, 300, c.lock);
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

// While the other program keeps the file locked past the busy time-out, a
// read says that it failed: a story that has chapters must not look like one
// that has none. Once the lock is gone the same reads find their rows, and a
// story that has none reads as empty.
TEST_F(StoryDBSharing, ReadsTellAFailureFromAnEmptyAnswer) {
    ASSERT_TRUE(db->AddArticle("s1", "a", "title", "", "", "", "", -1, ""));
    {
        TStoryDB::ChapterBatch batch(*db);
        ASSERT_TRUE(db->AddChapter("s1", "a", "1", "", "one", "", 0));
    }
    ASSERT_TRUE(db->SaveReadPosition("s1", "a", "2024-01-01 00:00:00", "1", 0, 3));
    ASSERT_TRUE(db->SetParam("ExportFolder", "/x"));
    TStoryDB quick(path, 50);

    const auto reads = [&](TDBRead::Status want) {
        std::vector<TChapterItemData> list;
        EXPECT_EQ(quick.GetChapterList("s1", "a", list), want);
        EXPECT_EQ(list.size(), want == TDBRead::Status::Found ? 1u : 0u);
        EXPECT_EQ(quick.ArticleExists("s1", "a"), want);
        TReadHistoryData position;
        EXPECT_EQ(quick.GetReadPosition("s1", "a", position), want);
        AnsiString folder = "default";
        EXPECT_EQ(quick.GetExportFolder(folder), want);
        EXPECT_EQ(folder, want == TDBRead::Status::Found ? "/x" : "default");
        AnsiString name = "x", author = "x";
        EXPECT_EQ(quick.GetChapterLabels("s1", "a", "1", name, author).Failed(),
                  want == TDBRead::Status::Failed);
        EXPECT_EQ(name, want == TDBRead::Status::Found ? "one" : "x");
        std::vector<TBookListData> shelf;
        EXPECT_EQ(quick.GetShelf(shelf, kShelfBoth),
                  want == TDBRead::Status::Failed ? want : TDBRead::Status::Empty);
    };
    {
        auto other = dbtest::Raw(path);
        ASSERT_TRUE(other->Execute("BEGIN EXCLUSIVE"));
        SCOPED_TRACE("locked");
        reads(TDBRead::Status::Failed);
        ASSERT_TRUE(other->Execute("COMMIT"));
    }
    {
        SCOPED_TRACE("free");
        reads(TDBRead::Status::Found);
    }
    std::vector<TChapterItemData> list;
    EXPECT_EQ(quick.GetChapterList("s1", "none", list), TDBRead::Status::Empty);
    EXPECT_EQ(quick.ArticleExists("s1", "none"), TDBRead::Status::Empty);
    // Not knowing whether the story is stored, nothing is written for it.
    {
        auto other = dbtest::Raw(path);
        ASSERT_TRUE(other->Execute("BEGIN EXCLUSIVE"));
        EXPECT_FALSE(quick.AddArticle("s1", "b", "title", "", "", "", "", -1, ""));
        ASSERT_TRUE(other->Execute("COMMIT"));
    }
    EXPECT_EQ(quick.ArticleExists("s1", "b"), TDBRead::Status::Empty);
}

// A chapter batch that cannot take the file in time writes nothing, not even
// once the file is free again half-way through, says so at its end, and gives
// the lock of the object back.
TEST_F(StoryDBSharing, BatchThatCannotBeginWritesNothingAndSaysSo) {
    TStoryDB quick(path, 50);
    auto other = dbtest::Raw(path);
    ASSERT_TRUE(other->Execute("BEGIN IMMEDIATE"));
    {
        TStoryDB::ChapterBatch batch(quick);
        EXPECT_FALSE(batch.Began());
        EXPECT_FALSE(quick.AddChapter("s1", "a", "1", "", "one", "", 0));
        ASSERT_TRUE(other->Execute("COMMIT"));
        EXPECT_FALSE(quick.AddChapter("s1", "a", "2", "", "two", "", 1));
        EXPECT_FALSE(batch.Commit());
    }
    EXPECT_EQ(One(*other, "select count(*) from Chapter"), "0");
    // The lock is free: another thread gets through at once.
    auto read = std::async(std::launch::async, [&] {
        std::vector<TChapterItemData> list;
        return quick.GetChapterList("s1", "a", list).GetStatus();
    });
    ASSERT_EQ(read.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(read.get(), TDBRead::Status::Empty);
    // The next batch works again.
    TStoryDB::ChapterBatch batch(quick);
    EXPECT_TRUE(batch.Began());
    EXPECT_TRUE(quick.AddChapter("s1", "a", "1", "", "one", "", 0));
    EXPECT_TRUE(batch.Commit());
    EXPECT_EQ(One(*other, "select count(*) from Chapter"), "1");
}

// The other program stores the same new story while this one saves a
// position or stamps a read time: the test for the row and the write that
// follows from it are one step, so the story keeps one history row.
TEST_F(StoryDBSharing, TwoProgramsSavingANewStoryKeepOneHistoryRow) {
    struct Case {
        const char* name;
        std::function<bool(TStoryDB&, const std::string&)> save;
    };
    const Case cases[] = {
        {"position",
         [](TStoryDB& d, const std::string& story) {
             return d.SaveReadPosition("s1", story, "2024-01-02 00:00:00", "7", 1, 2);
         }},
        {"read time",
         [](TStoryDB& d, const std::string& story) { return d.TouchReadTime("s1", story); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string story = std::string("new ") + c.name;
        auto other = dbtest::Raw(path);
        ASSERT_TRUE(other->Execute("BEGIN IMMEDIATE"));
        auto saved = std::async(std::launch::async, [&] { return c.save(*db, story); });
        // Time for the save to reach the file and wait there; the result holds
        // whatever the order.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ASSERT_TRUE(other->Execute(
            "insert into LastReadHistory(SiteID,StoryID,ReadTime) values('s1',:Story,'2024-01-01')",
            {{":Story", story}}));
        ASSERT_TRUE(other->Execute("COMMIT"));
        EXPECT_TRUE(saved.get());
        EXPECT_EQ(One(*other, "select count(*) from LastReadHistory where StoryID='" + story + "'"),
                  "1");
        EXPECT_NE(One(*other, "select ReadTime from LastReadHistory where StoryID='" + story + "'"),
                  "2024-01-01");
    }
}

}  // namespace
