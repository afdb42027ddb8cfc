#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/Charset.h"

// Small texts the main window builds for its shelves and navigation list.

// The first `count` characters (not bytes) of an ANSI (GB18030) text: one byte
// for ASCII, two for a double-byte character, four for a four-byte one. A
// character cut off at the end of the text is left out whole.
AnsiString FirstCharacters(std::string_view text, std::size_t count);

// The caption of a recently read story in the navigation list: its first
// eight characters.
inline AnsiString RecentNavCaption(std::string_view title) {
    return FirstCharacters(title, 8);
}

// Where a story's cover lies: <BooK folder><FolderName>/cover.jpg.
std::string CoverPath(const AnsiString& folderName);
// Where a story's chapter-list page lies: <BooK folder><FolderName>/List.HTML.
std::string ListPagePath(const AnsiString& folderName);
