// Files written whole or not at all: the bytes go to a temporary next to the
// target, which replaces the target only once it is complete, so a failed
// write leaves the previous file as it was.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace velmora {

// The file a path finally names when symbolic links are followed (also a
// link whose target does not exist yet); the path itself when it is no link.
std::filesystem::path ResolveLinkTarget(const std::filesystem::path& path);

// Writes bytes to path by way of a temporary beside it (the file's name +
// tempSuffix). When path is a symbolic link, the file it names is replaced
// and the link stays; a replaced file keeps its permissions. On failure the temporary
// is removed and error (when given) says what failed: "cannot write TEMP" or
// "cannot replace PATH: REASON". binary = false writes in text mode.
bool WriteFileAtomically(const std::string& path, std::string_view bytes,
                         std::string* error = nullptr, const char* tempSuffix = ".part",
                         bool binary = true);

}  // namespace velmora
