#include "FakePod.h"

#include <algorithm>
#include <cstring>

#include "podlink/PodLink.h"

namespace velmora::test {

namespace {

bool ParseHex(const uint8_t* p, int digits, uint32_t& out) {
  out = 0;
  for (int i = 0; i < digits; ++i) {
    const uint8_t c = p[i];
    uint32_t v;
    if (c >= '0' && c <= '9')
      v = c - '0';
    else if (c >= 'A' && c <= 'F')
      v = c - 'A' + 10;
    else
      return false;
    out = out << 4 | v;
  }
  return true;
}

}  // namespace

std::vector<uint32_t> FakePod::WordsWith(char letter) const {
  std::vector<uint32_t> out;
  for (const PodCommand& c : commands)
    if (c.letter == letter) out.push_back(c.word);
  return out;
}

std::vector<uint32_t> FakePod::StreamWords() const {
  std::vector<uint32_t> out;
  for (const PodCommand& c : commands)
    if (c.letter == 'S' || c.letter == 'V') out.push_back(c.word);
  return out;
}

size_t FakePod::CountCalls(const std::string& name) const {
  return static_cast<size_t>(std::count_if(calls.begin(), calls.end(), [&](const std::string& c) {
    return c == name || c.rfind(name + " ", 0) == 0;
  }));
}

std::string FakePod::Text(std::initializer_list<uint32_t> numbers) {
  std::string text;
  for (uint32_t n : numbers) text += (text.empty() ? "" : " ") + std::to_string(n);
  return text;
}

FT_STATUS FakePod::Call(const std::string& name, const std::string& detail) {
  calls.push_back(detail.empty() ? name : name + " " + detail);
  clock_.AdvanceUs(20);
  auto it = failCalls.find(name);
  return it == failCalls.end() ? FT_OK : it->second;
}

FT_STATUS FakePod::FT_ListDevices(void* arg1, void* arg2, DWORD flags) {
  if (flags == FT_LIST_NUMBER_ONLY) {
    FT_STATUS s = Call("FT_ListDevices", "count");
    if (s == FT_OK && listCountStatus == FT_OK)
      *static_cast<DWORD*>(arg1) = static_cast<DWORD>(devices.size());
    return s != FT_OK ? s : listCountStatus;
  }
  const auto index = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(arg1));
  FT_STATUS s = Call("FT_ListDevices", std::to_string(index));
  if (s != FT_OK) return s;
  if (flags != (FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION) || index >= devices.size() ||
      failingListIndices.count(index))
    return FT_DEVICE_NOT_FOUND;
  char* out = static_cast<char*>(arg2);
  std::memset(out, 0, 64);
  std::memcpy(out, devices[index].data(), std::min<size_t>(devices[index].size(), 64));
  return FT_OK;
}

FT_STATUS FakePod::FT_OpenEx(void* arg, DWORD flags, FT_HANDLE* handle) {
  const std::string wanted(static_cast<const char*>(arg));
  FT_STATUS s = Call("FT_OpenEx", wanted + " " + std::to_string(flags));
  if (s != FT_OK) return s;
  if (std::find(devices.begin(), devices.end(), wanted) == devices.end())
    return FT_DEVICE_NOT_FOUND;
  open_ = true;
  *handle = this;
  return FT_OK;
}

FT_STATUS FakePod::FT_SetTimeouts(FT_HANDLE, DWORD readMs, DWORD writeMs) {
  FT_STATUS s = Call("FT_SetTimeouts", Text({readMs, writeMs}));
  if (s == FT_OK) {
    readTimeoutMs_ = readMs;
    writeTimeoutMs_ = writeMs;
  }
  return s;
}

FT_STATUS FakePod::FT_Purge(FT_HANDLE, DWORD mask) {
  FT_STATUS s = Call("FT_Purge", Text({mask}));
  if (s == FT_OK) {
    ++purges;
    if (mask & FT_PURGE_RX) rx.clear();
    if (mask & FT_PURGE_TX) inbox_.clear();
  }
  return s;
}

FT_STATUS FakePod::FT_Write(FT_HANDLE, void* buffer, DWORD count, DWORD* written) {
  *written = 0;
  clock_.AdvanceUs(10);
  ++writes_;
  if (failWriteNumber && writes_ == failWriteNumber) return FT_IO_ERROR;
  if (fault == Fault::kStuckTxQueue) {
    clock_.AdvanceUs(uint64_t{writeTimeoutMs_} * 1000);
    return FT_OK;
  }
  DWORD n = writeChunk ? std::min<DWORD>(count, writeChunk) : count;
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  sent.insert(sent.end(), bytes, bytes + n);
  inbox_.insert(inbox_.end(), bytes, bytes + n);
  writeSizes.push_back(n);
  // Wire time: 10 bits per byte at 921600 baud.
  clock_.AdvanceUs(uint64_t{n} * 10 * 1000000 / 921600);
  *written = n;
  Parse();
  return FT_OK;
}

FT_STATUS FakePod::FT_Read(FT_HANDLE, void* buffer, DWORD count, DWORD* read) {
  *read = 0;
  clock_.AdvanceUs(10);
  if (fault == Fault::kStuckRxQueue || rx.empty()) {
    // A D2XX read blocks for its time-out when nothing arrives.
    if (count) clock_.AdvanceUs(uint64_t{readBlockMs ? readBlockMs : readTimeoutMs_} * 1000);
    return FT_OK;
  }
  DWORD n = std::min<DWORD>(count, static_cast<DWORD>(rx.size()));
  auto* out = static_cast<uint8_t*>(buffer);
  for (DWORD i = 0; i < n; ++i) {
    out[i] = rx.front();
    rx.pop_front();
  }
  *read = n;
  return FT_OK;
}

void FakePod::Reply(std::vector<uint8_t> bytes) {
  switch (fault) {
    case Fault::kSilent:
      return;
    case Fault::kShortReply:
      if (bytes.size() > shortBytes) bytes.resize(shortBytes);
      break;
    case Fault::kGarbage:
      for (uint8_t& b : bytes) b = static_cast<uint8_t>(b ^ 0x5A);
      break;
    default:
      break;
  }
  rx.insert(rx.end(), bytes.begin(), bytes.end());
}

// Consumes complete commands from the bytes received so far.
void FakePod::Parse() {
  size_t pos = 0;
  for (;;) {
    if (pos >= inbox_.size()) break;
    const uint8_t letter = inbox_[pos];
    const size_t left = inbox_.size() - pos;
    if (letter == 'S' || letter == 'V') {
      if (left < 9) break;
      PodCommand c{static_cast<char>(letter), 0, false};
      if (!ParseHex(&inbox_[pos + 1], 8, c.word)) {
        ++pos;  // the firmware drops what it does not understand
        continue;
      }
      pos += 9;
      commands.push_back(c);
      const uint32_t answer = target(c.word);
      if (letter == 'V') {
        const uint32_t w = pending_;
        Reply({static_cast<uint8_t>(w), static_cast<uint8_t>(w >> 8), static_cast<uint8_t>(w >> 16),
               static_cast<uint8_t>(w >> 24)});
      }
      pending_ = answer;
    } else if (letter == 'R') {
      PodCommand c{'R', 0, firmware >= 0x12};
      if (c.longReset) {
        if (left < 9) break;
        if (!ParseHex(&inbox_[pos + 1], 8, c.word)) {
          ++pos;
          continue;
        }
        pos += 9;
      } else {
        pos += 1;
      }
      commands.push_back(c);
      pending_ = 0;
      if (answerReset) Reply({'R'});
    } else if (letter == '?') {
      pos += 1;
      commands.push_back({'?', 0, false});
      Reply({'?', firmware});
    } else {
      ++pos;
    }
  }
  inbox_.erase(inbox_.begin(), inbox_.begin() + static_cast<ptrdiff_t>(pos));
}

uint32_t FlashLoaderModel::operator()(uint32_t word) {
  switch (mode) {
    case Mode::kCount:
      remaining = word;
      mode = Mode::kAddress;
      return 0;
    case Mode::kAddress:
      address = word;
      mode = remaining ? Mode::kData : Mode::kIdle;
      return 0;
    case Mode::kData:
      if (remaining == 0) {  // the closing 0 of a program command
        mode = Mode::kIdle;
        return 0;
      }
      // A page write replaces the page; programming only clears bits.
      flash[(address - base) / 4] = page ? word : Word((address - base) / 4) & word;
      address += 4;
      if (--remaining == 0 && page) mode = Mode::kIdle;
      return 0;
    case Mode::kCrcBytes: {
      mode = Mode::kIdle;
      crc = 0;
      for (uint32_t i = 0; i < word / 4; ++i) {
        const uint32_t w = Word((address - base) / 4 + i);
        const uint8_t bytes[4] = {uint8_t(w), uint8_t(w >> 8), uint8_t(w >> 16), uint8_t(w >> 24)};
        crc = Crc32(bytes, 4, crc);
      }
      return 0;
    }
    case Mode::kIdle:
      break;
  }
  const uint32_t tag = word & 0xFF000000;
  const uint32_t addr = word & 0x00FFFFFF;
  if (tag == 0xA5000000) return (std::min<uint32_t>(errors, 255) << 24) | addr;
  if (tag == 0xCC000000) {
    address = addr;
    mode = Mode::kCrcBytes;
    return 0;
  }
  if (tag == 0xCD000000) return crc;
  if (tag == 0xF0000000) {
    ++resets;
    return 0;
  }
  if (tag == 0xEE000000) {
    eraseActive = true;
    erased = false;
    pollsSeen = 0;
  } else if (tag == 0x88000000 || tag == 0x99000000) {
    eraseActive = false;
    page = tag == 0x99000000;
    mode = Mode::kCount;
  } else if (tag == 0x66000000 || tag == 0x77000000) {
    readTags.push_back(tag);
    if (!eraseActive || addr != base) return Word((addr - base) / 4);
    // Status polls after an erase command.
    if (!erased && !eraseNeverFinishes && !eraseFailsWithBit5 &&
        ++pollsSeen >= static_cast<uint32_t>(erasePolls)) {
      erased = true;
      flash.clear();
    }
    return erased ? 0x80 : eraseFailsWithBit5 ? 0x20 : 0x00;
  }
  return 0;
}

}  // namespace velmora::test
