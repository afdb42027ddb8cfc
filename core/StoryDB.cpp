// TStoryDB: opening the database and its end, ClearTable, the folder-name
// source, and the process-wide object. The members of each group of tables
// are in StoryDBSites.cpp, StoryDBStories.cpp (stories and chapter lists),
// StoryDBShelves.cpp (shelves, folders, followed stories) and
// StoryDBHistory.cpp (reading history and parameters).

#include "core/StoryDB.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <utility>

#include "core/DBCreater.h"
#include "core/StoryDBImpl.h"

TStoryDB::TStoryDB() : TStoryDB(AppFolder() + std::string(kDatabaseFileName)) {}

TStoryDB::TStoryDB(const std::string& path, int busyTimeoutMs)
    : impl_(std::make_unique<Impl>(path, busyTimeoutMs)) {}

std::ostream& operator<<(std::ostream& out, TDBRead read) {
    switch (read.GetStatus()) {
        case TDBRead::Status::Found:
            return out << "found";
        case TDBRead::Status::Empty:
            return out << "empty";
        case TDBRead::Status::Failed:
            return out << "failed";
    }
    return out;
}

TStoryDB::~TStoryDB() = default;

void TStoryDB::SetFolderNameSource(std::function<std::string()> source) {
    std::lock_guard guard(impl_->lock);
    impl_->folderNameSource = std::move(source);
}

bool TStoryDB::ClearTable(std::string_view tableName) {
    // Only the six table names ever reach the statement text.
    for (const std::string_view table : kStoryTableNames) {
        if (table.size() != tableName.size()) continue;
        bool same = true;
        for (size_t i = 0; i < table.size() && same; ++i) {
            same = std::tolower(static_cast<unsigned char>(table[i])) ==
                   std::tolower(static_cast<unsigned char>(tableName[i]));
        }
        if (!same) continue;
        std::lock_guard guard(impl_->lock);
        return impl_->Execute("DELETE FROM " + std::string(table) + ";", {});
    }
    return false;
}

// ---- The process-wide object -------------------------------------------------

namespace {

std::mutex gOwnerLock;
std::unique_ptr<TStoryDB> gOwner;
std::atomic<TStoryDB*> gCurrent{nullptr};

}  // namespace

TStoryDB* StoryDB() {
    return gCurrent.load(std::memory_order_acquire);
}

bool CreateStoryDB() {
    try {
        SetStoryDB(std::make_unique<TStoryDB>());
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void SetStoryDB(std::unique_ptr<TStoryDB> db) {
    std::unique_ptr<TStoryDB> old;
    {
        std::lock_guard guard(gOwnerLock);
        gCurrent.store(db.get(), std::memory_order_release);
        old = std::exchange(gOwner, std::move(db));
    }
}

void FreeStoryDB() {
    SetStoryDB(nullptr);
}
