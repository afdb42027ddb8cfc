#include "net/ServiceURL.h"

#include <cstdlib>

#include "platform/BuildConfig.h"

std::string ServiceURL(std::string_view path) {
    const char* fromEnvironment = std::getenv("QUIRA_SERVICE_URL");
    std::string base =
        fromEnvironment && *fromEnvironment ? fromEnvironment : platform::build::kServiceUrl;
    if (base.empty()) return {};
    while (!base.empty() && base.back() == '/') base.pop_back();
    if (!path.empty() && path.front() != '/') base += '/';
    return base.append(path);
}
