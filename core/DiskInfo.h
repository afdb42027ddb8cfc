#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The volumes on which the data folder may be placed, for the location list of
// the settings dialog. A "drive" here is the mount point of a local, disk-backed
// file system: pseudo file systems (proc, sysfs, cgroup, ...), RAM disks,
// optical media, network and FUSE network file systems and removable devices
// are left out, as the settings dialog offers only fixed local storage.
class TDiskInfo {
  public:
    // Reads the live mount table and sysfs.
    TDiskInfo();
    // Reads the given files instead: a mountinfo text and the root of a sysfs
    // tree (for the removable flags of block devices). Used by tests.
    TDiskInfo(std::string mountInfoFile, std::string sysRoot);

    // Appends the mount point of every local fixed volume, in mount-table
    // order; a path mounted over several times is listed once, at its first place.
    void GetDrives(std::vector<std::string>& list) const;

    // free: bytes available to the calling user; total: size of the volume.
    // False (and both 0) when the path cannot be queried.
    bool GetDiskSpace(const std::string& drive, uint64_t& free, uint64_t& total) const;

    // True when the application folder lies on the given mount point, that is
    // when that mount point is the deepest one holding the application folder.
    bool IsAppDrive(const std::string& drive) const;

    // One parsed line of a mountinfo text.
    struct MountEntry {
        unsigned major = 0;
        unsigned minor = 0;
        std::string root;        // the part of the file system that is mounted
        std::string mountPoint;  // decoded (\040 and the like)
        std::string fsType;
        std::string source;
    };
    static std::vector<MountEntry> ParseMountInfo(std::string_view text);

    // The file system types that are never offered: pseudo, RAM, optical, network.
    static bool IsSkippedFileSystem(std::string_view fsType);

  private:
    bool IsRemovableDevice(unsigned major, unsigned minor) const;
    // The deepest mount point of the live table that holds the path.
    std::string MountPointOf(const std::string& path) const;

    std::string mountInfoFile_;
    std::string sysRoot_;
};
