#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Charset.h"

// Free text, URL and regular-expression helpers shared by both programs.
// Texts are ANSI (GB18030/GBK) byte strings; patterns match over their bytes
// with the semantics of core/Regex.h. They keep no state and any thread may
// call them. The regular-expression helpers throw RegexError for a pattern
// that does not compile; the others cannot fail.

// The most passes a repeating replace-all makes. A pass that changes nothing,
// or leaves the text longer than it was at the start while the pattern still
// matches, ends the repetition earlier: such a replacement would re-create its
// own match for ever.
inline constexpr int kMaxReplacePasses = 32;

// The lines of a text: CR LF, LF and CR each end a line; a break at the very
// end opens no further line.
std::vector<std::string_view> SplitLines(std::string_view text);

// Regular expressions.
AnsiString RegexMatch(std::string_view text, std::string_view pattern);
AnsiString RegexMatchAny(std::string_view text, std::string_view rule);
AnsiString RegexReplaceAll(std::string_view pattern, std::string_view text,
                           std::string_view replacement);
bool ContainsImage(std::string_view text);
AnsiString ReplaceTemplateTag(std::string_view text, std::string_view name, std::string_view value);
AnsiString GetHTMLAttribute(std::string_view name, std::string_view tag);

// The kinds of value TagAttribute reads.
enum class TTagValue {
    Text,        // anything up to the quote that ends it
    Identifier,  // one or more ASCII letters, digits, '-', '{' and '}'
};
// The value of a double-quoted attribute (name compared without letter case)
// of the first tag that has one, exactly as the pattern
// (?i)<[^<>]*NAME\s*=\s*"(.*?)"[^<>]*> finds it (Identifier: with
// ([a-z\d\-\{\}]+) for (.*?)); empty when none has. One pass over the text:
// the pattern costs the square of a tag's length and more (a line of a
// thousand quotes is a million steps).
AnsiString TagAttribute(std::string_view text, std::string_view name,
                        TTagValue kind = TTagValue::Text);

// HTML clean-up.
AnsiString StripTags(std::string_view text);
AnsiString DecodeEntities(std::string_view text);
// Every character reference of HTML as its character, for text made plain:
// the names of HTML's whole table (those of DecodeEntities in any letter
// case, with their meaning there), and decimal and hexadecimal references of
// any length. One pass from the left, so an escaped reference ("&amp;lt;")
// stays what it shows ("&lt;"); a reference that names no character stays.
AnsiString DecodeHtmlEntities(std::string_view text);
AnsiString RemoveLineBreaks(std::string_view text);
AnsiString TrimAndIndent(std::string_view text);
AnsiString ReplaceNulWithLF(std::string_view text);
AnsiString DecodeDocumentWrite(std::string_view text);
AnsiString UnescapeUnicode(std::string_view text);

// Charset, hashing, dates.
AnsiString DecodeCharset(std::string_view text, std::string_view charset);
std::string SaltedMD5(std::string_view text);
std::string StreamMD5(std::string_view bytes);
std::string FileMD5(const std::string& fileName);
std::string DateTimeText(std::time_t time);

// URLs and file names.
std::string URLEncode(std::string_view bytes);
std::string CombineURL(std::string_view base, std::string_view relative);
std::string AbsoluteURL(std::string_view base, std::string_view link);
AnsiString SafeFileName(std::string_view name);

// The reading program's additions.
uint32_t GetFileSizeBytes(const std::string& fileName);
AnsiString PCREReplaceAll(std::string_view pattern, std::string_view text,
                          std::string_view replacement);
bool IsPublishedPage(const std::string& fileName);
