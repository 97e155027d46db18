// velmora-cli console: the monitoring console's language read from standard
// input, answered with the console's own result, notice and error lines, so
// that a test rig can script a board.
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#define VELMORA_IS_TERMINAL(fd) (_isatty(fd) != 0)
#else
#include <unistd.h>
#define VELMORA_IS_TERMINAL(fd) (isatty(fd) != 0)
#endif

#include "CliCommand.h"
#include "PodOptions.h"
#include "image/SymbolFile.h"
#include "monitoring/MonitorSessions.h"
#include "monitoring/TargetPort.h"
#include "podlink/ProcedureTexts.h"

namespace velmora::cli {

// In cmd_watch.cpp.
struct MonitorLink {
  std::unique_ptr<CMicroTimer> timer;
  std::unique_ptr<CPodLink> link;
};
int OpenMonitorLink(const PodOptions& options, std::ostream& err, MonitorLink& out);
int ReadProgramSymbols(const PodOptions& options, const std::string& coff, std::ostream& err,
                       ProgramData& program);
int BootForMonitoring(CPodLink& link, const PodOptions& options, const std::string& path,
                      std::ostream& err);

namespace {

const char* kConsoleUsage =
    "Usage: velmora-cli console [--coff FILE.out] [--serial-boot FILE.out]\n"
    "                           [--load-sym FILE.sym] [--save-sym FILE.sym]\n"
    "                           [--color=auto|always|never] [OPTIONS]\n\n"
    "Reads console commands from standard input, one per line, and answers each\n"
    "as the application's command console does:\n"
    "  d|disp NAME|0xADDR[/f|/d|/x|/h]   read a word\n"
    "  d|disp NAME|0xADDR=VALUE          write a word\n"
    "  wa|watchadd NAME|0xADDR[/f...]    add to a watch list\n"
    "  wd|watchdel INDEX[/s|/a]  wd *    delete from the watch lists\n"
    "  h                                 help\n"
    "Names need --coff. --serial-boot serial-boots a program first; its symbols\n"
    "serve when --coff is not given. --load-sym starts with the watch lists of a\n"
    "symbol file, --save-sym writes them at the end of the input. Lines are\n"
    "coloured only on a terminal (--color changes that).\n"
    "Exit status: 0; 1 when any line was answered with an error; 2 wrong usage;\n"
    "3 unreadable COFF or symbol file; 12 the serial boot failed; 30-32 no pod\n"
    "library, no pod, pod cannot be opened.\n";

int Usage(const std::string& text) {
  std::cerr << "velmora-cli console: " << text << "\n";
  return kExitUsage;
}

int RunConsoleCommand(std::vector<std::string> args) {
  if (WantsHelp(args)) {
    std::cout << kConsoleUsage << "\n" << PodOptionsHelp();
    return kExitOk;
  }
  PodOptions options;
  std::string error;
  if (!ParsePodOptions(args, nullptr, options, error)) return Usage(error);
  std::string coff, boot, loadSym, saveSym, colour = "auto";
  bool bad = false;
  TakeOption(args, "--coff", coff, bad);
  TakeOption(args, "--serial-boot", boot, bad);
  TakeOption(args, "--load-sym", loadSym, bad);
  TakeOption(args, "--save-sym", saveSym, bad);
  TakeOption(args, "--color", colour, bad);
  if (bad) return Usage("an option lacks its value");
  if (!args.empty()) return Usage("unexpected argument " + args.front());
  if (colour != "auto" && colour != "always" && colour != "never")
    return Usage("--color takes auto, always or never");

  if (coff.empty()) coff = boot;
  ProgramData program;
  if (int rc = ReadProgramSymbols(options, coff, std::cerr, program)) return rc;
  if (!loadSym.empty()) {
    const SymbolFileResult r = LoadSymbolFile(loadSym, program.variables, program.addresses);
    if (r != SymbolFileResult::kOk) {
      std::cerr << loadSym << ": " << SymbolFileMessage(r) << "\n";
      return kExitFile;
    }
  }
  MonitorLink link;
  if (int rc = OpenMonitorLink(options, std::cerr, link)) return rc;
  if (!boot.empty())
    if (int rc = BootForMonitoring(*link.link, options, boot, std::cerr)) return rc;
  PodLinkPort port(*link.link);

  ConsoleSessionOptions session;
  session.colour = colour == "always" || (colour == "auto" && VELMORA_IS_TERMINAL(1));
  session.prompt = VELMORA_IS_TERMINAL(0) && VELMORA_IS_TERMINAL(1);
  // The notices of the lists go to the same output as everything else.
  WatchListSet printing(program.variables, program.addresses, [&](const ConsoleLine& line) {
    std::cout << TerminalLine(line, session.colour) << '\n';
  });
  const ConsoleSessionResult result =
      RunConsoleSession(std::cin, std::cout, program.symbols, port, printing, session);
  std::cout.flush();
  if (link.link->IsOpen() && !link.link->Close()) std::cerr << kFailedToCloseHandleText << "\n";

  if (!saveSym.empty()) {
    const SymbolFileResult r = SaveSymbolFile(saveSym, program.variables, program.addresses);
    if (r != SymbolFileResult::kOk) {
      std::cerr << saveSym << ": " << SymbolFileMessage(r) << "\n";
      return kExitFile;
    }
  }
  return result.errors ? 1 : kExitOk;
}

const CommandRegistrar kConsole("console",
                                "run console commands (d, wa, wd, h) from standard input",
                                [](const std::vector<std::string>& args) {
                                  return RunConsoleCommand(args);
                                });

}  // namespace

}  // namespace velmora::cli
