#include "report/FR_Pars.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"

namespace {

// Operator codes of the postfix string.
constexpr char kGreaterEqual = 1;
constexpr char kLessEqual = 2;
constexpr char kNotEqual = 3;
constexpr char kOr = 4;
constexpr char kAnd = 5;
constexpr char kInt = 6;
constexpr char kFrac = 7;
constexpr char kNegate = 9;
constexpr char kUnaryPlus = 10;
constexpr char kStr = 11;
constexpr char kNot = 12;
constexpr char kMod = 13;
constexpr char kRound = 14;

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }

int Priority(char op) {
  switch (op) {
    case kGreaterEqual:
    case kLessEqual:
    case kNotEqual:
    case '<':
    case '=':
    case '>':
      return 3;
    case kNegate:
    case kUnaryPlus:
    case '+':
    case '-':
      return 2;
    case kInt:
    case kFrac:
    case kStr:
    case kRound:
      return 0;
    case '(':
      return 5;
    default:  // OR, AND, NOT, MOD, "*", "/"
      return 1;
  }
}

// The operator code of a word, 0 when the word is no operator.
char OperatorWord(const AnsiString& upper) {
  static const struct {
    const char* word;
    char code;
  } kWords[] = {{"INT", kInt}, {"FRAC", kFrac}, {"ROUND", kRound}, {"OR", kOr},
                {"AND", kAnd}, {"NOT", kNot},   {"STR", kStr},     {"MOD", kMod}};
  for (const auto& w : kWords)
    if (upper == w.word) return w.code;
  return 0;
}

bool IsUnaryCode(char c) {
  return c == kInt || c == kFrac || c == kNegate || c == kStr || c == kNot || c == kRound;
}

bool IsBinaryCode(char c) {
  return (c >= kGreaterEqual && c <= kAnd) || c == kMod || std::strchr("*+-/<=>", c) != nullptr;
}

bool StartsNumber(std::string_view word) {
  if (word.empty()) return false;
  const char c = word[0];
  return (c >= '0' && c <= '9') || c == ',' || c == '.';
}

// Where ReadOperandText stops.
bool EndsOperand(char c) { return IsBlankOrControl(c) || std::strchr("()*+-/<=>[", c) != nullptr; }

// Where a ";" outside "..." parts stands in an operand text; npos when none.
size_t SemicolonOutsideDoubleQuotes(std::string_view word) {
  bool quoted = false;
  for (size_t k = 0; k < word.size(); ++k) {
    if (word[k] == '"')
      quoted = !quoted;
    else if (!quoted && word[k] == ';')
      return k;
  }
  return std::string_view::npos;
}

// A quoted text from `pos`; *terminated tells whether the closing quote was found.
std::string_view ScanQuoted(std::string_view s, size_t* pos, bool* terminated) {
  const size_t start = *pos;
  size_t i = start + 1;
  *terminated = false;
  while (i < s.size()) {
    if (s[i] == '\'') {
      if (i + 1 < s.size() && s[i + 1] == '\'') {
        i += 2;
        continue;
      }
      ++i;
      *terminated = true;
      break;
    }
    ++i;
  }
  *pos = i;
  return s.substr(start, i - start);
}

AnsiString Dequote(std::string_view quoted, bool terminated) {
  std::string_view inner = quoted.substr(1, quoted.size() - 1 - (terminated ? 1 : 0));
  AnsiString out;
  out.reserve(inner.size());
  for (size_t i = 0; i < inner.size(); ++i) {
    out += inner[i];
    if (inner[i] == '\'' && i + 1 < inner.size() && inner[i + 1] == '\'') ++i;
  }
  return out;
}

// Rounds to the nearest integer, halves to even, for any double (infinities and
// NaN pass through): the report's INT, FRAC and ROUND must not fail on values
// beyond the integer range.
double RoundHalfEven(double v) {
  if (!std::isfinite(v)) return v;
  const double r = std::round(v);  // halves away from zero
  if (std::fabs(r - v) == 0.5 && std::fmod(r, 2.0) != 0) return r - std::copysign(1.0, v);
  return r;
}

Variant IntegerResult(int64_t v) {
  if (v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max())
    return Variant(static_cast<int>(v));
  return Variant(static_cast<long long>(v));
}

// The Variant "or": logical on two Booleans, bitwise on integers; Null wins.
Variant VarOr(const Variant& a, const Variant& b) {
  if (a.IsNull() || b.IsNull()) return Null();
  if (a.VarType() == varBoolean && b.VarType() == varBoolean) return Variant(a.AsBoolean() || b.AsBoolean());
  return IntegerResult(a.AsInt64() | b.AsInt64());
}

// The Variant integer remainder; Null wins; a zero divisor raises EDivByZero.
Variant VarMod(const Variant& a, const Variant& b) {
  if (a.IsNull() || b.IsNull()) return Null();
  return IntegerResult(IntMod(a.AsInt64(), b.AsInt64()));
}

Variant Binary(char op, const Variant& a, const Variant& b) {
  switch (op) {
    case '+':
      return a + b;
    case '-':
      return a - b;
    case '*':
    case kAnd:
      return a * b;
    case '/':
      if (b == Variant(0)) return Variant(0);
      return a / b;
    case kOr:
      return VarOr(a, b);
    case kMod:
      return VarMod(a, b);
    case kGreaterEqual:
      return Variant(a >= b ? 1 : 0);
    case kLessEqual:
      return Variant(a <= b ? 1 : 0);
    case kNotEqual:
      return Variant(a != b ? 1 : 0);
    case '<':
      return Variant(a < b ? 1 : 0);
    case '=':
      return Variant(a == b ? 1 : 0);
    default:  // '>'
      return Variant(a > b ? 1 : 0);
  }
}

Variant Unary(char op, const Variant& a) {
  switch (op) {
    case kNegate:
      return -a;
    case kStr:
      return Variant(VarToStr(a));
    case kNot:
      return Variant(a == Variant(0) ? 1 : 0);
    default:
      break;
  }
  const double v = a.AsDouble();
  const double r = RoundHalfEven(v);
  const bool snaps = std::fabs(r - v) < 1e-10;
  if (op == kInt) return Variant(snaps ? r : std::trunc(v));
  if (op == kFrac) return Variant(snaps ? 0.0 : v - std::trunc(v));
  return Variant(r);  // ROUND
}

[[noreturn]] void StackError(bool overflow) {
  throw EParserError(overflow ? Utf8ToAnsi("Ошибка в выражении: слишком много операндов")
                              : Utf8ToAnsi("Ошибка в выражении: не хватает операнда"));
}

[[noreturn]] void NestingError() { throw EParserError(Utf8ToAnsi("Слишком глубокая вложенность выражения")); }

// Counts nested evaluations on this thread, across parsers: a report's
// callbacks evaluate through other parser objects (the function libraries', the
// interpreter's), and a chain of names that resolve to each other would
// otherwise recurse until the process dies.
thread_local int g_eval_depth = 0;

class EvalDepthGuard {
 public:
  EvalDepthGuard() {
    if (g_eval_depth >= TfrParser::kMaxNesting) NestingError();
    ++g_eval_depth;
  }
  ~EvalDepthGuard() { --g_eval_depth; }
  EvalDepthGuard(const EvalDepthGuard&) = delete;
  EvalDepthGuard& operator=(const EvalDepthGuard&) = delete;
};

}  // namespace

// ---------------------------------------------------------------------------
// Reading routines

AnsiString ReadBracketed(std::string_view s, size_t start, size_t* end) {
  if (start >= s.size() || s[start] != '[') {
    *end = start;
    return AnsiString();
  }
  int depth = 0;
  bool in_single = false, in_double = false;
  for (size_t j = start; j < s.size(); ++j) {
    const char c = s[j];
    if (c == '\'' && !in_double) {
      in_single = !in_single;
    } else if (c == '"' && !in_single) {
      in_double = !in_double;
    } else if (!in_single && !in_double) {
      if (c == '[') {
        ++depth;
      } else if (c == ']' && --depth == 0) {
        *end = j;
        return AnsiString(s.substr(start + 1, j - start - 1));
      }
    }
  }
  // Unclosed: read as if the last character were the closing bracket.
  *end = s.size() - 1;
  if (s.size() < start + 3) return AnsiString();
  return AnsiString(s.substr(start + 1, s.size() - 2 - start));
}

AnsiString TfrParser::ReadOperandText(std::string_view s, size_t* pos) const {
  size_t i = *pos;
  while (i < s.size() && IsBlankOrControl(s[i])) ++i;
  const size_t start = i;
  bool quoted = false;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '"')
      quoted = !quoted;
    else if (!quoted && EndsOperand(c))
      break;
  }
  *pos = i;
  return AnsiString(s.substr(start, i - start));
}

AnsiString TfrParser::ReadQuoted(std::string_view s, size_t* pos) const {
  bool terminated;
  return AnsiString(ScanQuoted(s, pos, &terminated));
}

std::vector<AnsiString> TfrParser::ReadCallArguments(std::string_view s, size_t* pos) const {
  std::vector<AnsiString> args;
  auto keep = [&](size_t from, size_t to) {
    if (args.size() < 3) args.push_back(Trim(s.substr(from, to - from)));
  };
  int depth = 1;
  bool quoted = false;
  size_t arg_start = *pos;
  for (size_t i = *pos; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '\'') {
      quoted = !quoted;
    } else if (quoted) {
      continue;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      if (--depth == 0) {
        keep(arg_start, i);
        *pos = i + 1;
        return args;
      }
    } else if (c == ',' && depth == 1) {
      keep(arg_start, i);
      arg_start = i + 1;
    }
  }
  throw Exception("");
}

// ---------------------------------------------------------------------------
// Conversion

AnsiString TfrParser::ToPostfix(std::string_view s) const {
  AnsiString out;
  std::vector<char> ops;
  bool after_operand = false;

  auto push_operator = [&](char op) {
    if (!after_operand) {
      if (op == '-') op = kNegate;
      else if (op == '+') op = kUnaryPlus;
    }
    if (!ops.empty() && Priority(op) >= Priority(ops.back())) {
      while (!ops.empty() && Priority(op) >= Priority(ops.back())) {
        out += ops.back();
        ops.pop_back();
      }
    }
    ops.push_back(op);
    after_operand = false;
  };

  const size_t n = s.size();
  size_t i = 0;
  while (i < n) {
    const char c = s[i];
    const char next = i + 1 < n ? s[i + 1] : '\0';
    // Tabs and line feeds separate like blanks: in the postfix string a raw
    // control byte would read as an operator code.
    if (IsBlankOrControl(c)) {
      ++i;
      continue;
    }
    if (c == ';') break;
    if (c == '(') {
      ops.push_back('(');
      after_operand = false;
      ++i;
      continue;
    }
    if (c == ')') {
      while (!ops.empty() && ops.back() != '(') {
        out += ops.back();
        ops.pop_back();
      }
      if (!ops.empty()) ops.pop_back();
      ++i;
      continue;
    }
    if (c == '<' && next == '>') {
      push_operator(kNotEqual);
      i += 2;
      continue;
    }
    if (c == '>' && next == '=') {
      push_operator(kGreaterEqual);
      i += 2;
      continue;
    }
    if (c == '<' && next == '=') {
      push_operator(kLessEqual);
      i += 2;
      continue;
    }
    if (std::strchr("*+-/<=>", c)) {
      push_operator(c);
      ++i;
      continue;
    }

    // An operand.
    AnsiString prefix;
    if (c == '%') {
      prefix = AnsiString(s.substr(i, 2));
      i += prefix.size();
    }
    if (i < n && s[i] == '\'') {
      bool terminated;
      std::string_view quoted = ScanQuoted(s, &i, &terminated);
      out += prefix;
      out += quoted;
      // An unclosed string is closed here, or the operators appended after it
      // would be read as part of its text.
      if (!terminated) out += '\'';
      out += ' ';
      after_operand = true;
      continue;
    }
    if (i < n && s[i] == '[') {
      size_t end;
      const AnsiString inner = ReadBracketed(s, i, &end);
      out += prefix + "[" + inner + "] ";
      i = end + 1;
      after_operand = true;
      continue;
    }
    const size_t word_start = i;
    AnsiString word = ReadOperandText(s, &i);
    // The operand reader keeps semicolons (they belong to names elsewhere),
    // but here one outside "..." ends the expression even right after an
    // operand: "1+2;3" must not become the number text "2;3".
    if (const size_t cut = SemicolonOutsideDoubleQuotes(word); cut != AnsiString::npos) {
      word.resize(cut);
      i = word_start + cut;
    }
    if (i < n && s[i] == '[') {
      size_t end;
      word += "[" + ReadBracketed(s, i, &end) + "]";
      i = end + 1;
    }
    if (StartsNumber(word)) {
      out += prefix + word + ' ';
      after_operand = true;
      continue;
    }
    if (prefix.empty()) {
      if (const char op = OperatorWord(AnsiUpperCase(word))) {
        push_operator(op);
        continue;
      }
    }
    if (i < n && s[i] == '(') {
      ++i;
      ReadCallArguments(s, &i);
      out += prefix;
      out += s.substr(word_start, i - word_start);
    } else {
      out += prefix + word + ' ';
    }
    after_operand = true;
  }
  while (!ops.empty()) {
    out += ops.back();
    ops.pop_back();
  }
  return out;
}

// ---------------------------------------------------------------------------
// Evaluation

Variant TfrParser::EvaluateText(std::string_view text) { return EvalPostfix(ToPostfix(text)); }

Variant TfrParser::NameValue(const AnsiString& name) {
  if (!ValueCallback) return Null();
  Variant value;
  ValueCallback(name, value);
  return value;
}

Variant TfrParser::Call(const AnsiString& name, const std::vector<AnsiString>& args) {
  auto arg = [&](size_t k) { return k < args.size() ? args[k] : AnsiString(); };
  if (name == "COPY") {
    const AnsiString text = VarToStr(EvaluateText(arg(0)));
    const int start = StrToInt(VarToStr(EvaluateText(arg(1))));
    const int count = StrToInt(VarToStr(EvaluateText(arg(2))));
    return Variant(Copy(text, start, count));
  }
  if (name == "IF") {
    const Variant condition = EvaluateText(arg(0));
    // A Boolean condition (TRUE, or a name whose value is one) counts by its
    // truth: its text "True" is no number and would fail the conversion.
    const bool chosen = condition.VarType() == varBoolean ? condition.AsBoolean()
                                                          : Int(StrToFloat(VarToStr(condition))) != 0;
    return EvaluateText(chosen ? arg(1) : arg(2));
  }
  if (name == "STRTODATE") return Variant::FromDate(StrToDate(VarToStr(EvaluateText(arg(0)))));
  if (name == "STRTOTIME") return Variant::FromDate(StrToTime(VarToStr(EvaluateText(arg(0)))));
  if (!FunctionCallback) return Null();
  Variant value;
  FunctionCallback(name, Variant(arg(0)), Variant(arg(1)), Variant(arg(2)), value);
  return value;
}

Variant TfrParser::EvalPostfix(std::string_view s) {
  EvalDepthGuard guard;
  std::array<Variant, kStackSize> stack;
  stack[0] = Variant(0);
  int count = 0;  // entries pushed
  auto push = [&](Variant v) {
    if (count == kStackSize) StackError(true);
    stack[count++] = std::move(v);
  };

  const size_t n = s.size();
  size_t i = 0;
  while (i < n) {
    const char c = s[i];
    if (c == ' ' || c == kUnaryPlus) {
      ++i;
      continue;
    }
    if (c == '\'') {
      bool terminated;
      const std::string_view quoted = ScanQuoted(s, &i, &terminated);
      push(Variant(Dequote(quoted, terminated)));
      continue;
    }
    if (c == '[') {
      size_t end;
      const AnsiString inner = ReadBracketed(s, i, &end);
      i = end + 1;
      push(NameValue(inner));
      continue;
    }
    if (IsUnaryCode(c)) {
      if (count < 1) StackError(false);
      stack[count - 1] = Unary(c, stack[count - 1]);
      ++i;
      continue;
    }
    if (IsBinaryCode(c)) {
      if (count < 2) StackError(false);
      stack[count - 2] = Binary(c, stack[count - 2], stack[count - 1]);
      stack[--count] = Variant();
      ++i;
      continue;
    }

    const size_t word_start = i;
    const AnsiString word = ReadOperandText(s, &i);
    if (StartsNumber(word)) {
      AnsiString text = word;
      for (char& ch : text)
        if (ch == ',' || ch == '.') ch = FormatSettings().DecimalSeparator;
      push(Variant(StrToFloat(text)));
      continue;
    }
    const AnsiString upper = AnsiUpperCase(word);
    if (upper == "TRUE" || upper == "FALSE") {
      push(Variant(upper == "TRUE"));
      continue;
    }
    if (i < n && s[i] == '[') {
      size_t end;
      const AnsiString index = ReadBracketed(s, i, &end);
      i = end + 1;
      push(EvaluateText("GETARRAY(" + word + ", " + index + ")"));
      continue;
    }
    if (i < n && s[i] == '(') {
      ++i;
      const std::vector<AnsiString> args = ReadCallArguments(s, &i);
      push(Call(upper, args));
      continue;
    }
    if (word.empty()) {
      // A byte that starts nothing (a stray ")"): step over it.
      if (i == word_start) ++i;
      continue;
    }
    push(NameValue(upper));
  }
  return stack[0];
}

// ---------------------------------------------------------------------------
// TfrVariables

size_t TfrVariables::InsertPosition(std::string_view name) const {
  if (!sorted_) return items_.size();
  auto it = std::upper_bound(items_.begin(), items_.end(), name, [](std::string_view key, const Item& item) {
    return AnsiCompareText(key, item.name) < 0;
  });
  return static_cast<size_t>(it - items_.begin());
}

int TfrVariables::IndexOfVariable(std::string_view name) const {
  for (size_t k = 0; k < items_.size(); ++k)
    if (AnsiSameText(items_[k].name, name)) return static_cast<int>(k);
  return -1;
}

void TfrVariables::AssignVariable(std::string_view name, const Variant& value) {
  const int index = IndexOfVariable(name);
  if (index >= 0) {
    items_[index].value = value;
    return;
  }
  items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(InsertPosition(name)), Item{AnsiString(name), value});
}

Variant TfrVariables::FetchVariable(std::string_view name) const {
  const int index = IndexOfVariable(name);
  return index >= 0 ? items_[index].value : Null();
}

AnsiString TfrVariables::VariableNameAt(int i) const { return InRange(i) ? items_[i].name : AnsiString(); }

void TfrVariables::SetVariableNameAt(int i, std::string_view name) {
  if (!InRange(i)) return;
  Item item = std::move(items_[i]);
  items_.erase(items_.begin() + i);
  item.name = AnsiString(name);
  const size_t at = sorted_ ? InsertPosition(name) : static_cast<size_t>(i);
  items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(at), std::move(item));
}

Variant TfrVariables::VariableValueAt(int i) const { return InRange(i) ? items_[i].value : Variant(0); }

void TfrVariables::SetVariableValueAt(int i, const Variant& value) {
  if (InRange(i)) items_[i].value = value;
}

void TfrVariables::DeleteVariableAt(int i) {
  if (InRange(i)) items_.erase(items_.begin() + i);
}

void TfrVariables::SortVariables(bool sorted) {
  sorted_ = sorted;
  if (sorted)
    std::stable_sort(items_.begin(), items_.end(),
                     [](const Item& a, const Item& b) { return AnsiCompareText(a.name, b.name) < 0; });
}

// ---------------------------------------------------------------------------
// TfrFunctionSplitter

TfrFunctionSplitter::TfrFunctionSplitter(TStrings* match_names, TStrings* found_calls, TfrVariables* variables)
    : MatchNames(match_names), FoundCalls(found_calls), Variables(variables) {}

void TfrFunctionSplitter::SplitCalls(std::string_view text) {
  expanding_.clear();
  Split(text, 0);
}

void TfrFunctionSplitter::SplitVariable(int index, int depth) {
  // A variable whose expression reaches itself again is not followed twice:
  // it holds no call that the first pass does not find.
  if (std::find(expanding_.begin(), expanding_.end(), index) != expanding_.end()) return;
  expanding_.push_back(index);
  Split(VarToStr(Variables->VariableValueAt(index)), depth + 1);
  expanding_.pop_back();
}

void TfrFunctionSplitter::Split(std::string_view text, int depth) {
  if (depth > TfrParser::kMaxNesting) NestingError();
  const AnsiString s = Trim(text);
  if (s.empty() || s[0] == '\'') return;
  auto variable_index = [&](std::string_view name) { return Variables ? Variables->IndexOfVariable(name) : -1; };

  const size_t n = s.size();
  size_t i = 0;
  while (i < n) {
    while (i < n && IsBlankOrControl(s[i])) ++i;
    if (i >= n) break;
    if (s[i] == '[') {
      size_t end;
      const AnsiString inner = ReadBracketed(s, i, &end);
      const int index = variable_index(inner);
      if (index >= 0)
        SplitVariable(index, depth);
      else
        Split(inner, depth + 1);
      i = end + 1;
      continue;
    }
    // A string holds no call, whatever brackets it shows.
    if (s[i] == '\'') {
      parser_.ReadQuoted(s, &i);
      continue;
    }
    const AnsiString word = parser_.ReadOperandText(s, &i);
    const size_t word_start = i - word.size();
    if (i < n && s[i] == '(') {
      ++i;
      for (const AnsiString& arg : parser_.ReadCallArguments(s, &i)) Split(arg, depth + 1);
      if (MatchNames && FoundCalls && !word.empty() && MatchNames->IndexOf(word) >= 0)
        FoundCalls->Add(std::string_view(s).substr(word_start, i - word_start));
      continue;
    }
    if (!word.empty()) {
      const int index = variable_index(word);
      if (index >= 0) {
        SplitVariable(index, depth);
        continue;
      }
    }
    if (i < n && std::strchr("*+-/<=>", s[i])) {
      ++i;
      continue;
    }
    if (word.empty()) break;
  }
}
