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

#include "config/Clock.h"
#include "config/MicroTimer.h"
#include "podlink/FtdiApi.h"
#include "podlink/ProcedureObserver.h"

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
  FT_STATUS Call(const std::string& name, const std::string& detail = "");
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

// Hands every call on to an api that someone else owns (a link owns its api;
// tests keep the fake pod to look at afterwards).
class FtdiApiProxy : public FtdiApi {
 public:
  explicit FtdiApiProxy(FtdiApi& api) : a_(api) {}
  FT_STATUS FT_ListDevices(void* x, void* y, DWORD f) override {
    return a_.FT_ListDevices(x, y, f);
  }
  FT_STATUS FT_OpenEx(void* x, DWORD f, FT_HANDLE* h) override { return a_.FT_OpenEx(x, f, h); }
  FT_STATUS FT_Close(FT_HANDLE h) override { return a_.FT_Close(h); }
  FT_STATUS FT_ResetDevice(FT_HANDLE h) override { return a_.FT_ResetDevice(h); }
  FT_STATUS FT_GetLatencyTimer(FT_HANDLE h, UCHAR* t) override {
    return a_.FT_GetLatencyTimer(h, t);
  }
  FT_STATUS FT_SetLatencyTimer(FT_HANDLE h, UCHAR t) override {
    return a_.FT_SetLatencyTimer(h, t);
  }
  FT_STATUS FT_SetBaudRate(FT_HANDLE h, DWORD b) override { return a_.FT_SetBaudRate(h, b); }
  FT_STATUS FT_SetDataCharacteristics(FT_HANDLE h, UCHAR w, UCHAR s, UCHAR p) override {
    return a_.FT_SetDataCharacteristics(h, w, s, p);
  }
  FT_STATUS FT_SetFlowControl(FT_HANDLE h, USHORT f, UCHAR on, UCHAR off) override {
    return a_.FT_SetFlowControl(h, f, on, off);
  }
  FT_STATUS FT_SetTimeouts(FT_HANDLE h, DWORD r, DWORD w) override {
    return a_.FT_SetTimeouts(h, r, w);
  }
  FT_STATUS FT_Purge(FT_HANDLE h, DWORD m) override { return a_.FT_Purge(h, m); }
  FT_STATUS FT_Write(FT_HANDLE h, void* b, DWORD c, DWORD* n) override {
    return a_.FT_Write(h, b, c, n);
  }
  FT_STATUS FT_Read(FT_HANDLE h, void* b, DWORD c, DWORD* n) override {
    return a_.FT_Read(h, b, c, n);
  }
  FT_STATUS FT_GetQueueStatus(FT_HANDLE h, DWORD* rx) override {
    return a_.FT_GetQueueStatus(h, rx);
  }
  FT_STATUS FT_GetStatus(FT_HANDLE h, DWORD* rx, DWORD* tx, DWORD* e) override {
    return a_.FT_GetStatus(h, rx, tx, e);
  }

 private:
  FtdiApi& a_;
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

// Micro delays recorded and passed on to the virtual clock.
class RecordingDelayer : public MicroDelayer {
 public:
  explicit RecordingDelayer(VirtualClock& clock) : clock_(clock) {}
  void MicroDelay(uint32_t us) override {
    delays.push_back(us);
    clock_.AdvanceUs(us);
  }
  std::vector<uint32_t> delays;

 private:
  VirtualClock& clock_;
};

// Target program models answering the words the pod passes on.
// The responder of a running user program: reads by address and the tagged
// write sequence with commit and abandon.
struct ResponderModel {
  std::map<uint32_t, uint32_t> memory;
  uint32_t writeAddress = 0, high = 0, low = 0;
  bool echoWrongAddress = false;
  uint32_t operator()(uint32_t word);
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
  // Command parsing state.
  enum class Mode {
    kIdle,
    kProgramCount,
    kProgramBase,
    kProgramData,
    kPageSize,
    kPageAddress,
    kPageData
  } mode = Mode::kIdle;
  uint32_t remaining = 0, address = 0;
  uint32_t operator()(uint32_t word);
  uint32_t Word(uint32_t offset) const {
    auto it = flash.find(offset);
    return it == flash.end() ? 0xFFFFFFFF : it->second;
  }
};

}  // namespace velmora::test
