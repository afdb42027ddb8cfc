#pragma once

#include <sys/types.h>

#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// The client of the test agent: a library of the tests (AgentModule.cpp)
// that a test preloads into a program it starts as a process of its own.
// The agent serves a UNIX socket on the program's GLib main loop, in a folder
// the test names, and answers what the test cannot see from outside: the
// program's top-level windows, its widgets, the texts it painted (custom-drawn
// controls included), its web views, the results of scripts run in them, and
// screenshots of its windows. The programs themselves know nothing of it.
//
// Use:
//
//   const auto env = ProgramAgent::Environment(folder, {"Quira", "QuiraReader"});
//   ProcessRun quira(bin + "/Quira", {}, env);   // the agent loads into Quira
//   ProgramAgent agent = ProgramAgent::Connect(folder, quira.Pid());
//   for (const AgentWindow& w : agent.Windows()) ...
//   // QuiraReader, started by Quira, carries the agent too:
//   ProgramAgent reader = ProgramAgent::WaitForProgram(folder, "QuiraReader");
//
// Input is the test's own business (synthesised through XTest on the same
// display); Settle() then makes sure the program has taken it.
//
// Every request has a time-out: a program whose loop hangs, or that has
// ended, makes the request throw AgentError with a message that says which
// program did not answer which request. Nothing here blocks for longer than
// the time-out it was given.

namespace testing_support {

class AgentError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A page script whose document went away while it ran (the page loaded
// anew): the engine dropped its answer, so it says nothing of the script.
class AgentDocumentGone : public AgentError {
  public:
    using AgentError::AgentError;
};

// A rectangle in root (screen) coordinates.
struct AgentRect {
    int x = 0, y = 0, width = 0, height = 0;
    int CenterX() const { return x + width / 2; }
    int CenterY() const { return y + height / 2; }
    bool Empty() const { return width <= 0 || height <= 0; }
    bool Contains(int px, int py) const {
        return px >= x && py >= y && px < x + width && py < y + height;
    }
};

// Ids are opaque texts that stay the same for the life of the object.
struct AgentWindow {
    std::string id;
    std::string title;
    std::string kind;  // "toplevel" or "popup" (menus, tooltips)
    AgentRect rect;    // empty while the window has never been shown
    bool visible = false;
    bool mapped = false;
    bool iconified = false;
    bool modal = false;
    bool active = false;
    unsigned long xid = 0;
    // When the window first finished painting, in microseconds of the wall
    // clock (g_get_real_time); 0 while it has never painted.
    long long painted = 0;
};

struct AgentWidget {
    std::string id;
    std::string window;  // id of its top-level window
    std::string type;    // GType name: "GtkButton", "WebKitWebView", ...
    std::string name;    // gtk_widget_get_name
    std::string text;    // label, entry text, menu item, button, title
    AgentRect rect;
    bool visible = false;  // shown with all its parents
    bool mapped = false;
    bool sensitive = false;
    bool active = false;    // toggle buttons
    double fraction = 0.0;  // progress bars
};

// A text as the program last painted it (its visible part), for the texts
// that Pango paints on windows that are mapped.
struct AgentText {
    std::string window;
    std::string text;
    AgentRect rect;
};

struct AgentView {
    std::string id;
    std::string window;
    std::string uri;
    std::string title;
    AgentRect rect;
    bool loading = false;
    bool visible = false;  // mapped and shown in its place
    double progress = 0.0;
};

struct AgentPointer {
    std::string window;   // id of the program's window under the pointer; empty: none
    bool cursor = false;  // that window shows a cursor of its own (a hand on a link)
};

class ProgramAgent {
  public:
    static constexpr int kRequestTimeoutMs = 15000;

    // The environment entries that load the agent into a program started
    // with them (replacing variables of the same name), serving in folder;
    // the programs named (file names) that it starts get the agent too, no
    // other process does. The sanitizer runtime this process runs with, if
    // any, is preloaded first.
    static std::vector<std::string> Environment(const std::string& folder,
                                                const std::vector<std::string>& programs);
    // The agent library of this build.
    static std::string LibraryPath();

    // The agent of process pid, once it serves (the program has opened its
    // display); throws AgentError after timeoutMs or when the process ends.
    static ProgramAgent Connect(const std::string& folder, pid_t pid, int timeoutMs = 30000);
    // The agent of the newest running process of that program other than
    // those excluded; throws AgentError when none serves within timeoutMs.
    static ProgramAgent WaitForProgram(const std::string& folder, const std::string& program,
                                       int timeoutMs = 30000,
                                       const std::vector<pid_t>& exclude = {});
    // The ids of the running processes whose agents serve in folder.
    static std::vector<pid_t> Serving(const std::string& folder, const std::string& program);
    // How a program that another program with the agent started ended, once
    // its parent has collected it: the exit code, or 128 + the signal;
    // -1 while that is not known.
    static int ExitStatus(const std::string& folder, const std::string& program, pid_t pid);

    ProgramAgent(ProgramAgent&& other) noexcept;
    ProgramAgent& operator=(ProgramAgent&& other) noexcept;
    ~ProgramAgent();
    ProgramAgent(const ProgramAgent&) = delete;
    ProgramAgent& operator=(const ProgramAgent&) = delete;

    pid_t Pid() const { return pid_; }
    const std::string& Program() const { return program_; }

    std::vector<AgentWindow> Windows();
    // type: only widgets of that GType or derived from it; empty: all.
    std::vector<AgentWidget> Widgets(const std::string& type = {});
    std::vector<AgentText> Texts();
    std::vector<AgentView> Views();
    // Runs a script body in a web view as an async function (await and
    // return allowed) and gives the JSON text of its result ("null" for
    // none). When the document the script ran in goes away under it (the
    // view loads anew while the call is in flight), the script runs again
    // on the document that took its place, up to a bound: so a body is a
    // question, or an action that may be repeated on a new document. The
    // runs share timeoutMs (a run begun near its end still gets a moment).
    // Throws AgentError at once on the script's own error or when it does
    // not settle in time, and when the bound runs out, with the reason.
    std::string Script(const std::string& view, const std::string& body,
                       int timeoutMs = kRequestTimeoutMs);
    // Saves a PNG of the window as it shows on the screen.
    void Shoot(const std::string& window, const std::string& pngPath);
    // Returns once the program has taken every event the display sent it
    // so far (synthesised input included) and its windows have painted what
    // those events changed (up to a quarter second for a window whose
    // frames are stopped).
    void Settle();
    AgentPointer Pointer();

    // One request as JSON ({"op": ...}); the answer, or AgentError.
    nlohmann::json Request(nlohmann::json request, int timeoutMs = kRequestTimeoutMs);

  private:
    ProgramAgent(int fd, pid_t pid, std::string program);
    std::string Describe() const;

    int fd_ = -1;
    pid_t pid_ = 0;
    std::string program_;
    long nextId_ = 1;
    std::string buffer_;
};

// The first of the items whose text contains the part, or nullptr.
const AgentText* FindText(const std::vector<AgentText>& texts, std::string_view part);
const AgentWidget* FindWidget(const std::vector<AgentWidget>& widgets, std::string_view text);
const AgentWindow* FindWindow(const std::vector<AgentWindow>& windows, std::string_view title);

}  // namespace testing_support
