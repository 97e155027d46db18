#include "monitoring/MonitorSessions.h"

#include <algorithm>
#include <cstdio>
#include <istream>
#include <ostream>

#include "config/Clock.h"
#include "monitoring/CsvWriter.h"
#include "monitoring/TargetPort.h"
#include "monitoring/ValueFormats.h"

namespace velmora {

namespace {

constexpr uint32_t kStopCheckMs = 50;

bool IsError(const ConsoleLine& line) {
  return line.text.rfind("[ ERROR ] : ", 0) == 0;
}

std::string Hex6(uint32_t address) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%06X", static_cast<unsigned>(address));
  return text;
}

}  // namespace

std::string TerminalLine(const ConsoleLine& line, bool colour) {
  if (!colour) return line.text;
  const char* code = "\x1b[34m";  // notices and help
  if (line.colour == kConsoleErrorColour)
    code = "\x1b[31m";
  else if (line.colour == kConsoleResultColour)
    code = "\x1b[32m";
  return code + line.text + "\x1b[0m";
}

ConsoleSessionResult RunConsoleSession(std::istream& in, std::ostream& out,
                                       const std::vector<CDataObject>& symbols,
                                       TargetWordPort& port, WatchListTarget& lists,
                                       const ConsoleSessionOptions& options) {
  ConsoleSessionResult result;
  std::string last;
  auto print = [&](const ConsoleLine& line) {
    if (IsError(line)) ++result.errors;
    out << TerminalLine(line, options.colour) << '\n';
  };
  std::string text;
  for (;;) {
    if (options.prompt) out << "> " << std::flush;
    if (!std::getline(in, text)) break;
    ++result.lines;
    if (!text.empty() && text.back() == '\r') text.pop_back();  // lines from Windows files
    const ConsoleOutcome outcome = ExecuteCommandLine(text, symbols, last);
    for (const ConsoleLine& line : outcome.lines) print(line);
    if (outcome.handOver) ExecuteConsoleCommand(outcome.command, port, lists, print);
    out.flush();
  }
  if (options.prompt) out << '\n';
  return result;
}

std::optional<WatchItem> ResolveWatchTarget(const std::string& target,
                                            const std::vector<CDataObject>& symbols,
                                            std::optional<uint8_t> format, std::string& error) {
  if (target.empty() || target.find_first_of(" \t=") != std::string::npos) {
    error = "'" + target + "' is not one name or address";
    return std::nullopt;
  }
  std::string last;
  const ConsoleOutcome outcome = ExecuteCommandLine("wa " + target, symbols, last);
  if (!outcome.handOver) {
    error = outcome.lines.empty() ? "'" + target + "' is not accepted" : outcome.lines[0].text;
    return std::nullopt;
  }
  const ConsoleCommand& c = outcome.command;
  WatchItem item;
  item.address = c.address;
  item.title = c.isSymbol ? c.name : Hex6(c.address);
  if (target.find('/') != std::string::npos)
    item.view = c.view;
  else if (format)
    item.view = *format;
  else
    item.view = c.isSymbol ? DefaultViewType(static_cast<uint8_t>(c.typeCode & 0x0F))
                           : ToByte(ViewType::HexDecimal);
  return item;
}

std::string WatchTextLine(const std::vector<WatchItem>& items, const WatchSample& sample) {
  std::string line = CsvTimestamp(sample.time);
  for (size_t i = 0; i < items.size() && i < sample.words.size(); ++i)
    line += "  " + items[i].title + "=" + FormatTargetWord(sample.words[i], items[i].view);
  return line;
}

std::string WatchCsvHeader(const std::vector<WatchItem>& items) {
  std::vector<std::string> fields = {"Time"};
  for (const WatchItem& item : items) fields.push_back(item.title);
  return CsvLine(fields);
}

std::string WatchCsvRow(const std::vector<WatchItem>& items, const WatchSample& sample) {
  std::vector<std::string> fields = {CsvTimestamp(sample.time)};
  for (size_t i = 0; i < items.size() && i < sample.words.size(); ++i)
    fields.push_back(FormatTargetWord(sample.words[i], items[i].view));
  return CsvLine(fields);
}

WatchResult RunWatch(const std::vector<WatchItem>& items, TargetWordPort& port, Clock& clock,
                     const WatchRunOptions& options,
                     const std::function<void(const WatchSample&)>& sink) {
  WatchResult result;
  auto stop = [&] { return options.stopRequested && options.stopRequested(); };
  auto now = [&] { return options.now ? options.now() : std::chrono::system_clock::now(); };
  std::vector<uint32_t> addresses;
  for (const WatchItem& item : items) addresses.push_back(item.address);
  uint64_t nextUs = clock.NowUs();
  while (!stop()) {
    WatchSample sample;
    sample.time = now();
    sample.words.resize(items.size());
    const size_t got =
        port.ReadTargetWords(addresses.data(), addresses.size(), sample.words.data());
    if (got < items.size()) {
      result.readFailed = true;
      result.failedItem = got;
      return result;
    }
    sink(sample);
    ++result.rounds;
    if (options.count && result.rounds >= options.count) break;
    // Rounds keep their pace from start to start; a late round starts at once.
    nextUs += static_cast<uint64_t>(options.periodMs) * 1000;
    for (;;) {
      const uint64_t nowUs = clock.NowUs();
      if (nowUs >= nextUs || stop()) break;
      const uint64_t leftMs = (nextUs - nowUs + 999) / 1000;
      clock.SleepMs(static_cast<uint32_t>(std::min<uint64_t>(leftMs, kStopCheckMs)));
    }
    if (clock.NowUs() > nextUs + static_cast<uint64_t>(options.periodMs) * 1000)
      nextUs = clock.NowUs();  // far behind: do not try to catch up with a burst
  }
  return result;
}

bool WatchCsvFile::Open(const std::string& path, const std::vector<WatchItem>& items,
                        std::string& error) {
  items_ = items;
  std::string header = WatchCsvHeader(items);
  bool needHeader = true;
  bool needLineEnd = false;
  {
    std::ifstream existing(path, std::ios::binary);
    if (existing) {
      std::string first;
      if (std::getline(existing, first)) {
        needHeader = false;
        const std::string expected = header.substr(0, header.size() - 2);
        if (!first.empty() && first.back() == '\r') first.pop_back();
        if (first != expected) {
          error = path + " already holds other columns (" + first + ")";
          return false;
        }
        existing.clear();
        existing.seekg(-1, std::ios::end);
        char lastChar = 0;
        if (existing.get(lastChar) && lastChar != '\n') needLineEnd = true;
      }
    }
  }
  out_.open(path, std::ios::binary | std::ios::app);
  if (!out_) {
    error = "cannot write " + path;
    return false;
  }
  if (needLineEnd) out_ << "\r\n";
  if (needHeader) out_ << header;
  out_.flush();
  if (!out_) {
    error = "cannot write " + path;
    return false;
  }
  return true;
}

bool WatchCsvFile::Append(const WatchSample& sample) {
  out_ << WatchCsvRow(items_, sample);
  out_.flush();
  return static_cast<bool>(out_);
}

}  // namespace velmora
