#include "reader/ReaderState.h"

#include <atomic>
#include <filesystem>

#include "core/AtomicFile.h"
#include "core/Folders.h"

namespace {

std::atomic<bool> localRead{false};
std::atomic<bool> online{true};

}  // namespace

bool IsLocalRead() {
    return localRead.load();
}

void SetLocalRead(bool value) {
    localRead = value;
}

bool IsOnline() {
    return online.load();
}

void SetOnline(bool value) {
    online = value;
}

void DeriveReaderFolders(bool withLocalRead) {
    SetAppFolder(GetSpecialFolder(26) + std::string(kAppFolderName) + "/");
    const std::string stored = ReadDataFolder();
    std::error_code error;
    SetDataFolder(!stored.empty() && std::filesystem::is_directory(stored, error) ? stored
                                                                                  : AppFolder());
    MakeFolders(BookFolder());
    if (withLocalRead) MakeFolders(LocalReadFolder());
}

std::string LocalReadFolder() {
    return BookFolder() + "LocalRead/";
}
