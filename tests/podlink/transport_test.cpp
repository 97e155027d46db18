// Device search, open/close and the transfers with their time-outs.
#include <gtest/gtest.h>

#include "support/PodFixture.h"

namespace velmora::test {
namespace {

using Transport = PodFixture;

TEST_F(Transport, SearchTakesTheFirstAcceptedDescriptionInEnumerationOrder) {
  EXPECT_FALSE(link.FindDevice());  // library not loaded
  ASSERT_TRUE(link.LoadDriver());
  pod->devices = {"FT232R USB UART", "usb pod", "USB POD ", "USB POD", "USB TRAMO"};
  EXPECT_TRUE(link.FindDevice());
  EXPECT_EQ(link.Description(), "USB POD");
  EXPECT_EQ(pod->calls.back(), "FT_ListDevices 3");  // index 4 was never asked for
  for (const char* description : kPodDescriptions) {
    pod->devices = {"Other", description};
    EXPECT_TRUE(link.FindDevice()) << description;
    EXPECT_EQ(link.Description(), description);
  }
  pod->devices = {"USB TRAMO Writer", "USB POD"};
  pod->failingListIndices = {0};  // unreadable: skipped
  EXPECT_TRUE(link.FindDevice());
  EXPECT_EQ(link.Description(), "USB POD");

  pod->devices = {"USB Pod", "USB TRAMO Writer2"};
  EXPECT_FALSE(link.FindDevice());
  EXPECT_FALSE(link.Found());
  EXPECT_EQ(link.Description(), "");
  pod->devices = {};
  EXPECT_FALSE(link.FindDevice());
  pod->devices = {"USB POD"};
  pod->listCountStatus = FT_IO_ERROR;
  EXPECT_FALSE(link.FindDevice());
  EXPECT_FALSE(link.Open());
}

TEST(TransportLoad, MissingLibraryFailsEveryDeviceOperation) {
  VirtualClock clock;
  VirtualMicroDelayer delayer(clock);
  CPodLink link(
      [](std::string& error) -> std::unique_ptr<FtdiApi> {
        error = "cannot load libftd2xx.so";
        return nullptr;
      },
      clock, delayer);
  EXPECT_FALSE(link.LoadDriver());
  EXPECT_EQ(link.DriverError(), "cannot load libftd2xx.so");
  EXPECT_FALSE(link.FindDevice());
  EXPECT_FALSE(link.Open());
  EXPECT_TRUE(link.Close());
  EXPECT_FALSE(link.Purge());
  uint8_t byte = 0;
  EXPECT_FALSE(link.WriteBytes(&byte, 1, 300));
  EXPECT_FALSE(link.ResetTarget());
  uint32_t value = 7;
  EXPECT_FALSE(link.ReadTargetWord(0x809800, value));
  EXPECT_EQ(value, 7u);
}

TEST_F(Transport, OpenConfiguresTheDeviceInOrderOnce) {
  ASSERT_TRUE(link.LoadDriver());
  ASSERT_TRUE(link.FindDevice());
  pod->calls.clear();
  EXPECT_TRUE(link.Close());  // never opened: nothing called
  ASSERT_TRUE(link.Open());
  const std::vector<std::string> expected = {
      "FT_OpenEx USB POD 2",     "FT_ResetDevice",         "FT_GetLatencyTimer",
      "FT_SetLatencyTimer 1",    "FT_SetBaudRate 921600",  "FT_SetDataCharacteristics 8 0 0",
      "FT_SetFlowControl 0 0 0", "FT_SetTimeouts 300 300", "FT_Purge 3"};
  EXPECT_EQ(pod->calls, expected);
  EXPECT_TRUE(link.IsOpen());
  pod->calls.clear();
  EXPECT_TRUE(link.Open());  // already open: nothing touched
  EXPECT_TRUE(pod->calls.empty());
  // A latency of one is left alone.
  ASSERT_TRUE(link.Close());
  pod->calls.clear();
  ASSERT_TRUE(link.Open());
  EXPECT_EQ(pod->CountCalls("FT_SetLatencyTimer"), 0u);
}

TEST_F(Transport, OpenClosesTheDeviceWhenAnyConfigurationStepFails) {
  ASSERT_TRUE(link.LoadDriver());
  ASSERT_TRUE(link.FindDevice());
  for (const char* step :
       {"FT_ResetDevice", "FT_GetLatencyTimer", "FT_SetLatencyTimer", "FT_SetBaudRate",
        "FT_SetDataCharacteristics", "FT_SetFlowControl", "FT_SetTimeouts", "FT_Purge"}) {
    pod->failCalls = {{step, FT_IO_ERROR}};
    pod->calls.clear();
    EXPECT_FALSE(link.Open()) << step;
    EXPECT_FALSE(link.IsOpen()) << step;
    EXPECT_EQ(pod->calls.back(), "FT_Close") << step;
  }
  pod->failCalls = {{"FT_OpenEx", FT_DEVICE_NOT_FOUND}};
  pod->calls.clear();
  EXPECT_FALSE(link.Open());
  EXPECT_EQ(pod->CountCalls("FT_Close"), 0u);
}

TEST_F(Transport, CloseKeepsTheDeviceOpenWhenThePurgeOrCloseFails) {
  OpenLink();
  pod->failCalls = {{"FT_Purge", FT_IO_ERROR}};
  EXPECT_FALSE(link.Close());
  EXPECT_TRUE(link.IsOpen());
  EXPECT_EQ(pod->CountCalls("FT_Close"), 0u);
  pod->failCalls = {{"FT_Close", FT_IO_ERROR}};
  EXPECT_FALSE(link.Close());
  pod->failCalls.clear();
  EXPECT_TRUE(link.Close());
  EXPECT_FALSE(link.IsOpen());
}

TEST_F(Transport, WritesCompleteAcrossPartialWritesAndStopAtALibraryError) {
  OpenLink();
  pod->writeChunk = 4;
  const uint8_t bytes[9] = {'S', '0', '0', '8', '0', '9', '8', '1', '0'};
  EXPECT_TRUE(link.WriteBytes(bytes, 9, 300));
  EXPECT_EQ(pod->sent, std::vector<uint8_t>(bytes, bytes + 9));
  EXPECT_EQ(pod->writeSizes, (std::vector<uint32_t>{4, 4, 1}));
  pod->sent.clear();
  pod->FailWrite(1);
  EXPECT_FALSE(link.WriteBytes(bytes, 9, 300));
  EXPECT_TRUE(pod->sent.empty());
}

TEST_F(Transport, ReadsEndAfterTheIdleLimitOrTheCallersLimit) {
  OpenLink();
  pod->rx = {0x11, 0x22};
  pod->readBlockMs = 10;  // a library whose reads return quickly
  uint8_t buffer[4] = {};
  uint32_t start = clock.NowMs();
  EXPECT_FALSE(link.ReadBytes(buffer, 4, 300));
  EXPECT_TRUE(pod->rx.empty());
  EXPECT_EQ(buffer[0], 0x11);
  EXPECT_EQ(buffer[1], 0x22);
  // Once bytes have moved, 100 ms of silence ends the read, not the caller's 300.
  EXPECT_GE(clock.NowMs() - start, 100u);
  EXPECT_LT(clock.NowMs() - start, 300u);

  pod->readBlockMs = 0;  // a silent pod
  start = clock.NowMs();
  EXPECT_FALSE(link.ReadBytes(buffer, 1, 2100));
  EXPECT_GE(clock.NowMs() - start, 2100u);
  EXPECT_LT(clock.NowMs() - start, 2100u + kTransferOverallMarginMs);
}

TEST_F(Transport, QueuesThatNeverEmptyCannotHangATransfer) {
  OpenLink();
  const uint8_t bytes[9] = {'S', '0', '0', '0', '0', '0', '0', '0', '1'};
  pod->fault = FakePod::Fault::kStuckTxQueue;
  uint32_t start = clock.NowMs();
  EXPECT_FALSE(link.WriteBytes(bytes, 9, 300));
  EXPECT_LE(clock.NowMs() - start, 300 + kTransferOverallMarginMs + 300);
  pod->fault = FakePod::Fault::kStuckRxQueue;
  uint8_t reply[4];
  start = clock.NowMs();
  EXPECT_FALSE(link.ReadBytes(reply, 4, 300));
  EXPECT_LE(clock.NowMs() - start, 300 + kTransferOverallMarginMs + 300);
}

}  // namespace
}  // namespace velmora::test
