#include "monitoring/WatchLists.h"

#include <algorithm>

#include "image/SymbolTable.h"
#include "monitoring/TargetPort.h"
#include "monitoring/ValueFormats.h"

namespace velmora {

bool IsVariableRegistered(const std::vector<CDataObject>& variables, std::string_view name) {
  return std::any_of(variables.begin(), variables.end(),
                     [&](const CDataObject& item) { return item.name == name; });
}

bool IsAddressRegistered(const std::vector<CDataObject>& addresses, uint32_t address) {
  return std::any_of(addresses.begin(), addresses.end(),
                     [&](const CDataObject& item) { return item.address == address; });
}

std::optional<CDataObject> MakeSymbolVariable(const std::vector<CDataObject>& symbols,
                                              const std::string& name) {
  const CDataObject* symbol = FindSymbolByName(symbols, name);
  if (!symbol) return std::nullopt;
  CDataObject item = *symbol;
  item.viewType = DefaultViewType(item.BasicType());
  return item;
}

CDataObject MakeVariable(const std::string& name, uint32_t address, uint8_t viewType,
                         uint16_t typeCode) {
  CDataObject item;
  item.name = name;
  item.address = address;
  item.typeCode = typeCode;
  item.viewType = viewType;
  return item;
}

CDataObject MakeAddress(uint32_t address, uint8_t viewType) {
  CDataObject item;
  item.address = address;
  item.viewType = viewType;
  return item;
}

size_t DeleteRows(std::vector<CDataObject>& list, std::vector<size_t> rows) {
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  size_t removed = 0;
  // From the last row up, so that the earlier positions stay valid.
  for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
    if (*it >= list.size()) continue;
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(*it));
    ++removed;
  }
  return removed;
}

std::vector<size_t> UpdateResolvedVariables(const std::vector<CDataObject>& symbols,
                                            std::vector<CDataObject>& variables) {
  std::vector<size_t> replaced;
  if (symbols.empty() || variables.empty()) return replaced;
  for (size_t i = 0; i < variables.size(); ++i) {
    CDataObject& item = variables[i];
    const CDataObject* entry = FindSymbolForItem(symbols, item);
    if (!entry) continue;
    // Either difference leaves the item reading the wrong word or showing it
    // in the wrong type, so either one is enough.
    if (entry->address == item.address && entry->typeCode == item.typeCode) continue;
    // The view the user chose stays while the type does.
    const uint8_t view =
        entry->typeCode == item.typeCode ? item.viewType : DefaultViewType(entry->BasicType());
    item = *entry;
    item.viewType = view;
    replaced.push_back(i);
  }
  return replaced;
}

RefreshOutcome RefreshVisibleRows(const std::vector<CDataObject>& items, size_t first,
                                  size_t rowsPerPage, bool skipVoid, TargetWordPort& port,
                                  const std::function<void(size_t row, uint32_t word)>& store) {
  RefreshOutcome outcome;
  if (first >= items.size()) return outcome;
  const size_t last = std::min(items.size() - 1, first + rowsPerPage);
  std::vector<size_t> rows;
  std::vector<uint32_t> addresses;
  rows.reserve(last - first + 1);
  addresses.reserve(last - first + 1);
  for (size_t row = first; row <= last; ++row) {
    if (skipVoid && items[row].BasicType() == 0) continue;
    rows.push_back(row);
    addresses.push_back(items[row].address);
  }
  std::vector<uint32_t> words(rows.size());
  const size_t got = port.ReadTargetWords(addresses.data(), addresses.size(), words.data());
  for (size_t i = 0; i < got && i < rows.size(); ++i) store(rows[i], words[i]);
  outcome.ok = got >= rows.size();
  outcome.reads = outcome.ok ? rows.size() : got + 1;
  return outcome;
}

void WatchListSet::AddVariable(const std::string& name, uint32_t address, uint8_t viewType,
                               uint16_t typeCode) {
  if (IsVariableRegistered(variables_, name)) {
    if (print_) print_(VariableRegisteredLine());
    return;
  }
  variables_.push_back(MakeVariable(name, address, viewType, typeCode));
}

void WatchListSet::AddAddress(uint32_t address, uint8_t viewType) {
  if (address > kConsoleMaxAddress) return;
  if (IsAddressRegistered(addresses_, address)) {
    if (print_) print_(AddressRegisteredLine());
    return;
  }
  addresses_.push_back(MakeAddress(address, viewType));
}

void WatchListSet::DeleteVariableRow(uint32_t index) {
  if (index < variables_.size()) variables_.erase(variables_.begin() + index);
}

void WatchListSet::DeleteAddressRow(uint32_t index) {
  if (index < addresses_.size()) addresses_.erase(addresses_.begin() + index);
}

void ExecuteConsoleCommand(const ConsoleCommand& command, TargetWordPort& port,
                           WatchListTarget& lists, const ConsolePrinter& print) {
  switch (command.code) {
    case kConsoleRead: {
      if (!port.EnsureOpen()) {
        print(UsbHandleErrorLine());
        return;
      }
      uint32_t word = 0;
      if (port.ReadTargetWord(command.address, word)) print(ReadResultLine(command, word));
      return;
    }
    case kConsoleWrite:
      if (!port.EnsureOpen()) {
        print(UsbHandleErrorLine());
        return;
      }
      if (port.WriteTargetWord(command.address, command.value)) print(WriteCompletedLine());
      return;
    case kConsoleWatchAdd:
      if (command.isSymbol)
        lists.AddVariable(command.name, command.address, command.view, command.typeCode);
      else
        lists.AddAddress(command.address, command.view);
      return;
    case kConsoleDeleteOne:
      if (command.isSymbol)
        lists.DeleteVariableRow(command.index);
      else
        lists.DeleteAddressRow(command.index);
      return;
    case kConsoleDeleteAll:
      lists.DeleteAllVariables();
      lists.DeleteAllAddresses();
      return;
    default:
      return;
  }
}

}  // namespace velmora
