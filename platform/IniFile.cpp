#include "platform/IniFile.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <unordered_set>

#include "platform/AtomicFile.h"
#include "platform/Folders.h"

namespace platform {
namespace {

constexpr std::string_view kSpaces = " \t\r\n\f\v";

std::string_view Trim(std::string_view text) {
    const size_t begin = text.find_first_not_of(kSpaces);
    if (begin == std::string_view::npos) return {};
    const size_t end = text.find_last_not_of(kSpaces);
    return text.substr(begin, end - begin + 1);
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

// A name as SameName compares it.
std::string Lower(std::string_view name) {
    std::string lower(name);
    for (char& c : lower) c = LowerAscii(c);
    return lower;
}

// The file as lines, with the line-break style it uses, so that a write puts
// back everything it did not change byte for byte.
struct Document {
    std::vector<std::string> lines;
    std::string lineBreak = "\n";
    bool finalBreak = true;

    static std::optional<Document> Load(const std::string& path) {
        std::string text;
        if (!ReadWholeFile(path, text)) return std::nullopt;
        return Parse(text);
    }

    static Document Parse(std::string_view text) {
        Document document;
        if (text.find("\r\n") != std::string::npos) document.lineBreak = "\r\n";
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) {
                document.lines.emplace_back(text.substr(start));
                document.finalBreak = false;
                break;
            }
            size_t lineEnd = end;
            if (lineEnd > start && text[lineEnd - 1] == '\r') --lineEnd;
            document.lines.emplace_back(text.substr(start, lineEnd - start));
            start = end + 1;
        }
        if (document.lines.empty()) document.finalBreak = true;
        return document;
    }

    // Written beside the file and renamed over it, so that a reader in the
    // other program never sees half a file and a full disk loses nothing.
    bool Save(const std::string& path) const {
        std::string text;
        for (size_t i = 0; i < lines.size(); ++i) {
            text.append(lines[i]);
            if (i + 1 < lines.size() || finalBreak) text.append(lineBreak);
        }
        return WriteFileAtomic(path, text, FileDurability::Durable);
    }
};

// The name of a section header line, or nothing for any other line.
std::optional<std::string_view> HeaderName(std::string_view line) {
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() != '[') return std::nullopt;
    const size_t close = trimmed.find(']');
    return Trim(trimmed.substr(1, close == std::string_view::npos ? close : close - 1));
}

// Key and value of a "key=value" line; comments and other lines have none.
struct Entry {
    std::string_view key;
    std::string_view value;
};
std::optional<Entry> ParseEntry(std::string_view line) {
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == ';') return std::nullopt;
    const size_t equals = trimmed.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    Entry entry{Trim(trimmed.substr(0, equals)), Trim(trimmed.substr(equals + 1))};
    if (entry.key.empty()) return std::nullopt;
    return entry;
}

// The lines [first, last) of the first section of that name; first is the
// header's index.
struct Range {
    size_t header;
    size_t end;
};
std::optional<Range> FindSection(const std::vector<std::string>& lines, std::string_view section) {
    for (size_t i = 0; i < lines.size(); ++i) {
        const auto name = HeaderName(lines[i]);
        if (!name || !SameName(*name, Trim(section))) continue;
        size_t end = i + 1;
        while (end < lines.size() && !HeaderName(lines[end])) ++end;
        return Range{i, end};
    }
    return std::nullopt;
}

std::optional<size_t> FindKey(const std::vector<std::string>& lines, const Range& range,
                              std::string_view key) {
    for (size_t i = range.header + 1; i < range.end; ++i) {
        const auto entry = ParseEntry(lines[i]);
        if (entry && SameName(entry->key, Trim(key))) return i;
    }
    return std::nullopt;
}

std::string Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

std::optional<long long> ParseInteger(std::string_view text) {
    std::string value(Trim(text));
    int base = 10;
    size_t skip = 0;
    const bool negative = !value.empty() && value[0] == '-';
    if (negative) skip = 1;
    if (value.compare(skip, 2, "0x") == 0 || value.compare(skip, 2, "0X") == 0) {
        base = 16;
        skip += 2;
    } else if (value.compare(skip, 1, "$") == 0) {
        base = 16;
        skip += 1;
    }
    const std::string digits = value.substr(skip);
    if (digits.empty() || digits[0] == '-' || digits[0] == '+') return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long long number = std::strtoll(digits.c_str(), &end, base);
    if (errno != 0 || *end != '\0') return std::nullopt;
    return negative ? -number : number;
}

std::string SingleLine(std::string_view text) {
    std::string line(text);
    for (char& c : line) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return line;
}

}  // namespace

IniText::IniText(std::string_view text, size_t maxLineBytes) : lines_(Document::Parse(text).lines) {
    if (maxLineBytes == std::string_view::npos) return;
    std::erase_if(lines_,
                  [maxLineBytes](const std::string& line) { return line.size() > maxLineBytes; });
}

std::string IniText::ReadString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const {
    const auto range = FindSection(lines_, section);
    if (!range) return std::string(defaultValue);
    const auto line = FindKey(lines_, *range, key);
    if (!line) return std::string(defaultValue);
    return Unquote(ParseEntry(lines_[*line])->value);
}

int IniText::ReadInteger(std::string_view section, std::string_view key, int defaultValue) const {
    const auto number = ParseInteger(ReadString(section, key, ""));
    if (!number || *number < INT32_MIN || *number > INT32_MAX) return defaultValue;
    return static_cast<int>(*number);
}

bool IniText::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

bool IniText::SectionExists(std::string_view section) const {
    return FindSection(lines_, section).has_value();
}

bool IniText::ValueExists(std::string_view section, std::string_view key) const {
    const auto range = FindSection(lines_, section);
    return range && FindKey(lines_, *range, key).has_value();
}

std::vector<std::pair<std::string, std::string>> IniText::ReadSectionValues(
    std::string_view section) const {
    std::vector<std::pair<std::string, std::string>> values;
    const auto range = FindSection(lines_, section);
    if (!range) return values;
    // The first key of a name wins; a set keeps a long section linear.
    std::unordered_set<std::string> seen;
    for (size_t i = range->header + 1; i < range->end; ++i) {
        const auto entry = ParseEntry(lines_[i]);
        if (entry && seen.insert(Lower(entry->key)).second)
            values.emplace_back(entry->key, Unquote(entry->value));
    }
    return values;
}

std::vector<std::string> IniText::ReadSection(std::string_view section) const {
    std::vector<std::string> keys;
    for (auto& [key, value] : ReadSectionValues(section)) keys.push_back(std::move(key));
    return keys;
}

std::vector<std::string> IniText::ReadSections() const {
    std::vector<std::string> sections;
    std::unordered_set<std::string> seen;
    for (const auto& line : lines_) {
        const auto name = HeaderName(line);
        if (name && seen.insert(Lower(*name)).second) sections.emplace_back(*name);
    }
    return sections;
}

IniText IniFile::Read() const {
    std::string text;
    ReadWholeFile(path_, text);
    return IniText(text);
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const {
    return Read().ReadString(section, key, defaultValue);
}

int IniFile::ReadInteger(std::string_view section, std::string_view key, int defaultValue) const {
    return Read().ReadInteger(section, key, defaultValue);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
    return Read().ReadBool(section, key, defaultValue);
}

bool IniFile::WriteString(std::string_view section, std::string_view key,
                          std::string_view value) const {
    if (Trim(key).empty() || Trim(section).empty()) return false;
    Document document;
    if (auto loaded = Document::Load(path_)) {
        document = std::move(*loaded);
    } else if (access(path_.c_str(), F_OK) == 0) {
        return false;  // there but unreadable: writing would wipe its content
    }
    const std::string keyText(Trim(key));
    const std::string line = keyText + "=" + SingleLine(value);
    if (const auto range = FindSection(document.lines, section)) {
        if (const auto at = FindKey(document.lines, *range, key)) {
            // Keep the key as the file spells it.
            const std::string stored(ParseEntry(document.lines[*at])->key);
            document.lines[*at] = stored + "=" + SingleLine(value);
        } else {
            // After the section's last non-blank line, before any blank lines
            // that separate it from the next section.
            size_t insert = range->end;
            while (insert > range->header + 1 && Trim(document.lines[insert - 1]).empty()) --insert;
            document.lines.insert(document.lines.begin() + static_cast<long>(insert), line);
        }
    } else {
        document.lines.push_back("[" + std::string(Trim(section)) + "]");
        document.lines.push_back(line);
        document.finalBreak = true;
    }
    return document.Save(path_);
}

bool IniFile::WriteInteger(std::string_view section, std::string_view key, int value) const {
    return WriteString(section, key, std::to_string(value));
}

bool IniFile::WriteBool(std::string_view section, std::string_view key, bool value) const {
    return WriteString(section, key, value ? "1" : "0");
}

bool IniFile::SectionExists(std::string_view section) const {
    return Read().SectionExists(section);
}

bool IniFile::ValueExists(std::string_view section, std::string_view key) const {
    return Read().ValueExists(section, key);
}

std::vector<std::string> IniFile::ReadSection(std::string_view section) const {
    return Read().ReadSection(section);
}

std::vector<std::string> IniFile::ReadSections() const {
    return Read().ReadSections();
}

bool IniFile::DeleteKey(std::string_view section, std::string_view key) const {
    auto document = Document::Load(path_);
    if (!document) return false;
    const auto range = FindSection(document->lines, section);
    if (!range) return true;
    const auto at = FindKey(document->lines, *range, key);
    if (!at) return true;
    document->lines.erase(document->lines.begin() + static_cast<long>(*at));
    return document->Save(path_);
}

bool IniFile::EraseSection(std::string_view section) const {
    auto document = Document::Load(path_);
    if (!document) return false;
    const auto range = FindSection(document->lines, section);
    if (!range) return true;
    document->lines.erase(document->lines.begin() + static_cast<long>(range->header),
                          document->lines.begin() + static_cast<long>(range->end));
    return document->Save(path_);
}

}  // namespace platform
