#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// Opening documents and starting programs. A program always gets its
// arguments as a vector: no text is ever handed to a shell.
namespace platform {

// Opens the URI with the desktop's default application. False when no
// application takes it.
bool OpenUri(const std::string& uri);
// Opens a local file (UTF-8 path) with its default application.
bool OpenFile(const std::string& path);

// Starts the program with the arguments (argv[0] is the program itself) and
// leaves it running; the child is reaped when it ends. False when it cannot
// be started (missing, not executable).
bool StartProgram(const std::string& program, const std::vector<std::string>& arguments);
// The same, returning the process id for the caller to wait on; -1 on failure.
pid_t SpawnProgram(const std::string& program, const std::vector<std::string>& arguments);

// A parameter text split into arguments the way a command line is (quotes
// group, backslashes escape), without running anything. Empty on bad quoting.
std::vector<std::string> SplitParameters(const std::string& parameters);

}  // namespace platform
