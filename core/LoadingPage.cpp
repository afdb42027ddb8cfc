#include "core/LoadingPage.h"

#include "core/AtomicFile.h"
#include "core/Folders.h"
#include "core/PageTemplate.h"
#include "platform/Folders.h"

std::string LoadingPageFile() {
    return AppFolder() + std::string(kImageFolderName) + "/Loading.html";
}

bool WriteLoadingPage() {
    const std::string page = LoadTemplateText("Loading");
    if (page.empty()) return false;
    const std::string file = LoadingPageFile();
    std::string stored;
    // The other program may show the page right now: an equal file stays.
    if (platform::ReadWholeFile(file, stored) && stored == page) return true;
    return MakeFolders(AppFolder() + std::string(kImageFolderName)) &&
           WriteFileAtomic(file, page, FileDurability::Replaceable);
}
