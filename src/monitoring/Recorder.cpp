#include "monitoring/Recorder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "config/Clock.h"
#include "monitoring/CsvWriter.h"
#include "monitoring/TargetPort.h"
#include "monitoring/ValueFormats.h"

namespace velmora {
namespace {
constexpr uint32_t kNoTrigger = 0xFFFFFFFF;  // the trigger index until it fires
constexpr uint32_t kTimer0Period = 0x808028;
}  // namespace

uint32_t RecLevelWord(RecType type, double level) {
  switch (type) {
    case RecType::Float:
      return FloatToC3x(static_cast<float>(level));
    case RecType::Unsigned:
      // The target compares signed: levels above 2^31 - 1 cannot be reached.
      return static_cast<uint32_t>(std::clamp(std::llround(level), 0LL, 0x7FFFFFFFLL));
    case RecType::Int:
    default:
      return static_cast<uint32_t>(
          static_cast<int32_t>(std::clamp(std::llround(level), -0x80000000LL, 0x7FFFFFFFLL)));
  }
}

double RecDecode(RecType type, uint32_t word) {
  switch (type) {
    case RecType::Float: {
      // Exponent in the top byte (two's complement, -128 is zero), then a
      // two's-complement mantissa with an implied bit of the opposite sign.
      const int exponent = static_cast<int8_t>(word >> 24);
      if (exponent == -128) return 0.0;
      const double fraction = static_cast<double>(word & 0x7FFFFF) / 8388608.0;
      const double mantissa = (word & 0x800000) ? fraction - 2.0 : 1.0 + fraction;
      return std::ldexp(mantissa, exponent);
    }
    case RecType::Unsigned:
      return static_cast<double>(word);
    case RecType::Int:
    default:
      return static_cast<double>(static_cast<int32_t>(word));
  }
}

std::string RecCsv(const RecCapture& capture, double loopRateHz) {
  std::vector<std::string> fields{loopRateHz > 0 ? "Time (s)" : "Sample"};
  for (const RecChannel& c : capture.channels) fields.push_back(c.title);
  std::string out = CsvLine(fields);
  const double origin = static_cast<double>(capture.triggerSample.value_or(0));
  const double period = loopRateHz > 0 ? capture.divider / loopRateHz : 1.0;
  char text[40];
  for (size_t s = 0; s < capture.Samples(); ++s) {
    fields.clear();
    std::snprintf(text, sizeof text, "%.9g", (static_cast<double>(s) - origin) * period);
    fields.emplace_back(text);
    for (size_t c = 0; c < capture.channels.size(); ++c) {
      const uint32_t word = capture.Word(s, c);
      switch (capture.channels[c].type) {
        case RecType::Float:
          // 9 significant digits give every C3x single back exactly.
          std::snprintf(text, sizeof text, "%.9g", RecDecode(RecType::Float, word));
          break;
        case RecType::Unsigned:
          std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(word));
          break;
        case RecType::Int:
        default:
          std::snprintf(text, sizeof text, "%ld", static_cast<long>(static_cast<int32_t>(word)));
          break;
      }
      fields.emplace_back(text);
    }
    out += CsvLine(fields);
  }
  return out;
}

PlotCapture RecPlotCapture(const RecCapture& capture, double loopRateHz, std::string source) {
  PlotCapture plot;
  plot.source = std::move(source);
  const double origin = static_cast<double>(capture.triggerSample.value_or(0));
  const double period = loopRateHz > 0 ? capture.divider / loopRateHz : 1.0;
  for (size_t c = 0; c < capture.channels.size(); ++c) {
    PlotColumn column{capture.channels[c].title, {}};
    column.samples.reserve(capture.Samples());
    for (size_t s = 0; s < capture.Samples(); ++s)
      column.samples.push_back({(static_cast<double>(s) - origin) * period, capture.Value(s, c)});
    plot.series.push_back(std::move(column));
  }
  return plot;
}

bool Recorder::Write(uint32_t offset, uint32_t value) {
  return port_.WriteTargetWord(block_ + offset, value);
}

bool Recorder::Read(uint32_t offset, uint32_t& value) {
  return port_.ReadTargetWord(block_ + offset, value);
}

bool Recorder::Probe(std::string& error) {
  uint32_t addresses[3] = {block_ + rec::kMagic, block_ + rec::kBuffer, block_ + rec::kCapacity};
  uint32_t values[3] = {};
  if (port_.ReadTargetWords(addresses, 3, values) != 3) {
    error = "the recorder's control block cannot be read";
    return false;
  }
  if (values[0] != rec::kMagicWord) {
    error = "the recorder is not initialised (rec_init has not run)";
    return false;
  }
  buffer_ = values[1];
  capacity_ = values[2];
  if (capacity_ == 0 || capacity_ > 0x1000000 || buffer_ > 0xFFFFFF) {
    error = "the recorder's buffer is not set up";
    return false;
  }
  return true;
}

bool Recorder::Check(const RecConfig& config, std::string& error) const {
  const size_t n = config.channels.size();
  if (n == 0 || n > rec::kMaxChannels) {
    error = "1 to 8 channels can be recorded";
    return false;
  }
  if (config.divider == 0) {
    error = "the divider must be 1 or more";
    return false;
  }
  const uint32_t most = capacity_ / static_cast<uint32_t>(n);
  // Continuous mode keeps one sample's gap in the ring.
  const uint32_t least = config.continuous ? 2 : 1;
  if (config.samples < least || config.samples > most) {
    error = "the buffer holds " + std::to_string(least) + " to " + std::to_string(most) +
            " samples of " + std::to_string(n) + " channel" + (n == 1 ? "" : "s");
    return false;
  }
  if (config.trigger && config.trigger->channel >= n) {
    error = "the trigger channel is not recorded";
    return false;
  }
  if (!config.continuous && config.pretrigger >= config.samples) {
    error = "the pre-trigger must leave room for the trigger sample";
    return false;
  }
  return true;
}

bool Recorder::Configure(const RecConfig& config, std::string& error) {
  if (!Check(config, error)) return false;
  const size_t n = config.channels.size();
  config_ = config;
  sizeWords_ = config.samples * static_cast<uint32_t>(n);

  uint32_t flags = 0, level = 0, channel = 0;
  if (config.trigger) {
    const RecTrigger& t = *config.trigger;
    const RecType type = config.channels[t.channel].type;
    flags = t.edge == RecEdge::Rising    ? rec::kRising
            : t.edge == RecEdge::Falling ? rec::kFalling
                                         : rec::kRising | rec::kFalling;
    if (type == RecType::Float) flags |= rec::kFloatCompare;
    level = RecLevelWord(type, t.level);
    channel = static_cast<uint32_t>(t.channel);
  }
  const uint32_t pretrigger = config.continuous ? 0 : config.pretrigger;
  const std::vector<std::pair<uint32_t, uint32_t>> words = {
      {rec::kState, rec::kIdle},
      {rec::kMode, config.continuous ? 1u : 0u},
      {rec::kChannels, static_cast<uint32_t>(n)},
      {rec::kDivider, config.divider},
      {rec::kDivCount, 1},
      {rec::kTriggerChannel, channel},
      {rec::kFlags, flags},
      {rec::kLevel, level},
      {rec::kPretrigger, pretrigger},
      {rec::kSize, sizeWords_},
      {rec::kWriteIndex, 0},
      {rec::kReadIndex, 0},
      {rec::kCount, 0},
      {rec::kPost, config.samples - pretrigger - 1},
      {rec::kTriggerIndex, kNoTrigger},
      {rec::kPrimed, 0},
      {rec::kOverruns, 0},
  };
  for (const auto& [offset, value] : words) {
    if (!Write(offset, value)) {
      error = "the recorder's control block cannot be written";
      return false;
    }
  }
  for (size_t c = 0; c < n; ++c) {
    if (!Write(rec::kChannel0 + static_cast<uint32_t>(c), config.channels[c].address)) {
      error = "the recorder's control block cannot be written";
      return false;
    }
  }
  return true;
}

bool Recorder::Arm() {
  return Write(rec::kState, rec::kArmed);
}

bool Recorder::Stop() {
  return Write(rec::kState, rec::kIdle);
}

bool Recorder::Poll(RecStatus& status) {
  const uint32_t offsets[5] = {rec::kState, rec::kWriteIndex, rec::kCount, rec::kOverruns,
                               rec::kCalls};
  uint32_t addresses[5], values[5];
  for (size_t i = 0; i < 5; ++i) addresses[i] = block_ + offsets[i];
  if (port_.ReadTargetWords(addresses, 5, values) != 5) return false;
  status = {values[0], values[1], values[2], values[3], values[4]};
  return true;
}

RecResult Recorder::ReadWords(std::vector<uint32_t>& addresses, std::vector<uint32_t>& values,
                              const RecProgress& progress) {
  values.assign(addresses.size(), 0);
  for (size_t done = 0; done < addresses.size();) {
    if (progress && !progress(done, addresses.size())) return RecResult::Cancelled;
    const size_t n = std::min(kChunkWords, addresses.size() - done);
    if (port_.ReadTargetWords(addresses.data() + done, n, values.data() + done) != n)
      return RecResult::Failed;
    done += n;
  }
  if (progress) progress(addresses.size(), addresses.size());
  return RecResult::Ok;
}

RecCapture Recorder::EmptyCapture() const {
  RecCapture capture;
  capture.channels = config_.channels;
  capture.divider = config_.divider;
  return capture;
}

RecResult Recorder::Upload(RecCapture& capture, const RecProgress& progress) {
  capture = EmptyCapture();
  const uint32_t offsets[3] = {rec::kWriteIndex, rec::kCount, rec::kTriggerIndex};
  uint32_t addresses[3], values[3];
  for (size_t i = 0; i < 3; ++i) addresses[i] = block_ + offsets[i];
  if (port_.ReadTargetWords(addresses, 3, values) != 3) return RecResult::Failed;
  const uint32_t n = static_cast<uint32_t>(config_.channels.size());
  const uint32_t writeIndex = values[0], count = values[1], triggerIndex = values[2];
  if (n == 0 || writeIndex >= sizeWords_ || writeIndex % n) return RecResult::Failed;
  // The ring: full once SAMPLES were taken, oldest at the write index; before
  // that from word 0.
  const uint32_t samples = std::min(count, config_.samples);
  const uint32_t first = count >= config_.samples ? writeIndex : 0;
  std::vector<uint32_t> list(static_cast<size_t>(samples) * n), words;
  for (size_t i = 0; i < list.size(); ++i)
    list[i] = buffer_ + static_cast<uint32_t>((first + i) % sizeWords_);
  const RecResult result = ReadWords(list, words, progress);
  if (result != RecResult::Ok) return result;
  capture.words = std::move(words);
  // The target sets the trigger index when the trigger fires.
  if (triggerIndex != kNoTrigger) {
    const uint32_t offset = (triggerIndex + sizeWords_ - first) % sizeWords_;
    if (triggerIndex < sizeWords_ && offset / n < samples) capture.triggerSample = offset / n;
  }
  return RecResult::Ok;
}

RecResult Recorder::Drain(RecCapture& capture, size_t& taken, const RecProgress& progress) {
  taken = 0;
  if (capture.channels.empty()) capture = EmptyCapture();
  const uint32_t offsets[3] = {rec::kWriteIndex, rec::kReadIndex, rec::kOverruns};
  uint32_t addresses[3], values[3];
  for (size_t i = 0; i < 3; ++i) addresses[i] = block_ + offsets[i];
  if (port_.ReadTargetWords(addresses, 3, values) != 3) return RecResult::Failed;
  const uint32_t writeIndex = values[0], readIndex = values[1];
  capture.overruns = values[2];
  if (writeIndex >= sizeWords_ || readIndex >= sizeWords_) return RecResult::Failed;
  const uint32_t waiting = (writeIndex + sizeWords_ - readIndex) % sizeWords_;
  if (!waiting) return RecResult::Ok;
  std::vector<uint32_t> list(waiting), words;
  for (uint32_t i = 0; i < waiting; ++i) list[i] = buffer_ + (readIndex + i) % sizeWords_;
  const RecResult result = ReadWords(list, words, progress);
  if (result != RecResult::Ok) return result;
  // Handing the words back only after they are read: the target never
  // overwrites what is still to be read.
  if (!Write(rec::kReadIndex, writeIndex)) return RecResult::Failed;
  capture.words.insert(capture.words.end(), words.begin(), words.end());
  taken = waiting / config_.channels.size();
  return RecResult::Ok;
}

RecLoopRate Recorder::MeasureLoopRate(Clock& clock, uint32_t ms) {
  uint32_t first = 0, last = 0;
  const uint64_t t0 = clock.NowUs();
  if (!Read(rec::kCalls, first)) return {};
  const uint64_t t1 = clock.NowUs();
  clock.SleepMs(ms);
  const uint64_t t2 = clock.NowUs();
  if (!Read(rec::kCalls, last)) return {};
  const uint64_t t3 = clock.NowUs();
  if (last == first || t2 <= t1) return {};
  const double calls = static_cast<double>(last - first);
  return {calls * 2e6 / static_cast<double>((t2 + t3) - (t0 + t1)),
          calls * 1e6 / static_cast<double>(t3 - t0), calls * 1e6 / static_cast<double>(t2 - t1)};
}

double Recorder::LoopRateFromTimer0(Clock& clock, uint32_t ms) {
  const RecLoopRate measured = MeasureLoopRate(clock, ms);
  uint32_t period = 0;
  if (measured.hz <= 0 || !port_.ReadTargetWord(kTimer0Period, period)) return measured.hz;
  return SnapLoopRateToTimer(measured, period);
}

double SnapLoopRateToTimer(const RecLoopRate& measured, uint32_t periodTicks) {
  if (measured.hz <= 0 || periodTicks == 0) return measured.hz;
  // rate = MHz * 1e6 / 2 / period: the instruction rates the bounds allow.
  const double perMhz = 1e6 / 2.0 / periodTicks;
  const double low = std::ceil(measured.lowHz / perMhz),
               high = std::floor(measured.highHz / perMhz);
  if (low < 1 || low != high) return measured.hz;
  return low * perMhz;
}

}  // namespace velmora
