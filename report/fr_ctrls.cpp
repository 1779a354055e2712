#include "report/fr_ctrls.h"

#include <algorithm>

#include "toolkit/core/colors.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/sys/settings.h"
#include "toolkit/ui/extctrls.h"
#include "toolkit/ui/forms.h"
#include "toolkit/ui/stdctrls.h"

namespace {

AnsiString FormSection(const TForm& form) { return "Form\\" + form.ClassName(); }

}  // namespace

const AnsiString& frRegRootKey() {
  static const AnsiString root = "Software\\ReportEngine";
  return root;
}

void SaveFormPosition(TForm& form, const std::string& file_path) {
  TRegistryIniFile ini(frRegRootKey(), file_path);
  const AnsiString section = FormSection(form);
  ini.WriteInteger(section, "XPosition", form.Left());
  ini.WriteInteger(section, "YPosition", form.Top());
  ini.WriteInteger(section, "Width", form.Width());
  ini.WriteInteger(section, "Height", form.Height());
  ini.WriteBool(section, "Maximized", form.WindowState() == wsMaximized);
}

void RestoreFormPosition(TForm& form, const std::string& file_path) {
  const TRegistryIniFile ini(frRegRootKey(), file_path);
  const AnsiString section = FormSection(form);
  if (!ini.ReadBool(section, "Maximized", true)) form.SetWindowState(wsNormal);
  int width = ini.ReadInteger(section, "Width", form.Width());
  int height = ini.ReadInteger(section, "Height", form.Height());
  // A size no window can have would leave it invisible.
  if (width < 1) width = form.Width();
  if (height < 1) height = form.Height();
  const int top = ini.ReadInteger(section, "YPosition", form.Top());
  const int left = ini.ReadInteger(section, "XPosition", form.Left());
  form.SetBounds(left, top, width, height);
}

// ---- Toolbar controls ------------------------------------------------------------

TColor GreyOf(TColor color) {
  const int r = color & 0xFF, g = (color >> 8) & 0xFF, b = (color >> 16) & 0xFF;
  const int grey = (r * 77 + g * 150 + b * 29) >> 8;
  return grey | (grey << 8) | (grey << 16);
}

void DrawTransparent(TCanvas& canvas, int x, int y, TBitmap& image, TColor transparent) {
  TCanvas& source = image.Canvas();
  for (int j = 0; j < image.Height(); ++j)
    for (int i = 0; i < image.Width(); ++i) {
      const TColor pixel = source.Pixel(i, j);
      if (pixel != transparent) canvas.SetPixel(x + i, y + j, pixel);
    }
}

namespace {

void FrameRect(TCanvas& canvas, const TRect& r, TColor top_left, TColor bottom_right) {
  canvas.Pen().SetColor(top_left);
  canvas.MoveTo(r.Left, r.Bottom - 1);
  canvas.LineTo(r.Left, r.Top);
  canvas.LineTo(r.Right - 1, r.Top);
  canvas.Pen().SetColor(bottom_right);
  canvas.LineTo(r.Right - 1, r.Bottom - 1);
  canvas.LineTo(r.Left - 1, r.Bottom - 1);
}

// Where glyph and caption stand along one axis of `length`.
void PlaceOnAxis(int length, int glyph, int caption, int margin, int spacing, int& glyph_pos, int& caption_pos) {
  if (glyph == 0 || caption == 0) spacing = 0;
  if (margin == -1 && spacing == -1) {
    const int third = (length - glyph - caption) / 3;
    margin = spacing = third;
  } else if (margin == -1) {
    margin = (length - glyph - spacing - caption) / 2;
  } else if (spacing == -1) {
    spacing = (length - margin - glyph - caption) / 2;
  }
  glyph_pos = margin;
  caption_pos = margin + glyph + spacing;
}

// What all buttons share. Plain pointers: what they hold goes with the last
// button (or glyph list), never at the program's end.
struct SharedButtonParts {
  TGlyphCache* cache = nullptr;
  // 8 × 8: the button face with white where x and y have the same parity.
  TBitmap* pattern = nullptr;
  TBitmap* off_screen = nullptr;
  int buttons = 0;
};
SharedButtonParts shared;

constexpr int kOffScreenSize = 100;

TBitmap& PatternBitmap() {
  if (shared.pattern == nullptr) {
    shared.pattern = new TBitmap;
    shared.pattern->SetSize(8, 8);
    TCanvas& canvas = shared.pattern->Canvas();
    canvas.Brush().SetColor(clBtnFace);
    canvas.FillRect(TRect{0, 0, 8, 8});
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x)
        if ((x & 1) == (y & 1)) canvas.SetPixel(x, y, clWhite);
  }
  return *shared.pattern;
}

TBitmap& OffScreenBitmap() {
  if (shared.off_screen == nullptr) {
    shared.off_screen = new TBitmap;
    shared.off_screen->SetSize(kOffScreenSize, kOffScreenSize);
  }
  return *shared.off_screen;
}

}  // namespace

// ---- Glyph images ----------------------------------------------------------------

TGlyphList::TGlyphList(int width, int height) : TImageList(nullptr) {
  SetWidth(width);
  SetHeight(height);
}

int TGlyphList::AddMasked(TBitmap& image, TColor mask_color) {
  const auto free = std::find(used_.begin(), used_.end(), false);
  int index;
  if (free != used_.end()) {
    index = int(free - used_.begin());
    ReplaceMasked(index, image, mask_color);
    used_[size_t(index)] = true;
  } else {
    index = TImageList::AddMasked(image, mask_color);
    used_.push_back(true);
  }
  ++used_count_;
  return index;
}

void TGlyphList::Delete(int index) {
  if (index < 0 || index >= int(used_.size()) || !used_[size_t(index)]) return;
  used_[size_t(index)] = false;
  --used_count_;
}

TGlyphList* TGlyphCache::GetList(int width, int height) {
  for (const auto& list : lists_)
    if (list->Width() == width && list->Height() == height) return list.get();
  lists_.push_back(std::make_unique<TGlyphList>(width, height));
  return lists_.back().get();
}

void TGlyphCache::ReturnList(TGlyphList* list) {
  if (list == nullptr || list->UsedCount() != 0) return;
  std::erase_if(lists_, [list](const auto& held) { return held.get() == list; });
}

const TGlyphCache* GlyphCache() { return shared.cache; }

TButtonGlyph::TButtonGlyph() {
  original_.OnChange = [this] { GlyphChanged(); };
}

TButtonGlyph::~TButtonGlyph() {
  original_.OnChange = nullptr;
  Invalidate();
}

void TButtonGlyph::SetGlyph(const TBitmap& value) { original_.Assign(value); }

int TButtonGlyph::StripCount() const {
  if (original_.Empty() || original_.Width() % original_.Height() != 0) return 0;
  const int count = original_.Width() / original_.Height();
  return count < 5 ? count : 1;
}

void TButtonGlyph::GlyphChanged() {
  Invalidate();
  transparent_ = original_.Empty() ? 0x008080 : original_.Canvas().Pixel(0, original_.Height() - 1);
  if (StripCount() != 0) num_glyphs_ = StripCount();
  if (OnChange) OnChange();
}

void TButtonGlyph::SetNumGlyphs(int value) {
  value = std::clamp(value, 1, 4);
  if (num_glyphs_ == value) return;
  Invalidate();
  num_glyphs_ = value;
}

void TButtonGlyph::Invalidate() {
  if (list_ == nullptr) return;
  for (int& index : indices_) {
    list_->Delete(index);
    index = -1;
  }
  shared.cache->ReturnList(list_);
  list_ = nullptr;
  if (shared.cache->ListCount() == 0) {
    delete shared.cache;
    shared.cache = nullptr;
  }
}

int TButtonGlyph::CreateButtonGlyph(TfrButtonState state) {
  int& slot = indices_[static_cast<size_t>(state)];
  if (slot != -1) return slot;
  if (original_.Empty()) return -1;
  const int width = Width();
  const int height = Height();
  int index = state == bsInactive ? 0 : static_cast<int>(state);
  if (state == bsDown && num_glyphs_ < 3) index = 0;
  if (index >= num_glyphs_) index = 0;
  TBitmap image;
  image.SetSize(width, height);
  TCanvas& source = original_.Canvas();
  TCanvas& target = image.Canvas();
  const TColor face = ColorToRGB(clBtnFace);
  if (state == bsDisabled) {
    // Embossed: the image's shape in white one pixel down and right, then in
    // the shadow grey.
    const int from = num_glyphs_ > 1 ? width : 0;
    target.Brush().SetColor(transparent_);
    target.FillRect(TRect{0, 0, width, height});
    for (const auto& [dx, color] : {std::pair{1, ColorToRGB(clBtnHighlight)}, std::pair{0, ColorToRGB(clBtnShadow)}})
      for (int j = 0; j < height; ++j)
        for (int i = 0; i < width; ++i) {
          const TColor pixel = source.Pixel(from + i, j);
          if (pixel != transparent_ && pixel != face && i + dx < width && j + dx < height)
            target.SetPixel(i + dx, j + dx, color);
        }
  } else {
    for (int j = 0; j < height; ++j)
      for (int i = 0; i < width; ++i) {
        TColor pixel = source.Pixel(index * width + i, j);
        if (state == bsInactive && pixel != transparent_ && pixel != face) pixel = GreyOf(pixel);
        target.SetPixel(i, j, pixel);
      }
  }
  if (list_ == nullptr) {
    if (shared.cache == nullptr) shared.cache = new TGlyphCache;
    list_ = shared.cache->GetList(width, height);
  }
  slot = list_->AddMasked(image, transparent_);
  return slot;
}

void TButtonGlyph::Draw(TCanvas& canvas, int x, int y, TfrButtonState state) {
  const int index = CreateButtonGlyph(state);
  if (index != -1) list_->Draw(canvas, x, y, index);
}

// ---- Speed buttons ---------------------------------------------------------------

TfrSpeedButton::TfrSpeedButton(TComponent* owner) : TGraphicControl(owner) {
  ++shared.buttons;
  glyph_.OnChange = [this] { Invalidate(); };
  SetBounds(0, 0, 22, 22);
}

TfrSpeedButton::~TfrSpeedButton() {
  glyph_.Invalidate();
  if (--shared.buttons > 0) return;
  delete shared.pattern;
  shared.pattern = nullptr;
  delete shared.off_screen;
  shared.off_screen = nullptr;
}

const TBitmap* TfrSpeedButton::SharedOffScreen() { return shared.off_screen; }

namespace {

const TTypeInfo& FontStylesType() {
  static const TTypeInfo style =
      TTypeInfo::Enumeration("TFontStyle", {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"});
  static const TTypeInfo styles = TTypeInfo::SetOf("TFontStyles", style);
  return styles;
}

}  // namespace

const TClassInfo& TfrFontProperties::StaticClassInfo() {
  using C = TfrFontProperties;
  static const TClassInfo info(kClassOf<C>, "TFont", &TPersistent::StaticClassInfo(), [](TPublisher<C>& p) {
    p.Ordinal("Color", TypeInfoTColor(), &C::Color, &C::SetColor);
    p.Integer("Height", &C::Height, &C::SetHeight);
    p.String("Name", &C::Name, &C::SetName);
    p.Ordinal("Style", FontStylesType(), &C::Style, &C::SetStyle);
  });
  return info;
}

const TClassInfo& TfrSpeedButton::StaticClassInfo() {
  using C = TfrSpeedButton;
  static const TTypeInfo layout =
      TTypeInfo::Enumeration("TButtonLayout", {"blGlyphLeft", "blGlyphRight", "blGlyphTop", "blGlyphBottom"});
  // GroupIndex before Down: only a button of a group can be read in as down.
  static const TClassInfo info(kClassOf<C>, "TfrSpeedButton", &TComponent::StaticClassInfo(), [](TPublisher<C>& p) {
    p.Boolean("AllowAllUp", &C::AllowAllUp, &C::SetAllowAllUp).WithDefault(false);
    p.Integer("GroupIndex", &C::GroupIndex, &C::SetGroupIndex).WithDefault(0);
    p.Boolean("Down", &C::Down, &C::SetDown).WithDefault(false);
    p.Boolean("Flat", &C::Flat, &C::SetFlat).WithDefault(false);
    p.String("Caption", [](const C& c) { return c.Caption(); }, [](C& c, const AnsiString& v) { c.SetCaption(v); });
    p.Boolean("Enabled", [](const C& c) { return c.Enabled(); }, [](C& c, bool v) { c.SetEnabled(v); })
        .WithDefault(true);
    // Written only when it is the button's own.
    p.Object("Font", TfrFontProperties::StaticClassInfo(),
             [](const C& c) -> TPersistent* { return const_cast<C&>(c).FontProperties(); })
        .StoredWhen([](const TPersistent& o) { return !static_cast<const C&>(o).ParentFont(); });
    // Read before NumGlyphs, which a stored strip sets and a stored count then
    // overrides.
    p.Object("Glyph", TBitmap::StaticClassInfo(),
             [](const C& c) -> TPersistent* { return const_cast<C&>(c).GlyphBitmap(); });
    p.Boolean("GrayedInactive", &C::GrayedInactive, &C::SetGrayedInactive).WithDefault(true);
    p.Ordinal("Layout", layout, &C::Layout, &C::SetLayout).WithDefault(blGlyphLeft);
    p.Integer("Margin", &C::Margin, &C::SetMargin).WithDefault(-1);
    // Written when it is not what the glyph's strip gives on reading.
    p.Integer("NumGlyphs", &C::NumGlyphs, &C::SetNumGlyphs).StoredWhen([](const TPersistent& o) {
      const TButtonGlyph& glyph = static_cast<const C&>(o).ButtonGlyph();
      return glyph.NumGlyphs() != std::max(glyph.StripCount(), 1);
    });
    p.Boolean("ParentFont", &C::ParentFont, &C::SetParentFont).WithDefault(true);
    p.Boolean("ParentShowHint", &C::ParentShowHint, &C::SetParentShowHint).WithDefault(true);
    // Written only when it is the button's own.
    p.Boolean("ShowHint", [](const C& c) { return c.ShowHint(); }, &C::SetShowHint)
        .StoredWhen([](const TPersistent& o) { return !static_cast<const C&>(o).ParentShowHint(); });
    p.Integer("Spacing", &C::Spacing, &C::SetSpacing).WithDefault(4);
    p.Boolean("Visible", [](const C& c) { return c.Visible(); }, [](C& c, bool v) { c.SetVisible(v); })
        .WithDefault(true);
    static const TTypeInfo mouse = TTypeInfo::Simple("TMouseEvent", tkMethod);
    static const TTypeInfo mouse_move = TTypeInfo::Simple("TMouseMoveEvent", tkMethod);
    p.Event("OnClick", TypeInfoTNotifyEvent());
    p.Event("OnDblClick", TypeInfoTNotifyEvent());
    p.Event("OnMouseDown", mouse);
    p.Event("OnMouseMove", mouse_move);
    p.Event("OnMouseUp", mouse);
    p.Event("OnMouseEnter", TypeInfoTNotifyEvent());
    p.Event("OnMouseLeave", TypeInfoTNotifyEvent());
  });
  return info;
}

void TfrSpeedButton::SetParent(TWinControl* parent) {
  TGraphicControl::SetParent(parent);
  if (parent_font_) SetParentFont(true);
  if (parent_show_hint_) SetParentShowHint(true);
}

void TfrSpeedButton::SetParentFont(bool value) {
  parent_font_ = value;
  if (!value || Parent() == nullptr) return;
  taking_font_ = true;
  Font().Assign(Parent()->Font());
  taking_font_ = false;
}

void TfrSpeedButton::SetParentShowHint(bool value) {
  parent_show_hint_ = value;
  if (value && Parent() != nullptr) TGraphicControl::SetShowHint(Parent()->ShowHint());
}

void TfrSpeedButton::SetShowHint(bool value) {
  parent_show_hint_ = false;
  TGraphicControl::SetShowHint(value);
}

void TfrSpeedButton::FontChanged() {
  TGraphicControl::FontChanged();
  if (!taking_font_) parent_font_ = false;
  Invalidate();
}

void TfrSpeedButton::SetAllowAllUp(bool value) {
  if (allow_all_up_ == value) return;
  allow_all_up_ = value;
  GroupChanged();
}

void TfrSpeedButton::SetGroupIndex(int value) {
  if (group_index_ == value) return;
  group_index_ = value;
  GroupChanged();
}

void TfrSpeedButton::SetDown(bool value) {
  if (group_index_ == 0) value = false;
  if (value == down_) return;
  if (down_ && !allow_all_up_) return;
  down_ = value;
  state_ = value ? bsExclusive : bsUp;
  Invalidate();
  if (value) GroupChanged();
}

// Tells the other buttons of the group on the same parent: they go up when
// this one is down, and take its AllowAllUp.
void TfrSpeedButton::GroupChanged() {
  if (group_index_ == 0 || Parent() == nullptr) return;
  TWinControl* parent = Parent();
  for (int i = 0; i < parent->ControlCount(); ++i) {
    auto* other = dynamic_cast<TfrSpeedButton*>(parent->Controls(i));
    if (other == nullptr || other == this || other->group_index_ != group_index_) continue;
    if (down_ && other->down_) {
      other->down_ = false;
      other->state_ = bsUp;
      other->Invalidate();
    }
    other->allow_all_up_ = allow_all_up_;
  }
}

void TfrSpeedButton::SetFlat(bool value) {
  if (flat_ == value) return;
  flat_ = value;
  Invalidate();
}

void TfrSpeedButton::SetGrayedInactive(bool value) {
  if (grayed_inactive_ == value) return;
  grayed_inactive_ = value;
  Invalidate();
}

void TfrSpeedButton::SetLayout(TButtonLayout value) {
  if (layout_ == value) return;
  layout_ = value;
  Invalidate();
}

void TfrSpeedButton::SetMargin(int value) {
  if (value < -1 || margin_ == value) return;
  margin_ = value;
  Invalidate();
}

void TfrSpeedButton::SetSpacing(int value) {
  if (spacing_ == value) return;
  spacing_ = value;
  Invalidate();
}

void TfrSpeedButton::SetNumGlyphs(int value) {
  const int before = glyph_.NumGlyphs();
  glyph_.SetNumGlyphs(value);
  if (glyph_.NumGlyphs() != before) Invalidate();
}

void TfrSpeedButton::SetGlyph(const TBitmap& value) { glyph_.SetGlyph(value); }

void TfrSpeedButton::SetEnabled(bool value) {
  TGraphicControl::SetEnabled(value);
  state_ = value ? (down_ ? bsExclusive : bsUp) : bsDisabled;
  glyph_.CreateButtonGlyph(value ? bsUp : bsDisabled);
  Invalidate();
}

void TfrSpeedButton::CaptionChanged() {
  TGraphicControl::CaptionChanged();
  Invalidate();
}

TfrButtonState TfrSpeedButton::PaintState() const {
  if (!Enabled()) return bsDisabled;
  if (grayed_inactive_ && flat_ && !mouse_in_ && state_ != bsDown) return bsInactive;
  if (state_ == bsDisabled) return down_ && group_index_ != 0 ? bsExclusive : bsUp;
  return state_;
}

void TfrSpeedButton::Paint() {
  TCanvas& canvas = Canvas();
  if (Width() > kOffScreenSize || Height() > kOffScreenSize) {
    PaintOn(canvas);
    return;
  }
  TBitmap& off_screen = OffScreenBitmap();
  TCanvas& target = off_screen.Canvas();
  target.Font().Assign(canvas.Font());
  PaintOn(target);
  canvas.DrawPart(0, 0, off_screen, TRect{0, 0, Width(), Height()});
}

void TfrSpeedButton::PaintOn(TCanvas& canvas) {
  const TfrButtonState state = PaintState();
  const TRect client{0, 0, Width(), Height()};
  canvas.Brush().SetColor(clBtnFace);
  canvas.FillRect(client);
  const bool pressed = state == bsDown || (!flat_ && state == bsExclusive);
  if (!flat_) {
    // The classic button face: raised when up, sunk when pressed or down.
    FrameRect(canvas, client, pressed ? clBtnShadow : clBtnHighlight, pressed ? clBtnHighlight : clBtnShadow);
  }
  const bool exclusive = flat_ ? Enabled() && down_ && !mouse_in_ && (state == bsExclusive || state == bsInactive)
                               : state == bsExclusive;
  if (exclusive) {
    // The checkered face of a button that stays down, inside its rim.
    TBitmap& pattern = PatternBitmap();
    canvas.PushClip(TRect{1, 1, Width() - 1, Height() - 1});
    for (int y = 0; y < Height(); y += pattern.Height())
      for (int x = 0; x < Width(); x += pattern.Width()) canvas.Draw(x, y, pattern);
    canvas.PopClip();
  }
  const int offset = pressed ? 1 : 0;
  const int glyph_width = glyph_.Width();
  const int glyph_height = glyph_.Height();
  const AnsiString caption = Caption();
  const int caption_width = caption.empty() ? 0 : canvas.TextWidth(caption);
  const int caption_height = caption.empty() ? 0 : canvas.TextHeight(caption);
  const bool horizontal = layout_ == blGlyphLeft || layout_ == blGlyphRight;
  const int along = horizontal ? Width() : Height();
  const int glyph_along = horizontal ? glyph_width : glyph_height;
  const int caption_along = horizontal ? caption_width : caption_height;
  int glyph_pos = 0, caption_pos = 0;
  PlaceOnAxis(along, glyph_along, caption_along, margin_, spacing_, glyph_pos, caption_pos);
  if (layout_ == blGlyphRight || layout_ == blGlyphBottom) {
    glyph_pos = along - glyph_pos - glyph_along;
    caption_pos = along - caption_pos - caption_along;
  }
  int gx, gy, cx, cy;
  if (horizontal) {
    gx = glyph_pos, cx = caption_pos;
    gy = (Height() - glyph_height) / 2, cy = (Height() - caption_height) / 2;
  } else {
    gy = glyph_pos, cy = caption_pos;
    gx = (Width() - glyph_width) / 2, cx = (Width() - caption_width) / 2;
  }
  glyph_.Draw(canvas, gx + offset, gy + offset, state);
  if (!caption.empty()) {
    canvas.Brush().SetStyle(bsClear);
    if (!Enabled()) {
      canvas.Font().SetColor(clWhite);
      canvas.TextOut(cx + 1, cy + 1, caption);
      canvas.Font().SetColor(0x808080);
    } else {
      canvas.Font().SetColor(Font().Color());
    }
    canvas.TextOut(cx + offset, cy + offset, caption);
    canvas.Brush().SetStyle(bsSolid);
  }
  if (flat_ && Enabled() && (mouse_in_ || down_ || state == bsDown)) {
    const bool sunk = state == bsDown || down_;
    FrameRect(canvas, client, sunk ? clBtnShadow : clBtnHighlight, sunk ? clBtnHighlight : clBtnShadow);
  }
}

void TfrSpeedButton::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TGraphicControl::MouseDown(button, shift, x, y);
  if (button != mbLeft || !Enabled() || shift.Contains(ssDouble)) return;
  if (!down_) {
    state_ = bsDown;
    Invalidate();
  }
  dragging_ = true;
}

void TfrSpeedButton::MouseMove(TShiftState shift, int x, int y) {
  TGraphicControl::MouseMove(shift, x, y);
  if (!dragging_) return;
  const TfrButtonState next = Inside(x, y) ? (down_ ? bsExclusive : bsDown) : (down_ ? bsExclusive : bsUp);
  if (next != state_) {
    state_ = next;
    Invalidate();
  }
}

void TfrSpeedButton::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  TGraphicControl::MouseUp(button, shift, x, y);
  if (!dragging_ || button != mbLeft) return;
  dragging_ = false;
  if (Inside(x, y) && group_index_ != 0) {
    SetDown(!down_);
  }
  state_ = down_ ? bsExclusive : bsUp;
  Invalidate();
}

void TfrSpeedButton::DblClick() {
  if (down_) TGraphicControl::DblClick();
}

void TfrSpeedButton::MouseEnter() {
  if (!flat_ || !Enabled()) return;
  mouse_in_ = true;
  if (OnMouseEnter) OnMouseEnter(this);
  Invalidate();
}

void TfrSpeedButton::MouseLeave() {
  if (!mouse_in_) return;
  mouse_in_ = false;
  if (OnMouseLeave) OnMouseLeave(this);
  Invalidate();
}

TAlign ToolbarAlign(const TWinControl& panel) {
  const TWinControl* holder = panel.Parent();
  const TAlign edge = holder != nullptr ? holder->Align() : alNone;
  return edge == alLeft || edge == alRight ? alTop : alLeft;
}

namespace {

void PlaceOnToolbar(TControl& control, TWinControl* parent) {
  if (parent != nullptr && dynamic_cast<TPanel*>(parent) != nullptr) control.SetAlign(ToolbarAlign(*parent));
}

}  // namespace

TfrTBButton::TfrTBButton(TComponent* owner) : TfrSpeedButton(owner) {
  SetAlign(alLeft);
  SetFlat(true);
}

// Aligned before it joins the panel, so that it keeps its own size across
// the bar.
void TfrTBButton::SetParent(TWinControl* parent) {
  PlaceOnToolbar(*this, parent);
  TfrSpeedButton::SetParent(parent);
}

TfrTBSeparator::TfrTBSeparator(TComponent* owner) : TGraphicControl(owner) {
  SetBounds(0, 0, 8, 8);
  SetAlign(alLeft);
}

void TfrTBSeparator::SetParent(TWinControl* parent) {
  PlaceOnToolbar(*this, parent);
  TGraphicControl::SetParent(parent);
}

void TfrTBSeparator::SetDrawBevel(bool value) {
  if (draw_bevel_ == value) return;
  draw_bevel_ = value;
  Invalidate();
}

void TfrTBSeparator::Paint() {
  TCanvas& canvas = Canvas();
  canvas.Brush().SetColor(clBtnFace);
  canvas.FillRect(TRect{0, 0, Width(), Height()});
  if (!draw_bevel_) return;
  const bool horizontal = Align() == alTop || Align() == alBottom;
  for (const auto& [shift, color] : {std::pair{0, clBtnShadow}, std::pair{1, clBtnHighlight}}) {
    canvas.Pen().SetColor(color);
    if (horizontal) {
      const int y = Height() / 2 - 1 + shift;
      canvas.MoveTo(2, y);
      canvas.LineTo(Width() - 2, y);
    } else {
      const int x = Width() / 2 - 1 + shift;
      canvas.MoveTo(x, 2);
      canvas.LineTo(x, Height() - 2);
    }
  }
}
