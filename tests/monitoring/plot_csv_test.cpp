// Plot values, the bounded sample history, and the CSV forms of the watch log
// and the plot export.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <sstream>

#include "monitoring/CsvWriter.h"
#include "monitoring/MonitorSessions.h"
#include "monitoring/PlotSeries.h"
#include "monitoring/ValueFormats.h"

namespace velmora {
namespace {

TEST(PlotValue, FollowsTheViewTypeMeaning) {
  EXPECT_EQ(PlotValue(0xFFFFFFFF, ToByte(ViewType::SignedInteger)), -1.0);
  EXPECT_EQ(PlotValue(0xFFFFFFFF, ToByte(ViewType::UnsignedInteger)), 4294967295.0);
  EXPECT_EQ(PlotValue(0xFFFFFFFF, ToByte(ViewType::HexDecimal)), 4294967295.0);
  EXPECT_EQ(PlotValue(0xFFFFFFFF, 9), 4294967295.0);
  EXPECT_EQ(PlotValue(0x00400000, ToByte(ViewType::Float)), 1.5);
  EXPECT_EQ(PlotValue(0x06B80000, ToByte(ViewType::Float)), -100.0);
  EXPECT_EQ(PlotValue(0x80000000, ToByte(ViewType::Float)), 0.0);
  EXPECT_EQ(PlotValue(0x80000000, ToByte(ViewType::SignedInteger)), -2147483648.0);
  EXPECT_EQ(PlotValue(5, ToByte(ViewType::Binary)), 5.0);
}

TEST(ValueHistory, KeepsTheNewestSamplesInOrder) {
  ValueHistory h(4);
  EXPECT_TRUE(h.Empty());
  for (int i = 0; i < 3; ++i) h.Append(i, i * 10);
  EXPECT_EQ(h.Samples(), (std::vector<PlotSample>{{0, 0}, {1, 10}, {2, 20}}));
  for (int i = 3; i < 11; ++i) h.Append(i, i * 10);
  EXPECT_EQ(h.Size(), 4u);
  EXPECT_EQ(h.Appended(), 11u);
  EXPECT_EQ(h.Samples(), (std::vector<PlotSample>{{7, 70}, {8, 80}, {9, 90}, {10, 100}}));
  EXPECT_EQ(h.At(0).seconds, 7.0);
  h.Clear();
  EXPECT_EQ(h.Size(), 0u);
  h.Append(1, 2);
  EXPECT_EQ(h.Samples(), (std::vector<PlotSample>{{1, 2}}));

  ValueHistory zero(0);  // never less than one sample
  zero.Append(1, 1);
  zero.Append(2, 2);
  EXPECT_EQ(zero.Samples(), (std::vector<PlotSample>{{2, 2}}));
}

TEST(Csv, FieldsAreQuotedOnlyWhenNeeded) {
  EXPECT_EQ(CsvField("buf[1]"), "buf[1]");
  EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
  EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(CsvField(" lead"), "\" lead\"");
  EXPECT_EQ(CsvField("line\nbreak"), "\"line\nbreak\"");
  EXPECT_EQ(CsvLine({"a", "", "b,c"}), "a,,\"b,c\"\r\n");
}

TEST(Csv, TimestampsHaveMillisecondsAndSortAsText) {
  using namespace std::chrono;
  const auto t = system_clock::time_point(milliseconds(1700000000123));
  const std::string a = CsvTimestamp(t);
  ASSERT_EQ(a.size(), 23u);
  EXPECT_EQ(a.substr(19), ".123");
  EXPECT_EQ(a[4], '-');
  EXPECT_EQ(a[10], ' ');
  EXPECT_LT(a, CsvTimestamp(t + milliseconds(877)));
  EXPECT_EQ(CsvTimestamp(t + milliseconds(877)).substr(19), ".000");
}

TEST(PlotCsv, SharesRowsBetweenSeriesSampledTogether) {
  std::vector<PlotColumn> columns = {
      {"counter", {{0.5, 1}, {1.0, 2}, {1.5, 3}}},
      {"gain", {{1.0, 0.25}, {2.0, -1.5}}},
  };
  EXPECT_EQ(PlotCsv(columns),
            "Time (s),counter,gain\r\n"
            "0.5,1,\r\n"
            "1,2,0.25\r\n"
            "1.5,3,\r\n"
            "2,,-1.5\r\n");
  // Values that need every digit keep them.
  std::vector<PlotColumn> precise = {{"v", {{0.1, 4294967295.0}, {0.2, 1.0 / 3.0}}}};
  const std::string csv = PlotCsv(precise);
  EXPECT_NE(csv.find("0.1,4294967295\r\n"), std::string::npos) << csv;
  EXPECT_NE(csv.find("0.33333333333333331"), std::string::npos) << csv;
  EXPECT_EQ(PlotCsv({}), "Time (s)\r\n");
}

PlotCapture ReadCsv(const std::string& text, std::string* error = nullptr) {
  std::istringstream in(text);
  PlotCapture capture;
  std::string why;
  const bool ok = ReadPlotCsv(in, capture, why);
  if (error) *error = ok ? "" : why;
  EXPECT_EQ(ok, error == nullptr) << why;
  return capture;
}

TEST(PlotCsvRead, TheExportComesBackAsItWasPlotted) {
  const std::vector<PlotColumn> columns = {{"count, total", {{0.5, -3}, {1.0, 7}, {1.0, 8}}},
                                           {"gain", {{1.0, 1.0 / 3.0}, {2.5, 4294967295.0}}},
                                           {"\"quoted\"", {}}};
  const PlotCapture capture = ReadCsv(PlotCsv(columns));
  ASSERT_EQ(capture.series.size(), 3u);
  for (size_t c = 0; c < columns.size(); ++c) {
    EXPECT_EQ(capture.series[c].title, columns[c].title);
    EXPECT_EQ(capture.series[c].samples, columns[c].samples);
  }
  EXPECT_FALSE(capture.truncated);
}

// The watch log as velmora-cli writes it: timestamps become seconds since
// the first row (across midnight), cells are read in their view's meaning.
TEST(PlotCsvRead, AWatchLogGivesSecondsAndValues) {
  const std::vector<WatchItem> items = {{"counter", 1, ToByte(ViewType::HexDecimal)},
                                        {"offset", 2, ToByte(ViewType::SignedInteger)},
                                        {"wave", 3, ToByte(ViewType::Float)},
                                        {"flags", 4, ToByte(ViewType::Binary)},
                                        {"total", 5, ToByte(ViewType::UnsignedInteger)}};
  using namespace std::chrono;
  const auto start = system_clock::time_point(milliseconds(1700003599900));
  std::string text = WatchCsvHeader(items);
  const std::vector<uint32_t> words = {0xFFFFFFFF, 0xFFFFFFFE, 0x00400000, 5, 4000000000u};
  for (int k = 0; k < 3; ++k) text += WatchCsvRow(items, {start + milliseconds(150 * k), words});
  const PlotCapture capture = ReadCsv(text);
  ASSERT_EQ(capture.series.size(), items.size());
  for (size_t c = 0; c < items.size(); ++c) {
    SCOPED_TRACE(items[c].title);
    EXPECT_EQ(capture.series[c].title, items[c].title);
    ASSERT_EQ(capture.series[c].samples.size(), 3u);
    for (int k = 0; k < 3; ++k) {
      EXPECT_NEAR(capture.series[c].samples[k].seconds, 0.15 * k, 1e-9);
      EXPECT_EQ(capture.series[c].samples[k].value, PlotValue(words[c], items[c].view));
    }
  }
}

TEST(PlotCsvRead, OtherTextIsRefusedSayingWhere) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "empty"},
      {"When,a\r\n1,2\r\n", "first column"},
      {"Time (s)\r\n1\r\n", "no column"},
      {"Time (s),a\r\n1,2\r\n2,x1\r\n", "line 3, column 2"},
      {"Time (s),a\r\n1,2,3\r\n", "line 2 has more cells"},
      {"Time,a\r\n2024-01-02 03:04:05.678,1\r\n7,2\r\n", "line 3: the time is written"},
      {"Time,a\r\n2024-13-02 03:04:05.678,1\r\n", "line 2"},
      {"Time (s),a\r\n1," + std::string(5000, '9') + "\r\n", "line 2 is too long"}};
  for (const auto& [text, where] : cases) {
    std::string error;
    ReadCsv(text, &error);
    EXPECT_NE(error.find(where), std::string::npos) << text.substr(0, 40) << " -> " << error;
  }
}

TEST(ThinForDisplay, KeepsEveryPeakInOrder) {
  std::vector<PlotSample> samples;
  for (int i = 0; i < 100000; ++i) samples.push_back({i * 0.001, std::sin(i * 0.01)});
  samples[31415].value = 50;
  samples[77777].value = -50;
  const auto thin = ThinForDisplay(samples.data(), samples.size(), 2000);
  EXPECT_LE(thin.size(), 2000u);
  EXPECT_GE(thin.size(), 1000u);
  EXPECT_TRUE(std::is_sorted(thin.begin(), thin.end(),
                             [](const auto& a, const auto& b) { return a.seconds < b.seconds; }));
  EXPECT_NE(std::find(thin.begin(), thin.end(), samples[31415]), thin.end());
  EXPECT_NE(std::find(thin.begin(), thin.end(), samples[77777]), thin.end());
  EXPECT_EQ(ThinForDisplay(samples.data(), 10, 2000).size(), 10u);
}

}  // namespace
}  // namespace velmora
