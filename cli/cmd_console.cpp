// velmora-cli console: the monitoring console's language read from standard
// input, answered with the console's own result, notice and error lines, so
// that a test rig can script a board.
#include <iostream>

#ifdef _WIN32
#include <io.h>
#define VELMORA_IS_TERMINAL(fd) (_isatty(fd) != 0)
#else
#include <unistd.h>
#define VELMORA_IS_TERMINAL(fd) (isatty(fd) != 0)
#endif

#include <CLI/CLI.hpp>
#include "Cli.h"
#include "PodOptions.h"
#include "PodSession.h"
#include "image/SymbolFile.h"
#include "monitoring/MonitorSessions.h"
#include "monitoring/TargetPort.h"

namespace velmora::cli {
namespace {

enum Colour { kAuto, kAlways, kNever };

struct Args {
  std::string coff, boot, loadSym, saveSym;
  int colour = kAuto;
};

int Run(Invocation& run, const Args& args) {
  const std::string& coff = args.coff.empty() ? args.boot : args.coff;
  ProgramData program;
  if (!coff.empty())
    if (int rc = LoadProgram(run, coff, program)) return rc;
  if (!args.loadSym.empty()) {
    const SymbolFileResult r = LoadSymbolFile(args.loadSym, program.variables, program.addresses);
    if (r != SymbolFileResult::kOk) {
      run.Err() << args.loadSym << ": " << SymbolFileMessage(r) << "\n";
      return kExitFile;
    }
  }
  ConsoleSessionResult result;
  {
    PodSession session(run);
    if (int rc = session.Connect()) return rc;
    if (!args.boot.empty())
      if (int rc = BootForMonitoring(run, session.Link(), args.boot)) return rc;
    PodLinkPort port(session.Link());

    ConsoleSessionOptions options;
    options.colour = args.colour == kAlways || (args.colour == kAuto && VELMORA_IS_TERMINAL(1));
    options.prompt = VELMORA_IS_TERMINAL(0) && VELMORA_IS_TERMINAL(1);
    // The notices of the lists go to the same output as everything else.
    WatchListSet printing(program.variables, program.addresses, [&](const ConsoleLine& line) {
      run.Out() << TerminalLine(line, options.colour) << '\n';
    });
    result = RunConsoleSession(std::cin, run.Out(), program.symbols, port, printing, options);
    run.Out().flush();
  }
  if (!args.saveSym.empty()) {
    const SymbolFileResult r = SaveSymbolFile(args.saveSym, program.variables, program.addresses);
    if (r != SymbolFileResult::kOk) {
      run.Err() << args.saveSym << ": " << SymbolFileMessage(r) << "\n";
      return kExitFile;
    }
  }
  return result.errors ? 1 : kExitOk;
}

const CommandRegistrar kRegistered([](CLI::App& app) -> CommandRun {
  CLI::App* cmd = app.add_subcommand(
      "console",
      "run console commands (d, wa, wd, h) from standard input\n"
      "Reads console commands from standard input, one per line, and answers each\n"
      "as the application's command console does:\n"
      "  d|disp NAME|0xADDR[/f|/d|/x|/h]   read a word\n"
      "  d|disp NAME|0xADDR=VALUE          write a word\n"
      "  wa|watchadd NAME|0xADDR[/f...]    add to a watch list\n"
      "  wd|watchdel INDEX[/s|/a]  wd *    delete from the watch lists\n"
      "  h                                 help\n"
      "Names need --coff or --serial-boot.");
  auto args = std::make_shared<Args>();
  cmd->add_option("--coff", args->coff, "look names up in this COFF file's symbols")
      ->option_text("FILE.out");
  cmd->add_option("--serial-boot", args->boot,
                  "serial-boot FILE first; its symbols serve when --coff is not given")
      ->option_text("FILE.out");
  cmd->add_option("--load-sym", args->loadSym, "start with the watch lists of a symbol file")
      ->option_text("FILE.sym");
  cmd->add_option("--save-sym", args->saveSym, "write the watch lists at the end of the input")
      ->option_text("FILE.sym");
  cmd->add_option("--color", args->colour, "colour the lines (default: only on a terminal)")
      ->option_text("auto|always|never")
      ->transform(Choice({"auto", "always", "never"}));
  UsesPodOptions(*cmd,
                 "Exit status: 0; 1 when any line was answered with an error; 2 wrong usage;\n"
                 "3 unreadable COFF or symbol file; 12 the serial boot failed; 30-32 no pod\n"
                 "library, no pod, pod cannot be opened.\n");
  return [args](Invocation& run) { return Run(run, *args); };
});

}  // namespace
}  // namespace velmora::cli
