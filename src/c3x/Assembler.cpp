#include "c3x/Assembler.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "c3x/C3xFloat.h"
#include "c3x/Expression.h"
#include "c3x/Isa.h"
#include "image/CoffWriter.h"

namespace velmora::c3x {
namespace {

std::string Upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

struct Statement {
  int line = 0;
  std::string label;
  std::string op;  // mnemonic or directive as written
  std::vector<std::string> operands;
  // A parallel instruction: the part right of "||" (same line or the next line).
  bool parallel = false;
  std::string op2;
  std::vector<std::string> operands2;
  bool continuation = false;  // the line began with "||"
};

// Splits at commas outside parentheses and quotes.
bool SplitOperands(std::string_view text, std::vector<std::string>& out, std::string& error) {
  out.clear();
  text = Trim(text);
  if (text.empty()) return true;
  int depth = 0;
  char quote = 0;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    const char c = i < text.size() ? text[i] : ',';
    if (quote) {
      if (c == quote) quote = 0;
      continue;
    }
    if (i < text.size() &&
        (c == '"' || (c == '\'' && i + 2 < text.size() && text[i + 2] == '\''))) {
      quote = c;
      continue;
    }
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (c == ',' && depth == 0) {
      out.emplace_back(Trim(text.substr(start, i - start)));
      start = i + 1;
    }
  }
  if (quote) {
    error = "unterminated string";
    return false;
  }
  if (depth != 0) {
    error = "unbalanced parentheses";
    return false;
  }
  return true;
}

// Removes a comment: '*' or ';' in column 1, or ';' anywhere outside quotes.
std::string_view StripComment(std::string_view line) {
  if (!line.empty() && (line[0] == '*' || line[0] == ';')) return {};
  char quote = 0;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"') {
      quote = c;
    } else if (c == '\'' && i + 2 < line.size() && line[i + 2] == '\'') {
      i += 2;
    } else if (c == ';') {
      return line.substr(0, i);
    }
  }
  return line;
}

bool SplitInstruction(std::string_view text, std::string& op, std::vector<std::string>& operands,
                      std::string& error) {
  size_t end = 0;
  while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end]))) ++end;
  op = std::string(text.substr(0, end));
  return SplitOperands(text.substr(end), operands, error);
}

bool ParseStatement(std::string_view raw, Statement& st, std::string& error) {
  std::string_view line = StripComment(raw);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  size_t pos = 0;
  auto readName = [&](size_t from) {
    size_t end = from;
    while (end < line.size() && IsSymbolChar(line[end])) ++end;
    return end;
  };
  // Label: a name in column 1 (colon optional), or a name followed by ':' anywhere.
  if (!line.empty() && !std::isspace(static_cast<unsigned char>(line[0])) &&
      line.substr(0, 2) != "||") {
    if (!IsSymbolStart(line[0])) {
      error = "label expected in column 1";
      return false;
    }
    pos = readName(0);
    st.label = std::string(line.substr(0, pos));
    if (pos < line.size() && line[pos] == ':') ++pos;
  } else {
    size_t p = 0;
    while (p < line.size() && std::isspace(static_cast<unsigned char>(line[p]))) ++p;
    if (p < line.size() && IsSymbolStart(line[p])) {
      const size_t end = readName(p);
      if (end < line.size() && line[end] == ':') {
        st.label = std::string(line.substr(p, end - p));
        pos = end + 1;
      }
    }
  }
  while (pos < line.size() && std::isspace(static_cast<unsigned char>(line[pos]))) ++pos;
  if (pos < line.size() && line[pos] == ':') {
    error = "misplaced ':'";
    return false;
  }
  std::string_view rest = line.substr(pos);
  if (rest.substr(0, 2) == "||") {
    st.continuation = true;
    rest = Trim(rest.substr(2));
  }
  // "A || B" on one line.
  const size_t bars = rest.find("||");
  if (bars != std::string_view::npos && rest.find('"') > bars) {
    st.parallel = true;
    if (!SplitInstruction(Trim(rest.substr(bars + 2)), st.op2, st.operands2, error)) return false;
    if (st.op2.empty()) {
      error = "instruction expected after '||'";
      return false;
    }
    rest = Trim(rest.substr(0, bars));
  }
  return SplitInstruction(rest, st.op, st.operands, error);
}

struct ParsedOperand {
  enum Kind { Register, Direct, Indirect, Expression } kind = Expression;
  uint8_t reg = 0;
  std::string expr;  // Direct, Expression; Indirect: displacement (empty: default)
  uint8_t ar = 0;
  uint8_t mod = 0;  // Indirect
};

bool ParseIndirect(std::string_view text, ParsedOperand& op, std::string& error) {
  std::string s;
  for (char c : text)
    if (!std::isspace(static_cast<unsigned char>(c))) s += c;
  const std::string u = Upper(s);
  size_t p = 1;  // after '*'
  std::string prefix, postfix;
  for (const char* cand : {"++", "--", "+", "-"}) {
    if (u.compare(p, std::string_view(cand).size(), cand) == 0) {
      prefix = cand;
      p += prefix.size();
      break;
    }
  }
  if (u.compare(p, 2, "AR") != 0 || p + 2 >= u.size() || u[p + 2] < '0' || u[p + 2] > '7') {
    error = "bad indirect operand '" + std::string(text) + "': AR0-AR7 expected";
    return false;
  }
  op.ar = static_cast<uint8_t>(u[p + 2] - '0');
  p += 3;
  if (u.compare(p, 2, "++") == 0 || u.compare(p, 2, "--") == 0) {
    postfix = u.substr(p, 2);
    p += 2;
  }
  std::string index;
  bool hasIndex = false;
  if (p < u.size() && u[p] == '(') {
    const size_t close = u.rfind(')');
    if (close == std::string::npos || close < p) {
      error = "')' expected in '" + std::string(text) + "'";
      return false;
    }
    index = s.substr(p + 1, close - p - 1);
    hasIndex = true;
    p = close + 1;
  }
  const bool circular = p < u.size() && u[p] == '%';
  const bool bitrev = p < u.size() && u[p] == 'B';
  if (circular || bitrev) ++p;
  if (p != u.size()) {
    error = "bad indirect operand '" + std::string(text) + "'";
    return false;
  }
  if (!prefix.empty() && !postfix.empty()) {
    error = "indirect operand cannot both pre- and post-modify";
    return false;
  }
  const std::string uindex = Upper(index);
  const int ir = uindex == "IR0" ? 1 : uindex == "IR1" ? 2 : 0;
  op.kind = ParsedOperand::Indirect;
  if (prefix.empty() && postfix.empty()) {
    if (hasIndex || circular || bitrev) {
      error = "a displacement or index needs +, -, ++ or --";
      return false;
    }
    op.mod = kModPlain;
    return true;
  }
  if (bitrev) {
    if (postfix != "++" || ir != 1) {
      error = "bit-reversed addressing is *ARn++(IR0)B";
      return false;
    }
    op.mod = kModBitReversed;
    return true;
  }
  int form;
  if (prefix == "+")
    form = 0;
  else if (prefix == "-")
    form = 1;
  else if (prefix == "++")
    form = 2;
  else if (prefix == "--")
    form = 3;
  else
    form = postfix == "++" ? 4 : 5;
  if (circular) {
    if (postfix.empty()) {
      error = "circular addressing needs a post-modification";
      return false;
    }
    form += 2;
  }
  op.mod = static_cast<uint8_t>(form + (ir == 1 ? kModIr0Base : ir == 2 ? kModIr1Base : 0));
  if (ir == 0) op.expr = index;  // empty: displacement 1
  return true;
}

bool ParseOperand(std::string_view text, ParsedOperand& op, std::string& error) {
  text = Trim(text);
  op = ParsedOperand{};
  if (text.empty()) {
    error = "missing operand";
    return false;
  }
  if (text[0] == '*') return ParseIndirect(text, op, error);
  if (text[0] == '@') {
    op.kind = ParsedOperand::Direct;
    op.expr = std::string(Trim(text.substr(1)));
    if (op.expr.empty()) {
      error = "address expected after '@'";
      return false;
    }
    return true;
  }
  if (auto r = ParseRegister(text)) {
    op.kind = ParsedOperand::Register;
    op.reg = *r;
    return true;
  }
  op.kind = ParsedOperand::Expression;
  op.expr = std::string(text);
  return true;
}

struct SymbolDef {
  enum Kind { Label, Set } kind = Label;
  int section = -1;
  uint32_t offset = 0;
  std::string expr;  // Set
  int line = 0;
  std::optional<int64_t> here;  // Set: `$` where it was defined, once known
  bool evaluating = false;
  std::optional<ExprValue> cached;  // Set: the value once it could be evaluated
  bool global = false;
  size_t order = 0;
};

struct SectionState {
  AsmSection sec;
  bool hasOrigin = false;
  bool placed = false;
  uint32_t offset = 0;  // location counter of the current pass
  size_t order = 0;
};

struct Mnemonic {
  const InsnInfo* info = nullptr;
  uint8_t cond = 0;
  bool ldp = false;
};

class AssemblerImpl {
 public:
  AssemblerImpl(std::string_view source, std::string file, const IncludeReader& reader)
      : file_(std::move(file)), reader_(reader) {
    files_.push_back({file_, -1});
    SplitLines(source, 0, lines_.size());
  }

  AsmResult Run() {
    Parse();
    if (errors_.empty()) Pass(1);
    if (errors_.empty()) Place();
    if (errors_.empty()) Pass(2);
    if (errors_.empty()) Finish();
    result_.errors = errors_;
    result_.ok = errors_.empty();
    return std::move(result_);
  }

 private:
  static constexpr size_t kMaxErrors = 100;
  static constexpr int kMaxSetDepth = 200;
  static constexpr int kMaxIncludeDepth = 16;

  // `line` counts the lines of the source with its included files expanded;
  // messages name the file and line the text came from.
  void Error(int line, const std::string& msg) {
    if (errors_.size() >= kMaxErrors) return;
    const size_t i = line > 0 ? static_cast<size_t>(line - 1) : 0;
    if (i < origins_.size())
      errors_.push_back(files_[origins_[i].file].name + ":" + std::to_string(origins_[i].line) +
                        ": " + msg);
    else
      errors_.push_back(file_ + ":" + std::to_string(line) + ": " + msg);
  }

  // Inserts the lines of text, which came from file number `file`, at `at`.
  void SplitLines(std::string_view text, size_t file, size_t at) {
    std::vector<std::string> lines;
    std::vector<LineOrigin> origins;
    std::string_view rest = text;
    int n = 0;
    while (!rest.empty() || n == 0) {
      const size_t nl = rest.find('\n');
      lines.emplace_back(rest.substr(0, nl));
      origins.push_back({file, n + 1});
      if (nl == std::string_view::npos) break;
      rest.remove_prefix(nl + 1);
      ++n;
    }
    lines_.insert(lines_.begin() + static_cast<long>(at), lines.begin(), lines.end());
    origins_.insert(origins_.begin() + static_cast<long>(at), origins.begin(), origins.end());
  }

  // `.include "name"` / `.copy "name"` on expanded line index i: the file's lines
  // follow that line.
  void Include(size_t i, const Statement& st) {
    if (!st.label.empty()) {
      Error(st.line, st.op + " cannot carry a label");
      return;
    }
    if (st.operands.size() != 1) {
      Error(st.line, st.op + " takes one file name");
      return;
    }
    std::string name = st.operands[0];
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
      name = name.substr(1, name.size() - 2);
    if (name.empty()) {
      Error(st.line, st.op + ": file name expected");
      return;
    }
    if (!reader_) {
      Error(st.line, "cannot include '" + name + "' here (no files to read from)");
      return;
    }
    const size_t from = origins_[i].file;
    std::string text, resolved, why;
    if (!reader_(name, files_[from].name, text, resolved, why)) {
      Error(st.line, "cannot include '" + name + "': " + why);
      return;
    }
    int depth = 0;
    for (int f = static_cast<int>(from); f >= 0; f = files_[static_cast<size_t>(f)].parent) {
      if (std::filesystem::path(files_[static_cast<size_t>(f)].name).lexically_normal() ==
          std::filesystem::path(resolved).lexically_normal()) {
        Error(st.line, "'" + name + "' includes itself");
        return;
      }
      ++depth;
    }
    if (depth > kMaxIncludeDepth) {
      Error(st.line, "files included too deeply (more than " + std::to_string(kMaxIncludeDepth) +
                         " levels)");
      return;
    }
    files_.push_back({resolved, static_cast<int>(from)});
    SplitLines(text, files_.size() - 1, i + 1);
  }

  // Placement errors have no line of their own.
  void FileError(const std::string& msg) {
    if (errors_.size() < kMaxErrors) errors_.push_back(file_ + ": " + msg);
  }

  void Parse() {
    for (size_t i = 0; i < lines_.size(); ++i) {
      Statement st;
      st.line = static_cast<int>(i + 1);
      std::string err;
      if (!ParseStatement(lines_[i], st, err)) {
        Error(st.line, err);
        continue;
      }
      if (st.label.empty() && st.op.empty() && !st.continuation) continue;
      if (!st.continuation && (Upper(st.op) == ".INCLUDE" || Upper(st.op) == ".COPY")) {
        Include(i, st);
        continue;
      }
      if (st.continuation) {
        // "|| B" on its own line joins the instruction just before it.
        Statement* prev = stmts_.empty() ? nullptr : &stmts_.back();
        if (!st.label.empty()) {
          Error(st.line, "a label cannot stand on a '||' line");
        } else if (st.parallel || st.op.empty()) {
          Error(st.line, "one instruction expected after '||'");
        } else if (!prev || prev->op.empty() || prev->op[0] == '.' || prev->parallel) {
          Error(st.line, "'||' must follow an instruction");
        } else {
          prev->parallel = true;
          prev->op2 = st.op;
          prev->operands2 = st.operands;
        }
        continue;
      }
      stmts_.push_back(std::move(st));
      if (Upper(stmts_.back().op) == ".END") break;
    }
  }

  // ---- symbols ----

  std::optional<ExprValue> SymbolValue(std::string_view name, std::string* error) {
    auto it = symbols_.find(std::string(name));
    if (it == symbols_.end()) return std::nullopt;
    SymbolDef& def = it->second;
    if (def.kind == SymbolDef::Label) {
      const SectionState& s = sections_[static_cast<size_t>(def.section)];
      if (!s.placed) return std::nullopt;
      return ExprValue::Int(static_cast<int64_t>(s.sec.origin) + def.offset);
    }
    if (def.cached) return def.cached;
    if (def.evaluating) {
      *error = "circular definition of '" + std::string(name) + "'";
      return std::nullopt;
    }
    if (setDepth_ >= kMaxSetDepth) {
      *error = "symbol definitions nested too deeply";
      return std::nullopt;
    }
    def.evaluating = true;
    ++setDepth_;
    ExprContext ctx;
    ctx.symbol = [this](std::string_view n, std::string* e) { return SymbolValue(n, e); };
    ctx.here = def.here;
    ExprResult r = EvaluateExpression(def.expr, ctx);
    --setDepth_;
    def.evaluating = false;
    if (!r.value && !r.unresolved) *error = r.error;
    // Once known, a value never changes: labels only become known, never move.
    def.cached = r.value;
    return r.value;
  }

  std::optional<int64_t> Here() const {
    if (cur_ < 0) return std::nullopt;
    const SectionState& s = sections_[static_cast<size_t>(cur_)];
    if (!s.placed) return std::nullopt;
    return static_cast<int64_t>(s.sec.origin) + s.offset;
  }

  // Evaluates text; in pass 1 a symbol not known yet is not an error unless required.
  std::optional<ExprValue> Eval(int line, std::string_view text, bool required = true) {
    ExprContext ctx;
    ctx.symbol = [this](std::string_view n, std::string* e) { return SymbolValue(n, e); };
    ctx.here = Here();
    ExprResult r = EvaluateExpression(text, ctx);
    if (r.value) return r.value;
    if (required) {
      if (r.unresolved && pass_ == 1)
        Error(line, r.error + " (the value must be known where it is used)");
      else
        Error(line, r.error);
    }
    return std::nullopt;
  }

  std::optional<int64_t> EvalInt(int line, std::string_view text, int64_t lo, int64_t hi,
                                 const char* what) {
    auto v = Eval(line, text);
    if (!v) return std::nullopt;
    if (v->isFloat) {
      Error(line, std::string(what) + ": integer expected");
      return std::nullopt;
    }
    if (v->i < lo || v->i > hi) {
      std::ostringstream os;
      os << what << " out of range (" << v->i << "; allowed " << lo << " to " << hi << ")";
      Error(line, os.str());
      return std::nullopt;
    }
    return v->i;
  }

  void DefineLabel(const Statement& st) {
    if (pass_ == 2) return;
    if (cur_ < 0) SwitchSection(st.line, ".text", nullptr);
    if (symbols_.count(st.label)) {
      Error(st.line, "symbol '" + st.label + "' is already defined");
      return;
    }
    SymbolDef def;
    def.kind = SymbolDef::Label;
    def.section = cur_;
    def.offset = sections_[static_cast<size_t>(cur_)].offset;
    def.line = st.line;
    def.order = symbolOrder_++;
    symbols_.emplace(st.label, std::move(def));
  }

  // ---- sections ----

  void SwitchSection(int line, const std::string& name, const std::string* originExpr) {
    auto it = std::find_if(sections_.begin(), sections_.end(),
                           [&](const SectionState& s) { return s.sec.name == name; });
    if (it == sections_.end()) {
      SectionState s;
      s.sec.name = name;
      s.sec.uninitialised = name == ".bss";
      s.order = sections_.size();
      sections_.push_back(std::move(s));
      it = sections_.end() - 1;
    }
    cur_ = static_cast<int>(it - sections_.begin());
    if (!originExpr || pass_ == 2) return;
    auto v = EvalInt(line, *originExpr, 0, 0xFFFFFF, "section origin");
    if (!v) return;
    if (it->hasOrigin && it->sec.origin != static_cast<uint32_t>(*v)) {
      Error(line, "section '" + name + "' already has another origin");
      return;
    }
    if (!it->hasOrigin && it->offset != 0) {
      Error(line, "the origin of section '" + name + "' must be given before its contents");
      return;
    }
    it->hasOrigin = true;
    it->placed = true;
    it->sec.origin = static_cast<uint32_t>(*v);
  }

  SectionState& Cur(int line) {
    if (cur_ < 0) SwitchSection(line, ".text", nullptr);
    return sections_[static_cast<size_t>(cur_)];
  }

  void Emit(int line, uint32_t word) {
    SectionState& s = Cur(line);
    if (s.sec.uninitialised) {
      if (pass_ == 1) Error(line, "no data or code may go into section '" + s.sec.name + "'");
      ++s.offset;
      return;
    }
    if (pass_ == 2) s.sec.words.push_back(word);
    ++s.offset;
  }

  void Reserve(int line, uint32_t count) {
    SectionState& s = Cur(line);
    if (static_cast<uint64_t>(s.offset) + count > 0x1000000) {
      Error(line, "section '" + s.sec.name + "' grows beyond the 24-bit address space");
      return;
    }
    if (pass_ == 2 && !s.sec.uninitialised) s.sec.words.insert(s.sec.words.end(), count, 0u);
    s.offset += count;
  }

  void Place() {
    // Sections without an origin follow the previous section, in order of appearance.
    uint32_t next = 0;
    for (SectionState& s : sections_) {
      s.sec.size = s.offset;
      if (!s.hasOrigin) s.sec.origin = next;
      s.placed = true;
      if (static_cast<uint64_t>(s.sec.origin) + s.sec.size > 0x1000000)
        FileError("section '" + s.sec.name + "' runs beyond address 0xFFFFFF");
      next = s.sec.origin + s.sec.size;
    }
    for (size_t a = 0; a < sections_.size(); ++a)
      for (size_t b = a + 1; b < sections_.size(); ++b) {
        const AsmSection& x = sections_[a].sec;
        const AsmSection& y = sections_[b].sec;
        if (x.size && y.size && x.origin < y.origin + y.size && y.origin < x.origin + x.size)
          FileError("sections '" + x.name + "' and '" + y.name + "' overlap");
      }
    for (const PendingHere& p : pendingHere_) {
      const SectionState& s = sections_[static_cast<size_t>(p.section)];
      symbols_[p.name].here = static_cast<int64_t>(s.sec.origin) + p.offset;
    }
  }

  // ---- passes ----

  void Pass(int pass) {
    pass_ = pass;
    cur_ = -1;
    for (SectionState& s : sections_) s.offset = 0;
    for (const Statement& st : stmts_) {
      const std::string op = Upper(st.op);
      if (op == ".SET" || op == ".EQU") {
        DefineSet(st);
        continue;
      }
      if (!st.label.empty()) DefineLabel(st);
      if (op.empty()) continue;
      if (op[0] == '.') {
        Directive(st, op);
        if (op == ".END") break;
        continue;
      }
      const uint32_t pc = Here().value_or(0);
      if (pass_ == 2) {
        auto w = Encode(st, pc);
        Emit(st.line, w.value_or(0));
      } else {
        Cur(st.line).sec.hasCode = true;
        Emit(st.line, 0);
      }
    }
  }

  void DefineSet(const Statement& st) {
    if (pass_ == 2) return;
    std::string name = st.label;
    std::string expr;
    if (name.empty()) {
      // ".set name, value" form.
      if (st.operands.size() != 2) {
        Error(st.line, "usage: name .set value");
        return;
      }
      name = st.operands[0];
      expr = st.operands[1];
    } else {
      if (st.operands.size() != 1) {
        Error(st.line, "usage: name .set value");
        return;
      }
      expr = st.operands[0];
    }
    if (name.empty() || !IsSymbolStart(name[0]) ||
        !std::all_of(name.begin(), name.end(), IsSymbolChar)) {
      Error(st.line, "bad symbol name '" + name + "'");
      return;
    }
    if (symbols_.count(name)) {
      Error(st.line, "symbol '" + name + "' is already defined");
      return;
    }
    SymbolDef def;
    def.kind = SymbolDef::Set;
    def.expr = expr;
    def.line = st.line;
    def.order = symbolOrder_++;
    def.here = Here();
    if (!def.here && cur_ >= 0) {
      // `$` in a section placed later: remember the location and resolve after placement.
      pendingHere_.push_back({name, cur_, sections_[static_cast<size_t>(cur_)].offset});
    }
    symbols_.emplace(name, std::move(def));
  }

  void Directive(const Statement& st, const std::string& op) {
    const auto& ops = st.operands;
    const int line = st.line;
    auto needOps = [&](size_t lo, size_t hi) {
      if (ops.size() < lo || ops.size() > hi) {
        if (pass_ == 1) Error(line, st.op + ": wrong number of operands");
        return false;
      }
      return true;
    };
    if (op == ".TEXT" || op == ".DATA") {
      if (!needOps(0, 1)) return;
      SwitchSection(line, op == ".TEXT" ? ".text" : ".data", ops.empty() ? nullptr : &ops[0]);
    } else if (op == ".SECT") {
      if (!needOps(1, 2)) return;
      std::string name = ops[0];
      if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
        name = name.substr(1, name.size() - 2);
      if (name.empty()) {
        if (pass_ == 1) Error(line, ".sect: section name expected");
        return;
      }
      SwitchSection(line, name, ops.size() > 1 ? &ops[1] : nullptr);
    } else if (op == ".BSS") {
      // .bss name, size: reserves size words in section .bss under the label name.
      if (!needOps(2, 2)) return;
      const int previous = cur_;
      SwitchSection(line, ".bss", nullptr);
      if (pass_ == 1) {
        Statement labelled = st;
        labelled.label = ops[0];
        if (!IsSymbolStart(ops[0].empty() ? ' ' : ops[0][0]))
          Error(line, ".bss: symbol name expected");
        else
          DefineLabel(labelled);
      }
      if (auto n = EvalInt(line, ops[1], 0, 0xFFFFFF, ".bss size"))
        Reserve(line, static_cast<uint32_t>(*n));
      cur_ = previous;
    } else if (op == ".ORG") {
      if (!needOps(1, 1)) return;
      Org(st);
    } else if (op == ".WORD" || op == ".INT" || op == ".LONG") {
      if (!needOps(1, 1u << 20)) return;
      for (const std::string& e : ops) {
        uint32_t w = 0;
        if (pass_ == 2)
          if (auto v = EvalInt(line, e, INT32_MIN, UINT32_MAX, "value"))
            w = static_cast<uint32_t>(*v);
        Emit(line, w);
      }
    } else if (op == ".FLOAT") {
      if (!needOps(1, 1u << 20)) return;
      for (const std::string& e : ops) {
        uint32_t w = 0;
        if (pass_ == 2) {
          if (auto v = Eval(line, e)) {
            FloatStatus status;
            w = DoubleToSingle(v->AsDouble(), &status);
            if (status == FloatStatus::Overflow)
              Error(line, "'" + e + "' is out of the range of a C3x float");
          }
        }
        Emit(line, w);
      }
    } else if (op == ".SPACE") {
      if (!needOps(1, 1)) return;
      if (pass_ == 1) {
        if (auto n = EvalInt(line, ops[0], 0, 0xFFFFFF, ".space size"))
          spaces_[&st] = static_cast<uint32_t>(*n);
      }
      auto it = spaces_.find(&st);
      Reserve(line, it == spaces_.end() ? 0 : it->second);
    } else if (op == ".GLOBAL" || op == ".DEF" || op == ".REF" || op == ".GLOBL") {
      if (!needOps(1, 1u << 10)) return;
      if (pass_ == 2)
        for (const std::string& name : ops) {
          auto it = symbols_.find(name);
          if (it == symbols_.end())
            Error(line, "undefined symbol '" + name + "' (an absolute program has no externals)");
          else
            it->second.global = true;
        }
    } else if (op == ".ENTRY") {
      if (!needOps(1, 1)) return;
      if (pass_ == 2)
        if (auto v = EvalInt(line, ops[0], 0, 0xFFFFFF, "entry point"))
          entry_ = static_cast<uint32_t>(*v);
    } else if (op == ".SYM") {
      if (pass_ == 2) Sym(st);
    } else if (op == ".END") {
    } else if (op == ".TITLE" || op == ".LIST" || op == ".NOLIST" || op == ".PAGE" ||
               op == ".WIDTH" || op == ".LENGTH" || op == ".VERSION" || op == ".FILE") {
      // Listing and tool directives: nothing to assemble.
    } else if (pass_ == 1) {
      Error(line, "unknown directive '" + st.op + "'");
    }
  }

  void Org(const Statement& st) {
    SectionState& s = Cur(st.line);
    if (pass_ == 1) {
      auto v = EvalInt(st.line, st.operands[0], 0, 0xFFFFFF, ".org address");
      if (!v) return;
      const auto addr = static_cast<uint32_t>(*v);
      if (!s.hasOrigin) {
        if (s.offset != 0) {
          Error(st.line, ".org in section '" + s.sec.name +
                             "' needs an origin: give it with .sect or as the first statement");
          return;
        }
        s.hasOrigin = s.placed = true;
        s.sec.origin = addr;
      }
      if (addr < s.sec.origin + s.offset) {
        Error(st.line, ".org cannot move backwards");
        return;
      }
      spaces_[&st] = addr - (s.sec.origin + s.offset);
    }
    auto it = spaces_.find(&st);
    if (it != spaces_.end()) Reserve(st.line, it->second);
  }

  void Sym(const Statement& st) {
    // .sym name, value, type, class[, size[, tag[, dim1[, dim2[, dim3[, dim4]]]]]]
    const auto& ops = st.operands;
    if (ops.size() < 4 || ops.size() > 10) {
      Error(st.line, ".sym: usage .sym name, value, type, class[, size[, tag[, dims...]]]");
      return;
    }
    AsmDebugSymbol sym;
    sym.name = ops[0];
    if (sym.name.empty() || !IsSymbolStart(sym.name[0]) ||
        !std::all_of(sym.name.begin(), sym.name.end(), IsSymbolChar)) {
      Error(st.line, ".sym: bad symbol name '" + sym.name + "'");
      return;
    }
    auto value = EvalInt(st.line, ops[1], INT32_MIN, UINT32_MAX, ".sym value");
    auto type = EvalInt(st.line, ops[2], 0, 0xFFFF, ".sym type");
    auto cls = EvalInt(st.line, ops[3], 0, 0xFF, ".sym storage class");
    if (ops.size() > 4 && !ops[4].empty())
      (void)EvalInt(st.line, ops[4], 0, UINT32_MAX, ".sym size");
    if (ops.size() > 5 && !ops[5].empty()) {
      Error(st.line, ".sym: structure tags are not supported");
      return;
    }
    for (size_t i = 6; i < ops.size(); ++i) {
      auto d = EvalInt(st.line, ops[i], 0, 0xFFFF, ".sym dimension");
      if (!d) return;
      sym.dims[i - 6] = static_cast<uint16_t>(*d);
      sym.hasDims = true;
    }
    if (!value || !type || !cls) return;
    sym.value = static_cast<uint32_t>(*value);
    sym.type = static_cast<uint16_t>(*type);
    sym.storageClass = static_cast<uint8_t>(*cls);
    result_.debugSymbols.push_back(std::move(sym));
  }

  // ---- instructions ----

  std::optional<Mnemonic> FindMnemonic(const std::string& u) {
    Mnemonic m;
    if (u == "LDP") {
      m.info = &Info(Op::LDIcond);
      m.ldp = true;
      return m;
    }
    for (const InsnInfo& row : InstructionTable()) {
      const bool conditional = row.format == Format::CondLoad || row.format == Format::CondBranch ||
                               row.format == Format::DecBranch || row.format == Format::Trap ||
                               row.format == Format::CondReturn;
      if (!conditional && row.mnemonic == u) {
        m.info = &row;
        return m;
      }
    }
    for (const InsnInfo& row : InstructionTable()) {
      const bool conditional = row.format == Format::CondLoad || row.format == Format::CondBranch ||
                               row.format == Format::DecBranch || row.format == Format::Trap ||
                               row.format == Format::CondReturn;
      if (!conditional || u.rfind(row.mnemonic, 0) != 0) continue;
      std::string rest = u.substr(row.mnemonic.size());
      if (row.delayed) {
        if (rest.empty() || rest.back() != 'D') continue;
        rest.pop_back();
      }
      if (rest.empty()) {
        m.info = &row;
        m.cond = 0;
        return m;
      }
      if (auto c = ParseCondition(rest)) {
        m.info = &row;
        m.cond = *c;
        return m;
      }
    }
    return std::nullopt;
  }

  // Three-operand counterpart of a general mnemonic ("ADDI" -> ADDI3), if any.
  const InsnInfo* ThreeOperandOf(const InsnInfo& info) {
    const std::string name = std::string(info.mnemonic) + "3";
    for (const InsnInfo& row : InstructionTable())
      if (row.format == Format::ThreeOperand && row.mnemonic == name) return &row;
    return nullptr;
  }

  bool CheckReg(int line, uint8_t reg, ValueKind kind, const char* role) {
    if (kind == ValueKind::Float && reg > kR7) {
      Error(line, std::string(role) + " must be one of R0-R7, not " + RegisterName(reg));
      return false;
    }
    return true;
  }

  std::optional<uint8_t> DestReg(int line, const std::string& text, ValueKind kind) {
    ParsedOperand op;
    std::string err;
    if (!ParseOperand(text, op, err)) {
      Error(line, err);
      return std::nullopt;
    }
    if (op.kind != ParsedOperand::Register) {
      Error(line, "register expected, not '" + text + "'");
      return std::nullopt;
    }
    if (!CheckReg(line, op.reg, kind, "register")) return std::nullopt;
    return op.reg;
  }

  // General source field (bits 22-0 minus the destination): G and 16 bits.
  std::optional<uint32_t> GeneralSource(int line, const std::string& text, const InsnInfo& info) {
    ParsedOperand op;
    std::string err;
    if (!ParseOperand(text, op, err)) {
      Error(line, err);
      return std::nullopt;
    }
    auto refuse = [&](const char* mode) -> std::optional<uint32_t> {
      Error(line, std::string(info.mnemonic) + " does not take " + mode + " operands");
      return std::nullopt;
    };
    switch (op.kind) {
      case ParsedOperand::Register:
        if (!(info.modes & kModeRegister)) return refuse("register");
        if (!CheckReg(line, op.reg, info.src, "source register")) return std::nullopt;
        return op.reg;
      case ParsedOperand::Direct: {
        if (!(info.modes & kModeDirect)) return refuse("direct");
        auto v = EvalInt(line, op.expr, 0, 0xFFFFFF, "direct address");
        if (!v) return std::nullopt;
        return (1u << 21) | (static_cast<uint32_t>(*v) & 0xFFFF);
      }
      case ParsedOperand::Indirect: {
        if (!(info.modes & kModeIndirect)) return refuse("indirect");
        uint32_t disp = 0;
        if (ModUsesDisplacement(op.mod)) {
          disp = 1;
          if (!op.expr.empty()) {
            auto v = EvalInt(line, op.expr, 0, 255, "displacement");
            if (!v) return std::nullopt;
            disp = static_cast<uint32_t>(*v);
          }
        }
        return (2u << 21) | (uint32_t{op.mod} << 11) | (uint32_t{op.ar} << 8) | disp;
      }
      case ParsedOperand::Expression: {
        if (!(info.modes & kModeImmediate)) return refuse("immediate");
        auto imm = Immediate(line, op.expr, info.src);
        if (!imm) return std::nullopt;
        return (3u << 21) | *imm;
      }
    }
    return std::nullopt;
  }

  std::optional<uint32_t> Immediate(int line, const std::string& expr, ValueKind kind) {
    if (kind == ValueKind::Float) {
      auto v = Eval(line, expr);
      if (!v) return std::nullopt;
      FloatStatus status;
      const uint16_t bits = DoubleToShort(v->AsDouble(), &status);
      if (status == FloatStatus::Overflow) {
        Error(line, "'" + expr + "' is out of the range of a short float immediate");
        return std::nullopt;
      }
      return bits;
    }
    auto v = kind == ValueKind::UInt ? EvalInt(line, expr, 0, 0xFFFF, "unsigned immediate")
                                     : EvalInt(line, expr, -32768, 32767, "signed immediate");
    if (!v) return std::nullopt;
    return static_cast<uint32_t>(*v) & 0xFFFF;
  }

  // Three-operand source: 8 bits, register or indirect with displacement 0 or 1.
  std::optional<uint32_t> ThreeOpSource(int line, const std::string& text, ValueKind kind,
                                        bool& indirect) {
    ParsedOperand op;
    std::string err;
    if (!ParseOperand(text, op, err)) {
      Error(line, err);
      return std::nullopt;
    }
    if (op.kind == ParsedOperand::Register) {
      if (!CheckReg(line, op.reg, kind, "source register")) return std::nullopt;
      indirect = false;
      return op.reg;
    }
    if (op.kind != ParsedOperand::Indirect) {
      Error(line,
            "three-operand instructions take register or indirect sources, not '" + text + "'");
      return std::nullopt;
    }
    indirect = true;
    uint8_t mod = op.mod;
    if (ModUsesDisplacement(mod) && !op.expr.empty()) {
      auto v = EvalInt(line, op.expr, 0, 1, "three-operand displacement");
      if (!v) return std::nullopt;
      if (*v == 0) mod = kModPlain;  // no displacement: the address is ARn itself
    }
    return (uint32_t{mod} << 3) | op.ar;
  }

  std::optional<uint32_t> PcRelative(int line, const std::string& text, uint32_t pc, bool delayed) {
    auto v = EvalInt(line, text, 0, 0xFFFFFF, "branch target");
    if (!v) return std::nullopt;
    const uint32_t next = (pc + (delayed ? 3u : 1u)) & 0xFFFFFF;
    int32_t disp = static_cast<int32_t>((static_cast<uint32_t>(*v) - next) & 0xFFFFFF);
    if (disp & 0x800000) disp -= 0x1000000;
    if (disp < -32768 || disp > 32767) {
      Error(line, "branch target out of reach of a 16-bit displacement (use BR or CALL)");
      return std::nullopt;
    }
    return static_cast<uint32_t>(disp) & 0xFFFF;
  }

  bool Count(const Statement& st, size_t lo, size_t hi) {
    if (st.operands.size() >= lo && st.operands.size() <= hi) return true;
    Error(st.line,
          Upper(st.op) + " takes " +
              (lo == hi ? std::to_string(lo) : std::to_string(lo) + " to " + std::to_string(hi)) +
              " operand" + (hi == 1 ? "" : "s"));
    return false;
  }

  // An operand of a parallel instruction: a register R0-R7 (3 bits) or an indirect
  // operand with displacement 0 or 1 (8 bits: modification, ARn).
  struct ParOperand {
    bool reg = false;
    uint32_t bits = 0;
  };

  std::optional<ParOperand> ParallelOperand(int line, const std::string& text) {
    ParsedOperand op;
    std::string err;
    if (!ParseOperand(text, op, err)) {
      Error(line, err);
      return std::nullopt;
    }
    if (op.kind == ParsedOperand::Register) {
      if (op.reg > kR7) {
        Error(line, std::string("parallel instructions use R0-R7, not ") + RegisterName(op.reg));
        return std::nullopt;
      }
      return ParOperand{true, op.reg};
    }
    if (op.kind != ParsedOperand::Indirect) {
      Error(line, "parallel instructions take registers and indirect operands, not '" + text + "'");
      return std::nullopt;
    }
    uint8_t mod = op.mod;
    if (ModUsesDisplacement(mod) && !op.expr.empty()) {
      auto v = EvalInt(line, op.expr, 0, 1, "parallel displacement");
      if (!v) return std::nullopt;
      if (*v == 0) mod = kModPlain;
    }
    return ParOperand{false, (uint32_t{mod} << 3) | op.ar};
  }

  std::optional<uint32_t> EncodeParallel(const Statement& st) {
    const int line = st.line;
    const std::string m1 = Upper(st.op), m2 = Upper(st.op2);
    // "ADDF" stands for "ADDF3" as in the three-operand instructions.
    auto matches = [](const std::string& written, Op op) {
      const std::string_view name = Info(op).mnemonic;
      return written == name ||
             (name.size() > 1 && name.back() == '3' && written == name.substr(0, name.size() - 1));
    };
    const ParallelInfo* found = nullptr;
    bool swapped = false;
    for (const ParallelInfo& p : ParallelTable())
      if (matches(m1, p.first) && matches(m2, p.second)) {
        found = &p;
        break;
      }
    if (!found)
      for (const ParallelInfo& p : ParallelTable())
        if (p.first != p.second && matches(m2, p.first) && matches(m1, p.second)) {
          found = &p;
          swapped = true;
          break;
        }
    if (!found) {
      Error(line, "no parallel instruction '" + st.op + " || " + st.op2 + "'");
      return std::nullopt;
    }
    const auto& xs = swapped ? st.operands2 : st.operands;
    const auto& ys = swapped ? st.operands : st.operands2;
    const bool threeX =
        found->kind == ParallelKind::MultiplyAdd || found->kind == ParallelKind::ThreeOpStore;
    const bool threeY = found->kind == ParallelKind::MultiplyAdd;
    const std::string nameX(Info(found->first).mnemonic), nameY(Info(found->second).mnemonic);
    if (xs.size() != (threeX ? 3u : 2u) || ys.size() != (threeY ? 3u : 2u)) {
      Error(line, "parallel " + nameX + " takes " + (threeX ? "3" : "2") + " operands and " +
                      nameY + " " + (threeY ? "3" : "2"));
      return std::nullopt;
    }
    std::vector<ParOperand> x, y;
    for (const std::string& t : xs) {
      auto o = ParallelOperand(line, t);
      if (!o) return std::nullopt;
      x.push_back(*o);
    }
    for (const std::string& t : ys) {
      auto o = ParallelOperand(line, t);
      if (!o) return std::nullopt;
      y.push_back(*o);
    }
    uint32_t w = Info(found->op).opcode;
    auto fail = [&](const std::string& msg) -> std::optional<uint32_t> {
      Error(line, msg + " in " + nameX + " || " + nameY);
      return std::nullopt;
    };
    // Operand shapes: the destination of a load or operation is a register, a store
    // writes to an indirect operand.
    switch (found->kind) {
      case ParallelKind::MultiplyAdd: {
        if (!x[2].reg || x[2].bits > 1) return fail("the multiply result goes to R0 or R1");
        if (!y[2].reg || y[2].bits < 2 || y[2].bits > 3)
          return fail("the add/subtract result goes to R2 or R3");
        // For each P: where the operands as written go (field shift) and what they are.
        struct Route {
          int xa, xb, ya, yb;
        };
        static constexpr Route kRoutes[4] = {
            {0, 8, 16, 19}, {8, 19, 16, 0}, {16, 19, 0, 8}, {8, 19, 0, 16}};
        auto isReg = [](int shift) { return shift >= 16; };
        for (int swapX = 0; swapX < 2; ++swapX)
          for (int swapY = 0; swapY < (found->commutative ? 2 : 1); ++swapY)
            for (uint32_t p = 0; p < 4; ++p) {
              const Route& r = kRoutes[p];
              const ParOperand &xa = x[swapX], &xb = x[1 - swapX];
              const ParOperand &ya = y[swapY], &yb = y[1 - swapY];
              if (xa.reg != isReg(r.xa) || xb.reg != isReg(r.xb) || ya.reg != isReg(r.ya) ||
                  yb.reg != isReg(r.yb))
                continue;
              return w | (p << 24) | (x[2].bits << 23) | ((y[2].bits - 2) << 22) |
                     (xa.bits << r.xa) | (xb.bits << r.xb) | (ya.bits << r.ya) | (yb.bits << r.yb);
            }
        return fail(
            "no operand routing fits: two of the four sources must be registers and "
            "two indirect");
      }
      case ParallelKind::LoadLoad:
        if (x[0].reg || y[0].reg || !x[1].reg || !y[1].reg)
          return fail("loads read an indirect operand into a register");
        return w | (x[1].bits << 22) | x[0].bits | (y[0].bits << 8) | (y[1].bits << 19);
      case ParallelKind::StoreStore:
        if (!x[0].reg || !y[0].reg || x[1].reg || y[1].reg)
          return fail("stores write a register to an indirect operand");
        return w | (x[0].bits << 22) | x[1].bits | (y[0].bits << 16) | (y[1].bits << 8);
      case ParallelKind::UnaryStore:
      case ParallelKind::ThreeOpStore: {
        if (!y[0].reg || y[1].reg)
          return fail("the store writes a register to an indirect operand");
        w |= (y[0].bits << 16) | (y[1].bits << 8);
        if (found->kind == ParallelKind::UnaryStore) {
          if (x[0].reg || !x[1].reg) return fail("the operation reads an indirect operand");
          return w | (x[1].bits << 22) | x[0].bits;
        }
        if (!x[2].reg) return fail("the result goes to a register");
        ParOperand a = x[0], b = x[1];
        if (!a.reg && b.reg && found->commutative) std::swap(a, b);
        if (!a.reg || b.reg) return fail("the sources are a register, then an indirect operand");
        return w | (x[2].bits << 22) | (a.bits << 19) | b.bits;
      }
    }
    return std::nullopt;
  }

  std::optional<uint32_t> Encode(const Statement& st, uint32_t pc) {
    if (st.parallel) return EncodeParallel(st);
    const std::string u = Upper(st.op);
    auto m = FindMnemonic(u);
    if (!m) {
      Error(st.line, "unknown instruction '" + st.op + "'");
      return std::nullopt;
    }
    const InsnInfo* info = m->info;
    const auto& ops = st.operands;
    const int line = st.line;

    if (m->ldp) {
      if (!Count(st, 1, 2)) return std::nullopt;
      if (ops.size() == 2 && Upper(Trim(ops[1])) != "DP") {
        Error(line, "LDP loads DP only");
        return std::nullopt;
      }
      std::string_view text = Trim(ops[0]);
      if (!text.empty() && text[0] == '@') text.remove_prefix(1);
      auto v = EvalInt(line, text, 0, 0xFFFFFF, "LDP operand");
      if (!v) return std::nullopt;
      // Every form loads bits 23-16 of the value, as TI's assembler does: a small
      // value is an address on page 0, never a page number (that is LDI n, DP).
      return 0x50700000u | ((static_cast<uint32_t>(*v) >> 16) & 0xFF);
    }

    if (info->format == Format::General && ops.size() == 3) {
      if (const InsnInfo* three = ThreeOperandOf(*info)) info = three;
    }

    uint32_t w = info->opcode;
    switch (info->format) {
      case Format::General:
      case Format::CondLoad: {
        if (!Count(st, 2, 2)) return std::nullopt;
        auto src = GeneralSource(line, ops[0], *info);
        auto dst = DestReg(line, ops[1], info->dst);
        if (!src || !dst) return std::nullopt;
        if (info->format == Format::CondLoad) w |= uint32_t{m->cond} << 23;
        return w | (uint32_t{*dst} << 16) | *src;
      }
      case Format::Store: {
        if (!Count(st, 2, 2)) return std::nullopt;
        auto reg = DestReg(line, ops[0], info->dst);
        auto dst = GeneralSource(line, ops[1], *info);
        if (!reg || !dst) return std::nullopt;
        return w | (uint32_t{*reg} << 16) | *dst;
      }
      case Format::Register: {
        if (!Count(st, 1, 1)) return std::nullopt;
        auto reg = DestReg(line, ops[0], info->dst);
        if (!reg) return std::nullopt;
        return w | (uint32_t{*reg} << 16);
      }
      case Format::NoOperand:
      case Format::CondReturn:
        if (!Count(st, 0, 0)) return std::nullopt;
        return w | (uint32_t{m->cond} << 16);
      case Format::Repeat:
      case Format::Iack: {
        if (!Count(st, 1, 1)) return std::nullopt;
        auto src = GeneralSource(line, ops[0], *info);
        if (!src) return std::nullopt;
        return w | *src;
      }
      case Format::Nop: {
        if (!Count(st, 0, 1)) return std::nullopt;
        if (ops.empty()) return w;
        auto src = GeneralSource(line, ops[0], *info);
        if (!src) return std::nullopt;
        return w | *src;
      }
      case Format::ThreeOperand: {
        const bool hasDst = info->dst != ValueKind::None;
        if (!Count(st, hasDst ? 3 : 2, hasDst ? 3 : 2)) return std::nullopt;
        bool ind2 = false, ind1 = false;
        auto src2 = ThreeOpSource(line, ops[0], info->src, ind2);
        auto src1 = ThreeOpSource(line, ops[1], info->src, ind1);
        std::optional<uint8_t> dst = uint8_t{0};
        if (hasDst) dst = DestReg(line, ops[2], info->dst);
        if (!src2 || !src1 || !dst) return std::nullopt;
        const uint32_t t = (ind2 ? 2u : 0u) | (ind1 ? 1u : 0u);
        return w | (t << 21) | (uint32_t{*dst} << 16) | (*src1 << 8) | *src2;
      }
      case Format::Branch24: {
        if (!Count(st, 1, 1)) return std::nullopt;
        std::string_view text = Trim(ops[0]);
        if (!text.empty() && text[0] == '@') text.remove_prefix(1);
        auto v = EvalInt(line, text, 0, 0xFFFFFF, "address");
        if (!v) return std::nullopt;
        return w | static_cast<uint32_t>(*v);
      }
      case Format::CondBranch:
      case Format::DecBranch: {
        const bool dec = info->format == Format::DecBranch;
        if (!Count(st, dec ? 2 : 1, dec ? 2 : 1)) return std::nullopt;
        w |= uint32_t{m->cond} << 16;
        if (dec) {
          auto ar = DestReg(line, ops[0], ValueKind::Int);
          if (!ar) return std::nullopt;
          if (*ar < kAR0 || *ar > kAR7) {
            Error(line, "DB needs an auxiliary register AR0-AR7 as its counter");
            return std::nullopt;
          }
          w |= uint32_t{static_cast<uint8_t>(*ar - kAR0)} << 22;
        }
        const std::string& target = ops[dec ? 1 : 0];
        if (auto r = ParseRegister(Trim(target))) return w | *r;
        std::string_view text = Trim(target);
        if (!text.empty() && text[0] == '@') text.remove_prefix(1);
        auto disp = PcRelative(line, std::string(text), pc, info->delayed);
        if (!disp) return std::nullopt;
        return w | (1u << 25) | *disp;
      }
      case Format::Trap: {
        if (!Count(st, 1, 1)) return std::nullopt;
        auto n = EvalInt(line, ops[0], 0, 31, "trap number");
        if (!n) return std::nullopt;
        return w | (uint32_t{m->cond} << 16) | 0x20u | static_cast<uint32_t>(*n);
      }
      case Format::Illegal:
      case Format::Parallel:
        break;
    }
    Error(line, "cannot assemble '" + st.op + "'");
    return std::nullopt;
  }

  void Finish() {
    if (std::none_of(sections_.begin(), sections_.end(),
                     [](const SectionState& s) { return s.sec.size != 0; })) {
      FileError("no code or data to assemble");
      return;
    }
    for (SectionState& s : sections_) result_.sections.push_back(s.sec);
    // Labels and globals, in definition order.
    std::vector<std::pair<size_t, const std::pair<const std::string, SymbolDef>*>> order;
    for (const auto& entry : symbols_) order.push_back({entry.second.order, &entry});
    std::sort(order.begin(), order.end());
    for (const auto& [ord, entry] : order) {
      const SymbolDef& def = entry->second;
      if (def.kind == SymbolDef::Set && !def.global) continue;
      AsmSymbol sym;
      sym.name = entry->first;
      sym.global = def.global;
      std::string err;
      auto v = SymbolValue(entry->first, &err);
      if (!v || v->isFloat) {
        if (def.global)
          Error(def.line, "global symbol '" + entry->first + "' needs an integer value");
        continue;
      }
      sym.value = static_cast<uint32_t>(v->i);
      sym.section = def.kind == SymbolDef::Label ? def.section : -1;
      result_.symbols.push_back(std::move(sym));
    }
    if (entry_) {
      result_.entryPoint = *entry_;
    } else {
      for (const AsmSection& s : result_.sections)
        if (s.size && !s.uninitialised) {
          result_.entryPoint = s.origin;
          break;
        }
    }
  }

  struct PendingHere {
    std::string name;
    int section;
    uint32_t offset;
  };

  struct SourceFile {
    std::string name;
    int parent = -1;  // the file that included it
  };
  struct LineOrigin {
    size_t file = 0;
    int line = 0;
  };

  std::string file_;
  IncludeReader reader_;
  std::vector<SourceFile> files_;
  std::vector<std::string> lines_;
  std::vector<LineOrigin> origins_;  // one per line of lines_
  std::vector<Statement> stmts_;
  std::vector<SectionState> sections_;
  std::map<std::string, SymbolDef> symbols_;
  std::map<const Statement*, uint32_t> spaces_;  // pass-1 sizes of .space and .org
  std::vector<PendingHere> pendingHere_;
  size_t symbolOrder_ = 0;
  int setDepth_ = 0;
  int cur_ = -1;
  int pass_ = 1;
  std::optional<uint32_t> entry_;
  std::vector<std::string> errors_;
  AsmResult result_;
};

}  // namespace

AsmResult Assemble(std::string_view source, const std::string& fileName,
                   const IncludeReader& reader) {
  return AssemblerImpl(source, fileName, reader).Run();
}

IncludeReader FileIncludeReader() {
  return [](const std::string& name, const std::string& includingFile, std::string& text,
            std::string& resolvedName, std::string& error) {
    namespace fs = std::filesystem;
    fs::path path(name);
    if (path.is_relative()) path = fs::path(includingFile).parent_path() / path;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      error = "cannot open " + path.string();
      return false;
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) {
      error = "cannot read " + path.string();
      return false;
    }
    text = content.str();
    resolvedName = path.lexically_normal().string();
    return true;
  };
}

}  // namespace velmora::c3x

namespace velmora::c3x {

void BuildCoff(const AsmResult& result, CoffWriterOptions& options,
               std::vector<CoffWriterSection>& sections, std::vector<CoffWriterSymbol>& symbols) {
  options = CoffWriterOptions{};
  options.format = CoffFormat::COFF2;
  options.fileFlags = 0x0007;  // relocation info, line numbers stripped; executable
  options.optionalHeader = true;
  options.entryPoint = result.entryPoint;
  sections.clear();
  symbols.clear();

  std::vector<int16_t> number(result.sections.size(), -1);  // COFF section number, -1 absolute
  for (size_t i = 0; i < result.sections.size(); ++i) {
    const AsmSection& s = result.sections[i];
    if (s.size == 0) continue;
    CoffWriterSection out;
    out.name = s.name;
    out.physicalAddress = out.virtualAddress = s.origin;
    if (s.uninitialised) {
      out.flags = 0x80;  // STYP_BSS
      out.hasRawData = false;
      out.sizeWords = s.size;
    } else {
      out.flags = s.hasCode ? 0x20 : 0x40;  // STYP_TEXT or STYP_DATA
      out.data = s.words;
    }
    sections.push_back(std::move(out));
    number[i] = static_cast<int16_t>(sections.size());

    // Section symbol with its length in the auxiliary entry, as TI's tools write it.
    CoffWriterSymbol sym;
    sym.name = s.name;
    sym.value = s.origin;
    sym.sectionNumber = number[i];
    sym.storageClass = 3;
    sym.hasAux = true;
    std::array<uint8_t, 18> aux{};
    for (int b = 0; b < 4; ++b)
      aux[static_cast<size_t>(b)] = static_cast<uint8_t>(s.size >> (8 * b));
    sym.auxRaw = aux;
    symbols.push_back(std::move(sym));
  }

  auto sectionOf = [&](uint32_t address) -> int16_t {
    for (size_t i = 0; i < result.sections.size(); ++i) {
      const AsmSection& s = result.sections[i];
      if (number[i] > 0 && address >= s.origin && address - s.origin < s.size) return number[i];
    }
    return -1;
  };

  for (const AsmSymbol& s : result.symbols) {
    const bool described = std::any_of(result.debugSymbols.begin(), result.debugSymbols.end(),
                                       [&](const AsmDebugSymbol& d) { return d.name == s.name; });
    if (described) continue;  // the .sym entry stands for it
    CoffWriterSymbol sym;
    sym.name = s.name;
    sym.value = s.value;
    sym.sectionNumber = s.section >= 0 ? number[static_cast<size_t>(s.section)] : -1;
    if (s.section >= 0 && sym.sectionNumber < 0) sym.sectionNumber = sectionOf(s.value);
    sym.storageClass = s.global ? 2 : 3;
    symbols.push_back(std::move(sym));
  }
  for (const AsmDebugSymbol& d : result.debugSymbols) {
    CoffWriterSymbol sym;
    sym.name = d.name;
    sym.value = d.value;
    sym.sectionNumber = sectionOf(d.value);
    sym.type = d.type;
    sym.storageClass = d.storageClass;
    if (d.hasDims) {
      sym.hasAux = true;
      sym.dims = d.dims;
    }
    symbols.push_back(std::move(sym));
  }
}

bool AssembleFile(const std::string& inPath, const std::string& outPath,
                  std::vector<std::string>& errors) {
  std::ifstream in(inPath, std::ios::binary);
  if (!in) {
    errors.push_back(inPath + ": cannot open the source file");
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) {
    errors.push_back(inPath + ": cannot read the source file");
    return false;
  }
  const AsmResult result = Assemble(text.str(), inPath, FileIncludeReader());
  if (!result.ok) {
    errors.insert(errors.end(), result.errors.begin(), result.errors.end());
    return false;
  }
  CoffWriterOptions options;
  std::vector<CoffWriterSection> sections;
  std::vector<CoffWriterSymbol> symbols;
  BuildCoff(result, options, sections, symbols);
  if (!WriteCoffFile(outPath, options, sections, symbols)) {
    errors.push_back(outPath + ": cannot write the output file");
    return false;
  }
  return true;
}

}  // namespace velmora::c3x
