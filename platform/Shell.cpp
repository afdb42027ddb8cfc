#include "platform/Shell.h"

#include <gio/gio.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

extern char** environ;

namespace platform {

bool OpenUri(const std::string& uri) {
    GError* error = nullptr;
    const gboolean opened = g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &error);
    g_clear_error(&error);
    return opened;
}

bool OpenFile(const std::string& path) {
    gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
    if (!uri) return false;
    const bool opened = OpenUri(uri);
    g_free(uri);
    return opened;
}

pid_t SpawnProgram(const std::string& program, const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    if (access(program.c_str(), X_OK) != 0) return -1;
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;
    return pid;
}

bool StartProgram(const std::string& program, const std::vector<std::string>& arguments) {
    const pid_t pid = SpawnProgram(program, arguments);
    if (pid < 0) return false;
    // Nobody waits for a started program; this keeps it from lingering as a
    // zombie after it ends.
    std::thread([pid] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

std::vector<std::string> SplitParameters(const std::string& parameters) {
    std::vector<std::string> arguments;
    gint argc = 0;
    gchar** argv = nullptr;
    // An empty or blank text is no error: simply no arguments.
    if (parameters.find_first_not_of(" \t\r\n") == std::string::npos) return arguments;
    if (!g_shell_parse_argv(parameters.c_str(), &argc, &argv, nullptr)) return arguments;
    for (gint i = 0; i < argc; ++i) arguments.emplace_back(argv[i]);
    g_strfreev(argv);
    return arguments;
}

}  // namespace platform
