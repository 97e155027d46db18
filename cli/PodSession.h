// The pod link of one velmora-cli run, shared by the commands that talk to
// the target.
#pragma once

#include <memory>
#include <string>

#include "Cli.h"
#include "PodOptions.h"
#include "image/CoffReader.h"

namespace velmora::cli {

class PodSession {
 public:
  explicit PodSession(Invocation& run) : run_(run) {}
  // Closes the link; says so when that fails.
  ~PodSession();

  // Loads the backend, finds and opens the pod and reads its firmware version,
  // as the application does at start-up. 0, or the exit status after
  // printing the problem.
  int Connect();
  CPodLink& Link() { return *link_; }

 private:
  Invocation& run_;
  std::unique_ptr<CMicroTimer> timer_;
  std::unique_ptr<CPodLink> link_;
};

// Reads the COFF file laid out for the settings. 0, or kExitFile after
// printing the problem.
int LoadProgram(Invocation& run, const std::string& path, ProgramData& program);

// Serial-boots a program before a monitoring session, as the Serial Boot
// command does. 0, or the exit status (10 + the procedure's result code).
int BootForMonitoring(Invocation& run, CPodLink& link, const std::string& path);

}  // namespace velmora::cli
