// Helpers of the expression-language tests: compile a text with a parser that
// has no table, and show a value with its kind.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "dbf/dbf_parser.h"

namespace parser_test {

// A value as text: integers in decimal, floats with 17 significant digits,
// booleans as "true"/"false", texts as they are.
inline std::string Show(TExprKind kind, const char* value) {
  char text[64];
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
      std::snprintf(text, sizeof text, "%.17g", v);
      return text;
    }
    case ekBoolean: return value[0] ? "true" : "false";
    case ekString: return value;
    default: return "?";
  }
}

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
