// FTDI's own D2XX library, loaded at run time when the user has installed it.
// The prototypes follow FTDI's published programmer's guide; on both Windows
// and Linux builds of the library DWORD and ULONG are 32-bit unsigned.
#include <memory>

#include "podlink/DynamicLibrary.h"
#include "podlink/FtdiBackends.h"

#ifdef _WIN32
#define VELMORA_D2XX_CALL __stdcall
#else
#define VELMORA_D2XX_CALL
#endif

namespace velmora {

namespace {

extern "C" {
using ListDevicesFn = FT_STATUS(VELMORA_D2XX_CALL*)(void*, void*, DWORD);
using OpenExFn = FT_STATUS(VELMORA_D2XX_CALL*)(void*, DWORD, FT_HANDLE*);
using HandleFn = FT_STATUS(VELMORA_D2XX_CALL*)(FT_HANDLE);
using GetLatencyFn = FT_STATUS(VELMORA_D2XX_CALL*)(FT_HANDLE, UCHAR*);
using SetLatencyFn = FT_STATUS(VELMORA_D2XX_CALL*)(FT_HANDLE, UCHAR);
using SetDwordFn = FT_STATUS(VELMORA_D2XX_CALL*)(FT_HANDLE, DWORD);
using SetDataFn = FT_STATUS(VELMORA_D2XX_CALL*)(FT_HANDLE, UCHAR, UCHAR, UCHAR);
using SetFlowFn = FT_STATUS(VELMORA_D2XX_CALL*)(FT_HANDLE, USHORT, UCHAR, UCHAR);
using SetTimeoutsFn = FT_STATUS(VELMORA_D2XX_CALL*)(FT_HANDLE, DWORD, DWORD);
using TransferFn = FT_STATUS(VELMORA_D2XX_CALL*)(FT_HANDLE, void*, DWORD, DWORD*);
using QueueFn = FT_STATUS(VELMORA_D2XX_CALL*)(FT_HANDLE, DWORD*);
using StatusFn = FT_STATUS(VELMORA_D2XX_CALL*)(FT_HANDLE, DWORD*, DWORD*, DWORD*);
}

class D2xxApi : public FtdiApi {
 public:
  bool Load(const std::vector<std::string>& names, std::string& error) {
    if (!lib_.Open(names, error)) return false;
    const char* missing = nullptr;
    auto need = [&](const char* name, auto& fn) {
      if (!lib_.Resolve(name, fn) && !missing) missing = name;
    };
    need("FT_ListDevices", listDevices_);
    need("FT_OpenEx", openEx_);
    need("FT_Close", close_);
    need("FT_ResetDevice", resetDevice_);
    need("FT_GetLatencyTimer", getLatency_);
    need("FT_SetLatencyTimer", setLatency_);
    need("FT_SetBaudRate", setBaudRate_);
    need("FT_SetDataCharacteristics", setData_);
    need("FT_SetFlowControl", setFlow_);
    need("FT_SetTimeouts", setTimeouts_);
    need("FT_Purge", purge_);
    need("FT_Write", write_);
    need("FT_Read", read_);
    need("FT_GetQueueStatus", queueStatus_);
    need("FT_GetStatus", status_);
    if (missing) {
      error = lib_.LoadedName() + " has no " + missing;
      return false;
    }
    return true;
  }

  FT_STATUS FT_ListDevices(void* arg1, void* arg2, DWORD flags) override {
    return listDevices_(arg1, arg2, flags);
  }
  FT_STATUS FT_OpenEx(void* arg, DWORD flags, FT_HANDLE* handle) override {
    return openEx_(arg, flags, handle);
  }
  FT_STATUS FT_Close(FT_HANDLE h) override { return close_(h); }
  FT_STATUS FT_ResetDevice(FT_HANDLE h) override { return resetDevice_(h); }
  FT_STATUS FT_GetLatencyTimer(FT_HANDLE h, UCHAR* timer) override { return getLatency_(h, timer); }
  FT_STATUS FT_SetLatencyTimer(FT_HANDLE h, UCHAR timer) override { return setLatency_(h, timer); }
  FT_STATUS FT_SetBaudRate(FT_HANDLE h, DWORD baud) override { return setBaudRate_(h, baud); }
  FT_STATUS FT_SetDataCharacteristics(FT_HANDLE h, UCHAR bits, UCHAR stop, UCHAR parity) override {
    return setData_(h, bits, stop, parity);
  }
  FT_STATUS FT_SetFlowControl(FT_HANDLE h, USHORT flow, UCHAR xon, UCHAR xoff) override {
    return setFlow_(h, flow, xon, xoff);
  }
  FT_STATUS FT_SetTimeouts(FT_HANDLE h, DWORD readMs, DWORD writeMs) override {
    return setTimeouts_(h, readMs, writeMs);
  }
  FT_STATUS FT_Purge(FT_HANDLE h, DWORD mask) override { return purge_(h, mask); }
  FT_STATUS FT_Write(FT_HANDLE h, void* buffer, DWORD count, DWORD* written) override {
    return write_(h, buffer, count, written);
  }
  FT_STATUS FT_Read(FT_HANDLE h, void* buffer, DWORD count, DWORD* read) override {
    return read_(h, buffer, count, read);
  }
  FT_STATUS FT_GetQueueStatus(FT_HANDLE h, DWORD* rx) override { return queueStatus_(h, rx); }
  FT_STATUS FT_GetStatus(FT_HANDLE h, DWORD* rx, DWORD* tx, DWORD* event) override {
    return status_(h, rx, tx, event);
  }

 private:
  DynamicLibrary lib_;
  ListDevicesFn listDevices_ = nullptr;
  OpenExFn openEx_ = nullptr;
  HandleFn close_ = nullptr;
  HandleFn resetDevice_ = nullptr;
  GetLatencyFn getLatency_ = nullptr;
  SetLatencyFn setLatency_ = nullptr;
  SetDwordFn setBaudRate_ = nullptr;
  SetDataFn setData_ = nullptr;
  SetFlowFn setFlow_ = nullptr;
  SetTimeoutsFn setTimeouts_ = nullptr;
  SetDwordFn purge_ = nullptr;
  TransferFn write_ = nullptr;
  TransferFn read_ = nullptr;
  QueueFn queueStatus_ = nullptr;
  StatusFn status_ = nullptr;
};

std::vector<std::string> D2xxLibraryNames(const FtdiBackendOptions& options) {
  auto it = options.values.find("library");
  if (it != options.values.end() && !it->second.empty()) return {it->second};
#ifdef _WIN32
  return {"Ftd2xx.dll"};
#elif defined(__APPLE__)
  return {"libftd2xx.dylib"};
#else
  return {"libftd2xx.so", "libftd2xx.so.1"};
#endif
}

}  // namespace

std::unique_ptr<FtdiApi> CreateD2xxBackend(const FtdiBackendOptions& options, std::string& error) {
  auto api = std::make_unique<D2xxApi>();
  if (!api->Load(D2xxLibraryNames(options), error)) return nullptr;
  return api;
}

}  // namespace velmora
