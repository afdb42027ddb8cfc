#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Story.h"
#include "net/DownLoader.h"
#include "platform/Charset.h"

class TStoryExportHTML;

// One picture of a chapter: the src as the chapter writes it and its address.
struct TChapterPicData {
    AnsiString Src;
    std::string URL;
};

// What a chapter's page takes from the database besides its text. A caller
// that fetches many chapters of one story reads it once and hands it to
// ReadChapter, so that the chapters do not queue for the database one read
// after another.
struct TChapterLabels {
    AnsiString FolderID;    // the story's folder id, part of the chapter's address
    AnsiString FolderName;  // the story's cache folder
    AnsiString Author;
    AnsiString ChapterName;
};

// Reads one story from its site by the site's rules: UpdateStory fetches the
// story page and chapter list, stores them and writes the story's list pages
// and cover; ReadChapter fetches one chapter with its pictures and writes the
// chapter cache file. One thing at a time: a new call abandons the running one.
// Every handler after the first request runs on request worker threads, one
// after another; OnDone and OnFail run there too.
class TStoryReader {
  public:
    static constexpr const char* kUserAgent = "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1)";

    // Sender, Path: the written list page, the chapter file, or empty when no
    // chapter file was written.
    using DoneEvent = std::function<void(TStoryReader* sender, const std::string& path)>;
    using FailEvent = std::function<void(TStoryReader* sender, const AnsiString& siteID,
                                         const AnsiString& articleID)>;

    TStoryReader();
    ~TStoryReader();
    TStoryReader(const TStoryReader&) = delete;
    TStoryReader& operator=(const TStoryReader&) = delete;

    DoneEvent OnDone;
    FailEvent OnFail;

    // Mode: 0 the reading program, 1 EPUB export and offline download, 2 text export.
    void UpdateStory(const AnsiString& siteID, const AnsiString& articleID, int mode);
    // Starts the chapter and gives its page's URL at once.
    void ReadChapter(const AnsiString& siteID, const AnsiString& articleID, std::string& url,
                     int mode, const AnsiString& chapterID);
    // The same with what the page needs from the database already read.
    void ReadChapter(const AnsiString& siteID, const AnsiString& articleID, std::string& url,
                     int mode, const AnsiString& chapterID, const TChapterLabels& labels);
    // The chapter page's URL, with nothing downloaded (reading program); a
    // download still running is abandoned, as by Cancel.
    std::string PrepareChapter(const AnsiString& siteID, const AnsiString& articleID,
                               const AnsiString& chapterID);
    // The story page's URL, with nothing downloaded (reading program: the
    // address of a story's contents); a download still running is abandoned.
    std::string PrepareStory(const AnsiString& siteID, const AnsiString& articleID);
    void Cancel();
    void Stop() { Cancel(); }

    AnsiString SiteID() const;
    AnsiString ArticleID() const;
    AnsiString ChapterID() const;
    int Mode() const;
    AnsiString Title() const;  // story title after UpdateStory, chapter name after ReadChapter
    std::string CoverURL() const;
    bool Cancelled() const { return cancelled_; }
    // After ReadChapter's OnDone: whether the chapter's cache file was written
    // as a published page (with its text), so the chapter is there for good.
    bool ChapterPublished() const { return chapterPublished_; }

    TDownLoader& DownLoader() { return *downloader_; }

  private:
    enum class Step { None, StoryPage, ChapterList, Cover, ChapterPage, Picture };

    void Arrived(const std::string& url, bool failed, const AnsiString& text,
                 const std::string* stream);
    void StoryPageArrived(const std::string& url, bool failed, const AnsiString& text);
    void ChapterListArrived(bool failed, const AnsiString& page, bool decoded);
    void CoverArrived(bool failed, const std::string* stream);
    void FinishStory();
    void ChapterPageArrived(bool failed, const AnsiString& text);
    void PictureArrived(bool failed, const std::string* stream);
    void FetchNextPicture();
    void StartChapter(const AnsiString& siteID, const AnsiString& articleID, std::string& url,
                      int mode, const AnsiString& chapterID, const TChapterLabels* labels);
    // The chapter's name and the story's author for its page, as handed to
    // ReadChapter or else from the database; false when it could not be read.
    bool ReadChapterLabels(const AnsiString& siteID, const AnsiString& articleID,
                           const AnsiString& chapterID, AnsiString& name, AnsiString& author);
    void WriteChapterWithPictures();
    void LoadSiteFor(const AnsiString& siteID);
    // The site's rules and the story's ids for the URL of one of its pages.
    void PrepareStoryRules(const AnsiString& siteID, const AnsiString& articleID);
    void Download(Step step, const std::string& url);
    void FireDone(const std::string& path);
    void FireFail();

    std::unique_ptr<TDownLoader> downloader_;
    std::unique_ptr<TStory> story_;
    std::unique_ptr<TStoryExportHTML> writer_;

    // The job's fields: set by the starting call, then used by one handler
    // after another; the mutex makes the getters safe from other threads.
    mutable std::mutex mutex_;
    AnsiString siteID_, articleID_, chapterID_;
    int mode_ = 0;
    AnsiString title_;
    std::string coverURL_;
    std::string chapterURL_;
    AnsiString chapterText_;
    AnsiString author_;
    std::optional<TChapterLabels> labels_;  // handed to ReadChapter
    std::vector<TArticleVolumnChapterData> chapters_;
    std::vector<TChapterPicData> pictures_;
    size_t pictureIndex_ = 0;
    Step step_ = Step::None;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> chapterPublished_{false};
};
