#include "monitoring/TargetPort.h"

#include "podlink/PodLink.h"

namespace velmora {

bool PodLinkPort::EnsureOpen() {
  return link_.IsOpen() || link_.Open();
}

bool PodLinkPort::ReadTargetWord(uint32_t address, uint32_t& value) {
  return link_.ReadTargetWord(address, value);
}

bool PodLinkPort::WriteTargetWord(uint32_t address, uint32_t value) {
  return link_.WriteTargetWord(address, value);
}

}  // namespace velmora
