// The grid library's runtime support: argument checks, the partial font of
// columns and grids, an owning list, the press-and-hold tracker of editor
// sub-buttons, a data link that forwards its notices to handlers, ";"-list
// string routines, saving and restoring a data set's position, colour and
// rectangle arithmetic for painting, and small helpers.
#pragma once

#include <functional>
#include <memory>

#include "grid/rs_str.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/component.h"
#include "toolkit/core/variant.h"
#include "toolkit/db/db.h"
#include "toolkit/gfx/graphics.h"
#include "toolkit/ui/menus.h"

class TTimer;
class TControl;

// ---- Argument checks (ERSError with the value in the text) ---------------------

// Fails for n < 0: "Value can not be negative (n)".
void CheckNotNegative(int n);
// Fails for n <= 0: "Value must be positive (n)".
void CheckPositive(int n);
// Fails unless 0 <= index <= count - 1: "Index is out of range (index/count)".
void CheckIndex(int index, int count);

// ---- TChildFont -----------------------------------------------------------------

// A partial font laid over a real one: only the values that are set (a name
// that is not empty, a colour that is not clNone, a style that is not empty)
// change the font it is applied to.
class TChildFont : public TPersistent {
  KIV7_PERSISTENT(TChildFont)

 public:
  TChildFont() = default;

  // The face name; empty = not set.
  const AnsiString& Name() const { return name_; }
  void SetName(const AnsiString& value);
  // The colour; clNone = not set.
  TColor Color() const { return color_; }
  void SetColor(TColor value);
  // The style; empty = not set (an empty style never clears a font's style).
  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles value);

  // Takes another TChildFont's three values; other sources are refused.
  void Assign(const TPersistent* source) override;
  // Takes a real font's name, colour and style.
  void Assign(const TFont& font);
  // Writes the values that are set into font.
  void ApplyTo(TFont& font) const;

  // Runs after a setter or an Assign changed the font; Sender is the font.
  std::function<void(TChildFont* Sender)> OnChange;

 private:
  void Changed();

  AnsiString name_;
  TColor color_ = clNone;
  TFontStyles style_;
};

// ---- TvpList --------------------------------------------------------------------

// A list that frees the items it loses while OwnsItems: as objects
// (TPersistent descendants made with new) when ItemsAreObjects, otherwise as
// memory blocks made with malloc.
class TvpList : public TList {
 public:
  TvpList() = default;
  ~TvpList() override;

  bool OwnsItems() const { return owns_items_; }
  void SetOwnsItems(bool value) { owns_items_ = value; }
  bool ItemsAreObjects() const { return items_are_objects_; }
  void SetItemsAreObjects(bool value) { items_are_objects_ = value; }

  // Deletes item 0 until the list is empty, then releases the storage.
  void Clear() override;

 protected:
  void Notify(void* item, TListNotification action) override;

 private:
  bool owns_items_ = true;
  bool items_are_objects_ = false;
};

// ---- TvpSwitcher ----------------------------------------------------------------

// The state of one pressed sub-button of an edit (a drop-down or spin button,
// an in-cell switch), pressed by the mouse or held by a key. A repeating
// press clicks again on a process-wide 30 ms timer: after about 0.3 s, then
// every 90 ms up to 0.75 s, every 60 ms up to 2 s and every 30 ms after, but
// only while the pointer is over the pressed part.
class TvpSwitcher {
 public:
  // edit: the edit whose sub-button this tracks (not owned; may be nullptr).
  explicit TvpSwitcher(TComponent* edit);
  // Releases the press, unless the edit is being destroyed.
  virtual ~TvpSwitcher();
  TvpSwitcher(const TvpSwitcher&) = delete;
  TvpSwitcher& operator=(const TvpSwitcher&) = delete;

  TComponent* Edit() const { return edit_; }
  bool Active() const { return active_; }
  // The pointer is over the pressed part (always true for a key press).
  bool Inside() const { return inside_; }
  // The pressed part; -1 for none.
  int Part() const { return part_; }
  const TRect& PartRect() const { return part_rect_; }
  // A click was made at the press (no second click at the release).
  bool ClickedOnPress() const { return clicked_on_press_; }
  // The press repeats its click on the timer.
  bool Repeating() const { return repeating_; }
  // Timer periods counted since the press (only while inside).
  int TickCount() const { return ticks_; }
  // The virtual key holding the part; 0 for the mouse.
  int Key() const { return key_; }
  TPoint LastPos() const { return last_pos_; }

  // The switcher whose press repeats now; nullptr when none.
  static TvpSwitcher* RepeatingSwitcher();

  void MouseDown(int part, int x, int y, const TRect& part_rect, TShiftState shift, bool auto_repeat,
                 bool click_on_press);
  void MouseMove(int x, int y);
  void MouseUp(int x, int y);
  void KeyDown(int part, int key, TShiftState shift);
  void KeyUp(int key);

  // Whether part may be pressed. Base: true.
  virtual bool CanSwitch(int part, int x, TShiftState shift, int key, int y);
  // The look of part changed (pressed, released, pointer in or out). Base: nothing.
  virtual void PartChanged(int part);
  // Ends the press without a click.
  virtual void Release();
  // The part was clicked. Base: nothing.
  virtual void Click(int part, int x, int key, int y);

  // One period of the repeat timer (public for the timer's dispatch).
  void TimerTick();

 private:
  void StartRepeat();
  void StopRepeat();

  TComponent* edit_;
  bool active_ = false;
  bool inside_ = false;
  int part_ = -1;
  TRect part_rect_;
  bool clicked_on_press_ = false;
  bool repeating_ = false;
  std::unique_ptr<TTimer> timer_;
  int ticks_ = 0;
  TPoint last_pos_;
  int key_ = 0;
};

// Whether the repeat timer clicks at tick n (periods of 30 ms since the press).
bool SwitcherRepeatsAt(int n);

// The repeat period of the tracker's timer, in ms.
inline constexpr unsigned kSwitcherTimerInterval = 30;

// ---- TDataLinkEx ----------------------------------------------------------------

// A data link that hands each notice to an event handler (when assigned),
// with the link as Sender.
class TDataLinkEx : public TDataLink {
 public:
  using TNotify = std::function<void(TDataLinkEx* Sender)>;

  TNotify OnActiveChanged;
  TNotify OnDataSetChanged;
  std::function<void(TDataLinkEx* Sender, int distance)> OnDataSetScrolled;
  // Gets a copy of the field to focus; clearing it clears the data set's request.
  std::function<void(TDataLinkEx* Sender, TField*& field)> OnFocusControl;
  TNotify OnEditingChanged;
  TNotify OnLayoutChanged;
  std::function<void(TDataLinkEx* Sender, TField* field)> OnRecordChanged;
  TNotify OnUpdateData;

 protected:
  void ActivationNotice() override;
  void DataSetNotice() override;
  void ScrollNotice(int distance) override;
  void RecordNotice(TField* field) override;
  void LayoutNotice() override;
  void CommitNotice() override;
  void EditingNotice() override;
  void FocusFieldNotice(TField*& field) override;
};

// ---- Delimited lists ------------------------------------------------------------
// Lists are single strings with a separator between items (";" for field and
// property lists, "." for property paths, "," for sort keys); items compare
// without case (1251).

// Clears list (in update mode) and adds every piece; the last piece always
// (an empty text gives one empty item).
void SplitList(const AnsiString& text, char separator, TStrings& list);
// The items joined by the separator; "" for an empty list.
AnsiString JoinList(const TStrings& list, char separator);
// Separators + 1 (1 for an empty text).
int ListCount(const AnsiString& text, char separator);
// The same, but 0 for an empty text.
int ListCountNonEmpty(const AnsiString& text, char separator);
// The piece at index; "" when there is none.
AnsiString ListItem(const AnsiString& text, int index, char separator);
// Appends item when it is not empty and not yet contained.
AnsiString ListAdd(const AnsiString& list, const AnsiString& item, char separator);
// Appends item when not yet contained, an empty item as well.
AnsiString ListAddEmpty(const AnsiString& list, const AnsiString& item, char separator);
// The list without the piece at index (unchanged for an index outside it).
AnsiString ListDelete(const AnsiString& list, int index, char separator);
// The list without the first occurrence of item; unchanged when absent.
AnsiString ListRemove(const AnsiString& list, const AnsiString& item, char separator);
// The index of item's first occurrence; -1 when absent or the list is empty.
int ListIndexOf(const AnsiString& list, const AnsiString& item, char separator);
// Whether the list holds item; false when either is empty.
bool ListContains(const AnsiString& list, const AnsiString& item, char separator);

// ---- Data-set position ----------------------------------------------------------

// Where a data set stood: its record and that record's row in the buffer window.
struct TDataSetPosition {
  TBookmark Bookmark;  // empty when the data set had no record
  int ActiveRow = 0;
};

TDataSetPosition SaveDataSetPosition(TDataSet& data_set);
// Returns to the saved record, on the same buffer row where the data set
// allows. A record that no longer exists leaves the data set where it is.
void RestoreDataSetPosition(TDataSet& data_set, const TDataSetPosition& position);

// ---- Painting arithmetic --------------------------------------------------------

// The lightened colour of soft selection fills (system colours resolved).
TColor SoftColor(TColor color);

// Vertical layouts of AlignRectVertically.
enum TvpVerticalLayout { vlTop = 0, vlCenter = 1, vlBottom = 2 };
// inner cut to outer's height and moved to the top, middle or bottom of outer.
TRect AlignRectVertically(const TRect& outer, const TRect& inner, int layout);

// Draws text in rect narrowed by the margins, always without '&' prefixes.
// With word wrap the text is measured first (with the ellipsis and edit-control
// rules when asked), its box cut to the rectangle and placed by layout, then
// drawn word-broken with the alignment; without, it is drawn on one line
// aligned both ways. remove_flags (DrawText flags) are taken off before the
// ellipsis and edit-control flags are added.
void DrawTextAligned(TCanvas& canvas, const TRect& rect, const AnsiString& text, TAlignment alignment,
                     int layout, int left_margin, int right_margin, bool word_wrap, bool end_ellipsis,
                     bool edit_control, unsigned remove_flags = 0);

// The frame styles of grids and edits.
enum TvpBorderStyle { bsNoBorder, bs3D, bsSoft, bsSoftExt, bsFlat, bsFlatExt, bsMono, bsMonoExt };
const TTypeInfo& TvpBorderStyleType();
// The toolkit's vertical layout (tlTop, tlCenter, tlBottom) as a published type.
const TTypeInfo& TLayoutType();

// The event type of that name (kind tkMethod), made once per name and kept
// for the life of the process.
const TTypeInfo& MethodTypeInfo(const AnsiString& name);
// Publishes events from "TypeName Event1 Event2 ...": handlers are bound in
// code, so they are never written, and a stored form naming one still reads.
template <class C>
void PublishEvents(TPublisher<C>& p, const AnsiString& type_and_names) {
  size_t at = type_and_names.find(' ');
  const TTypeInfo& type = MethodTypeInfo(type_and_names.substr(0, at));
  while (at != AnsiString::npos) {
    const size_t next = type_and_names.find(' ', at + 1);
    p.Event(type_and_names.substr(at + 1, next == AnsiString::npos ? AnsiString::npos : next - at - 1), type);
    at = next;
  }
}
// The button kinds of edits (the style codes of DrawEditorButton are these + 1).
enum TvpButtonStyle { pbsDropDown, pbsEllipsis, pbsSpin, pbsCustom };

// How far the client area lies inside the window on each side for a border
// style drawn by the library: 1 for bsSoft, bsFlat and bsMono, 2 for the Ext
// styles, 0 for bs3D and bsNoBorder (the system draws those).
int BorderClientInset(TvpBorderStyle style);
// The whole frame of a style on each side: the system's sunken client edge
// (2) for bs3D, else BorderClientInset.
int BorderFrameInset(TvpBorderStyle style);
// The frame of a border style around rect (the whole window): bs3D the
// system's sunken client edge; the others a sunken outer edge (flat for
// bsFlat and bsFlatExt, mono for bsMono and bsMonoExt) and, for the Ext
// styles, a line inside it in the 3D-light colour (bsSoftExt) or in color.
void PaintBorder(TCanvas& canvas, TRect rect, TvpBorderStyle style, TColor color);

// Style codes and state bits of DrawEditorButton.
inline constexpr int ebDropDown = 1, ebEllipsis = 2, ebSpin = 3, ebCustom = 4;
inline constexpr unsigned ebsPart1Pressed = 1, ebsPart2Pressed = 2, ebsDisabled = 4, ebsFlat = 8, ebsMono = 16;

// The face of an edit's button in rect: drop-down arrow, ellipsis dots, spin
// arrows (part 1 up, part 2 down) or the glyph (custom; may be nullptr),
// framed raised, flat or mono by the state bits.
void DrawEditorButton(int style, unsigned state, TCanvas& canvas, TBitmap* glyph, const TRect& rect);

// A scroll arrow (DFCS_SCROLLUP, DFCS_SCROLLDOWN, ...) filling rect without
// the frame-control routine's own frame; moved one pixel down while pressed
// and one right when flat; greyed when disabled.
void DrawFrameButton(TCanvas& canvas, const TRect& rect, unsigned direction, bool pressed, bool flat,
                     bool disabled);

// ---- Small routines -------------------------------------------------------------

// The larger of two integers.
inline int IMax(int a, int b) { return a > b ? a : b; }
// Raises variable to value when it is lower.
inline void RaiseTo(int& variable, int value) {
  if (variable < value) variable = value;
}
// -1 for a negative value, else 1.
inline int Sign(int value) { return value < 0 ? -1 : 1; }
inline int Sign(double value) { return value < 0 ? -1 : 1; }
// Moves index one step toward target, only forward (toward higher indexes)
// when forward is set and only backward otherwise, within 0 .. count - 1.
// True when the index moved.
bool StepIndex(int& index, int target, int count, bool forward);
inline void SwapInts(int& a, int& b) {
  int t = a;
  a = b;
  b = t;
}
// Whether control lies inside container (on it, or on a control on it).
bool IsControlInside(const TControl* control, const TControl* container);

// Null or Unassigned.
bool VarIsNullOrEmpty(const Variant& value);
// Both Unassigned: equal; exactly one Unassigned: unequal; arrays element by
// element (arrays of other bounds are unequal); other values by the variant
// comparison.
bool VarEquals(const Variant& a, const Variant& b);

// The toolkit's weekday number (Sunday = 1 ... Saturday = 7) of the first day
// of the week, from the locale setting ("0" Monday ... "6" Sunday).
int FirstDayOfWeek(const AnsiString& locale_setting);
// The same for the program's locale (Russian: Monday, 2).
int FirstDayOfWeek();

// ---- Objects as strings ---------------------------------------------------------
// Component streams (toolkit/core/filer.h) kept in a string: the binary form
// as its bytes ("TPF0" first), or its text form (toolkit/core/objtext.h).

// The wrapper that carries a persistent that is not a component as the root
// of a component stream. It does not own Data.
class TUniDataStorage : public TComponent {
  KIV7_PERSISTENT(TUniDataStorage)

 public:
  using TComponent::TComponent;

  // A free text that travels with the data; empty by default.
  const AnsiString& Description() const { return description_; }
  void SetDescription(const AnsiString& value) { description_ = value; }
  // The object streamed as the property Data (not owned).
  TPersistent* Data() const { return data_; }
  void SetData(TPersistent* value) { data_ = value; }

 private:
  AnsiString description_;
  TPersistent* data_ = nullptr;
};

// instance written as the root of a component stream, as text or as the bytes.
// A nullptr instance raises EInvalidPointer.
AnsiString ComponentToString(TComponent* instance, bool as_text);
// Reads text (text or binary form) into the existing instance as root and
// returns it; an empty text reads nothing and returns nullptr. Stream and
// parser errors reach the caller.
TComponent* StringToComponent(TComponent* instance, const AnsiString& text, bool as_text);
// A component as ComponentToString (description unused); any other
// persistent inside a TUniDataStorage with that description.
AnsiString PersistentToString(TPersistent* instance, const AnsiString& description, bool as_text);
// The reverse; an empty text does nothing. A stored description is dropped.
void StringToPersistent(TPersistent* instance, const AnsiString& text, bool as_text);
