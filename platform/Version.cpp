#include "platform/Version.h"

#include "platform/BuildConfig.h"

namespace platform {

std::string VersionText() {
    return std::to_string(build::kVersionMajor) + "." + std::to_string(build::kVersionMinor) + "." +
           std::to_string(build::kVersionPatch) + "." + std::to_string(build::kVersionBuild);
}

int VersionMajor() {
    return build::kVersionMajor;
}
int VersionMinor() {
    return build::kVersionMinor;
}
int VersionPatch() {
    return build::kVersionPatch;
}
int VersionBuild() {
    return build::kVersionBuild;
}

}  // namespace platform
