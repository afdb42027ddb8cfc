// A stand-in for one of our programs, for tests that start programs or post
// to them. It takes its part from its file name: "QuiraReader" serves the
// reader's window class, "Quira" the main window's caption; any other name is
// its own class. It records, one line each, in the file named by
// QUIRA_STANDIN_LOG (else its own path + ".log"):
//   start <pid>[\t<argument>]...
//   block <pid>\t<SiteID>\t<StoryID>\t<ChapterID>\t<ContinueRead>   (reader only)
//   ready <pid>                        its channel is open
//   message <pid> <message> <wparam> <lparam>[\t<text>]...   (TAB, line
//                                      break and backslash in a text escaped)
//   closed <pid>                       WM_CLOSE came; it ends with status 0
// QUIRA_STANDIN_DELAY_MS holds its channel back that long, as a slow start.
#include <fcntl.h>
#include <glib.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "exchange/XDataShare.h"
#include "platform/ProgramChannel.h"

namespace {

constexpr gint64 kLifetimeSeconds = 120;

std::string logPath;

// One write per line: lines of several stand-ins never mix.
void Record(const std::string& line) {
    const int fd = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return;
    const std::string text = line + "\n";
    if (write(fd, text.data(), text.size()) < 0) {
    }
    close(fd);
}

std::string Escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::string BaseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int main(int argc, char** argv) {
    // Never outlive the program that started it (its process: the thread
    // that started it may end long before, so no parent-death signal).
    const pid_t parent = getppid();
    const std::string self = argv[0];
    const char* logEnv = std::getenv("QUIRA_STANDIN_LOG");
    logPath = logEnv && *logEnv ? logEnv : self + ".log";
    const std::string pid = std::to_string(getpid());
    const std::string name = BaseName(self);

    std::string start = "start " + pid;
    for (int i = 1; i < argc; ++i) start += std::string("\t") + argv[i];
    Record(start);

    std::string className = name;
    std::string title = name;
    if (name == "QuiraReader") {
        className = "TBookReaderForm";
        AnsiString site, story, chapter;
        unsigned char continueRead = 0;
        TXDataShare().Read(site, story, chapter, continueRead);
        Record("block " + pid + "\t" + site + "\t" + story + "\t" + chapter + "\t" +
               std::to_string(continueRead));
    } else if (name == "Quira") {
        className = "TMainForm";
        title = "VE@LQO";
    }

    if (const char* delay = std::getenv("QUIRA_STANDIN_DELAY_MS")) {
        g_usleep(static_cast<gulong>(std::atol(delay)) * 1000);
    }

    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    auto channel =
        platform::ProgramChannel::Open(className, title, [&](const platform::ChannelMessage& m) {
            std::string line = "message " + pid + " " + std::to_string(m.message) + " " +
                               std::to_string(m.wparam) + " " + std::to_string(m.lparam);
            for (const auto& text : m.texts) line += "\t" + Escaped(text);
            Record(line);
            if (m.message == platform::kWmClose) g_main_loop_quit(loop);
        });
    if (!channel) return 2;
    Record("ready " + pid);
    const gint64 end = g_get_monotonic_time() + kLifetimeSeconds * G_USEC_PER_SEC;
    struct Watch {
        GMainLoop* loop;
        pid_t parent;
        gint64 end;
    } watch{loop, parent, end};
    g_timeout_add(
        100,
        [](gpointer data) -> gboolean {
            const auto* w = static_cast<Watch*>(data);
            if (getppid() != w->parent || g_get_monotonic_time() > w->end) {
                g_main_loop_quit(w->loop);
                return G_SOURCE_REMOVE;
            }
            return G_SOURCE_CONTINUE;
        },
        &watch);
    g_main_loop_run(loop);
    channel.reset();
    g_main_loop_unref(loop);
    Record("closed " + pid);
    return 0;
}
