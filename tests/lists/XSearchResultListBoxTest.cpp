#include "controls/XSearchResultListBox.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/lists/ListTestSupport.h"

namespace {

using liststest::A;
using liststest::AllOf;
using liststest::Centre;
using liststest::Raised;

struct Result {
    const char* title;
    const char* author;
    const char* site;
};

struct ResultsFixture : ::testing::Test {
    ResultsFixture() {
        list.SetBounds(0, 0, 700, 400);
        host.Add(list);
        list.OnRead = liststest::Recorder(list, raised, "read");
    }
    void Add(const Result& r) {
        list.AddResult(std::string("Site ") + r.site, r.site, r.title, std::string("a") + r.site,
                       A("第十章"), r.author, "tag", 0);
    }
    TRect Button(int book, const std::string& name) const {
        return liststest::ButtonOf(*list.Book(book), name);
    }

    THeadlessHost host{700, 400};
    TXSearchResultListBox list;
    std::vector<Raised> raised;
};

TEST_F(ResultsFixture, ResultsGroupByTitleAndAuthor) {
    struct Book {
        std::string title, author, sites;
        bool operator==(const Book&) const = default;
    };
    struct {
        std::vector<Result> results;
        std::vector<Book> books;
    } const cases[] = {
        {{{"A", "X", "1"}, {"A", "X", "2"}}, {{"A", "X", "12"}}},
        // An empty author joins the first book of the title.
        {{{"A", "X", "1"}, {"A", "", "2"}}, {{"A", "X", "12"}}},
        {{{"A", "X", "1"}, {"A", "Y", "2"}}, {{"A", "X", "1"}, {"A", "Y", "2"}}},
        // Letter case counts.
        {{{"A", "X", "1"}, {"a", "X", "2"}}, {{"A", "X", "1"}, {"a", "X", "2"}}},
        // A book made without an author takes no result that names one.
        {{{"A", "", "1"}, {"A", "X", "2"}}, {{"A", "", "1"}, {"A", "X", "2"}}},
        {{{"A", "X", "1"}, {"B", "X", "2"}, {"A", "X", "3"}}, {{"A", "X", "13"}, {"B", "X", "2"}}},
    };
    for (const auto& c : cases) {
        list.Clear();
        for (const Result& r : c.results) Add(r);
        std::vector<Book> books;
        for (int i = 0; i < list.Count(); ++i) {
            const TBookListBoxItem& b = *list.Book(i);
            std::string sites;
            for (const TBookData& s : b.Sources) sites += s.SiteID;
            books.push_back({b.Title, b.Author, sites});
            EXPECT_EQ(b.Index, i);
        }
        EXPECT_EQ(books, c.books) << c.results.size() << " results from " << c.results[0].title;
    }
}

TEST_F(ResultsFixture, BooksAreAsHighAsTheirRows) {
    Add({"One", "X", "1"});
    for (const char* site : {"1", "2"}) Add({"Two", "X", site});
    for (const char* site : {"1", "2", "3"}) Add({"Three", "X", site});
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Book(0)->ItemRect.Height(), 70);
    EXPECT_EQ(list.Book(1)->ItemRect.Height(), 87);
    EXPECT_EQ(list.Book(2)->ItemRect.Height(), 113);
    EXPECT_EQ(list.Book(2)->ItemRect.Top, 157);
    EXPECT_EQ(list.ContentHeight(), 270);
    const auto* first = list.Result(0);
    EXPECT_EQ(first->SiteID, "1");
    EXPECT_EQ(first->ArticleID, "a1");
    EXPECT_EQ(first->Sources[0].Tag, "tag");
    EXPECT_EQ(first->CoverIndex, -1);

    host.Render();
    // One source sits 10 pixels lower than the first of several.
    const int single = list.Book(0)->Sources[0].RowRect.Top - list.Book(0)->ItemRect.Top;
    const int several = list.Book(1)->Sources[0].RowRect.Top - list.Book(1)->ItemRect.Top;
    EXPECT_EQ(single - several, 10);
    EXPECT_EQ(list.Book(1)->Sources[1].RowRect.Top - list.Book(1)->Sources[0].RowRect.Top, 26);
    // Each row has its read button at the right.
    EXPECT_EQ(Button(2, "Browse2"),
              TRect::FromSize(582, list.Book(2)->Sources[2].RowRect.Top - 2, 72, 20));
}

TEST_F(ResultsFixture, OnlyTheReadButtonReads) {
    Add({"A", "X", "1"});
    Add({"A", "X", "2"});
    Add({"B", "Y", "3"});
    host.Render();
    const TPoint read = Centre(Button(0, "Browse1"));
    host.ClickAt(read.X, read.Y);
    const TPoint text = Centre(list.Book(0)->Sources[1].RowRect);
    host.ClickAt(text.X - 200, text.Y);                // the row's text
    host.ClickAt(40, list.Book(1)->ItemRect.Top + 8);  // the title
    ASSERT_EQ(raised.size(), 1u);
    EXPECT_EQ(raised[0], (Raised{"read", "2", "a2", 0, list.Book(0), 2}));

    // A double click on the button reads once; on the text not at all.
    raised.clear();
    host.Render();
    const TPoint other = Centre(Button(1, "Browse0"));
    host.DoubleClickAt(other.X, other.Y);
    host.DoubleClickAt(other.X - 300, other.Y);
    ASSERT_EQ(raised.size(), 1u);
    EXPECT_EQ(raised[0].storyID, "a3");
    EXPECT_EQ(raised[0].index, 1);

    raised.clear();
    list.OnRead = nullptr;
    host.ClickAt(read.X, read.Y);
    EXPECT_TRUE(raised.empty());
}

TEST_F(ResultsFixture, TheFirstBookLooksHoveredUntilThePointerComes) {
    Add({"A", "X", "1"});
    Add({"B", "Y", "2"});
    host.Render();
    const TRect book0 = list.Book(0)->ItemRect, book1 = list.Book(1)->ItemRect;
    EXPECT_EQ(list.HoverIndex, 0);
    EXPECT_EQ(host.Pixel(8, book0.Top + 3), RGB(246, 246, 246));
    EXPECT_EQ(host.Pixel(8, book1.Top + 3), clWhite);
    // The bottom line of each book.
    EXPECT_EQ(host.Pixel(8, book0.Bottom - 1), RGB(229, 229, 229));

    // On the second book's row: that book is hovered, its row tinted.
    const TRect row = list.Book(1)->Sources[0].RowRect;
    host.MoveTo(row.Left + 300, row.Top + 8);
    host.Render();
    EXPECT_EQ(list.HoverIndex, 1);
    EXPECT_EQ(host.Pixel(8, book0.Top + 3), clWhite);
    EXPECT_EQ(host.Pixel(8, book1.Top + 3), RGB(246, 246, 246));
    EXPECT_EQ(host.Pixel(row.Left - 4, row.Top + 1), RGB(222, 222, 222));
    EXPECT_EQ(host.ScreenCursor(), TCursor::HandPoint);
    // Empty space below the books keeps the hover.
    host.MoveTo(100, 380);
    EXPECT_EQ(list.HoverIndex, 1);
    EXPECT_EQ(host.ScreenCursor(), TCursor::Default);
}

TEST_F(ResultsFixture, ButtonFramesFollowThePointer) {
    Add({"A", "X", "1"});
    host.Render();
    const TRect button = Button(0, "Browse0");
    auto* book = list.Book(0);
    host.MoveTo(button.Left + 3, button.Top + 3);
    EXPECT_EQ(book->ButtonState("Browse0"), 1);
    host.Press(button.Left + 3, button.Top + 3);
    EXPECT_EQ(book->ButtonState("Browse0"), 0);
    host.Release(button.Left + 3, button.Top + 3);
    host.MoveTo(10, 300);
    EXPECT_EQ(book->ButtonState("Browse0"), 2);
    EXPECT_EQ(book->ButtonState("nothing"), 2);
    EXPECT_EQ(list.SelectedIndex, 0);
}

// What the last paint drew is what a click hits: once the books move, the
// old places are dead until the next paint shows the new ones.
TEST_F(ResultsFixture, ScrolledButtonsAreHitWhereTheyAreDrawn) {
    for (int i = 0; i < 12; ++i) Add({std::to_string(i).c_str(), "X", "1"});
    host.Render();
    const TPoint before = Centre(Button(1, "Browse0"));
    host.Wheel(-120, 100, 100);
    ASSERT_EQ(list.TopOffset(), list.PageStep());
    host.ClickAt(before.X, before.Y);
    EXPECT_TRUE(raised.empty());
    host.Render();
    const int book = list.ItemAtPos(before.X, before.Y);
    const TPoint now = Centre(Button(book, "Browse0"));
    host.ClickAt(now.X, now.Y);
    ASSERT_EQ(raised.size(), 1u);
    EXPECT_EQ(raised[0].index, book);
}

}  // namespace
