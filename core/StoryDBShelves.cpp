// TStoryDB's members for the shelves, the shelf folders (table BooKClass)
// and the followed stories: the flags of table Article and the lists over it.

#include "core/StoryDBImpl.h"

#include <array>

namespace {

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

}  // namespace

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
