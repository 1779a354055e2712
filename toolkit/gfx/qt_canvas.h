// The QPainter back end of TCanvas and the conversions from the toolkit's
// graphics objects to Qt's. Only the toolkit's own units include this header;
// the program's units see TCanvas alone.
#pragma once

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QList>
#include <QPainter>
#include <QRawFont>
#include <QString>
#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>

#include <optional>
#include <unordered_map>
#include <vector>

#include "toolkit/gfx/graphics.h"

QColor ToQColor(TColor color);
QFont ToQFont(const TFont& font);
// 1251 text for the screen, and back.
QString ToQString(const AnsiString& ansi);
// Where the pen stands after text of the width drawn at x: held to the
// coordinate range, as text may be drawn at its very end.
inline int PenAfterText(int x, int width) {
  return static_cast<int>(std::min<int64_t>(int64_t{x} + width, std::numeric_limits<int>::max()));
}
AnsiString FromQString(const QString& text);

// Measures texts in a canvas font. The GUI library's font and its metrics
// are made again only when the font changed, and a text's advance is kept
// while the font holds: cells are measured and drawn one after another in
// the same font, each text measured for its alignment and again when drawn.
//
// A font that substitutes no glyphs (no ligatures, no contextual forms; its
// kerning is off, see ToQFont) lays a text of plain characters out as their
// glyphs side by side: such texts are put together from each character's
// glyph and advance, kept while the font holds, instead of being shaped.
// Anything else (marks, right-to-left letters, controls, a character the
// font lacks) is shaped by the GUI library.
class TQtTextMeasure {
 public:
  const QFont& FontOf(const TFont& font);
  const QFontMetrics& MetricsOf(const TFont& font);
  int Advance(const TFont& font, const QString& text);
  // The glyphs of a text laid out in one line, its advance with them; kept
  // for the text measured or drawn last.
  const QList<QGlyphRun>& GlyphsOf(const TFont& font, const QString& text, int& advance);
  // The same for 1251 text, whose plain characters are looked up byte by
  // byte without the text being converted.
  int Advance(const TFont& font, const AnsiString& text);
  // The glyphs of a 1251 text of plain characters and its advance; nullptr
  // for a text that needs the shaper (GlyphsOf takes it).
  const QList<QGlyphRun>* PlainGlyphsOf(const TFont& font, const AnsiString& text, int& advance);

 private:
  struct Glyph {
    quint32 index = 0;
    // In the font engine's fixed point, so sums are exact.
    qreal advance = 0;
  };
  // What the shaper needs to be skipped for this font: set up on first use.
  struct PlainFont {
    // Declared, so that clang sees the type as default-constructible while
    // the class holding the std::optional below is still incomplete.
    PlainFont() {}
    bool usable = false;
    QRawFont raw;
    // The base line's distance from the top of the line.
    qreal ascent = 0;
    std::unordered_map<char16_t, Glyph> glyphs;
    // The glyphs of the 1251 bytes: 0 not yet looked up, 1 plain, 2 shaped.
    std::array<uint8_t, 256> ansi_known{};
    std::array<Glyph, 256> ansi{};
  };
  PlainFont& PlainOf(const QFont& font);
  // The glyph of a plain character the font has; nullptr for any other.
  const Glyph* PlainGlyph(PlainFont& plain, QChar c);
  const Glyph* AnsiGlyph(PlainFont& plain, unsigned char byte);
  // The run of glyphs side by side.
  QGlyphRun PlainRun(const PlainFont& plain, const std::vector<const Glyph*>& glyphs) const;
  // Lays out text from its characters' glyphs; false when it holds a
  // character that needs the shaper.
  bool LayOutPlain(PlainFont& plain, const QString& text);
  void LayOutShaped(const QFont& font, const QString& text);
  // Measures a 1251 text of plain characters, kept as the last one; false
  // for a text that needs the shaper.
  bool MeasurePlain(const TFont& font, const AnsiString& text);

  TFont font_;
  std::optional<QFont> qt_font_;
  std::optional<QFontMetrics> metrics_;
  std::optional<PlainFont> plain_;
  std::unordered_map<QString, int> advances_;
  QString laid_out_;
  QList<QGlyphRun> glyphs_;
  int laid_out_advance_ = 0;
  // The last 1251 text measured and what it came to.
  enum class AnsiState { kNone, kShaped, kMeasured, kLaidOut };
  AnsiState ansi_state_ = AnsiState::kNone;
  AnsiString ansi_text_;
  std::vector<const Glyph*> ansi_glyphs_;
  int ansi_advance_ = 0;
  QList<QGlyphRun> ansi_runs_;
};

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
  void PolyPolygon(const TPoint* points, const int* counts, int rings, TFillRule rule) override;
  void TextOut(int x, int y, const AnsiString& text) override;
  int TextWidth(const AnsiString& text) override;
  int TextHeight(const AnsiString& text) override;
  void Draw(int x, int y, TBitmap& bitmap) override;
  void DrawPart(int x, int y, TBitmap& bitmap, const TRect& part) override;
  TColor Pixel(int x, int y) override;
  void SetPixel(int x, int y, TColor color) override;
  void InvertRect(const TRect& rect) override;
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
  TQtTextMeasure measure_;
};
