#include "xls/vteWriters.h"

#include <algorithm>
#include <cmath>
#include <system_error>

#include "toolkit/core/binary.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "toolkit/sys/compound.h"
#include "xls/BIFF8_Types.h"
#include "xls/vteConsts.h"
#include "xls/vteMetafile.h"

namespace {

// ---- Fixed records, as the format's hex dumps (header included) ------------

// The style XFs 0 to 14: the Normal style on font 0, then fonts 1, 1, 2, 2,
// then font 0 ten times.
constexpr const char* kStyleXF0 = "e0 00 14 00 00 00 00 00 f5 ff 20 00 00 00 00 00 00 00 00 00 00 00 c0 20";
constexpr const char* kStyleXF1 = "e0 00 14 00 01 00 00 00 f5 ff 20 00 00 f4 00 00 00 00 00 00 00 00 c0 20";
constexpr const char* kStyleXF2 = "e0 00 14 00 02 00 00 00 f5 ff 20 00 00 f4 00 00 00 00 00 00 00 00 c0 20";
constexpr const char* kStyleXFn = "e0 00 14 00 00 00 00 00 f5 ff 20 00 00 f4 00 00 00 00 00 00 00 00 c0 20";

// The first six cell XF bodies: XF 15 the default cell format, XF 16 to 20 the
// parents of the built-in currency, percent and comma styles.
constexpr const char* kFixedXFs[] = {
    "00 00 00 00 01 00 20 00 00 00 00 00 00 00 00 00 00 00 C0 20",
    "01 00 2C 00 F5 FF 20 00 00 F8 00 00 00 00 00 00 00 00 C0 20",
    "01 00 2A 00 F5 FF 20 00 00 F8 00 00 00 00 00 00 00 00 C0 20",
    "01 00 09 00 F5 FF 20 00 00 F8 00 00 00 00 00 00 00 00 C0 20",
    "01 00 2B 00 F5 FF 20 00 00 F8 00 00 00 00 00 00 00 00 C0 20",
    "01 00 29 00 F5 FF 20 00 00 F8 00 00 00 00 00 00 00 00 C0 20",
};

// Built-in styles: Currency, Currency [0], Normal, Percent, Comma, Comma [0].
constexpr const char* kStyles[] = {
    "93 02 04 00 10 80 04 FF", "93 02 04 00 11 80 07 FF", "93 02 04 00 00 80 00 FF",
    "93 02 04 00 12 80 05 FF", "93 02 04 00 13 80 03 FF", "93 02 04 00 14 80 06 FF",
};

// DELTA: 0.001 as a double.
constexpr const char* kDelta = "10 00 08 00 fc a9 f1 d2 4d 62 50 3f";

// The number formats every file starts with: the ruble currency formats of
// the Russian locale ("\xF0." is "р." in 1251) with their built-in numbers.
const std::pair<const char*, int> kBuiltinFormats[] = {
    {"#,##0\"\xF0.\";\\-#,##0\"\xF0.\"", 5},
    {"#,##0\"\xF0.\";[Red]\\-#,##0\"\xF0.\"", 6},
    {"#,##0.00\"\xF0.\";\\-#,##0.00\"\xF0.\"", 7},
    {"#,##0.00\"\xF0.\";[Red]\\-#,##0.00\"\xF0.\"", 8},
    {"_-* #,##0\"\xF0.\"_-;\\-* #,##0\"\xF0.\"_-;_-* \"-\"\"\xF0.\"_-;_-@_-", 42},
    {"_-* #,##0_\xF0_._-;\\-* #,##0_\xF0_._-;_-* \"-\"_\xF0_._-;_-@_-", 41},
    {"_-* #,##0.00\"\xF0.\"_-;\\-* #,##0.00\"\xF0.\"_-;_-* \"-\"??\"\xF0.\"_-;_-@_-", 44},
    {"_-* #,##0.00_\xF0_._-;\\-* #,##0.00_\xF0_._-;_-* \"-\"??_\xF0_._-;_-@_-", 43},
};

// BIFF8 fill pattern codes by TvteFillPattern. "Automatic" has no code of its
// own and is written as no pattern.
constexpr uint8_t kFillPatternCodes[kVteFillPatternCount] = {
    0,   // none
    0,   // automatic
    9,   // checker
    16,  // criss-cross
    7,   // down
    18,  // gray 8
    17,  // gray 16
    4,   // gray 25
    2,   // gray 50
    3,   // gray 75
    15,  // grid
    5,   // horizontal
    13,  // light down
    11,  // light horizontal
    14,  // light up
    12,  // light vertical
    10,  // semi-gray 75
    1,   // solid
    8,   // up
    6,   // vertical
};

// The OBJ line style of a picture's frame by TvteLineStyle (0 solid, 1 dash,
// 2 dot, 3 dash-dot, 4 dash-dot-dot, 5 none): a frame has one weight of its
// own, so the medium and thick styles draw as their thin kin.
constexpr uint8_t kObjLineStyles[] = {
    5,  // none
    0,  // thin
    0,  // medium
    1,  // dashed
    2,  // dotted
    0,  // thick
    0,  // double
    0,  // hair
    1,  // medium dashed
    3,  // dash-dot
    3,  // medium dash-dot
    4,  // dash-dot-dot
    4,  // medium dash-dot-dot
    3,  // slanted dash-dot
};

// The OBJ line weight by the picture's weight: hairline, single, double,
// triple; anything heavier is triple.
constexpr uint8_t kObjLineWeights[] = {0, 1, 2, 3};

// The 16 basic colours a palette replacement never touches.
constexpr TColor kBasicColors[16] = {clWhite, clBlack, clSilver, clGray, clRed,  clMaroon, clYellow, clOlive,
                                     clLime,  clGreen, clAqua,   clTeal, clBlue, clNavy,   clFuchsia, clPurple};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Each run of hex digits gives one byte; anything else separates runs.
std::string HexTextToBytes(std::string_view text) {
  std::string bytes;
  int value = -1;
  for (char c : text) {
    const int d = HexDigit(c);
    if (d >= 0) {
      value = (value < 0 ? 0 : value * 16) + d;
    } else if (value >= 0) {
      bytes.push_back(static_cast<char>(value));
      value = -1;
    }
  }
  if (value >= 0) bytes.push_back(static_cast<char>(value));
  return bytes;
}

void PutWide(std::string* out, std::string_view ansi) {
  for (char16_t c : AnsiToWide(ansi)) PutLE16(out, static_cast<uint16_t>(c));
}

// A BIFF8 string with a 16-bit character count and 16-bit characters.
void PutString16(std::string* out, std::string_view ansi) {
  PutLE16(out, static_cast<uint16_t>(ansi.size()));
  out->push_back(static_cast<char>(biff8::kTextUncompressed));
  PutWide(out, ansi);
}

// The same with an 8-bit character count.
void PutString8(std::string* out, std::string_view ansi) {
  out->push_back(static_cast<char>(ansi.size()));
  out->push_back(static_cast<char>(biff8::kTextUncompressed));
  PutWide(out, ansi);
}


// A system colour has its top bit set; its low byte is the system colour index.
bool IsSystemColor(TColor color) { return (static_cast<uint32_t>(color) & 0x80000000u) != 0; }

}  // namespace

// The stream being built: bytes in memory, positions counted from the
// start of the target stream.
struct TvteExcelWriter::Output {
  std::string data;
  int64_t base = 0;

  int64_t Position() const { return base + static_cast<int64_t>(data.size()); }

  // A record; data beyond 8224 bytes goes into CONTINUE records.
  void WriteBiffRecord(uint16_t id, std::string_view payload) {
    size_t offset = 0;
    uint16_t number = id;
    do {
      const size_t piece = std::min(payload.size() - offset, static_cast<size_t>(biff8::kMaxRecordData));
      PutLE16(&data, number);
      PutLE16(&data, static_cast<uint16_t>(piece));
      data.append(payload.substr(offset, piece));
      offset += piece;
      number = biff8::kCONTINUE;
    } while (offset < payload.size());
  }
  void Record16(uint16_t id, uint16_t value) {
    std::string p;
    PutLE16(&p, value);
    WriteBiffRecord(id, p);
  }
  void RecordDouble(uint16_t id, double value) {
    std::string p;
    PutLEDouble(&p, value);
    WriteBiffRecord(id, p);
  }
  void WriteHexRecord(std::string_view text) { data += HexTextToBytes(text); }
};

struct TvteExcelWriter::SheetRanges {
  TvteXLSWorksheet* sheet = nullptr;
  // The position in cells_ of the sheet's first range.
  size_t first_cell = 0;
  // The position in pictures_ of the sheet's first picture.
  size_t first_picture = 0;
  // The stream position of its BOUNDSHEET's position field, in Output::data.
  size_t boundsheet_field = 0;
};

// ---- Writers ---------------------------------------------------------------

TvteCustomWriter::~TvteCustomWriter() = default;

void TvteCustomWriter::Save(TvteXLSWorkbook&, const std::string&) {}

TvteExcelWriter::TvteExcelWriter() = default;

TvteExcelWriter::~TvteExcelWriter() = default;

void TvteExcelWriter::Save(TvteXLSWorkbook& workbook, const std::string& file_name) {
  const std::string bytes = BuildWorkbook(workbook, 0);
  try {
    SaveCompoundFile(file_name, {{"Workbook", bytes}});
  } catch (const ECompoundFileError& e) {
    const AnsiString reason = std::generic_category().message(e.Code());
    if (e.Failure() == TCompoundFailure::cfWrite)
      throw EvteWriteFileError(::Format(vte::sCannotWriteFile, {Utf8ToAnsi(file_name), reason}), e.Code());
    throw EvteCreateFileError(::Format(vte::sCannotCreateFile, {Utf8ToAnsi(file_name), reason}), e.Code());
  }
}

void TvteExcelWriter::WriteWorkbook(TvteXLSWorkbook& workbook, TStream& stream) {
  const std::string bytes = BuildWorkbook(workbook, stream.Position());
  stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

std::string TvteExcelWriter::BuildWorkbook(TvteXLSWorkbook& workbook, int64_t base) {
  struct Finish {
    TvteExcelWriter* writer;
    ~Finish() { writer->FinishSave(); }
  } finish{this};
  Prepare(workbook);
  Output out;
  out.base = base;
  // Room for the whole stream at once: growing a string of megabytes copies
  // it and touches fresh pages each time, which costs a short export process
  // more than the records themselves. A cell takes about 50 bytes (its record,
  // the blanks of a merged range, its MERGEDCELLS entry), a text twice its
  // length in the string table; what is reserved and never written costs
  // address space only.
  out.data.reserve(cells_.size() * 64 + sst_text_.size() * 2 + 65536);
  WriteGlobals(out, workbook);
  for (size_t i = 0; i < sheets_.size(); ++i) {
    const int64_t bof = out.Position();
    WriteSheet(out, sheets_[i], i == 0);
    biff8::PatchStreamOffset(out.data, sheets_[i].boundsheet_field, static_cast<uint32_t>(bof), out.base);
  }
  return std::move(out.data);
}

void TvteExcelWriter::FinishSave() {
  for (auto& s : sheets_)
    for (int i = 0; i < s.sheet->GetRangeCount(); ++i) s.sheet->GetRangeItem(i)->SetCellData(nullptr);
  sheets_.clear();
  pictures_.clear();
  cells_.clear();
  sst_text_.clear();
  sst_ends_.clear();
  formulas_.clear();
  fonts_.clear();
  font_colors_.clear();
  formats_.clear();
  format_cache_.clear();
  xfs_.clear();
  xf_index_.clear();
  used_colors_.clear();
  compiler_.Clear();
}

// ---- Preparation: checks, formulas, fonts, formats, cell formats -----------

void TvteExcelWriter::Prepare(TvteXLSWorkbook& workbook) {
  sheets_.clear();
  pictures_.clear();
  cells_.clear();
  sst_text_.clear();
  sst_ends_.clear();
  formulas_.clear();
  used_colors_.clear();
  compiler_.Clear();
  std::copy(std::begin(biff8::kDefaultPalette), std::end(biff8::kDefaultPalette), palette_.begin());
  palette_changed_ = false;

  size_t count = 0;
  for (int s = 0; s < workbook.GetSheetCount(); ++s) {
    SheetRanges sr;
    sr.sheet = workbook.GetSheet(s);
    sr.sheet->FileStyles();
    sr.first_cell = count;
    sr.first_picture = pictures_.size();
    count += static_cast<size_t>(sr.sheet->GetRangeCount());
    for (int i = 0; i < sr.sheet->Images().Count(); ++i) pictures_.push_back({sr.sheet->Images().Items(i)});
    sheets_.push_back(sr);
  }
  cells_.assign(count, TvteCellData{});
  for (const auto& sr : sheets_)
    for (int i = 0; i < sr.sheet->GetRangeCount(); ++i)
      sr.sheet->GetRangeItem(i)->SetCellData(&cells_[sr.first_cell + static_cast<size_t>(i)]);

  CheckWorkbook();
  CompileFormulas();
  CollectFonts();
  CollectFormats();
  CollectXFs();
}

void TvteExcelWriter::CheckWorkbook() {
  // Everything a file cannot hold is refused here, before a byte is written:
  // a value cut to fit would make a file readers reject or misread.
  for (size_t s = 0; s < sheets_.size(); ++s) {
    const TvteXLSWorksheet& sheet = *sheets_[s].sheet;
    const AnsiString& name = sheet.Name();
    if (name.empty()) throw Exception(::Format(vte::sEmptySheetName, {static_cast<int>(s) + 1}));
    if (name.find_first_of("[]:*?/\\") != AnsiString::npos || name.size() > size_t{biff8::kMaxSheetName})
      throw Exception(::Format(vte::sInvalidSheetName, {name}));
    for (size_t t = 0; t < s; ++t)
      if (AnsiSameText(sheets_[t].sheet->Name(), name)) throw Exception(::Format(vte::sDuplicateSheetName, {name}));
    CheckPictures(sheets_[s]);

    const TvteXLSPageSetup& ps = sheet.PageSetup();
    auto part = [](const AnsiString& text) { return text.empty() ? 0 : text.size() + 2; };
    if (part(ps.LeftHeader) + part(ps.CenterHeader) + part(ps.RightHeader) > size_t{biff8::kMaxHeaderFooter} ||
        part(ps.LeftFooter) + part(ps.CenterFooter) + part(ps.RightFooter) > size_t{biff8::kMaxHeaderFooter})
      throw Exception(::Format(vte::sHeaderTooLong, {name}));
    for (int i = 0; i < sheet.GetColumnCount(); ++i) {
      const auto& c = sheet.GetColumnItem(i);
      if (c.Column < 0 || c.Column >= biff8::kMaxColumns || c.Width < 0 || c.Width > 0xFFFF)
        throw Exception(::Format(vte::sInvalidColumnEntry, {c.Column, name}));
    }
    for (int i = 0; i < sheet.GetPageBreakCount(); ++i) {
      const int row = sheet.GetPageBreak(i);
      if (row < 0 || row >= biff8::kMaxRows) throw Exception(::Format(vte::sInvalidRowEntry, {row, name}));
    }

    for (int i = 0; i < sheet.GetRangeCount(); ++i) {
      const TvteXLSRange& r = *sheet.GetRangeItem(i);
      if (r.Left() < 0 || r.Top() < 0 || r.Left() > r.Right() || r.Top() > r.Bottom())
        throw Exception(::Format(vte::sInvalidRange, {r.Left(), r.Top(), r.Right(), r.Bottom(), name}));
      if (r.Right() >= biff8::kMaxColumns || r.Bottom() >= biff8::kMaxRows)
        throw Exception(::Format(vte::sRangeOutsideSheet, {r.Left(), r.Top(), r.Right(), r.Bottom(), name}));
      if (r.Format().size() > size_t{biff8::kMaxFormatText})
        throw Exception(::Format(vte::sFormatTooLong, {r.Format()}));
      if (r.Font().Name.size() > 255) throw Exception(::Format(vte::sFontNameTooLong, {r.Font().Name}));
      // Heights are 16-bit twips; the format's largest font is 409 points.
      if (r.Font().Size < 1 || r.Font().Size > 409) throw Exception(::Format(vte::sInvalidFontSize, {r.Font().Size}));
      if (r.CellKind() == vtecText) {
        AnsiString text = r.ValueText();
        if (text.size() > size_t{biff8::kMaxCellText})
          throw Exception(
              ::Format(vte::sTextTooLong, {static_cast<int>(text.size()), r.Left(), r.Top(), name}));
        // Equal texts are not merged: every text cell has its own entry,
        // numbered in the order of the sheets and their ranges.
        if (!text.empty()) {
          cells_[sheets_[s].first_cell + static_cast<size_t>(i)].SST = static_cast<int>(sst_ends_.size());
          sst_text_ += text;
          sst_ends_.push_back(sst_text_.size());
        }
      }
    }
    // The used area only grows, so a dropped range may have widened it past
    // the sheet; a negative bound left by one would hide every row.
    const TvteRect& dim = sheet.Dimensions();
    const bool dim_set = dim.Left != -1 || dim.Top != -1 || dim.Right != -1 || dim.Bottom != -1;
    if (dim_set && (dim.Left < 0 || dim.Top < 0 || dim.Right < 0 || dim.Bottom < 0 ||
                    dim.Right >= biff8::kMaxColumns || dim.Bottom >= biff8::kMaxRows))
      throw Exception(::Format(vte::sRangeOutsideSheet, {dim.Left, dim.Top, dim.Right, dim.Bottom, name}));
    // Row entries count only inside the used area, now known to be bounded.
    for (int r = dim.Top; r >= 0 && r <= dim.Bottom; ++r) {
      const TvteXLSRow* row = sheet.FindRow(r);
      if (row && (row->Height < 0 || row->Height > 0x7FFF)) throw Exception(::Format(vte::sInvalidRowEntry, {r, name}));
    }
  }
}

namespace {

// Where an edge of a picture falls along one axis: from the cell `start` and
// `offset` (in 1/units of that cell) on, `length` pixels further, over cells
// whose sizes `size` gives. Whole cells are passed while the length left
// reaches past them; an edge on a cell's border starts the next cell at 0.
// False when it lies beyond `count` cells.
template <class Size>
bool PlaceEdge(int start, int offset, double length, int units, int count, Size size, int* cell, int* cell_offset) {
  double left = length + static_cast<double>(offset) * size(start) / units;
  int c = start;
  while (c < count && left >= size(c)) left -= size(c++);
  if (c >= count) return false;
  *cell = c;
  *cell_offset = static_cast<int>(left * units / size(c));
  return true;
}

}  // namespace

void TvteExcelWriter::CheckPictures(const SheetRanges& sr) {
  const TvteXLSWorksheet& sheet = *sr.sheet;
  auto column_width = [&](int column) {
    const TvteXLSColumn* entry = sheet.FindColumn(column);
    return entry ? ColumnWidthToPixels(entry->Width) : DefaultColumnWidthPixels();
  };
  auto row_height = [&](int row) {
    const TvteXLSRow* entry = sheet.FindRow(row);
    return entry ? RowHeightToPixels(entry->Height) : DefaultRowHeightPixels();
  };
  auto inside = [](int column, int column_offset, int row, int row_offset) {
    return column >= 0 && column < biff8::kMaxColumns && column_offset >= 0 &&
           column_offset < biff8::kColumnOffsetUnits && row >= 0 && row < biff8::kMaxRows && row_offset >= 0 &&
           row_offset < biff8::kRowOffsetUnits;
  };
  for (int i = 0; i < sheet.Images().Count(); ++i) {
    PictureData& data = pictures_[sr.first_picture + static_cast<size_t>(i)];
    const TvteImage& image = *data.image;
    const TvtePicture& picture = image.Picture;
    // A metafile gives a picture's sides in 16 bits.
    if (picture.Width < 1 || picture.Height < 1 || picture.Width > 0x7FFF || picture.Height > 0x7FFF ||
        picture.Pixels.size() != static_cast<size_t>(picture.Width) * static_cast<size_t>(picture.Height))
      throw Exception(::Format(vte::sInvalidPicture, {i + 1, sheet.Name()}));
    auto& a = data.anchor;
    a = {image.Left, image.LeftOffset, image.Top, image.TopOffset,
         image.Right, image.RightOffset, image.Bottom, image.BottomOffset};
    bool placed = inside(a[0], a[1], a[2], a[3]);
    if (placed && image.ScaleX >= 1)
      placed = PlaceEdge(a[0], a[1], picture.Width * image.ScaleX / 100, biff8::kColumnOffsetUnits,
                         biff8::kMaxColumns, column_width, &a[4], &a[5]);
    if (placed && image.ScaleY >= 1)
      placed = PlaceEdge(a[2], a[3], picture.Height * image.ScaleY / 100, biff8::kRowOffsetUnits, biff8::kMaxRows,
                         row_height, &a[6], &a[7]);
    if (!placed || !inside(a[4], a[5], a[6], a[7]))
      throw Exception(::Format(vte::sPictureOutsideSheet, {i + 1, sheet.Name()}));
  }
}

void TvteExcelWriter::CompileFormulas() {
  sst_count_ = static_cast<int>(sst_ends_.size());
  for (const auto& sr : sheets_) {
    for (int i = 0; i < sr.sheet->GetRangeCount(); ++i) {
      const TvteXLSRange& r = *sr.sheet->GetRangeItem(i);
      if (r.CellKind() != vtecFormula) continue;
      std::string tokens;
      compiler_.Compile(r.Formula(), tokens);
      cells_[sr.first_cell + static_cast<size_t>(i)].Formula = static_cast<int>(formulas_.size());
      formulas_.push_back(std::move(tokens));
    }
  }
}

int TvteExcelWriter::GetColorIndex(TColor color) {
  if (IsSystemColor(color)) color = ColorToRGB(color);
  if (std::find(used_colors_.begin(), used_colors_.end(), color) == used_colors_.end())
    used_colors_.push_back(color);
  for (size_t i = 0; i < palette_.size(); ++i)
    if (palette_[i] == color) return static_cast<int>(i) + biff8::kFirstPaletteIndex;
  for (size_t i = 0; i < palette_.size(); ++i) {
    const TColor entry = palette_[i];
    if (std::find(std::begin(kBasicColors), std::end(kBasicColors), entry) != std::end(kBasicColors)) continue;
    if (std::find(used_colors_.begin(), used_colors_.end(), entry) != used_colors_.end()) continue;
    palette_[i] = color;
    palette_changed_ = true;
    return static_cast<int>(i) + biff8::kFirstPaletteIndex;
  }
  return biff8::kFirstPaletteIndex;
}

void TvteExcelWriter::CollectFonts() {
  // The four default fonts are Arial 10 in the window text colour; a range's
  // font starts black, so only a range font set to window text shares them.
  TvteXLSFont standard;
  standard.Color = clWindowText;
  fonts_.assign(4, standard);
  // Ranges of one format share its font: each format is looked up once.
  std::vector<int> by_style;
  for (const auto& sr : sheets_) {
    by_style.assign(static_cast<size_t>(sr.sheet->GetStyleCount()), 0);
    for (int i = 0; i < sr.sheet->GetRangeCount(); ++i) {
      const TvteXLSRange& range = *sr.sheet->GetRangeItem(i);
      int& index = by_style[range.StyleIndex()];
      if (index == 0) {
        auto it = std::find(fonts_.begin(), fonts_.end(), range.Font());
        if (it == fonts_.end()) it = fonts_.insert(fonts_.end(), range.Font());
        // Position + 1: position 0 gives 1 (a copy of font 0), position 4
        // gives 5, as BIFF8 has no font index 4.
        index = static_cast<int>(it - fonts_.begin()) + 1;
      }
      cells_[sr.first_cell + static_cast<size_t>(i)].Font = index;
    }
  }
  // Font colours take their palette entries before the cell formats' colours do.
  font_colors_.clear();
  for (const TvteXLSFont& f : fonts_) font_colors_.push_back(GetColorIndex(f.Color));
}

void TvteExcelWriter::CollectFormats() {
  formats_.clear();
  format_cache_.clear();
  for (const auto& f : kBuiltinFormats) formats_.emplace_back(f.first, f.second);
  int added = 0;
  std::vector<int> by_style;  // the number + 1 of each format's number format, 0 before it is looked up
  for (const auto& sr : sheets_) {
    by_style.assign(static_cast<size_t>(sr.sheet->GetStyleCount()), 0);
    for (int i = 0; i < sr.sheet->GetRangeCount(); ++i) {
      const TvteXLSRange& range = *sr.sheet->GetRangeItem(i);
      int& known = by_style[range.StyleIndex()];
      if (known > 0) {
        cells_[sr.first_cell + static_cast<size_t>(i)].Format = known - 1;
        continue;
      }
      const AnsiString& text = range.Format();
      int number = 0;
      if (!text.empty()) {
        if (auto c = format_cache_.find(text); c != format_cache_.end()) {
          number = c->second;
        } else {
          number = -1;
          for (const auto& f : formats_)
            if (AnsiSameText(f.first, text)) number = f.second;
          // Numbers below 164 belong to the built-in formats: a custom format
          // numbered among them would be shown as the built-in one.
          if (number < 0) {
            number = biff8::kFirstCustomFormat + added++;
            formats_.emplace_back(text, number);
          }
          format_cache_.emplace(text, number);
        }
      }
      known = number + 1;
      cells_[sr.first_cell + static_cast<size_t>(i)].Format = number;
    }
  }
}

void TvteExcelWriter::BuildXF(const TvteXLSRange& range, const TvteCellData& data, std::string& xf) {
  const TvteXLSBorders& b = range.Borders();
  auto style = [&](TvteBorderEdge e) { return static_cast<uint32_t>(b[e].LineStyle() & 0x0F); };
  auto color = [&](TvteBorderEdge e) {
    return b[e].LineStyle() == vtelsNone ? 0u : static_cast<uint32_t>(GetColorIndex(b[e].Color()) & 0x7F);
  };
  const TvteBorderEdge diagonal = b[vtexlDiagonalUp].LineStyle() != vtelsNone ? vtexlDiagonalUp : vtexlDiagonalDown;
  const uint8_t fill = range.FillPattern() < kVteFillPatternCount ? kFillPatternCodes[range.FillPattern()] : 0;
  const bool merged = range.Left() != range.Right() || range.Top() != range.Bottom();

  xf.clear();
  PutLE16(&xf, static_cast<uint16_t>(data.Font));
  PutLE16(&xf, static_cast<uint16_t>(data.Format));
  PutLE16(&xf, biff8::kXfLocked);
  xf.push_back(static_cast<char>((range.HorizontalAlignment() & 0x07) | (range.WrapText() ? biff8::kXfWrapText : 0) |
                                 ((range.VerticalAlignment() & 0x07) << 4)));
  xf.push_back(static_cast<char>(range.Rotation()));
  PutLE16(&xf, static_cast<uint16_t>(biff8::kXfUsedAttributes | (merged ? biff8::kXfMergeCells : 0)));
  PutLE16(&xf, static_cast<uint16_t>(style(vtexlEdgeLeft) | (style(vtexlEdgeRight) << 4) |
                                     (style(vtexlEdgeTop) << 8) | (style(vtexlEdgeBottom) << 12)));
  // Colours are looked up one by one in a fixed order, as each lookup may
  // take a palette entry.
  const uint32_t left = color(vtexlEdgeLeft);
  const uint32_t right = color(vtexlEdgeRight);
  const uint32_t top = color(vtexlEdgeTop);
  const uint32_t bottom = color(vtexlEdgeBottom);
  const uint32_t diagonal_color = color(diagonal);
  PutLE16(&xf, static_cast<uint16_t>(left | (right << 7) |
                                     (b[vtexlDiagonalDown].LineStyle() != vtelsNone ? biff8::kXfDiagonalDown : 0) |
                                     (b[vtexlDiagonalUp].LineStyle() != vtelsNone ? biff8::kXfDiagonalUp : 0)));
  PutLE32(&xf, top | (bottom << 7) | (diagonal_color << 14) | (style(diagonal) << 21) |
                   (static_cast<uint32_t>(fill & 0x3F) << 26));
  const uint32_t fore = static_cast<uint32_t>(GetColorIndex(range.FillForeColor()) & 0x7F);
  const uint32_t back = static_cast<uint32_t>(GetColorIndex(range.FillBackColor()) & 0x7F);
  PutLE16(&xf, static_cast<uint16_t>(fore | (back << 7)));
}

void TvteExcelWriter::CollectXFs() {
  xfs_.clear();
  xf_index_.clear();
  for (const char* hex : kFixedXFs) {
    xfs_.push_back(HexTextToBytes(hex));
    xf_index_.emplace(xfs_.back(), static_cast<int>(xfs_.size()) - 1);
  }
  std::string xf;
  // A cell format follows from the range's format and whether it is merged:
  // each pair is built once (its colours were looked up the first time).
  std::vector<int> by_style;
  for (const auto& sr : sheets_) {
    by_style.assign(2 * static_cast<size_t>(sr.sheet->GetStyleCount()), 0);
    for (int i = 0; i < sr.sheet->GetRangeCount(); ++i) {
      TvteCellData& data = cells_[sr.first_cell + static_cast<size_t>(i)];
      const TvteXLSRange& range = *sr.sheet->GetRangeItem(i);
      const bool merged = range.Left() != range.Right() || range.Top() != range.Bottom();
      int& known = by_style[2 * size_t{range.StyleIndex()} + (merged ? 1 : 0)];
      if (known > 0) {
        data.XF = known;
        continue;
      }
      BuildXF(range, data, xf);
      auto it = xf_index_.find(xf);
      if (it == xf_index_.end()) {
        xfs_.push_back(xf);
        it = xf_index_.emplace(xf, static_cast<int>(xfs_.size()) - 1).first;
        if (15 + xfs_.size() > size_t{biff8::kMaxXF}) throw Exception(vte::sTooManyCellFormats);
      }
      data.XF = it->second + 15;
      known = data.XF;
    }
  }
}

// ---- Globals ---------------------------------------------------------------

void TvteExcelWriter::WriteFontRecord(Output& out, size_t font_index) {
  const TvteXLSFont& f = fonts_[font_index];
  const bool bold = f.Style.Contains(TvteFontStyle::Bold);
  const bool underline = f.Style.Contains(TvteFontStyle::Underline);
  // Boldness is carried by the weight alone (1000 bold, 100 regular); the
  // option word holds only italic and struck out.
  uint16_t options = 0;
  if (f.Style.Contains(TvteFontStyle::Italic)) options |= biff8::kFontItalic;
  if (f.Style.Contains(TvteFontStyle::StrikeOut)) options |= biff8::kFontStruckOut;
  std::string p;
  PutLE16(&p, static_cast<uint16_t>(f.Size * 20));
  PutLE16(&p, options);
  PutLE16(&p, static_cast<uint16_t>(font_colors_[font_index]));
  PutLE16(&p, bold ? biff8::kFontWeightBold : biff8::kFontWeightRegular);
  PutLE16(&p, 0);
  p.push_back(underline ? 1 : 0);
  p.push_back(static_cast<char>(f.Pitch));
  p.push_back(static_cast<char>(f.Charset));
  p.push_back(0);
  PutString8(&p, f.Name);
  out.WriteBiffRecord(biff8::kFONT, p);
}

void TvteExcelWriter::WriteFormatRecord(Output& out, const AnsiString& text, int number) {
  std::string p;
  PutLE16(&p, static_cast<uint16_t>(number));
  PutString16(&p, text);
  out.WriteBiffRecord(biff8::kFORMAT, p);
}

void TvteExcelWriter::WriteGlobals(Output& out, TvteXLSWorkbook& workbook) {
  std::string p;
  PutLE16(&p, biff8::kBiffVersion8);
  PutLE16(&p, biff8::kSubstreamGlobals);
  PutLE16(&p, biff8::kBofBuild);
  PutLE16(&p, biff8::kBofYear);
  PutLE32(&p, 0);  // file history
  PutLE32(&p, biff8::kBiffVersion8);
  out.WriteBiffRecord(biff8::kBOF, p);
  out.Record16(biff8::kINTERFACEHDR, 1252);
  out.Record16(biff8::kMMS, 0);
  out.WriteBiffRecord(biff8::kINTERFACEEND, {});

  p.clear();
  const AnsiString user = workbook.UserName().substr(0, 54);
  PutString16(&p, user);
  p.resize(112, ' ');
  out.WriteBiffRecord(biff8::kWRITEACCESS, p);
  out.Record16(biff8::kCODEPAGE, 1252);
  out.Record16(biff8::kDSF, 0);
  out.WriteBiffRecord(biff8::kEXCEL9FILE, {});

  p.clear();
  for (size_t i = 0; i < sheets_.size(); ++i) PutLE16(&p, static_cast<uint16_t>(i + 1));
  out.WriteBiffRecord(biff8::kTABID, p);
  out.Record16(biff8::kFNGROUPCOUNT, 14);
  out.Record16(biff8::kWINDOWPROTECT, 0);
  out.Record16(biff8::kPROTECT, 0);
  out.Record16(biff8::kPASSWORD, 0);
  out.Record16(biff8::kPROT4REV, 0);
  out.Record16(biff8::kPROT4REVPASS, 0);

  p.clear();
  // Position and size in twips, options, the active and the first tab shown,
  // one selected tab, the tab bar's share of the scroll bar in thousandths.
  for (int v : {360, 30, 7454, 6240, int(biff8::kWindow1ScrollBarsAndTabs), 0, 0, 1, 600}) PutLE16(&p, uint16_t(v));
  out.WriteBiffRecord(biff8::kWINDOW1, p);
  out.Record16(biff8::kBACKUP, 0);
  out.Record16(biff8::kHIDEOBJ, 0);
  out.Record16(biff8::kDATEMODE, 0);
  out.Record16(biff8::kPRECISION, 1);
  out.Record16(biff8::kREFRESHALL, 0);
  out.Record16(biff8::kBOOKBOOL, 0);

  for (size_t fi = 0; fi < fonts_.size(); ++fi) WriteFontRecord(out, fi);
  for (const auto& [text, number] : formats_) WriteFormatRecord(out, text, number);

  out.WriteHexRecord(kStyleXF0);
  out.WriteHexRecord(kStyleXF1);
  out.WriteHexRecord(kStyleXF1);
  out.WriteHexRecord(kStyleXF2);
  out.WriteHexRecord(kStyleXF2);
  for (int i = 0; i < 10; ++i) out.WriteHexRecord(kStyleXFn);
  for (const std::string& xf : xfs_) out.WriteBiffRecord(biff8::kXF, xf);
  for (const char* style : kStyles) out.WriteHexRecord(style);

  CollectPictureColors();
  if (palette_changed_) {
    p.clear();
    PutLE16(&p, biff8::kPaletteSize);
    for (TColor c : palette_) {
      const auto rgb = static_cast<uint32_t>(c);
      p.push_back(static_cast<char>(rgb & 0xFF));
      p.push_back(static_cast<char>((rgb >> 8) & 0xFF));
      p.push_back(static_cast<char>((rgb >> 16) & 0xFF));
      p.push_back(0);
    }
    out.WriteBiffRecord(biff8::kPALETTE, p);
  }
  out.Record16(biff8::kUSESELFS, 0);

  for (auto& sr : sheets_) {
    p.clear();
    PutLE32(&p, 0);  // the sheet's BOF position, filled in once known
    p.push_back(0);
    p.push_back(0);
    PutString8(&p, sr.sheet->Name());
    sr.boundsheet_field = out.data.size() + 4;
    out.WriteBiffRecord(biff8::kBOUNDSHEET, p);
  }
  p.clear();
  PutLE16(&p, 7);
  PutLE16(&p, 7);
  out.WriteBiffRecord(biff8::kCOUNTRY, p);

  WriteExternalRefs(out, workbook);
  if (sst_count_ > 0) WriteSST(out);
  out.WriteBiffRecord(biff8::kEOF, {});
}

void TvteExcelWriter::WriteExternalRefs(Output& out, TvteXLSWorkbook& workbook) {
  const TvteExtRefs& refs = compiler_.ExtRefs();
  if (refs.SheetCount() == 0) return;
  std::string p;
  for (int b = 0; b < refs.WorkbookCount(); ++b) {
    const TvteExtWorkbook& book = refs.Workbook(b);
    p.clear();
    if (book.Name.empty()) {
      PutLE16(&p, static_cast<uint16_t>(workbook.GetSheetCount()));
      PutLE16(&p, biff8::kSupbookSelf);
    } else {
      PutLE16(&p, static_cast<uint16_t>(book.Sheets.size()));
      PutLE16(&p, static_cast<uint16_t>(book.Name.size() + 1));
      p.push_back(static_cast<char>(biff8::kTextUncompressed));
      PutLE16(&p, biff8::kEncodedFileName);
      PutWide(&p, book.Name);
      for (int ref : book.Sheets) PutString16(&p, refs.Sheet(ref).Name);
    }
    out.WriteBiffRecord(biff8::kSUPBOOK, p);
  }
  p.clear();
  PutLE16(&p, static_cast<uint16_t>(refs.SheetCount()));
  for (int i = 0; i < refs.SheetCount(); ++i) {
    const TvteExtSheet& sheet = refs.Sheet(i);
    const int index = refs.Workbook(sheet.Workbook).Name.empty() ? workbook.IndexOfSheet(sheet.Name) : sheet.Index;
    PutLE16(&p, static_cast<uint16_t>(sheet.Workbook));
    PutLE16(&p, static_cast<uint16_t>(index));
    PutLE16(&p, static_cast<uint16_t>(index));
  }
  out.WriteBiffRecord(biff8::kEXTERNSHEET, p);
}

void TvteExcelWriter::WriteSST(Output& out) {
  // Strings per EXTSST bucket: 8, or more when the index would not fit one
  // record (EXTSST has no CONTINUE).
  const int per_bucket =
      std::max(biff8::kMinStringsPerBucket, (sst_count_ + biff8::kMaxExtSstBuckets - 1) / biff8::kMaxExtSstBuckets);
  std::string extsst;
  PutLE16(&extsst, static_cast<uint16_t>(per_bucket));

  size_t record = out.data.size();  // start of the current record's header
  auto record_size = [&] { return out.data.size() - record - 4; };
  auto close_record = [&] { biff8::CloseRecordAt(out.data, record); };
  auto open_record = [&](uint16_t id) {
    record = out.data.size();
    PutLE16(&out.data, id);
    PutLE16(&out.data, 0);
  };
  open_record(biff8::kSST);
  PutLE32(&out.data, static_cast<uint32_t>(sst_count_));
  PutLE32(&out.data, static_cast<uint32_t>(sst_count_));

  const size_t limit = biff8::kMaxRecordData;
  int index = 0;
  std::u16string wide;
  size_t begin = 0;
  for (const size_t end : sst_ends_) {
    const std::string_view text(sst_text_.data() + begin, end - begin);
    begin = end;
    if (limit - record_size() <= 4) {
      close_record();
      open_record(biff8::kCONTINUE);
    }
    if (index % per_bucket == 0) {
      PutLE32(&extsst, static_cast<uint32_t>(out.Position()));
      PutLE16(&extsst, static_cast<uint16_t>(out.data.size() - record));
      PutLE16(&extsst, 0);
    }
    ++index;
    PutLE16(&out.data, static_cast<uint16_t>(text.size()));
    out.data.push_back(static_cast<char>(biff8::kTextUncompressed));
    // The code page's lower half is ASCII: such a text needs no converter.
    if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
      wide.assign(text.begin(), text.end());
    else
      wide = AnsiToWide(text);
    size_t done = 0;
    while (true) {
      const size_t room = (limit - record_size()) & ~size_t{1};
      const size_t piece = std::min(room / 2, wide.size() - done);
      for (size_t k = done; k < done + piece; ++k) PutLE16(&out.data, static_cast<uint16_t>(wide[k]));
      done += piece;
      if (done == wide.size()) break;
      // The string goes on in a CONTINUE that repeats the option byte.
      close_record();
      open_record(biff8::kCONTINUE);
      out.data.push_back(static_cast<char>(biff8::kTextUncompressed));
    }
  }
  close_record();
  out.WriteBiffRecord(biff8::kEXTSST, extsst);
}

void TvteExcelWriter::CollectPictureColors() {
  for (PictureData& p : pictures_) {
    p.line_color = GetColorIndex(p.image->BorderColor);
    p.fill_fore_color = GetColorIndex(clWhite);
    p.fill_back_color = GetColorIndex(clWhite);
  }
}

// ---- Sheets ----------------------------------------------------------------

void TvteExcelWriter::WritePictures(Output& out, const SheetRanges& sr) {
  const int count = sr.sheet->Images().Count();
  std::string p;
  for (int i = 0; i < count; ++i) {
    const size_t number = sr.first_picture + static_cast<size_t>(i);
    const PictureData& data = pictures_[number];
    const TvteImage& image = *data.image;
    p.clear();
    PutLE32(&p, static_cast<uint32_t>(count));
    PutLE16(&p, biff8::kObjPicture);
    PutLE16(&p, static_cast<uint16_t>(number + 1));
    PutLE16(&p, biff8::kObjPictureOptions);
    for (int v : data.anchor) PutLE16(&p, static_cast<uint16_t>(v));
    PutLE16(&p, 0);
    p.push_back(static_cast<char>(data.fill_back_color));
    p.push_back(static_cast<char>(data.fill_fore_color));
    p.push_back(static_cast<char>(biff8::kObjFillSolid));
    p.push_back(0);
    p.push_back(static_cast<char>(data.line_color));
    p.push_back(static_cast<char>(image.LineStyle < std::size(kObjLineStyles) ? kObjLineStyles[image.LineStyle]
                                                                               : kObjLineStyles[vtelsThin]));
    p.push_back(static_cast<char>(kObjLineWeights[std::min<size_t>(image.LineWeight, std::size(kObjLineWeights) - 1)]));
    p.push_back(0);
    PutLE16(&p, 0);
    PutLE16(&p, biff8::kImageWindowsMetafile);
    p.resize(biff8::kObjPictureSize, '\0');
    out.WriteBiffRecord(biff8::kOBJ, p);

    const std::string metafile = PictureToMetafile(image.Picture);
    p.clear();
    PutLE16(&p, biff8::kImageWindowsMetafile);
    PutLE16(&p, biff8::kImageEnvironmentWindows);
    PutLE32(&p, static_cast<uint32_t>(metafile.size()));
    p += metafile;
    out.WriteBiffRecord(biff8::kIMDATA, p);
  }
}

void TvteExcelWriter::WriteRangeCells(std::string& buffer, const TvteXLSRange& range, int row) {
  const TvteCellData& data = *range.CellData();
  const auto xf = static_cast<uint16_t>(data.XF);
  int c = range.Left();
  auto header = [&](uint16_t id, size_t size) {
    PutLE16(&buffer, id);
    PutLE16(&buffer, static_cast<uint16_t>(size));
    PutLE16(&buffer, static_cast<uint16_t>(row));
    PutLE16(&buffer, static_cast<uint16_t>(c));
    PutLE16(&buffer, xf);
  };
  if (row == range.Top()) {
    switch (range.CellKind()) {
      case vtecNumber:
        header(biff8::kNUMBER, 14);
        PutLEDouble(&buffer, range.Value().AsDouble());
        ++c;
        break;
      case vtecText:
        if (data.SST >= 0) {
          header(biff8::kLABELSST, 10);
          PutLE32(&buffer, static_cast<uint32_t>(data.SST));
          ++c;
        }
        break;
      case vtecFormula: {
        const std::string& tokens = formulas_[static_cast<size_t>(data.Formula)];
        header(biff8::kFORMULA, 22 + tokens.size());
        PutLE64(&buffer, 0);       // result 0.0
        PutLE16(&buffer, biff8::kFormulaAlwaysCalc);
        PutLE32(&buffer, 0);
        PutLE16(&buffer, static_cast<uint16_t>(tokens.size()));
        buffer += tokens;
        ++c;
        break;
      }
    }
  }
  if (c < range.Right()) {
    const int columns = range.Right() - c + 1;
    PutLE16(&buffer, biff8::kMULBLANK);
    PutLE16(&buffer, static_cast<uint16_t>(6 + 2 * columns));
    PutLE16(&buffer, static_cast<uint16_t>(row));
    PutLE16(&buffer, static_cast<uint16_t>(c));
    for (int k = 0; k < columns; ++k) PutLE16(&buffer, xf);
    PutLE16(&buffer, static_cast<uint16_t>(range.Right()));
  } else if (c == range.Right()) {
    header(biff8::kBLANK, 6);
  }
}

// The rows a sheet uses and the blocks of kRowsPerBlock rows they make.
TvteExcelWriter::SheetRows TvteExcelWriter::RowsOf(const TvteXLSWorksheet& sheet) {
  const TvteRect& dim = sheet.Dimensions();
  SheetRows rows;
  rows.used = dim.Left >= 0 && dim.Top >= 0 && dim.Right >= 0 && dim.Bottom >= 0;
  rows.first = rows.used ? dim.Top : 0;
  rows.last = rows.used ? dim.Bottom : -1;
  rows.blocks = rows.used ? (rows.last - rows.first + 1 + biff8::kRowsPerBlock - 1) / biff8::kRowsPerBlock : 0;
  return rows;
}

void TvteExcelWriter::WriteSheet(Output& out, const SheetRanges& sr, bool first_sheet) {
  const TvteXLSWorksheet& sheet = *sr.sheet;
  const SheetRows rows = RowsOf(sheet);
  const size_t index_positions = WriteSheetStart(out, rows);
  WriteSheetSettings(out, sheet);
  WritePageSetup(out, sheet.PageSetup());
  WriteColumns(out, sheet, rows);
  WriteRowBlocks(out, sheet, rows, index_positions);
  WritePictures(out, sr);
  WriteSheetView(out, first_sheet);
  WriteMergedCells(out, sheet);
  out.WriteBiffRecord(biff8::kEOF, {});
}

// BOF, and INDEX with room for the DBCELL positions that the row blocks
// fill in; returns where they go.
size_t TvteExcelWriter::WriteSheetStart(Output& out, const SheetRows& rows) {
  std::string p;
  PutLE16(&p, biff8::kBiffVersion8);
  PutLE16(&p, biff8::kSubstreamWorksheet);
  PutLE16(&p, biff8::kBofBuild);
  PutLE16(&p, biff8::kBofYear);
  PutLE64(&p, 0);  // file history, lowest version: none
  out.WriteBiffRecord(biff8::kBOF, p);

  p.clear();
  PutLE32(&p, 0);
  PutLE32(&p, rows.used ? static_cast<uint32_t>(rows.first) : 0);
  PutLE32(&p, rows.used ? static_cast<uint32_t>(rows.last + 1) : 0);
  PutLE32(&p, 0);
  p.append(static_cast<size_t>(rows.blocks) * 4, '\0');
  const size_t index_positions = out.data.size() + 4 + 16;
  out.WriteBiffRecord(biff8::kINDEX, p);
  return index_positions;
}

// Calculation, printing and outline settings, the default row height and
// the page breaks.
void TvteExcelWriter::WriteSheetSettings(Output& out, const TvteXLSWorksheet& sheet) {
  const TvteXLSPageSetup& ps = sheet.PageSetup();
  out.Record16(biff8::kCALCMODE, 1);
  out.Record16(biff8::kCALCCOUNT, 100);
  out.Record16(biff8::kREFMODE, 1);
  out.Record16(biff8::kITERATION, 0);
  out.WriteHexRecord(kDelta);
  out.Record16(biff8::kSAVERECALC, 1);
  out.Record16(biff8::kPRINTHEADERS, ps.PrintHeaders ? 1 : 0);
  out.Record16(biff8::kPRINTGRIDLINES, ps.PrintGridlines ? 1 : 0);
  out.Record16(biff8::kGRIDSET, 1);
  out.WriteBiffRecord(biff8::kGUTS, std::string(8, '\0'));
  std::string p;
  PutLE16(&p, 0);
  PutLE16(&p, biff8::kDefaultRowHeight);
  out.WriteBiffRecord(biff8::kDEFAULTROWHEIGHT, p);

  if (sheet.GetPageBreakCount() > 0) {
    p.clear();
    PutLE16(&p, static_cast<uint16_t>(sheet.GetPageBreakCount()));
    for (int i = 0; i < sheet.GetPageBreakCount(); ++i) {
      PutLE16(&p, static_cast<uint16_t>(sheet.GetPageBreak(i)));
      PutLE16(&p, 0);
      PutLE16(&p, 255);
    }
    out.WriteBiffRecord(biff8::kHORIZONTALPAGEBREAKS, p);
  }
  out.Record16(biff8::kWSBOOL, biff8::kWsBoolDefault);
}

// Header, footer, centring, margins and SETUP.
void TvteExcelWriter::WritePageSetup(Output& out, const TvteXLSPageSetup& ps) {
  std::string p;
  auto header_footer = [&](uint16_t id, const AnsiString& left, const AnsiString& center, const AnsiString& right) {
    AnsiString text;
    if (!left.empty()) text += "&L" + left;
    if (!center.empty()) text += "&C" + center;
    if (!right.empty()) text += "&R" + right;
    p.clear();
    if (!text.empty()) PutString16(&p, text);
    out.WriteBiffRecord(id, p);
  };
  header_footer(biff8::kHEADER, ps.LeftHeader, ps.CenterHeader, ps.RightHeader);
  header_footer(biff8::kFOOTER, ps.LeftFooter, ps.CenterFooter, ps.RightFooter);
  out.Record16(biff8::kHCENTER, ps.CenterHorizontally ? 1 : 0);
  out.Record16(biff8::kVCENTER, ps.CenterVertically ? 1 : 0);
  out.RecordDouble(biff8::kLEFTMARGIN, ps.LeftMargin);
  out.RecordDouble(biff8::kRIGHTMARGIN, ps.RightMargin);
  out.RecordDouble(biff8::kTOPMARGIN, ps.TopMargin);
  out.RecordDouble(biff8::kBOTTOMMARGIN, ps.BottomMargin);

  p.clear();
  uint16_t options = 0;
  if (ps.Order == 1) options |= biff8::kSetupOverThenDown;
  if (ps.Orientation == 0) options |= biff8::kSetupPortrait;
  if (ps.BlackAndWhite) options |= biff8::kSetupBlackAndWhite;
  if (ps.Draft) options |= biff8::kSetupDraft;
  if (ps.PrintNotes) options |= biff8::kSetupNotes;
  if (ps.FirstPageNumber != 1) options |= biff8::kSetupUseStartPage;
  for (int v : {static_cast<int>(ps.PaperSize), ps.Zoom, ps.FirstPageNumber, ps.FitToPagesWide, ps.FitToPagesTall})
    PutLE16(&p, static_cast<uint16_t>(v));
  PutLE16(&p, options);
  PutLE16(&p, 0);
  PutLE16(&p, 0);
  PutLEDouble(&p, ps.HeaderMargin);
  PutLEDouble(&p, ps.FooterMargin);
  PutLE16(&p, static_cast<uint16_t>(ps.Copies));
  out.WriteBiffRecord(biff8::kSETUP, p);
}

// The default and the set column widths, then DIMENSIONS.
void TvteExcelWriter::WriteColumns(Output& out, const TvteXLSWorksheet& sheet, const SheetRows& rows) {
  out.Record16(biff8::kDEFCOLWIDTH, 8);
  std::string p;
  for (int i = 0; i < sheet.GetColumnCount(); ++i) {
    const TvteXLSColumn& c = sheet.GetColumnItem(i);
    p.clear();
    PutLE16(&p, static_cast<uint16_t>(c.Column));
    PutLE16(&p, static_cast<uint16_t>(c.Column));
    PutLE16(&p, static_cast<uint16_t>(c.Width));
    PutLE16(&p, 0);
    PutLE16(&p, 0);
    p.push_back(0);
    out.WriteBiffRecord(biff8::kCOLINFO, p);
  }

  const TvteRect& dim = sheet.Dimensions();
  p.clear();
  PutLE32(&p, rows.used ? static_cast<uint32_t>(rows.first) : 0);
  PutLE32(&p, rows.used ? static_cast<uint32_t>(rows.last + 1) : 0);
  PutLE16(&p, rows.used ? static_cast<uint16_t>(dim.Left) : 0);
  PutLE16(&p, rows.used ? static_cast<uint16_t>(dim.Right + 1) : 0);
  PutLE16(&p, 0);
  out.WriteBiffRecord(biff8::kDIMENSIONS, p);
}

// Row blocks: each block's ROW records, its cells and a DBCELL, whose
// position goes into INDEX. The ranges covering the current row are kept in
// `active`, ordered by their left column.
void TvteExcelWriter::WriteRowBlocks(Output& out, const TvteXLSWorksheet& sheet, const SheetRows& rows,
                                     size_t index_positions) {
  std::vector<const TvteXLSRange*> active;
  int next_range = 0;
  std::string p;
  std::string cells;
  std::vector<int64_t> row_cell_start;  // per row of the block: offset in `cells`, -1 without cells
  for (int block = 0; block < rows.blocks; ++block) {
    const int block_first = rows.first + block * biff8::kRowsPerBlock;
    const int block_last = std::min(rows.last, block_first + biff8::kRowsPerBlock - 1);
    const int64_t first_row_record = out.Position();
    cells.clear();
    row_cell_start.clear();
    for (int r = block_first; r <= block_last; ++r) {
      active.erase(std::remove_if(active.begin(), active.end(), [r](const TvteXLSRange* x) { return x->Bottom() < r; }),
                   active.end());
      while (next_range < sheet.GetRangeCount() && sheet.GetRangeItem(next_range)->Top() <= r) {
        const TvteXLSRange* x = sheet.GetRangeItem(next_range++);
        if (x->Bottom() < r) continue;
        active.insert(std::upper_bound(active.begin(), active.end(), x,
                                       [](const TvteXLSRange* a, const TvteXLSRange* b) { return a->Left() < b->Left(); }),
                      x);
      }
      const TvteXLSRow* entry = sheet.FindRow(r);
      p.clear();
      PutLE16(&p, static_cast<uint16_t>(r));
      PutLE16(&p, active.empty() ? 0 : static_cast<uint16_t>(active.front()->Left()));
      PutLE16(&p, active.empty() ? 0 : static_cast<uint16_t>(active.back()->Right() + 1));
      PutLE16(&p, entry ? static_cast<uint16_t>(entry->Height) : biff8::kDefaultRowHeight);
      PutLE16(&p, 0);
      PutLE16(&p, 0);
      PutLE16(&p, entry ? biff8::kRowOwnHeight : 0);
      PutLE16(&p, 0);
      out.WriteBiffRecord(biff8::kROW, p);
      const size_t before = cells.size();
      for (const TvteXLSRange* x : active) WriteRangeCells(cells, *x, r);
      row_cell_start.push_back(cells.size() > before ? static_cast<int64_t>(before) : -1);
    }
    const int64_t cells_start = out.Position();
    out.data += cells;
    const int64_t dbcell = out.Position();
    biff8::PatchStreamOffset(out.data, index_positions + static_cast<size_t>(block) * 4, static_cast<uint32_t>(dbcell),
                             out.base);
    p.clear();
    PutLE32(&p, static_cast<uint32_t>(dbcell - first_row_record));
    // Each offset counts from the previous row's first cell (the first from
    // the end of the first ROW record); a row without cells has 0.
    int64_t last = first_row_record + 20;
    for (int64_t start : row_cell_start) {
      if (start < 0) {
        PutLE16(&p, 0);
        continue;
      }
      PutLE16(&p, static_cast<uint16_t>(cells_start + start - last));
      last = cells_start + start;
    }
    out.WriteBiffRecord(biff8::kDBCELL, p);
  }
}

// WINDOW2 (the first sheet selected) and SELECTION.
void TvteExcelWriter::WriteSheetView(Output& out, bool first_sheet) {
  std::string p;
  PutLE16(&p, static_cast<uint16_t>(biff8::kWindow2Shown | (first_sheet ? biff8::kWindow2Selected : 0)));
  PutLE16(&p, 0);
  PutLE16(&p, 0);
  PutLE32(&p, 64);
  PutLE16(&p, 0);
  PutLE16(&p, 0);
  PutLE32(&p, 0);
  out.WriteBiffRecord(biff8::kWINDOW2, p);

  p.clear();
  p.push_back(static_cast<char>(biff8::kPaneTopLeft));
  for (int v : {0, 0, 0, 1, 0, 0}) PutLE16(&p, static_cast<uint16_t>(v));
  p.push_back(0);
  p.push_back(0);
  out.WriteBiffRecord(biff8::kSELECTION, p);
}

// The ranges of more than one cell, kMergedAreasPerRecord to a MERGEDCELLS.
void TvteExcelWriter::WriteMergedCells(Output& out, const TvteXLSWorksheet& sheet) {
  std::vector<const TvteXLSRange*> merged;
  for (int i = 0; i < sheet.GetRangeCount(); ++i) {
    const TvteXLSRange* x = sheet.GetRangeItem(i);
    if (x->Left() != x->Right() || x->Top() != x->Bottom()) merged.push_back(x);
  }
  std::string p;
  for (size_t from = 0; from < merged.size(); from += biff8::kMergedAreasPerRecord) {
    const size_t to = std::min(merged.size(), from + biff8::kMergedAreasPerRecord);
    p.clear();
    PutLE16(&p, static_cast<uint16_t>(to - from));
    for (size_t i = from; i < to; ++i) {
      PutLE16(&p, static_cast<uint16_t>(merged[i]->Top()));
      PutLE16(&p, static_cast<uint16_t>(merged[i]->Bottom()));
      PutLE16(&p, static_cast<uint16_t>(merged[i]->Left()));
      PutLE16(&p, static_cast<uint16_t>(merged[i]->Right()));
    }
    out.WriteBiffRecord(biff8::kMERGEDCELLS, p);
  }
}
