// Program image, section list and result codes of the COFF reader.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "coff_fixtures.h"
#include "image/CoffReader.h"
#include "image/SymbolFile.h"
#include "image/SymbolTable.h"
#include "support/AddressSpaceCap.h"

namespace velmora {
namespace {

using namespace testing_coff;

std::vector<uint32_t> Words(const ProgramImage& image, uint32_t from, uint32_t count) {
  return {image.words.begin() + from, image.words.begin() + from + count};
}

TEST(CoffReaderImage, C31AndC33BlockLayout) {
  const auto data = Ramp(0x100, 0x11223344);
  const auto file = Coff({Text(".text", 0, data)}, {Sym("_main_counter", 0x809900)});
  for (uint8_t dsp : {kTMS320C31, kTMS320C33}) {
    SCOPED_TRACE(int(dsp));
    ProgramData d;
    ASSERT_EQ(Read(file, Mi(dsp), d), kCoffOk);
    EXPECT_EQ(Words(d.image, 0, 4), (std::vector<uint32_t>{8, 0x10F8, 0x100, 0}));
    EXPECT_EQ(Words(d.image, 4, 0x100), data);
    EXPECT_EQ(Words(d.image, 4 + 0x100, 2), (std::vector<uint32_t>{0, 0xFFFFFFFF}));
    EXPECT_EQ(d.image.words.back(), 0xFFFFFFFFu);
    EXPECT_EQ(std::vector<uint32_t>({d.image.imageByteCount, d.image.dataByteCount}),
              std::vector<uint32_t>({(2u + 2 + 256 + 1) * 4, 1024}));
    EXPECT_EQ(d.image.sectionCount, 1);
    EXPECT_EQ(d.image.layoutDspType, dsp);
    EXPECT_EQ(ProgramSizeText(d.image), "0x000100 Words");
    EXPECT_EQ(d.sections, (std::vector<CSectionInfo>{{".text", 0x100, 0, 4}}));
  }
}

TEST(CoffReaderImage, C32HeaderAndStrobeWords) {
  const auto mi = Mi(kTMS320C32);
  const auto data = Ramp(0x100, 7);
  ProgramData d;
  ASSERT_EQ(Read(Coff({Text(".text", 0, data)}, {Sym("_x", 1)}), mi, d), kCoffOk);
  EXPECT_EQ(Words(d.image, 0, 7), (std::vector<uint32_t>{8, 0xA1000058, 0xB20F0858, 0xC30F0868,
                                                         0x100, 0, 0x0F085800 + 0x64}));
  EXPECT_EQ(Words(d.image, 7, 0x100), data);
  EXPECT_EQ(d.image.words[7 + 0x100], 0u);
  EXPECT_EQ(d.image.imageByteCount, (4u + 3 + 256 + 1) * 4);
  EXPECT_EQ(d.sections, (std::vector<CSectionInfo>{{".text", 0x100, 0, 7}}));

  ASSERT_EQ(Read(Coff({Text(".text", 0x87FE00, data)}, {Sym("_x", 1)}), mi, d), kCoffOk);
  EXPECT_EQ(d.image.words[6], 0u);  // internal RAM: no strobe

  const uint32_t strb0 = 0x0F085800 + 0x64, iostrb = 0x00005800 + 0x60, strb1 = 0x0F086800 + 0x68;
  const std::pair<uint32_t, uint32_t> table[] = {
      {0, strb0},          {0x7FFFFF, strb0},  {0x800000, 0},     {0x80FFFF, 0},
      {0x810000, iostrb},  {0x82FFFF, iostrb}, {0x830000, 0},     {0x87FFFF, 0},
      {0x880000, strb0},   {0x8FFFFF, strb0},  {0x900000, strb1}, {0xFFFFFF, strb1},
      {0x7FFFFFFF, strb1}, {0xC0000000, strb0}};  // compared as signed values
  for (auto [address, strobe] : table) EXPECT_EQ(StrobeWord(address, mi), strobe) << address;
}

TEST(CoffReaderImage, PlacementRulesAndSectionList) {
  auto bssWithData = Text(".bss", 0x100, {1, 2});
  auto stack = Text(".stack", 0x200, {1});
  auto sysmem = Text(".sysmem", 0x300, {1});
  auto empty = Text(".data", 0x400, {});
  auto noRaw = Text(".far", 0x500, {});
  noRaw.sizeWords = 4;
  noRaw.hasRawData = false;
  auto dummy = Text(".dummy", 0x600, {1}, 0x01);
  auto noload = Text(".noload", 0x700, {1}, 0x02);
  auto copy = Text(".cinit", 0x809800, {9, 9, 9}, 0x50);  // TI's RAM-model .cinit
  auto upperFlag = Text(".hiflag", 0x800, {5}, 0x0100);   // only the low byte counts
  auto first = Text(".text", 0x809800, Ramp(3, 0xA0));
  auto underscore = Text("_costab", 0x809900, Ramp(2, 0xB0), 0x40);
  const auto file = Coff(
      {first, bssWithData, stack, sysmem, empty, noRaw, dummy, noload, copy, upperFlag, underscore},
      {Sym("_x", 1)});
  ProgramData d;
  ASSERT_EQ(Read(file, Mi(kTMS320C31), d), kCoffOk);
  EXPECT_EQ(d.sections,
            (std::vector<CSectionInfo>{
                {".text", 3, 0x809800, 4}, {".hiflag", 1, 0x800, 9}, {"costab", 2, 0x809900, 12}}));
  EXPECT_EQ(d.image.sectionCount, 3);
  EXPECT_EQ(d.image.dataByteCount, (3u + 1 + 2) * 4);
  // 2 header words, three blocks of 2 + size, closing zero.
  EXPECT_EQ(d.image.imageByteCount, (2u + 5 + 3 + 4 + 1) * 4);
  EXPECT_EQ(
      Words(d.image, 2, 16),
      (std::vector<uint32_t>{3, 0x809800, 0xA0, 0x010101A1, 0x020202A2, 1, 0x800, 5, 2, 0x809900,
                             0xB0, 0x010101B1, 0, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}));
}

TEST(CoffReaderImage, NoPlaceableSectionStillLoadsSymbols) {
  auto bss = Text(".bss", 0x100, {});
  bss.sizeWords = 8;
  bss.hasRawData = false;
  ProgramData d;
  ASSERT_EQ(Read(Coff({bss}, {Sym("_counter", 0x809C00)}), Mi(kTMS320C32), d), kCoffOk);
  EXPECT_TRUE(d.sections.empty());
  EXPECT_EQ(std::vector<uint32_t>({static_cast<uint32_t>(d.image.sectionCount),
                                   d.image.dataByteCount, d.image.imageByteCount}),
            std::vector<uint32_t>(3, 0));
  EXPECT_FALSE(d.image.Loaded());
  EXPECT_EQ(ProgramSizeText(d.image), "0x000000 Words");
  ASSERT_EQ(d.symbols.size(), 1u);
  EXPECT_EQ(d.symbols[0].name, "counter");
}

TEST(CoffReaderImage, AllFormatsGiveTheSameProgram) {
  const std::vector<CoffWriterSection> sections = {Text(".text", 0x809800, Ramp(5, 1)),
                                                   Text("exactly8", 0x809900, Ramp(2, 9), 0x40),
                                                   Text(".longer_name", 0x900000, Ramp(1, 3))};
  const std::vector<CoffWriterSymbol> symbols = {
      Sym("_a", 0x809A00), ArraySym("_table_of_values", 0x809A10, 0x34, {16, 0, 0, 0})};
  ProgramData reference;
  CoffFileInfo info;
  ASSERT_EQ(Read(Coff(sections, symbols, CoffFormat::COFF2), Mi(kTMS320C32), reference, &info),
            kCoffOk);
  EXPECT_EQ(info.format, CoffFormat::COFF2);
  ASSERT_EQ(reference.sections.size(), 3u);
  EXPECT_EQ(reference.sections[1].name, "exactly8");
  EXPECT_EQ(reference.sections[2].name, ".longer_name");
  for (CoffFormat f : {CoffFormat::COFF0, CoffFormat::COFF1}) {
    for (bool optional : {true, false}) {
      SCOPED_TRACE(std::string(CoffFormatName(f)) + (optional ? " opt" : ""));
      CoffWriterOptions o;
      o.format = f;
      o.optionalHeader = optional;
      ProgramData d;
      ASSERT_EQ(Read(WriteCoff(o, sections, symbols), Mi(kTMS320C32), d, &info), kCoffOk);
      EXPECT_EQ(info.format, f);
      EXPECT_EQ(info.optionalHeader, optional);
      EXPECT_TRUE(d == reference);
    }
  }
}

TEST(CoffReaderImage, OptionalHeaderIsAlways28Bytes) {
  auto file = Coff({Text(".text", 0x10, {0xCAFE})}, {Sym("_v", 5)});
  Put16(file, 16, 0x40);  // the size field lies; 28 bytes are skipped regardless
  ProgramData d;
  ASSERT_EQ(Read(file, Mi(kTMS320C31), d), kCoffOk);
  ASSERT_EQ(d.sections.size(), 1u);
  EXPECT_EQ(d.sections[0].Data(d.image)[0], 0xCAFEu);
}

TEST(CoffReaderImage, ShortRawDataLeavesFillButKeepsDeclaredSize) {
  auto text = Text(".text", 0x10, {0x11111111, 0x22222222});
  text.sizeWords = 4;
  const std::vector<CoffWriterSymbol> symbols = {Sym("_v", 5)};
  auto file = Coff({text}, symbols);
  // Point the raw data at the last 6 bytes of the file: one word and a half.
  Put32(file, 22 + 28 + 20, static_cast<uint32_t>(file.size() - 6));
  ProgramData d;
  ASSERT_EQ(Read(file, Mi(kTMS320C31), d), kCoffOk);
  const uint32_t* w = d.sections.at(0).Data(d.image);
  EXPECT_EQ(w[0], Get32(file, file.size() - 6));
  EXPECT_EQ(w[1], 0xFFFF0000u | (Get32(file, file.size() - 4) >> 16));
  EXPECT_EQ(w[2], 0xFFFFFFFFu);
  EXPECT_EQ(w[3], 0xFFFFFFFFu);
  EXPECT_EQ(w[4], 0u);
  EXPECT_EQ(d.image.dataByteCount, 16u);

  Put32(file, 22 + 28 + 20, static_cast<uint32_t>(file.size() + 100));  // past the end
  ASSERT_EQ(Read(file, Mi(kTMS320C31), d), kCoffOk);
  EXPECT_EQ(d.sections.at(0).Data(d.image)[0], 0xFFFFFFFFu);
}

TEST(CoffReaderImage, SectionsMustFitTheImageBuffer) {
  // C31: 2 header words + 2 block words + size + closing word.
  const uint32_t fits = kImageWords - 5;
  for (uint32_t size : {fits, fits + 1}) {
    auto text = Text(".text", 0, {1, 2, 3});
    text.sizeWords = size;
    ProgramData d;
    const int r = Read(Coff({text}, {Sym("_v", 5)}), Mi(kTMS320C31), d);
    if (size == fits) {
      ASSERT_EQ(r, kCoffOk);
      EXPECT_EQ(d.image.imageByteCount, kImageBytes);
      EXPECT_EQ(d.image.words.back(), 0u);
      EXPECT_EQ(d.image.words[6], 3u);
      EXPECT_EQ(d.image.words[1000], 0xFFFFFFFFu);  // beyond the end of the file
    } else {
      EXPECT_EQ(r, kCoffNotCoff);
    }
  }
  // Two sections that only together overflow; and the C32's extra strobe word.
  auto half = Text(".a", 0, {1});
  half.sizeWords = kImageWords / 2;
  ProgramData d;
  EXPECT_EQ(Read(Coff({half, half}, {Sym("_v", 5)}), Mi(kTMS320C31), d), kCoffNotCoff);
  auto edge = Text(".text", 0, {1});
  edge.sizeWords = fits;
  EXPECT_EQ(Read(Coff({edge}, {Sym("_v", 5)}), Mi(kTMS320C32), d), kCoffNotCoff);
}

class CoffReaderFailure : public ::testing::Test {
 protected:
  void SetUp() override {
    good_ = Coff({Text(".text", 0x809800, Ramp(4, 0x55))},
                 {Sym("_alpha", 0x809900), Sym("a_long_symbol_name", 0x809901)});
    ASSERT_EQ(Read(good_, Mi(kTMS320C31), d_), kCoffOk);
    d_.variables.push_back({.name = "alpha", .address = 1});
    d_.addresses.push_back({.address = 0x809800});
    before_ = d_;
  }
  // The previous program, its sections, its symbols and the watch lists survive.
  void ExpectFails(const std::vector<uint8_t>& file, int code) {
    EXPECT_EQ(Read(file, Mi(kTMS320C32), d_), code);
    EXPECT_TRUE(d_ == before_);
  }
  // File offsets in a COFF2 file with an optional header.
  static constexpr size_t kSections = 22 + 28;
  size_t SymbolOffset(const std::vector<uint8_t>& f) const { return Get32(f, 8); }

  std::vector<uint8_t> good_;
  ProgramData d_, before_;
};

TEST_F(CoffReaderFailure, HeaderCodes) {
  ExpectFails({good_.begin(), good_.begin() + 21}, kCoffNotCoff);
  auto f = good_;
  Put16(f, 0, 0x00C3);
  ExpectFails(f, kCoffNotCoff);
  f = Coff({Text(".text", 0, {1})}, {Sym("_v", 5)}, CoffFormat::COFF1);
  Put16(f, 20, 0x0094);
  ExpectFails(f, kCoffUnsupportedTarget);
  f = Coff({Text(".text", 0, {1})}, {});  // sections but no symbols
  ExpectFails(f, kCoffNoSymbols);
  f = good_;
  Put32(f, 12, 0xFFFFFFFF);
  ExpectFails(f, kCoffNoSymbols);
  // Optional header announced but the file ends first.
  f = Coff({}, {Sym("_v", 5)}, CoffFormat::COFF1);
  Put16(f, 16, 28);
  f.resize(22 + 27);
  ExpectFails(f, kCoffNotCoff);
  // A string-table offset that is not a valid file position.
  f = good_;
  Put32(f, 8, 0x80000000);
  ExpectFails(f, kCoffFileException);
}

TEST_F(CoffReaderFailure, StringTableBounds) {
  auto f = good_;
  const size_t strOff = SymbolOffset(f) + 18 * 2;
  Put32(f, strOff, static_cast<uint32_t>(f.size() - strOff + 1));  // one byte too long
  ExpectFails(f, kCoffNotCoff);
  f = good_;
  f.resize(strOff + 3);  // fewer than 4 bytes where the table starts
  ExpectFails(f, kCoffNotCoff);
  f = good_;
  Put32(f, 12, 3);  // the table would start beyond the end of the file
  ExpectFails(f, kCoffNotCoff);
}

TEST_F(CoffReaderFailure, OutOfRangeStructuresAreRefused) {
  auto f = good_;
  Put16(f, 2, 40);  // section headers beyond the end of the file
  ExpectFails(f, kCoffNotCoff);

  // Symbol table running past the end: the string table offset is still in
  // range because the symbol offset wraps around in 32 bits.
  f = good_;
  Put32(f, 8, static_cast<uint32_t>(SymbolOffset(f) + 0x100000000ull - 18ull * 0x0E38E38F));
  Put32(f, 12, 0x0E38E38F + 2);
  ExpectFails(f, kCoffNotCoff);

  const size_t sym1 = SymbolOffset(good_) + 18;  // the entry with the long name
  f = good_;
  Put32(f, sym1 + 4, 1000);  // name offset beyond the string table
  ExpectFails(f, kCoffNotCoff);

  f = good_;
  f.back() = 'x';  // the last name loses its terminating zero
  ExpectFails(f, kCoffNotCoff);

  f = good_;
  f[sym1 + 17] = 1;  // the last counted entry claims an auxiliary entry
  ExpectFails(f, kCoffNotCoff);

  // A section name in a string table that does not exist.
  CoffWriterOptions o;
  o.forceStringTable = false;
  auto noTable = WriteCoff(o, {Text(".text", 0, {1})}, {Sym("_v", 5)});
  Put32(noTable, kSections, 0);
  Put32(noTable, kSections + 4, 4);
  ExpectFails(noTable, kCoffNotCoff);
}

TEST(CoffReaderFile, MissingFileAndFileWithoutStringTable) {
  ProgramData d;
  EXPECT_EQ(ReadCoffFile(testing::TempDir() + "no_such_file.out", Mi(kTMS320C31), d),
            kCoffCannotRead);
  EXPECT_EQ(ReadCoffFile(testing::TempDir(), Mi(kTMS320C31), d), kCoffCannotRead);

  CoffWriterOptions o;
  o.forceStringTable = false;
  const std::string path = testing::TempDir() + "no_strings.out";
  ASSERT_TRUE(WriteCoffFile(path, o, {Text(".text", 0x40, {1, 2})}, {Sym("_short", 0x41)}));
  CoffFileInfo info;
  ASSERT_EQ(ReadCoffFile(path, Mi(kTMS320C31), d, &info), kCoffOk);
  EXPECT_FALSE(info.stringTable);
  EXPECT_EQ(d.symbols.at(0).name, "short");
  EXPECT_EQ(d.sections.at(0).Data(d.image)[1], 2u);
  std::remove(path.c_str());
}

// Files far larger than the memory a read may take: the first bytes decide,
// with the normal message, in the room a real read needs.
TEST(CoffReaderFile, AHugeFileOfAnotherKindIsRefusedFromItsFirstBytes) {
  const std::string path = testing::TempDir() + "huge_zeros.bin";
  ProgramData d;
  std::vector<CDataObject> vars{{"keep", "", 1}}, addrs;
  int coff = -1;
  SymbolFileResult sym = SymbolFileResult::kOk;
  {
    test::AddressSpaceCap cap(rlim_t{256} << 20);
    if (!cap.Active()) GTEST_SKIP() << "no address-space limit here";
    std::ofstream(path, std::ios::binary).put('\0');
    std::filesystem::resize_file(path, 600ull << 20);  // sparse: costs no disk
    coff = ReadCoffFile(path, Mi(kTMS320C31), d);
    sym = LoadSymbolFile(path, vars, addrs);
  }
  std::remove(path.c_str());
  EXPECT_EQ(coff, kCoffNotCoff);
  EXPECT_EQ(sym, SymbolFileResult::kUnsupportedFormat);
  EXPECT_EQ(vars.size(), 1u);
}

TEST(CoffReaderImage, ReadingAgainReplacesEverything) {
  ProgramData d;
  ASSERT_EQ(Read(Coff({Text(".big", 0, Ramp(50, 1))}, {Sym("_one", 1), Sym("_two", 2)}),
                 Mi(kTMS320C32), d),
            kCoffOk);
  ASSERT_EQ(Read(Coff({Text(".small", 0, {7})}, {Sym("_three", 3)}), Mi(kTMS320C31), d), kCoffOk);
  EXPECT_EQ(Words(d.image, 0, 6), (std::vector<uint32_t>{8, 0x10F8, 1, 0, 7, 0}));
  EXPECT_EQ(d.image.words[6], 0xFFFFFFFFu);  // old data wiped by the reset
  EXPECT_EQ(d.sections, (std::vector<CSectionInfo>{{".small", 1, 0, 4}}));
  EXPECT_EQ(d.symbols, (std::vector<CDataObject>{{"three", "", 3, 4}}));
}

TEST(CoffReaderMessages, ResultTexts) {
  const char* texts[] = {"",
                         "Failed to read selected file",
                         "Selected file is not COFF file format",
                         "The selected File is unsupported MCU's COFF file",
                         "No symbol information in seleced file",
                         "File exception error occurs",
                         "Memory exception error occurs"};
  for (int code = 0; code <= 6; ++code) EXPECT_STREQ(CoffResultMessage(code), texts[code]);
}

}  // namespace
}  // namespace velmora
