#pragma once

#include <string>
#include <vector>

#include "platform/Charset.h"

// Creation of the story database and the import of site rules from the database
// that ships beside the programs. Every operation opens a connection of its own
// and closes it before returning; none of them uses TStoryDB or its lock. They
// run at start-up on the user-interface thread, before any worker exists.

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
