#include "net/WinHTTPLib.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "platform/Charset.h"
#include "tests/support/FakeHttpServer.h"

namespace {

using namespace std::chrono_literals;
using testing_support::BodyEncoding;
using testing_support::BodyFraming;
using testing_support::FakeHttpServer;
using testing_support::Fault;
using testing_support::HttpReply;

using Clock = std::chrono::steady_clock;

const std::string kGbkPage =
    platform::Utf8ToAnsi("<html><body>中文页面，第一章 风起</body></html>");
const std::string kUtf8Page = "<html><body>中文页面，第一章 风起</body></html>";

struct BodyCase {
    const char* name;
    BodyEncoding encoding;
    BodyFraming framing;
};

class BodyTransport : public testing::TestWithParam<BodyCase> {};

// Every transport gives the bytes as they came in Body and the plain page from
// ReadResponseText, for pages in both charsets (bytes are never converted here).
TEST_P(BodyTransport, BodyIsRawAndTextIsDecoded) {
    const auto& c = GetParam();
    FakeHttpServer server;
    for (const auto& [path, page] : {std::pair{"/gbk", kGbkPage}, std::pair{"/utf8", kUtf8Page}}) {
        HttpReply reply = HttpReply::Page(page);
        reply.encoding = c.encoding;
        reply.framing = c.framing;
        server.Serve(path, reply);
        TWinHTTPLib lib;
        ASSERT_TRUE(lib.Fetch(server.URL(path), "")) << c.name << " " << path;
        EXPECT_EQ(lib.Body, testing_support::Compress(page, c.encoding)) << c.name;
        EXPECT_EQ(lib.ReadResponseText(), page) << c.name;
        EXPECT_EQ(lib.DecodeResponseBody(false), lib.Body);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Transports, BodyTransport,
    testing::Values(
        BodyCase{"identity", BodyEncoding::Identity, BodyFraming::ContentLength},
        BodyCase{"gzip", BodyEncoding::Gzip, BodyFraming::ContentLength},
        BodyCase{"raw deflate", BodyEncoding::RawDeflate, BodyFraming::ContentLength},
        BodyCase{"zlib deflate", BodyEncoding::ZlibDeflate, BodyFraming::ContentLength},
        BodyCase{"gzip chunked", BodyEncoding::Gzip, BodyFraming::Chunked},
        BodyCase{"identity chunked", BodyEncoding::Identity, BodyFraming::Chunked},
        BodyCase{"identity no length", BodyEncoding::Identity, BodyFraming::CloseWithoutLength},
        BodyCase{"deflate no length", BodyEncoding::ZlibDeflate, BodyFraming::CloseWithoutLength}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

TEST(WinHTTPLibDecoding, BodyThatDoesNotDecodeFailsTheRequest) {
    FakeHttpServer server;
    const std::string gz = testing_support::Compress(std::string(5000, 'x'), BodyEncoding::Gzip);
    server.Serve("/truncated",
                 HttpReply::Page(gz.substr(0, gz.size() / 2)).Header("Content-Encoding", "gzip"));
    server.Serve("/garbage",
                 HttpReply::Page("this is not deflate").Header("Content-Encoding", "deflate"));
    server.Serve("/upper",
                 HttpReply::Page(testing_support::Compress("plain", BodyEncoding::RawDeflate))
                     .Header("Content-Encoding", "DEFLATE"));
    TWinHTTPLib lib;
    EXPECT_FALSE(lib.Fetch(server.URL("/truncated"), ""));
    EXPECT_EQ(lib.Body, gz.substr(0, gz.size() / 2)) << "what came stays in Body";
    EXPECT_FALSE(lib.Fetch(server.URL("/garbage"), ""));
    ASSERT_TRUE(lib.Fetch(server.URL("/upper"), ""));
    EXPECT_EQ(lib.ReadResponseText(), "plain");
}

// A body over the limit, as received or as it inflates, fails the request
// with its own status as soon as it passes the limit, whatever its framing;
// one exactly at the limit is a page like any other.
TEST(WinHTTPLibDecoding, BodiesOverTheLimitFailAsTooLarge) {
    constexpr uint64_t kLimit = 256 * 1024;
    const std::string atLimit(kLimit, 'a');
    const std::string over(kLimit + 1, 'b');
    struct Case {
        const char* name;
        const std::string* body;
        BodyEncoding encoding;
        BodyFraming framing;
        bool ok;
    };
    const Case cases[] = {
        {"at the limit", &atLimit, BodyEncoding::Identity, BodyFraming::ContentLength, true},
        {"inflates to the limit", &atLimit, BodyEncoding::Gzip, BodyFraming::Chunked, true},
        {"length over", &over, BodyEncoding::Identity, BodyFraming::ContentLength, false},
        {"chunked over", &over, BodyEncoding::Identity, BodyFraming::Chunked, false},
        {"no length, over", &over, BodyEncoding::Identity, BodyFraming::CloseWithoutLength, false},
        {"small gzip inflating over", &over, BodyEncoding::Gzip, BodyFraming::ContentLength, false},
        {"small deflate inflating over", &over, BodyEncoding::RawDeflate,
         BodyFraming::CloseWithoutLength, false},
    };
    FakeHttpServer server;
    for (const Case& c : cases) {
        HttpReply reply = HttpReply::Page(*c.body);
        reply.encoding = c.encoding;
        reply.framing = c.framing;
        server.Serve("/body", reply);
        TWinHTTPLib lib;
        lib.MaxBodyBytes = kLimit;
        const auto start = Clock::now();
        EXPECT_EQ(lib.Fetch(server.URL("/body"), ""), c.ok) << c.name;
        EXPECT_LT(Clock::now() - start, 10s) << c.name << ": ended by the limit, not a time-out";
        EXPECT_EQ(lib.Failure, c.ok ? TRequestFailure::None : TRequestFailure::TooLarge) << c.name;
        EXPECT_EQ(lib.ReadResponseText(), c.ok ? *c.body : std::string()) << c.name;
    }
}

// Without a limit of its own a request still has one: a gzip body of a few
// kilobytes that inflates past it fails instead of taking the memory.
TEST(WinHTTPLibDecoding, DefaultLimitStopsAnInflatingBomb) {
    const std::string bomb = testing_support::Compress(
        std::string(TWinHTTPLib::kDefaultMaxBodyBytes + 1, '\0'), BodyEncoding::Gzip);
    ASSERT_LT(bomb.size(), 512u * 1024);
    FakeHttpServer server;
    server.Serve("/bomb", HttpReply::Page(bomb).Header("Content-Encoding", "gzip"));
    TWinHTTPLib lib;
    EXPECT_FALSE(lib.Fetch(server.URL("/bomb"), ""));
    EXPECT_EQ(lib.Failure, TRequestFailure::TooLarge);
    bool tooLarge = false;
    EXPECT_FALSE(TWinHTTPLib::DecodeContent(bomb, "gzip", 1024, &tooLarge));
    EXPECT_TRUE(tooLarge);
}

TEST(WinHTTPLibDecoding, EmptyCompressedBodyIsEmptyPage) {
    EXPECT_EQ(TWinHTTPLib::DecodeContent("", "gzip"), std::string());
    EXPECT_EQ(TWinHTTPLib::DecodeContent("abc", "br"), std::string("abc"));
    const std::string twoMembers = testing_support::Compress("ab", BodyEncoding::Gzip) +
                                   testing_support::Compress("cd", BodyEncoding::Gzip);
    EXPECT_EQ(TWinHTTPLib::DecodeContent(twoMembers, "x-gzip"), std::string("abcd"));
}

TEST(WinHTTPLibHeaders, SentInTheirOrderWithTheirValues) {
    FakeHttpServer server;
    server.Serve("/p", HttpReply::Page("ok").Header("Set-Cookie", "sid=1"));
    TWinHTTPLib lib;
    ASSERT_TRUE(lib.Fetch(server.URL("/p"), ""));  // fills the jar
    lib.Referer = "http://127.0.0.1/ref.html";
    ASSERT_TRUE(lib.Fetch(server.URL("/p"), ""));
    const auto r = server.LastRequest();
    ASSERT_TRUE(r) << "no request reached the server";
    EXPECT_EQ(r->method, "GET");
    const std::vector<std::string> order = {"Host",       "User-Agent",     "Cookie",
                                            "Accept",     "Referer",        "Accept-Encoding",
                                            "Connection", "Accept-Language"};
    EXPECT_EQ(r->HeaderNames(), order);
    EXPECT_EQ(r->Header("User-Agent"), TWinHTTPLib::kDefaultUserAgent);
    EXPECT_EQ(r->Header("Cookie"), "sid=1");
    EXPECT_EQ(r->Header("Accept"), "*/*");
    EXPECT_EQ(r->Header("Accept-Encoding"), "gzip, deflate");
    EXPECT_EQ(r->Header("Connection"), "Keep-Alive");
    EXPECT_EQ(r->Header("Accept-Language"), "zh-cn");
    EXPECT_EQ(r->Header("Referer"), "http://127.0.0.1/ref.html");
}

TEST(WinHTTPLibHeaders, EmptySettingsSendNoHeaderAndPostCarriesForm) {
    FakeHttpServer server;
    server.Serve("/form", HttpReply::Page("ok"));
    TWinHTTPLib lib;
    lib.Accept.clear();
    lib.AcceptEncoding.clear();
    lib.UserAgent.clear();
    const std::string body = "a=1&b=%D6%D0&raw=\x01\xff";
    ASSERT_TRUE(lib.Fetch(server.URL("/form"), body));
    const auto r = server.LastRequest();
    ASSERT_TRUE(r) << "no request reached the server";
    EXPECT_EQ(r->method, "POST");
    EXPECT_EQ(r->body, body);
    EXPECT_EQ(r->Header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_FALSE(r->HasHeader("Accept"));
    EXPECT_FALSE(r->HasHeader("Accept-Encoding"));
    EXPECT_FALSE(r->HasHeader("User-Agent"));
    EXPECT_FALSE(r->HasHeader("Expect"));
    EXPECT_FALSE(r->HasHeader("Cookie"));
}

TEST(WinHTTPLibCookies, JarRulesOverRealRequests) {
    FakeHttpServer server;
    // Two Set-Cookie lines of one name and domain, one without a domain, one for the parent domain.
    server.Serve("/login",
                 HttpReply::Page("ok")
                     .Header("Set-Cookie", "uid=first; path=/; domain=.novel.localhost")
                     .Header("Set-Cookie", "uid=second; Domain=.novel.localhost; HttpOnly")
                     .Header("Set-Cookie", " token = t1 ; path=/")
                     .Header("Set-Cookie", "theme=dark; domain=/"));
    server.Serve("/page", HttpReply::Page("ok"));
    const std::string port = std::to_string(server.Port());
    TWinHTTPLib lib;
    ASSERT_TRUE(lib.Fetch("http://www.novel.localhost:" + port + "/login", ""));
    ASSERT_EQ(lib.Cookies.size(), 3u);
    EXPECT_EQ(lib.Cookies[0].Name, "uid");
    EXPECT_EQ(lib.Cookies[0].Value, "second");
    EXPECT_EQ(lib.Cookies[0].Domain, ".novel.localhost");
    EXPECT_EQ(lib.Cookies[1].Name, "token");
    EXPECT_EQ(lib.Cookies[1].Value, "t1");
    EXPECT_EQ(lib.Cookies[1].Domain, "www.novel.localhost");
    EXPECT_EQ(lib.Cookies[2].Domain, "www.novel.localhost");

    struct Case {
        std::string host;
        std::string cookie;
    };
    for (const Case& c : {Case{"www.novel.localhost", "uid=second; token=t1; theme=dark"},
                          Case{"WWW.Novel.localhost", "uid=second; token=t1; theme=dark"},
                          Case{"novel.localhost", "uid=second; token=t1; theme=dark"},
                          Case{"other.localhost", ""}, Case{"evilnovel.localhost", ""}}) {
        ASSERT_TRUE(lib.Fetch("http://" + c.host + ":" + port + "/page", "")) << c.host;
        const auto r = server.LastRequest();
        ASSERT_TRUE(r) << c.host;
        EXPECT_EQ(r->Header("Cookie"), c.cookie) << c.host;
    }
}

TEST(WinHTTPLibCookies, HeaderMatchesDomainsOnLabelBoundaries) {
    TWinHTTPLib lib;
    lib.Cookies = {{"a", "1", ".site.com"},
                   {"b", "2", "www.site.com"},
                   {"c", "3", ""},
                   {"d", "4", "te.com"},
                   {"e", "5", "SITE.COM"}};
    EXPECT_EQ(lib.CookieHeader("www.site.com"), "Cookie: a=1; b=2; c=3; e=5");
    // A host's parent also sees the cookies of its sub-hosts.
    EXPECT_EQ(lib.CookieHeader("site.com"), "Cookie: a=1; b=2; c=3; e=5");
    EXPECT_EQ(lib.CookieHeader("evilsite.com"), "Cookie: c=3");
    EXPECT_EQ(lib.CookieHeader("te.com"), "Cookie: c=3; d=4");

    lib.SetRequestHost("h.example");
    lib.AddCookie("x=1");
    lib.AddCookie("");
    lib.AddCookie("domain=evil.example");  // the first item is the cookie, never the domain
    lib.AddCookie("x=2; domain=\\");
    ASSERT_EQ(lib.Cookies.size(), 7u);
    EXPECT_EQ(lib.Cookies[5].Name, "x");
    EXPECT_EQ(lib.Cookies[5].Value, "2");
    EXPECT_EQ(lib.Cookies[5].Domain, "h.example");
    EXPECT_EQ(lib.Cookies[6].Name, "domain");
    EXPECT_EQ(lib.Cookies[6].Domain, "h.example");
}

TEST(WinHTTPLibURL, SchemeHostAndPortComeFromTheAuthority) {
    struct Case {
        const char* url;
        const char* scheme;
        const char* host;
        uint16_t port;
        const char* path;
    };
    for (const Case& c : {Case{"http://h.com/x?a=:8080", "http", "h.com", 80, "/x?a=:8080"},
                          Case{"http://h.com/p:8080/q", "http", "h.com", 80, "/p:8080/q"},
                          Case{"https://h.com:8443/x", "https", "h.com", 8443, "/x"},
                          Case{"https://h.com/x", "https", "h.com", 443, "/x"},
                          Case{"HTTP://H.com:81", "http", "H.com", 81, "/"},
                          Case{"http://user:pw@h.com:82/", "http", "h.com", 82, "/"}}) {
        const auto parts = TWinHTTPLib::CrackURL(c.url);
        ASSERT_TRUE(parts) << c.url;
        EXPECT_EQ(parts->Scheme, c.scheme) << c.url;
        EXPECT_EQ(parts->Host, c.host) << c.url;
        EXPECT_EQ(parts->Port, c.port) << c.url;
        EXPECT_EQ(parts->PathAndQuery, c.path) << c.url;
    }
    for (const char* bad : {"ftp://h.com/", "file:///etc/passwd", "h.com/x", "", "http://"})
        EXPECT_FALSE(TWinHTTPLib::CrackURL(bad)) << bad;
    TWinHTTPLib lib;
    EXPECT_FALSE(lib.Fetch("ftp://127.0.0.1/", ""));
}

TEST(WinHTTPLibURL, RequestGoesToTheAuthorityPort) {
    FakeHttpServer server;
    server.Serve("/p", HttpReply::Page("here"));
    TWinHTTPLib lib;
    // A colon and digits in the query name no port.
    ASSERT_TRUE(lib.Fetch(server.URL("/p?next=http://x:8080/&t=1:2"), ""));
    const auto r = server.LastRequest();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->query, "next=http://x:8080/&t=1:2");
    // HTTPS with an explicit port goes to that port (the plain server then fails the handshake).
    const auto before = server.ConnectionCount();
    EXPECT_FALSE(lib.Fetch("https://127.0.0.1:" + std::to_string(server.Port()) + "/p", ""));
    EXPECT_EQ(server.ConnectionCount(), before + 1);
}

TEST(WinHTTPLibStatus, ErrorPagesAndRedirects) {
    FakeHttpServer server;
    server.Serve("/missing", HttpReply::Status(404, "<h1>no such page</h1>"));
    server.Serve("/old", HttpReply::Redirect("/new").Header("Set-Cookie", "hop=1"));
    server.Serve("/new", HttpReply::Page("new page").Header("Set-Cookie", "final=1"));
    server.SetFault("/broken", Fault{.status = 503});
    TWinHTTPLib lib;
    ASSERT_TRUE(lib.Fetch(server.URL("/missing"), ""));
    EXPECT_EQ(lib.ReadResponseText(), "<h1>no such page</h1>");
    ASSERT_TRUE(lib.Fetch(server.URL("/broken"), ""));
    ASSERT_TRUE(lib.Fetch(server.URL("/old"), ""));
    EXPECT_EQ(lib.ReadResponseText(), "new page");
    ASSERT_EQ(lib.Cookies.size(), 1u) << "cookies of the final response";
    EXPECT_EQ(lib.Cookies[0].Name, "final");
    std::string header;
    ASSERT_TRUE(lib.QueryHeaderText("set-COOKIE", header));
    EXPECT_EQ(header, "final=1");
    EXPECT_FALSE(lib.QueryHeaderText("Set-Cookie", header, 1));
    EXPECT_FALSE(lib.QueryHeaderText("Location", header));
}

TEST(WinHTTPLibFaults, BrokenTransfersFail) {
    FakeHttpServer server;
    server.Serve("/p", HttpReply::Page(std::string(20000, 'p')));
    server.SetFault("/p", Fault{.resetAfter = 5000});
    TWinHTTPLib lib;
    EXPECT_FALSE(lib.Fetch(server.URL("/p"), ""));
    EXPECT_LE(lib.Body.size(), 5000u);

    server.Serve("/flaky", HttpReply::Page("third time"));
    server.SetFault("/flaky", Fault{.failFirst = 2});
    EXPECT_FALSE(lib.Fetch(server.URL("/flaky"), ""));
    EXPECT_FALSE(lib.Fetch(server.URL("/flaky"), ""));
    ASSERT_TRUE(lib.Fetch(server.URL("/flaky"), ""));
    EXPECT_EQ(lib.ReadResponseText(), "third time");

    EXPECT_FALSE(lib.Fetch("http://127.0.0.1:1/", "")) << "nothing listens there";
}

TEST(WinHTTPLibFaults, TimeOutsEndStalledAndTricklingServers) {
    FakeHttpServer server;
    server.Serve("/slow", HttpReply::Page(std::string(400, 's')));
    server.SetFault("/hang", Fault{.hang = true});
    server.SetFault("/slow", Fault{.trickleBytes = 10, .trickleInterval = 40ms});
    TWinHTTPLib lib;
    lib.ReceiveTimeout = 200;
    auto start = Clock::now();
    EXPECT_FALSE(lib.Fetch(server.URL("/hang"), ""));
    EXPECT_LT(Clock::now() - start, 3s);

    // Each piece comes well within the receive time-out, so only the overall
    // deadline ends the request.
    lib.TotalTimeout = 300;
    start = Clock::now();
    EXPECT_FALSE(lib.Fetch(server.URL("/slow"), ""));
    EXPECT_LT(Clock::now() - start, 3s);
    EXPECT_LT(lib.Body.size(), 400u);

    lib.TotalTimeout = 10000;
    server.SetFault("/slow", Fault{.trickleBytes = 100, .trickleInterval = 20ms});
    EXPECT_TRUE(lib.Fetch(server.URL("/slow"), ""));
    EXPECT_EQ(lib.Body.size(), 400u);
}

enum class Phase { WaitingForHead, ReadingBody };

class CancelPhase : public testing::TestWithParam<Phase> {};

TEST_P(CancelPhase, CancelFromAnotherThreadEndsTheRequestAtOnce) {
    FakeHttpServer server;
    server.Serve("/p", HttpReply::Page(std::string(1000, 'b')));
    if (GetParam() == Phase::WaitingForHead)
        server.SetFault("/p", Fault{.hang = true});
    else
        server.SetFault("/p", Fault{.trickleBytes = 10, .trickleInterval = 50ms});
    TWinHTTPLib lib;
    auto result = std::async(std::launch::async, [&] { return lib.Fetch(server.URL("/p"), ""); });
    ASSERT_TRUE(server.WaitForRequests(1, 5s));
    std::this_thread::sleep_for(100ms);
    const auto start = Clock::now();
    lib.Cancel();
    ASSERT_EQ(result.wait_for(2s), std::future_status::ready);
    EXPECT_FALSE(result.get());
    EXPECT_LT(Clock::now() - start, 500ms);
    EXPECT_TRUE(lib.Cancelled());
}

INSTANTIATE_TEST_SUITE_P(Phases, CancelPhase,
                         testing::Values(Phase::WaitingForHead, Phase::ReadingBody),
                         [](const auto& info) {
                             return info.param == Phase::WaitingForHead ? "WaitingForHead"
                                                                        : "ReadingBody";
                         });

TEST(WinHTTPLibCancel, CancelBeforeTheRequestIsForgottenButAbortFlagHolds) {
    FakeHttpServer server;
    server.Serve("/p", HttpReply::Page("ok"));
    TWinHTTPLib lib;
    lib.Cancel();
    EXPECT_TRUE(lib.Fetch(server.URL("/p"), ""));
    std::atomic<bool> abort{true};
    lib.AbortFlag = &abort;
    EXPECT_FALSE(lib.Fetch(server.URL("/p"), ""));
}

TEST(WinHTTPLibConnections, LaterRequestsReuseTheConnection) {
    FakeHttpServer server;
    server.Serve("/a", HttpReply::Page("a"));
    for (int i = 0; i < 3; ++i) {
        TWinHTTPLib lib;  // a new client each time, as the request thread makes
        ASSERT_TRUE(lib.Fetch(server.URL("/a"), ""));
    }
    EXPECT_EQ(server.ConnectionCount(), 1u);
}

TEST(WinHTTPLibRegex, RegexGroup1) {
    EXPECT_EQ(TWinHTTPLib::RegexGroup1("port :8080 x", ":(\\d+)"), "8080");
    EXPECT_EQ(TWinHTTPLib::RegexGroup1("none", ":(\\d+)"), "");
    EXPECT_EQ(TWinHTTPLib::RegexGroup1("x", "(unclosed"), "");
}

}  // namespace
