// Assemble -> disassemble -> assemble: the disassembler's text must give back the
// very same words, for generated instructions covering every table row and mode,
// for random words, and for code built by TI's own tools.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>
#include <set>

#include "c3x/Assembler.h"
#include "c3x/Disassembler.h"
#include "c3x/Isa.h"
#include "config/AppSettings.h"
#include "image/CoffReader.h"

using namespace velmora::c3x;

namespace {

constexpr uint32_t kBase = 0x800000;

// Reassembles the disassembly of words (word i at address base + i) and returns
// the first mismatches as text; empty when every word came back.
std::string Reassemble(const std::vector<uint32_t>& words, uint32_t base) {
  std::string src = " .sect \"rt\", " + std::to_string(base) + "\n";
  std::vector<std::string> lines;
  for (size_t i = 0; i < words.size(); ++i) {
    lines.push_back(Disassemble(words[i], base + static_cast<uint32_t>(i)));
    src += "\t" + lines.back() + "\n";
  }
  const AsmResult r = Assemble(src, "rt.asm");
  std::string report;
  if (!r.ok) {
    for (size_t i = 0; i < r.errors.size() && i < 5; ++i) report += r.errors[i] + "\n";
    return report;
  }
  const std::vector<uint32_t>& back = r.sections.at(0).words;
  if (back.size() != words.size()) return "word count changed";
  int shown = 0;
  for (size_t i = 0; i < words.size() && shown < 5; ++i) {
    if (back[i] == words[i]) continue;
    char buf[160];
    std::snprintf(buf, sizeof buf, "%08X -> '%s' -> %08X\n", words[i], lines[i].c_str(), back[i]);
    report += buf;
    ++shown;
  }
  return report;
}

// Random words shaped like the row: fixed bits from the table, the rest random, with
// some operand fields cleared so that register and small forms come up often.
uint32_t Sample(const InsnInfo& row, std::mt19937& rng) {
  uint32_t w = row.opcode | (rng() & ~row.mask);
  const uint32_t bias = rng();
  if (bias & 1) w &= ~0xFFE0u;               // register source forms
  if (bias & 2) w &= ~0x00180000u;           // destination within R0-R7
  if (bias & 4) w &= ~0xE0E0u;               // three-operand register fields
  if (bias & 8) w = (w & ~0xFFC0u) | 0x20u;  // trap number form
  if ((bias & 48) == 48) w &= ~0xFFFFu;      // empty operand field
  if ((bias & 192) == 64) w &= ~0x00FFu;     // displacement 0 (index forms)
  return (w & ~row.mask) | row.opcode;
}

}  // namespace

TEST(RoundTrip, EveryRowAndAddressingModeReassembles) {
  std::mt19937 rng(2024);
  std::vector<uint32_t> words;
  std::map<Op, std::set<int>> modes;  // addressing modes seen per instruction
  for (const InsnInfo& row : InstructionTable()) {
    for (int i = 0; i < 4000; ++i) {
      const uint32_t w = Sample(row, rng);
      const DecodedInsn d = Decode(w);
      if (!d.supported && !d.parallelValid) continue;
      ASSERT_EQ(d.op, row.op) << std::hex << w;
      words.push_back(w);
      int mode = static_cast<int>(d.src.mode);
      if (row.format == Format::ThreeOperand) mode = static_cast<int>((w >> 21) & 3);
      if (row.format == Format::Parallel)
        mode = ParallelInfoOf(row.op)->kind == ParallelKind::MultiplyAdd
                   ? static_cast<int>((w >> 24) & 3)
                   : 0;
      modes[row.op].insert(mode);
    }
  }
  for (const InsnInfo& row : InstructionTable()) {
    const std::set<int>& seen = modes[row.op];
    ASSERT_FALSE(seen.empty()) << row.mnemonic << " never generated";
    size_t expected = 1;
    if (row.format == Format::ThreeOperand)
      expected = 4;                           // reg/ind for each source
    else if (row.format == Format::Parallel)  // the four operand routings (P) of MPY || ADD
      expected = ParallelInfoOf(row.op)->kind == ParallelKind::MultiplyAdd ? 4 : 1;
    else if (row.format == Format::CondBranch || row.format == Format::DecBranch)
      expected = 2;
    else if (row.modes)
      expected = static_cast<size_t>(std::popcount(unsigned{row.modes}));
    EXPECT_EQ(seen.size(), expected) << row.mnemonic;
  }
  EXPECT_EQ(Reassemble(words, kBase), "");
  // The same words placed elsewhere: PC-relative branches are printed as targets.
  words.resize(5000);
  EXPECT_EQ(Reassemble(words, 0x000010), "");
}

TEST(RoundTrip, RandomWordsReassembleOrAreMarked) {
  std::mt19937 rng(99);
  std::vector<uint32_t> words;
  size_t refused = 0, parallel = 0;
  for (int i = 0; i < 100000; ++i) {
    const uint32_t w = rng();
    const DecodedInsn d = Decode(w);
    const std::string text = Disassemble(w, 0);
    if (d.parallelValid) {
      ++parallel;
      ASSERT_NE(text.find(" || "), std::string::npos) << text;
    } else if (!d.supported) {
      ++refused;
      ASSERT_EQ(text.rfind(".word", 0), 0u) << text;
      ASSERT_NE(text.find("; "), std::string::npos) << text;
    }
    words.push_back(w);
  }
  EXPECT_GT(parallel, 0u);
  EXPECT_GT(refused, 0u);
  EXPECT_LT(refused + parallel, words.size());
  EXPECT_EQ(Reassemble(words, kBase), "");
}

// TI's run-time library objects: every instruction word of their code sections
// decodes and reassembles, the parallel ones included.
TEST(RoundTrip, CodeBuiltByTiTools) {
  const std::filesystem::path dir = std::filesystem::path(VELMORA_CORPUS_DIR) / "coff";
  if (!std::filesystem::exists(dir)) GTEST_SKIP() << "corpus not present";
  size_t files = 0, checked = 0, parallel = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("rts30_", 0) != 0) continue;
    velmora::ProgramData data;
    velmora::MemoryInterfaceValues mi;
    mi.dspType = velmora::kTMS320C31;
    ASSERT_EQ(velmora::ReadCoffFile(entry.path().string(), mi, data), 0) << name;
    ++files;
    for (const velmora::CSectionInfo& s : data.sections) {
      if (s.name.rfind(".text", 0) != 0) continue;
      std::vector<uint32_t> words;
      for (uint32_t i = 0; i < s.size; ++i) {
        const uint32_t w = s.Data(data.image)[i];
        const DecodedInsn d = Decode(w);
        if (d.parallelValid) ++parallel;
        EXPECT_TRUE(d.supported || d.parallelValid)
            << name << " " << std::hex << s.startAddress + i << ": " << w << " " << d.reason;
        words.push_back(w);
      }
      checked += words.size();
      EXPECT_EQ(Reassemble(words, s.startAddress), "") << name;
    }
  }
  EXPECT_GE(files, 5u);
  EXPECT_GT(checked, 1000u);
  EXPECT_GT(parallel, 0u);
}
