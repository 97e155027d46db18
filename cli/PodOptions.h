// Options shared by the velmora-cli commands: the pod backend (--pod,
// VELMORA_POD), the virtual board's options, and overrides of the stored
// settings. They are the program's own, accepted before or after any command.
// The stored settings are read, never written.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Cli.h"
#include "config/AppSettings.h"
#include "podlink/FtdiBackends.h"

namespace velmora::cli {

// The options as given on the command line.
struct PodOptionValues {
  std::string pod;  // empty: VELMORA_POD or ftdi
  std::string podLibrary, simDir, settings;
  std::optional<int> dsp, flash, boot;
  std::optional<uint32_t> scanUs, bus, iostrb, strb0, strb1;
  std::map<std::string, std::string> sim;  // --sim-KEY=VALUE
};

// Declares the options on the program's top level.
void AddPodOptions(CLI::App& app, PodOptionValues& values);

// Takes the --sim-KEY=VALUE (or --sim-KEY alone, for "1") options out of the
// arguments; CLI11 has no options of a generic name. False on "--sim-" or
// "--sim-=..." with a message.
bool TakeSimBoardOptions(std::vector<std::string>& args, std::map<std::string, std::string>& sim,
                         std::string& error);

// The options applied to the stored settings.
struct PodOptions {
  std::string backend;  // "ftdi", "d2xx", "sim" or any registered name
  FtdiBackendOptions backendOptions;
  AppSettings settings;                     // stored values with the overrides applied
  std::optional<uint32_t> transferPauseUs;  // --scan-us

  DerivedTransferSettings Derived() const;
};

// Reads the stored settings from store (null: --settings FILE or the user's
// settings) and applies the values given.
PodOptions ResolvePodOptions(const PodOptionValues& given, SettingsStore* store);

// The settings store the options point at (the INI file, or the user's).
std::unique_ptr<SettingsStore> OpenSettingsStore(const std::string& settingsFile);

// Values shared by options of several commands.
inline const std::vector<std::string> kFormatNames = {"hex", "signed", "unsigned", "float",
                                                      "binary"};

}  // namespace velmora::cli
