#pragma once

#include <string>
#include <vector>

// The program block of the reading program: one instance per user (the lock
// "velqo@QuiraReader"), started by the main program with "-read" (open what
// the shared block names) or "-localread" (local text files). Any other start
// ends at once without a window; a second start hands its switch (and the
// file of a local start) to the running reader over its channel and ends.

enum class ReaderSwitch { None, Read, LocalRead };

// The first argument that is "-read" or "-localread" (compared lower-cased,
// whole) decides; other arguments are skipped.
ReaderSwitch ScanReaderArguments(const std::vector<std::string>& arguments);

// The file named after "-localread" (as a desktop's "open with" gives it),
// which the reader then opens in place of asking for one: the first argument
// after it that is no switch. Empty when none follows or "-localread" does
// not decide.
std::string LocalFileArgument(const std::vector<std::string>& arguments);

// Runs the program; the process's exit code.
int RunReaderProgram(int argc, char** argv);
