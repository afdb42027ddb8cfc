#pragma once

#include <cstddef>
#include <memory>

#include "platform/Charset.h"

namespace platform {
class SharedBlock;
}

// The request block through which the main program tells the reader which
// story and chapter to open ("X_QuiraReader", 770 bytes): three 256-byte text
// slots, then ContinueRead and Valid. The main program writes it, the reader
// only reads it. Both programs keep the block mapped until they end, so that a
// request outlives the object that wrote it until the started reader has read
// it.
class TXDataShare {
  public:
    static constexpr const char* kBlockName = "X_QuiraReader";
    static constexpr std::size_t kSlotSize = 256;
    static constexpr std::size_t kSiteIDOffset = 0;
    static constexpr std::size_t kStoryIDOffset = 256;
    static constexpr std::size_t kChapterIDOffset = 512;
    static constexpr std::size_t kContinueReadOffset = 768;
    static constexpr std::size_t kValidOffset = 769;
    static constexpr std::size_t kBlockSize = 770;

    // Opens (or creates) the block; without it the object has no view, writes
    // do nothing and reads give no request.
    TXDataShare();
    ~TXDataShare();
    TXDataShare(const TXDataShare&) = delete;
    TXDataShare& operator=(const TXDataShare&) = delete;

    bool HasBlock() const { return block_ != nullptr; }

    // All 770 bytes to 0 (Valid becomes 0).
    void Clear();
    // The request: each text cut to 255 bytes so that its slot keeps a NUL,
    // the rest of every slot 0, then ContinueRead and Valid := 1.
    void WriteRequest(const AnsiString& SiteID, const AnsiString& StoryID,
                      const AnsiString& ChapterID, unsigned char ContinueRead);
    // The reader's read: the three texts and ContinueRead while Valid is set,
    // else empty texts and 0. A text ends at its NUL, and never goes past its
    // slot when the NUL is missing.
    void Read(AnsiString& SiteID, AnsiString& StoryID, AnsiString& ChapterID,
              unsigned char& ContinueRead) const;

    // The main program calls this once at start: a request left in the block by
    // an earlier run (a reader still holding the block) must not be opened by a
    // reader started for something else.
    static void ClearLeftOverRequest();

  private:
    std::shared_ptr<platform::SharedBlock> block_;
};
