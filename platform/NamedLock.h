#pragma once

#include <string>
#include <string_view>

namespace platform {

// A lock that one process of the user holds at a time, by name (the single
// instance of a program). It is an flock on a file in the runtime folder, so
// the kernel releases it when the holder ends, however it ends; programs it
// starts do not inherit it.
class NamedLock {
  public:
    enum class Status {
        kAcquired,       // this object holds the lock
        kHeldElsewhere,  // another process holds it
        kUnavailable,    // no private runtime folder or lock file: nothing known
    };

    explicit NamedLock(std::string_view name);
    ~NamedLock();
    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;

    Status GetStatus() const { return status_; }
    bool Acquired() const { return status_ == Status::kAcquired; }
    void Release();

    // The lock file a name maps to; empty without a runtime folder.
    static std::string LockFile(std::string_view name);

  private:
    int fd_ = -1;
    Status status_ = Status::kUnavailable;
};

}  // namespace platform
