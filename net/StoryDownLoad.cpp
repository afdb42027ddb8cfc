#include "net/StoryDownLoad.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <unordered_set>
#include <utility>

#include "core/Regex.h"
#include "core/StoryExportHTML.h"
#include "core/TextHelpers.h"

namespace {

// The names of the files in a folder, read once.
std::unordered_set<std::string> FileNames(const std::string& folder) {
    std::unordered_set<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return names;
    while (const dirent* entry = ::readdir(dir)) names.insert(entry->d_name);
    ::closedir(dir);
    return names;
}

// Whether a chapter cache file is a published page. The page writer puts the
// marker at the end of the file, so its last kilobytes tell; a file without a
// marker there (not ours, or cut short) is read whole as IsPublishedPage does.
bool PublishedFile(const std::string& path) {
    constexpr off_t kTail = 4096;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    std::string tail;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        const off_t from = info.st_size > kTail ? info.st_size - kTail : 0;
        tail.resize(static_cast<size_t>(info.st_size - from));
        const ssize_t got = ::pread(fd, tail.data(), tail.size(), from);
        tail.resize(got > 0 ? static_cast<size_t>(got) : 0);
    }
    ::close(fd);
    RegexMatchResult marker;
    if (Regex::Get("(?i)<!--published:([^<>]*)-->")->Search(tail, marker))
        return !marker.Group(tail, 1).empty();
    return tail.size() == static_cast<size_t>(kTail) && IsPublishedPage(path);
}

}  // namespace

// ---- The lock --------------------------------------------------------------------

void TStoryDownLoad::ClosingLock::lock() {
    std::unique_lock guard(mutex_);
    const auto me = std::this_thread::get_id();
    if (depth_ > 0 && owner_ == me) {
        ++depth_;
        return;
    }
    free_.wait(guard, [&] { return depth_ == 0; });
    owner_ = me;
    depth_ = 1;
}

bool TStoryDownLoad::ClosingLock::LockUnlessClosing() {
    std::unique_lock guard(mutex_);
    const auto me = std::this_thread::get_id();
    if (depth_ > 0 && owner_ == me) {
        ++depth_;
        return true;
    }
    free_.wait(guard, [&] { return depth_ == 0 || closing_; });
    if (closing_) return false;
    owner_ = me;
    depth_ = 1;
    return true;
}

void TStoryDownLoad::ClosingLock::unlock() {
    {
        const std::lock_guard guard(mutex_);
        if (--depth_ > 0) return;
        owner_ = std::thread::id();
    }
    free_.notify_one();
}

void TStoryDownLoad::ClosingLock::Close() {
    {
        const std::lock_guard guard(mutex_);
        closing_ = true;
    }
    free_.notify_all();
}

// ---- The download ----------------------------------------------------------------

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
    // already, and a worker waiting for it must give up.
    shared_->lock.Close();
    // The builder stops at its next step; it hands no chapter out any more.
    JoinBuilder();
    // Each worker cancels its download and waits for a handler in flight; such
    // a handler finds the object closing and returns without an event.
    for (auto& worker : workers_) worker->Cancel();
    workers_.clear();
}

void TStoryDownLoad::JoinBuilder() {
    if (!builder_.joinable()) return;
    // From one of its own events the builder is this very thread, which ends
    // right after it.
    if (builder_.get_id() == std::this_thread::get_id())
        builder_.detach();
    else
        builder_.join();
}

void TStoryDownLoad::Start(const AnsiString& siteID, const AnsiString& articleID, int mode,
                           int startIndex) {
    // A run still going is stopped first, outside the lock its handlers take.
    for (auto& worker : workers_) worker->Cancel();
    const std::shared_ptr<Shared> shared = shared_;
    uint64_t run;
    {
        const std::lock_guard lock(shared->lock);
        if (shared->lock.Closing()) return;
        run = ++run_;
        wantedRun_ = run;
        siteID_ = siteID;
        articleID_ = articleID;
        mode_ = mode;
        done_ = 0;
        total_ = 0;
        failed_ = 0;
        next_ = 0;
        queue_.clear();
        listUnreadable_ = false;
        running_ = true;
    }
    // A builder of an earlier run sees that it is not wanted and ends.
    JoinBuilder();
    builder_ = std::thread([this, shared, run, siteID, articleID, startIndex] {
        BuildQueue(run, siteID, articleID, startIndex);
    });
}

TStoryDownLoad::Pending TStoryDownLoad::PendingChapters(const AnsiString& siteID,
                                                        const AnsiString& articleID, int startIndex,
                                                        const std::function<bool()>& stopped) {
    Pending pending;
    TStoryDB* db = StoryDB();
    std::vector<TChapterItemData> list;
    TChapterLabels& story = pending.story;
    // A list that cannot be read is no empty list: the story is not complete.
    // The story's row is read here once for every chapter of the run.
    if (!db || db->GetChapterList(siteID, articleID, list).Failed() ||
        db->GetArticleFolderAndAuthor(siteID, articleID, story.FolderID, story.FolderName,
                                      story.Author)
            .Failed()) {
        pending.unreadable = true;
        return pending;
    }
    const std::string folder = StoryCacheFolder(story.FolderName);
    const std::unordered_set<std::string> files =
        folder.empty() ? std::unordered_set<std::string>() : FileNames(folder);
    pending.chapters.reserve(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        if (static_cast<int>(i) < startIndex) continue;
        if (stopped()) return {};
        // Only a complete file counts as cached: a cut or empty one is fetched again.
        const std::string name = SaltedMD5(list[i].ChapterID) + ".txt";
        if (files.count(name) && PublishedFile(folder + name)) continue;
        pending.chapters.push_back(std::move(list[i]));
    }
    return pending;
}

bool TStoryDownLoad::LoadPendingChapters(int startIndex) {
    const std::lock_guard lock(shared_->lock);
    Pending pending = PendingChapters(siteID_, articleID_, startIndex, [] { return false; });
    listUnreadable_ = pending.unreadable;
    queue_ = std::move(pending.chapters);
    story_ = std::move(pending.story);
    next_ = 0;
    total_ = static_cast<int>(queue_.size());
    return !queue_.empty();
}

void TStoryDownLoad::BuildQueue(uint64_t run, AnsiString siteID, AnsiString articleID,
                                int startIndex) {
    // Held locally, before the lock that lives in it: an event may free this object.
    const std::shared_ptr<Shared> shared = shared_;
    const auto stopped = [&] { return shared->lock.Closing() || wantedRun_.load() != run; };
    Pending pending = PendingChapters(siteID, articleID, startIndex, stopped);
    if (!shared->lock.LockUnlessClosing()) return;
    const std::lock_guard lock(shared->lock, std::adopt_lock);
    if (run != run_) return;  // a later Start wants another queue
    Launch(std::move(pending));
}

void TStoryDownLoad::Launch(Pending pending) {
    listUnreadable_ = pending.unreadable;
    queue_ = std::move(pending.chapters);
    story_ = std::move(pending.story);
    next_ = 0;
    total_ = static_cast<int>(queue_.size());
    if (queue_.empty()) {
        running_ = false;
        // Copies: the handler may free this object, and with it the fields.
        const CompleteEvent event = OnComplete;
        const int code = listUnreadable_ ? kListUnreadable : 0;
        if (event) event(this, code);
        return;
    }
    for (size_t i = 0; i < kWorkers && !shared_->lock.Closing(); ++i) NextChapter(i);
}

bool TStoryDownLoad::HandOut(size_t worker, Job& job) {
    if (shared_->lock.Closing() || next_ >= queue_.size()) return false;  // the worker idles
    const TChapterItemData& entry = queue_[next_++];
    current_[worker] = entry.ChapterID;
    job = {siteID_, articleID_, entry.ChapterID, mode_, story_};
    job.labels.ChapterName = entry.ChapterName;
    // Copies: the handler may free this object, and with it the fields.
    const ProgressEvent event = OnProgress;
    const AnsiString site = siteID_, article = articleID_, name = entry.ChapterName;
    if (event) event(this, site, article, done_, total_, name);
    return !shared_->lock.Closing();
}

void TStoryDownLoad::StartChapter(size_t worker, const Job& job) {
    std::string url;
    workers_[worker]->ReadChapter(job.siteID, job.articleID, url, job.mode, job.chapterID,
                                  job.labels);
}

void TStoryDownLoad::NextChapter(size_t worker) {
    const std::lock_guard lock(shared_->lock);
    Job job;
    if (HandOut(worker, job)) StartChapter(worker, job);
}

void TStoryDownLoad::ChapterDone(size_t worker) {
    // Held locally, before the lock that lives in it: a handler of OnProgress
    // or OnComplete may free this object.
    const std::shared_ptr<Shared> shared = shared_;
    Job next;
    {
        // Waited for without a poll; given up once the object closes, since the
        // destructor may hold the lock while it waits for this handler.
        if (!shared->lock.LockUnlessClosing()) return;
        const std::lock_guard lock(shared->lock, std::adopt_lock);
        if (shared->lock.Closing() || !running_) return;
        // The worker wrote the cache file as a published page, or the chapter failed.
        if (!workers_[worker]->ChapterPublished()) ++failed_;
        ++done_;
        const ProgressEvent progress = OnProgress;
        const AnsiString site = siteID_, article = articleID_;
        if (progress) progress(this, site, article, done_, total_, AnsiString());
        if (shared->lock.Closing()) return;  // freed by the progress handler
        if (done_ >= total_) {
            // The last chapter: OnComplete fires exactly once per run.
            running_ = false;
            const CompleteEvent complete = OnComplete;
            const int failed = failed_;
            if (complete) complete(this, failed);
            return;
        }
        if (!HandOut(worker, next)) return;
    }
    // The chapter's download starts outside the lock: its setup (the address
    // by the site's rules, a new request) would hold up the other nine
    // workers' next chapters. This runs inside the worker's own handler, so the
    // run cannot change meanwhile: Start and the destructor cancel this
    // worker first, which waits for this handler to end (or drops the
    // request it starts).
    if (shared->lock.Closing()) return;
    StartChapter(worker, next);
}

bool TStoryDownLoad::ListUnreadable() const {
    const std::lock_guard lock(shared_->lock);
    return listUnreadable_;
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
bool TStoryDownLoad::Running() const {
    const std::lock_guard lock(shared_->lock);
    return running_;
}
