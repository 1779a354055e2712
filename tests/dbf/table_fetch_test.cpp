// The table component: what it delivers (deleted records, the filter, the
// order), bookmarks and record numbers, field values and text translation.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "dbf/dbf.h"
#include "dbf/dbf_prsdef.h"
#include "dbf/dbf_str.h"
#include "tests/dbf/table_support.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"

namespace table_fetch_test {

using namespace table_support;
using namespace testsupport;

TBookmark Mark(int32_t n) { return TBookmark(reinterpret_cast<const char*>(&n), 4); }

TEST(TableFetch, DeletedRecordsShowOnlyWithShowDeleted) {
  const std::string dir = TempDir("deleted");
  auto t = Table(WriteTable(dir, {Rec(1, "a", 0), Rec(2, "b", 0, true), Rec(3, "c", 0), Rec(4, "d", 0, true)}));
  t->Activate();
  EXPECT_EQ(Column(*t), (Names{"a", "c"}));
  t->GoLast();
  EXPECT_EQ(t->FieldNamed("NAME")->GetStringValue(), "c");
  t->GoFirst();
  t->SetShowDeleted(true);
  EXPECT_EQ(t->FieldNamed("NAME")->GetStringValue(), "a") << "resynchronised in place";
  EXPECT_EQ(Column(*t), (Names{"a", "b", "c", "d"}));
  EXPECT_EQ(t->CursorRecordCount(), 4);
  t->SetShowDeleted(false);
  EXPECT_EQ(Column(*t), (Names{"a", "c"}));
  EXPECT_EQ(t->CursorRecordCount(), 4) << "the count is the file's, deleted and filtered records included";
}

TEST(TableFetch, FilterTextSelectsRowsWhileFiltered) {
  const std::string dir = TempDir("filter");
  const std::string file = WriteTable(
      dir, {Rec(1, "Abc", 0), Rec(2, "abc", 1), Rec(3, "abcdef", 1), Rec(4, "xab", 0), Rec(5, "ABC", 1, true)});
  const struct {
    const char* filter;
    TFilterOptions options;
    Names rows;
  } cases[] = {
      {"KIND=1", {}, {"abc", "abcdef"}},
      {"KIND=0 .AND. N>1", {}, {"xab"}},
      {"NAME='abc'", {}, {"abc"}},
      {"NAME='abc'", {foCaseInsensitive}, {"Abc", "abc"}},
      {"NAME='ab*'", {}, {"abc", "abcdef"}},
      {"NAME='ab*'", {foNoPartialCompare}, {}},
      {"N>=3", {}, {"abcdef", "xab"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.filter);
    auto t = Table(file);
    t->SetFilterOptions(c.options);
    t->SetFilter(c.filter);
    t->Activate();
    EXPECT_EQ(Column(*t), (Names{"Abc", "abc", "abcdef", "xab"})) << "not filtered yet";
    t->SetFiltered(true);
    EXPECT_EQ(Column(*t), c.rows);
  }
}

TEST(TableFetch, ChangingTheFilterResynchronises) {
  const std::string dir = TempDir("refilter");
  auto t = Table(WriteTable(dir, {Rec(1, "p1", 0), Rec(2, "p2", 0)}));
  t->SetFilter("KIND=1");
  t->SetFiltered(true);
  t->Activate();
  EXPECT_TRUE(t->HasNoRecords()) << "no kind-1 rows";
  t->SetFilter("KIND=0");
  EXPECT_FALSE(t->HasNoRecords());
  EXPECT_EQ(t->FieldNamed("NAME")->GetStringValue(), "p1");
  t->GoNext();
  t->SetFiltered(false);
  EXPECT_EQ(t->FieldNamed("NAME")->GetStringValue(), "p2") << "in place";
  t->SetFiltered(true);
  // A text that fails to compile leaves the filter in force as it was.
  EXPECT_THROW(t->SetFilter("KIND=("), EParserException);
  EXPECT_EQ(t->Filter(), "KIND=0");
  EXPECT_EQ(Column(*t), (Names{"p1", "p2"}));
  t->SetFilter("KIND=1");
  EXPECT_TRUE(t->HasNoRecords());
  EXPECT_THROW(t->SetFilter("NOSUCH=1"), EDbfError);
  EXPECT_TRUE(t->HasNoRecords());
  EXPECT_EQ(t->Filter(), "KIND=1");
}

TEST(TableFetch, OnFilterRecordSeesTheCandidateAndCanReject) {
  const std::string dir = TempDir("event");
  auto t = Table(WriteTable(dir, {Rec(1, "a", 1), Rec(2, "b", 1), Rec(3, "c", 0), Rec(4, "d", 1)}));
  t->SetFilter("KIND=1");
  std::vector<int> seen;
  t->SetOnFilterRecord([&](TDataSet* set, bool& accept) {
    EXPECT_EQ(set->CurrentMode(), dsFilter);
    const int n = set->FieldNamed("N")->GetIntegerValue();
    seen.push_back(n);
    accept = n != 2;
  });
  t->Activate();
  EXPECT_TRUE(seen.empty()) << "not while unfiltered";
  t->SetFiltered(true);
  seen.clear();
  EXPECT_EQ(Column(*t), (Names{"a", "d"}));
  EXPECT_EQ(t->CurrentMode(), dsBrowse);
  for (int n : seen) EXPECT_NE(n, 3) << "the filter text rejects first";
}

TEST(TableFetch, BookmarksAreRecordNumbers) {
  const std::string dir = TempDir("bookmarks");
  auto t = Table(WriteTable(dir, {Rec(1, "a", 0), Rec(2, "b", 0), Rec(3, "c", 0)}));
  t->Activate();
  t->GoNext();
  const TBookmark b = t->TakeBookmark();
  EXPECT_EQ(b, Mark(2));
  t->GoLast();
  t->ReturnToBookmark(b);
  EXPECT_EQ(t->FieldNamed("NAME")->GetStringValue(), "b");

  const struct {
    TBookmark a, b;
    int order;
  } order[] = {{Mark(1), Mark(2), -1}, {Mark(3), Mark(2), 1}, {Mark(2), Mark(2), 0},
               {Mark(1), TBookmark(), -1}, {TBookmark(), Mark(1), 1}, {TBookmark(), TBookmark(), 0}};
  for (const auto& c : order) EXPECT_EQ(t->CompareBookmarkValues(c.a, c.b), c.order);

  const struct {
    TBookmark b;
    bool valid;
  } valid[] = {{Mark(1), true}, {Mark(3), true}, {Mark(0), false}, {Mark(4), false}, {Mark(-1), false},
               {TBookmark("\x01\x00", 2), false}, {TBookmark(), false}};
  for (const auto& c : valid) EXPECT_EQ(t->BookmarkExists(c.b), c.valid);
  EXPECT_EQ(t->FieldNamed("NAME")->GetStringValue(), "b") << "testing bookmarks does not move";

  EXPECT_THROW(t->ReturnToBookmark(Mark(9)), EDatabaseError);
  t->ReturnToBookmark(Mark(0x7FFFFFFF));
  EXPECT_EQ(t->FieldNamed("NAME")->GetStringValue(), "c");
  t->ReturnToBookmark(Mark(0));
  EXPECT_EQ(t->FieldNamed("NAME")->GetStringValue(), "a");
}

TEST(TableFetch, RecordNumbersArePhysical) {
  const std::string dir = TempDir("recno");
  auto t = Table(WriteTable(dir, {Rec(1, "a", 1), Rec(2, "b", 0), Rec(3, "c", 1), Rec(4, "d", 1)}));
  t->SetFilter("KIND=1");
  t->SetFiltered(true);
  t->Activate();
  EXPECT_EQ(t->GetSequenceNo(), 1);
  t->GoNext();
  EXPECT_EQ(t->GetSequenceNo(), 3);
  EXPECT_EQ(t->CursorRecordCount(), 4);
  int scrolls = 0;
  t->AfterScroll = [&](TDataSet*) { ++scrolls; };
  t->SetSequenceNo(4);
  EXPECT_EQ(t->FieldNamed("NAME")->GetStringValue(), "d");
  EXPECT_EQ(scrolls, 1);
  t->SetSequenceNo(4);
  EXPECT_EQ(scrolls, 1) << "no move, no scroll";
  t->SetSequenceNo(2);  // filtered out: the next row that passes
  EXPECT_EQ(t->FieldNamed("NAME")->GetStringValue(), "c");
  t->SetSequenceNo(99);
  EXPECT_EQ(t->FieldNamed("NAME")->GetStringValue(), "d");
}

TEST(TableFetch, FindWalksTheFilterWithoutFiltering) {
  const std::string dir = TempDir("find");
  auto t = Table(WriteTable(dir, {Rec(1, "a", 0), Rec(2, "b", 1), Rec(3, "c", 0), Rec(4, "d", 1)}));
  t->SetFilter("KIND=1");
  t->Activate();
  EXPECT_TRUE(t->FindFirst());
  EXPECT_EQ(t->FieldNamed("NAME")->GetStringValue(), "b");
  EXPECT_TRUE(t->FindNext());
  EXPECT_EQ(t->FieldNamed("NAME")->GetStringValue(), "d");
  EXPECT_FALSE(t->FindNext());
  EXPECT_EQ(t->FieldNamed("NAME")->GetStringValue(), "d") << "stays where it was";
  EXPECT_TRUE(t->FindPrior());
  EXPECT_EQ(t->FieldNamed("NAME")->GetStringValue(), "b");
  EXPECT_TRUE(t->FindLast());
  EXPECT_EQ(t->FieldNamed("NAME")->GetStringValue(), "d");
  EXPECT_EQ(Column(*t), (Names{"a", "b", "c", "d"})) << "the set itself stays unfiltered";
}

// ---- field values -------------------------------------------------------------------------

TEST(TableFields, ValuesOfEachKindAndEmptyFields) {
  const std::string dir = TempDir("values");
  const std::string file = dir + "/t.dbf";
  WriteFile(file, dbf_fixtures::RawTable(0x03, 0xC9,
                                         {{"C", 'C', 5, 0}, {"I", 'N', 6, 0}, {"F", 'N', 8, 3}, {"D", 'D', 8, 0},
                                          {"L", 'L', 1, 0}},
                                         {std::string(" ") + "ab   " + "   -42" + "  -1.250" + "20060512" + "T", std::string(29, ' ')}));
  auto t = Table(file);
  t->SetUseFloatFields(false);
  t->Activate();
  EXPECT_EQ(t->FieldNamed("C")->GetStringValue(), "ab");
  EXPECT_EQ(t->FieldNamed("I")->GetIntegerValue(), -42);
  EXPECT_DOUBLE_EQ(t->FieldNamed("F")->GetFloatValue(), -1.25);
  EXPECT_EQ(t->FieldNamed("D")->GetDateTimeValue(), EncodeDate(2006, 5, 12));
  EXPECT_TRUE(t->FieldNamed("L")->GetBooleanValue());
  for (const char* f : {"C", "I", "F", "D", "L"}) EXPECT_FALSE(t->FieldNamed(f)->HoldsNull()) << f;
  t->GoNext();
  for (const char* f : {"C", "I", "F", "D", "L"}) EXPECT_TRUE(t->FieldNamed(f)->HoldsNull()) << f;
  EXPECT_EQ(t->FieldNamed("C")->GetStringValue(), "");
}

TEST(TableFields, APersistentFieldShorterThanTheTablesGetsTheTextCut) {
  const std::string dir = TempDir("short");
  TComponent form(nullptr);
  auto t = Table(WriteTable(dir, {Rec(1, "abcdefgh", 0)}));
  auto* name = new TStringField(&form);
  name->SetFieldName("NAME");
  name->SetSize(3);
  name->SetDataSet(t.get());
  t->Activate();
  EXPECT_EQ(name->GetStringValue(), "abc");
  EXPECT_EQ(t->QueryFieldCount(), 1) << "no default fields beside a persistent one";
}

TEST(TableFields, CalculatedFieldsLiveAfterTheRecord) {
  const std::string dir = TempDir("calc");
  TComponent form(nullptr);
  auto t = Table(WriteTable(dir, {Rec(3, "a", 0), Rec(5, "b", 0)}));
  t->FieldDefs().Reload();
  for (int i = 0; i < t->FieldDefs().Count(); ++i) t->FieldDefs().DefAt(i)->CreateField(&form, t.get());
  auto* twice = new TIntegerField(&form);
  twice->SetFieldName("TWICE");
  twice->SetFieldKind(fkCalculated);
  twice->SetDataSet(t.get());
  t->OnCalcFields = [&](TDataSet* set) { twice->SetIntegerValue(2 * set->FieldNamed("N")->GetIntegerValue()); };
  t->Activate();
  std::vector<int> values;
  for (t->GoFirst(); !t->Eof(); t->GoNext()) values.push_back(twice->GetIntegerValue());
  EXPECT_EQ(values, (std::vector<int>{6, 10}));
}

// ---- translation ----------------------------------------------------------------------------

TEST(TableTranslation, TextIsTranslatedFromTheTablesCodePage) {
  const std::string dir = TempDir("translate");
  const AnsiString ansi = Utf8ToAnsi("Ёжик");
  const std::string oem = ConvertCodePage(ansi, 1251, 866);
  const struct {
    uint8_t language;
    std::string stored;  // the bytes in the file
    TDbfTranslationMode mode;
  } cases[] = {{0xC9, ansi, tmAnsi}, {0x26, oem, tmOem}, {0x00, ansi, tmAnsi}, {0x57, ansi, tmInstalled}};
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.language));
    const std::string record = " " + std::string("   1") + (c.stored + "    ").substr(0, 8) + " 0";
    const std::string file = WriteTable(dir, {record}, "t.dbf", c.language);
    auto t = Table(file);
    t->Activate();
    EXPECT_EQ(t->TranslationMode(), c.mode);
    if (c.language != 0x57) {
      EXPECT_EQ(t->FieldNamed("NAME")->GetStringValue(), ansi);
    } else {
      EXPECT_EQ(t->FieldNamed("NAME")->GetStringValue(), ConvertCodePage(ansi, 1252, 1251));
    }
    t->StartEdit();
    t->FieldNamed("NAME")->SetStringValue(Utf8ToAnsi("Щука"));
    t->CommitRecord();
    t->Deactivate();
    const std::string bytes = ReadFile(file);
    const unsigned cp = c.mode == tmOem ? 866 : (c.mode == tmInstalled ? 1252 : 1251);
    EXPECT_EQ(bytes.substr(bytes.size() - 1 - 10, 4), ConvertCodePage(Utf8ToAnsi("Щука"), 1251, cp));
  }
}

TEST(TableTranslation, AnUntranslatableTableAsksAndOtherwiseStaysReadOnly) {
  const std::string dir = TempDir("warning");
  // The language id exists but names a code page the converter does not have.
  const std::string file = WriteTable(dir, {Rec(1, "a", 0)}, "t.dbf", 0x69);
  const struct {
    TDbfLanguageAction action;
    TDbfTranslationMode mode;
    bool can_modify;
  } cases[] = {{laNoTranslation, tmNone, false}, {laUseOem, tmOem, true}, {laUseAnsi, tmAnsi, true},
               {laUseDefault, tmAnsi, true}};
  for (const auto& c : cases) {
    auto t = Table(file);
    int asked = 0;
    t->OnLanguageWarning = [&](TDbf*, TDbfLanguageAction& action) {
      EXPECT_EQ(action, laNoTranslation);
      ++asked;
      action = c.action;
    };
    t->Activate();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(t->TranslationMode(), c.mode) << int(c.action);
    EXPECT_EQ(t->QueryCanModify(), c.can_modify) << int(c.action);
    EXPECT_EQ(t->FieldNamed("NAME")->GetStringValue(), "a");
  }
}

TEST(TableTranslation, OnTranslateReplacesTheConversion) {
  const std::string dir = TempDir("event");
  auto t = Table(WriteTable(dir, {Rec(1, "abc", 0)}));
  t->OnTranslate = [](TDbf*, const AnsiString& source, AnsiString& destination, bool to_oem) {
    destination = to_oem ? AnsiLowerCase(source) : AnsiUpperCase(source) + "-----";
    return to_oem ? -1 : int(source.size()) + 1;
  };
  t->Activate();
  EXPECT_EQ(t->FieldNamed("NAME")->GetStringValue(), "ABC-");
}

}  // namespace table_fetch_test
