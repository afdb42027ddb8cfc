// The fake novel sites and the vendor stand-in are what every later test of
// reading, downloading and syncing stands on: their pages must be read by their
// own rules exactly as a real site's pages are read by its row.

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>
#include <zip.h>

#include "core/Regex.h"
#include "core/TextHelpers.h"
#include "net/WinHTTPLib.h"
#include "platform/Charset.h"
#include "tests/support/FakeNovelSite.h"
#include "tests/support/VendorStandIn.h"

namespace {

using testing_support::FakeHttpServer;
using testing_support::FakeNovelSite;
using testing_support::FakeSiteOptions;
using testing_support::HttpReply;
using testing_support::SiteCharset;

std::string Utf8(std::string_view gbk) {
    return platform::AnsiToUtf8(gbk);
}

std::string Fill(std::string url, std::string_view tag, std::string_view value) {
    for (std::size_t at; (at = url.find(tag)) != std::string::npos;)
        url.replace(at, tag.size(), value);
    return url;
}

// A page of the site, fetched and decoded to GBK by the row's code page.
std::string Page(const FakeNovelSite& site, const std::string& url) {
    TWinHTTPLib lib;
    EXPECT_TRUE(lib.Fetch(url, "")) << url;
    return DecodeCharset(lib.ReadResponseText(), site.Row().CodePage);
}

std::string FieldOf(std::string_view page, std::string_view rule) {
    std::string value = DecodeEntities(StripTags(RegexMatchAny(page, rule)));
    const auto first = value.find_first_not_of(" \t\r\n");
    const auto last = value.find_last_not_of(" \t\r\n");
    return first == std::string::npos ? "" : value.substr(first, last - first + 1);
}

bool DecodesAsImage(const std::string& bytes) {
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    const bool written = gdk_pixbuf_loader_write(
        loader, reinterpret_cast<const guchar*>(bytes.data()), bytes.size(), nullptr);
    const bool closed = gdk_pixbuf_loader_close(loader, nullptr);
    const bool ok = written && closed && gdk_pixbuf_loader_get_pixbuf(loader) != nullptr;
    g_object_unref(loader);
    return ok;
}

class FakeSites : public testing::TestWithParam<FakeSiteOptions> {};

TEST_P(FakeSites, PagesAreReadByTheSitesOwnRules) {
    FakeHttpServer server;
    FakeNovelSite site(server, GetParam());
    const auto story = site.AddStory("刀&剑 江湖", "李青", 7, 3, 3);
    const auto row = site.Row();
    const std::string folder = story.folder;

    // URL templates lead to the pages.
    const std::string storyURL = Fill(row.ArticleURL, "{articleid}", story.id);
    EXPECT_EQ(storyURL, site.StoryURL(story.id));
    const std::string listURL =
        Fill(Fill(row.ArticleVolumnURL, "{articleid}", story.id), "{folderid}", folder);
    EXPECT_EQ(listURL, site.ChapterListURL(story.id));

    const std::string page = Page(site, storyURL);
    EXPECT_EQ(Utf8(FieldOf(page, row.ArticleTitle)), story.title);
    EXPECT_EQ(Utf8(FieldOf(page, row.ArticleAuthor)), story.author)
        << "anchor and &nbsp; around it";
    EXPECT_EQ(Utf8(FieldOf(page, row.ArticleIntro)), story.intro);
    EXPECT_EQ(Utf8(FieldOf(page, row.ArticleState)), story.state);
    EXPECT_EQ(Utf8(FieldOf(page, row.ArticleClass)), story.category);
    EXPECT_EQ(Utf8(FieldOf(page, row.ArticleLastInfo2)), story.LastChapter()->name);
    EXPECT_EQ(FieldOf(page, row.ArticleVolumnURLFromHome), folder);
    EXPECT_EQ(FieldOf(page, row.ArticleID), story.id);
    EXPECT_EQ(server.URL(FieldOf(page, row.ArticlePic)), site.CoverURL(story.id));

    // Chapter list: one heading per volume, every chapter after the first heading.
    const std::string list = Page(site, listURL);
    const auto headings = Regex::Get("(?i)" + row.ArticleSubVolumnsName)->SearchAll(list);
    ASSERT_EQ(headings.size(), 3u);
    std::vector<std::string> ids;
    const auto body = std::string_view(list).substr(headings[0].Start());
    for (const auto& m : Regex::Get("(?i)" + row.ArticleChapterNameID)->SearchAll(body)) {
        const auto item = body.substr(m.Start(), m.End() - m.Start());
        ids.push_back(RegexMatchAny(item, row.ArticleChapterID));
        EXPECT_FALSE(FieldOf(item, row.ArticleChapterName).empty());
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7"}));

    // Chapter page: the content rule and its filter lines leave the expected text.
    const auto* chapter = story.FindChapter("3");
    ASSERT_NE(chapter, nullptr);
    const std::string chapterURL =
        Fill(Fill(Fill(row.ArticleChapterURL, "{articleid}", story.id), "{folderid}", folder),
             "{chapterid}", "3");
    std::string content = RegexMatchAny(Page(site, chapterURL), row.ArticleChapterContent);
    EXPECT_NE(content.find(platform::Utf8ToAnsi(FakeNovelSite::kAdvertLine)), std::string::npos);
    std::string_view filters = row.ArticleChapterContentFilter;
    while (!filters.empty()) {
        const auto end = filters.find("\r\n");
        content = RegexReplaceAll("(?i)" + std::string(filters.substr(0, end)), content, "");
        if (end == std::string_view::npos) break;
        filters.remove_prefix(end + 2);
    }
    EXPECT_EQ(Utf8(content), site.ExpectedChapterContent(story, *chapter));

    // Pictures and the cover are real images.
    ASSERT_EQ(chapter->pictures.size(), 2u);
    TWinHTTPLib lib;
    for (const auto& url :
         {site.PictureURL(story.id, chapter->pictures[0]), site.CoverURL(story.id)}) {
        ASSERT_TRUE(lib.Fetch(url, "")) << url;
        EXPECT_TRUE(DecodesAsImage(lib.ReadResponseText())) << url;
    }
    EXPECT_NE(FakeNovelSite::PictureBytes("a"), FakeNovelSite::PictureBytes("b"));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FakeSites,
    testing::Values(FakeSiteOptions{.siteID = "gbk", .charset = SiteCharset::Gbk},
                    FakeSiteOptions{.siteID = "utf8",
                                    .charset = SiteCharset::Utf8,
                                    .encoding = testing_support::BodyEncoding::Gzip},
                    FakeSiteOptions{.siteID = "onpage",
                                    .charset = SiteCharset::Gbk,
                                    .listOnStoryPage = true,
                                    .framing = testing_support::BodyFraming::Chunked}),
    [](const auto& info) { return info.param.siteID; });

TEST(FakeSitesWithoutVolumes, ListHasNavigationLinkAndNoHeadingRule) {
    FakeHttpServer server;
    FakeNovelSite site(server, FakeSiteOptions{.siteID = "flat", .volumeHeadings = false});
    const auto story = site.AddStory("平铺", "某人", 4);
    EXPECT_TRUE(site.Row().ArticleSubVolumnsName.empty());
    const std::string list = Page(site, site.ChapterListURL(story.id));
    EXPECT_EQ(Regex::Get("(?i)" + site.Row().ArticleChapterNameID)->SearchAll(list).size(), 5u)
        << "four chapters and the home link";
    EXPECT_NE(list.find(platform::Utf8ToAnsi("回首页")), std::string::npos);
}

TEST(VendorStandIn, ServesWhatIsSetAndRecordsWhatArrives) {
    FakeHttpServer server;
    testing_support::VendorStandIn vendor(server);
    TWinHTTPLib lib;
    ASSERT_TRUE(lib.Fetch(vendor.BaseURL() + "/update.cab", ""));
    EXPECT_EQ(lib.ReadResponseText(), "not here");
    vendor.SetUpdateDescription("[General]\r\nVersion=2.1.0.9\r\n");
    ASSERT_TRUE(lib.Fetch(vendor.BaseURL() + "/update.cab", ""));
    EXPECT_EQ(lib.ReadResponseText(), "[General]\r\nVersion=2.1.0.9\r\n");
    vendor.SetStoryList("[Story]\r\n");
    ASSERT_TRUE(lib.Fetch(vendor.BaseURL() + "/story.cab", ""));
    EXPECT_EQ(lib.ReadResponseText(), "[Story]\r\n");

    const std::string packageURL = vendor.SetSiteDatabasePackage("idata.db", "sqlite bytes");
    ASSERT_TRUE(lib.Fetch(packageURL, ""));
    zip_error_t error;
    zip_error_init(&error);
    const std::string zipBytes = lib.ReadResponseText();
    zip_source_t* source = zip_source_buffer_create(zipBytes.data(), zipBytes.size(), 0, &error);
    zip_t* zip = zip_open_from_source(source, ZIP_RDONLY, &error);
    ASSERT_NE(zip, nullptr);
    EXPECT_EQ(zip_get_num_entries(zip, 0), 1);
    EXPECT_STREQ(zip_get_name(zip, 0, 0), "idata.db");
    zip_close(zip);

    ASSERT_TRUE(lib.Fetch(vendor.BaseURL() + "/url?a=s&key=%D6%D0+x", ""));
    EXPECT_EQ(vendor.ReportedKeywords(),
              std::vector<std::string>{platform::Utf8ToAnsi("中") + " x"});
    ASSERT_TRUE(lib.Fetch(vendor.BaseURL() + "/s.php", "report=1"));
    EXPECT_EQ(vendor.UsageReports(), std::vector<std::string>{"report=1"});
    vendor.SetApiHandler([](const testing_support::HttpRequestRecord& r) {
        return HttpReply::Page("{\"echo\":\"" + r.body + "\"}", "application/json");
    });
    ASSERT_TRUE(lib.Fetch(vendor.BaseURL() + "/api.php", "a=1"));
    EXPECT_EQ(lib.ReadResponseText(), "{\"echo\":\"a=1\"}");
    EXPECT_EQ(vendor.ApiRequests().size(), 1u);
    ASSERT_TRUE(lib.Fetch(vendor.BaseURL() + "/velqonew/news/search.php", ""));
    EXPECT_NE(lib.ReadResponseText().find("/velqonew/news/search.php"), std::string::npos);
}

}  // namespace
