// A small two-pass assembler for TMS320C3x source in TI's syntax, producing
// absolute executables (COFF2 with the optional header).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {
struct CoffWriterOptions;
struct CoffWriterSection;
struct CoffWriterSymbol;
}  // namespace velmora

namespace velmora::c3x {

struct AsmSection {
  std::string name;
  uint32_t origin = 0;
  bool uninitialised = false;   // .bss: size only, no data in the file
  bool hasCode = false;         // holds at least one instruction
  uint32_t size = 0;            // words
  std::vector<uint32_t> words;  // size words unless uninitialised
};

struct AsmSymbol {
  std::string name;
  uint32_t value = 0;
  int section = -1;  // index into sections, -1 for an absolute value (.set)
  bool global = false;
};

// A debug entry from .sym: a data symbol as TI's C compiler describes it.
struct AsmDebugSymbol {
  std::string name;
  uint32_t value = 0;
  uint16_t type = 0;
  uint8_t storageClass = 2;
  std::array<uint16_t, 4> dims{};
  bool hasDims = false;
};

struct AsmResult {
  bool ok = false;
  std::vector<std::string> errors;  // "file:line: message"
  std::vector<AsmSection> sections;
  std::vector<AsmSymbol> symbols;  // labels and global .set symbols, in definition order
  std::vector<AsmDebugSymbol> debugSymbols;
  uint32_t entryPoint = 0;
};

// Reads the file that `.include "name"` or `.copy "name"` names, as seen from
// the file that includes it. Fills text and the name to report errors under;
// false with a reason in error when it cannot be read.
using IncludeReader =
    std::function<bool(const std::string& name, const std::string& includingFile, std::string& text,
                       std::string& resolvedName, std::string& error)>;

// Without a reader, `.include` and `.copy` are errors.
AsmResult Assemble(std::string_view source, const std::string& fileName,
                   const IncludeReader& reader = {});

// Reads included files from the disk, relative to the folder of the file that
// includes them (absolute names as given).
IncludeReader FileIncludeReader();

// The COFF writer's input for an assembled program: COFF2, optional header with the
// entry point, one symbol per section, the labels, and the .sym entries.
void BuildCoff(const AsmResult& result, CoffWriterOptions& options,
               std::vector<CoffWriterSection>& sections, std::vector<CoffWriterSymbol>& symbols);

// Reads source from inPath, assembles it and writes the executable to outPath. On any
// error nothing is written and the messages are in errors.
bool AssembleFile(const std::string& inPath, const std::string& outPath,
                  std::vector<std::string>& errors);

}  // namespace velmora::c3x
