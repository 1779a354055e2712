// Texts on a canvas: the fonts, metrics and advances the canvas keeps between
// calls give what the GUI library gives for the same font, and drawing from
// the kept layout puts the ink where the library's own text drawing does.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QTextLayout>

#include <cmath>
#include <string>
#include <vector>

#include "toolkit/core/text.h"
#include "toolkit/gfx/graphics.h"
#include "toolkit/gfx/qt_canvas.h"

namespace canvas_text_test {

struct Case {
  const char* face;
  int size;
  bool bold;
  const char* text;  // UTF-8
};

const Case kCases[] = {
    {"Arial", 10, false, "образец 123"},
    {"Arial", 14, true, "05.03.2024"},
    {"Times New Roman", 9, false, "Протокол испытаний"},
    {"Arial", 10, false, "Wide WWW and iii"},
    {"Courier New", 11, false, "  ёЁ №§ «x» — €‰ "},
};

void SetFont(TFont& font, const Case& c) {
  font.SetName(c.face);
  font.SetSize(c.size);
  font.SetStyle(c.bold ? TFontStyles{fsBold} : TFontStyles{});
  font.SetColor(clBlack);
}

TEST(CanvasText, MeasuresAsTheLibraryDoesForEachFontInTurn) {
  TBitmap bitmap;
  bitmap.SetSize(10, 10);
  TCanvas& canvas = bitmap.Canvas();
  // Twice over, so that a width kept for one font is never given for another.
  for (int round = 0; round < 2; ++round)
    for (const Case& c : kCases) {
      SetFont(canvas.Font(), c);
      const AnsiString text = Utf8ToAnsi(c.text);
      const QFontMetrics metrics(ToQFont(canvas.Font()));
      EXPECT_EQ(canvas.TextWidth(text), metrics.horizontalAdvance(QString::fromUtf8(c.text))) << c.text;
      EXPECT_EQ(canvas.TextHeight(text), metrics.height()) << c.text;
    }
}

TEST(CanvasText, DrawsItsInkWhereTheLibraryDrawsTheText) {
  for (const Case& c : kCases) {
    TBitmap bitmap;
    bitmap.SetSize(300, 40);
    TCanvas& canvas = bitmap.Canvas();
    SetFont(canvas.Font(), c);
    canvas.Brush().SetStyle(bsClear);
    const AnsiString text = Utf8ToAnsi(c.text);
    // Measured first, as a cell is for its alignment, then drawn.
    const int width = canvas.TextWidth(text);
    canvas.TextOut(7, 5, text);
    EXPECT_EQ(canvas.PenPos().x, 7 + width);
    const QImage drawn = bitmap.Image().convertToFormat(QImage::Format_RGB32);

    QImage expected(300, 40, QImage::Format_RGB32);
    expected.fill(Qt::white);
    QPainter painter(&expected);
    const QFont font = ToQFont(canvas.Font());
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QRect(7, 5, width, QFontMetrics(font).height()),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip | Qt::TextSingleLine, QString::fromUtf8(c.text));
    painter.end();
    int differ = 0, ink = 0;
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 300; ++x) {
        differ += drawn.pixel(x, y) != expected.pixel(x, y);
        ink += qGray(expected.pixel(x, y)) < 128;
      }
    EXPECT_GT(ink, 20) << c.text;
    EXPECT_EQ(differ, 0) << c.text;
  }
}

// Every character of the 1251 code page, in lines of sixteen.
std::vector<QString> CodePageLines() {
  std::vector<QString> lines;
  for (int row = 2; row < 16; ++row) {
    AnsiString ansi;
    for (int column = 0; column < 16; ++column) ansi += static_cast<char>(row * 16 + column);
    lines.push_back(ToQString(ansi));
  }
  return lines;
}

struct LaidOut {
  std::vector<quint32> glyphs;
  std::vector<QPointF> positions;
  std::vector<QRawFont> fonts;
  std::vector<int> decorations;
};

LaidOut Flatten(const QList<QGlyphRun>& runs) {
  LaidOut out;
  for (const QGlyphRun& run : runs) {
    const QList<quint32> glyphs = run.glyphIndexes();
    const QList<QPointF> positions = run.positions();
    for (qsizetype i = 0; i < glyphs.size(); ++i) {
      out.glyphs.push_back(glyphs[i]);
      out.positions.push_back(positions[i]);
      out.fonts.push_back(run.rawFont());
      out.decorations.push_back(run.overline() * 1 + run.underline() * 2 + run.strikeOut() * 4);
    }
  }
  return out;
}

void ExpectSameGlyphs(const LaidOut& got, const LaidOut& expected, const std::string& where) {
  EXPECT_EQ(got.glyphs, expected.glyphs) << where;
  EXPECT_EQ(got.positions, expected.positions) << where;
  EXPECT_EQ(got.fonts, expected.fonts) << where;
  EXPECT_EQ(got.decorations, expected.decorations) << where;
}

// The measure puts a text of plain characters together from each
// character's glyph: what it gives must be what the library's own layout of
// the line gives, glyph for glyph, for texts of every kind, whatever came
// before in the same font.
TEST(CanvasText, GlyphsAndAdvanceAreTheLayoutsOwn) {
  struct FontCase {
    const char* face;
    int size;
    TFontStyles style;
  };
  const FontCase fonts[] = {
      {"Arial", 10, {}},
      {"Arial", 7, {fsBold}},
      {"Arial", 13, {fsItalic, fsUnderline}},
      {"Times New Roman", 10, {}},  // a font with rules of its own: shaped
      {"Courier New", 9, {fsStrikeOut}},
      {"Verdana", 24, {fsBold, fsItalic}},
  };
  std::vector<QString> texts = CodePageLines();
  for (const char* utf8 : {"образец 9999", " leading and trailing  ", "fi fl ffi", "Ω≈√∞ ЀЁЂ", "a\u0301e",
                           "شكرا abc", "mixed ✓ and 漢字", "tab\there", "x"})
    texts.push_back(QString::fromUtf8(utf8));
  int plain_texts = 0;
  for (const FontCase& f : fonts) {
    TFont font;
    font.SetName(f.face);
    font.SetSize(f.size);
    font.SetStyle(f.style);
    const QFont qt_font = ToQFont(font);
    TQtTextMeasure measure;
    for (const QString& text : texts) {
      QTextLayout layout(text, qt_font);
      layout.beginLayout();
      QTextLine line = layout.createLine();
      line.setLineWidth(1e6);
      layout.endLayout();
      const LaidOut expected = Flatten(layout.glyphRuns());
      int advance = -1;
      const LaidOut got = Flatten(measure.GlyphsOf(font, text, advance));
      const std::string where = std::string(f.face) + " " + std::to_string(f.size) + ": " + text.toStdString();
      EXPECT_EQ(advance, std::lround(line.horizontalAdvance())) << where;
      EXPECT_EQ(advance, QFontMetrics(qt_font).horizontalAdvance(text)) << where;
      ExpectSameGlyphs(got, expected, where);
      EXPECT_EQ(measure.Advance(font, text), advance) << where;
      // The same text in 1251, where it can be written so.
      const AnsiString ansi = FromQString(text);
      if (ToQString(ansi) != text) continue;
      TQtTextMeasure fresh;
      for (TQtTextMeasure* m : {&measure, &fresh}) {
        EXPECT_EQ(m->Advance(font, ansi), advance) << where;
        int plain_advance = -1;
        if (const QList<QGlyphRun>* runs = m->PlainGlyphsOf(font, ansi, plain_advance)) {
          ++plain_texts;
          EXPECT_EQ(plain_advance, advance) << where;
          ExpectSameGlyphs(Flatten(*runs), expected, where);
        }
      }
    }
  }
  // Most of the 1251 lines go without the shaper in the fonts that allow it.
  EXPECT_GT(plain_texts, 80);
}

}  // namespace canvas_text_test
