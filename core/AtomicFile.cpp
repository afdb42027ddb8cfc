#include "core/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <vector>

bool WriteFileAtomic(const std::string& path, std::string_view bytes) {
    std::vector<char> name(path.begin(), path.end());
    const std::string suffix = ".part-XXXXXX";
    name.insert(name.end(), suffix.begin(), suffix.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) return false;
    bool ok = true;
    size_t written = 0;
    while (ok && written < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            ok = false;
        else
            written += static_cast<size_t>(n);
    }
    // mkstemp makes the file private; the result is an ordinary user file.
    ok = ok && fchmod(fd, 0644) == 0;
    ok = (close(fd) == 0) && ok;
    ok = ok && rename(name.data(), path.c_str()) == 0;
    if (!ok) unlink(name.data());
    return ok;
}

bool MakeFolders(const std::string& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    return std::filesystem::is_directory(folder, error);
}
