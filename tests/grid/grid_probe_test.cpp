// grid_probe over a measurement table: the painted cells against what an
// independent dBASE reader finds in the file, the window moved by --top,
// stacked fields, the written picture and the errors.
#include <gtest/gtest.h>

#include <QImage>

#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "grid/rs.h"
#include "tests/grid/grid_support.h"
#include "tests/support/testsupport.h"

namespace grid_probe_test {

using testsupport::RunCommand;

std::string Bin(const std::string& tool) { return std::string(KIV7_BINARY_DIR) + "/tools/" + tool + "/" + tool; }

// A measurement table of 40 rows: P changes sign every other row, ZAV holds
// Cyrillic and Latin text.
const std::string& Table() {
  static const std::string file = [] {
    const std::string dir = testsupport::TempDir("grid_probe");
    const std::string path = dir + "/m.db";
    std::string out;
    EXPECT_EQ(RunCommand(Bin("dbftool") + " create-measurement " + path + " 2>&1", &out), 0) << out;
    std::ostringstream csv;
    csv << "N,DATE,TIME,P,ZAV,A1,A2,A3\n";
    for (int n = 1; n <= 40; ++n) {
      const double p = (n % 2 == 0 ? 1 : -1) * (n * 1.25 + 0.001);
      csv << n << ",0" << (n % 9 + 1) << ".03.2024,10:" << (10 + n) << ":00," << p << ","
          << (n % 3 == 0 ? "Завод №" : "Plant ") << n << "," << n * 10 + 1 << "," << n * 10 + 2 << ","
          << n * 10 + 3 << "\n";
    }
    testsupport::WriteFile(dir + "/rows.csv", csv.str());
    EXPECT_EQ(RunCommand(Bin("dbftool") + " append " + path + " < " + dir + "/rows.csv 2>&1", &out), 0) << out;
    return path;
  }();
  return file;
}

struct Cell {
  std::string row, field, text;
};

std::vector<Cell> Cells(const std::string& args, int* rc = nullptr) {
  std::string out;
  const int code = RunCommand("QT_QPA_PLATFORM=offscreen " + Bin("grid_probe") + " " + args + " 2>/dev/null", &out);
  if (rc != nullptr) *rc = code;
  std::vector<Cell> cells;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    const size_t a = line.find('\t'), b = line.find('\t', a + 1);
    EXPECT_NE(b, std::string::npos) << line;
    if (b == std::string::npos) continue;
    cells.push_back({line.substr(0, a), line.substr(a + 1, b - a - 1), line.substr(b + 1)});
  }
  return cells;
}

// Row number -> field -> text of the painted data cells.
std::map<int, std::map<std::string, std::string>> Rows(const std::vector<Cell>& cells) {
  std::map<int, std::map<std::string, std::string>> rows;
  for (const Cell& c : cells)
    if (c.row != "T" && c.row != "F") rows[std::stoi(c.row)][c.field] = c.text;
  return rows;
}

// The rows of the file as python3-dbfread reads them, passing keep (a
// Python expression over r), as lists of the fields' values.
std::vector<std::vector<std::string>> Reader(const std::string& keep, const std::vector<std::string>& fields) {
  std::string list;
  for (const std::string& f : fields) list += "'" + f + "',";
  const std::string script =
      "import dbfread\n"
      "for r in dbfread.DBF('" + Table() + "'):\n"
      "    if " + keep + ":\n"
      "        print('\\t'.join('' if r[f] is None else str(r[f]).strip() for f in [" + list + "]))\n";
  testsupport::WriteFile(Table() + ".py", script);
  std::string out;
  EXPECT_EQ(RunCommand(std::string("PYTHONIOENCODING=utf-8 ") + testsupport::Python() + " " + Table() + ".py", &out),
            0)
      << out;
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> values;
    std::istringstream fields_in(line);
    for (std::string v; std::getline(fields_in, v, '\t');) values.push_back(v);
    values.resize(fields.size());
    rows.push_back(values);
  }
  return rows;
}

// A number as the grid shows it (a decimal comma or point) equals the reader's.
bool SameValue(const std::string& shown, const std::string& read) {
  if (shown == read) return true;
  std::string dotted = shown;
  for (char& ch : dotted)
    if (ch == ',') ch = '.';
  char* end = nullptr;
  const double a = std::strtod(dotted.c_str(), &end);
  if (dotted.empty() || *end != '\0') return false;
  const double b = std::strtod(read.c_str(), &end);
  return !read.empty() && *end == '\0' && std::fabs(a - b) < 1e-9;
}

TEST(GridProbe, ShowsTheFilteredRowsAsTheReaderFindsThemInTheFile) {
  const std::vector<std::string> fields = {"N", "P", "ZAV", "DATE"};
  const std::vector<Cell> cells = Cells(Table() + " --filter 'P>0' --columns 'N:40;P:120;ZAV:140;DATE:100' --size 700x2000 --cells");
  const auto shown = Rows(cells);
  const auto expected = Reader("r['P'] > 0", fields);
  ASSERT_EQ(expected.size(), 20u);
  ASSERT_EQ(shown.size(), expected.size());
  int n = 1;
  for (const auto& [row, values] : shown) {
    ASSERT_EQ(row, n) << "rows are numbered in the grid's order";
    const std::vector<std::string>& want = expected[static_cast<size_t>(n - 1)];
    for (size_t f = 0; f < fields.size(); ++f) {
      auto it = values.find(fields[f]);
      ASSERT_NE(it, values.end()) << row << " " << fields[f];
      EXPECT_TRUE(SameValue(it->second, want[f])) << row << " " << fields[f] << ": " << it->second << " / " << want[f];
    }
    ++n;
  }
  // One title per column, painted after the cells, with the field names.
  std::vector<std::string> titles;
  for (const Cell& c : cells)
    if (c.row == "T") titles.push_back(c.text);
  EXPECT_EQ(titles, fields);
}

TEST(GridProbe, AFilterThatLeavesNoRowsPaintsTitlesOnly) {
  const std::vector<Cell> cells = Cells(Table() + " --filter 'N>100' --columns 'N;ZAV:80:Завод' --cells");
  ASSERT_EQ(cells.size(), 2u);
  EXPECT_EQ(cells[0].row, "T");
  EXPECT_EQ(cells[1].text, "Завод");
}

TEST(GridProbe, TopMovesTheWindow) {
  struct Case {
    int top;
    int first;  // the first row shown
  };
  // 40 rows; near the end the window shows the last rows.
  for (const Case& c : {Case{1, 1}, Case{7, 7}, Case{25, 25}, Case{40, -1}}) {
    SCOPED_TRACE(c.top);
    const auto shown = Rows(Cells(Table() + " --columns 'N;ZAV' --size 400x150 --cells --top " + std::to_string(c.top)));
    ASSERT_FALSE(shown.empty());
    ASSERT_LT(shown.size(), 40u);
    if (c.first > 0) {
      EXPECT_EQ(shown.begin()->first, c.first);
    } else {
      EXPECT_EQ(shown.rbegin()->first, 40);
    }
    // The row number is the record's: N counts the rows of the file.
    for (const auto& [row, values] : shown) EXPECT_EQ(values.at("N"), std::to_string(row));
  }
}

TEST(GridProbe, StackedFieldsShareOneGroup) {
  const auto shown = Rows(Cells(Table() + " --columns 'N:40;A1|A2|A3:60' --size 600x300 --cells"));
  ASSERT_FALSE(shown.empty());
  for (const auto& [row, values] : shown) {
    EXPECT_EQ(values.at("A1"), std::to_string(row * 10 + 1));
    EXPECT_EQ(values.at("A2"), std::to_string(row * 10 + 2));
    EXPECT_EQ(values.at("A3"), std::to_string(row * 10 + 3));
  }
  // In pictures: stacked, the grid ends after the 60 pixels of the group;
  // side by side, three columns go on past it.
  const std::string dir = testsupport::TempDir("grid_probe_png");
  std::string out;
  ASSERT_EQ(RunCommand(Bin("grid_probe") + " " + Table() + " --columns 'N:40;A1|A2|A3:60' --size 600x300 --png " + dir +
                           "/stacked.png 2>&1",
                       &out),
            0)
      << out;
  ASSERT_EQ(RunCommand(Bin("grid_probe") + " " + Table() + " --columns 'N:40;A1:60;A2:60;A3:60' --size 600x300 --png " +
                           dir + "/side.png 2>&1",
                       &out),
            0)
      << out;
  const QImage stacked(QString::fromStdString(dir + "/stacked.png"));
  const QImage side(QString::fromStdString(dir + "/side.png"));
  ASSERT_FALSE(stacked.isNull());
  ASSERT_FALSE(side.isNull());
  const QRgb white = qRgb(255, 255, 255);
  EXPECT_EQ(stacked.pixel(150, 3), white);
  EXPECT_NE(side.pixel(150, 3), white);
  // The stacked group's titles stand one under the other: its title band is
  // higher than a single line's.
  auto band = [&](const QImage& image) {
    int y = 0;
    while (y < image.height() && image.pixel(20, y) != white) ++y;
    return y;
  };
  EXPECT_GT(band(stacked), 2 * band(side) - 4);
}

TEST(GridProbe, PicturesShowTitlesLinesAndTheSelectedRow) {
  for (const char* designer : {"standard", "lite"}) {
    SCOPED_TRACE(designer);
    const std::string png = testsupport::TempDir("grid_probe_png") + "/" + designer + ".png";
    std::string out;
    ASSERT_EQ(RunCommand(Bin("grid_probe") + " " + Table() + " --columns 'N:40;P:100' --size 300x200 --top 3 --designer " +
                             designer + " --png " + png + " 2>&1",
                         &out),
              0)
        << out;
    const QImage image(QString::fromStdString(png));
    ASSERT_GE(image.width(), 300);
    ASSERT_GE(image.height(), 200);
    const QRgb white = qRgb(255, 255, 255);
    const TColor hl = ColorToRGB(clHighlight);
    const QRgb highlight = qRgb(hl & 0xFF, (hl >> 8) & 0xFF, (hl >> 16) & 0xFF);
    const TColor face = ColorToRGB(clBtnFace);
    const QRgb title = qRgb(face & 0xFF, (face >> 8) & 0xFF, (face >> 16) & 0xFF);
    // Titles on the title colour at the top.
    EXPECT_EQ(image.pixel(20, 4), title);
    // Below them the first shown row is the current one, in the highlight.
    int y = 4;
    while (y < image.height() && image.pixel(20, y) != highlight) ++y;
    ASSERT_LT(y, 60) << "no selected row under the titles";
    const int selected_top = y;
    while (y < image.height() && image.pixel(20, y) == highlight) ++y;
    EXPECT_GT(y - selected_top, 8);
    // The next row is not selected.
    EXPECT_EQ(image.pixel(20, y + 4), white);
    // A vertical grid line ends the first column, over rows and titles.
    const int line_x = std::string(designer) == "lite" ? 40 : 42;
    EXPECT_NE(image.pixel(line_x, y + 4), white);
    EXPECT_NE(image.pixel(line_x, 4), title);
  }
}

TEST(GridProbe, BadInputIsRefusedClearly) {
  struct Case {
    std::string args;
    std::string message;
  };
  const Case cases[] = {
      {"/nonexistent/t.db --cells", "no table /nonexistent/t.db"},
      {Table() + " --columns 'N;NOPE' --cells", "unknown field NOPE"},
      {Table() + " --size 3 --cells", "bad --size"},
      {Table() + " --designer fancy", "bad --designer"},
      {Table() + " --top 0", "bad --top"},
      {Table() + " --bogus", "unknown option --bogus"},
      {Table() + " --filter 'N>>'", "bad --filter"},
      {Table() + " --columns 'N:wide'", "bad column width"},
      {"", "no table given"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    std::string out;
    const int rc = RunCommand("QT_QPA_PLATFORM=offscreen " + Bin("grid_probe") + " " + c.args + " 2>&1", &out);
    EXPECT_NE(rc, 0);
    EXPECT_NE(out.find(c.message), std::string::npos) << out;
  }
}

}  // namespace grid_probe_test
