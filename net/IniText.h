#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// An INI text held in memory (a downloaded update.cab or Story.cab), read
// with Windows profile semantics: sections and keys compared without letter
// case, the first key of a name wins, names and values trimmed, lines without
// "=" and ";" comments ignored. Bytes are kept as they are (GBK stays GBK).
class TIniText {
  public:
    explicit TIniText(std::string_view text);

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    int ReadInteger(std::string_view section, std::string_view key, int defaultValue) const;
    // Key names of a section, in file order.
    std::vector<std::string> ReadSection(std::string_view section) const;
    // Key and value pairs of a section, in file order.
    std::vector<std::pair<std::string, std::string>> ReadSectionValues(
        std::string_view section) const;

  private:
    struct Entry {
        std::string section, key, value;
    };
    std::vector<Entry> entries_;
};
