#include "core/PageTemplate.h"

#include <algorithm>
#include <cctype>

#include "core/Folders.h"
#include "core/Regex.h"

namespace {

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// Names are letters, digits and "_"; anything else in a pattern would be read
// as regular-expression syntax.
std::string QuoteName(std::string_view name) {
    std::string quoted;
    for (const char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') quoted += '\\';
        quoted += c;
    }
    return quoted;
}

}  // namespace

AnsiString FillTemplate(std::string_view text, const TemplateValues& values) {
    static const auto tag = Regex::Get(R"((?i)\{#\s*([a-z0-9_]+)\s*#\})");
    AnsiString out;
    out.reserve(text.size());
    size_t copied = 0;
    for (const auto& match : tag->SearchAll(text)) {
        const std::string_view name = match.Group(text, 1);
        const auto value = std::find_if(values.begin(), values.end(),
                                        [&](const auto& v) { return SameName(v.first, name); });
        if (value == values.end()) continue;
        out.append(text.substr(copied, match.Start() - copied));
        out.append(value->second);
        copied = match.End();
    }
    out.append(text.substr(copied));
    return out;
}

std::string CutTemplateBlock(std::string_view text, std::string_view name, bool trimmed) {
    const std::string pattern =
        trimmed ? "(?i)\\{#\\s*" + QuoteName(name) + "\\s*#\\}\\s*begin\\s*(.*?)\\s*end;"
                : "(?i)\\{#\\s*" + QuoteName(name) + "\\s*#\\}\\s*begin(.*?)end;";
    RegexMatchResult match;
    if (!Regex::Get(pattern)->Search(text, match)) return {};
    return std::string(match.Group(text, 1));
}

std::string LoadTemplateText(std::string_view name) {
    std::vector<std::string> lines;
    LoadTemplateResource(name, lines);
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i) text += "\r\n";
        text += lines[i];
    }
    return text;
}
