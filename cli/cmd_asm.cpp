// velmora-cli asm: assembles TMS320C3x source into an absolute COFF executable.
#include <cstdio>
#include <string>
#include <vector>

#include "CliCommand.h"
#include "c3x/Assembler.h"

namespace velmora::cli {
namespace {

constexpr int kUsageError = 2;

void PrintAsmHelp() {
  std::printf(
      "Usage: velmora-cli asm SOURCE.asm -o PROGRAM.out\n"
      "\n"
      "Assembles a TMS320C3x source file written in TI's syntax into an absolute\n"
      "COFF2 executable that the application can open, serial-boot and flash.\n"
      "Sections get their addresses from the source (.sect \"name\", ORIGIN;\n"
      ".text ORIGIN; .org); the entry point is .entry or the first section.\n"
      "See docs/c3x-assembler.md for the syntax and the directives.\n"
      "\n"
      "  -o FILE   the executable to write (required)\n"
      "  --help    this text\n"
      "\n"
      "Errors are printed as FILE:LINE: message; then nothing is written.\n"
      "Exit status: 0 on success, 1 on assembly or file errors, 2 on wrong usage.\n");
}

int RunAsm(const std::vector<std::string>& args) {
  std::string source, output;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      PrintAsmHelp();
      return 0;
    } else if (a == "-o" || a == "--output") {
      if (i + 1 >= args.size()) {
        std::fprintf(stderr, "velmora-cli asm: %s needs a file name\n", a.c_str());
        return kUsageError;
      }
      output = args[++i];
    } else if (a.rfind("--output=", 0) == 0) {
      output = a.substr(9);
    } else if (a.rfind("--pod=", 0) == 0 || a.rfind("--settings=", 0) == 0) {
      // Global options; not used here.
    } else if (a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "velmora-cli asm: unknown option '%s'\n", a.c_str());
      return kUsageError;
    } else if (source.empty()) {
      source = a;
    } else {
      std::fprintf(stderr, "velmora-cli asm: only one source file can be given\n");
      return kUsageError;
    }
  }
  if (source.empty() || output.empty()) {
    std::fprintf(stderr,
                 "velmora-cli asm: expected SOURCE.asm -o PROGRAM.out (see velmora-cli asm "
                 "--help)\n");
    return kUsageError;
  }
  std::vector<std::string> errors;
  if (!c3x::AssembleFile(source, output, errors)) {
    for (const std::string& e : errors) std::fprintf(stderr, "%s\n", e.c_str());
    if (errors.size() >= 100) std::fprintf(stderr, "(further errors not shown)\n");
    return 1;
  }
  return 0;
}

CommandRegistrar asmCommand("asm", "assemble TMS320C3x source into an absolute COFF executable",
                            RunAsm);

}  // namespace
}  // namespace velmora::cli
