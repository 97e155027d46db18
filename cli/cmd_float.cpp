// velmora-cli float: converts between decimal numbers and TMS320C3x float words.
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>
#include "Cli.h"
#include "monitoring/ValueFormats.h"

namespace velmora::cli {
namespace {

constexpr int kBadInput = 1;

enum class DecimalParse { Ok, NotANumber, OutOfRange };

// The whole text must be one decimal number: optional sign, digits with an
// optional point, optional exponent. Nothing else, not even blanks.
DecimalParse ParseDecimal(std::string_view text, double& value) {
  std::string_view digits = text;
  bool negative = false;
  if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) {
    negative = digits[0] == '-';
    digits.remove_prefix(1);
  }
  // Also keeps out inf, nan and a second sign.
  if (digits.empty() || !(std::isdigit(static_cast<unsigned char>(digits[0])) || digits[0] == '.'))
    return DecimalParse::NotANumber;
  const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value,
                                      std::chars_format::general);
  if (result.ptr != digits.data() + digits.size()) return DecimalParse::NotANumber;
  // Beyond the double range either way is beyond the C3x range as well.
  if (result.ec == std::errc::result_out_of_range) return DecimalParse::OutOfRange;
  if (result.ec != std::errc()) return DecimalParse::NotANumber;
  if (negative) value = -value;
  return DecimalParse::Ok;
}

bool ParseWord(std::string_view text, uint32_t& word) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return false;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), word, base);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

int ValueToWord(Invocation& run, const std::string& text) {
  double value = 0.0;
  DecimalParse parsed = ParseDecimal(text, value);
  if (parsed == DecimalParse::NotANumber) {
    run.Err() << "velmora-cli float: '" << text << "' is not a decimal number\n";
    return kBadInput;
  }
  constexpr float kMax = std::numeric_limits<float>::max();
  constexpr float kMin = std::numeric_limits<float>::min();
  float single = 0.0f;
  // Halfway between the largest single and 2^128: from here on rounding to
  // single precision gives infinity.
  constexpr double kRoundsToInfinity = 0x1.ffffffp127;
  if (parsed == DecimalParse::Ok && std::fabs(value) < kRoundsToInfinity) {
    single = static_cast<float>(value);
    // Below the smallest normal single the conversion would not keep the value.
    if (single != 0.0f && std::fabs(single) < kMin) parsed = DecimalParse::OutOfRange;
  } else {
    parsed = DecimalParse::OutOfRange;
  }
  if (parsed == DecimalParse::OutOfRange) {
    run.Err() << "velmora-cli float: " << text
              << " is outside the C3x float range (0, or magnitudes from "
              << static_cast<double>(kMin) << " to " << static_cast<double>(kMax) << ")\n";
    return kBadInput;
  }
  // Both zeros are the C3x zero word.
  const uint32_t word = single == 0.0f ? 0x80000000u : FloatToC3x(single);
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(word));
  run.Out() << hex << "\n";
  return 0;
}

int WordToValue(Invocation& run, const std::string& text) {
  uint32_t word = 0;
  if (!ParseWord(text, word)) {
    run.Err() << "velmora-cli float: '" << text
              << "' is not a 32-bit word (use 0x followed by up to 8 hex digits, or a decimal "
                 "number)\n";
    return kBadInput;
  }
  run.Out() << FormatTargetWord(word, ViewType::Float) << "\n";
  return 0;
}

struct Args {
  std::optional<std::string> value, word;
};

const CommandRegistrar kRegistered([](CLI::App& app) -> CommandRun {
  CLI::App* cmd = app.add_subcommand(
      "float",
      "convert between numbers and C3x float words\n"
      "Converts a decimal number to the TMS320C3x single-precision word that holds\n"
      "it (printed as 0x%08X), or a C3x float word to its value (printed as %g).");
  auto args = std::make_shared<Args>();
  CLI::Option* value =
      cmd->add_option("VALUE", args->value, "decimal number, e.g. 1.5, -100, 2.5e-3");
  cmd->add_option("--word", args->word, "32-bit word, hexadecimal with 0x prefix or decimal")
      ->option_text("WORD")
      ->excludes(value);
  cmd->footer(
      "Values are rounded to single precision first; zero is the word 0x80000000.\n"
      "Exit status: 0 on success, 1 on a value or word out of range, 2 on wrong usage.\n");
  return [args](Invocation& run) {
    if (args->word) return WordToValue(run, *args->word);
    if (args->value) return ValueToWord(run, *args->value);
    run.Err() << "velmora-cli float: give one VALUE, or --word WORD\n";
    return kExitUsage;
  };
});

}  // namespace
}  // namespace velmora::cli
