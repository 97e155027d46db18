#include <gtest/gtest.h>

#include <QString>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <string>

#include "config/AppSettings.h"
#include "config/qt/QSettingsStore.h"

namespace velmora {
namespace {

class QSettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
  std::string Path() const { return (dir_.path() + "/velmora.ini").toStdString(); }
  QTemporaryDir dir_;
};

TEST_F(QSettingsStoreTest, ValuesSurviveAFreshInstance) {
  {
    QSettingsStore store(Path());
    store.WriteInt(kSectionMain, kKeyMcuType, 2);
    store.WriteInt(kSectionMain, kKeyPrimaryBus, 0xFFFFFFFF);
    store.WriteString(kSectionMain, kKeyCoffFilePath, "/home/ü/dsp prog/a.out");
    store.WriteString(kSectionUserMenu, "Name1", "Hex Tool");
    ASSERT_TRUE(store.Sync());
  }
  QSettingsStore store(Path());
  EXPECT_EQ(store.ReadInt(kSectionMain, kKeyMcuType, 1), 2);
  EXPECT_EQ(store.ReadInt(kSectionMain, kKeyPrimaryBus, 0), -1);
  EXPECT_EQ(store.ReadString(kSectionMain, kKeyCoffFilePath, ""), "/home/ü/dsp prog/a.out");
  EXPECT_EQ(store.ReadString(kSectionUserMenu, "Name1", ""), "Hex Tool");
  EXPECT_EQ(store.ReadString(kSectionMain, "Name1", "none"), "none");  // sections differ
  EXPECT_EQ(store.ReadInt(kSectionMain, kKeyBootType, 7), 7);
  EXPECT_TRUE(store.Contains(kSectionMain, kKeyMcuType));
  store.Remove(kSectionMain, kKeyMcuType);
  EXPECT_FALSE(store.Contains(kSectionMain, kKeyMcuType));
  EXPECT_EQ(store.ReadInt(kSectionMain, kKeyMcuType, 1), 1);
}

TEST_F(QSettingsStoreTest, HandEditedValuesReadSafely) {
  {
    std::ofstream ini(Path());
    ini << "[Main%20Configuration]\n"
           "MCU%20TYPE=256\n"
           "Data%20Interval%20Time=99\n"
           "Reset%20Time=abc\n"
           "Left=-20\n"
           "Top=4294967295\n";
  }
  QSettingsStore store(Path());
  AppSettings s;
  LoadSettings(store, s);
  EXPECT_EQ(s.dspType, kTMS320C31);
  EXPECT_EQ(s.dataIntervalTime, 15);
  EXPECT_EQ(s.resetTime, 1);  // not a number: the default
  EXPECT_EQ(s.left, -20);
  EXPECT_EQ(s.top, -1);
}

TEST_F(QSettingsStoreTest, UnwritableLocationReportsFailure) {
  const std::string blocker = dir_.path().toStdString() + "/file";
  std::ofstream(blocker) << "x";
  QSettingsStore store(blocker + "/sub/velmora.ini");  // parent is a file
  store.WriteInt(kSectionMain, kKeyMcuType, 1);
  EXPECT_FALSE(store.Sync());
}

TEST(QSettingsStoreDefault, LivesUnderTheCompanyAndApplicationKeys) {
  QSettingsStore store;
  const std::string location = store.Location();
  EXPECT_NE(location.find("Kelvaro"), std::string::npos) << location;
  EXPECT_NE(location.find("Velmora UT Ver2.24"), std::string::npos) << location;
}

}  // namespace
}  // namespace velmora
