// The pod's command protocol (S, V, R, ?) and the target-word operations built
// on it. Replies to V answer the word of the previous transfer.
#include <cstdio>

#include "podlink/PodLink.h"

namespace velmora {

void FormatCommandWord(char letter, uint32_t word, uint8_t* out) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out[0] = static_cast<uint8_t>(letter);
  for (int i = 0; i < 8; ++i) out[1 + i] = static_cast<uint8_t>(kHex[(word >> (28 - 4 * i)) & 0xF]);
}

bool CPodLink::SendCommandWord(char letter, uint32_t word) {
  uint8_t bytes[9];
  FormatCommandWord(letter, word, bytes);
  return WriteBytes(bytes, sizeof bytes, kCommandIdleLimitMs);
}

bool CPodLink::SendWord(uint32_t word) {
  if (!SendCommandWord('S', word)) return false;
  delayer_.MicroDelay(settings_.transferPauseUs);
  return true;
}

bool CPodLink::SendWordFixedDelay(uint32_t word) {
  if (!SendCommandWord('S', word)) return false;
  delayer_.MicroDelay(kFixedWordDelayUs);
  return true;
}

bool CPodLink::ExchangeRaw(uint32_t word, uint32_t& reply) {
  if (!SendCommandWord('V', word)) return false;
  uint8_t bytes[4];
  if (!ReadBytes(bytes, sizeof bytes, kCommandIdleLimitMs)) return false;
  reply = WordFromReply(bytes);
  return true;
}

bool CPodLink::ExchangeWord(uint32_t word, uint32_t& reply) {
  uint32_t value = 0;
  if (!ExchangeRaw(word, value)) return false;
  delayer_.MicroDelay(settings_.transferPauseUs);
  reply = value;
  return true;
}

bool CPodLink::ExchangeWordNoDelay(uint32_t word, uint32_t& reply) {
  return ExchangeRaw(word, reply);
}

bool CPodLink::ReadTargetWord(uint32_t address, uint32_t& value) {
  if (!SendWord(address)) return false;
  return ExchangeWord(address, value);
}

bool CPodLink::WriteTargetWord(uint32_t address, uint32_t value) {
  if (!SendWord(kTagWriteStart | address)) return false;
  uint32_t echo = 0;
  if (!ExchangeWord(kTagWriteHigh | (value >> 16), echo)) return false;
  if (!SendWord(kTagWriteLow | (value & 0xFFFF))) return false;
  // A wrong echo means the target did not take the start word: it is told to
  // drop the write, and the caller is not told (the pod's long-standing habit).
  return SendWord(echo == address ? kWordCommit : kWordAbandon);
}

bool CPodLink::ResetTarget() {
  Purge();
  uint8_t reply = 0;
  bool ok;
  if (firmwareVersion_ >= kFirmwareWithResetParameters) {
    // Both fields are four digits on the wire; wider settings would lengthen
    // the command past the nine bytes the pod reads.
    char text[16];
    std::snprintf(text, sizeof text, "R%04X%04X",
                  static_cast<unsigned>(settings_.resetPolarity) & 0xFFFFu,
                  static_cast<unsigned>(settings_.resetPulseMs) & 0xFFFFu);
    ok = WriteBytes(reinterpret_cast<const uint8_t*>(text), 9, kCommandIdleLimitMs) &&
         ReadBytes(&reply, 1, (settings_.resetPulseMs & 0xFFFFu) * 2 + 100);
  } else {
    const uint8_t command = 'R';
    ok = WriteBytes(&command, 1, kCommandIdleLimitMs) && ReadBytes(&reply, 1, kCommandIdleLimitMs);
  }
  if (!ok || reply != 'R') return false;
  Purge();
  return true;
}

bool CPodLink::ReadFirmwareVersion() {
  Purge();
  const uint8_t command = '?';
  uint8_t reply[2] = {0, 0};
  if (!WriteBytes(&command, 1, kCommandIdleLimitMs) ||
      !ReadBytes(reply, sizeof reply, kCommandIdleLimitMs)) {
    firmwareVersion_ = kUnknownFirmwareVersion;
    return false;
  }
  const bool purged = Purge();
  firmwareVersion_ = reply[0] == '?' ? reply[1] : kUnknownFirmwareVersion;
  return purged;
}

}  // namespace velmora
