#include "core/HtmlSanitizer.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <vector>

namespace {

bool IsAsciiAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}
char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = Lower(c);
    return out;
}

bool StartsWithNoCase(std::string_view text, size_t at, std::string_view prefix) {
    if (at > text.size() || text.size() - at < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (Lower(text[at + i]) != prefix[i]) return false;
    return true;
}

size_t FindNoCase(std::string_view text, std::string_view needle, size_t from) {
    for (size_t i = from; i + needle.size() <= text.size(); ++i)
        if (StartsWithNoCase(text, i, needle)) return i;
    return std::string_view::npos;
}

// The length of the ANSI character that starts at text[i]: GB18030 has one-,
// two- and four-byte characters. A lead byte that does not start a valid
// sequence counts alone, so that the ASCII byte after it (a quote, say) is
// seen as the character it stays once the page is converted to UTF-8.
size_t AnsiCharLength(std::string_view text, size_t i) {
    const auto at = [&](size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const auto in = [](unsigned char b, unsigned char low, unsigned char high) {
        return b >= low && b <= high;
    };
    const size_t left = text.size() - i;
    if (!in(at(0), 0x81, 0xFE) || left < 2) return 1;
    if (in(at(1), 0x40, 0xFE) && at(1) != 0x7F) return 2;
    if (left >= 4 && in(at(1), 0x30, 0x39) && in(at(2), 0x81, 0xFE) && in(at(3), 0x30, 0x39))
        return 4;
    return 1;
}

// Decodes the character references a browser would decode inside an attribute
// value, as far as they matter for recognising a URL scheme: numeric ones and
// the few named ones that spell ":" or white space.
std::string DecodeReferencesForScheme(std::string_view value) {
    static constexpr std::array<std::pair<std::string_view, char>, 6> kNamed{{
        {"colon", ':'},
        {"tab", '\t'},
        {"newline", '\n'},
        {"nbsp", ' '},
        {"sol", '/'},
        {"amp", '&'},
    }};
    std::string out;
    for (size_t i = 0; i < value.size();) {
        if (value[i] != '&') {
            out += value[i++];
            continue;
        }
        size_t j = i + 1;
        if (j < value.size() && value[j] == '#') {
            ++j;
            const bool hex = j < value.size() && (value[j] == 'x' || value[j] == 'X');
            if (hex) ++j;
            const size_t digits = j;
            while (j < value.size() && (hex ? std::isxdigit(static_cast<unsigned char>(value[j]))
                                            : IsAsciiDigit(value[j])))
                ++j;
            if (j == digits) {
                out += value[i++];
                continue;
            }
            // Leading zeros do not count; a huge number saturates.
            long code = 0;
            for (size_t k = digits; k < j; ++k) {
                const int digit = std::isdigit(static_cast<unsigned char>(value[k]))
                                      ? value[k] - '0'
                                      : Lower(value[k]) - 'a' + 10;
                code = std::min<long>(code * (hex ? 16 : 10) + digit, 0x110000);
            }
            // Only ASCII matters for a scheme; anything else cannot form one.
            out += (code > 0 && code < 0x80) ? static_cast<char>(code) : '?';
            if (j < value.size() && value[j] == ';') ++j;
            i = j;
            continue;
        }
        bool decoded = false;
        for (const auto& [name, c] : kNamed) {
            if (StartsWithNoCase(value, j, name)) {
                out += c;
                j += name.size();
                if (j < value.size() && value[j] == ';') ++j;
                i = j;
                decoded = true;
                break;
            }
        }
        if (!decoded) out += value[i++];
    }
    return out;
}

bool IsDroppedElement(std::string_view lowerName) {
    return lowerName == "script" || lowerName == "style";
}

// Tags that go while their content stays: what can load or run other
// documents, and what belongs to a document rather than to a piece of text.
bool IsDroppedTag(std::string_view lowerName) {
    static constexpr std::array<std::string_view, 22> kTags{
        "iframe", "frame", "frameset", "object", "embed",  "applet",   "param",  "base",
        "meta",   "link",  "form",     "input",  "button", "textarea", "select", "option",
        "svg",    "math",  "html",     "head",   "body",   "template",
    };
    for (const auto tag : kTags)
        if (tag == lowerName) return true;
    return lowerName == "title" || lowerName == "noscript" || lowerName == "xml";
}

bool IsValidName(std::string_view name, bool attribute) {
    if (name.empty()) return false;
    if (!IsAsciiAlpha(name[0]) && !(attribute && (name[0] == '_' || name[0] == ':'))) return false;
    for (const char c : name) {
        const bool ok = IsAsciiAlpha(c) || IsAsciiDigit(c) ||
                        (attribute && (c == '-' || c == '_' || c == ':' || c == '.'));
        if (!ok) return false;
    }
    return true;
}

struct Attribute {
    std::string name;
    std::string value;
};

struct Tag {
    std::string name;
    std::vector<Attribute> attributes;
    bool selfClosing = false;
    size_t end = 0;  // the position after ">"
};

// Reads a tag the way an HTML tokenizer does, from the first character of its
// name: the name runs to white space, "/" or ">"; attribute values may be
// quoted and may then hold ">". False when the text ends inside the tag.
bool ReadTag(std::string_view s, size_t i, Tag& tag) {
    const size_t n = s.size();
    while (i < n && !IsSpace(s[i]) && s[i] != '/' && s[i] != '>') tag.name += s[i++];
    while (i < n) {
        while (i < n && (IsSpace(s[i]) || s[i] == '/')) {
            tag.selfClosing = s[i] == '/';
            ++i;
        }
        if (i >= n) return false;
        if (s[i] == '>') {
            tag.end = i + 1;
            return true;
        }
        tag.selfClosing = false;
        Attribute attribute;
        // A name may begin with "=" in a tokenizer; it is read as part of it.
        attribute.name += s[i++];
        while (i < n && !IsSpace(s[i]) && s[i] != '/' && s[i] != '>' && s[i] != '=')
            attribute.name += s[i++];
        while (i < n && IsSpace(s[i])) ++i;
        if (i < n && s[i] == '=') {
            ++i;
            while (i < n && IsSpace(s[i])) ++i;
            if (i >= n) return false;
            if (s[i] == '"' || s[i] == '\'') {
                const char quote = s[i++];
                const size_t close = s.find(quote, i);
                if (close == std::string_view::npos) return false;
                attribute.value = std::string(s.substr(i, close - i));
                i = close + 1;
            } else {
                while (i < n && !IsSpace(s[i]) && s[i] != '>') attribute.value += s[i++];
            }
        }
        tag.attributes.push_back(std::move(attribute));
    }
    return false;
}

bool KeepAttribute(const Attribute& attribute) {
    const std::string name = LowerAscii(attribute.name);
    if (!IsValidName(name, true)) return false;
    if (name.rfind("on", 0) == 0) return false;
    if (name == "srcdoc" || name == "formaction") return false;
    if (IsScriptURL(attribute.value)) return false;
    // Script URLs also hide inside lists of values and style texts.
    std::string plain = LowerAscii(DecodeReferencesForScheme(attribute.value));
    std::erase_if(plain, [](char c) { return static_cast<unsigned char>(c) <= 0x20; });
    return plain.find("javascript:") == std::string::npos &&
           plain.find("vbscript:") == std::string::npos &&
           plain.find("expression(") == std::string::npos;
}

std::string AttributeValue(std::string_view value) {
    std::string out;
    for (const char c : value) {
        if (c == '"')
            out += "&quot;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
    return out;
}

// Skips a markup declaration, processing instruction or bogus comment: up to
// and including the next ">".
size_t SkipToTagEnd(std::string_view s, size_t i) {
    const size_t close = s.find('>', i);
    return close == std::string_view::npos ? s.size() : close + 1;
}

}  // namespace

AnsiString EscapeHtml(std::string_view text) {
    AnsiString out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

AnsiString EscapeScriptString(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    AnsiString out;
    for (size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        const size_t length = b >= 0x80 ? AnsiCharLength(text, i) : 1;
        if (length > 1) {
            out.append(text.substr(i, length));
            i += length;
            continue;
        }
        // A byte that is no character is escaped like ASCII: left raw it could
        // join the escape after it into one character once converted.
        const char c = text[i++];
        if (IsAsciiAlpha(c) || IsAsciiDigit(c) || c == '-' || c == '_' || c == '.') {
            out += c;
        } else {
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
    }
    return out;
}

bool IsScriptURL(std::string_view url) {
    std::string plain = LowerAscii(DecodeReferencesForScheme(url));
    std::erase_if(plain, [](char c) { return static_cast<unsigned char>(c) <= 0x20; });
    if (plain.rfind("javascript:", 0) == 0 || plain.rfind("vbscript:", 0) == 0 ||
        plain.rfind("livescript:", 0) == 0)
        return true;
    return plain.rfind("data:", 0) == 0 && plain.rfind("data:image/", 0) != 0;
}

AnsiString SanitizeHtml(std::string_view s) {
    AnsiString out;
    out.reserve(s.size());
    const size_t n = s.size();
    size_t i = 0;
    while (i < n) {
        if (s[i] != '<') {
            // Text up to the next tag goes over as it stands, in one piece.
            const size_t tag = s.find('<', i);
            const size_t end = tag == std::string_view::npos ? n : tag;
            out.append(s.substr(i, end - i));
            i = end;
            continue;
        }
        if (s.substr(i, 4) == "<!--") {
            const size_t close = s.find("-->", i + 4);
            i = close == std::string_view::npos ? n : close + 3;
            continue;
        }
        const char next = i + 1 < n ? s[i + 1] : '\0';
        if (next == '!' || next == '?') {
            i = SkipToTagEnd(s, i);
            continue;
        }
        if (next == '/') {
            const char first = i + 2 < n ? s[i + 2] : '\0';
            if (!IsAsciiAlpha(first)) {
                // "</>" is nothing, "</ ..." a bogus comment to a browser.
                i = SkipToTagEnd(s, i);
                continue;
            }
            Tag tag;
            if (!ReadTag(s, i + 2, tag)) break;
            i = tag.end;
            const std::string name = LowerAscii(tag.name);
            if (IsValidName(name, false) && !IsDroppedElement(name) && !IsDroppedTag(name))
                out += "</" + tag.name + ">";
            continue;
        }
        if (!IsAsciiAlpha(next)) {
            out += "&lt;";
            ++i;
            continue;
        }
        Tag tag;
        if (!ReadTag(s, i + 1, tag)) break;  // a tag cut off by the end of the text
        i = tag.end;
        const std::string name = LowerAscii(tag.name);
        if (IsDroppedElement(name)) {
            // The element's text runs to its end tag (or to the end of the text).
            const size_t close = FindNoCase(s, "</" + name, i);
            i = close == std::string_view::npos ? n : SkipToTagEnd(s, close);
            continue;
        }
        if (!IsValidName(name, false) || IsDroppedTag(name)) continue;
        out += '<';
        out += tag.name;
        for (const auto& attribute : tag.attributes) {
            if (!KeepAttribute(attribute)) continue;
            out += ' ';
            out += attribute.name;
            out += "=\"";
            out += AttributeValue(attribute.value);
            out += '"';
        }
        if (tag.selfClosing) out += " /";
        out += '>';
    }
    return out;
}
