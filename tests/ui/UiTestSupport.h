#pragma once

#include <functional>
#include <string>

// Helpers of the window-layer tests.
namespace uitest {

// Opens the display (starting a private Xvfb when DISPLAY is unset) and
// initialises the window layer once per process.
void RequireUi();

// Runs the main loop until pred holds or timeoutMs passes; returns pred().
bool PumpUntil(const std::function<bool()>& pred, int timeoutMs = 10000);
// Runs the main loop for about ms milliseconds.
void PumpFor(int ms);

// A temporary folder, removed with its content.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    // Writes a file below the folder and returns its full path.
    std::string Write(const std::string& name, const std::string& content) const;

  private:
    std::string path_;
};

}  // namespace uitest
