// Serial boot download and verify against the fake pod.
#include <gtest/gtest.h>

#include <numeric>

#include "support/PodFixture.h"

namespace velmora::test {
namespace {

class SerialBoot : public PodFixture {
 protected:
  void SetUp() override { OpenLink(); }

  // An image of n words whose word i is 0x1000 + i.
  static ProgramData Program(uint32_t n, uint8_t dsp) {
    std::vector<uint32_t> words(n);
    std::iota(words.begin(), words.end(), 0x1000u);
    ProgramData program;
    program.image = MakeImage(words, dsp);
    return program;
  }

  // The writes after the reset, in words per write.
  std::vector<uint32_t> StreamWritesInWords() const {
    std::vector<uint32_t> sizes;
    for (size_t i = 1; i < pod->writeSizes.size(); ++i) sizes.push_back(pod->writeSizes[i] / 9);
    return sizes;
  }
};

TEST_F(SerialBoot, C31StreamsFromWordTwoInBatchesOfSeven) {
  UseTypes(kTMS320C31, kAM29F040);
  ProgramData program = Program(10, kTMS320C31);
  ASSERT_TRUE(link.SerialBootDownload(program));
  EXPECT_EQ(pod->commands.front().letter, 'R');
  EXPECT_EQ(pod->WordsWith('S'), std::vector<uint32_t>(program.image.words.begin() + 2,
                                                       program.image.words.begin() + 10));
  EXPECT_EQ(StreamWritesInWords(), (std::vector<uint32_t>{7, 1}));
  EXPECT_EQ(observer.progress, (std::vector<int>{90, 100}));
  EXPECT_EQ(observer.finishes, std::vector<ProcResult>{kProcCompleted});
  EXPECT_EQ(observer.events[1], "Title:Serial Boot Procedure");
  EXPECT_EQ(observer.events[2], "Status:Serial Boot Data Downloading...");
  EXPECT_EQ(delayer.delays, (std::vector<uint32_t>{55, 55}));
}

TEST_F(SerialBoot, C32StreamsTheStrobeWordsToo) {
  UseTypes(kTMS320C32, kAM29F040);
  ProgramData program = Program(10, kTMS320C32);
  ASSERT_TRUE(link.SerialBootDownload(program));
  EXPECT_EQ(pod->WordsWith('S'), std::vector<uint32_t>(program.image.words.begin() + 1,
                                                       program.image.words.begin() + 10));
  EXPECT_EQ(StreamWritesInWords(), (std::vector<uint32_t>{7, 2}));
}

TEST_F(SerialBoot, ExactBatchEndsWithoutASecondWrite) {
  UseTypes(kTMS320C31, kAM29F040);
  ASSERT_TRUE(link.SerialBootDownload(Program(9, kTMS320C31)));
  EXPECT_EQ(StreamWritesInWords(), std::vector<uint32_t>{7});
  EXPECT_EQ(observer.progress, std::vector<int>{100});
  // Nothing pauses between the reset answer and the first block.
  EXPECT_EQ(pod->sent[0], 'R');
  EXPECT_EQ(pod->sent[9], 'S');
}

TEST_F(SerialBoot, FailuresEndWithTheirResultCodes) {
  UseTypes(kTMS320C31, kAM29F040);
  ProgramData program = Program(30, kTMS320C31);

  pod->answerReset = false;
  EXPECT_FALSE(link.SerialBootDownload(program));
  EXPECT_EQ(observer.finishes.back(), kProcTargetResetError);
  EXPECT_TRUE(pod->WordsWith('S').empty());

  pod->answerReset = true;
  pod->FailWrite(3);  // reset, first batch, then failure
  EXPECT_FALSE(link.SerialBootDownload(program));
  EXPECT_EQ(observer.finishes.back(), kProcSerialBootDownloadError);

  pod->failWriteNumber = 0;
  pod->commands.clear();
  pod->fault = FakePod::Fault::kStuckTxQueue;
  const uint32_t start = clock.NowMs();
  EXPECT_FALSE(link.SerialBootDownload(program));
  EXPECT_EQ(observer.finishes.back(), kProcTargetResetError);
  EXPECT_LT(clock.NowMs() - start, 10000u);
}

TEST_F(SerialBoot, CancelStopsAfterTheCurrentBatch) {
  UseTypes(kTMS320C31, kAM29F040);
  observer.cancelAfter = 2;
  EXPECT_FALSE(link.SerialBootDownload(Program(40, kTMS320C31)));
  EXPECT_EQ(pod->WordsWith('S').size(), 14u);
  EXPECT_EQ(observer.finishes.back(), kProcCanceled);
}

class SerialBootVerify : public SerialBoot {
 protected:
  // Two sections of the image, loaded on the target by the responder model.
  ProgramData TwoSections() {
    ProgramData program;
    std::vector<uint32_t> words = {8, 0x8F8, 3, 0x809800, 0xA, 0xB, 0xC, 2, 0x809900, 0xD, 0xE, 0};
    program.image = MakeImage(words, kTMS320C31);
    program.sections = {{".text", 3, 0x809800, 4}, {".data", 2, 0x809900, 9}, {".empty", 0, 0, 0}};
    responder.memory = {
        {0x809800, 0xA}, {0x809801, 0xB}, {0x809802, 0xC}, {0x809900, 0xD}, {0x809901, 0xE}};
    // Serial boot words reach the responder model too; none of them collide
    // with the addresses above in a way that matters here.
    pod->target = std::ref(responder);
    return program;
  }
  ResponderModel responder;
};

TEST_F(SerialBootVerify, ReadsEverySectionBackWithTheOneTransferLag) {
  UseTypes(kTMS320C31, kAM29F040);
  ProgramData program = TwoSections();
  DerivedTransferSettings s = link.TransferSettings();
  s.delayAfterResetMs = 500;
  link.SetTransferSettings(s);
  ASSERT_TRUE(link.SerialBootVerify(program));
  EXPECT_EQ(observer.finishes, (std::vector<ProcResult>{kProcCompleted, kProcCompleted}));
  const std::vector<uint32_t> v = pod->WordsWith('V');
  EXPECT_EQ(v, (std::vector<uint32_t>{0x809800, 0x809801, 0x809802, 0x809803, 0x809900, 0x809901,
                                      0x809902}));
  EXPECT_EQ(observer.progress.back(), 100);
  EXPECT_NE(std::find(observer.events.begin(), observer.events.end(),
                      "Status:Serial Boot Data Verifying..."),
            observer.events.end());
}

TEST_F(SerialBootVerify, MismatchFailsAfterTheWordsThatMatched) {
  UseTypes(kTMS320C31, kAM29F040);
  ProgramData program = TwoSections();
  responder.memory[0x809802] = 0xFFFF;
  EXPECT_FALSE(link.SerialBootVerify(program));
  EXPECT_EQ(observer.finishes.back(), kProcSerialBootVerifyError);
  // Two words counted of five: 20 and 40 per cent.
  EXPECT_EQ(std::vector<int>(observer.progress.end() - 2, observer.progress.end()),
            (std::vector<int>{20, 40}));
}

TEST_F(SerialBootVerify, GarbledResetAnswerFailsBeforeAnyVerify) {
  UseTypes(kTMS320C31, kAM29F040);
  ProgramData program = TwoSections();
  ASSERT_TRUE(link.SerialBootDownload(program));
  pod->fault = FakePod::Fault::kGarbage;
  EXPECT_FALSE(link.SerialBootVerify(program));  // reset answer garbled
  EXPECT_EQ(observer.finishes.back(), kProcTargetResetError);
}

TEST_F(SerialBootVerify, CancelIsSeenAfterTheWordInProgress) {
  UseTypes(kTMS320C31, kAM29F040);
  ProgramData program = TwoSections();
  observer.cancelAfter = 2;  // the download's only batch check, then the first verified word
  EXPECT_FALSE(link.SerialBootVerify(program));
  EXPECT_EQ(observer.finishes.back(), kProcCanceled);
  EXPECT_EQ(pod->WordsWith('V').size(), 2u);  // the lead-in read and one word
}

TEST_F(SerialBootVerify, EmptySectionListSucceedsAfterTheDelay) {
  UseTypes(kTMS320C31, kAM29F040);
  ProgramData program = Program(4, kTMS320C31);
  const uint32_t start = clock.NowMs();
  EXPECT_TRUE(link.SerialBootVerify(program));
  EXPECT_GE(clock.NowMs() - start, link.TransferSettings().delayAfterResetMs);
  EXPECT_TRUE(pod->WordsWith('V').empty());
}

TEST(ImageLayout, OnlyTheHeaderFamilyMatters) {
  ProgramImage image;
  image.layoutDspType = kTMS320C31;
  EXPECT_TRUE(ImageLayoutMatches(image, kTMS320C31));
  EXPECT_TRUE(ImageLayoutMatches(image, kTMS320C33));
  EXPECT_FALSE(ImageLayoutMatches(image, kTMS320C32));
  image.layoutDspType = kTMS320C32;
  EXPECT_FALSE(ImageLayoutMatches(image, kTMS320C33));
  EXPECT_NE(ImageLayoutMismatchText(image, kTMS320C33).find("TMS320C32"), std::string::npos);
  image.layoutDspType = kImageDspUnknown;
  EXPECT_TRUE(ImageLayoutMatches(image, kTMS320C32));
}

}  // namespace
}  // namespace velmora::test
