#include "sim/SimFtdiDevice.h"

#include <algorithm>
#include <chrono>
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

bool SimFtdiDevice::LineMatches() const {
  const PodOptions& o = pod_.Options();
  return baud_ == o.baud && wordLength_ == FT_BITS_8 && stopBits_ == FT_STOP_BITS_1 &&
         parity_ == FT_PARITY_NONE;
}

void SimFtdiDevice::SyncLocked(uint64_t nowNs) {
  for (;;) {
    uint64_t t = toPod_.empty() ? UINT64_MAX : toPod_.front().atNs;
    t = std::min(t, pod_.NextEventNs());
    if (t > nowNs) break;
    board_->RunUntilNs(t);
    pod_.Process(t);
    while (!toPod_.empty() && toPod_.front().atNs <= t) {
      const InByte b = toPod_.front();
      toPod_.pop_front();
      pod_.ByteFromHost(b.byte, b.atNs);
    }
  }
  board_->RunUntilNs(nowNs);
  pod_.Process(nowNs);
  VisibleLocked(nowNs);
  PersistIfChanged(false);
}

size_t SimFtdiDevice::VisibleLocked(uint64_t nowNs) {
  // The chip hands received bytes to the host when its latency timer runs out.
  const uint64_t latency = uint64_t{latencyMs_} * kMs;
  auto& up = pod_.Uplink();
  while (!up.empty() && up.front().atNs + latency <= nowNs) {
    if (open_ && LineMatches()) rx_.push_back(up.front().byte);  // else: framing errors
    up.pop_front();
  }
  return rx_.size();
}

uint64_t SimFtdiDevice::NextVisibleNs() {
  uint64_t next = UINT64_MAX;
  const auto& up = pod_.Uplink();
  if (!up.empty()) next = up.front().atNs + uint64_t{latencyMs_} * kMs;
  if (!toPod_.empty()) next = std::min(next, toPod_.front().atNs);
  next = std::min(next, pod_.NextEventNs());
  next = std::min(next, board_->NextEventNs());
  return next;
}

uint64_t SimFtdiDevice::NextEventLocked() {
  return NextVisibleNs();
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
  baud_ = 9600;
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
  SyncLocked(NowNs());
  rx_.clear();
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
  if (baud < 300 || baud > 3'000'000) return FT_INVALID_PARAMETER;
  baud_ = baud;
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
  if (mask & FT_PURGE_RX) {
    rx_.clear();
    // Bytes already in the chip but not yet handed over go too.
    auto& up = pod_.Uplink();
    while (!up.empty() && up.front().atNs <= now) up.pop_front();
  }
  // FT_PURGE_TX: a write returns once the chip holds the bytes, and what the
  // chip holds goes out; there is nothing left to discard.
  return FT_OK;
}

FT_STATUS SimFtdiDevice::FT_Write(FT_HANDLE handle, void* buffer, DWORD count, DWORD* written) {
  std::unique_lock lock(mutex_);
  if (const FT_STATUS s = Check(handle); s != FT_OK) return s;
  if (!written || (!buffer && count)) return FT_INVALID_PARAMETER;
  const uint64_t now = NowNs();
  SyncLocked(now);
  const unsigned bits = 1 + wordLength_ + (stopBits_ == 2 ? 2 : 1) + (parity_ ? 1 : 0);
  const uint64_t byteNs = uint64_t{bits} * 1'000'000'000ull / baud_;
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  const bool clean = LineMatches();
  for (DWORD i = 0; i < count; ++i) {
    wireFreeNs_ = std::max(wireFreeNs_, now) + byteNs;
    if (clean) toPod_.push_back(InByte{wireFreeNs_, bytes[i]});
  }
  *written = count;
  wake_.notify_all();
  // The chip's buffer is finite: a long backlog makes the write wait for the wire.
  const uint64_t room = kTxBuffer * byteNs;
  if (wireFreeNs_ > now + room) {
    WaitUntil(lock, wireFreeNs_ - room);
    SyncLocked(NowNs());
  }
  return FT_OK;
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
  if (txBytes) {
    const uint64_t byteNs = 10'000'000'000ull / baud_;
    *txBytes =
        wireFreeNs_ > now ? static_cast<DWORD>((wireFreeNs_ - now + byteNs - 1) / byteNs) : 0;
  }
  if (eventStatus) *eventStatus = 0;
  return FT_OK;
}

}  // namespace velmora::sim
