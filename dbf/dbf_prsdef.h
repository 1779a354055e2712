// The words of the table expression language: constants, variables, the two
// brackets, the comma, operators and functions; the result kinds and the
// signature letters by which operators are overloaded; the word lists; and
// the growable result buffer that every word writes its value into.
//
// Values in result and argument buffers, by kind:
//   I  signed 32-bit integer          S  single-byte text ending in a zero byte
//   B  one byte, 0 false, 1 true      L  signed 64-bit integer
//   F  64-bit IEEE double             D  64-bit double, days since 1899-12-30
// Numbers are stored in host order and copied with memcpy, never through
// casts of unaligned pointers.
#pragma once

#include <cstdint>
#include <string_view>

#include "dbf/dbf_prssupp.h"
#include "toolkit/core/exceptions.h"

// Syntax and overload errors of the expression language. A caller that clears
// a filter on EDbfError lets these pass on purpose.
KIV7_DECLARE_EXCEPTION(EParserException, Exception);

// The kind of value a word produces.
enum TExprKind : uint8_t {
  ekInteger = 0,
  ekString = 1,
  ekBoolean = 2,
  ekLargeInt = 3,
  ekFloat = 4,
  ekDateTime = 5,
  ekLeftBracket = 6,
  ekRightBracket = 7,
  ekComma = 8,
  ekUnknown = 9,
};

// "I" ekInteger, "S" ekString, "B" ekBoolean, "L" ekLargeInt, "F" ekFloat,
// "D" ekDateTime, anything else ekUnknown (upper case only).
TExprKind KindOfLetter(char letter);

// Most arguments a function or operator takes.
inline constexpr int MaxArg = 6;

struct TExprRecord;
class TExprWord;

// The routine a word runs for one evaluation record.
using TExprFunc = void (*)(TExprRecord* param);

// A result buffer owned by someone else: the addresses of its buffer pointer,
// its write position and its capacity. Growing it moves the buffer and keeps
// the write position at the same offset.
struct TDynamicType {
  char** Memory = nullptr;
  char** MemoryPos = nullptr;
  int* Size = nullptr;

  // Makes room for n more bytes after the write position.
  void Reserve(int n);
  // Moves the buffer to a block of size bytes (rounded up to the next 32-byte
  // step unless exact), keeping the content and the position's offset.
  void Reallocate(int size, bool exact);
  // Appends n bytes at the write position and a zero byte after them (not counted).
  void AppendText(const char* text, int n);
};

// One node of the compiled expression: a word with its argument buffers.
struct TExprRecord {
  // The word's routine.
  TExprFunc EvalRoutine = nullptr;
  // The following record of the evaluation list.
  TExprRecord* Next = nullptr;
  // Where this record writes: its parent's argument buffer, or the parser's result buffer.
  TDynamicType Res;
  // The word of this node.
  TExprWord* Word = nullptr;
  // The first writer of its result buffer: the write position is reset before it runs.
  bool StartsResult = false;
  // The locale id text comparisons use (the table's, else the default).
  uint32_t Locale = 0;
  // For an operator or function: the buffer with the value of argument i.
  // For a constant or variable: [0] its value address, [1] its length address.
  char* ArgBuffers[MaxArg] = {};
  // The write positions and capacities of the argument buffers.
  char* ArgPositions[MaxArg] = {};
  int ArgCapacities[MaxArg] = {};
  // The argument sub-records, filled from 0 without gaps.
  TExprRecord* ArgNodes[MaxArg] = {};
};

// The copy routines of constants and variables.
void CopyFloat(TExprRecord* param);
void CopyDateTime(TExprRecord* param);
void CopyLargeInt(TExprRecord* param);
void CopyInteger(TExprRecord* param);
void CopyBoolean(TExprRecord* param);
void AppendConstantText(TExprRecord* param);
void AppendVariableText(TExprRecord* param);
void AppendFixedText(TExprRecord* param);

// A word of the language.
class TExprWord {
 public:
  TExprWord(AnsiString name, TExprFunc eval_routine);
  virtual ~TExprWord() = default;
  TExprWord(const TExprWord&) = delete;
  TExprWord& operator=(const TExprWord&) = delete;

  // The operator symbol, function name, constant token or variable name.
  const AnsiString& Name() const { return name_; }
  // The evaluation routine; none for brackets, the comma and the text "+".
  TExprFunc EvalRoutine() const { return eval_routine_; }
  // The number of word lists holding the word.
  int UseCount() const { return use_count_; }
  void AddUse() { ++use_count_; }
  // Drops one use; true when none is left.
  bool ReleaseUse() { return --use_count_ <= 0; }

  virtual bool IsOperatorWord() const { return false; }
  // The fixed text length of a text variable; -1 for every other word.
  virtual int FixedLength() const { return -1; }
  virtual bool IsVariableWord() const { return false; }
  virtual TExprKind ResultKind() const { return ekUnknown; }
  virtual int MinFunctionArg() const { return 0; }
  virtual int MaxFunctionArg() const { return 0; }
  virtual const AnsiString& Description() const;
  // One kind letter per argument position.
  virtual const AnsiString& Signature() const;
  // A second, short name of a function.
  virtual const AnsiString& Alias() const;
  // The address of a fixed text length; none for other words.
  virtual void* LengthAddress() { return nullptr; }
  // The address a constant or variable is read from.
  virtual void* ValueAddress() { return nullptr; }
  virtual bool IsFunctionWord() const { return false; }

  // A constant or a variable (its routine is one of the copy routines).
  bool IsOperandWord() const;

 private:
  AnsiString name_;
  TExprFunc eval_routine_;
  int use_count_ = 0;
};

// A value fixed at compilation.
class TConstant : public TExprWord {
 public:
  TConstant(AnsiString name, TExprKind kind, TExprFunc eval_routine)
      : TExprWord(std::move(name), eval_routine), kind_(kind) {}
  TExprKind ResultKind() const override { return kind_; }

 private:
  TExprKind kind_;
};

class TFloatConstant : public TConstant {
 public:
  // The text with the locale's decimal separator; an empty text is 0.
  explicit TFloatConstant(const AnsiString& text);
  // The eight bytes of a double (constant folding); the name is empty.
  explicit TFloatConstant(double value);
  void* ValueAddress() override { return &value_; }
  double Value() const { return value_; }

 private:
  double value_ = 0;
};

class TStringConstant : public TConstant {
 public:
  // The value is the token without its quotes when it is quoted at both ends
  // with the same quote (' or "), else the whole token.
  explicit TStringConstant(const AnsiString& token);
  // A folded text; name empty, value exactly the text.
  static TStringConstant* FromValue(const AnsiString& value);
  void* ValueAddress() override { return value_.data(); }
  const AnsiString& Value() const { return value_; }

 private:
  TStringConstant(AnsiString name, AnsiString value);
  AnsiString value_;
};

class TIntegerConstant : public TConstant {
 public:
  explicit TIntegerConstant(int32_t value);
  void* ValueAddress() override { return &value_; }
  int32_t Value() const { return value_; }

 private:
  int32_t value_;
};

class TBooleanConstant : public TConstant {
 public:
  TBooleanConstant(AnsiString name, bool value);
  void* ValueAddress() override { return &value_; }
  bool Value() const { return value_ != 0; }

 private:
  uint8_t value_;
};

// A value owned by someone else, read at each evaluation from its address.
class TVariable : public TExprWord {
 public:
  TVariable(AnsiString name, TExprKind kind, TExprFunc eval_routine, void* value)
      : TExprWord(std::move(name), eval_routine), kind_(kind), value_(value) {}
  bool IsVariableWord() const override { return true; }
  TExprKind ResultKind() const override { return kind_; }
  void* ValueAddress() override { return value_; }

 private:
  TExprKind kind_;
  void* value_;
};

// value: address of a double.
class TFloatVariable : public TVariable {
 public:
  TFloatVariable(AnsiString name, double* value) : TVariable(std::move(name), ekFloat, CopyFloat, value) {}
};

// value: address of a pointer to the text; length -1 when the text ends in a
// zero byte, else the number of bytes to take.
class TStringVariable : public TVariable {
 public:
  TStringVariable(AnsiString name, char** value, int fixed_length)
      : TVariable(std::move(name), ekString, fixed_length < 0 ? AppendVariableText : AppendFixedText, value),
        fixed_length_(fixed_length) {}
  int FixedLength() const override { return fixed_length_; }
  void* LengthAddress() override { return &fixed_length_; }

 private:
  int fixed_length_;
};

// value: address of a date-time double.
class TDateTimeVariable : public TVariable {
 public:
  TDateTimeVariable(AnsiString name, double* value)
      : TVariable(std::move(name), ekDateTime, CopyDateTime, value) {}
};

// value: address of a 32-bit integer.
class TIntegerVariable : public TVariable {
 public:
  TIntegerVariable(AnsiString name, int32_t* value) : TVariable(std::move(name), ekInteger, CopyInteger, value) {}
};

// value: address of a 64-bit integer.
class TLargeIntVariable : public TVariable {
 public:
  TLargeIntVariable(AnsiString name, int64_t* value)
      : TVariable(std::move(name), ekLargeInt, CopyLargeInt, value) {}
};

class TLeftBracket : public TExprWord {
 public:
  TLeftBracket() : TExprWord("(", nullptr) {}
  TExprKind ResultKind() const override { return ekLeftBracket; }
};

class TRightBracket : public TExprWord {
 public:
  TRightBracket() : TExprWord(")", nullptr) {}
  TExprKind ResultKind() const override { return ekRightBracket; }
};

class TComma : public TExprWord {
 public:
  TComma() : TExprWord(",", nullptr) {}
  TExprKind ResultKind() const override { return ekComma; }
};

// An operator or a function, one overload of its name.
class TFunction : public TExprWord {
 public:
  // A function: signature letters, the fewest arguments a call may give.
  // More than MaxArg letters: EParserException "Too many arguments".
  TFunction(AnsiString name, AnsiString alias, AnsiString signature, int min_args, TExprKind result,
            TExprFunc eval_routine);
  // An operator of two arguments (one for a one-letter signature).
  // A larger precedence binds looser.
  static TFunction* Operator(AnsiString name, AnsiString signature, TExprKind result, int precedence,
                             TExprFunc eval_routine);

  bool IsOperatorWord() const override { return is_operator_; }
  int Precedence() const { return precedence_; }
  TExprKind ResultKind() const override { return result_; }
  int MinFunctionArg() const override { return min_args_; }
  int MaxFunctionArg() const override { return static_cast<int>(signature_.size()); }
  const AnsiString& Description() const override { return description_; }
  const AnsiString& Signature() const override { return signature_; }
  const AnsiString& Alias() const override { return alias_; }
  bool IsFunctionWord() const override { return true; }

 private:
  bool is_operator_ = false;
  int precedence_ = 0;
  int min_args_;
  AnsiString description_;
  AnsiString signature_;
  AnsiString alias_;
  TExprKind result_;
};

// The token list of one compilation; it never frees words.
using TExprCollection = TNoOwnerCollection<TExprWord>;

// The alias index of a word list, keyed by Alias; it frees nothing.
class TExpressShortList : public TSortedCollection<TExprWord> {
 public:
  ~TExpressShortList() override { Clear(); }
  void DisposeItem(TExprWord*) override {}
  int CompareKeys(std::string_view a, std::string_view b) const override;
  std::string_view ItemKey(TExprWord* item) const override { return item->Alias(); }
};

// A word list keyed by Name, compared ignoring ASCII case. A word lives while
// some list holds it: inserting counts a use, disposing drops one and frees
// the word with the last.
class TExpressList : public TSortedCollection<TExprWord> {
 public:
  ~TExpressList() override { DisposeAll(); }
  int CompareKeys(std::string_view a, std::string_view b) const override;
  std::string_view ItemKey(TExprWord* item) const override { return item->Name(); }
  void InsertSorted(TExprWord* item) override;
  void DisposeItem(TExprWord* item) override;
  // Searches the names, then the aliases; index is the main-list index.
  bool LocateKey(std::string_view key, int& index) const override;

 private:
  TExpressShortList short_list_;
};
