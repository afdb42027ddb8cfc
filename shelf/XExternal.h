#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Charset.h"
#include "platform/ui/BrowserBridge.h"
#include "shelf/ReaderStarter.h"

namespace platform {
struct ChannelMessage;
}
namespace platform::ui {
class Browser;
}

class TXExternal;

// Events of the page bridge; the object that raised them comes first.
using TExternalNotifyEvent = std::function<void(TXExternal* Sender)>;
using TExternalSearchEvent =
    std::function<void(TXExternal* Sender, const AnsiString& StoryName, int SearchType)>;
using TExternalStoryEvent =
    std::function<void(TXExternal* Sender, const AnsiString& SiteID, const AnsiString& StoryID)>;
using TExternalBrowseEvent = std::function<void(TXExternal* Sender, int ID, const AnsiString& URL)>;
using TExternalGetTextEvent = std::function<void(TXExternal* Sender, AnsiString& Text)>;

// window.external of the main program's browsers. Most members raise an event
// that the main window wires; a few read or write the story database, the
// login texts or the request block for the reader themselves. An object with
// no events (one made for another program's request) falls back to the main
// window's own actions where a member has one.
//
// Members that open windows, navigate, start programs or hand work to the
// main window answer the page first and act afterwards, from the reply's
// `then`, with the arguments as the page passed them. Every member runs on the
// user-interface thread.
class TXExternal : public platform::ui::ExternalProvider,
                   public std::enable_shared_from_this<TXExternal> {
  public:
    // A new object, owned by whoever asked for it (a browser holds it for its
    // pages; deferred actions keep only a weak reference).
    static std::shared_ptr<TXExternal> Create();

    // The main window's own actions, used by an object without events.
    struct TMainWindowActions {
        // Show the window as the tray's show entry does, bring it forward,
        // put the text into the search box and search it.
        std::function<void(const AnsiString& SearchText)> Search;
        // The reading-history sync dialog (it refreshes the main window's
        // recent reads when it ends with OK).
        std::function<void()> ShowSynForm;
    };
    // Set by the main window once it stands, cleared before it goes.
    static void SetMainWindowActions(TMainWindowActions actions);

    // An XExternal request of another program (TXExternalClient) that came
    // over the main program's channel: runs the member on an object without
    // events, at once. False when the message is no such request; a request
    // for a member that is not served to other programs, or with the wrong
    // arguments, is dropped and counts as handled.
    static bool DispatchChannelRequest(const platform::ChannelMessage& message);

    // window.external.
    std::vector<platform::ui::BridgeMember> Members() const override;
    platform::ui::BridgeReply Invoke(const std::string& member, platform::ui::CallKind kind,
                                     const std::vector<platform::ui::BridgeValue>& args) override;

    // The browser that asked for this object (not owned; may be null).
    void SetBrowser(platform::ui::Browser* browser) { WebBrowser = browser; }
    platform::ui::Browser* GetBrowser() const { return WebBrowser; }

    // The members, in the order of their dispatch numbers; each acts at once
    // when called directly.
    void NextPage() {}
    void PreviousPage() {}
    void Browser(const AnsiString& SiteID, const AnsiString& StoryID, const AnsiString& ChapterID);
    void StartRead(const AnsiString& SiteID, const AnsiString& StoryID);
    void Search(const AnsiString& StoryName, int SearchType);
    void StartDownLoad(const AnsiString& SiteID, const AnsiString& StoryID);
    void GetProgress(const AnsiString& SiteID, const AnsiString& StoryID) {}
    long GetProgressValue(const AnsiString& SiteID, const AnsiString& StoryID) const { return 0; }
    void SetProgressValue(const AnsiString& SiteID, const AnsiString& StoryID, long Value) {}
    void SearchEx(const AnsiString& StoryName, const AnsiString& Author);
    void BrowseBClass(int ID, const AnsiString& URL);
    void SearchPage();
    // The followed stories as texts, or nothing at all when none is followed.
    std::vector<AnsiString> ConcernInfo() const;
    void ConcernPage();
    void StartRead2(const AnsiString& SiteID, const AnsiString& StoryID);
    long IsAddShelf(const AnsiString& SiteID, const AnsiString& StoryID) const;
    long IsConcern(const AnsiString& SiteID, const AnsiString& StoryID) const;
    void AddShelf(const AnsiString& SiteID, const AnsiString& StoryID);
    void MoveShelf(const AnsiString& SiteID, const AnsiString& StoryID);
    void AddConcern(const AnsiString& SiteID, const AnsiString& StoryID);
    void ExportBook(const AnsiString& SiteID, const AnsiString& StoryID);
    void CancelConcern(const AnsiString& SiteID, const AnsiString& StoryID);
    long IsRead(const AnsiString& SiteID, const AnsiString& StoryID) const;
    void BackPrevious();
    void DeleteErrorBook(const AnsiString& SiteID, const AnsiString& StoryID);
    AnsiString GetSearchWords();
    void SyncBook(const AnsiString& SiteID, const AnsiString& StoryID);
    long IsInLocalShelf(const AnsiString& SiteID, const AnsiString& StoryID) const;
    AnsiString LastReadInfo(const AnsiString& SiteID, const AnsiString& StoryID) const;
    long LoginUC(const AnsiString& TOLV_USERNAME, const AnsiString& TOLV_LOGINKEY,
                 const AnsiString& TOLV_USERID, const AnsiString& TOLV_FDID);
    void SynReadHistory();

    // Fills the request block, starts the reader from the program's folder
    // with "-read" and wakes a running reader.
    static void OpenReader(const AnsiString& SiteID, const AnsiString& StoryID,
                           unsigned char ContinueRead, const AnsiString& ChapterID);
    // WM_USER+2 to the reader's window, when one runs.
    static void NotifyReader();

    // One ConcernInfo element: seven fields, each in double quotes with its
    // quotes, backslashes and control characters escaped, joined by commas.
    static AnsiString ConcernText(const AnsiString& SiteID, const AnsiString& ArticleID,
                                  const AnsiString& ArticleAuthor, const AnsiString& ArticleTitle,
                                  const AnsiString& LastArticleInfo, const AnsiString& UpdateTime,
                                  bool HaveUpdate);

    TExternalSearchEvent OnSearch;
    TExternalStoryEvent OnStartDownLoad;
    TExternalBrowseEvent OnBrowseBClass;
    TExternalNotifyEvent OnSearchPage;
    TExternalNotifyEvent OnConcernPage;
    TExternalStoryEvent OnStartRead2;
    TExternalStoryEvent OnMoveShelf;
    TExternalStoryEvent OnAddConcern;
    TExternalStoryEvent OnAddShelf;
    TExternalStoryEvent OnExportBook;
    TExternalStoryEvent OnCancelConcern;
    TExternalNotifyEvent OnBackPrevious;
    TExternalGetTextEvent OnGetSearchWords;
    TExternalStoryEvent OnSyncBook;

    class Key {
        friend class TXExternal;
        Key() = default;
    };
    explicit TXExternal(Key) {}

  private:
    // Named WebBrowser, not Browser: Browser is the member that opens the
    // reader.
    platform::ui::Browser* WebBrowser = nullptr;
};
