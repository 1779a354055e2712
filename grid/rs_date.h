// The date and time visions: a date-time field shown through a display
// format, typed text taken as a date or a time within optional bounds, and
// posted so that the part the vision does not edit keeps the field's stored
// value. The date vision drops the month calendar down; the time vision
// steps hours, minutes or seconds with its spin button.
//
// TDateTime counts days from 30 December 1899; before it the whole days are
// negative while the time of day still adds its fraction away from zero
// (-1.25 is 29 December 1899, 06:00). Joining a date with a time keeps to
// that rule in both visions.
#pragma once

#include <functional>

#include "grid/rs_toolform.h"

class TProdiCalendar;

enum TvpDisplayFormatKind { dfkDefault, dfkShort, dfkLong, dfkCustom };
const TTypeInfo& TvpDisplayFormatKindType();

enum TvpCalendarButton { clbToday, clbClear, clbNoYearNavigator };
using TvpCalendarButtons = TSet<TvpCalendarButton>;
const TTypeInfo& TvpCalendarButtonsType();

enum TvpTimeEditFormatKind { tefDefault, tefHhMmSs, tefHhMm, tefHh };
const TTypeInfo& TvpTimeEditFormatKindType();

// Sender, Fields, var Value, var IsNull: the value of a consumer without a field.
using TfvGetDateValueEvent =
    std::function<void(TvpFieldVision* Sender, TgpFieldList& Fields, TDateTime& Value, bool& IsNull)>;

// days (their sign tells the side of the base date) joined with the time of
// day time (its fraction is taken whole, without sign).
TDateTime JoinDateAndTime(double days, double time);

class TDateTimeVision : public TToolFormVision {
  KIV7_PERSISTENT(TDateTimeVision)

 public:
  explicit TDateTimeVision(TComponent* owner);

  // Setting a format makes the kind dfkCustom; changes make consumers repaint.
  const AnsiString& DisplayFormat() const { return display_format_; }
  void SetDisplayFormat(const AnsiString& value);
  TvpDisplayFormatKind DisplayFormatKind() const { return display_format_kind_; }
  void SetDisplayFormatKind(TvpDisplayFormatKind value);
  // An empty text posts a null (True) or is refused (False).
  bool Nullable() const { return nullable_; }
  void SetNullable(bool value) { nullable_ = value; }

  TfvGetDateValueEvent OnGetValue;

  // Active := a field name and (no first field or a date-time one), or a
  // first field that is a time stamp.
  void CanShow(TgpFieldList& Fields, bool& Active) override;
  // The edit's value: a date-time copied from the field (or OnGetValue).
  void LoadEditValue(IvpVisionEdit& Edit) override;

 protected:
  // Bounds (0: none), kept ordered one day apart.
  TDateTime LowBound() const { return low_bound_; }
  TDateTime HighBound() const { return high_bound_; }
  void SetLowBound(TDateTime value);
  void SetHighBound(TDateTime value);
  // The display format in force: the consumer's, else by the kind.
  AnsiString DisplayFormatOf(TgpFieldList& Fields, const AnsiString& short_format, const AnsiString& long_format) const;
  // The first field's value, or OnGetValue's without a field (null without a handler).
  TDateTime FieldsValue(TgpFieldList& Fields, bool& IsNull);
  // The text typed as a date-time: blank is null when Nullable, else refused.
  TDateTime ParseText(const AnsiString& Text, bool& IsNull) const;

 private:
  AnsiString display_format_;
  TvpDisplayFormatKind display_format_kind_ = dfkDefault;
  bool nullable_ = true;
  TDateTime low_bound_ = 0;
  TDateTime high_bound_ = 0;
};

class TDateVision : public TDateTimeVision {
  KIV7_PERSISTENT(TDateVision)

 public:
  explicit TDateVision(TComponent* owner);

  // The date part of the value set; 0: no bound.
  TDateTime MinDate() const { return LowBound(); }
  void SetMinDate(TDateTime value);
  TDateTime MaxDate() const { return HighBound(); }
  void SetMaxDate(TDateTime value);
  TvpCalendarButtons Buttons() const { return buttons_; }
  void SetButtons(TvpCalendarButtons value) { buttons_ = value; }
  // Posting keeps the time of day stored in the field.
  bool SaveTime() const { return save_time_; }
  void SetSaveTime(bool value) { save_time_ = value; }

  void GetText(TgpFieldList& Fields, bool DisplayText, AnsiString& Text) override;
  // Blank (when Nullable) is null; a date before MinDate or after MaxDate
  // raises ERSError naming the text and the bound.
  void TextToValue(IvpVisionEdit& Edit, TvpUniValue& Value, bool& Skip) override;
  bool PostValue(TgpFieldList& Fields, const TvpUniValue& Value) override;
  TVisionToolForm* GetDefaultDropDown() override;

  // The calendar drop-down every date vision shares, made on first use.
  static TVisionToolForm* CalendarForm();
  // Its calendar.
  static TProdiCalendar& Calendar();

 private:
  TvpCalendarButtons buttons_{clbToday, clbClear};
  bool save_time_ = true;
};

class TTimeVision : public TDateTimeVision {
  KIV7_PERSISTENT(TTimeVision)

 public:
  explicit TTimeVision(TComponent* owner);

  TvpTimeEditFormatKind EditFormatKind() const { return edit_format_kind_; }
  void SetEditFormatKind(TvpTimeEditFormatKind value) { edit_format_kind_ = value; }
  // The time part of the value set; 0: no bound.
  TDateTime MinTime() const { return LowBound(); }
  void SetMinTime(TDateTime value);
  TDateTime MaxTime() const { return HighBound(); }
  void SetMaxTime(TDateTime value);
  // Posting keeps the date stored in the field.
  bool SaveDate() const { return save_date_; }
  void SetSaveDate(bool value) { save_date_ = value; }

  // The edit format of EditFormatKind ("" for tefDefault).
  AnsiString EditFormat() const;
  // Only a null value gives an empty text; midnight is a time like any other.
  void GetText(TgpFieldList& Fields, bool DisplayText, AnsiString& Text) override;
  void GetEditMask(TgpFieldList& Fields, AnsiString& Mask) override;
  void TextToValue(IvpVisionEdit& Edit, TvpUniValue& Value, bool& Skip) override;
  bool PostValue(TgpFieldList& Fields, const TvpUniValue& Value) override;
  // OnButtonClick, then with a spin button one step of the part under the caret.
  void ButtonClick(IvpVisionEdit& Edit) override;

  // One spin step of the time x (in seconds of the day) for caret position
  // caret; False when x stays. Part gets 0, 1 or 2 (hours, minutes, seconds).
  bool StepTime(int& x, int caret, bool up, int& part) const;

 private:
  TvpTimeEditFormatKind edit_format_kind_ = tefHhMm;
  bool save_date_ = true;
};

// Frees the shared calendar drop-down (at shut-down).
void FreeDateDefaults();
