// The variable and address watch lists: adding, deleting, re-resolving after a
// new symbol table, and the refresh of the visible rows on a monitoring tick.
// The panes and velmora-cli share these rules; the panes mirror every change
// in their rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "image/DataObject.h"
#include "monitoring/ConsoleParser.h"

namespace velmora {

class TargetWordPort;

// Exact, case-sensitive name comparison.
bool IsVariableRegistered(const std::vector<CDataObject>& variables, std::string_view name);
bool IsAddressRegistered(const std::vector<CDataObject>& addresses, uint32_t address);

// A watch item for the symbol of exactly this name, with the default view type
// of its basic type; nothing when the table has no such symbol.
std::optional<CDataObject> MakeSymbolVariable(const std::vector<CDataObject>& symbols,
                                              const std::string& name);
// A variable item as the console adds it (no array text).
CDataObject MakeVariable(const std::string& name, uint32_t address, uint8_t viewType,
                         uint16_t typeCode);
// An address item: only address and view type are used.
CDataObject MakeAddress(uint32_t address, uint8_t viewType);

// Removes the items at the given rows (any order, duplicates and rows beyond
// the list ignored); gives how many were removed.
size_t DeleteRows(std::vector<CDataObject>& list, std::vector<size_t> rows);

// After a new symbol table: every item whose symbol (FindSymbolForItem) has
// another address or type code takes the symbol's name, address, type code
// and array text; its view type stays unless the type code changed, which
// brings the new type's default view. Gives the rows that were replaced.
std::vector<size_t> UpdateResolvedVariables(const std::vector<CDataObject>& symbols,
                                            std::vector<CDataObject>& variables);

// One monitoring tick over a list: rows first .. first + rowsPerPage (the full
// rows and the partly visible one below them) that exist are read in order;
// with skipVoid, items of basic type 0 cost nothing. `store` receives each
// word read. A failed read ends the refresh at once (later rows keep their
// old values) and gives false.
struct RefreshOutcome {
  bool ok = true;
  size_t reads = 0;
};
RefreshOutcome RefreshVisibleRows(const std::vector<CDataObject>& items, size_t first,
                                  size_t rowsPerPage, bool skipVoid, TargetWordPort& port,
                                  const std::function<void(size_t row, uint32_t word)>& store);

// What console commands 3 to 5 act on: the two panes in the application, the
// plain lists in velmora-cli.
class WatchListTarget {
 public:
  virtual ~WatchListTarget() = default;
  virtual void AddVariable(const std::string& name, uint32_t address, uint8_t viewType,
                           uint16_t typeCode) = 0;
  virtual void AddAddress(uint32_t address, uint8_t viewType) = 0;
  virtual void DeleteVariableRow(uint32_t index) = 0;
  virtual void DeleteAddressRow(uint32_t index) = 0;
  virtual void DeleteAllVariables() = 0;
  virtual void DeleteAllAddresses() = 0;
};

using ConsolePrinter = std::function<void(const ConsoleLine& line)>;

// The two lists without any view: the duplicate notices go to the printer.
class WatchListSet : public WatchListTarget {
 public:
  WatchListSet(std::vector<CDataObject>& variables, std::vector<CDataObject>& addresses,
               ConsolePrinter printer)
      : variables_(variables), addresses_(addresses), print_(std::move(printer)) {}

  void AddVariable(const std::string& name, uint32_t address, uint8_t viewType,
                   uint16_t typeCode) override;
  void AddAddress(uint32_t address, uint8_t viewType) override;
  void DeleteVariableRow(uint32_t index) override;
  void DeleteAddressRow(uint32_t index) override;
  void DeleteAllVariables() override { variables_.clear(); }
  void DeleteAllAddresses() override { addresses_.clear(); }

 private:
  std::vector<CDataObject>& variables_;
  std::vector<CDataObject>& addresses_;
  ConsolePrinter print_;
};

// Carries out a command the console handed over: reads and writes through the
// port (opening it first; "[ ERROR ] : Failed to get USB Handle" when that
// fails; a failed transfer prints nothing), watch adds and deletes on the
// lists. Result lines go to the printer.
void ExecuteConsoleCommand(const ConsoleCommand& command, TargetWordPort& port,
                           WatchListTarget& lists, const ConsolePrinter& print);

}  // namespace velmora
