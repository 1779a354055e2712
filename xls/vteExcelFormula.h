// The formula compiler: formula text to BIFF8 formula tokens.
//
// Tokens are in reverse Polish order: operands (numbers, strings, cell and
// area references, 3-D references through an EXTERNSHEET index) followed by
// the operators and function calls that consume them. The compiler is an
// operator-precedence parser over a stack of pending operators; function
// arguments are separated by ";". References to other sheets are collected
// in TvteExtRefs, from which the writer makes the SUPBOOK and EXTERNSHEET
// records.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/core/text.h"

// A referenced workbook: its name (empty for this workbook) and the positions
// of its sheets in the flat list of TvteExtRefs.
struct TvteExtWorkbook {
  AnsiString Name;
  std::vector<int> Sheets;
};

// A referenced sheet: its name, its workbook and its position in that
// workbook's list. Its own position in the flat list is its REF index.
struct TvteExtSheet {
  AnsiString Name;
  int Workbook = 0;
  int Index = 0;
};

// The workbooks and sheets the compiled formulas refer to.
class TvteExtRefs {
 public:
  // The REF index of the sheet, adding the workbook (exact name; empty is
  // this workbook) and the sheet (exact name within it) when new.
  int AddSheetRef(std::string_view workbook, std::string_view sheet);
  void Clear();

  int WorkbookCount() const { return static_cast<int>(workbooks_.size()); }
  const TvteExtWorkbook& Workbook(int index) const { return workbooks_[static_cast<size_t>(index)]; }
  int SheetCount() const { return static_cast<int>(sheets_.size()); }
  const TvteExtSheet& Sheet(int index) const { return sheets_[static_cast<size_t>(index)]; }

 private:
  std::vector<TvteExtWorkbook> workbooks_;
  std::vector<TvteExtSheet> sheets_;
};

// The stack of pending operators.
class TvteCompileOpStack {
 public:
  struct Entry {
    // Row of the operator table (1-based; 18 is a function call).
    int Row = 0;
    // The function's number, for function entries.
    uint16_t Function = 0;
    // Arguments counted so far, for function entries.
    int ArgCount = 0;
    // The current argument has content, for function entries.
    bool HasContent = false;
    // For a "(" entry: the position of the function entry it opens the
    // arguments of, -1 for a plain bracket. For a function entry: -2 until
    // its "(" comes.
    int CallOf = -1;
  };

  void Clear() { entries_.clear(); }
  bool Empty() const { return entries_.empty(); }
  int Count() const { return static_cast<int>(entries_.size()); }
  Entry& Top() { return entries_.back(); }
  Entry& At(int index) { return entries_[static_cast<size_t>(index)]; }
  void Push(const Entry& entry) { entries_.push_back(entry); }
  Entry Pop() {
    Entry e = entries_.back();
    entries_.pop_back();
    return e;
  }
  // The function entry whose argument list is innermost open, nullptr when
  // the text is not inside a function's brackets.
  Entry* InnermostFunction();

 private:
  std::vector<Entry> entries_;
};

class TvteExcelFormulaCompiler {
 public:
  // Compiles one formula into tokens (replacing their content). Raises
  // Exception with the compiler's message on the first error.
  void Compile(std::string_view formula, std::string& tokens);
  // Raises a plain Exception with the message.
  [[noreturn]] void CompileError(const AnsiString& message);

  // The sheets and workbooks the formulas compiled so far refer to.
  TvteExtRefs& ExtRefs() { return ext_refs_; }
  const TvteExtRefs& ExtRefs() const { return ext_refs_; }
  // Forgets the external references and the stack.
  void Clear();

 private:
  void MarkContent();
  void PushOperator(int row);
  void PushFunction(uint16_t number);
  void CloseBracket();
  void Separator();
  void EmitOperator(const TvteCompileOpStack::Entry& entry);
  void EmitOperand();
  void AddReference(std::string_view text);
  void AddNumber(std::string_view text);

  TvteCompileOpStack stack_;
  TvteExtRefs ext_refs_;
  std::string* out_ = nullptr;
  std::string_view formula_;
  // Operands the emitted tokens leave for the reader's evaluation stack.
  int depth_ = 0;
};

// Reads a cell reference such as "B2", "$B$2", "b$2" into a 0-based row and
// the column word of a reference token (column, plus 0x4000 when the column
// and 0x8000 when the row is relative). False when the text is no reference
// inside 65536 rows and 256 columns.
bool ParseCellRef(std::string_view text, uint16_t* row, uint16_t* column_word);
