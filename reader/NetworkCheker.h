#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "platform/ui/Timer.h"

class TNetworkCheker;

// One probe: a TCP connection to the probed host, made on a short-lived
// thread of its own with a time-out. Its result reaches the user-interface
// thread as a posted copy, and only while the checker that started it lives;
// once the checker is gone, a connect still waiting gives up at once.
class TNetworkChekerThread {
  public:
    // Connects to host:port within timeoutMs; true when the connection opened.
    // Given up (false) as soon as stop, when given, says so; the name's
    // lookup is the system's and is not cut short.
    static bool Probe(const std::string& host, int port, int timeoutMs,
                      const std::function<bool()>& stop = {});

    // Starts a probe; done runs on the user-interface thread with the result,
    // unless the token has expired by then: an expired token also ends the
    // probe's connect. False when no thread could be started (done never
    // runs then).
    static bool Start(std::string host, int port, int timeoutMs, std::weak_ptr<void> token,
                      std::function<void(bool connected)> done);

    // Probe threads still running (they never outlive their own connect, and
    // stop connecting when their checker goes).
    static int Running();
};

// The reader's judgement whether the machine is online: a probe every 30
// seconds, the last ten results kept ("1" connected, "0" failed). Lives on
// the user-interface thread; its timer and OnChange run there.
class TNetworkCheker {
  public:
    static constexpr unsigned kProbeInterval = 30000;
    static constexpr int kHistorySize = 10;
    static constexpr int kProbeTimeoutMs = 5000;

    // The public web server probed by default.
    static constexpr const char* kDefaultHost = "example.com";
    static constexpr int kDefaultPort = 80;
    // The probed address: "host:port" from QUIRA_PROBE_ADDRESS, else the default.
    static void DefaultAddress(std::string& host, int& port);

    TNetworkCheker();
    TNetworkCheker(std::string host, int port);
    ~TNetworkCheker();
    TNetworkCheker(const TNetworkCheker&) = delete;
    TNetworkCheker& operator=(const TNetworkCheker&) = delete;

    // Raised after each recorded probe.
    std::function<void(TNetworkCheker* sender)> OnChange;

    // Starts a probe now.
    void Probe();
    // Records a result and arms the timer for the next probe.
    void ProbeDone(bool connected);
    bool IsOnline() const;

    const std::deque<std::string>& History() const { return history_; }
    const platform::ui::Timer& ProbeTimer() const { return timer_; }
    int ProbeTimeoutMs = kProbeTimeoutMs;

  private:
    std::string host_;
    int port_;
    std::deque<std::string> history_;
    platform::ui::Timer timer_;
    // Probes hold a weak copy: a result that arrives after the checker is
    // gone is dropped.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};
