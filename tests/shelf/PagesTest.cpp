// The pages the main window writes and shows: the list-error page, the
// stand-ins of the vendor's pages, and the story list into the panels.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "controls/HeadlessHost.h"
#include "controls/HotStoryPanel.h"
#include "controls/StoryPicPanel.h"
#include "controls/XLabel.h"
#include "core/PageTemplate.h"
#include "core/TextHelpers.h"
#include "net/StoryLog.h"
#include "platform/Folders.h"
#include "shelf/ListErrorPage.h"
#include "shelf/StoryListPanels.h"
#include "shelf/VendorPages.h"
#include "tests/shelf/ShelfFixture.h"
#include "tests/support/FakeNovelSite.h"

namespace {

using shelftest::A;
namespace fs = std::filesystem;

std::string Template() {
    return LoadTemplateText("ListError");
}

class ListErrorPage : public shelftest::ProfileTest {};

// Mended: the site's texts went into the page unescaped, so a title could
// close the attribute the buttons read and put script into a page that has
// the bridge.
TEST_F(ListErrorPage, EscapesTheStorysTextsAndCarriesItsKeys) {
    ASSERT_FALSE(Template().empty()) << "the template bundle beside the programs";
    DB().AddArticle("gbk", "77", A("斗破\"><script>alert(1)</script>"), A("作者&'<b>"), "", "", "",
                    -1, "");
    TSiteItemData site;
    site.SiteID = "gbk";
    site.SiteName = A("书站<img src=x onerror=alert(2)>");
    ASSERT_TRUE(DB().SaveSite("gbk", site));

    const std::string page = FillListErrorPage(Template(), ListErrorFields(StoryDB(), "gbk", "77"));
    EXPECT_EQ(page.find("<script>alert"), std::string::npos);
    EXPECT_EQ(page.find("<img"), std::string::npos);
    EXPECT_EQ(page.find("{#"), std::string::npos);
    EXPECT_NE(page.find("data-site=\"gbk\""), std::string::npos);
    EXPECT_NE(page.find("data-story=\"77\""), std::string::npos);
    EXPECT_NE(page.find("data-name=\"斗破&quot;&gt;&lt;script&gt;alert(1)&lt;/script&gt;\""),
              std::string::npos);
    EXPECT_NE(page.find("data-author=\"作者&amp;&#39;&lt;b&gt;\""), std::string::npos);
    EXPECT_NE(page.find("书站&lt;img src=x onerror=alert(2)&gt;"), std::string::npos);
    EXPECT_TRUE(platform::IsValidUtf8(page));
}

TEST_F(ListErrorPage, AStoryMissingFromTheDatabaseStillNamesItsKeys) {
    const std::string page =
        FillListErrorPage(Template(), ListErrorFields(StoryDB(), "nosite", "9\"9"));
    EXPECT_NE(page.find("data-site=\"nosite\""), std::string::npos);
    EXPECT_NE(page.find("data-story=\"9&quot;9\""), std::string::npos);
}

// Mended: a write that failed left the older page in place and the window
// showed it, so its buttons acted on the story before.
TEST_F(ListErrorPage, IsWrittenWholeOrNotAtAll) {
    const std::string path = ListErrorPagePath();
    EXPECT_EQ(path, tree_.Path("data/Cache/ListError.html"));
    ASSERT_TRUE(WriteListErrorPage(path, "<p>story one</p>"));
    EXPECT_EQ(testing_support::TempTree::Read(path), "<p>story one</p>");

    // The folder cannot take the scratch file: the old page stays and the
    // caller is told, so it shows nothing.
    ASSERT_EQ(chmod(tree_.Path("data/Cache").c_str(), 0500), 0);
    const bool written = WriteListErrorPage(path, "<p>story two</p>");
    chmod(tree_.Path("data/Cache").c_str(), 0700);
    if (geteuid() != 0) {
        EXPECT_FALSE(written);
        EXPECT_EQ(testing_support::TempTree::Read(path), "<p>story one</p>");
    }
    // An empty page (no template) is never written.
    EXPECT_FALSE(WriteListErrorPage(path, ""));
}

class VendorPages : public shelftest::ProfileTest {};

// Without a service address no vendor request is made: the browsers show
// small local pages, never an empty or scheme-less address.
TEST_F(VendorPages, StandInsWithoutAServiceAndTheServicesPagesWithOne) {
    ASSERT_TRUE(WriteLocalVendorPages());
    for (const TVendorPage page : {TVendorPage::Search, TVendorPage::EmptyList,
                                   TVendorPage::Library, TVendorPage::HotStories}) {
        const std::string target = VendorPageURL(page);
        EXPECT_EQ(target.rfind(tree_.Path("data/Cache/"), 0), 0u) << target;
        std::string bytes;
        EXPECT_TRUE(platform::ReadWholeFile(target, bytes)) << target;
        EXPECT_NE(bytes.find("<!DOCTYPE html>"), std::string::npos);
    }
    EXPECT_EQ(VendorCategoryURL(3), VendorPageURL(TVendorPage::Library));
    EXPECT_EQ(VendorHomeURL(), "");

    tree_.SetEnv("QUIRA_SERVICE_URL", "http://127.0.0.1:8123/base/");
    EXPECT_EQ(VendorPageURL(TVendorPage::Search),
              "http://127.0.0.1:8123/base/velqonew/news/search.php");
    EXPECT_EQ(VendorPageURL(TVendorPage::Library), "http://127.0.0.1:8123/base/velqonew/news");
    EXPECT_EQ(VendorCategoryURL(22), "http://127.0.0.1:8123/base/velqonew/news/?type_id=22");
}

class StoryListPanels : public shelftest::ProfileTest {};

TEST_F(StoryListPanels, FillsHotStoriesMessagesAndMatchingPictures) {
    const std::string good = testing_support::FakeNovelSite::PictureBytes("a.png");
    const std::string goodURL = "http://127.0.0.1:1/pic/a.png";
    const std::string badURL = "http://127.0.0.1:1/pic/b.png";
    tree_.Write("app/Pic/" + SaltedMD5(goodURL), good);
    tree_.Write("app/Pic/" + SaltedMD5(badURL), "altered");
    const std::string text =
        A("[Story]\r\n"
          "1=<a StoryName=\"斗破苍穹\" SearchWords=\"斗破苍穹+天蚕土豆\">\r\n"
          "2=<a StoryName=\"\" SearchWords=\"无名\">\r\n"
          "3=<a StoryName=\"凡人修仙传\" SearchWords=\"凡人\">\r\n"
          "[windows]\r\n"
          "1=<a Title=\"新版本\" URL=\"https://example.com/new\" Color=\"255\">\r\n"
          "2=<a Title=\"无地址\" URL=\"\">\r\n"
          "3=<a Title=\"默认色\" URL=\"http://example.com/x\" Color=\"abc\">\r\n"
          "[system]\r\n"
          "1=<a Pic=\"" +
          goodURL + "\" URL=\"https://example.com/p1\" MD5=\"" + StreamMD5(good) +
          "\">\r\n"
          "2=<a Pic=\"" +
          badURL + "\" URL=\"https://example.com/p2\" MD5=\"" + StreamMD5(good) + "\">\r\n");
    const std::string file = tree_.Write("app/Story.cab", text);

    THeadlessHost host(900, 200);
    THotStoryPanel hot;
    TXLabel status;
    TStoryPicPanel pictures;
    host.Add(hot);
    host.Add(status);
    host.Add(pictures);
    hot.AddStory("old", "old");
    LoadHotStories(file, hot, status);
    ASSERT_EQ(hot.Stories().size(), 2u);
    EXPECT_EQ(hot.Stories()[0].StoryName, A("斗破苍穹"));
    EXPECT_EQ(hot.Stories()[0].SearchWords, A("斗破苍穹+天蚕土豆"));
    EXPECT_EQ(hot.Stories()[1].SearchWords, A("凡人"));
    EXPECT_EQ(status.MessageCount(), 2u);

    LoadStoryPictures(file, pictures);
    EXPECT_EQ(pictures.Count(), 1u);
    EXPECT_TRUE(pictures.Visible());
    EXPECT_EQ(pictures.CurrentURL(), "https://example.com/p1");

    // A list without these sections leaves the panels as they are; one
    // without valid pictures hides the picture panel.
    const std::string empty = tree_.Write("app/Empty.cab", "[other]\r\na=b\r\n");
    LoadHotStories(empty, hot, status);
    EXPECT_EQ(hot.Stories().size(), 2u);
    EXPECT_EQ(status.MessageCount(), 2u);
    LoadStoryPictures(empty, pictures);
    EXPECT_EQ(pictures.Count(), 0u);
    EXPECT_FALSE(pictures.Visible());
    // A missing file changes nothing.
    LoadHotStories(tree_.Path("app/missing.cab"), hot, status);
    EXPECT_EQ(hot.Stories().size(), 2u);
}

}  // namespace
