#pragma once

// What the files that define TMainForm's members share: the record that
// posted closures hold in place of the window, and a few small helpers.
// Private to those files (MainForm.cpp and MainForm*.cpp).

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/Charset.h"
#include "shelf/MainForm.h"

namespace mainform {

inline AnsiString A(const char* utf8) {
    return platform::Utf8ToAnsi(utf8);
}

constexpr int kStripHeight = 42;

inline bool IsFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

// A link's text without the blanks around it.
inline std::string TrimmedLink(const std::string& url) {
    std::string trimmed = url;
    while (!trimmed.empty() && static_cast<unsigned char>(trimmed.back()) <= ' ')
        trimmed.pop_back();
    size_t start = 0;
    while (start < trimmed.size() && static_cast<unsigned char>(trimmed[start]) <= ' ') ++start;
    trimmed.erase(0, start);
    return trimmed;
}

}  // namespace mainform

// The files of TMainForm all speak in these helpers.
using namespace mainform;

// What posted closures hold instead of the window: the window while it
// lives, and the counters the workers read.
struct TMainForm::Alive {
    explicit Alive(TMainForm* f) : form(f) {}
    TMainForm* form;
    std::atomic<uint64_t> storyTicket{0};
};
