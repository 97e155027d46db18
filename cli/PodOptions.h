// Options shared by the velmora-cli commands that talk to the pod: the backend
// (--pod, VELMORA_POD), the virtual board's options, and overrides of the
// stored settings. The stored settings are read, never written.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/AppSettings.h"
#include "config/Clock.h"
#include "config/MicroTimer.h"
#include "config/SettingsStore.h"
#include "podlink/FtdiBackends.h"
#include "podlink/PodLink.h"

namespace velmora::cli {

// Where a command reads settings and time from and writes to. The defaults are
// the user's settings, the steady clock and the calibrated busy-wait; tests
// put in-memory stores, virtual clocks and string streams here.
struct CliEnv {
  std::ostream* out = nullptr;  // results and outcomes (stdout when null)
  std::ostream* err = nullptr;  // errors and progress (stderr when null)
  // Progress bar redrawn in place; otherwise plain lines. Unset: stderr is a terminal.
  std::optional<bool> progressBar;
  SettingsStore* store = nullptr;  // unset: --settings FILE or the user's settings
  Clock* clock = nullptr;
  MicroDelayer* delayer = nullptr;
  // Polled between blocks; unset: Ctrl+C.
  bool (*cancelRequested)() = nullptr;
  // Loader tables to use instead of the built-in ones.
  const FlashLoaderSet* flashLoaders = nullptr;
};

struct PodOptions {
  std::string backend;  // "ftdi", "d2xx", "sim" or any registered name
  FtdiBackendOptions backendOptions;
  std::string settingsFile;
  AppSettings settings;                     // stored values with the command-line overrides applied
  std::optional<uint32_t> transferPauseUs;  // --scan-us

  DerivedTransferSettings Derived() const;
};

// Takes the pod and settings options out of args (both "--opt=value" and
// "--opt value"), leaving the command's own arguments. The stored settings are
// read from store, or from the settings file or user's settings when null.
// False with a message on a bad option value.
bool ParsePodOptions(std::vector<std::string>& args, SettingsStore* store, PodOptions& options,
                     std::string& error);

// The help text of these options.
const char* PodOptionsHelp();

// Parsing helpers shared with other commands.
std::optional<uint8_t> ParseDspOption(const std::string& text);
std::optional<uint8_t> ParseFlashOption(const std::string& text);
std::optional<uint32_t> ParseNumber(const std::string& text, int base);
// True when args ask for help (--help or -h).
bool WantsHelp(const std::vector<std::string>& args);
// Takes "--name=value" or "--name value" out of args; sets bad when the value
// is missing.
bool TakeOption(std::vector<std::string>& args, const std::string& name, std::string& value,
                bool& bad);
// Takes the flag out of args; true when it was there.
bool TakeFlag(std::vector<std::string>& args, const std::string& name);

// Runs one target command ("version", "reset", "read", "write", "boot",
// "flash") with its arguments; returns the exit status.
int RunTargetCommand(const std::string& command, const std::vector<std::string>& args,
                     const CliEnv& env);

// Exit statuses of the target commands. A procedure that ends with a result
// code other than 0 exits with kExitProcedureBase + that code.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitFile =
    3;  // the COFF file cannot be read, or the output cannot be written
inline constexpr int kExitRefused =
    4;  // no program, too big for the boot region, stale layout, no loader
inline constexpr int kExitProcedureBase = 10;
inline constexpr int kExitNoDriver = 30;
inline constexpr int kExitNoPod = 31;
inline constexpr int kExitNoHandle = 32;
inline constexpr int kExitResetFailed = 33;
inline constexpr int kExitTransferFailed =
    34;  // a word read or write, or the version query, failed

// The settings store the options point at (the INI file, or the user's).
std::unique_ptr<SettingsStore> OpenSettingsStore(const std::string& settingsFile);

}  // namespace velmora::cli
