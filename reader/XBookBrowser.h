#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/StoryDB.h"
#include "platform/Charset.h"
#include "platform/ui/Browser.h"
#include "platform/ui/Timer.h"

typedef struct _GtkWidget GtkWidget;

class TStoryReader;
class TBookPreLoadReader;

// The reading engine of the reader: the embedded browser showing a story's
// table of contents (List2.HTML), one chapter filled into the "Content"
// template, or a local text file. It downloads a chapter that is not cached,
// queues the next ten for the preloader, keeps the reading position in the
// shared database (or LocalRead/Scroll.ini) and zooms with Ctrl and the wheel.
// Everything the window shows goes through its four events.
//
// It lives on the user-interface thread, and so does everything it does:
// chapter downloads end on workers, which only post the written file's name
// back. Every page carries the generation of the request it answers; opening
// anything starts a new generation (cancelling the running download first),
// so a page of an older request is dropped, never shown over a newer one.
// Page names are UTF-8 file paths, or URLs.
class TXBookBrowser {
  public:
    using TitleEvent = std::function<void(TXBookBrowser* sender, const AnsiString& text)>;
    using ToolbarModeEvent = std::function<void(TXBookBrowser* sender, bool tableOfContents)>;
    using ReloadEvent = std::function<void(TXBookBrowser* sender, int code)>;
    using PageSavedEvent = std::function<void(TXBookBrowser* sender, const std::string& page)>;

    static constexpr int kPageCount = 21;  // Content_0.html .. Content_20.html
    static constexpr int kPrefetchCount = 10;
    static constexpr unsigned kSaveDelay = 1000;
    static constexpr int kMinZoomStep = -80;
    static constexpr int kMaxZoomStep = 1000;
    // A wheel notch; a touchpad's smooth scrolling comes in parts of one.
    static constexpr int kWheelNotch = 120;
    // How long a page waits for a running load to end before it stops it.
    static constexpr unsigned kLoadWait = 1000;

    TXBookBrowser();
    // Saves the position of the chapter on screen, then stops the downloads
    // (no event of them follows) and frees the browser.
    ~TXBookBrowser();
    TXBookBrowser(const TXBookBrowser&) = delete;
    TXBookBrowser& operator=(const TXBookBrowser&) = delete;

    TitleEvent OnTitle;
    ToolbarModeEvent OnToolbarMode;
    ReloadEvent OnReload;
    PageSavedEvent OnPageSaved;

    // True while a local text file is shown (set by the window).
    bool LocalMode = false;
    // A complete cache file is shown without downloading.
    bool UseCache = false;

    // Shows a chapter, or the table of contents when ChapterID is empty.
    void OpenChapter(const AnsiString& SiteID, const AnsiString& StoryID,
                     const AnsiString& ChapterID);
    void BrowseChapter(const AnsiString& SiteID, const AnsiString& StoryID,
                       const AnsiString& ChapterID);
    // Continues the story at its saved chapter and position, else at its
    // first chapter.
    void StartRead(const AnsiString& SiteID, const AnsiString& StoryID);
    void RestartRead();
    void NextChapter();
    void PreviousChapter();
    void HomePage();
    // 1 when at least two chapters follow the current one, else 0.
    int HaveNextChapter() const;
    // The current chapter again: downloaded anew while online, from the cache
    // (when complete) while offline.
    void Reload();
    // A local text file (UTF-8 path).
    void OpenLocalFile(const std::string& fileName);

    // Navigates when the browser is not loading; otherwise the page waits and
    // is navigated when the running load ends, or, should that take longer
    // than the load wait, the running load is stopped for it. A newer
    // waiting page replaces an older one; the wait runs from the first.
    void NavigateWhenIdle(const std::string& page);
    void NavigateNow(const std::string& page);
    // True while a page waits for the running load.
    bool Navigating() const { return navigating_; }
    unsigned LoadWait() const { return loadWait_.Interval(); }
    void SetLoadWait(unsigned ms) { loadWait_.SetInterval(ms); }
    // Loads stopped so far because a waiting page had waited long enough.
    unsigned StoppedLoads() const { return stoppedLoads_; }

    void ShowLoadingPage();
    void ClickBody();
    void ApplyPageStyle();
    // Queues the missing chapters among the ten after the current one.
    void PrefetchChapters();
    void SaveReadPosition();
    void LoadReadPosition();
    void ZoomByWheel(int delta, bool control);

    // The reader's display settings (HTMLParam rows).
    AnsiString GetColor() const;
    AnsiString GetFontColor() const;
    AnsiString GetFontName() const;
    AnsiString GetFontSize() const;
    AnsiString GetSpeed() const;
    void SetColor(const AnsiString& value);
    void SetFontColor(const AnsiString& value);
    void SetFontName(const AnsiString& value);
    void SetFontSize(const AnsiString& value);
    void SetSpeed(const AnsiString& value);

    GtkWidget* Widget() const;
    platform::ui::Browser& WebBrowser() { return *browser_; }
    TBookPreLoadReader& PreLoader() { return *preloader_; }
    TStoryReader& ChapterReader() { return *chapterReader_; }

    const AnsiString& SiteID() const { return siteID_; }
    const AnsiString& StoryID() const { return storyID_; }
    const AnsiString& ChapterID() const { return chapterID_; }
    const std::vector<TChapterItemData>& Chapters() const { return chapters_; }
    // The page last handed to the browser.
    const std::string& CurrentPage() const { return currentPage_; }
    // The site URL of the chapter on screen.
    const std::string& ChapterURL() const { return chapterURL_; }
    const std::string& LocalFile() const { return localFile_; }
    int ZoomStep() const { return zoomStep_; }
    int PageCounter() const { return pageCounter_; }
    // True while the chapter (or local text) on screen is the current one and
    // its saved position has been restored: only then is a position saved.
    bool PositionReady() const { return positionReady_; }
    bool SaveTimerRunning() const { return saveTimer_.Enabled(); }
    // A saved position that the page was not yet long enough for (its
    // pictures still coming): restored again once they are in.
    bool RestoreWaiting() const { return restoreShort_; }
    int RestoreVertical() const { return restoreVertical_; }

  private:
    void Open(const AnsiString& SiteID, const AnsiString& StoryID, const AnsiString& ChapterID,
              bool keepRestore);
    // Cancels the running chapter download and starts a new generation.
    void NewRequest();
    void LoadChapterList(const AnsiString& SiteID, const AnsiString& StoryID);
    void ChapterArrived(const std::string& path, unsigned generation);
    void RenderChapterFile(const std::string& fileName);
    // The written page's name; empty when it could not be written.
    std::string SavePage(const std::string& folder, const AnsiString& page);
    void ShowErrorPage(const AnsiString& message, bool retry);
    void LoadTemplate();
    void OpenLocalText();
    void PageSaved(const std::string& page);
    void ChapterPageSaved(const std::string& page);
    void Navigate(const std::string& page);
    void LoadWaitOver();
    void ArmSaveTimer();
    // The user clicked, pressed a key or turned the wheel in the page.
    void PageTouched();
    void DocumentReady(const std::string& uri);
    void DocumentComplete(const std::string& uri);
    void RestorePosition();
    // The page on screen is the current chapter with its position back.
    void MarkPositionReady();
    void WireBrowser();
    std::string StoryFolder(const AnsiString& SiteID, const AnsiString& StoryID) const;
    int FindChapter(const AnsiString& ChapterID) const;

    std::unique_ptr<platform::ui::Browser> browser_;
    std::unique_ptr<TStoryReader> chapterReader_;
    std::unique_ptr<TBookPreLoadReader> preloader_;
    platform::ui::Timer saveTimer_;
    platform::ui::Timer loadWait_;

    int pageCounter_ = 0;
    AnsiString template_;
    AnsiString storyTitle_;
    bool restorePending_ = false;
    std::vector<TChapterItemData> chapters_;
    int zoomStep_ = 0;
    // Wheel deltas with Ctrl held, not yet a whole notch.
    int zoomDelta_ = 0;
    AnsiString siteID_, storyID_, chapterID_;
    int savedVertical_ = 0, restoreVertical_ = 0, savedHorizontal_ = 0, restoreHorizontal_ = 0;
    AnsiString historyChapter_;
    bool positionUnknown_ = false;
    std::string chapterURL_;
    bool navigating_ = false;
    std::string pendingPage_;
    unsigned stoppedLoads_ = 0;
    std::string currentPage_;
    std::string localFile_;

    // The request the shown pages answer; a chapter download carries the
    // one it was started for.
    unsigned generation_ = 0;
    std::atomic<unsigned> downloadGeneration_{0};
    // The chapter or local page of this generation, once written.
    std::string chapterPage_;
    bool positionReady_ = false;
    // The document on screen has been taken as the chapter's (restored or
    // ready); reset by each committed navigation.
    bool documentTaken_ = false;
    // The restore fell short: the page was not yet long enough, its pictures
    // still coming. It is restored again once they are in.
    bool restoreShort_ = false;
    // The place was put back while the page still loaded: it is put back
    // again when the load ends, unless the reader touched the page first.
    bool restoreAtEnd_ = false;
    // Counts committed navigations, so a late restore meets only its page.
    unsigned documentSerial_ = 0;
    // Posted work holds a weak copy and does nothing once the browser is gone.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};
