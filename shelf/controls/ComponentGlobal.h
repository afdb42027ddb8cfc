#pragma once

#include <gio/gio.h>

#include <memory>
#include <string_view>

#include "platform/Charset.h"
#include "shelf/controls/GPImage.h"

// The artwork loader of both programs and the small helpers beside it.

// The image of that name from the program's own artwork, or nothing. Names
// match whatever their letter case. Owned by the caller.
std::unique_ptr<TGPImage> LoadResourceImage(std::string_view name);

// The same lookup in a compiled artwork bundle: the images stored under
// /quira/artwork/<folder>/ (the reader keeps its own).
std::unique_ptr<TGPImage> LoadBundleImage(GResource* bundle, std::string_view folder,
                                          std::string_view name);

// The whole first match of a date-like run (three groups of digits, with
// optional "/", "\" and "-" between them) in the text, or empty.
void ExtractDateText(const AnsiString& text, AnsiString& result);
AnsiString ExtractDateText(const AnsiString& text);

// True for an http or https address with a host, and nothing a shell or a
// browser could take for anything else (no blanks or control characters).
// Link targets come from downloaded files; only these may be opened.
bool IsWebURL(std::string_view url);
