// TMainForm's followed stories, the online and local shelves and the recent
// reads.

#include "shelf/MainForm.h"

#include "controls/PopupForm.h"
#include "controls/QuiraListBox.h"
#include "controls/SearchBox2.h"
#include "controls/XBookShelfListBox.h"
#include "controls/XLastReadListBox.h"
#include "net/StoryConcern.h"
#include "platform/ui/Timer.h"
#include "shelf/MainFormParts.h"
#include "shelf/ShelfHelpers.h"
#include "shelf/dialogs/CacheForm.h"

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
