// Drawing steps the grid's painting and its designers share.
#pragma once

#include "toolkit/gfx/graphics.h"

// The rectangle moved by (dx, dy).
inline TRect Moved(TRect r, int dx, int dy) {
  r.Left += dx, r.Right += dx, r.Top += dy, r.Bottom += dy;
  return r;
}

inline void FillWith(TCanvas& canvas, const TRect& rect, TColor color) {
  canvas.Brush().SetStyle(bsSolid);
  canvas.Brush().SetColor(color);
  canvas.FillRect(rect);
}

// Lines in the pen's style from the first point up to the second, which they
// do not cover.
inline void HLine(TCanvas& canvas, int x1, int x2, int y, TColor color) {
  canvas.Pen().SetColor(color);
  canvas.MoveTo(x1, y);
  canvas.LineTo(x2, y);
}

inline void VLine(TCanvas& canvas, int x, int y1, int y2, TColor color) {
  canvas.Pen().SetColor(color);
  canvas.MoveTo(x, y1);
  canvas.LineTo(x, y2);
}

// Solid lines that cover both end points; none when the second comes first.
inline void HLineThrough(TCanvas& canvas, int x1, int x2, int y, TColor color) {
  if (x2 < x1) return;
  canvas.Pen().SetColor(color);
  canvas.Pen().SetStyle(psSolid);
  canvas.MoveTo(x1, y);
  canvas.LineTo(x2 + 1, y);
}

inline void VLineThrough(TCanvas& canvas, int x, int y1, int y2, TColor color) {
  if (y2 < y1) return;
  canvas.Pen().SetColor(color);
  canvas.Pen().SetStyle(psSolid);
  canvas.MoveTo(x, y1);
  canvas.LineTo(x, y2 + 1);
}
