// The writer's layout, checked field by field against TI's COFF offsets. Long
// names, auxiliary entries and the optional string table are checked by reading
// the files back (coff_reader_test, symbol_table_test).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
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

TEST(CoffWriter, FileIsWrittenAtomically) {
  const std::string path = testing::TempDir() + "writer_roundtrip.out";
  CoffWriterSection text{.name = ".text", .data = {0xDEADBEEF}};
  ASSERT_TRUE(WriteCoffFile(path, {}, {text}, {}));
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> onDisk((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(onDisk, WriteCoff({}, {text}, {}));
  EXPECT_FALSE(std::ifstream(path + ".part").good());
  EXPECT_FALSE(WriteCoffFile(testing::TempDir() + "no/such/dir/x.out", {}, {text}, {}));
  // A target that cannot be replaced (a folder) fails and leaves no temporary.
  const std::string folder = testing::TempDir() + "writer_folder.out";
  std::filesystem::create_directories(folder);
  EXPECT_FALSE(WriteCoffFile(folder, {}, {text}, {}));
  EXPECT_FALSE(std::filesystem::exists(folder + ".part"));
  std::filesystem::remove(folder);
  std::remove(path.c_str());
}

}  // namespace
}  // namespace velmora
