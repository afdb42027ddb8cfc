#pragma once

#include <string>
#include <vector>

// The start of the main program: the automation switches, the installation
// check, the single instance, then the main window on the UI loop.

// The automation-server switches of the command line, found with or without
// a leading "-" or "/", in any letter case.
struct TProgramSwitches {
    bool RegServer = false;
    bool UnregServer = false;
    bool Automation = false;
    bool Embedding = false;
    // Registering and unregistering end the program at once: no window, no lock.
    bool EndAtOnce() const { return RegServer || UnregServer; }
};
TProgramSwitches ParseProgramSwitches(const std::vector<std::string>& arguments);

// The name of the single-instance lock of the main program.
inline constexpr const char* kMainProgramLock = "velqo@Quira";

// Runs the program; returns the exit status.
int RunQuira(int argc, char** argv);
