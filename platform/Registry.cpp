#include "platform/Registry.h"

#include <glib.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "platform/BuildConfig.h"
#include "platform/Folders.h"
#include "platform/IniFile.h"

namespace platform {
namespace {

constexpr const char* kDesktopGroup = "Desktop Entry";

struct KeyFileDeleter {
    void operator()(GKeyFile* file) const { g_key_file_free(file); }
};
using KeyFile = std::unique_ptr<GKeyFile, KeyFileDeleter>;

std::string SectionName(RegistryRoot root, std::string_view key) {
    std::string section =
        root == RegistryRoot::kCurrentUser ? "HKEY_CURRENT_USER\\" : "HKEY_LOCAL_MACHINE\\";
    section.append(key);
    return section;
}

bool IsAutostart(RegistryRoot root, std::string_view key) {
    if (root != RegistryRoot::kCurrentUser || key.size() != kRunKey.size()) return false;
    for (size_t i = 0; i < key.size(); ++i) {
        if (g_ascii_tolower(key[i]) != g_ascii_tolower(kRunKey[i])) return false;
    }
    return true;
}

// A file name from a value name: nothing that leaves the autostart folder.
std::string EntryName(std::string_view name) {
    std::string safe(name);
    for (char& c : safe) {
        if (c == '/' || c == '\\' || c == '\0') c = '_';
    }
    if (safe.empty() || safe == "." || safe == "..") safe = "_" + safe;
    return safe;
}

// The value as one argument of Exec: quoted, with the characters that the
// desktop-entry format treats specially escaped, so any program path starts.
std::string QuoteExec(std::string_view value) {
    std::string exec = "\"";
    for (const char c : value) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') exec.push_back('\\');
        if (c == '%') exec.push_back('%');
        exec.push_back(c);
    }
    exec.push_back('"');
    return exec;
}

std::string UnquoteExec(const std::string& exec) {
    gint argc = 0;
    gchar** argv = nullptr;
    if (!g_shell_parse_argv(exec.c_str(), &argc, &argv, nullptr)) return exec;
    std::string value;
    for (gint i = 0; i < argc; ++i) {
        if (i > 0) value.push_back(' ');
        for (const char* c = argv[i]; *c; ++c) {
            if (c[0] == '%' && c[1] == '%') ++c;
            value.push_back(*c);
        }
    }
    g_strfreev(argv);
    return value;
}

bool ReadAutostart(std::string_view name, std::string& value) {
    KeyFile file(g_key_file_new());
    if (!g_key_file_load_from_file(file.get(), AutostartFile(name).c_str(), G_KEY_FILE_NONE,
                                   nullptr)) {
        return false;
    }
    // An entry switched off in the desktop's settings counts as absent.
    if (g_key_file_get_boolean(file.get(), kDesktopGroup, "Hidden", nullptr)) return false;
    gchar* exec = g_key_file_get_string(file.get(), kDesktopGroup, "Exec", nullptr);
    if (!exec) return false;
    value = UnquoteExec(exec);
    g_free(exec);
    return true;
}

bool WriteAutostart(std::string_view name, std::string_view value) {
    const std::string folder = ConfigHomeFolder() + "/autostart";
    if (!MakeFolders(folder)) return false;
    KeyFile file(g_key_file_new());
    const std::string entryName(name);
    g_key_file_set_string(file.get(), kDesktopGroup, "Type", "Application");
    g_key_file_set_string(file.get(), kDesktopGroup, "Name", entryName.c_str());
    g_key_file_set_string(file.get(), kDesktopGroup, "Exec", QuoteExec(value).c_str());
    // The icon the installed tree puts in the icon theme.
    g_key_file_set_string(file.get(), kDesktopGroup, "Icon", build::kAppId);
    g_key_file_set_boolean(file.get(), kDesktopGroup, "Terminal", FALSE);
    g_key_file_set_boolean(file.get(), kDesktopGroup, "X-GNOME-Autostart-enabled", TRUE);
    return g_key_file_save_to_file(file.get(), AutostartFile(name).c_str(), nullptr);
}

}  // namespace

std::string RegistryFile() {
    return DataHomeFolder() + "/Velqo/registry.ini";
}

std::string AutostartFile(std::string_view name) {
    return ConfigHomeFolder() + "/autostart/" + EntryName(name) + ".desktop";
}

bool ReadRegistryString(RegistryRoot root, std::string_view key, std::string_view name,
                        std::string& value) {
    if (IsAutostart(root, key)) return ReadAutostart(name, value);
    const IniFile store(RegistryFile());
    const std::string section = SectionName(root, key);
    if (!store.ValueExists(section, name)) return false;
    value = store.ReadString(section, name, "");
    return true;
}

bool WriteRegistryString(RegistryRoot root, std::string_view key, std::string_view name,
                         std::string_view value) {
    if (IsAutostart(root, key)) return WriteAutostart(name, value);
    const std::string file = RegistryFile();
    if (!MakeFolders(ProgramFolderOf(file))) return false;
    return IniFile(file).WriteString(SectionName(root, key), name, value);
}

bool DeleteRegistryValue(RegistryRoot root, std::string_view key, std::string_view name) {
    if (IsAutostart(root, key)) {
        const std::string file = AutostartFile(name);
        return std::remove(file.c_str()) == 0 || errno == ENOENT;
    }
    const IniFile store(RegistryFile());
    return store.DeleteKey(SectionName(root, key), name) ||
           !store.ValueExists(SectionName(root, key), name);
}

}  // namespace platform
