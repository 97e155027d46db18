// The core on its own: loading, stop rules, registers, the trace, and real
// programs built by TI's C compiler.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "c3x/Assembler.h"
#include "sim/Runner.h"

namespace velmora::sim {
namespace {

namespace fs = std::filesystem;

// Assembles `source` into a COFF file and loads it into a fresh runner.
struct Program {
  explicit Program(const std::string& source, uint8_t dsp = 0) : runner(dsp) {
    // One file per program: CTest runs the cases of this file side by side.
    static int count = 0;
    const fs::path dir = fs::path(VELMORA_BINARY_DIR) / "runner_test";
    fs::create_directories(dir);
    const std::string base =
        (dir / ::testing::UnitTest::GetInstance()->current_test_info()->name()).string() +
        std::to_string(count++);
    const std::string src = base + ".asm", out = base + ".out";
    std::ofstream(src) << source;
    std::vector<std::string> errors;
    ok = c3x::AssembleFile(src, out, errors);
    if (!ok) error = errors.empty() ? "?" : errors.front();
    if (ok) ok = runner.LoadCoff(out, error);
  }
  uint32_t At(const std::string& symbol) {
    std::string e;
    return runner.ResolveAddress(symbol, e).value_or(0xFFFFFFFF);
  }
  Runner runner;
  bool ok = false;
  std::string error;
};

TEST(Runner, StopsAtTheAddressIdleHaltOrStepBudget) {
  Program p(R"(
        .text 0x809800
start:  LDI   0, R0
        BRD   far
        ADDI  1, R0              ; three delay slots: never a stopping point
slot:   ADDI  1, R0
        ADDI  1, R0
        RPTS  4
        ADDI  10, R0             ; five times
far:    LDI   R0, R1
stop:   IDLE
after:  .word 0x1F800000         ; a reserved word
)");
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.runner.DefaultEntry(), 0x809800u);

  // --until inside the delay slots is passed by; at `far` the branch is done.
  EXPECT_EQ(p.runner.Run(p.At("start"), 100, p.At("slot")), StepStop::Idle);
  EXPECT_EQ(p.runner.RegisterValue(1) & 0xFFFFFFFF, 3u);
  EXPECT_EQ(p.runner.Core().Pc(), p.At("after"));
  EXPECT_EQ(p.runner.Steps(), 7u);  // LDI, BRD, 3 slots, LDI, IDLE

  Program q(R"(
        .text 0x809800
        LDI   0, R0
        RPTS  4
        ADDI  10, R0
        NOP
stop:   BR    stop
)");
  ASSERT_TRUE(q.ok) << q.error;
  EXPECT_EQ(q.runner.Run(0x809800, 1000, q.At("stop")), StepStop::Until);
  EXPECT_EQ(q.runner.RegisterValue(0) & 0xFFFFFFFF, 50u);
  EXPECT_EQ(q.runner.Steps(), 8u);  // each repetition counts
  const uint64_t before = q.runner.Steps();
  EXPECT_EQ(q.runner.Run(q.At("stop"), 1000, std::nullopt), StepStop::MaxSteps);
  EXPECT_EQ(q.runner.Steps() - before, 1000u);

  EXPECT_EQ(p.runner.Run(p.At("after"), 10, std::nullopt), StepStop::Halt);
  EXPECT_NE(p.runner.Core().StopMessage().find("0x1F800000"), std::string::npos);
}

TEST(Runner, AnIdleAnInterruptCanWakeGoesOn) {
  Program q(R"(
        .text 0x809800
        LDI   0x80, SP
        LSH   16, SP
        OR    0x9F00, SP
        LDI   1, IE
        LDI   1, IF                ; INT0 pending and enabled
        IDLE
back:   LDI   7, R2
done:   BR    done
        .sect "int0", 0x809FC1
        ADDI  1, R1
        RETI
)");
  ASSERT_TRUE(q.ok) << q.error;
  EXPECT_EQ(q.runner.Run(0x809800, 100, q.At("done")), StepStop::Until);
  EXPECT_EQ(q.runner.RegisterValue(1) & 0xFFFFFFFF, 1u);
  EXPECT_EQ(q.runner.RegisterValue(2) & 0xFFFFFFFF, 7u);
}

TEST(Runner, ProgramsSymbolsAndRegisters) {
  Program p(R"(
LIMIT   .set  0x1234
        .global LIMIT
        .data 0x200000
_table: .word 1, 2, 3
        .text 0x809900
_main:  LDI   @_table, R0
)");
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.runner.DefaultEntry(), 0x809900u);  // .text, not the lowest section
  EXPECT_EQ(p.At("main"), 0x809900u);             // C names without the underscore
  EXPECT_EQ(p.At("_table"), 0x200000u);
  EXPECT_EQ(p.At("LIMIT"), 0x1234u);
  EXPECT_EQ(p.At("0x809A00"), 0x809A00u);
  EXPECT_EQ(p.At("809A00h"), 0x809A00u);
  std::string error;
  EXPECT_FALSE(p.runner.ResolveAddress("nowhere", error));
  EXPECT_NE(error.find("nowhere"), std::string::npos);
  EXPECT_FALSE(p.runner.ResolveAddress("0x1000000", error));
  EXPECT_EQ(p.runner.ReadWord(0x200002), 3u);

  // R0-R7 are 40 bits, the others 32; names in any case.
  EXPECT_EQ(RunnerRegisterIndex("ar3"), 11);
  EXPECT_EQ(RunnerRegisterIndex("RC"), 27);
  EXPECT_EQ(RunnerRegisterIndex("PC"), -1);
  EXPECT_TRUE(p.runner.SetRegister(2, 0xFF80000000ull, error));  // -1.0
  EXPECT_EQ(p.runner.RegisterValue(2), 0xFF80000000ull);
  EXPECT_FALSE(p.runner.SetRegister(2, 0x10000000000ull, error));
  EXPECT_FALSE(p.runner.SetRegister(RunnerRegisterIndex("SP"), 0x100000000ull, error));
  EXPECT_EQ(p.runner.RegisterValue(RunnerRegisterIndex("ST")), 0u);

  // Sections that fall outside the DSP's memory are refused by name.
  Program far(R"(
        .sect "far", 0x700000
        NOP
)");
  EXPECT_FALSE(far.ok);
  EXPECT_NE(far.error.find("0x700000"), std::string::npos) << far.error;
  EXPECT_NE(far.error.find("TMS320C31"), std::string::npos) << far.error;
  // The same address is RAM on the C32 board, at 0x880000 it is external.
  Program c32(R"(
        .sect "ext", 0x880000
        NOP
)",
              1);
  EXPECT_TRUE(c32.ok) << c32.error;
}

TEST(Runner, TraceListsEachInstructionAndTheRegistersItChanged) {
  Program p(R"(
        .text 0x809800
        LDI   5, R0
        BRD   go
        ADDI  R0, R0
        NOP
        NOP
go:     CMPI  10, R0
)");
  ASSERT_TRUE(p.ok) << p.error;
  std::stringstream in;
  p.runner.SetTrace(&in);
  p.runner.Run(0x809800, 6, std::nullopt);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0].substr(0, 26), "809800  08600005  LDI     ");
  // Registers start with all bits zero; LDI keeps the exponent byte.
  EXPECT_NE(lines[0].find(" R0=0x0000000005"), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find("BRD"), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find(" R0=0x000000000A"), std::string::npos) << lines[2];
  EXPECT_EQ(lines[3].find('='), std::string::npos) << lines[3];  // a NOP changes nothing
  EXPECT_NE(lines[5].find("CMPI"), std::string::npos) << lines[5];
  EXPECT_NE(lines[5].find(" ST=0x00000004"), std::string::npos) << lines[5];
}

// Programs compiled by TI's C compiler run from c_int00 to exit and leave the
// words their expected.json lists.
TEST(Runner, TiCompiledProgramsLeaveTheExpectedWords) {
  const fs::path dir = fs::path(VELMORA_CORPUS_DIR) / "ti-built";
  if (!fs::exists(dir / "expected.json")) GTEST_SKIP() << "no corpus at " << dir;
  const nlohmann::json expected = nlohmann::json::parse(std::ifstream(dir / "expected.json"));
  ASSERT_FALSE(expected.empty());
  for (const auto& [name, spec] : expected.items()) {
    SCOPED_TRACE(name);
    Runner runner(0);
    std::string error;
    ASSERT_TRUE(runner.LoadCoff((dir / (name + ".out")).string(), error)) << error;
    const auto entry = runner.ResolveAddress("c_int00", error);
    const auto exit = runner.ResolveAddress("exit", error);
    ASSERT_TRUE(entry && exit) << error;
    ASSERT_EQ(runner.Run(*entry, 10'000'000, *exit), StepStop::Until);
    std::vector<nlohmann::json> checks = {spec};
    if (spec.contains("also")) checks.push_back(spec["also"]);
    for (const nlohmann::json& check : checks) {
      const auto at = runner.ResolveAddress(check["symbol"].get<std::string>(), error);
      ASSERT_TRUE(at) << error;
      const auto& words = check["words"];
      for (size_t i = 0; i < words.size(); ++i)
        EXPECT_EQ(runner.ReadWord(*at + static_cast<uint32_t>(i)),
                  std::stoul(words[i].get<std::string>(), nullptr, 16))
            << check["symbol"] << "[" << i << "]";
    }
  }
}

}  // namespace
}  // namespace velmora::sim
