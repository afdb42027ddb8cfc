#pragma once

#include <string>
#include <string_view>

// Writes a whole file so that no reader ever sees a part of it: the bytes go
// to a temporary file beside the target, which then replaces the target in
// one rename. The reader program may open a chapter file while the main
// program rewrites it; an export interrupted half-way leaves the earlier
// file. False when any step fails (the temporary file is removed then).
bool WriteFileAtomic(const std::string& path, std::string_view bytes);

// Creates the folder and its missing parents; true when it exists afterwards.
bool MakeFolders(const std::string& folder);
