// Edges, frames and frame controls, checked pixel by pixel in the classic
// system colours.
#include "toolkit/gfx/edges.h"

#include <gtest/gtest.h>

#include <QImage>

namespace edges_test {

TColor At(TBitmap& bitmap, int x, int y) {
  const QRgb p = bitmap.Image().pixel(x, y);
  return RGB(qRed(p), qGreen(p), qBlue(p));
}

std::string Hex(TColor c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%06X", unsigned(c));
  return buf;
}

TEST(Edges, LayersTakeTheirColoursAndTheRectangleShrinksWhenAsked) {
  const TColor white = RGB(255, 255, 255);
  const struct {
    const char* name;
    unsigned edge, flags;
    TColor outer_tl, outer_br, inner_tl, inner_br, centre;
    TRect after;
  } cases[] = {
      {"raised", EDGE_RAISED, BF_RECT, cl3DLight, cl3DDkShadow, clBtnHighlight, clBtnShadow, white,
       Rect(10, 10, 30, 30)},
      {"sunken, filled and adjusted", EDGE_SUNKEN, BF_RECT | BF_MIDDLE | BF_ADJUST, clBtnShadow, clBtnHighlight,
       cl3DDkShadow, cl3DLight, clBtnFace, Rect(12, 12, 28, 28)},
      {"etched", EDGE_ETCHED, BF_RECT, clBtnShadow, clBtnHighlight, clBtnHighlight, clBtnShadow, white,
       Rect(10, 10, 30, 30)},
      {"bump", EDGE_BUMP, BF_RECT, cl3DLight, cl3DDkShadow, cl3DDkShadow, cl3DLight, white, Rect(10, 10, 30, 30)},
      {"inner layer alone sits outside", BDR_RAISEDINNER, BF_RECT | BF_ADJUST, clBtnHighlight, clBtnShadow, white,
       white, white, Rect(11, 11, 29, 29)},
      {"sunken outer alone", BDR_SUNKENOUTER, BF_RECT | BF_ADJUST, clBtnShadow, clBtnHighlight, white, white,
       white, Rect(11, 11, 29, 29)},
      {"flat", EDGE_SUNKEN, BF_RECT | BF_FLAT | BF_MIDDLE, clBtnShadow, clBtnShadow, clBtnFace, clBtnFace,
       clBtnFace, Rect(10, 10, 30, 30)},
      {"mono", EDGE_RAISED, BF_RECT | BF_MONO | BF_ADJUST, clWindowFrame, clWindowFrame, clWindow, clWindow, white,
       Rect(12, 12, 28, 28)},
  };
  for (const auto& c : cases) {
    TBitmap bitmap;
    bitmap.SetSize(40, 40);
    TRect r = Rect(10, 10, 30, 30);
    ASSERT_TRUE(DrawEdge(bitmap.Canvas(), r, c.edge, c.flags)) << c.name;
    EXPECT_EQ(r, c.after) << c.name;
    const struct {
      int x, y;
      TColor want;
      const char* where;
    } probes[] = {
        {10, 10, c.outer_tl, "outer top-left"},  {20, 10, c.outer_tl, "outer top"},
        {10, 20, c.outer_tl, "outer left"},      {29, 10, c.outer_br, "outer top-right corner"},
        {10, 29, c.outer_br, "outer bottom-left corner"}, {29, 29, c.outer_br, "outer bottom-right"},
        {11, 11, c.inner_tl, "inner top-left"},  {28, 28, c.inner_br, "inner bottom-right"},
        {28, 11, c.inner_br, "inner top-right"}, {20, 20, c.centre, "centre"},
        {9, 9, white, "outside"},                {30, 30, white, "outside bottom-right"},
    };
    for (const auto& p : probes)
      EXPECT_EQ(Hex(At(bitmap, p.x, p.y)), Hex(ColorToRGB(p.want))) << c.name << ": " << p.where;
  }
}

TEST(Edges, OnlyTheNamedSidesAreDrawnAndAdjusted) {
  TBitmap bitmap;
  bitmap.SetSize(40, 40);
  TRect r = Rect(10, 10, 30, 30);
  DrawEdge(bitmap.Canvas(), r, EDGE_RAISED, BF_TOP | BF_BOTTOM | BF_ADJUST);
  EXPECT_EQ(r, Rect(10, 12, 30, 28));
  EXPECT_EQ(Hex(At(bitmap, 20, 10)), Hex(ColorToRGB(cl3DLight)));
  EXPECT_EQ(Hex(At(bitmap, 20, 29)), Hex(ColorToRGB(cl3DDkShadow)));
  EXPECT_EQ(Hex(At(bitmap, 10, 20)), Hex(RGB(255, 255, 255)));
  EXPECT_EQ(Hex(At(bitmap, 29, 20)), Hex(RGB(255, 255, 255)));
  TRect empty = Rect(5, 5, 5, 9);
  EXPECT_FALSE(DrawEdge(bitmap.Canvas(), empty, EDGE_RAISED, BF_RECT));
}

TEST(Edges, DrawingLeavesTheBrushAsItWas) {
  TBitmap bitmap;
  bitmap.SetSize(40, 40);
  TCanvas& canvas = bitmap.Canvas();
  canvas.Brush().SetColor(clAqua);
  canvas.Brush().SetStyle(bsClear);
  TRect r = Rect(10, 10, 30, 30);
  DrawEdge(canvas, r, EDGE_RAISED, BF_RECT | BF_MIDDLE);
  TRect b = Rect(0, 0, 16, 16);
  DrawFrameControl(canvas, b, DFC_SCROLL, DFCS_SCROLLDOWN);
  Frame3D(canvas, r, clRed, clBlue, 1);
  EXPECT_EQ(canvas.Brush().Color(), clAqua);
  EXPECT_EQ(canvas.Brush().Style(), bsClear);
}

TEST(Frame3DTest, NestedFramesInTheirColours) {
  TBitmap bitmap;
  bitmap.SetSize(40, 40);
  TRect r = Rect(10, 10, 30, 30);
  Frame3D(bitmap.Canvas(), r, clRed, clBlue, 2);
  EXPECT_EQ(r, Rect(12, 12, 28, 28));
  const struct {
    int x, y;
    TColor want;
  } probes[] = {{10, 10, clRed}, {11, 11, clRed},   {20, 11, clRed},   {29, 10, clBlue}, {28, 11, clBlue},
                {10, 29, clBlue}, {28, 28, clBlue}, {12, 12, clWhite}, {9, 20, clWhite}};
  for (const auto& p : probes) EXPECT_EQ(Hex(At(bitmap, p.x, p.y)), Hex(p.want)) << p.x << "," << p.y;
}

// The box around the pixels of one colour.
struct Box {
  int left = 1000, top = 1000, right = -1, bottom = -1;
  int count = 0;
};

Box FindColour(TBitmap& bitmap, TColor colour) {
  Box box;
  const QImage& image = bitmap.Image();
  const TColor rgb = ColorToRGB(colour);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      if (RGB(qRed(p), qGreen(p), qBlue(p)) != rgb) continue;
      box.left = std::min(box.left, x);
      box.right = std::max(box.right, x);
      box.top = std::min(box.top, y);
      box.bottom = std::max(box.bottom, y);
      ++box.count;
    }
  return box;
}

int CountInRow(TBitmap& bitmap, TColor colour, int y) {
  int n = 0;
  for (int x = 0; x < bitmap.Width(); ++x) n += At(bitmap, x, y) == ColorToRGB(colour);
  return n;
}

int CountInColumn(TBitmap& bitmap, TColor colour, int x) {
  int n = 0;
  for (int y = 0; y < bitmap.Height(); ++y) n += At(bitmap, x, y) == ColorToRGB(colour);
  return n;
}

TEST(FrameControls, ScrollArrowsPointTheirWayAndMoveWhenPressed) {
  const struct {
    unsigned direction;
    const char* name;
  } cases[] = {{DFCS_SCROLLUP, "up"},     {DFCS_SCROLLDOWN, "down"},          {DFCS_SCROLLLEFT, "left"},
               {DFCS_SCROLLRIGHT, "right"}, {DFCS_SCROLLCOMBOBOX, "combo (down)"}};
  for (const auto& c : cases) {
    TBitmap bitmap;
    bitmap.SetSize(16, 16);
    TRect r = Rect(0, 0, 16, 16);
    ASSERT_TRUE(DrawFrameControl(bitmap.Canvas(), r, DFC_SCROLL, c.direction)) << c.name;
    const Box arrow = FindColour(bitmap, clBtnText);
    ASSERT_GT(arrow.count, 3) << c.name;
    // The face around the arrow.
    EXPECT_EQ(At(bitmap, 3, 3), ColorToRGB(clBtnFace)) << c.name;
    // The widest part of the arrow is its base, opposite the tip.
    const bool vertical = c.direction != DFCS_SCROLLLEFT && c.direction != DFCS_SCROLLRIGHT;
    const int first = vertical ? CountInRow(bitmap, clBtnText, arrow.top) : CountInColumn(bitmap, clBtnText, arrow.left);
    const int last =
        vertical ? CountInRow(bitmap, clBtnText, arrow.bottom) : CountInColumn(bitmap, clBtnText, arrow.right);
    const bool base_first = c.direction == DFCS_SCROLLDOWN || c.direction == DFCS_SCROLLCOMBOBOX ||
                            c.direction == DFCS_SCROLLRIGHT;
    EXPECT_EQ(first > last, base_first) << c.name << " first " << first << " last " << last;

    TBitmap pressed;
    pressed.SetSize(16, 16);
    TRect p = Rect(0, 0, 16, 16);
    DrawFrameControl(pressed.Canvas(), p, DFC_SCROLL, c.direction | DFCS_PUSHED);
    const Box moved = FindColour(pressed, clBtnText);
    EXPECT_EQ(moved.left, arrow.left + 1) << c.name;
    EXPECT_EQ(moved.top, arrow.top + 1) << c.name;
    EXPECT_EQ(At(pressed, 0, 0), ColorToRGB(clBtnShadow)) << c.name;  // a flat frame

    TBitmap inactive;
    inactive.SetSize(16, 16);
    TRect q = Rect(0, 0, 16, 16);
    DrawFrameControl(inactive.Canvas(), q, DFC_SCROLL, c.direction | DFCS_INACTIVE);
    EXPECT_EQ(FindColour(inactive, clBtnText).count, 0) << c.name;
    EXPECT_GT(FindColour(inactive, clBtnShadow).count, arrow.count) << c.name;
  }
}

TEST(FrameControls, CheckBoxesAndPushButtons) {
  const struct {
    const char* name;
    unsigned type, state;
    TColor centre_family;  // the colour that fills the inside
    int mark_pixels;       // pixels of the mark: seven columns of three
    TColor mark = clWindowText;
  } cases[] = {
      {"unchecked box", DFC_BUTTON, DFCS_BUTTONCHECK, clWindow, 0},
      {"checked box", DFC_BUTTON, DFCS_BUTTONCHECK | DFCS_CHECKED, clWindow, 21},
      {"inactive checked box", DFC_BUTTON, DFCS_BUTTONCHECK | DFCS_CHECKED | DFCS_INACTIVE, clBtnFace, 21,
       clGrayText},
      {"push button", DFC_BUTTON, DFCS_BUTTONPUSH, clBtnFace, 0},
  };
  for (const auto& c : cases) {
    TBitmap bitmap;
    bitmap.SetSize(21, 13);
    TRect r = Rect(0, 0, 21, 13);
    ASSERT_TRUE(DrawFrameControl(bitmap.Canvas(), r, c.type, c.state | DFCS_ADJUSTRECT)) << c.name;
    int mark = 0;  // inside the face only: the frame has grey of its own
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Right; ++x) mark += At(bitmap, x, y) == ColorToRGB(c.mark);
    EXPECT_EQ(mark, c.mark_pixels) << c.name;
    EXPECT_EQ(At(bitmap, r.Left, r.Top), ColorToRGB(c.centre_family)) << c.name;
    if (c.type == DFC_BUTTON && (c.state & 0x1F) == DFCS_BUTTONCHECK) {
      // The box is the square centred in the rectangle: 13 wide from x = 4.
      EXPECT_EQ(r, Rect(6, 2, 15, 11)) << c.name;
      EXPECT_EQ(At(bitmap, 4, 0), ColorToRGB(clBtnShadow)) << c.name;
      EXPECT_EQ(At(bitmap, 3, 0), RGB(255, 255, 255)) << c.name;
    } else {
      EXPECT_EQ(r, Rect(2, 2, 19, 11)) << c.name;
    }
  }
  TBitmap bitmap;
  bitmap.SetSize(10, 10);
  TRect r = Rect(0, 0, 10, 10);
  EXPECT_FALSE(DrawFrameControl(bitmap.Canvas(), r, DFC_CAPTION, 0));
}

}  // namespace edges_test
