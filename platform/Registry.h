#pragma once

#include <string>
#include <string_view>

// The registry values the programs keep, in a small key/value file of the
// application folder (<data home>/Velqo/registry.ini: one section per key,
// one line per value; keys and names compare without letter case, as the
// registry does). Values of the per-user Run key are autostart entries
// instead: <config home>/autostart/<name>.desktop, so the desktop starts the
// program at login.
namespace platform {

enum class RegistryRoot { kCurrentUser, kLocalMachine };

inline constexpr std::string_view kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// True and the value when it exists.
bool ReadRegistryString(RegistryRoot root, std::string_view key, std::string_view name,
                        std::string& value);
// False when the store cannot be written.
bool WriteRegistryString(RegistryRoot root, std::string_view key, std::string_view name,
                         std::string_view value);
// True when the value is gone afterwards (also when it never existed).
bool DeleteRegistryValue(RegistryRoot root, std::string_view key, std::string_view name);

std::string RegistryFile();
std::string AutostartFile(std::string_view name);

}  // namespace platform
