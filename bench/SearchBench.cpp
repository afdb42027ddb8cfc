// Search figures: a search over 50 fake sites whose answers take 10 to 300 ms
// (all sites are asked at the same moment, so the whole search should take
// about as long as the slowest site), and the parse time of a 500 KB result
// page with 200 items.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/SearchStoryManager.h"
#include "platform/Charset.h"
#include "tests/support/FakeNovelSite.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing_support::FakeHttpServer;
using testing_support::FakeNovelSite;
using testing_support::FakeSiteOptions;
using testing_support::Fault;
using testing_support::SiteCharset;

constexpr int kSites = 50;
constexpr int kRounds = 7;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool SearchOverFiftySites() {
    FakeHttpServer server;
    std::vector<std::unique_ptr<FakeNovelSite>> sites;
    std::vector<TSearchSiteData> rows;
    std::chrono::milliseconds slowest{0};
    for (int i = 0; i < kSites; ++i) {
        FakeSiteOptions options;
        options.siteID = "s" + std::to_string(i);
        options.charset = i % 2 ? SiteCharset::Utf8 : SiteCharset::Gbk;
        auto site = std::make_unique<FakeNovelSite>(server, options);
        site->AddStory("中原剑客", "李青", 3);
        site->AddStory("剑客中行", "王五", 3);
        site->AddStory("风云变幻", "赵六", 3);
        const auto delay = std::chrono::milliseconds(10 + i * 290 / (kSites - 1));
        slowest = std::max(slowest, delay);
        server.SetFault(site->SearchPath(), Fault{.delay = delay});
        rows.push_back(site->Row().ToSearchSiteData());
        sites.push_back(std::move(site));
    }
    TSearchStoryManager manager(rows);
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    int results = 0;
    manager.OnFound = [&](const SearchResultFields&) {
        std::lock_guard lock(mutex);
        ++results;
    };
    manager.OnAllDone = [&](TSearchStoryManager*) {
        {
            std::lock_guard lock(mutex);
            finished = true;
        }
        done.notify_all();
    };
    std::vector<double> ratios;
    std::vector<double> millis;
    for (int round = 0; round < kRounds; ++round) {
        {
            std::lock_guard lock(mutex);
            finished = false;
            results = 0;
        }
        server.ResetPeak();
        const auto start = Clock::now();
        manager.Search(platform::Utf8ToAnsi("剑客"), false);
        const double started =
            std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        std::unique_lock lock(mutex);
        if (!done.wait_for(lock, 30s, [&] { return finished; })) {
            std::printf("search over %d sites did not end\n", kSites);
            return false;
        }
        const double elapsed =
            std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        millis.push_back(elapsed);
        ratios.push_back(elapsed / static_cast<double>(slowest.count()));
        std::printf(
            "  round %d: %.1f ms (all requests started after %.1f ms), %d results, %d "
            "requests in flight at most\n",
            round + 1, elapsed, started, results, server.PeakInFlight());
    }
    std::printf(
        "search over %d sites, delays 10-%lld ms: time to OnAllDone / slowest delay = %.3f "
        "(median of %d; first round %.3f, best %.3f), median %.1f ms\n",
        kSites, static_cast<long long>(slowest.count()), Median(ratios), kRounds, ratios.front(),
        *std::min_element(ratios.begin(), ratios.end()), Median(millis));
    return true;
}

void ParseBigResultPage() {
    FakeHttpServer server;
    FakeNovelSite site(server, FakeSiteOptions{.siteID = "big"});
    std::vector<testing_support::FakeStory> hits;
    for (int i = 0; i < 200; ++i) {
        auto story =
            site.AddStory("剑客传奇第" + std::to_string(i) + "部", "作者" + std::to_string(i), 4);
        // A long introduction per item brings the page to a realistic 500 KB.
        while (story.intro.size() < 3500)
            story.intro += "江湖风雨，刀光剑影，少年踏上了寻找真相的旅程。";
        hits.push_back(story);
    }
    const std::string page = site.SearchResultPage(hits);
    TSearchStory parser;
    parser.Assign(site.Row().ToSearchSiteData());
    std::vector<double> times;
    std::size_t items = 0;
    for (int i = 0; i < 20; ++i) {
        const auto start = Clock::now();
        items = parser.ParseResults(page).size();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::printf("parse of a %.0f KB result page with %zu items: median %.2f ms, best %.2f ms\n",
                static_cast<double>(page.size()) / 1024.0, items, Median(times),
                *std::min_element(times.begin(), times.end()));
}

}  // namespace

int main() {
    const bool ended = SearchOverFiftySites();
    ParseBigResultPage();
    return ended ? 0 : 1;
}
