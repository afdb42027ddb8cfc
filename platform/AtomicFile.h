#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

namespace platform {

// How much a written file has to survive.
enum class FileDurability {
    // What can be fetched or made again (chapter cache files, their pictures,
    // list pages, covers): replaced whole, without waiting for the disk. A
    // file torn by a power cut is made again (a chapter file checks itself by
    // its published marker).
    Replaceable,
    // What cannot (settings, the story list and its pictures, exports): the
    // bytes reach the disk before the file takes its name, and the new name
    // reaches the disk before the call returns.
    Durable,
};

// Writes a whole file so that no reader ever sees a part of it: the bytes go
// to a temporary file beside the target, which then replaces the target in
// one rename. The reader program may open a chapter file while the main
// program rewrites it; an export interrupted half-way leaves the earlier
// file. A new file gets the mode the umask gives; a replaced one keeps its
// mode. False when any step fails (the temporary file is removed then).
bool WriteFileAtomic(const std::string& path, std::string_view bytes,
                     FileDurability durability = FileDurability::Durable);

// Puts a finished temporary file in place of path, durably: its bytes are
// synced, it is renamed over path and the folder is synced. False (the
// temporary file removed) when a step fails.
bool ReplaceFileDurably(const std::string& temporary, const std::string& path);

// Syncs the folder's entries, so that a rename or a new file in it lasts.
bool SyncFolder(const std::string& folder);

// The mode a new file gets from the process's umask (0666 without it).
mode_t NewFileMode();

}  // namespace platform
