// The object record's bytes: the text encodings, every stream version and both
// record modes, the frame width's two forms, and damaged records.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/report/class_support.h"
#include "toolkit/core/binary.h"
#include "toolkit/core/exceptions.h"

namespace class_record_test {

using namespace class_test;

namespace {

// Hand-made record bytes, written from the format's description.
struct Bytes {
  std::string s;
  Bytes& u8(int v) {
    s += static_cast<char>(v & 0xFF);
    return *this;
  }
  Bytes& u16(int v) { return u8(v).u8(v >> 8); }
  Bytes& i32(int64_t v) { return u16(static_cast<int>(v & 0xFFFF)).u16(static_cast<int>((v >> 16) & 0xFFFF)); }
  Bytes& counted(const std::string& t) {
    u16(static_cast<int>(t.size()));
    s += t;
    return u8(0);
  }
  Bytes& zero(const std::string& t) {
    s += t;
    return u8(0);
  }
  Bytes& lines(const std::vector<std::string>& ls) {
    u16(static_cast<int>(ls.size()));
    if (ls.empty()) return u8(0);
    for (size_t i = 0; i < ls.size(); ++i) {
      u16(static_cast<int>(ls[i].size()));
      s += ls[i];
      u8(i + 1 < ls.size() ? 13 : 0);
    }
    return *this;
  }
  // Left 10, Top 20, Width 30, Height 40, Flags 3, FrameTyp 15, the given
  // stored frame width, FrameColor 0xFF, FrameStyle 1, FillColor 0x1FFFFFFF.
  Bytes& fixed(int stored_frame_width = 2) {
    i32(10).i32(20).i32(30).i32(40).u16(3).u16(15).i32(stored_frame_width).i32(0xFF).u16(1);
    return i32(0x1FFFFFFF);
  }
};

std::string Lines(const TStrings& list) {
  std::string out;
  for (int i = 0; i < list.Count(); ++i) out += (i ? "|" : "") + list.Strings(i);
  return out;
}

void SetLines(TStrings& list, const std::string& joined) {
  list.Clear();
  size_t pos = 0;
  while (!joined.empty()) {
    const size_t bar = joined.find('|', pos);
    list.Add(joined.substr(pos, bar == std::string::npos ? std::string::npos : bar - pos));
    if (bar == std::string::npos) break;
    pos = bar + 1;
  }
}

class RecordTest : public ::testing::Test {
 protected:
  class_test::TestWork work_;
};

// ---------------------------------------------------------------------------
// Text encodings

TEST_F(RecordTest, CountedFormsHaveTheirExactBytes) {
  const struct {
    std::vector<std::string> lines;
    std::string bytes;
  } cases[] = {
      {{}, std::string("\0\0\0", 3)},
      {{""}, std::string("\1\0\0\0\0", 5)},
      {{"ab", "c"}, std::string("\2\0\2\0ab\r\1\0c\0", 11)},
  };
  for (const auto& c : cases) {
    TStringList list;
    for (const auto& l : c.lines) list.Add(l);
    TMemoryStream out;
    WriteCountedLines(out, list);
    EXPECT_EQ(Hex(out.Bytes()), Hex(c.bytes));
    out.SetPosition(0);
    TStringList back;
    back.Add("stale");
    ReadCountedLines(out, back);
    EXPECT_EQ(Lines(back), Lines(list));
    EXPECT_EQ(out.Position(), out.Size());
  }
  TMemoryStream text;
  WriteCountedString(text, "Memo1");
  EXPECT_EQ(Hex(text.Bytes()), Hex(std::string("\5\0Memo1\0", 8)));
}

TEST_F(RecordTest, ZeroTerminatedLinesSplitAtCarriageReturns) {
  const struct {
    std::string bytes;
    std::string lines;
  } cases[] = {
      {std::string("abc\rdef\0", 8), "abc|def"},
      {std::string("abc\r\0", 5), "abc"},  // the empty line before the 0 is dropped
      {std::string("\r\0", 2), ""},        // one empty line, ended by 13
      {std::string("a\nb\0", 4), "a\nb"},  // line feeds belong to the line
      {std::string("\0", 1), ""},
  };
  for (const auto& c : cases) {
    TStringStream in(c.bytes);
    TStringList list;
    ReadZeroLines(in, list);
    EXPECT_EQ(Lines(list), c.lines) << Hex(c.bytes);
    EXPECT_EQ(in.Position(), in.Size()) << Hex(c.bytes);
  }
  TStringStream single(std::string("\r\0", 2));
  TStringList one;
  ReadZeroLines(single, one);
  EXPECT_EQ(one.Count(), 1);
}

TEST_F(RecordTest, VersionPicksTheEncoding) {
  TStringStream counted(std::string("\3\0abc\0", 6));
  EXPECT_EQ(ReadVersionedString(counted, 23), "abc");
  TStringStream zero(std::string("abc\0", 4));
  EXPECT_EQ(ReadVersionedString(zero, 22), "abc");
}

TEST_F(RecordTest, TextsThatEndTooEarlyAreReadErrors) {
  const struct {
    const char* what;
    std::string bytes;
    int kind;  // 0 counted text, 1 counted lines, 2 zero text, 3 zero lines
  } cases[] = {
      {"counted text shorter than its length", std::string("\5\0ab", 4), 0},
      {"counted text without its 0", std::string("\2\0ab", 4), 0},
      {"counted lines never ending with separator 0", std::string("\1\0\1\0a\r\1\0b\r", 11), 1},
      {"zero text without a 0", "abc", 2},
      {"zero lines without a 0", "a\rb", 3},
      {"nothing at all", "", 0},
  };
  for (const auto& c : cases) {
    TStringStream in(c.bytes);
    TStringList list;
    EXPECT_THROW(
        {
          if (c.kind == 0) ReadCountedString(in);
          if (c.kind == 1) ReadCountedLines(in, list);
          if (c.kind == 2) ReadZeroString(in);
          if (c.kind == 3) ReadZeroLines(in, list);
        },
        EReadError)
        << c.what;
  }
}

TEST_F(RecordTest, WritingRefusesTextsTheLengthCannotCarry) {
  TMemoryStream out;
  EXPECT_THROW(WriteCountedString(out, std::string(65536, 'x')), EWriteError);
  TStringList list;
  list.Add(std::string(70000, 'x'));
  EXPECT_THROW(WriteCountedLines(out, list), EWriteError);
  TMemoryStream fits;
  WriteCountedString(fits, std::string(65535, 'x'));
  EXPECT_EQ(fits.Size(), 2 + 65535 + 1);
}

TEST_F(RecordTest, SixtyFiveThousandLinesDoNotLookEmpty) {
  // A count of 65536 would wrap to 0, which a reader takes for "no lines".
  TStringList list;
  for (int i = 0; i < 65536; ++i) list.Add("");
  TMemoryStream out;
  WriteCountedLines(out, list);
  EXPECT_EQ(GetLE16(out.Memory()), 0xFFFF);
  out.SetPosition(0);
  TStringList back;
  ReadCountedLines(out, back);
  EXPECT_EQ(back.Count(), 65536);
  EXPECT_EQ(out.Position(), out.Size());
}

TEST_F(RecordTest, FontStyleBits) {
  for (int bits = 0; bits < 16; ++bits) EXPECT_EQ(FontStyleToInt(FontStyleFromInt(bits)), bits);
  EXPECT_TRUE(FontStyleFromInt(1).Contains(fsItalic));
  EXPECT_TRUE(FontStyleFromInt(2).Contains(fsBold));
  EXPECT_TRUE(FontStyleFromInt(4).Contains(fsUnderline));
  EXPECT_TRUE(FontStyleFromInt(8).Contains(fsStrikeOut));
}

// ---------------------------------------------------------------------------
// The record's bytes

TEST_F(RecordTest, TemplateAndBuiltPageRecordsHaveTheirLayouts) {
  TestView view;
  view.Name = "Memo1";
  view.RecordMinor = 1;
  view.SetBounds(10, 20, 30, 40);
  view.Flags = 3;
  view.FrameTyp = 15;
  view.FrameWidth = 2;
  view.FrameColor = 0xFF;
  view.FrameStyle = 1;
  view.FillColor = 0x1FFFFFFF;
  view.FormatWord = 0x22;
  view.FormatText = "fmt";
  view.Memo.Add("[a]");
  view.ExpandedMemo.Add("7");
  view.ExpandedMemo.Add("8");
  view.Script.Add("x := 1");
  view.Visible = false;
  view.Restrictions = 5;
  view.Tag = "t";
  view.GapX = -3;
  view.GapY = 4;
  view.BandAlign = baBottom;

  Bytes tmpl;
  tmpl.counted("Memo1").u8(2).u8(1).fixed().i32(0x22).counted("fmt").lines({"[a]"}).lines({"x := 1"}).u16(0);
  tmpl.u16(5).counted("t").i32(-3).i32(4).u8(5);
  TMemoryStream out;
  view.WriteRecord(out);
  EXPECT_EQ(Hex(out.Bytes()), Hex(tmpl.s));

  // A built page holds the expanded text in place of format and text, and no script.
  view.RecordMode = rmPrepared;
  Bytes built;
  built.counted("Memo1").u8(2).u8(1).fixed().lines({"7", "8"});
  built.u16(5).counted("t").i32(-3).i32(4).u8(5);
  TMemoryStream page;
  view.WriteRecord(page);
  EXPECT_EQ(Hex(page.Bytes()), Hex(built.s));

  // Visible is written as -1.
  view.RecordMode = rmTemplate;
  view.Visible = true;
  TMemoryStream shown;
  view.WriteRecord(shown);
  EXPECT_EQ(GetLE16(shown.Memory() + tmpl.s.size() - 1 - 8 - 4 - 2 - 2), 0xFFFF);
}

TEST_F(RecordTest, EveryStreamVersionReadsItsOwnLayout) {
  const struct {
    const char* what;
    int version;
    uint8_t mode;
    std::string bytes;
    const char* name;
    const char* memo;
    const char* script;  // as it stays or is read
    bool visible;
    const char* tag;
    int gap_x;
    uint8_t band_align;
    uint32_t format_word;
  } cases[] = {
      {"21: zero texts, no name", 21, rmTemplate,
       Bytes().fixed().i32(0x22).zero("fmt").zero("a\rb").s, "Memo1", "a|b", "old", true, "", 2, baNone, 0x22},
      {"22: as 21", 22, rmTemplate, Bytes().fixed().i32(0x22).zero("fmt").zero("a").s, "Memo1", "a", "old", true,
       "", 2, baNone, 0x22},
      {"23 template: name, script, visible", 23, rmTemplate,
       Bytes().counted("Memo7").fixed().i32(0x22).counted("fmt").lines({"a"}).lines({"s"}).u16(0).s, "Memo7", "a",
       "s", false, "", 2, baNone, 0x22},
      {"23 built page: no name", 23, rmPrepared, Bytes().fixed().lines({"7"}).s, "Memo1", "7", "old", true, "", 2,
       baNone, 0},
      {"24 template: everything", 24, rmTemplate,
       Bytes().counted("Memo7").u8(2).u8(0).fixed().i32(0x22).counted("fmt").lines({"a"}).lines({}).u16(0xFFFF)
           .u16(1).counted("t").i32(-3).i32(4).u8(6).s,
       "Memo7", "a", "", true, "t", -3, baTop, 0x22},
      {"25 built page", 25, rmPrepared,
       Bytes().counted("Memo7").u8(2).u8(1).fixed().lines({"7", "8"}).u16(0).counted("").i32(5).i32(6).u8(7).s,
       "Memo7", "7|8", "old", true, "", 5, baRest, 0},
      {"24 with record major 1: no band alignment", 24, rmTemplate,
       Bytes().counted("Memo7").u8(1).u8(0).fixed().i32(0x22).counted("").lines({}).lines({}).u16(1).u16(0)
           .counted("").i32(0).i32(0).s,
       "Memo7", "", "", true, "", 0, baNone, 0x22},
  };
  for (const auto& c : cases) {
    TestView view("Memo");
    view.RecordMode = c.mode;
    view.Script.Add("old");
    view.FormatWord = 0;
    TStringStream in(c.bytes);
    view.ReadRecord(in, c.version);
    EXPECT_EQ(in.Position(), in.Size()) << c.what;
    EXPECT_EQ(view.Name, c.name) << c.what;
    EXPECT_EQ(Lines(view.Memo), c.memo) << c.what;
    EXPECT_EQ(Lines(view.Script), c.script) << c.what;
    EXPECT_EQ(view.Visible, c.visible) << c.what;
    EXPECT_EQ(view.Tag, c.tag) << c.what;
    EXPECT_EQ(view.GapX, c.gap_x) << c.what;
    EXPECT_EQ(view.BandAlign, c.band_align) << c.what;
    EXPECT_EQ(view.FormatWord, c.format_word) << c.what;
    EXPECT_EQ(view.Left, 10) << c.what;
    EXPECT_EQ(view.Top, 20) << c.what;
    EXPECT_EQ(view.Width, 30) << c.what;
    EXPECT_EQ(view.Height, 40) << c.what;
    EXPECT_EQ(view.Flags, 3) << c.what;
    EXPECT_EQ(view.FrameTyp, 15) << c.what;
    EXPECT_EQ(view.FrameWidth, 2.0) << c.what;
    EXPECT_EQ(view.FrameColor, 0xFF) << c.what;
    EXPECT_EQ(view.FrameStyle, 1) << c.what;
    EXPECT_EQ(view.FillColor, 0x1FFFFFFF) << c.what;
  }
}

TEST_F(RecordTest, AnOldRecordAfterAWriteReadsNoBandAlignment) {
  // Writing sets the record major to 2; an old record read afterwards must not
  // take the next record's first byte for a band alignment.
  TestView view("Memo");
  TMemoryStream scratch;
  view.WriteRecord(scratch);
  view.BandAlign = baCenter;
  const std::string record = Bytes().counted("Memo2").fixed().i32(0).counted("").lines({}).lines({}).u16(1).s;
  TStringStream in(record + "\x07");
  view.ReadRecord(in, 23);
  EXPECT_EQ(in.Position(), static_cast<int64_t>(record.size()));
  EXPECT_EQ(view.BandAlign, baCenter);
}

TEST_F(RecordTest, RecordsRoundTripInBothModes) {
  const struct {
    const char* name;
    int left, top, width, height;
    uint16_t flags, frame_typ, frame_style, restrictions;
    double frame_width;
    TColor frame_color, fill_color;
    const char* memo;
    const char* expanded;
    const char* script;
    bool visible;
    const char* tag;
    int gap_x, gap_y;
    uint8_t band_align;
  } cases[] = {
      {"Memo1", 0, 0, 0, 0, 1, 0, 0, 0, 1.0, clBlack, clNone, "", "", "", true, "", 2, 1, baNone},
      {"Band12", -5, 7, 1000, 2000000, 0x8001, 15, 5, 0xFFFF, 0.5, static_cast<TColor>(0xFF00000F), 0x00FFFFFF,
       "[Dbf1.\"SERIAL\"]|line two", "123|line two", "if a then b", false, "[PAGE#]", -1, 0, baRest},
      {"\xCC\xE5\xEC\xEE", 1, 2, 3, 4, 2, 8, 3, 1, 12.0, 0x123456, 0, "\xE0\xE1|||", "x", "", true, "tag", 0, 0,
       baWidth},
  };
  for (uint8_t mode : {rmTemplate, rmPrepared}) {
    for (const auto& c : cases) {
      TestView src("Memo");
      src.RecordMode = mode;
      src.Name = c.name;
      src.SetBounds(c.left, c.top, c.width, c.height);
      src.Flags = c.flags;
      src.FrameTyp = c.frame_typ;
      src.FrameStyle = c.frame_style;
      src.Restrictions = c.restrictions;
      src.FrameWidth = c.frame_width;
      src.FrameColor = c.frame_color;
      src.FillColor = c.fill_color;
      SetLines(src.Memo, c.memo);
      SetLines(src.ExpandedMemo, c.expanded);
      SetLines(src.Script, c.script);
      src.Visible = c.visible;
      src.Tag = c.tag;
      src.GapX = c.gap_x;
      src.GapY = c.gap_y;
      src.BandAlign = c.band_align;
      src.FormatWord = 0x01020304;
      src.FormatText = "#,##0.00";
      TMemoryStream stream;
      src.WriteRecord(stream);
      stream.SetPosition(0);

      TestView back("Memo");
      back.RecordMode = mode;
      back.ReadRecord(stream, 25);
      const std::string what = std::string(c.name) + (mode == rmTemplate ? " template" : " built page");
      EXPECT_EQ(stream.Position(), stream.Size()) << what;
      EXPECT_EQ(back.Name, src.Name) << what;
      EXPECT_EQ(back.Left, c.left) << what;
      EXPECT_EQ(back.Top, c.top) << what;
      EXPECT_EQ(back.Width, c.width) << what;
      EXPECT_EQ(back.Height, c.height) << what;
      EXPECT_EQ(back.Flags, c.flags) << what;
      EXPECT_EQ(back.FrameTyp, c.frame_typ) << what;
      EXPECT_EQ(back.FrameStyle, c.frame_style) << what;
      EXPECT_EQ(back.Restrictions, c.restrictions) << what;
      EXPECT_EQ(back.FrameWidth, c.frame_width) << what;
      EXPECT_EQ(back.FrameColor, c.frame_color) << what;
      EXPECT_EQ(back.FillColor, c.fill_color) << what;
      EXPECT_EQ(back.Tag, c.tag) << what;
      EXPECT_EQ(back.GapX, c.gap_x) << what;
      EXPECT_EQ(back.GapY, c.gap_y) << what;
      EXPECT_EQ(back.BandAlign, c.band_align) << what;
      EXPECT_EQ(back.RecordMajor, 2) << what;
      if (mode == rmTemplate) {
        EXPECT_EQ(Lines(back.Memo), Lines(src.Memo)) << what;
        EXPECT_EQ(Lines(back.Script), Lines(src.Script)) << what;
        EXPECT_EQ(back.Visible, c.visible) << what;
        EXPECT_EQ(back.FormatWord, 0x01020304u) << what;
        EXPECT_EQ(back.FormatText, "#,##0.00") << what;
      } else {
        // What was printed comes back as the object's text.
        EXPECT_EQ(Lines(back.Memo), Lines(src.ExpandedMemo)) << what;
        EXPECT_EQ(back.FormatText, "") << what;
      }
    }
  }
}

TEST_F(RecordTest, FrameWidthIsStoredWholeOrInThousandths) {
  const struct {
    double width;
    int32_t stored;
    double read_back;
  } cases[] = {
      {10, 10, 10.0},
      {0.5, 500, 0.5},
      {12, 12000, 12.0},
      {0, 0, 0.0},
      {1, 1, 1.0},
      {1.25, 1250, 1.25},
      {10.5, 10500, 10.5},
      {1.2344, 1234, 1.234},  // nearest thousandth
      // Thousandths of 1..10 are not read back as whole widths of 1..10 pixels.
      {0.005, 11, 0.011},
      {0.0004, 0, 0.0},
      // A negative width does not come back multiplied by a thousand.
      {-0.5, 0, 0.0},
      {-2, 0, 0.0},
      {1e12, 2147483647, 2147483.647},
  };
  for (const auto& c : cases) {
    TestView view;
    view.FrameWidth = c.width;
    TMemoryStream out;
    view.WriteRecord(out);
    // Name "" (3 bytes), major and minor, then 20 bytes to the frame width.
    EXPECT_EQ(static_cast<int32_t>(GetLE32(out.Memory() + 25)), c.stored) << c.width;
    out.SetPosition(0);
    TestView back;
    back.ReadRecord(out, 25);
    EXPECT_DOUBLE_EQ(back.FrameWidth, c.read_back) << c.width;
    EXPECT_EQ(view.FrameWidth, c.width) << "the value in memory stays";
  }
  // A negative stored width from another producer reads as no width.
  TestView view;
  TMemoryStream out;
  view.WriteRecord(out);
  PutLE32(out.Memory() + 25, static_cast<uint32_t>(-3));
  out.SetPosition(0);
  view.ReadRecord(out, 25);
  EXPECT_EQ(view.FrameWidth, 0.0);
}

TEST_F(RecordTest, EveryCutOfARecordIsAReadError) {
  TestView view;
  view.Name = "Memo1";
  view.Memo.Add("abc");
  view.Script.Add("s");
  view.Tag = "t";
  for (uint8_t mode : {rmTemplate, rmPrepared}) {
    view.RecordMode = mode;
    TMemoryStream out;
    view.WriteRecord(out);
    const std::string whole(out.Bytes());
    for (size_t cut = 0; cut < whole.size(); ++cut) {
      TStringStream in(whole.substr(0, cut));
      TestView back;
      back.RecordMode = mode;
      EXPECT_THROW(back.ReadRecord(in, 25), EReadError) << "cut at " << cut;
    }
  }
}

}  // namespace

}  // namespace class_record_test
