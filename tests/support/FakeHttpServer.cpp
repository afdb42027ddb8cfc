#include "tests/support/FakeHttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace testing_support {

namespace {

constexpr std::size_t kMaxHead = 64 * 1024;

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string Trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(" \t\r");
    return std::string(s.substr(first, last - first + 1));
}

const char* Reason(int status) {
    switch (status) {
        case 100:
            return "Continue";
        case 200:
            return "OK";
        case 204:
            return "No Content";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 303:
            return "See Other";
        case 304:
            return "Not Modified";
        case 400:
            return "Bad Request";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 411:
            return "Length Required";
        case 500:
            return "Internal Server Error";
        case 502:
            return "Bad Gateway";
        case 503:
            return "Service Unavailable";
        default:
            return "Status";
    }
}

// Sends all bytes; false when the peer is gone.
bool SendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Appends what the socket has to buffer; false on end of stream or error.
bool ReceiveSome(int fd, std::string& buffer) {
    char chunk[16 * 1024];
    for (;;) {
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        buffer.append(chunk, static_cast<size_t>(n));
        return true;
    }
}

// Closes with a TCP reset instead of an orderly end, as a crashed server would.
void ResetAndClose(int fd) {
    linger hard{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    ::close(fd);
}

std::string Chunked(std::string_view body) {
    std::string out;
    constexpr std::size_t kPiece = 4096;
    for (std::size_t at = 0; at < body.size(); at += kPiece) {
        const auto piece = body.substr(at, kPiece);
        char size[32];
        std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
        out += size;
        out += piece;
        out += "\r\n";
    }
    out += "0\r\n\r\n";
    return out;
}

}  // namespace

std::string HttpRequestRecord::Header(std::string_view name) const {
    for (const auto& [n, v] : headers)
        if (EqualNoCase(n, name)) return v;
    return {};
}

bool HttpRequestRecord::HasHeader(std::string_view name) const {
    return std::any_of(headers.begin(), headers.end(),
                       [&](const auto& h) { return EqualNoCase(h.first, name); });
}

std::vector<std::string> HttpRequestRecord::HeaderNames() const {
    std::vector<std::string> names;
    for (const auto& h : headers) names.push_back(h.first);
    return names;
}

std::string HttpRequestRecord::QueryParam(std::string_view name) const {
    std::string_view rest = query;
    while (!rest.empty()) {
        const auto amp = rest.find('&');
        const auto item = rest.substr(0, amp);
        const auto eq = item.find('=');
        if (item.substr(0, eq) == name)
            return eq == std::string_view::npos ? "" : std::string(item.substr(eq + 1));
        if (amp == std::string_view::npos) break;
        rest.remove_prefix(amp + 1);
    }
    return {};
}

std::string PercentDecode(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string Compress(std::string_view text, BodyEncoding encoding) {
    int windowBits = 0;
    switch (encoding) {
        case BodyEncoding::Identity:
            return std::string(text);
        case BodyEncoding::Gzip:
            windowBits = 15 + 16;
            break;
        case BodyEncoding::RawDeflate:
            windowBits = -15;
            break;
        case BodyEncoding::ZlibDeflate:
            windowBits = 15;
            break;
    }
    z_stream z{};
    if (deflateInit2(&z, 6, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    std::string out(deflateBound(&z, text.size()) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (rc != Z_STREAM_END) throw std::runtime_error("deflate failed");
    return out;
}

HttpReply HttpReply::Page(std::string body, std::string contentType) {
    HttpReply reply;
    reply.body = std::move(body);
    reply.headers.emplace_back("Content-Type", std::move(contentType));
    return reply;
}

HttpReply HttpReply::Redirect(std::string location, int status) {
    HttpReply reply;
    reply.status = status;
    reply.headers.emplace_back("Location", std::move(location));
    return reply;
}

HttpReply HttpReply::Status(int status, std::string body) {
    HttpReply reply = Page(std::move(body));
    reply.status = status;
    return reply;
}

HttpReply& HttpReply::Header(std::string name, std::string value) {
    headers.emplace_back(std::move(name), std::move(value));
    return *this;
}

struct FakeHttpServer::Connection {
    int fd = -1;
    std::atomic<bool> finished{false};
    std::thread thread;
};

FakeHttpServer::FakeHttpServer() {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) throw std::runtime_error("socket failed");
    const int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    // A deep backlog: a search opens one connection per site at the same moment.
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 1024) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(listenFd_);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port_ = ntohs(addr.sin_port);
    if (::pipe2(wakeFds_, O_CLOEXEC) != 0) {
        ::close(listenFd_);
        throw std::runtime_error("pipe failed");
    }
    acceptThread_ = std::thread([this] { AcceptLoop(); });
}

FakeHttpServer::~FakeHttpServer() {
    Stop();
}

std::string FakeHttpServer::BaseURL() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

std::string FakeHttpServer::URL(std::string_view pathAndQuery) const {
    return BaseURL() + std::string(pathAndQuery);
}

void FakeHttpServer::Route(std::string path, Handler handler) {
    std::lock_guard lock(mutex_);
    routes_[std::move(path)] = RouteEntry{std::move(handler)};
}

void FakeHttpServer::Serve(std::string path, HttpReply reply) {
    Route(std::move(path), [reply = std::move(reply)](const HttpRequestRecord&) { return reply; });
}

void FakeHttpServer::SetFault(std::string path, Fault fault) {
    std::lock_guard lock(mutex_);
    faultHits_.erase(path);
    released_.erase(path);
    faults_[std::move(path)] = fault;
}

void FakeHttpServer::ClearFaults() {
    std::lock_guard lock(mutex_);
    faults_.clear();
    faultHits_.clear();
    released_.clear();
}

void FakeHttpServer::Release(std::string path) {
    {
        std::lock_guard lock(mutex_);
        released_.insert(std::move(path));
    }
    changed_.notify_all();
}

std::vector<HttpRequestRecord> FakeHttpServer::Requests() const {
    std::lock_guard lock(mutex_);
    return log_;
}

std::vector<HttpRequestRecord> FakeHttpServer::RequestsTo(std::string_view path) const {
    std::lock_guard lock(mutex_);
    std::vector<HttpRequestRecord> out;
    for (const auto& r : log_)
        if (r.path == path) out.push_back(r);
    return out;
}

std::size_t FakeHttpServer::RequestCount(std::string_view path) const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(
        std::count_if(log_.begin(), log_.end(), [&](const auto& r) { return r.path == path; }));
}

std::optional<HttpRequestRecord> FakeHttpServer::LastRequest() const {
    std::lock_guard lock(mutex_);
    if (log_.empty()) return std::nullopt;
    return log_.back();
}

void FakeHttpServer::ClearLog() {
    std::lock_guard lock(mutex_);
    log_.clear();
}

bool FakeHttpServer::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return log_.size() >= count; });
}

int FakeHttpServer::InFlight() const {
    std::lock_guard lock(mutex_);
    return inFlight_;
}

int FakeHttpServer::PeakInFlight() const {
    std::lock_guard lock(mutex_);
    return peakInFlight_;
}

void FakeHttpServer::ResetPeak() {
    std::lock_guard lock(mutex_);
    peakInFlight_ = inFlight_;
}

std::size_t FakeHttpServer::ConnectionCount() const {
    std::lock_guard lock(mutex_);
    return connections_;
}

void FakeHttpServer::Stop() {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        stopping_ = true;
        // Wake every connection: blocked reads end, hangs and delays see stopping_.
        for (const auto& c : live_)
            if (c->fd >= 0) ::shutdown(c->fd, SHUT_RDWR);
    }
    changed_.notify_all();
    stopped_.notify_all();
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(wakeFds_[1], &byte, 1);
    if (acceptThread_.joinable()) acceptThread_.join();
    std::vector<std::unique_ptr<Connection>> live;
    {
        std::lock_guard lock(mutex_);
        live.swap(live_);
    }
    for (auto& c : live)
        if (c->thread.joinable()) c->thread.join();
    ::close(listenFd_);
    ::close(wakeFds_[0]);
    ::close(wakeFds_[1]);
}

void FakeHttpServer::AcceptLoop() {
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        if (!(fds[0].revents & POLLIN)) continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ReapFinished();
        auto connection = std::make_unique<Connection>();
        connection->fd = fd;
        Connection& c = *connection;
        {
            std::lock_guard lock(mutex_);
            if (stopping_) {
                ::close(fd);
                return;
            }
            ++connections_;
            live_.push_back(std::move(connection));
            // Started under the lock so that Stop cannot swap the list before the thread exists.
            c.thread = std::thread([this, &c] { ServeConnection(c); });
        }
    }
}

void FakeHttpServer::ReapFinished() {
    std::vector<std::unique_ptr<Connection>> done;
    {
        std::lock_guard lock(mutex_);
        auto it = std::partition(live_.begin(), live_.end(),
                                 [](const auto& c) { return !c->finished.load(); });
        std::move(it, live_.end(), std::back_inserter(done));
        live_.erase(it, live_.end());
    }
    for (auto& c : done) c->thread.join();
}

bool FakeHttpServer::WaitFor(std::chrono::milliseconds time) {
    std::unique_lock lock(mutex_);
    // Its own condition: a delayed answer must not wake for every request
    // that another connection reads.
    return !stopped_.wait_for(lock, std::min<std::chrono::milliseconds>(time, kMaxHang),
                              [&] { return stopping_; });
}

template <typename T>
const T* FakeHttpServer::Lookup(const std::map<std::string, T, std::less<>>& table,
                                std::string_view path, std::string* key) const {
    const T* best = nullptr;
    std::size_t bestLength = 0;
    for (const auto& [k, v] : table) {
        const bool prefix = !k.empty() && k.back() == '*';
        const std::string_view stem = prefix ? std::string_view(k).substr(0, k.size() - 1) : k;
        const bool fits = prefix ? path.substr(0, stem.size()) == stem : path == stem;
        if (fits &&
            (best == nullptr || k.size() > bestLength || (!prefix && k.size() == bestLength))) {
            best = &v;
            bestLength = k.size();
            if (key) *key = k;
        }
    }
    return best;
}

void FakeHttpServer::ServeConnection(Connection& connection) {
    std::string buffer;
    while (ServeOneRequest(connection, buffer)) {
    }
    {
        std::lock_guard lock(mutex_);
        if (connection.fd >= 0) ::close(connection.fd);
        connection.fd = -1;
    }
    connection.finished = true;
}

// Reads one request from the connection, answers it and tells whether the
// connection stays open for the next one.
bool FakeHttpServer::ServeOneRequest(Connection& connection, std::string& buffer) {
    const int fd = connection.fd;
    std::size_t headEnd;
    while ((headEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
        if (buffer.size() > kMaxHead || !ReceiveSome(fd, buffer)) return false;
        // Not HTTP (a TLS handshake, say): drop the connection at once.
        if (!std::isupper(static_cast<unsigned char>(buffer[0]))) return false;
    }
    HttpRequestRecord request;
    {
        const std::string_view head(buffer.data(), headEnd);
        const auto lineEnd = head.find("\r\n");
        const std::string_view line = head.substr(0, lineEnd);
        const auto sp1 = line.find(' ');
        const auto sp2 = line.rfind(' ');
        if (sp1 == std::string_view::npos || sp2 == sp1 || line.substr(sp2 + 1, 5) != "HTTP/") {
            SendAll(fd,
                    "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            return false;
        }
        request.method = std::string(line.substr(0, sp1));
        request.target = std::string(line.substr(sp1 + 1, sp2 - sp1 - 1));
        const auto q = request.target.find('?');
        request.path = request.target.substr(0, q);
        if (q != std::string::npos) request.query = request.target.substr(q + 1);
        std::string_view rest = lineEnd == std::string_view::npos ? "" : head.substr(lineEnd + 2);
        while (!rest.empty()) {
            const auto end = rest.find("\r\n");
            const auto h = rest.substr(0, end);
            const auto colon = h.find(':');
            if (colon != std::string_view::npos)
                request.headers.emplace_back(std::string(h.substr(0, colon)),
                                             Trim(h.substr(colon + 1)));
            if (end == std::string_view::npos) break;
            rest.remove_prefix(end + 2);
        }
    }
    buffer.erase(0, headEnd + 4);
    if (EqualNoCase(request.Header("Expect"), "100-continue"))
        SendAll(fd, "HTTP/1.1 100 Continue\r\n\r\n");
    if (!request.Header("Transfer-Encoding").empty()) {
        SendAll(fd,
                "HTTP/1.1 411 Length Required\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        return false;
    }
    const std::string lengthText = request.Header("Content-Length");
    const std::size_t length = lengthText.empty() ? 0 : std::stoul(lengthText);
    while (buffer.size() < length)
        if (!ReceiveSome(fd, buffer)) return false;
    request.body = buffer.substr(0, length);
    buffer.erase(0, length);

    Fault fault;
    std::string faultKey;
    bool failNow = false;
    Handler handler;
    {
        std::lock_guard lock(mutex_);
        log_.push_back(request);
        peakInFlight_ = std::max(peakInFlight_, ++inFlight_);
        if (const Fault* f = Lookup(faults_, request.path, &faultKey)) {
            fault = *f;
            failNow = faultHits_[faultKey]++ < fault.failFirst;
        }
        if (const RouteEntry* r = Lookup(routes_, request.path, nullptr)) handler = r->handler;
    }
    changed_.notify_all();
    // A request stops counting as in flight just before the last of its answer
    // leaves: the client may send its next one the moment that arrives, and
    // must not find the server counting both.
    struct InFlightGuard {
        FakeHttpServer& server;
        bool answered = false;
        void Answered() {
            if (answered) return;
            answered = true;
            std::lock_guard lock(server.mutex_);
            --server.inFlight_;
        }
        ~InFlightGuard() { Answered(); }
    } guard{*this};

    if (fault.hang) {
        WaitFor(kMaxHang);
        return false;
    }
    if (fault.held) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, kMaxHang,
                          [&] { return stopping_ || released_.contains(faultKey); });
        if (stopping_) return false;
    }
    if (fault.delay.count() > 0 && !WaitFor(fault.delay)) return false;
    if (failNow && fault.failStatus == 0) {
        // A few bytes first: a client may retry a request whose reused connection
        // died before any answer, and the failure would not be seen.
        SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n");
        guard.Answered();
        std::lock_guard lock(mutex_);
        ResetAndClose(connection.fd);
        connection.fd = -1;
        return false;
    }

    HttpReply reply;
    if (failNow) {
        reply = HttpReply::Status(fault.failStatus, "failed on purpose");
    } else if (fault.status != 0) {
        reply = HttpReply::Status(fault.status, "fault on purpose");
    } else if (handler) {
        try {
            reply = handler(request);
        } catch (const std::exception& e) {
            reply = HttpReply::Status(500, e.what());
        }
    } else {
        reply = HttpReply::Status(404, "<html><body>404 Not Found</body></html>");
    }

    std::string body = Compress(reply.body, reply.encoding);
    const bool closeAfter = EqualNoCase(request.Header("Connection"), "close") ||
                            reply.framing == BodyFraming::CloseWithoutLength ||
                            fault.resetAfter.has_value();
    std::string head =
        "HTTP/1.1 " + std::to_string(reply.status) + " " + Reason(reply.status) + "\r\n";
    bool hasEncoding = false;
    for (const auto& [n, v] : reply.headers) {
        head += n + ": " + v + "\r\n";
        hasEncoding = hasEncoding || EqualNoCase(n, "Content-Encoding");
    }
    if (!hasEncoding && reply.encoding != BodyEncoding::Identity)
        head += reply.encoding == BodyEncoding::Gzip ? "Content-Encoding: gzip\r\n"
                                                     : "Content-Encoding: deflate\r\n";
    switch (reply.framing) {
        case BodyFraming::ContentLength:
            head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
            break;
        case BodyFraming::Chunked:
            head += "Transfer-Encoding: chunked\r\n";
            body = Chunked(body);
            break;
        case BodyFraming::CloseWithoutLength:
            break;
    }
    if (closeAfter) head += "Connection: close\r\n";
    head += "\r\n";
    if (request.method == "HEAD") body.clear();

    std::string_view rest = body;
    if (fault.resetAfter) rest = rest.substr(0, *fault.resetAfter);
    if (rest.empty() && !fault.resetAfter) guard.Answered();
    if (!SendAll(fd, head)) return false;
    const std::size_t piece = fault.trickleBytes ? fault.trickleBytes : rest.size() + 1;
    while (!rest.empty()) {
        if (fault.trickleBytes && !WaitFor(fault.trickleInterval)) return false;
        if (rest.size() <= piece && !fault.resetAfter) guard.Answered();
        if (!SendAll(fd, rest.substr(0, piece))) return false;
        rest.remove_prefix(std::min(piece, rest.size()));
    }
    if (fault.resetAfter) {
        guard.Answered();
        std::lock_guard lock(mutex_);
        ResetAndClose(connection.fd);
        connection.fd = -1;
        return false;
    }
    return !closeAfter;
}

}  // namespace testing_support
