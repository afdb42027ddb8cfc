#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace testing_support {

// The test program started again as a helper process, so that cross-process
// behaviour is tested between two real processes. The helper's mode travels in
// the environment variable QUIRA_TEST_CHILD (fields separated by TAB); a test
// file answers it with RunAsChildIfAsked() from a static initialiser, before
// the test framework starts. The helper inherits the environment, so a
// temporary XDG tree of the test is the helper's too. Lines go both ways over
// pipes: the helper's stdout and stdin.
class ChildProcess {
  public:
    explicit ChildProcess(const std::vector<std::string>& modeAndArguments) {
        std::string mode;
        for (const auto& field : modeAndArguments) mode += (mode.empty() ? "" : "\t") + field;
        int in[2];
        int out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe failed");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        std::vector<std::string> environment;
        for (char** e = environ; *e; ++e) {
            if (std::string(*e).rfind("QUIRA_TEST_CHILD=", 0) != 0) environment.emplace_back(*e);
        }
        environment.push_back("QUIRA_TEST_CHILD=" + mode);
        std::vector<char*> envp;
        for (auto& e : environment) envp.push_back(e.data());
        envp.push_back(nullptr);
        char program[] = "/proc/self/exe";
        char* argv[] = {program, nullptr};
        const int rc = posix_spawn(&pid_, program, &actions, nullptr, argv, envp.data());
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        input_ = in[1];
        output_ = out[0];
        if (rc != 0) throw std::runtime_error("posix_spawn failed");
    }
    ~ChildProcess() {
        CloseInput();
        if (pid_ > 0) {
            Kill();
            Wait();
        }
        if (output_ >= 0) close(output_);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return pid_; }

    // The helper's next line without its break; empty after the time-out or
    // at the end of its output.
    std::string ReadLine(int timeoutMs = 10000) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const size_t end = buffer_.find('\n');
            if (end != std::string::npos) {
                std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return {};
            pollfd fd{output_, POLLIN, 0};
            if (poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
            char chunk[512];
            const ssize_t n = read(output_, chunk, sizeof chunk);
            if (n <= 0) return {};
            buffer_.append(chunk, static_cast<size_t>(n));
        }
    }
    void WriteLine(const std::string& line) {
        const std::string text = line + "\n";
        if (write(input_, text.data(), text.size()) < 0) {
        }
    }
    // The helper sees the end of its input.
    void CloseInput() {
        if (input_ >= 0) close(input_);
        input_ = -1;
    }
    void Kill() {
        if (pid_ > 0) kill(pid_, SIGKILL);
    }
    // The exit code, or 128 + the signal that ended it.
    int Wait() {
        if (pid_ <= 0) return exitCode_;
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return exitCode_;
    }

  private:
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    int exitCode_ = -1;
    std::string buffer_;
};

// In a helper process whose mode the handler knows: runs it and ends the
// process with its result (skipping exit handlers, so that the helper reports
// nothing of the test program). The handler returns -1 for a mode it does not
// know, leaving it to another test file.
template <typename Handler>
bool RunAsChildIfAsked(Handler handler) {
    const char* mode = std::getenv("QUIRA_TEST_CHILD");
    if (!mode) return false;
    // A helper never outlives the test that started it, even one that crashed.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() == 1) _exit(1);
    std::vector<std::string> fields;
    std::string field;
    for (const char* c = mode;; ++c) {
        if (*c == '\t' || *c == '\0') {
            fields.push_back(field);
            field.clear();
            if (*c == '\0') break;
        } else {
            field.push_back(*c);
        }
    }
    const int code = handler(fields);
    if (code < 0) return false;
    std::fflush(stdout);
    _exit(code);
}

// A line to the parent, sent at once.
inline void TellParent(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

// Blocks until the parent closes the helper's input (or the helper is killed).
inline void WaitForParent() {
    char c;
    while (read(0, &c, 1) > 0) {
    }
}

// The next line from the parent; empty at the end of input.
inline std::string LineFromParent() {
    std::string line;
    char c;
    while (read(0, &c, 1) == 1 && c != '\n') line.push_back(c);
    return line;
}

}  // namespace testing_support
