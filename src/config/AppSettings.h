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

// Drop-down captions of the configuration dialog, one per table entry.
inline constexpr std::array<const char*, 16> kMonitoringPeriodCaptions = {
    "No Delay", "50 ms",  "100 ms", "200 ms",  "300 ms",  "400 ms",  "500 ms",  "600 ms",
    "700 ms",   "800 ms", "900 ms", "1000 ms", "2000 ms", "3000 ms", "4000 ms", "5000 ms"};
inline constexpr std::array<const char*, 14> kTransferPauseCaptions = {
    "10 us",  "20 us",   "50 us",   "100 us",  "200 us",  "300 us",  "500 us",
    "700 us", "1000 us", "2000 us", "3000 us", "5000 us", "7000 us", "10000 us"};
inline constexpr std::array<const char*, 10> kResetPulseCaptions = {
    "100 ms", "200 ms", "300 ms", "400 ms", "500 ms",
    "600 ms", "700 ms", "800 ms", "900 ms", "1000 ms"};
// The first caption really has a trailing blank and no space before "ms".
inline constexpr std::array<const char*, 10> kDelayAfterResetCaptions = {
    "50ms ",  "100 ms",  "200 ms",  "300 ms",  "500 ms",
    "700 ms", "1000 ms", "2000 ms", "3000 ms", "5000 ms"};
inline constexpr std::array<const char*, 2> kResetPolarityCaptions = {"Active-Low", "Active-High"};

// Value names of "Main Configuration".
inline constexpr const char* kKeyMcuType = "MCU TYPE";
inline constexpr const char* kKeyDataIntervalTime = "Data Interval Time";
inline constexpr const char* kKeyDataScanTime = "Data Scan Time";
inline constexpr const char* kKeyResetPolarity = "Reset Polarity";
inline constexpr const char* kKeyResetTime = "Reset Time";
inline constexpr const char* kKeyDelayTimeAfterReset = "DelayTime After Reset";
inline constexpr const char* kKeyBootType = "Boot Type";
inline constexpr const char* kKeyPrimaryBus = "Primary Bus Register";
inline constexpr const char* kKeyIostrb = "IOSTRB Register";
inline constexpr const char* kKeyStrb0 = "STRB0 Register";
inline constexpr const char* kKeyStrb1 = "STRB1 Register";
inline constexpr const char* kKeyFlashRomType = "Flash ROM Type";
// 1: verify the flash by its CRC-32 first, word by word only on a mismatch.
inline constexpr const char* kKeyQuickVerify = "Quick Verify";
inline constexpr const char* kKeyMicroTimeLength = "MicroTime Length";
inline constexpr const char* kKeyCoffFilePath = "Coff File Path";
inline constexpr const char* kKeyCoffFileDirectory = "Coff File Directory";
inline constexpr const char* kKeySymbolFilePath = "Symbol File Path";
inline constexpr const char* kKeySymbolFileDirectory = "Symbol File Directory";

// Bus control defaults: seven wait states counted internally (SWW 11, WTCNT
// 7), so that the slowest flash grade (150 ns) answers in time on every DSP
// type. The TMS320C32 values once had two (0x58, 0xF0858), which a 150-ns part
// cannot meet at 30 MHz.
inline constexpr uint32_t kDefaultPrimaryBus = 0x000008F8;
inline constexpr uint32_t kDefaultIostrb = 0x000000F8;
inline constexpr uint32_t kDefaultStrb0 = 0x000F08F8;
inline constexpr uint32_t kDefaultStrb1 = 0x000F08F8;

struct AppSettings {
  // Target and link ("Main Configuration").
  uint8_t dspType = kTMS320C32;              // "MCU TYPE"
  int32_t dataIntervalTime = 2;              // "Data Interval Time": monitoring period index
  int32_t dataScanTime = 2;                  // "Data Scan Time": transfer pause index
  int32_t resetPolarity = 0;                 // "Reset Polarity": 0 Active-Low, 1 Active-High
  int32_t resetTime = 1;                     // "Reset Time": reset pulse index
  int32_t delayTimeAfterReset = 4;           // "DelayTime After Reset"
  uint8_t bootType = kBoot1;                 // "Boot Type"
  uint32_t primaryBus = kDefaultPrimaryBus;  // "Primary Bus Register"
  uint32_t iostrb = kDefaultIostrb;          // "IOSTRB Register"
  uint32_t strb0 = kDefaultStrb0;            // "STRB0 Register"
  uint32_t strb1 = kDefaultStrb1;            // "STRB1 Register"
  uint8_t flashType = kAM29F040;             // "Flash ROM Type"
  int32_t microTimeLength = 0;  // "MicroTime Length": loops per us, <= 0 not calibrated

  // Window layout (same section).
  int32_t left = 100, top = 50, right = 900, bottom = 650;
  uint32_t showCmd = 1;
  uint32_t firstSetup = 0;
  int32_t leftPaneWidth = 400;
  int32_t rightPaneHeight = 200;
  int32_t msgWndCX = 0, msgWndCY = 0;

  bool quickVerify = false;  // "Quick Verify"

  bool operator==(const AppSettings&) const = default;
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
  bool quickVerify = false;  // flash verifies compare a CRC-32 first

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

const char* DspTypeName(uint8_t dspType);      // "TMS320C31" ...
const char* BootTypeName(uint8_t bootType);    // "BOOT1" ...
const char* FlashTypeName(uint8_t flashType);  // "AM29F010" ...

// Flash chip capacity in bytes.
uint32_t FlashCapacityBytes(uint8_t flashType);
// "Boot2 (INT1 : 0x810000)" and its siblings, as the boot radio buttons show them.
const char* BootRadioCaption(uint8_t bootType, uint8_t dspType);
// A register edit's text: blanks stripped, empty gives the default, otherwise an
// unsigned hex number with an optional 0x prefix, read up to the first non-digit.
uint32_t ParseRegisterText(const std::string& text, uint32_t defaultValue);

}  // namespace velmora
