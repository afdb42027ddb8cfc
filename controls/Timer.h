#pragma once

#include <cstdint>
#include <functional>
#include <map>

class TControl;

// What runs repeating ticks: the GLib main loop in the programs, a manual
// clock in headless hosts and tests.
class TTimerScheduler {
  public:
    using Id = uint64_t;
    virtual ~TTimerScheduler() = default;
    // Calls tick every intervalMs milliseconds until Stop.
    virtual Id Start(int intervalMs, std::function<void()> tick) = 0;
    virtual void Stop(Id id) = 0;

    // Timeouts on the default GLib main context.
    static TTimerScheduler& MainLoop();
};

// A clock that moves only when told: Advance runs every tick that falls due,
// in time order, with Now() at the tick's due time.
class TManualClock : public TTimerScheduler {
  public:
    Id Start(int intervalMs, std::function<void()> tick) override;
    void Stop(Id id) override;

    int64_t Now() const { return now_; }
    void Advance(int64_t ms);
    size_t ActiveCount() const { return timers_.size(); }

  private:
    struct Entry {
        int64_t due;
        int interval;
        std::function<void()> tick;
    };
    std::map<Id, Entry> timers_;
    Id next_ = 1;
    int64_t now_ = 0;
};

// A repeating timer of a control. It ticks on the scheduler of the host its
// owner sits on, or on the main loop while the owner has no host. Changing
// the interval to another value starts a new period. Created disabled.
class TTimer {
  public:
    explicit TTimer(TControl* owner = nullptr);
    ~TTimer();
    TTimer(const TTimer&) = delete;
    TTimer& operator=(const TTimer&) = delete;

    int Interval() const { return interval_; }
    void SetInterval(int ms);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

    std::function<void()> OnTimer;

    // The owner moved to another host: tick on that host's scheduler.
    void Rebind();

  private:
    TTimerScheduler& Scheduler() const;
    void Restart();
    void Cancel();

    TControl* owner_;
    TTimerScheduler* running_on_ = nullptr;
    TTimerScheduler::Id id_ = 0;
    int interval_ = 1000;
    bool enabled_ = false;
};
