// Figures of the story database: storing a 10,000-chapter list in one batch,
// new and again, each against a bare SQLite insert of the same rows (one
// prepared statement, one transaction) measured in the same run; reading the
// list back; listing a full shelf; replacing and merging a reading history
// of 20,000 rows as a sync brings it back.

#include <sqlite3.h>
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
#include "platform/Charset.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kChapters = 10000;
// The store may take at most this many times the bare insert.
constexpr double kGoalRatio = 2.0;

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

struct Row {
    std::string id;
    AnsiString volume, name;  // GBK, as the story reader passes them
};

std::vector<Row> Rows(int variant) {
    std::vector<Row> rows;
    rows.reserve(kChapters);
    for (int i = 0; i < kChapters; ++i)
        rows.push_back({std::to_string(1000000 + i), "\xb5\xda\xd2\xbb\xbe\xed",
                        "\xb5\xda" + std::to_string(i + variant) + "\xd5\xc2"});
    return rows;
}

bool StoreChapters(TStoryDB& db, const std::string& story, const std::vector<Row>& rows) {
    TStoryDB::ChapterBatch batch(db);
    int position = 0;
    for (const Row& row : rows)
        db.AddChapter("site", story, row.id, row.volume, row.name, "", position++);
    return batch.Commit();
}

// The same rows with one prepared statement in one transaction, the texts
// already in UTF-8, on a connection of its own opened before the clock runs:
// what SQLite itself needs for the work.
class BareInsert {
  public:
    explicit BareInsert(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            sqlite3_close(db_);
            db_ = nullptr;
        }
    }
    ~BareInsert() { sqlite3_close(db_); }
    BareInsert(const BareInsert&) = delete;
    BareInsert& operator=(const BareInsert&) = delete;

    bool Run(const std::string& story, const std::vector<Row>& rows) {
        if (!db_) return false;
        std::vector<std::string> volumes, names;
        for (const Row& row : rows) {
            volumes.push_back(platform::AnsiToUtf8(row.volume));
            names.push_back(platform::AnsiToUtf8(row.name));
        }
        sqlite3_stmt* insert = nullptr;
        bool ok = sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK &&
                  sqlite3_prepare_v2(db_,
                                     "INSERT INTO Chapter(ID,SiteID,ArticleID,ChapterID,"
                                     "SubVolumnsName,ChapterName,ChapterContent) "
                                     "VALUES(?,?,?,?,?,?,?)",
                                     -1, &insert, nullptr) == SQLITE_OK;
        for (size_t i = 0; ok && i < rows.size(); ++i) {
            sqlite3_bind_int64(insert, 1, static_cast<sqlite3_int64>(i));
            sqlite3_bind_text(insert, 2, "site", 4, SQLITE_STATIC);
            sqlite3_bind_text(insert, 3, story.data(), static_cast<int>(story.size()),
                              SQLITE_STATIC);
            sqlite3_bind_text(insert, 4, rows[i].id.data(), static_cast<int>(rows[i].id.size()),
                              SQLITE_STATIC);
            sqlite3_bind_text(insert, 5, volumes[i].data(), static_cast<int>(volumes[i].size()),
                              SQLITE_STATIC);
            sqlite3_bind_text(insert, 6, names[i].data(), static_cast<int>(names[i].size()),
                              SQLITE_STATIC);
            sqlite3_bind_text(insert, 7, "", 0, SQLITE_STATIC);
            ok = sqlite3_step(insert) == SQLITE_DONE && sqlite3_reset(insert) == SQLITE_OK;
        }
        sqlite3_finalize(insert);
        return sqlite3_exec(db_, ok ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr) ==
                   SQLITE_OK &&
               ok;
    }

  private:
    sqlite3* db_ = nullptr;
};

const char* Verdict(double ratio) {
    return ratio <= kGoalRatio ? "goal met" : "goal missed";
}

constexpr int kHistoryRows = 20000;
// A sync's rows must be written in well under a second.
constexpr double kHistoryGoalMs = 1000.0;

// A sync's answer: every row a story of its own, most of them not stored yet.
std::vector<TReadHistorySyncData> HistoryRows(int variant) {
    std::vector<TReadHistorySyncData> rows;
    rows.reserve(kHistoryRows);
    for (int i = 0; i < kHistoryRows; ++i)
        rows.push_back({"site", "h" + std::to_string(i), "\xca\xe9 " + std::to_string(i),
                        std::to_string(1000 + i + variant), "2024-05-01 10:00:00"});
    return rows;
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

    bool ok = true;
    const std::vector<Row> rows = Rows(0);
    int story = 0;
    int bare = 0;
    // Taken in turns, so that both see the same state of the machine and of the file.
    BareInsert bareInserter(path);
    double bareInsert = 1e300, firstStore = 1e300;
    for (int round = 0; round < 5; ++round) {
        bareInsert = std::min(
            bareInsert,
            Best(1, [&] { ok = bareInserter.Run("bare" + std::to_string(bare++), rows) && ok; }));
        firstStore = std::min(
            firstStore,
            Best(1, [&] { ok = StoreChapters(db, "new" + std::to_string(story++), rows) && ok; }));
    }
    int variant = 0;
    const double reStore = Best(5, [&] { ok = StoreChapters(db, "new0", Rows(++variant)) && ok; });
    std::vector<TChapterItemData> list;
    const double readBack = Best(5, [&] { db.GetChapterList("site", "new0", list); });
    ok = ok && list.size() == static_cast<size_t>(kChapters);
    std::printf("chapter list of %d: bare SQLite insert %.1f ms\n", kChapters, bareInsert);
    std::printf("  first store %.1f ms: %.2f x the bare insert (%s, at most %.1f x)\n", firstStore,
                firstStore / bareInsert, Verdict(firstStore / bareInsert), kGoalRatio);
    std::printf("  re-store    %.1f ms: %.2f x the bare insert (%s, at most %.1f x)\n", reStore,
                reStore / bareInsert, Verdict(reStore / bareInsert), kGoalRatio);
    std::printf("  read back   %.1f ms (%zu rows)\n", readBack, list.size());

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

    // Download: the stored history replaced by the server's; the first run
    // also adds an Article row for each story.
    double firstReplace = 0;
    {
        const auto start = Clock::now();
        ok = db.ReplaceReadHistory(HistoryRows(0), true) && ok;
        firstReplace = Millis(start);
    }
    int historyVariant = 0;
    const double replace =
        Best(3, [&] { ok = db.ReplaceReadHistory(HistoryRows(++historyVariant), true) && ok; });
    // Merge: every server row meets a stored row of its story.
    const double merge =
        Best(3, [&] { ok = db.ReplaceReadHistory(HistoryRows(++historyVariant), false) && ok; });
    std::vector<TReadHistoryListData> history;
    db.GetReadHistory(history);
    ok = ok && history.size() == static_cast<size_t>(kHistoryRows);
    const auto historyVerdict = [](double ms) {
        return ms < kHistoryGoalMs ? "goal met" : "goal missed";
    };
    std::printf("reading history of %d rows (goal: under %.0f ms each)\n", kHistoryRows,
                kHistoryGoalMs);
    std::printf("  replaced, stories new   %.1f ms (%s)\n", firstReplace,
                historyVerdict(firstReplace));
    std::printf("  replaced, stories known %.1f ms (%s)\n", replace, historyVerdict(replace));
    std::printf("  merged over its rows    %.1f ms (%s)\n", merge, historyVerdict(merge));

    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    if (!ok) std::printf("FAILED: a store or the bare insert did not complete\n");
    return ok ? 0 : 1;
}
