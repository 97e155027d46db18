#include "sim/SimFtdiDevice.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace velmora::sim {
namespace {

uint64_t SteadyNs() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

constexpr uint64_t kMs = 1'000'000;

}  // namespace

SimFtdiDevice::SimFtdiDevice(std::unique_ptr<Board> board, const PodOptions& pod,
                             VirtualClock& clock)
    : board_(std::move(board)), pod_(*board_, pod), clock_(&clock) {
  // Device time continues the board's own (a board may have run before the
  // host opened it); the unsigned difference wraps consistently.
  originNs_ = clock.NowUs() * 1000 - board_->NowNs();
  persistedGeneration_ = board_->Flash().Generation();
}

SimFtdiDevice::SimFtdiDevice(std::unique_ptr<Board> board, const PodOptions& pod)
    : board_(std::move(board)), pod_(*board_, pod) {
  originNs_ = SteadyNs() - board_->NowNs();
  persistedGeneration_ = board_->Flash().Generation();
  thread_ = std::thread([this] { ThreadMain(); });
}

SimFtdiDevice::~SimFtdiDevice() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(mutex_);
  PersistIfChanged(true);
}

uint64_t SimFtdiDevice::NowNs() const {
  if (clock_) return clock_->NowUs() * 1000 - originNs_;
  return SteadyNs() - originNs_;
}

void SimFtdiDevice::Sync() {
  std::lock_guard lock(mutex_);
  SyncLocked(NowNs());
}

void SimFtdiDevice::SetUnplugged(bool unplugged) {
  std::lock_guard lock(mutex_);
  unplugged_ = unplugged;
}

double SimFtdiDevice::ChipBaud(uint32_t requested) {
  if (requested == 0) return 0;
  // 3 MHz divided by n + k/8 (n from 2 to 16384), or the two special
  // divisors 0 and 1 (3 and 2 Mbaud); the closest.
  constexpr double kReference = 3'000'000.0;
  const double eighths = std::clamp(std::round(kReference * 8 / requested), 16.0, 16384.0 * 8 + 7);
  double best = kReference * 8 / eighths;
  for (const double special : {3'000'000.0, 2'000'000.0})
    if (std::abs(special - requested) < std::abs(best - requested)) best = special;
  return best;
}

bool SimFtdiDevice::LineMatches() const {
  // Both ends' rates may differ by the 3 % a UART link tolerates.
  const PodOptions& o = pod_.Options();
  return std::abs(lineBaud_ - o.baud) <= 0.03 * o.baud && wordLength_ == FT_BITS_8 &&
         stopBits_ == FT_STOP_BITS_1 && parity_ == FT_PARITY_NONE;
}

uint64_t SimFtdiDevice::ByteNsLocked() const {
  const unsigned bits = 1 + wordLength_ + (stopBits_ == 2 ? 2 : 1) + (parity_ ? 1 : 0);
  return static_cast<uint64_t>(bits * 1e9 / lineBaud_);
}

void SimFtdiDevice::SyncLocked(uint64_t nowNs) {
  for (;;) {
    uint64_t t = toPod_.empty() ? UINT64_MAX : toPod_.front().endNs;
    t = std::min(t, pod_.NextEventNs());
    if (t > nowNs) break;
    board_->RunUntilNs(t);
    pod_.Process(t);
    while (!toPod_.empty() && toPod_.front().endNs <= t) {
      const WireByte b = toPod_.front();
      toPod_.pop_front();
      if (!b.garbled) pod_.ByteFromHost(b.byte, b.endNs);
    }
  }
  board_->RunUntilNs(nowNs);
  pod_.Process(nowNs);
  if (driverPolls_)
    DeliverPacketsLocked(nowNs);
  else
    DropOverrunLocked(nowNs);
  PersistIfChanged(false);
}

size_t SimFtdiDevice::ArrivedLocked(uint64_t t) const {
  size_t n = 0;
  for (const auto& b : pod_.Uplink()) {
    if (b.atNs > t) break;
    ++n;
  }
  return n;
}

void SimFtdiDevice::DropOverrunLocked(uint64_t t) {
  // Bytes that arrive while the USB-side FIFO is full are lost (no flow
  // control on the pod's line).
  const size_t arrived = ArrivedLocked(t);
  if (arrived <= kChipToUsbFifo) return;
  auto& up = pod_.Uplink();
  up.erase(up.begin() + kChipToUsbFifo, up.begin() + static_cast<ptrdiff_t>(arrived));
  overrunBytes_ += arrived - kChipToUsbFifo;
  overrun_ = true;
}

void SimFtdiDevice::TakePacketLocked(uint64_t atNs, std::vector<uint8_t>* raw) {
  const size_t n = std::min(kPacketData, ArrivedLocked(atNs));
  auto& up = pod_.Uplink();
  if (raw) {
    // Modem status (bit 0 always set) and line status: THRE and TEMT while
    // nothing waits for the wire, OE once after lost bytes.
    raw->push_back(0x01);
    uint8_t line = NotStartedLocked(atNs) == 0 ? 0x60 : 0x00;
    if (overrun_) line |= 0x02;
    raw->push_back(line);
  }
  overrun_ = false;
  const bool clean = open_ && LineMatches();  // else: framing errors, nothing usable
  for (size_t i = 0; i < n; ++i) {
    if (raw)
      raw->push_back(up.front().byte);
    else if (clean)
      rx_.push_back(up.front().byte);
    up.pop_front();
  }
  lastPacketNs_ = atNs;
}

uint64_t SimFtdiDevice::NextDataPacketNs() const {
  const auto& up = pod_.Uplink();
  if (up.empty()) return UINT64_MAX;
  const uint64_t latency = uint64_t{latencyMs_} * kMs;
  // The first latency tick after the first byte arrived, or the moment a
  // packet's worth is waiting, whichever comes first.
  const uint64_t front = up.front().atNs;
  uint64_t ticks = front > lastPacketNs_ ? (front - lastPacketNs_ + latency - 1) / latency : 1;
  if (ticks == 0) ticks = 1;
  uint64_t next = lastPacketNs_ + ticks * latency;
  if (up.size() >= kPacketData)
    next = std::min(next, std::max(up[kPacketData - 1].atNs, lastPacketNs_));
  return next;
}

void SimFtdiDevice::DeliverPacketsLocked(uint64_t nowNs) {
  const uint64_t latency = uint64_t{latencyMs_} * kMs;
  for (;;) {
    const uint64_t next = NextDataPacketNs();
    if (next > nowNs) break;
    DropOverrunLocked(next);
    TakePacketLocked(next, nullptr);
  }
  // Status-only packets keep the timer's rhythm while nothing arrives.
  if (nowNs > lastPacketNs_) {
    const auto& up = pod_.Uplink();
    const uint64_t limit = up.empty() ? nowNs : std::min(nowNs, up.front().atNs);
    if (limit > lastPacketNs_) lastPacketNs_ += (limit - lastPacketNs_) / latency * latency;
  }
}

uint64_t SimFtdiDevice::NextVisibleNs() {
  uint64_t next = driverPolls_ ? NextDataPacketNs() : UINT64_MAX;
  if (!toPod_.empty()) next = std::min(next, toPod_.front().endNs);
  next = std::min(next, pod_.NextEventNs());
  next = std::min(next, board_->NextEventNs());
  return next;
}

uint64_t SimFtdiDevice::NextEventLocked() {
  return NextVisibleNs();
}

size_t SimFtdiDevice::NotStartedLocked(uint64_t nowNs) const {
  size_t n = 0;
  for (auto it = toPod_.rbegin(); it != toPod_.rend() && it->startNs > nowNs; ++it) ++n;
  return n;
}

void SimFtdiDevice::PurgeWireSideLocked(uint64_t nowNs) {
  // What has not started on the line goes, in the driver's queue and in the
  // chip's FIFO alike; the byte in the shift register finishes.
  while (!toPod_.empty() && toPod_.back().startNs > nowNs) toPod_.pop_back();
  wireFreeNs_ = toPod_.empty() ? std::min(wireFreeNs_, nowNs) : toPod_.back().endNs;
}

void SimFtdiDevice::PurgeUsbSideLocked(uint64_t nowNs) {
  rx_.clear();
  auto& up = pod_.Uplink();
  while (!up.empty() && up.front().atNs <= nowNs) up.pop_front();
  overrun_ = false;
}

bool SimFtdiDevice::WriteLocked(std::unique_lock<std::mutex>& lock, const uint8_t* bytes,
                                size_t count, size_t ahead, uint32_t timeoutMs, size_t* accepted) {
  const uint64_t now = NowNs();
  SyncLocked(now);
  const uint64_t byteNs = ByteNsLocked();
  const bool garbled = !LineMatches();
  for (size_t i = 0; i < count; ++i) {
    const uint64_t start = std::max(wireFreeNs_, now);
    wireFreeNs_ = start + byteNs;
    toPod_.push_back(WireByte{start, wireFreeNs_, bytes[i], garbled});
  }
  *accepted = count;
  wake_.notify_all();
  // The queue in front of the line is finite: the write waits until the
  // bytes beyond it have started.
  const size_t waiting = NotStartedLocked(now);
  if (waiting <= ahead) return true;
  const uint64_t until = toPod_[toPod_.size() - ahead - 1].startNs;
  const uint64_t deadline =
      now + uint64_t{timeoutMs ? std::min(timeoutMs, kMaxWaitMs) : kMaxWaitMs} * kMs;
  if (until <= deadline) {
    WaitUntil(lock, until);
    SyncLocked(NowNs());
    return true;
  }
  WaitUntil(lock, deadline);
  const uint64_t t = NowNs();
  SyncLocked(t);
  // Bytes that did not get into the queue by the deadline were never taken.
  const size_t notIn = NotStartedLocked(t) > ahead ? NotStartedLocked(t) - ahead : 0;
  for (size_t i = 0; i < notIn && !toPod_.empty(); ++i) toPod_.pop_back();
  wireFreeNs_ = toPod_.empty() ? t : toPod_.back().endNs;
  *accepted = count - std::min(notIn, count);
  return false;
}

void SimFtdiDevice::WaitUntil(std::unique_lock<std::mutex>& lock, uint64_t ns) {
  if (clock_) {
    const uint64_t now = NowNs();
    if (ns > now) clock_->AdvanceUs((ns - now + 999) / 1000);
    return;
  }
  wake_.wait_until(lock,
                   std::chrono::steady_clock::time_point(std::chrono::nanoseconds(originNs_ + ns)));
}

void SimFtdiDevice::PersistIfChanged(bool force) {
  if (!persist_) return;
  FlashChip& chip = board_->Flash();
  if (force) {
    // Closing: the board stays powered while the chip finishes what it has
    // started (the page write cycle that follows a program's last page, a
    // byte program, an erase), so that work is saved, not dropped.
    for (int i = 0; i < 8 && chip.Busy(); ++i) {
      const uint64_t next = chip.NextEventNs();
      if (next == UINT64_MAX) break;
      chip.Update(next);
    }
  }
  if (chip.Generation() == persistedGeneration_ || (chip.Busy() && !force)) return;
  const uint64_t now = NowNs();
  if (!force && now < lastPersistNs_ + 1000 * kMs) return;
  persist_();
  persistedGeneration_ = chip.Generation();
  lastPersistNs_ = now;
}

void SimFtdiDevice::ThreadMain() {
  std::unique_lock lock(mutex_);
  while (!stop_) {
    const uint64_t before = board_->CpuCore().Instructions();
    const uint64_t now = NowNs();
    // Catch up in slices of a few milliseconds of target time, letting the
    // host's calls in between, so that a target slower than real time never
    // locks the host out.
    while (!stop_ && board_->NowNs() + 4 * kMs < now) {
      SyncLocked(board_->NowNs() + 4 * kMs);
      lock.unlock();
      std::this_thread::yield();
      lock.lock();
    }
    SyncLocked(std::max(now, board_->NowNs()));
    const bool active = board_->CpuCore().Instructions() != before;
    const uint64_t after = NowNs();
    // A running target is followed in small steps; an idle one sleeps until
    // its next event or the host's next bytes.
    uint64_t wake = active ? after + kMs : std::min(NextEventLocked(), after + 200 * kMs);
    if (wake <= after) wake = after + 100'000;
    wake_.wait_until(
        lock, std::chrono::steady_clock::time_point(std::chrono::nanoseconds(originNs_ + wake)));
  }
}

FT_STATUS SimFtdiDevice::Check(FT_HANDLE handle) const {
  if (handle != static_cast<const void*>(this) || !open_) return FT_INVALID_HANDLE;
  if (unplugged_) return FT_IO_ERROR;
  return FT_OK;
}

FT_STATUS SimFtdiDevice::FT_ListDevices(void* arg1, void* arg2, DWORD flags) {
  std::lock_guard lock(mutex_);
  const DWORD present = unplugged_ ? 0 : 1;
  if (flags & FT_LIST_NUMBER_ONLY) {
    if (!arg1) return FT_INVALID_PARAMETER;
    *static_cast<DWORD*>(arg1) = present;
    return FT_OK;
  }
  const char* text = (flags & FT_OPEN_BY_DESCRIPTION) ? kDescription : kSerialNumber;
  if (flags & FT_LIST_BY_INDEX) {
    const auto index = static_cast<DWORD>(reinterpret_cast<uintptr_t>(arg1));
    if (!arg2) return FT_INVALID_PARAMETER;
    if (index >= present) return FT_DEVICE_NOT_FOUND;
    std::strncpy(static_cast<char*>(arg2), text, 63);
    static_cast<char*>(arg2)[63] = 0;
    return FT_OK;
  }
  if (flags & FT_LIST_ALL) {
    // arg1: array of buffer pointers (null-terminated), arg2: the count.
    if (!arg1 || !arg2) return FT_INVALID_PARAMETER;
    char** buffers = static_cast<char**>(arg1);
    if (present && buffers[0]) {
      std::strncpy(buffers[0], text, 63);
      buffers[0][63] = 0;
    }
    *static_cast<DWORD*>(arg2) = present;
    return FT_OK;
  }
  return FT_INVALID_PARAMETER;
}

FT_STATUS SimFtdiDevice::FT_OpenEx(void* arg, DWORD flags, FT_HANDLE* handle) {
  std::lock_guard lock(mutex_);
  if (!handle || !arg) return FT_INVALID_PARAMETER;
  *handle = nullptr;
  if (unplugged_) return FT_DEVICE_NOT_FOUND;
  const char* want = static_cast<const char*>(arg);
  const bool match = (flags == FT_OPEN_BY_DESCRIPTION && std::strcmp(want, kDescription) == 0) ||
                     (flags == FT_OPEN_BY_SERIAL_NUMBER && std::strcmp(want, kSerialNumber) == 0);
  if (!match) return FT_DEVICE_NOT_FOUND;
  if (open_) return FT_DEVICE_NOT_OPENED;  // already in use
  SyncLocked(NowNs());
  open_ = true;
  driverPolls_ = true;
  lastPacketNs_ = NowNs();
  lineBaud_ = 9600;
  wordLength_ = 8;
  stopBits_ = FT_STOP_BITS_1;
  parity_ = FT_PARITY_NONE;
  latencyMs_ = 16;
  readTimeoutMs_ = writeTimeoutMs_ = 0;
  rx_.clear();
  *handle = this;
  return FT_OK;
}

FT_STATUS SimFtdiDevice::FT_Close(FT_HANDLE handle) {
  std::lock_guard lock(mutex_);
  if (handle != this || !open_) return FT_INVALID_HANDLE;
  SyncLocked(NowNs());
  open_ = false;
  rx_.clear();
  PersistIfChanged(true);
  return FT_OK;
}

FT_STATUS SimFtdiDevice::FT_ResetDevice(FT_HANDLE handle) {
  std::lock_guard lock(mutex_);
  if (const FT_STATUS s = Check(handle); s != FT_OK) return s;
  const uint64_t now = NowNs();
  SyncLocked(now);
  PurgeUsbSideLocked(now);
  PurgeWireSideLocked(now);
  return FT_OK;
}

FT_STATUS SimFtdiDevice::FT_GetLatencyTimer(FT_HANDLE handle, UCHAR* timer) {
  std::lock_guard lock(mutex_);
  if (const FT_STATUS s = Check(handle); s != FT_OK) return s;
  if (!timer) return FT_INVALID_PARAMETER;
  *timer = latencyMs_;
  return FT_OK;
}

FT_STATUS SimFtdiDevice::FT_SetLatencyTimer(FT_HANDLE handle, UCHAR timer) {
  std::lock_guard lock(mutex_);
  if (const FT_STATUS s = Check(handle); s != FT_OK) return s;
  if (timer < 1) return FT_INVALID_PARAMETER;
  latencyMs_ = timer;
  return FT_OK;
}

FT_STATUS SimFtdiDevice::FT_SetBaudRate(FT_HANDLE handle, DWORD baud) {
  std::lock_guard lock(mutex_);
  if (const FT_STATUS s = Check(handle); s != FT_OK) return s;
  // The driver takes the nearest divisor only within 3 % of the rate.
  const double chip = ChipBaud(baud);
  if (baud == 0 || std::abs(chip - baud) > 0.03 * baud) return FT_INVALID_PARAMETER;
  SyncLocked(NowNs());
  lineBaud_ = chip;
  return FT_OK;
}

FT_STATUS SimFtdiDevice::FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength,
                                                   UCHAR stopBits, UCHAR parity) {
  std::lock_guard lock(mutex_);
  if (const FT_STATUS s = Check(handle); s != FT_OK) return s;
  if ((wordLength != 7 && wordLength != 8) || stopBits > 2 || parity > 4)
    return FT_INVALID_PARAMETER;
  wordLength_ = wordLength;
  stopBits_ = stopBits;
  parity_ = parity;
  return FT_OK;
}

FT_STATUS SimFtdiDevice::FT_SetFlowControl(FT_HANDLE handle, USHORT, UCHAR, UCHAR) {
  std::lock_guard lock(mutex_);
  return Check(handle);
}

FT_STATUS SimFtdiDevice::FT_SetTimeouts(FT_HANDLE handle, DWORD readMs, DWORD writeMs) {
  std::lock_guard lock(mutex_);
  if (const FT_STATUS s = Check(handle); s != FT_OK) return s;
  readTimeoutMs_ = readMs;
  writeTimeoutMs_ = writeMs;
  return FT_OK;
}

FT_STATUS SimFtdiDevice::FT_Purge(FT_HANDLE handle, DWORD mask) {
  std::lock_guard lock(mutex_);
  if (const FT_STATUS s = Check(handle); s != FT_OK) return s;
  const uint64_t now = NowNs();
  SyncLocked(now);
  // Both the driver's queue and the chip's FIFO, on either side.
  if (mask & FT_PURGE_RX) PurgeUsbSideLocked(now);
  if (mask & FT_PURGE_TX) PurgeWireSideLocked(now);
  return FT_OK;
}

FT_STATUS SimFtdiDevice::FT_Write(FT_HANDLE handle, void* buffer, DWORD count, DWORD* written) {
  std::unique_lock lock(mutex_);
  if (const FT_STATUS s = Check(handle); s != FT_OK) return s;
  if (!written || (!buffer && count)) return FT_INVALID_PARAMETER;
  size_t accepted = 0;
  const bool ok = WriteLocked(lock, static_cast<const uint8_t*>(buffer), count, kTxBuffer,
                              writeTimeoutMs_, &accepted);
  *written = static_cast<DWORD>(accepted);
  return ok ? FT_OK : FT_IO_ERROR;
}

FT_STATUS SimFtdiDevice::FT_Read(FT_HANDLE handle, void* buffer, DWORD count, DWORD* read) {
  std::unique_lock lock(mutex_);
  if (const FT_STATUS s = Check(handle); s != FT_OK) return s;
  if (!read || (!buffer && count)) return FT_INVALID_PARAMETER;
  *read = 0;
  const uint32_t timeoutMs = readTimeoutMs_ ? std::min(readTimeoutMs_, kMaxWaitMs) : kMaxWaitMs;
  const uint64_t deadline = NowNs() + uint64_t{timeoutMs} * kMs;
  for (;;) {
    const uint64_t now = NowNs();
    SyncLocked(now);
    if (rx_.size() >= count || now >= deadline || stop_ || !open_) break;
    uint64_t next = std::min(deadline, NextVisibleNs());
    if (next <= now) next = now + 1000;
    WaitUntil(lock, next);
  }
  if (unplugged_ || !open_) return FT_IO_ERROR;
  const DWORD n = static_cast<DWORD>(std::min<size_t>(count, rx_.size()));
  auto* out = static_cast<uint8_t*>(buffer);
  for (DWORD i = 0; i < n; ++i) {
    out[i] = rx_.front();
    rx_.pop_front();
  }
  *read = n;
  return FT_OK;
}

FT_STATUS SimFtdiDevice::FT_GetQueueStatus(FT_HANDLE handle, DWORD* rxBytes) {
  std::lock_guard lock(mutex_);
  if (const FT_STATUS s = Check(handle); s != FT_OK) return s;
  if (!rxBytes) return FT_INVALID_PARAMETER;
  SyncLocked(NowNs());
  *rxBytes = static_cast<DWORD>(rx_.size());
  return FT_OK;
}

FT_STATUS SimFtdiDevice::FT_GetStatus(FT_HANDLE handle, DWORD* rxBytes, DWORD* txBytes,
                                      DWORD* eventStatus) {
  std::lock_guard lock(mutex_);
  if (const FT_STATUS s = Check(handle); s != FT_OK) return s;
  const uint64_t now = NowNs();
  SyncLocked(now);
  if (rxBytes) *rxBytes = static_cast<DWORD>(rx_.size());
  // The driver counts its own queue only, not the chip's FIFO.
  if (txBytes) {
    const size_t waiting = NotStartedLocked(now);
    *txBytes = static_cast<DWORD>(waiting > kChipToWireFifo ? waiting - kChipToWireFifo : 0);
  }
  if (eventStatus) *eventStatus = 0;
  return FT_OK;
}

// --- Raw USB ---------------------------------------------------------------

bool SimFtdiDevice::Present() const {
  std::lock_guard lock(mutex_);
  return !unplugged_;
}

uint64_t SimFtdiDevice::OverrunBytes() const {
  std::lock_guard lock(mutex_);
  return overrunBytes_;
}

int SimFtdiDevice::UsbOpen() {
  std::lock_guard lock(mutex_);
  if (unplugged_) return kUsbNoDevice;
  if (open_) return kUsbBusy;
  const uint64_t now = NowNs();
  SyncLocked(now);
  open_ = true;
  driverPolls_ = false;
  lineBaud_ = 9600;
  wordLength_ = 8;
  stopBits_ = FT_STOP_BITS_1;
  parity_ = FT_PARITY_NONE;
  latencyMs_ = 16;
  lastPacketNs_ = now;
  rx_.clear();
  return kUsbOk;
}

void SimFtdiDevice::UsbClose() {
  std::lock_guard lock(mutex_);
  if (!open_ || driverPolls_) return;
  SyncLocked(NowNs());
  open_ = false;
  driverPolls_ = true;
  PersistIfChanged(true);
}

int SimFtdiDevice::UsbBulkOut(const uint8_t* bytes, size_t count, uint32_t timeoutMs,
                              size_t* done) {
  std::unique_lock lock(mutex_);
  *done = 0;
  if (!open_ || driverPolls_ || unplugged_) return kUsbNoDevice;
  return WriteLocked(lock, bytes, count, kChipToWireFifo, timeoutMs, done) ? kUsbOk : kUsbTimeout;
}

int SimFtdiDevice::UsbBulkIn(uint8_t* buffer, size_t capacity, uint32_t timeoutMs, size_t* got) {
  std::unique_lock lock(mutex_);
  *got = 0;
  if (!open_ || driverPolls_ || unplugged_) return kUsbNoDevice;
  const uint64_t latency = uint64_t{latencyMs_} * kMs;
  const uint64_t deadline =
      NowNs() + uint64_t{timeoutMs ? std::min(timeoutMs, kMaxWaitMs) : kMaxWaitMs} * kMs;
  std::vector<uint8_t> raw;
  for (;;) {
    if (stop_ || !open_ || unplugged_) return kUsbNoDevice;
    const uint64_t now = NowNs();
    SyncLocked(now);
    if (capacity - raw.size() < kUsbPacket) break;  // the transfer is full
    const size_t arrived = ArrivedLocked(now);
    if (arrived >= kPacketData) {
      TakePacketLocked(now, &raw);  // a full packet does not end the transfer
      continue;
    }
    if (now >= lastPacketNs_ + latency) {
      TakePacketLocked(now, &raw);  // the short packet ends it
      break;
    }
    if (now >= deadline) {
      std::memcpy(buffer, raw.data(), raw.size());
      *got = raw.size();
      return kUsbTimeout;
    }
    const auto& up = pod_.Uplink();
    uint64_t next = std::min({lastPacketNs_ + latency, deadline, NextEventLocked()});
    for (size_t i = arrived; i < up.size() && i < kPacketData; ++i)
      next = std::min(next, up[i].atNs);
    if (next <= now) next = now + 1000;
    WaitUntil(lock, next);
  }
  std::memcpy(buffer, raw.data(), raw.size());
  *got = raw.size();
  return kUsbOk;
}

int SimFtdiDevice::UsbReset() {
  return UsbPurge(true, true);
}

int SimFtdiDevice::UsbPurge(bool usbSide, bool wireSide) {
  std::lock_guard lock(mutex_);
  if (!open_ || driverPolls_ || unplugged_) return kUsbNoDevice;
  const uint64_t now = NowNs();
  SyncLocked(now);
  if (usbSide) PurgeUsbSideLocked(now);
  if (wireSide) PurgeWireSideLocked(now);
  return kUsbOk;
}

int SimFtdiDevice::UsbSetBaud(uint32_t baud) {
  std::lock_guard lock(mutex_);
  if (!open_ || driverPolls_ || unplugged_) return kUsbNoDevice;
  if (baud == 0) return kUsbIoError;
  const double chip = ChipBaud(baud);
  SyncLocked(NowNs());
  lineBaud_ = chip;
  return kUsbOk;
}

int SimFtdiDevice::UsbSetLine(uint8_t wordLength, uint8_t stopBits, uint8_t parity) {
  std::lock_guard lock(mutex_);
  if (!open_ || driverPolls_ || unplugged_) return kUsbNoDevice;
  SyncLocked(NowNs());
  wordLength_ = wordLength;
  stopBits_ = stopBits;
  parity_ = parity;
  return kUsbOk;
}

int SimFtdiDevice::UsbSetLatency(uint8_t ms) {
  std::lock_guard lock(mutex_);
  if (!open_ || driverPolls_ || unplugged_) return kUsbNoDevice;
  if (ms < 1) return kUsbIoError;
  SyncLocked(NowNs());
  latencyMs_ = ms;
  return kUsbOk;
}

int SimFtdiDevice::UsbGetLatency(uint8_t* ms) {
  std::lock_guard lock(mutex_);
  if (!open_ || driverPolls_ || unplugged_) return kUsbNoDevice;
  *ms = latencyMs_;
  return kUsbOk;
}

}  // namespace velmora::sim
