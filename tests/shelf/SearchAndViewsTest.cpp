// The main window's decisions that need no window: the back stack, what a
// press of search does with the box's text, and which results reach the list.

#include <gtest/gtest.h>

#include "platform/Charset.h"
#include "shelf/SearchSession.h"
#include "shelf/ViewStack.h"

namespace {

AnsiString A(const char* utf8) {
    return platform::Utf8ToAnsi(utf8);
}

TEST(ViewStack, GrowsByPushShrinksByPopAndNeverHoldsOneViewTwiceInARow) {
    TViewStack stack;
    // Back on the first view empties the stack and names no view to show.
    EXPECT_EQ(stack.Pop(), TContentView::None);
    EXPECT_TRUE(stack.Empty());

    EXPECT_TRUE(stack.Push(TContentView::LibraryBrowser));
    EXPECT_TRUE(stack.Push(TContentView::ResultList));
    EXPECT_TRUE(stack.Push(TContentView::ListBrowser));
    // The same story opened twice: the list browser is on the stack once.
    EXPECT_FALSE(stack.Push(TContentView::ListBrowser));
    EXPECT_FALSE(stack.Push(TContentView::None));
    EXPECT_EQ(stack.Size(), 3u);

    EXPECT_EQ(stack.Pop(), TContentView::ResultList);
    // A view may come again once another lies between.
    EXPECT_TRUE(stack.Push(TContentView::LibraryBrowser));
    EXPECT_EQ(stack.Views(),
              (std::vector<TContentView>{TContentView::LibraryBrowser, TContentView::ResultList,
                                         TContentView::LibraryBrowser}));
    EXPECT_EQ(stack.Pop(), TContentView::ResultList);
    EXPECT_EQ(stack.Pop(), TContentView::LibraryBrowser);
    EXPECT_EQ(stack.Pop(), TContentView::None);
    EXPECT_TRUE(stack.Empty());
}

TEST(PlanSearch, TheBoxTextDecidesKeywordFilterReportAndPage) {
    const AnsiString prompt = A("搜您想看的小说名...");
    struct Case {
        const char* text;
        bool byAuthor;
        const char* reported;
        const char* keyword;
        const char* filter;
        bool searchPage;
        bool askAuthor;
    };
    const Case cases[] = {
        // Title and author: the title is searched, the author filters.
        {" 斗破苍穹 + 天蚕土豆 ", false, "斗破苍穹 + 天蚕土豆", "斗破苍穹", "天蚕土豆", false,
         false},
        // A plus sign with nothing after it: the whole text, no filter.
        {"斗破苍穹+", false, "斗破苍穹+", "斗破苍穹+", "", false, false},
        // An author and no title: nothing is searched, the report still goes.
        {"+天蚕土豆", false, "+天蚕土豆", "", "天蚕土豆", true, false},
        {"   ", false, "", "", "", true, false},
        // The box's prompt is no text of the user's.
        {"搜您想看的小说名...", false, "", "", "", true, false},
        {" 搜您想看的小说名... ", true, "", "", "", true, false},
        // Only a page's Search asks for an author search, never with a filter.
        {"天蚕土豆", true, "天蚕土豆", "天蚕土豆", "", false, true},
        {"斗破苍穹+天蚕土豆", true, "斗破苍穹+天蚕土豆", "斗破苍穹", "天蚕土豆", false, false},
        {"斗破苍穹", false, "斗破苍穹", "斗破苍穹", "", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const TSearchPlan plan = PlanSearch(A(c.text), prompt, c.byAuthor);
        EXPECT_EQ(plan.Reported, A(c.reported));
        EXPECT_EQ(plan.Query.Keyword, A(c.keyword));
        EXPECT_EQ(plan.Query.AuthorFilter, c.filter[0] ? A(c.filter) : AnsiString());
        EXPECT_EQ(plan.Query.FilterActive, c.filter[0] != 0);
        EXPECT_EQ(plan.ShowSearchPage, c.searchPage);
        EXPECT_EQ(plan.ByAuthor, c.askAuthor);
    }
}

SearchResultFields Result(const char* title, const char* author, uint64_t generation,
                          const char* id = "1") {
    SearchResultFields fields;
    fields.StoryName = A(title);
    fields.Author = A(author);
    fields.ArticleID = id;
    fields.SiteID = "s";
    fields.Generation = generation;
    return fields;
}

// Mended: results of a stopped or replaced search that were already queued
// for the user-interface thread landed in the next search's list.
TEST(SearchSession, TakesOnlyTheCurrentSearchsResultsThroughItsFilter) {
    TSearchSession session;
    EXPECT_FALSE(session.Accept(Result("甲", "乙", 0)));

    session.Start(PlanSearch(A("斗破+天蚕"), {}, false).Query, 7);
    EXPECT_TRUE(session.Accept(Result("斗破苍穹", "天蚕土豆", 7)));
    EXPECT_FALSE(session.Accept(Result("斗破苍穹", "别人", 7)));          // author filter
    EXPECT_FALSE(session.Accept(Result("斗破苍穹", "天蚕土豆", 7, "")));  // no story id
    EXPECT_FALSE(session.Accept(Result("斗破苍穹", "天蚕土豆", 6)));      // an older search
    EXPECT_TRUE(session.TakeFirstResult());
    EXPECT_FALSE(session.TakeFirstResult());

    // A new search: what the old one left in the queue stays out.
    session.Start(PlanSearch(A("凡人"), {}, false).Query, 8);
    EXPECT_FALSE(session.Accept(Result("斗破苍穹", "天蚕土豆", 7)));
    EXPECT_TRUE(session.Accept(Result("凡人修仙传", "忘语", 8)));
    EXPECT_TRUE(session.IsCurrent(8));
    EXPECT_TRUE(session.TakeFirstResult());

    // Stopped: nothing of it is taken any more, its end included.
    session.Stop();
    EXPECT_FALSE(session.Accept(Result("凡人修仙传", "忘语", 8)));
    EXPECT_FALSE(session.IsCurrent(8));
}

}  // namespace
