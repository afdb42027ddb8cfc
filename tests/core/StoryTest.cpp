#include "core/Story.h"

#include <gtest/gtest.h>

#include "StoryTestSupport.h"
#include "core/Regex.h"
#include "core/StoryDB.h"
#include "core/TextHelpers.h"

using storytest::A;
using storytest::Fixture;
using storytest::TempDir;

// Readable failure output for chapter entries.
void PrintTo(const TArticleVolumnChapterData& d, std::ostream* os) {
    *os << "{" << storytest::U(d.VolumnName) << " | " << storytest::U(d.ChapterName) << " | "
        << d.ChapterID << " | " << d.Content << "}";
}

namespace {

// The rules of a made-up site whose pages are the fixtures of data/story.
TAnalyzeSiteData FixtureRules() {
    TAnalyzeSiteData rules;
    rules.SiteID = "fixture";
    rules.SiteName = A("测试站");
    rules.SiteURL = "http://127.0.0.1/";
    rules.CodePage = "gbk";
    rules.ArticleURL = "http://127.0.0.1/info/{ArticleID}.html";
    rules.ArticleTitle = "<h1>(.*?)</h1>";
    // The first line matches with an empty group, the second gives the name.
    rules.ArticleAuthor = A("<p class=\"a\">(.*?)</p>\r\n作&nbsp;&nbsp;者：(.*?)</p>");
    rules.ArticleClass = A("类别：(.*?)</p>");
    rules.ArticleKeywords = A("(?i)关键词：(.*?)</p>");
    rules.ArticleIntro = "<div id=\"intro\">(.*?)</div>";
    rules.ArticlePic = "<IMG id=\"cover\" src=\"(.*?)\">";
    rules.ArticleState = A("状态：(.*?)</p>");
    rules.ArticleLastInfo2 = A("最新章节：(.*?)</p>");
    rules.ArticleVolumnURLFromHome = "<a id=\"list\" href=\"/book/(\\d+)/\">";
    rules.ArticleVolumnURL = "http://127.0.0.1/book/{FOLDERID}/{articleid}/";
    rules.ArticleSubVolumnsName = "<h3 class=\"vol\">(.*?)</h3>";
    rules.ArticleChapterNameID = "<li><a href=\"[^\"]*\">.*?</a></li>";
    rules.ArticleChapterName = "<a[^<>]*>(.*?)</a>";
    rules.ArticleChapterID = "href=\"(\\d+)\\.html\"";
    rules.ArticleChapterURL = "http://127.0.0.1/{FolderId}/{ArticleId}/{ChapterID}.html";
    rules.ArticleChapterContent = "<div id=\"content\">(.*?)</div>";
    // A lazy script filter without "(?i)", a line already caseless, an empty
    // line (skipped) and a filter whose removal re-creates its own match.
    rules.ArticleChapterContentFilter = A("<script.*?</script>\r\n(?i)本站网址：[^<]*\n\nab");
    return rules;
}

TStory FixtureStory() {
    TStory story;
    story.LoadRules(FixtureRules());
    story.ArticleID = "1234";
    return story;
}

TEST(StoryTest, FormatURLFillsPlaceholdersInAnyCaseInOnePass) {
    struct Case {
        std::string_view templ, expected;
    } const cases[] = {
        {"http://s/{articleid}/{chapterid}.html?f={folderid}", "http://s/A1/C2.html?f=F3"},
        {"http://s/{ARTICLEID}/{ChapterId}/{FolderID}", "http://s/A1/C2/F3"},
        {"http://s/{articleid}-{articleid}", "http://s/A1-A1"},
        {"http://s/static.html", "http://s/static.html"},
        {"http://s/{article}/{", "http://s/{article}/{"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TStory::FormatURL(c.templ, "A1", "C2", "F3"), c.expected) << c.templ;
    // A value holding a placeholder is not filled again.
    EXPECT_EQ(TStory::FormatURL("{articleid}/{chapterid}", "{chapterid}", "7", ""),
              "{chapterid}/7");
}

TEST(StoryTest, StoryPageFieldsRunTheirCleanUpChains) {
    TStory story = FixtureStory();
    const std::string page = Fixture("story_gbk.html");  // GBK bytes, used as they are

    EXPECT_EQ(story.ExtractFolderID(page), "77");
    EXPECT_EQ(story.FolderID, "77");
    // Two lines joined, tags and outer white space gone.
    EXPECT_EQ(story.ExtractTitle(page), A("剑来风雪卷"));
    // Anchor and &nbsp; around the name: the bare name.
    EXPECT_EQ(story.ExtractAuthor(page), A("烽火"));
    // The class is taken raw.
    EXPECT_EQ(story.ExtractClass(page), A("<span>仙侠</span>"));
    EXPECT_EQ(story.ExtractKeywords(page), A("剑，江湖"));
    // Font tags out, the line break inside the state removed.
    EXPECT_EQ(story.ExtractState(page), A("连载中"));
    EXPECT_EQ(story.ExtractLastInfo(page), A("第九百章 <终>"));
    // Paragraph tags stay, the comment goes, the quotation entities decode.
    EXPECT_EQ(story.ExtractIntro(page), A("<p>大千世界，“无奇不有”。</p>"));
    EXPECT_EQ(story.ExtractPicURL(page), "/cover/1.jpg");

    EXPECT_EQ(story.GetArticleURL(), "http://127.0.0.1/info/1234.html");
    EXPECT_EQ(story.GetVolumnURL(), "http://127.0.0.1/book/77/1234/");
    EXPECT_EQ(story.GetChapterURL("99"), "http://127.0.0.1/77/1234/99.html");
}

TEST(StoryTest, LastInfoOfTheMarkedSiteIsDecodedFromItsScriptCall) {
    TAnalyzeSiteData rules = FixtureRules();
    rules.ArticleLastInfo2 = "<span id=\"last\">(.*?)</span>";
    const std::string page = "<span id=\"last\">document.write('\\u7b2c\\u5341\\u7ae0')</span>";

    TStory plain;
    plain.LoadRules(rules);
    EXPECT_EQ(plain.ExtractLastInfo(page), "document.write('\\u7b2c\\u5341\\u7ae0')");

    rules.SiteID = AnsiString(kDocumentWriteSiteID);
    TStory marked;
    marked.LoadRules(rules);
    EXPECT_EQ(marked.ExtractLastInfo(page), A("'第十章'"));
}

TEST(StoryTest, ChapterListWithVolumesKeepsPageOrderAndSkipsTextBeforeTheFirstHeading) {
    const TStory story = FixtureStory();
    const AnsiString page = DecodeCharset(Fixture("list_volumes_utf8.html"), "utf-8");
    std::vector<TArticleVolumnChapterData> list;
    AnsiString lastName;
    story.ParseChapterList(page, &list, lastName);

    const std::vector<TArticleVolumnChapterData> expected{
        {A("第一卷 起"), A("第一章 少年"), "1", ""},
        {A("第一卷 起"), A("第二章 &远行"), "2", ""},
        {A("第二卷 承"), A("第三章 山门"), "3", ""},
        {A("第三卷 转"), A("第四章 归来"), "4", ""},
        // With volumes an empty name is kept.
        {A("第三卷 转"), "", "5", ""},
    };
    EXPECT_EQ(list, expected);
    EXPECT_EQ(lastName, "");
    EXPECT_EQ(story.GetLastChapterName(page), "");
}

// The first volume heading has no name: the later volumes keep theirs, and
// the chapters of the nameless one have none.
TEST(StoryTest, ChapterListWhoseFirstVolumeHasNoNameKeepsTheOtherVolumes) {
    const TStory story = FixtureStory();
    const AnsiString page =
        A("<h3 class=\"vol\"></h3><li><a href=\"1.html\">第一章</a></li>"
          "<h3 class=\"vol\">第二卷</h3><li><a href=\"2.html\">第二章</a></li>"
          "<li><a href=\"3.html\">第三章</a></li>");
    std::vector<TArticleVolumnChapterData> list;
    AnsiString lastName;
    story.ParseChapterList(page, &list, lastName);
    const std::vector<TArticleVolumnChapterData> expected{
        {"", A("第一章"), "1", ""},
        {A("第二卷"), A("第二章"), "2", ""},
        {A("第二卷"), A("第三章"), "3", ""},
    };
    EXPECT_EQ(list, expected);
}

TEST(StoryTest, ChapterListWithoutVolumesDropsNavigationLinksAndEmptyNames) {
    const TStory story = FixtureStory();
    const std::string page = Fixture("list_plain_gbk.html");
    std::vector<TArticleVolumnChapterData> list{{"", "kept", "0", ""}};
    AnsiString lastName;
    story.ParseChapterList(page, &list, lastName);

    const std::vector<TArticleVolumnChapterData> expected{
        {"", "kept", "0", ""},
        {"", A("第一章 初见"), "11", ""},
        {"", A("第二章 再会"), "14", ""},
    };
    EXPECT_EQ(list, expected);
    // The last match names it even when it is a navigation link.
    EXPECT_EQ(lastName, A("回首页"));
    EXPECT_EQ(story.GetLastChapterName(page), A("回首页"));
}

TEST(StoryTest, ChapterListOfAPageWithoutMatchesOrWithoutARuleIsEmpty) {
    TStory story = FixtureStory();
    std::vector<TArticleVolumnChapterData> list;
    AnsiString lastName = "old";
    story.ParseChapterList("<html>nothing here</html>", &list, lastName);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(lastName, "");

    // A rule that matches the empty text must not make every byte a chapter.
    story.ArticleSubVolumnsName.clear();
    story.ArticleChapterNameID = "x*";
    story.ParseChapterList(Fixture("list_plain_gbk.html"), &list, lastName);
    EXPECT_TRUE(list.empty());
    story.ArticleChapterNameID.clear();
    story.ParseChapterList(Fixture("list_plain_gbk.html"), &list, lastName);
    EXPECT_TRUE(list.empty());
}

// Mended: rules that can also match the empty text cut the page at every
// byte into nameless volumes and added an empty chapter at every byte; only
// matches that take some text count.
TEST(StoryTest, EmptyHeadingAndChapterMatchesAddNothing) {
    TStory story;
    story.ArticleSubVolumnsName = "(?:<h2>([^<]*)</h2>)?";
    story.ArticleChapterNameID = "(?:<a href=\\d+>[^<]*</a>)?";
    story.ArticleChapterName = ">([^<]*)<";
    story.ArticleChapterID = "href=(\\d+)";
    const AnsiString page =
        A("<h2>卷一</h2><a href=1>一</a> <a href=2>二</a>\r\n"
          "<h2>卷二</h2><a href=3>三</a>");
    std::vector<TArticleVolumnChapterData> list;
    AnsiString lastName;
    story.ParseChapterList(page, &list, lastName);
    const std::vector<TArticleVolumnChapterData> expected{
        {A("卷一"), A("一"), "1", ""},
        {A("卷一"), A("二"), "2", ""},
        {A("卷二"), A("三"), "3", ""},
    };
    EXPECT_EQ(list, expected);
    EXPECT_EQ(lastName, A("三"));
}

TEST(StoryTest, ChapterContentAppliesEveryFilterLineUntilNothingMatches) {
    const TStory story = FixtureStory();
    // Entities stay: the chapter text is HTML.
    EXPECT_EQ(story.ExtractChapterContent(Fixture("chapter_gbk.html")),
              A("&nbsp;&nbsp;第一段&hellip;<br/>第二段<br><br>"));
}

TEST(StoryTest, ABadRulePatternRaisesToTheCaller) {
    TStory story = FixtureStory();
    story.ArticleTitle = "<h1>(.*?</h1>";
    EXPECT_THROW(story.ExtractTitle("<h1>x</h1>"), RegexError);
}

class StoryDatabaseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        storytest::UseNewStoryDatabase(dir_);
        ASSERT_NE(StoryDB(), nullptr);
    }
    void TearDown() override { FreeStoryDB(); }

    TempDir dir_;
};

TEST_F(StoryDatabaseTest, LoadSiteTakesTheRowAndAnUnknownSiteClearsThePreviousRules) {
    TSiteItemData site;
    site.SiteID = "s1";
    site.SiteName = A("一号站");
    site.CodePage = "utf-8";
    site.ArticleURL = "http://one/{articleid}";
    site.ArticleTitle = "<h1>(.*?)</h1>";
    site.ArticleChapterContentFilter = "ad";
    ASSERT_TRUE(StoryDB()->SaveSite("s1", site));

    TStory story;
    story.ArticleID = "9";
    story.FolderID = "f";
    ASSERT_TRUE(story.LoadSite("s1"));
    EXPECT_EQ(story.SiteID, "s1");
    EXPECT_EQ(story.SiteName, A("一号站"));
    EXPECT_EQ(story.CodePage, "utf-8");
    EXPECT_EQ(story.GetArticleURL(), "http://one/9");
    EXPECT_EQ(story.ExtractTitle("<h1>t</h1>"), "t");

    EXPECT_FALSE(story.LoadSite("nosuchsite"));
    EXPECT_EQ(story.SiteID, "");
    EXPECT_EQ(story.SiteName, "");
    EXPECT_EQ(story.GetArticleURL(), "");
    EXPECT_EQ(story.ExtractTitle("<h1>t</h1>"), "");
    EXPECT_EQ(story.ArticleChapterContentFilter, "");
    // The story's own keys are the caller's.
    EXPECT_EQ(story.ArticleID, "9");
    EXPECT_EQ(story.FolderID, "f");
}

TEST_F(StoryDatabaseTest, GetFolderNameReadsTheStoryRow) {
    ASSERT_TRUE(StoryDB()->AddArticle("s1", "a1", "t", "", "", "", "", -1, ""));
    TStory story;
    const AnsiString folder = story.GetFolderName("s1", "a1");
    EXPECT_EQ(folder.size(), 30u);
    EXPECT_EQ(story.GetFolderName("s1", "missing"), "");
}

}  // namespace
