// The quick record set: fields, rows, the sort and how rows shown under a
// sort are edited and deleted.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "grid/rs_qrs.h"
#include "grid/rs_str.h"
#include "toolkit/db/memdataset.h"

namespace qrs_test {

// A set with Name (string) and Age (integer) holding the given rows; a name
// of nullptr or an age below 0 is a null value.
struct Person {
  const char* name;
  int age;
};

void Fill(TvpQuickRecordSet& set, const std::vector<Person>& people) {
  if (set.Fields()->Count() == 0) {
    set.Fields()->AddField("Name", ftString, 20);
    set.Fields()->AddField("Age", ftInteger, 0);
  }
  set.BeginUpdate();
  for (const Person& p : people) {
    const int row = set.Append();
    if (p.name != nullptr) set.ValueAt("Name", row)->SetAsString(p.name);
    if (p.age >= 0) set.ValueAt("Age", row)->SetAsInteger(p.age);
  }
  set.EndUpdate();
}

// The visible rows as "name/age" texts ("-" for null).
std::vector<std::string> Shown(const TvpQuickRecordSet& set) {
  std::vector<std::string> rows;
  for (int r = 0; r < set.RowCount(); ++r) {
    const TvpUniValue* n = set.ValueAt("name", r);
    const TvpUniValue* a = set.ValueAt("AGE", r);
    rows.push_back((n->IsNull() ? std::string("-") : n->AsString()) + "/" +
                   (a->IsNull() ? std::string("-") : a->AsString()));
  }
  return rows;
}

using Rows = std::vector<std::string>;

TEST(QuickRecordSet, SortStringsOrderTheVisibleRows) {
  const std::vector<Person> people = {{"bob", 30}, {"amy", 25}, {nullptr, 40}, {"bob", 20}, {"cat", -1}};
  const struct {
    const char* sort;
    Rows expected;
  } cases[] = {
      {"", {"bob/30", "amy/25", "-/40", "bob/20", "cat/-"}},
      {"Name desc, Age", {"cat/-", "bob/20", "bob/30", "amy/25", "-/40"}},
      {"NAME ASC,age desc", {"-/40", "amy/25", "bob/30", "bob/20", "cat/-"}},
      {"  age  ", {"cat/-", "bob/20", "amy/25", "bob/30", "-/40"}},
      {"age desc", {"-/40", "bob/30", "amy/25", "bob/20", "cat/-"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sort);
    TvpQuickRecordSet set;
    Fill(set, people);
    set.SetSortString(c.sort);
    EXPECT_EQ(Shown(set), c.expected);
  }
}

TEST(QuickRecordSet, AKeyNamedAscIsAFieldName) {
  TvpQuickRecordSet set;
  set.Fields()->AddField("asc", ftInteger, 0);
  for (int v : {2, 1, 3}) set.ValueAt("asc", set.Append())->SetAsInteger(v);
  set.SetSortString("asc");
  EXPECT_EQ(set.SortString(), "asc");
  EXPECT_EQ(set.ValueAt("asc", 0)->AsInteger(), 1);
  set.SetSortString("asc desc");
  EXPECT_EQ(set.ValueAt("asc", 0)->AsInteger(), 3);
}

TEST(QuickRecordSet, ABadSortIsRefusedAndTheOldSortStays) {
  TvpQuickRecordSet set;
  Fill(set, {{"b", 2}, {"a", 1}});
  set.SetSortString("Name");
  for (const char* bad : {"Nmae", "Name, Weight", "Name descending", ","}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(set.SetSortString(bad), ERSError);
    EXPECT_EQ(set.SortString(), "Name");
    EXPECT_EQ(Shown(set), (Rows{"a/1", "b/2"}));
    set.Append();  // re-ordering after a row change still works
    set.Delete(0);
  }
  try {
    set.SetSortString("Weight");
    FAIL();
  } catch (const ERSError& e) {
    EXPECT_EQ(e.Message(), "Field 'weight' not found");
  }
}

TEST(QuickRecordSet, AFieldGoneFromTheSortNoLongerOrdersTheRows) {
  TvpQuickRecordSet set;
  Fill(set, {{"b", 1}, {"a", 2}});
  set.SetSortString("Age desc, Name");
  ASSERT_EQ(Shown(set), (Rows{"a/2", "b/1"}));
  set.Fields()->Delete(1);  // Age
  const int row = set.Append();
  EXPECT_EQ(row, 0);  // still sorted by Name: the null name first
  EXPECT_EQ(set.ValueAt("Name", 1)->AsString(), "a");
  EXPECT_EQ(set.ValueAt("Name", 2)->AsString(), "b");
}

TEST(QuickRecordSet, AppendedRowsTakeTheirPlaceInTheSort) {
  TvpQuickRecordSet set;
  Fill(set, {{"b", 2}, {"d", 4}});
  set.SetSortString("Name");
  const int row = set.Append();
  EXPECT_EQ(row, 0);  // a null name comes first
  set.ValueAt("Name", row)->SetAsString("c");
  EXPECT_EQ(Shown(set), (Rows{"c/-", "b/2", "d/4"}));  // editing alone does not re-sort
  set.Append();
  EXPECT_EQ(Shown(set), (Rows{"-/-", "b/2", "c/-", "d/4"}));
  set.SetSortString("");
  EXPECT_EQ(Shown(set), (Rows{"b/2", "d/4", "c/-", "-/-"}));
}

TEST(QuickRecordSet, EditingAndDeletingUnderASortChangeTheRowShown) {
  TvpQuickRecordSet set;
  Fill(set, {{"c", 3}, {"a", 1}, {"b", 2}});
  set.SetSortString("Name");
  ASSERT_EQ(Shown(set), (Rows{"a/1", "b/2", "c/3"}));
  set.ValueAt("Age", 0)->SetAsInteger(10);
  EXPECT_EQ(Shown(set), (Rows{"a/10", "b/2", "c/3"}));
  set.Delete(1);
  EXPECT_EQ(Shown(set), (Rows{"a/10", "c/3"}));
  set.Delete(0);
  EXPECT_EQ(Shown(set), (Rows{"c/3"}));
  set.SetSortString("");
  EXPECT_EQ(Shown(set), (Rows{"c/3"}));
}

TEST(QuickRecordSet, InsertingUnderASortGoesBeforeTheRowShown) {
  TvpQuickRecordSet set;
  Fill(set, {{"c", 3}, {"a", 1}, {"b", 2}});
  set.SetSortString("Age desc");
  ASSERT_EQ(Shown(set), (Rows{"c/3", "b/2", "a/1"}));
  const int row = set.Insert(1);  // before "b", stored last
  EXPECT_EQ(row, 3);              // a null age comes last in a descending sort
  set.ValueAt("Name", row)->SetAsString("new");
  set.SetSortString("");
  EXPECT_EQ(Shown(set), (Rows{"c/3", "a/1", "new/-", "b/2"}));
  EXPECT_THROW(set.Insert(5), ERSError);
  EXPECT_THROW(set.Delete(4), ERSError);
  EXPECT_THROW(set.ValueAt("Name", -1), ERSError);
}

TEST(QuickRecordSet, FieldNamesAreUniqueWithoutCase) {
  TvpQuickRecordSet set;
  set.Fields()->AddField("Name", ftString, 10);
  try {
    set.Fields()->AddField("NAME", ftString, 10);
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Duplicate field name 'NAME'");
  }
  TvpQRSField* other = set.Fields()->AddField("", ftInteger, 0);
  EXPECT_THROW(other->SetFieldName("name"), EDatabaseError);
  other->SetFieldName("");
  EXPECT_EQ(set.Fields()->Count(), 2);
  EXPECT_EQ(set.Fields()->FindField("nAmE"), set.Fields()->Field(0));
  EXPECT_EQ(set.Fields()->FindField("x"), nullptr);
  EXPECT_THROW(other->SetSize(-1), ERSError);
  EXPECT_THROW(other->SetPrecision(-2), ERSError);
}

TEST(QuickRecordSet, ANewFieldGetsNullValuesForTheRowsThere) {
  TvpQuickRecordSet set;
  Fill(set, {{"a", 1}, {"b", 2}});
  set.Fields()->AddField("Weight", ftFloat, 0);
  ASSERT_EQ(set.RowCount(), 2);
  EXPECT_TRUE(set.ValueAt("Weight", 1)->IsNull());
  EXPECT_EQ(set.ValueAt("Weight", 1)->DataType(), ftFloat);
  set.ValueAt("Weight", 1)->SetAsFloat(2.5);
  set.FieldByName("Weight")->SetDataType(ftString);  // retyped values start null
  EXPECT_TRUE(set.ValueAt("Weight", 1)->IsNull());
  EXPECT_EQ(set.ValueAt("Weight", 1)->DataType(), ftString);
}

TEST(QuickRecordSet, ClearingTheFieldsDropsTheRows) {
  TvpQuickRecordSet set;
  Fill(set, {{"a", 1}, {"b", 2}});
  set.Fields()->Delete(0);
  EXPECT_EQ(set.RowCount(), 2);
  set.Fields()->Clear();
  EXPECT_EQ(set.RowCount(), 0);
  Fill(set, {{"c", 3}});
  EXPECT_EQ(Shown(set), (Rows{"c/3"}));

  set.SetFields(set.Fields());  // its own fields: nothing changes
  EXPECT_EQ(Shown(set), (Rows{"c/3"}));

  TvpQuickRecordSet other;
  other.Fields()->AddField("Name", ftString, 5);
  set.SetFields(other.Fields());
  EXPECT_EQ(set.RowCount(), 0);
  EXPECT_EQ(set.Fields()->Count(), 1);
  EXPECT_EQ(set.FieldByName("Name")->Size(), 5);
}

TEST(QuickRecordSet, AssignAndAppendFromCopyValuesOfSharedFields) {
  TvpQuickRecordSet source;
  Fill(source, {{"c", 3}, {"a", 1}, {"b", 2}});
  source.SetSortString("Name");

  TvpQuickRecordSet copy;
  copy.Assign(&source);
  EXPECT_EQ(Shown(copy), (Rows{"a/1", "b/2", "c/3"}));  // the rows as the source shows them

  TvpQuickRecordSet partial;
  partial.Fields()->AddField("AGE", ftInteger, 0);
  partial.Fields()->AddField("Extra", ftString, 5);
  partial.AppendFrom(source, 1, 10);  // only what the source has
  ASSERT_EQ(partial.RowCount(), 2);
  EXPECT_EQ(partial.ValueAt("Age", 0)->AsInteger(), 2);
  EXPECT_EQ(partial.ValueAt("Age", 1)->AsInteger(), 3);
  EXPECT_TRUE(partial.ValueAt("Extra", 0)->IsNull());
  partial.AppendFrom(source, 0, 0);
  EXPECT_EQ(partial.RowCount(), 2);
  EXPECT_THROW(partial.AppendFrom(source, 3, 1), ERSError);
  EXPECT_EQ(partial.RowCount(), 2);
}

TEST(QuickRecordSet, FieldDefsGoBothWays) {
  TvpQuickRecordSet set;
  set.Fields()->AddField("Name", ftString, 30);
  set.Fields()->AddField("Price", ftBCD, 4)->SetPrecision(12);
  TMemDataSet ds(nullptr);
  AnsiString list;
  set.GetFieldDefs(ds.FieldDefs(), list);
  EXPECT_EQ(list, "Name;Price");
  ASSERT_EQ(ds.FieldDefs().Count(), 2);
  EXPECT_EQ(ds.FieldDefs().DefAt(1)->DataType(), ftBCD);
  EXPECT_EQ(ds.FieldDefs().DefAt(1)->Size(), 4);
  EXPECT_EQ(ds.FieldDefs().DefAt(1)->Precision(), 12);

  TvpQuickRecordSet made;
  made.CreateFields(ds.FieldDefs());
  ASSERT_EQ(made.Fields()->Count(), 2);
  EXPECT_EQ(made.FieldByName("price")->Precision(), 12);
  EXPECT_EQ(made.FieldByName("name")->Size(), 30);
}

TEST(QuickRecordSet, RecordChangesReachTheHandler) {
  TvpQuickRecordSet set;
  std::vector<std::string> heard;
  set.OnRecordChange = [&](TPersistent* sender, int kind, const AnsiString& fields, int row) {
    EXPECT_EQ(sender, &set);
    heard.push_back(std::to_string(kind) + ":" + fields + ":" + std::to_string(row));
  };
  set.RecordChanged(0, "Name;Age", 3);
  set.RecordChanged(2, "", 1);
  EXPECT_EQ(heard, (std::vector<std::string>{"0:Name;Age:3", "2::1"}));
}

}  // namespace qrs_test
