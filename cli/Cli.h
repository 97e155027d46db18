// velmora-cli's commands on CLI11.
//
// Adding a command is one self-contained file, cli/cmd_NAME.cpp (CMake picks
// it up), that declares its options and registers itself:
//
//   #include <CLI/CLI.hpp>
//   #include "Cli.h"
//
//   namespace {
//   struct Args {
//     std::string file;
//     bool verify = false;
//   };
//   int Run(Invocation& run, const Args& args) { ... return kExitOk; }
//
//   const CommandRegistrar kRegistered([](CLI::App& app) -> CommandRun {
//     CLI::App* cmd = app.add_subcommand("name", "One-line summary.\nLonger text for its --help.");
//     auto args = std::make_shared<Args>();
//     cmd->add_option("FILE.out", args->file, "the program")->required();
//     cmd->add_flag("--verify", args->verify, "read it back");
//     UsesPodOptions(*cmd, "Exit status: ...");  // commands that talk to the pod
//     return [args](Invocation& run) { return Run(run, *args); };
//   });
//   }  // namespace
//
// The pod and target options (--pod, --dsp, ... see PodOptions.h) belong to
// the program and are accepted before or after every command; run.Pod()
// gives the stored settings with them applied. Print through run.Out() and
// run.Err(), and return an exit status. Help, usage errors (status 2) and
// --version are handled for every command.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/Clock.h"
#include "config/MicroTimer.h"
#include "config/SettingsStore.h"
#include "podlink/PodLink.h"

// CLI11 costs seconds of compile time per file: only the files that declare
// options include <CLI/CLI.hpp>.
namespace CLI {
class App;
class Validator;
}  // namespace CLI

namespace velmora::cli {

// Exit statuses. A procedure that ends with a result code other than 0 exits
// with kExitProcedureBase + that code.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 2;
// The COFF file cannot be read, or the output cannot be written.
inline constexpr int kExitFile = 3;
// No program, too big for the boot region, stale layout, no loader.
inline constexpr int kExitRefused = 4;
inline constexpr int kExitProcedureBase = 10;
inline constexpr int kExitNoDriver = 30;
inline constexpr int kExitNoPod = 31;
inline constexpr int kExitNoHandle = 32;
inline constexpr int kExitResetFailed = 33;
// A word read or write, or the version query, failed.
inline constexpr int kExitTransferFailed = 34;

// The exit statuses of the commands that talk to the pod, for their help.
extern const char* const kTargetExitStatus;

// Where a command reads settings and time from and writes to. The defaults are
// the user's settings, the steady clock and the calibrated busy-wait; tests
// put in-memory stores, virtual clocks and string streams here.
struct CliEnv {
  std::ostream* out = nullptr;  // results and outcomes (stdout when null)
  std::ostream* err = nullptr;  // errors and progress (stderr when null)
  // Progress redrawn in place; otherwise plain lines. Unset: stderr is a terminal.
  std::optional<bool> progressBar;
  SettingsStore* store = nullptr;  // unset: --settings FILE or the user's settings
  Clock* clock = nullptr;
  MicroDelayer* delayer = nullptr;
  // Polled between blocks; unset: Ctrl+C.
  bool (*cancelRequested)() = nullptr;
  // Loader tables to use instead of the built-in ones.
  const FlashLoaderSet* flashLoaders = nullptr;
};

struct PodOptions;
struct PodOptionValues;

// One run of one command.
class Invocation {
 public:
  Invocation(const CliEnv& env, const PodOptionValues& given);
  ~Invocation();

  std::ostream& Out() const { return out_; }
  std::ostream& Err() const { return err_; }
  const CliEnv& Env() const { return env_; }
  Clock& TheClock() const;
  bool ProgressBar() const;
  // The stored settings with the command line's overrides (read once).
  const PodOptions& Pod();

 private:
  const CliEnv& env_;
  std::ostream& out_;
  std::ostream& err_;
  const PodOptionValues& given_;
  std::unique_ptr<PodOptions> pod_;
};

using CommandRun = std::function<int(Invocation& run)>;
using CommandSetup = CommandRun (*)(CLI::App& app);

// Static registration of one command (see the top of this file).
struct CommandRegistrar {
  explicit CommandRegistrar(CommandSetup setup);
};

// Ends the help of a command that talks to the pod with the pod and target
// options and its exit statuses.
void UsesPodOptions(CLI::App& command, std::string exitStatus);

// Allowed values of an option, given in any letter case; the stored value is
// the index into names, or the index behind an alias. Named "choices", its
// description lists the names ("a|b|c") for the shell completion.
CLI::Validator Choice(std::vector<std::string> names,
                      std::vector<std::pair<std::string, int>> aliases = {});
// A 32-bit hexadecimal value with or without 0x.
CLI::Validator HexNumber();

// The program's command line as declared: what runs it, and what its manual
// page and shell completion are generated from.
struct CliDeclarations {
  CliDeclarations();
  CliDeclarations(CliDeclarations&&) noexcept;
  ~CliDeclarations();
  std::unique_ptr<CLI::App> app;
  std::unique_ptr<PodOptionValues> given;  // filled in by parsing
  std::vector<std::pair<CLI::App*, CommandRun>> commands;
};
CliDeclarations DeclareCli();

// The help of the pod and target options (what UsesPodOptions puts before a
// command's own footer).
std::string PodOptionsHelp(const CLI::App& root);

// Runs velmora-cli with the arguments after the program name; returns the
// exit status.
int RunCli(std::vector<std::string> args, const CliEnv& env = {});

// "velmora-cli 2.25 (git b377e22)"
std::string VersionText();

}  // namespace velmora::cli
