// The main program in a real window on a private display, against the fake
// GBK and UTF-8 novel sites and the vendor stand-in on 127.0.0.1, with a
// temporary profile, the built template bundle and a stand-in reading program
// that records its arguments, the request block and the messages it gets.

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "controls/GtkControlHost.h"
#include "controls/MinMaxCloseButton.h"
#include "controls/PopupForm.h"
#include "controls/QuiraListBox.h"
#include "controls/SearchBox2.h"
#include "controls/SearchResultPanel.h"
#include "controls/XBookShelfListBox.h"
#include "controls/XLabel.h"
#include "controls/XLastReadListBox.h"
#include "controls/XSearchResultListBox.h"
#include "core/DBCreater.h"
#include "core/Folders.h"
#include "core/SqliteDB.h"
#include "core/StoryDB.h"
#include "exchange/XDataShare.h"
#include "net/SearchStoryManager.h"
#include "net/WinHTTPRequest2.h"
#include "platform/IniFile.h"
#include "platform/NamedLock.h"
#include "platform/ProgramChannel.h"
#include "platform/Shell.h"
#include "platform/ui/Browser.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/TrayIcon.h"
#include "platform/ui/UiThread.h"
#include "platform/ui/Window.h"
#include "shelf/BossKey.h"
#include "shelf/MainForm.h"
#include "shelf/ReaderStarter.h"
#include "shelf/dialogs/CacheForm.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FakeHttpServer.h"
#include "tests/support/FakeNovelSite.h"
#include "tests/support/TempTree.h"
#include "tests/support/VendorStandIn.h"
#include "tests/support/standin/StandIn.h"
#include "tests/support/window/PageScript.h"
#include "tests/support/window/WindowTest.h"

// After gtest: Xlib's macros would break its templates.
#include "tests/support/window/FakeTray.h"

namespace {

namespace fs = std::filesystem;
using testing_support::FakeNovelSite;
using testing_support::SiteCharset;

AnsiString A(std::string_view utf8) {
    return platform::Utf8ToAnsi(utf8);
}

// --- the world around the window ------------------------------------------------------

// Answers the message boxes that show, in turn, each with the button of the
// next answer, clicked as a user would, and keeps what each said (UTF-8).
class MessageBoxes {
  public:
    explicit MessageBoxes(std::vector<int> answers) : answers_(std::move(answers)) {
        source_ = g_timeout_add(50, &MessageBoxes::Poll, this);
    }
    ~MessageBoxes() {
        if (source_) g_source_remove(source_);
    }
    const std::vector<std::string>& Texts() const { return texts_; }
    bool AllAnswered() const { return texts_.size() == answers_.size(); }

  private:
    static gboolean Poll(gpointer self) {
        auto* boxes = static_cast<MessageBoxes*>(self);
        GtkWidget* box = nullptr;
        GList* all = gtk_window_list_toplevels();
        for (GList* w = all; w && !box; w = w->next)
            if (GTK_IS_MESSAGE_DIALOG(w->data) && gtk_widget_get_mapped(GTK_WIDGET(w->data)) &&
                w->data != boxes->last_)
                box = GTK_WIDGET(w->data);
        g_list_free(all);
        if (!box) return G_SOURCE_CONTINUE;
        uitest::Settle();
        gchar* text = nullptr;
        g_object_get(box, "text", &text, nullptr);
        boxes->texts_.push_back(text ? text : "");
        g_free(text);
        boxes->last_ = box;
        const int answer = boxes->answers_.at(boxes->texts_.size() - 1);
        if (GtkWidget* button = gtk_dialog_get_widget_for_response(GTK_DIALOG(box), answer))
            uitest::ClickWidget(button, gtk_widget_get_allocated_width(button) / 2,
                                gtk_widget_get_allocated_height(button) / 2);
        if (boxes->AllAnswered()) {
            boxes->source_ = 0;
            return G_SOURCE_REMOVE;
        }
        return G_SOURCE_CONTINUE;
    }
    std::vector<int> answers_;
    std::vector<std::string> texts_;
    GtkWidget* last_ = nullptr;
    guint source_ = 0;
};

class MainWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        uitest::RequireUi();
        ASSERT_TRUE(uitest::InputAvailable());
        tree_ =
            std::make_unique<testing_support::TempTree>(testing_support::TempTree::Profile::kXdg);
        tree_->UnsetEnv("QUIRA_STANDIN_LOG");
        vendor_ = std::make_unique<testing_support::VendorStandIn>(server_);
        tree_->SetEnv("QUIRA_SERVICE_URL", vendor_->BaseURL());

        // The program folder: the built template bundle and the stand-in reader.
        const std::string program = tree_->Make("program") + "/";
        fs::create_symlink(std::string(QUIRA_BIN_DIR) + "/Quira2.gresource",
                           program + "Quira2.gresource");
        reader_ = std::make_unique<testing_support::StandInProgram>(
            program, std::string(kReaderProgramName));
        SetProgramFolder(program);

        // The user's database with the two fake sites.
        gbk_ = std::make_unique<FakeNovelSite>(
            server_, testing_support::SiteOptions("gbk", SiteCharset::Gbk, "书站甲"));
        utf8_ = std::make_unique<FakeNovelSite>(
            server_, testing_support::SiteOptions("utf8", SiteCharset::Utf8, "书站乙"));
        // An empty file is an empty database: the check creates every table.
        const std::string db = tree_->Write("home/.local/share/Velqo/idata.dll", "");
        // The folders of this profile, also after an earlier test in this process.
        SetAppFolder(tree_->Path("home/.local/share/Velqo", true));
        SetDataFolder(tree_->Path("home/.local/share/Velqo", true));
        ASSERT_TRUE(TDBCreater().CheckDatabase(db, db + ".none"));
        ASSERT_TRUE(CreateStoryDB());
        for (FakeNovelSite* site : {gbk_.get(), utf8_.get()}) {
            const auto row = site->Row();
            ASSERT_TRUE(StoryDB()->SaveSite(row.SiteID, row.ToSiteItemData()));
        }
    }

    void TearDown() override {
        form_.reset();
        FreeStoryDB();
        server_.Stop();
    }

    void OpenWindow() {
        form_ = std::make_unique<TMainForm>();
        form_->OnClose = [this] { closed_ = true; };
        form_->Show();
        GtkWindow* window = form_->Window();
        gtk_window_move(window, 0, 0);
        ASSERT_TRUE(uitest::PumpUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(window)); }));
        uitest::Settle();
    }

    // A point of the window's client area, on the screen.
    void ClickForm(int x, int y) {
        int ox = 0, oy = 0;
        gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(form_->Window())), &ox, &oy);
        uitest::ClickAt(ox + x, oy + y);
    }
    void ClickControl(const TControl& control, int x, int y) {
        ClickForm(control.Left() + x, control.Top() + y);
    }

    // Waits until the browser shows a page whose URI ends so and whose
    // document has loaded.
    bool WaitForPage(platform::ui::Browser& browser, const std::string& ending,
                     int timeoutMs = 30000) {
        return uitest::PumpUntil(
            [&] {
                const std::string uri = browser.Uri();
                return uri.size() >= ending.size() &&
                       uri.compare(uri.size() - ending.size(), ending.size(), ending) == 0 &&
                       !browser.IsLoading();
            },
            timeoutMs);
    }

    // Runs a script in the page and returns its JSON result; a failure
    // fails the test and gives "".
    std::string Script(platform::ui::Browser& browser, const std::string& body) {
        const uitest::PageScriptAnswer answer = uitest::RunPageScript(browser, body);
        if (!answer.json) ADD_FAILURE() << answer.error << "\nin the script: " << body;
        return answer.json.value_or("");
    }

    void Shoot(const std::string& name) {
        GdkPixbuf* shot = uitest::ShootWidget(GTK_WIDGET(form_->Window()));
        ASSERT_NE(shot, nullptr);
        EXPECT_TRUE(uitest::SavePng(shot, std::string(QUIRA_SCREENSHOT_DIR) + "/" + name + ".png"));
        g_object_unref(shot);
    }

    // A screenshot once the browser has drawn its page: the document holds
    // the text, two frames went by since, and the view is something else
    // than white.
    void ShootPage(const std::string& name, platform::ui::Browser& browser,
                   const std::string& text = "") {
        if (!text.empty()) {
            EXPECT_TRUE(uitest::PumpUntil(
                [&] {
                    return Script(browser,
                                  "return document.body !== null && "
                                  "document.body.innerText.includes(" +
                                      Quoted(text) + ");") == "true";
                },
                20000))
                << name;
        }
        Script(browser,
               "await new Promise(r => requestAnimationFrame(() => requestAnimationFrame(r)));"
               " return 1;");
        const bool painted = uitest::PumpUntil(
            [&] {
                GdkPixbuf* shot = uitest::ShootWidget(browser.Widget());
                if (!shot) return false;
                bool colour = false;
                for (int y = 0; y < gdk_pixbuf_get_height(shot) && !colour; y += 3)
                    for (int x = 0; x < gdk_pixbuf_get_width(shot) && !colour; x += 3)
                        colour = uitest::PixelAt(shot, x, y) != 0xFFFFFFu;
                g_object_unref(shot);
                return colour;
            },
            20000);
        EXPECT_TRUE(painted) << name;
        uitest::Settle();
        Shoot(name);
    }

    static std::string Quoted(const std::string& text) {
        std::string quoted = "\"";
        for (const char c : text) {
            if (c == '"' || c == '\\') quoted += '\\';
            quoted += c;
        }
        return quoted + "\"";
    }

    // 2 MB of an online story's chapters over a limit of 1 MB.
    static void CacheOverItsLimit(const std::string& storyID) {
        platform::IniFile(SettingsFile()).WriteInteger("General", "MaxCacheSize", 1);
        AnsiString folder;
        StoryDB()->GetFolderName("gbk", storyID, folder);
        const std::string chapter = BookFolder() + folder + "/cached.txt";
        fs::create_directories(fs::path(chapter).parent_path());
        std::ofstream(chapter) << std::string(2 * 1024 * 1024, 'x');
    }

    std::string StatusText() const {
        return platform::AnsiToUtf8(form_->SearchStatus().StatusInfo());
    }

    testing_support::FakeHttpServer server_;
    std::unique_ptr<testing_support::TempTree> tree_;
    std::unique_ptr<testing_support::VendorStandIn> vendor_;
    std::unique_ptr<FakeNovelSite> gbk_, utf8_;
    std::unique_ptr<TMainForm> form_;
    std::unique_ptr<testing_support::StandInProgram> reader_;
    bool closed_ = false;
};

// Type a title and press Enter, read a result, put it on the shelf from its
// chapter-list page, find it on the online shelf, open a chapter in the reader.
TEST_F(MainWindow, SearchReadShelveAndOpenAChapter) {
    const auto story = gbk_->AddStory("Xingchen Bian", "Wang Yu", 12, 2);
    utf8_->AddStory("Xingchen Bian", "Wang Yu", 9);
    utf8_->AddStory("Xingchen Bian Waizhuan", "Wang Yu", 3);
    gbk_->AddStory("Other Book", "Someone", 3);
    OpenWindow();
    // The start page: today's hot stories from the vendor.
    EXPECT_TRUE(WaitForPage(form_->LibraryBrowser(), "/velqonew/html/index2.html"));
    EXPECT_TRUE(form_->IsViewShown(TContentView::LibraryBrowser));
    ShootPage("start", form_->LibraryBrowser(), "/velqonew/html/index2.html");

    // Click into the box (the prompt goes), type, press Enter.
    ClickControl(form_->SearchEdit(), 60, 16);
    EXPECT_TRUE(uitest::PumpUntil([&] { return form_->SearchEdit().Text().empty(); }));
    uitest::TypeText("Xingchen");
    uitest::TypeKey(0xff0d /* Return */);
    ASSERT_TRUE(
        uitest::PumpUntil([&] { return StatusText() == "搜索完成，共找到小说2本！"; }, 30000))
        << StatusText();
    EXPECT_TRUE(form_->IsViewShown(TContentView::ResultList));
    EXPECT_EQ(form_->BackStack().Top(), TContentView::ResultList);
    TXSearchResultListBox& results = form_->ResultList();
    ASSERT_EQ(results.Count(), 2);
    // The keyword report got the whole text.
    EXPECT_TRUE(uitest::PumpUntil([&] { return vendor_->ReportedKeywords().size() == 1; }));
    EXPECT_EQ(vendor_->ReportedKeywords().at(0), "Xingchen");
    Shoot("results");

    // The read button of the GBK site's row of the first book.
    int book = -1, row = -1;
    for (int i = 0; i < results.Count() && book < 0; ++i) {
        const auto* item = results.Result(i);
        for (size_t n = 0; n < item->Sources.size(); ++n) {
            if (item->Title == "Xingchen Bian" && item->Sources[n].SiteID == "gbk") {
                book = i;
                row = static_cast<int>(n);
            }
        }
    }
    ASSERT_GE(book, 0);
    // A button has its place once the list has painted it since its last
    // layout.
    TRect button;
    ASSERT_TRUE(uitest::PumpUntil([&] {
        for (const TButtonData& b : results.Result(book)->Buttons)
            if (b.Name == "Browse" + std::to_string(row)) button = b.ButtonRect;
        return !button.IsEmpty();
    })) << "the read button was never painted";
    ClickControl(results, button.Left + 5, button.Top + 5);

    ASSERT_TRUE(WaitForPage(form_->ListBrowser(), "/List.HTML"));
    EXPECT_TRUE(form_->IsViewShown(TContentView::ListBrowser));
    EXPECT_EQ(Script(form_->ListBrowser(), "return document.body.getAttribute('data-story');"),
              "\"" + story.id + "\"");
    ShootPage("chapter-list", form_->ListBrowser());

    // "加入书架" in the page puts the story on the online shelf.
    Script(form_->ListBrowser(), "document.getElementById('shelf').click(); return 1;");
    ASSERT_TRUE(uitest::PumpUntil([&] { return StoryDB()->IsInOnlineShelf("gbk", story.id); }));
    form_->QuiraListBoxClickMainClass("MyOnlineShelf");
    EXPECT_TRUE(form_->IsViewShown(TContentView::OnlineShelf));
    ASSERT_EQ(form_->OnlineShelf().Count(), 1);
    EXPECT_EQ(form_->OnlineShelf().Book(0)->ArticleID, story.id);
    Shoot("online-shelf");

    // The recent reads and an empty local shelf.
    form_->QuiraListBoxClickMainClass("RecentRead");
    EXPECT_TRUE(form_->IsViewShown(TContentView::RecentList));
    EXPECT_EQ(form_->RecentList().Count(), 1);
    Shoot("recent-reads");
    form_->QuiraListBoxClickMainClass("MyLocalShelf");
    EXPECT_TRUE(form_->IsViewShown(TContentView::BlankBrowser));
    EXPECT_TRUE(WaitForPage(form_->BlankBrowser(), "/velqonew/news/booknull.php"));
    ShootPage("empty-shelf", form_->BlankBrowser(), "/velqonew/news/booknull.php");
    form_->PopView();

    // Back to the chapter list; a click on a chapter starts the reader.
    form_->PopView();
    EXPECT_TRUE(form_->IsViewShown(TContentView::ListBrowser));
    const std::string third = story.Chapters().at(2)->id;
    Script(form_->ListBrowser(),
           "document.querySelector('.ch[data-id=\"" + third + "\"] a').click(); return 1;");
    const auto started = reader_->WaitForLines("start ");
    ASSERT_EQ(started.size(), 1u);
    EXPECT_NE(started[0].find("\t-read"), std::string::npos) << started[0];
    const auto block = reader_->WaitForLines("block ");
    ASSERT_EQ(block.size(), 1u);
    EXPECT_NE(block[0].find("\tgbk\t" + story.id + "\t" + third + "\t0"), std::string::npos)
        << block[0];
    reader_->WaitForLines("ready ");
    platform::ProgramChannel::PostToClass(kReaderWindowClass, {platform::kWmClose, 0, 0});

    // On the local shelf its written chapter list opens without the network.
    ASSERT_TRUE(StoryDB()->SetInLocalShelf("gbk", story.id, true));
    form_->QuiraListBoxClickMainClass("MyLocalShelf");
    ASSERT_TRUE(form_->IsViewShown(TContentView::LocalShelf));
    ASSERT_EQ(form_->LocalShelf().Count(), 1);
    Shoot("local-shelf");
    form_->ShowView(TContentView::ResultList);  // another page in the list browser's place
    const size_t storyReads = server_.RequestCount(gbk_->StoryPath(story.id));
    ASSERT_GT(storyReads, 0u);
    form_->LocalShelfRead("gbk", story.id);
    EXPECT_TRUE(form_->IsViewShown(TContentView::ListBrowser));
    EXPECT_TRUE(WaitForPage(form_->ListBrowser(), "/List.HTML"));
    uitest::Settle();
    EXPECT_EQ(server_.RequestCount(gbk_->StoryPath(story.id)), storyReads);

    // A click on a category of the library opens its page.
    TNodeData* library = nullptr;
    for (const auto& entry : form_->Navigation().MainClasses())
        if (entry->ID == "StoryLib") library = entry.get();
    ASSERT_TRUE(library && !library->Children.empty());
    const TRect category = library->Children[0]->Rect;
    ASSERT_FALSE(category.IsEmpty());
    ClickControl(form_->Navigation(), category.Left + category.Width() / 2,
                 category.Top + category.Height() / 2);
    EXPECT_TRUE(WaitForPage(form_->LibraryBrowser(), "/velqonew/news/?type_id=1"));
    EXPECT_TRUE(form_->IsViewShown(TContentView::LibraryBrowser));
    EXPECT_EQ(form_->BackStack().Top(), TContentView::LibraryBrowser);
    ShootPage("library", form_->LibraryBrowser(), "/velqonew/news/");

    // An empty box shows the search page and leaves the results as they were.
    form_->SearchEdit().SetText("  ");
    form_->SearchBtnClick();
    EXPECT_TRUE(form_->IsViewShown(TContentView::SearchBrowser));
    EXPECT_TRUE(WaitForPage(form_->SearchBrowser(), "/velqonew/news/search.php"));
    EXPECT_EQ(results.Count(), 2);
    ShootPage("search-page", form_->SearchBrowser(), "/velqonew/news/search.php");
    // Placed over the content panel, never over the status bar.
    GtkWidget* page = form_->SearchBrowser().Widget();
    int pageX = -1, pageY = -1;
    ASSERT_TRUE(
        gtk_widget_translate_coordinates(page, GTK_WIDGET(form_->Window()), 0, 0, &pageX, &pageY));
    EXPECT_EQ(pageX, form_->Navigation().Left() + form_->Navigation().Width() + 1);
    EXPECT_LE(pageY + gtk_widget_get_allocated_height(page), form_->StatusBar().Top());

    // The story under "最近阅读" in the navigation reads its chapter list again.
    ASSERT_TRUE(form_->RecentReadEntry() && !form_->RecentReadEntry()->Children.empty());
    const TRect recent = form_->RecentReadEntry()->Children[0]->Rect;
    ASSERT_FALSE(recent.IsEmpty());
    const size_t readsBefore = server_.RequestCount(gbk_->StoryPath(story.id));
    ClickControl(form_->Navigation(), recent.Left + 4, recent.Top + recent.Height() / 2);
    EXPECT_TRUE(uitest::PumpUntil([&] {
        return form_->IsViewShown(TContentView::ListBrowser) &&
               server_.RequestCount(gbk_->StoryPath(story.id)) > readsBefore;
    }));
}

// A story page answering 500: the list-error page, escaped, whose buttons act
// on that story.
TEST_F(MainWindow, AStoryPageThatFailsShowsItsOwnErrorPage) {
    auto story = gbk_->AddStory("Bad \"Page\" <b>x</b>", "Au&thor", 3);
    server_.SetFault(gbk_->StoryPath(story.id), {.status = 500});
    StoryDB()->AddArticle("gbk", story.id, A(story.title), A(story.author), "", "", "", -1, "");
    OpenWindow();
    form_->OpenStoryList("gbk", story.id);
    ASSERT_TRUE(WaitForPage(form_->ListBrowser(), "/ListError.html"));
    EXPECT_EQ(Script(form_->ListBrowser(), "return document.body.getAttribute('data-name');"),
              "\"Bad \\\"Page\\\" <b>x</b>\"");
    EXPECT_EQ(Script(form_->ListBrowser(), "return document.querySelectorAll('b').length;"), "0");
    ShootPage("list-error", form_->ListBrowser());

    // "重新读取" reads the same story again: the site answers now.
    server_.SetFault(gbk_->StoryPath(story.id), {});
    Script(form_->ListBrowser(), "Retry(); return 1;");
    EXPECT_TRUE(WaitForPage(form_->ListBrowser(), "/List.HTML"));
    EXPECT_EQ(Script(form_->ListBrowser(), "return document.body.getAttribute('data-story');"),
              "\"" + story.id + "\"");
}

// The follow check on its first tick finds the new chapter of a followed
// story and shows the pop-up; a tick while the check runs leaves it alone.
// The update check hands a new site database to the importer as one
// argument, and a cache over its limit opens the clean-up.
TEST_F(MainWindow, TheFollowUpdateAndCacheChecksReport) {
    // An application folder whose path has a blank in it.
    tree_->SetEnv("XDG_DATA_HOME", tree_->Make("data home"));
    testing_support::StandInProgram importer(tree_->Path("program"), "DBCreater");
    StoryDB()->SetParam("Version", "1");
    const std::string package = vendor_->SetSiteDatabasePackage("idata.db", "sites");
    vendor_->SetUpdateDescription("[General]\r\nVersion=1.0\r\nDBURL=" + package +
                                  "\r\nDBVersion=5\r\n");

    auto story = gbk_->AddStory("Gengxin Zhong", "Someone", 6);
    StoryDB()->AddArticle("gbk", story.id, A(story.title), A(story.author), "",
                          A("第5章 旧的最新章"), "", -1, "");
    ASSERT_TRUE(StoryDB()->SetInOnlineShelf("gbk", story.id, true));  // and followed
    // The story page answers late: the check is still running at the next tick.
    server_.SetFault(gbk_->StoryPath(story.id), {.delay = std::chrono::milliseconds(1500)});
    OpenWindow();
    ASSERT_TRUE(uitest::PumpUntil([&] { return form_->FollowCheckRunning(); }, 10000));
    const TStoryConcern* running = form_->FollowCheck();
    form_->UpdateTimerTimer();
    EXPECT_EQ(form_->FollowCheck(), running);

    ASSERT_TRUE(uitest::PumpUntil([&] { return form_->Popup().Visible(); }, 30000));
    EXPECT_FALSE(form_->FollowCheckRunning());  // freed once it ended
    ASSERT_EQ(form_->Popup().Notifies.size(), 1u);
    EXPECT_EQ(form_->Popup().Notifies[0]->StoryID, story.id);
    EXPECT_EQ(form_->Popup().Notifies[0]->StoryName, A(story.title));
    // Slid up into place.
    EXPECT_TRUE(
        uitest::PumpUntil([&] { return form_->Popup().Top() == form_->Popup().TargetTop; }));
    uitest::Settle();
    auto& popupWindow = dynamic_cast<TGtkPopupWindow&>(form_->Popup().Window());
    GdkPixbuf* shot = uitest::ShootWidget(GTK_WIDGET(popupWindow.Window()));
    if (shot) {
        uitest::SavePng(shot, std::string(QUIRA_SCREENSHOT_DIR) + "/popup.png");
        g_object_unref(shot);
    }

    // Five seconds after the start the update check found the site database.
    const auto started = importer.WaitForLines("start ", 1, 30000);
    ASSERT_EQ(started.size(), 1u);
    const std::string unpacked = tree_->Path("data home/Velqo/update/temp.db");
    EXPECT_EQ(started[0].substr(started[0].find('\t') + 1), unpacked);

    // The cache over its limit.
    CacheOverItsLimit(story.id);
    form_->StartCacheScan();
    ASSERT_TRUE(uitest::PumpUntil([&] { return form_->CacheForm() != nullptr; }));
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(form_->CacheForm()->Window())));
}

// The boss key from the settings hides the window to the notification area
// and tells the reader to minimise; an emptied setting leaves no key at all.
TEST_F(MainWindow, TheBossKeyHidesTheWindowAndTheReader) {
    uitest::FakeTray tray;
    platform::IniFile(tree_->Path("home/.local/share/Velqo/set.ini"))
        .WriteString("General", "CustomHotKey", "Ctrl+Alt+Q");
    OpenWindow();
    ASSERT_TRUE(form_->BossKey().Registered());
    ASSERT_TRUE(uitest::PumpUntil([&] { return form_->Tray() && form_->Tray()->Shown(); }));
    // A reader runs.
    ASSERT_TRUE(platform::StartProgram(reader_->Path(), {"-read"}));
    const auto ready = reader_->WaitForLines("ready ");
    ASSERT_EQ(ready.size(), 1u);
    const std::string pid = ready[0].substr(6);

    uitest::TypeKey(0x71 /* q */, {0xffe3 /* Control_L */, 0xffe9 /* Alt_L */});
    EXPECT_TRUE(
        uitest::PumpUntil([&] { return !gtk_widget_get_visible(GTK_WIDGET(form_->Window())); }));
    EXPECT_EQ(reader_->WaitForLines("message " + pid + " 1224 ").size(), 1u);
    // The tray icon brings it back.
    form_->Tray()->OnActivate();
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(form_->Window())));
    // With a tray the desktop's close hides the window too; it does not quit.
    gtk_window_close(form_->Window());
    EXPECT_TRUE(
        uitest::PumpUntil([&] { return !gtk_widget_get_visible(GTK_WIDGET(form_->Window())); }));
    EXPECT_FALSE(form_->Quitting());
    EXPECT_FALSE(closed_);
    form_->Tray()->OnActivate();
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(form_->Window())));

    // Emptied: the old key goes and no other comes. A text that names no
    // key leaves whatever key there is.
    struct Case {
        const char* text;
        bool registered;
    };
    for (const Case& c :
         {Case{"", false}, Case{"Alt+", false}, Case{"Shift+F11", true}, Case{"Shift+F11x", true},
          Case{"  ", false}, Case{"ALT+R", true}, Case{"ALT+Ra", true}}) {
        platform::IniFile(tree_->Path("home/.local/share/Velqo/set.ini"))
            .WriteString("General", "CustomHotKey", c.text);
        form_->RegisterBossKey();
        EXPECT_EQ(form_->BossKey().Registered(), c.registered) << "\"" << c.text << "\"";
    }
    platform::IniFile(tree_->Path("home/.local/share/Velqo/set.ini"))
        .WriteString("General", "CustomHotKey", "");
    form_->RegisterBossKey();
    uitest::TypeKey(0x71 /* q */, {0xffe3 /* Control_L */, 0xffe9 /* Alt_L */});
    uitest::PumpFor(300);
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(form_->Window())));
    platform::ProgramChannel::PostToClass(kReaderWindowClass, {platform::kWmClose, 0, 0});
}

// "退出" ends the reader with the program: it is told to close.
TEST_F(MainWindow, QuitClosesTheReader) {
    OpenWindow();
    ASSERT_TRUE(platform::StartProgram(reader_->Path(), {"-read"}));
    const auto ready = reader_->WaitForLines("ready ");
    ASSERT_EQ(ready.size(), 1u);
    const std::string pid = ready[0].substr(6);
    GList* items = gtk_container_get_children(GTK_CONTAINER(form_->Tray()->Menu()));
    for (GList* item = items; item; item = item->next) {
        const char* label = gtk_menu_item_get_label(GTK_MENU_ITEM(item->data));
        if (label && std::string(label) == "退出")
            gtk_menu_item_activate(GTK_MENU_ITEM(item->data));
    }
    g_list_free(items);
    EXPECT_TRUE(closed_);
    EXPECT_EQ(reader_->WaitForLines("closed " + pid).size(), 1u);
}

// "退出" in the tray menu while searches are in flight, the settings dialog is
// open and a message box over it: both are answered as closed by themselves,
// the box first, then the loop ends, and the window goes after both with
// every worker stopped. Nothing the dialog held is saved.
TEST_F(MainWindow, QuitWithSearchesInFlightAndADialogOpen) {
    gbk_->AddStory("Hang Search", "Someone", 2);
    server_.SetFault(gbk_->SearchPath(), {.hang = true});
    server_.SetFault(utf8_->SearchPath(), {.hang = true});
    OpenWindow();
    form_->SearchEdit().SetText("Hang");
    form_->SearchBtnClick();
    ASSERT_TRUE(uitest::PumpUntil([&] { return server_.InFlight() >= 2; }, 20000));

    GtkWidget* quitItem = nullptr;
    GList* items = gtk_container_get_children(GTK_CONTAINER(form_->Tray()->Menu()));
    for (GList* item = items; item; item = item->next) {
        const char* label = gtk_menu_item_get_label(GTK_MENU_ITEM(item->data));
        if (label && std::string(label) == "退出") quitItem = GTK_WIDGET(item->data);
    }
    g_list_free(items);
    ASSERT_NE(quitItem, nullptr);

    // The settings dialog runs its own loop; inside it a message box runs
    // one more, and inside that the user chooses "退出".
    struct Steps {
        GtkWidget* quitItem;
        TMainForm* form;
        bool* closed;
        int boxAnswer = 0;
        bool quitInsideBox = false;
        int openAtQuit = 0;
    } steps{quitItem, form_.get(), &closed_};
    bool modalEnded = false;
    platform::ui::RunWhenIdle([&] {
        form_->LabelSettingClick();
        modalEnded = true;
    });
    g_timeout_add(
        200,
        +[](gpointer data) -> gboolean {
            auto* s = static_cast<Steps*>(data);
            GtkWindow* dialog = nullptr;
            GList* windows = gtk_window_list_toplevels();
            for (GList* w = windows; w; w = w->next)
                if (gtk_window_get_modal(GTK_WINDOW(w->data)) &&
                    gtk_widget_get_visible(GTK_WIDGET(w->data)))
                    dialog = GTK_WINDOW(w->data);
            g_list_free(windows);
            if (!dialog) return G_SOURCE_CONTINUE;
            g_timeout_add(
                200,
                +[](gpointer data) -> gboolean {
                    auto* s = static_cast<Steps*>(data);
                    if (platform::ui::OpenDialogCount() < 2) return G_SOURCE_CONTINUE;
                    s->openAtQuit = platform::ui::OpenDialogCount();
                    gtk_menu_item_activate(GTK_MENU_ITEM(s->quitItem));
                    s->quitInsideBox = *s->closed && s->form->Quitting();
                    return G_SOURCE_REMOVE;
                },
                s);
            s->boxAnswer = platform::ui::MessageBox(dialog, A("还在这里吗？"), "Tolvane",
                                                    platform::ui::MessageButtons::YesNo,
                                                    platform::ui::MessageIcon::Question);
            return G_SOURCE_REMOVE;
        },
        &steps);
    ASSERT_TRUE(uitest::PumpUntil([&] { return modalEnded; }, 30000));
    EXPECT_EQ(steps.openAtQuit, 2);
    EXPECT_TRUE(steps.quitInsideBox);
    EXPECT_EQ(steps.boxAnswer, platform::ui::IdNo);
    EXPECT_EQ(platform::ui::OpenDialogCount(), 0);
    EXPECT_TRUE(closed_);
    EXPECT_FALSE(platform::IniFile(SettingsFile()).ValueExists("General", "CustomHotKey"))
        << "the settings were not saved";
    // Nothing asks any more while the program ends.
    EXPECT_EQ(platform::ui::MessageBox(form_->Window(), A("再问一次？"), "Tolvane",
                                       platform::ui::MessageButtons::OkCancel),
              platform::ui::IdCancel);
    // The program block frees the window now: every worker stops first.
    form_.reset();
    EXPECT_TRUE(TWinHTTPThread::WaitUntilNoneRunning(std::chrono::seconds(10)));
}

// Mended: the close button of the caption strip hid the window to a tray
// that a desktop without one never shows, with no way back. Where the tray
// shows the icon it hides the window there; elsewhere it closes the window
// as the desktop's close does, which ends the program.
TEST_F(MainWindow, TheCloseButtonHidesOnlyWhereATrayShowsTheIcon) {
    auto tray = std::make_unique<uitest::FakeTray>();
    OpenWindow();
    ASSERT_TRUE(uitest::PumpUntil([&] { return form_->Tray() && form_->Tray()->Shown(); }));
    TMinMaxCloseButton& strip = form_->CaptionButtons();
    const auto closeButton = [&] {
        const TRect r = strip.ButtonRect(TMinMaxCloseButton::CloseButton);
        return TPoint{r.Left + r.Width() / 2, r.Top + r.Height() / 2};
    };
    ASSERT_FALSE(strip.ButtonRect(TMinMaxCloseButton::CloseButton).IsEmpty());
    ClickControl(strip, closeButton().X, closeButton().Y);
    EXPECT_TRUE(
        uitest::PumpUntil([&] { return !gtk_widget_get_visible(GTK_WIDGET(form_->Window())); }));
    EXPECT_FALSE(form_->Quitting());
    form_->Tray()->OnActivate();
    ASSERT_TRUE(gtk_widget_get_visible(GTK_WIDGET(form_->Window())));
    uitest::Settle();

    // The tray goes (a desktop without one): the close button closes.
    tray.reset();
    ASSERT_TRUE(uitest::PumpUntil([&] { return !form_->Tray()->Shown(); }));
    int ox = 0, oy = 0;
    gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(form_->Window())), &ox, &oy);
    uitest::PointerTo(ox + strip.Left() + closeButton().X, oy + strip.Top() + closeButton().Y);
    EXPECT_TRUE(
        uitest::PumpUntil([&] { return strip.ButtonState(TMinMaxCloseButton::CloseButton) == 1; }));
    uitest::Settle();
    Shoot("caption-close-hover");
    // Two clicks close together at one place would be a double click.
    int doubleClickMs = 400;
    g_object_get(gtk_settings_get_default(), "gtk-double-click-time", &doubleClickMs, nullptr);
    uitest::PumpFor(doubleClickMs + 200);
    ClickControl(strip, closeButton().X, closeButton().Y);
    EXPECT_TRUE(uitest::PumpUntil([&] { return closed_; }));
    EXPECT_TRUE(form_->Quitting());
}

// Mended: every showing wrote the prompt into the search box, over what the
// user had typed and not searched yet; into a box with the focus, where
// typing then followed it.
TEST_F(MainWindow, ShowingTheWindowKeepsWhatWasTyped) {
    OpenWindow();
    ClickControl(form_->SearchEdit(), 60, 16);
    ASSERT_TRUE(uitest::PumpUntil([&] { return form_->SearchEdit().Text().empty(); }));
    uitest::TypeText("Xing");
    ASSERT_TRUE(uitest::PumpUntil([&] { return form_->SearchEdit().Text() == "Xing"; }));
    form_->ShowMainWindow();  // "显示Tolvane", a second start, the pop-up's read button
    uitest::Settle();
    EXPECT_EQ(form_->SearchEdit().Text(), "Xing");
    // Emptied with the focus in the box: the next showing leaves it empty,
    // and what is typed is all there is.
    form_->SearchEdit().SetText("");
    form_->ShowMainWindow();
    uitest::Settle();
    uitest::TypeText("ab");
    EXPECT_TRUE(uitest::PumpUntil([&] { return form_->SearchEdit().Text() == "ab"; }))
        << form_->SearchEdit().Text();
}

// Mended: the cache clean-up opened over a window hidden in the tray.
TEST_F(MainWindow, TheCacheCleanUpBringsTheWindowBack) {
    uitest::FakeTray tray;
    auto story = gbk_->AddStory("Huancun Da", "Someone", 3);
    StoryDB()->AddArticle("gbk", story.id, A(story.title), A(story.author), "", "", "", -1, "");
    OpenWindow();
    ASSERT_TRUE(uitest::PumpUntil([&] { return form_->Tray() && form_->Tray()->Shown(); }));
    form_->CaptionButtons().HideToTray();
    ASSERT_TRUE(
        uitest::PumpUntil([&] { return !gtk_widget_get_visible(GTK_WIDGET(form_->Window())); }));
    CacheOverItsLimit(story.id);
    form_->StartCacheScan();
    ASSERT_TRUE(uitest::PumpUntil([&] { return form_->CacheForm() != nullptr; }));
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(form_->CacheForm()->Window())));
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(form_->Window())));
    EXPECT_FALSE(gtk_window_get_skip_taskbar_hint(form_->Window()));
}

// Without a service address the search page is ours, and it says what came
// of a search that the status line under it cannot show: an empty site table
// (nothing was sent, and how sites get in), or nothing found for the words.
// Sites imported meanwhile are searched at once.
TEST_F(MainWindow, ASearchThatFindsNothingSaysWhyOnItsPage) {
    tree_->UnsetEnv("QUIRA_SERVICE_URL");
    gbk_->AddStory("Xingchen Bian", "Wang Yu", 4);
    // A new install: the site table is empty.
    auto raw = SqliteDB::Open(tree_->Path("home/.local/share/Velqo/idata.dll"),
                              SqliteDB::Mode::ReadWrite, 5000);
    ASSERT_TRUE(raw && raw->Execute("DELETE FROM Site"));
    OpenWindow();
    const auto outcome = [&] {
        return Script(form_->SearchBrowser(),
                      "return document.body ? document.body.getAttribute('data-outcome') : null;");
    };
    form_->SearchEdit().SetText("Xingchen");
    form_->SearchBtnClick();
    ASSERT_TRUE(
        uitest::PumpUntil([&] { return StatusText() == "搜索完成，没有找到您要的小说！"; }));
    EXPECT_TRUE(form_->IsViewShown(TContentView::SearchBrowser));
    EXPECT_TRUE(uitest::PumpUntil([&] { return outcome() == "\"nosites\""; }, 20000)) << outcome();
    EXPECT_EQ(server_.RequestCount(gbk_->SearchPath()), 0u) << "nothing was sent";
    ShootPage("search-no-sites", form_->SearchBrowser(), "书站列表还是空的");
    EXPECT_EQ(Script(form_->SearchBrowser(),
                     "return document.getElementById('text').textContent.includes('DBCreater');"),
              "true");

    // The importer puts the sites in: the next search asks them.
    for (FakeNovelSite* site : {gbk_.get(), utf8_.get()}) {
        const auto row = site->Row();
        ASSERT_TRUE(StoryDB()->SaveSite(row.SiteID, row.ToSiteItemData()));
    }
    form_->SearchBtnClick();
    ASSERT_TRUE(
        uitest::PumpUntil([&] { return StatusText() == "搜索完成，共找到小说1本！"; }, 30000))
        << StatusText();
    EXPECT_TRUE(form_->IsViewShown(TContentView::ResultList));

    // Nothing found: the page names the words, as text.
    form_->SearchEdit().SetText("Meiyou <b>Zhe</b> Ben");
    form_->SearchBtnClick();
    ASSERT_TRUE(
        uitest::PumpUntil([&] { return StatusText() == "搜索完成，没有找到您要的小说！"; }, 30000));
    EXPECT_TRUE(form_->IsViewShown(TContentView::SearchBrowser));
    EXPECT_TRUE(uitest::PumpUntil([&] { return outcome() == "\"none\""; }, 20000)) << outcome();
    EXPECT_EQ(
        Script(form_->SearchBrowser(), "return document.getElementById('words').textContent;"),
        "\"Meiyou <b>Zhe</b> Ben\"");
    EXPECT_EQ(Script(form_->SearchBrowser(), "return document.querySelectorAll('b').length;"), "1");
    ShootPage("search-nothing-found", form_->SearchBrowser(), "没有找到您要的小说");
    // An empty box shows the page as it always was.
    form_->SearchEdit().SetText("");
    form_->SearchBtnClick();
    EXPECT_TRUE(uitest::PumpUntil([&] { return outcome() == "\"\""; }, 20000)) << outcome();
}

// The story page shows at once what its buttons and the reader changed:
// "加入书架" becomes "已在书架", and once the reader has recorded a place,
// "继续阅读" and the last chapter read, marked in the list.
TEST_F(MainWindow, AStoryPageShowsItsShelfAndReadingStateAsTheyChange) {
    const auto story = gbk_->AddStory("Shujia Ye", "Someone", 8);
    OpenWindow();
    form_->OpenStoryList("gbk", story.id);
    ASSERT_TRUE(WaitForPage(form_->ListBrowser(), "/List.HTML"));
    platform::ui::Browser& page = form_->ListBrowser();
    const auto eval = [&](const std::string& body) { return Script(page, body); };
    const std::string shelfText = "return document.getElementById('shelf').textContent;";
    const std::string continueHidden =
        "return document.getElementById('continue').classList.contains('hidden');";
    EXPECT_EQ(eval(shelfText), "\"加入书架\"");
    EXPECT_EQ(eval(continueHidden), "true");

    eval("document.getElementById('shelf').click(); return 1;");
    EXPECT_TRUE(uitest::PumpUntil([&] { return eval(shelfText) == "\"已在书架\""; }));
    EXPECT_TRUE(StoryDB()->IsInOnlineShelf("gbk", story.id));

    // The reader records the place read in the shared database.
    const auto* third = story.Chapters().at(2);
    ASSERT_TRUE(
        StoryDB()->SaveReadPosition("gbk", story.id, "2024-05-01 10:00:00", third->id, 0, 0));
    EXPECT_TRUE(uitest::PumpUntil([&] { return eval(continueHidden) == "false"; }, 20000));
    EXPECT_EQ(eval("return document.getElementById('lastread').textContent;"),
              "\"" + third->name + "\"");
    const auto marked = [&](const std::string& id) {
        return eval(
            "var m = document.querySelectorAll('.chapters .ch font'); return m.length == 1 "
            "&& m[0].closest('.ch').getAttribute('data-id') === " +
            Quoted(id) + ";");
    };
    EXPECT_EQ(marked(third->id), "true");
    ShootPage("story-page-after-reading", page, "已在书架");

    // Read on: the mark moves.
    const auto* sixth = story.Chapters().at(5);
    ASSERT_TRUE(
        StoryDB()->SaveReadPosition("gbk", story.id, "2024-05-01 10:05:00", sixth->id, 0, 0));
    EXPECT_TRUE(uitest::PumpUntil([&] { return marked(sixth->id) == "true"; }, 20000));
    EXPECT_EQ(eval("return document.getElementById('lastread').textContent;"),
              "\"" + sixth->name + "\"");
}

// Mended: at the window's design size "更多..." under the recent reads was
// cut in half by the bottom of the navigation list. It lies wholly in it.
TEST_F(MainWindow, TheNavigationShowsMoreWholeAtTheDesignSize) {
    for (int i = 0; i < 6; ++i) {
        const std::string id = "r" + std::to_string(i);
        ASSERT_TRUE(StoryDB()->AddArticle("gbk", id, A("最近的书") + std::to_string(i), A("某人"),
                                          "", "", "", -1, ""));
        ASSERT_TRUE(StoryDB()->SaveReadPosition(
            "gbk", id, "2024-05-0" + std::to_string(i + 1) + " 10:00:00", "1", 0, 0));
    }
    OpenWindow();
    int w = 0, h = 0;
    gtk_window_get_size(form_->Window(), &w, &h);
    ASSERT_EQ(h, 566);
    uitest::Settle();
    const TQuiraListBox& nav = form_->Navigation();
    const TRect more = nav.MoreEntry().Rect;
    ASSERT_FALSE(more.IsEmpty());
    EXPECT_LE(more.Bottom, nav.Height());
    EXPECT_LE(nav.Top() + more.Bottom, form_->StatusBar().Top());
    Shoot("navigation-more");
    ClickControl(nav, more.Left + more.Width() / 2, more.Top + more.Height() / 2);
    EXPECT_TRUE(uitest::PumpUntil([&] { return form_->IsViewShown(TContentView::RecentList); }));
    EXPECT_EQ(form_->RecentList().Count(), 6);
}

// After "Yes" to an update whose address is no web page nothing can open:
// the program says so and keeps running.
TEST_F(MainWindow, AnUpdateWhoseAddressOpensNothingSaysSoAndStays) {
    vendor_->SetUpdateDescription(
        "[General]\r\nVersion=99.0\r\nfromsite=1\r\ndownsite=ftp://example.invalid/new.zip\r\n");
    const MessageBoxes boxes({platform::ui::IdYes, platform::ui::IdOk});
    OpenWindow();
    ASSERT_TRUE(uitest::PumpUntil([&] { return boxes.AllAnswered(); }, 40000));
    EXPECT_EQ(boxes.Texts().at(0), "检测到新版本，是否现在升级？");
    EXPECT_EQ(boxes.Texts().at(1),
              "无法打开新版本的下载地址：ftp://example.invalid/new.zip\r\nTolvane将继续运行。");
    uitest::PumpFor(300);
    EXPECT_FALSE(form_->Quitting());
    EXPECT_FALSE(closed_);
}

// The frame: a press in the top 80 pixels of the window's own surface drags
// it, one pixel lower does not; a double click in the top strip from x = 20
// maximises; the window never gets smaller than 800 x 400.
TEST_F(MainWindow, TheFrameDragsMaximisesAndKeepsItsMinimumSize) {
    OpenWindow();
    GtkWindow* window = form_->Window();
    const auto position = [&] {
        int x = 0, y = 0;
        gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(window)), &x, &y);
        return std::pair{x, y};
    };
    const auto drag = [&](int x, int y) {
        const auto [ox, oy] = position();
        uitest::PointerTo(ox + x, oy + y);
        uitest::Button(1, true);
        for (int step = 1; step <= 4; ++step)
            uitest::PointerTo(ox + x + 10 * step, oy + y + 8 * step);
        uitest::Button(1, false);
        uitest::Settle();
    };
    // Between the hot stories and the pictures only the skin lies.
    const auto before = position();
    drag(690, 80);  // the content panel starts here: no drag
    EXPECT_EQ(position(), before);
    drag(690, 79);
    EXPECT_TRUE(uitest::PumpUntil([&] { return position() != before; }));
    EXPECT_EQ(position().first - before.first, 40);

    const auto doubleClick = [&](int x, int y) {
        const auto [ox, oy] = position();
        uitest::DoubleClickAt(ox + x, oy + y);
        uitest::Settle();
    };
    doubleClick(19, 12);
    EXPECT_FALSE(form_->CaptionButtons().Maximized());
    doubleClick(20, 19);
    EXPECT_TRUE(uitest::PumpUntil([&] { return form_->CaptionButtons().Maximized(); }));
    form_->CaptionButtons().ToggleMaximize();
    EXPECT_FALSE(form_->CaptionButtons().Maximized());

    gtk_window_resize(window, 500, 300);
    uitest::PumpFor(200);
    uitest::Settle();
    int w = 0, h = 0;
    gtk_window_get_size(window, &w, &h);
    EXPECT_GE(w, 800);
    EXPECT_GE(h, 400);
}

}  // namespace
