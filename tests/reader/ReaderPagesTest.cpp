#include "reader/ReaderPages.h"

#include <glib.h>
#include <gtest/gtest.h>

#include "core/PageTemplate.h"
#include "tests/support/TempTree.h"

namespace {

using platform::AnsiToUtf8;
using platform::Utf8ToAnsi;

constexpr std::string_view kTemplate =
    "<title>{#Title#}</title><i>{#Author#}</i><b>{#Date#}</b><div>{#Content#}</div>"
    "<div class=\"btmBtns\"><a href=\"javascript:NextPage()\">next</a></div>";

TEST(ReaderPagesTest, ChapterPageTakesTheMarkersAndFillsInOnePass) {
    // A chapter named like a tag gets no text filled into its name.
    const std::string file =
        "<!--ChapterName=<[{#Content#}]>-->\r\n<!--Author=<[AU]>-->\r\n"
        "<!--UpdateTime=<[2024-01-02 03:04:05]>-->\r\n<p>text {#Title#}</p>\r\n"
        "<!--published:2024-01-02 03:04:05-->";
    const AnsiString page = RenderChapterPage(kTemplate, file, false);
    EXPECT_NE(page.find("<title>{#Content#}</title>"), std::string::npos) << page;
    EXPECT_NE(page.find("<i>AU</i><b>2024-01-02 03:04:05</b>"), std::string::npos);
    EXPECT_NE(page.find("<div>\r\n\r\n\r\n<p>text {#Title#}</p>\r\n</div>"), std::string::npos)
        << page;
    EXPECT_EQ(page.find("<!--"), std::string::npos) << "comments are removed";
    EXPECT_EQ(GetTemplateValue(file, "author"), "AU");
    EXPECT_EQ(GetTemplateValue(file, "Missing"), "");
}

TEST(ReaderPagesTest, OfflinePagesLoseOnlyTheVendorScripts) {
    testing_support::TempTree tree;
    tree.SetEnv("QUIRA_SERVICE_URL", "http://ads.example.org:8080/base");
    EXPECT_EQ(VendorDomain(), "ads.example.org");
    const std::string tmpl =
        "<script src=\"http://ads.example.org/a.js\"> </script><script "
        "src=\"http://adsXexample.org/"
        "b.js\"></script><script>keep()</script>{#Content#}";
    const std::string file = "<p>x</p>";
    const AnsiString offline = RenderChapterPage(tmpl, file, true);
    EXPECT_EQ(offline.find("ads.example.org/a.js"), std::string::npos);
    EXPECT_NE(offline.find("adsXexample.org/b.js"), std::string::npos) << "the dot is no wildcard";
    EXPECT_NE(offline.find("keep()"), std::string::npos);
    EXPECT_NE(RenderChapterPage(tmpl, file, false).find("ads.example.org/a.js"), std::string::npos);
    tree.UnsetEnv("QUIRA_SERVICE_URL");
    EXPECT_EQ(RemoveVendorScripts(tmpl, VendorDomain()), tmpl);
}

// Local text is shown as text: nothing in it becomes markup or a tag.
TEST(ReaderPagesTest, LocalTextIsEscapedAndBrokenIntoLines) {
    struct Case {
        std::string bytes;
        std::string html;  // UTF-8
    } const cases[] = {
        {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
        {"<img src=x onerror=\"go()\">", "&lt;img src=x onerror=&quot;go()&quot;&gt;"},
        {"{#Content#} & '", "{#Content#} &amp; &#39;"},
        {"a\r\nb\nc\rd\r\n\r\ne", "a<br>b<br>c<br>d<br><br>e"},
        {"\xEF\xBB\xBF第一章\n正文", "第一章<br>正文"},  // UTF-8 with its mark
        {"第一章\n正文", "第一章<br>正文"},              // UTF-8 without
        {Utf8ToAnsi("第一章\n正文"), "第一章<br>正文"},  // GBK
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(AnsiToUtf8(LocalTextToHtml(c.bytes)), c.html) << c.html;
}

TEST(ReaderPagesTest, LocalPageHasNoChapterButtonsAndTheFileNameEscaped) {
    const std::string tmpl =
        "<h1>{#Title#}</h1><p>{#Author#} {#Date#}</p>[ <a href=\"javascript:HomePage()\">" +
        Utf8ToAnsi("返回书目") + "</a> ]<div>{#Content#}</div>" +
        "<div class=\"btmBtns\"><a href=\"#\">x</a></div>";
    const std::string page = AnsiToUtf8(
        RenderLocalPage(tmpl, "{#Title#}<b>", "<我的>.txt", "2024-05-06 07:08:09", false));
    EXPECT_EQ(page,
              "<h1>&lt;我的&gt;.txt</h1><p>本地导入 2024-05-06 "
              "07:08:09</p><div>{#Title#}&lt;b&gt;</div>");
}

TEST(ReaderPagesTest, TheLoadingPageIsKnownByItsFileNameAlone) {
    EXPECT_TRUE(IsLoadingPage("/home/u/.local/share/Velqo/Image/Loading.html"));
    EXPECT_TRUE(IsLoadingPage("file:///x/LOADING.HTML"));
    // A folder named like it makes no page a loading page.
    EXPECT_FALSE(IsLoadingPage("/home/u/Downloading/BooK/ABC/Content_3.html"));
    EXPECT_FALSE(IsLoadingPage("/data/Loading.html/Content_0.html"));
    EXPECT_FALSE(IsLoadingPage("Loading.htm"));
}

TEST(ReaderPagesTest, ErrorReportCarriesTheChapterAddressEncoded) {
    testing_support::TempTree tree;
    tree.UnsetEnv("QUIRA_SERVICE_URL");
    EXPECT_EQ(ErrorReportURL("http://a.b/1.html"), "") << "no service, no link";
    tree.SetEnv("QUIRA_SERVICE_URL", "http://vendor.test/");
    EXPECT_EQ(
        ErrorReportURL("http://a.b/c d.html?x=1&y=2#z"),
        "http://vendor.test/help/cuowu.php?url=http%3A%2F%2Fa.b%2Fc%20d.html%3Fx%3D1%26y%3D2%23z");
}

TEST(ReaderPagesTest, ErrorPageIsAnInertDataPage) {
    const std::string url = ErrorPageURL("<t>", Utf8ToAnsi("下载失败 <script>"), true);
    ASSERT_TRUE(url.starts_with("data:text/html;charset=utf-8,"));
    char* html = g_uri_unescape_string(url.c_str() + 29, nullptr);
    ASSERT_NE(html, nullptr);
    const std::string page = html;
    g_free(html);
    EXPECT_NE(page.find("下载失败 &lt;script&gt;"), std::string::npos);
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_NE(page.find(std::string(kRetryURL)), std::string::npos);
    EXPECT_EQ(ErrorPageURL("t", "m", false).find("quira-reader"), std::string::npos);
}

}  // namespace
