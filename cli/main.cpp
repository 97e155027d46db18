// velmora-cli: the commands register themselves (Cli.h).
#include "Cli.h"

int main(int argc, char** argv) {
  return velmora::cli::RunCli(std::vector<std::string>(argv + 1, argv + argc));
}
