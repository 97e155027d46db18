// Watched values over time: the number a word stands for in its view type and
// a bounded history of samples per plotted item.
#pragma once

#include <cstddef>
#include <cstdint>
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

}  // namespace velmora
