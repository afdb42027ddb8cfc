#include "core/DiskInfo.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "core/Folders.h"

namespace {

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// mountinfo writes space, tab, newline and backslash in paths as \ooo.
std::string DecodeOctalEscapes(std::string_view field) {
    const auto isOctal = [](char c) { return c >= '0' && c <= '7'; };
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && isOctal(field[i + 1]) &&
            isOctal(field[i + 2]) && isOctal(field[i + 3])) {
            out += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) |
                                     (field[i + 3] - '0'));
            i += 3;
            continue;
        }
        out += field[i];
    }
    return out;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && line[pos] == ' ') ++pos;
        if (pos >= line.size()) break;
        const size_t end = line.find(' ', pos);
        const size_t stop = end == std::string_view::npos ? line.size() : end;
        fields.push_back(line.substr(pos, stop - pos));
        pos = stop;
    }
    return fields;
}

// Kernel, runtime and boot trees: no place for a data folder, whatever their type says.
bool IsSystemTree(std::string_view mountPoint) {
    static constexpr std::string_view kTrees[] = {"/proc", "/sys",  "/dev", "/run",
                                                  "/snap", "/boot", "/efi"};
    for (const auto tree : kTrees) {
        if (mountPoint == tree) return true;
        if (mountPoint.size() > tree.size() && mountPoint.substr(0, tree.size()) == tree &&
            mountPoint[tree.size()] == '/')
            return true;
    }
    return false;
}

bool PathHolds(std::string_view mountPoint, std::string_view path) {
    if (mountPoint == "/") return !path.empty() && path[0] == '/';
    if (path.size() < mountPoint.size() || path.substr(0, mountPoint.size()) != mountPoint)
        return false;
    return path.size() == mountPoint.size() || path[mountPoint.size()] == '/';
}

}  // namespace

TDiskInfo::TDiskInfo() : TDiskInfo("/proc/self/mountinfo", "/sys") {}

TDiskInfo::TDiskInfo(std::string mountInfoFile, std::string sysRoot)
    : mountInfoFile_(std::move(mountInfoFile)), sysRoot_(std::move(sysRoot)) {}

std::vector<TDiskInfo::MountEntry> TDiskInfo::ParseMountInfo(std::string_view text) {
    std::vector<MountEntry> entries;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        const auto fields = SplitFields(text.substr(pos, end - pos));
        pos = end + 1;
        // id parent major:minor root mountpoint options [optional...] - type source superoptions
        size_t dash = 6;
        while (dash < fields.size() && fields[dash] != "-") ++dash;
        if (dash + 1 >= fields.size()) continue;  // no file system type: not a mount line
        MountEntry entry;
        const std::string devText(fields[2]);
        if (std::sscanf(devText.c_str(), "%u:%u", &entry.major, &entry.minor) != 2) continue;
        entry.root = DecodeOctalEscapes(fields[3]);
        entry.mountPoint = DecodeOctalEscapes(fields[4]);
        entry.fsType = std::string(fields[dash + 1]);
        entry.source = dash + 2 < fields.size() ? DecodeOctalEscapes(fields[dash + 2]) : "";
        entries.push_back(std::move(entry));
    }
    return entries;
}

bool TDiskInfo::IsSkippedFileSystem(std::string_view fsType) {
    static constexpr std::string_view kSkipped[] = {
        // pseudo and kernel file systems
        "proc", "sysfs", "devtmpfs", "devpts", "cgroup", "cgroup2", "pstore", "bpf", "tracefs",
        "debugfs", "securityfs", "configfs", "fusectl", "mqueue", "hugetlbfs", "autofs",
        "binfmt_misc", "efivarfs", "rpc_pipefs", "nsfs", "selinuxfs", "squashfs", "fuse.portal",
        "fuse.gvfsd-fuse", "fuse.lxcfs",
        // RAM disks
        "tmpfs", "ramfs", "zram",
        // optical media
        "iso9660", "udf",
        // network file systems
        "nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "afs", "ceph", "9p", "glusterfs",
        "fuse.sshfs", "fuse.rclone", "fuse.s3fs", "davfs", "fuse.davfs2"};
    for (const auto type : kSkipped)
        if (fsType == type) return true;
    return false;
}

bool TDiskInfo::IsRemovableDevice(unsigned major, unsigned minor) const {
    if (major == 0) return false;  // no block device behind it
    const std::string dev =
        sysRoot_ + "/dev/block/" + std::to_string(major) + ":" + std::to_string(minor);
    // A whole disk carries the flag itself; a partition's flag is its disk's.
    for (const std::string& flag : {dev + "/removable", dev + "/../removable"}) {
        const std::string value = ReadWholeFile(flag);
        if (!value.empty()) return value[0] == '1';
    }
    return false;
}

void TDiskInfo::GetDrives(std::vector<std::string>& list) const {
    std::vector<std::string> seen;
    for (const MountEntry& entry : ParseMountInfo(ReadWholeFile(mountInfoFile_))) {
        if (IsSkippedFileSystem(entry.fsType) || IsSystemTree(entry.mountPoint)) continue;
        if (IsRemovableDevice(entry.major, entry.minor)) continue;
        // A bind-mounted file (containers do this for /etc/hosts) is no volume.
        struct stat st {};
        if (::stat(entry.mountPoint.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) continue;
        bool duplicate = false;
        for (const auto& known : seen) duplicate = duplicate || known == entry.mountPoint;
        if (duplicate) continue;
        seen.push_back(entry.mountPoint);
        list.push_back(entry.mountPoint);
    }
}

bool TDiskInfo::GetDiskSpace(const std::string& drive, uint64_t& free, uint64_t& total) const {
    free = 0;
    total = 0;
    struct statvfs vfs {};
    if (::statvfs(drive.c_str(), &vfs) != 0) return false;
    free = static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
    total = static_cast<uint64_t>(vfs.f_blocks) * vfs.f_frsize;
    return true;
}

std::string TDiskInfo::MountPointOf(const std::string& path) const {
    std::string best;
    for (const MountEntry& entry : ParseMountInfo(ReadWholeFile(mountInfoFile_)))
        if (PathHolds(entry.mountPoint, path) && entry.mountPoint.size() >= best.size())
            best = entry.mountPoint;
    return best;
}

bool TDiskInfo::IsAppDrive(const std::string& drive) const {
    std::string app = AppFolder();
    while (app.size() > 1 && app.back() == '/') app.pop_back();
    std::string wanted = drive;
    while (wanted.size() > 1 && wanted.back() == '/') wanted.pop_back();
    return !app.empty() && !wanted.empty() && MountPointOf(app) == wanted;
}
