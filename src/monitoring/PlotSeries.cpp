#include "monitoring/PlotSeries.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <istream>
#include <map>
#include <optional>
#include <string_view>

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

namespace {

// A field longer than this is no cell of either file.
constexpr size_t kMaxFieldBytes = 4096;

// One record of RFC 4180 text (quoted fields may hold commas, quotes and line
// breaks); false at the end of the input or for a field beyond all reason.
bool ReadCsvRecord(std::istream& in, std::vector<std::string>& fields, bool& tooLong) {
  fields.clear();
  std::string field;
  bool quoted = false, any = false;
  for (int c; (c = in.get()) != std::char_traits<char>::eof();) {
    any = true;
    if (quoted) {
      if (c != '"')
        field += static_cast<char>(c);
      else if (in.peek() == '"')
        field += static_cast<char>(in.get());
      else
        quoted = false;
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.push_back(std::move(field));
      field.clear();
    } else if (c == '\n') {
      break;
    } else if (c == '\r') {
      if (in.peek() == '\n') in.get();
      break;
    } else {
      field += static_cast<char>(c);
    }
    if (field.size() > kMaxFieldBytes) {
      tooLong = true;
      return false;
    }
  }
  if (!any) return false;
  fields.push_back(std::move(field));
  return true;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::optional<double> Number(std::string_view text) {
  if (text.empty()) return std::nullopt;
  const std::string copy(text);
  char* end = nullptr;
  const double value = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size()) return std::nullopt;
  return value;
}

// A cell as the plot's export or the watch log writes it.
std::optional<double> CellValue(std::string_view text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    uint32_t word = 0;
    const auto r = std::from_chars(text.data() + 2, text.data() + text.size(), word, 16);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return std::nullopt;
    return static_cast<double>(word);
  }
  if (text.size() == 32 && text.find_first_not_of("01") == std::string_view::npos) {
    uint32_t word = 0;
    for (char c : text) word = (word << 1) | static_cast<uint32_t>(c - '0');
    return static_cast<double>(word);
  }
  return Number(text);
}

// "YYYY-MM-DD hh:mm:ss.mmm" as milliseconds of a day count that ignores time
// zones, which is all differences between rows need (whole milliseconds, so
// the difference is exact).
std::optional<int64_t> TimestampMs(std::string_view text) {
  int y, mo, d, h, mi, se, ms, used = 0;
  const std::string copy(text);
  if (std::sscanf(copy.c_str(), "%4d-%2d-%2d %2d:%2d:%2d.%3d%n", &y, &mo, &d, &h, &mi, &se, &ms,
                  &used) != 7 ||
      used != static_cast<int>(copy.size()))
    return std::nullopt;
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || se > 60) return std::nullopt;
  // Days from the civil date (proleptic Gregorian).
  y -= mo <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const int64_t days = int64_t{era} * 146097 + doe;
  return ((days * 24 + h) * 60 + mi) * 60000 + int64_t{se} * 1000 + ms;
}

}  // namespace

bool ReadPlotCsv(std::istream& in, PlotCapture& capture, std::string& error) {
  std::vector<std::string> fields;
  bool tooLong = false;
  if (!ReadCsvRecord(in, fields, tooLong) || tooLong) {
    error = tooLong ? "the first line is too long" : "the file is empty";
    return false;
  }
  const std::string_view timeTitle = Trimmed(fields[0]);
  if (timeTitle != "Time (s)" && timeTitle != "Time") {
    error = "the first column is not \"Time (s)\" or \"Time\"";
    return false;
  }
  if (fields.size() < 2) {
    error = "there is no column besides the time";
    return false;
  }
  PlotCapture read;
  for (size_t c = 1; c < fields.size(); ++c) read.series.push_back({fields[c], {}});
  std::optional<bool> stamped;  // times are timestamps (watch log) or seconds
  int64_t firstStamp = 0;
  size_t line = 1;
  while (ReadCsvRecord(in, fields, tooLong)) {
    ++line;
    if (fields.size() == 1 && Trimmed(fields[0]).empty()) continue;  // a blank line
    if (line - 1 > kMaxCaptureRows) {
      read.truncated = true;
      break;
    }
    const std::string at = "line " + std::to_string(line);
    if (fields.size() > read.series.size() + 1) {
      error = at + " has more cells than the header";
      return false;
    }
    const std::string_view timeText = Trimmed(fields[0]);
    std::optional<double> seconds = Number(timeText);
    std::optional<int64_t> stamp = seconds ? std::nullopt : TimestampMs(timeText);
    if (!seconds && !stamp) {
      error = at + ": \"" + std::string(timeText) + "\" is no time";
      return false;
    }
    if (!stamped) {
      stamped = stamp.has_value();
      if (stamp) firstStamp = *stamp;
    }
    if (*stamped != stamp.has_value()) {
      error = at + ": the time is written differently from the lines before";
      return false;
    }
    const double t = stamp ? static_cast<double>(*stamp - firstStamp) / 1000.0 : *seconds;
    if (!std::isfinite(t)) {
      error = at + ": the time is not a number";
      return false;
    }
    for (size_t c = 1; c < fields.size(); ++c) {
      const std::string_view cell = Trimmed(fields[c]);
      if (cell.empty()) continue;
      const std::optional<double> value = CellValue(cell);
      if (!value) {
        error = at + ", column " + std::to_string(c + 1) + ": \"" + std::string(cell) +
                "\" is no number";
        return false;
      }
      read.series[c - 1].samples.push_back({t, *value});
    }
  }
  if (tooLong) {
    error = "line " + std::to_string(line + 1) + " is too long";
    return false;
  }
  read.source = capture.source;
  capture = std::move(read);
  return true;
}

bool ReadPlotCsvFile(const std::string& path, PlotCapture& capture, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read " + path;
    return false;
  }
  const size_t slash = path.find_last_of("/\\");
  capture.source = slash == std::string::npos ? path : path.substr(slash + 1);
  return ReadPlotCsv(in, capture, error);
}

std::vector<PlotSample> ThinForDisplay(const PlotSample* samples, size_t count, size_t maxPoints) {
  if (count <= maxPoints || maxPoints < 2) return {samples, samples + count};
  const size_t runs = maxPoints / 2;
  std::vector<PlotSample> out;
  out.reserve(runs * 2);
  for (size_t r = 0; r < runs; ++r) {
    const size_t begin = r * count / runs, end = (r + 1) * count / runs;
    size_t lo = begin, hi = begin;
    for (size_t i = begin; i < end; ++i) {
      if (samples[i].value < samples[lo].value) lo = i;
      if (samples[i].value > samples[hi].value) hi = i;
    }
    out.push_back(samples[std::min(lo, hi)]);
    if (lo != hi) out.push_back(samples[std::max(lo, hi)]);
  }
  return out;
}

}  // namespace velmora
