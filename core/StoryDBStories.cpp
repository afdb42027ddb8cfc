// TStoryDB's members for tables Article and Chapter: a story's row and its
// texts, and the chapter list written in batches and read back.

#include "core/StoryDBImpl.h"

namespace {

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

}  // namespace

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
