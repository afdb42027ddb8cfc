#pragma once

#include <cstddef>
#include <memory>

#include "platform/Charset.h"

namespace platform {
class SharedBlock;
}

// The request block between the two programs, as it lies in the shared
// memory: three text slots (ANSI bytes, NUL-terminated, at most 255 bytes of
// text, the rest of the slot 0), then ContinueRead (1: open the story at its
// saved position; 0: open ChapterID) and Valid (1 once a request is written).
struct TReaderShareData {
    char SiteID[256];
    char StoryID[256];
    char ChapterID[256];
    unsigned char ContinueRead;
    unsigned char Valid;
};

// The request block through which the main program tells the reader which
// story and chapter to open ("X_QuiraReader", 770 bytes). The main program
// writes it, the reader only reads it. Both programs keep the block mapped
// until they end, so that a request outlives the object that wrote it until
// the started reader has read it.
class TXDataShare {
  public:
    static constexpr const char* kBlockName = "X_QuiraReader";
    static constexpr std::size_t kSlotSize = sizeof(TReaderShareData::SiteID);
    static constexpr std::size_t kSiteIDOffset = offsetof(TReaderShareData, SiteID);
    static constexpr std::size_t kStoryIDOffset = offsetof(TReaderShareData, StoryID);
    static constexpr std::size_t kChapterIDOffset = offsetof(TReaderShareData, ChapterID);
    static constexpr std::size_t kContinueReadOffset = offsetof(TReaderShareData, ContinueRead);
    static constexpr std::size_t kValidOffset = offsetof(TReaderShareData, Valid);
    static constexpr std::size_t kBlockSize = sizeof(TReaderShareData);

    // Opens (or creates) the block (OpenMapping); without it writes do
    // nothing and reads give no request.
    TXDataShare();
    ~TXDataShare();
    TXDataShare(const TXDataShare&) = delete;
    TXDataShare& operator=(const TXDataShare&) = delete;

    bool HasBlock() const { return MapHandle != nullptr; }

    // All 770 bytes to 0 (Valid becomes 0).
    void Clear();
    // The request: each text cut to 255 bytes so that its slot keeps a NUL,
    // the rest of every slot 0, then ContinueRead and Valid := 1.
    void WriteRequest(const AnsiString& SiteID, const AnsiString& StoryID,
                      const AnsiString& ChapterID, unsigned char ContinueRead);
    // The reader's read: the three texts and ContinueRead while Valid is set,
    // else empty texts and 0 (also when the block was shrunk below its
    // size). A text ends at its NUL, and never goes past its slot when the
    // NUL is missing.
    void Read(AnsiString& SiteID, AnsiString& StoryID, AnsiString& ChapterID,
              unsigned char& ContinueRead) const;

    // The main program calls this once at start: a request left in the block by
    // an earlier run (a reader still holding the block) must not be opened by a
    // reader started for something else.
    static void ClearLeftOverRequest();

  private:
    // Opens the block: created by whichever program comes first, opened by
    // the other; one per process, kept until the process ends.
    void OpenMapping();
    // All its bytes, Valid last.
    void WriteBlock(const TReaderShareData& block);

    // The block (shared by every object of the process), reached through its
    // descriptor; empty when it could not be had.
    std::shared_ptr<platform::SharedBlock> MapHandle;
};

static_assert(sizeof(TReaderShareData) == 770,
              "the block's layout is shared with the other program");
static_assert(TXDataShare::kStoryIDOffset == 256 && TXDataShare::kChapterIDOffset == 512 &&
              TXDataShare::kContinueReadOffset == 768 && TXDataShare::kValidOffset == 769);
