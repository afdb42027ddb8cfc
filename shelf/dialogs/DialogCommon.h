#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Charset.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/UiThread.h"

// What the dialog controllers share. A controller holds a dialog's steps,
// texts, requests and database effects and never touches a widget: its view
// reads the controller's state after OnChanged. Controllers live on the
// user-interface thread; their workers reach them only through a TUiPoster.

// The caption of the program's own message boxes.
inline constexpr std::string_view kAppCaption = "Tolvane";

// An ANSI text from a UTF-8 literal of this source.
inline AnsiString A(std::string_view utf8) {
    return platform::Utf8ToAnsi(utf8);
}

// Replaces the first "%s" of an ANSI format by the value.
AnsiString FormatText(std::string_view utf8Format, std::string_view ansiValue);

// How a controller asks the user: the view answers with a real message box,
// tests with a recorder. Returns the answer's platform::ui::MessageResult;
// defaultResult is the answer that Enter gives.
using TMessageBoxFn = std::function<int(const AnsiString& text, const AnsiString& caption,
                                        platform::ui::MessageButtons buttons,
                                        platform::ui::MessageIcon icon, int defaultResult)>;

// Hands closures from any thread to the user-interface loop for an owner that
// may be gone when they arrive: a closure runs only while its poster lives.
// The poster is made and destroyed on the user-interface thread, where the
// closures run too, so a closure never meets a destroyed owner.
class TUiPoster {
  public:
    TUiPoster() = default;
    ~TUiPoster() { Close(); }
    TUiPoster(const TUiPoster&) = delete;
    TUiPoster& operator=(const TUiPoster&) = delete;

    // Safe from any thread while the poster exists (an owner declares it
    // before its workers, so that it outlives them); the closure runs later,
    // never inside the caller.
    void Post(std::function<void()> fn) const {
        platform::ui::PostToUi([alive = weak_, fn = std::move(fn)] {
            if (alive.lock()) fn();
        });
    }
    // Drops every closure not yet run. User-interface thread.
    void Close() { alive_.reset(); }

  private:
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    // Only ever read after construction, so workers may copy it at any time.
    const std::weak_ptr<int> weak_ = alive_;
};

// The chapter mode of a whole-story download, by what the chapters serve.
enum class TChapterMode { Reader = 0, EpubOrOffline = 1, Text = 2 };

class TStoryDownLoad;
// Starts a whole-story download with its arguments named, since the mode and
// the start index are both plain numbers in the downloader's call.
void StartStoryDownload(TStoryDownLoad& download, const AnsiString& siteID,
                        const AnsiString& storyID, TChapterMode mode, int startIndex);

// round(done x 100 / total), 0 when total is not above 0.
int Percent(int done, int total);
