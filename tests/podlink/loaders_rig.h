// The host's pod link with the built-in flash loaders, driving a virtual board
// of a given DSP, flash chip and boot mode, everything on one virtual clock.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "podlink/PodLink.h"
#include "sim/SimFtdiDevice.h"
#include "support/FakePod.h"

namespace velmora::test {

struct LoaderRig {
  VirtualClock clock;
  VirtualMicroDelayer delayer{clock};
  sim::SimFtdiDevice* device = nullptr;
  RecordingObserver observer;
  std::unique_ptr<CPodLink> link;
  DerivedTransferSettings settings;

  LoaderRig(uint8_t dsp, uint8_t flash, uint8_t boot, const sim::PodOptions& pod = {}) {
    link = std::make_unique<CPodLink>(
        [this, dsp, flash, boot, pod](std::string&) -> std::unique_ptr<FtdiApi> {
          sim::BoardConfig cfg;
          cfg.dspType = dsp;
          cfg.flashType = flash;
          cfg.bootMode = boot;
          auto board = std::make_unique<sim::Board>(cfg);
          board->PowerUp();
          auto dev = std::make_unique<sim::SimFtdiDevice>(std::move(board), pod, clock);
          device = dev.get();
          return dev;
        },
        clock, delayer);
    link->SetObserver(&observer);
    settings.dspType = dsp;
    settings.flashType = flash;
    settings.bootBase = ComputeBootRegion(flash, boot, dsp).baseAddress;
    settings.resetPulseMs = 100;
    settings.delayAfterResetMs = 50;
    settings.transferPauseUs = 50;
    link->SetTransferSettings(settings);
  }

  // Loads the driver, opens the pod and reads its version, as a command does.
  void Open() {
    ASSERT_TRUE(link->LoadDriver());
    ASSERT_TRUE(link->FindDevice());
    ASSERT_TRUE(link->Open());
    ASSERT_TRUE(link->ReadFirmwareVersion());
  }

  sim::Board& Board() { return device->TheBoard(); }

  // A word of the running loader's memory (its variables).
  uint32_t Peek(uint32_t address) {
    uint32_t v = 0;
    Board().ReadWord(address, &v);
    return v;
  }
};

// A program image as the COFF reader lays it out for dsp: width word, bus
// control word(s), one block of `data` at `address`, closing 0.
inline ProgramImage LoaderTestImage(uint8_t dsp, uint32_t address,
                                    const std::vector<uint32_t>& data) {
  std::vector<uint32_t> w = {8};
  if (dsp == kTMS320C32)
    w.insert(w.end(), {kDefaultIostrb, kDefaultStrb0, kDefaultStrb1});
  else
    w.push_back(kDefaultPrimaryBus);
  w.push_back(static_cast<uint32_t>(data.size()));
  w.push_back(address);
  if (dsp == kTMS320C32) w.push_back(0);
  w.insert(w.end(), data.begin(), data.end());
  w.push_back(0);
  ProgramImage image;
  image.words.assign(kImageWords, 0xFFFFFFFF);
  std::copy(w.begin(), w.end(), image.words.begin());
  image.imageByteCount = static_cast<uint32_t>(w.size() * 4);
  image.dataByteCount = static_cast<uint32_t>(data.size() * 4);
  image.sectionCount = 1;
  image.layoutDspType = dsp;
  return image;
}

// Data words with every byte value class a flash write meets: erased bytes
// (FFh), zero bytes, and mixed ones.
inline std::vector<uint32_t> MixedWords(size_t n) {
  std::vector<uint32_t> data(n);
  uint32_t x = 0x12345678;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1664525u + 1013904223u;
    switch (i % 5) {
      case 0:
        data[i] = 0xFFFFFFFF;
        break;
      case 1:
        data[i] = 0x00000000;
        break;
      case 2:
        data[i] = (x & 0x00FFFF00) | 0xFF0000FF;
        break;
      default:
        data[i] = x;
        break;
    }
  }
  return data;
}

}  // namespace velmora::test
