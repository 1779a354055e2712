#include "report/fr_funcs.h"

#include <algorithm>

#include "report/fr_intrp.h"
#include "report/fr_texts.h"
#include "report/fr_utils.h"
#include "toolkit/core/editmask.h"
#include "toolkit/core/text.h"
#include "toolkit/core/units.h"
#include "toolkit/ui/dialogs.h"
#include "toolkit/ui/forms.h"

namespace {

// ---- Arguments --------------------------------------------------------------------

// E(p): the argument text evaluated with the report's parser.
Variant Evaluate(const Variant& p) { return frBuildHost().Parser().EvaluateText(VarToStr(p)); }
// T(p): the text of E(p).
AnsiString EvaluateToText(const Variant& p) { return VarToStr(Evaluate(p)); }

// ---- Standard library -------------------------------------------------------------

enum StdFunction {
  fnAvg,
  fnCount,
  fnDayOf,
  fnFormatDateTime,
  fnFormatFloat,
  fnFormatText,
  fnInput,
  fnLength,
  fnLowerCase,
  fnMax,
  fnMaxNum,
  fnMessageBox,
  fnMin,
  fnMinNum,
  fnMonthOf,
  fnNameCase,
  fnPos,
  fnSum,
  fnTrim,
  fnUpperCase,
  fnYearOf,
};

constexpr const char* kStdNames[] = {"AVG",     "COUNT",      "DAYOF", "FORMATDATETIME", "FORMATFLOAT", "FORMATTEXT",
                                     "INPUT",   "LENGTH",     "LOWERCASE", "MAX",        "MAXNUM",      "MESSAGEBOX",
                                     "MIN",     "MINNUM",     "MONTHOF", "NAMECASE",     "POS",         "SUM",
                                     "TRIM",    "UPPERCASE",  "YEAROF"};

int DateFieldThroughFormat(const char* format, const Variant& p) {
  return StrToInt(FormatDateTime(format, Evaluate(p).AsDateTime()));
}

AnsiString NameCase(const AnsiString& text) {
  AnsiString result = AnsiLowerCase(text);
  if (!result.empty()) result[0] = AnsiUpperChar(result[0]);
  return result;
}

int MessageBoxAnswer(const AnsiString& text, const AnsiString& caption, unsigned flags) {
  if (Application) return Application->MessageBox(text, caption, flags);
  return DialogService().MessageBox(text, caption, flags);
}

}  // namespace

// ---- Library base -------------------------------------------------------------------

bool TfrFunctionLibrary::HandleCall(const AnsiString& name, const Variant& p1, const Variant& p2, const Variant& p3,
                                    Variant& value) {
  const int index = FunctionNames.IndexOf(name);
  if (index < 0) return false;
  value = Variant("0");
  CallByIndex(index, p1, p2, p3, value);
  return true;
}

// ---- Aggregates -----------------------------------------------------------------------

AnsiString AggregateKey(std::string_view band_name, int code, std::string_view expression, std::string_view flag) {
  AnsiString key;
  key.reserve(band_name.size() + expression.size() + flag.size() + 5);
  key.append(band_name);
  key += kAggregateSeparator;
  key += static_cast<char>(code);
  key += kAggregateSeparator;
  key.append(expression);
  key += kAggregateSeparator;
  key.append(flag);
  key += kAggregateSeparator;
  return key;
}

int DefaultAggregateBandType(int band_type) {
  switch (band_type) {
    case 1:   // report summary
    case 3:   // page footer
    case 6:   // master footer
    case 17:  // group footer
      return 5;
    case 9: return 8;
    case 12: return 11;
    case 20: return 19;
    default: return 22;
  }
}

void TfrStdFunctionLibrary::Aggregate(int code, const Variant& p1, const Variant& p2, const Variant& p3,
                                      Variant& value) {
  // COUNT has no expression: its band name and flag come one argument earlier.
  const bool count = code == kAggregateCount;
  const AnsiString expression = count ? AnsiString() : VarToStr(p1);
  const AnsiString band_name = Trim(VarToStr(count ? p1 : p2));
  const AnsiString flag = VarToStr(count ? p2 : p3);

  TfrBuildHost& host = frBuildHost();
  const std::optional<TfrAggregateBand> printing = host.PrintingBand();
  if (!printing) return;

  if (host.RegistrationMode()) {
    const std::optional<TfrAggregateBand> candidate = host.CandidateBand();
    if (!candidate) return;
    AnsiString target = band_name;
    if (target.empty() && candidate->BandType == DefaultAggregateBandType(printing->BandType))
      target = candidate->Name;
    if (target.empty() || !AnsiSameText(candidate->Name, target)) return;
    AnsiString name = printing->Name;
    if (printing->HoldsOtherBands) name = AnsiString("0") + kAggregateSeparator + name;
    host.RegisterTotal(AggregateKey(name, code, expression, flag),
                       code == kAggregateMin ? Variant(kMinTotalStart) : Variant(0));
    return;
  }

  AnsiString name = printing->Name;
  if (printing->HoldsOtherBands) name = IntToStr(host.CurrentColumn()) + kAggregateSeparator + name;
  if (std::optional<Variant> total = host.ReadTotal(AggregateKey(name, code, expression, flag)))
    value = *total;
}

TAggregateFunctionsSplitter::TAggregateFunctionsSplitter(TStrings* found)
    : splitter_(&match_names_, found, frBuildHost().DictionaryVariables()) {
  for (const char* name : {"AVG", "COUNT", "MAX", "MIN", "SUM"}) match_names_.Add(name);
}

void TAggregateFunctionsSplitter::SplitMemo(const TStrings& lines) {
  for (int i = 0; i < lines.Count(); ++i) {
    const AnsiString line = lines.Strings(i);
    size_t pos = 0;
    while ((pos = line.find('[', pos)) != AnsiString::npos) {
      size_t end = pos;
      const AnsiString inner = ReadBracketed(line, pos, &end);
      splitter_.SplitCalls("[" + inner + "]");
      pos = end + 1;
    }
  }
}

void TAggregateFunctionsSplitter::SplitScript(const TStrings& script) {
  if (script.Count() == 0) return;
  TfrInterpretator interpreter;
  interpreter.FindCallsInScript(script, splitter_);
}

// ---- Standard library -------------------------------------------------------------------

TfrStdFunctionLibrary::TfrStdFunctionLibrary() {
  for (const char* name : kStdNames) FunctionNames.Add(name);
  // The category and description texts of these functions, of the parser's
  // built-ins and of the report's variables and procedures are numbered texts
  // the library does not hold, so none of them enters the catalogue.
}

void TfrStdFunctionLibrary::CallByIndex(int index, const Variant& p1, const Variant& p2, const Variant& p3,
                                        Variant& value) {
  switch (index) {
    case fnAvg: Aggregate(kAggregateAvg, p1, p2, p3, value); break;
    case fnCount: Aggregate(kAggregateCount, p1, p2, p3, value); break;
    case fnMax: Aggregate(kAggregateMax, p1, p2, p3, value); break;
    case fnMin: Aggregate(kAggregateMin, p1, p2, p3, value); break;
    case fnSum: Aggregate(kAggregateSum, p1, p2, p3, value); break;
    case fnDayOf: value = DateFieldThroughFormat("d", p1); break;
    case fnMonthOf: value = DateFieldThroughFormat("m", p1); break;
    case fnYearOf: value = DateFieldThroughFormat("yyyy", p1); break;
    case fnFormatDateTime: {
      const AnsiString format = EvaluateToText(p1);
      value = FormatDateTime(format, Evaluate(p2).AsDateTime());
      break;
    }
    case fnFormatFloat: {
      const AnsiString format = EvaluateToText(p1);
      value = FormatFloat(format, Evaluate(p2).AsDouble());
      break;
    }
    case fnFormatText: {
      const AnsiString mask = EvaluateToText(p1);
      value = TEditMask(mask + ";0; ").FormatValue(EvaluateToText(p2));
      break;
    }
    case fnInput: {
      const AnsiString prompt = EvaluateToText(p1);
      value = InputBox(AnsiString(), prompt, EvaluateToText(p2));
      break;
    }
    case fnLength: value = static_cast<int>(EvaluateToText(p1).size()); break;
    case fnLowerCase: value = AnsiLowerCase(EvaluateToText(p1)); break;
    case fnUpperCase: value = AnsiUpperCase(EvaluateToText(p1)); break;
    case fnNameCase: value = NameCase(EvaluateToText(p1)); break;
    case fnTrim: value = Trim(EvaluateToText(p1)); break;
    case fnPos: {
      const AnsiString sub = EvaluateToText(p1);
      value = Pos(sub, EvaluateToText(p2));
      break;
    }
    case fnMaxNum: {
      const Variant a = Evaluate(p1);
      const Variant b = Evaluate(p2);
      value = a > b ? a : b;
      break;
    }
    case fnMinNum: {
      const Variant a = Evaluate(p1);
      const Variant b = Evaluate(p2);
      value = a < b ? a : b;
      break;
    }
    case fnMessageBox: {
      const AnsiString text = EvaluateToText(p1);
      const AnsiString caption = EvaluateToText(p2);
      value = MessageBoxAnswer(text, caption, static_cast<unsigned>(Evaluate(p3).AsInteger()));
      break;
    }
    default: break;
  }
}

// ---- Database library ------------------------------------------------------------------

TDatabaseFunctionLibrary::TDatabaseFunctionLibrary() { FunctionNames.Add("FIELDISNULL"); }

void TDatabaseFunctionLibrary::CallByIndex(int index, const Variant& p1, const Variant&, const Variant&,
                                           Variant& value) {
  if (index == 0) value = FieldIsNull(EvaluateToText(p1));
}

// ---- Registry and catalogue ----------------------------------------------------------------

bool CallLibraryFunction(const AnsiString& name, const Variant& p1, const Variant& p2, const Variant& p3,
                         Variant& value) {
  // A library may be registered or unregistered while one of its functions
  // runs (a dialog's script), so the list is walked by index.
  for (int i = 0; i < FunctionLibraryCount(); ++i)
    if (FunctionLibraryAt(i)->HandleCall(name, p1, p2, p3, value)) return true;
  return false;
}

void TfrInstalledFunctions::AddDescription(const TfrFunctionLibrary& library, std::string_view name,
                                           std::string_view category, std::string_view description) {
  if (description.empty() || Find(name)) return;
  records_.push_back({library.ClassName(), AnsiString(name), AnsiString(category), AnsiString(description)});
}

void TfrInstalledFunctions::RemoveLibraryDescriptions(std::string_view class_name) {
  std::erase_if(records_, [&](const TfrFunctionDescription& r) { return r.LibraryClass == class_name; });
}

const TfrFunctionDescription* TfrInstalledFunctions::Find(std::string_view name) const {
  for (const auto& record : records_)
    if (AnsiSameText(record.FunctionName, name)) return &record;
  return nullptr;
}

TfrInstalledFunctions& InstalledFunctions() {
  return TUnitObject<TfrInstalledFunctions>::Get("fr_function_catalogue");
}

void AddFunctionDescription(const TfrFunctionLibrary& library, std::string_view name, std::string_view category,
                            std::string_view description) {
  InstalledFunctions().AddDescription(library, name, category, description);
}

// ---- Compression hook ----------------------------------------------------------------------

void TfrCompressor::Compress(TStream&, TStream&) {}
void TfrCompressor::Decompress(TStream&) {}
