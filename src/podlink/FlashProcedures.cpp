// Flash procedures: the loader is serial-booted into the DSP, then driven with
// command words. Flash addresses count bytes, four per image word.
#include <algorithm>
#include <vector>

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

uint32_t Crc32(const uint8_t* bytes, size_t count, uint32_t crc) {
  crc = ~crc;
  for (size_t i = 0; i < count; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

uint32_t ImageFlashCrc32(const ProgramImage& image, uint32_t words) {
  uint32_t crc = 0;
  for (uint32_t i = 0; i < words && i < image.words.size(); ++i) {
    const uint32_t w = image.words[i];
    const uint8_t bytes[4] = {static_cast<uint8_t>(w), static_cast<uint8_t>(w >> 8),
                              static_cast<uint8_t>(w >> 16), static_cast<uint8_t>(w >> 24)};
    crc = Crc32(bytes, 4, crc);
  }
  return crc;
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

CPodLink::ReadsEnd CPodLink::GroupedFlashReads(
    uint32_t n, const std::function<bool(uint32_t, uint32_t)>& take) {
  // The words of one read after another: the read of base, whose reply is not
  // used, then the reads of base + 4v for v = 1..n, each reply answering the
  // read before it (the one-transfer lag), so reply v is image word v - 1.
  const uint32_t tag = FlashReadTag();
  const uint32_t base = settings_.bootBase;
  const uint32_t exchanges = n + 1;
  std::vector<uint8_t> bytes;
  uint32_t sent = 0;
  auto sendGroup = [&]() {
    const uint32_t end = std::min(exchanges, sent + kFlashReadGroupWords);
    bytes.clear();
    if (sent == 0) {
      bytes.resize(9);
      FormatCommandWord('S', base | tag, bytes.data());
    }
    for (; sent < end; ++sent) {
      bytes.resize(bytes.size() + 9);
      FormatCommandWord('V', (base + 4 * sent) | tag, bytes.data() + bytes.size() - 9);
    }
    return WriteBytes(bytes.data(), static_cast<uint32_t>(bytes.size()), kCommandIdleLimitMs);
  };
  uint32_t done = 0;
  // Stopping early leaves commands on their way to the pod and replies on
  // their way back; they must not answer whatever the host asks next. Once
  // the queues are dropped, what was already on the wire has its time (the
  // commands, then a latency period for their replies), and is dropped too.
  auto stop = [&](ReadsEnd end) {
    Discard();
    constexpr uint64_t kBitsPerCommand = 9 * 10;
    const uint64_t wireUs = uint64_t{sent - done} * kBitsPerCommand * 1000000 / kPodBaudRate;
    clock_.SleepMs(static_cast<uint32_t>(wireUs / 1000) + 2 * kPodLatencyMs + 1);
    Purge();
    return end;
  };
  if (!sendGroup()) return stop(ReadsEnd::kFailed);
  while (done < exchanges) {
    // The next group is on its way before this one's replies are read, so the
    // wire never idles between groups.
    const uint32_t groupEnd = sent;
    if (sent < exchanges && !sendGroup()) return stop(ReadsEnd::kFailed);
    for (; done < groupEnd; ++done) {
      uint8_t reply[4];
      if (!ReadBytes(reply, sizeof reply, kCommandIdleLimitMs)) return stop(ReadsEnd::kFailed);
      if (done > 0 && !take(done - 1, WordFromReply(reply))) {
        ++done;
        return stop(ReadsEnd::kStopped);
      }
    }
  }
  return ReadsEnd::kDone;
}

bool CPodLink::VerifyFlash(const ProgramImage& image) {
  const uint32_t n = ImageWords(image);
  observer_->Start();
  observer_->SetTitle("Flash ROM Procedure");
  observer_->SetStatusText("Verify Flash ROM Data...");
  flashFailureWord_ = UINT32_MAX;
  if (image.imageByteCount <= 3) {
    // Only the read of base goes out; its reply is not used.
    uint32_t unused = 0;
    ReadTargetWord(settings_.bootBase | FlashReadTag(), unused);
    return FinishWith(kProcCompleted, true);
  }
  uint32_t matched = 0;
  bool canceled = false;
  const ReadsEnd end = GroupedFlashReads(n, [&](uint32_t i, uint32_t word) {
    if (word != image.words[i]) return false;
    matched = i + 1;
    observer_->SetProgress(matched, n);
    canceled = observer_->CancelRequested();
    if (!canceled) observer_->PumpOneEvent();
    return !canceled;
  });
  if (canceled) return FinishWith(kProcCanceled, true);
  if (end != ReadsEnd::kDone) {
    flashFailureWord_ = matched;
    return FinishWith(kProcFlashVerifyError, true);
  }
  return FinishWith(kProcCompleted, true);
}

bool CPodLink::QuickVerifyFlash(const ProgramImage& image) {
  const uint32_t n = ImageWords(image);
  if (image.imageByteCount > 3) {
    observer_->Start();
    observer_->SetTitle("Flash ROM Procedure");
    observer_->SetStatusText("Verify Flash ROM Data...");
    // The CRC is computed on the target while the host waits for the status,
    // which the loader answers once the CRC command is done; the result comes
    // with the next command.
    uint32_t crc = 0;
    if (SendWordFixedDelay(kFlashCrc | settings_.bootBase) && SendWordFixedDelay(4 * n) &&
        LoaderReportsNoErrors() && SendWordFixedDelay(kFlashCrcResult) &&
        ExchangeWordNoDelay(kFlashCrcResult, crc) && crc == ImageFlashCrc32(image, n)) {
      flashFailureWord_ = UINT32_MAX;
      observer_->SetProgress(n, n);
      return FinishWith(kProcCompleted, true);
    }
    Purge();
  }
  // Any difference, or a CRC that could not be had: the word-by-word verify
  // finds the word and gives the result.
  return VerifyFlash(image);
}
bool CPodLink::ReadFlash(ProgramImage& image) {
  const uint32_t n = ImageWords(image);
  observer_->Start();
  observer_->SetTitle("Flash ROM Procedure");
  observer_->SetStatusText("Read Flash ROM Data...");
  flashFailureWord_ = UINT32_MAX;
  uint32_t stored = 0;
  bool canceled = false;
  const ReadsEnd end = GroupedFlashReads(n, [&](uint32_t i, uint32_t word) {
    image.words[i] = word;
    stored = i + 1;
    observer_->SetProgress(stored, n);
    canceled = observer_->CancelRequested();
    if (!canceled) observer_->PumpOneEvent();
    return !canceled;
  });
  if (canceled) return FinishWith(kProcCanceled, true);
  // A request the loader lost would have shifted the replies after it.
  if (end != ReadsEnd::kDone || !LoaderReportsNoErrors()) {
    flashFailureWord_ = stored;
    return FinishWith(kProcFlashReadError, true);
  }
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
  return settings_.quickVerify ? QuickVerifyFlash(image) : VerifyFlash(image);
}

bool CPodLink::FlashVerify(const ProgramImage& image) {
  if (!DownloadFlashLoader()) return false;
  return settings_.quickVerify ? QuickVerifyFlash(image) : VerifyFlash(image);
}

bool CPodLink::FlashRead(ProgramImage& image) {
  return DownloadFlashLoader() && ReadFlash(image);
}

}  // namespace velmora
