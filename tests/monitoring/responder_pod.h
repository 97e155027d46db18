// A pod with a running responder program behind the FTDI seam: answers S and
// V with the one-transfer lag, counts the target reads and can break the link.
#pragma once

#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "support/PodDoubles.h"

namespace velmora::test {

using ApiProxy = FtdiApiProxy;

// The responder's memory, writes and commits come from ResponderModel.
class ResponderPod : public FtdiApi, public ResponderModel {
 public:
  std::vector<std::string> devices = {"USB POD"};
  bool openFails = false;
  // Reads are the V commands that carry a plain address.
  std::vector<uint32_t> readAddresses;
  int failReadAt = 0;  // the n-th read from now on fails (1-based); 0 never
  bool failAllReads = false;
  std::vector<std::pair<char, uint32_t>> commands;  // every S and V in order
  std::vector<size_t> writeSizes;                   // bytes per FT_Write
  int purges = 0;
  int opens = 0;

  void FailRead(int nFromNow) { failReadAt = static_cast<int>(readAddresses.size()) + nFromNow; }
  size_t Reads() const { return readAddresses.size(); }

  FT_STATUS FT_ListDevices(void* arg1, void* arg2, DWORD flags) override {
    if (flags & FT_LIST_NUMBER_ONLY) {
      *static_cast<DWORD*>(arg1) = static_cast<DWORD>(devices.size());
      return FT_OK;
    }
    const auto index = reinterpret_cast<uintptr_t>(arg1);
    if (index >= devices.size()) return FT_DEVICE_NOT_FOUND;
    std::strncpy(static_cast<char*>(arg2), devices[index].c_str(), 63);
    return FT_OK;
  }
  FT_STATUS FT_OpenEx(void*, DWORD, FT_HANDLE* handle) override {
    ++opens;
    if (openFails || devices.empty()) return FT_DEVICE_NOT_FOUND;
    *handle = this;
    return FT_OK;
  }
  FT_STATUS FT_Close(FT_HANDLE) override { return FT_OK; }
  FT_STATUS FT_ResetDevice(FT_HANDLE) override { return FT_OK; }
  FT_STATUS FT_GetLatencyTimer(FT_HANDLE, UCHAR* timer) override {
    *timer = 1;
    return FT_OK;
  }
  FT_STATUS FT_SetLatencyTimer(FT_HANDLE, UCHAR) override { return FT_OK; }
  FT_STATUS FT_SetBaudRate(FT_HANDLE, DWORD) override { return FT_OK; }
  FT_STATUS FT_SetDataCharacteristics(FT_HANDLE, UCHAR, UCHAR, UCHAR) override { return FT_OK; }
  FT_STATUS FT_SetFlowControl(FT_HANDLE, USHORT, UCHAR, UCHAR) override { return FT_OK; }
  FT_STATUS FT_SetTimeouts(FT_HANDLE, DWORD, DWORD) override { return FT_OK; }
  FT_STATUS FT_Purge(FT_HANDLE, DWORD) override {
    ++purges;
    broken_ = false;
    rx_.clear();
    inbox_.clear();
    return FT_OK;
  }
  FT_STATUS FT_Write(FT_HANDLE, void* buffer, DWORD count, DWORD* written) override {
    inbox_.append(static_cast<const char*>(buffer), count);
    writeSizes.push_back(count);
    *written = count;
    while (inbox_.size() >= 9 && (inbox_[0] == 'S' || inbox_[0] == 'V')) {
      const char letter = inbox_[0];
      const uint32_t word = static_cast<uint32_t>(std::stoul(inbox_.substr(1, 8), nullptr, 16));
      inbox_.erase(0, 9);
      commands.emplace_back(letter, word);
      if (letter == 'V') {
        if ((word >> 24) == 0) {
          readAddresses.push_back(word);
          // The link to the target breaks: no reply from here until a purge.
          if (failAllReads || static_cast<int>(readAddresses.size()) == failReadAt) broken_ = true;
        }
        if (!broken_)
          for (int i = 0; i < 4; ++i) rx_.push_back(static_cast<uint8_t>(pending_ >> (8 * i)));
      }
      pending_ = (*this)(word);
    }
    return FT_OK;
  }
  FT_STATUS FT_Read(FT_HANDLE, void* buffer, DWORD count, DWORD* read) override {
    if (broken_ && rx_.empty()) {
      *read = 0;
      return FT_IO_ERROR;
    }
    DWORD n = 0;
    auto* out = static_cast<uint8_t*>(buffer);
    while (n < count && !rx_.empty()) {
      out[n++] = rx_.front();
      rx_.pop_front();
    }
    *read = n;
    return FT_OK;
  }
  FT_STATUS FT_GetQueueStatus(FT_HANDLE, DWORD* rxBytes) override {
    *rxBytes = static_cast<DWORD>(rx_.size());
    return FT_OK;
  }
  FT_STATUS FT_GetStatus(FT_HANDLE, DWORD* rxBytes, DWORD* txBytes, DWORD* events) override {
    *rxBytes = static_cast<DWORD>(rx_.size());
    *txBytes = 0;
    *events = 0;
    return FT_OK;
  }

 private:
  std::string inbox_;
  std::deque<uint8_t> rx_;
  uint32_t pending_ = 0xFFFFFFFF;
  bool broken_ = false;
};

}  // namespace velmora::test
