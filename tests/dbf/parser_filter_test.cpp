// "dbftool dump --filter" against an independent filter: a table written by
// python3-dbf is filtered by our expression and, row by row, by a Python
// condition over python3-dbfread's records; both must select the same rows.
// Also "dbftool eval" for values and kinds without a table.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "tests/support/testsupport.h"

namespace parser_filter_test {

using testsupport::Python;
using testsupport::RunCommand;
using testsupport::TempDir;
using testsupport::WriteFile;

std::string Tool() { return std::string(KIV7_BINARY_DIR) + "/tools/dbftool/dbftool"; }

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

// Forty rows: numbers, Cyrillic and Latin names in both cases, dates with
// gaps, logical values with gaps.
const char* const kMakeTable = R"(
import dbf, datetime, sys
t = dbf.Table(sys.argv[1], 'N N(9,0); NB_TYPE N(4,0); NAME C(20); P N(18,9); D D; OK L',
              codepage='cp1251', dbf_type='db3')
t.open(mode=dbf.READ_WRITE)
names = ['Иванов', 'иванов', 'Петров', 'Ёлкин', 'ABC', 'abc', 'Abcdef', '', 'Сидоров-Петров', 'xAB']
for i in range(1, 41):
    d = None if i % 7 == 0 else datetime.date(2015 + i % 10, 1 + i % 12, 1 + i % 28)
    ok = None if i % 5 == 0 else (i % 2 == 0)
    t.append((i, i % 3, names[i % len(names)], (i * 37 % 100) / 4.0 - 10, d, ok))
t.close()
)";

// Prints N of every row the condition (a Python expression over r) accepts.
const char* const kSelect = R"(
import dbfread, datetime, sys
cond = eval('lambda r: ' + sys.argv[2])
for r in dbfread.DBF(sys.argv[1], encoding='cp1251'):
    if cond(r):
        print(int(r['N']))
)";

std::set<std::string> Lines(const std::string& text, bool skip_header, bool first_column) {
  std::set<std::string> out;
  std::istringstream in(text);
  std::string line;
  bool header = skip_header;
  while (std::getline(in, line)) {
    if (header) {
      header = false;
      continue;
    }
    if (first_column) line = line.substr(0, line.find(','));
    out.insert(line);
  }
  return out;
}

TEST(ParserFilter, DumpFilterSelectsWhatAnIndependentFilterSelects) {
  const std::string dir = TempDir("filter");
  const std::string table = dir + "/t.dbf";
  WriteFile(dir + "/make.py", kMakeTable);
  WriteFile(dir + "/select.py", kSelect);
  std::string out;
  ASSERT_EQ(RunCommand(std::string(Python()) + " " + dir + "/make.py " + table + " 2>&1", &out), 0) << out;

  const struct {
    const char* expression;
    const char* condition;
  } cases[] = {
      {"NB_TYPE=1", "r['NB_TYPE'] == 1"},
      {"NB_TYPE=0", "r['NB_TYPE'] == 0"},
      {"N>10 AND N<=20", "10 < r['N'] <= 20"},
      {"N-1-1 = 5", "r['N'] - 2 == 5"},
      {"N*2+1 > 60", "r['N'] * 2 + 1 > 60"},
      {"P < 0 .OR. NB_TYPE=2", "r['P'] < 0 or r['NB_TYPE'] == 2"},
      {".NOT. P >= 2.5", "not r['P'] >= 2.5"},
      {"(NB_TYPE=0 OR NB_TYPE=2) AND NOT P>0", "r['NB_TYPE'] in (0, 2) and not r['P'] > 0"},
      {"NAME='Иванов'", "r['NAME'] == 'Иванов'"},
      {"NAME='Петров' OR NAME='Ёлкин'", "r['NAME'] in ('Петров', 'Ёлкин')"},
      {"NAME='Сидоров*'", "r['NAME'].startswith('Сидоров')"},
      {"NAME='*Петров'", "r['NAME'].endswith('Петров')"},
      {"NAME='*AB*'", "'AB' in r['NAME']"},
      {"NAME='abc'", "r['NAME'] == 'abc'"},
      {"NAME=''", "r['NAME'] == ''"},
      {"UPPER(NAME)='ABC'", "r['NAME'].upper() == 'ABC'"},
      {"SUBSTR(NAME,2,3)='bcd'", "r['NAME'][1:4] == 'bcd'"},
      {"DTOS(D) >= '20200101'", "r['D'] is not None and r['D'] >= datetime.date(2020, 1, 1)"},
      {"DTOS(D) = '18991230'", "r['D'] is None"},
      {"SUBSTR(DTOS(D),5,2)='03' AND NB_TYPE<>1", "r['D'] is not None and r['D'].month == 3 and r['NB_TYPE'] != 1"},
      {"OK='T'", "r['OK'] is True"},
      {"OK='F' .AND. .NOT. NB_TYPE=1", "r['OK'] is False and r['NB_TYPE'] != 1"},
      {".NOT. (OK='T' .OR. OK='F') .OR. N=39", "r['OK'] is None or r['N'] == 39"},
  };
  for (const auto& c : cases) {
    std::string ours;
    ASSERT_EQ(RunCommand(Tool() + " dump " + table + " --filter " + Quote(c.expression) + " 2>&1", &ours), 0)
        << c.expression << "\n" << ours;
    std::string theirs;
    ASSERT_EQ(RunCommand(std::string(Python()) + " " + dir + "/select.py " + table + " " + Quote(c.condition) +
                             " 2>&1",
                         &theirs),
              0)
        << theirs;
    const std::set<std::string> expected = Lines(theirs, false, false);
    EXPECT_FALSE(expected.empty()) << c.condition << " selects nothing: a weak case";
    EXPECT_EQ(Lines(ours, true, true), expected) << c.expression;
  }
}

TEST(ParserFilter, DumpRefusesAFilterThatIsNotACondition) {
  const std::string dir = TempDir("bad");
  const std::string table = dir + "/t.dbf";
  WriteFile(dir + "/make.py", kMakeTable);
  std::string out;
  ASSERT_EQ(RunCommand(std::string(Python()) + " " + dir + "/make.py " + table + " 2>&1", &out), 0) << out;
  const struct {
    const char* expression;
    int status;
    const char* message;
  } cases[] = {
      {"N+1", 2, "dbftool: the filter \"N+1\" is not a condition"},
      {"NB_TYPE=", 1, "dbftool: Expression ends with an operator"},
      {"XYZ=1", 1, "dbftool: Index based on unknown field \"XYZ\"."},
      {"D=1", 1, "dbftool: Argument type mismatch"},
  };
  for (const auto& c : cases) {
    const int status = RunCommand(Tool() + " dump " + table + " --filter " + Quote(c.expression) + " 2>&1", &out);
    EXPECT_EQ(status, c.status) << c.expression;
    EXPECT_EQ(out.substr(0, out.find('\n')), c.message);
  }
}

TEST(ParserFilter, EvalPrintsTheValueAndItsKind) {
  const struct {
    const char* expression;
    const char* output;
  } cases[] = {
      {"10-3-2", "integer\t5\n"},
      {"2+3*4", "integer\t14\n"},
      {"7/2", "integer\t3\n"},
      {"7.0/2", "float\t3.5\n"},
      {"1<2 .AND. 'a'<>'b'", "boolean\ttrue\n"},
      {"UPPER('abc')+'ё'", "text\tABCё\n"},
      {"STR(3.14159, 8, 2)", "text\t    3.14\n"},
      {"1/0", "dbftool: Division by zero\n"},
      {"(1", "dbftool: Unequal brackets\n"},
  };
  for (const auto& c : cases) {
    std::string out;
    RunCommand(Tool() + " eval " + Quote(c.expression) + " 2>&1", &out);
    EXPECT_EQ(out, c.output) << c.expression;
  }
}

}  // namespace parser_filter_test
