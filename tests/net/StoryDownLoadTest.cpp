#include "net/StoryDownLoad.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "StoryNetFixture.h"
#include "core/SqliteDB.h"
#include "core/StoryExportHTML.h"

namespace fs = std::filesystem;
using namespace storynet;
using testing_support::FakeNovelSite;
using testing_support::FakeStory;
using testing_support::Fault;
using testing_support::SiteCharset;

namespace {

struct Progress {
    int done;
    int total;
    std::string name;  // UTF-8
};

// A whole-story download whose events land in inboxes.
struct WholeRun {
    WholeRun() : download(std::make_unique<TStoryDownLoad>()) {
        download->OnProgress = [this](TStoryDownLoad*, const AnsiString&, const AnsiString&,
                                      int done, int total, const AnsiString& name) {
            progress.Add({done, total, U(name)});
        };
        download->OnComplete = [this](TStoryDownLoad*, int code) { complete.Add(code); };
    }
    int WaitComplete() {
        EXPECT_TRUE(complete.WaitFor(1, 30s)) << "no OnComplete";
        const auto codes = complete.Items();
        return codes.empty() ? -1 : codes.front();
    }
    Inbox<Progress> progress;
    Inbox<int> complete;
    std::unique_ptr<TStoryDownLoad> download;
};

class StoryDownLoadTest : public StoryNetTest {
  protected:
    FakeStory Story(int chapters) {
        FakeNovelSite& site = AddSite(Options("gbk", SiteCharset::Gbk));
        site_ = &site;
        const FakeStory story = site.AddStory("十万章", "快笔", chapters, 2);
        StoreStory("gbk", story);
        return story;
    }
    std::vector<std::string> Cached(const FakeStory& story) {
        std::vector<std::string> ids;
        for (const auto* c : story.Chapters())
            if (IsPublishedPage(ChapterCacheFile("gbk", story.id, c->id))) ids.push_back(c->id);
        return ids;
    }
    size_t ChapterRequests(const FakeStory& story, const std::string& id) {
        return server_.RequestCount(site_->ChapterPath(story.id, id));
    }
    FakeNovelSite* site_ = nullptr;
};

TEST_F(StoryDownLoadTest, FaultyChaptersAreRetriedReportedAndFetchedAgainByTheNextRun) {
    const FakeStory story = Story(30);
    const auto chapters = story.Chapters();
    const std::string dead = chapters[4]->id, flaky = chapters[6]->id, lost = chapters[8]->id;
    Fault always;
    always.status = 500;
    Fault threeBad;
    threeBad.failFirst = 3;
    threeBad.failStatus = 503;
    Fault fourBad;
    fourBad.failFirst = 4;  // resets, every try
    server_.SetFault(site_->ChapterPath(story.id, dead), always);
    server_.SetFault(site_->ChapterPath(story.id, flaky), threeBad);
    server_.SetFault(site_->ChapterPath(story.id, lost), fourBad);
    // Slow enough that all ten workers are busy at once.
    Fault slow;
    slow.delay = 30ms;
    server_.SetFault(site_->Prefix() + "/" + story.folder + "/*", slow);

    WholeRun run;
    run.download->Start("gbk", story.id, 1, 0);
    EXPECT_EQ(run.WaitComplete(), 2);  // the dead and the lost chapter
    EXPECT_EQ(run.download->Total(), 30);
    EXPECT_EQ(run.download->Done(), 30);
    EXPECT_EQ(ChapterRequests(story, dead), 4u);
    EXPECT_EQ(ChapterRequests(story, flaky), 4u);
    EXPECT_EQ(ChapterRequests(story, lost), 4u);
    EXPECT_EQ(ChapterRequests(story, chapters[0]->id), 1u);
    EXPECT_LE(server_.PeakInFlight(), TStoryDownLoad::kWorkers);
    EXPECT_GE(server_.PeakInFlight(), 2);
    EXPECT_EQ(Cached(story).size(), 28u);
    EXPECT_FALSE(fs::exists(ChapterCacheFile("gbk", story.id, dead)));
    // Each page carries its own chapter's heading and the story's author,
    // though the ten workers took them from one read of the story.
    for (const auto* c : chapters) {
        if (c->id == dead || c->id == lost) continue;
        std::ifstream in(ChapterCacheFile("gbk", story.id, c->id), std::ios::binary);
        const std::string page((std::istreambuf_iterator<char>(in)), {});
        EXPECT_NE(page.find("ChapterName=<[" + platform::Utf8ToAnsi(c->name) + "]>"),
                  std::string::npos)
            << c->id;
        EXPECT_NE(page.find("Author=<[" + platform::Utf8ToAnsi("快笔") + "]>"), std::string::npos)
            << c->id;
    }
    const auto steps = run.progress.Items();
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps.back().done, 30);
    for (size_t i = 1; i < steps.size(); ++i) EXPECT_GE(steps[i].done, steps[i - 1].done);

    // The second run fetches only what failed.
    server_.ClearFaults();
    server_.ClearLog();
    WholeRun again;
    again.download->Start("gbk", story.id, 1, 0);
    EXPECT_EQ(again.WaitComplete(), 0);
    EXPECT_EQ(again.download->Total(), 2);
    EXPECT_EQ(server_.Requests().size(), 2u);
    EXPECT_EQ(ChapterRequests(story, dead), 1u);
    EXPECT_EQ(ChapterRequests(story, lost), 1u);
    EXPECT_EQ(Cached(story).size(), 30u);
}

// The queue is built off the caller's thread (a window that starts a long
// story never waits for its folder to be read): a story whose chapters are
// all cached completes without a request, from the run's own thread.
TEST_F(StoryDownLoadTest, AllCachedCompletesWithoutRequestsOffTheCallersThread) {
    const FakeStory story = Story(6);
    WholeRun first;
    first.download->Start("gbk", story.id, 1, 0);
    ASSERT_EQ(first.WaitComplete(), 0);
    server_.ClearLog();
    WholeRun second;
    Inbox<std::thread::id> completedOn;
    second.download->OnComplete = [&](TStoryDownLoad*, int code) {
        completedOn.Add(std::this_thread::get_id());
        second.complete.Add(code);
    };
    second.download->Start("gbk", story.id, 1, 0);
    EXPECT_TRUE(second.download->Running() || second.complete.Size() == 1u);
    EXPECT_EQ(second.WaitComplete(), 0);
    ASSERT_TRUE(completedOn.WaitFor(1));
    EXPECT_NE(completedOn.Items().front(), std::this_thread::get_id());
    EXPECT_TRUE(server_.Requests().empty());
    EXPECT_FALSE(second.download->Running());
    EXPECT_EQ(second.download->Total(), 0);
}

TEST_F(StoryDownLoadTest, StartIndexLeavesOutTheEarlierChapters) {
    const FakeStory story = Story(12);
    WholeRun run;
    run.download->Start("gbk", story.id, 1, 5);
    EXPECT_EQ(run.WaitComplete(), 0);
    EXPECT_EQ(run.download->Total(), 7);
    const auto steps = run.progress.Items();
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps.front().name, story.Chapters()[5]->name);
    EXPECT_EQ(steps.front().total, 7);
    const auto cached = Cached(story);
    ASSERT_EQ(cached.size(), 7u);
    EXPECT_EQ(cached.front(), story.Chapters()[5]->id);
}

TEST_F(StoryDownLoadTest, AFileWithoutThePublishedMarkerIsFetchedAgain) {
    const FakeStory story = Story(3);
    const std::string id = story.Chapters()[1]->id;
    const std::string file = ChapterCacheFile("gbk", story.id, id);
    fs::create_directories(fs::path(file).parent_path());
    std::ofstream(file) << "cut short";
    WholeRun run;
    run.download->Start("gbk", story.id, 1, 0);
    EXPECT_EQ(run.WaitComplete(), 0);
    EXPECT_EQ(run.download->Total(), 3);
    EXPECT_TRUE(IsPublishedPage(file));
}

TEST_F(StoryDownLoadTest, ThreeMissingChaptersKeepSevenWorkersIdle) {
    const FakeStory story = Story(3);
    WholeRun run;
    run.download->Start("gbk", story.id, 1, 0);
    EXPECT_EQ(run.WaitComplete(), 0);
    EXPECT_EQ(server_.Requests().size(), 3u);
    // Three hand-outs, three chapters done, one completion.
    const auto steps = run.progress.Items();
    EXPECT_EQ(steps.size(), 6u);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(run.complete.Size(), 1u);
}

TEST_F(StoryDownLoadTest, FreedMidRunNoEventFollows) {
    const FakeStory story = Story(60);
    Fault slow;
    slow.delay = 40ms;
    server_.SetFault(site_->Prefix() + "/" + story.folder + "/*", slow);
    std::atomic<int> events{0};
    std::atomic<bool> freed{false};
    std::atomic<int> late{0};
    auto download = std::make_unique<TStoryDownLoad>();
    download->OnProgress = [&](TStoryDownLoad*, const AnsiString&, const AnsiString&, int, int,
                               const AnsiString&) {
        ++events;
        if (freed) ++late;
    };
    download->OnComplete = [&](TStoryDownLoad*, int) {
        if (freed) ++late;
    };
    download->Start("gbk", story.id, 1, 0);
    ASSERT_TRUE(server_.WaitForRequests(15, 10s));
    download.reset();
    freed = true;
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(late, 0);
    EXPECT_GT(events, 0);
}

TEST_F(StoryDownLoadTest, FreedFromItsOwnCompletion) {
    const FakeStory story = Story(4);
    Inbox<int> done;
    auto download = std::make_unique<TStoryDownLoad>();
    download->OnComplete = [&](TStoryDownLoad*, int code) {
        download.reset();  // the owner lets go as soon as the run ends
        done.Add(code);
    };
    download->Start("gbk", story.id, 1, 0);
    ASSERT_TRUE(done.WaitFor(1));
    EXPECT_EQ(done.Items().front(), 0);
}

// The owner lets go from a progress event while the other workers are busy:
// no hang, nothing of the freed object is touched, and no event follows.
TEST_F(StoryDownLoadTest, FreedFromItsOwnProgressMidRun) {
    const FakeStory story = Story(60);
    Fault slow;
    slow.delay = 20ms;
    server_.SetFault(site_->Prefix() + "/" + story.folder + "/*", slow);
    Inbox<int> freed;
    std::atomic<int> late{0};
    auto download = std::make_unique<TStoryDownLoad>();
    download->OnProgress = [&](TStoryDownLoad*, const AnsiString&, const AnsiString&, int done, int,
                               const AnsiString& name) {
        if (freed.Size() > 0) ++late;
        if (done < 5 || !name.empty() || !download) return;
        download.reset();
        freed.Add(done);
    };
    download->OnComplete = [&](TStoryDownLoad*, int) { ++late; };
    download->Start("gbk", story.id, 1, 0);
    ASSERT_TRUE(freed.WaitFor(1, 10s)) << "freeing from the event hung";
    EXPECT_TRUE(TWinHTTPThread::WaitUntilNoneRunning(10s));
    EXPECT_EQ(late, 0);
}

TEST_F(StoryDownLoadTest, TextModeLeavesPicturedChaptersOutAndSaysSo) {
    FakeNovelSite& site = AddSite(Options("pic", SiteCharset::Utf8));
    const FakeStory story = site.AddStory("图", "某", 6, 1, 3);  // chapters 3 and 6 have pictures
    StoreStory("pic", story);
    WholeRun run;
    run.download->Start("pic", story.id, 2, 0);
    EXPECT_EQ(run.WaitComplete(), 2);
}

// The other program holds the database past the busy time-out while the run
// reads the chapter list: that is no story without missing chapters, and the
// run says so instead of reporting the story complete.
TEST_F(StoryDownLoadTest, ChapterListThatCannotBeReadIsReportedAsSuch) {
    const FakeStory story = Story(5);
    SetStoryDB(std::make_unique<TStoryDB>(dbPath_, 50));
    auto other = SqliteDB::Open(dbPath_, SqliteDB::Mode::ReadWrite, 50);
    ASSERT_TRUE(other && other->Execute("BEGIN EXCLUSIVE"));
    WholeRun run;
    run.download->Start("gbk", story.id, 1, 0);
    EXPECT_EQ(run.WaitComplete(), TStoryDownLoad::kListUnreadable);
    EXPECT_TRUE(run.download->ListUnreadable());
    EXPECT_TRUE(server_.Requests().empty());
    ASSERT_TRUE(other->Execute("COMMIT"));

    WholeRun again;
    again.download->Start("gbk", story.id, 1, 0);
    EXPECT_EQ(again.WaitComplete(), 0);
    EXPECT_EQ(Cached(story).size(), 5u);
}

}  // namespace
