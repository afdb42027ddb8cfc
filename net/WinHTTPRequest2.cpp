#include "net/WinHTTPRequest2.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
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

// The threads that run requests. A request never waits for another: it goes
// to an idle thread, or a new one is made for it, as when every request had
// a thread of its own; a thread that has ended its request stays a while for
// the next one instead of ending. Making a thread, its stack and its
// per-thread state (charset converters, a heap arena) for every chapter cost
// more than the chapter's own work.
//
// One exception keeps a chain of requests on one thread: a handler that
// starts the next request of its own object (a retry, the next chapter of a
// worker) is at its end, and the request runs on the same thread right after
// it returns, without waking another.
class RequestThreads {
  public:
    // Throws std::system_error when a thread is needed and none can be made.
    // affinity: the object whose request the job is, or null.
    void Run(std::function<void()> job, const void* affinity) {
        Current& current = ThisThread();
        if (affinity && current.affinity == affinity) {
            current.next.push_back({std::move(job), affinity});
            return;
        }
        std::unique_lock lock(shared_->mutex);
        shared_->jobs.push_back({std::move(job), affinity});
        if (static_cast<int>(shared_->jobs.size()) <= shared_->idle) {
            shared_->wake.notify_one();
            return;
        }
        try {
            std::thread([shared = shared_] { Serve(*shared); }).detach();
        } catch (...) {
            shared_->jobs.pop_back();
            throw;
        }
    }

  private:
    // How long a thread without a request waits for one before it ends.
    static constexpr std::chrono::seconds kIdleLife{20};

    struct Job {
        std::function<void()> work;
        const void* affinity = nullptr;
    };
    struct Shared {
        std::mutex mutex;
        std::condition_variable wake;
        std::deque<Job> jobs;
        int idle = 0;
    };
    // What this thread runs now, and the requests its handlers started for
    // the same object.
    struct Current {
        const void* affinity = nullptr;
        std::deque<Job> next;
    };
    static Current& ThisThread() {
        thread_local Current current;
        return current;
    }

    static void RunChain(Job job) {
        Current& current = ThisThread();
        for (;;) {
            current.affinity = job.affinity;
            job.work();
            current.affinity = nullptr;
            job = {};  // what the job holds goes before the next one runs
            if (current.next.empty()) return;
            job = std::move(current.next.front());
            current.next.pop_front();
        }
    }

    static void Serve(Shared& shared) {
        std::unique_lock lock(shared.mutex);
        for (;;) {
            if (shared.jobs.empty()) {
                ++shared.idle;
                const bool woken =
                    shared.wake.wait_for(lock, kIdleLife, [&] { return !shared.jobs.empty(); });
                --shared.idle;
                if (!woken) return;
            }
            Job job = std::move(shared.jobs.front());
            shared.jobs.pop_front();
            lock.unlock();
            RunChain(std::move(job));
            lock.lock();
        }
    }

    // Held by every thread as well, so that one still waiting while the
    // process ends never touches a destroyed static.
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
};

RequestThreads& Threads() {
    static RequestThreads threads;
    return threads;
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
        const void* affinity = thread->Affinity;
        Threads().Run(
            [thread = std::move(thread), workers, ended]() mutable {
                try {
                    thread->Execute();
                } catch (...) {
                }
                // The worker frees itself (and its client) before it counts as ended.
                thread.reset();
                ended(*workers);
            },
            affinity);
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
    auto thread = std::make_shared<TWinHTTPThread>();
    thread->Referer = Referer;
    thread->URL = url;
    thread->PostData = postData;
    thread->UserAgent = UserAgent;
    thread->Timeouts = Timeouts;
    thread->MaxBodyBytes = MaxBodyBytes;
    thread->Affinity = gate_.get();

    // Cuts off the request under way (waiting for its handler when it runs on
    // another thread) before the new one can fire.
    const uint64_t ticket = gate_->Begin();
    // Only now: a handler of the request cut off may still have been reading it.
    URL = url;
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
