#include <cstdio>
#include <string>
#include <vector>

#include "CliCommand.h"

namespace velmora::cli {
std::map<std::string, CommandInfo>& Commands() {
  static std::map<std::string, CommandInfo> commands;
  return commands;
}
}  // namespace velmora::cli

namespace {
void PrintUsage() {
  std::printf("Usage: velmora-cli COMMAND [ARGS...]\n\nCommands:\n");
  for (const auto& [name, info] : velmora::cli::Commands())
    std::printf("  %-13s %s\n", name.c_str(), info.summary.c_str());
  std::printf("\nRun 'velmora-cli COMMAND --help' for the options of a command.\n");
}
}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  // Global options (such as --pod=sim) may come before the command word; they
  // are handed on to the command, which parses them with its own options.
  std::vector<std::string> global;
  size_t i = 0;
  while (i < args.size() && args[i].rfind("--", 0) == 0 && args[i] != "--help") {
    global.push_back(args[i]);
    ++i;
  }
  if (i >= args.size() || args[i] == "--help" || args[i] == "-h" || args[i] == "help") {
    PrintUsage();
    return i >= args.size() ? 2 : 0;
  }
  auto& commands = velmora::cli::Commands();
  auto it = commands.find(args[i]);
  if (it == commands.end()) {
    std::fprintf(stderr, "velmora-cli: unknown command '%s'\n", args[i].c_str());
    PrintUsage();
    return 2;
  }
  std::vector<std::string> rest(global);
  rest.insert(rest.end(), args.begin() + static_cast<long>(i) + 1, args.end());
  return it->second.run(rest);
}
