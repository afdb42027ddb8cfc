#include "shelf/dialogs/SettingFormController.h"

#include <gdk/gdkkeysyms.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "core/Folders.h"
#include "platform/Folders.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "platform/ui/HotKey.h"

namespace {

constexpr const char* kRunValue = "Velqo";

std::string WithSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder.push_back('/');
    return folder;
}

// True when the mount point holds the path (a path compared exactly: the
// file system tells letter case).
bool Holds(const std::string& mountPoint, const std::string& path) {
    if (mountPoint == "/") return !path.empty() && path.front() == '/';
    return path == mountPoint || path.rfind(mountPoint + "/", 0) == 0;
}

bool IsModifierKey(unsigned keyval) {
    switch (keyval) {
        case GDK_KEY_Shift_L:
        case GDK_KEY_Shift_R:
        case GDK_KEY_Control_L:
        case GDK_KEY_Control_R:
        case GDK_KEY_Alt_L:
        case GDK_KEY_Alt_R:
        case GDK_KEY_Meta_L:
        case GDK_KEY_Meta_R:
        case GDK_KEY_Super_L:
        case GDK_KEY_Super_R:
        case GDK_KEY_ISO_Level3_Shift:
        case GDK_KEY_Caps_Lock:
            return true;
        default:
            return false;
    }
}

}  // namespace

TSettingFormController::TSettingFormController(TDiskInfo disks) : disks_(std::move(disks)) {
    Load();
    FillLocations();
}

void TSettingFormController::Load() {
    std::string run;
    Values.AutoRun = platform::ReadRegistryString(platform::RegistryRoot::kCurrentUser,
                                                  platform::kRunKey, kRunValue, run) &&
                     !run.empty();
    const platform::IniFile ini(SettingsFile());
    Values.HotKey = ini.ReadString(kGeneralSection, "CustomHotKey", "ALT+R");
    Values.MaxCacheSize =
        std::clamp(ini.ReadInteger(kGeneralSection, "MaxCacheSize", 500), 1, 9999);
    Values.ScanCache = ini.ReadBool(kGeneralSection, "ScanCache", true);
    Values.AutoNotify = ini.ReadBool(kGeneralSection, "AutoNotify", true);
}

AnsiString TSettingFormController::FormatDiskSize(uint64_t bytes) {
    constexpr uint64_t kGiB = 1073741824, kMiB = 1048576;
    char text[64];
    if (bytes > kGiB)
        std::snprintf(text, sizeof text, "%*.*fGB", 4, 0, static_cast<double>(bytes) / kGiB);
    else if (bytes <= kMiB)
        std::snprintf(text, sizeof text, "%*.*fKB", 4, 2, static_cast<double>(bytes) / 1024);
    else
        std::snprintf(text, sizeof text, "%*.*fMB", 4, 0, static_cast<double>(bytes) / kMiB);
    return text;
}

void TSettingFormController::FillLocations() {
    std::vector<std::string> drives;
    disks_.GetDrives(drives);
    const std::string current = DataFolder();
    size_t best = 0;
    for (const std::string& drive : drives) {
        Location row;
        row.Drive = drive;
        row.Caption = A("本地磁盘(") + platform::Utf8ToAnsi(drive) + ")";
        row.Folder = disks_.IsAppDrive(drive)
                         ? AppFolder()
                         : WithSlash((drive == "/" ? std::string() : drive) + "/VelqoData");
        uint64_t free = 0, total = 0;
        disks_.GetDiskSpace(drive, free, total);
        row.TotalText = FormatDiskSize(total);
        row.FreeText = FormatDiskSize(free);
        // The current data folder's volume: the deepest mount point holding it.
        if (Holds(drive, current) && drive.size() >= best) {
            best = drive.size();
            selectedRow_ = static_cast<int>(locations_.size());
        }
        locations_.push_back(std::move(row));
    }
    selectedFolder_ = current;
}

void TSettingFormController::SelectRow(int row) {
    if (row < 0 || row >= static_cast<int>(locations_.size())) return;
    selectedRow_ = row;
    selectedFolder_ = locations_[static_cast<size_t>(row)].Folder;
}

AnsiString TSettingFormController::LocationText() const {
    return A("位置: ") + platform::Utf8ToAnsi(selectedFolder_);
}

std::optional<AnsiString> TSettingFormController::HotKeyText(unsigned keyval, unsigned modifiers) {
    using namespace platform::ui;
    if (IsModifierKey(keyval)) return std::nullopt;
    const bool function = keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F12;
    const bool chord = (modifiers & (kModAlt | kModControl)) != 0 && (modifiers & kModShift) == 0;
    if (!function && !chord) return std::nullopt;
    const std::string text = ShortCutText(ShortCut{keyval, modifiers});
    if (text.size() <= 1) return std::nullopt;
    return text;
}

TSettingFormController::HotKeyPress TSettingFormController::HotKeyEditKey(unsigned keyval,
                                                                          unsigned modifiers) {
    switch (keyval) {
        case GDK_KEY_Tab:
        case GDK_KEY_ISO_Left_Tab:
        case GDK_KEY_KP_Tab:
        case GDK_KEY_Escape:
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter:
            return {false, std::nullopt};
        case GDK_KEY_BackSpace:
        case GDK_KEY_Delete:
        case GDK_KEY_KP_Delete:
            if (modifiers == 0) return {true, AnsiString()};
            break;
        default:
            break;
    }
    return {true, HotKeyText(keyval, modifiers)};
}

bool TSettingFormController::HotKeyUsable(const AnsiString& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == AnsiString::npos) return true;
    const size_t last = text.find_last_not_of(" \t");
    return platform::ui::ParseShortCutText(std::string_view(text).substr(first, last - first + 1))
        .has_value();
}

bool TSettingFormController::SaveSettings() const {
    using platform::RegistryRoot;
    bool saved = Values.AutoRun
                     ? platform::WriteRegistryString(RegistryRoot::kCurrentUser, platform::kRunKey,
                                                     kRunValue, platform::ProgramFile())
                     : platform::DeleteRegistryValue(RegistryRoot::kCurrentUser, platform::kRunKey,
                                                     kRunValue);
    const platform::IniFile ini(SettingsFile());
    std::string hotKey = Values.HotKey;
    const size_t first = hotKey.find_first_not_of(" \t");
    hotKey = first == std::string::npos
                 ? std::string()
                 : hotKey.substr(first, hotKey.find_last_not_of(" \t") - first + 1);
    // A text that names no key never replaces the key that works.
    if (HotKeyUsable(hotKey))
        saved = ini.WriteString(kGeneralSection, "CustomHotKey", hotKey) && saved;
    saved = ini.WriteInteger(kGeneralSection, "MaxCacheSize",
                             std::clamp(Values.MaxCacheSize, 1, 9999)) &&
            saved;
    saved = ini.WriteBool(kGeneralSection, "ScanCache", Values.ScanCache) && saved;
    saved = ini.WriteBool(kGeneralSection, "AutoNotify", Values.AutoNotify) && saved;
    return saved;
}

bool TSettingFormController::ApplyDataFolder() const {
    const std::string folder = WithSlash(selectedFolder_);
    if (folder.size() < 2) return false;
    for (const std::string_view name : {kBookFolderName, kImageFolderName, kCacheFolderName})
        if (!platform::MakeFolders(folder + std::string(name))) return false;
    // The folders may exist and still refuse files (a volume mounted read-only).
    std::string probe = folder + std::string(kBookFolderName) + "/.quira-probe-XXXXXX";
    const int fd = mkstemp(probe.data());
    if (fd < 0) return false;
    const bool written = ::write(fd, "x", 1) == 1;
    ::close(fd);
    ::unlink(probe.c_str());
    if (!written) return false;
    SetDataFolder(folder);
    MoveImageFolder(false);
    WriteDataFolder(folder);
    return true;
}
