#include "reader/NetworkCheker.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>

#include "tests/support/FakeHttpServer.h"

namespace {

bool Pump(const std::function<bool()>& done, int timeoutMs = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return done();
        if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
    }
    return true;
}

// A port on 127.0.0.1 where nobody listens.
int ClosedPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

// A listener on 127.0.0.1 that takes no more connections: its queue is
// full, so the system drops further connection requests unanswered and a
// connect waits as it would for a host that has gone silent.
class SilentListener {
  public:
    SilentListener() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener_, 0);
        socklen_t length = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        for (int& fd : fillers_) {
            fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        }
    }
    ~SilentListener() {
        for (const int fd : fillers_) close(fd);
        close(listener_);
    }
    int Port() const { return port_; }

  private:
    int listener_ = -1;
    int port_ = 0;
    int fillers_[3] = {-1, -1, -1};
};

TEST(NetworkChekerTest, JudgesFromTheLastTenProbes) {
    struct Case {
        std::string results;  // oldest first
        bool online;
    } const cases[] = {
        {"", true},
        {"110", true},
        {"100", false},
        {"001", true},
        {"0", false},
        {"10", false},
        {"1100", false},
        {"11100", true},
        // Only the last ten count: eleven results, the oldest "1" pushed out.
        {"11111100000", false},
    };
    for (const Case& c : cases) {
        TNetworkCheker checker("127.0.0.1", 1);
        int changes = 0;
        checker.OnChange = [&](TNetworkCheker* sender) {
            EXPECT_EQ(sender, &checker);
            ++changes;
        };
        for (const char r : c.results) checker.ProbeDone(r == '1');
        EXPECT_EQ(checker.IsOnline(), c.online) << c.results;
        EXPECT_EQ(changes, static_cast<int>(c.results.size()));
        EXPECT_LE(checker.History().size(), 10u);
        // Every recorded probe arms the next one.
        EXPECT_EQ(checker.ProbeTimer().Enabled(), !c.results.empty());
    }
}

TEST(NetworkChekerTest, ProbesAnOpenAndAClosedPort) {
    testing_support::FakeHttpServer server;
    TNetworkCheker open("127.0.0.1", server.Port());
    TNetworkCheker closed("127.0.0.1", ClosedPort());
    open.Probe();
    closed.Probe();
    EXPECT_FALSE(open.ProbeTimer().Enabled()) << "no second probe while one runs";
    ASSERT_TRUE(Pump([&] { return open.History().size() == 1 && closed.History().size() == 1; }));
    EXPECT_EQ(open.History().front(), "1");
    EXPECT_EQ(closed.History().front(), "0");
    EXPECT_TRUE(open.IsOnline());
    EXPECT_FALSE(closed.IsOnline());
    EXPECT_TRUE(open.ProbeTimer().Enabled());
    EXPECT_EQ(open.ProbeTimer().Interval(), 30000u);
}

// A host that never answers costs one time-out, not minutes of the
// system's connection retries, and the next probe is armed after it.
TEST(NetworkChekerTest, AProbeOfASilentHostEndsWithItsTimeOut) {
    SilentListener silent;
    TNetworkCheker checker("127.0.0.1", silent.Port());
    checker.ProbeTimeoutMs = 300;
    checker.Probe();
    ASSERT_TRUE(Pump([&] { return checker.History().size() == 1; }));
    EXPECT_EQ(checker.History().front(), "0");
    EXPECT_TRUE(checker.ProbeTimer().Enabled());
}

// The checker goes while its probe still waits for the silent host: the
// probe gives up then, long before its time-out (the reader's end gives a
// probe only a moment), and its end reaches nobody.
TEST(NetworkChekerTest, AProbeWhoseCheckerGoesEndsAtOnceHeardByNobody) {
    SilentListener silent;
    bool heard = false;
    {
        TNetworkCheker checker("127.0.0.1", silent.Port());
        checker.ProbeTimeoutMs = 120000;
        checker.OnChange = [&](TNetworkCheker*) { heard = true; };
        checker.Probe();
        ASSERT_EQ(TNetworkChekerThread::Running(), 1);
    }
    ASSERT_TRUE(Pump([] { return TNetworkChekerThread::Running() == 0; }, 30000))
        << "the probe waited for its time-out";
    Pump([] { return false; }, 100);  // the posted result, if any, is delivered
    EXPECT_FALSE(heard);
}

TEST(NetworkChekerTest, TheProbedAddressCanBeConfigured) {
    std::string host;
    int port = 0;
    unsetenv("QUIRA_PROBE_ADDRESS");
    TNetworkCheker::DefaultAddress(host, port);
    EXPECT_EQ(host, TNetworkCheker::kDefaultHost);
    EXPECT_EQ(port, 80);
    setenv("QUIRA_PROBE_ADDRESS", "127.0.0.1:8081", 1);
    TNetworkCheker::DefaultAddress(host, port);
    EXPECT_EQ(host, "127.0.0.1");
    EXPECT_EQ(port, 8081);
    unsetenv("QUIRA_PROBE_ADDRESS");
}

}  // namespace
