#include "report/fr_utils.h"

#include <algorithm>
#include <cctype>

#include "report/FR_DBSet.h"
#include "report/FR_DSet.h"
#include "report/fr_globals.h"
#include "report/fr_texts.h"
#include "toolkit/core/component.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "toolkit/core/units.h"
#include "toolkit/db/db.h"
#include "toolkit/db/fields.h"
#include "toolkit/ui/controls.h"
#include "toolkit/ui/forms.h"
#include "toolkit/ui/stdctrls.h"

// ---- Name resolution ---------------------------------------------------------

TComponent* frReportOwner() { return frBuildOrNone().ReportOwner; }

TComponent*& frTopLevelOwner() {
  static TComponent* owner = nullptr;
  return owner;
}

namespace {

TComponent* TopLevel(const AnsiString& name) {
  TComponent* root = frTopLevelOwner() != nullptr ? frTopLevelOwner() : Application;
  return root != nullptr ? root->FindComponent(name) : nullptr;
}

TComponent* ChildOf(TComponent* owner, const AnsiString& name) {
  return owner != nullptr ? owner->FindComponent(name) : nullptr;
}

}  // namespace

TComponent* FindComponentByPath(TComponent* owner, const AnsiString& name) {
  try {
    const size_t dot1 = name.find('.');
    if (dot1 == AnsiString::npos) return ChildOf(owner, name);
    TComponent* top = TopLevel(name.substr(0, dot1));
    const size_t dot2 = name.find('.', dot1 + 1);
    if (dot2 == AnsiString::npos) return ChildOf(top, name.substr(dot1 + 1));
    // Only the first two dots split: the rest is the last component's name.
    return ChildOf(ChildOf(top, name.substr(dot1 + 1, dot2 - dot1 - 1)), name.substr(dot2 + 1));
  } catch (const std::exception&) {
    throw EClassNotFound("Missing " + name);
  }
}

AnsiString UnquoteName(const AnsiString& text) {
  if (text.size() > 2 && text.front() == '"' && text.back() == '"') return text.substr(1, text.size() - 2);
  return text;
}

AnsiString ValidFieldName(TDataSet* data_set, const AnsiString& name) {
  if (data_set == nullptr) return {};
  TStringList names;
  data_set->ListFieldNames(names);
  // A closed data set without fields of its own still knows its columns.
  if (data_set->QueryFieldCount() == 0) {
    const TFieldDefs& defs = data_set->FieldDefs();
    for (int i = 0; i < defs.Count(); ++i) names.Add(defs.DefAt(i)->Name());
  }
  for (int i = 0; i < names.Count(); ++i)
    if (AnsiSameText(names.Strings(i), name)) return name;
  return {};
}

void ResolveDataSetAndField(const AnsiString& reference, TDataSet*& data_set, AnsiString& field) {
  // The quoted field name is one part, dots and all.
  const size_t quote = reference.find('"');
  const AnsiString head = reference.substr(0, quote);
  const AnsiString quoted = quote == AnsiString::npos ? AnsiString() : reference.substr(quote);
  std::vector<AnsiString> parts;
  size_t pos = 0;
  for (;;) {
    const size_t dot = head.find('.', pos);
    if (dot == AnsiString::npos) {
      parts.push_back(head.substr(pos) + quoted);
      break;
    }
    parts.push_back(head.substr(pos, dot - pos));
    pos = dot + 1;
  }
  field.clear();
  auto as_data_set = [](TComponent* c) { return dynamic_cast<TDataSet*>(c); };
  switch (parts.size() - 1) {
    case 0:
      if (data_set != nullptr) field = ValidFieldName(data_set, UnquoteName(parts[0]));
      break;
    case 1:
      data_set = as_data_set(FindComponentByPath(frReportOwner(), parts[0]));
      field = ValidFieldName(data_set, UnquoteName(parts[1]));
      break;
    case 2:
      if (TComponent* top = TopLevel(parts[0])) {
        data_set = as_data_set(ChildOf(top, parts[1]));
        field = ValidFieldName(data_set, UnquoteName(parts[2]));
      }
      break;
    case 3:
      if (TComponent* top = TopLevel(parts[0])) {
        data_set = as_data_set(ChildOf(ChildOf(top, parts[1]), parts[2]));
        field = ValidFieldName(data_set, UnquoteName(parts[3]));
      }
      break;
    default:
      break;
  }
}

void ResolveBandDataSource(const AnsiString& text, TfrDataset*& source, bool& created) {
  source = nullptr;
  created = false;
  if (!text.empty() && text[0] >= '1' && text[0] <= '9') {
    auto* counted = new TfrUserDataset(nullptr);
    counted->SetRangeEnd(reCount);
    counted->SetRangeEndCount(StrToIntDef(text, 0));
    source = counted;
    created = true;
  } else if (TComponent* found = FindComponentByPath(frReportOwner(), text)) {
    source = dynamic_cast<TfrDataset*>(found);
    if (source == nullptr) throw EInvalidCast("Invalid class typecast");
  }
  if (source != nullptr) {
    TScopeFail unopened([&] {
      if (created) delete source;
      source = nullptr;
      created = false;
    });
    source->Open();
  }
}

void ResolveObjectPath(const AnsiString& text, TfrObject*& object, AnsiString& property) {
  object = frCurrentView();
  property = text;
  const size_t dot = text.find('.');
  if (dot != AnsiString::npos) {
    const AnsiString first = text.substr(0, dot);
    property = text.substr(dot + 1, 255);
    const AnsiString upper = AnsiUpperCase(first);
    if (upper.size() > 4 && upper.compare(0, 4, "PAGE") == 0 && std::isdigit(static_cast<unsigned char>(upper[4]))) {
      object = frBuildHost().TemplatePage(StrToIntDef(first.substr(4), 0));
    } else {
      TfrView* named = frBuildHost().FindObject(first);
      if (named != nullptr) {
        object = named;
      } else {
        TfrObject* current = frCurrentView();
        if (current != nullptr) EnsurePropertyList(*current);
        if (current != nullptr && current->FindProperty(first) != nullptr) {
          object = current;
          property = text;
        } else {
          object = nullptr;
        }
      }
    }
  }
  if (object != nullptr) EnsurePropertyList(*object);
}

// ---- Data access ---------------------------------------------------------------

TDataSet* GetDefaultDataSet() { return frBuildHost().DefaultDataSet(); }

Variant GetFieldValue(TField* field) {
  TDataSet* data_set = field->DataSet();
  if (data_set != nullptr && !data_set->QueryActive()) data_set->Activate();
  Variant value;
  if (field->OnGetText || field->DataType() == ftLargeint)
    value = field->FormatForDisplay(true);
  else
    value = field->GetVariantValue();
  if (value.IsNull() || value.IsEmpty()) {
    switch (field->DataType()) {
      case ftString:
      case ftFixedChar:
      case ftWideString:
        return AnsiString();
      case ftBoolean:
        return false;
      default:
        return 0;
    }
  }
  return value;
}

bool FieldIsNull(const AnsiString& reference) {
  TDataSet* data_set = GetDefaultDataSet();
  AnsiString field;
  ResolveDataSetAndField(reference, data_set, field);
  if (data_set == nullptr) return true;
  return data_set->FieldNamed(field)->HoldsNull();
}

// ---- Texts and lists ---------------------------------------------------------------

AnsiString LoadReportString(int id) {
  const TfrGlobals* globals = frGlobalsIfMade();
  if (globals != nullptr && globals->StringSource) return globals->StringSource(id);
  return LocaleObject().LoadText(id);
}

AnsiString NextListItem(std::string_view text, size_t& pos) {
  if (pos >= text.size()) {
    pos = text.size();
    return {};
  }
  const size_t end = std::min(text.find(';', pos), text.size());
  AnsiString item(text.substr(pos, end - pos));
  pos = end < text.size() ? end + 1 : end;
  return item;
}

AnsiString PasswordToHex(std::string_view text) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  AnsiString out;
  out.reserve(text.size() * 2);
  for (unsigned char c : text) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

namespace {

// A character above "9" counts as a letter value, whatever it is.
int HexValue(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u <= '9') return (u - '0') & 15;
  return (std::toupper(u) - 'A' + 10) & 15;
}

}  // namespace

AnsiString HexToPassword(std::string_view text) {
  AnsiString out;
  for (size_t i = 0; i + 1 < text.size(); i += 2)
    out += static_cast<char>(HexValue(text[i]) * 16 + HexValue(text[i + 1]));
  return out;
}

void SplitList(std::string_view text, TStrings& list) {
  list.Clear();
  size_t pos = 0;
  while (pos < text.size()) list.Add(NextListItem(text, pos));
}

// ---- Error text -------------------------------------------------------------------

void BuildExpressionErrorText(const std::exception& error, const AnsiString& report_name,
                              const std::function<void()>& terminate) {
  TfrErrorState& state = frRunningBuild().Error;
  state.ErrorFlag = true;
  TfrView* current = frCurrentView();
  AnsiString text = LoadReportString(55200);
  if (current != nullptr)
    for (int i = 0; i < current->Memo.Count(); ++i) text += "\r" + current->Memo.Strings(i);
  text += "\r\r" + LoadReportString(55201) + " " + report_name + "\r";
  if (current != nullptr) text += LoadReportString(55202) + " " + current->Name + "\r";
  text += "\r" + AnsiString(error.what());
  state.ErrorText = text;
  if (terminate) terminate();
}

// ---- Function-library registry ------------------------------------------------------

namespace {

struct RegisteredLibrary {
  AnsiString class_name;
  std::shared_ptr<TfrFunctionLibrary> library;
};

// Made with the first registration, freed by the units' shut-down after the
// report globals that registered the standard libraries.
using LibraryRegistry = TUnitObject<std::vector<RegisteredLibrary>>;

std::vector<RegisteredLibrary>& Libraries() { return LibraryRegistry::Get("fr_function_libraries"); }

}  // namespace

void RegisterFunctionLibrary(const AnsiString& class_name, const TfrFunctionLibraryFactory& make) {
  auto& libraries = Libraries();
  for (const RegisteredLibrary& entry : libraries)
    if (entry.class_name == class_name) return;
  // The registry holds no more; a caller past the limit is refused, not overrun.
  if (static_cast<int>(libraries.size()) >= kMaxFunctionLibraries)
    throw EListError(Format("No more than %d function libraries can be registered", {kMaxFunctionLibraries}));
  libraries.push_back({class_name, make()});
}

void UnregisterFunctionLibrary(const AnsiString& class_name,
                               const std::function<void(TfrFunctionLibrary&)>& forget) {
  if (LibraryRegistry::IfMade() == nullptr) return;
  auto& libraries = Libraries();
  for (auto it = libraries.begin(); it != libraries.end();) {
    if (it->class_name == class_name) {
      if (forget && it->library) forget(*it->library);
      it = libraries.erase(it);
    } else {
      ++it;
    }
  }
}

int FunctionLibraryCount() {
  const auto* libraries = LibraryRegistry::IfMade();
  return libraries != nullptr ? static_cast<int>(libraries->size()) : 0;
}

TfrFunctionLibrary* FunctionLibraryAt(int index) {
  if (index < 0 || index >= FunctionLibraryCount()) return nullptr;
  return Libraries()[static_cast<size_t>(index)].library.get();
}

// ---- Scratch objects ---------------------------------------------------------------

TCanvas& frScratchCanvas() {
  static TBitmap* bitmap = [] {
    auto* b = new TBitmap();
    b->SetSize(16, 16);
    return b;
  }();
  return bitmap->Canvas();
}

// ---- Dialog routines --------------------------------------------------------------

void SetUpReportDialog(TForm& form, const char* name, int client_width, int client_height) {
  form.SetName(name);
  form.SetBorderStyle(bsDialog);
  form.SetPosition(poScreenCenter);
  form.SetClientWidth(client_width);
  form.SetClientHeight(client_height);
  form.SetColor(clBtnFace);
  form.Font().SetName("MS Sans Serif");
  form.Font().SetHeight(-11);
}

void EnableControls(const std::vector<TControl*>& controls, bool enabled) {
  for (TControl* control : controls) {
    if (control == nullptr) continue;
    control->SetEnabled(enabled);
    if (dynamic_cast<TLabel*>(control) != nullptr)
      control->Font().SetColor(enabled ? clWindowText : clGrayText);
    else if (dynamic_cast<TWinControl*>(control) != nullptr)
      control->SetColor(enabled ? clWindow : clBtnFace);
  }
}

TControl* FindControlAt(TWinControl* parent, TPoint point) {
  if (parent == nullptr) return nullptr;
  for (int i = parent->ControlCount() - 1; i >= 0; --i) {
    TControl* child = parent->Controls(i);
    if (child == nullptr || !child->Visible()) continue;
    const TRect r = child->BoundsRect();
    if (point.x < r.Left || point.x >= r.Right || point.y < r.Top || point.y >= r.Bottom) continue;
    auto* container = dynamic_cast<TWinControl*>(child);
    if (container != nullptr && container->ControlCount() > 0) {
      if (TControl* inner = FindControlAt(container, TPoint{point.x - r.Left, point.y - r.Top})) return inner;
      continue;
    }
    return child;
  }
  return nullptr;
}
