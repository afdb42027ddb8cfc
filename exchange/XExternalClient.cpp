#include "exchange/XExternalClient.h"

#include <glib.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <optional>

#include "core/Folders.h"
#include "platform/Shell.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// How often the caller's loop looks for a request's outcome.
constexpr milliseconds kWatchInterval(20);

bool PostToMain(const platform::ChannelMessage& message) {
    return platform::ProgramChannel::PostToTitle(kMainWindowTitleMark, message);
}

bool FitsChannel(const platform::ChannelMessage& message) {
    std::size_t bytes = 0;
    for (const auto& text : message.texts) bytes += text.size();
    return message.texts.size() <= platform::kMaxChannelTexts &&
           bytes <= platform::kMaxChannelTextBytes;
}

// Nobody else waits for the main program we started; keeps it from lingering
// as a zombie of this process once it ends.
void ReapLater(pid_t pid) {
    std::thread([pid] {
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

}  // namespace

struct TXExternalClient::State {
    std::mutex lock;
    std::condition_variable wake;
    bool stopping = false;

    // Waits the step out unless the client is being freed; false then.
    bool Pause(milliseconds step) {
        std::unique_lock guard(lock);
        return !wake.wait_for(guard, step, [&] { return stopping; });
    }

    bool Deliver(const std::string& program, milliseconds patience,
                 const platform::ChannelMessage& message) {
        // A request the channel would refuse is not worth starting anything for.
        if (!FitsChannel(message)) return false;
        if (PostToMain(message)) return true;
        const pid_t pid = platform::SpawnProgram(program, {});
        if (pid < 0) return false;
        const auto deadline = steady_clock::now() + patience;
        bool delivered = false;
        bool running = true;
        milliseconds step(20);
        for (;;) {
            delivered = PostToMain(message);
            if (delivered) break;
            int status = 0;
            if (running && waitpid(pid, &status, WNOHANG) == pid) {
                running = false;
                // Ending with 0, it handed over to a main program that was
                // starting at the same time, whose channel may still come up;
                // any other end means no main program is coming.
                if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
                    delivered = PostToMain(message);
                    break;
                }
            }
            if (steady_clock::now() >= deadline || !Pause(step)) break;
            step = std::min(step * 2, milliseconds(200));
        }
        if (running) ReapLater(pid);
        return delivered;
    }
};

platform::ChannelMessage SearchExRequest(const AnsiString& StoryName, const AnsiString& Author) {
    return platform::ChannelMessage(
        kXExternalCall, kDispidSearchEx, 0,
        {platform::AnsiToUtf8(StoryName), platform::AnsiToUtf8(Author)});
}

// One request: the worker writes its outcome under the lock; a timer on the
// caller's loop picks it up, so that nothing of GLib is handed between
// threads and done runs where the caller asked.
struct TXExternalClient::Request {
    std::mutex lock;
    std::optional<bool> delivered;
    // Caller's thread only.
    TDoneEvent done;
    GSource* watch = nullptr;

    static gboolean Watch(gpointer data) {
        auto* request = static_cast<Request*>(data);
        std::optional<bool> outcome;
        {
            const std::lock_guard guard(request->lock);
            outcome = request->delivered;
        }
        if (!outcome) return G_SOURCE_CONTINUE;
        // done may free the client and this request with it: nothing of the
        // request is touched after the call.
        request->watch = nullptr;
        const TDoneEvent done = std::move(request->done);
        if (done) done(*outcome);
        return G_SOURCE_REMOVE;
    }
};

TXExternalClient::TXExternalClient(std::string mainProgram, milliseconds patience)
    : mainProgram_(mainProgram.empty() ? ProgramFolder() + kMainProgramName
                                       : std::move(mainProgram)),
      patience_(patience),
      state_(std::make_shared<State>()) {}

TXExternalClient::~TXExternalClient() {
    for (const auto& request : requests_) {
        if (request->watch) g_source_destroy(request->watch);
        request->watch = nullptr;
    }
    {
        const std::lock_guard guard(state_->lock);
        state_->stopping = true;
    }
    state_->wake.notify_all();
    for (auto& worker : workers_) worker.join();
}

void TXExternalClient::SearchEx(const AnsiString& StoryName, const AnsiString& Author,
                                TDoneEvent done) {
    Send(SearchExRequest(StoryName, Author), std::move(done));
}

void TXExternalClient::Send(platform::ChannelMessage message, TDoneEvent done) {
    auto request = std::make_shared<Request>();
    request->done = std::move(done);
    GMainContext* context = g_main_context_ref_thread_default();
    request->watch = g_timeout_source_new(kWatchInterval.count());
    g_source_set_callback(request->watch, &Request::Watch, request.get(), nullptr);
    g_source_attach(request->watch, context);
    g_source_unref(request->watch);
    g_main_context_unref(context);
    requests_.push_back(request);
    workers_.emplace_back([state = state_, request, program = mainProgram_, patience = patience_,
                           message = std::move(message)] {
        const bool delivered = state->Deliver(program, patience, message);
        const std::lock_guard guard(request->lock);
        request->delivered = delivered;
    });
}
