#pragma once

// A whole little world for the download tests: a temporary profile with its
// own application and data folders, a real story database file installed as
// the process-wide one, the shipped templates, and fake novel sites on a real
// HTTP server on 127.0.0.1.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/DBCreater.h"
#include "core/Folders.h"
#include "core/StoryDB.h"
#include "core/TextHelpers.h"
#include "net/WinHTTPRequest2.h"
#include "platform/Charset.h"
#include "tests/support/FakeHttpServer.h"
#include "tests/support/FakeNovelSite.h"
#include "tests/support/TempTree.h"

namespace storynet {

using namespace std::chrono_literals;

inline AnsiString A(std::string_view utf8) {
    return platform::Utf8ToAnsi(utf8);
}
inline std::string U(std::string_view ansi) {
    return platform::AnsiToUtf8(ansi);
}

// Collects what events deliver on worker threads and lets the test wait.
template <typename T>
class Inbox {
  public:
    // Notifies under the lock: a waiter that wakes may destroy the inbox at once.
    void Add(T value) {
        const std::lock_guard lock(mutex_);
        items_.push_back(std::move(value));
        changed_.notify_all();
    }
    bool WaitFor(size_t count, std::chrono::milliseconds timeout = 20s) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return items_.size() >= count; });
    }
    std::vector<T> Items() const {
        const std::lock_guard lock(mutex_);
        return items_;
    }
    size_t Size() const {
        const std::lock_guard lock(mutex_);
        return items_.size();
    }

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<T> items_;
};

class StoryNetTest : public ::testing::Test {
  protected:
    StoryNetTest() : tree_(testing_support::TempTree::Profile::kXdg) {}

    void SetUp() override {
        SetAppFolder(tree_.Path("app", true));
        SetDataFolder(tree_.Path("data", true));
        SetProgramFolder(std::string(QUIRA_BIN_DIR) + "/");
        tree_.Make("app");
        tree_.Make("data/BooK");
        // An empty file is an empty database: the check creates every table.
        dbPath_ = tree_.Write("app/idata.dll", "");
        ASSERT_TRUE(TDBCreater().CheckDatabase(dbPath_, dbPath_ + ".none"));
        SetStoryDB(std::make_unique<TStoryDB>(dbPath_));
    }
    void TearDown() override {
        // Workers still ending must find nothing of the test's world gone.
        EXPECT_TRUE(TWinHTTPThread::WaitUntilNoneRunning(10s));
        SetStoryDB(nullptr);
        server_.Stop();
    }

    testing_support::FakeNovelSite& AddSite(testing_support::FakeSiteOptions options) {
        sites_.push_back(std::make_unique<testing_support::FakeNovelSite>(server_, options));
        const auto row = sites_.back()->Row();
        EXPECT_TRUE(StoryDB()->SaveSite(row.SiteID, row.ToSiteItemData()));
        return *sites_.back();
    }
    static testing_support::FakeSiteOptions Options(std::string id,
                                                    testing_support::SiteCharset charset) {
        return testing_support::SiteOptions(std::move(id), charset);
    }

    // The chapter rows of the story as the database gives them, ANSI texts.
    std::vector<TChapterItemData> Chapters(const std::string& siteID, const std::string& id) {
        std::vector<TChapterItemData> list;
        StoryDB()->GetChapterList(siteID, id, list);
        return list;
    }
    std::string Folder(const std::string& siteID, const std::string& id) {
        AnsiString folder;
        StoryDB()->GetFolderName(siteID, id, folder);
        return BookFolder() + folder + "/";
    }
    // Stores the story and its chapter list as a story read would, without a download.
    void StoreStory(const std::string& siteID, const testing_support::FakeStory& story) {
        TStoryDB& db = *StoryDB();
        db.AddArticle(siteID, story.id, A(story.title), A(story.author), "", "", "", -1,
                      story.folder);
        TStoryDB::ChapterBatch batch(db);
        int row = 0;
        for (const auto* chapter : story.Chapters())
            db.AddChapter(siteID, story.id, chapter->id, "", A(chapter->name), "", row++);
    }

    testing_support::TempTree tree_;
    std::string dbPath_;
    testing_support::FakeHttpServer server_;
    std::vector<std::unique_ptr<testing_support::FakeNovelSite>> sites_;
};

}  // namespace storynet
