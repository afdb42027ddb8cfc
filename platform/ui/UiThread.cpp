#include "platform/ui/UiThread.h"

#include "platform/MainContextPost.h"

#include <glib.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace platform::ui {
namespace {

std::atomic<std::thread::id> uiThread{};

gboolean RunOnce(gpointer data) {
    (*static_cast<std::function<void()>*>(data))();
    return G_SOURCE_REMOVE;
}

void DeleteFunction(gpointer data) {
    delete static_cast<std::function<void()>*>(data);
}

// A source attached to the default context is always queued, unlike
// g_main_context_invoke, which runs at once on the owning thread.
void Queue(std::function<void()> fn, GSource* source, int priority) {
    g_source_set_priority(source, priority);
    g_source_set_callback(source, RunOnce, new std::function<void()>(std::move(fn)),
                          DeleteFunction);
    g_source_attach(source, g_main_context_default());
    g_source_unref(source);
}

}  // namespace

void PostToUi(std::function<void()> fn) {
    platform::PostToContext(nullptr, std::move(fn));
}

void RunWhenIdle(std::function<void()> fn) {
    Queue(std::move(fn), g_idle_source_new(), G_PRIORITY_DEFAULT_IDLE);
}

void SetUiThread() {
    uiThread = std::this_thread::get_id();
}

bool IsUiThread() {
    return uiThread.load() == std::this_thread::get_id();
}

// Shared between a sink and its posters. The sink pointer is cleared under the
// lock when the sink dies; delivery reads it on the UI thread, where the sink
// also dies, so a delivered message never meets a dead sink.
struct MessagePoster::State {
    std::mutex lock;
    MessageSink* sink = nullptr;
};

bool MessagePoster::Post(unsigned id, std::intptr_t wparam, std::intptr_t lparam) const {
    if (!state_) return false;
    {
        std::lock_guard guard(state_->lock);
        if (!state_->sink) return false;
    }
    const Message message{id, wparam, lparam};
    PostToUi([state = state_, message] {
        MessageSink* sink = nullptr;
        {
            std::lock_guard guard(state->lock);
            sink = state->sink;
        }
        if (sink) sink->Send(message);
    });
    return true;
}

MessageSink::MessageSink() : state_(std::make_shared<MessagePoster::State>()) {
    state_->sink = this;
}

MessageSink::~MessageSink() {
    std::lock_guard guard(state_->lock);
    state_->sink = nullptr;
}

void MessageSink::On(unsigned id, Handler handler) {
    handlers_[id] = std::move(handler);
}

MessagePoster MessageSink::Poster() const {
    return MessagePoster(state_);
}

void MessageSink::Send(const Message& message) {
    const auto it = handlers_.find(message.id);
    if (it == handlers_.end()) return;
    // A copy, so that a handler may replace itself or others while it runs.
    const Handler handler = it->second;
    handler(message);
}

}  // namespace platform::ui
