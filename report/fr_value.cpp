#include "report/fr_value.h"

#include "report/fr_band.h"
#include "report/fr_dict.h"
#include "report/fr_fmt.h"
#include "report/fr_funcs.h"
#include "report/fr_globals.h"
#include "report/fr_intrp.h"
#include "report/fr_memo.h"
#include "report/fr_page.h"
#include "report/fr_report.h"
#include "report/fr_utils.h"
#include "report/fr_view.h"
#include "toolkit/core/exceptions.h"
#include "toolkit/core/text.h"

namespace {

constexpr int kTextUndefinedVariable = 55439;

// Restores the name under evaluation however the evaluation ends.
class EvaluatingScope {
 public:
  explicit EvaluatingScope(const AnsiString& name)
      : state_(frRunningBuild().Value), saved_(state_.Evaluating) {
    state_.Evaluating = name;
  }
  ~EvaluatingScope() { state_.Evaluating = saved_; }
  EvaluatingScope(const EvaluatingScope&) = delete;
  EvaluatingScope& operator=(const EvaluatingScope&) = delete;

 private:
  TfrValueState& state_;
  AnsiString saved_;
};

Variant ValueOfText(const Variant& text) { return frBuildHost().Parser().EvaluateText(VarToStr(text)); }

bool Registering() { return frBuildOrNone().Registering; }

// LINE# and LINETHROUGH# count in the band itself, or for a band without a
// record source in the first band of its chain.
const TfrBand* CountingBand() {
  const TfrBand* band = frCurrentBand();
  if (band == nullptr || band->Source != nullptr || band->Page == nullptr) return band;
  const TfrBand* head = band->Page->BandOfType(band->Type);
  return head != nullptr ? head : band;
}

// The index part of an array element's name: a string as it is, anything
// else as its whole number.
AnsiString ArrayIndexText(const Variant& index) {
  if (index.VarType() == varString) return VarToStr(index);
  return IntToStr(index.AsInteger());
}

AnsiString ArrayElementName(const Variant& array_name, const Variant& index_text) {
  return "Arr_" + Trim(VarToStr(array_name)) + "_" + ArrayIndexText(ValueOfText(index_text));
}

bool HasDot(const Variant& text) { return VarToStr(text).find('.') != AnsiString::npos; }

// The object an argument text names by its path, and the property part.
TfrObject* ObjectOfPath(const Variant& path, AnsiString& property) {
  TfrObject* object = nullptr;
  ResolveObjectPath(Trim(VarToStr(path)), object, property);
  return object;
}

}  // namespace

// ---- Names --------------------------------------------------------------------

Variant TfrReport::ResolveVariable(const AnsiString& name) {
  Variant value;
  if (OnGetValue) {
    OnGetValue(name, value);
    if (!value.IsEmpty()) return value;
  }
  const TfrBuildContext& build = frBuildOrNone();
  if (Dictionary().IsVariable(name)) return Dictionary().GetValue(name);

  const TfrReportInfo& info = Template.Info;
  if (name == "VALUE") return build.Value.LastValue;
  if (name == "PAGE#") return build.BuiltPageIndex + 1;
  if (name == "DATE") return Variant::FromDate(build.BuildDate);
  if (name == "TIME") return Variant::FromDate(build.BuildTime);
  if (name == "LINE#" || name == "LINETHROUGH#") {
    const TfrBand* band = CountingBand();
    if (band == nullptr) return 0;
    return name == "LINE#" ? band->RowNo : band->RowThrough;
  }
  if (name == "COLUMN#") return build.CurPage != nullptr ? build.CurPage->CrossColumn : 0;
  if (name == "CURRENT#") return build.CurPage != nullptr ? build.CurPage->CurrentRecord : 0;
  if (name == "TOTALPAGES") return build.TotalPages;
  if (name == "REPORTCOMMENT") return info.Comment;
  if (name == "REPORTNAME") return info.Name;
  if (name == "REPORTAUTOR") return info.Autor;
  if (name == "VMAJOR") return info.VMajor;
  if (name == "VMINOR") return info.VMinor;
  if (name == "VRELEASE") return info.VRelease;
  if (name == "VBUILD") return info.VBuild;
  if (name == "REPORTDATE") return Variant::FromDate(info.Created);
  if (name == "REPORTLASTCHANGE") return Variant::FromDate(info.LastChange);
  if (name == "CALCWIDTH") {
    TfrView* view = build.CurView;
    if (view == nullptr) return 0;
    if (auto* memo = dynamic_cast<TfrMemoView*>(view)) return memo->CalcWidth(memo->Memo);
    return view->Width;
  }

  TfrVariables& script_variables = frGlobals().RuntimeVariables;
  const int index = script_variables.IndexOfVariable(name);
  if (index >= 0) return script_variables.VariableValueAt(index);

  value = ResolvePageVariable(name);
  if (!value.IsEmpty()) return value;
  if (name != frBuildOrNone().Value.Evaluating) {
    EvaluatingScope scope(name);
    return frBuildHost().Parser().EvaluateText(name);
  }
  if (Registering()) return 0;
  throw EParserError(LoadReportString(kTextUndefinedVariable) + " \"" + name + "\"");
}

Variant TfrReport::ResolvePageVariable(const AnsiString& name) {
  const TfrBuildContext& build = frBuildOrNone();
  const TfrPage* page = build.CurPage;
  if (name == "CURY") return page != nullptr ? page->CurY : 0;
  if (name == "FREESPACE") return page != nullptr ? page->CurBottom - page->CurY : 0;
  if (name == "FINALPASS") return build.FinalPass;
  if (name == "PAGEHEIGHT") return page != nullptr ? page->CurBottom : 0;
  if (name == "PAGEWIDTH") return page != nullptr ? page->Limits.Right : 0;

  TfrObject* object = nullptr;
  AnsiString property;
  ResolveObjectPath(name, object, property);
  if (object != nullptr && object->FindProperty(property) != nullptr) return object->FetchProperty(property);
  const TfrVariables& constants = frGlobals().NamedConstants;
  const int index = constants.IndexOfVariable(name);
  if (index >= 0) return constants.VariableValueAt(index);
  return Unassigned();
}

// ---- Calls --------------------------------------------------------------------

Variant TfrReport::ResolveFunction(const AnsiString& name, const Variant& p1, const Variant& p2,
                                   const Variant& p3) {
  Variant value = "0";
  if (CallLibraryFunction(name, p1, p2, p3, value)) return value;
  RunProcedure(name, p1, p2, p3, value);
  if (OnUserFunction) OnUserFunction(name, p1, p2, p3, value);
  return value;
}

void TfrReport::RunProcedure(const AnsiString& name, const Variant& p1, const Variant& p2, const Variant& p3,
                             Variant& value) {
  const TfrBuildContext& build = frBuildOrNone();
  TfrGlobals& globals = frGlobals();
  if (name == "STOPREPORT") {
    Terminated = true;
  } else if (name == "NEWPAGE") {
    if (build.CurBand != nullptr) ++build.CurBand->NewPageRequests;
  } else if (name == "NEWCOLUMN") {
    if (build.CurBand != nullptr) ++build.CurBand->NewColumnRequests;
  } else if (name == "SHOWBAND") {
    if (build.CurPage != nullptr) build.CurPage->PrintBandByName(Trim(VarToStr(p1)));
  } else if (name == "INC" || name == "DEC") {
    const AnsiString variable = Trim(VarToStr(p1));
    Variant current;
    TInterpretator& interpreter = frBuildHost().Interpreter();
    interpreter.ReadScriptVariable(AnsiUpperCase(variable), current);
    interpreter.WriteScriptVariable(variable, name == "INC" ? current + 1 : current - 1);
  } else if (name == "SETARRAY") {
    if (HasDot(p1)) {
      AnsiString property;
      if (TfrObject* object = ObjectOfPath(p1, property))
        object->InvokeMethod("SETINDEXPROPERTY", AnsiUpperCase(property), ValueOfText(p2), ValueOfText(p3));
    } else {
      globals.RuntimeVariables.AssignVariable(ArrayElementName(p1, p2), ValueOfText(p3));
    }
  } else if (name == "GETARRAY") {
    if (HasDot(p1)) {
      AnsiString property;
      if (TfrObject* object = ObjectOfPath(p1, property))
        value = object->InvokeMethod("GETINDEXPROPERTY", AnsiUpperCase(property), ValueOfText(p2), Null());
    } else {
      const TfrVariables& variables = globals.RuntimeVariables;
      const int index = variables.IndexOfVariable(ArrayElementName(p1, p2));
      value = index >= 0 ? variables.VariableValueAt(index) : Unassigned();
    }
  } else {
    TfrObject* object = nullptr;
    AnsiString method;
    ResolveObjectPath(name, object, method);
    if (object != nullptr) value = object->InvokeMethod(method, p1, p2, p3);
  }
}

// ---- Display text ---------------------------------------------------------------

AnsiString TfrReport::ExpandValue(const AnsiString& text, TfrView* view) {
  TfrValueState& state = frRunningBuild().Value;
  state.Evaluating.clear();
  uint32_t format = view != nullptr ? view->FormatWord : 0;
  AnsiString format_text = view != nullptr ? view->FormatText : AnsiString();
  AnsiString expression = text;
  const size_t mark = text.find(" #");
  if (mark != AnsiString::npos) {
    expression = text.substr(0, mark);
    ParseInlineFormat(text.substr(mark + 2), format, format_text);
  }
  state.CurrentExpression = expression;
  Variant value = ResolveVariable(expression);
  state.LastValue = value;
  if (view != nullptr && (view->Flags & flHideZeros) != 0 && value.VarType() != varString) {
    try {
      if (value == Variant(0)) value = AnsiString();
    } catch (const std::exception&) {
      // A value that cannot be compared with 0 is shown as it is.
    }
  }
  if (Registering()) return {};
  return ApplyDisplayFormat(value, format, format_text);
}

AnsiString TfrReport::ApplyDisplayFormat(const Variant& value, uint32_t format, const AnsiString& format_text) {
  return ::ApplyDisplayFormat(value, format, format_text);
}

// ---- Callbacks --------------------------------------------------------------------

namespace {

TfrReport* Running() { return frCurrentReport(); }

}  // namespace

void InstallValueResolution(TfrReport& report) {
  TfrGlobals& globals = frGlobals();
  TfrParser& parser = *globals.ReportParser;
  parser.ValueCallback = [](const AnsiString& name, Variant& value) {
    if (TfrReport* r = Running()) value = r->ResolveVariable(name);
  };
  parser.FunctionCallback = [](const AnsiString& name, const Variant& p1, const Variant& p2, const Variant& p3,
                               Variant& value) {
    if (TfrReport* r = Running()) value = r->ResolveFunction(name, p1, p2, p3);
  };

  TfrDataDictionary& dictionary = report.Dictionary();
  dictionary.Links.ScriptVariable = [](const AnsiString& name, Variant& value) {
    const TfrVariables& variables = frGlobals().RuntimeVariables;
    const int index = variables.IndexOfVariable(name);
    if (index < 0) return false;
    value = variables.VariableValueAt(index);
    return true;
  };
  dictionary.Links.Evaluate = [](const AnsiString& expression) {
    return frBuildHost().Parser().EvaluateText(expression);
  };
}
