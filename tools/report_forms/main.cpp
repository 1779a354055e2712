// report_forms: makes the main window's five protocol templates, frReport1
// to frReport5, with the report object model, and writes the report
// components that hold them as the main window keeps them.
//
//   report_forms --source FILE.cpp   the program's source file of the stored
//                                    components (their text form)
//   report_forms --raw DIR           each component's binary stream as
//                                    DIR/frReport1.bin ... DIR/frReport5.bin
//
// The output depends on nothing but this file: the clock is fixed and the
// templates name the virtual printer, so making them again gives the same
// bytes. Exit status 0 on success, 1 when a file cannot be written, 2 on bad
// arguments.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "report/fr_class.h"
#include "report/fr_globals.h"
#include "report/fr_memo.h"
#include "report/fr_page.h"
#include "report/fr_prntr.h"
#include "report/fr_report.h"
#include "report/fr_views.h"
#include "toolkit/core/filer.h"
#include "toolkit/core/objtext.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"

namespace {

// One text of a column: a field and the head above it (none: nullptr).
// Numbers show `decimals` decimals; -1 leaves the value as it is.
struct Line {
  const char* field;
  const char* head;
  int decimals = -1;
};

// A column of the list, its lines stacked one under the other.
struct Column {
  int width;  // page pixels; 0 takes what is left of the list's width
  std::vector<Line> lines;
};

struct Design {
  const char* name;
  const char* title;
  // The order in which the head and field objects are stored.
  std::vector<const char*> heads;
  std::vector<const char*> fields;
  // Left to right.
  std::vector<Column> columns;
};

const Design kDesigns[] = {
    {"frReport1",
     "ВАМ-КС7  № [Dbf1.\"SERIAL\"]",
     {"Дата", "Время", "Тип и размер пластины", "P, кН", "R, МПа", "Примечание"},
     {"N", "DATE", "TIME", "TYPE", "P", "R", "COMMENT"},
     {{40, {{"N", nullptr}}},
      {72, {{"DATE", "Дата"}}},
      {60, {{"TIME", "Время"}}},
      {140, {{"TYPE", "Тип и размер пластины"}}},
      {70, {{"P", "P, кН", 3}}},
      {70, {{"R", "R, МПа", 3}}},
      {0, {{"COMMENT", "Примечание"}}}}},
    {"frReport2",
     "ЭН-КС7  № [Dbf1.\"SERIAL\"]",
     {"Дата", "Время", "Вид испытаний", "R, МПа", "P, Н", "Размер образца, мм"},
     {"N", "P", "DATE", "TIME", "R", "T", "COMMENT", "H"},
     {{40, {{"N", nullptr}}},
      {72, {{"DATE", "Дата"}}},
      {60, {{"TIME", "Время"}}},
      {80, {{"T", "Вид испытаний"}}},
      {70, {{"R", "R, МПа", 3}}},
      {70, {{"P", "P, Н", 3}}},
      {0, {{"COMMENT", "Размер образца, мм"}}},
      {70, {{"H", nullptr}}}}},
    {"frReport3",
     "ВАМ-КС7  № [Dbf1.\"SERIAL\"]",
     {"Дата", "Время", "Тип и размер пластины", "P, кН", "Примечание"},
     {"N", "P", "DATE", "TIME", "TYPE", "COMMENT"},
     {{40, {{"N", nullptr}}},
      {72, {{"DATE", "Дата"}}},
      {60, {{"TIME", "Время"}}},
      {150, {{"TYPE", "Тип и размер пластины"}}},
      {80, {{"P", "P, кН", 3}}},
      {0, {{"COMMENT", "Примечание"}}}}},
    // The levels and their differences stand three to a column, as the grid shows them.
    {"frReport4",
     "ЛИВТ-КС7  № [Dbf1.\"SERIAL\"]",
     {"Дата", "Время", "Ao, дБ", "d, мм", "Асв1, дБ", "Асв2, дБ", "Асв3, дБ", "Ао-Асв1, дБ", "Ао-Асв2, дБ",
      "Ао-Асв3, дБ", "Ку асв, дБ", "Примечание"},
     {"N", "R", "DATE", "TIME", "A1", "A2", "A3", "D1", "D2", "D3", "H", "P", "K", "COMMENT"},
     {{34, {{"N", nullptr}}},
      {68, {{"DATE", "Дата"}}},
      {56, {{"TIME", "Время"}}},
      {48, {{"R", "Ao, дБ", 1}}},
      {62, {{"A1", "Асв1, дБ", 1}, {"A2", "Асв2, дБ", 1}, {"A3", "Асв3, дБ", 1}}},
      {74, {{"D1", "Ао-Асв1, дБ", 1}, {"D2", "Ао-Асв2, дБ", 1}, {"D3", "Ао-Асв3, дБ", 1}}},
      {46, {{"H", "d, мм", 1}}},
      {40, {{"P", nullptr, 0}}},
      {54, {{"K", "Ку асв, дБ", 0}}},
      {0, {{"COMMENT", "Примечание"}}}}},
    {"frReport5",
     "ТЕФ-10КС7  № [Dbf1.\"SERIAL\"]",
     {"Дата", "Время", "R, МПа", "P, Н", "Размер образца, мм", "Перемещение, мм", "Примечание"},
     {"N", "P", "DATE", "TIME", "R", "TYPE", "H", "COMMENT"},
     {{40, {{"N", nullptr}}},
      {72, {{"DATE", "Дата"}}},
      {60, {{"TIME", "Время"}}},
      {70, {{"R", "R, МПа", 3}}},
      {70, {{"P", "P, Н", 3}}},
      {110, {{"TYPE", "Размер образца, мм"}}},
      {90, {{"H", "Перемещение, мм", 3}}},
      {0, {{"COMMENT", "Примечание"}}}}},
};

// The page in page pixels: A4 portrait with these margins.
constexpr int kLeftMargin = 54, kTopMargin = 36, kRightMargin = 36, kBottomMargin = 36;
// Band heights and places; a stacked column's lines are kLineHeight each.
constexpr int kTitleHeight = 40;
constexpr int kHeadHeight = 34;
constexpr int kRowHeight = 18;
constexpr int kLineHeight = 16;
constexpr int kFooterHeight = 20;
constexpr int kBandGap = 8;

constexpr const char* kRecordSource = "frDBDataSet1";
constexpr const char* kPageFooter = "Стр. [PAGE#] из [TOTALPAGES]";
constexpr TColor kBlack = 0;

// A fixed number format: category number, kind 1 (fixed decimals), the comma.
uint32_t FixedFormat(int decimals) { return 0x01010000u | uint32_t(decimals) << 8 | uint8_t(','); }
// Text as it is, with the comma for numbers it may hold.
constexpr uint32_t kTextFormat = 0x0200u | uint8_t(',');

class Maker {
 public:
  explicit Maker(TfrPage& page) : page_(page) {}

  void Band(int type, int top, int height, const char* source = "") {
    auto band = std::make_unique<TfrBandView>();
    band->Name = "Band" + std::to_string(++bands_);
    band->FrameTyp = static_cast<uint16_t>(type);
    band->FormatText = source;
    band->FormatWord = kTextFormat;
    if (type == btMasterData) band->Flags |= flStretched;
    band->SetBounds(0, top, page_.Metrics.PageWidth, height);
    page_.Objects.push_back(std::move(band));
  }

  // A text object in Arial.
  TfrMemoView& Memo(int left, int top, int width, int height, const AnsiString& text, int points, bool bold,
                    int alignment, bool framed) {
    auto memo = std::make_unique<TfrMemoView>();
    memo->Name = "Memo" + std::to_string(++memos_);
    memo->SetBounds(left, top, width, height);
    memo->Memo.Add(text);
    memo->Font.SetName("Arial");
    memo->Font.SetSize(points);
    memo->Font.SetColor(kBlack);
    memo->Font.SetStyle(bold ? TFontStyles{fsBold} : TFontStyles{});
    memo->FontCharset = kDefaultCharset;
    memo->Alignment = alignment;
    memo->FormatWord = kTextFormat;
    memo->Flags = flStretched | flWordWrap;
    if (framed) memo->FrameTyp = frbLeft | frbTop | frbRight | frbBottom;
    TfrMemoView& made = *memo;
    page_.Objects.push_back(std::move(memo));
    return made;
  }

 private:
  TfrPage& page_;
  int bands_ = 0, memos_ = 0;
};

// Where a line stands: its column's left edge and width, its place in the stack.
struct Place {
  const Line* line = nullptr;
  int left = 0, width = 0, index = 0, count = 1;
};

Place Find(const Design& d, int list_width, bool by_head, const char* name) {
  int left = kLeftMargin, fixed = 0;
  for (const Column& c : d.columns) fixed += c.width;
  for (const Column& c : d.columns) {
    const int width = c.width ? c.width : list_width - fixed;
    for (size_t i = 0; i < c.lines.size(); ++i) {
      const char* key = by_head ? c.lines[i].head : c.lines[i].field;
      if (key && std::string(key) == name) return {&c.lines[i], left, width, int(i), int(c.lines.size())};
    }
    left += width;
  }
  throw Exception(std::string(d.name) + ": nothing in the columns for " + name);
}

void MakeTemplate(const Design& d, TfrTemplate& t) {
  t.Clear();
  t.TwoPassBuild = true;
  t.KeepDefaultPrinter = false;
  TfrPage& page = *t.Pages.Add();
  page.Name = "";
  page.LeftMargin = kLeftMargin;
  page.TopMargin = kTopMargin;
  page.RightMargin = kRightMargin;
  page.BottomMargin = kBottomMargin;
  const int list_width = page.Metrics.PageWidth - kLeftMargin - kRightMargin;
  size_t stack = 1;
  for (const Column& c : d.columns) stack = std::max(stack, c.lines.size());
  const int head_height = stack > 1 ? int(stack) * kLineHeight : kHeadHeight;
  const int row_height = stack > 1 ? int(stack) * kLineHeight : kRowHeight;
  const int centred = frtaCenter | frtaMiddle;

  Maker make(page);
  int top = kTopMargin;
  make.Band(btReportTitle, top, kTitleHeight);
  make.Memo(kLeftMargin, top, list_width, kTitleHeight - kBandGap, Utf8ToAnsi(d.title), 12, true, centred, false);
  top += kTitleHeight + kBandGap;

  make.Band(btPageHeader, top, head_height);
  for (const char* head : d.heads) {
    const Place p = Find(d, list_width, true, head);
    const int height = head_height / p.count;
    make.Memo(p.left, top + p.index * height, p.width, height, Utf8ToAnsi(head), 8, true, centred, true);
  }
  top += head_height + kBandGap;

  make.Band(btMasterData, top, row_height, kRecordSource);
  for (const char* field : d.fields) {
    const Place p = Find(d, list_width, false, field);
    const int height = row_height / p.count;
    TfrMemoView& memo = make.Memo(p.left, top + p.index * height, p.width, height,
                                  "[Dbf1.\"" + AnsiString(field) + "\"]", 9, false, centred, true);
    if (p.line->decimals >= 0) memo.FormatWord = FixedFormat(p.line->decimals);
    // Only the note grows with its text; the other cells, stacked ones above
    // all, keep their places in the row.
    if (std::string(field) != "COMMENT") memo.Flags &= ~flStretched;
  }

  const int footer_top = page.Metrics.PageHeight - kBottomMargin - kFooterHeight;
  make.Band(btPageFooter, footer_top, kFooterHeight);
  make.Memo(kLeftMargin, footer_top, list_width, kFooterHeight, Utf8ToAnsi(kPageFooter), 8, false,
            frtaRight | frtaMiddle, false);
}

// The component as the main window stores it, as a binary component stream.
std::string MakeComponent(const Design& d) {
  TfrReport report(nullptr);
  report.SetName(d.name);
  MakeTemplate(d, report.Template);
  report.PreviewButtons = TfrPreviewButtons{pbZoom, pbPrint, pbHelp, pbExit};
  report.InitialZoom = pzDefault;
  report.StoreInDFM = true;
  report.RebuildPrinter = false;
  TMemoryStream stream;
  TWriter(stream).WriteRootComponent(&report);
  return std::string(stream.Bytes());
}

// A C++ string literal of bytes, one per text line; what is not plain ASCII
// is written as an octal escape.
std::string Literal(const std::string& text) {
  std::string out = "    \"";
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 32 && c < 127) {
      out += static_cast<char>(c);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\%03o", c);
      out += escape;
    }
    if (c == '\n' && i + 1 < text.size()) out += "\"\n    \"";
  }
  return out + "\"";
}

std::string SourceFile(const std::vector<std::string>& components) {
  std::string out =
      "// The main window's report components frReport1 to frReport5 as it stores\n"
      "// them, in the component stream's text form. Made by tools/report_forms;\n"
      "// do not edit: a test makes them again and compares the bytes.\n"
      "#include \"app/report_forms.h\"\n\n"
      "const char* const kReportFormTexts[kReportFormCount] = {\n";
  for (const std::string& binary : components) {
    TStringStream in(binary);
    TStringStream text("");
    ObjectBinaryToText(in, text);
    out += Literal(text.DataString()) + ",\n";
  }
  return out + "};\n";
}

bool Write(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

int Usage() {
  std::fprintf(stderr, "usage: report_forms --source FILE.cpp | --raw DIR\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Fonts need the window system's layer, which needs no screen here.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (argc != 3) return Usage();
  const std::string mode = argv[1], target = argv[2];
  if (mode != "--source" && mode != "--raw") return Usage();
  try {
    // The library's start-up, a fixed clock for the dates the templates
    // keep, and the virtual printer, which every machine has.
    frGlobals();
    RegisterStandardViews();
    SetNowSource([] { return EncodeDate(2026, 12, 11); });
    TfrPrinter& printer = GlobalPrinterLayer();
    printer.SetPrinterIndex(printer.VirtualPrinterIndex());
    std::vector<std::string> components;
    for (const Design& d : kDesigns) components.push_back(MakeComponent(d));
    if (mode == "--source") {
      if (!Write(target, SourceFile(components))) {
        std::fprintf(stderr, "report_forms: cannot write %s\n", target.c_str());
        return 1;
      }
      return 0;
    }
    for (size_t i = 0; i < components.size(); ++i) {
      const std::string path = target + "/" + kDesigns[i].name + ".bin";
      if (!Write(path, components[i])) {
        std::fprintf(stderr, "report_forms: cannot write %s\n", path.c_str());
        return 1;
      }
    }
  } catch (const Exception& e) {
    std::fprintf(stderr, "report_forms: %s\n", AnsiToUtf8(e.Message()).c_str());
    return 1;
  }
  return 0;
}
