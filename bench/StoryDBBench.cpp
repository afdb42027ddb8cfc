// Figures of the story database: storing and reading back a long chapter list
// in one batch, and listing a full shelf.

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/DBCreater.h"
#include "core/Folders.h"
#include "core/StoryDB.h"

namespace {

using Clock = std::chrono::steady_clock;

double Millis(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The best of a few runs: the figure least disturbed by the rest of the machine.
template <class F>
double Best(int runs, F&& work) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        work();
        best = std::min(best, Millis(start));
    }
    return best;
}

void StoreChapters(TStoryDB& db, const std::string& story, int count, int variant) {
    TStoryDB::ChapterBatch batch(db);
    for (int i = 0; i < count; ++i) {
        const std::string id = std::to_string(1000000 + i);
        db.AddChapter("site", story, id, "\xb5\xda\xd2\xbb\xbe\xed",
                      "\xb5\xda" + std::to_string(i + variant) + "\xd5\xc2", "", i);
    }
}

}  // namespace

int main() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quira-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return 1;
    const std::filesystem::path root = pattern;
    SetAppFolder(root.string() + "/");
    SetDataFolder(root.string() + "/");
    const std::string path = (root / "idata.dll").string();
    {
        // An empty file that the check fills with the six tables.
        TStoryDB create(path);
    }
    TDBCreater().CheckDatabase(path, (root / "none.dll").string());
    TStoryDB db(path);
    TSiteItemData site;
    site.SiteID = "site";
    site.SiteName = "bench";
    db.SaveSite("site", site);

    constexpr int kChapters = 10000;
    int story = 0;
    const double firstStore =
        Best(3, [&] { StoreChapters(db, "new" + std::to_string(story++), kChapters, 0); });
    int variant = 0;
    const double reStore = Best(3, [&] { StoreChapters(db, "new0", kChapters, ++variant); });
    std::vector<TChapterItemData> list;
    const double readBack = Best(5, [&] { db.GetChapterList("site", "new0", list); });
    std::printf(
        "chapter list of %d: first store %.1f ms, re-store %.1f ms, read back %.1f ms (%zu rows)\n",
        kChapters, firstStore, reStore, readBack, list.size());

    constexpr int kStories = 1000;
    for (int i = 0; i < kStories; ++i) {
        const std::string id = "shelf" + std::to_string(i);
        db.AddArticle("site", id, "\xca\xe9\xc3\xfb " + id, "author", "intro", "last", "", -1, "");
        db.SetInOnlineShelf("site", id, true);
        db.SetUpdateTime("site", id);
    }
    std::vector<TBookListData> shelf;
    const double shelfTime = Best(5, [&] { db.GetShelf(shelf, kShelfOnline); });
    std::printf("GetShelf over %d stories: %.2f ms (%zu rows)\n", kStories, shelfTime,
                shelf.size());

    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    return 0;
}
