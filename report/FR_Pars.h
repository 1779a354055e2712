// The report's expression parser, its list of named values, and the finder of
// function calls inside expressions.
//
// An expression is evaluated in two steps. ToPostfix turns the infix text into
// a postfix string by the shunting-yard method; EvalPostfix runs that string
// on a fixed stack of Variants. Compiled script lines keep the postfix string
// and run only the second step.
//
// Postfix string: every operand is written as its text followed by one blank
// (a number, a name, a '...' string, a [...] text, a name with its [index]); a
// call is written as its source text from the name through the closing
// bracket, without a blank. Operators are single characters, without
// separators:
//
//   1 >=   2 <=   3 <>   '<' '=' '>'      comparisons          priority 3
//   4 OR   5 AND  12 NOT  13 MOD  '*' '/'                      priority 1
//   9 unary minus  10 unary plus  '+' '-'                      priority 2
//   6 INT  7 FRAC  11 STR  14 ROUND                            priority 0
//   '(' group start, only on the operator stack                priority 5
//
// A smaller priority binds tighter, so AND and OR bind as tightly as "*" and
// the comparisons most loosely: a = 1 AND b = 2 means (a = (1 AND b)) = 2.
// Equal priorities group from the left. A prefix operator after a binary one
// (2*-3, a AND NOT b) is placed before its operand in the postfix string and
// finds too few operands when run: that is refused with EParserError.
//
// Positions in this interface are 0-based byte offsets.
#pragma once

#include <functional>
#include <string_view>
#include <vector>

#include "toolkit/core/classes.h"
#include "toolkit/core/variant.h"

// An expression the parser refuses (too deep, or an operator without its
// operands) raises the toolkit's EParserError.

// Asked for the value of a name (upper-cased) or of a bracketed text (as written).
// `value` arrives Unassigned; what the callback leaves there is the operand.
using TGetValueEvent = std::function<void(const AnsiString& name, Variant& value)>;
// Asked for the result of a call the parser does not know: the name upper-cased,
// p1..p3 the argument texts unevaluated as string Variants (empty when absent).
// `value` arrives Unassigned; what the callback leaves there is the result.
using TFunctionEvent = std::function<void(const AnsiString& name, const Variant& p1, const Variant& p2,
                                          const Variant& p3, Variant& value)>;

// The text inside the "[" at `start` and its matching "]"; brackets inside '...'
// or "..." do not count. *end receives the position of that "]". When the text
// ends first, the inner text runs to the text's last character but one and *end
// is the last position. When `start` is not a "[", the result is empty and *end
// equals `start`.
AnsiString ReadBracketed(std::string_view text, size_t start, size_t* end);

class TfrParser {
 public:
  // How deep evaluations may nest (a call's argument evaluated inside a call,
  // a name whose value is itself an expression). Deeper ones are refused with
  // EParserError rather than running off the machine stack.
  static constexpr int kMaxNesting = 64;
  // Entries of the value stack.
  static constexpr int kStackSize = 32;

  // Either may be unset: a name then gives Null, an unknown call Null.
  TGetValueEvent ValueCallback;
  TFunctionEvent FunctionCallback;

  // ToPostfix, then EvalPostfix.
  Variant EvaluateText(std::string_view text);
  // The postfix string of an infix text. Raises Exception with an empty message
  // for a call whose bracket is not closed.
  AnsiString ToPostfix(std::string_view text) const;
  // Runs a postfix string; the result is the bottom entry of the stack (0 for an
  // empty string). Toolkit conversion and Variant errors propagate; division by
  // zero gives 0; a stack under- or overflow raises EParserError.
  Variant EvalPostfix(std::string_view postfix);

  // ---- reading routines, shared with TfrFunctionSplitter
  // Skips bytes up to blank, then reads up to one of ( ) * + - / < = > [ or a
  // blank or control byte that is not inside a "..." part. *pos moves past the text.
  AnsiString ReadOperandText(std::string_view text, size_t* pos) const;
  // From the ' at *pos through the closing ' that is not doubled (to the text's
  // end when there is none), both quotes included. *pos moves past it.
  AnsiString ReadQuoted(std::string_view text, size_t* pos) const;
  // With *pos just after a call's "(": the argument texts, trimmed, split at the
  // commas of depth 1 outside '...' quotes; at most three are kept. *pos moves
  // past the matching ")". An unclosed bracket raises Exception with an empty message.
  std::vector<AnsiString> ReadCallArguments(std::string_view text, size_t* pos) const;

 private:
  Variant NameValue(const AnsiString& name);
  Variant Call(const AnsiString& name, const std::vector<AnsiString>& args);
};

// Named Variant values (the report's variables, totals, dictionary tables):
// names are matched ignoring case, a name is held once, each value is owned.
class TfrVariables {
 public:
  // Sets the value of `name`, adding the name when absent.
  void AssignVariable(std::string_view name, const Variant& value);
  // The value of `name`; Null when absent.
  Variant FetchVariable(std::string_view name) const;
  // The index of `name`, -1 when absent.
  int IndexOfVariable(std::string_view name) const;
  int VariableCount() const { return static_cast<int>(items_.size()); }
  // The name at i; empty out of range.
  AnsiString VariableNameAt(int i) const;
  // Renames the entry at i (a sorted list moves it to its place); ignored out of range.
  void SetVariableNameAt(int i, std::string_view name);
  // The value at i; 0 out of range.
  Variant VariableValueAt(int i) const;
  // Ignored out of range.
  void SetVariableValueAt(int i, const Variant& value);
  // Ignored out of range.
  void DeleteVariableAt(int i);
  void ClearVariables() { items_.clear(); }
  // Keeps the names in case-insensitive order from now on (sorting them now) or not.
  void SortVariables(bool sorted);
  bool Sorted() const { return sorted_; }

 private:
  struct Item {
    AnsiString name;
    Variant value;
  };
  size_t InsertPosition(std::string_view name) const;
  bool InRange(int i) const { return i >= 0 && i < VariableCount(); }

  std::vector<Item> items_;
  bool sorted_ = false;
};

// Finds the calls of the functions named in MatchNames (the aggregates) inside
// an expression, also inside the expressions of the variables it names.
// The lists are not owned; any of them may be null.
class TfrFunctionSplitter {
 public:
  TfrFunctionSplitter(TStrings* match_names, TStrings* found_calls, TfrVariables* variables);

  // Adds to FoundCalls the text of every call of a MatchNames function, from the
  // name through its ")", inner calls first. A variable that reaches itself again
  // is not followed a second time; nesting deeper than TfrParser::kMaxNesting
  // raises EParserError.
  void SplitCalls(std::string_view text);

  TStrings* MatchNames;
  TStrings* FoundCalls;
  // Values are expression texts.
  TfrVariables* Variables;

 private:
  void Split(std::string_view text, int depth);
  void SplitVariable(int index, int depth);

  TfrParser parser_;
  std::vector<int> expanding_;  // indexes of the variables on the current path
};
