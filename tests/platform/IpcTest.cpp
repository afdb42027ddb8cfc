// The cross-process pieces, each between this test and a second real process.
#include <glib.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
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

// Serves a channel until it receives WM_CLOSE, reporting each message.
int ServeChannel(const std::string& className, const std::string& title) {
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    auto channel = ProgramChannel::Open(className, title, [loop](const ChannelMessage& m) {
        TellParent(std::to_string(m.message) + " " + std::to_string(m.wparam) + " " +
                   std::to_string(m.lparam));
        if (m.message == platform::kWmClose) g_main_loop_quit(loop);
    });
    if (!channel) return 2;
    TellParent("ready");
    g_main_loop_run(loop);
    channel.reset();
    g_main_loop_unref(loop);
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
        std::memcpy(block->Data(), f[2].data(), f[2].size());
        TellParent(block->Created() ? "created" : "opened");
        testing_support::WaitForParent();
        return 0;
    }
    if (mode == "block-read") {
        auto block = SharedBlock::Open(f[1], kBlockSize);
        if (!block) return 2;
        TellParent(std::string(reinterpret_cast<const char*>(block->Data())));
        return 0;
    }
    if (mode == "channel-serve") return ServeChannel(f[1], f[2]);
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
        EXPECT_STREQ(reinterpret_cast<const char*>(block->Data()), "story 42");
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

TEST(RuntimeFolder, FallsBackToAPrivateFolderPerUser) {
    TempTree tree(TempTree::Profile::kXdg);
    tree.UnsetEnv("XDG_RUNTIME_DIR");
    const std::string folder = platform::RuntimeFolder();
    EXPECT_EQ(folder, "/tmp/velqo-" + std::to_string(getuid()));
    struct stat info {};
    ASSERT_EQ(lstat(folder.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 0077, 0u);
}

}  // namespace
