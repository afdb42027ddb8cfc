#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>

namespace testing_support {

// A temporary folder removed with everything in it at the end of the test.
// With a profile, HOME and the XDG folders point into it for the test's
// lifetime, so a test never touches the real user's files.
class TempTree {
  public:
    enum class Profile { kNone, kXdg };

    explicit TempTree(Profile profile = Profile::kNone) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quira-test-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
        if (profile == Profile::kXdg) {
            SetEnv("HOME", Make("home"));
            SetEnv("XDG_DATA_HOME", Make("home/.local/share"));
            SetEnv("XDG_CONFIG_HOME", Make("home/.config"));
            SetEnv("XDG_RUNTIME_DIR", Make("run"));
            std::filesystem::permissions(root_ / "run", std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::replace);
        }
    }
    ~TempTree() {
        for (const auto& [name, value] : saved_) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::filesystem::path& Root() const { return root_; }
    // A path below the root, as text; with a trailing "/" when asked.
    std::string Path(const std::string& relative = "", bool folder = false) const {
        std::string path = (root_ / relative).string();
        if (folder && !path.ends_with('/')) path.push_back('/');
        return path;
    }
    // Creates the folder (and its parents) below the root; returns its path.
    std::string Make(const std::string& relative) const {
        std::filesystem::create_directories(root_ / relative);
        return (root_ / relative).string();
    }
    // Writes a file below the root, creating its folder; returns its path.
    std::string Write(const std::string& relative, const std::string& bytes) const {
        const auto path = root_ / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }
    static std::string Read(const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    }

    // Sets an environment variable until the end of the test.
    void SetEnv(const std::string& name, const std::string& value) {
        Remember(name);
        setenv(name.c_str(), value.c_str(), 1);
    }
    void UnsetEnv(const std::string& name) {
        Remember(name);
        unsetenv(name.c_str());
    }

  private:
    void Remember(const std::string& name) {
        if (saved_.count(name)) return;
        const char* value = getenv(name.c_str());
        saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
    }

    std::filesystem::path root_;
    std::map<std::string, std::optional<std::string>> saved_;
};

}  // namespace testing_support
