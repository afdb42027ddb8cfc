// The cross-process pieces, each between this test and a second real process.
#include <dirent.h>
#include <fcntl.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/Folders.h"
#include "platform/NamedLock.h"
#include "platform/ProgramChannel.h"
#include "platform/SharedBlock.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempTree.h"

namespace {

using platform::ChannelMessage;
using platform::NamedLock;
using platform::ProgramChannel;
using platform::SharedBlock;
using testing_support::ChildProcess;
using testing_support::TellParent;
using testing_support::TempTree;

constexpr size_t kBlockSize = 770;

std::string Hex(const std::string& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char c : bytes) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    return hex;
}

// Serves a channel until it receives WM_CLOSE, reporting each message.
int ServeChannel(const std::string& className, const std::string& title) {
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    auto channel = ProgramChannel::Open(className, title, [loop](const ChannelMessage& m) {
        std::string line = std::to_string(m.message) + " " + std::to_string(m.wparam) + " " +
                           std::to_string(m.lparam);
        for (const auto& text : m.texts) line += " [" + Hex(text) + "]";
        TellParent(line);
        if (m.message == platform::kWmClose) g_main_loop_quit(loop);
    });
    if (!channel) return 2;
    TellParent("ready");
    g_main_loop_run(loop);
    channel.reset();
    g_main_loop_unref(loop);
    return 0;
}

int OpenDescriptors() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir)) ++count;
        closedir(dir);
    }
    return count - 3;  // ".", ".." and the folder's own descriptor
}

// Serves a channel with every descriptor of the process in use while a
// message waits to be accepted: reports how many of 100 turns of the loop
// found work (the waiting connection must not wake it again and again),
// then frees the descriptors and reports whether the message came.
int ServeWithoutDescriptors() {
    bool delivered = false;
    auto channel = ProgramChannel::Open("TMainForm", "t", [&](const ChannelMessage& m) {
        delivered = delivered || m.message == 77;
    });
    if (!channel) return 2;
    TellParent(channel->SocketPath());
    rlimit saved{};
    if (getrlimit(RLIMIT_NOFILE, &saved) != 0) return 3;
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(OpenDescriptors() + 8);
    if (setrlimit(RLIMIT_NOFILE, &tight) != 0) return 4;
    std::vector<int> fillers;
    for (int fd; (fd = open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) fillers.push_back(fd);
    TellParent("full");
    if (testing_support::LineFromParent() != "sent") return 5;
    int busy = 0;
    for (int i = 0; i < 100; ++i) busy += g_main_context_iteration(nullptr, FALSE) ? 1 : 0;
    for (const int fd : fillers) close(fd);
    setrlimit(RLIMIT_NOFILE, &saved);
    TellParent("busy " + std::to_string(busy));
    const gint64 deadline = g_get_monotonic_time() + 30 * G_USEC_PER_SEC;
    while (!delivered && g_get_monotonic_time() < deadline) g_main_context_iteration(nullptr, TRUE);
    TellParent(delivered ? "delivered" : "lost");
    return 0;
}

int RunChild(const std::vector<std::string>& f) {
    const std::string& mode = f[0];
    if (mode == "lock-hold") {
        NamedLock lock(f[1]);
        TellParent(lock.Acquired() ? "held" : "not held");
        testing_support::WaitForParent();
        return 0;
    }
    if (mode == "lock-try") return static_cast<int>(NamedLock(f[1]).GetStatus());
    if (mode == "block-write") {
        auto block = SharedBlock::Open(f[1], kBlockSize);
        if (!block) return 2;
        if (!block->Write(0, f[2].data(), f[2].size())) return 3;
        TellParent(block->Created() ? "created" : "opened");
        testing_support::WaitForParent();
        return 0;
    }
    if (mode == "block-read") {
        auto block = SharedBlock::Open(f[1], kBlockSize);
        if (!block) return 2;
        std::string bytes(kBlockSize, '\0');
        if (!block->Read(0, bytes.data(), bytes.size())) return 3;
        TellParent(bytes.c_str());
        return 0;
    }
    if (mode == "channel-serve") return ServeChannel(f[1], f[2]);
    if (mode == "channel-no-descriptors") return ServeWithoutDescriptors();
    return -1;
}

[[maybe_unused]] const bool kChild = testing_support::RunAsChildIfAsked(RunChild);

TEST(NamedLock, OneHolderAcrossProcessesAndFreedWhenItDies) {
    TempTree tree(TempTree::Profile::kXdg);
    ChildProcess holder({"lock-hold", "velqo@Quira"});
    ASSERT_EQ(holder.ReadLine(), "held");

    NamedLock second("velqo@Quira");
    EXPECT_EQ(second.GetStatus(), NamedLock::Status::kHeldElsewhere);
    EXPECT_TRUE(NamedLock("another").Acquired());  // names do not collide

    // A holder that is killed releases the lock without any clean-up of its own.
    holder.Kill();
    holder.Wait();
    NamedLock third("velqo@Quira");
    EXPECT_TRUE(third.Acquired());

    // And the lock now held here keeps a new process out, also one we start.
    ChildProcess trier({"lock-try", "velqo@Quira"});
    EXPECT_EQ(trier.Wait(), static_cast<int>(NamedLock::Status::kHeldElsewhere));
    third.Release();
    ChildProcess again({"lock-try", "velqo@Quira"});
    EXPECT_EQ(again.Wait(), static_cast<int>(NamedLock::Status::kAcquired));
}

TEST(NamedLock, LockFileIsInThePrivateRuntimeFolder) {
    TempTree tree(TempTree::Profile::kXdg);
    const std::string file = NamedLock::LockFile("velqo@Quira");
    EXPECT_EQ(file, tree.Path("run/Velqo/velqo@Quira.lock"));
    struct stat info {};
    ASSERT_EQ(stat(tree.Path("run/Velqo").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST(SharedBlock, SeenByTheOtherProcessAndPrivate) {
    TempTree tree(TempTree::Profile::kXdg);
    const std::string name = "X_QuiraReader-" + std::to_string(getpid());
    ChildProcess writer({"block-write", name, "story 42"});
    ASSERT_EQ(writer.ReadLine(), "created");

    {
        auto block = SharedBlock::Open(name, kBlockSize);
        ASSERT_TRUE(block);
        EXPECT_FALSE(block->Created());
        std::string bytes(kBlockSize, '\0');
        ASSERT_TRUE(block->Read(0, bytes.data(), bytes.size()));
        EXPECT_STREQ(bytes.c_str(), "story 42");
        // Per user and 0600 in the shared-memory folder.
        struct stat info {};
        ASSERT_EQ(stat(("/dev/shm" + block->ShmName()).c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);
        EXPECT_NE(block->ShmName().find(std::to_string(getuid())), std::string::npos);

        // The writer leaves first: this user still holds the block, so the
        // next reader finds the same bytes.
        writer.CloseInput();
        EXPECT_EQ(writer.Wait(), 0);
        ChildProcess reader({"block-read", name});
        EXPECT_EQ(reader.ReadLine(), "story 42");
        EXPECT_EQ(reader.Wait(), 0);
    }
    // The last user is gone: the name is removed and a newcomer starts empty.
    EXPECT_NE(access(("/dev/shm" + SharedBlock::ShmNameFor(name)).c_str(), F_OK), 0);
    ChildProcess fresh({"block-read", name});
    EXPECT_EQ(fresh.ReadLine(), "");
    EXPECT_EQ(fresh.Wait(), 0);
}

// Runs the loop of this thread until the condition holds (bounded).
template <typename Condition>
bool RunLoopUntil(Condition done) {
    const gint64 deadline = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
    while (!done() && g_get_monotonic_time() < deadline) g_main_context_iteration(nullptr, FALSE);
    return done();
}

TEST(ProgramChannel, PostsRecordsToAnotherProcessInOrder) {
    TempTree tree(TempTree::Profile::kXdg);
    ChildProcess reader({"channel-serve", "TBookReaderForm", "reader"});
    ASSERT_EQ(reader.ReadLine(), "ready");

    EXPECT_TRUE(ProgramChannel::PostToClass("TBookReaderForm", {platform::kWmUser + 2, 0, 0}));
    EXPECT_TRUE(ProgramChannel::PostToClass("TBookReaderForm", {1234, -5, 1LL << 40}));
    EXPECT_FALSE(ProgramChannel::PostToClass("NoSuchForm", {1, 0, 0}));
    EXPECT_TRUE(ProgramChannel::PostToClass("TBookReaderForm", {platform::kWmClose, 0, 0}));
    EXPECT_EQ(reader.ReadLine(), "1026 0 0");
    EXPECT_EQ(reader.ReadLine(), "1234 -5 1099511627776");
    EXPECT_EQ(reader.ReadLine(), "16 0 0");
    EXPECT_EQ(reader.Wait(), 0);
    // It closed its channel: nothing is left to find.
    EXPECT_TRUE(ProgramChannel::Programs().empty());
}

TEST(ProgramChannel, TitleFindsTheFirstProgramOnly) {
    TempTree tree(TempTree::Profile::kXdg);
    ChildProcess older({"channel-serve", "TMainForm", "Tolvane VE@LQO one"});
    ASSERT_EQ(older.ReadLine(), "ready");
    ChildProcess newer({"channel-serve", "TMainForm", "Tolvane VE@LQO two"});
    ASSERT_EQ(newer.ReadLine(), "ready");

    EXPECT_TRUE(ProgramChannel::PostToTitle("VE@LQO", {platform::kWmUser + 2, 0, 0}));
    EXPECT_FALSE(ProgramChannel::PostToTitle("absent", {1, 0, 0}));
    EXPECT_TRUE(ProgramChannel::PostToTitle("one", {7, 0, 0}));
    for (const auto& program : ProgramChannel::Programs()) {
        ASSERT_TRUE(ProgramChannel::Post(program.socketPath, {platform::kWmClose, 0, 0}));
    }
    // The most recently opened comes first, and only it got the title message.
    EXPECT_EQ(newer.ReadLine(), "1026 0 0");
    EXPECT_EQ(newer.ReadLine(), "16 0 0");
    EXPECT_EQ(older.ReadLine(), "7 0 0");
    EXPECT_EQ(older.ReadLine(), "16 0 0");
    EXPECT_EQ(older.Wait(), 0);
    EXPECT_EQ(newer.Wait(), 0);
}

TEST(ProgramChannel, LeftOversOfAKilledProgramAreSkipped) {
    TempTree tree(TempTree::Profile::kXdg);
    ChildProcess crashed({"channel-serve", "TMainForm", "VE@LQO"});
    ASSERT_EQ(crashed.ReadLine(), "ready");
    crashed.Kill();
    crashed.Wait();

    std::vector<ChannelMessage> received;
    auto channel = ProgramChannel::Open("TMainForm", "old caption",
                                        [&](const ChannelMessage& m) { received.push_back(m); });
    ASSERT_TRUE(channel);
    channel->SetTitle("Tolvane VE@LQO");
    EXPECT_TRUE(ProgramChannel::PostToTitle("VE@LQO", {platform::kWmUser + 2, 3, 4}));
    ASSERT_TRUE(RunLoopUntil([&] { return !received.empty(); }));
    EXPECT_EQ(received[0].message, platform::kWmUser + 2);
    EXPECT_EQ(received[0].wparam, 3);
    EXPECT_EQ(received[0].lparam, 4);
    // Only the live program is listed; the dead one's files are gone.
    const auto programs = ProgramChannel::Programs();
    ASSERT_EQ(programs.size(), 1u);
    EXPECT_EQ(programs[0].title, "Tolvane VE@LQO");
    EXPECT_EQ(programs[0].pid, getpid());
}

TEST(ProgramChannel, OnlyTheFirst253CharactersOfATitleCount) {
    TempTree tree(TempTree::Profile::kXdg);
    std::string title;
    for (int i = 0; i < 250; ++i) title += "\xE4\xB8\xAD";  // 250 three-byte characters
    auto channel = ProgramChannel::Open("TMainForm", title + "abc" + "XYZ", nullptr);
    ASSERT_TRUE(channel);
    EXPECT_TRUE(
        ProgramChannel::PostToTitle("\xE4\xB8\xAD"
                                    "abc",
                                    {1, 0, 0}));
    EXPECT_FALSE(ProgramChannel::PostToTitle("abcX", {1, 0, 0}));
}

TEST(ProgramChannel, AHandlerMayCloseItsOwnChannel) {
    TempTree tree(TempTree::Profile::kXdg);
    std::unique_ptr<ProgramChannel> channel;
    int calls = 0;
    channel = ProgramChannel::Open("TMainForm", "t", [&](const ChannelMessage&) {
        ++calls;
        channel.reset();
    });
    ASSERT_TRUE(channel);
    const std::string socket = channel->SocketPath();
    // Two messages waiting: the second must not reach the closed channel.
    ASSERT_TRUE(ProgramChannel::Post(socket, {platform::kWmClose, 0, 0}));
    ASSERT_TRUE(ProgramChannel::Post(socket, {platform::kWmClose, 0, 0}));
    EXPECT_TRUE(RunLoopUntil([&] { return !channel; }));
    for (int i = 0; i < 20; ++i) g_main_context_iteration(nullptr, FALSE);
    EXPECT_EQ(calls, 1);
    EXPECT_NE(access(socket.c_str(), F_OK), 0);
}

TEST(ProgramChannel, TextsTravelWithTheirMessagesInOrder) {
    TempTree tree(TempTree::Profile::kXdg);
    ChildProcess main({"channel-serve", "TMainForm", "VE@LQO"});
    ASSERT_EQ(main.ReadLine(), "ready");

    const std::string chinese = "\xE4\xB8\xAD\xE6\x96\x87";
    const std::string withNul("a\0b", 3);
    const std::string full(platform::kMaxChannelTextBytes - 1, 'x');
    EXPECT_TRUE(ProgramChannel::PostToTitle("VE@LQO", {1, 2, 3}));
    EXPECT_TRUE(ProgramChannel::PostToTitle("VE@LQO", {1144, 209, 0, {chinese, "", withNul}}));
    // At the limits: all the bytes, and as many texts as allowed.
    EXPECT_TRUE(ProgramChannel::PostToTitle("VE@LQO", {5, 0, 0, {full, "y"}}));
    EXPECT_TRUE(ProgramChannel::PostToTitle(
        "VE@LQO", {6, 0, 0, std::vector<std::string>(platform::kMaxChannelTexts, "t")}));
    // Over them: not sent at all.
    EXPECT_FALSE(ProgramChannel::PostToTitle("VE@LQO", {7, 0, 0, {full, "yz"}}));
    EXPECT_FALSE(ProgramChannel::PostToTitle(
        "VE@LQO", {8, 0, 0, std::vector<std::string>(platform::kMaxChannelTexts + 1, "t")}));
    EXPECT_TRUE(ProgramChannel::PostToTitle("VE@LQO", {platform::kWmClose, 0, 0}));

    EXPECT_EQ(main.ReadLine(), "1 2 3");
    EXPECT_EQ(main.ReadLine(), "1144 209 0 [" + Hex(chinese) + "] [] [610062]");
    EXPECT_EQ(main.ReadLine(), "5 0 0 [" + Hex(full) + "] [79]");
    std::string many = "6 0 0";
    for (size_t i = 0; i < platform::kMaxChannelTexts; ++i) many += " [74]";
    EXPECT_EQ(main.ReadLine(), many);
    EXPECT_EQ(main.ReadLine(), "16 0 0");
    EXPECT_EQ(main.Wait(), 0);
}

// Bytes as a sender would write them, on a connection of their own.
bool RawPost(const std::string& socketPath, const std::string& bytes) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool sent =
        fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    if (fd >= 0) close(fd);
    return sent;
}

std::string U32(uint32_t value) {
    return std::string(reinterpret_cast<const char*>(&value), 4);
}

// A text record: "QVLT", the numbers, then count, payload size and payload.
std::string TextRecord(uint32_t message, uint32_t count, uint32_t payloadSize,
                       const std::string& payload) {
    return "QVLT" + U32(message) + std::string(16, '\0') + U32(count) + U32(payloadSize) + payload;
}

TEST(ProgramChannel, MalformedRecordsAreDroppedAndTheChannelGoesOn) {
    TempTree tree(TempTree::Profile::kXdg);
    std::vector<ChannelMessage> received;
    auto channel = ProgramChannel::Open("TMainForm", "VE@LQO",
                                        [&](const ChannelMessage& m) { received.push_back(m); });
    ASSERT_TRUE(channel);
    const std::string& socket = channel->SocketPath();
    const std::string good = TextRecord(10, 1, 6, U32(2) + "ok");
    const std::vector<std::string> hostile = {
        "XXXX" + std::string(20, '\0'),                 // not ours
        TextRecord(11, 0, 0, ""),                       // no texts
        TextRecord(12, 17, 68, std::string(68, '\0')),  // too many texts
        TextRecord(13, 1, 1 << 30, U32(5) + "short"),   // a payload far over the limit
        TextRecord(14, 1, 6, U32(200) + "ok"),          // a text longer than the payload
        TextRecord(15, 1, 8, U32(2) + "okok"),          // bytes left over
        TextRecord(16, 2, 6, U32(2) + "ok"),            // a text missing
        good + "QVLT" + U32(17),                        // cut short after a good one
        "QV",                                           // a few bytes only
    };
    for (const auto& bytes : hostile) ASSERT_TRUE(RawPost(socket, bytes));
    // A header over the limit is refused before any of its bytes arrive: the
    // channel hangs up on a sender that still holds its end open.
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, socket.c_str(), socket.size() + 1);
    const int open = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    ASSERT_EQ(connect(open, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const std::string header = TextRecord(18, 1, 1 << 30, "");
    ASSERT_EQ(send(open, header.data(), header.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(header.size()));
    char byte;
    EXPECT_TRUE(RunLoopUntil([&] { return recv(open, &byte, 1, 0) == 0; }));
    close(open);

    ASSERT_TRUE(ProgramChannel::Post(socket, {20, 0, 0, {"last"}}));
    ASSERT_TRUE(RunLoopUntil([&] { return !received.empty() && received.back().message == 20; }));
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].message, 10u);
    EXPECT_EQ(received[0].texts, std::vector<std::string>{"ok"});
    EXPECT_EQ(received[1].texts, std::vector<std::string>{"last"});
}

// A record of numbers: "QVLQ", the message, wparam and lparam.
std::string NumberRecord(uint32_t message, int64_t wparam) {
    const int64_t lparam = 0;
    return "QVLQ" + U32(message) + std::string(reinterpret_cast<const char*>(&wparam), 8) +
           std::string(reinterpret_cast<const char*>(&lparam), 8);
}

// A connection of a peer of our own making, not sending anything yet.
int ConnectRaw(const std::string& socketPath) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    // A full backlog says EAGAIN: the loop takes some, and the peer tries again.
    for (int tries = 0; tries < 10000; ++tries) {
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
        if (errno != EAGAIN) break;
        g_main_context_iteration(nullptr, FALSE);
    }
    close(fd);
    return -1;
}

// A peer that writes records without pause gets one bounded share of a turn
// of the loop, like every other source; everything it sent still arrives,
// in order.
TEST(ProgramChannel, APeerWritingWithoutPauseGetsABoundedTurn) {
    TempTree tree(TempTree::Profile::kXdg);
    int64_t received = 0;
    bool ordered = true;
    auto channel = ProgramChannel::Open("TMainForm", "t", [&](const ChannelMessage& m) {
        ordered = ordered && m.wparam == received;
        ++received;
    });
    ASSERT_TRUE(channel);
    constexpr int64_t kRecords = 20000;
    std::string all;
    for (int64_t i = 0; i < kRecords; ++i) all += NumberRecord(9, i);
    const int fd = ConnectRaw(channel->SocketPath());
    ASSERT_GE(fd, 0);
    size_t sent = 0;
    const auto sendMore = [&] {
        while (sent < all.size()) {
            const ssize_t n = send(fd, all.data() + sent, all.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return;
            sent += static_cast<size_t>(n);
        }
    };
    sendMore();
    const size_t waiting = sent / 24;
    ASSERT_GT(waiting, 1000u);
    // The first turn that hands anything on hands on a small part of it.
    ASSERT_TRUE(RunLoopUntil([&] { return received > 0; }));
    EXPECT_LE(static_cast<size_t>(received), waiting / 8);
    const gint64 deadline = g_get_monotonic_time() + 60 * G_USEC_PER_SEC;
    while (received < kRecords && g_get_monotonic_time() < deadline) {
        sendMore();
        g_main_context_iteration(nullptr, FALSE);
    }
    EXPECT_EQ(received, kRecords);
    EXPECT_TRUE(ordered);
    close(fd);
}

// Hundreds of peers that connect and say nothing, or stop in the middle of
// a record: the channel holds a few dozen connections at most, a real
// message still gets through at once, and every idle or stuck peer is
// dropped within a few seconds.
TEST(ProgramChannel, IdleAndStuckPeersAreDroppedAndCannotCrowdOutARealMessage) {
    TempTree tree(TempTree::Profile::kXdg);
    std::vector<ChannelMessage> received;
    auto channel = ProgramChannel::Open("TMainForm", "t",
                                        [&](const ChannelMessage& m) { received.push_back(m); });
    ASSERT_TRUE(channel);
    const int before = OpenDescriptors();
    std::vector<int> peers;
    for (int i = 0; i < 200; ++i) {
        const int fd = ConnectRaw(channel->SocketPath());
        ASSERT_GE(fd, 0) << i;
        // Every fourth one stops after part of a record.
        if (i % 4 == 0) {
            const std::string part = TextRecord(5, 1, 100, U32(96) + "abc");
            ASSERT_EQ(send(fd, part.data(), part.size(), MSG_NOSIGNAL),
                      static_cast<ssize_t>(part.size()));
        }
        peers.push_back(fd);
        g_main_context_iteration(nullptr, FALSE);
    }
    bool posted = false;
    std::thread sender([&] { posted = ProgramChannel::Post(channel->SocketPath(), {42, 1, 2}); });
    const bool arrived = RunLoopUntil([&] { return !received.empty(); });
    sender.join();
    EXPECT_TRUE(posted);
    ASSERT_TRUE(arrived);
    EXPECT_EQ(received[0].message, 42u);
    // This process holds the 200 peers' ends; the channel's own are few.
    EXPECT_LE(OpenDescriptors() - before, 200 + 40);
    const auto allDropped = [&] {
        for (const int fd : peers) {
            char byte;
            if (recv(fd, &byte, 1, MSG_DONTWAIT) != 0) return false;
        }
        return true;
    };
    const gint64 deadline = g_get_monotonic_time() + 30 * G_USEC_PER_SEC;
    while (!allDropped() && g_get_monotonic_time() < deadline) {
        g_main_context_iteration(nullptr, FALSE);
        g_usleep(1000);
    }
    EXPECT_TRUE(allDropped());
    EXPECT_EQ(received.size(), 1u);
    for (const int fd : peers) close(fd);
}

// A process with no descriptor left cannot take a waiting connection: the
// channel stops accepting for a moment instead of waking the loop for it
// again and again, and takes it once descriptors are free.
TEST(ProgramChannel, NoDescriptorLeftStopsAcceptingInsteadOfSpinning) {
    TempTree tree(TempTree::Profile::kXdg);
    ChildProcess main({"channel-no-descriptors"});
    const std::string socket = main.ReadLine();
    ASSERT_FALSE(socket.empty());
    ASSERT_EQ(main.ReadLine(), "full");
    const int fd = ConnectRaw(socket);
    ASSERT_GE(fd, 0);
    const std::string record = NumberRecord(77, 0);
    ASSERT_EQ(send(fd, record.data(), record.size(), MSG_NOSIGNAL), 24);
    main.WriteLine("sent");
    const std::string busy = main.ReadLine(30000);
    ASSERT_EQ(busy.rfind("busy ", 0), 0u) << busy;
    EXPECT_LE(std::stoi(busy.substr(5)), 20);
    EXPECT_EQ(main.ReadLine(60000), "delivered");
    EXPECT_EQ(main.Wait(), 0);
    close(fd);
}

TEST(RuntimeFolder, FallsBackToAPrivateFolderPerUser) {
    TempTree tree(TempTree::Profile::kXdg);
    tree.UnsetEnv("XDG_RUNTIME_DIR");
    tree.SetEnv("TMPDIR", tree.Make("tmp"));
    const std::string folder = platform::RuntimeFolder();
    EXPECT_EQ(folder, tree.Path("tmp/velqo-" + std::to_string(getuid())));
    struct stat info {};
    ASSERT_EQ(lstat(folder.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    EXPECT_EQ(platform::RuntimeFolder(), folder);
}

// The fallback's name in the shared temporary folder can be taken first by
// someone else: as a link, as a folder open to others, as another user's
// folder, as a file. The programs never meet there (whoever made it would
// hold their lock, block and channel) but in a private folder of the user's
// own, or nowhere when that cannot be had either.
TEST(RuntimeFolder, AFallbackSomeoneElseMadeFirstIsNotUsed) {
    TempTree tree(TempTree::Profile::kXdg);
    tree.UnsetEnv("XDG_RUNTIME_DIR");
    tree.SetEnv("TMPDIR", tree.Make("tmp"));
    const std::string squatted = tree.Path("tmp/velqo-" + std::to_string(getuid()));
    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    const std::string own = tree.Path("home/.cache/velqo-runtime-" + std::string(host));
    const std::string elsewhere = tree.Make("elsewhere");
    struct Case {
        const char* name;
        std::function<bool()> squat;
        std::string expected;
    };
    const Case cases[] = {
        {"a link to a folder", [&] { return symlink(elsewhere.c_str(), squatted.c_str()) == 0; },
         own},
        {"a folder open to others",
         [&] { return mkdir(squatted.c_str(), 0700) == 0 && chmod(squatted.c_str(), 0777) == 0; },
         own},
        {"another user's folder",
         [&] {
             // Only the superuser can make one; anyone else sees this as a
             // folder of its own, which the next case covers.
             if (geteuid() != 0) return mkdir(squatted.c_str(), 0755) == 0;
             return mkdir(squatted.c_str(), 0700) == 0 &&
                    chown(squatted.c_str(), 65534, 65534) == 0;
         },
         own},
        {"a file",
         [&] { return !tree.Write("tmp/velqo-" + std::to_string(getuid()), "x").empty(); }, own},
        {"and the own folder a link too",
         [&] {
             std::filesystem::create_directories(tree.Path("home/.cache"));
             return symlink(elsewhere.c_str(), squatted.c_str()) == 0 &&
                    symlink(elsewhere.c_str(), own.c_str()) == 0;
         },
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::error_code ignored;
        std::filesystem::remove_all(squatted, ignored);
        std::filesystem::remove_all(own, ignored);
        ASSERT_TRUE(c.squat());
        EXPECT_EQ(platform::RuntimeFolder(), c.expected);
        NamedLock lock("velqo@Quira");
        if (c.expected.empty()) {
            EXPECT_EQ(lock.GetStatus(), NamedLock::Status::kUnavailable);
            continue;
        }
        EXPECT_TRUE(lock.Acquired());
        EXPECT_EQ(NamedLock::LockFile("velqo@Quira"), own + "/velqo@Quira.lock");
        struct stat info {};
        ASSERT_EQ(lstat(own.c_str(), &info), 0);
        EXPECT_TRUE(S_ISDIR(info.st_mode));
        EXPECT_EQ(info.st_uid, getuid());
        EXPECT_EQ(info.st_mode & 07777, 0700u);
        // Nothing went into the folder someone else made.
        EXPECT_FALSE(std::filesystem::exists(elsewhere + "/velqo@Quira.lock"));
    }
}

}  // namespace
