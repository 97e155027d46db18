// The virtual board as a D2XX-style device: one pod described "USB POD" with
// the board behind it. Time runs either on a VirtualClock (tests: fully
// deterministic; a read that waits advances the clock) or on the steady clock
// with a board thread that keeps the target running at the chip's rate
// between commands and sleeps while the target idles.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "config/Clock.h"
#include "podlink/FtdiApi.h"
#include "sim/Board.h"
#include "sim/PodFirmware.h"

namespace velmora::sim {

class SimFtdiDevice : public FtdiApi {
 public:
  static constexpr const char* kDescription = "USB POD";
  static constexpr const char* kSerialNumber = "VSIM0001";
  // Bytes the chip and driver take before FT_Write has to wait for the wire.
  static constexpr size_t kTxBuffer = 384;
  // A read or write time-out of 0 (the chip's default, "wait for ever") is
  // capped so that nothing can hang.
  static constexpr uint32_t kMaxWaitMs = 10'000;

  // Virtual time on `clock`.
  SimFtdiDevice(std::unique_ptr<Board> board, const PodOptions& pod, VirtualClock& clock);
  // Real time: a board thread runs the target against the steady clock.
  SimFtdiDevice(std::unique_ptr<Board> board, const PodOptions& pod);
  ~SimFtdiDevice() override;

  // The board and the pod. In real-time mode hold Lock() while touching them.
  Board& TheBoard() { return *board_; }
  PodFirmware& Pod() { return pod_; }
  std::unique_lock<std::mutex> Lock() { return std::unique_lock<std::mutex>(mutex_); }
  // Runs the board up to the present.
  void Sync();
  // Board time now, in ns.
  uint64_t NowNs() const;

  // Fault injection: the pod disappears from the bus (calls fail with
  // FT_IO_ERROR / FT_DEVICE_NOT_FOUND) until plugged back.
  void SetUnplugged(bool unplugged);
  // Called (under the lock) when flash contents changed and the chip is idle;
  // real-time mode calls it at most about once a second, and always on close
  // and destruction.
  void SetPersistHook(std::function<void()> hook) { persist_ = std::move(hook); }

  // FtdiApi
  FT_STATUS FT_ListDevices(void* arg1, void* arg2, DWORD flags) override;
  FT_STATUS FT_OpenEx(void* arg, DWORD flags, FT_HANDLE* handle) override;
  FT_STATUS FT_Close(FT_HANDLE handle) override;
  FT_STATUS FT_ResetDevice(FT_HANDLE handle) override;
  FT_STATUS FT_GetLatencyTimer(FT_HANDLE handle, UCHAR* timer) override;
  FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, UCHAR timer) override;
  FT_STATUS FT_SetBaudRate(FT_HANDLE handle, DWORD baud) override;
  FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits,
                                      UCHAR parity) override;
  FT_STATUS FT_SetFlowControl(FT_HANDLE handle, USHORT flow, UCHAR xon, UCHAR xoff) override;
  FT_STATUS FT_SetTimeouts(FT_HANDLE handle, DWORD readMs, DWORD writeMs) override;
  FT_STATUS FT_Purge(FT_HANDLE handle, DWORD mask) override;
  FT_STATUS FT_Write(FT_HANDLE handle, void* buffer, DWORD count, DWORD* written) override;
  FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, DWORD count, DWORD* read) override;
  FT_STATUS FT_GetQueueStatus(FT_HANDLE handle, DWORD* rxBytes) override;
  FT_STATUS FT_GetStatus(FT_HANDLE handle, DWORD* rxBytes, DWORD* txBytes,
                         DWORD* eventStatus) override;

 private:
  struct InByte {
    uint64_t atNs;
    uint8_t byte;
  };
  FT_STATUS Check(FT_HANDLE handle) const;
  bool LineMatches() const;
  void SyncLocked(uint64_t nowNs);
  uint64_t NextEventLocked();
  // Bytes from the pod that the host can read now.
  size_t VisibleLocked(uint64_t nowNs);
  uint64_t NextVisibleNs();
  void WaitUntil(std::unique_lock<std::mutex>& lock, uint64_t ns);
  void ThreadMain();
  void PersistIfChanged(bool force);

  std::unique_ptr<Board> board_;
  PodFirmware pod_;
  VirtualClock* clock_ = nullptr;  // null: real time
  uint64_t originNs_ = 0;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::thread thread_;
  bool stop_ = false;

  bool open_ = false;
  bool unplugged_ = false;
  uint32_t baud_ = 9600;
  uint8_t wordLength_ = 8, stopBits_ = 0, parity_ = 0;
  uint8_t latencyMs_ = 16;
  uint32_t readTimeoutMs_ = 0, writeTimeoutMs_ = 0;
  std::deque<InByte> toPod_;  // on the wire towards the pod
  uint64_t wireFreeNs_ = 0;
  std::deque<uint8_t> rx_;  // in the chip/driver, visible to the host

  std::function<void()> persist_;
  uint64_t persistedGeneration_ = 0;
  uint64_t lastPersistNs_ = 0;
};

}  // namespace velmora::sim
