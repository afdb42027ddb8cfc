#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// An INI text held in memory (a downloaded update description or story list)
// read with the semantics of IniFile below, which reads its file through it.
class IniText {
  public:
    // Lines longer than maxLineBytes (without their break) are left out, as
    // if they were not there.
    explicit IniText(std::string_view text, size_t maxLineBytes = std::string_view::npos);

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    int ReadInteger(std::string_view section, std::string_view key, int defaultValue) const;
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;
    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view key) const;
    // The key names of the section, in file order, each name once.
    std::vector<std::string> ReadSection(std::string_view section) const;
    // The keys of the section with their values (as ReadString gives them),
    // in file order, each name once.
    std::vector<std::pair<std::string, std::string>> ReadSectionValues(
        std::string_view section) const;
    std::vector<std::string> ReadSections() const;

  private:
    std::vector<std::string> lines_;
};

// An INI file read and written the way the Windows profile calls do it: each
// call opens the file, does its work and closes it again, so two programs that
// share the file see each other's writes. Sections and keys compare without
// letter case; the first section and the first key of a name win; values are
// trimmed and one pair of enclosing quotes is dropped. Writing changes only the
// line concerned and keeps everything else of the file as it was. Texts are
// bytes: the file is neither decoded nor converted.
class IniFile {
  public:
    explicit IniFile(std::string path) : path_(std::move(path)) {}

    const std::string& Path() const { return path_; }

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    // Decimal, or hexadecimal after "0x" or "$"; the default when the value is
    // missing or not a whole number.
    int ReadInteger(std::string_view section, std::string_view key, int defaultValue) const;
    // A number other than 0 is true; a missing or non-numeric value gives the default.
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;

    // False when the file cannot be written.
    bool WriteString(std::string_view section, std::string_view key, std::string_view value) const;
    bool WriteInteger(std::string_view section, std::string_view key, int value) const;
    bool WriteBool(std::string_view section, std::string_view key, bool value) const;

    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view key) const;
    // The key names of the section, in file order, each name once.
    std::vector<std::string> ReadSection(std::string_view section) const;
    std::vector<std::string> ReadSections() const;
    bool DeleteKey(std::string_view section, std::string_view key) const;
    bool EraseSection(std::string_view section) const;

  private:
    // The file as it is now; an unreadable file reads as empty.
    IniText Read() const;

    std::string path_;
};

}  // namespace platform
