#include "net/StoryConcern.h"

#include <gtest/gtest.h>

#include "StoryNetFixture.h"
#include "core/SqliteDB.h"
#include "core/StoryExportHTML.h"

using namespace storynet;
using testing_support::FakeNovelSite;
using testing_support::FakeStory;
using testing_support::Fault;
using testing_support::SiteCharset;

namespace {

class StoryConcernTest : public StoryNetTest {
  protected:
    void Follow(const std::string& siteID, const FakeStory& story, const std::string& stored) {
        StoryDB()->AddArticle(siteID, story.id, A(story.title), A(story.author), "", A(stored), "",
                              -1, story.folder);
        StoryDB()->SetFollowed(siteID, story.id, true);
        StoryDB()->SetHaveUpdate(siteID, story.id, false);
    }
    std::string Latest(const std::string& siteID, const std::string& id) {
        AnsiString title, author, last;
        StoryDB()->GetArticleSummary(siteID, id, title, author, last);
        return U(last);
    }
    bool HaveUpdate(const std::string& siteID, const std::string& id) {
        std::vector<TBookListData> list;
        StoryDB()->GetFollowed(list, 100);
        for (const auto& b : list)
            if (b.SiteID == siteID && b.ArticleID == id) return b.HaveUpdate;
        ADD_FAILURE() << "not followed: " << id;
        return false;
    }
    std::string UpdateTime(const std::string& siteID, const std::string& id) {
        std::vector<TBookListData> list;
        StoryDB()->GetFollowed(list, 100);
        for (const auto& b : list)
            if (b.SiteID == siteID && b.ArticleID == id) return b.UpdateTime;
        return "";
    }
};

struct Check {
    Check() : concern(std::make_unique<TStoryConcern>()) {
        concern->OnUpdate = [this](TStoryConcern*, const AnsiString& site, const AnsiString& id) {
            updates.Add(site + "/" + id);
        };
        concern->OnComplete = [this](TStoryConcern*) {
            concern.reset();  // each check is freed as soon as it ends
            complete.Add(1);
        };
    }
    Inbox<std::string> updates;
    Inbox<int> complete;
    std::unique_ptr<TStoryConcern> concern;
};

TEST_F(StoryConcernTest, ChangedUnchangedFailingAndListOnlyStories) {
    FakeNovelSite& site = AddSite(Options("gbk", SiteCharset::Gbk));
    const FakeStory unchanged = site.AddStory("旧书", "甲", 5, 1);
    const FakeStory changed = site.AddStory("新书", "乙", 6, 1);
    const FakeStory failing = site.AddStory("坏书", "丙", 4, 1);
    Follow("gbk", unchanged, unchanged.LastChapter()->name);
    Follow("gbk", changed, "第一章 旧的");
    Follow("gbk", failing, "坏书旧章");
    Fault broken;
    broken.status = 500;
    server_.SetFault(site.StoryPath(failing.id), broken);

    // A second site whose story page gives no latest chapter: the last name
    // of its chapter list, on a page of its own, counts.
    auto options = Options("nolast", SiteCharset::Utf8);
    FakeNovelSite& listOnly = AddSite(options);
    auto row = listOnly.Row().ToSiteItemData();
    row.ArticleLastInfo2 = "<p class=\"nothing-here\">(.*?)</p>";
    ASSERT_TRUE(StoryDB()->SaveSite("nolast", row));
    const FakeStory viaList = listOnly.AddStory("列表书", "丁", 7, 2);
    Follow("nolast", viaList, "");

    {
        // An old check time, so that the refresh shows.
        auto raw = SqliteDB::Open(dbPath_, SqliteDB::Mode::ReadWrite, 5000);
        ASSERT_TRUE(raw);
        ASSERT_TRUE(raw->Execute("update Article set UpdateTime='2001-01-01 00:00:00'"));
    }
    const std::string before = UpdateTime("gbk", unchanged.id);
    ASSERT_EQ(before, "2001-01-01 00:00:00");
    Check check;
    check.concern->Start();
    ASSERT_TRUE(check.complete.WaitFor(1));
    auto updates = check.updates.Items();
    std::sort(updates.begin(), updates.end());
    EXPECT_EQ(updates, (std::vector<std::string>{"gbk/" + changed.id, "nolast/" + viaList.id}));

    EXPECT_EQ(Latest("gbk", changed.id), changed.LastChapter()->name);
    EXPECT_TRUE(HaveUpdate("gbk", changed.id));
    EXPECT_FALSE(HaveUpdate("gbk", unchanged.id));
    EXPECT_NE(UpdateTime("gbk", unchanged.id), before);
    EXPECT_EQ(Latest("gbk", failing.id), "坏书旧章");
    EXPECT_FALSE(HaveUpdate("gbk", failing.id));
    EXPECT_EQ(server_.RequestCount(site.StoryPath(failing.id)), 4u);
    EXPECT_EQ(Latest("nolast", viaList.id), viaList.LastChapter()->name);
    EXPECT_EQ(server_.RequestCount(listOnly.StoryPath(viaList.id)), 1u);
    EXPECT_EQ(server_.RequestCount(listOnly.ChapterListPath(viaList.id)), 1u);
}

TEST_F(StoryConcernTest, AnEmptyLatestTextKeepsTheStoredOne) {
    FakeNovelSite& site = AddSite(Options("bare", SiteCharset::Gbk));
    auto row = site.Row().ToSiteItemData();
    // Neither the story page nor the chapter list yields a latest chapter today.
    row.ArticleLastInfo2 = "<p class=\"nothing-here\">(.*?)</p>";
    row.ArticleChapterNameID = "<li class=\"nothing-here\">.*?</li>";
    ASSERT_TRUE(StoryDB()->SaveSite("bare", row));
    const FakeStory story = site.AddStory("空白", "戊", 3, 1);
    Follow("bare", story, "第三章 原来的");

    for (int pass = 0; pass < 2; ++pass) {
        Check check;
        check.concern->Start();
        ASSERT_TRUE(check.complete.WaitFor(1));
        EXPECT_EQ(check.updates.Size(), 0u) << "pass " << pass;
        EXPECT_EQ(Latest("bare", story.id), "第三章 原来的");
        EXPECT_FALSE(HaveUpdate("bare", story.id));
    }
}

TEST_F(StoryConcernTest, NoFollowedStoryCompletesAtOnce) {
    AddSite(Options("gbk", SiteCharset::Gbk)).AddStory("无人关注", "己", 2, 1);
    Check check;
    check.concern->Start();
    EXPECT_EQ(check.complete.Size(), 1u);  // inside Start
    EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(StoryConcernTest, FreedMidCheckStops) {
    FakeNovelSite& site = AddSite(Options("gbk", SiteCharset::Gbk));
    for (int i = 0; i < 3; ++i)
        Follow("gbk", site.AddStory("慢" + std::to_string(i), "庚", 2, 1), "x");
    Fault slow;
    slow.delay = 200ms;
    server_.SetFault(site.Prefix() + "/book/*", slow);
    std::atomic<int> events{0};
    auto concern = std::make_unique<TStoryConcern>();
    concern->OnUpdate = [&](TStoryConcern*, const AnsiString&, const AnsiString&) { ++events; };
    concern->OnComplete = [&](TStoryConcern*) { ++events; };
    concern->Start();
    ASSERT_TRUE(server_.WaitForRequests(1, 5s));
    concern.reset();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(events, 0);
    EXPECT_EQ(server_.Requests().size(), 1u);
}

}  // namespace
