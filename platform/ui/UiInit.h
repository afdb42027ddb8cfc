#pragma once

#include <functional>

namespace platform::ui {

// Sets up the window layer on the calling thread, which becomes the UI thread:
// font aliases, then GTK. False when there is no display to open.
bool InitUi(int* argc, char*** argv);

// Runs the UI loop until QuitUi; nested calls are allowed (modal dialogs).
void RunUi();
void QuitUi();

// While it lives, SIGTERM, SIGINT and SIGHUP (the session ending, a terminal
// closing, Ctrl+C) no longer end the process on the spot. A program makes it
// first, before it does anything another process can see (its lock, its
// channel, its window), and names its handler once it has something to close
// in order: each signal then runs the handler on the UI loop, and a signal
// that came before the handler runs it once as soon as the loop turns.
class TerminationSignals {
  public:
    TerminationSignals();
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // Empty: signals are kept for a later handler again.
    void SetHandler(std::function<void()> onSignal);
    // A signal came that no handler has taken yet.
    bool Pending() const { return pending_; }

  private:
    void Deliver();

    std::function<void()> onSignal_;
    bool pending_ = false;
    unsigned sources_[3] = {0, 0, 0};
    unsigned late_ = 0;  // the idle call that hands an earlier signal over
};

}  // namespace platform::ui
