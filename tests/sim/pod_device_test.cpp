// The pod and its board through the D2XX-style device, byte by byte, on a
// virtual clock.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "SimTestSupport.h"
#include "sim/SimFtdiDevice.h"

namespace velmora::sim::test {
namespace {

struct Host {
  VirtualClock clock;
  std::unique_ptr<SimFtdiDevice> dev;
  FT_HANDLE h = nullptr;

  // With echo, the board runs EchoProgram from internal RAM.
  explicit Host(const PodOptions& pod = {}, bool echo = false) {
    dev = std::make_unique<SimFtdiDevice>(std::make_unique<Board>(BoardConfig{}), pod, clock);
    if (!echo) return;
    board().LoadWords(kRam, EchoProgram(kRam));
    board().StartAt(kRam);
  }
  Board& board() { return dev->TheBoard(); }
  void Open(uint32_t baud = 921600) {
    char desc[] = "USB POD";
    ASSERT_EQ(dev->FT_OpenEx(desc, FT_OPEN_BY_DESCRIPTION, &h), FT_OK);
    ASSERT_EQ(dev->FT_SetBaudRate(h, baud), FT_OK);
    ASSERT_EQ(dev->FT_SetDataCharacteristics(h, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE), FT_OK);
    ASSERT_EQ(dev->FT_SetLatencyTimer(h, 1), FT_OK);
    ASSERT_EQ(dev->FT_SetTimeouts(h, 300, 300), FT_OK);
  }
  void Write(const std::string& s) {
    DWORD written = 0;
    std::string copy = s;
    ASSERT_EQ(dev->FT_Write(h, copy.data(), static_cast<DWORD>(copy.size()), &written), FT_OK);
    ASSERT_EQ(written, copy.size());
  }
  std::string Read(DWORD n) {
    std::string buf(n, '\0');
    DWORD got = 0;
    EXPECT_EQ(dev->FT_Read(h, buf.data(), n, &got), FT_OK);
    buf.resize(got);
    return buf;
  }
  static std::string Cmd(char c, uint32_t w) {
    char b[16];
    std::snprintf(b, sizeof b, "%c%08X", c, w);
    return b;
  }
  static uint32_t Word(const std::string& s) {
    uint32_t w = 0;
    for (int i = 3; i >= 0; --i) w = (w << 8) | static_cast<uint8_t>(s[i]);
    return w;
  }
};

TEST(SimDevice, ListsAndOpensOnePodDescribedUsbPod) {
  Host host;
  DWORD count = 0;
  ASSERT_EQ(host.dev->FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
  EXPECT_EQ(count, 1u);
  char buf[64] = {};
  ASSERT_EQ(host.dev->FT_ListDevices(reinterpret_cast<void*>(uintptr_t{0}), buf,
                                     FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION),
            FT_OK);
  EXPECT_STREQ(buf, "USB POD");
  EXPECT_NE(host.dev->FT_ListDevices(reinterpret_cast<void*>(uintptr_t{1}), buf,
                                     FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION),
            FT_OK);
  char wrong[] = "usb pod";
  FT_HANDLE h = nullptr;
  EXPECT_EQ(host.dev->FT_OpenEx(wrong, FT_OPEN_BY_DESCRIPTION, &h), FT_DEVICE_NOT_FOUND);
  host.Open();
  char desc[] = "USB POD";
  EXPECT_NE(host.dev->FT_OpenEx(desc, FT_OPEN_BY_DESCRIPTION, &h), FT_OK);  // in use
  UCHAR latency = 0;
  EXPECT_EQ(host.dev->FT_GetLatencyTimer(host.h, &latency), FT_OK);
  EXPECT_EQ(latency, 1);

  host.dev->SetUnplugged(true);
  EXPECT_EQ(host.dev->FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
  EXPECT_EQ(count, 0u);
  DWORD q = 0;
  EXPECT_EQ(host.dev->FT_GetQueueStatus(host.h, &q), FT_IO_ERROR);
  host.dev->SetUnplugged(false);
  EXPECT_EQ(host.dev->FT_Close(host.h), FT_OK);
  EXPECT_EQ(host.dev->FT_Close(host.h), FT_INVALID_HANDLE);
}

TEST(SimDevice, ResetPulsesTheTargetWithPolarityAndLengthThenAnswersR) {
  Host host;
  host.Open();
  host.board().PowerUp();
  const uint64_t t0 = host.clock.NowUs();
  host.Write("R000000C8");    // active-low, 200 ms
  host.clock.AdvanceUs(200);  // nine bytes on the wire take about 98 us
  host.dev->Sync();
  EXPECT_EQ(host.board().State(), BoardState::InReset);
  // The "R" comes after the pulse; the host allows pulse x 2 + 100 ms.
  host.dev->FT_SetTimeouts(host.h, 500, 300);
  EXPECT_EQ(host.Read(1), "R");
  const uint64_t waited = host.clock.NowUs() - t0;
  EXPECT_GE(waited, 200'000u);
  EXPECT_LT(waited, 210'000u);
  EXPECT_EQ(host.board().State(), BoardState::BootWait);

  // An active-high pulse on this active-low board leaves it held in reset.
  host.Write("R000100C8");
  EXPECT_EQ(host.Read(1), "R");
  EXPECT_EQ(host.board().State(), BoardState::InReset);
}

// A pod that never answers the reset and a serial link that breaks are
// end-to-end runs (--sim-reset-reply=0, --sim-break-after).
TEST(SimDevice, OldFirmwareTakesThePlainReset) {
  PodOptions old;
  old.firmwareVersion = 0x11;
  Host host(old);
  host.Open();
  host.Write("R");
  EXPECT_EQ(host.Read(1), "R");
}

TEST(SimDevice, ExchangesCarryTheOneTransferLag) {
  Host host({}, true);
  host.Open();
  host.Write(Host::Cmd('S', 100));
  host.Write(Host::Cmd('V', 200));
  std::string r = host.Read(4);
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(Host::Word(r), 101u);
  host.Write(Host::Cmd('V', 0x12345678));
  EXPECT_EQ(Host::Word(host.Read(4)), 201u);
  host.Write(Host::Cmd('V', 0));
  EXPECT_EQ(Host::Word(host.Read(4)), 0x12345679u);
  // Lower-case hex digits are accepted; garbage before a command is skipped.
  host.Write("xyV0000000a");
  EXPECT_EQ(Host::Word(host.Read(4)), 1u);
}

TEST(SimDevice, WrongLineSettingsGarbleTheTrafficReadsTimeOutAndPurgeDropsReplies) {
  Host host;
  host.Open(115200);
  host.Write("?");
  EXPECT_EQ(host.Read(2), "");

  Host good;
  good.Open();
  good.Write("?");
  const uint64_t t0 = good.clock.NowUs();
  EXPECT_EQ(good.Read(4), std::string("?\x12"));  // asked for 4, only 2 come
  EXPECT_GE(good.clock.NowUs() - t0, 300'000u);
  // Wait until a reply is there, then purge it.
  good.Write("?");
  good.clock.AdvanceUs(5'000);
  DWORD q = 0;
  ASSERT_EQ(good.dev->FT_GetQueueStatus(good.h, &q), FT_OK);
  EXPECT_EQ(q, 2u);
  ASSERT_EQ(good.dev->FT_Purge(good.h, FT_PURGE_RX | FT_PURGE_TX), FT_OK);
  ASSERT_EQ(good.dev->FT_GetQueueStatus(good.h, &q), FT_OK);
  EXPECT_EQ(q, 0u);
}

}  // namespace
}  // namespace velmora::sim::test
