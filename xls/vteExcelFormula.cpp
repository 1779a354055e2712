#include "xls/vteExcelFormula.h"

#include "toolkit/core/binary.h"
#include "toolkit/core/sysutils.h"
#include "xls/BIFF8_Types.h"
#include "xls/vteConsts.h"
#include "xls/vteExcelFormula_iftab.h"

namespace {

// The operator table: text, precedence and token, by row (1-based).
struct OperatorRow {
  const char* text;
  int precedence;
  uint8_t token;
};
constexpr OperatorRow kOperators[] = {
    {"(", 0, 0},                  // 1
    {")", 1, biff8::tParen},      // 2 (emitted for a plain bracket)
    {">=", 2, biff8::tGE},        // 3
    {"<=", 2, biff8::tLE},        // 4
    {"<>", 2, biff8::tNE},        // 5
    {"=", 2, biff8::tEQ},         // 6
    {">", 2, biff8::tGT},         // 7
    {"<", 2, biff8::tLT},         // 8
    {"&", 3, biff8::tConcat},     // 9
    {"+", 4, biff8::tAdd},        // 10
    {"-", 4, biff8::tSub},        // 11
    {"*", 5, biff8::tMul},        // 12
    {"/", 5, biff8::tDiv},        // 13
    {"^", 6, biff8::tPower},      // 14
    {"%", 7, biff8::tPercent},    // 15
    {"+", 8, biff8::tUplus},      // 16 (unary)
    {"-", 8, biff8::tUminus},     // 17 (unary)
    {"", 9, biff8::tFuncVarV},    // 18 (function)
};
constexpr int kRowOpen = 1;
constexpr int kRowClose = 2;
constexpr int kRowPercent = 15;
constexpr int kRowUnaryPlus = 16;
constexpr int kRowUnaryMinus = 17;
constexpr int kRowFunction = 18;

const OperatorRow& Op(int row) { return kOperators[row - 1]; }

bool IsIdentStart(char c) {
  return c == '$' || c == '\'' || c == '[' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsIdentChar(char c) {
  return c == '!' || c == '$' || c == '\'' || c == '.' || (c >= '0' && c <= '9') || c == ':' || c == '@' ||
         (c >= 'A' && c <= 'Z') || c == '[' || c == ']' || c == '_' || (c >= 'a' && c <= 'z');
}
bool IsOperatorChar(char c) {
  switch (c) {
    case '%': case '&': case '*': case '+': case '-': case '/': case '<': case '=': case '>': case '^':
      return true;
    default:
      return false;
  }
}
bool IsSign(char c) { return c == '+' || c == '-'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return static_cast<unsigned char>(c) < 33; }

// Looks an operator text up in rows 1 to 18; 0 when absent.
int FindOperator(std::string_view text) {
  for (int row = 1; row <= kRowFunction; ++row)
    if (text == Op(row).text) return row;
  return 0;
}

}  // namespace

// ---- References ------------------------------------------------------------

bool ParseCellRef(std::string_view text, uint16_t* row, uint16_t* column_word) {
  const AnsiString s = UpperCase(text);
  size_t end = s.size();
  size_t p = end;
  while (p > 0 && IsDigit(s[p - 1])) --p;
  if (p == end || end - p > 5) return false;
  uint32_t row_number = 0;
  for (size_t i = p; i < end; ++i) row_number = row_number * 10 + static_cast<uint32_t>(s[i] - '0');
  // Rows are 1-based in the text; a sheet has 65536 of them.
  if (row_number < 1 || row_number > static_cast<uint32_t>(biff8::kMaxRows)) return false;
  uint16_t flags = 0;
  if (p > 0 && s[p - 1] == '$')
    --p;
  else
    flags |= biff8::kRowRelative;
  size_t letters_end = p;
  while (p > 0 && s[p - 1] >= 'A' && s[p - 1] <= 'Z') --p;
  const size_t letters = letters_end - p;
  if (letters < 1 || letters > 2) return false;
  int column = 0;
  for (size_t i = p; i < letters_end; ++i) column = column * 26 + (s[i] - 'A' + 1);
  --column;
  // Two letters reach ZZ, but the format's column field ends at IV (255):
  // more would spill into the relative flags.
  if (column >= biff8::kMaxColumns) return false;
  if (p > 0 && s[p - 1] == '$')
    --p;
  else
    flags |= biff8::kColumnRelative;
  if (p != 0) return false;
  *row = static_cast<uint16_t>(row_number - 1);
  *column_word = static_cast<uint16_t>(column | flags);
  return true;
}

int TvteExtRefs::AddSheetRef(std::string_view workbook, std::string_view sheet) {
  int book = -1;
  for (size_t i = 0; i < workbooks_.size(); ++i)
    if (workbooks_[i].Name == workbook) book = static_cast<int>(i);
  if (book < 0) {
    workbooks_.push_back({AnsiString(workbook), {}});
    book = static_cast<int>(workbooks_.size()) - 1;
  }
  auto& list = workbooks_[static_cast<size_t>(book)].Sheets;
  for (int ref : list)
    if (sheets_[static_cast<size_t>(ref)].Name == sheet) return ref;
  sheets_.push_back({AnsiString(sheet), book, static_cast<int>(list.size())});
  list.push_back(static_cast<int>(sheets_.size()) - 1);
  return static_cast<int>(sheets_.size()) - 1;
}

void TvteExtRefs::Clear() {
  workbooks_.clear();
  sheets_.clear();
}

TvteCompileOpStack::Entry* TvteCompileOpStack::InnermostFunction() {
  for (int i = Count() - 1; i >= 0; --i) {
    const Entry& e = entries_[static_cast<size_t>(i)];
    if (e.Row == kRowOpen && e.CallOf >= 0) return &entries_[static_cast<size_t>(e.CallOf)];
  }
  return nullptr;
}

// ---- Compiler --------------------------------------------------------------

void TvteExcelFormulaCompiler::CompileError(const AnsiString& message) { throw Exception(message); }

void TvteExcelFormulaCompiler::Clear() {
  ext_refs_.Clear();
  stack_.Clear();
}

void TvteExcelFormulaCompiler::MarkContent() {
  if (auto* f = stack_.InnermostFunction()) f->HasContent = true;
}

void TvteExcelFormulaCompiler::EmitOperand() { ++depth_; }

void TvteExcelFormulaCompiler::EmitOperator(const TvteCompileOpStack::Entry& entry) {
  // A reader evaluates the tokens on a stack: an operator without its
  // operands would make the file unreadable, so such text is refused here.
  int needs;
  if (entry.Row == kRowFunction)
    needs = entry.ArgCount;
  else if (entry.Row >= kRowPercent || entry.Row == kRowClose)
    needs = 1;  // unary operators, percent and the bracket token
  else
    needs = 2;
  if (depth_ < needs) CompileError(::Format(vte::sInvalidFormula, {AnsiString(formula_)}));
  depth_ = depth_ - needs + 1;
  out_->push_back(static_cast<char>(Op(entry.Row).token));
  if (entry.Row == kRowFunction) {
    out_->push_back(static_cast<char>(entry.ArgCount));
    PutLE16(out_, entry.Function);
  }
}

void TvteExcelFormulaCompiler::PushOperator(int row) {
  const int p = Op(row).precedence;
  if (p != 0) {
    while (!stack_.Empty() && Op(stack_.Top().Row).precedence >= p) EmitOperator(stack_.Pop());
  }
  if (row == kRowClose) {
    CloseBracket();
    return;
  }
  TvteCompileOpStack::Entry e;
  e.Row = row;
  if (row == kRowOpen && !stack_.Empty() && stack_.Top().Row == kRowFunction && stack_.Top().CallOf == -2)
    e.CallOf = stack_.Count() - 1;
  if (e.CallOf >= 0) stack_.Top().CallOf = -1;  // the function's brackets are open now
  stack_.Push(e);
}

void TvteExcelFormulaCompiler::PushFunction(uint16_t number) {
  PushOperator(kRowFunction);
  auto& f = stack_.Top();
  f.Function = number;
  // Marks a function whose "(" has not come yet.
  f.CallOf = -2;
}

void TvteExcelFormulaCompiler::CloseBracket() {
  if (stack_.Empty()) CompileError(vte::sInvalidBrackets);
  const TvteCompileOpStack::Entry open = stack_.Pop();
  if (open.Row != kRowOpen) CompileError(vte::sInvalidBrackets);
  if (open.CallOf >= 0) {
    auto& f = stack_.At(open.CallOf);
    if (f.HasContent) {
      ++f.ArgCount;
    } else if (f.ArgCount > 0) {
      out_->push_back(static_cast<char>(biff8::tMissArg));
      EmitOperand();
      ++f.ArgCount;
    }
    f.HasContent = false;
    if (f.ArgCount > biff8::kMaxFunctionArguments)
      CompileError(::Format(vte::sTooManyArguments, {AnsiString(formula_)}));
  } else {
    EmitOperator({kRowClose, 0, 0, false, -1});
  }
}

void TvteExcelFormulaCompiler::Separator() {
  TvteCompileOpStack::Entry* f = stack_.InnermostFunction();
  if (!f) CompileError(vte::sParameterWithoutFunction);
  if (!f->HasContent) {
    out_->push_back(static_cast<char>(biff8::tMissArg));
    EmitOperand();
  }
  while (!stack_.Empty() && stack_.Top().Row != kRowOpen) EmitOperator(stack_.Pop());
  f = stack_.InnermostFunction();
  f->HasContent = false;
  ++f->ArgCount;
  if (f->ArgCount >= biff8::kMaxFunctionArguments)
    CompileError(::Format(vte::sTooManyArguments, {AnsiString(formula_)}));
}

void TvteExcelFormulaCompiler::AddNumber(std::string_view text) {
  bool integral = !text.empty();
  unsigned value = 0;
  for (char c : text) {
    integral = integral && IsDigit(c);
    if (integral && value <= 65535) value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (integral && value <= 65535) {
    out_->push_back(static_cast<char>(biff8::tInt));
    PutLE16(out_, static_cast<uint16_t>(value));
    EmitOperand();
    return;
  }
  // Read with the locale's decimal separator: "." is a number character
  // too, but where the separator is "," a number written with "." is refused.
  double number = 0;
  if (!TryStrToFloat(AnsiString(text), number)) CompileError(::Format(vte::sInvalidNumber, {AnsiString(text)}));
  out_->push_back(static_cast<char>(biff8::tNum));
  PutLEDouble(out_, number);
  EmitOperand();
}

void TvteExcelFormulaCompiler::AddReference(std::string_view text) {
  const AnsiString ref(text);
  auto put_ref = [&](uint8_t token, int ref_index, std::string_view cell) {
    uint16_t row, col;
    if (!ParseCellRef(cell, &row, &col)) CompileError(::Format(vte::sInvalidCellReference, {ref}));
    out_->push_back(static_cast<char>(token));
    if (ref_index >= 0) PutLE16(out_, static_cast<uint16_t>(ref_index));
    PutLE16(out_, row);
    PutLE16(out_, col);
    EmitOperand();
  };
  auto put_area = [&](uint8_t token, int ref_index, std::string_view area) {
    const size_t colon = area.find(':');
    uint16_t r1, c1, r2, c2;
    if (!ParseCellRef(area.substr(0, colon), &r1, &c1) || !ParseCellRef(area.substr(colon + 1), &r2, &c2))
      CompileError(::Format(vte::sInvalidRangeReference, {ref}));
    out_->push_back(static_cast<char>(token));
    if (ref_index >= 0) PutLE16(out_, static_cast<uint16_t>(ref_index));
    PutLE16(out_, r1);
    PutLE16(out_, r2);
    PutLE16(out_, c1);
    PutLE16(out_, c2);
    EmitOperand();
  };

  // "Sheet" or "[Book]Sheet": the REF index of the sheet.
  auto sheet_ref = [&](std::string_view part) {
    AnsiString name = Trim(part);
    AnsiString book;
    if (!name.empty() && name[0] == '[') {
      const size_t rb = name.find(']');
      if (rb == AnsiString::npos) CompileError(::Format(vte::sInvalidRangeReference, {ref}));
      book = name.substr(1, rb - 1);
      name = Trim(name.substr(rb + 1));
    }
    if (name.empty()) CompileError(::Format(vte::sInvalidRangeReference, {ref}));
    return ext_refs_.AddSheetRef(book, name);
  };

  std::string_view cells = text;
  int ref_index = -1;
  if (!text.empty() && text[0] == '\'') {
    const size_t close = text.find('\'', 1);
    if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != '!')
      CompileError(::Format(vte::sInvalidRangeReference, {ref}));
    ref_index = sheet_ref(text.substr(1, close - 1));
    cells = text.substr(close + 2);
  } else if (const size_t bang = text.find('!'); bang != std::string_view::npos) {
    ref_index = sheet_ref(text.substr(0, bang));
    cells = text.substr(bang + 1);
  }
  const bool area = cells.find(':') != std::string_view::npos;
  if (ref_index < 0) {
    if (area)
      put_area(biff8::tArea, -1, cells);
    else
      put_ref(biff8::tRefV, -1, cells);
  } else {
    if (area)
      put_area(biff8::tArea3d, ref_index, cells);
    else
      put_ref(biff8::tRef3dV, ref_index, cells);
  }
}

void TvteExcelFormulaCompiler::Compile(std::string_view formula, std::string& tokens) {
  tokens.clear();
  stack_.Clear();
  out_ = &tokens;
  formula_ = formula;
  depth_ = 0;
  const char decimal = FormatSettings().DecimalSeparator;
  auto is_number_char = [decimal](char c) { return IsDigit(c) || c == '.' || c == decimal; };
  const size_t n = formula.size();
  size_t i = 0;
  while (i < n) {
    const char c = formula[i];
    if (IsIdentStart(c)) {
      MarkContent();
      size_t j = i;
      while (j < n && IsIdentChar(formula[j])) {
        if (formula[j] == '\'') {
          // A quoted sheet name may hold any character up to its closing quote.
          const size_t close = formula.find('\'', j + 1);
          j = close == std::string_view::npos ? n : close + 1;
        } else {
          ++j;
        }
      }
      const AnsiString run = Trim(formula.substr(i, j - i));
      size_t k = j;
      while (k < n && IsBlank(formula[k])) ++k;
      if (k < n && formula[k] == '(') {
        const int number = vteFindExcelFunction(run);
        if (number < 0) CompileError(::Format(vte::sUnknownFunction, {run}));
        PushFunction(static_cast<uint16_t>(number));
        i = k;
      } else {
        AddReference(run);
        i = j;
      }
    } else if (c == ';') {
      Separator();
      ++i;
    } else if (c == '%') {
      PushOperator(kRowPercent);
      ++i;
    } else if (IsOperatorChar(c)) {
      size_t j = i;
      while (j < n && IsOperatorChar(formula[j])) ++j;
      const std::string_view run = formula.substr(i, j - i);
      if (run.size() >= 2 && IsSign(run.back())) {
        const std::string_view head = run.substr(0, run.size() - 1);
        const int row = FindOperator(head);
        if (row == 0) CompileError(::Format(vte::sUnknownOperator, {AnsiString(head)}));
        PushOperator(row);
        PushOperator(run.back() == '+' ? kRowUnaryPlus : kRowUnaryMinus);
      } else if (run.size() == 1 && IsSign(c)) {
        // Unary after an opening bracket, a separator, another operator or at
        // the start; binary after an operand.
        size_t b = i;
        while (b > 0 && IsBlank(formula[b - 1])) --b;
        const char before = b > 0 ? formula[b - 1] : '\0';
        const bool unary = b == 0 || before == '(' || before == ';' || (IsOperatorChar(before) && before != '%');
        PushOperator(unary ? (c == '+' ? kRowUnaryPlus : kRowUnaryMinus) : FindOperator(run));
      } else {
        const int row = FindOperator(run);
        if (row == 0) CompileError(::Format(vte::sUnknownOperator, {AnsiString(run)}));
        PushOperator(row);
      }
      i = j;
    } else if (c == '(') {
      PushOperator(kRowOpen);
      ++i;
    } else if (c == ')') {
      PushOperator(kRowClose);
      ++i;
    } else if (is_number_char(c)) {
      MarkContent();
      size_t j = i;
      while (j < n && is_number_char(formula[j])) ++j;
      // An exponent ("1E5", "2.5e-3") belongs to the number.
      if (j < n && (formula[j] == 'e' || formula[j] == 'E')) {
        size_t e = j + 1;
        if (e < n && IsSign(formula[e])) ++e;
        if (e < n && IsDigit(formula[e])) {
          while (e < n && IsDigit(formula[e])) ++e;
          j = e;
        }
      }
      AddNumber(formula.substr(i, j - i));
      i = j;
    } else if (c == '"') {
      MarkContent();
      const size_t close = formula.find('"', i + 1);
      if (close == std::string_view::npos) CompileError(vte::sInvalidString);
      const std::string_view text = formula.substr(i + 1, close - i - 1);
      // The string's length is one byte.
      if (text.size() > static_cast<size_t>(biff8::kMaxFormulaString))
        CompileError(::Format(vte::sStringTooLong, {AnsiString(text)}));
      const std::u16string wide = AnsiToWide(text);
      tokens.push_back(static_cast<char>(biff8::tStr));
      tokens.push_back(static_cast<char>(wide.size()));
      tokens.push_back('\x01');
      for (char16_t ch : wide) PutLE16(&tokens, static_cast<uint16_t>(ch));
      EmitOperand();
      i = close + 1;
    } else if (IsBlank(c)) {
      ++i;
    } else {
      CompileError(::Format(vte::sInvalidSymbol, {AnsiString(1, c)}));
    }
  }
  while (!stack_.Empty()) {
    const auto e = stack_.Pop();
    if (e.Row == kRowOpen) CompileError(vte::sInvalidBrackets);
    EmitOperator(e);
  }
  if (depth_ != 1) CompileError(::Format(vte::sInvalidFormula, {AnsiString(formula)}));
  if (tokens.size() > static_cast<size_t>(biff8::kMaxFormulaTokens))
    CompileError(::Format(vte::sFormulaTooLong, {AnsiString(formula)}));
  out_ = nullptr;
}
