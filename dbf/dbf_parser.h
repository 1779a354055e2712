// The table expression library: the operators and functions every parser
// knows, the field variables that expose one field of the current record
// buffer to an expression, and TDbfParser, which the table's filter and the
// index keys compile their texts with. A text that is a single field name is
// not compiled at all: its value is the field itself.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "dbf/dbf_prscore.h"

class TDbfFile;
class TDbfFieldDef;

// ---- global word lists -------------------------------------------------------

// Makes the global word lists (once; later calls do nothing).
void RegisterParserFunctions();
// Frees them; words still used by a parser live until that parser frees them.
void FreeParserFunctions();

// "(", ")", ",", the arithmetic, the numeric comparisons, NOT, AND, OR, the functions.
const TExpressList& CommonWords();
// "<", ">", "<=", ">=", "<>" on two texts, ignoring case / with case.
const TExpressList& OrderNoCaseWords();
const TExpressList& OrderCaseWords();
// "=" on two texts, ignoring case / with case.
const TExpressList& EqualNoCaseWords();
const TExpressList& EqualCaseWords();
// "=" on two texts with "*" at either end of the right one as a wildcard.
const TExpressList& MatchNoCaseWords();
const TExpressList& MatchCaseWords();

// ---- field variables -----------------------------------------------------------

// One field of the current record buffer as an expression variable.
class TFieldVar {
 public:
  TFieldVar(TDbfFieldDef* field_def, TDbfFile* dbf_file);
  virtual ~TFieldVar() = default;
  TFieldVar(const TFieldVar&) = delete;
  TFieldVar& operator=(const TFieldVar&) = delete;

  // The storage the parser's variable word reads.
  virtual void* FieldValueAddress() = 0;
  virtual TExprKind FieldKind() const = 0;
  // Reads the field from a record buffer into the storage.
  virtual void LoadFrom(const char* record_buffer) = 0;

  TDbfFieldDef* FieldDef() const { return field_def_; }
  TDbfFile* DbfFile() const { return dbf_file_; }
  const AnsiString& FieldName() const { return field_name_; }

 private:
  TDbfFieldDef* field_def_;
  TDbfFile* dbf_file_;
  AnsiString field_name_;
};

// A text field: the storage is a pointer to the text.
class TStringFieldVar : public TFieldVar {
 public:
  using TFieldVar::TFieldVar;
  void* FieldValueAddress() override { return &text_; }
  TExprKind FieldKind() const override { return ekString; }

 protected:
  char* text_ = nullptr;
};

// Points at the field's bytes in the record buffer: Size bytes, blank-padded,
// in the table's code page, not zero-terminated.
class TRawStringFieldVar : public TStringFieldVar {
 public:
  using TStringFieldVar::TStringFieldVar;
  void LoadFrom(const char* record_buffer) override;
};

// Its own copy of the field without trailing blanks, zero-terminated, in the
// ANSI code page.
class TAnsiStringFieldVar : public TStringFieldVar {
 public:
  TAnsiStringFieldVar(TDbfFieldDef* field_def, TDbfFile* dbf_file);
  void LoadFrom(const char* record_buffer) override;

 private:
  std::vector<char> block_;  // Size + 1 bytes
};

class TFloatFieldVar : public TFieldVar {
 public:
  using TFieldVar::TFieldVar;
  void* FieldValueAddress() override { return &value_; }
  TExprKind FieldKind() const override { return ekFloat; }
  void LoadFrom(const char* record_buffer) override;

 private:
  double value_ = 0;
};

class TIntegerFieldVar : public TFieldVar {
 public:
  using TFieldVar::TFieldVar;
  void* FieldValueAddress() override { return &value_; }
  TExprKind FieldKind() const override { return ekInteger; }
  void LoadFrom(const char* record_buffer) override;

 private:
  int32_t value_ = 0;
};

class TLargeIntFieldVar : public TFieldVar {
 public:
  using TFieldVar::TFieldVar;
  void* FieldValueAddress() override { return &value_; }
  TExprKind FieldKind() const override { return ekLargeInt; }
  void LoadFrom(const char* record_buffer) override;

 private:
  int64_t value_ = 0;
};

// Any date or date-time field, read as a date-time.
class TDateTimeFieldVar : public TFieldVar {
 public:
  using TFieldVar::TFieldVar;
  void* FieldValueAddress() override { return &value_; }
  TExprKind FieldKind() const override { return ekDateTime; }
  void LoadFrom(const char* record_buffer) override;

 private:
  double value_ = 0;
};

// Copies text from one code page to another into at most capacity bytes,
// ending in a zero byte (which capacity includes). A text that does not fit
// is cut before the first character that would not fit whole, so a
// multi-byte code page never gets half a character. Returns the length.
int ConvertCodePageBounded(std::string_view text, unsigned from_code_page, unsigned to_code_page, char* dest,
                           int capacity);

// ---- TDbfParser ---------------------------------------------------------------------

class TDbfParser : public TCustomExpressionParser {
 public:
  // The longest value a key expression may produce, in bytes.
  static constexpr int kMaxResultLength = 100;

  // dbf_file may be none; names are resolved against the file current at CompileText.
  explicit TDbfParser(TDbfFile* dbf_file);
  ~TDbfParser() override;

  TDbfFile* DbfFile() const { return dbf_file_; }
  void SetDbfFile(TDbfFile* dbf_file) { dbf_file_ = dbf_file; }

  // Compiles a filter or key text (a single field name is taken as the field itself).
  virtual void CompileText(const AnsiString& text);
  // Loads the fields from the record buffer and evaluates; returns the value:
  // a number, a boolean byte, or a text (zero-terminated, except a single raw
  // text field, which is ResultLength bytes inside the record buffer).
  virtual const char* EvaluateRecord(const char* record_buffer);

  TExprKind GetResultKind() override;
  void ClearCompiled() override;

  // The length of the value in bytes: a text's length (taken from a blank
  // record for an expression), 4 for an integer, 1 for a boolean, 8 for a
  // float, a date-time or a 64-bit integer.
  int ResultLength() const { return result_length_; }
  // Whether the text was compiled (false: a single field).
  bool HoldsExpression() const { return holds_expression_; }
  const AnsiString& ExpressionText() const { return expression_text_; }

  // Text comparisons ignore case (true after construction).
  bool IgnoreCase() const { return ignore_case_; }
  void SetIgnoreCase(bool value);
  // Text "=" treats a "*" at either end of its right operand as a wildcard.
  bool PartialCompare() const { return partial_compare_; }
  void SetPartialCompare(bool value);
  // Text fields are read in place in the table's code page (true after
  // construction); otherwise trimmed and converted to the ANSI code page.
  bool RawStrings() const { return raw_strings_; }
  void SetRawStrings(bool value);

 protected:
  void LoadWordList() override;
  void ResolveUnknownName(const AnsiString& name) override;
  AnsiString GetExpressionText() override { return expression_text_; }
  uint32_t ComparisonLocale() override;

 private:
  struct NamedFieldVar {
    AnsiString name;
    std::unique_ptr<TFieldVar> var;
  };

  void Recompile(bool reload_words);

  TDbfFile* dbf_file_;
  std::vector<NamedFieldVar> field_variables_;
  int result_length_ = 0;
  bool holds_expression_ = false;
  TExprKind single_field_kind_ = ekUnknown;
  bool ignore_case_ = true;
  bool raw_strings_ = true;
  bool partial_compare_ = false;
  AnsiString expression_text_;
};

// A value EvaluateRecord returned, as text: integers in decimal, floats and
// date-times (days since 1899-12-30) in the shortest form that reads back the
// same, booleans "true" or "false", a zero-terminated text as it is; empty for
// another kind.
std::string ExprValueText(TExprKind kind, const char* value);
