// The version and git revision the programs were built from (generated into
// the build folder by cmake/BuildInfo.cmake at every build).
#pragma once

namespace velmora {

const char* BuildVersion();   // the project's version, "2.25"
const char* BuildRevision();  // `git describe`, "b377e22-dirty"; "unknown" without git

}  // namespace velmora
