#pragma once

#include <string>
#include <string_view>

#include "platform/Charset.h"

class TStoryDB;

// The page the list browser shows when a story's chapter list could not be
// read: the "ListError" template filled with the story's site, title, author
// and keys. Its buttons call the page bridge with those keys, so the values
// are escaped (a site's title can hold anything) and the page is written whole
// or not at all: a stale page would act on the story before.
struct TListErrorFields {
    AnsiString SiteName;
    AnsiString StoryName;
    AnsiString StoryAuthor;
    AnsiString SiteID;
    AnsiString StoryID;
};

// The fields of a story from the database (texts it lacks stay empty).
TListErrorFields ListErrorFields(TStoryDB* db, const AnsiString& siteID, const AnsiString& storyID);

// The page, UTF-8, from the UTF-8 template.
std::string FillListErrorPage(std::string_view templateUtf8, const TListErrorFields& fields);

// Writes the page to path through a scratch file renamed over it; false (and
// the file at path untouched) when it cannot be written whole.
bool WriteListErrorPage(const std::string& path, std::string_view page);

// Where the page lives: <data folder>/Cache/ListError.html.
std::string ListErrorPagePath();
