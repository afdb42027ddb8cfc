#include "net/IniText.h"

#include <glib.h>

#include <cstdlib>

namespace {

std::string_view Trim(std::string_view text) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return text;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && g_ascii_strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

TIniText::TIniText(std::string_view text) {
    std::string section;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            const size_t close = line.find(']');
            section = std::string(Trim(line.substr(
                1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        std::string key(Trim(line.substr(0, eq)));
        if (key.empty()) continue;
        bool duplicate = false;
        for (const Entry& entry : entries_)
            duplicate =
                duplicate || (EqualsNoCase(entry.section, section) && EqualsNoCase(entry.key, key));
        if (!duplicate)
            entries_.push_back({section, std::move(key), std::string(Trim(line.substr(eq + 1)))});
    }
}

std::string TIniText::ReadString(std::string_view section, std::string_view key,
                                 std::string_view defaultValue) const {
    for (const Entry& entry : entries_)
        if (EqualsNoCase(entry.section, section) && EqualsNoCase(entry.key, key))
            return entry.value;
    return std::string(defaultValue);
}

int TIniText::ReadInteger(std::string_view section, std::string_view key, int defaultValue) const {
    const std::string text = ReadString(section, key, "");
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || end != text.c_str() + text.size()) return defaultValue;
    return static_cast<int>(value);
}

std::vector<std::string> TIniText::ReadSection(std::string_view section) const {
    std::vector<std::string> keys;
    for (const Entry& entry : entries_)
        if (EqualsNoCase(entry.section, section)) keys.push_back(entry.key);
    return keys;
}

std::vector<std::pair<std::string, std::string>> TIniText::ReadSectionValues(
    std::string_view section) const {
    std::vector<std::pair<std::string, std::string>> values;
    for (const Entry& entry : entries_)
        if (EqualsNoCase(entry.section, section)) values.emplace_back(entry.key, entry.value);
    return values;
}
