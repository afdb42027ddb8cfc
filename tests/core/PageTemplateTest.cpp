#include "core/PageTemplate.h"

#include <gtest/gtest.h>

#include "StoryTestSupport.h"
#include "core/Regex.h"

using storytest::A;

namespace {

TEST(PageTemplateTest, FillTemplateReplacesTagsInAnyCaseAndSpacing) {
    const TemplateValues values{{"Title", "T"}, {"Author", "A"}};
    EXPECT_EQ(FillTemplate("<{#Title#}|{# title #}|{#TITLE#}|{#Author#}>", values), "<T|T|T|A>");
    // Tags it was not given keep their text.
    EXPECT_EQ(FillTemplate("{#Other#} {#Title#}", values), "{#Other#} T");
    EXPECT_EQ(FillTemplate("no tags", values), "no tags");
}

TEST(PageTemplateTest, FillTemplateNeverFillsAValueAgain) {
    // A value naming itself or a later tag comes out as given, and cannot loop.
    const TemplateValues values{
        {"Title", "{#Content#}{#Title#}"}, {"Content", "x{#Content#}"}, {"Author", "{# author #}"}};
    EXPECT_EQ(FillTemplate("{#Title#}/{#Content#}/{#Author#}", values),
              "{#Content#}{#Title#}/x{#Content#}/{# author #}");
}

TEST(PageTemplateTest, CutTemplateBlockTrimsOnlyWhenAsked) {
    const std::string text =
        "a {#Item#}  begin\r\n <li>{#Name#}</li>\r\n end; b {#Item#} begin x end;";
    EXPECT_EQ(CutTemplateBlock(text, "item", true), "<li>{#Name#}</li>");
    EXPECT_EQ(CutTemplateBlock(text, "Item", false), "\r\n <li>{#Name#}</li>\r\n ");
    EXPECT_EQ(CutTemplateBlock(text, "Missing", true), "");
    // A name is never read as pattern syntax.
    EXPECT_EQ(CutTemplateBlock(text, "It.m", true), "");
}

// The shipped bundle: every template with every tag and block its fillers use.
struct TemplateCase {
    std::string_view name;
    std::vector<std::string_view> tags;
    std::vector<std::string_view> blocks;
};

class TemplateBundleTest : public ::testing::TestWithParam<TemplateCase> {
  protected:
    void SetUp() override { storytest::UseShippedTemplates(); }
};

TEST_P(TemplateBundleTest, CarriesEveryTagAndBlock) {
    const TemplateCase& c = GetParam();
    const std::string text = LoadTemplateText(c.name);
    ASSERT_FALSE(text.empty()) << c.name;
    for (const auto tag : c.tags) {
        const std::string pattern = "(?i)\\{#\\s*" + std::string(tag) + "\\s*#\\}";
        EXPECT_TRUE(Regex::Get(pattern)->Matches(text)) << c.name << " lacks " << tag;
    }
    for (const auto block : c.blocks) {
        const std::string body = CutTemplateBlock(text, block, true);
        EXPECT_FALSE(body.empty()) << c.name << " lacks block " << block;
        // Bodies are cut before the template is decoded: ASCII only.
        for (const char ch : body) EXPECT_GE(ch, 0) << c.name << " block " << block;
    }
}

const std::vector<std::string_view> kListTags{
    "Title", "Author",    "Class", "Keywords",    "Intro",           "SiteID",          "StoryID",
    "State", "LastInfo2", "Cover", "ArticleList", "LastReadChapter", "FirstReadChapter"};

INSTANTIATE_TEST_SUITE_P(
    Bundle, TemplateBundleTest,
    ::testing::Values(
        TemplateCase{
            "List",
            {"Title", "Author", "Class", "Keywords", "Intro", "SiteID", "StoryID", "State",
             "LastInfo2", "Cover", "ArticleList", "LastReadChapter", "FirstReadChapter",
             "SubVolumnsName", "ChapterURL", "ChapterNameDesc", "ChapterID", "ChapterName"},
            {"SubVolumnsItem", "ChapterItem"}},
        TemplateCase{"List2", kListTags, {}},
        TemplateCase{"chapter", {"Date", "Author", "Title", "Content", "LastDateTime"}, {}},
        TemplateCase{"Content", {"Date", "Author", "Title", "Content"}, {}},
        TemplateCase{"Loading", {}, {}},
        TemplateCase{
            "ListError", {"SiteName", "StoryName", "StoryAuthor", "SiteID", "StoryID"}, {}},
        TemplateCase{
            "Story", {"Title", "Author", "Intro", "DateTime", "ChapterName", "ChapterContent"}, {}},
        TemplateCase{"EPUB_mimetype", {}, {}}, TemplateCase{"EPUB_container", {}, {}},
        TemplateCase{"EPUB_default", {}, {}},
        TemplateCase{"EPUB_cover", {"Title", "create", "Cover"}, {}},
        TemplateCase{"EPUB_content", {"Title", "Author", "Content"}, {}},
        TemplateCase{"EPUB_toc", {"Title", "Author", "Date"}, {}},
        TemplateCase{"EPUB_content_opf", {"Title", "Author", "Date"}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TemplateBundleTest, StoryTemplateHasBothBlocks) {
    const std::string text = LoadTemplateText("Story");
    EXPECT_NE(CutTemplateBlock(text, "StoryHeader", false).find("{#Title#}"), std::string::npos);
    EXPECT_NE(CutTemplateBlock(text, "Chapter", false).find("{#ChapterContent#}"),
              std::string::npos);
}

TEST_F(TemplateBundleTest, ChapterTemplateHidesEverythingButTheContentInComments) {
    const std::string text = LoadTemplateText("chapter");
    const std::string filled = FillTemplate(text, {{"Date", "2024-01-02 03:04:05"},
                                                   {"Author", "AU"},
                                                   {"Title", "TI"},
                                                   {"Content", "BODY"},
                                                   {"LastDateTime", "2024-01-02 03:04:06"}});
    RegexMatchResult m;
    ASSERT_TRUE(Regex::Get("(?i)<!--published:([^<>]*)-->")->Search(filled, m));
    EXPECT_EQ(m.Group(filled, 1), "2024-01-02 03:04:05");
    for (const auto& [name, value] : {std::pair{"ChapterName", "TI"}, std::pair{"Author", "AU"},
                                      std::pair{"UpdateTime", "2024-01-02 03:04:06"}}) {
        ASSERT_TRUE(Regex::Get("(?i)" + std::string(name) + "=<\\[(.*?)\\]>")->Search(filled, m))
            << name;
        EXPECT_EQ(m.Group(filled, 1), value);
    }
    // What the reader and the exporters keep once comments are removed.
    const std::string rest = Regex::Get("(?i)<!\\-\\-.*?\\-\\->")->ReplaceAll(filled, "");
    EXPECT_EQ(rest.find_first_not_of("\r\n"), rest.find("BODY"));
    EXPECT_EQ(rest.find_last_not_of("\r\n") + 1, rest.find("BODY") + 4);
}

TEST_F(TemplateBundleTest, PagesCallBrowserAndKeepTheReaderHooks) {
    const std::string list = LoadTemplateText("List");
    const std::string list2 = LoadTemplateText("List2");
    for (const auto* page : {&list, &list2}) {
        EXPECT_NE(page->find("function Browser(chapterId)"), std::string::npos);
        EXPECT_NE(page->find("HostCall(\"Browser\""), std::string::npos);
    }
    const std::string content = LoadTemplateText("Content");
    EXPECT_NE(content.find("function setDocumentBgColor("), std::string::npos);
    // The reader cuts these two out in local mode by these patterns.
    EXPECT_TRUE(Regex::Get("(?i)<div[^<>]*class=\"btmBtns\">.*?</div>")->Matches(content));
    EXPECT_TRUE(Regex::Get(A("(?i)\\[[^<>]*<a[^<>]*href=\"[^<>]*\">返回书目</a>[^<>]*\\]"))
                    ->Matches(platform::Utf8ToAnsi(content)));
    EXPECT_EQ(LoadTemplateText("EPUB_mimetype"), "application/epub+zip");
}

}  // namespace
