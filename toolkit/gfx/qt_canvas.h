// The QPainter back end of TCanvas and the conversions from the toolkit's
// graphics objects to Qt's. Only the toolkit's own units include this header;
// the program's units see TCanvas alone.
#pragma once

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QString>

#include "toolkit/gfx/graphics.h"

QColor ToQColor(TColor color);
QFont ToQFont(const TFont& font);
// 1251 text for the screen, and back.
QString ToQString(const AnsiString& ansi);
AnsiString FromQString(const QString& text);

// A canvas that draws with a painter the caller keeps open.
class TQtCanvas : public TCanvas {
 public:
  explicit TQtCanvas(QPainter* painter) : painter_(painter) {}
  void SetPainter(QPainter* painter) {
    painter_ = painter;
    clip_depth_ = 0;
  }
  QPainter* Painter() const { return painter_; }

  void FillRect(const TRect& rect) override;
  void Rectangle(int x1, int y1, int x2, int y2) override;
  void Ellipse(int x1, int y1, int x2, int y2) override;
  void Polygon(const TPoint* points, int count) override;
  void TextOut(int x, int y, const AnsiString& text) override;
  int TextWidth(const AnsiString& text) override;
  int TextHeight(const AnsiString& text) override;
  void Draw(int x, int y, TBitmap& bitmap) override;
  void DrawPart(int x, int y, TBitmap& bitmap, const TRect& part) override;
  TColor Pixel(int x, int y) override;
  void SetPixel(int x, int y, TColor color) override;
  void PushClip(const TRect& rect) override;
  void PopClip() override;

 protected:
  void Line(int x1, int y1, int x2, int y2) override;
  // The image behind the painter, for pixel reads; nullptr when it has none.
  virtual QImage* Surface() { return nullptr; }

 private:
  void ApplyPen();
  void ApplyBrush();
  QPainter* painter_;
  int clip_depth_ = 0;
};
