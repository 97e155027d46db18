// Constant expressions of the assembler: TI number forms, symbols, `$`, and the
// operators + - * / % << >> & | ^ ~ with C precedence and parentheses.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::c3x {

struct ExprValue {
  bool isFloat = false;
  int64_t i = 0;
  double f = 0.0;

  double AsDouble() const { return isFloat ? f : static_cast<double>(i); }
  static ExprValue Int(int64_t v) { return {false, v, 0.0}; }
  static ExprValue Float(double v) { return {true, 0, v}; }
};

struct ExprContext {
  // Value of a symbol; std::nullopt when it is not (yet) defined. May set *error for a
  // symbol that is defined but cannot be evaluated (a circular .set, for example).
  std::function<std::optional<ExprValue>(std::string_view name, std::string* error)> symbol;
  std::optional<int64_t> here;  // value of `$`; unset where it has no meaning
};

struct ExprResult {
  std::optional<ExprValue> value;
  std::string error;        // set when value is empty
  bool unresolved = false;  // the only problem is a symbol not defined (yet)
};

ExprResult EvaluateExpression(std::string_view text, const ExprContext& context);

// 0x1F, 1Fh, 10b, 17q, 42, 1.5, 2.5e-3, .5; std::nullopt if the token is not a number.
std::optional<ExprValue> ParseNumber(std::string_view token);

bool IsSymbolStart(char c);
bool IsSymbolChar(char c);

}  // namespace velmora::c3x
