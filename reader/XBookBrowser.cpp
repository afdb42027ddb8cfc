#include "reader/XBookBrowser.h"

#include <glib.h>

#include <algorithm>
#include <ctime>
#include <filesystem>

#include <gdk/gdk.h>
#include <gdk/gdkkeysyms.h>

#include "core/AtomicFile.h"
#include "core/Folders.h"
#include "core/LoadingPage.h"
#include "core/PageTemplate.h"
#include "core/StoryExportHTML.h"
#include "core/TextHelpers.h"
#include "net/StoryReader.h"
#include "platform/Folders.h"
#include "platform/IniFile.h"
#include "platform/ui/UiThread.h"
#include "reader/BookPreLoadReader.h"
#include "reader/ReaderPages.h"
#include "reader/ReaderState.h"
#include "reader/XBookReaderExternal.h"

namespace {

constexpr const char* kScrollFile = "Scroll.ini";

std::string FileNameOf(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

std::string LowerExtension(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    for (char& c : extension) c = g_ascii_tolower(c);
    return extension;
}

// The local file a file:// URI names; empty for any other URI.
std::string UriFile(const std::string& uri) {
    char* path = g_filename_from_uri(uri.c_str(), nullptr, nullptr);
    std::string text = path ? path : "";
    g_free(path);
    return text;
}

// The scroll position a script call answered, "[x,y]".
bool ParsePosition(const std::string& json, int& x, int& y) {
    return std::sscanf(json.c_str(), "[%d,%d]", &x, &y) == 2;
}

}  // namespace

TXBookBrowser::TXBookBrowser()
    : browser_(std::make_unique<platform::ui::Browser>()),
      chapterReader_(std::make_unique<TStoryReader>()),
      preloader_(std::make_unique<TBookPreLoadReader>()),
      saveTimer_(kSaveDelay),
      loadWait_(kLoadWait) {
    WireBrowser();
    browser_->SetTextSelection(false);
    auto external = std::make_shared<TXBookReaderExternal>();
    external->Bind(this, alive_);
    browser_->SetExternalProvider(external);

    // The download ends on a worker: only the file's name comes back, with
    // the generation it was started for.
    chapterReader_->OnDone = [this, token = std::weak_ptr<int>(alive_)](TStoryReader*,
                                                                        const std::string& path) {
        const unsigned generation = downloadGeneration_.load();
        platform::ui::PostToUi([this, token, path, generation] {
            if (!token.expired()) RunGuarded([&] { ChapterArrived(path, generation); });
        });
    };
    saveTimer_.OnTimer = [this] {
        saveTimer_.SetEnabled(false);
        RunGuarded([&] { SaveReadPosition(); });
    };
    loadWait_.OnTimer = [this] { RunGuarded([&] { LoadWaitOver(); }); };
    LoadTemplate();
}

TXBookBrowser::~TXBookBrowser() {
    // Closing keeps where the reader is, whether or not a save was waiting:
    // the page may have moved with nobody touching it (its own scrolling).
    saveTimer_.SetEnabled(false);
    loadWait_.SetEnabled(false);
    SaveReadPosition();
    alive_.reset();
    // No chapter event begins or runs once the readers are gone.
    chapterReader_->Cancel();
    chapterReader_.reset();
    preloader_.reset();
    browser_.reset();
}

void TXBookBrowser::WireBrowser() {
    platform::ui::Browser& b = *browser_;
    b.OnMouseDown = [this](unsigned) { PageTouched(); };
    b.OnWheel = [this](int delta, bool control) {
        RunGuarded([&] { ZoomByWheel(delta, control); });
        // Ctrl and the wheel zoom the page; it does not scroll as well.
        return control;
    };
    b.OnKeyDown = [this](unsigned keyval, unsigned state) {
        PageTouched();
        const bool refresh = keyval == GDK_KEY_F5 || ((state & GDK_CONTROL_MASK) &&
                                                      (keyval == GDK_KEY_r || keyval == GDK_KEY_R));
        if (!refresh) return false;
        // The browser's own refresh would show the page file again; the
        // reader reloads the chapter instead.
        RunGuarded([&] {
            if (OnReload) OnReload(this, 0);
        });
        return true;
    };
    b.OnKeyUp = [this](unsigned keyval, unsigned) {
        if (LocalMode) return false;
        if (keyval == GDK_KEY_Left) {
            RunGuarded([&] { PreviousChapter(); });
            return true;
        }
        if (keyval == GDK_KEY_Right) {
            RunGuarded([&] { NextChapter(); });
            return true;
        }
        return false;
    };
    b.OnBeforeNavigate = [this, token = std::weak_ptr<int>(alive_)](const std::string& uri) {
        if (uri != kRetryURL) return true;
        platform::ui::RunWhenIdle([this, token] {
            if (!token.expired()) RunGuarded([&] { Reload(); });
        });
        return false;
    };
    b.OnNavigateComplete = [this](const std::string&) {
        ++documentSerial_;
        positionReady_ = false;
        documentTaken_ = false;
        restoreShort_ = false;
        restoreAtEnd_ = false;
    };
    b.OnDocumentReady = [this](const std::string& uri) { RunGuarded([&] { DocumentReady(uri); }); };
    b.OnDocumentComplete = [this](const std::string& uri) {
        RunGuarded([&] { DocumentComplete(uri); });
    };
}

GtkWidget* TXBookBrowser::Widget() const {
    return browser_->Widget();
}

// --- opening -----------------------------------------------------------------

void TXBookBrowser::NewRequest() {
    // Cancel waits for a download handler still running, so the generation
    // it posts with is the old one.
    chapterReader_->Cancel();
    ++generation_;
    downloadGeneration_ = generation_;
    chapterPage_.clear();
    positionReady_ = false;
}

void TXBookBrowser::LoadChapterList(const AnsiString& SiteID, const AnsiString& StoryID) {
    chapters_.clear();
    storyTitle_.clear();
    if (TStoryDB* db = StoryDB()) {
        db->GetChapterList(SiteID, StoryID, chapters_);
        db->GetArticleTitle(SiteID, StoryID, storyTitle_);
    }
}

std::string TXBookBrowser::StoryFolder(const AnsiString& SiteID, const AnsiString& StoryID) const {
    AnsiString folderName;
    if (TStoryDB* db = StoryDB()) db->GetFolderName(SiteID, StoryID, folderName);
    // Empty for a name that could reach outside the book folder.
    return StoryCacheFolder(folderName);
}

void TXBookBrowser::OpenChapter(const AnsiString& SiteID, const AnsiString& StoryID,
                                const AnsiString& ChapterID) {
    Open(SiteID, StoryID, ChapterID, false);
}

void TXBookBrowser::Open(const AnsiString& SiteID, const AnsiString& StoryID,
                         const AnsiString& ChapterID, bool keepRestore) {
    NewRequest();
    if (!keepRestore) restorePending_ = false;
    if (SiteID != siteID_ || StoryID != storyID_ || chapters_.empty()) {
        LoadChapterList(SiteID, StoryID);
        storyTitle_ = StripTags(storyTitle_);
        if (OnTitle) OnTitle(this, storyTitle_);
    }
    siteID_ = SiteID;
    storyID_ = StoryID;
    chapterID_ = ChapterID;
    chapterURL_.clear();

    if (ChapterID.empty()) {
        if (OnTitle)
            OnTitle(this, platform::Utf8ToAnsi("《") + storyTitle_ + platform::Utf8ToAnsi("》"));
        // The contents belong to the story: an error report from them names it.
        chapterURL_ = chapterReader_->PrepareStory(SiteID, StoryID);
        const std::string folder = StoryFolder(SiteID, StoryID);
        if (!folder.empty()) {
            RenderChapterFile(folder + "List2.HTML");
        } else {
            ShowErrorPage(platform::Utf8ToAnsi("找不到这本书的目录。"), false);
        }
        return;
    }

    AnsiString chapterName;
    if (TStoryDB* db = StoryDB()) db->GetChapterName(SiteID, StoryID, ChapterID, chapterName);
    chapterName = RemoveLineBreaks(StripTags(chapterName));
    if (OnTitle)
        OnTitle(this, platform::Utf8ToAnsi("《") + storyTitle_ + platform::Utf8ToAnsi("》--") +
                          chapterName);

    if (UseCache) {
        const std::string cache = ChapterCacheFile(SiteID, StoryID, ChapterID);
        if (!cache.empty() && IsPublishedPage(cache)) {
            RenderChapterFile(cache);
            chapterURL_ = chapterReader_->PrepareChapter(SiteID, StoryID, ChapterID);
            return;
        }
    }
    ShowLoadingPage();
    chapterReader_->ReadChapter(SiteID, StoryID, chapterURL_, 0, ChapterID);
}

void TXBookBrowser::ChapterArrived(const std::string& path, unsigned generation) {
    // A page of an older request: something else has been opened since.
    if (generation != generation_) return;
    if (path.empty()) {
        ShowErrorPage(platform::Utf8ToAnsi("这一章没能下载下来，可能是网络不通或书站暂时打不开。"),
                      true);
        return;
    }
    RenderChapterFile(path);
}

void TXBookBrowser::BrowseChapter(const AnsiString& SiteID, const AnsiString& StoryID,
                                  const AnsiString& ChapterID) {
    if (OnToolbarMode) OnToolbarMode(this, false);
    UseCache = true;
    OpenChapter(SiteID, StoryID, ChapterID);
}

void TXBookBrowser::StartRead(const AnsiString& SiteID, const AnsiString& StoryID) {
    if (OnToolbarMode) OnToolbarMode(this, false);
    // The position of the story asked for, with the current ids put back
    // afterwards, so that opening it below reloads the list when it changed.
    const AnsiString site = siteID_, story = storyID_;
    siteID_ = SiteID;
    storyID_ = StoryID;
    LoadReadPosition();
    siteID_ = site;
    storyID_ = story;

    if (!historyChapter_.empty()) {
        restorePending_ = true;
        Open(SiteID, StoryID, historyChapter_, true);
        return;
    }
    if (positionUnknown_) {
        // The saved position could not be read (the other program held the
        // database): the contents, where nothing is saved over it.
        Open(SiteID, StoryID, "", false);
        if (OnToolbarMode) OnToolbarMode(this, true);
        return;
    }
    NewRequest();
    restorePending_ = false;
    LoadChapterList(SiteID, StoryID);
    if (OnTitle) OnTitle(this, storyTitle_);
    siteID_ = SiteID;
    storyID_ = StoryID;
    if (!chapters_.empty() && !chapters_.front().ChapterID.empty())
        OpenChapter(SiteID, StoryID, chapters_.front().ChapterID);
}

void TXBookBrowser::RestartRead() {
    StartRead(siteID_, storyID_);
}

int TXBookBrowser::FindChapter(const AnsiString& ChapterID) const {
    for (size_t i = 0; i < chapters_.size(); ++i)
        if (chapters_[i].ChapterID == ChapterID) return static_cast<int>(i);
    return -1;
}

void TXBookBrowser::NextChapter() {
    if (OnToolbarMode) OnToolbarMode(this, false);
    UseCache = true;
    int next = 0;
    if (!chapterID_.empty()) {
        const int k = FindChapter(chapterID_);
        next = k >= 0 ? k + 1 : 0;
    }
    if (next >= static_cast<int>(chapters_.size())) {
        HomePage();
        return;
    }
    OpenChapter(siteID_, storyID_, chapters_[next].ChapterID);
}

void TXBookBrowser::PreviousChapter() {
    if (OnToolbarMode) OnToolbarMode(this, false);
    UseCache = true;
    const int k = FindChapter(chapterID_);
    if (k > 0) {
        OpenChapter(siteID_, storyID_, chapters_[k - 1].ChapterID);
        return;
    }
    HomePage();
}

void TXBookBrowser::HomePage() {
    OpenChapter(siteID_, storyID_, "");
    if (OnToolbarMode) OnToolbarMode(this, true);
}

int TXBookBrowser::HaveNextChapter() const {
    const int k = FindChapter(chapterID_);
    return k >= 0 && k + 2 < static_cast<int>(chapters_.size()) ? 1 : 0;
}

void TXBookBrowser::Reload() {
    UseCache = !IsOnline();
    // The same chapter again: a saved position still waiting for its page
    // (the chapter failed to arrive) is restored when it comes this time.
    Open(siteID_, storyID_, chapterID_, true);
}

// --- pages -------------------------------------------------------------------

void TXBookBrowser::RenderChapterFile(const std::string& fileName) {
    // The table of contents and the loading page are shown as they are.
    if (LowerExtension(fileName) != ".txt") {
        PageSaved(fileName);
        return;
    }
    std::string text;
    platform::ReadWholeFile(fileName, text);
    const AnsiString page = RenderChapterPage(template_, text, !IsOnline());
    const std::string saved =
        SavePage(std::filesystem::path(fileName).parent_path().string(), page);
    if (saved.empty()) {
        // An older page of that name belongs to another chapter.
        ShowErrorPage(
            platform::Utf8ToAnsi("这一章的页面没能写入磁盘，磁盘可能已满或没有写入权限。"), false);
        return;
    }
    ChapterPageSaved(saved);
}

std::string TXBookBrowser::SavePage(const std::string& folder, const AnsiString& page) {
    std::string name = folder;
    if (!name.empty() && name.back() != '/') name.push_back('/');
    name += "Content_" + std::to_string(pageCounter_) + ".html";
    pageCounter_ = pageCounter_ >= kPageCount - 1 ? 0 : pageCounter_ + 1;
    // Made again from the cache file whenever the chapter is shown: not
    // worth a wait for the disk on every page turn.
    if (!WriteFileAtomic(name, page, FileDurability::Replaceable)) return {};
    return name;
}

void TXBookBrowser::ShowErrorPage(const AnsiString& message, bool retry) {
    PageSaved(ErrorPageURL(platform::Utf8ToAnsi("无法显示本章"), message, retry));
}

void TXBookBrowser::ShowLoadingPage() {
    const std::string loading = LoadingPageFile();
    std::error_code error;
    if (std::filesystem::is_regular_file(loading, error)) RenderChapterFile(loading);
}

void TXBookBrowser::LoadTemplate() {
    template_ = platform::Utf8ToAnsi(LoadTemplateText("Content"));
}

void TXBookBrowser::PageSaved(const std::string& page) {
    if (OnPageSaved) OnPageSaved(this, page);
}

void TXBookBrowser::ChapterPageSaved(const std::string& page) {
    chapterPage_ = page;
    PageSaved(page);
}

// --- local text --------------------------------------------------------------

void TXBookBrowser::OpenLocalFile(const std::string& fileName) {
    localFile_ = fileName;
    if (OnTitle) OnTitle(this, platform::Utf8ToAnsi(FileNameOf(fileName)));
    OpenLocalText();
}

void TXBookBrowser::OpenLocalText() {
    NewRequest();
    restorePending_ = false;
    if (LowerExtension(localFile_) != ".txt") return;
    std::string bytes;
    platform::ReadWholeFile(localFile_, bytes);
    const AnsiString page = RenderLocalPage(template_, bytes, FileNameOf(localFile_),
                                            DateTimeText(std::time(nullptr)), !IsOnline());
    const std::string folder = LocalReadFolder();
    const std::string name = folder + "Content_Local.html";
    if (!MakeFolders(folder) || !WriteFileAtomic(name, page, FileDurability::Replaceable)) {
        ShowErrorPage(
            platform::Utf8ToAnsi("本地小说的页面没能写入磁盘，磁盘可能已满或没有写入权限。"),
            false);
        return;
    }
    LoadReadPosition();
    restorePending_ = true;
    ChapterPageSaved(name);
}

// --- navigation --------------------------------------------------------------

void TXBookBrowser::Navigate(const std::string& page) {
    currentPage_ = page;
    browser_->Navigate(platform::Utf8ToAnsi(page));
}

void TXBookBrowser::NavigateWhenIdle(const std::string& page) {
    if (!browser_->IsLoading()) {
        NavigateNow(page);
        return;
    }
    // No waiting here: the page goes when the running load ends. That may
    // never come soon (a picture from a host that takes the connection and
    // does not answer holds a page "loading"), so the wait is bounded.
    pendingPage_ = page;
    if (!navigating_) loadWait_.Restart();
    navigating_ = true;
}

void TXBookBrowser::NavigateNow(const std::string& page) {
    pendingPage_.clear();
    navigating_ = false;
    loadWait_.SetEnabled(false);
    Navigate(page);
}

void TXBookBrowser::LoadWaitOver() {
    loadWait_.SetEnabled(false);
    if (!navigating_) return;
    // The page on screen is being left anyway: what it still loads is of no
    // use, and the page that waits takes its place now.
    if (browser_->IsLoading()) {
        ++stoppedLoads_;
        browser_->Stop();
    }
    const std::string page = pendingPage_;
    NavigateNow(page);
}

void TXBookBrowser::DocumentReady(const std::string& uri) {
    // Once the chapter's text is there it is where the reader is, whatever
    // its pictures still do; each document is taken once.
    if (documentTaken_ || chapterPage_.empty() || UriFile(uri) != chapterPage_) return;
    documentTaken_ = true;
    if (restorePending_) {
        restorePending_ = false;
        RestorePosition();
        // The page is laid out for good only once its load ends (its style
        // sheet and pictures may still change its length): the place is
        // put back then too, unless the reader has moved on by then.
        restoreAtEnd_ = browser_->IsLoading();
    } else {
        MarkPositionReady();
    }
}

void TXBookBrowser::DocumentComplete(const std::string& uri) {
    // The end of a load that a newer one replaced (a load that fails also
    // ends here): only the newest counts.
    if (browser_->IsLoading()) return;
    if (navigating_) {
        const std::string page = pendingPage_;
        NavigateNow(page);
        return;
    }
    if (IsLoadingPage(uri)) return;
    if (restoreShort_ || restoreAtEnd_) {
        // The pictures are in and the page has its full length.
        restoreShort_ = false;
        restoreAtEnd_ = false;
        RestorePosition();
    } else {
        DocumentReady(uri);
    }
    browser_->FocusPage();
}

void TXBookBrowser::RestorePosition() {
    const unsigned serial = documentSerial_;
    const std::string script = "window.scrollTo(" + std::to_string(restoreHorizontal_) + ", " +
                               std::to_string(restoreVertical_) +
                               "); return [Math.round(window.scrollX) | 0, "
                               "Math.round(window.scrollY) | 0];";
    browser_->RunScript(script, [this, serial, token = std::weak_ptr<int>(alive_)](
                                    std::optional<std::string> json, std::string) {
        if (token.expired() || serial != documentSerial_) return;
        int x = 0, y = 0;
        const bool reported = json && ParsePosition(*json, x, y);
        if (reported) browser_->SetScrollReport(x, y);
        // Short of the place while the page still loads, or before the
        // restore that its end makes: its pictures have yet to give it its
        // length. Saving now would move the position up.
        const bool shortOfIt = reported && (x < restoreHorizontal_ || y < restoreVertical_);
        if (shortOfIt && (restoreAtEnd_ || browser_->IsLoading())) {
            restoreShort_ = true;
            return;
        }
        MarkPositionReady();
    });
}

void TXBookBrowser::MarkPositionReady() {
    positionReady_ = true;
    // The chapter on screen is the reading position from now on, also when
    // the reader is closed before anyone touches the page.
    ArmSaveTimer();
}

void TXBookBrowser::ClickBody() {
    browser_->ClickBody();
}

void TXBookBrowser::ApplyPageStyle() {
    browser_->CallFunction("setDocumentBgColor", {false});
}

// --- position ----------------------------------------------------------------

void TXBookBrowser::ArmSaveTimer() {
    if (!saveTimer_.Enabled()) saveTimer_.SetEnabled(true);
}

void TXBookBrowser::PageTouched() {
    restoreAtEnd_ = false;
    if (restoreShort_) {
        // The reader has gone on from where the page could take them: that
        // is the position now, not the one still waiting for the pictures.
        restoreShort_ = false;
        MarkPositionReady();
        return;
    }
    ArmSaveTimer();
}

void TXBookBrowser::SaveReadPosition() {
    // Only the position of the page the ids name, once its saved position
    // is back: a loading page or the previous chapter would overwrite it.
    if (!positionReady_) return;
    savedHorizontal_ = browser_->ScrollX();
    savedVertical_ = browser_->ScrollY();
    if (LocalMode) {
        const platform::IniFile scroll(LocalReadFolder() + kScrollFile);
        const std::string section = FileNameOf(localFile_);
        scroll.WriteInteger(section, "HScroll", savedHorizontal_);
        scroll.WriteInteger(section, "VScroll", savedVertical_);
        return;
    }
    if (chapterID_.empty()) return;
    if (TStoryDB* db = StoryDB())
        db->SaveReadPosition(siteID_, storyID_, DateTimeText(std::time(nullptr)), chapterID_,
                             savedHorizontal_, savedVertical_);
}

void TXBookBrowser::LoadReadPosition() {
    if (LocalMode) {
        const platform::IniFile scroll(LocalReadFolder() + kScrollFile);
        const std::string section = FileNameOf(localFile_);
        restoreHorizontal_ = scroll.ReadInteger(section, "HScroll", 0);
        restoreVertical_ = scroll.ReadInteger(section, "VScroll", 0);
        return;
    }
    TReadHistoryData position;
    TStoryDB* db = StoryDB();
    positionUnknown_ = !db || db->GetReadPosition(siteID_, storyID_, position).Failed();
    historyChapter_ = position.ReadChapter;
    restoreHorizontal_ = position.HScrollBarPos;
    restoreVertical_ = position.VScrollBarPos;
}

void TXBookBrowser::ZoomByWheel(int delta, bool control) {
    if (!control) {
        zoomDelta_ = 0;
    } else {
        // A touchpad sends many small deltas for what a wheel sends as one
        // notch: one step per notch's worth, in the direction turned last.
        if ((delta > 0 && zoomDelta_ < 0) || (delta < 0 && zoomDelta_ > 0)) zoomDelta_ = 0;
        zoomDelta_ += delta;
        bool zoomed = false;
        for (; zoomDelta_ >= kWheelNotch; zoomDelta_ -= kWheelNotch) {
            if (zoomStep_ < kMaxZoomStep) zoomStep_ += 10;
            zoomed = true;
        }
        for (; zoomDelta_ <= -kWheelNotch; zoomDelta_ += kWheelNotch) {
            if (zoomStep_ > kMinZoomStep) zoomStep_ -= 10;
            zoomed = true;
        }
        if (zoomed) browser_->SetPageZoom(zoomStep_ / 100.0 + 1);
    }
    PageTouched();
}

// --- prefetch ----------------------------------------------------------------

void TXBookBrowser::PrefetchChapters() {
    if (LocalMode) return;
    size_t start = 0;
    if (!chapterID_.empty()) {
        const int k = FindChapter(chapterID_);
        if (k >= 0) start = static_cast<size_t>(k) + 1;
    }
    bool queued = false;
    for (size_t i = start; i < chapters_.size() && i < start + kPrefetchCount; ++i) {
        const TChapterItemData& entry = chapters_[i];
        const std::string cache = ChapterCacheFile(entry.SiteID, entry.ArticleID, entry.ChapterID);
        if (!cache.empty() && IsPublishedPage(cache)) continue;
        preloader_->Add(entry.SiteID, entry.ArticleID, entry.ChapterID);
        queued = true;
    }
    if (queued) preloader_->Start();
}

// --- settings ----------------------------------------------------------------

namespace {
AnsiString Param(TDBRead (TStoryDB::*get)(AnsiString&)) {
    AnsiString value;
    if (TStoryDB* db = StoryDB()) (db->*get)(value);
    return value;
}
void SetParamValue(bool (TStoryDB::*set)(std::string_view), const AnsiString& value) {
    if (TStoryDB* db = StoryDB()) (db->*set)(value);
}
}  // namespace

AnsiString TXBookBrowser::GetColor() const {
    return Param(&TStoryDB::GetColor);
}
AnsiString TXBookBrowser::GetFontColor() const {
    return Param(&TStoryDB::GetFontColor);
}
AnsiString TXBookBrowser::GetFontName() const {
    return Param(&TStoryDB::GetFontName);
}
AnsiString TXBookBrowser::GetFontSize() const {
    return Param(&TStoryDB::GetFontSize);
}
AnsiString TXBookBrowser::GetSpeed() const {
    return Param(&TStoryDB::GetSpeed);
}
void TXBookBrowser::SetColor(const AnsiString& value) {
    SetParamValue(&TStoryDB::SetColor, value);
}
void TXBookBrowser::SetFontColor(const AnsiString& value) {
    SetParamValue(&TStoryDB::SetFontColor, value);
}
void TXBookBrowser::SetFontName(const AnsiString& value) {
    SetParamValue(&TStoryDB::SetFontName, value);
}
void TXBookBrowser::SetFontSize(const AnsiString& value) {
    SetParamValue(&TStoryDB::SetFontSize, value);
}
void TXBookBrowser::SetSpeed(const AnsiString& value) {
    SetParamValue(&TStoryDB::SetSpeed, value);
}
