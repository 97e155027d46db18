// velmora-cli watch: reads variables and addresses of the running program
// periodically, prints each round and appends it to a CSV log.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <ostream>

#include <CLI/CLI.hpp>
#include "Cli.h"
#include "PodOptions.h"
#include "PodSession.h"
#include "monitoring/MonitorSessions.h"
#include "monitoring/TargetPort.h"
#include "monitoring/ValueFormats.h"

namespace velmora::cli {
namespace {

std::atomic<bool> g_stop{false};

extern "C" void OnWatchInterrupt(int) {
  g_stop = true;
}

struct Args {
  std::vector<std::string> targets;
  std::string coff, boot, csv;
  std::optional<uint32_t> periodMs;
  std::optional<int> format;
  uint64_t count = 0;
};

int Run(Invocation& run, const Args& args) {
  const std::string& coff = args.coff.empty() ? args.boot : args.coff;
  ProgramData program;
  if (!coff.empty())
    if (int rc = LoadProgram(run, coff, program)) return rc;
  std::optional<uint8_t> format;
  if (args.format) format = static_cast<uint8_t>(*args.format);
  std::vector<WatchItem> items;
  std::string error;
  for (const std::string& target : args.targets) {
    auto item = ResolveWatchTarget(target, program.symbols, format, error);
    if (!item) {
      run.Err() << target << ": " << error << "\n";
      return kExitUsage;
    }
    items.push_back(*item);
  }

  WatchCsvFile log;
  if (!args.csv.empty() && !log.Open(args.csv, items, error)) {
    run.Err() << "velmora-cli watch: " << error << "\n";
    return kExitFile;
  }
  PodSession session(run);
  if (int rc = session.Connect()) return rc;
  if (!args.boot.empty())
    if (int rc = BootForMonitoring(run, session.Link(), args.boot)) return rc;
  PodLinkPort port(session.Link());

  g_stop = false;
  std::signal(SIGINT, OnWatchInterrupt);
  WatchRunOptions options;
  options.periodMs = args.periodMs.value_or(MonitoringPeriodMs(run.Pod().settings));
  options.count = args.count;
  options.stopRequested = [] { return g_stop.load(); };
  bool logFailed = false;
  const WatchResult result =
      RunWatch(items, port, run.TheClock(), options, [&](const WatchSample& sample) {
        run.Out() << WatchTextLine(items, sample) << std::endl;
        if (!args.csv.empty() && !logFailed && !log.Append(sample)) {
          run.Err() << "velmora-cli watch: cannot write " << args.csv << "\n";
          logFailed = true;
          g_stop = true;
        }
      });
  std::signal(SIGINT, SIG_DFL);
  if (result.readFailed) {
    const WatchItem& item = items[result.failedItem];
    char address[16];
    std::snprintf(address, sizeof address, "0x%06X", static_cast<unsigned>(item.address));
    run.Err() << "Failed to read " << item.title << " at " << address << "\n";
    return kExitTransferFailed;
  }
  return logFailed ? kExitFile : kExitOk;
}

const CommandRegistrar kRegistered([](CLI::App& app) -> CommandRun {
  CLI::App* cmd = app.add_subcommand(
      "watch",
      "read variables and addresses periodically, log to CSV\n"
      "Reads every NAME or ADDR once per period through the running program's\n"
      "responder and prints one line per round: the time, then title=value for\n"
      "each. NAME, NAME[INDEX] and 0xADDR are resolved as the console's watch-add\n"
      "resolves them (names need --coff) and take an optional /f /d /x /h suffix.");
  auto args = std::make_shared<Args>();
  cmd->add_option("NAME|ADDR", args->targets, "what to read")->required();
  cmd->add_option("--coff", args->coff, "look names up in this COFF file's symbols")
      ->option_text("FILE.out");
  cmd->add_option("--serial-boot", args->boot,
                  "serial-boot FILE first; its symbols serve when --coff is not given")
      ->option_text("FILE.out");
  cmd->add_option("--period", args->periodMs,
                  "time from one round to the next (default: the configured monitoring "
                  "period)")
      ->option_text("MS")
      ->check(CLI::Range(0u, 3600000u));
  cmd->add_option("--format", args->format,
                  "view of the values without a suffix (default: the variable type's view; "
                  "hex for addresses)")
      ->option_text("hex|signed|unsigned|float|binary")
      ->transform(Choice(kFormatNames));
  cmd->add_option("--csv", args->csv,
                  "append each round to FILE (Time, then one column per item); a new file "
                  "gets a header, an existing one must have the same")
      ->option_text("FILE");
  cmd->add_option("--count", args->count, "stop after N rounds (default: until Ctrl+C)")
      ->option_text("N")
      ->check(CLI::PositiveNumber);
  UsesPodOptions(*cmd,
                 "Exit status: 0; 2 wrong usage; 3 unreadable COFF or CSV file; 12 the serial\n"
                 "boot failed; 30-32 no pod library, no pod, pod cannot be opened; 34 a read\n"
                 "failed.\n");
  return [args](Invocation& run) { return Run(run, *args); };
});

}  // namespace
}  // namespace velmora::cli
