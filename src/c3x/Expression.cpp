#include "c3x/Expression.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace velmora::c3x {

bool IsSymbolStart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}
bool IsSymbolChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
}

namespace {

std::optional<int64_t> ParseDigits(std::string_view s, int base) {
  if (s.empty()) return std::nullopt;
  uint64_t v = 0;
  for (char c : s) {
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return std::nullopt;
    if (d >= base) return std::nullopt;
    if (v > (UINT64_C(1) << 40)) return std::nullopt;  // far beyond any 32-bit field
    v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
  }
  return static_cast<int64_t>(v);
}

class Parser {
 public:
  Parser(std::string_view text, const ExprContext& ctx) : s_(text), ctx_(ctx) {}

  ExprResult Run() {
    ExprResult r;
    auto v = Or();
    Skip();
    if (v && pos_ < s_.size()) Fail("unexpected '" + std::string(s_.substr(pos_)) + "'");
    if (!error_.empty()) {
      r.error = error_;
      r.unresolved = unresolvedOnly_;
      return r;
    }
    r.value = v;
    return r;
  }

 private:
  using V = std::optional<ExprValue>;

  void Skip() {
    while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_]))) ++pos_;
  }
  bool Eat(std::string_view op) {
    Skip();
    if (s_.substr(pos_, op.size()) == op) {
      pos_ += op.size();
      return true;
    }
    return false;
  }
  V Fail(std::string msg, bool unresolved = false) {
    if (error_.empty()) {
      error_ = std::move(msg);
      unresolvedOnly_ = unresolved;
    }
    return std::nullopt;
  }
  V IntOnly(const char* op) {
    return Fail(std::string("operator '") + op + "' needs integer operands");
  }

  V Or() {
    V a = Xor();
    while (a && Peek('|')) {
      ++pos_;
      V b = Xor();
      if (!b) return b;
      if (a->isFloat || b->isFloat) return IntOnly("|");
      a = ExprValue::Int(a->i | b->i);
    }
    return a;
  }
  V Xor() {
    V a = And();
    while (a && Peek('^')) {
      ++pos_;
      V b = And();
      if (!b) return b;
      if (a->isFloat || b->isFloat) return IntOnly("^");
      a = ExprValue::Int(a->i ^ b->i);
    }
    return a;
  }
  V And() {
    V a = Shift();
    while (a && Peek('&')) {
      ++pos_;
      V b = Shift();
      if (!b) return b;
      if (a->isFloat || b->isFloat) return IntOnly("&");
      a = ExprValue::Int(a->i & b->i);
    }
    return a;
  }
  V Shift() {
    V a = Sum();
    while (a) {
      bool left;
      if (Eat("<<"))
        left = true;
      else if (Eat(">>"))
        left = false;
      else
        break;
      V b = Sum();
      if (!b) return b;
      if (a->isFloat || b->isFloat) return IntOnly(left ? "<<" : ">>");
      if (b->i < 0 || b->i > 63) return Fail("shift count out of range");
      a = ExprValue::Int(left ? static_cast<int64_t>(static_cast<uint64_t>(a->i) << b->i)
                              : a->i >> b->i);
    }
    return a;
  }
  V Sum() {
    V a = Product();
    while (a) {
      char op;
      if (Peek('+'))
        op = '+';
      else if (Peek('-'))
        op = '-';
      else
        break;
      ++pos_;
      V b = Product();
      if (!b) return b;
      if (a->isFloat || b->isFloat) {
        const double x = a->AsDouble(), y = b->AsDouble();
        a = ExprValue::Float(op == '+' ? x + y : x - y);
      } else {
        a = ExprValue::Int(op == '+' ? a->i + b->i : a->i - b->i);
      }
    }
    return a;
  }
  V Product() {
    V a = Unary();
    while (a) {
      char op;
      if (Peek('*'))
        op = '*';
      else if (Peek('/'))
        op = '/';
      else if (Peek('%'))
        op = '%';
      else
        break;
      ++pos_;
      V b = Unary();
      if (!b) return b;
      if (a->isFloat || b->isFloat) {
        if (op == '%') return IntOnly("%");
        const double x = a->AsDouble(), y = b->AsDouble();
        if (op == '/' && y == 0.0) return Fail("division by zero");
        a = ExprValue::Float(op == '*' ? x * y : x / y);
      } else {
        if (op != '*' && b->i == 0) return Fail("division by zero");
        a = ExprValue::Int(op == '*' ? a->i * b->i : op == '/' ? a->i / b->i : a->i % b->i);
      }
    }
    return a;
  }
  V Unary() {
    // Nesting (parentheses, unary operators) is bounded so hostile input cannot
    // exhaust the stack.
    if (++depth_ > kMaxDepth) return Fail("expression nested too deeply");
    V v = UnaryBody();
    --depth_;
    return v;
  }
  V UnaryBody() {
    Skip();
    if (Peek('-')) {
      ++pos_;
      V a = Unary();
      if (!a) return a;
      return a->isFloat ? ExprValue::Float(-a->f) : ExprValue::Int(-a->i);
    }
    if (Peek('+')) {
      ++pos_;
      return Unary();
    }
    if (Peek('~')) {
      ++pos_;
      V a = Unary();
      if (!a) return a;
      if (a->isFloat) return IntOnly("~");
      return ExprValue::Int(~a->i);
    }
    return Primary();
  }
  bool Peek(char c) {
    Skip();
    if (pos_ >= s_.size() || s_[pos_] != c) return false;
    // Do not take the first character of a two-character operator.
    if ((c == '<' || c == '>') && pos_ + 1 < s_.size() && s_[pos_ + 1] == c) return false;
    return true;
  }
  V Primary() {
    Skip();
    if (pos_ >= s_.size()) return Fail("expression expected");
    const char c = s_[pos_];
    if (c == '(') {
      ++pos_;
      V v = Or();
      if (!v) return v;
      if (!Eat(")")) return Fail("')' expected");
      return v;
    }
    if (c == '\'') {
      // Character constant: 'A'.
      if (pos_ + 2 < s_.size() && s_[pos_ + 2] == '\'') {
        const auto ch = static_cast<unsigned char>(s_[pos_ + 1]);
        pos_ += 3;
        return ExprValue::Int(ch);
      }
      return Fail("bad character constant");
    }
    if (c == '$' && (pos_ + 1 >= s_.size() || !IsSymbolChar(s_[pos_ + 1]))) {
      ++pos_;
      if (!ctx_.here) return Fail("'$' has no value here");
      return ExprValue::Int(*ctx_.here);
    }
    if (std::isdigit(static_cast<unsigned char>(c)) ||
        (c == '.' && pos_ + 1 < s_.size() &&
         std::isdigit(static_cast<unsigned char>(s_[pos_ + 1])))) {
      size_t end = pos_;
      while (end < s_.size()) {
        const char d = s_[end];
        if (std::isalnum(static_cast<unsigned char>(d)) || d == '.') {
          ++end;
        } else if ((d == '+' || d == '-') && (s_[end - 1] == 'e' || s_[end - 1] == 'E') &&
                   !(s_.substr(pos_, 2) == "0x" || s_.substr(pos_, 2) == "0X")) {
          ++end;  // exponent sign of a decimal float
        } else {
          break;
        }
      }
      const std::string_view token = s_.substr(pos_, end - pos_);
      auto v = ParseNumber(token);
      if (!v) return Fail("bad number '" + std::string(token) + "'");
      pos_ = end;
      return v;
    }
    if (IsSymbolStart(c)) {
      size_t end = pos_ + 1;
      while (end < s_.size() && IsSymbolChar(s_[end])) ++end;
      const std::string_view name = s_.substr(pos_, end - pos_);
      pos_ = end;
      std::string err;
      auto v = ctx_.symbol ? ctx_.symbol(name, &err) : std::nullopt;
      if (!err.empty()) return Fail(err);
      if (!v) return Fail("undefined symbol '" + std::string(name) + "'", true);
      return v;
    }
    return Fail(std::string("unexpected '") + c + "'");
  }

  std::string_view s_;
  const ExprContext& ctx_;
  size_t pos_ = 0;
  std::string error_;
  bool unresolvedOnly_ = false;
  int depth_ = 0;
  static constexpr int kMaxDepth = 256;
};

}  // namespace

std::optional<ExprValue> ParseNumber(std::string_view t) {
  if (t.empty()) return std::nullopt;
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    auto v = ParseDigits(t.substr(2), 16);
    return v ? std::optional(ExprValue::Int(*v)) : std::nullopt;
  }
  const char last = static_cast<char>(std::toupper(static_cast<unsigned char>(t.back())));
  const std::string_view body = t.substr(0, t.size() - 1);
  if (last == 'H') {
    auto v = ParseDigits(body, 16);
    return v ? std::optional(ExprValue::Int(*v)) : std::nullopt;
  }
  if (last == 'B' && !body.empty()) {
    if (auto v = ParseDigits(body, 2)) return ExprValue::Int(*v);
  }
  if (last == 'Q' || last == 'O') {
    auto v = ParseDigits(body, 8);
    return v ? std::optional(ExprValue::Int(*v)) : std::nullopt;
  }
  if (auto v = ParseDigits(t, 10)) return ExprValue::Int(*v);
  // Decimal float: digits, an optional point and fraction, an optional exponent.
  const std::string text(t);
  for (char c : text)
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == 'e' || c == 'E' ||
          c == '+' || c == '-'))
      return std::nullopt;
  char* end = nullptr;
  const double d = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(d)) return std::nullopt;
  return ExprValue::Float(d);
}

ExprResult EvaluateExpression(std::string_view text, const ExprContext& context) {
  return Parser(text, context).Run();
}

}  // namespace velmora::c3x
