#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/StoryDB.h"
#include "platform/Charset.h"

// One chapter entry parsed from a chapter-list page; Content stays empty here.
struct TArticleVolumnChapterData {
    AnsiString VolumnName;
    AnsiString ChapterName;
    AnsiString ChapterID;
    AnsiString Content;

    bool operator==(const TArticleVolumnChapterData&) const = default;
};

// The extraction rules of one novel site and what they make of its pages:
// story fields, URLs and the chapter list. Every site differs only by the
// texts of its Site row: URL templates with the placeholders {articleid},
// {chapterid} and {folderid}, and rules, each one or more regular expressions
// (one per line, compiled with "(?i)" in front) whose group 1 gives the value.
//
// Pages are ANSI texts already decoded by the site's CodePage. A rule that
// does not compile throws RegexError to the caller; nothing else throws. One
// object serves one story at a time on one thread.
class TStory {
  public:
    // Rule fields, loaded by LoadSite.
    AnsiString SiteID;
    AnsiString SiteName;
    AnsiString SiteURL;
    AnsiString CodePage;
    AnsiString ArticleURL;
    AnsiString ArticleTitle;
    AnsiString ArticleAuthor;
    AnsiString ArticleClass;
    AnsiString ArticleClassLib;  // loaded, never used
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
    // The story: set by the caller, and by ExtractFolderID.
    AnsiString ArticleID;
    AnsiString FolderID;

    // Loads the site's rules from the process-wide database. An unknown site
    // (or no database) clears every rule field, so nothing of the previous
    // site is applied to the new one, and returns false. ArticleID and
    // FolderID are the caller's and stay.
    bool LoadSite(std::string_view siteID);
    void LoadRules(const TAnalyzeSiteData& rules);
    void ClearRules();

    // The template with every {articleid}, {chapterid} and {folderid} (any
    // letter case) filled in one pass: a value holding a placeholder is not
    // filled again. No URL encoding.
    static AnsiString FormatURL(std::string_view urlTemplate, std::string_view articleID,
                                std::string_view chapterID, std::string_view folderID);
    AnsiString GetArticleURL() const;
    AnsiString GetVolumnURL() const;
    AnsiString GetChapterURL(std::string_view chapterID) const;

    // The folder id of the story page, also kept in FolderID.
    AnsiString ExtractFolderID(std::string_view page);

    // Story-page fields.
    AnsiString ExtractTitle(std::string_view page) const;
    AnsiString ExtractAuthor(std::string_view page) const;
    AnsiString ExtractIntro(std::string_view page) const;
    AnsiString ExtractKeywords(std::string_view page) const;
    AnsiString ExtractPicURL(std::string_view page) const;
    AnsiString ExtractState(std::string_view page) const;
    AnsiString ExtractLastInfo(std::string_view page) const;
    AnsiString ExtractClass(std::string_view page) const;

    // The chapter text of a chapter page (still HTML) with every filter line
    // applied.
    AnsiString ExtractChapterContent(std::string_view page) const;

    // Appends one entry per chapter of the page to list (when given) and
    // returns in lastName the name of the last entry matched.
    void ParseChapterList(std::string_view page, std::vector<TArticleVolumnChapterData>* list,
                          AnsiString& lastName) const;
    AnsiString GetLastChapterName(std::string_view page) const;

    // The story's FolderName from the process-wide database; empty without one.
    AnsiString GetFolderName(std::string_view siteID, std::string_view articleID) const;
};
