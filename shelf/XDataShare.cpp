#include "shelf/XDataShare.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "platform/SharedBlock.h"

namespace {

// One mapping per process, opened by the first object and held until the
// process ends: freeing a TXDataShare must not take the request with it.
std::shared_ptr<platform::SharedBlock> KeptMapping() {
    static std::mutex lock;
    static std::shared_ptr<platform::SharedBlock> kept;
    std::lock_guard guard(lock);
    if (!kept) kept = platform::SharedBlock::Open(TXDataShare::kBlockName, TXDataShare::kBlockSize);
    return kept;
}

std::atomic_ref<unsigned char> ValidByte(TReaderShareData& block) {
    return std::atomic_ref<unsigned char>(block.Valid);
}

void PutText(char (&slot)[TXDataShare::kSlotSize], const AnsiString& text) {
    const std::size_t length = std::min(text.size(), TXDataShare::kSlotSize - 1);
    std::memcpy(slot, text.data(), length);
}

AnsiString GetText(const char (&slot)[TXDataShare::kSlotSize]) {
    const void* nul = std::memchr(slot, 0, TXDataShare::kSlotSize);
    const std::size_t length = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - slot)
                                   : TXDataShare::kSlotSize;
    return AnsiString(slot, length);
}

}  // namespace

TXDataShare::TXDataShare() {
    OpenMapping();
}

TXDataShare::~TXDataShare() = default;

void TXDataShare::OpenMapping() {
    MapHandle = KeptMapping();
    Block = MapHandle ? reinterpret_cast<TReaderShareData*>(MapHandle->Data()) : nullptr;
}

void TXDataShare::Clear() {
    if (!Block) return;
    ValidByte(*Block).store(0, std::memory_order_release);
    std::memset(static_cast<void*>(Block), 0, kBlockSize);
}

void TXDataShare::WriteRequest(const AnsiString& SiteID, const AnsiString& StoryID,
                               const AnsiString& ChapterID, unsigned char ContinueRead) {
    if (!Block) return;
    // Valid goes to 0 first and back to 1 last, so that no reader ever takes
    // half of a new request for a whole one.
    ValidByte(*Block).store(0, std::memory_order_release);
    std::memset(static_cast<void*>(Block), 0, kValidOffset);
    PutText(Block->SiteID, SiteID);
    PutText(Block->StoryID, StoryID);
    PutText(Block->ChapterID, ChapterID);
    Block->ContinueRead = ContinueRead;
    ValidByte(*Block).store(1, std::memory_order_release);
}

void TXDataShare::Read(AnsiString& SiteID, AnsiString& StoryID, AnsiString& ChapterID,
                       unsigned char& ContinueRead) const {
    SiteID.clear();
    StoryID.clear();
    ChapterID.clear();
    ContinueRead = 0;
    if (!Block || ValidByte(*Block).load(std::memory_order_acquire) == 0) return;
    SiteID = GetText(Block->SiteID);
    StoryID = GetText(Block->StoryID);
    ChapterID = GetText(Block->ChapterID);
    ContinueRead = Block->ContinueRead;
}

void TXDataShare::ClearLeftOverRequest() {
    TXDataShare().Clear();
}
