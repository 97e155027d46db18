// Flash procedures against a fake pod running a flash loader model.
#include <gtest/gtest.h>

#include <numeric>

#include "support/PodFixture.h"

namespace velmora::test {
namespace {

// A synthetic loader of the given length in the stream form: for C32 three
// strobe words first; the patch point of C31/C33 at patchIndex.
FlashLoader SyntheticLoader(size_t words, bool c32, size_t patchIndex = 5) {
  FlashLoader loader;
  loader.name = "test loader";
  loader.words.resize(words);
  std::iota(loader.words.begin(), loader.words.end(), 0x0F000000u);
  loader.words.back() = 0;
  loader.patchIndices = c32 ? std::vector<size_t>{0, 1, 2} : std::vector<size_t>{patchIndex};
  return loader;
}

class Flash : public PodFixture {
 protected:
  void SetUp() override {
    OpenLink();
    FlashLoaderSet set;
    set.Get(FlashLoaderId::kC31) = SyntheticLoader(507, false, 475);
    set.Get(FlashLoaderId::kC32Byte) = SyntheticLoader(409, true);
    set.Get(FlashLoaderId::kC32Page) = SyntheticLoader(306, true);
    set.Get(FlashLoaderId::kC33) = SyntheticLoader(603, false, 559);
    link.SetFlashLoaders(set);
    pod->target = std::ref(model);
  }

  void Use(uint8_t dsp, uint8_t flash, uint32_t base) {
    UseTypes(dsp, flash, base);
    model.base = base;
  }

  static ProgramImage Image(uint32_t n, uint8_t dsp) {
    std::vector<uint32_t> words(n);
    for (uint32_t i = 0; i < n; ++i) words[i] = 0xA5000000u + i * 0x01010101u;
    return MakeImage(words, dsp);
  }

  // The S words after the loader stream.
  std::vector<uint32_t> WordsAfterLoader() const {
    const std::vector<uint32_t> all = pod->StreamWords();
    const size_t loaderWords = link.CurrentFlashLoader().words.size();
    return std::vector<uint32_t>(all.begin() + static_cast<long>(loaderWords), all.end());
  }

  FlashLoaderModel model;
};

TEST_F(Flash, LoaderIsStreamedWholeAfterAReset) {
  Use(kTMS320C33, kAM29F040, 0x1000);
  ASSERT_TRUE(link.DownloadFlashLoader());
  EXPECT_EQ(pod->commands.front().letter, 'R');
  EXPECT_EQ(pod->WordsWith('S'), link.FlashLoaders().Get(FlashLoaderId::kC33).words);
  // 603 words: 86 batches of 7 and a last write of one.
  EXPECT_EQ(pod->writeSizes.size(), 1u + 87u);
  EXPECT_EQ(pod->writeSizes.back(), 9u);
  EXPECT_EQ(observer.events[1], "Title:Flash ROM Procedure");
  EXPECT_EQ(observer.events[2], "Status:Flash Algorithm Data Downloading...");
  EXPECT_EQ(observer.finishes, std::vector<ProcResult>{kProcCompleted});
}

TEST_F(Flash, LoaderFailuresEndWithTheirCodes) {
  Use(kTMS320C31, kAM29F040, 0x1000);
  pod->answerReset = false;
  EXPECT_EQ(Ended(link.DownloadFlashLoader()), kProcTargetResetError);
  pod->answerReset = true;
  pod->FailWrite(1 + 5);
  EXPECT_EQ(Ended(link.DownloadFlashLoader()), kProcFlashLoaderDownloadError);
  pod->failWriteNumber = 0;
  observer.cancelAfter = observer.cancelChecks + 3;
  EXPECT_EQ(Ended(link.DownloadFlashLoader()), kProcCanceled);

  // A missing loader refuses without touching the target.
  link.SetFlashLoaders(FlashLoaderSet{});
  pod->sent.clear();
  EXPECT_FALSE(link.FlashLoaderAvailable());
  EXPECT_FALSE(link.FlashProgram(Image(8, kTMS320C31)));
  EXPECT_TRUE(pod->sent.empty());
  EXPECT_EQ(observer.finishes.back(), kProcFlashLoaderDownloadError);
}

TEST_F(Flash, MemoryInterfaceValuesPatchImageAndLoadersByDspType) {
  DerivedTransferSettings s = link.TransferSettings();
  s.dspType = kTMS320C31;
  s.primaryBus = 0x1234;
  s.iostrb = 0x11;
  s.strb0 = 0x22;
  s.strb1 = 0x33;
  link.SetTransferSettings(s);
  ProgramImage c31 = Image(8, kTMS320C31);
  link.ApplyMemoryInterfaceValues(c31);
  EXPECT_EQ(c31.words[1], 0x1234u);
  EXPECT_EQ(c31.words[2], Image(8, kTMS320C31).words[2]);
  EXPECT_EQ(link.FlashLoaders().Get(FlashLoaderId::kC31).words[475], 0x1234u);
  EXPECT_NE(link.FlashLoaders().Get(FlashLoaderId::kC33).words[559], 0x1234u);

  s.dspType = kTMS320C32;
  link.SetTransferSettings(s);
  ProgramImage c32 = Image(8, kTMS320C32);
  link.ApplyMemoryInterfaceValues(c32);
  const std::vector<uint32_t> strobes = {0x11, 0x22, 0x33};
  EXPECT_EQ(std::vector<uint32_t>(c32.words.begin() + 1, c32.words.begin() + 4), strobes);
  for (FlashLoaderId id : {FlashLoaderId::kC32Byte, FlashLoaderId::kC32Page}) {
    const auto& words = link.FlashLoaders().Get(id).words;
    EXPECT_EQ(std::vector<uint32_t>(words.begin(), words.begin() + 3), strobes);
  }
  // A changed STRB0 reaches word 1 of both loaders at the next patch.
  s.strb0 = 0x000F0000;
  link.SetTransferSettings(s);
  link.ApplyMemoryInterfaceValuesToLoaders();
  EXPECT_EQ(link.FlashLoaders().Get(FlashLoaderId::kC32Byte).words[1], 0x000F0000u);
  EXPECT_EQ(link.FlashLoaders().Get(FlashLoaderId::kC32Page).words[1], 0x000F0000u);
  // An image laid out for the C31 keeps its section words under a C32 patch.
  ProgramImage stale = Image(8, kTMS320C31);
  link.ApplyMemoryInterfaceValues(stale);
  EXPECT_EQ(stale.words, Image(8, kTMS320C31).words);
}

TEST_F(Flash, PageWriteChipsGetFullPagesTaggedWithTheBaseBank) {
  Use(kTMS320C32, kAT29C020, 0x810000);
  const ProgramImage image = Image(100, kTMS320C32);
  ASSERT_TRUE(link.FlashProgram(image));
  EXPECT_EQ(link.CurrentFlashLoader().words.size(), 306u);  // the page loader
  std::vector<uint32_t> after = WordsAfterLoader();
  EXPECT_EQ(std::count(after.begin(), after.end(), kFlashErase | 0x810000), 0);
  // The pages, then the status request (sent, then exchanged for the answer).
  ASSERT_EQ(after.size(), 2u * (3 + 64) + 2);
  EXPECT_EQ(std::vector<uint32_t>(after.begin(), after.begin() + 3),
            (std::vector<uint32_t>{0x99810000, 64, 0x810000}));
  EXPECT_EQ(std::vector<uint32_t>(after.begin() + 67, after.begin() + 70),
            (std::vector<uint32_t>{0x99810000, 64, 0x810100}));
  EXPECT_EQ(after[2 * 67 - 1], 0xFFFFFFFFu);  // the last page is padded with the buffer's fill
  EXPECT_EQ(after.back() & 0xFF000000, kFlashStatus);
  for (uint32_t i = 0; i < 100; ++i) EXPECT_EQ(model.Word(i), image.words[i]) << i;
  EXPECT_EQ(std::count(delayer.delays.begin(), delayer.delays.end(), kFlashPageDelayUs), 2);
  EXPECT_EQ(observer.finishes.back(), kProcCompleted);

  pod->commands.clear();
  Use(kTMS320C31, kAT29C010A, 0x400000);
  ASSERT_TRUE(link.FlashProgram(Image(40, kTMS320C31)));
  after = WordsAfterLoader();
  ASSERT_EQ(after.size(), 2u * (3 + 32) + 2);
  EXPECT_EQ(std::vector<uint32_t>(after.begin(), after.begin() + 3),
            (std::vector<uint32_t>{0x99400000, 32, 0x400000}));
  EXPECT_EQ(after[35 + 2], 0x400080u);
}

TEST_F(Flash, ByteProgramChipIsErasedThenWrittenWordByWord) {
  Use(kTMS320C31, kAM29F040, 0x1000);
  const ProgramImage image = Image(5, kTMS320C31);
  ASSERT_TRUE(link.FlashProgramAndVerify(image));
  const std::vector<uint32_t> after = WordsAfterLoader();
  // Erase, the status read and polls, then 0x88, n, base, the words and 0.
  EXPECT_EQ(after[0], 0xEE001000u);
  const auto program = std::find(after.begin(), after.end(), kFlashProgram);
  ASSERT_NE(program, after.end());
  EXPECT_EQ(std::vector<uint32_t>(program, program + 9),
            (std::vector<uint32_t>{0x88000000, 5, 0x1000, image.words[0], image.words[1],
                                   image.words[2], image.words[3], image.words[4], 0}));
  for (uint32_t i = 0; i < 5; ++i) EXPECT_EQ(model.Word(i), image.words[i]);
  // The progress dialog hands over to the animation and back.
  auto it = observer.events.begin();
  for (const char* e : {"Hide", "Wait:on", "StartAnimation", "AnimTitle:Flash Memory Erasing...",
                        "FinishAnimation:0", "Wait:off", "HideAnimation"}) {
    it = std::find(it, observer.events.end(), e);
    ASSERT_NE(it, observer.events.end()) << e;
  }
  EXPECT_EQ(observer.finishes,
            (std::vector<ProcResult>{kProcCompleted, kProcCompleted, kProcCompleted}));
}

TEST_F(Flash, EraseTakesEightSecondsAtLeastAndTwentyAtMost) {
  Use(kTMS320C31, kAM29F010, 0x1000);
  uint32_t start = clock.NowMs();
  ASSERT_TRUE(link.EraseFlash());
  EXPECT_GE(clock.NowMs() - start, kEraseMinimumMs);
  EXPECT_EQ(observer.animationFinishes, std::vector<ProcResult>{kProcCompleted});
  EXPECT_EQ(model.readTags.front(), kFlashReadOther);  // the chip's read tag
  Use(kTMS320C31, kHY29F040A, 0x1000);
  model.readTags.clear();
  model.erasePolls = 50;
  ASSERT_TRUE(link.EraseFlash());
  EXPECT_EQ(model.readTags.front(), kFlashRead29F040);

  // Bit 5 with bit 7 still clear fails at once, and the chip is reset.
  model.eraseFailsWithBit5 = true;
  start = clock.NowMs();
  EXPECT_EQ(model.resets, 0u);
  EXPECT_EQ(Erased(link.EraseFlash()), kProcEraseError);
  EXPECT_LT(clock.NowMs() - start, 1000u);
  EXPECT_EQ(model.resets, 1u);
  // Never done: fails once 20 seconds have passed.
  model.eraseFailsWithBit5 = false;
  model.eraseNeverFinishes = true;
  start = clock.NowMs();
  EXPECT_EQ(Erased(link.EraseFlash()), kProcEraseError);
  EXPECT_GE(clock.NowMs() - start, kEraseLimitMs);
  EXPECT_LT(clock.NowMs() - start, kEraseLimitMs + 1000);
  // A pod that stops answering ends the erase at the first poll.
  pod->fault = FakePod::Fault::kSilent;
  start = clock.NowMs();
  EXPECT_EQ(Erased(link.EraseFlash()), kProcEraseError);
  EXPECT_LT(clock.NowMs() - start, 5000u);
  EXPECT_EQ(observer.events.back(), "Wait:off");
  // Cancel between polls.
  pod->fault = FakePod::Fault::kNone;
  observer.cancelAfter = observer.cancelChecks + 4;
  EXPECT_EQ(Erased(link.EraseFlash()), kProcCanceled);
}

TEST_F(Flash, WritesStopAfterTheCurrentWordOnCancelAndFailWithResultSeven) {
  Use(kTMS320C33, kAM29F040, 0x1000);
  observer.cancelAfter = 3;
  EXPECT_EQ(Ended(link.WriteFlash(Image(10, kTMS320C33))), kProcCanceled);
  EXPECT_EQ(pod->WordsWith('S').size(), 3u + 3u);  // command, n, base and three words
  EXPECT_EQ(observer.progress.back(), 30);
  observer.cancelAfter = 0;
  pod->FailWrite(5);
  EXPECT_EQ(Ended(link.WriteFlash(Image(10, kTMS320C33))), kProcFlashWriteError);
  Use(kTMS320C33, kAT29C040A, 0x1000);
  pod->FailWrite(2);
  EXPECT_EQ(Ended(link.WriteFlashPages(Image(10, kTMS320C33))), kProcFlashWriteError);
}

TEST_F(Flash, WritesAndReadsSucceedOnlyWhenTheLoaderAnswersWithoutErrors) {
  // The loader's error count turns a finished write into result 7 and a
  // finished read into result 9.
  const struct {
    uint8_t flash;
    uint32_t errors;
    bool answers;
    ProcResult write, read;
  } cases[] = {{kAM29F040, 0, true, kProcCompleted, kProcCompleted},
               {kAM29F040, 1, true, kProcFlashWriteError, kProcFlashReadError},
               {kAT29C010A, 300, true, kProcFlashWriteError, kProcFlashReadError},
               {kAT29C010A, 0, false, kProcFlashWriteError, kProcFlashReadError}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.flash) + " " + std::to_string(c.errors));
    Use(kTMS320C31, c.flash, 0x1000);
    model.errors = c.errors;
    pod->target = c.answers ? std::function<uint32_t(uint32_t)>(std::ref(model))
                            : [](uint32_t) { return 0x12345678u; };
    ProgramImage image = Image(40, kTMS320C31);
    const uint32_t start = clock.NowMs();
    EXPECT_EQ(
        Ended(FlashIsPageWrite(c.flash) ? link.WriteFlashPages(image) : link.WriteFlash(image)),
        c.write);
    EXPECT_EQ(Ended(link.ReadFlash(image)), c.read);
    // A loader that never answers is given up after the limit, not before.
    if (!c.answers) {
      EXPECT_GE(clock.NowMs() - start, 2 * kLoaderStatusLimitMs);
    }
  }
}

TEST_F(Flash, QuickVerifyTrustsAMatchingCrcAndLeavesADifferenceToTheFullVerify) {
  Use(kTMS320C31, kAM29F040, 0x1000);
  const ProgramImage image = Image(40, kTMS320C31);
  for (uint32_t i = 0; i < 40; ++i) model.flash[i] = image.words[i];
  ASSERT_TRUE(link.QuickVerifyFlash(image));
  // The CRC command and its byte count, the status, the result: no reads.
  const std::vector<uint32_t> words = pod->StreamWords();
  EXPECT_EQ(std::vector<uint32_t>(words.begin(), words.begin() + 2),
            (std::vector<uint32_t>{0xCC001000, 160}));
  EXPECT_EQ(words.back(), kFlashCrcResult);
  EXPECT_EQ(std::count_if(words.begin(), words.end(), [](uint32_t w) { return (w >> 24) == 0x66; }),
            0);
  EXPECT_EQ(model.crc, ImageFlashCrc32(image, 40));

  // A difference: the full verify finds the word, as it does on its own.
  model.flash[17] ^= 0x100;
  for (bool quick : {true, false}) {
    EXPECT_EQ(Ended(quick ? link.QuickVerifyFlash(image) : link.VerifyFlash(image)),
              kProcFlashVerifyError);
    EXPECT_EQ(link.FlashFailureWord(), 17u);
    EXPECT_EQ(observer.progress.back(), 17 * 100 / 40);
  }
  // The setting sends Rom Verify and the verify after a write through it.
  DerivedTransferSettings s = link.TransferSettings();
  s.quickVerify = true;
  link.SetTransferSettings(s);
  model.flash[17] ^= 0x100;
  pod->commands.clear();
  ASSERT_TRUE(link.FlashVerify(image));
  EXPECT_EQ(WordsAfterLoader().front(), 0xCC001000u);
}

TEST_F(Flash, VerifyAndReadGoThroughTheLoaderWithTheOneTransferLag) {
  Use(kTMS320C31, kAT29C010A, 0x1000);
  const ProgramImage image = Image(3, kTMS320C31);
  for (uint32_t i = 0; i < 3; ++i) model.flash[i] = image.words[i];
  ASSERT_TRUE(link.VerifyFlash(image));
  EXPECT_EQ(pod->StreamWords(),
            (std::vector<uint32_t>{0x77001000, 0x77001000, 0x77001004, 0x77001008, 0x7700100C}));
  model.flash[2] ^= 1;
  EXPECT_EQ(Ended(link.VerifyFlash(image)), kProcFlashVerifyError);
  model.flash[2] ^= 1;
  pod->fault = FakePod::Fault::kGarbage;
  EXPECT_EQ(Ended(link.VerifyFlash(image)), kProcFlashVerifyError);

  pod->fault = FakePod::Fault::kNone;
  Use(kTMS320C32, kAM29F040, 0x810000);
  for (uint32_t i = 0; i < 6; ++i) model.flash[i] = 0x100 + i;
  ProgramImage read = Image(6, kTMS320C32);
  ASSERT_TRUE(link.FlashRead(read));
  for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(read.words[i], 0x100 + i);
  EXPECT_EQ(read.words[6], 0xFFFFFFFFu);
  EXPECT_EQ(model.readTags.back(), kFlashRead29F040);
  pod->fault = FakePod::Fault::kShortReply;
  EXPECT_EQ(Ended(link.ReadFlash(read)), kProcFlashReadError);
}

}  // namespace
}  // namespace velmora::test
