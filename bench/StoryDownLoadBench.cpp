// Whole-story download figures: 1,000 chapters fetched by the ten chapter
// workers from a fake site that answers each request after 50, 20 or 0 ms.
// Each figure is a ratio measured in this one run:
// - at 50 and 20 ms, the wall time against the ideal ceil(1000 / 10) x delay;
// - at 0 ms, the chapters per second against curl --parallel --parallel-max 10
//   fetching the same URLs from the same server over at most ten connections
//   (without parsing or storing), when curl is installed. A round takes about
//   a tenth of a second, so the two take turns for a number of rounds and the
//   medians are compared; curl's time includes its own start, which is printed
//   beside it;
// - for every run, the CPU time of this process per chapter (the fake site runs
//   in a process of its own, so this is the downloader's own cost) and the most
//   requests the site had in flight at once;
// - the fake site's own ceiling (keep-alive requests per second from a minimal
//   client on ten connections), so that it is seen not to be the limit.

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/DBCreater.h"
#include "core/Folders.h"
#include "core/SqliteDB.h"
#include "core/StoryDB.h"
#include "net/StoryDownLoad.h"
#include "platform/AtomicFile.h"
#include "platform/Charset.h"
#include "tests/support/FakeHttpServer.h"
#include "tests/support/FakeNovelSite.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing_support::FakeHttpServer;
using testing_support::FakeNovelSite;
using testing_support::FakeSiteOptions;
using testing_support::Fault;

constexpr int kChapters = 1000;
constexpr int kDelaysMs[] = {50, 20, 0};
// Rounds at no delay, Quira and curl in turn; the medians count.
constexpr int kNoDelayRounds = 9;
// The goals: the wall time at most this many times the ideal at a delay, and
// at no delay at least curl's rate with less than this CPU per chapter.
constexpr double kGoalRatio = 1.10;
constexpr double kGoalCpuMs = 1.0;

double CpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double MillisSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// ---- The pipe between this process and the site's -------------------------

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool ReadAll(int fd, std::string& bytes, size_t size) {
    bytes.resize(size);
    size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, bytes.data() + got, size - got);
        if (n <= 0) return false;
        got += static_cast<size_t>(n);
    }
    return true;
}

// A text with its length in front, so that any bytes travel.
void Put(std::string& message, std::string_view text) {
    message += std::to_string(text.size()) + "\n";
    message += text;
}

bool Get(int fd, std::string& text) {
    std::string length;
    char c;
    while (::read(fd, &c, 1) == 1 && c != '\n') length += c;
    if (length.empty()) return false;
    return ReadAll(fd, text, std::stoul(length));
}

// ---- The site's process -----------------------------------------------------

// Serves the fake site until told to quit. Commands: "delay <ms>" (every
// chapter page answers after that long; the log and the peak start anew) and
// "stats" (peak in flight, connections so far, requests since the delay).
int ServeSite(int commands, int replies) {
    FakeHttpServer server;
    FakeSiteOptions options;
    options.siteID = "bench";
    FakeNovelSite site(server, options);
    const auto story = site.AddStory("千章长卷", "快笔", kChapters, 10);
    std::string message;
    Put(message, std::to_string(server.Port()));
    const auto row = site.Row();
    const auto columns = row.Columns();
    Put(message, std::to_string(columns.size()));
    for (const auto& [name, value] : columns) {
        Put(message, name);
        Put(message, *value);
    }
    Put(message, story.id);
    Put(message, story.folder);
    Put(message, story.title);
    const auto chapters = story.Chapters();
    Put(message, std::to_string(chapters.size()));
    for (const auto* chapter : chapters) {
        Put(message, chapter->id);
        Put(message, chapter->name);
        Put(message, site.ChapterURL(story.id, chapter->id));
    }
    if (!WriteAll(replies, message)) return 1;
    for (std::string command; Get(commands, command);) {
        std::string reply = "ok";
        if (command.rfind("delay ", 0) == 0) {
            server.ClearFaults();
            Fault slow;
            slow.delay = std::chrono::milliseconds(std::stoi(command.substr(6)));
            if (slow.delay.count() > 0)
                server.SetFault(site.Prefix() + "/" + story.folder + "/*", slow);
            server.ClearLog();
            server.ResetPeak();
        } else if (command == "stats") {
            reply = std::to_string(server.PeakInFlight()) + " " +
                    std::to_string(server.ConnectionCount()) + " " +
                    std::to_string(server.Requests().size());
        } else if (command == "quit") {
            return 0;
        }
        std::string answer;
        Put(answer, reply);
        if (!WriteAll(replies, answer)) return 1;
    }
    return 0;
}

struct SiteProcess {
    pid_t pid = -1;
    int commands = -1, replies = -1;
    uint16_t port = 0;
    std::vector<std::pair<std::string, std::string>> row;       // column, GBK value
    std::string storyID, folder, title;                         // title in UTF-8
    std::vector<std::pair<std::string, std::string>> chapters;  // id, name (UTF-8)
    std::vector<std::string> urls;

    std::string Ask(const std::string& command) const {
        std::string message, reply;
        Put(message, command);
        if (!WriteAll(commands, message) || !Get(replies, reply)) return {};
        return reply;
    }
    ~SiteProcess() {
        if (pid <= 0) return;
        Ask("quit");
        ::close(commands);
        ::close(replies);
        waitpid(pid, nullptr, 0);
    }
};

// Forked before this process starts any thread; false when the site does not come up.
bool StartSite(SiteProcess& site) {
    int down[2], up[2];
    if (::pipe2(down, O_CLOEXEC) != 0 || ::pipe2(up, O_CLOEXEC) != 0) return false;
    site.pid = ::fork();
    if (site.pid < 0) return false;
    if (site.pid == 0) {
        ::close(down[1]);
        ::close(up[0]);
        _exit(ServeSite(down[0], up[1]));
    }
    ::close(down[0]);
    ::close(up[1]);
    site.commands = down[1];
    site.replies = up[0];
    std::string text, name, value, count;
    if (!Get(site.replies, text)) return false;
    site.port = static_cast<uint16_t>(std::stoi(text));
    if (!Get(site.replies, count)) return false;
    for (int i = std::stoi(count); i > 0; --i) {
        if (!Get(site.replies, name) || !Get(site.replies, value)) return false;
        site.row.emplace_back(name, value);
    }
    if (!Get(site.replies, site.storyID) || !Get(site.replies, site.folder) ||
        !Get(site.replies, site.title) || !Get(site.replies, count))
        return false;
    for (int i = std::stoi(count); i > 0; --i) {
        std::string url;
        if (!Get(site.replies, name) || !Get(site.replies, value) || !Get(site.replies, url))
            return false;
        site.chapters.emplace_back(name, value);
        site.urls.push_back(url);
    }
    return true;
}

// ---- Quira's download ---------------------------------------------------------

std::string BenchProgramFolder() {
    // The bench lives in build/bench/, the template bundle in build/bin/.
    const auto self = std::filesystem::read_symlink("/proc/self/exe");
    return (self.parent_path().parent_path() / "bin").string() + "/";
}

bool StoreStory(const SiteProcess& site, const std::string& dbPath) {
    std::string columns, values;
    std::vector<SqlParam> params;
    for (const auto& [name, value] : site.row) {
        columns += (columns.empty() ? "" : ",") + name;
        values += (values.empty() ? ":" : ",:") + name;
        params.push_back({":" + name, platform::AnsiToUtf8(value)});
    }
    {
        auto raw = SqliteDB::Open(dbPath, SqliteDB::Mode::ReadWrite, 5000);
        if (!raw ||
            !raw->Execute("insert into Site(" + columns + ") values(" + values + ")", params))
            return false;
    }
    TStoryDB& db = *StoryDB();
    if (!db.AddArticle("bench", site.storyID, platform::Utf8ToAnsi(site.title), "", "", "", "", -1,
                       site.folder))
        return false;
    TStoryDB::ChapterBatch batch(db);
    int position = 0;
    for (const auto& [id, name] : site.chapters)
        db.AddChapter("bench", site.storyID, id, "", platform::Utf8ToAnsi(name), "", position++);
    return batch.Commit();
}

struct RunFigures {
    bool ok = false;
    double wallMs = 0, cpuMs = 0;
    int failed = -1;
    std::string stats;  // peak, connections, requests
};

RunFigures DownloadStory(const SiteProcess& site, int delayMs) {
    RunFigures figures;
    site.Ask("delay " + std::to_string(delayMs));
    // Every run fetches every chapter: the cache of the run before is moved
    // aside (and removed at the end), since a file system slows its next
    // thousand new files down for a while after a thousand were deleted.
    static int runs = 0;
    AnsiString folderName;
    StoryDB()->GetFolderName("bench", site.storyID, folderName);
    std::error_code ignored;
    std::filesystem::rename(BookFolder() + folderName,
                            BookFolder() + "aside-" + std::to_string(++runs), ignored);

    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    TStoryDownLoad download;
    download.OnComplete = [&](TStoryDownLoad*, int failed) {
        const std::lock_guard lock(mutex);
        figures.failed = failed;
        done = true;
        ended.notify_all();
    };
    const double cpuBefore = CpuSeconds(RUSAGE_SELF);
    const auto start = Clock::now();
    download.Start("bench", site.storyID, 1, 0);
    {
        std::unique_lock lock(mutex);
        figures.ok = ended.wait_for(lock, 300s, [&] { return done; });
    }
    figures.wallMs = MillisSince(start);
    figures.cpuMs = (CpuSeconds(RUSAGE_SELF) - cpuBefore) * 1000.0;
    figures.stats = site.Ask("stats");
    figures.ok = figures.ok && figures.failed == 0;
    return figures;
}

// ---- curl, and the site's own ceiling -----------------------------------------

bool CurlInstalled() {
    return ::access("/usr/bin/curl", X_OK) == 0;
}

// curl fetching every URL with ten transfers at once; its wall time and CPU.
bool RunCurl(const std::vector<std::string>& urls, const std::string& folder, double& wallMs,
             double& cpuMs) {
    const std::string config = folder + "/curl.config";
    {
        std::ofstream out(config);
        for (const auto& url : urls) out << "url = \"" << url << "\"\noutput = \"/dev/null\"\n";
    }
    std::vector<std::string> args = {"curl",   "--silent",   "--no-progress-meter",
                                     "--fail", "--parallel", "--parallel-max",
                                     "10",     "--config",   config};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const auto start = Clock::now();
    pid_t pid = -1;
    // Its progress meter would only clutter the figures.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const int spawned = posix_spawn(&pid, "/usr/bin/curl", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return false;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return false;
    wallMs = MillisSince(start);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    cpuMs = (seconds(usage.ru_utime) + seconds(usage.ru_stime)) * 1000.0;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// One keep-alive connection fetching its share of the URLs as fast as the
// site answers; false on any broken answer.
bool FetchOverOneConnection(uint16_t port, const std::vector<std::string>& paths, size_t first,
                            size_t step, size_t count) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    std::string buffer;
    char chunk[65536];
    for (size_t i = 0; ok && i < count; ++i) {
        const std::string& path = paths[(first + i * step) % paths.size()];
        ok = WriteAll(fd, "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        size_t headEnd = std::string::npos;
        size_t length = 0;
        while (ok) {
            if (headEnd == std::string::npos &&
                (headEnd = buffer.find("\r\n\r\n")) != std::string::npos) {
                const size_t at = buffer.find("Content-Length:");
                ok = at != std::string::npos && at < headEnd;
                if (ok) length = std::stoul(buffer.substr(at + 15));
            }
            if (headEnd != std::string::npos && buffer.size() >= headEnd + 4 + length) {
                buffer.erase(0, headEnd + 4 + length);
                break;
            }
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n <= 0)
                ok = false;
            else
                buffer.append(chunk, static_cast<size_t>(n));
        }
    }
    ::close(fd);
    return ok;
}

// Requests per second the site serves to a client that does nothing else.
double SiteCeiling(const SiteProcess& site, size_t connections, size_t requests) {
    site.Ask("delay 0");
    std::vector<std::string> paths;
    const std::string base = "http://127.0.0.1:" + std::to_string(site.port);
    for (const auto& url : site.urls) paths.push_back(url.substr(base.size()));
    std::atomic<bool> ok{true};
    const auto start = Clock::now();
    std::vector<std::thread> threads;
    for (size_t c = 0; c < connections; ++c)
        threads.emplace_back([&, c] {
            if (!FetchOverOneConnection(site.port, paths, c, connections, requests / connections))
                ok = false;
        });
    for (auto& t : threads) t.join();
    const double seconds = MillisSince(start) / 1000.0;
    return ok ? static_cast<double>(requests / connections * connections) / seconds : 0.0;
}

double LoadAverage() {
    double load = -1;
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &load) != 1) load = -1;
        std::fclose(f);
    }
    return load;
}

// The figures of one delay, with a run at each of the longer delays and
// kNoDelayRounds at none.
struct Stats {
    int peak = 0, connections = 0, requests = 0;
};

Stats ParseStats(const std::string& text) {
    Stats stats;
    std::sscanf(text.c_str(), "%d %d %d", &stats.peak, &stats.connections, &stats.requests);
    return stats;
}

bool ReportDelayed(const SiteProcess& site, const std::filesystem::path& root, int delay) {
    const RunFigures run = DownloadStory(site, delay);
    if (!run.ok) {
        std::printf("whole-story download at %d ms did not complete (failed chapters %d)\n", delay,
                    run.failed);
        return false;
    }
    const Stats stats = ParseStats(run.stats);
    const double ideal = (kChapters + TStoryDownLoad::kWorkers - 1) / TStoryDownLoad::kWorkers *
                         static_cast<double>(delay);
    const double ratio = run.wallMs / ideal;
    const double rounds = ideal / delay;
    std::printf(
        "whole-story download of %d chapters, %d ms per request: %.0f ms, %.3f x the ideal %.0f "
        "ms (%s, at most %.2f x); a worker's time between requests %.1f ms per chapter",
        kChapters, delay, run.wallMs, ratio, ideal,
        ratio <= kGoalRatio ? "goal met" : "goal missed", kGoalRatio, run.wallMs / rounds - delay);
    // What the machine and the site allow at this delay, for judging
    // the figure on a busy machine: curl on the same URLs.
    double curlWall = 0, curlCpu = 0;
    if (CurlInstalled() && RunCurl(site.urls, root.string(), curlWall, curlCpu))
        std::printf("\n  (curl --parallel-max 10 at this delay: %.3f x the ideal)",
                    curlWall / ideal);
    std::printf(
        "\n  CPU %.3f ms per chapter; peak requests in flight %d (workers %d); %d requests\n",
        run.cpuMs / kChapters, stats.peak, TStoryDownLoad::kWorkers, stats.requests);
    return true;
}

// The file system's own part: ten threads writing as many new files of a
// chapter page's size into a new folder, the way the chapter writer does
// (unnamed, then linked in). On some file systems new files cost far more
// for a while after many were deleted, by any program; this tells when the
// disk rather than the download sets the figure. The files stay until the
// end: deleting them would slow the next round's new files down.
double FileSystemMs(const std::filesystem::path& root, int round, size_t bytes) {
    const std::string folder = (root / ("files-" + std::to_string(round))).string() + "/";
    std::filesystem::create_directories(folder);
    const std::string page(bytes, 'x');
    std::atomic<bool> ok{true};
    const auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int t = 0; t < TStoryDownLoad::kWorkers; ++t)
        threads.emplace_back([&, t] {
            for (int i = t; i < kChapters; i += TStoryDownLoad::kWorkers)
                if (!platform::WriteFileAtomic(folder + std::to_string(i) + ".txt", page,
                                               platform::FileDurability::Replaceable))
                    ok = false;
        });
    for (auto& t : threads) t.join();
    return ok ? MillisSince(start) : -1;
}

// The size of one chapter file of the story as the download wrote it.
size_t ChapterFileBytes(const SiteProcess& site) {
    AnsiString folderName;
    StoryDB()->GetFolderName("bench", site.storyID, folderName);
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(BookFolder() + folderName, error))
        if (entry.path().extension() == ".txt") return entry.file_size(error);
    return 4096;
}

// Quira and curl take turns, so that a change in the machine's load touches
// both alike; the rates compared are those of the median rounds. Returns
// Quira's median rate (0 when a run failed).
double ReportNoDelay(const SiteProcess& site, const std::filesystem::path& root, int rounds,
                     double& curlRate) {
    curlRate = 0;
    const bool withCurl = CurlInstalled();
    std::vector<double> wall, cpu, curlWall, curlCpu, ratios, files;
    std::vector<int> peaks;
    int connections = 0, curlConnections = 0;
    for (int round = 0; round < rounds; ++round) {
        const int before = ParseStats(site.Ask("stats")).connections;
        const RunFigures run = DownloadStory(site, 0);
        if (!run.ok) {
            std::printf("whole-story download at 0 ms did not complete (failed chapters %d)\n",
                        run.failed);
            return 0;
        }
        const Stats stats = ParseStats(run.stats);
        connections = std::max(connections, stats.connections - before);
        peaks.push_back(stats.peak);
        wall.push_back(run.wallMs);
        cpu.push_back(run.cpuMs / kChapters);
        files.push_back(FileSystemMs(root, round, ChapterFileBytes(site)));
        if (files.back() < 0) {
            std::printf("the file system did not take %d new files\n", kChapters);
            return 0;
        }
        if (!withCurl) continue;
        double w = 0, c = 0;
        if (!RunCurl(site.urls, root.string(), w, c)) {
            std::printf("curl did not fetch every URL\n");
            return 0;
        }
        curlConnections = std::max(curlConnections,
                                   ParseStats(site.Ask("stats")).connections - stats.connections);
        curlWall.push_back(w);
        curlCpu.push_back(c / kChapters);
        ratios.push_back(w / run.wallMs);
    }
    const double quiraMs = Median(wall);
    const double quiraRate = kChapters / (quiraMs / 1000.0);
    const double quiraCpuMs = Median(cpu);
    std::printf(
        "whole-story download of %d chapters, 0 ms per request, median of %d rounds: %.0f ms "
        "(%.0f to %.0f), %.0f chapters/s\n",
        kChapters, rounds, quiraMs, *std::min_element(wall.begin(), wall.end()),
        *std::max_element(wall.begin(), wall.end()), quiraRate);
    std::printf(
        "  CPU %.3f ms per chapter (%s, under %.1f ms); peak requests in flight %.0f (median; "
        "workers %d); at most %d connections opened in a round\n",
        quiraCpuMs, quiraCpuMs < kGoalCpuMs ? "goal met" : "goal missed", kGoalCpuMs,
        Median(std::vector<double>(peaks.begin(), peaks.end())), TStoryDownLoad::kWorkers,
        connections);
    std::printf(
        "  the file system alone: %d new files of a chapter page's size from %d threads, as "
        "the chapter writer makes them, median %.0f ms (%.0f to %.0f)\n",
        kChapters, TStoryDownLoad::kWorkers, Median(files),
        *std::min_element(files.begin(), files.end()),
        *std::max_element(files.begin(), files.end()));
    if (!withCurl) {
        std::printf("curl is not installed: no comparison\n");
        return quiraRate;
    }
    // curl's own start (exec, libraries, reading its list) is inside its time.
    double startWall = 0, startCpu = 0;
    std::vector<double> starts;
    for (int i = 0; i < 5; ++i)
        if (RunCurl({site.urls.front()}, root.string(), startWall, startCpu))
            starts.push_back(startWall);
    const double curlMs = Median(curlWall);
    curlRate = kChapters / (curlMs / 1000.0);
    std::printf(
        "curl --parallel --parallel-max 10, the same server and %d URLs, written to /dev/null "
        "(no parsing, no files), median of %d rounds: %.0f ms (%.0f to %.0f), %.0f chapters/s, "
        "CPU %.3f ms per chapter; at most %d connections opened in a round; curl's start with "
        "one URL %.1f ms\n",
        kChapters, rounds, curlMs, *std::min_element(curlWall.begin(), curlWall.end()),
        *std::max_element(curlWall.begin(), curlWall.end()), curlRate, Median(curlCpu),
        curlConnections, Median(starts));
    std::printf(
        "  Quira's rate %.2f x curl's (%s, at least 1.00 x); round by round %.2f to %.2f x\n",
        quiraRate / curlRate, quiraRate >= curlRate ? "goal met" : "goal missed",
        *std::min_element(ratios.begin(), ratios.end()),
        *std::max_element(ratios.begin(), ratios.end()));
    // Stricter: curl's time without its own start, Quira's with the reading
    // of its queue.
    const double fetchOnly = curlMs - Median(starts);
    if (fetchOnly > 0)
        std::printf("  against curl's fetching alone (its start taken off): %.2f x\n",
                    fetchOnly / quiraMs);
    return quiraRate;
}

}  // namespace

// Options: --no-delay-only (the runs at 50 and 20 ms are left out, for
// profiling) and --rounds N (rounds at no delay).
int main(int argc, char** argv) {
    bool noDelayOnly = false;
    int rounds = kNoDelayRounds;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--no-delay-only") {
            noDelayOnly = true;
        } else if (arg == "--rounds" && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else {
            std::printf("usage: %s [--no-delay-only] [--rounds N]\n", argv[0]);
            return 2;
        }
    }
    SiteProcess site;
    if (!StartSite(site)) {
        std::printf("FAILED: the fake site did not start\n");
        return 1;
    }
    // In TMPDIR when set: the file system of the chapter files is a large
    // part of the figure at no delay.
    std::string pattern = (std::filesystem::temp_directory_path() / "quira-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return 1;
    const std::filesystem::path root = pattern;
    SetAppFolder((root / "app").string() + "/");
    SetDataFolder((root / "data").string() + "/");
    SetProgramFolder(BenchProgramFolder());
    std::filesystem::create_directories(root / "app");
    std::filesystem::create_directories(root / "data" / "BooK");
    const std::string dbPath = (root / "app" / "idata.dll").string();
    std::ofstream(dbPath, std::ios::binary);
    if (!TDBCreater().CheckDatabase(dbPath, dbPath + ".none")) return 1;
    SetStoryDB(std::make_unique<TStoryDB>(dbPath));
    bool ok = StoreStory(site, dbPath);

    std::printf("machine load average (1 min) at the start: %.2f on %u processors\n", LoadAverage(),
                std::thread::hardware_concurrency());
    for (const int delay : kDelaysMs) {
        if (!ok || delay == 0 || noDelayOnly) continue;
        ok = ReportDelayed(site, root, delay);
    }
    double quiraRate = 0, curlRate = 0;
    if (ok) {
        quiraRate = ReportNoDelay(site, root, rounds, curlRate);
        ok = quiraRate > 0;
    }
    if (ok) {
        const double ceiling = SiteCeiling(site, TStoryDownLoad::kWorkers, 4 * kChapters);
        std::printf(
            "fake site's own ceiling, %d keep-alive connections: %.0f requests/s (%.1f x "
            "Quira's rate%s)\n",
            TStoryDownLoad::kWorkers, ceiling, ceiling / quiraRate,
            curlRate > 0
                ? (", " + std::to_string(ceiling / curlRate).substr(0, 4) + " x curl's").c_str()
                : "");
        ok = ceiling > 0;
    }
    std::printf("machine load average (1 min) at the end: %.2f\n", LoadAverage());
    SetStoryDB(nullptr);
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    return ok ? 0 : 1;
}
