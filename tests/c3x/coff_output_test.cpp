// The assembler's executables as the application's COFF reader sees them.
#include <gtest/gtest.h>

#include "c3x/Assembler.h"
#include "config/AppSettings.h"
#include "image/CoffReader.h"
#include "image/CoffWriter.h"

using namespace velmora;

namespace {

int ReadBack(const std::string& src, ProgramData& data, c3x::AsmResult* out = nullptr) {
  const c3x::AsmResult r = c3x::Assemble(src, "p.asm");
  EXPECT_TRUE(r.ok) << (r.errors.empty() ? "" : r.errors.front());
  CoffWriterOptions options;
  std::vector<CoffWriterSection> sections;
  std::vector<CoffWriterSymbol> symbols;
  c3x::BuildCoff(r, options, sections, symbols);
  EXPECT_EQ(options.format, CoffFormat::COFF2);
  EXPECT_TRUE(options.optionalHeader);
  if (out) *out = r;
  const std::vector<uint8_t> bytes = WriteCoff(options, sections, symbols);
  MemoryInterfaceValues mi;
  mi.dspType = kTMS320C31;
  return ReadCoffBuffer(bytes.data(), bytes.size(), mi, data);
}

}  // namespace

TEST(AssemblerCoff, SectionsAndDataSymbolsReachTheReader) {
  ProgramData data;
  c3x::AsmResult r;
  ASSERT_EQ(ReadBack(" .text 809800h\n"
                     "start: LDI @_counter, R0\n"
                     " BU start\n"
                     " .data\n"
                     "_counter: .word 7\n"
                     "_grid: .space 32\n"
                     " .bss _scratch, 4\n"
                     " .sym _counter, _counter, 4, 2\n"
                     " .sym _grid, _grid, 0xF4, 3, 1024, , 4, 8\n"
                     " .sym _scratch, _scratch, 6, 14\n",
                     data, &r),
            kCoffOk);
  // .bss carries no data and stays out of the image.
  ASSERT_EQ(data.sections.size(), 2u);
  EXPECT_EQ(data.sections[0].name, ".text");
  EXPECT_EQ(data.sections[0].startAddress, 0x809800u);
  EXPECT_EQ(data.sections[0].size, 2u);
  EXPECT_EQ(data.sections[0].Data(data.image)[0], r.sections[0].words[0]);
  EXPECT_EQ(data.sections[1].startAddress, 0x809802u);
  EXPECT_EQ(data.sections[1].Data(data.image)[0], 7u);

  // Labels (type 0) stay out of the symbol table; the .sym entries are there, their
  // leading underscore removed as for C variables.
  ASSERT_EQ(data.symbols.size(), 3u);
  EXPECT_EQ(data.symbols[0].name, "counter");
  EXPECT_EQ(data.symbols[0].address, 0x809802u);
  EXPECT_EQ(data.symbols[0].typeCode, 4);
  EXPECT_EQ(data.symbols[1].name, "grid");
  EXPECT_EQ(data.symbols[1].arrayText, "Array Info : [4][8]");
  EXPECT_EQ(data.symbols[2].name, "scratch");
  EXPECT_EQ(data.symbols[2].address, 0x809823u);
}

TEST(AssemblerCoff, ProgramWithoutDataSymbolsStillLoads) {
  // The reader refuses files without symbol entries; every section has one.
  ProgramData data;
  ASSERT_EQ(ReadBack(" .sect \"boot\", 0\n NOP\n", data), kCoffOk);
  ASSERT_EQ(data.sections.size(), 1u);
  EXPECT_EQ(data.sections[0].name, "boot");
  EXPECT_TRUE(data.symbols.empty());
}
