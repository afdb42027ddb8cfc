// Compiled into every test program and benchmark: their requests go to
// 127.0.0.1 and localhost, and a proxy named in the environment of whoever
// runs them must not take those (libcurl, GIO and WebKit all read no_proxy).
// Set before main runs, while the process has a single thread.

#include <cstdlib>
#include <string>

namespace {

[[maybe_unused]] const bool kLoopbackBypassesProxy = [] {
    for (const char* name : {"no_proxy", "NO_PROXY"}) {
        std::string value = "127.0.0.1,localhost";
        if (const char* old = std::getenv(name); old && *old)
            value = std::string(old) + "," + value;
        ::setenv(name, value.c_str(), 1);
    }
    return true;
}();

}  // namespace
