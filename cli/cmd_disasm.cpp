// velmora-cli disasm: lists the loadable sections of a COFF file as C3x instructions.
#include <cstdio>
#include <string>
#include <vector>

#include "CliCommand.h"
#include "c3x/Disassembler.h"
#include "config/AppSettings.h"
#include "image/CoffReader.h"

namespace velmora::cli {
namespace {

constexpr int kUsageError = 2;

void PrintDisasmHelp() {
  std::printf(
      "Usage: velmora-cli disasm PROGRAM.out [--section NAME]\n"
      "\n"
      "Disassembles the loadable sections of a TI COFF file (those the application\n"
      "would place in the program image), one line per word: address, word and the\n"
      "instruction in TI's syntax, which the assembler (velmora-cli asm) accepts\n"
      "again. Words that are no C3x instruction are\n"
      "shown as .word with the reason.\n"
      "\n"
      "  --section NAME   only this section (as the section list names it)\n"
      "  --help           this text\n"
      "\n"
      "Exit status: 0 on success, 1 when the file cannot be read or has no such\n"
      "section, 2 on wrong usage.\n");
}

int RunDisasm(const std::vector<std::string>& args) {
  std::string file, section;
  bool sectionGiven = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      PrintDisasmHelp();
      return 0;
    } else if (a == "--section") {
      if (i + 1 >= args.size()) {
        std::fprintf(stderr, "velmora-cli disasm: --section needs a name\n");
        return kUsageError;
      }
      section = args[++i];
      sectionGiven = true;
    } else if (a.rfind("--section=", 0) == 0) {
      section = a.substr(10);
      sectionGiven = true;
    } else if (a.rfind("--pod=", 0) == 0 || a.rfind("--settings=", 0) == 0) {
      // Global options; not used here.
    } else if (a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "velmora-cli disasm: unknown option '%s'\n", a.c_str());
      return kUsageError;
    } else if (file.empty()) {
      file = a;
    } else {
      std::fprintf(stderr, "velmora-cli disasm: only one file can be given\n");
      return kUsageError;
    }
  }
  if (file.empty()) {
    std::fprintf(stderr,
                 "velmora-cli disasm: expected PROGRAM.out (see velmora-cli disasm --help)\n");
    return kUsageError;
  }
  ProgramData data;
  MemoryInterfaceValues mi;
  mi.dspType = kTMS320C31;  // the layout of the image header does not matter here
  const int rc = ReadCoffFile(file, mi, data);
  if (rc != kCoffOk) {
    std::fprintf(stderr, "velmora-cli disasm: %s: %s\n", file.c_str(), CoffResultMessage(rc));
    return 1;
  }
  // The section list drops one leading underscore; accept the name either way.
  const std::string wanted = (!section.empty() && section[0] == '_') ? section.substr(1) : section;
  bool found = false;
  for (const CSectionInfo& s : data.sections) {
    if (sectionGiven && s.name != wanted) continue;
    found = true;
    std::printf("; section %s at 0x%06X, 0x%06X words\n", s.name.c_str(), s.startAddress, s.size);
    const uint32_t* words = s.Data(data.image);
    for (uint32_t i = 0; i < s.size; ++i) {
      const uint32_t address = (s.startAddress + i) & 0xFFFFFF;
      std::printf("%06X  %08X  %s\n", address, words[i],
                  c3x::Disassemble(words[i], address).c_str());
    }
  }
  if (sectionGiven && !found) {
    std::fprintf(stderr,
                 "velmora-cli disasm: %s has no loadable section '%s'; it has:", file.c_str(),
                 section.c_str());
    for (const CSectionInfo& s : data.sections) std::fprintf(stderr, " %s", s.name.c_str());
    std::fprintf(stderr, "\n");
    return 1;
  }
  return 0;
}

CommandRegistrar disasmCommand("disasm", "list the sections of a COFF file as C3x instructions",
                               RunDisasm);

}  // namespace
}  // namespace velmora::cli
