// Serial boot download and verify against the fake pod.
#include <gtest/gtest.h>

#include <numeric>

#include "sim/SimFtdiDevice.h"
#include "support/PodFixture.h"

namespace velmora::test {
namespace {

class SerialBoot : public PodFixture {
 protected:
  void SetUp() override {
    OpenLink();
    UseTypes(kTMS320C31, kAM29F040);
  }

  // An image of n words whose word i is 0x1000 + i.
  static ProgramData Program(uint32_t n, uint8_t dsp) {
    std::vector<uint32_t> words(n);
    std::iota(words.begin(), words.end(), 0x1000u);
    ProgramData program;
    program.image = MakeImage(words, dsp);
    return program;
  }

  // Two sections of the image, loaded on the target by the responder model.
  ProgramData TwoSections() {
    ProgramData program;
    std::vector<uint32_t> words = {8, 0x8F8, 3, 0x809800, 0xA, 0xB, 0xC, 2, 0x809900, 0xD, 0xE, 0};
    program.image = MakeImage(words, kTMS320C31);
    program.sections = {{".text", 3, 0x809800, 4}, {".data", 2, 0x809900, 9}, {".empty", 0, 0, 0}};
    responder.memory = {
        {0x809800, 0xA}, {0x809801, 0xB}, {0x809802, 0xC}, {0x809900, 0xD}, {0x809901, 0xE}};
    pod->target = std::ref(responder);
    return program;
  }
  ResponderModel responder;
};

TEST_F(SerialBoot, StreamsAfterTheHeaderInBatchesOfSeven) {
  struct Case {
    uint8_t dsp;
    uint32_t words, first;
    std::vector<uint32_t> batches;
    std::vector<int> progress;
  };
  // The C31 stream starts after the bus word; the C32 one carries the strobe words.
  for (const Case& c :
       {Case{kTMS320C31, 10, 2, {7, 1}, {90, 100}}, Case{kTMS320C32, 10, 1, {7, 2}, {80, 100}},
        Case{kTMS320C31, 9, 2, {7}, {100}}}) {
    SCOPED_TRACE(c.words * 10 + c.dsp);
    UseTypes(c.dsp, kAM29F040);
    pod->commands.clear();
    pod->writeSizes.clear();
    observer = {};
    delayer.delays.clear();
    const ProgramData program = Program(c.words, c.dsp);
    ASSERT_TRUE(link.SerialBootDownload(program));
    EXPECT_EQ(pod->commands.front().letter, 'R');
    // 55 us after each batch; before that the purge after the reset, and at
    // the end the purge once the stream has had its wire time (and a USB
    // frame more), which is more than the 55 us after the last batch.
    ASSERT_EQ(delayer.delays.size(), c.batches.size() + 2);
    EXPECT_EQ(std::vector<uint32_t>(delayer.delays.begin() + 1, delayer.delays.end() - 1),
              std::vector<uint32_t>(c.batches.size(), 55));
    EXPECT_GE(delayer.delays.back(), kUsbFrameUs);
    EXPECT_EQ(pod->WordsWith('S'), std::vector<uint32_t>(program.image.words.begin() + c.first,
                                                         program.image.words.begin() + c.words));
    std::vector<uint32_t> batches;  // the writes after the reset, in words
    for (size_t i = 1; i < pod->writeSizes.size(); ++i) batches.push_back(pod->writeSizes[i] / 9);
    EXPECT_EQ(batches, c.batches);
    EXPECT_EQ(observer.progress, c.progress);
    EXPECT_EQ(observer.finishes, std::vector<ProcResult>{kProcCompleted});
  }
  EXPECT_EQ(observer.events[1], "Title:Serial Boot Procedure");
  EXPECT_EQ(observer.events[2], "Status:Serial Boot Data Downloading...");
  // No pause between the reset answer and the first block.
  EXPECT_EQ(pod->sent[0], 'R');
  EXPECT_EQ(pod->sent[9], 'S');
}

TEST_F(SerialBoot, FailuresEndWithTheirResultCodes) {
  ProgramData program = Program(30, kTMS320C31);
  pod->answerReset = false;
  EXPECT_EQ(Ended(link.SerialBootDownload(program)), kProcTargetResetError);
  EXPECT_TRUE(pod->WordsWith('S').empty());

  pod->answerReset = true;
  pod->FailWrite(3);  // reset, first batch, then failure
  EXPECT_EQ(Ended(link.SerialBootDownload(program)), kProcSerialBootDownloadError);

  pod->failWriteNumber = 0;
  pod->fault = FakePod::Fault::kStuckTxQueue;
  const uint32_t start = clock.NowMs();
  EXPECT_EQ(Ended(link.SerialBootDownload(program)), kProcTargetResetError);
  EXPECT_LT(clock.NowMs() - start, 10000u);

  // Cancel stops after the current batch.
  pod->fault = FakePod::Fault::kNone;
  pod->commands.clear();
  observer.cancelAfter = observer.cancelChecks + 2;
  EXPECT_FALSE(link.SerialBootDownload(Program(40, kTMS320C31)));
  EXPECT_EQ(pod->WordsWith('S').size(), 14u);
  EXPECT_EQ(observer.finishes.back(), kProcCanceled);
}

TEST_F(SerialBoot, VerifyReadsEverySectionBackWithTheOneTransferLag) {
  ProgramData program = TwoSections();
  ASSERT_TRUE(link.SerialBootVerify(program));
  EXPECT_EQ(observer.finishes, (std::vector<ProcResult>{kProcCompleted, kProcCompleted}));
  EXPECT_EQ(pod->WordsWith('V'), (std::vector<uint32_t>{0x809800, 0x809801, 0x809802, 0x809803,
                                                        0x809900, 0x809901, 0x809902}));
  EXPECT_EQ(observer.progress.back(), 100);
  EXPECT_NE(std::find(observer.events.begin(), observer.events.end(),
                      "Status:Serial Boot Data Verifying..."),
            observer.events.end());

  // A mismatch fails after the words that matched: two of five, 20 and 40 per cent.
  responder.memory[0x809802] = 0xFFFF;
  EXPECT_EQ(Ended(link.SerialBootVerify(program)), kProcSerialBootVerifyError);
  EXPECT_EQ(std::vector<int>(observer.progress.end() - 2, observer.progress.end()),
            (std::vector<int>{20, 40}));
  // A garbled reset answer fails before any verify.
  pod->fault = FakePod::Fault::kGarbage;
  EXPECT_EQ(Ended(link.SerialBootVerify(program)), kProcTargetResetError);
}

TEST_F(SerialBoot, VerifyCancelIsSeenAfterTheWordInProgress) {
  ProgramData program = TwoSections();
  observer.cancelAfter = 2;  // the download's only batch check, then the first verified word
  EXPECT_EQ(Ended(link.SerialBootVerify(program)), kProcCanceled);
  EXPECT_EQ(pod->WordsWith('V').size(), 2u);  // the lead-in read and one word
}

TEST_F(SerialBoot, VerifyOfNoSectionsSucceedsAfterTheDelay) {
  const uint32_t start = clock.NowMs();
  EXPECT_TRUE(link.SerialBootVerify(Program(4, kTMS320C31)));
  EXPECT_GE(clock.NowMs() - start, link.TransferSettings().delayAfterResetMs);
  EXPECT_TRUE(pod->WordsWith('V').empty());
}

TEST(ImageLayout, OnlyTheHeaderFamilyMatters) {
  ProgramImage image;
  image.layoutDspType = kTMS320C31;
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

namespace velmora::test {
namespace {

// Serial boot through the modelled pod chip: the stream's last batch is still
// in the chip when the write returns, and the link's closing purge must not
// cut it off.
TEST(SerialBootOnBoard, TheLastBatchReachesTheBoardBeforeThePurge) {
  // Stream lengths whose last batch is full, nearly empty and partial.
  for (const uint32_t n : {12u, 15u, 17u}) {
    SCOPED_TRACE(n);
    VirtualClock clock;
    VirtualMicroDelayer delayer(clock);
    sim::SimFtdiDevice* device = nullptr;
    CPodLink link(
        [&](std::string&) -> std::unique_ptr<FtdiApi> {
          sim::BoardConfig config;
          auto board = std::make_unique<sim::Board>(config);
          board->PowerUp();
          board->RunForNs(config.serialBootWindowNs + 1'000'000);
          auto d = std::make_unique<sim::SimFtdiDevice>(std::move(board), sim::PodOptions{}, clock);
          device = d.get();
          return d;
        },
        clock, delayer);
    AppSettings settings;
    settings.dspType = kTMS320C31;
    link.SetTransferSettings(Derive(settings));
    link.SetFirmwareVersion(0x12);
    ASSERT_TRUE(link.LoadDriver() && link.FindDevice() && link.Open());

    // One block of NOPs into internal RAM, its last word a branch to itself.
    constexpr uint32_t kAt = 0x809800;
    constexpr uint32_t kNop = 0x0C800000;
    std::vector<uint32_t> words = {8, 0x10F8, n, kAt};
    for (uint32_t i = 0; i + 1 < n; ++i) words.push_back(kNop);
    words.push_back(0x60000000 | (kAt + n - 1));  // BR to itself
    words.push_back(0);
    ProgramData program;
    program.image = MakeImage(words, kTMS320C31);
    ASSERT_TRUE(link.SerialBootDownload(program));
    // The purge came right after the link's wait; the board gets what was
    // not purged.
    clock.AdvanceUs(10'000);
    device->Sync();
    sim::Board& board = device->TheBoard();
    for (uint32_t i = 0; i < n; ++i) {
      uint32_t word = 0;
      ASSERT_TRUE(board.ReadWord(kAt + i, &word));
      ASSERT_EQ(word, words[4 + i]) << "word " << i;
    }
    EXPECT_EQ(board.CpuCore().Pc(), kAt + n - 1) << board.HaltMessage();
  }
}

}  // namespace
}  // namespace velmora::test
