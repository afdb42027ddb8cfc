#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/Story.h"
#include "platform/Charset.h"

// The cache folder of a story by its FolderName, with a trailing "/"; empty
// for a name that is not a plain folder name.
std::string StoryCacheFolder(std::string_view folderName);

// The chapter cache file of a chapter: BookFolder() + the story's FolderName +
// "/" + SaltedMD5(ChapterID) + ".txt", the FolderName from the process-wide
// database. Empty when the story has no folder name (unknown story, no
// database), so nothing is ever written straight into the book folder.
std::string ChapterCacheFile(std::string_view siteID, std::string_view articleID,
                             std::string_view chapterID);

// Writes a story's local pages from the templates "List", "List2" and
// "chapter": the chapter-list pages List.HTML and List2.HTML (UTF-8), the
// chapter cache files (GBK), cover.jpg and saved chapter pictures, all in the
// story folder BookFolder() + FolderName + "/".
//
// Site texts reach these pages, and the pages reach the program through
// window.external, so every value is made inert on the way in: plain-text
// values are HTML-escaped, HTML values (Intro, chapter Content) sanitised, the
// chapter id in "javascript:Browser('...')" escaped for a script string, and
// every template is filled in one pass so that no value is filled again.
// Save failures are swallowed. One thread at a time.
class TStoryExportHTML {
  public:
    TStoryExportHTML();

    // The story, set by the story reader before writing (ANSI texts).
    AnsiString Title;
    AnsiString Author;
    AnsiString Class;
    AnsiString Keywords;
    AnsiString Intro;
    AnsiString State;
    AnsiString LastInfo2;
    AnsiString Cover;  // the cover's location for the list pages
    AnsiString FolderName;
    AnsiString LastReadChapterID;
    // The downloaded cover picture's bytes, for SaveCover.
    std::string CoverStream;

    void SetChapters(const std::vector<TArticleVolumnChapterData>& chapters);
    void ClearChapters();
    const std::vector<TArticleVolumnChapterData>& Chapters() const { return chapters_; }

    // Writes one chapter cache file and returns its path; empty when the story
    // has no folder or the file could not be written. The page counts as
    // published when the content is not empty.
    std::string WriteChapterPage(std::string_view chapterID, std::string_view author,
                                 std::string_view title, std::string_view content);
    void WriteListPages(std::string_view siteID, std::string_view storyID);
    // Saves a chapter picture as SaltedMD5(url) in the story folder and
    // returns that name; with no bytes, or when the file cannot be written,
    // the URL unchanged.
    AnsiString SavePicture(std::string_view bytes, std::string_view url);
    // Writes cover.jpg from CoverStream when it decodes as a picture.
    bool SaveCover();

    // BookFolder() + FolderName + "/"; empty when FolderName is no plain name.
    std::string StoryFolder() const;

    // The pages as they would be written (for tests and the reader).
    AnsiString ListPage(bool second, std::string_view siteID, std::string_view storyID);

  private:
    // "List", "List2" and "chapter", then the item bodies cut out of "List";
    // a missing template leaves its text empty.
    void LoadTemplateTexts();
    AnsiString BuildItems(AnsiString& lastReadChapter, AnsiString& firstReadChapter) const;

    AnsiString listTemplate_;
    AnsiString list2Template_;
    AnsiString chapterTemplate_;
    AnsiString subVolumnsItem_;
    AnsiString chapterItem_;
    std::vector<TArticleVolumnChapterData> chapters_;
};
