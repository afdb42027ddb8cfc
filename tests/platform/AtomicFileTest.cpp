#include "platform/AtomicFile.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/TempTree.h"

// What reaches the disk and in which order: fsync and rename of this test
// program stand in front of the C library's while a test records, and note
// which file or folder each one touched.
namespace {

std::atomic<bool> gRecording{false};
std::mutex gEventsLock;
std::vector<std::string> gEvents;

void Note(const std::string& event) {
    if (!gRecording) return;
    std::lock_guard lock(gEventsLock);
    gEvents.push_back(event);
}

std::string PathOfDescriptor(int fd) {
    char target[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string("?");
}

}  // namespace

extern "C" int fsync(int fd) {
    Note("sync " + PathOfDescriptor(fd));
    static const auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
    return real(fd);
}

extern "C" int rename(const char* from, const char* to) {
    Note(std::string("rename ") + from + " -> " + to);
    static const auto real =
        reinterpret_cast<int (*)(const char*, const char*)>(dlsym(RTLD_NEXT, "rename"));
    return real(from, to);
}

namespace {

using testing_support::TempTree;

// The events of one call, recorded.
template <typename Work>
std::vector<std::string> Recorded(Work&& work) {
    {
        std::lock_guard lock(gEventsLock);
        gEvents.clear();
    }
    gRecording = true;
    work();
    gRecording = false;
    std::lock_guard lock(gEventsLock);
    return gEvents;
}

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

// A new file takes the mode the umask gives, a replaced one keeps the mode
// its owner gave it, and nothing of the temporary file stays behind, in both
// kinds of write.
TEST(AtomicFile, NewFilesFollowTheUmaskAndReplacedOnesKeepTheirMode) {
    TempTree tree;
    const mode_t saved = ::umask(027);
    EXPECT_EQ(platform::NewFileMode(), 0640u);
    for (const auto durability :
         {platform::FileDurability::Durable, platform::FileDurability::Replaceable}) {
        const std::string path = tree.Path(
            durability == platform::FileDurability::Durable ? "settings.ini" : "chapter.txt");
        ASSERT_TRUE(platform::WriteFileAtomic(path, "one", durability));
        EXPECT_EQ(ModeOf(path), 0640u);
        ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
        ASSERT_TRUE(platform::WriteFileAtomic(path, "two", durability));
        EXPECT_EQ(ModeOf(path), 0600u);
        EXPECT_EQ(TempTree::Read(path), "two");
    }
    ::umask(saved);
    size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(tree.Root()))
        ++entries;
    EXPECT_EQ(entries, 2u);
}

// A durable write syncs the file's bytes before the file takes its name, and
// the folder after, so a power cut leaves the old file or the new one whole;
// a replaceable one waits for neither. Both hold for a new file and for one
// replaced.
TEST(AtomicFile, DurableWritesReachTheDiskBeforeAndAfterTheRename) {
    TempTree tree;
    const std::string folder = std::filesystem::canonical(tree.Root()).string();
    const std::string path = folder + "/set.ini";
    for (const char* round : {"new", "replaced"}) {
        SCOPED_TRACE(round);
        const auto events = Recorded([&] { EXPECT_TRUE(platform::WriteFileAtomic(path, round)); });
        ASSERT_EQ(events.size(), 3u) << ::testing::PrintToString(events);
        EXPECT_EQ(events[0].rfind("sync " + path + ".part-", 0), 0u) << events[0];
        EXPECT_EQ(events[1], "rename " + events[0].substr(5) + " -> " + path);
        EXPECT_EQ(events[2], "sync " + folder);
        EXPECT_EQ(TempTree::Read(path), round);
    }
    const std::string temporary = folder + "/book.epub.part";
    std::ofstream(temporary) << "book";
    const auto events = Recorded(
        [&] { EXPECT_TRUE(platform::ReplaceFileDurably(temporary, folder + "/book.epub")); });
    const std::vector<std::string> expected = {
        "sync " + temporary, "rename " + temporary + " -> " + folder + "/book.epub",
        "sync " + folder};
    EXPECT_EQ(events, expected);

    for (const char* round : {"new", "replaced"}) {
        SCOPED_TRACE(round);
        const std::string page = folder + "/chapter.txt";
        const auto quick = Recorded([&] {
            EXPECT_TRUE(
                platform::WriteFileAtomic(page, round, platform::FileDurability::Replaceable));
        });
        for (const std::string& event : quick) EXPECT_NE(event.rfind("sync ", 0), 0u) << event;
        EXPECT_EQ(TempTree::Read(page), round);
    }
}

// A write that cannot be made leaves what stood there as it was, and no
// temporary file behind.
TEST(AtomicFile, AFailedWriteLeavesTheEarlierFile) {
    for (const auto durability :
         {platform::FileDurability::Durable, platform::FileDurability::Replaceable}) {
        TempTree tree;
        const std::string path = tree.Write("kept.txt", "earlier");
        // A folder cannot be replaced by a file.
        const std::string folder = tree.Make("folder");
        EXPECT_FALSE(platform::WriteFileAtomic(folder, "x", durability));
        EXPECT_TRUE(std::filesystem::is_directory(folder));
        EXPECT_FALSE(platform::WriteFileAtomic(tree.Path("missing/kept.txt"), "x", durability));
        EXPECT_EQ(TempTree::Read(path), "earlier");
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(tree.Root()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"folder", "kept.txt"}));
    }
}

}  // namespace
