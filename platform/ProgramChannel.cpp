#include "platform/ProgramChannel.h"

#include <dirent.h>
#include <glib-unix.h>
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

constexpr uint32_t kRecordMagic = 0x514C5651;  // "QVLQ": a record of ours
constexpr size_t kRecordSize = 4 + 4 + 8 + 8;
constexpr const char* kGroup = "Program";
constexpr int kTitleCharacters = 253;
constexpr auto kConnectPatience = std::chrono::milliseconds(1000);

std::atomic<unsigned> channelCounter{0};

std::string EncodeRecord(const ChannelMessage& message) {
    std::string record(kRecordSize, '\0');
    std::memcpy(record.data(), &kRecordMagic, 4);
    std::memcpy(record.data() + 4, &message.message, 4);
    std::memcpy(record.data() + 8, &message.wparam, 8);
    std::memcpy(record.data() + 16, &message.lparam, 8);
    return record;
}

bool DecodeRecord(const char* bytes, ChannelMessage& message) {
    uint32_t magic = 0;
    std::memcpy(&magic, bytes, 4);
    if (magic != kRecordMagic) return false;
    std::memcpy(&message.message, bytes + 4, 4);
    std::memcpy(&message.wparam, bytes + 8, 8);
    std::memcpy(&message.lparam, bytes + 16, 8);
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
    listenSource_ = g_unix_fd_source_new(listenFd_, G_IO_IN);
    g_source_set_callback(listenSource_, G_SOURCE_FUNC(&ProgramChannel::OnAccept), this, nullptr);
    g_source_attach(listenSource_, context_);
    return true;
}

ProgramChannel::~ProgramChannel() {
    *alive_ = false;
    connections_.clear();
    if (listenSource_) {
        g_source_destroy(listenSource_);
        g_source_unref(listenSource_);
    }
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
    for (;;) {
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR) continue;
            return;  // EAGAIN: all taken; anything else: try again on the next wake-up
        }
        // Only the user's own programs may post (the folder is private too).
        ucred peer{};
        socklen_t length = sizeof peer;
        if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != getuid()) {
            close(fd);
            continue;
        }
        auto connection = std::make_unique<Connection>();
        connection->owner = this;
        connection->fd = fd;
        connection->source =
            g_unix_fd_source_new(fd, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR));
        g_source_set_callback(connection->source, G_SOURCE_FUNC(&ProgramChannel::OnReadable),
                              connection.get(), nullptr);
        g_source_attach(connection->source, context_);
        connections_.push_back(std::move(connection));
    }
}

void ProgramChannel::Dispatch(Connection* connection) {
    bool finished = false;
    char buffer[1024];
    for (;;) {
        const ssize_t n = read(connection->fd, buffer, sizeof buffer);
        if (n > 0) {
            connection->pending.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        finished = n == 0 || errno != EAGAIN;
        break;
    }
    std::vector<ChannelMessage> messages;
    size_t used = 0;
    while (connection->pending.size() - used >= kRecordSize) {
        ChannelMessage message;
        if (!DecodeRecord(connection->pending.data() + used, message)) {
            finished = true;  // not one of ours: drop the connection
            break;
        }
        messages.push_back(message);
        used += kRecordSize;
    }
    connection->pending.erase(0, used);
    if (finished) {
        connections_.remove_if([connection](const auto& c) { return c.get() == connection; });
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
    if (!FillAddress(socketPath, address)) return false;
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
        const std::string record = EncodeRecord(message);
        sent = send(fd, record.data(), record.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(record.size());
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
