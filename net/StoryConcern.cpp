#include "net/StoryConcern.h"

#include "core/Regex.h"
#include "core/TextHelpers.h"

TStoryConcern::TStoryConcern()
    : story_(std::make_unique<TStory>()), downloader_(std::make_unique<TDownLoader>()) {
    downloader_->UserAgent = kUserAgent;
    downloader_->MaxRetry = 3;
    downloader_->OnResult = [this](TDownLoader*, const std::string& url, bool failed,
                                   const AnsiString& text,
                                   const std::string*) { Arrived(url, failed, text); };
}

TStoryConcern::~TStoryConcern() {
    // Waits for a step running on another thread before the story and the list go.
    downloader_->Unbind();
}

void TStoryConcern::LoadList() {
    std::vector<TConcernItemData> list;
    if (TStoryDB* db = StoryDB()) db->GetFollowedLastInfo(list);
    const std::lock_guard lock(mutex_);
    list_ = std::move(list);
    index_ = 0;
}

void TStoryConcern::Start() {
    downloader_->Cancel();
    LoadList();
    CheckNext();
}

void TStoryConcern::CheckNext() {
    while (true) {
        std::string url;
        {
            const std::lock_guard lock(mutex_);
            if (index_ >= list_.size()) break;
            current_ = list_[index_++];
            onListPage_ = false;
        }
        try {
            if (story_->SiteID != current_.SiteID || story_->SiteID.empty())
                story_->LoadSite(current_.SiteID);
            story_->ArticleID = current_.ArticleID;
            // The chapter list's address needs the story's folder id: the stored
            // one until the story page gives its own.
            AnsiString folderID;
            if (TStoryDB* db = StoryDB())
                db->GetFolderRule(current_.SiteID, current_.ArticleID, folderID);
            story_->FolderID = folderID;
            url = story_->GetArticleURL();
        } catch (const RegexError&) {
            url.clear();
        }
        if (url.empty()) continue;  // a story of an unknown site: skipped this pass
        downloader_->Download(url);
        return;
    }
    // Every followed story examined. The last thing done: the owner may free
    // this object from inside the event.
    const CompleteEvent event = OnComplete;
    if (event) event(this);
}

void TStoryConcern::Arrived(const std::string& url, bool failed, const AnsiString& text) {
    if (failed) {
        CheckNext();  // skipped this pass, nothing stored
        return;
    }
    AnsiString latest;
    try {
        const AnsiString page = DecodeCharset(text, story_->CodePage);
        if (onListPage_) {
            Record(story_->GetLastChapterName(page));
            return;
        }
        latest = story_->ExtractLastInfo(page);
        if (latest.empty()) {
            const AnsiString stored = story_->FolderID;
            if (story_->ExtractFolderID(page).empty()) story_->FolderID = stored;
            const std::string listURL = story_->GetVolumnURL();
            if (listURL != url && !listURL.empty()) {
                onListPage_ = true;
                downloader_->Download(listURL);
                return;
            }
            latest = story_->GetLastChapterName(page);
        }
    } catch (const RegexError&) {
        CheckNext();
        return;
    }
    Record(latest);
}

void TStoryConcern::Record(const AnsiString& latest) {
    bool changed = false;
    if (TStoryDB* db = StoryDB()) {
        db->SetUpdateTime(current_.SiteID, current_.ArticleID);
        // A page that yields no text keeps the stored one: storing the empty
        // text would report the unchanged chapter as new on the next pass.
        if (!latest.empty()) {
            db->SetLastArticleInfo(current_.SiteID, current_.ArticleID, latest);
            changed = latest != current_.LastArticleInfo;
            if (changed) db->SetHaveUpdate(current_.SiteID, current_.ArticleID, true);
        }
    }
    if (changed) {
        const UpdateEvent event = OnUpdate;
        if (event) event(this, current_.SiteID, current_.ArticleID);
    }
    CheckNext();
}
