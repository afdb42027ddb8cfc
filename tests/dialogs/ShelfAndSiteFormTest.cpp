// The shelf-folder picker and the site-parameter editor.

#include "DialogFixture.h"
#include "core/SqliteDB.h"
#include "shelf/dialogs/AMShelfFormController.h"
#include "shelf/dialogs/SiteParamFormController.h"

namespace {

using namespace dialogtest;

class ShelfAndSiteFormTest : public DialogTest {
  protected:
    TSiteItemData SiteRow(const char* id, const char* name) {
        TSiteItemData site;
        site.SiteID = id;
        site.SiteName = A(name);
        site.SiteURL = std::string("http://") + id + ".example/";
        site.ArticleKeywords = std::string("keywords of ") + id;
        site.ArticleChapterContent = "<div>(.*?)</div>\r\n<p>(.*?)</p>";
        return site;
    }
};

TEST_F(ShelfAndSiteFormTest, ThePickerFilesTheStoryOrNothingWithoutFolders) {
    TSiteItemData site;
    site.SiteID = "s1";
    ASSERT_TRUE(DB().SaveSite("s1", site));
    ASSERT_TRUE(DB().AddArticle("s1", "a", A("书"), "", "", "", "", -1, ""));
    ASSERT_TRUE(DB().SetInOnlineShelf("s1", "a", true));
    const auto folder = [&] {
        std::vector<TBookListData> list;
        DB().GetFollowed(list, 10);
        return list.empty() ? -2 : list[0].ArticleClassID;
    };
    ASSERT_TRUE(DB().ClearTable("BooKClass"));
    {
        TAMShelfFormController picker;
        EXPECT_TRUE(picker.Classes().empty());
        EXPECT_EQ(picker.SelectedIndex, -1);
        EXPECT_EQ(picker.SelectedClassID(), -1);
        EXPECT_FALSE(picker.Apply("s1", "a"));
        EXPECT_EQ(folder(), -1);
    }
    auto raw = [&](const char* sql) {
        ASSERT_TRUE(SqliteDB::Open(dbPath_, SqliteDB::Mode::ReadWrite, 5000)->Execute(sql));
    };
    raw("insert into BooKClass(ID, Name) values(7, 'seven')");
    raw("insert into BooKClass(ID, Name) values(3, 'three')");
    TAMShelfFormController picker;
    ASSERT_EQ(picker.Classes().size(), 2u);
    EXPECT_EQ(picker.SelectedIndex, 0);
    picker.SelectedIndex = 1;
    const int expected = picker.Classes()[1].ID;
    EXPECT_EQ(picker.SelectedClassID(), expected);
    EXPECT_TRUE(picker.Apply("s1", "a"));
    EXPECT_EQ(folder(), expected);
    picker.SelectedIndex = 5;
    EXPECT_EQ(picker.SelectedClassID(), -1);
}

TEST_F(ShelfAndSiteFormTest, TheEditorShowsUpdatesAndKeepsWhatItHasNoControlFor) {
    ASSERT_TRUE(DB().SaveSite("a", SiteRow("a", "同名站")));
    ASSERT_TRUE(DB().SaveSite("b", SiteRow("b", "别的站")));
    ASSERT_TRUE(DB().SaveSite("c", SiteRow("c", "同名站")));
    MessageRecorder boxes;
    TSiteParamFormController editor;
    editor.MessageBox = boxes.Fn();
    EXPECT_EQ(TSiteParamFormController::Fields().size(), 30u);
    std::vector<std::string> names;
    for (const auto& name : editor.SiteNames()) names.push_back(U(name));
    EXPECT_EQ(names.size(), 3u);
    // Two sites of one name: the last in list order is shown.
    ASSERT_TRUE(editor.Select(A("同名站")));
    std::vector<TSearchSiteData> sites;
    DB().GetSearchSites(sites);
    std::string last;
    for (const auto& s : sites)
        if (U(s.SiteName) == "同名站") last = s.SiteID;
    EXPECT_EQ(editor.Record.SiteID, last);
    EXPECT_FALSE(editor.SiteIDEditable);
    EXPECT_FALSE(editor.Select(A("没有这个站")));

    // An edit keeps the keywords the editor does not show.
    ASSERT_TRUE(editor.Select(A("别的站")));
    editor.Record.SiteURL = "http://b.example/new/";
    editor.Record.ArticleKeywords.clear();
    ASSERT_TRUE(editor.Save());
    TSiteItemData stored;
    ASSERT_TRUE(DB().GetSite("b", stored));
    EXPECT_EQ(stored.SiteURL, "http://b.example/new/");
    EXPECT_EQ(stored.ArticleKeywords, "keywords of b");
    EXPECT_EQ(stored.ArticleChapterContent, "<div>(.*?)</div>\r\n<p>(.*?)</p>");

    // "新增" with an id that exists already updates that site.
    editor.New();
    EXPECT_TRUE(editor.SiteIDEditable);
    EXPECT_EQ(editor.Record, TSiteItemData());
    editor.Record.SiteID = "a";
    editor.Record.SiteName = A("改名站");
    ASSERT_TRUE(editor.Save());
    EXPECT_FALSE(editor.SiteIDEditable);
    ASSERT_TRUE(DB().GetSite("a", stored));
    EXPECT_EQ(U(stored.SiteName), "改名站");
    EXPECT_EQ(stored.SiteURL, "");
    EXPECT_EQ(stored.ArticleKeywords, "keywords of a");
    DB().GetSearchSites(sites);
    EXPECT_EQ(sites.size(), 3u);

    // An empty id is refused.
    editor.New();
    editor.Record.SiteID = "  ";
    editor.Record.SiteName = A("无编号");
    EXPECT_FALSE(editor.Save());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "站点编号不能为空，请填写后再保存。");
    DB().GetSearchSites(sites);
    EXPECT_EQ(sites.size(), 3u);
}

TEST_F(ShelfAndSiteFormTest, TheEditorWithoutSitesShowsNothingAndSavesNothing) {
    MessageRecorder boxes;
    TSiteParamFormController editor;
    editor.MessageBox = boxes.Fn();
    EXPECT_TRUE(editor.SiteNames().empty());
    EXPECT_EQ(editor.Record, TSiteItemData());
    EXPECT_FALSE(editor.Save());
    EXPECT_EQ(boxes.boxes.size(), 1u);
}

}  // namespace
