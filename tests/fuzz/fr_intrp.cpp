// fuzz-deps: kiv7_report
// Compiles random script texts. Every input must end in compiled lines or in
// error lines, never in a crash, a hang or an exception. The compiled lines
// must hold together: every jump has its two target bytes and lands inside
// the script or just after it. Scripts that only jump forward are also run
// (they cannot loop), with names that answer numbers and calls that answer 0;
// a run may end in one of the toolkit's exceptions.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "report/fr_intrp.h"

namespace {

class FuzzInterpreter : public TfrInterpretator {
 public:
  void ReadScriptVariable(const AnsiString& name, Variant& value) override {
    value = static_cast<int>(name.size());
  }
  void CallScriptFunction(const AnsiString&, const Variant&, const Variant&, const Variant&,
                          Variant& value) override {
    value = 0;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TStringList source, script, errors;
  source.SetText(std::string(reinterpret_cast<const char*>(data), size));
  FuzzInterpreter interpreter;
  interpreter.CompileScript(source, script, errors);

  bool forward_only = true;
  for (int i = 0; i < script.Count(); ++i) {
    const AnsiString line = script.Strings(i);
    if (line.empty()) std::abort();
    if (line[0] == kScriptIf || line[0] == kScriptGoto) {
      if (line.size() < 3) std::abort();
      const int target = static_cast<unsigned char>(line[1]) + 256 * static_cast<unsigned char>(line[2]);
      if (target > script.Count()) std::abort();
      if (target <= i) forward_only = false;
    } else if (line[0] != kScriptCall && line.find(' ') == AnsiString::npos) {
      std::abort();
    }
  }
  if (forward_only && errors.Count() == 0) {
    try {
      interpreter.RunScript(script);
    } catch (const Exception&) {
    }
  }
  TStringList names, found;
  names.Add("SUM");
  try {
    interpreter.FindCallsInScript(script, &names, nullptr, &found);
  } catch (const Exception&) {
  }
  return 0;
}
