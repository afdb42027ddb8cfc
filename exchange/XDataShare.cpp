#include "exchange/XDataShare.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/SharedBlock.h"

namespace {

// One block per process, opened by the first object and held until the
// process ends: freeing a TXDataShare must not take the request with it. A
// block of another runtime folder than the present one (the environment
// changed under a process that lives on, as a test program's does) is the
// present folder's block no more, so the present one is opened instead.
std::shared_ptr<platform::SharedBlock> KeptMapping() {
    static std::mutex lock;
    static std::shared_ptr<platform::SharedBlock> kept;
    std::lock_guard guard(lock);
    if (!kept || kept->ShmName() != platform::SharedBlock::ShmNameFor(TXDataShare::kBlockName))
        kept = platform::SharedBlock::Open(TXDataShare::kBlockName, TXDataShare::kBlockSize);
    return kept;
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
}

void TXDataShare::Clear() {
    WriteBlock(TReaderShareData{});
}

void TXDataShare::WriteRequest(const AnsiString& SiteID, const AnsiString& StoryID,
                               const AnsiString& ChapterID, unsigned char ContinueRead) {
    TReaderShareData request{};
    PutText(request.SiteID, SiteID);
    PutText(request.StoryID, StoryID);
    PutText(request.ChapterID, ChapterID);
    request.ContinueRead = ContinueRead;
    request.Valid = 1;
    WriteBlock(request);
}

void TXDataShare::WriteBlock(const TReaderShareData& block) {
    if (!MapHandle) return;
    // Valid goes to 0 first and to its new value last, so that no reader
    // ever takes half of a new request for a whole one.
    const unsigned char invalid = 0;
    if (!MapHandle->Write(kValidOffset, &invalid, 1)) return;
    if (!MapHandle->Write(0, &block, kValidOffset)) return;
    MapHandle->Write(kValidOffset, &block.Valid, 1);
}

void TXDataShare::Read(AnsiString& SiteID, AnsiString& StoryID, AnsiString& ChapterID,
                       unsigned char& ContinueRead) const {
    SiteID.clear();
    StoryID.clear();
    ChapterID.clear();
    ContinueRead = 0;
    // A block that someone shrank holds no request.
    TReaderShareData block{};
    if (!MapHandle || !MapHandle->Read(0, &block, kBlockSize) || block.Valid == 0) return;
    SiteID = GetText(block.SiteID);
    StoryID = GetText(block.StoryID);
    ChapterID = GetText(block.ChapterID);
    ContinueRead = block.ContinueRead;
}

void TXDataShare::ClearLeftOverRequest() {
    TXDataShare().Clear();
}
