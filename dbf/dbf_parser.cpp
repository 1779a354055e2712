#include "dbf/dbf_parser.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "dbf/dbf_dbffile.h"
#include "dbf/dbf_fields.h"
#include "dbf/dbf_lang.h"
#include "dbf/dbf_str.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"

namespace {

// ---- reading arguments and writing results -----------------------------------

template <char K>
auto ReadArg(const TExprRecord* p, int i) {
  if constexpr (K == 'I') {
    int32_t v;
    std::memcpy(&v, p->ArgBuffers[i], sizeof v);
    return v;
  } else if constexpr (K == 'L') {
    int64_t v;
    std::memcpy(&v, p->ArgBuffers[i], sizeof v);
    return v;
  } else {
    static_assert(K == 'F' || K == 'D');
    double v;
    std::memcpy(&v, p->ArgBuffers[i], sizeof v);
    return v;
  }
}

template <class T>
void WriteResult(TExprRecord* p, T value) {
  p->Res.Reserve(static_cast<int>(sizeof value));
  std::memcpy(*p->Res.MemoryPos, &value, sizeof value);
}

void WriteBool(TExprRecord* p, bool value) { WriteResult<uint8_t>(p, value ? 1 : 0); }

bool ReadBool(const TExprRecord* p, int i) { return p->ArgBuffers[i][0] != 0; }

const char* ReadText(const TExprRecord* p, int i) { return p->ArgBuffers[i]; }

bool HasArg(const TExprRecord* p, int i) { return p->ArgNodes[i] != nullptr; }

void AppendText(TExprRecord* p, std::string_view text) {
  p->Res.AppendText(text.data(), static_cast<int>(text.size()));
}

// ---- arithmetic ------------------------------------------------------------------

enum class Arith { Add, Sub, Mul, Div };

template <char A, char B>
constexpr char ArithResult() {
  if (A == 'F' || B == 'F') return 'F';
  if (A == 'L' || B == 'L') return 'L';
  return 'I';
}

[[noreturn]] void RaiseIntOverflow() { throw EIntOverflow("Integer overflow"); }

template <Arith op, class T>
T IntegerArith(T a, T b) {
  T r{};
  switch (op) {
    case Arith::Add:
      if (__builtin_add_overflow(a, b, &r)) RaiseIntOverflow();
      return r;
    case Arith::Sub:
      if (__builtin_sub_overflow(a, b, &r)) RaiseIntOverflow();
      return r;
    case Arith::Mul:
      if (__builtin_mul_overflow(a, b, &r)) RaiseIntOverflow();
      return r;
    case Arith::Div:
      if (b == 0) throw EDivByZero("Division by zero");
      if (a == std::numeric_limits<T>::min() && b == -1) RaiseIntOverflow();
      return a / b;  // truncates toward zero: 7/2 is 3, -7/2 is -3
  }
  return r;
}

template <Arith op>
double FloatArith(long double a, long double b) {
  long double r = 0;
  switch (op) {
    case Arith::Add: r = a + b; break;
    case Arith::Sub: r = a - b; break;
    case Arith::Mul: r = a * b; break;
    case Arith::Div:
      if (b == 0) throw EZeroDivide("Floating point division by zero");
      r = a / b;
      break;
  }
  const double result = static_cast<double>(r);
  if (!std::isfinite(result) && std::isfinite(a) && std::isfinite(b)) throw EOverflow("Floating point overflow");
  return result;
}

template <Arith op, char A, char B>
void ArithRoutine(TExprRecord* p) {
  const auto a = ReadArg<A>(p, 0);
  const auto b = ReadArg<B>(p, 1);
  constexpr char R = ArithResult<A, B>();
  if constexpr (R == 'F')
    WriteResult<double>(p, FloatArith<op>(static_cast<long double>(a), static_cast<long double>(b)));
  else if constexpr (R == 'L')
    WriteResult<int64_t>(p, IntegerArith<op, int64_t>(a, b));
  else
    WriteResult<int32_t>(p, IntegerArith<op, int32_t>(a, b));
}

// ---- numeric comparisons -------------------------------------------------------

enum class Cmp { Eq, Lt, Gt, Le, Ge, Ne };

template <Cmp op, class T>
bool Compare(T a, T b) {
  switch (op) {
    case Cmp::Eq: return a == b;
    case Cmp::Lt: return a < b;
    case Cmp::Gt: return a > b;
    case Cmp::Le: return a <= b;
    case Cmp::Ge: return a >= b;
    case Cmp::Ne: return a != b;
  }
  return false;
}

template <Cmp op>
bool CompareOrder(int c) {
  switch (op) {
    case Cmp::Eq: return c == 0;
    case Cmp::Lt: return c < 0;
    case Cmp::Gt: return c > 0;
    case Cmp::Le: return c <= 0;
    case Cmp::Ge: return c >= 0;
    case Cmp::Ne: return c != 0;
  }
  return false;
}

// Exact: an integer against a float through the 64-bit mantissa of long
// double, which holds every 32- and 64-bit integer.
template <Cmp op, char A, char B>
void CompareRoutine(TExprRecord* p) {
  const auto a = ReadArg<A>(p, 0);
  const auto b = ReadArg<B>(p, 1);
  if constexpr (A == 'F' || B == 'F')
    WriteBool(p, Compare<op, long double>(static_cast<long double>(a), static_cast<long double>(b)));
  else
    WriteBool(p, Compare<op, int64_t>(a, b));
}

// ---- logic ----------------------------------------------------------------------------

void NotRoutine(TExprRecord* p) { WriteBool(p, !ReadBool(p, 0)); }
void AndRoutine(TExprRecord* p) { WriteBool(p, ReadBool(p, 0) && ReadBool(p, 1)); }
void OrRoutine(TExprRecord* p) { WriteBool(p, ReadBool(p, 0) || ReadBool(p, 1)); }

// ---- texts ------------------------------------------------------------------------------

template <Cmp op, bool kIgnoreCase>
void TextOrderRoutine(TExprRecord* p) {
  WriteBool(p, CompareOrder<op>(CompareStringLocale(p->Locale, kIgnoreCase, ReadText(p, 0), ReadText(p, 1))));
}

std::string AsciiUpper(std::string_view s) { return UpperCase(s); }

// Text "=" with "*" at the start and/or end of the right operand as a wildcard.
template <bool kIgnoreCase>
void TextMatchRoutine(TExprRecord* p) {
  const std::string_view text = ReadText(p, 0);
  const std::string_view pattern = ReadText(p, 1);
  const size_t n = pattern.size();
  const bool star_first = n >= 1 && pattern.front() == '*';
  const bool star_last = n >= 1 && pattern.back() == '*';
  bool result = false;
  if (star_first && star_last) {
    const std::string_view middle = n >= 2 ? pattern.substr(1, n - 2) : std::string_view();
    if (!middle.empty()) {
      if (kIgnoreCase)
        result = AsciiUpper(text).find(AsciiUpper(middle)) != std::string::npos;
      else
        result = text.find(middle) != std::string_view::npos;
    }
  } else if (star_first) {
    const std::string_view rest = pattern.substr(1);
    result = text.size() >= rest.size() &&
             CompareStringLocale(p->Locale, kIgnoreCase, text.substr(text.size() - rest.size()), rest) == 0;
  } else if (star_last) {
    const std::string_view rest = pattern.substr(0, n - 1);
    result = text.size() >= rest.size() &&
             CompareStringLocale(p->Locale, kIgnoreCase, text.substr(0, rest.size()), rest) == 0;
  } else {
    result = CompareStringLocale(p->Locale, kIgnoreCase, text, pattern) == 0;
  }
  WriteBool(p, result);
}

// STR's widths and decimals are bounded so that no text, however it was
// written, asks for more than this many bytes per record.
constexpr int kMaxStrWidth = 255;
constexpr int kMaxFloatDecimals = 18;

void StrFloatRoutine(TExprRecord* p) {
  const double value = ReadArg<'F'>(p, 0);
  const bool has_width = HasArg(p, 1);
  const int width = has_width ? std::min(ReadArg<'I'>(p, 1), kMaxStrWidth) : 18;
  const int decimals = HasArg(p, 2) ? std::clamp(ReadArg<'I'>(p, 2), 0, kMaxFloatDecimals) : 0;
  AnsiString text = FloatToStrF(value, ffFixed, 18, decimals);
  if (decimals > 0) std::replace(text.begin(), text.end(), FormatSettings().DecimalSeparator, '.');
  if (width <= 0) {
    text.clear();
  } else if (static_cast<int>(text.size()) > width) {
    text.resize(static_cast<size_t>(width));
  } else if (has_width) {
    text.insert(0, static_cast<size_t>(width) - text.size(), ' ');
  }
  AppendText(p, text);
}

void StrIntegerRoutine(TExprRecord* p) {
  const int64_t value = ReadArg<'I'>(p, 0);
  const int width = HasArg(p, 1) ? std::min(ReadArg<'I'>(p, 1), kMaxStrWidth) : 0;
  const bool negative = value < 0;
  AnsiString digits = IntToStr(negative ? -value : value);
  AnsiString text;
  if (width < 1) {
    text = (negative ? "-" : "") + digits;
  } else {
    // Exactly width characters: the sign first, then blanks, then the digits
    // that fit (the leading ones are dropped).
    const size_t room = static_cast<size_t>(width) - (negative ? 1 : 0);
    if (digits.size() > room) digits.erase(0, digits.size() - room);
    text = (negative ? "-" : "") + AnsiString(room - digits.size(), ' ') + digits;
  }
  if (HasArg(p, 2)) text += "." + AnsiString(static_cast<size_t>(std::clamp(ReadArg<'I'>(p, 2), 0, kMaxStrWidth)), '0');
  AppendText(p, text);
}

void DtosRoutine(TExprRecord* p) {
  int year = 0, month = 0, day = 0;
  DecodeDate(ReadArg<'D'>(p, 0), year, month, day);
  AppendText(p, Format("%.4d%.2d%.2d", {year, month, day}));
}

void SubstrRoutine(TExprRecord* p) {
  const std::string_view text = ReadText(p, 0);
  const int64_t start = ReadArg<'I'>(p, 1);
  const int64_t count = ReadArg<'I'>(p, 2);
  // A start before the first character or a negative count gives the empty text.
  if (start < 1 || count < 0 || start - 1 + count > static_cast<int64_t>(text.size())) {
    AppendText(p, std::string_view());
    return;
  }
  AppendText(p, text.substr(static_cast<size_t>(start - 1), static_cast<size_t>(count)));
}

// ASCII letters only: the Cyrillic letters keep their case.
template <bool kUpper>
void CaseRoutine(TExprRecord* p) {
  const std::string_view text = ReadText(p, 0);
  AppendText(p, text);
  char* start = *p->Res.MemoryPos - text.size();
  for (char* c = start; c < *p->Res.MemoryPos; ++c) {
    if (kUpper && *c >= 'a' && *c <= 'z') *c = static_cast<char>(*c - 'a' + 'A');
    if (!kUpper && *c >= 'A' && *c <= 'Z') *c = static_cast<char>(*c - 'A' + 'a');
  }
}

// ---- the signature table -----------------------------------------------------------

enum class ListId { Common, OrderNoCase, OrderCase, EqualNoCase, EqualCase, MatchNoCase, MatchCase };

struct WordSpec {
  const char* name;
  const char* alias;
  const char* signature;
  TExprKind result;
  int min_args;    // functions only
  int precedence;  // operators; 0 for functions
  TExprFunc routine;
  ListId list;
};

// Precedences: a larger number binds looser. "*" and "/" bind tighter than
// "+" and "-" (2+3*4 is 14, 2*3+4 is 10); equal ones group from the left.
constexpr int kMulPrecedence = 30;
constexpr int kAddPrecedence = 40;
constexpr int kComparePrecedence = 80;
constexpr int kNotPrecedence = 85;
constexpr int kAndPrecedence = 90;
constexpr int kOrPrecedence = 100;

// The nine numeric signatures of "+", "-", "*" and "/" in registration order.
const char* const kArithSignatures[] = {"FF", "FI", "IF", "II", "FL", "IL", "LF", "LL", "LI"};
// The nine numeric signatures of the comparisons in registration order.
const char* const kCompareSignatures[] = {"FF", "FI", "II", "IF", "LL", "LF", "LI", "FL", "IL"};

template <template <auto, char, char> class R, auto op>
TExprFunc NumericRoutine(std::string_view sig) {
  if (sig == "FF") return R<op, 'F', 'F'>::fn;
  if (sig == "FI") return R<op, 'F', 'I'>::fn;
  if (sig == "IF") return R<op, 'I', 'F'>::fn;
  if (sig == "II") return R<op, 'I', 'I'>::fn;
  if (sig == "FL") return R<op, 'F', 'L'>::fn;
  if (sig == "IL") return R<op, 'I', 'L'>::fn;
  if (sig == "LF") return R<op, 'L', 'F'>::fn;
  if (sig == "LL") return R<op, 'L', 'L'>::fn;
  return R<op, 'L', 'I'>::fn;
}

template <auto op, char A, char B>
struct ArithFn {
  static constexpr TExprFunc fn = ArithRoutine<op, A, B>;
};
template <auto op, char A, char B>
struct CompareFn {
  static constexpr TExprFunc fn = CompareRoutine<op, A, B>;
};

TExprKind ArithKind(std::string_view sig) {
  if (sig.find('F') != std::string_view::npos) return ekFloat;
  if (sig.find('L') != std::string_view::npos) return ekLargeInt;
  return ekInteger;
}

std::vector<WordSpec> SignatureTable() {
  std::vector<WordSpec> t;
  auto op = [&](const char* name, const char* sig, TExprKind result, int precedence, TExprFunc fn,
                ListId list = ListId::Common) {
    t.push_back({name, "", sig, result, static_cast<int>(std::strlen(sig)), precedence, fn, list});
  };
  auto fn = [&](const char* name, const char* alias, const char* sig, TExprKind result, int min_args,
                TExprFunc routine) { t.push_back({name, alias, sig, result, min_args, 0, routine, ListId::Common}); };

  // Joining two texts has no routine: the parser writes both into one buffer.
  op("+", "SS", ekString, kAddPrecedence, nullptr);
  struct ArithOp {
    const char* name;
    Arith op;
    int precedence;
  };
  for (const ArithOp& a : {ArithOp{"+", Arith::Add, kAddPrecedence}, ArithOp{"-", Arith::Sub, kAddPrecedence},
                           ArithOp{"*", Arith::Mul, kMulPrecedence}, ArithOp{"/", Arith::Div, kMulPrecedence}}) {
    for (const char* sig : kArithSignatures) {
      TExprFunc r = nullptr;
      switch (a.op) {
        case Arith::Add: r = NumericRoutine<ArithFn, Arith::Add>(sig); break;
        case Arith::Sub: r = NumericRoutine<ArithFn, Arith::Sub>(sig); break;
        case Arith::Mul: r = NumericRoutine<ArithFn, Arith::Mul>(sig); break;
        case Arith::Div: r = NumericRoutine<ArithFn, Arith::Div>(sig); break;
      }
      op(a.name, sig, ArithKind(sig), a.precedence, r);
    }
  }
  for (const char* sig : kCompareSignatures) {
    op("=", sig, ekBoolean, kComparePrecedence, NumericRoutine<CompareFn, Cmp::Eq>(sig));
    op("<", sig, ekBoolean, kComparePrecedence, NumericRoutine<CompareFn, Cmp::Lt>(sig));
    op(">", sig, ekBoolean, kComparePrecedence, NumericRoutine<CompareFn, Cmp::Gt>(sig));
    op("<=", sig, ekBoolean, kComparePrecedence, NumericRoutine<CompareFn, Cmp::Le>(sig));
    op(">=", sig, ekBoolean, kComparePrecedence, NumericRoutine<CompareFn, Cmp::Ge>(sig));
    op("<>", sig, ekBoolean, kComparePrecedence, NumericRoutine<CompareFn, Cmp::Ne>(sig));
  }
  op("NOT", "B", ekBoolean, kNotPrecedence, NotRoutine);
  op("AND", "BB", ekBoolean, kAndPrecedence, AndRoutine);
  op("OR", "BB", ekBoolean, kOrPrecedence, OrRoutine);
  fn("STR", "", "FII", ekString, 1, StrFloatRoutine);
  fn("STR", "", "III", ekString, 1, StrIntegerRoutine);
  fn("DTOS", "", "D", ekString, 1, DtosRoutine);
  fn("SUBSTR", "SUBS", "SII", ekString, 3, SubstrRoutine);
  fn("UPPERCASE", "UPPER", "S", ekString, 1, CaseRoutine<true>);
  fn("LOWERCASE", "LOWER", "S", ekString, 1, CaseRoutine<false>);

  auto order = [&](ListId list, auto lt, auto gt, auto le, auto ge, auto ne) {
    op("<", "SS", ekBoolean, kComparePrecedence, lt, list);
    op(">", "SS", ekBoolean, kComparePrecedence, gt, list);
    op("<=", "SS", ekBoolean, kComparePrecedence, le, list);
    op(">=", "SS", ekBoolean, kComparePrecedence, ge, list);
    op("<>", "SS", ekBoolean, kComparePrecedence, ne, list);
  };
  order(ListId::OrderNoCase, TextOrderRoutine<Cmp::Lt, true>, TextOrderRoutine<Cmp::Gt, true>,
        TextOrderRoutine<Cmp::Le, true>, TextOrderRoutine<Cmp::Ge, true>, TextOrderRoutine<Cmp::Ne, true>);
  order(ListId::OrderCase, TextOrderRoutine<Cmp::Lt, false>, TextOrderRoutine<Cmp::Gt, false>,
        TextOrderRoutine<Cmp::Le, false>, TextOrderRoutine<Cmp::Ge, false>, TextOrderRoutine<Cmp::Ne, false>);
  op("=", "SS", ekBoolean, kComparePrecedence, TextOrderRoutine<Cmp::Eq, true>, ListId::EqualNoCase);
  op("=", "SS", ekBoolean, kComparePrecedence, TextMatchRoutine<true>, ListId::MatchNoCase);
  op("=", "SS", ekBoolean, kComparePrecedence, TextOrderRoutine<Cmp::Eq, false>, ListId::EqualCase);
  op("=", "SS", ekBoolean, kComparePrecedence, TextMatchRoutine<false>, ListId::MatchCase);
  return t;
}

struct WordLists {
  TExpressList lists[7];
  TExpressList& operator[](ListId id) { return lists[static_cast<int>(id)]; }
};

std::unique_ptr<WordLists>& GlobalLists() {
  static std::unique_ptr<WordLists> lists;
  return lists;
}

const TExpressList& GlobalList(ListId id) {
  RegisterParserFunctions();
  return (*GlobalLists())[id];
}

}  // namespace

void RegisterParserFunctions() {
  std::unique_ptr<WordLists>& lists = GlobalLists();
  if (lists) return;
  auto made = std::make_unique<WordLists>();
  TExpressList& common = (*made)[ListId::Common];
  common.InsertSorted(new TLeftBracket());
  common.InsertSorted(new TRightBracket());
  common.InsertSorted(new TComma());
  for (const WordSpec& w : SignatureTable()) {
    TFunction* word = w.precedence > 0
                          ? TFunction::Operator(w.name, w.signature, w.result, w.precedence, w.routine)
                          : new TFunction(w.name, w.alias, w.signature, w.min_args, w.result, w.routine);
    (*made)[w.list].InsertSorted(word);
  }
  lists = std::move(made);
}

void FreeParserFunctions() { GlobalLists().reset(); }

const TExpressList& CommonWords() { return GlobalList(ListId::Common); }
const TExpressList& OrderNoCaseWords() { return GlobalList(ListId::OrderNoCase); }
const TExpressList& OrderCaseWords() { return GlobalList(ListId::OrderCase); }
const TExpressList& EqualNoCaseWords() { return GlobalList(ListId::EqualNoCase); }
const TExpressList& EqualCaseWords() { return GlobalList(ListId::EqualCase); }
const TExpressList& MatchNoCaseWords() { return GlobalList(ListId::MatchNoCase); }
const TExpressList& MatchCaseWords() { return GlobalList(ListId::MatchCase); }

// ---- field variables -----------------------------------------------------------------

TFieldVar::TFieldVar(TDbfFieldDef* field_def, TDbfFile* dbf_file)
    : field_def_(field_def), dbf_file_(dbf_file), field_name_(field_def->FieldName()) {}

namespace {

// The record image as the codec takes it (it finds the field by its offset).
const uint8_t* FieldBytes(const TFieldVar&, const char* record_buffer) {
  return reinterpret_cast<const uint8_t*>(record_buffer);
}

}  // namespace

void TRawStringFieldVar::LoadFrom(const char* record_buffer) {
  text_ = const_cast<char*>(record_buffer) + FieldDef()->Offset();
}

TAnsiStringFieldVar::TAnsiStringFieldVar(TDbfFieldDef* field_def, TDbfFile* dbf_file)
    : TStringFieldVar(field_def, dbf_file), block_(static_cast<size_t>(std::max(field_def->Size(), 0)) + 1, '\0') {
  text_ = block_.data();
}

void TAnsiStringFieldVar::LoadFrom(const char* record_buffer) {
  std::string_view field(record_buffer + FieldDef()->Offset(), static_cast<size_t>(FieldDef()->Size()));
  // A zero byte ends the text, as it would for any reader of the copy.
  field = field.substr(0, std::min(field.size(), field.find('\0')));
  while (!field.empty() && field.back() == ' ') field.remove_suffix(1);
  ConvertCodePageBounded(field, DbfFile()->UseCodePage(), GetACP(), block_.data(), static_cast<int>(block_.size()));
}

void TFloatFieldVar::LoadFrom(const char* record_buffer) {
  value_ = 0;
  if (!DbfFile()->DecodeField(*FieldDef(), FieldDef()->FieldType(), &value_, FieldBytes(*this, record_buffer)))
    value_ = 0;
}

void TIntegerFieldVar::LoadFrom(const char* record_buffer) {
  value_ = 0;
  const uint8_t* record = FieldBytes(*this, record_buffer);
  if (FieldDef()->FieldType() == ftSmallint) {
    // A small integer arrives as 16 bits: widen it with its sign, so that -5
    // stays -5 instead of becoming 65531.
    int16_t small = 0;
    if (DbfFile()->DecodeField(*FieldDef(), ftSmallint, &small, record)) value_ = small;
  } else if (!DbfFile()->DecodeField(*FieldDef(), FieldDef()->FieldType(), &value_, record)) {
    value_ = 0;
  }
}

void TLargeIntFieldVar::LoadFrom(const char* record_buffer) {
  value_ = 0;
  if (!DbfFile()->DecodeField(*FieldDef(), ftLargeint, &value_, FieldBytes(*this, record_buffer))) value_ = 0;
}

void TDateTimeFieldVar::LoadFrom(const char* record_buffer) {
  value_ = 0;
  if (!DbfFile()->DecodeField(*FieldDef(), ftDateTime, &value_, FieldBytes(*this, record_buffer))) value_ = 0;
}

int ConvertCodePageBounded(std::string_view text, unsigned from_code_page, unsigned to_code_page, char* dest,
                           int capacity) {
  if (capacity <= 0) return 0;
  const bool same = from_code_page == to_code_page || from_code_page == 0 || to_code_page == 0;
  std::string out = same ? std::string(text) : ConvertCodePage(text, from_code_page, to_code_page);
  const size_t room = static_cast<size_t>(capacity) - 1;
  if (out.size() > room) {
    // Keep the most whole characters that fit: count them in UTF-16 and
    // search for the longest prefix whose encoding fits.
    const unsigned cp = to_code_page != 0 ? to_code_page : from_code_page;
    const std::u16string wide = cp != 0 ? MultiByteToWide(out, cp) : std::u16string();
    if (cp == 0 || wide.size() == out.size()) {
      out.resize(room);  // one byte per character
    } else {
      size_t low = 0, high = wide.size();
      std::string best;
      while (low < high) {
        size_t middle = (low + high + 1) / 2;
        // Never split a surrogate pair.
        if (middle < wide.size() && wide[middle] >= 0xDC00 && wide[middle] <= 0xDFFF) --middle;
        if (middle <= low) {
          high = low;
          break;
        }
        std::string part = WideToMultiByte(std::u16string_view(wide).substr(0, middle), cp);
        if (part.size() <= room) {
          low = middle;
          best = std::move(part);
        } else {
          high = middle - 1;
        }
      }
      out = std::move(best);
    }
  }
  std::memcpy(dest, out.data(), out.size());
  dest[out.size()] = '\0';
  return static_cast<int>(out.size());
}

// ---- TDbfParser -------------------------------------------------------------------------

namespace {

// A new record as the table makes it: blanks; binary integers, time stamps
// and binary doubles as zero bytes; a field with a stored default gets it.
void BlankRecord(const TDbfFile& file, char* record) {
  const TDbfFieldDefs& defs = file.FieldDefs();
  std::memset(record, ' ', static_cast<size_t>(file.RecordSize()));
  for (int i = 0; i < defs.Count(); ++i) {
    const TDbfFieldDef* def = defs.Items(i);
    const int size = def->Size();
    if (def->Offset() < 0 || size <= 0 || def->Offset() + size > file.RecordSize()) continue;
    char* field = record + def->Offset();
    if (def->HasDefault() && def->DefaultBuf().size() >= static_cast<size_t>(size))
      std::memcpy(field, def->DefaultBuf().data(), static_cast<size_t>(size));
    else if (std::strchr("+@IO", def->NativeFieldType()) != nullptr && def->NativeFieldType() != 0)
      std::memset(field, 0, static_cast<size_t>(size));
  }
}

}  // namespace

TDbfParser::TDbfParser(TDbfFile* dbf_file) : dbf_file_(dbf_file) { LoadWordList(); }

TDbfParser::~TDbfParser() { TDbfParser::ClearCompiled(); }

void TDbfParser::LoadWordList() {
  TExpressList& words = WordList();
  words.DisposeAll();
  words.InsertRange(CommonWords(), 0, CommonWords().Count() - 1);
  const TExpressList& order = ignore_case_ ? OrderNoCaseWords() : OrderCaseWords();
  const TExpressList& equal = ignore_case_ ? (partial_compare_ ? MatchNoCaseWords() : EqualNoCaseWords())
                                           : (partial_compare_ ? MatchCaseWords() : EqualCaseWords());
  words.InsertRange(order, 0, order.Count() - 1);
  words.InsertRange(equal, 0, equal.Count() - 1);
}

void TDbfParser::Recompile(bool reload_words) {
  const AnsiString text = expression_text_;
  ClearCompiled();
  if (reload_words) LoadWordList();
  if (!text.empty()) CompileText(text);
}

void TDbfParser::SetIgnoreCase(bool value) {
  if (value == ignore_case_) return;
  ignore_case_ = value;
  Recompile(true);
}

void TDbfParser::SetPartialCompare(bool value) {
  if (value == partial_compare_) return;
  partial_compare_ = value;
  Recompile(true);
}

void TDbfParser::SetRawStrings(bool value) {
  if (value == raw_strings_) return;
  raw_strings_ = value;
  Recompile(false);
}

void TDbfParser::ResolveUnknownName(const AnsiString& name) {
  TDbfFieldDef* def = dbf_file_ != nullptr ? dbf_file_->FindField(name) : nullptr;
  if (def == nullptr) throw EDbfError(Format(STRING_INDEX_BASED_ON_UNKNOWN_FIELD, {name}));
  std::unique_ptr<TFieldVar> var;
  switch (def->FieldType()) {
    case ftString:
    case ftBoolean: {
      if (raw_strings_) {
        var = std::make_unique<TRawStringFieldVar>(def, dbf_file_);
        AddFixedStringVariable(name, static_cast<char**>(var->FieldValueAddress()), def->Size());
      } else {
        var = std::make_unique<TAnsiStringFieldVar>(def, dbf_file_);
        AddStringVariable(name, static_cast<char**>(var->FieldValueAddress()));
      }
      break;
    }
    case ftSmallint:
    case ftInteger:
    case ftAutoInc:
      var = std::make_unique<TIntegerFieldVar>(def, dbf_file_);
      AddIntegerVariable(name, static_cast<int32_t*>(var->FieldValueAddress()));
      break;
    case ftFloat:
      var = std::make_unique<TFloatFieldVar>(def, dbf_file_);
      AddFloatVariable(name, static_cast<double*>(var->FieldValueAddress()));
      break;
    case ftDate:
    case ftDateTime:
      var = std::make_unique<TDateTimeFieldVar>(def, dbf_file_);
      AddDateTimeVariable(name, static_cast<double*>(var->FieldValueAddress()));
      break;
    case ftLargeint:
      var = std::make_unique<TLargeIntFieldVar>(def, dbf_file_);
      AddLargeIntVariable(name, static_cast<int64_t*>(var->FieldValueAddress()));
      break;
    default: throw EDbfError(Format(STRING_INDEX_BASED_ON_INVALID_FIELD, {name}));
  }
  field_variables_.push_back({name, std::move(var)});
}

uint32_t TDbfParser::ComparisonLocale() {
  if (dbf_file_ == nullptr) return kDefaultLcid;
  const uint32_t locale = LanguageDriver(dbf_file_->LanguageId()).Locale;
  return locale == 0 || locale == kLangNoLocale ? kDefaultLcid : locale;
}

void TDbfParser::CompileText(const AnsiString& text) {
  ClearCompiled();
  {
    TScopeFail uncompiled([this] { ClearCompiled(); });
    TDbfFieldDef* field = dbf_file_ != nullptr ? dbf_file_->FindField(text) : nullptr;
    holds_expression_ = field == nullptr;
    TExprKind kind = ekUnknown;
    if (!holds_expression_) {
      ResolveUnknownName(text);
      single_field_kind_ = field_variables_.back().var->FieldKind();
      kind = single_field_kind_;
      if (kind == ekString) result_length_ = field->Size();
    } else {
      BuildEvaluationList(text);
      kind = TCustomExpressionParser::GetResultKind();
      if (kind == ekString) {
        // The length of a text expression is that of its value on a blank record.
        std::vector<char> scratch;
        if (dbf_file_ != nullptr) {
          scratch.assign(static_cast<size_t>(std::max(dbf_file_->RecordSize(), 4001)), ' ');
          BlankRecord(*dbf_file_, scratch.data());
        }
        EvaluateRecord(scratch.data());
        result_length_ = static_cast<int>(std::strlen(ResultBuffer()));
      }
    }
    switch (kind) {
      case ekInteger: result_length_ = 4; break;
      case ekBoolean: result_length_ = 1; break;
      case ekFloat:
      case ekDateTime:
      case ekLargeInt: result_length_ = 8; break;
      default: break;
    }
    if (result_length_ > kMaxResultLength)
      throw EDbfError(Format(STRING_INDEX_EXPRESSION_TOO_LONG, {text, result_length_}));
  }
  expression_text_ = text;
}

const char* TDbfParser::EvaluateRecord(const char* record_buffer) {
  for (NamedFieldVar& f : field_variables_) f.var->LoadFrom(record_buffer);
  if (holds_expression_) {
    RunEvaluationList();
    return ResultBuffer();
  }
  if (field_variables_.empty()) return ResultBuffer();
  TFieldVar& var = *field_variables_.front().var;
  if (var.FieldKind() == ekString) {
    char* text = nullptr;
    std::memcpy(&text, var.FieldValueAddress(), sizeof text);
    return text;
  }
  return static_cast<const char*>(var.FieldValueAddress());
}

TExprKind TDbfParser::GetResultKind() {
  return holds_expression_ ? TCustomExpressionParser::GetResultKind() : single_field_kind_;
}

void TDbfParser::ClearCompiled() {
  TCustomExpressionParser::ClearCompiled();
  for (NamedFieldVar& f : field_variables_) RemoveOrSwapWord(f.name, nullptr);
  field_variables_.clear();
  expression_text_.clear();
  result_length_ = 0;
  holds_expression_ = false;
  single_field_kind_ = ekUnknown;
}

std::string ExprValueText(TExprKind kind, const char* value) {
  switch (kind) {
    case ekInteger: {
      int32_t v;
      std::memcpy(&v, value, sizeof v);
      return std::to_string(v);
    }
    case ekLargeInt: {
      int64_t v;
      std::memcpy(&v, value, sizeof v);
      return std::to_string(v);
    }
    case ekFloat:
    case ekDateTime: {
      double v;
      std::memcpy(&v, value, sizeof v);
      char text[64];
      const auto [end, error] = std::to_chars(text, text + sizeof text, v);
      return error == std::errc() ? std::string(text, end) : std::string();
    }
    case ekBoolean: return value[0] != 0 ? "true" : "false";
    case ekString: return value;
    default: return std::string();
  }
}
