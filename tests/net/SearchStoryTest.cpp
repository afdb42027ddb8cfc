#include "net/SearchStory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "core/DBCreater.h"
#include "core/StoryDB.h"
#include "net/SearchStoryManager.h"
#include "platform/Charset.h"
#include "tests/support/FakeNovelSite.h"
#include "tests/support/TempTree.h"

namespace {

using namespace std::chrono_literals;
using testing_support::FakeHttpServer;
using testing_support::FakeNovelSite;
using testing_support::FakeSiteOptions;
using testing_support::Fault;
using testing_support::SiteCharset;

AnsiString Gbk(std::string_view utf8) {
    return platform::Utf8ToAnsi(utf8);
}
std::string Utf8(std::string_view gbk) {
    return platform::AnsiToUtf8(gbk);
}

// What one search reported, in order, and a bounded wait for its end.
class Recorder {
  public:
    void Found(const SearchResultFields& f) {
        std::lock_guard lock(mutex_);
        found_.push_back(f);
        log_.push_back("found " + Utf8(f.StoryName));
    }
    void Done(std::string what) {
        {
            std::lock_guard lock(mutex_);
            log_.push_back(std::move(what));
            ++done_;
        }
        changed_.notify_all();
    }
    bool WaitDone(int count = 1, std::chrono::milliseconds timeout = 5s) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return done_ >= count; });
    }
    std::vector<SearchResultFields> Found() {
        std::lock_guard lock(mutex_);
        return found_;
    }
    std::vector<std::string> Log() {
        std::lock_guard lock(mutex_);
        return log_;
    }
    int DoneCount() {
        std::lock_guard lock(mutex_);
        return done_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<SearchResultFields> found_;
    std::vector<std::string> log_;
    int done_ = 0;
};

class SiteSearch : public testing::Test {
  protected:
    SiteSearch()
        : gbk(server,
              FakeSiteOptions{
                  .siteID = "gbk", .siteName = "国标书站", .charset = SiteCharset::Gbk}),
          utf8(server,
               FakeSiteOptions{
                   .siteID = "utf8", .siteName = "万国书站", .charset = SiteCharset::Utf8}) {
        for (auto* site : {&gbk, &utf8}) {
            site->AddStory("中原剑客", "李青", 12, 3);
            site->AddStory("剑客中行", "王五", 5);
            site->AddStory("刀&剑<中>", "李青山", 3);
            site->AddStory("风云变幻", "赵六", 8, 2);
        }
    }
    void TearDown() override { EXPECT_TRUE(TWinHTTPThread::WaitUntilNoneRunning(5s)); }

    void Bind(TSearchStory& site) {
        site.Assign(SiteRow(site.SiteID == "utf8" ? utf8 : gbk).ToSearchSiteData());
        site.OnFound = [this](const SearchResultFields& f) { recorder.Found(f); };
        site.OnDone = [this](TSearchStory*, uint64_t g) {
            recorder.Done("done " + std::to_string(g));
        };
    }
    static testing_support::FakeSiteRow SiteRow(const FakeNovelSite& site) { return site.Row(); }

    FakeHttpServer server;
    FakeNovelSite gbk;
    FakeNovelSite utf8;
    Recorder recorder;
};

TEST_F(SiteSearch, KeywordBytesFollowTheSiteCodePage) {
    struct Case {
        const char* codePage;
        const char* keyword;
        const char* expected;
    };
    TSearchStory site;
    site.SearchURL = "http://h/s?t={SearchType}&k=%s";
    site.SearchTypeStoryValue = "name";
    site.SearchTypeAuthorValue = "author";
    for (const Case& c : {Case{"gbk", "中", "http://h/s?t=name&k=%D6%D0"},
                          Case{"UTF-8", "中", "http://h/s?t=name&k=%E4%B8%AD"},
                          Case{"utf-8", "中 原", "http://h/s?t=name&k=%E4%B8%AD+%E5%8E%9F"},
                          Case{"", "中 原", "http://h/s?t=name&k=%D6%D0+%D4%AD"},
                          Case{"utf8", "中", "http://h/s?t=name&k=%D6%D0"},
                          Case{"gbk", "a+b&c", "http://h/s?t=name&k=a%2Bb%26c"}}) {
        site.CodePage = c.codePage;
        EXPECT_EQ(site.SearchURLFor(Gbk(c.keyword), false), c.expected)
            << c.codePage << " " << c.keyword;
    }
}

TEST_F(SiteSearch, TemplateIsFilledLikeAFormatWithOneText) {
    struct Case {
        const char* templ;
        bool byAuthor;
        const char* expected;
    };
    TSearchStory site;
    site.SearchTypeStoryValue = "1";
    site.SearchTypeAuthorValue = "2";
    for (const Case& c :
         {Case{"http://h/?type={searchtype}&key=%s", false, "http://h/?type=1&key=kw"},
          Case{"http://h/?type={SEARCHTYPE}&key=%s", true, "http://h/?type=2&key=kw"},
          Case{"http://h/{SearchType}/{SearchType}/%s", true, "http://h/2/2/kw"},
          Case{"http://h/?q=%s&p=100%%", false, "http://h/?q=kw&p=100%"},
          Case{"http://h/?q=%5s", false, "http://h/?q=   kw"},
          Case{"http://h/?q=%.1s", false, "http://h/?q=k"},
          // Directives that one text cannot satisfy leave the template as it is.
          Case{"http://h/?q=%s&n=%d", false, "http://h/?q=%s&n=%d"},
          Case{"http://h/?a=%s&b=%s", false, "http://h/?a=%s&b=%s"},
          Case{"http://h/?q=%20%s", false, "http://h/?q=%20%s"},
          Case{"http://h/?q=", false, "http://h/?q="},
          Case{"http://h/?q=%", false, "http://h/?q=%"},
          // A rule cannot make the address gigabytes long, nor overflow its digits.
          Case{"http://h/?q=%2000000000s", false, "http://h/?q=%2000000000s"},
          Case{"http://h/?q=%99999999999999999999.2s", false,
               "http://h/?q=%99999999999999999999.2s"},
          Case{"http://h/?q=%.99999999999999999999s", false, "http://h/?q=kw"}}) {
        site.SearchURL = c.templ;
        EXPECT_EQ(site.SearchURLFor("kw", c.byAuthor), c.expected) << c.templ;
    }
}

TEST_F(SiteSearch, ResultListsAreReportedInPageOrderForBothCharsets) {
    for (auto* fake : {&gbk, &utf8}) {
        server.ClearLog();
        Recorder r;
        TSearchStory site;
        site.Assign(fake->Row().ToSearchSiteData());
        site.UserAgent = "search-agent";
        site.Tag = 7;
        site.OnFound = [&](const SearchResultFields& f) { r.Found(f); };
        site.OnDone = [&](TSearchStory* s, uint64_t g) {
            EXPECT_EQ(s, &site);
            r.Done("done " + std::to_string(g));
        };
        site.Search(Gbk("中"), false, 42);
        ASSERT_TRUE(r.WaitDone());
        const auto request = server.RequestsTo(fake->SearchPath()).at(0);
        EXPECT_EQ(request.query,
                  fake == &gbk ? "type=articlename&key=%D6%D0" : "type=articlename&key=%E4%B8%AD");
        EXPECT_EQ(request.Header("User-Agent"), "search-agent");
        EXPECT_FALSE(request.HasHeader("Referer"));
        const auto found = r.Found();
        ASSERT_EQ(found.size(), 3u);
        const auto stories = fake->Stories();
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(Utf8(found[i].StoryName), stories[i].title);
            EXPECT_EQ(found[i].ArticleID, stories[i].id);
            EXPECT_EQ(Utf8(found[i].Author), stories[i].author);
            EXPECT_EQ(Utf8(found[i].LastChapter), stories[i].LastChapter()->name);
            EXPECT_EQ(Utf8(found[i].SiteName), fake->Options().siteName);
            EXPECT_EQ(found[i].SiteID, fake->Options().siteID);
            EXPECT_EQ(found[i].Tag, "7");
            EXPECT_EQ(found[i].Generation, 42u);
            EXPECT_EQ(found[i].Sender, &site);
        }
        EXPECT_EQ(r.Log().back(), "done 42") << "OnDone comes last";
    }
}

TEST_F(SiteSearch, SingleHitRedirectReadsTheStoryPageAndNoHitGivesOneEmptyResult) {
    TSearchStory site;
    site.SiteID = "utf8";
    Bind(site);
    site.Search(Gbk("风云"), false);
    ASSERT_TRUE(recorder.WaitDone(1));
    site.Search(Gbk("赵六"), true);  // the author search, also a single hit
    ASSERT_TRUE(recorder.WaitDone(2));
    site.Search(Gbk("没有这本书"), false);
    ASSERT_TRUE(recorder.WaitDone(3));
    const auto found = recorder.Found();
    ASSERT_EQ(found.size(), 3u);
    const auto story = utf8.Stories()[3];
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(Utf8(found[i].StoryName), story.title);
        EXPECT_EQ(Utf8(found[i].Author), story.author);
        EXPECT_EQ(found[i].ArticleID, story.id);
        EXPECT_EQ(Utf8(found[i].LastChapter), story.LastChapter()->name);
    }
    EXPECT_EQ(server.RequestsTo(utf8.SearchPath()).at(1).query,
              "type=author&key=%E8%B5%B5%E5%85%AD");
    EXPECT_EQ(found[2].StoryName, "");
    EXPECT_EQ(found[2].ArticleID, "");
    EXPECT_EQ(found[2].Author, "");
}

TEST_F(SiteSearch, FailuresBringNoResultsAndOneDone) {
    TSearchStory site;
    site.SiteID = "gbk";
    Bind(site);
    server.SetFault(gbk.SearchPath(), Fault{.failFirst = 1});
    site.Search(Gbk("中"), false);
    ASSERT_TRUE(recorder.WaitDone(1));
    // A rule that does not compile fails the site; the next search still ends.
    site.ArticleName = "(unclosed";
    site.Search(Gbk("中"), false);
    ASSERT_TRUE(recorder.WaitDone(2));
    // No search URL: done at once, no request.
    site.SearchURL.clear();
    const auto requests = server.Requests().size();
    site.Search(Gbk("中"), false);
    EXPECT_EQ(recorder.DoneCount(), 3);
    EXPECT_EQ(server.Requests().size(), requests);
    EXPECT_TRUE(recorder.Found().empty());
}

TEST_F(SiteSearch, EmptySectionRuleReadsThePageAsOneStory) {
    TSearchStory site;
    site.SiteID = "gbk";
    Bind(site);
    site.ArticleItemSection.clear();
    const auto results = site.ParseResults(gbk.StoryPage(gbk.Stories()[0]));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].ArticleID, gbk.Stories()[0].id);
}

TEST_F(SiteSearch, StopAndNewSearchSilenceTheOldOne) {
    TSearchStory site;
    site.SiteID = "gbk";
    Bind(site);
    server.SetFault(gbk.SearchPath(), Fault{.delay = 100ms});
    site.Search(Gbk("中"), false, 1);
    site.Stop();
    site.Search(Gbk("剑客"), false, 2);
    site.Search(Gbk("风云"), false, 3);
    ASSERT_TRUE(recorder.WaitDone(1));
    EXPECT_TRUE(TWinHTTPThread::WaitUntilNoneRunning(5s));
    EXPECT_EQ(recorder.Log(), (std::vector<std::string>{"found 风云变幻", "done 3"}));
}

class SearchManager : public SiteSearch {
  protected:
    std::vector<TSearchSiteData> Sites(std::initializer_list<const FakeNovelSite*> sites) {
        std::vector<TSearchSiteData> out;
        for (const auto* s : sites) out.push_back(s->Row().ToSearchSiteData());
        return out;
    }
    void Bind(TSearchStoryManager& manager) {
        manager.OnFound = [this](const SearchResultFields& f) { recorder.Found(f); };
        manager.OnAllDone = [this](TSearchStoryManager* m) {
            recorder.Done("all done " + std::to_string(m->Generation()));
        };
    }
};

TEST_F(SearchManager, ZeroSitesEndAtOnce) {
    TSearchStoryManager manager(std::vector<TSearchSiteData>{});
    Bind(manager);
    manager.Search(Gbk("中"), false);
    EXPECT_EQ(recorder.DoneCount(), 1) << "OnAllDone before Search returns";
    EXPECT_EQ(Utf8(manager.Keyword()), "中");
}

TEST_F(SearchManager, AllSitesAtOnceAndOneEndAfterTheLast) {
    FakeNovelSite broken(server, FakeSiteOptions{.siteID = "broken"});
    broken.AddStory("中原剑客", "李青", 3);
    // Long enough that all three are in flight together even on a busy machine.
    for (const auto* s : {&gbk, &utf8}) server.SetFault(s->SearchPath(), Fault{.delay = 600ms});
    server.SetFault(broken.SearchPath(), Fault{.delay = 600ms, .failFirst = 1, .failStatus = 0});
    TSearchStoryManager manager(Sites({&gbk, &broken, &utf8}));
    ASSERT_EQ(manager.Sites().size(), 3u);
    EXPECT_EQ(manager.Sites()[0]->UserAgent, TSearchStoryManager::kSearchUserAgent);
    Bind(manager);
    manager.Search(Gbk("中"), false);
    ASSERT_TRUE(recorder.WaitDone(1));
    EXPECT_TRUE(TWinHTTPThread::WaitUntilNoneRunning(5s));
    EXPECT_EQ(server.PeakInFlight(), 3) << "one request per site at the same moment";
    const auto log = recorder.Log();
    ASSERT_EQ(log.size(), 7u);
    EXPECT_EQ(log.back(), "all done 1");
    EXPECT_EQ(recorder.DoneCount(), 1);
    for (const auto& f : recorder.Found()) EXPECT_NE(f.SiteID, "broken");
}

TEST_F(SearchManager, HangingSiteEndsByItsTimeOutAndTheSearchStillEnds) {
    FakeNovelSite hanging(server, FakeSiteOptions{.siteID = "hang"});
    server.SetFault(hanging.SearchPath(), Fault{.hang = true});
    TSearchStoryManager manager(Sites({&hanging, &gbk}));
    manager.Sites()[0]->Request().Timeouts.Receive = 300;
    Bind(manager);
    const auto start = std::chrono::steady_clock::now();
    manager.Search(Gbk("剑客"), false);
    ASSERT_TRUE(recorder.WaitDone(1));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_EQ(recorder.Found().size(), 2u);
}

TEST_F(SearchManager, StopAndSupersedeDropLateEvents) {
    for (const auto* s : {&gbk, &utf8}) server.SetFault(s->SearchPath(), Fault{.delay = 80ms});
    TSearchStoryManager manager(Sites({&gbk, &utf8}));
    Bind(manager);
    manager.Search(Gbk("中"), false);
    manager.Stop();
    EXPECT_TRUE(TWinHTTPThread::WaitUntilNoneRunning(5s));
    EXPECT_TRUE(recorder.Log().empty());

    manager.Search(Gbk("中"), false);  // generation 2, abandoned by 3
    manager.Search(Gbk("风云"), false);
    ASSERT_TRUE(recorder.WaitDone(1));
    EXPECT_TRUE(TWinHTTPThread::WaitUntilNoneRunning(5s));
    EXPECT_EQ(recorder.DoneCount(), 1);
    ASSERT_EQ(recorder.Found().size(), 2u);
    for (const auto& f : recorder.Found()) {
        EXPECT_EQ(f.Generation, 3u);
        EXPECT_EQ(Utf8(f.StoryName), "风云变幻");
    }
    EXPECT_EQ(Utf8(manager.Keyword()), "风云");
}

TEST_F(SearchManager, BadRuleAndEmptyTemplateSitesStillEndTheSearch) {
    auto rows = Sites({&gbk, &utf8});
    rows[0].ArticleItemSection = "([unclosed";
    rows[1].SiteSearchURL.clear();
    TSearchStoryManager manager(rows);
    Bind(manager);
    manager.Search(Gbk("中"), false);
    ASSERT_TRUE(recorder.WaitDone(1));
    EXPECT_TRUE(recorder.Found().empty());
}

TEST_F(SearchManager, RapidSearchesEndEachAtMostOnceAndTheLastExactlyOnce) {
    FakeNovelSite third(server, FakeSiteOptions{.siteID = "third", .charset = SiteCharset::Utf8});
    third.AddStory("中原剑客", "李青", 2);
    server.SetFault(gbk.SearchPath(), Fault{.delay = 3ms});
    server.SetFault(third.SearchPath(), Fault{.delay = 7ms});
    TSearchStoryManager manager(Sites({&gbk, &utf8, &third}));
    std::mutex mutex;
    std::map<uint64_t, int> ends;
    manager.OnAllDone = [&](TSearchStoryManager* m) {
        std::lock_guard lock(mutex);
        ++ends[m->Generation()];
    };
    manager.OnFound = [&](const SearchResultFields& f) {
        std::lock_guard lock(mutex);
        EXPECT_GE(f.Generation, 1u);
    };
    for (int i = 0; i < 30; ++i) {
        manager.Search(Gbk(i % 2 ? "中" : "剑客"), false);
        if (i % 5 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(i % 11));
    }
    EXPECT_TRUE(TWinHTTPThread::WaitUntilNoneRunning(10s));
    std::lock_guard lock(mutex);
    for (const auto& [generation, count] : ends) EXPECT_EQ(count, 1) << generation;
    EXPECT_EQ(ends.count(manager.Generation()), 1u);
}

TEST_F(SearchManager, SitesComeFromTheStoryDatabase) {
    testing_support::TempTree tree;
    const std::string path = tree.Write("idata.dll", "");  // an empty SQLite file
    ASSERT_TRUE(TDBCreater().CheckDatabase(path, tree.Path("no-shipped-database")));
    TStoryDB db(path);
    for (const auto* site : {&utf8, &gbk}) {
        const auto row = site->Row().ToSiteItemData();
        ASSERT_TRUE(db.SaveSite(row.SiteID, row));
    }
    TSearchStoryManager manager(db);
    ASSERT_EQ(manager.Sites().size(), 2u);
    EXPECT_EQ(manager.Sites()[0]->SiteID, "utf8");
    EXPECT_EQ(manager.Sites()[1]->CodePage, "gbk");
    Bind(manager);
    manager.Search(Gbk("剑客"), false);
    ASSERT_TRUE(recorder.WaitDone(1));
    EXPECT_EQ(recorder.Found().size(), 4u);
    EXPECT_EQ(server.RequestsTo(utf8.SearchPath()).at(0).QueryParam("key"), "%E5%89%91%E5%AE%A2");
    EXPECT_EQ(server.RequestsTo(gbk.SearchPath()).at(0).QueryParam("key"), "%BD%A3%BF%CD");
}

TEST(SearchQuery, TitlePlusAuthorSplitsAndFilters) {
    struct Case {
        const char* text;
        const char* keyword;
        const char* filter;
        bool active;
    };
    for (const Case& c :
         {Case{"  中原剑客  ", "中原剑客", "", false},
          Case{"中原剑客 + 李青 ", "中原剑客", "李青", true},
          Case{"中原剑客+", "中原剑客+", "", false}, Case{"中原剑客+  ", "中原剑客+", "", false},
          Case{"+李青", "", "李青", true}, Case{"a+b+c", "a", "b+c", true}}) {
        const auto q = SplitSearchText(Gbk(c.text));
        EXPECT_EQ(Utf8(q.Keyword), c.keyword) << c.text;
        EXPECT_EQ(Utf8(q.AuthorFilter), c.filter) << c.text;
        EXPECT_EQ(q.FilterActive, c.active) << c.text;
    }
}

TEST_F(SearchManager, TitlePlusAuthorKeepsOnlyThatAuthorsResults) {
    TSearchStoryManager manager(Sites({&gbk, &utf8}));
    const auto query = SplitSearchText(Gbk("中+李青"));
    std::mutex mutex;
    std::vector<std::string> kept;
    manager.OnFound = [&](const SearchResultFields& f) {
        if (!AcceptSearchResult(query, f)) return;
        std::lock_guard lock(mutex);
        kept.push_back(f.SiteID + " " + Utf8(f.StoryName) + " " + Utf8(f.Author));
    };
    manager.OnAllDone = [&](TSearchStoryManager*) { recorder.Done("all"); };
    manager.Search(query.Keyword, false);
    ASSERT_TRUE(recorder.WaitDone(1));
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, (std::vector<std::string>{"gbk 中原剑客 李青", "gbk 刀&剑<中> 李青山",
                                              "utf8 中原剑客 李青", "utf8 刀&剑<中> 李青山"}));
    // A result without a story id never counts.
    SearchResultFields empty;
    EXPECT_FALSE(AcceptSearchResult(SplitSearchText("x"), empty));
}

}  // namespace
