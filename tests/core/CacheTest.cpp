#include "core/Cache.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

class CacheTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gchar* dir = g_dir_make_tmp("cache-XXXXXX", nullptr);
        ASSERT_NE(dir, nullptr);
        root_ = fs::path(dir) / "BooK";
        g_free(dir);
        fs::create_directories(root_);
    }
    void TearDown() override { fs::remove_all(root_.parent_path()); }

    std::string File(const std::string& relative, size_t bytes) {
        const fs::path path = root_ / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << std::string(bytes, 'x');
        return path.string();
    }
    std::string Folder(const std::string& name) { return (root_ / name).string(); }

    fs::path root_;
};

TEST_F(CacheTest, EmptyRootYieldsNothing) {
    TCache cache;
    cache.RootFolder = root_.string();
    cache.FoundPaths = {"stale"};
    cache.TotalSize = 99;
    cache.Scan();
    EXPECT_TRUE(cache.FoundPaths.empty());
    EXPECT_EQ(cache.TotalSize, 0);
}

TEST_F(CacheTest, StoryFolderFilesThenTheFolderItself) {
    const auto a = File("STORYA/a.txt", 10);
    const auto b = File("STORYA/.hidden", 20);
    const auto c = File("STORYA/List.HTML", 30);
    File("loose.txt", 1000);             // directly in BooK: not counted
    File("STORYA/deep/inner.txt", 500);  // below a story folder: not counted
    TCache cache;
    cache.RootFolder = root_.string();
    cache.Scan();
    ASSERT_EQ(cache.FoundPaths.size(), 4u);
    EXPECT_EQ(cache.FoundPaths.back(), Folder("STORYA"));
    std::vector<std::string> files(cache.FoundPaths.begin(), cache.FoundPaths.end() - 1);
    std::sort(files.begin(), files.end());
    std::vector<std::string> expected{a, b, c};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(files, expected);
    EXPECT_EQ(cache.TotalSize, 60);
}

TEST_F(CacheTest, LocalShelfFoldersAreSparedWhateverTheirCase) {
    File("LOCAL1/a.txt", 10);
    File("Online/b.txt", 7);
    TCache cache;
    cache.RootFolder = root_.string() + "/";
    cache.AddExclude(root_.string() + "/local1");
    cache.Scan();
    EXPECT_EQ(cache.FoundPaths,
              (std::vector<std::string>{Folder("Online") + "/b.txt", Folder("Online")}));
    EXPECT_EQ(cache.TotalSize, 7);
    EXPECT_TRUE(cache.IsExcluded(Folder("LOCAL1") + "/"));
    EXPECT_FALSE(cache.IsExcluded(Folder("LOCAL")));
}

TEST_F(CacheTest, LinkedFoldersAreNotEntered) {
    // A link to a folder outside the cache must never be listed for deletion.
    const fs::path outside = root_.parent_path() / "outside";
    fs::create_directories(outside);
    std::ofstream(outside / "precious.txt") << "keep";
    fs::create_directory_symlink(outside, root_ / "LINKED");
    File("STORY/x.txt", 3);
    fs::create_directory_symlink(outside, root_ / "STORY" / "inner-link");
    TCache cache;
    cache.RootFolder = root_.string();
    cache.Scan();
    for (const auto& path : cache.FoundPaths) EXPECT_EQ(path.find("precious"), std::string::npos);
    ASSERT_EQ(cache.FoundPaths.size(), 3u);  // x.txt, the link itself, the folder
    EXPECT_EQ(cache.FoundPaths.back(), Folder("STORY"));
}

TEST(CacheLimit, ExactlyTheLimitIsNotOverIt) {
    const int64_t mb = 1024 * 1024;
    EXPECT_FALSE(CacheOverLimit(500 * mb, 500));
    EXPECT_TRUE(CacheOverLimit(500 * mb + 1, 500));
    EXPECT_FALSE(CacheOverLimit(0, 0));
    EXPECT_TRUE(CacheOverLimit(1, 0));
}

// Iterates the context until done or a generous bound passes.
template <typename Pred>
bool PumpUntil(GMainContext* context, Pred done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        g_main_context_iteration(context, FALSE), g_usleep(1000);
    return done();
}

TEST_F(CacheTest, ThreadReportsOnTheContextThread) {
    File("S1/a", 5);
    File("S2/b", 6);
    File("KEEP/c", 100);
    GMainContext* context = g_main_context_new();
    auto thread = std::make_unique<TCacheThread>();
    thread->RootFolder = root_.string();
    thread->Cache().AddExclude(Folder("keep"));
    std::vector<std::string> paths;
    int64_t total = -1;
    std::thread::id reportThread;
    thread->OnScanDone = [&](TCacheThread* sender, const std::vector<std::string>& found,
                             int64_t size) {
        EXPECT_EQ(sender, thread.get());
        paths = found;
        total = size;
        reportThread = std::this_thread::get_id();
        thread.reset();  // the owner frees it from its own report
    };
    thread->Resume(context);
    ASSERT_TRUE(PumpUntil(context, [&] { return total >= 0; }));
    EXPECT_EQ(reportThread, std::this_thread::get_id());
    EXPECT_EQ(total, 11);
    EXPECT_EQ(paths.size(), 4u);
    EXPECT_EQ(thread, nullptr);
    g_main_context_unref(context);
}

TEST_F(CacheTest, FreedBeforeTheReportDropsIt) {
    File("S1/a", 5);
    GMainContext* context = g_main_context_new();
    bool reported = false;
    {
        TCacheThread thread;
        thread.RootFolder = root_.string();
        thread.OnScanDone = [&](auto*, const auto&, int64_t) { reported = true; };
        thread.Resume(context);
    }  // waits for the scan; the queued report must not touch the freed object
    while (g_main_context_iteration(context, FALSE)) {
    }
    EXPECT_FALSE(reported);
    g_main_context_unref(context);
}

// A stop asked for between two entries ends the scan there: what was found
// stays, a folder whose files were not all seen is not listed, and the scan
// says it is incomplete.
TEST_F(CacheTest, AStopEndsTheScanAtTheNextEntry) {
    for (int f = 0; f < 4; ++f)
        for (int i = 0; i < 50; ++i) File("S" + std::to_string(f) + "/c" + std::to_string(i), 1);
    TCache cache;
    cache.RootFolder = root_.string();
    cache.Scan();
    ASSERT_TRUE(cache.Complete);
    ASSERT_EQ(cache.FoundPaths.size(), 4u * 51);

    // The user quits once the scan has looked at so many entries: first the
    // 4 folders of the root, then their 50 files each.
    for (const int asks : {1, 5, 80}) {
        int asked = 0;
        cache.StopRequested = [&] { return ++asked > asks; };
        cache.Scan();
        EXPECT_FALSE(cache.Complete) << asks;
        EXPECT_EQ(asked, asks + 1) << "nothing more was looked at";
        const int files = std::max(0, asks - 4);
        EXPECT_EQ(cache.TotalSize, files) << asks;
        // Files first; folders only once all their files were seen.
        EXPECT_EQ(cache.FoundPaths.size(), size_t(files + files / 50)) << asks;
        for (const std::string& path : cache.FoundPaths)
            EXPECT_TRUE(fs::is_regular_file(path) || fs::is_directory(path)) << path;
    }
}

// The program ends during the scan of a large cache: freeing the thread stops
// the scan at its next entry instead of waiting for its end, and no report
// arrives.
TEST_F(CacheTest, FreeingTheThreadStopsALargeScan) {
    // 100,000 empty files in 100 story folders.
    for (int f = 0; f < 100; ++f) {
        const fs::path folder = root_ / ("S" + std::to_string(f));
        fs::create_directories(folder);
        for (int i = 0; i < 1000; ++i) std::ofstream(folder / std::to_string(i));
    }
    GMainContext* context = g_main_context_new();
    bool reported = false;
    std::atomic<int> looked{0};
    std::atomic<bool> underWay{false};
    {
        TCacheThread thread;
        thread.RootFolder = root_.string();
        thread.OnScanDone = [&](auto*, const auto&, int64_t) { reported = true; };
        // The scan is slow here: at its 5000th entry it waits until the
        // owner asks it to stop (or a minute has passed), as a scan of a
        // slow disk would still be running when the user quits.
        const auto stop = thread.Cache().StopRequested;
        thread.Cache().StopRequested = [&, stop] {
            if (++looked == 5000) {
                underWay = true;
                const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
                while (!stop() && std::chrono::steady_clock::now() < end)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            return stop();
        };
        thread.Resume(context);
        const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (!underWay && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_TRUE(underWay);
    }  // the owner frees it mid-scan
    EXPECT_EQ(looked, 5000) << "the scan went no further";
    while (g_main_context_iteration(context, FALSE)) {
    }
    EXPECT_FALSE(reported);
    g_main_context_unref(context);
}

}  // namespace
