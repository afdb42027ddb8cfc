#pragma once

// What the browser tests share: a provider that records every call, pages
// served on 127.0.0.1, and a window with one browser whose trusted folder is a
// temporary one.
#include "platform/ui/Browser.h"
#include "tests/support/window/PageScript.h"
#include "tests/support/window/WindowTest.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace browsertest {

using namespace platform::ui;
using Json = nlohmann::json;

// A provider that records its calls and answers by member name.
class FakeExternal : public ExternalProvider {
  public:
    std::vector<BridgeMember> Members() const override {
        return {{"Echo"},    {"GetLong", MemberKind::Method, true},
                {"GetText"}, {"GetList"},
                {"Nothing"}, {"Fail"},
                {"Open"},    {"FontName", MemberKind::Property}};
    }
    BridgeReply Invoke(const std::string& member, CallKind kind,
                       const std::vector<BridgeValue>& args) override {
        calls.push_back(member);
        if (member == "Echo") {
            AnsiString joined;
            for (std::size_t i = 0; i < args.size(); ++i) joined += "[" + ArgText(args, i) + "]";
            lastArgs = args;
            return {joined, {}};
        }
        if (member == "GetLong") return {ArgLong(args, 0) + 1, {}};
        if (member == "GetText") return {platform::Utf8ToAnsi("书架：第一章"), {}};
        if (member == "GetList") return {std::vector<AnsiString>{"\"1\",\"2\"", "x"}, {}};
        if (member == "Nothing") return {};
        if (member == "Fail") throw BridgeError("no such story");
        if (member == "Open") {
            return {7LL, [this] { openRan = true; }};
        }
        if (member == "FontName") {
            if (kind == CallKind::Put) fontName = ArgText(args, 0);
            return {kind == CallKind::Get ? BridgeValue(fontName) : BridgeValue(), {}};
        }
        return {};
    }

    std::vector<std::string> calls;
    std::vector<BridgeValue> lastArgs;
    AnsiString fontName = "SimSun";
    bool openRan = false;
};

// Serves pages (path -> HTML) on 127.0.0.1 from a thread of its own, and
// counts the requests for "/tick" that pages send to show they still run.
class PageServer {
  public:
    explicit PageServer(std::map<std::string, std::string> pages) : pages_(std::move(pages)) {
        for (const auto& [path, html] : pages_) {
            server_.Get(path, [&html](const httplib::Request&, httplib::Response& response) {
                response.set_content(html, "text/html; charset=utf-8");
            });
        }
        server_.Get("/tick", [this](const httplib::Request&, httplib::Response& response) {
            ++ticks_;
            response.set_header("Access-Control-Allow-Origin", "*");
            response.set_content("tick", "text/plain");
        });
        // One request per connection: a connection kept open would hold the
        // server's thread while the browser asks on another one.
        server_.set_keep_alive_max_count(1);
        port_ = server_.bind_to_any_port("127.0.0.1");
        serving_ = std::thread([this] { server_.listen_after_bind(); });
    }
    explicit PageServer(std::string html) : PageServer({{"/page.html", std::move(html)}}) {}
    ~PageServer() {
        server_.stop();
        serving_.join();
    }
    std::string Origin() const { return "http://127.0.0.1:" + std::to_string(port_); }
    std::string Url(const std::string& path = "/page.html") const { return Origin() + path; }
    int Ticks() const { return ticks_; }

  private:
    const std::map<std::string, std::string> pages_;
    httplib::Server server_;
    int port_ = 0;
    std::thread serving_;
    std::atomic<int> ticks_{0};
};

class BrowserFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        uitest::RequireUi();
        window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_default_size(GTK_WINDOW(window), 400, 300);
        browser = std::make_unique<Browser>();
        gtk_container_add(GTK_CONTAINER(window), browser->Widget());
        gtk_widget_show_all(window);
        provider = std::make_shared<FakeExternal>();
        browser->SetExternalProvider(provider);
        SetTrustedPageFolders({data.Path()});
    }
    void TearDown() override {
        browser.reset();
        gtk_widget_destroy(window);
        SetTrustedPageFolders({});
        SetServicePageOrigin({});
    }

    // Waits until the page that is loading has put "done:<JSON>" into its
    // title, or "done" with the JSON text in window.report (titles are cut
    // short), and returns the JSON.
    Json ReadDone() {
        const bool done = uitest::PumpUntil(
            [&] { return finished_ && browser->Title().rfind("done", 0) == 0; }, 60000);
        browser->OnDocumentComplete = nullptr;
        EXPECT_TRUE(done) << "title: " << browser->Title();
        if (!done) return Json();
        if (browser->Title() != "done") return Json::parse(browser->Title().substr(5));
        const uitest::PageScriptAnswer report =
            uitest::RunPageScript(*browser, "return window.report;");
        EXPECT_TRUE(report.json) << report.error;
        const Json text = Json::parse(report.json.value_or("null"));
        if (!text.is_string()) return Json();
        return Json::parse(text.get<std::string>());
    }
    // Expects a load to begin; the title of the page before stays until the
    // new one has loaded.
    void ExpectLoad() {
        finished_ = false;
        browser->OnDocumentComplete = [this](const std::string&) { finished_ = true; };
    }
    Json LoadAndRead(const std::string& target) {
        ExpectLoad();
        browser->Navigate(target);
        return ReadDone();
    }

    uitest::TempDir data;
    GtkWidget* window = nullptr;
    std::unique_ptr<Browser> browser;
    std::shared_ptr<FakeExternal> provider;

  private:
    bool finished_ = false;
};

}  // namespace browsertest
