#include "platform/ui/Timer.h"

#include <glib.h>

namespace platform::ui {

Timer::Timer(unsigned intervalMs, std::function<void()> onTimer)
    : OnTimer(std::move(onTimer)), interval_(intervalMs) {}

Timer::~Timer() {
    Stop();
}

void Timer::SetEnabled(bool enabled) {
    if (enabled && !source_) Start();
    if (!enabled) Stop();
}

void Timer::SetInterval(unsigned intervalMs) {
    interval_ = intervalMs;
    if (source_) Restart();
}

void Timer::Restart() {
    Stop();
    Start();
}

void Timer::Start() {
    // An interval of 0 never ticks, as a window timer with interval 0 does not.
    if (interval_ == 0) return;
    source_ = g_timeout_add(interval_, reinterpret_cast<GSourceFunc>(&Timer::Tick), this);
}

void Timer::Stop() {
    if (source_) g_source_remove(source_);
    source_ = 0;
}

int Timer::Tick(void* data) {
    auto* self = static_cast<Timer*>(data);
    if (self->OnTimer) {
        // Copied: the handler may assign OnTimer or destroy the timer.
        const auto handler = self->OnTimer;
        handler();
    }
    // When the handler stopped, restarted or destroyed the timer, this source is
    // already destroyed and `self` must not be touched again.
    if (g_source_is_destroyed(g_main_current_source())) return G_SOURCE_REMOVE;
    return G_SOURCE_CONTINUE;
}

}  // namespace platform::ui
