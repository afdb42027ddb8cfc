#include "platform/ProgramChannel.h"

#include <dirent.h>
#include <glib-unix.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/Folders.h"

namespace platform {
namespace {

constexpr uint32_t kRecordMagic = 0x514C5651;      // "QVLQ": a record of numbers
constexpr uint32_t kTextRecordMagic = 0x544C5651;  // "QVLT": numbers and texts
constexpr size_t kRecordSize = 4 + 4 + 8 + 8;
// A text record goes on with the number of texts and the size of what
// follows: each text as its length and its bytes.
constexpr size_t kTextHeaderSize = kRecordSize + 4 + 4;
constexpr size_t kMaxTextPayload = kMaxChannelTextBytes + 4 * kMaxChannelTexts;
constexpr const char* kGroup = "Program";
constexpr int kTitleCharacters = 253;
constexpr auto kConnectPatience = std::chrono::milliseconds(1000);

// What one peer may cost. There are two programs: a few dozen connections is
// plenty, and a connection that is idle or stuck in the middle of a record
// for this long is dropped. Each turn of the loop a connection reads at most
// one record's worth of bytes and hands on a bounded number of messages, so
// a peer that writes without pause holds the loop no longer than any other
// source. The record limits bound what a partial record holds.
constexpr size_t kMaxConnections = 32;
constexpr gint64 kConnectionPatienceUs = 3 * G_USEC_PER_SEC;
constexpr size_t kMaxRecordBytes = kTextHeaderSize + kMaxTextPayload;
constexpr size_t kMessagesPerTurn = 64;
// Connections taken at one wake-up of the listening socket.
constexpr int kAcceptsPerTurn = 16;
// How long the channel stops accepting when the process has no descriptor left.
constexpr guint kAcceptPauseMs = 250;
constexpr guint kWatchIntervalMs = 1000;

std::atomic<unsigned> channelCounter{0};

void PutU32(std::string& out, uint32_t value) {
    out.append(reinterpret_cast<const char*>(&value), 4);
}

uint32_t GetU32(const char* bytes) {
    uint32_t value = 0;
    std::memcpy(&value, bytes, 4);
    return value;
}

bool FitsLimits(const ChannelMessage& message) {
    if (message.texts.size() > kMaxChannelTexts) return false;
    size_t bytes = 0;
    for (const auto& text : message.texts) bytes += text.size();
    return bytes <= kMaxChannelTextBytes;
}

// A message without texts keeps the record of numbers that every program
// reads; texts make it a text record.
std::string EncodeRecord(const ChannelMessage& message) {
    const bool texts = !message.texts.empty();
    std::string record;
    PutU32(record, texts ? kTextRecordMagic : kRecordMagic);
    PutU32(record, message.message);
    record.append(reinterpret_cast<const char*>(&message.wparam), 8);
    record.append(reinterpret_cast<const char*>(&message.lparam), 8);
    if (!texts) return record;
    size_t payload = 0;
    for (const auto& text : message.texts) payload += 4 + text.size();
    PutU32(record, static_cast<uint32_t>(message.texts.size()));
    PutU32(record, static_cast<uint32_t>(payload));
    for (const auto& text : message.texts) {
        PutU32(record, static_cast<uint32_t>(text.size()));
        record += text;
    }
    return record;
}

enum class Decoded { kMessage, kNeedMore, kMalformed };

// One record from the front of bytes; used tells how many bytes it took.
Decoded DecodeRecord(std::string_view bytes, ChannelMessage& message, size_t& used) {
    if (bytes.size() < 4) return Decoded::kNeedMore;
    const uint32_t magic = GetU32(bytes.data());
    if (magic != kRecordMagic && magic != kTextRecordMagic) return Decoded::kMalformed;
    const size_t header = magic == kRecordMagic ? kRecordSize : kTextHeaderSize;
    if (bytes.size() < header) return Decoded::kNeedMore;
    message = ChannelMessage();
    message.message = GetU32(bytes.data() + 4);
    std::memcpy(&message.wparam, bytes.data() + 8, 8);
    std::memcpy(&message.lparam, bytes.data() + 16, 8);
    if (magic == kRecordMagic) {
        used = kRecordSize;
        return Decoded::kMessage;
    }
    // The sizes are checked before anything waits for them, so that a
    // sender cannot make the channel hold more than one record's limit.
    const uint32_t count = GetU32(bytes.data() + 24);
    const uint32_t payload = GetU32(bytes.data() + 28);
    if (count == 0 || count > kMaxChannelTexts || payload > kMaxTextPayload) {
        return Decoded::kMalformed;
    }
    if (bytes.size() - header < payload) return Decoded::kNeedMore;
    std::string_view rest = bytes.substr(header, payload);
    for (uint32_t i = 0; i < count; ++i) {
        if (rest.size() < 4) return Decoded::kMalformed;
        const uint32_t length = GetU32(rest.data());
        rest.remove_prefix(4);
        if (length > rest.size()) return Decoded::kMalformed;
        message.texts.emplace_back(rest.substr(0, length));
        rest.remove_prefix(length);
    }
    if (!rest.empty()) return Decoded::kMalformed;
    used = header + payload;
    return Decoded::kMessage;
}

// The whole record, waiting (briefly) while the receiver's buffer is full.
bool SendAll(int fd, const std::string& record, std::chrono::steady_clock::time_point deadline) {
    size_t sent = 0;
    while (sent < record.size()) {
        const ssize_t n = send(fd, record.data() + sent, record.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd writable{fd, POLLOUT, 0};
        poll(&writable, 1, static_cast<int>(left.count()));
    }
    return true;
}

std::string SafeName(std::string_view name) {
    std::string safe;
    for (const char c : name) safe.push_back(g_ascii_isalnum(c) || c == '_' ? c : '_');
    return safe.empty() ? "_" : safe;
}

bool FillAddress(const std::string& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

void RemoveStale(const std::string& infoPath, const std::string& socketPath) {
    unlink(socketPath.c_str());
    unlink(infoPath.c_str());
}

struct KeyFileFree {
    void operator()(GKeyFile* file) const { g_key_file_free(file); }
};
using KeyFile = std::unique_ptr<GKeyFile, KeyFileFree>;
struct DirClose {
    void operator()(DIR* dir) const { closedir(dir); }
};

// A text of the description's group; empty when it is missing.
std::string KeyText(GKeyFile* file, const char* key) {
    gchar* value = g_key_file_get_string(file, kGroup, key, nullptr);
    std::string text = value ? value : "";
    g_free(value);
    return text;
}

bool TitleContains(const std::string& title, std::string_view part) {
    // The caption is read as a window title is: its first 253 characters.
    size_t end = title.size();
    if (g_utf8_validate(title.data(), static_cast<gssize>(title.size()), nullptr)) {
        const char* position = title.c_str();
        for (int i = 0; i < kTitleCharacters && *position; ++i)
            position = g_utf8_next_char(position);
        end = static_cast<size_t>(position - title.c_str());
    } else {
        end = std::min<size_t>(end, kTitleCharacters);
    }
    return std::string_view(title).substr(0, end).find(part) != std::string_view::npos;
}

}  // namespace

struct ProgramChannel::Connection {
    ProgramChannel* owner = nullptr;
    int fd = -1;
    GSource* source = nullptr;
    std::string pending;
    // Monotonic time by which the next whole record must have come.
    gint64 deadline = 0;

    ~Connection() {
        if (source) {
            g_source_destroy(source);
            g_source_unref(source);
        }
        if (fd >= 0) close(fd);
    }
};

ProgramChannel::ProgramChannel(Key, Handler handler) : handler_(std::move(handler)) {}

std::unique_ptr<ProgramChannel> ProgramChannel::Open(std::string_view className,
                                                     std::string_view title, Handler handler,
                                                     GMainContext* context) {
    auto channel = std::make_unique<ProgramChannel>(Key{}, std::move(handler));
    if (!channel->Listen(className, title, context)) return nullptr;
    return channel;
}

bool ProgramChannel::Listen(std::string_view className, std::string_view title,
                            GMainContext* context) {
    const std::string folder = RuntimeFolder();
    if (folder.empty()) return false;
    className_ = std::string(className);
    title_ = std::string(title);
    opened_ = g_get_real_time();
    const std::string base = folder + "/" + SafeName(className) + "-" + std::to_string(getpid()) +
                             "-" + std::to_string(channelCounter++);
    socketPath_ = base + ".sock";
    infoPath_ = base + ".info";

    sockaddr_un address{};
    if (!FillAddress(socketPath_, address)) return false;
    listenFd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) return false;
    unlink(socketPath_.c_str());
    if (bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listenFd_, 64) != 0) {
        unlink(socketPath_.c_str());
        socketPath_.clear();
        return false;
    }
    // The description comes last: a sender that finds it can connect.
    if (!WriteDescription()) return false;

    context_ = context ? g_main_context_ref(context) : g_main_context_ref_thread_default();
    StartAccepting();
    return true;
}

void ProgramChannel::StopSource(GSource*& source) {
    if (!source) return;
    g_source_destroy(source);
    g_source_unref(source);
    source = nullptr;
}

void ProgramChannel::StartAccepting() {
    listenSource_ = g_unix_fd_source_new(listenFd_, G_IO_IN);
    g_source_set_callback(listenSource_, G_SOURCE_FUNC(&ProgramChannel::OnAccept), this, nullptr);
    g_source_attach(listenSource_, context_);
}

void ProgramChannel::PauseAccepting() {
    // The listening socket stays readable while the connection waits, and
    // its source would wake the loop again at once, for ever.
    StopSource(listenSource_);
    pauseSource_ = g_timeout_source_new(kAcceptPauseMs);
    g_source_set_callback(
        pauseSource_,
        [](gpointer self) -> gboolean {
            auto* channel = static_cast<ProgramChannel*>(self);
            g_source_unref(channel->pauseSource_);
            channel->pauseSource_ = nullptr;
            channel->StartAccepting();
            return G_SOURCE_REMOVE;
        },
        this, nullptr);
    g_source_attach(pauseSource_, context_);
}

void ProgramChannel::WatchConnections() {
    if (watchSource_) return;
    watchSource_ = g_timeout_source_new(kWatchIntervalMs);
    g_source_set_callback(
        watchSource_,
        [](gpointer self) -> gboolean {
            auto* channel = static_cast<ProgramChannel*>(self);
            const gint64 now = g_get_monotonic_time();
            channel->connections_.remove_if([now](const auto& c) { return c->deadline <= now; });
            if (!channel->connections_.empty()) return G_SOURCE_CONTINUE;
            g_source_unref(channel->watchSource_);
            channel->watchSource_ = nullptr;
            return G_SOURCE_REMOVE;
        },
        this, nullptr);
    g_source_attach(watchSource_, context_);
}

ProgramChannel::~ProgramChannel() {
    *alive_ = false;
    connections_.clear();
    StopSource(watchSource_);
    StopSource(pauseSource_);
    StopSource(listenSource_);
    if (listenFd_ >= 0) close(listenFd_);
    if (!infoPath_.empty()) unlink(infoPath_.c_str());
    if (!socketPath_.empty()) unlink(socketPath_.c_str());
    if (context_) g_main_context_unref(context_);
}

bool ProgramChannel::WriteDescription() const {
    const KeyFile file(g_key_file_new());
    g_key_file_set_string(file.get(), kGroup, "Class", className_.c_str());
    g_key_file_set_string(file.get(), kGroup, "Title", title_.c_str());
    g_key_file_set_int64(file.get(), kGroup, "Pid", getpid());
    g_key_file_set_int64(file.get(), kGroup, "Opened", opened_);
    gsize length = 0;
    gchar* text = g_key_file_to_data(file.get(), &length, nullptr);
    // Written beside and renamed, so a reader never sees half a description.
    const gboolean saved = g_file_set_contents(infoPath_.c_str(), text, -1, nullptr);
    g_free(text);
    return saved;
}

void ProgramChannel::SetTitle(std::string_view title) {
    title_ = std::string(title);
    WriteDescription();
}

gboolean ProgramChannel::OnAccept(gint, GIOCondition, gpointer self) {
    static_cast<ProgramChannel*>(self)->Accept();
    return G_SOURCE_CONTINUE;
}

gboolean ProgramChannel::OnReadable(gint, GIOCondition, gpointer data) {
    auto* connection = static_cast<Connection*>(data);
    connection->owner->Dispatch(connection);
    return G_SOURCE_CONTINUE;
}

void ProgramChannel::Accept() {
    for (int taken = 0; taken < kAcceptsPerTurn;) {
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            // Out of descriptors or memory: wait a moment instead of waking
            // up again at once.
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                PauseAccepting();
            return;  // EAGAIN: all taken; anything else: try again on the next wake-up
        }
        ++taken;
        // Only the user's own programs may post (the folder is private too).
        ucred peer{};
        socklen_t length = sizeof peer;
        if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != getuid()) {
            close(fd);
            continue;
        }
        // At the cap the connection that has gone longest without a whole
        // record makes room: idle peers cannot keep a real message out.
        if (connections_.size() >= kMaxConnections) {
            connections_.erase(std::min_element(
                connections_.begin(), connections_.end(),
                [](const auto& a, const auto& b) { return a->deadline < b->deadline; }));
        }
        auto connection = std::make_unique<Connection>();
        connection->owner = this;
        connection->fd = fd;
        connection->deadline = g_get_monotonic_time() + kConnectionPatienceUs;
        connection->source =
            g_unix_fd_source_new(fd, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR));
        g_source_set_callback(connection->source, G_SOURCE_FUNC(&ProgramChannel::OnReadable),
                              connection.get(), nullptr);
        g_source_attach(connection->source, context_);
        connections_.push_back(std::move(connection));
        WatchConnections();
    }
}

void ProgramChannel::Dispatch(Connection* connection) {
    // Set below when messages are left over: this turn is that wake-up.
    g_source_set_ready_time(connection->source, -1);
    std::string& pending = connection->pending;
    bool ended = false;
    // At most one record at its size limit per turn: a record that its
    // sender wrote whole (every Post does) still arrives in one turn, in the
    // order in which the connections came.
    if (pending.size() < kMaxRecordBytes) {
        const size_t had = pending.size();
        pending.resize(had + kMaxRecordBytes);
        ssize_t n;
        do {
            n = read(connection->fd, pending.data() + had, kMaxRecordBytes);
        } while (n < 0 && errno == EINTR);
        pending.resize(had + static_cast<size_t>(std::max<ssize_t>(n, 0)));
        ended = n == 0 || (n < 0 && errno != EAGAIN);
    }
    std::vector<ChannelMessage> messages;
    size_t used = 0;
    bool more = false;
    bool malformed = false;
    for (;;) {
        ChannelMessage message;
        size_t size = 0;
        const Decoded decoded = DecodeRecord(std::string_view(pending).substr(used), message, size);
        if (decoded == Decoded::kNeedMore) break;
        if (decoded == Decoded::kMalformed) {
            malformed = true;  // not one of ours: drop the rest of the connection
            break;
        }
        if (messages.size() == kMessagesPerTurn) {
            more = true;  // the rest at the next turn
            break;
        }
        messages.push_back(std::move(message));
        used += size;
    }
    pending.erase(0, used);
    if (pending.empty()) std::string().swap(pending);
    if (!messages.empty()) connection->deadline = g_get_monotonic_time() + kConnectionPatienceUs;
    if (malformed || (ended && !more)) {
        connections_.remove_if([connection](const auto& c) { return c.get() == connection; });
    } else if (more) {
        g_source_set_ready_time(connection->source, 0);
    }
    // The handler may close this channel (a WM_CLOSE that ends the program):
    // nothing of it is touched once it is gone.
    const auto alive = alive_;
    for (const auto& message : messages) {
        if (!*alive) return;
        if (handler_) handler_(message);
    }
}

std::vector<ProgramEntry> ProgramChannel::Programs() {
    std::vector<ProgramEntry> programs;
    const std::string folder = RuntimeFolder();
    if (folder.empty()) return programs;
    const std::unique_ptr<DIR, DirClose> dir(opendir(folder.c_str()));
    if (!dir) return programs;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (!name.ends_with(".info")) continue;
        const std::string infoPath = folder + "/" + name;
        const std::string socketPath = infoPath.substr(0, infoPath.size() - 5) + ".sock";
        const KeyFile file(g_key_file_new());
        if (g_key_file_load_from_file(file.get(), infoPath.c_str(), G_KEY_FILE_NONE, nullptr)) {
            ProgramEntry program;
            program.className = KeyText(file.get(), "Class");
            program.title = KeyText(file.get(), "Title");
            program.pid =
                static_cast<pid_t>(g_key_file_get_int64(file.get(), kGroup, "Pid", nullptr));
            program.opened = g_key_file_get_int64(file.get(), kGroup, "Opened", nullptr);
            program.socketPath = socketPath;
            if (program.pid > 0 && kill(program.pid, 0) != 0 && errno == ESRCH) {
                RemoveStale(infoPath, socketPath);  // its program is gone
            } else {
                programs.push_back(std::move(program));
            }
        }
    }
    std::sort(programs.begin(), programs.end(), [](const auto& a, const auto& b) {
        return a.opened != b.opened ? a.opened > b.opened : a.socketPath > b.socketPath;
    });
    return programs;
}

bool ProgramChannel::Post(const std::string& socketPath, const ChannelMessage& message) {
    sockaddr_un address{};
    if (!FitsLimits(message) || !FillAddress(socketPath, address)) return false;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    // A full backlog answers EAGAIN at once; give a busy receiver a moment.
    const auto deadline = std::chrono::steady_clock::now() + kConnectPatience;
    int rc;
    while ((rc = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address)) != 0 &&
           (errno == EAGAIN || errno == EINTR) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    bool sent = false;
    if (rc == 0) {
        sent =
            SendAll(fd, EncodeRecord(message), std::chrono::steady_clock::now() + kConnectPatience);
    } else if (errno == ECONNREFUSED) {
        // Nobody listens any more: the program ended without closing.
        RemoveStale(socketPath.substr(0, socketPath.size() - 5) + ".info", socketPath);
    }
    close(fd);
    return sent;
}

bool ProgramChannel::PostToClass(std::string_view className, const ChannelMessage& message) {
    for (const auto& program : Programs()) {
        if (program.className == className && Post(program.socketPath, message)) return true;
    }
    return false;
}

bool ProgramChannel::PostToTitle(std::string_view titlePart, const ChannelMessage& message) {
    for (const auto& program : Programs()) {
        if (TitleContains(program.title, titlePart) && Post(program.socketPath, message)) {
            return true;
        }
    }
    return false;
}

}  // namespace platform
