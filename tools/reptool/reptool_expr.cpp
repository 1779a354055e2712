// reptool expr TEXT: the value of a report expression, with the function
// libraries, printed as its text.
// reptool script FILE: compiles and runs a script (a UTF-8 text file) and
// prints the variables it leaves as NAME=VALUE, one a line, in name order.
//
// Names resolve as a report without a template resolves them: the run-time
// variables, then the named constants, then DATE and TIME; any other name (or
// bracketed text) is evaluated as an expression. Calls go to the registered
// function libraries. Message boxes print their text on stderr and answer OK;
// input boxes keep their default text.
#include <cstdio>
#include <fstream>
#include <sstream>

#include "report/fr_funcs.h"
#include "report/fr_globals.h"
#include "report/fr_host.h"
#include "report/fr_intrp.h"
#include "toolkit/core/text.h"
#include "toolkit/ui/dialogs.h"
#include "tools/reptool/reptool.h"

int ConsoleDialogs::MessageBox(const AnsiString& text, const AnsiString& caption, unsigned) {
  std::fprintf(stderr, "%s: %s\n", AnsiToUtf8(caption).c_str(), AnsiToUtf8(text).c_str());
  return 1;  // IDOK
}

int ConsoleDialogs::MessageDlg(const AnsiString& text, TMsgDlgType, TMsgDlgButtons) {
  std::fprintf(stderr, "%s\n", AnsiToUtf8(text).c_str());
  return 1;  // mrOk
}

namespace {

// Installs the console dialogs and the name and function resolution on the
// report's parser for the life of one subcommand.
class ExprSession {
 public:
  ExprSession() {
    previous_ = SetDialogService(&dialogs_);
    TfrParser& parser = *frGlobals().ReportParser;
    parser.ValueCallback = [this](const AnsiString& name, Variant& value) { Resolve(name, value); };
    parser.FunctionCallback = [](const AnsiString& name, const Variant& p1, const Variant& p2, const Variant& p3,
                                 Variant& value) {
      if (!CallLibraryFunction(name, p1, p2, p3, value)) throw Exception("Unknown function " + name);
    };
  }
  ~ExprSession() {
    SetDialogService(previous_);
    FreeGlobals();
  }
  ExprSession(const ExprSession&) = delete;
  ExprSession& operator=(const ExprSession&) = delete;

 private:
  // The scripts' assignments go through the engine's host.
  TfrEngineHost host_;
  TfrBuildScope scope_{nullptr, host_};

  void Resolve(const AnsiString& name, Variant& value) {
    TfrGlobals& globals = frGlobals();
    for (const TfrVariables* list : {&globals.RuntimeVariables, &globals.NamedConstants}) {
      const int index = list->IndexOfVariable(name);
      if (index >= 0) {
        value = list->VariableValueAt(index);
        return;
      }
    }
    const AnsiString upper = AnsiUpperCase(name);
    if (upper == "DATE") {
      value = Variant::FromDate(Date());
    } else if (upper == "TIME") {
      value = Variant::FromDate(Time());
    } else if (AnsiSameText(name, evaluating_)) {
      throw EParserError("Unknown name \"" + name + "\"");
    } else {
      // A bracketed text is an expression of its own.
      TScopedValue<AnsiString> evaluating(evaluating_, name);
      value = globals.ReportParser->EvaluateText(name);
    }
  }

  ConsoleDialogs dialogs_;
  TDialogService* previous_ = nullptr;
  AnsiString evaluating_;
};

}  // namespace

int ExprCommand(const ReptoolArgs& args) {
  if (args.size() != 1) {
    std::fprintf(stderr, "usage: reptool expr TEXT\n");
    return 2;
  }
  ExprSession session;
  const Variant value = frGlobals().ReportParser->EvaluateText(Utf8ToAnsi(args[0]));
  std::printf("%s\n", AnsiToUtf8(VarToStr(value)).c_str());
  return 0;
}

int ScriptCommand(const ReptoolArgs& args) {
  if (args.size() != 1) {
    std::fprintf(stderr, "usage: reptool script FILE\n");
    return 2;
  }
  std::ifstream file(args[0], std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "reptool: cannot read %s\n", args[0].c_str());
    return 1;
  }
  std::ostringstream text;
  text << file.rdbuf();

  ExprSession session;
  TStringList source, script, errors;
  source.SetText(Utf8ToAnsi(text.str()));
  TInterpretator& interpreter = *frGlobals().ReportInterpreter;
  interpreter.CompileScript(source, script, errors);
  if (errors.Count() > 0) {
    for (int i = 0; i < errors.Count(); ++i) std::fprintf(stderr, "%s\n", AnsiToUtf8(errors.Strings(i)).c_str());
    return 1;
  }
  interpreter.RunScript(script);
  const TfrVariables& variables = frGlobals().RuntimeVariables;
  for (int i = 0; i < variables.VariableCount(); ++i)
    std::printf("%s=%s\n", AnsiToUtf8(variables.VariableNameAt(i)).c_str(),
                AnsiToUtf8(VarToStr(variables.VariableValueAt(i))).c_str());
  return 0;
}
