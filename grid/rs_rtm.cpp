#include "grid/rs_rtm.h"

#include <map>

#include <cmath>
#include <cstdlib>
#include <memory>

#include "toolkit/core/colors.h"
#include "toolkit/core/filer.h"
#include "toolkit/core/objtext.h"
#include "toolkit/core/text.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/gfx/drawtext.h"
#include "toolkit/gfx/edges.h"
#include "toolkit/sys/event_loop.h"
#include "toolkit/ui/controls.h"

// ---- Argument checks ----------------------------------------------------------

void CheckNotNegative(int n) {
  if (n < 0) rsErrorFmt(SValueNegative, {n});
}

void CheckPositive(int n) {
  if (n <= 0) rsErrorFmt(SValueNotPositive, {n});
}

void CheckIndex(int index, int count) {
  if (index < 0 || index > count - 1) rsErrorFmt(SIndexOutOfRange, {index, count});
}

// ---- Published types ------------------------------------------------------------

const TTypeInfo& TvpBorderStyleType() {
  static const TTypeInfo t = TTypeInfo::Enumeration(
      "TvpBorderStyle", {"bsNoBorder", "bs3D", "bsSoft", "bsSoftExt", "bsFlat", "bsFlatExt", "bsMono", "bsMonoExt"});
  return t;
}

const TTypeInfo& TLayoutType() {
  static const TTypeInfo t = TTypeInfo::Enumeration("TLayout", {"tlTop", "tlCenter", "tlBottom"});
  return t;
}

const TTypeInfo& MethodTypeInfo(const AnsiString& name) {
  // Never freed: the descriptors that point at these types live as long.
  static auto* types = new std::map<AnsiString, std::unique_ptr<TTypeInfo>>();
  std::unique_ptr<TTypeInfo>& type = (*types)[name];
  if (!type) type = std::make_unique<TTypeInfo>(TTypeInfo::Simple(name, tkMethod));
  return *type;
}

// ---- TChildFont ---------------------------------------------------------------

namespace {

const TTypeInfo& FontStyleType() {
  static const TTypeInfo type =
      TTypeInfo::Enumeration("TFontStyle", {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"});
  return type;
}

const TTypeInfo& FontStylesType() {
  static const TTypeInfo type = TTypeInfo::SetOf("TFontStyles", FontStyleType());
  return type;
}

}  // namespace

const TClassInfo& TChildFont::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TChildFont>, "TChildFont", &TPersistent::StaticClassInfo(),
                               [](TPublisher<TChildFont>& p) {
                                 p.String("Name", &TChildFont::Name, &TChildFont::SetName);
                                 p.Ordinal("Color", TypeInfoTColor(), &TChildFont::Color, &TChildFont::SetColor)
                                     .WithDefault(clNone);
                                 p.Ordinal("Style", FontStylesType(), &TChildFont::Style, &TChildFont::SetStyle)
                                     .WithDefault(0);
                               });
  return info;
}

void TChildFont::Changed() {
  if (OnChange) OnChange(this);
}

void TChildFont::SetName(const AnsiString& value) {
  if (value == name_) return;
  name_ = value;
  Changed();
}

void TChildFont::SetColor(TColor value) {
  if (value == color_) return;
  color_ = value;
  Changed();
}

void TChildFont::SetStyle(TFontStyles value) {
  if (value == style_) return;
  style_ = value;
  Changed();
}

void TChildFont::Assign(const TPersistent* source) {
  auto* other = dynamic_cast<const TChildFont*>(source);
  if (other == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  name_ = other->name_;
  color_ = other->color_;
  style_ = other->style_;
  Changed();
}

void TChildFont::Assign(const TFont& font) {
  name_ = font.Name();
  color_ = font.Color();
  style_ = font.Style();
  Changed();
}

void TChildFont::ApplyTo(TFont& font) const {
  if (!name_.empty()) font.SetName(name_);
  if (color_ != clNone) font.SetColor(color_);
  if (!style_.Empty()) font.SetStyle(style_);
}

// ---- TvpList ------------------------------------------------------------------

TvpList::~TvpList() { Clear(); }

void TvpList::Clear() {
  while (Count() > 0) Delete(0);
  TList::Clear();
}

void TvpList::Notify(void* item, TListNotification action) {
  if (action == lnDeleted && owns_items_) {
    if (items_are_objects_)
      delete static_cast<TPersistent*>(item);
    else
      std::free(item);
  }
  TList::Notify(item, action);
}

// ---- TvpSwitcher --------------------------------------------------------------

namespace {

// The one switcher whose press repeats; the platform has one timer for the
// whole process.
TvpSwitcher* g_repeating = nullptr;

bool PointInRect(const TRect& r, int x, int y) { return x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom; }

}  // namespace

bool SwitcherRepeatsAt(int n) {
  // Tick n comes (n + 1) × 30 ms after the press: the first repeat at 0.3 s,
  // every third tick up to 0.75 s, every second up to 2 s, then every tick.
  // Thresholds in ticks are 250/30, 750/30 and 2000/30, compared without
  // rounding.
  if (n * 30 > 2000) return true;
  if (n * 30 > 250 && n * 30 <= 750) return n % 3 == 0;
  if (n * 30 > 750 && n * 30 <= 2000) return n % 2 == 0;
  return false;
}

TvpSwitcher::TvpSwitcher(TComponent* edit) : edit_(edit) {}

TvpSwitcher::~TvpSwitcher() {
  bool edit_dying = edit_ != nullptr && edit_->ComponentState().Contains(csDestroying);
  if (!edit_dying) {
    // Only the base part is left here: release without the descendants' hooks.
    TvpSwitcher::Release();
  }
  // Never leave the process's repeat pointing at a dead switcher.
  if (g_repeating == this) g_repeating = nullptr;
}

TvpSwitcher* TvpSwitcher::RepeatingSwitcher() { return g_repeating; }

bool TvpSwitcher::CanSwitch(int, int, TShiftState, int, int) { return true; }

void TvpSwitcher::PartChanged(int) {}

void TvpSwitcher::Click(int, int, int, int) {}

void TvpSwitcher::StartRepeat() {
  // Another switcher's repeat ends here, so that one timer period never
  // clicks twice.
  if (g_repeating != nullptr && g_repeating != this) g_repeating->StopRepeat();
  if (!timer_) {
    timer_ = std::make_unique<TTimer>(nullptr);
    timer_->SetEnabled(false);
    timer_->OnTimer = [this](TComponent*) {
      if (g_repeating == this) TimerTick();
    };
  }
  timer_->SetInterval(kSwitcherTimerInterval);
  timer_->SetEnabled(true);
  repeating_ = true;
  g_repeating = this;
}

void TvpSwitcher::StopRepeat() {
  if (timer_) timer_->SetEnabled(false);
  repeating_ = false;
  if (g_repeating == this) g_repeating = nullptr;
}

void TvpSwitcher::MouseDown(int part, int x, int y, const TRect& part_rect, TShiftState shift, bool auto_repeat,
                            bool click_on_press) {
  if (active_) Release();
  if (!CanSwitch(part, x, shift, 0, y)) return;
  active_ = true;
  key_ = 0;
  part_rect_ = part_rect;
  part_ = part;
  last_pos_ = {x, y};
  inside_ = PointInRect(part_rect, x, y);
  if (inside_) {
    PartChanged(part_);
    if (click_on_press) {
      clicked_on_press_ = true;
      Click(part_, x, 0, y);
    }
  }
  if (auto_repeat && active_) {
    ticks_ = 0;
    StartRepeat();
  }
}

void TvpSwitcher::MouseMove(int x, int y) {
  if (!active_ || key_ != 0) return;
  last_pos_ = {x, y};
  bool inside = PointInRect(part_rect_, x, y);
  if (inside == inside_) return;
  inside_ = inside;
  PartChanged(part_);
}

void TvpSwitcher::MouseUp(int x, int y) {
  if (!active_ || key_ != 0) return;
  MouseMove(x, y);
  bool was_inside = inside_;
  bool clicked = clicked_on_press_;
  int part = part_;
  Release();
  if (was_inside && !clicked) Click(part, x, 0, y);
}

void TvpSwitcher::KeyDown(int part, int key, TShiftState shift) {
  if (active_ && key_ == key) return;  // the keyboard's own auto-repeat
  if (active_) Release();
  if (!CanSwitch(part, 0, shift, key, 0)) return;
  active_ = true;
  part_ = part;
  inside_ = true;
  key_ = key;
  PartChanged(part_);
}

void TvpSwitcher::KeyUp(int key) {
  if (!active_ || key_ == 0 || key_ != key) return;
  int part = part_;
  Release();
  Click(part, 0, key, 0);
}

void TvpSwitcher::Release() {
  if (!active_) return;
  int old_part = part_;
  bool was_inside = inside_;
  active_ = false;
  inside_ = false;
  key_ = 0;
  part_ = -1;
  if (was_inside) PartChanged(old_part);
  clicked_on_press_ = false;
  StopRepeat();
}

void TvpSwitcher::TimerTick() {
  if (!active_ || !inside_) return;
  int n = ticks_;
  ++ticks_;
  if (SwitcherRepeatsAt(n)) Click(part_, last_pos_.x, key_, last_pos_.y);
}

// ---- TDataLinkEx --------------------------------------------------------------

void TDataLinkEx::ActivationNotice() {
  if (OnActiveChanged) OnActiveChanged(this);
}

void TDataLinkEx::DataSetNotice() {
  if (OnDataSetChanged) OnDataSetChanged(this);
}

void TDataLinkEx::ScrollNotice(int distance) {
  if (OnDataSetScrolled) OnDataSetScrolled(this, distance);
}

void TDataLinkEx::RecordNotice(TField* field) {
  if (OnRecordChanged) OnRecordChanged(this, field);
}

void TDataLinkEx::LayoutNotice() {
  if (OnLayoutChanged) OnLayoutChanged(this);
}

void TDataLinkEx::CommitNotice() {
  if (OnUpdateData) OnUpdateData(this);
}

void TDataLinkEx::EditingNotice() {
  if (OnEditingChanged) OnEditingChanged(this);
}

void TDataLinkEx::FocusFieldNotice(TField*& field) {
  if (field == nullptr || !OnFocusControl) return;
  TField* copy = field;
  OnFocusControl(this, copy);
  if (copy == nullptr) field = nullptr;
}

// ---- Delimited lists ----------------------------------------------------------

void SplitList(const AnsiString& text, char separator, TStrings& list) {
  TUpdateScope update(list);
  list.Clear();
  size_t start = 0;
  for (;;) {
    size_t pos = text.find(separator, start);
    if (pos == AnsiString::npos) {
      list.Add(std::string_view(text).substr(start));
      break;
    }
    list.Add(std::string_view(text).substr(start, pos - start));
    start = pos + 1;
  }
}

AnsiString JoinList(const TStrings& list, char separator) {
  AnsiString result;
  for (int i = 0; i < list.Count(); ++i) {
    if (i > 0) result += separator;
    result += list.Strings(i);
  }
  return result;
}

int ListCount(const AnsiString& text, char separator) {
  int n = 1;
  for (char c : text)
    if (c == separator) ++n;
  return n;
}

int ListCountNonEmpty(const AnsiString& text, char separator) {
  return text.empty() ? 0 : ListCount(text, separator);
}

namespace {

// Start and length of the piece at index; false when there is none.
bool FindPiece(const AnsiString& text, int index, char separator, size_t& start, size_t& length) {
  if (index < 0) return false;
  size_t pos = 0;
  for (int i = 0; i < index; ++i) {
    size_t next = text.find(separator, pos);
    if (next == AnsiString::npos) return false;
    pos = next + 1;
  }
  size_t end = text.find(separator, pos);
  if (end == AnsiString::npos) end = text.size();
  start = pos;
  length = end - pos;
  return true;
}

AnsiString Append(const AnsiString& list, const AnsiString& item, char separator) {
  if (list.empty()) return item;
  return list + separator + item;
}

}  // namespace

AnsiString ListItem(const AnsiString& text, int index, char separator) {
  size_t start = 0, length = 0;
  if (!FindPiece(text, index, separator, start, length)) return AnsiString();
  return text.substr(start, length);
}

AnsiString ListAdd(const AnsiString& list, const AnsiString& item, char separator) {
  if (item.empty() || ListContains(list, item, separator)) return list;
  return Append(list, item, separator);
}

AnsiString ListAddEmpty(const AnsiString& list, const AnsiString& item, char separator) {
  if (ListContains(list, item, separator)) return list;
  return Append(list, item, separator);
}

AnsiString ListDelete(const AnsiString& list, int index, char separator) {
  size_t start = 0, length = 0;
  if (!FindPiece(list, index, separator, start, length)) return list;
  if (start + length < list.size()) return list.substr(0, start) + list.substr(start + length + 1);
  if (start == 0) return AnsiString();  // the only piece
  return list.substr(0, start - 1);     // the last piece with the separator before it
}

int ListIndexOf(const AnsiString& list, const AnsiString& item, char separator) {
  if (list.empty()) return -1;
  AnsiString haystack = AnsiLowerCase(separator + list + separator);
  AnsiString needle = AnsiLowerCase(separator + item + separator);
  size_t pos = haystack.find(needle);
  if (pos == AnsiString::npos) return -1;
  int index = 0;
  for (size_t i = 0; i < pos; ++i)
    if (haystack[i] == separator) ++index;
  return index;
}

AnsiString ListRemove(const AnsiString& list, const AnsiString& item, char separator) {
  int index = ListIndexOf(list, item, separator);
  if (index < 0) return list;
  return ListDelete(list, index, separator);
}

bool ListContains(const AnsiString& list, const AnsiString& item, char separator) {
  if (list.empty() || item.empty()) return false;
  return ListIndexOf(list, item, separator) >= 0;
}

// ---- Data-set position --------------------------------------------------------

TDataSetPosition SaveDataSetPosition(TDataSet& data_set) {
  TDataSetPosition position;
  position.Bookmark = data_set.TakeBookmark();
  position.ActiveRow = data_set.ActiveRecordIndex();
  return position;
}

void RestoreDataSetPosition(TDataSet& data_set, const TDataSetPosition& position) {
  // A record deleted meanwhile would make the return fail with "Record not
  // found" in the middle of a repaint; the data set then stays where it is.
  if (position.Bookmark.empty() || !data_set.QueryActive() || !data_set.BookmarkExists(position.Bookmark)) return;
  data_set.ReturnToBookmark(position.Bookmark);
  int row = data_set.ActiveRecordIndex();
  int saved = position.ActiveRow;
  if (row < saved) {
    data_set.Skip(-saved);
    data_set.Skip(saved);
  } else if (row > saved) {
    int count = data_set.WindowSize();
    data_set.Skip(count - saved - 1);
    data_set.Skip(saved - count + 1);
  }
}

// ---- Painting arithmetic ------------------------------------------------------

TColor SoftColor(TColor color) {
  TColor rgb = ColorToRGB(color);
  int r = GetRValue(rgb);
  int g = GetGValue(rgb);
  int b = GetBValue(rgb);
  // Pascal div truncates toward zero; the operands here are never negative.
  int r2 = r + (256 - r) / 4 - 81;
  int g2 = g <= 47 ? g + (47 - g) / 4 : g + 3 * ((255 - g) / 8) - 77;
  int b2 = b + static_cast<int>(std::nearbyint((255 - b) / 2.8)) - 53;
  if (r2 < 0) r2 = 0;
  if (g2 < 0) g2 = 0;
  if (b2 < 0) b2 = 0;
  return RGB(r2, g2, b2);
}

TRect AlignRectVertically(const TRect& outer, const TRect& inner, int layout) {
  TRect r = inner;
  int height = r.Height();
  if (height > outer.Height()) height = outer.Height();
  int top = outer.Top;
  if (layout == vlCenter)
    top = outer.Top + (outer.Height() - height) / 2;
  else if (layout == vlBottom)
    top = outer.Bottom - height;
  r.Top = top;
  r.Bottom = top + height;
  return r;
}

void DrawTextAligned(TCanvas& canvas, const TRect& rect, const AnsiString& text, TAlignment alignment,
                     int layout, int left_margin, int right_margin, bool word_wrap, bool end_ellipsis,
                     bool edit_control, unsigned remove_flags) {
  TRect r = rect;
  r.Left += left_margin;
  r.Right -= right_margin;
  unsigned align = DT_NOPREFIX;
  if (alignment == taRightJustify)
    align |= DT_RIGHT;
  else if (alignment == taCenter)
    align |= DT_CENTER;
  unsigned extra = 0;
  if (end_ellipsis) extra |= DT_END_ELLIPSIS;
  if (edit_control) extra |= DT_EDITCONTROL;
  if (word_wrap) {
    TRect measured = r;
    // Measuring stays measuring whatever the caller removes.
    DrawText(canvas, text, measured, ((align | DT_WORDBREAK) & ~remove_flags) | extra | DT_CALCRECT);
    int height = measured.Height();
    if (height > r.Height()) height = r.Height();
    if (height < 0) height = 0;
    TRect box = AlignRectVertically(r, Rect(r.Left, r.Top, r.Right, r.Top + height), layout);
    DrawText(canvas, text, box, ((align | DT_WORDBREAK) & ~remove_flags) | extra);
    return;
  }
  unsigned vertical = layout == vlCenter ? DT_VCENTER : (layout == vlBottom ? DT_BOTTOM : DT_TOP);
  DrawText(canvas, text, r, ((align | DT_SINGLELINE | vertical) & ~remove_flags) | extra);
}

int BorderClientInset(TvpBorderStyle style) {
  switch (style) {
    case bsSoft:
    case bsFlat:
    case bsMono:
      return 1;
    case bsSoftExt:
    case bsFlatExt:
    case bsMonoExt:
      return 2;
    default:
      return 0;
  }
}

int BorderFrameInset(TvpBorderStyle style) { return style == bs3D ? 2 : BorderClientInset(style); }

void PaintBorder(TCanvas& canvas, TRect rect, TvpBorderStyle style, TColor color) {
  if (style == bsNoBorder) return;
  if (style == bs3D) {
    DrawEdge(canvas, rect, EDGE_SUNKEN, BF_RECT);
    return;
  }
  unsigned flags = BF_RECT | BF_ADJUST;
  if (style == bsFlat || style == bsFlatExt) flags |= BF_FLAT;
  if (style == bsMono || style == bsMonoExt) flags |= BF_MONO;
  DrawEdge(canvas, rect, BDR_SUNKENOUTER, flags);
  if (style != bsSoftExt && style != bsFlatExt && style != bsMonoExt) return;
  canvas.Pen().SetStyle(psSolid);
  canvas.Pen().SetWidth(1);
  canvas.Pen().SetColor(style == bsSoftExt ? cl3DLight : color);
  canvas.Brush().SetStyle(bsClear);
  canvas.Rectangle(rect.Left, rect.Top, rect.Right, rect.Bottom);
}

void DrawFrameButton(TCanvas& canvas, const TRect& rect, unsigned direction, bool pressed, bool flat,
                     bool disabled) {
  if (rect.Width() <= 0 || rect.Height() <= 0) return;
  TBitmap arrow;
  arrow.SetSize(rect.Width(), rect.Height());
  // The routine's own 2-pixel frame is drawn outside the bitmap, so that only
  // the arrow on the face remains.
  TRect full = Rect(-2, -2, rect.Width() + 2, rect.Height() + 2);
  DrawFrameControl(arrow.Canvas(), full, DFC_SCROLL, direction | (disabled ? DFCS_INACTIVE : 0));
  canvas.Draw(rect.Left + (flat ? 1 : 0), rect.Top + (pressed ? 1 : 0), arrow);
}

namespace {

// The frame of one button face (or one spin half).
void DrawButtonFrame(TCanvas& canvas, const TRect& rect, bool pressed, bool flat, bool mono) {
  TRect r = rect;
  if (mono) {
    Frame3D(canvas, r, clWindow, clWindow, 1);
    if (pressed) canvas.InvertRect(r);
  } else if (flat && !pressed) {
    DrawEdge(canvas, r, BDR_RAISEDINNER, BF_TOP);
    DrawEdge(canvas, r, EDGE_RAISED, BF_LEFT);
    DrawEdge(canvas, r, BDR_RAISEDINNER, BF_RIGHT | BF_BOTTOM);
  } else {
    DrawEdge(canvas, r, EDGE_RAISED, BF_RECT | (pressed ? BF_FLAT : 0));
  }
}

}  // namespace

void DrawEditorButton(int style, unsigned state, TCanvas& canvas, TBitmap* glyph, const TRect& rect) {
  const int w = rect.Width(), h = rect.Height();
  if (w <= 0 || h <= 0) return;
  const bool mono = (state & ebsMono) != 0;
  const bool flat = (state & ebsFlat) != 0;
  const bool disabled = (state & ebsDisabled) != 0;
  const bool pressed1 = (state & ebsPart1Pressed) != 0;
  const bool pressed2 = (state & ebsPart2Pressed) != 0;
  // The sunk content of a pressed face; a mono face shows its press by inverting.
  const bool pressed_look = pressed1 && !mono;

  canvas.Brush().SetStyle(bsSolid);
  canvas.Brush().SetColor(clBtnFace);
  canvas.FillRect(rect);

  switch (style) {
    case ebDropDown:
      DrawFrameButton(canvas, Rect(rect.Left + 2, rect.Top + 2, rect.Right - 2, rect.Bottom - 2), DFCS_SCROLLDOWN,
                      pressed_look, flat, disabled);
      break;
    case ebEllipsis: {
      const int gap = w < 17 ? 1 : 2;
      const int total = 3 * 2 + 2 * gap;
      const int x0 = rect.Left + (w - total) / 2;
      const int y0 = rect.Top + (h - 4) / 2 + 1 + (pressed_look ? 1 : 0);
      canvas.Brush().SetColor(disabled ? clGrayText : clBtnText);
      for (int i = 0; i < 3; ++i) {
        const int x = x0 + i * (2 + gap);
        canvas.FillRect(Rect(x, y0, x + 2, y0 + 2));
      }
      break;
    }
    case ebSpin: {
      const int middle = rect.Top + h / 2;
      DrawFrameButton(canvas, Rect(rect.Left, rect.Top, rect.Right, middle), DFCS_SCROLLUP, pressed1 && !mono, true,
                      disabled);
      DrawFrameButton(canvas, Rect(rect.Left, middle, rect.Right, rect.Bottom), DFCS_SCROLLDOWN, pressed2 && !mono,
                      true, disabled);
      DrawButtonFrame(canvas, Rect(rect.Left, rect.Top, rect.Right, middle), pressed1, flat, mono);
      DrawButtonFrame(canvas, Rect(rect.Left, middle, rect.Right, rect.Bottom), pressed2, flat, mono);
      return;
    }
    case ebCustom:
      if (glyph != nullptr && !glyph->Empty())
        canvas.Draw(rect.Left + (w - glyph->Width()) / 2, rect.Top + (h - glyph->Height()) / 2 + (pressed_look ? 1 : 0),
                    *glyph);
      break;
    default:
      break;
  }
  DrawButtonFrame(canvas, rect, pressed1, flat, mono);
}

// ---- Small routines -----------------------------------------------------------

bool StepIndex(int& index, int target, int count, bool forward) {
  int next = index;
  if (forward && target > index)
    next = index + 1;
  else if (!forward && target < index)
    next = index - 1;
  if (next > count - 1) next = count - 1;
  if (next < 0) next = 0;
  if (next == index) return false;
  index = next;
  return true;
}

bool IsControlInside(const TControl* control, const TControl* container) {
  if (control == nullptr || container == nullptr) return false;
  for (const TControl* c = control->Parent(); c != nullptr; c = c->Parent())
    if (c == container) return true;
  return false;
}

bool VarIsNullOrEmpty(const Variant& value) { return value.IsNull() || value.IsEmpty(); }

bool VarEquals(const Variant& a, const Variant& b) {
  if (a.IsEmpty() || b.IsEmpty()) return a.IsEmpty() && b.IsEmpty();
  if (a.IsArray() || b.IsArray()) {
    // Compared over both arrays' bounds: walking from one array's low bound
    // to the other's high bound read past a shorter first array (an index
    // error) and ignored the tail of a longer one (a false "equal").
    if (!a.IsArray() || !b.IsArray()) return false;
    if (a.LowBound() != b.LowBound() || a.HighBound() != b.HighBound()) return false;
    for (int i = a.LowBound(); i <= a.HighBound(); ++i)
      if (!VarEquals(a[i], b[i])) return false;
    return true;
  }
  return a == b;
}

int FirstDayOfWeek(const AnsiString& locale_setting) {
  if (locale_setting.size() == 1 && locale_setting[0] >= '0' && locale_setting[0] <= '6') {
    int d = locale_setting[0] - '0';
    return d == 6 ? 1 : d + 2;
  }
  return 2;  // an unreadable setting: Monday, as the program's locale has it
}

int FirstDayOfWeek() {
  // The program's locale is fixed at Russian, whose week starts on Monday.
  return FirstDayOfWeek("0");
}

// ---- Objects as strings ---------------------------------------------------------

const TClassInfo& TUniDataStorage::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TUniDataStorage>, "TUniDataStorage", &TComponent::StaticClassInfo(),
                               [](TPublisher<TUniDataStorage>& p) {
                                 p.String("Description", &TUniDataStorage::Description,
                                          &TUniDataStorage::SetDescription);
                                 p.Object("Data", TPersistent::StaticClassInfo(), &TUniDataStorage::Data,
                                          &TUniDataStorage::SetData);
                               });
  return info;
}

namespace {

// The temporary storage goes through Free, also when streaming fails.
struct FreeStorage {
  void operator()(TUniDataStorage* storage) const { storage->Free(); }
};
using TStoragePtr = std::unique_ptr<TUniDataStorage, FreeStorage>;

TStoragePtr NewStorage(TPersistent* data) {
  TStoragePtr storage(new TUniDataStorage(nullptr));
  storage->SetData(data);
  return storage;
}

void CheckInstance(const TPersistent* instance) {
  if (instance == nullptr) throw EInvalidPointer("Invalid pointer operation");
}

}  // namespace

AnsiString ComponentToString(TComponent* instance, bool as_text) {
  CheckInstance(instance);
  TMemoryStream binary;
  TWriter(binary).WriteRootComponent(instance);
  binary.SetPosition(0);
  if (!as_text) return AnsiString(binary.Bytes());
  TStringStream text;
  ObjectBinaryToText(binary, text);
  return text.DataString();
}

TComponent* StringToComponent(TComponent* instance, const AnsiString& text, bool as_text) {
  if (text.empty()) return nullptr;
  CheckInstance(instance);
  TStringStream input(text);
  if (!as_text) {
    TReader(input).ReadRootComponent(instance);
    return instance;
  }
  TMemoryStream binary;
  ObjectTextToBinary(input, binary);
  binary.SetPosition(0);
  TReader(binary).ReadRootComponent(instance);
  return instance;
}

AnsiString PersistentToString(TPersistent* instance, const AnsiString& description, bool as_text) {
  if (auto* component = dynamic_cast<TComponent*>(instance)) return ComponentToString(component, as_text);
  TStoragePtr storage = NewStorage(instance);
  storage->SetDescription(description);
  return ComponentToString(storage.get(), as_text);
}

void StringToPersistent(TPersistent* instance, const AnsiString& text, bool as_text) {
  if (text.empty()) return;
  if (auto* component = dynamic_cast<TComponent*>(instance)) {
    StringToComponent(component, text, as_text);
    return;
  }
  TStoragePtr storage = NewStorage(instance);
  StringToComponent(storage.get(), text, as_text);
}
