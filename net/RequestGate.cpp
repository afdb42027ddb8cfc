#include "net/RequestGate.h"

void TRequestGate::WaitForForeignHandler(std::unique_lock<std::mutex>& lock) {
    const auto me = std::this_thread::get_id();
    idle_.wait(lock, [&] { return depth_ == 0 || firingThread_ == me; });
}

uint64_t TRequestGate::Begin() {
    std::unique_lock lock(mutex_);
    const uint64_t ticket = ++current_;
    WaitForForeignHandler(lock);
    return ticket;
}

void TRequestGate::CutOff() {
    std::unique_lock lock(mutex_);
    ++current_;
    WaitForForeignHandler(lock);
}

void TRequestGate::Close() {
    std::unique_lock lock(mutex_);
    closed_ = true;
    ++current_;
    WaitForForeignHandler(lock);
}

bool TRequestGate::Fire(uint64_t ticket, const std::function<void()>& event) {
    const auto me = std::this_thread::get_id();
    {
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [&] {
            return closed_ || current_ != ticket || depth_ == 0 || firingThread_ == me;
        });
        if (closed_ || current_ != ticket) return false;
        ++depth_;
        firingThread_ = me;
    }
    try {
        event();
    } catch (...) {
    }
    {
        std::lock_guard lock(mutex_);
        if (--depth_ == 0) firingThread_ = std::thread::id();
    }
    idle_.notify_all();
    return true;
}
