#include "core/DiskInfo.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/Folders.h"

namespace fs = std::filesystem;

namespace {

class DiskInfoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gchar* dir = g_dir_make_tmp("diskinfo-XXXXXX", nullptr);
        ASSERT_NE(dir, nullptr);
        root_ = dir;
        g_free(dir);
    }
    void TearDown() override { fs::remove_all(root_); }

    std::string Write(const std::string& name, const std::string& text) {
        const fs::path path = root_ / name;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }
    std::vector<std::string> Drives(const std::string& mountInfo) {
        const TDiskInfo info(Write("mountinfo", mountInfo), (root_ / "sys").string());
        std::vector<std::string> list;
        info.GetDrives(list);
        return list;
    }

    fs::path root_;
};

// A desktop with a fixed root and home, a DVD, a network share, a USB stick, a
// RAM disk and the usual pseudo file systems.
const char* const kDesktop =
    "21 26 0:20 / /proc rw,relatime - proc proc rw\n"
    "22 26 0:21 / /sys rw,relatime shared:2 - sysfs sysfs rw\n"
    "23 26 0:6 / /dev rw,relatime - devtmpfs devtmpfs rw,mode=755\n"
    "26 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
    "27 26 8:3 / /home rw,relatime shared:3 - btrfs /dev/sda3 rw\n"
    "28 26 0:30 / /tmp rw - tmpfs tmpfs rw\n"
    "29 26 11:0 / /media/dvd ro - iso9660 /dev/sr0 ro\n"
    "30 26 0:40 / /mnt/share rw - nfs4 server:/export rw\n"
    "31 26 0:41 / /mnt/smb rw - cifs //srv/x rw\n"
    "32 26 8:17 / /media/usb rw - vfat /dev/sdb1 rw\n"
    "33 26 8:33 / /mnt/data\\040disk rw shared:9 master:2 - ext4 /dev/sdc1 rw\n"
    "34 26 0:50 / /run/user/1000 rw - tmpfs tmpfs rw\n"
    "35 26 0:51 / /mnt/remote rw - fuse.sshfs me@host: rw\n"
    "37 26 8:1 / /boot/efi rw - vfat /dev/sda1 rw\n"
    "36 26 8:2 / / rw,relatime - ext4 /dev/sda2 rw\n"
    "garbage line\n";

TEST_F(DiskInfoTest, ListsOnlyLocalFixedVolumes) {
    // The USB stick's disk is removable, its partition inherits the flag.
    Write("sys/dev/block/8:16/removable", "1\n");
    fs::create_directories(root_ / "sys/dev/block/8:16/sdb1");
    fs::create_directory_symlink(root_ / "sys/dev/block/8:16/sdb1", root_ / "sys/dev/block/8:17");
    Write("sys/dev/block/8:32/removable", "0\n");
    fs::create_directories(root_ / "sys/dev/block/8:32/sdc1");
    fs::create_directory_symlink(root_ / "sys/dev/block/8:32/sdc1", root_ / "sys/dev/block/8:33");

    EXPECT_EQ(Drives(kDesktop), (std::vector<std::string>{"/", "/home", "/mnt/data disk"}));
}

TEST_F(DiskInfoTest, FixedDriveBesideOpticalAndNetworkDrives) {
    const auto drives = Drives(
        "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
        "2 1 11:0 / /media/cdrom ro - udf /dev/sr0 ro\n"
        "3 1 0:60 / /mnt/z rw - smb3 //nas/z rw\n");
    EXPECT_EQ(drives, std::vector<std::string>{"/"});
}

TEST_F(DiskInfoTest, UnreadableTableGivesNoDrives) {
    const TDiskInfo info((root_ / "missing").string(), (root_ / "sys").string());
    std::vector<std::string> list;
    info.GetDrives(list);
    EXPECT_TRUE(list.empty());
}

TEST_F(DiskInfoTest, ParsesOptionalFieldsAndEscapes) {
    const auto entries = TDiskInfo::ParseMountInfo(
        "33 26 8:33 /sub /mnt/a\\040b\\134c rw shared:9 master:2 - ext4 /dev/sdc1 rw\n");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].major, 8u);
    EXPECT_EQ(entries[0].minor, 33u);
    EXPECT_EQ(entries[0].root, "/sub");
    EXPECT_EQ(entries[0].mountPoint, "/mnt/a b\\c");
    EXPECT_EQ(entries[0].fsType, "ext4");
    EXPECT_EQ(entries[0].source, "/dev/sdc1");
}

TEST_F(DiskInfoTest, SpaceOfALiveVolume) {
    uint64_t free = 0, total = 0;
    ASSERT_TRUE(TDiskInfo().GetDiskSpace(root_.string(), free, total));
    EXPECT_GT(total, 0u);
    EXPECT_LE(free, total);
    EXPECT_FALSE(TDiskInfo().GetDiskSpace((root_ / "nowhere").string(), free, total));
    EXPECT_EQ(free, 0u);
    EXPECT_EQ(total, 0u);
}

TEST_F(DiskInfoTest, AppDriveIsTheDeepestMountHoldingTheAppFolder) {
    const std::string table =
        "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
        "2 1 8:2 / " +
        root_.string() + " rw - ext4 /dev/sda2 rw\n";
    const TDiskInfo info(Write("mountinfo", table), (root_ / "sys").string());
    const std::string saved = AppFolder();
    SetAppFolder((root_ / "Velqo").string() + "/");
    EXPECT_TRUE(info.IsAppDrive(root_.string()));
    EXPECT_TRUE(info.IsAppDrive(root_.string() + "/"));
    EXPECT_FALSE(info.IsAppDrive("/"));
    SetAppFolder(saved);
}

}  // namespace
