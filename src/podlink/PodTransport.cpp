// USB transport of the pod link: library, device search, open/configure,
// purge, close and the two transfers with their idle time-out.
#include <algorithm>
#include <cstring>

#include "podlink/PodLink.h"

namespace velmora {

CPodLink::CPodLink(DriverLoader loader, Clock& clock, MicroDelayer& delayer)
    : loader_(std::move(loader)), clock_(clock), delayer_(delayer) {
  loaders_ = ProductionFlashLoaders();
}

CPodLink::~CPodLink() {
  // Leave the device closed for the next program; failures cannot be reported
  // from here.
  if (open_) Close();
}

bool CPodLink::LoadDriver() {
  if (api_) return true;
  driverError_.clear();
  if (loader_) api_ = loader_(driverError_);
  return api_ != nullptr;
}

bool CPodLink::FindDevice() {
  if (!api_) {
    found_ = false;
    return false;
  }
  DWORD count = 0;
  FT_STATUS status = api_->FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY);
  if (status != FT_OK || count == 0) {
    std::memset(descriptionBuffer_, 0, sizeof descriptionBuffer_);
    description_.clear();
    found_ = false;
    return false;
  }
  for (DWORD index = 0; index < count; ++index) {
    status = api_->FT_ListDevices(reinterpret_cast<void*>(static_cast<uintptr_t>(index)),
                                  descriptionBuffer_, FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION);
    // A library that fills all 64 bytes leaves no terminator; never read past.
    descriptionBuffer_[sizeof descriptionBuffer_ - 1] = 0;
    if (status == FT_OK) {
      for (const char* accepted : kPodDescriptions) {
        if (std::strcmp(descriptionBuffer_, accepted) == 0) {
          description_ = descriptionBuffer_;
          found_ = true;
          return true;
        }
      }
    }
    std::memset(descriptionBuffer_, 0, sizeof descriptionBuffer_);
    description_.clear();
  }
  found_ = false;
  return false;
}

bool CPodLink::Open() {
  if (!api_ || !found_) return false;
  if (open_) return true;
  FT_HANDLE handle = nullptr;
  if (api_->FT_OpenEx(descriptionBuffer_, FT_OPEN_BY_DESCRIPTION, &handle) != FT_OK) {
    handle_ = nullptr;
    return false;
  }
  handle_ = handle;
  bool ok = api_->FT_ResetDevice(handle) == FT_OK;
  if (ok) {
    UCHAR latency = 0;
    ok = api_->FT_GetLatencyTimer(handle, &latency) == FT_OK;
    if (ok && latency != kPodLatencyMs)
      ok = api_->FT_SetLatencyTimer(handle, kPodLatencyMs) == FT_OK;
  }
  ok = ok && api_->FT_SetBaudRate(handle, kPodBaudRate) == FT_OK;
  ok = ok &&
       api_->FT_SetDataCharacteristics(handle, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE) == FT_OK;
  ok = ok && api_->FT_SetFlowControl(handle, FT_FLOW_NONE, 0, 0) == FT_OK;
  ok = ok && api_->FT_SetTimeouts(handle, kPodUsbTimeoutMs, kPodUsbTimeoutMs) == FT_OK;
  ok = ok && api_->FT_Purge(handle, FT_PURGE_RX | FT_PURGE_TX) == FT_OK;
  if (!ok) {
    api_->FT_Close(handle);
    handle_ = nullptr;
    return false;
  }
  open_ = true;
  return true;
}

bool CPodLink::Close() {
  if (!open_ || !handle_ || !api_) return true;
  // The last command written (a write's commit word, say) still has to leave
  // the chip.
  if (!Purge()) return false;
  if (api_->FT_Close(handle_) != FT_OK) return false;
  open_ = false;
  handle_ = nullptr;
  return true;
}

bool CPodLink::Purge() {
  if (!api_ || !handle_) return false;
  // A transmit purge discards what has not left the USB chip, so every byte
  // written must have had its time on the wire first.
  WaitForWire(kUsbFrameUs);
  return api_->FT_Purge(handle_, FT_PURGE_RX | FT_PURGE_TX) == FT_OK;
}

bool CPodLink::Discard() {
  if (!api_ || !handle_) return false;
  wireFreeUs_ = 0;
  return api_->FT_Purge(handle_, FT_PURGE_RX | FT_PURGE_TX) == FT_OK;
}

void CPodLink::NoteWritten(uint32_t bytes) {
  // The line takes the bytes one after another, none before it was handed
  // over; the moment the write returned is the latest that can be.
  const uint64_t now = clock_.NowUs();
  const uint64_t start = std::max(wireFreeUs_, now);
  wireFreeUs_ = start + (uint64_t{bytes} * kPodByteNs + 999) / 1000;
}

void CPodLink::WaitForWire(uint32_t marginUs) {
  if (wireFreeUs_ == 0) return;
  const uint64_t until = wireFreeUs_ + marginUs;
  // The clock decides, not the delay loop's own idea of a microsecond; no
  // wait lasts longer than a second (far more than any queue holds).
  const uint64_t limit = clock_.NowUs() + 1'000'000;
  int turns = 0;
  for (uint64_t now = clock_.NowUs(); now < until && now < limit && turns++ < 100'000;
       now = clock_.NowUs())
    delayer_.MicroDelay(static_cast<uint32_t>(std::min<uint64_t>(until - now, 100'000)));
}

bool CPodLink::WriteBytes(const uint8_t* buffer, uint32_t count, uint32_t idleLimitMs) {
  // FT_Write takes a non-const buffer but does not change it.
  return Transfer(true, const_cast<uint8_t*>(buffer), count, idleLimitMs);
}

bool CPodLink::ReadBytes(uint8_t* buffer, uint32_t count, uint32_t idleLimitMs) {
  return Transfer(false, buffer, count, idleLimitMs);
}

void CPodLink::WaitUntilSent(uint32_t idleLimitMs) {
  if (!api_ || !handle_) return;
  // The bytes written need their wire time whatever the library counts (the
  // chip's FIFO is in no count); a driver queue longer than that is waited
  // out on its own count.
  WaitForWire(0);
  constexpr uint32_t kByteNs = kPodByteNs;
  const uint32_t startMs = clock_.NowMs();
  for (;;) {
    DWORD rx = 0, tx = 0, event = 0;
    if (api_->FT_GetStatus(handle_, &rx, &tx, &event) != FT_OK || tx == 0) return;
    if (clock_.NowMs() - startMs >= idleLimitMs) return;
    delayer_.MicroDelay(static_cast<uint32_t>((uint64_t{tx} * kByteNs + 999) / 1000));
  }
}

// The caller's limit governs the wait for the first byte; once a byte has
// moved, kTransferTrailingIdleMs of silence with an empty library queue ends
// the transfer. A queue that never empties while nothing moves would wait for
// ever, so every transfer is also bounded as a whole.
bool CPodLink::Transfer(bool write, uint8_t* buffer, uint32_t count, uint32_t idleLimitMs) {
  if (!api_ || !handle_) return false;
  auto call = [&](uint32_t offset, DWORD& moved) {
    moved = 0;
    FT_STATUS status = write ? api_->FT_Write(handle_, buffer + offset, count - offset, &moved)
                             : api_->FT_Read(handle_, buffer + offset, count - offset, &moved);
    if (moved > count - offset) moved = count - offset;  // never trust a count past the buffer
    return status == FT_OK;
  };

  const uint32_t startMs = clock_.NowMs();
  const uint32_t overallLimitMs = idleLimitMs + kTransferOverallMarginMs;
  uint32_t total = 0;
  uint32_t limit = idleLimitMs;
  bool idle = false;
  uint32_t idleStart = 0;
  DWORD moved = 0;
  auto callAndNote = [&](uint32_t offset, DWORD& m) {
    const bool ok = call(offset, m);
    if (write && m > 0) NoteWritten(m);
    return ok;
  };
  if (count > 0 && !callAndNote(0, moved)) return false;
  for (;;) {
    bool idleExpired = false;
    if (moved > 0) {
      total += moved;
      idle = false;
      limit = kTransferTrailingIdleMs;
    } else if (!idle) {
      idle = true;
      idleStart = clock_.NowMs();
    } else {
      idleExpired = clock_.NowMs() - idleStart >= limit;
    }
    const bool done = total >= count;
    if (done) return true;
    DWORD queued = 0;
    if (write) {
      DWORD rx = 0, event = 0;
      api_->FT_GetStatus(handle_, &rx, &queued, &event);
    } else {
      api_->FT_GetQueueStatus(handle_, &queued);
    }
    if (queued == 0 && idleExpired) return false;
    if (clock_.NowMs() - startMs >= overallLimitMs) return false;
    if (!callAndNote(total, moved)) return false;
  }
}

}  // namespace velmora
