#include "grid/rs_num.h"

#include <cmath>
#include <deque>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "toolkit/core/units.h"
#include "grid/rs_calc.h"

#include "grid/rs_str.h"
#include "toolkit/sys/event_loop.h"
#include "toolkit/core/text.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/gfx/drawtext.h"
#include "toolkit/gfx/edges.h"
#include "toolkit/ui/forms.h"
#include "toolkit/ui/stdctrls.h"
#include "toolkit/ui/comctrls.h"

// ---- Published types ---------------------------------------------------------------------

const TTypeInfo& TvfNumericDropDownKindType() {
  static const TTypeInfo t = TTypeInfo::Enumeration("TvfNumericDropDownKind", {"ndkCustom", "ndkCalculator"});
  return t;
}

const TClassInfo& TNumericVision::StaticClassInfo() {
  static const TClassInfo info(
      kClassOf<TNumericVision>, "TNumericVision", &TToolFormVision::StaticClassInfo(),
      [](TPublisher<TNumericVision>& p) {
        using V = TNumericVision;
        p.Ordinal("Alignment", TvpDefAlignmentType(), &V::Alignment, &V::SetAlignment).WithDefault(talDefault);
        PublishVisionImages(p);
        p.Ordinal("ButtonStyle", TvpButtonStyleType(), &V::ButtonStyle, &V::SetButtonStyle)
            .WithDefault(pbsEllipsis);
        PublishButtonGlyph(p);
        p.Boolean("EnableButton", &V::EnableButton, &V::SetEnableButton).WithDefault(false);
        p.String("EditMask", &V::EditMask, &V::SetEditMask);
        p.Boolean("ComboBoxStyle", &V::ComboBoxStyle, &V::SetComboBoxStyle).WithDefault(false);
        p.Object("DropDown", TVisionToolForm::StaticClassInfo(), &V::DropDown,
                 [](V& o, TPersistent* v) { o.SetDropDown(dynamic_cast<TVisionToolForm*>(v)); });
        p.Ordinal("DropDownOptions", TfvDropDownOptionsType(), &V::DropDownOptions, &V::SetDropDownOptions)
            .WithDefault(0);
        p.Boolean("EnableDropDown", &V::EnableDropDown, &V::SetEnableDropDown).WithDefault(true);
        p.String("DisplayFormat", &V::DisplayFormat, &V::SetDisplayFormat);
        p.String("EditFormat", &V::EditFormat, &V::SetEditFormat);
        p.Boolean("Nullable", &V::Nullable, &V::SetNullable).WithDefault(true);
        p.Float("MinValue", &V::MinValue, &V::SetMinValue).StoredWhen([](const TPersistent& o) {
          return static_cast<const V&>(o).MinValue() != 0;
        });
        p.Float("MaxValue", &V::MaxValue, &V::SetMaxValue).StoredWhen([](const TPersistent& o) {
          return static_cast<const V&>(o).MaxValue() != 0;
        });
        p.Float("Step", &V::Step, &V::SetStep).StoredWhen([](const TPersistent& o) {
          return static_cast<const V&>(o).Step() != 1;
        });
        p.Ordinal("DropDownKind", TvfNumericDropDownKindType(), &V::DropDownKind, &V::SetDropDownKind);
        PublishVisionEvents(p, "*");
        PublishEvents(p, "TfvGetExtValueEvent OnGetValue");
      });
  return info;
}

// ---- TNumericVision ----------------------------------------------------------------------

TNumericVision::TNumericVision(TComponent* owner) : TToolFormVision(owner) { SetButtonStyle(pbsEllipsis); }

void TNumericVision::SetDisplayFormat(const AnsiString& value) {
  if (display_format_ == value) return;
  display_format_ = value;
  NotifyView();
}

void TNumericVision::SetDropDown(TVisionToolForm* value) {
  if (value != DropDown()) drop_down_kind_ = ndkCustom;
  TToolFormVision::SetDropDown(value);
}

AnsiString TNumericVision::FormatNumber(TgpFieldList& Fields, bool DisplayText, double Value, bool UseFieldText) {
  AnsiString format = DisplayText ? Fields.DisplayFormat() : Fields.EditFormat();
  if (format.empty()) format = DisplayText ? display_format_ : edit_format_;
  if (!format.empty()) return FormatFloat(format, Value);
  TField* field = Fields.Field();
  if (!field) return FloatToStr(Value);
  if (UseFieldText) return field->FormatForDisplay(DisplayText);
  // Numbers of fields without a precision of their own keep every digit:
  // 18 is the most the conversion takes.
  int precision = 18;
  if (auto* float_field = dynamic_cast<TFloatField*>(field)) precision = float_field->Precision();
  if (field->DataType() == ftCurrency)
    return FloatToStrF(Value, DisplayText ? ffCurrency : ffFixed, precision, FormatSettings().CurrencyDecimals);
  return FloatToStrF(Value, ffGeneral, precision, 0);
}

double TNumericVision::ParseNumber(const AnsiString& Text, bool& IsNull) {
  IsNull = false;
  if (Text.empty()) {
    if (!nullable_) rsError(SBlankNumber);
    IsNull = true;
    return 0;
  }
  double number = 0;
  // The run-time conversion takes "nan" and "inf" for numbers; no field can
  // hold them, so they are refused as text that is no number.
  if (!TryStrToFloat(Text, number) || !std::isfinite(number)) rsErrorFmt(SNotNumeric, {Text});
  if (HasRange() && (number < min_value_ || number > max_value_))
    rsErrorFmt(SOutOfRangeMinMax, {Text, min_value_, max_value_});
  return number;
}

bool TNumericVision::StepNumber(double& x, bool Up) const {
  const double old = x;
  if (Up) {
    if (!HasRange())
      x += step_;
    else if (x < max_value_)
      x = x < min_value_ ? min_value_ : x + step_;
  } else {
    if (!HasRange())
      x -= step_;
    else if (x > min_value_)
      x = x > max_value_ ? max_value_ : x - step_;
  }
  return x != old;
}

double TNumericVision::FieldsNumber(TgpFieldList& Fields, bool& IsNull) {
  if (TField* field = Fields.Field()) {
    IsNull = field->HoldsNull();
    return IsNull ? 0 : field->GetFloatValue();
  }
  double value = 0;
  IsNull = false;
  if (OnGetValue)
    OnGetValue(this, Fields, value, IsNull);
  else
    IsNull = true;
  return value;
}

void TNumericVision::CanShow(TgpFieldList& Fields, bool& Active) {
  TField* field = Fields.Field();
  Active = !Fields.FieldName().empty() && (!field || dynamic_cast<TNumericField*>(field) != nullptr);
}

void TNumericVision::GetText(TgpFieldList& Fields, bool DisplayText, AnsiString& Text) {
  bool is_null = false;
  const double value = FieldsNumber(Fields, is_null);
  if (is_null)
    Text.clear();
  else
    Text = FormatNumber(Fields, DisplayText, value, true);
}

void TNumericVision::ValueToText(TgpFieldList& Fields, const TvpUniValue& Value, AnsiString& Text) {
  Text = FormatNumber(Fields, true, Value.AsFloat(), false);
}

void TNumericVision::TextToValue(IvpVisionEdit& Edit, TvpUniValue& Value, bool&) {
  bool is_null = false;
  const double number = ParseNumber(Edit.EditText(), is_null);
  if (is_null)
    Value.Clear();
  else
    Value.SetAsFloat(number);
}

void TNumericVision::ButtonClick(IvpVisionEdit& Edit) {
  TToolFormVision::ButtonClick(Edit);
  if (ButtonStyle() != pbsSpin) return;
  bool up = false;
  switch (ButtonClickKind()) {
    case bckClick:
    case bckKeyToggle:
      up = true;
      break;
    case bckSpinDown:
    case bckKeySpinDown:
      break;
    default:
      return;
  }
  const AnsiString text = Edit.EditText();
  double x = StrToFloat(text.empty() ? AnsiString("0") : text);
  if (!StepNumber(x, up)) return;
  const AnsiString stepped = FormatNumber(Edit.EditFields(), false, x, false);
  if (auto* edit = dynamic_cast<TDBProdiEdit*>(&Edit)) {
    edit->SetValueText(stepped, true);
    return;
  }
  Edit.SetEditText(stepped);
  Edit.CurrentValue().TextModified = true;
  Edit.SelectAll();
}

void TNumericVision::LoadEditValue(IvpVisionEdit& Edit) {
  TfvCurrentValue& value = Edit.CurrentValue();
  value.Clear();
  value.SetDataType(ftFloat);
  if (TField* field = Edit.EditFields().Field()) {
    value.Assign(field);
  } else {
    bool is_null = false;
    const double number = FieldsNumber(Edit.EditFields(), is_null);
    if (!is_null) value.SetAsFloat(number);
  }
  value.Changed = false;
  value.TextModified = false;
}

TAlignment TNumericVision::GetDefaultAlignment(TgpFieldList&) { return taRightJustify; }

void TNumericVision::GetSearchText(TgpFieldList& Fields, AnsiString& Text) { GetFieldsText(Fields, false, Text); }

TVisionToolForm* TNumericVision::GetDropDown() {
  if (drop_down_kind_ == ndkCalculator) return Calculator();
  return TToolFormVision::GetDropDown();
}

// ---- The calculator drop-down ------------------------------------------------------------

namespace {

// Colours of the button captions by group.
inline constexpr TColor kClearColor = 0x000080;   // BS, CE, C
inline constexpr TColor kMemoryColor = 0x0000FF;  // MC, MR, MS, M+
inline constexpr TColor kDigitColor = 0xFF0000;   // digits, +/-, separator
inline constexpr TColor kOperColor = 0x0000FF;    // / * - + =
inline constexpr TColor kFuncColor = 0x800000;    // sqrt, %, 1/x

struct CalcButtonDesign {
  const char* caption;  // UTF-8; "," stands for the locale's separator
  int code;
  TColor color;
  int column;  // in a grid of 6 columns
  int row;     // 0 the top row
  int span;    // columns taken
};

// The layout: the memory panel and the three clear keys on top, then the
// memory keys in the left column beside the digits and the operators.
const CalcButtonDesign kCalcButtons[] = {
    {"BS", ckBackspace, kClearColor, 1, 0, 2},     {"CE", ckClearEntry, kClearColor, 3, 0, 1},
    {"C", ckClear, kClearColor, 4, 0, 2},          {"MC", ckMemoryClear, kMemoryColor, 0, 1, 1},
    {"7", 7, kDigitColor, 1, 1, 1},                {"8", 8, kDigitColor, 2, 1, 1},
    {"9", 9, kDigitColor, 3, 1, 1},                {"/", ckDivide, kOperColor, 4, 1, 1},
    {"√", ckSqrt, kFuncColor, 5, 1, 1},            {"MR", ckMemoryRecall, kMemoryColor, 0, 2, 1},
    {"4", 4, kDigitColor, 1, 2, 1},                {"5", 5, kDigitColor, 2, 2, 1},
    {"6", 6, kDigitColor, 3, 2, 1},                {"*", ckMultiply, kOperColor, 4, 2, 1},
    {"%", ckPercent, kFuncColor, 5, 2, 1},         {"MS", ckMemoryStore, kMemoryColor, 0, 3, 1},
    {"1", 1, kDigitColor, 1, 3, 1},                {"2", 2, kDigitColor, 2, 3, 1},
    {"3", 3, kDigitColor, 3, 3, 1},                {"-", ckSubtract, kOperColor, 4, 3, 1},
    {"1/x", ckReciprocal, kFuncColor, 5, 3, 1},    {"M+", ckMemoryAdd, kMemoryColor, 0, 4, 1},
    {"0", 0, kDigitColor, 1, 4, 1},                {"+/-", ckSign, kDigitColor, 2, 4, 1},
    {",", ckSeparator, kDigitColor, 3, 4, 1},      {"+", ckAdd, kOperColor, 4, 4, 1},
    {"=", ckEquals, kOperColor, 5, 4, 1},
};

// A calculator key: a painted button that never takes the focus, so that
// typing goes on into the calculator while it is clicked.
class TvpCalcButton : public TGraphicControl {
 public:
  explicit TvpCalcButton(TComponent* owner) : TGraphicControl(owner) {}
  bool Down = false;

  void ShowDown(bool down) {
    Down = down;
    Invalidate();
  }

 protected:
  void Paint() override {
    TCanvas& canvas = Canvas();
    TRect face = Rect(0, 0, Width(), Height());
    DrawFrameControl(canvas, face, DFC_BUTTON, DFCS_BUTTONPUSH | (Down ? DFCS_PUSHED : 0u) | DFCS_ADJUSTRECT);
    canvas.Font().Assign(Font());
    if (!Enabled()) canvas.Font().SetColor(clGrayText);
    canvas.Brush().SetStyle(bsClear);
    TRect text = face;
    if (Down) text = Rect(text.Left + 1, text.Top + 1, text.Right + 1, text.Bottom + 1);
    ::DrawText(canvas, Caption(), text, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    // A one-pixel frame around the key, widened by one to the left.
    canvas.Pen().SetColor(clBtnShadow);
    canvas.Rectangle(-1, 0, Width(), Height());
  }
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override {
    if (button == mbLeft) ShowDown(true);
    TGraphicControl::MouseDown(button, shift, x, y);
  }
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override {
    if (button == mbLeft) ShowDown(false);
    TGraphicControl::MouseUp(button, shift, x, y);
  }
};

// How long a key shows its button down before the button is clicked, in
// ticks of the tick clock.
constexpr unsigned kKeyPressShownMs = 50;

// The calculator: a tool form whose buttons feed the engine, which shows
// every change of its display in the edit as it happens.
class TvpCalculatorForm : public TVisionToolForm {
 public:
  // Owned by the application, so that it goes before the windowing does.
  TvpCalculatorForm() : TVisionToolForm(Application) {
    SetBounds(0, 0, 204, 144);
    SetOptions(TvtfOptions{tfoFocusable, tfoFixedWidth, tfoFixedHeight});
    memory_ = new TLabel(this);
    memory_->SetParent(this);
    memory_->SetBounds(4, 4, 30, 22);
    const int cell_w = 33, cell_h = 27;
    for (const CalcButtonDesign& d : kCalcButtons) {
      auto* button = new TvpCalcButton(this);
      button->SetParent(this);
      button->SetCaption(Utf8ToAnsi(d.caption));
      button->SetBounds(4 + d.column * cell_w, 4 + d.row * cell_h, d.span * cell_w - 2, cell_h - 2);
      button->Font().SetColor(d.color);
      button->OnClick = [this, code = d.code](TComponent*) { Press(code); };
      buttons_.push_back({button, d.code});
    }
    engine_.OnChange = [this](TvpCalcEngine*) { DisplayChanged(); };
    engine_.OnError = [this](TvpCalcEngine*, bool& handled) {
      if (TDBProdiEdit* edit = Edit()) edit->SetValueText(rsLoadStr(SError), false);
      handled = true;
    };
    OnShow = [this](TComponent*) { Opened(); };
    // The keys are the calculator's own while it is up.
    OnActivate = [this](TComponent*) { SetFocus(); };
    OnClose = [this](TComponent*) { Closed(); };
    OnKeyDown = [this](TComponent*, uint16_t& key, TShiftState shift) { Key(key, shift); };
    OnKeyPress = [this](TComponent*, char& key) { Char(key); };
    shown_ = new TTimer(this);
    shown_->SetEnabled(false);
    shown_->SetInterval(kKeyPressShownMs);
    shown_->OnTimer = [this](TComponent*) { shown_->SetEnabled(false); };
  }

  ~TvpCalculatorForm() override;

  TvpCalcEngine& Engine() { return engine_; }

 protected:
  // Enter computes (and a second one posts), Escape closes.
  bool WantSpecialKey(uint16_t key) const override { return key == VK_RETURN || key == VK_ESCAPE; }

 public:

  // Presses the button of code as a click would.
  void Press(int code) {
    if (!ButtonOf(code)) return;
    engine_.PressKey(code);
    last_code_ = code;
    if (code >= ckMemoryStore && code <= ckMemoryClear) RefreshMemory();
  }

 private:
  void Opened() {
    TDBProdiEdit* edit = Edit();
    remembered_ = edit ? edit->EditText() : AnsiString();
    // The data set enters editing now, before the calculator is up: the
    // change of its state reloads the edit, which would close an open
    // drop-down at the first key.
    if (edit) edit->EditFields().StartEdit(false);
    last_code_ = -1;
    // A text that is no number stops the drop-down with the conversion error.
    engine_.SetValue(remembered_.empty() ? AnsiString("0") : remembered_);
    for (const auto& [button, code] : buttons_)
      if (code == ckSeparator) button->SetCaption(AnsiString(1, FormatSettings().DecimalSeparator));
    RefreshMemory();
  }

  void Closed() {
    if (engine_.IsError())
      if (TDBProdiEdit* edit = Edit()) edit->SetValueText(remembered_, true);
  }

  void DisplayChanged() {
    TDBProdiEdit* edit = Edit();
    if (!edit) return;
    if (edit->SetValueText(engine_.Display(), true)) SetChanged(true);
  }

  TvpCalcButton* ButtonOf(int code) const {
    for (const auto& [button, button_code] : buttons_)
      if (button_code == code) return button;
    return nullptr;
  }

  // A key presses its button where the user sees it: the button shows down
  // while the loop runs on until the timer (by the tick clock) ends the
  // moment, then it is released and clicked.
  void PressShown(int code) {
    TvpCalcButton* button = ButtonOf(code);
    if (!button) return;
    showing_ = true;
    button->ShowDown(true);
    shown_->SetEnabled(true);
    {
      TScopeExit released([&] {
        button->ShowDown(false);
        showing_ = false;
      });
      // An error in the loop ends the moment and drops the keys held behind it.
      TScopeFail dropped([this] {
        shown_->SetEnabled(false);
        held_.clear();
      });
      while (shown_->Enabled() && !Application->Terminated()) Application->HandleMessage();
    }
    // A calculator closed meanwhile no longer writes into the edit.
    if (IsOpen()) Press(code);
    // Keys typed while the button was down follow it in the order typed,
    // rather than overtaking it from inside the loop above.
    while (!held_.empty()) {
      const std::function<void()> next = std::move(held_.front());
      held_.pop_front();
      if (IsOpen()) next();
    }
  }

  void RefreshMemory() {
    for (const auto& [button, code] : buttons_)
      if (code == ckMemoryClear || code == ckMemoryRecall) button->SetEnabled(engine_.MemorySet());
    memory_->SetCaption(" " + engine_.Memory());
  }

  // Keys without a character of their own, and the digits; the operators
  // and the separator come as characters (from the main keys and the keypad
  // alike).
  void Key(uint16_t& key, TShiftState shift) {
    if (shift.Contains(ssShift) || shift.Contains(ssCtrl) || shift.Contains(ssAlt)) return;
    if (showing_) {
      if (key == VK_RETURN || key == VK_ESCAPE || KeyCode(key) >= 0) {
        held_.push_back([this, held = key, shift] {
          uint16_t k = held;
          Key(k, shift);
        });
        key = 0;
      }
      return;
    }
    int code = -1;
    if (key == VK_RETURN) {
      // A second Enter closes the calculator and posts its number.
      if (last_code_ == ckEquals) {
        key = 0;
        Close(true, false);
        return;
      }
      code = ckEquals;
    } else if (key == VK_ESCAPE) {
      key = 0;
      Close(false, false);
      return;
    } else {
      code = KeyCode(key);
    }
    if (code < 0) return;
    key = 0;
    PressShown(code);
  }

  // The button of a key that is not Enter or Escape; -1 for none.
  static int KeyCode(uint16_t key) {
    if (key == VK_BACK) return ckBackspace;
    if (key == VK_DELETE) return ckClearEntry;
    if (key >= '0' && key <= '9') return key - '0';
    if (key >= VK_NUMPAD0 && key <= VK_NUMPAD0 + 9) return key - VK_NUMPAD0;
    return -1;
  }

  void Char(char& key) {
    int code = -1;
    switch (key) {
      case '*': code = ckMultiply; break;
      case '+': code = ckAdd; break;
      case '-': code = ckSubtract; break;
      case '/': code = ckDivide; break;
      case '=': code = ckEquals; break;
      default:
        if (key == FormatSettings().DecimalSeparator) code = ckSeparator;
    }
    if (code < 0) return;
    key = 0;
    if (showing_) {
      held_.push_back([this, code] { PressShown(code); });
      return;
    }
    PressShown(code);
  }

  TvpCalcEngine engine_;
  TLabel* memory_ = nullptr;
  std::vector<std::pair<TvpCalcButton*, int>> buttons_;
  AnsiString remembered_;
  int last_code_ = -1;
  // A key's button shows down, and the keys that came meanwhile.
  bool showing_ = false;
  TTimer* shown_ = nullptr;
  std::deque<std::function<void()>> held_;
};

TvpCalculatorForm* g_calculator = nullptr;

TvpCalculatorForm::~TvpCalculatorForm() {
  if (g_calculator == this) g_calculator = nullptr;
}

}  // namespace

namespace {
const char kNumericUnit = 0;
void FinalizeNumericUnit() {
  if (g_calculator) g_calculator->Free();
}
}  // namespace

TVisionToolForm* TNumericVision::Calculator() {
  if (!g_calculator) {
    g_calculator = new TvpCalculatorForm();
    RegisterUnit(&kNumericUnit, "rs_num", FinalizeNumericUnit);
  }
  return g_calculator;
}

void TNumericVision::PressCalculatorKey(int code) {
  static_cast<TvpCalculatorForm*>(Calculator())->Press(code);
}

void FreeNumericDefaults() { FinalizeUnit(&kNumericUnit); }
