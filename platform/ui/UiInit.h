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
// closing) no longer end the process on the spot: each runs onSignal on the
// UI loop, so the program can end in its own order.
class TerminationSignals {
  public:
    explicit TerminationSignals(std::function<void()> onSignal);
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

  private:
    std::function<void()> onSignal_;
    unsigned sources_[3] = {0, 0, 0};
};

}  // namespace platform::ui
