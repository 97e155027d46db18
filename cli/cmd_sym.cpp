// velmora-cli sym: symbol files (.sym) holding the two watch lists.
#include <ostream>

#include <CLI/CLI.hpp>
#include "Cli.h"
#include "image/ImageReport.h"
#include "image/SymbolFile.h"
#include "monitoring/ValueFormats.h"

namespace velmora::cli {
namespace {

struct Args {
  std::string file;
  bool json = false;
};

int Run(Invocation& run, const Args& args) {
  std::vector<CDataObject> variables, addresses;
  const SymbolFileResult result = LoadSymbolFile(args.file, variables, addresses);
  if (result != SymbolFileResult::kOk) {
    run.Err() << SymbolFileMessage(result) << "\n";
    return 1;
  }
  run.Out() << (args.json ? SymbolListsJson(variables, addresses)
                          : SymbolListsText(variables, addresses, ViewTypeText));
  return kExitOk;
}

const CommandRegistrar kRegistered([](CLI::App& app) -> CommandRun {
  CLI::App* cmd = app.add_subcommand("sym", "show the watch lists of a symbol file");
  cmd->require_subcommand(1);
  CLI::App* dump = cmd->add_subcommand(
      "dump",
      "print both watch lists of a symbol file\n"
      "Prints the variable list and the address list, each item with its name,\n"
      "array text, address, type code and view type.");
  auto args = std::make_shared<Args>();
  dump->add_option("FILE.sym", args->file, "the symbol file")->required();
  dump->add_flag("--json", args->json,
                 "one JSON object {variables: [...], addresses: [...]}, items with name, "
                 "array, address, type and view");
  dump->footer("Exit status: 0 on success, 1 when the file cannot be read, 2 on wrong usage.\n");
  return [args](Invocation& run) { return Run(run, *args); };
});

}  // namespace
}  // namespace velmora::cli
