// The controls in a real window on a real display (Xvfb under `make test`):
// pointer and key events go through the X server and GTK to the host.

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <functional>
#include <string>

#include "controls/GtkControlHost.h"
#include "tests/support/window/WindowTest.h"
#include "tools/gallery/GalleryScene.h"

namespace {

class Display : public ::testing::Environment {
  public:
    void SetUp() override {
        ASSERT_TRUE(uitest::OpenPrivateDisplay()) << "Xvfb did not start";
        ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "no display";
    }
};
const auto* const kDisplay = ::testing::AddGlobalTestEnvironment(new Display);

// Runs the main loop until the condition holds (bounded).
bool RunUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        if (!done()) g_usleep(2000);
    }
    return true;
}

using uitest::Settle;

struct WindowFixture : ::testing::Test {
    WindowFixture() {
        window = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
        gtk_window_set_decorated(window, FALSE);
        gtk_window_set_default_size(window, GalleryScene::kWidth, GalleryScene::kHeight);
        gtk_window_move(window, 0, 0);
        host.Background = RGB(0xEE, 0xF1, 0xF4);
        host.UseWindow(window);
        gtk_container_add(GTK_CONTAINER(window), host.Widget());
        scene = BuildGalleryScene(host);
        // After the window's own handler, which has painted its children.
        g_signal_connect_after(window, "draw",
                               G_CALLBACK(+[](GtkWidget*, cairo_t*, gpointer drawn) -> gboolean {
                                   *static_cast<bool*>(drawn) = true;
                                   return FALSE;
                               }),
                               &drawn);
        gtk_widget_show_all(GTK_WIDGET(window));
        if (!uitest::InputAvailable()) ADD_FAILURE() << "the display has no test extension";
        EXPECT_TRUE(RunUntil([&] { return drawn; })) << "the window never painted";
        Settle();
        // Start from a spot with no control under it.
        MoveTo(GalleryScene::kWidth - 20, GalleryScene::kHeight - 8);
    }
    ~WindowFixture() override {
        scene.reset();
        gtk_widget_destroy(GTK_WIDGET(window));
    }

    GdkWindow* Surface() const { return gtk_widget_get_window(host.DrawingArea()); }
    // Pointer and keys through the display, in drawing-area coordinates.
    void MoveTo(int x, int y) {
        // Above any other window on a shared display (QUIRA_TEST_DISPLAY).
        gdk_window_raise(gtk_widget_get_window(GTK_WIDGET(window)));
        int ox = 0, oy = 0;
        gdk_window_get_origin(Surface(), &ox, &oy);
        uitest::PointerTo(ox + x, oy + y);
        Settle();
    }
    void ClickAt(int x, int y) {
        MoveTo(x, y);
        uitest::Button(1, true);
        uitest::Button(1, false);
        Settle();
    }
    void Click(const TControl& c) { ClickAt(c.Left() + c.Width() / 2, c.Top() + c.Height() / 2); }
    void Type(unsigned keysym) {
        uitest::TypeKey(keysym);
        Settle();
    }

    GtkWindow* window = nullptr;
    TGtkControlHost host;
    std::unique_ptr<GalleryScene> scene;
    bool drawn = false;
};

TEST_F(WindowFixture, ControlsAnswerClicks) {
    GalleryScene& s = *scene;
    int shelfClicks = 0, backClicks = 0;
    s.shelfButton->OnClick = [&](TControl*) { ++shelfClicks; };
    s.back->OnClick = [&](TControl*) { ++backClicks; };
    Click(*s.shelfButton);
    EXPECT_TRUE(RunUntil([&] { return shelfClicks == 1; }));
    EXPECT_TRUE(s.shelfButton->Down());
    Click(*s.back);
    EXPECT_TRUE(RunUntil([&] { return backClicks == 1; }));

    // The radio pair: a click on the author box unchecks the title box.
    Click(*s.byAuthor);
    EXPECT_TRUE(RunUntil([&] { return s.byAuthor->Checked(); }));
    EXPECT_FALSE(s.byTitle->Checked());

    // A genre of the navigation list.
    AnsiString genre;
    s.navigation->OnClickShelfDetail = [&](TControl*, const AnsiString& id) { genre = id; };
    const TRect r = s.library->Children[2]->Rect;
    ClickAt(s.navigation->Left() + r.Left + 3, s.navigation->Top() + r.Top + r.Height() / 2);
    EXPECT_TRUE(RunUntil([&] { return !genre.empty(); }));
    EXPECT_EQ(genre, "https://example.com/velqonew/news/?type_id=3");
    EXPECT_EQ(s.library->Children[2]->State, 3);

    // A status-bar link.
    int site = 0;
    s.label->OnClickSite = [&](TControl*) { ++site; };
    ClickAt(s.label->Left() + 20, s.label->Top() + 11);
    EXPECT_TRUE(RunUntil([&] { return site == 1; }));
}

// A placement wholly off the work area (saved on a monitor that is gone)
// brings the frameless window onto the work area instead of out of reach.
TEST_F(WindowFixture, APlacementOffTheWorkAreaLandsOnIt) {
    TGtkFormWindow form(window);
    const TRect area = form.WorkArea();
    ASSERT_FALSE(area.IsEmpty());
    form.SetNormalRect(TRect::FromSize(area.Right + 3000, 40, 400, 300));
    EXPECT_TRUE(RunUntil([&] { return form.NormalRect().Left < area.Right; }));
    const TRect placed = form.NormalRect();
    EXPECT_FALSE(placed.Intersect(area).IsEmpty());
    EXPECT_EQ(placed.Top, 40);
}

// Mended: a window destroyed before its control host took the drawing area
// with it, and the host then reached into the freed widget as it went.
TEST(GtkControlHost, OutlivesTheWindowItSatIn) {
    int criticals = 0;
    const auto count =
        +[](const gchar*, GLogLevelFlags, const gchar*, gpointer n) { ++*static_cast<int*>(n); };
    const guint gobject =
        g_log_set_handler("GLib-GObject", G_LOG_LEVEL_CRITICAL, count, &criticals);
    const guint gtk = g_log_set_handler("Gtk", G_LOG_LEVEL_CRITICAL, count, &criticals);
    {
        auto host = std::make_unique<TGtkControlHost>();
        GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_container_add(GTK_CONTAINER(window), host->Widget());
        gtk_widget_show_all(window);
        Settle();
        gtk_widget_destroy(window);
        Settle();
        host.reset();
    }
    g_log_remove_handler("GLib-GObject", gobject);
    g_log_remove_handler("Gtk", gtk);
    EXPECT_EQ(criticals, 0);
}

// The hand over the search button and a status-bar link, not over the
// other buttons.
TEST_F(WindowFixture, TheHandCursorShowsOverTheSearchButtonAndLinks) {
    GalleryScene& s = *scene;
    MoveTo(s.searchButton->Left() + 10, s.searchButton->Top() + 5);
    EXPECT_TRUE(RunUntil([&] { return gdk_window_get_cursor(Surface()) != nullptr; }));
    MoveTo(600, 300);  // the empty content area
    EXPECT_TRUE(RunUntil([&] { return gdk_window_get_cursor(Surface()) == nullptr; }));
    MoveTo(s.label->Left() + 20, s.label->Top() + 11);  // the product link
    EXPECT_TRUE(RunUntil([&] { return gdk_window_get_cursor(Surface()) != nullptr; }));
    MoveTo(s.shelfButton->Left() + 10, s.shelfButton->Top() + 5);
    EXPECT_TRUE(RunUntil([&] { return s.shelfButton->Hover(); }));
    EXPECT_EQ(gdk_window_get_cursor(Surface()), nullptr);
}

TEST_F(WindowFixture, TheSearchFieldIsARealEditAndEnterSearches) {
    GalleryScene& s = *scene;
    GtkWidget* entry = s.search->Edit().Widget();
    ASSERT_NE(entry, nullptr);
    ASSERT_TRUE(gtk_widget_get_mapped(entry));
    // Placed over the box: 30 pixels in, 9 down, 302 x 18.
    const auto placed = [&] {
        int x = -1, y = -1;
        gtk_widget_translate_coordinates(entry, host.DrawingArea(), 0, 0, &x, &y);
        return TRect::FromSize(x, y, gtk_widget_get_allocated_width(entry),
                               gtk_widget_get_allocated_height(entry));
    };
    EXPECT_EQ(placed(), TRect::FromSize(s.search->Left() + 30, s.search->Top() + 9, 302, 18));

    // A click into the prompt empties it.
    ClickAt(s.search->Left() + 60, s.search->Top() + 17);
    EXPECT_TRUE(RunUntil([&] { return s.search->Text().empty(); }));

    int searches = 0;
    s.search->OnClickEx = [&](TControl*) { ++searches; };
    EXPECT_TRUE(gtk_widget_has_focus(entry)) << "the click focused the edit";
    Type(GDK_KEY_a);
    Type(GDK_KEY_b);
    Type(GDK_KEY_Return);
    EXPECT_TRUE(RunUntil([&] { return searches == 1; }));
    EXPECT_EQ(s.search->Text(), "ab");

    // Moving the box moves its edit.
    s.search->SetLeft(200);
    EXPECT_TRUE(RunUntil([&] { return placed().Left == 230; }));
}

TEST_F(WindowFixture, TheColourBoxIsARealComboBox) {
    GalleryScene& s = *scene;
    GtkWidget* combo = s.colorBox->NativeChildren()[0]->Widget();
    ASSERT_NE(combo, nullptr);
    EXPECT_TRUE(GTK_IS_COMBO_BOX(combo));
    EXPECT_EQ(gtk_combo_box_get_active(GTK_COMBO_BOX(combo)), 2);
    int changes = 0;
    s.colorBox->OnChange = [&](TControl*) { ++changes; };
    gtk_combo_box_set_active(GTK_COMBO_BOX(combo), 3);  // as a pick from its list
    Settle();
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(s.colorBox->Selected(), RGB(0x29, 0x44, 0x49));
    s.colorBox->SetItemIndex(0);  // the program's own choice raises nothing
    Settle();
    EXPECT_EQ(gtk_combo_box_get_active(GTK_COMBO_BOX(combo)), 0);
    EXPECT_EQ(changes, 1);
}

// A screenshot of the whole window from the display, kept next to the test
// binary for a look by eye; a few pixels of it are checked here.
TEST_F(WindowFixture, Screenshot) {
    GalleryScene& s = *scene;
    // Let the status message scroll in (the label's timer runs on the main loop).
    EXPECT_TRUE(RunUntil(
        [&] { return s.label->ScrollOffset() == -1 && !s.label->StatusInfo().empty(); }, 5000));
    Settle();
    RunUntil([] { return false; }, 100);
    GdkWindow* top = gtk_widget_get_window(GTK_WIDGET(window));
    GdkPixbuf* shot =
        gdk_pixbuf_get_from_window(top, 0, 0, GalleryScene::kWidth, GalleryScene::kHeight);
    ASSERT_NE(shot, nullptr);
    const std::string path = std::string(QUIRA_SCREENSHOT_DIR) + "/controls-window.png";
    EXPECT_TRUE(gdk_pixbuf_save(shot, path.c_str(), "png", nullptr, nullptr));
    const auto pixel = [&](int x, int y) {
        const guchar* p = gdk_pixbuf_get_pixels(shot) + y * gdk_pixbuf_get_rowstride(shot) +
                          x * gdk_pixbuf_get_n_channels(shot);
        return RGB(p[0], p[1], p[2]);
    };
    EXPECT_EQ(pixel(150, 95), RGB(0x2B, 0x83, 0xD6)) << "the accent band";
    EXPECT_EQ(pixel(100, 380), RGB(0xE2, 0xED, 0xF7)) << "the navigation background";
    EXPECT_EQ(pixel(s.shelfButton->Left() + 4, s.shelfButton->Top() + 10), RGB(0x2B, 0x83, 0xD6))
        << "the shelf button's face";
    g_object_unref(shot);
}

}  // namespace
