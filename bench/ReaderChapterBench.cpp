// The reader's answer to a chapter request: the built QuiraReader on a
// private display, asked for chapters exactly as the main program's click on
// a chapter asks (TXExternal::OpenReader: the request block written,
// "QuiraReader -read" started, whose second start hands the request to the
// running reader over its channel, and WM_USER+2 posted), until the
// chapter's page is painted. Each request is timed from the moment it is
// handed over to
// - "painted": the web engine's first paint of the chapter's page (the
//   paint-timing entry "first-contentful-paint" of the page whose title is
//   the chapter's name);
// - "on screen": the first moment the screen (read from the X server every
//   half millisecond or so) shows the new page's text where the chapter's
//   title stands.
// For a cached chapter, a chapter downloaded from a site that answers after
// 50 ms (the preloader idle), and a start of the reader for a cached chapter.

#include <signal.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "bench/support/BenchWorld.h"
#include "bench/support/ProgramBench.h"
#include "core/Folders.h"
#include "core/StoryExportHTML.h"
#include "core/TextHelpers.h"
#include "platform/Charset.h"
#include "platform/ProgramChannel.h"
#include "shelf/ReaderStarter.h"
#include "shelf/XExternal.h"
#include "tests/support/ProcessRun.h"

namespace {

namespace fs = std::filesystem;
using bench::Say;
using testing_support::AgentError;
using testing_support::FakeChapter;
using testing_support::FakeStory;
using testing_support::ProgramAgent;

constexpr double kGoalMs = 100.0;
constexpr int kColdRounds = 3;
constexpr int kWarmRounds = 11;
constexpr int kSiteDelayMs = 50;
constexpr int kPageTimeoutMs = 30000;
constexpr const char* kSiteID = "bench";

struct Round {
    bool ok = false;
    double paintedMs = 0, onScreenMs = 0, loadBeganMs = 0;
};

struct Series {
    std::vector<double> painted, onScreen, loadBegan;
    int failed = 0;
    void Add(const Round& r) {
        if (!r.ok) {
            ++failed;
            return;
        }
        painted.push_back(r.paintedMs);
        onScreen.push_back(r.onScreenMs);
        loadBegan.push_back(r.loadBeganMs);
    }
};

// The test agent goes into a reader that a request starts only while these
// variables are set: the second starts that hand requests over run without
// it, as a user's do.
class AgentPreload {
  public:
    explicit AgentPreload(const std::string& folder) {
        for (const std::string& entry : ProgramAgent::Environment(folder, {"QuiraReader"})) {
            const size_t equals = entry.find('=');
            names_.push_back(entry.substr(0, equals));
            setenv(names_.back().c_str(), entry.c_str() + equals + 1, 1);
        }
    }
    ~AgentPreload() {
        for (const std::string& name : names_) unsetenv(name.c_str());
    }

  private:
    std::vector<std::string> names_;
};

class ReaderBench {
  public:
    bool SetUp();
    void Run();
    bool Ran() const { return ran_; }

  private:
    Round Request(const FakeChapter& chapter);
    Round ColdStart(const FakeChapter& chapter);
    std::optional<double> SecondStart(const FakeChapter& shown);
    bool CloseReader();
    void WaitForPreloads(size_t index);
    void Report(const char* what, const Series& series, bool judged);

    bench::Profile profile_;
    bench::Screen screen_;
    std::optional<bench::BenchWorld> world_;
    testing_support::FakeNovelSite* site_ = nullptr;
    FakeStory story_;
    std::vector<const FakeChapter*> chapters_;
    std::vector<std::string> cacheFiles_;
    std::string agentFolder_;
    std::optional<ProgramAgent> reader_;
    testing_support::AgentRect view_;  // the reader's web view on the screen
    bool ran_ = false;
};

bool ReaderBench::SetUp() {
    if (!screen_.Open()) {
        Say("FAILED: no private display (Xvfb) with input could be had\n");
        return false;
    }
    world_.emplace();
    site_ = &world_->AddSite(kSiteID, "基准书站");
    story_ = site_->AddStory("Qianzhang Changjuan", "Kuaibi", 240, 4);
    chapters_ = story_.Chapters();
    world_->PointProgramsHere();
    if (!world_->WriteDatabase({{site_, &story_}}) || !world_->CacheStory(kSiteID, story_)) {
        Say("FAILED: the story could not be stored and cached\n");
        return false;
    }
    // The cache files' names come from the database, which this process
    // closes before the reader opens it.
    for (const FakeChapter* chapter : chapters_)
        cacheFiles_.push_back(ChapterCacheFile(kSiteID, story_.id, chapter->id));
    world_->CloseDatabase();
    // The second half is not cached: those chapters come from the site.
    for (size_t i = chapters_.size() / 2; i < chapters_.size(); ++i) fs::remove(cacheFiles_[i]);
    agentFolder_ = profile_.Path("agent");
    fs::create_directories(agentFolder_);
    return true;
}

// The times of a chapter's page from the moment its request was handed
// over; not ok when the screen changed for anything but that page.
Round Timed(long long handed, long long shown, const bench::PageTimes& page) {
    Round round;
    if (!shown || !page.ok || shown < page.navigationStart) {
        Say("  a round failed: %s\n", !shown     ? "the screen never showed a new page"
                                      : !page.ok ? "the page's times never came"
                                                 : "the screen changed before the page loaded");
        return round;
    }
    round.ok = true;
    round.loadBeganMs = bench::MillisBetween(handed, page.navigationStart);
    round.paintedMs = bench::MillisBetween(handed, page.contentfulPaint);
    round.onScreenMs = bench::MillisBetween(handed, shown);
    return round;
}

// The main program's click, handed over; the times of the page it brings.
Round ReaderBench::Request(const FakeChapter& chapter) {
    const bench::ScreenArea before =
        bench::WaitUntilSteady(screen_, bench::TitleArea(view_), kPageTimeoutMs);
    const long long handed = bench::WallMicros();
    TXExternal::OpenReader(kSiteID, story_.id, 0, chapter.id);
    const long long shown = bench::WaitUntilShown(screen_, before, kPageTimeoutMs);
    return Timed(handed, shown,
                 bench::WaitForPageTimes(*reader_, chapter.name, handed, kPageTimeoutMs));
}

Round ReaderBench::ColdStart(const FakeChapter& chapter) {
    std::vector<pid_t> before = ProgramAgent::Serving(agentFolder_, "QuiraReader");
    const long long handed = bench::WallMicros();
    {
        const AgentPreload preload(agentFolder_);
        TXExternal::OpenReader(kSiteID, story_.id, 0, chapter.id);
    }
    try {
        reader_.emplace(
            ProgramAgent::WaitForProgram(agentFolder_, "QuiraReader", kPageTimeoutMs, before));
    } catch (const AgentError& e) {
        Say("  the reader did not start: %s\n", e.what());
        return {};
    }
    // Where the page will show, once the window stands; until then the
    // screen there is the bare root window.
    const bool placed = bench::WaitFor(
        [&] {
            view_ = bench::FindView(*reader_, [](const auto& v) { return v.visible; }).rect;
            return !view_.Empty();
        },
        kPageTimeoutMs);
    if (!placed) return {};
    const bench::ScreenArea nothing{bench::TitleArea(view_).x,
                                    bench::TitleArea(view_).y,
                                    bench::TitleArea(view_).width,
                                    bench::TitleArea(view_).height,
                                    {}};
    const long long shown = bench::WaitUntilShown(screen_, nothing, kPageTimeoutMs);
    return Timed(handed, shown,
                 bench::WaitForPageTimes(*reader_, chapter.name, handed, kPageTimeoutMs));
}

// The part of a request that the second start of the reader takes: from
// its start until it has handed the request over and ended. The block still
// names the chapter shown, which the reader opens again.
std::optional<double> ReaderBench::SecondStart(const FakeChapter& shown) {
    const long long started = bench::WallMicros();
    testing_support::ProcessRun second(bench::BuiltProgramFolder() + "QuiraReader", {"-read"});
    const auto code = second.Wait(30000);
    const long long ended = bench::WallMicros();
    if (!code || *code != 0) return std::nullopt;
    if (!bench::WaitForPageTimes(*reader_, shown.name, started, kPageTimeoutMs).ok)
        return std::nullopt;
    return bench::MillisBetween(started, ended);
}

bool ReaderBench::CloseReader() {
    if (!reader_) return true;
    const pid_t pid = reader_->Pid();
    reader_.reset();
    platform::ProgramChannel::PostToClass(kReaderWindowClass, {platform::kWmClose, 0, 0});
    const bool ended = bench::WaitFor(
        [&] { return !testing_support::ProcessAlive(pid) && !ReaderRunning(); }, 30000);
    if (!ended) kill(pid, SIGKILL);
    return ended;
}

// The preloader has fetched what the chapter at index queued (the ten after
// it), so that the next request meets no download of its.
void ReaderBench::WaitForPreloads(size_t index) {
    bench::WaitFor(
        [&] {
            for (size_t i = index + 1; i < chapters_.size() && i <= index + 10; ++i)
                if (!IsPublishedPage(cacheFiles_[i])) return false;
            return world_->Server().InFlight() == 0;
        },
        30000);
}

void ReaderBench::Report(const char* what, const Series& series, bool judged) {
    if (series.onScreen.empty()) {
        Say("%s: no round completed (%d failed)\n", what, series.failed);
        return;
    }
    const bench::Spread onScreen = bench::Summarise(series.onScreen);
    Say("%s:\n", what);
    Say("  on screen %s", bench::Describe(onScreen, "ms").c_str());
    if (judged)
        Say(" (goal: under %.0f ms, %s)", kGoalMs,
            onScreen.median < kGoalMs ? "goal met" : "goal missed");
    Say("\n  painted   %s\n", bench::Describe(bench::Summarise(series.painted), "ms").c_str());
    Say("  of which until the chapter page's load began %s\n",
        bench::Describe(bench::Summarise(series.loadBegan), "ms").c_str());
    if (series.failed) Say("  %d rounds did not complete\n", series.failed);
}

void ReaderBench::Run() {
    // The reader started by the click, for a cached chapter; closed again.
    Series cold;
    for (int i = 0; i < kColdRounds; ++i) {
        cold.Add(ColdStart(*chapters_[20 * i]));
        if (i + 1 < kColdRounds && !CloseReader()) break;
    }
    if (!reader_) {
        Report("start of the reader for a cached chapter", cold, false);
        return;
    }

    // Cached chapters in a running reader: the site is not asked.
    world_->Server().ClearLog();
    Series cached;
    for (int i = 0; i < kWarmRounds; ++i) {
        cached.Add(Request(*chapters_[61 + 2 * i]));
        if (i == 0) bench::ShootWindow(*reader_, "reader-cached-chapter.png");
    }
    const size_t cachedRequests = world_->Server().Requests().size();
    std::vector<double> secondStarts;
    for (int i = 0; i < 5; ++i)
        if (const auto ms = SecondStart(*chapters_[61 + 2 * (kWarmRounds - 1)]))
            secondStarts.push_back(*ms);

    // Chapters from a site that answers each chapter page after 50 ms.
    testing_support::Fault slow;
    slow.delay = std::chrono::milliseconds(kSiteDelayMs);
    world_->Server().SetFault(site_->Prefix() + "/" + story_.folder + "/*", slow);
    Series downloaded;
    for (int i = 0; i < kWarmRounds; ++i) {
        const size_t index = chapters_.size() / 2 + 11 * static_cast<size_t>(i);
        downloaded.Add(Request(*chapters_[index]));
        if (i == 0) bench::ShootWindow(*reader_, "reader-downloaded-chapter.png");
        WaitForPreloads(index);
    }
    world_->Server().ClearFaults();

    Say("A chapter request handed over as the main program's click hands it (request block "
        "written; a running reader told with WM_USER+100, else \"QuiraReader -read\" started; "
        "WM_USER+2 posted), until the chapter's page is\n"
        "\"painted\" (the engine's first contentful paint of the page titled with the chapter's "
        "name) and \"on screen\" (the screen, read every ~0.5 ms, first shows the new page's "
        "text where the title stands):\n");
    Report("cached chapter, reader running", cached, true);
    Say("  site requests during the cached rounds: %zu\n", cachedRequests);
    Say("  the second start of QuiraReader that hands a request over, from its start until it "
        "ends: %s\n",
        bench::Describe(bench::Summarise(secondStarts), "ms").c_str());
    Report("chapter downloaded from a site answering after 50 ms, reader running (preloader idle)",
           downloaded, false);
    Report("start of the reader for a cached chapter (no reader running)", cold, false);
    ran_ = !cached.onScreen.empty() && !downloaded.onScreen.empty() && !cold.onScreen.empty();
    CloseReader();
}

}  // namespace

int main() {
    Say("QuiraReader chapter requests; machine %s\n", bench::LoadLine().c_str());
    ReaderBench run;
    if (!run.SetUp()) return 1;
    run.Run();
    Say("machine %s at the end\n", bench::LoadLine().c_str());
    return run.Ran() ? 0 : 1;
}
