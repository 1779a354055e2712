#include "report/fr_view.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "report/FR_Pars.h"
#include "report/fr_page.h"
#include "toolkit/core/sysutils.h"

int frClampedCoordinate(int64_t value) {
  return static_cast<int>(std::clamp<int64_t>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

int frRoundedCoordinate(double value) {
  if (!(std::fabs(value) < 4e18)) return value > 0 ? std::numeric_limits<int>::max() : std::numeric_limits<int>::min();
  return frClampedCoordinate(PasRound(value));
}

TFont CreateRotatedFont(const TFont& font) {
  TFont turned;
  turned.Assign(font);
  turned.SetOrientation(900);
  return turned;
}

namespace {

int Clamped(int64_t value) { return frClampedCoordinate(value); }
int Round(double value) { return frRoundedCoordinate(value); }
int64_t Wide(int value) { return value; }

// The right and bottom edges of the whole object, from the stored geometry.
int ScaledRight(const TfrView& v) {
  return Clamped(Wide(Round((Wide(v.SavedGeometry.Left) + v.SavedGeometry.Width) * v.ScaleFactorX)) + v.OriginX);
}
int ScaledBottom(const TfrView& v) {
  return Clamped(Wide(Round((Wide(v.SavedGeometry.Top) + v.SavedGeometry.Height) * v.ScaleFactorY)) + v.OriginY);
}

constexpr uint16_t kAllEdges = frbRight | frbBottom | frbLeft | frbTop;

// Whether a candidate neighbour lies on the row of `view`.
bool SameRow(const TfrView& view, TfrView& candidate) {
  TfrBuildHost& host = frBuildHost();
  const std::optional<TfrBandPlacement> band = frPrinting() ? host.CurrentBand() : std::nullopt;
  if (!band) return candidate.Top == view.Top;
  // The band has moved this object down for printing; its neighbours on the
  // template still stand at the template row.
  const int t = host.InLooseBand(candidate) ? view.Top : view.Top - band->Top;
  if (candidate.Top == t) return true;
  return host.CurrentBandStretched() && candidate.Top == view.Top;
}

// Left edges compare as at-least-four-digit texts, as the stored order does:
// "%4.4d" keeps negative and five-digit edges in text order.
AnsiString EdgeKey(int left) { return Format("%4.4d", {left}); }

// The left-aligned neighbour with the greatest left edge below view's, or the
// right-aligned one with the smallest left edge above it.
TfrView* FindNeighbour(TfrView& view, bool left_side) {
  const AnsiString own = EdgeKey(view.Left);
  TfrView* best = nullptr;
  AnsiString best_key;
  for (TfrView* candidate : frBuildHost().PageObjects()) {
    if (candidate == nullptr || candidate == &view || candidate->TypeCode == gtBand) continue;
    if (candidate->BandAlign != (left_side ? baLeft : baRight)) continue;
    if (!SameRow(view, *candidate)) continue;
    const AnsiString key = EdgeKey(candidate->Left);
    if (left_side) {
      // The earliest in page order wins among equal edges.
      if (key < own && (best == nullptr || key > best_key)) best = candidate, best_key = key;
    } else {
      // The latest in page order wins among equal edges.
      if (key > own && (best == nullptr || key <= best_key)) best = candidate, best_key = key;
    }
  }
  return best;
}

}  // namespace

void BeginDraw(TfrView& view, TCanvas* canvas) {
  view.Canvas = canvas;
  if (TfrBuildContext* context = frBuildContext()) context->CurView = &view;
  TfrBuildHost& host = frBuildHost();
  const std::optional<std::pair<int, int>> limits = host.PageLimits();
  if (!limits) return;
  const int L = limits->first;
  const int R = limits->second;
  const bool band_current = host.CurrentBand().has_value();
  switch (view.BandAlign) {
    case baLeft:
    case baRest: {
      TfrView* n = FindNeighbour(view, true);
      view.Left = n != nullptr ? Clamped(Wide(n->Left) + n->Width) : L;
      if (view.BandAlign == baRest) {
        TfrView* r = FindNeighbour(view, false);
        view.Width = Clamped(Wide(r != nullptr ? r->Left : R) - view.Left);
      }
      break;
    }
    case baRight: {
      TfrView* n = FindNeighbour(view, false);
      view.Left = Clamped(n != nullptr ? Wide(n->Left) - view.Width - 1 : Wide(R) - view.Width);
      break;
    }
    case baCenter:
      view.Left = Clamped(L + (Wide(R) - L - view.Width) / 2);
      break;
    case baWidth:
      // A band spans the page's width only while printing outside a band;
      // cross bands and designer placement need a designer.
      if (!frPrinting()) {
        view.Left = L;
        view.Width = Clamped(Wide(R) - L);
      } else if (!band_current) {
        view.Left = L;
        view.Width = Clamped(Wide(R) - L - 1);
      }
      break;
    default:
      // Bottom and top alignment move objects only in a designer; the printed
      // band places them (PrintToPage).
      break;
  }
}

void ExpandVariables(TfrView& view, AnsiString& text) {
  TfrBuildHost& host = frBuildHost();
  size_t i = 0;
  while (true) {
    if (i >= text.size()) break;
    if (text[i] != '[') {
      ++i;
      continue;
    }
    size_t j = i;
    const AnsiString inner = ReadBracketed(text, i, &j);
    if (j == i) break;
    const AnsiString value = host.ExpandValue(view, inner);
    text.replace(i, j - i + 1, value);
    i += value.size();
  }
}

void ApplyViewScale(TfrView& v) {
  TfrSavedGeometry& s = v.SavedGeometry;
  s = {v.Left, v.Top, v.Width, v.Height, v.FrameWidth, v.GapX, v.GapY};
  if (!frPrinting()) {
    v.ScaleFactorX = v.ScaleFactorY = 1.0;
    v.OriginX = v.OriginY = 0;
  }
  const double sx = v.ScaleFactorX;
  const double sy = v.ScaleFactorY;
  v.Left = Clamped(Wide(Round(s.Left * sx)) + v.OriginX);
  v.Top = Clamped(Wide(Round(s.Top * sy)) + v.OriginY);
  v.Width = Round(s.Width * sx);
  v.Height = Round(s.Height * sy);
  const double fw = s.FrameWidth;
  const int wx1 = Round((fw * sx - 1) / 2);
  const int wx2 = Round(fw * sx / 2);
  const int wy1 = Round((fw * sy - 1) / 2);
  const int wy2 = Round(fw * sy / 2);
  v.FrameWidth = fw * sx;
  // The horizontal gap grows by the whole half frame, the vertical by half of it.
  v.GapX = Clamped(Wide(wx2) + Round(s.GapX * sx));
  v.GapY = Clamped(Wide(wy2) / 2 + Round(s.GapY * sy));
  int64_t right = ScaledRight(v);
  int64_t bottom = ScaledBottom(v);
  int64_t left = v.Left;
  int64_t top = v.Top;
  if (v.FrameTyp & frbRight) right -= wx2;
  if (v.FrameTyp & frbBottom) bottom -= wy2;
  if (v.FrameTyp & frbLeft) left += wx1;
  if (v.FrameTyp & frbTop) top += wy1;
  v.PaintRect = Rect(Clamped(left), Clamped(top), Clamped(right + 1), Clamped(bottom + 1));
}

void RestoreViewGeometry(TfrView& v) {
  const TfrSavedGeometry& s = v.SavedGeometry;
  v.Left = s.Left;
  v.Top = s.Top;
  v.Width = s.Width;
  v.Height = s.Height;
  v.FrameWidth = s.FrameWidth;
  v.GapX = s.GapX;
  v.GapY = s.GapY;
}

void PaintViewFill(TfrView& v) {
  if (frBuildOrNone().PaintsSkipped || v.Canvas == nullptr) return;
  // "No fill" paints nothing on paper; a designer shows the page's white.
  if (frPrinting() && v.FillColor == clNone) return;
  TCanvas& c = *v.Canvas;
  c.Brush().SetStyle(bsSolid);
  c.Brush().SetColor(v.FillColor == clNone ? clWhite : v.FillColor);
  if (frPrinting())
    c.FillRect(Rect(v.Left, v.Top, ScaledRight(v), ScaledBottom(v)));
  else
    c.FillRect(v.PaintRect);
}

void DrawFrameLine(TfrView& v, int x1, int y1, int x2, int y2) {
  TCanvas& c = *v.Canvas;
  // A stroke from (x1, y1) to (x2, y2) moved by (dx, dy).
  const auto stroke = [&c, x1, y1, x2, y2](int64_t dx, int64_t dy) {
    c.MoveTo(Clamped(x1 + dx), Clamped(y1 + dy));
    c.LineTo(Clamped(x2 + dx), Clamped(y2 + dy));
  };
  const bool vertical = x1 == x2;
  if (v.FrameStyle != frsSolid && v.FrameStyle != frsDouble) {
    // Dashed pens wider than one pixel are drawn as parallel thin strokes;
    // their gaps show the fill, and nothing where there is none.
    if (v.FillColor == clNone) {
      c.Brush().SetStyle(bsClear);
    } else {
      c.Brush().SetStyle(bsSolid);
      c.Brush().SetColor(v.FillColor);
    }
    const int w = c.Pen().Width();
    c.Pen().SetWidth(1);
    for (int d = -(w / 2); d <= w - 1 - w / 2; ++d) {
      if (vertical)
        stroke(d, 0);
      else
        stroke(0, d);
    }
    c.Pen().SetWidth(w);
  } else if (v.FrameStyle != frsDouble) {
    c.MoveTo(x1, y1);
    c.LineTo(x2, y2);
  } else {
    const int w = Round(v.FrameWidth);
    const int dx = vertical ? w : 0;
    const int dy = vertical ? 0 : w;
    stroke(-dx, -dy);
    // The middle line is the fill's colour: without a fill nothing is painted there.
    if (v.FillColor != clNone) {
      c.Pen().SetColor(v.FillColor);
      c.MoveTo(x1, y1);
      c.LineTo(x2, y2);
      c.Pen().SetColor(v.FrameColor);
    }
    stroke(dx, dy);
  }
}

void PaintViewBorder(TfrView& v) {
  if (frBuildOrNone().PaintsSkipped || v.Canvas == nullptr) return;
  if (frPrinting() && (v.FrameTyp & kAllEdges) == 0) return;
  TCanvas& c = *v.Canvas;
  c.Brush().SetStyle(bsSolid);
  c.Pen().SetStyle(psSolid);
  if (!frPrinting() && v.Width > 0 && v.Height > 0) {
    // Corner marks show where an object without a frame lies.
    c.Pen().SetColor(clBlack);
    c.Pen().SetWidth(1);
    const int64_t l = v.Left, t = v.Top, r = Wide(v.Left) + v.Width, b = Wide(v.Top) + v.Height;
    const auto at = [](int64_t x, int64_t y) { return TPoint{Clamped(x), Clamped(y)}; };
    const TPoint corners[4][3] = {{at(l, t + 3), at(l, t), at(l + 4, t)},
                                  {at(r - 4, t), at(r, t), at(r, t + 4)},
                                  {at(l, b - 3), at(l, b), at(l + 4, b)},
                                  {at(r - 4, b), at(r, b), at(r, b - 4)}};
    for (const auto& corner : corners) {
      c.MoveTo(corner[0].x, corner[0].y);
      c.LineTo(corner[1].x, corner[1].y);
      c.LineTo(corner[2].x, corner[2].y);
    }
  }
  if ((v.FrameTyp & kAllEdges) == 0) return;
  c.Pen().SetColor(v.FrameColor);
  c.Pen().SetWidth(Round(v.FrameWidth));
  c.Pen().SetStyle(v.FrameStyle <= frsDashDotDot ? static_cast<TPenStyle>(v.FrameStyle) : psSolid);
  const int xr = ScaledRight(v);
  const int yb = ScaledBottom(v);
  if ((v.FrameTyp & kAllEdges) == kAllEdges && v.FrameStyle == frsSolid) {
    // A whole plain frame is one outline rather than four strokes.
    c.Brush().SetStyle(bsClear);
    c.Rectangle(v.Left, v.Top, Clamped(Wide(xr) + 1), Clamped(Wide(yb) + 1));
    c.Brush().SetStyle(bsSolid);
    return;
  }
  if (v.FrameTyp & frbRight) DrawFrameLine(v, xr, v.Top, xr, yb);
  if (v.FrameTyp & frbLeft) DrawFrameLine(v, v.Left, v.Top, v.Left, yb);
  if (v.FrameTyp & frbBottom) DrawFrameLine(v, v.Left, yb, xr, yb);
  if (v.FrameTyp & frbTop) DrawFrameLine(v, v.Left, v.Top, xr, v.Top);
}

TRect ViewClipRegion(const TfrView& v, bool with_margin) {
  const double fw = v.FrameWidth;
  int a = Round(fw / 2);
  int b = Round((fw - 1) / 2);
  if (v.FrameStyle == frsDouble) {
    a = Round(1.5 * fw);
    b = Round(fw + (fw - 1) / 2);
  }
  int64_t left = v.Left, top = v.Top, right = Wide(v.Left) + v.Width + 1, bottom = Wide(v.Top) + v.Height + 1;
  if (v.FrameTyp & frbRight) right += b;
  if (v.FrameTyp & frbBottom) bottom += b;
  if (v.FrameTyp & frbLeft) left -= a;
  if (v.FrameTyp & frbTop) top -= a;
  const int margin = with_margin ? 10 : 0;
  return Rect(Clamped(left - margin), Clamped(top - margin), Clamped(right + margin), Clamped(bottom + margin));
}
