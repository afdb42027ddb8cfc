#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>

namespace platform {
namespace {

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return fd_; }
    // Closes now; false when the close reports a failed write.
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

  private:
    int fd_;
};

bool WriteAll(int fd, std::string_view bytes) {
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        written += static_cast<size_t>(n);
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// A new temporary file beside path, created (never opened through a link)
// with the mode the umask gives.
int CreateTemporary(const std::string& path, std::string& name) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".part-%08x", g_random_int());
        name = path + suffix;
        const int fd =
            ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

enum class Linked { Done, Failed, Unsupported };

// A replaceable file written unnamed and then linked in whole. A new file is
// linked under its name at once: one change of the folder, and no look-up of
// the name before it, which would wait for the folder's lock while other
// workers link their chapters into the same folder. A file that exists is
// replaced by linking the unnamed one under a temporary name and renaming it
// over. Unsupported when the file system has no unnamed files (or the folder
// is missing); the caller then writes the usual way.
Linked WriteReplaceableByLink(const std::string& path, std::string_view bytes) {
    Fd fd(::open(FolderOf(path).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (fd.Get() < 0 || !WriteAll(fd.Get(), bytes)) return Linked::Unsupported;
    char self[32];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd.Get());
    if (::linkat(AT_FDCWD, self, AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return fd.Close() ? Linked::Done : Linked::Failed;
    if (errno != EEXIST) return Linked::Unsupported;
    // A replaced file keeps the mode its owner gave it.
    struct stat old {};
    if (::lstat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode) &&
        ::fchmod(fd.Get(), old.st_mode & 07777) != 0)
        return Linked::Failed;
    std::string name;
    for (int attempt = 0; attempt < 16 && name.empty(); ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".part-%08x", g_random_int());
        const std::string candidate = path + suffix;
        if (::linkat(AT_FDCWD, self, AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0)
            name = candidate;
        else if (errno != EEXIST)
            return Linked::Failed;
    }
    if (name.empty()) return Linked::Failed;
    if (!fd.Close() || ::rename(name.c_str(), path.c_str()) != 0) {
        ::unlink(name.c_str());
        return Linked::Failed;
    }
    return Linked::Done;
}

}  // namespace

mode_t NewFileMode() {
    // Read rather than set and reset: umask() changes it for every thread.
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) != 0) continue;
        try {
            return static_cast<mode_t>(0666 & ~std::stoul(line.substr(6), nullptr, 8));
        } catch (...) {
            break;
        }
    }
    return 0644;
}

bool SyncFolder(const std::string& folder) {
    const Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd.Get() >= 0 && ::fsync(fd.Get()) == 0;
}

bool WriteFileAtomic(const std::string& path, std::string_view bytes, FileDurability durability) {
    if (durability == FileDurability::Replaceable) {
        const Linked linked = WriteReplaceableByLink(path, bytes);
        if (linked != Linked::Unsupported) return linked == Linked::Done;
    }
    struct stat old {};
    const bool exists = ::lstat(path.c_str(), &old) == 0;
    std::string name;
    Fd fd(CreateTemporary(path, name));
    if (fd.Get() < 0) return false;
    const bool durable = durability == FileDurability::Durable;
    bool ok = WriteAll(fd.Get(), bytes);
    // A replaced file keeps the mode its owner gave it.
    if (ok && exists && S_ISREG(old.st_mode)) ok = ::fchmod(fd.Get(), old.st_mode & 07777) == 0;
    ok = ok && (!durable || ::fsync(fd.Get()) == 0);
    ok = fd.Close() && ok;
    ok = ok && ::rename(name.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(name.c_str());
        return false;
    }
    return !durable || SyncFolder(FolderOf(path));
}

bool ReplaceFileDurably(const std::string& temporary, const std::string& path) {
    bool ok = false;
    {
        Fd fd(::open(temporary.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW));
        ok = fd.Get() >= 0 && ::fsync(fd.Get()) == 0 && fd.Close();
    }
    ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    return SyncFolder(FolderOf(path));
}

}  // namespace platform
