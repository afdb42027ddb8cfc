#pragma once

#include <string>

// The XDG folders that stand in for the Windows special folders. Each call
// reads the environment afresh (GLib caches its own answers for the life of
// the process, which a test with its own HOME could not change). Paths are
// UTF-8 and have no trailing "/".
namespace platform {

// $HOME, else the home folder of the user's account.
std::string HomeFolder();
// $XDG_DATA_HOME, else ~/.local/share: the per-user application data.
std::string DataHomeFolder();
// $XDG_CONFIG_HOME, else ~/.config.
std::string ConfigHomeFolder();
// XDG_DESKTOP_DIR of user-dirs.dirs, else ~/Desktop.
std::string DesktopFolder();
// Where menu entries live: the data home's "applications".
std::string StartMenuFolder();
// $XDG_RUNTIME_DIR + "/Velqo", created with mode 0700. Without a runtime
// folder: "$TMPDIR/velqo-<uid>" ("/tmp" without TMPDIR) when it is, or can
// be made, a real folder of this user with mode 0700; when someone else made
// that name first (another user, a link, a folder open to others), a private
// folder in the user's cache folder, "velqo-runtime-<host>" (the refusal is
// told on stderr once). Empty when no private folder can be had.
std::string RuntimeFolder();

// The running program's file and folder (from /proc/self/exe).
std::string ProgramFile();
std::string ProgramFolderOf(const std::string& file);

// Creates the folder and its parents; true when it exists afterwards.
bool MakeFolders(const std::string& path);

// The whole content of a regular file. False (bytes empty) when the path is
// missing, names no regular file (a folder, a pipe) or cannot be read; never
// throws, unlike a stream iterator over a folder.
bool ReadWholeFile(const std::string& path, std::string& bytes);
// The size of a regular file in bytes; -1 when the path names none.
long long RegularFileSize(const std::string& path);

}  // namespace platform
