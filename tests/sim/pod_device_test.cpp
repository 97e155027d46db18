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
  void Open(uint32_t baud = 921600, UCHAR latencyMs = 1) {
    char desc[] = "USB POD";
    ASSERT_EQ(dev->FT_OpenEx(desc, FT_OPEN_BY_DESCRIPTION, &h), FT_OK);
    ASSERT_EQ(dev->FT_SetBaudRate(h, baud), FT_OK);
    ASSERT_EQ(dev->FT_SetDataCharacteristics(h, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE), FT_OK);
    ASSERT_EQ(dev->FT_SetLatencyTimer(h, latencyMs), FT_OK);
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
  DWORD Queued() {
    DWORD q = 0;
    EXPECT_EQ(dev->FT_GetQueueStatus(h, &q), FT_OK);
    return q;
  }
  DWORD TxCount() {
    DWORD rx = 0, tx = 0, event = 0;
    EXPECT_EQ(dev->FT_GetStatus(h, &rx, &tx, &event), FT_OK);
    return tx;
  }
  static std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
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

// One byte, 8N1, at the rate the chip makes of 921600 baud: 3 MHz / 3.25.
const uint64_t kByteNs = static_cast<uint64_t>(10e9 / (3'000'000 / 3.25));

TEST(SimChip, TheBaudRateIsTheNearestDivisorsAndTheDriverWantsItWithinThreePercent) {
  struct Case {
    uint32_t asked;
    double chip;
    bool driverTakes;
  };
  Host host;
  host.Open();
  for (const Case c :
       {Case{921600, 3e6 / 3.25, true}, Case{9600, 9600, true}, Case{3'000'000, 3e6, true},
        Case{2'050'000, 2e6, true}, Case{1'700'000, 1.5e6, false}, Case{490000, 3e6 / 6.125, true},
        Case{100, 3e6 / (16384 + 7 / 8.0), false}}) {
    EXPECT_DOUBLE_EQ(SimFtdiDevice::ChipBaud(c.asked), c.chip) << c.asked;
    EXPECT_EQ(host.dev->FT_SetBaudRate(host.h, c.asked) == FT_OK, c.driverTakes) << c.asked;
  }
}

TEST(SimChip, ATransmitPurgeDropsWhatHasNotStartedOnTheLine) {
  // Seven S commands in one write (63 bytes, about 0.68 ms on the line);
  // only commands whose every byte had started before the purge get through.
  struct Case {
    uint64_t purgeAfterUs;
    uint64_t frames;
  };
  for (const Case c : {Case{0, 0}, Case{100, 1}, Case{400, 4}, Case{700, 7}}) {
    SCOPED_TRACE(c.purgeAfterUs);
    Host host;
    host.Open();
    host.Write(Host::Repeat(Host::Cmd('S', 1), 7));
    host.clock.AdvanceUs(c.purgeAfterUs);
    ASSERT_EQ(host.dev->FT_Purge(host.h, FT_PURGE_TX), FT_OK);
    host.clock.AdvanceUs(5'000);
    host.dev->Sync();
    EXPECT_EQ(host.dev->Pod().FramesSent(), c.frames);
  }
}

TEST(SimChip, TheDriversTransmitCountLeavesOutTheChipsFifoAndLongWritesWait) {
  Host host;
  host.Open();
  const uint64_t t0 = host.clock.NowUs();
  host.Write(std::string(300, 'x'));  // bytes that start no command
  EXPECT_EQ(host.clock.NowUs(), t0);  // the driver takes them at once
  struct Case {
    uint64_t atUs;
    DWORD tx;
  };
  // 299 bytes wait behind the first; the chip's FIFO holds 256 of them.
  for (const Case c : {Case{0, 43}, Case{400, 7}, Case{470, 0}, Case{2'000, 0}}) {
    host.clock.AdvanceUs(t0 + c.atUs - host.clock.NowUs());
    EXPECT_EQ(host.TxCount(), c.tx) << c.atUs;
  }
  // A write beyond what chip and driver hold returns once the excess started.
  host.clock.AdvanceUs(10'000);
  const uint64_t t1 = host.clock.NowUs();
  host.Write(std::string(500, 'x'));
  const uint64_t waitedNs = (host.clock.NowUs() - t1) * 1000;
  EXPECT_GE(waitedNs, (500 - SimFtdiDevice::kTxBuffer - 1) * kByteNs);
  EXPECT_LT(waitedNs, (500 - SimFtdiDevice::kTxBuffer + 1) * kByteNs);
}

TEST(SimChip, RepliesReachTheHostWhenTheLatencyTimerRunsOutOrAPacketFills) {
  Host host({}, true);
  host.Open(921600, 16);
  const uint64_t t0 = host.clock.NowUs();
  host.Write("?");  // two bytes back within 50 us, handed over at the timer's tick
  host.clock.AdvanceUs(15'900);
  EXPECT_EQ(host.Queued(), 0u);
  host.clock.AdvanceUs(t0 + 16'000 - host.clock.NowUs());
  EXPECT_EQ(host.Queued(), 2u);
  EXPECT_EQ(host.Read(2), std::string("?\x12"));

  // Sixteen V commands: 64 reply bytes, all in by about 2 ms. 62 fill a
  // packet, which goes at once and restarts the timer; the other two wait
  // for its next tick.
  host.Write(Host::Repeat(Host::Cmd('V', 5), 16));
  host.clock.AdvanceUs(5'000);
  EXPECT_EQ(host.Queued(), 62u);
  host.clock.AdvanceUs(t0 + 32'000 - host.clock.NowUs());
  EXPECT_EQ(host.Queued(), 62u);
  host.clock.AdvanceUs(t0 + 36'000 - host.clock.NowUs());
  EXPECT_EQ(host.Queued(), 64u);
}

TEST(SimChip, RawTransfersCarryTheStatusBytesAndAnUnreadFifoOverflows) {
  Host host({}, true);
  SimFtdiDevice& dev = *host.dev;
  ASSERT_EQ(dev.UsbOpen(), SimFtdiDevice::kUsbOk);
  EXPECT_EQ(dev.UsbOpen(), SimFtdiDevice::kUsbBusy);
  ASSERT_EQ(dev.UsbSetBaud(921600), SimFtdiDevice::kUsbOk);
  ASSERT_EQ(dev.UsbSetLatency(1), SimFtdiDevice::kUsbOk);
  // 40 V commands (360 bytes): the write returns once the chip's 256-byte
  // FIFO holds the rest; the 160 reply bytes meet a 128-byte FIFO nobody reads.
  const std::string commands = Host::Repeat(Host::Cmd('V', 7), 40);
  size_t done = 0;
  const uint64_t t0 = host.clock.NowUs();
  ASSERT_EQ(dev.UsbBulkOut(reinterpret_cast<const uint8_t*>(commands.data()), commands.size(), 300,
                           &done),
            SimFtdiDevice::kUsbOk);
  EXPECT_EQ(done, commands.size());
  EXPECT_GE((host.clock.NowUs() - t0) * 1000, (360 - 256 - 1) * kByteNs);
  host.clock.AdvanceUs(10'000);
  uint8_t buffer[4096];
  size_t got = 0;
  ASSERT_EQ(dev.UsbBulkIn(buffer, sizeof buffer, 300, &got), SimFtdiDevice::kUsbOk);
  // Two full packets and a short one: 128 data bytes, 2 status bytes each.
  ASSERT_EQ(got, 64u + 64u + 6u);
  for (size_t at : {0u, 64u, 128u}) EXPECT_EQ(buffer[at], 0x01) << at;
  EXPECT_EQ(buffer[1] & 0x02, 0x02);  // overrun, reported once
  EXPECT_EQ(buffer[65] & 0x02, 0x00);
  EXPECT_EQ(buffer[1] & 0x60, 0x60);  // nothing waits for the line
  EXPECT_EQ(dev.OverrunBytes(), 32u);
  // Nothing more: a status-only packet when the timer runs out again.
  const uint64_t t1 = host.clock.NowUs();
  ASSERT_EQ(dev.UsbBulkIn(buffer, sizeof buffer, 300, &got), SimFtdiDevice::kUsbOk);
  EXPECT_EQ(got, 2u);
  EXPECT_EQ(host.clock.NowUs() - t1, 1'000u);
  dev.UsbClose();
}

}  // namespace
}  // namespace velmora::sim::test
