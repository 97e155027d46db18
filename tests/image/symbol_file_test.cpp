// Byte form of symbol files and the safety of loading and saving them.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "image/SymbolFile.h"

namespace velmora {
namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> list) {
  std::vector<uint8_t> v;
  for (int b : list) v.push_back(static_cast<uint8_t>(b));
  return v;
}
void Append(std::vector<uint8_t>& v, const std::vector<uint8_t>& more) {
  v.insert(v.end(), more.begin(), more.end());
}
std::vector<uint8_t> ClassName() {
  return {'C', 'D', 'a', 't', 'a', 'O', 'b', 'j', 'e', 'c', 't'};
}

CDataObject Item(const std::string& name, uint32_t address, uint16_t type = 0, uint8_t view = 0,
                 const std::string& array = "") {
  return {.name = name, .arrayText = array, .address = address, .typeCode = type, .viewType = view};
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

TEST(SymbolFileBytes, OneVariableExample) {
  auto expected = Bytes(
      {0x00, 0x10, 0x01, 0x10, 0x01, 0, 0, 0, 0x01, 0x00, 0xFF, 0xFF, 0x01, 0x00, 0x0B, 0x00});
  Append(expected, ClassName());
  Append(expected, Bytes({3, 'c', 'n', 't', 0, 0x78, 0x56, 0x34, 0x12, 4, 0, 1, 0, 0, 0, 0}));
  ASSERT_EQ(expected.size(), 43u);
  EXPECT_EQ(EncodeSymbolFile({Item("cnt", 0x12345678, 4, 1)}, {}), expected);
}

TEST(SymbolFileBytes, ClassDescriptionOnlyBeforeTheFirstRecordOfTheFile) {
  // Empty variable list, one address item: the address record carries the class.
  auto expected =
      Bytes({0x00, 0x10, 0x01, 0x10, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0xFF, 0xFF, 1, 0, 11, 0});
  Append(expected, ClassName());
  Append(expected, Bytes({0, 0, 0x00, 0x98, 0x80, 0x00, 0, 0, 4}));
  EXPECT_EQ(EncodeSymbolFile({}, {Item("", 0x809800, 0, 4)}), expected);

  // Both lists: every later record, also the first address item, refers to class 1.
  auto both = EncodeSymbolFile({Item("a", 1), Item("b", 2)}, {Item("", 3)});
  auto tail = Bytes({1, 0, 0, 0, 1, 0, 0x01, 0x80, 0, 0, 3, 0, 0, 0, 0, 0, 0});
  ASSERT_GE(both.size(), tail.size());
  EXPECT_TRUE(std::equal(tail.begin(), tail.end(), both.end() - static_cast<long>(tail.size())));
  EXPECT_EQ(std::count(both.begin(), both.end(), 'C'), 1);  // one class name in the file
  const auto before = both.end() - static_cast<long>(tail.size()) - 12;  // record "b"
  EXPECT_EQ(std::vector<uint8_t>(before, before + 3), Bytes({0x01, 0x80, 1}));
}

TEST(SymbolFileBytes, CountAndStringLengthForms) {
  struct Case {
    size_t length;
    std::vector<uint8_t> prefix;
  };
  for (const Case& c : {Case{254, Bytes({254})}, Case{255, Bytes({0xFF, 0xFF, 0x00})},
                        Case{0xFFFD, Bytes({0xFF, 0xFD, 0xFF})},
                        Case{0xFFFE, Bytes({0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0, 0})},
                        Case{70000, Bytes({0xFF, 0xFF, 0xFF, 0x70, 0x11, 1, 0})}}) {
    SCOPED_TRACE(c.length);
    const std::string name(c.length, 'n');
    auto bytes = EncodeSymbolFile({Item(name, 5)}, {});
    const size_t at = 8 + 2 + 6 + 11;
    EXPECT_TRUE(std::equal(c.prefix.begin(), c.prefix.end(), bytes.begin() + at));
    std::vector<CDataObject> vars, addrs;
    ASSERT_EQ(DecodeSymbolFile(bytes.data(), bytes.size(), vars, addrs), SymbolFileResult::kOk);
    ASSERT_EQ(vars.size(), 1u);
    EXPECT_EQ(vars[0].name, name);
  }
  for (size_t count : {size_t{0xFFFE}, size_t{0xFFFF}, size_t{0x10000}}) {
    SCOPED_TRACE(count);
    std::vector<CDataObject> many(count, Item("v", 7, 4, 2, "Array Info : [3]"));
    many.back().address = 99;
    auto bytes = EncodeSymbolFile({}, many);
    if (count < 0xFFFF) {
      EXPECT_EQ(bytes[12] | (bytes[13] << 8), static_cast<int>(count));
    } else {
      EXPECT_EQ(bytes[12] | (bytes[13] << 8), 0xFFFF);
      EXPECT_EQ(bytes[14] | (bytes[15] << 8) | (bytes[16] << 16), static_cast<int>(count));
    }
    std::vector<CDataObject> vars{Item("old", 1)}, addrs;
    ASSERT_EQ(DecodeSymbolFile(bytes.data(), bytes.size(), vars, addrs), SymbolFileResult::kOk);
    EXPECT_TRUE(vars.empty());
    EXPECT_EQ(addrs, many);
  }
}

TEST(SymbolFileBytes, ListCountRulesNotTheHeaderCount) {
  auto bytes = EncodeSymbolFile({Item("x", 1), Item("y", 2)}, {Item("", 3)});
  bytes[4] = 5;  // the 32-bit count says 5; the list holds 2
  std::vector<CDataObject> vars, addrs;
  ASSERT_EQ(DecodeSymbolFile(bytes.data(), bytes.size(), vars, addrs), SymbolFileResult::kOk);
  EXPECT_EQ(vars.size(), 2u);
  EXPECT_EQ(addrs.size(), 1u);
  // A reference through the long class tag is the same class.
  auto big = EncodeSymbolFile({Item("x", 1), Item("y", 2)}, {});
  const size_t second = big.size() - (2 + 2 + 1 + 4 + 2 + 1 + 4);
  ASSERT_EQ(big[second], 0x01);
  ASSERT_EQ(big[second + 1], 0x80);
  big[second] = 0xFF;
  big[second + 1] = 0x7F;
  big.insert(big.begin() + static_cast<long>(second) + 2, {0x01, 0, 0, 0x80});
  ASSERT_EQ(DecodeSymbolFile(big.data(), big.size(), vars, addrs), SymbolFileResult::kOk);
  EXPECT_EQ(vars[1].name, "y");
}

TEST(SymbolFileBytes, BadBodiesFailWithoutTouchingTheLists) {
  const auto good = EncodeSymbolFile({Item("speed", 0x809C00, 6, 3, "")}, {Item("", 0x809800)});
  const std::vector<CDataObject> keepVars{Item("mine", 1)}, keepAddrs{Item("", 2)};
  auto expect = [&](const std::vector<uint8_t>& b, SymbolFileResult want) {
    auto vars = keepVars, addrs = keepAddrs;
    EXPECT_EQ(DecodeSymbolFile(b.data(), b.size(), vars, addrs), want);
    EXPECT_EQ(vars, keepVars);
    EXPECT_EQ(addrs, keepAddrs);
  };
  // Every truncation fails; a cut within the tags is a different format.
  for (size_t n = 0; n < good.size(); ++n) {
    SCOPED_TRACE(n);
    expect({good.begin(), good.begin() + static_cast<long>(n)},
           n < 4 ? SymbolFileResult::kUnsupportedFormat : SymbolFileResult::kDamaged);
  }
  auto b = good;
  b[1] = 0x11;
  expect(b, SymbolFileResult::kUnsupportedFormat);
  b = good;
  b[12] = 2;  // schema 2
  expect(b, SymbolFileResult::kDamaged);
  b = good;
  b[16] = 'X';  // another class name
  expect(b, SymbolFileResult::kDamaged);
  const size_t addrTag = good.size() - (2 + 1 + 1 + 4 + 2 + 1);
  ASSERT_EQ(good[addrTag + 1], 0x80);
  for (auto tag : {std::pair<int, int>{0x02, 0x80},     // refers to a record, not a class
                   std::pair<int, int>{0x02, 0x00},     // back-reference to a record
                   std::pair<int, int>{0x00, 0x00}}) {  // null object
    b = good;
    b[addrTag] = static_cast<uint8_t>(tag.first);
    b[addrTag + 1] = static_cast<uint8_t>(tag.second);
    expect(b, SymbolFileResult::kDamaged);
  }
  // A huge list count backed by no bytes fails quickly and allocates little.
  b = Bytes({0x00, 0x10, 0x01, 0x10, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE});
  expect(b, SymbolFileResult::kDamaged);
}

TEST(SymbolFileDisk, SaveLoadRoundTripAndFailures) {
  const std::string dir = testing::TempDir() + "symfile_test/";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string path = dir + "watch.sym";
  const std::vector<CDataObject> vars = {Item("counter", 0x809C00, 4, 1),
                                         Item("table", 0x809C10, 0x34, 0, "Array Info : [10]")};
  const std::vector<CDataObject> addrs = {Item("", 0x808064, 0, 4)};
  ASSERT_EQ(SaveSymbolFile(path, vars, addrs), SymbolFileResult::kOk);
  EXPECT_EQ(ReadAll(path), EncodeSymbolFile(vars, addrs));
  std::vector<CDataObject> v2{Item("junk", 1)}, a2;
  ASSERT_EQ(LoadSymbolFile(path, v2, a2), SymbolFileResult::kOk);
  EXPECT_EQ(v2, vars);
  EXPECT_EQ(a2, addrs);

  EXPECT_EQ(LoadSymbolFile(dir + "missing.sym", v2, a2), SymbolFileResult::kPathWrong);
  EXPECT_EQ(LoadSymbolFile(dir, v2, a2), SymbolFileResult::kOpenFailed);
  WriteAll(dir + "bad.sym", Bytes({0x00, 0x10, 0x01, 0x10, 1, 0, 0, 0, 1}));
  EXPECT_EQ(LoadSymbolFile(dir + "bad.sym", v2, a2), SymbolFileResult::kDamaged);
  EXPECT_EQ(v2, vars);

  // A failed save keeps the previous file: the temporary cannot be created here.
  std::filesystem::create_directory(path + ".part");
  EXPECT_EQ(SaveSymbolFile(path, {Item("other", 5)}, {}), SymbolFileResult::kCreateFailed);
  EXPECT_EQ(ReadAll(path), EncodeSymbolFile(vars, addrs));
  EXPECT_EQ(SaveSymbolFile(dir + "no/such/dir.sym", vars, addrs), SymbolFileResult::kCreateFailed);
  // Saving over a longer file leaves exactly the new bytes.
  std::filesystem::remove(path + ".part");
  ASSERT_EQ(SaveSymbolFile(path, {}, {Item("", 1)}), SymbolFileResult::kOk);
  EXPECT_EQ(ReadAll(path), EncodeSymbolFile({}, {Item("", 1)}));

  // Through a symbolic link (relative, and one whose file does not exist yet)
  // the file it names is replaced with its permissions; the links stay links.
  namespace fs = std::filesystem;
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
  fs::create_directory_symlink(".", dir + "here");
  fs::create_symlink("here/watch.sym", dir + "link.sym");
  fs::create_symlink("later.sym", dir + "dangling.sym");
  for (const char* link : {"link.sym", "dangling.sym"}) {
    SCOPED_TRACE(link);
    ASSERT_EQ(SaveSymbolFile(dir + link, vars, {}), SymbolFileResult::kOk);
    EXPECT_TRUE(fs::is_symlink(dir + link));
    EXPECT_EQ(ReadAll(dir + link), EncodeSymbolFile(vars, {}));
  }
  EXPECT_EQ(ReadAll(dir + "later.sym"), EncodeSymbolFile(vars, {}));
  EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  for (const auto& entry : fs::directory_iterator(dir))
    EXPECT_NE(entry.path().extension(), ".part");
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace velmora
