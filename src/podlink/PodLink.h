// The pod link: USB transport to the pod, the pod's command protocol, the
// target-word operations, serial boot and the flash procedures.
//
// The link drives whatever FtdiApi its driver loader hands it (libftdi1, FTDI's
// D2XX, the virtual board or a test fake) and waits through the Clock and
// MicroDelayer seams, so that every time-out runs on a virtual clock in tests.
// It is used from one thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "config/AppSettings.h"
#include "config/Clock.h"
#include "config/MicroTimer.h"
#include "image/ProgramImage.h"
#include "podlink/FlashLoaders.h"
#include "podlink/FtdiApi.h"
#include "podlink/ProcedureObserver.h"

namespace velmora {

// The descriptions a pod may carry, in the order they are tested.
inline constexpr const char* kPodDescriptions[] = {"USB TRAMO", "USB TRAMO Writer", "USB POD"};

inline constexpr uint32_t kPodBaudRate = 921600;
// One byte on the pod's line: start, 8 data and stop bits.
inline constexpr uint32_t kPodByteNs =
    static_cast<uint32_t>(10ull * 1'000'000'000ull / kPodBaudRate);
// A USB full-speed frame: how late a write handed to the library may reach
// the chip.
inline constexpr uint32_t kUsbFrameUs = 1000;
inline constexpr DWORD kPodUsbTimeoutMs = 300;  // library read and write time-outs
inline constexpr UCHAR kPodLatencyMs = 1;
inline constexpr uint32_t kCommandIdleLimitMs = 300;
// Once a byte has moved, this much silence with an empty queue ends a transfer.
inline constexpr uint32_t kTransferTrailingIdleMs = 100;
// No transfer lasts longer than its first-byte limit plus this, whatever the
// library reports about its queues.
inline constexpr uint32_t kTransferOverallMarginMs = 2000;

inline constexpr uint8_t kUnknownFirmwareVersion = 0x10;
inline constexpr uint8_t kFirmwareWithResetParameters = 0x12;

inline constexpr uint32_t kFixedWordDelayUs = 55;
inline constexpr uint32_t kFlashWordDelayUs = 30;
inline constexpr uint32_t kFlashPageDelayUs = 10000;
inline constexpr uint32_t kStreamBatchWords = 7;
inline constexpr uint32_t kEraseLimitMs = 20000;
inline constexpr uint32_t kEraseMinimumMs = 8000;

// Responder command tags (top byte of the word sent to the target program).
inline constexpr uint32_t kTagWriteStart = 0xAD000000;
inline constexpr uint32_t kTagWriteHigh = 0xD1000000;
inline constexpr uint32_t kTagWriteLow = 0xD0000000;
inline constexpr uint32_t kWordCommit = 0x33000000;
inline constexpr uint32_t kWordAbandon = 0x44000000;

// Flash loader command tags.
inline constexpr uint32_t kFlashErase = 0xEE000000;
inline constexpr uint32_t kFlashRead29F040 = 0x66000000;
inline constexpr uint32_t kFlashReadOther = 0x77000000;
inline constexpr uint32_t kFlashProgram = 0x88000000;
inline constexpr uint32_t kFlashPage = 0x99000000;
// Loader status: the answer carries the 24-bit tag sent with it and, in the
// top byte, the loader's error count (ring overflows, bytes or pages the flash
// did not take, words out of step). Reset: the JEDEC reset command (F0h) at
// the address.
inline constexpr uint32_t kFlashStatus = 0xA5000000;
inline constexpr uint32_t kFlashReset = 0xF0000000;
// CRC-32 of a byte range (the command word with the byte address, then the
// byte count), and its result, answered on the next transfer.
inline constexpr uint32_t kFlashCrc = 0xCC000000;
inline constexpr uint32_t kFlashCrcResult = 0xCD000000;
// Verify and read send their commands in groups of this many and collect the
// replies afterwards; the replies of two groups (2 x 64 bytes) stay in flight.
inline constexpr uint32_t kFlashReadGroupWords = 16;
// How long the loader may take to work through what it has queued before it
// answers the status (a slow chip with a full ring, a page's write cycle).
inline constexpr uint32_t kLoaderStatusLimitMs = 3000;

// The CRC-32 (IEEE 802.3) the flash loaders compute, over bytes.
uint32_t Crc32(const uint8_t* bytes, size_t count, uint32_t crc = 0);
// Over the image's words as the flash holds them: least significant byte
// first, `words` words from word 0 on.
uint32_t ImageFlashCrc32(const ProgramImage& image, uint32_t words);

// Page size in words of the page-write chips (flash types 3 to 5); 0 otherwise.
uint32_t FlashPageWords(uint8_t flashType);
bool FlashIsPageWrite(uint8_t flashType);

// True when the image's header was laid out for a DSP type with the same
// header as dspType (the TMS320C32 has three strobe words and a strobe word
// per block, the other two one bus word), or when the image does not say.
bool ImageLayoutMatches(const ProgramImage& image, uint8_t dspType);
// The refusal shown when it does not match.
std::string ImageLayoutMismatchText(const ProgramImage& image, uint8_t dspType);

class CPodLink {
 public:
  // Loads the device library; returns null (and may fill error) when it is
  // not there.
  using DriverLoader = std::function<std::unique_ptr<FtdiApi>(std::string& error)>;

  CPodLink(DriverLoader loader, Clock& clock, MicroDelayer& delayer);
  ~CPodLink();
  CPodLink(const CPodLink&) = delete;
  CPodLink& operator=(const CPodLink&) = delete;

  // --- Transport ---
  bool LoadDriver();
  bool FindDevice();
  bool Open();
  bool Close();
  // Drops what waits in both directions, once the bytes written have had
  // their time on the wire.
  bool Purge();
  bool WriteBytes(const uint8_t* buffer, uint32_t count, uint32_t idleLimitMs);
  bool ReadBytes(uint8_t* buffer, uint32_t count, uint32_t idleLimitMs);

  bool DriverLoaded() const { return api_ != nullptr; }
  bool Found() const { return found_; }
  bool IsOpen() const { return open_; }
  const std::string& Description() const { return description_; }
  // Why LoadDriver failed, as the backend put it (may be empty).
  const std::string& DriverError() const { return driverError_; }

  // --- Settings the link reads ---
  void SetTransferSettings(const DerivedTransferSettings& settings) { settings_ = settings; }
  const DerivedTransferSettings& TransferSettings() const { return settings_; }

  // --- Pod protocol ---
  bool SendWord(uint32_t word);
  bool SendWordFixedDelay(uint32_t word);
  bool ExchangeWord(uint32_t word, uint32_t& reply);
  bool ExchangeWordNoDelay(uint32_t word, uint32_t& reply);
  bool ReadTargetWord(uint32_t address, uint32_t& value);
  bool WriteTargetWord(uint32_t address, uint32_t value);
  bool ResetTarget();
  bool ReadFirmwareVersion();
  uint8_t FirmwareVersion() const { return firmwareVersion_; }
  void SetFirmwareVersion(uint8_t version) { firmwareVersion_ = version; }

  // --- Procedures (report through the observer) ---
  void SetObserver(ProcedureObserver* observer);
  ProcedureObserver& Observer() { return *observer_; }

  bool SerialBootDownload(const ProgramData& program);
  bool SerialBootVerify(const ProgramData& program);

  // Writes the current memory-interface values into the image header (only
  // when its layout matches the current DSP type) and into the loaders.
  void ApplyMemoryInterfaceValues(ProgramImage& image);
  void ApplyMemoryInterfaceValuesToLoaders();
  bool DownloadFlashLoader();
  bool EraseFlash();
  bool WriteFlash(const ProgramImage& image);
  bool WriteFlashPages(const ProgramImage& image);
  bool VerifyFlash(const ProgramImage& image);
  // The CRC-32 of the flash compared first; on any difference (or failure)
  // the word-by-word VerifyFlash decides, so result and position are its own.
  bool QuickVerifyFlash(const ProgramImage& image);
  bool ReadFlash(ProgramImage& image);
  // The image word at which the last verify or read failed; UINT32_MAX when
  // it did not.
  uint32_t FlashFailureWord() const { return flashFailureWord_; }

  bool FlashProgram(const ProgramImage& image);
  bool FlashProgramAndVerify(const ProgramImage& image);
  bool FlashVerify(const ProgramImage& image);
  bool FlashRead(ProgramImage& image);

  // The loader the flash procedures would use with the current settings.
  const FlashLoader& CurrentFlashLoader() const;
  bool FlashLoaderAvailable() const { return CurrentFlashLoader().Available(); }
  void SetFlashLoaders(FlashLoaderSet loaders) { loaders_ = std::move(loaders); }
  const FlashLoaderSet& FlashLoaders() const { return loaders_; }

 private:
  enum class StreamEnd { kDone, kWriteFailed, kCanceled };
  enum class ReadsEnd { kDone, kFailed, kStopped };
  // The loader's reads of image words 0..n-1 (the commands of VerifyFlash and
  // ReadFlash, same words, same order), sent in groups; take(i, word) gets
  // each word in turn and returns false to stop.
  ReadsEnd GroupedFlashReads(uint32_t n, const std::function<bool(uint32_t, uint32_t)>& take);
  bool Transfer(bool write, uint8_t* buffer, uint32_t count, uint32_t idleLimitMs);
  // Waits until the bytes written so far have had their time on the line
  // (counted from what was written), then, up to idleLimitMs, until the
  // library's own transmit queue is empty.
  void WaitUntilSent(uint32_t idleLimitMs);
  // Drops at once what still waits to go out (commands to be abandoned).
  bool Discard();
  void NoteWritten(uint32_t bytes);
  // Until the bytes written (as counted when they were handed over) have left
  // the line, plus marginUs.
  void WaitForWire(uint32_t marginUs);
  bool SendCommandWord(char letter, uint32_t word);
  bool ExchangeRaw(uint32_t word, uint32_t& reply);
  StreamEnd StreamWords(const uint32_t* words, uint32_t first, uint32_t count);
  bool FinishWith(ProcResult result, bool purge);
  // Asks the running loader for its error count; true only when it answered
  // this request, and with none.
  bool LoaderReportsNoErrors();
  uint32_t FlashReadTag() const;
  uint32_t EraseReadTag() const;

  DriverLoader loader_;
  Clock& clock_;
  MicroDelayer& delayer_;
  std::unique_ptr<FtdiApi> api_;
  std::string driverError_;
  FT_HANDLE handle_ = nullptr;
  uint64_t wireFreeUs_ = 0;  // clock time the last byte written is off the line
  bool found_ = false;
  bool open_ = false;
  char descriptionBuffer_[64] = {};
  std::string description_;

  DerivedTransferSettings settings_;
  uint8_t firmwareVersion_ = kUnknownFirmwareVersion;

  NullProcedureObserver nullObserver_;
  ProcedureObserver* observer_ = &nullObserver_;
  FlashLoaderSet loaders_;
  uint32_t statusTag_ = 0x3C5A17;
  uint32_t flashFailureWord_ = UINT32_MAX;
};

// Little-endian word from the pod's 4 reply bytes.
inline uint32_t WordFromReply(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
         (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

// "S%08X" / "V%08X" into out (9 bytes, no terminator).
void FormatCommandWord(char letter, uint32_t word, uint8_t* out);

}  // namespace velmora
