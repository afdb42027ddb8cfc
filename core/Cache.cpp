#include "core/Cache.h"

#include "platform/MainContextPost.h"

#include <dirent.h>
#include <glib.h>
#include <sys/stat.h>

#include <mutex>

namespace {

std::string WithSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && g_ascii_strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

bool IsDotEntry(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

}  // namespace

void TCache::AddExclude(const std::string& folder) {
    ExcludeFolders.push_back(folder);
}

bool TCache::IsExcluded(const std::string& folder) const {
    const std::string wanted = WithSlash(folder);
    for (const auto& excluded : ExcludeFolders)
        if (EqualsNoCase(WithSlash(excluded), wanted)) return true;
    return false;
}

void TCache::ListSubFolders(const std::string& folder, std::vector<std::string>& list) {
    const DirHandle dir(::opendir(folder.c_str()));
    if (!dir) return;
    const std::string base = WithSlash(folder);
    while (const dirent* entry = ::readdir(dir.get())) {
        if (IsDotEntry(entry->d_name)) continue;
        const std::string path = base + entry->d_name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) list.push_back(path);
    }
}

void TCache::ScanFiles(const std::string& folder, std::vector<std::string>& list, int64_t& size) {
    const DirHandle dir(::opendir(folder.c_str()));
    if (!dir) return;
    const std::string base = WithSlash(folder);
    while (const dirent* entry = ::readdir(dir.get())) {
        if (IsDotEntry(entry->d_name)) continue;
        const std::string path = base + entry->d_name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
        size += st.st_size;
        list.push_back(path);
    }
}

void TCache::Scan() {
    FoundPaths.clear();
    TotalSize = 0;
    std::vector<std::string> folders;
    ListSubFolders(RootFolder, folders);
    for (const auto& folder : folders) {
        if (IsExcluded(folder)) continue;
        ScanFiles(folder, FoundPaths, TotalSize);
        FoundPaths.push_back(folder);
    }
}

bool CacheOverLimit(int64_t totalSize, int maxCacheSizeMB) {
    return static_cast<double>(totalSize) / 1024.0 / 1024.0 > static_cast<double>(maxCacheSizeMB);
}

// What the scanner thread and the report share with the owner. The report
// holds the (recursive) lock while it runs, so the owner, freeing the object
// from any thread, waits for a report in flight, and a handler that frees the
// object itself does not deadlock.
struct TCacheThread::Shared {
    std::recursive_mutex mutex;
    bool alive = true;
};

TCacheThread::TCacheThread()
    : cache_(std::make_unique<TCache>()), shared_(std::make_shared<Shared>()) {}

TCacheThread::~TCacheThread() {
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->alive = false;
    }
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
    if (thread_.joinable()) thread_.detach();
}

void TCacheThread::Resume(GMainContext* reportContext) {
    if (thread_.joinable()) return;
    context_ = reportContext;
    thread_ = std::thread([this] { Execute(); });
}

void TCacheThread::Execute() {
    cache_->RootFolder = RootFolder;
    cache_->Scan();
    // The report runs on the context's thread, maybe after this thread has
    // ended; it reaches the object only while the owner has not freed it.
    platform::PostToContext(context_, [shared = shared_, self = this] {
        const std::lock_guard lock(shared->mutex);  // shared outlives a handler that frees self
        if (!shared->alive || !self->OnScanDone) return;
        self->OnScanDone(self, self->cache_->FoundPaths, self->cache_->TotalSize);
    });
}
