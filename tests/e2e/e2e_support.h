// End-to-end runs of the velmora-cli target commands on the virtual board, in
// process and on one virtual clock shared by host and board.
//
// The "e2e-sim" backend opens the board folder of the run the way the "sim"
// backend does. The board stays powered from one command to the next, as on a
// bench; PowerCycle() ends it (its flash is saved to the folder) so that the
// next command meets a freshly powered board, as a new velmora-cli process
// does.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "PodOptions.h"
#include "config/SettingsStore.h"
#include "image/CoffReader.h"
#include "sim/SimFtdiDevice.h"

namespace velmora::e2e {

inline constexpr const char* kBackend = "e2e-sim";

std::string DemoPath();  // examples/demo/demo.out

class Bench : public ::testing::Test {
 public:
  void SetUp() override;
  void TearDown() override;

  // Runs a target command with the backend and board folder added; out and
  // err hold what it printed.
  int Run(const std::string& command, std::vector<std::string> args);

  // The board the last command used (null before the first one or after a
  // power cycle).
  sim::SimFtdiDevice* Device();
  sim::Board& Board() { return Device()->TheBoard(); }
  // Saves the flash to the folder and drops the board.
  void PowerCycle();
  // Lets the target run for a while (virtual time).
  void Wait(uint32_t ms);
  // From here on the commands go through the libftdi backend and the
  // stand-in libftdi1 (--pod=ftdi --pod-library=...), on the same clock. The
  // test holds the library, so its board stays powered between commands.
  // False (and a skip) when the build has no stand-in library.
  bool UseStubLibrary();

  // The demo read for a DSP type, as the commands read it.
  static ProgramData Demo(uint8_t dsp);
  static uint32_t SymbolAddress(const ProgramData& program, const std::string& name);

  std::filesystem::path dir;
  std::string board = "board";  // the board folder under dir
  std::string library;          // the stand-in libftdi1 when in use

  VirtualClock clock;
  VirtualMicroDelayer delayer{clock};
  MemorySettingsStore store;
  std::ostringstream out, err;
  cli::CliEnv env;
  // After this many cancel checks a procedure sees Cancel (0: never); after
  // unplugAfter checks the pod drops off the USB bus instead.
  int cancelAfter = 0;
  int unplugAfter = 0;
  int cancelChecks = 0;
};

}  // namespace velmora::e2e
