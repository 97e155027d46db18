// Headless monitoring: the console language over streams, watch targets, the
// paced watch loop and its CSV log.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "config/Clock.h"
#include "monitoring/MonitorSessions.h"
#include "monitoring/TargetPort.h"
#include "monitoring/ValueFormats.h"
#include "monitoring/memory_port.h"

namespace velmora {
namespace {

using test::MemoryPort;

TEST(ConsoleSession, AnswersEachLineLikeTheConsolePage) {
  const std::vector<CDataObject> symbols = {{"counter", "", 0x809C00, 4},
                                            {"buf", "Array Info : [4]", 0x809C10, 0x34}};
  MemoryPort port;
  port.memory[0x809C00] = 0xFFFFFFFF;
  std::vector<CDataObject> vars, addrs;
  std::ostringstream out;
  WatchListSet lists(vars, addrs, [&](const ConsoleLine& l) { out << l.text << '\n'; });
  std::istringstream in(
      "d counter/d\r\n"
      "d counter=0x2A\n"
      "d count/x\n"
      "\n"
      "wa buf[2]\n"
      "wa buf[2]\n"
      "bogus\n"
      "wd *\n");
  const ConsoleSessionResult r = RunConsoleSession(in, out, symbols, port, lists, {});
  EXPECT_EQ(r.lines, 8u);
  EXPECT_EQ(r.errors, 1u);
  EXPECT_EQ(out.str(),
            "[ RESULT ] : counter, -1\n"
            "[ RESULT ] : Writing Completed...\n"
            "[ RESULT ] : counter, 0x0000002A\n"
            "[ NOTICE ] : Already registered variable\n"
            "[ ERROR ] : Wrong Command Input\n");
  EXPECT_TRUE(vars.empty());  // emptied by the last line
  EXPECT_EQ(port.memory[0x809C00], 0x2Au);
}

TEST(ConsoleSession, ColoursOnlyWhenAsked) {
  const ConsoleLine error{"[ ERROR ] : x", kConsoleErrorColour};
  EXPECT_EQ(TerminalLine(error, false), "[ ERROR ] : x");
  EXPECT_EQ(TerminalLine(error, true), "\x1b[31m[ ERROR ] : x\x1b[0m");
  EXPECT_EQ(TerminalLine({"r", kConsoleResultColour}, true), "\x1b[32mr\x1b[0m");
  EXPECT_EQ(TerminalLine({"n", kConsoleNoticeColour}, true), "\x1b[34mn\x1b[0m");

  MemoryPort port;
  std::vector<CDataObject> vars, addrs;
  WatchListSet lists(vars, addrs, nullptr);
  std::istringstream in("h\n");
  std::ostringstream out;
  ConsoleSessionOptions options;
  options.prompt = true;
  RunConsoleSession(in, out, {}, port, lists, options);
  EXPECT_EQ(out.str().rfind("> --- Monitoring Command Format Help ---\n", 0), 0u) << out.str();
}

TEST(WatchTargets, ResolveAsTheConsoleDoesWithTheTypesView) {
  const std::vector<CDataObject> symbols = {{"counter", "", 0x809C00, 4},
                                            {"gain", "", 0x809C01, 6},
                                            {"buf", "Array Info : [4]", 0x809C10, 0x3E}};
  std::string error;
  auto item = ResolveWatchTarget("gain", symbols, std::nullopt, error);
  ASSERT_TRUE(item);
  EXPECT_EQ(*item, (WatchItem{"gain", 0x809C01, ToByte(ViewType::Float)}));
  EXPECT_EQ(ResolveWatchTarget("gain/x", symbols, std::nullopt, error)->view,
            ToByte(ViewType::HexDecimal));
  EXPECT_EQ(ResolveWatchTarget("gain", symbols, ToByte(ViewType::Binary), error)->view,
            ToByte(ViewType::Binary));
  EXPECT_EQ(*ResolveWatchTarget("buf[3]", symbols, std::nullopt, error),
            (WatchItem{"buf[3]", 0x809C13, ToByte(ViewType::UnsignedInteger)}));
  EXPECT_EQ(*ResolveWatchTarget("count", symbols, std::nullopt, error),
            (WatchItem{"counter", 0x809C00, ToByte(ViewType::SignedInteger)}));
  EXPECT_EQ(*ResolveWatchTarget("0x808040/d", symbols, std::nullopt, error),
            (WatchItem{"0x808040", 0x808040, ToByte(ViewType::SignedInteger)}));

  EXPECT_FALSE(ResolveWatchTarget("nosuch", symbols, std::nullopt, error));
  EXPECT_EQ(error, "[ ERROR ] : Wrong Variable Input");
  EXPECT_FALSE(ResolveWatchTarget("0x1000000", symbols, std::nullopt, error));
  EXPECT_EQ(error, "[ ERROR ] : Maximum address range is from 0x0 to 0xffffff");
  EXPECT_FALSE(ResolveWatchTarget("gain=5", symbols, std::nullopt, error));
  EXPECT_FALSE(ResolveWatchTarget("", symbols, std::nullopt, error));
}

TEST(WatchRun, ReadsEveryItemPerRoundAtThePeriod) {
  const std::vector<WatchItem> items = {{"a", 1, 0}, {"b", 2, 1}};
  MemoryPort port;
  port.memory[1] = 10;
  port.memory[2] = 0xFFFFFFFF;
  VirtualClock clock;
  std::vector<uint64_t> startsUs;
  std::vector<WatchSample> samples;
  WatchRunOptions options;
  options.periodMs = 250;
  options.count = 4;
  const WatchResult r = RunWatch(items, port, clock, options, [&](const WatchSample& s) {
    startsUs.push_back(clock.NowUs());
    samples.push_back(s);
    clock.AdvanceUs(30'000);  // printing takes time: the pace holds anyway
  });
  EXPECT_EQ(r.rounds, 4u);
  EXPECT_FALSE(r.readFailed);
  EXPECT_EQ(startsUs, (std::vector<uint64_t>{0, 250'000, 500'000, 750'000}));
  ASSERT_EQ(samples.size(), 4u);
  EXPECT_EQ(samples[0].words, (std::vector<uint32_t>{10, 0xFFFFFFFF}));
  const std::string line = WatchTextLine(items, samples[0]);
  EXPECT_EQ(line.substr(23), "  a=0x0000000A  b=-1");
  EXPECT_EQ(WatchCsvRow(items, samples[0]).substr(23), ",0x0000000A,-1\r\n");
  EXPECT_EQ(WatchCsvHeader(items), "Time,a,b\r\n");
}

TEST(WatchRun, StopsOnAFailedReadAndOnRequest) {
  const std::vector<WatchItem> items = {{"a", 1, 0}, {"b", 2, 0}, {"c", 3, 0}};
  MemoryPort port;
  port.failReadNumber = 5;  // the second round breaks at its second item
  VirtualClock clock;
  int rounds = 0;
  WatchRunOptions options;
  options.periodMs = 10;
  WatchResult r = RunWatch(items, port, clock, options, [&](const WatchSample&) { ++rounds; });
  EXPECT_TRUE(r.readFailed);
  EXPECT_EQ(r.failedItem, 1u);
  EXPECT_EQ(r.rounds, 1u);
  EXPECT_EQ(rounds, 1);

  port.failReadNumber = 0;
  options.stopRequested = [&] { return rounds >= 3; };
  r = RunWatch(items, port, clock, options, [&](const WatchSample&) { ++rounds; });
  EXPECT_FALSE(r.readFailed);
  EXPECT_EQ(r.rounds, 2u);
}

TEST(WatchCsv, NewFilesGetAHeaderAndOldOnesMustMatch) {
  const auto dir = std::filesystem::temp_directory_path() / "velmora_watch_csv_test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "log.csv").string();
  const std::vector<WatchItem> items = {{"count,er", 1, 1}, {"0x808040", 2, 0}};
  WatchSample sample;
  sample.time = std::chrono::system_clock::now();
  sample.words = {5, 6};
  std::string error;
  {
    WatchCsvFile log;
    ASSERT_TRUE(log.Open(path, items, error)) << error;
    ASSERT_TRUE(log.Append(sample));
  }
  {
    WatchCsvFile log;  // the same columns: appended without a second header
    ASSERT_TRUE(log.Open(path, items, error)) << error;
    ASSERT_TRUE(log.Append(sample));
  }
  auto read = [&] {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  std::string text = read();
  EXPECT_EQ(text.rfind("Time,\"count,er\",0x808040\r\n", 0), 0u);
  EXPECT_EQ(text.find("Time", 1), std::string::npos);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);

  // A row cut short by a crash is ended before the next one.
  { std::ofstream(path, std::ios::binary | std::ios::app) << "2026-01-01 00:00:00.000,5"; }
  {
    WatchCsvFile log;
    ASSERT_TRUE(log.Open(path, items, error));
    ASSERT_TRUE(log.Append(sample));
  }
  text = read();
  EXPECT_NE(text.find("00:00:00.000,5\r\n"), std::string::npos);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5);

  WatchCsvFile other;
  EXPECT_FALSE(other.Open(path, {{"x", 1, 0}}, error));
  EXPECT_NE(error.find("already holds other columns"), std::string::npos);
  EXPECT_FALSE(other.Open((dir / "no" / "such.csv").string(), items, error));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace velmora
