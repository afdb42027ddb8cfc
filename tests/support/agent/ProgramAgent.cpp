#include "tests/support/agent/ProgramAgent.h"

#include "tests/support/PageScriptErrors.h"

#include <link.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

namespace testing_support {
namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

std::string SocketPath(const std::string& folder, const std::string& program, pid_t pid) {
    return folder + "/" + program + "-" + std::to_string(pid) + ".sock";
}

bool Alive(pid_t pid) {
    return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM);
}

int ConnectTo(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return -1;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// The sanitizer runtime loaded into this process: it has to come first in a
// sanitized program's preload list, before the agent.
std::string SanitizerRuntime() {
    std::string found;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            const std::string name = info->dlpi_name ? info->dlpi_name : "";
            const std::string file = std::filesystem::path(name).filename().string();
            for (const char* runtime : {"libasan.so", "libtsan.so"})
                if (file.rfind(runtime, 0) == 0) *static_cast<std::string*>(data) = name;
            return 0;
        },
        &found);
    return found;
}

AgentRect ToRect(const json& r) {
    return {r.value("x", 0), r.value("y", 0), r.value("width", 0), r.value("height", 0)};
}

}  // namespace

std::string ProgramAgent::LibraryPath() {
    return QUIRA_TEST_AGENT_LIBRARY;
}

std::vector<std::string> ProgramAgent::Environment(const std::string& folder,
                                                   const std::vector<std::string>& programs) {
    std::string names;
    for (const std::string& p : programs) names += (names.empty() ? "" : ":") + p;
    const std::string runtime = SanitizerRuntime();
    const std::string preload = (runtime.empty() ? "" : runtime + ":") + LibraryPath();
    return {"QUIRA_TEST_AGENT_DIR=" + folder, "QUIRA_TEST_AGENT_PROGRAMS=" + names,
            "QUIRA_TEST_AGENT_PRELOAD=", "LD_PRELOAD=" + preload};
}

ProgramAgent ProgramAgent::Connect(const std::string& folder, pid_t pid, int timeoutMs) {
    std::string program;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        // The socket's name gives the program's file name.
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
            const std::string name = entry.path().filename().string();
            const std::string suffix = "-" + std::to_string(pid) + ".sock";
            if (name.size() > suffix.size() && name.ends_with(suffix)) {
                program = name.substr(0, name.size() - suffix.size());
                const int fd = ConnectTo(entry.path().string());
                if (fd >= 0) {
                    ProgramAgent agent(fd, pid, program);
                    agent.Request({{"op", "hello"}}, std::max(1000, timeoutMs / 2));
                    return agent;
                }
            }
        }
        if (!Alive(pid))
            throw AgentError("process " + std::to_string(pid) + " ended before its agent served");
        if (Clock::now() > end)
            throw AgentError("the agent of process " + std::to_string(pid) +
                             " did not serve within " + std::to_string(timeoutMs) + " ms");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::vector<pid_t> ProgramAgent::Serving(const std::string& folder, const std::string& program) {
    std::vector<pid_t> pids;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        const std::string prefix = program + "-";
        if (name.rfind(prefix, 0) != 0 || !name.ends_with(".sock")) continue;
        const std::string number = name.substr(prefix.size(), name.size() - prefix.size() - 5);
        if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) continue;
        const pid_t pid = static_cast<pid_t>(std::stol(number));
        if (Alive(pid)) pids.push_back(pid);
    }
    return pids;
}

int ProgramAgent::ExitStatus(const std::string& folder, const std::string& program, pid_t pid) {
    std::ifstream file(folder + "/" + program + "-" + std::to_string(pid) + ".status");
    int code = -1;
    if (!(file >> code)) return -1;
    return code;
}

ProgramAgent ProgramAgent::WaitForProgram(const std::string& folder, const std::string& program,
                                          int timeoutMs, const std::vector<pid_t>& exclude) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        std::vector<pid_t> pids = Serving(folder, program);
        std::erase_if(pids, [&](pid_t p) {
            return std::find(exclude.begin(), exclude.end(), p) != exclude.end();
        });
        std::sort(pids.rbegin(), pids.rend());
        for (const pid_t pid : pids) {
            const int fd = ConnectTo(SocketPath(folder, program, pid));
            if (fd < 0) continue;
            ProgramAgent agent(fd, pid, program);
            agent.Request({{"op", "hello"}}, std::max(1000, timeoutMs / 2));
            return agent;
        }
        if (Clock::now() > end)
            throw AgentError("no agent of " + program + " served within " +
                             std::to_string(timeoutMs) + " ms");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

ProgramAgent::ProgramAgent(int fd, pid_t pid, std::string program)
    : fd_(fd), pid_(pid), program_(std::move(program)) {}

ProgramAgent::ProgramAgent(ProgramAgent&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      pid_(other.pid_),
      program_(std::move(other.program_)),
      nextId_(other.nextId_),
      buffer_(std::move(other.buffer_)) {}

ProgramAgent& ProgramAgent::operator=(ProgramAgent&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        pid_ = other.pid_;
        program_ = std::move(other.program_);
        nextId_ = other.nextId_;
        buffer_ = std::move(other.buffer_);
    }
    return *this;
}

ProgramAgent::~ProgramAgent() {
    if (fd_ >= 0) close(fd_);
}

std::string ProgramAgent::Describe() const {
    return "the agent of " + program_ + " (process " + std::to_string(pid_) + ")";
}

json ProgramAgent::Request(json request, int timeoutMs) {
    const std::string op = request.value("op", "");
    if (fd_ < 0) throw AgentError(Describe() + " is not connected");
    const long id = nextId_++;
    request["id"] = id;
    const std::string line = request.dump() + "\n";
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const auto left = [&] {
        return static_cast<int>(std::max<long>(
            0, std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count()));
    };
    const auto lost = [&](const std::string& why) {
        close(fd_);
        fd_ = -1;
        return AgentError(Describe() + " " + why + " (request \"" + op + "\")");
    };
    for (size_t sent = 0; sent < line.size();) {
        pollfd out{fd_, POLLOUT, 0};
        if (poll(&out, 1, left()) <= 0) throw lost("took no request within the time-out");
        const ssize_t n = send(fd_, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw lost("is gone");
        sent += static_cast<size_t>(n);
    }
    for (;;) {
        // Answers to earlier requests that timed out are passed over.
        for (size_t nl; (nl = buffer_.find('\n')) != std::string::npos;) {
            const std::string answerLine = buffer_.substr(0, nl);
            buffer_.erase(0, nl + 1);
            json answer;
            try {
                answer = json::parse(answerLine);
            } catch (const std::exception& e) {
                throw lost(std::string("sent an unreadable answer: ") + e.what());
            }
            if (answer.value("id", json()) != json(id)) continue;
            if (!answer.value("ok", false)) {
                const std::string why = Describe() + " failed \"" + op +
                                        "\": " + answer.value("error", std::string("no reason"));
                if (answer.value("gone", false)) throw AgentDocumentGone(why);
                throw AgentError(why);
            }
            return answer;
        }
        const int wait = left();
        if (wait <= 0)
            throw lost("did not answer within " + std::to_string(timeoutMs) +
                       " ms; its main loop may be blocked");
        pollfd in{fd_, POLLIN, 0};
        const int ready = poll(&in, 1, wait);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) continue;
        char chunk[65536];
        const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw lost("closed the connection; the program may have ended");
        buffer_.append(chunk, static_cast<size_t>(n));
    }
}

std::vector<AgentWindow> ProgramAgent::Windows() {
    std::vector<AgentWindow> windows;
    const json answer = Request({{"op", "windows"}});
    for (const json& w : answer["windows"]) {
        windows.push_back({w.value("id", ""), w.value("title", ""), w.value("kind", ""),
                           ToRect(w["rect"]), w.value("visible", false), w.value("mapped", false),
                           w.value("iconified", false), w.value("modal", false),
                           w.value("active", false), w.value("xid", 0ul), w.value("painted", 0ll)});
    }
    return windows;
}

std::vector<AgentWidget> ProgramAgent::Widgets(const std::string& type) {
    std::vector<AgentWidget> widgets;
    const json answer = Request({{"op", "widgets"}, {"type", type}});
    for (const json& w : answer["widgets"]) {
        widgets.push_back({w.value("id", ""), w.value("window", ""), w.value("type", ""),
                           w.value("name", ""), w.value("text", ""), ToRect(w["rect"]),
                           w.value("visible", false), w.value("mapped", false),
                           w.value("sensitive", false), w.value("active", false),
                           w.value("fraction", 0.0)});
    }
    return widgets;
}

std::vector<AgentText> ProgramAgent::Texts() {
    std::vector<AgentText> texts;
    const json answer = Request({{"op", "texts"}});
    for (const json& t : answer["texts"])
        texts.push_back({t.value("window", ""), t.value("text", ""), ToRect(t["rect"])});
    return texts;
}

std::vector<AgentView> ProgramAgent::Views() {
    std::vector<AgentView> views;
    const json answer = Request({{"op", "views"}});
    for (const json& v : answer["views"]) {
        views.push_back({v.value("id", ""), v.value("window", ""), v.value("uri", ""),
                         v.value("title", ""), ToRect(v["rect"]), v.value("loading", false),
                         v.value("visible", false), v.value("progress", 0.0)});
    }
    return views;
}

std::string ProgramAgent::Script(const std::string& view, const std::string& body, int timeoutMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string last;
    for (int run = 1; run <= kScriptRunsOnNewDocuments; ++run) {
        // Each run has the time left, and at least a moment.
        const int left = std::max<int>(
            kScriptRunFloorMs,
            std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count());
        try {
            // The agent gives up a little before the client, so that a
            // script that never settles reads as such rather than as a lost
            // agent.
            const json answer = Request({{"op", "script"},
                                         {"view", view},
                                         {"body", body},
                                         {"timeout", std::max(100, left - 1000)}},
                                        left);
            return answer.value("result", "null");
        } catch (const AgentDocumentGone& gone) {
            last = gone.what();
            if (Clock::now() >= end) break;
            // The new document is on its way; give it a moment to commit.
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    throw AgentError(Describe() +
                     " could not run a script: its document went away under it each time it ran "
                     "(the page kept loading anew); the last time: " +
                     last);
}

void ProgramAgent::Shoot(const std::string& window, const std::string& pngPath) {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(pngPath).parent_path(), error);
    Request({{"op", "shoot"}, {"window", window}, {"path", pngPath}});
}

void ProgramAgent::Settle() {
    Request({{"op", "settle"}});
}

AgentPointer ProgramAgent::Pointer() {
    const json answer = Request({{"op", "pointer"}});
    return {answer.value("window", ""), answer.value("cursor", false)};
}

const AgentText* FindText(const std::vector<AgentText>& texts, std::string_view part) {
    for (const AgentText& t : texts)
        if (t.text.find(part) != std::string::npos) return &t;
    return nullptr;
}

const AgentWidget* FindWidget(const std::vector<AgentWidget>& widgets, std::string_view text) {
    for (const AgentWidget& w : widgets)
        if (w.text.find(text) != std::string::npos) return &w;
    return nullptr;
}

const AgentWindow* FindWindow(const std::vector<AgentWindow>& windows, std::string_view title) {
    for (const AgentWindow& w : windows)
        if (w.title.find(title) != std::string::npos) return &w;
    return nullptr;
}

}  // namespace testing_support
