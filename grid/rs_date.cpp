#include "grid/rs_date.h"

#include <utility>
#include <algorithm>
#include <cmath>

#include "toolkit/core/units.h"
#include "grid/rs_ctl.h"
#include "grid/rs_edit.h"
#include "grid/rs_str.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/ui/comctrls.h"
#include "toolkit/ui/forms.h"

// ---- Published types ---------------------------------------------------------------------

namespace {

constexpr int kSecondsPerDay = 24 * 60 * 60;

// The whole days of a date-time, toward zero (the date before the base date is negative).
double DaysOf(TDateTime value) { return std::trunc(value); }
// The time of day of a date-time, whatever the sign of its days.
double TimeOf(TDateTime value) { return std::fabs(value - std::trunc(value)); }

// A masked edit shows its literals over an empty value.
bool BlankText(const AnsiString& text) {
  for (char c : text)
    if (c != ' ' && c != FormatSettings().TimeSeparator && c != FormatSettings().DateSeparator) return false;
  return true;
}

// An hours-only edit gives the hour alone, which the conversion reads as no time.
AnsiString WholeTimeText(const AnsiString& text, TvpTimeEditFormatKind kind) {
  if (BlankText(text) || kind != tefHh) return text;
  return text + AnsiString(1, FormatSettings().TimeSeparator) + "00";
}

template <class V>
void PublishDateTimeVision(TPublisher<V>& p) {
  p.Ordinal("Alignment", TvpDefAlignmentType(), &V::Alignment, &V::SetAlignment).WithDefault(talDefault);
  PublishVisionImages(p);
  p.Boolean("EnableButton", &V::EnableButton, &V::SetEnableButton).WithDefault(true);
  p.Boolean("ComboBoxStyle", &V::ComboBoxStyle, &V::SetComboBoxStyle).WithDefault(false);
  p.String("EditMask", &V::EditMask, &V::SetEditMask);
  p.Object("DropDown", TVisionToolForm::StaticClassInfo(), &V::DropDown,
           [](V& o, TPersistent* v) { o.SetDropDown(dynamic_cast<TVisionToolForm*>(v)); });
  p.Boolean("EnableDropDown", &V::EnableDropDown, &V::SetEnableDropDown).WithDefault(true);
  p.String("DisplayFormat", &V::DisplayFormat, &V::SetDisplayFormat);
  p.Ordinal("DisplayFormatKind", TvpDisplayFormatKindType(), &V::DisplayFormatKind, &V::SetDisplayFormatKind)
      .WithDefault(dfkDefault);
  p.Boolean("Nullable", &V::Nullable, &V::SetNullable).WithDefault(true);
  PublishVisionEvents(p, "*");
  PublishEvents(p, "TfvGetDateValueEvent OnGetValue");
}

}  // namespace

const TTypeInfo& TvpDisplayFormatKindType() {
  static const TTypeInfo t =
      TTypeInfo::Enumeration("TvpDisplayFormatKind", {"dfkDefault", "dfkShort", "dfkLong", "dfkCustom"});
  return t;
}

const TTypeInfo& TvpCalendarButtonsType() {
  static const TTypeInfo button =
      TTypeInfo::Enumeration("TvpCalendarButton", {"clbToday", "clbClear", "clbNoYearNavigator"});
  static const TTypeInfo t = TTypeInfo::SetOf("TvpCalendarButtons", button);
  return t;
}

const TTypeInfo& TvpTimeEditFormatKindType() {
  static const TTypeInfo t =
      TTypeInfo::Enumeration("TvpTimeEditFormatKind", {"tefDefault", "tefHhMmSs", "tefHhMm", "tefHh"});
  return t;
}

TDateTime JoinDateAndTime(double days, double time) {
  const double t = TimeOf(time);
  return days < 0 ? days - t : days + t;
}

const TClassInfo& TDateTimeVision::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TDateTimeVision>, "TDateTimeVision", &TToolFormVision::StaticClassInfo(),
                               [](TPublisher<TDateTimeVision>& p) { PublishDateTimeVision(p); });
  return info;
}

const TClassInfo& TDateVision::StaticClassInfo() {
  static const TClassInfo info(
      kClassOf<TDateVision>, "TDateVision", &TDateTimeVision::StaticClassInfo(), [](TPublisher<TDateVision>& p) {
        using V = TDateVision;
        PublishDateTimeVision(p);
        p.Ordinal("DropDownOptions", TfvDropDownOptionsType(), &V::DropDownOptions, &V::SetDropDownOptions)
            .WithDefault(0);
        p.Float("MinDate", &V::MinDate, &V::SetMinDate).StoredWhen([](const TPersistent& o) {
          return static_cast<const V&>(o).MinDate() != 0;
        });
        p.Float("MaxDate", &V::MaxDate, &V::SetMaxDate).StoredWhen([](const TPersistent& o) {
          return static_cast<const V&>(o).MaxDate() != 0;
        });
        p.Ordinal("Buttons", TvpCalendarButtonsType(), &V::Buttons, &V::SetButtons)
            .WithDefault(int64_t(TvpCalendarButtons{clbToday, clbClear}.Bits()));
        p.Boolean("SaveTime", &V::SaveTime, &V::SetSaveTime).WithDefault(true);
      });
  return info;
}

const TClassInfo& TTimeVision::StaticClassInfo() {
  static const TClassInfo info(
      kClassOf<TTimeVision>, "TTimeVision", &TDateTimeVision::StaticClassInfo(), [](TPublisher<TTimeVision>& p) {
        using V = TTimeVision;
        PublishDateTimeVision(p);
        p.Ordinal("ButtonStyle", TvpButtonStyleType(), &V::ButtonStyle, &V::SetButtonStyle).WithDefault(pbsSpin);
        p.Ordinal("EditFormatKind", TvpTimeEditFormatKindType(), &V::EditFormatKind, &V::SetEditFormatKind)
            .WithDefault(tefHhMm);
        p.Float("MinTime", &V::MinTime, &V::SetMinTime).StoredWhen([](const TPersistent& o) {
          return static_cast<const V&>(o).MinTime() != 0;
        });
        p.Float("MaxTime", &V::MaxTime, &V::SetMaxTime).StoredWhen([](const TPersistent& o) {
          return static_cast<const V&>(o).MaxTime() != 0;
        });
        p.Boolean("SaveDate", &V::SaveDate, &V::SetSaveDate).WithDefault(true);
      });
  return info;
}

// ---- TDateTimeVision ---------------------------------------------------------------------

TDateTimeVision::TDateTimeVision(TComponent* owner) : TToolFormVision(owner) { SetEnableButton(true); }

void TDateTimeVision::SetDisplayFormat(const AnsiString& value) {
  display_format_kind_ = dfkCustom;
  if (display_format_ == value) return;
  display_format_ = value;
  NotifyView();
}

void TDateTimeVision::SetDisplayFormatKind(TvpDisplayFormatKind value) {
  if (display_format_kind_ == value) return;
  display_format_kind_ = value;
  NotifyView();
}

void TDateTimeVision::SetLowBound(TDateTime value) {
  if (value != 0 && high_bound_ != 0 && value > high_bound_) high_bound_ = value + 1;
  low_bound_ = value;
}

void TDateTimeVision::SetHighBound(TDateTime value) {
  if (value != 0 && low_bound_ != 0 && value < low_bound_) low_bound_ = value - 1;
  high_bound_ = value;
}

AnsiString TDateTimeVision::DisplayFormatOf(TgpFieldList& Fields, const AnsiString& short_format,
                                            const AnsiString& long_format) const {
  if (!Fields.DisplayFormat().empty()) return Fields.DisplayFormat();
  switch (display_format_kind_) {
    case dfkShort: return short_format;
    case dfkLong: return long_format;
    case dfkCustom: return display_format_;
    default: return AnsiString();
  }
}

TDateTime TDateTimeVision::FieldsValue(TgpFieldList& Fields, bool& IsNull) {
  if (TField* field = Fields.Field()) {
    IsNull = field->HoldsNull();
    return IsNull ? 0 : field->GetDateTimeValue();
  }
  TDateTime value = 0;
  IsNull = !OnGetValue;
  if (OnGetValue) OnGetValue(this, Fields, value, IsNull);
  return value;
}

TDateTime TDateTimeVision::ParseText(const AnsiString& Text, bool& IsNull) const {
  IsNull = false;
  if (BlankText(Text)) {
    if (!nullable_) rsError(SBlankDate);
    IsNull = true;
    return 0;
  }
  return StrToDateTime(Text);
}

void TDateTimeVision::CanShow(TgpFieldList& Fields, bool& Active) {
  TField* field = Fields.Field();
  Active = (!Fields.FieldName().empty() && (!field || dynamic_cast<TDateTimeField*>(field) != nullptr)) ||
           dynamic_cast<TSQLTimeStampField*>(field) != nullptr;
}

void TDateTimeVision::LoadEditValue(IvpVisionEdit& Edit) {
  TfvCurrentValue& value = Edit.CurrentValue();
  value.Clear();
  value.SetDataType(ftDateTime);
  if (TField* field = Edit.EditFields().Field()) {
    value.Assign(field);
  } else {
    bool is_null = false;
    const TDateTime v = FieldsValue(Edit.EditFields(), is_null);
    if (!is_null) value.SetAsDateTime(v);
  }
  value.Changed = false;
  value.TextModified = false;
}

// ---- TDateVision -------------------------------------------------------------------------

TDateVision::TDateVision(TComponent* owner) : TDateTimeVision(owner) {}

void TDateVision::SetMinDate(TDateTime value) { SetLowBound(DaysOf(value)); }
void TDateVision::SetMaxDate(TDateTime value) { SetHighBound(DaysOf(value)); }

void TDateVision::GetText(TgpFieldList& Fields, bool DisplayText, AnsiString& Text) {
  const TFormatSettings& fs = FormatSettings();
  AnsiString format = DisplayText ? DisplayFormatOf(Fields, fs.ShortDateFormat, fs.LongDateFormat) : AnsiString();
  TField* field = Fields.Field();
  bool is_null = false;
  const TDateTime value = FieldsValue(Fields, is_null);
  Text.clear();
  if (!field) {
    if (format.empty()) format = fs.ShortDateFormat;
    if (!is_null) Text = FormatDateTime(format, value);
  } else if (!format.empty()) {
    if (!is_null && value != 0) Text = FormatDateTime(format, value);
  } else if (DisplayText) {
    Text = field->FormatForDisplay(true);
  } else if (!is_null) {
    Text = FormatDateTime("c", DaysOf(value));
  }
}

void TDateVision::TextToValue(IvpVisionEdit& Edit, TvpUniValue& Value, bool&) {
  const AnsiString text = Edit.EditText();
  bool is_null = false;
  const TDateTime value = ParseText(text, is_null);
  if (is_null) {
    Value.Clear();
    return;
  }
  if (MinDate() != 0 && MinDate() > DaysOf(value)) rsErrorFmt(SOutOfRangeMin, {text, DateToStr(MinDate())});
  if (MaxDate() != 0 && MaxDate() < DaysOf(value)) rsErrorFmt(SOutOfRangeMax, {text, DateToStr(MaxDate())});
  Value.SetAsDateTime(value);
}

bool TDateVision::PostValue(TgpFieldList& Fields, const TvpUniValue& Value) {
  TField* field = Fields.Field();
  if (!field) return false;
  if (Value.IsNull()) {
    field->ClearValue();
    return true;
  }
  const double days = DaysOf(Value.AsDateTime());
  const double time = save_time_ && !field->HoldsNull() ? field->GetDateTimeValue() : 0;
  field->SetDateTimeValue(JoinDateAndTime(days, time));
  return true;
}

// ---- The calendar drop-down --------------------------------------------------------------

namespace {

class TvpCalendarForm : public TVisionToolForm {
 public:
  // Owned by the application, so that it goes before the windowing does.
  TvpCalendarForm() : TVisionToolForm(Application) {
    SetOptions(TvtfOptions{tfoFocusable, tfoFixedWidth, tfoFixedHeight});
    calendar_ = new TProdiCalendar(this);
    calendar_->SetParent(this);
    SetActiveControl(calendar_);
    calendar_->OnChange = [this](TComponent*) {
      if (!listening_) return;
      SetChanged(true);
      PutIntoEdit();
    };
    calendar_->OnPickup = [this](TComponent*) {
      if (listening_) Close(true, calendar_->NullDate());
    };
    OnShow = [this](TComponent*) { Opened(); };
    OnPostChanges = [this](TComponent*) { PutIntoEdit(); };
    OnClose = [this](TComponent*) { listening_ = false; };
    OnActivate = [this](TComponent*) { calendar_->SetFocus(); };
    SetBounds(0, 0, calendar_->Width(), calendar_->Height());
  }
  ~TvpCalendarForm() override;

  TProdiCalendar& Calendar() { return *calendar_; }

 private:
  void Opened() {
    listening_ = false;
    TDBProdiEdit* edit = Edit();
    auto* vision = dynamic_cast<TDateVision*>(edit ? edit->EffectiveVision() : nullptr);
    if (vision) {
      const TvpCalendarButtons b = vision->Buttons();
      calendar_->SetShowTodayButton(b.Contains(clbToday));
      calendar_->SetShowClearButton(b.Contains(clbClear));
      calendar_->SetShowYearNavigator(!b.Contains(clbNoYearNavigator));
      calendar_->SetDisableClearButton(!vision->Nullable());
      calendar_->SetMinDate(0);
      calendar_->SetMaxDate(0);
      calendar_->SetMinDate(vision->MinDate());
      calendar_->SetMaxDate(vision->MaxDate());
    }
    if (edit) {
      // The data set enters editing now: its change of state later would
      // reload the edit and close the calendar at the first pick.
      edit->EditFields().StartEdit(false);
      const TfvCurrentValue& value = edit->CurrentValue();
      if (value.IsNull()) {
        calendar_->SetDate(::Date());
        calendar_->SetNullDate(true);
      } else {
        calendar_->SetDate(value.AsDateTime());
      }
    }
    SetBounds(Left(), Top(), calendar_->Width(), calendar_->Height());
    listening_ = true;
  }

  // The calendar's date (or none) becomes the edit's value.
  void PutIntoEdit() {
    TDBProdiEdit* edit = Edit();
    if (!edit) return;
    const bool null = calendar_->NullDate();
    const TDateTime date = calendar_->Date();
    if (!edit->SetValueText(null ? AnsiString() : FormatDateTime("c", date), false)) return;
    TfvCurrentValue& value = edit->CurrentValue();
    if (null)
      value.Clear();
    else
      value.SetAsDateTime(date);
    value.Changed = true;
  }

  TProdiCalendar* calendar_ = nullptr;
  bool listening_ = false;
};

TvpCalendarForm* g_calendar_form = nullptr;

TvpCalendarForm::~TvpCalendarForm() {
  if (g_calendar_form == this) g_calendar_form = nullptr;
}

}  // namespace

namespace {
const char kDateUnit = 0;
void FinalizeDateUnit() {
  if (g_calendar_form) g_calendar_form->Free();
}
}  // namespace

TVisionToolForm* TDateVision::CalendarForm() {
  if (!g_calendar_form) {
    g_calendar_form = new TvpCalendarForm();
    RegisterUnit(&kDateUnit, "rs_date", FinalizeDateUnit);
  }
  return g_calendar_form;
}

TProdiCalendar& TDateVision::Calendar() { return static_cast<TvpCalendarForm*>(CalendarForm())->Calendar(); }

TVisionToolForm* TDateVision::GetDefaultDropDown() { return CalendarForm(); }

void FreeDateDefaults() { FinalizeUnit(&kDateUnit); }

// ---- TTimeVision -------------------------------------------------------------------------

TTimeVision::TTimeVision(TComponent* owner) : TDateTimeVision(owner) { SetButtonStyle(pbsSpin); }

void TTimeVision::SetMinTime(TDateTime value) { SetLowBound(TimeOf(value)); }
void TTimeVision::SetMaxTime(TDateTime value) { SetHighBound(TimeOf(value)); }

AnsiString TTimeVision::EditFormat() const {
  switch (edit_format_kind_) {
    case tefHhMmSs: return "hh:mm:ss";
    case tefHhMm: return "hh:mm";
    case tefHh: return "hh";
    default: return AnsiString();
  }
}

void TTimeVision::GetText(TgpFieldList& Fields, bool DisplayText, AnsiString& Text) {
  const TFormatSettings& fs = FormatSettings();
  AnsiString format = DisplayText ? DisplayFormatOf(Fields, fs.ShortTimeFormat, fs.LongTimeFormat) : EditFormat();
  TField* field = Fields.Field();
  bool is_null = false;
  const TDateTime value = FieldsValue(Fields, is_null);
  Text.clear();
  if (is_null) return;
  if (!field) {
    Text = FormatDateTime(format.empty() ? fs.ShortTimeFormat : format, TimeOf(value));
  } else if (!format.empty()) {
    Text = FormatDateTime(format, TimeOf(value));
  } else if (DisplayText) {
    Text = field->FormatForDisplay(true);
  } else {
    Text = FormatDateTime("tt", TimeOf(value));
  }
}

void TTimeVision::GetEditMask(TgpFieldList& Fields, AnsiString& Mask) {
  switch (edit_format_kind_) {
    case tefHhMmSs: Mask = "!99:99:99;1;0"; break;
    case tefHhMm: Mask = "!99:99;1;0"; break;
    case tefHh: Mask = "!99;1;0"; break;
    default: break;
  }
  TDateTimeVision::GetEditMask(Fields, Mask);
}

void TTimeVision::TextToValue(IvpVisionEdit& Edit, TvpUniValue& Value, bool&) {
  bool is_null = false;
  const TDateTime value = ParseText(WholeTimeText(Edit.EditText(), edit_format_kind_), is_null);
  if (is_null) {
    Value.Clear();
    return;
  }
  const double time = TimeOf(value);
  if (MinTime() != 0 && MinTime() > time) rsErrorFmt(SOutOfRangeMin, {Edit.EditText(), TimeToStr(MinTime())});
  if (MaxTime() != 0 && MaxTime() < time) rsErrorFmt(SOutOfRangeMax, {Edit.EditText(), TimeToStr(MaxTime())});
  Value.SetAsDateTime(value);
}

bool TTimeVision::PostValue(TgpFieldList& Fields, const TvpUniValue& Value) {
  TField* field = Fields.Field();
  if (!field) return false;
  if (Value.IsNull()) {
    field->ClearValue();
    return true;
  }
  // The stored date keeps its side of the base date, as the date vision keeps it.
  const double days = save_date_ && !field->HoldsNull() ? DaysOf(field->GetDateTimeValue()) : 0;
  field->SetDateTimeValue(JoinDateAndTime(days, Value.AsDateTime()));
  return true;
}

bool TTimeVision::StepTime(int& x, int caret, bool up, int& part) const {
  part = caret <= 2 ? 0 : caret > 5 ? 2 : 1;
  const int step = part == 0 ? 3600 : part == 1 ? 60 : 1;
  const int low = int(std::lround(MinTime() * kSecondsPerDay));
  const int high = MaxTime() != 0 ? int(std::lround(MaxTime() * kSecondsPerDay)) : kSecondsPerDay - 1;
  const int old = x;
  if (up)
    x = x < low ? low : std::min(x + step, high);
  else
    x = x > high ? high : std::max(x - step, low);
  return x != old;
}

void TTimeVision::ButtonClick(IvpVisionEdit& Edit) {
  TDateTimeVision::ButtonClick(Edit);
  if (ButtonStyle() != pbsSpin || edit_format_kind_ == tefDefault) return;
  bool up = false;
  switch (ButtonClickKind()) {
    case bckClick:
    case bckKeyToggle: up = true; break;
    case bckSpinDown:
    case bckKeySpinDown: break;
    default: return;
  }
  auto* edit = dynamic_cast<TDBProdiEdit*>(&Edit);
  const AnsiString text = WholeTimeText(Edit.EditText(), edit_format_kind_);
  int x = BlankText(text) ? 0 : int(std::lround(TimeOf(StrToTime(text)) * kSecondsPerDay)) % kSecondsPerDay;
  int part = 0;
  if (!StepTime(x, edit ? edit->SelStart() : 0, up, part)) return;
  const AnsiString stepped = FormatDateTime(EditFormat(), double(x) / kSecondsPerDay);
  if (edit) {
    if (!edit->SetValueText(stepped, false)) return;
    edit->SetSelStart(part * 3);
    edit->SetSelLength(2);
    return;
  }
  Edit.SetEditText(stepped);
  Edit.CurrentValue().TextModified = true;
}
