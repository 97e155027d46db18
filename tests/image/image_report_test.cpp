// Report helpers behind velmora-cli info and sym dump.
#include <gtest/gtest.h>

#include "coff_fixtures.h"
#include "image/ImageReport.h"

namespace velmora {
namespace {

using namespace testing_coff;

TEST(ImageReport, ImageBytesAreTheBootTableLittleEndian) {
  ProgramData d;
  ASSERT_EQ(Read(Coff({Text(".text", 0x102030, {0xA1B2C3D4})}, {Sym("_v", 1)}), Mi(kTMS320C31), d),
            kCoffOk);
  const std::vector<uint8_t> expected = {8,    0,    0,    0, 0xF8, 0x10, 0,    0,    1, 0, 0, 0,
                                         0x30, 0x20, 0x10, 0, 0xD4, 0xC3, 0xB2, 0xA1, 0, 0, 0, 0};
  EXPECT_EQ(ImageBytes(d.image), expected);
  EXPECT_TRUE(ImageBytes(ProgramImage{}).empty());
}

TEST(ImageReport, ListsAndEmptyProgram) {
  const std::vector<CDataObject> vars = {
      {.name = "x", .address = 0x809C00, .typeCode = 4, .viewType = 9}};
  const std::string text = SymbolListsText(vars, {});
  // No view text given: the stored number alone, even above 4.
  EXPECT_NE(text.find("  x            0x809C00  0x0004  9\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Addresses: 0\n"), std::string::npos);
  EXPECT_EQ(SymbolListsJson({}, {}), "{\n  \"variables\": [],\n  \"addresses\": []\n}\n");

  ProgramData d;
  CoffFileInfo info;
  ASSERT_EQ(Read(Coff({}, {Sym("_only", 5)}, CoffFormat::COFF0), Mi(kTMS320C32), d, &info),
            kCoffOk);
  const std::string json = CoffInfoJson(info, d);
  EXPECT_NE(json.find("\"format\": \"COFF0\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"image_bytes\": 0,"), std::string::npos);
  EXPECT_NE(json.find("\"sections\": [],"), std::string::npos);
  EXPECT_NE(CoffInfoText(info, d).find("Sections: 0\n"), std::string::npos);
}

}  // namespace
}  // namespace velmora
