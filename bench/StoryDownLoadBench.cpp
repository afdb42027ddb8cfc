// Whole-story download figures: 1,000 chapters from a fake site that takes
// 50 ms to answer each request, fetched by the ten chapter workers. Printed:
// the wall time against the ideal ceil(1000 / 10) x 50 ms (close to 1 when
// the pool stays full), the most requests in flight at once, the CPU time of
// the process per chapter (client and the in-process fake server together),
// and how many connections the server accepted (fewer than requests when
// connections are reused).

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>

#include "core/DBCreater.h"
#include "core/Folders.h"
#include "core/StoryDB.h"
#include "core/StoryExportHTML.h"
#include "core/TextHelpers.h"
#include "net/StoryDownLoad.h"
#include "platform/Charset.h"
#include "tests/support/FakeHttpServer.h"
#include "tests/support/FakeNovelSite.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing_support::FakeHttpServer;
using testing_support::FakeNovelSite;
using testing_support::FakeSiteOptions;
using testing_support::Fault;

constexpr int kChapters = 1000;
constexpr auto kDelay = 50ms;

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::string ProgramFolder() {
    // The bench lives in build/bench/, the template bundle in build/bin/.
    const auto self = std::filesystem::read_symlink("/proc/self/exe");
    return (self.parent_path().parent_path() / "bin").string() + "/";
}

bool WholeStory() {
    char pattern[] = "/tmp/quira-bench-XXXXXX";
    if (!mkdtemp(pattern)) return false;
    const std::filesystem::path root = pattern;
    SetAppFolder((root / "app").string() + "/");
    SetDataFolder((root / "data").string() + "/");
    SetProgramFolder(ProgramFolder());
    std::filesystem::create_directories(root / "app");
    std::filesystem::create_directories(root / "data" / "BooK");
    const std::string dbPath = (root / "app" / "idata.dll").string();
    std::ofstream(dbPath, std::ios::binary);
    if (!TDBCreater().CheckDatabase(dbPath, dbPath + ".none")) return false;
    SetStoryDB(std::make_unique<TStoryDB>(dbPath));

    bool ok = true;
    {
        FakeHttpServer server;
        FakeSiteOptions options;
        options.siteID = "bench";
        FakeNovelSite site(server, options);
        const auto story = site.AddStory("千章长卷", "快笔", kChapters, 10);
        const auto row = site.Row();
        StoryDB()->SaveSite(row.SiteID, row.ToSiteItemData());
        StoryDB()->AddArticle("bench", story.id, platform::Utf8ToAnsi(story.title), "", "", "", "",
                              -1, story.folder);
        {
            TStoryDB::ChapterBatch batch(*StoryDB());
            int id = 0;
            for (const auto* chapter : story.Chapters())
                StoryDB()->AddChapter("bench", story.id, chapter->id, "",
                                      platform::Utf8ToAnsi(chapter->name), "", id++);
        }
        Fault slow;
        slow.delay = kDelay;
        server.SetFault(site.Prefix() + "/" + story.folder + "/*", slow);

        std::mutex mutex;
        std::condition_variable ended;
        int code = -1;
        TStoryDownLoad download;
        download.OnComplete = [&](TStoryDownLoad*, int failed) {
            {
                const std::lock_guard lock(mutex);
                code = failed;
            }
            ended.notify_all();
        };
        const double cpuBefore = CpuSeconds();
        const auto start = Clock::now();
        download.Start("bench", story.id, 1, 0);
        {
            std::unique_lock lock(mutex);
            ok = ended.wait_for(lock, 120s, [&] { return code >= 0; });
        }
        const double wall = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        const double cpu = CpuSeconds() - cpuBefore;
        const double ideal = static_cast<double>((kChapters + TStoryDownLoad::kWorkers - 1) /
                                                 TStoryDownLoad::kWorkers) *
                             std::chrono::duration<double, std::milli>(kDelay).count();
        if (!ok) {
            std::printf("whole-story download of %d chapters did not end\n", kChapters);
        } else {
            std::printf(
                "whole-story download of %d chapters, %lld ms per request: %.0f ms, %.3f x the "
                "ideal %.0f ms; failed chapters %d\n",
                kChapters, static_cast<long long>(kDelay.count()), wall, wall / ideal, ideal, code);
            std::printf("peak requests in flight: %d (workers: %d)\n", server.PeakInFlight(),
                        TStoryDownLoad::kWorkers);
            std::printf("CPU time per chapter: %.3f ms (process total %.2f s)\n",
                        cpu * 1000.0 / kChapters, cpu);
            std::printf("connections accepted: %zu for %zu requests\n", server.ConnectionCount(),
                        server.Requests().size());
            ok = code == 0;
        }
    }
    SetStoryDB(nullptr);
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    return ok;
}

}  // namespace

int main() {
    return WholeStory() ? 0 : 1;
}
