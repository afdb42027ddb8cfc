#include "platform/ui/TrayIcon.h"
#include "platform/ui/Window.h"

#include "tests/support/window/WindowTest.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

// After gtest: Xlib's macros (None, Bool) would break its templates.
#include "tests/support/window/FakeTray.h"

using namespace platform::ui;

namespace {

TEST(TrayTest, WithATrayHidingHidesAndTheIconBringsTheWindowBack) {
    uitest::RequireUi();
    uitest::FakeTray tray;
    ASSERT_TRUE(SystemTrayPresent());

    uitest::TempDir folder;
    const std::string icon = folder.Path() + "/quira.png";
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 22, 22);
    gdk_pixbuf_fill(pixbuf, 0x2a6fdbff);
    ASSERT_TRUE(gdk_pixbuf_save(pixbuf, icon.c_str(), "png", nullptr, nullptr));
    g_object_unref(pixbuf);

    GtkWindow* window = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    gtk_widget_show(GTK_WIDGET(window));
    TrayIcon trayIcon(icon, {{"show", nullptr}});
    trayIcon.OnActivate = [window] { ShowFromTray(window); };
    ASSERT_TRUE(uitest::PumpUntil([&] { return trayIcon.Shown(); }, 5000));

    EXPECT_EQ(HideToTray(window), HideResult::Hidden);
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(window)));
    EXPECT_TRUE(gtk_window_get_skip_taskbar_hint(window));
    trayIcon.OnActivate();
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(window)));
    EXPECT_FALSE(gtk_window_get_skip_taskbar_hint(window));
    gtk_widget_destroy(GTK_WIDGET(window));
}

}  // namespace
