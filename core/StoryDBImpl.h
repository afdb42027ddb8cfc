#pragma once

// The private part of TStoryDB, shared by the files that define its members
// (StoryDB.cpp and one file per group of tables): the connection with its
// lock, and the helpers that turn texts into parameters and columns into
// texts. Nothing outside those files includes it.

#include <algorithm>
#include <charconv>
#include <ctime>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_set>
#include <vector>

#include "core/Folders.h"
#include "core/SqliteDB.h"
#include "core/StoryDB.h"
#include "core/TextHelpers.h"

namespace storydb {

inline SqlParam Text(const char* name, std::string_view ansi) {
    return {name, platform::AnsiToUtf8(ansi)};
}

inline SqlParam Int(const char* name, int64_t value) {
    return {name, value};
}

inline AnsiString Column(const SqlRows& rows, size_t r, std::string_view name) {
    return platform::Utf8ToAnsi(rows.Text(r, name));
}

// A column's text as a whole decimal integer, or fallback.
inline int32_t IntColumn(const SqlRows& rows, size_t r, std::string_view name, int32_t fallback) {
    const std::string text = rows.Text(r, name);
    int32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && ptr == end && !text.empty() ? value : fallback;
}

inline AnsiString ListedLastInfo(const AnsiString& siteID, AnsiString info) {
    return siteID == kDocumentWriteSiteID ? DecodeDocumentWrite(info) : info;
}

constexpr std::string_view kSelectArticle =
    "select * from Article where SiteID=:SiteID and ArticleID=:ArticleID";

// One chapter row inserted, or updated in place when the story has it.
constexpr std::string_view kUpsertChapter =
    "INSERT INTO Chapter(ID,SiteID,ArticleID,ChapterID,SubVolumnsName,ChapterName,ChapterContent) "
    "VALUES(:ID,:SiteID,:ArticleID,:ChapterID,:SubVolumnsName,:ChapterName,:ChapterContent) "
    "ON CONFLICT(SiteID,ArticleID,ChapterID) DO UPDATE SET ID=excluded.ID,"
    "SubVolumnsName=excluded.SubVolumnsName,ChapterName=excluded.ChapterName,"
    "ChapterContent=excluded.ChapterContent";

// A new story's folder name is given up after this many collisions: the
// source is then plainly broken, and sharing a folder would mix two stories.
constexpr int kFolderNameTries = 64;

inline std::string NowText() {
    return DateTimeText(std::time(nullptr));
}

}  // namespace storydb

// This header is private to the files of TStoryDB, which all speak in these
// helpers.
using namespace storydb;

class TStoryDB::Impl {
  public:
    Impl(const std::string& path, int busyTimeoutMs)
        : db(SqliteDB::Open(path, SqliteDB::Mode::ReadWriteCreate, busyTimeoutMs)) {
        if (!db) throw std::runtime_error("cannot open the story database " + path);
    }

    bool Execute(std::string_view sql, const std::vector<SqlParam>& params) {
        return db->Execute(sql, params);
    }
    bool Query(std::string_view sql, const std::vector<SqlParam>& params, SqlRows& rows) {
        return db->Query(sql, params, rows);
    }
    // The rows of a query and what they amount to.
    TDBRead Read(std::string_view sql, const std::vector<SqlParam>& params, SqlRows& rows) {
        if (!Query(sql, params, rows)) return TDBRead::Status::Failed;
        return rows.rows.empty() ? TDBRead::Status::Empty : TDBRead::Status::Found;
    }
    // Found when the query gives at least one row.
    TDBRead HasRow(std::string_view sql, const std::vector<SqlParam>& params) {
        SqlRows rows;
        return Read(sql, params, rows);
    }
    // The Article row of a story.
    TDBRead ArticleRow(std::string_view siteID, std::string_view articleID, SqlRows& rows) {
        return Read(kSelectArticle, {Text(":SiteID", siteID), Text(":ArticleID", articleID)}, rows);
    }
    // Copies columns of the story's Article row; nothing is copied without one.
    TDBRead ArticleColumns(std::string_view siteID, std::string_view articleID,
                           std::initializer_list<std::pair<std::string_view, AnsiString*>> out) {
        std::lock_guard guard(lock);
        // Only the columns asked for: the whole row is read for every
        // chapter of a download, several times. A file whose table lacks one
        // of them (made by an older version) is read whole, where it reads as
        // empty.
        std::string columns;
        for (const auto& [column, target] : out)
            columns.append(columns.empty() ? "" : ",").append(column);
        const std::string sql =
            "select " + columns + " from Article where SiteID=:SiteID and ArticleID=:ArticleID";
        const std::vector<SqlParam> key = {Text(":SiteID", siteID), Text(":ArticleID", articleID)};
        SqlRows rows;
        TDBRead read = Read(sql, key, rows);
        if (read.Failed() && db->ErrorMessage().find("no such column") != std::string::npos)
            read = ArticleRow(siteID, articleID, rows);
        if (!read) return read;
        for (const auto& [column, target] : out) *target = Column(rows, 0, column);
        return read;
    }
    // Whether the story is on a shelf; nullopt when that cannot be told (no
    // row or a failing query), which must never read as "on no shelf".
    std::optional<bool> OnAShelf(std::string_view siteID, std::string_view articleID) {
        SqlRows rows;
        if (!ArticleRow(siteID, articleID, rows)) return std::nullopt;
        return IntColumn(rows, 0, "InOnlineShelf", 0) != 0 ||
               IntColumn(rows, 0, "InLocalShelf", 0) != 0;
    }
    // Ends the transaction open on the connection: committed, or rolled back
    // when the commit cannot finish (it may wait for a reader of the other
    // program and still fail), so that the connection is never left inside
    // it, with every later statement running in it and the file locked.
    bool Commit(std::string_view name) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (Execute("COMMIT TRANSACTION " + std::string(name), {})) return true;
            if (!db->InTransaction()) return false;
        }
        Execute("ROLLBACK TRANSACTION " + std::string(name), {});
        return false;
    }
    // Runs a test and the write it decides in one immediate transaction, so
    // that the other program cannot write between them; inside a transaction
    // that this connection has open already, the work is part of that one.
    template <class Work>
    bool WriteTransaction(std::string_view name, Work&& work) {
        if (db->InTransaction()) return work();
        if (!Execute("BEGIN IMMEDIATE TRANSACTION " + std::string(name), {})) return false;
        if (!work()) {
            Execute("ROLLBACK TRANSACTION " + std::string(name), {});
            return false;
        }
        return Commit(name);
    }
    // Whether a story or a folder on disk has the name. taken: the names of
    // the stored stories, read once by a caller that adds many stories (the
    // column has no index, so asking the table for each would cost a scan of
    // every story each time); null: the table is asked.
    bool FolderNameTaken(const std::string& name, const std::unordered_set<std::string>* taken) {
        if (taken) {
            if (taken->count(name)) return true;
        } else {
            SqlRows rows;
            if (!Query("select FolderName from Article where FolderName=:FolderName",
                       {{":FolderName", name}}, rows)) {
                return true;
            }
            if (!rows.rows.empty()) return true;
        }
        std::error_code error;
        return std::filesystem::exists(BookFolder() + name, error) || error;
    }
    std::string NewFolderName(const std::unordered_set<std::string>* taken = nullptr) {
        for (int i = 0; i < kFolderNameTries; ++i) {
            std::string name = folderNameSource ? folderNameSource() : RandomFolderName();
            if (!name.empty() && !FolderNameTaken(name, taken)) return name;
        }
        return {};
    }
    // A new Article row with a folder name of its own; params hold the story's
    // key and texts. taken (see FolderNameTaken) gains the name.
    bool InsertArticle(std::vector<SqlParam> params, std::unordered_set<std::string>* taken) {
        std::string folderName = NewFolderName(taken);
        if (folderName.empty()) return false;
        params.push_back({":FolderName", folderName});
        if (!Execute("INSERT INTO Article(SiteID, ArticleID, ArticleTitle, ArticleAuthor, "
                     "ArticleIntro, LastArticleInfo, ArticleClass,ArticleClassID,FolderName,"
                     "ArticleVolumnURLFromHome) VALUES(:SiteID, :ArticleID, :ArticleTitle, "
                     ":ArticleAuthor,:ArticleIntro, :LastArticleInfo, :ArticleClass,"
                     ":ArticleClassID,:FolderName,:ArticleVolumnURLFromHome)",
                     params))
            return false;
        if (taken) taken->insert(std::move(folderName));
        return true;
    }
    void DeleteArticle(std::string_view siteID, std::string_view articleID) {
        const std::vector<SqlParam> key = {Text(":SiteID", siteID), Text(":ArticleID", articleID)};
        Execute("delete from Article where SiteID=:SiteID and ArticleID=:ArticleID", key);
        Execute("delete from Chapter where SiteID=:SiteID and ArticleID=:ArticleID", key);
    }
    // The shelf-leave rule, after a flag change that succeeded.
    void DeleteWhenOnNoShelf(std::string_view siteID, std::string_view articleID) {
        if (OnAShelf(siteID, articleID) == false) DeleteArticle(siteID, articleID);
    }
    // The chapter IDs a batch wrote to one story (UTF-8), and whether every
    // write succeeded.
    struct BatchStory {
        std::string siteID, articleID;
        std::vector<std::string> chapterIDs;
        bool allWritten = true;
    };
    BatchStory& BatchStoryOf(const std::string& siteID, const std::string& articleID) {
        // A batch nearly always writes one story: the last one is tried first.
        if (!batchStories.empty() && batchStories.back().siteID == siteID &&
            batchStories.back().articleID == articleID)
            return batchStories.back();
        for (BatchStory& story : batchStories)
            if (story.siteID == siteID && story.articleID == articleID) return story;
        return batchStories.emplace_back(BatchStory{siteID, articleID, {}, true});
    }
    // Removes the rows of every story of the batch whose chapter the batch did
    // not write: the rows of chapters that left the list.
    void PruneBatchStories() {
        for (BatchStory& story : batchStories) {
            std::sort(story.chapterIDs.begin(), story.chapterIDs.end());
            story.chapterIDs.erase(std::unique(story.chapterIDs.begin(), story.chapterIDs.end()),
                                   story.chapterIDs.end());
            const std::vector<SqlParam> key = {{":SiteID", story.siteID},
                                               {":ArticleID", story.articleID}};
            // Every chapter written and no more rows than that: nothing left
            // the list, the common case of a new or an unchanged list.
            SqlRows rows;
            if (story.allWritten &&
                Query("select count(*) from Chapter where SiteID=:SiteID and ArticleID=:ArticleID",
                      key, rows) &&
                !rows.rows.empty() && rows.rows[0][0] &&
                *rows.rows[0][0] == std::to_string(story.chapterIDs.size()))
                continue;
            // One statement removes the rest, against the written IDs in a
            // table of this connection alone.
            if (!Execute("CREATE TEMP TABLE IF NOT EXISTS BatchChapter(ChapterID TEXT PRIMARY KEY) "
                         "WITHOUT ROWID",
                         {}) ||
                !Execute("delete from temp.BatchChapter", {}))
                continue;
            bool listed = true;
            for (const std::string& chapterID : story.chapterIDs)
                listed =
                    listed && Execute("insert into temp.BatchChapter(ChapterID) values(:ChapterID)",
                                      {{":ChapterID", chapterID}});
            if (listed)
                Execute(
                    "delete from Chapter where SiteID=:SiteID and ArticleID=:ArticleID and "
                    "ChapterID not in (select ChapterID from temp.BatchChapter)",
                    key);
            Execute("delete from temp.BatchChapter", {});
        }
    }
    // Whether the Chapter table has its key, so that one statement inserts or
    // updates a row; asked once per connection.
    bool CanUpsertChapters() {
        if (!upsertChecked) {
            upsertChecked = true;
            canUpsert = db->Prepare(kUpsertChapter).has_value();
        }
        return canUpsert;
    }

    std::recursive_mutex lock;
    std::unique_ptr<SqliteDB> db;
    std::function<std::string()> folderNameSource;
    // The chapters written by the open batch, per story.
    std::vector<BatchStory> batchStories;
    int batchDepth = 0;
    bool upsertChecked = false;
    bool canUpsert = false;
    // The open batch could not begin its transaction: it writes nothing.
    bool batchFailed = false;
    // The open batch began the transaction (not so inside one already open).
    bool batchOwnsTransaction = false;
};
