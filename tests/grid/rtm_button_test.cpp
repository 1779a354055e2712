// Edit button faces drawn into a bitmap and probed pixel by pixel: where the
// ellipsis dots, arrows and glyphs land for each state, and how the frame
// looks raised, flat, pressed and mono.
#include <algorithm>

#include <gtest/gtest.h>

#include "grid/rs_rtm.h"
#include "toolkit/gfx/edges.h"

namespace rtm_button_test {

TColor Rgb(TColor c) { return ColorToRGB(c); }

struct Face {
  Face(int style, unsigned state, int w = 17, int h = 21, TBitmap* glyph = nullptr) {
    bitmap.SetSize(w, h);
    DrawEditorButton(style, state, bitmap.Canvas(), glyph, Rect(0, 0, w, h));
  }
  TColor At(int x, int y) { return bitmap.Canvas().Pixel(x, y); }
  // The smallest rectangle holding the pixels of colour c inside area; empty when none.
  TRect Box(TColor c, TRect area) {
    TRect box{area.Right, area.Bottom, area.Left, area.Top};
    for (int y = area.Top; y < area.Bottom; ++y)
      for (int x = area.Left; x < area.Right; ++x)
        if (At(x, y) == Rgb(c)) {
          box.Left = std::min(box.Left, x);
          box.Top = std::min(box.Top, y);
          box.Right = std::max(box.Right, x + 1);
          box.Bottom = std::max(box.Bottom, y + 1);
        }
    if (box.Right <= box.Left) return TRect{};
    return box;
  }
  TBitmap bitmap;
};

TEST(EditorButton, EllipsisDotsSitByWidthPressAndState) {
  const struct {
    const char* what;
    int w;
    unsigned state;
    int x0, y0, step;  // first dot's corner, distance between dots
    TColor color;
  } cases[] = {
      {"wide", 17, 0, 3, 9, 4, clBtnText},
      {"narrow", 16, 0, 4, 9, 3, clBtnText},
      {"pressed", 17, ebsPart1Pressed, 3, 10, 4, clBtnText},
      {"mono pressed keeps place", 17, ebsPart1Pressed | ebsMono, 3, 9, 4, clNone},
      {"disabled", 17, ebsDisabled, 3, 9, 4, clGrayText},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Face f(ebEllipsis, c.state, c.w, 21);
    for (int i = 0; i < 3; ++i) {
      const int x = c.x0 + i * c.step;
      // A mono press inverts the face: compare against the first dot instead.
      const TColor dot = c.color == clNone ? f.At(c.x0, c.y0) : Rgb(c.color);
      for (int dx = 0; dx < 2; ++dx)
        for (int dy = 0; dy < 2; ++dy) EXPECT_EQ(f.At(x + dx, c.y0 + dy), dot) << i << " " << dx << dy;
      EXPECT_NE(f.At(x + 2, c.y0), dot) << "gap after dot " << i;
      EXPECT_NE(f.At(x, c.y0 - 1), dot) << "above dot " << i;
    }
  }
}

TEST(EditorButton, DropDownArrowMovesWithPressAndFlatAndGreysWhenDisabled) {
  const TRect inside = Rect(2, 2, 15, 19);
  Face normal(ebDropDown, 0);
  const TRect arrow = normal.Box(clBtnText, inside);
  ASSERT_GT(arrow.Width(), 2) << "an arrow is drawn";
  EXPECT_GT(arrow.Width(), arrow.Height()) << "pointing down: wider than high";
  const struct {
    const char* what;
    unsigned state;
    int dx, dy;
  } cases[] = {{"pressed", ebsPart1Pressed, 0, 1}, {"flat", ebsFlat, 1, 0}, {"flat pressed", ebsFlat | ebsPart1Pressed, 1, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Face f(ebDropDown, c.state);
    EXPECT_EQ(f.Box(clBtnText, inside), Rect(arrow.Left + c.dx, arrow.Top + c.dy, arrow.Right + c.dx, arrow.Bottom + c.dy));
  }
  Face disabled(ebDropDown, ebsDisabled);
  EXPECT_EQ(disabled.Box(clBtnText, inside), TRect{});
  EXPECT_NE(disabled.Box(clBtnShadow, inside), TRect{}) << "a greyed arrow";
}

TEST(EditorButton, FrameLooks) {
  const int w = 17, h = 21;
  const struct {
    const char* what;
    unsigned state;
    TColor top_left, top, left, right, bottom_right;  // (0,0), (8,0), (0,10), (w-1,10), (w-1,h-1)
  } cases[] = {
      {"raised", 0, cl3DLight, cl3DLight, cl3DLight, cl3DDkShadow, cl3DDkShadow},
      {"pressed: flat edge", ebsPart1Pressed, clBtnShadow, clBtnShadow, clBtnShadow, clBtnShadow, clBtnShadow},
      {"flat look", ebsFlat, clNone, clBtnHighlight, cl3DLight, clBtnShadow, clBtnShadow},
      {"mono", ebsMono, clWindow, clWindow, clWindow, clWindow, clWindow},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Face f(ebEllipsis, c.state, w, h);
    if (c.top_left != clNone) {
      EXPECT_EQ(f.At(0, 0), Rgb(c.top_left));
    }
    EXPECT_EQ(f.At(8, 0), Rgb(c.top));
    EXPECT_EQ(f.At(0, 10), Rgb(c.left));
    EXPECT_EQ(f.At(w - 1, 10), Rgb(c.right));
    EXPECT_EQ(f.At(w - 1, h - 1), Rgb(c.bottom_right));
  }
}

TEST(EditorButton, MonoPressInvertsTheInside) {
  Face normal(ebEllipsis, ebsMono);
  Face pressed(ebEllipsis, ebsMono | ebsPart1Pressed);
  const TColor face = Rgb(clBtnFace);
  EXPECT_EQ(normal.At(3, 3), face);
  EXPECT_EQ(pressed.At(3, 3), static_cast<TColor>(~face & 0xFFFFFF));
  EXPECT_EQ(pressed.At(0, 0), Rgb(clWindow)) << "the frame stays";
}

TEST(EditorButton, SpinHalvesShowTheirArrowsAndPressSeparately) {
  const int w = 17, h = 22;  // halves 0..10 and 11..21
  const TRect upper = Rect(2, 2, w - 2, 9), lower = Rect(2, 13, w - 2, 20);
  Face normal(ebSpin, 0, w, h);
  const TRect up = normal.Box(clBtnText, upper);
  const TRect down = normal.Box(clBtnText, lower);
  ASSERT_NE(up, TRect{});
  ASSERT_NE(down, TRect{});
  Face second(ebSpin, ebsPart2Pressed, w, h);
  EXPECT_EQ(second.Box(clBtnText, upper), up);
  EXPECT_EQ(second.Box(clBtnText, lower), Rect(down.Left, down.Top + 1, down.Right, down.Bottom + 1));
  // Each half is framed: raised above, pressed (flat) below.
  EXPECT_EQ(second.At(w - 1, 10), Rgb(cl3DDkShadow));
  EXPECT_EQ(second.At(w - 1, h - 1), Rgb(clBtnShadow));
}

TEST(EditorButton, CustomGlyphIsCentred) {
  TBitmap glyph;
  glyph.SetSize(5, 5);
  glyph.Canvas().Brush().SetColor(clRed);
  glyph.Canvas().FillRect(Rect(0, 0, 5, 5));
  const struct {
    unsigned state;
    TRect box;
  } cases[] = {{0, Rect(6, 8, 11, 13)}, {ebsPart1Pressed, Rect(6, 9, 11, 14)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.state);
    Face f(ebCustom, c.state, 17, 21, &glyph);
    EXPECT_EQ(f.Box(clRed, Rect(0, 0, 17, 21)), c.box);
  }
  Face none(ebCustom, 0, 17, 21, nullptr);  // no glyph: just the face
  EXPECT_EQ(none.At(8, 10), Rgb(clBtnFace));
}

TEST(BorderClientInset, ByStyle) {
  const struct {
    TvpBorderStyle style;
    int inset;
  } cases[] = {{bsNoBorder, 0}, {bs3D, 0}, {bsSoft, 1}, {bsSoftExt, 2}, {bsFlat, 1}, {bsFlatExt, 2}, {bsMono, 1}, {bsMonoExt, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.style);
    EXPECT_EQ(BorderClientInset(c.style), c.inset);
  }
}

}  // namespace rtm_button_test
