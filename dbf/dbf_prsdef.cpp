#include "dbf/dbf_prsdef.h"

#include <algorithm>
#include <cstring>

#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"

TExprKind KindOfLetter(char letter) {
  switch (letter) {
    case 'I': return ekInteger;
    case 'S': return ekString;
    case 'B': return ekBoolean;
    case 'L': return ekLargeInt;
    case 'F': return ekFloat;
    case 'D': return ekDateTime;
    default: return ekUnknown;
  }
}

// ---- TDynamicType ----------------------------------------------------------

void TDynamicType::Reserve(int n) {
  const int used = static_cast<int>(*MemoryPos - *Memory);
  if (*Size < used + n) Reallocate(used + n, false);
}

void TDynamicType::Reallocate(int size, bool exact) {
  if (!exact) size = (size / 32 + 1) * 32;
  const long offset = *MemoryPos - *Memory;
  char* block = new char[size]();
  std::memcpy(block, *Memory, static_cast<size_t>(std::min(size, *Size)));
  delete[] *Memory;
  *Memory = block;
  *Size = size;
  *MemoryPos = block + offset;
}

void TDynamicType::AppendText(const char* text, int n) {
  Reserve(n + 4);
  if (n > 0) std::memcpy(*MemoryPos, text, static_cast<size_t>(n));
  *MemoryPos += n;
  **MemoryPos = 0;
}

// ---- copy routines ---------------------------------------------------------

namespace {

template <size_t N>
void CopyBytes(TExprRecord* param) {
  param->Res.Reserve(static_cast<int>(N));
  std::memcpy(*param->Res.MemoryPos, param->ArgBuffers[0], N);
}

}  // namespace

void CopyFloat(TExprRecord* param) { CopyBytes<8>(param); }
void CopyDateTime(TExprRecord* param) { CopyBytes<8>(param); }
void CopyLargeInt(TExprRecord* param) { CopyBytes<8>(param); }
void CopyInteger(TExprRecord* param) { CopyBytes<4>(param); }
void CopyBoolean(TExprRecord* param) { CopyBytes<1>(param); }

void AppendConstantText(TExprRecord* param) {
  const char* text = param->ArgBuffers[0];
  param->Res.AppendText(text, static_cast<int>(std::strlen(text)));
}

void AppendVariableText(TExprRecord* param) {
  char* text = nullptr;
  std::memcpy(&text, param->ArgBuffers[0], sizeof text);
  if (text == nullptr) {
    param->Res.AppendText("", 0);
    return;
  }
  param->Res.AppendText(text, static_cast<int>(std::strlen(text)));
}

void AppendFixedText(TExprRecord* param) {
  char* text = nullptr;
  int length = 0;
  std::memcpy(&text, param->ArgBuffers[0], sizeof text);
  std::memcpy(&length, param->ArgBuffers[1], sizeof length);
  if (text == nullptr || length < 0) length = 0;
  param->Res.AppendText(text ? text : "", length);
}

// ---- words -----------------------------------------------------------------

namespace {
const AnsiString kEmptyText;
}

TExprWord::TExprWord(AnsiString name, TExprFunc eval_routine)
    : name_(std::move(name)), eval_routine_(eval_routine) {}

const AnsiString& TExprWord::Description() const { return kEmptyText; }
const AnsiString& TExprWord::Signature() const { return kEmptyText; }
const AnsiString& TExprWord::Alias() const { return kEmptyText; }

bool TExprWord::IsOperandWord() const {
  const TExprFunc r = eval_routine_;
  return r == CopyFloat || r == CopyDateTime || r == CopyLargeInt || r == CopyInteger || r == CopyBoolean ||
         r == AppendConstantText || r == AppendVariableText || r == AppendFixedText;
}

TFloatConstant::TFloatConstant(const AnsiString& text) : TConstant(text, ekFloat, CopyFloat) {
  if (!text.empty()) value_ = StrToFloat(text);
}

TFloatConstant::TFloatConstant(double value) : TConstant(AnsiString(), ekFloat, CopyFloat), value_(value) {}

namespace {

AnsiString UnquotedToken(const AnsiString& token) {
  if (token.size() >= 2 && token.front() == token.back() && (token.front() == '\'' || token.front() == '"'))
    return token.substr(1, token.size() - 2);
  if (token.size() == 1 && (token[0] == '\'' || token[0] == '"')) return AnsiString();
  return token;
}

}  // namespace

TStringConstant::TStringConstant(const AnsiString& token)
    : TConstant(token, ekString, AppendConstantText), value_(UnquotedToken(token)) {}

TStringConstant::TStringConstant(AnsiString name, AnsiString value)
    : TConstant(std::move(name), ekString, AppendConstantText), value_(std::move(value)) {}

TStringConstant* TStringConstant::FromValue(const AnsiString& value) {
  return new TStringConstant(AnsiString(), value);
}

TIntegerConstant::TIntegerConstant(int32_t value)
    : TConstant(IntToStr(static_cast<int>(value)), ekInteger, CopyInteger), value_(value) {}

TBooleanConstant::TBooleanConstant(AnsiString name, bool value)
    : TConstant(std::move(name), ekBoolean, CopyBoolean), value_(value ? 1 : 0) {}

TFunction::TFunction(AnsiString name, AnsiString alias, AnsiString signature, int min_args, TExprKind result,
                     TExprFunc eval_routine)
    : TExprWord(std::move(name), eval_routine),
      min_args_(min_args),
      signature_(std::move(signature)),
      alias_(std::move(alias)),
      result_(result) {
  if (signature_.size() > static_cast<size_t>(MaxArg)) throw EParserException("Too many arguments");
}

TFunction* TFunction::Operator(AnsiString name, AnsiString signature, TExprKind result, int precedence,
                               TExprFunc eval_routine) {
  const int args = static_cast<int>(signature.size());
  auto* word = new TFunction(std::move(name), AnsiString(), std::move(signature), args, result, eval_routine);
  word->is_operator_ = true;
  word->precedence_ = precedence;
  return word;
}

// ---- word lists ------------------------------------------------------------

int TExpressShortList::CompareKeys(std::string_view a, std::string_view b) const { return CompareText(a, b); }

int TExpressList::CompareKeys(std::string_view a, std::string_view b) const { return CompareText(a, b); }

void TExpressList::InsertSorted(TExprWord* item) {
  TSortedCollection<TExprWord>::InsertSorted(item);
  item->AddUse();
  if (!item->Alias().empty()) short_list_.InsertSorted(item);
}

void TExpressList::DisposeItem(TExprWord* item) {
  if (!item->Alias().empty()) {
    const int index = short_list_.FindItem(item);
    if (index >= 0) short_list_.Delete(index);
  }
  if (item->ReleaseUse()) delete item;
}

bool TExpressList::LocateKey(std::string_view key, int& index) const {
  if (SearchKey(key, index)) return true;
  int short_index = 0;
  if (!short_list_.SearchKey(key, short_index)) return false;
  const int main_index = FindItem(short_list_.Item(short_index));
  if (main_index < 0) return false;
  index = main_index;
  return true;
}
