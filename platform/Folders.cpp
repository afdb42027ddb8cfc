#include "platform/Folders.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>

namespace platform {
namespace {

constexpr std::string_view kRuntimeSubfolder = "Velqo";

std::string EnvPath(const char* name) {
    const char* value = std::getenv(name);
    // XDG says relative paths are invalid and must be ignored.
    if (!value || value[0] != '/') return {};
    std::string path(value);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// A folder that only this user can enter: made with 0700 when missing, and
// accepted only when it is a real folder of ours (no link). One of ours with
// access for others is closed (inside a private runtime folder nobody else
// can have reached it), unless strict: in a folder that everybody may write
// to, such a folder may hold what others put there, and is refused.
bool EnsurePrivateFolder(const std::string& path, bool strict = false) {
    const bool made = mkdir(path.c_str(), 0700) == 0;
    if (!made && errno != EEXIST) return false;
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) return false;
    if (!S_ISDIR(info.st_mode) || info.st_uid != getuid()) return false;
    if ((info.st_mode & 07777) == 0700) return true;
    if (strict && !made) return false;
    return chmod(path.c_str(), 0700) == 0;
}

// Where the runtime folder goes without XDG_RUNTIME_DIR when the shared
// temporary folder offers none of ours: the user's cache folder, which no
// other user can write to, one per machine (homes may be shared).
std::string CacheRuntimeFolder() {
    std::string cache = EnvPath("XDG_CACHE_HOME");
    if (cache.empty()) cache = HomeFolder() + "/.cache";
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0 || !host[0]) std::strcpy(host, "localhost");
    std::string path = cache + "/velqo-runtime-" + host;
    for (size_t i = cache.size() + 1; i < path.size(); ++i)
        if (path[i] == '/') path[i] = '_';
    std::error_code error;
    std::filesystem::create_directories(cache, error);
    return EnsurePrivateFolder(path, true) ? path : std::string();
}

// Said once per process: the programs still work, in another folder.
void TellOfRefusedFolder(const std::string& refused, const std::string& used) {
    static std::atomic<bool> told{false};
    if (told.exchange(true)) return;
    std::fprintf(stderr,
                 "Velqo: %s is not a private folder of this user (another user's, a link, or open "
                 "to others); the programs meet in %s instead\n",
                 refused.c_str(), used.empty() ? "no folder at all" : used.c_str());
}

// The value of one XDG_*_DIR line of user-dirs.dirs: "$HOME/..." or absolute.
std::string UserDirFromFile(const std::string& key) {
    std::ifstream file(ConfigHomeFolder() + "/user-dirs.dirs");
    std::string line;
    const std::string prefix = key + "=\"";
    while (std::getline(file, line)) {
        if (!line.starts_with(prefix) || !line.ends_with('"')) continue;
        std::string value = line.substr(prefix.size(), line.size() - prefix.size() - 1);
        if (value.starts_with("$HOME")) value = HomeFolder() + value.substr(5);
        if (value.empty() || value[0] != '/') return {};
        while (value.size() > 1 && value.back() == '/') value.pop_back();
        return value;
    }
    return {};
}

}  // namespace

std::string HomeFolder() {
    std::string home = EnvPath("HOME");
    if (!home.empty()) return home;
    if (const passwd* account = getpwuid(getuid()); account && account->pw_dir) {
        return account->pw_dir;
    }
    return "/";
}

std::string DataHomeFolder() {
    std::string path = EnvPath("XDG_DATA_HOME");
    return path.empty() ? HomeFolder() + "/.local/share" : path;
}

std::string ConfigHomeFolder() {
    std::string path = EnvPath("XDG_CONFIG_HOME");
    return path.empty() ? HomeFolder() + "/.config" : path;
}

std::string DesktopFolder() {
    std::string path = UserDirFromFile("XDG_DESKTOP_DIR");
    // user-dirs.dirs points the desktop at HOME itself when there is none.
    return path.empty() ? HomeFolder() + "/Desktop" : path;
}

std::string StartMenuFolder() {
    return DataHomeFolder() + "/applications";
}

std::string RuntimeFolder() {
    std::string base = EnvPath("XDG_RUNTIME_DIR");
    if (base.empty()) {
        // Anyone may make this name first in the shared temporary folder.
        std::string temporary = EnvPath("TMPDIR");
        if (temporary.empty()) temporary = "/tmp";
        base = temporary + "/velqo-" + std::to_string(getuid());
        if (EnsurePrivateFolder(base, true)) return base;
        const std::string fallback = CacheRuntimeFolder();
        TellOfRefusedFolder(base, fallback);
        return fallback;
    }
    std::string path = base + "/" + std::string(kRuntimeSubfolder);
    return EnsurePrivateFolder(path) ? path : std::string();
}

std::string ProgramFile() {
    std::error_code error;
    const auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

std::string ProgramFolderOf(const std::string& file) {
    return std::filesystem::path(file).parent_path().string();
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    // One descriptor, closed on every way out.
    struct Closer {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;
    if (info.st_size > 0) bytes.reserve(static_cast<size_t>(info.st_size));
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, static_cast<size_t>(n));
        } else if (n == 0) {
            return true;
        } else if (errno != EINTR) {
            bytes.clear();
            return false;
        }
    }
}

long long RegularFileSize(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
    return static_cast<long long>(info.st_size);
}

bool MakeFolders(const std::string& path) {
    if (path.empty()) return false;
    std::error_code error;
    std::filesystem::create_directories(path, error);
    return std::filesystem::is_directory(path, error);
}

}  // namespace platform
