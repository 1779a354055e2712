#include "report/fr_globals.h"

#include "toolkit/core/units.h"
#include "report/fr_class.h"
#include "report/fr_funcs.h"
#include "report/fr_intrp.h"
#include "report/fr_progr.h"
#include "report/fr_texts.h"
#include "report/fr_utils.h"
#include "toolkit/core/text.h"
#include "toolkit/gfx/graphics.h"
#include "toolkit/ui/forms.h"

namespace {

// Freed by the unit's shut-down only, never by static destruction: the
// globals' destructor reaches the function library and the string source.
std::unique_ptr<TfrGlobals>& GlobalsHolder() {
  static auto* holder = new std::unique_ptr<TfrGlobals>();
  return *holder;
}

const char kGlobalsUnit = 0;
void FinalizeGlobalsUnit() { GlobalsHolder().reset(); }

// Text numbers of the tables loaded at start-up.
constexpr int kDefaultCharsetText = 55337;
constexpr int kFirstBandTypeText = 55077;
constexpr int kFirstBooleanFormatText = 55170;
constexpr int kFirstDateFormatText = 55175;
constexpr int kFirstTimeFormatText = 55179;
constexpr int kDatabaseCategoryText = 55620;
constexpr int kFieldIsNullText = 55621;

void RemoveDescriptionsOf(TfrFunctionLibrary& library) {
  InstalledFunctions().RemoveLibraryDescriptions(library.ClassName());
}

}  // namespace

TfrGlobals::TfrGlobals() {
  LoadGlobalTexts();

  CheckerBitmap = std::make_unique<TBitmap>();
  CheckerBitmap->SetSize(8, 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) CheckerBitmap->Canvas().SetPixel(x, y, (x + y) % 2 == 0 ? clWhite : clSilver);
  MeasureBitmap = std::make_unique<TBitmap>();
  MeasureBitmap->SetSize(8, 8);

  RegisterFunctionLibrary("TfrStdFunctionLibrary", [] { return std::make_shared<TfrStdFunctionLibrary>(); });
  RegisterFunctionLibrary("TDatabaseFunctionLibrary", [] { return std::make_shared<TDatabaseFunctionLibrary>(); });
  DatabaseLibrary = std::make_unique<TDatabaseFunctionLibrary>();
  AddFunctionDescription(*DatabaseLibrary, "FIELDISNULL", LocaleObject().LoadText(kDatabaseCategoryText),
                         LocaleObject().LoadText(kFieldIsNullText));

  ReportParser = std::make_unique<TfrParser>();
  ReportInterpreter = std::make_unique<TInterpretator>();
  RuntimeVariables.SortVariables(true);
  NamedConstants.SortVariables(true);
  FillNamedConstants();

  Compressor = std::make_unique<TfrCompressor>();
}

TfrGlobals::~TfrGlobals() {
  FreeLocaleObject();
  CheckerBitmap.reset();
  MeasureBitmap.reset();
  ScratchList.Clear();
  // A form that fails to go away must not stop the shut-down.
  try {
    progress_form_.reset();
  } catch (...) {
  }
  try {
    dialog_form_.reset();
  } catch (...) {
  }
  UnregisterFunctionLibrary("TfrStdFunctionLibrary", RemoveDescriptionsOf);
  UnregisterFunctionLibrary("TDatabaseFunctionLibrary", RemoveDescriptionsOf);
  ReportInterpreter.reset();
  ReportParser.reset();
  RuntimeVariables.ClearVariables();
  NamedConstants.ClearVariables();
  Compressor.reset();
  BuildList.clear();
  InstalledFunctions().Clear();
  DatabaseLibrary.reset();
}

TComponent* TfrGlobals::FindDialogComponent(const AnsiString& name) const {
  return dialog_form_ ? dialog_form_->FindComponent(name) : nullptr;
}

void TfrGlobals::LoadGlobalTexts() {
  TfrLocale& locale = LocaleObject();
  DefaultCharset = StrToIntDef(locale.LoadText(kDefaultCharsetText), 0);
  for (size_t i = 0; i < BandTypeNames.size(); ++i)
    BandTypeNames[i] = locale.LoadText(kFirstBandTypeText + static_cast<int>(i));
  for (size_t i = 0; i < 4; ++i) {
    BooleanFormats[i] = locale.LoadText(kFirstBooleanFormatText + static_cast<int>(i));
    DateFormats[i] = locale.LoadText(kFirstDateFormatText + static_cast<int>(i));
    TimeFormats[i] = locale.LoadText(kFirstTimeFormatText + static_cast<int>(i));
  }
}

void TfrGlobals::FillNamedConstants() {
  struct Constant {
    const char* name;
    int64_t value;
  };
  static constexpr Constant kConstants[] = {
      {"clWhite", 0xFFFFFF},       {"clBlack", 0},
      {"clMaroon", 0x80},          {"clGreen", 0x8000},
      {"clOlive", 0x8080},         {"clNavy", 0x800000},
      {"clPurple", 0x800080},      {"clTeal", 0x808000},
      {"clGray", 0x808080},        {"clSilver", 0xC0C0C0},
      {"clRed", 0xFF},             {"clLime", 0xFF00},
      {"clYellow", 0xFFFF},        {"clBlue", 0xFF0000},
      {"clFuchsia", 0xFF00FF},     {"clAqua", 0xFFFF00},
      {"clTransparent", 0x1FFFFFFF},
  };
  // System colours, 0xFF000000 to 0xFF000018 in this order.
  static constexpr const char* kSystemColors[] = {
      "clScrollBar",   "clBackground",   "clActiveCaption", "clInactiveCaption", "clMenu",
      "clWindow",      "clWindowFrame",  "clMenuText",      "clWindowText",      "clCaptionText",
      "clActiveBorder", "clInactiveBorder", "clAppWorkSpace", "clHighlight",     "clHighlightText",
      "clBtnFace",     "clBtnShadow",    "clGrayText",      "clBtnText",         "clInactiveCaptionText",
      "clBtnHighlight", "cl3DDkShadow",  "cl3DLight",       "clInfoText",        "clInfoBk"};
  static constexpr Constant kNumbers[] = {
      {"mrNone", 0},          {"mrOk", 1},           {"mrCancel", 2},          {"mrYes", 6},
      {"mrNo", 7},            {"fsBold", 2},         {"fsItalic", 1},          {"fsUnderline", 4},
      {"fsStrikeOut", 8},     {"frftNone", 0},       {"frftRight", 1},         {"frftBottom", 2},
      {"frftLeft", 4},        {"frftTop", 8},        {"frtaLeft", 0},          {"frtaRight", 1},
      {"frtaCenter", 2},      {"frtaVertical", 4},   {"frtaMiddle", 8},        {"frtaDown", 16},
      {"baNone", 0},          {"baLeft", 1},         {"baRight", 2},           {"baCenter", 3},
      {"baWidth", 4},         {"baBottom", 5},       {"baTop", 6},             {"baRest", 7},
      {"psSolid", 0},         {"psDash", 1},         {"psDot", 2},             {"psDashDot", 3},
      {"psDashDotDot", 4},    {"psDouble", 5},       {"mb_Ok", 0},             {"mb_OkCancel", 1},
      {"mb_YesNo", 4},        {"mb_YesNoCancel", 3}, {"mb_IconError", 16},     {"mb_IconQuestion", 32},
      {"mb_IconInformation", 64}, {"mb_IconWarning", 48}};

  // Colours are the toolkit's 32-bit colour numbers, held as integers; the
  // system colours keep their bit pattern (negative as signed integers).
  const auto as_integer = [](int64_t value) { return Variant(static_cast<int>(static_cast<uint32_t>(value))); };
  for (const Constant& c : kConstants) NamedConstants.AssignVariable(c.name, as_integer(c.value));
  for (size_t i = 0; i < std::size(kSystemColors); ++i)
    NamedConstants.AssignVariable(kSystemColors[i], as_integer(0xFF000000LL + static_cast<int64_t>(i)));
  for (const Constant& c : kNumbers) NamedConstants.AssignVariable(c.name, as_integer(c.value));
  NamedConstants.AssignVariable("CRLF", Variant("\r\n"));
  NamedConstants.AssignVariable("Null", Null());
}

TForm* TfrGlobals::DialogForm() {
  if (!dialog_form_) {
    dialog_form_ = std::make_unique<TForm>(nullptr);
    dialog_form_->SetName("DialogForm");
    dialog_form_->SetBounds(-100, -100, 10, 10);
  }
  return dialog_form_.get();
}

TfrGlobals* frGlobalsIfMade() { return GlobalsHolder().get(); }

TfrProgressForm* TfrGlobals::ProgressForm() {
  if (!progress_form_) {
    progress_form_ = std::make_unique<TfrProgressForm>(nullptr);
    progress_form_->SetFormStyle(fsStayOnTop);
    progress_form_->AfterConstruction();
  }
  return progress_form_.get();
}

void TfrGlobals::FreeProgressWindow() { progress_form_.reset(); }

TfrGlobals& frGlobals() {
  auto& holder = GlobalsHolder();
  if (!holder) {
    holder = std::make_unique<TfrGlobals>();
    RegisterUnit(&kGlobalsUnit, "fr_globals", FinalizeGlobalsUnit);
  }
  return *holder;
}

void FreeGlobals() { FinalizeUnit(&kGlobalsUnit); }
