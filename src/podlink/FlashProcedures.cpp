// Flash procedures: the loader is serial-booted into the DSP, then driven with
// command words. Flash addresses count bytes, four per image word.
#include <algorithm>

#include "podlink/PodLink.h"

namespace velmora {

uint32_t FlashPageWords(uint8_t flashType) {
  switch (flashType) {
    case kAT29C010A:
      return 32;
    case kAT29C020:
    case kAT29C040A:
      return 64;
    default:
      return 0;
  }
}

bool FlashIsPageWrite(uint8_t flashType) {
  return flashType >= kAT29C010A;
}

namespace {

uint32_t ImageWords(const ProgramImage& image) {
  return static_cast<uint32_t>(std::min<uint64_t>(image.imageByteCount / 4, image.words.size()));
}

void PatchWord(std::vector<uint32_t>& words, size_t index, uint32_t value) {
  if (index < words.size()) words[index] = value;
}

}  // namespace

const FlashLoader& CPodLink::CurrentFlashLoader() const {
  return loaders_.Get(ChooseFlashLoader(settings_.dspType, settings_.flashType));
}

uint32_t CPodLink::FlashReadTag() const {
  return settings_.flashType == kAM29F040 || settings_.flashType == kHY29F040A ? kFlashRead29F040
                                                                               : kFlashReadOther;
}

uint32_t CPodLink::EraseReadTag() const {
  return settings_.flashType == kAM29F010 ? kFlashReadOther : kFlashRead29F040;
}

void CPodLink::ApplyMemoryInterfaceValuesToLoaders() {
  auto patch = [](FlashLoader& loader, std::initializer_list<uint32_t> values) {
    size_t i = 0;
    for (uint32_t value : values) {
      if (i < loader.patchIndices.size()) PatchWord(loader.words, loader.patchIndices[i], value);
      ++i;
    }
  };
  switch (settings_.dspType) {
    case kTMS320C31:
      patch(loaders_.Get(FlashLoaderId::kC31), {settings_.primaryBus});
      break;
    case kTMS320C32:
      patch(loaders_.Get(FlashLoaderId::kC32Byte),
            {settings_.iostrb, settings_.strb0, settings_.strb1});
      patch(loaders_.Get(FlashLoaderId::kC32Page),
            {settings_.iostrb, settings_.strb0, settings_.strb1});
      break;
    default:
      patch(loaders_.Get(FlashLoaderId::kC33), {settings_.primaryBus});
      break;
  }
}

void CPodLink::ApplyMemoryInterfaceValues(ProgramImage& image) {
  ApplyMemoryInterfaceValuesToLoaders();
  // An image laid out for the other header length would have section words
  // overwritten; it is refused by the commands until it is read again.
  if (!ImageLayoutMatches(image, settings_.dspType)) return;
  if (settings_.dspType == kTMS320C32) {
    PatchWord(image.words, 1, settings_.iostrb);
    PatchWord(image.words, 2, settings_.strb0);
    PatchWord(image.words, 3, settings_.strb1);
  } else {
    PatchWord(image.words, 1, settings_.primaryBus);
  }
}

bool CPodLink::LoaderReportsNoErrors() {
  // A fresh tag each time: a reply that carries it can only be the loader's
  // answer to this request, given after everything queued before it.
  do statusTag_ = (statusTag_ * 1103515245u + 12345u) & 0xFFFFFF;
  while (statusTag_ == 0);
  const uint32_t request = kFlashStatus | statusTag_;
  if (!SendWordFixedDelay(request)) return false;
  const uint32_t start = clock_.NowMs();
  for (;;) {
    // Each exchange repeats the request and brings the answer to the one
    // before it, once the loader has caught up.
    uint32_t reply = 0;
    if (!ExchangeWordNoDelay(request, reply)) return false;
    if ((reply & 0xFFFFFF) == statusTag_) return (reply >> 24) == 0;
    if (clock_.NowMs() - start >= kLoaderStatusLimitMs) return false;
    clock_.SleepMs(1);
  }
}

bool CPodLink::DownloadFlashLoader() {
  const FlashLoader& loader = CurrentFlashLoader();
  observer_->Start();
  observer_->SetTitle("Flash ROM Procedure");
  observer_->SetStatusText("Flash Algorithm Data Downloading...");
  if (!loader.Available()) {
    // Streaming nothing would leave the target without a loader while the
    // host goes on as if one were there.
    observer_->SetStatusText(kFlashLoaderMissingText);
    return FinishWith(kProcFlashLoaderDownloadError, false);
  }
  if (!ResetTarget()) return FinishWith(kProcTargetResetError, false);
  const uint32_t count = static_cast<uint32_t>(loader.words.size());
  switch (StreamWords(loader.words.data(), 0, count)) {
    case StreamEnd::kWriteFailed:
      return FinishWith(kProcFlashLoaderDownloadError, true);
    case StreamEnd::kCanceled:
      return FinishWith(kProcCanceled, true);
    case StreamEnd::kDone:
      break;
  }
  delayer_.MicroDelay(kFixedWordDelayUs);
  return FinishWith(kProcCompleted, true);
}

bool CPodLink::EraseFlash() {
  const uint32_t base = settings_.bootBase;
  const uint32_t pollWord = base | EraseReadTag();
  observer_->SetWaitCursor(true);
  observer_->StartAnimation();
  observer_->SetAnimationTitle("Flash Memory Erasing...");
  auto finish = [&](ProcResult result) {
    // A failed erase leaves the chip showing its status until it is reset;
    // without the reset it takes no command and the board cannot boot.
    if (result == kProcEraseError) SendWordFixedDelay(kFlashReset | base);
    observer_->FinishAnimation(result);
    Purge();
    observer_->SetWaitCursor(false);
    return result == kProcCompleted;
  };

  // An erase command that never left the host cannot be followed by a
  // successful poll of an erase; it fails like any other erase transfer.
  if (!SendWordFixedDelay(kFlashErase | base)) return finish(kProcEraseError);
  uint32_t unused = 0;
  ReadTargetWord(pollWord, unused);

  const uint32_t start = clock_.NowMs();
  uint32_t elapsed = 0;
  for (;;) {
    uint32_t status = 0;
    if (!ExchangeWordNoDelay(pollWord, status)) return finish(kProcEraseError);
    if (status & 0x80) break;
    if (status & 0x20) {
      if (!ExchangeWordNoDelay(pollWord, status) || !(status & 0x80))
        return finish(kProcEraseError);
      break;
    }
    observer_->PumpOneEvent();
    if (observer_->CancelRequested()) return finish(kProcCanceled);
    elapsed = clock_.NowMs() - start;
    if (elapsed >= kEraseLimitMs) return finish(kProcEraseError);
  }
  if (elapsed < kEraseMinimumMs) clock_.SleepMs(kEraseMinimumMs - elapsed);
  return finish(kProcCompleted);
}

bool CPodLink::WriteFlash(const ProgramImage& image) {
  const uint32_t n = ImageWords(image);
  const uint32_t base = settings_.bootBase;
  observer_->Start();
  observer_->SetTitle("Flash ROM Procedure");
  observer_->SetStatusText("User Program Writing To Flash ROM...");
  if (!SendWordFixedDelay(kFlashProgram) || !SendWordFixedDelay(n) || !SendWordFixedDelay(base))
    return FinishWith(kProcFlashWriteError, true);
  if (image.imageByteCount > 3) {
    for (uint32_t i = 0; i < n; ++i) {
      if (!SendWordFixedDelay(image.words[i])) return FinishWith(kProcFlashWriteError, true);
      observer_->SetProgress(i + 1, n);
      delayer_.MicroDelay(kFlashWordDelayUs);
      if (observer_->CancelRequested()) return FinishWith(kProcCanceled, true);
      observer_->PumpOneEvent();
    }
  }
  if (!SendWordFixedDelay(0)) return FinishWith(kProcFlashWriteError, true);
  // The last words may still wait in the USB chip; they must reach the loader
  // before the purge and before the caller closes the link.
  WaitUntilSent(kCommandIdleLimitMs);
  // Words the loader dropped or bytes the chip refused show only here.
  if (!LoaderReportsNoErrors()) return FinishWith(kProcFlashWriteError, true);
  return FinishWith(kProcCompleted, true);
}

bool CPodLink::WriteFlashPages(const ProgramImage& image) {
  const uint32_t page = FlashPageWords(settings_.flashType);
  const uint32_t n = ImageWords(image);
  const uint32_t base = settings_.bootBase;
  const uint32_t pages = page ? n / page + (n % page ? 1 : 0) : 0;
  observer_->Start();
  observer_->SetTitle("Flash ROM Procedure");
  observer_->SetStatusText("User Program Writing To Flash ROM...");
  if (pages < 1) return FinishWith(kProcCompleted, true);

  uint32_t offset = 0;  // bytes
  for (uint32_t p = 0; p < pages; ++p) {
    if (!SendWordFixedDelay(kFlashPage | (base & 0xFF0000)) || !SendWordFixedDelay(page) ||
        !SendWordFixedDelay(base + offset))
      return FinishWith(kProcFlashWriteError, true);
    // The last page is always sent full: the words after the image are the
    // buffer's fill (0xFFFFFFFF), which leaves those flash bytes erased.
    const size_t first = offset / 4;
    for (uint32_t i = 0; i < page; ++i) {
      const uint32_t word = first + i < image.words.size() ? image.words[first + i] : 0xFFFFFFFF;
      if (!SendWordFixedDelay(word)) return FinishWith(kProcFlashWriteError, true);
    }
    // The chip's write cycle starts when the page's last byte reaches it; a
    // USB chip that buffers ahead of the serial line would otherwise eat into
    // the pause, and the next command would find the flash still writing.
    WaitUntilSent(kCommandIdleLimitMs);
    delayer_.MicroDelay(kFlashPageDelayUs);
    observer_->SetProgress(p + 1, pages);
    if (observer_->CancelRequested()) return FinishWith(kProcCanceled, true);
    observer_->PumpOneEvent();
    offset += page * 4;
  }
  if (!LoaderReportsNoErrors()) return FinishWith(kProcFlashWriteError, true);
  return FinishWith(kProcCompleted, true);
}

bool CPodLink::VerifyFlash(const ProgramImage& image) {
  const uint32_t tag = FlashReadTag();
  const uint32_t n = ImageWords(image);
  const uint32_t base = settings_.bootBase;
  observer_->Start();
  observer_->SetTitle("Flash ROM Procedure");
  observer_->SetStatusText("Verify Flash ROM Data...");
  uint32_t unused = 0;
  ReadTargetWord(base | tag, unused);
  if (image.imageByteCount > 3) {
    for (uint32_t v = 1; v <= n; ++v) {
      uint32_t reply = 0;
      if (!ExchangeWordNoDelay((base + 4 * v) | tag, reply) || reply != image.words[v - 1])
        return FinishWith(kProcFlashVerifyError, true);
      observer_->SetProgress(v, n);
      if (observer_->CancelRequested()) return FinishWith(kProcCanceled, true);
      observer_->PumpOneEvent();
    }
  }
  return FinishWith(kProcCompleted, true);
}

bool CPodLink::ReadFlash(ProgramImage& image) {
  const uint32_t tag = FlashReadTag();
  const uint32_t n = ImageWords(image);
  const uint32_t base = settings_.bootBase;
  observer_->Start();
  observer_->SetTitle("Flash ROM Procedure");
  observer_->SetStatusText("Read Flash ROM Data...");
  uint32_t unused = 0;
  ReadTargetWord(base | tag, unused);
  for (uint32_t v = 1; v <= n; ++v) {
    uint32_t reply = 0;
    if (!ExchangeWordNoDelay((base + 4 * v) | tag, reply))
      return FinishWith(kProcFlashReadError, true);
    image.words[v - 1] = reply;
    observer_->SetProgress(v, n);
    if (observer_->CancelRequested()) return FinishWith(kProcCanceled, true);
    observer_->PumpOneEvent();
  }
  // A request the loader lost would have shifted the replies after it.
  if (!LoaderReportsNoErrors()) return FinishWith(kProcFlashReadError, true);
  return FinishWith(kProcCompleted, true);
}

bool CPodLink::FlashProgram(const ProgramImage& image) {
  if (!DownloadFlashLoader()) return false;
  if (FlashIsPageWrite(settings_.flashType)) return WriteFlashPages(image);
  observer_->Hide();
  observer_->RepaintMain();
  if (!EraseFlash()) return false;
  observer_->HideAnimation();
  observer_->RepaintMain();
  return WriteFlash(image);
}

bool CPodLink::FlashProgramAndVerify(const ProgramImage& image) {
  if (!FlashProgram(image)) return false;
  observer_->RepaintMain();
  return VerifyFlash(image);
}

bool CPodLink::FlashVerify(const ProgramImage& image) {
  return DownloadFlashLoader() && VerifyFlash(image);
}

bool CPodLink::FlashRead(ProgramImage& image) {
  return DownloadFlashLoader() && ReadFlash(image);
}

}  // namespace velmora
