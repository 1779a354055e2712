#include "report/fr_xml.h"

#include <algorithm>
#include <initializer_list>

#include "report/fr_memo.h"
#include "report/fr_page.h"
#include "report/fr_tmpl.h"
#include "report/fr_utils.h"
#include "report/fr_views.h"
#include "toolkit/core/component.h"
#include "toolkit/core/text.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/variant.h"
#include "toolkit/db/db.h"

namespace {

// Millimetres per page pixel, as the later template generation measures pages.
constexpr double kPixelToMillimetre = 1.0477419354838709677 / 3.77953;

constexpr const char* kLineEnd = "\r\n";

// Element text under construction; attributes are separated by one blank.
class XmlElement {
 public:
  explicit XmlElement(std::string_view name) : text_("<") { text_ += name; }
  void Attr(std::string_view name, std::string_view value) {
    text_ += ' ';
    text_ += name;
    text_ += "=\"";
    text_ += value;
    text_ += '"';
  }
  void Text(std::string_view name, std::string_view value) { Attr(name, EscapeXmlText(value)); }
  void Int(std::string_view name, int64_t value) { Attr(name, IntToStr(value)); }
  const AnsiString& Str() const { return text_; }

 private:
  AnsiString text_;
};

void Put(TStream& stream, std::string_view text) { stream.WriteBuffer(text.data(), static_cast<int64_t>(text.size())); }

// The element name of a band type; nullptr for the types the XML form has no
// band for (overlay, the cross bands, none).
const char* BandElementName(int band_type) {
  switch (band_type) {
    case btReportTitle: return "TfrReportTitle";
    case btReportSummary: return "TfrReportSummary";
    case btPageHeader: return "TfrPageHeader";
    case btPageFooter: return "TfrPageFooter";
    case btMasterHeader:
    case btDetailHeader:
    case btSubDetailHeader: return "TfrHeader";
    case btMasterData: return "TfrMasterData";
    case btMasterFooter:
    case btDetailFooter:
    case btSubDetailFooter: return "TfrFooter";
    case btDetailData: return "TfrDetailData";
    case btSubDetailData: return "TfrSubDetailData";
    case btColumnHeader: return "TfrColumnHeader";
    case btColumnFooter: return "TfrColumnFooter";
    case btGroupHeader: return "TfrGroupHeader";
    case btGroupFooter: return "TfrGroupFooter";
    case btChild: return "TfrChild";
    default: return nullptr;
  }
}

// Whether the object has an element of its own in the XML form.
bool HasXmlElement(TfrView& view) {
  auto* band = dynamic_cast<TfrBandView*>(&view);
  return band == nullptr || BandElementName(band->BandType()) != nullptr;
}

// Lines joined with line ends, none after the last.
AnsiString JoinLines(const TStrings& lines) {
  AnsiString text;
  for (int i = 0; i < lines.Count(); ++i) {
    if (i > 0) text += kLineEnd;
    text += lines.Strings(i);
  }
  return text;
}

AnsiString EventName(const AnsiString& name) { return name + "OnBeforePrint"; }

// Frame edges renumbered: left 1, right 2, top 4, bottom 8.
int XmlFrameEdges(uint16_t edges) {
  return ((edges & frbLeft) ? 1 : 0) | ((edges & frbRight) ? 2 : 0) | ((edges & frbTop) ? 4 : 0) |
         ((edges & frbBottom) ? 8 : 0);
}

// Font style: bold 1, italic 2, underline 4, strike-out 8.
int XmlFontStyle(TFontStyles style) {
  return (style.Contains(fsBold) ? 1 : 0) | (style.Contains(fsItalic) ? 2 : 0) |
         (style.Contains(fsUnderline) ? 4 : 0) | (style.Contains(fsStrikeOut) ? 8 : 0);
}

int XmlAlign(uint8_t band_align) {
  if (band_align == baRest) return 4;
  if (band_align == baTop) return 0;
  return band_align;
}

void WriteNameAndBounds(const TfrView& view, XmlElement& e) {
  e.Text("Name", view.Name);
  e.Int("Left", view.Left);
  e.Int("Top", view.Top);
  e.Int("Width", view.Width);
  e.Int("Height", view.Height);
}

void WriteCommon(TfrView& view, XmlElement& e) {
  WriteNameAndBounds(view, e);
  e.Int("Color", static_cast<int64_t>(view.FillColor));
  if (!view.Visible) e.Attr("Visible", "False");
  e.Int("Frame.Typ", XmlFrameEdges(view.FrameTyp));
  e.Attr("Frame.Width", FloatToStr(view.FrameWidth));
  e.Int("Frame.Color", static_cast<int64_t>(view.FrameColor));
  e.Int("Frame.Style", view.FrameStyle);
  e.Int("GapX", view.GapX);
  e.Int("GapY", view.GapY);
  e.Text("TagStr", view.Tag);
  e.Text("Memo.text", JoinLines(view.Memo));
  e.Int("Align", XmlAlign(view.BandAlign));
  if (view.Script.Count() > 0) {
    const AnsiString event = EscapeXmlText(EventName(view.Name));
    e.Attr("OnBeforePrint", event);
    e.Attr("OnClick", event);
    e.Attr("OnActivate", event);
  }
  const int restrictions = view.Restrictions;
  e.Int("Restrictions", ((restrictions & ~0xF) >> 3) + ((restrictions & 0xF) != 0 ? 1 : 0));
}

void WriteMemo(TfrMemoView& memo, XmlElement& e) {
  const uint16_t f = memo.Flags;
  if (f & flStretched) e.Attr("StretchMode", "smMaxHeight");
  if (!(f & flWordWrap)) e.Attr("WordWrap", "False");
  if (f & flAutoWidth) e.Attr("AutoWidth", "True");
  if (f & flTextOnly) e.Attr("AllowExpressions", "False");
  if (f & flSuppressRepeated) e.Attr("SuppressRepeated", "True");
  if (f & flHideZeros) e.Attr("HideZeros", "True");
  if (f & flUnderlines) e.Attr("Underlines", "True");
  if (f & flRTLReading) e.Attr("RTLReading", "True");
  e.Text("Font.Name", memo.Font.Name());
  e.Int("Font.Height", memo.Font.Height());
  e.Int("Font.Color", static_cast<int64_t>(memo.Font.Color()));
  e.Int("Font.Style", XmlFontStyle(memo.Font.Style()));
  e.Text("Highlight.Condition", memo.HighlightCondition);
  e.Int("Highlight.Font.Style", memo.HighlightStyle);
  e.Int("Highlight.Font.Color", static_cast<int64_t>(memo.HighlightFontColor));
  e.Int("Highlight.Color", static_cast<int64_t>(memo.HighlightFillColor));
  e.Int("LineSpacing", memo.LineSpacing);
  e.Int("CharSpacing", memo.CharSpacing);
  e.Int("HAlign", memo.Alignment & frtaHorizontalMask);
  const int vertical = memo.Alignment & frtaVerticalMask;
  e.Int("VAlign", vertical == frtaMiddle ? 1 : vertical == frtaDown ? 2 : 0);
  if (memo.Alignment & frtaVertical) e.Attr("Rotation", "90");
}

void WriteBand(TfrBandView& band, XmlElement& e) {
  WriteNameAndBounds(band, e);
  e.Int("Columns", band.Columns);
  e.Int("ColumnWidth", band.ColumnWidth);
  e.Int("ColumnGap", band.ColumnGap);
  if (!band.Visible) e.Attr("Visible", "False");
  const uint16_t f = band.Flags;
  if (f & flStretched) e.Attr("Stretched", "True");
  if (f & flBandNewPageAfter) e.Attr("StartNewPage", "True");
  if (f & flBandPrintIfSubsetEmpty) e.Attr("PrintIfDetailEmpty", "True");
  if (f & flBandBreaked) e.Attr("AllowSplit", "True");
  if (!(f & flBandOnFirstPage)) e.Attr("PrintOnFirstPage", "False");
  if (!(f & flBandOnLastPage)) e.Attr("PrintOnLastPage", "False");
  if (f & flBandRepeatHeader) e.Attr("ReprintOnNewPage", "True");
  if (f & flBandPrintChildIfInvisible) e.Attr("PrintChildIfInvisible", "True");
  if (band.Script.Count() > 0) e.Text("OnBeforePrint", EventName(band.Name));
  const int type = band.BandType();
  if (type == btMasterData || type == btDetailData || type == btSubDetailData) e.Text("DataSet", band.FormatText);
  if (type == btGroupHeader) e.Text("Condition", band.FormatText);
}

void WritePicture(TfrPictureView& picture, XmlElement& e) {
  if (picture.PictureKind() != pkNone && !picture.PictureData().empty())
    e.Attr("Picture.Propdata", StreamToHex(picture.PictureData()));
  if (picture.Memo.Count() > 0 && !picture.Memo.Strings(0).empty()) {
    TDataSet* data_set = nullptr;
    AnsiString field;
    ResolveDataSetAndField(picture.Memo.Strings(0), data_set, field);
    if (data_set != nullptr && !field.empty()) {
      AnsiString name = data_set->Name();
      if (TComponent* owner = data_set->Owner()) name = owner->Name() + "." + name;
      e.Text("DataSet", name);
      e.Text("DataField", field);
    }
  }
  if (!(picture.Flags & flStretched)) e.Attr("Stretched", "False");
  if (picture.Flags & flPictCenter) e.Attr("Center", "True");
  if (!(picture.Flags & flPictRatio)) e.Attr("KeepAspectRatio", "False");
}

// One event procedure of the script text.
void AddProcedure(TStringList& out, const AnsiString& name, const TStrings& lines) {
  out.Add("procedure " + name + "OnBeforePrint(Sender: TfrComponent);");
  out.Add("begin");
  out.Add("  with " + name + ", Engine do");
  out.Add("  begin");
  const int n = lines.Count();
  if (n > 1 && AnsiSameText(Trim(lines.Strings(0)), "begin")) {
    for (int i = 1; i < n - 1; ++i) out.Add(lines.Strings(i));
    out.Add("  end");
    out.Add(lines.Strings(n - 1) + ";");
  } else {
    for (int i = 0; i < n; ++i) out.Add(lines.Strings(i));
    out.Add("  end");
    out.Add("end;");
  }
  out.Add("");
}

AnsiString ScriptText(TfrTemplate& report) {
  TStringList out;
  for (int i = 0; i < report.Pages.Count(); ++i) {
    TfrPage& page = *report.Pages.Pages(i);
    if (page.Script.Count() > 0) AddProcedure(out, "Page" + IntToStr(i + 1), page.Script);
    for (const auto& view : page.Objects)
      if (view->Script.Count() > 0) AddProcedure(out, view->Name, view->Script);
  }
  out.Add("begin");
  out.Add("");
  out.Add("end.");
  return JoinLines(out);
}

// The component streaming format's pieces the data section uses.
constexpr uint8_t kValueNull = 0;  // end of a list
constexpr uint8_t kValueList = 1;
constexpr uint8_t kValueString = 6;
constexpr uint8_t kValueLongString = 12;
constexpr uint8_t kValueCollection = 14;

void ShortString(AnsiString& out, std::string_view text) {
  const size_t n = std::min<size_t>(text.size(), 255);
  out += static_cast<char>(n);
  out += text.substr(0, n);
}

void StringValue(AnsiString& out, std::string_view text) {
  if (text.size() <= 255) {
    out += static_cast<char>(kValueString);
    ShortString(out, text);
    return;
  }
  out += static_cast<char>(kValueLongString);
  const uint32_t n = static_cast<uint32_t>(text.size());
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((n >> shift) & 0xFF);
  out += text;
}

// The data sets (none) and the dictionary's variables.
AnsiString DataSection(TfrTemplate& report) {
  AnsiString out;
  ShortString(out, "Datasets");
  out += static_cast<char>(kValueCollection);
  out += static_cast<char>(kValueNull);
  ShortString(out, "Variables");
  out += static_cast<char>(kValueCollection);
  const TfrVariables& variables = report.Dictionary.VariableTable;
  for (int i = 0; i < variables.VariableCount(); ++i) {
    out += static_cast<char>(kValueList);
    ShortString(out, "Name");
    StringValue(out, variables.VariableNameAt(i));
    ShortString(out, "Value");
    StringValue(out, VarToStr(variables.VariableValueAt(i)));
    out += static_cast<char>(kValueNull);
  }
  out += static_cast<char>(kValueNull);
  return out;
}

// The stored password with every character code lowered by 10.
AnsiString LoweredPassword(const AnsiString& password) {
  AnsiString out = password;
  for (char& c : out) c = static_cast<char>(static_cast<uint8_t>(c) - 10);
  return out;
}

void WriteReportElement(TfrTemplate& report, TStream& stream) {
  XmlElement e("TfrReport");
  e.Attr("ScriptLanguage", "Pascal");
  e.Text("ScriptText.text", ScriptText(report));
  e.Attr("Propdata", StreamToHex(DataSection(report)));
  const TfrReportInfo& info = report.Info;
  e.Text("ReportOptions.Name", info.Name);
  e.Text("ReportOptions.Author", info.Autor);
  e.Text("ReportOptions.Description.text", info.Comment);
  e.Text("ReportOptions.CreateDate", DateTimeToStr(info.Created));
  e.Text("ReportOptions.LastChange", DateTimeToStr(info.LastChange));
  e.Text("ReportOptions.VersionMajor", info.VMajor);
  e.Text("ReportOptions.VersionMinor", info.VMinor);
  e.Text("ReportOptions.VersionRelease", info.VRelease);
  e.Text("ReportOptions.VersionBuild", info.VBuild);
  e.Text("ReportOptions.Password", LoweredPassword(info.Password));
  Put(stream, e.Str());
  Put(stream, ">");
  Put(stream, kLineEnd);
}

// The page's element up to its end; the x offset of its objects in `shift`.
AnsiString PageElement(TfrPage& page, int index, int& shift) {
  const AnsiString name = "Page" + IntToStr(index);
  if (page.Type == ptDialog) {
    XmlElement e("TfrDialogPage");
    e.Attr("Name", name);
    e.Int("Height", page.Height);
    e.Int("Left", page.Left);
    e.Int("Top", page.Top);
    e.Int("Width", page.Width);
    e.Int("BorderStyle", page.BorderStyle);
    e.Text("Caption", page.Caption);
    e.Int("Color", static_cast<int64_t>(page.Color));
    e.Int("Position", page.Position);
    if (page.Script.Count() > 0) e.Attr("OnActivate", EventName(name));
    shift = 0;
    return e.Str();
  }
  const TfrPageLimits limits = page.ComputeLimits();
  const int width = page.Metrics.PageWidth, height = page.Metrics.PageHeight;
  XmlElement e("TfrReportPage");
  e.Attr("Name", name);
  e.Attr("Orientation", page.Orientation == 0 ? "poPortrait" : "poLandscape");
  e.Int("PaperWidth", PixelsToXmlMillimetres(width));
  e.Int("PaperHeight", PixelsToXmlMillimetres(height));
  e.Int("PaperSize", page.Size);
  e.Int("LeftMargin", PixelsToXmlMillimetres(limits.Left));
  e.Int("RightMargin", PixelsToXmlMillimetres(width - limits.Right));
  e.Int("TopMargin", PixelsToXmlMillimetres(limits.Top));
  e.Int("BottomMargin", PixelsToXmlMillimetres(height - limits.Bottom));
  e.Int("Columns", page.Columns);
  e.Int("ColumnWidth", page.ColumnWidth);
  if (page.PrintToPrevPage) e.Attr("PrintOnPreviousPage", "True");
  if (page.Script.Count() > 0) e.Attr("OnBeforePrint", EventName(name));
  shift = limits.Left;
  return e.Str();
}

void WritePage(TfrPage& page, int index, TStream& stream) {
  int shift = 0;
  Put(stream, PageElement(page, index, shift));
  if (page.Objects.empty()) {
    Put(stream, "/>");
    Put(stream, kLineEnd);
    return;
  }
  Put(stream, ">");
  Put(stream, kLineEnd);
  for (const auto& view : page.Objects) {
    // A band the XML form has no element for is left out whole, so that the
    // document stays well-formed.
    if (!HasXmlElement(*view)) continue;
    {
      TScopedValue<int> left(view->Left, view->Left - shift);
      view->WriteXmlAttrs(stream);
    }
    Put(stream, "/>");
    Put(stream, kLineEnd);
  }
  Put(stream, page.Type == ptDialog ? "</TfrDialogPage>" : "</TfrReportPage>");
  Put(stream, kLineEnd);
}

}  // namespace

AnsiString EscapeXmlText(std::string_view text) {
  AnsiString out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<uint8_t>(c);
    switch (c) {
      case '\t':
      case '\n':
      case '\r':
      case '"':
      case '&':
      case '<':
      case '>':
        out += "&#" + IntToStr(byte) + ";";
        continue;
      default:
        break;
    }
    if (byte < 0x20 || byte == 0x7F || byte == 0x98) continue;
    out += c;
  }
  return out;
}

// The template stream writes its password in the same digits.
AnsiString StreamToHex(std::string_view bytes) { return PasswordToHex(bytes); }

int PixelsToXmlMillimetres(int pixels) { return static_cast<int>(PasRound(pixels * kPixelToMillimetre)); }

void WriteViewXmlAttrs(TfrView& view, TStream& stream) {
  if (auto* band = dynamic_cast<TfrBandView*>(&view)) {
    const char* name = BandElementName(band->BandType());
    if (name == nullptr) return;
    XmlElement e(name);
    WriteBand(*band, e);
    Put(stream, e.Str());
    return;
  }
  XmlElement e(view.ClassName());
  WriteCommon(view, e);
  if (auto* memo = dynamic_cast<TfrMemoView*>(&view)) WriteMemo(*memo, e);
  if (auto* sub = dynamic_cast<TfrSubReportView*>(&view)) e.Attr("Page", "Page" + IntToStr(sub->SubPage + 1));
  if (auto* picture = dynamic_cast<TfrPictureView*>(&view)) WritePicture(*picture, e);
  if (dynamic_cast<TfrLineView*>(&view) != nullptr && !(view.Flags & flStretched)) e.Attr("Stretched", "False");
  Put(stream, e.Str());
}

void WriteXmlTemplate(TfrTemplate& report, TStream& stream) {
  Put(stream, kXmlDeclaration);
  Put(stream, kLineEnd);
  WriteReportElement(report, stream);
  for (int i = 0; i < report.Pages.Count(); ++i) WritePage(*report.Pages.Pages(i), i + 1, stream);
  Put(stream, "</TfrReport>");
  Put(stream, kLineEnd);
}
