#include "core/Folders.h"

#include <gio/gio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <random>

#include "core/TextHelpers.h"
#include "platform/Folders.h"
#include "platform/IniFile.h"
#include "platform/ProgramChannel.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/Url.h"
#include "platform/Version.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kGeneral = kGeneralSection;
constexpr std::string_view kTemplatePrefix = "/quira2/";
constexpr std::string_view kFolderNameCharacters = "0ABCDEFGHIJKLMNOPQRSTUVWXYZ123456789";
constexpr size_t kFolderNameLength = 30;
// The programs whose files carry the build's version.
constexpr std::string_view kOwnPrograms[] = {"Quira", "QuiraReader"};

// The folder texts: set at start on the user-interface thread (the data
// folder again from the settings), read by every thread, always as copies.
std::mutex folderMutex;
std::optional<std::string> appFolder;
std::optional<std::string> dataFolder;
std::optional<std::string> programFolder;

std::string WithSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder.push_back('/');
    return folder;
}

bool IsFolder(const std::string& path) {
    std::error_code error;
    return !path.empty() && fs::is_directory(path, error);
}

bool IsFile(const std::string& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

// Two texts that name one folder (through links, "..", a trailing "/").
bool SameFolder(const std::string& a, const std::string& b) {
    std::error_code error;
    if (fs::equivalent(a, b, error)) return true;
    const fs::path left = fs::weakly_canonical(a, error);
    const fs::path right = fs::weakly_canonical(b, error);
    return !error && (left / "").lexically_normal() == (right / "").lexically_normal();
}

platform::IniFile Settings() {
    return platform::IniFile(SettingsFile());
}

std::string AppFolderFromEnvironment() {
    return GetSpecialFolder(26) + std::string(kAppFolderName) + "/";
}

// The template bundle stays loaded once found, like a library that is never
// freed; a missing bundle is looked for again on the next call.
GResource* TemplateBundle(const std::string& path) {
    static std::mutex mutex;
    static std::map<std::string, GResource*> loaded;
    std::lock_guard lock(mutex);
    if (const auto it = loaded.find(path); it != loaded.end()) return it->second;
    GResource* resource = g_resource_load(path.c_str(), nullptr);
    if (resource) loaded[path] = resource;
    return resource;
}

// The resource of that name; names compare without letter case, as the
// resource names of a library do.
struct BytesUnref {
    void operator()(GBytes* bytes) const { g_bytes_unref(bytes); }
};
using Bytes = std::unique_ptr<GBytes, BytesUnref>;

GBytes* LookupTemplate(GResource* bundle, std::string_view name) {
    const std::string path = std::string(kTemplatePrefix) + std::string(name);
    if (GBytes* bytes =
            g_resource_lookup_data(bundle, path.c_str(), G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr)) {
        return bytes;
    }
    const std::string folder(kTemplatePrefix);
    gchar** children = g_resource_enumerate_children(bundle, folder.c_str(),
                                                     G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
    GBytes* found = nullptr;
    for (gchar** child = children; child && *child && !found; ++child) {
        if (g_ascii_strcasecmp(*child, std::string(name).c_str()) == 0) {
            found = g_resource_lookup_data(bundle, (folder + *child).c_str(),
                                           G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
        }
    }
    g_strfreev(children);
    return found;
}

bool IsOwnProgram(const std::string& file) {
    if (!IsFile(file)) return false;
    const std::string name = fs::path(file).filename().string();
    for (const auto program : kOwnPrograms) {
        if (name == program) return true;
    }
    std::error_code error;
    const std::string self = platform::ProgramFile();
    return !self.empty() && fs::equivalent(file, self, error);
}

}  // namespace

std::string GetSpecialFolder(int csidl) {
    switch (csidl) {
        case 0:
            return platform::DesktopFolder() + "/";
        case 2:
            return platform::StartMenuFolder() + "/";
        case 26:
            return platform::DataHomeFolder() + "/";
        default:
            return {};
    }
}

std::string AppFolder() {
    {
        const std::lock_guard lock(folderMutex);
        if (appFolder) return *appFolder;
    }
    // Not set yet: follow the environment (a test's own XDG tree).
    return AppFolderFromEnvironment();
}

std::string DataFolder() {
    {
        const std::lock_guard lock(folderMutex);
        if (dataFolder) return *dataFolder;
    }
    return AppFolder();
}

std::string BookFolder() {
    return DataFolder() + std::string(kBookFolderName) + "/";
}

std::string SettingsFile() {
    return AppFolder() + std::string(kSettingsFileName);
}

std::string ProgramFolder() {
    {
        const std::lock_guard lock(folderMutex);
        if (programFolder) return *programFolder;
    }
    return WithSlash(platform::ProgramFolderOf(platform::ProgramFile()));
}

void SetAppFolder(std::string folder) {
    folder = WithSlash(std::move(folder));
    const std::lock_guard lock(folderMutex);
    appFolder = std::move(folder);
}
void SetDataFolder(std::string folder) {
    folder = WithSlash(std::move(folder));
    const std::lock_guard lock(folderMutex);
    dataFolder = std::move(folder);
}
void SetProgramFolder(std::string folder) {
    folder = WithSlash(std::move(folder));
    const std::lock_guard lock(folderMutex);
    programFolder = std::move(folder);
}

void InitFolders() {
    SetAppFolder(AppFolderFromEnvironment());
    platform::MakeFolders(AppFolder());
    const std::string stored = ReadDataFolder();
    SetDataFolder(IsFolder(stored) ? stored : AppFolder());
    MoveImageFolder(true);
    for (const auto name : {kBookFolderName, kImageFolderName, kCacheFolderName}) {
        platform::MakeFolders(DataFolder() + std::string(name));
    }
    platform::MakeFolders(AppFolder() + std::string(kPicFolderName));
}

std::string ReadDataFolder() {
    return Settings().ReadString(kGeneral, "VelqoData", "");
}

void WriteDataFolder(const std::string& folder) {
    Settings().WriteString(kGeneral, "VelqoData", folder);
}

bool ReadInstallFlag() {
    return Settings().ReadBool(kGeneral, "Install", false);
}

int ReadMaxCacheSize() {
    return Settings().ReadInteger(kGeneral, "MaxCacheSize", 500);
}

bool ReadAutoNotify() {
    return Settings().ReadBool(kGeneral, "AutoNotify", true);
}

void MoveImageFolder(bool onlyWhenInstalling) {
    if (onlyWhenInstalling && !ReadInstallFlag()) return;
    // One folder is one folder here by the file system's own test: letter case
    // tells folders apart on Linux, links and ".." do not.
    if (!SameFolder(DataFolder(), AppFolder())) {
        platform::MakeFolders(DataFolder());
        CopyFolderFiles(AppFolder() + std::string(kImageFolderName),
                        DataFolder() + std::string(kImageFolderName));
    }
    Settings().WriteBool(kGeneral, "Install", false);
}

bool CopyFolderFiles(const std::string& from, const std::string& to) {
    std::error_code error;
    if (!fs::is_directory(from, error)) return false;
    // The target is made when missing: at start the data folder's Image
    // folder does not exist yet, and the pictures must not be lost on the way.
    if (!platform::MakeFolders(to)) return false;
    bool all = true;
    for (fs::directory_iterator it(from, error), end; !error && it != end; it.increment(error)) {
        if (!it->is_regular_file(error)) continue;
        fs::copy_file(it->path(), fs::path(to) / it->path().filename(),
                      fs::copy_options::overwrite_existing, error);
        all = all && !error;
        error.clear();
    }
    return all && !error;
}

bool CheckInstallation() {
    const std::string program = ProgramFolder();
    if (!IsFile(program + std::string(kTemplateBundleName)) ||
        !IsFile(program + std::string(kReaderProgramName))) {
        return false;
    }
    platform::MakeFolders(AppFolder());
    const std::string target = AppFolder() + std::string(kDatabaseFileName);
    const std::string shipped = program + std::string(kDatabaseFileName);
    std::error_code error;
    if (!fs::exists(target, error) && IsFile(shipped)) {
        // skip_existing: a database that appeared meanwhile is never replaced.
        fs::copy_file(shipped, target, fs::copy_options::skip_existing, error);
    }
    return IsFile(target);
}

std::string RandomFolderName() {
    // Seeded once per thread from the system's random source; reseeding from
    // the clock for each character repeated characters and let two stories
    // made in the same moment share one folder.
    thread_local std::mt19937_64 generator = [] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device(), device(), device()};
        return std::mt19937_64(seed);
    }();
    std::uniform_int_distribution<size_t> pick(0, kFolderNameCharacters.size() - 1);
    std::string name;
    name.reserve(kFolderNameLength);
    for (size_t i = 0; i < kFolderNameLength; ++i)
        name.push_back(kFolderNameCharacters[pick(generator)]);
    return name;
}

void LoadTemplateResource(std::string_view name, std::vector<std::string>& list) {
    list.clear();
    GResource* bundle = TemplateBundle(ProgramFolder() + std::string(kTemplateBundleName));
    if (!bundle) return;
    const Bytes bytes(LookupTemplate(bundle, name));
    if (!bytes) return;
    gsize size = 0;
    const auto* data = static_cast<const char*>(g_bytes_get_data(bytes.get(), &size));
    for (const std::string_view line : SplitLines(std::string_view(data, size))) {
        list.emplace_back(line);
    }
}

std::string LoadTextFile(const std::string& file) {
    std::string bytes;
    if (!platform::ReadWholeFile(file, bytes)) return {};
    std::string text;
    text.reserve(bytes.size() + bytes.size() / 16);
    bool first = true;
    for (const std::string_view line : SplitLines(bytes)) {
        if (!first) text.append("\r\n");
        text.append(line);
        first = false;
    }
    return text;
}

bool DeletePath(const std::string& path) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(path, error);
    if (error || !fs::exists(status)) return false;
    // A file (or a link, never followed), then an empty folder, then the tree.
    if (!fs::is_directory(status)) return fs::remove(path, error);
    if (fs::remove(path, error)) return true;
    return ShellDeleteFolder(path);
}

bool ShellDeleteFolder(const std::string& path) {
    std::error_code error;
    fs::remove_all(path, error);
    return !error && !fs::exists(fs::symlink_status(path, error));
}

std::string GetFileVersionText(const std::string& file) {
    return IsOwnProgram(file) ? platform::VersionText() : std::string();
}

std::string GetFileVersionString(const std::string& file, std::string_view name) {
    if (name == "FileVersion" || name == "ProductVersion") return GetFileVersionText(file);
    return {};
}

std::string GetOEMVersion() {
    std::string value;
    if (!platform::ReadRegistryString(platform::RegistryRoot::kCurrentUser, "Software\\Velqo",
                                      "OEMVer", value)) {
        return {};
    }
    for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return value;
}

void ShellOpen(const std::string& file, const std::string& parameters) {
    // A program is started with its parameters as arguments; anything else
    // opens in the desktop's application for it. Errors are ignored.
    if (IsFile(file) && access(file.c_str(), X_OK) == 0) {
        platform::StartProgram(file, platform::SplitParameters(parameters));
    } else if (!platform::UrlScheme(file).empty()) {
        OpenURL(file);
    } else {
        platform::OpenFile(file);
    }
}

bool OpenURL(const std::string& url) {
    // Texts from downloaded pages reach this: only web pages and local files
    // are opened, never another scheme a desktop would act on.
    const std::string scheme = platform::UrlScheme(url);
    if (scheme != "http" && scheme != "https" && scheme != "file") return false;
    return platform::OpenUri(url);
}

bool RunElevated(const std::string& file, const std::string& parameters) {
    return platform::StartProgram(file, platform::SplitParameters(parameters));
}

bool PostToWindowsWithTitle(std::string_view title) {
    return platform::ProgramChannel::PostToTitle(platform::AnsiToUtf8(title),
                                                 {platform::kWmUser + 2, 0, 0});
}

void WriteDebugLog(std::string_view) {}
