#include "platform/NamedLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Folders.h"

namespace platform {

std::string NamedLock::LockFile(std::string_view name) {
    const std::string folder = RuntimeFolder();
    if (folder.empty()) return {};
    std::string file(name);
    for (char& c : file) {
        if (c == '/' || c == '\0') c = '_';
    }
    return folder + "/" + file + ".lock";
}

NamedLock::NamedLock(std::string_view name) {
    const std::string path = LockFile(name);
    if (path.empty()) return;
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0) return;
    int rc;
    do {
        rc = flock(fd_, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) {
        status_ = Status::kAcquired;
        return;
    }
    status_ = errno == EWOULDBLOCK ? Status::kHeldElsewhere : Status::kUnavailable;
    close(fd_);
    fd_ = -1;
}

NamedLock::~NamedLock() {
    Release();
}

void NamedLock::Release() {
    // The file stays: removing it would let a newcomer lock a fresh file while
    // a third process still waits on the old one.
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (status_ == Status::kAcquired) status_ = Status::kUnavailable;
}

}  // namespace platform
