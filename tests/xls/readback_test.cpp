// Files the writer and xls_demo make, read back by independent readers:
// python3-xlrd (with formatting) and python3-olefile's strict parse.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/testsupport.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "xls/vteExcelFormula_iftab.h"
#include "xls/vteWriters.h"

namespace {

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

}  // namespace
