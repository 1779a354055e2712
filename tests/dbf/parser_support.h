// Helpers of the expression-language tests: compile a text with a parser that
// has no table, and show a value with its kind.
#pragma once

#include <string>

#include "dbf/dbf_parser.h"

namespace parser_test {

// A value as text (ExprValueText): integers in decimal, floats in the
// shortest form that reads back the same, booleans as "true"/"false", texts
// as they are.
inline std::string Show(TExprKind kind, const char* value) { return ExprValueText(kind, value); }

// Compiles and evaluates a text on a parser; returns its value shown.
inline std::string Eval(TDbfParser& parser, const std::string& text) {
  parser.CompileText(text);
  const char* value = parser.EvaluateRecord(nullptr);
  return Show(parser.GetResultKind(), value);
}

// The number of records of the compiled evaluation list.
inline int RecordCount(const TCustomExpressionParser& parser) {
  int n = 0;
  for (const TExprRecord* r = parser.FirstRecord(); r != nullptr; r = r->Next) ++n;
  return n;
}

}  // namespace parser_test
