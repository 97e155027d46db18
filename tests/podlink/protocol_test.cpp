// Pod commands and target-word operations at the byte level.
#include <gtest/gtest.h>

#include <string>

#include "support/PodFixture.h"

namespace velmora::test {
namespace {

class Protocol : public PodFixture {
 protected:
  void SetUp() override {
    OpenLink();
    Set([](DerivedTransferSettings& s) { s.transferPauseUs = 700; });
  }
  template <typename F>
  void Set(F change) {
    DerivedTransferSettings s = link.TransferSettings();
    change(s);
    link.SetTransferSettings(s);
  }
  std::string Sent() {
    std::string s(pod->sent.begin(), pod->sent.end());
    pod->sent.clear();
    return s;
  }
};

TEST_F(Protocol, WordsAreNineAsciiBytesAndRepliesComeOneTransferLate) {
  pod->target = [](uint32_t word) { return word == 0x809C00 ? 0x12345678u : 0xBADu; };
  uint32_t reply = 0;
  ASSERT_TRUE(link.SendWord(0x809C00));
  ASSERT_TRUE(link.ExchangeWord(0x809C01, reply));
  EXPECT_EQ(reply, 0x12345678u);  // the bytes 78 56 34 12 on the wire
  ASSERT_TRUE(link.ExchangeWordNoDelay(0x809C02, reply));
  EXPECT_EQ(reply, 0xBADu);
  ASSERT_TRUE(link.SendWordFixedDelay(0xDEADBEEF));
  EXPECT_EQ(Sent(), "S00809C00V00809C01V00809C02SDEADBEEF");
  // The transfer pause after S and V, none after the no-delay form, 55 us after the fixed one.
  EXPECT_EQ(delayer.delays, (std::vector<uint32_t>{700, 700, 55}));
}

TEST_F(Protocol, FailedTransfersLeaveTheValueAndSkipThePause) {
  uint32_t reply = 0xCAFE;
  for (FakePod::Fault fault : {FakePod::Fault::kSilent, FakePod::Fault::kShortReply}) {
    pod->fault = fault;
    EXPECT_FALSE(link.ExchangeWord(1, reply));
    EXPECT_EQ(reply, 0xCAFEu);
  }
  EXPECT_TRUE(delayer.delays.empty());
  // A failed write does not go on to read.
  pod->fault = FakePod::Fault::kNone;
  pod->FailWrite(1);
  pod->calls.clear();
  EXPECT_FALSE(link.ExchangeWord(1, reply));
  EXPECT_EQ(pod->CountCalls("FT_Read"), 0u);
}

TEST_F(Protocol, TargetWordsAreReadByAddressAndWrittenWithCommitOnAMatchingEcho) {
  ResponderModel responder;
  responder.memory[0x809802] = 0x40A00000;
  pod->target = std::ref(responder);
  uint32_t value = 0;
  ASSERT_TRUE(link.ReadTargetWord(0x809802, value));
  EXPECT_EQ(value, 0x40A00000u);
  EXPECT_EQ(Sent(), "S00809802V00809802");

  ASSERT_TRUE(link.WriteTargetWord(0x809C00, 0x12345678));
  EXPECT_EQ(Sent(), "SAD809C00VD1001234SD0005678S33000000");
  EXPECT_EQ(responder.memory[0x809C00], 0x12345678u);
  // A wrong echo: the target is told to abandon; the caller is not told.
  responder.echoWrongAddress = true;
  EXPECT_TRUE(link.WriteTargetWord(0x809C01, 0x12345678));
  EXPECT_EQ(Sent(), "SAD809C01VD1001234SD0005678S44000000");
  EXPECT_EQ(responder.memory.count(0x809C01), 0u);
  // Any failed transfer stops the sequence.
  pod->fault = FakePod::Fault::kSilent;
  EXPECT_FALSE(link.WriteTargetWord(0x809C00, 1));
  EXPECT_EQ(Sent(), "SAD809C00VD1000000");
}

TEST_F(Protocol, ResetFormDependsOnTheFirmwareAndNeedsItsAnswer) {
  Set([](DerivedTransferSettings& s) {
    s.resetPolarity = 1;
    s.resetPulseMs = 1000;
  });
  ASSERT_TRUE(link.ResetTarget());
  EXPECT_EQ(Sent(), "R000103E8");
  EXPECT_EQ(pod->purges, 2u);
  // Out-of-range settings never lengthen the command.
  Set([](DerivedTransferSettings& s) { s.resetPolarity = -1; });
  EXPECT_TRUE(link.ResetTarget());
  EXPECT_EQ(Sent().size(), 9u);
  // Before firmware 1.2 the reset is the bare letter.
  link.SetFirmwareVersion(0x11);
  pod->firmware = 0x11;
  ASSERT_TRUE(link.ResetTarget());
  EXPECT_EQ(Sent(), "R");

  link.SetFirmwareVersion(0x12);
  pod->firmware = 0x12;
  pod->fault = FakePod::Fault::kGarbage;
  EXPECT_FALSE(link.ResetTarget());
  // No answer: the wait is twice the pulse plus 100 ms.
  Set([](DerivedTransferSettings& s) { s.resetPolarity = 1; });
  pod->fault = FakePod::Fault::kNone;
  pod->answerReset = false;
  const uint32_t start = clock.NowMs();
  EXPECT_FALSE(link.ResetTarget());
  EXPECT_GE(clock.NowMs() - start, 2100u);
  EXPECT_LT(clock.NowMs() - start, 2100u + kTransferOverallMarginMs);
}

TEST_F(Protocol, VersionReplyIsCheckedForTheQuestionMark) {
  EXPECT_TRUE(link.ReadFirmwareVersion());
  EXPECT_EQ(link.FirmwareVersion(), 0x12);
  EXPECT_EQ(Sent(), "?");
  pod->fault = FakePod::Fault::kGarbage;  // two other bytes: unknown version, still success
  EXPECT_TRUE(link.ReadFirmwareVersion());
  EXPECT_EQ(link.FirmwareVersion(), kUnknownFirmwareVersion);
  link.SetFirmwareVersion(0x13);
  pod->fault = FakePod::Fault::kShortReply;
  pod->shortBytes = 1;
  EXPECT_FALSE(link.ReadFirmwareVersion());
  EXPECT_EQ(link.FirmwareVersion(), kUnknownFirmwareVersion);
}

}  // namespace
}  // namespace velmora::test
