// The desktop program's command line:
//   velmora [--pod=ftdi|d2xx|sim] [--pod-library=FILE] [--sim-dir=DIR]
//           [--sim-KEY=VALUE ...] [--settings=FILE] [FILE.out]
// Environment: VELMORA_POD (pod backend when --pod is not given) and
// VELMORA_SETTINGS (settings file when --settings is not given).
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <string>

#include "podlink/FtdiBackends.h"

namespace velmora {

inline constexpr const char* kSettingsEnv = "VELMORA_SETTINGS";

struct StartupOptions {
  std::string podBackend = kDefaultPodBackend;
  FtdiBackendOptions backendOptions;
  // An INI file that replaces the user's settings (tests, portable use).
  QString settingsFile;
  // The COFF file to open once the main window exists.
  QString coffFile;
  bool help = false;
  bool version = false;

  bool SimulatedBoard() const { return podBackend == "sim"; }
};

// Parses the arguments after the program name. False with a message for an
// unknown option or a missing value.
bool ParseStartupOptions(const QStringList& args, const QProcessEnvironment& env,
                         StartupOptions& options, QString* error);
QString StartupHelpText();

}  // namespace velmora
