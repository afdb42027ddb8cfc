#include "bench/support/ProgramBench.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/window/WindowTest.h"

namespace bench {

namespace fs = std::filesystem;
using testing_support::AgentError;
using testing_support::AgentView;
using testing_support::ProgramAgent;

long long WallMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

double MillisBetween(long long fromMicros, long long toMicros) {
    return static_cast<double>(toMicros - fromMicros) / 1000.0;
}

std::string LoadLine() {
    double one = -1, five = -1, fifteen = -1;
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf %lf %lf", &one, &five, &fifteen) != 3) one = five = fifteen = -1;
        std::fclose(f);
    }
    char line[160];
    std::snprintf(line, sizeof line,
                  "load average %.2f / %.2f / %.2f (1, 5, 15 min) on %u processors", one, five,
                  fifteen, std::thread::hardware_concurrency());
    return line;
}

Spread Summarise(std::vector<double> values) {
    Spread s;
    s.count = values.size();
    if (values.empty()) return s;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    s.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    s.min = values.front();
    s.max = values.back();
    return s;
}

std::string Describe(const Spread& spread, const char* unit) {
    char text[160];
    std::snprintf(text, sizeof text, "median %.1f %s (%.1f .. %.1f %s, %zu rounds)", spread.median,
                  unit, spread.min, spread.max, unit, spread.count);
    return text;
}

// ---- processes --------------------------------------------------------------

namespace {

struct ProcEntry {
    pid_t pid = 0, parent = 0;
    std::string name;
};

std::vector<ProcEntry> Processes() {
    std::vector<ProcEntry> list;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
        const std::string number = entry.path().filename().string();
        if (number.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        // pid (name) state ppid ...: the name may hold blanks and brackets.
        const size_t open = line.find('('), close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos) continue;
        ProcEntry p;
        p.pid = static_cast<pid_t>(std::stol(number));
        p.name = line.substr(open + 1, close - open - 1);
        std::istringstream rest(line.substr(close + 2));
        char state = 0;
        rest >> state >> p.parent;
        if (state == 'Z') continue;
        list.push_back(p);
    }
    return list;
}

// A kB field of a /proc file ("VmRSS:", "Pss:") in MiB; 0 when missing.
double KiBField(const std::string& file, const std::string& field) {
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(field, 0) != 0) continue;
        return std::strtod(line.c_str() + field.size(), nullptr) / 1024.0;
    }
    return 0;
}

// The PSS of the mappings of the software GL renderer's libraries.
double SoftwareGLPss(const std::string& smaps) {
    std::ifstream in(smaps);
    double kib = 0;
    bool gl = false;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && std::isxdigit(static_cast<unsigned char>(line[0])) &&
            line.find('-') < line.find(' ')) {
            gl = line.find("libLLVM") != std::string::npos ||
                 line.find("_dri.so") != std::string::npos ||
                 line.find("libgallium") != std::string::npos;
        } else if (gl && line.rfind("Pss:", 0) == 0) {
            kib += std::strtod(line.c_str() + 4, nullptr);
        }
    }
    return kib / 1024.0;
}

ProcessFigures Figures(const ProcEntry& p) {
    const std::string base = "/proc/" + std::to_string(p.pid) + "/";
    const std::string rollup = base + "smaps_rollup";
    return {p.pid,
            p.name,
            KiBField(base + "status", "VmRSS:"),
            KiBField(rollup, "Pss:"),
            KiBField(rollup, "Private_Clean:") + KiBField(rollup, "Private_Dirty:"),
            SoftwareGLPss(base + "smaps")};
}

double Sum(const std::vector<ProcessFigures>& processes, double ProcessFigures::*figure) {
    double sum = 0;
    for (const ProcessFigures& p : processes) sum += p.*figure;
    return sum;
}

}  // namespace

double ProgramMemory::HelpersPss() const {
    return Sum(helpers, &ProcessFigures::pssMiB);
}

double ProgramMemory::HelpersRss() const {
    return Sum(helpers, &ProcessFigures::rssMiB);
}

double ProgramMemory::HelpersUss() const {
    return Sum(helpers, &ProcessFigures::ussMiB);
}

double ProgramMemory::TotalSoftwareGL() const {
    return own.softwareGLMiB + Sum(helpers, &ProcessFigures::softwareGLMiB);
}

ProgramMemory MeasureProgram(pid_t pid, const std::set<std::string>& stopAt) {
    ProgramMemory memory;
    const std::vector<ProcEntry> all = Processes();
    std::multimap<pid_t, const ProcEntry*> children;
    const ProcEntry* self = nullptr;
    for (const auto& p : all) {
        children.emplace(p.parent, &p);
        if (p.pid == pid) self = &p;
    }
    if (!self) return memory;
    memory.own = Figures(*self);
    std::vector<pid_t> queue = {pid};
    while (!queue.empty()) {
        const pid_t parent = queue.back();
        queue.pop_back();
        const auto [first, last] = children.equal_range(parent);
        for (auto it = first; it != last; ++it) {
            const ProcEntry& child = *it->second;
            if (stopAt.count(child.name)) continue;
            memory.helpers.push_back(Figures(child));
            queue.push_back(child.pid);
        }
    }
    return memory;
}

std::string Describe(const ProgramMemory& memory) {
    char text[512];
    std::map<std::string, std::pair<int, double>> byName;
    for (const auto& h : memory.helpers) {
        auto& [count, pss] = byName[h.name];
        ++count;
        pss += h.pssMiB;
    }
    std::string helpers;
    for (const auto& [name, figures] : byName) {
        char part[128];
        std::snprintf(part, sizeof part, "%s%d %s %.1f", helpers.empty() ? "" : ", ", figures.first,
                      name.c_str(), figures.second);
        helpers += part;
    }
    std::snprintf(text, sizeof text,
                  "own RSS %.1f, PSS %.1f, USS %.1f MiB; web processes PSS %.1f MiB (%s), USS "
                  "%.1f MiB;\n    total PSS %.1f MiB, of which the software GL renderer's "
                  "libraries %.1f MiB; total USS %.1f MiB (RSS summed %.1f MiB)",
                  memory.own.rssMiB, memory.own.pssMiB, memory.own.ussMiB, memory.HelpersPss(),
                  helpers.empty() ? "none" : helpers.c_str(), memory.HelpersUss(),
                  memory.TotalPss(), memory.TotalSoftwareGL(), memory.TotalUss(),
                  memory.TotalRss());
    return text;
}

// ---- profile ----------------------------------------------------------------

Profile::Profile() {
    std::string pattern = (fs::temp_directory_path() / "quira-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("no temporary folder");
    root_ = pattern;
    const std::pair<const char*, const char*> folders[] = {
        {"HOME", "home"},
        {"XDG_DATA_HOME", "home/.local/share"},
        {"XDG_CONFIG_HOME", "home/.config"},
        {"XDG_CACHE_HOME", "home/.cache"},
        {"XDG_RUNTIME_DIR", "run"},
    };
    for (const auto& [name, relative] : folders) {
        fs::create_directories(root_ / relative);
        setenv(name, (root_ / relative).c_str(), 1);
    }
    fs::permissions(root_ / "run", fs::perms::owner_all, fs::perm_options::replace);
}

Profile::~Profile() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

// ---- the screen ---------------------------------------------------------------

bool Screen::Open() {
    if (!uitest::OpenPrivateDisplay()) return false;
    display_ = XOpenDisplay(nullptr);
    int event = 0, error = 0, major = 0, minor = 0;
    return display_ && XTestQueryExtension(display_, &event, &error, &major, &minor);
}

Screen::~Screen() {
    if (display_) XCloseDisplay(display_);
}

void Screen::PointerTo(int x, int y) {
    XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
    XSync(display_, False);
}

long long Screen::Click(int x, int y, const std::function<void()>& settle) {
    PointerTo(x, y);
    if (settle) settle();
    XTestFakeButtonEvent(display_, 1, True, CurrentTime);
    XSync(display_, False);
    if (settle) settle();
    const long long at = WallMicros();
    XTestFakeButtonEvent(display_, 1, False, CurrentTime);
    XSync(display_, False);
    return at;
}

long long Screen::Key(unsigned long keysym) {
    const KeyCode code = XKeysymToKeycode(display_, keysym);
    const long long at = WallMicros();
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    XSync(display_, False);
    return at;
}

void Screen::TypeText(const std::string& ascii) {
    const KeyCode shift = XKeysymToKeycode(display_, 0xffe1 /* Shift_L */);
    for (const char c : ascii) {
        const bool upper = c >= 'A' && c <= 'Z';
        // Latin-1 keysyms equal their characters for printable ASCII.
        const KeyCode code =
            XKeysymToKeycode(display_, static_cast<unsigned char>(upper ? c + ('a' - 'A') : c));
        if (upper) XTestFakeKeyEvent(display_, shift, True, CurrentTime);
        XTestFakeKeyEvent(display_, code, True, CurrentTime);
        XTestFakeKeyEvent(display_, code, False, CurrentTime);
        if (upper) XTestFakeKeyEvent(display_, shift, False, CurrentTime);
        XSync(display_, False);
    }
}

ScreenArea Screen::Grab(const testing_support::AgentRect& area) {
    ScreenArea grab{area.x, area.y, area.width, area.height, {}};
    if (area.Empty()) return grab;
    XImage* image = XGetImage(display_, DefaultRootWindow(display_), area.x, area.y,
                              static_cast<unsigned>(area.width), static_cast<unsigned>(area.height),
                              AllPlanes, ZPixmap);
    if (!image) return grab;
    grab.pixels.reserve(static_cast<size_t>(area.width) * static_cast<size_t>(area.height));
    for (int y = 0; y < area.height; ++y)
        for (int x = 0; x < area.width; ++x)
            grab.pixels.push_back(static_cast<unsigned>(XGetPixel(image, x, y)) & 0xFFFFFFu);
    XDestroyImage(image);
    return grab;
}

bool ShowsText(const ScreenArea& area) {
    if (area.pixels.empty()) return false;
    size_t light = 0, dark = 0;
    for (const unsigned p : area.pixels) {
        const unsigned r = p >> 16, g = (p >> 8) & 0xFF, b = p & 0xFF;
        const unsigned high = std::max({r, g, b});
        if (high < 0x60) ++dark;
        if (std::min({r, g, b}) > 0xC0) ++light;
    }
    // Glyphs on paper: the root window's black or a blank window is none.
    return light * 2 > area.pixels.size() && dark >= 30;
}

bool Differs(const ScreenArea& a, const ScreenArea& b) {
    if (a.pixels.size() != b.pixels.size()) return true;
    size_t changed = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) changed += a.pixels[i] != b.pixels[i];
    return changed >= 30;
}

long long WaitUntilShown(Screen& screen, const ScreenArea& before, int timeoutMs) {
    const testing_support::AgentRect area{before.x, before.y, before.width, before.height};
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        const long long at = WallMicros();
        const ScreenArea now = screen.Grab(area);
        if (ShowsText(now) && Differs(now, before)) return at;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return 0;
}

ScreenArea WaitUntilSteady(Screen& screen, const testing_support::AgentRect& area, int timeoutMs) {
    ScreenArea last = screen.Grab(area);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ScreenArea now = screen.Grab(area);
        if (now.pixels == last.pixels) break;
        last = std::move(now);
    }
    return last;
}

testing_support::AgentRect TitleArea(const testing_support::AgentRect& view) {
    const int width = std::min(view.width, 600);
    return {view.x + (view.width - width) / 2, view.y, width, std::min(view.height, 140)};
}

// ---- folders and waiting ---------------------------------------------------------------

std::string BuiltProgramFolder() {
    const fs::path self = fs::read_symlink("/proc/self/exe");
    return (self.parent_path().parent_path() / "bin").string() + "/";
}

std::string ScreenshotFolder() {
    const fs::path self = fs::read_symlink("/proc/self/exe");
    return (self.parent_path() / "screenshots").string() + "/";
}

void ShootWindow(ProgramAgent& agent, const std::string& name) {
    try {
        for (const auto& window : agent.Windows()) {
            if (window.kind != "toplevel" || !window.mapped) continue;
            const std::string path = ScreenshotFolder() + name;
            agent.Shoot(window.id, path);
            Say("  screenshot of %s: %s\n", agent.Program().c_str(), path.c_str());
            return;
        }
    } catch (const AgentError& e) {
        Say("  no screenshot of %s: %s\n", agent.Program().c_str(), e.what());
    }
}

bool WaitFor(const std::function<bool()>& probe, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!probe()) {
        if (std::chrono::steady_clock::now() > end) return probe();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// ---- pages ----------------------------------------------------------------------

AgentView FindView(ProgramAgent& agent, const std::function<bool(const AgentView&)>& accept) {
    for (const AgentView& view : agent.Views())
        if (accept(view)) return view;
    return {};
}

PageTimes WaitForPageTimes(ProgramAgent& agent, const std::string& title, long long notBefore,
                           int timeoutMs) {
    PageTimes times;
    const std::string probe =
        "if (document.title !== " + nlohmann::json(title).dump() +
        ") return null;"
        "const p = performance.getEntriesByName('first-contentful-paint');"
        "if (!p.length) return null;"
        "return [performance.timeOrigin, performance.timeOrigin + p[0].startTime];";
    times.ok = WaitFor(
        [&] {
            try {
                const AgentView view =
                    FindView(agent, [](const AgentView& v) { return v.visible; });
                if (view.id.empty() || view.loading) return false;
                const auto answer = nlohmann::json::parse(agent.Script(view.id, probe, 5000));
                if (!answer.is_array() || answer.size() != 2) return false;
                times.navigationStart = static_cast<long long>(answer[0].get<double>() * 1000);
                times.contentfulPaint = static_cast<long long>(answer[1].get<double>() * 1000);
                // A page of an earlier request (the same chapter shown before).
                return times.navigationStart >= notBefore;
            } catch (const AgentError&) {
                // The script met its page replaced: look again.
                return false;
            }
        },
        timeoutMs);
    return times;
}

}  // namespace bench
