#include "toolkit/gfx/edges.h"

#include <algorithm>

namespace {

// Fills with a colour and leaves the canvas's brush as it was.
class Filler {
 public:
  explicit Filler(TCanvas& canvas) : canvas_(canvas) { saved_.Assign(canvas.Brush()); }
  ~Filler() { canvas_.Brush().Assign(saved_); }
  void Fill(int left, int top, int right, int bottom, TColor color) {
    if (right <= left || bottom <= top) return;
    canvas_.Brush().SetStyle(bsSolid);
    canvas_.Brush().SetColor(color);
    canvas_.FillRect(Rect(left, top, right, bottom));
  }

 private:
  TCanvas& canvas_;
  TBrush saved_;
};

// One pixel of frame on the sides given: light first, then dark, so that
// the dark colour owns the top-right and bottom-left corners.
void Ring(Filler& f, const TRect& r, unsigned sides, TColor light, TColor dark) {
  if (sides & BF_TOP) f.Fill(r.Left, r.Top, r.Right - 1, r.Top + 1, light);
  if (sides & BF_LEFT) f.Fill(r.Left, r.Top, r.Left + 1, r.Bottom - 1, light);
  if (sides & BF_RIGHT) f.Fill(r.Right - 1, r.Top, r.Right, r.Bottom, dark);
  if (sides & BF_BOTTOM) f.Fill(r.Left, r.Bottom - 1, r.Right, r.Bottom, dark);
}

void Shrink(TRect& r, unsigned sides) {
  if (sides & BF_LEFT) ++r.Left;
  if (sides & BF_TOP) ++r.Top;
  if (sides & BF_RIGHT) --r.Right;
  if (sides & BF_BOTTOM) --r.Bottom;
}

// An arrow of rows 1, 3, 5 ... pixels wide pointing as direction says,
// centred in r.
void Arrow(Filler& f, const TRect& r, unsigned direction, TColor color, int dx, int dy) {
  const int size = std::min(r.Width(), r.Height());
  const int rows = std::max(1, size / 4);
  const int cx = r.Left + r.Width() / 2 + dx;
  const int cy = r.Top + r.Height() / 2 + dy;
  for (int i = 0; i < rows; ++i) {
    const int half = i;  // row i is 2i + 1 pixels wide, counted from the tip
    switch (direction) {
      case DFCS_SCROLLUP: {
        const int y = cy - rows / 2 + i;
        f.Fill(cx - half, y, cx + half + 1, y + 1, color);
        break;
      }
      case DFCS_SCROLLLEFT: {
        const int x = cx - rows / 2 + i;
        f.Fill(x, cy - half, x + 1, cy + half + 1, color);
        break;
      }
      case DFCS_SCROLLRIGHT: {
        const int x = cx + rows / 2 - i;
        f.Fill(x, cy - half, x + 1, cy + half + 1, color);
        break;
      }
      default: {  // down, and the combo box button
        const int y = cy + rows / 2 - i;
        f.Fill(cx - half, y, cx + half + 1, y + 1, color);
        break;
      }
    }
  }
}

}  // namespace

bool DrawEdge(TCanvas& canvas, TRect& rect, unsigned edge, unsigned flags) {
  if (rect.Width() <= 0 || rect.Height() <= 0) return false;
  Filler f(canvas);
  TRect r = rect;
  const unsigned sides = flags & BF_RECT;
  TColor outer_light, outer_dark, inner_light, inner_dark, face;
  if (flags & BF_MONO) {
    outer_light = outer_dark = clWindowFrame;
    inner_light = inner_dark = clWindow;
    face = clWindow;
  } else if (flags & BF_FLAT) {
    outer_light = outer_dark = clBtnShadow;
    inner_light = inner_dark = clBtnFace;
    face = clBtnFace;
  } else {
    outer_light = (edge & BDR_RAISEDOUTER) ? cl3DLight : clBtnShadow;
    outer_dark = (edge & BDR_RAISEDOUTER) ? cl3DDkShadow : clBtnHighlight;
    inner_light = (edge & BDR_RAISEDINNER) ? clBtnHighlight : cl3DDkShadow;
    inner_dark = (edge & BDR_RAISEDINNER) ? clBtnShadow : cl3DLight;
    face = clBtnFace;
  }
  if (edge & BDR_OUTER) {
    Ring(f, r, sides, outer_light, outer_dark);
    Shrink(r, sides);
  }
  if ((edge & BDR_INNER) && r.Width() > 0 && r.Height() > 0) {
    Ring(f, r, sides, inner_light, inner_dark);
    Shrink(r, sides);
  }
  if (flags & BF_MIDDLE) f.Fill(r.Left, r.Top, r.Right, r.Bottom, face);
  if (flags & BF_ADJUST) rect = r;
  return true;
}

bool DrawFrameControl(TCanvas& canvas, TRect& rect, unsigned type, unsigned state) {
  if (rect.Width() <= 0 || rect.Height() <= 0) return false;
  const bool pushed = (state & DFCS_PUSHED) != 0;
  const bool inactive = (state & DFCS_INACTIVE) != 0;
  unsigned style = BF_RECT | BF_MIDDLE;
  if (state & DFCS_FLAT) style |= BF_FLAT;
  if (state & DFCS_MONO) style |= BF_MONO;
  if (type == DFC_BUTTON && (state & 0x1F) == DFCS_BUTTONPUSH) {
    TRect face = rect;
    DrawEdge(canvas, face, pushed || (state & DFCS_CHECKED) ? EDGE_SUNKEN : EDGE_RAISED, style | BF_ADJUST);
    if (state & DFCS_ADJUSTRECT) rect = face;
    return true;
  }
  const unsigned kind = state & 0x1F;
  if (type == DFC_BUTTON && (kind == DFCS_BUTTONCHECK || kind == DFCS_BUTTON3STATE)) {
    const bool third = kind == DFCS_BUTTON3STATE && (state & DFCS_CHECKED);
    const int side = std::min(rect.Width(), rect.Height());
    TRect box = Bounds(rect.Left + (rect.Width() - side) / 2, rect.Top + (rect.Height() - side) / 2, side, side);
    DrawEdge(canvas, box, EDGE_SUNKEN, (style & ~BF_MIDDLE) | BF_ADJUST);
    Filler f(canvas);
    f.Fill(box.Left, box.Top, box.Right, box.Bottom, inactive || pushed || third ? clBtnFace : clWindow);
    if (state & DFCS_CHECKED) {
      // The classic mark: seven columns three pixels tall, down then up.
      static const int kDrop[] = {2, 3, 4, 3, 2, 1, 0};
      const int x0 = box.Left + (box.Width() - 7) / 2;
      const int y0 = box.Top + (box.Height() - 7) / 2;
      const TColor mark = inactive || third ? clGrayText : clWindowText;
      for (int i = 0; i < 7; ++i) f.Fill(x0 + i, y0 + kDrop[i], x0 + i + 1, y0 + kDrop[i] + 3, mark);
    }
    if (state & DFCS_ADJUSTRECT) rect = box;
    return true;
  }
  if (type == DFC_SCROLL) {
    const unsigned direction = state & 0xF;
    if (direction > DFCS_SCROLLRIGHT && direction != DFCS_SCROLLCOMBOBOX) return false;
    TRect face = rect;
    // A pressed arrow button is flat and its arrow moves down and right.
    DrawEdge(canvas, face, pushed ? EDGE_SUNKEN : EDGE_RAISED, (pushed ? style | BF_FLAT : style) | BF_ADJUST);
    Filler f(canvas);
    const int shift = pushed ? 1 : 0;
    if (inactive) {
      Arrow(f, face, direction, clBtnHighlight, shift + 1, shift + 1);
      Arrow(f, face, direction, clBtnShadow, shift, shift);
    } else {
      Arrow(f, face, direction, clBtnText, shift, shift);
    }
    if (state & DFCS_ADJUSTRECT) rect = face;
    return true;
  }
  return false;
}

void Frame3D(TCanvas& canvas, TRect& rect, TColor top_color, TColor bottom_color, int width) {
  Filler f(canvas);
  for (int i = 0; i < width && rect.Width() > 0 && rect.Height() > 0; ++i) {
    Ring(f, rect, BF_RECT, top_color, bottom_color);
    Shrink(rect, BF_RECT);
  }
}
