#pragma once

// Small helpers shared by the site-rule, page-writer and export tests: fixture
// files, GBK literals and a private temporary folder per test.

#include <glib.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "DatabaseFixtures.h"
#include "core/Folders.h"
#include "core/StoryDB.h"
#include "platform/Charset.h"

namespace storytest {

// A UTF-8 literal as the ANSI (GBK) text the program keeps in memory.
inline AnsiString A(std::string_view utf8) {
    return platform::Utf8ToAnsi(utf8);
}
inline std::string U(std::string_view ansi) {
    return platform::AnsiToUtf8(ansi);
}

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string Fixture(std::string_view name) {
    return ReadFile(std::filesystem::path(QUIRA_TEST_DATA) / "story" / name);
}

// A folder of its own under the system's temporary folder, removed with the
// object.
class TempDir {
  public:
    TempDir() {
        GError* error = nullptr;
        char* made = g_dir_make_tmp("quira-test-XXXXXX", &error);
        if (!made) {
            ADD_FAILURE() << "no temporary folder: " << (error ? error->message : "");
            g_clear_error(&error);
            return;
        }
        path_ = made;
        g_free(made);
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    // The path as a folder text with a trailing "/".
    std::string Folder() const { return path_.string() + "/"; }

  private:
    std::filesystem::path path_;
};

// Points the template loader at the bundle the build put beside the programs
// (other tests point the program folder elsewhere).
inline void UseShippedTemplates() {
    SetProgramFolder(std::string(QUIRA_BIN_DIR) + "/");
}

// A new user database with every table in the folder, installed as the
// process-wide one.
inline void UseNewStoryDatabase(const TempDir& dir) {
    const std::string path = (dir.Path() / "idata.dll").string();
    dbtest::MakeStoryDatabase(path);
    SetStoryDB(std::make_unique<TStoryDB>(path));
    ASSERT_NE(StoryDB(), nullptr);
}

}  // namespace storytest
