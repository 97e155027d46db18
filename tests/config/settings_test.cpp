#include <gtest/gtest.h>

#include <string>

#include "config/AppSettings.h"
#include "config/SettingsStore.h"

namespace velmora {
namespace {

AppSettings LoadFrom(MemorySettingsStore& store) {
  // Start from a record that differs from every default, so a field that Load
  // forgets to set shows up.
  AppSettings s{0xEE,       -77,        -77,        -77,  -77, -77, 0xEE, 0xDEADBEEF,
                0xDEADBEEF, 0xDEADBEEF, 0xDEADBEEF, 0xEE, -77, -77, -77,  -77,
                -77,        77,         77,         -77,  -77, -77, -77,  true};
  LoadSettings(store, s);
  return s;
}

TEST(AppSettingsLoad, EmptyStoreGivesDocumentedDefaults) {
  MemorySettingsStore store;
  const AppSettings s = LoadFrom(store);
  EXPECT_EQ(s, AppSettings{});
  const DerivedTransferSettings d = Derive(s);
  EXPECT_STREQ(DspTypeName(s.dspType), "TMS320C32");
  EXPECT_STREQ(BootTypeName(s.bootType), "BOOT1");
  EXPECT_STREQ(FlashTypeName(d.flashType), "AM29F040");
  EXPECT_EQ(MonitoringPeriodMs(s), 100u);
  EXPECT_EQ(d.transferPauseUs, 50u);
  EXPECT_EQ(d.resetPolarity, 0);
  EXPECT_EQ(d.resetPulseMs, 200u);
  EXPECT_EQ(d.delayAfterResetMs, 500u);
  EXPECT_EQ(d.bootBase, 0x1000u);
  EXPECT_EQ(std::vector<uint32_t>({d.primaryBus, d.iostrb, d.strb0, d.strb1}),
            std::vector<uint32_t>({0x000008F8, 0x000000F8, 0x000F08F8, 0x000F08F8}));
  EXPECT_EQ(std::vector<int32_t>({s.left, s.top, s.right, s.bottom, s.leftPaneWidth,
                                  s.rightPaneHeight, s.msgWndCX, s.msgWndCY}),
            std::vector<int32_t>({100, 50, 900, 650, 400, 200, 0, 0}));
  EXPECT_EQ(s.showCmd, 1u);
  EXPECT_EQ(s.firstSetup, 0u);
}

struct ClampCase {
  const char* key;
  int32_t stored;
  int32_t loaded;
};

int32_t LoadedField(const AppSettings& s, const std::string& key) {
  if (key == kKeyMcuType) return s.dspType;
  if (key == kKeyDataIntervalTime) return s.dataIntervalTime;
  if (key == kKeyDataScanTime) return s.dataScanTime;
  if (key == kKeyResetTime) return s.resetTime;
  if (key == kKeyDelayTimeAfterReset) return s.delayTimeAfterReset;
  if (key == kKeyBootType) return s.bootType;
  if (key == kKeyFlashRomType) return s.flashType;
  if (key == kKeyResetPolarity) return s.resetPolarity;
  if (key == kKeyMicroTimeLength) return s.microTimeLength;
  return -12345;
}

TEST(AppSettingsLoad, ClampsOutOfRangeValues) {
  const ClampCase cases[] = {
      // 8-bit fields keep their low byte, then clamp unsigned.
      {kKeyMcuType, 256, 0},
      {kKeyMcuType, 7, 2},
      {kKeyMcuType, 258, 2},
      {kKeyMcuType, 0x101, 1},
      {kKeyMcuType, -1, 2},
      {kKeyBootType, 3, 2},
      {kKeyBootType, 0x201, 1},
      {kKeyFlashRomType, 6, 5},
      {kKeyFlashRomType, 0x100, 0},
      {kKeyFlashRomType, 4, 4},
      // 32-bit indices clamp signed at both ends.
      {kKeyDataIntervalTime, 99, 15},
      {kKeyDataIntervalTime, 16, 15},
      {kKeyDataIntervalTime, 15, 15},
      {kKeyDataIntervalTime, -1, 0},
      {kKeyDataIntervalTime, INT32_MIN, 0},
      {kKeyDataScanTime, 14, 13},
      {kKeyDataScanTime, -5, 0},
      {kKeyResetTime, 10, 9},
      {kKeyResetTime, -2, 0},
      {kKeyDelayTimeAfterReset, 100, 9},
      {kKeyDelayTimeAfterReset, -100, 0},
      // Taken as stored.
      {kKeyResetPolarity, 7, 7},
      {kKeyResetPolarity, -3, -3},
      {kKeyMicroTimeLength, -9, -9},
  };
  for (const auto& c : cases) {
    MemorySettingsStore store;
    store.WriteInt(kSectionMain, c.key, static_cast<uint32_t>(c.stored));
    EXPECT_EQ(LoadedField(LoadFrom(store), c.key), c.loaded) << c.key << " stored as " << c.stored;
  }
}

TEST(AppSettingsLoad, RegisterValuesAreTakenAsStored) {
  MemorySettingsStore store;
  store.WriteInt(kSectionMain, kKeyPrimaryBus, 0xFFFFFFFF);
  store.WriteInt(kSectionMain, kKeyIostrb, 0);
  store.WriteInt(kSectionMain, kKeyStrb0, 0x80000000);
  store.WriteInt(kSectionMain, kKeyStrb1, 0x12345678);
  const AppSettings s = LoadFrom(store);
  EXPECT_EQ(s.primaryBus, 0xFFFFFFFFu);
  EXPECT_EQ(s.iostrb, 0u);
  EXPECT_EQ(s.strb0, 0x80000000u);
  EXPECT_EQ(s.strb1, 0x12345678u);
}

TEST(AppSettingsSave, WritesEveryValueAndRoundTrips) {
  const AppSettings s{kTMS320C31, 15, 13, 1,          9,   0,   kBoot3, 0xFFFFFFFF,
                      1,          2,  3,  kAT29C040A, 0,   -20, 7,      1900,
                      1000,       3,  1,  123,        321, 640, 480,    true};
  MemorySettingsStore store;
  AppSettings saved = s;
  SaveSettings(store, saved);
  AppSettings back = LoadFrom(store);
  back.microTimeLength = s.microTimeLength;  // not saved here
  EXPECT_EQ(back, s);
  // Integers are written as unsigned 32-bit values.
  EXPECT_EQ(store.ReadString(kSectionMain, "Left", ""), "4294967276");
  EXPECT_EQ(store.ReadString(kSectionMain, kKeyMcuType, ""), "0");
}

TEST(AppSettingsSave, FirstSetupBecomesOneAndMicroTimeIsLeftAlone) {
  MemorySettingsStore store;
  AppSettings s = LoadFrom(store);
  s.microTimeLength = 42;
  SaveSettings(store, s);
  EXPECT_EQ(s.firstSetup, 1u);
  EXPECT_EQ(store.ReadInt(kSectionMain, "FirstSetup", -1), 1);
  EXPECT_FALSE(store.Contains(kSectionMain, kKeyMicroTimeLength));

  // A calibration value already stored is not touched either.
  store.WriteInt(kSectionMain, kKeyMicroTimeLength, 150);
  s.microTimeLength = 9;
  s.firstSetup = 5;
  SaveSettings(store, s);
  EXPECT_EQ(store.ReadInt(kSectionMain, kKeyMicroTimeLength, 0), 150);
  EXPECT_EQ(store.ReadInt(kSectionMain, "FirstSetup", -1), 5);
}

struct RegionCase {
  uint8_t dsp, boot, flash;
  uint32_t limit, base;
};

TEST(BootRegionTable, LimitsAndBases) {
  const RegionCase cases[] = {
      {kTMS320C31, kBoot1, kAM29F040, 0x7F000, 0x1000},
      {kTMS320C31, kBoot3, kAM29F040, 0x1000, 0xFFF000},
      {kTMS320C31, kBoot2, kAM29F040, 0x80000, 0x400000},
      {kTMS320C31, kBoot2, kAT29C020, 0x40000, 0x400000},
      {kTMS320C33, kBoot1, kAM29F010, 0x1F000, 0x1000},
      {kTMS320C33, kBoot3, kAT29C040A, 0x1000, 0xFFF000},
      {kTMS320C33, kBoot2, kHY29F040A, 0x80000, 0x400000},
      // TMS320C32 Boot2 is capped at 0x20000 whatever the chip.
      {kTMS320C32, kBoot2, kAM29F040, 0x20000, 0x810000},
      {kTMS320C32, kBoot2, kAM29F010, 0x20000, 0x810000},
      {kTMS320C32, kBoot2, kHY29F040A, 0x20000, 0x810000},
      {kTMS320C32, kBoot2, kAT29C010A, 0x20000, 0x810000},
      {kTMS320C32, kBoot2, kAT29C020, 0x20000, 0x810000},
      {kTMS320C32, kBoot2, kAT29C040A, 0x20000, 0x810000},
      // ...and has no 0x1000 cap on Boot3.
      {kTMS320C32, kBoot3, kAT29C040A, 0x80000, 0x900000},
      {kTMS320C32, kBoot3, kAT29C020, 0x40000, 0x900000},
      {kTMS320C32, kBoot1, kAT29C020, 0x3F000, 0x1000},
      {kTMS320C32, kBoot1, kAT29C010A, 0x1F000, 0x1000},
  };
  for (const auto& c : cases) {
    const BootRegion r = ComputeBootRegion(c.flash, c.boot, c.dsp);
    EXPECT_EQ(r.sizeLimit, c.limit)
        << DspTypeName(c.dsp) << " " << BootTypeName(c.boot) << " " << FlashTypeName(c.flash);
    EXPECT_EQ(r.baseAddress, c.base) << DspTypeName(c.dsp) << " " << BootTypeName(c.boot);
  }
}

TEST(DeriveSettings, FollowsTablesAndSurvivesOutOfRangeRecords) {
  AppSettings s;
  s.dspType = kTMS320C31;
  s.bootType = kBoot3;
  s.dataScanTime = 13;
  s.resetTime = 0;
  s.delayTimeAfterReset = 0;
  DerivedTransferSettings d = Derive(s);
  EXPECT_EQ(d.transferPauseUs, 10000u);
  EXPECT_EQ(d.resetPulseMs, 100u);
  EXPECT_EQ(d.delayAfterResetMs, 50u);
  EXPECT_EQ(d.bootBase, 0xFFF000u);
  EXPECT_EQ(d.dspType, kTMS320C31);

  // A record edited behind the loader's back must not index past a table.
  s.dataScanTime = 1000;
  s.resetTime = -4;
  s.delayTimeAfterReset = 10;
  s.dataIntervalTime = 16;
  d = Derive(s);
  EXPECT_EQ(d.transferPauseUs, 10000u);
  EXPECT_EQ(d.resetPulseMs, 100u);
  EXPECT_EQ(d.delayAfterResetMs, 5000u);
  EXPECT_EQ(MonitoringPeriodMs(s), 5000u);
  s.dataIntervalTime = 0;
  EXPECT_EQ(MonitoringPeriodMs(s), 1u);
}

// The captions are checked by the configuration dialog's tests.
TEST(ConfigTexts, OutOfRangeNamesAndRegisterText) {
  EXPECT_STREQ(DspTypeName(9), "TMS320C33");
  const struct {
    const char* text;
    uint32_t previous, value;
  } cases[] = {{"0x58", 1, 88},
               {"5G", 1, 5},
               {"G5", 1, 0},
               {"", 985176, 985176},
               {"  \t ", 88, 88},
               {" 000f0858 ", 0, 0x000F0858},
               {"0x", 7, 0},
               {"FFFFFFFF", 0, 0xFFFFFFFF},
               {"123456789", 0, 0xFFFFFFFF}};
  for (const auto& c : cases) EXPECT_EQ(ParseRegisterText(c.text, c.previous), c.value) << c.text;
}

TEST(MemoryStore, IntegersKeepTheirBitsAndJunkReadsAsDefault) {
  MemorySettingsStore store;
  store.WriteInt("S", "k", 0xFFFFFFFF);
  EXPECT_EQ(store.ReadInt("S", "k", 0), -1);
  store.Values()[{"S", "wide"}] = "4294967298";  // wider than 32 bits: low bits kept
  EXPECT_EQ(store.ReadInt("S", "wide", 0), 2);
  store.Values()[{"S", "junk"}] = "12abc";
  EXPECT_EQ(store.ReadInt("S", "junk", 31), 31);
  store.WriteString("S", "str", "C:\\dsp\\prog.out");
  EXPECT_EQ(store.ReadString("S", "str", ""), "C:\\dsp\\prog.out");
  EXPECT_EQ(store.ReadString("S", "missing", "dflt"), "dflt");
  EXPECT_EQ(store.ReadInt("Other", "k", 5), 5);  // sections are separate
  store.Remove("S", "k");
  EXPECT_FALSE(store.Contains("S", "k"));
}

}  // namespace
}  // namespace velmora
