// The script interpreter of report objects, bands and pages.
//
// A script is a small structured language (begin/end, if/then/else,
// repeat/until, while/do, for/to/do, numbered labels with goto, assignments
// and procedure calls) whose expressions are report expressions. CompileScript
// turns its source into compiled lines; RunScript runs them any number of
// times. Line numbers count from 0; L and H are the low and high byte of a
// target line number:
//
//   code 1, L, H, condition   when the condition equals 0 go to L + 256*H,
//                             else to the next line
//   code 2, L, H              go to L + 256*H (anything after is ignored)
//   code 3, call              evaluate the call, discard the value; EXIT(0)
//                             (any case) ends the run
//   name, blank, expression   assign the expression's value to the name
//
// Conditions, calls and expressions are kept in the parser's postfix form, so
// a run only evaluates. Only the first statement of a source is compiled: a
// script of several statements is written as begin ... end.
//
// The interpreter resolves no names itself: reading a name, calling a
// function and writing a name go to three overridable operations.
// TInterpretator, the report's interpreter, sends them to the report.
#pragma once

#include <functional>
#include <string_view>
#include <vector>

#include "report/FR_Pars.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/variant.h"

class TfrObject;

// ScriptLine codes.
inline constexpr char kScriptIf = 1;
inline constexpr char kScriptGoto = 2;
inline constexpr char kScriptCall = 3;

class TfrInterpretator {
 public:
  // The joined source (every line and a carriage return) must fit this buffer.
  static constexpr size_t kBufferSize = 32000;
  static constexpr int kMaxLabels = 101;
  // Label texts are kept to this many characters.
  static constexpr size_t kMaxLabelLength = 16;
  // Jump targets are 16-bit, and a jump may land just after the last line.
  static constexpr int kMaxScriptLines = 65535;

  TfrInterpretator();
  virtual ~TfrInterpretator();
  TfrInterpretator(const TfrInterpretator&) = delete;
  TfrInterpretator& operator=(const TfrInterpretator&) = delete;

  // 1. A name met while running; `value` arrives Unassigned. Does nothing here.
  virtual void ReadScriptVariable(const AnsiString& name, Variant& value);
  // 2. An assignment. Does nothing here.
  virtual void WriteScriptVariable(const AnsiString& name, const Variant& value);
  // 3. A call the parser does not know. Does nothing here.
  virtual void CallScriptFunction(const AnsiString& name, const Variant& p1, const Variant& p2, const Variant& p3,
                                  Variant& value);
  // 4. Compiles the first statement of `source` into `script`; syntax errors
  //    go to `errors` as "Line L/C: message" (1-based), and the lines emitted
  //    before the error stay. Both lists are cleared first.
  virtual void CompileScript(const TStrings& source, TStrings& script, TStrings& errors);
  // 5. Runs compiled lines. Conversion and Variant errors, and whatever the
  //    three operations raise, propagate.
  virtual void RunScript(const TStrings& script);

  // Applies the splitter to the expression of every compiled line: the
  // condition of a code-1 line, the call of a code-3 line, the text after the
  // first word of an assignment.
  void FindCallsInScript(const TStrings& script, TfrFunctionSplitter& splitter);
  void FindCallsInScript(const TStrings& script, TStrings* names, TfrVariables* variables, TStrings* output);

  // The parser runs use; its callbacks are bound to operations 1 and 3.
  TfrParser& Parser() { return parser_; }

 private:
  class Compiler;
  TfrParser parser_;
};

// The report's interpreter (one object, frGlobals().ReportInterpreter).
class TInterpretator : public TfrInterpretator {
 public:
  // The report parser's ValueCallback.
  void ReadScriptVariable(const AnsiString& name, Variant& value) override;
  // First match: a run-time variable; a dictionary variable; MODALRESULT of a
  // dialog page; CURY; PROGRESS; a property Object.Property (or a property of
  // the current object) that exists; otherwise a new run-time variable.
  void WriteScriptVariable(const AnsiString& name, const Variant& value) override;
  // The report parser's FunctionCallback.
  void CallScriptFunction(const AnsiString& name, const Variant& p1, const Variant& p2, const Variant& p3,
                          Variant& value) override;
};
