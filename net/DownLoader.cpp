#include "net/DownLoader.h"

#include <mutex>

#include "core/TextHelpers.h"
#include "net/WinHTTPRequest2.h"

// Everything the request's events reach. The request's gate guarantees that
// once Cancel, a new Get or the request's destructor returns, no event of an
// older request begins or still runs (unless called from that handler), so
// the events may use the state and the owner freely.
struct TDownLoader::State {
    std::mutex mutex;
    std::weak_ptr<State> self;  // a handler holds the state while it runs
    TDownLoader* owner = nullptr;
    std::string url;
    std::string userAgent, referer;
    int maxRetry = 3;
    uint64_t maxBodyBytes = TWinHTTPLib::kDefaultMaxBodyBytes;
    int failures = 0;
    int tries = 0;
    bool cancelled = false;
    bool busy = false;
    uint64_t generation = 0;
    ResultEvent handler;
    TWinHTTPRequest2 request;

    void StartTry();
    void TryFailed();
    void Deliver(bool failed, const AnsiString& text, const std::string* stream);
    void RequestDone(TWinHTTPRequest2& request);
};

namespace {

// The downloader whose result handler runs on this thread and the generation
// it was delivered in: a Download from inside that handler after a Cancel
// from another thread must not start anything.
struct Delivery {
    const void* state = nullptr;
    uint64_t generation = 0;
};
thread_local Delivery tlsDelivery;

constexpr int kFirstErrorStatus = 400;

}  // namespace

TDownLoader::TDownLoader() : state_(std::make_shared<State>()) {
    state_->owner = this;
    state_->self = state_;
    state_->request.OnDone = [state = state_.get()](TWinHTTPRequest2* r) {
        state->RequestDone(*r);
    };
    state_->request.OnFail = [state = state_.get()](TWinHTTPRequest2*) { state->TryFailed(); };
}

TDownLoader::~TDownLoader() {
    {
        const std::lock_guard lock(state_->mutex);
        state_->handler = nullptr;
        ++state_->generation;
    }
    // Waits for a handler running on another thread; a handler that frees its
    // own downloader keeps the state alive through its shared pointer copy.
    state_->request.Cancel();
}

void TDownLoader::Download(const std::string& url) {
    // Held until the start returns: the result handler may free this object
    // on the worker before this thread has left the call.
    const std::shared_ptr<State> keep = state_;
    State& s = *keep;
    uint64_t generation;
    {
        const std::lock_guard lock(s.mutex);
        const bool fromOwnHandler = tlsDelivery.state == &s;
        if (fromOwnHandler && tlsDelivery.generation != s.generation) return;  // cancelled
        generation = ++s.generation;
        if (fromOwnHandler) tlsDelivery.generation = generation;
        // The download being replaced stops at its next step.
        s.cancelled = true;
        s.busy = false;
    }
    // A step of the replaced download that runs on another thread (a retry
    // being started, a result being handed over) ends before the new one
    // begins: the two never share the request, and no old result goes out
    // under the new URL or to the new handler.
    s.request.Cancel();
    {
        const std::lock_guard lock(s.mutex);
        if (s.generation != generation) return;  // cancelled or replaced meanwhile
        s.url = url;
        s.userAgent = UserAgent;
        s.referer = Referer;
        s.maxRetry = MaxRetry < 0 ? 0 : MaxRetry;
        s.maxBodyBytes = MaxBodyBytes;
        s.failures = 0;
        s.tries = 0;
        s.cancelled = false;
        s.busy = true;
        s.handler = OnResult;
    }
    s.StartTry();
}

void TDownLoader::Cancel() {
    {
        const std::lock_guard lock(state_->mutex);
        // A handler that cancels and restarts its own downloader may do so,
        // unless another thread cancelled or replaced its download meanwhile.
        const bool ownCurrent =
            tlsDelivery.state == state_.get() && tlsDelivery.generation == state_->generation;
        state_->cancelled = true;
        state_->busy = false;
        ++state_->generation;
        if (ownCurrent) tlsDelivery.generation = state_->generation;
    }
    state_->request.Cancel();
}

void TDownLoader::Unbind() {
    {
        const std::lock_guard lock(state_->mutex);
        state_->handler = nullptr;
        OnResult = nullptr;
    }
    Cancel();
}

std::string TDownLoader::URL() const {
    const std::lock_guard lock(state_->mutex);
    return state_->url;
}

bool TDownLoader::Cancelled() const {
    const std::lock_guard lock(state_->mutex);
    return state_->cancelled;
}

int TDownLoader::Tries() const {
    const std::lock_guard lock(state_->mutex);
    return state_->tries;
}

bool TDownLoader::Busy() const {
    const std::lock_guard lock(state_->mutex);
    return state_->busy;
}

void TDownLoader::State::StartTry() {
    std::string target;
    {
        const std::lock_guard lock(mutex);
        if (cancelled) return;
        ++tries;
        target = url;
        request.UserAgent = userAgent;
        request.Referer = referer;
        request.MaxBodyBytes = maxBodyBytes;
    }
    try {
        request.Get(target);
    } catch (...) {
        TryFailed();  // no worker could be made: a failed try like any other
    }
}

void TDownLoader::State::TryFailed() {
    const auto keep = self.lock();
    bool retry;
    {
        const std::lock_guard lock(mutex);
        if (cancelled) return;
        ++failures;
        retry = failures <= maxRetry;
    }
    // A retry starts at once, without delay; the request object allows a new
    // Get from inside its own handler.
    if (retry)
        StartTry();
    else
        Deliver(true, "Error", nullptr);
}

void TDownLoader::State::RequestDone(TWinHTTPRequest2& r) {
    const auto keep = self.lock();
    // An error page is no content: it never reaches a chapter file or a picture.
    if (r.StatusCode >= kFirstErrorStatus) {
        TryFailed();
        return;
    }
    const AnsiString text = ReplaceNulWithLF(r.Text);
    // The decoded body: a picture or package sent with a content encoding is
    // stored as the file it is, not as its compressed transfer form.
    const std::string stream = r.Text;
    Deliver(false, text, &stream);
}

void TDownLoader::State::Deliver(bool failed, const AnsiString& text, const std::string* stream) {
    ResultEvent event;
    TDownLoader* sender;
    std::string target;
    uint64_t generation;
    {
        const std::lock_guard lock(mutex);
        if (cancelled) return;
        busy = false;
        event = handler;
        sender = owner;
        target = url;
        generation = this->generation;
    }
    if (!event) return;
    const Delivery outer = tlsDelivery;
    tlsDelivery = {this, generation};
    event(sender, target, failed, text, stream);
    tlsDelivery = outer;
}
