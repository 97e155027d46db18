// A pod link wired to a FakePod on a virtual clock, opened and ready.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "FakePod.h"
#include "podlink/PodLink.h"

namespace velmora::test {

class PodFixture : public ::testing::Test {
 protected:
  PodFixture()
      : delayer(clock),
        owned(std::make_unique<FakePod>(clock)),
        pod(owned.get()),
        link([this](std::string&) -> std::unique_ptr<FtdiApi> { return std::move(owned); }, clock,
             delayer) {
    link.SetObserver(&observer);
  }

  // Loads, finds and opens; clears the record of that so tests see only their own traffic.
  void OpenLink() {
    ASSERT_TRUE(link.LoadDriver());
    ASSERT_TRUE(link.FindDevice());
    ASSERT_TRUE(link.Open());
    // As at start-up: the version decides the form of the reset command.
    ASSERT_TRUE(link.ReadFirmwareVersion());
    delayer.delays.clear();  // the purge's wait for the '?' on the wire
    pod->calls.clear();
    pod->purges = 0;
    pod->sent.clear();
    pod->writeSizes.clear();
    pod->commands.clear();
  }

  // What a procedure ended with: kProcCompleted when it returned true, else
  // the result its dialog (or erase animation) finished with.
  ProcResult Ended(bool ok) const {
    return ok ? ProcResult{kProcCompleted} : Last(observer.finishes);
  }
  ProcResult Erased(bool ok) const {
    return ok ? ProcResult{kProcCompleted} : Last(observer.animationFinishes);
  }
  static ProcResult Last(const std::vector<ProcResult>& r) {
    return r.empty() ? ProcResult(0xFFFF) : r.back();
  }

  // Settings with the given DSP and flash types and boot base.
  void UseTypes(uint8_t dsp, uint8_t flash, uint32_t bootBase = 0x1000) {
    DerivedTransferSettings s = link.TransferSettings();
    s.dspType = dsp;
    s.flashType = flash;
    s.bootBase = bootBase;
    link.SetTransferSettings(s);
  }

  VirtualClock clock;
  RecordingDelayer delayer;
  std::unique_ptr<FakePod> owned;
  FakePod* pod;
  CPodLink link;
  RecordingObserver observer;
};

// A program image of the given words (word 0 first), the rest of the buffer
// as the reader leaves it.
inline ProgramImage MakeImage(const std::vector<uint32_t>& words, uint8_t layoutDsp) {
  ProgramImage image;
  image.words.assign(kImageWords, 0xFFFFFFFF);
  std::copy(words.begin(), words.end(), image.words.begin());
  image.imageByteCount = static_cast<uint32_t>(words.size() * 4);
  image.dataByteCount = image.imageByteCount;
  image.layoutDspType = layoutDsp;
  return image;
}

}  // namespace velmora::test
