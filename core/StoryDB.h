#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Charset.h"

struct SqlParam;

// The story database of one process: sites, stories, chapter lists, shelves,
// followed stories, reading history and stored parameters, in the SQLite file
// idata.dll that both programs share.
//
// Texts in and out are ANSI (GBK) strings; the file stores UTF-8 and the
// conversion happens here. Every statement of the process runs under the one
// re-entrant lock of the object, so any thread may call any operation. Nothing
// raises. Every read answers with a TDBRead that tells what it found from a
// read that failed (the other program kept the file locked past the busy
// time-out, a broken file): a failing read yields an empty list or leaves
// out-parameters as the caller passed them, and says so. A failing write has
// no effect and returns false. List operations empty the caller's list first
// and then append one record per row.

// SiteID of the one site whose story page writes the latest-chapter text with
// a script call; its LastArticleInfo is decoded with DecodeDocumentWrite
// wherever it is listed.
inline constexpr std::string_view kDocumentWriteSiteID = "dwsite";

// The rules of one site for the site-rule model.
struct TAnalyzeSiteData {
    AnsiString SiteID;
    AnsiString SiteName;
    AnsiString SiteURL;
    AnsiString CodePage;
    AnsiString ArticleURL;
    AnsiString ArticleTitle;
    AnsiString ArticleAuthor;
    AnsiString ArticleClass;
    AnsiString ArticleClassLib;
    AnsiString ArticleKeywords;
    AnsiString ArticleIntro;
    AnsiString ArticlePic;
    AnsiString ArticleState;
    AnsiString ArticleLastInfo2;
    AnsiString ArticleVolumnURLFromHome;
    AnsiString ArticleVolumnURL;
    AnsiString ArticleSubVolumnsName;
    AnsiString ArticleChapterNameID;
    AnsiString ArticleChapterName;
    AnsiString ArticleChapterID;
    AnsiString ArticleChapterURL;
    AnsiString ArticleChapterContent;
    AnsiString ArticleChapterContentFilter;

    bool operator==(const TAnalyzeSiteData&) const = default;
};

// The search columns of one site, for the search manager and the site editor.
struct TSearchSiteData {
    AnsiString SiteName;
    AnsiString SiteID;
    AnsiString SiteSearchURL;
    AnsiString SearchTypeStoryValue;
    AnsiString SearchTypeAuthorValue;
    AnsiString CodePage;
    AnsiString ArticleItemSection;
    AnsiString ArticleName;
    AnsiString ArticleID;
    AnsiString AuthorName;
    AnsiString LastArticleInfo;
    AnsiString ArticleTitle;
    AnsiString ArticleAuthor;
    AnsiString ArticleLastInfo2;

    bool operator==(const TSearchSiteData&) const = default;
};

// One whole Site row for the site editor (SiteURL after LastArticleInfo).
struct TSiteItemData {
    AnsiString SiteID;
    AnsiString SiteName;
    AnsiString SiteSearchURL;
    AnsiString SearchTypeStoryValue;
    AnsiString SearchTypeAuthorValue;
    AnsiString ArticleItemSection;
    AnsiString ArticleName;
    AnsiString ArticleID;
    AnsiString AuthorName;
    AnsiString LastArticleInfo;
    AnsiString SiteURL;
    AnsiString CodePage;
    AnsiString ArticleURL;
    AnsiString ArticleTitle;
    AnsiString ArticleAuthor;
    AnsiString ArticleClass;
    AnsiString ArticleClassLib;
    AnsiString ArticleKeywords;
    AnsiString ArticleIntro;
    AnsiString ArticlePic;
    AnsiString ArticleState;
    AnsiString ArticleLastInfo2;
    AnsiString ArticleVolumnURLFromHome;
    AnsiString ArticleVolumnURL;
    AnsiString ArticleSubVolumnsName;
    AnsiString ArticleChapterNameID;
    AnsiString ArticleChapterName;
    AnsiString ArticleChapterID;
    AnsiString ArticleChapterURL;
    AnsiString ArticleChapterContent;
    AnsiString ArticleChapterContentFilter;

    bool operator==(const TSiteItemData&) const = default;
};

// One Chapter row. Mark is 0 as read; the exporters keep their own
// bookkeeping in it.
struct TChapterItemData {
    AnsiString SiteID;
    AnsiString ArticleID;
    AnsiString SubVolumnsName;
    AnsiString ChapterName;
    AnsiString ChapterID;
    AnsiString ChapterContent;
    int32_t Mark = 0;

    bool operator==(const TChapterItemData&) const = default;
};

// One shelf or followed story. ArticleClassID is filled by GetFollowed only
// (-1: no folder) and is 0 in records of GetShelf.
struct TBookListData {
    AnsiString SiteID;
    AnsiString ArticleID;
    AnsiString SiteName;
    AnsiString ArticleTitle;
    AnsiString ArticleAuthor;
    AnsiString LastArticleInfo;
    AnsiString ArticleState;
    AnsiString UpdateTime;
    bool IsConcern = false;
    AnsiString FolderName;
    int32_t ArticleClassID = 0;
    bool HaveUpdate = false;

    bool operator==(const TBookListData&) const = default;
};

// One followed story for the followed-story check.
struct TConcernItemData {
    AnsiString SiteID;
    AnsiString ArticleID;
    AnsiString LastArticleInfo;

    bool operator==(const TConcernItemData&) const = default;
};

// One shelf folder (a BooKClass row).
struct TBookClassData {
    AnsiString Name;
    int32_t ID = -1;

    bool operator==(const TBookClassData&) const = default;
};

// One LastReadHistory row.
struct TReadHistoryData {
    AnsiString Author;
    AnsiString StoryName;
    AnsiString StoryID;
    AnsiString LastStoryInfo;
    AnsiString SiteName;
    AnsiString SiteID;
    AnsiString ReadTime;
    AnsiString ReadChapter;
    int32_t HScrollBarPos = 0;
    int32_t VScrollBarPos = 0;

    bool operator==(const TReadHistoryData&) const = default;
};

// One entry of the recent-read list. Flag is never set by the database.
struct TReadHistoryListData {
    AnsiString SiteID;
    AnsiString StoryID;
    AnsiString SiteName;
    AnsiString ArticleTitle;
    AnsiString ArticleAuthor;
    AnsiString LastArticleInfo;
    AnsiString ArticleState;
    AnsiString ReadTime;
    bool Flag = false;
    AnsiString FolderName;
    int32_t ArticleClassID = -1;
    AnsiString ReadChapter;

    bool operator==(const TReadHistoryListData&) const = default;
};

// The answer of a read: something found, nothing there, or no answer at all
// because the statement failed. It converts to true only when something was
// found, so a caller for whom a failed read is as good as an empty one can
// test it as a Boolean; a caller that must not take one for the other (a
// download that would find "no chapters left") asks Failed().
class TDBRead {
  public:
    enum class Status { Found, Empty, Failed };

    constexpr TDBRead(Status status) : status_(status) {}
    constexpr operator bool() const { return status_ == Status::Found; }
    constexpr bool Found() const { return status_ == Status::Found; }
    constexpr bool Failed() const { return status_ == Status::Failed; }
    constexpr Status GetStatus() const { return status_; }
    constexpr bool operator==(Status status) const { return status_ == status; }

  private:
    Status status_;
};
std::ostream& operator<<(std::ostream& out, TDBRead read);

// One reading-history row as the reading-history service gives it back.
struct TReadHistorySyncData {
    AnsiString SiteID;
    AnsiString StoryID;
    AnsiString StoryName;
    AnsiString ReadChapter;
    AnsiString ReadTime;

    bool operator==(const TReadHistorySyncData&) const = default;
};

// The shelf kinds of GetShelf.
inline constexpr int kShelfBoth = -1;
inline constexpr int kShelfOnline = 0;
inline constexpr int kShelfLocal = 1;

class TStoryDB {
  public:
    // How long a statement waits for the other program's lock on the file.
    static constexpr int kBusyTimeoutMs = 5000;

    // Opens the user database: AppFolder() + "idata.dll". Throws
    // std::runtime_error when the file cannot be opened.
    TStoryDB();
    // Opens the database at path (UTF-8). Throws std::runtime_error when the
    // file cannot be opened. busyTimeoutMs: how long a statement waits for
    // the other program's lock before it fails.
    explicit TStoryDB(const std::string& path, int busyTimeoutMs = kBusyTimeoutMs);
    virtual ~TStoryDB();
    TStoryDB(const TStoryDB&) = delete;
    TStoryDB& operator=(const TStoryDB&) = delete;

    template <class T>
    static void ClearList(std::vector<T>& list) {
        list.clear();
    }
    // Deletes every row of one of the six tables (any letter case); false for
    // any other name.
    bool ClearTable(std::string_view tableName);

    // Sites.
    TDBRead GetSiteRules(std::string_view siteID, TAnalyzeSiteData& rules);
    TDBRead GetSearchSites(std::vector<TSearchSiteData>& list);
    // Site is left as passed when the SiteID has no row.
    TDBRead GetSite(std::string_view siteID, TSiteItemData& site);
    bool SaveSite(std::string_view siteID, const TSiteItemData& site);
    TDBRead SiteExists(std::string_view siteID);
    TDBRead GetSiteName(std::string_view siteID, AnsiString& siteName);

    // Stories. Getters leave their out-parameters unchanged without a row and
    // return whether the row was found.
    bool AddArticle(std::string_view siteID, std::string_view articleID,
                    std::string_view articleTitle, std::string_view articleAuthor,
                    std::string_view articleIntro, std::string_view lastArticleInfo,
                    std::string_view articleClass, int folderNumber,
                    std::string_view articleVolumnURLFromHome);
    TDBRead ArticleExists(std::string_view siteID, std::string_view articleID);
    TDBRead GetArticleTitle(std::string_view siteID, std::string_view articleID, AnsiString& title);
    TDBRead GetArticleAuthor(std::string_view siteID, std::string_view articleID,
                             AnsiString& author);
    TDBRead GetArticleSummary(std::string_view siteID, std::string_view articleID,
                              AnsiString& title, AnsiString& author, AnsiString& lastArticleInfo);
    TDBRead GetArticleInfo(std::string_view siteID, std::string_view articleID, AnsiString& title,
                           AnsiString& author, AnsiString& intro);
    TDBRead GetFolderName(std::string_view siteID, std::string_view articleID,
                          AnsiString& folderName);
    TDBRead GetFolderRule(std::string_view siteID, std::string_view articleID,
                          AnsiString& folderID);
    // The two above and the author in one read of the story's row: what a
    // chapter download needs of its story.
    TDBRead GetArticleFolderAndAuthor(std::string_view siteID, std::string_view articleID,
                                      AnsiString& folderID, AnsiString& folderName,
                                      AnsiString& author);
    bool SetUpdateTime(std::string_view siteID, std::string_view articleID);
    bool SetLastArticleInfo(std::string_view siteID, std::string_view articleID,
                            std::string_view lastArticleInfo);
    // Removes the story's row and its chapter rows (not its files).
    void DeleteArticle(std::string_view siteID, std::string_view articleID);

    // The chapter batch: BeginAddChapters takes the lock and keeps it until
    // CommitAddChapters, on the same thread; AddChapter runs only in between.
    // The batch is one transaction, all or nothing: when it cannot begin (the
    // other program holds the file past the busy time-out) BeginAddChapters
    // says so, AddChapter writes nothing and the commit reports false. At the
    // commit every story the batch wrote to keeps exactly the chapters of this
    // batch: rows of chapters that vanished from a re-read list are removed.
    // A batch cut short (listComplete false) keeps the old rows past the part
    // it wrote, so a cancelled read loses nothing. The lock is given back by
    // CommitAddChapters in every case.
    bool BeginAddChapters();
    bool AddChapter(std::string_view siteID, std::string_view articleID, std::string_view chapterID,
                    std::string_view subVolumnsName, std::string_view chapterName,
                    std::string_view chapterContent, int id);
    // True when the batch's rows are in the file (for a nested batch: when
    // the outer batch is still able to commit them).
    bool CommitAddChapters(bool listComplete = true);
    TDBRead ChapterExists(std::string_view siteID, std::string_view articleID,
                          std::string_view chapterID);
    TDBRead GetChapterList(std::string_view siteID, std::string_view articleID,
                           std::vector<TChapterItemData>& list);
    TDBRead GetChapterName(std::string_view siteID, std::string_view articleID,
                           std::string_view chapterID, AnsiString& chapterName);
    // GetChapterName and GetArticleAuthor in one statement, for the heading of
    // a chapter page. Failed when either read fails; otherwise a missing
    // chapter or story reads as an empty text, as the two reads give it.
    TDBRead GetChapterLabels(std::string_view siteID, std::string_view articleID,
                             std::string_view chapterID, AnsiString& chapterName,
                             AnsiString& author);

    // A batch as a scope: begins on construction, commits on destruction
    // unless Commit was called first to learn whether the rows were stored.
    class ChapterBatch {
      public:
        explicit ChapterBatch(TStoryDB& db) : db_(db), began_(db_.BeginAddChapters()) {}
        ~ChapterBatch() { Commit(); }
        ChapterBatch(const ChapterBatch&) = delete;
        ChapterBatch& operator=(const ChapterBatch&) = delete;
        // False when the transaction could not begin: nothing will be written.
        bool Began() const { return began_; }
        // The list was cut short: keep the rows past what was written.
        void SetIncomplete() { complete_ = false; }
        // Ends the batch now; true when its rows are stored. Later calls
        // repeat the answer.
        bool Commit() {
            if (!committed_) {
                committed_ = true;
                stored_ = db_.CommitAddChapters(complete_);
            }
            return stored_;
        }

      private:
        TStoryDB& db_;
        bool began_;
        bool complete_ = true;
        bool committed_ = false;
        bool stored_ = false;
    };

    // Shelves, folders and followed stories.
    TDBRead GetShelf(std::vector<TBookListData>& list, int kind);
    TDBRead GetFollowed(std::vector<TBookListData>& list, int limit);
    TDBRead GetFollowedLastInfo(std::vector<TConcernItemData>& list);
    bool SetFollowed(std::string_view siteID, std::string_view articleID, bool flag);
    bool SetHaveUpdate(std::string_view siteID, std::string_view articleID, bool flag);
    // A story that a successful change leaves on no shelf is deleted with its
    // chapter list; taking it on or off the online shelf also follows or
    // unfollows it.
    bool SetInOnlineShelf(std::string_view siteID, std::string_view articleID, bool flag);
    bool SetInLocalShelf(std::string_view siteID, std::string_view articleID, bool flag);
    TDBRead IsInOnlineShelf(std::string_view siteID, std::string_view articleID);
    TDBRead IsInLocalShelf(std::string_view siteID, std::string_view articleID);
    // Found when the story is followed (IsConcern of its row).
    TDBRead IsFollowed(std::string_view siteID, std::string_view articleID);
    // True when the story is on either shelf.
    TDBRead GetShelfFlags(std::string_view siteID, std::string_view articleID);
    TDBRead GetBookClasses(std::vector<TBookClassData>& list);
    bool SetArticleClass(std::string_view siteID, std::string_view articleID, int classID);

    // Reading history and position.
    bool SaveReadPosition(std::string_view siteID, std::string_view storyID,
                          std::string_view readTime, std::string_view readChapter,
                          int hScrollBarPos, int vScrollBarPos);
    // Position is emptied first; false without a row.
    TDBRead GetReadPosition(std::string_view siteID, std::string_view storyID,
                            TReadHistoryData& position);
    TDBRead GetReadHistory(std::vector<TReadHistoryListData>& list);
    bool TouchReadTime(std::string_view siteID, std::string_view storyID);
    bool DeleteReadHistory(std::string_view siteID, std::string_view articleID);
    // Writes the rows into LastReadHistory (scroll positions 0) in one
    // immediate transaction: with replaceAll in place of every row there,
    // otherwise over the rows of the same stories only. A story without an
    // Article row gets one with its title; a stored story keeps its details.
    // When any write fails everything is rolled back and the result is false.
    bool ReplaceReadHistory(const std::vector<TReadHistorySyncData>& rows, bool replaceAll);

    // Name/value parameters; a getter leaves the value unchanged without a row,
    // so the caller's initial value is the default.
    TDBRead GetParam(std::string_view paramName, AnsiString& paramValue);
    bool SetParam(std::string_view paramName, std::string_view paramValue);
    TDBRead GetExportFolder(AnsiString& value) { return GetParam("ExportFolder", value); }
    bool SetExportFolder(std::string_view value) { return SetParam("ExportFolder", value); }
    TDBRead GetVersion(AnsiString& value) { return GetParam("Version", value); }
    TDBRead GetColor(AnsiString& value) { return GetParam("Color", value); }
    bool SetColor(std::string_view value) { return SetParam("Color", value); }
    TDBRead GetFontColor(AnsiString& value) { return GetParam("FontColor", value); }
    bool SetFontColor(std::string_view value) { return SetParam("FontColor", value); }
    TDBRead GetFontName(AnsiString& value) { return GetParam("FontName", value); }
    bool SetFontName(std::string_view value) { return SetParam("FontName", value); }
    TDBRead GetFontSize(AnsiString& value) { return GetParam("FontSize", value); }
    bool SetFontSize(std::string_view value) { return SetParam("FontSize", value); }
    TDBRead GetSpeed(AnsiString& value) { return GetParam("Speed", value); }
    bool SetSpeed(std::string_view value) { return SetParam("Speed", value); }

    // Where a new story's FolderName comes from (RandomFolderName unless a
    // test sets another source).
    void SetFolderNameSource(std::function<std::string()> source);

  private:
    // Writes one chapter row from its bound values (UTF-8), under the lock.
    bool WriteChapterRow(const std::vector<SqlParam>& params);

    // The connection, the lock and the open batch live behind this pointer so
    // that no SQLite handle or type shows outside the object.
    class Impl;
    std::unique_ptr<Impl> impl_;
};

// The one object of the process, shared by every thread: null until
// CreateStoryDB succeeded (the programs go on without it when the file cannot
// be opened) and after FreeStoryDB.
TStoryDB* StoryDB();
// Opens the user database as the process-wide object; false when it cannot be
// opened. Called once on the user-interface thread before workers start.
bool CreateStoryDB();
// Installs db (any path, for tests) as the process-wide object, freeing the
// one before; null frees it.
void SetStoryDB(std::unique_ptr<TStoryDB> db);
void FreeStoryDB();
