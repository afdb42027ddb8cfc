#pragma once

#include <sys/types.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "tests/support/agent/ProgramAgent.h"

typedef struct _XDisplay Display;

// What the benchmarks of the built programs share: a private display with
// synthesised input, a throw-away profile, figures of the processes from
// /proc, and the page and screen times the test agent reports.
namespace bench {

// Microseconds of the wall clock: the clock of the agent's paint times and
// of a page's performance.timeOrigin, so that times of three processes meet.
long long WallMicros();
double MillisBetween(long long fromMicros, long long toMicros);

// "load average 1.23 / 0.98 / 0.75 (1, 5, 15 min) on 8 processors".
std::string LoadLine();

// Median and range of a series of figures.
struct Spread {
    double median = 0, min = 0, max = 0;
    size_t count = 0;
};
Spread Summarise(std::vector<double> values);
// "median 41.3 ms (38.0 .. 55.1 ms, 9 rounds)".
std::string Describe(const Spread& spread, const char* unit);

// One process, in MiB: its resident set (RSS); its proportional share of it
// (PSS: each shared page split between the processes that map it, so it
// moves with what else runs on the machine); its private pages (USS, what
// ending it would free); and the part of its PSS that the software GL
// renderer's libraries take (llvmpipe: libLLVM, the DRI driver), which a
// display without a GPU (Xvfb) brings into every process that draws.
struct ProcessFigures {
    pid_t pid = 0;
    std::string name;
    double rssMiB = 0, pssMiB = 0, ussMiB = 0, softwareGLMiB = 0;
};

// A program and the processes it started (the web engine's), found by their
// parent ids; a descendant that is one of the programs named in stopAt is
// left out with everything below it (the reader started by the main program
// counts as a program of its own).
struct ProgramMemory {
    ProcessFigures own;
    std::vector<ProcessFigures> helpers;
    double HelpersPss() const;
    double HelpersRss() const;
    double HelpersUss() const;
    double TotalPss() const { return own.pssMiB + HelpersPss(); }
    double TotalRss() const { return own.rssMiB + HelpersRss(); }
    double TotalUss() const { return own.ussMiB + HelpersUss(); }
    double TotalSoftwareGL() const;
    bool Valid() const { return own.pid > 0; }
};
ProgramMemory MeasureProgram(pid_t pid, const std::set<std::string>& stopAt = {});
// "own RSS 61.2 / PSS 48.0 MiB; 3 web processes PSS 120.4 MiB (...); total PSS 168.4 MiB".
std::string Describe(const ProgramMemory& memory);

// A throw-away profile: HOME, the XDG folders and the runtime folder of
// this process (and so of every program it starts) lie below one temporary
// folder, removed at the end.
class Profile {
  public:
    Profile();
    ~Profile();
    Profile(const Profile&) = delete;
    Profile& operator=(const Profile&) = delete;
    const std::filesystem::path& Root() const { return root_; }
    std::string Path(const std::string& relative) const { return (root_ / relative).string(); }

  private:
    std::filesystem::path root_;
};

// A rectangle of the screen as the X server held it (0xRRGGBB pixels).
struct ScreenArea {
    int x = 0, y = 0, width = 0, height = 0;
    std::vector<unsigned> pixels;
};

// A private X server (Xvfb) for this process and the programs it starts,
// and input on it through XTest, as a user's would arrive.
class Screen {
  public:
    // False when no display could be had.
    bool Open();
    ~Screen();
    void PointerTo(int x, int y);
    // A left click; the wall time just before the button went up (when a
    // link or button acts). settle runs after the pointer moved and after
    // the button went down, so that the program takes each step as a
    // user's hand gives it.
    long long Click(int x, int y, const std::function<void()>& settle = {});
    // Press and release of a key; the wall time just before the press.
    long long Key(unsigned long keysym);
    void TypeText(const std::string& ascii);
    // What the screen shows there now; no pixels when it cannot be read.
    ScreenArea Grab(const testing_support::AgentRect& area);

  private:
    Display* display_ = nullptr;
};

// Whether an area shows a page of text: mostly light, with dark glyphs.
bool ShowsText(const ScreenArea& area);
// Whether two grabs of one area show different things.
bool Differs(const ScreenArea& a, const ScreenArea& b);
// Grabs the area every millisecond or so until it shows text that differs
// from what it showed before; the wall time of that grab, 0 after timeoutMs.
long long WaitUntilShown(Screen& screen, const ScreenArea& before, int timeoutMs);
// What the area shows once it stays the same for a moment (a page that
// still settles its fonts or scroll would otherwise count as a change).
ScreenArea WaitUntilSteady(Screen& screen, const testing_support::AgentRect& area, int timeoutMs);
// The top of a page in a web view: where a chapter's title stands.
testing_support::AgentRect TitleArea(const testing_support::AgentRect& view);

// The built programs, beside this benchmark's build folder (build/bin).
std::string BuiltProgramFolder();
// Where the benchmarks leave their screenshots: build/bench/screenshots/.
std::string ScreenshotFolder();

// A screenshot of the agent's program's first top-level window on the
// screen, into ScreenshotFolder() + name; says where it went.
void ShootWindow(testing_support::ProgramAgent& agent, const std::string& name);

// Waits, looking every 10 ms, until probe() holds; false after timeoutMs.
bool WaitFor(const std::function<bool()>& probe, int timeoutMs);

// The times a page's own clock (performance.timeOrigin, the wall clock)
// gives its load: when its navigation began and when the engine first
// painted its text (the paint-timing entry "first-contentful-paint").
struct PageTimes {
    bool ok = false;
    long long navigationStart = 0;
    long long contentfulPaint = 0;
};

// Waits until the visible web view of the agent's program shows a document
// titled title whose load began at notBefore or later and whose text has
// been painted; its times.
PageTimes WaitForPageTimes(testing_support::ProgramAgent& agent, const std::string& title,
                           long long notBefore, int timeoutMs);

// The first web view of the window whose title contains titlePart (any
// window when empty); empty id when there is none.
testing_support::AgentView FindView(
    testing_support::ProgramAgent& agent,
    const std::function<bool(const testing_support::AgentView&)>& accept);

// Prints a line at once (the figures of a long run appear as they come).
template <typename... Args>
void Say(const char* format, Args... args) {
    std::printf(format, args...);
    std::fflush(stdout);
}

}  // namespace bench
