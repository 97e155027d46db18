// velmora-cli target commands: version, reset, read, write, boot and flash,
// over the same pod link as the desktop application.
#include <csignal>
#include <cstdio>
#include <ostream>

#include <CLI/CLI.hpp>
#include "Cli.h"
#include "PodOptions.h"
#include "PodSession.h"
#include "image/AtomicFile.h"
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

// Ctrl+C cancels a procedure while the scope lasts (unless the caller polls
// its own cancel flag).
class InterruptScope {
 public:
  explicit InterruptScope(bool active) : active_(active) {
    if (!active_) return;
    g_interrupted = 0;
    std::signal(SIGINT, OnInterrupt);
  }
  ~InterruptScope() {
    if (active_) std::signal(SIGINT, SIG_DFL);
  }

 private:
  bool active_;
};

std::string Format(const char* format, unsigned a, unsigned b = 0) {
  char text[160];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

std::string Hex6(uint32_t address) {
  return Format("0x%06X", address & 0xFFFFFFu);
}

// Progress dialogs on a terminal: a status line, then a bar redrawn in place
// (or plain lines at every tenth when the output is not a terminal), then the
// dialog's outcome text. The erase shows its elapsed seconds on a terminal,
// since it can take many seconds with no other sign of life.
class CliObserver : public ProcedureObserver {
 public:
  CliObserver(Invocation& run, bool (*cancel)())
      : out_(run.Out()),
        err_(run.Err()),
        clock_(run.TheClock()),
        bar_(run.ProgressBar()),
        cancel_(cancel) {}

  ProcResult LastResult() const { return last_; }

  void Start() override {
    EndLine();
    shownPercent_ = -1;
  }
  void SetTitle(const std::string& title) override { title_ = title; }
  void SetStatusText(const std::string& text) override {
    EndLine();
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
      lineOpen_ = true;
    } else if (percent / 10 != shownPercent_ / 10 || shownPercent_ < 0) {
      err_ << "  " << percent << "%\n";
    }
    shownPercent_ = percent;
  }
  void Finish(ProcResult result) override {
    EndLine();
    last_ = result;
    if (const char* text = ProgressStatusText(result)) {
      if (const char* title = ProgressTitleText(result)) err_ << title_ << ":" << title << "\n";
      out_ << text << "\n";
      out_.flush();
    }
  }
  void Hide() override { EndLine(); }
  void StartAnimation() override {
    EndLine();
    animationStartMs_ = clock_.NowMs();
    shownSeconds_ = -1;
  }
  void SetAnimationTitle(const std::string& title) override {
    animationTitle_ = title;
    if (bar_) {
      ShowElapsed();
    } else {
      err_ << title << "\n";
      err_.flush();
    }
  }
  void FinishAnimation(ProcResult result) override {
    if (bar_) ShowElapsed();
    EndLine();
    animationTitle_.clear();
    last_ = result;
    if (const char* text = AnimationTitleText(result)) {
      out_ << text << "\n";
      out_.flush();
    }
  }
  void HideAnimation() override {}
  bool CancelRequested() override { return cancel_ && cancel_(); }
  void PumpOneEvent() override {
    if (bar_ && !animationTitle_.empty()) ShowElapsed();
  }
  void SetWaitCursor(bool) override {}

 private:
  void EndLine() {
    if (lineOpen_) err_ << "\n";
    lineOpen_ = false;
  }
  void ShowElapsed() {
    const int seconds = static_cast<int>((clock_.NowMs() - animationStartMs_) / 1000);
    if (seconds == shownSeconds_) return;
    shownSeconds_ = seconds;
    err_ << "\r" << animationTitle_ << " " << seconds << " s";
    err_.flush();
    lineOpen_ = true;
  }

  std::ostream& out_;
  std::ostream& err_;
  Clock& clock_;
  bool bar_;
  bool (*cancel_)();
  std::string title_, animationTitle_;
  int shownPercent_ = -1;
  int shownSeconds_ = -1;
  uint32_t animationStartMs_ = 0;
  bool lineOpen_ = false;
  ProcResult last_ = kProcCompleted;
};

// A session that runs procedures: the link, its observer and Ctrl+C.
class ProcedureSession {
 public:
  explicit ProcedureSession(Invocation& run)
      : session_(run),
        observer_(run, run.Env().cancelRequested ? run.Env().cancelRequested : &InterruptRequested),
        interrupts_(!run.Env().cancelRequested) {}

  int Connect() {
    const int rc = session_.Connect();
    if (rc == kExitOk) Link().SetObserver(&observer_);
    return rc;
  }
  CPodLink& Link() { return session_.Link(); }

  // Exit status of a procedure that returned ok.
  int Exit(bool ok) const {
    if (ok) return kExitOk;
    const ProcResult r = observer_.LastResult();
    return kExitProcedureBase + (r == kProcCompleted ? int{kProcFlashReadError} : int{r});
  }

 private:
  PodSession session_;
  CliObserver observer_;
  InterruptScope interrupts_;
};

// Checks shared by boot and flash: a program, and a layout for this DSP type.
int CheckProgram(Invocation& run, const ProgramData& program, const char* noProgramText) {
  if (program.image.dataByteCount == 0) {
    run.Err() << noProgramText << "\n";
    return kExitRefused;
  }
  const uint8_t dsp = run.Pod().settings.dspType;
  if (!ImageLayoutMatches(program.image, dsp)) {
    run.Err() << ImageLayoutMismatchText(program.image, dsp) << "\n";
    return kExitRefused;
  }
  return kExitOk;
}

// Resolves ADDR|NAME (and VALUE for writes) as the console does.
int ParseTarget(Invocation& run, const std::string& coff, const std::string& line,
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

// A target word or name: nothing the console would read as a second part.
CLI::Validator SingleTarget() {
  return CLI::Validator(
      [](std::string& v) -> std::string {
        return v.find_first_of("=/ ") == std::string::npos ? "" : "takes one address or name";
      },
      "");
}

// ---------------------------------------------------------------- commands

struct Args {
  std::string target, value, coff, file, out;
  uint32_t count = 1;
  int format = static_cast<int>(ViewType::HexDecimal);
  bool verify = false;
  bool quick = false;  // flash verifies compare the CRC-32 first
};

int RunVersion(Invocation& run, const Args&) {
  PodSession session(run);
  if (int rc = session.Connect()) return rc;
  if (!session.Link().ReadFirmwareVersion()) {
    run.Err() << "The pod did not answer the version query\n";
    return kExitTransferFailed;
  }
  const uint8_t v = session.Link().FirmwareVersion();
  run.Out() << Format("Version : %d.%d", v >> 4, v & 0xF) << "\n";
  return kExitOk;
}

int RunReset(Invocation& run, const Args&) {
  PodSession session(run);
  if (int rc = session.Connect()) return rc;
  if (!session.Link().ResetTarget()) {
    run.Err() << kFailedToResetText << "\n";
    return kExitResetFailed;
  }
  return kExitOk;
}

int RunRead(Invocation& run, const Args& args) {
  ConsoleCommand command;
  if (int rc = ParseTarget(run, args.coff, "d " + args.target, command)) return rc;
  if (static_cast<uint64_t>(command.address) + args.count - 1 > kConsoleMaxAddress) {
    run.Err() << "velmora-cli read: the words run past the address 0xFFFFFF\n";
    return kExitUsage;
  }
  PodSession session(run);
  if (int rc = session.Connect()) return rc;
  CPodLink& link = session.Link();
  const uint8_t view = static_cast<uint8_t>(args.format);
  uint32_t word = 0;
  // A lead-in read; for several words, each exchange of the next address then
  // answers the word at the one before (the one-transfer lag).
  if (!link.ReadTargetWord(command.address, word)) {
    run.Err() << "Failed to read the word at " << Hex6(command.address) << "\n";
    return kExitTransferFailed;
  }
  for (uint32_t i = 0; i < args.count; ++i) {
    const uint32_t address = command.address + i;
    if (args.count > 1 && !link.ExchangeWord(address + 1, word)) {
      run.Err() << "Failed to read the word at " << Hex6(address) << "\n";
      return kExitTransferFailed;
    }
    run.Out() << Hex6(address) << " " << FormatTargetWord(word, view) << "\n";
  }
  return kExitOk;
}

int RunWrite(Invocation& run, const Args& args) {
  ConsoleCommand command;
  if (int rc = ParseTarget(run, args.coff, "d " + args.target + "=" + args.value, command))
    return rc;
  PodSession session(run);
  if (int rc = session.Connect()) return rc;
  if (!session.Link().WriteTargetWord(command.address, command.value)) {
    run.Err() << "Failed to write the word at " << Hex6(command.address) << "\n";
    return kExitTransferFailed;
  }
  run.Out() << kConsoleWriteCompleted << "\n";
  return kExitOk;
}

int RunBoot(Invocation& run, const Args& args) {
  ProgramData program;
  if (int rc = LoadProgram(run, args.file, program)) return rc;
  if (int rc = CheckProgram(
          run, program,
          args.verify ? "No user program to write & verify" : "No user program to write"))
    return rc;
  ProcedureSession session(run);
  if (int rc = session.Connect()) return rc;
  if (run.Pod().settings.dspType == kTMS320C32)
    session.Link().ApplyMemoryInterfaceValues(program.image);
  const bool ok = args.verify ? session.Link().SerialBootVerify(program)
                              : session.Link().SerialBootDownload(program);
  return session.Exit(ok);
}

enum class FlashAction { kWrite, kVerify, kRead };

int RunFlash(Invocation& run, const Args& args, FlashAction action) {
  ProgramData program;
  if (int rc = LoadProgram(run, args.file, program)) return rc;
  const char* noProgram = action == FlashAction::kRead     ? "No user program information to read"
                          : action == FlashAction::kVerify ? "No user program to verify"
                          : args.verify                    ? "No user program to write & verify"
                                                           : "No user program to write";
  if (int rc = CheckProgram(run, program, noProgram)) return rc;

  const AppSettings& s = run.Pod().settings;
  if (action != FlashAction::kRead) {
    const BootRegion region = ComputeBootRegion(s.flashType, s.bootType, s.dspType);
    if (program.image.imageByteCount > region.sizeLimit) {
      run.Err() << Format(kProgramTooBigFormat, program.image.imageByteCount, region.sizeLimit)
                << "\n";
      return kExitRefused;
    }
  }
  ProcedureSession session(run);
  if (int rc = session.Connect()) return rc;
  CPodLink& link = session.Link();
  link.ApplyMemoryInterfaceValues(program.image);
  if (args.quick) {
    DerivedTransferSettings d = link.TransferSettings();
    d.quickVerify = true;
    link.SetTransferSettings(d);
  }
  if (!link.FlashLoaderAvailable()) {
    run.Err() << kFlashLoaderMissingText << " (" << link.CurrentFlashLoader().name << ")\n";
    return kExitRefused;
  }

  if (action == FlashAction::kWrite) {
    const bool ok =
        args.verify ? link.FlashProgramAndVerify(program.image) : link.FlashProgram(program.image);
    if (ok)
      run.Out() << (args.verify ? "Flash Program & Verifying is successful"
                                : "Flash Program is successful")
                << "\n";
    return session.Exit(ok);
  }
  if (action == FlashAction::kVerify) {
    const bool ok = link.FlashVerify(program.image);
    if (ok) run.Out() << "Flash Verifying is successful\n";
    return session.Exit(ok);
  }
  if (!link.FlashRead(program.image)) return session.Exit(false);
  const uint32_t n = program.image.imageByteCount / 4;
  const uint32_t base = link.TransferSettings().bootBase;
  if (!args.out.empty()) {
    std::string bytes;
    bytes.reserve(size_t{n} * 4);
    for (uint32_t i = 0; i < n; ++i)
      for (int b = 0; b < 4; ++b)
        bytes.push_back(static_cast<char>(program.image.words[i] >> (8 * b)));
    if (!WriteFileAtomically(args.out, bytes)) {
      run.Err() << args.out << ": cannot be written\n";
      return kExitFile;
    }
  } else {
    for (uint32_t i = 0; i < n; ++i)
      run.Out() << Hex6(base + 4 * i) << " " << FormatTargetWord(program.image.words[i], 0) << "\n";
  }
  run.Out() << "Flash Reading is successful\n";
  return kExitOk;
}

// One target command: its description, and its options declared on cmd.
CLI::App* AddTarget(CLI::App& parent, const char* name, const char* description) {
  CLI::App* cmd = parent.add_subcommand(name, description);
  UsesPodOptions(*cmd, kTargetExitStatus);
  return cmd;
}

void AddCoff(CLI::App* cmd, Args& args) {
  cmd->add_option("--coff", args.coff, "look NAME up in this COFF file's symbols")
      ->option_text("FILE.out");
}

const CommandRegistrar kVersion([](CLI::App& app) -> CommandRun {
  AddTarget(app, "version",
            "print the pod's firmware version\n"
            "Prints the pod's firmware version as \"Version : MAJOR.MINOR\".");
  return [](Invocation& run) { return RunVersion(run, {}); };
});

const CommandRegistrar kReset([](CLI::App& app) -> CommandRun {
  AddTarget(app, "reset",
            "reset the target board\n"
            "Pulses the target's reset line through the pod, with the configured polarity\n"
            "and pulse.");
  return [](Invocation& run) { return RunReset(run, {}); };
});

const CommandRegistrar kRead([](CLI::App& app) -> CommandRun {
  CLI::App* cmd =
      AddTarget(app, "read",
                "read target words through the running program's responder\n"
                "ADDR is 0x followed by hex digits; NAME (or NAME[INDEX]) is looked up in the\n"
                "COFF file's symbols as the console does. One line per word: the address,\n"
                "then the value.");
  auto args = std::make_shared<Args>();
  cmd->add_option("ADDR|NAME", args->target, "the first word")->required()->check(SingleTarget());
  cmd->add_option("--count", args->count, "the number of words (default 1)")
      ->option_text("N")
      ->check(CLI::Range(1u, 0x1000000u));
  cmd->add_option("--format", args->format, "the view of the values (default hex)")
      ->option_text("hex|signed|unsigned|float|binary")
      ->transform(Choice(kFormatNames));
  AddCoff(cmd, *args);
  return [args](Invocation& run) { return RunRead(run, *args); };
});

const CommandRegistrar kWrite([](CLI::App& app) -> CommandRun {
  CLI::App* cmd = AddTarget(app, "write",
                            "write a target word through the running program's responder\n"
                            "VALUE is read as the console reads it: with a point as a float, "
                            "with 0x as\nhexadecimal, else as unsigned decimal.");
  auto args = std::make_shared<Args>();
  cmd->add_option("ADDR|NAME", args->target, "the word")->required()->check(SingleTarget());
  cmd->add_option("VALUE", args->value, "the value")->required();
  AddCoff(cmd, *args);
  return [args](Invocation& run) { return RunWrite(run, *args); };
});

const CommandRegistrar kBoot([](CLI::App& app) -> CommandRun {
  CLI::App* cmd =
      AddTarget(app, "boot",
                "serial-boot a COFF program into the target\n"
                "Resets the target and streams the program to its serial boot loader; with\n"
                "--verify every loaded word is read back afterwards. Ctrl+C cancels.");
  auto args = std::make_shared<Args>();
  cmd->add_option("FILE.out", args->file, "the program")->required();
  cmd->add_flag("--verify", args->verify, "read every loaded word back");
  return [args](Invocation& run) { return RunBoot(run, *args); };
});

const CommandRegistrar kFlash([](CLI::App& app) -> CommandRun {
  CLI::App* cmd = app.add_subcommand("flash",
                                     "program, verify or read the target's flash\n"
                                     "Ctrl+C cancels after the current word or page.");
  cmd->require_subcommand(1);
  auto args = std::make_shared<Args>();
  CLI::App* write =
      AddTarget(*cmd, "write", "erase (AM29F/HY29F chips) and program the program image");
  CLI::App* verify = AddTarget(*cmd, "verify", "compare the flash with the program image");
  CLI::App* read = AddTarget(*cmd, "read", "read as many words as the program image has");
  for (CLI::App* action : {write, verify, read})
    action->add_option("FILE.out", args->file, "the program")->required();
  CLI::Option* writeVerify =
      write->add_flag("--verify", args->verify, "read the flash back afterwards");
  const char* quickHelp =
      "compare a CRC-32 the loader computes first; word by word only when it differs\n"
      "(also the \"Quick Verify\" setting)";
  write->add_flag("--quick", args->quick, quickHelp)->needs(writeVerify);
  verify->add_flag("--quick", args->quick, quickHelp);
  read->add_option("--out", args->out,
                   "write the words little-endian to this file (default: print them)")
      ->option_text("IMAGE.bin");
  return [args, write, verify](Invocation& run) {
    return RunFlash(run, *args,
                    write->parsed()    ? FlashAction::kWrite
                    : verify->parsed() ? FlashAction::kVerify
                                       : FlashAction::kRead);
  };
});

}  // namespace

}  // namespace velmora::cli
