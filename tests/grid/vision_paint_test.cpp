// Painting grid cells through visions over real fields: a dBASE table with a
// memo file and the in-memory data set. Texts, their rows and sides are read
// back from the recording canvas; one pass is rendered into a bitmap.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "grid/rs_std.h"
#include "tests/grid/vision_support.h"
#include "toolkit/gfx/metafile.h"
#include "toolkit/ui/comctrls.h"

namespace vision_paint_test {

using namespace vision_support;

namespace {

constexpr int kRowHeight = 20;
// The designer's cell margins: left, top, right, bottom.
const TRect kMargins = Rect(2, 1, 3, 1);

TFont ArialFont() {
  TFont font;
  font.SetName("Arial");
  font.SetSize(10);
  font.SetColor(clBlack);
  return font;
}

// One column of a grid over a data set: the data link with a window of every
// row, the column's field list, and the grid's painter.
struct Column {
  Column(TDataSet& data_set, const char* field_name, TvpFieldVision* vision = nullptr) {
    source.SetDataSet(&data_set);
    link.ChangeDataSource(&source);
    link.ChangeWindowSize(static_cast<int>(kRows.size()));
    consumer.Fields.SetDataLink(&link);
    consumer.Fields.SetFieldName(field_name);
    if (vision) consumer.Fields.SetVision(vision);
    consumer.Bind(&data_set);
    painter.DataLink = &link;
    painter.RowHeight = kRowHeight;
  }

  TvpFieldVision& Vision() { return *consumer.Fields.Vision(); }

  // Paints rows first..last of a cell width wide into canvas.
  void Paint(TCanvas& canvas, int width = 120, int first = 0, int last = int(kRows.size()) - 1,
             const TvpOwnerDraw& owner_draw = {}, int cell_height = kRowHeight - 1) {
    TvpPaintSource paint_source = consumer.Fields.PaintSource();
    paint_source.GridFont = &font;
    Vision().PaintCells(consumer.Fields, painter, canvas, paint_source, Rect(0, first * kRowHeight, width,
                                                                             first * kRowHeight + cell_height),
                        kMargins, first, last, owner_draw);
  }

  // The texts drawn, by row.
  std::map<int, std::vector<std::string>> PaintTexts(int width = 120) {
    TMetafile m;
    TMetafileCanvas canvas(m);
    Paint(canvas, width);
    std::map<int, std::vector<std::string>> out;
    for (const TMetaTextRun& run : m.TextRuns()) out[run.y / kRowHeight].push_back(AnsiToUtf8(run.text));
    return out;
  }

  TDataSource source{nullptr};
  TDataLink link;
  RecordingConsumer consumer;
  TgpPainter painter;
  TFont font = ArialFont();
};

// The data sets under test, each made fresh.
struct DataSets {
  std::unique_ptr<TMemDataSet> mem = MemData();
  std::unique_ptr<TDbf> dbf = DbfData("vision_paint");
  std::vector<std::pair<const char*, TDataSet*>> All() { return {{"in memory", mem.get()}, {"dBASE", dbf.get()}}; }
};

TEST(VisionPaint, EveryRowShowsItsFieldTextNullsShowNothing) {
  DataSets sets;
  for (auto [what, ds] : sets.All()) {
    SCOPED_TRACE(what);
    const struct {
      const char* field;
      std::map<int, std::vector<std::string>> texts;
    } cases[] = {
        {"N", {{0, {"1"}}, {1, {"2"}}, {2, {"3"}}}},
        {"NAME", {{0, {"Иванов"}}, {2, {"Q"}}}},
        {"P", {{0, {"12,5"}}, {2, {"-3,25"}}}},
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(c.field);
      Column column(*ds, c.field);
      ASSERT_TRUE(column.consumer.Fields.Active());
      EXPECT_EQ(column.PaintTexts(), c.texts);
    }
  }
}

TEST(VisionPaint, TextsSitByTheFieldsAlignmentInsideTheMargins) {
  DataSets sets;
  for (auto [what, ds] : sets.All()) {
    SCOPED_TRACE(what);
    for (const char* field : {"NAME", "P"}) {
      SCOPED_TRACE(field);
      Column column(*ds, field);
      TMetafile m;
      TMetafileCanvas canvas(m);
      column.Paint(canvas, 120, 0, 0);
      const auto runs = m.TextRuns();
      ASSERT_EQ(runs.size(), 1u);
      if (std::string(field) == "P") {
        EXPECT_EQ(column.consumer.Fields.Alignment(), taRightJustify);
        EXPECT_EQ(runs[0].x + canvas.TextWidth(runs[0].text), 120 - kMargins.Right);
      } else {
        EXPECT_EQ(column.consumer.Fields.Alignment(), taLeftJustify);
        EXPECT_EQ(runs[0].x, kMargins.Left);
      }
      // Centred vertically in the content rectangle of row 0.
      const int content_height = (kRowHeight - 1) - kMargins.Top - kMargins.Bottom;
      const int text_height = canvas.TextHeight("Wg");
      EXPECT_NEAR(runs[0].y, kMargins.Top + (content_height - text_height) / 2, 1);
    }
  }
}

TEST(VisionPaint, TheDataSetStaysOnItsRecordAfterPainting) {
  DataSets sets;
  for (auto [what, ds] : sets.All()) {
    SCOPED_TRACE(what);
    Column column(*ds, "N");
    ds->GoNext();
    const int active_row = column.link.QueryActiveRow();
    const int n = ds->FieldNamed("N")->GetIntegerValue();
    TMetafile m;
    TMetafileCanvas canvas(m);
    column.Paint(canvas);
    EXPECT_EQ(column.link.QueryActiveRow(), active_row);
    EXPECT_EQ(ds->FieldNamed("N")->GetIntegerValue(), n);
    // Also when a handler raises halfway.
    column.Vision().OnDraw = [](TvpFieldVision*, TgpFieldList&, TgpPainter& p) {
      if (p.Row == 1) throw ERSError("draw failed");
    };
    EXPECT_THROW(column.Paint(canvas), ERSError);
    EXPECT_EQ(column.link.QueryActiveRow(), active_row);
    column.Vision().OnDraw = nullptr;
  }
}

TEST(VisionPaint, OnlyTheRowsAskedForArePainted) {
  auto ds = MemData();
  Column column(*ds, "N");
  TMetafile m;
  TMetafileCanvas canvas(m);
  column.Paint(canvas, 120, 1, 2);
  std::vector<std::string> texts;
  for (const auto& run : m.TextRuns()) texts.push_back(AnsiToUtf8(run.text) + "@" + std::to_string(run.y / kRowHeight));
  EXPECT_EQ(texts, (std::vector<std::string>{"2@1", "3@2"}));
}

TEST(VisionPaint, InactiveColumnsPaintNothing) {
  auto ds = MemData();
  TMemoVision memo(nullptr);
  const struct {
    const char* what;
    const char* field;
    TvpFieldVision* vision;
  } cases[] = {
      {"empty field name", "", nullptr},
      {"a memo field under the default vision", "NOTE", nullptr},
      {"empty field name under the memo vision", "", &memo},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Column column(*ds, c.field, c.vision);
    EXPECT_FALSE(column.consumer.Fields.Active());
    bool drawn = false;
    column.Vision().OnDraw = [&](TvpFieldVision*, TgpFieldList&, TgpPainter&) { drawn = true; };
    TMetafile m;
    TMetafileCanvas canvas(m);
    column.Paint(canvas);
    EXPECT_TRUE(m.Empty());
    EXPECT_FALSE(drawn);
    column.Vision().OnDraw = nullptr;
  }
}

TEST(VisionPaint, AFieldTheDataSetLacksIsShownFromOnGetValue) {
  auto ds = MemData();
  TLiteVision vision(nullptr);
  Column column(*ds, "NO_SUCH", &vision);
  EXPECT_TRUE(column.consumer.Fields.Active());
  EXPECT_TRUE(column.PaintTexts().empty()) << "without a handler the text is empty";
  vision.OnGetValue = [&](TvpFieldVision*, TgpFieldList& fields, AnsiString& value, bool& is_null) {
    EXPECT_FALSE(is_null);
    // The row being painted is the data link's active record.
    value = "row " + ds->FieldNamed("N")->GetStringValue();
    EXPECT_EQ(&fields, &column.consumer.Fields);
  };
  EXPECT_EQ(column.PaintTexts(), (std::map<int, std::vector<std::string>>{{0, {"row 1"}}, {1, {"row 2"}}, {2, {"row 3"}}}));
}

TEST(VisionPaint, HandlersTakeOverInOrder) {
  auto ds = MemData();
  TLiteVision vision(nullptr);
  Column column(*ds, "N", &vision);
  std::vector<std::string> calls;
  vision.OnGetText = [&](TvpFieldVision*, TgpFieldList&, bool display, AnsiString& value) {
    EXPECT_TRUE(display);
    value = "#" + value;
  };
  vision.OnDraw = [&](TvpFieldVision*, TgpFieldList&, TgpPainter& p) {
    calls.push_back("OnDraw " + std::to_string(p.Row) + " " + p.Text);
    if (p.Row == 1) {
      p.DefaultDraw = false;
      p.Canvas->TextOut(p.TextRect.Left, p.TextRect.Top, "own");
    }
  };
  TvpOwnerDraw owner = [&](TgpPainter& p) {
    calls.push_back("OwnerDraw " + std::to_string(p.Row));
    if (p.Row == 2) {
      p.DefaultDraw = false;
      p.Canvas->TextOut(p.TextRect.Left, p.TextRect.Top, "grid's");
    }
  };
  TMetafile m;
  TMetafileCanvas canvas(m);
  column.Paint(canvas, 120, 0, 2, owner);
  EXPECT_EQ(calls, (std::vector<std::string>{"OwnerDraw 0", "OnDraw 0 #1", "OwnerDraw 1", "OnDraw 1 #2",
                                             "OwnerDraw 2"}));
  std::vector<std::string> texts;
  for (const auto& run : m.TextRuns()) texts.push_back(AnsiToUtf8(run.text));
  EXPECT_EQ(texts, (std::vector<std::string>{"#1", "own", "grid's"}));
}

// A vision that draws content of its own (a descendant's Draw).
struct MarkVision : TLiteVision {
  using TLiteVision::TLiteVision;
  void DrawContent(TgpFieldList&, TfvPainter& p) override {
    p.Canvas->FillRect(p.ContentRect);
    if (p.Text == "2") p.DefaultDraw = false;
  }
};

TEST(VisionPaint, DrawContentRunsBeforeTheTextAndMayTakeOver) {
  auto ds = MemData();
  MarkVision vision(nullptr);
  Column column(*ds, "N", &vision);
  TMetafile m;
  TMetafileCanvas canvas(m);
  column.Paint(canvas);
  std::vector<std::string> ops;
  for (const TMetaRecord& r : m.Records()) {
    if (r.op == TMetaOp::FillRect) ops.push_back("fill " + std::to_string(r.rect.Top / kRowHeight));
    if (r.op == TMetaOp::TextOut) ops.push_back("text " + AnsiToUtf8(r.text));
  }
  EXPECT_EQ(ops, (std::vector<std::string>{"fill 0", "text 1", "fill 1", "fill 2", "text 3"}));
}

void Swatch(TBitmap& b, TColor color) {
  b.SetSize(8, 8);
  b.Canvas().Brush().SetColor(color);
  b.Canvas().FillRect(Rect(0, 0, 8, 8));
}

TEST(VisionPaint, ImagesChosenByHandlersAreDrawnBesideTheText) {
  auto ds = MemData();
  TImageList images(nullptr);
  images.SetWidth(8);
  images.SetHeight(8);
  TBitmap red, blue;
  Swatch(red, clRed);
  Swatch(blue, clBlue);
  images.AddMasked(red, clNone);
  images.AddMasked(blue, clNone);
  for (bool draw_images : {true, false}) {
    SCOPED_TRACE(draw_images ? "images drawn" : "DrawImages off");
    TLiteVision vision(nullptr);
    vision.SetImages(&images);
    vision.SetDrawImages(draw_images);
    vision.SetAlignImage(aiRight);
    Column column(*ds, "NAME", &vision);
    vision.OnDraw = [](TvpFieldVision*, TgpFieldList&, TgpPainter& p) {
      p.ImageIndex = p.Row == 0 ? 1 : -1;
      p.StateIndex = p.Row == 2 ? 0 : -1;
    };
    TMetafile m;
    TMetafileCanvas canvas(m);
    column.Paint(canvas);
    std::vector<std::string> pictures;
    for (const TMetaRecord& r : m.Records())
      if (r.op == TMetaOp::Draw)
        pictures.push_back(std::to_string(r.rect.Left) + "," + std::to_string(r.rect.Top / kRowHeight) + ":" +
                           (r.image[0] == 0xFF0000u ? "red" : r.image[0] == 0x0000FFu ? "blue" : "?"));
    if (draw_images) {
      const std::string left = std::to_string(120 - kMargins.Right - 8);
      EXPECT_EQ(pictures, (std::vector<std::string>{left + ",0:blue", left + ",2:red"}));
      // The text keeps 2 pixels from the image on its right.
      for (const TMetaTextRun& run : m.TextRuns()) EXPECT_LE(run.x + canvas.TextWidth(run.text), 120 - 3 - 8 - 2);
    } else {
      EXPECT_TRUE(pictures.empty());
    }
  }
}

TEST(VisionPaint, MemoFieldsShowTheirTextWrappedFromTheTopUnderTheMemoVision) {
  DataSets sets;
  for (auto [what, ds] : sets.All()) {
    SCOPED_TRACE(what);
    TMemoVision memo(nullptr);
    Column column(*ds, "NOTE", &memo);
    ASSERT_TRUE(column.consumer.Fields.Active());
    EXPECT_EQ(column.consumer.Fields.Layout(), tlTop);
    EXPECT_EQ(memo.FieldsText(column.consumer.Fields, false), Utf8ToAnsi("первая строка\r\nвторая строка"));
    // A cell three rows tall: the two lines start at the content's top.
    TMetafile m;
    TMetafileCanvas canvas(m);
    column.Paint(canvas, 200, 0, 0, {}, 3 * kRowHeight - 1);
    const auto runs = m.TextRuns();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(AnsiToUtf8(runs[0].text), "первая строка");
    EXPECT_EQ(AnsiToUtf8(runs[1].text), "вторая строка");
    EXPECT_EQ(runs[0].y, kMargins.Top);
    EXPECT_GT(runs[1].y, runs[0].y);
    EXPECT_TRUE(column.painter.WordWrap) << "wrapped without the column asking";
  }
}

TEST(VisionPaint, NullAndEmptyValuesOfEveryVisionGiveEmptyTexts) {
  auto ds = MemData();
  ds->GoNext();  // the row of nulls
  TMemoVision memo(nullptr);
  for (const char* field : {"NAME", "P", "NOTE"}) {
    SCOPED_TRACE(field);
    TvpFieldVision* vision = std::string(field) == "NOTE" ? static_cast<TvpFieldVision*>(&memo) : DefaultVision();
    RecordingConsumer c;
    c.Fields.SetVision(vision);
    c.Fields.SetFieldName(field);
    c.Bind(ds.get());
    ASSERT_TRUE(c.Fields.Field()->HoldsNull());
    EXPECT_EQ(vision->FieldsText(c.Fields, true), "");
    EXPECT_EQ(vision->FieldsText(c.Fields, false), "");
  }
}

// ---- Edits ---------------------------------------------------------------------------------

// An edit bound to one field of a data set.
struct EditOn {
  EditOn(TDataSet& data_set, const char* field_name, TvpFieldVision* vision = nullptr) {
    consumer.Fields.SetFieldName(field_name);
    if (vision) consumer.Fields.SetVision(vision);
    consumer.Bind(&data_set);
    edit.Font = ArialFont();
  }
  TvpFieldVision& Vision() { return *consumer.Fields.Vision(); }
  // Paints into a 100 x 20 edit; the texts drawn.
  std::vector<TMetaTextRun> Paint(TMetafile& m) {
    TMetafileCanvas canvas(m);
    Vision().PaintEdit(edit, canvas, Rect(0, 0, 100, 20));
    return m.TextRuns();
  }
  RecordingConsumer consumer{nullptr, ckEdit};
  EditStandIn edit{consumer};
};

TEST(VisionPaintEdit, TextSitsInsideTheBorderOrTheDesignersMargins) {
  DataSets sets;
  for (auto [what, ds] : sets.All()) {
    SCOPED_TRACE(what);
    for (bool inplace : {false, true}) {
      SCOPED_TRACE(inplace ? "in-place editor" : "edit of its own");
      for (const char* field : {"NAME", "P"}) {
        SCOPED_TRACE(field);
        EditOn e(*ds, field);
        e.edit.Inplace = inplace;
        e.edit.Margins = kMargins;
        TMetafile m;
        const auto runs = e.Paint(m);
        ASSERT_EQ(runs.size(), 1u);
        TMetafileCanvas measure(m);
        measure.Font().Assign(e.edit.Font);
        const int left = inplace ? kMargins.Left : 1;
        const int right = inplace ? 100 - kMargins.Right : 99;
        if (std::string(field) == "P") {
          EXPECT_EQ(AnsiToUtf8(runs[0].text), "12,5");
          EXPECT_EQ(runs[0].x + measure.TextWidth(runs[0].text), right);
        } else {
          EXPECT_EQ(AnsiToUtf8(runs[0].text), "Иванов");
          EXPECT_EQ(runs[0].x, left);
        }
        EXPECT_EQ(runs[0].font.Color(), clBlack);
      }
    }
  }
}

TEST(VisionPaintEdit, CaseAndPasswordCharacterChangeOnlyWhatIsShown) {
  auto ds = MemData();
  const struct {
    TEditCharCase char_case;
    char password;
    const char* shown;
  } cases[] = {
      {ecNormal, 0, "Иванов"},
      {ecUpperCase, 0, "ИВАНОВ"},
      {ecLowerCase, 0, "иванов"},
      {ecNormal, '*', "******"},
      {ecUpperCase, '#', "######"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shown);
    EditOn e(*ds, "NAME");
    e.edit.Case = c.char_case;
    e.edit.Password = c.password;
    TMetafile m;
    const auto runs = e.Paint(m);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(AnsiToUtf8(runs[0].text), c.shown);
    EXPECT_EQ(ds->FieldNamed("NAME")->GetStringValue(), Utf8ToAnsi("Иванов"));
  }
}

TEST(VisionPaintEdit, FontHandlersAndTheEditsOwnDrawingComeInOrder) {
  auto ds = MemData();
  MarkVision vision(nullptr);
  std::vector<std::string> calls;
  vision.OnGetEditFont = [&](TvpFieldVision*, TgpFieldList&, TFont& font) {
    calls.push_back("OnGetEditFont");
    font.SetColor(clRed);
  };
  vision.OnDrawEdit = [&](TvpFieldVision*, TgpFieldList&, TfvPainter& p) {
    calls.push_back("OnDrawEdit " + p.Text);
  };
  for (bool edit_takes_over : {false, true}) {
    SCOPED_TRACE(edit_takes_over ? "the edit draws itself" : "default drawing");
    calls.clear();
    EditOn e(*ds, "N", &vision);
    e.edit.OnDraw = [&](TfvPainter& p) {
      calls.push_back("edit's OnDraw");
      if (edit_takes_over) p.DefaultDraw = false;
    };
    TMetafile m;
    const auto runs = e.Paint(m);
    int fills = 0;
    for (const TMetaRecord& r : m.Records()) fills += r.op == TMetaOp::FillRect;
    if (edit_takes_over) {
      EXPECT_EQ(calls, (std::vector<std::string>{"OnGetEditFont", "edit's OnDraw"}));
      EXPECT_TRUE(runs.empty());
      EXPECT_EQ(fills, 0);
    } else {
      EXPECT_EQ(calls, (std::vector<std::string>{"OnGetEditFont", "edit's OnDraw", "OnDrawEdit 1"}));
      ASSERT_EQ(runs.size(), 1u);
      EXPECT_EQ(runs[0].font.Color(), clRed);
      EXPECT_EQ(fills, 1) << "the vision's content";
    }
  }
}

TEST(VisionPaintEdit, ADisabledEditShowsGreyText) {
  auto ds = MemData();
  EditOn e(*ds, "NAME");
  e.edit.Enabled = false;
  TMetafile m;
  const auto runs = e.Paint(m);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].font.Color(), clGrayText);
}

// A vision that marks edits whose field list is not active.
struct InactiveMark : TLiteVision {
  using TLiteVision::TLiteVision;
  void DrawInactive(TgpFieldList&, TfvPainter& p) override { p.Canvas->TextOut(0, 0, "inactive"); }
};

TEST(VisionPaintEdit, AnInactiveEditIsLeftToDrawInactive) {
  auto ds = MemData();
  InactiveMark vision(nullptr);
  bool drawn = false;
  vision.OnDrawEdit = [&](TvpFieldVision*, TgpFieldList&, TfvPainter&) { drawn = true; };
  EditOn e(*ds, "", &vision);
  ASSERT_FALSE(e.consumer.Fields.Active());
  TMetafile m;
  const auto runs = e.Paint(m);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].text, "inactive");
  EXPECT_FALSE(drawn);
}

TEST(VisionPaint, RenderedCellsShowInkOnlyWhereThereIsText) {
  auto ds = MemData();
  Column column(*ds, "NAME");
  TBitmap bitmap;
  bitmap.SetSize(120, 3 * kRowHeight);
  TCanvas& canvas = bitmap.Canvas();
  canvas.Brush().SetColor(clWhite);
  canvas.FillRect(Rect(0, 0, 120, 3 * kRowHeight));
  column.Paint(canvas);
  auto ink = [&](int row) {
    int dark = 0;
    for (int y = row * kRowHeight; y < (row + 1) * kRowHeight; ++y)
      for (int x = 0; x < 120; ++x)
        if ((ColorToRGB(canvas.Pixel(x, y)) & 0xFF) < 0x80) ++dark;
    return dark;
  };
  EXPECT_GT(ink(0), 20) << "\"Иванов\"";
  EXPECT_EQ(ink(1), 0) << "a null value";
  EXPECT_GT(ink(2), 3) << "\"Q\"";
  EXPECT_GT(ink(0), ink(2));
  // The text stays out of the left margin.
  for (int y = 0; y < 3 * kRowHeight; ++y)
    for (int x = 0; x < kMargins.Left; ++x) EXPECT_EQ(ColorToRGB(canvas.Pixel(x, y)), 0xFFFFFFu) << x << "," << y;
}

}  // namespace

}  // namespace vision_paint_test
