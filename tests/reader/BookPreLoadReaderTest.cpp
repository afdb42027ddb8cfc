#include "reader/BookPreLoadReader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

#include "core/StoryExportHTML.h"
#include "core/TextHelpers.h"
#include "tests/net/StoryNetFixture.h"

using namespace storynet;
using testing_support::FakeNovelSite;
using testing_support::FakeStory;
using testing_support::Fault;
using testing_support::SiteCharset;

namespace {

Fault Delay(std::chrono::milliseconds delay) {
    Fault fault;
    fault.delay = delay;
    return fault;
}
Fault Status(int status) {
    Fault fault;
    fault.status = status;
    return fault;
}

class BookPreLoadReaderTest : public StoryNetTest {
  protected:
    template <typename Pred>
    static bool WaitUntil(Pred pred, std::chrono::milliseconds timeout = 20s) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (!pred()) {
            if (std::chrono::steady_clock::now() > end) return pred();
            std::this_thread::sleep_for(2ms);
        }
        return true;
    }
    static bool Published(const std::string& site, const FakeStory& story, const std::string& id) {
        return IsPublishedPage(ChapterCacheFile(site, story.id, id));
    }
};

TEST_F(BookPreLoadReaderTest, QueuesEachChapterOnceAndDropsAnotherSitesChapters) {
    TBookPreLoadReader preloader;
    preloader.Add("a", "1", "10");
    preloader.Add("a", "1", "10");
    preloader.Add("a", "2", "10");  // another story of the site stays beside it
    EXPECT_EQ(preloader.QueueSize(), 2u);
    preloader.Add("b", "1", "11");
    EXPECT_EQ(preloader.QueueSize(), 1u);
    EXPECT_TRUE(preloader.Idle());
}

TEST_F(BookPreLoadReaderTest, DownloadsTheQueueOneChapterAtATime) {
    FakeNovelSite& site = AddSite(Options("gbk", SiteCharset::Gbk));
    const FakeStory story = site.AddStory("长风万里", "云游子", 14);
    StoreStory("gbk", story);
    const auto chapters = story.Chapters();
    // Each chapter takes a moment, so that downloads would overlap if they could.
    for (const auto* c : chapters) server_.SetFault(site.ChapterPath(story.id, c->id), Delay(20ms));

    TBookPreLoadReader preloader;
    for (int i = 1; i <= 10; ++i) preloader.Add("gbk", story.id, chapters[i]->id);
    preloader.Start();
    preloader.Start();  // a running chain is not started twice
    EXPECT_FALSE(preloader.Idle());
    // Added while the chain runs: reached in order, without a new start.
    preloader.Add("gbk", story.id, "");  // dropped
    preloader.Add("gbk", story.id, chapters[11]->id);
    ASSERT_TRUE(WaitUntil([&] { return preloader.Idle(); }));
    for (int i = 1; i <= 11; ++i) EXPECT_TRUE(Published("gbk", story, chapters[i]->id)) << i;
    EXPECT_FALSE(Published("gbk", story, chapters[0]->id));
    EXPECT_EQ(server_.PeakInFlight(), 1);
    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 11u);
    for (int i = 1; i <= 11; ++i)
        EXPECT_EQ(requests[i - 1].path, site.ChapterPath(story.id, chapters[i]->id));

    // Idle again: the next start goes at once.
    preloader.Add("gbk", story.id, chapters[12]->id);
    preloader.Start();
    ASSERT_TRUE(WaitUntil([&] { return Published("gbk", story, chapters[12]->id); }));
    ASSERT_TRUE(WaitUntil([&] { return preloader.Idle(); }));
}

TEST_F(BookPreLoadReaderTest, AChapterThatFailsForGoodDoesNotStopTheChain) {
    FakeNovelSite& site = AddSite(Options("utf", SiteCharset::Utf8));
    const FakeStory story = site.AddStory("山海", "无名", 3);
    StoreStory("utf", story);
    const auto chapters = story.Chapters();
    server_.SetFault(site.ChapterPath(story.id, chapters[0]->id), Status(500));
    TBookPreLoadReader preloader;
    for (const auto* c : chapters) preloader.Add("utf", story.id, c->id);
    preloader.Start();
    ASSERT_TRUE(
        WaitUntil([&] { return preloader.Idle() && Published("utf", story, chapters[2]->id); }));
    EXPECT_FALSE(Published("utf", story, chapters[0]->id));
    EXPECT_TRUE(Published("utf", story, chapters[1]->id));
}

// Adds and starts from this thread race the chain's own steps on the
// download workers: no wake-up may be lost (an idle preloader with a queue
// left) and none doubled (two downloads at once).
TEST_F(BookPreLoadReaderTest, WakeUpsAreNeitherLostNorDoubled) {
    FakeNovelSite& site = AddSite(Options("gbk", SiteCharset::Gbk));
    const FakeStory story = site.AddStory("长风万里", "云游子", 8);
    StoreStory("gbk", story);
    const auto chapters = story.Chapters();
    TBookPreLoadReader preloader;
    std::mt19937 random(7);
    for (int round = 0; round < 60; ++round) {
        preloader.Add("gbk", story.id, chapters[random() % chapters.size()]->id);
        preloader.Start();
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
    }
    ASSERT_TRUE(WaitUntil([&] { return preloader.Idle(); }));
    EXPECT_EQ(preloader.QueueSize(), 0u);
    EXPECT_EQ(server_.PeakInFlight(), 1);
}

TEST_F(BookPreLoadReaderTest, FreedWhileADownloadRuns) {
    FakeNovelSite& site = AddSite(Options("gbk", SiteCharset::Gbk));
    const FakeStory story = site.AddStory("长风万里", "云游子", 3);
    StoreStory("gbk", story);
    const auto chapters = story.Chapters();
    server_.SetFault(site.ChapterPath(story.id, chapters[0]->id), Delay(300ms));
    {
        TBookPreLoadReader preloader;
        for (const auto* c : chapters) preloader.Add("gbk", story.id, c->id);
        preloader.Start();
        ASSERT_TRUE(server_.WaitForRequests(1, 10s));
    }
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(server_.Requests().size(), 1u) << "nothing goes on after the preloader";
    EXPECT_FALSE(Published("gbk", story, chapters[0]->id));
}

}  // namespace
