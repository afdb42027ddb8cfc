#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

typedef struct _GMainContext GMainContext;

// Measures the chapter cache of the online shelf: every file directly inside a
// story folder under RootFolder (the BooK folder), story folders of the local
// shelf excepted, and collects what the clean-up dialog would delete.
class TCache {
  public:
    std::vector<std::string> ExcludeFolders;
    std::string RootFolder;
    // Every counted file and, after the files of each folder, the folder itself.
    std::vector<std::string> FoundPaths;
    int64_t TotalSize = 0;
    // Asked before each entry the scan looks at: true ends the scan there,
    // with what was found so far and Complete false. Called on the scanning
    // thread; empty: the scan runs to its end.
    std::function<bool()> StopRequested;
    // Whether the last Scan looked at every entry.
    bool Complete = false;

    void AddExclude(const std::string& folder);
    // Compared with a trailing "/" and without regard to ASCII letter case, so a
    // local-shelf folder spelled differently is still spared.
    bool IsExcluded(const std::string& folder) const;
    // Directories directly inside the folder. Symbolic links are not followed:
    // the clean-up deletes what is listed, and must never reach outside the
    // cache. False when a stop ended the listing.
    bool ListSubFolders(const std::string& folder, std::vector<std::string>& list) const;
    // Every entry directly inside the folder that is not a directory (hidden
    // files and symbolic links included, links by their own size). False when
    // a stop ended the listing.
    bool ScanFiles(const std::string& folder, std::vector<std::string>& list, int64_t& size) const;
    void Scan();

  private:
    bool Stopped() const { return StopRequested && StopRequested(); }
};

// True when a cache of totalSize bytes is over a limit given in MB (a real
// division: exactly the limit is not over it).
bool CacheOverLimit(int64_t totalSize, int maxCacheSizeMB);

// Runs one TCache scan off the user-interface thread and raises OnScanDone on
// the thread that runs the given GLib main context (the default context, that
// is the user-interface thread, unless told otherwise). It never frees itself
// when done: its owner (the main window, which starts the one scan of a run)
// frees it, from OnScanDone or later; freeing it earlier stops the scan at
// the next entry, waits for that and drops the report, so that a program
// ending during the scan of a large cache is not held up by it. The scan's
// thread ends with the scan; the object and its TCache live until the owner
// frees them.
class TCacheThread {
  public:
    using ScanDoneEvent = std::function<void(
        TCacheThread* sender, const std::vector<std::string>& foundPaths, int64_t totalSize)>;

    TCacheThread();  // created suspended
    ~TCacheThread();
    TCacheThread(const TCacheThread&) = delete;
    TCacheThread& operator=(const TCacheThread&) = delete;

    std::string RootFolder;
    ScanDoneEvent OnScanDone;
    TCache& Cache() { return *cache_; }

    // Starts the scan; call once, after RootFolder and the exclusions are set.
    void Resume(GMainContext* reportContext = nullptr);

  private:
    struct Shared;
    void Execute();

    std::unique_ptr<TCache> cache_;
    std::shared_ptr<Shared> shared_;
    GMainContext* context_ = nullptr;
    std::thread thread_;
};
