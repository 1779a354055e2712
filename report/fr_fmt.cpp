#include "report/fr_fmt.h"

#include <algorithm>
#include <cctype>
#include <memory>

#include "report/fr_texts.h"
#include "report/fr_utils.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "toolkit/ui/maskedit.h"
#include "toolkit/ui/stdctrls.h"

namespace {

// Library texts of the names and predefined formats.
constexpr int kFirstCategoryName = 55130;
constexpr int kFirstKindName = 55150;
constexpr int kFirstBooleanFormat = 55170;
constexpr int kFirstDateFormat = 55175;
constexpr int kFirstTimeFormat = 55179;

AnsiString Hashes(int count) { return AnsiString(static_cast<size_t>(std::max(count, 0)), '#'); }

// A value the boolean patterns read as true.
bool IsTrue(const Variant& value) {
  if (value.VarType() == varBoolean) return value.AsBoolean();
  return value.AsDouble() != 0;
}

AnsiString FormatNumber(const Variant& value, const TfrFormatWord& f, const AnsiString& format_text) {
  TFormatSettings settings = FormatSettings();
  // A word without a separator (none was stored) keeps the locale's.
  if (f.Separator != '\0') settings.DecimalSeparator = f.Separator;
  const double number = value.AsDouble();
  switch (f.Kind) {
    case 0:
      return FormatFloat("##0." + Hashes(f.Decimals), number, settings);
    case 1:
      return FloatToStrF(number, ffFixed, 15, f.Decimals, settings);
    case 2:
      return FormatFloat("#,##0." + Hashes(f.Decimals), number, settings);
    case 3:
      return FloatToStrF(number, ffNumber, 15, f.Decimals, settings);
    default:
      return FormatFloat(format_text, number, settings);
  }
}

AnsiString FormatByWord(const Variant& value, const TfrFormatWord& f, const AnsiString& format_text) {
  switch (f.Category) {
    case fcNumber:
      return FormatNumber(value, f, format_text);
    case fcDate:
      if (f.Kind == kCustomFormatKind) return FormatDateTime(format_text, value.AsDouble());
      if (f.Kind == 3) return FormatLongDate(value.AsDouble());
      return FormatDateTime(PredefinedDateFormat(f.Kind), value.AsDouble());
    case fcTime:
      return FormatDateTime(f.Kind == kCustomFormatKind ? format_text : PredefinedTimeFormat(f.Kind),
                            value.AsDouble());
    case fcBoolean: {
      const AnsiString pattern = f.Kind == kCustomFormatKind ? format_text : PredefinedBooleanFormat(f.Kind);
      const size_t semicolon = pattern.find(';');
      const AnsiString off = pattern.substr(0, semicolon);
      const AnsiString on = semicolon == AnsiString::npos ? AnsiString() : pattern.substr(semicolon + 1);
      return IsTrue(value) ? on : off;
    }
    default:
      return VarToStr(value);
  }
}

}  // namespace

TfrFormatWord TfrFormatWord::Decode(uint32_t word) {
  TfrFormatWord f;
  f.Separator = static_cast<char>(word & 0xFF);
  f.Decimals = static_cast<int>((word >> 8) & 0xFF);
  f.Kind = static_cast<int>((word >> 16) & 0xFF);
  f.Category = static_cast<int>((word >> 24) & 0x0F);
  return f;
}

uint32_t TfrFormatWord::Encode() const {
  const auto clamp = [](int v, int hi) { return static_cast<uint32_t>(std::clamp(v, 0, hi)); };
  return clamp(Category, 15) << 24 | clamp(Kind, 255) << 16 | clamp(Decimals, 255) << 8 |
         static_cast<unsigned char>(Separator);
}

AnsiString FormatCategoryName(int category) {
  if (category < 0 || category >= kFormatCategoryCount) return {};
  return LoadReportString(kFirstCategoryName + category);
}

AnsiString FormatKindName(int category, int kind) {
  if (category < 0 || category >= kFormatCategoryCount || kind < 0 || kind >= kFormatKindCount) return {};
  return LoadReportString(kFirstKindName + 5 * category + kind);
}

AnsiString PredefinedDateFormat(int kind) {
  return kind >= 0 && kind < 4 ? LoadReportString(kFirstDateFormat + kind) : AnsiString();
}

AnsiString PredefinedTimeFormat(int kind) {
  return kind >= 0 && kind < 4 ? LoadReportString(kFirstTimeFormat + kind) : AnsiString();
}

AnsiString PredefinedBooleanFormat(int kind) {
  return kind >= 0 && kind < 4 ? LoadReportString(kFirstBooleanFormat + kind) : AnsiString();
}

AnsiString ApplyDisplayFormat(const Variant& value, uint32_t word, const AnsiString& format_text) {
  if (value.IsEmpty() || value.IsNull()) return {};
  if (value.VarType() == varString && Trim(VarToStr(value)).empty()) return {};
  try {
    return FormatByWord(value, TfrFormatWord::Decode(word), format_text);
  } catch (const std::exception&) {
    // A value the format cannot take shows as it is.
    return VarToStr(value);
  }
}

void ParseInlineFormat(const AnsiString& suffix, uint32_t& word, AnsiString& format_text) {
  AnsiString t = suffix;
  if (!t.empty() && std::isdigit(static_cast<unsigned char>(t[0]))) t = "N" + t;
  const char first = t.empty() ? '\0' : static_cast<char>(std::toupper(static_cast<unsigned char>(t[0])));
  if (first == 'N') {
    TfrFormatWord f;
    f.Category = fcNumber;
    const bool fixed = t.size() > 1 && std::isdigit(static_cast<unsigned char>(t[1]));
    f.Kind = fixed ? 1 : 0;
    f.Separator = FormatSettings().DecimalSeparator;
    size_t separator_at = AnsiString::npos;
    for (size_t i = t.size(); i-- > 1;) {
      if (t[i] == ',' || t[i] == '-' || t[i] == '.') {
        separator_at = i;
        f.Separator = t[i];
        t[i] = '.';
        break;
      }
    }
    if (fixed) {
      // N8.2: the digits after the separator are the decimals, as many as
      // the word holds.
      int decimals = 0;
      for (size_t i = separator_at == AnsiString::npos ? t.size() : separator_at + 1;
           i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])); ++i)
        decimals = std::min(decimals * 10 + (t[i] - '0'), 255);
      f.Decimals = decimals;
    } else {
      t.erase(0, 1);
      f.Kind = kCustomFormatKind;
    }
    word = f.Encode();
    format_text = t;
  } else if (first == 'B') {
    word = TfrFormatWord{fcBoolean, kCustomFormatKind, 0, '\0'}.Encode();
    format_text = t.substr(1);
  } else if (first == 'D' || first == 'T') {
    word = TfrFormatWord{fcDate, kCustomFormatKind, 0, '\0'}.Encode();
    format_text = t.substr(1);
  } else {
    format_text = t;
  }
}

// ---- The format dialog ---------------------------------------------------------

namespace {

constexpr int kTextForm = 53420;
constexpr int kTextLabel1 = 53422;
constexpr int kTextLabel2 = 53423;
constexpr int kTextLabel3 = 53424;

}  // namespace

TfrFmtForm::TfrFmtForm(TComponent* owner) : TForm(owner) {
  SetName("frFmtForm");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(309);
  SetClientHeight(209);
  SetColor(clBtnFace);
  CatLB = PlaceControl(new TListBox(this), "CatLB", this, 4, 4, 97, 165);
  TypeLB = PlaceControl(new TListBox(this), "TypeLB", this, 104, 4, 201, 109);
  Label1 = PlaceControl(new TLabel(this), "Label1", this, 104, 120, 100, 13);
  DecEdit = PlaceControl(new TCustomMaskEdit(this), "DecEdit", this, 240, 116, 65, 21);
  Label2 = PlaceControl(new TLabel(this), "Label2", this, 104, 144, 100, 13);
  SplEdit = PlaceControl(new TCustomMaskEdit(this), "SplEdit", this, 240, 140, 65, 21);
  SplEdit->SetMaxLength(1);
  SplEdit->SetAutoSelect(true);
  Label3 = PlaceControl(new TLabel(this), "Label3", this, 4, 176, 60, 13);
  FormatEdit = PlaceControl(new TCustomMaskEdit(this), "FormatEdit", this, 64, 172, 241, 21);
  Button1 = PlaceControl(new TButton(this), "Button1", this, 152, 184, 75, 21);
  Button1->SetDefault(true);
  Button1->SetModalResult(mrOk);
  Button2 = PlaceControl(new TButton(this), "Button2", this, 232, 184, 75, 21);
  Button2->SetCancel(true);
  Button2->SetModalResult(mrCancel);
  CatLB->OnClick = [this](TComponent*) { CatLBClick(); };
  TypeLB->OnClick = [this](TComponent*) { TypeLBClick(); };
  OnCreate = [this](TComponent*) { FormCreate(); };
  OnShow = [this](TComponent*) { FormActivate(); };
}

void TfrFmtForm::FormCreate() {
  SetCaption(LoadReportString(kTextForm));
  Label1->SetCaption(LoadReportString(kTextLabel1));
  Label2->SetCaption(LoadReportString(kTextLabel2));
  Label3->SetCaption(LoadReportString(kTextLabel3));
  Button1->SetCaption(LoadReportString(kTextOk));
  Button2->SetCaption(LoadReportString(kTextCancel));
}

void TfrFmtForm::FormActivate() {
  const TfrFormatWord f = TfrFormatWord::Decode(Word);
  CatLB->ClearItems();
  for (int c = 0; c < kFormatCategoryCount; ++c) CatLB->AddItem(FormatCategoryName(c));
  CatLB->SetItemIndex(f.Category);
  CatLBClick();
  const auto at = std::find(kinds_.begin(), kinds_.end(), f.Kind);
  TypeLB->SetItemIndex(at == kinds_.end() ? 0 : static_cast<int>(at - kinds_.begin()));
  TypeLBClick();
}

void TfrFmtForm::CatLBClick() {
  const int category = CatLB->ItemIndex();
  TypeLB->ClearItems();
  kinds_.clear();
  for (int k = 0; k < kFormatKindCount; ++k) {
    const AnsiString name = FormatKindName(category, k);
    if (name.empty()) continue;
    TypeLB->AddItem(name);
    kinds_.push_back(k);
  }
  TypeLB->SetItemIndex(0);
  TypeLBClick();
}

void TfrFmtForm::TypeLBClick() {
  const TfrFormatWord f = TfrFormatWord::Decode(Word);
  const bool number = CatLB->ItemIndex() == fcNumber;
  EnableControls({Label1, Label2, DecEdit, SplEdit}, number);
  DecEdit->SetText(number ? IntToStr(f.Decimals) : AnsiString());
  SplEdit->SetText(number ? AnsiString(1, f.Separator) : AnsiString());
  const int row = TypeLB->ItemIndex();
  const bool custom = row >= 0 && row < static_cast<int>(kinds_.size()) && kinds_[row] == kCustomFormatKind;
  EnableControls({Label3, FormatEdit}, custom);
  FormatEdit->SetText(custom ? FormatText : AnsiString());
}

void TfrFmtForm::SplEditEnter() { SplEdit->SelectAll(); }

void TfrFmtForm::FormDeactivate() {
  TfrFormatWord f;
  f.Category = std::max(CatLB->ItemIndex(), 0);
  const int row = TypeLB->ItemIndex();
  f.Kind = row >= 0 && row < static_cast<int>(kinds_.size()) ? kinds_[row] : 0;
  f.Decimals = StrToIntDef(Trim(DecEdit->Text()), 0);
  const AnsiString separator = SplEdit->Text();
  f.Separator = separator.empty() ? ',' : separator[0];
  Word = f.Encode();
  if (FormatEdit->Enabled()) FormatText = FormatEdit->Text();
}

bool EditDisplayFormat(uint32_t& word, AnsiString& format_text) {
  auto form = std::make_unique<TfrFmtForm>(nullptr);
  form->AfterConstruction();
  form->Word = word;
  form->FormatText = format_text;
  if (form->ShowModal() != mrOk) return false;
  form->FormDeactivate();
  word = form->Word;
  format_text = form->FormatText;
  return true;
}
