// The pod link's word port: grouped reads send exactly the commands of one
// ReadTargetWord per word, stop at a broken link with the words read so far,
// and fall back to one read at a time when the transfer pause is long.
#include <gtest/gtest.h>

#include <memory>

#include "config/AppSettings.h"
#include "monitoring/TargetPort.h"
#include "monitoring/responder_pod.h"
#include "podlink/PodLink.h"

namespace velmora {
namespace {

using test::ApiProxy;
using test::RecordingDelayer;
using test::ResponderPod;

struct PortRig {
  explicit PortRig(uint32_t pauseUs) {
    link = std::make_unique<CPodLink>(
        [this](std::string&) { return std::unique_ptr<FtdiApi>(new ApiProxy(pod)); }, clock,
        delayer);
    DerivedTransferSettings settings;
    settings.transferPauseUs = pauseUs;
    link->SetTransferSettings(settings);
    link->LoadDriver();
    link->FindDevice();
    link->Open();
  }
  VirtualClock clock;
  RecordingDelayer delayer{clock};
  ResponderPod pod;
  std::unique_ptr<CPodLink> link;
};

std::vector<uint32_t> Addresses(size_t n) {
  std::vector<uint32_t> a;
  for (size_t i = 0; i < n; ++i) a.push_back(0x809800 + static_cast<uint32_t>(i * 3));
  return a;
}

TEST(PodLinkPort, GroupedReadsSendTheSameCommandsAsSingleReads) {
  const std::vector<uint32_t> addresses = Addresses(40);
  PortRig grouped(10), single(10);
  for (PortRig* rig : {&grouped, &single})
    for (uint32_t a : addresses) rig->pod.memory[a] = a * 7 + 1;

  PodLinkPort port(*grouped.link);
  ASSERT_TRUE(port.CanPipeline());
  std::vector<uint32_t> values(addresses.size());
  EXPECT_EQ(port.ReadTargetWords(addresses.data(), addresses.size(), values.data()),
            addresses.size());
  for (size_t i = 0; i < addresses.size(); ++i) EXPECT_EQ(values[i], addresses[i] * 7 + 1) << i;

  for (uint32_t a : addresses) {
    uint32_t v = 0;
    ASSERT_TRUE(single.link->ReadTargetWord(a, v));
  }
  EXPECT_EQ(grouped.pod.commands, single.pod.commands);
  // Three writes of at most 16 words instead of 80 single commands, and no
  // busy-wait: the wire spaces the commands.
  EXPECT_EQ(grouped.pod.writeSizes, (std::vector<size_t>{16 * 18, 16 * 18, 8 * 18}));
  EXPECT_TRUE(grouped.delayer.delays.empty());
  EXPECT_EQ(single.delayer.delays.size(), 80u);
}

TEST(PodLinkPort, ABrokenLinkGivesTheWordsReadBeforeIt) {
  PortRig rig(10);
  const std::vector<uint32_t> addresses = Addresses(20);
  for (uint32_t a : addresses) rig.pod.memory[a] = a;
  rig.pod.FailRead(18);  // in the second group
  PodLinkPort port(*rig.link);
  std::vector<uint32_t> values(addresses.size(), 0xDEAD);
  EXPECT_EQ(port.ReadTargetWords(addresses.data(), addresses.size(), values.data()), 17u);
  for (size_t i = 0; i < 17; ++i) EXPECT_EQ(values[i], addresses[i]);
  EXPECT_EQ(values[17], 0xDEADu);
  // The link was purged, so the next read sees no stale reply.
  const int purges = rig.pod.purges;
  EXPECT_GT(purges, 0);
  uint32_t v = 0;
  EXPECT_TRUE(rig.link->ReadTargetWord(addresses[5], v));
  EXPECT_EQ(v, addresses[5]);
}

TEST(PodLinkPort, LongPausesAreKeptByReadingOneWordAtATime) {
  PortRig rig(1000);
  PodLinkPort port(*rig.link);
  EXPECT_FALSE(port.CanPipeline());
  EXPECT_EQ(PodLinkPort::CommandWireTimeUs(), 97u);
  const std::vector<uint32_t> addresses = Addresses(3);
  for (uint32_t a : addresses) rig.pod.memory[a] = a + 1;
  std::vector<uint32_t> values(3);
  EXPECT_EQ(port.ReadTargetWords(addresses.data(), 3, values.data()), 3u);
  EXPECT_EQ(values[2], addresses[2] + 1);
  EXPECT_EQ(rig.pod.writeSizes, std::vector<size_t>(6, 9));
  EXPECT_EQ(rig.delayer.delays, std::vector<uint32_t>(6, 1000));
}

}  // namespace
}  // namespace velmora
