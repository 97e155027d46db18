// Headless monitoring for scripts and test rigs: the console language read
// line by line from a stream, and a watch loop that reads a set of words
// periodically and logs them (text lines and a CSV file).
#pragma once

#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "image/DataObject.h"
#include "monitoring/ConsoleParser.h"
#include "monitoring/WatchLists.h"

namespace velmora {

class Clock;
class TargetWordPort;

// ----------------------------------------------------------------- console

// The line as a terminal shows it: the console colours as ANSI codes when
// `colour`, else the plain text.
std::string TerminalLine(const ConsoleLine& line, bool colour);

struct ConsoleSessionOptions {
  bool colour = false;  // ANSI colours (the output is a terminal)
  bool prompt = false;  // "> " before each line is read (the input is a terminal)
};

struct ConsoleSessionResult {
  size_t lines = 0;   // lines read
  size_t errors = 0;  // "[ ERROR ] : " lines printed
};

// Every line from `in` is parsed and, when accepted, executed at once: the
// same result, notice and error lines as the console page, one per line of
// `out`. Watch commands act on `lists`.
ConsoleSessionResult RunConsoleSession(std::istream& in, std::ostream& out,
                                       const std::vector<CDataObject>& symbols,
                                       TargetWordPort& port, WatchListTarget& lists,
                                       const ConsoleSessionOptions& options);

// ------------------------------------------------------------------- watch

struct WatchItem {
  std::string title;  // the variable's name (with its index) or 0x%06X
  uint32_t address = 0;
  uint8_t view = 0;
  bool operator==(const WatchItem&) const = default;
};

// NAME, NAME[INDEX] or 0xADDR, with an optional /f /d /x /h suffix, resolved
// as the console's watch-add resolves it. The view: the suffix, else
// `format`, else the variable type's default view (hex for addresses).
// Nothing, with the console's error text, when the target is not accepted.
std::optional<WatchItem> ResolveWatchTarget(const std::string& target,
                                            const std::vector<CDataObject>& symbols,
                                            std::optional<uint8_t> format, std::string& error);

struct WatchSample {
  std::chrono::system_clock::time_point time;
  std::vector<uint32_t> words;  // one per item
};

// "YYYY-MM-DD hh:mm:ss.mmm  title=value  title=value"
std::string WatchTextLine(const std::vector<WatchItem>& items, const WatchSample& sample);
// "Time,title,title"
std::string WatchCsvHeader(const std::vector<WatchItem>& items);
std::string WatchCsvRow(const std::vector<WatchItem>& items, const WatchSample& sample);

struct WatchRunOptions {
  uint32_t periodMs = 100;  // from the start of one round to the start of the next
  uint64_t count = 0;       // rounds; 0 until stopped
  std::function<bool()> stopRequested;
  std::function<std::chrono::system_clock::time_point()> now;  // default: the system clock
};

struct WatchResult {
  uint64_t rounds = 0;
  bool readFailed = false;
  size_t failedItem = 0;
};

// Reads every item once per round, in order, and hands each complete round to
// `sink`. A failed read ends the run (the round is not handed on). Waits on
// `clock` between rounds, in slices short enough to notice a stop request.
WatchResult RunWatch(const std::vector<WatchItem>& items, TargetWordPort& port, Clock& clock,
                     const WatchRunOptions& options,
                     const std::function<void(const WatchSample&)>& sink);

// A CSV log that rounds are appended to. A new or empty file gets the header;
// an existing one must begin with the same header (otherwise its columns
// would be mixed up), and a last line cut short is ended first. Every row is
// flushed so that nothing is lost when the run is interrupted.
class WatchCsvFile {
 public:
  bool Open(const std::string& path, const std::vector<WatchItem>& items, std::string& error);
  bool Append(const WatchSample& sample);

 private:
  std::vector<WatchItem> items_;
  std::ofstream out_;
};

}  // namespace velmora
