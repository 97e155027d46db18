// Plot values, the bounded sample history, and the CSV forms of the watch log
// and the plot export.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include "monitoring/CsvWriter.h"
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

}  // namespace
}  // namespace velmora
