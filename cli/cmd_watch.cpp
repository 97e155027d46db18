// velmora-cli watch: reads variables and addresses of the running program
// periodically, prints each round and appends it to a CSV log.
#include <atomic>
#include <csignal>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CliCommand.h"
#include "PodOptions.h"
#include "image/CoffReader.h"
#include "monitoring/MonitorSessions.h"
#include "monitoring/TargetPort.h"
#include "monitoring/ValueFormats.h"
#include "podlink/ProcedureTexts.h"

namespace velmora::cli {

// The pod link of a monitoring command: backend loaded, pod found, opened
// and its firmware version read, as the application does at start-up.
// Shared with the console command.
struct MonitorLink {
  std::unique_ptr<CMicroTimer> timer;
  std::unique_ptr<CPodLink> link;
};
int OpenMonitorLink(const PodOptions& options, std::ostream& err, MonitorLink& out);
// Reads the COFF file's symbols for name look-ups.
int ReadProgramSymbols(const PodOptions& options, const std::string& coff, std::ostream& err,
                       ProgramData& program);

// Serial-boots a program before the session (--serial-boot), as the Serial Boot
// command does; 0 or the exit status (10 + the procedure's result code).
int BootForMonitoring(CPodLink& link, const PodOptions& options, const std::string& path,
                      std::ostream& err);

int OpenMonitorLink(const PodOptions& options, std::ostream& err, MonitorLink& out) {
  Clock& clock = SteadyClock::Instance();
  out.timer = std::make_unique<CMicroTimer>(clock);
  // The stored calibration when there is one; otherwise measured for this run
  // (this program never writes the settings).
  out.timer->SetLoopsPerUs(options.settings.microTimeLength > 0 ? options.settings.microTimeLength
                                                                : out.timer->Measure());
  const std::string backend = options.backend;
  const FtdiBackendOptions backendOptions = options.backendOptions;
  out.link = std::make_unique<CPodLink>(
      [backend, backendOptions](std::string& error) {
        return CreateFtdiBackend(backend, backendOptions, error);
      },
      clock, *out.timer);
  out.link->SetTransferSettings(options.Derived());
  if (!out.link->LoadDriver()) {
    err << kFailedToLoadDriverText << "\n";
    if (!out.link->DriverError().empty())
      err << "(" << backend << " backend: " << out.link->DriverError() << ")\n";
    return kExitNoDriver;
  }
  if (!out.link->FindDevice()) {
    err << kNotConnectedText << "\n";
    return kExitNoPod;
  }
  if (!out.link->Open()) {
    err << kFailedToGetHandleText << "\n";
    return kExitNoHandle;
  }
  out.link->Purge();
  out.link->ReadFirmwareVersion();
  return kExitOk;
}

int ReadProgramSymbols(const PodOptions& options, const std::string& coff, std::ostream& err,
                       ProgramData& program) {
  if (coff.empty()) return kExitOk;
  const int rc = ReadCoffFile(coff, options.Derived().MemoryInterface(), program);
  if (rc != kCoffOk) {
    const char* message = CoffResultMessage(rc);
    err << coff << ": " << (message && *message ? message : "cannot be read") << "\n";
    return kExitFile;
  }
  return kExitOk;
}

namespace {

// Keeps the procedure's outcome for the exit status.
class BootObserver : public NullProcedureObserver {
 public:
  void Finish(ProcResult result) override { last = result; }
  ProcResult last = kProcCompleted;
};

}  // namespace

int BootForMonitoring(CPodLink& link, const PodOptions& options, const std::string& path,
                      std::ostream& err) {
  ProgramData program;
  if (int rc = ReadProgramSymbols(options, path, err, program)) return rc;
  BootObserver observer;
  link.SetObserver(&observer);
  const bool ok = link.SerialBootDownload(program);
  link.SetObserver(nullptr);
  if (!ok) {
    const ProcResult r =
        observer.last == kProcCompleted ? ProcResult{kProcSerialBootDownloadError} : observer.last;
    const char* text = ProgressStatusText(r);
    err << path << ": " << (text ? text : "serial boot failed") << "\n";
    return kExitProcedureBase + r;
  }
  // Let the boot loader hand over to the program before the first word.
  SteadyClock::Instance().SleepMs(20);
  return kExitOk;
}

namespace {

std::atomic<bool> g_stop{false};

extern "C" void OnWatchInterrupt(int) {
  g_stop = true;
}

const char* kWatchUsage =
    "Usage: velmora-cli watch NAME|ADDR... [--coff FILE.out] [--serial-boot FILE.out]\n"
    "                         [--period MS] [--format hex|signed|unsigned|float|binary]\n"
    "                         [--csv FILE] [--count N] [OPTIONS]\n\n"
    "Reads every NAME or ADDR once per period through the running program's\n"
    "responder and prints one line per round: the time, then title=value for\n"
    "each. NAME, NAME[INDEX] and 0xADDR are resolved as the console's watch-add\n"
    "resolves them (names need --coff) and take an optional /f /d /x /h suffix.\n"
    "  --serial-boot FILE  serial-boot FILE first; its symbols serve when --coff\n"
    "                      is not given\n"
    "  --period MS   time from one round to the next (default: the configured\n"
    "                monitoring period)\n"
    "  --format F    view of the values without a suffix (default: the variable\n"
    "                type's view; hex for addresses)\n"
    "  --csv FILE    append each round to FILE (Time, then one column per item);\n"
    "                a new file gets a header, an existing one must have the same\n"
    "  --count N     stop after N rounds (default: until Ctrl+C)\n"
    "Exit status: 0; 2 wrong usage; 3 unreadable COFF or CSV file; 12 the serial\n"
    "boot failed; 30-32 no pod library, no pod, pod cannot be opened; 34 a read\n"
    "failed.\n";

int Usage(const std::string& text) {
  std::cerr << "velmora-cli watch: " << text << "\n";
  return kExitUsage;
}

int RunWatchCommand(std::vector<std::string> args) {
  if (WantsHelp(args)) {
    std::cout << kWatchUsage << "\n" << PodOptionsHelp();
    return kExitOk;
  }
  PodOptions options;
  std::string error;
  if (!ParsePodOptions(args, nullptr, options, error)) return Usage(error);
  std::string coff, boot, periodText, formatText, csv, countText;
  bool bad = false;
  TakeOption(args, "--coff", coff, bad);
  TakeOption(args, "--serial-boot", boot, bad);
  TakeOption(args, "--period", periodText, bad);
  TakeOption(args, "--format", formatText, bad);
  TakeOption(args, "--csv", csv, bad);
  TakeOption(args, "--count", countText, bad);
  if (bad) return Usage("an option lacks its value");
  for (const std::string& a : args)
    if (a.rfind("--", 0) == 0) return Usage("unknown option " + a);
  if (args.empty()) return Usage("give at least one NAME or ADDR");

  uint32_t periodMs = MonitoringPeriodMs(options.settings);
  if (!periodText.empty()) {
    auto v = ParseNumber(periodText, 10);
    if (!v || *v > 3600000) return Usage("--period takes 0 to 3600000 milliseconds");
    periodMs = *v;
  }
  std::optional<uint8_t> format;
  if (!formatText.empty()) {
    const char* names[] = {"hex", "signed", "unsigned", "float", "binary"};
    for (uint8_t i = 0; i < 5; ++i)
      if (formatText == names[i]) format = i;
    if (!format) return Usage("--format takes hex, signed, unsigned, float or binary");
  }
  uint64_t count = 0;
  if (!countText.empty()) {
    auto v = ParseNumber(countText, 10);
    if (!v || *v < 1) return Usage("--count takes 1 or more rounds");
    count = *v;
  }

  if (coff.empty()) coff = boot;
  ProgramData program;
  if (int rc = ReadProgramSymbols(options, coff, std::cerr, program)) return rc;
  std::vector<WatchItem> items;
  for (const std::string& target : args) {
    auto item = ResolveWatchTarget(target, program.symbols, format, error);
    if (!item) {
      std::cerr << target << ": " << error << "\n";
      return kExitUsage;
    }
    items.push_back(*item);
  }

  WatchCsvFile log;
  if (!csv.empty() && !log.Open(csv, items, error)) {
    std::cerr << "velmora-cli watch: " << error << "\n";
    return kExitFile;
  }
  MonitorLink link;
  if (int rc = OpenMonitorLink(options, std::cerr, link)) return rc;
  if (!boot.empty())
    if (int rc = BootForMonitoring(*link.link, options, boot, std::cerr)) return rc;
  PodLinkPort port(*link.link);

  g_stop = false;
  std::signal(SIGINT, OnWatchInterrupt);
  WatchRunOptions run;
  run.periodMs = periodMs;
  run.count = count;
  run.stopRequested = [] { return g_stop.load(); };
  bool logFailed = false;
  const WatchResult result =
      RunWatch(items, port, SteadyClock::Instance(), run, [&](const WatchSample& sample) {
        std::cout << WatchTextLine(items, sample) << std::endl;
        if (!csv.empty() && !logFailed && !log.Append(sample)) {
          std::cerr << "velmora-cli watch: cannot write " << csv << "\n";
          logFailed = true;
          g_stop = true;
        }
      });
  std::signal(SIGINT, SIG_DFL);
  if (link.link->IsOpen() && !link.link->Close()) std::cerr << kFailedToCloseHandleText << "\n";
  if (result.readFailed) {
    const WatchItem& item = items[result.failedItem];
    char address[16];
    std::snprintf(address, sizeof address, "0x%06X", static_cast<unsigned>(item.address));
    std::cerr << "Failed to read " << item.title << " at " << address << "\n";
    return kExitTransferFailed;
  }
  return logFailed ? kExitFile : kExitOk;
}

const CommandRegistrar kWatch("watch", "read variables and addresses periodically, log to CSV",
                              [](const std::vector<std::string>& args) {
                                return RunWatchCommand(args);
                              });

}  // namespace

}  // namespace velmora::cli
