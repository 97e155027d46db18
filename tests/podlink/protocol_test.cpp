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
    DerivedTransferSettings s = link.TransferSettings();
    s.transferPauseUs = 700;
    link.SetTransferSettings(s);
  }
  std::string Sent() const { return std::string(pod->sent.begin(), pod->sent.end()); }
};

TEST_F(Protocol, SendWordIsNineAsciiBytesThenTheTransferPause) {
  ASSERT_TRUE(link.SendWord(0x00809810));
  EXPECT_EQ(Sent(), "S00809810");
  EXPECT_EQ(delayer.delays, std::vector<uint32_t>{700});

  pod->sent.clear();
  ASSERT_TRUE(link.SendWordFixedDelay(0xDEADBEEF));
  EXPECT_EQ(Sent(), "SDEADBEEF");
  EXPECT_EQ(delayer.delays, (std::vector<uint32_t>{700, 55}));
}

TEST_F(Protocol, ExchangeReadsTheLaggedReplyLeastSignificantByteFirst) {
  pod->target = [](uint32_t word) { return word == 0x809C00 ? 0x12345678u : 0xBADu; };
  uint32_t reply = 0;
  ASSERT_TRUE(link.SendWord(0x809C00));
  ASSERT_TRUE(link.ExchangeWord(0x809C01, reply));
  EXPECT_EQ(reply, 0x12345678u);  // the bytes 78 56 34 12 on the wire
  ASSERT_TRUE(link.ExchangeWordNoDelay(0x809C02, reply));
  EXPECT_EQ(reply, 0xBADu);
  EXPECT_EQ(Sent(), "S00809C00V00809C01V00809C02");
  EXPECT_EQ(delayer.delays, (std::vector<uint32_t>{700, 700}));  // none after the no-delay form
}

TEST_F(Protocol, FailedTransfersLeaveTheValueAndSkipThePause) {
  uint32_t reply = 0xCAFE;
  pod->fault = FakePod::Fault::kSilent;
  EXPECT_FALSE(link.ExchangeWord(1, reply));
  EXPECT_EQ(reply, 0xCAFEu);
  pod->fault = FakePod::Fault::kShortReply;
  EXPECT_FALSE(link.ExchangeWord(1, reply));
  EXPECT_EQ(reply, 0xCAFEu);
  EXPECT_TRUE(delayer.delays.empty());

  // A failed write does not go on to read.
  pod->fault = FakePod::Fault::kNone;
  pod->FailWrite(1);
  pod->calls.clear();
  EXPECT_FALSE(link.ExchangeWord(1, reply));
  EXPECT_EQ(pod->CountCalls("FT_Read"), 0u);
}

TEST_F(Protocol, ReadTargetWordSendsTheAddressTwice) {
  ResponderModel responder;
  responder.memory[0x809802] = 0x40A00000;
  pod->target = std::ref(responder);
  uint32_t value = 0;
  ASSERT_TRUE(link.ReadTargetWord(0x809802, value));
  EXPECT_EQ(value, 0x40A00000u);
  EXPECT_EQ(Sent(), "S00809802V00809802");
}

TEST_F(Protocol, WriteTargetWordCommitsOnlyOnAMatchingEcho) {
  ResponderModel responder;
  pod->target = std::ref(responder);
  ASSERT_TRUE(link.WriteTargetWord(0x809C00, 0x12345678));
  EXPECT_EQ(Sent(), "SAD809C00VD1001234SD0005678S33000000");
  EXPECT_EQ(responder.memory[0x809C00], 0x12345678u);

  pod->sent.clear();
  responder.memory.clear();
  responder.echoWrongAddress = true;
  // The target is told to abandon; the caller is not told.
  EXPECT_TRUE(link.WriteTargetWord(0x809C00, 0x12345678));
  EXPECT_EQ(Sent(), "SAD809C00VD1001234SD0005678S44000000");
  EXPECT_TRUE(responder.memory.empty());

  // Any failed transfer stops the sequence.
  pod->sent.clear();
  pod->fault = FakePod::Fault::kSilent;
  EXPECT_FALSE(link.WriteTargetWord(0x809C00, 1));
  EXPECT_EQ(Sent(), "SAD809C00VD1000000");
}

TEST_F(Protocol, ResetCarriesPolarityAndPulseFromFirmware12On) {
  DerivedTransferSettings s = link.TransferSettings();
  s.resetPolarity = 1;
  s.resetPulseMs = 1000;
  link.SetTransferSettings(s);
  link.SetFirmwareVersion(0x12);
  ASSERT_TRUE(link.ResetTarget());
  EXPECT_EQ(Sent(), "R000103E8");
  EXPECT_EQ(pod->purges, 2u);

  // No answer: the wait is twice the pulse plus 100 ms.
  pod->sent.clear();
  pod->answerReset = false;
  const uint32_t start = clock.NowMs();
  EXPECT_FALSE(link.ResetTarget());
  EXPECT_GE(clock.NowMs() - start, 2100u);
  EXPECT_LT(clock.NowMs() - start, 2100u + kTransferOverallMarginMs);
}

TEST_F(Protocol, OldFirmwareResetIsTheBareLetter) {
  DerivedTransferSettings s = link.TransferSettings();
  s.resetPolarity = 1;
  s.resetPulseMs = 700;
  link.SetTransferSettings(s);
  link.SetFirmwareVersion(0x11);
  pod->firmware = 0x11;
  ASSERT_TRUE(link.ResetTarget());
  EXPECT_EQ(Sent(), "R");
}

TEST_F(Protocol, ResetFailsOnAWrongOrMissingAnswer) {
  link.SetFirmwareVersion(0x12);
  pod->fault = FakePod::Fault::kGarbage;
  EXPECT_FALSE(link.ResetTarget());
  pod->fault = FakePod::Fault::kSilent;
  EXPECT_FALSE(link.ResetTarget());
  // Out-of-range settings never lengthen the command.
  pod->fault = FakePod::Fault::kNone;
  pod->sent.clear();
  DerivedTransferSettings s = link.TransferSettings();
  s.resetPolarity = -1;
  link.SetTransferSettings(s);
  EXPECT_TRUE(link.ResetTarget());
  EXPECT_EQ(pod->sent.size(), 9u);
}

TEST_F(Protocol, VersionReplyIsCheckedForTheQuestionMark) {
  pod->firmware = 0x12;
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
