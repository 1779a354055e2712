// The XML template writer: escaping of texts, the hexadecimal data section,
// page and object elements with their attributes, the event procedures of the
// script text, objects put back where they were, and bands the XML form has
// no element for left out whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "report/fr_globals.h"
#include "report/fr_memo.h"
#include "report/fr_page.h"
#include "report/fr_tmpl.h"
#include "report/fr_views.h"
#include "report/fr_xml.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/text.h"

namespace xml_writer_test {

class XmlWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    frGlobals();
    RegisterStandardViews();
  }

  static std::string Write(TfrTemplate& t) {
    TMemoryStream stream;
    WriteXmlTemplate(t, stream);
    return std::string(stream.Bytes());
  }

  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t pos = 0;
    for (size_t end; (end = text.find("\r\n", pos)) != std::string::npos; pos = end + 2)
      lines.push_back(text.substr(pos, end - pos));
    EXPECT_EQ(pos, text.size()) << "the last line has no line end";
    return lines;
  }

  // The raw value of an attribute of an element line; "<none>" when missing.
  static std::string Attr(const std::string& line, const std::string& name) {
    const std::string key = " " + name + "=\"";
    const size_t start = line.find(key);
    if (start == std::string::npos) return "<none>";
    const size_t from = start + key.size();
    return line.substr(from, line.find('"', from) - from);
  }

  // Decimal character references back to their bytes.
  static std::string Unescape(const std::string& value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
      if (value[i] == '&' && i + 1 < value.size() && value[i + 1] == '#') {
        const size_t end = value.find(';', i);
        out += static_cast<char>(std::stoi(value.substr(i + 2, end - i - 2)));
        i = end;
      } else {
        out += value[i];
      }
    }
    return out;
  }

  static std::string LineOf(const std::vector<std::string>& lines, const std::string& name) {
    for (const std::string& line : lines)
      if (Attr(line, "Name") == name) return line;
    ADD_FAILURE() << "no element named " << name;
    return {};
  }

  template <class T>
  static T* Put(TfrPage& page, const std::string& name) {
    auto view = std::make_unique<T>();
    view->Name = name;
    T* raw = view.get();
    page.Objects.push_back(std::move(view));
    return raw;
  }

  static TfrBandView* PutBand(TfrPage& page, const std::string& name, int type) {
    TfrBandView* band = Put<TfrBandView>(page, name);
    band->FrameTyp = static_cast<uint16_t>(type);
    return band;
  }
};

TEST_F(XmlWriterTest, TextsAreEscapedSoThatTheyStayInsideTheirAttribute) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"", ""},
      {"plain [DATE] 'x'", "plain [DATE] 'x'"},
      {"a\"b", "a&#34;b"},
      {"<a & b>", "&#60;a &#38; b&#62;"},
      {"&#34;", "&#38;#34;"},
      {"1\r\n2\t3", "1&#13;&#10;2&#9;3"},
      // Cyrillic stays single bytes of the code page.
      {Utf8ToAnsi("Протокол № 5"), Utf8ToAnsi("Протокол № 5")},
      // Bytes XML cannot carry are left out rather than making the document unreadable.
      {std::string("a\x01" "b\x1F" "c\x7F" "d\x98" "e\x00" "f", 11), "abcdef"},
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeXmlText(c.in), c.out) << c.in;
}

TEST_F(XmlWriterTest, BytesAreHexadecimalAndPixelsWholeMillimetres) {
  EXPECT_EQ(StreamToHex(""), "");
  EXPECT_EQ(StreamToHex(std::string("\x00\x0F\xA5\xFF", 4)), "000FA5FF");
  const struct {
    int pixels, mm;
  } cases[] = {{0, 0}, {18, 5}, {758, 210}, {1071, 297}, {-18, -5}};
  for (const auto& c : cases) EXPECT_EQ(PixelsToXmlMillimetres(c.pixels), c.mm) << c.pixels;
}

TEST_F(XmlWriterTest, APageWithoutObjectsIsOneLineAndAPageWithObjectsIsClosed) {
  TfrTemplate t;
  t.Pages.Add();
  TfrPage& second = *t.Pages.Add();
  Put<TfrMemoView>(second, "Memo1");
  const std::vector<std::string> lines = Lines(Write(t));
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], "<?xml version=\"1.0\" encoding=\"windows-1251\"?>");
  EXPECT_EQ(lines[1].rfind("<TfrReport ScriptLanguage=\"Pascal\" ", 0), 0u);
  EXPECT_EQ(lines[1].back(), '>');
  EXPECT_EQ(lines[2].rfind("<TfrReportPage Name=\"Page1\" Orientation=\"poPortrait\" ", 0), 0u);
  EXPECT_EQ(lines[2].substr(lines[2].size() - 2), "/>");
  EXPECT_EQ(lines[3].rfind("<TfrReportPage Name=\"Page2\" ", 0), 0u);
  EXPECT_NE(lines[3].substr(lines[3].size() - 2), "/>");
  EXPECT_EQ(lines[4].rfind("<TfrMemoView Name=\"Memo1\" ", 0), 0u);
  EXPECT_EQ(lines[4].substr(lines[4].size() - 2), "/>");
  EXPECT_EQ(lines[5], "</TfrReportPage>");
  EXPECT_EQ(lines[6], "</TfrReport>");
  // A4 on the virtual printer.
  EXPECT_EQ(Attr(lines[2], "PaperWidth"), "210");
  EXPECT_EQ(Attr(lines[2], "PaperHeight"), "297");
  EXPECT_EQ(Attr(lines[2], "PaperSize"), "9");
}

TEST_F(XmlWriterTest, ObjectsAreShiftedByTheLeftLimitOfAReportPageOnlyWhileWritten) {
  TfrTemplate t;
  TfrPage& report_page = *t.Pages.Add();
  TfrPage& dialog = *t.Pages.Add();
  dialog.Type = ptDialog;
  dialog.Caption = Utf8ToAnsi("Ввод <данных>");
  TfrMemoView* memo = Put<TfrMemoView>(report_page, "Memo1");
  memo->SetBounds(100, 40, 200, 20);
  TfrMemoView* on_dialog = Put<TfrMemoView>(dialog, "Memo2");
  on_dialog->SetBounds(100, 40, 200, 20);
  const int limit = report_page.ComputeLimits().Left;
  ASSERT_GT(limit, 0);

  const std::vector<std::string> lines = Lines(Write(t));
  EXPECT_EQ(Attr(LineOf(lines, "Memo1"), "Left"), std::to_string(100 - limit));
  EXPECT_EQ(Attr(LineOf(lines, "Memo2"), "Left"), "100");
  EXPECT_EQ(memo->Left, 100);
  const std::string page = LineOf(lines, "Page2");
  EXPECT_EQ(page.rfind("<TfrDialogPage ", 0), 0u);
  EXPECT_EQ(Attr(page, "Caption"), Utf8ToAnsi("Ввод &#60;данных&#62;"));
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "</TfrDialogPage>"), 1);
}

TEST_F(XmlWriterTest, ScriptedObjectsNameTheirEventsAndGetAProcedure) {
  TfrTemplate t;
  TfrPage& page = *t.Pages.Add();
  page.Script.Add("PageVar := 1;");
  TfrMemoView* plain = Put<TfrMemoView>(page, "Memo1");
  plain->Memo.Add("x");
  TfrMemoView* scripted = Put<TfrMemoView>(page, "Memo2");
  scripted->Script.Add("begin");
  scripted->Script.Add("  Visible := False;");
  scripted->Script.Add("end");
  TfrBandView* band = PutBand(page, "Band1", btMasterData);
  band->Script.Add("A := 1;");
  band->Script.Add("B := 2;");

  const std::vector<std::string> lines = Lines(Write(t));
  const std::string memo1 = LineOf(lines, "Memo1"), memo2 = LineOf(lines, "Memo2");
  for (const char* event : {"OnBeforePrint", "OnClick", "OnActivate"}) {
    EXPECT_EQ(Attr(memo1, event), "<none>") << event;
    EXPECT_EQ(Attr(memo2, event), "Memo2OnBeforePrint") << event;
  }
  EXPECT_EQ(Attr(LineOf(lines, "Band1"), "OnBeforePrint"), "Band1OnBeforePrint");
  EXPECT_EQ(Attr(LineOf(lines, "Page1"), "OnBeforePrint"), "Page1OnBeforePrint");
  EXPECT_EQ(Unescape(Attr(lines[1], "ScriptText.text")),
            "procedure Page1OnBeforePrint(Sender: TfrComponent);\r\n"
            "begin\r\n"
            "  with Page1, Engine do\r\n"
            "  begin\r\n"
            "PageVar := 1;\r\n"
            "  end\r\n"
            "end;\r\n"
            "\r\n"
            "procedure Memo2OnBeforePrint(Sender: TfrComponent);\r\n"
            "begin\r\n"
            "  with Memo2, Engine do\r\n"
            "  begin\r\n"
            "  Visible := False;\r\n"
            "  end\r\n"
            "end;\r\n"
            "\r\n"
            "procedure Band1OnBeforePrint(Sender: TfrComponent);\r\n"
            "begin\r\n"
            "  with Band1, Engine do\r\n"
            "  begin\r\n"
            "A := 1;\r\n"
            "B := 2;\r\n"
            "  end\r\n"
            "end;\r\n"
            "\r\n"
            "begin\r\n"
            "\r\n"
            "end.");
}

TEST_F(XmlWriterTest, CommonAndTextAttributesFollowTheObject) {
  TfrTemplate t;
  TfrPage& page = *t.Pages.Add();
  TfrMemoView* memo = Put<TfrMemoView>(page, "Memo1");
  memo->Tag = "say \"hi\"";
  memo->Memo.Add(Utf8ToAnsi("Прочность <R> & \"Rm\""));
  memo->Memo.Add("second");
  memo->FrameTyp = frbLeft | frbBottom;
  memo->Restrictions = 0x31;
  memo->BandAlign = baRest;
  memo->Visible = false;
  memo->Flags = flTextOnly | flHideZeros;
  memo->Alignment = frtaRight | frtaDown | frtaVertical;
  memo->Font.SetStyle(TFontStyles{fsBold, fsUnderline});
  memo->HighlightCondition = "[R] > 5";

  const std::string line = LineOf(Lines(Write(t)), "Memo1");
  const struct {
    const char* name;
    std::string value;
  } expected[] = {
      {"TagStr", "say &#34;hi&#34;"},
      {"Memo.text", Utf8ToAnsi("Прочность &#60;R&#62; &#38; &#34;Rm&#34;&#13;&#10;second")},
      {"Visible", "False"},
      {"Frame.Typ", "9"},
      {"Restrictions", "7"},
      {"Align", "4"},
      {"StretchMode", "<none>"},
      {"WordWrap", "False"},
      {"AllowExpressions", "False"},
      {"HideZeros", "True"},
      {"AutoWidth", "<none>"},
      {"Font.Style", "5"},
      {"Highlight.Condition", "[R] &#62; 5"},
      {"HAlign", "1"},
      {"VAlign", "2"},
      {"Rotation", "90"},
  };
  for (const auto& e : expected) EXPECT_EQ(Attr(line, e.name), e.value) << e.name;
}

TEST_F(XmlWriterTest, BandsSubReportsAndLinesAndBandsWithoutAnElement) {
  TfrTemplate t;
  TfrPage& page = *t.Pages.Add();
  TfrBandView* data = PutBand(page, "Band1", btMasterData);
  data->FormatText = "Src\"1";
  data->Flags = flStretched | flBandOnLastPage;
  TfrBandView* group = PutBand(page, "Band2", btGroupHeader);
  group->FormatText = "[A] < 3";
  PutBand(page, "Overlay", btOverlay);
  PutBand(page, "Loose", btNone);
  Put<TfrSubReportView>(page, "SubReport1")->SubPage = 2;
  TfrLineView* line = Put<TfrLineView>(page, "Line1");
  line->Flags = 0;
  Put<TfrLineView>(page, "Line2")->Flags = flStretched;

  const std::vector<std::string> lines = Lines(Write(t));
  const std::string band1 = LineOf(lines, "Band1");
  EXPECT_EQ(band1.rfind("<TfrMasterData ", 0), 0u);
  EXPECT_EQ(Attr(band1, "DataSet"), "Src&#34;1");
  EXPECT_EQ(Attr(band1, "Stretched"), "True");
  EXPECT_EQ(Attr(band1, "PrintOnFirstPage"), "False");
  EXPECT_EQ(Attr(band1, "PrintOnLastPage"), "<none>");
  EXPECT_EQ(Attr(band1, "Frame.Typ"), "<none>");
  const std::string band2 = LineOf(lines, "Band2");
  EXPECT_EQ(band2.rfind("<TfrGroupHeader ", 0), 0u);
  EXPECT_EQ(Attr(band2, "Condition"), "[A] &#60; 3");
  EXPECT_EQ(Attr(LineOf(lines, "SubReport1"), "Page"), "Page3");
  EXPECT_EQ(Attr(LineOf(lines, "Line1"), "Stretched"), "False");
  EXPECT_EQ(Attr(LineOf(lines, "Line2"), "Stretched"), "<none>");
  // The overlay and the loose-objects band are left out whole: no stray "/>".
  for (const std::string& l : lines) {
    EXPECT_EQ(l.find("Overlay"), std::string::npos);
    EXPECT_EQ(l.find("Loose"), std::string::npos);
    EXPECT_NE(l, "/>");
  }
  EXPECT_EQ(lines.size(), 10u);
}

TEST_F(XmlWriterTest, OptionsPasswordAndDataSection) {
  TfrTemplate t;
  t.Pages.Add();
  t.Info.Name = "A&B";
  t.Info.Autor = Utf8ToAnsi("Иванов");
  t.Info.Comment = "line1\r\nline2";
  t.Info.VMajor = "1";
  // Every code lowered by 10: "F" becomes "<", which must be escaped.
  t.Info.Password = "F<";
  t.Dictionary.VariableTable.AssignVariable("X", Variant("1"));
  const std::string report = Lines(Write(t))[1];
  static const char kData[] =
      "\x08" "Datasets\x0E\x00"
      "\x09" "Variables\x0E"
      "\x01\x04" "Name\x06\x01X\x05" "Value\x06\x01" "1\x00"
      "\x00";
  EXPECT_EQ(Attr(report, "ReportOptions.Name"), "A&#38;B");
  EXPECT_EQ(Attr(report, "ReportOptions.Author"), Utf8ToAnsi("Иванов"));
  EXPECT_EQ(Attr(report, "ReportOptions.Description.text"), "line1&#13;&#10;line2");
  EXPECT_EQ(Attr(report, "ReportOptions.VersionMajor"), "1");
  EXPECT_EQ(Attr(report, "ReportOptions.VersionMinor"), "");
  EXPECT_EQ(Attr(report, "ReportOptions.Password"), "&#60;2");
  // "Datasets" as an empty collection, "Variables" as a collection of one item
  // with the properties Name and Value as strings.
  EXPECT_EQ(Attr(report, "Propdata"),
            StreamToHex(std::string(kData, sizeof kData - 1)));
}

}  // namespace xml_writer_test
