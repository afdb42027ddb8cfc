#pragma once

#include <glib.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// Window-message numbers that travel between the programs.
inline constexpr uint32_t kWmClose = 0x0010;
inline constexpr uint32_t kWmUser = 0x0400;

// What one message may carry besides its numbers.
inline constexpr size_t kMaxChannelTexts = 16;
inline constexpr size_t kMaxChannelTextBytes = 64 * 1024;  // all texts together

// A posted message: what a window message carries, and texts (bytes as
// given; UTF-8 by our convention) for requests that need them.
struct ChannelMessage {
    ChannelMessage() = default;
    ChannelMessage(uint32_t message, int64_t wparam = 0, int64_t lparam = 0,
                   std::vector<std::string> texts = {})
        : message(message), wparam(wparam), lparam(lparam), texts(std::move(texts)) {}

    uint32_t message = 0;
    int64_t wparam = 0;
    int64_t lparam = 0;
    std::vector<std::string> texts;
};

// One running program that can receive messages.
struct ProgramEntry {
    std::string className;
    std::string title;  // UTF-8
    pid_t pid = 0;
    int64_t opened = 0;  // microseconds of the wall clock when its channel opened
    std::string socketPath;
};

// Messages between the user's programs, in place of posting to another
// program's window. Each program opens one channel: a UNIX socket in the
// runtime folder, with a small description file beside it that names the
// program's window class and title. Messages arrive on the GLib main loop of
// the context the channel was opened on, in the order they were posted.
// Posting works from any thread and never waits for the receiver's loop. A
// message over the size limits is not sent; one that arrives malformed is
// dropped with the rest of its connection. No peer can hold the loop or the
// channel: each connection reads a few kilobytes per turn of the loop, a
// few dozen are open at most, and one that brings no whole record for a few
// seconds is dropped.
class ProgramChannel {
  public:
    using Handler = std::function<void(const ChannelMessage&)>;

    // nullptr when no socket can be opened (no runtime folder, path too long).
    // context nullptr: the thread-default main context of the caller.
    static std::unique_ptr<ProgramChannel> Open(std::string_view className, std::string_view title,
                                                Handler handler, GMainContext* context = nullptr);
    ~ProgramChannel();
    ProgramChannel(const ProgramChannel&) = delete;
    ProgramChannel& operator=(const ProgramChannel&) = delete;

    // The caption changed: senders looking by title see the new one.
    void SetTitle(std::string_view title);
    const std::string& SocketPath() const { return socketPath_; }

    // The running programs in the platform's order: the most recently opened
    // first, like the top of the window stack. Left-overs of programs that
    // ended without closing are cleared away on the way.
    static std::vector<ProgramEntry> Programs();
    // To the first program of that window class; false when there is none or
    // it cannot be reached.
    static bool PostToClass(std::string_view className, const ChannelMessage& message);
    // To the first program whose title (its first 253 characters) contains
    // the UTF-8 text; only that one gets it.
    static bool PostToTitle(std::string_view titlePart, const ChannelMessage& message);
    // False also when the message's texts exceed the limits above.
    static bool Post(const std::string& socketPath, const ChannelMessage& message);

    struct Connection;
    class Key {
        friend class ProgramChannel;
        Key() = default;
    };
    ProgramChannel(Key, Handler handler);

  private:
    bool Listen(std::string_view className, std::string_view title, GMainContext* context);
    bool WriteDescription() const;
    static gboolean OnAccept(gint fd, GIOCondition condition, gpointer self);
    static gboolean OnReadable(gint fd, GIOCondition condition, gpointer connection);
    static void StopSource(GSource*& source);
    void StartAccepting();
    // Accepting stops for a moment (no descriptor left).
    void PauseAccepting();
    // While connections are open: drops those that went too long without a
    // whole record.
    void WatchConnections();
    void Accept();
    void Dispatch(Connection* connection);

    Handler handler_;
    std::string className_;
    std::string title_;
    std::string socketPath_;
    std::string infoPath_;
    int64_t opened_ = 0;
    int listenFd_ = -1;
    GMainContext* context_ = nullptr;
    GSource* listenSource_ = nullptr;
    GSource* pauseSource_ = nullptr;
    GSource* watchSource_ = nullptr;
    std::list<std::unique_ptr<Connection>> connections_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace platform
