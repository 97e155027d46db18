// Watch-list rules shared by the panes and velmora-cli, the refresh of the
// visible rows, and the console's command execution.
#include <gtest/gtest.h>

#include <map>

#include "image/SymbolTable.h"
#include "monitoring/TargetPort.h"
#include "monitoring/ValueFormats.h"
#include "monitoring/WatchLists.h"
#include "monitoring/memory_port.h"

namespace velmora {
namespace {

using test::MemoryPort;

std::vector<CDataObject> Items(size_t n, uint16_t type = 4) {
  std::vector<CDataObject> items;
  for (size_t i = 0; i < n; ++i) {
    items.push_back({"v" + std::to_string(i), "", 0x809800 + static_cast<uint32_t>(i), type});
  }
  return items;
}

TEST(WatchLists, SymbolVariablesTakeTheDefaultViewOfTheirType) {
  const std::vector<CDataObject> symbols = {{"counter", "", 0x809C00, 4},
                                            {"gain", "", 0x809C01, 6},
                                            {"flags", "", 0x809C02, 14},
                                            {"buf", "Array Info : [8]", 0x809C10, 0x34}};
  auto counter = MakeSymbolVariable(symbols, "counter");
  ASSERT_TRUE(counter);
  EXPECT_EQ(counter->viewType, ToByte(ViewType::SignedInteger));
  EXPECT_EQ(MakeSymbolVariable(symbols, "gain")->viewType, ToByte(ViewType::Float));
  EXPECT_EQ(MakeSymbolVariable(symbols, "flags")->viewType, ToByte(ViewType::UnsignedInteger));
  auto buf = MakeSymbolVariable(symbols, "buf");
  EXPECT_EQ(buf->arrayText, "Array Info : [8]");
  EXPECT_EQ(buf->address, 0x809C10u);
  // Exact names only: no partial match, case matters.
  EXPECT_FALSE(MakeSymbolVariable(symbols, "count"));
  EXPECT_FALSE(MakeSymbolVariable(symbols, "Counter"));

  std::vector<CDataObject> list = {*counter};
  EXPECT_TRUE(IsVariableRegistered(list, "counter"));
  EXPECT_FALSE(IsVariableRegistered(list, "COUNTER"));
}

TEST(WatchLists, DeleteRowsRemovesExactlyTheSelectedItems) {
  auto list = Items(6);
  EXPECT_EQ(DeleteRows(list, {4, 1, 1, 9, 0}), 3u);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].name, "v2");
  EXPECT_EQ(list[1].name, "v3");
  EXPECT_EQ(list[2].name, "v5");
  EXPECT_EQ(DeleteRows(list, {}), 0u);
}

TEST(WatchLists, ResolvedVariablesFollowAnyChangeOfAddressOrType) {
  std::vector<CDataObject> vars = {{"moved", "", 0x809C00, 4},
                                   {"retyped", "", 0x809C01, 4},
                                   {"same", "", 0x809C02, 4},
                                   {"gone", "", 0x809C03, 4},
                                   {"twin", "", 0x809F10, 4}};
  for (size_t i : {0, 2, 4}) vars[i].viewType = ToByte(ViewType::Binary);  // the user's choice
  // A static of one name in two files: the item watches the second one.
  const std::vector<CDataObject> symbols = {
      {"moved", "", 0x809D00, 4}, {"retyped", "Array Info : [2]", 0x809C01, 6},
      {"same", "", 0x809C02, 4},  {"moved", "", 0x809E00, 6},
      {"twin", "", 0x809F00, 4},  {"twin", "", 0x809F10, 4}};
  EXPECT_EQ(UpdateResolvedVariables(symbols, vars), (std::vector<size_t>{0, 1}));
  // Only the address moved: the first entry's address, the user's view kept.
  EXPECT_EQ(vars[0], (CDataObject{"moved", "", 0x809D00, 4, ToByte(ViewType::Binary)}));
  // A new type brings its default view.
  EXPECT_EQ(vars[1],
            (CDataObject{"retyped", "Array Info : [2]", 0x809C01, 6, ToByte(ViewType::Float)}));
  EXPECT_EQ(vars[2].viewType, ToByte(ViewType::Binary));
  EXPECT_EQ(vars[3].address, 0x809C03u);  // no symbol: left alone
  EXPECT_EQ(vars[4].address, 0x809F10u);  // still one of its name's symbols
  // The pass that follows a load resolves every item to the same symbol, so
  // the address the row shows is the one read and written.
  auto resolved = vars;
  ResolveVariableItems(symbols, resolved);
  EXPECT_EQ(resolved, vars);

  auto copy = vars;
  EXPECT_TRUE(UpdateResolvedVariables({}, copy).empty());
  EXPECT_EQ(copy, vars);
}

TEST(WatchLists, RefreshReadsTheVisibleRowsAndOneMore) {
  auto items = Items(100);
  MemoryPort port;
  for (uint32_t i = 0; i < 100; ++i) port.memory[0x809800 + i] = 1000 + i;
  std::map<size_t, uint32_t> shown;
  auto store = [&](size_t row, uint32_t word) { shown[row] = word; };

  RefreshOutcome r = RefreshVisibleRows(items, 30, 20, true, port, store);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.reads, 21u);
  ASSERT_EQ(port.readAddresses.size(), 21u);
  EXPECT_EQ(port.readAddresses.front(), 0x809800u + 30);
  EXPECT_EQ(port.readAddresses.back(), 0x809800u + 50);
  EXPECT_EQ(shown.size(), 21u);
  EXPECT_EQ(shown.begin()->first, 30u);
  EXPECT_EQ(shown[50], 1050u);

  // Near the end only the rows that exist are read.
  port.readAddresses.clear();
  EXPECT_EQ(RefreshVisibleRows(items, 90, 20, true, port, store).reads, 10u);
  EXPECT_EQ(RefreshVisibleRows({}, 0, 20, true, port, store).reads, 0u);
}

TEST(WatchLists, RefreshSkipsVoidItemsOnlyWhenAsked) {
  auto items = Items(4);
  items[1].typeCode = 0x10;  // pointer to void: basic type 0
  items[2].typeCode = 0;
  MemoryPort port;
  std::vector<size_t> rows;
  auto store = [&](size_t row, uint32_t) { rows.push_back(row); };
  EXPECT_EQ(RefreshVisibleRows(items, 0, 20, true, port, store).reads, 2u);
  EXPECT_EQ(rows, (std::vector<size_t>{0, 3}));
  rows.clear();
  // The address list skips nothing.
  EXPECT_EQ(RefreshVisibleRows(items, 0, 20, false, port, store).reads, 4u);
}

TEST(WatchLists, ListSetRefusesDuplicatesWithTheirNotices) {
  std::vector<CDataObject> vars, addrs;
  std::vector<ConsoleLine> printed;
  WatchListSet set(vars, addrs, [&](const ConsoleLine& l) { printed.push_back(l); });
  set.AddVariable("x", 0x809C00, 3, 6);
  set.AddVariable("x", 0x809D00, 0, 4);
  ASSERT_EQ(vars.size(), 1u);
  EXPECT_EQ(vars[0], (CDataObject{"x", "", 0x809C00, 6, 3}));
  set.AddAddress(0x809800, 0);
  set.AddAddress(0x809800, 4);
  set.AddAddress(0x1000000, 0);  // beyond the 24-bit space: ignored silently
  ASSERT_EQ(addrs.size(), 1u);
  EXPECT_EQ(printed, (std::vector<ConsoleLine>{VariableRegisteredLine(), AddressRegisteredLine()}));
  set.AddAddress(0x809801, 0);
  set.DeleteAddressRow(5);  // out of range: nothing
  set.DeleteAddressRow(0);
  ASSERT_EQ(addrs.size(), 1u);
  EXPECT_EQ(addrs[0].address, 0x809801u);
}

TEST(ConsoleExecution, FailedTransfersPrintNothingAndAClosedDeviceTheHandleError) {
  MemoryPort port;
  std::vector<CDataObject> vars, addrs;
  std::vector<ConsoleLine> printed;
  auto print = [&](const ConsoleLine& l) { printed.push_back(l); };
  WatchListSet lists(vars, addrs, print);
  const ConsoleCommand read{.code = kConsoleRead, .name = "gain", .address = 0x809C00};
  const ConsoleCommand write{.code = kConsoleWrite, .name = "", .address = 0x809C01, .value = 5};
  port.FailReadAfter(0);
  ExecuteConsoleCommand(read, port, lists, print);
  port.writeFails = true;
  ExecuteConsoleCommand(write, port, lists, print);
  EXPECT_TRUE(printed.empty());
  port.openFails = true;
  ExecuteConsoleCommand(read, port, lists, print);
  ExecuteConsoleCommand(write, port, lists, print);
  EXPECT_EQ(printed, (std::vector<ConsoleLine>(2, UsbHandleErrorLine())));
}

}  // namespace
}  // namespace velmora
