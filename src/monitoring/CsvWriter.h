// Comma-separated values as spreadsheets read them (RFC 4180), and the
// timestamps the watch log writes.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// The field quoted when it holds a comma, a quote, a CR or LF, or leading or
// trailing blanks; quotes inside are doubled.
std::string CsvField(std::string_view text);
// The fields joined with commas, ended with "\r\n".
std::string CsvLine(const std::vector<std::string>& fields);

// Local time "YYYY-MM-DD hh:mm:ss.mmm".
std::string CsvTimestamp(std::chrono::system_clock::time_point time);

}  // namespace velmora
