// The built-in flash loaders on the virtual board: what the host's flash
// procedures do through them ends up in the chip, reads back equal, and the
// loaders keep up with the host's pace.
#include <gtest/gtest.h>

#include "loaders_rig.h"

namespace velmora::test {
namespace {

struct Combo {
  uint8_t dsp, flash, boot;
};

std::string Name(const Combo& c) {
  return std::string(DspTypeName(c.dsp)) + "/" + FlashTypeName(c.flash) + "/Boot" +
         std::to_string(c.boot + 1);
}

// Every chip with every DSP, each boot mode at least once per DSP.
std::vector<Combo> AllCombos() {
  std::vector<Combo> all;
  for (uint8_t dsp = 0; dsp < 3; ++dsp)
    for (uint8_t flash = 0; flash < 6; ++flash)
      all.push_back({dsp, flash, static_cast<uint8_t>((dsp + flash) % 3)});
  return all;
}

TEST(Loaders, ProgramVerifyAndReadBackOnEveryChipAndDsp) {
  for (const Combo& c : AllCombos()) {
    SCOPED_TRACE(Name(c));
    LoaderRig rig(c.dsp, c.flash, c.boot);
    rig.Open();
    // Boot3 on the C31/C33 leaves 0x1000 bytes; stay inside every region.
    ProgramImage image = LoaderTestImage(c.dsp, 0x809C00, MixedWords(150));
    ASSERT_LE(image.imageByteCount, ComputeBootRegion(c.flash, c.boot, c.dsp).sizeLimit);
    rig.link->ApplyMemoryInterfaceValues(image);
    ASSERT_TRUE(rig.link->FlashProgramAndVerify(image))
        << "results: " << ::testing::PrintToString(rig.observer.finishes);

    // In the chip where the boot loader looks for it.
    const uint32_t n = image.imageByteCount / 4;
    for (uint32_t i = 0; i < n; ++i)
      ASSERT_EQ(rig.Board().FlashImageWord(i), image.words[i]) << "word " << i;
    // The rest of the region stays erased.
    EXPECT_EQ(rig.Board().FlashImageWord(n + 100), 0xFFFFFFFFu);

    // Read back through the loader, into an image that held something else.
    ProgramImage back = image;
    std::fill(back.words.begin(), back.words.begin() + n, 0x5A5A5A5A);
    ASSERT_TRUE(rig.link->FlashRead(back));
    for (uint32_t i = 0; i < n; ++i) ASSERT_EQ(back.words[i], image.words[i]) << "word " << i;
  }
}

}  // namespace
}  // namespace velmora::test
