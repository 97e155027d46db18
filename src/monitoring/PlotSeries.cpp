#include "monitoring/PlotSeries.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "monitoring/CsvWriter.h"
#include "monitoring/ValueFormats.h"

namespace velmora {

double PlotValue(uint32_t word, uint8_t view) {
  switch (static_cast<ViewType>(view)) {
    case ViewType::SignedInteger:
      return static_cast<double>(static_cast<int32_t>(word));
    case ViewType::Float:
      return static_cast<double>(C3xToFloat(word));
    default:
      return static_cast<double>(word);
  }
}

ValueHistory::ValueHistory(size_t capacity) : ring_(std::max<size_t>(capacity, 1)) {}

void ValueHistory::Append(double seconds, double value) {
  ++appended_;
  if (size_ < ring_.size()) {
    ring_[(head_ + size_) % ring_.size()] = {seconds, value};
    ++size_;
    return;
  }
  ring_[head_] = {seconds, value};
  head_ = (head_ + 1) % ring_.size();
}

void ValueHistory::Clear() {
  head_ = 0;
  size_ = 0;
  appended_ = 0;
}

std::vector<PlotSample> ValueHistory::Samples() const {
  std::vector<PlotSample> out;
  out.reserve(size_);
  for (size_t i = 0; i < size_; ++i) out.push_back(At(i));
  return out;
}

namespace {

std::string NumberText(double value) {
  // Enough digits to read the same double back.
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  // Prefer the short form when it reads back the same.
  char shorter[40];
  std::snprintf(shorter, sizeof shorter, "%.9g", value);
  double back = 0;
  if (std::sscanf(shorter, "%lf", &back) == 1 && back == value) return shorter;
  return text;
}

}  // namespace

std::string PlotCsv(const std::vector<PlotColumn>& columns) {
  std::vector<std::string> header = {"Time (s)"};
  for (const PlotColumn& c : columns) header.push_back(c.title);
  std::string out = CsvLine(header);

  // Row per distinct time, in time order; each column keeps its samples'
  // order when several share a time.
  std::map<double, std::vector<std::vector<double>>> rows;
  for (size_t c = 0; c < columns.size(); ++c) {
    for (const PlotSample& s : columns[c].samples) {
      auto& cells = rows[s.seconds];
      cells.resize(columns.size());
      cells[c].push_back(s.value);
    }
  }
  for (auto& [seconds, cells] : rows) {
    size_t depth = 1;
    for (const auto& cell : cells) depth = std::max(depth, cell.size());
    for (size_t k = 0; k < depth; ++k) {
      std::vector<std::string> fields = {NumberText(seconds)};
      for (const auto& cell : cells) fields.push_back(k < cell.size() ? NumberText(cell[k]) : "");
      out += CsvLine(fields);
    }
  }
  return out;
}

}  // namespace velmora
