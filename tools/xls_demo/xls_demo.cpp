// xls_demo: builds a workbook from CSV files and saves it with the BIFF8 writer.
//
//   xls_demo OUT.xls --sheet NAME FILE.csv [--sheet NAME FILE.csv ...]
//            [--merge SHEET!A1:D1] [--border SHEET!A1:D3] [--bold SHEET!A1:B1]
//            [--picture SHEET!B3:FILE[:SCALE] ...]
//
// Each UTF-8 CSV (comma-separated, "..." quoting with "" for a quote) becomes
// a sheet: a cell that reads as a number becomes a number, a cell starting
// with "=" a formula (the text after it), anything else text; empty cells stay
// empty. --merge joins a rectangle into one cell holding the value of its
// top-left cell; --border draws thin lines round every cell of a rectangle;
// --bold sets a bold font there. --picture places a BMP or JPEG file with its
// top-left corner at the cell, scaled by SCALE percent (100 unless given).
// Exit status 0 on success, 1 when the workbook cannot be saved, 2 on bad
// arguments or input.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gdk-pixbuf/gdk-pixbuf.h>

#include "toolkit/core/text.h"
#include "toolkit/sys/heap.h"
#include "xls/vteExcel.h"
#include "xls/vteExcelFormula.h"
#include "xls/vteWriters.h"

namespace {

struct UsageError {
  std::string message;
};

// Splits CSV text into rows of fields.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row;
  std::string field;
  bool quoted = false;
  bool was_quoted = false;
  bool any = false;
  size_t i = 0;
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) i = 3;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"') {
        if (i + 1 < text.size() && text[i + 1] == '"') {
          field += '"';
          ++i;
        } else {
          quoted = false;
        }
      } else {
        field += c;
      }
      continue;
    }
    if (c == '"' && field.empty() && !was_quoted) {
      // A quote opens a quoted field only at the field's start; elsewhere it is text.
      quoted = true;
      was_quoted = true;
      any = true;
    } else if (c == ',') {
      row.push_back(field);
      field.clear();
      was_quoted = false;
      any = true;
    } else if (c == '\n' || c == '\r') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      row.push_back(field);
      rows.push_back(row);
      row.clear();
      field.clear();
      was_quoted = false;
      any = false;
    } else {
      field += c;
      any = true;
    }
  }
  if (quoted) throw UsageError{"unterminated quote in CSV"};
  if (any) {
    row.push_back(field);
    rows.push_back(row);
  }
  return rows;
}

// A plain decimal number: sign, digits, point, exponent; nothing else.
bool ReadNumber(const std::string& s, double* value) {
  if (s.empty() || s.find_first_not_of("0123456789+-.eE") != std::string::npos) return false;
  const char* begin = s.data();
  if (*begin == '+') ++begin;
  const auto [end, ec] = std::from_chars(begin, s.data() + s.size(), *value);
  return ec == std::errc() && end == s.data() + s.size() && std::isfinite(*value);
}

struct Area {
  TvteXLSWorksheet* sheet;
  TvteRect rect;
};

// "SHEET!A1:D3" or "SHEET!B2".
Area ParseArea(TvteXLSWorkbook& book, const std::string& arg) {
  const size_t bang = arg.rfind('!');
  if (bang == std::string::npos) throw UsageError{"expected SHEET!A1:B2, got " + arg};
  const int index = book.IndexOfSheet(Utf8ToAnsi(arg.substr(0, bang)));
  if (index < 0) throw UsageError{"no sheet named " + arg.substr(0, bang)};
  const std::string cells = arg.substr(bang + 1);
  const size_t colon = cells.find(':');
  const std::string a = cells.substr(0, colon);
  const std::string b = colon == std::string::npos ? a : cells.substr(colon + 1);
  uint16_t r1, c1, r2, c2;
  if (!ParseCellRef(a, &r1, &c1) || !ParseCellRef(b, &r2, &c2)) throw UsageError{"bad cell range " + cells};
  c1 &= 0xFF;
  c2 &= 0xFF;
  Area area{book.GetSheet(index), {std::min<int>(c1, c2), std::min<int>(r1, r2), std::max<int>(c1, c2),
                                   std::max<int>(r1, r2)}};
  return area;
}

// Calls apply on every range inside the area; cells no range covers get one-cell ranges.
template <class Apply>
void ForEachRange(const Area& area, Apply apply) {
  TvteXLSWorksheet& sheet = *area.sheet;
  std::vector<TvteXLSRange*> hit;
  for (int i = 0; i < sheet.GetRangeCount(); ++i)
    if (RectsIntersect(sheet.GetRangeItem(i)->Rect(), area.rect)) hit.push_back(sheet.GetRangeItem(i));
  for (TvteXLSRange* r : hit) apply(*r);
  for (int row = area.rect.Top; row <= area.rect.Bottom; ++row) {
    for (int col = area.rect.Left; col <= area.rect.Right; ++col) {
      bool covered = false;
      for (TvteXLSRange* r : hit) covered = covered || RectsIntersect(r->Rect(), {col, row, col, row});
      if (!covered) apply(*sheet.GetRange(col, row, col, row));
    }
  }
}

// Reads a BMP or JPEG file into the picture.
void LoadPicture(const std::string& file, TvtePicture* picture) {
  GError* error = nullptr;
  GdkPixbufFormat* format = gdk_pixbuf_get_file_info(file.c_str(), nullptr, nullptr);
  std::string kind;
  if (format) {
    gchar* name = gdk_pixbuf_format_get_name(format);
    kind = name;
    g_free(name);
  }
  if (kind != "bmp" && kind != "jpeg") throw UsageError{"not a readable BMP or JPEG picture: " + file};
  GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(file.c_str(), &error);
  if (!pixbuf) {
    const std::string message = error ? error->message : "unreadable";
    if (error) g_error_free(error);
    throw UsageError{"cannot read picture " + file + ": " + message};
  }
  const int width = gdk_pixbuf_get_width(pixbuf);
  const int height = gdk_pixbuf_get_height(pixbuf);
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  const int channels = gdk_pixbuf_get_n_channels(pixbuf);
  const guchar* bytes = gdk_pixbuf_read_pixels(pixbuf);
  picture->Width = width;
  picture->Height = height;
  picture->Pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const guchar* px = bytes + static_cast<ptrdiff_t>(y) * stride + static_cast<ptrdiff_t>(x) * channels;
      picture->Pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] =
          (uint32_t{px[0]} << 16) | (uint32_t{px[1]} << 8) | px[2];
    }
  }
  g_object_unref(pixbuf);
}

// "SHEET!B3:FILE[:SCALE]": the picture's top-left corner at the cell, its
// scale in percent. The sheet name holds no ':', so the first one ends the
// cell; a last part of digits is the scale.
void AddPicture(TvteXLSWorkbook& book, const std::string& arg) {
  const size_t colon = arg.find(':');
  if (colon == std::string::npos) throw UsageError{"expected SHEET!B3:FILE[:SCALE], got " + arg};
  const Area area = ParseArea(book, arg.substr(0, colon));
  std::string file = arg.substr(colon + 1);
  double scale = 100;
  const size_t last = file.rfind(':');
  if (last != std::string::npos && last + 1 < file.size() &&
      file.find_first_not_of("0123456789.", last + 1) == std::string::npos) {
    if (!ReadNumber(file.substr(last + 1), &scale) || scale < 1)
      throw UsageError{"scale must be 1 percent or more: " + file.substr(last + 1)};
    file.resize(last);
  }
  if (file.empty()) throw UsageError{"expected SHEET!B3:FILE[:SCALE], got " + arg};
  TvteImage* image = area.sheet->Images().Add();
  image->Left = area.rect.Left;
  image->Top = area.rect.Top;
  image->ScaleX = image->ScaleY = scale;
  LoadPicture(file, &image->Picture);
}

int Run(int argc, char** argv) {
  if (argc < 2) throw UsageError{"missing output file"};
  const std::string out_file = argv[1];
  TvteXLSWorkbook book;
  std::vector<std::string> merges, borders, bolds, pictures;
  for (int i = 2; i < argc; ++i) {
    const std::string opt = argv[i];
    auto next = [&]() -> std::string {
      if (i + 1 >= argc) throw UsageError{opt + " needs an argument"};
      return argv[++i];
    };
    if (opt == "--sheet") {
      const std::string name = next();
      const std::string file = next();
      std::ifstream in(file, std::ios::binary);
      if (!in) throw UsageError{"cannot read " + file};
      const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      TvteXLSWorksheet* sheet = book.AddSheet();
      sheet->SetName(Utf8ToAnsi(name));
      const auto rows = ParseCsv(text);
      for (size_t r = 0; r < rows.size(); ++r) {
        for (size_t c = 0; c < rows[r].size(); ++c) {
          const std::string& field = rows[r][c];
          if (field.empty()) continue;
          TvteXLSRange* range = sheet->GetRange(static_cast<int>(c), static_cast<int>(r), static_cast<int>(c),
                                                static_cast<int>(r));
          double number;
          if (field[0] == '=')
            range->SetFormula(Utf8ToAnsi(field.substr(1)));
          else if (ReadNumber(field, &number))
            range->SetValue(number);
          else
            range->SetValue(Utf8ToAnsi(field));
        }
      }
    } else if (opt == "--merge") {
      merges.push_back(next());
    } else if (opt == "--border") {
      borders.push_back(next());
    } else if (opt == "--bold") {
      bolds.push_back(next());
    } else if (opt == "--picture") {
      pictures.push_back(next());
    } else {
      throw UsageError{"unknown option " + opt};
    }
  }
  if (book.GetSheetCount() == 0) throw UsageError{"no --sheet given"};

  for (const auto& m : merges) {
    const Area a = ParseArea(book, m);
    // The merged cell takes the value (or formula) of its top-left cell.
    Variant value;
    AnsiString formula;
    for (int i = 0; i < a.sheet->GetRangeCount(); ++i) {
      const TvteXLSRange* r = a.sheet->GetRangeItem(i);
      if (RectsIntersect(r->Rect(), {a.rect.Left, a.rect.Top, a.rect.Left, a.rect.Top})) {
        value = r->Value();
        formula = r->Formula();
      }
    }
    TvteXLSRange* range = a.sheet->GetRange(a.rect.Left, a.rect.Top, a.rect.Right, a.rect.Bottom);
    range->SetValue(value);
    range->SetFormula(formula);
  }
  for (const auto& b : borders) {
    ForEachRange(ParseArea(book, b), [](TvteXLSRange& r) {
      for (TvteBorderEdge e : {vtexlEdgeBottom, vtexlEdgeLeft, vtexlEdgeRight, vtexlEdgeTop})
        r.Borders()[e].SetLineStyle(vtelsThin);
    });
  }
  for (const auto& b : bolds)
    ForEachRange(ParseArea(book, b), [](TvteXLSRange& r) { r.Font().Style.Include(TvteFontStyle::Bold); });

  for (const auto& p : pictures) AddPicture(book, p);

  TvteExcelWriter writer;
  writer.Save(book, out_file);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // A run builds the whole workbook in memory and exits: huge pages spare it
  // a page fault for every 4 KiB of the model.
  PreferHugePagesForHeap(size_t{256} << 20);
  try {
    return Run(argc, argv);
  } catch (const UsageError& e) {
    std::fprintf(stderr,
                 "xls_demo: %s\nusage: xls_demo OUT.xls --sheet NAME FILE.csv [--sheet NAME FILE.csv ...]\n"
                 "         [--merge SHEET!A1:D1] [--border SHEET!A1:D3] [--bold SHEET!A1:B1]\n"
                 "         [--picture SHEET!B3:FILE[:SCALE] ...]\n",
                 e.message.c_str());
    return 2;
  } catch (const Exception& e) {
    std::fprintf(stderr, "xls_demo: %s\n", AnsiToUtf8(e.Message()).c_str());
    return 1;
  }
}
