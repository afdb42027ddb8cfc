// TMainForm's content views, the navigation list, the search and the
// chapter-list page of a story.

#include "shelf/MainForm.h"

#include "controls/ComponentGlobal.h"
#include "controls/SearchBox2.h"
#include "controls/SearchResultPanel.h"
#include "controls/XBookShelfListBox.h"
#include "controls/XCheckBox.h"
#include "controls/XLastReadListBox.h"
#include "controls/XSearchResultListBox.h"
#include "core/LoadingPage.h"
#include "net/StoryStatus.h"
#include "platform/Url.h"
#include "platform/ui/Browser.h"
#include "shelf/ListErrorPage.h"
#include "shelf/MainFormParts.h"
#include "shelf/VendorPages.h"
#include "shelf/dialogs/SyncForm.h"

using platform::ui::Browser;

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
    if (IsFile(LoadingPageFile())) ShowBrowser(TContentView::SearchBrowser, LoadingPageFile());
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
    if (IsFile(LoadingPageFile())) NavigateBrowser(*listBrowser_, LoadingPageFile());
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
