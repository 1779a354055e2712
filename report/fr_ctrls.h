// The report library's toolbar controls (a flat speed button whose glyph is
// grey while the mouse is not over it, the toolbar button and separator) and
// its window positions, kept per user in the settings store under the
// library's registry root.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/core/exceptions.h"  // AnsiString
#include "toolkit/gfx/graphics.h"
#include "toolkit/ui/comctrls.h"
#include "toolkit/ui/customctrl.h"

class TForm;

enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

// The states a speed button is drawn in.
enum TfrButtonState { bsUp, bsDisabled, bsDown, bsExclusive, bsInactive };

// The grey of a colour: (R·77 + G·150 + B·29) >> 8 in each channel.
TColor GreyOf(TColor color);

// Draws the image leaving out the pixels of the transparent colour.
void DrawTransparent(TCanvas& canvas, int x, int y, TBitmap& image, TColor transparent);

// The glyph images of one size, of every button whose glyph has that size.
// A place an image was freed from is taken by the next image added.
class TGlyphList : public TImageList {
 public:
  TGlyphList(int width, int height);
  // Adds a copy of the image, pixels of mask_color transparent, in the first
  // free place; returns its index.
  int AddMasked(TBitmap& image, TColor mask_color);
  // Frees the place of image index.
  void Delete(int index);
  // How many places hold an image in use.
  int UsedCount() const { return used_count_; }

 private:
  std::vector<bool> used_;
  int used_count_ = 0;
};

// The glyph lists of all buttons, one per image size.
class TGlyphCache {
 public:
  // The list of images of this size, made when there is none.
  TGlyphList* GetList(int width, int height);
  // Frees the list once none of its images is in use.
  void ReturnList(TGlyphList* list);
  int ListCount() const { return int(lists_.size()); }

 private:
  std::vector<std::unique_ptr<TGlyphList>> lists_;
};

// The cache all buttons share: made with the first glyph image, freed with
// its last list (nullptr while there is none).
const TGlyphCache* GlyphCache();

// A button's glyph: a strip of 1 to 4 images side by side (up, disabled,
// down, exclusive), its transparent colour, and the image of each state,
// made on first use in the shared list of its size.
class TButtonGlyph {
 public:
  TButtonGlyph();
  // Gives its images back.
  ~TButtonGlyph();
  TButtonGlyph(const TButtonGlyph&) = delete;
  TButtonGlyph& operator=(const TButtonGlyph&) = delete;

  const TBitmap& Glyph() const { return original_; }
  // The bitmap itself: a picture given to it (assigned, loaded, read from a
  // form) is taken as SetGlyph takes one.
  TBitmap& GlyphBitmap() { return original_; }
  // Takes the bitmap; a strip whose width is 1 to 4 times its height sets
  // NumGlyphs to that count (5 or more times sets 1).
  void SetGlyph(const TBitmap& value);
  int NumGlyphs() const { return num_glyphs_; }
  // The count the picture's shape gives: its width over its height when
  // that divides evenly (1 for 5 or more); 0 when it does not.
  int StripCount() const;
  // Values above 4 become 4, below 1 become 1.
  void SetNumGlyphs(int value);
  // The colour left out when the glyph is drawn: its bottom-left pixel, olive
  // before any glyph.
  TColor TransparentColor() const { return transparent_; }
  // The size of one image of the strip (0 × 0 without a glyph).
  int Width() const { return original_.Width() / num_glyphs_; }
  int Height() const { return original_.Height(); }
  // The index of the state's image in List(), made on first use; -1
  // without a glyph.
  int CreateButtonGlyph(TfrButtonState state);
  // The list holding its images; nullptr while none is made.
  const TGlyphList* List() const { return list_; }
  // Draws the state's image at (x, y), leaving out its transparent pixels.
  void Draw(TCanvas& canvas, int x, int y, TfrButtonState state);
  // Frees its images (and the list, and the cache, when they hold no other).
  void Invalidate();
  // Raised when it takes a new picture.
  std::function<void()> OnChange;

 private:
  void GlyphChanged();
  TBitmap original_;
  TColor transparent_ = 0x008080;
  int num_glyphs_ = 1;
  std::array<int, 5> indices_{-1, -1, -1, -1, -1};
  TGlyphList* list_ = nullptr;
};

// A control's font as a form stores it: colour, height, name and style.
class TfrFontProperties : public TPersistent {
  KIV7_PERSISTENT(TfrFontProperties)

 public:
  explicit TfrFontProperties(TFont& font) : font_(font) {}
  TColor Color() const { return font_.Color(); }
  void SetColor(TColor value) { font_.SetColor(value); }
  int Height() const { return font_.Height(); }
  void SetHeight(int value) { font_.SetHeight(value); }
  AnsiString Name() const { return font_.Name(); }
  void SetName(const AnsiString& value) { font_.SetName(value); }
  TFontStyles Style() const { return font_.Style(); }
  void SetStyle(TFontStyles value) { font_.SetStyle(value); }

 private:
  TFont& font_;
};

class TfrSpeedButton : public TGraphicControl {
  KIV7_PERSISTENT(TfrSpeedButton)

 public:
  explicit TfrSpeedButton(TComponent* owner);
  ~TfrSpeedButton() override;

  bool AllowAllUp() const { return allow_all_up_; }
  void SetAllowAllUp(bool value);
  int GroupIndex() const { return group_index_; }
  void SetGroupIndex(int value);
  // Only a button of a group stays down; a down button goes up by a click
  // only with AllowAllUp. A button that goes down raises the others of its
  // group on the same parent.
  bool Down() const { return down_; }
  void SetDown(bool value);
  bool Flat() const { return flat_; }
  void SetFlat(bool value);
  bool GrayedInactive() const { return grayed_inactive_; }
  void SetGrayedInactive(bool value);
  TButtonLayout Layout() const { return layout_; }
  void SetLayout(TButtonLayout value);
  // -1 centres; below -1 is ignored.
  int Margin() const { return margin_; }
  void SetMargin(int value);
  int Spacing() const { return spacing_; }
  void SetSpacing(int value);
  // 1 to 4 images side by side in the glyph: up, disabled, down, exclusive.
  int NumGlyphs() const { return glyph_.NumGlyphs(); }
  void SetNumGlyphs(int value);
  const TBitmap& Glyph() const { return glyph_.Glyph(); }
  // Takes the bitmap as TButtonGlyph::SetGlyph does.
  void SetGlyph(const TBitmap& value);
  TColor TransparentColor() const { return glyph_.TransparentColor(); }
  const TButtonGlyph& ButtonGlyph() const { return glyph_; }
  // The font and glyph as a form stores them.
  TfrFontProperties* FontProperties() { return &font_properties_; }
  TBitmap* GlyphBitmap() { return &glyph_.GlyphBitmap(); }
  // The picture all buttons of at most 100 × 100 are painted in before they
  // are shown: made on the first paint, freed with the last button (nullptr
  // then).
  static const TBitmap* SharedOffScreen();

  // The state the button shows now, and the one it is drawn in.
  TfrButtonState State() const { return state_; }
  TfrButtonState PaintState() const;
  bool MouseInControl() const { return mouse_in_; }

  void SetEnabled(bool value) override;
  // Placed on a parent, the button takes its font while ParentFont and its
  // ShowHint while ParentShowHint.
  void SetParent(TWinControl* parent) override;
  // The button's font follows its parent's; setting a font of its own
  // turns it off.
  bool ParentFont() const { return parent_font_; }
  void SetParentFont(bool value);
  // ShowHint follows the parent's; setting ShowHint turns it off.
  bool ParentShowHint() const { return parent_show_hint_; }
  void SetParentShowHint(bool value);
  void SetShowHint(bool value);

  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void DblClick() override;
  void MouseEnter() override;
  void MouseLeave() override;
  void CaptionChanged() override;
  void FontChanged() override;
  bool ClicksOnAccelerator() const override { return true; }

 private:
  void GroupChanged();
  // Paints the button on a canvas of at least its size.
  void PaintOn(TCanvas& canvas);
  bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < Width() && y < Height(); }

  bool allow_all_up_ = false;
  int group_index_ = 0;
  bool down_ = false;
  bool flat_ = false;
  bool grayed_inactive_ = true;
  TButtonLayout layout_ = blGlyphLeft;
  int margin_ = -1;
  int spacing_ = 4;
  TButtonGlyph glyph_;
  TfrFontProperties font_properties_{Font()};
  TfrButtonState state_ = bsUp;
  bool dragging_ = false;
  bool mouse_in_ = false;
  bool parent_font_ = true;
  bool parent_show_hint_ = true;
  // The font changes because the parent's is taken, not set by the user.
  bool taking_font_ = false;
};

// How a button or separator lines up on a tool bar panel: one below the
// other (alTop) when the panel's parent stands at a left or right edge (a
// tool bar down the side), else one beside the other (alLeft).
TAlign ToolbarAlign(const TWinControl& panel);

// A toolbar button: flat, aligned left, or as ToolbarAlign says once it is
// put on a panel.
class TfrTBButton : public TfrSpeedButton {
 public:
  explicit TfrTBButton(TComponent* owner);
  void SetParent(TWinControl* parent) override;
};

// A gap between toolbar buttons with an optional etched line through it;
// placed on a panel as the buttons are.
class TfrTBSeparator : public TGraphicControl {
 public:
  explicit TfrTBSeparator(TComponent* owner);
  void SetParent(TWinControl* parent) override;
  bool DrawBevel() const { return draw_bevel_; }
  void SetDrawBevel(bool value);

 protected:
  void Paint() override;

 private:
  bool draw_bevel_ = true;
};

// "Software\ReportEngine": the library's key in the current user's hive.
const AnsiString& frRegRootKey();

// Writes the form's left, top, width, height and whether it is maximized to
// the section "Form\" + its class name. `file_path` names another settings
// file (the user's by default).
void SaveFormPosition(TForm& form, const std::string& file_path = {});
// Takes them back: a form saved as not maximized shows normal (one never
// saved keeps its state); missing values keep the form's own, and a stored
// width or height below 1 keeps its size.
void RestoreFormPosition(TForm& form, const std::string& file_path = {});
