#include "net/WinHTTPLib.h"

#include <curl/curl.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>

#include "core/Regex.h"

namespace {

using Clock = std::chrono::steady_clock;

// Classic per-phase defaults for a time-out of 0.
constexpr uint32_t kDefaultConnectMs = 60000;
constexpr uint32_t kDefaultSendReceiveMs = 30000;
constexpr long kMaxRedirects = 10;
// How long one wait for socket activity may last before the time-outs are checked again.
constexpr int kPollMs = 100;
constexpr std::size_t kMaxIdleSessions = 32;

std::string Lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
    return s;
}

// Bytes that a URL may not carry as they are (blanks, controls, non-ASCII)
// percent-encoded, as browsers do; everything else stays.
std::string EscapeURL(std::string_view url) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(url.size());
    for (const char ch : url) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c >= 0x7F) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

struct CurlUrlDeleter {
    void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
using CurlUrl = std::unique_ptr<CURLU, CurlUrlDeleter>;

struct CurlStringDeleter {
    void operator()(char* s) const { curl_free(s); }
};

std::string UrlPart(CURLU* url, CURLUPart part, unsigned flags = 0) {
    char* value = nullptr;
    if (curl_url_get(url, part, &value, flags) != CURLUE_OK || !value) return {};
    const std::unique_ptr<char, CurlStringDeleter> owned(value);
    return value;
}

struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

void Append(Slist& list, const std::string& line) {
    curl_slist* grown = curl_slist_append(list.get(), line.c_str());
    if (!grown) throw std::bad_alloc();
    list.release();
    list.reset(grown);
}

// Inflates one zlib stream kind; nothing when the bytes end before the stream
// does, or when the output would pass maxBytes (then tooLarge is set).
std::optional<std::string> Inflate(std::string_view bytes, int windowBits, uint64_t maxBytes,
                                   bool& tooLarge) {
    z_stream z{};
    if (inflateInit2(&z, windowBits) != Z_OK) return std::nullopt;
    std::string out;
    char buffer[64 * 1024];
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = static_cast<uInt>(bytes.size());
    bool ended = false;
    for (;;) {
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        const int rc = inflate(&z, Z_NO_FLUSH);
        const size_t produced = sizeof buffer - z.avail_out;
        // Checked before the bytes are kept: a small body may inflate to
        // gigabytes, and ten workers would each hold that much.
        if (out.size() + produced > maxBytes) {
            tooLarge = true;
            break;
        }
        out.append(buffer, produced);
        if (rc == Z_STREAM_END) {
            // Gzip bodies may hold several members one after another.
            if (z.avail_in >= 2 && z.next_in[0] == 0x1F && z.next_in[1] == 0x8B &&
                inflateReset(&z) == Z_OK)
                continue;
            ended = true;
            break;
        }
        if (rc != Z_OK) break;                           // corrupt data
        if (z.avail_in == 0 && z.avail_out != 0) break;  // input ran out mid-stream
    }
    inflateEnd(&z);
    if (!ended) return std::nullopt;
    return out;
}

// A "deflate" body is meant to be zlib-wrapped, but many servers send raw
// deflate; the two-byte zlib header tells them apart.
bool LooksZlibWrapped(std::string_view bytes) {
    if (bytes.size() < 2) return false;
    const auto b0 = static_cast<unsigned char>(bytes[0]);
    const auto b1 = static_cast<unsigned char>(bytes[1]);
    return (b0 & 0x0F) == 8 && (b0 >> 4) <= 7 && ((b0 << 8) | b1) % 31 == 0;
}

// Whether the host lies in the cookie domain or the domain in the host, on
// label boundaries: ".site.com" and "site.com" both cover "www.site.com".
bool DomainCovers(std::string_view outer, std::string_view inner) {
    if (!outer.empty() && outer.front() == '.') outer.remove_prefix(1);
    if (outer.empty()) return false;
    if (inner == outer) return true;
    return inner.size() > outer.size() && inner.ends_with(outer) &&
           inner[inner.size() - outer.size() - 1] == '.';
}

}  // namespace

// One libcurl multi handle with one easy handle. The multi handle keeps the
// connection cache, so a session taken again for the same host reuses its
// connection; the multi handle also gives a thread-safe wake-up for Cancel.
struct TWinHTTPLib::Session {
    struct MultiDeleter {
        void operator()(CURLM* m) const { curl_multi_cleanup(m); }
    };
    struct EasyDeleter {
        void operator()(CURL* e) const { curl_easy_cleanup(e); }
    };
    std::unique_ptr<CURL, EasyDeleter> easy{curl_easy_init()};
    std::unique_ptr<CURLM, MultiDeleter> multi{curl_multi_init()};
    std::string origin;  // scheme://host:port of the last request
};

namespace {

class SessionPool {
  public:
    SessionPool() { curl_global_init(CURL_GLOBAL_DEFAULT); }

    std::unique_ptr<TWinHTTPLib::Session> Take(const std::string& origin) {
        {
            std::lock_guard lock(mutex_);
            auto it = std::find_if(idle_.rbegin(), idle_.rend(),
                                   [&](const auto& s) { return s->origin == origin; });
            if (it == idle_.rend() && !idle_.empty()) it = idle_.rbegin();
            if (it != idle_.rend()) {
                auto session = std::move(*it);
                idle_.erase(std::next(it).base());
                return session;
            }
        }
        auto session = std::make_unique<TWinHTTPLib::Session>();
        if (!session->easy || !session->multi) return nullptr;
        return session;
    }

    void Give(std::unique_ptr<TWinHTTPLib::Session> session) {
        std::unique_ptr<TWinHTTPLib::Session> dropped;
        std::lock_guard lock(mutex_);
        if (idle_.size() >= kMaxIdleSessions) {
            dropped = std::move(idle_.front());
            idle_.erase(idle_.begin());
        }
        idle_.push_back(std::move(session));
    }

  private:
    std::mutex mutex_;
    std::vector<std::unique_ptr<TWinHTTPLib::Session>> idle_;
};

// Shared so that a worker thread still running at process exit keeps the pool alive.
std::shared_ptr<SessionPool> Pool() {
    static const auto pool = std::make_shared<SessionPool>();
    return pool;
}

// What libcurl's callbacks need while one request runs.
struct Transfer {
    TWinHTTPLib* lib;
    std::string* body;
    const std::atomic<bool>* cancelled;
    const std::atomic<bool>* abort;
    uint64_t maxBody;
    Clock::time_point lastActivity;
    bool tooLarge = false;
    bool connected = false;
    curl_off_t uploaded = 0, downloaded = 0;
    curl_off_t uploadTotal = 0;

    bool Stopped() const { return cancelled->load() || (abort && abort->load()); }
};

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    if (t->Stopped()) return 0;  // makes libcurl end the transfer with an error
    // A body with no length, or one longer than it said, ends here rather
    // than growing until the overall time-out.
    if (t->body->size() + size * count > t->maxBody) {
        t->tooLarge = true;
        return 0;
    }
    t->body->append(data, size * count);
    t->lastActivity = Clock::now();
    return size * count;
}

size_t ReadHeader(char*, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    t->lastActivity = Clock::now();
    return t->Stopped() ? 0 : size * count;
}

int Progress(void* user, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow) {
    auto* t = static_cast<Transfer*>(user);
    if (dlnow != t->downloaded || ulnow != t->uploaded) {
        t->downloaded = dlnow;
        t->uploaded = ulnow;
        t->lastActivity = Clock::now();
    }
    return t->Stopped() ? 1 : 0;
}

int Connected(void* user, char*, char*, int, int) {
    auto* t = static_cast<Transfer*>(user);
    t->connected = true;
    t->uploaded = 0;
    t->lastActivity = Clock::now();
    return t->Stopped() ? CURL_PREREQFUNC_ABORT : CURL_PREREQFUNC_OK;
}

}  // namespace

TWinHTTPLib::TWinHTTPLib() {
    Pool();
}

TWinHTTPLib::~TWinHTTPLib() = default;

bool TWinHTTPLib::Fetch(const std::string& url, std::string_view bodyText) {
    try {
        return Request(url, bodyText.data(), bodyText.size());
    } catch (...) {
        return false;
    }
}

bool TWinHTTPLib::Stopped() const {
    return cancelled_.load() || (AbortFlag && AbortFlag->load());
}

void TWinHTTPLib::Cancel() {
    cancelled_ = true;
    std::lock_guard lock(sessionMutex_);
    if (session_) curl_multi_wakeup(session_->multi.get());
}

bool TWinHTTPLib::Request(const std::string& url, const char* body, std::size_t length) {
    cancelled_ = false;
    Body.clear();
    ContentEncoding.clear();
    decoded_.reset();
    responseHeaders_.clear();
    Failure = TRequestFailure::None;
    if (!Perform(url, body, length)) {
        if (Failure == TRequestFailure::None)
            Failure = Stopped() ? TRequestFailure::Cancelled : TRequestFailure::Network;
        // What came of an oversized body is not kept: it may be most of the limit.
        if (Failure == TRequestFailure::TooLarge) Body.clear();
        return false;
    }
    bool tooLarge = false;
    decoded_ = DecodeContent(Body, ContentEncoding, MaxBodyBytes, &tooLarge);
    if (Stopped()) {
        Failure = TRequestFailure::Cancelled;
    } else if (!decoded_) {
        // A body that does not decode is a broken page, not an empty one.
        Failure = tooLarge ? TRequestFailure::TooLarge : TRequestFailure::BadBody;
    }
    if (Failure == TRequestFailure::None) return true;
    decoded_.reset();
    if (Failure == TRequestFailure::TooLarge) Body.clear();
    return false;
}

bool TWinHTTPLib::Perform(const std::string& url, const char* body, std::size_t length) {
    const auto parts = CrackURL(url);
    host_ = parts ? parts->Host : std::string();
    if (!parts || Stopped()) return false;

    const auto pool = Pool();
    const std::string origin =
        parts->Scheme + "://" + Lower(parts->Host) + ":" + std::to_string(parts->Port);
    std::unique_ptr<Session> session = pool->Take(origin);
    if (!session) return false;
    session->origin = origin;
    CURL* easy = session->easy.get();
    CURLM* multi = session->multi.get();
    curl_easy_reset(easy);

    Transfer transfer{this, &Body, &cancelled_, AbortFlag, MaxBodyBytes, Clock::now()};
    const bool post = length != 0;
    transfer.uploadTotal = static_cast<curl_off_t>(length);

    Slist headers;
    const std::string cookie = CookieHeader(parts->Host);
    if (!cookie.empty()) Append(headers, cookie);
    // An empty value removes libcurl's own header of that name.
    Append(headers, Accept.empty() ? "Accept:" : "Accept: " + Accept);
    if (!UserAgentHeader.empty()) Append(headers, "User-Agent: " + UserAgentHeader);
    if (!Referer.empty()) Append(headers, "Referer: " + Referer);
    if (!AcceptEncoding.empty()) Append(headers, "Accept-Encoding: " + AcceptEncoding);
    if (!Connection.empty()) Append(headers, "Connection: " + Connection);
    if (!AcceptLanguage.empty()) Append(headers, "Accept-Language: " + AcceptLanguage);
    if (post) Append(headers, "Content-Type: application/x-www-form-urlencoded");
    Append(headers, "Expect:");

    const std::string target = EscapeURL(url);
    curl_easy_setopt(easy, CURLOPT_URL, target.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // HTTP/1.1 over TLS too (libcurl would offer HTTP/2 there), so that every
    // request carries its Connection header as the sites expect it.
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    // The system's certificates, or the bundle named the way OpenSSL programs
    // take one (a private authority, a filtering proxy).
    if (const char* bundle = std::getenv("SSL_CERT_FILE"); bundle && *bundle)
        curl_easy_setopt(easy, CURLOPT_CAINFO, bundle);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
    // The body stays as it came; DecodeResponseBody decodes it.
    curl_easy_setopt(easy, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    // A length announced over the limit fails before any of the body comes.
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(MaxBodyBytes));
    if (!UserAgent.empty()) curl_easy_setopt(easy, CURLOPT_USERAGENT, UserAgent.c_str());
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(ConnectTimeout ? ConnectTimeout : kDefaultConnectMs));
    if (TotalTimeout) curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(TotalTimeout));
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers.get());
    if (post) {
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(length));
    } else {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    }
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, WriteBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, ReadHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, Progress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, Connected);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, &transfer);

    if (curl_multi_add_handle(multi, easy) != CURLM_OK) return false;
    {
        std::lock_guard lock(sessionMutex_);
        session_ = session.get();
    }
    const auto sendLimit =
        std::chrono::milliseconds(SendTimeout ? SendTimeout : kDefaultSendReceiveMs);
    const auto receiveLimit =
        std::chrono::milliseconds(ReceiveTimeout ? ReceiveTimeout : kDefaultSendReceiveMs);
    bool ok = true;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            ok = false;
            break;
        }
        if (!running) break;
        if (Stopped()) {
            ok = false;
            break;
        }
        // Per-phase time-outs: no byte moved for that long while sending or receiving.
        if (transfer.connected) {
            const bool sending = post && transfer.uploaded < transfer.uploadTotal;
            if (Clock::now() - transfer.lastActivity > (sending ? sendLimit : receiveLimit)) {
                ok = false;
                break;
            }
        }
        curl_multi_poll(multi, nullptr, 0, kPollMs, nullptr);
    }
    CURLcode result = CURLE_OK;
    if (ok) {
        int left = 0;
        result = CURLE_RECV_ERROR;
        while (CURLMsg* message = curl_multi_info_read(multi, &left))
            if (message->msg == CURLMSG_DONE && message->easy_handle == easy)
                result = message->data.result;
    }
    {
        std::lock_guard lock(sessionMutex_);
        session_ = nullptr;
    }

    // The final response's headers count, also when its body failed afterwards.
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    StatusCode = status;
    if (status != 0) {
        for (curl_header* h = nullptr; (h = curl_easy_nextheader(easy, CURLH_HEADER, -1, h));)
            responseHeaders_.emplace_back(h->name, h->value);
        QueryHeaderText("Content-Encoding", ContentEncoding);
        ReadSetCookies();
    }
    if (transfer.tooLarge || result == CURLE_FILESIZE_EXCEEDED) Failure = TRequestFailure::TooLarge;
    curl_multi_remove_handle(multi, easy);
    // A connection left in an unknown state by a failed or cut transfer is not
    // worth keeping: libcurl closes those itself, the session stays reusable.
    pool->Give(std::move(session));
    return ok && result == CURLE_OK && !Stopped();
}

std::string TWinHTTPLib::ReadResponseText() const {
    if (decoded_) return *decoded_;
    return DecodeResponseBody(true).value_or(std::string());
}

std::optional<std::string> TWinHTTPLib::DecodeResponseBody(bool decode) const {
    if (!decode) return Body;
    return DecodeContent(Body, ContentEncoding, MaxBodyBytes);
}

std::optional<std::string> TWinHTTPLib::DecodeContent(std::string_view bytes,
                                                      std::string_view contentEncoding,
                                                      uint64_t maxBytes, bool* tooLarge) {
    bool over = false;
    const std::string encoding = Lower(contentEncoding);
    const bool gzip = encoding.find("gzip") != std::string::npos;
    const bool deflate = !gzip && encoding.find("deflate") != std::string::npos;
    std::optional<std::string> decoded;
    if ((!gzip && !deflate) || bytes.empty()) {
        // An empty body (a HEAD answer, 204, 304) decodes to nothing.
        over = bytes.size() > maxBytes;
        if (!over) decoded = std::string(bytes);
    } else if (gzip) {
        // gzip, or a zlib stream mislabelled as gzip
        decoded = Inflate(bytes, 15 + 32, maxBytes, over);
    } else {
        decoded = Inflate(bytes, LooksZlibWrapped(bytes) ? 15 : -15, maxBytes, over);
    }
    if (tooLarge) *tooLarge = over;
    return decoded;
}

bool TWinHTTPLib::QueryHeaderText(std::string_view name, std::string& text,
                                  std::size_t index) const {
    const std::string wanted = Lower(name);
    for (const auto& [n, v] : responseHeaders_) {
        if (Lower(n) != wanted) continue;
        if (index-- == 0) {
            text = v;
            return true;
        }
    }
    return false;
}

void TWinHTTPLib::ReadSetCookies() {
    std::string line;
    for (std::size_t i = 0; QueryHeaderText("Set-Cookie", line, i); ++i) AddCookie(line);
}

void TWinHTTPLib::AddCookie(std::string_view setCookie) {
    std::vector<std::string_view> items;
    while (true) {
        const auto semi = setCookie.find(';');
        std::string_view item = setCookie.substr(0, semi);
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t'))
            item.remove_prefix(1);
        items.push_back(item);
        if (semi == std::string_view::npos) break;
        setCookie.remove_prefix(semi + 1);
    }
    const std::string_view first = items.front();
    // A line without a cookie would put a bare "=" into every later request.
    if (TrimBlanks(first).empty()) return;
    const auto eq = first.find('=');
    TCookieRec cookie;
    cookie.Name = std::string(TrimBlanks(first.substr(0, eq)));
    cookie.Value = eq == std::string_view::npos ? std::string()
                                                : std::string(TrimBlanks(first.substr(eq + 1)));
    for (std::size_t i = 1; i < items.size(); ++i) {
        const auto e = items[i].find('=');
        if (Lower(TrimBlanks(items[i].substr(0, e))) == "domain")
            cookie.Domain =
                e == std::string_view::npos ? "" : std::string(TrimBlanks(items[i].substr(e + 1)));
    }
    if (cookie.Domain.empty() || cookie.Domain == "/" || cookie.Domain == "\\")
        cookie.Domain = host_;
    for (auto& c : Cookies) {
        if (c.Domain == cookie.Domain && c.Name == cookie.Name) {
            c.Value = cookie.Value;
            return;
        }
    }
    Cookies.push_back(std::move(cookie));
}

std::string TWinHTTPLib::CookieHeader(std::string_view host) const {
    const std::string h = Lower(host);
    std::string header;
    for (const auto& c : Cookies) {
        const std::string domain = Lower(c.Domain);
        if (!domain.empty() && !DomainCovers(domain, h) && !DomainCovers(h, domain)) continue;
        header += header.empty() ? "Cookie: " : "; ";
        header += c.Name + "=" + c.Value;
    }
    return header;
}

std::optional<TURLParts> TWinHTTPLib::CrackURL(const std::string& url) {
    const CurlUrl handle(curl_url());
    if (!handle) return std::nullopt;
    if (curl_url_set(handle.get(), CURLUPART_URL, EscapeURL(url).c_str(), 0) != CURLUE_OK)
        return std::nullopt;
    TURLParts parts;
    parts.Scheme = Lower(UrlPart(handle.get(), CURLUPART_SCHEME));
    if (parts.Scheme != "http" && parts.Scheme != "https") return std::nullopt;
    parts.Host = UrlPart(handle.get(), CURLUPART_HOST);
    if (parts.Host.size() > 2 && parts.Host.front() == '[' && parts.Host.back() == ']')
        parts.Host = parts.Host.substr(1, parts.Host.size() - 2);
    if (parts.Host.empty()) return std::nullopt;
    const std::string port = UrlPart(handle.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
    try {
        parts.Port = static_cast<uint16_t>(std::stoul(port));
    } catch (...) {
        return std::nullopt;
    }
    parts.PathAndQuery = UrlPart(handle.get(), CURLUPART_PATH);
    const std::string query = UrlPart(handle.get(), CURLUPART_QUERY);
    if (!query.empty()) parts.PathAndQuery += "?" + query;
    return parts;
}

std::string TWinHTTPLib::RegexGroup1(std::string_view text, std::string_view pattern) {
    try {
        RegexMatchResult match;
        if (!Regex::Get(pattern)->Search(text, match)) return {};
        return std::string(match.Group(text, 1));
    } catch (const RegexError&) {
        return {};
    }
}
