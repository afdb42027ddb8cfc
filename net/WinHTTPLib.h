#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The synchronous HTTP client: one request from start to end on the calling
// thread, over libcurl. It sends a fixed set of headers in a fixed order, keeps
// a cookie jar across the requests of one object, and keeps the body exactly as
// it came (content decoding is a separate step). Requests go out as HTTP/1.1,
// over TLS as well. It never runs on the user-interface thread; the request
// thread of WinHTTPRequest2.h is its user.
//
// Connections are kept alive in a process-wide pool of libcurl sessions, so the
// next request to the same host (from any thread) can reuse the connection.

// One cookie of the jar (byte texts).
struct TCookieRec {
    std::string Name;
    std::string Value;
    std::string Domain;
};

// The parts of a URL's authority and path that a request goes to.
struct TURLParts {
    std::string Scheme;  // "http" or "https", lower case
    std::string Host;    // as written (case kept), without brackets
    uint16_t Port = 0;   // the URL's port, else 80 or 443 by scheme
    std::string PathAndQuery;
};

// Why a request did not give a body: the clear status of a failed try.
enum class TRequestFailure {
    None,       // the body came whole and decoded
    Cancelled,  // cut off by Cancel or the abort flag
    Network,    // no answer, a broken transfer, a time-out
    TooLarge,   // the body, as received or as decoded, passed MaxBodyBytes
    BadBody,    // the body does not decode by its content encoding
};

class TWinHTTPLib {
  public:
    static constexpr const char* kDefaultUserAgent =
        "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1; .NET CLR 2.0.50727)";
    // Far above any real page; a body that grows past it, or inflates past
    // it, is an attack or a fault, and holding it would take the memory of
    // the whole process (ten workers at once).
    static constexpr uint64_t kDefaultMaxBodyBytes = 64ull * 1024 * 1024;

    TWinHTTPLib();
    ~TWinHTTPLib();
    TWinHTTPLib(const TWinHTTPLib&) = delete;
    TWinHTTPLib& operator=(const TWinHTTPLib&) = delete;

    // Request settings; an empty text means the header is not sent.
    std::string UserAgent = kDefaultUserAgent;
    std::string Accept = "*/*";
    std::string AcceptEncoding = "gzip, deflate";
    std::string Connection = "Keep-Alive";
    std::string Referer;
    std::string AcceptLanguage = "zh-cn";
    // An agent sent as an added header right after Accept, the way the
    // asynchronous client orders its headers; UserAgent is then left empty.
    std::string UserAgentHeader;
    // Milliseconds; 0 takes the classic defaults (60 s connect, 30 s send and receive).
    // Send and receive time-outs bound the time without any byte moving.
    uint32_t ConnectTimeout = 10000;
    uint32_t SendTimeout = 10000;
    uint32_t ReceiveTimeout = 10000;
    // The whole request, redirects included, must end within this (0: no limit).
    // Without it a server that trickles its body would hold a request for ever.
    uint32_t TotalTimeout = 120000;
    // Checked beside Cancelled and never cleared here: the request thread's own
    // "cut off" flag, so that a cancel that comes before Request begins still counts.
    const std::atomic<bool>* AbortFlag = nullptr;
    // The most bytes a body may have, as received and after content decoding.
    uint64_t MaxBodyBytes = kDefaultMaxBodyBytes;

    // State and results.
    std::vector<TCookieRec> Cookies;  // kept across requests of this object
    std::string Body;                 // the body exactly as received
    std::string ContentEncoding;      // the Content-Encoding response header
    long StatusCode = 0;              // the final response's status; 0 when none came
    TRequestFailure Failure = TRequestFailure::None;  // why the last Request returned false

    // Request with the bytes of bodyText as the request body; never throws.
    bool Fetch(const std::string& url, std::string_view bodyText);
    // The whole request: GET, or POST when length is not 0. True only when the
    // response came and its body was read to the end within MaxBodyBytes,
    // decodes by its content encoding within the same limit, and nothing
    // cancelled it; otherwise Failure says why. A non-2xx status is no failure.
    bool Request(const std::string& url, const char* body, std::size_t length);
    // Stops the running request from any thread; it returns false at once.
    // A cancel before Request begins is forgotten (Request clears it).
    void Cancel();
    bool Cancelled() const { return cancelled_.load(); }

    // The body after content decoding ("gzip"; "deflate" in either framing).
    std::string ReadResponseText() const;
    // The body decoded when decode is on and the content encoding names a
    // compression, else a copy; nothing when the body does not decode.
    std::optional<std::string> DecodeResponseBody(bool decode) const;

    // A header of the last response (the final one after redirects), the name
    // in any case; false when it is absent. index picks among repeated headers.
    bool QueryHeaderText(std::string_view name, std::string& text, std::size_t index = 0) const;
    // Every Set-Cookie header of the last response into the jar.
    void ReadSetCookies();
    // One Set-Cookie line into the jar; the request's host is the default domain.
    void AddCookie(std::string_view setCookie);
    // The Cookie header for host ("Cookie: a=1; b=2"), empty when no cookie qualifies.
    std::string CookieHeader(std::string_view host) const;
    // The host of the request under way (or the last one): the default cookie domain.
    const std::string& RequestHost() const { return host_; }
    void SetRequestHost(std::string host) { host_ = std::move(host); }

    // Scheme, host and port from the URL's authority; nothing for a URL that is
    // not http or https or has no host.
    static std::optional<TURLParts> CrackURL(const std::string& url);
    // Group 1 of the first match of pattern in text; empty when none (or a bad pattern).
    static std::string RegexGroup1(std::string_view text, std::string_view pattern);

    // Decodes bytes in the named content encoding; nothing when they do not
    // decode or decode to more than maxBytes (tooLarge, when given, tells).
    static std::optional<std::string> DecodeContent(std::string_view bytes,
                                                    std::string_view contentEncoding,
                                                    uint64_t maxBytes = kDefaultMaxBodyBytes,
                                                    bool* tooLarge = nullptr);

    struct Session;  // a libcurl handle pair from the process-wide pool

  private:
    bool Perform(const std::string& url, const char* body, std::size_t length);
    bool Stopped() const;

    std::atomic<bool> cancelled_{false};
    std::string host_;
    std::optional<std::string> decoded_;  // the decoded body of the last request
    std::vector<std::pair<std::string, std::string>> responseHeaders_;
    // The session of the running request; Cancel wakes it under this lock.
    mutable std::mutex sessionMutex_;
    Session* session_ = nullptr;
};
