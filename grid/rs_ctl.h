// The month calendar the date visions drop down: a header with month
// navigation, six weeks of days, and optional "Today" and "Clear" buttons.
//
// The header (navigation buttons, month and year labels) is painted by the
// control itself rather than made of child windows; its parts answer the
// mouse through HeaderPart. The client area lies inside the frame of
// BorderStyle; every coordinate below is a client coordinate.
#pragma once

#include <array>
#include <functional>

#include "grid/rs_edit.h"
#include "grid/rs_rtm.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/ui/customctrl.h"
#include "toolkit/ui/menus.h"
#include "toolkit/ui/stdctrls.h"

class TProdiCalendar;

// The year a calendar shows, published for the shared year editor, which
// edits it through the object data set. One object serves every calendar of
// the process (YearNavigator), attached to the calendar being edited.
class TvpYearNaviObj : public TPersistent {
  KIV7_PERSISTENT(TvpYearNaviObj)

 public:
  // The calendar served; nullptr when idle.
  TProdiCalendar* Calendar() const { return calendar_; }
  void SetCalendar(TProdiCalendar* value) { calendar_ = value; }
  // The calendar's year (0 without one). Setting a different year sets the
  // calendar's and raises its OnChange; 29 February moved into a common year
  // becomes 28 February. A year outside 1 to 9999 raises EConvertError and
  // changes nothing.
  int Year() const;
  void SetYear(int value);
  // The spin button: +1 for the upper part, -1 for the lower. A step past
  // year 1 or 9999 changes nothing.
  void Spin(bool upper);

 private:
  TProdiCalendar* calendar_ = nullptr;
};

// The navigation object shared by all calendars.
TvpYearNaviObj& YearNavigator();

class TObjDataSet;

// The small spin editor a press on a calendar's year label puts over the
// label. One serves every calendar: it edits the navigation object's Year
// through its own object data set, with a read-only text whose spin button
// (or Up and Down) steps the year. It goes away when the focus moves to
// another control.
class TvpYearEditor : public TDBProdiEdit {
 public:
  explicit TvpYearEditor(TComponent* owner);
  ~TvpYearEditor() override;

  // Serves calendar: attaches the navigator, places the editor over the year
  // label and focuses it.
  void Attach(TProdiCalendar* calendar);
  // Lets go of the calendar: the navigator idle, the editor hidden and
  // without parent.
  void Detach();
  TProdiCalendar* Calendar() const { return calendar_; }
  TObjDataSet& DataSet() const { return *data_set_; }
  TLiteVision& SpinVision() const { return *spin_vision_; }

 protected:
  void DoExit() override;

 private:
  void SpinClick();

  TObjDataSet* data_set_;
  TDataSource* data_source_;
  TLiteVision* spin_vision_;
  TProdiCalendar* calendar_ = nullptr;
};

// The editor shared by all calendars, made on first use and owned by the
// application; nullptr once freed.
TvpYearEditor* YearEditor();

class TProdiCalendar : public TCustomControl {
  KIV7_PERSISTENT(TProdiCalendar)

 public:
  explicit TProdiCalendar(TComponent* owner);
  ~TProdiCalendar() override;

  // Effective bounds when MinDate / MaxDate are 0: 1 January of year 1 and
  // 31 December 9999.
  static constexpr int kNoMinDate = -693593;
  static constexpr int kNoMaxDate = 2958465;
  // The navigation timer's id and period while a month button is held.
  static constexpr unsigned kNavTimer = 1;
  static constexpr unsigned kNavPeriodMs = 30;
  // Whether a held month button repeats at tick n (0 at the first tick):
  // every third tick from about 0.75 s, every second from 4 s, each after 6 s.
  static bool NavRepeatDue(int n);

  TvpBorderStyle BorderStyle() const { return border_style_; }
  void SetBorderStyle(TvpBorderStyle value);
  // The selected day (time part dropped).
  TDateTime Date() const { return date_; }
  void SetDate(TDateTime value);
  bool NullDate() const { return null_date_; }
  void SetNullDate(bool value);
  TDateTime MinDate() const { return min_date_; }
  void SetMinDate(TDateTime value);
  TDateTime MaxDate() const { return max_date_; }
  void SetMaxDate(TDateTime value);
  int EffectiveMinDate() const;
  int EffectiveMaxDate() const;
  bool ShowTodayButton() const { return today_button_ != nullptr; }
  void SetShowTodayButton(bool value);
  bool ShowClearButton() const { return clear_button_ != nullptr; }
  void SetShowClearButton(bool value);
  bool ShowYearNavigator() const { return show_year_navigator_; }
  void SetShowYearNavigator(bool value);
  bool DisableClearButton() const { return disable_clear_button_; }
  void SetDisableClearButton(bool value);

  // Parts of Date; setting one keeps the other two and raises EConvertError
  // (Date unchanged) for an impossible date.
  int Year() const;
  int Month() const;
  int Day() const;
  void SetYear(int value);
  void SetMonth(int value);
  void SetDay(int value);

  // After every change made by the user; OnPickup follows it when a day,
  // Today or Clear was picked.
  TNotifyEvent OnChange;
  TNotifyEvent OnPickup;

  // ---- Layout (client coordinates) -------------------------------------------
  int ButtonHeight() const { return button_height_; }
  int ButtonWidth() const { return button_width_; }
  int CellWidth() const { return cell_width_; }
  int CellHeight() const { return cell_height_; }
  // The client size the days and buttons need, without the header.
  int NeededWidth() const { return needed_width_; }
  int NeededHeight() const { return needed_height_; }
  int HeaderHeight() const { return label_height_ + 10; }
  // The frame's width on each side.
  int BorderInset() const;
  // Scales the button metrics by numerator / denominator.
  void ChangeScale(int numerator, int denominator);

  enum THeaderPart { hpNone, hpPrevMonth, hpNextMonth, hpMonthLabel, hpYearLabel };
  TRect HeaderPartRect(THeaderPart part) const;
  THeaderPart HeaderPart(int x, int y) const;
  bool PrevMonthEnabled() const { return prev_enabled_; }
  bool NextMonthEnabled() const { return next_enabled_; }
  // The rectangle of day cell (column, row) and the date a point lies on
  // (false outside the grid).
  TRect CellRect(int column, int row) const;
  bool DateAt(int x, int y, TDateTime& date) const;
  // The 42 shown days and the weekday header texts (1251).
  TDateTime CellDate(int index) const { return cells_.at(size_t(index)); }
  const AnsiString& WeekdayText(int column) const { return weekday_texts_.at(size_t(column)); }
  TPopupMenu& MonthMenu() { return *month_menu_; }
  TButton* TodayButton() const { return today_button_; }
  TButton* ClearButton() const { return clear_button_; }

  // Draws the client area (header, weekdays and days) on canvas at its origin.
  void PaintTo(TCanvas& canvas);

  void SetBounds(int left, int top, int width, int height) override;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void KeyDown(uint16_t& key, TShiftState shift) override;
  void WMTimer(unsigned id) override;
  void FontChanged() override;

 private:
  friend class TvpYearNaviObj;
  void UpdateMetrics();
  void PlaceButtons();
  // Creates or frees a Today or Clear button.
  void ShowButton(TButton*& button, bool value, int caption, std::function<void()> click);
  void RebuildView();
  void DoChange();
  void DoPickup();
  // Sets Date to value kept within the bounds; backward moves check the
  // minimum first, forward ones the maximum.
  void MoveTo(TDateTime value, bool forward);
  void MoveMonths(int months);
  void DrawDay(TCanvas& canvas, int index);
  void TodayClick();
  void ClearClick();

  TvpBorderStyle border_style_ = bs3D;
  TDateTime date_ = 0;
  bool null_date_ = false;
  TDateTime min_date_ = 0;
  TDateTime max_date_ = 0;
  bool show_year_navigator_ = true;
  bool disable_clear_button_ = false;
  TButton* today_button_ = nullptr;
  TButton* clear_button_ = nullptr;
  TPopupMenu* month_menu_ = nullptr;

  int button_height_ = 19;
  int button_width_ = 14;
  int cell_width_ = 0;
  int cell_height_ = 0;
  int needed_width_ = 0;
  int needed_height_ = 0;
  int label_height_ = 0;
  int year_label_width_ = 0;

  std::array<TDateTime, 42> cells_{};
  TDateTime first_day_ = 0;
  TDateTime last_day_ = 0;
  std::array<AnsiString, 7> weekday_texts_;
  bool prev_enabled_ = true;
  bool next_enabled_ = true;

  // Mouse tracking over the days, and the held month button.
  TDateTime saved_date_ = 0;
  bool tracking_ = false;
  THeaderPart nav_pressed_ = hpNone;
  bool nav_over_ = false;
  int nav_ticks_ = 0;
};
