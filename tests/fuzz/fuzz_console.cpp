// Console lines through the parser over a small symbol table.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "monitoring/ConsoleParser.h"

namespace {
void Check(bool ok) {
  if (!ok) std::abort();
}

std::vector<velmora::CDataObject> MakeSymbols() {
  std::vector<velmora::CDataObject> symbols(5);
  symbols[0] = {"counter", "", 0x809800, 4, 0};
  symbols[1] = {"gain", "", 0x809A00, 6, 0};
  symbols[2] = {"buf", "Array Info : [16]", 0x809C00, 0x34, 0};
  symbols[3] = {"top", "Array Info : [4][8]", 0xFFFFF0, 0xF4, 0};
  symbols[4] = {"x", "", 0x000001, 15, 0};
  return symbols;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmora;
  static const std::vector<CDataObject> symbols = MakeSymbols();
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  std::string last = "previous";
  const ConsoleOutcome out = ExecuteCommandLine(line, symbols, last);

  if (out.handOver) {
    Check(out.lines.empty());
    Check(out.command.code >= kConsoleRead && out.command.code <= kConsoleDeleteAll);
    Check(last != "previous");
    const uint8_t code = out.command.code;
    if (code == kConsoleRead || code == kConsoleWrite || code == kConsoleWatchAdd)
      Check(out.command.address <= kConsoleMaxAddress);
    if (code == kConsoleRead) {
      const ConsoleLine result = ReadResultLine(out.command, 0x12345678);
      Check(result.text.rfind("[ RESULT ] : ", 0) == 0);
    }
    if (code == kConsoleDeleteAll) Check(last == "wd*" || last == "watchdel*");
  } else if (out.lines.size() == 1) {
    Check(out.lines[0].colour == kConsoleErrorColour);
    Check(out.lines[0].text.rfind("[ ERROR ] : ", 0) == 0);
    Check(last == "previous");
  } else if (!out.lines.empty()) {
    Check(out.lines == HelpLines() && last == "h");
  } else {
    Check(last == "previous");  // blank line
  }
  return 0;
}
