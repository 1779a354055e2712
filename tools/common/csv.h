// CSV output shared by the command-line harnesses: a field is quoted only
// when it holds a comma, a quote or a line break, and quotes inside double.
#pragma once

#include <string>

inline std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}
