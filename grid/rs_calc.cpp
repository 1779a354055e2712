#include "grid/rs_calc.h"

#include <cmath>

#include "toolkit/core/scope.h"
#include "toolkit/core/typinfo.h"

namespace {

// Key classes: the columns of the transition table.
enum KeyClass {
  kcDigit = 0,
  kcSeparator = 1,
  kcSign = 2,
  kcBinary = 3,
  kcFunction = 4,
  kcPercent = 5,
  kcEquals = 6,
  kcMemory = 7,
  kcRecall = 8,
  kcClear = 9,
  kcClearEntry = 10,
  kcBackspace = 11,
  kKeyClassCount = 12
};

// Class of every key code 0..26.
constexpr int kKeyClasses[] = {
    kcDigit,    kcDigit,    kcDigit,     kcDigit,    kcDigit,    // 0..4
    kcDigit,    kcDigit,    kcDigit,     kcDigit,    kcDigit,    // 5..9
    kcSeparator, kcSign,                                         // 10, 11
    kcBinary,   kcBinary,   kcBinary,    kcBinary,               // 12..15 + - * /
    kcEquals,   kcPercent,  kcFunction,  kcFunction,             // 16..19 = % 1/x sqrt
    kcMemory,   kcMemory,   kcRecall,    kcMemory,               // 20..23 MS M+ MR MC
    kcClear,    kcClearEntry, kcBackspace,                       // 24..26 C CE BS
};
constexpr int kKeyCount = static_cast<int>(sizeof(kKeyClasses) / sizeof(kKeyClasses[0]));

// Actions, which are also the states they leave.
enum Action {
  acClearAll = 0,
  acOperand1 = 1,
  acSetOperation = 2,
  acOperand2 = 3,
  acComputeSetOperation = 4,
  acCompute = 5,
  acNothing = kCalcErrorState
};

// Rows: states 0 to 5, then the error state. Columns: key classes.
constexpr int kTransitions[7][kKeyClassCount] = {
    {1, 1, 1, 2, 1, 0, 1, 1, 1, 0, 0, 1},
    {1, 1, 1, 2, 1, 0, 1, 1, 1, 0, 1, 1},
    {3, 3, 3, 2, 3, 3, 5, 2, 3, 0, 3, 3},
    {3, 3, 3, 4, 3, 3, 5, 3, 3, 0, 3, 3},
    {3, 3, 3, 2, 3, 3, 5, 2, 3, 0, 3, 3},
    {1, 1, 1, 2, 1, 0, 5, 1, 1, 0, 1, 1},
    {10, 10, 10, 10, 10, 10, 10, 10, 10, 0, 10, 10},
};

const char kDivisionByZero[] = "Division by zero";
const char kInvalidOperation[] = "Invalid floating point operation";
const char kOverflow[] = "Floating point overflow";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The digits an operand text shows, not counting the lone zero before the
// separator of "0,5" or a "0" still waiting to be replaced.
int TypedDigits(const AnsiString& text) {
  size_t i = (!text.empty() && text[0] == '-') ? 1 : 0;
  if (i < text.size() && text[i] == '0' && (i + 1 == text.size() || text[i + 1] < '0' || text[i + 1] > '9')) ++i;
  int count = 0;
  for (; i < text.size(); ++i)
    if (text[i] >= '0' && text[i] <= '9') ++count;
  return count;
}

}  // namespace

const TClassInfo& TvpCalcEngine::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TvpCalcEngine>, "TvpCalcEngine", &TPersistent::StaticClassInfo());
  return info;
}

TvpCalcEngine::TvpCalcEngine() { SetValue("0"); }

void TvpCalcEngine::SetValue(const AnsiString& text) {
  const AnsiString source = text.empty() ? AnsiString("0") : text;
  StrToFloat(source);  // the conversion error leaves the engine as it was
  // The conversion allows blanks around and a leading "+"; the operand keeps
  // neither, so a later sign change or backspace still leaves a number.
  size_t first = 0, last = source.size();
  while (first < last && IsBlank(source[first])) ++first;
  while (last > first && IsBlank(source[last - 1])) --last;
  if (first < last && source[first] == '+') ++first;
  Clear();
  operand1_ = source.substr(first, last - first);
  display_ = operand1_;
  start_new1_ = true;
  changed_ = false;
}

void TvpCalcEngine::Clear() {
  ResetOperand(operand1_, start_new1_);
  ResetOperand(operand2_, start_new2_);
  state_ = 0;
  display_ = "0";
  operation_ = 0;
  error_text_.clear();
  changed_ = true;
}

void TvpCalcEngine::ResetOperand(AnsiString& operand, bool& start_new) {
  operand = "0";
  start_new = false;
  decimals_ = 0;
  decimal_mode_ = false;
}

void TvpCalcEngine::PressKey(int code) {
  if (code < 0 || code >= kKeyCount) return;
  const int row = state_ == kCalcErrorState ? 6 : state_;
  const int action = kTransitions[row][kKeyClasses[code]];
  state_ = action;
  TScopeExit reset([this] { changed_ = false; });
  try {
    switch (action) {
      case acClearAll:
        Clear();
        break;
      case acOperand1:
        KeyIntoOperand(operand1_, start_new1_, code);
        break;
      case acSetOperation:
        SetOperation(code);
        break;
      case acOperand2:
        KeyIntoOperand(operand2_, start_new2_, code);
        break;
      case acComputeSetOperation:
        Compute();
        SetOperation(code);
        break;
      case acCompute:
        Compute();
        break;
      default:
        break;
    }
    if (changed_ && OnChange) OnChange(this);
  } catch (const Exception&) {
    bool handled = false;
    if (OnError) OnError(this, handled);
    if (!handled) throw;
  }
}

void TvpCalcEngine::KeyIntoOperand(AnsiString& operand, bool& start_new, int code) {
  const char separator = FormatSettings().DecimalSeparator;
  const int key_class = kKeyClasses[code];
  switch (key_class) {
    case kcDigit: {
      if (start_new) ResetOperand(operand, start_new);
      const char digit = static_cast<char>('0' + code);
      // A zero that only holds the place is replaced, so it does not count.
      const bool placeholder = !decimal_mode_ && (operand == "0" || operand == "-0");
      if (!placeholder && TypedDigits(operand) >= kCalcMaxDigits) break;
      if (decimal_mode_) {
        ++decimals_;
        if (operand.find(separator) == AnsiString::npos) operand += separator;
        operand += digit;
      } else if (placeholder) {
        // "-0" comes from a sign change in decimal mode undone by backspace;
        // the digit takes the zero's place as it does for "0".
        operand.back() = digit;
      } else {
        operand += digit;
      }
      break;
    }
    case kcSeparator:
      if (start_new) ResetOperand(operand, start_new);
      if (!decimal_mode_) {
        decimal_mode_ = true;
        decimals_ = 0;
      }
      break;
    case kcSign:
      if (operand != "0" || decimal_mode_) {
        if (!operand.empty() && operand[0] == '-')
          operand.erase(0, 1);
        else
          operand.insert(0, 1, '-');
      }
      break;
    case kcFunction: {
      const double x = Number(operand);
      double result;
      if (code == ckReciprocal) {
        if (x == 0) Fail(kDivisionByZero);
        result = 1 / x;
      } else {
        // By value, not by a leading "-": the root of "-0" is 0.
        if (x < 0) Fail(kInvalidOperation);
        result = std::sqrt(x);
      }
      operand = ResultText(result);
      start_new = true;
      decimal_mode_ = false;
      break;
    }
    case kcPercent: {
      const double a = Number(operand1_);
      const double b = Number(operand2_);
      operand = ResultText(a * b / 100);
      start_new = true;
      decimal_mode_ = false;
      break;
    }
    case kcEquals:
      start_new = true;
      decimal_mode_ = false;
      break;
    case kcMemory:
      start_new = true;
      decimal_mode_ = false;
      if (code == ckMemoryStore || (code == ckMemoryAdd && !memory_set_)) {
        memory_ = operand;
        memory_set_ = true;
      } else if (code == ckMemoryAdd) {
        memory_ = ResultText(Number(memory_) + Number(operand));
      } else {
        ClearMemory();
      }
      // Zero in memory is no memory, however it was written ("0", "-0", "0,0").
      if (memory_set_ && Number(memory_) == 0) ClearMemory();
      break;
    case kcRecall:
      if (memory_set_) {
        operand = memory_;
        start_new = true;
      }
      break;
    case kcClearEntry:
      ResetOperand(operand, start_new);
      break;
    case kcBackspace:
      if (start_new) break;
      if (!decimal_mode_) {
        operand.pop_back();
        // "-5" loses its digit, not just to "-", which is no number.
        if (operand.empty() || operand == "-") operand = "0";
      } else if (decimals_ > 0) {
        operand.pop_back();
        if (--decimals_ == 0 && !operand.empty() && operand.back() == separator) operand.pop_back();
      } else {
        decimal_mode_ = false;
      }
      break;
    default:
      break;
  }
  display_ = operand;
  if (key_class != kcMemory) changed_ = true;
}

void TvpCalcEngine::SetOperation(int code) {
  if (code >= ckAdd && code <= ckDivide) {
    operation_ = code;
    operand2_ = operand1_;
    start_new2_ = true;
    decimal_mode_ = false;
  } else if (code == ckMemoryClear) {
    ClearMemory();
    changed_ = true;
  }
}

void TvpCalcEngine::Compute() {
  const double a = Number(operand1_);
  const double b = Number(operand2_);
  double result = a;
  switch (operation_) {
    case ckAdd:
      result = a + b;
      break;
    case ckSubtract:
      result = a - b;
      break;
    case ckMultiply:
      result = a * b;
      break;
    case ckDivide:
      if (b == 0) Fail(kDivisionByZero);
      result = a / b;
      break;
    default:
      break;
  }
  operand1_ = ResultText(result);
  start_new1_ = true;
  decimal_mode_ = false;
  display_ = operand1_;
  changed_ = true;
}

void TvpCalcEngine::ClearMemory() {
  memory_set_ = false;
  memory_.clear();
}

double TvpCalcEngine::Number(const AnsiString& text) {
  double value = 0;
  if (!TryStrToFloat(text, value)) Fail(kOverflow);
  return value;
}

AnsiString TvpCalcEngine::ResultText(double value) {
  if (!std::isfinite(value)) Fail(kOverflow);
  return FloatToStrF(value, ffGeneral, kCalcMaxDigits, 4);
}

void TvpCalcEngine::Fail(const char* message) {
  state_ = kCalcErrorState;
  error_text_ = message;
  Abort();
}
