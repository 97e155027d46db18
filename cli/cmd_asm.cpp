// velmora-cli asm: assembles TMS320C3x source into an absolute COFF executable.
#include <ostream>

#include <CLI/CLI.hpp>
#include "Cli.h"
#include "c3x/Assembler.h"

namespace velmora::cli {
namespace {

struct Args {
  std::string source, output;
};

int Run(Invocation& run, const Args& args) {
  std::vector<std::string> errors;
  if (!c3x::AssembleFile(args.source, args.output, errors)) {
    for (const std::string& e : errors) run.Err() << e << "\n";
    if (errors.size() >= 100) run.Err() << "(further errors not shown)\n";
    return 1;
  }
  return kExitOk;
}

const CommandRegistrar kRegistered([](CLI::App& app) -> CommandRun {
  CLI::App* cmd = app.add_subcommand(
      "asm",
      "assemble TMS320C3x source into an absolute COFF executable\n"
      "Assembles a TMS320C3x source file written in TI's syntax into an absolute\n"
      "COFF2 executable that the application can open, serial-boot and flash.\n"
      "Sections get their addresses from the source (.sect \"name\", ORIGIN;\n"
      ".text ORIGIN; .org); the entry point is .entry or the first section.\n"
      "See docs/c3x-assembler.md for the syntax and the directives.");
  auto args = std::make_shared<Args>();
  cmd->add_option("SOURCE.asm", args->source, "the source file")->required();
  cmd->add_option("-o,--output", args->output, "the executable to write")
      ->required()
      ->option_text("FILE");
  cmd->footer(
      "Errors are printed as FILE:LINE: message; then nothing is written.\n"
      "Exit status: 0 on success, 1 on assembly or file errors, 2 on wrong usage.\n");
  return [args](Invocation& run) { return Run(run, *args); };
});

}  // namespace
}  // namespace velmora::cli
