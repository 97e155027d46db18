// How monitoring and the console reach target words: the pod link in the
// programs, counting or scripted fakes in tests.
#pragma once

#include <cstddef>
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
  // Reads n words in order, as n ReadTargetWord calls would; gives how many
  // were read before the first failure (n when all were).
  virtual size_t ReadTargetWords(const uint32_t* addresses, size_t n, uint32_t* values);
};

// The pod link's word operations (opening on demand, as the commands do).
//
// ReadTargetWords sends the very same S and V commands as one ReadTargetWord
// per address, but without waiting for each reply before sending the next
// command: the commands of a group go out in one USB write and the replies
// are collected afterwards, so a refresh costs the wire time of its commands
// plus one trip through the USB chip's latency timer instead of one per word.
// The pod spaces the commands at the wire's pace (a 9-byte command takes
// about 98 us at 921,600 baud), which is longer than the transfer pauses of
// 10, 20 and 50 us; with a longer pause the words are read one by one.
class PodLinkPort : public TargetWordPort {
 public:
  static constexpr size_t kGroupWords = 16;  // replies in flight stay within 2 x 64 bytes

  explicit PodLinkPort(CPodLink& link) : link_(link) {}
  bool EnsureOpen() override;
  bool ReadTargetWord(uint32_t address, uint32_t& value) override;
  bool WriteTargetWord(uint32_t address, uint32_t value) override;
  size_t ReadTargetWords(const uint32_t* addresses, size_t n, uint32_t* values) override;

  // The wire time of one 9-byte command, and whether the configured transfer
  // pause lets commands follow each other at the wire's pace.
  static uint32_t CommandWireTimeUs();
  bool CanPipeline() const;

 private:
  bool SendGroup(const uint32_t* addresses, size_t n);

  CPodLink& link_;
};

}  // namespace velmora
