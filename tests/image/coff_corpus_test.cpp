// Real TI-built COFF files (C3x runtime objects, C4x executables). Skipped when
// the corpus is not present.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "coff_fixtures.h"
#include "image/CoffReader.h"
#include "image/SymbolTable.h"

namespace velmora {
namespace {

using namespace testing_coff;

const std::filesystem::path kCorpus = std::filesystem::path(VELMORA_CORPUS_DIR) / "coff";

class CoffCorpus : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::is_directory(kCorpus)) GTEST_SKIP() << "no corpus at " << kCorpus;
  }
  int Load(const char* name, uint8_t dsp = kTMS320C31) {
    info_ = {};
    return ReadCoffFile((kCorpus / name).string(), Mi(dsp), d_, &info_);
  }
  std::vector<std::string> SectionNames() const {
    std::vector<std::string> names;
    for (const auto& s : d_.sections) names.push_back(s.name);
    return names;
  }
  static std::vector<uint8_t> FileBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  ProgramData d_;
  CoffFileInfo info_;
};

TEST_F(CoffCorpus, EveryFileAndEveryTruncationReadsSafely) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
    SCOPED_TRACE(entry.path().filename().string());
    const auto bytes = FileBytes(entry.path());
    EXPECT_EQ(ReadCoffFile(entry.path().string(), Mi(kTMS320C32), d_), kCoffOk);
    for (size_t n = 0; n < bytes.size(); n += 5) {
      const int r = ReadCoffBuffer(bytes.data(), n, Mi(kTMS320C32), d_);
      EXPECT_TRUE(r >= kCoffOk && r <= kCoffMemoryException) << n;
    }
    ++files;
  }
  EXPECT_GT(files, 0);
}

TEST_F(CoffCorpus, C4xExecutableWithCopyFlaggedCinit) {
  ASSERT_EQ(Load("helios_fft.x40"), kCoffOk);
  EXPECT_EQ(info_.format, CoffFormat::COFF0);
  EXPECT_TRUE(info_.optionalHeader);
  // .cinit (0x50) lies over the start of .text; empty, .bss and .stack sections stay out;
  // "_costabl" loses its underscore.
  EXPECT_EQ(SectionNames(), (std::vector<std::string>{".text", ".const", "costabl"}));
  EXPECT_EQ(d_.sections[0].startAddress, 0x40000E00u);
  EXPECT_EQ(d_.sections[0].size, 1573u);
  EXPECT_EQ(d_.sections[2].size, 2049u);
  EXPECT_EQ(d_.image.dataByteCount, (1573u + 5 + 2049) * 4);
  EXPECT_EQ(d_.image.imageByteCount, (2u + 3 * 2 + 1573 + 5 + 2049 + 1) * 4);
  const auto bytes = FileBytes(kCorpus / "helios_fft.x40");
  EXPECT_EQ(d_.sections[0].Data(d_.image)[0], Get32(bytes, 368));  // .text raw data offset
  ASSERT_GE(d_.symbols.size(), 3u);
  EXPECT_EQ(d_.symbols[0].name, "start_flag");  // from the string table
  EXPECT_EQ(d_.symbols[0].address, 0x4000542Bu);
  EXPECT_EQ(d_.symbols[1].name, "elapsed_time");
  EXPECT_EQ(TypeText(d_.symbols[1].typeCode), "Floating point");
  EXPECT_EQ(d_.symbols[2].name, "FFTSize");

  // On the C32 the address 0xC0000000 counts as negative: STRB0.
  ASSERT_EQ(Load("helios_fft.x40", kTMS320C32), kCoffOk);
  const auto& costabl = d_.sections[2];
  EXPECT_EQ(d_.image.words[costabl.dataIndex - 1], StrobeWord(0xC0000000, Mi(kTMS320C32)));
  EXPECT_EQ(d_.image.words[costabl.dataIndex - 1], (Mi(kTMS320C32).strb0 << 8) + 0x64);
}

TEST_F(CoffCorpus, Coff2ExecutableAndObjects) {
  ASSERT_EQ(Load("maestro_xydakar.out"), kCoffOk);
  EXPECT_EQ(info_.format, CoffFormat::COFF2);
  EXPECT_EQ(SectionNames(), (std::vector<std::string>{".text"}));
  EXPECT_EQ(d_.sections[0].startAddress, 0x300000u);
  EXPECT_EQ(d_.sections[0].size, 4939u);
  ASSERT_FALSE(d_.symbols.empty());
  EXPECT_EQ(d_.symbols[0].name, "cos");
  EXPECT_EQ(d_.symbols[0].address, 0x301138u);

  ASSERT_EQ(Load("rts30_divld.obj"), kCoffOk);
  EXPECT_TRUE(info_.stringTable);
  EXPECT_EQ(SectionNames(), (std::vector<std::string>{".text:flt40"}));
  EXPECT_EQ(d_.sections[0].size, 68u);

  ASSERT_EQ(Load("rts30_exit.obj"), kCoffOk);
  std::vector<std::string> names;
  for (const auto& s : d_.symbols) names.push_back(s.name);
  // "C$$EXIT" is left out; "__cleanup_ptr" comes from the string table.
  EXPECT_EQ(names, (std::vector<std::string>{"_cleanup_ptr", "abort", "atexit"}));
}

TEST_F(CoffCorpus, FilesWithoutStringTable) {
  ASSERT_EQ(Load("rts30_boot.obj"), kCoffOk);
  EXPECT_FALSE(info_.stringTable);
  EXPECT_EQ(info_.format, CoffFormat::COFF2);
  ASSERT_EQ(d_.symbols.size(), 1u);
  EXPECT_EQ(d_.symbols[0].name, "c_int00");
  EXPECT_EQ(d_.symbols[0].address, 2u);

  ASSERT_EQ(Load("helios_led.obj"), kCoffOk);
  EXPECT_FALSE(info_.stringTable);
  EXPECT_FALSE(info_.optionalHeader);
  EXPECT_EQ(info_.format, CoffFormat::COFF0);
  EXPECT_EQ(SectionNames(), (std::vector<std::string>{".text", ".cinit"}));  // .cinit 0x40 loads
  EXPECT_TRUE(d_.symbols.empty());
}

}  // namespace
}  // namespace velmora
