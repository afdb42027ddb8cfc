#pragma once

#include <functional>

namespace platform::ui {

// A window timer on the UI loop: while enabled it calls OnTimer every
// Interval milliseconds. Lives and is used on the UI thread only. The handler
// may stop, restart or destroy its own timer.
class Timer {
  public:
    explicit Timer(unsigned intervalMs = 1000, std::function<void()> onTimer = {});
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    // Enabling a running timer keeps its phase; disabling removes the tick.
    void SetEnabled(bool enabled);
    bool Enabled() const { return source_ != 0; }
    // A new interval restarts a running timer from now.
    void SetInterval(unsigned intervalMs);
    unsigned Interval() const { return interval_; }
    // Starts the count again from now (enabling it when it was off).
    void Restart();

    std::function<void()> OnTimer;

  private:
    static int Tick(void* self);
    void Start();
    void Stop();

    unsigned interval_;
    unsigned source_ = 0;
};

}  // namespace platform::ui
