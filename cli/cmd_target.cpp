// velmora-cli target commands: version, reset, read, write, boot and flash,
// over the same pod link as the desktop application.
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#define VELMORA_STDERR_IS_TERMINAL() (_isatty(_fileno(stderr)) != 0)
#else
#include <unistd.h>
#define VELMORA_STDERR_IS_TERMINAL() (isatty(STDERR_FILENO) != 0)
#endif

#include "CliCommand.h"
#include "PodOptions.h"
#include "image/AtomicFile.h"
#include "image/CoffReader.h"
#include "monitoring/ConsoleParser.h"
#include "monitoring/ValueFormats.h"
#include "podlink/ProcedureTexts.h"

namespace velmora::cli {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void OnInterrupt(int) {
  g_interrupted = 1;
  // A second Ctrl+C ends the program at once.
  std::signal(SIGINT, SIG_DFL);
}

bool InterruptRequested() {
  return g_interrupted != 0;
}

std::string Format(const char* format, unsigned a, unsigned b) {
  char text[160];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

std::string Hex6(uint32_t address) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%06X", address & 0xFFFFFFu);
  return text;
}

// Progress dialogs on a terminal: a status line, then a bar redrawn in place
// (or plain lines at every tenth when the output is not a terminal), then the
// dialog's outcome text.
class CliObserver : public ProcedureObserver {
 public:
  CliObserver(std::ostream& out, std::ostream& err, bool bar, bool (*cancel)())
      : out_(out), err_(err), bar_(bar), cancel_(cancel) {}

  ProcResult LastResult() const { return last_; }

  void Start() override {
    EndBar();
    shownPercent_ = -1;
  }
  void SetTitle(const std::string& title) override { title_ = title; }
  void SetStatusText(const std::string& text) override {
    EndBar();
    err_ << title_ << ": " << text << "\n";
    err_.flush();
  }
  void SetProgressPercent(int percent) override {
    if (percent == shownPercent_) return;
    if (bar_) {
      const int filled = percent * 40 / 100;
      err_ << "\r[" << std::string(static_cast<size_t>(filled), '#')
           << std::string(static_cast<size_t>(40 - filled), '.') << "] " << percent << "%";
      err_.flush();
      barOpen_ = true;
    } else if (percent / 10 != shownPercent_ / 10 || shownPercent_ < 0) {
      err_ << "  " << percent << "%\n";
    }
    shownPercent_ = percent;
  }
  void Finish(ProcResult result) override {
    EndBar();
    last_ = result;
    if (const char* text = ProgressStatusText(result)) {
      if (const char* title = ProgressTitleText(result)) err_ << title_ << ":" << title << "\n";
      out_ << text << "\n";
      out_.flush();
    }
  }
  void Hide() override { EndBar(); }
  void StartAnimation() override { EndBar(); }
  void SetAnimationTitle(const std::string& title) override {
    err_ << title << "\n";
    err_.flush();
  }
  void FinishAnimation(ProcResult result) override {
    last_ = result;
    if (const char* text = AnimationTitleText(result)) {
      out_ << text << "\n";
      out_.flush();
    }
  }
  void HideAnimation() override {}
  bool CancelRequested() override { return cancel_ && cancel_(); }
  void PumpOneEvent() override {}
  void SetWaitCursor(bool) override {}

 private:
  void EndBar() {
    if (barOpen_) err_ << "\n";
    barOpen_ = false;
  }

  std::ostream& out_;
  std::ostream& err_;
  bool bar_;
  bool (*cancel_)();
  std::string title_;
  int shownPercent_ = -1;
  bool barOpen_ = false;
  ProcResult last_ = kProcCompleted;
};

// Everything one command run needs: options, settings, the link.
class TargetRun {
 public:
  TargetRun(const CliEnv& env)
      : out_(env.out ? *env.out : std::cout), err_(env.err ? *env.err : std::cerr), env_(env) {}

  std::ostream& Out() { return out_; }
  std::ostream& Err() { return err_; }
  PodOptions& Options() { return options_; }
  CPodLink& Link() { return *link_; }
  CliObserver& Observer() { return *observer_; }

  // Pod options out of args; false after printing the problem.
  bool ParseOptions(std::vector<std::string>& args) {
    std::string error;
    if (!ParsePodOptions(args, env_.store, options_, error)) {
      err_ << "velmora-cli: " << error << "\n";
      return false;
    }
    return true;
  }

  // Loads the backend, finds and opens the pod and reads its firmware version,
  // as the application does at start-up. Returns 0 or the exit status.
  int Connect() {
    Clock& clock = env_.clock ? *env_.clock : SteadyClock::Instance();
    MicroDelayer* delayer = env_.delayer;
    if (!delayer) {
      auto timer = std::make_unique<CMicroTimer>(clock);
      // The stored calibration when there is one; otherwise measure for this
      // run only, since this program never writes the settings.
      timer->SetLoopsPerUs(options_.settings.microTimeLength > 0 ? options_.settings.microTimeLength
                                                                 : timer->Measure());
      delayer = timer.get();
      timer_ = std::move(timer);
    }
    const std::string backend = options_.backend;
    const FtdiBackendOptions backendOptions = options_.backendOptions;
    link_ = std::make_unique<CPodLink>(
        [backend, backendOptions](std::string& error) {
          return CreateFtdiBackend(backend, backendOptions, error);
        },
        clock, *delayer);
    link_->SetTransferSettings(options_.Derived());
    if (env_.flashLoaders) link_->SetFlashLoaders(*env_.flashLoaders);
    const bool bar = env_.progressBar.value_or(VELMORA_STDERR_IS_TERMINAL());
    observer_ = std::make_unique<CliObserver>(
        out_, err_, bar, env_.cancelRequested ? env_.cancelRequested : &InterruptRequested);
    link_->SetObserver(observer_.get());

    if (!link_->LoadDriver()) {
      err_ << kFailedToLoadDriverText << "\n";
      if (!link_->DriverError().empty())
        err_ << "(" << backend << " backend: " << link_->DriverError() << ")\n";
      return kExitNoDriver;
    }
    if (!link_->FindDevice()) {
      err_ << kNotConnectedText << "\n";
      return kExitNoPod;
    }
    if (!link_->Open()) {
      err_ << kFailedToGetHandleText << "\n";
      return kExitNoHandle;
    }
    link_->Purge();
    link_->ReadFirmwareVersion();
    if (!env_.cancelRequested) {
      g_interrupted = 0;
      std::signal(SIGINT, OnInterrupt);
    }
    return kExitOk;
  }

  // Exit status of a procedure that returned ok.
  int ProcedureExit(bool ok) const {
    if (ok) return kExitOk;
    const ProcResult r = observer_->LastResult();
    return kExitProcedureBase + (r == kProcCompleted ? int{kProcFlashReadError} : int{r});
  }

  ~TargetRun() {
    if (!env_.cancelRequested) std::signal(SIGINT, SIG_DFL);
    if (link_ && link_->IsOpen() && !link_->Close()) err_ << kFailedToCloseHandleText << "\n";
  }

 private:
  std::ostream& out_;
  std::ostream& err_;
  const CliEnv& env_;
  PodOptions options_;
  std::unique_ptr<CMicroTimer> timer_;
  std::unique_ptr<CPodLink> link_;
  std::unique_ptr<CliObserver> observer_;
};

int Usage(std::ostream& err, const std::string& text) {
  err << "velmora-cli: " << text << "\n";
  return kExitUsage;
}

// Reads the COFF file laid out for the current DSP type and register values.
int LoadProgram(TargetRun& run, const std::string& path, ProgramData& program) {
  const int rc = ReadCoffFile(path, run.Options().Derived().MemoryInterface(), program);
  if (rc != kCoffOk) {
    const char* message = CoffResultMessage(rc);
    run.Err() << path << ": " << (message && *message ? message : "cannot be read") << "\n";
    return kExitFile;
  }
  return kExitOk;
}

const char* kExitHelp =
    "Exit status: 0 on success; 2 wrong usage; 3 unreadable COFF or output file;\n"
    "4 refused (no program, too big for the boot region, image read for another\n"
    "DSP type, flash loader not available); 10 + the procedure's result code\n"
    "(11 canceled, 12 serial boot download, 13 serial boot verify, 14 target reset,\n"
    "15 flash loader download, 16 erase, 17 flash write, 18 flash verify, 19 flash\n"
    "read); 30 no pod library, 31 no pod, 32 pod cannot be opened, 33 reset failed,\n"
    "34 a word transfer failed.\n";

int Help(std::ostream& out, const char* usage) {
  out << usage << "\n" << PodOptionsHelp() << "\n" << kExitHelp;
  return kExitOk;
}

// ---------------------------------------------------------------- commands

int RunVersion(TargetRun& run, std::vector<std::string>& args) {
  if (!args.empty()) return Usage(run.Err(), "version takes no arguments");
  if (int rc = run.Connect()) return rc;
  if (!run.Link().ReadFirmwareVersion()) {
    run.Err() << "The pod did not answer the version query\n";
    return kExitTransferFailed;
  }
  const uint8_t v = run.Link().FirmwareVersion();
  run.Out() << Format("Version : %d.%d", v >> 4, v & 0xF) << "\n";
  return kExitOk;
}

int RunReset(TargetRun& run, std::vector<std::string>& args) {
  if (!args.empty()) return Usage(run.Err(), "reset takes no arguments");
  if (int rc = run.Connect()) return rc;
  if (!run.Link().ResetTarget()) {
    run.Err() << kFailedToResetText << "\n";
    return kExitResetFailed;
  }
  return kExitOk;
}

// Resolves ADDR|NAME (and VALUE for writes) as the console does.
int ParseTarget(TargetRun& run, const std::string& coff, const std::string& line,
                ConsoleCommand& command) {
  ProgramData program;
  if (!coff.empty())
    if (int rc = LoadProgram(run, coff, program)) return rc;
  std::string last;
  ConsoleOutcome outcome = ExecuteCommandLine(line, program.symbols, last);
  if (!outcome.handOver) {
    for (const ConsoleLine& l : outcome.lines) run.Err() << l.text << "\n";
    return kExitUsage;
  }
  command = outcome.command;
  return kExitOk;
}

int RunRead(TargetRun& run, std::vector<std::string>& args) {
  std::string coff, countText, formatText;
  bool bad = false;
  TakeOption(args, "--coff", coff, bad);
  TakeOption(args, "--count", countText, bad);
  TakeOption(args, "--format", formatText, bad);
  if (bad || args.size() != 1) return Usage(run.Err(), "read needs ADDR or NAME");
  uint32_t count = 1;
  if (!countText.empty()) {
    auto n = ParseNumber(countText, 0);
    if (!n || *n < 1 || *n > 0x1000000) return Usage(run.Err(), "--count takes 1 or more words");
    count = *n;
  }
  uint8_t view = ToByte(ViewType::HexDecimal);
  if (!formatText.empty()) {
    const char* names[] = {"hex", "signed", "unsigned", "float", "binary"};
    view = 0xFF;
    for (uint8_t i = 0; i < 5; ++i)
      if (formatText == names[i]) view = i;
    if (view == 0xFF)
      return Usage(run.Err(), "--format takes hex, signed, unsigned, float or binary");
  }
  if (args[0].find_first_of("=/ ") != std::string::npos)
    return Usage(run.Err(), "read takes one address or name");
  ConsoleCommand command;
  if (int rc = ParseTarget(run, coff, "d " + args[0], command)) return rc;
  if (static_cast<uint64_t>(command.address) + count - 1 > kConsoleMaxAddress)
    return Usage(run.Err(), "the words run past the address 0xFFFFFF");
  if (int rc = run.Connect()) return rc;

  CPodLink& link = run.Link();
  auto print = [&](uint32_t address, uint32_t word) {
    run.Out() << Hex6(address) << " " << FormatTargetWord(word, view) << "\n";
  };
  uint32_t word = 0;
  // One word: the plain read. Several: a lead-in read, then each exchange of
  // the next address answers the word at the one before (the one-transfer lag).
  if (count == 1) {
    if (!link.ReadTargetWord(command.address, word)) {
      run.Err() << "Failed to read the word at " << Hex6(command.address) << "\n";
      return kExitTransferFailed;
    }
    print(command.address, word);
    return kExitOk;
  }
  if (!link.ReadTargetWord(command.address, word)) {
    run.Err() << "Failed to read the word at " << Hex6(command.address) << "\n";
    return kExitTransferFailed;
  }
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t address = command.address + i;
    if (!link.ExchangeWord(address + 1, word)) {
      run.Err() << "Failed to read the word at " << Hex6(address) << "\n";
      return kExitTransferFailed;
    }
    print(address, word);
  }
  return kExitOk;
}

int RunWrite(TargetRun& run, std::vector<std::string>& args) {
  std::string coff;
  bool bad = false;
  TakeOption(args, "--coff", coff, bad);
  if (bad || args.size() != 2) return Usage(run.Err(), "write needs ADDR or NAME and VALUE");
  if (args[0].find_first_of("=/ ") != std::string::npos)
    return Usage(run.Err(), "write takes one address or name");
  ConsoleCommand command;
  if (int rc = ParseTarget(run, coff, "d " + args[0] + "=" + args[1], command)) return rc;
  if (int rc = run.Connect()) return rc;
  if (!run.Link().WriteTargetWord(command.address, command.value)) {
    run.Err() << "Failed to write the word at " << Hex6(command.address) << "\n";
    return kExitTransferFailed;
  }
  run.Out() << kConsoleWriteCompleted << "\n";
  return kExitOk;
}

// Checks shared by boot and flash: a program, and a layout for this DSP type.
int CheckProgram(TargetRun& run, const ProgramData& program, const char* noProgramText) {
  if (program.image.dataByteCount == 0) {
    run.Err() << noProgramText << "\n";
    return kExitRefused;
  }
  const uint8_t dsp = run.Options().settings.dspType;
  if (!ImageLayoutMatches(program.image, dsp)) {
    run.Err() << ImageLayoutMismatchText(program.image, dsp) << "\n";
    return kExitRefused;
  }
  return kExitOk;
}

int RunBoot(TargetRun& run, std::vector<std::string>& args) {
  const bool verify = TakeFlag(args, "--verify");
  if (args.size() != 1) return Usage(run.Err(), "boot needs FILE.out");
  ProgramData program;
  if (int rc = LoadProgram(run, args[0], program)) return rc;
  if (int rc = CheckProgram(
          run, program, verify ? "No user program to write & verify" : "No user program to write"))
    return rc;
  if (int rc = run.Connect()) return rc;
  if (run.Options().settings.dspType == kTMS320C32)
    run.Link().ApplyMemoryInterfaceValues(program.image);
  const bool ok =
      verify ? run.Link().SerialBootVerify(program) : run.Link().SerialBootDownload(program);
  return run.ProcedureExit(ok);
}

int RunFlash(TargetRun& run, std::vector<std::string>& args) {
  std::string out;
  bool bad = false;
  TakeOption(args, "--out", out, bad);
  const bool verify = TakeFlag(args, "--verify");
  if (bad || args.size() != 2)
    return Usage(run.Err(), "flash needs write|verify|read and FILE.out");
  const std::string action = args[0];
  if (action != "write" && action != "verify" && action != "read")
    return Usage(run.Err(), "flash takes write, verify or read, not '" + action + "'");
  if (verify && action != "write") return Usage(run.Err(), "--verify belongs to flash write");
  if (!out.empty() && action != "read") return Usage(run.Err(), "--out belongs to flash read");

  ProgramData program;
  if (int rc = LoadProgram(run, args[1], program)) return rc;
  const char* noProgram = action == "read"     ? "No user program information to read"
                          : action == "verify" ? "No user program to verify"
                          : verify             ? "No user program to write & verify"
                                               : "No user program to write";
  if (int rc = CheckProgram(run, program, noProgram)) return rc;

  const AppSettings& s = run.Options().settings;
  if (action != "read") {
    const BootRegion region = ComputeBootRegion(s.flashType, s.bootType, s.dspType);
    if (program.image.imageByteCount > region.sizeLimit) {
      run.Err() << Format(kProgramTooBigFormat, program.image.imageByteCount, region.sizeLimit)
                << "\n";
      return kExitRefused;
    }
  }
  if (int rc = run.Connect()) return rc;
  CPodLink& link = run.Link();
  link.ApplyMemoryInterfaceValues(program.image);
  if (!link.FlashLoaderAvailable()) {
    run.Err() << kFlashLoaderMissingText << " (" << link.CurrentFlashLoader().name << ")\n";
    return kExitRefused;
  }

  if (action == "write") {
    const bool ok =
        verify ? link.FlashProgramAndVerify(program.image) : link.FlashProgram(program.image);
    if (ok)
      run.Out() << (verify ? "Flash Program & Verifying is successful"
                           : "Flash Program is successful")
                << "\n";
    return run.ProcedureExit(ok);
  }
  if (action == "verify") {
    const bool ok = link.FlashVerify(program.image);
    if (ok) run.Out() << "Flash Verifying is successful\n";
    return run.ProcedureExit(ok);
  }
  const bool ok = link.FlashRead(program.image);
  if (!ok) {
    if (run.Observer().LastResult() == kProcFlashReadError)
      run.Err() << "Read Flash ROM Data... failed\n";
    return run.ProcedureExit(ok);
  }
  const uint32_t n = program.image.imageByteCount / 4;
  const uint32_t base = link.TransferSettings().bootBase;
  if (!out.empty()) {
    std::vector<uint8_t> bytes;
    bytes.reserve(size_t{n} * 4);
    for (uint32_t i = 0; i < n; ++i)
      for (int b = 0; b < 4; ++b)
        bytes.push_back(static_cast<uint8_t>(program.image.words[i] >> (8 * b)));
    if (!WriteFileAtomically(out, {reinterpret_cast<const char*>(bytes.data()), bytes.size()})) {
      run.Err() << out << ": cannot be written\n";
      return kExitFile;
    }
  } else {
    for (uint32_t i = 0; i < n; ++i)
      run.Out() << Hex6(base + 4 * i) << " " << FormatTargetWord(program.image.words[i], 0) << "\n";
  }
  run.Out() << "Flash Reading is successful\n";
  return kExitOk;
}

struct TargetCommand {
  const char* name;
  const char* summary;
  const char* usage;
  int (*run)(TargetRun&, std::vector<std::string>&);
};

const TargetCommand kTargetCommands[] = {
    {"version", "print the pod's firmware version",
     "Usage: velmora-cli version [OPTIONS]\n\nPrints the pod's firmware version as "
     "\"Version : MAJOR.MINOR\".\n",
     RunVersion},
    {"reset", "reset the target board",
     "Usage: velmora-cli reset [OPTIONS]\n\nPulses the target's reset line through the pod.\n",
     RunReset},
    {"read", "read target words through the running program's responder",
     "Usage: velmora-cli read ADDR|NAME [--count N] [--format hex|signed|unsigned|float|binary]\n"
     "                        [--coff FILE.out] [OPTIONS]\n\n"
     "ADDR is 0x followed by hex digits; NAME (or NAME[INDEX]) is looked up in the\n"
     "COFF file's symbols as the console does. One line per word: the address,\n"
     "then the value.\n",
     RunRead},
    {"write", "write a target word through the running program's responder",
     "Usage: velmora-cli write ADDR|NAME VALUE [--coff FILE.out] [OPTIONS]\n\n"
     "VALUE is read as the console reads it: with a point as a float, with 0x as\n"
     "hexadecimal, else as unsigned decimal.\n",
     RunWrite},
    {"boot", "serial-boot a COFF program into the target",
     "Usage: velmora-cli boot FILE.out [--verify] [OPTIONS]\n\n"
     "Resets the target and streams the program to its serial boot loader; with\n"
     "--verify every loaded word is read back afterwards. Ctrl+C cancels.\n",
     RunBoot},
    {"flash", "program, verify or read the target's flash",
     "Usage: velmora-cli flash write|verify|read FILE.out [--verify] [--out IMAGE.bin]\n"
     "                         [OPTIONS]\n\n"
     "write   erase (AM29F/HY29F chips) and program the program image; --verify\n"
     "        reads it back afterwards\n"
     "verify  compare the flash with the program image\n"
     "read    read as many words as the program image has; --out writes them\n"
     "        little-endian to a file, else they are printed\n"
     "Ctrl+C cancels after the current word or page.\n",
     RunFlash},
};

}  // namespace

int RunTargetCommand(const std::string& command, const std::vector<std::string>& args,
                     const CliEnv& env) {
  for (const TargetCommand& c : kTargetCommands) {
    if (command != c.name) continue;
    TargetRun run(env);
    std::vector<std::string> rest = args;
    if (WantsHelp(rest)) return Help(run.Out(), c.usage);
    if (!run.ParseOptions(rest)) return kExitUsage;
    for (const std::string& a : rest)
      if (a.rfind("--", 0) == 0 && a != "--verify" && a.rfind("--coff", 0) != 0 &&
          a.rfind("--count", 0) != 0 && a.rfind("--format", 0) != 0 && a.rfind("--out", 0) != 0)
        return Usage(run.Err(),
                     "unknown option " + a + " (see velmora-cli " + command + " --help)");
    return c.run(run, rest);
  }
  std::cerr << "velmora-cli: no target command " << command << "\n";
  return kExitUsage;
}

namespace {

struct Registrations {
  Registrations() {
    for (const TargetCommand& c : kTargetCommands) {
      const std::string name = c.name;
      CommandRegistrar(name, c.summary, [name](const std::vector<std::string>& args) {
        return RunTargetCommand(name, args, CliEnv{});
      });
    }
  }
} const kRegistrations;

}  // namespace

}  // namespace velmora::cli
