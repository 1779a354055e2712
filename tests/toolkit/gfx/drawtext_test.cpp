// Text in a rectangle: line breaking, ellipses, prefixes, tabs, alignment and
// measuring, read back as text runs from the recording canvas and as pixels.
#include "toolkit/gfx/drawtext.h"

#include <gtest/gtest.h>

#include <QImage>

#include <string>
#include <vector>

#include "toolkit/gfx/metafile.h"

namespace drawtext_test {

// Lines as drawn: the runs at one height joined, top to bottom.
struct Drawn {
  std::vector<std::string> lines;
  std::vector<TMetaTextRun> runs;
  int result = 0;
};

void UseMono(TCanvas& canvas) {
  canvas.Font().SetName("Courier New");
  canvas.Font().SetSize(10);
}

Drawn Draw(const AnsiString& text, TRect rect, unsigned flags, bool mono = true) {
  TMetafile metafile;
  TMetafileCanvas canvas(metafile);
  if (mono) UseMono(canvas);
  Drawn drawn;
  drawn.result = DrawText(canvas, text, rect, flags);
  drawn.runs = metafile.TextRuns();
  // Runs go to the line their height says; a line without runs stays empty.
  const int lh = canvas.TextHeight("x");
  for (const TMetaTextRun& run : drawn.runs) {
    const int index = (run.y - rect.Top) / lh;
    if (index < 0 || run.y != rect.Top + index * lh) {
      drawn.lines.push_back("<off the line grid>");
      continue;
    }
    if (size_t(index) >= drawn.lines.size()) drawn.lines.resize(size_t(index) + 1);
    drawn.lines[size_t(index)] += run.text;
  }
  return drawn;
}

struct Metrics {
  int cw;  // the width of one character of the fixed-pitch face
  int lh;  // the height of a line
};

Metrics MonoMetrics() {
  TMetafile metafile;
  TMetafileCanvas canvas(metafile);
  UseMono(canvas);
  return {canvas.TextWidth("x"), canvas.TextHeight("x")};
}

TEST(DrawTextLines, BreakWrapAndShortenAsTheFlagsSay) {
  const Metrics m = MonoMetrics();
  const struct {
    const char* name;
    const char* text;
    int columns;  // rectangle width in characters
    int rows;     // rectangle height in lines, and half a line more
    unsigned flags;
    std::vector<std::string> lines;
  } cases[] = {
      {"fits on one line", "alpha beta gamma", 20, 5, DT_WORDBREAK, {"alpha beta gamma"}},
      {"breaks between words", "alpha beta gamma", 10, 5, DT_WORDBREAK, {"alpha beta", "gamma"}},
      {"one word a line", "alpha beta gamma", 9, 5, DT_WORDBREAK, {"alpha", "beta", "gamma"}},
      {"spaces at a break vanish", "alpha   beta", 7, 5, DT_WORDBREAK, {"alpha", "beta"}},
      {"leading spaces stay", "  ab cd", 5, 5, DT_WORDBREAK, {"  ab", "cd"}},
      {"without word break one line", "alpha beta gamma", 9, 5, 0, {"alpha beta gamma"}},
      {"long word stays whole", "abcdefghijkl xy", 6, 5, DT_WORDBREAK, {"abcdefghijkl", "xy"}},
      {"edit control breaks a long word", "abcdefghijkl xy", 6, 5, DT_WORDBREAK | DT_EDITCONTROL,
       {"abcdef", "ghijkl", "xy"}},
      {"grid caption flags cut a long word", "Commentary", 8, 3,
       DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL | DT_END_ELLIPSIS, {"Comme..."}},
      {"grid caption flags break at the spaces only", "Commentary of row", 8, 3,
       DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL | DT_END_ELLIPSIS, {"Comme...", "of row"}},
      {"line breaks of every kind", "one\r\ntwo\rthree\nfour", 20, 5, 0, {"one", "two", "three", "four"}},
      {"empty paragraph keeps its line", "one\r\n\r\nthree", 20, 5, DT_WORDBREAK, {"one", "", "three"}},
      {"single line ignores breaks", "one\r\ntwo", 20, 5, DT_SINGLELINE, {"onetwo"}},
      {"single line ignores word break", "alpha beta gamma", 9, 5, DT_SINGLELINE | DT_WORDBREAK,
       {"alpha beta gamma"}},
      {"prefix mark hidden", "&File", 20, 1, DT_SINGLELINE, {"File"}},
      {"double mark shows one", "Save && close", 20, 1, DT_SINGLELINE, {"Save & close"}},
      {"trailing mark dropped", "Fil&", 20, 1, DT_SINGLELINE, {"Fil"}},
      {"no prefix keeps marks", "&File && x", 20, 1, DT_SINGLELINE | DT_NOPREFIX, {"&File && x"}},
      {"tab not shown without expansion", "a\tb", 20, 1, DT_SINGLELINE, {"ab"}},
      {"end ellipsis on one line", "abcdefghij", 6, 1, DT_SINGLELINE | DT_END_ELLIPSIS, {"abc..."}},
      {"end ellipsis not needed", "abcdef", 6, 1, DT_SINGLELINE | DT_END_ELLIPSIS, {"abcdef"}},
      {"ellipsis on a long word", "abcdefghijkl xy", 6, 5, DT_WORDBREAK | DT_END_ELLIPSIS, {"abc...", "xy"}},
      {"edit control hides lines below", "aaa bbb ccc ddd eee", 7, 2, DT_WORDBREAK | DT_EDITCONTROL,
       {"aaa bbb", "ccc ddd"}},
      {"edit control ellipsis on the last shown line", "aaa bbb ccc ddd eee", 7, 2,
       DT_WORDBREAK | DT_EDITCONTROL | DT_END_ELLIPSIS, {"aaa bbb", "ccc..."}},
      {"edit control shows one line at least", "aaa bbb", 3, 0, DT_WORDBREAK | DT_EDITCONTROL, {"aaa"}},
      {"plain word break draws all lines", "aaa bbb ccc ddd eee", 7, 2, DT_WORDBREAK,
       {"aaa bbb", "ccc ddd", "eee"}},
      {"grid caption flags", "Name of the field", 8, 3,
       DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL | DT_END_ELLIPSIS, {"Name of", "the", "field"}},
  };
  for (const auto& c : cases) {
    const Drawn d = Draw(c.text, Bounds(5, 7, c.columns * m.cw, c.rows * m.lh + m.lh / 2), c.flags);
    EXPECT_EQ(d.lines, c.lines) << c.name;
  }
}

TEST(DrawTextLines, PrefixUnderlinesTheMarkedCharacterOnly) {
  const Drawn d = Draw("&File e&xit", Bounds(0, 0, 400, 40), DT_SINGLELINE);
  const Metrics m = MonoMetrics();
  std::string underlined;
  for (const TMetaTextRun& run : d.runs) {
    if (run.font.Style().Contains(fsUnderline)) {
      underlined += run.text;
      // At the character's own place in the line.
      EXPECT_EQ(run.x, int(run.text == "F" ? 0 : 6) * m.cw) << run.text;
    }
  }
  EXPECT_EQ(underlined, "Fx");
  EXPECT_FALSE(d.runs.back().font.Style().Contains(fsUnderline));
}

TEST(DrawTextLines, TabsExpandToEightAverageCharacters) {
  TMetafile metafile;
  TMetafileCanvas canvas(metafile);
  UseMono(canvas);
  TRect r = Bounds(10, 0, 600, 40);
  DrawText(canvas, "ab\tc\td", r, DT_SINGLELINE | DT_EXPANDTABS);
  const auto runs = metafile.TextRuns();
  ASSERT_EQ(runs.size(), 3u);
  const int tab = 8 * canvas.TextWidth("x");
  EXPECT_EQ(runs[0].x, 10);
  EXPECT_EQ(runs[1].x, 10 + tab);
  EXPECT_EQ(runs[2].x, 10 + 2 * tab);
  EXPECT_EQ(runs[2].text, "d");
}

TEST(DrawTextPlacement, AlignsEachLineAndReturnsTheTextBottom) {
  const Metrics m = MonoMetrics();
  const TRect box = Rect(10, 20, 110, 70);
  const int w = 4 * m.cw;  // "abcd"
  const struct {
    unsigned flags;
    int x, y, result;
  } cases[] = {
      {DT_SINGLELINE | DT_LEFT | DT_TOP, 10, 20, m.lh},
      {DT_SINGLELINE | DT_CENTER | DT_TOP, 10 + (100 - w) / 2, 20, m.lh},
      {DT_SINGLELINE | DT_RIGHT | DT_TOP, 110 - w, 20, m.lh},
      {DT_SINGLELINE | DT_VCENTER, 10, 20 + (50 - m.lh) / 2, (50 - m.lh) / 2 + m.lh},
      {DT_SINGLELINE | DT_BOTTOM | DT_RIGHT, 110 - w, 70 - m.lh, 50},
      // Vertical placement needs a single line.
      {DT_VCENTER, 10, 20, m.lh},
      {DT_BOTTOM | DT_WORDBREAK, 10, 20, m.lh},
  };
  for (const auto& c : cases) {
    const Drawn d = Draw("abcd", box, c.flags);
    ASSERT_EQ(d.runs.size(), 1u) << c.flags;
    EXPECT_EQ(d.runs[0].x, c.x) << c.flags;
    EXPECT_EQ(d.runs[0].y, c.y) << c.flags;
    EXPECT_EQ(d.result, c.result) << c.flags;
    // Clipped to the rectangle unless told otherwise.
    EXPECT_TRUE(d.runs[0].clipped);
    EXPECT_EQ(d.runs[0].clip, box);
  }
  EXPECT_FALSE(Draw("abcd", box, DT_NOCLIP).runs.at(0).clipped);
}

TEST(DrawTextPlacement, CentredLinesOfAWrappedTextEachCentre) {
  const Metrics m = MonoMetrics();
  const Drawn d = Draw("aaaa bb", Bounds(0, 0, 6 * m.cw, 100), DT_WORDBREAK | DT_CENTER);
  ASSERT_EQ(d.runs.size(), 2u);
  EXPECT_EQ(d.runs[0].x, m.cw);
  EXPECT_EQ(d.runs[1].x, 2 * m.cw);
}

TEST(DrawTextMeasure, CalcRectGivesTheExtentAndDrawsNothing) {
  const Metrics m = MonoMetrics();
  const struct {
    const char* name;
    const char* text;
    int columns;
    unsigned flags;
    int width;  // in characters
    int lines;
  } cases[] = {
      {"wrapped to the widest line", "alpha beta gamma", 10, DT_WORDBREAK, 10, 2},
      {"narrower than the box", "ab cd", 10, DT_WORDBREAK, 5, 1},
      {"single line wider than the box", "alpha beta gamma", 5, DT_SINGLELINE, 16, 1},
      {"line breaks count", "ab\r\nabcd", 10, 0, 4, 2},
      // A word that does not fit makes the box wider: the caller sees it is clipped.
      {"long word widens", "abcdefghij xy", 6, DT_WORDBREAK, 10, 2},
      {"edit control keeps the width", "abcdefghij xy", 6, DT_WORDBREAK | DT_EDITCONTROL, 6, 3},
      // A grid title: the long word takes one line, shortened.
      {"edit control with ellipsis keeps a word whole", "abcdefghij xy", 6,
       DT_WORDBREAK | DT_EDITCONTROL | DT_END_ELLIPSIS, 6, 2},
      {"ellipsis keeps the width", "abcdefghij xy", 6, DT_WORDBREAK | DT_END_ELLIPSIS, 6, 2},
      {"prefix marks take no room", "&a&&b", 10, DT_SINGLELINE, 3, 1},
      // Measuring counts every line, even where an edit would hide some.
      {"edit control measures all lines", "aa bb cc dd", 2, DT_WORDBREAK | DT_EDITCONTROL, 2, 4},
  };
  for (const auto& c : cases) {
    TMetafile metafile;
    TMetafileCanvas canvas(metafile);
    UseMono(canvas);
    TRect r = Bounds(3, 4, c.columns * m.cw, m.lh);
    const int h = DrawText(canvas, c.text, r, c.flags | DT_CALCRECT);
    EXPECT_EQ(r, Bounds(3, 4, c.width * m.cw, c.lines * m.lh)) << c.name;
    EXPECT_EQ(h, c.lines * m.lh) << c.name;
    EXPECT_TRUE(metafile.Empty()) << c.name;
  }
  // An empty text measures nothing at all.
  TMetafile metafile;
  TMetafileCanvas canvas(metafile);
  TRect r = Bounds(3, 4, 50, 50);
  EXPECT_EQ(DrawText(canvas, "", r, DT_CALCRECT | DT_WORDBREAK), 0);
  EXPECT_EQ(r, Bounds(3, 4, 0, 0));
}

// ---- Pixels ----------------------------------------------------------------------

struct Ink {
  int left = INT32_MAX, right = INT32_MIN, top = INT32_MAX, bottom = INT32_MIN;
  bool any() const { return left <= right; }
};

Ink FindInk(const QImage& image) {
  Ink ink;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (qGray(image.pixel(x, y)) < 128) {
        ink.left = std::min(ink.left, x);
        ink.right = std::max(ink.right, x);
        ink.top = std::min(ink.top, y);
        ink.bottom = std::max(ink.bottom, y);
      }
  return ink;
}

QImage Paint(const AnsiString& text, TRect rect, unsigned flags) {
  TBitmap bitmap;
  bitmap.SetSize(300, 120);
  TCanvas& canvas = bitmap.Canvas();
  canvas.Font().SetName("Arial");
  canvas.Font().SetSize(10);
  canvas.Font().SetColor(clBlack);
  canvas.Brush().SetStyle(bsClear);
  DrawText(canvas, text, rect, flags);
  return bitmap.Image();
}

TEST(DrawTextPixels, ClipsToTheRectangleUnlessNoClip) {
  const TRect box = Rect(20, 10, 60, 40);
  const Ink clipped = FindInk(Paint("Wide text here", box, DT_SINGLELINE));
  ASSERT_TRUE(clipped.any());
  EXPECT_GE(clipped.left, box.Left);
  EXPECT_LT(clipped.right, box.Right);
  const Ink free = FindInk(Paint("Wide text here", box, DT_SINGLELINE | DT_NOCLIP));
  EXPECT_GE(free.right, box.Right + 10);
}

TEST(DrawTextPixels, CentredTextSitsInTheMiddle) {
  const TRect box = Rect(0, 0, 300, 120);
  const Ink ink = FindInk(Paint("Centre", box, DT_SINGLELINE | DT_CENTER | DT_VCENTER));
  ASSERT_TRUE(ink.any());
  EXPECT_NEAR((ink.left + ink.right) / 2.0, 150, 3);
  EXPECT_NEAR((ink.top + ink.bottom) / 2.0, 60, 4);
}

TEST(DrawTextPixels, WrappedTextUsesSeveralLinesOfInk) {
  const Ink one = FindInk(Paint("one two three four", Rect(0, 0, 300, 120), DT_WORDBREAK));
  const Ink wrapped = FindInk(Paint("one two three four", Rect(0, 0, 45, 120), DT_WORDBREAK));
  ASSERT_TRUE(one.any());
  ASSERT_TRUE(wrapped.any());
  EXPECT_GT(wrapped.bottom - wrapped.top, 2 * (one.bottom - one.top));
  EXPECT_LT(wrapped.right, 45);
}

TEST(DrawTextPixels, PrefixUnderlineShowsUnderTheFirstLetter) {
  const Ink plain = FindInk(Paint("&Exit", Rect(0, 0, 300, 120), DT_SINGLELINE | DT_NOPREFIX));
  const Ink marked = FindInk(Paint("&Exit", Rect(0, 0, 300, 120), DT_SINGLELINE));
  ASSERT_TRUE(marked.any());
  EXPECT_LT(marked.right, plain.right);  // the '&' is not drawn
  // The underline goes lower than any letter of "Exit".
  const Ink letters = FindInk(Paint("Exit", Rect(0, 0, 300, 120), DT_SINGLELINE));
  EXPECT_GT(marked.bottom, letters.bottom);
}

}  // namespace drawtext_test
