// Writes the files the velmora-cli checks (tests/image/cli_*.cmake) run on, and
// makes sure they read back as intended.
#include <gtest/gtest.h>

#include <filesystem>

#include "coff_fixtures.h"
#include "image/CoffReader.h"
#include "image/SymbolFile.h"

namespace velmora {
namespace {

using namespace testing_coff;

TEST(CliFixtureFiles, SampleProgramAndSymbolFile) {
  const std::string dir = std::string(VELMORA_BINARY_DIR) + "/image_cli/";
  std::filesystem::create_directories(dir);

  auto bss = Text(".bss", 0x809A00, {});
  bss.sizeWords = 16;
  bss.hasRawData = false;
  bss.flags = 0x80;
  auto fn = Sym("_main", 0x809800, 0x0024);
  ASSERT_TRUE(
      WriteCoffFile(dir + "sample.out", {},
                    {Text(".text", 0x809800, {0x11111111, 0x22222222, 0x33333333, 0x44444444}),
                     Text(".const_tables", 0x900000, {5, 6}, 0x40), bss},
                    {Sym("_counter", 0x809C00), ArraySym("_table", 0x809C10, 0x34, {10, 0, 0, 0}),
                     Sym("_q\"uote", 0x809C20, 0x0006), fn}));
  ProgramData d;
  ASSERT_EQ(ReadCoffFile(dir + "sample.out", Mi(kTMS320C31), d), kCoffOk);
  ASSERT_EQ(d.sections.size(), 2u);
  ASSERT_EQ(d.symbols.size(), 3u);
  EXPECT_EQ(d.image.imageByteCount, 52u);

  const std::vector<CDataObject> vars = {
      {.name = "counter", .address = 0x809C00, .typeCode = 4, .viewType = 1},
      {.name = "table", .arrayText = "Array Info : [10]", .address = 0x809C10, .typeCode = 0x34}};
  const std::vector<CDataObject> addrs = {{.address = 0x808064, .viewType = 4}};
  ASSERT_EQ(SaveSymbolFile(dir + "sample.sym", vars, addrs), SymbolFileResult::kOk);
  std::vector<CDataObject> v, a;
  ASSERT_EQ(LoadSymbolFile(dir + "sample.sym", v, a), SymbolFileResult::kOk);
  EXPECT_EQ(v, vars);
  EXPECT_EQ(a, addrs);
}

}  // namespace
}  // namespace velmora
