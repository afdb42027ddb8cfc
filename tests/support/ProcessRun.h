#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace testing_support {

// A program run as a process of its own, as a user starts it (a bare name is
// looked up in PATH):
// with the test's environment, the given variables replacing those of the
// same name ("NAME=" alone empties one), and its output in files. Killed and
// reaped when the test forgets it.
class ProcessRun {
  public:
    ProcessRun(const std::string& program, const std::vector<std::string>& arguments,
               const std::vector<std::string>& environment = {},
               const std::string& outputFile = "/dev/null",
               const std::string& errorFile = "/dev/null") {
        std::vector<std::string> args = {program};
        args.insert(args.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> env = environment;
        for (char** e = environ; *e; ++e) {
            const std::string entry(*e);
            const std::string name = entry.substr(0, entry.find('=') + 1);
            bool replaced = false;
            for (const auto& given : environment) replaced = replaced || given.rfind(name, 0) == 0;
            if (!replaced) env.push_back(entry);
        }
        std::vector<char*> envp;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, errorFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawnp(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~ProcessRun() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        Wait(60000);
    }
    ProcessRun(const ProcessRun&) = delete;
    ProcessRun& operator=(const ProcessRun&) = delete;

    pid_t Pid() const { return pid_; }
    bool Started() const { return pid_ > 0 || exitCode_ >= 0; }
    void Signal(int signal) const {
        if (pid_ > 0) kill(pid_, signal);
    }

    // The exit code (128 + the signal that ended it), or nothing while it
    // still runs after timeoutMs. idle runs between looks (a window test's
    // main loop).
    std::optional<int> Wait(int timeoutMs, const std::function<void()>& idle = {}) {
        if (pid_ <= 0) return exitCode_ >= 0 ? std::optional<int>(exitCode_) : std::nullopt;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            int status = 0;
            const pid_t done = waitpid(pid_, &status, WNOHANG);
            if (done == pid_ || (done < 0 && errno == ECHILD)) {
                pid_ = -1;
                exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                return exitCode_;
            }
            if (std::chrono::steady_clock::now() > end) return std::nullopt;
            if (idle) {
                idle();
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
    }

  private:
    pid_t pid_ = -1;
    int exitCode_ = -1;
};

// Waits until pred holds, looking every 10 ms; false after timeoutMs.
inline bool WaitUntil(const std::function<bool()>& pred, int timeoutMs = 30000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return pred();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// Whether a process of that id still exists (a zombie counts as gone).
inline bool ProcessAlive(pid_t pid) {
    if (pid <= 0 || kill(pid, 0) != 0) return false;
    // pid (name) state ...: the name may hold blanks and brackets.
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t close = line.rfind(')');
    return close == std::string::npos || line.compare(close, 3, ") Z") != 0;
}

// Whether the process holds a whole-file lock (flock), as the kernel lists
// them: a program takes its single-instance lock early in its start, so this
// tells that it has begun without touching the lock itself.
inline bool HoldsFileLock(pid_t pid) {
    std::ifstream locks("/proc/locks");
    const std::string id = std::to_string(pid);
    for (std::string line; std::getline(locks, line);) {
        // "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF"
        std::istringstream fields(line);
        std::string number, kind, mode, access, owner;
        fields >> number >> kind >> mode >> access >> owner;
        if (kind == "FLOCK" && owner == id) return true;
    }
    return false;
}

}  // namespace testing_support
