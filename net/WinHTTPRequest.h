#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "net/RequestGate.h"
#include "net/WinHTTPRequest2.h"

// The fire-and-forget client of the usage report: Send returns at once, the
// request runs on a worker of its own, and OnComplete or OnError runs on that
// worker. Its headers are its own small set (agent, encodings, language; no
// cookies, no Connection or Referer). One request at a time: Send abandons the
// previous one, whose events never arrive, with the lifetime rule of
// TWinHTTPRequest2.
class TWinHTTPRequest {
  public:
    using TNotifyEvent = std::function<void(TWinHTTPRequest* sender)>;

    TWinHTTPRequest();
    ~TWinHTTPRequest();
    TWinHTTPRequest(const TWinHTTPRequest&) = delete;
    TWinHTTPRequest& operator=(const TWinHTTPRequest&) = delete;

    std::string UserAgent = "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1)";
    std::string AcceptEncoding = "gzip,deflate";
    std::string AcceptLanguage = "zh-cn";
    std::string URL;  // of the last Send
    // The platform's own waits (60 s to connect, 30 s each for sending and
    // receiving), not the 10 s of the page clients.
    THTTPTimeouts Timeouts{.Connect = 60000, .Send = 30000, .Receive = 30000};

    // Written by the worker of the current request before its event.
    std::string Response;         // the body as received
    std::string ContentEncoding;  // the Content-Encoding header
    std::string ResponseText;     // the decoded body

    // Taken for a request when it is sent.
    TNotifyEvent OnComplete;
    TNotifyEvent OnError;

    // POST when body is not empty, else GET. Always true.
    bool Send(const std::string& url, const std::string& body);
    void Cancel();

  private:
    std::shared_ptr<TRequestGate> gate_;
    std::mutex mutex_;  // guards current_
    std::shared_ptr<TWinHTTPThread> current_;
};
