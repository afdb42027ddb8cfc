#pragma once

#include <string_view>

#include "platform/Charset.h"

// Site texts end up in local pages that can reach the program through
// window.external, so every value a page template receives passes one of
// these first. All work on ANSI (GB18030) bytes: the characters they look at
// are ASCII below 0x40, which never occur inside a double-byte character.

// A plain-text value for HTML text or a double-quoted attribute: & < > " '
// become character references.
AnsiString EscapeHtml(std::string_view text);

// A value for a single- or double-quoted JavaScript string that itself sits in
// an HTML attribute or a javascript: URL: every ASCII character other than
// letters, digits, "-", "_" and "." becomes a \xHH escape (so no quote, no
// backslash, no "&", no "<" and no "%" that URL decoding could turn into a
// quote survive); whole characters outside ASCII stay, and a byte that starts
// no valid character is escaped too.
AnsiString EscapeScriptString(std::string_view text);

// True when a URL would run script: javascript:, vbscript: or a data: URL
// that is not an image, after the entity references, white space and control
// characters that browsers ignore are taken out.
bool IsScriptURL(std::string_view url);

// An HTML value (an introduction, a chapter text) made inert: script and style
// elements go with their content; comments, processing instructions and
// declarations go; frames, objects, embeds, forms and document-level tags go
// (their content stays); event-handler attributes (on...) and attributes whose
// value is a script URL go; every other tag is rebuilt from its parsed name
// and attributes, and a "<" that starts no tag becomes "&lt;". Text and
// entity references are kept as they are.
AnsiString SanitizeHtml(std::string_view html);
