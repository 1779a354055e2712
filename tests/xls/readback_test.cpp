// Files the writer and xls_demo make, read back by independent readers:
// python3-xlrd (with formatting) and python3-olefile's strict parse.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <vector>
#include <string>

#include "tests/support/testsupport.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "xls/vteExcelFormula_iftab.h"
#include "xls/vteWriters.h"

namespace readback_test {

// Prints, for every sheet, its name, its merged areas and every cell as
// row,col:type:value[:B bold weight][:T top-border style] and formulas decompiled.
const char* kDumpScript = R"PY(
import struct, sys
import olefile, xlrd
from xlrd import formula as F
path = sys.argv[1]
ole = olefile.OleFileIO(path, raise_defects=olefile.DEFECT_INCORRECT)
print("streams", ole.listdir())
data = ole.openstream("Workbook").read()
book = xlrd.open_workbook(path, formatting_info=True)
for sh in book.sheets():
    print("sheet", sh.name, "merged", sorted(sh.merged_cells))
    for r in range(sh.nrows):
        for c in range(sh.ncols):
            cell = sh.cell(r, c)
            if cell.ctype == xlrd.XL_CELL_EMPTY:
                continue
            xf = book.xf_list[sh.cell_xf_index(r, c)]
            font = book.font_list[xf.font_index]
            line = "%d,%d:%d:%r" % (r, c, cell.ctype, cell.value)
            if font.weight >= 700:  # boldness is in the weight
                line += ":B"
            if xf.border.top_line_style:
                line += ":T%d" % xf.border.top_line_style
            if xf.alignment.hor_align:
                line += ":H%d" % xf.alignment.hor_align
            print(line)
pos, sheet = 0, -1
while pos < len(data):
    rid, ln = struct.unpack_from("<HH", data, pos)
    body = data[pos + 4:pos + 4 + ln]
    if rid == 0x0809 and struct.unpack_from("<H", body, 2)[0] == 0x10:
        sheet += 1
    if rid == 0x0006:
        r, c = struct.unpack_from("<HH", body, 0)
        cce = struct.unpack_from("<H", body, 20)[0]
        print("formula", sheet, r, c, F.decompile_formula(book, body[22:22 + cce], cce, fmlatype=F.FMLA_TYPE_CELL, browx=r, bcolx=c))
    pos += 4 + ln
)PY";

std::string Dump(const std::string& dir, const std::string& xls) {
  testsupport::WriteFile(dir + "/dump.py", kDumpScript);
  std::string out;
  const int rc = testsupport::RunCommand(std::string(testsupport::Python()) + " " + dir + "/dump.py " + xls + " 2>&1", &out);
  EXPECT_EQ(rc, 0) << out;
  return out;
}

TEST(XlsReadback, DemoToolWritesWhatReadersRead) {
  const std::string dir = testsupport::TempDir("demo");
  const std::string tool = std::string(KIV7_BINARY_DIR) + "/tools/xls_demo/xls_demo";
  ASSERT_TRUE(std::filesystem::exists(tool)) << "build the xls_demo target";
  testsupport::WriteFile(dir + "/a.csv",
                         "N,Дата,Значение,Сумма\n"
                         "1,01.02.2024,1.5,=SUM(C2:C3)\n"
                         "2,\"текст, с \"\"кавычкой\"\"\",-2.25,=IF(C3>2;\"да\";\"нет\")\n");
  testsupport::WriteFile(dir + "/b.csv", "x\r\n='Измерения'!C2*2+$A$1\r\n");
  std::string out;
  const int rc = testsupport::RunCommand(tool + " " + dir + "/out.xls --sheet Измерения " + dir + "/a.csv --sheet Второй " +
                                             dir + "/b.csv --merge 'Измерения!A1:B1' --border 'Измерения!A1:D2'" +
                                             " --bold 'Измерения!A1:D1' 2>&1",
                                         &out);
  ASSERT_EQ(rc, 0) << out;
  const std::string expected =
      "streams [['Workbook']]\n"
      "sheet Измерения merged [(0, 1, 0, 2)]\n"
      "0,0:1:'N':B:T1\n"
      "0,1:6:'':B:T1\n"
      "0,2:1:'Значение':B:T1\n"
      "0,3:1:'Сумма':B:T1\n"
      "1,0:2:1.0:T1\n"
      "1,1:1:'01.02.2024':T1\n"
      "1,2:2:1.5:T1\n"
      "1,3:2:0.0:T1\n"
      "2,0:2:2.0\n"
      "2,1:1:'текст, с \"кавычкой\"'\n"
      "2,2:2:-2.25\n"
      "2,3:2:0.0\n"
      "sheet Второй merged []\n"
      "0,0:1:'x'\n"
      "1,0:2:0.0\n"
      "formula 0 1 3 SUM(C2:C3)\n"
      "formula 0 2 3 IF(C3>2.0,\"да\",\"нет\")\n"
      "formula 1 1 0 Измерения!C2:C2*2.0+$A$1\n";  // xlrd shows a 3-D cell as a one-cell area
  EXPECT_EQ(Dump(dir, dir + "/out.xls"), expected);

  // A formula error leaves no file.
  testsupport::WriteFile(dir + "/bad.csv", "=SUM(1\n");
  EXPECT_EQ(testsupport::RunCommand(tool + " " + dir + "/bad.xls --sheet S " + dir + "/bad.csv 2>&1", &out), 1);
  EXPECT_EQ(out, "xls_demo: Invalid brackets\n");
  EXPECT_FALSE(std::filesystem::exists(dir + "/bad.xls"));
}

// Walks the OBJ and IMDATA records of every sheet; converts each IMDATA
// metafile with wmf2svg (libwmf) and prints the picture's size as the SVG
// gives it and the colours of its four corners as the bitmap wmf2svg drew.
const char* kPictureScript = R"PY(
import re, struct, subprocess, sys, zlib
import olefile, xlrd
path, work = sys.argv[1], sys.argv[2]

def png_pixels(name):
    data = open(name, "rb").read()
    pos, idat, w, h = 8, b"", 0, 0
    while pos < len(data):
        ln, kind = struct.unpack_from(">I4s", data, pos)
        body = data[pos + 8:pos + 8 + ln]
        if kind == b"IHDR":
            w, h, depth, ctype = struct.unpack_from(">IIBB", body)
            assert depth == 8 and ctype in (2, 6), (depth, ctype)
            bpp = 3 if ctype == 2 else 4
        elif kind == b"IDAT":
            idat += body
        pos += 12 + ln
    raw, rows, prev = zlib.decompress(idat), [], bytearray(w * bpp)
    for y in range(h):
        f, line = raw[y * (w * bpp + 1)], bytearray(raw[y * (w * bpp + 1) + 1:(y + 1) * (w * bpp + 1)])
        for i in range(len(line)):
            a = line[i - bpp] if i >= bpp else 0
            b, c = prev[i], prev[i - bpp] if i >= bpp else 0
            if f == 1: line[i] = (line[i] + a) & 255
            elif f == 2: line[i] = (line[i] + b) & 255
            elif f == 3: line[i] = (line[i] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(line)
        prev = line
    return w, h, lambda x, y: tuple(rows[y][x * bpp:x * bpp + 3])

ole = olefile.OleFileIO(path, raise_defects=olefile.DEFECT_INCORRECT)
data = ole.openstream("Workbook").read()
pos, sheet, image, n = 0, -1, None, 0
records = []
while pos < len(data):
    rid, ln = struct.unpack_from("<HH", data, pos)
    records.append((rid, data[pos + 4:pos + 4 + ln]))
    pos += 4 + ln
for i, (rid, body) in enumerate(records):
    if rid == 0x0809 and struct.unpack_from("<H", body, 2)[0] == 0x10:
        sheet += 1
    if rid == 0x005D:
        count, kind, number = struct.unpack_from("<IHH", body)
        print("obj", sheet, count, kind, number, "anchor", *struct.unpack_from("<8H", body, 10))
    if rid == 0x007F:
        j = i + 1
        while records[j][0] == 0x003C:
            body += records[j][1]
            j += 1
        fmt, env, size = struct.unpack_from("<HHI", body)
        wmf = "%s/p%d.wmf" % (work, n)
        open(wmf, "wb").write(body[8:8 + size])
        svg = "%s/p%d.svg" % (work, n)
        subprocess.run(["wmf2svg", "-o", svg, wmf], check=True, capture_output=True)
        text = open(svg).read()
        width, height = re.search(r'<svg width="(\d+)" height="(\d+)"', text).groups()
        png = re.search(r'xlink:href="([^"]+)"', text).group(1)
        w, h, px = png_pixels(png if png.startswith("/") else work + "/" + png)
        print("imdata", sheet, fmt, env, size == len(body) - 8, "svg", width, height, "bitmap", w, h,
              px(0, 0), px(w - 1, 0), px(0, h - 1), px(w - 1, h - 1))
        n += 1
book = xlrd.open_workbook(path, formatting_info=True)
for sh in book.sheets():
    print("xlrd", sh.name, [sh.cell_value(0, c) for c in range(sh.ncols)])
)PY";

// The picture the tests place: 150 x 40, its left half red-blue, its top
// half blue, green at 128 throughout, as a 24-bit BMP.
std::string TestBmp() {
  const int w = 150, h = 40, row = (w * 3 + 3) & ~3;
  std::string bmp = "BM";
  auto le32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) bmp.push_back(static_cast<char>(v >> (8 * i))); };
  auto le16 = [&](uint16_t v) { for (int i = 0; i < 2; ++i) bmp.push_back(static_cast<char>(v >> (8 * i))); };
  le32(54 + row * h), le32(0), le32(54), le32(40), le32(w), le32(h), le16(1), le16(24), le32(0), le32(row * h);
  le32(2835), le32(2835), le32(0), le32(0);
  for (int y = h - 1; y >= 0; --y) {
    for (int x = 0; x < w; ++x) {
      bmp.push_back(y < 20 ? '\xFF' : 0);  // blue
      bmp.push_back('\x80');               // green
      bmp.push_back(x < 75 ? '\xFF' : 0);  // red
    }
    bmp.append(static_cast<size_t>(row - w * 3), '\0');
  }
  return bmp;
}

TEST(XlsReadback, PicturesPlacedByTheDemoToolReadBack) {
  const std::string dir = testsupport::TempDir("pictures");
  const std::string tool = std::string(KIV7_BINARY_DIR) + "/tools/xls_demo/xls_demo";
  testsupport::WriteFile(dir + "/pic.bmp", TestBmp());
  std::string out;
  ASSERT_EQ(testsupport::RunCommand("cjpeg -quality 95 " + dir + "/pic.bmp > " + dir + "/pic.jpg 2>&1", &out), 0) << out;
  testsupport::WriteFile(dir + "/a.csv", "a,b\n1,2\n");
  testsupport::WriteFile(dir + "/b.csv", "x\n");
  ASSERT_EQ(testsupport::RunCommand(tool + " " + dir + "/p.xls --sheet S1 " + dir + "/a.csv --sheet Второй " + dir +
                                        "/b.csv --picture S1!B3:" + dir + "/pic.bmp --picture S1!C5:" + dir +
                                        "/pic.jpg:250 --picture Второй!A1:" + dir + "/pic.bmp:100 2>&1",
                                    &out),
            0)
      << out;
  testsupport::WriteFile(dir + "/pictures.py", kPictureScript);
  ASSERT_EQ(testsupport::RunCommand(std::string(testsupport::Python()) + " " + dir + "/pictures.py " + dir + "/p.xls " +
                                        dir + " 2>&1",
                                    &out),
            0)
      << out;
  // Anchors by hand, on columns of 54 and rows of 17 pixels:
  // B3, 150 x 40: 150 = 54 + 54 + 42 -> D, 42 * 1024 / 54 = 796;
  //               40 = 17 + 17 + 6 -> row 5 (4), 6 * 256 / 17 = 90.
  // C5 at 250%, 375 x 100: 375 = 6 * 54 + 51 -> I (8), 967;
  //                        100 = 5 * 17 + 15 -> row 10 (9), 225.
  // A1 on the second sheet: D less one column (2), row 5 less two rows (2).
  // The JPEG's corners come back within its compression's error.
  const std::string bmp_corners = "(255, 128, 255) (0, 128, 255) (255, 128, 0) (0, 128, 0)";
  const std::vector<std::string> lines = {
      "obj 0 2 8 1 anchor 1 0 2 0 3 796 4 90",
      "imdata 0 2 1 True svg 150 40 bitmap 150 40 " + bmp_corners,
      "obj 0 2 8 2 anchor 2 0 4 0 8 967 9 225",
      "",  // the JPEG
      "obj 1 1 8 3 anchor 0 0 0 0 2 796 2 90",
      "imdata 1 2 1 True svg 150 40 bitmap 150 40 " + bmp_corners,
      "xlrd S1 ['a', 'b']",
      "xlrd Второй ['x']",
  };
  std::istringstream in(out);
  std::vector<std::string> got;
  for (std::string line; std::getline(in, line);) got.push_back(line);
  ASSERT_EQ(got.size(), lines.size()) << out;
  for (size_t i = 0; i < lines.size(); ++i)
    if (!lines[i].empty()) {
      EXPECT_EQ(got[i], lines[i]);
    }
  // The JPEG: its size, and each corner's channels within 8 of the BMP's.
  std::istringstream jpeg(got[3]);
  std::string word;
  std::vector<std::string> words;
  while (jpeg >> word) words.push_back(word);
  ASSERT_EQ(words.size(), 23u) << got[3];
  EXPECT_EQ(std::vector<std::string>(words.begin(), words.begin() + 11),
            (std::vector<std::string>{"imdata", "0", "2", "1", "True", "svg", "150", "40", "bitmap", "150", "40"}));
  const int expected[12] = {255, 128, 255, 0, 128, 255, 255, 128, 0, 0, 128, 0};
  for (int k = 0; k < 12; ++k) {
    std::string v = words[11 + static_cast<size_t>(k)];
    v.erase(std::remove_if(v.begin(), v.end(), [](char c) { return c == '(' || c == ')' || c == ','; }), v.end());
    EXPECT_NEAR(std::stoi(v), expected[k], 8) << "channel " << k;
  }

  // Gnumeric reads the workbook and the cells of both sheets; the pictures
  // widen the area it writes out with empty cells, dropped here.
  ASSERT_EQ(testsupport::RunCommand("ssconvert -S " + dir + "/p.xls " + dir + "/sheet_%n.csv 2>/dev/null", &out), 0)
      << out;
  auto cells = [&](const std::string& file) {
    std::istringstream csv(testsupport::ReadFile(file));
    std::string text;
    for (std::string line; std::getline(csv, line);) {
      line.erase(line.find_last_not_of(',') + 1);
      if (!line.empty()) text += line + "\n";
    }
    return text;
  };
  EXPECT_EQ(cells(dir + "/sheet_0.csv"), "a,b\n1,2\n");
  EXPECT_EQ(cells(dir + "/sheet_1.csv"), "x\n");
  // It places the picture objects on the cells of their anchors (their
  // metafile contents it leaves empty, see the README).
  ASSERT_EQ(testsupport::RunCommand("ssconvert " + dir + "/p.xls " + dir + "/p.gnumeric 2>/dev/null && zcat " + dir +
                                        "/p.gnumeric | grep -o 'ObjectBound=\"[^\"]*\"'",
                                    &out),
            0)
      << out;
  EXPECT_EQ(out, "ObjectBound=\"B3:D5\"\nObjectBound=\"C5:I10\"\nObjectBound=\"A1:C3\"\n");

  // A picture that is no BMP or JPEG, and a scale below 1, are refused.
  for (const std::string& bad : {"S1!A1:" + dir + "/a.csv", "S1!A1:" + dir + "/pic.bmp:0", "S1!A1:" + dir + "/none.bmp"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(testsupport::RunCommand(tool + " " + dir + "/bad.xls --sheet S1 " + dir + "/a.csv --picture " + bad +
                                          " 2>&1",
                                      &out),
              2)
        << out;
    EXPECT_FALSE(std::filesystem::exists(dir + "/bad.xls"));
  }
}

TEST(XlsReadback, LongSharedStringTableReadsBack) {
  const std::string dir = testsupport::TempDir("sst");
  TvteXLSWorkbook book;
  TvteXLSWorksheet* sheet = book.AddSheet();
  sheet->SetName(Utf8ToAnsi("Строки"));
  for (int i = 0; i < 2000; ++i) sheet->GetRange(0, i, 0, i)->SetValue(Variant(Format("s%.8d", {i})));
  sheet->GetRange(1, 0, 1, 0)->SetValue(Variant(Utf8ToAnsi("Ж") + std::string(4999, 'z')));
  TvteExcelWriter writer;
  writer.Save(book, dir + "/sst.xls");
  const std::string script =
      "import xlrd\n"
      "b = xlrd.open_workbook('" + dir + "/sst.xls', formatting_info=True)\n"
      "s = b.sheet_by_index(0)\n"
      "ok = all(s.cell_value(i, 0) == 's%08d' % i for i in range(2000))\n"
      "print(s.name, s.nrows, ok, s.cell_value(0, 1) == 'Ж' + 'z' * 4999)\n";
  testsupport::WriteFile(dir + "/check.py", script);
  std::string out;
  EXPECT_EQ(testsupport::RunCommand(std::string(testsupport::Python()) + " " + dir + "/check.py 2>&1", &out), 0);
  EXPECT_EQ(out, "Строки 2000 True True\n");
}

// The palette and the function table against an independent reader's copies
// of the published ones.
TEST(XlsReadback, PaletteAndFunctionTableMatchTheReader) {
  const std::string dir = testsupport::TempDir("tables");
  TvteXLSWorkbook book;
  TvteXLSRange* r = book.AddSheet()->GetRange(0, 0, 0, 0);
  r->Font().Color = 0x123456;  // replaces palette entry 24, so PALETTE is written
  r->SetValue(Variant(1));
  TvteExcelWriter writer;
  writer.Save(book, dir + "/palette.xls");
  int count = 0;
  const rvteExcelFunctionInfo* table = vteExcelFunctions(&count);
  std::string functions;
  for (int i = 0; i < count; ++i) functions += std::to_string(table[i].Number) + " " + table[i].Name + "\n";
  testsupport::WriteFile(dir + "/functions.txt", functions);
  const std::string script =
      "import xlrd\n"
      "from xlrd import formatting, formula\n"
      "b = xlrd.open_workbook('" + dir + "/palette.xls', formatting_info=True)\n"
      "bad = [i for i in range(8, 64) if i != 24 and b.colour_map[i] != formatting.excel_default_palette_b8[i - 8]]\n"
      "print('palette', bad, b.colour_map[24])\n"
      "seen, wrong = 0, []\n"
      "for line in open('" + dir + "/functions.txt'):\n"
      "    number, name = line.split()\n"
      "    d = formula.func_defs.get(int(number))\n"
      // The reader files number 92 (SERIES, a chart function) under another name.
      "    if d and number != '92':\n"
      "        seen += 1\n"
      "        if d[0].replace('.', '').upper() != name.upper(): wrong.append((number, name, d[0]))\n"
      "print('functions', seen, wrong)\n";
  testsupport::WriteFile(dir + "/check.py", script);
  std::string out;
  EXPECT_EQ(testsupport::RunCommand(std::string(testsupport::Python()) + " " + dir + "/check.py 2>&1", &out), 0);
  EXPECT_EQ(out, "palette [] (86, 52, 18)\nfunctions 237 []\n");
}

}  // namespace readback_test
