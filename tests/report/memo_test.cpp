// The text object: hyphenation, wrapping, heights, expansion, its record and
// what it prints into a built page.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "report/fr_memo.h"
#include "report/fr_utils.h"
#include "report/fr_views.h"
#include "tests/report/class_support.h"
#include "tests/report/view_support.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "toolkit/gfx/metafile.h"

namespace memo_test {

namespace {

using class_test::TestWork;

// 1251 letters.
const std::string kMoloko = "\xCC\xCE\xCB\xCE\xCA\xCE";  // МОЛОКО
const std::string kKoshka = "\xCA\xCE\xD8\xCA\xC0";      // КОШКА
const std::string kMark(1, kLineEndMark);

class MemoTest : public ::testing::Test {
 protected:
  TestWork work;

  // The width of a text in the memo's font as wrapping measures it.
  static int Measure(const TfrMemoView& memo, const std::string& text) {
    TCanvas& c = frScratchCanvas();
    c.Font().Assign(memo.Font);
    c.Font().SetHeight(-FontPixelHeight(memo.Font.Size()));
    return c.TextWidth(text);
  }

  static std::vector<std::string> Wrap(TfrMemoView& memo, const std::vector<std::string>& lines) {
    memo.ExpandedMemo.Clear();
    for (const std::string& l : lines) memo.ExpandedMemo.Add(l);
    std::vector<std::string> out;
    for (const AnsiString& l : memo.WrapMemo()) out.push_back(l);
    return out;
  }
};

TEST_F(MemoTest, RussianWordsBreakAfterSyllables) {
  struct Case {
    std::string word;
    std::vector<int> positions;
  } cases[] = {
      {kMoloko, {2, 4}},
      {kKoshka, {3}},
      {"\xEC\xEE\xeb\xee\xea\xee", {2, 4}},  // lower case is upper-cased first
      {"\xCA\xCE\xD2", {}},                  // КОТ: three letters never break
      {"", {}},
      // A sign breaks after itself when a letter follows: ПОДЪЕЗД.
      {"\xCF\xCE\xC4\xDA\xC5\xC7\xC4", {4}},
  };
  for (const Case& c : cases) EXPECT_EQ(BreakWord(c.word), c.positions) << c.word;
}

TEST_F(MemoTest, AFittingLineIsOneLineWithItsMark) {
  TfrMemoView memo;
  memo.SetBounds(0, 0, 400, 50);
  EXPECT_EQ(Wrap(memo, {"Short"}), std::vector<std::string>{"Short" + kMark});
  EXPECT_EQ(Wrap(memo, {""}), std::vector<std::string>{kMark});
  // Without word wrap a long line stays one line.
  memo.Flags &= ~flWordWrap;
  const std::string long_line(200, 'W');
  EXPECT_EQ(Wrap(memo, {long_line}), std::vector<std::string>{long_line + kMark});
}

TEST_F(MemoTest, WrapBreaksAtSpacesAndLineBreaks) {
  TfrMemoView memo;
  const int limit = Measure(memo, "aaa bbb");
  memo.SetBounds(0, 0, limit + 2 * memo.GapX, 100);
  // The space at the break is dropped; only paragraph ends carry the mark.
  EXPECT_EQ(Wrap(memo, {"aaa bbb ccc"}), (std::vector<std::string>{"aaa bbb", "ccc" + kMark}));
  EXPECT_EQ(Wrap(memo, {"aaa\r\nbbb"}), (std::vector<std::string>{"aaa" + kMark, "bbb" + kMark}));
  // A text that ends with line breaks gives no empty last line.
  EXPECT_EQ(Wrap(memo, {"aaa bbb ccc\r\n"}), (std::vector<std::string>{"aaa bbb", "ccc" + kMark}));
  // A word longer than the line breaks between characters.
  const std::vector<std::string> parts = Wrap(memo, {std::string(40, 'm')});
  ASSERT_GT(parts.size(), 1u);
  std::string joined;
  for (const std::string& p : parts) joined += p;
  EXPECT_EQ(joined, std::string(40, 'm') + kMark);
}

TEST_F(MemoTest, HyphenationDependsOnTheWidth) {
  TfrMemoView memo;
  memo.Flags |= flWordBreak;
  const std::string text = "\xC8 " + kMoloko;  // "И МОЛОКО"
  const std::string mo = "\xCC\xCE", lo = "\xCB\xCE", ko = "\xCA\xCE";
  struct Case {
    std::string fits;
    std::vector<std::string> lines;
  } cases[] = {
      {"\xC8 " + mo + "-", {"\xC8 " + mo + "-", lo + ko + kMark}},
      {"\xC8 " + mo + lo + "-", {"\xC8 " + mo + lo + "-", ko + kMark}},
  };
  for (const Case& c : cases) {
    memo.SetBounds(0, 0, Measure(memo, c.fits) + 2 * memo.GapX, 100);
    EXPECT_EQ(Wrap(memo, {text}), c.lines) << c.fits;
  }
  // A line's first word keeps its first letter wherever it breaks, and no
  // letter is lost or doubled over the lines.
  const std::string two_words = kMoloko + " " + kKoshka;
  for (const std::string& fits : {mo + "-", mo + lo + "-", std::string("\xCC")}) {
    memo.SetBounds(0, 0, Measure(memo, fits) + 2 * memo.GapX, 100);
    const std::vector<std::string> lines = Wrap(memo, {two_words});
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].substr(0, 1), "\xCC") << fits;
    std::string letters;
    for (const std::string& l : lines)
      for (const char c : l)
        if (c != '-' && c != ' ' && c != kLineEndMark) letters += c;
    EXPECT_EQ(letters, kMoloko + kKoshka) << fits;
  }
  // Without word break the whole word moves to the next line.
  memo.Flags &= ~flWordBreak;
  memo.SetBounds(0, 0, Measure(memo, "\xC8 " + mo + lo + "\xCA") + 2 * memo.GapX, 100);
  EXPECT_EQ(Wrap(memo, {text}), (std::vector<std::string>{"\xC8", kMoloko + kMark}));
}

TEST_F(MemoTest, HeightsOfThreeLines) {
  TfrMemoView memo;
  memo.SetBounds(0, 0, 1000, 50);
  memo.Memo.Add("one");
  memo.Memo.Add("two");
  memo.Memo.Add("three");
  // Font 10 pt is 13 pixels; with LineSpacing 2 a line is 15 high.
  EXPECT_EQ(memo.CalcHeight(), 3 * 15 + 2);
  EXPECT_EQ(memo.LineHeight, 15);
  EXPECT_EQ(memo.MinimumHeight(), 15 + 2 + 2);
  EXPECT_EQ(memo.RemainingHeight(), 5);  // (50 - 2 - 2) mod 15 + 2 + 2
  memo.Visible = false;
  EXPECT_EQ(memo.CalcHeight(), 0);
}

TEST_F(MemoTest, ExpansionPutsValuesInAndKeepsTheirBrackets) {
  TfrMemoView memo;
  work.host.OnExpandValue = [](TfrView&, const AnsiString& inner) -> AnsiString {
    if (inner == "PAGE#") return "3";
    if (inner == "TOTALPAGES") return "7";
    if (inner == "TWO") return "a\r\nb";
    return "[" + inner + "!]";
  };
  memo.Memo.Add("\xD1\xF2\xF0. [PAGE#] \xE8\xE7 [TOTALPAGES]");
  memo.Memo.Add("");
  memo.Memo.Add("[TWO]");
  memo.Memo.Add("[X]");
  memo.ExpandMemo();
  EXPECT_EQ(memo.ExpandedMemo.Text(),
            "\xD1\xF2\xF0. 3 \xE8\xE7 7\r\n\r\na\r\nb\r\n[X!]\r\n");  // a value's "[" is not expanded again
  memo.Flags |= flTextOnly;
  memo.ExpandMemo();
  EXPECT_EQ(memo.ExpandedMemo.Strings(0), memo.Memo.Strings(0));
}

TEST_F(MemoTest, RecordSurvivesWriteAndRead) {
  TfrMemoView memo;
  memo.Name = "Memo3";
  memo.SetBounds(72, 10, 202, 19);
  memo.Memo.Add("[Dbf1.\"P\"]");
  memo.Font.SetName("Times New Roman");
  memo.Font.SetSize(12);
  memo.Font.SetStyle(FontStyleFromInt(3));
  memo.Font.SetColor(0x0000FF);
  memo.Alignment = frtaCenter | frtaMiddle;
  memo.HighlightCondition = "[P] > 1";
  memo.HighlightStyle = 1;
  memo.LineSpacing = 5;
  memo.CharSpacing = 1;
  memo.FormatWord = 0x104022C;
  memo.FormatText = "0.00";
  TfrMemoView back;
  const std::string written = view_test::RecordRoundTrip(memo, back);
  EXPECT_EQ(back.Name, "Memo3");
  EXPECT_EQ(back.Font.Name(), "Times New Roman");
  EXPECT_EQ(back.Font.Size(), 12);
  EXPECT_EQ(FontStyleToInt(back.Font.Style()), 3);
  EXPECT_EQ(back.Font.Color(), 0x0000FF);
  EXPECT_EQ(back.Alignment, frtaCenter | frtaMiddle);
  EXPECT_EQ(back.HighlightCondition, "[P] > 1");
  EXPECT_EQ(back.HighlightStyle, 1);
  EXPECT_EQ(back.LineSpacing, 5);
  EXPECT_EQ(back.CharSpacing, 1);
  EXPECT_EQ(back.FormatText, "0.00");
  TMemoryStream again;
  back.WriteRecord(again);
  EXPECT_EQ(again.Bytes(), written);
}

// The common part of a version-21 record: zero-terminated texts, no name.
std::string OldCommonPart(uint16_t flags) {
  std::string s(16, '\0');
  s += std::string(reinterpret_cast<const char*>(&flags), 2);
  s += std::string(2, '\0');                     // FrameTyp
  s += std::string("\x01\0\0\0", 4);             // frame width 1
  s += std::string(4, '\0');                     // FrameColor
  s += std::string(2, '\0');                     // FrameStyle
  s += std::string("\xFF\xFF\xFF\x1F", 4);       // FillColor none
  s += std::string("\x2C\x02\0\0", 4);           // FormatWord
  s += std::string(1, '\0');                     // FormatText
  s += std::string("Hi\0", 3);                   // Memo
  return s;
}

TEST_F(MemoTest, OldRecordsGetWordWrapAndTheDefaultCharacterSet) {
  for (int version : {21, 22}) {
    std::string bytes = OldCommonPart(flStretched);
    bytes += std::string("Arial\0", 6);
    bytes += std::string("\x0A\0\0\0", 4);      // size 10
    bytes += std::string(2, '\0');              // style
    bytes += std::string(4, '\0');              // colour
    bytes += std::string(4, '\0');              // alignment
    bytes += std::string("\x00\x00", 2);        // charset 0, replaced
    bytes += std::string(10, '\0');             // highlight
    bytes += std::string(1, '\0');              // condition
    TMemoryStream in;
    in.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    in.SetPosition(0);
    TfrMemoView memo;
    memo.ReadRecord(in, version);
    EXPECT_EQ(in.Position(), in.Size()) << version;
    EXPECT_EQ(memo.Memo.Text(), "Hi\r\n");
    EXPECT_EQ(memo.FontCharset, kDefaultCharset);
    EXPECT_EQ((memo.Flags & flWordWrap) != 0, version == 21) << version;
  }
}

TEST_F(MemoTest, PrintedPagesSuppressRepeatsAndSkipInvisibleObjects) {
  frEngine().EngineMode = emPrinting;
  AnsiString value = "A";
  work.host.OnExpandValue = [&](TfrView&, const AnsiString&) { return value; };
  TfrMemoView memo;
  memo.RecordMode = rmPrepared;
  memo.SetBounds(0, 0, 200, 20);
  memo.Memo.Add("[V]");
  memo.Flags |= flSuppressRepeated;
  // As a band prints it: the height first, then the record.
  auto printed = [&] {
    memo.CalcHeight();
    TMemoryStream page;
    memo.PrintToPage(page);
    return page.Size();
  };
  EXPECT_GT(printed(), 0);
  EXPECT_EQ(memo.CalcHeight(), 0);  // the repeat needs no room
  EXPECT_EQ(printed(), 0);
  value = "B";
  EXPECT_GT(memo.CalcHeight(), 0);
  EXPECT_GT(printed(), 0);
  memo.Visible = false;
  value = "C";
  EXPECT_EQ(memo.CalcHeight(), 0);
  EXPECT_EQ(printed(), 0);
  EXPECT_EQ(memo.PrintPhase, 0);
}

TEST_F(MemoTest, PrintedRecordHoldsTheWrappedLinesWithMarks) {
  frEngine().EngineMode = emPrinting;
  TfrMemoView memo;
  memo.RecordMode = rmPrepared;
  memo.SetBounds(0, 0, 300, 20);
  memo.Memo.Add("plain");
  ASSERT_GT(memo.CalcHeight(), 0);
  TMemoryStream page;
  memo.PrintToPage(page);
  page.SetPosition(0);
  ASSERT_EQ(ReadByte(page), gtMemo);
  TfrMemoView shown;
  shown.RecordMode = rmPrepared;
  shown.ReadRecord(page, 25);
  EXPECT_EQ(shown.Memo.Text(), "plain" + kMark + "\r\n");
  // The page shows it as it is, without wrapping again.
  TMetafile drawing;
  TMetafileCanvas canvas(drawing);
  shown.DrawTo(&canvas);
  EXPECT_EQ(drawing.Text(), "plain\n");
}

// A built page holds a text wrapped, so that it draws without wrapping it
// again: what it shows, at any scale, must be what the same text unwrapped
// shows when the page wraps it, and its lines are the ones stored. Where
// drawing would not take stored lines as they are, the text stays unwrapped.
TEST_F(MemoTest, BuiltPagesHoldTheLinesTheyShow) {
  frEngine().EngineMode = emPrinting;
  const std::string protocol = Utf8ToAnsi("Протокол испытаний образцов бетона на сжатие, серия 12-Б");
  struct Case {
    const char* what;
    uint16_t flags;
    int alignment;
    int width;
    double frame_width;
    int char_spacing;
    std::vector<std::string> lines;
    bool stored_wrapped;
    int min_lines;
    // A before-print step that puts these lines in place of the expanded ones.
    bool by_handler = false;
  };
  const uint16_t wrap = flStretched | flWordWrap;
  const Case cases[] = {
      {"a line that fits", wrap, frtaLeft, 300, 1, 0, {"plain"}, true, 1},
      {"wrapped at spaces", wrap, frtaLeft, 120, 1, 0, {protocol}, true, 3},
      {"words broken after syllables", wrap | flWordBreak, frtaLeft, 70, 1, 0, {protocol}, true, 4},
      {"without word wrap", flStretched, frtaLeft, 70, 1, 0, {protocol}, true, 1},
      // Width 0: the line's own width and gaps, and two pixels; the wide
      // frame takes four of them.
      {"a wide frame narrows the lines", wrap, frtaLeft, 0, 3, 0, {"abc def"}, true, 2},
      {"justified", wrap, frtaJustify, 150, 1, 0, {protocol}, true, 2},
      {"centred both ways", wrap, frtaCenter | frtaMiddle, 150, 1, 0, {protocol}, true, 2},
      {"turned", wrap, frtaVertical, 40, 1, 0, {protocol}, true, 1},
      {"character spacing", wrap, frtaRight, 150, 1, 3, {protocol}, true, 3},
      {"paragraphs", wrap, frtaLeft, 120, 1, 0, {protocol, "", "end"}, true, 5},
      {"a last empty line", wrap, frtaCenter | frtaDown, 120, 1, 0, {protocol, ""}, false, 3},
      {"auto width", wrap | flAutoWidth, frtaLeft, 60, 1, 0, {protocol}, false, 1},
      {"a handler's line holding breaks", wrap, frtaLeft, 120, 1, 0, {protocol + "\r\n\r\n" + protocol, "end"},
       false, 7, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TfrMemoView memo;
    memo.RecordMode = rmPrepared;
    memo.SetBounds(30, 40, c.width > 0 ? c.width : Measure(memo, c.lines[0]) + 2 * memo.GapX + 2, 160);
    memo.Flags = c.flags;
    memo.Alignment = c.alignment;
    memo.FrameWidth = c.frame_width;
    memo.FrameTyp = frbLeft | frbTop | frbRight | frbBottom;
    memo.CharSpacing = c.char_spacing;
    // A text the handler changes is not expanded after it.
    for (const std::string& line : c.by_handler ? std::vector<std::string>{"placeholder"} : c.lines)
      memo.Memo.Add(line);
    if (c.by_handler)
      work.host.OnDoBeforePrint = [&](TfrView& view) {
        view.ExpandedMemo.Clear();
        for (const std::string& line : c.lines) view.ExpandedMemo.Add(line);
      };
    TMemoryStream page;
    memo.PrintToPage(page);
    work.host.OnDoBeforePrint = nullptr;
    auto read = [&] {
      page.SetPosition(0);
      EXPECT_EQ(ReadByte(page), gtMemo);
      auto view = std::make_unique<TfrMemoView>();
      view->RecordMode = rmPrepared;
      view->ReadRecord(page, 25);
      return view;
    };
    const std::unique_ptr<TfrMemoView> built = read();
    EXPECT_EQ(built->Memo.Text().find(kLineEndMark) != std::string::npos, c.stored_wrapped);
    // The same record holding the lines unwrapped, which drawing wraps.
    const std::unique_ptr<TfrMemoView> as_built = read();
    as_built->ExpandedMemo.Clear();
    for (const std::string& line : c.lines) as_built->ExpandedMemo.Add(line);
    TMemoryStream unwrapped_page;
    as_built->WriteRecord(unwrapped_page);
    unwrapped_page.SetPosition(0);
    auto unwrapped = std::make_unique<TfrMemoView>();
    unwrapped->RecordMode = rmPrepared;
    unwrapped->ReadRecord(unwrapped_page, 25);
    for (const double scale : {1.0, 3.125}) {
      auto draw = [&](TfrMemoView& view) {
        view.ScaleFactorX = view.ScaleFactorY = scale;
        view.OriginX = 5;
        TMetafile drawing;
        TMetafileCanvas canvas(drawing);
        view.DrawTo(&canvas);
        return drawing;
      };
      const TMetafile shown = draw(*built);
      EXPECT_TRUE(shown == draw(*unwrapped)) << "scale " << scale;
      EXPECT_GE(built->LineCount, c.min_lines) << "scale " << scale;
      EXPECT_EQ(built->LineCount, unwrapped->LineCount) << "scale " << scale;
    }
    if (c.stored_wrapped) {
      // The stored lines are the shown ones, mark for mark.
      std::vector<std::string> shown;
      work.host.OnExportText = [&](const TRect&, int, int, const AnsiString& line, TfrMemoView&, uint16_t) {
        shown.push_back(line);
      };
      built->HandToExport();
      work.host.OnExportText = nullptr;
      std::vector<std::string> stored;
      for (int i = 0; i < built->Memo.Count(); ++i) {
        std::string line = built->Memo.Strings(i);
        if (!line.empty() && line.back() == kLineEndMark) line.pop_back();
        stored.push_back(line);
      }
      EXPECT_EQ(stored, shown);
    }
  }
}

TEST_F(MemoTest, JustifiedParagraphsKeepTheirLastLineLeft) {
  frEngine().EngineMode = emPrinting;
  TfrMemoView memo;
  memo.Alignment = frtaJustify;
  const int width = Measure(memo, "aa bb cc dd") + 2 * memo.GapX;
  memo.SetBounds(10, 10, width, 200);
  memo.Memo.Add("aa bb cc dd ee");
  TMetafile drawing;
  TMetafileCanvas canvas(drawing);
  memo.DrawTo(&canvas);
  const std::vector<TMetaTextRun> runs = drawing.TextRuns();
  ASSERT_FALSE(runs.empty());
  // The first line is spread word by word to the right edge; the last line
  // "ee" starts at the left gap.
  EXPECT_EQ(runs.back().text, "ee");
  EXPECT_EQ(runs.back().x, 10 + memo.GapX);
  int first_line_words = 0;
  for (const TMetaTextRun& run : runs)
    if (run.y == runs.front().y) ++first_line_words;
  EXPECT_EQ(first_line_words, 4);
}

// A text that lies inside its cell is drawn without a clip of its own (a page
// of cells would hold a clip path for each); a text running over is clipped.
TEST_F(MemoTest, OnlyATextRunningOverItsCellIsClipped) {
  frEngine().EngineMode = emPrinting;
  const struct {
    const char* text;
    int width;
    int clips;
  } cases[] = {{"abc", 200, 0}, {"a much longer text than the cell", 40, 1}};
  for (const auto& c : cases) {
    TfrMemoView memo;
    memo.SetBounds(10, 10, c.width, 40);
    memo.Flags &= ~flWordWrap;
    memo.Memo.Add(c.text);
    TMetafile drawing;
    TMetafileCanvas canvas(drawing);
    memo.DrawTo(&canvas);
    int clips = 0, texts = 0;
    for (const TMetaRecord& r : drawing.Records()) {
      clips += r.op == TMetaOp::PushClip;
      texts += r.op == TMetaOp::TextOut;
    }
    EXPECT_EQ(texts, 1) << c.text;
    EXPECT_EQ(clips, c.clips) << c.text;
  }
}

TEST_F(MemoTest, AutoWidthKeepsTheRightEdgeOfRightAlignedText) {
  frEngine().EngineMode = emPrinting;
  TfrMemoView memo;
  memo.Flags |= flAutoWidth;
  memo.Alignment = frtaRight;
  memo.SetBounds(100, 0, 300, 20);
  memo.Memo.Add("abc");
  TMetafile drawing;
  TMetafileCanvas canvas(drawing);
  memo.DrawTo(&canvas);
  EXPECT_LT(memo.Width, 300);
  EXPECT_EQ(memo.Left + memo.Width, 400);
}

TEST_F(MemoTest, ExportGetsEachLineWithItsFrameEdges) {
  frEngine().EngineMode = emPrinting;
  TfrMemoView memo;
  memo.SetBounds(0, 0, 300, 100);
  memo.FrameTyp = frbLeft | frbRight | frbTop | frbBottom;
  memo.Memo.Add("one");
  memo.Memo.Add("two");
  memo.Memo.Add("three");
  std::vector<std::pair<std::string, uint16_t>> lines;
  work.host.OnExportText = [&](const TRect&, int, int, const AnsiString& line, TfrMemoView&, uint16_t frame) {
    lines.emplace_back(line, frame);
  };
  memo.HandToExport();
  const uint16_t sides = frbLeft | frbRight;
  EXPECT_EQ(lines, (std::vector<std::pair<std::string, uint16_t>>{
                       {"one", sides | frbTop}, {"two", sides}, {"three", sides | frbBottom}}));
  EXPECT_FALSE(memo.Exporting);
}

TEST_F(MemoTest, ScriptPropertiesAndFlags) {
  TfrMemoView memo;
  struct Case {
    const char* name;
    uint16_t bit;
  } cases[] = {{"WordWrap", flWordWrap},   {"WordBreak", flWordBreak}, {"AutoWidth", flAutoWidth},
               {"TextOnly", flTextOnly},   {"Suppress", flSuppressRepeated}, {"HideZeros", flHideZeros},
               {"Underlines", flUnderlines}, {"RTLReading", flRTLReading}};
  for (const Case& c : cases) {
    memo.PutProperty(c.name, true);
    EXPECT_TRUE(memo.Flags & c.bit) << c.name;
    EXPECT_TRUE(memo.FetchProperty(c.name).AsBoolean()) << c.name;
    memo.PutProperty(c.name, false);
    EXPECT_FALSE(memo.Flags & c.bit) << c.name;
  }
  memo.PutProperty("Font.Size", 14);
  EXPECT_EQ(memo.FetchProperty("FONT.SIZE").AsInteger(), 14);
  memo.PutProperty("Alignment", 2);
  EXPECT_EQ(memo.Alignment, 2);
  memo.InvokeMethod("Lines.Add", "'x'", Null(), Null());
  EXPECT_EQ(memo.FetchProperty("Lines.Count").AsInteger(), 1);
}

}  // namespace

namespace {

TEST_F(MemoTest, TurnedTextIsDrawnUpwardsInColumns) {
  frEngine().EngineMode = emPrinting;
  TfrMemoView memo;
  memo.Alignment = frtaVertical;  // turned, from the bottom
  memo.SetBounds(10, 20, 60, 200);
  memo.Memo.Add("one");
  memo.Memo.Add("two");
  TMetafile drawing;
  TMetafileCanvas canvas(drawing);
  memo.DrawTo(&canvas);
  const std::vector<TMetaTextRun> runs = drawing.TextRuns();
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].font.Orientation(), 900);
  // Each line is a column; lines start at the bottom gap.
  EXPECT_EQ(runs[0].x, 10 + memo.GapX);
  EXPECT_EQ(runs[1].x, 10 + memo.GapX + memo.LineSpacing + FontPixelHeight(10));
  EXPECT_EQ(runs[0].y, 20 + 200 + 1 - memo.GapY);
  // Read from the top, a right-aligned turned line ends at the top gap.
  memo.Alignment = frtaVertical | frtaRight;
  TMetafile right;
  TMetafileCanvas right_canvas(right);
  memo.DrawTo(&right_canvas);
  EXPECT_EQ(right.TextRuns()[0].y, 20 + memo.GapY + Measure(memo, "one"));
  EXPECT_EQ(canvas.Font().Orientation(), 0);  // the canvas font is put back
}

}  // namespace

namespace {

TEST_F(MemoTest, FontHeightsStayWithinWhatAFontCanHave) {
  struct Case {
    int points;
    int pixels;
  } cases[] = {{10, 13}, {8, 11}, {12, 16}, {0, 0}, {-5, 0}, {24575, 32767}, {2147483647, 32767},
               {-2147483647 - 1, 0}};
  for (const Case& c : cases) EXPECT_EQ(FontPixelHeight(c.points), c.pixels) << c.points;
  // A template's absurd size measures without overflowing anything.
  TfrMemoView memo;
  memo.Font.SetSize(2147483647);
  memo.SetBounds(0, 0, 100, 100);
  memo.Memo.Add("x");
  EXPECT_EQ(memo.CalcHeight(), 32767 + memo.LineSpacing + 2 * memo.GapY);
}

// Gaps and spacings read from a damaged file may be anything a 32-bit field
// holds: measuring and drawing hold what they add up to the coordinate range
// instead of overflowing.
TEST_F(MemoTest, DamagedGapsAndSpacingsMeasureAndDrawWithinTheCoordinateRange) {
  constexpr int kMax = 2147483647;
  frEngine().EngineMode = emPrinting;
  TfrMemoView memo;
  memo.SetBounds(10, 20, 300, 100);
  memo.LineSpacing = kMax;
  EXPECT_EQ(Wrap(memo, {"one"}), (std::vector<std::string>{"one" + kMark}));
  EXPECT_EQ(memo.LineHeight, kMax);

  // Every character wider than any line: no line holds two of them, and
  // none is lost.
  const auto one_a_line = [&] {
    std::string all;
    for (const std::string& line : Wrap(memo, {"abc"})) {
      EXPECT_LE(line.size(), 2u) << line;  // a character and the mark at most
      all += line;
    }
    EXPECT_EQ(all, "abc" + kMark);
  };
  memo.LineSpacing = 2;
  memo.CharSpacing = kMax / 2;
  one_a_line();
  // A gap that leaves less than nothing: the same.
  memo.CharSpacing = 0;
  memo.GapX = kMax;
  one_a_line();

  // Two lines: the top gap puts the first past every coordinate, and the
  // next one a line height further still.
  memo.GapX = 2;
  memo.GapY = kMax;
  memo.LineSpacing = kMax;
  memo.Memo.Add("one");
  memo.Memo.Add("two");
  const auto drawn = [&] {
    TMetafile drawing;
    TMetafileCanvas canvas(drawing);
    memo.DrawTo(&canvas);
    return drawing.TextRuns();
  };
  const std::vector<TMetaTextRun> runs = drawn();
  ASSERT_EQ(runs.size(), 2u);
  for (const TMetaTextRun& run : runs) EXPECT_EQ(run.y, kMax) << run.text;
  // Turned, the columns run from the left gap the same way.
  memo.Alignment = frtaVertical;
  memo.GapX = kMax;
  memo.GapY = 1;
  const std::vector<TMetaTextRun> columns = drawn();
  ASSERT_EQ(columns.size(), 2u);
  for (const TMetaTextRun& run : columns) EXPECT_EQ(run.x, kMax) << run.text;
}

}  // namespace

}  // namespace memo_test
