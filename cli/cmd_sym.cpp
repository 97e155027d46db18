// velmora-cli sym: symbol files (.sym) holding the two watch lists.
#include <cstdio>
#include <string>
#include <vector>

#include "CliCommand.h"
#include "image/ImageReport.h"
#include "image/SymbolFile.h"
#include "monitoring/ValueFormats.h"

namespace velmora::cli {
namespace {

constexpr int kUsageError = 2;

void PrintSymHelp() {
  std::printf(
      "Usage: velmora-cli sym dump FILE.sym [--json]\n"
      "\n"
      "Prints both watch lists of a symbol file: the variable list and the address\n"
      "list, each item with its name, array text, address, type code and view type.\n"
      "\n"
      "  --json   one JSON object {\"variables\": [...], \"addresses\": [...]}, items\n"
      "           with \"name\", \"array\", \"address\", \"type\" and \"view\"\n"
      "  --help   this text\n"
      "\n"
      "Exit status: 0 on success, 1 when the file cannot be read, 2 on wrong usage.\n");
}

int RunSym(const std::vector<std::string>& args) {
  std::vector<std::string> words;
  bool json = false;
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") {
      PrintSymHelp();
      return 0;
    } else if (a == "--json") {
      json = true;
    } else if (a.rfind("--pod=", 0) == 0 || a.rfind("--settings=", 0) == 0) {
      // Global options; not used here.
    } else if (a.rfind("--", 0) == 0) {
      std::fprintf(stderr, "velmora-cli sym: unknown option '%s'\n", a.c_str());
      return kUsageError;
    } else {
      words.push_back(a);
    }
  }
  if (words.size() != 2 || words[0] != "dump") {
    std::fprintf(stderr,
                 "velmora-cli sym: expected 'dump FILE.sym' (see velmora-cli sym --help)\n");
    return kUsageError;
  }
  std::vector<CDataObject> variables, addresses;
  const SymbolFileResult result = LoadSymbolFile(words[1], variables, addresses);
  if (result != SymbolFileResult::kOk) {
    std::fprintf(stderr, "%s\n", SymbolFileMessage(result));
    return 1;
  }
  if (json)
    std::fputs(SymbolListsJson(variables, addresses).c_str(), stdout);
  else
    std::fputs(SymbolListsText(variables, addresses, ViewTypeText).c_str(), stdout);
  return 0;
}

CommandRegistrar registerSym("sym", "show the watch lists of a symbol file", RunSym);

}  // namespace
}  // namespace velmora::cli
