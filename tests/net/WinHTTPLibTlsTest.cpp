// HTTPS against a real TLS server on 127.0.0.1, with a certificate made for
// the test and trusted through SSL_CERT_FILE.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/WinHTTPLib.h"
#include "tests/support/RunTool.h"
#include "tests/support/TempTree.h"

namespace {

using testing_support::TempTree;

// A self-signed certificate for 127.0.0.1, valid for a day.
bool MakeCertificate(const std::string& cert, const std::string& key, std::string& report) {
    return testing_support::RunTool(
               {"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                "ec_paramgen_curve:prime256v1", "-nodes", "-days", "1", "-subj", "/CN=127.0.0.1",
                "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", cert},
               report) == 0;
}

// What the server saw of one connection.
struct TlsExchange {
    std::vector<std::string> offeredProtocols;  // the client's ALPN list
    std::string head;                           // the request head as sent
};

// Serves one HTTP/1.1 answer per connection over TLS and records the
// protocols the client offered and the request head. It speaks HTTP/1.1 only,
// and accepts that protocol whatever else the client offers.
class TlsServer {
  public:
    TlsServer(const std::string& cert, const std::string& key)
        : ctx_(SSL_CTX_new(TLS_server_method()), SSL_CTX_free) {
        if (!ctx_ ||
            SSL_CTX_use_certificate_file(ctx_.get(), cert.c_str(), SSL_FILETYPE_PEM) != 1 ||
            SSL_CTX_use_PrivateKey_file(ctx_.get(), key.c_str(), SSL_FILETYPE_PEM) != 1)
            return;
        SSL_CTX_set_alpn_select_cb(ctx_.get(), SelectProtocol, this);
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (listen_ < 0 || ::bind(listen_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(listen_, 8) != 0 ||
            ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~TlsServer() {
        if (listen_ >= 0) ::shutdown(listen_, SHUT_RDWR);
        if (thread_.joinable()) thread_.join();
        if (listen_ >= 0) ::close(listen_);
    }
    TlsServer(const TlsServer&) = delete;
    TlsServer& operator=(const TlsServer&) = delete;

    int Port() const { return port_; }
    std::vector<TlsExchange> Exchanges() const {
        std::lock_guard lock(mutex_);
        return exchanges_;
    }

  private:
    static int SelectProtocol(SSL*, const unsigned char** out, unsigned char* outLength,
                              const unsigned char* in, unsigned inLength, void* self) {
        auto* server = static_cast<TlsServer*>(self);
        std::vector<std::string> offered;
        for (unsigned i = 0; i < inLength && i + 1 + in[i] <= inLength; i += 1u + in[i])
            offered.emplace_back(reinterpret_cast<const char*>(in + i + 1), in[i]);
        server->current_.offeredProtocols = offered;
        static const unsigned char kHttp11[] = {8, 'h', 't', 't', 'p', '/', '1', '.', '1'};
        unsigned char* chosen = nullptr;
        if (SSL_select_next_proto(&chosen, outLength, kHttp11, sizeof kHttp11, in, inLength) !=
            OPENSSL_NPN_NEGOTIATED)
            return SSL_TLSEXT_ERR_NOACK;
        *out = chosen;
        return SSL_TLSEXT_ERR_OK;
    }

    void Serve() {
        for (;;) {
            const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) return;
            current_ = {};
            SSL* ssl = SSL_new(ctx_.get());
            SSL_set_fd(ssl, fd);
            const bool accepted = SSL_accept(ssl) == 1;
            if (accepted) {
                char chunk[4096];
                while (current_.head.find("\r\n\r\n") == std::string::npos) {
                    const int n = SSL_read(ssl, chunk, sizeof chunk);
                    if (n <= 0) break;
                    current_.head.append(chunk, static_cast<size_t>(n));
                }
            }
            {
                // Recorded before the answer, which ends the client's wait.
                std::lock_guard lock(mutex_);
                exchanges_.push_back(current_);
            }
            if (accepted) {
                const std::string reply =
                    "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 5\r\n"
                    "Connection: close\r\n\r\nhello";
                SSL_write(ssl, reply.data(), static_cast<int>(reply.size()));
                SSL_shutdown(ssl);
            }
            SSL_free(ssl);
            ::close(fd);
        }
    }

    std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> ctx_;
    int listen_ = -1;
    int port_ = 0;
    std::thread thread_;
    TlsExchange current_;  // the server thread's own
    mutable std::mutex mutex_;
    std::vector<TlsExchange> exchanges_;
};

// The sites are asked in HTTP/1.1 over TLS too, with the same headers as in
// plain HTTP; libcurl would otherwise offer HTTP/2, where no Connection
// header exists.
TEST(WinHTTPLibTls, HttpsRequestsGoOutAsHttp11) {
    TempTree tree;
    const std::string cert = tree.Path("cert.pem"), key = tree.Path("key.pem");
    std::string report;
    ASSERT_TRUE(MakeCertificate(cert, key, report)) << report;
    tree.SetEnv("SSL_CERT_FILE", cert);
    TlsServer server(cert, key);
    ASSERT_NE(server.Port(), 0);

    TWinHTTPLib lib;
    ASSERT_TRUE(lib.Fetch("https://127.0.0.1:" + std::to_string(server.Port()) + "/p?a=1", ""));
    EXPECT_EQ(lib.ReadResponseText(), "hello");
    EXPECT_EQ(lib.StatusCode, 200);

    const auto exchanges = server.Exchanges();
    ASSERT_EQ(exchanges.size(), 1u);
    EXPECT_EQ(exchanges[0].offeredProtocols, std::vector<std::string>{"http/1.1"});
    const std::string& head = exchanges[0].head;
    EXPECT_EQ(head.rfind("GET /p?a=1 HTTP/1.1\r\n", 0), 0u) << head;
    EXPECT_NE(head.find("\r\nConnection: Keep-Alive\r\n"), std::string::npos) << head;
    EXPECT_NE(head.find("\r\nAccept-Language: zh-cn\r\n"), std::string::npos) << head;
}

// Without the certificate trusted the request fails: the server is not who
// it claims to be.
TEST(WinHTTPLibTls, AnUntrustedCertificateFailsTheRequest) {
    TempTree tree;
    const std::string cert = tree.Path("cert.pem"), key = tree.Path("key.pem");
    std::string report;
    ASSERT_TRUE(MakeCertificate(cert, key, report)) << report;
    tree.UnsetEnv("SSL_CERT_FILE");
    TlsServer server(cert, key);
    ASSERT_NE(server.Port(), 0);
    TWinHTTPLib lib;
    EXPECT_FALSE(lib.Fetch("https://127.0.0.1:" + std::to_string(server.Port()) + "/p", ""));
    EXPECT_TRUE(lib.Body.empty());
}

}  // namespace
