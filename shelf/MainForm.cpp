// TMainForm: creation and its end, the layout of the window, and the ways
// the program ends. The other members are in MainFormViews.cpp (views,
// navigation, search, a story's chapter list), MainFormShelves.cpp (followed
// stories, shelves, recent reads), MainFormEvents.cpp (showing and the tray,
// the channel, timers, the story list and the update check) and
// MainFormDialogs.cpp (folders, pages, links and dialogs).

#include "shelf/MainForm.h"

#include "controls/GtkControlHost.h"
#include "controls/HotStoryPanel.h"
#include "controls/MinMaxCloseButton.h"
#include "controls/PopupForm.h"
#include "controls/QuiraListBox.h"
#include "controls/SearchBox2.h"
#include "controls/SearchResultPanel.h"
#include "controls/StoryPicPanel.h"
#include "controls/XBookShelfListBox.h"
#include "controls/XButton.h"
#include "controls/XCenterPanel.h"
#include "controls/XCheckBox.h"
#include "controls/XLabel.h"
#include "controls/XLastReadListBox.h"
#include "controls/XSearchBtn.h"
#include "controls/XSearchResultListBox.h"
#include "core/LoadingPage.h"
#include "net/ServiceURL.h"
#include "net/SoftUpdateCheker.h"
#include "net/Stats.h"
#include "net/StoryConcern.h"
#include "net/StoryLog.h"
#include "net/StoryStatus.h"
#include "platform/Folders.h"
#include "platform/ProgramChannel.h"
#include "platform/ui/Browser.h"
#include "platform/ui/Fonts.h"
#include "platform/ui/Timer.h"
#include "platform/ui/TrayIcon.h"
#include "shelf/AppIcon.h"
#include "shelf/BossKey.h"
#include "shelf/CacheScan.h"
#include "shelf/HackForm.h"
#include "shelf/LinkLabel.h"
#include "shelf/MainFormParts.h"
#include "shelf/VendorPages.h"
#include "shelf/XExternal.h"
#include "shelf/dialogs/CacheForm.h"
#include "shelf/dialogs/SiteParamForm.h"
#include "shelf/dialogs/SyncForm.h"

using platform::ui::Browser;

namespace {

constexpr int kDesignWidth = 900;
constexpr int kDesignHeight = 566;
// The twenty categories of the story library: caption and type_id.
struct Category {
    const char* caption;
    int typeID;
};
constexpr Category kCategories[] = {
    {"玄幻", 1},  {"仙侠", 2},  {"军事", 3},  {"科幻", 4},  {"经济", 5},
    {"校园", 6},  {"官场", 7},  {"都市", 8},  {"游戏", 9},  {"灵异", 10},
    {"管理", 11}, {"言情", 12}, {"武侠", 13}, {"历史", 14}, {"竞技", 15},
    {"同人", 16}, {"励志", 17}, {"其它", 18}, {"耽美", 22}, {"网友求书", 20},
};

}  // namespace

void TMainForm::PostTo(const std::weak_ptr<Alive>& alive, std::function<void(TMainForm&)> fn) {
    platform::ui::PostToUi([alive, fn = std::move(fn)] {
        if (const auto token = alive.lock()) fn(*token->form);
    });
}

TMainForm::TMainForm() : alive_(std::make_shared<Alive>(this)) {
    FormCreate();
}

TMainForm::~TMainForm() {
    FormDestroy();
}

void TMainForm::FormCreate() {
    window_ = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    g_object_ref_sink(window_);
    gtk_window_set_title(window_, "Tolvane");
    gtk_window_set_default_size(window_, kDesignWidth, kDesignHeight);
    if (GdkPixbuf* icon = ApplicationIcon(64)) {
        gtk_window_set_icon(window_, icon);
        g_object_unref(icon);
    }
    g_signal_connect(window_, "delete-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) -> gboolean {
                         static_cast<TMainForm*>(self)->HandleDelete();
                         return TRUE;
                     }),
                     this);

    // The caption other starts of the program look for.
    const std::weak_ptr<Alive> weak = alive_;
    channel_ = platform::ProgramChannel::Open(kWindowClass, kCaption,
                                              [weak](const platform::ChannelMessage& message) {
                                                  if (const auto token = weak.lock())
                                                      token->form->ChannelMessage(message);
                                              });

    InitFolders();
    WriteLoadingPage();
    WriteLocalPages();
    UpdateTrustedFolders();
    // Pages of the vendor's service may call the members that only search,
    // navigate, read a flag or log in.
    platform::ui::SetServicePageOrigin(ServiceURL("/"));
    TXExternal::SetMainWindowActions({[weak](const AnsiString& text) {
                                          if (const auto token = weak.lock())
                                              token->form->SearchFromOutside(text);
                                      },
                                      [weak] {
                                          if (const auto token = weak.lock())
                                              token->form->ShowSynForm();
                                      }});

    host_ = std::make_unique<TGtkControlHost>();
    host_->UseWindow(window_);
    gtk_container_add(GTK_CONTAINER(window_), host_->Widget());
    // The browsers lie exactly over the content panel. Left to itself the
    // overlay would give a browser its natural size, which may reach over
    // the status bar and take its clicks.
    g_signal_connect(host_->Widget(), "get-child-position",
                     G_CALLBACK(+[](GtkOverlay*, GtkWidget* child, GdkRectangle* place,
                                    gpointer self) -> gboolean {
                         return static_cast<TMainForm*>(self)->PlaceBrowser(child, *place);
                     }),
                     this);
    hackForm_ = std::make_unique<mainwindow::THackForm>(window_);
    host_->Add(*hackForm_);
    hackForm_->SetMinSize(800, 400);
    hackForm_->OnFormResize = [this](int, int) { ResetFormComponentPos(); };
    CreateControls();
    hackForm_->CaptionButtons = minMaxCloseBtn_.get();
    minMaxCloseBtn_->CloseToHide = true;

    bossKey_ = std::make_unique<TBossKey>([this] { BossKeyPressed(); });
    RegisterBossKey();
    if (TStoryDB* db = StoryDB()) db->GetBookClasses(bookClasses_);
    CreateContentViews();
    InitDefaultFont();
    CreateWorkers();
    ResetFormComponentPos();
}

void TMainForm::FormDestroy() {
    // Nothing queued for this window runs any more, and other programs'
    // requests find no window.
    alive_.reset();
    TXExternal::SetMainWindowActions({});
    // Timers first, so that nothing new starts.
    updateTimer_.reset();
    softUpdateTimer_.reset();
    runTimer_.reset();
    cacheTimer_.reset();
    recentReadTimer_.reset();
    readerStarter_.reset();
    // The workers, each waited for, before anything they report to goes.
    searchManager_.reset();
    concern_.reset();
    if (storyReader_) {
        storyReader_->Cancel();
        storyReader_->Stop();
        storyReader_.reset();
    }
    softUpdate_.reset();
    storyStatus_.reset();
    storyLog_.reset();
    stats_.reset();
    cacheThread_.reset();
    // Then what the user sees.
    cacheForm_.reset();
    // A window made after this one may ask again.
    platform::ui::AllowDialogs();
    popup_.reset();
    channel_.reset();
    tray_.reset();
    bossKey_.reset();
    WriteDataFolder(DataFolder());
    listBrowser_.reset();
    searchBrowser_.reset();
    blankBrowser_.reset();
    libraryBrowser_.reset();
    // The frame lets go of the window's signals before the window goes.
    hackForm_.reset();
    host_.reset();
    gtk_widget_destroy(GTK_WIDGET(window_));
    g_object_unref(window_);
}

// --- creation -------------------------------------------------------------------

void TMainForm::CreateControls() {
    const auto put = [this](TControl& control) { host_->Add(control); };

    xCenterPanel1_ = std::make_unique<TXCenterPanel>();
    xCenterPanel1_->Color = clWhite;
    xCenterPanel1_->BevelOuter = TBevelCut::None;
    put(*xCenterPanel1_);

    searchResultPanel1_ = std::make_unique<TSearchResultPanel>();
    put(*searchResultPanel1_);
    xBackButton1_ = std::make_unique<TXBackButton>();
    xBackButton1_->SetCaption(A("返回"));
    xBackButton1_->OnClick = [this](TControl*) { PopView(); };
    put(*xBackButton1_);

    labelVelqoTitle_ = std::make_unique<TLinkLabel>();
    labelVelqoTitle_->OnClick = [](TControl*) { OpenURL(VendorHomeURL()); };
    put(*labelVelqoTitle_);

    labelSetting_ = std::make_unique<TLinkLabel>();
    labelSetting_->SetCaption(A("设置"));
    labelSetting_->Font.Color = RGB(0x00, 0x00, 0x80);  // navy
    labelSetting_->OnClick = [this](TControl*) { LabelSettingClick(); };
    put(*labelSetting_);

    minMaxCloseBtn_ = std::make_unique<TMinMaxCloseButton>();
    put(*minMaxCloseBtn_);

    statusBar_ = std::make_unique<TXLabel>();
    // The status text keeps its dark colour: it stands on the light status
    // band of the window's skin, where white text could not be read.
    statusBar_->SetReportError(A("问题反馈"));
    statusBar_->SearchBook = A("章节错误，重新搜索本书，更换站点继续阅读");
    statusBar_->SeachBookShow = false;
    statusBar_->SetAppVersion(" V" + GetFileVersionText(platform::ProgramFile()));
    statusBar_->OnReportError = [this](TControl*) { StatusBarReportError(); };
    statusBar_->OnClickSite = [this](TControl*) { StatusBarClickSite(); };
    statusBar_->OnClickWindows = [this](TControl*) { StatusBarClickWindows(); };
    put(*statusBar_);

    searchEdit_ = std::make_unique<TSearchBox2>();
    searchEdit_->OnClickEx = [this](TControl*) { SearchEditClickEx(); };
    put(*searchEdit_);
    // The prompt is the box's own text: it goes as soon as the box has the
    // focus, by a click, by Tab or by the window's start.
    if (GtkWidget* edit = searchEdit_->Edit().Widget()) {
        // The prompt stays in sight in grey while the box is empty.
        gtk_entry_set_placeholder_text(GTK_ENTRY(edit),
                                       platform::AnsiToUtf8(TSearchBox2::Prompt()).c_str());
        g_signal_connect(edit, "focus-in-event",
                         G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) -> gboolean {
                             static_cast<TSearchBox2*>(self)->ClearPrompt();
                             return FALSE;
                         }),
                         searchEdit_.get());
    }

    searchBtn_ = std::make_unique<TXSearchBtn>();
    searchBtn_->OnClick = [this](TControl*) { SearchBtnClick(); };
    put(*searchBtn_);

    hotStoryPanel_ = std::make_unique<THotStoryPanel>();
    hotStoryPanel_->OnClickEx = [this](TControl*, const AnsiString& name, const AnsiString& words) {
        HotStoryPanelClickEx(name, words);
    };
    put(*hotStoryPanel_);

    storyPicPanel_ = std::make_unique<TStoryPicPanel>();
    storyPicPanel_->OnClick = [this](TControl*) { StoryPicPanelClick(); };
    put(*storyPicPanel_);

    storyNameRadioButton_ = std::make_unique<TXCheckBox>();
    storyNameRadioButton_->SetVisible(false);
    authorRadioButton_ = std::make_unique<TXCheckBox>();
    authorRadioButton_->SetVisible(false);
    storyNameRadioButton_->OnChange = [this](TControl*, bool checked) {
        if (checked && authorRadioButton_->Checked()) authorRadioButton_->SetChecked(false);
    };
    authorRadioButton_->OnChange = [this](TControl*, bool checked) {
        if (checked && storyNameRadioButton_->Checked()) storyNameRadioButton_->SetChecked(false);
    };
    storyNameRadioButton_->SetChecked(true);
    put(*storyNameRadioButton_);
    put(*authorRadioButton_);

    quiraListBox_ = std::make_unique<TQuiraListBox>();
    quiraListBox_->OnClickMainClass = [this](TControl*, const AnsiString& id) {
        QuiraListBoxClickMainClass(id);
    };
    quiraListBox_->OnClickShelfDetail = [this](TControl*, const AnsiString& url) {
        QuiraListBoxClickShelfDetail(url);
    };
    put(*quiraListBox_);

    xButton1_ = std::make_unique<TXButton>();
    xButton1_->SetVisible(false);
    xButton1_->OnClick = [this](TControl*) { ShowSiteParamForm(window_); };
    put(*xButton1_);
}

std::shared_ptr<TXExternal> TMainForm::BrowserGetExternal(Browser* browser) {
    // Every event reaches the window through its token: a deferred member
    // that runs after the window went does nothing.
    const std::weak_ptr<Alive> weak = alive_;
    const auto to = [weak](auto action) {
        return [weak, action](TXExternal*, auto&&... args) {
            if (const auto token = weak.lock()) action(*token->form, args...);
        };
    };
    const auto story = [&to](void (TMainForm::*handler)(const AnsiString&, const AnsiString&)) {
        return to([handler](TMainForm& form, const AnsiString& siteID, const AnsiString& storyID) {
            (form.*handler)(siteID, storyID);
        });
    };
    auto external = TXExternal::Create();
    external->SetBrowser(browser);
    external->OnSearch = to([](TMainForm& form, const AnsiString& storyName, int searchType) {
        form.ExternalSearch(storyName, searchType);
    });
    external->OnStartDownLoad = [](TXExternal*, const AnsiString&, const AnsiString&) {};
    external->OnBrowseBClass = to(
        [](TMainForm& form, int id, const AnsiString& url) { form.ExternalBrowseBClass(id, url); });
    external->OnSearchPage = [](TXExternal*) {};
    external->OnConcernPage = [](TXExternal*) {};
    external->OnStartRead2 = story(&TMainForm::ExternalStartRead2);
    external->OnAddShelf = story(&TMainForm::ExternalAddShelf);
    external->OnMoveShelf = story(&TMainForm::ExternalMoveShelf);
    external->OnExportBook = story(&TMainForm::ExternalExportBook);
    external->OnSyncBook = story(&TMainForm::ExternalSyncBook);
    external->OnBackPrevious = to([](TMainForm& form) { form.PopView(); });
    external->OnGetSearchWords =
        to([](TMainForm& form, AnsiString& text) { text = form.ExternalGetSearchWords(); });
    return external;
}

std::unique_ptr<Browser> TMainForm::NewBrowser() {
    auto browser = std::make_unique<Browser>();
    browser->SetExternalProvider(BrowserGetExternal(browser.get()));
    browser->SetTextSelection(false);
    // Pages that open a window of their own open in the desktop's browser.
    browser->OnNewWindow = [](const std::string& uri) { OpenWebLink(uri); };
    GtkWidget* widget = browser->Widget();
    gtk_widget_set_no_show_all(widget, TRUE);
    gtk_widget_hide(widget);
    gtk_overlay_add_overlay(GTK_OVERLAY(host_->Widget()), widget);
    return browser;
}

void TMainForm::CreateContentViews() {
    // The lists in the order of creation; each fills the client area while
    // shown.
    resultList_ = std::make_unique<TXSearchResultListBox>();
    resultList_->OnRead = [this](TControl*, TObject*, const AnsiString& siteID,
                                 const AnsiString& storyID, int) { ResultRead(siteID, storyID); };
    recentList_ = std::make_unique<TXLastReadListBox>();
    recentList_->OnRead = [this](TControl*, TObject*, const AnsiString& siteID,
                                 const AnsiString& storyID, int) { BookRead(siteID, storyID); };
    recentList_->OnAddShelf = [this](TControl*, TObject* item, const AnsiString& siteID,
                                     const AnsiString& storyID,
                                     int) { ChooseShelfFolder(item, siteID, storyID); };
    recentList_->OnMoveShelf = recentList_->OnAddShelf;
    recentList_->OnDelete = [this](TControl*, TObject*, const AnsiString& siteID,
                                   const AnsiString& storyID,
                                   int) { RecentDelete(siteID, storyID); };

    listBrowser_ = NewBrowser();
    listBrowser_->OnDocumentComplete = [this](const std::string&) {
        // The chapter list takes the keys (arrows, page keys) at once.
        listBrowser_->FocusPage();
    };
    searchBrowser_ = NewBrowser();
    blankBrowser_ = NewBrowser();
    libraryBrowser_ = NewBrowser();

    onlineShelf_ = std::make_unique<TXBookShelfListBox>();
    onlineShelf_->OnRead = [this](TControl*, TObject*, const AnsiString& siteID,
                                  const AnsiString& storyID, int) { BookRead(siteID, storyID); };
    onlineShelf_->OnAddShelf = [this](TControl*, TObject* item, const AnsiString& siteID,
                                      const AnsiString& storyID,
                                      int) { ChooseShelfFolder(item, siteID, storyID); };
    onlineShelf_->OnMoveShelf = [this](TControl*, TObject* item, const AnsiString& siteID,
                                       const AnsiString& storyID, int index) {
        MoveToShelfFolder(item, siteID, storyID, index);
    };
    onlineShelf_->OnDelete = [this](TControl*, TObject*, const AnsiString& siteID,
                                    const AnsiString& storyID,
                                    int) { OnlineShelfDelete(siteID, storyID); };
    onlineShelf_->OnConcern = [this](TControl*, TObject*, const AnsiString& siteID,
                                     const AnsiString& storyID,
                                     int) { FollowStory(siteID, storyID); };
    onlineShelf_->OnCancelConcern = [this](TControl*, TObject*, const AnsiString& siteID,
                                           const AnsiString& storyID,
                                           int) { UnfollowStory(siteID, storyID); };
    onlineShelf_->OnSearchStory = [this](TControl*, TObject*, const AnsiString& siteID,
                                         const AnsiString& storyID,
                                         int) { SearchStoryAgain(siteID, storyID); };
    localShelf_ = std::make_unique<TXBookShelfListBox>();
    localShelf_->OnRead = [this](TControl*, TObject*, const AnsiString& siteID,
                                 const AnsiString& storyID,
                                 int) { LocalShelfRead(siteID, storyID); };
    localShelf_->OnDelete = [this](TControl*, TObject*, const AnsiString& siteID,
                                   const AnsiString& storyID,
                                   int) { LocalShelfDelete(siteID, storyID); };
    localShelf_->OnSearchStory = onlineShelf_->OnSearchStory;
    for (TControl* list :
         {static_cast<TControl*>(resultList_.get()), static_cast<TControl*>(recentList_.get()),
          static_cast<TControl*>(onlineShelf_.get()), static_cast<TControl*>(localShelf_.get())}) {
        list->SetVisible(false);
        host_->Add(*list);
    }

    TQuiraListBox& nav = *quiraListBox_;
    nav.OnClickRecentRead = [this](TControl*, const AnsiString& siteID, const AnsiString& storyID) {
        QuiraListBoxClickRecentRead(siteID, storyID);
    };
    nav.OnDeleteRecentRead = [this](TControl*, const AnsiString& siteID,
                                    const AnsiString& storyID) {
        QuiraListBoxDeleteRecentRead(siteID, storyID);
    };
    nav.AddMainClass(A("今日热门"), "TodayHot", 3, 0);
    nav.AddMainClass(A("在线书架"), "MyOnlineShelf", 0, 1);
    nav.AddMainClass(A("本地书架"), "MyLocalShelf", 0, 1);
    TNodeData* library = nav.AddMainClass(A("小说库"), "StoryLib", 1, 2);
    for (const Category& category : kCategories)
        nav.AddSubClass(library, A(category.caption), VendorCategoryURL(category.typeID));
    nav.AddMainClass(A("同步最近阅读记录"), "SynReadHistory", 3, 3);
    nav.AddMainClass(A("导入本地小说阅读"), "LocalRead", 3, 3);
    recentReadEntry_ = nav.AddMainClass(A("最近阅读"), "RecentRead", 2, 3);
    RefreshRecentNav();
    searchResultPanel1_->SetHeight(kStripHeight);
    ShowView(TContentView::ResultList);
}

void TMainForm::InitDefaultFont() {
    // The native edit of the search box takes the face by style; the drawn
    // controls draw with the face of their font.
    if (GtkWidget* edit = searchEdit_->Edit().Widget()) platform::ui::SetDefaultFont(edit);
    for (TControl* control : std::initializer_list<TControl*>{
             storyNameRadioButton_.get(), authorRadioButton_.get(), searchEdit_.get(),
             quiraListBox_.get(), resultList_.get(), recentList_.get(), onlineShelf_.get(),
             labelSetting_.get(), hotStoryPanel_.get(), statusBar_.get()}) {
        control->Font.Name = kDefaultFontName;
        control->Font.Height = platform::ui::kDefaultFontPixels;
    }
}

// --- layout ---------------------------------------------------------------------

void TMainForm::ResetFormComponentPos() {
    int w = 0, h = 0;
    gtk_window_get_size(window_, &w, &h);
    if (w <= 0 || h <= 0) return;
    hackForm_->SetBounds(0, 0, w, h);
    const TRect panel = PanelRectFor(w, h);
    xCenterPanel1_->SetBounds(panel.Left, panel.Top, panel.Width(), panel.Height());
    labelVelqoTitle_->SetBounds(10, 20, 150, 50);
    minMaxCloseBtn_->SetBounds(w - 91 - 4, 1, 91, 18);
    labelSetting_->SetBounds(minMaxCloseBtn_->Left() - 24 - 10, 2, 24, 15);
    searchEdit_->SetBounds(210, 20, 350, 33);
    searchEdit_->LayoutEdit();
    searchBtn_->SetBounds(searchEdit_->Left() + searchEdit_->Width() + 4, 20, 73, 33);
    storyPicPanel_->SetBounds(w - 233 - 6, 25, 233, 47);
    hotStoryPanel_->SetBounds(220, 55, 420, 20);
    storyNameRadioButton_->SetBounds(220, 60, 73, 16);
    authorRadioButton_->SetBounds(300, 60, 73, 16);
    quiraListBox_->SetBounds(1, 80, 185, h - 80 - 30);
    xButton1_->SetBounds(10, h - 21 - 2, 75, 21);
    statusBar_->SetBounds(10, h - 26, w - 20, 23);
    LayoutViews();
}

TRect TMainForm::PanelRectFor(int width, int height) {
    return TRect::FromSize(186, 80, width - 186 - 2, height - 80 - 30);
}

TRect TMainForm::ClientArea() const {
    // The content views fill the panel inside its one-pixel edge.
    return xCenterPanel1_->BoundsRect().Shrunk(1);
}

bool TMainForm::PlaceBrowser(GtkWidget* child, GdkRectangle& place) const {
    for (const TContentView view : {TContentView::ListBrowser, TContentView::SearchBrowser,
                                    TContentView::BlankBrowser, TContentView::LibraryBrowser}) {
        const Browser* browser = BrowserOf(view);
        if (!browser || browser->Widget() != child) continue;
        // From the overlay's own size, set before its children are placed,
        // so the rectangle is never one size behind. Browsers never share
        // the panel with the search strip.
        const TRect r = PanelRectFor(gtk_widget_get_allocated_width(host_->Widget()),
                                     gtk_widget_get_allocated_height(host_->Widget()))
                            .Shrunk(1);
        place = {r.Left, r.Top, std::max(1, r.Width()), std::max(1, r.Height())};
        return true;
    }
    return false;
}

void TMainForm::LayoutViews() {
    const TRect client = ClientArea();
    const bool strip = current_ == TContentView::ResultList;
    searchResultPanel1_->SetVisible(strip);
    xBackButton1_->SetVisible(strip);
    if (strip) {
        xBackButton1_->SetBounds(client.Left + 18, client.Top + 9, 60, 24);
        searchResultPanel1_->SetBounds(client.Left + 90, client.Top, client.Width() - 100,
                                       kStripHeight);
    }
    const TRect views =
        strip ? TRect{client.Left, client.Top + kStripHeight, client.Right, client.Bottom} : client;
    for (const TContentView view : {TContentView::ResultList, TContentView::RecentList,
                                    TContentView::OnlineShelf, TContentView::LocalShelf}) {
        TControl* list = ControlOf(view);
        list->SetBounds(views.Left, views.Top, views.Width(), views.Height());
        list->SetVisible(view == current_);
    }
    for (const TContentView view : {TContentView::ListBrowser, TContentView::SearchBrowser,
                                    TContentView::BlankBrowser, TContentView::LibraryBrowser}) {
        // Placed by PlaceBrowser over the panel.
        GtkWidget* widget = BrowserOf(view)->Widget();
        const bool shown = view == current_;
        const bool wasShown = gtk_widget_get_visible(widget);
        gtk_widget_set_visible(widget, shown);
        // A page drawn while its view was hidden is drawn again once the view
        // shows; the newly shown view is not always exposed by itself.
        if (shown && !wasShown) gtk_widget_queue_draw(widget);
    }
    host_->InvalidateRect(client);
}

// --- ending -------------------------------------------------------------------------------

void TMainForm::Quit() {
    const bool first = !quitting_;
    quitting_ = true;
    if (!first) return;
    // The reader ends with the program (posted: the reader closes in its own
    // time, saving its place, and nothing here waits for it).
    platform::ProgramChannel::PostToClass(kReaderWindowClass, {platform::kWmClose, 0, 0});
    FormClose();
    // A dialog or message box open now runs a loop of its own inside the
    // program's: each is answered as closed (Cancel, No), so that its loop
    // returns and the end of the session or "退出" is not held up by a
    // question nobody answers; none opens any more. The window is destroyed
    // only after every loop has returned, never under one.
    platform::ui::EndDialogs();
    if (OnClose) OnClose();
}

void TMainForm::FormClose() {
    minMaxCloseBtn_->SaveWindowPos("quira");
}
