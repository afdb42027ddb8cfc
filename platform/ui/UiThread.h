#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

// The user-interface thread runs the GLib main loop of the default context.
// Workers never touch a widget: they hand copied values to that loop.
namespace platform::ui {

// Queues fn to run on the UI thread's main loop and returns at once, also when
// called on the UI thread itself (the call never runs inside the caller, as a
// posted window message would not). Safe from any thread.
void PostToUi(std::function<void()> fn);

// Queues fn to run when the UI loop has nothing more urgent to do.
void RunWhenIdle(std::function<void()> fn);

// Marks the calling thread as the UI thread; InitUi does it.
void SetUiThread();
bool IsUiThread();

// A message with its two parameters, as window messages carry them.
struct Message {
    unsigned id = 0;
    std::intptr_t wparam = 0;
    std::intptr_t lparam = 0;
};

class MessageSink;

// A handle workers keep to post messages to a sink. Copyable; posting after
// the sink is gone drops the message.
class MessagePoster {
  public:
    MessagePoster() = default;
    // Queues the message for the sink's handler; safe from any thread.
    // False when the sink no longer exists.
    bool Post(unsigned id, std::intptr_t wparam = 0, std::intptr_t lparam = 0) const;

  private:
    friend class MessageSink;
    struct State;
    explicit MessagePoster(std::shared_ptr<State> state) : state_(std::move(state)) {}
    std::shared_ptr<State> state_;
};

// Stands in for a window's message handling inside one program: handlers by
// message id run on the UI thread, in the order the messages were posted.
// Lives on the UI thread.
class MessageSink {
  public:
    using Handler = std::function<void(const Message&)>;
    MessageSink();
    ~MessageSink();
    MessageSink(const MessageSink&) = delete;
    MessageSink& operator=(const MessageSink&) = delete;

    void On(unsigned id, Handler handler);
    MessagePoster Poster() const;
    bool Post(unsigned id, std::intptr_t wparam = 0, std::intptr_t lparam = 0) const {
        return Poster().Post(id, wparam, lparam);
    }
    // Runs the handler of a message at once (SendMessage from the UI thread).
    void Send(const Message& message);

  private:
    std::shared_ptr<MessagePoster::State> state_;
    std::map<unsigned, Handler> handlers_;
};

}  // namespace platform::ui
