#include "shelf/MainForm.h"

#include <algorithm>
#include <filesystem>

#include "core/Cache.h"
#include "core/Folders.h"
#include "core/LoadingPage.h"
#include "net/SearchStoryManager.h"
#include "net/ServiceURL.h"
#include "net/SoftUpdateCheker.h"
#include "net/Stats.h"
#include "net/StoryConcern.h"
#include "net/StoryLog.h"
#include "net/StoryReader.h"
#include "net/StoryStatus.h"
#include "platform/Folders.h"
#include "platform/IniFile.h"
#include "platform/ProgramChannel.h"
#include "platform/Shell.h"
#include "platform/Url.h"
#include "platform/ui/Browser.h"
#include "platform/ui/BrowserBridge.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/Fonts.h"
#include "platform/ui/Timer.h"
#include "platform/ui/TrayIcon.h"
#include "platform/ui/UiThread.h"
#include "platform/ui/Window.h"
#include "shelf/AppIcon.h"
#include "shelf/BossKey.h"
#include "shelf/CacheScan.h"
#include "shelf/HackForm.h"
#include "shelf/LinkLabel.h"
#include "shelf/ListErrorPage.h"
#include "shelf/LoginTexts.h"
#include "shelf/ReaderStarter.h"
#include "shelf/ShelfHelpers.h"
#include "shelf/StoryListPanels.h"
#include "shelf/VendorPages.h"
#include "shelf/XExternal.h"
#include "controls/ComponentGlobal.h"
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
#include "controls/XStandardButton.h"
#include "shelf/dialogs/AMShelfForm.h"
#include "shelf/dialogs/CacheForm.h"
#include "shelf/dialogs/ExportForm.h"
#include "shelf/dialogs/SettingForm.h"
#include "shelf/dialogs/SiteParamForm.h"
#include "shelf/dialogs/SynForm.h"
#include "shelf/dialogs/SyncForm.h"

using platform::ui::Browser;

namespace {

AnsiString A(const char* utf8) {
    return platform::Utf8ToAnsi(utf8);
}

constexpr int kDesignWidth = 900;
constexpr int kDesignHeight = 566;
constexpr int kStripHeight = 42;

bool IsFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

// A link's text without the blanks around it.
std::string TrimmedLink(const std::string& url) {
    std::string trimmed = url;
    while (!trimmed.empty() && static_cast<unsigned char>(trimmed.back()) <= ' ')
        trimmed.pop_back();
    size_t start = 0;
    while (start < trimmed.size() && static_cast<unsigned char>(trimmed[start]) <= ' ') ++start;
    trimmed.erase(0, start);
    return trimmed;
}

std::string LoadingPage() {
    return LoadingPageFile();
}

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

// What posted closures hold instead of the window: the window while it
// lives, and the counters the workers read.
struct TMainForm::Alive {
    explicit Alive(TMainForm* f) : form(f) {}
    TMainForm* form;
    std::atomic<uint64_t> storyTicket{0};
};

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

// --- views ----------------------------------------------------------------------

Browser* TMainForm::BrowserOf(TContentView view) const {
    switch (view) {
        case TContentView::ListBrowser:
            return listBrowser_.get();
        case TContentView::SearchBrowser:
            return searchBrowser_.get();
        case TContentView::BlankBrowser:
            return blankBrowser_.get();
        case TContentView::LibraryBrowser:
            return libraryBrowser_.get();
        default:
            return nullptr;
    }
}

TControl* TMainForm::ControlOf(TContentView view) const {
    switch (view) {
        case TContentView::ResultList:
            return resultList_.get();
        case TContentView::RecentList:
            return recentList_.get();
        case TContentView::OnlineShelf:
            return onlineShelf_.get();
        case TContentView::LocalShelf:
            return localShelf_.get();
        default:
            return nullptr;
    }
}

bool TMainForm::IsViewShown(TContentView view) const {
    if (Browser* browser = BrowserOf(view)) return gtk_widget_get_visible(browser->Widget());
    if (TControl* control = ControlOf(view)) return control->Visible();
    return false;
}

void TMainForm::ShowView(TContentView view) {
    current_ = view;
    LayoutViews();
}

void TMainForm::PushView(TContentView view) {
    backStack_.Push(view);
    ShowView(view);
}

void TMainForm::PopView() {
    if (backStack_.Empty()) return;
    const TContentView top = backStack_.Pop();
    if (top != TContentView::None) ShowView(top);
}

void TMainForm::NavigateBrowser(Browser& browser, const std::string& target) {
    if (target.empty()) return;
    // File paths are UTF-8 here; the browser takes ANSI paths.
    if (platform::UrlScheme(target).empty())
        browser.Navigate(platform::Utf8ToAnsi(target));
    else
        browser.Navigate(target);
}

void TMainForm::ShowBrowser(TContentView view, const std::string& target) {
    ShowView(view);
    NavigateBrowser(*BrowserOf(view), target);
}

void TMainForm::FocusSearchEdit() {
    GtkWidget* edit = searchEdit_->Edit().Widget();
    // Focused as a click would: the text keeps its caret, nothing is selected.
    if (edit && !gtk_widget_has_focus(edit))
        gtk_entry_grab_focus_without_selecting(GTK_ENTRY(edit));
}

void TMainForm::StopSearch() {
    search_.Stop();
    if (searchManager_) searchManager_->Stop();
}

void TMainForm::CancelStoryReader() {
    if (storyReader_) storyReader_->Cancel();
}

// --- navigation -------------------------------------------------------------------

void TMainForm::QuiraListBoxClickMainClass(const AnsiString& id) {
    FocusSearchEdit();
    StopSearch();
    CancelStoryReader();
    if (id == "RecentRead") {
        ShowRecentReads();
    } else if (id == "StoryLib") {
        ShowBrowser(TContentView::LibraryBrowser, VendorPageURL(TVendorPage::Library));
        PushView(TContentView::LibraryBrowser);
    } else if (id == "TodayHot") {
        ShowBrowser(TContentView::LibraryBrowser, VendorPageURL(TVendorPage::HotStories));
        PushView(TContentView::LibraryBrowser);
    } else if (id == "MyOnlineShelf" || id == "MyLocalShelf") {
        QuiraListBoxClickShelf(id);
    } else if (id == "SynReadHistory") {
        SynReadHistory();
    } else if (id == "LocalRead") {
        StartLocalReading();
    }
}

void TMainForm::QuiraListBoxClickShelfDetail(const AnsiString& url) {
    FocusSearchEdit();
    StopSearch();
    CancelStoryReader();
    ShowBrowser(TContentView::LibraryBrowser, url);
    PushView(TContentView::LibraryBrowser);
}

void TMainForm::ExternalBrowseBClass(int id, const AnsiString& url) {
    // Pages hand addresses in: only web pages are opened.
    if ((id == 2 || id == 3) && IsWebURL(url)) NavigateBrowser(*libraryBrowser_, url);
}

void TMainForm::ShowEmptyListPage() {
    ShowBrowser(TContentView::BlankBrowser, VendorPageURL(TVendorPage::EmptyList));
}

// --- search -----------------------------------------------------------------------

void TMainForm::SearchBtnClick(bool byAuthor) {
    CancelStoryReader();
    StopSearch();
    const TSearchPlan plan = PlanSearch(searchEdit_->Text(), TSearchBox2::Prompt(), byAuthor);
    if (storyStatus_) storyStatus_->ReportSearch(plan.Reported);
    searchResultPanel1_->SetStatusInfo(A("正在搜索..."));
    if (plan.ShowSearchPage) {
        ShowBrowser(TContentView::SearchBrowser, VendorPageURL(TVendorPage::Search));
        return;
    }
    resultList_->Clear();
    // Made on the first search and kept; one made while the site table was
    // still empty (a new install) looks at the table again, so that the
    // sites the update check or the importer has put in since are searched.
    if (!searchManager_ || searchManager_->Sites().empty()) {
        searchManager_.reset();
        if (TStoryDB* db = StoryDB())
            searchManager_ = std::make_unique<TSearchStoryManager>(*db);
        else
            searchManager_ = std::make_unique<TSearchStoryManager>(std::vector<TSearchSiteData>{});
    }
    // The events of this search carry its generation, counted here across
    // every manager, to the user-interface thread, where results of an older
    // search are dropped.
    const uint64_t generation = ++searchGeneration_;
    const std::weak_ptr<Alive> weak = alive_;
    searchManager_->OnFound = [weak, generation](const SearchResultFields& found) {
        SearchResultFields fields = found;
        fields.Generation = generation;
        PostTo(weak, [fields](TMainForm& form) { form.SearchFound(fields); });
    };
    searchManager_->OnAllDone = [weak, generation](TSearchStoryManager*) {
        PostTo(weak, [generation](TMainForm& form) { form.SearchDone(generation); });
    };
    search_.Start(plan.Query, generation);
    searchManager_->Search(plan.Query.Keyword, plan.ByAuthor);
    if (IsFile(LoadingPage())) ShowBrowser(TContentView::SearchBrowser, LoadingPage());
}

void TMainForm::SearchEditClickEx() {
    SearchBtnClick();
}

void TMainForm::HotStoryPanelClickEx(const AnsiString&, const AnsiString& searchWords) {
    searchEdit_->SetText(searchWords);
    SearchBtnClick();
}

void TMainForm::ResultRead(const AnsiString& siteID, const AnsiString& storyID) {
    OpenStoryList(siteID, storyID);
}

void TMainForm::ExternalSearch(const AnsiString& storyName, int searchType) {
    searchEdit_->SetText(storyName);
    if (searchType != 0)
        authorRadioButton_->SetChecked(true);
    else
        storyNameRadioButton_->SetChecked(true);
    SearchBtnClick(searchType != 0);
}

void TMainForm::SearchFromOutside(const AnsiString& text) {
    ShowMainWindow();
    searchEdit_->SetText(text);
    SearchBtnClick();
}

AnsiString TMainForm::ExternalGetSearchWords() const {
    return searchManager_ ? searchManager_->Keyword() : AnsiString();
}

void TMainForm::SearchFound(const SearchResultFields& fields) {
    if (!search_.IsCurrent(fields.Generation) || fields.ArticleID.empty()) return;
    if (search_.TakeFirstResult()) PushView(TContentView::ResultList);
    if (search_.Accept(fields)) {
        resultList_->AddResult(fields.SiteName, fields.SiteID, fields.StoryName, fields.ArticleID,
                               fields.LastChapter, fields.Author, fields.Tag, 0);
        resultList_->Invalidate();
    }
    searchResultPanel1_->SetStatusInfo(platform::Utf8ToAnsi(
        "正在搜索中，当前找到小说" + std::to_string(resultList_->Count()) + "本！"));
    ShowView(TContentView::ResultList);
}

void TMainForm::SearchDone(uint64_t generation) {
    if (!search_.IsCurrent(generation)) return;
    // The query stays for the page below; no result is taken any more.
    search_.Stop();
    if (resultList_->Count() > 0) {
        searchResultPanel1_->SetStatusInfo(platform::Utf8ToAnsi(
            "搜索完成，共找到小说" + std::to_string(resultList_->Count()) + "本！"));
        ShowView(TContentView::ResultList);
    } else {
        // The search page covers the status line: it says itself what came
        // of the search.
        const TSearchQuery& query = search_.Query();
        const AnsiString words =
            query.FilterActive ? query.Keyword + "+" + query.AuthorFilter : query.Keyword;
        const bool noSites = !searchManager_ || searchManager_->Sites().empty();
        ShowBrowser(
            TContentView::SearchBrowser,
            noSites ? SearchWithoutSitesURL() : SearchNothingFoundURL(platform::AnsiToUtf8(words)));
        searchResultPanel1_->SetStatusInfo(A("搜索完成，没有找到您要的小说！"));
    }
}

// --- a story's chapter list ---------------------------------------------------------

void TMainForm::OpenStoryList(const AnsiString& siteID, const AnsiString& storyID) {
    StopSearch();
    PushView(TContentView::ListBrowser);
    if (IsFile(LoadingPage())) NavigateBrowser(*listBrowser_, LoadingPage());
    // The running read ends before the ticket moves on: whatever it reported
    // before is still queued under the old ticket and dropped.
    CancelStoryReader();
    ++alive_->storyTicket;
    storyReader_->UpdateStory(siteID, storyID, 0);
}

void TMainForm::StoryListReady(uint64_t ticket, const std::string& path) {
    if (ticket != alive_->storyTicket) return;
    listPagePath_ = path;
    RefreshRecentNav();
    RefillRecentList();
    NavigateBrowser(*listBrowser_, path);
}

void TMainForm::StoryListFailed(uint64_t ticket, const AnsiString& siteID,
                                const AnsiString& storyID) {
    if (ticket != alive_->storyTicket) return;
    ShowListError(siteID, storyID);
}

void TMainForm::ShowListError(const AnsiString& siteID, const AnsiString& storyID) {
    std::string templateText;
    for (const std::string& line : listErrorLines_) {
        if (!templateText.empty()) templateText += "\r\n";
        templateText += line;
    }
    const std::string page =
        FillListErrorPage(templateText, ListErrorFields(StoryDB(), siteID, storyID));
    // Shown only once this story's page is written: an older page's buttons
    // would act on another story.
    const std::string path = ListErrorPagePath();
    if (!WriteListErrorPage(path, page)) return;
    ShowBrowser(TContentView::ListBrowser, path);
}

// --- showing, the tray, the boss key -------------------------------------------------

void TMainForm::Show() {
    gtk_widget_show_all(GTK_WIDGET(window_));
    FormShow();
}

void TMainForm::FormShow() {
    ResetFormComponentPos();
    if (firstShow_) {
        QuiraListBoxClickMainClass("TodayHot");
        NavigateBrowser(*searchBrowser_, VendorPageURL(TVendorPage::Search));
        minMaxCloseBtn_->LoadWindowPos("quira");
        firstShow_ = false;
    }
    ShowSearchPrompt();
}

void TMainForm::ShowSearchPrompt() {
    // Only an empty box gets the prompt: what the user typed and has not
    // searched yet stays. A box with the focus gets no focus-in to clear it
    // again, so there the prompt shows as the empty entry's placeholder
    // instead of text that typing would be added to.
    GtkWidget* edit = searchEdit_->Edit().Widget();
    const bool typing = edit && gtk_widget_has_focus(edit);
    if (searchEdit_->Text().empty() && !typing) searchEdit_->SetText(TSearchBox2::Prompt());
    FocusSearchEdit();
}

void TMainForm::ShowMainWindow() {
    platform::ui::ShowFromTray(window_);
    ShowSearchPrompt();
}

void TMainForm::HandleDelete() {
    // Closing the window by the desktop hides it like the close button does,
    // and the tray's "退出" ends the program. A desktop that shows no tray
    // offers no "退出": there its close ends the program, or nothing could.
    if (quitting_) return;
    const platform::ui::TrayIcon* tray = platform::ui::TrayIcon::Current();
    if (tray && tray->Shown())
        minMaxCloseBtn_->HideToTray();
    else
        Quit();
}

void TMainForm::RegisterBossKey() {
    const platform::IniFile settings(SettingsFile());
    bossKey_->Apply(settings.ReadString(kGeneralSection, "CustomHotKey", "ALT+R"));
}

void TMainForm::BossKeyPressed() {
    platform::ProgramChannel::PostToClass(kReaderWindowClass, {platform::kWmUser + 200, 0, 0});
    if (!platform::ui::IsMinimised(window_)) minMaxCloseBtn_->HideToTray();
}

void TMainForm::AddTrayIcon() {
    std::vector<platform::ui::TrayIcon::Item> menu = {
        {A("显示Tolvane"), [this] { ShowMainWindow(); }},
        {A("Tolvane官网"), [] { OpenURL(VendorHomeURL()); }},
        {"-", {}},
        {A("退出"), [this] { Quit(); }},
    };
    tray_ = std::make_unique<platform::ui::TrayIcon>(WriteApplicationIcon(), std::move(menu));
    tray_->OnActivate = [this] { ShowMainWindow(); };
}

// --- the program channel ---------------------------------------------------------------

void TMainForm::ChannelMessage(const platform::ChannelMessage& message) {
    // Another program's XExternal request (the reader's "search again").
    if (TXExternal::DispatchChannelRequest(message)) return;
    if (message.message == platform::kWmUser + 2) ShowMainWindow();
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

// --- followed stories ------------------------------------------------------------------------

void TMainForm::UpdateTimerTimer() {
    updateTimer_->SetEnabled(false);
    updateTimer_->SetInterval(1800000);
    // A check still running keeps its notices: this tick is skipped rather
    // than clearing them under it.
    if (!concern_) {
        popup_->ClearNotifies();
        concern_ = std::make_unique<TStoryConcern>();
        // Both run on the check's workers; notices travel to the pop-up as
        // copies, and the end follows them through the same queue.
        const TPopupNotifier notifier = popup_->Notifier();
        concern_->OnUpdate = [notifier](TStoryConcern*, const AnsiString& siteID,
                                        const AnsiString& articleID) {
            StoryUpdated(notifier, siteID, articleID);
        };
        const std::weak_ptr<Alive> weak = alive_;
        concern_->OnComplete = [weak](TStoryConcern*) {
            PostTo(weak, [](TMainForm& form) { form.ConcernComplete(); });
        };
        concern_->Start();
    }
    updateTimer_->SetEnabled(true);
}

void TMainForm::StoryUpdated(const TPopupNotifier& notifier, const AnsiString& siteID,
                             const AnsiString& articleID) {
    AnsiString title, author, latest;
    if (TStoryDB* db = StoryDB()) db->GetArticleSummary(siteID, articleID, title, author, latest);
    if (!title.empty()) notifier.AddNotify(siteID, articleID, title, author, latest);
}

void TMainForm::ConcernComplete() {
    // The finished check is freed here, on the user-interface thread.
    concern_.reset();
    if (popup_->HasNotify() && ReadAutoNotify()) popup_->ShowNotify();
}

void TMainForm::PopupRead(const AnsiString& siteID, const AnsiString& storyID) {
    ShowMainWindow();
    BookRead(siteID, storyID);
}

// --- workers and timers -----------------------------------------------------------------

void TMainForm::CreateWorkers() {
    const std::weak_ptr<Alive> weak = alive_;

    storyReader_ = std::make_unique<TStoryReader>();
    // Both run on the reader's worker: they read the ticket of the story
    // being read there and hand copies over.
    storyReader_->OnDone = [weak](TStoryReader*, const std::string& path) {
        const auto token = weak.lock();
        if (!token) return;
        const uint64_t ticket = token->storyTicket;
        PostTo(weak, [ticket, path](TMainForm& form) { form.StoryListReady(ticket, path); });
    };
    storyReader_->OnFail = [weak](TStoryReader*, const AnsiString& siteID,
                                  const AnsiString& storyID) {
        const auto token = weak.lock();
        if (!token) return;
        const uint64_t ticket = token->storyTicket;
        PostTo(weak, [ticket, siteID, storyID](TMainForm& form) {
            form.StoryListFailed(ticket, siteID, storyID);
        });
    };

    stats_ = std::make_unique<TStats>();
    softUpdate_ = std::make_unique<TSoftUpdateCheker>();
    softUpdate_->OnResult = [weak](TSoftUpdateCheker*, int kind, const std::string& text) {
        PostTo(weak, [kind, text](TMainForm& form) { form.SoftUpdateResult(kind, text); });
    };

    updateTimer_ = std::make_unique<platform::ui::Timer>(1000, [this] { UpdateTimerTimer(); });
    softUpdateTimer_ = std::make_unique<platform::ui::Timer>(5000, [this] {
        softUpdateTimer_->SetEnabled(false);
        softUpdate_->Check();
        storyLog_->Download();
    });
    runTimer_ = std::make_unique<platform::ui::Timer>(20000, [this] {
        runTimer_->SetEnabled(false);
        stats_->ReportRun();
    });
    cacheTimer_ = std::make_unique<platform::ui::Timer>(300000, [this] {
        cacheTimer_->SetEnabled(false);
        if (platform::IniFile(SettingsFile()).ReadBool(kGeneralSection, "ScanCache", true))
            StartCacheScan();
    });
    updateTimer_->SetEnabled(true);
    softUpdateTimer_->SetEnabled(true);
    cacheTimer_->SetEnabled(true);
    runTimer_->SetEnabled(true);

    popup_ = std::make_unique<TPopupForm>(window_);
    popup_->OnReadStory = [this](TPopupForm*, const AnsiString& siteID, const AnsiString& storyID) {
        PopupRead(siteID, storyID);
    };

    AddTrayIcon();
    LoadHotStories();
    LoadStoryPictures();

    storyStatus_ = std::make_unique<TStoryStatus>();
    storyLog_ = std::make_unique<TStoryLog>();
    // Raised on the story list's worker; the panels are filled here.
    storyLog_->OnStoryListReady = [weak](TStoryLog*) {
        PostTo(weak, [](TMainForm& form) { form.LoadHotStories(); });
    };
    storyLog_->OnPicturesChanged = [weak](TStoryLog*) {
        PostTo(weak, [](TMainForm& form) { form.LoadStoryPictures(); });
    };

    LoadTemplateResource("ListError", listErrorLines_);
}

// --- the story list, the update check, the cache -------------------------------------------

void TMainForm::SoftUpdateResult(int kind, const std::string& text) {
    const std::string program = ProgramFolder();
    if (kind == 0) {
        const int answer = platform::ui::MessageBox(
            window_, A("检测到新版本，是否现在升级？（升级时，Tolvane将被关闭）"), "Tolvane",
            platform::ui::MessageButtons::YesNo, platform::ui::MessageIcon::Question);
        // "退出" chosen while the question was open wins over a later Yes.
        if (answer != platform::ui::IdYes || quitting_) return;
        const std::string updater = program + "QuiraUpdater";
        if (IsFile(updater)) {
            // The program ends only for an update that is under way.
            if (!RunElevated(updater, "")) {
                TellUpdateFailed(A("无法启动升级程序，Tolvane将继续运行。"));
                return;
            }
            Quit();
        } else {
            OpenURL(VendorHomeURL());
        }
    } else if (kind == 1) {
        const int answer = platform::ui::MessageBox(window_, A("检测到新版本，是否现在升级？"),
                                                    "Tolvane", platform::ui::MessageButtons::YesNo,
                                                    platform::ui::MessageIcon::Question);
        if (answer != platform::ui::IdYes || quitting_) return;
        // The address comes from the downloaded description: web pages only.
        // Where nothing opened the user would be left without the program
        // and without the new version.
        const std::string address = TrimmedLink(text);
        if (!IsWebURL(address) || !OpenURL(address)) {
            TellUpdateFailed(
                FormatText("无法打开新版本的下载地址：%s\r\nTolvane将继续运行。", address));
            return;
        }
        Quit();
    } else if (kind == 2) {
        const std::string creater = program + "DBCreater";
        // The package path is one argument, whatever blanks it holds.
        if (IsFile(creater)) platform::StartProgram(creater, {text});
    }
}

void TMainForm::TellUpdateFailed(const AnsiString& text) {
    platform::ui::MessageBox(window_, text, "Tolvane", platform::ui::MessageButtons::Ok,
                             platform::ui::MessageIcon::Warning);
}

void TMainForm::LoadHotStories() {
    ::LoadHotStories(TStoryLog::StoryListFile(), *hotStoryPanel_, *statusBar_);
}

void TMainForm::LoadStoryPictures() {
    ::LoadStoryPictures(TStoryLog::StoryListFile(), *storyPicPanel_);
}

void TMainForm::StatusBarReportError() {
    OpenURL(VendorFeedbackURL());
}

void TMainForm::StatusBarClickSite() {
    OpenURL(VendorHomeURL());
}

void TMainForm::StatusBarClickWindows() {
    // The address comes from the downloaded story list: web pages only.
    OpenWebLink(statusBar_->StatusURL());
}

void TMainForm::StoryPicPanelClick() {
    OpenWebLink(storyPicPanel_->CurrentURL());
}

void TMainForm::StartCacheScan() {
    if (cacheThread_) return;
    const std::weak_ptr<Alive> weak = alive_;
    // The paths found lie in this folder, even if the data folder moves
    // before the clean-up runs.
    cacheBookFolder_ = BookFolder();
    cacheThread_ = NewCacheScan(
        StoryDB(), cacheBookFolder_,
        [weak](TCacheThread*, const std::vector<std::string>& paths, int64_t size) {
            // Raised on this thread already; the
            // thread is freed after its report.
            PostTo(weak, [paths, size](TMainForm& form) { form.CacheScanDone(paths, size); });
        });
}

void TMainForm::CacheScanDone(const std::vector<std::string>& paths, int64_t size) {
    cacheThread_.reset();
    cachePaths_ = paths;
    cacheSize_ = size;
    if (CacheOverLimit(size, ReadMaxCacheSize())) ShowCacheDialog();
}

// --- shelves -----------------------------------------------------------------------------

void TMainForm::QuiraListBoxClickShelf(const AnsiString& id) {
    FocusSearchEdit();
    StopSearch();
    CancelStoryReader();
    const bool online = id == "MyOnlineShelf";
    if (!online && id != "MyLocalShelf") return;
    TXBookShelfListBox& list = online ? *onlineShelf_ : *localShelf_;
    const TContentView view = online ? TContentView::OnlineShelf : TContentView::LocalShelf;
    list.Clear();
    std::vector<TBookListData> books;
    if (TStoryDB* db = StoryDB()) db->GetShelf(books, online ? kShelfOnline : kShelfLocal);
    for (const TBookListData& book : books) {
        list.AddBook(book.SiteID, book.ArticleID, book.SiteName, book.ArticleTitle,
                     book.ArticleAuthor, book.LastArticleInfo, book.ArticleState, book.UpdateTime,
                     book.IsConcern, CoverPath(book.FolderName), book.ArticleClassID,
                     book.HaveUpdate);
    }
    if (list.Count() > 0)
        PushView(view);
    else
        ShowEmptyListPage();
}

void TMainForm::BookRead(const AnsiString& siteID, const AnsiString& storyID) {
    if (TStoryDB* db = StoryDB()) db->SetHaveUpdate(siteID, storyID, false);
    OpenStoryList(siteID, storyID);
}

void TMainForm::LocalShelfRead(const AnsiString& siteID, const AnsiString& storyID) {
    TStoryDB* db = StoryDB();
    AnsiString folderName;
    if (db) {
        db->SetHaveUpdate(siteID, storyID, false);
        db->GetFolderName(siteID, storyID, folderName);
    }
    const std::string path = ListPagePath(folderName);
    if (!folderName.empty() && IsFile(path)) {
        NavigateBrowser(*listBrowser_, path);
        PushView(TContentView::ListBrowser);
    } else {
        OpenStoryList(siteID, storyID);
    }
}

void TMainForm::OnlineShelfDelete(const AnsiString& siteID, const AnsiString& storyID) {
    if (TStoryDB* db = StoryDB()) {
        db->SetInOnlineShelf(siteID, storyID, false);
        db->DeleteReadHistory(siteID, storyID);
    }
    RefreshRecentNav();
    if (onlineShelf_->Count() == 0) ShowEmptyListPage();
}

void TMainForm::LocalShelfDelete(const AnsiString& siteID, const AnsiString& storyID) {
    if (TStoryDB* db = StoryDB()) db->SetInLocalShelf(siteID, storyID, false);
    if (localShelf_->Count() == 0) ShowEmptyListPage();
}

void TMainForm::RecentDelete(const AnsiString& siteID, const AnsiString& storyID) {
    if (TStoryDB* db = StoryDB()) {
        db->DeleteReadHistory(siteID, storyID);
        // Only a story known to be on no shelf goes; a read that failed keeps it.
        if (db->GetShelfFlags(siteID, storyID) == TDBRead::Status::Empty)
            db->DeleteArticle(siteID, storyID);
    }
    RefreshRecentNav();
    if (recentList_->Count() == 0) ShowEmptyListPage();
}

void TMainForm::FollowStory(const AnsiString& siteID, const AnsiString& storyID) {
    if (TStoryDB* db = StoryDB()) db->SetFollowed(siteID, storyID, true);
}

void TMainForm::UnfollowStory(const AnsiString& siteID, const AnsiString& storyID) {
    if (TStoryDB* db = StoryDB()) db->SetFollowed(siteID, storyID, false);
}

void TMainForm::SearchStoryAgain(const AnsiString& siteID, const AnsiString& storyID) {
    AnsiString title;
    if (TStoryDB* db = StoryDB()) db->GetArticleTitle(siteID, storyID, title);
    searchEdit_->SetText(title);
    SearchBtnClick();
}

void TMainForm::ExternalStartRead2(const AnsiString& siteID, const AnsiString& storyID) {
    BookRead(siteID, storyID);
}

void TMainForm::ExternalAddShelf(const AnsiString& siteID, const AnsiString& storyID) {
    if (TStoryDB* db = StoryDB()) {
        db->SetInOnlineShelf(siteID, storyID, true);
        db->SetUpdateTime(siteID, storyID);
    }
}

// --- recent reads ---------------------------------------------------------------------------

void TMainForm::FillRecentList() {
    std::vector<TReadHistoryListData> history;
    if (TStoryDB* db = StoryDB()) db->GetReadHistory(history);
    for (const TReadHistoryListData& read : history) {
        recentList_->AddBook(read.SiteID, read.StoryID, read.SiteName, read.ArticleTitle,
                             read.ArticleAuthor, read.LastArticleInfo, read.ArticleState,
                             read.ReadTime, false, CoverPath(read.FolderName), read.ArticleClassID);
    }
}

void TMainForm::RefillRecentList() {
    recentList_->Clear();
    FillRecentList();
}

void TMainForm::RefreshRecentNav() {
    if (!recentReadEntry_) return;
    quiraListBox_->ClearSubClasses(recentReadEntry_);
    std::vector<TReadHistoryListData> history;
    if (TStoryDB* db = StoryDB()) db->GetReadHistory(history);
    for (const TReadHistoryListData& read : history) {
        const AnsiString caption = RecentNavCaption(read.ArticleTitle);
        if (!caption.empty())
            quiraListBox_->AddSubClass(recentReadEntry_, caption, read.StoryID, read.SiteID,
                                       read.StoryID);
    }
    quiraListBox_->Invalidate();
}

void TMainForm::ShowRecentReads() {
    RefillRecentList();
    if (recentList_->Count() == 0) {
        ShowEmptyListPage();
    } else {
        PushView(TContentView::RecentList);
    }
}

void TMainForm::QuiraListBoxClickRecentRead(const AnsiString& siteID, const AnsiString& storyID) {
    FocusSearchEdit();
    StopSearch();
    CancelStoryReader();
    // Half a second's pause, as a one-shot timer: the loop keeps running. A
    // second click within it reads the story clicked last.
    recentReadPending_ = {siteID, storyID};
    if (!recentReadTimer_) {
        recentReadTimer_ = std::make_unique<platform::ui::Timer>(500, [this] {
            recentReadTimer_->SetEnabled(false);
            const auto [site, story] = recentReadPending_;
            BookRead(site, story);
        });
    }
    recentReadTimer_->Restart();
}

void TMainForm::QuiraListBoxDeleteRecentRead(const AnsiString& siteID, const AnsiString& storyID) {
    FocusSearchEdit();
    if (TStoryDB* db = StoryDB()) db->DeleteReadHistory(siteID, storyID);
    RefreshRecentNav();
}

// --- folders, pages, links ------------------------------------------------------------------

void OpenWebLink(const std::string& url) {
    const std::string trimmed = TrimmedLink(url);
    if (IsWebURL(trimmed)) OpenURL(trimmed);
}

void TMainForm::WriteLocalPages() {
    WriteLocalVendorPages();
}

void TMainForm::UpdateTrustedFolders() {
    // Local pages of these folders are ours and get the whole bridge.
    platform::ui::SetTrustedPageFolders(
        {platform::Utf8ToAnsi(AppFolder()), platform::Utf8ToAnsi(DataFolder())});
}

void TMainForm::StartLocalReading() {
    if (!readerStarter_) readerStarter_ = std::make_unique<TReaderStarter>();
    readerStarter_->Start(ProgramFolder(), {"-localread"});
}

// --- dialogs -------------------------------------------------------------------------------

namespace {

// The folder a list item shows, on either list that has one.
void SetItemFolder(TObject* item, int classID) {
    if (auto* book = dynamic_cast<TBookShelfListBoxItem*>(item)) book->ArticleClassID = classID;
    if (auto* row = dynamic_cast<TBookLastReadBoxItem*>(item)) row->ArticleClassID = classID;
}

// The folder chosen in "我的书架", or -1 when the dialog was left without one.
int AskShelfFolder(GtkWindow* owner) {
    TAMShelfForm form;
    if (form.ShowModal(owner) != platform::ui::MrOk) return -1;
    return form.SelectedClassID();
}

TSynLogin CurrentLogin() {
    const TLoginTexts login = GetLoginTexts();
    return {login.LoginKey, login.UserID, login.FDID};
}

}  // namespace

void TMainForm::ChooseShelfFolder(TObject* item, const AnsiString& siteID,
                                  const AnsiString& storyID) {
    const int classID = AskShelfFolder(window_);
    if (classID == -1) return;
    SetItemFolder(item, classID);
    if (TStoryDB* db = StoryDB()) db->SetArticleClass(siteID, storyID, classID);
}

void TMainForm::MoveToShelfFolder(TObject* item, const AnsiString& siteID,
                                  const AnsiString& storyID, int index) {
    const int classID = AskShelfFolder(window_);
    if (classID == -1) return;
    SetItemFolder(item, classID);
    if (TStoryDB* db = StoryDB()) db->SetArticleClass(siteID, storyID, classID);
    if (index >= 0 && index < onlineShelf_->Count()) onlineShelf_->Delete(index);
    onlineShelf_->Invalidate();
}

void TMainForm::ExternalMoveShelf(const AnsiString& siteID, const AnsiString& storyID) {
    // The dialog files the story in the chosen folder itself.
    ShowAMShelfForm(window_, siteID, storyID);
    gtk_widget_queue_draw(listBrowser_->Widget());
}

void TMainForm::ExternalExportBook(const AnsiString& siteID, const AnsiString& storyID) {
    TSiteItemData site;
    if (TStoryDB* db = StoryDB()) db->GetSite(siteID, site);
    ShowExportForm(window_, siteID, storyID, site.SiteName);
    gtk_widget_queue_draw(listBrowser_->Widget());
}

void TMainForm::ExternalSyncBook(const AnsiString& siteID, const AnsiString& storyID) {
    // On OK the dialog puts the story on the local shelf itself.
    ShowSyncForm(window_, siteID, storyID);
    gtk_widget_queue_draw(listBrowser_->Widget());
}

void TMainForm::LabelSettingClick() {
    TSettingResult result;
    if (ShowSettingForm(window_, result) != platform::ui::MrOk) return;
    bossKey_->Apply(result.HotKey);
    if (result.DataFolderChanged) {
        // The folder texts are read by workers under a lock; what depends
        // on the folder here follows it.
        WriteLocalPages();
        UpdateTrustedFolders();
    }
    platform::ProgramChannel::PostToClass(kReaderWindowClass, {platform::kWmUser + 201, 0, 0});
}

void TMainForm::ShowCacheDialog() {
    // The dialog belongs to the main window: a window hidden in the tray
    // comes back first, so that the dialog is not left on its own.
    ShowMainWindow();
    if (!cacheForm_) cacheForm_ = std::make_unique<TCacheForm>();
    cacheForm_->Open(window_, cachePaths_, ReadMaxCacheSize(), cacheBookFolder_);
}

void TMainForm::ShowSynForm() {
    const std::weak_ptr<Alive> weak = alive_;
    ::ShowSynForm(window_, [weak] {
        if (const auto token = weak.lock()) token->form->RefreshRecentNav();
    });
}

void TMainForm::SynReadHistory() {
    if (CurrentLogin().Complete()) {
        ShowSynForm();
        return;
    }
    platform::ui::MessageBox(window_, A("您还还没有登录用户中心，请先登录！"), A("提示"),
                             platform::ui::MessageButtons::Ok,
                             platform::ui::MessageIcon::Information);
    ShowBrowser(TContentView::LibraryBrowser, VendorPageURL(TVendorPage::HotStories));
    PushView(TContentView::LibraryBrowser);
}
