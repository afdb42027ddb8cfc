#pragma once

#include <memory>
#include <string_view>

#include "controls/GPImage.h"
#include "platform/Charset.h"

// The artwork loader of both programs and the small helpers beside it.

// Whose artwork LoadResourceImage serves. Each program carries its own
// images, as it would in its own program file: the main program its controls,
// the reader its own variants and the shared controls it builds (the status
// label); a name the running program does not carry loads nothing. The main
// program's unless the program chooses otherwise at start, before its first
// control is made.
enum class TProgramArtwork { Main, Reader };
// Returns the previous choice.
TProgramArtwork SetProgramArtwork(TProgramArtwork program);
TProgramArtwork ProgramArtwork();

// The image of that name from the running program's artwork, or nothing.
// Names match whatever their letter case. Owned by the caller.
std::unique_ptr<TGPImage> LoadResourceImage(std::string_view name);
// The same from the named program's artwork, whichever program runs (for
// tools that show the controls of both).
std::unique_ptr<TGPImage> LoadProgramImage(TProgramArtwork program, std::string_view name);

// The whole first match of a date-like run (three groups of digits, with
// optional "/", "\" and "-" between them) in the text, or empty.
void ExtractDateText(const AnsiString& text, AnsiString& result);
AnsiString ExtractDateText(const AnsiString& text);

// True for an http or https address with a host, and nothing a shell or a
// browser could take for anything else (no blanks or control characters).
// Link targets come from downloaded files; only these may be opened.
bool IsWebURL(std::string_view url);
