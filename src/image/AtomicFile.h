// Files written whole or not at all: the bytes go to a temporary next to the
// target, which replaces the target only once it is complete, so a failed
// write leaves the previous file as it was.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// Writes bytes to path by way of path + tempSuffix. On failure the temporary
// is removed and error (when given) says what failed: "cannot write TEMP" or
// "cannot replace PATH: REASON". binary = false writes in text mode.
bool WriteFileAtomically(const std::string& path, std::string_view bytes,
                         std::string* error = nullptr, const char* tempSuffix = ".part",
                         bool binary = true);

}  // namespace velmora
