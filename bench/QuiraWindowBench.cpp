// The main program as a user meets it, and both programs over a long read:
// the built Quira and QuiraReader on a private display, a throw-away
// profile, fifty fake novel sites and the vendor stand-in on 127.0.0.1.
// - Quira's start: from the moment the process is started until its first
//   window has finished its first paint (the test agent's record, on the
//   wall clock), over several starts;
// - Quira's memory after start (the start page loaded), after a search of
//   fifty sites (typed into the search box, Enter; the status line shows the
//   count) and with a story's 1000-chapter list page shown (its read button
//   clicked in the result list);
// - a click on the first chapter in that page, until the reader it starts
//   shows the chapter, and then 100 chapters read in a row with the reader's
//   next-chapter button, both programs' memory every 10 chapters.
// Memory is the process's own resident set (RSS) and proportional share
// (PSS, shared pages split between the processes that map them), and the
// same for the web engine's processes each program started (found by their
// parent ids in /proc); totals are PSS sums, the fair figure for processes
// that share libraries.

#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "bench/support/BenchWorld.h"
#include "bench/support/ProgramBench.h"
#include "platform/ProgramChannel.h"
#include "shelf/ReaderStarter.h"
#include "tests/support/ProcessRun.h"

namespace {

namespace fs = std::filesystem;
using bench::Say;
using testing_support::AgentError;
using testing_support::AgentRect;
using testing_support::AgentText;
using testing_support::AgentView;
using testing_support::AgentWindow;
using testing_support::FakeChapter;
using testing_support::FakeStory;
using testing_support::FindText;
using testing_support::ProcessRun;
using testing_support::ProgramAgent;

constexpr int kSites = 50;
constexpr int kStartRounds = 5;
constexpr int kListChapters = 1000;
constexpr int kChaptersInARow = 100;
constexpr int kSampleEvery = 10;
// The goal is 150 MB; the figures are in MiB.
constexpr double kMemoryGoalMB = 150;
constexpr double kMemoryGoalMiB = kMemoryGoalMB * 1e6 / (1024.0 * 1024.0);
constexpr double kGrowthBoundMiB = 20;
constexpr int kTimeoutMs = 60000;
constexpr const char* kKeyword = "Qianzhang";
constexpr const char* kBigTitle = "Qianzhang Changjuan";
const std::set<std::string> kPrograms = {"Quira", "QuiraReader"};

std::string SiteID(int n) {
    char id[8];
    std::snprintf(id, sizeof id, "s%02d", n);
    return id;
}

std::string SiteName(int n) {
    char name[32];
    std::snprintf(name, sizeof name, "基准书站%02d", n);
    return name;
}

class QuiraBench {
  public:
    bool SetUp();
    bool Run();

  private:
    std::optional<double> StartQuira();
    void StopQuira();
    bool Search();
    bool OpenBigStory();
    bool ReadChapters();
    bench::ProgramMemory QuiraMemory();
    bench::ProgramMemory ReaderMemory();
    void SayMemory(const char* when, const bench::ProgramMemory& memory, bool judged);
    std::optional<AgentView> WaitForView(ProgramAgent& agent,
                                         const std::function<bool(const AgentView&)>& accept);

    bench::Profile profile_;
    bench::Screen screen_;
    std::optional<bench::BenchWorld> world_;
    FakeStory bigStory_;
    std::string agentFolder_;
    std::unique_ptr<ProcessRun> quira_;
    std::optional<ProgramAgent> agent_;
    std::optional<ProgramAgent> reader_;
};

bool QuiraBench::SetUp() {
    if (!screen_.Open()) {
        Say("FAILED: no private display (Xvfb) with input could be had\n");
        return false;
    }
    world_.emplace();
    for (int n = 1; n <= kSites; ++n) {
        testing_support::FakeNovelSite& site = world_->AddSite(SiteID(n), SiteName(n));
        if (n == 1) {
            bigStory_ = site.AddStory(kBigTitle, "Kuaibi", kListChapters, 10);
        } else {
            // The first site answers first, so that its story stands at the
            // top of the result list.
            testing_support::Fault slower;
            slower.delay = std::chrono::milliseconds(40);
            world_->Server().SetFault(site.SearchPath(), slower);
        }
        for (int k = 1; k <= (n == 1 ? 2 : 3); ++k)
            site.AddStory(
                std::string(kKeyword) + " Ji " + std::to_string(n) + "-" + std::to_string(k),
                "Zuozhe " + std::to_string(n), 12, 2);
    }
    world_->PointProgramsHere();
    if (!world_->WriteDatabase({})) {
        Say("FAILED: the story database could not be written\n");
        return false;
    }
    world_->CloseDatabase();
    agentFolder_ = profile_.Path("agent");
    fs::create_directories(agentFolder_);
    return true;
}

std::optional<AgentView> QuiraBench::WaitForView(
    ProgramAgent& agent, const std::function<bool(const AgentView&)>& accept) {
    AgentView found;
    const bool ok = bench::WaitFor(
        [&] {
            try {
                found = bench::FindView(agent, accept);
            } catch (const AgentError&) {
                return false;
            }
            return !found.id.empty();
        },
        kTimeoutMs);
    if (!ok) return std::nullopt;
    return found;
}

// One start of Quira: the time until its first window finished painting,
// and the agent once the start page has loaded.
std::optional<double> QuiraBench::StartQuira() {
    const long long started = bench::WallMicros();
    quira_ = std::make_unique<ProcessRun>(
        bench::BuiltProgramFolder() + "Quira", std::vector<std::string>{},
        ProgramAgent::Environment(agentFolder_, {"Quira", "QuiraReader"}),
        profile_.Path("quira.out"), profile_.Path("quira.err"));
    if (!quira_->Started()) return std::nullopt;
    try {
        agent_.emplace(ProgramAgent::Connect(agentFolder_, quira_->Pid(), kTimeoutMs));
    } catch (const AgentError& e) {
        Say("  Quira did not start: %s\n", e.what());
        return std::nullopt;
    }
    long long painted = 0;
    bench::WaitFor(
        [&] {
            for (const AgentWindow& w : agent_->Windows())
                if (w.kind == "toplevel" && w.mapped && w.painted > 0)
                    painted = painted ? std::min(painted, w.painted) : w.painted;
            return painted > 0;
        },
        kTimeoutMs);
    if (!painted) return std::nullopt;
    // Started: the vendor's start page is shown, no page loads any more
    // (the search page loads out of sight), and the window idles.
    if (!WaitForView(*agent_, [](const AgentView& v) {
            return v.visible && !v.loading && v.uri.find("index2.html") != std::string::npos;
        }))
        return std::nullopt;
    const bool loaded = bench::WaitFor(
        [&] {
            for (const AgentView& v : agent_->Views())
                if (v.loading) return false;
            return true;
        },
        kTimeoutMs);
    if (!loaded) return std::nullopt;
    agent_->Settle();
    return bench::MillisBetween(started, painted);
}

void QuiraBench::StopQuira() {
    agent_.reset();
    if (!quira_) return;
    quira_->Signal(SIGTERM);
    if (!quira_->Wait(30000)) Say("  Quira did not end on SIGTERM within 30 s\n");
    quira_.reset();
}

bench::ProgramMemory QuiraBench::QuiraMemory() {
    return quira_ ? bench::MeasureProgram(quira_->Pid(), kPrograms) : bench::ProgramMemory{};
}

bench::ProgramMemory QuiraBench::ReaderMemory() {
    return reader_ ? bench::MeasureProgram(reader_->Pid(), kPrograms) : bench::ProgramMemory{};
}

void QuiraBench::SayMemory(const char* when, const bench::ProgramMemory& memory, bool judged) {
    Say("Quira's memory %s: %s", when, bench::Describe(memory).c_str());
    if (judged)
        Say("\n  (goal: total PSS under %.0f MB = %.1f MiB, %s)", kMemoryGoalMB, kMemoryGoalMiB,
            memory.TotalPss() < kMemoryGoalMiB ? "goal met" : "goal missed");
    Say("\n");
}

// The keyword typed into the search box and Enter, until the status line
// shows the count.
bool QuiraBench::Search() {
    testing_support::AgentWidget box;
    for (const auto& w : agent_->Widgets("GtkEntry"))
        if (w.visible && !w.rect.Empty()) box = w;
    if (box.id.empty()) {
        Say("  Quira shows no search box\n");
        return false;
    }
    screen_.Click(box.rect.CenterX(), box.rect.CenterY(), [&] { agent_->Settle(); });
    // The box's prompt goes once it has the focus.
    bench::WaitFor(
        [&] {
            for (const auto& w : agent_->Widgets("GtkEntry"))
                if (w.id == box.id) return w.text.empty();
            return false;
        },
        kTimeoutMs);
    screen_.TypeText(kKeyword);
    screen_.Key(0xff0d /* Return */);
    std::string status;
    const bool done = bench::WaitFor(
        [&] {
            const auto texts = agent_->Texts();
            const AgentText* t = FindText(texts, "搜索完成");
            if (t) status = t->text;
            return t != nullptr;
        },
        kTimeoutMs);
    if (!done) {
        Say("  the search did not end\n");
        return false;
    }
    agent_->Settle();
    size_t searches = 0;
    for (int n = 1; n <= kSites; ++n)
        searches += world_->Server().RequestCount("/" + SiteID(n) + "/search.php");
    Say("  the search of %d sites ended: \"%s\" (%zu search requests to the sites)\n", kSites,
        status.c_str(), searches);
    return true;
}

// The read button of the big story's row in the result list (a blue button
// to the right of the row's source, found on the screen), clicked; until the
// story's list page shows every chapter.
bool QuiraBench::OpenBigStory() {
    const auto texts = agent_->Texts();
    const AgentText* title = FindText(texts, kBigTitle);
    if (!title) {
        Say("  the result list does not show %s\n", kBigTitle);
        return false;
    }
    const AgentText* row = nullptr;
    for (const AgentText& t : texts)
        if (t.text.find(SiteName(1)) != std::string::npos && t.rect.y > title->rect.y &&
            (!row || t.rect.y < row->rect.y))
            row = &t;
    AgentRect window;
    for (const AgentWindow& w : agent_->Windows())
        if (w.kind == "toplevel" && w.mapped && w.rect.Contains(title->rect.x, title->rect.y))
            window = w.rect;
    if (!row || window.Empty()) {
        Say("  the big story's source row was not found\n");
        return false;
    }
    const int y = row->rect.CenterY();
    const int from = row->rect.x + row->rect.width;
    const bench::ScreenArea line = screen_.Grab({from, y, window.x + window.width - from, 1});
    int first = -1, last = -1;
    for (size_t i = 0; i < line.pixels.size(); ++i) {
        const unsigned p = line.pixels[i], r = p >> 16, g = (p >> 8) & 0xFF, b = p & 0xFF;
        const bool blue = b > 0xA0 && b > r + 0x40 && b > g + 0x10;
        // The button's caption is white on its blue: the button ends with
        // the last blue pixel close to its first.
        if (first >= 0 && static_cast<int>(i) > first + 120) break;
        if (blue && first < 0) first = static_cast<int>(i);
        if (blue) last = static_cast<int>(i);
    }
    if (first < 0 || last - first < 20) {
        Say("  no read button on the big story's row\n");
        return false;
    }
    screen_.Click(from + (first + last) / 2, y, [&] { agent_->Settle(); });
    const auto list = WaitForView(*agent_, [](const AgentView& v) {
        return v.visible && !v.loading && v.uri.ends_with("/List.HTML");
    });
    if (!list) {
        Say("  the chapter-list page did not show\n");
        return false;
    }
    std::string count;
    bench::WaitFor(
        [&] {
            try {
                count = agent_->Script(list->id, "return document.querySelectorAll('.ch').length;");
            } catch (const AgentError&) {
            }
            return count == std::to_string(kListChapters);
        },
        kTimeoutMs);
    if (count != std::to_string(kListChapters)) {
        Say("  the list page has %s chapters\n", count.c_str());
        return false;
    }
    // Shown: the screen has the page's text where its title stands.
    const AgentRect top = bench::TitleArea(list->rect);
    if (!bench::WaitUntilShown(screen_, {top.x, top.y, top.width, top.height, {}}, kTimeoutMs)) {
        Say("  the list page never showed on the screen\n");
        return false;
    }
    agent_->Settle();
    return true;
}

// A click on the first chapter in the list page starts the reader; then the
// reader's next-chapter button, chapter after chapter.
bool QuiraBench::ReadChapters() {
    const auto list = WaitForView(
        *agent_, [](const AgentView& v) { return v.visible && v.uri.ends_with("/List.HTML"); });
    if (!list) return false;
    const std::vector<const FakeChapter*> chapters = bigStory_.Chapters();
    const std::string place = agent_->Script(
        list->id,
        "const a = document.querySelector('.ch[data-id=\"" + chapters[0]->id +
            "\"] a'); a.scrollIntoView({block: 'center'});"
            "const r = a.getBoundingClientRect(); return [r.left + r.width / 2, r.top + r.height / "
            "2];");
    const auto point = nlohmann::json::parse(place);
    const long long clicked =
        screen_.Click(list->rect.x + static_cast<int>(point[0].get<double>()),
                      list->rect.y + static_cast<int>(point[1].get<double>()));
    try {
        reader_.emplace(ProgramAgent::WaitForProgram(agentFolder_, "QuiraReader", kTimeoutMs));
    } catch (const AgentError& e) {
        Say("  the chapter's click started no reader: %s\n", e.what());
        return false;
    }
    const bench::PageTimes first =
        bench::WaitForPageTimes(*reader_, chapters[0]->name, clicked, kTimeoutMs);
    if (!first.ok) {
        Say("  the reader did not show the first chapter\n");
        return false;
    }
    Say("A click on the first chapter in Quira's list page, until the reader it started painted "
        "the chapter (downloaded, the site answering at once): %.0f ms\n",
        bench::MillisBetween(clicked, first.contentfulPaint));

    // The page's key for the next chapter, with the pointer over the page
    // (the display has no window manager: the keyboard goes where the
    // pointer is).
    const auto page = WaitForView(*reader_, [](const AgentView& v) { return v.visible; });
    if (!page) {
        Say("  the reader shows no page\n");
        return false;
    }
    screen_.PointerTo(page->rect.CenterX(), page->rect.CenterY());
    reader_->Settle();
    std::vector<double> nextMs;
    std::map<int, std::pair<bench::ProgramMemory, bench::ProgramMemory>> samples;
    for (int read = 1; read <= kChaptersInARow; ++read) {
        if (read % kSampleEvery == 0) {
            agent_->Settle();
            reader_->Settle();
            samples[read] = {QuiraMemory(), ReaderMemory()};
        }
        if (read == kChaptersInARow) break;
        const long long pressed = screen_.Key(0xff53 /* Right */);
        const bench::PageTimes times =
            bench::WaitForPageTimes(*reader_, chapters[read]->name, pressed, kTimeoutMs);
        if (!times.ok) {
            Say("  chapter %d did not show after the next-chapter key\n", read + 1);
            return false;
        }
        nextMs.push_back(bench::MillisBetween(pressed, times.contentfulPaint));
    }
    bench::ShootWindow(*reader_, "reader-after-100-chapters.png");
    Say("The reader's next-chapter key (Right), until the next chapter is painted (chapters "
        "fetched ahead by the preloader): %s\n",
        bench::Describe(bench::Summarise(nextMs), "ms").c_str());

    Say("%d chapters read in a row in the reader, memory every %d chapters (total PSS = own + "
        "web processes, MiB):\n",
        kChaptersInARow, kSampleEvery);
    Say("  chapters   Quira own  Quira web  Quira total   reader own  reader web  reader total\n");
    for (const auto& [read, pair] : samples) {
        const auto& [q, r] = pair;
        Say("  %8d  %9.1f  %9.1f  %11.1f  %11.1f  %10.1f  %12.1f\n", read, q.own.pssMiB,
            q.HelpersPss(), q.TotalPss(), r.own.pssMiB, r.HelpersPss(), r.TotalPss());
    }
    const auto& [q10, r10] = samples.at(kSampleEvery);
    const auto& [q100, r100] = samples.at(kChaptersInARow);
    const auto growth = [&](const char* who, double own, double web, double total) {
        Say("  growth from chapter %d to %d, %s: own %+.1f MiB, web processes %+.1f MiB, total "
            "%+.1f MiB (bound: under %.0f MiB, %s)\n",
            kSampleEvery, kChaptersInARow, who, own, web, total, kGrowthBoundMiB,
            total < kGrowthBoundMiB ? "holds" : "exceeded");
    };
    growth("Quira", q100.own.pssMiB - q10.own.pssMiB, q100.HelpersPss() - q10.HelpersPss(),
           q100.TotalPss() - q10.TotalPss());
    growth("QuiraReader", r100.own.pssMiB - r10.own.pssMiB, r100.HelpersPss() - r10.HelpersPss(),
           r100.TotalPss() - r10.TotalPss());
    Say("  QuiraReader at chapter %d: %s\n", kChaptersInARow, bench::Describe(r100).c_str());
    return true;
}

bool QuiraBench::Run() {
    std::vector<double> starts, startPss;
    for (int round = 0; round < kStartRounds; ++round) {
        const auto ms = StartQuira();
        if (!ms) {
            Say("FAILED: Quira did not start and show its start page\n");
            StopQuira();
            return false;
        }
        starts.push_back(*ms);
        startPss.push_back(QuiraMemory().TotalPss());
        if (round + 1 < kStartRounds) StopQuira();
    }
    Say("Quira's start, from the process started until its first window finished its first "
        "paint: %s\n",
        bench::Describe(bench::Summarise(starts), "ms").c_str());
    Say("Quira's total PSS after each start (its start page loaded): %s\n",
        bench::Describe(bench::Summarise(startPss), "MiB").c_str());
    SayMemory("after start (the last start)", QuiraMemory(), true);
    bench::ShootWindow(*agent_, "quira-started.png");

    bool ok = Search();
    if (ok) {
        SayMemory("after a search of 50 sites", QuiraMemory(), true);
        bench::ShootWindow(*agent_, "quira-results.png");
        ok = OpenBigStory();
    }
    if (ok) {
        SayMemory("with a 1000-chapter list page shown", QuiraMemory(), true);
        bench::ShootWindow(*agent_, "quira-chapter-list.png");
        ok = ReadChapters();
    }
    if (reader_) {
        const pid_t pid = reader_->Pid();
        reader_.reset();
        platform::ProgramChannel::PostToClass(kReaderWindowClass, {platform::kWmClose, 0, 0});
        bench::WaitFor([&] { return !testing_support::ProcessAlive(pid); }, 30000);
    }
    StopQuira();
    return ok;
}

}  // namespace

int main() {
    Say("Quira and QuiraReader as a user meets them; machine %s\n", bench::LoadLine().c_str());
    QuiraBench run;
    if (!run.SetUp()) return 1;
    const bool ran = run.Run();
    Say("machine %s at the end\n", bench::LoadLine().c_str());
    return ran ? 0 : 1;
}
