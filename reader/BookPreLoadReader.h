#pragma once

#include <deque>
#include <memory>
#include <mutex>

#include "platform/Charset.h"

class TStoryReader;

// One chapter waiting to be preloaded.
struct TPreLoadData {
    AnsiString SiteID;
    AnsiString StoryID;
    AnsiString ChapterID;
};

// Downloads the chapters after the one being read, one at a time, with a
// chapter reader of its own, so that the next clicks find complete cache
// files. Nothing is shown: the only result is cache files on disk.
//
// Add and Start run on the user-interface thread; ReadNext also runs on the
// download's worker thread after each chapter. The queue, the idle flag and
// the last SiteID live under one mutex, and the idle flag is tested and set
// inside it, so a wake-up is never lost and never doubled.
class TBookPreLoadReader {
  public:
    TBookPreLoadReader();
    // Frees the chapter reader first (its running download is abandoned and
    // no event follows), then the queue.
    ~TBookPreLoadReader();
    TBookPreLoadReader(const TBookPreLoadReader&) = delete;
    TBookPreLoadReader& operator=(const TBookPreLoadReader&) = delete;

    // Queues a chapter; a chapter of another site than the last one empties
    // the queue first; a chapter already queued is not queued twice.
    void Add(const AnsiString& SiteID, const AnsiString& StoryID, const AnsiString& ChapterID);
    // Starts the chain when idle; a running chain reaches new entries itself.
    void Start();
    // Starts the oldest entry's download, or becomes idle.
    void ReadNext();
    void Clear();

    bool Idle() const;
    size_t QueueSize() const;
    TStoryReader& ChapterReader() { return *reader_; }

  private:
    // Takes the next entry off the queue and marks the chain busy; false (and
    // idle) when the queue is empty. fromChain: called by the running chain,
    // which owns the busy state; otherwise only an idle preloader starts.
    bool TakeNext(TPreLoadData& entry, bool fromChain);
    void Chain(bool fromChain);

    std::unique_ptr<TStoryReader> reader_;
    mutable std::mutex mutex_;
    std::deque<TPreLoadData> queue_;
    AnsiString lastSiteID_;
    bool idle_ = true;
    bool stopping_ = false;
};
