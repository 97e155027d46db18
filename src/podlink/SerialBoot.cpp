// Serial boot: the program image streamed to the TMS320C3x boot loader through
// the pod, and the read-back check through the target responder.
#include <algorithm>

#include "podlink/PodLink.h"

namespace velmora {

namespace {

// Words of the image that really exist in the buffer.
uint32_t ImageWordsAvailable(const ProgramImage& image) {
  return static_cast<uint32_t>(std::min<uint64_t>(image.imageByteCount / 4, image.words.size()));
}

bool SameLayoutFamily(uint8_t a, uint8_t b) {
  return (a == kTMS320C32) == (b == kTMS320C32);
}

const char* DspName(uint8_t dspType) {
  switch (dspType) {
    case kTMS320C31:
      return "TMS320C31";
    case kTMS320C32:
      return "TMS320C32";
    case kTMS320C33:
      return "TMS320C33";
    default:
      return "unknown DSP";
  }
}

}  // namespace

bool ImageLayoutMatches(const ProgramImage& image, uint8_t dspType) {
  return image.layoutDspType == kImageDspUnknown || SameLayoutFamily(image.layoutDspType, dspType);
}

std::string ImageLayoutMismatchText(const ProgramImage& image, uint8_t dspType) {
  return std::string("The program was read for the ") + DspName(image.layoutDspType) +
         " but the DSP type is now " + DspName(dspType) +
         "; open the COFF file again before downloading it";
}

void CPodLink::SetObserver(ProcedureObserver* observer) {
  observer_ = observer ? observer : &nullObserver_;
}

bool CPodLink::FinishWith(ProcResult result, bool purge) {
  observer_->Finish(result);
  if (purge) Purge();
  return result == kProcCompleted;
}

// Seven S commands (63 bytes) per USB write, 55 us after each write, progress
// as position x 100 / count, cancel and one event per full batch. The last
// partial batch goes out in the same pass and ends the stream.
CPodLink::StreamEnd CPodLink::StreamWords(const uint32_t* words, uint32_t first, uint32_t count) {
  uint8_t batch[kStreamBatchWords * 9];
  uint32_t position = first;
  uint32_t remaining = count > first ? count - first : 0;
  auto send = [&](uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) FormatCommandWord('S', words[position + i], batch + 9 * i);
    return WriteBytes(batch, 9 * n, kCommandIdleLimitMs);
  };
  while (remaining > 0 && position < count) {
    if (remaining >= kStreamBatchWords) {
      if (!send(kStreamBatchWords)) return StreamEnd::kWriteFailed;
      delayer_.MicroDelay(kFixedWordDelayUs);
      position += kStreamBatchWords;
      remaining -= kStreamBatchWords;
      observer_->SetProgress(position, count);
      if (observer_->CancelRequested()) return StreamEnd::kCanceled;
      observer_->PumpOneEvent();
    }
    if (remaining > 0 && remaining < kStreamBatchWords) {
      if (!send(remaining)) return StreamEnd::kWriteFailed;
      delayer_.MicroDelay(kFixedWordDelayUs);
      observer_->SetProgressPercent(100);
      break;
    }
  }
  return StreamEnd::kDone;
}

bool CPodLink::SerialBootDownload(const ProgramData& program) {
  const ProgramImage& image = program.image;
  const uint32_t count = ImageWordsAvailable(image);
  const uint32_t position = settings_.dspType == kTMS320C32 ? 1 : 2;

  observer_->Start();
  observer_->SetTitle("Serial Boot Procedure");
  observer_->SetStatusText("Serial Boot Data Downloading...");
  if (!ResetTarget()) return FinishWith(kProcTargetResetError, false);

  switch (StreamWords(image.words.data(), position, count)) {
    case StreamEnd::kWriteFailed:
      return FinishWith(kProcSerialBootDownloadError, true);
    case StreamEnd::kCanceled:
      return FinishWith(kProcCanceled, true);
    case StreamEnd::kDone:
      break;
  }
  return FinishWith(kProcCompleted, true);
}

bool CPodLink::SerialBootVerify(const ProgramData& program) {
  const ProgramImage& image = program.image;
  uint64_t total = 0;
  for (const CSectionInfo& section : program.sections) total += section.size;

  if (!SerialBootDownload(program)) return false;

  observer_->Start();
  observer_->SetTitle("Serial Boot Procedure");
  observer_->SetStatusText("Serial Boot Data Verifying...");
  clock_.SleepMs(settings_.delayAfterResetMs);
  if (program.sections.empty()) return FinishWith(kProcCompleted, true);

  uint64_t done = 0;
  for (const CSectionInfo& section : program.sections) {
    if (section.size == 0) continue;
    // A section whose words lie outside the buffer cannot be compared: it
    // fails the check instead of reading past the image.
    if (static_cast<uint64_t>(section.dataIndex) + section.size > image.words.size())
      return FinishWith(kProcSerialBootVerifyError, true);
    const uint32_t* data = section.Data(image);
    uint32_t unused = 0;
    if (!ReadTargetWord(section.startAddress, unused))
      return FinishWith(kProcSerialBootVerifyError, true);
    for (uint32_t i = 0; i < section.size; ++i) {
      uint32_t reply = 0;
      if (!ExchangeWord(section.startAddress + i + 1, reply) || reply != data[i])
        return FinishWith(kProcSerialBootVerifyError, true);
      ++done;
      observer_->SetProgress(done, total);
      if (observer_->CancelRequested()) return FinishWith(kProcCanceled, true);
      observer_->PumpOneEvent();
    }
  }
  return FinishWith(kProcCompleted, true);
}

}  // namespace velmora
