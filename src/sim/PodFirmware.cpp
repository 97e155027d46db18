#include "sim/PodFirmware.h"

#include <algorithm>

namespace velmora::sim {
namespace {
// A long-form "R" must follow its letter closely; after this pause the letter
// alone is taken as the plain reset.
constexpr uint64_t kResetFormPauseNs = 2'000'000;
}  // namespace

PodFirmware::PodFirmware(Board& board, const PodOptions& options)
    : board_(board), options_(options), lastPulseMs_(options.legacyResetPulseMs) {}

int PodFirmware::HexValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

void PodFirmware::Send(uint8_t byte, uint64_t atNs) {
  uplinkFreeNs_ = std::max(uplinkFreeNs_, atNs) + ByteNs();
  uplink_.push_back(OutByte{uplinkFreeNs_, byte});
}

void PodFirmware::SendWord(uint32_t word, uint64_t atNs) {
  for (int i = 0; i < 4; ++i) Send(static_cast<uint8_t>(word >> (8 * i)), atNs);
}

void PodFirmware::Transfer(uint32_t word, bool reply, uint64_t atNs) {
  ++frames_;
  const bool broken =
      options_.breakAfterFrames >= 0 && frames_ > static_cast<uint64_t>(options_.breakAfterFrames);
  const uint64_t doneNs = atNs + options_.serialFrameNs;
  if (broken) {
    if (reply) SendWord(0xFFFFFFFF, doneNs);
    return;
  }
  if (reply) {
    board_.QueueSerialFrame(doneNs, word, [this](uint32_t out) { SendWord(out, board_.NowNs()); });
  } else {
    board_.QueueSerialFrame(doneNs, word, nullptr);
  }
}

void PodFirmware::StartReset(uint32_t polarity, uint32_t pulseMs, uint64_t atNs) {
  polarity_ = polarity ? 1 : 0;
  lastPulseMs_ = pulseMs;
  const bool matches = (polarity_ == 1) == board_.Config().resetActiveHigh;
  // During the pulse the pod drives its active level; the board sees reset
  // asserted only when the polarities agree.
  board_.SetResetAsserted(matches);
  pulseActive_ = true;
  pulseEndNs_ = atNs + uint64_t{pulseMs} * 1'000'000;
}

void PodFirmware::Command(uint8_t byte, uint64_t atNs) {
  switch (byte) {
    case 'S':
    case 'V':
      cmd_ = byte;
      digits_.clear();
      return;
    case 'R':
      if (options_.firmwareVersion >= 0x12) {
        cmd_ = 'R';
        digits_.clear();
      } else {
        StartReset(0, options_.legacyResetPulseMs, atNs);
      }
      return;
    case '?':
      Send('?', atNs);
      Send(options_.firmwareVersion, atNs);
      return;
    default:
      return;  // not a command letter: ignored
  }
}

void PodFirmware::ByteFromHost(uint8_t byte, uint64_t atNs) {
  Process(atNs);
  lastByteNs_ = atNs;
  if (!cmd_) {
    Command(byte, atNs);
    return;
  }
  if (HexValue(byte) < 0) {
    // A broken command: drop it (a long-form reset cut short is the plain one)
    // and take this byte as a new command.
    if (cmd_ == 'R') StartReset(polarity_, lastPulseMs_, atNs);
    cmd_ = 0;
    Command(byte, atNs);
    return;
  }
  digits_.push_back(static_cast<char>(byte));
  if (digits_.size() < 8) return;
  uint32_t value = 0;
  for (char c : digits_) value = (value << 4) | static_cast<uint32_t>(HexValue(c));
  const uint8_t cmd = cmd_;
  cmd_ = 0;
  digits_.clear();
  if (cmd == 'R') {
    StartReset(value >> 16, value & 0xFFFF, atNs);
  } else {
    Transfer(value, cmd == 'V', atNs);
  }
}

uint64_t PodFirmware::NextEventNs() const {
  uint64_t next = UINT64_MAX;
  if (pulseActive_) next = std::min(next, pulseEndNs_);
  if (cmd_ == 'R' && digits_.empty())
    next = std::min(next, lastByteNs_ + kResetFormPauseNs);
  else if (cmd_)
    next = std::min(next, lastByteNs_ + options_.commandTimeoutNs);
  return next;
}

void PodFirmware::Process(uint64_t nowNs) {
  if (cmd_ == 'R' && digits_.empty() && nowNs >= lastByteNs_ + kResetFormPauseNs) {
    cmd_ = 0;
    StartReset(polarity_, lastPulseMs_, lastByteNs_ + kResetFormPauseNs);
  } else if (cmd_ && nowNs >= lastByteNs_ + options_.commandTimeoutNs) {
    cmd_ = 0;
    digits_.clear();
  }
  if (pulseActive_ && nowNs >= pulseEndNs_) {
    pulseActive_ = false;
    const bool matches = (polarity_ == 1) == board_.Config().resetActiveHigh;
    board_.SetResetAsserted(!matches);  // the idle level of the line
    if (options_.answerReset) Send('R', pulseEndNs_);
  }
}

}  // namespace velmora::sim
