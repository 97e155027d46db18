// The FTDI device seam, shaped after FTDI's D2XX calls. Backends: libftdi1,
// FTDI's own D2XX library, the virtual board, and scripted fakes in tests.
// The pod link never knows which one it drives.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace velmora {

using FT_HANDLE = void*;
using FT_STATUS = uint32_t;
using DWORD = uint32_t;
using UCHAR = uint8_t;
using USHORT = uint16_t;

inline constexpr FT_STATUS FT_OK = 0;
inline constexpr FT_STATUS FT_INVALID_HANDLE = 1;
inline constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;
inline constexpr FT_STATUS FT_DEVICE_NOT_OPENED = 3;
inline constexpr FT_STATUS FT_IO_ERROR = 4;
inline constexpr FT_STATUS FT_INVALID_PARAMETER = 6;
inline constexpr FT_STATUS FT_OTHER_ERROR = 18;

inline constexpr DWORD FT_LIST_NUMBER_ONLY = 0x80000000;
inline constexpr DWORD FT_LIST_BY_INDEX = 0x40000000;
inline constexpr DWORD FT_LIST_ALL = 0x20000000;
inline constexpr DWORD FT_OPEN_BY_SERIAL_NUMBER = 1;
inline constexpr DWORD FT_OPEN_BY_DESCRIPTION = 2;
inline constexpr DWORD FT_PURGE_RX = 1;
inline constexpr DWORD FT_PURGE_TX = 2;
inline constexpr UCHAR FT_BITS_8 = 8;
inline constexpr UCHAR FT_STOP_BITS_1 = 0;
inline constexpr UCHAR FT_PARITY_NONE = 0;
inline constexpr USHORT FT_FLOW_NONE = 0;

// One loaded device library. Calls mirror D2XX: arguments, order and status.
class FtdiApi {
 public:
  virtual ~FtdiApi() = default;

  // FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY) or
  // FT_ListDevices((void*)index, buffer64, FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION).
  virtual FT_STATUS FT_ListDevices(void* arg1, void* arg2, DWORD flags) = 0;
  virtual FT_STATUS FT_OpenEx(void* arg, DWORD flags, FT_HANDLE* handle) = 0;
  virtual FT_STATUS FT_Close(FT_HANDLE handle) = 0;
  virtual FT_STATUS FT_ResetDevice(FT_HANDLE handle) = 0;
  virtual FT_STATUS FT_GetLatencyTimer(FT_HANDLE handle, UCHAR* timer) = 0;
  virtual FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, UCHAR timer) = 0;
  virtual FT_STATUS FT_SetBaudRate(FT_HANDLE handle, DWORD baud) = 0;
  virtual FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits,
                                              UCHAR parity) = 0;
  virtual FT_STATUS FT_SetFlowControl(FT_HANDLE handle, USHORT flow, UCHAR xon, UCHAR xoff) = 0;
  virtual FT_STATUS FT_SetTimeouts(FT_HANDLE handle, DWORD readMs, DWORD writeMs) = 0;
  virtual FT_STATUS FT_Purge(FT_HANDLE handle, DWORD mask) = 0;
  virtual FT_STATUS FT_Write(FT_HANDLE handle, void* buffer, DWORD count, DWORD* written) = 0;
  virtual FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, DWORD count, DWORD* read) = 0;
  virtual FT_STATUS FT_GetQueueStatus(FT_HANDLE handle, DWORD* rxBytes) = 0;
  virtual FT_STATUS FT_GetStatus(FT_HANDLE handle, DWORD* rxBytes, DWORD* txBytes,
                                 DWORD* eventStatus) = 0;
};

}  // namespace velmora
