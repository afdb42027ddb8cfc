#include "platform/ui/Browser.h"
#include "platform/ui/Fonts.h"
#include "platform/ui/Window.h"

#include "tests/support/window/WindowTest.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

using namespace platform::ui;

namespace {

using uitest::PixelAt;

// A shaped, borderless window with a dialog label in the default font over a
// browser page in the page font, shot from the screen as a user sees it. The
// picture is kept as ui_window.png in the test's folder to look at.
TEST(ScreenshotTest, ShapedWindowWithPageAndChineseText) {
    uitest::RequireUi();
    uitest::TempDir data;
    data.Write("page.html", R"HTML(<!DOCTYPE html><html><head><meta charset="utf-8"><style>
body { margin: 0; background: #f3ead8; font: 18px "Microsoft Yahei"; color: #333; }
h1 { font: 24px "微软雅黑"; margin: 12px 16px; color: #8a3b12; }
p { margin: 8px 16px; line-height: 1.6; } .kai { font-family: "KaiTi"; } .song { font-family: "SimSun"; }
</style></head><body><h1>第一章 风起</h1><p>天色将明，山门外的石阶上落满了昨夜的桂花。</p>
<p class="kai">楷体：少年背着书箱，一步一步走上山来。</p><p class="song">宋体：Quira 阅读器 0123456789</p></body></html>)HTML");
    GtkWindow* window = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    BorderlessFrame frame(window, 3);
    frame.SetShape(CutCornerShape);
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    GtkWidget* label = gtk_label_new("说明：Tolvane核心文件丢失，请重新下载，并覆盖安装。");
    SetDefaultFont(label);
    gtk_box_pack_start(GTK_BOX(box), label, FALSE, FALSE, 6);
    Browser browser;
    gtk_box_pack_start(GTK_BOX(box), browser.Widget(), TRUE, TRUE, 0);
    gtk_container_add(GTK_CONTAINER(window), box);
    SetWindowRect(window, {40, 40, 520, 300});
    gtk_widget_show_all(GTK_WIDGET(window));
    browser.Navigate(data.Path() + "/page.html");
    // A busy machine starts the page's web process slowly.
    ASSERT_TRUE(
        uitest::PumpUntil([&] { return !browser.IsLoading() && !browser.Uri().empty(); }, 30000));
    // The page paints some time after it has loaded, later on a busy machine.
    GdkWindow* root = gdk_get_default_root_window();
    GdkPixbuf* shot = nullptr;
    const bool painted = uitest::PumpUntil(
        [&] {
            if (shot) g_object_unref(shot);
            shot = gdk_pixbuf_get_from_window(root, 40, 40, 480, 260);
            return shot && PixelAt(shot, 470, 250) == 0xf3ead8u &&
                   PixelAt(shot, 0, 0) != PixelAt(shot, 3, 3) &&
                   PixelAt(shot, 479, 259) != 0xf3ead8u;
        },
        30000);
    ASSERT_NE(shot, nullptr);
    EXPECT_TRUE(painted);
    const std::string file = std::string(QUIRA_BIN_DIR) + "/../tests/ui/ui_window.png";
    gdk_pixbuf_save(shot, file.c_str(), "png", nullptr, nullptr);
    // The page's background shows in the page; the cut corners show the root.
    EXPECT_EQ(PixelAt(shot, 470, 250), 0xf3ead8u);
    EXPECT_NE(PixelAt(shot, 0, 0), PixelAt(shot, 3, 3));
    EXPECT_NE(PixelAt(shot, 479, 259), 0xf3ead8u);
    g_object_unref(shot);
    gtk_widget_destroy(GTK_WIDGET(window));
}

}  // namespace
