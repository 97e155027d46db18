// The host side of the on-target recorder (examples/recorder): it sets up the
// control block a program's rec_sample works from, arms it, follows it, and
// reads the captured samples back through the responder.
//
// The control block is found by the symbol _rec. All its settings are written
// while its state is idle, the state last, so the target never samples with a
// half-written set-up. A single capture keeps the last SAMPLES samples in a
// ring until PRETRIGGER samples are in and the trigger fires, then fills the
// rest and stops; the oldest sample then sits at the write index. Continuous
// mode fills the ring from the trigger on while the host drains it; when the
// ring is full the target drops the sample and counts it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "monitoring/PlotSeries.h"

namespace velmora {

class Clock;
class TargetWordPort;

namespace rec {
// Word offsets in the control block (as recorder.asm lays it out).
enum : uint32_t {
  kMagic = 0,
  kState,
  kMode,
  kChannels,
  kDivider,
  kDivCount,
  kTriggerChannel,
  kFlags,
  kLevel,
  kPretrigger,
  kBuffer,
  kCapacity,
  kSize,
  kWriteIndex,
  kReadIndex,
  kCount,
  kPost,
  kTriggerIndex,
  kPrevious,
  kPrimed,
  kOverruns,
  kCalls,
  kChannel0,
  kBlockWords = kChannel0 + 8,
};
inline constexpr uint32_t kMagicWord = 0x52454331;  // "REC1"
inline constexpr size_t kMaxChannels = 8;
enum State : uint32_t { kIdle = 0, kArmed = 1, kTriggered = 2, kDone = 3 };
enum FlagBits : uint32_t { kRising = 1, kFalling = 2, kFloatCompare = 4 };
}  // namespace rec

enum class RecType : uint8_t { Int, Unsigned, Float };

struct RecChannel {
  std::string title;
  uint32_t address = 0;
  RecType type = RecType::Int;
  bool operator==(const RecChannel&) const = default;
};

enum class RecEdge : uint8_t { Rising, Falling, Either };

struct RecTrigger {
  size_t channel = 0;  // index into the channels
  RecEdge edge = RecEdge::Rising;
  double level = 0;  // compared as the channel's type (float channels as C3x floats)
};

struct RecConfig {
  std::vector<RecChannel> channels;   // 1-8
  uint32_t samples = 0;               // single: the capture; continuous: the ring
  uint32_t divider = 1;               // a sample every DIVIDER loop passes
  std::optional<RecTrigger> trigger;  // none: from the first sample on
  uint32_t pretrigger = 0;            // samples before the trigger (single capture)
  bool continuous = false;
};

// The word the target compares a trigger channel with, for a level given as
// the channel's type: integers rounded and held within their range, floats as
// the nearest C3x single.
uint32_t RecLevelWord(RecType type, double level);

// The value of a sample word as its channel's type; C3x floats exactly.
double RecDecode(RecType type, uint32_t word);

// Samples oldest first, channel after channel within a sample.
struct RecCapture {
  std::vector<RecChannel> channels;
  uint32_t divider = 1;
  std::vector<uint32_t> words;
  std::optional<size_t> triggerSample;  // index of the trigger sample
  uint64_t overruns = 0;                // continuous: samples the target dropped

  size_t Samples() const { return channels.empty() ? 0 : words.size() / channels.size(); }
  uint32_t Word(size_t sample, size_t channel) const {
    return words[sample * channels.size() + channel];
  }
  double Value(size_t sample, size_t channel) const {
    return RecDecode(channels[channel].type, Word(sample, channel));
  }
};

// The capture as CSV: "Time (s),title,..." then one row per sample, time in
// target seconds from the trigger (from the first sample without one) given
// the loop rate; sample numbers instead of seconds when the rate is 0.
std::string RecCsv(const RecCapture& capture, double loopRateHz);
// The capture as the plot shows it, on the same time axis as RecCsv.
PlotCapture RecPlotCapture(const RecCapture& capture, double loopRateHz, std::string source);

struct RecStatus {
  uint32_t state = 0;
  uint32_t writeIndex = 0;
  uint32_t count = 0;     // samples since armed
  uint32_t overruns = 0;  // continuous
  uint32_t calls = 0;     // rec_sample calls, free-running
};

struct RecLoopRate {
  double hz = 0;
  double lowHz = 0, highHz = 0;
};

// done, total words; false cancels.
using RecProgress = std::function<bool(size_t done, size_t total)>;

enum class RecResult { Ok, Failed, Cancelled };

class Recorder {
 public:
  // Words read per grouped read while uploading: progress and cancel are
  // checked between chunks.
  static constexpr size_t kChunkWords = 256;

  Recorder(TargetWordPort& port, uint32_t blockAddress) : port_(port), block_(blockAddress) {}

  // Reads the block's magic word, buffer and capacity: false, with the reason,
  // when the program has no initialised recorder.
  bool Probe(std::string& error);
  uint32_t BufferAddress() const { return buffer_; }
  uint32_t CapacityWords() const { return capacity_; }

  // Whether the set-up fits the buffer (after Probe) and the target; false,
  // with the reason, when not.
  bool Check(const RecConfig& config, std::string& error) const;
  // Checks the set-up, stops the recorder and writes it; then Arm starts it.
  // False, with the reason, when refused or a word cannot be written.
  bool Configure(const RecConfig& config, std::string& error);
  bool Arm();
  // Idle again; what was captured stays in the buffer.
  bool Stop();

  bool Poll(RecStatus& status);

  // A single capture: the ring read in grouped reads, oldest sample first.
  // After a Stop before the end, whatever was taken (none before the trigger
  // is lost).
  RecResult Upload(RecCapture& capture, const RecProgress& progress = {});

  // Continuous: the samples waiting in the ring are appended to `capture` and
  // the ring handed back to the target; the overrun counter is copied over.
  // `taken` is how many samples this drain brought.
  RecResult Drain(RecCapture& capture, size_t& taken, const RecProgress& progress = {});

  // Loop passes a second, from the free-running call counter read twice `ms`
  // of `clock` apart: the estimate and the bounds the reads' own durations
  // leave (each read took the counter somewhere within its call). All 0
  // when the counter did not move or could not be read.
  RecLoopRate MeasureLoopRate(Clock& clock, uint32_t ms);
  // The measurement matched to timer 0 (SnapLoopRateToTimer); 0 when unknown.
  double LoopRateFromTimer0(Clock& clock, uint32_t ms);

  const RecConfig& Config() const { return config_; }

 private:
  bool Write(uint32_t offset, uint32_t value);
  bool Read(uint32_t offset, uint32_t& value);
  RecResult ReadWords(std::vector<uint32_t>& addresses, std::vector<uint32_t>& values,
                      const RecProgress& progress);
  RecCapture EmptyCapture() const;

  TargetWordPort& port_;
  uint32_t block_;
  uint32_t buffer_ = 0;
  uint32_t capacity_ = 0;
  RecConfig config_;
  uint32_t sizeWords_ = 0;
};

// The loop rate timer 0 gives, when a measurement is rough: the rate of the
// timer's period at an instruction rate in whole MHz, when exactly one such
// rate lies within the measurement's bounds; the estimate otherwise.
// `periodTicks` is timer 0's period register (0: timer unused); the timer
// counts at half the instruction rate.
double SnapLoopRateToTimer(const RecLoopRate& measured, uint32_t periodTicks);

}  // namespace velmora
