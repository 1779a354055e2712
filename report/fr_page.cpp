#include "report/fr_page.h"

#include <utility>

#include "report/fr_intrp.h"
#include "toolkit/core/binary.h"
#include "toolkit/core/exceptions.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"

namespace {

constexpr int32_t kCurrentLayoutMarker = -1;
// Bytes versions 21 and 22 keep after the orientation.
constexpr int kOldLayoutGap = 6;

// Scripts see a report page's sides in units of 5/18 mm.
int PaperFromScript(const Variant& value) { return static_cast<int>(PasRound(value.AsDouble() * 10 * 5 / 18)); }
int PaperToScript(int tenths) { return static_cast<int>(PasRound(tenths / 10.0 * 18 / 5)); }

}  // namespace

TfrPage::TfrPage(int size, int width, int height, int bin, uint8_t orientation) {
  ApplyPagePaper(size, width, height, bin, orientation);
}

TfrPage::~TfrPage() {
  // No running context may name it once it is gone.
  frForgetInBuilds(this);
}

void TfrPage::ApplyPagePaper(int size, int width, int height, int bin, uint8_t orientation) {
  TfrPrinter& printer = GlobalPrinterLayer();
  PageMetrics metrics;
  try {
    printer.ApplyPaper(size, width, height, false, orientation, bin);
    metrics = printer.FillPageMetrics();
  } catch (const Exception&) {
    printer.ApplyPaper(kCustomPaperSize, width, height, false, orientation, kDefaultBin);
    metrics = printer.FillPageMetrics();
  }
  Metrics = metrics;
  Size = printer.PaperSize;
  PaperWidth = printer.PaperWidth;
  PaperHeight = printer.PaperHeight;
  Orientation = printer.Orientation;
  Bin = (bin & 0xFFFF) == 0xFFFF ? kPageDefaultBin : printer.Bin;
}

TfrView* TfrPage::FindObject(std::string_view name) const {
  for (const auto& object : Objects)
    if (SameText(object->Name, name)) return object.get();
  return nullptr;
}

void TfrPage::DeleteObject(int index) {
  if (index < 0 || index >= static_cast<int>(Objects.size())) return;
  Objects.erase(Objects.begin() + index);
}

void TfrPage::ClearObjects() { Objects.clear(); }

void TfrPage::ReadRecord(TStream& stream, int version) {
  // Read into a copy of the fields first: a record cut short changes nothing.
  struct Record {
    int size = 0, width = 0, height = 0;
    int margins[4] = {0, 0, 0, 0};
    uint8_t orientation = 0;
    int bin = kDefaultBin;
    bool print_to_prev = false, use_margins = true;
    int columns = 1, column_gap = 0;
    uint8_t type = ptReport;
    AnsiString name;
    int border_style = kPageBorderDialog;
    AnsiString caption = "Form";
    TColor color = clBtnFace;
    int left = 220, top = 120, width_form = 380, height_form = 300;
    int position = kPagePositionScreenCenter;
    TStringList script;
  } r;
  const int32_t marker = ReadInt(stream);
  r.size = marker == kCurrentLayoutMarker ? ReadInt(stream) : marker;
  r.width = ReadInt(stream);
  r.height = ReadInt(stream);
  for (int& margin : r.margins) margin = ReadInt(stream);
  r.orientation = ReadByte(stream) != 0 ? 1 : 0;
  if (version < 23) {
    unsigned char gap[kOldLayoutGap];
    stream.ReadBuffer(gap, sizeof gap);
  }
  if (version > 23) r.bin = ReadInt(stream);
  r.print_to_prev = ReadBool16(stream);
  r.use_margins = ReadBool16(stream);
  r.columns = ReadInt(stream);
  r.column_gap = ReadInt(stream);
  if (version >= 24) {
    r.type = ReadByte(stream);
    r.name = ReadCountedString(stream);
    const uint8_t border = ReadByte(stream);
    r.border_style = border == 0 ? kPageBorderDialog : border == 1 ? kPageBorderSizeable : border;
    r.caption = ReadCountedString(stream);
    r.color = static_cast<TColor>(ReadDword(stream));
    r.left = ReadInt(stream);
    r.top = ReadInt(stream);
    r.width_form = ReadInt(stream);
    r.height_form = ReadInt(stream);
    r.position = ReadByte(stream) != 0 ? kPagePositionScreenCenter : kPagePositionDesigned;
    if (marker == kCurrentLayoutMarker) ReadCountedLines(stream, r.script);
  }

  // The paper goes first: a paper the printer layer refuses leaves the page
  // as it was.
  ApplyPagePaper(r.size, r.width, r.height, r.bin, r.orientation);
  LeftMargin = r.margins[0];
  TopMargin = r.margins[1];
  RightMargin = r.margins[2];
  BottomMargin = r.margins[3];
  PrintToPrevPage = r.print_to_prev;
  UseMargins = r.use_margins;
  Columns = r.columns;
  ColumnGap = r.column_gap;
  Script.Assign(r.script);
  if (version >= 24) {
    Type = r.type;
    Name = r.name;
    BorderStyle = r.border_style;
    Caption = r.caption;
    Color = r.color;
    Left = r.left;
    Top = r.top;
    Width = r.width_form;
    Height = r.height_form;
    Position = r.position;
  } else {
    MakeDefaultName();
  }
}

void TfrPage::WriteRecord(TStream& stream) const {
  WriteInt(stream, kCurrentLayoutMarker);
  WriteInt(stream, Size);
  WriteInt(stream, PaperWidth);
  WriteInt(stream, PaperHeight);
  for (int margin : {LeftMargin, TopMargin, RightMargin, BottomMargin}) WriteInt(stream, margin);
  WriteByte(stream, Orientation);
  WriteInt(stream, Bin);
  WriteBool16(stream, PrintToPrevPage);
  WriteBool16(stream, UseMargins);
  WriteInt(stream, Columns);
  WriteInt(stream, ColumnGap);
  WriteByte(stream, Type);
  WriteCountedString(stream, Name);
  WriteByte(stream, static_cast<uint8_t>(BorderStyle));
  WriteCountedString(stream, Caption);
  WriteDword(stream, static_cast<uint32_t>(Color));
  for (int value : {Left, Top, Width, Height}) WriteInt(stream, value);
  WriteByte(stream, static_cast<uint8_t>(Position));
  WriteCountedLines(stream, Script);
}

void TfrPage::MakeDefaultName() {
  for (int n = 1; n <= kMaxGeneratedNameNumber; ++n) {
    const AnsiString candidate = "Page" + IntToStr(n);
    if (!PageNameTaken || !PageNameTaken(candidate)) {
      Name = candidate;
      return;
    }
  }
}

void TfrPage::RunScript(const TStrings& lines) {
  if (lines.Count() == 0 || lines.Text().empty()) return;
  if (TfrBuildContext* context = frBuildContext()) context->CurView = nullptr;
  TInterpretator& interpreter = frBuildHost().Interpreter();
  TStringList compiled, errors;
  interpreter.CompileScript(lines, compiled, errors);
  interpreter.RunScript(compiled);
}

TfrPageLimits TfrPage::ComputeLimits() const {
  if (!UseMargins) return {0, 0, Metrics.PageWidth, Metrics.PageHeight};
  TfrPageLimits limits;
  limits.Left = LeftMargin != 0 ? LeftMargin : Metrics.LeftOffset;
  limits.Top = TopMargin != 0 ? TopMargin : Metrics.TopOffset;
  limits.Right =
      RightMargin != 0 ? Metrics.PageWidth - RightMargin : Metrics.LeftOffset + Metrics.PrintableWidth;
  limits.Bottom =
      BottomMargin != 0 ? Metrics.PageHeight - BottomMargin : Metrics.TopOffset + Metrics.PrintableHeight;
  return limits;
}

void TfrPage::FillPropertyList() {
  ClearPropertyList();
  AddEnumProperty("Type", "ptReport;ptDialog", 1, {0, 1});
  AddProperty("Visible", frdtBoolean);
  if (IsDialog()) {
    AddEnumProperty("BorderStyle", "bsDialog;bsSizeable", 1, {kPageBorderDialog, kPageBorderSizeable});
    AddProperty("Caption", frdtString);
    AddProperty("Color", frdtColor);
    for (const char* n : {"Left", "Top", "Width", "Height"}) AddProperty(n, frdtInteger);
    AddEnumProperty("Position", "poDesigned;poScreenCenter", 1, {kPagePositionDesigned, kPagePositionScreenCenter});
    AddProperty("OnActivate", frdtOneObject | frdtHasEditor);
    return;
  }
  const TfrPrinter& printer = GlobalPrinterLayer();
  AnsiString names;
  std::vector<Variant> codes;
  for (int i = 0; i < printer.PaperCount; ++i) {
    if (i > 0) names += ';';
    names += printer.PaperNames.Strings(i);
    codes.emplace_back(static_cast<int>(printer.PaperCodes[static_cast<size_t>(i)]));
  }
  AddEnumProperty("Size", names, printer.PaperCount - 1, codes);
  for (const char* n : {"Width", "Height", "LeftMargin", "TopMargin", "RightMargin", "BottomMargin"})
    AddProperty(n, frdtInteger);
  AddEnumProperty("Orientation", "poPortrait;poLandscape", 1, {0, 1});
  AddProperty("PrintToPrevPage", frdtBoolean);
  AddProperty("StretchToPrintable", frdtBoolean);
  for (const char* n : {"Columns", "ColumnWidth", "ColumnGap"}) AddProperty(n, frdtInteger);
  AddProperty("OnBeforePrint", frdtOneObject | frdtHasEditor);
}

void TfrPage::PutProperty(std::string_view name, const Variant& value) {
  const AnsiString n = AnsiUpperCase(name);
  if (n == "LEFT")
    Left = value.AsInteger();
  else if (n == "TOP")
    Top = value.AsInteger();
  else if (n == "TYPE")
    Type = static_cast<uint8_t>(value.AsInteger());
  else if (n == "BORDERSTYLE")
    BorderStyle = value.AsInteger();
  else if (n == "CAPTION")
    Caption = VarToStr(value);
  else if (n == "NAME")
    Name = VarToStr(value);
  else if (n == "COLOR")
    Color = static_cast<TColor>(value.AsInteger());
  else if (n == "POSITION")
    Position = value.AsInteger();
  else if (n == "SIZE")
    Size = value.AsInteger();
  else if (n == "LEFTMARGIN")
    LeftMargin = value.AsInteger();
  else if (n == "TOPMARGIN")
    TopMargin = value.AsInteger();
  else if (n == "RIGHTMARGIN")
    RightMargin = value.AsInteger();
  else if (n == "BOTTOMMARGIN")
    BottomMargin = value.AsInteger();
  else if (n == "ORIENTATION")
    Orientation = static_cast<uint8_t>(value.AsInteger());
  else if (n == "PRINTTOPREVPAGE")
    PrintToPrevPage = value.AsBoolean();
  else if (n == "COLUMNS")
    Columns = value.AsInteger();
  else if (n == "COLUMNGAP")
    ColumnGap = value.AsInteger();
  else if (n == "VISIBLE")
    Visible = value.AsBoolean();
  else if (n == "COLUMNWIDTH")
    ColumnWidth = value.AsInteger();
  else if (n == "STRETCHTOPRINTABLE")
    UseMargins = !value.AsBoolean();
  else if (n == "WIDTH" && IsDialog())
    Width = value.AsInteger();
  else if (n == "WIDTH")
    PaperWidth = PaperFromScript(value);
  else if (n == "HEIGHT" && IsDialog())
    Height = value.AsInteger();
  else if (n == "HEIGHT")
    PaperHeight = PaperFromScript(value);
}

Variant TfrPage::FetchProperty(std::string_view name) {
  const AnsiString n = AnsiUpperCase(name);
  if (n == "LEFT") return Left;
  if (n == "TOP") return Top;
  if (n == "TYPE") return static_cast<int>(Type);
  if (n == "BORDERSTYLE") return BorderStyle;
  if (n == "NAME") return Name;
  if (n == "CAPTION") return Caption;
  if (n == "COLOR") return static_cast<int>(Color);
  if (n == "POSITION") return Position;
  if (n == "SIZE") return Size;
  if (n == "ORIENTATION") return static_cast<int>(Orientation);
  if (n == "PRINTTOPREVPAGE") return PrintToPrevPage;
  if (n == "STRETCHTOPRINTABLE") return !UseMargins;
  if (n == "COLUMNS") return Columns;
  if (n == "COLUMNGAP") return ColumnGap;
  if (n == "VISIBLE") return Visible;
  if (n == "WIDTH") return IsDialog() ? Width : PaperToScript(PaperWidth);
  if (n == "HEIGHT") return IsDialog() ? Height : PaperToScript(PaperHeight);
  if (n == "LEFTMARGIN") return Prepared ? Limits.Left : LeftMargin;
  if (n == "TOPMARGIN") return Prepared ? Limits.Top : TopMargin;
  if (n == "RIGHTMARGIN") return Prepared ? Limits.Right : RightMargin;
  if (n == "BOTTOMMARGIN") return Prepared ? Limits.Bottom : BottomMargin;
  return Null();
}
