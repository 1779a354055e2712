// Editing, locating and memo blobs through the data-set framework against
// real table files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/dbf/table2_support.h"
#include "toolkit/core/variant.h"

namespace table2_edit_test {

using namespace table2_support;
using namespace testsupport;

const std::vector<Row> kRows = {
    {1, 0, 1.5, 1.0, "Alpha"}, {2, 0, 1.5, 2.0, "beta"}, {3, 1, 2.5, 2.0, "Beta"}, {4, 1, 1.5, 2.0, "gamma"},
};

struct LocateCase {
  const char* names;
  Variant values;
  TFindOptions options;
  int found_n;  // 0: not found (the position stays)
};

TEST(Table2Locate, FindsTheFirstMatchingRowOrStays) {
  const LocateCase cases[] = {
      {"P;R", VarArrayOf({1.5, 2.0}), {}, 2},
      {"P;R", VarArrayOf({2.5, 1.0}), {}, 0},
      {"P;R;N", VarArrayOf({1.5, 2.0}), {}, 0},
      {"COMMENT", "beta", {}, 2},
      {"COMMENT", "BETA", {}, 0},
      {"COMMENT", "BETA", {fiCaseInsensitive}, 2},
      {"COMMENT", "Be", {fiPartialKey}, 3},
      {"COMMENT", "ga", {fiPartialKey, fiCaseInsensitive}, 4},
      {"N", 4, {}, 4},
      {"NO_SUCH", 4, {}, -1},
  };
  const std::string dir = TempDir("t2locate");
  auto t = FilledTable(dir + "/job.db", kRows);
  t->Activate();
  for (const bool indexed : {false, true}) {
    if (indexed) {
      t->CreateIndexTag("tab1", "COMMENT", {});
      t->SetIndexName("tab1");
    }
    for (const LocateCase& c : cases) {
      SCOPED_TRACE(std::string(c.names) + " " + (c.values.IsArray() ? "[...]" : c.values.AsString()) +
                   (indexed ? " indexed" : ""));
      t->GoLast();
      const int before = t->FieldNamed("N")->GetIntegerValue();
      if (c.found_n < 0) {
        EXPECT_ANY_THROW(t->FindByValues(c.names, c.values, c.options));
        continue;
      }
      EXPECT_EQ(t->FindByValues(c.names, c.values, c.options), c.found_n != 0);
      EXPECT_EQ(t->FieldNamed("N")->GetIntegerValue(), c.found_n != 0 ? c.found_n : before);
    }
  }
  t->Deactivate();
}

TEST(Table2Edit, PostCancelAndDeleteReachTheFile) {
  const std::string dir = TempDir("t2edit");
  const std::string file = dir + "/job.db";
  auto t = FilledTable(file, kRows);
  t->Activate();
  ASSERT_TRUE(t->FindByValues("N", 2, {}));
  t->StartEdit();
  t->FieldNamed("COMMENT")->SetStringValue("edited");
  t->CommitRecord();
  ASSERT_TRUE(t->FindByValues("N", 3, {}));
  t->StartEdit();
  t->FieldNamed("COMMENT")->SetStringValue("dropped");
  t->DiscardChanges();
  EXPECT_EQ(t->FieldNamed("COMMENT")->GetStringValue(), "Beta");
  // A cancelled edit leaves no lock: the record can be edited again.
  t->StartEdit();
  t->FieldNamed("P")->SetFloatValue(9.25);
  t->CommitRecord();
  ASSERT_TRUE(t->FindByValues("N", 4, {}));
  t->DeleteCurrent();
  EXPECT_EQ(Ns(*t), (std::vector<int>{1, 2, 3}));
  t->Deactivate();

  WriteFile(dir + "/read.py", R"(
import dbfread, sys
for r in dbfread.DBF(sys.argv[1], encoding='cp1251', load=True).records:
    print(r['N'], r['P'], r['COMMENT'])
t = dbfread.DBF(sys.argv[1], encoding='cp1251', load=True)
print('deleted', [r['N'] for r in t.deleted])
)");
  std::string out;
  ASSERT_EQ(RunCommand(std::string(Python()) + " " + dir + "/read.py " + file + " 2>&1", &out), 0) << out;
  EXPECT_EQ(out, "1 1.5 Alpha\n2 1.5 edited\n3 9.25 Beta\ndeleted [4]\n");
}

// A row marked deleted, then recalled, is a row again: the set delivers it
// in its place, a dBASE reader finds it not deleted, and the primary tag that
// dropped its key with the deletion holds it again (a second row of that key
// is refused). A row not marked is written as it is.
TEST(Table2Edit, ARecalledRowIsARowAgainAndBackInItsPrimaryTag) {
  const std::string dir = TempDir("t2recall");
  const std::string file = dir + "/job.db";
  auto t = FilledTable(file, kRows);
  t->Activate();
  t->CreateIndexTag("BYN", "N", TIndexOptions{ixPrimary});
  t->SetIndexName("");
  ASSERT_TRUE(t->FindByValues("N", 3, {}));
  t->DeleteCurrent();
  EXPECT_EQ(Ns(*t), (std::vector<int>{1, 2, 4}));
  t->SetShowDeleted(true);
  for (int n : {3, 2}) {
    ASSERT_TRUE(t->FindByValues("N", n, {}));
    t->RecallRecord();
  }
  t->SetShowDeleted(false);
  EXPECT_EQ(Ns(*t), (std::vector<int>{1, 2, 3, 4}));
  t->SetIndexName("BYN");
  EXPECT_TRUE(t->SearchKeyValue(3, false));
  EXPECT_EQ(t->FieldNamed("COMMENT")->GetStringValue(), "Beta");
  t->StartAppend();
  t->FieldNamed("N")->SetIntegerValue(3);
  EXPECT_THROW(t->CommitRecord(), EDbfError);
  t->DiscardChanges();
  t->Deactivate();

  WriteFile(dir + "/read.py", R"(
import dbfread, sys
t = dbfread.DBF(sys.argv[1], encoding='cp1251', load=True)
print([r['N'] for r in t.records], 'deleted', [r['N'] for r in t.deleted])
)");
  std::string out;
  ASSERT_EQ(RunCommand(std::string(Python()) + " " + dir + "/read.py " + file + " 2>&1", &out), 0) << out;
  EXPECT_EQ(out, "[1, 2, 3, 4] deleted []\n");
}

// A dBase IV table with a memo field.
std::unique_ptr<TDbf> MemoTable(const std::string& file) {
  auto t = std::make_unique<TDbf>(nullptr);
  t->SetTableLevel(4);
  t->SetExclusive(true);
  t->SetTableName(file);
  t->FieldDefs().AppendNamedDef("ID", ftInteger, 0);
  t->FieldDefs().AppendNamedDef("NOTE", ftMemo, 0);
  return t;
}

std::vector<std::string> Notes(TDbf& t) {
  std::vector<std::string> out;
  for (t.GoFirst(); !t.Eof(); t.GoNext())
    out.push_back(t.FieldNamed("NOTE")->HoldsNull() ? "<null>" : AnsiToUtf8(t.FieldNamed("NOTE")->GetStringValue()));
  return out;
}

// Rows 1 to count with the notes "note 1" and on.
void AppendNotes(TDbf& t, int count) {
  for (int i = 1; i <= count; ++i) {
    t.StartAppend();
    t.FieldNamed("ID")->SetIntegerValue(i);
    t.FieldNamed("NOTE")->SetStringValue("note " + std::to_string(i));
    t.CommitRecord();
  }
}

TEST(Table2Blob, MemosAreWrittenAtPostAndReadBack) {
  const std::string dir = TempDir("t2memo");
  const std::string file = dir + "/notes.dbf";
  auto t = MemoTable(file);
  t->CreateTableFile();
  t->Activate();
  const std::string long_text(1500, 'x');
  const std::vector<std::string> texts = {"короткая заметка", "", long_text};
  for (size_t i = 0; i < texts.size(); ++i) {
    t->StartAppend();
    t->FieldNamed("ID")->SetIntegerValue(int(i + 1));
    if (!texts[i].empty()) t->FieldNamed("NOTE")->SetStringValue(Utf8ToAnsi(texts[i]));
    // Written bytes read back before the post.
    EXPECT_EQ(AnsiToUtf8(t->FieldNamed("NOTE")->GetStringValue()), texts[i]);
    t->CommitRecord();
  }
  EXPECT_EQ(Notes(*t), (std::vector<std::string>{"короткая заметка", "<null>", long_text}));

  // A cancelled edit keeps the stored memo; a posted one replaces it.
  t->GoFirst();
  t->StartEdit();
  t->FieldNamed("NOTE")->SetStringValue("temporary");
  t->DiscardChanges();
  EXPECT_EQ(AnsiToUtf8(t->FieldNamed("NOTE")->GetStringValue()), "короткая заметка");
  t->GoLast();
  t->StartEdit();
  t->FieldNamed("NOTE")->SetStringValue("short now");
  t->CommitRecord();
  t->GoFirst();
  t->GoNext();
  t->StartEdit();
  t->FieldNamed("NOTE")->SetStringValue(std::string(700, 'y'));
  t->CommitRecord();
  EXPECT_EQ(Notes(*t), (std::vector<std::string>{"короткая заметка", std::string(700, 'y'), "short now"}));

  // Writing needs edit or insert mode.
  EXPECT_THROW(t->FieldNamed("NOTE")->SetStringValue("no"), EDatabaseError);
  t->Deactivate();

  t->Activate();
  EXPECT_EQ(Notes(*t), (std::vector<std::string>{"короткая заметка", std::string(700, 'y'), "short now"}));
  t->Deactivate();

  WriteFile(dir + "/read.py", R"(
import dbfread, sys
for r in dbfread.DBF(sys.argv[1], encoding='cp1251'):
    # This reader takes the dBase IV block length as the value's length, so
    # the 8 bytes of the block's blank padding come with it.
    n = (r['NOTE'] or '').rstrip(' ')
    print(r['ID'], len(n), n[:20])
)");
  std::string out;
  ASSERT_EQ(RunCommand(std::string(Python()) + " " + dir + "/read.py " + file + " 2>&1", &out), 0) << out;
  EXPECT_EQ(out, "1 16 короткая заметка\n2 700 yyyyyyyyyyyyyyyyyyyy\n3 9 short now\n");
}

// A memo value whose block lost its block header is an error of that field
// of that record, naming the memo file; the other rows still read.
TEST(Table2Blob, ADamagedMemoValueIsTheFieldsErrorNamingFileAndRecord) {
  const std::string dir = TempDir("t2memodamaged");
  const std::string file = dir + "/notes.dbf", memo = dir + "/notes.dbt";
  auto t = MemoTable(file);
  t->CreateTableFile();
  t->Activate();
  AppendNotes(*t, 3);
  t->Deactivate();
  // Each value has a block of its own from block 1 on; the second loses the
  // bytes of its block header.
  std::string bytes = ReadFile(memo);
  ASSERT_EQ(bytes.substr(2 * 512, 4), std::string("\xFF\xFF\x08\x00", 4));
  bytes.replace(2 * 512, 4, "abcd");
  WriteFile(memo, bytes);

  t->Activate();
  t->GoFirst();
  EXPECT_EQ(t->FieldNamed("NOTE")->GetStringValue(), "note 1");
  t->GoNext();
  try {
    t->FieldNamed("NOTE")->GetStringValue();
    ADD_FAILURE() << "the damaged value read";
  } catch (const EDbfError& e) {
    EXPECT_EQ(e.Message(), "Field 'NOTE' of record 2: The memo value at block 2 of \"" + memo +
                               "\" has no block header: the memo file or its block size is damaged.");
  }
  t->GoNext();
  EXPECT_EQ(t->FieldNamed("NOTE")->GetStringValue(), "note 3");
  t->Deactivate();
}

TEST(Table2Blob, PackCarriesTheMemosOfTheKeptRows) {
  const std::string dir = TempDir("t2memopack");
  const std::string file = dir + "/notes.dbf";
  auto t = MemoTable(file);
  t->CreateTableFile();
  t->Activate();
  AppendNotes(*t, 4);
  t->GoFirst();
  t->DeleteCurrent();
  t->GoFirst();
  t->GoNext();
  t->DeleteCurrent();
  t->PackRecords();
  EXPECT_EQ(Notes(*t), (std::vector<std::string>{"note 2", "note 4"}));
  t->Deactivate();
}

}  // namespace table2_edit_test
