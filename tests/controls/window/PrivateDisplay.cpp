#include "PrivateDisplay.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

pid_t server = 0;

void StopServer() {
    if (server <= 0) return;
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    server = 0;
}

// Xvfb picks a free display number and writes it to the pipe we hand it.
bool StartServer() {
    int fds[2];
    if (pipe(fds) != 0) return false;
    server = fork();
    if (server < 0) return false;
    if (server == 0) {
        close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24",
               "-nolisten", "tcp", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    std::atexit(StopServer);
    if (number.empty()) return false;
    setenv("DISPLAY", (":" + number).c_str(), 1);
    return true;
}

}  // namespace

bool OpenPrivateDisplay() {
    static const bool open = [] {
        const char* watch = std::getenv("QUIRA_TEST_DISPLAY");
        if (watch && *watch) {
            setenv("DISPLAY", watch, 1);
            return true;
        }
        return StartServer();
    }();
    return open;
}
