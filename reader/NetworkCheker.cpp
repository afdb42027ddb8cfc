#include "reader/NetworkCheker.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <system_error>
#include <thread>

#include "platform/ui/UiThread.h"

namespace {

std::atomic<int> runningProbes{0};

// How often a connect that waits looks whether its probe is still wanted.
constexpr int kStopCheckMs = 50;

using Deadline = std::chrono::steady_clock::time_point;

int MillisecondsLeft(Deadline deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// A non-blocking connect that gives up at the deadline, or as soon as the
// probe is no longer wanted.
bool ConnectWithin(const addrinfo& address, Deadline deadline,
                   const std::function<bool()>& stopped) {
    const int fd = socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                          address.ai_protocol);
    if (fd < 0) return false;
    bool connected = false;
    if (connect(fd, address.ai_addr, address.ai_addrlen) == 0) {
        connected = true;
    } else if (errno == EINPROGRESS) {
        pollfd wait{fd, POLLOUT, 0};
        int ready = 0;
        for (int left = MillisecondsLeft(deadline); ready == 0 && left > 0 && !stopped();
             left = MillisecondsLeft(deadline)) {
            ready = poll(&wait, 1, std::min(left, kStopCheckMs));
            if (ready < 0 && errno == EINTR) ready = 0;
        }
        int error = 0;
        socklen_t length = sizeof error;
        connected =
            ready == 1 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
    close(fd);
    return connected;
}

}  // namespace

bool TNetworkChekerThread::Probe(const std::string& host, int port, int timeoutMs,
                                 const std::function<bool()>& stop) {
    const std::function<bool()> stopped = stop ? stop : [] { return false; };
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return false;
    const Deadline deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool connected = false;
    for (const addrinfo* a = found; a && !connected && MillisecondsLeft(deadline) > 0 && !stopped();
         a = a->ai_next)
        connected = ConnectWithin(*a, deadline, stopped);
    freeaddrinfo(found);
    return connected;
}

bool TNetworkChekerThread::Start(std::string host, int port, int timeoutMs,
                                 std::weak_ptr<void> token,
                                 std::function<void(bool connected)> done) {
    ++runningProbes;
    try {
        std::thread([host = std::move(host), port, timeoutMs, token = std::move(token),
                     done = std::move(done)]() mutable {
            // Nobody waits for the answer once the checker has gone (the
            // reader is ending): the probe ends then.
            const bool connected =
                Probe(host, port, timeoutMs, [&token] { return token.expired(); });
            platform::ui::PostToUi([token = std::move(token), done = std::move(done), connected] {
                // The checker may have gone while the probe ran: then nobody hears.
                if (token.expired()) return;
                try {
                    done(connected);
                } catch (...) {
                    // Nothing of a probe's end may leave the main loop's callback.
                }
            });
            --runningProbes;
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had now (the system is out of them).
        --runningProbes;
        return false;
    }
    return true;
}

int TNetworkChekerThread::Running() {
    return runningProbes.load();
}

void TNetworkCheker::DefaultAddress(std::string& host, int& port) {
    host = kDefaultHost;
    port = kDefaultPort;
    const char* configured = std::getenv("QUIRA_PROBE_ADDRESS");
    if (!configured || !*configured) return;
    const std::string text = configured;
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        host = text;
        return;
    }
    const int number = std::atoi(text.c_str() + colon + 1);
    if (number <= 0 || number > 65535) return;
    host = text.substr(0, colon);
    port = number;
}

TNetworkCheker::TNetworkCheker() : port_(kDefaultPort), timer_(kProbeInterval) {
    DefaultAddress(host_, port_);
    timer_.OnTimer = [this] { Probe(); };
}

TNetworkCheker::TNetworkCheker(std::string host, int port)
    : host_(std::move(host)), port_(port), timer_(kProbeInterval) {
    timer_.OnTimer = [this] { Probe(); };
}

TNetworkCheker::~TNetworkCheker() {
    timer_.SetEnabled(false);
}

void TNetworkCheker::Probe() {
    // The next probe is armed when this one has ended; a probe that cannot
    // start is no result, and the next one comes at the usual time.
    timer_.SetEnabled(false);
    if (!TNetworkChekerThread::Start(host_, port_, ProbeTimeoutMs, alive_,
                                     [this](bool connected) { ProbeDone(connected); }))
        timer_.SetEnabled(true);
}

void TNetworkCheker::ProbeDone(bool connected) {
    timer_.SetEnabled(false);
    history_.push_back(connected ? "1" : "0");
    while (static_cast<int>(history_.size()) > kHistorySize) history_.pop_front();
    if (OnChange) OnChange(this);
    timer_.SetEnabled(true);
}

bool TNetworkCheker::IsOnline() const {
    if (history_.empty() || history_.back() == "1") return true;
    int successes = 0;
    for (const auto& entry : history_) successes += entry == "1";
    const int failures = static_cast<int>(history_.size()) - successes;
    return failures < successes;
}
