#pragma once

#include <functional>
#include <string>

// Helpers of the window-layer tests.
namespace uitest {

// Opens a display (a private Xvfb of this process) and
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

// Synthesised input through the XTest extension, as a user's would arrive.
namespace uitest {
void PointerTo(int rootX, int rootY);
void Button(unsigned button, bool press);
void Key(unsigned keysym, bool press);
// Left click at a point of the screen.
void ClickAt(int rootX, int rootY);
}  // namespace uitest
