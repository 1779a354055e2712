// fuzz-deps: kiv7_report
// Runs random texts through the report expression parser: converted and
// evaluated, run directly as a postfix string, and searched for aggregate
// calls. The callbacks answer the way the report does: names whose text looks
// like an expression are evaluated again, calls evaluate their first argument.
// Every input must end in a value or in one of the toolkit's exceptions; a
// crash, a hang, a sanitizer report or any other exception is a finding.
#include <cstdint>
#include <string>

#include "report/FR_Pars.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t options = data[0];
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);

  TfrParser parser;
  parser.ValueCallback = [&](const AnsiString& name, Variant& value) {
    if ((options & 1) && name.find_first_of("+*(") != AnsiString::npos)
      value = parser.EvaluateText(name);
    else if (options & 2)
      value = Null();
    else if (!name.empty() && name[0] == 'S')
      value = name;
    else
      value = static_cast<int>(name.size());
  };
  parser.FunctionCallback = [&](const AnsiString&, const Variant& p1, const Variant&, const Variant&, Variant& value) {
    value = parser.EvaluateText(p1.AsString());
  };

  try {
    parser.EvaluateText(text);
  } catch (const Exception&) {
  }
  try {
    parser.EvalPostfix(text);
  } catch (const Exception&) {
  }

  TStringList names, found;
  names.Add("SUM");
  names.Add("MAX");
  TfrVariables vars;
  vars.AssignVariable("A", AnsiString(text));
  vars.AssignVariable("Total", AnsiString("[A] + SUM(A)"));
  TfrFunctionSplitter splitter(&names, &found, &vars);
  try {
    splitter.SplitCalls(text);
  } catch (const Exception&) {
  }
  return 0;
}
