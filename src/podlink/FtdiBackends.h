// Registry of FTDI device backends, chosen by name at run time: "ftdi"
// (libftdi1, the default), "d2xx" (FTDI's own library) and whatever other
// modules register, such as the virtual board's "sim". The core knows none of
// the registered modules.
//
// A module's registration must be called by the program (a static registrar in
// a static library is dropped by the linker). The virtual board does it with
// `void velmora::sim::RegisterSimBackend()` declared in sim/SimBackend.h, which
// velmora-cli calls when that header exists.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "podlink/FtdiApi.h"

namespace velmora {

inline constexpr const char* kDefaultPodBackend = "ftdi";
inline constexpr const char* kPodBackendEnv = "VELMORA_POD";

struct FtdiBackendOptions {
  std::string simDir;  // the virtual board's state folder (--sim-dir); empty: its default
  // Further knobs as key/value pairs (--sim-KEY=VALUE on the command line).
  std::map<std::string, std::string> values;
};

// Returns the loaded device library, or null with a reason in error when the
// library is not there (the pod link's LoadDriver then fails).
using FtdiBackendFactory =
    std::function<std::unique_ptr<FtdiApi>(const FtdiBackendOptions& options, std::string& error)>;

// Replaces an earlier registration of the same name.
void RegisterFtdiBackend(const std::string& name, FtdiBackendFactory factory);
bool FtdiBackendRegistered(const std::string& name);
std::vector<std::string> FtdiBackendNames();

std::unique_ptr<FtdiApi> CreateFtdiBackend(const std::string& name,
                                           const FtdiBackendOptions& options, std::string& error);

// VELMORA_POD when set and not empty, else "ftdi".
std::string DefaultFtdiBackendName();

// The two built-in backends, also usable directly.
std::unique_ptr<FtdiApi> CreateLibFtdiBackend(const FtdiBackendOptions& options,
                                              std::string& error);
std::unique_ptr<FtdiApi> CreateD2xxBackend(const FtdiBackendOptions& options, std::string& error);

}  // namespace velmora
