#include "exchange/XDataShare.h"

#include <fcntl.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "platform/SharedBlock.h"

namespace {

// Each test gets its own runtime folder; the block's name is the program's.
class XDataShareTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char* made = g_dir_make_tmp("quira-share-XXXXXX", nullptr);
        ASSERT_NE(made, nullptr);
        runtime_ = made;
        g_free(made);
        setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
    }
    void TearDown() override { std::filesystem::remove_all(runtime_); }

    // Runs fn in a child process that opens the block on its own and returns
    // what fn wrote to its pipe. The child must not outlive the call.
    static std::string InChild(const std::function<std::string()>& fn) {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        const pid_t child = fork();
        if (child == 0) {
            close(fds[0]);
            const std::string out = fn();
            const ssize_t written = write(fds[1], out.data(), out.size());
            _exit(written == static_cast<ssize_t>(out.size()) ? 0 : 1);
        }
        close(fds[1]);
        std::string out;
        char buffer[1024];
        ssize_t n;
        while ((n = read(fds[0], buffer, sizeof buffer)) > 0) out.append(buffer, n);
        close(fds[0]);
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        return out;
    }

    static std::string ReadInChild() {
        return InChild([] {
            TXDataShare share;
            AnsiString site, story, chapter;
            unsigned char continueRead = 9;
            share.Read(site, story, chapter, continueRead);
            return site + "|" + story + "|" + chapter + "|" + std::to_string(continueRead);
        });
    }

    std::string runtime_;
};

// The block's bytes as they are now.
std::string Bytes(const platform::SharedBlock& view) {
    std::string bytes(view.Size(), '\0');
    EXPECT_TRUE(view.Read(0, bytes.data(), bytes.size()));
    return bytes;
}

// Everything is one test: the block's name is shared by all the processes of
// this user, and these cases must not run beside each other.
TEST_F(XDataShareTest, BlockLayoutAndTheHandOverBetweenProcesses) {
    // The reader comes first: it makes the block and finds no request.
    EXPECT_EQ(ReadInChild(), "|||0");

    TXDataShare share;
    ASSERT_TRUE(share.HasBlock());
    // A second opening of the same memory, to look at the bytes.
    const auto view = platform::SharedBlock::Open(TXDataShare::kBlockName, TXDataShare::kBlockSize);
    ASSERT_NE(view, nullptr);

    struct stat info {};
    ASSERT_EQ(stat(("/dev/shm" + view->ShmName()).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(info.st_uid, getuid());

    const AnsiString site = platform::Utf8ToAnsi("笔趣阁");
    share.WriteRequest(site, "12345", "", 1);
    std::string bytes = Bytes(*view);
    EXPECT_EQ(bytes.substr(0, site.size()), site);
    for (std::size_t i = site.size(); i < 256; ++i) ASSERT_EQ(bytes[i], 0) << i;
    EXPECT_EQ(bytes.substr(256, 5), "12345");
    for (std::size_t i = 512; i < 768; ++i) ASSERT_EQ(bytes[i], 0) << i;
    EXPECT_EQ(bytes[768], 1);
    EXPECT_EQ(bytes[769], 1);
    // The main program freed its object: the started reader still finds it.
    {
        TXDataShare writer;
        writer.WriteRequest(site, "12345", "", 1);
    }
    EXPECT_EQ(ReadInChild(), site + "|12345||1");

    // A 300-byte SiteID keeps its first 255 bytes and the slot's NUL; a new
    // request leaves nothing of the old one.
    const AnsiString longSite(300, 'S');
    share.WriteRequest(longSite, "7", "c9", 0);
    bytes = Bytes(*view);
    for (std::size_t i = 0; i < 255; ++i) ASSERT_EQ(bytes[i], 'S') << i;
    EXPECT_EQ(bytes[255], 0);
    for (std::size_t i = 257; i < 512; ++i) ASSERT_EQ(bytes[i], 0) << i;
    EXPECT_EQ(bytes[768], 0);
    EXPECT_EQ(ReadInChild(), AnsiString(255, 'S') + "|7|c9|0");

    // A slot without its NUL is read to the slot's end and no further.
    const std::string unended = std::string(256, 'A') + std::string(256, 'B');
    ASSERT_TRUE(view->Write(0, unended.data(), unended.size()));
    AnsiString s, t, c;
    unsigned char continueRead = 0;
    share.Read(s, t, c, continueRead);
    EXPECT_EQ(s, AnsiString(256, 'A'));
    EXPECT_EQ(t, AnsiString(256, 'B'));
    EXPECT_EQ(c, "c9");

    share.Clear();
    EXPECT_EQ(Bytes(*view), std::string(TXDataShare::kBlockSize, '\0'));
    EXPECT_EQ(ReadInChild(), "|||0");

    // Valid 0 hides whatever the slots hold.
    const std::string slots(768, 'X');
    ASSERT_TRUE(view->Write(0, slots.data(), slots.size()));
    share.Read(s, t, c, continueRead);
    EXPECT_EQ(s + t + c, "");

    // Any process of the user may shrink the block while both programs have
    // it open (truncate -s 0 /dev/shm/<name>): a shrunk block holds no
    // request, neither reading nor writing it ends the program, and the next
    // request puts it back whole.
    for (const off_t size : {off_t{0}, off_t{769}, off_t{300}}) {
        SCOPED_TRACE(size);
        share.WriteRequest("s", "1", "2", 0);
        const int fd = shm_open(view->ShmName().c_str(), O_RDWR, 0);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, size), 0);
        close(fd);
        EXPECT_EQ(ReadInChild(), "|||0");
        share.Read(s, t, c, continueRead);
        EXPECT_EQ(s + "|" + t + "|" + c + "|" + std::to_string(continueRead), "|||0");
        share.WriteRequest("s", "1", "2", 0);
        EXPECT_EQ(ReadInChild(), "s|1|2|0");
        EXPECT_EQ(Bytes(*view).size(), TXDataShare::kBlockSize);
        share.Clear();
        EXPECT_EQ(ReadInChild(), "|||0");
    }
}

TEST_F(XDataShareTest, AStartingMainProgramClearsALeftOverRequest) {
    // A reader of an earlier run still holds the block with its request.
    int toReader[2];
    int fromReader[2];
    ASSERT_EQ(pipe(toReader), 0);
    ASSERT_EQ(pipe(fromReader), 0);
    const pid_t reader = fork();
    if (reader == 0) {
        TXDataShare share;
        share.WriteRequest("old", "story", "chapter", 0);
        char c = 'r';
        if (write(fromReader[1], &c, 1) != 1) _exit(2);  // ready
        if (read(toReader[0], &c, 1) != 1) _exit(3);     // wait for the main program
        AnsiString s, t, ch;
        unsigned char continueRead = 0;
        share.Read(s, t, ch, continueRead);
        _exit(s.empty() && t.empty() && ch.empty() ? 0 : 1);
    }
    char c;
    ASSERT_EQ(read(fromReader[0], &c, 1), 1);
    TXDataShare::ClearLeftOverRequest();
    ASSERT_EQ(write(toReader[1], "g", 1), 1);
    int status = 0;
    waitpid(reader, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    for (int fd : {toReader[0], toReader[1], fromReader[0], fromReader[1]}) close(fd);
}

}  // namespace
