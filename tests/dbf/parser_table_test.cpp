// TDbfParser over a table's fields: field variables of every supported type,
// the single-field fast path, result lengths and the key limit, raw and
// converted texts, and the bounded code-page conversion.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dbf/dbf_dbffile.h"
#include "dbf/dbf_parser.h"
#include "dbf/dbf_str.h"
#include "tests/dbf/dbf_fixtures.h"
#include "tests/dbf/parser_support.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"

namespace parser_table_test {

using dbf_fixtures::RawField;

std::string Right(const std::string& text, int width) { return std::string(size_t(width) - text.size(), ' ') + text; }
std::string Left(const std::string& text, int width) { return text + std::string(size_t(width) - text.size(), ' '); }

const std::vector<RawField> kFields = {
    {"N", 'N', 9, 0},     {"NB_TYPE", 'N', 4, 0}, {"NAME", 'C', 10, 0}, {"P", 'N', 18, 9},
    {"D", 'D', 8, 0},     {"OK", 'L', 1, 0},      {"BIG", 'N', 18, 0},  {"NOTE", 'M', 10, 0},
};

struct Row {
  int n;
  int nb_type;
  std::string name_utf8;
  std::string p;
  std::string d;
  char ok;
  std::string big;
};

const Row kRows[] = {
    {1, 0, "Иванов", "1.5", "20240229", 'T', "5000000000"},
    {2, 1, "петров", "-2.25", "20231231", 'F', "-7"},
    {3, 1, "ABC", "100", "", ' ', ""},
    {4, -5, "abcdef", "0", "19991231", 't', "900000000000000000"},
};

// A table of the rows above, its text in the given code page.
class TableFixture {
 public:
  explicit TableFixture(uint8_t language, unsigned code_page) {
    std::vector<std::string> records;
    for (const Row& r : kRows) {
      std::string rec = " ";
      rec += Right(std::to_string(r.n), 9);
      rec += Right(std::to_string(r.nb_type), 4);
      rec += Left(ConvertCodePage(r.name_utf8, kUtf8CodePage, code_page), 10);
      rec += Right(r.p, 18);
      rec += Left(r.d, 8);
      rec += r.ok;
      rec += Right(r.big, 18);
      rec += Left("", 10);
      records.push_back(rec);
    }
    path_ = testsupport::TempDir("table") + "/t.dbf";
    testsupport::WriteFile(path_, dbf_fixtures::RawTable(0x03, language, kFields, records));
    file_ = std::make_unique<TDbfFile>();
    file_->SetFileName(path_);
    file_->SetMode(pmReadOnly);
    file_->SetUseFloatFields(false);
    file_->OpenAndReadHeader();
    for (size_t i = 1; i <= std::size(kRows); ++i) {
      std::vector<char> buffer(size_t(file_->RecordSize()));
      EXPECT_EQ(file_->ReadRecordAt(int64_t(i), buffer.data()), file_->RecordSize());
      records_.push_back(buffer);
    }
  }

  TDbfFile* File() { return file_.get(); }
  const char* Record(int n) { return records_[size_t(n - 1)].data(); }

  // The numbers of the rows the compiled filter accepts.
  std::string Accepted(TDbfParser& parser) {
    std::string out;
    for (int n = 1; n <= int(records_.size()); ++n)
      if (parser.EvaluateRecord(Record(n))[0] != 0) out += std::to_string(n);
    return out;
  }

 private:
  std::string path_;
  std::unique_ptr<TDbfFile> file_;
  std::vector<std::vector<char>> records_;
};

TEST(ParserTable, FiltersSelectTheRowsTheyDescribe) {
  TableFixture table(0xC9, 1251);
  const struct {
    std::string text;
    const char* rows;
  } cases[] = {
      {"NB_TYPE=0", "1"},
      {"nb_type=1", "23"},
      {"NB_TYPE<0", "4"},
      {"N>1 AND N<4", "23"},
      {"N=1 OR NOT NB_TYPE=1", "14"},
      {"N>=2 .AND. .NOT. NB_TYPE=1", "4"},
      {"P>1.4", "13"},
      {"P*2 = 3", "1"},
      {"BIG > 4999999999.0", "14"},
      {"BIG <> 1.5", "1234"},
      {"BIG + N < 0", "2"},
      {Utf8ToAnsi("NAME='Иванов'"), "1"},
      {Utf8ToAnsi("NAME='ИВАНОВ'"), "1"},
      {Utf8ToAnsi("NAME='Пет*'"), "2"},
      {"NAME='ABC'", "3"},
      {"NAME='*cd*'", "4"},
      {"UPPER(SUBSTR(NAME,1,3))='ABC'", "34"},
      {"DTOS(D) >= '20231231'", "12"},
      {"DTOS(D) = '18991230'", "3"},
      {"OK='T'", "14"},
      {"OK='F' OR OK=''", "23"},
      {"STR(N, 3) = '  2'", "2"},
  };
  TDbfParser parser(table.File());
  parser.SetRawStrings(false);
  parser.SetPartialCompare(true);
  for (const auto& c : cases) {
    parser.CompileText(c.text);
    EXPECT_EQ(parser.GetResultKind(), ekBoolean) << AnsiToUtf8(c.text);
    EXPECT_EQ(parser.ResultLength(), 1);
    EXPECT_EQ(table.Accepted(parser), c.rows) << AnsiToUtf8(c.text);
  }
}

TEST(ParserTable, ASingleFieldIsTheFieldItself) {
  TableFixture table(0xC9, 1251);
  TDbfParser parser(table.File());
  const struct {
    const char* text;
    TExprKind kind;
    int length;
    const char* value_of_row_2;
  } cases[] = {
      {"N", ekInteger, 4, "2"},
      {"nb_type", ekInteger, 4, "1"},
      {"P", ekFloat, 8, "-2.25"},
      {"BIG", ekLargeInt, 8, "-7"},
      {"D", ekDateTime, 8, nullptr},
      {"NAME", ekString, 10, nullptr},
  };
  for (const auto& c : cases) {
    parser.CompileText(c.text);
    EXPECT_FALSE(parser.HoldsExpression()) << c.text;
    EXPECT_EQ(parser.FirstRecord(), nullptr) << c.text;
    EXPECT_EQ(parser.GetResultKind(), c.kind) << c.text;
    EXPECT_EQ(parser.ResultLength(), c.length) << c.text;
    const char* value = parser.EvaluateRecord(table.Record(2));
    if (c.value_of_row_2 != nullptr) {
      EXPECT_EQ(parser_test::Show(c.kind, value), c.value_of_row_2) << c.text;
    }
  }
  // A raw text field is the field's bytes inside the record, padded, not terminated.
  parser.CompileText("NAME");
  const char* value = parser.EvaluateRecord(table.Record(3));
  EXPECT_EQ(value, table.Record(3) + table.File()->FindField("NAME")->Offset());
  EXPECT_EQ(std::string(value, 10), "ABC       ");
  parser.CompileText("D");
  const double leap_day = EncodeDate(2024, 2, 29);
  EXPECT_EQ(parser_test::Show(ekDateTime, parser.EvaluateRecord(table.Record(1))),
            parser_test::Show(ekDateTime, reinterpret_cast<const char*>(&leap_day)));
}

TEST(ParserTable, RawTextsArePaddedAndConvertedTextsAreTrimmed) {
  TableFixture table(0xC9, 1251);
  TDbfParser parser(table.File());
  parser.CompileText("NAME+'|'");
  EXPECT_EQ(parser.ResultLength(), 11);  // a blank record's padded field and the bar
  EXPECT_EQ(std::string(parser.EvaluateRecord(table.Record(3))), "ABC       |");
  parser.SetRawStrings(false);
  EXPECT_EQ(parser.ExpressionText(), "NAME+'|'");  // recompiled with the new setting
  EXPECT_EQ(std::string(parser.EvaluateRecord(table.Record(3))), "ABC|");
}

TEST(ParserTable, OptionSettersRecompileTheText) {
  TableFixture table(0xC9, 1251);
  TDbfParser parser(table.File());
  parser.SetRawStrings(false);
  parser.CompileText("NAME='abc'");
  EXPECT_EQ(table.Accepted(parser), "3");
  parser.SetIgnoreCase(false);
  EXPECT_EQ(parser.ExpressionText(), "NAME='abc'");
  EXPECT_EQ(table.Accepted(parser), "");
  parser.SetPartialCompare(true);
  parser.CompileText("NAME='abc*'");
  EXPECT_EQ(table.Accepted(parser), "4");
  parser.SetIgnoreCase(true);
  EXPECT_EQ(table.Accepted(parser), "34");
}

TEST(ParserTable, TextsOfAnOemTableAreConvertedWhenNotRaw) {
  TableFixture table(0x26, 866);
  TDbfParser parser(table.File());
  parser.CompileText(Utf8ToAnsi("NAME='Иванов'"));
  EXPECT_EQ(table.Accepted(parser), "");  // raw: the 866 bytes against 1251 text
  parser.SetRawStrings(false);
  EXPECT_EQ(table.Accepted(parser), "1");
}

TEST(ParserTable, NamesAndKeysTheTableCannotServeAreRefused) {
  TableFixture table(0xC9, 1251);
  const struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"XYZ", "Index based on unknown field \"XYZ\"."},
      {"N + XYZ", "Index based on unknown field \"XYZ\"."},
      {"NOTE", "Field \"NOTE\" is an invalid field type to base index on."},
      {"UPPER(NOTE)", "Field \"NOTE\" is an invalid field type to base index on."},
      {"NAME+NAME+NAME+NAME+NAME+NAME+NAME+NAME+NAME+NAME+'x'",
       "Index result for \"NAME+NAME+NAME+NAME+NAME+NAME+NAME+NAME+NAME+NAME+'x'\" too long, >100 characters "
       "(101)."},
  };
  for (const auto& c : cases) {
    TDbfParser parser(table.File());
    try {
      parser.CompileText(c.text);
      ADD_FAILURE() << c.text << " compiled";
    } catch (const EDbfError& e) {
      EXPECT_EQ(e.Message(), c.error);
    }
    EXPECT_EQ(parser.ExpressionText(), "");
    EXPECT_EQ(parser.FirstRecord(), nullptr);
  }
  // The same parser compiles again after a failure.
  TDbfParser parser(table.File());
  EXPECT_THROW(parser.CompileText("N + XYZ"), EDbfError);
  parser.CompileText("N=2");
  EXPECT_EQ(table.Accepted(parser), "2");
}

TEST(ParserTable, ConversionNeverWritesPastItsDestination) {
  const std::string abv = Utf8ToAnsi("абв");  // three 1251 bytes, six UTF-8 bytes
  const struct {
    std::string text;
    unsigned from, to;
    int capacity;
    std::string expected;
  } cases[] = {
      {abv, 1251, 65001, 7, "абв"},
      {abv, 1251, 65001, 6, "аб"},  // a third letter would need two more bytes
      {abv, 1251, 65001, 5, "аб"},
      {abv, 1251, 65001, 4, "а"},
      {abv, 1251, 65001, 2, ""},
      {abv, 1251, 65001, 1, ""},
      {abv, 1251, 866, 3, ConvertCodePage(Utf8ToAnsi("аб"), 1251, 866)},
      {"abcdef", 1251, 1251, 4, "abc"},
      {"abc", 1251, 1251, 4, "abc"},
  };
  for (const auto& c : cases) {
    char dest[16];
    std::memset(dest, 'Z', sizeof dest);
    const int length = ConvertCodePageBounded(c.text, c.from, c.to, dest, c.capacity);
    EXPECT_EQ(std::string(dest, size_t(length)), c.expected) << c.capacity << " " << c.to;
    EXPECT_EQ(dest[length], '\0');
    for (size_t i = size_t(c.capacity); i < sizeof dest; ++i) ASSERT_EQ(dest[i], 'Z') << "written past at " << i;
  }
}

}  // namespace parser_table_test
