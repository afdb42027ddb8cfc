#include "shelf/XDataShare.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "platform/SharedBlock.h"

namespace {

// One mapping per process, opened by the first object and held until the
// process ends: freeing a TXDataShare must not take the request with it.
std::shared_ptr<platform::SharedBlock> KeptBlock() {
    static std::mutex lock;
    static std::shared_ptr<platform::SharedBlock> kept;
    std::lock_guard guard(lock);
    if (!kept) kept = platform::SharedBlock::Open(TXDataShare::kBlockName, TXDataShare::kBlockSize);
    return kept;
}

std::atomic_ref<unsigned char> ValidByte(unsigned char* block) {
    return std::atomic_ref<unsigned char>(block[TXDataShare::kValidOffset]);
}

void PutText(unsigned char* slot, const AnsiString& text) {
    const std::size_t length = std::min(text.size(), TXDataShare::kSlotSize - 1);
    std::memcpy(slot, text.data(), length);
}

AnsiString GetText(const unsigned char* slot) {
    const auto* begin = reinterpret_cast<const char*>(slot);
    const void* nul = std::memchr(begin, 0, TXDataShare::kSlotSize);
    const std::size_t length = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - begin)
                                   : TXDataShare::kSlotSize;
    return AnsiString(begin, length);
}

}  // namespace

TXDataShare::TXDataShare() : block_(KeptBlock()) {}

TXDataShare::~TXDataShare() = default;

void TXDataShare::Clear() {
    if (!block_) return;
    unsigned char* data = block_->Data();
    ValidByte(data).store(0, std::memory_order_release);
    std::memset(data, 0, kBlockSize);
}

void TXDataShare::WriteRequest(const AnsiString& SiteID, const AnsiString& StoryID,
                               const AnsiString& ChapterID, unsigned char ContinueRead) {
    if (!block_) return;
    unsigned char* data = block_->Data();
    // Valid goes to 0 first and back to 1 last, so that no reader ever takes
    // half of a new request for a whole one.
    ValidByte(data).store(0, std::memory_order_release);
    std::memset(data, 0, kValidOffset);
    PutText(data + kSiteIDOffset, SiteID);
    PutText(data + kStoryIDOffset, StoryID);
    PutText(data + kChapterIDOffset, ChapterID);
    data[kContinueReadOffset] = ContinueRead;
    ValidByte(data).store(1, std::memory_order_release);
}

void TXDataShare::Read(AnsiString& SiteID, AnsiString& StoryID, AnsiString& ChapterID,
                       unsigned char& ContinueRead) const {
    SiteID.clear();
    StoryID.clear();
    ChapterID.clear();
    ContinueRead = 0;
    if (!block_) return;
    const unsigned char* data = block_->Data();
    if (ValidByte(block_->Data()).load(std::memory_order_acquire) == 0) return;
    SiteID = GetText(data + kSiteIDOffset);
    StoryID = GetText(data + kStoryIDOffset);
    ChapterID = GetText(data + kChapterIDOffset);
    ContinueRead = data[kContinueReadOffset];
}

void TXDataShare::ClearLeftOverRequest() {
    TXDataShare().Clear();
}
