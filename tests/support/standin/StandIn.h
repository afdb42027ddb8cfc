#pragma once

#include <glib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

// The program stand-in (tests/support/standin/ProgramStandIn.cpp) placed in a
// program folder under one of our programs' names, and what it recorded: one
// line per event, in the order the stand-ins wrote them. Every stand-in of
// that name in the folder records into the same file.
class StandInProgram {
  public:
    StandInProgram(const std::string& folder, const std::string& name)
        : path_(folder + "/" + name), log_(path_ + ".log") {
        std::filesystem::create_directories(folder);
        std::error_code error;
        std::filesystem::remove(path_, error);
        std::filesystem::create_symlink(QUIRA_STANDIN_PROGRAM, path_);
    }

    const std::string& Path() const { return path_; }

    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        std::ifstream file(log_);
        for (std::string line; std::getline(file, line);) lines.push_back(line);
        return lines;
    }

    // The lines that begin with prefix ("message 1234 " and the like).
    std::vector<std::string> LinesStartingWith(const std::string& prefix) const {
        std::vector<std::string> found;
        for (auto& line : Lines()) {
            if (line.rfind(prefix, 0) == 0) found.push_back(line);
        }
        return found;
    }

    // Waits until at least count lines begin with prefix, running the
    // default main loop meanwhile; returns those lines.
    std::vector<std::string> WaitForLines(const std::string& prefix, std::size_t count = 1,
                                          int timeoutMs = 20000) const {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            auto found = LinesStartingWith(prefix);
            if (found.size() >= count || std::chrono::steady_clock::now() > deadline) return found;
            while (g_main_context_iteration(nullptr, FALSE)) {
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

  private:
    std::string path_;
    std::string log_;
};

}  // namespace testing_support
