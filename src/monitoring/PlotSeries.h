// Watched values over time: the number a word stands for in its view type and
// a bounded history of samples per plotted item.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace velmora {

// Hex, unsigned and binary views give the unsigned value, the signed view the
// two's-complement value, the float view the C3x float. Views above 4 are hex.
double PlotValue(uint32_t word, uint8_t view);

struct PlotSample {
  double seconds = 0;  // since the plot started
  double value = 0;
  bool operator==(const PlotSample&) const = default;
};

// A ring of at most `capacity` samples; the oldest go first. Appending costs
// the same however long the history has run.
class ValueHistory {
 public:
  explicit ValueHistory(size_t capacity);

  void Append(double seconds, double value);
  void Clear();
  size_t Size() const { return size_; }
  size_t Capacity() const { return ring_.size(); }
  bool Empty() const { return size_ == 0; }
  // i = 0 is the oldest sample kept.
  const PlotSample& At(size_t i) const { return ring_[(head_ + i) % ring_.size()]; }
  std::vector<PlotSample> Samples() const;
  // Total appended since the last Clear (also the ones dropped).
  uint64_t Appended() const { return appended_; }

 private:
  std::vector<PlotSample> ring_;
  size_t head_ = 0;  // oldest
  size_t size_ = 0;
  uint64_t appended_ = 0;
};

// One exported column: a title and its samples.
struct PlotColumn {
  std::string title;
  std::vector<PlotSample> samples;
};

// The plot as CSV: a "Time (s)" column, then one column per series; samples
// taken at the same time share a row, a series without a sample at a row's
// time leaves its cell empty. Lines end with "\r\n" (RFC 4180).
std::string PlotCsv(const std::vector<PlotColumn>& columns);

// A finished capture: series over a time axis of their own, in seconds (the
// target's seconds of a recording, or the time column of a CSV file). The
// plot shows one as it is; it takes no live samples.
struct PlotCapture {
  std::string source;  // what it came from, for the plot's title (a file name)
  std::vector<PlotColumn> series;
  bool truncated = false;  // the file had more rows than kMaxCaptureRows
};

// Rows a CSV file may bring into the plot; the rest is left out (and said).
inline constexpr size_t kMaxCaptureRows = 1000000;

// Reads what the plot's export wrote ("Time (s)", then a column per series)
// or a log of `velmora-cli watch` ("Time" as "YYYY-MM-DD hh:mm:ss.mmm", made
// seconds since its first row). Cells are numbers, 0x hex words or 32-digit
// binary words, as the two write them; an empty cell is no sample. False,
// with what is wrong and where, for any other text.
bool ReadPlotCsv(std::istream& in, PlotCapture& capture, std::string& error);
bool ReadPlotCsvFile(const std::string& path, PlotCapture& capture, std::string& error);

// At most about maxPoints of the samples for drawing: in each of maxPoints / 2
// runs of neighbours the lowest and the highest, in their order, so no peak
// is lost. Fewer samples come back as they are.
std::vector<PlotSample> ThinForDisplay(const PlotSample* samples, size_t count, size_t maxPoints);

}  // namespace velmora
