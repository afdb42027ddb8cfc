#include "net/StoryDownLoad.h"

#include <chrono>
#include <thread>

#include "core/StoryExportHTML.h"
#include "core/TextHelpers.h"

TStoryDownLoad::TStoryDownLoad() : shared_(std::make_shared<Shared>()) {
    current_.resize(kWorkers);
    for (size_t i = 0; i < kWorkers; ++i) {
        auto worker = std::make_unique<TStoryReader>();
        worker->OnDone = [this, i](TStoryReader*, const std::string&) { ChapterDone(i); };
        workers_.push_back(std::move(worker));
    }
}

TStoryDownLoad::~TStoryDownLoad() {
    // Not under the lock: freed from inside an event this thread holds it
    // already, and a worker waiting for it must see the flag to give up.
    shared_->closing = true;
    // Each worker cancels its download and waits for a handler in flight; such
    // a handler finds closing set and returns without an event.
    for (auto& worker : workers_) worker->Cancel();
    workers_.clear();
}

void TStoryDownLoad::Start(const AnsiString& siteID, const AnsiString& articleID, int mode,
                           int startIndex) {
    // A run still going is stopped first, outside the lock its handlers take.
    for (auto& worker : workers_) worker->Cancel();
    // Held locally, before the lock that lives in it: a progress handler may
    // free this object.
    const std::shared_ptr<Shared> shared = shared_;
    bool nothingMissing;
    {
        const std::lock_guard lock(shared->lock);
        if (shared->closing) return;
        siteID_ = siteID;
        articleID_ = articleID;
        mode_ = mode;
        done_ = 0;
        total_ = 0;
        failed_ = 0;
        next_ = 0;
        nothingMissing = !LoadPendingChapters(startIndex);
        running_ = !nothingMissing;
        if (!nothingMissing)
            for (size_t i = 0; i < kWorkers && !shared->closing; ++i) NextChapter(i);
        if (shared->closing) return;
    }
    if (nothingMissing) {
        const CompleteEvent event = OnComplete;
        const int code = listUnreadable_ ? kListUnreadable : 0;
        if (event) event(this, code);
    }
}

bool TStoryDownLoad::LoadPendingChapters(int startIndex) {
    const std::lock_guard lock(shared_->lock);
    queue_.clear();
    TStoryDB* db = StoryDB();
    // A list that cannot be read is no empty list: the story is not complete.
    listUnreadable_ = !db || db->GetChapterList(siteID_, articleID_, queue_).Failed();
    std::vector<TChapterItemData> pending;
    pending.reserve(queue_.size());
    for (size_t i = 0; i < queue_.size(); ++i) {
        if (static_cast<int>(i) < startIndex) continue;
        // Only a complete file counts as cached: a cut or empty one is fetched again.
        const std::string file = ChapterCacheFile(siteID_, articleID_, queue_[i].ChapterID);
        if (!file.empty() && IsPublishedPage(file)) continue;
        pending.push_back(std::move(queue_[i]));
    }
    queue_ = std::move(pending);
    total_ = static_cast<int>(queue_.size());
    return !queue_.empty();
}

void TStoryDownLoad::NextChapter(size_t worker) {
    const std::lock_guard lock(shared_->lock);
    if (shared_->closing || next_ >= queue_.size()) return;  // nothing left: the worker idles
    const TChapterItemData& entry = queue_[next_++];
    current_[worker] = entry.ChapterID;
    std::string url;
    workers_[worker]->ReadChapter(siteID_, articleID_, url, mode_, entry.ChapterID);
    // Copies: the handler may free this object, and with it the fields.
    const ProgressEvent event = OnProgress;
    const AnsiString site = siteID_, article = articleID_, name = entry.ChapterName;
    if (event) event(this, site, article, done_, total_, name);
}

void TStoryDownLoad::ChapterDone(size_t worker) {
    // Held locally, before the lock that lives in it: a handler of OnProgress
    // or OnComplete may free this object.
    const std::shared_ptr<Shared> shared = shared_;
    {
        // Polled rather than waited for: the destructor may hold the lock.
        std::unique_lock lock(shared->lock, std::defer_lock);
        while (!lock.try_lock()) {
            if (shared->closing) return;
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        if (shared->closing || !running_) return;
        const std::string file = ChapterCacheFile(siteID_, articleID_, current_[worker]);
        if (file.empty() || !IsPublishedPage(file)) ++failed_;
        ++done_;
        const ProgressEvent progress = OnProgress;
        const AnsiString site = siteID_, article = articleID_;
        if (progress) progress(this, site, article, done_, total_, AnsiString());
        if (shared->closing) return;  // freed by the progress handler
        if (done_ < total_) {
            NextChapter(worker);
            return;
        }
        // The last chapter: OnComplete fires exactly once per run.
        running_ = false;
        const CompleteEvent complete = OnComplete;
        if (complete) complete(this, failed_);
    }
}

int TStoryDownLoad::Done() const {
    const std::lock_guard lock(shared_->lock);
    return done_;
}
int TStoryDownLoad::Total() const {
    const std::lock_guard lock(shared_->lock);
    return total_;
}
int TStoryDownLoad::Failed() const {
    const std::lock_guard lock(shared_->lock);
    return failed_;
}
bool TStoryDownLoad::ListUnreadable() const {
    const std::lock_guard lock(shared_->lock);
    return listUnreadable_;
}
bool TStoryDownLoad::Running() const {
    const std::lock_guard lock(shared_->lock);
    return running_;
}
