#include "net/WinHTTPRequest2.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "net/WinHTTPRequest.h"
#include "tests/support/FakeHttpServer.h"

namespace {

using namespace std::chrono_literals;
using testing_support::BodyEncoding;
using testing_support::FakeHttpServer;
using testing_support::Fault;
using testing_support::HttpReply;

// Collects events from worker threads and lets the test wait for them.
class Events {
  public:
    void Add(std::string what) {
        {
            std::lock_guard lock(mutex_);
            events_.push_back(std::move(what));
            threads_.push_back(std::this_thread::get_id());
        }
        changed_.notify_all();
    }
    bool WaitFor(std::size_t count, std::chrono::milliseconds timeout = 5s) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return events_.size() >= count; });
    }
    std::vector<std::string> Get() {
        std::lock_guard lock(mutex_);
        return events_;
    }
    std::vector<std::thread::id> Threads() {
        std::lock_guard lock(mutex_);
        return threads_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> events_;
    std::vector<std::thread::id> threads_;
};

// Every worker of the test has ended (and so could call nothing any more).
void ExpectWorkersEnd() {
    EXPECT_TRUE(TWinHTTPThread::WaitUntilNoneRunning(5s));
}

class RequestThread : public testing::Test {
  protected:
    void SetUp() override {
        server.Serve("/a", HttpReply::Page("page a"));
        server.Serve("/b", HttpReply::Page("page b"));
        HttpReply gz = HttpReply::Page("plain text");
        gz.encoding = BodyEncoding::Gzip;
        server.Serve("/gz", gz);
    }
    void TearDown() override { ExpectWorkersEnd(); }

    void Bind(TWinHTTPRequest2& request) {
        request.OnDone = [this](TWinHTTPRequest2* r) {
            events.Add("done " + r->URL + " " + r->Text);
        };
        request.OnFail = [this](TWinHTTPRequest2* r) {
            events.Add("fail " + r->URL + " " + std::to_string(r->Text.size() + r->Stream.size()));
        };
    }

    FakeHttpServer server;
    Events events;
};

TEST_F(RequestThread, DoneRunsOnTheWorkerWithDecodedTextAndRawStream) {
    TWinHTTPRequest2 request;
    request.Referer = "http://ref/";
    request.UserAgent = "agent/1";
    std::string stream;
    request.OnDone = [&](TWinHTTPRequest2* r) {
        stream = r->Stream;
        events.Add(r->Text);
    };
    ASSERT_TRUE(request.Get(server.URL("/gz")));
    ASSERT_TRUE(events.WaitFor(1));
    EXPECT_EQ(events.Get()[0], "plain text");
    EXPECT_EQ(stream, testing_support::Compress("plain text", BodyEncoding::Gzip));
    EXPECT_NE(events.Threads()[0], std::this_thread::get_id());
    const auto r = server.LastRequest();
    ASSERT_TRUE(r) << "no request reached the server";
    EXPECT_EQ(r->Header("Referer"), "http://ref/");
    EXPECT_EQ(r->Header("User-Agent"), "agent/1");
}

TEST_F(RequestThread, FailureLeavesTextAndStreamEmpty) {
    TWinHTTPRequest2 request;
    Bind(request);
    request.Get(server.URL("/a"));
    ASSERT_TRUE(events.WaitFor(1));
    server.SetFault("/a", Fault{.failFirst = 1});
    request.Get(server.URL("/a"));
    ASSERT_TRUE(events.WaitFor(2));
    EXPECT_EQ(events.Get()[1], "fail " + server.URL("/a") + " 0") << server.RequestCount("/a");
    // A 404 is an answer, not a failure.
    request.Get(server.URL("/nowhere"));
    ASSERT_TRUE(events.WaitFor(3));
    EXPECT_EQ(events.Get()[2].substr(0, 5), "done ");
}

TEST_F(RequestThread, PostSendsTheBody) {
    TWinHTTPRequest2 request;
    Bind(request);
    request.Post(server.URL("/a"), "k=%E4%B8%AD");
    ASSERT_TRUE(events.WaitFor(1));
    const auto r = server.LastRequest();
    ASSERT_TRUE(r) << "no request reached the server";
    EXPECT_EQ(r->method, "POST");
    EXPECT_EQ(r->body, "k=%E4%B8%AD");
}

TEST_F(RequestThread, OnlyTheLastOfTwoRequestsReports) {
    server.SetFault("/a", Fault{.delay = 150ms});
    TWinHTTPRequest2 request;
    Bind(request);
    request.Get(server.URL("/a"));
    request.Get(server.URL("/b"));
    ASSERT_TRUE(events.WaitFor(1));
    ExpectWorkersEnd();
    EXPECT_EQ(events.Get(), std::vector<std::string>{"done " + server.URL("/b") + " page b"});
}

TEST_F(RequestThread, CancelAndDestroyWhileTheRequestRunsGiveNoEvent) {
    server.SetFault("/a", Fault{.delay = 100ms});
    {
        TWinHTTPRequest2 request;
        Bind(request);
        request.Get(server.URL("/a"));
        request.Cancel();
    }
    {
        auto request = std::make_unique<TWinHTTPRequest2>();
        Bind(*request);
        const auto before = server.Requests().size();
        request->Get(server.URL("/a"));
        ASSERT_TRUE(server.WaitForRequests(before + 1, 5s));
        request.reset();
    }
    ExpectWorkersEnd();
    EXPECT_TRUE(events.Get().empty());
}

// A handler in flight on its worker: Cancel, a new request and the destructor
// each wait for it, so that nothing of the old request runs once they return.
enum class Interrupt { Cancel, NewRequest, Destroy };

class InterruptHandler : public testing::TestWithParam<Interrupt> {};

TEST_P(InterruptHandler, WaitsForTheHandlerInFlightAndDropsTheRest) {
    FakeHttpServer server;
    server.Serve("/a", HttpReply::Page("a"));
    server.Serve("/b", HttpReply::Page("b"));
    auto request = std::make_unique<TWinHTTPRequest2>();
    std::mutex mutex;
    std::condition_variable cv;
    bool entered = false;
    std::atomic<bool> finished{false};
    std::atomic<int> events{0};
    request->OnDone = [&](TWinHTTPRequest2* r) {
        ++events;
        if (r->Text != "a") return;
        {
            std::lock_guard lock(mutex);
            entered = true;
        }
        cv.notify_all();
        std::this_thread::sleep_for(150ms);
        finished = true;
    };
    request->Get(server.URL("/a"));
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(cv.wait_for(lock, 5s, [&] { return entered; }));
    }
    switch (GetParam()) {
        case Interrupt::Cancel:
            request->Cancel();
            break;
        case Interrupt::NewRequest:
            request->OnDone = [&](TWinHTTPRequest2*) { ++events; };
            request->Get(server.URL("/b"));
            break;
        case Interrupt::Destroy:
            request.reset();
            break;
    }
    EXPECT_TRUE(finished) << "returned while the handler still ran";
    EXPECT_TRUE(TWinHTTPThread::WaitUntilNoneRunning(5s));
    EXPECT_EQ(events, GetParam() == Interrupt::NewRequest ? 2 : 1);
}

INSTANTIATE_TEST_SUITE_P(Interrupts, InterruptHandler,
                         testing::Values(Interrupt::Cancel, Interrupt::NewRequest,
                                         Interrupt::Destroy),
                         [](const auto& info) {
                             switch (info.param) {
                                 case Interrupt::Cancel:
                                     return "Cancel";
                                 case Interrupt::NewRequest:
                                     return "NewRequest";
                                 case Interrupt::Destroy:
                                     break;
                             }
                             return "Destroy";
                         });

TEST_F(RequestThread, HandlerMayStartTheNextRequestOrFreeItsOwner) {
    auto request = std::make_unique<TWinHTTPRequest2>();
    request->OnDone = [&](TWinHTTPRequest2* r) {
        events.Add(r->Text);
        if (r->Text == "page a") {
            r->Get(server.URL("/b"));  // from inside the handler: no deadlock
            std::this_thread::sleep_for(50ms);
            // The next request's event waits for this handler to end.
            events.Add("end of first handler");
        } else {
            request.reset();  // the owner freed by its own handler
            events.Add("freed");
        }
    };
    request->Get(server.URL("/a"));
    ASSERT_TRUE(events.WaitFor(4));
    EXPECT_EQ(events.Get(),
              (std::vector<std::string>{"page a", "end of first handler", "page b", "freed"}));
}

TEST_F(RequestThread, EventsAreTakenWhenTheRequestStarts) {
    TWinHTTPRequest2 request;
    server.SetFault("/a", Fault{.delay = 100ms});
    request.OnDone = [&](TWinHTTPRequest2*) { events.Add("first binding"); };
    request.Get(server.URL("/a"));
    request.OnDone = [&](TWinHTTPRequest2*) { events.Add("second binding"); };
    ASSERT_TRUE(events.WaitFor(1));
    EXPECT_EQ(events.Get()[0], "first binding");
}

TEST_F(RequestThread, ManyOwnersAtOnceUnderStress) {
    server.SetFault("/a", Fault{.delay = 5ms});
    std::vector<std::unique_ptr<TWinHTTPRequest2>> requests;
    for (int i = 0; i < 20; ++i) {
        requests.push_back(std::make_unique<TWinHTTPRequest2>());
        Bind(*requests.back());
    }
    // Supersede, cancel and destroy in a tight loop while answers come in.
    for (int round = 0; round < 5; ++round) {
        for (auto& r : requests) r->Get(server.URL(round % 2 ? "/a" : "/b"));
        for (std::size_t i = 0; i < requests.size(); i += 3) requests[i]->Cancel();
    }
    requests.resize(10);
    ExpectWorkersEnd();
    for (const auto& e : events.Get()) EXPECT_EQ(e.substr(0, 5), "done ");
}

class AsyncClient : public testing::Test {
  protected:
    void TearDown() override { ExpectWorkersEnd(); }
    FakeHttpServer server;
    Events events;
};

TEST_F(AsyncClient, PostCarriesItsOwnHeadersAndBody) {
    server.Serve("/s.php", HttpReply::Page("1"));
    TWinHTTPRequest request;
    request.OnComplete = [&](TWinHTTPRequest* r) { events.Add("complete " + r->ResponseText); };
    request.Send(server.URL("/s.php"), "data=abc%2B%3D");
    ASSERT_TRUE(events.WaitFor(1));
    EXPECT_EQ(events.Get()[0], "complete 1");
    const auto r = server.LastRequest();
    ASSERT_TRUE(r) << "no request reached the server";
    EXPECT_EQ(r->method, "POST");
    EXPECT_EQ(r->body, "data=abc%2B%3D");
    EXPECT_EQ(r->Header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(r->Header("User-Agent"), "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1)");
    EXPECT_EQ(r->Header("Accept-Encoding"), "gzip,deflate");
    EXPECT_EQ(r->Header("Accept-Language"), "zh-cn");
    EXPECT_FALSE(r->HasHeader("Connection"));
    EXPECT_FALSE(r->HasHeader("Cookie"));
    // The agent is one of the added headers, in its place after Accept.
    EXPECT_EQ(r->HeaderNames(),
              (std::vector<std::string>{"Host", "Accept", "User-Agent", "Accept-Encoding",
                                        "Accept-Language", "Content-Type", "Content-Length"}));
}

TEST_F(AsyncClient, CompressedAnswersAreDecodedAndBrokenOnesAreErrors) {
    HttpReply gz = HttpReply::Page("report accepted");
    gz.encoding = BodyEncoding::Gzip;
    server.Serve("/gz", gz);
    server.Serve("/bad", HttpReply::Page("not gzip").Header("Content-Encoding", "gzip"));
    TWinHTTPRequest request;
    request.OnComplete = [&](TWinHTTPRequest* r) { events.Add("complete " + r->ResponseText); };
    request.OnError = [&](TWinHTTPRequest*) { events.Add("error"); };
    request.Send(server.URL("/gz"), "");
    ASSERT_TRUE(events.WaitFor(1));
    request.Send(server.URL("/bad"), "");
    ASSERT_TRUE(events.WaitFor(2));
    EXPECT_EQ(events.Get(), (std::vector<std::string>{"complete report accepted", "error"}));
}

TEST_F(AsyncClient, PortAndSchemeComeFromTheURL) {
    server.Serve("/p", HttpReply::Page("p"));
    TWinHTTPRequest request;
    request.OnComplete = [&](TWinHTTPRequest* r) { events.Add("complete " + r->ResponseText); };
    request.OnError = [&](TWinHTTPRequest*) { events.Add("error"); };
    request.Send(server.URL("/p"), "");
    ASSERT_TRUE(events.WaitFor(1));
    // HTTPS stays HTTPS and keeps its port: the plain server sees a connection and the
    // handshake fails.
    const auto before = server.ConnectionCount();
    request.Send("https://127.0.0.1:" + std::to_string(server.Port()) + "/p", "");
    ASSERT_TRUE(events.WaitFor(2));
    EXPECT_EQ(events.Get()[1], "error");
    EXPECT_EQ(server.ConnectionCount(), before + 1);
}

// The report waits for a slow service as long as the platform would: an
// answer after 11 seconds, beyond the page clients' 10, still completes.
TEST_F(AsyncClient, WaitsAsLongAsThePlatformWould) {
    server.Serve("/slow", HttpReply::Page("late"));
    server.SetFault("/slow", Fault{.delay = 11s});
    TWinHTTPRequest request;
    request.OnComplete = [&](TWinHTTPRequest* r) { events.Add("complete " + r->ResponseText); };
    request.OnError = [&](TWinHTTPRequest*) { events.Add("error"); };
    request.Send(server.URL("/slow"), "");
    ASSERT_TRUE(events.WaitFor(1, 25s));
    EXPECT_EQ(events.Get(), std::vector<std::string>{"complete late"});
}

TEST_F(AsyncClient, SecondSendSupersedesTheFirst) {
    server.Serve("/a", HttpReply::Page("a"));
    server.Serve("/b", HttpReply::Page("b"));
    server.SetFault("/a", Fault{.delay = 100ms});
    TWinHTTPRequest request;
    request.OnComplete = [&](TWinHTTPRequest* r) { events.Add(r->ResponseText); };
    request.OnError = [&](TWinHTTPRequest*) { events.Add("error"); };
    request.Send(server.URL("/a"), "");
    request.Send(server.URL("/b"), "");
    ASSERT_TRUE(events.WaitFor(1));
    ExpectWorkersEnd();
    EXPECT_EQ(events.Get(), std::vector<std::string>{"b"});
}

}  // namespace
