#pragma once

#include <gtk/gtk.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "controls/Geometry.h"
#include "core/StoryDB.h"
#include "net/SearchStory.h"
#include "platform/Charset.h"
#include "shelf/SearchSession.h"
#include "shelf/ViewStack.h"

namespace platform {
class ProgramChannel;
struct ChannelMessage;
}  // namespace platform
namespace platform::ui {
class Browser;
class Timer;
class TrayIcon;
}  // namespace platform::ui

class TBossKey;
class TCacheForm;
class TCacheThread;
class TControl;
class TGtkControlHost;
namespace mainwindow {
class THackForm;
}
class THotStoryPanel;
class TLinkLabel;
class TMinMaxCloseButton;
class TObject;
class TPopupForm;
class TPopupNotifier;
class TQuiraListBox;
class TReaderStarter;
class TSearchBox2;
class TSearchResultPanel;
class TSearchStoryManager;
class TSoftUpdateCheker;
class TStats;
class TStoryConcern;
class TStoryLog;
class TStoryPicPanel;
class TStoryReader;
class TStoryStatus;
class TXBackButton;
class TXBookShelfListBox;
class TXButton;
class TXCenterPanel;
class TXCheckBox;
class TXLabel;
class TXExternal;
class TXLastReadListBox;
class TXSearchBtn;
class TXSearchResultListBox;
struct TNodeData;

// Opens a link that came from a downloaded file or a page: web pages only.
void OpenWebLink(const std::string& url);

// The one main window of Quira and the hub of the program: it creates the
// folders, the content views, the workers and the timers, and every worker
// reports back to it. Workers reach it only through posted copies whose
// closures hold a liveness token, never the window itself: once the window
// is gone, what is still queued is dropped.
//
// Created and used on the user-interface thread; the program block makes it
// after the story database and the single-instance lock, shows it and runs
// the loop until OnClose, then destroys it, which stops every worker before
// anything they use goes.
class TMainForm {
  public:
    // The window's caption, which finds the running instance.
    static constexpr const char* kCaption = "VE@LQO";
    // The window class other programs post to.
    static constexpr const char* kWindowClass = "TMainForm";

    TMainForm();
    ~TMainForm();
    TMainForm(const TMainForm&) = delete;
    TMainForm& operator=(const TMainForm&) = delete;

    GtkWindow* Window() const { return window_; }
    // Shows the window (FormShow).
    void Show();

    // Ends the program's loop (the tray's "退出", an accepted update, the end
    // of the session): dialogs and message boxes still open are answered as
    // closed first, then the program block quits its loop here, after which
    // the window is destroyed.
    std::function<void()> OnClose;
    void Quit();
    bool Quitting() const { return quitting_; }

    // --- search, views and navigation -------------------------------------------
    void ShowView(TContentView view);
    void PushView(TContentView view);
    void PopView();
    TContentView CurrentView() const { return current_; }
    const TViewStack& BackStack() const { return backStack_; }
    bool IsViewShown(TContentView view) const;

    void FocusSearchEdit();
    void StopSearch();
    void CancelStoryReader();

    // byAuthor: only a page's Search asks for an author search; the box, the
    // hot stories and "search again" search titles.
    void SearchBtnClick(bool byAuthor = false);
    // Enter in the search box.
    void SearchEditClickEx();
    // A hot story's link: its search words into the box, then a title search.
    void HotStoryPanelClickEx(const AnsiString& storyName, const AnsiString& searchWords);
    // A result's read button: the story's chapter list, its update flag untouched.
    void ResultRead(const AnsiString& siteID, const AnsiString& storyID);
    void OpenStoryList(const AnsiString& siteID, const AnsiString& storyID);
    void ShowListError(const AnsiString& siteID, const AnsiString& storyID);
    void QuiraListBoxClickMainClass(const AnsiString& id);
    void QuiraListBoxClickShelfDetail(const AnsiString& url);
    void QuiraListBoxClickShelf(const AnsiString& id);
    void QuiraListBoxClickRecentRead(const AnsiString& siteID, const AnsiString& storyID);
    void QuiraListBoxDeleteRecentRead(const AnsiString& siteID, const AnsiString& storyID);

    // --- shelves and recent reads ---------------------------------------------------
    void BookRead(const AnsiString& siteID, const AnsiString& storyID);
    void LocalShelfRead(const AnsiString& siteID, const AnsiString& storyID);
    void ChooseShelfFolder(TObject* item, const AnsiString& siteID, const AnsiString& storyID);
    void MoveToShelfFolder(TObject* item, const AnsiString& siteID, const AnsiString& storyID,
                           int index);
    void OnlineShelfDelete(const AnsiString& siteID, const AnsiString& storyID);
    void LocalShelfDelete(const AnsiString& siteID, const AnsiString& storyID);
    void RecentDelete(const AnsiString& siteID, const AnsiString& storyID);
    void FollowStory(const AnsiString& siteID, const AnsiString& storyID);
    void UnfollowStory(const AnsiString& siteID, const AnsiString& storyID);
    void SearchStoryAgain(const AnsiString& siteID, const AnsiString& storyID);
    void RefreshRecentNav();
    void FillRecentList();
    void PopupRead(const AnsiString& siteID, const AnsiString& storyID);

    // --- page-script handlers ----------------------------------------------------------
    void ExternalSearch(const AnsiString& storyName, int searchType);
    // A search asked for by another program: shows the window first.
    void SearchFromOutside(const AnsiString& text);
    void ExternalBrowseBClass(int id, const AnsiString& url);
    AnsiString ExternalGetSearchWords() const;
    void ExternalStartRead2(const AnsiString& siteID, const AnsiString& storyID);
    void ExternalAddShelf(const AnsiString& siteID, const AnsiString& storyID);
    void ExternalMoveShelf(const AnsiString& siteID, const AnsiString& storyID);
    void ExternalExportBook(const AnsiString& siteID, const AnsiString& storyID);
    void ExternalSyncBook(const AnsiString& siteID, const AnsiString& storyID);
    void ShowSynForm();

    // --- timers, tray, boss key ---------------------------------------------------------
    void ShowMainWindow();
    void RegisterBossKey();
    void BossKeyPressed();
    void LabelSettingClick();
    void UpdateTimerTimer();
    void StartCacheScan();
    // The vendor's story list on disk into the hot stories, the status
    // messages and the picture panel.
    void LoadHotStories();
    void LoadStoryPictures();
    // The status bar's and the picture panel's links.
    void StatusBarReportError();
    void StatusBarClickSite();
    void StatusBarClickWindows();
    void StoryPicPanelClick();

    // --- parts, for the page bridge and the tests -----------------------------------------
    platform::ui::Browser& ListBrowser() const { return *listBrowser_; }
    platform::ui::Browser& SearchBrowser() const { return *searchBrowser_; }
    platform::ui::Browser& BlankBrowser() const { return *blankBrowser_; }
    platform::ui::Browser& LibraryBrowser() const { return *libraryBrowser_; }
    TSearchBox2& SearchEdit() const { return *searchEdit_; }
    TXSearchBtn& SearchButton() const { return *searchBtn_; }
    TXLabel& StatusBar() const { return *statusBar_; }
    TSearchResultPanel& SearchStatus() const { return *searchResultPanel1_; }
    TQuiraListBox& Navigation() const { return *quiraListBox_; }
    TNodeData* RecentReadEntry() const { return recentReadEntry_; }
    TXSearchResultListBox& ResultList() const { return *resultList_; }
    TXBookShelfListBox& OnlineShelf() const { return *onlineShelf_; }
    TXBookShelfListBox& LocalShelf() const { return *localShelf_; }
    TXLastReadListBox& RecentList() const { return *recentList_; }
    THotStoryPanel& HotStories() const { return *hotStoryPanel_; }
    TMinMaxCloseButton& CaptionButtons() const { return *minMaxCloseBtn_; }
    TGtkControlHost& Host() const { return *host_; }
    TSearchStoryManager* SearchManager() const { return searchManager_.get(); }
    const TSearchSession& Search() const { return search_; }
    bool FollowCheckRunning() const { return concern_ != nullptr; }
    const TStoryConcern* FollowCheck() const { return concern_.get(); }
    const TBossKey& BossKey() const { return *bossKey_; }
    platform::ui::TrayIcon* Tray() const { return tray_.get(); }
    TPopupForm& Popup() const { return *popup_; }
    TCacheForm* CacheForm() const { return cacheForm_.get(); }

  private:
    struct Alive;
    // Runs fn on the user-interface thread while the window behind the token
    // still exists; safe from any thread.
    static void PostTo(const std::weak_ptr<Alive>& alive, std::function<void(TMainForm&)> fn);

    void FormCreate();
    void FormShow();
    void FormClose();
    void FormDestroy();
    void CreateControls();
    void CreateContentViews();
    void InitDefaultFont();
    void CreateWorkers();
    std::unique_ptr<platform::ui::Browser> NewBrowser();
    // window.external of one browser: a page-bridge object of its own with
    // its events wired to this window.
    std::shared_ptr<TXExternal> BrowserGetExternal(platform::ui::Browser* browser);
    void ResetFormComponentPos();
    static TRect PanelRectFor(int width, int height);
    TRect ClientArea() const;
    bool PlaceBrowser(GtkWidget* child, GdkRectangle& place) const;
    void LayoutViews();
    void NavigateBrowser(platform::ui::Browser& browser, const std::string& target);
    void ShowBrowser(TContentView view, const std::string& target);
    platform::ui::Browser* BrowserOf(TContentView view) const;
    TControl* ControlOf(TContentView view) const;
    void ShowEmptyListPage();
    void ShowRecentReads();
    void RefillRecentList();
    void SynReadHistory();
    void StartLocalReading();
    void AddTrayIcon();
    void ShowSearchPrompt();
    void WriteLocalPages();
    void UpdateTrustedFolders();

    // Worker events, on the user-interface thread.
    void SearchFound(const SearchResultFields& fields);
    void SearchDone(uint64_t generation);
    void StoryListReady(uint64_t ticket, const std::string& path);
    void StoryListFailed(uint64_t ticket, const AnsiString& siteID, const AnsiString& storyID);
    // Raised on the follow check's workers: reads the story's summary and
    // queues a notice, touching nothing of the window.
    static void StoryUpdated(const TPopupNotifier& notifier, const AnsiString& siteID,
                             const AnsiString& articleID);
    void ConcernComplete();
    void SoftUpdateResult(int kind, const std::string& text);
    // An update answered Yes that could not start: said, and the program stays.
    void TellUpdateFailed(const AnsiString& text);
    void CacheScanDone(const std::vector<std::string>& paths, int64_t size);
    void ShowCacheDialog();

    void ChannelMessage(const platform::ChannelMessage& message);
    void HandleDelete();

    GtkWindow* window_ = nullptr;
    std::shared_ptr<Alive> alive_;
    std::unique_ptr<TGtkControlHost> host_;
    std::unique_ptr<mainwindow::THackForm> hackForm_;

    // Controls of the form, in paint order after the frame.
    std::unique_ptr<TXCenterPanel> xCenterPanel1_;
    std::unique_ptr<TXSearchResultListBox> resultList_;
    std::unique_ptr<TXLastReadListBox> recentList_;
    std::unique_ptr<TXBookShelfListBox> onlineShelf_;
    std::unique_ptr<TXBookShelfListBox> localShelf_;
    std::unique_ptr<TSearchResultPanel> searchResultPanel1_;
    std::unique_ptr<TXBackButton> xBackButton1_;
    std::unique_ptr<TLinkLabel> labelVelqoTitle_;
    std::unique_ptr<TLinkLabel> labelSetting_;
    std::unique_ptr<TMinMaxCloseButton> minMaxCloseBtn_;
    std::unique_ptr<TXLabel> statusBar_;
    std::unique_ptr<TSearchBox2> searchEdit_;
    std::unique_ptr<TXSearchBtn> searchBtn_;
    std::unique_ptr<THotStoryPanel> hotStoryPanel_;
    std::unique_ptr<TStoryPicPanel> storyPicPanel_;
    std::unique_ptr<TXCheckBox> storyNameRadioButton_;
    std::unique_ptr<TXCheckBox> authorRadioButton_;
    std::unique_ptr<TQuiraListBox> quiraListBox_;
    std::unique_ptr<TXButton> xButton1_;

    // The browsers among the content views.
    std::unique_ptr<platform::ui::Browser> listBrowser_;
    std::unique_ptr<platform::ui::Browser> searchBrowser_;
    std::unique_ptr<platform::ui::Browser> blankBrowser_;
    std::unique_ptr<platform::ui::Browser> libraryBrowser_;
    TContentView current_ = TContentView::None;
    TViewStack backStack_;
    TNodeData* recentReadEntry_ = nullptr;

    std::unique_ptr<TSearchStoryManager> searchManager_;
    TSearchSession search_;
    uint64_t searchGeneration_ = 0;
    std::unique_ptr<TStoryReader> storyReader_;
    std::string listPagePath_;
    std::unique_ptr<TStoryConcern> concern_;
    std::unique_ptr<TPopupForm> popup_;
    std::unique_ptr<TCacheForm> cacheForm_;
    std::unique_ptr<TStats> stats_;
    std::unique_ptr<TSoftUpdateCheker> softUpdate_;
    std::unique_ptr<TStoryStatus> storyStatus_;
    std::unique_ptr<TStoryLog> storyLog_;
    std::unique_ptr<TCacheThread> cacheThread_;
    std::vector<std::string> cachePaths_;
    std::string cacheBookFolder_;
    int64_t cacheSize_ = 0;
    std::vector<std::string> listErrorLines_;
    std::vector<TBookClassData> bookClasses_;
    std::unique_ptr<TReaderStarter> readerStarter_;

    std::unique_ptr<platform::ui::Timer> updateTimer_;
    std::unique_ptr<platform::ui::Timer> softUpdateTimer_;
    std::unique_ptr<platform::ui::Timer> runTimer_;
    std::unique_ptr<platform::ui::Timer> cacheTimer_;
    std::unique_ptr<platform::ui::Timer> recentReadTimer_;
    std::pair<AnsiString, AnsiString> recentReadPending_;
    std::unique_ptr<platform::ui::TrayIcon> tray_;
    std::unique_ptr<TBossKey> bossKey_;
    std::unique_ptr<platform::ProgramChannel> channel_;

    bool quitting_ = false;
    bool firstShow_ = true;
};
