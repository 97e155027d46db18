// The writer's layout, checked field by field against TI's COFF offsets.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "image/CoffWriter.h"

namespace velmora {
namespace {

uint16_t Le16(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b.at(at) | (b.at(at + 1) << 8));
}
uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return Le16(b, at) | (static_cast<uint32_t>(Le16(b, at + 2)) << 16);
}
std::string Field8(const std::vector<uint8_t>& b, size_t at) {
  std::string s;
  for (size_t i = 0; i < 8 && b.at(at + i); ++i) s.push_back(static_cast<char>(b[at + i]));
  return s;
}
std::string StringAt(const std::vector<uint8_t>& b, size_t at) {
  std::string s;
  while (b.at(at)) s.push_back(static_cast<char>(b[at++]));
  return s;
}

TEST(CoffWriter, FileHeaderLayoutPerFormat) {
  CoffWriterSection text{.name = ".text", .physicalAddress = 0x809800, .data = {1, 2, 3}};
  CoffWriterSymbol sym{.name = "_x", .value = 0x809900, .type = 4};
  for (CoffFormat f : {CoffFormat::COFF0, CoffFormat::COFF1, CoffFormat::COFF2}) {
    SCOPED_TRACE(CoffFormatName(f));
    CoffWriterOptions o{.format = f, .fileFlags = 0x0113};
    auto b = WriteCoff(o, {text}, {sym});
    const size_t hdr = f == CoffFormat::COFF0 ? 20 : 22;
    if (f == CoffFormat::COFF0) {
      EXPECT_EQ(Le16(b, 0), 0x0093);
    } else {
      EXPECT_EQ(Le16(b, 0), f == CoffFormat::COFF1 ? 0x00C1 : 0x00C2);
      EXPECT_EQ(Le16(b, 20), 0x0093);
    }
    EXPECT_EQ(Le16(b, 2), 1);        // sections
    EXPECT_EQ(Le32(b, 12), 1u);      // symbol entries
    EXPECT_EQ(Le16(b, 16), 28);      // optional header
    EXPECT_EQ(Le16(b, 18), 0x0113);  // flags
    const size_t sh = hdr + 28;
    const size_t shBytes = f == CoffFormat::COFF2 ? 48 : 40;
    EXPECT_EQ(Field8(b, sh), ".text");
    EXPECT_EQ(Le32(b, sh + 8), 0x809800u);
    EXPECT_EQ(Le32(b, sh + 16), 3u);
    const uint32_t raw = Le32(b, sh + 20);
    EXPECT_EQ(raw, sh + shBytes);
    EXPECT_EQ(f == CoffFormat::COFF2 ? Le32(b, sh + 40) : Le16(b, sh + 36), 0x20u);
    EXPECT_EQ(Le32(b, raw + 8), 3u);
    const uint32_t symOff = Le32(b, 8);
    EXPECT_EQ(symOff, raw + 12);
    EXPECT_EQ(Field8(b, symOff), "_x");
    EXPECT_EQ(Le32(b, symOff + 8), 0x809900u);
    EXPECT_EQ(Le16(b, symOff + 14), 4);
    EXPECT_EQ(b.at(symOff + 16), 2);
    // String table forced even though empty: just its size word.
    EXPECT_EQ(b.size(), symOff + 18 + 4);
    EXPECT_EQ(Le32(b, symOff + 18), 4u);
  }
}

TEST(CoffWriter, LongNamesAuxEntriesAndOmittedStringTable) {
  CoffWriterSection longSec{.name = ".text:flt40", .data = {7}};
  CoffWriterSection bss{.name = ".bss", .sizeWords = 10, .flags = 0x80, .hasRawData = false};
  CoffWriterSymbol arr{
      .name = "_exactly8", .value = 5, .type = 0x34, .hasAux = true, .dims = {10, 2, 0, 0}};
  CoffWriterSymbol eight{.name = "abcdefgh", .value = 6, .type = 4};
  CoffWriterOptions o{
      .format = CoffFormat::COFF1, .optionalHeader = false, .forceStringTable = false};
  auto b = WriteCoff(o, {longSec, bss}, {arr, eight});
  EXPECT_EQ(Le16(b, 16), 0);
  const size_t sh = 22;
  EXPECT_EQ(Le32(b, sh), 0u);  // name in the string table
  const uint32_t symOff = Le32(b, 8);
  EXPECT_EQ(Le32(b, 12), 3u);  // two symbols, one auxiliary entry
  const size_t strOff = symOff + 3 * 18;
  EXPECT_EQ(Le32(b, strOff), b.size() - strOff);
  EXPECT_EQ(StringAt(b, strOff + Le32(b, sh + 4)), ".text:flt40");
  EXPECT_EQ(StringAt(b, strOff + Le32(b, symOff + 4)), "_exactly8");
  EXPECT_EQ(b.at(symOff + 17), 1);                // aux count
  EXPECT_EQ(Le16(b, symOff + 18 + 8), 10);        // first dimension
  EXPECT_EQ(Le16(b, symOff + 18 + 10), 2);        // second dimension
  EXPECT_EQ(Field8(b, symOff + 36), "abcdefgh");  // no terminating zero
  // .bss: size but no raw data and offset 0.
  EXPECT_EQ(Le32(b, sh + 40 + 16), 10u);
  EXPECT_EQ(Le32(b, sh + 40 + 20), 0u);

  // Without long names and without forcing, the file ends with the symbols.
  auto shortOnly = WriteCoff(o, {}, {eight});
  EXPECT_EQ(shortOnly.size(), Le32(shortOnly, 8) + 18u);
}

TEST(CoffWriter, FileIsWrittenAtomically) {
  const std::string path = testing::TempDir() + "writer_roundtrip.out";
  CoffWriterSection text{.name = ".text", .data = {0xDEADBEEF}};
  ASSERT_TRUE(WriteCoffFile(path, {}, {text}, {}));
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> onDisk((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(onDisk, WriteCoff({}, {text}, {}));
  EXPECT_FALSE(std::ifstream(path + ".part").good());
  EXPECT_FALSE(WriteCoffFile(testing::TempDir() + "no/such/dir/x.out", {}, {text}, {}));
  std::remove(path.c_str());
}

}  // namespace
}  // namespace velmora
