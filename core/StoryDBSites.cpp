// TStoryDB's members for table Site: the rules, the search columns and the
// editor's rows of a site.

#include "core/StoryDBImpl.h"

#include <array>
#include <utility>

namespace {

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

}  // namespace

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
