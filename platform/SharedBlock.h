#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

// A named block of memory shared by the user's programs (POSIX shared memory,
// mode 0600, the name made per user and runtime folder). Whoever opens it first creates it
// zero-filled; the others map the same bytes. The name is removed when its
// last user closes it, so a later program starts with a fresh block instead
// of one that nobody writes any more.
class SharedBlock {
  public:
    // The block of at least size bytes; nullptr when it cannot be had (no
    // runtime folder, a block of that name owned by another user, no memory).
    static std::unique_ptr<SharedBlock> Open(std::string_view name, size_t size);

    ~SharedBlock();
    SharedBlock(const SharedBlock&) = delete;
    SharedBlock& operator=(const SharedBlock&) = delete;

    unsigned char* Data() const { return data_; }
    size_t Size() const { return size_; }
    // True when this object made the block.
    bool Created() const { return created_; }
    const std::string& ShmName() const { return shmName_; }

    // The POSIX name a block name maps to for this user and runtime folder.
    static std::string ShmNameFor(std::string_view name);

    // Only Open() can make the key, so only Open() builds a block.
    class Key {
        friend class SharedBlock;
        Key() = default;
    };
    explicit SharedBlock(Key) {}

  private:
    std::string shmName_;
    unsigned char* data_ = nullptr;
    size_t size_ = 0;
    bool created_ = false;
    int userLock_ = -1;  // shared flock held while mapped: tells who else uses it
};

}  // namespace platform
