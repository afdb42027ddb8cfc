#pragma once

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/StoryDB.h"
#include "platform/Charset.h"

// Why an export failed, for the user to be told what it was.
enum class TExportFailure {
    None,
    ChapterList,  // the story's chapter list could not be read from the database
    Templates,    // an export template is missing or broken
    Write,        // the file could not be written in the export folder
    WorkSpace,    // no temporary folder to build the file in
    Busy,         // the writer's previous export still runs
};

// A failure of an export that the caller must hear of, with its cause.
class TExportError : public std::runtime_error {
  public:
    explicit TExportError(const std::string& what, TExportFailure failure = TExportFailure::Write)
        : std::runtime_error(what), failure_(failure) {}
    TExportFailure Failure() const { return failure_; }

  private:
    TExportFailure failure_;
};

// What the TXT and EPUB writers share: the story's title, author and
// introduction, its chapter list with the cached text of each chapter, a
// worker thread, cancelling and progress events. Nothing here touches a
// window: the events run on the thread that exports, and a dialog hands what
// it needs to its own thread.
class TStoryExport {
  public:
    // Index is the 1-based position of the chapter just taken, Count the
    // length of the whole list.
    using TProgressEvent = std::function<void(TStoryExport* sender, int index,
                                              const AnsiString& chapterName, int count)>;
    // The end of an export started with Start: the file name (also after a
    // cancel), whether the file was written, and if not, why (None after a
    // cancel) and the failure's text.
    using TDoneEvent =
        std::function<void(TStoryExport* sender, const std::string& fileName, bool written,
                           TExportFailure failure, const std::string& error)>;

    TStoryExport() = default;
    virtual ~TStoryExport();
    TStoryExport(const TStoryExport&) = delete;
    TStoryExport& operator=(const TStoryExport&) = delete;

    TProgressEvent OnProgress;
    TDoneEvent OnDone;

    // Title, Author and Intro of the story (from the process-wide database).
    void LoadArticleInfo(std::string_view siteID, std::string_view articleID);
    // The chapter list; per chapter Mark is 1 when its cache file exists and
    // ChapterContent the cached text without HTML comments.
    virtual void LoadChapters(std::string_view siteID, std::string_view articleID) = 0;
    // Writes the file into the folder (UTF-8 path) from the chapter at
    // startIndex on and returns its path, also when cancelled (then nothing
    // is written). Throws TExportError when the file cannot be written or the
    // chapter list could not be read from the database.
    std::string Export(const std::string& folder, int startIndex);

    // LoadChapters and Export on a worker thread, then OnDone there. False
    // while an export runs, and from the worker's own events.
    bool Start(std::string_view siteID, std::string_view articleID, const std::string& folder,
               int startIndex);
    // Stops the export before its next chapter; nothing is saved.
    void Cancel() { cancelled_ = true; }
    bool Cancelled() const { return cancelled_; }
    bool Running() const { return running_; }
    // Waits for a started export to end.
    void Wait();

    AnsiString Title;
    AnsiString Author;
    AnsiString Intro;
    std::vector<TChapterItemData> Chapters;

  protected:
    virtual std::string DoExport(const std::string& folder, int startIndex) = 0;
    // Fills Chapters with their cached texts; keepPictures false empties the
    // text of a chapter that shows pictures.
    void LoadCachedChapters(std::string_view siteID, std::string_view articleID, bool keepPictures);
    void Progress(int index, const AnsiString& chapterName, int count);
    // Derived destructors call this first, so that the worker never runs
    // into a half-destroyed object.
    void StopWorker();

    std::atomic<bool> cancelled_{false};

  private:
    std::string CheckedExport(const std::string& folder, int startIndex);

    // The last LoadChapters could not read the list (not: found it empty).
    bool chapterListUnread_ = false;
    std::thread worker_;
    std::atomic<bool> running_{false};
};

// A folder name with a trailing "/".
std::string WithTrailingSlash(const std::string& folder);

// The most bytes of an export file's name: a file system's 255, less room for
// the suffix of the temporary file written beside it.
inline constexpr size_t kMaxExportNameBytes = 255 - 16;

// The export file's path: folder + SafeFileName(title) + extension, the name
// converted to UTF-8 for the file system and cut at a character boundary to
// kMaxExportNameBytes. An empty title gives "未命名".
std::string ExportFileName(const std::string& folder, std::string_view title,
                           std::string_view extension);

// Five-digit decimal character references ("&#20013;") as ANSI characters,
// from the left; other references stay.
AnsiString DecodeFiveDigitReferences(std::string_view text);
