// The drawing steps every report object shares: band alignment (BeginDraw),
// scaled geometry (ApplyScale / RestoreGeometry), fill, frame, clip region and
// the expansion of bracketed expressions in a text.
//
// Geometry is in page pixels; a drawing maps x to x * ScaleFactorX + OriginX
// and y to y * ScaleFactorY + OriginY. Products are rounded to the nearest
// integer with halves to even (PasRound); "div" cuts toward zero.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "report/fr_class.h"

// Geometry comes from files: a sum or product taken in 64 bits and held to
// the range of a coordinate, so that no value a damaged file holds overflows;
// a product rounded to the nearest coordinate the same way.
int frClampedCoordinate(int64_t value);
int frRoundedCoordinate(double value);

// The font of turned text: the same font, its base line turned to read upwards.
TFont CreateRotatedFont(const TFont& font);

// Stores the canvas, makes the object current and applies its band alignment.
void BeginDraw(TfrView& view, TCanvas* canvas);
// Replaces every bracketed expression of `text` by its value text; a value is
// not scanned again, so brackets inside it stay.
void ExpandVariables(TfrView& view, AnsiString& text);

// The shared steps, for the classes' overrides below.
void ApplyViewScale(TfrView& view);
void RestoreViewGeometry(TfrView& view);
void PaintViewFill(TfrView& view);
void PaintViewBorder(TfrView& view);
// One frame edge from (x1, y1) to (x2, y2) in the view's frame style.
void DrawFrameLine(TfrView& view, int x1, int y1, int x2, int y2);
TRect ViewClipRegion(const TfrView& view, bool with_margin);

// The object's XML element without its closing "/>" (fr_xml.cpp): the
// common attributes and those of its class; nothing for a band type that has
// no element in the XML form.
void WriteViewXmlAttrs(TfrView& view, TStream& stream);

// The shared steps as a class's own: every drawn class derives through this.
// The designer's menu items need a designer, which this system has none of;
// the XML text form of an object is written by the XML template writer.
template <class Base>
class TfrDrawnView : public Base {
 public:
  void ApplyScale() override { ApplyViewScale(*this); }
  void RestoreGeometry() override { RestoreViewGeometry(*this); }
  void PaintFill() override { PaintViewFill(*this); }
  void PaintBorder() override { PaintViewBorder(*this); }
  TRect BuildClipRegion(bool with_margin) override { return ViewClipRegion(*this, with_margin); }
  void WriteXmlAttrs(TStream& stream) override { WriteViewXmlAttrs(*this, stream); }
  void FillDesignMenu(TPopupMenu*) override {}
};
