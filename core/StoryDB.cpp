#include "core/StoryDB.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "core/DBCreater.h"
#include "core/Folders.h"
#include "core/SqliteDB.h"
#include "core/TextHelpers.h"

namespace {

SqlParam Text(const char* name, std::string_view ansi) {
    return {name, platform::AnsiToUtf8(ansi)};
}

SqlParam Int(const char* name, int64_t value) {
    return {name, value};
}

AnsiString Column(const SqlRows& rows, size_t r, std::string_view name) {
    return platform::Utf8ToAnsi(rows.Text(r, name));
}

// A column of many rows, looked up by name once.
class ColumnOf {
  public:
    ColumnOf(const SqlRows& rows, std::string_view name) : rows_(rows), index_(rows.Find(name)) {}
    AnsiString operator()(size_t r) const {
        if (!index_ || r >= rows_.rows.size()) return {};
        const auto& cell = rows_.rows[r][*index_];
        return cell ? platform::Utf8ToAnsi(*cell) : AnsiString();
    }

  private:
    const SqlRows& rows_;
    std::optional<size_t> index_;
};

// A column's text as a whole decimal integer, or fallback.
int32_t IntColumn(const SqlRows& rows, size_t r, std::string_view name, int32_t fallback) {
    const std::string text = rows.Text(r, name);
    int32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && ptr == end && !text.empty() ? value : fallback;
}

AnsiString ListedLastInfo(const AnsiString& siteID, AnsiString info) {
    return siteID == kDocumentWriteSiteID ? DecodeDocumentWrite(info) : info;
}

template <class T>
using FieldTable = std::pair<const char*, AnsiString T::*>;

constexpr std::array<FieldTable<TAnalyzeSiteData>, 23> kRuleFields = {{
    {"SiteID", &TAnalyzeSiteData::SiteID},
    {"SiteName", &TAnalyzeSiteData::SiteName},
    {"SiteURL", &TAnalyzeSiteData::SiteURL},
    {"CodePage", &TAnalyzeSiteData::CodePage},
    {"ArticleURL", &TAnalyzeSiteData::ArticleURL},
    {"ArticleTitle", &TAnalyzeSiteData::ArticleTitle},
    {"ArticleAuthor", &TAnalyzeSiteData::ArticleAuthor},
    {"ArticleClass", &TAnalyzeSiteData::ArticleClass},
    {"ArticleClassLib", &TAnalyzeSiteData::ArticleClassLib},
    {"ArticleKeywords", &TAnalyzeSiteData::ArticleKeywords},
    {"ArticleIntro", &TAnalyzeSiteData::ArticleIntro},
    {"ArticlePic", &TAnalyzeSiteData::ArticlePic},
    {"ArticleState", &TAnalyzeSiteData::ArticleState},
    {"ArticleLastInfo2", &TAnalyzeSiteData::ArticleLastInfo2},
    {"ArticleVolumnURLFromHome", &TAnalyzeSiteData::ArticleVolumnURLFromHome},
    {"ArticleVolumnURL", &TAnalyzeSiteData::ArticleVolumnURL},
    {"ArticleSubVolumnsName", &TAnalyzeSiteData::ArticleSubVolumnsName},
    {"ArticleChapterNameID", &TAnalyzeSiteData::ArticleChapterNameID},
    {"ArticleChapterName", &TAnalyzeSiteData::ArticleChapterName},
    {"ArticleChapterID", &TAnalyzeSiteData::ArticleChapterID},
    {"ArticleChapterURL", &TAnalyzeSiteData::ArticleChapterURL},
    {"ArticleChapterContent", &TAnalyzeSiteData::ArticleChapterContent},
    {"ArticleChapterContentFilter", &TAnalyzeSiteData::ArticleChapterContentFilter},
}};

constexpr std::array<FieldTable<TSearchSiteData>, 14> kSearchFields = {{
    {"SiteName", &TSearchSiteData::SiteName},
    {"SiteID", &TSearchSiteData::SiteID},
    {"SiteSearchURL", &TSearchSiteData::SiteSearchURL},
    {"SearchTypeStoryValue", &TSearchSiteData::SearchTypeStoryValue},
    {"SearchTypeAuthorValue", &TSearchSiteData::SearchTypeAuthorValue},
    {"CodePage", &TSearchSiteData::CodePage},
    {"ArticleItemSection", &TSearchSiteData::ArticleItemSection},
    {"ArticleName", &TSearchSiteData::ArticleName},
    {"ArticleID", &TSearchSiteData::ArticleID},
    {"AuthorName", &TSearchSiteData::AuthorName},
    {"LastArticleInfo", &TSearchSiteData::LastArticleInfo},
    {"ArticleTitle", &TSearchSiteData::ArticleTitle},
    {"ArticleAuthor", &TSearchSiteData::ArticleAuthor},
    {"ArticleLastInfo2", &TSearchSiteData::ArticleLastInfo2},
}};

constexpr std::array<FieldTable<TSiteItemData>, 31> kSiteItemFields = {{
    {"SiteID", &TSiteItemData::SiteID},
    {"SiteName", &TSiteItemData::SiteName},
    {"SiteSearchURL", &TSiteItemData::SiteSearchURL},
    {"SearchTypeStoryValue", &TSiteItemData::SearchTypeStoryValue},
    {"SearchTypeAuthorValue", &TSiteItemData::SearchTypeAuthorValue},
    {"ArticleItemSection", &TSiteItemData::ArticleItemSection},
    {"ArticleName", &TSiteItemData::ArticleName},
    {"ArticleID", &TSiteItemData::ArticleID},
    {"AuthorName", &TSiteItemData::AuthorName},
    {"LastArticleInfo", &TSiteItemData::LastArticleInfo},
    {"SiteURL", &TSiteItemData::SiteURL},
    {"CodePage", &TSiteItemData::CodePage},
    {"ArticleURL", &TSiteItemData::ArticleURL},
    {"ArticleTitle", &TSiteItemData::ArticleTitle},
    {"ArticleAuthor", &TSiteItemData::ArticleAuthor},
    {"ArticleClass", &TSiteItemData::ArticleClass},
    {"ArticleClassLib", &TSiteItemData::ArticleClassLib},
    {"ArticleKeywords", &TSiteItemData::ArticleKeywords},
    {"ArticleIntro", &TSiteItemData::ArticleIntro},
    {"ArticlePic", &TSiteItemData::ArticlePic},
    {"ArticleState", &TSiteItemData::ArticleState},
    {"ArticleLastInfo2", &TSiteItemData::ArticleLastInfo2},
    {"ArticleVolumnURLFromHome", &TSiteItemData::ArticleVolumnURLFromHome},
    {"ArticleVolumnURL", &TSiteItemData::ArticleVolumnURL},
    {"ArticleSubVolumnsName", &TSiteItemData::ArticleSubVolumnsName},
    {"ArticleChapterNameID", &TSiteItemData::ArticleChapterNameID},
    {"ArticleChapterName", &TSiteItemData::ArticleChapterName},
    {"ArticleChapterID", &TSiteItemData::ArticleChapterID},
    {"ArticleChapterURL", &TSiteItemData::ArticleChapterURL},
    {"ArticleChapterContent", &TSiteItemData::ArticleChapterContent},
    {"ArticleChapterContentFilter", &TSiteItemData::ArticleChapterContentFilter},
}};

template <class T, size_t N>
void FillFields(T& record, const std::array<FieldTable<T>, N>& fields, const SqlRows& rows,
                size_t r) {
    for (const auto& [column, field] : fields) record.*field = Column(rows, r, column);
}

constexpr std::string_view kUpdateSite =
    "UPDATE Site SET "
    "SiteName=:SiteName,SiteURL=:SiteURL,SiteSearchURL=:SiteSearchURL,SearchTypeStoryValue=:"
    "SearchTypeStoryValue,SearchTypeAuthorValue=:SearchTypeAuthorValue,ArticleItemSection=:"
    "ArticleItemSection,ArticleName=:ArticleName,ArticleID=:ArticleID,AuthorName=:AuthorName,"
    "LastArticleInfo=:LastArticleInfo,CodePage=:CodePage,ArticleURL=:ArticleURL,ArticleTitle=:"
    "ArticleTitle,ArticleAuthor=:ArticleAuthor,ArticleClass=:ArticleClass,ArticleClassLib=:"
    "ArticleClassLib,ArticleKeywords=:ArticleKeywords,ArticleIntro=:ArticleIntro,ArticlePic=:"
    "ArticlePic,ArticleState=:ArticleState,ArticleLastInfo2=:ArticleLastInfo2,ArticleVolumnURL=:"
    "ArticleVolumnURL,ArticleSubVolumnsName=:ArticleSubVolumnsName,ArticleChapterNameID=:"
    "ArticleChapterNameID,ArticleChapterName=:ArticleChapterName,ArticleVolumnURLFromHome=:"
    "ArticleVolumnURLFromHome, ArticleChapterID=:ArticleChapterID,ArticleChapterURL=:"
    "ArticleChapterURL,ArticleChapterContent=:ArticleChapterContent,ArticleChapterContentFilter="
    ":ArticleChapterContentFilter WHERE SiteID=:SiteID";

constexpr std::string_view kInsertSite =
    "INSERT INTO Site "
    "(SiteID,SiteName,SiteURL,SiteSearchURL,SearchTypeStoryValue,SearchTypeAuthorValue,"
    "ArticleItemSection,ArticleName,ArticleID,AuthorName,LastArticleInfo,CodePage,ArticleURL,"
    "ArticleTitle,ArticleAuthor,ArticleClass,ArticleClassLib,ArticleKeywords,ArticleIntro,"
    "ArticlePic,ArticleState,ArticleLastInfo2,ArticleVolumnURL,ArticleSubVolumnsName,"
    "ArticleChapterNameID,ArticleChapterName,ArticleChapterID,ArticleChapterURL,"
    "ArticleChapterContent,ArticleChapterContentFilter,ArticleVolumnURLFromHome) "
    "VALUES(:SiteID,:SiteName,:SiteURL,:SiteSearchURL,:SearchTypeStoryValue,:"
    "SearchTypeAuthorValue,:ArticleItemSection,:ArticleName,:ArticleID,:AuthorName,:"
    "LastArticleInfo,:CodePage,:ArticleURL,:ArticleTitle,:ArticleAuthor,:ArticleClass,:"
    "ArticleClassLib,:ArticleKeywords,:ArticleIntro,:ArticlePic,:ArticleState,:ArticleLastInfo2,"
    ":ArticleVolumnURL,:ArticleSubVolumnsName,:ArticleChapterNameID,:ArticleChapterName,:"
    "ArticleChapterID,:ArticleChapterURL,:ArticleChapterContent,:ArticleChapterContentFilter,:"
    "ArticleVolumnURLFromHome)";

constexpr std::string_view kSelectArticle =
    "select * from Article where SiteID=:SiteID and ArticleID=:ArticleID";

// One chapter row inserted, or updated in place when the story has it.
constexpr std::string_view kUpsertChapter =
    "INSERT INTO Chapter(ID,SiteID,ArticleID,ChapterID,SubVolumnsName,ChapterName,ChapterContent) "
    "VALUES(:ID,:SiteID,:ArticleID,:ChapterID,:SubVolumnsName,:ChapterName,:ChapterContent) "
    "ON CONFLICT(SiteID,ArticleID,ChapterID) DO UPDATE SET ID=excluded.ID,"
    "SubVolumnsName=excluded.SubVolumnsName,ChapterName=excluded.ChapterName,"
    "ChapterContent=excluded.ChapterContent";

constexpr std::string_view kSelectHistory =
    "select * from LastReadHistory where SiteID=:SiteID and StoryID=:StoryID";

constexpr std::string_view kShelfColumns =
    "select a.SiteID, a.ArticleID, a.ArticleTitle, a.ArticleAuthor, a.LastArticleInfo, "
    "a.IsConcern, a.articlestate, a.updatetime,a.FolderName,a.HaveUpdate, b.sitename from ";

// The shelf lists; the outer ORDER BY is the one SQLite keeps.
constexpr std::array<std::string_view, 3> kShelfFilters = {
    "(Select * From Article where InOnlineShelf=1 or InLocalShelf=1)",
    "(Select * From Article where InOnlineShelf=1)",
    "(Select * From Article where InLocalShelf=1)",
};
constexpr std::string_view kShelfJoin =
    " as a inner join Site as b on a.siteid=b.siteid order by a.UpdateTime desc";

// The sub-select picks the stories; SQLite does not promise that its order
// survives the join, so the outer query orders again.
constexpr std::string_view kSelectFollowed =
    "select a.SiteID, a.ArticleID, a.ArticleTitle, a.ArticleAuthor, a.LastArticleInfo, "
    "a.IsConcern, a.articlestate, a.updatetime,a.FolderName,a.ArticleClassID,a.UpdateTime,"
    "a.HaveUpdate, b.sitename from (Select * From Article where IsConcern=:IsConcern order by "
    "haveupdate desc,UpdateTime desc limit :limit) as a inner join Site as b on "
    "a.siteid=b.siteid order by a.haveupdate desc,a.UpdateTime desc";

constexpr std::string_view kSelectReadHistory =
    "select "
    "c.siteid,c.storyid,c.articletitle,c.ArticleAuthor,c.LastArticleInfo,c.foldername,c."
    "ReadTime,c.ArticleState,C.ArticleClassID,d.sitename,c.ReadChapter from (Select a.siteid as "
    "siteid,a.storyid as storyid,a.ReadChapter as ReadChapter,b.articletitle as "
    "articletitle,b.ArticleAuthor as ArticleAuthor,b.LastArticleInfo as "
    "LastArticleInfo,B.foldername as foldername,b.ArticleState as ArticleState,b.ArticleClassID "
    "as ArticleClassID, a.ReadTime as ReadTime From LastReadHistory as a inner join article as b "
    "where a.siteid=b.siteid and a.storyid=b.ArticleID order by a.readtime desc) as c inner join "
    "site as d on c.siteid=d.siteid order by c.ReadTime desc";

// A new story's folder name is given up after this many collisions: the
// source is then plainly broken, and sharing a folder would mix two stories.
constexpr int kFolderNameTries = 64;

std::string NowText() {
    return DateTimeText(std::time(nullptr));
}

}  // namespace

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

TStoryDB::TStoryDB() : TStoryDB(AppFolder() + std::string(kDatabaseFileName)) {}

TStoryDB::TStoryDB(const std::string& path, int busyTimeoutMs)
    : impl_(std::make_unique<Impl>(path, busyTimeoutMs)) {}

std::ostream& operator<<(std::ostream& out, TDBRead read) {
    switch (read.GetStatus()) {
        case TDBRead::Status::Found:
            return out << "found";
        case TDBRead::Status::Empty:
            return out << "empty";
        case TDBRead::Status::Failed:
            return out << "failed";
    }
    return out;
}

TStoryDB::~TStoryDB() = default;

void TStoryDB::SetFolderNameSource(std::function<std::string()> source) {
    std::lock_guard guard(impl_->lock);
    impl_->folderNameSource = std::move(source);
}

bool TStoryDB::ClearTable(std::string_view tableName) {
    // Only the six table names ever reach the statement text.
    for (const std::string_view table : kStoryTableNames) {
        if (table.size() != tableName.size()) continue;
        bool same = true;
        for (size_t i = 0; i < table.size() && same; ++i) {
            same = std::tolower(static_cast<unsigned char>(table[i])) ==
                   std::tolower(static_cast<unsigned char>(tableName[i]));
        }
        if (!same) continue;
        std::lock_guard guard(impl_->lock);
        return impl_->Execute("DELETE FROM " + std::string(table) + ";", {});
    }
    return false;
}

// ---- Sites -------------------------------------------------------------------

TDBRead TStoryDB::GetSiteRules(std::string_view siteID, TAnalyzeSiteData& rules) {
    rules = {};
    std::lock_guard guard(impl_->lock);
    SqlRows rows;
    const TDBRead read =
        impl_->Read("select * from Site where SiteID=:SiteID", {Text(":SiteID", siteID)}, rows);
    if (read) FillFields(rules, kRuleFields, rows, 0);
    return read;
}

TDBRead TStoryDB::GetSearchSites(std::vector<TSearchSiteData>& list) {
    ClearList(list);
    std::lock_guard guard(impl_->lock);
    SqlRows rows;
    const TDBRead read = impl_->Read("select * from Site", {}, rows);
    for (size_t r = 0; r < rows.rows.size(); ++r) {
        FillFields(list.emplace_back(), kSearchFields, rows, r);
    }
    return read;
}

TDBRead TStoryDB::GetSite(std::string_view siteID, TSiteItemData& site) {
    std::lock_guard guard(impl_->lock);
    SqlRows rows;
    const TDBRead read =
        impl_->Read("select * from Site where SiteID=:SiteID", {Text(":SiteID", siteID)}, rows);
    if (!read) return read;
    site = {};
    FillFields(site, kSiteItemFields, rows, 0);
    return read;
}

bool TStoryDB::SaveSite(std::string_view siteID, const TSiteItemData& site) {
    std::vector<SqlParam> params;
    for (const auto& [column, field] : kSiteItemFields) {
        params.push_back({std::string(":") + column, platform::AnsiToUtf8(site.*field)});
    }
    std::lock_guard guard(impl_->lock);
    const TDBRead exists = SiteExists(siteID);
    // Not knowing whether the row is there, neither statement is safe.
    if (exists.Failed()) return false;
    return impl_->Execute(exists ? kUpdateSite : kInsertSite, params);
}

TDBRead TStoryDB::SiteExists(std::string_view siteID) {
    std::lock_guard guard(impl_->lock);
    return impl_->HasRow("select * from Site where SiteID=:SiteID", {Text(":SiteID", siteID)});
}

TDBRead TStoryDB::GetSiteName(std::string_view siteID, AnsiString& siteName) {
    std::lock_guard guard(impl_->lock);
    SqlRows rows;
    const TDBRead read =
        impl_->Read("select * from Site where SiteID=:SiteID", {Text(":SiteID", siteID)}, rows);
    if (read) siteName = Column(rows, 0, "SiteName");
    return read;
}

// ---- Stories -----------------------------------------------------------------

bool TStoryDB::AddArticle(std::string_view siteID, std::string_view articleID,
                          std::string_view articleTitle, std::string_view articleAuthor,
                          std::string_view articleIntro, std::string_view lastArticleInfo,
                          std::string_view articleClass, int folderNumber,
                          std::string_view articleVolumnURLFromHome) {
    // The shelf-folder number is not stored: a new story is in no folder
    // (ArticleClassID NULL, read as -1) until the user files it.
    std::vector<SqlParam> params = {
        Text(":SiteID", siteID),
        Text(":ArticleID", articleID),
        Text(":ArticleTitle", articleTitle),
        Text(":ArticleAuthor", articleAuthor),
        Text(":ArticleIntro", articleIntro),
        Text(":LastArticleInfo", lastArticleInfo),
        Text(":ArticleClass", articleClass),
        Text(":ArticleVolumnURLFromHome", articleVolumnURLFromHome),
    };
    std::lock_guard guard(impl_->lock);
    const TDBRead exists = ArticleExists(siteID, articleID);
    // A story that may be stored already must not get a second folder name.
    if (exists.Failed()) return false;
    if (!exists) return impl_->InsertArticle(std::move(params), nullptr);
    if (!articleTitle.empty()) {
        return impl_->Execute(
            "UPDATE Article set "
            "ArticleTitle=:ArticleTitle,ArticleAuthor=:ArticleAuthor,ArticleIntro=:ArticleIntro,"
            "ArticleClass=:ArticleClass,ArticleVolumnURLFromHome=:ArticleVolumnURLFromHome where "
            "SiteID=:SiteID and ArticleID=:ArticleID",
            params);
    }
    // A stored title is never replaced by an empty one.
    return impl_->Execute(
        "UPDATE Article set "
        "ArticleAuthor=:ArticleAuthor,ArticleIntro=:ArticleIntro,ArticleClass=:ArticleClass,"
        "ArticleVolumnURLFromHome=:ArticleVolumnURLFromHome where SiteID=:SiteID and "
        "ArticleID=:ArticleID",
        params);
}

TDBRead TStoryDB::ArticleExists(std::string_view siteID, std::string_view articleID) {
    std::lock_guard guard(impl_->lock);
    SqlRows rows;
    return impl_->ArticleRow(siteID, articleID, rows);
}

TDBRead TStoryDB::GetArticleTitle(std::string_view siteID, std::string_view articleID,
                                  AnsiString& title) {
    return impl_->ArticleColumns(siteID, articleID, {{"ArticleTitle", &title}});
}

TDBRead TStoryDB::GetArticleAuthor(std::string_view siteID, std::string_view articleID,
                                   AnsiString& author) {
    return impl_->ArticleColumns(siteID, articleID, {{"ArticleAuthor", &author}});
}

TDBRead TStoryDB::GetArticleSummary(std::string_view siteID, std::string_view articleID,
                                    AnsiString& title, AnsiString& author,
                                    AnsiString& lastArticleInfo) {
    return impl_->ArticleColumns(siteID, articleID,
                                 {{"ArticleTitle", &title},
                                  {"ArticleAuthor", &author},
                                  {"LastArticleInfo", &lastArticleInfo}});
}

TDBRead TStoryDB::GetArticleInfo(std::string_view siteID, std::string_view articleID,
                                 AnsiString& title, AnsiString& author, AnsiString& intro) {
    return impl_->ArticleColumns(
        siteID, articleID,
        {{"ArticleTitle", &title}, {"ArticleAuthor", &author}, {"ArticleIntro", &intro}});
}

TDBRead TStoryDB::GetFolderName(std::string_view siteID, std::string_view articleID,
                                AnsiString& folderName) {
    return impl_->ArticleColumns(siteID, articleID, {{"FolderName", &folderName}});
}

TDBRead TStoryDB::GetFolderRule(std::string_view siteID, std::string_view articleID,
                                AnsiString& folderID) {
    return impl_->ArticleColumns(siteID, articleID, {{"ArticleVolumnURLFromHome", &folderID}});
}

TDBRead TStoryDB::GetArticleFolderAndAuthor(std::string_view siteID, std::string_view articleID,
                                            AnsiString& folderID, AnsiString& folderName,
                                            AnsiString& author) {
    return impl_->ArticleColumns(siteID, articleID,
                                 {{"ArticleVolumnURLFromHome", &folderID},
                                  {"FolderName", &folderName},
                                  {"ArticleAuthor", &author}});
}

bool TStoryDB::SetUpdateTime(std::string_view siteID, std::string_view articleID) {
    std::lock_guard guard(impl_->lock);
    return impl_->Execute(
        "update Article Set UpdateTime=:UpdateTime where SiteID=:SiteID and ArticleID=:ArticleID",
        {Text(":UpdateTime", NowText()), Text(":SiteID", siteID), Text(":ArticleID", articleID)});
}

bool TStoryDB::SetLastArticleInfo(std::string_view siteID, std::string_view articleID,
                                  std::string_view lastArticleInfo) {
    std::lock_guard guard(impl_->lock);
    return impl_->Execute(
        "update Article Set LastArticleInfo=:LastArticleInfo where SiteID=:SiteID and "
        "ArticleID=:ArticleID",
        {Text(":LastArticleInfo", lastArticleInfo), Text(":SiteID", siteID),
         Text(":ArticleID", articleID)});
}

void TStoryDB::DeleteArticle(std::string_view siteID, std::string_view articleID) {
    std::lock_guard guard(impl_->lock);
    impl_->DeleteArticle(siteID, articleID);
}

// ---- Chapters ----------------------------------------------------------------

bool TStoryDB::BeginAddChapters() {
    impl_->lock.lock();
    if (impl_->batchDepth++ > 0) return !impl_->batchFailed;
    impl_->batchStories.clear();
    impl_->batchFailed = false;
    // Inside a transaction this connection has open already, the batch is a
    // part of that one and ends with it.
    impl_->batchOwnsTransaction = !impl_->db->InTransaction();
    // IMMEDIATE takes the write lock now, waiting for the other program if it
    // has to: a deferred transaction that read first could not wait for it
    // later and its writes would fail at once. Without the transaction the
    // batch writes nothing: row by row in autocommit it would be neither
    // whole nor quick, each row waiting for the file on its own.
    if (impl_->batchOwnsTransaction)
        impl_->batchFailed = !impl_->Execute("BEGIN IMMEDIATE TRANSACTION AddChapter", {});
    return !impl_->batchFailed;
}

bool TStoryDB::AddChapter(std::string_view siteID, std::string_view articleID,
                          std::string_view chapterID, std::string_view subVolumnsName,
                          std::string_view chapterName, std::string_view chapterContent, int id) {
    if (siteID.empty() || articleID.empty() || chapterID.empty()) return false;
    std::vector<SqlParam> params = {
        Int(":ID", id),
        Text(":SiteID", siteID),
        Text(":ArticleID", articleID),
        Text(":ChapterID", chapterID),
        Text(":SubVolumnsName", subVolumnsName),
        Text(":ChapterName", chapterName),
        Text(":ChapterContent", chapterContent),
    };
    std::lock_guard guard(impl_->lock);
    Impl::BatchStory* story = nullptr;
    if (impl_->batchDepth > 0) {
        if (impl_->batchFailed) return false;
        story = &impl_->BatchStoryOf(std::get<std::string>(params[1].value),
                                     std::get<std::string>(params[2].value));
        // Recorded before the write: a chapter of the new list whose write
        // failed keeps its old row rather than being pruned.
        story->chapterIDs.push_back(std::get<std::string>(params[3].value));
    }
    const bool written = WriteChapterRow(params);
    if (story && !written) story->allWritten = false;
    return written;
}

bool TStoryDB::WriteChapterRow(const std::vector<SqlParam>& params) {
    if (impl_->CanUpsertChapters()) return impl_->Execute(kUpsertChapter, params);
    const auto text = [&](size_t i) { return std::get<std::string>(params[i].value); };
    const TDBRead exists =
        ChapterExists(platform::Utf8ToAnsi(text(1)), platform::Utf8ToAnsi(text(2)),
                      platform::Utf8ToAnsi(text(3)));
    if (exists.Failed()) return false;
    if (exists) {
        return impl_->Execute(
            "UPDATE Chapter SET ID=:ID, "
            "SubVolumnsName=:SubVolumnsName,ChapterName=:ChapterName,ChapterContent=:"
            "ChapterContent where SiteID=:SiteID and ArticleID=:ArticleID and "
            "ChapterID=:ChapterID",
            params);
    }
    return impl_->Execute(
        "INSERT INTO Chapter(ID,SiteID, ArticleID, ChapterID, SubVolumnsName, ChapterName, "
        "ChapterContent) VALUES(:ID,:SiteID, :ArticleID, :ChapterID, :SubVolumnsName, "
        ":ChapterName, :ChapterContent)",
        params);
}

bool TStoryDB::CommitAddChapters(bool listComplete) {
    std::lock_guard guard(impl_->lock);
    // Without an open batch of this thread there is no hold to give back.
    if (impl_->batchDepth == 0) return false;
    bool stored = !impl_->batchFailed;
    if (--impl_->batchDepth == 0) {
        if (stored && listComplete) impl_->PruneBatchStories();
        impl_->batchStories.clear();
        if (stored && impl_->batchOwnsTransaction) stored = impl_->Commit("AddChapter");
    }
    impl_->lock.unlock();
    return stored;
}

TDBRead TStoryDB::ChapterExists(std::string_view siteID, std::string_view articleID,
                                std::string_view chapterID) {
    std::lock_guard guard(impl_->lock);
    return impl_->HasRow(
        "select * from Chapter where SiteID=:SiteID and ArticleID=:ArticleID and "
        "ChapterID=:ChapterID",
        {Text(":SiteID", siteID), Text(":ArticleID", articleID), Text(":ChapterID", chapterID)});
}

TDBRead TStoryDB::GetChapterList(std::string_view siteID, std::string_view articleID,
                                 std::vector<TChapterItemData>& list) {
    ClearList(list);
    std::lock_guard guard(impl_->lock);
    SqlRows rows;
    const TDBRead read = impl_->Read(
        "select * from Chapter where SiteID=:SiteID and ArticleID=:ArticleID order by id",
        {Text(":SiteID", siteID), Text(":ArticleID", articleID)}, rows);
    list.reserve(rows.rows.size());
    // A whole-story download reads its story's list before its first chapter.
    const ColumnOf site(rows, "SiteID"), article(rows, "ArticleID"), volume(rows, "SubVolumnsName"),
        name(rows, "ChapterName"), chapter(rows, "ChapterID"), content(rows, "ChapterContent");
    for (size_t r = 0; r < rows.rows.size(); ++r) {
        TChapterItemData& item = list.emplace_back();
        item.SiteID = site(r);
        item.ArticleID = article(r);
        item.SubVolumnsName = volume(r);
        item.ChapterName = name(r);
        item.ChapterID = chapter(r);
        item.ChapterContent = content(r);
    }
    return read;
}

TDBRead TStoryDB::GetChapterName(std::string_view siteID, std::string_view articleID,
                                 std::string_view chapterID, AnsiString& chapterName) {
    std::lock_guard guard(impl_->lock);
    SqlRows rows;
    const TDBRead read = impl_->Read(
        "select ChapterName from Chapter where SiteID=:SiteID and ArticleID=:ArticleID and "
        "ChapterID=:ChapterID",
        {Text(":SiteID", siteID), Text(":ArticleID", articleID), Text(":ChapterID", chapterID)},
        rows);
    if (read) chapterName = Column(rows, 0, "ChapterName");
    return read;
}

TDBRead TStoryDB::GetChapterLabels(std::string_view siteID, std::string_view articleID,
                                   std::string_view chapterID, AnsiString& chapterName,
                                   AnsiString& author) {
    std::lock_guard guard(impl_->lock);
    // One row always: each value is NULL when its row is missing. Every
    // statement costs the file's read locks, which is most of such a read.
    SqlRows rows;
    const TDBRead read = impl_->Read(
        "select (select ChapterName from Chapter where SiteID=:SiteID and ArticleID=:ArticleID "
        "and ChapterID=:ChapterID) as ChapterName, (select ArticleAuthor from Article where "
        "SiteID=:SiteID and ArticleID=:ArticleID) as ArticleAuthor",
        {Text(":SiteID", siteID), Text(":ArticleID", articleID), Text(":ChapterID", chapterID)},
        rows);
    if (read.Failed() && impl_->db->ErrorMessage().find("no such column") != std::string::npos) {
        // A file whose tables lack a column (made by an older version): the
        // two reads on their own, where a missing column reads as empty.
        AnsiString name, writer;
        if (GetChapterName(siteID, articleID, chapterID, name).Failed() ||
            GetArticleAuthor(siteID, articleID, writer).Failed())
            return TDBRead::Status::Failed;
        chapterName = name;
        author = writer;
        return TDBRead::Status::Found;
    }
    // A busy file fails here once, not again in two more reads.
    if (read.Failed()) return read;
    chapterName = Column(rows, 0, "ChapterName");
    author = Column(rows, 0, "ArticleAuthor");
    return read;
}

// ---- Shelves, folders, followed stories ----------------------------------------

namespace {

TBookListData BookListRecord(const SqlRows& rows, size_t r) {
    TBookListData item;
    item.SiteID = Column(rows, r, "SiteID");
    item.ArticleID = Column(rows, r, "ArticleID");
    item.SiteName = Column(rows, r, "SiteName");
    item.ArticleTitle = Column(rows, r, "ArticleTitle");
    item.ArticleAuthor = Column(rows, r, "ArticleAuthor");
    item.LastArticleInfo = ListedLastInfo(item.SiteID, Column(rows, r, "LastArticleInfo"));
    item.ArticleState = Column(rows, r, "ArticleState");
    item.UpdateTime = Column(rows, r, "UpdateTime");
    item.IsConcern = IntColumn(rows, r, "IsConcern", 0) != 0;
    item.FolderName = Column(rows, r, "FolderName");
    item.HaveUpdate = IntColumn(rows, r, "HaveUpdate", 0) != 0;
    return item;
}

}  // namespace

TDBRead TStoryDB::GetShelf(std::vector<TBookListData>& list, int kind) {
    ClearList(list);
    if (kind < kShelfBoth || kind > kShelfLocal) return TDBRead::Status::Empty;
    const std::string sql =
        std::string(kShelfColumns) + std::string(kShelfFilters[kind + 1]) + std::string(kShelfJoin);
    std::lock_guard guard(impl_->lock);
    SqlRows rows;
    const TDBRead read = impl_->Read(sql, {}, rows);
    list.reserve(rows.rows.size());
    for (size_t r = 0; r < rows.rows.size(); ++r) list.push_back(BookListRecord(rows, r));
    return read;
}

TDBRead TStoryDB::GetFollowed(std::vector<TBookListData>& list, int limit) {
    ClearList(list);
    std::lock_guard guard(impl_->lock);
    SqlRows rows;
    const TDBRead read =
        impl_->Read(kSelectFollowed, {Int(":IsConcern", 1), Int(":limit", limit)}, rows);
    for (size_t r = 0; r < rows.rows.size(); ++r) {
        TBookListData item = BookListRecord(rows, r);
        item.ArticleClassID = IntColumn(rows, r, "ArticleClassID", -1);
        list.push_back(std::move(item));
    }
    return read;
}

TDBRead TStoryDB::GetFollowedLastInfo(std::vector<TConcernItemData>& list) {
    ClearList(list);
    std::lock_guard guard(impl_->lock);
    SqlRows rows;
    const TDBRead read = impl_->Read(
        "select SiteID,ArticleID,LastArticleInfo from Article where IsConcern=1", {}, rows);
    for (size_t r = 0; r < rows.rows.size(); ++r) {
        list.push_back({Column(rows, r, "SiteID"), Column(rows, r, "ArticleID"),
                        Column(rows, r, "LastArticleInfo")});
    }
    return read;
}

bool TStoryDB::SetFollowed(std::string_view siteID, std::string_view articleID, bool flag) {
    std::lock_guard guard(impl_->lock);
    return impl_->Execute(
        "update Article set IsConcern=:IsConcern where SiteID=:SiteID and ArticleID=:ArticleID",
        {Int(":IsConcern", flag ? 1 : 0), Text(":SiteID", siteID), Text(":ArticleID", articleID)});
}

bool TStoryDB::SetHaveUpdate(std::string_view siteID, std::string_view articleID, bool flag) {
    std::lock_guard guard(impl_->lock);
    return impl_->Execute(
        "update Article Set HaveUpdate=:HaveUpdate where SiteID=:SiteID and ArticleID=:ArticleID",
        {Int(":HaveUpdate", flag ? 1 : 0), Text(":SiteID", siteID), Text(":ArticleID", articleID)});
}

bool TStoryDB::SetInOnlineShelf(std::string_view siteID, std::string_view articleID, bool flag) {
    // One hold for the flag, the follow flag and the shelf-leave test, so no
    // other thread's shelf change comes between them.
    std::lock_guard guard(impl_->lock);
    const bool changed =
        impl_->Execute(
            "update Article set InOnlineShelf=:InOnlineShelf where SiteID=:SiteID and "
            "ArticleID=:ArticleID",
            {Int(":InOnlineShelf", flag ? 1 : 0), Text(":SiteID", siteID),
             Text(":ArticleID", articleID)}) &&
        impl_->db->Changes() > 0;
    SetFollowed(siteID, articleID, flag);
    if (changed && !flag) impl_->DeleteWhenOnNoShelf(siteID, articleID);
    return changed;
}

bool TStoryDB::SetInLocalShelf(std::string_view siteID, std::string_view articleID, bool flag) {
    std::lock_guard guard(impl_->lock);
    const bool changed =
        impl_->Execute(
            "update Article set InLocalShelf=:InLocalShelf where SiteID=:SiteID and "
            "ArticleID=:ArticleID",
            {Int(":InLocalShelf", flag ? 1 : 0), Text(":SiteID", siteID),
             Text(":ArticleID", articleID)}) &&
        impl_->db->Changes() > 0;
    if (changed && !flag) impl_->DeleteWhenOnNoShelf(siteID, articleID);
    return changed;
}

TDBRead TStoryDB::IsInOnlineShelf(std::string_view siteID, std::string_view articleID) {
    std::lock_guard guard(impl_->lock);
    return impl_->HasRow(
        "select * from Article where SiteID=:SiteID and ArticleID=:ArticleID and InOnlineshelf=1",
        {Text(":SiteID", siteID), Text(":ArticleID", articleID)});
}

TDBRead TStoryDB::IsInLocalShelf(std::string_view siteID, std::string_view articleID) {
    std::lock_guard guard(impl_->lock);
    return impl_->HasRow(
        "select * from Article where SiteID=:SiteID and ArticleID=:ArticleID and InLocalShelf=1",
        {Text(":SiteID", siteID), Text(":ArticleID", articleID)});
}

TDBRead TStoryDB::IsFollowed(std::string_view siteID, std::string_view articleID) {
    std::lock_guard guard(impl_->lock);
    return impl_->HasRow(
        "select * from Article where SiteID=:SiteID and ArticleID=:ArticleID and IsConcern=1",
        {Text(":SiteID", siteID), Text(":ArticleID", articleID)});
}

TDBRead TStoryDB::GetShelfFlags(std::string_view siteID, std::string_view articleID) {
    std::lock_guard guard(impl_->lock);
    SqlRows rows;
    const TDBRead read = impl_->ArticleRow(siteID, articleID, rows);
    if (!read) return read;
    const bool onAShelf =
        IntColumn(rows, 0, "InOnlineShelf", 0) != 0 || IntColumn(rows, 0, "InLocalShelf", 0) != 0;
    return onAShelf ? TDBRead::Status::Found : TDBRead::Status::Empty;
}

TDBRead TStoryDB::GetBookClasses(std::vector<TBookClassData>& list) {
    ClearList(list);
    std::lock_guard guard(impl_->lock);
    SqlRows rows;
    const TDBRead read = impl_->Read("select * from BookClass", {}, rows);
    for (size_t r = 0; r < rows.rows.size(); ++r) {
        list.push_back({Column(rows, r, "Name"), IntColumn(rows, r, "ID", -1)});
    }
    return read;
}

bool TStoryDB::SetArticleClass(std::string_view siteID, std::string_view articleID, int classID) {
    std::lock_guard guard(impl_->lock);
    return impl_->Execute(
        "update Article set ArticleClassID=:ArticleClassID where SiteID=:SiteID and "
        "ArticleID=:ArticleID",
        {Int(":ArticleClassID", classID), Text(":SiteID", siteID), Text(":ArticleID", articleID)});
}

// ---- Reading history, parameters -----------------------------------------------

bool TStoryDB::SaveReadPosition(std::string_view siteID, std::string_view storyID,
                                std::string_view readTime, std::string_view readChapter,
                                int hScrollBarPos, int vScrollBarPos) {
    // ReadChapter lives in a column declared integer: bound as text, "0123"
    // would be stored as 123 and a long id as a REAL. A blob keeps the bytes.
    const std::vector<SqlParam> params = {
        Text(":SiteID", siteID),
        Text(":StoryID", storyID),
        Text(":ReadTime", readTime),
        {":ReadChapter", SqlBlob{platform::AnsiToUtf8(readChapter)}},
        Int(":HScrollBarPos", hScrollBarPos),
        Int(":VScrollBarPos", vScrollBarPos),
    };
    std::lock_guard guard(impl_->lock);
    // Test and write in one transaction: two programs saving a new story at
    // once would each find no row and insert one.
    return impl_->WriteTransaction("ReadPosition", [&] {
        const TDBRead exists = impl_->HasRow(kSelectHistory, params);
        if (exists.Failed()) return false;
        if (exists) {
            return impl_->Execute(
                "UPDATE LastReadHistory SET "
                "ReadTime=:ReadTime,ReadChapter=:ReadChapter,HScrollBarPos=:HScrollBarPos,"
                "VScrollBarPos=:VScrollBarPos where SiteID=:SiteID and StoryID=:StoryID",
                params);
        }
        return impl_->Execute(
            "INSERT INTO "
            "LastReadHistory(SiteID,StoryID,ReadTime,ReadChapter,HScrollBarPos,VScrollBarPos) "
            "VALUES(:SiteID,:StoryID,:ReadTime,:ReadChapter,:HScrollBarPos,:VScrollBarPos)",
            params);
    });
}

TDBRead TStoryDB::GetReadPosition(std::string_view siteID, std::string_view storyID,
                                  TReadHistoryData& position) {
    position = {};
    std::lock_guard guard(impl_->lock);
    SqlRows rows;
    const TDBRead read =
        impl_->Read(kSelectHistory, {Text(":SiteID", siteID), Text(":StoryID", storyID)}, rows);
    if (!read) return read;
    position.Author = Column(rows, 0, "Author");
    position.StoryName = Column(rows, 0, "StoryName");
    position.StoryID = Column(rows, 0, "StoryID");
    position.LastStoryInfo = Column(rows, 0, "LastStoryInfo");
    position.SiteName = Column(rows, 0, "SiteName");
    position.SiteID = Column(rows, 0, "SiteID");
    position.ReadTime = Column(rows, 0, "ReadTime");
    position.ReadChapter = Column(rows, 0, "ReadChapter");
    position.HScrollBarPos = IntColumn(rows, 0, "HScrollBarPos", 0);
    position.VScrollBarPos = IntColumn(rows, 0, "VScrollBarPos", 0);
    return read;
}

TDBRead TStoryDB::GetReadHistory(std::vector<TReadHistoryListData>& list) {
    ClearList(list);
    std::lock_guard guard(impl_->lock);
    SqlRows rows;
    const TDBRead read = impl_->Read(kSelectReadHistory, {}, rows);
    for (size_t r = 0; r < rows.rows.size(); ++r) {
        TReadHistoryListData& item = list.emplace_back();
        item.SiteID = Column(rows, r, "SiteID");
        item.StoryID = Column(rows, r, "StoryID");
        item.SiteName = Column(rows, r, "SiteName");
        item.ArticleTitle = Column(rows, r, "ArticleTitle");
        item.ArticleAuthor = Column(rows, r, "ArticleAuthor");
        item.LastArticleInfo = ListedLastInfo(item.SiteID, Column(rows, r, "LastArticleInfo"));
        item.ArticleState = Column(rows, r, "ArticleState");
        item.ReadTime = Column(rows, r, "ReadTime");
        item.FolderName = Column(rows, r, "FolderName");
        item.ArticleClassID = IntColumn(rows, r, "ArticleClassID", -1);
        item.ReadChapter = Column(rows, r, "ReadChapter");
    }
    return read;
}

bool TStoryDB::TouchReadTime(std::string_view siteID, std::string_view storyID) {
    const std::vector<SqlParam> params = {Text(":SiteID", siteID), Text(":StoryID", storyID),
                                          Text(":ReadTime", NowText())};
    std::lock_guard guard(impl_->lock);
    return impl_->WriteTransaction("ReadTime", [&] {
        const TDBRead exists = impl_->HasRow(kSelectHistory, params);
        if (exists.Failed()) return false;
        if (exists) {
            return impl_->Execute(
                "update LastReadHistory Set ReadTime=:ReadTime where SiteID=:SiteID and "
                "StoryID=:StoryID",
                params);
        }
        return impl_->Execute(
            "insert into LastReadHistory(SiteID,StoryID,ReadTime) "
            "values(:SiteID,:StoryID,:ReadTime)",
            params);
    });
}

bool TStoryDB::DeleteReadHistory(std::string_view siteID, std::string_view articleID) {
    std::lock_guard guard(impl_->lock);
    return impl_->Execute("delete from LastReadHistory where SiteID=:SiteID and StoryID=:ArticleID",
                          {Text(":SiteID", siteID), Text(":ArticleID", articleID)});
}

bool TStoryDB::ReplaceReadHistory(const std::vector<TReadHistorySyncData>& rows, bool replaceAll) {
    // One entry per story, as writing the rows one after another would leave
    // it: the chapter and time of its last row; a story without an Article
    // row gets the title of its first. Keys are the UTF-8 texts the table
    // compares.
    struct Story {
        std::string siteID, storyID;
        const TReadHistorySyncData* first;
        const TReadHistorySyncData* last;
    };
    const auto keyOf = [](const std::string& siteID, const std::string& storyID) {
        return siteID + '\0' + storyID;
    };
    std::vector<Story> stories;
    std::unordered_map<std::string, size_t> storyIndex;
    for (const TReadHistorySyncData& row : rows) {
        std::string siteID = platform::AnsiToUtf8(row.SiteID);
        std::string storyID = platform::AnsiToUtf8(row.StoryID);
        const auto [at, added] = storyIndex.emplace(keyOf(siteID, storyID), stories.size());
        if (added)
            stories.push_back({std::move(siteID), std::move(storyID), &row, &row});
        else
            stories[at->second].last = &row;
    }

    std::lock_guard guard(impl_->lock);
    // Inside another transaction of this connection (a chapter batch on this
    // thread) a failure could not be rolled back alone.
    if (impl_->db->InTransaction()) return false;
    // Every lookup below is one pass over a table read before the writes,
    // never a search per row: neither LastReadHistory's story nor Article's
    // folder name has an index, and a search per row made the whole cost
    // grow with the square of the rows.
    return impl_->WriteTransaction("ReadHistory", [&] {
        if (replaceAll && !impl_->Execute("delete from LastReadHistory", {})) return false;
        // The history rows of each story (merge: more than one when both
        // programs once added the same story at the same moment).
        std::unordered_map<std::string, std::vector<int64_t>> historyRows;
        if (!replaceAll) {
            SqlRows history;
            if (!impl_->Query("select id, SiteID, StoryID from LastReadHistory", {}, history))
                return false;
            for (const auto& row : history.rows) {
                if (!row[0] || !row[1] || !row[2]) continue;
                int64_t id = 0;
                const auto [end, error] =
                    std::from_chars(row[0]->data(), row[0]->data() + row[0]->size(), id);
                if (error != std::errc()) continue;
                historyRows[keyOf(*row[1], *row[2])].push_back(id);
            }
        }
        SqlRows articles;
        if (!impl_->Query("select SiteID, ArticleID, FolderName from Article", {}, articles))
            return false;
        std::unordered_set<std::string> stored, folderNames;
        for (const auto& row : articles.rows) {
            if (row[0] && row[1]) stored.insert(keyOf(*row[0], *row[1]));
            if (row[2]) folderNames.insert(*row[2]);
        }
        for (const Story& story : stories) {
            const std::string key = keyOf(story.siteID, story.storyID);
            const SqlParam site{":SiteID", story.siteID};
            const SqlParam storyID{":StoryID", story.storyID};
            if (!stored.count(key) &&
                !impl_->InsertArticle({site,
                                       {":ArticleID", story.storyID},
                                       Text(":ArticleTitle", story.first->StoryName),
                                       {":ArticleAuthor", std::string()},
                                       {":ArticleIntro", std::string()},
                                       {":LastArticleInfo", std::string()},
                                       {":ArticleClass", std::string()},
                                       {":ArticleVolumnURLFromHome", std::string()}},
                                      &folderNames)) {
                return false;
            }
            const SqlParam readTime = Text(":ReadTime", story.last->ReadTime);
            const SqlParam readChapter = Text(":ReadChapter", story.last->ReadChapter);
            const auto existing = historyRows.find(key);
            if (existing == historyRows.end()) {
                if (!impl_->Execute(
                        "INSERT INTO LastReadHistory(SiteID,StoryID,ReadTime,ReadChapter,"
                        "HScrollBarPos,VScrollBarPos) VALUES(:SiteID,:StoryID,:ReadTime,"
                        ":ReadChapter,0,0)",
                        {site, storyID, readTime, readChapter}))
                    return false;
                continue;
            }
            for (const int64_t id : existing->second) {
                if (!impl_->Execute("UPDATE LastReadHistory SET ReadTime=:ReadTime,"
                                    "ReadChapter=:ReadChapter,HScrollBarPos=0,VScrollBarPos=0 "
                                    "where id=:id",
                                    {readTime, readChapter, Int(":id", id)}))
                    return false;
            }
        }
        return true;
    });
}

TDBRead TStoryDB::GetParam(std::string_view paramName, AnsiString& paramValue) {
    std::lock_guard guard(impl_->lock);
    SqlRows rows;
    const TDBRead read = impl_->Read("select * from HTMLParam where ParamName=:ParamName",
                                     {Text(":ParamName", paramName)}, rows);
    if (read) paramValue = Column(rows, 0, "ParamValue");
    return read;
}

bool TStoryDB::SetParam(std::string_view paramName, std::string_view paramValue) {
    std::lock_guard guard(impl_->lock);
    return impl_->Execute(
        "REPLACE INTO HTMLParam (ParamName,ParamValue) Values(:ParamName,:ParamValue)",
        {Text(":ParamName", paramName), Text(":ParamValue", paramValue)});
}

// ---- The process-wide object -------------------------------------------------

namespace {

std::mutex gOwnerLock;
std::unique_ptr<TStoryDB> gOwner;
std::atomic<TStoryDB*> gCurrent{nullptr};

}  // namespace

TStoryDB* StoryDB() {
    return gCurrent.load(std::memory_order_acquire);
}

bool CreateStoryDB() {
    try {
        SetStoryDB(std::make_unique<TStoryDB>());
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void SetStoryDB(std::unique_ptr<TStoryDB> db) {
    std::unique_ptr<TStoryDB> old;
    {
        std::lock_guard guard(gOwnerLock);
        gCurrent.store(db.get(), std::memory_order_release);
        old = std::exchange(gOwner, std::move(db));
    }
}

void FreeStoryDB() {
    SetStoryDB(nullptr);
}
