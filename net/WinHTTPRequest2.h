#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "net/RequestGate.h"
#include "net/WinHTTPLib.h"

// The HTTP client of every page, file and service call: each request runs on a
// worker (TWinHTTPThread) of its own, on a thread that no other request uses
// meanwhile, and ends in exactly one of two events, which run on that worker.
// The threads are kept a while after their request for the next ones. One object carries one
// request at a time; a new one abandons the previous one, whose events then never arrive.
//
// Lifetime: once Cancel, a new Get/Post or the destructor returns, no event of
// an older request begins and none still runs (unless the caller is that very
// handler), so the owner may be freed right after. A handler may start the
// next request on the same object; that request runs on the handler's thread
// once the handler has returned, so the handler must not wait for it. The worker itself is not
// waited for: it ends on its own and frees itself.

// Time-outs handed to each request's TWinHTTPLib (milliseconds).
struct THTTPTimeouts {
    uint32_t Connect = 10000;
    uint32_t Send = 10000;
    uint32_t Receive = 10000;
    uint32_t Total = 120000;
};

class TWinHTTPThread {
  public:
    using TLibEvent = std::function<void(TWinHTTPThread& sender, TWinHTTPLib& lib)>;

    TWinHTTPThread() = default;
    virtual ~TWinHTTPThread() = default;
    TWinHTTPThread(const TWinHTTPThread&) = delete;
    TWinHTTPThread& operator=(const TWinHTTPThread&) = delete;

    // Copies taken when the request starts; the worker reads only these.
    std::string Referer, URL, PostData, UserAgent;
    THTTPTimeouts Timeouts;
    uint64_t MaxBodyBytes = TWinHTTPLib::kDefaultMaxBodyBytes;
    // The object the request belongs to: started from a handler of that
    // object's previous request, it runs on the handler's thread right after
    // the handler returns (null: always on a thread of its own).
    const void* Affinity = nullptr;
    TLibEvent OnDone, OnFail;

    // The worker's own client, for settings beyond the copies above; touch it
    // only before Start.
    TWinHTTPLib& Lib() { return lib_; }

    // Runs Execute on a thread of its own (an idle one, or a new one) that
    // holds the object until it ends. Throws std::system_error when a thread
    // is needed and none can be made.
    static void Start(std::shared_ptr<TWinHTTPThread> thread);
    // Stops the request from any thread; the worker then ends without delay.
    void Cancel();

    // Workers still running in the process, and a bounded wait for none (tests).
    static int Running();
    static bool WaitUntilNoneRunning(std::chrono::milliseconds timeout);

  protected:
    // Fetches, then calls OnDone or OnFail.
    virtual void Execute();

  private:
    TWinHTTPLib lib_;
    std::atomic<bool> cutOff_{false};
};

class TWinHTTPRequest2 {
  public:
    using TNotifyEvent = std::function<void(TWinHTTPRequest2* sender)>;

    TWinHTTPRequest2();
    ~TWinHTTPRequest2();
    TWinHTTPRequest2(const TWinHTTPRequest2&) = delete;
    TWinHTTPRequest2& operator=(const TWinHTTPRequest2&) = delete;

    std::string URL;        // of the last request started
    std::string Referer;    // sent when not empty
    std::string UserAgent;  // empty: no agent name
    THTTPTimeouts Timeouts;
    // The most bytes a body may have, as received and as decoded.
    uint64_t MaxBodyBytes = TWinHTTPLib::kDefaultMaxBodyBytes;

    // Written by the worker of the current request before its event.
    std::string Text;    // the body decoded by content encoding
    std::string Stream;  // the body exactly as received
    int StatusCode = 0;  // the response's HTTP status; 0 after a failure
    TRequestFailure Failure = TRequestFailure::None;  // why the request failed

    // Taken for a request when it starts (so a handler in flight never sees
    // them change); they run on the worker thread.
    TNotifyEvent OnDone;
    TNotifyEvent OnFail;

    bool Get(const std::string& url);
    // POST when postData is not empty, else GET. Always true; an exception while
    // creating the worker reaches the caller.
    bool Post(const std::string& url, const std::string& postData);
    void Cancel();

  private:
    void HandleDone(TWinHTTPLib& lib, const TNotifyEvent& event);
    void HandleFail(TWinHTTPLib& lib, const TNotifyEvent& event);
    void CancelCurrent(bool closing);
    void Forget(const TWinHTTPThread& sender);

    std::shared_ptr<TRequestGate> gate_;
    std::mutex mutex_;  // guards current_ and currentTicket_
    std::shared_ptr<TWinHTTPThread> current_;
    uint64_t currentTicket_ = 0;
};
