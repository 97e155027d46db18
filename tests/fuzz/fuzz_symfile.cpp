// libFuzzer target: symbol-file decoding. A file that loads must survive a save
// and a second load unchanged; a file that does not load must leave the lists alone.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/SymbolFile.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<CDataObject> variables{CDataObject{.name = "keep", .address = 1}};
  std::vector<CDataObject> addresses;
  const auto before = variables;
  const SymbolFileResult result = DecodeSymbolFile(data, size, variables, addresses);
  if (result != SymbolFileResult::kOk) {
    if (variables != before || !addresses.empty()) __builtin_trap();
    return 0;
  }
  const std::vector<uint8_t> saved = EncodeSymbolFile(variables, addresses);
  std::vector<CDataObject> v2, a2;
  if (DecodeSymbolFile(saved.data(), saved.size(), v2, a2) != SymbolFileResult::kOk)
    __builtin_trap();
  if (v2 != variables || a2 != addresses) __builtin_trap();
  return 0;
}
