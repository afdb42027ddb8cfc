// The lists and the update pop-up in real windows on a private X server,
// filled from a copy of the shipped database and driven through the X
// server's test extension. Screenshots land in QUIRA_SCREENSHOT_DIR.

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "controls/GtkControlHost.h"
#include "controls/PopupForm.h"
#include "controls/XBookShelfListBox.h"
#include "controls/XLastReadListBox.h"
#include "controls/XSearchResultListBox.h"
#include "core/DBCreater.h"
#include "core/StoryDB.h"
#include "tests/lists/ListTestSupport.h"
#include "tests/support/TempTree.h"
#include "tests/support/window/WindowTest.h"

namespace {

using liststest::A;
using liststest::ButtonOf;
using liststest::Centre;

// One window for the whole program: a control host showing one list at a
// time, and a user database made from the shipped one, holding twelve
// stories on the online shelf (two of them from two sites) and a reading
// history of eight.
class ListsWindow : public ::testing::Test {
  protected:
    static constexpr int kWidth = 720, kHeight = 420;

    static void SetUpTestSuite() {
        uitest::RequireUi();
        tree = new testing_support::TempTree;
        const std::string path = tree->Path("idata.dll");
        TDBCreater creater;
        ASSERT_TRUE(creater.CheckDatabase(path, std::string(QUIRA_BIN_DIR) + "/idata.dll"));
        db = new TStoryDB(path);
        // Two novel sites, as the site table names them.
        site1 = "bqg";
        site2 = "qd";
        for (const auto& [id, name] : {std::pair{site1, A("笔趣阁")}, {site2, A("起点中文")}}) {
            TSiteItemData site;
            site.SiteID = id;
            site.SiteName = name;
            ASSERT_TRUE(db->SaveSite(id, site));
        }
        const char* titles[] = {"斗破苍穹", "凡人修仙传", "雪中悍刀行", "诡秘之主",
                                "剑来",     "大奉打更人", "庆余年",     "将夜",
                                "遮天",     "完美世界",   "圣墟",       "牧神记"};
        for (int i = 0; i < 12; ++i) {
            const std::string id = std::to_string(1000 + i);
            const AnsiString title = A(titles[i]);
            ASSERT_TRUE(db->AddArticle(site1, id, title, A("作者") + std::to_string(i), "",
                                       A("第") + std::to_string(100 + i) + A("章 风起"), "", 0,
                                       ""));
            ASSERT_TRUE(db->SetInOnlineShelf(site1, id, true));
            if (i < 2) {  // the same story on a second site
                ASSERT_TRUE(db->AddArticle(site2, id + "9", title, A("作者") + std::to_string(i),
                                           "", A("第") + std::to_string(99 + i) + A("章 雨落"), "",
                                           0, ""));
                ASSERT_TRUE(db->SetInOnlineShelf(site2, id + "9", true));
            }
            if (i < 8)
                ASSERT_TRUE(db->SaveReadPosition(
                    site1, id, "2012-05-0" + std::to_string(i + 1) + " 10:20:30", "1", 0, 0));
        }
        window = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
        gtk_window_set_decorated(window, FALSE);
        gtk_window_set_default_size(window, kWidth, kHeight);
        gtk_window_move(window, 20, 20);
        host = new TGtkControlHost;
        host->UseWindow(window);
        gtk_container_add(GTK_CONTAINER(window), host->Widget());
        // After the window's own handler, which has painted its children.
        g_signal_connect_after(window, "draw",
                               G_CALLBACK(+[](GtkWidget*, cairo_t*, gpointer) -> gboolean {
                                   ++draws;
                                   return FALSE;
                               }),
                               nullptr);
        gtk_widget_show_all(GTK_WIDGET(window));
        ASSERT_TRUE(uitest::PumpUntil([] { return draws > 0; })) << "the window never painted";
        ASSERT_TRUE(uitest::InputAvailable());
    }
    static void TearDownTestSuite() {
        delete host;
        host = nullptr;
        if (window) gtk_widget_destroy(GTK_WIDGET(window));
        window = nullptr;
        delete db;
        db = nullptr;
        delete tree;
        tree = nullptr;
    }

    // Puts the control alone into the window and waits for its first paint.
    void Show(TControl& control) {
        control.SetBounds(0, 0, kWidth, kHeight);
        host->Add(control);
        Painted();
    }
    void TearDown() override {
        while (!host->Controls().empty()) host->Remove(*host->Controls().back());
        uitest::Settle();
    }
    // Waits for a paint after whatever came before.
    static void Painted() {
        uitest::Settle();
        const int before = draws;
        gtk_widget_queue_draw(host->DrawingArea());
        EXPECT_TRUE(uitest::PumpUntil([&] { return draws > before; })) << "no paint came";
        uitest::Settle();
    }
    static TPoint Root(TPoint p) {
        int x = 0, y = 0;
        gdk_window_get_origin(gtk_widget_get_window(host->DrawingArea()), &x, &y);
        return {x + p.X, y + p.Y};
    }
    static void MoveTo(TPoint p) {
        const TPoint r = Root(p);
        uitest::PointerTo(r.X, r.Y);
        Painted();
    }
    static void ClickAt(TPoint p) {
        const TPoint r = Root(p);
        uitest::ClickAt(r.X, r.Y);
        Painted();
    }
    static void Shoot(const std::string& name) {
        GdkPixbuf* shot = uitest::ShootWidget(GTK_WIDGET(window));
        ASSERT_NE(shot, nullptr);
        EXPECT_TRUE(uitest::SavePng(shot, std::string(QUIRA_SCREENSHOT_DIR) + "/" + name));
        g_object_unref(shot);
    }
    static std::string CoverPath(const AnsiString& folder) {
        return tree->Path("BooK/" + folder + "/cover.jpg");
    }
    // The online shelf of the database, as the main window fills it.
    static void FillShelf(TXBookShelfListBox& list) {
        std::vector<TBookListData> shelf;
        db->GetShelf(shelf, kShelfOnline);
        for (const TBookListData& b : shelf)
            list.AddBook(b.SiteID, b.ArticleID, b.SiteName, b.ArticleTitle, b.ArticleAuthor,
                         b.LastArticleInfo, b.ArticleState, b.UpdateTime, b.IsConcern,
                         CoverPath(b.FolderName), b.ArticleClassID, b.HaveUpdate);
    }

    static inline testing_support::TempTree* tree = nullptr;
    static inline TStoryDB* db = nullptr;
    static inline GtkWindow* window = nullptr;
    static inline TGtkControlHost* host = nullptr;
    static inline int draws = 0;
    static inline AnsiString site1, site2;
};

TEST_F(ListsWindow, SearchResultsReadScrollAndPage) {
    TXSearchResultListBox list;
    std::vector<std::string> reads;
    list.OnRead = [&](TControl*, TObject*, const AnsiString& site, const AnsiString& story, int) {
        reads.push_back(site + "/" + story);
    };
    std::vector<TBookListData> shelf;
    db->GetShelf(shelf, kShelfOnline);
    ASSERT_EQ(shelf.size(), 14u);
    for (const TBookListData& b : shelf)
        list.AddResult(b.SiteName, b.SiteID, b.ArticleTitle, b.ArticleID, b.LastArticleInfo,
                       b.ArticleAuthor, "", 0);
    ASSERT_EQ(list.Count(), 12);
    Show(list);
    Shoot("results.png");

    // The second source of the first book with two.
    int book = -1;
    for (int i = 0; i < list.Count() && book < 0; ++i)
        if (list.Book(i)->Sources.size() == 2) book = i;
    ASSERT_GE(book, 0);
    const TBookData second = list.Book(book)->Sources[1];
    ClickAt(Centre(ButtonOf(*list.Book(book), "Browse1")));
    ASSERT_EQ(reads, (std::vector<std::string>{second.SiteID + "/" + second.ArticleID}));

    // The wheel, then the down arrow, each a page.
    MoveTo({300, 200});
    uitest::Wheel(true);
    EXPECT_TRUE(uitest::PumpUntil([&] { return list.TopOffset() == list.PageStep(); }));
    Painted();
    ClickAt(Centre(list.ScrollBar.DownArrowRect));
    EXPECT_EQ(list.TopOffset(),
              std::min(2 * list.PageStep(), list.ContentHeight() - list.Height() / 2));
    MoveTo(Centre(list.ScrollBar.ThumbRect));
    Shoot("results-scrolled.png");
}

TEST_F(ListsWindow, ShelfDeleteTakesTheStoryOffTheShelf) {
    TXBookShelfListBox list;
    FillShelf(list);
    // The handler the main window binds: off the online shelf.
    std::vector<std::string> deleted;
    list.OnDelete = [&](TControl*, TObject*, const AnsiString& site, const AnsiString& story, int) {
        db->SetInOnlineShelf(site, story, false);
        deleted.push_back(site + "/" + story);
    };
    Show(list);
    int book = -1;
    for (int i = 0; i < list.Count() && book < 0; ++i)
        if (list.Book(i)->Sources.size() == 2) book = i;
    ASSERT_GE(book, 0);
    const TRect row = list.Book(book)->Sources[1].RowRect;
    MoveTo({row.Left + 300, row.Top + 8});
    Shoot("shelf-hover.png");
    const TBookData gone = list.Book(book)->Sources[1];
    ClickAt(Centre(ButtonOf(*list.Book(book), "Del1")));
    ASSERT_EQ(deleted, (std::vector<std::string>{gone.SiteID + "/" + gone.ArticleID}));
    EXPECT_FALSE(db->IsInOnlineShelf(gone.SiteID, gone.ArticleID));
    EXPECT_EQ(list.Book(book)->Sources.size(), 1u);
    EXPECT_EQ(list.Book(book)->ItemRect.Height(), 70);
    Shoot("shelf-deleted.png");
    db->SetInOnlineShelf(gone.SiteID, gone.ArticleID, true);
}

// Mended: deleting the books in view of a list scrolled to its end left the
// offset past the content, so that the list showed nothing and its thumb
// fell below the track. The offset follows the content down.
TEST_F(ListsWindow, DeletingFromAScrolledShelfKeepsBooksInView) {
    TXBookShelfListBox list;
    FillShelf(list);
    Show(list);
    // To the end, notch by notch.
    MoveTo({300, 200});
    const int end = list.ContentHeight() - list.Height() / 2;
    for (int i = 0; i < 20 && list.TopOffset() < end; ++i) {
        const int before = list.TopOffset();
        uitest::Wheel(true);
        uitest::PumpUntil([&] { return list.TopOffset() != before; }, 5000);
        Painted();
    }
    ASSERT_EQ(list.TopOffset(), end);
    Shoot("shelf-scrolled-end.png");
    const auto rows = [&] {
        size_t n = 0;
        for (int i = 0; i < list.Count(); ++i) n += list.Book(i)->Sources.size();
        return n;
    };
    // Clicks at one place close together would make a double click.
    int doubleClickMs = 400;
    g_object_get(gtk_settings_get_default(), "gtk-double-click-time", &doubleClickMs, nullptr);
    // Delete the first row of the book at the top of the view, six times.
    for (int n = 0; n < 6; ++n) {
        uitest::PumpFor(doubleClickMs + 100);
        ASSERT_NE(list.ItemAtPos(10, 5), -1) << "the view is empty after " << n << " deletions";
        // The first book whose delete button shows whole.
        TRect del;
        for (int i = list.ItemAtPos(10, 5); i < list.Count() && del.IsEmpty(); ++i) {
            const TRect r = ButtonOf(*list.Book(i), "Del0");
            if (r.Top >= 0 && r.Bottom <= list.Height()) del = r;
        }
        ASSERT_FALSE(del.IsEmpty());
        const size_t before = rows();
        MoveTo(Centre(del));
        ClickAt(Centre(del));
        ASSERT_TRUE(uitest::PumpUntil([&] { return rows() < before; }, 5000)) << n;
        Painted();
        EXPECT_LE(list.TopOffset(), std::max(0, list.ContentHeight() - list.Height() / 2));
        EXPECT_LE(list.ScrollBar.ThumbRect.Bottom, list.ScrollBar.TrackRect.Bottom);
    }
    EXPECT_NE(list.ItemAtPos(10, 5), -1) << "books are still in view";
    MoveTo({300, 5});
    Shoot("shelf-scrolled-deleted.png");
}

TEST_F(ListsWindow, RecentReadsHoverDeleteWheelAndDoubleClick) {
    TXLastReadListBox list;
    std::vector<TReadHistoryListData> history;
    db->GetReadHistory(history);
    ASSERT_EQ(history.size(), 8u);
    for (const TReadHistoryListData& h : history)
        list.AddBook(h.SiteID, h.StoryID, h.SiteName, h.ArticleTitle, h.ArticleAuthor,
                     h.LastArticleInfo, h.ArticleState, h.ReadTime, h.Flag, CoverPath(h.FolderName),
                     h.ArticleClassID);
    std::vector<std::string> events;
    list.OnDelete = [&](TControl*, TObject*, const AnsiString& site, const AnsiString& story, int) {
        db->DeleteReadHistory(site, story);
        events.push_back("delete " + story + " left " + std::to_string(list.Count()));
    };
    list.OnRead = [&](TControl*, TObject*, const AnsiString&, const AnsiString& story, int index) {
        events.push_back("read " + story + " at " + std::to_string(index));
    };
    Show(list);
    // The pointer on the third row brings its delete button.
    MoveTo({200, 2 * 70 + 30});
    ASSERT_EQ(list.HoverIndex, 2);
    ASSERT_FALSE(ButtonOf(*list.Row(2), "Del").IsEmpty());
    EXPECT_TRUE(ButtonOf(*list.Row(0), "Del").IsEmpty());
    Shoot("recent-hover.png");

    const AnsiString third = list.Row(2)->StoryID;
    ClickAt(Centre(ButtonOf(*list.Row(2), "Del")));
    ASSERT_EQ(events, (std::vector<std::string>{"delete " + third + " left 7"}));
    std::vector<TReadHistoryListData> after;
    db->GetReadHistory(after);
    EXPECT_EQ(after.size(), 7u);

    // One row per notch.
    uitest::Wheel(true);
    EXPECT_TRUE(uitest::PumpUntil([&] { return list.TopIndex() == 1; }));
    Painted();
    const AnsiString under = list.Row(list.ItemAtPos({200, 30}))->StoryID;
    const TPoint root = Root({200, 30});
    uitest::DoubleClickAt(root.X, root.Y);
    Painted();
    EXPECT_EQ(events.back(), "read " + under + " at 1");
    EXPECT_EQ(events.size(), 2u);
    Shoot("recent-scrolled.png");

    // The keys of a list box, on the list the double click focused: seven
    // rows, six in view.
    ASSERT_EQ(list.SelectedIndex, 1);
    uitest::TypeKey(0xff54 /* Down */);
    EXPECT_TRUE(uitest::PumpUntil([&] { return list.SelectedIndex == 2; }));
    uitest::TypeKey(0xff57 /* End */);
    EXPECT_TRUE(uitest::PumpUntil([&] { return list.SelectedIndex == 6; }));
    EXPECT_EQ(list.TopIndex(), 1);
    uitest::TypeKey(0xff55 /* Page_Up */);
    EXPECT_TRUE(uitest::PumpUntil([&] { return list.SelectedIndex == 0; }));
    EXPECT_EQ(list.TopIndex(), 0);
    uitest::TypeKey(0xff56 /* Page_Down */);
    EXPECT_TRUE(uitest::PumpUntil([&] { return list.SelectedIndex == 6; }));
    Painted();
    Shoot("recent-keys.png");
    EXPECT_EQ(events.size(), 2u) << "keys read nothing";
}

// Mended: a close request of the window system destroyed the pop-up's
// window under the pop-up, which used it again at its next move, show or
// end. It hides, as the pop-up's own close does, and shows again later.
TEST_F(ListsWindow, ThePopupClosedByTheWindowSystemOnlyHides) {
    auto popup = std::make_unique<TPopupForm>(window);
    auto* gtkWindow = dynamic_cast<TGtkPopupWindow*>(&popup->Window());
    ASSERT_NE(gtkWindow, nullptr);
    popup->ClearNotifies();
    popup->AddNotify(site1, "1000", A("斗破苍穹"), A("作者0"), A("第100章 风起"));
    popup->ShowNotify();
    GtkWidget* widget = GTK_WIDGET(gtkWindow->Window());
    ASSERT_TRUE(uitest::PumpUntil([&] { return gtk_widget_get_mapped(widget); }));
    // The window manager's close (WM_DELETE_WINDOW) arrives as this event.
    gtk_window_close(gtkWindow->Window());
    EXPECT_TRUE(uitest::PumpUntil([&] { return !popup->Visible(); }));
    EXPECT_FALSE(popup->OpenTimer.Enabled());
    EXPECT_FALSE(popup->MouseDetectTimer.Enabled());
    EXPECT_FALSE(popup->CloseTimer.Enabled());
    EXPECT_TRUE(GTK_IS_WINDOW(widget)) << "the window is still there";
    // Shown again, it moves and slides as before; then it goes with the pop-up.
    popup->ShowNotify();
    EXPECT_TRUE(uitest::PumpUntil([&] { return gtk_widget_get_mapped(widget); }));
    EXPECT_TRUE(uitest::PumpUntil([&] { return !popup->OpenTimer.Enabled(); }));
    EXPECT_EQ(popup->Top(), popup->TargetTop);
    popup.reset();
    uitest::Settle();
}

TEST_F(ListsWindow, ThePopupRisesInTheCornerWithoutTakingTheFocus) {
    // The main window is the one with the focus.
    gtk_window_present(window);
    ASSERT_TRUE(uitest::PumpUntil([] { return gtk_window_is_active(window); }));

    TPopupForm popup(window);
    auto* gtkWindow = dynamic_cast<TGtkPopupWindow*>(&popup.Window());
    ASSERT_NE(gtkWindow, nullptr);
    std::vector<std::string> reads;
    popup.OnReadStory = [&](TPopupForm*, const AnsiString& site, const AnsiString& story) {
        reads.push_back(site + "/" + story);
    };
    popup.ClearNotifies();
    std::vector<TBookListData> shelf;
    db->GetShelf(shelf, kShelfOnline);
    for (const TBookListData& b : shelf)
        popup.Notifier().AddNotify(b.SiteID, b.ArticleID, b.ArticleTitle, b.ArticleAuthor,
                                   b.LastArticleInfo);
    ASSERT_TRUE(uitest::PumpUntil([&] { return popup.Notifies.size() == shelf.size(); }));
    popup.ShowNotify();
    ASSERT_TRUE(uitest::PumpUntil([&] { return !popup.OpenTimer.Enabled(); }));
    uitest::Settle();

    GtkWidget* widget = GTK_WIDGET(gtkWindow->Window());
    const TRect area = popup.Window().WorkArea();
    int x = 0, y = 0;
    EXPECT_TRUE(uitest::PumpUntil([&] {
        gdk_window_get_origin(gtk_widget_get_window(widget), &x, &y);
        return x == area.Right - 320 && y == area.Bottom - 150;
    })) << x
        << "," << y;
    EXPECT_FALSE(gtk_window_get_accept_focus(gtkWindow->Window()));
    EXPECT_TRUE(gtk_window_get_skip_taskbar_hint(gtkWindow->Window()));
    EXPECT_TRUE(gtk_window_is_active(window)) << "the main window keeps the focus";
    EXPECT_FALSE(gtk_window_is_active(gtkWindow->Window()));

    // The frame's outer line runs round the whole pop-up: nothing is cut off.
    // The strip that rose into view last is painted on a later frame, so the
    // screen is read until it shows the line or the wait runs out.
    const std::pair<int, int> edges[] = {{20, 80}, {339, 80}, {200, 20}, {200, 169}};
    GdkPixbuf* shot = nullptr;
    uitest::PumpUntil([&] {
        if (shot) g_object_unref(shot);
        shot = uitest::ShootScreen(x - 20, y - 20, 340, 170);
        return shot && std::all_of(std::begin(edges), std::end(edges), [&](const auto& p) {
                   return uitest::PixelAt(shot, p.first, p.second) == 0xA9C4DEu;
               });
    });
    ASSERT_NE(shot, nullptr);
    for (const auto& [px, py] : edges)
        EXPECT_EQ(uitest::PixelAt(shot, px, py), 0xA9C4DEu) << px << "," << py;
    EXPECT_TRUE(uitest::SavePng(shot, std::string(QUIRA_SCREENSHOT_DIR) + "/popup.png"));
    g_object_unref(shot);

    // The read button hands back the first notice and the pop-up goes.
    const TRect button = popup.ReaderButton.BoundsRect();
    uitest::ClickAt(x + Centre(button).X, y + Centre(button).Y);
    EXPECT_TRUE(uitest::PumpUntil([&] { return !reads.empty(); }));
    EXPECT_EQ(reads, (std::vector<std::string>{shelf[0].SiteID + "/" + shelf[0].ArticleID}));
    EXPECT_FALSE(gtk_widget_get_visible(widget));
    EXPECT_TRUE(gtk_window_is_active(window));
}

}  // namespace
