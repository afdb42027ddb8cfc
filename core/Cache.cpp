#include "core/Cache.h"

#include "platform/MainContextPost.h"

#include <dirent.h>
#include <glib.h>
#include <sys/stat.h>

#include <atomic>
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

bool TCache::ListSubFolders(const std::string& folder, std::vector<std::string>& list) const {
    const DirHandle dir(::opendir(folder.c_str()));
    if (!dir) return true;
    const std::string base = WithSlash(folder);
    while (const dirent* entry = ::readdir(dir.get())) {
        if (IsDotEntry(entry->d_name)) continue;
        if (Stopped()) return false;
        const std::string path = base + entry->d_name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) list.push_back(path);
    }
    return true;
}

bool TCache::ScanFiles(const std::string& folder, std::vector<std::string>& list,
                       int64_t& size) const {
    const DirHandle dir(::opendir(folder.c_str()));
    if (!dir) return true;
    const std::string base = WithSlash(folder);
    while (const dirent* entry = ::readdir(dir.get())) {
        if (IsDotEntry(entry->d_name)) continue;
        if (Stopped()) return false;
        const std::string path = base + entry->d_name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
        size += st.st_size;
        list.push_back(path);
    }
    return true;
}

void TCache::Scan() {
    FoundPaths.clear();
    TotalSize = 0;
    Complete = false;
    std::vector<std::string> folders;
    if (!ListSubFolders(RootFolder, folders)) return;
    for (const auto& folder : folders) {
        if (IsExcluded(folder)) continue;
        // A folder whose files were not all looked at is not listed: the
        // clean-up would find it still full.
        if (!ScanFiles(folder, FoundPaths, TotalSize)) return;
        FoundPaths.push_back(folder);
    }
    Complete = true;
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
    // Set by the owner freeing the object: the scan ends at its next entry.
    std::atomic<bool> stop{false};
};

TCacheThread::TCacheThread()
    : cache_(std::make_unique<TCache>()), shared_(std::make_shared<Shared>()) {
    cache_->StopRequested = [shared = shared_.get()] { return shared->stop.load(); };
}

TCacheThread::~TCacheThread() {
    shared_->stop = true;
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
    // Stopped by the owner, which is freeing this object: nobody waits for
    // a report.
    if (!cache_->Complete) return;
    // The report runs on the context's thread, maybe after this thread has
    // ended; it reaches the object only while the owner has not freed it.
    platform::PostToContext(context_, [shared = shared_, self = this] {
        const std::lock_guard lock(shared->mutex);  // shared outlives a handler that frees self
        if (!shared->alive || !self->OnScanDone) return;
        self->OnScanDone(self, self->cache_->FoundPaths, self->cache_->TotalSize);
    });
}
