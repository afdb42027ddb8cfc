#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/StoryDB.h"
#include "net/StoryReader.h"
#include "platform/Charset.h"

// Downloads every chapter of one story that is not cached yet, with ten
// chapter workers drawing from one queue. A chapter counts as done only when
// its cache file carries the published marker afterwards; the run ends with
// the number of chapters that failed (0: the story is complete offline), and
// a new Start fetches only what is still missing.
//
// Events run on the workers' request threads. Freeing the object mid-run is
// safe from any thread, an event handler of its own included: the destructor
// waits for the handlers in flight, and no event begins once it has started.
class TStoryDownLoad {
  public:
    static constexpr int kWorkers = 10;
    // The code of a run that could not read the story's chapter list from
    // the database (the other program kept it locked): nothing was fetched,
    // and the story is not complete.
    static constexpr int kListUnreadable = -1;

    using ProgressEvent = std::function<void(TStoryDownLoad* sender, const AnsiString& siteID,
                                             const AnsiString& articleID, int done, int total,
                                             const AnsiString& chapterName)>;
    // Code: the number of chapters of the run that did not arrive, or
    // kListUnreadable.
    using CompleteEvent = std::function<void(TStoryDownLoad* sender, int code)>;

    TStoryDownLoad();
    ~TStoryDownLoad();
    TStoryDownLoad(const TStoryDownLoad&) = delete;
    TStoryDownLoad& operator=(const TStoryDownLoad&) = delete;

    ProgressEvent OnProgress;
    CompleteEvent OnComplete;

    // Mode as for TStoryReader::ReadChapter; chapters before position
    // startIndex (from 0, in table order) are left out.
    void Start(const AnsiString& siteID, const AnsiString& articleID, int mode, int startIndex);
    // Builds the queue; true when at least one chapter is missing. False
    // also when the chapter list could not be read (ListUnreadable tells).
    bool LoadPendingChapters(int startIndex);
    bool ListUnreadable() const;

    int Done() const;
    int Total() const;
    int Failed() const;
    bool Running() const;

  private:
    struct Shared {
        std::recursive_mutex lock;
        // Read without the lock: a worker waiting for the lock gives up once
        // it is set, since the destructor may hold the lock (freed from inside
        // an event) while it waits for that worker's handler.
        std::atomic<bool> closing{false};
    };

    void NextChapter(size_t worker);
    void ChapterDone(size_t worker);

    std::shared_ptr<Shared> shared_;
    std::vector<std::unique_ptr<TStoryReader>> workers_;
    std::vector<TChapterItemData> queue_;
    std::vector<AnsiString> current_;  // the chapter each worker fetches
    size_t next_ = 0;
    int done_ = 0;
    int total_ = 0;
    int failed_ = 0;
    bool running_ = false;
    bool listUnreadable_ = false;
    AnsiString siteID_, articleID_;
    int mode_ = 1;
};
