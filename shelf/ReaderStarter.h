#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace platform::ui {
class Timer;
}

// The reading program's window class, lock and file name.
inline constexpr const char* kReaderWindowClass = "TBookReaderForm";
inline constexpr const char* kReaderLock = "velqo@QuiraReader";

// True while a reading program holds its single-instance lock.
bool ReaderRunning();

// Starts the reading program for local reading: a running reader is asked
// to close first, and the new one starts only once the old one has let go of
// its lock (the new one would otherwise meet the lock and end at once), or
// after the wait gives up. The wait runs on a timer of the UI loop; the
// object cancels it when freed.
class TReaderStarter {
  public:
    explicit TReaderStarter(std::chrono::milliseconds maxWait = std::chrono::seconds(5));
    ~TReaderStarter();
    TReaderStarter(const TReaderStarter&) = delete;
    TReaderStarter& operator=(const TReaderStarter&) = delete;

    // Clears the request block and starts <programFolder>QuiraReader with the
    // arguments once no reader runs; true when it started at once.
    bool Start(const std::string& programFolder, std::vector<std::string> arguments);
    // True while a start waits for the old reader to go.
    bool Waiting() const;

  private:
    void Tick();
    void Launch();

    std::chrono::milliseconds maxWait_;
    std::chrono::steady_clock::time_point deadline_;
    std::string program_;
    std::vector<std::string> arguments_;
    std::unique_ptr<platform::ui::Timer> timer_;
};
