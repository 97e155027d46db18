// velmora-cli disasm: lists the loadable sections of a COFF file as C3x instructions.
#include <cstdio>
#include <ostream>

#include <CLI/CLI.hpp>
#include "Cli.h"
#include "c3x/Disassembler.h"
#include "config/AppSettings.h"
#include "image/CoffReader.h"

namespace velmora::cli {
namespace {

struct Args {
  std::string file;
  std::optional<std::string> section;
};

int Run(Invocation& run, const Args& args) {
  ProgramData data;
  MemoryInterfaceValues mi;
  mi.dspType = kTMS320C31;  // the layout of the image header does not matter here
  const int rc = ReadCoffFile(args.file, mi, data);
  if (rc != kCoffOk) {
    run.Err() << "velmora-cli disasm: " << args.file << ": " << CoffResultMessage(rc) << "\n";
    return 1;
  }
  // The section list drops one leading underscore; accept the name either way.
  std::string wanted = args.section.value_or("");
  if (!wanted.empty() && wanted[0] == '_') wanted.erase(0, 1);
  bool found = false;
  char line[160];
  for (const CSectionInfo& s : data.sections) {
    if (args.section && s.name != wanted) continue;
    found = true;
    std::snprintf(line, sizeof line, "; section %s at 0x%06X, 0x%06X words\n", s.name.c_str(),
                  s.startAddress, s.size);
    run.Out() << line;
    const uint32_t* words = s.Data(data.image);
    for (uint32_t i = 0; i < s.size; ++i) {
      const uint32_t address = (s.startAddress + i) & 0xFFFFFF;
      std::snprintf(line, sizeof line, "%06X  %08X  ", address, words[i]);
      run.Out() << line << c3x::Disassemble(words[i], address) << "\n";
    }
  }
  if (args.section && !found) {
    run.Err() << "velmora-cli disasm: " << args.file << " has no loadable section '"
              << *args.section << "'; it has:";
    for (const CSectionInfo& s : data.sections) run.Err() << " " << s.name;
    run.Err() << "\n";
    return 1;
  }
  return kExitOk;
}

const CommandRegistrar kRegistered([](CLI::App& app) -> CommandRun {
  CLI::App* cmd = app.add_subcommand(
      "disasm",
      "list the sections of a COFF file as C3x instructions\n"
      "Disassembles the loadable sections of a TI COFF file (those the application\n"
      "would place in the program image), one line per word: address, word and the\n"
      "instruction in TI's syntax, which the assembler (velmora-cli asm) accepts\n"
      "again. Words that are no C3x instruction are shown as .word with the reason.");
  auto args = std::make_shared<Args>();
  cmd->add_option("PROGRAM.out", args->file, "the COFF file")->required();
  cmd->add_option("--section", args->section, "only this section (as the section list names it)")
      ->option_text("NAME");
  cmd->footer(
      "Exit status: 0 on success, 1 when the file cannot be read or has no such\n"
      "section, 2 on wrong usage.\n");
  return [args](Invocation& run) { return Run(run, *args); };
});

}  // namespace
}  // namespace velmora::cli
