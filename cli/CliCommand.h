// Sub-commands of velmora-cli register themselves here, one file each.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace velmora::cli {

// argv-style arguments after the command word (args[0] is the first argument).
using CommandFn = std::function<int(const std::vector<std::string>& args)>;

struct CommandInfo {
  std::string summary;  // one line for the overall --help
  CommandFn run;
};

std::map<std::string, CommandInfo>& Commands();

struct CommandRegistrar {
  CommandRegistrar(const std::string& name, const std::string& summary, CommandFn fn) {
    Commands()[name] = CommandInfo{summary, std::move(fn)};
  }
};

}  // namespace velmora::cli
