#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/DBCreater.h"
#include "core/StoryDB.h"
#include "platform/Charset.h"
#include "tests/support/FakeHttpServer.h"

// A fake novel site served by a FakeHttpServer under a path prefix: a search
// page (no hit, a list of hits, or a single hit redirected to the story page),
// story pages, chapter lists with volumes, chapter pages with advert lines that
// the site's filter removes, pictures and covers. Pages are written in GBK or
// in UTF-8, like the two kinds of site the program meets. Several sites can
// share one server (each has its own prefix).
//
// The site also gives the rules that read it: a complete Site row (GBK texts,
// the 31 columns in table order), so that a test can store it in a database and
// the program finds this site exactly as it would find a real one.
//
// Content texts are given in UTF-8 (this source's encoding); the site converts
// them when it writes a page.

namespace testing_support {

struct FakeChapter {
    std::string id;                     // the ChapterID: "1", "2", ...
    std::string name;                   // UTF-8
    std::string text;                   // UTF-8; paragraphs separated by "\n"
    std::vector<std::string> pictures;  // file names under the story's picture folder
};

struct FakeVolume {
    std::string name;  // UTF-8; empty for a site without volume headings
    std::vector<FakeChapter> chapters;
};

struct FakeStory {
    std::string id;      // the ArticleID: digits
    std::string folder;  // the folder id the site puts in its list and chapter URLs
    std::string title, author, intro, category, state;  // UTF-8
    std::vector<FakeVolume> volumes;
    bool cover = true;

    std::vector<const FakeChapter*> Chapters() const;
    const FakeChapter* LastChapter() const;
    const FakeChapter* FindChapter(std::string_view id) const;
};

// One row of table Site, the columns in table order, GBK texts.
struct FakeSiteRow {
    AnsiString SiteID, SiteName, SiteURL, SiteSearchURL, SearchTypeStoryValue,
        SearchTypeAuthorValue, ArticleItemSection, ArticleName, ArticleID, AuthorName,
        LastArticleInfo, CodePage, ArticleURL, ArticleTitle, ArticleAuthor, ArticleClass,
        ArticleClassLib, ArticleKeywords, ArticleIntro, ArticlePic, ArticleState, ArticleLastInfo2,
        ArticleVolumnURLFromHome, ArticleVolumnURL, ArticleSubVolumnsName, ArticleChapterNameID,
        ArticleChapterName, ArticleChapterID, ArticleChapterURL, ArticleChapterContent,
        ArticleChapterContentFilter;

    // (column name, value) in table order, for writing the row with SQL.
    std::vector<std::pair<std::string_view, const AnsiString*>> Columns() const;

    // The same row as the database's record types carry it.
    TSiteData ToSiteData() const;
    TSiteItemData ToSiteItemData() const;
    TSearchSiteData ToSearchSiteData() const;
};

enum class SiteCharset { Gbk, Utf8 };

struct FakeSiteOptions {
    std::string siteID = "gbk";
    std::string siteName = "测试书站";  // UTF-8
    SiteCharset charset = SiteCharset::Gbk;
    std::string prefix;            // path prefix; empty: "/" + siteID
    bool listOnStoryPage = false;  // the chapter list stands on the story page itself
    bool volumeHeadings = true;    // chapter lists carry volume headings
    BodyEncoding encoding = BodyEncoding::Identity;  // for every page of the site
    BodyFraming framing = BodyFraming::ContentLength;
};

// The options of a site by its id and charset, and the name it shows
// (UTF-8; empty: the default name).
inline FakeSiteOptions SiteOptions(std::string siteID, SiteCharset charset,
                                   std::string siteName = {}) {
    FakeSiteOptions options;
    options.siteID = std::move(siteID);
    options.charset = charset;
    if (!siteName.empty()) options.siteName = std::move(siteName);
    return options;
}

class FakeNovelSite {
  public:
    // Registers the site's routes on the server.
    FakeNovelSite(FakeHttpServer& server, FakeSiteOptions options);

    // Adds a story with generated chapters spread over the volumes (at least one);
    // every picturesEvery-th chapter carries two pictures (0: none).
    // Returns a copy of the stored story.
    FakeStory AddStory(std::string title, std::string author, int chapters, int volumes = 1,
                       int picturesEvery = 0);
    void AddStory(FakeStory story);
    std::vector<FakeStory> Stories() const;
    // Replaces the stored story of the same id (to add chapters, for example).
    void UpdateStory(const FakeStory& story);

    const FakeSiteOptions& Options() const;
    const std::string& Prefix() const;

    // Paths on the server (for faults and the request log) and whole URLs.
    std::string SearchPath() const;
    std::string StoryPath(std::string_view id) const;
    std::string ChapterListPath(std::string_view id) const;
    std::string ChapterPath(std::string_view id, std::string_view chapterID) const;
    std::string CoverPath(std::string_view id) const;
    std::string PicturePath(std::string_view id, std::string_view picture) const;
    std::string StoryURL(std::string_view id) const;
    std::string ChapterListURL(std::string_view id) const;
    std::string ChapterURL(std::string_view id, std::string_view chapterID) const;
    std::string CoverURL(std::string_view id) const;
    std::string PictureURL(std::string_view id, std::string_view picture) const;

    // The rules that read this site.
    FakeSiteRow Row() const;

    // The pages, in the site's charset.
    std::string SearchResultPage(const std::vector<FakeStory>& hits) const;
    std::string NoResultPage() const;
    std::string StoryPage(const FakeStory& story) const;
    std::string ChapterListPage(const FakeStory& story) const;
    std::string ChapterPage(const FakeStory& story, const FakeChapter& chapter) const;
    // The chapter text as the site's content rule and filter leave it (UTF-8).
    std::string ExpectedChapterContent(const FakeStory& story, const FakeChapter& chapter) const;

    // Bytes of the picture and cover files (small valid PNG images).
    static std::string PictureBytes(std::string_view name);

    // The keywords the search page received, decoded from the site's charset (UTF-8).
    std::vector<std::string> SearchKeys() const;

    // An advert line that every chapter page carries and the filter removes.
    static constexpr std::string_view kAdvertLine = "本站推荐：最好看的小说尽在本站";

  private:
    struct Data;
    std::shared_ptr<Data> data_;  // shared with the server's routes, which may outlive this object
};

// HTML escaping of a text for a page (&, <, >, ").
std::string HtmlEscape(std::string_view text);

}  // namespace testing_support
