#include "controls/Timer.h"

#include <glib.h>

#include <memory>

#include "controls/Control.h"
#include "controls/ControlHost.h"

namespace {

class MainLoopScheduler : public TTimerScheduler {
  public:
    Id Start(int intervalMs, std::function<void()> tick) override {
        auto* data = new std::function<void()>(std::move(tick));
        return g_timeout_add_full(
            G_PRIORITY_DEFAULT, static_cast<guint>(intervalMs),
            [](gpointer p) -> gboolean {
                (*static_cast<std::function<void()>*>(p))();
                return G_SOURCE_CONTINUE;
            },
            data, [](gpointer p) { delete static_cast<std::function<void()>*>(p); });
    }
    // GLib keeps the callback data alive while a tick is being dispatched, so
    // a tick may stop its own timer.
    void Stop(Id id) override { g_source_remove(static_cast<guint>(id)); }
};

}  // namespace

TTimerScheduler& TTimerScheduler::MainLoop() {
    static MainLoopScheduler scheduler;
    return scheduler;
}

TTimerScheduler::Id TManualClock::Start(int intervalMs, std::function<void()> tick) {
    const Id id = next_++;
    timers_[id] = Entry{now_ + intervalMs, intervalMs, std::move(tick)};
    return id;
}

void TManualClock::Stop(Id id) {
    timers_.erase(id);
}

void TManualClock::Advance(int64_t ms) {
    const int64_t target = now_ + ms;
    // Bounded: a tick of 1 ms over a long advance is still a finite count.
    for (int64_t guard = 0; guard < 10'000'000; ++guard) {
        auto next = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it)
            if (it->second.due <= target &&
                (next == timers_.end() || it->second.due < next->second.due))
                next = it;
        if (next == timers_.end()) break;
        now_ = next->second.due;
        next->second.due += next->second.interval;
        // The tick may stop or restart timers, this one included.
        const std::function<void()> tick = next->second.tick;
        tick();
    }
    now_ = target;
}

TTimer::TTimer(TControl* owner) : owner_(owner) {
    if (owner_) owner_->timers_.push_back(this);
}

TTimer::~TTimer() {
    Cancel();
    if (owner_) std::erase(owner_->timers_, this);
}

TTimerScheduler& TTimer::Scheduler() const {
    if (owner_ && owner_->Host()) return owner_->Host()->Timers();
    return TTimerScheduler::MainLoop();
}

void TTimer::Cancel() {
    if (running_on_) running_on_->Stop(id_);
    running_on_ = nullptr;
    id_ = 0;
}

void TTimer::Restart() {
    Cancel();
    if (!enabled_ || interval_ <= 0) return;
    running_on_ = &Scheduler();
    id_ = running_on_->Start(interval_, [this] {
        if (OnTimer) OnTimer();
    });
}

void TTimer::SetInterval(int ms) {
    if (ms == interval_) return;
    interval_ = ms;
    Restart();
}

void TTimer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Restart();
}

void TTimer::Rebind() {
    if (running_on_ && running_on_ != &Scheduler()) Restart();
}
