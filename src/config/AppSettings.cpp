#include "config/AppSettings.h"

#include <algorithm>
#include <cctype>

namespace velmora {
namespace {

// Indices that are out of the table's range would index past its end; negative
// ones are not caught by the load clamps as stored, so they go to the first entry.
int32_t ClampIndex(int32_t value, int32_t last) {
  return std::clamp(value, 0, last);
}

uint8_t AtMost(uint8_t value, uint8_t last) {
  return value > last ? last : value;
}

template <typename Table>
int32_t LastIndex(const Table& table) {
  return static_cast<int32_t>(table.size()) - 1;
}

// The 8-bit fields keep the low byte of the stored 32-bit value; the clamp
// applies to that byte, compared unsigned.
uint8_t LowByteClamped(int32_t stored, uint8_t last) {
  const auto low = static_cast<uint8_t>(static_cast<uint32_t>(stored) & 0xFF);
  return low > last ? last : low;
}

uint32_t ReadUnsigned(SettingsStore& store, const char* key, uint32_t defaultValue) {
  return static_cast<uint32_t>(
      store.ReadInt(kSectionMain, key, static_cast<int32_t>(defaultValue)));
}

}  // namespace

void LoadSettings(SettingsStore& store, AppSettings& settings) {
  const AppSettings defaults;
  auto readInt = [&store](const char* key, int32_t defaultValue) {
    return store.ReadInt(kSectionMain, key, defaultValue);
  };

  settings.dspType = LowByteClamped(readInt(kKeyMcuType, defaults.dspType), kTMS320C33);
  settings.dataIntervalTime = ClampIndex(readInt(kKeyDataIntervalTime, defaults.dataIntervalTime),
                                         LastIndex(kMonitoringPeriodMs));
  settings.dataScanTime =
      ClampIndex(readInt(kKeyDataScanTime, defaults.dataScanTime), LastIndex(kTransferPauseUs));
  settings.resetPolarity = readInt(kKeyResetPolarity, defaults.resetPolarity);
  settings.resetTime =
      ClampIndex(readInt(kKeyResetTime, defaults.resetTime), LastIndex(kResetPulseMs));
  settings.delayTimeAfterReset =
      ClampIndex(readInt(kKeyDelayTimeAfterReset, defaults.delayTimeAfterReset),
                 LastIndex(kDelayAfterResetMs));
  settings.bootType = LowByteClamped(readInt(kKeyBootType, defaults.bootType), kBoot3);
  settings.primaryBus = ReadUnsigned(store, kKeyPrimaryBus, defaults.primaryBus);
  settings.iostrb = ReadUnsigned(store, kKeyIostrb, defaults.iostrb);
  settings.strb0 = ReadUnsigned(store, kKeyStrb0, defaults.strb0);
  settings.strb1 = ReadUnsigned(store, kKeyStrb1, defaults.strb1);
  settings.flashType = LowByteClamped(readInt(kKeyFlashRomType, defaults.flashType), kAT29C040A);
  settings.microTimeLength = readInt(kKeyMicroTimeLength, defaults.microTimeLength);
  settings.quickVerify = readInt(kKeyQuickVerify, defaults.quickVerify ? 1 : 0) != 0;

  settings.left = readInt("Left", defaults.left);
  settings.top = readInt("Top", defaults.top);
  settings.right = readInt("Right", defaults.right);
  settings.bottom = readInt("Bottom", defaults.bottom);
  settings.showCmd = ReadUnsigned(store, "ShowCmd", defaults.showCmd);
  settings.firstSetup = ReadUnsigned(store, "FirstSetup", defaults.firstSetup);
  settings.leftPaneWidth = readInt("LeftPaneWidth", defaults.leftPaneWidth);
  settings.rightPaneHeight = readInt("RightPaneHeight", defaults.rightPaneHeight);
  settings.msgWndCX = readInt("MsgWndCX", defaults.msgWndCX);
  settings.msgWndCY = readInt("MsgWndCY", defaults.msgWndCY);
}

void SaveSettings(SettingsStore& store, AppSettings& settings) {
  if (settings.firstSetup == 0) settings.firstSetup = 1;
  auto write = [&store](const char* key, auto value) {
    store.WriteInt(kSectionMain, key, static_cast<uint32_t>(value));
  };

  write("Left", settings.left);
  write("Top", settings.top);
  write("Right", settings.right);
  write("Bottom", settings.bottom);
  write("ShowCmd", settings.showCmd);
  write("FirstSetup", settings.firstSetup);
  write("LeftPaneWidth", settings.leftPaneWidth);
  write("RightPaneHeight", settings.rightPaneHeight);
  write("MsgWndCX", settings.msgWndCX);
  write("MsgWndCY", settings.msgWndCY);

  write(kKeyMcuType, settings.dspType);
  write(kKeyDataIntervalTime, settings.dataIntervalTime);
  write(kKeyDataScanTime, settings.dataScanTime);
  write(kKeyResetPolarity, settings.resetPolarity);
  write(kKeyResetTime, settings.resetTime);
  write(kKeyDelayTimeAfterReset, settings.delayTimeAfterReset);
  write(kKeyBootType, settings.bootType);
  write(kKeyPrimaryBus, settings.primaryBus);
  write(kKeyIostrb, settings.iostrb);
  write(kKeyStrb0, settings.strb0);
  write(kKeyStrb1, settings.strb1);
  write(kKeyFlashRomType, settings.flashType);
  write(kKeyQuickVerify, settings.quickVerify ? 1 : 0);
  // "MicroTime Length" belongs to the calibration, which writes it itself.
}

uint32_t FlashCapacityBytes(uint8_t flashType) {
  switch (flashType) {
    case kAM29F010:
    case kAT29C010A:
      return 0x20000;
    case kAT29C020:
      return 0x40000;
    default:  // AM29F040, HY29F040A, AT29C040A; out-of-range types as the last one
      return 0x80000;
  }
}

BootRegion ComputeBootRegion(uint8_t flashType, uint8_t bootType, uint8_t dspType) {
  flashType = AtMost(flashType, kAT29C040A);
  bootType = AtMost(bootType, kBoot3);
  dspType = AtMost(dspType, kTMS320C33);
  const bool c32 = dspType == kTMS320C32;

  BootRegion region;
  region.sizeLimit = FlashCapacityBytes(flashType);
  if (c32 && bootType == kBoot2) region.sizeLimit = std::min<uint32_t>(region.sizeLimit, 0x20000);
  if (bootType == kBoot1) region.sizeLimit -= 0x1000;
  if (!c32 && bootType == kBoot3) region.sizeLimit = 0x1000;

  switch (bootType) {
    case kBoot1:
      region.baseAddress = 0x1000;
      break;
    case kBoot2:
      region.baseAddress = c32 ? 0x810000 : 0x400000;
      break;
    default:
      region.baseAddress = c32 ? 0x900000 : 0xFFF000;
      break;
  }
  return region;
}

DerivedTransferSettings Derive(const AppSettings& settings) {
  DerivedTransferSettings d;
  d.dspType = AtMost(settings.dspType, kTMS320C33);
  d.transferPauseUs =
      kTransferPauseUs[ClampIndex(settings.dataScanTime, LastIndex(kTransferPauseUs))];
  d.resetPolarity = settings.resetPolarity;
  d.resetPulseMs = kResetPulseMs[ClampIndex(settings.resetTime, LastIndex(kResetPulseMs))];
  d.delayAfterResetMs =
      kDelayAfterResetMs[ClampIndex(settings.delayTimeAfterReset, LastIndex(kDelayAfterResetMs))];
  d.primaryBus = settings.primaryBus;
  d.iostrb = settings.iostrb;
  d.strb0 = settings.strb0;
  d.strb1 = settings.strb1;
  d.flashType = AtMost(settings.flashType, kAT29C040A);
  d.bootBase = ComputeBootRegion(d.flashType, settings.bootType, d.dspType).baseAddress;
  d.quickVerify = settings.quickVerify;
  return d;
}

uint32_t MonitoringPeriodMs(const AppSettings& settings) {
  return kMonitoringPeriodMs[ClampIndex(settings.dataIntervalTime, LastIndex(kMonitoringPeriodMs))];
}

const char* DspTypeName(uint8_t dspType) {
  static constexpr const char* kNames[] = {"TMS320C31", "TMS320C32", "TMS320C33"};
  return kNames[AtMost(dspType, kTMS320C33)];
}

const char* BootTypeName(uint8_t bootType) {
  static constexpr const char* kNames[] = {"BOOT1", "BOOT2", "BOOT3"};
  return kNames[AtMost(bootType, kBoot3)];
}

const char* FlashTypeName(uint8_t flashType) {
  static constexpr const char* kNames[] = {"AM29F010",  "AM29F040", "HY29F040A",
                                           "AT29C010A", "AT29C020", "AT29C040A"};
  return kNames[AtMost(flashType, kAT29C040A)];
}

const char* BootRadioCaption(uint8_t bootType, uint8_t dspType) {
  const bool c32 = dspType == kTMS320C32;
  switch (bootType) {
    case kBoot1:
      return "Boot1 (INT0 : 0x1000)";
    case kBoot2:
      return c32 ? "Boot2 (INT1 : 0x810000)" : "Boot2 (INT1 : 0x400000)";
    default:
      return c32 ? "Boot3 (INT2 : 0x900000)" : "Boot3 (INT2 : 0xFFF000)";
  }
}

uint32_t ParseRegisterText(const std::string& text, uint32_t defaultValue) {
  auto isBlank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && isBlank(text[begin])) ++begin;
  while (end > begin && isBlank(text[end - 1])) --end;
  if (begin == end) return defaultValue;

  size_t i = begin;
  if (end - i >= 3 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
      std::isxdigit(static_cast<unsigned char>(text[i + 2])))
    i += 2;
  uint64_t value = 0;
  for (; i < end && std::isxdigit(static_cast<unsigned char>(text[i])); ++i) {
    const char c = text[i];
    const uint32_t digit = c <= '9' ? c - '0' : (std::tolower(c) - 'a' + 10);
    value = value * 16 + digit;
    if (value > 0xFFFFFFFFull) return 0xFFFFFFFFu;  // does not fit: saturates like strtoul
  }
  return static_cast<uint32_t>(value);
}

}  // namespace velmora
