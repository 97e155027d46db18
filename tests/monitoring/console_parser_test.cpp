#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitoring/ConsoleParser.h"
#include "monitoring/ValueFormats.h"

namespace velmora {
namespace {

const std::vector<CDataObject>& Symbols() {
  static const std::vector<CDataObject> symbols = {
      {"my_counter", "", 0x809700, 14},
      {"account", "", 0x809900, 13},
      {"counter", "", 0x809800, 4},
      {"gain", "", 0x809A00, 6},
      {"x", "", 0x809B00, 6},
      {"buf", "Array Info : [16]", 0x809C00, 0x34},
      {"top", "Array Info : [32]", 0xFFFFF0, 0x34},
      {"odd]name", "Array Info : [4]", 0x809E00, 0x34},
  };
  return symbols;
}

constexpr uint8_t kHex = 0, kSigned = 1, kFloat = 3;
constexpr uint8_t kRd = kConsoleRead, kWr = kConsoleWrite, kWa = kConsoleWatchAdd;

// The command a line hands over: a variable, or an address when name is null.
ConsoleCommand Cmd(uint8_t code, const char* name, uint32_t address, uint8_t view = kHex,
                   uint16_t type = 0, uint32_t value = 0) {
  return {code, name != nullptr, name ? name : "", address, view, type, value, 0};
}
ConsoleCommand Del(uint32_t index, bool variableList) {
  return {kConsoleDeleteOne, variableList, "", 0, 0, 0, 0, index};
}

struct Accepted {
  const char* line;
  ConsoleCommand command;
  const char* last = nullptr;  // what F2 recalls; null: the line itself
};

TEST(ConsoleParser, AcceptedCommands) {
  const ConsoleCommand all{.code = kConsoleDeleteAll, .name = ""};
  const Accepted cases[] = {
      // Reads by name: exact name first, then the first name containing the text.
      {"d counter", Cmd(kRd, "counter", 0x809800, kHex, 4)},
      {"disp counter/d", Cmd(kRd, "counter", 0x809800, kSigned, 4)},
      {"d count", Cmd(kRd, "my_counter", 0x809700, kHex, 14)},
      {"d acc/f", Cmd(kRd, "account", 0x809900, kFloat, 13)},
      {"d gain/x", Cmd(kRd, "gain", 0x809A00, kHex, 6)},
      {"d gain/h", Cmd(kRd, "gain", 0x809A00, kHex, 6)},
      {"d gain", Cmd(kRd, "gain", 0x809A00, kHex, 6)},  // no suffix: hex, whatever the type
      // Blanks: trimmed at the ends, runs of spaces collapsed.
      {"  d    counter   ", Cmd(kRd, "counter", 0x809800, kHex, 4), "d counter"},
      {"\td counter\r\n", Cmd(kRd, "counter", 0x809800, kHex, 4), "d counter"},
      // By address.
      {"d 0x809800/f", Cmd(kRd, nullptr, 0x809800, kFloat)},
      {"d 0xffffff", Cmd(kRd, nullptr, 0xFFFFFF)},
      {"d 0x0", Cmd(kRd, nullptr, 0)},
      // Array elements: decimal or 0x index, name as typed after the symbol's name.
      {"d buf[12]", Cmd(kRd, "buf[12]", 0x809C0C, kHex, 0x34)},
      {"wa buf[12]", Cmd(kWa, "buf[12]", 0x809C0C, kHex, 0x34)},
      {"wa buf[0x10]/d", Cmd(kWa, "buf[0x10]", 0x809C10, kSigned, 0x34)},
      {"d top[15]", Cmd(kRd, "top[15]", 0xFFFFFF, kHex, 0x34)},
      {"d bu[1]", Cmd(kRd, "buf[1]", 0x809C01, kHex, 0x34)},
      // Writes: float, hex and decimal values; blanks round '='.
      {"d x=1.5", Cmd(kWr, "x", 0x809B00, kHex, 6, 0x00400000)},
      {"d x = 5", Cmd(kWr, "x", 0x809B00, kHex, 6, 5)},
      {"d x=0x1F", Cmd(kWr, "x", 0x809B00, kHex, 6, 0x1F)},
      {"d x=100.", Cmd(kWr, "x", 0x809B00, kHex, 6, 0x06480000)},
      {"d x=.5", Cmd(kWr, "x", 0x809B00, kHex, 6, 0xFF000000)},
      {"d x=99999999999", Cmd(kWr, "x", 0x809B00, kHex, 6, 0xFFFFFFFF)},
      {"d x=0x123456789", Cmd(kWr, "x", 0x809B00, kHex, 6, 0xFFFFFFFF)},
      // The suffix is checked and kept even though a write does not use it.
      {"disp counter/f=7", Cmd(kWr, "counter", 0x809800, kFloat, 4, 7)},
      {"d 0x809800=0xDEADBEEF", Cmd(kWr, nullptr, 0x809800, kHex, 0, 0xDEADBEEF)},
      {"d buf[2]=3", Cmd(kWr, "buf[2]", 0x809C02, kHex, 0x34, 3)},
      // Watch adds and deletes.
      {"wa counter", Cmd(kWa, "counter", 0x809800, kHex, 4)},
      {"watchadd gain/f", Cmd(kWa, "gain", 0x809A00, kFloat, 6)},
      {"wa 0x809800/d", Cmd(kWa, nullptr, 0x809800, kSigned)},
      {"wd 123", Del(123, true)},
      {"wd 2/a", Del(2, false)},
      {"wd 2/s", Del(2, true)},
      {"watchdel 0x10/a", Del(16, false)},
      {"wd 0", Del(0, true)},
      {"wd *", all, "wd*"},
      {"watchdel *", all, "wd*"},
      {"wd*", all},
      {"watchdel*", all},
  };
  for (const auto& c : cases) {
    std::string last = "previous";
    const ConsoleOutcome out = ExecuteCommandLine(c.line, Symbols(), last);
    EXPECT_TRUE(out.handOver) << c.line;
    EXPECT_TRUE(out.lines.empty())
        << c.line << ": " << (out.lines.empty() ? "" : out.lines[0].text);
    EXPECT_EQ(out.command, c.command)
        << c.line << " -> code " << int(out.command.code) << " name '" << out.command.name
        << "' address " << std::hex << out.command.address << " value " << out.command.value;
    EXPECT_EQ(last, c.last ? c.last : c.line) << c.line;
  }
}

struct Rejected {
  const char* line;
  const char* error;
};

TEST(ConsoleParser, EveryErrorText) {
  const Rejected cases[] = {
      {"help", kConsoleWrongCommand},
      {"d", kConsoleWrongCommand},
      {"D counter", kConsoleWrongCommand},
      {"read counter", kConsoleWrongCommand},
      {"h x", kConsoleWrongCommand},
      {"wd", kConsoleWrongCommand},
      {"wa x=5", kConsoleWrongCommand},
      {"watchadd 0x10=5", kConsoleWrongCommand},
      {"wd 2/b", kConsoleWrongCommand},
      {"wd /a", kConsoleWrongCommand},
      {"wd 2/", kConsoleWrongCommand},
      {"wd 2/aa", kConsoleWrongCommand},
      {"d x=", kConsoleWriteWrongCommand},
      {"d =5", kConsoleWriteWrongCommand},
      {"d x= ", kConsoleWriteWrongCommand},
      {"d x=-1.5", kConsoleWrongFloatData},
      {"d x=1.5e3", kConsoleWrongFloatData},
      {"d x=1.5f", kConsoleWrongFloatData},
      {"d x=0x1G", kConsoleWrongHexData},
      {"d x=0x 1", kConsoleWrongHexData},
      {"d x=-5", kConsoleWrongIntegerData},
      {"d x=0X10", kConsoleWrongIntegerData},
      {"d x=12a", kConsoleWrongIntegerData},
      {"d x=5/f", kConsoleWrongIntegerData},
      {"d counter/", kConsoleWrongWriteCommand},
      {"d /f", kConsoleWrongWriteCommand},
      {"d counter/u", kConsoleWrongWriteCommand},
      {"d counter/ff", kConsoleWrongWriteCommand},
      {"wa counter/b", kConsoleWrongWriteCommand},
      {"d 0x80980G", kConsoleWrongAddress},
      {"d 0x-1", kConsoleWrongAddress},
      {"d 0x1000000", kConsoleAddressRange},
      {"d 0xFFFFFFFF", kConsoleAddressRange},
      {"d 0x123456789", kConsoleAddressRange},
      {"d top[16]", kConsoleAddressRange},
      {"d buf[4294967295]", kConsoleAddressRange},  // must not wrap to a small address
      {"d buf[0xFFFFFFFF]", kConsoleAddressRange},
      {"d 0X10", kConsoleWrongVariable},
      {"d nosuch", kConsoleWrongVariable},
      {"d Counter", kConsoleWrongVariable},
      {"d nosuch[1]", kConsoleWrongVariable},
      {"d counter [1]", kConsoleWrongVariable},
      {"d \t=5", kConsoleWrongVariable},  // an empty name matches nothing
      {"d x[1]", kConsoleNotArray},
      {"wa counter[0]", kConsoleNotArray},
      {"wa buf[]", kConsoleWrongArrayData},
      {"d buf[-1]", kConsoleWrongArrayData},
      {"d buf[1.5]", kConsoleWrongArrayData},
      {"d buf[0x1G]", kConsoleWrongArrayData},
      {"d odd]name[1]", kConsoleWrongArrayData},  // ']' before '[': no index at all
      {"wd x", kConsoleWrongIndex},
      {"wd -1", kConsoleWrongIndex},
      {"wd 0xZ/a", kConsoleWrongIndex},
      {"wd 1 2", kConsoleWrongIndex},
  };
  for (const auto& c : cases) {
    std::string last = "d counter";
    const ConsoleOutcome out = ExecuteCommandLine(c.line, Symbols(), last);
    EXPECT_FALSE(out.handOver) << c.line;
    ASSERT_EQ(out.lines.size(), 1u) << c.line;
    EXPECT_EQ(out.lines[0].text, c.error) << c.line;
    EXPECT_EQ(out.lines[0].colour, (ConsoleColour{255, 0, 0})) << c.line;
    EXPECT_EQ(last, "d counter") << c.line;  // F2 recalls accepted lines only
    EXPECT_EQ(out.command, ConsoleCommand{}) << c.line;
  }
}

TEST(ConsoleParser, HelpBlankLinesAndEmptySymbolTable) {
  std::string last;
  ConsoleOutcome out = ExecuteCommandLine("h", Symbols(), last);
  EXPECT_FALSE(out.handOver);
  EXPECT_EQ(last, "h");
  ASSERT_EQ(out.lines.size(), 6u);
  EXPECT_EQ(out.lines[0].text, "--- Monitoring Command Format Help ---");
  EXPECT_EQ(out.lines[1].text,
            "Read Command\t\t: [d or disp] [Variable Name or Absolute Address][/f/d/x/h]");
  EXPECT_EQ(out.lines[2].text,
            "Write Command\t\t: [d or disp] [Variable Name or Absolute Address]=[Data Value]");
  EXPECT_EQ(out.lines[3].text,
            "Add Watch Variable\t: [wa or watchadd] [Variable Name or Absolute "
            "Address][/f/d/x/h]");
  EXPECT_EQ(out.lines[4].text, "Delete Watch Variable\t: [wd or watchdel] [Index Number][/s/a]");
  EXPECT_EQ(out.lines[5].text, "Delete All Watch Variable\t: [wd or watchdel] *");
  for (const auto& line : out.lines) EXPECT_EQ(line.colour, (ConsoleColour{0, 0, 255}));

  for (const char* blank : {"", "   ", "\t \r\n"}) {
    last = "wd*";
    out = ExecuteCommandLine(blank, Symbols(), last);
    EXPECT_FALSE(out.handOver);
    EXPECT_TRUE(out.lines.empty());
    EXPECT_EQ(last, "wd*");
  }

  // Without a loaded program every name is unknown; addresses still work.
  const std::vector<CDataObject> none;
  out = ExecuteCommandLine("d counter", none, last);
  ASSERT_EQ(out.lines.size(), 1u);
  EXPECT_EQ(out.lines[0].text, kConsoleWrongVariable);
  out = ExecuteCommandLine("wa 0x10", none, last);
  EXPECT_TRUE(out.handOver);
  EXPECT_EQ(out.command, Cmd(kWa, nullptr, 0x10));
}

TEST(ConsoleParser, FloatWritesMatchTheEnteredValueRule) {
  for (const char* v : {"0.1", "3.14159", "1000000.25", "0.0000001", "123456789.0", "0."}) {
    std::string last;
    const ConsoleOutcome out = ExecuteCommandLine(std::string("d 0x10=") + v, Symbols(), last);
    ASSERT_TRUE(out.handOver) << v;
    EXPECT_EQ(out.command.value, ParseEnteredValue(v, ViewType::HexDecimal, 32).word) << v;
    EXPECT_EQ(C3xToFloat(out.command.value), static_cast<float>(std::stod(v))) << v;
  }
}

TEST(ConsoleResults, TenReadFormatsAndFixedLines) {
  ConsoleCommand variable = Cmd(kRd, "counter", 0x809800, kHex, 4);
  ConsoleCommand address = Cmd(kRd, nullptr, 0x809800);
  const struct {
    uint8_t view;
    uint32_t word;
    const char* shown;
  } cases[] = {
      {0, 0xFF800000, "0xFF800000"},
      {1, 0xFF800000, "-8388608"},
      {2, 0xFF800000, "4286578688"},
      {3, 0xFF800000, "-1"},
      {4, 5, "00000000000000000000000000000101"},
      {9, 0x12, "0x00000012"},
      {3, 0x80000000, "0"},
      {3, 0x06480000, "100"},
  };
  for (const auto& c : cases) {
    variable.view = address.view = c.view;
    EXPECT_EQ(ReadResultLine(variable, c.word),
              (ConsoleLine{std::string("[ RESULT ] : counter, ") + c.shown, {0, 128, 0}}));
    EXPECT_EQ(ReadResultLine(address, c.word),
              (ConsoleLine{std::string("[ RESULT ] : 0x809800, ") + c.shown, {0, 128, 0}}));
  }
  address.address = 0x10;
  address.view = 0;
  EXPECT_EQ(ReadResultLine(address, 1).text, "[ RESULT ] : 0x000010, 0x00000001");
  variable.name = "buf[0x10]";
  variable.view = 1;
  EXPECT_EQ(ReadResultLine(variable, 0xFFFFFFFF).text, "[ RESULT ] : buf[0x10], -1");
  variable.name = "100%s";  // names are text, never a format
  EXPECT_EQ(ReadResultLine(variable, 1).text, "[ RESULT ] : 100%s, 1");

  EXPECT_EQ(WriteCompletedLine(), (ConsoleLine{"[ RESULT ] : Writing Completed...", {0, 128, 0}}));
  EXPECT_EQ(UsbHandleErrorLine(),
            (ConsoleLine{"[ ERROR ] : Failed to get USB Handle", {255, 0, 0}}));
  EXPECT_EQ(VariableRegisteredLine(),
            (ConsoleLine{"[ NOTICE ] : Already registered variable", {0, 0, 255}}));
  EXPECT_EQ(AddressRegisteredLine(),
            (ConsoleLine{"[ NOTICE ] : This address is already registered", {0, 0, 255}}));
}

}  // namespace
}  // namespace velmora
