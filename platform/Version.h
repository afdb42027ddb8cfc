#pragma once

#include <string>

// The version of the programs: one constant from the build.
namespace platform {

// "major.minor.patch.build", e.g. "2.1.0.8".
std::string VersionText();
int VersionMajor();
int VersionMinor();
int VersionPatch();
int VersionBuild();

}  // namespace platform
