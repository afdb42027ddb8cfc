#include "controls/XBookShelfListBox.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/lists/ListTestSupport.h"
#include "tests/support/TempTree.h"

namespace {

using liststest::A;
using liststest::Centre;
using liststest::Raised;
using liststest::Recorder;

// A cover picture of one colour, written as JPEG.
void WriteCover(const std::string& path, guint32 rgba) {
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 98, 120);
    gdk_pixbuf_fill(pixbuf, rgba);
    ASSERT_TRUE(gdk_pixbuf_save(pixbuf, path.c_str(), "jpeg", nullptr, "quality", "100", nullptr));
    g_object_unref(pixbuf);
}

struct ShelfFixture : ::testing::Test {
    ShelfFixture() {
        list.SetBounds(0, 0, 700, 400);
        host.Add(list);
        list.OnRead = Recorder(list, raised, "read");
        list.OnDelete = Recorder(list, raised, "delete");
        list.OnSearchStory = Recorder(list, raised, "search");
    }
    // A shelf record of the story `id` on `site`, updated at `time`.
    void Add(const char* title, const char* site, const char* id, const char* time,
             const std::string& cover = "") {
        list.AddBook(site, id, std::string("Site ") + site, title, "X", std::string("ch ") + id,
                     A("连载中"), time, false, cover.empty() ? tree.Path("none/cover.jpg") : cover,
                     0, false);
    }
    TRect Button(int book, const std::string& name) const {
        return liststest::ButtonOf(*list.Book(book), name);
    }
    void Click(int book, const std::string& name) {
        host.Render();
        const TRect r = Button(book, name);
        ASSERT_FALSE(r.IsEmpty()) << name;
        host.ClickAt(Centre(r).X, Centre(r).Y);
    }
    std::vector<std::string> Sites(int book) const {
        std::vector<std::string> out;
        for (const TBookData& row : list.Book(book)->Sources) out.push_back(row.ArticleID);
        return out;
    }

    testing_support::TempTree tree;
    THeadlessHost host{700, 400};
    TXBookShelfListBox list;
    std::vector<Raised> raised;
};

TEST_F(ShelfFixture, RowsGoOldestUpdateFirstAndADeleteTakesOneOut) {
    Add("A", "1", "newer", "2012-06-01 08:00:00");
    Add("A", "2", "older", "2012-05-01 08:00:00");
    Add("B", "3", "other", "2012-05-02 08:00:00");
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(Sites(0), (std::vector<std::string>{"older", "newer"}));
    EXPECT_EQ(list.Book(0)->ItemRect.Height(), 87);

    Click(0, "Del1");
    ASSERT_EQ(raised.size(), 1u);
    EXPECT_EQ(raised[0], (Raised{"delete", "1", "newer", 0, list.Book(0), 2}));
    EXPECT_EQ(Sites(0), (std::vector<std::string>{"older"}));
    EXPECT_EQ(list.Book(0)->ItemRect.Height(), 70);
    // The book below moved up by the freed height.
    EXPECT_EQ(list.Book(1)->ItemRect.Top, 70);

    raised.clear();
    Click(0, "Browse0");
    Click(1, "SearchOther");
    EXPECT_EQ(raised, (std::vector<Raised>{{"read", "2", "older", 0, list.Book(0), 2},
                                           {"search", "3", "other", 1, list.Book(1), 2}}));
}

TEST_F(ShelfFixture, DeletingTheLastRowRemovesTheBookBeforeTheEvent) {
    Add("A", "1", "only", "2012-05-01");
    Click(0, "Del0");
    ASSERT_EQ(raised.size(), 1u);
    EXPECT_EQ(raised[0], (Raised{"delete", "1", "only", 0, nullptr, 0}));
    EXPECT_EQ(list.Count(), 0);
}

TEST_F(ShelfFixture, ADeleteWithoutHandlerStillRemovesTheRow) {
    list.OnDelete = nullptr;
    Add("A", "1", "first", "2012-05-01");
    Add("A", "2", "second", "2012-05-02");
    Click(0, "Del0");
    EXPECT_EQ(Sites(0), (std::vector<std::string>{"second"}));
    EXPECT_TRUE(raised.empty());
}

// Mended: a deleted row stayed on the screen, and its buttons stayed hot at
// their old places, until something else repainted the list.
TEST_F(ShelfFixture, ADeletedRowLeavesTheScreenAtOnce) {
    Add("A", "1", "first", "2012-05-01");
    Add("A", "2", "second", "2012-05-02");
    Add("A", "3", "third", "2012-05-03");
    host.Render();
    const TPoint del1 = Centre(Button(0, "Del1"));
    host.ResetInvalidations();
    host.ClickAt(del1.X, del1.Y);
    EXPECT_EQ(Sites(0), (std::vector<std::string>{"first", "third"}));
    EXPECT_GT(host.Invalidations(), 0);
    // A second click before the paint hits nothing.
    host.ClickAt(del1.X, del1.Y);
    EXPECT_EQ(Sites(0), (std::vector<std::string>{"first", "third"}));
    ASSERT_EQ(raised.size(), 1u);
}

// Mended: after the row the book stood for was deleted, "search other
// sites" still named the deleted story.
TEST_F(ShelfFixture, SearchingOtherSitesNamesAKeptRow) {
    Add("A", "1", "made-the-book", "2012-05-01");
    Add("A", "2", "kept", "2012-05-02");
    Click(0, "Del0");
    raised.clear();
    Click(0, "SearchOther");
    ASSERT_EQ(raised.size(), 1u);
    EXPECT_EQ(raised[0].siteID, "2");
    EXPECT_EQ(raised[0].storyID, "kept");
    EXPECT_EQ(list.Book(0)->SiteName, "Site 2");
}

TEST_F(ShelfFixture, CoversLoadOnceAndFallBackToTheDefault) {
    const std::string red = tree.Path("red/cover.jpg");
    tree.Make("red");
    WriteCover(red, 0xE00000FF);
    Add("A", "1", "a", "2012-05-01", red);
    Add("B", "2", "b", "2012-05-01");  // no such file
    EXPECT_EQ(list.Book(0)->CoverIndex, -1);
    host.Render();
    EXPECT_EQ(list.Book(0)->CoverIndex, 1);
    EXPECT_EQ(list.Book(1)->CoverIndex, 0);
    EXPECT_EQ(list.Covers().Count(), 2);
    // Drawn at (5, 5) scaled to 49 x 60.
    const TColor shown = host.Pixel(5 + 24, 5 + 30);
    EXPECT_GT((shown >> 16) & 0xFF, 0xC0u);
    EXPECT_LT((shown >> 8) & 0xFF, 0x30u);
    EXPECT_NE(host.Pixel(5 + 24, 70 + 5 + 30), shown);
    // Once per book: a new file at the missing path is not looked at again.
    tree.Make("none");
    WriteCover(tree.Path("none/cover.jpg"), 0x00E000FF);
    host.Render();
    host.Render();
    EXPECT_EQ(list.Covers().Count(), 2);
    EXPECT_EQ(list.Book(1)->CoverIndex, 0);
}

TEST_F(ShelfFixture, HandlersMayClearTheList) {
    Add("A", "1", "a", "2012-05-01");
    Add("A", "2", "b", "2012-05-02");
    list.OnRead = [this](TControl*, TObject*, const AnsiString& site, const AnsiString& story,
                         int) {
        list.Clear();
        raised.push_back({"read", site, story});
    };
    Click(0, "Browse1");
    ASSERT_EQ(raised.size(), 1u);
    EXPECT_EQ(raised[0].storyID, "b");
    EXPECT_EQ(list.Count(), 0);
    host.Render();
}

}  // namespace
