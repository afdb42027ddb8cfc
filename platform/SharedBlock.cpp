#include "platform/SharedBlock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/Folders.h"

namespace platform {
namespace {

int FlockRetry(int fd, int operation) {
    int rc;
    do {
        rc = flock(fd, operation);
    } while (rc != 0 && errno == EINTR);
    return rc;
}

// One descriptor, closed with its owner.
class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return fd_; }
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

  private:
    int fd_;
};

}  // namespace

std::string SharedBlock::ShmNameFor(std::string_view name) {
    // POSIX names are machine-wide: the runtime folder's identity keeps the
    // blocks of separate sessions (and of tests with private runtime
    // folders) apart, as the lock files beside them already are.
    std::string shm = "/velqo-" + std::to_string(getuid()) + "-";
    struct stat folder {};
    const std::string runtime = RuntimeFolder();
    if (!runtime.empty() && stat(runtime.c_str(), &folder) == 0) {
        char id[40];
        snprintf(id, sizeof id, "%llx.%llx-", static_cast<unsigned long long>(folder.st_dev),
                 static_cast<unsigned long long>(folder.st_ino));
        shm += id;
    }
    for (const char c : name) shm.push_back(c == '/' || c == '\0' ? '_' : c);
    return shm;
}

std::unique_ptr<SharedBlock> SharedBlock::Open(std::string_view name, size_t size) {
    if (size == 0) return nullptr;
    const std::string folder = RuntimeFolder();
    if (folder.empty()) return nullptr;
    auto block = std::make_unique<SharedBlock>(Key{});
    block->shmName_ = ShmNameFor(name);

    // Every user holds this lock shared; the last one to leave gets it
    // exclusively and removes the name. Taking it before shm_open also waits
    // out a leaver that is removing the name right now.
    std::string lockPath = folder + "/" + block->shmName_.substr(1) + ".shm.lock";
    Fd lock(open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (lock.Get() < 0 || FlockRetry(lock.Get(), LOCK_SH) != 0) return nullptr;

    int raw = shm_open(block->shmName_.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    if (raw >= 0) {
        block->created_ = true;
    } else if (errno == EEXIST) {
        raw = shm_open(block->shmName_.c_str(), O_RDWR, 0);
    }
    Fd shm(raw);
    if (shm.Get() < 0) return nullptr;
    if (!block->created_) {
        struct stat owner {};
        // A block of our name made by someone else could be read by them.
        if (fstat(shm.Get(), &owner) != 0 || owner.st_uid != getuid()) return nullptr;
        if ((owner.st_mode & 0077) != 0 && fchmod(shm.Get(), 0600) != 0) return nullptr;
    }

    struct stat info {};
    if (fstat(shm.Get(), &info) != 0) return nullptr;
    if (static_cast<size_t>(info.st_size) < size &&
        ftruncate(shm.Get(), static_cast<off_t>(size)) != 0) {
        if (block->created_) shm_unlink(block->shmName_.c_str());
        return nullptr;
    }
    block->fd_ = shm.Release();
    block->size_ = size;
    block->userLock_ = lock.Release();
    return block;
}

bool SharedBlock::Read(size_t offset, void* bytes, size_t count) const {
    if (offset > size_ || count > size_ - offset) return false;
    auto* out = static_cast<char*>(bytes);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = pread(fd_, out + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;  // 0: the object ends before them
        done += static_cast<size_t>(n);
    }
    return true;
}

bool SharedBlock::Write(size_t offset, const void* bytes, size_t count) const {
    if (offset > size_ || count > size_ - offset) return false;
    const auto* in = static_cast<const char*>(bytes);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = pwrite(fd_, in + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

SharedBlock::~SharedBlock() {
    if (fd_ >= 0) close(fd_);
    if (userLock_ >= 0) {
        if (FlockRetry(userLock_, LOCK_EX | LOCK_NB) == 0) shm_unlink(shmName_.c_str());
        close(userLock_);
    }
}

}  // namespace platform
