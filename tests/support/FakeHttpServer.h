#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

// A real HTTP/1.1 server on 127.0.0.1 for tests and the demo: it listens on a
// free port, serves each connection on a thread of its own and keeps a log of
// what it received. Replies are configured per path; faults (status, delay,
// trickled body, reset mid-body, the first k requests failing, a hang) are set
// per path beside the content, so that one fake site can be made to misbehave
// on exactly one page.
//
// It is written on plain sockets rather than on an HTTP library because the
// tests need what such libraries hide: the request head in the order it came,
// the query bytes as sent, a body closed without a length, a connection reset
// in the middle of a body, and a hang that ends the moment the server stops.

namespace testing_support {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// One request as the server read it.
struct HttpRequestRecord {
    std::string method;
    std::string target;  // as sent: path and query
    std::string path;    // the target before "?"
    std::string query;   // the raw bytes after "?", not decoded
    HeaderList headers;  // in the order they came
    std::string body;

    // The first header of that name (any case); empty when absent.
    std::string Header(std::string_view name) const;
    bool HasHeader(std::string_view name) const;
    // The names of the headers in the order they came.
    std::vector<std::string> HeaderNames() const;
    // The value of a query parameter as sent (still percent-encoded); empty when absent.
    std::string QueryParam(std::string_view name) const;
};

// Percent-decoding of a query value: "%XX" to the byte, "+" to a space.
std::string PercentDecode(std::string_view text);

enum class BodyEncoding { Identity, Gzip, RawDeflate, ZlibDeflate };
enum class BodyFraming { ContentLength, Chunked, CloseWithoutLength };

// The bytes of text compressed in the given framing (Identity: unchanged).
std::string Compress(std::string_view text, BodyEncoding encoding);

struct HttpReply {
    int status = 200;
    HeaderList headers;  // sent in this order, after the status line
    std::string body;    // before encoding
    // Applied to the body; adds the Content-Encoding header unless the headers
    // already name one (so a test can send a wrong one on purpose).
    BodyEncoding encoding = BodyEncoding::Identity;
    BodyFraming framing = BodyFraming::ContentLength;

    static HttpReply Page(std::string body, std::string contentType = "text/html");
    static HttpReply Redirect(std::string location, int status = 302);
    static HttpReply Status(int status, std::string body = {});
    HttpReply& Header(std::string name, std::string value);
};

// How the server misbehaves on a path. Every member left at its default does nothing.
struct Fault {
    int status = 0;                                // not 0: this status with a short body
    std::chrono::milliseconds delay{0};            // wait before the status line
    std::size_t trickleBytes = 0;                  // not 0: the body goes in pieces of this size
    std::chrono::milliseconds trickleInterval{0};  // with this pause before each piece
    std::optional<std::size_t> resetAfter;  // reset the connection after this many body bytes
    int failFirst = 0;                      // the first k requests of the path fail:
    int failStatus = 0;                     // with this status, or a broken answer when 0
    bool hang = false;                      // no answer until Stop (or kMaxHang)
    bool held = false;                      // no answer until Release (or kMaxHang)
};

using Handler = std::function<HttpReply(const HttpRequestRecord&)>;

class FakeHttpServer {
  public:
    // A hang or delay never outlasts this, so a forgotten fault cannot block a test run.
    static constexpr std::chrono::seconds kMaxHang{30};

    // Listens on 127.0.0.1 at a free port and serves at once.
    FakeHttpServer();
    ~FakeHttpServer();
    FakeHttpServer(const FakeHttpServer&) = delete;
    FakeHttpServer& operator=(const FakeHttpServer&) = delete;

    uint16_t Port() const { return port_; }
    std::string BaseURL() const;                           // "http://127.0.0.1:<port>"
    std::string URL(std::string_view pathAndQuery) const;  // BaseURL() + pathAndQuery

    // Routes and faults are keyed by an exact path, or by a prefix written with
    // a final "*". The longest key that fits wins. Unrouted paths answer 404.
    void Route(std::string path, Handler handler);
    void Serve(std::string path, HttpReply reply);
    void SetFault(std::string path, Fault fault);
    void ClearFaults();
    // Lets the requests held by the fault of this path (and later ones) go on.
    void Release(std::string path);

    // The request log, in the order the requests were read.
    std::vector<HttpRequestRecord> Requests() const;
    std::vector<HttpRequestRecord> RequestsTo(std::string_view path) const;
    std::size_t RequestCount(std::string_view path) const;
    // The last request read; nothing when none came.
    std::optional<HttpRequestRecord> LastRequest() const;
    void ClearLog();
    // Waits until the log holds at least count requests; false on time-out.
    bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

    // Requests read and not yet answered, and the most there ever were at once.
    int InFlight() const;
    int PeakInFlight() const;
    void ResetPeak();
    // Connections accepted, also those that never sent a valid request.
    std::size_t ConnectionCount() const;

    // Ends every connection (hangs and delays included) and stops listening.
    // Safe to call more than once.
    void Stop();

  private:
    struct Connection;
    struct RouteEntry {
        Handler handler;
    };

    void AcceptLoop();
    void ServeConnection(Connection& connection);
    bool ServeOneRequest(Connection& connection, std::string& buffer);
    void ReapFinished();
    // Waits for the time or for Stop; false when stopped.
    bool WaitFor(std::chrono::milliseconds time);
    template <typename T>
    const T* Lookup(const std::map<std::string, T, std::less<>>& table, std::string_view path,
                    std::string* key) const;

    int listenFd_ = -1;
    int wakeFds_[2] = {-1, -1};
    uint16_t port_ = 0;
    std::thread acceptThread_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;  // the log grew
    std::condition_variable stopped_;          // Stop was called: delays and hangs end
    bool stopping_ = false;
    std::map<std::string, RouteEntry, std::less<>> routes_;
    std::map<std::string, Fault, std::less<>> faults_;
    std::map<std::string, int, std::less<>> faultHits_;
    std::set<std::string, std::less<>> released_;
    std::vector<HttpRequestRecord> log_;
    int inFlight_ = 0;
    int peakInFlight_ = 0;
    std::size_t connections_ = 0;
    std::vector<std::unique_ptr<Connection>> live_;
};

}  // namespace testing_support
