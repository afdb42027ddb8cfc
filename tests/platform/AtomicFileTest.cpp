#include "platform/AtomicFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/support/TempTree.h"

namespace {

using testing_support::TempTree;

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

// A write that cannot be made leaves what stood there as it was.
TEST(AtomicFile, AFailedWriteLeavesTheEarlierFile) {
    TempTree tree;
    const std::string path = tree.Write("kept.txt", "earlier");
    // A folder cannot be replaced by a file.
    const std::string folder = tree.Make("folder");
    EXPECT_FALSE(platform::WriteFileAtomic(folder, "x"));
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_FALSE(platform::WriteFileAtomic(tree.Path("missing/kept.txt"), "x"));
    EXPECT_EQ(TempTree::Read(path), "earlier");
}

}  // namespace
