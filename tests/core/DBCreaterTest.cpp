#include "core/DBCreater.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <string>

#include "core/Folders.h"
#include "tests/core/DatabaseFixtures.h"

namespace {

using dbtest::Exec;
using dbtest::One;
using dbtest::Raw;
using dbtest::Rows;
using testing_support::TempTree;

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The create statement of one table with its name spelled another way.
std::string CreateAs(size_t table, const std::string& spelling) {
    std::string sql(kCreateTableStatements[table]);
    const std::string name(kStoryTableNames[table]);
    sql.replace(sql.find(name), name.size(), spelling);
    return sql;
}

// A shipped database with two sites; the second has NULL columns.
std::string MakeShipped(TempTree& tree) {
    const std::string path = tree.Path("program/idata.dll");
    tree.Make("program");
    auto db = Raw(path);
    Exec(*db, std::string(kCreateTableStatements[0]));
    Exec(*db,
         "insert into Site(SiteID,SiteName,SiteURL,CodePage,ArticleChapterContentFilter) "
         "values('s1','站一','http://one/','gbk','filter')");
    Exec(*db, "insert into Site(SiteID,SiteName) values('s2','站二')");
    return path;
}

std::string Dump(const std::string& path) {
    auto db = Raw(path);
    std::string out;
    for (const auto& sql :
         {"select type||name||ifnull(sql,'') from sqlite_master order by name",
          "select * from Site", "select * from BooKClass", "select * from Article"}) {
        SqlRows rows;
        if (!db->Query(sql, {}, rows)) continue;
        for (const auto& row : rows.rows) {
            for (const auto& cell : row) out += (cell ? *cell : "<null>") + "|";
            out += "\n";
        }
    }
    return out;
}

struct MissingCase {
    size_t missing;  // index into kStoryTableNames
    bool upperCaseOthers;
};

class MissingTable : public testing::TestWithParam<MissingCase> {};

TEST_P(MissingTable, IsCreatedAndOnlySiteImports) {
    TempTree tree;
    const std::string shipped = MakeShipped(tree);
    const std::string path = tree.Path("idata.dll");
    {
        auto db = Raw(path);
        for (size_t i = 0; i < kStoryTableNames.size(); ++i) {
            if (i == GetParam().missing) continue;
            std::string name(kStoryTableNames[i]);
            if (GetParam().upperCaseOthers) {
                for (char& c : name) c = static_cast<char>(std::toupper(c));
            }
            Exec(*db, CreateAs(i, name));
        }
        if (GetParam().missing != 1) {
            Exec(*db, "insert into Article(SiteID,ArticleID,FolderName) values('s1','a1','F')");
        }
        if (GetParam().missing != 0) {
            Exec(*db, "insert into Site(SiteID,SiteName) values('s1','edited')");
        }
    }

    TDBCreater creater;
    EXPECT_TRUE(creater.CheckDatabase(path, shipped));

    auto db = Raw(path);
    for (const auto name : kStoryTableNames) {
        EXPECT_EQ(
            One(*db, "select count(*) from sqlite_master where type='table' and lower(name)='" +
                         Lower(std::string(name)) + "'"),
            "1")
            << name;
    }
    const std::string missing(kStoryTableNames[GetParam().missing]);
    if (missing == "BooKClass") {
        EXPECT_EQ(One(*db, "select group_concat(ID||'='||Name) from BooKClass"),
                  std::string("1=") + std::string(kDefaultBookClassName));
    } else {
        EXPECT_EQ(One(*db, "select count(*) from BooKClass"), "0");
    }
    if (missing == "Site") {
        EXPECT_EQ(One(*db, "select group_concat(SiteID||SiteName) from Site"), "s1站一,s2站二");
    } else {
        // The user's own row stays; no import ran.
        EXPECT_EQ(One(*db, "select group_concat(SiteID||SiteName) from Site"), "s1edited");
    }
    if (missing != "Article") {
        EXPECT_EQ(One(*db, "select count(*) from Article"), "1");
    }
}

INSTANTIATE_TEST_SUITE_P(EachTable, MissingTable,
                         testing::Values(MissingCase{0, false}, MissingCase{1, false},
                                         MissingCase{2, false}, MissingCase{3, true},
                                         MissingCase{4, false}, MissingCase{5, true},
                                         MissingCase{0, true}, MissingCase{2, true}),
                         [](const testing::TestParamInfo<MissingCase>& info) {
                             return std::string(kStoryTableNames[info.param.missing]) +
                                    (info.param.upperCaseOthers ? "_OthersInCapitals" : "");
                         });

TEST(CheckDatabase, AllTablesInAnyCaseAreLeftUntouched) {
    TempTree tree;
    const std::string shipped = MakeShipped(tree);
    const std::string path = tree.Path("idata.dll");
    {
        auto db = Raw(path);
        const char* spellings[] = {"site",    "ARTICLE",   "bookclass",
                                   "CHAPTER", "htmlparam", "lastreadhistory"};
        for (size_t i = 0; i < kStoryTableNames.size(); ++i) Exec(*db, CreateAs(i, spellings[i]));
        Exec(*db, "insert into Site(SiteID,SiteName) values('s1','edited')");
    }
    const std::string before = Dump(path);
    TDBCreater creater;
    EXPECT_TRUE(creater.CheckDatabase(path, shipped));
    EXPECT_EQ(Dump(path), before);
}

TEST(CheckDatabase, MissingShippedFileLeavesAnEmptySiteTableAndCreatesNoFile) {
    TempTree tree;
    const std::string path = tree.Path("idata.dll");
    const std::string shipped = tree.Path("program/idata.dll");
    Raw(path);
    TDBCreater creater;
    EXPECT_TRUE(creater.CheckDatabase(path, shipped));
    auto db = Raw(path);
    EXPECT_EQ(One(*db, "select count(*) from Site"), "0");
    EXPECT_FALSE(std::filesystem::exists(shipped));

    std::vector<TSiteData> list;
    EXPECT_FALSE(creater.ReadSites(shipped, list));
    EXPECT_TRUE(list.empty());
    EXPECT_FALSE(std::filesystem::exists(shipped));
}

TEST(CheckDatabase, MissingUserFileIsCopiedWithoutATableTest) {
    TempTree tree;
    const std::string shipped = MakeShipped(tree);
    const std::string path = tree.Path("idata.dll");
    TDBCreater creater;
    EXPECT_TRUE(creater.CheckDatabase(path, shipped));
    EXPECT_EQ(TempTree::Read(path), TempTree::Read(shipped));
}

TEST(CheckDatabase, LeftOverJournalIsNotDeleted) {
    TempTree tree;
    const std::string path = tree.Path("idata.dll");
    dbtest::MakeStoryDatabase(path);
    // An empty journal is not hot; SQLite ignores it, and the check must not
    // remove it either way.
    const std::string journal = tree.Write("idata.dll-journal", "");
    TDBCreater creater;
    EXPECT_TRUE(creater.CheckDatabase(path, tree.Path("none.dll")));
    EXPECT_TRUE(std::filesystem::exists(journal));
}

TEST(CheckDatabase, HotJournalIsRolledBackBySQLite) {
    TempTree tree;
    const std::string path = tree.Path("idata.dll");
    dbtest::MakeStoryDatabase(path);
    {
        auto db = Raw(path);
        Exec(*db, "insert into HTMLParam values('Version','7')");
    }
    // A process that dies in the middle of a write transaction leaves a hot
    // journal behind.
    {
        dbtest::LockHolder child(path, 0, dbtest::LockHolder::Mode::Die);
        EXPECT_EQ(child.Wait(), 0);
    }
    ASSERT_TRUE(std::filesystem::exists(path + "-journal"));

    TDBCreater creater;
    EXPECT_TRUE(creater.CheckDatabase(path, tree.Path("none.dll")));
    auto db = Raw(path);
    EXPECT_EQ(One(*db, "select ParamValue from HTMLParam where ParamName='Version'"), "7");
    EXPECT_EQ(One(*db, "select count(*) from Chapter"), "0");
    EXPECT_EQ(One(*db, "pragma integrity_check"), "ok");
}

TEST(CheckDatabase, FailedTableTestEndsTheCheckAndChangesNothing) {
    TempTree tree;
    const std::string shipped = MakeShipped(tree);
    const std::string path = tree.Path("idata.dll");
    {
        auto db = Raw(path);
        // Site present with a row the user edited; BooKClass missing.
        for (size_t i = 0; i < kStoryTableNames.size(); ++i) {
            if (kStoryTableNames[i] != "BooKClass") {
                Exec(*db, std::string(kCreateTableStatements[i]));
            }
        }
        Exec(*db, "insert into Site(SiteID,SiteName) values('s1','edited')");
    }
    const std::string before = Dump(path);
    {
        dbtest::LockHolder holder(path, 400, dbtest::LockHolder::Mode::Exclusive);
        ASSERT_TRUE(holder.WaitUntilLocked());
        TDBCreater creater(20);
        EXPECT_FALSE(creater.CheckDatabase(path, shipped));
        EXPECT_EQ(holder.Wait(), 0);
    }
    auto db = Raw(path);
    Exec(*db, "delete from HTMLParam where ParamName='Holder'");
    EXPECT_EQ(Dump(path), before);
}

TEST(ImportSites, NullColumnsArriveAsEmptyTexts) {
    TempTree tree;
    const std::string shipped = MakeShipped(tree);
    TDBCreater creater;
    std::vector<TSiteData> list;
    ASSERT_TRUE(creater.ReadSites(shipped, list));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].SiteName, platform::Utf8ToAnsi("站一"));
    EXPECT_EQ(list[0].CodePage, "gbk");
    EXPECT_EQ(list[0].ArticleChapterContentFilter, "filter");
    TSiteData second;
    second.SiteID = "s2";
    second.SiteName = platform::Utf8ToAnsi("站二");
    EXPECT_EQ(list[1], second);

    const std::string dest = tree.Path("idata.dll");
    dbtest::MakeStoryDatabase(dest);
    ASSERT_TRUE(creater.ImportSites(shipped, dest));
    auto db = Raw(dest);
    // Written as texts: empty, not NULL.
    EXPECT_EQ(One(*db, "select quote(CodePage)||quote(ArticleURL) from Site where SiteID='s2'"),
              "''''");
    EXPECT_EQ(One(*db, "select SiteURL from Site where SiteID='s1'"), "http://one/");
}

TEST(ImportSites, FailingRowDiscardsTheWholeImport) {
    TempTree tree;
    const std::string dest = tree.Path("idata.dll");
    {
        auto db = Raw(dest);
        // A Site table of another shape is kept as it is; here it refuses one row.
        Exec(*db,
             "create table Site(SiteID primary key, SiteName check(SiteName<>'bad'), SiteURL, "
             "SiteSearchURL, SearchTypeStoryValue, SearchTypeAuthorValue, ArticleItemSection, "
             "ArticleName, ArticleID, AuthorName, LastArticleInfo, CodePage, ArticleURL, "
             "ArticleTitle, ArticleAuthor, ArticleClass, ArticleClassLib, ArticleKeywords, "
             "ArticleIntro, ArticlePic, ArticleState, ArticleLastInfo2, ArticleVolumnURLFromHome, "
             "ArticleVolumnURL, ArticleSubVolumnsName, ArticleChapterNameID, ArticleChapterName, "
             "ArticleChapterID, ArticleChapterURL, ArticleChapterContent, "
             "ArticleChapterContentFilter)");
    }
    std::vector<TSiteData> list(3);
    list[0].SiteID = "a";
    list[0].SiteName = "good";
    list[1].SiteID = "b";
    list[1].SiteName = "bad";
    list[2].SiteID = "c";
    list[2].SiteName = "good";
    TDBCreater creater;
    EXPECT_FALSE(creater.WriteSites(dest, list));
    auto db = Raw(dest);
    EXPECT_EQ(One(*db, "select count(*) from Site"), "0");
}

TEST(ShippedDatabase, HoldsTheSixTablesTheDefaultFolderAndAVersion) {
    const std::string path = std::string(QUIRA_BIN_DIR) + "/idata.dll";
    ASSERT_TRUE(std::filesystem::exists(path));
    auto db = SqliteDB::Open(path, SqliteDB::Mode::ReadOnly, 1000);
    ASSERT_TRUE(db);
    for (size_t i = 0; i < kStoryTableNames.size(); ++i) {
        // SQLite keeps the statement from the table name on, after "CREATE TABLE ".
        std::string expected(kCreateTableStatements[i]);
        expected = "CREATE TABLE " + expected.substr(std::string("Create  TABLE ").size());
        if (expected.ends_with(';')) expected.pop_back();
        EXPECT_EQ(One(*db, "select sql from sqlite_master where type='table' and name='" +
                               std::string(kStoryTableNames[i]) + "'"),
                  expected);
    }
    EXPECT_EQ(One(*db, "select group_concat(ID||'='||Name) from BooKClass"),
              std::string("1=") + std::string(kDefaultBookClassName));
    const std::string version =
        One(*db, "select ParamValue from HTMLParam where ParamName='Version'");
    EXPECT_FALSE(version.empty());
    EXPECT_NO_THROW((void)std::stod(version));
}

}  // namespace

namespace {

TEST(CheckStoryDatabase, WorksOnTheApplicationAndProgramFolders) {
    TempTree tree;
    const std::string shipped = MakeShipped(tree);
    SetProgramFolder(tree.Path("program", true));
    SetAppFolder(tree.Make("app") + "/");
    const std::string user = tree.Path("app/idata.dll");

    CheckStoryDatabase();  // no user database yet: the shipped one is copied
    ASSERT_EQ(TempTree::Read(user), TempTree::Read(shipped));

    CheckStoryDatabase();  // the copy lacks five tables: they are created
    auto db = Raw(user);
    EXPECT_EQ(One(*db,
                  "select count(*) from sqlite_master where type='table' and name in "
                  "('Site','Article','BooKClass','Chapter','HTMLParam','LastReadHistory')"),
              "6");
    EXPECT_EQ(One(*db, "select count(*) from Site"), "2");
}

}  // namespace
