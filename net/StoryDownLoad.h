#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/StoryDB.h"
#include "net/StoryReader.h"
#include "platform/Charset.h"

// Downloads every chapter of one story that is not cached yet, with ten
// chapter workers drawing from one queue. A chapter counts as done only when
// its cache file was written as a published page; the run ends with the
// number of chapters that failed (0: the story is complete offline), and a
// new Start fetches only what is still missing.
//
// Start returns at once: the queue is built on a thread of the run's own (the
// chapter list read once, the story folder listed once), so that a window
// that starts a long story never waits for it. Events run on that thread or
// on the workers' request threads; a window hands what it needs to its own
// thread. Freeing the object mid-run is safe from any thread, an event
// handler of its own included: the destructor waits for the handlers in
// flight, and no event begins once it has started.
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
    // startIndex (from 0, in table order) are left out. A run still going is
    // stopped first.
    void Start(const AnsiString& siteID, const AnsiString& articleID, int mode, int startIndex);
    // Builds the queue of the story last started, on the calling thread; true
    // when at least one chapter is missing. False also when the chapter list
    // could not be read (ListUnreadable tells).
    bool LoadPendingChapters(int startIndex);
    bool ListUnreadable() const;

    int Done() const;
    int Total() const;
    int Failed() const;
    // True from Start until OnComplete.
    bool Running() const;

  private:
    // A re-entrant lock whose waiters can give up once the object is closing:
    // the destructor may run on a thread that holds the lock (freed from an
    // event) and wait there for another worker's handler, which therefore
    // must not go on waiting for the lock. Waiters sleep until the lock is
    // free or the object closes.
    class ClosingLock {
      public:
        void lock();
        void unlock();
        // Takes the lock unless the object is closing (then false at once).
        bool LockUnlessClosing();
        void Close();
        bool Closing() const { return closing_.load(); }

      private:
        std::mutex mutex_;
        std::condition_variable free_;
        std::thread::id owner_;
        int depth_ = 0;
        std::atomic<bool> closing_{false};
    };
    struct Shared {
        ClosingLock lock;
    };
    // The chapters still to fetch of a story, in table order.
    struct Pending {
        std::vector<TChapterItemData> chapters;
        // What every chapter's page takes from the story's row, read with
        // the list (the chapter name left empty).
        TChapterLabels story;
        bool unreadable = false;
    };

    static Pending PendingChapters(const AnsiString& siteID, const AnsiString& articleID,
                                   int startIndex, const std::function<bool()>& stopped);
    void BuildQueue(uint64_t run, AnsiString siteID, AnsiString articleID, int startIndex);
    // Under the lock: takes the queue and sets the workers going, or ends the
    // run at once when nothing is missing.
    void Launch(Pending pending);
    // Under the lock: takes the worker's next entry and announces it; false
    // when none is left or the object closed meanwhile.
    struct Job {
        AnsiString siteID, articleID, chapterID;
        int mode = 1;
        TChapterLabels labels;
    };
    bool HandOut(size_t worker, Job& job);
    void StartChapter(size_t worker, const Job& job);
    void NextChapter(size_t worker);
    void ChapterDone(size_t worker);
    void JoinBuilder();

    std::shared_ptr<Shared> shared_;
    std::vector<std::unique_ptr<TStoryReader>> workers_;
    std::thread builder_;
    uint64_t run_ = 0;  // the run whose queue is wanted; an older builder drops its own
    std::atomic<uint64_t> wantedRun_{0};  // run_, for a builder to look at without the lock
    std::vector<TChapterItemData> queue_;
    TChapterLabels story_;             // of the run's story, read with its queue
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
