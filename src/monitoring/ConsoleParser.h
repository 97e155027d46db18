// The command console's language: a typed line becomes a command record (or
// an error line), and executed commands are reported with fixed result lines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "image/DataObject.h"

namespace velmora {

enum ConsoleCode : uint8_t {
  kConsoleNone = 0,
  kConsoleRead = 1,
  kConsoleWrite = 2,
  kConsoleWatchAdd = 3,
  kConsoleDeleteOne = 4,  // one row of the variable list (isSymbol) or the address list
  kConsoleDeleteAll = 5,  // both lists
};

// The record handed from the console to the main window for execution.
struct ConsoleCommand {
  uint8_t code = kConsoleNone;
  bool isSymbol = true;  // a variable, not an absolute address; for code 4 the variable list
  std::string name;      // variable name as shown in results and the variable list
  uint32_t address = 0;
  uint8_t view = 0;  // ViewType for read and watch add
  uint16_t typeCode = 0;
  uint32_t value = 0;  // word to write
  uint32_t index = 0;  // row to delete

  bool operator==(const ConsoleCommand&) const = default;
};

struct ConsoleColour {
  uint8_t red = 0, green = 0, blue = 0;
  bool operator==(const ConsoleColour&) const = default;
};
inline constexpr ConsoleColour kConsoleErrorColour{255, 0, 0};
inline constexpr ConsoleColour kConsoleResultColour{0, 128, 0};
inline constexpr ConsoleColour kConsoleNoticeColour{0, 0, 255};  // notices and help

struct ConsoleLine {
  std::string text;
  ConsoleColour colour;
  bool operator==(const ConsoleLine&) const = default;
};

// Parse errors, printed in red.
inline constexpr const char* kConsoleWrongCommand = "[ ERROR ] : Wrong Command Input";
inline constexpr const char* kConsoleWriteWrongCommand = "[ ERROR ] : Write Wrong Command Input";
inline constexpr const char* kConsoleWrongFloatData = "[ ERROR ] : Wrong Float Data Input";
inline constexpr const char* kConsoleWrongHexData = "[ ERROR ] : Wrong Hex Data Input";
inline constexpr const char* kConsoleWrongIntegerData = "[ ERROR ] : Wrong Integer Data Input";
inline constexpr const char* kConsoleWrongWriteCommand = "[ ERROR ] : Wrong Write Command Input";
inline constexpr const char* kConsoleWrongAddress = "[ ERROR ] : Wrong Address Command Input";
inline constexpr const char* kConsoleAddressRange =
    "[ ERROR ] : Maximum address range is from 0x0 to 0xffffff";
inline constexpr const char* kConsoleWrongVariable = "[ ERROR ] : Wrong Variable Input";
inline constexpr const char* kConsoleNotArray = "[ ERROR ] : The selected variable is not array";
inline constexpr const char* kConsoleWrongArrayData = "[ ERROR ] : Wrong Variable Array Data Input";
inline constexpr const char* kConsoleWrongIndex = "[ ERROR ] : Wrong Index Number Input";

// Execution outcomes.
inline constexpr const char* kConsoleUsbHandleError = "[ ERROR ] : Failed to get USB Handle";
inline constexpr const char* kConsoleWriteCompleted = "[ RESULT ] : Writing Completed...";
inline constexpr const char* kConsoleVariableRegistered =
    "[ NOTICE ] : Already registered variable";
inline constexpr const char* kConsoleAddressRegistered =
    "[ NOTICE ] : This address is already registered";

inline constexpr uint32_t kConsoleMaxAddress = 0xFFFFFF;

// What one typed line amounts to.
struct ConsoleOutcome {
  bool handOver = false;           // `command` is to be executed by the main window
  ConsoleCommand command;          // reset state unless handed over
  std::vector<ConsoleLine> lines;  // to print now: one error line, or the help lines
};

// Parses a line of the console's input. `lastCommand` (what F2 recalls) is
// updated only when the line is accepted. Names are looked up in `symbols`:
// the exact name first, then the first name that contains the text.
ConsoleOutcome ExecuteCommandLine(std::string_view line, const std::vector<CDataObject>& symbols,
                                  std::string& lastCommand);

// The six blue help lines.
std::vector<ConsoleLine> HelpLines();

// The green line for a word read by command code 1: the name (variable) or the
// address as 0x%06X, then the word in the command's view type.
ConsoleLine ReadResultLine(const ConsoleCommand& command, uint32_t word);
inline ConsoleLine WriteCompletedLine() {
  return {kConsoleWriteCompleted, kConsoleResultColour};
}
inline ConsoleLine UsbHandleErrorLine() {
  return {kConsoleUsbHandleError, kConsoleErrorColour};
}
inline ConsoleLine VariableRegisteredLine() {
  return {kConsoleVariableRegistered, kConsoleNoticeColour};
}
inline ConsoleLine AddressRegisteredLine() {
  return {kConsoleAddressRegistered, kConsoleNoticeColour};
}

}  // namespace velmora
