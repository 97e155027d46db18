#include "monitoring/TargetPort.h"

#include <algorithm>
#include <vector>

#include "podlink/PodLink.h"

namespace velmora {

size_t TargetWordPort::ReadTargetWords(const uint32_t* addresses, size_t n, uint32_t* values) {
  for (size_t i = 0; i < n; ++i)
    if (!ReadTargetWord(addresses[i], values[i])) return i;
  return n;
}

bool PodLinkPort::EnsureOpen() {
  return link_.IsOpen() || link_.Open();
}

bool PodLinkPort::ReadTargetWord(uint32_t address, uint32_t& value) {
  return link_.ReadTargetWord(address, value);
}

bool PodLinkPort::WriteTargetWord(uint32_t address, uint32_t value) {
  return link_.WriteTargetWord(address, value);
}

uint32_t PodLinkPort::CommandWireTimeUs() {
  // 9 bytes of 10 bits (start, 8 data, stop), rounded down.
  return static_cast<uint32_t>(9ull * 10 * 1000000 / kPodBaudRate);
}

bool PodLinkPort::CanPipeline() const {
  return link_.TransferSettings().transferPauseUs <= CommandWireTimeUs();
}

bool PodLinkPort::SendGroup(const uint32_t* addresses, size_t n) {
  std::vector<uint8_t> bytes(n * 18);
  for (size_t i = 0; i < n; ++i) {
    FormatCommandWord('S', addresses[i], bytes.data() + 18 * i);
    FormatCommandWord('V', addresses[i], bytes.data() + 18 * i + 9);
  }
  return link_.WriteBytes(bytes.data(), static_cast<uint32_t>(bytes.size()), kCommandIdleLimitMs);
}

size_t PodLinkPort::ReadTargetWords(const uint32_t* addresses, size_t n, uint32_t* values) {
  if (n < 2 || !CanPipeline()) return TargetWordPort::ReadTargetWords(addresses, n, values);
  // The next group is on its way before the replies of this one are read, so
  // the wire never idles between groups.
  size_t sent = std::min(n, kGroupWords);
  if (!SendGroup(addresses, sent)) {
    link_.Purge();
    return 0;
  }
  for (size_t done = 0; done < n;) {
    const size_t groupEnd = sent;
    if (sent < n) {
      const size_t next = std::min(n - sent, kGroupWords);
      if (!SendGroup(addresses + sent, next)) {
        link_.Purge();
        return done;
      }
      sent += next;
    }
    for (; done < groupEnd; ++done) {
      uint8_t reply[4];
      if (!link_.ReadBytes(reply, sizeof reply, kCommandIdleLimitMs)) {
        // Replies still on their way would answer the next command.
        link_.Purge();
        return done;
      }
      values[done] = WordFromReply(reply);
    }
  }
  return n;
}

}  // namespace velmora
