#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

// The rule that ties the events of request workers to their owner. Each
// request gets a ticket; a worker fires its event through the gate with that
// ticket, and the event runs only while the ticket is still the current one.
//
// Once Begin (a new request), CutOff (cancel) or Close (the owner is going away)
// returns, no event of an older ticket begins, and none still runs: they wait
// for a handler in flight on another thread. Called from inside a handler they
// do not wait for that handler (it is the caller), so a handler may start the
// next request or free its owner. Handlers of one gate never run at the same
// time: a worker whose handler is due waits for the one in flight.
//
// Owners and their workers share the gate (std::shared_ptr), so a worker that
// outlives its owner still finds the gate and learns that it is closed.
class TRequestGate {
  public:
    // A new current ticket; every older one is cut off.
    uint64_t Begin();
    // Cuts off every ticket given so far.
    void CutOff();
    // Cuts off everything for good: no event fires any more.
    void Close();
    // Runs event when ticket is still current and the gate open; tells whether it ran.
    // An exception from the event is swallowed: it must not end the worker thread.
    bool Fire(uint64_t ticket, const std::function<void()>& event);

  private:
    // Waits, with the lock held, until no handler runs on another thread.
    void WaitForForeignHandler(std::unique_lock<std::mutex>& lock);

    std::mutex mutex_;
    std::condition_variable idle_;
    uint64_t current_ = 0;
    bool closed_ = false;
    int depth_ = 0;  // handlers running (nested ones on the same thread count too)
    std::thread::id firingThread_;
};
