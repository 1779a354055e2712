// The BIFF8 writer, checked by walking the records it writes.
#include <gtest/gtest.h>

#include <cerrno>

#include <array>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/testsupport.h"
#include "tests/xls/biff_records.h"
#include "toolkit/core/sysutils.h"
#include "xls/BIFF8_Types.h"
#include "xls/vteWriters.h"

namespace writer_test {

using xlstest::Only;
using xlstest::Record;
using xlstest::Records;
using xlstest::SheetRecords;
using xlstest::Stream;

namespace {

// The SST strings, joined across CONTINUE records (each piece of a string
// that goes on in a CONTINUE starts with its option byte).
std::vector<std::string> SstStrings(const std::vector<Record>& all) {
  std::vector<std::string> pieces;
  bool in_sst = false;
  for (const auto& r : all) {
    if (r.id == 0x00FC) in_sst = true;
    else if (r.id != 0x003C) in_sst = false;
    if (in_sst) pieces.push_back(r.data);
  }
  std::vector<std::string> out;
  if (pieces.empty()) return out;
  size_t piece = 0, at = 8;
  const uint32_t count = GetLE32(pieces[0].data() + 4);
  for (uint32_t i = 0; i < count; ++i) {
    if (at >= pieces[piece].size()) {
      ++piece;
      at = 0;
    }
    const std::string& p0 = pieces[piece];
    uint16_t chars = GetLE16(p0.data() + at);
    EXPECT_EQ(p0[at + 2], '\x01');
    at += 3;
    std::string text;
    while (chars > 0) {
      if (at >= pieces[piece].size()) {
        ++piece;
        EXPECT_EQ(pieces[piece][0], '\x01') << "CONTINUE inside a string starts with the option byte";
        at = 1;
      }
      const std::string& p = pieces[piece];
      text.push_back(static_cast<char>(GetLE16(p.data() + at)));  // ASCII test texts
      at += 2;
      --chars;
    }
    out.push_back(text);
  }
  return out;
}

TEST(ExcelWriter, EmptySheetGivesTheGlobalsAndAnEmptySubstream) {
  TvteXLSWorkbook book;
  book.AddSheet();
  const std::string stream = Stream(book);
  const auto all = Records(stream);
  std::vector<uint16_t> globals;
  for (const auto& r : all) {
    if (globals.empty() || globals.back() != r.id) globals.push_back(r.id);
    if (r.id == 0x000A) break;
  }
  const std::vector<uint16_t> expected = {0x0809, 0x00E1, 0x00C1, 0x00E2, 0x005C, 0x0042, 0x0161, 0x01C0, 0x013D,
                                          0x009C, 0x0019, 0x0012, 0x0013, 0x01AF, 0x01BC, 0x003D, 0x0040, 0x008D,
                                          0x0022, 0x000E, 0x01B7, 0x00DA, 0x0031, 0x041E, 0x00E0, 0x0293, 0x0160,
                                          0x0085, 0x008C, 0x000A};
  EXPECT_EQ(globals, expected);
  EXPECT_EQ(Only(all, 0x0031).size(), 4u);
  EXPECT_EQ(Only(all, 0x041E).size(), 8u);
  EXPECT_EQ(Only(all, 0x00E0).size(), 21u);
  EXPECT_EQ(Only(all, 0x005C)[0].data.size(), 112u);

  const auto sheet = SheetRecords(all, 0);
  ASSERT_FALSE(sheet.empty());
  EXPECT_EQ(Only(all, 0x0085)[0].u32(0), sheet.front().pos) << "BOUNDSHEET points at the sheet's BOF";
  EXPECT_TRUE(Only(sheet, 0x0208).empty());
  EXPECT_TRUE(Only(sheet, 0x00D7).empty());
  EXPECT_EQ(Only(sheet, 0x0200)[0].data, std::string(14, '\0'));
  EXPECT_EQ(Only(sheet, 0x020B)[0].data.size(), 16u);
  EXPECT_EQ(sheet.back().id, 0x000A);
}

#ifndef NDEBUG
// The writer's writes into bytes already written are checked where they
// happen: a record longer than the format allows, a record closed before
// its header, an offset patched outside the bytes or pointing past them.
TEST(ExcelWriter, WritesIntoTheStreamOutsideItsBytesAreCaught) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::string record = std::string("\x3C\x00\x00\x00", 4) + std::string(size_t(biff8::kMaxRecordData), 'x');
  biff8::CloseRecordAt(record, 0);
  EXPECT_EQ(GetLE16(record.data() + 2), uint16_t(biff8::kMaxRecordData)) << "a full record closes";
  record += 'y';
  EXPECT_DEATH(biff8::CloseRecordAt(record, 0), "a record longer than a record may be");
  std::string bytes(8, '\0');
  EXPECT_DEATH(biff8::CloseRecordAt(bytes, 6), "a record closed before its header was written");
  biff8::PatchStreamOffset(bytes, 4, 108, 100);
  EXPECT_EQ(GetLE32(bytes.data() + 4), 108u) << "an offset to the end is patched";
  EXPECT_DEATH(biff8::PatchStreamOffset(bytes, 5, 100, 100), "a stream offset patched outside the bytes written");
  EXPECT_DEATH(biff8::PatchStreamOffset(bytes, 0, 109, 100), "a stream offset beyond the bytes written");
  EXPECT_DEATH(biff8::PatchStreamOffset(bytes, 0, 99, 100), "a stream offset beyond the bytes written");
}
#endif

TEST(ExcelWriter, SharedStringsContinueAcrossTheRecordLimit) {
  TvteXLSWorkbook book;
  TvteXLSWorksheet* sheet = book.AddSheet();
  std::vector<std::string> texts;
  for (int i = 0; i < 2000; ++i) {
    texts.push_back(Format("text%.6d", {i}));
    sheet->GetRange(i % 10, i / 10, i % 10, i / 10)->SetValue(Variant(texts.back()));
  }
  texts.push_back(std::string(5000, 'w'));
  sheet->GetRange(0, 300, 0, 300)->SetValue(Variant(texts.back()));
  const std::string stream = Stream(book);
  const auto all = Records(stream);

  for (const auto& r : all) EXPECT_LE(r.data.size(), 8224u);
  size_t sst = 0;
  while (all[sst].id != 0x00FC) ++sst;
  EXPECT_EQ(all[sst + 1].id, 0x003C);
  EXPECT_EQ(all[sst].u32(0), 2001u);
  EXPECT_EQ(all[sst].u32(4), 2001u);
  EXPECT_EQ(SstStrings(all), texts);
  // A piece ends only when at most 4 bytes of the 8224 are left (a string's
  // header is never split, and nothing is wasted beyond that).
  for (size_t k = sst; all[k + 1].id == 0x003C; ++k) EXPECT_GE(all[k].data.size(), 8220u) << "piece " << k - sst;

  const auto ext = Only(all, 0x00FF);
  ASSERT_EQ(ext.size(), 1u);
  EXPECT_EQ(ext[0].u16(0), 8);
  ASSERT_EQ(ext[0].data.size(), 2u + 251 * 8);
  for (int k = 0; k < 251; ++k) {
    const uint32_t pos = ext[0].u32(2 + k * 8);
    const uint16_t offset = ext[0].u16(6 + k * 8);
    const std::string& expected = texts[static_cast<size_t>(k) * 8];
    EXPECT_EQ(GetLE16(stream.data() + pos), expected.size()) << "bucket " << k;
    EXPECT_EQ(stream[pos + 2], '\x01');
    // The record holding the string starts `offset` bytes before it.
    const uint16_t id = GetLE16(stream.data() + pos - offset);
    EXPECT_TRUE(id == 0x00FC || id == 0x003C) << "bucket " << k;
  }
}

TEST(ExcelWriter, ManyStringsGrowTheBucketsSoTheIndexFitsOneRecord) {
  TvteXLSWorkbook book;
  TvteXLSWorksheet* sheet = book.AddSheet();
  for (int i = 0; i < 9000; ++i) sheet->GetRange(0, i, 0, i)->SetValue(Variant("s"));
  const auto ext = Only(Records(Stream(book)), 0x00FF);
  ASSERT_EQ(ext.size(), 1u);
  EXPECT_EQ(ext[0].u16(0), 9);
  EXPECT_EQ(ext[0].data.size(), 2u + 1000 * 8);
}

// Checks INDEX and DBCELL of a sheet against the records around them; returns the number of blocks.
size_t CheckRowBlocks(const std::string& stream, const std::vector<Record>& sheet) {
  const Record index = Only(sheet, 0x020B).at(0);
  const auto dbcells = Only(sheet, 0x00D7);
  EXPECT_EQ(index.data.size(), 16 + 4 * dbcells.size());
  std::map<size_t, const Record*> at;
  for (const auto& r : sheet) at[r.pos] = &r;
  for (size_t b = 0; b < dbcells.size(); ++b) {
    const Record& db = dbcells[b];
    EXPECT_EQ(index.u32(16 + 4 * b), db.pos) << "INDEX entry " << b;
    const size_t first_row_pos = db.pos - db.u32(0);
    EXPECT_TRUE(at.count(first_row_pos) && at[first_row_pos]->id == 0x0208) << "block " << b;
    if (!at.count(first_row_pos)) continue;
    // Walk the ROW records of the block, then follow the offsets to each row's first cell.
    std::vector<uint16_t> rows;
    size_t p = first_row_pos;
    while (at.count(p) && at[p]->id == 0x0208) {
      rows.push_back(at[p]->u16(0));
      p += 4 + at[p]->data.size();
    }
    EXPECT_EQ(db.data.size(), 4 + 2 * rows.size());
    size_t cursor = first_row_pos + 20;
    for (size_t k = 0; k < rows.size(); ++k) {
      const uint16_t offset = db.u16(4 + 2 * k);
      // 0 marks a row without cells (for the first row only when no cell record is there).
      if (offset == 0 && (k > 0 || !at.count(cursor) || at[cursor]->id == 0x0208 || at[cursor]->id == 0x00D7))
        continue;
      cursor += offset;
      EXPECT_TRUE(at.count(cursor)) << "row " << rows[k];
      if (at.count(cursor)) {
        EXPECT_EQ(GetLE16(stream.data() + cursor + 4), rows[k]);
      }
    }
  }
  return dbcells.size();
}

TEST(ExcelWriter, RowBlocksOf32WithDbcellAndIndex) {
  struct Case {
    const char* name;
    int rows;
    size_t blocks;
  };
  for (const Case& c : {Case{"one row", 1, 1}, Case{"32 rows", 32, 1}, Case{"33 rows", 33, 2}, Case{"100 rows", 100, 4}}) {
    SCOPED_TRACE(c.name);
    TvteXLSWorkbook book;
    TvteXLSWorksheet* sheet = book.AddSheet();
    for (int r = 0; r < c.rows; ++r) {
      sheet->GetRange(0, r + 2, 0, r + 2)->SetValue(Variant(r));
      sheet->GetRange(2, r + 2, 3, r + 2)->SetValue(Variant("t"));
    }
    const std::string stream = Stream(book);
    const auto records = SheetRecords(Records(stream), 0);
    EXPECT_EQ(CheckRowBlocks(stream, records), c.blocks);
    const Record index = Only(records, 0x020B)[0];
    EXPECT_EQ(index.u32(4), 2u);
    EXPECT_EQ(index.u32(8), static_cast<uint32_t>(c.rows + 2));
  }
}

TEST(ExcelWriter, RowsWithoutCellsKeepTheOffsetsRight) {
  TvteXLSWorkbook book;
  TvteXLSWorksheet* sheet = book.AddSheet();
  sheet->GetRange(0, 0, 0, 0)->SetValue(Variant(1));
  sheet->GetRange(0, 10, 0, 12);                     // widens the used area, then dropped
  sheet->GetRange(0, 12, 0, 12)->SetValue(Variant(2));
  sheet->GetRange(1, 40, 1, 40)->SetValue(Variant(3));
  const std::string stream = Stream(book);
  const auto records = SheetRecords(Records(stream), 0);
  EXPECT_EQ(CheckRowBlocks(stream, records), 2u);
  EXPECT_EQ(Only(records, 0x0208).size(), 41u);
  const auto db = Only(records, 0x00D7)[0];
  EXPECT_EQ(db.u16(4 + 2 * 1), 0) << "row 1 has no cells";
}

TEST(ExcelWriter, CellRecordsOfRanges) {
  TvteXLSWorkbook book;
  TvteXLSWorksheet* sheet = book.AddSheet();
  sheet->GetRange(0, 0, 0, 2)->SetValue(Variant("N"));
  sheet->GetRange(4, 0, 9, 0)->SetValue(Variant(2.5));
  sheet->GetRange(4, 1, 5, 1)->SetValue(Variant(""));
  sheet->GetRange(4, 2, 4, 2)->SetFormula("1+2*3");
  const auto records = SheetRecords(Records(Stream(book)), 0);

  const auto rows = Only(records, 0x0208);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].u16(2), 0);
  EXPECT_EQ(rows[0].u16(4), 10);
  EXPECT_EQ(rows[1].u16(4), 6);
  EXPECT_EQ(rows[2].u16(4), 5);
  EXPECT_EQ(rows[1].u16(6), 255);

  const auto label = Only(records, 0x00FD);
  ASSERT_EQ(label.size(), 1u);
  EXPECT_EQ(label[0].u16(0), 0);
  EXPECT_EQ(label[0].u32(6), 0u);
  const auto blanks = Only(records, 0x0201);
  ASSERT_EQ(blanks.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(blanks[i].u16(0), i + 1);
    EXPECT_EQ(blanks[i].u16(2), 0);
    EXPECT_EQ(blanks[i].u16(4), label[0].u16(4)) << "blanks carry the range's XF";
  }
  const auto number = Only(records, 0x0203);
  ASSERT_EQ(number.size(), 1u);
  EXPECT_EQ(number[0].u16(2), 4);
  EXPECT_EQ(GetLEDouble(number[0].data.data() + 6), 2.5);
  const auto mulblank = Only(records, 0x00BE);
  ASSERT_EQ(mulblank.size(), 2u);
  EXPECT_EQ(mulblank[0].u16(2), 5);
  EXPECT_EQ(mulblank[0].data.size(), 6u + 2 * 5);
  EXPECT_EQ(mulblank[0].u16(mulblank[0].data.size() - 2), 9);
  EXPECT_EQ(mulblank[1].u16(0), 1) << "an empty text writes only blanks, from the left column";
  EXPECT_EQ(mulblank[1].u16(2), 4);
  const auto formula = Only(records, 0x0006);
  ASSERT_EQ(formula.size(), 1u);
  EXPECT_EQ(formula[0].u16(14), 0x0001);
  EXPECT_EQ(formula[0].u16(20), 11);
  EXPECT_EQ(formula[0].data.size(), 22u + 11);

  const auto merged = Only(records, 0x00E5);
  ASSERT_EQ(merged.size(), 1u);
  EXPECT_EQ(merged[0].u16(0), 3);
  const std::vector<uint16_t> first = {merged[0].u16(2), merged[0].u16(4), merged[0].u16(6), merged[0].u16(8)};
  EXPECT_EQ(first, (std::vector<uint16_t>{0, 2, 0, 0}));
  const auto db = Only(records, 0x00D7);
  ASSERT_EQ(db.size(), 1u);
  EXPECT_EQ(db[0].data.size(), 4u + 3 * 2);
}

TEST(ExcelWriter, MergedAreasGoInRecordsOf1024) {
  TvteXLSWorkbook book;
  TvteXLSWorksheet* sheet = book.AddSheet();
  for (int i = 0; i < 1500; ++i) sheet->GetRange(0, i * 2, 1, i * 2 + 1);
  const auto merged = Only(SheetRecords(Records(Stream(book)), 0), 0x00E5);
  ASSERT_EQ(merged.size(), 2u);
  EXPECT_EQ(merged[0].u16(0), 1024);
  EXPECT_EQ(merged[0].data.size(), 8194u);
  EXPECT_EQ(merged[1].u16(0), 476);
  EXPECT_EQ(merged[1].u16(2), 2048) << "the second record goes on with area 1025";
}

TEST(ExcelWriter, CellFormatsFontsAndNumberFormatsAreShared) {
  TvteXLSWorkbook book;
  TvteXLSWorksheet* sheet = book.AddSheet();
  TvteXLSRange* plain1 = sheet->GetRange(0, 0, 0, 0);
  TvteXLSRange* plain2 = sheet->GetRange(1, 0, 1, 0);
  TvteXLSRange* merged = sheet->GetRange(0, 1, 2, 1);
  merged->SetHorizontalAlignment(vtexlHAlignCenter);
  merged->SetVerticalAlignment(vtexlVAlignCenter);
  merged->Borders()[vtexlEdgeTop].SetLineStyle(vtelsThin);
  TvteXLSRange* bold = sheet->GetRange(0, 2, 0, 2);
  bold->Font().Style.Include(TvteFontStyle::Bold);
  TvteXLSRange* fmt1 = sheet->GetRange(0, 3, 0, 3);
  fmt1->SetFormat("0.000");
  TvteXLSRange* fmt2 = sheet->GetRange(1, 3, 1, 3);
  fmt2->SetFormat("0.0");
  TvteXLSRange* fmt3 = sheet->GetRange(2, 3, 2, 3);
  fmt3->SetFormat("0.000");
  for (auto* r : {plain1, plain2, merged, bold, fmt1, fmt2, fmt3}) r->SetValue(Variant(1));
  const auto all = Records(Stream(book));
  const auto sheet_records = SheetRecords(all, 0);
  const auto numbers = Only(sheet_records, 0x0203);
  ASSERT_EQ(numbers.size(), 7u);
  auto xf_of = [&](int col, int row) {
    for (const auto& n : numbers)
      if (n.u16(0) == row && n.u16(2) == col) return n.u16(4);
    return uint16_t{0xFFFF};
  };
  const auto xfs = Only(all, 0x00E0);
  auto xf = [&](uint16_t index) { return xfs.at(index).data; };
  EXPECT_EQ(xf_of(0, 0), xf_of(1, 0));
  EXPECT_EQ(xf_of(0, 3), xf_of(2, 3));
  EXPECT_NE(xf_of(0, 3), xf_of(1, 3));
  EXPECT_EQ(GetLE16(xf(xf_of(0, 3)).data() + 2), 164);
  EXPECT_EQ(GetLE16(xf(xf_of(1, 3)).data() + 2), 165);
  const std::string m = xf(xf_of(0, 1));
  EXPECT_EQ(static_cast<uint8_t>(m[6]), 0x12);
  EXPECT_EQ(GetLE16(m.data() + 8), 0x7C20);
  EXPECT_EQ(GetLE16(m.data() + 10), 0x0100);
  EXPECT_EQ(GetLE32(m.data() + 14) & 0x7F, 8u) << "the top border's colour is black";
  EXPECT_EQ(GetLE16(xf(xf_of(0, 0)).data() + 8), 0x7C00);

  const auto formats = Only(all, 0x041E);
  ASSERT_EQ(formats.size(), 10u);
  EXPECT_EQ(formats[8].u16(0), 164);
  EXPECT_EQ(formats[9].u16(0), 165);
}

TEST(ExcelWriter, FontsAreSharedAndNumberedWithoutFour) {
  // A range font starts black; the four default fonts are in the window text
  // colour, so only a range font set to that colour shares font 1.
  struct Case {
    const char* name;
    void (*set)(TvteXLSFont&);
    int index;
  };
  const Case cases[] = {
      {"window text equals the default font", [](TvteXLSFont& f) { f.Color = clWindowText; }, 1},
      {"an untouched range font is the first added", [](TvteXLSFont&) {}, 5},
      {"bold", [](TvteXLSFont& f) { f.Style.Include(TvteFontStyle::Bold); }, 6},
      {"black again shares font 5", [](TvteXLSFont&) {}, 5},
      {"italic underlined struck out",
       [](TvteXLSFont& f) {
         f.Style.Include(TvteFontStyle::Italic);
         f.Style.Include(TvteFontStyle::Underline);
         f.Style.Include(TvteFontStyle::StrikeOut);
       },
       7},
      {"another name", [](TvteXLSFont& f) { f.Name = "Courier New"; }, 8},
      {"another size", [](TvteXLSFont& f) { f.Size = 12; }, 9},
      {"red", [](TvteXLSFont& f) { f.Color = clRed; }, 10},
  };
  TvteXLSWorkbook book;
  TvteXLSWorksheet* sheet = book.AddSheet();
  for (int i = 0; i < static_cast<int>(std::size(cases)); ++i) {
    TvteXLSRange* r = sheet->GetRange(0, i, 0, i);
    r->SetValue(Variant(i));
    cases[i].set(r->Font());
  }
  const auto all = Records(Stream(book));
  const auto xfs = Only(all, 0x00E0);
  const auto numbers = Only(SheetRecords(all, 0), 0x0203);
  ASSERT_EQ(numbers.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    EXPECT_EQ(GetLE16(xfs.at(numbers[i].u16(4)).data.data()), cases[i].index);
  }

  // FONT records: height, options (italic 2, struck out 8), colour index,
  // weight (1000 bold, 100 regular), underline byte, name.
  const auto fonts = Only(all, 0x0031);
  ASSERT_EQ(fonts.size(), 10u);
  auto font = [&](int index) { return fonts.at(static_cast<size_t>(index < 4 ? index : index - 1)); };
  struct FontCase {
    int index;
    uint16_t height, options, colour, weight;
    uint8_t underline;
    const char* name;
  };
  const FontCase font_cases[] = {
      {0, 200, 0, 8, 100, 0, "Arial"},  {1, 200, 0, 8, 100, 0, "Arial"},  {5, 200, 0, 8, 100, 0, "Arial"},
      {6, 200, 0, 8, 1000, 0, "Arial"}, {7, 200, 0x000A, 8, 100, 1, "Arial"}, {8, 200, 0, 8, 100, 0, "Courier New"},
      {9, 240, 0, 8, 100, 0, "Arial"},  {10, 200, 0, 10, 100, 0, "Arial"},
  };
  for (const auto& c : font_cases) {
    SCOPED_TRACE(c.index);
    const Record f = font(c.index);
    EXPECT_EQ(f.u16(0), c.height);
    EXPECT_EQ(f.u16(2), c.options);
    EXPECT_EQ(f.u16(4), c.colour);
    EXPECT_EQ(f.u16(6), c.weight);
    EXPECT_EQ(static_cast<uint8_t>(f.data[10]), c.underline);
    EXPECT_EQ(static_cast<uint8_t>(f.data[14]), std::strlen(c.name));
    EXPECT_EQ(f.data[15], '\x01');
    EXPECT_EQ(f.data.size(), 16 + 2 * std::strlen(c.name));
    EXPECT_EQ(f.data[16], c.name[0]);
  }
}

TEST(ExcelWriter, PaletteIsWrittenOnlyWhenAColourIsReplaced) {
  struct Case {
    const char* name;
    TColor color;
    bool palette;
    int index;
  };
  const Case cases[] = {
      {"red is in the default palette", clRed, false, 10},
      {"a light blue of the default palette", 0xFF9999, false, 24},
      {"window text is black", clWindowText, false, 8},
      {"window (system colour 5) is white", clWindow, false, 9},
      {"an odd colour replaces entry 24", 0x123456, true, 24},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TvteXLSWorkbook book;
    TvteXLSRange* r = book.AddSheet()->GetRange(0, 0, 0, 0);
    r->Borders()[vtexlEdgeLeft].SetLineStyle(vtelsThin);
    r->Borders()[vtexlEdgeLeft].SetColor(c.color);
    const auto all = Records(Stream(book));
    const auto palette = Only(all, 0x0092);
    EXPECT_EQ(palette.size(), c.palette ? 1u : 0u);
    const auto xfs = Only(all, 0x00E0);
    EXPECT_EQ(GetLE16(xfs.back().data.data() + 12) & 0x7F, c.index);
    if (c.palette && !palette.empty()) {
      EXPECT_EQ(palette[0].u16(0), 56);
      const size_t at = 2 + 4 * static_cast<size_t>(c.index - 8);
      EXPECT_EQ(palette[0].data.substr(at, 4), std::string("\x56\x34\x12\x00", 4));
    }
  }
}

// A picture of width x height pixels of one colour.
TvtePicture Plain(int width, int height, uint32_t rgb = 0x336699) {
  return {width, height, std::vector<uint32_t>(static_cast<size_t>(width) * static_cast<size_t>(height), rgb)};
}

// The anchor of an OBJ record: left column, offset, top row, offset, right
// column, offset, bottom row, offset.
std::array<int, 8> Anchor(const Record& obj) {
  std::array<int, 8> a{};
  for (size_t i = 0; i < 8; ++i) a[i] = obj.u16(10 + 2 * i);
  return a;
}

// On the classic screen a column nobody sized is 9 characters of 6 pixels
// (54), a row nobody sized 255 twips at 96 dpi (17 pixels).
TEST(ExcelWriter, PictureAnchorsFollowThePictureSizeAndScale) {
  struct Case {
    const char* name;
    int left, left_offset, top, top_offset;
    int width, height;
    double scale_x, scale_y;
    std::array<int, 8> anchor;
  };
  const Case cases[] = {
      // 150 px from B: 54 in B, 54 in C, 42 of D's 54 (796/1024); 40 px from
      // row 3: 17, 17, 6 of 17 in row 5 (90/256).
      {"scale 100", 1, 0, 2, 0, 150, 40, 100, 100, {1, 0, 2, 0, 3, 796, 4, 90}},
      // 375 px from C: six columns (324), 51 of I's 54 (967); 100 px from
      // row 5: five rows (85), 15 of 17 in row 10 (225).
      {"scale 250", 2, 0, 4, 0, 150, 40, 250, 250, {2, 0, 4, 0, 8, 967, 9, 225}},
      // The left offset adds 512/1024 of 54 = 27 px: 27 + 81 = 108, two
      // columns exactly, so the edge is the next column's start.
      {"ends on a column edge", 0, 512, 0, 128, 81, 34, 100, 100, {0, 512, 0, 128, 2, 0, 2, 128}},
      // Below 1 percent the picture's own bottom-right anchor holds.
      {"own anchor", 0, 0, 0, 0, 10, 10, 0, 0, {0, 0, 0, 0, 7, 100, 9, 50}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TvteXLSWorkbook book;
    TvteImage* image = book.AddSheet()->Images().Add();
    image->Left = c.left;
    image->LeftOffset = c.left_offset;
    image->Top = c.top;
    image->TopOffset = c.top_offset;
    image->Right = 7;
    image->RightOffset = 100;
    image->Bottom = 9;
    image->BottomOffset = 50;
    image->ScaleX = c.scale_x;
    image->ScaleY = c.scale_y;
    image->Picture = Plain(c.width, c.height);
    const auto objs = Only(Records(Stream(book)), 0x005D);
    ASSERT_EQ(objs.size(), 1u);
    EXPECT_EQ(Anchor(objs[0]), c.anchor);
  }
}

TEST(ExcelWriter, ColumnAndRowEntriesSizeTheCellsAPictureSpans) {
  TvteXLSWorkbook book;
  TvteXLSWorksheet* sheet = book.AddSheet();
  sheet->AddColumn(0, 20 * 256);  // 120 px
  sheet->AddColumn(1, 0);         // hidden: passed over
  sheet->AddRow(0, 600);          // 40 px
  TvteImage* image = sheet->Images().Add();
  image->Picture = Plain(150, 50);
  const auto objs = Only(Records(Stream(book)), 0x005D);
  ASSERT_EQ(objs.size(), 1u);
  // 150 - 120 = 30 px of C's 54 (568/1024); 50 - 40 = 10 px of row 2's 17 (150/256).
  EXPECT_EQ(Anchor(objs[0]), (std::array<int, 8>{0, 0, 0, 0, 2, 568, 1, 150}));
}

TEST(ExcelWriter, PicturesGiveObjAndImdataWithObjectNumbersAcrossSheets) {
  TvteXLSWorkbook book;
  TvteXLSWorksheet* first = book.AddSheet();
  TvteXLSWorksheet* second = book.AddSheet();
  first->GetRange(0, 0, 0, 0)->SetValue(Variant(1));
  for (int i = 0; i < 2; ++i) first->Images().Add()->Picture = Plain(3, 2);
  TvteImage* framed = second->Images().Add();
  framed->Picture = Plain(5, 1, 0x00FF00);
  framed->BorderColor = 0x123456;  // not in the default palette
  framed->LineStyle = vtelsDashed;
  framed->LineWeight = 2;
  const auto all = Records(Stream(book));

  // Object numbers run on across sheets; the count is the sheet's own.
  std::vector<std::array<int, 3>> numbers;
  for (int s = 0; s < 2; ++s) {
    const auto sheet = SheetRecords(all, s);
    std::vector<uint16_t> ids;
    for (const auto& r : sheet) {
      if (r.id == 0x005D || r.id == 0x007F || r.id == 0x023E || r.id == 0x00D7) ids.push_back(r.id);
      if (r.id == 0x005D) numbers.push_back({s, static_cast<int>(r.u32(0)), r.u16(6)});
    }
    // After the cells, before WINDOW2: OBJ and IMDATA by turns.
    const std::vector<uint16_t> first_ids = {0x00D7, 0x005D, 0x007F, 0x005D, 0x007F, 0x023E};
    const std::vector<uint16_t> second_ids = {0x005D, 0x007F, 0x023E};
    EXPECT_EQ(ids, s == 0 ? first_ids : second_ids);
  }
  EXPECT_EQ(numbers, (std::vector<std::array<int, 3>>{{0, 2, 1}, {0, 2, 2}, {1, 1, 3}}));

  const auto objs = Only(all, 0x005D);
  ASSERT_EQ(objs.size(), 3u);
  for (const auto& obj : objs) {
    ASSERT_EQ(obj.data.size(), 60u);
    EXPECT_EQ(obj.u16(4), 8);        // picture
    EXPECT_EQ(obj.u16(8), 0x0614);
    EXPECT_EQ(obj.data[28], 9);      // white fills
    EXPECT_EQ(obj.data[29], 9);
    EXPECT_EQ(obj.data[30], 1);
    EXPECT_EQ(obj.u16(38), 2);       // a metafile
    EXPECT_EQ(obj.data.substr(40), std::string(20, '\0'));
  }
  // A black frame of no line on the first sheet; the second's frame colour
  // takes the first replaceable palette entry (index 24), dashed, double.
  EXPECT_EQ(objs[0].data.substr(32, 3), std::string("\x08\x05\x00", 3));
  EXPECT_EQ(objs[2].data.substr(32, 3), std::string("\x18\x01\x02", 3));
  const auto palette = Only(all, 0x0092);
  ASSERT_EQ(palette.size(), 1u);
  EXPECT_EQ(palette[0].data.substr(2 + 4 * 16, 4), std::string("\x56\x34\x12\x00", 4));

  // IMDATA: a Windows metafile whose bitmap is the picture, bottom row first.
  const auto images = Only(all, 0x007F);
  ASSERT_EQ(images.size(), 3u);
  const Record& green = images[2];
  EXPECT_EQ(green.u16(0), 2);
  EXPECT_EQ(green.u16(2), 1);
  ASSERT_EQ(green.u32(4), green.data.size() - 8);
  const std::string wmf = green.data.substr(8);
  EXPECT_EQ(GetLE16(wmf.data()), 1);
  EXPECT_EQ(GetLE32(wmf.data() + 6) * 2, wmf.size());
  const size_t dib = wmf.find(std::string("\x28\x00\x00\x00\x05\x00\x00\x00\x01\x00\x00\x00", 12));
  ASSERT_NE(dib, std::string::npos);
  // Five green pixels of 3 bytes, padded to 16.
  EXPECT_EQ(wmf.substr(dib + 40, 16), std::string("\x00\xFF\x00\x00\xFF\x00\x00\xFF\x00\x00\xFF\x00\x00\xFF\x00\x00", 16));
}

// Pictures add their OBJ and IMDATA records to their own sheet and nothing
// else: the globals and a sheet without pictures come out as without them.
TEST(ExcelWriter, PicturesLeaveTheRestOfTheWorkbookAsItWas) {
  auto build = [](TvteXLSWorkbook& book, bool picture) {
    for (int s = 0; s < 2; ++s) {
      TvteXLSWorksheet* sheet = book.AddSheet();
      for (int r = 0; r < 40; ++r) sheet->GetRange(0, r, 1, r)->SetValue(Variant(Format("s%d r%d", {s, r})));
      sheet->AddColumn(1, 3000);
    }
    if (picture) book.GetSheet(1)->Images().Add()->Picture = Plain(20, 20);
  };
  TvteXLSWorkbook plain_book, picture_book;
  build(plain_book, false);
  build(picture_book, true);
  const auto plain = Records(Stream(plain_book));
  const auto pictured = Records(Stream(picture_book));
  // The records' bytes, those of pictures left out when `without_pictures`.
  auto bytes = [](const std::vector<Record>& records, bool without_pictures = false) {
    std::string out;
    for (const auto& r : records)
      if (!without_pictures || (r.id != 0x005D && r.id != 0x007F && r.id != 0x003C))
        out += std::to_string(r.id) + ":" + r.data + ";";
    return out;
  };
  std::vector<Record> plain_globals, pictured_globals;
  for (const auto& r : plain) {
    plain_globals.push_back(r);
    if (r.id == 0x000A) break;
  }
  for (const auto& r : pictured) {
    pictured_globals.push_back(r);
    if (r.id == 0x000A) break;
  }
  EXPECT_EQ(bytes(plain_globals), bytes(pictured_globals));
  EXPECT_EQ(bytes(SheetRecords(plain, 0)), bytes(SheetRecords(pictured, 0)));
  // The second sheet only gains its picture's records.
  EXPECT_EQ(bytes(SheetRecords(plain, 1)), bytes(SheetRecords(pictured, 1), true));
  EXPECT_EQ(Only(SheetRecords(pictured, 1), 0x005D).size(), 1u);
  EXPECT_TRUE(Only(plain, 0x005D).empty());
}

std::vector<uint16_t> Ids(const std::vector<Record>& records) {
  std::vector<uint16_t> ids;
  for (const auto& r : records) ids.push_back(r.id);
  return ids;
}

TEST(ExcelWriter, SheetSettingsComeInOrderWithThePageSetup) {
  TvteXLSWorkbook book;
  TvteXLSWorksheet* sheet = book.AddSheet();
  TvteXLSPageSetup& ps = sheet->PageSetup();
  ps.LeftHeader = "L";
  ps.RightHeader = "R";
  ps.CenterFooter = "C";
  ps.PrintGridlines = 1;
  ps.CenterVertically = 1;
  ps.LeftMargin = 0.5;
  ps.BottomMargin = 1.25;
  ps.PaperSize = 8;
  ps.Zoom = 75;
  ps.FitToPagesWide = 2;
  ps.FitToPagesTall = 3;
  ps.HeaderMargin = 0.3;
  ps.FooterMargin = 0.4;
  ps.Copies = 2;
  sheet->AddColumn(3, 4000);
  sheet->AddRow(1, 600);
  sheet->AddPageBreak(20);
  sheet->GetRange(0, 0, 0, 0)->SetValue(Variant(1));
  sheet->GetRange(0, 1, 1, 1)->SetValue(Variant(2));
  const auto records = SheetRecords(Records(Stream(book)), 0);
  const std::vector<uint16_t> expected = {
      0x0809, 0x020B, 0x000D, 0x000C, 0x000F, 0x0011, 0x0010, 0x005F, 0x002A, 0x002B, 0x0082, 0x0080,
      0x0225, 0x001B, 0x0081, 0x0014, 0x0015, 0x0083, 0x0084, 0x0026, 0x0027, 0x0028, 0x0029, 0x00A1,
      0x0055, 0x007D, 0x0200, 0x0208, 0x0208, 0x0203, 0x0203, 0x0201, 0x00D7, 0x023E, 0x001D, 0x00E5, 0x000A};
  EXPECT_EQ(Ids(records), expected);

  auto data = [&](uint16_t id) { return Only(records, id).at(0).data; };
  auto hex = [](std::string_view text) {
    std::string out;
    for (size_t i = 0; i + 1 < text.size(); i += 3) out.push_back(static_cast<char>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
    return out;
  };
  auto wide = [](std::string_view ascii) {
    std::string out;
    for (char c : ascii) {
      out.push_back(c);
      out.push_back('\0');
    }
    return out;
  };
  auto dbl = [](double v) {
    std::string out;
    PutLEDouble(&out, v);
    return out;
  };
  EXPECT_EQ(data(0x0809), hex("00 06 10 00 BB 0D CC 07 00 00 00 00 00 00 00 00 "));
  EXPECT_EQ(data(0x002A), hex("00 00 "));
  EXPECT_EQ(data(0x002B), hex("01 00 "));
  EXPECT_EQ(data(0x0080), std::string(8, '\0'));
  EXPECT_EQ(data(0x0225), hex("00 00 FF 00 "));
  EXPECT_EQ(data(0x001B), hex("01 00 14 00 00 00 FF 00 "));
  EXPECT_EQ(data(0x0081), hex("C1 04 "));
  EXPECT_EQ(data(0x0014), hex("06 00 01 ") + wide("&LL&RR"));
  EXPECT_EQ(data(0x0015), hex("03 00 01 ") + wide("&CC"));
  EXPECT_EQ(data(0x0083), hex("00 00 "));
  EXPECT_EQ(data(0x0084), hex("01 00 "));
  EXPECT_EQ(data(0x0026), dbl(0.5));
  EXPECT_EQ(data(0x0027), dbl(2.0));
  EXPECT_EQ(data(0x0028), dbl(2.5));
  EXPECT_EQ(data(0x0029), dbl(1.25));
  EXPECT_EQ(data(0x00A1), hex("08 00 4B 00 01 00 02 00 03 00 02 00 00 00 00 00 ") + dbl(0.3) + dbl(0.4) + hex("02 00 "));
  EXPECT_EQ(data(0x0055), hex("08 00 "));
  EXPECT_EQ(data(0x007D), hex("03 00 03 00 A0 0F 00 00 00 00 00 "));
  EXPECT_EQ(data(0x0200), hex("00 00 00 00 02 00 00 00 00 00 02 00 00 00 "));
  const auto rows = Only(records, 0x0208);
  EXPECT_EQ(rows[0].data, hex("00 00 00 00 01 00 FF 00 00 00 00 00 00 00 00 00 "));
  EXPECT_EQ(rows[1].data, hex("01 00 00 00 02 00 58 02 00 00 00 00 40 00 00 00 ")) << "a row entry sets height and option";
  EXPECT_EQ(data(0x023E), hex("B6 06 00 00 00 00 40 00 00 00 00 00 00 00 00 00 00 00 "));
  EXPECT_EQ(data(0x001D), hex("03 00 00 00 00 00 00 01 00 00 00 00 00 00 00 "));
}

TEST(ExcelWriter, SetupOptionsFollowThePageSetup) {
  struct Case {
    const char* name;
    void (*set)(TvteXLSPageSetup&);
    uint16_t options;
  };
  const Case cases[] = {
      {"defaults: portrait", [](TvteXLSPageSetup&) {}, 0x0002},
      {"landscape", [](TvteXLSPageSetup& p) { p.Orientation = 1; }, 0x0000},
      {"left to right first", [](TvteXLSPageSetup& p) { p.Order = 1; }, 0x0003},
      {"order other than 1", [](TvteXLSPageSetup& p) { p.Order = 2; }, 0x0002},
      {"black and white", [](TvteXLSPageSetup& p) { p.BlackAndWhite = 1; }, 0x000A},
      {"draft", [](TvteXLSPageSetup& p) { p.Draft = 1; }, 0x0012},
      {"notes", [](TvteXLSPageSetup& p) { p.PrintNotes = 1; }, 0x0022},
      {"first page number", [](TvteXLSPageSetup& p) { p.FirstPageNumber = 3; }, 0x0082},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TvteXLSWorkbook book;
    c.set(book.AddSheet()->PageSetup());
    const Record setup = Only(SheetRecords(Records(Stream(book)), 0), 0x00A1).at(0);
    ASSERT_EQ(setup.data.size(), 34u);
    EXPECT_EQ(setup.u16(10), c.options);
    EXPECT_EQ(setup.u16(0), 9) << "A4";
    EXPECT_EQ(setup.u16(2), 100);
  }
}

TEST(ExcelWriter, GlobalRecordsHoldTheirFixedValues) {
  TvteXLSWorkbook book;
  book.SetUserName(std::string(60, 'u'));
  book.AddSheet()->SetName("First");
  book.AddSheet();
  const auto all = Records(Stream(book));
  auto data = [&](uint16_t id) { return Only(all, id).at(0).data; };
  EXPECT_EQ(data(0x0809), std::string("\x00\x06\x05\x00\xBB\x0D\xCC\x07\x00\x00\x00\x00\x00\x06\x00\x00", 16));
  const std::string access = data(0x005C);
  ASSERT_EQ(access.size(), 112u);
  EXPECT_EQ(GetLE16(access.data()), 54) << "a user name is cut to 54 characters";
  EXPECT_EQ(access[2], '\x01');
  EXPECT_EQ(access.substr(3 + 108), std::string(1, ' '));
  EXPECT_EQ(data(0x00E1), std::string("\xE4\x04", 2));
  EXPECT_EQ(data(0x0042), std::string("\xE4\x04", 2));
  EXPECT_EQ(data(0x013D), std::string("\x01\x00\x02\x00", 4));
  EXPECT_EQ(data(0x009C), std::string("\x0E\x00", 2));
  EXPECT_EQ(data(0x003D), std::string("\x68\x01\x1E\x00\x1E\x1D\x60\x18\x38\x00\x00\x00\x00\x00\x01\x00\x58\x02", 18));
  EXPECT_EQ(data(0x000E), std::string("\x01\x00", 2));
  EXPECT_EQ(data(0x008C), std::string("\x07\x00\x07\x00", 4));
  const auto bounds = Only(all, 0x0085);
  ASSERT_EQ(bounds.size(), 2u);
  EXPECT_EQ(bounds[0].data.substr(4), std::string("\x00\x00\x05\x01" "F\0i\0r\0s\0t\0", 14));
  // The built-in number formats keep their numbers; the ruble sign is UTF-16.
  const auto formats = Only(all, 0x041E);
  const std::vector<uint16_t> numbers = {formats[0].u16(0), formats[1].u16(0), formats[2].u16(0), formats[3].u16(0),
                                         formats[4].u16(0), formats[5].u16(0), formats[6].u16(0), formats[7].u16(0)};
  EXPECT_EQ(numbers, (std::vector<uint16_t>{5, 6, 7, 8, 42, 41, 44, 43}));
  EXPECT_EQ(formats[0].u16(2), 21);
  EXPECT_EQ(formats[0].data.substr(5 + 2 * 6, 4), std::string("\x40\x04.\x00", 4)) << "\"р.\" after #,##0\"";
  const auto styles = Only(all, 0x0293);
  ASSERT_EQ(styles.size(), 6u);
  EXPECT_EQ(styles[2].data, std::string("\x00\x80\x00\xFF", 4)) << "Normal on XF 0";
}

TEST(ExcelWriter, OnlyTheFirstSheetIsSelected) {
  TvteXLSWorkbook book;
  book.AddSheet();
  book.AddSheet();
  const auto all = Records(Stream(book));
  EXPECT_EQ(Only(SheetRecords(all, 0), 0x023E)[0].u16(0), 0x06B6);
  EXPECT_EQ(Only(SheetRecords(all, 1), 0x023E)[0].u16(0), 0x04B6);
  const auto bounds = Only(all, 0x0085);
  ASSERT_EQ(bounds.size(), 2u);
  EXPECT_EQ(bounds[1].u32(0), SheetRecords(all, 1).front().pos);
}

TEST(ExcelWriter, SheetReferencesGiveSupbookAndExternsheet) {
  TvteXLSWorkbook book;
  book.AddSheet()->GetRange(0, 0, 0, 0)->SetFormula("Sheet2!A1+[Other.xls]Data!B2+Missing!A1");
  book.AddSheet();
  const auto all = Records(Stream(book));
  const auto supbooks = Only(all, 0x01AE);
  ASSERT_EQ(supbooks.size(), 2u);
  EXPECT_EQ(supbooks[0].data, std::string("\x02\x00\x01\x04", 4));
  EXPECT_EQ(supbooks[1].u16(0), 1);
  EXPECT_EQ(supbooks[1].u16(2), 10);  // "Other.xls" + the 0x0001 marker
  const auto ext = Only(all, 0x0017);
  ASSERT_EQ(ext.size(), 1u);
  EXPECT_EQ(ext[0].u16(0), 3);
  const std::vector<uint16_t> refs = {ext[0].u16(2),  ext[0].u16(4),  ext[0].u16(6),  ext[0].u16(8),  ext[0].u16(10),
                                      ext[0].u16(12), ext[0].u16(14), ext[0].u16(16), ext[0].u16(18)};
  EXPECT_EQ(refs, (std::vector<uint16_t>{0, 1, 1, 1, 0, 0, 0, 0xFFFF, 0xFFFF}));
}

// ---- Saving ----------------------------------------------------------------

std::vector<std::string> Listing(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(ExcelWriter, ModelsAFileCannotHoldRaiseBeforeAnythingIsWritten) {
  struct Case {
    const char* name;
    void (*build)(TvteXLSWorkbook&);
    const char* message;
  };
  const Case cases[] = {
      {"row beyond 65535", [](TvteXLSWorkbook& b) { b.AddSheet()->GetRange(0, 65536, 0, 65536); },
       "Range (0, 65536, 0, 65536) on sheet \"Sheet1\" lies outside 65536 rows and 256 columns"},
      {"column beyond 255", [](TvteXLSWorkbook& b) { b.AddSheet()->GetRange(250, 0, 256, 0); },
       "Range (250, 0, 256, 0) on sheet \"Sheet1\" lies outside 65536 rows and 256 columns"},
      {"reversed rows", [](TvteXLSWorkbook& b) { b.AddSheet()->GetRange(0, 5, 0, 4); },
       "Invalid range (0, 5, 0, 4) on sheet \"Sheet1\""},
      {"reversed columns", [](TvteXLSWorkbook& b) { b.AddSheet()->GetRange(3, 0, 2, 0); },
       "Invalid range (3, 0, 2, 0) on sheet \"Sheet1\""},
      {"negative", [](TvteXLSWorkbook& b) { b.AddSheet()->GetRange(-1, 0, 0, 0); },
       "Invalid range (-1, 0, 0, 0) on sheet \"Sheet1\""},
      {"dropped range left a negative used area",
       [](TvteXLSWorkbook& b) {
         TvteXLSWorksheet* s = b.AddSheet();
         s->GetRange(-5, 0, 0, 0);
         s->GetRange(0, 0, 0, 0)->SetValue(Variant(1));
       },
       "Range (-5, 0, 0, 0) on sheet \"Sheet1\" lies outside 65536 rows and 256 columns"},
      {"dropped range left a used area beyond the last row",
       [](TvteXLSWorkbook& b) {
         TvteXLSWorksheet* s = b.AddSheet();
         s->GetRange(0, 65535, 0, 2147483647);
         s->AddRow(70000, 300);
         s->GetRange(0, 65535, 0, 65535)->SetValue(Variant(1));
       },
       "Range (0, 65535, 0, 2147483647) on sheet \"Sheet1\" lies outside 65536 rows and 256 columns"},
      {"row entry height", [](TvteXLSWorkbook& b) {
         TvteXLSWorksheet* s = b.AddSheet();
         s->GetRange(0, 3, 0, 3);
         s->AddRow(3, 0x8000);
       },
       "Invalid row 3 on sheet \"Sheet1\""},
      {"text longer than a cell",
       [](TvteXLSWorkbook& b) { b.AddSheet()->GetRange(1, 2, 1, 2)->SetValue(Variant(std::string(32768, 'x'))); },
       "Text of 32768 characters at (1, 2) on sheet \"Sheet1\" is longer than a cell holds (32767)"},
      {"picture without pixels", [](TvteXLSWorkbook& b) { b.AddSheet()->Images().Add(); },
       "Invalid picture 1 on sheet \"Sheet1\""},
      {"picture whose pixels miss its size",
       [](TvteXLSWorkbook& b) {
         TvteImage* image = b.AddSheet()->Images().Add();
         image->Picture = {3, 2, std::vector<uint32_t>(5)};
       },
       "Invalid picture 1 on sheet \"Sheet1\""},
      {"picture reaching past the last column",
       [](TvteXLSWorkbook& b) {
         TvteXLSWorksheet* s = b.AddSheet();
         s->Images().Add()->Picture = {1, 1, {0}};
         TvteImage* image = s->Images().Add();
         image->Left = 254;
         image->Picture = {120, 1, std::vector<uint32_t>(120)};
       },
       "Picture 2 on sheet \"Sheet1\" lies outside 65536 rows and 256 columns"},
      {"picture anchored below the last row",
       [](TvteXLSWorkbook& b) {
         TvteImage* image = b.AddSheet()->Images().Add();
         image->Top = 65536;
         image->Picture = {1, 1, {0}};
       },
       "Picture 1 on sheet \"Sheet1\" lies outside 65536 rows and 256 columns"},
      {"picture offset beyond its cell",
       [](TvteXLSWorkbook& b) {
         TvteImage* image = b.AddSheet()->Images().Add();
         image->LeftOffset = 1024;
         image->Picture = {1, 1, {0}};
       },
       "Picture 1 on sheet \"Sheet1\" lies outside 65536 rows and 256 columns"},
      {"duplicate sheet names",
       [](TvteXLSWorkbook& b) {
         b.AddSheet()->SetName("Data");
         b.AddSheet()->SetName("DATA");
       },
       "Duplicate sheet name \"DATA\""},
      {"sheet name with a colon", [](TvteXLSWorkbook& b) { b.AddSheet()->SetName("a:b"); },
       "Invalid sheet name \"a:b\""},
      {"empty sheet name", [](TvteXLSWorkbook& b) { b.AddSheet()->SetName("  "); }, "Sheet 1 has no name"},
      {"formula error", [](TvteXLSWorkbook& b) { b.AddSheet()->GetRange(0, 0, 0, 0)->SetFormula("SUM(1"); },
       "Invalid brackets"},
      {"long header",
       [](TvteXLSWorkbook& b) { b.AddSheet()->PageSetup().CenterHeader = std::string(254, 'h'); },
       "Header or footer of sheet \"Sheet1\" is longer than 255 characters"},
      {"column entry", [](TvteXLSWorkbook& b) { b.AddSheet()->AddColumn(256, 100); },
       "Invalid column 256 on sheet \"Sheet1\""},
  };
  const std::string dir = testsupport::TempDir("limits");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TvteXLSWorkbook book;
    c.build(book);
    TvteExcelWriter writer;
    try {
      writer.Save(book, dir + "/new.xls");
      ADD_FAILURE() << "saved";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
    EXPECT_TRUE(Listing(dir).empty());
    // An existing file of that name is left as it was.
    testsupport::WriteFile(dir + "/old.xls", "old bytes");
    EXPECT_THROW(writer.Save(book, dir + "/old.xls"), Exception);
    EXPECT_EQ(testsupport::ReadFile(dir + "/old.xls"), "old bytes");
    std::filesystem::remove(dir + "/old.xls");
  }
}

// A file that cannot be made is named in the message with the system's
// reason, and its error number goes with it.
TEST(ExcelWriter, FileErrorsNameTheFileAndTheCause) {
  const std::string dir = testsupport::TempDir("errors");
  std::filesystem::create_directory(dir + "/folder.xls");
  const struct {
    std::string path;
    const char* reason;
    int code;
  } cases[] = {
      {dir + "/missing/out.xls", "No such file or directory", ENOENT},
      {dir + "/folder.xls", "Is a directory", EISDIR},
      {"", "No such file or directory", ENOENT},
  };
  TvteXLSWorkbook book;
  book.AddSheet();
  TvteExcelWriter writer;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    try {
      writer.Save(book, c.path);
      ADD_FAILURE() << "saved";
    } catch (const EvteCreateFileError& e) {
      EXPECT_EQ(e.Message(), "Cannot create the file \"" + c.path + "\": " + c.reason);
      EXPECT_EQ(e.Code(), c.code);
    }
  }
  EXPECT_EQ(Listing(dir), std::vector<std::string>{"folder.xls"});
}

TEST(ExcelWriter, AWriteFailureLeavesTheOldFileAndNoTemporaryFile) {
  const std::string dir = testsupport::TempDir("full");
  const std::string target = dir + "/book.xls";
  testsupport::WriteFile(target, "previous content");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The child may write at most 64 KiB per file: the save runs out of room.
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {65536, 65536};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    TvteXLSWorkbook book;
    TvteXLSWorksheet* sheet = book.AddSheet();
    for (int i = 0; i < 20000; ++i) sheet->GetRange(0, i, 0, i)->SetValue(Variant(Format("row %d", {i})));
    TvteExcelWriter writer;
    int code = 3;
    try {
      writer.Save(book, target);
      code = 1;
    } catch (const EvteWriteFileError& e) {
      code = e.Message() == "Cannot write the file \"" + target + "\": File too large" && e.Code() == EFBIG ? 0 : 2;
    } catch (...) {
      code = 4;
    }
    ::_exit(code);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(testsupport::ReadFile(target), "previous content");
  EXPECT_EQ(Listing(dir), std::vector<std::string>{"book.xls"});
}

TEST(ExcelWriter, SaveReplacesAnExistingFileAndCanRunTwice) {
  const std::string dir = testsupport::TempDir("replace");
  const std::string target = dir + "/book.xls";
  testsupport::WriteFile(target, "previous content");
  TvteXLSWorkbook book;
  TvteXLSRange* r = book.AddSheet()->GetRange(0, 0, 0, 0);
  r->SetValue(Variant("x"));
  TvteExcelWriter writer;
  writer.Save(book, target);
  const std::string first = testsupport::ReadFile(target);
  EXPECT_EQ(first.substr(0, 8), std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8));
  EXPECT_EQ(r->CellData(), nullptr) << "no reference to the save's data is kept";
  writer.Save(book, target);
  EXPECT_EQ(testsupport::ReadFile(target), first);
  EXPECT_EQ(Listing(dir), std::vector<std::string>{"book.xls"});
}

}  // namespace

}  // namespace writer_test
