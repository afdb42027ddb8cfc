#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

// A named block of memory shared by the user's programs (POSIX shared memory,
// mode 0600, the name made per user and runtime folder). Whoever opens it first creates it
// zero-filled; the others reach the same bytes. The name is removed when its
// last user closes it, so a later program starts with a fresh block instead
// of one that nobody writes any more.
//
// The bytes are read and written through the object's descriptor, never
// through a mapping: any process of the user may shrink the object, and an
// access to a mapped page past its new end would end this one with SIGBUS.
class SharedBlock {
  public:
    // The block of at least size bytes; nullptr when it cannot be had (no
    // runtime folder, a block of that name owned by another user, no memory).
    static std::unique_ptr<SharedBlock> Open(std::string_view name, size_t size);

    ~SharedBlock();
    SharedBlock(const SharedBlock&) = delete;
    SharedBlock& operator=(const SharedBlock&) = delete;

    size_t Size() const { return size_; }
    // Copies count bytes at offset (within Size()) out of the block: false
    // when they are not all there (the object was shrunk) or cannot be read.
    bool Read(size_t offset, void* bytes, size_t count) const;
    // Writes them into the block; an object that was shrunk grows back, its
    // lost bytes reading as 0. False when they cannot all be written.
    bool Write(size_t offset, const void* bytes, size_t count) const;
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
    int fd_ = -1;
    size_t size_ = 0;
    bool created_ = false;
    int userLock_ = -1;  // shared flock held while open: tells who else uses it
};

}  // namespace platform
