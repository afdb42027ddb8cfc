#include "core/DBCreater.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>
#include <utility>

#include "core/Folders.h"
#include "core/SqliteDB.h"

namespace {

using SiteField = std::pair<const char*, AnsiString TSiteData::*>;

// The Site columns in table order with the record field of the same name.
constexpr std::array<SiteField, 31> kSiteFields = {{
    {"SiteID", &TSiteData::SiteID},
    {"SiteName", &TSiteData::SiteName},
    {"SiteURL", &TSiteData::SiteURL},
    {"SiteSearchURL", &TSiteData::SiteSearchURL},
    {"SearchTypeStoryValue", &TSiteData::SearchTypeStoryValue},
    {"SearchTypeAuthorValue", &TSiteData::SearchTypeAuthorValue},
    {"ArticleItemSection", &TSiteData::ArticleItemSection},
    {"ArticleName", &TSiteData::ArticleName},
    {"ArticleID", &TSiteData::ArticleID},
    {"AuthorName", &TSiteData::AuthorName},
    {"LastArticleInfo", &TSiteData::LastArticleInfo},
    {"CodePage", &TSiteData::CodePage},
    {"ArticleURL", &TSiteData::ArticleURL},
    {"ArticleTitle", &TSiteData::ArticleTitle},
    {"ArticleAuthor", &TSiteData::ArticleAuthor},
    {"ArticleClass", &TSiteData::ArticleClass},
    {"ArticleClassLib", &TSiteData::ArticleClassLib},
    {"ArticleKeywords", &TSiteData::ArticleKeywords},
    {"ArticleIntro", &TSiteData::ArticleIntro},
    {"ArticlePic", &TSiteData::ArticlePic},
    {"ArticleState", &TSiteData::ArticleState},
    {"ArticleLastInfo2", &TSiteData::ArticleLastInfo2},
    {"ArticleVolumnURLFromHome", &TSiteData::ArticleVolumnURLFromHome},
    {"ArticleVolumnURL", &TSiteData::ArticleVolumnURL},
    {"ArticleSubVolumnsName", &TSiteData::ArticleSubVolumnsName},
    {"ArticleChapterNameID", &TSiteData::ArticleChapterNameID},
    {"ArticleChapterName", &TSiteData::ArticleChapterName},
    {"ArticleChapterID", &TSiteData::ArticleChapterID},
    {"ArticleChapterURL", &TSiteData::ArticleChapterURL},
    {"ArticleChapterContent", &TSiteData::ArticleChapterContent},
    {"ArticleChapterContentFilter", &TSiteData::ArticleChapterContentFilter},
}};

constexpr std::string_view kReplaceSite =
    "Replace Into Site ( SiteID , SiteName , SiteURL , SiteSearchURL , SearchTypeStoryValue , "
    "SearchTypeAuthorValue , ArticleItemSection , ArticleName , ArticleID , AuthorName , "
    "LastArticleInfo , CodePage , ArticleURL , ArticleTitle , ArticleAuthor , ArticleClass , "
    "ArticleClassLib , ArticleKeywords , ArticleIntro , ArticlePic , ArticleState , "
    "ArticleLastInfo2 , ArticleVolumnURLFromHome , ArticleVolumnURL , ArticleSubVolumnsName , "
    "ArticleChapterNameID , ArticleChapterName , ArticleChapterID , ArticleChapterURL , "
    "ArticleChapterContent , ArticleChapterContentFilter ) "
    "Values(:SiteID,:SiteName,:SiteURL,:SiteSearchURL,:SearchTypeStoryValue,:"
    "SearchTypeAuthorValue,:ArticleItemSection,:ArticleName,:ArticleID, "
    ":AuthorName,:LastArticleInfo,:CodePage,:ArticleURL,:ArticleTitle,:ArticleAuthor,:"
    "ArticleClass,:ArticleClassLib,:ArticleKeywords,:ArticleIntro,:ArticlePic,:ArticleState,:"
    "ArticleLastInfo2,:ArticleVolumnURLFromHome,:ArticleVolumnURL,:ArticleSubVolumnsName,:"
    "ArticleChapterNameID,:ArticleChapterName,:ArticleChapterID,:ArticleChapterURL,:"
    "ArticleChapterContent,:ArticleChapterContentFilter)";

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool FileExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

// The lower-cased names of the tables the database holds; nullopt when the
// test itself fails (a locked or unreadable file), which is not the same as a
// table that is missing.
std::optional<std::vector<std::string>> TableNames(SqliteDB& db) {
    SqlRows rows;
    if (!db.Query("select name from sqlite_master where type='table'", {}, rows)) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    for (size_t r = 0; r < rows.rows.size(); ++r) names.push_back(Lower(rows.Text(r, "name")));
    return names;
}

}  // namespace

bool TDBCreater::CheckDatabase(const std::string& path) {
    return CheckDatabase(path, ProgramFolder() + std::string(kDatabaseFileName));
}

bool TDBCreater::CheckDatabase(const std::string& path, const std::string& shippedPath) {
    if (!FileExists(path)) {
        if (!FileExists(shippedPath)) return false;
        std::error_code error;
        // Never over a file that appeared in the meantime.
        return std::filesystem::copy_file(shippedPath, path, std::filesystem::copy_options::none,
                                          error);
    }

    bool siteCreated = false;
    {
        // Opening the file lets SQLite roll back a hot journal left beside it.
        const auto db = SqliteDB::Open(path, SqliteDB::Mode::ReadWrite, busyTimeoutMs_);
        if (!db) return false;
        const auto present = TableNames(*db);
        // A failed test ends the check with nothing changed: treating it as a
        // missing Site table would start an import over the user's own rows.
        if (!present) return false;
        for (size_t i = 0; i < kStoryTableNames.size(); ++i) {
            const std::string name = Lower(kStoryTableNames[i]);
            if (std::find(present->begin(), present->end(), name) != present->end()) continue;
            if (!db->Execute(kCreateTableStatements[i])) continue;
            if (kStoryTableNames[i] == "BooKClass") {
                db->Execute("Insert Into BooKClass(id,name) values(null,:name)",
                            {{":name", std::string(kDefaultBookClassName)}});
            }
            if (kStoryTableNames[i] == "Site") siteCreated = true;
        }
    }
    if (siteCreated && FileExists(shippedPath)) return ImportSites(shippedPath, path);
    return true;
}

bool TDBCreater::ImportSites(const std::string& sourcePath, const std::string& destPath) {
    std::vector<TSiteData> list;
    if (!ReadSites(sourcePath, list)) return false;
    return WriteSites(destPath, list);
}

bool TDBCreater::ReadSites(const std::string& path, std::vector<TSiteData>& list) {
    const auto db = SqliteDB::Open(path, SqliteDB::Mode::ReadOnly, busyTimeoutMs_);
    if (!db) return false;
    SqlRows rows;
    if (!db->Query("select * from Site", {}, rows)) return false;
    for (size_t r = 0; r < rows.rows.size(); ++r) {
        TSiteData& site = list.emplace_back();
        for (const auto& [column, field] : kSiteFields) {
            site.*field = platform::Utf8ToAnsi(rows.Text(r, column));
        }
    }
    return true;
}

bool TDBCreater::WriteSites(const std::string& path, const std::vector<TSiteData>& list) {
    // Closing the connection without the commit discards every row written so
    // far, so the import is all or nothing.
    const auto db = SqliteDB::Open(path, SqliteDB::Mode::ReadWrite, busyTimeoutMs_);
    if (!db || !db->Execute("BEGIN TRANSACTION SiteData")) return false;
    for (const TSiteData& site : list) {
        std::vector<SqlParam> params;
        params.reserve(kSiteFields.size());
        for (const auto& [column, field] : kSiteFields) {
            params.push_back({std::string(":") + column, platform::AnsiToUtf8(site.*field)});
        }
        if (!db->Execute(kReplaceSite, params)) return false;
    }
    return db->Execute("COMMIT TRANSACTION SiteData");
}

void CheckStoryDatabase() {
    try {
        // A left-over idata.dll-journal is deliberately not touched here.
        TDBCreater creater;
        creater.CheckDatabase(AppFolder() + std::string(kDatabaseFileName));
    } catch (...) {
        // Start-up goes on with the database as it is.
    }
}
