#include "reader/BookPreLoadReader.h"

#include <algorithm>
#include <string>

#include "net/StoryReader.h"

TBookPreLoadReader::TBookPreLoadReader() : reader_(std::make_unique<TStoryReader>()) {
    // After every chapter, written or failed for good, the chain goes on.
    reader_->OnDone = [this](TStoryReader*, const std::string&) { Chain(true); };
}

TBookPreLoadReader::~TBookPreLoadReader() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    // Cancel waits for a handler running on a worker (which now takes nothing
    // more) and wins over a download that handler restarts; afterwards no
    // event of the reader begins, and it can go.
    reader_->Cancel();
    reader_.reset();
}

void TBookPreLoadReader::Add(const AnsiString& SiteID, const AnsiString& StoryID,
                             const AnsiString& ChapterID) {
    const std::lock_guard lock(mutex_);
    if (SiteID != lastSiteID_) queue_.clear();
    lastSiteID_ = SiteID;
    const bool queued = std::any_of(queue_.begin(), queue_.end(), [&](const TPreLoadData& entry) {
        return entry.StoryID == StoryID && entry.ChapterID == ChapterID;
    });
    if (!queued) queue_.push_back({SiteID, StoryID, ChapterID});
}

void TBookPreLoadReader::Start() {
    Chain(false);
}

void TBookPreLoadReader::ReadNext() {
    Chain(false);
}

void TBookPreLoadReader::Clear() {
    const std::lock_guard lock(mutex_);
    queue_.clear();
}

bool TBookPreLoadReader::Idle() const {
    const std::lock_guard lock(mutex_);
    return idle_;
}

size_t TBookPreLoadReader::QueueSize() const {
    const std::lock_guard lock(mutex_);
    return queue_.size();
}

bool TBookPreLoadReader::TakeNext(TPreLoadData& entry, bool fromChain) {
    const std::lock_guard lock(mutex_);
    if (stopping_ || (!fromChain && !idle_)) return false;  // the running chain takes it
    if (queue_.empty()) {
        idle_ = true;
        return false;
    }
    idle_ = false;
    entry = std::move(queue_.front());
    queue_.pop_front();
    return true;
}

void TBookPreLoadReader::Chain(bool fromChain) {
    TPreLoadData entry;
    // Entries with an empty text are dropped and the next one is taken.
    while (TakeNext(entry, fromChain)) {
        fromChain = true;
        if (entry.SiteID.empty() || entry.StoryID.empty() || entry.ChapterID.empty()) continue;
        std::string url;
        reader_->ReadChapter(entry.SiteID, entry.StoryID, url, 0, entry.ChapterID);
        return;
    }
}
