// Each dialog in a real window on a private display: opened as the main
// window opens it (modally, over an owner), driven by clicks and keys that go
// through the X server, and photographed.

#include <gdk/gdk.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <filesystem>
#include <functional>
#include <string>

#include "core/DBCreater.h"
#include "core/Folders.h"
#include "core/StoryDB.h"
#include "net/WinHTTPRequest2.h"
#include "platform/IniFile.h"
#include "platform/ui/Dialogs.h"
#include "shelf/LoginTexts.h"
#include "shelf/dialogs/AMShelfForm.h"
#include "shelf/dialogs/CacheForm.h"
#include "shelf/dialogs/ExportForm.h"
#include "shelf/dialogs/SettingForm.h"
#include "shelf/dialogs/SiteParamForm.h"
#include "shelf/dialogs/SynForm.h"
#include "shelf/dialogs/SyncForm.h"
#include "tests/support/FakeHttpServer.h"
#include "tests/support/FakeNovelSite.h"
#include "tests/support/TempTree.h"
#include "tests/support/VendorStandIn.h"
#include "tests/support/window/WindowTest.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string U(const AnsiString& ansi) {
    return platform::AnsiToUtf8(ansi);
}

GtkWidget* FindNamed(GtkWidget* widget, const char* name) {
    if (g_strcmp0(gtk_widget_get_name(widget), name) == 0) return widget;
    if (!GTK_IS_CONTAINER(widget)) return nullptr;
    GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
    GtkWidget* found = nullptr;
    for (GList* c = children; c && !found; c = c->next)
        found = FindNamed(GTK_WIDGET(c->data), name);
    g_list_free(children);
    return found;
}

// The shown top-level window with that title, or null.
GtkWindow* ShownWindow(const std::string& title) {
    GList* all = gtk_window_list_toplevels();
    GtkWindow* found = nullptr;
    for (GList* w = all; w && !found; w = w->next) {
        GtkWindow* window = GTK_WINDOW(w->data);
        if (gtk_widget_get_mapped(GTK_WIDGET(window)) &&
            g_strcmp0(gtk_window_get_title(window), title.c_str()) == 0)
            found = window;
    }
    g_list_free(all);
    return found;
}

// A shown message box, or null.
GtkWindow* ShownMessageBox() {
    GList* all = gtk_window_list_toplevels();
    GtkWindow* found = nullptr;
    for (GList* w = all; w && !found; w = w->next)
        if (GTK_IS_MESSAGE_DIALOG(w->data) && gtk_widget_get_mapped(GTK_WIDGET(w->data)))
            found = GTK_WINDOW(w->data);
    g_list_free(all);
    return found;
}

std::string LabelOf(GtkWidget* widget) {
    if (GTK_IS_LABEL(widget)) return gtk_label_get_text(GTK_LABEL(widget));
    if (GTK_IS_BUTTON(widget)) return gtk_button_get_label(GTK_BUTTON(widget));
    if (GTK_IS_ENTRY(widget)) return gtk_entry_get_text(GTK_ENTRY(widget));
    return {};
}

// The text of a message box and a click on one of its buttons.
struct MessageBoxAnswer {
    explicit MessageBoxAnswer(int button) : button(button) {}
    int button;        // the button's platform::ui::MessageResult
    std::string text;  // what the box said
    bool answered = false;
};

// Runs `script` once the window of that title shows, from inside the
// window's modal loop, then runs `open` (which blocks until the dialog ends).
class DialogDriver {
  public:
    DialogDriver(std::string title, std::function<void(GtkWindow*)> script)
        : title_(std::move(title)), script_(std::move(script)) {
        source_ = g_timeout_add(20, &DialogDriver::Poll, this);
    }
    ~DialogDriver() {
        if (source_) g_source_remove(source_);
    }
    bool Ran() const { return ran_; }

  private:
    static gboolean Poll(gpointer self) {
        auto* driver = static_cast<DialogDriver*>(self);
        GtkWindow* window = ShownWindow(driver->title_);
        if (!window) {
            // A dialog that never shows must not hold the test for ever.
            if (std::chrono::steady_clock::now() < driver->deadline_) return G_SOURCE_CONTINUE;
            ADD_FAILURE() << "no window \"" << driver->title_ << "\" showed";
            GList* all = gtk_window_list_toplevels();
            for (GList* w = all; w; w = w->next)
                if (platform::ui::IsModal(GTK_WINDOW(w->data)))
                    platform::ui::EndModal(GTK_WINDOW(w->data), platform::ui::MrNone);
            g_list_free(all);
            driver->source_ = 0;
            return G_SOURCE_REMOVE;
        }
        driver->source_ = 0;
        uitest::Settle();
        driver->script_(window);
        driver->ran_ = true;
        // The script ends the dialog; one that stays open is ended here.
        driver->window_ = window;
        driver->source_ = g_timeout_add(15000, &DialogDriver::Stuck, driver);
        return G_SOURCE_REMOVE;
    }
    static gboolean Stuck(gpointer self) {
        auto* driver = static_cast<DialogDriver*>(self);
        driver->source_ = 0;
        if (platform::ui::IsModal(driver->window_)) {
            ADD_FAILURE() << "\"" << driver->title_ << "\" stayed open after its script";
            platform::ui::EndModal(driver->window_, platform::ui::MrNone);
        }
        return G_SOURCE_REMOVE;
    }
    std::string title_;
    std::function<void(GtkWindow*)> script_;
    guint source_ = 0;
    bool ran_ = false;
    GtkWindow* window_ = nullptr;
    std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::now() + 30s;
};

// Answers the next message box that shows (its modal loop runs inside the
// click that raised it) by clicking one of its buttons.
class MessageBoxAnswerer {
  public:
    explicit MessageBoxAnswerer(MessageBoxAnswer& answer) : answer_(answer) {
        source_ = g_timeout_add(20, &MessageBoxAnswerer::Poll, this);
    }
    ~MessageBoxAnswerer() {
        if (source_) g_source_remove(source_);
    }

  private:
    static gboolean Poll(gpointer self) {
        auto* answerer = static_cast<MessageBoxAnswerer*>(self);
        GtkWindow* box = ShownMessageBox();
        if (!box) return G_SOURCE_CONTINUE;
        answerer->source_ = 0;
        uitest::Settle();
        gchar* text = nullptr;
        g_object_get(box, "text", &text, nullptr);
        answerer->answer_.text = text ? text : "";
        g_free(text);
        if (GtkWidget* button =
                gtk_dialog_get_widget_for_response(GTK_DIALOG(box), answerer->answer_.button)) {
            uitest::ClickWidget(button, gtk_widget_get_allocated_width(button) / 2,
                                gtk_widget_get_allocated_height(button) / 2);
            answerer->answer_.answered = true;
        }
        uitest::Settle();
        return G_SOURCE_REMOVE;
    }
    MessageBoxAnswer& answer_;
    guint source_ = 0;
};

class DialogsWindowTest : public ::testing::Test {
  protected:
    DialogsWindowTest() : tree_(testing_support::TempTree::Profile::kXdg) {}

    void SetUp() override {
        uitest::RequireUi();
        ASSERT_TRUE(uitest::InputAvailable());
        SetAppFolder(tree_.Path("app", true));
        SetDataFolder(tree_.Path("data", true));
        SetProgramFolder(std::string(QUIRA_BIN_DIR) + "/");
        tree_.Make("app");
        tree_.Make("data/BooK");
        dbPath_ = tree_.Write("app/idata.dll", "");
        ASSERT_TRUE(TDBCreater().CheckDatabase(dbPath_, dbPath_ + ".none"));
        SetStoryDB(std::make_unique<TStoryDB>(dbPath_));
        owner_ = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
        gtk_window_set_title(owner_, "VE@LQO");
        gtk_window_set_default_size(owner_, 900, 566);
        gtk_window_move(owner_, 0, 0);
        gtk_widget_show_all(GTK_WIDGET(owner_));
        ASSERT_TRUE(uitest::PumpUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(owner_)); }));
    }
    void TearDown() override {
        SetLoginTexts({});
        EXPECT_TRUE(TWinHTTPThread::WaitUntilNoneRunning(10s));
        uitest::Settle();
        gtk_widget_destroy(GTK_WIDGET(owner_));
        SetStoryDB(nullptr);
        server_.Stop();
    }

    static GtkWidget* Widget(GtkWindow* window, const char* name) {
        GtkWidget* widget = FindNamed(GTK_WIDGET(window), name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    // A click in the middle of a control of the dialog.
    static void Click(GtkWindow* window, const char* name) {
        GtkWidget* widget = Widget(window, name);
        if (!widget) return;
        gdk_window_raise(gtk_widget_get_window(GTK_WIDGET(window)));
        // Where the control is now, after a change of the layout.
        gtk_container_check_resize(GTK_CONTAINER(window));
        uitest::Settle();
        uitest::ClickWidget(widget, gtk_widget_get_allocated_width(widget) / 2,
                            gtk_widget_get_allocated_height(widget) / 2);
        uitest::Settle();
    }
    static std::string Text(GtkWindow* window, const char* name) {
        GtkWidget* widget = Widget(window, name);
        return widget ? LabelOf(widget) : std::string();
    }
    static bool Visible(GtkWindow* window, const char* name) {
        GtkWidget* widget = Widget(window, name);
        return widget && gtk_widget_is_visible(widget);
    }
    static void Shot(GtkWindow* window, const std::string& name) {
        // What the screen shows once the window has painted its last change.
        gtk_container_check_resize(GTK_CONTAINER(window));
        bool drawn = false;
        const gulong painted = g_signal_connect_after(
            window, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t*, gpointer flag) -> gboolean {
                *static_cast<bool*>(flag) = true;
                return FALSE;
            }),
            &drawn);
        gtk_widget_queue_draw(GTK_WIDGET(window));
        EXPECT_TRUE(uitest::PumpUntil([&] { return drawn; })) << name;
        g_signal_handler_disconnect(window, painted);
        uitest::Settle();
        GdkPixbuf* shot = uitest::ShootWidget(GTK_WIDGET(window));
        ASSERT_NE(shot, nullptr);
        // A dialog's client area is white where nothing is drawn.
        EXPECT_EQ(uitest::PixelAt(shot, gdk_pixbuf_get_width(shot) - 4, 4), 0xFFFFFFu) << name;
        EXPECT_TRUE(uitest::SavePng(shot, std::string(QUIRA_SCREENSHOT_DIR) + "/" + name + ".png"));
        g_object_unref(shot);
    }

    // A story of a fake site, stored with its chapter list.
    testing_support::FakeStory Story(int chapters) {
        testing_support::FakeSiteOptions options;
        options.siteID = "gbk";
        site_ = std::make_unique<testing_support::FakeNovelSite>(server_, options);
        const auto row = site_->Row();
        EXPECT_TRUE(StoryDB()->SaveSite(row.SiteID, row.ToSiteItemData()));
        const auto story = site_->AddStory("剑影江湖", "云中客", chapters, 2);
        TStoryDB& db = *StoryDB();
        EXPECT_TRUE(db.AddArticle("gbk", story.id, platform::Utf8ToAnsi(story.title),
                                  platform::Utf8ToAnsi(story.author), "", "", "", -1,
                                  story.folder));
        TStoryDB::ChapterBatch batch(db);
        int n = 0;
        for (const auto* chapter : story.Chapters())
            db.AddChapter("gbk", story.id, chapter->id, "", platform::Utf8ToAnsi(chapter->name), "",
                          n++);
        return story;
    }

    testing_support::TempTree tree_;
    std::string dbPath_;
    GtkWindow* owner_ = nullptr;
    testing_support::FakeHttpServer server_;
    std::unique_ptr<testing_support::FakeNovelSite> site_;
};

TEST_F(DialogsWindowTest, SyncAsksForALoginThenUploadsTheHistory) {
    // Without a login the user is sent to log in first.
    MessageBoxAnswer loginFirst{platform::ui::IdOk};
    {
        MessageBoxAnswerer answerer(loginFirst);
        SetLoginTexts({"reader", "", "u1", "f1"});
        EXPECT_EQ(ShowSynForm(owner_), platform::ui::MrNone);
    }
    EXPECT_TRUE(loginFirst.answered);
    EXPECT_EQ(loginFirst.text, "您还还没有登录用户中心，请先登录！");

    testing_support::VendorStandIn vendor(server_);
    vendor.AddSyncAccount("u1", "key", "f1");
    tree_.SetEnv("QUIRA_SERVICE_URL", vendor.BaseURL());
    TSiteItemData site;
    site.SiteID = "s1";
    site.SiteName = platform::Utf8ToAnsi("书站一");
    ASSERT_TRUE(StoryDB()->SaveSite("s1", site));
    ASSERT_TRUE(
        StoryDB()->AddArticle("s1", "1", platform::Utf8ToAnsi("剑影江湖"), "", "", "", "", -1, ""));
    ASSERT_TRUE(StoryDB()->SaveReadPosition("s1", "1", "2024-01-01 00:00:00", "3", 0, 0));

    int synced = 0;
    DialogDriver driver("阅读记录同步", [&](GtkWindow* dialog) {
        EXPECT_TRUE(Visible(dialog, "LabelMemo"));
        EXPECT_FALSE(Visible(dialog, "ProgressBar"));
        EXPECT_TRUE(
            gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(Widget(dialog, "rbSaveRemote"))));
        Shot(dialog, "syn-choose");
        // A second opening only brings this one to the front.
        EXPECT_EQ(ShowSynForm(owner_), platform::ui::MrNone);
        Click(dialog, "rbSaveLocal");
        Click(dialog, "BtnOK");
        EXPECT_TRUE(uitest::PumpUntil([&] { return Text(dialog, "BtnCancel") == "完成"; }));
        EXPECT_EQ(Text(dialog, "LabelDescription"), "数据同步完成");
        EXPECT_FALSE(Visible(dialog, "rbSaveLocal"));
        EXPECT_FALSE(gtk_widget_get_sensitive(Widget(dialog, "BtnOK")));
        Shot(dialog, "syn-done");
        Click(dialog, "BtnCancel");
    });
    SetLoginTexts({"reader", "key", "u1", "f1"});
    EXPECT_EQ(ShowSynForm(owner_, [&] { ++synced; }), platform::ui::MrOk);
    EXPECT_TRUE(driver.Ran());
    EXPECT_EQ(synced, 1);
    ASSERT_EQ(vendor.SyncRows("u1").size(), 1u);
    EXPECT_EQ(vendor.SyncRows("u1")[0].bookname, "剑影江湖");
}

TEST_F(DialogsWindowTest, ExportWarnsForTextThenWritesTheEpub) {
    const auto story = Story(6);
    const std::string folder = tree_.Make("export");
    ASSERT_TRUE(StoryDB()->SetExportFolder(platform::Utf8ToAnsi(folder)));
    DialogDriver driver("小说导出  来源站点：测试书站", [&](GtkWindow* dialog) {
        EXPECT_EQ(Text(dialog, "LabelTitle"), "请设置您要导出的文件夹位置");
        EXPECT_EQ(Text(dialog, "ExportFolderEdit"), folder);
        Shot(dialog, "export-choose");
        // TXT warns about pictures; "否" stays here.
        MessageBoxAnswer no{platform::ui::IdNo};
        {
            MessageBoxAnswerer answerer(no);
            Click(dialog, "BtnOK");
            EXPECT_TRUE(uitest::PumpUntil([&] { return no.answered; }));
        }
        EXPECT_NE(no.text.find("Tolvane推荐您使用EPUB格式进行导出"), std::string::npos);
        EXPECT_TRUE(Visible(dialog, "RBExportTXT"));

        Click(dialog, "RBExportEPUB");
        gtk_combo_box_set_active(GTK_COMBO_BOX(Widget(dialog, "CBChapter")), 2);
        Click(dialog, "BtnOK");
        EXPECT_TRUE(uitest::PumpUntil([&] { return Text(dialog, "BtnOK") == "完成"; }, 60000));
        EXPECT_EQ(Text(dialog, "LabelTitle"), "小说导出完成");
        EXPECT_EQ(Text(dialog, "LabelDescription"), "小说已经导出到:" + folder + "/剑影江湖.epub");
        EXPECT_FALSE(Visible(dialog, "BtnCancel"));
        EXPECT_TRUE(gtk_widget_is_sensitive(Widget(dialog, "BtnOK")));
        Shot(dialog, "export-done");
        Click(dialog, "BtnOK");
    });
    EXPECT_EQ(ShowExportForm(owner_, "gbk", story.id, platform::Utf8ToAnsi("测试书站")),
              platform::ui::MrOk);
    EXPECT_TRUE(driver.Ran());
    EXPECT_TRUE(fs::exists(folder + "/剑影江湖.epub"));
    // Chapters before the third were left out of the download.
    EXPECT_EQ(server_.RequestCount(site_->ChapterPath(story.id, story.Chapters()[1]->id)), 0u);
    EXPECT_EQ(server_.RequestCount(site_->ChapterPath(story.id, story.Chapters()[2]->id)), 1u);
}

TEST_F(DialogsWindowTest, SettingsRecordTheBossKeyAndCancelWritesNothing) {
    const auto open = [&](std::function<void(GtkWindow*)> script) {
        DialogDriver driver("设置", std::move(script));
        TSettingResult result;
        const int answer = ShowSettingForm(owner_, result);
        EXPECT_TRUE(driver.Ran());
        return std::pair{answer, result};
    };
    const auto cancelled = open([&](GtkWindow* dialog) {
        EXPECT_EQ(Text(dialog, "Edit1"), "ALT+R");
        Shot(dialog, "settings-general");
        Click(dialog, "Edit1");
        uitest::TypeKey(GDK_KEY_F2);
        EXPECT_TRUE(uitest::PumpUntil([&] { return Text(dialog, "Edit1") == "F2"; }));
        Click(dialog, "BtnCancel");
    });
    EXPECT_EQ(cancelled.first, platform::ui::MrCancel);
    EXPECT_FALSE(fs::exists(SettingsFile()));

    const std::string before = DataFolder();
    const auto accepted = open([&](GtkWindow* dialog) {
        Click(dialog, "Edit1");
        uitest::TypeKey(GDK_KEY_k, {GDK_KEY_Control_L, GDK_KEY_Shift_L});
        uitest::Settle();
        EXPECT_EQ(Text(dialog, "Edit1"), "ALT+R");  // Shift with a letter: unchanged
        uitest::TypeKey(GDK_KEY_q, {GDK_KEY_Control_L, GDK_KEY_Alt_L});
        EXPECT_TRUE(uitest::PumpUntil([&] { return Text(dialog, "Edit1") == "Ctrl+Alt+Q"; }));
        // Typing adds nothing to it; Backspace empties it, a new chord fills it.
        uitest::TypeText("a1 ");
        uitest::Settle();
        EXPECT_EQ(Text(dialog, "Edit1"), "Ctrl+Alt+Q");
        uitest::TypeKey(GDK_KEY_BackSpace);
        EXPECT_TRUE(uitest::PumpUntil([&] { return Text(dialog, "Edit1").empty(); }));
        uitest::TypeKey(GDK_KEY_q, {GDK_KEY_Control_L, GDK_KEY_Alt_L});
        EXPECT_TRUE(uitest::PumpUntil([&] { return Text(dialog, "Edit1") == "Ctrl+Alt+Q"; }));
        // The second page: the volumes, with the data folder's selected.
        GtkNotebook* pages = GTK_NOTEBOOK(Widget(dialog, "PageControl1"));
        GtkWidget* tab = gtk_notebook_get_tab_label(pages, gtk_notebook_get_nth_page(pages, 1));
        uitest::ClickWidget(tab, gtk_widget_get_allocated_width(tab) / 2,
                            gtk_widget_get_allocated_height(tab) / 2);
        EXPECT_TRUE(uitest::PumpUntil([&] { return gtk_notebook_get_current_page(pages) == 1; }));
        EXPECT_EQ(Text(dialog, "Label4"), "位置: " + before);
        Shot(dialog, "settings-cache");
        Click(dialog, "BtnOK");
    });
    EXPECT_EQ(accepted.first, platform::ui::MrOk);
    EXPECT_EQ(U(accepted.second.HotKey), "Ctrl+Alt+Q");
    EXPECT_FALSE(accepted.second.DataFolderChanged);
    EXPECT_EQ(platform::IniFile(SettingsFile()).ReadString("General", "CustomHotKey", ""),
              "Ctrl+Alt+Q");
}

// A stored boss key that names no key (written by an older version) is
// not saved back by OK: the dialog says so and stays until a key is chosen.
TEST_F(DialogsWindowTest, SettingsDoNotSaveABossKeyThatNamesNoKey) {
    platform::IniFile(SettingsFile()).WriteString("General", "CustomHotKey", "ALT+Ra");
    MessageBoxAnswer answer(platform::ui::IdOk);
    DialogDriver driver("设置", [&](GtkWindow* dialog) {
        EXPECT_EQ(Text(dialog, "Edit1"), "ALT+Ra");
        {
            const MessageBoxAnswerer answerer(answer);
            Click(dialog, "BtnOK");
        }
        EXPECT_TRUE(answer.answered);
        EXPECT_TRUE(platform::ui::IsModal(dialog)) << "still open";
        Click(dialog, "Edit1");
        uitest::TypeKey(GDK_KEY_r, {GDK_KEY_Alt_L});
        EXPECT_TRUE(uitest::PumpUntil([&] { return Text(dialog, "Edit1") == "Alt+R"; }));
        Click(dialog, "BtnOK");
    });
    TSettingResult result;
    EXPECT_EQ(ShowSettingForm(owner_, result), platform::ui::MrOk);
    EXPECT_TRUE(driver.Ran());
    EXPECT_EQ(answer.text, "“ALT+Ra”不是可用的老板键，请按下组合键或功能键，例如：ALT+R、F2...");
    EXPECT_EQ(platform::IniFile(SettingsFile()).ReadString("General", "CustomHotKey", ""), "Alt+R");
}

TEST_F(DialogsWindowTest, OfflineDownloadFinishesAndPutsTheStoryOnTheLocalShelf) {
    const auto story = Story(15);
    DialogDriver driver("小说同步", [&](GtkWindow* dialog) {
        EXPECT_EQ(Text(dialog, "LabelDescription"), "请点击开始按钮，以同步“剑影江湖”到本地。");
        Shot(dialog, "sync-start");
        Click(dialog, "BtnOK");
        EXPECT_TRUE(uitest::PumpUntil([&] { return Text(dialog, "BtnCancel") == "完成"; }, 60000));
        EXPECT_FALSE(Visible(dialog, "BtnOK"));
        EXPECT_EQ(Text(dialog, "LabelDescription"), "小说同步完成，请点击\"完成\"按钮退出！");
        Shot(dialog, "sync-done");
        Click(dialog, "BtnCancel");
    });
    EXPECT_EQ(ShowSyncForm(owner_, "gbk", story.id), platform::ui::MrOk);
    EXPECT_TRUE(driver.Ran());
    EXPECT_TRUE(StoryDB()->IsInLocalShelf("gbk", story.id));
}

TEST_F(DialogsWindowTest, CacheCleanUpRunsWithoutBlockingAndCanBeOpenedAgain) {
    std::vector<std::string> paths;
    for (int i = 0; i < 50; ++i)
        paths.push_back(tree_.Write("data/BooK/STORY/" + std::to_string(i) + ".txt", "x"));
    paths.push_back(tree_.Path("data/BooK/STORY"));
    TCacheForm form;
    form.Open(owner_, paths, 500);
    GtkWindow* dialog = form.Window();
    ASSERT_TRUE(uitest::PumpUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(dialog)); }));
    EXPECT_EQ(Text(dialog, "LabelDescription"),
              "在线书架所占缓存，超过500MB。请点击“下一步”开始清理。");
    EXPECT_FALSE(Visible(dialog, "ProgressBar"));
    Shot(dialog, "cache-open");
    Click(dialog, "BtnOK");
    EXPECT_TRUE(uitest::PumpUntil([&] { return Text(dialog, "BtnCancel") == "完成"; }));
    EXPECT_EQ(Text(dialog, "LabelDescription"), "在线书架临时缓存清理完成。");
    EXPECT_FALSE(fs::exists(tree_.Path("data/BooK/STORY")));
    Shot(dialog, "cache-done");
    Click(dialog, "BtnCancel");
    EXPECT_TRUE(uitest::PumpUntil([&] { return !gtk_widget_get_visible(GTK_WIDGET(dialog)); }));
    // The kept dialog opens ready for another clean-up.
    form.Open(owner_, {}, 300);
    EXPECT_TRUE(uitest::PumpUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(dialog)); }));
    EXPECT_TRUE(Visible(dialog, "BtnOK"));
    EXPECT_EQ(Text(dialog, "BtnCancel"), "取消");
    form.Close();
}

TEST_F(DialogsWindowTest, ThePickerFilesTheStoryInTheChosenFolder) {
    TSiteItemData site;
    site.SiteID = "s1";
    ASSERT_TRUE(StoryDB()->SaveSite("s1", site));
    ASSERT_TRUE(StoryDB()->AddArticle("s1", "a", "a", "", "", "", "", -1, ""));
    ASSERT_TRUE(StoryDB()->SetInOnlineShelf("s1", "a", true));
    std::vector<TBookClassData> folders;
    StoryDB()->GetBookClasses(folders);
    ASSERT_FALSE(folders.empty());
    DialogDriver driver("我的书架", [&](GtkWindow* dialog) {
        EXPECT_EQ(gtk_combo_box_get_active(GTK_COMBO_BOX(Widget(dialog, "BooKClassCB"))), 0);
        EXPECT_FALSE(Visible(dialog, "ConcernCB"));
        Shot(dialog, "picker");
        Click(dialog, "BtnOK");
    });
    EXPECT_EQ(ShowAMShelfForm(owner_, "s1", "a"), platform::ui::MrOk);
    EXPECT_TRUE(driver.Ran());
    std::vector<TBookListData> followed;
    StoryDB()->GetFollowed(followed, 10);
    ASSERT_EQ(followed.size(), 1u);
    EXPECT_EQ(followed[0].ArticleClassID, folders[0].ID);
}

TEST_F(DialogsWindowTest, TheSiteEditorScrollsByTheWheelAndSavesANewSite) {
    for (int i = 1; i <= 2; ++i) {
        TSiteItemData site;
        site.SiteID = "s" + std::to_string(i);
        site.SiteName = platform::Utf8ToAnsi("书站") + std::to_string(i);
        site.ArticleChapterContent = "<div id=\"c\">(.*?)</div>\r\n<p>(.*?)</p>";
        ASSERT_TRUE(StoryDB()->SaveSite(site.SiteID, site));
    }
    DialogDriver driver("SiteParamForm", [&](GtkWindow* dialog) {
        EXPECT_EQ(Text(dialog, "SiteIDEdit"), "s1");
        EXPECT_FALSE(gtk_widget_get_sensitive(Widget(dialog, "SiteIDEdit")));
        Shot(dialog, "site-editor");
        // The wheel over a memo scrolls the whole box, 20 pixels a notch.
        GtkAdjustment* scroll =
            gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(Widget(dialog, "ScrollBox1")));
        GtkWidget* memo = Widget(dialog, "ArticleIDMemo");
        int x = 0, y = 0;
        uitest::WidgetOrigin(memo, x, y);
        uitest::PointerTo(x + 20, y + 10);
        uitest::Wheel(true);
        EXPECT_TRUE(uitest::PumpUntil([&] { return gtk_adjustment_get_value(scroll) == 20; }));
        uitest::Wheel(true);
        uitest::Wheel(false);
        uitest::Settle();
        EXPECT_EQ(gtk_adjustment_get_value(scroll), 20);
        // "新增", an id and a name, "保存".
        Click(dialog, "Button1");
        EXPECT_TRUE(gtk_widget_get_sensitive(Widget(dialog, "SiteIDEdit")));
        EXPECT_EQ(Text(dialog, "SiteNameEdit"), "");
        gtk_adjustment_set_value(scroll, 0);
        Click(dialog, "SiteIDEdit");
        uitest::TypeText("s9");
        Click(dialog, "SiteNameEdit");
        uitest::TypeText("nine");
        Click(dialog, "Button2");
        EXPECT_FALSE(gtk_widget_get_sensitive(Widget(dialog, "SiteIDEdit")));
        Click(dialog, "Button3");
    });
    EXPECT_EQ(ShowSiteParamForm(owner_), platform::ui::MrCancel);
    EXPECT_TRUE(driver.Ran());
    TSiteItemData saved;
    ASSERT_TRUE(StoryDB()->GetSite("s9", saved));
    EXPECT_EQ(saved.SiteName, "nine");
}

}  // namespace
