// TStoryDB's members for table LastReadHistory (the reading positions, the
// recent reads and the synced history) and for table HTMLParam.

#include "core/StoryDBImpl.h"

#include <unordered_map>

namespace {

constexpr std::string_view kSelectHistory =
    "select * from LastReadHistory where SiteID=:SiteID and StoryID=:StoryID";

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

}  // namespace

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
