#pragma once

#include <string>
#include <string_view>

#include "platform/Charset.h"

// The pages of the reading program, made without a window: a chapter cache
// file filled into the "Content" template, a local text file made into the
// same page, and the page shown when a chapter cannot be had. Texts are ANSI
// (the pages declare GB18030) unless a name says UTF-8.

// Group 1 of "(?i)<name>=<\[(.*?)\]>" in the text; empty when it is missing.
AnsiString GetTemplateValue(std::string_view text, std::string_view name);

// The host of the vendor's web site (from the service address); empty when
// none is configured.
std::string VendorDomain();
// The page without the empty script elements that load from the vendor's
// site (shown offline, they would only wait for the network).
AnsiString RemoveVendorScripts(std::string_view page, std::string_view domain);

// A chapter page: the markers ChapterName, Author and UpdateTime of the cache
// file's text, its comments removed, filled into the template in one pass, so
// that no value is ever filled again.
AnsiString RenderChapterPage(std::string_view contentTemplate, std::string_view fileText,
                             bool offline);

// The bytes of a local text file as page text: UTF-8 files (with or without
// a byte-order mark) are converted, everything else is taken as ANSI; the
// text is HTML-escaped, and CR LF, LF and CR each become "<br>".
AnsiString LocalTextToHtml(std::string_view bytes);
// The page of a local text file: the template filled with the converted text,
// the escaped file name (UTF-8, no folder) as its title and "本地导入" as its
// author, without the chapter buttons and the link back to the contents.
AnsiString RenderLocalPage(std::string_view contentTemplate, std::string_view bytes,
                           std::string_view fileNameUtf8, const std::string& dateTime,
                           bool offline);

// True when the page (a file path or URL) is the loading page: its file name
// is "Loading.html" in any case. The folders around it do not count.
bool IsLoadingPage(std::string_view page);

// The link on the error page that asks the reader to try again.
inline constexpr std::string_view kRetryURL = "quira-reader:retry";
// A page saying that a chapter could not be shown, as a data: URL (UTF-8).
// With retry, it carries a link to kRetryURL; without, it asks for the
// refresh button.
std::string ErrorPageURL(const AnsiString& title, const AnsiString& message, bool retry);

// The error-report address: the vendor's "/help/cuowu.php?url=" with the
// chapter URL percent-encoded; empty without a service address.
std::string ErrorReportURL(std::string_view chapterURL);
