#include "grid/rs_ctl.h"

#include <algorithm>
#include <cmath>

#include "grid/rs_ods.h"
#include "grid/rs_str.h"
#include "toolkit/core/text.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/gfx/drawtext.h"
#include "toolkit/gfx/edges.h"
#include "toolkit/ui/focus.h"
#include "toolkit/ui/forms.h"

namespace {

TvpYearEditor* g_year_editor = nullptr;

int DayNumber(TDateTime value) { return int(std::floor(value)); }

TDateTime FirstOfMonth(TDateTime value) {
  int y, m, d;
  DecodeDate(value, y, m, d);
  return EncodeDate(y, m, 1);
}

}  // namespace

// ---- Year navigation ---------------------------------------------------------------

const TClassInfo& TvpYearNaviObj::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TvpYearNaviObj>, "TvpYearNaviObj", &TPersistent::StaticClassInfo(),
                               [](TPublisher<TvpYearNaviObj>& p) {
                                 p.Integer("Year", &TvpYearNaviObj::Year, &TvpYearNaviObj::SetYear);
                               });
  return info;
}

int TvpYearNaviObj::Year() const { return calendar_ ? calendar_->Year() : 0; }

void TvpYearNaviObj::SetYear(int value) {
  if (!calendar_ || value == calendar_->Year()) return;
  // Spinning the year from 29 February lands on the last day of February of a
  // common year rather than refusing the year the user asked for.
  const int day = std::min(calendar_->Day(), DaysInMonth(value, calendar_->Month()));
  calendar_->SetDate(EncodeDate(value, calendar_->Month(), day));
  calendar_->DoChange();
}

void TvpYearNaviObj::Spin(bool upper) {
  const int year = Year() + (upper ? 1 : -1);
  // The spin stops at the calendar's first and last years instead of
  // raising the date error at every further press.
  if (!calendar_ || year < 1 || year > 9999) return;
  SetYear(year);
}

// Calendars owned by the application outlive the program's statics (the
// application's components go in its destructor at exit), and each asks the
// navigator whether it still points at it: the navigator is never destroyed.
TvpYearNaviObj& YearNavigator() {
  static TvpYearNaviObj* const navigator = new TvpYearNaviObj;
  return *navigator;
}

// ---- Year editor ----------------------------------------------------------------------

TvpYearEditor::TvpYearEditor(TComponent* owner)
    : TDBProdiEdit(owner),
      data_set_(new TObjDataSet(this)),
      data_source_(new TDataSource(this)),
      spin_vision_(new TLiteVision(this)) {
  data_set_->SetUseEditBuffer(false);
  data_set_->SetSource(&YearNavigator());
  data_source_->SetDataSet(data_set_);
  data_set_->Activate();
  spin_vision_->SetButtonStyle(pbsSpin);
  spin_vision_->SetEnableButton(true);
  spin_vision_->SetEditReadOnly(true);
  spin_vision_->OnButtonClick = [this](TvpFieldVision*, TgpFieldList&) { SpinClick(); };
  SetVisible(false);
  SetVision(spin_vision_);
  SetDataSource(data_source_);
  SetDataField("year");
  SetBorderStyle(bsSoft);
  SetColor(clBtnFace);
  SetBounds(0, 0, 46, 20);
}

TvpYearEditor::~TvpYearEditor() {
  if (g_year_editor == this) g_year_editor = nullptr;
  if (calendar_ != nullptr && YearNavigator().Calendar() == calendar_) YearNavigator().SetCalendar(nullptr);
  SetDataSource(nullptr);
  SetVision(nullptr);
}

void TvpYearEditor::Attach(TProdiCalendar* calendar) {
  if (calendar_ != nullptr && calendar_ != calendar) Detach();
  calendar_ = calendar;
  YearNavigator().SetCalendar(calendar);
  if (data_set_->CurrentMode() == dsEdit || data_set_->CurrentMode() == dsInsert) data_set_->DiscardChanges();
  data_set_->Reload();
  const TRect label = calendar->HeaderPartRect(TProdiCalendar::hpYearLabel);
  const int inset = calendar->BorderInset();
  Canvas().Font().Assign(Font());
  const int height = std::max(20, Canvas().TextHeight("9999") + 2 * BorderClientInset(BorderStyle()));
  SetParent(calendar);
  SetBounds(inset + label.Left + 1, inset + (label.Top + label.Bottom - height) / 2,
            label.Right - label.Left - 1, height);
  SetVisible(true);
  SetFocus();
}

void TvpYearEditor::Detach() {
  if (calendar_ != nullptr && YearNavigator().Calendar() == calendar_) YearNavigator().SetCalendar(nullptr);
  calendar_ = nullptr;
  SetVisible(false);
  SetParent(nullptr);
}

void TvpYearEditor::SpinClick() {
  const TfvButtonClickKind kind = spin_vision_->ButtonClickKind();
  YearNavigator().Spin(kind != bckSpinDown && kind != bckKeySpinDown);
  data_set_->Reload();
  SelectAll();
}

void TvpYearEditor::DoExit() {
  TDBProdiEdit::DoExit();
  // Another control of the window took the focus (a press anywhere else on
  // the calendar does): the editor's work is done.
  const TControl* focus = FocusedControl();
  if (calendar_ != nullptr && focus != nullptr && focus != this && focus->ParentForm() == ParentForm()) Detach();
}

TvpYearEditor* YearEditor() {
  // A form deleted outright takes the windows inside it along, the editor's
  // too while it stood on one of its calendars: that editor is replaced.
  if (g_year_editor != nullptr && g_year_editor->Widget() == nullptr) {
    TvpYearEditor* gone = g_year_editor;
    gone->Detach();
    g_year_editor = nullptr;
    gone->Free();
  }
  if (g_year_editor == nullptr) g_year_editor = new TvpYearEditor(Application);
  return g_year_editor;
}

// ---- Calendar ---------------------------------------------------------------------

bool TProdiCalendar::NavRepeatDue(int n) {
  // The thresholds are 650 ms, 4 s and 6 s in 30 ms ticks.
  if (n >= 22 && n <= 133) return n % 3 == 0;
  if (n >= 134 && n <= 200) return n % 2 == 0;
  return n > 200;
}

const TClassInfo& TProdiCalendar::StaticClassInfo() {
  using C = TProdiCalendar;
  static const TClassInfo info(kClassOf<C>, "TProdiCalendar", &TComponent::StaticClassInfo(), [](TPublisher<C>& p) {
    p.Ordinal("Color", TypeInfoTColor(), &C::Color, &C::SetColor).WithDefault(clWindow);
    p.Boolean("Enabled", &C::Enabled, &C::SetEnabled).WithDefault(1);
    p.Boolean("Visible", &C::Visible, &C::SetVisible).WithDefault(1);
    p.Boolean("TabStop", &C::TabStop, &C::SetTabStop).WithDefault(1);
    // A menu is referenced, not owned: written by name.
    p.Object(
        "PopupMenu", TComponent::StaticClassInfo(), [](const C& c) -> TPersistent* { return c.PopupMenu(); },
        [](C& c, TPersistent* v) { c.SetPopupMenu(dynamic_cast<TPopupMenu*>(v)); });
    p.Ordinal("BorderStyle", TvpBorderStyleType(), &C::BorderStyle, &C::SetBorderStyle).WithDefault(bs3D);
    // Today at creation, so always written: a form read on another day keeps its date.
    p.Float("Date", TypeInfoTDate(), &C::Date, &C::SetDate);
    p.Boolean("NullDate", &C::NullDate, &C::SetNullDate).WithDefault(0);
    // 0 is no bound.
    p.Float("MinDate", TypeInfoTDate(), &C::MinDate, &C::SetMinDate).StoredWhen([](const TPersistent& o) {
      return static_cast<const C&>(o).MinDate() != 0;
    });
    p.Float("MaxDate", TypeInfoTDate(), &C::MaxDate, &C::SetMaxDate).StoredWhen([](const TPersistent& o) {
      return static_cast<const C&>(o).MaxDate() != 0;
    });
    p.Boolean("ShowTodayButton", &C::ShowTodayButton, &C::SetShowTodayButton).WithDefault(1);
    p.Boolean("ShowClearButton", &C::ShowClearButton, &C::SetShowClearButton).WithDefault(0);
    p.Boolean("ShowYearNavigator", &C::ShowYearNavigator, &C::SetShowYearNavigator).WithDefault(1);
    p.Boolean("DisableClearButton", &C::DisableClearButton, &C::SetDisableClearButton).WithDefault(0);
    PublishEvents(p, "TNotifyEvent OnChange OnPickup OnEnter OnExit OnClick OnDblClick");
    PublishEvents(p, "TKeyEvent OnKeyDown OnKeyUp");
    PublishEvents(p, "TKeyPressEvent OnKeyPress");
    PublishEvents(p, "TMouseEvent OnMouseDown OnMouseUp");
    PublishEvents(p, "TMouseMoveEvent OnMouseMove");
  });
  return info;
}

TProdiCalendar::TProdiCalendar(TComponent* owner) : TCustomControl(owner) {
  SetColor(clWindow);
  SetTabStop(true);
  date_ = DayNumber(::Date());
  month_menu_ = new TPopupMenu(this);
  for (int m = 1; m <= 12; ++m) {
    auto* item = new TMenuItem(month_menu_);
    item->SetCaption(FormatSettings().LongMonthNames[size_t(m - 1)]);
    item->OnClick = [this, m](TComponent*) {
      MoveMonths(m - Month());
      SetFocus();
      DoChange();
    };
    month_menu_->Items().Add(item);
  }
  SetShowTodayButton(true);
  UpdateMetrics();
  RebuildView();
}

TProdiCalendar::~TProdiCalendar() {
  KillTimer(kNavTimer);
  // The shared editor is not ours to free with our children.
  if (g_year_editor != nullptr && g_year_editor->Calendar() == this) g_year_editor->Detach();
  if (YearNavigator().Calendar() == this) YearNavigator().SetCalendar(nullptr);
}

// ---- Properties ----------------------------------------------------------------

int TProdiCalendar::EffectiveMinDate() const { return min_date_ != 0 ? DayNumber(min_date_) : kNoMinDate; }
int TProdiCalendar::EffectiveMaxDate() const { return max_date_ != 0 ? DayNumber(max_date_) : kNoMaxDate; }

int TProdiCalendar::BorderInset() const { return BorderFrameInset(border_style_); }

void TProdiCalendar::SetBorderStyle(TvpBorderStyle value) {
  if (value == border_style_) return;
  border_style_ = value;
  PlaceButtons();
  SetBounds(Left(), Top(), Width(), Height());
  Invalidate();
}

void TProdiCalendar::SetDate(TDateTime value) {
  const TDateTime day = DayNumber(value);
  if (day == date_ && !null_date_) return;
  date_ = day;
  null_date_ = false;
  RebuildView();
}

void TProdiCalendar::SetNullDate(bool value) {
  if (value == null_date_) return;
  null_date_ = value;
  RebuildView();
}

void TProdiCalendar::SetMinDate(TDateTime value) {
  value = DayNumber(value);
  if (value != 0 && value > EffectiveMaxDate()) max_date_ = value + 1;
  if (value == min_date_) return;
  min_date_ = value;
  RebuildView();
}

void TProdiCalendar::SetMaxDate(TDateTime value) {
  value = DayNumber(value);
  if (value != 0 && value < EffectiveMinDate()) min_date_ = value - 1;
  if (value == max_date_) return;
  max_date_ = value;
  RebuildView();
}

void TProdiCalendar::SetShowTodayButton(bool value) {
  ShowButton(today_button_, value, SToday, [this] { TodayClick(); });
}

void TProdiCalendar::SetShowClearButton(bool value) {
  ShowButton(clear_button_, value, SClear, [this] { ClearClick(); });
}

void TProdiCalendar::ShowButton(TButton*& button, bool value, int caption, std::function<void()> click) {
  if (value == (button != nullptr)) return;
  if (value) {
    button = new TButton(this);
    button->SetCaption(rsLoadStr(caption));
    button->OnClick = [click](TComponent*) { click(); };
    button->SetParent(this);
  } else {
    delete button;
    button = nullptr;
  }
  UpdateMetrics();
  RebuildView();
}

void TProdiCalendar::SetShowYearNavigator(bool value) {
  if (value == show_year_navigator_) return;
  show_year_navigator_ = value;
  RebuildView();
  UpdateMetrics();
}

void TProdiCalendar::SetDisableClearButton(bool value) {
  disable_clear_button_ = value;
  if (clear_button_) clear_button_->SetEnabled(!null_date_ && !disable_clear_button_);
}

int TProdiCalendar::Year() const {
  int y, m, d;
  DecodeDate(date_, y, m, d);
  return y;
}
int TProdiCalendar::Month() const {
  int y, m, d;
  DecodeDate(date_, y, m, d);
  return m;
}
int TProdiCalendar::Day() const {
  int y, m, d;
  DecodeDate(date_, y, m, d);
  return d;
}
void TProdiCalendar::SetYear(int value) { SetDate(EncodeDate(value, Month(), Day())); }
void TProdiCalendar::SetMonth(int value) { SetDate(EncodeDate(Year(), value, Day())); }
void TProdiCalendar::SetDay(int value) { SetDate(EncodeDate(Year(), Month(), value)); }

// ---- Metrics and layout -----------------------------------------------------------

void TProdiCalendar::ChangeScale(int numerator, int denominator) {
  if (numerator <= 0 || denominator <= 0) return;
  button_height_ = MulDiv(button_height_, numerator, denominator);
  button_width_ = MulDiv(button_width_, numerator, denominator);
  UpdateMetrics();
}

void TProdiCalendar::FontChanged() {
  TCustomControl::FontChanged();
  UpdateMetrics();
}

void TProdiCalendar::UpdateMetrics() {
  const int first_day = FirstDayOfWeek();
  for (int i = 0; i < 7; ++i) {
    const int weekday = (i + first_day - 1) % 7;  // 0 = Sunday
    const AnsiString& name = FormatSettings().LongDayNames[size_t(weekday)];
    weekday_texts_[size_t(i)] = name.empty() ? AnsiString() : AnsiUpperCase(name.substr(0, 1));
  }
  TCanvas& canvas = Canvas();
  canvas.Font().Assign(Font());
  canvas.Font().SetStyle(Font().Style() + TFontStyles{fsBold});
  cell_width_ = canvas.TextWidth("99");
  cell_height_ = canvas.TextHeight("99");
  for (const AnsiString& text : weekday_texts_) {
    cell_width_ = std::max(cell_width_, canvas.TextWidth(text));
    cell_height_ = std::max(cell_height_, canvas.TextHeight(text));
  }
  for (const AnsiString& name : FormatSettings().LongMonthNames)
    cell_height_ = std::max(cell_height_, canvas.TextHeight(name));
  year_label_width_ = canvas.TextWidth("99999999");
  canvas.Font().Assign(Font());
  needed_width_ = cell_width_ * 7 + 42;
  needed_height_ = cell_height_ * 7 + 14 + 2;
  if (today_button_ || clear_button_) needed_height_ += button_height_ + 3;
  label_height_ = cell_height_ % 2 == 0 ? cell_height_ - 1 : cell_height_;
  SetBounds(Left(), Top(), Width(), Height());
}

void TProdiCalendar::SetBounds(int left, int top, int, int) {
  const int frame = 2 * BorderInset();
  TCustomControl::SetBounds(left, top, needed_width_ + frame, needed_height_ + HeaderHeight() + frame);
  PlaceButtons();
}

void TProdiCalendar::PlaceButtons() {
  const int inset = BorderInset();
  const int client_width = needed_width_;
  const int client_height = needed_height_ + HeaderHeight();
  const int margin = inset / 2 + 6;
  const int width = (client_width - margin - 12) / 2;
  const int top = client_height - 3 - button_height_;
  if (today_button_) today_button_->SetBounds(inset + margin, inset + top, width, button_height_);
  if (clear_button_)
    clear_button_->SetBounds(inset + client_width - margin - width, inset + top, width, button_height_);
}

TRect TProdiCalendar::HeaderPartRect(THeaderPart part) const {
  const int panel_width = needed_width_;
  const int panel_height = HeaderHeight();
  const int label_top = (panel_height - label_height_) / 2;
  const int year_left = panel_width - 2 - year_label_width_;
  const int next_left = year_left - button_width_;
  switch (part) {
    case hpPrevMonth: return Bounds(2, 2, button_width_, panel_height - 4);
    case hpNextMonth: return Bounds(next_left, 2, button_width_, panel_height - 4);
    case hpMonthLabel: return Rect(button_width_ + 2, label_top, next_left, label_top + label_height_);
    case hpYearLabel: return Bounds(year_left, label_top, year_label_width_, label_height_);
    case hpNone: break;
  }
  return TRect{};
}

TProdiCalendar::THeaderPart TProdiCalendar::HeaderPart(int x, int y) const {
  for (THeaderPart part : {hpPrevMonth, hpNextMonth, hpMonthLabel, hpYearLabel}) {
    const TRect r = HeaderPartRect(part);
    if (x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom) return part;
  }
  return hpNone;
}

TRect TProdiCalendar::CellRect(int column, int row) const {
  const int left = 6 + column * (cell_width_ + 5);
  const int top = HeaderHeight() + cell_height_ + 5 + row * (cell_height_ + 1);
  return Bounds(left, top, cell_width_, cell_height_);
}

bool TProdiCalendar::DateAt(int x, int y, TDateTime& date) const {
  // Floor division: a point left of or above the grid is no cell, not cell 0.
  if (x < 6) return false;
  const int column = (x - 6) / (cell_width_ + 5);
  if (column > 6) return false;
  const int dy = y - (HeaderHeight() + cell_height_ + 5);
  if (dy <= 0) return false;
  const int row = dy / (cell_height_ + 1);
  if (row > 5) return false;
  date = cells_[size_t(row * 7 + column)];
  return true;
}

// ---- View ---------------------------------------------------------------------------

void TProdiCalendar::RebuildView() {
  const TDateTime first = FirstOfMonth(date_);
  const TDateTime min_first = FirstOfMonth(EffectiveMinDate());
  const TDateTime max_first = FirstOfMonth(EffectiveMaxDate());
  prev_enabled_ = min_first < first;
  next_enabled_ = max_first > first;
  const int year = Year(), month = Month();
  for (int m = 1; m <= 12; ++m) {
    const TDateTime item_first = EncodeDate(year, m, 1);
    month_menu_->Items().Items(m - 1)->SetEnabled(m != month && item_first >= min_first &&
                                                   item_first <= max_first);
  }
  first_day_ = first;
  last_day_ = first + DaysInMonth(year, month) - 1;
  const int lead = ((DayOfWeek(first) - FirstDayOfWeek()) % 7 + 7) % 7;
  // Year 1 starts on a Monday, so the leading days never pass the least date.
  for (int i = 0; i < 42; ++i) cells_[size_t(i)] = first - lead + i;
  const int today = DayNumber(::Date());
  if (today_button_) today_button_->SetEnabled(today >= EffectiveMinDate() && today <= EffectiveMaxDate());
  if (clear_button_) clear_button_->SetEnabled(!null_date_ && !disable_clear_button_);
  Invalidate();
}

void TProdiCalendar::Paint() {
  const int inset = BorderInset();
  TBitmap bitmap;
  bitmap.SetSize(needed_width_, needed_height_ + HeaderHeight());
  PaintTo(bitmap.Canvas());
  TCanvas& canvas = Canvas();
  canvas.Draw(inset, inset, bitmap);
  TRect frame = Rect(0, 0, Width(), Height());
  switch (border_style_) {
    case bsNoBorder: break;
    case bs3D: DrawEdge(canvas, frame, EDGE_SUNKEN, BF_RECT); break;
    case bsSoft: DrawEdge(canvas, frame, BDR_SUNKENOUTER, BF_RECT); break;
    case bsSoftExt: DrawEdge(canvas, frame, EDGE_SUNKEN, BF_RECT | BF_SOFT); break;
    case bsFlat: Frame3D(canvas, frame, clBtnShadow, clBtnShadow, 1); break;
    case bsFlatExt: Frame3D(canvas, frame, clBtnShadow, clBtnHighlight, 1), Frame3D(canvas, frame, clBtnShadow, clBtnShadow, 1); break;
    case bsMono: Frame3D(canvas, frame, clWindowFrame, clWindowFrame, 1); break;
    case bsMonoExt: Frame3D(canvas, frame, clWindowFrame, clWindowFrame, 1), Frame3D(canvas, frame, clWindow, clWindow, 1); break;
  }
}

void TProdiCalendar::PaintTo(TCanvas& canvas) {
  const int width = needed_width_;
  const int header = HeaderHeight();
  canvas.Brush().SetStyle(bsSolid);
  canvas.Brush().SetColor(Color());
  canvas.FillRect(Rect(0, 0, width, needed_height_ + header));

  // Header panel with its raised outer bevel, the month buttons and labels.
  TRect panel = Rect(0, 0, width, header);
  canvas.Brush().SetColor(clBtnFace);
  canvas.FillRect(panel);
  DrawEdge(canvas, panel, BDR_RAISEDOUTER, BF_RECT);
  for (THeaderPart part : {hpPrevMonth, hpNextMonth}) {
    const bool enabled = part == hpPrevMonth ? prev_enabled_ : next_enabled_;
    const bool pressed = nav_pressed_ == part && nav_over_;
    TRect r = HeaderPartRect(part);
    if (pressed) DrawEdge(canvas, r, BDR_SUNKENOUTER, BF_RECT);
    const TRect glyph = Rect(r.Left + 2, r.Top + 2, r.Right - 2, r.Bottom - 2);
    const int cx = (glyph.Left + glyph.Right) / 2 + (pressed ? 1 : 0);
    const int cy = (glyph.Top + glyph.Bottom) / 2 + (pressed ? 1 : 0);
    const TColor color = enabled ? clBlack : clGrayText;
    canvas.Pen().SetColor(color);
    canvas.Brush().SetColor(color);
    const TPoint left_arrow[3] = {{cx - 2, cy}, {cx + 1, cy - 3}, {cx + 1, cy + 3}};
    const TPoint right_arrow[3] = {{cx + 2, cy}, {cx - 1, cy - 3}, {cx - 1, cy + 3}};
    canvas.Polygon(part == hpPrevMonth ? left_arrow : right_arrow, 3);
  }
  canvas.Font().Assign(Font());
  canvas.Font().SetStyle(Font().Style() + TFontStyles{fsBold});
  canvas.Brush().SetStyle(bsClear);
  TRect month_rect = HeaderPartRect(hpMonthLabel);
  DrawText(canvas, FormatSettings().LongMonthNames[size_t(Month() - 1)], month_rect,
           DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  TRect year_rect = HeaderPartRect(hpYearLabel);
  DrawText(canvas, IntToStr(Year()), year_rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);

  // Weekday texts and the line under them.
  for (int i = 0; i < 7; ++i) {
    TRect r = Bounds(6 + i * (cell_width_ + 5), header, cell_width_, cell_height_);
    DrawText(canvas, weekday_texts_[size_t(i)], r, DT_CENTER | DT_SINGLELINE | DT_NOPREFIX);
  }
  canvas.Pen().SetColor(clBlack);
  const int line_y = header + cell_height_ + 2;
  canvas.MoveTo(6, line_y);
  canvas.LineTo(width - 6, line_y);

  canvas.Font().Assign(Font());
  for (int i = 0; i < 42; ++i) DrawDay(canvas, i);
  if (today_button_ || clear_button_) {
    const int y = CellRect(0, 5).Bottom + 2;
    canvas.Pen().SetColor(clBlack);
    canvas.MoveTo(6, y);
    canvas.LineTo(width - 6, y);
  }
  canvas.Brush().SetStyle(bsSolid);
}

void TProdiCalendar::DrawDay(TCanvas& canvas, int index) {
  const TDateTime day = cells_[size_t(index)];
  TRect r = CellRect(index % 7, index / 7);
  int y, m, d;
  DecodeDate(day, y, m, d);
  // The weeks of December 9999 run past the last date there is: no number.
  if (y == 0) return;
  const AnsiString text = IntToStr(d);
  const unsigned flags = DT_CENTER | DT_SINGLELINE | DT_NOPREFIX;
  const bool selected = day == date_ && (!null_date_ || tracking_);
  if (selected) {
    canvas.Brush().SetStyle(bsSolid);
    canvas.Brush().SetColor(clBtnShadow);
    canvas.FillRect(Rect(r.Left - cell_width_ / 3, r.Top, r.Right + cell_width_ / 3, r.Bottom));
  }
  if (ShowTodayButton() && DayNumber(day) == DayNumber(::Date())) {
    canvas.Brush().SetStyle(bsClear);
    canvas.Pen().SetColor(RGB(128, 0, 0));
    canvas.Rectangle(r.Left - cell_width_ / 3, r.Top, r.Right + cell_width_ / 3, r.Bottom);
  }
  canvas.Brush().SetStyle(bsClear);
  if (day < EffectiveMinDate() || day > EffectiveMaxDate()) {
    TRect shifted = Rect(r.Left + 1, r.Top + 1, r.Right + 1, r.Bottom + 1);
    canvas.Font().SetColor(clBtnHighlight);
    DrawText(canvas, text, shifted, flags);
    canvas.Font().SetColor(clBtnShadow);
  } else if (selected) {
    canvas.Font().SetColor(clHighlightText);
  } else if (day < first_day_ || day > last_day_) {
    canvas.Font().SetColor(clGrayText);
  } else {
    canvas.Font().SetColor(Font().Color());
  }
  DrawText(canvas, text, r, flags);
}

// ---- User actions ---------------------------------------------------------------------

void TProdiCalendar::DoChange() {
  if (OnChange) OnChange(this);
}

void TProdiCalendar::DoPickup() {
  if (OnPickup) OnPickup(this);
}

void TProdiCalendar::MoveTo(TDateTime value, bool forward) {
  const TDateTime lo = EffectiveMinDate(), hi = EffectiveMaxDate();
  if (forward) {
    value = std::min(value, hi);
    value = std::max(value, lo);
  } else {
    value = std::max(value, lo);
    value = std::min(value, hi);
  }
  SetDate(value);
}

void TProdiCalendar::MoveMonths(int months) {
  if (months == 0) return;
  // The toolkit's month increment fails past year 9999 or before year 1; the
  // bounds keep the date there anyway.
  TDateTime target;
  try {
    target = IncMonth(date_, months);
  } catch (const EConvertError&) {
    target = months > 0 ? kNoMaxDate : kNoMinDate;
  }
  MoveTo(target, months > 0);
}

void TProdiCalendar::KeyDown(uint16_t& key, TShiftState shift) {
  TCustomControl::KeyDown(key, shift);
  if (key == 0) return;
  const bool plain = !shift.Contains(ssShift) && !shift.Contains(ssAlt) && !shift.Contains(ssCtrl);
  const bool ctrl_only = shift.Contains(ssCtrl) && !shift.Contains(ssShift) && !shift.Contains(ssAlt);
  if (plain) {
    switch (key) {
      case VK_PRIOR: MoveMonths(-1); break;
      case VK_NEXT: MoveMonths(1); break;
      case VK_END: MoveTo(FirstOfMonth(date_) + DaysInMonth(Year(), Month()) - 1, true); break;
      case VK_HOME: MoveTo(FirstOfMonth(date_), false); break;
      case VK_LEFT: MoveTo(date_ - 1, false); break;
      case VK_RIGHT: MoveTo(date_ + 1, true); break;
      case VK_UP: MoveTo(date_ - 7, false); break;
      case VK_DOWN: MoveTo(date_ + 7, true); break;
      default: break;
    }
  } else if (ctrl_only && (key == VK_PRIOR || key == VK_NEXT)) {
    MoveMonths(key == VK_PRIOR ? -12 : 12);
  } else {
    return;
  }
  DoChange();
  key = 0;
}

void TProdiCalendar::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TCustomControl::MouseDown(button, shift, x, y);
  x -= BorderInset();
  y -= BorderInset();
  SetFocus();
  if (button != mbLeft) return;
  if (y < HeaderHeight()) {
    const THeaderPart part = HeaderPart(x, y);
    if ((part == hpPrevMonth && prev_enabled_) || (part == hpNextMonth && next_enabled_)) {
      nav_pressed_ = part;
      nav_over_ = true;
      nav_ticks_ = 0;
      MoveMonths(part == hpPrevMonth ? -1 : 1);
      DoChange();
      SetTimer(kNavTimer, kNavPeriodMs);
      Invalidate();
    } else if (part == hpMonthLabel) {
      const TRect r = HeaderPartRect(hpMonthLabel);
      // The menu pops up centred under the label (Popup takes screen points).
      month_menu_->SetPopupComponent(this);
      const TPoint at = ClientToScreen(TPoint{(r.Left + r.Right) / 2 + BorderInset(), HeaderHeight() + BorderInset()});
      month_menu_->Popup(at.x, at.y);
    } else if (part == hpYearLabel && show_year_navigator_) {
      YearEditor()->Attach(this);
    }
    return;
  }
  saved_date_ = date_;
  tracking_ = true;
  MouseMove(shift + TShiftState{ssLeft}, x + BorderInset(), y + BorderInset());
}

void TProdiCalendar::MouseMove(TShiftState shift, int x, int y) {
  TCustomControl::MouseMove(shift, x, y);
  x -= BorderInset();
  y -= BorderInset();
  if (nav_pressed_ != hpNone) {
    const bool over = HeaderPart(x, y) == nav_pressed_;
    if (over != nav_over_) {
      nav_over_ = over;
      Invalidate();
    }
    return;
  }
  if (!tracking_ || !shift.Contains(ssLeft)) return;
  TDateTime under;
  TDateTime next = saved_date_;
  if (DateAt(x, y, under) && under >= EffectiveMinDate() && under <= EffectiveMaxDate()) next = under;
  if (next != date_) {
    date_ = next;
    Invalidate();
  }
}

void TProdiCalendar::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  TCustomControl::MouseUp(button, shift, x, y);
  x -= BorderInset();
  y -= BorderInset();
  if (nav_pressed_ != hpNone) {
    KillTimer(kNavTimer);
    nav_pressed_ = hpNone;
    nav_over_ = false;
    Invalidate();
    return;
  }
  if (!tracking_ || button != mbLeft) return;
  tracking_ = false;
  TDateTime under;
  // Tracking moved Date without rebuilding the view; put the saved day back
  // so that the setter sees the change and shows the picked day's month
  // (a grey day of the next month would otherwise stay on the old page).
  date_ = saved_date_;
  if (DateAt(x, y, under) && under >= EffectiveMinDate() && under <= EffectiveMaxDate()) {
    SetDate(under);
    DoChange();
    DoPickup();
  } else {
    Invalidate();
  }
}

void TProdiCalendar::WMTimer(unsigned id) {
  if (id != kNavTimer || nav_pressed_ == hpNone) return;
  const int n = nav_ticks_++;
  if (!nav_over_ || !NavRepeatDue(n)) return;
  const bool enabled = nav_pressed_ == hpPrevMonth ? prev_enabled_ : next_enabled_;
  if (!enabled) return;
  MoveMonths(nav_pressed_ == hpPrevMonth ? -1 : 1);
  DoChange();
}

void TProdiCalendar::TodayClick() {
  SetDate(::Date());
  SetFocus();
  DoChange();
  DoPickup();
}

void TProdiCalendar::ClearClick() {
  SetNullDate(true);
  SetFocus();
  DoChange();
  DoPickup();
}
