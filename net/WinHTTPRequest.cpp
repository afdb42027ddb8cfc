#include "net/WinHTTPRequest.h"

#include <utility>

TWinHTTPRequest::TWinHTTPRequest() : gate_(std::make_shared<TRequestGate>()) {}

TWinHTTPRequest::~TWinHTTPRequest() {
    gate_->Close();
    Cancel();
}

void TWinHTTPRequest::Cancel() {
    gate_->CutOff();
    std::shared_ptr<TWinHTTPThread> current;
    {
        std::lock_guard lock(mutex_);
        current = std::move(current_);
    }
    if (current) current->Cancel();
}

bool TWinHTTPRequest::Send(const std::string& url, const std::string& body) {
    // Cancel first: it waits for a handler of the old request that may be writing the results.
    Cancel();
    URL = url;
    Response.clear();
    ContentEncoding.clear();
    ResponseText.clear();

    auto thread = std::make_shared<TWinHTTPThread>();
    thread->URL = url;
    thread->PostData = body;
    thread->Timeouts = Timeouts;
    // Host, Accept, User-Agent, Accept-Encoding, Accept-Language: the agent is
    // one of the added headers here, not the session's agent name.
    TWinHTTPLib& lib = thread->Lib();
    lib.Accept = "*/*";
    lib.UserAgentHeader = UserAgent;
    lib.AcceptEncoding = AcceptEncoding;
    lib.AcceptLanguage = AcceptLanguage;
    lib.Connection.clear();

    const uint64_t ticket = gate_->Begin();
    const auto gate = gate_;
    thread->OnDone = [this, gate, ticket, event = OnComplete](TWinHTTPThread&, TWinHTTPLib& done) {
        gate->Fire(ticket, [&] {
            Response = done.Body;
            ContentEncoding = done.ContentEncoding;
            ResponseText = done.ReadResponseText();
            if (event) event(this);
        });
    };
    // A cancelled request reports nothing: its worker ends without an event.
    thread->OnFail = [this, gate, ticket, event = OnError](TWinHTTPThread&, TWinHTTPLib&) {
        gate->Fire(ticket, [&] {
            if (event) event(this);
        });
    };
    {
        std::lock_guard lock(mutex_);
        current_ = thread;
    }
    TWinHTTPThread::Start(std::move(thread));
    return true;
}
