// Aligned cell text: where the text lands for each alignment, layout, margin
// and wrap setting, read back from a recording canvas.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "grid/rs_rtm.h"
#include "toolkit/gfx/drawtext.h"
#include "toolkit/gfx/metafile.h"

namespace rtm_drawtext_test {

struct Drawn {
  std::vector<TMetaTextRun> runs;
  int width = 0;  // of the first run's text
  int height = 0;
};

Drawn Draw(const TRect& rect, const AnsiString& text, TAlignment alignment, int layout, int left, int right,
           bool wrap, bool ellipsis = false, bool edit = false, unsigned remove = 0) {
  TMetafile metafile;
  TMetafileCanvas canvas(metafile);
  canvas.Font().SetName("Arial");
  canvas.Font().SetSize(10);
  DrawTextAligned(canvas, rect, text, alignment, layout, left, right, wrap, ellipsis, edit, remove);
  Drawn d;
  d.runs = metafile.TextRuns();
  if (!d.runs.empty()) {
    d.width = canvas.TextWidth(d.runs[0].text);
    d.height = canvas.TextHeight(d.runs[0].text);
  }
  return d;
}

TEST(DrawTextAligned, SingleLineSitsByAlignmentLayoutAndMargins) {
  const TRect cell = Rect(10, 20, 210, 60);  // 200 x 40
  const int left = 4, right = 6;             // text area 14 .. 204
  const struct {
    const char* what;
    TAlignment alignment;
    int layout;
    // Expected x and y from the run's own width and height.
    std::function<int(int w)> x;
    std::function<int(int h)> y;
  } cases[] = {
      {"left top", taLeftJustify, vlTop, [](int) { return 14; }, [](int) { return 20; }},
      {"right top", taRightJustify, vlTop, [](int w) { return 204 - w; }, [](int) { return 20; }},
      {"centre centre", taCenter, vlCenter, [](int w) { return 14 + (190 - w) / 2; },
       [](int h) { return 20 + (40 - h) / 2; }},
      {"left bottom", taLeftJustify, vlBottom, [](int) { return 14; }, [](int h) { return 60 - h; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Drawn d = Draw(cell, "Wg 12,5", c.alignment, c.layout, left, right, false);
    ASSERT_EQ(d.runs.size(), 1u);
    EXPECT_EQ(d.runs[0].text, "Wg 12,5");
    EXPECT_NEAR(d.runs[0].x, c.x(d.width), 1);
    EXPECT_NEAR(d.runs[0].y, c.y(d.height), 1);
  }
}

TEST(DrawTextAligned, AmpersandsAreTextUnlessTheCallerRemovesTheNoPrefixFlag) {
  const TRect cell = Rect(0, 0, 200, 20);
  Drawn plain = Draw(cell, "R&D", taLeftJustify, vlTop, 0, 0, false);
  ASSERT_EQ(plain.runs.size(), 1u);
  EXPECT_EQ(plain.runs[0].text, "R&D");
  Drawn prefixed = Draw(cell, "R&D", taLeftJustify, vlTop, 0, 0, false, false, false, DT_NOPREFIX);
  AnsiString shown;
  for (const auto& run : prefixed.runs) shown += run.text;
  EXPECT_EQ(shown, "RD");
}

TEST(DrawTextAligned, EndEllipsisShortensALongSingleLine) {
  Drawn d = Draw(Rect(0, 0, 60, 20), "A long comment that cannot fit", taLeftJustify, vlTop, 2, 2, false, true);
  ASSERT_EQ(d.runs.size(), 1u);
  EXPECT_EQ(d.runs[0].text.substr(d.runs[0].text.size() - 3), "...");
  EXPECT_LE(d.runs[0].x + d.width, 58);
}

TEST(DrawTextAligned, WrappedTextIsMeasuredThenPlacedAsABlock) {
  const AnsiString text = "one two three four";
  const TRect cell = Rect(0, 0, 60, 100);
  const struct {
    const char* what;
    int layout;
  } cases[] = {{"top", vlTop}, {"bottom", vlBottom}, {"centre", vlCenter}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Drawn d = Draw(cell, text, taLeftJustify, c.layout, 0, 0, true);
    ASSERT_GE(d.runs.size(), 2u) << "wrapped";
    const int lines = static_cast<int>(d.runs.size());
    const int block = d.runs.back().y + d.height - d.runs.front().y;
    EXPECT_NEAR(block, lines * d.height, 1);
    if (c.layout == vlTop) {
      EXPECT_EQ(d.runs.front().y, 0);
    } else if (c.layout == vlBottom) {
      EXPECT_EQ(d.runs.back().y + d.height, 100);
    } else {
      EXPECT_NEAR(d.runs.front().y, (100 - block) / 2, 1);
    }
    for (const auto& run : d.runs) EXPECT_EQ(run.x, 0);
  }
}

TEST(DrawTextAligned, WrappedTextTallerThanTheCellStartsAtItsTop) {
  // The measured block is cut to the cell, so a bottom layout cannot push the
  // first line above the cell.
  Drawn d = Draw(Rect(0, 30, 40, 50), "one two three four five six", taLeftJustify, vlBottom, 0, 0, true);
  ASSERT_FALSE(d.runs.empty());
  EXPECT_EQ(d.runs.front().y, 30);
}

}  // namespace rtm_drawtext_test
