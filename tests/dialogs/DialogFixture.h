#pragma once

// What the headless dialog tests share: a temporary profile with its own
// application and data folders, a real story database installed as the
// process-wide one, a real HTTP server on 127.0.0.1 for fake sites and the
// vendor stand-in, the user-interface loop pumped by the test itself, and a
// recorder in place of message boxes.

#include <glib.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/DBCreater.h"
#include "core/Folders.h"
#include "core/SqliteDB.h"
#include "core/StoryDB.h"
#include "net/WinHTTPRequest2.h"
#include "platform/Charset.h"
#include "platform/ui/Dialogs.h"
#include "shelf/dialogs/DialogCommon.h"
#include "tests/support/FakeHttpServer.h"
#include "tests/support/FakeNovelSite.h"
#include "tests/support/TempTree.h"

namespace dialogtest {

using namespace std::chrono_literals;

inline std::string U(std::string_view ansi) {
    return platform::AnsiToUtf8(ansi);
}

// Runs the default main loop (where posted closures land) until pred holds.
inline bool PumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout = 20s) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= end) return pred();
        if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
    }
    return true;
}

// Runs whatever the loop holds now.
inline void Drain() {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
}

// Message boxes the controllers raise, with a chosen answer.
struct MessageRecorder {
    struct Box {
        std::string text, caption;  // UTF-8
        platform::ui::MessageButtons buttons;
        platform::ui::MessageIcon icon;
        int defaultResult;
    };
    std::vector<Box> boxes;
    int answer = platform::ui::IdOk;

    TMessageBoxFn Fn() {
        return [this](const AnsiString& text, const AnsiString& caption,
                      platform::ui::MessageButtons buttons, platform::ui::MessageIcon icon,
                      int defaultResult) {
            boxes.push_back({U(text), U(caption), buttons, icon, defaultResult});
            return answer;
        };
    }
};

class DialogTest : public ::testing::Test {
  protected:
    DialogTest() : tree_(testing_support::TempTree::Profile::kXdg) {}

    void SetUp() override {
        SetAppFolder(tree_.Path("app", true));
        SetDataFolder(tree_.Path("data", true));
        SetProgramFolder(std::string(QUIRA_BIN_DIR) + "/");
        tree_.Make("app");
        tree_.Make("data/BooK");
        dbPath_ = tree_.Write("app/idata.dll", "");
        ASSERT_TRUE(TDBCreater().CheckDatabase(dbPath_, dbPath_ + ".none"));
        SetStoryDB(std::make_unique<TStoryDB>(dbPath_));
    }
    void TearDown() override {
        EXPECT_TRUE(TWinHTTPThread::WaitUntilNoneRunning(10s));
        Drain();
        SetStoryDB(nullptr);
        server_.Stop();
    }

    TStoryDB& DB() { return *StoryDB(); }

    // The other program holds the database locked, past a short busy
    // time-out of this one's, until the returned connection commits.
    std::unique_ptr<SqliteDB> HoldDatabaseLocked() {
        SetStoryDB(std::make_unique<TStoryDB>(dbPath_, 50));
        auto other = SqliteDB::Open(dbPath_, SqliteDB::Mode::ReadWrite, 50);
        EXPECT_TRUE(other && other->Execute("BEGIN EXCLUSIVE"));
        return other;
    }

    // A fake GBK novel site whose rules are stored as site "gbk".
    testing_support::FakeNovelSite& Site() {
        if (!site_) {
            testing_support::FakeSiteOptions options;
            options.siteID = "gbk";
            site_ = std::make_unique<testing_support::FakeNovelSite>(server_, options);
            const auto row = site_->Row();
            EXPECT_TRUE(DB().SaveSite(row.SiteID, row.ToSiteItemData()));
        }
        return *site_;
    }
    // A story of the fake site stored with its chapter list, as reading its
    // page would store it, without a download.
    testing_support::FakeStory StoredStory(int chapters, int picturesEvery = 0) {
        const testing_support::FakeStory story =
            Site().AddStory("剑影江湖", "云中客", chapters, 2, picturesEvery);
        TStoryDB& db = DB();
        EXPECT_TRUE(db.AddArticle("gbk", story.id, A(story.title), A(story.author), A("一段简介"),
                                  "", "", -1, story.folder));
        TStoryDB::ChapterBatch batch(db);
        int row = 0;
        for (const auto* chapter : story.Chapters())
            db.AddChapter("gbk", story.id, chapter->id, "", A(chapter->name), "", row++);
        return story;
    }

    testing_support::TempTree tree_;
    std::string dbPath_;
    testing_support::FakeHttpServer server_;
    std::unique_ptr<testing_support::FakeNovelSite> site_;
};

}  // namespace dialogtest
