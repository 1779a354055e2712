// The template page: paper through the printer layer, the page record of
// every stream version, damaged records, default names, script properties,
// margin limits and the page script.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "report/FR_Pars.h"
#include "report/fr_globals.h"
#include "report/fr_page.h"
#include "tests/report/class_support.h"
#include "tests/report/printer_support.h"
#include "toolkit/core/binary.h"

namespace page_test {

using printer_test::GlobalPrinters;

// Little-endian bytes of a page record, written field by field.
class Bytes {
 public:
  Bytes& I32(int32_t v) {
    for (int i = 0; i < 4; ++i) data_.push_back(static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF));
    return *this;
  }
  Bytes& I16(int16_t v) {
    data_.push_back(static_cast<char>(v & 0xFF));
    data_.push_back(static_cast<char>((v >> 8) & 0xFF));
    return *this;
  }
  Bytes& U8(int v) {
    data_.push_back(static_cast<char>(v));
    return *this;
  }
  Bytes& Text(const std::string& text) {
    I16(static_cast<int16_t>(text.size()));
    data_ += text;
    return U8(0);
  }
  const std::string& Data() const { return data_; }

 private:
  std::string data_;
};

std::string Written(const TfrPage& page) {
  TMemoryStream stream;
  page.WriteRecord(stream);
  return std::string(static_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size()));
}

void ReadFrom(TfrPage& page, const std::string& bytes, int version, int64_t* position = nullptr) {
  TMemoryStream stream;
  stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  stream.SetPosition(0);
  page.ReadRecord(stream, version);
  if (position) *position = stream.Position();
}

TEST(TemplatePage, NewA4PageOnTheVirtualPrinter) {
  GlobalPrinters printers;
  TfrPage page(9, 0, 0, -1, 0);
  EXPECT_EQ(page.Size, 9);
  EXPECT_EQ(page.PaperWidth, 2100);
  EXPECT_EQ(page.PaperHeight, 2970);
  EXPECT_EQ(page.Orientation, 0);
  EXPECT_EQ(page.Bin, 0xFFFF);
  EXPECT_EQ(page.Metrics.PageWidth, 758);
  EXPECT_EQ(page.Metrics.PageHeight, 1071);
  EXPECT_EQ(page.Type, ptReport);
  EXPECT_EQ(page.Caption, "Form");
  EXPECT_EQ(page.BorderStyle, 3);
  EXPECT_EQ(page.Color, static_cast<TColor>(0xFF00000F));
  EXPECT_EQ(page.Left, 220);
  EXPECT_EQ(page.Top, 120);
  EXPECT_EQ(page.Width, 380);
  EXPECT_EQ(page.Height, 300);
  EXPECT_EQ(page.Position, 4);
  EXPECT_TRUE(page.UseMargins);
  EXPECT_FALSE(page.PrintToPrevPage);
  EXPECT_TRUE(page.Visible);
}

TEST(TemplatePage, PaperIsTakenBackFromThePrinterLayer) {
  GlobalPrinters printers;
  struct Case {
    int size, width, height, bin, orientation;
    int want_size, want_width, want_height, want_bin;
  };
  const Case cases[] = {
      {9, 0, 0, -1, 1, 9, 2970, 2100, 0xFFFF},        // landscape exchanges the sides
      {11, 5, 5, 0xFFFF, 0, 11, 1480, 2100, 0xFFFF},  // a standard size gets its own sides
      {256, 1234, 2345, 3, 0, 256, 1234, 2345, 3},    // a bin other than the default is the layer's
  };
  for (const Case& c : cases) {
    TfrPage page(c.size, c.width, c.height, c.bin, static_cast<uint8_t>(c.orientation));
    EXPECT_EQ(page.Size, c.want_size);
    EXPECT_EQ(page.PaperWidth, c.want_width) << c.size;
    EXPECT_EQ(page.PaperHeight, c.want_height) << c.size;
    EXPECT_EQ(page.Bin, c.want_bin) << c.size;
    EXPECT_EQ(page.Metrics, GlobalPrinterLayer().FillPageMetrics());
  }
}

TEST(TemplatePage, PaperARealPrinterCannotReadLeavesTheVirtualPrinter) {
  printer_test::FakeDevice device;
  device.name = "Alpha";
  GlobalPrinters printers({device});
  TfrPage a4(9, 0, 0, -1, 0);
  EXPECT_FALSE(GlobalPrinterLayer().IsVirtual());
  EXPECT_EQ(a4.Metrics.DevicePageWidth, 4961);
  // Code 8 (A3) is not among the printer's papers: its driver fails on it.
  TfrPage a3(8, 0, 0, -1, 0);
  EXPECT_TRUE(GlobalPrinterLayer().IsVirtual());
  EXPECT_EQ(a3.Size, 8);
  EXPECT_EQ(a3.PaperWidth, 2970);
  EXPECT_EQ(a3.PaperHeight, 4200);
  EXPECT_EQ(a3.Metrics.DevicePageWidth, 0);
  EXPECT_EQ(a3.Metrics.PageWidth, 1071);
}

TEST(TemplatePage, RecordOfANewPageIs85Bytes) {
  GlobalPrinters printers;
  TfrPage page(9, 0, 0, -1, 0);
  const std::string bytes = Written(page);
  ASSERT_EQ(bytes.size(), 85u);
  const std::string expected = Bytes()
                                   .I32(-1).I32(9).I32(2100).I32(2970)
                                   .I32(0).I32(0).I32(0).I32(0)
                                   .U8(0).I32(0xFFFF).I16(0).I16(-1).I32(1).I32(0)
                                   .U8(0).Text("").U8(3).Text("Form").I32(static_cast<int32_t>(0xFF00000F))
                                   .I32(220).I32(120).I32(380).I32(300).U8(4)
                                   .I16(0).U8(0)
                                   .Data();
  EXPECT_EQ(bytes, expected);
}

TEST(TemplatePage, RecordRoundTripKeepsEveryField) {
  GlobalPrinters printers;
  TfrPage page(256, 1500, 2000, -1, 1);
  page.LeftMargin = 10;
  page.TopMargin = 20;
  page.RightMargin = 30;
  page.BottomMargin = 40;
  page.PrintToPrevPage = true;
  page.UseMargins = false;
  page.Columns = 3;
  page.ColumnGap = 12;
  page.Type = ptDialog;
  page.Name = "Сводка";
  page.BorderStyle = 2;
  page.Caption = "Выбор";
  page.Color = 0x00FF8040;
  page.Left = 1;
  page.Top = 2;
  page.Width = 3;
  page.Height = 4;
  page.Position = 0;
  page.Script.Add("begin");
  page.Script.Add("end");
  const std::string bytes = Written(page);

  TfrPage copy(9, 0, 0, -1, 0);
  int64_t position = 0;
  ReadFrom(copy, bytes, 25, &position);
  EXPECT_EQ(position, static_cast<int64_t>(bytes.size()));
  EXPECT_EQ(Written(copy), bytes);
  EXPECT_EQ(copy.Size, 256);
  EXPECT_EQ(copy.PaperWidth, 1500);
  EXPECT_EQ(copy.Orientation, 1);
  EXPECT_EQ(copy.Name, "Сводка");
  EXPECT_EQ(copy.Script.Count(), 2);
  EXPECT_EQ(copy.Columns, 3);
  EXPECT_FALSE(copy.UseMargins);
}

TEST(TemplatePage, OlderRecordLayouts) {
  GlobalPrinters printers;
  // Common head: margins 1..4, landscape.
  const auto head = [](Bytes& b, bool marker) -> Bytes& {
    if (marker) b.I32(-1);
    return b.I32(11).I32(0).I32(0).I32(1).I32(2).I32(3).I32(4).U8(1);
  };
  struct Case {
    const char* what;
    int version;
    std::string bytes;
    int columns;
    uint8_t type;
    AnsiString name;
    int border, position, script_lines;
  };
  Bytes v21;
  head(v21, true).U8(9).U8(9).U8(9).U8(9).U8(9).U8(9).I16(-1).I16(0).I32(2).I32(5);
  Bytes v23;
  head(v23, true).I16(-1).I16(0).I32(2).I32(5);
  Bytes v24_old_marker;  // paper code in place of the marker: no page script
  head(v24_old_marker, false).I32(-1).I16(-1).I16(0).I32(2).I32(5)
      .U8(1).Text("Dlg").U8(0).Text("Cap").I32(0).I32(5).I32(6).I32(7).I32(8).U8(7);
  Bytes v25;
  head(v25, true).I32(0xFFFF).I16(-1).I16(0).I32(2).I32(5)
      .U8(0).Text("P").U8(1).Text("Cap").I32(0).I32(5).I32(6).I32(7).I32(8).U8(0)
      .I16(1).I16(3);
  const std::string v25_bytes = v25.Data() + "abc" + std::string(1, '\0');
  const Case cases[] = {
      {"version 21", 21, v21.Data(), 2, ptReport, "Page1", 3, 4, 0},
      {"version 22", 22, v21.Data(), 2, ptReport, "Page1", 3, 4, 0},
      {"version 23", 23, v23.Data(), 2, ptReport, "Page1", 3, 4, 0},
      {"version 24, old marker", 24, v24_old_marker.Data(), 2, ptDialog, "Dlg", 3, 4, 0},
      {"version 25", 25, v25_bytes, 2, ptReport, "P", 2, 0, 1},
  };
  for (const Case& c : cases) {
    TfrPage page(9, 0, 0, -1, 0);
    int64_t position = 0;
    ReadFrom(page, c.bytes, c.version, &position);
    EXPECT_EQ(position, static_cast<int64_t>(c.bytes.size())) << c.what;
    EXPECT_EQ(page.Size, 11) << c.what;
    EXPECT_EQ(page.PaperWidth, 2100) << c.what;
    EXPECT_EQ(page.PaperHeight, 1480) << c.what;
    EXPECT_EQ(page.Orientation, 1) << c.what;
    EXPECT_EQ(page.Bin, 0xFFFF) << c.what;
    EXPECT_EQ(page.LeftMargin, 1) << c.what;
    EXPECT_EQ(page.BottomMargin, 4) << c.what;
    EXPECT_TRUE(page.PrintToPrevPage) << c.what;
    EXPECT_FALSE(page.UseMargins) << c.what;
    EXPECT_EQ(page.Columns, c.columns) << c.what;
    EXPECT_EQ(page.ColumnGap, 5) << c.what;
    EXPECT_EQ(page.Type, c.type) << c.what;
    EXPECT_EQ(page.Name, c.name) << c.what;
    EXPECT_EQ(page.BorderStyle, c.border) << c.what;
    EXPECT_EQ(page.Position, c.position) << c.what;
    EXPECT_EQ(page.Script.Count(), c.script_lines) << c.what;
  }
}

TEST(TemplatePage, PagesOfAVersion23StreamAreNamedInTurn) {
  GlobalPrinters printers;
  Bytes record;
  record.I32(-1).I32(9).I32(0).I32(0).I32(0).I32(0).I32(0).I32(0).U8(0).I16(0).I16(-1).I32(1).I32(0);
  std::vector<std::unique_ptr<TfrPage>> pages;
  for (int i = 0; i < 3; ++i) {
    pages.push_back(std::make_unique<TfrPage>(9, 0, 0, -1, 0));
    pages.back()->PageNameTaken = [&pages](const AnsiString& name) {
      for (const auto& p : pages)
        if (p->Name == name) return true;
      return false;
    };
    ReadFrom(*pages.back(), record.Data(), 23);
  }
  EXPECT_EQ(pages[0]->Name, "Page1");
  EXPECT_EQ(pages[1]->Name, "Page2");
  EXPECT_EQ(pages[2]->Name, "Page3");
  // The comparison is exact: "page1" does not take "Page1".
  pages[0]->Name = "page1";
  pages[1]->MakeDefaultName();
  EXPECT_EQ(pages[1]->Name, "Page1");
}

TEST(TemplatePage, ACutRecordRaisesAndLeavesThePageAsItWas) {
  GlobalPrinters printers;
  TfrPage source(256, 1500, 2000, -1, 1);
  source.Name = "Named";
  source.Script.Add("x := 1");
  const std::string bytes = Written(source);
  for (size_t length = 0; length < bytes.size(); ++length) {
    TfrPage page(11, 0, 0, -1, 0);
    page.Name = "Kept";
    const std::string before = Written(page);
    EXPECT_THROW(ReadFrom(page, bytes.substr(0, length), 25), EReadError) << length;
    EXPECT_EQ(Written(page), before) << length;
  }
}

TEST(TemplatePage, PaperWithoutSidesIsRefusedAndLeavesThePageAsItWas) {
  GlobalPrinters printers;
  TfrPage page(11, 0, 0, -1, 0);
  const std::string before = Written(page);
  struct Case {
    int size, width, height;
  };
  for (const Case& c : {Case{256, 0, 0}, Case{256, 2100, 0}, Case{256, -5, -5}, Case{77, 0, 0}}) {
    Bytes record;
    record.I32(-1).I32(c.size).I32(c.width).I32(c.height).I32(0).I32(0).I32(0).I32(0).U8(0).I32(-1)
        .I16(0).I16(-1).I32(1).I32(0).U8(0).Text("").U8(3).Text("Form").I32(0).I32(0).I32(0).I32(0).I32(0)
        .U8(4).I16(0).U8(0);
    EXPECT_THROW(ReadFrom(page, record.Data(), 25), EPrinter) << c.size << ": " << c.width << " x " << c.height;
    EXPECT_EQ(Written(page), before);
  }
  EXPECT_THROW(TfrPage(256, 0, 0, -1, 0), EPrinter);
  // A standard size needs no sides of its own.
  Bytes standard;
  standard.I32(9).I32(0).I32(0).I32(0).I32(0).I32(0).I32(0).U8(0).I16(0).I16(-1).I32(1).I32(0);
  ReadFrom(page, standard.Data(), 23);
  EXPECT_EQ(page.PaperWidth, 2100);
}

TEST(TemplatePage, ScriptPropertiesOfAReportPage) {
  GlobalPrinters printers;
  TfrPage page(9, 0, 0, -1, 0);
  page.PutProperty("Width", 756);
  EXPECT_EQ(page.PaperWidth, 2100);
  page.PutProperty("height", 1069.2);
  EXPECT_EQ(page.PaperHeight, 2970);
  EXPECT_EQ(page.FetchProperty("WIDTH").AsInteger(), 756);
  EXPECT_EQ(page.FetchProperty("Height").AsInteger(), 1069);
  page.PutProperty("StretchToPrintable", true);
  EXPECT_FALSE(page.UseMargins);
  EXPECT_TRUE(page.FetchProperty("STRETCHTOPRINTABLE").AsBoolean());
  page.PutProperty("PrintToPrevPage", true);
  EXPECT_TRUE(page.FetchProperty("PrintToPrevPage").AsBoolean());
  for (const char* name : {"Columns", "ColumnGap", "LeftMargin", "Size", "Orientation", "Left", "Top"}) {
    page.PutProperty(name, 7);
    EXPECT_EQ(page.FetchProperty(name).AsInteger(), 7) << name;
  }
  page.PutProperty("ColumnWidth", 99);
  EXPECT_EQ(page.ColumnWidth, 99);
  page.PutProperty("Caption", AnsiString("Окно"));
  EXPECT_EQ(page.FetchProperty("caption").AsString(), "Окно");
  EXPECT_TRUE(page.FetchProperty("NoSuchProperty").IsNull());
}

TEST(TemplatePage, ScriptPropertiesOfADialogPage) {
  GlobalPrinters printers;
  TfrPage page(9, 0, 0, -1, 0);
  page.PutProperty("Type", 1);
  page.PutProperty("Width", 500);
  page.PutProperty("Height", 200);
  EXPECT_EQ(page.Width, 500);
  EXPECT_EQ(page.Height, 200);
  EXPECT_EQ(page.PaperWidth, 2100);
  EXPECT_EQ(page.FetchProperty("Width").AsInteger(), 500);
  page.PutProperty("BorderStyle", 2);
  page.PutProperty("Position", 0);
  EXPECT_EQ(page.FetchProperty("BorderStyle").AsInteger(), 2);
  EXPECT_EQ(page.FetchProperty("Position").AsInteger(), 0);
}

TEST(TemplatePage, MarginsReadDuringABuildAreTheLimits) {
  GlobalPrinters printers;
  TfrPage page(9, 0, 0, -1, 0);
  page.RightMargin = 40;
  EXPECT_EQ(page.FetchProperty("LeftMargin").AsInteger(), 0);
  page.Prepared = true;
  page.Limits = page.ComputeLimits();
  EXPECT_EQ(page.FetchProperty("LeftMargin").AsInteger(), 18);  // the printable left offset
  EXPECT_EQ(page.FetchProperty("TopMargin").AsInteger(), 18);
  EXPECT_EQ(page.FetchProperty("RightMargin").AsInteger(), 758 - 40);
  EXPECT_EQ(page.FetchProperty("BottomMargin").AsInteger(), 18 + 1035);
}

TEST(TemplatePage, LimitsFromMarginsAndPrintableArea) {
  GlobalPrinters printers;
  struct Case {
    int left, top, right, bottom;
    bool use_margins;
    TfrPageLimits want;
  };
  const Case cases[] = {
      {0, 0, 0, 0, true, {18, 18, 740, 1053}},
      {30, 40, 50, 60, true, {30, 40, 708, 1011}},
      {30, 40, 50, 60, false, {0, 0, 758, 1071}},
  };
  for (const Case& c : cases) {
    TfrPage page(9, 0, 0, -1, 0);
    page.LeftMargin = c.left;
    page.TopMargin = c.top;
    page.RightMargin = c.right;
    page.BottomMargin = c.bottom;
    page.UseMargins = c.use_margins;
    EXPECT_EQ(page.ComputeLimits(), c.want) << c.left << " " << c.use_margins;
  }
}

TEST(TemplatePage, PropertyListsOfBothKinds) {
  GlobalPrinters printers;
  TfrPage page(9, 0, 0, -1, 0);
  page.FillPropertyList();
  std::vector<std::string> names;
  for (const auto& entry : page.PropertyList()) names.push_back(entry->Name);
  EXPECT_EQ(names, (std::vector<std::string>{"Type", "Visible", "Size", "Width", "Height", "LeftMargin", "TopMargin",
                                             "RightMargin", "BottomMargin", "Orientation", "PrintToPrevPage",
                                             "StretchToPrintable", "Columns", "ColumnWidth", "ColumnGap",
                                             "OnBeforePrint"}));
  TfrPropRec* size = page.FindProperty("Size");
  ASSERT_NE(size, nullptr);
  // One value per paper of the printer; the names are the printer's.
  EXPECT_EQ(size->EnumValues[8].AsInteger(), 9);
  EXPECT_EQ(size->EnumValues[66].AsInteger(), 256);

  page.Type = ptDialog;
  page.FillPropertyList();
  names.clear();
  for (const auto& entry : page.PropertyList()) names.push_back(entry->Name);
  EXPECT_EQ(names, (std::vector<std::string>{"Type", "Visible", "BorderStyle", "Caption", "Color", "Left", "Top",
                                             "Width", "Height", "Position", "OnActivate"}));
  EXPECT_EQ(page.FindProperty("BorderStyle")->EnumValues[0].AsInteger(), 3);
}

TEST(TemplatePage, ObjectsAreFoundIgnoringCaseAndFreed) {
  GlobalPrinters printers;
  TfrPage page(9, 0, 0, -1, 0);
  for (const char* name : {"Memo1", "Band1"}) {
    auto view = std::make_unique<class_test::TestView>();
    view->Name = name;
    page.Objects.push_back(std::move(view));
  }
  EXPECT_EQ(page.FindObject("BAND1"), page.Objects[1].get());
  EXPECT_EQ(page.FindObject("Memo2"), nullptr);
  page.DeleteObject(5);
  page.DeleteObject(-1);
  EXPECT_EQ(page.Objects.size(), 2u);
  page.DeleteObject(0);
  ASSERT_EQ(page.Objects.size(), 1u);
  EXPECT_EQ(page.Objects[0]->Name, "Band1");
  page.ClearObjects();
  EXPECT_TRUE(page.Objects.empty());
}

TEST(TemplatePage, PageScriptRunsWithTheReportInterpreter) {
  GlobalPrinters printers;
  class_test::TestWork work;
  TfrPage page(9, 0, 0, -1, 0);
  TfrVariables& variables = frGlobals().RuntimeVariables;
  variables.ClearVariables();
  TStringList script;
  page.RunScript(script);
  EXPECT_EQ(variables.VariableCount(), 0);
  script.Add("begin");
  script.Add("  PageTest := 6 * 7");
  script.Add("end");
  page.RunScript(script);
  EXPECT_EQ(variables.FetchVariable("PageTest").AsInteger(), 42);
  variables.ClearVariables();
}

}  // namespace page_test
