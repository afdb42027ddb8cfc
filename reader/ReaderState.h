#pragma once

#include <string>

// What the whole reading program shares: the local-reading flag chosen on the
// command line, the online flag fed by the network check, and the folders the
// reader works in.

// True when the reader was started with "-localread": it shows local text
// files instead of stories. Decided once at start.
bool IsLocalRead();
void SetLocalRead(bool localRead);

// The network check's judgement; true at start.
bool IsOnline();
void SetOnline(bool online);

// Derives the folders from set.ini: the application folder, the data folder
// named there when it exists (else the application folder), and creates the
// book folder, with its LocalRead folder when asked. Run at start and again
// when the main program says its settings changed.
void DeriveReaderFolders(bool withLocalRead);

// BookFolder() + "LocalRead/": the local-reading page and Scroll.ini.
std::string LocalReadFolder();

// Runs a handler that the main loop calls (a signal, a timer, a posted
// message). An exception inside it ends there: the program drops every
// exception that reaches its loop, and none may leave a GLib callback.
template <typename F>
void RunGuarded(F&& handler) noexcept {
    try {
        handler();
    } catch (...) {
    }
}
