#include "tests/support/window/PageScript.h"

#include <glib-object.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <chrono>
#include <memory>

#include "platform/ui/Browser.h"
#include "tests/support/PageScriptErrors.h"
#include "tests/support/window/WindowTest.h"

namespace uitest {
namespace {

// One run's answer. Shared with the callback: a run that is given up on
// may still be answered later, after the waiting frame is gone.
struct Run {
    bool done = false;
    bool replaced = false;  // the view committed a new document meanwhile
    PageScriptAnswer answer;
};

// Watches the view for a new document while a run is in flight.
class DocumentWatch {
  public:
    DocumentWatch(GtkWidget* view, std::shared_ptr<Run> run) : run_(std::move(run)) {
        if (!view || !WEBKIT_IS_WEB_VIEW(view)) return;
        view_ = view;
        g_object_add_weak_pointer(G_OBJECT(view_), reinterpret_cast<gpointer*>(&view_));
        handler_ =
            g_signal_connect(view_, "load-changed",
                             G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer data) {
                                 if (event == WEBKIT_LOAD_COMMITTED)
                                     static_cast<Run*>(data)->replaced = true;
                             }),
                             run_.get());
    }
    ~DocumentWatch() {
        if (!view_) return;
        g_signal_handler_disconnect(view_, handler_);
        g_object_remove_weak_pointer(G_OBJECT(view_), reinterpret_cast<gpointer*>(&view_));
    }
    DocumentWatch(const DocumentWatch&) = delete;
    DocumentWatch& operator=(const DocumentWatch&) = delete;

  private:
    std::shared_ptr<Run> run_;
    GtkWidget* view_ = nullptr;
    gulong handler_ = 0;
};

}  // namespace

PageScriptAnswer RunPageScript(platform::ui::Browser& browser, const std::string& body,
                               int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string last;
    for (int run = 1; run <= testing_support::kScriptRunsOnNewDocuments; ++run) {
        auto state = std::make_shared<Run>();
        bool gone = false;
        {
            const DocumentWatch watch(platform::ui::GetIEServerWindow(browser.Widget()), state);
            browser.RunScript(body, [state](std::optional<std::string> json, std::string error) {
                state->answer = {std::move(json), std::move(error)};
                state->done = true;
            });
            const int left = std::max<int>(
                testing_support::kScriptRunFloorMs,
                std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count());
            // The promise of a document that went away may never settle: the
            // run is given up the moment another document takes its place.
            PumpUntil([&] { return state->done || state->replaced; }, left);
            if (state->done && state->answer.json) return state->answer;
            if (state->replaced && !state->done)
                state->answer.error = "a new document was committed while the script ran";
            else if (!state->done)
                state->answer.error = "the script did not finish in time";
            gone = state->replaced || testing_support::DocumentWentAway(state->answer.error);
        }
        if (!gone) return state->answer;
        last = state->answer.error;
        if (Clock::now() >= end) break;
        PumpFor(50);
    }
    return {std::nullopt,
            "the script's document went away under it each time it ran (the page kept loading "
            "anew); the last time: " +
                last};
}

}  // namespace uitest
