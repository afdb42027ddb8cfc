#include "core/TextHelpers.h"

#include <glib.h>
#include <libxml/HTMLparser.h>

#include <cstring>
#include <fstream>
#include <limits>
#include <optional>

#include "core/Regex.h"
#include "platform/Crypto.h"
#include "platform/Folders.h"
#include "platform/Url.h"

namespace {

constexpr std::string_view kCaseless = "(?i)";
constexpr std::string_view kMd5Salt = "Pavoke";

std::string Caseless(std::string_view pattern) {
    std::string full(kCaseless);
    full.append(pattern);
    return full;
}

// Group 1 of the first match of the pattern as given.
AnsiString FirstGroup(std::string_view text, std::string_view pattern, size_t group) {
    RegexMatchResult match;
    if (!Regex::Get(pattern)->Search(text, match)) return {};
    return AnsiString(match.Group(text, group));
}

// Replace-all passes until nothing is left to replace. A replacement that
// re-creates its own match would loop for ever, so the repetition also ends
// when a pass leaves the text unchanged, when the text has grown past its
// starting length (each further pass would grow it again), and after a fixed
// number of passes.
AnsiString RepeatReplaceAll(const Regex& regex, std::string_view text,
                            std::string_view replacement) {
    AnsiString current(text);
    for (int pass = 0; pass < kMaxReplacePasses; ++pass) {
        bool replaced = false;
        AnsiString next = regex.ReplaceAll(current, replacement, &replaced);
        if (!replaced || next == current) break;
        current = std::move(next);
        if (current.size() > text.size()) break;
    }
    return current;
}

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string AsciiLower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = AsciiLower(c);
    return lower;
}

// Every occurrence of the ASCII word, in any letter case, replaced by the value.
AnsiString ReplaceCaseless(std::string_view text, std::string_view word, std::string_view value) {
    const std::string lowerText = AsciiLower(text);
    const std::string lowerWord = AsciiLower(word);
    AnsiString out;
    out.reserve(text.size());
    size_t copied = 0;
    for (size_t at = lowerText.find(lowerWord); at != std::string::npos;
         at = lowerText.find(lowerWord, copied)) {
        out.append(text.substr(copied, at - copied));
        out.append(value);
        copied = at + lowerWord.size();
    }
    out.append(text.substr(copied));
    return out;
}

AnsiString ReplaceAllLiteral(std::string_view text, std::string_view what, std::string_view with) {
    AnsiString out;
    out.reserve(text.size());
    size_t copied = 0;
    for (size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, copied)) {
        out.append(text.substr(copied, at - copied));
        out.append(with);
        copied = at + what.size();
    }
    out.append(text.substr(copied));
    return out;
}

// The white space of \s (core/Regex.h): no vertical tab.
bool IsPcreSpace(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// The length of the GB18030 character that starts at text[i]: a two-byte
// character (lead 81-FE, trail 40-FE but 7F), a four-byte one (81-FE, 30-39,
// 81-FE, 30-39) or a single byte.
size_t AnsiCharLength(std::string_view text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x81 || lead > 0xFE || i + 1 >= text.size()) return 1;
    const unsigned char second = byte(i + 1);
    if (second >= 0x40 && second <= 0xFE && second != 0x7F) return 2;
    if (second >= 0x30 && second <= 0x39 && i + 3 < text.size()) {
        const unsigned char third = byte(i + 2);
        const unsigned char fourth = byte(i + 3);
        if (third >= 0x81 && third <= 0xFE && fourth >= 0x30 && fourth <= 0x39) return 4;
    }
    return 1;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = AsciiLower(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
    }
    return lines;
}

// Regular expressions.

AnsiString RegexMatch(std::string_view text, std::string_view pattern) {
    return FirstGroup(text, Caseless(pattern), 1);
}

AnsiString RegexMatchAny(std::string_view text, std::string_view rule) {
    // Lines strictly in order: the first line with a non-empty group 1 wins
    // even when a later line would match earlier in the page.
    for (const std::string_view line : SplitLines(rule)) {
        AnsiString value = RegexMatch(text, line);
        if (!value.empty()) return value;
    }
    return {};
}

AnsiString RegexReplaceAll(std::string_view pattern, std::string_view text,
                           std::string_view replacement) {
    return RepeatReplaceAll(*Regex::Get(pattern), text, replacement);
}

bool ContainsImage(std::string_view text) {
    return Regex::Get("(?i)<img[^<>]*>")->Matches(text);
}

AnsiString ReplaceTemplateTag(std::string_view text, std::string_view name,
                              std::string_view value) {
    std::string pattern = "(?i)\\{#\\s*";
    pattern.append(name);
    pattern.append("\\s*#\\}");
    return RepeatReplaceAll(*Regex::Get(pattern), text, value);
}

AnsiString GetHTMLAttribute(std::string_view name, std::string_view tag) {
    // The name as a whole name: "src" is not the end of "data-src".
    const std::string head = Caseless("(?<![\\w:.-])" + std::string(name) + "\\s*=\\s*");
    // A quoted value is the value, also when it is empty: the two quotes
    // must not be taken for a bare value.
    RegexMatchResult match;
    if (Regex::Get(head + "(\"|')(.*?)(\"|')")->Search(tag, match))
        return AnsiString(match.Group(tag, 2));
    return FirstGroup(tag, head + "([^\\s>]+)", 1);
}

namespace {

// White space as the patterns' \s reads it.
bool PatternSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool IdentifierChar(char c) {
    return g_ascii_isalnum(c) || c == '-' || c == '{' || c == '}';
}

bool SameLetters(std::string_view a, std::string_view b) {
    return a.size() == b.size() && g_ascii_strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// Where the value of an attribute ends when the tag of its opening quote has
// no quote left to end it: at the first quote from `from` on whose next angle
// bracket is a '>' (the pattern's "[^<>]*>" after it). Asked with a `from`
// that never decreases, it scans each part of the text at most once.
class ValueEnd {
  public:
    explicit ValueEnd(std::string_view text) : text_(text) {}

    size_t From(size_t from) {
        if (asked_ && (answer_ == std::string_view::npos || from <= answer_)) return answer_;
        asked_ = true;
        size_t quote = std::string_view::npos;
        for (size_t i = from; i < text_.size(); ++i) {
            const char c = text_[i];
            if (c == '"') {
                if (quote == std::string_view::npos) quote = i;
            } else if (c == '<') {
                quote = std::string_view::npos;
            } else if (c == '>' && quote != std::string_view::npos) {
                return answer_ = quote;
            }
        }
        return answer_ = std::string_view::npos;
    }

  private:
    std::string_view text_;
    bool asked_ = false;
    size_t answer_ = std::string_view::npos;
};

}  // namespace

AnsiString TagAttribute(std::string_view text, std::string_view name, TTagValue kind) {
    constexpr size_t npos = std::string_view::npos;
    ValueEnd valueEnd(text);
    for (size_t open = text.find('<'); open != npos; open = text.find('<', open + 1)) {
        // The tag's run: up to the next angle bracket, which closes it when
        // it is a '>'. Runs do not overlap, so neither do the scans below.
        const size_t bracket = text.find_first_of("<>", open + 1);
        const size_t end = bracket == npos ? text.size() : bracket;
        const bool closed = bracket != npos && text[bracket] == '>';
        // The opening quote of name="..." written at `at`, or npos.
        const auto openingQuote = [&](size_t at) {
            if (!SameLetters(text.substr(at, name.size()), name)) return npos;
            size_t p = at + name.size();
            while (p < end && PatternSpace(text[p])) ++p;
            if (p >= end || text[p] != '=') return npos;
            ++p;
            while (p < end && PatternSpace(text[p])) ++p;
            return p < end && text[p] == '"' ? p : npos;
        };
        if (end - open - 1 < name.size()) continue;
        // The pattern's greedy [^<>]* tries the last place of the name first.
        for (size_t at = end - name.size(); at > open; --at) {
            const size_t quote = openingQuote(at);
            if (quote == npos) continue;
            const size_t value = quote + 1;
            if (kind == TTagValue::Text) {
                // A later quote of a closed tag ends the value; of a tag left
                // open, none can. The search ends at the opening quote of
                // the name tried before, so no part is searched twice.
                size_t close = closed ? text.substr(0, end).find('"', value) : npos;
                if (close == npos) close = valueEnd.From(end);
                if (close != npos) return AnsiString(text.substr(value, close - value));
            } else {
                size_t stop = value;
                while (stop < end && IdentifierChar(text[stop])) ++stop;
                if (closed && stop > value && stop < end && text[stop] == '"')
                    return AnsiString(text.substr(value, stop - value));
            }
        }
    }
    return {};
}

// HTML clean-up.

AnsiString StripTags(std::string_view text) {
    AnsiString out = RegexReplaceAll(
        "(?i)</?(font|a|div|li|script|span|img|em|strong|\\bb\\b)[^<>]*>", text, "");
    // Comments and declarations each by their own end: a lazy "<!.*?->" would
    // run from a declaration to the next "->" anywhere later and take the
    // chapter text between with it.
    out = RegexReplaceAll("<!--.*?-->", out, "");
    return RegexReplaceAll("<![^<>]*>", out, "");
}

AnsiString DecodeEntities(std::string_view text) {
    // The order matters: "&amp;" last but the quotes, so "&amp;lt;" stays "&lt;".
    static constexpr std::pair<std::string_view, std::string_view> kEntities[] = {
        {"&nbsp;", " "}, {"&quot;", "\""},        {"&lt;", "<"},           {"&gt;", ">"},
        {"&amp;", "&"},  {"&ldquo;", "\xA1\xB0"}, {"&rdquo;", "\xA1\xB1"},
    };
    AnsiString out(text);
    for (const auto& [entity, character] : kEntities) out = ReplaceCaseless(out, entity, character);
    return out;
}

namespace {

// The character a reference at the start of text stands for, and the
// reference's length; nothing when it names no character.
std::optional<AnsiString> CharacterReference(std::string_view text, size_t& length) {
    const size_t semicolon = text.find(';');
    // "&" and ";" around at most 32 characters: longer is no reference.
    if (semicolon == std::string_view::npos || semicolon < 2 || semicolon > 33) return {};
    const std::string_view body = text.substr(1, semicolon - 1);
    length = semicolon + 1;
    uint32_t code = 0;
    if (body[0] == '#') {
        const bool hex = body.size() > 1 && AsciiLower(body[1]) == 'x';
        const std::string_view digits = body.substr(hex ? 2 : 1);
        if (digits.empty()) return {};
        for (const char c : digits) {
            const int digit = hex ? HexValue(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
            if (digit < 0) return {};
            code = code * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
            if (code > 0x10FFFF) return {};
        }
    } else {
        for (const char c : body)
            if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
                return {};
        // The names of DecodeEntities keep its meaning in any letter case.
        std::string lower(body);
        for (char& c : lower) c = AsciiLower(c);
        if (lower == "nbsp") return AnsiString(" ");
        for (const auto& [name, character] : {std::pair{"quot", "\""},
                                              {"lt", "<"},
                                              {"gt", ">"},
                                              {"amp", "&"},
                                              {"ldquo", "\xA1\xB0"},
                                              {"rdquo", "\xA1\xB1"}})
            if (lower == name) return AnsiString(character);
        const std::string name(body);
        const htmlEntityDesc* entity = htmlEntityLookup(BAD_CAST name.c_str());
        if (!entity) return {};
        code = entity->value;
    }
    if (code == 0 || (code >= 0xD800 && code <= 0xDFFF)) return {};
    char utf8[8] = {};
    const int size = g_unichar_to_utf8(static_cast<gunichar>(code), utf8);
    return platform::Utf8ToAnsi(std::string_view(utf8, static_cast<size_t>(size)));
}

}  // namespace

AnsiString DecodeHtmlEntities(std::string_view text) {
    AnsiString out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const size_t amp = text.find('&', i);
        if (amp == std::string_view::npos) {
            out.append(text.substr(i));
            break;
        }
        out.append(text.substr(i, amp - i));
        size_t length = 0;
        if (const auto character = CharacterReference(text.substr(amp), length)) {
            out.append(*character);
            i = amp + length;
        } else {
            out += '&';
            i = amp + 1;
        }
    }
    return out;
}

AnsiString RemoveLineBreaks(std::string_view text) {
    AnsiString out = ReplaceAllLiteral(text, "\r\n", "");
    out = ReplaceAllLiteral(out, "\r", "");
    return ReplaceAllLiteral(out, "\t", "");
}

AnsiString TrimAndIndent(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsPcreSpace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && IsPcreSpace(static_cast<unsigned char>(text[end - 1]))) --end;
    if (begin == end) return {};
    AnsiString out = "  ";
    out.append(text.substr(begin, end - begin));
    return out;
}

AnsiString ReplaceNulWithLF(std::string_view text) {
    AnsiString out(text);
    const size_t last = out.empty() ? 0 : out.size() - 1;
    // Pages rarely hold a NUL byte: memchr finds the few there are.
    for (char* at = out.data(); at < out.data() + last;) {
        at = static_cast<char*>(std::memchr(at, '\0', static_cast<size_t>(out.data() + last - at)));
        if (!at) break;
        *at++ = '\n';
    }
    return out;
}

AnsiString DecodeDocumentWrite(std::string_view text) {
    if (AsciiLower(text).find("document.write") == std::string::npos) return AnsiString(text);
    return UnescapeUnicode(RegexMatchAny(text, "document.write\\((.*?)\\)"));
}

AnsiString UnescapeUnicode(std::string_view text) {
    // Hex digits only: a wider class would take a non-hex byte and write the
    // character 0 in place of the escape.
    const auto regex = Regex::Get("(?i)\\\\u([0-9a-f]{4})");
    AnsiString current(text);
    // Each pass shrinks the text (six bytes become at most four), so the
    // repetition that catches an escape re-created by a decoded backslash ends.
    for (int pass = 0; pass < kMaxReplacePasses; ++pass) {
        const auto matches = regex->SearchAll(current);
        if (matches.empty()) break;
        AnsiString out;
        out.reserve(current.size());
        size_t copied = 0;
        for (const auto& match : matches) {
            out.append(current, copied, match.Start() - copied);
            unsigned unit = 0;
            for (const char digit : match.Group(current, 1)) {
                unit = unit * 16 + static_cast<unsigned>(HexValue(digit));
            }
            out.append(platform::Utf16UnitToAnsi(unit));
            copied = match.End();
        }
        out.append(current, copied);
        current = std::move(out);
    }
    return current;
}

// Charset, hashing, dates.

AnsiString DecodeCharset(std::string_view text, std::string_view charset) {
    if (AsciiLower(charset) == "utf-8") return platform::Utf8ToAnsi(text);
    return AnsiString(text);
}

std::string SaltedMD5(std::string_view text) {
    std::string salted(text);
    salted.append(kMd5Salt);
    return platform::Md5Hex(salted);
}

std::string StreamMD5(std::string_view bytes) {
    return platform::Md5Hex(bytes);
}

std::string FileMD5(const std::string& fileName) {
    std::ifstream file(fileName, std::ios::binary);
    if (!file) return {};
    platform::Md5Hasher hasher;
    char buffer[64 * 1024];
    while (file) {
        file.read(buffer, sizeof buffer);
        hasher.Update(std::string_view(buffer, static_cast<size_t>(file.gcount())));
    }
    if (file.bad()) return {};
    return hasher.HexDigest();
}

std::string DateTimeText(std::time_t time) {
    std::tm parts{};
    localtime_r(&time, &parts);
    char text[32];
    const size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return std::string(text, length);
}

// URLs and file names.

std::string URLEncode(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        const bool alnum = (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= 'a' && byte <= 'z');
        if (alnum || c == '-' || c == '.' || c == '\\' || c == '_' || c == '{' || c == '}') {
            out.push_back(c);
        } else if (c == ' ') {
            out.push_back('+');
        } else {
            out.push_back('%');
            out.push_back(kDigits[byte >> 4]);
            out.push_back(kDigits[byte & 0x0F]);
        }
    }
    return out;
}

std::string CombineURL(std::string_view base, std::string_view relative) {
    return platform::ResolveUrl(base, relative);
}

std::string AbsoluteURL(std::string_view base, std::string_view link) {
    // Only a link that begins with the web scheme is absolute: "http" inside a
    // path or a query ("/book/httpd/1.html") is no scheme.
    const auto startsWith = [&](std::string_view scheme) {
        if (link.size() < scheme.size()) return false;
        for (size_t i = 0; i < scheme.size(); ++i)
            if (AsciiLower(link[i]) != scheme[i]) return false;
        return true;
    };
    if (startsWith("http:") || startsWith("https:")) return std::string(link);
    if (link.starts_with("../") || link.starts_with("./") || link.starts_with("/")) {
        return CombineURL(base, link);
    }
    if (link.find('/') == std::string_view::npos) return CombineURL(base, link);
    // A path with a "/" inside but not in front is taken from the site's root.
    return CombineURL(base, "/" + std::string(link));
}

AnsiString SafeFileName(std::string_view name) {
    AnsiString out;
    // A NUL byte would end the name for the file system and cut it short.
    for (const char c : name)
        if (c != '\0') out += c;
    // Character by character: the trail byte of a double-byte character may be
    // "\" or "|" (億 is 83 7C) and must not be touched.
    for (size_t i = 0; i < out.size();) {
        const size_t length = AnsiCharLength(out, i);
        if (length == 1) {
            switch (out[i]) {
                case '"':
                case '*':
                case '/':
                case ':':
                case '<':
                case '>':
                case '?':
                case '\\':
                case '|':
                    out[i] = ' ';
                    break;
                default:
                    break;
            }
        }
        i += length;
    }
    return out;
}

// The reading program's additions.

uint32_t GetFileSizeBytes(const std::string& fileName) {
    // A folder is no file: a stream opened on one reports a huge size.
    const long long size = platform::RegularFileSize(fileName);
    if (size <= 0) return 0;
    // A file beyond 4 GiB reads as the largest size rather than a wrapped one.
    constexpr auto kMax = std::numeric_limits<uint32_t>::max();
    return static_cast<std::uintmax_t>(size) > kMax ? kMax : static_cast<uint32_t>(size);
}

AnsiString PCREReplaceAll(std::string_view pattern, std::string_view text,
                          std::string_view replacement) {
    return Regex::Get(pattern)->ReplaceAll(text, replacement);
}

bool IsPublishedPage(const std::string& fileName) {
    std::string bytes;
    if (!platform::ReadWholeFile(fileName, bytes)) return false;
    std::string joined;
    joined.reserve(bytes.size() + bytes.size() / 16);
    bool first = true;
    for (const std::string_view line : SplitLines(bytes)) {
        if (!first) joined.append("\r\n");
        joined.append(line);
        first = false;
    }
    return !FirstGroup(joined, "(?i)<!--published:([^<>]*)-->", 1).empty();
}
