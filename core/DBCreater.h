#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Charset.h"

// Creation of the story database and the import of site rules from the database
// that ships beside the programs. Every operation opens a connection of its own
// and closes it before returning; none of them uses TStoryDB or its lock. They
// run at start-up on the user-interface thread, before any worker exists.

// The six tables of the story database, in the order they are tested and
// created, and the statements that create them.
inline constexpr std::array<std::string_view, 6> kStoryTableNames = {
    "Site", "Article", "BooKClass", "Chapter", "HTMLParam", "LastReadHistory"};

inline constexpr std::array<std::string_view, 6> kCreateTableStatements = {
    "Create  TABLE Site([SiteID] VARCHAR(50) PRIMARY KEY UNIQUE NOT NULL,[SiteName] VARCHAR(50) "
    "NOT NULL,[SiteURL] VARCHAR(400),[SiteSearchURL] VARCHAR(200),[SearchTypeStoryValue] "
    "varchar(200),[SearchTypeAuthorValue] varchar(200),[ArticleItemSection] "
    "VARCHAR(400),[ArticleName] VARCHAR(400),[ArticleID] VARCHAR(400),[AuthorName] "
    "VARCHAR(400),[LastArticleInfo] VARCHAR(400),[CodePage] VARCHAR(400),[ArticleURL] "
    "VARCHAR(400),[ArticleTitle] VARCHAR(400),[ArticleAuthor] VARCHAR(400),[ArticleClass] "
    "VARCHAR(400),[ArticleClassLib] VARCHAR(400),[ArticleKeywords] VARCHAR(400),[ArticleIntro] "
    "text,[ArticlePic] VARCHAR(400),[ArticleState] varchar(400),[ArticleLastInfo2] "
    "varchar(400),[ArticleVolumnURLFromHome] varchar(400),[ArticleVolumnURL] "
    "VARCHAR(400),[ArticleSubVolumnsName] VARCHAR(400),[ArticleChapterNameID] "
    "VARCHAR(400),[ArticleChapterName] VARCHAR(400),[ArticleChapterID] "
    "VARCHAR(400),[ArticleChapterURL] VARCHAR(400),[ArticleChapterContent] "
    "VARCHAR(400),[ArticleChapterContentFilter] VARCHAR(400));",
    "Create  TABLE Article([SiteID] varchar(50) NOT NULL ,[ArticleID] varchar(50) NOT NULL "
    ",[ArticleTitle] varchar(400),[ArticleAuthor] varchar(400),[ArticleIntro] text ,[ArticlePic] "
    "varchar(400),[LastArticleInfo] varchar(400),[ArticleClass] varchar(400),[ArticleKeywords] "
    "varchar(400),[ArticleClassID] integer,[FolderName] varchar(50),[IsConcern] "
    "integer,[ArticleState] integer,[UpdateTime] varchar(20),[HaveUpdate] "
    "Integer,[ArticleVolumnURLFromHome] varchar(400),[InLocalShelf] INTEGER DEFAULT "
    "0,[InOnlineShelf] INTEGER DEFAULT 0, Primary Key(SiteID,ArticleID));",
    "Create  TABLE BooKClass([ID] integer PRIMARY KEY AUTOINCREMENT,[Name] varchar(200) NOT "
    "NULL);",
    "Create  TABLE Chapter([ID] integer ,[SiteID] varchar(50),[ArticleID] "
    "varchar(50),[SubVolumnsName] varchar(400),[ChapterName] varchar(400),[ChapterID] "
    "varchar(400),[ChapterContent] text,[ChapterContentPic] blob, Primary "
    "Key(SiteID,ArticleID,ChapterID));",
    "Create  TABLE HTMLParam([ParamName] varchar(50),[ParamValue] varchar(50), Primary "
    "Key(ParamName));",
    "Create  TABLE LastReadHistory([id] integer PRIMARY KEY AUTOINCREMENT ,[Author] "
    "varchar(50),[StoryName] varchar(400),[StoryID] varchar(400),[LastStoryInfo] "
    "varchar(400),[SiteName] varchar(400),[SiteID] varchar(400),[ReadTime] "
    "varchar(400),[ReadChapter] integer,[HScrollBarPos] integer,[VScrollBarPos] integer );",
};

// The name of the shelf folder that a new BooKClass table starts with (ID 1),
// in UTF-8 as it is stored.
inline constexpr std::string_view kDefaultBookClassName = "默认分类";

// One Site row, its 31 texts named and ordered exactly like the Site columns.
struct TSiteData {
    AnsiString SiteID;
    AnsiString SiteName;
    AnsiString SiteURL;
    AnsiString SiteSearchURL;
    AnsiString SearchTypeStoryValue;
    AnsiString SearchTypeAuthorValue;
    AnsiString ArticleItemSection;
    AnsiString ArticleName;
    AnsiString ArticleID;
    AnsiString AuthorName;
    AnsiString LastArticleInfo;
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

    bool operator==(const TSiteData&) const = default;
};

class TDBCreater {
  public:
    // How long a connection of the check waits for the other program's lock.
    static constexpr int kDefaultBusyTimeoutMs = 5000;

    TDBCreater() = default;
    // Tests shorten the wait so that a held lock fails quickly.
    explicit TDBCreater(int busyTimeoutMs) : busyTimeoutMs_(busyTimeoutMs) {}

    // path: the user database (UTF-8). When it exists, creates the missing
    // tables and, when table Site was missing, imports the shipped sites from
    // shippedPath. When it does not exist, copies shippedPath there (never over
    // an existing file). A table test that fails ends the check before anything
    // is changed. False when the check could not run to its end.
    bool CheckDatabase(const std::string& path, const std::string& shippedPath);
    // The same with the shipped database of the program folder.
    bool CheckDatabase(const std::string& path);

    // Copies every Site row of sourcePath into destPath (rows with a SiteID that
    // exists there are replaced whole). All or nothing.
    bool ImportSites(const std::string& sourcePath, const std::string& destPath);
    // Appends one record per Site row of the database at path; NULL columns
    // arrive as empty texts. The file is opened read-only: a missing file is
    // not created.
    bool ReadSites(const std::string& path, std::vector<TSiteData>& list);
    // Writes every record into table Site at path in one transaction; the first
    // failing statement discards the whole import.
    bool WriteSites(const std::string& path, const std::vector<TSiteData>& list);

  private:
    int busyTimeoutMs_ = kDefaultBusyTimeoutMs;
};

// The start-up check of the main program on the user database of the
// application folder. Raises nothing. A left-over rollback journal beside the
// database is left alone: it may be a hot journal (or the reading program's
// live one) that SQLite needs to roll back an interrupted transaction when the
// database is next opened.
void CheckStoryDatabase();
