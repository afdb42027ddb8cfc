#include "net/WinHTTPRequest2.h"

#include <condition_variable>
#include <thread>
#include <utility>

namespace {

// The count of running workers. Shared with each worker so that one still
// running while the process ends never touches a destroyed static.
struct RunningWorkers {
    std::mutex mutex;
    std::condition_variable changed;
    int count = 0;
};

std::shared_ptr<RunningWorkers> Workers() {
    static const auto workers = std::make_shared<RunningWorkers>();
    return workers;
}

}  // namespace

void TWinHTTPThread::Start(std::shared_ptr<TWinHTTPThread> thread) {
    auto workers = Workers();
    {
        std::lock_guard lock(workers->mutex);
        ++workers->count;
    }
    const auto ended = [](RunningWorkers& w) {
        {
            std::lock_guard lock(w.mutex);
            --w.count;
        }
        w.changed.notify_all();
    };
    try {
        std::thread([thread = std::move(thread), workers, ended]() mutable {
            try {
                thread->Execute();
            } catch (...) {
            }
            // The worker frees itself (and its client) before it counts as ended.
            thread.reset();
            ended(*workers);
        }).detach();
    } catch (...) {
        ended(*workers);
        throw;
    }
}

void TWinHTTPThread::Cancel() {
    cutOff_ = true;
    lib_.Cancel();
}

int TWinHTTPThread::Running() {
    const auto workers = Workers();
    std::lock_guard lock(workers->mutex);
    return workers->count;
}

bool TWinHTTPThread::WaitUntilNoneRunning(std::chrono::milliseconds timeout) {
    const auto workers = Workers();
    std::unique_lock lock(workers->mutex);
    return workers->changed.wait_for(lock, timeout, [&] { return workers->count == 0; });
}

void TWinHTTPThread::Execute() {
    lib_.Referer = Referer;
    lib_.UserAgent = UserAgent;
    lib_.ConnectTimeout = Timeouts.Connect;
    lib_.SendTimeout = Timeouts.Send;
    lib_.ReceiveTimeout = Timeouts.Receive;
    lib_.TotalTimeout = Timeouts.Total;
    lib_.MaxBodyBytes = MaxBodyBytes;
    lib_.AbortFlag = &cutOff_;
    const bool ok = !cutOff_ && lib_.Fetch(URL, PostData);
    if (cutOff_) return;  // cancelled: no event
    if (ok) {
        if (OnDone) OnDone(*this, lib_);
    } else if (OnFail) {
        OnFail(*this, lib_);
    }
}

TWinHTTPRequest2::TWinHTTPRequest2() : gate_(std::make_shared<TRequestGate>()) {}

TWinHTTPRequest2::~TWinHTTPRequest2() {
    CancelCurrent(true);
}

bool TWinHTTPRequest2::Get(const std::string& url) {
    return Post(url, std::string());
}

bool TWinHTTPRequest2::Post(const std::string& url, const std::string& postData) {
    URL = url;
    auto thread = std::make_shared<TWinHTTPThread>();
    thread->Referer = Referer;
    thread->URL = url;
    thread->PostData = postData;
    thread->UserAgent = UserAgent;
    thread->Timeouts = Timeouts;
    thread->MaxBodyBytes = MaxBodyBytes;

    // Cuts off the request under way (waiting for its handler when it runs on
    // another thread) before the new one can fire.
    const uint64_t ticket = gate_->Begin();
    const auto gate = gate_;
    TWinHTTPThread* const self = thread.get();
    thread->OnDone = [this, gate, ticket, event = OnDone](TWinHTTPThread& sender,
                                                          TWinHTTPLib& lib) {
        gate->Fire(ticket, [&] {
            Forget(sender);
            HandleDone(lib, event);
        });
    };
    thread->OnFail = [this, gate, ticket, event = OnFail](TWinHTTPThread& sender,
                                                          TWinHTTPLib& lib) {
        gate->Fire(ticket, [&] {
            Forget(sender);
            HandleFail(lib, event);
        });
    };
    std::shared_ptr<TWinHTTPThread> superseded;
    {
        std::lock_guard lock(mutex_);
        if (ticket > currentTicket_) {
            superseded = std::exchange(current_, thread);
            currentTicket_ = ticket;
        } else {
            superseded = thread;  // a later request started meanwhile on another thread
        }
    }
    if (superseded && superseded.get() != self) superseded->Cancel();
    if (superseded.get() == self) {
        self->Cancel();
        return true;
    }
    TWinHTTPThread::Start(std::move(thread));
    return true;
}

void TWinHTTPRequest2::Cancel() {
    CancelCurrent(false);
}

void TWinHTTPRequest2::CancelCurrent(bool closing) {
    if (closing)
        gate_->Close();
    else
        gate_->CutOff();
    std::shared_ptr<TWinHTTPThread> current;
    {
        std::lock_guard lock(mutex_);
        current = std::move(current_);
    }
    if (current) {
        try {
            current->Cancel();
        } catch (...) {
        }
    }
}

void TWinHTTPRequest2::Forget(const TWinHTTPThread& sender) {
    std::lock_guard lock(mutex_);
    if (current_.get() == &sender) current_.reset();
}

void TWinHTTPRequest2::HandleDone(TWinHTTPLib& lib, const TNotifyEvent& event) {
    Text = lib.ReadResponseText();
    Stream = lib.Body;
    StatusCode = static_cast<int>(lib.StatusCode);
    Failure = TRequestFailure::None;
    if (event) event(this);
}

void TWinHTTPRequest2::HandleFail(TWinHTTPLib& lib, const TNotifyEvent& event) {
    Text.clear();
    Stream.clear();
    StatusCode = 0;
    Failure = lib.Failure;
    if (event) event(this);
}
