// .include / .copy: a program built from several source files, as a user links
// the target responder into a program.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "c3x/Assembler.h"

using namespace velmora::c3x;

namespace {

// In-memory files; names resolve as given.
IncludeReader MapReader(const std::map<std::string, std::string>& files) {
  return [files](const std::string& name, const std::string&, std::string& text,
                 std::string& resolved, std::string& error) {
    auto it = files.find(name);
    if (it == files.end()) {
      error = "no such file";
      return false;
    }
    text = it->second;
    resolved = name;
    return true;
  };
}

}  // namespace

TEST(AssemblerInclude, IncludedLinesAssembleInPlaceAndShareSymbols) {
  const std::map<std::string, std::string> files = {
      {"lib.asm", "helper: LDI 5, R0\n        .copy \"more.asm\"\n        RETS\n"},
      {"more.asm", "        BR    main\n"},
  };
  const AsmResult r = Assemble(
      "        .text 100h\n"
      "main:   CALL  helper\n"
      "        .include \"lib.asm\"\n"
      "        IDLE\n",
      "top.asm", MapReader(files));
  ASSERT_TRUE(r.ok) << r.errors.front();
  ASSERT_EQ(r.sections.size(), 1u);
  // CALL helper (0x101), LDI, BR main (0x100), RETS, IDLE: in source order.
  EXPECT_EQ(r.sections[0].words,
            (std::vector<uint32_t>{0x62000101, 0x08600005, 0x60000100, 0x78800000, 0x06000000}));
}

TEST(AssemblerInclude, ErrorsNameTheFileAndLineTheTextCameFrom) {
  const std::map<std::string, std::string> files = {
      {"a.asm", "        NOP\n        LDI   nowhere, R0\n"},
      {"loop.asm", "        .include \"loop2.asm\"\n"},
      {"loop2.asm", "        NOP\n        .include \"loop.asm\"\n"},
  };
  AsmResult r = Assemble("        .text 0\n        .include \"a.asm\"\n        LDI  x, R1\n",
                         "top.asm", MapReader(files));
  ASSERT_EQ(r.errors.size(), 2u);
  EXPECT_EQ(r.errors[0], "a.asm:2: undefined symbol 'nowhere'");
  EXPECT_EQ(r.errors[1], "top.asm:3: undefined symbol 'x'");

  r = Assemble("        .include \"missing.asm\"\n", "top.asm", MapReader(files));
  ASSERT_FALSE(r.ok);
  EXPECT_EQ(r.errors[0], "top.asm:1: cannot include 'missing.asm': no such file");

  r = Assemble("\n        .include \"loop.asm\"\n", "top.asm", MapReader(files));
  ASSERT_FALSE(r.ok);
  EXPECT_EQ(r.errors[0], "loop2.asm:2: 'loop.asm' includes itself");

  r = Assemble("        .include \"a.asm\"\n", "top.asm");
  ASSERT_FALSE(r.ok);
  EXPECT_NE(r.errors[0].find("cannot include 'a.asm'"), std::string::npos);
}

TEST(AssemblerInclude, FilesResolveFromTheIncludingFilesFolder) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::path(VELMORA_BINARY_DIR) / "c3x_include";
  fs::create_directories(dir / "lib");
  auto write = [](const fs::path& p, const char* text) {
    std::ofstream(p, std::ios::trunc) << text;
  };
  write(dir / "main.asm", "        .text 809800h\n        .include \"lib/part.asm\"\n");
  // Relative to lib/, where part.asm lives, not to the top file.
  write(dir / "lib" / "part.asm", "        .include \"inner.asm\"\n        NOP\n");
  write(dir / "lib" / "inner.asm", "        IDLE\n");
  const fs::path out = dir / "main.out";
  std::error_code ec;
  fs::remove(out, ec);
  std::vector<std::string> errors;
  ASSERT_TRUE(AssembleFile((dir / "main.asm").string(), out.string(), errors))
      << (errors.empty() ? "" : errors.front());
  EXPECT_TRUE(fs::exists(out));

  errors.clear();  // a missing source is one error
  EXPECT_FALSE(AssembleFile((dir / "missing.asm").string(), out.string(), errors));
  EXPECT_EQ(errors.size(), 1u);
  write(dir / "lib" / "inner.asm", "        BOGUS\n");
  errors.clear();
  EXPECT_FALSE(AssembleFile((dir / "main.asm").string(), out.string(), errors));
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors[0], (dir / "lib" / "inner.asm").lexically_normal().string() +
                           ":1: unknown instruction 'BOGUS'");
}
