// Texts on a canvas: the fonts, metrics and advances the canvas keeps between
// calls give what the GUI library gives for the same font, and drawing from
// the kept layout puts the ink where the library's own text drawing does.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <string>

#include "toolkit/core/text.h"
#include "toolkit/gfx/graphics.h"
#include "toolkit/gfx/qt_canvas.h"

namespace {

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

}  // namespace
