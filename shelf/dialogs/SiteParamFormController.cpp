#include "shelf/dialogs/SiteParamFormController.h"

const std::vector<TSiteParamFormController::Field>& TSiteParamFormController::Fields() {
    using S = TSiteItemData;
    static const std::vector<Field> fields = {
        {"SiteIDEdit", "站点编号：", &S::SiteID, false, 0},
        {"SiteNameEdit", "站点名称：", &S::SiteName, false, 0},
        {"SiteSearchURLEdit", "搜索网址：", &S::SiteSearchURL, false, 0},
        {"SearchTypeStoryValueEdit", "搜索类型（小说）：", &S::SearchTypeStoryValue, false, 0},
        {"SearchTypeAuthorValueEdit", "搜索类型（作者）：", &S::SearchTypeAuthorValue, false, 0},
        {"ArticleItemSectionEdit", "搜索结果中的项目：", &S::ArticleItemSection, false, 0},
        {"ArticleNameEdit", "书本名称：", &S::ArticleName, false, 0},
        {"ArticleIDMemo", "书本网址对应的ID：", &S::ArticleID, true, 0},
        {"AuthorNameEdit", "作者名称：", &S::AuthorName, false, 0},
        {"LastArticleInfoEdit", "最新的章节信息：", &S::LastArticleInfo, false, 0},
        {"SiteURLEdit", "文章主页网址：", &S::SiteURL, false, 1},
        {"CodePageEdit", "网站编码方式：", &S::CodePage, false, 1},
        {"ArticleURLEdit", "文章信息页面地址：", &S::ArticleURL, false, 2},
        {"ArticleTitleMemo", "文章标题：", &S::ArticleTitle, true, 2},
        {"ArticleAuthorMemo", "文章作者：", &S::ArticleAuthor, true, 2},
        {"ArticleClassMemo", "文章分类：", &S::ArticleClass, true, 2},
        {"ArticleClassLibMemo", "文章分类对应关系：", &S::ArticleClassLib, true, 2},
        {"ArticleIntroMemo", "文章简介：", &S::ArticleIntro, true, 2},
        {"ArticlePicMemo", "文章封面：", &S::ArticlePic, true, 2},
        {"ArticleLastinfo2Memo", "文章最新信息：", &S::ArticleLastInfo2, true, 2},
        {"ArticleStateMemo", "文章状态：", &S::ArticleState, true, 2},
        {"ArticleVolumnURLFromHomeMemo", "文章目录URL（首页）：", &S::ArticleVolumnURLFromHome,
         true, 2},
        {"ArticleVolumnURLEdit", "文章目录：", &S::ArticleVolumnURL, false, 3},
        {"ArticleChapterNameIDMemo", "文章章节名称 和 ID：", &S::ArticleChapterNameID, true, 3},
        {"ArticleSubVolumnsNameMemo", "文章分卷名称：", &S::ArticleSubVolumnsName, true, 3},
        {"ArticleChapterIDMemo", "章节序号(ID)：", &S::ArticleChapterID, true, 3},
        {"ArticleChapterNameMemo", "文章章节名称：", &S::ArticleChapterName, true, 3},
        {"ArticleChapterURLEdit", "文章章节网址：", &S::ArticleChapterURL, false, 4},
        {"ArticleChapterContentMemo", "文章章节内容：", &S::ArticleChapterContent, true, 4},
        {"ArticleChapterContentFilterMemo", "文章章节内容过滤器：", &S::ArticleChapterContentFilter,
         true, 4},
    };
    return fields;
}

TSiteParamFormController::TSiteParamFormController() {
    if (TStoryDB* db = StoryDB()) db->GetSearchSites(sites_);
    if (!sites_.empty()) Select(sites_.front().SiteName);
}

std::vector<AnsiString> TSiteParamFormController::SiteNames() const {
    std::vector<AnsiString> names;
    for (const TSearchSiteData& site : sites_) names.push_back(site.SiteName);
    return names;
}

bool TSiteParamFormController::Select(const AnsiString& siteName) {
    SiteIDEditable = false;
    const TSearchSiteData* found = nullptr;
    for (const TSearchSiteData& site : sites_)
        if (site.SiteName == siteName) found = &site;
    TStoryDB* db = StoryDB();
    TSiteItemData record;
    if (!found || !db || !db->GetSite(found->SiteID, record)) return false;
    Record = record;
    loadedKeywords_ = record.ArticleKeywords;
    return true;
}

void TSiteParamFormController::New() {
    SiteIDEditable = true;
    Record = TSiteItemData();
    loadedKeywords_.clear();
}

bool TSiteParamFormController::Save() {
    const size_t first = Record.SiteID.find_first_not_of(" \t\r\n");
    if (first == AnsiString::npos) {
        if (MessageBox)
            MessageBox(A("站点编号不能为空，请填写后再保存。"), AnsiString(kAppCaption),
                       platform::ui::MessageButtons::Ok, platform::ui::MessageIcon::Warning,
                       platform::ui::IdOk);
        return false;
    }
    TStoryDB* db = StoryDB();
    if (!db) return false;
    // The keywords have no control: a stored site keeps its own, a new one
    // takes those of the site it was made from.
    TSiteItemData stored;
    Record.ArticleKeywords =
        db->GetSite(Record.SiteID, stored) ? stored.ArticleKeywords : loadedKeywords_;
    SiteIDEditable = false;
    return db->SaveSite(Record.SiteID, Record);
}
