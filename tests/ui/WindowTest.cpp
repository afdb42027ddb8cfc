#include "platform/ui/Cursor.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/TrayIcon.h"
#include "platform/ui/Window.h"

#include "tests/support/window/WindowTest.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

using namespace platform::ui;

namespace {

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        uitest::RequireUi();
        window = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    }
    void TearDown() override { gtk_widget_destroy(GTK_WIDGET(window)); }

    // Shows the window at a place and size and waits until it is there.
    void ShowAt(const Rect& rect) {
        SetWindowRect(window, rect);
        gtk_widget_show_all(GTK_WIDGET(window));
        ASSERT_TRUE(uitest::PumpUntil([&] {
            return gtk_widget_get_mapped(GTK_WIDGET(window)) && WindowRect(window) == rect;
        }));
        uitest::PumpFor(50);
    }

    GtkWindow* window = nullptr;
};

TEST_F(WindowTest, EdgesResizeWithinTheMinimumAndTheContentKeepsItsClicks) {
    BorderlessFrame frame(window, 3);
    frame.SetMinSize(200, 150);
    std::vector<std::pair<int, int>> shaped;
    frame.SetShape([&](int w, int h) {
        shaped.emplace_back(w, h);
        return CutCornerShape(w, h);
    });
    int resized = 0;
    frame.OnResize = [&](int, int) { ++resized; };
    GtkWidget* button = gtk_button_new_with_label("x");
    int clicks = 0;
    g_signal_connect(button, "clicked", G_CALLBACK(+[](GtkButton*, int* n) { ++*n; }), &clicks);
    gtk_container_add(GTK_CONTAINER(window), button);  // content right up to the edges
    ShowAt({100, 100, 400, 300});
    ASSERT_FALSE(shaped.empty());
    EXPECT_EQ(shaped.back(), std::make_pair(300, 200));

    // A press on the bottom-right corner drags the size, over the button (the
    // outermost pixels of the corner are cut off by the shape).
    uitest::PointerTo(100 + 297, 100 + 197);
    uitest::Button(1, true);
    uitest::PointerTo(100 + 297 + 60, 100 + 197 + 40);
    uitest::Button(1, false);
    ASSERT_TRUE(uitest::PumpUntil([&] { return WindowRect(window).Width() == 360; }, 3000))
        << WindowRect(window).Width();
    EXPECT_EQ(WindowRect(window).Height(), 240);
    EXPECT_EQ(clicks, 0);
    // The shape follows the size once the resize has reached the frame.
    EXPECT_TRUE(uitest::PumpUntil(
        [&] { return !shaped.empty() && shaped.back() == std::make_pair(360, 240); }, 3000))
        << shaped.back().first << "x" << shaped.back().second;
    EXPECT_GE(resized, 1);

    // Dragging the left edge far to the right stops at the minimum width.
    uitest::PointerTo(101, 200);
    uitest::Button(1, true);
    uitest::PointerTo(150, 200);
    uitest::PointerTo(400, 200);
    uitest::Button(1, false);
    ASSERT_TRUE(uitest::PumpUntil([&] { return WindowRect(window).Width() == 200; }, 3000))
        << WindowRect(window).Width();

    // Inside the edges the content gets the click.
    const Rect now = WindowRect(window);
    uitest::ClickAt(now.left + 50, now.top + 50);
    EXPECT_TRUE(uitest::PumpUntil([&] { return clicks == 1; }, 2000));
    EXPECT_EQ(WindowRect(window), now);
}

TEST_F(WindowTest, ContentStartsAMoveDrag) {
    GtkWidget* area = gtk_event_box_new();
    g_signal_connect(area, "button-press-event",
                     G_CALLBACK(+[](GtkWidget* widget, GdkEventButton*, gpointer) -> gboolean {
                         BeginMoveDrag(widget);
                         return TRUE;
                     }),
                     nullptr);
    gtk_container_add(GTK_CONTAINER(window), area);
    gtk_window_set_decorated(window, FALSE);
    ShowAt({200, 150, 500, 350});
    uitest::PointerTo(250, 170);
    uitest::Button(1, true);
    uitest::PointerTo(330, 230);
    uitest::Button(1, false);
    ASSERT_TRUE(uitest::PumpUntil([&] { return WindowRect(window).left == 280; }, 3000))
        << WindowRect(window).left;
    EXPECT_EQ(WindowRect(window), (Rect{280, 210, 580, 410}));
}

TEST_F(WindowTest, WithoutATrayHidingMinimisesSoTheWindowStaysReachable) {
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 16, 16);
    gdk_pixbuf_fill(pixbuf, 0x3366ccff);
    uitest::TempDir folder;
    const std::string icon = folder.Path() + "/quira.png";
    ASSERT_TRUE(gdk_pixbuf_save(pixbuf, icon.c_str(), "png", nullptr, nullptr));
    g_object_unref(pixbuf);

    std::vector<std::string> clicked;
    {
        TrayIcon tray(icon,
                      {{platform::Utf8ToAnsi("显示Tolvane"), [&] { clicked.push_back("show"); }},
                       {"-", nullptr},
                       {platform::Utf8ToAnsi("退出"), [&] { clicked.push_back("quit"); }}});
        EXPECT_EQ(TrayIcon::Current(), &tray);
        ShowAt({50, 50, 350, 250});
        uitest::PumpFor(100);
        ASSERT_FALSE(SystemTrayPresent());
        EXPECT_FALSE(tray.Shown());
        EXPECT_EQ(HideToTray(window), HideResult::Minimised);
        EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(window)));

        GList* items = gtk_container_get_children(GTK_CONTAINER(tray.Menu()));
        ASSERT_EQ(g_list_length(items), 3u);
        EXPECT_STREQ(gtk_menu_item_get_label(GTK_MENU_ITEM(items->data)), "显示Tolvane");
        gtk_menu_item_activate(GTK_MENU_ITEM(g_list_nth_data(items, 2)));
        gtk_menu_item_activate(GTK_MENU_ITEM(items->data));
        g_list_free(items);
        EXPECT_EQ(clicked, (std::vector<std::string>{"quit", "show"}));
        ShowFromTray(window);
        EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(window)));
    }
    EXPECT_EQ(TrayIcon::Current(), nullptr);
}

TEST_F(WindowTest, WorkAreaPopupsAndCursor) {
    const Rect desktop = DesktopRect();
    const Rect work = WorkArea();
    EXPECT_EQ(desktop, (Rect{0, 0, 1280, 1024}));
    EXPECT_FALSE(work.Empty());
    EXPECT_EQ(KeepInside(work, desktop), work);

    GtkWindow* popup = NewPopupWindow(320, 150);
    EXPECT_TRUE(gtk_window_get_skip_taskbar_hint(popup));
    EXPECT_FALSE(gtk_window_get_decorated(popup));
    EXPECT_FALSE(gtk_window_get_focus_on_map(popup));
    gtk_widget_destroy(GTK_WIDGET(popup));

    ShowAt({10, 10, 110, 110});
    SetScreenCursor(CursorKind::Wait);
    EXPECT_NE(gdk_window_get_cursor(gtk_widget_get_window(GTK_WIDGET(window))), nullptr);
    EXPECT_EQ(ScreenCursor(), CursorKind::Wait);
    SetScreenCursor(CursorKind::Default);
    EXPECT_EQ(gdk_window_get_cursor(gtk_widget_get_window(GTK_WIDGET(window))), nullptr);
}

// Finds the first shown top-level window of a type other than `except`.
GtkWidget* FindShown(GType type) {
    GtkWidget* found = nullptr;
    GList* windows = gtk_window_list_toplevels();
    for (GList* item = windows; item; item = item->next)
        if (G_TYPE_CHECK_INSTANCE_TYPE(item->data, type) &&
            gtk_widget_get_visible(GTK_WIDGET(item->data)))
            found = GTK_WIDGET(item->data);
    g_list_free(windows);
    return found;
}

// Runs `answer` on the dialog of that type once it shows, from the loop,
// until it returns true.
void AnswerWhenShown(GType type, std::function<bool(GtkWidget*)> answer) {
    struct Pending {
        GType type;
        std::function<bool(GtkWidget*)> answer;
    };
    g_timeout_add_full(
        G_PRIORITY_DEFAULT, 50,
        [](gpointer data) -> gboolean {
            auto* pending = static_cast<Pending*>(data);
            GtkWidget* dialog = FindShown(pending->type);
            if (!dialog) return G_SOURCE_CONTINUE;
            return pending->answer(dialog) ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
        },
        new Pending{type, std::move(answer)},
        [](gpointer data) { delete static_cast<Pending*>(data); });
}

TEST_F(WindowTest, MessageBoxesAndModalForms) {
    ShowAt({100, 100, 500, 400});
    AnswerWhenShown(GTK_TYPE_MESSAGE_DIALOG, [](GtkWidget* dialog) {
        gtk_dialog_response(GTK_DIALOG(dialog), IdYes);
        return true;
    });
    EXPECT_EQ(MessageBox(window, platform::Utf8ToAnsi("检测到新版本，是否现在升级？"), "Tolvane",
                         MessageButtons::YesNo, MessageIcon::Question),
              IdYes);
    // Closed by its frame: No where there is no Cancel.
    AnswerWhenShown(GTK_TYPE_MESSAGE_DIALOG, [](GtkWidget* dialog) {
        gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_DELETE_EVENT);
        return true;
    });
    EXPECT_EQ(MessageBox(window, "x", "y", MessageButtons::YesNo), IdNo);

    GtkWindow* form = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    g_object_set_data(G_OBJECT(form), "quira-test-form", form);
    g_timeout_add(
        100,
        [](gpointer f) -> gboolean {
            EndModal(GTK_WINDOW(f), MrOk);
            return G_SOURCE_REMOVE;
        },
        form);
    EXPECT_EQ(ShowModal(form, window), MrOk);
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(form)));
    EXPECT_EQ(gtk_window_get_transient_for(form), window);
    g_timeout_add(
        100,
        [](gpointer f) -> gboolean {
            GdkEvent* event = gdk_event_new(GDK_DELETE);
            event->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(GTK_WIDGET(f))));
            gtk_main_do_event(event);
            gdk_event_free(event);
            return G_SOURCE_REMOVE;
        },
        form);
    EXPECT_EQ(ShowModal(form, window), MrCancel);
    gtk_widget_destroy(GTK_WIDGET(form));
}

// Selects a path in the chooser and accepts once the selection is there: the
// chooser loads folders in the background, slowly on a loaded machine. Gives
// up (cancels) after 60 s.
std::function<bool(GtkWidget*)> ChooseAndAccept(const std::string& path) {
    const gint64 deadline = g_get_monotonic_time() + 60 * G_USEC_PER_SEC;
    return [path, deadline](GtkWidget* dialog) {
        char* now = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog));
        const bool ready = now && path == now;
        g_free(now);
        if (ready) {
            gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
            return true;
        }
        if (g_get_monotonic_time() > deadline) {
            gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
            return true;
        }
        gtk_file_chooser_select_filename(GTK_FILE_CHOOSER(dialog), path.c_str());
        return false;
    };
}

TEST_F(WindowTest, FolderAndFileChoosersGiveTheChosenPath) {
    uitest::TempDir folder;
    const std::string chapter = folder.Write("第一章.txt", "x");
    AnswerWhenShown(GTK_TYPE_FILE_CHOOSER_DIALOG, ChooseAndAccept(folder.Path()));
    const auto chosenFolder = SelectFolder(nullptr, "folder", "/tmp");
    ASSERT_TRUE(chosenFolder);
    EXPECT_EQ(*chosenFolder, folder.Path());

    AnswerWhenShown(GTK_TYPE_FILE_CHOOSER_DIALOG, ChooseAndAccept(chapter));
    const auto chosenFile = SelectFile(nullptr, "file", {{"text", {"*.txt"}}});
    ASSERT_TRUE(chosenFile);
    EXPECT_EQ(*chosenFile, platform::Utf8ToAnsi(chapter));

    AnswerWhenShown(GTK_TYPE_FILE_CHOOSER_DIALOG, [](GtkWidget* dialog) {
        gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
        return true;
    });
    EXPECT_FALSE(SelectFile(nullptr, "file", {}));
}

}  // namespace
