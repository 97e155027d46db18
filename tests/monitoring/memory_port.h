// Target memory behind a port that records its reads and writes and can be
// told to fail.
#pragma once

#include <map>
#include <utility>
#include <vector>

#include "monitoring/TargetPort.h"

namespace velmora::test {

struct MemoryPort : TargetWordPort {
  std::map<uint32_t, uint32_t> memory;
  std::vector<uint32_t> readAddresses;
  int failReadNumber = 0;  // this read (1-based, counted over the port's life) fails; 0 never
  bool openFails = false;
  bool writeFails = false;

  bool EnsureOpen() override { return !openFails; }
  bool ReadTargetWord(uint32_t address, uint32_t& value) override {
    readAddresses.push_back(address);
    if (static_cast<int>(readAddresses.size()) == failReadNumber) return false;
    value = memory.count(address) ? memory[address] : 0;
    return true;
  }
  bool WriteTargetWord(uint32_t address, uint32_t value) override {
    if (writeFails) return false;
    memory[address] = value;
    return true;
  }
  // The read after the next n reads fails.
  void FailReadAfter(int n) { failReadNumber = static_cast<int>(readAddresses.size()) + n + 1; }
};

}  // namespace velmora::test
