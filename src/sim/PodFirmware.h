// The pod's firmware: takes the host's command bytes from its UART (S, V, R in
// both forms, ?), clocks words over the target's serial port 0 (full duplex:
// the word the target shifts out during a transfer is the reply to a V, which
// gives the one-transfer lag), drives the target's reset line and sends its
// replies back at the wire's pace. Time is board time in nanoseconds.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "sim/Board.h"

namespace velmora::sim {

struct PodOptions {
  uint8_t firmwareVersion = 0x12;  // high nibble major, low nibble minor
  bool answerReset = true;         // false: resets happen but "R" is never answered
  // After this many serial transfers the link to the target breaks: words no
  // longer reach it and V answers the idle line (0xFFFFFFFF). Negative: never.
  int64_t breakAfterFrames = -1;
  uint64_t serialFrameNs = 8'000;           // one 32-bit transfer on the target's serial port
  uint32_t legacyResetPulseMs = 100;        // the plain "R" (and a long form cut short)
  uint64_t commandTimeoutNs = 100'000'000;  // a half-received command is dropped after this
  uint32_t baud = 921600;                   // the pod's UART: 8 data bits, 1 stop bit, no parity
};

class PodFirmware {
 public:
  PodFirmware(Board& board, const PodOptions& options);

  const PodOptions& Options() const { return options_; }
  PodOptions& MutableOptions() { return options_; }

  // One byte from the host has arrived at the pod's UART at board time atNs.
  // The board must have been run up to atNs.
  void ByteFromHost(uint8_t byte, uint64_t atNs);
  // Timed work of the pod (end of a reset pulse, dropped partial commands).
  uint64_t NextEventNs() const;
  void Process(uint64_t nowNs);

  // Bytes on their way to the host: the time each has fully arrived at the
  // FTDI chip.
  struct OutByte {
    uint64_t atNs;
    uint8_t byte;
  };
  std::deque<OutByte>& Uplink() { return uplink_; }
  const std::deque<OutByte>& Uplink() const { return uplink_; }
  uint64_t FramesSent() const { return frames_; }
  uint64_t ByteNs() const { return 10'000'000'000ull / options_.baud; }

 private:
  void Send(uint8_t byte, uint64_t atNs);
  void SendWord(uint32_t word, uint64_t atNs);
  void Transfer(uint32_t word, bool reply, uint64_t atNs);
  void StartReset(uint32_t polarity, uint32_t pulseMs, uint64_t atNs);
  void Command(uint8_t byte, uint64_t atNs);
  static int HexValue(uint8_t c);

  Board& board_;
  PodOptions options_;
  std::deque<OutByte> uplink_;
  uint64_t uplinkFreeNs_ = 0;

  // Command being received.
  uint8_t cmd_ = 0;
  std::string digits_;
  uint64_t lastByteNs_ = 0;

  // Reset line.
  bool pulseActive_ = false;
  uint64_t pulseEndNs_ = 0;
  uint32_t polarity_ = 0;  // last polarity driven (0 active-low, 1 active-high)
  uint32_t lastPulseMs_ = 0;

  uint64_t frames_ = 0;
};

}  // namespace velmora::sim
