// velmora-cli record: captures variables at the target's control-loop rate
// with the on-target recorder and writes them to CSV.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>

#include <CLI/CLI.hpp>
#include "Cli.h"
#include "PodOptions.h"
#include "PodSession.h"
#include "image/AtomicFile.h"
#include "image/CoffSymbols.h"
#include "monitoring/MonitorSessions.h"
#include "monitoring/Recorder.h"
#include "monitoring/TargetPort.h"
#include "monitoring/ValueFormats.h"

namespace velmora::cli {
namespace {

constexpr uint32_t kPollMs = 20;
constexpr uint32_t kMeasureMs = 250;
// A capture cut short or an upload cancelled, as a cancelled procedure exits.
constexpr int kExitCutShort = kExitProcedureBase + 1;

std::atomic<bool> g_stop{false};

extern "C" void OnRecordInterrupt(int) {
  g_stop = true;
}

struct Args {
  std::vector<std::string> names;
  std::string coff, boot, csv, trigger;
  uint32_t samples = 0;
  uint32_t divider = 1;
  double pretriggerPercent = 0;
  std::optional<double> continuousSeconds;
  std::optional<double> rateHz;
  double timeoutSeconds = 0;
};

RecType TypeOfView(uint8_t view) {
  switch (static_cast<ViewType>(view)) {
    case ViewType::Float:
      return RecType::Float;
    case ViewType::SignedInteger:
      return RecType::Int;
    default:
      return RecType::Unsigned;
  }
}

// 'NAME>VALUE' rising through VALUE, 'NAME<VALUE' falling, 'NAME<>VALUE'
// either way. The name, the edge and the level text.
bool SplitTrigger(const std::string& text, std::string& name, RecEdge& edge, std::string& level) {
  const size_t at = text.find_first_of("<>");
  if (at == std::string::npos || at == 0) return false;
  name = text.substr(0, at);
  size_t rest = at + 1;
  if (text.compare(at, 2, "<>") == 0 || text.compare(at, 2, "><") == 0) {
    edge = RecEdge::Either;
    rest = at + 2;
  } else {
    edge = text[at] == '>' ? RecEdge::Rising : RecEdge::Falling;
  }
  level = text.substr(rest);
  while (!name.empty() && name.back() == ' ') name.pop_back();
  while (!level.empty() && level.front() == ' ') level.erase(0, 1);
  return !name.empty() && !level.empty();
}

bool Cancelled(Invocation& run) {
  return run.Env().cancelRequested ? run.Env().cancelRequested() : g_stop.load();
}

class UploadProgress {
 public:
  UploadProgress(Invocation& run, const char* title) : run_(run), title_(title) {}
  ~UploadProgress() {
    if (open_) run_.Err() << "\n";
  }
  bool operator()(size_t done, size_t total) {
    const int percent = total ? static_cast<int>(done * 100 / total) : 100;
    if (percent != shown_) {
      if (run_.ProgressBar()) {
        run_.Err() << "\r" << title_ << " " << percent << "%";
        open_ = true;
      } else if (percent / 25 != shown_ / 25 || shown_ < 0) {
        run_.Err() << title_ << " " << percent << "%\n";
      }
      run_.Err().flush();
      shown_ = percent;
    }
    return !Cancelled(run_);
  }

 private:
  Invocation& run_;
  const char* title_;
  int shown_ = -1;
  bool open_ = false;
};

// Written whole or not at all: a failed run never spoils an earlier file.
int WriteCsv(Invocation& run, const std::string& path, const RecCapture& capture, double rate) {
  std::string error;
  if (!WriteFileAtomically(path, RecCsv(capture, rate), &error)) {
    run.Err() << "velmora-cli record: " << error << "\n";
    return kExitFile;
  }
  return kExitOk;
}

// Whether a file can be created beside `path` (tried with the temporary the
// final write uses), so that a capture is never taken only to be lost.
bool CanWriteBeside(const std::string& path) {
  const std::string probe = path + ".part";
  const bool ok = static_cast<bool>(std::ofstream(probe, std::ios::binary | std::ios::app));
  std::error_code ec;
  std::filesystem::remove(probe, ec);
  return ok;
}

int Run(Invocation& run, const Args& args) {
  const std::string& coff = args.coff.empty() ? args.boot : args.coff;
  ProgramData program;
  if (int rc = LoadProgram(run, coff, program)) return rc;
  CoffSymbolList coffSymbols;
  std::optional<uint32_t> block;
  if (ReadCoffSymbolsFile(coff, coffSymbols)) block = FindCoffSymbol(coffSymbols, "rec");
  if (!block) {
    run.Err() << coff << ": no recorder in this program (symbol _rec); see docs/recorder.md\n";
    return kExitRefused;
  }

  RecConfig config;
  std::string error;
  auto addChannel = [&](const std::string& name) -> std::optional<size_t> {
    auto item = ResolveWatchTarget(name, program.symbols, std::nullopt, error);
    if (!item) {
      run.Err() << name << ": " << error << "\n";
      return std::nullopt;
    }
    for (size_t i = 0; i < config.channels.size(); ++i)
      if (config.channels[i].address == item->address) return i;
    config.channels.push_back({item->title, item->address, TypeOfView(item->view)});
    return config.channels.size() - 1;
  };
  for (const std::string& name : args.names)
    if (!addChannel(name)) return kExitUsage;
  if (!args.trigger.empty()) {
    std::string name, levelText;
    RecEdge edge{};
    if (!SplitTrigger(args.trigger, name, edge, levelText)) {
      run.Err() << "--trigger " << args.trigger << ": expected NAME>VALUE, NAME<VALUE or "
                << "NAME<>VALUE\n";
      return kExitUsage;
    }
    const auto channel = addChannel(name);
    if (!channel) return kExitUsage;
    char* end = nullptr;
    const double level = std::strtod(levelText.c_str(), &end);
    if (end == levelText.c_str() || *end != '\0' || !std::isfinite(level)) {
      run.Err() << "--trigger " << args.trigger << ": " << levelText << " is no number\n";
      return kExitUsage;
    }
    config.trigger = RecTrigger{*channel, edge, level};
  }
  if (config.channels.size() > rec::kMaxChannels) {
    run.Err() << "velmora-cli record: at most 8 channels (the trigger's variable counts)\n";
    return kExitUsage;
  }
  config.samples = args.samples;
  config.divider = args.divider;
  config.continuous = args.continuousSeconds.has_value();
  config.pretrigger = static_cast<uint32_t>(
      std::floor(args.samples * std::clamp(args.pretriggerPercent, 0.0, 100.0) / 100.0));
  if (config.pretrigger >= config.samples && config.samples) config.pretrigger = config.samples - 1;

  if (!CanWriteBeside(args.csv)) {
    run.Err() << "velmora-cli record: cannot write " << args.csv << "\n";
    return kExitFile;
  }
  PodSession session(run);
  if (int rc = session.Connect()) return rc;
  if (!args.boot.empty())
    if (int rc = BootForMonitoring(run, session.Link(), args.boot)) return rc;
  PodLinkPort port(session.Link());
  Recorder recorder(port, *block);
  if (!recorder.Probe(error)) {
    run.Err() << "velmora-cli record: " << error << "\n";
    return kExitTransferFailed;
  }
  if (!recorder.Check(config, error)) {
    run.Err() << "velmora-cli record: " << error << "\n";
    return kExitUsage;
  }
  if (!recorder.Configure(config, error)) {
    run.Err() << "velmora-cli record: " << error << "\n";
    return kExitTransferFailed;
  }

  Clock& clock = run.TheClock();
  // The loop rate: stated, or measured from the call counter and matched to
  // timer 0's period.
  double rate = args.rateHz.value_or(0);
  if (!args.rateHz) {
    rate = recorder.LoopRateFromTimer0(clock, kMeasureMs);
    if (rate > 0) {
      char text[64];
      std::snprintf(text, sizeof text, "Loop rate: %.6g Hz (measured)\n", rate);
      run.Err() << text;
    } else {
      run.Err() << "Loop rate unknown (rec_sample is not being called): times in samples\n";
    }
  }

  g_stop = false;
  const bool ownInterrupt = !run.Env().cancelRequested;
  if (ownInterrupt) std::signal(SIGINT, OnRecordInterrupt);
  struct Restore {
    bool active;
    ~Restore() {
      if (active) std::signal(SIGINT, SIG_DFL);
    }
  } restore{ownInterrupt};

  if (!recorder.Arm()) {
    run.Err() << "velmora-cli record: cannot arm the recorder\n";
    return kExitTransferFailed;
  }
  RecCapture capture;
  bool cutShort = false;
  if (config.continuous) {
    // The stream's SECONDS run from the trigger.
    if (config.trigger) {
      run.Err() << "Waiting for the trigger\n";
      const uint64_t startUs = clock.NowUs();
      RecStatus status;
      for (;;) {
        if (!recorder.Poll(status)) {
          recorder.Stop();
          run.Err() << "velmora-cli record: a read of the recorder failed\n";
          return kExitTransferFailed;
        }
        if (status.state != rec::kArmed) break;
        const bool late =
            args.timeoutSeconds > 0 &&
            clock.NowUs() - startUs >= static_cast<uint64_t>(args.timeoutSeconds * 1e6);
        if (late || Cancelled(run)) {
          recorder.Stop();
          run.Err() << (late ? "velmora-cli record: no trigger within the time-out\n"
                             : "Stopped before the trigger\n");
          return kExitCutShort;
        }
        clock.SleepMs(kPollMs);
      }
    }
    const uint64_t endUs = clock.NowUs() + static_cast<uint64_t>(*args.continuousSeconds * 1e6);
    bool stopped = false;
    while (!stopped) {
      stopped = clock.NowUs() >= endUs || Cancelled(run);
      size_t taken = 0;
      const RecResult r = recorder.Drain(capture, taken);
      if (r == RecResult::Failed) {
        recorder.Stop();
        run.Err() << "velmora-cli record: a read of the recorder failed\n";
        return kExitTransferFailed;
      }
      if (stopped) break;
      if (!taken) clock.SleepMs(kPollMs);
    }
    recorder.Stop();
    // What arrived between the last drain and the stop.
    size_t taken = 0;
    if (recorder.Drain(capture, taken) == RecResult::Failed) {
      run.Err() << "velmora-cli record: a read of the recorder failed\n";
      return kExitTransferFailed;
    }
  } else {
    const uint64_t startUs = clock.NowUs();
    bool said = false;
    cutShort = false;
    for (;;) {
      RecStatus status;
      if (!recorder.Poll(status)) {
        recorder.Stop();
        run.Err() << "velmora-cli record: a read of the recorder failed\n";
        return kExitTransferFailed;
      }
      if (status.state == rec::kDone) break;
      if (Cancelled(run)) {
        recorder.Stop();
        run.Err() << "Stopped before the capture was complete\n";
        cutShort = true;
        break;
      }
      if (args.timeoutSeconds > 0 &&
          clock.NowUs() - startUs >= static_cast<uint64_t>(args.timeoutSeconds * 1e6)) {
        recorder.Stop();
        run.Err() << "velmora-cli record: no complete capture within " << args.timeoutSeconds
                  << " s (" << (status.state == rec::kArmed ? "no trigger" : "still filling")
                  << "); what was taken is written\n";
        cutShort = true;
        break;
      }
      if (!said && status.state == rec::kArmed && config.trigger) {
        run.Err() << "Waiting for the trigger\n";
        said = true;
      }
      clock.SleepMs(kPollMs);
    }
    g_stop = false;
    UploadProgress progress(run, "Uploading");
    const RecResult r =
        recorder.Upload(capture, [&](size_t d, size_t t) { return progress(d, t); });
    if (r == RecResult::Cancelled) {
      run.Err() << "Upload cancelled: nothing written\n";
      return kExitCutShort;
    }
    if (r == RecResult::Failed) {
      run.Err() << "velmora-cli record: the upload failed\n";
      return kExitTransferFailed;
    }
  }

  if (int rc = WriteCsv(run, args.csv, capture, rate)) return rc;
  run.Out() << capture.Samples() << " samples of " << capture.channels.size() << " channel"
            << (capture.channels.size() == 1 ? "" : "s");
  if (capture.triggerSample) run.Out() << ", trigger at sample " << *capture.triggerSample;
  run.Out() << "\n";
  if (capture.overruns) {
    run.Err() << "Warning: the target dropped " << capture.overruns
              << " samples: the host did not keep up (fewer channels or a larger divider "
                 "help)\n";
  }
  return cutShort ? kExitCutShort : kExitOk;
}

const CommandRegistrar kRegistered([](CLI::App& app) -> CommandRun {
  CLI::App* cmd = app.add_subcommand(
      "record",
      "capture variables at the control loop's rate with the on-target recorder\n"
      "The program must contain the recorder (examples/recorder) and call rec_sample\n"
      "on every pass of its control loop. Samples NAME... (1-8 variables, as watch\n"
      "resolves them) on every DIVIDER-th pass: a single capture of N samples around\n"
      "the trigger, or with --continuous a stream the host drains while the target\n"
      "fills its ring. Writes CSV: time in target seconds from the trigger, then one\n"
      "column per variable.");
  auto args = std::make_shared<Args>();
  cmd->add_option("NAME", args->names, "variables to record")->required();
  auto* coff = cmd->add_option("--coff", args->coff, "the running program (its symbols and _rec)")
                   ->option_text("FILE.out");
  cmd->add_option("--serial-boot", args->boot, "serial-boot FILE first and record from it")
      ->option_text("FILE.out")
      ->excludes(coff);
  cmd->add_option("--samples", args->samples,
                  "samples to capture (single) or the ring's size in samples (continuous)")
      ->option_text("N")
      ->required()
      ->check(CLI::PositiveNumber);
  cmd->add_option("--divider", args->divider, "a sample every D-th loop pass (default 1)")
      ->option_text("D")
      ->check(CLI::Range(1u, 1000000u));
  cmd->add_option("--trigger", args->trigger,
                  "start at NAME rising through VALUE (>), falling (<) or either (<>); "
                  "default: at once")
      ->option_text("'NAME>VALUE'");
  cmd->add_option("--pretrigger", args->pretriggerPercent,
                  "part of the capture before the trigger (default 0)")
      ->option_text("PERCENT")
      ->check(CLI::Range(0.0, 100.0));
  cmd->add_option("--continuous", args->continuousSeconds,
                  "stream for SECONDS (from the trigger, if given) instead of one capture")
      ->option_text("SECONDS")
      ->check(CLI::Range(0.0, 86400.0));
  cmd->add_option("--rate", args->rateHz,
                  "the control loop's rate (default: measured from the recorder's call counter "
                  "and timer 0)")
      ->option_text("HZ")
      ->check(CLI::PositiveNumber);
  cmd->add_option("--timeout", args->timeoutSeconds,
                  "give up waiting for a single capture after SECONDS and write what was "
                  "taken, or for the trigger of a stream (default: wait until Ctrl+C)")
      ->option_text("SECONDS")
      ->check(CLI::Range(0.0, 86400.0));
  cmd->add_option("--csv", args->csv, "write the capture to FILE")->option_text("FILE")->required();
  UsesPodOptions(*cmd,
                 "Exit status: 0; 2 wrong usage or a set-up the buffer cannot hold; 3 unreadable\n"
                 "COFF file or unwritable CSV file; 4 no recorder in the program; 11 the\n"
                 "capture was cut short by --timeout or Ctrl+C (what was taken is written) or\n"
                 "the upload was cancelled (nothing is written); 12 the serial boot failed;\n"
                 "30-32 no pod library, no pod, pod cannot be opened; 34 a read or write\n"
                 "failed, or the recorder is not initialised.\n");
  return [args](Invocation& run) {
    if (args->coff.empty() && args->boot.empty()) {
      run.Err() << "velmora-cli record: --coff or --serial-boot is needed\n";
      return kExitUsage;
    }
    return Run(run, *args);
  };
});

}  // namespace
}  // namespace velmora::cli
