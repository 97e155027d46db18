// The virtual board behind the pod's USB chip, an FT232R: the chip's two
// FIFOs, its UART at the baud rate, and its USB packets (64 bytes, the first
// two the modem and line status) sent when 62 data bytes are waiting or the
// latency timer runs out. Two ways in: the D2XX-style calls (a driver that
// polls the chip all the time and queues what the host writes), and the raw
// USB transfers and requests a libusb-based library makes (UsbBulkIn, ...).
// Time runs either on a VirtualClock (tests: fully deterministic; a read that
// waits advances the clock) or on the steady clock with a board thread that
// keeps the target running at the chip's rate between commands and sleeps
// while the target idles.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "config/Clock.h"
#include "podlink/FtdiApi.h"
#include "sim/Board.h"
#include "sim/PodFirmware.h"

namespace velmora::sim {

class SimFtdiDevice : public FtdiApi {
 public:
  static constexpr const char* kDescription = "USB POD";
  static constexpr const char* kSerialNumber = "VSIM0001";
  // The chip's FIFO towards the serial line (its "RX buffer", named from the
  // USB side) and towards USB (its "TX buffer").
  static constexpr size_t kChipToWireFifo = 256;
  static constexpr size_t kChipToUsbFifo = 128;
  // A full-speed bulk packet and the status bytes that open each one.
  static constexpr size_t kUsbPacket = 64;
  static constexpr size_t kPacketData = kUsbPacket - 2;
  // Bytes the driver queues in front of the chip before FT_Write has to wait
  // for the wire.
  static constexpr size_t kDriverTxQueue = 128;
  static constexpr size_t kTxBuffer = kChipToWireFifo + kDriverTxQueue;
  // libusb's results the raw calls give.
  static constexpr int kUsbOk = 0;
  static constexpr int kUsbIoError = -1;
  static constexpr int kUsbBusy = -6;
  static constexpr int kUsbTimeout = -7;
  static constexpr int kUsbNoDevice = -4;
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

  // Raw USB, as a libusb-based library sees the chip. UsbBulkOut returns once
  // the chip's FIFO holds every byte (or the time-out ran out: kUsbTimeout with
  // *done short). UsbBulkIn collects packets, status bytes included, until a
  // short packet ends the transfer or `capacity` is full; nothing is polled
  // between transfers, so the chip's USB-side FIFO can overflow.
  bool Present() const;
  int UsbOpen();
  void UsbClose();
  int UsbBulkOut(const uint8_t* bytes, size_t count, uint32_t timeoutMs, size_t* done);
  int UsbBulkIn(uint8_t* buffer, size_t capacity, uint32_t timeoutMs, size_t* got);
  // SIO reset and the two purges of the chip's FIFOs.
  int UsbReset();
  int UsbPurge(bool usbSide, bool wireSide);
  int UsbSetBaud(uint32_t baud);
  int UsbSetLine(uint8_t wordLength, uint8_t stopBits, uint8_t parity);
  int UsbSetLatency(uint8_t ms);
  int UsbGetLatency(uint8_t* ms);
  // The rate of the chip's divisor nearest a requested baud rate (921600:
  // 3 MHz / 3.25 = 923077); 0 for 0.
  static double ChipBaud(uint32_t requested);
  // Bytes lost because the chip's USB-side FIFO was full.
  uint64_t OverrunBytes() const;

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
  // A byte from the host: when it starts and ends on the serial line.
  struct WireByte {
    uint64_t startNs;
    uint64_t endNs;
    uint8_t byte;
    bool garbled;  // the line settings do not match the pod's
  };
  FT_STATUS Check(FT_HANDLE handle) const;
  bool LineMatches() const;
  uint64_t ByteNsLocked() const;
  void SyncLocked(uint64_t nowNs);
  uint64_t NextEventLocked();
  // Queues bytes for the wire and waits until no more than `ahead` of them
  // wait to start; false when that took longer than timeoutMs (the bytes that
  // did not get in by then are dropped, *accepted says how many did).
  bool WriteLocked(std::unique_lock<std::mutex>& lock, const uint8_t* bytes, size_t count,
                   size_t ahead, uint32_t timeoutMs, size_t* accepted);
  size_t NotStartedLocked(uint64_t nowNs) const;
  void PurgeWireSideLocked(uint64_t nowNs);
  void PurgeUsbSideLocked(uint64_t nowNs);
  // Bytes from the pod in the chip's USB-side FIFO at time t.
  size_t ArrivedLocked(uint64_t t) const;
  void DropOverrunLocked(uint64_t t);
  // The driver's continuous polling: packets up to nowNs into rx_.
  void DeliverPacketsLocked(uint64_t nowNs);
  // When the next packet with data leaves the chip under continuous polling.
  uint64_t NextDataPacketNs() const;
  void TakePacketLocked(uint64_t atNs, std::vector<uint8_t>* raw);
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
  bool driverPolls_ = true;  // opened through the D2XX-style calls
  bool unplugged_ = false;
  double lineBaud_ = 9600;  // what the chip's divisor gives
  uint8_t wordLength_ = 8, stopBits_ = 0, parity_ = 0;
  uint8_t latencyMs_ = 16;
  uint32_t readTimeoutMs_ = 0, writeTimeoutMs_ = 0;
  std::deque<WireByte> toPod_;  // in the driver, the chip or on the wire towards the pod
  uint64_t wireFreeNs_ = 0;
  uint64_t lastPacketNs_ = 0;  // the latency timer restarts with every packet
  bool overrun_ = false;       // reported once in the next packet's line status
  uint64_t overrunBytes_ = 0;
  std::deque<uint8_t> rx_;  // delivered to the driver, visible to the host

  std::function<void()> persist_;
  uint64_t persistedGeneration_ = 0;
  uint64_t lastPersistNs_ = 0;
};

}  // namespace velmora::sim
