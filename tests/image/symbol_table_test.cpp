// The symbol walk's keep/skip rules, type and array texts, look-ups and the
// re-resolution of watch items.
#include <gtest/gtest.h>

#include "coff_fixtures.h"
#include "image/CoffReader.h"
#include "image/SymbolTable.h"

namespace velmora {
namespace {

using namespace testing_coff;

std::vector<CDataObject> Walk(const std::vector<CoffWriterSymbol>& symbols) {
  ProgramData d;
  EXPECT_EQ(Read(Coff({Text(".text", 0, {1})}, symbols), Mi(kTMS320C31), d), kCoffOk);
  return d.symbols;
}

std::vector<std::string> Names(const std::vector<CDataObject>& list) {
  std::vector<std::string> names;
  for (const auto& o : list) names.push_back(o.name);
  return names;
}

TEST(SymbolWalk, KeepAndSkipRules) {
  auto symbols = Walk({
      Sym("_counter", 0x809C00, 0x0004, 2),  // kept, underscore removed
      Sym("_c_int00", 0x809800, 0x0000, 2),  // label: basic type 0
      Sym("_main", 0x809810, 0x0024, 2),     // function returning int
      Sym("_ptr", 0x809C01, 0x0014, 2),      // pointer to int
      Sym("_zero", 0, 0x0004, 3),            // static at address 0
      Sym("_stat", 0x809C02, 0x0006, 3),     // static float
      Sym("_ustat", 0x809C03, 0x000E, 14),   // uninitialised static
      Sym("_auto", 0x000002, 0x0004, 1),     // automatic
      Sym("_lbl", 0x809C04, 0x0004, 6),      // label class
      Sym("_file", 0x809C05, 0x0004, 103),   // file class
      Sym("C$$EXIT", 0x809C06, 0x0004, 2),   // contains '$'
      Sym("_.tmp", 0x809C07, 0x0004, 2),     // '.' after the underscore
      Sym(".data", 0x809C08, 0x0004, 3),     // section symbol
      Sym("__under", 0x809C09, 0x0004, 2),   // only one underscore goes
      Sym("a_name_over_eight", 0x809C0A, 0x0005, 2),
      Sym("_ptrarr", 0x809C0B, 0x0074, 2),  // array of pointers: first derivation array
  });
  EXPECT_EQ(Names(symbols), (std::vector<std::string>{"counter", "stat", "ustat", "_under",
                                                      "a_name_over_eight", "ptrarr"}));
  EXPECT_EQ(symbols[0], (CDataObject{"counter", "", 0x809C00, 4, 0}));
  EXPECT_EQ(symbols[5].typeCode, 0x0074);
}

TEST(SymbolWalk, AuxiliaryEntries) {
  auto skippedWithAux = ArraySym("_skip", 0, 0x0034, {3, 0, 0, 0});  // value 0: not kept
  auto plainWithAux = ArraySym("_plain", 0x10, 0x0004, {7, 0, 0, 0});
  auto countThree = ArraySym("_three", 0x11, 0x0034, {5, 0, 0, 0});
  countThree.auxCountField = 3;  // only one auxiliary entry is consumed
  auto twoDims = ArraySym("_arr2d", 0x12, 0x00F4, {4, 8, 0, 0});
  auto symbols = Walk({
      ArraySym("_table", 0x20, 0x0034, {10, 0, 0, 0}),
      skippedWithAux,
      Sym("_noaux", 0x21, 0x0034),  // array without auxiliary entry
      plainWithAux,
      countThree,
      twoDims,
      ArraySym("_cube", 0x22, 0x0FF4, {2, 3, 4, 0}),
      ArraySym("_hyper", 0x23, 0x3FF4, {1, 0, 0, 65535}),
      Sym("_after", 0x24),
  });
  ASSERT_EQ(Names(symbols), (std::vector<std::string>{"table", "noaux", "plain", "three", "arr2d",
                                                      "cube", "hyper", "after"}));
  std::vector<std::string> texts;
  for (const auto& o : symbols) texts.push_back(o.arrayText);
  // "plain" is not an array: its dimensions are ignored.
  EXPECT_EQ(texts, (std::vector<std::string>{"Array Info : [10]", "", "", "Array Info : [5]",
                                             "Array Info : [4][8]", "Array Info : [2][3][4]",
                                             "Array Info : [1][0][0][65535]", ""}));
  EXPECT_EQ(symbols[7].address, 0x24u);
}

TEST(SymbolWalk, AuxEntryBytesAreNeverReadAsASymbol) {
  // An auxiliary entry whose bytes would pass every keep rule as a symbol.
  std::array<uint8_t, 18> aux{'g', 'h', 'o', 's', 't', 0, 0, 0, 1, 0, 0, 0, 0, 0, 4, 0, 2, 0};
  auto s = Sym("_owner", 0, 0x0004);  // not kept
  s.hasAux = true;
  s.auxRaw = aux;
  EXPECT_EQ(Names(Walk({s, Sym("_next", 9)})), (std::vector<std::string>{"next"}));
}

TEST(TypeTexts, DerivationsArraysAndTheVoidType) {
  const std::pair<uint16_t, const char*> types[] = {
      {0x0004, "Integer"},
      {0x0034, "Array of Integer"},
      {0x0074, "Array of Pointer to Integer"},
      {0x00F6, "Array of Array of Floating point"},
      {0x0026, "Function of Floating point"},
      {0x000D, "Unsigned short"},
      {0x0000, ""},
      {0xFFF0, ""},          // basic type 0: no text whatever the derivations
      {0x0C04, "Integer"}};  // collection stops at the first empty slot
  for (auto [type, text] : types) EXPECT_EQ(TypeText(type), text) << type;
  std::string six;
  for (int i = 0; i < 6; ++i) six += "Pointer to ";
  EXPECT_EQ(TypeText(0x5557), six + "Double floating point");
  // Only trailing zero dimensions are dropped.
  EXPECT_EQ(ArrayText(10, 0, 0, 0), "Array Info : [10]");
  EXPECT_EQ(ArrayText(0, 0, 0, 0), "Array Info : [0]");
  EXPECT_EQ(ArrayText(0, 0, 2, 0), "Array Info : [0][0][2]");
  EXPECT_EQ(ArrayText(65535, 1, 2, 3), "Array Info : [65535][1][2][3]");
}

TEST(SymbolLookups, FirstMatchInListOrder) {
  std::vector<CDataObject> table = {{.name = "gain", .address = 1},
                                    {.name = "gain_max", .address = 2},
                                    {.name = "Gain", .address = 3},
                                    {.name = "gain", .address = 4}};
  ASSERT_NE(FindSymbolByName(table, "gain"), nullptr);
  EXPECT_EQ(FindSymbolByName(table, "gain")->address, 1u);
  EXPECT_EQ(FindSymbolByName(table, "Gain")->address, 3u);
  EXPECT_EQ(FindSymbolByName(table, "gai"), nullptr);
  EXPECT_EQ(FindSymbolContaining(table, "_max")->address, 2u);
  EXPECT_EQ(FindSymbolContaining(table, "ain")->address, 1u);
  EXPECT_EQ(FindSymbolContaining(table, "GAIN"), nullptr);
  EXPECT_EQ(FindSymbolByName({}, "gain"), nullptr);
}

TEST(ResolveVariables, CopiesAddressAndTypeOnly) {
  std::vector<CDataObject> symbols = {
      {"speed", "", 0x100, 4}, {"other", "", 0x200, 6}, {"speed", "", 0x300, 0x34}};
  std::vector<CDataObject> vars = {{"speed", "kept", 1, 1, 3},
                                   {"gone", "", 0x999, 5, 2},
                                   {"other", "", 2, 0, 0},
                                   {"speed", "", 0x300, 4, 1}};
  ResolveVariableItems(symbols, vars);
  // Of two symbols of a name, the item keeps the one at its address, else
  // takes the first; without a symbol an item keeps its values.
  EXPECT_EQ(vars, (std::vector<CDataObject>{{"speed", "kept", 0x100, 4, 3},
                                            {"gone", "", 0x999, 5, 2},
                                            {"other", "", 0x200, 6, 0},
                                            {"speed", "", 0x300, 0x34, 1}}));
  const auto before = vars;
  ResolveVariableItems({}, vars);
  EXPECT_EQ(vars, before);
}

}  // namespace
}  // namespace velmora
