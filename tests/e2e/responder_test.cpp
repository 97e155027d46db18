// The responder inside a program that works its registers hard: the host reads
// and writes while the program runs, and the program never notices the
// interrupts (no register, float part or flag of its own changes).
#include <fstream>

#include "c3x/Assembler.h"
#include "e2e/e2e_support.h"
#include "image/CoffReader.h"

namespace velmora::e2e {
namespace {

// Every register the program owns (but R7, its pass counter), with the load
// form (F or I) and the value it keeps.
const char* const kOwned[][3] = {
    {"R0", "F", "1.5"},     {"R1", "F", "-2.25"},       {"R2", "F", "100.0"},
    {"R3", "I", "-7"},      {"R4", "F", "0.125"},       {"R5", "I", "@k_pattern"},
    {"R6", "F", "-1.0e-3"}, {"AR3", "I", "@k_pattern"}, {"AR4", "I", "12345"},
    {"AR5", "I", "-5432"},  {"AR6", "I", "@k_pattern"}, {"AR7", "I", "1"},
    {"IR1", "I", "77"},     {"BK", "I", "99"},          {"AR0", "I", "111"},
    {"AR1", "I", "222"},    {"AR2", "I", "333"}};

// Loads every register it owns with a pattern, then checks them in a loop
// that compares and branches all the time, counting passes and mismatches.
// The stack and the variables are in the external RAM of all three boards.
std::string Program() {
  std::string loads, checks;
  for (const auto& r : kOwned) {
    loads += std::string("        LD") + r[1] + "     " + r[2] + ", " + r[0] + "\n";
    checks +=
        std::string("        CMP") + r[1] + "    " + r[2] + ", " + r[0] + "\n        BNE     bad\n";
  }
  return R"(
        .text   200000h
start:  LDP     @k_stack
        LDI     @k_stack, SP
        CALL    _resp_init
        LDP     @k_stack
        LDI     0, R7
)" + loads +
         R"(loop:   ADDI    1, R7
        STI     R7, @passes
)" + checks +
         R"(
        LDI     3, AR7           ; flags: N clear, Z clear after this compare
        CMPI    2, AR7
        BLE     bad              ; taken only if the flags changed underneath
        LDI     1, AR7
        BR      loop
bad:    LDI     @errors, IR0
        ADDI    1, IR0
        STI     IR0, @errors
        BR      loop

k_stack   .word stack
k_pattern .word 5A5AA5A5h
        .bss    passes, 1
        .bss    errors, 1
        .bss    target, 16
        .bss    stack, 64
        .include ")" +
         VELMORA_SOURCE_DIR + R"(/examples/responder/responder.asm"
)";
}

class Responder : public Bench, public ::testing::WithParamInterface<uint8_t> {};

TEST_P(Responder, AnswersReadsAndWritesWhileTheProgramRunsUndisturbed) {
  const uint8_t dsp = GetParam();
  const std::string dspOption = std::string("--dsp=c3") + char('1' + dsp);
  const std::string source = (dir / "worker.asm").string(), coff = (dir / "worker.out").string();
  std::ofstream(source) << Program();
  std::vector<std::string> errors;
  ASSERT_TRUE(c3x::AssembleFile(source, coff, errors)) << ::testing::PrintToString(errors);
  const c3x::AsmResult r = c3x::Assemble(Program(), source, c3x::FileIncludeReader());
  auto address = [&](const std::string& name) {
    for (const auto& s : r.symbols)
      if (s.name == name) return s.value;
    ADD_FAILURE() << name;
    return 0u;
  };

  ASSERT_EQ(Run("boot", {coff, "--verify", dspOption}), cli::kExitOk) << out.str();
  char text[16];
  auto hex = [&](uint32_t v) {
    std::snprintf(text, sizeof text, "0x%06X", v);
    return std::string(text);
  };
  // Many words in a row, as a monitoring tick would send them, plus writes.
  for (uint32_t i = 0; i < 16; ++i)
    ASSERT_EQ(
        Run("write", {hex(address("target") + i), std::to_string(0x01010101u * i + 7), dspOption}),
        cli::kExitOk);
  ASSERT_EQ(Run("read", {hex(address("target")), "--count", "16", dspOption}), cli::kExitOk);
  std::istringstream lines(out.str());
  for (uint32_t i = 0; i < 16; ++i) {
    std::string at, value;
    lines >> at >> value;
    EXPECT_EQ(std::stoul(value, nullptr, 16), 0x01010101u * i + 7) << "word " << i;
  }
  ASSERT_EQ(Run("read", {hex(address("passes")), dspOption}), cli::kExitOk);
  const uint32_t passes = std::stoul(out.str().substr(9), nullptr, 16);
  Wait(20);
  ASSERT_EQ(Run("read", {hex(address("passes")), dspOption}), cli::kExitOk);
  EXPECT_GT(std::stoul(out.str().substr(9), nullptr, 16), passes) << "the program runs on";
  ASSERT_EQ(Run("read", {hex(address("errors")), dspOption}), cli::kExitOk);
  EXPECT_EQ(out.str().substr(9), "0x00000000\n") << "nothing of the program changed";
  EXPECT_EQ(Board().State(), sim::BoardState::Running) << Board().HaltMessage();
}

INSTANTIATE_TEST_SUITE_P(EachDsp, Responder, ::testing::Values(0, 1, 2), [](const auto& info) {
  return std::string("C3") + char('1' + info.param);
});

}  // namespace
}  // namespace velmora::e2e
