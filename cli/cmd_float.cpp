// velmora-cli float: converts between decimal numbers and TMS320C3x float words.
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "CliCommand.h"
#include "monitoring/ValueFormats.h"

namespace velmora::cli {
namespace {

constexpr int kBadInput = 1;
constexpr int kUsageError = 2;

void PrintFloatHelp() {
  std::printf(
      "Usage: velmora-cli float VALUE\n"
      "       velmora-cli float --word WORD\n"
      "\n"
      "Converts a decimal number to the TMS320C3x single-precision word that holds\n"
      "it (printed as 0x%%08X), or a C3x float word to its value (printed as %%g).\n"
      "\n"
      "  VALUE        decimal number, e.g. 1.5, -100, 2.5e-3\n"
      "  --word WORD  32-bit word, hexadecimal with 0x prefix or decimal\n"
      "  --help       this text\n"
      "\n"
      "Values are rounded to single precision first; zero is the word 0x80000000.\n");
}

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

int ValueToWord(const std::string& text) {
  double value = 0.0;
  DecimalParse parsed = ParseDecimal(text, value);
  if (parsed == DecimalParse::NotANumber) {
    std::fprintf(stderr, "velmora-cli float: '%s' is not a decimal number\n", text.c_str());
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
    std::fprintf(stderr,
                 "velmora-cli float: %s is outside the C3x float range (0, or magnitudes "
                 "from %g to %g)\n",
                 text.c_str(), static_cast<double>(kMin), static_cast<double>(kMax));
    return kBadInput;
  }
  // Both zeros are the C3x zero word.
  const uint32_t word = single == 0.0f ? 0x80000000u : FloatToC3x(single);
  std::printf("0x%08X\n", static_cast<unsigned>(word));
  return 0;
}

int WordToValue(const std::string& text) {
  uint32_t word = 0;
  if (!ParseWord(text, word)) {
    std::fprintf(stderr,
                 "velmora-cli float: '%s' is not a 32-bit word (use 0x followed by up to 8 hex "
                 "digits, or a decimal number)\n",
                 text.c_str());
    return kBadInput;
  }
  std::printf("%s\n", FormatTargetWord(word, ViewType::Float).c_str());
  return 0;
}

int RunFloat(const std::vector<std::string>& args) {
  std::vector<std::string> positional;
  std::string word;
  bool wordMode = false;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (optionsEnded || a.rfind("--", 0) != 0) {
      if (!optionsEnded && a == "-h") {
        PrintFloatHelp();
        return 0;
      }
      positional.push_back(a);  // "-1.5" is a value, not an option
    } else if (a == "--") {
      optionsEnded = true;
    } else if (a == "--help") {
      PrintFloatHelp();
      return 0;
    } else if (a == "--word") {
      if (i + 1 >= args.size()) {
        std::fprintf(stderr, "velmora-cli float: --word needs a WORD\n");
        return kUsageError;
      }
      wordMode = true;
      word = args[++i];
    } else if (a.rfind("--word=", 0) == 0) {
      wordMode = true;
      word = a.substr(7);
    } else if (a.rfind("--pod=", 0) == 0 || a.rfind("--settings=", 0) == 0) {
      // Global options of velmora-cli; nothing here talks to a pod.
    } else {
      std::fprintf(stderr, "velmora-cli float: unknown option '%s'\n", a.c_str());
      return kUsageError;
    }
  }
  if (wordMode && positional.empty()) return WordToValue(word);
  if (!wordMode && positional.size() == 1) return ValueToWord(positional[0]);
  std::fprintf(stderr,
               "velmora-cli float: give one VALUE, or --word WORD "
               "(see velmora-cli float --help)\n");
  return kUsageError;
}

CommandRegistrar registerFloat("float", "convert between numbers and C3x float words", RunFloat);

}  // namespace
}  // namespace velmora::cli
