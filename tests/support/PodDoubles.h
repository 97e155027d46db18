// Test doubles shared by the pod fakes: a proxy to an api someone else owns,
// the target responder's word protocol and a recording micro delayer.
#pragma once

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "config/Clock.h"
#include "config/MicroTimer.h"
#include "podlink/FtdiApi.h"

namespace velmora::test {

// Hands every call on to an api that someone else owns (a link owns its api;
// tests keep the fake to look at afterwards).
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

// The responder of a running user program: a plain address word loads the
// word at that address for the next transfer; the tagged words write with
// commit (0x33) and abandon (anything else).
struct ResponderModel {
  std::map<uint32_t, uint32_t> memory;
  std::vector<std::pair<uint32_t, uint32_t>> committed;
  uint32_t writeAddress = 0, high = 0, low = 0;
  bool echoWrongAddress = false;

  uint32_t operator()(uint32_t word) {
    const uint32_t address = word & 0x00FFFFFF;
    switch (word & 0xFF000000) {
      case 0x00000000: {
        auto it = memory.find(address);
        return it == memory.end() ? 0 : it->second;
      }
      case 0xAD000000:
        writeAddress = address;
        return echoWrongAddress ? address + 1 : address;
      case 0xD1000000:
        high = word & 0xFFFF;
        return 0;
      case 0xD0000000:
        low = word & 0xFFFF;
        return 0;
      case 0x33000000:
        memory[writeAddress] = high << 16 | low;
        committed.emplace_back(writeAddress, high << 16 | low);
        return 0;
      default:
        return 0;
    }
  }
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

}  // namespace velmora::test
