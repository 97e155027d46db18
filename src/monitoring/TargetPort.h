// How monitoring and the console reach target words: the pod link in the
// programs, counting or scripted fakes in tests.
#pragma once

#include <cstdint>

namespace velmora {

class CPodLink;

class TargetWordPort {
 public:
  virtual ~TargetWordPort() = default;
  // Opens the device when it is not open yet; false when that failed.
  virtual bool EnsureOpen() = 0;
  virtual bool ReadTargetWord(uint32_t address, uint32_t& value) = 0;
  virtual bool WriteTargetWord(uint32_t address, uint32_t value) = 0;
};

// The pod link's word operations (opening on demand, as the commands do).
class PodLinkPort : public TargetWordPort {
 public:
  explicit PodLinkPort(CPodLink& link) : link_(link) {}
  bool EnsureOpen() override;
  bool ReadTargetWord(uint32_t address, uint32_t& value) override;
  bool WriteTargetWord(uint32_t address, uint32_t value) override;

 private:
  CPodLink& link_;
};

}  // namespace velmora
