#include "monitoring/ConsoleParser.h"

#include <cstdio>

#include "image/SymbolTable.h"
#include "monitoring/ValueFormats.h"

namespace velmora {
namespace {

constexpr auto npos = std::string_view::npos;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}
std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string CollapseSpaces(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s)
    if (c != ' ' || out.empty() || out.back() != ' ') out += c;
  return out;
}

bool StartsWith0x(std::string_view s) {
  return s.size() >= 2 && s[0] == '0' && s[1] == 'x';
}

// A number typed as "0x" + hex digits or as decimal digits; false when the
// characters do not fit the chosen form.
bool ReadPlainNumber(std::string_view s, uint32_t& value) {
  if (StartsWith0x(s)) {
    const std::string_view rest = s.substr(2);
    if (!IsHexText(rest)) return false;
    value = ReadUnsignedHex(rest);
    return true;
  }
  if (!IsDecimalText(s)) return false;
  value = ReadUnsignedDecimal(s);
  return true;
}

// The "A" part of a command has a one-character suffix after a '/'. Gives
// false when the '/' is first or last or the suffix is not one of `allowed`.
enum class Suffix { None, Bad, Found };
Suffix SplitSuffix(std::string_view& a, std::string_view allowed, char& which) {
  const size_t q = a.find('/');
  if (q == npos) return Suffix::None;
  if (q == 0 || q == a.size() - 1) return Suffix::Bad;
  const std::string_view after = a.substr(q + 1);
  if (after.size() != 1 || allowed.find(after[0]) == npos) return Suffix::Bad;
  which = after[0];
  a = a.substr(0, q);
  return Suffix::Found;
}

ConsoleOutcome Error(const char* text) {
  ConsoleOutcome outcome;
  outcome.lines.push_back({text, kConsoleErrorColour});
  return outcome;
}

ConsoleOutcome HandOver(ConsoleCommand command, std::string& lastCommand, std::string last) {
  lastCommand = std::move(last);
  ConsoleOutcome outcome;
  outcome.handOver = true;
  outcome.command = std::move(command);
  return outcome;
}

// Reads, writes and watch adds: C is "d", "disp", "wa" or "watchadd".
ConsoleOutcome ParseAccess(std::string_view c, std::string_view a,
                           const std::vector<CDataObject>& symbols, const std::string& t,
                           std::string& lastCommand) {
  ConsoleCommand cmd;

  // Write value.
  bool isWrite = false;
  if (const size_t p = a.find('='); p != npos) {
    if (p == 0 || p == a.size() - 1) return Error(kConsoleWriteWrongCommand);
    isWrite = true;
    const std::string_view v = TrimLeft(a.substr(p + 1));
    a = TrimRight(a.substr(0, p));
    if (v.find('.') != npos) {
      std::string digits;
      for (char ch : v)
        if (ch != '.') digits += ch;
      if (!IsDecimalText(digits)) return Error(kConsoleWrongFloatData);
      cmd.value = FloatToC3x(ReadFloatText(v));
    } else if (StartsWith0x(v)) {
      if (!IsHexText(v.substr(2))) return Error(kConsoleWrongHexData);
      cmd.value = ReadUnsignedHex(v.substr(2));
    } else {
      if (!IsDecimalText(v)) return Error(kConsoleWrongIntegerData);
      cmd.value = ReadUnsignedDecimal(v);
    }
  }

  // Format suffix; without one the word is shown in hex whatever the type.
  char format = 0;
  if (SplitSuffix(a, "fdxh", format) == Suffix::Bad) return Error(kConsoleWrongWriteCommand);
  switch (format) {
    case 'f':
      cmd.view = ToByte(ViewType::Float);
      break;
    case 'd':
      cmd.view = ToByte(ViewType::SignedInteger);
      break;
    default:
      cmd.view = ToByte(ViewType::HexDecimal);
      break;
  }

  // Target.
  if (StartsWith0x(a)) {
    const std::string_view rest = a.substr(2);
    if (!IsHexText(rest)) return Error(kConsoleWrongAddress);
    cmd.address = ReadUnsignedHex(rest);
    if (cmd.address > kConsoleMaxAddress) return Error(kConsoleAddressRange);
    cmd.isSymbol = false;
    cmd.typeCode = 0;
  } else {
    cmd.isSymbol = true;
    const size_t l = a.find('[');
    const size_t r = a.find(']');
    const bool arrayForm = l != npos && l > 0 && r != npos && r >= 3;
    std::string_view n = a;
    std::string_view index;
    if (arrayForm) {
      n = a.substr(0, l);
      if (r > l) index = a.substr(l + 1, r - l - 1);
    }
    // An empty name would be "contained" in every symbol's name.
    if (n.empty()) return Error(kConsoleWrongVariable);
    const std::string name(n);
    const CDataObject* symbol = FindSymbolByName(symbols, name);
    if (!symbol) symbol = FindSymbolContaining(symbols, name);
    if (!symbol) return Error(kConsoleWrongVariable);

    if (arrayForm) {
      if (symbol->arrayText.empty()) return Error(kConsoleNotArray);
      uint32_t element = 0;
      if (index.empty() || !ReadPlainNumber(index, element)) return Error(kConsoleWrongArrayData);
      // Summed wide, so that a huge index cannot wrap into the address range.
      const uint64_t address = uint64_t{symbol->address} + element;
      if (address > kConsoleMaxAddress) return Error(kConsoleAddressRange);
      cmd.name = symbol->name;
      cmd.name.append(1, '[').append(index).append(1, ']');
      cmd.address = static_cast<uint32_t>(address);
    } else {
      cmd.name = symbol->name;
      cmd.address = symbol->address;
    }
    cmd.typeCode = symbol->typeCode;
  }

  // Command.
  if (c == "d" || c == "disp") {
    cmd.code = isWrite ? kConsoleWrite : kConsoleRead;
  } else {
    if (isWrite) return Error(kConsoleWrongCommand);
    cmd.code = kConsoleWatchAdd;
  }
  return HandOver(std::move(cmd), lastCommand, t);
}

// Deletes: C is "wd" or "watchdel".
ConsoleOutcome ParseDelete(std::string_view a, const std::string& t, std::string& lastCommand) {
  ConsoleCommand cmd;
  cmd.isSymbol = true;
  if (a == "*") {
    cmd.code = kConsoleDeleteAll;
    return HandOver(std::move(cmd), lastCommand, "wd*");
  }
  char list = 0;
  if (SplitSuffix(a, "sa", list) == Suffix::Bad) return Error(kConsoleWrongCommand);
  if (list == 'a') cmd.isSymbol = false;
  if (!ReadPlainNumber(a, cmd.index)) return Error(kConsoleWrongIndex);
  cmd.code = kConsoleDeleteOne;
  return HandOver(std::move(cmd), lastCommand, t);
}

}  // namespace

ConsoleOutcome ExecuteCommandLine(std::string_view line, const std::vector<CDataObject>& symbols,
                                  std::string& lastCommand) {
  const std::string_view text = TrimRight(TrimLeft(line));
  if (text.empty()) return {};
  const std::string t = CollapseSpaces(text);

  const size_t space = t.find(' ');
  if (space == std::string::npos) {
    if (t == "wd*" || t == "watchdel*") {
      ConsoleCommand cmd;
      cmd.code = kConsoleDeleteAll;
      return HandOver(std::move(cmd), lastCommand, t);
    }
    if (t == "h") {
      lastCommand = t;  // "h"
      ConsoleOutcome outcome;
      outcome.lines = HelpLines();
      return outcome;
    }
    return Error(kConsoleWrongCommand);
  }

  const std::string_view view(t);
  const std::string_view c = TrimLeft(view.substr(0, space));
  const std::string_view a = TrimRight(view.substr(space + 1));
  if (c == "d" || c == "disp" || c == "wa" || c == "watchadd")
    return ParseAccess(c, a, symbols, t, lastCommand);
  if (c == "wd" || c == "watchdel") return ParseDelete(a, t, lastCommand);
  return Error(kConsoleWrongCommand);
}

std::vector<ConsoleLine> HelpLines() {
  static const char* const kHelp[] = {
      "--- Monitoring Command Format Help ---",
      "Read Command\t\t: [d or disp] [Variable Name or Absolute Address][/f/d/x/h]",
      "Write Command\t\t: [d or disp] [Variable Name or Absolute Address]=[Data Value]",
      "Add Watch Variable\t: [wa or watchadd] [Variable Name or Absolute Address][/f/d/x/h]",
      "Delete Watch Variable\t: [wd or watchdel] [Index Number][/s/a]",
      "Delete All Watch Variable\t: [wd or watchdel] *",
  };
  std::vector<ConsoleLine> lines;
  for (const char* text : kHelp) lines.push_back({text, kConsoleNoticeColour});
  return lines;
}

ConsoleLine ReadResultLine(const ConsoleCommand& command, uint32_t word) {
  std::string text = "[ RESULT ] : ";
  if (command.isSymbol) {
    text += command.name;
  } else {
    char address[16];
    std::snprintf(address, sizeof address, "0x%06X", static_cast<unsigned>(command.address));
    text += address;
  }
  text += ", ";
  text += FormatTargetWord(word, command.view);
  return {std::move(text), kConsoleResultColour};
}

}  // namespace velmora
