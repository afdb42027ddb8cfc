#pragma once

#include <glib.h>
#include <sys/wait.h>

#include <string>
#include <vector>

namespace testing_support {

// Runs a program (looked up on PATH unless given by its path) to its end and
// hands back its exit status, or -1 when it did not start or did not exit;
// output receives what it wrote to stdout and stderr, or why it did not run.
inline int RunTool(const std::vector<std::string>& arguments, std::string& output) {
    std::vector<gchar*> argv;
    for (const auto& a : arguments) argv.push_back(const_cast<gchar*>(a.c_str()));
    argv.push_back(nullptr);
    gchar* out = nullptr;
    gchar* err = nullptr;
    gint status = -1;
    GError* error = nullptr;
    const bool ran = g_spawn_sync(nullptr, argv.data(), nullptr, G_SPAWN_SEARCH_PATH, nullptr,
                                  nullptr, &out, &err, &status, &error);
    output = std::string(out ? out : "") + (err ? err : "") + (error ? error->message : "");
    g_free(out);
    g_free(err);
    g_clear_error(&error);
    if (!ran || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

}  // namespace testing_support
