#include "shelf/CacheScan.h"

#include "core/StoryDB.h"

std::unique_ptr<TCacheThread> NewCacheScan(TStoryDB* db, const std::string& bookFolder,
                                           TCacheThread::ScanDoneEvent onDone) {
    auto thread = std::make_unique<TCacheThread>();
    thread->RootFolder = bookFolder;
    thread->OnScanDone = std::move(onDone);
    if (db) {
        std::vector<TBookListData> local;
        db->GetShelf(local, kShelfLocal);
        for (const TBookListData& book : local)
            thread->Cache().AddExclude(bookFolder + platform::AnsiToUtf8(book.FolderName));
    }
    thread->Resume();
    return thread;
}
