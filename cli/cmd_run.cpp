// velmora-cli run: executes a C3x program on the PC (the core and a DSP's
// memory map, no pod, no boot loader) and reports the registers and memory.
#include <cctype>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include "Cli.h"
#include "PodOptions.h"
#include "sim/Runner.h"

namespace velmora::cli {
namespace {

// Exit statuses besides kExitOk (stopped at --until or at an IDLE) and kExitUsage.
constexpr int kRunBadValue = 1;  // a symbol, address or register value; memory the program misses
constexpr int kRunMaxSteps = 4;
constexpr int kRunHalted = 5;  // an instruction stopped the core

struct Args {
  std::string program;
  std::string entry, until;
  uint64_t maxSteps = 100'000'000;
  std::vector<std::string> dumps;  // ADDR|SYMBOL:COUNT
  std::vector<std::string> sets;   // REG=VALUE
  std::string trace;               // "true" (--trace alone): standard error
  bool json = false;
};

bool ParseUnsigned(std::string_view text, uint64_t& value) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  } else if (text.size() > 1 && (text.back() == 'h' || text.back() == 'H')) {
    base = 16;
    text.remove_suffix(1);
  }
  if (text.empty()) return false;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

// A register value: unsigned as above, or a negative decimal (two's complement).
bool ParseRegisterValue(const std::string& text, bool wide, uint64_t& value) {
  if (!text.empty() && text[0] == '-') {
    uint64_t magnitude = 0;
    if (!ParseUnsigned(std::string_view(text).substr(1), magnitude) || magnitude > 0x80000000ull)
      return false;
    value = static_cast<uint32_t>(0u - static_cast<uint32_t>(magnitude));
    return true;
  }
  return ParseUnsigned(text, value) && value <= (wide ? 0xFFFFFFFFFFull : 0xFFFFFFFFull);
}

std::string Hex(uint64_t v, int digits) {
  char b[24];
  std::snprintf(b, sizeof b, "0x%0*llX", digits, static_cast<unsigned long long>(v));
  return b;
}

int Run(Invocation& run, const Args& args) {
  auto fail = [&](int status, const std::string& message) {
    run.Err() << "velmora-cli run: " << message << "\n";
    return status;
  };
  sim::Runner runner(run.Pod().settings.dspType);
  std::string error;
  std::vector<std::string> warnings;
  const bool loaded = runner.LoadCoff(args.program, error, &warnings);
  for (const std::string& w : warnings) run.Err() << "velmora-cli run: " << w << "\n";
  if (!loaded) {
    const bool unreadable = error.find("RAM") == std::string::npos;
    return fail(unreadable ? kExitFile : kRunBadValue, args.program + ": " + error);
  }
  auto resolve = [&](const std::string& text) { return runner.ResolveAddress(text, error); };

  uint32_t entry = runner.DefaultEntry();
  if (!args.entry.empty()) {
    const auto e = resolve(args.entry);
    if (!e) return fail(kRunBadValue, "--entry: " + error);
    entry = *e;
  }
  std::optional<uint32_t> until;
  if (!args.until.empty()) {
    until = resolve(args.until);
    if (!until) return fail(kRunBadValue, "--until: " + error);
  }
  struct Dump {
    uint32_t at, count;
  };
  std::vector<Dump> dumps;
  for (const std::string& d : args.dumps) {
    const size_t colon = d.rfind(':');
    uint64_t count = 0;
    if (colon == std::string::npos || colon == 0 ||
        !ParseUnsigned(std::string_view(d).substr(colon + 1), count) || count == 0 ||
        count > 0x1000000)
      return fail(kExitUsage,
                  "--dump takes ADDR:COUNT or SYMBOL:COUNT, COUNT 1 to 16777216, not '" + d + "'");
    const auto at = resolve(d.substr(0, colon));
    if (!at) return fail(kRunBadValue, "--dump: " + error);
    dumps.push_back({*at, static_cast<uint32_t>(count)});
  }
  for (const std::string& s : args.sets) {
    const size_t eq = s.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == s.size())
      return fail(kExitUsage, "--set takes REG=VALUE, not '" + s + "'");
    const std::string name = s.substr(0, eq), text = s.substr(eq + 1);
    const int index = sim::RunnerRegisterIndex(name);
    if (index < 0) return fail(kRunBadValue, "--set: no register '" + name + "'");
    uint64_t value = 0;
    if (!ParseRegisterValue(text, index < 8, value)) {
      // Not a number that fits: the address of a symbol (a table for an AR).
      const bool number =
          !text.empty() && (std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '-');
      const auto symbol = number ? std::nullopt : runner.ResolveAddress(text, error);
      if (!symbol)
        return fail(kRunBadValue, "--set: '" + text + "' does not fit " + name + " (" +
                                      (index < 8 ? "40" : "32") + " bits) and is no symbol");
      value = *symbol;
    }
    runner.SetRegister(index, value, error);
  }
  std::ofstream traceFile;
  if (!args.trace.empty()) {
    if (args.trace == "true") {
      runner.SetTrace(&run.Err());
    } else {
      traceFile.open(args.trace);
      if (!traceFile) return fail(kExitFile, "cannot write the trace to " + args.trace);
      runner.SetTrace(&traceFile);
    }
  }

  const sim::StepStop stop = runner.Run(entry, args.maxSteps, until);
  runner.SetTrace(nullptr);
  if (traceFile.is_open()) {
    traceFile.close();
    if (!traceFile) return fail(kExitFile, "cannot write the trace to " + args.trace);
  }

  const uint32_t pc = runner.Core().Pc();
  if (args.json) {
    nlohmann::ordered_json out;
    out["stop"] = sim::StepStopName(stop);
    out["pc"] = pc;
    out["steps"] = runner.Steps();
    nlohmann::ordered_json regs = nlohmann::ordered_json::object();
    for (int i = 0; i < sim::kRunnerRegisterCount; ++i)
      regs[sim::RunnerRegisterName(i)] = Hex(runner.RegisterValue(i), i < 8 ? 10 : 8);
    out["registers"] = regs;
    nlohmann::ordered_json memory = nlohmann::ordered_json::object();
    for (const Dump& d : dumps) {
      nlohmann::ordered_json words = nlohmann::ordered_json::array();
      for (uint32_t k = 0; k < d.count; ++k) words.push_back(Hex(runner.ReadWord(d.at + k), 8));
      memory[Hex(d.at, 6)] = words;
    }
    out["memory"] = memory;
    run.Out() << out.dump() << "\n";
  } else {
    run.Out() << "Stopped: " << sim::StepStopName(stop) << " at PC " << Hex(pc, 6) << " after "
              << runner.Steps() << " steps\n";
    for (int i = 0; i < sim::kRunnerRegisterCount; ++i) {
      const bool lineEnd =
          i < 8 ? i % 4 == 3 : (i - 8) % 5 == 4 || i + 1 == sim::kRunnerRegisterCount;
      char cell[40];
      std::snprintf(cell, sizeof cell, "%-4s%s%s", sim::RunnerRegisterName(i),
                    Hex(runner.RegisterValue(i), i < 8 ? 10 : 8).c_str(), lineEnd ? "\n" : "  ");
      run.Out() << cell;
    }
    for (const Dump& d : dumps)
      for (uint32_t k = 0; k < d.count; ++k) {
        if (k % 8 == 0) run.Out() << (k ? "\n" : "") << Hex((d.at + k) & 0xFFFFFF, 6) << ":";
        run.Out() << " " << Hex(runner.ReadWord(d.at + k), 8);
        if (k + 1 == d.count) run.Out() << "\n";
      }
  }
  switch (stop) {
    case sim::StepStop::Until:
    case sim::StepStop::Idle:
      return kExitOk;
    case sim::StepStop::MaxSteps:
      return kRunMaxSteps;
    case sim::StepStop::Halt:
      return fail(kRunHalted, runner.Core().StopMessage());
  }
  return kRunHalted;
}

const CommandRegistrar kRegistered([](CLI::App& app) -> CommandRun {
  CLI::App* cmd = app.add_subcommand(
      "run",
      "run a C3x program on the PC and report registers and memory\n"
      "Runs a TMS320C3x program without a board: its sections are loaded straight into\n"
      "the memory map of the DSP (--dsp, else the configured DSP type), every register\n"
      "starts cleared (R0-R7 hold the float zero 0x8000000000) unless --set gives it a\n"
      "value, and execution starts at --entry. It stops when the PC reaches --until with\n"
      "no delayed branch pending, at an IDLE that no enabled, pending interrupt can wake,\n"
      "at an instruction the core cannot execute, or after --max-steps instructions.\n"
      "Addresses and values are decimal, 0x hexadecimal or hexadecimal with an h suffix;\n"
      "a symbol may be given with or without its leading underscore. The peripheral\n"
      "registers are plain memory here: no timer or serial port runs.");
  auto args = std::make_shared<Args>();
  cmd->add_option("PROGRAM.out", args->program, "the COFF executable")->required();
  cmd->add_option("--entry", args->entry, "start address (default: the start of .text)")
      ->option_text("ADDR|SYMBOL");
  cmd->add_option("--until", args->until, "stop when the PC gets there")
      ->option_text("ADDR|SYMBOL");
  cmd->add_option("--max-steps", args->maxSteps, "stop after N instructions (default 100000000)")
      ->option_text("N");
  cmd->add_option("--dump", args->dumps, "report COUNT words from there (may be repeated)")
      ->option_text("ADDR|SYMBOL:COUNT")
      ->allow_extra_args(false);
  cmd->add_option("--set", args->sets,
                  "set a register first to a number or a symbol's address; R0-R7 take 40 bits "
                  "(0xEEMMMMMMMM), AR0-AR7, DP, IR0, IR1, BK, SP, ST, IE, IF, IOF, RS, RE and RC "
                  "32 (may be repeated)")
      ->option_text("REG=VALUE")
      ->allow_extra_args(false);
  cmd->add_flag("--trace", args->trace,
                "one line per instruction (address, word, disassembly, the registers it "
                "changed) to FILE; --trace alone writes them to standard error")
      ->option_text("[=FILE]");
  cmd->add_flag("--json", args->json, "the result as one JSON object");
  cmd->footer(
      "Exit status: 0 stopped at --until or at an IDLE, 1 a symbol, address or register\n"
      "value that does not resolve or fit, or a section outside the DSP's memory, 2 wrong\n"
      "usage, 3 the program cannot be read or the trace not written, 4 --max-steps ran\n"
      "out, 5 an instruction halted the core.\n");
  return [args](Invocation& run) { return Run(run, *args); };
});

}  // namespace
}  // namespace velmora::cli
