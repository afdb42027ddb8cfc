// The demo: two novel sites (GBK and UTF-8) and the vendor's services on
// 127.0.0.1, and the main program on a throw-away profile that lists them.
//
//   demo-site --run <Quira program>
//       checks that there is a display, makes a throw-away profile (its story
//       database lists the demo sites and follows a story whose stored latest
//       chapter is behind the site's), starts the servers and the program on
//       it, and when the program ends (or on Ctrl+C) ends what the program
//       left running, stops the servers and removes the profile.
//
//   demo-site --database <idata.dll path> [--port-file <file>]
//       only serves, and writes the site rows into that story database
//       (created when missing), until SIGINT or SIGTERM.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#ifdef QUIRA_DEMO_WITH_GTK
#include <gtk/gtk.h>
#endif

#include "tools/demo-site/DemoWorld.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

void Usage() {
    std::fprintf(stderr,
                 "usage: demo-site --run <Quira program>\n"
                 "       demo-site --database <idata.dll path> [--port-file <file>]\n");
}

// The signals the demo waits for; blocked in every thread, taken by sigwait.
sigset_t WaitedSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGCHLD}) sigaddset(&set, signal);
    return set;
}

// --- servers only ------------------------------------------------------------------------

int Serve(const std::string& database, const std::string& portFile) {
    DemoWorld world;
    if (!world.WriteDatabase(database, false)) {
        std::fprintf(stderr, "demo-site: cannot write the site rows into %s\n", database.c_str());
        return 1;
    }
    if (!portFile.empty()) std::ofstream(portFile) << world.SitesPort() << "\n";
    std::printf("%sStory database:    %s\nStop with Ctrl+C.\n", world.Summary().c_str(),
                database.c_str());
    std::fflush(stdout);
    const sigset_t waited = WaitedSignals();
    for (;;) {
        int signal = 0;
        sigwait(&waited, &signal);
        if (signal != SIGCHLD) break;
    }
    world.Stop();
    return 0;
}

// --- the whole demo ----------------------------------------------------------------------

// Whether a window can be shown: a display is named and opens.
bool DisplayAvailable(std::string& why) {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!x11 || !*x11) && (!wayland || !*wayland)) {
        why = "neither DISPLAY nor WAYLAND_DISPLAY is set";
        return false;
    }
#ifdef QUIRA_DEMO_WITH_GTK
    if (!gtk_init_check(nullptr, nullptr)) {
        why = std::string("the display ") + (x11 && *x11 ? x11 : wayland) + " does not open";
        return false;
    }
#endif
    return true;
}

// The throw-away profile: the programs' data, settings, caches and runtime
// files all live below it, so nothing of the user's own is read or written.
struct Profile {
    std::string root, home, data, config, cache, runtime;

    bool Make() {
        std::string pattern = (fs::temp_directory_path() / "quira-demo-XXXXXX").string();
        if (!mkdtemp(pattern.data())) return false;
        root = pattern;
        home = root + "/home";
        data = root + "/data";
        config = root + "/config";
        cache = root + "/cache";
        runtime = root + "/run";
        std::error_code error;
        for (const auto& folder : {home, data, config, cache, runtime}) {
            if (!fs::create_directories(folder, error)) return false;
        }
        return chmod(runtime.c_str(), 0700) == 0;
    }
    void Remove() const {
        std::error_code ignored;
        if (!root.empty()) fs::remove_all(root, ignored);
    }
    std::string Database() const { return data + "/Velqo/idata.dll"; }
};

std::string Appended(const char* name, const std::string& more) {
    const char* value = std::getenv(name);
    return value && *value ? std::string(value) + "," + more : more;
}

// The program's environment: ours, with the profile's home and folders, the service
// address, and loopback past any proxy.
std::vector<std::string> ProgramEnvironment(const Profile& profile, const DemoWorld& world) {
    std::vector<std::string> given = {
        "HOME=" + profile.home,
        "XDG_DATA_HOME=" + profile.data,
        "XDG_CONFIG_HOME=" + profile.config,
        "XDG_CACHE_HOME=" + profile.cache,
        "XDG_RUNTIME_DIR=" + profile.runtime,
        "QUIRA_SERVICE_URL=" + world.ServiceURL(),
        "no_proxy=" + Appended("no_proxy", "127.0.0.1,localhost"),
        "NO_PROXY=" + Appended("NO_PROXY", "127.0.0.1,localhost"),
    };
    // A Wayland display named relative to the old runtime folder keeps
    // working from the new one.
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (wayland && *wayland && wayland[0] != '/' && runtime && *runtime)
        given.push_back("WAYLAND_DISPLAY=" + std::string(runtime) + "/" + wayland);
    // The display's key stays where it was found, below the old home.
    const char* home = std::getenv("HOME");
    const char* authority = std::getenv("XAUTHORITY");
    if ((!authority || !*authority) && home && *home)
        given.push_back("XAUTHORITY=" + std::string(home) + "/.Xauthority");
    std::vector<std::string> environment = given;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('=') + 1);
        bool replaced = false;
        for (const auto& g : given) replaced = replaced || g.rfind(name, 0) == 0;
        if (!replaced) environment.push_back(text);
    }
    return environment;
}

pid_t StartProgram(const std::string& program, const std::vector<std::string>& environment) {
    std::vector<std::string> arguments = {program};
    std::vector<char*> argv;
    for (auto& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = environment;
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // The program gets the signals we block here back, with their usual
    // actions; in a group of its own, the terminal's Ctrl+C reaches only us,
    // and we end the program in order.
    sigset_t none, defaults = WaitedSignals();
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    pid_t pid = -1;
    const int rc =
        posix_spawn(&pid, program.c_str(), nullptr, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    if (rc != 0) {
        std::fprintf(stderr, "demo-site: cannot start %s: %s\n", program.c_str(),
                     std::strerror(rc));
        return -1;
    }
    return pid;
}

// Our children: the program, and what it started once it is gone (we are
// their subreaper).
std::vector<pid_t> Children() {
    std::vector<pid_t> children;
    std::error_code error;
    const std::string self = std::to_string(getpid());
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        std::getline(stat, line);
        // pid (comm) state ppid ...: the name may hold blanks and brackets.
        const size_t close = line.rfind(')');
        if (close == std::string::npos) continue;
        char state = 0;
        long ppid = 0;
        if (std::sscanf(line.c_str() + close + 1, " %c %ld", &state, &ppid) == 2 &&
            std::to_string(ppid) == self)
            children.push_back(static_cast<pid_t>(std::stol(name)));
    }
    return children;
}

// Ends every child: asked first, then killed after a grace period.
void EndChildren() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (const pid_t child : Children()) kill(child, SIGTERM);
    for (;;) {
        while (waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        const auto left = Children();
        if (left.empty()) return;
        if (std::chrono::steady_clock::now() > deadline) {
            for (const pid_t child : left) kill(child, SIGKILL);
            while (waitpid(-1, nullptr, 0) > 0) {
            }
            return;
        }
        usleep(50 * 1000);
    }
}

// Waits for the program; on a stop signal ends it first. Its exit status.
int WaitForProgram(pid_t program) {
    const sigset_t waited = WaitedSignals();
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(program, &status, WNOHANG);
        if (done == program)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        int signal = 0;
        sigwait(&waited, &signal);
        if (signal == SIGCHLD) continue;
        std::printf("\nEnding the demo...\n");
        std::fflush(stdout);
        kill(-program, SIGTERM);
        EndChildren();
        return 128 + signal;
    }
}

int RunDemo(const std::string& program) {
    std::string why;
    if (!DisplayAvailable(why)) {
        std::fprintf(stderr,
                     "make demo shows Quira's windows and needs a graphical display, but %s.\n"
                     "Run it inside a desktop session (or under xvfb-run with a VNC viewer).\n",
                     why.c_str());
        return 1;
    }
    if (access(program.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "demo-site: %s is not a program (build it first)\n", program.c_str());
        return 1;
    }
    // Whatever the program starts (the reader, the browser's helpers) is
    // handed to us when the program ends, so that we can end it too.
    prctl(PR_SET_CHILD_SUBREAPER, 1);

    Profile profile;
    if (!profile.Make()) {
        std::fprintf(stderr, "demo-site: cannot make the throw-away profile\n");
        profile.Remove();
        return 1;
    }
    DemoWorld world;
    if (!world.WriteDatabase(profile.Database(), true)) {
        std::fprintf(stderr, "demo-site: cannot write the story database %s\n",
                     profile.Database().c_str());
        world.Stop();
        profile.Remove();
        return 1;
    }
    std::printf("%sThrow-away profile: %s\n", world.Summary().c_str(), profile.root.c_str());
    std::printf(
        "Starting Quira. Quit it from its tray menu (退出; on a desktop without a tray, close its "
        "window), or press Ctrl+C here.\n");
    std::fflush(stdout);

    const pid_t pid = StartProgram(program, ProgramEnvironment(profile, world));
    int status = 1;
    if (pid > 0) {
        status = WaitForProgram(pid);
        // The reader and anything else the program left behind.
        EndChildren();
    }
    world.Stop();
    profile.Remove();
    std::printf("Demo ended: the servers are stopped and the profile is removed.\n");
    std::fflush(stdout);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    std::string database, portFile, program;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--database" && i + 1 < argc)
            database = argv[++i];
        else if (arg == "--port-file" && i + 1 < argc)
            portFile = argv[++i];
        else if (arg == "--run" && i + 1 < argc)
            program = argv[++i];
        else {
            Usage();
            return 2;
        }
    }
    if (database.empty() == program.empty()) {
        Usage();
        return 2;
    }
    // Block the signals we wait for before any server thread exists, so that
    // every thread inherits the mask and only sigwait takes them.
    const sigset_t waited = WaitedSignals();
    pthread_sigmask(SIG_BLOCK, &waited, nullptr);
    return program.empty() ? Serve(database, portFile) : RunDemo(program);
}
