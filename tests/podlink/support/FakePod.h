// A scripted pod behind the FTDI seam: records every call and byte, parses the
// pod commands it receives and answers them like the pod firmware (with the
// one-transfer lag of V), and can be told to misbehave. Time passes on a
// VirtualClock as the real library calls would block.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "podlink/ProcedureObserver.h"
#include "support/PodDoubles.h"

namespace velmora::test {

struct PodCommand {
  char letter = 0;    // 'S', 'V', 'R', '?'
  uint32_t word = 0;  // S and V; for "R%04X%04X" polarity << 16 | pulse
  bool longReset = false;
  bool operator==(const PodCommand&) const = default;
};

class FakePod : public FtdiApi {
 public:
  enum class Fault {
    kNone,
    kSilent,        // never answers
    kShortReply,    // answers only the first shortBytes bytes of each reply
    kGarbage,       // answers with wrong bytes of the right length
    kStuckTxQueue,  // writes move nothing while the transmit queue stays full
    kStuckRxQueue,  // reads move nothing while the receive queue reports bytes
  };

  explicit FakePod(VirtualClock& clock) : clock_(clock) {}

  // --- Set-up ---
  std::vector<std::string> devices = {"USB POD"};
  FT_STATUS listCountStatus = FT_OK;
  std::set<uint32_t> failingListIndices;
  std::map<std::string, FT_STATUS> failCalls;  // call name -> status to return
  UCHAR latency = 16;
  uint8_t firmware = 0x12;
  bool answerReset = true;
  Fault fault = Fault::kNone;
  uint32_t shortBytes = 2;
  // FT_Write fails with an I/O error on this write (counted over the pod's
  // life, 1-based; 0 never). FailWrite(n) makes the n-th write from now fail.
  uint32_t failWriteNumber = 0;
  void FailWrite(uint32_t n) { failWriteNumber = writes_ + n; }
  // How long a read with nothing to return blocks (0: the read time-out set).
  uint32_t readBlockMs = 0;
  // A write moves at most this many bytes per call (0: all).
  uint32_t writeChunk = 0;
  // What the target program answers, on the next transfer, to a word.
  std::function<uint32_t(uint32_t)> target = [](uint32_t) { return 0u; };

  // --- Record ---
  std::vector<std::string> calls;
  std::vector<uint8_t> sent;
  std::vector<uint32_t> writeSizes;  // bytes handed over per successful FT_Write call
  std::vector<PodCommand> commands;
  uint32_t purges = 0;
  std::deque<uint8_t> rx;

  std::vector<uint32_t> WordsWith(char letter) const;
  // The S and V words in order.
  std::vector<uint32_t> StreamWords() const;
  size_t CountCalls(const std::string& name) const;

  // --- FtdiApi ---
  FT_STATUS FT_ListDevices(void* arg1, void* arg2, DWORD flags) override;
  FT_STATUS FT_OpenEx(void* arg, DWORD flags, FT_HANDLE* handle) override;
  FT_STATUS FT_Close(FT_HANDLE) override {
    const FT_STATUS s = Call("FT_Close");
    if (s == FT_OK) open_ = false;
    return s;
  }
  FT_STATUS FT_ResetDevice(FT_HANDLE) override { return Call("FT_ResetDevice"); }
  FT_STATUS FT_GetLatencyTimer(FT_HANDLE, UCHAR* timer) override {
    const FT_STATUS s = Call("FT_GetLatencyTimer");
    if (s == FT_OK) *timer = latency;
    return s;
  }
  FT_STATUS FT_SetLatencyTimer(FT_HANDLE, UCHAR timer) override {
    const FT_STATUS s = Call("FT_SetLatencyTimer", Text({timer}));
    if (s == FT_OK) latency = timer;
    return s;
  }
  FT_STATUS FT_SetBaudRate(FT_HANDLE, DWORD baud) override {
    return Call("FT_SetBaudRate", Text({baud}));
  }
  FT_STATUS FT_SetDataCharacteristics(FT_HANDLE, UCHAR bits, UCHAR stop, UCHAR parity) override {
    return Call("FT_SetDataCharacteristics", Text({bits, stop, parity}));
  }
  FT_STATUS FT_SetFlowControl(FT_HANDLE, USHORT flow, UCHAR xon, UCHAR xoff) override {
    return Call("FT_SetFlowControl", Text({flow, xon, xoff}));
  }
  FT_STATUS FT_SetTimeouts(FT_HANDLE handle, DWORD readMs, DWORD writeMs) override;
  FT_STATUS FT_Purge(FT_HANDLE handle, DWORD mask) override;
  FT_STATUS FT_Write(FT_HANDLE handle, void* buffer, DWORD count, DWORD* written) override;
  FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, DWORD count, DWORD* read) override;
  FT_STATUS FT_GetQueueStatus(FT_HANDLE, DWORD* rxBytes) override {
    *rxBytes = fault == Fault::kStuckRxQueue ? 3 : static_cast<DWORD>(rx.size());
    return FT_OK;
  }
  FT_STATUS FT_GetStatus(FT_HANDLE, DWORD* rxBytes, DWORD* txBytes, DWORD* events) override {
    *rxBytes = static_cast<DWORD>(rx.size());
    *txBytes = fault == Fault::kStuckTxQueue ? 5 : 0;
    *events = 0;
    return FT_OK;
  }

 private:
  FT_STATUS Call(const std::string& name, const std::string& detail = "");
  // The numbers separated by blanks, as the call record shows them.
  static std::string Text(std::initializer_list<uint32_t> numbers);
  void Parse();
  void Reply(std::vector<uint8_t> bytes);

  VirtualClock& clock_;
  std::vector<uint8_t> inbox_;
  uint32_t pending_ = 0;  // the target's answer to the previous word
  uint32_t writes_ = 0;
  DWORD readTimeoutMs_ = 300;
  DWORD writeTimeoutMs_ = 300;
  bool open_ = false;
};

// Records what a procedure shows and cancels on request.
class RecordingObserver : public ProcedureObserver {
 public:
  std::vector<std::string> events;
  std::vector<int> progress;
  std::vector<ProcResult> finishes;
  std::vector<ProcResult> animationFinishes;
  // CancelRequested returns true from its cancelAfter-th call on (0: never).
  int cancelAfter = 0;
  int cancelChecks = 0;

  void Start() override { events.push_back("Start"); }
  void SetTitle(const std::string& t) override { events.push_back("Title:" + t); }
  void SetStatusText(const std::string& t) override { events.push_back("Status:" + t); }
  void SetProgressPercent(int p) override { progress.push_back(p); }
  void Finish(ProcResult r) override {
    finishes.push_back(r);
    events.push_back("Finish:" + std::to_string(r));
  }
  void Hide() override { events.push_back("Hide"); }
  void StartAnimation() override { events.push_back("StartAnimation"); }
  void SetAnimationTitle(const std::string& t) override { events.push_back("AnimTitle:" + t); }
  void FinishAnimation(ProcResult r) override {
    animationFinishes.push_back(r);
    events.push_back("FinishAnimation:" + std::to_string(r));
  }
  void HideAnimation() override { events.push_back("HideAnimation"); }
  bool CancelRequested() override { return cancelAfter > 0 && ++cancelChecks >= cancelAfter; }
  void PumpOneEvent() override {}
  void SetWaitCursor(bool on) override { events.push_back(on ? "Wait:on" : "Wait:off"); }
};

// A flash loader: erase, reads at byte addresses, byte-program and page
// commands. Flash bytes start erased (0xFF).
struct FlashLoaderModel {
  uint32_t base = 0;
  std::map<uint32_t, uint32_t> flash;  // word offset -> word
  int erasePolls = 1;                  // polls until bit 7 shows
  bool eraseNeverFinishes = false;
  bool eraseFailsWithBit5 = false;
  bool eraseActive = false;
  bool erased = false;
  std::vector<uint32_t> readTags;
  uint32_t pollsSeen = 0;
  uint32_t errors = 0;  // what the status command reports
  uint32_t resets = 0;  // reset commands (F0h) seen
  // Command parsing state: count, address, then the data of a program (0x88,
  // closed by a 0) or page (0x99) command.
  enum class Mode { kIdle, kCount, kAddress, kData, kCrcBytes } mode = Mode::kIdle;
  uint32_t crc = 0;  // of the last CRC command
  bool page = false;
  uint32_t remaining = 0, address = 0;
  uint32_t operator()(uint32_t word);
  uint32_t Word(uint32_t offset) const {
    auto it = flash.find(offset);
    return it == flash.end() ? 0xFFFFFFFF : it->second;
  }
};

}  // namespace velmora::test
