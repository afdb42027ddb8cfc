#include "core/StoryDB.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "core/DBCreater.h"
#include "core/Folders.h"
#include "core/TextHelpers.h"
#include "tests/core/DatabaseFixtures.h"

namespace {

using dbtest::Exec;
using dbtest::One;
using testing_support::TempTree;

// GBK text from a UTF-8 literal.
AnsiString G(const char* utf8) {
    return platform::Utf8ToAnsi(utf8);
}

class StoryDBTest : public testing::Test {
  protected:
    void SetUp() override {
        SetAppFolder(tree.Make("app") + "/");
        SetDataFolder(tree.Make("data") + "/");
        tree.Make("data/BooK");
        path = tree.Path("app/idata.dll");
        // A user database as the programs start with it: the shipped file.
        TDBCreater creater;
        ASSERT_TRUE(creater.CheckDatabase(path, std::string(QUIRA_BIN_DIR) + "/idata.dll"));
        db = std::make_unique<TStoryDB>(path);
        raw = dbtest::Raw(path);
        AddSite("s1", G("站一"));
    }

    void AddSite(const AnsiString& id, const AnsiString& name) {
        TSiteItemData site;
        site.SiteID = id;
        site.SiteName = name;
        ASSERT_TRUE(db->SaveSite(id, site));
    }
    std::string Count(const std::string& table, const std::string& where = "1") {
        return One(*raw, "select count(*) from " + table + " where " + where);
    }

    TempTree tree;
    std::string path;
    std::unique_ptr<TStoryDB> db;
    std::unique_ptr<SqliteDB> raw;
};

// ---- Sites -------------------------------------------------------------------

TEST_F(StoryDBTest, SaveSiteInsertsThenUpdatesAndNullReadsEmpty) {
    TSiteItemData site;
    site.SiteID = G("站点甲");
    site.SiteName = G("甲");
    site.SiteURL = "http://a/";
    site.ArticleChapterContentFilter = "f";
    ASSERT_TRUE(db->SaveSite(site.SiteID, site));
    site.SiteName = G("乙");
    ASSERT_TRUE(db->SaveSite(site.SiteID, site));
    EXPECT_EQ(Count("Site"), "2");
    // The file holds UTF-8.
    EXPECT_EQ(One(*raw, "select SiteName from Site where SiteID='站点甲'"), "乙");

    Exec(*raw, "update Site set CodePage=NULL where SiteID='站点甲'");
    TSiteItemData back;
    back.CodePage = "stale";
    ASSERT_TRUE(db->GetSite(site.SiteID, back));
    EXPECT_EQ(back, site);

    AnsiString name;
    EXPECT_TRUE(db->GetSiteName(site.SiteID, name));
    EXPECT_EQ(name, G("乙"));
    EXPECT_TRUE(db->SiteExists(site.SiteID));
    EXPECT_FALSE(db->SiteExists("nope"));
}

TEST_F(StoryDBTest, UnknownSiteLeavesOrEmptiesRecordsAsEachOperationSays) {
    TSiteItemData site;
    site.SiteName = "kept";
    EXPECT_FALSE(db->GetSite("nope", site));
    EXPECT_EQ(site.SiteName, "kept");

    TAnalyzeSiteData rules;
    rules.ArticleURL = "stale";
    EXPECT_FALSE(db->GetSiteRules("nope", rules));
    EXPECT_EQ(rules, TAnalyzeSiteData{});

    AnsiString name = "kept";
    EXPECT_FALSE(db->GetSiteName("nope", name));
    EXPECT_EQ(name, "kept");
}

TEST_F(StoryDBTest, SiteRulesAndSearchColumnsComeFromTheRow) {
    TSiteItemData site;
    site.SiteID = "s2";
    site.SiteName = "two";
    site.SiteURL = "http://two/";
    site.SiteSearchURL = "http://two/s?q={key}";
    site.CodePage = "utf-8";
    site.ArticleVolumnURLFromHome = "folder(\\d+)";
    site.ArticleChapterContentFilter = "ad";
    ASSERT_TRUE(db->SaveSite(site.SiteID, site));

    TAnalyzeSiteData rules;
    ASSERT_TRUE(db->GetSiteRules("s2", rules));
    EXPECT_EQ(rules.SiteURL, "http://two/");
    EXPECT_EQ(rules.ArticleVolumnURLFromHome, "folder(\\d+)");
    EXPECT_EQ(rules.ArticleChapterContentFilter, "ad");

    std::vector<TSearchSiteData> list(3);
    db->GetSearchSites(list);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].SiteSearchURL, "http://two/s?q={key}");
    EXPECT_EQ(list[1].CodePage, "utf-8");

    db->ClearTable("Site");
    db->GetSearchSites(list);
    EXPECT_TRUE(list.empty());
}

TEST_F(StoryDBTest, ClearTableAcceptsOnlyTheSixTables) {
    struct Case {
        std::string name;
        bool accepted;
    };
    const Case cases[] = {
        {"LastReadHistory", true},
        {"lastreadhistory", true},
        {"HTMLParam", true},
        {"Site; DROP TABLE Article", false},
        {"Article WHERE 1=0", false},
        {"sqlite_master", false},
        {"", false},
        {"Chapter ", false},
    };
    for (const Case& c : cases) {
        db->SaveReadPosition("s1", "a", "t", "c", 0, 0);
        SCOPED_TRACE(c.name);
        EXPECT_EQ(db->ClearTable(c.name), c.accepted);
        EXPECT_EQ(Count("sqlite_master", "type='table' and name='Article'"), "1");
    }
    EXPECT_EQ(Count("HTMLParam"), "0");
}

// ---- Stories -----------------------------------------------------------------

TEST_F(StoryDBTest, NewStoryIsOnNoShelfUnfollowedWithoutTimeAndAFreshFolderName) {
    ASSERT_TRUE(db->AddArticle("s1", "a1", G("书名"), G("作者"), "intro", "last", "", -1, "77"));
    EXPECT_EQ(One(*raw,
                  "select quote(UpdateTime)||quote(IsConcern)||quote(HaveUpdate)||InLocalShelf||"
                  "InOnlineShelf||quote(ArticleClassID) from Article"),
              "NULLNULLNULL00NULL");
    AnsiString folder;
    ASSERT_TRUE(db->GetFolderName("s1", "a1", folder));
    EXPECT_TRUE(std::regex_match(folder, std::regex("[0A-Z1-9]{30}"))) << folder;
    EXPECT_EQ(One(*raw, "select ArticleTitle from Article"), "书名");
}

TEST_F(StoryDBTest, AddingAgainKeepsFolderAndLastInfoAndNeverEmptiesTheTitle) {
    ASSERT_TRUE(db->AddArticle("s1", "a1", G("书名"), "au", "in", "last", "cls", -1, "77"));
    AnsiString folder;
    db->GetFolderName("s1", "a1", folder);

    // Re-read with an empty title: title kept, the rest replaced.
    ASSERT_TRUE(db->AddArticle("s1", "a1", "", "au2", "in2", "last2", "cls2", -1, "88"));
    AnsiString title, author, intro, last, rule, folder2;
    ASSERT_TRUE(db->GetArticleInfo("s1", "a1", title, author, intro));
    EXPECT_EQ(title, G("书名"));
    EXPECT_EQ(author, "au2");
    EXPECT_EQ(intro, "in2");
    db->GetFolderRule("s1", "a1", rule);
    EXPECT_EQ(rule, "88");

    // As the history sync stores it: a title only.
    ASSERT_TRUE(db->AddArticle("s1", "a1", G("新名"), "", "", "", "", 0, ""));
    ASSERT_TRUE(db->GetArticleSummary("s1", "a1", title, author, last));
    EXPECT_EQ(title, G("新名"));
    EXPECT_EQ(author, "");
    EXPECT_EQ(last, "last");
    db->GetFolderName("s1", "a1", folder2);
    EXPECT_EQ(folder2, folder);
    EXPECT_EQ(Count("Article"), "1");
    EXPECT_EQ(One(*raw, "select ArticleClass||'|'||ArticleVolumnURLFromHome from Article"), "|");
}

TEST_F(StoryDBTest, GettersLeaveOutParametersWithoutARow) {
    AnsiString title = "t", author = "a", last = "l", folder = "f";
    EXPECT_FALSE(db->GetArticleSummary("s1", "none", title, author, last));
    EXPECT_FALSE(db->GetFolderName("s1", "none", folder));
    EXPECT_EQ(title + author + last + folder, "talf");
}

TEST_F(StoryDBTest, AStoryTableLackingAColumnStillReadsTheOthers) {
    ASSERT_TRUE(db->AddArticle("s1", "a1", G("书名"), "au", "in", "last", "", -1, "77"));
    // As in a file of an older version.
    Exec(*raw, "alter table Article drop column ArticleIntro");
    AnsiString title, author, intro = "x", rule;
    ASSERT_TRUE(db->GetArticleInfo("s1", "a1", title, author, intro));
    EXPECT_EQ(title + "|" + author + "|" + intro, G("书名") + "|au|");
    ASSERT_TRUE(db->GetFolderRule("s1", "a1", rule));
    EXPECT_EQ(rule, "77");
    EXPECT_FALSE(db->GetArticleInfo("s1", "none", title, author, intro));
}

TEST_F(StoryDBTest, NewFolderNameAvoidsStoredNamesAndExistingFolders) {
    Exec(*raw, "insert into Article(SiteID,ArticleID,FolderName) values('s1','old','AAA')");
    tree.Make("data/BooK/BBB");
    std::vector<std::string> offered = {"AAA", "BBB", "CCC"};
    size_t next = 0;
    db->SetFolderNameSource([&] { return offered[std::min(next++, offered.size() - 1)]; });
    ASSERT_TRUE(db->AddArticle("s1", "new", "t", "", "", "", "", -1, ""));
    AnsiString folder;
    db->GetFolderName("s1", "new", folder);
    EXPECT_EQ(folder, "CCC");

    // A source that only ever collides gives up instead of sharing a folder.
    db->SetFolderNameSource([] { return std::string("AAA"); });
    EXPECT_FALSE(db->AddArticle("s1", "third", "t", "", "", "", "", -1, ""));
    EXPECT_FALSE(db->ArticleExists("s1", "third"));
}

TEST_F(StoryDBTest, SetUpdateTimeStampsLocalTimeAndSetLastArticleInfoReplaces) {
    db->AddArticle("s1", "a1", "t", "", "", "last", "", -1, "");
    ASSERT_TRUE(db->SetUpdateTime("s1", "a1"));
    const std::string stamp = One(*raw, "select UpdateTime from Article");
    EXPECT_TRUE(std::regex_match(stamp, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)"))) << stamp;
    ASSERT_TRUE(db->SetLastArticleInfo("s1", "a1", G("第二章")));
    EXPECT_EQ(One(*raw, "select LastArticleInfo from Article"), "第二章");
}

// ---- Chapter lists -------------------------------------------------------------

void StoreList(TStoryDB& db, const std::string& article, const std::vector<std::string>& ids,
               bool complete = true) {
    TStoryDB::ChapterBatch batch(db);
    for (size_t i = 0; i < ids.size(); ++i) {
        db.AddChapter("s1", article, ids[i], "vol", "name " + ids[i], "", static_cast<int>(i));
    }
    if (!complete) batch.SetIncomplete();
}

std::vector<std::string> ListIDs(TStoryDB& db, const std::string& article) {
    std::vector<TChapterItemData> list;
    db.GetChapterList("s1", article, list);
    std::vector<std::string> ids;
    for (const auto& item : list) ids.push_back(item.ChapterID);
    return ids;
}

TEST_F(StoryDBTest, ReReadChapterListLeavesExactlyTheNewList) {
    struct Case {
        const char* name;
        std::vector<std::string> first, second;
        bool complete;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"swapped", {"1", "2", "3"}, {"2", "1", "3"}, true, {"2", "1", "3"}},
        {"shrunk", {"1", "2", "3", "4"}, {"1", "2"}, true, {"1", "2"}},
        {"grown", {"1", "2"}, {"1", "2", "3"}, true, {"1", "2", "3"}},
        {"replaced", {"1", "2"}, {"9", "8"}, true, {"9", "8"}},
        {"vanished in the middle", {"1", "2", "3"}, {"1", "3"}, true, {"1", "3"}},
        {"cut short keeps the rest", {"1", "2", "3"}, {"1"}, false, {"1", "2", "3"}},
        {"emptied", {"1", "2"}, {}, true, {"1", "2"}},
        {"one chapter twice", {"1", "2", "3"}, {"1", "3", "1"}, true, {"3", "1"}},
    };
    // The same results from a file whose Chapter table lacks its key, where
    // a row is tested for and then inserted or updated.
    const std::string keyless = tree.Path("app/keyless.dll");
    dbtest::MakeStoryDatabase(keyless);
    {
        auto file = dbtest::Raw(keyless);
        Exec(*file, "drop table Chapter");
        Exec(*file,
             "create table Chapter([ID] integer,[SiteID] varchar(50),[ArticleID] varchar(50),"
             "[SubVolumnsName] varchar(400),[ChapterName] varchar(400),[ChapterID] varchar(400),"
             "[ChapterContent] text,[ChapterContentPic] blob)");
    }
    TStoryDB keylessDB(keyless);
    for (TStoryDB* target : {db.get(), &keylessDB}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (target == db.get() ? "" : ", no key"));
            target->DeleteArticle("s1", "a");
            StoreList(*target, "a", c.first);
            StoreList(*target, "other", {"x", "y"});
            StoreList(*target, "a", c.second, c.complete);
            EXPECT_EQ(ListIDs(*target, "a"), c.expected);
            EXPECT_EQ(ListIDs(*target, "other"), (std::vector<std::string>{"x", "y"}));
        }
    }
}

TEST_F(StoryDBTest, ChapterRowsCarryTheirTextsAndEmptyIdsAreNotStored) {
    {
        TStoryDB::ChapterBatch batch(*db);
        EXPECT_FALSE(db->AddChapter("s1", "a", "", "v", "n", "", 0));
        EXPECT_FALSE(db->AddChapter("", "a", "c", "v", "n", "", 0));
        EXPECT_TRUE(db->AddChapter("s1", "a", G("章1"), G("第一卷"), G("第一章"), "text", 0));
    }
    std::vector<TChapterItemData> list(2);
    db->GetChapterList("s1", "a", list);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0],
              (TChapterItemData{"s1", "a", G("第一卷"), G("第一章"), G("章1"), "text", 0}));
    AnsiString name;
    EXPECT_TRUE(db->GetChapterName("s1", "a", G("章1"), name));
    EXPECT_EQ(name, G("第一章"));
    EXPECT_TRUE(db->ChapterExists("s1", "a", G("章1")));

    db->GetChapterList("s1", "none", list);
    EXPECT_TRUE(list.empty());
}

// The combined reads of a chapter download give what the single reads give,
// also where a row is missing or the story table is of an older version.
TEST_F(StoryDBTest, ChapterLabelsAndStoryFolderReadAsTheSingleReads) {
    ASSERT_TRUE(db->AddArticle("s1", "a", G("书名"), G("快笔"), "", "", "", -1, "77"));
    {
        TStoryDB::ChapterBatch batch(*db);
        ASSERT_TRUE(db->AddChapter("s1", "a", "c1", "", G("第一章"), "", 0));
        ASSERT_TRUE(db->AddChapter("s1", "b", "c1", "", G("别的书"), "", 0));
    }
    AnsiString rule, folder, author;
    ASSERT_TRUE(db->GetArticleFolderAndAuthor("s1", "a", rule, folder, author));
    AnsiString folderAlone;
    db->GetFolderName("s1", "a", folderAlone);
    EXPECT_EQ(rule + "|" + author, "77|" + G("快笔"));
    EXPECT_EQ(folder, folderAlone);
    EXPECT_FALSE(folder.empty());

    struct Case {
        const char* article;
        const char* chapter;
        const char* name;    // UTF-8
        const char* writer;  // UTF-8
    };
    const auto check = [&](const Case& c) {
        AnsiString name = "x", writer = "x";
        EXPECT_FALSE(db->GetChapterLabels("s1", c.article, c.chapter, name, writer).Failed())
            << c.article << "/" << c.chapter;
        EXPECT_EQ(name, G(c.name)) << c.article << "/" << c.chapter;
        EXPECT_EQ(writer, G(c.writer)) << c.article << "/" << c.chapter;
    };
    for (const Case& c : {Case{"a", "c1", "第一章", "快笔"}, Case{"a", "c9", "", "快笔"},
                          Case{"b", "c1", "别的书", ""}, Case{"z", "c1", "", ""}})
        check(c);
    // As in a file of an older version: the chapter name still comes.
    Exec(*raw, "alter table Article drop column ArticleAuthor");
    check({"a", "c1", "第一章", ""});
}

TEST_F(StoryDBTest, DeleteArticleRemovesRowAndChaptersButNotTheFolder) {
    db->AddArticle("s1", "a", "t", "", "", "", "", -1, "");
    StoreList(*db, "a", {"1", "2"});
    AnsiString folder;
    db->GetFolderName("s1", "a", folder);
    const std::string dir = tree.Make("data/BooK/" + folder);
    db->DeleteArticle("s1", "a");
    EXPECT_EQ(Count("Article"), "0");
    EXPECT_EQ(Count("Chapter"), "0");
    EXPECT_TRUE(std::filesystem::exists(dir));
}

// ---- Shelves and followed stories -------------------------------------------------

struct ShelfCase {
    const char* name;
    bool rowBefore;
    int onlineBefore, localBefore;
    bool online;  // which setter
    bool flag;
    bool rowAfter;
    int onlineAfter, localAfter;
    int followedAfter;  // -1: not looked at
};

TEST_F(StoryDBTest, ShelfChangesFollowTheShelfLeaveRule) {
    const ShelfCase cases[] = {
        {"both, off online", true, 1, 1, true, false, true, 0, 1, 0},
        {"online only, off online", true, 1, 0, true, false, false, 0, 0, -1},
        {"local only, off local", true, 0, 1, false, false, false, 0, 0, -1},
        {"both, off local", true, 1, 1, false, false, true, 1, 0, 1},
        {"none, on online", true, 0, 0, true, true, true, 1, 0, 1},
        {"none, on local", true, 0, 0, false, true, true, 0, 1, -1},
        {"none, off local", true, 0, 0, false, false, false, 0, 0, -1},
        {"no row, on online", false, 0, 0, true, true, false, 0, 0, -1},
    };
    for (const ShelfCase& c : cases) {
        SCOPED_TRACE(c.name);
        db->DeleteArticle("s1", "a");
        ASSERT_EQ(Count("Article"), "0");
        if (c.rowBefore) {
            db->AddArticle("s1", "a", "t", "", "", "", "", -1, "");
            Exec(*raw, "update Article set InOnlineShelf=" + std::to_string(c.onlineBefore) +
                           ", InLocalShelf=" + std::to_string(c.localBefore) +
                           ", IsConcern=" + std::to_string(c.onlineBefore));
            StoreList(*db, "a", {"1", "2"});
        }
        if (c.online) {
            db->SetInOnlineShelf("s1", "a", c.flag);
        } else {
            db->SetInLocalShelf("s1", "a", c.flag);
        }
        EXPECT_EQ(db->ArticleExists("s1", "a"), c.rowAfter);
        EXPECT_EQ(Count("Chapter") != "0", c.rowAfter);
        if (!c.rowAfter) continue;
        EXPECT_EQ(db->IsInOnlineShelf("s1", "a"), c.onlineAfter == 1);
        EXPECT_EQ(db->IsInLocalShelf("s1", "a"), c.localAfter == 1);
        EXPECT_EQ(db->GetShelfFlags("s1", "a"), c.onlineAfter == 1 || c.localAfter == 1);
        if (c.followedAfter >= 0) {
            EXPECT_EQ(One(*raw, "select IsConcern from Article"), std::to_string(c.followedAfter));
        }
    }
}

TEST_F(StoryDBTest, FailedShelfChangeNeverDeletesTheStory) {
    db->AddArticle("s1", "a", "t", "", "", "", "", -1, "");
    StoreList(*db, "a", {"1"});
    Exec(*raw,
         "create trigger refuse before update of InOnlineShelf, InLocalShelf on Article "
         "begin select raise(abort, 'refused'); end");
    // The story is on no shelf: had the rule run on the unchanged row, it
    // would be gone with its chapter list.
    EXPECT_FALSE(db->SetInOnlineShelf("s1", "a", true));
    EXPECT_FALSE(db->SetInLocalShelf("s1", "a", false));
    EXPECT_TRUE(db->ArticleExists("s1", "a"));
    EXPECT_EQ(Count("Chapter"), "1");
}

void AddShelved(TStoryDB& db, SqliteDB& raw, const std::string& site, const std::string& id,
                const std::string& columns) {
    db.AddArticle(site, id, "title " + id, "", "", "last " + id, "", -1, "");
    Exec(raw, "update Article set " + columns + " where ArticleID='" + id + "'");
}

TEST_F(StoryDBTest, ShelvesListByKindNewestFirstWithNullTimesLast) {
    AddShelved(*db, *raw, "s1", "on", "InOnlineShelf=1, UpdateTime='2024-01-02 00:00:00'");
    AddShelved(*db, *raw, "s1", "lo", "InLocalShelf=1, UpdateTime='2024-01-03 00:00:00'");
    AddShelved(*db, *raw, "s1", "both", "InOnlineShelf=1, InLocalShelf=1, UpdateTime=NULL");
    AddShelved(*db, *raw, "s1", "none", "UpdateTime='2030-01-01 00:00:00'");
    AddShelved(*db, *raw, "gone", "orphan", "InOnlineShelf=1, InLocalShelf=1");

    struct Case {
        int kind;
        std::vector<std::string> ids;
    };
    const Case cases[] = {{kShelfBoth, {"lo", "on", "both"}},
                          {kShelfOnline, {"on", "both"}},
                          {kShelfLocal, {"lo", "both"}},
                          {2, {}},
                          {-2, {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        std::vector<TBookListData> list(1);
        db->GetShelf(list, c.kind);
        std::vector<std::string> ids;
        for (const auto& item : list) ids.push_back(item.ArticleID);
        EXPECT_EQ(ids, c.ids);
    }
    std::vector<TBookListData> list;
    db->GetShelf(list, kShelfOnline);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].SiteName, G("站一"));
    EXPECT_EQ(list[0].ArticleTitle, "title on");
    EXPECT_EQ(list[0].LastArticleInfo, "last on");
    EXPECT_EQ(list[0].UpdateTime, "2024-01-02 00:00:00");
    EXPECT_EQ(list[0].ArticleClassID, 0);
    EXPECT_EQ(list[0].FolderName.size(), 30u);
}

TEST_F(StoryDBTest, FollowedListsMarkedStoriesFirstThenNewestUpToTheLimit) {
    // Twelve followed stories; two have news, one has HaveUpdate NULL and the
    // newest time, and it still sorts after every 0.
    for (int i = 0; i < 12; ++i) {
        const std::string id = "f" + std::to_string(i);
        std::string columns = "IsConcern=1, HaveUpdate=0, UpdateTime='2024-01-" +
                              std::string(i < 10 ? "0" : "") + std::to_string(i) + " 00:00:00'";
        if (i == 3 || i == 5) columns += ", HaveUpdate=1";
        if (i == 11) columns += ", HaveUpdate=NULL";
        AddShelved(*db, *raw, "s1", id, columns);
    }
    AddShelved(*db, *raw, "s1", "unfollowed", "IsConcern=0, HaveUpdate=1");
    db->SetArticleClass("s1", "f10", 3);

    std::vector<TBookListData> list;
    db->GetFollowed(list, 10);
    std::vector<std::string> ids;
    for (const auto& item : list) ids.push_back(item.ArticleID);
    EXPECT_EQ(ids, (std::vector<std::string>{"f5", "f3", "f10", "f9", "f8", "f7", "f6", "f4", "f2",
                                             "f1"}));
    EXPECT_TRUE(list[0].HaveUpdate);
    EXPECT_TRUE(list[0].IsConcern);
    EXPECT_EQ(list[2].ArticleClassID, 3);
    EXPECT_EQ(list[3].ArticleClassID, -1);

    db->GetFollowed(list, 20);
    ASSERT_EQ(list.size(), 12u);
    EXPECT_EQ(list.back().ArticleID, "f11");

    std::vector<TConcernItemData> followed;
    db->GetFollowedLastInfo(followed);
    EXPECT_EQ(followed.size(), 12u);
    EXPECT_EQ(followed[0], (TConcernItemData{"s1", "f0", "last f0"}));

    ASSERT_TRUE(db->SetHaveUpdate("s1", "f3", false));
    ASSERT_TRUE(db->SetFollowed("s1", "f5", false));
    db->GetFollowed(list, 1);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].ArticleID, "f10");
}

TEST_F(StoryDBTest, MarkedSiteLastInfoIsDecodedInEveryList) {
    AddSite(AnsiString(kDocumentWriteSiteID), "marked");
    const AnsiString coded = "<script>document.write('\\u7b2c9')</script>";
    for (const AnsiString& site : {AnsiString(kDocumentWriteSiteID), AnsiString("s1")}) {
        db->AddArticle(site, "a", "t", "", "", coded, "", -1, "");
        db->SetInOnlineShelf(site, "a", true);
        db->SaveReadPosition(site, "a", "2024-01-01 00:00:00", "c", 0, 0);
    }
    ASSERT_NE(DecodeDocumentWrite(coded), coded);
    std::vector<TBookListData> shelf, followed;
    db->GetShelf(shelf, kShelfOnline);
    db->GetFollowed(followed, 10);
    std::vector<TReadHistoryListData> history;
    db->GetReadHistory(history);
    ASSERT_EQ(shelf.size(), 2u);
    ASSERT_EQ(followed.size(), 2u);
    ASSERT_EQ(history.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        const bool marked = shelf[i].SiteID == kDocumentWriteSiteID;
        EXPECT_EQ(shelf[i].LastArticleInfo, marked ? DecodeDocumentWrite(coded) : coded);
        EXPECT_EQ(followed[i].LastArticleInfo, shelf[i].SiteID == followed[i].SiteID
                                                   ? shelf[i].LastArticleInfo
                                                   : followed[i].LastArticleInfo);
        const bool markedHistory = history[i].SiteID == kDocumentWriteSiteID;
        EXPECT_EQ(history[i].LastArticleInfo, markedHistory ? DecodeDocumentWrite(coded) : coded);
    }
}

TEST_F(StoryDBTest, NewDatabaseHasTheDefaultShelfFolder) {
    std::vector<TBookClassData> list(2);
    db->GetBookClasses(list);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], (TBookClassData{G("默认分类"), 1}));
}

// ---- Reading history and position ------------------------------------------------

TEST_F(StoryDBTest, ReadPositionKeepsOneRowAndTouchChangesOnlyTheTime) {
    TReadHistoryData position;
    position.ReadChapter = "stale";
    EXPECT_FALSE(db->GetReadPosition("s1", "a", position));
    EXPECT_EQ(position, TReadHistoryData{});

    ASSERT_TRUE(db->SaveReadPosition("s1", "a", "2024-01-01 00:00:00", "c1", 10, 20));
    ASSERT_TRUE(db->SaveReadPosition("s1", "a", "2024-01-02 00:00:00", "c2", 30, 40));
    EXPECT_EQ(Count("LastReadHistory"), "1");
    ASSERT_TRUE(db->GetReadPosition("s1", "a", position));
    TReadHistoryData expected;
    expected.StoryID = "a";
    expected.SiteID = "s1";
    expected.ReadTime = "2024-01-02 00:00:00";
    expected.ReadChapter = "c2";
    expected.HScrollBarPos = 30;
    expected.VScrollBarPos = 40;
    EXPECT_EQ(position, expected);

    ASSERT_TRUE(db->TouchReadTime("s1", "a"));
    ASSERT_TRUE(db->GetReadPosition("s1", "a", position));
    EXPECT_NE(position.ReadTime, expected.ReadTime);
    expected.ReadTime = position.ReadTime;
    EXPECT_EQ(position, expected);

    ASSERT_TRUE(db->TouchReadTime("s1", "fresh"));
    ASSERT_TRUE(db->GetReadPosition("s1", "fresh", position));
    EXPECT_EQ(position.ReadChapter, "");
    EXPECT_EQ(position.VScrollBarPos, 0);
    EXPECT_EQ(Count("LastReadHistory"), "2");

    ASSERT_TRUE(db->DeleteReadHistory("s1", "a"));
    EXPECT_FALSE(db->GetReadPosition("s1", "a", position));
}

TEST_F(StoryDBTest, ReadChapterComesBackByteForByte) {
    db->AddArticle("s1", "a", "t", "", "", "", "", -1, "");
    const AnsiString ids[] = {
        "0123", "1e3", "12345678901234567890", "007.50", " 12", "-0", "abc", G("第一章"),
        "0x1F", ""};
    for (const AnsiString& id : ids) {
        SCOPED_TRACE(id);
        ASSERT_TRUE(db->SaveReadPosition("s1", "a", "2024-01-01 00:00:00", id, 1, 2));
        TReadHistoryData position;
        ASSERT_TRUE(db->GetReadPosition("s1", "a", position));
        EXPECT_EQ(position.ReadChapter, id);
        std::vector<TReadHistoryListData> history;
        db->GetReadHistory(history);
        ASSERT_EQ(history.size(), 1u);
        EXPECT_EQ(history[0].ReadChapter, id);
    }
    // Rows written as integers (by earlier versions) still read.
    Exec(*raw, "update LastReadHistory set ReadChapter=4567");
    TReadHistoryData position;
    ASSERT_TRUE(db->GetReadPosition("s1", "a", position));
    EXPECT_EQ(position.ReadChapter, "4567");
}

TEST_F(StoryDBTest, ReadHistoryListsKnownStoriesNewestFirst) {
    AddShelved(*db, *raw, "s1", "old", "ArticleAuthor='au', ArticleClassID=2");
    AddShelved(*db, *raw, "s1", "new", "ArticleState='1'");
    db->SaveReadPosition("s1", "old", "2024-01-01 00:00:00", "c1", 0, 0);
    db->SaveReadPosition("s1", "new", "2024-02-01 00:00:00", "c2", 0, 0);
    db->SaveReadPosition("s1", "noarticle", "2025-01-01 00:00:00", "c3", 0, 0);
    db->AddArticle("gone", "nosite", "t", "", "", "", "", -1, "");
    db->SaveReadPosition("gone", "nosite", "2025-01-01 00:00:00", "c4", 0, 0);

    std::vector<TReadHistoryListData> list(4);
    db->GetReadHistory(list);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].StoryID, "new");
    EXPECT_EQ(list[0].ArticleState, "1");
    EXPECT_EQ(list[0].ArticleClassID, -1);
    EXPECT_EQ(list[1].StoryID, "old");
    EXPECT_EQ(list[1].SiteName, G("站一"));
    EXPECT_EQ(list[1].ArticleTitle, "title old");
    EXPECT_EQ(list[1].ArticleAuthor, "au");
    EXPECT_EQ(list[1].ReadTime, "2024-01-01 00:00:00");
    EXPECT_EQ(list[1].ArticleClassID, 2);
    EXPECT_EQ(list[1].ReadChapter, "c1");
    EXPECT_EQ(list[1].FolderName.size(), 30u);
    EXPECT_FALSE(list[1].Flag);
}

// ---- Parameters ----------------------------------------------------------------

TEST_F(StoryDBTest, ParametersReplaceAndMissingOnesKeepTheDefault) {
    AnsiString value = "default";
    EXPECT_FALSE(db->GetParam("Missing", value));
    EXPECT_EQ(value, "default");

    ASSERT_TRUE(db->SetExportFolder(G("/home/用户/书")));
    ASSERT_TRUE(db->SetExportFolder("/tmp"));
    EXPECT_EQ(Count("HTMLParam", "ParamName='ExportFolder'"), "1");
    ASSERT_TRUE(db->GetExportFolder(value));
    EXPECT_EQ(value, "/tmp");

    ASSERT_TRUE(db->SetFontName(G("宋体")));
    ASSERT_TRUE(db->GetFontName(value));
    EXPECT_EQ(value, G("宋体"));

    AnsiString version;
    ASSERT_TRUE(db->GetVersion(version));
    EXPECT_FALSE(version.empty());
}

TEST_F(StoryDBTest, ProcessWideObjectIsInstalledAndFreed) {
    EXPECT_EQ(StoryDB(), nullptr);
    SetStoryDB(std::make_unique<TStoryDB>(path));
    ASSERT_NE(StoryDB(), nullptr);
    EXPECT_TRUE(StoryDB()->SiteExists("s1"));
    FreeStoryDB();
    EXPECT_EQ(StoryDB(), nullptr);

    // The default object opens the database of the application folder.
    ASSERT_TRUE(CreateStoryDB());
    EXPECT_TRUE(StoryDB()->SiteExists("s1"));
    FreeStoryDB();

    EXPECT_THROW(TStoryDB(tree.Path("missing-folder/idata.dll")), std::runtime_error);
}

}  // namespace
