// The downloader's own rules under threads: a new download from another
// thread while the old one's handler or retry runs on its worker.

#include "net/DownLoader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <tuple>

#include "StoryNetFixture.h"
#include "net/WinHTTPRequest2.h"
#include "tests/support/FakeHttpServer.h"

namespace {

using namespace std::chrono_literals;
using storynet::Inbox;
using testing_support::FakeHttpServer;
using testing_support::Fault;
using testing_support::HttpReply;

// Downloads replaced from the test thread while the replaced ones fail, retry
// and deliver on their workers: every result that arrives belongs to the URL it
// names, and the last download ends in exactly one result.
TEST(DownLoaderThreads, ReplacedDownloadNeverDeliversUnderTheNewOnesName) {
    FakeHttpServer server;
    server.Serve("/good", HttpReply::Page("good"));
    server.SetFault("/bad", Fault{.status = 500});
    const std::string good = server.URL("/good"), bad = server.URL("/bad");
    Inbox<std::tuple<std::string, bool, std::string>> inbox;
    {
        TDownLoader downloader;
        downloader.OnResult = [&](TDownLoader*, const std::string& url, bool failed,
                                  const AnsiString& text, const std::string*) {
            inbox.Add({url, failed, text});
        };
        for (int round = 0; round < 60; ++round) {
            downloader.Download(round % 3 ? bad : good);
            std::this_thread::sleep_for(std::chrono::microseconds(200 * (round % 7)));
        }
        downloader.Download(bad);
        ASSERT_TRUE(TWinHTTPThread::WaitUntilNoneRunning(10s));
        EXPECT_FALSE(downloader.Busy());
    }
    const auto results = inbox.Items();
    ASSERT_FALSE(results.empty());
    for (const auto& [url, failed, text] : results) {
        EXPECT_EQ(failed, url == bad) << url;
        EXPECT_EQ(text, failed ? "Error" : "good") << url;
    }
    EXPECT_EQ(std::get<0>(results.back()), bad);
}

// A handler that restarts its own downloader (cancel, then download, as a
// chapter reader does) after another thread has begun to cancel it: the cancel
// from outside wins, nothing new starts and the downloader is idle afterwards.
TEST(DownLoaderThreads, CancelFromOutsideWinsOverARestartFromTheHandler) {
    FakeHttpServer server;
    server.Serve("/a", HttpReply::Page("a"));
    server.Serve("/b", HttpReply::Page("b"));
    TDownLoader downloader;
    Inbox<std::string> entered;
    std::atomic<bool> sawCancel{false};
    downloader.OnResult = [&](TDownLoader* sender, const std::string&, bool, const AnsiString& text,
                              const std::string*) {
        entered.Add(text);
        if (text != "a") return;
        for (int i = 0; i < 2000 && !sender->Cancelled(); ++i) std::this_thread::sleep_for(1ms);
        sawCancel = sender->Cancelled();
        sender->Cancel();
        sender->Download(server.URL("/b"));
    };
    downloader.Download(server.URL("/a"));
    ASSERT_TRUE(entered.WaitFor(1));
    downloader.Cancel();  // waits for the handler above
    EXPECT_TRUE(sawCancel);
    ASSERT_TRUE(TWinHTTPThread::WaitUntilNoneRunning(10s));
    EXPECT_FALSE(downloader.Busy());
    EXPECT_TRUE(downloader.Cancelled());
    EXPECT_EQ(server.RequestCount("/b"), 0u);
    EXPECT_EQ(entered.Items(), std::vector<std::string>{"a"});
}

}  // namespace
