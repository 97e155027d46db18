// The settings record, its lookup tables and the values derived from it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "config/SettingsStore.h"

namespace velmora {

enum DspType : uint8_t { kTMS320C31 = 0, kTMS320C32 = 1, kTMS320C33 = 2 };
enum BootType : uint8_t { kBoot1 = 0, kBoot2 = 1, kBoot3 = 2 };
enum FlashType : uint8_t {
  kAM29F010 = 0,
  kAM29F040 = 1,
  kHY29F040A = 2,
  kAT29C010A = 3,
  kAT29C020 = 4,
  kAT29C040A = 5
};

inline constexpr std::array<uint32_t, 16> kMonitoringPeriodMs = {
    1, 50, 100, 200, 300, 400, 500, 600, 700, 800, 900, 1000, 2000, 3000, 4000, 5000};
inline constexpr std::array<uint32_t, 14> kTransferPauseUs = {
    10, 20, 50, 100, 200, 300, 500, 700, 1000, 2000, 3000, 5000, 7000, 10000};
inline constexpr std::array<uint32_t, 10> kResetPulseMs = {100, 200, 300, 400, 500,
                                                           600, 700, 800, 900, 1000};
inline constexpr std::array<uint32_t, 10> kDelayAfterResetMs = {50,  100,  200,  300,  500,
                                                                700, 1000, 2000, 3000, 5000};

inline constexpr uint32_t kDefaultPrimaryBus = 0x000008F8;
inline constexpr uint32_t kDefaultIostrb = 0x00000058;
inline constexpr uint32_t kDefaultStrb0 = 0x000F0858;
inline constexpr uint32_t kDefaultStrb1 = 0x000F0858;

struct AppSettings {
  // Target and link ("Main Configuration").
  uint8_t dspType = kTMS320C32;        // "MCU TYPE"
  int32_t dataIntervalTime = 2;        // "Data Interval Time": monitoring period index
  int32_t dataScanTime = 2;            // "Data Scan Time": transfer pause index
  int32_t resetPolarity = 0;           // "Reset Polarity": 0 Active-Low, 1 Active-High
  int32_t resetTime = 1;               // "Reset Time": reset pulse index
  int32_t delayTimeAfterReset = 4;     // "DelayTime After Reset"
  uint8_t bootType = kBoot1;           // "Boot Type"
  uint32_t primaryBus = kDefaultPrimaryBus;  // "Primary Bus Register"
  uint32_t iostrb = kDefaultIostrb;          // "IOSTRB Register"
  uint32_t strb0 = kDefaultStrb0;            // "STRB0 Register"
  uint32_t strb1 = kDefaultStrb1;            // "STRB1 Register"
  uint8_t flashType = kAM29F040;       // "Flash ROM Type"
  int32_t microTimeLength = 0;         // "MicroTime Length": loops per us, <= 0 not calibrated

  // Window layout (same section).
  int32_t left = 100, top = 50, right = 900, bottom = 650;
  uint32_t showCmd = 1;
  uint32_t firstSetup = 0;
  int32_t leftPaneWidth = 400;
  int32_t rightPaneHeight = 200;
  int32_t msgWndCX = 0, msgWndCY = 0;
};

// The memory-interface values written into image headers and loaders.
struct MemoryInterfaceValues {
  uint8_t dspType = kTMS320C32;
  uint32_t primaryBus = kDefaultPrimaryBus;
  uint32_t iostrb = kDefaultIostrb;
  uint32_t strb0 = kDefaultStrb0;
  uint32_t strb1 = kDefaultStrb1;
};

struct BootRegion {
  uint32_t sizeLimit = 0;    // bytes of image that fit the boot region
  uint32_t baseAddress = 0;  // C3x address at which the loader addresses the flash
};

// All the pod link reads of the settings (besides the DSP type).
struct DerivedTransferSettings {
  uint8_t dspType = kTMS320C32;
  uint32_t transferPauseUs = 50;
  int32_t resetPolarity = 0;
  uint32_t resetPulseMs = 200;
  uint32_t delayAfterResetMs = 500;
  uint32_t primaryBus = kDefaultPrimaryBus;
  uint32_t iostrb = kDefaultIostrb;
  uint32_t strb0 = kDefaultStrb0;
  uint32_t strb1 = kDefaultStrb1;
  uint8_t flashType = kAM29F040;
  uint32_t bootBase = 0x1000;

  MemoryInterfaceValues MemoryInterface() const {
    return {dspType, primaryBus, iostrb, strb0, strb1};
  }
};

// Reads every value with its default and applies the clamps (8-bit fields keep
// their low 8 bits; negative indices become 0).
void LoadSettings(SettingsStore& store, AppSettings& settings);
// Writes layout and link values back; FirstSetup becomes 1 when still 0.
// "MicroTime Length" is not written here.
void SaveSettings(SettingsStore& store, AppSettings& settings);

BootRegion ComputeBootRegion(uint8_t flashType, uint8_t bootType, uint8_t dspType);
DerivedTransferSettings Derive(const AppSettings& settings);
uint32_t MonitoringPeriodMs(const AppSettings& settings);

const char* DspTypeName(uint8_t dspType);    // "TMS320C31" ...
const char* BootTypeName(uint8_t bootType);  // "BOOT1" ...
const char* FlashTypeName(uint8_t flashType);  // "AM29F010" ...

}  // namespace velmora
