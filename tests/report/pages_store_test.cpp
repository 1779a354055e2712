// The store of prepared pages: pages made from template pages, drawing at a
// scale, the hit test, export, and prepared-report files old and new,
// damaged ones included.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "report/fr_emf.h"
#include "report/fr_memo.h"
#include "report/fr_page.h"
#include "report/fr_report.h"
#include "report/fr_views.h"
#include "tests/report/class_support.h"
#include "tests/report/pages_support.h"
#include "tests/report/printer_support.h"
#include "toolkit/core/binary.h"
#include "toolkit/core/exceptions.h"
#include "toolkit/gfx/metafile.h"

namespace pages_store_test {

using class_test::TestWork;
using pages_test::AddTextPage;
using pages_test::PageTexts;
using pages_test::TextObject;

class PagesStoreTest : public ::testing::Test {
 protected:
  TestWork work;
  TfrReport report{nullptr};
  TfrEMFPages& pages = *report.EMFPages();

  std::string Written() {
    TMemoryStream out;
    pages.WriteBuiltFile(out);
    return std::string(out.Bytes());
  }
  void Read(const std::string& bytes) {
    TMemoryStream in;
    in.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    in.SetPosition(0);
    pages.ReadBuiltFile(in);
  }
};

// Little-endian pieces of hand-made files.
std::string I32(int32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF);
  return s;
}
std::string U16(int v) { return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }

// An object stream holding one text object's built record.
std::string ObjectStream(const std::string& text) {
  TfrEMFPages scratch(nullptr);
  AddTextPage(scratch, {text});
  return std::string(scratch.Pages(0).Stream->Bytes());
}

TEST_F(PagesStoreTest, InsertPageTakesThePaperOfTheTemplatePageAndAppendsPastTheEnd) {
  TfrPage a4(pages_test::kA4, 2100, 2970, kPageDefaultBin, 0);
  a4.LeftMargin = 11;
  a4.TopMargin = 12;
  a4.RightMargin = 13;
  a4.BottomMargin = 14;
  a4.UseMargins = false;
  TfrPage a5(pages_test::kA5, 2100, 1480, kPageDefaultBin, 1);
  pages.InsertPage(0, a4);
  pages.InsertPage(0, a5);
  pages.InsertPage(7, a4);
  ASSERT_EQ(pages.Count(), 3);
  EXPECT_EQ(pages[0].PaperSize, pages_test::kA5);
  EXPECT_EQ(pages[0].Orientation, 1);
  EXPECT_EQ(pages[1].PaperSize, pages_test::kA4);
  const TfrPageInfo& last = pages[2];
  EXPECT_EQ(last.PaperWidth, 2100);
  EXPECT_EQ(last.PaperHeight, 2970);
  EXPECT_EQ(last.Bin, kDefaultBin);
  EXPECT_FALSE(last.UseMargins);
  EXPECT_EQ((std::vector<int>{last.LeftMargin, last.TopMargin, last.RightMargin, last.BottomMargin}),
            (std::vector<int>{11, 12, 13, 14}));
  EXPECT_EQ(last.Metrics, a4.Metrics);
  EXPECT_EQ(last.Stream->Bytes(), std::string(1, '\x19'));
  EXPECT_THROW(pages.Pages(3), EListError);
}

TEST_F(PagesStoreTest, AddPageTellsTheReportTheNewPageNumber) {
  std::vector<int> begun;
  report.OnBeginPage = [&](int n) { begun.push_back(n); };
  TfrPage page(pages_test::kA4, 2100, 2970, kPageDefaultBin, 0);
  pages.AddPage(page);
  pages.AddPage(page);
  EXPECT_EQ(begun, (std::vector<int>{1, 2}));
  pages.DeletePage(0);
  EXPECT_EQ(pages.Count(), 1);
}

TEST_F(PagesStoreTest, AFileWrittenAndReadBackHoldsTheSamePages) {
  AddTextPage(pages, {"Первая", "строка два"});
  AddTextPage(pages, {"Альбомная"}, pages_test::kA5, 1);
  pages[1].Bin = 15;
  pages[1].UseMargins = false;
  pages[1].LeftMargin = 30;
  pages[1].BottomMargin = 40;
  std::vector<std::string> streams;
  for (int i = 0; i < pages.Count(); ++i) streams.emplace_back(pages[i].Stream->Bytes());
  const std::string file = Written();
  EXPECT_EQ(file[0], 25);
  EXPECT_EQ(file[1], 0);
  EXPECT_EQ(static_cast<uint8_t>(file.back()), 88);

  TfrReport other(nullptr);
  TMemoryStream in;
  in.WriteBuffer(file.data(), static_cast<int64_t>(file.size()));
  in.SetPosition(0);
  other.EMFPages()->ReadBuiltFile(in);
  TfrEMFPages& back = *other.EMFPages();
  ASSERT_EQ(back.Count(), 2);
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(back[i].PaperSize, pages[i].PaperSize);
    EXPECT_EQ(back[i].PaperWidth, pages[i].PaperWidth);
    EXPECT_EQ(back[i].PaperHeight, pages[i].PaperHeight);
    EXPECT_EQ(back[i].Orientation, pages[i].Orientation);
    EXPECT_EQ(back[i].Bin, pages[i].Bin);
    EXPECT_EQ(back[i].UseMargins, pages[i].UseMargins);
    EXPECT_EQ(back[i].LeftMargin, pages[i].LeftMargin);
    EXPECT_EQ(back[i].BottomMargin, pages[i].BottomMargin);
    EXPECT_EQ(back[i].Stream->Bytes(), streams[static_cast<size_t>(i)]);
  }
  EXPECT_EQ(PageTexts(back, 0), (std::vector<std::string>{"Первая", "строка два"}));
  EXPECT_EQ(PageTexts(back, 1), (std::vector<std::string>{"Альбомная"}));
  // The landscape page's metrics are those of its paper.
  EXPECT_GT(back[1].Metrics.PageWidth, back[1].Metrics.PageHeight);
}

TEST_F(PagesStoreTest, AFileWithNoPagesReadsBackAsNoPages) {
  AddTextPage(pages, {"x"});
  TfrEMFPages empty(nullptr);
  TMemoryStream out;
  empty.WriteBuiltFile(out);
  Read(std::string(out.Bytes()));
  EXPECT_EQ(pages.Count(), 0);
}

TEST_F(PagesStoreTest, ReadingSelectsThePrinterTheFileNamesUnlessTheTemplateKeepsItsOwn) {
  printer_test::GlobalPrinters printers({{"First"}, {"Second"}});
  TfrPrinter& layer = GlobalPrinterLayer();
  layer.SetPrinterIndex(1);
  AddTextPage(pages, {"a"});
  const std::string file = Written();

  layer.SetPrinterIndex(0);
  Read(file);
  EXPECT_EQ(layer.PrinterIndex(), 1);
  EXPECT_EQ(report.Template.PrinterName, "Second");

  layer.SetPrinterIndex(0);
  report.Template.KeepDefaultPrinter = true;
  Read(file);
  EXPECT_EQ(layer.PrinterIndex(), 0);
  EXPECT_EQ(report.Template.PrinterName, "Second");
}

// Files without a version byte: the first byte is not 24..31.
TEST_F(PagesStoreTest, AFileWithoutVersionByteHasNoBinsOrMargins) {
  const std::string objects = ObjectStream("Без версии");
  std::string file;
  file += '\0';                       // compression flag, no version byte
  file += std::string("PDF") + '\0';  // printer name, zero-terminated before version 23
  file += I32(1);
  const size_t header = file.size() + 4 + 2 + 4 + 4 + 1 + 1;
  file += I32(static_cast<int32_t>(header + objects.size()));
  file += U16(pages_test::kA4) + I32(2100) + I32(2970) + '\0' + '\1';
  file += objects;
  file += 'X';
  Read(file);
  ASSERT_EQ(pages.Count(), 1);
  EXPECT_EQ(pages[0].Bin, kDefaultBin);
  EXPECT_TRUE(pages[0].UseMargins);
  EXPECT_EQ(pages[0].LeftMargin, 0);
  EXPECT_EQ(PageTexts(pages, 0), (std::vector<std::string>{"Без версии"}));
}

// The oldest layout, one metafile per page: a first byte 23 means no version
// byte, and then no compression flag either; so does a flag other than 0, 1, 255.
TEST_F(PagesStoreTest, TheOldestLayoutGivesOneFullPagePicturePerPage) {
  const std::string metafile = std::string(40, 'm') + " EMF" + std::string(20, 'e');
  for (const std::string& start : {std::string("\x17" "Printer"), std::string("\x19\x07" "Printer")}) {
    SCOPED_TRACE(static_cast<int>(start[0]));
    std::string file = start + '\0';  // the lines, the first naming the printer
    file += I32(2);
    for (int page = 0; page < 2; ++page) {
      const size_t header = file.size() + 4 + 2 + 4 + 4 + 1 + 1;
      file += I32(static_cast<int32_t>(header + metafile.size()));
      file += U16(page == 0 ? pages_test::kA4 : pages_test::kA5) + I32(2100) + I32(page == 0 ? 2970 : 1480);
      file += '\0';
      file += '\1';
      file += metafile;
    }
    Read(file);
    EXPECT_EQ(pages.PrinterName(), start);
    ASSERT_EQ(pages.Count(), 2);
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(pages[i].Bin, kDefaultBin);
      pages.ObjectsToPage(i);
      const auto& objects = pages[i].Page->Objects;
      ASSERT_EQ(objects.size(), 1u);
      auto* picture = dynamic_cast<TfrPictureView*>(objects[0].get());
      ASSERT_NE(picture, nullptr);
      EXPECT_EQ(picture->PictureKind(), pkMetafile);
      EXPECT_EQ(picture->PictureData(), metafile);
      EXPECT_EQ((std::vector<int>{picture->Left, picture->Top, picture->Width, picture->Height}),
                (std::vector<int>{0, 0, pages[i].Metrics.PageWidth, pages[i].Metrics.PageHeight}));
    }
    EXPECT_EQ(pages[0].PaperSize, pages_test::kA4);
    EXPECT_EQ(pages[1].PaperSize, pages_test::kA5);
  }
}

TEST_F(PagesStoreTest, ACompressedFileGivesEmptyPages) {
  AddTextPage(pages, {"сжато"});
  std::string file = Written();
  file[1] = 1;
  Read(file);
  ASSERT_EQ(pages.Count(), 1);
  pages.ObjectsToPage(0);
  EXPECT_TRUE(pages[0].Page->Objects.empty());
}

// A damaged file raises and leaves the pages held as they were.
TEST_F(PagesStoreTest, ADamagedFileChangesNothing) {
  TfrEMFPages source(nullptr);
  AddTextPage(source, {"один"});
  AddTextPage(source, {"два"});
  TMemoryStream out;
  source.WriteBuiltFile(out);
  const std::string good(out.Bytes());
  // Where the page count and the first page's next position lie.
  const size_t name_length = static_cast<uint8_t>(good[2]) | (static_cast<uint8_t>(good[3]) << 8);
  const size_t count_pos = 2 + 2 + name_length + 1;
  const size_t next_pos = count_pos + 4;

  struct Case {
    const char* what;
    std::function<std::string(std::string)> damage;
  };
  const std::vector<Case> cases = {
      {"cut in the header", [](std::string f) { return f.substr(0, 3); }},
      {"cut in the second page", [](std::string f) { return f.substr(0, f.size() - 10); }},
      {"no generator byte", [](std::string f) { return f.substr(0, f.size() - 1); }},
      {"page count beyond the file",
       [&](std::string f) { return f.replace(count_pos, 4, I32(100000000)); }},
      {"negative page count", [&](std::string f) { return f.replace(count_pos, 4, I32(-1)); }},
      {"next page before the page", [&](std::string f) { return f.replace(next_pos, 4, I32(3)); }},
      {"next page beyond the file", [&](std::string f) { return f.replace(next_pos, 4, I32(1 << 30)); }},
      {"object of an unknown type", [&](std::string f) {
         const size_t stream_at = next_pos + 4 + 2 + 4 + 4 + 1 + 4 + 1 + 16;
         f[stream_at + 1] = 7;
         return f;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    pages.Clear();
    AddTextPage(pages, {"прежняя"});
    EXPECT_ANY_THROW(Read(c.damage(good)));
    ASSERT_EQ(pages.Count(), 1);
    EXPECT_EQ(PageTexts(pages, 0), (std::vector<std::string>{"прежняя"}));
  }
  // The undamaged file still reads.
  Read(good);
  EXPECT_EQ(pages.Count(), 2);
}

// One byte of an object's place or size changed so that it lies beyond any
// page: the file is refused as damaged and the pages held stay.
TEST_F(PagesStoreTest, ObjectGeometryBeyondAnyPageIsDamage) {
  TfrEMFPages source(nullptr);
  AddTextPage(source, {"один"});
  TMemoryStream out;
  source.WriteBuiltFile(out);
  const std::string good(out.Bytes());
  // The object's name and its end, its two version bytes, then left, top,
  // width, height.
  const size_t name = good.find("Memo40_40");
  ASSERT_NE(name, std::string::npos);
  const size_t geometry = name + 9 + 3;
  ASSERT_EQ(GetLE32(&good[geometry]), 40u);
  ASSERT_EQ(GetLE32(&good[geometry + 8]), 300u);
  const struct {
    const char* what;
    size_t field;
    char high_byte;
  } cases[] = {
      {"top near the largest integer", 4, '\x7F'},
      {"height near the largest integer", 12, '\x7F'},
      {"left far below zero", 0, '\x80'},
      {"width a little beyond any page", 8, '\x01'},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string damaged = good;
    damaged[geometry + c.field + 3] = c.high_byte;
    pages.Clear();
    AddTextPage(pages, {"прежняя"});
    try {
      Read(damaged);
      ADD_FAILURE() << "read";
    } catch (const EReadError& e) {
      EXPECT_EQ(e.Message(), "Damaged prepared report: object geometry out of the page's range");
    }
    EXPECT_EQ(PageTexts(pages, 0), (std::vector<std::string>{"прежняя"}));
  }
  Read(good);
  EXPECT_EQ(PageTexts(pages, 0), (std::vector<std::string>{"один"}));
}

// Drawing at half the page's size halves positions and sizes and shifts
// them by the rectangle's corner.
TEST_F(PagesStoreTest, DrawingIntoHalfThePageScalesAndShifts) {
  AddTextPage(pages, {});
  auto memo = TextObject("", 200, 100, 300, 400);
  memo->FillColor = 0x00FF00;
  pages.AppendObject(0, *memo);
  pages[0].Visible = true;
  ASSERT_EQ(pages[0].Metrics.PageWidth, 758);
  ASSERT_EQ(pages[0].Metrics.PageHeight, 1071);

  TMetafile full, half;
  TMetafileCanvas full_canvas(full), half_canvas(half);
  pages.DrawPage(0, &full_canvas, Rect(0, 0, 758, 1071));
  pages.DrawPage(0, &half_canvas, Bounds(10, 20, 379, 535));
  auto fill = [](const TMetafile& m) {
    for (const TMetaRecord& r : m.Records())
      if (r.op == TMetaOp::FillRect && r.brush_color == 0x00FF00) return r.rect;
    return TRect{-1, -1, -1, -1};
  };
  EXPECT_EQ(fill(full), Rect(200, 100, 500, 500));
  EXPECT_EQ(fill(half), Rect(110, 70, 260, 270));
}

TEST_F(PagesStoreTest, APageNotInViewFreesItsObjectsAndDrawsNothing) {
  AddTextPage(pages, {"видно"});
  pages[0].Visible = true;
  TMetafile drawn;
  TMetafileCanvas canvas(drawn);
  pages.DrawPage(0, &canvas, Rect(0, 0, 758, 1071));
  EXPECT_NE(drawn.Text().find(Utf8ToAnsi("видно")), AnsiString::npos);
  ASSERT_NE(pages[0].Page, nullptr);

  pages[0].Visible = false;
  TMetafile hidden;
  TMetafileCanvas hidden_canvas(hidden);
  pages.DrawPage(0, &hidden_canvas, Rect(0, 0, 758, 1071));
  EXPECT_TRUE(hidden.Empty());
  EXPECT_EQ(pages[0].Page, nullptr);
}

TEST_F(PagesStoreTest, TheHitTestFindsTheTopmostObject) {
  AddTextPage(pages, {});
  auto below = TextObject("below", 100, 100, 200, 200);
  below->Name = "Below";
  auto above = TextObject("above", 150, 150, 200, 200);
  above->Name = "Above";
  pages.AppendObject(0, *below);
  pages.AppendObject(0, *above);

  std::vector<std::string> clicked;
  report.OnObjectClick = [&](TfrView* v) { clicked.push_back(v->Name); };
  report.OnMouseOverObject = [&](TfrView* v, int& cursor) { cursor = v->Name == "Above" ? 7 : 3; };
  int cursor = 0;
  EXPECT_TRUE(pages.ObjectAtPoint(0, {200, 200}, true, cursor));
  EXPECT_TRUE(pages.ObjectAtPoint(0, {120, 120}, true, cursor));
  EXPECT_FALSE(pages.ObjectAtPoint(0, {50, 50}, true, cursor));
  EXPECT_EQ(clicked, (std::vector<std::string>{"Above", "Below"}));
  EXPECT_TRUE(pages.ObjectAtPoint(0, {200, 200}, false, cursor));
  EXPECT_EQ(cursor, 7);

  // Without margins the printable area places the objects; a page without a
  // size there finds nothing rather than dividing by zero.
  pages[0].UseMargins = false;
  const PageMetrics m = pages[0].Metrics;
  EXPECT_TRUE(pages.ObjectAtPoint(0, {m.LeftOffset + 110, m.TopOffset + 110}, true, cursor));
  EXPECT_EQ(clicked.back(), "Below");
  pages[0].Metrics = PageMetrics{};
  EXPECT_FALSE(pages.ObjectAtPoint(0, {200, 200}, true, cursor));
}

TEST_F(PagesStoreTest, ExportHandsEveryObjectToTheFilterHook) {
  AddTextPage(pages, {"a", "b", "c"});
  std::vector<std::pair<int, int>> places;
  work.host.OnExportObject = [&](int left, int top, TfrView&) { places.emplace_back(left, top); };
  pages.ExportPage(0);
  EXPECT_EQ(places, (std::vector<std::pair<int, int>>{{40, 40}, {40, 70}, {40, 100}}));
}

TEST_F(PagesStoreTest, ChangesToTheCachedPageGoBackIntoItsStream) {
  AddTextPage(pages, {"до"});
  pages.ObjectsToPage(0);
  pages[0].Page->Objects[0]->Memo.SetText(Utf8ToAnsi("после"));
  pages.PageToObjects(0);
  EXPECT_EQ(PageTexts(pages, 0), (std::vector<std::string>{"после"}));
}

}  // namespace pages_store_test
