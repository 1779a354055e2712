// The object data set: string lists, single objects and collections behind
// the data-set contract (open, fetch, bookmarks, edit, insert, delete,
// Locate and Lookup).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "grid/rs_ods.h"
#include "grid/rs_qrs.h"
#include "grid/rs_str.h"
#include "tests/grid/ods_support.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/filer.h"
#include "toolkit/core/objtext.h"
#include "toolkit/core/typinfo.h"

namespace ods_dataset_test {

using ods_support::Crew;

std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(nothing raised)";
}

AnsiString Name(TObjDataSet& ds) { return ds.FieldNamed("Name")->GetStringValue(); }

// A collection of items named by names (grades 1, 2, ...) open in a data set;
// prepare runs before the data set opens.
struct OpenCrew {
  explicit OpenCrew(std::initializer_list<const char*> names,
                    const std::function<void(TObjDataSet&)>& prepare = nullptr) {
    int grade = 0;
    for (const char* name : names) crew.Add(name, ++grade);
    if (prepare) prepare(ds);
    ds.SetSource(&crew.items);
    ds.Activate();
  }
  Crew crew;
  TObjDataSet ds{nullptr};
};

TEST(ObjDataSet, AStringListIsOneRecordPerLineWithNumberAndValue) {
  TStringList lines;
  lines.Add("alpha");
  lines.Add("beta");
  lines.Add("gamma");
  TObjDataSet ds(nullptr);
  ds.SetSource(&lines);
  ds.Activate();
  ASSERT_EQ(ds.QueryFieldCount(), 2);
  EXPECT_EQ(ds.Fields(0)->FieldName(), "no");
  EXPECT_EQ(ds.Fields(1)->FieldName(), "value");
  std::string seen;
  for (ds.GoFirst(); !ds.Eof(); ds.GoNext())
    seen += std::to_string(ds.FieldNamed("no")->GetIntegerValue()) + "=" + ds.FieldNamed("value")->GetStringValue() + ";";
  EXPECT_EQ(seen, "0=alpha;1=beta;2=gamma;");

  // Editing a line.
  ds.GoFirst();
  ds.GoNext();
  ds.StartEdit();
  ds.FieldNamed("value")->SetStringValue("BETA");
  ds.CommitRecord();
  EXPECT_EQ(lines.Strings(1), "BETA");
  EXPECT_TRUE(ds.Changed());

  // Inserting before the second record puts an empty line there.
  ds.StartInsert();
  ds.CommitRecord();
  ASSERT_EQ(lines.Count(), 4);
  EXPECT_EQ(lines.Strings(0), "alpha");
  EXPECT_EQ(lines.Strings(1), "");
  EXPECT_EQ(lines.Strings(2), "BETA");
  EXPECT_EQ(ds.FieldNamed("no")->GetIntegerValue(), 1) << "the new line is the current record";

  // The line number is read-only.
  ds.StartEdit();
  EXPECT_EQ(MessageOf([&] { ds.FieldNamed("no")->SetIntegerValue(7); }), "Field 'no' cannot be modified");
  ds.DiscardChanges();
}

TEST(ObjDataSet, ASingleObjectIsOneRecordAndRefusesInserts) {
  Crew crew;
  ods_support::TCrewItem* item = crew.Add("Mira", 4);
  TObjDataSet ds(nullptr);
  ds.SetSource(item);
  ds.Activate();
  EXPECT_EQ(ds.CursorRecordCount(), 1);
  EXPECT_EQ(Name(ds), "Mira");
  EXPECT_EQ(ds.GetSequenceNo(), 1);
  EXPECT_EQ(MessageOf([&] {
              ds.StartInsert();
              ds.CommitRecord();
            }),
            "Internal error: unable to insert data");
  ds.DiscardChanges();
  EXPECT_EQ(crew.items.Count(), 1);
  ds.StartEdit();
  ds.FieldNamed("Grade")->SetIntegerValue(9);
  ds.CommitRecord();
  EXPECT_EQ(item->grade_, 9);
}

TEST(ObjDataSet, AnEmptyCollectionHasNoRecords) {
  Crew crew;
  TObjDataSet ds(nullptr);
  ds.SetSource(&crew.items);
  ds.Activate();
  EXPECT_TRUE(ds.HasNoRecords());
  EXPECT_EQ(ds.GetSequenceNo(), 0);
  TRecordBuffer b = ds.NewRecordBuffer();
  EXPECT_EQ(ds.FetchRecord(b, fdNext, false), frEOF);
  EXPECT_EQ(ds.FetchRecord(b, fdPrior, false), frBOF);
  EXPECT_EQ(ds.FetchRecord(b, fdCurrent, false), frError);
  EXPECT_EQ(MessageOf([&] { ds.FetchRecord(b, fdCurrent, true); }), "Internal error: no records");
  ds.DisposeRecordBuffer(b);

  // Appending into the empty collection makes its first item.
  ds.StartAppend();
  ds.FieldNamed("Name")->SetStringValue("Oleg");
  ds.CommitRecord();
  ASSERT_EQ(crew.items.Count(), 1);
  EXPECT_EQ(crew.At(0)->name_, "Oleg");
  EXPECT_EQ(ds.GetSequenceNo(), 1);
}

TEST(ObjDataSet, OpeningWithoutASourceSaysSo) {
  TObjDataSet ds(nullptr);
  EXPECT_EQ(MessageOf([&] { ds.Activate(); }),
            "No data provider. Please assign value to \"ObjectRef\" property");
  EXPECT_FALSE(ds.QueryActive());
}

TEST(ObjDataSet, BookmarksArePointerSizedAndFollowTheirItem) {
  OpenCrew o({"a", "b", "c"});
  Crew& crew = o.crew;
  TObjDataSet& ds = o.ds;
  EXPECT_EQ(ds.BookmarkSize(), int(sizeof(void*)));
  ds.GoLast();
  const TBookmark mark = ds.TakeBookmark();
  ASSERT_EQ(mark.size(), sizeof(void*));
  void* key = nullptr;
  std::memcpy(&key, mark.data(), sizeof key);
  EXPECT_EQ(key, crew.At(2)) << "the whole pointer is kept";

  // An item inserted before it does not lose the bookmark.
  ds.GoFirst();
  ds.StartInsert();
  ds.FieldNamed("Name")->SetStringValue("new");
  ds.CommitRecord();
  ASSERT_EQ(crew.items.Count(), 4);
  EXPECT_EQ(crew.At(0)->name_, "new");
  EXPECT_TRUE(ds.BookmarkExists(mark));
  ds.ReturnToBookmark(mark);
  EXPECT_EQ(Name(ds), "c");
  EXPECT_EQ(ds.GetSequenceNo(), 4);

  const TBookmark first = [&] {
    ds.GoFirst();
    return ds.TakeBookmark();
  }();
  EXPECT_LT(ds.CompareBookmarkValues(first, mark), 0);
  EXPECT_GT(ds.CompareBookmarkValues(mark, first), 0);
  EXPECT_EQ(ds.CompareBookmarkValues(mark, mark), 0);

  // Once its item is deleted the bookmark is gone.
  ds.ReturnToBookmark(mark);
  ds.DeleteCurrent();
  EXPECT_EQ(crew.items.Count(), 3);
  EXPECT_FALSE(ds.BookmarkExists(mark));
  EXPECT_EQ(MessageOf([&] { ds.ReturnToBookmark(mark); }), "Bookmark not found");
  EXPECT_EQ(ds.CompareBookmarkValues({}, first), 2147483647) << "a missing bookmark sorts last";
}

TEST(ObjDataSet, DeletingAnItemLeavesTheCursorOnTheNextOne) {
  OpenCrew o({"a", "b", "c"});
  Crew& crew = o.crew;
  TObjDataSet& ds = o.ds;
  ds.GoNext();
  ds.DeleteCurrent();
  ASSERT_EQ(crew.items.Count(), 2);
  EXPECT_EQ(crew.At(1)->name_, "c");
  EXPECT_EQ(Name(ds), "c");
  ds.DeleteCurrent();
  EXPECT_EQ(Name(ds), "a") << "after the last one goes, the one before is shown";
}

TEST(ObjDataSet, WithoutAnEditBufferAFieldIsWrittenAtOnceAndCancelKeepsIt) {
  Crew crew;
  crew.Add("a", 1);
  TObjDataSet ds(nullptr);
  ds.SetUseEditBuffer(false);
  ds.SetSource(&crew.items);
  ds.Activate();
  ds.StartEdit();
  ds.FieldNamed("Grade")->SetIntegerValue(42);
  EXPECT_EQ(crew.At(0)->grade_, 42);
  ds.DiscardChanges();
  EXPECT_EQ(crew.At(0)->grade_, 42);
  EXPECT_EQ(ds.FieldNamed("Grade")->GetIntegerValue(), 42);

  // With the edit buffer the object changes only on post.
  ds.Deactivate();
  ds.SetUseEditBuffer(true);
  ds.Activate();
  ds.StartEdit();
  ds.FieldNamed("Grade")->SetIntegerValue(7);
  EXPECT_EQ(crew.At(0)->grade_, 42);
  ds.DiscardChanges();
  EXPECT_EQ(crew.At(0)->grade_, 42);
  EXPECT_EQ(ds.FieldNamed("Grade")->GetIntegerValue(), 42);
}

TEST(ObjDataSet, LocateAndLookupSearchTheRecords) {
  Crew crew;
  crew.Add("xyz", 1);
  crew.Add("ABC", 2);
  crew.Add("", 3);
  TObjDataSet ds(nullptr);
  ds.ParamsObject()->SetNullableProperties("Name");
  ds.SetSource(&crew.items);
  ds.Activate();
  TFindOptions partial_nocase;
  partial_nocase.Include(fiPartialKey);
  partial_nocase.Include(fiCaseInsensitive);
  EXPECT_TRUE(ds.FindByValues("Name", Variant("ab"), partial_nocase));
  EXPECT_EQ(ds.FieldNamed("Grade")->GetIntegerValue(), 2);
  EXPECT_FALSE(ds.FindByValues("Name", Variant("ab"), TFindOptions())) << "exact and case-sensitive";
  EXPECT_EQ(ds.FieldNamed("Grade")->GetIntegerValue(), 2) << "a failed search stays";
  EXPECT_TRUE(ds.FindByValues("Name", Null(), TFindOptions())) << "a null key finds the null value";
  EXPECT_EQ(ds.FieldNamed("Grade")->GetIntegerValue(), 3);
  EXPECT_TRUE(ds.FindByValues("Name;Grade", VarArrayOf({Variant("xyz"), Variant(1)}), TFindOptions()));
  EXPECT_EQ(ds.GetSequenceNo(), 1);
  EXPECT_FALSE(ds.FindByValues("", Variant("xyz"), TFindOptions()));

  EXPECT_EQ(VarToStr(ds.ReadByValues("Grade", Variant(2), "Name")), "ABC");
  const Variant both = ds.ReadByValues("Name", Variant("xyz"), "Grade;Name");
  ASSERT_TRUE(both.IsArray());
  EXPECT_EQ(VarToStr(both[0]), "1");
  EXPECT_EQ(VarToStr(both[1]), "xyz");
  EXPECT_TRUE(ds.ReadByValues("Grade", Variant(99), "Name").IsNull());
  EXPECT_EQ(ds.GetSequenceNo(), 1) << "Lookup keeps the position";
}

TEST(ObjDataSet, ACursorMoveHookThatSkipsEveryRecordRunsNextToTheEnd) {
  Crew crew;
  for (const char* n : {"a", "b", "c", "d"}) crew.Add(n, 0);
  TObjDataSet ds(nullptr);
  ds.SetSource(&crew.items);
  ds.Activate();
  ds.GoFirst();
  ds.OnCursorMove = [](TObjDataSet*, int, bool& skipped) { skipped = true; };
  ds.GoNext();
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(Name(ds), "a");

  // Skipping the first record reached passes over "b" alone.
  ds.OnCursorMove = nullptr;
  ds.GoFirst();
  int calls = 0;
  ds.OnCursorMove = [&calls](TObjDataSet*, int offset, bool& skipped) {
    EXPECT_EQ(offset, 1);
    skipped = ++calls == 1;
  };
  ds.GoNext();
  EXPECT_EQ(Name(ds), "c");
}

TEST(ObjDataSet, ParametersAreFixedWhileOpen) {
  OpenCrew o({"a"});
  TObjDataSet& ds = o.ds;
  EXPECT_EQ(MessageOf([&] { ds.ParamsObject()->SetExpandSets(true); }),
            "Cannot perform this operation on an open dataset");
  EXPECT_EQ(MessageOf([&] { ds.SetPath("x"); }), "Cannot perform this operation on an open dataset");
}

TEST(ObjDataSet, ATextLongerThanItsFieldIsCutToTheField) {
  Crew crew;
  crew.Add("abcdefghijklmnopqrstuvwxyz", 1);
  TObjDataSet ds(nullptr);
  ds.ParamsObject()->SetStringLength(5);
  ds.SetSource(&crew.items);
  ds.Activate();
  EXPECT_EQ(ds.FieldNamed("Name")->Size(), 5);
  EXPECT_EQ(Name(ds), "abcde");
  EXPECT_EQ(ds.FieldNamed("Grade")->GetIntegerValue(), 1) << "the next field is intact";
}

TEST(ObjDataSet, ChangingTheSourceReopensOnTheNewOne) {
  Crew one, two;
  one.Add("first", 1);
  two.Add("second", 2);
  two.Add("third", 3);
  TObjDataSet ds(nullptr);
  ds.SetSource(&one.items);
  ds.Activate();
  ds.SetSource(&two.items);
  EXPECT_TRUE(ds.QueryActive());
  EXPECT_EQ(Name(ds), "second");
  EXPECT_EQ(ds.CursorRecordCount(), 2);
  ds.SetSource(nullptr);
  EXPECT_FALSE(ds.QueryActive());
}

TEST(ObjDataSet, ReadOnlyRefusesEditsAndCancelsAPendingOne) {
  OpenCrew o({"a"});
  Crew& crew = o.crew;
  TObjDataSet& ds = o.ds;
  ds.StartEdit();
  ds.FieldNamed("Grade")->SetIntegerValue(5);
  ds.SetReadOnly(true);
  EXPECT_EQ(ds.CurrentMode(), dsBrowse);
  EXPECT_EQ(crew.At(0)->grade_, 1);
  EXPECT_THROW(ds.StartEdit(), EDatabaseError);
}

TEST(ObjDataSet, AMemoPropertyIsReadAndWrittenThroughItsBlobStream) {
  OpenCrew o({"long story"}, [](TObjDataSet& ds) { ds.ParamsObject()->SetBlobProperties("Name"); });
  TField* name = o.ds.FieldNamed("Name");
  ASSERT_NE(dynamic_cast<TBlobField*>(name), nullptr);
  EXPECT_EQ(name->GetStringValue(), "long story");
  o.ds.StartEdit();
  name->SetStringValue("another story");
  EXPECT_EQ(o.crew.At(0)->name_, "long story");
  o.ds.CommitRecord();
  EXPECT_EQ(o.crew.At(0)->name_, "another story");
  EXPECT_EQ(name->GetStringValue(), "another story");
  EXPECT_EQ(MessageOf([&] { o.ds.OpenBlobStream(name, bmWrite); }), "Dataset not in edit or insert mode");
}

TEST(ObjDataSet, APathLeadingNowhereShowsTheSource) {
  TStringList lines;
  lines.Add("x");
  TObjDataSet ds(nullptr);
  ds.SetPath("NoSuchProperty");
  ds.SetSource(&lines);
  ds.Activate();
  EXPECT_EQ(ds.FieldNamed("value")->GetStringValue(), "x") << "a path leading nowhere shows the source";
}

TEST(ObjDataSet, RemovingTheReferencedComponentClosesTheDataSet) {
  TObjDataSet ds(nullptr);
  auto* component = new TComponent(nullptr);
  component->SetName("Probe");
  ds.SetCompRef(component);
  ds.Activate();
  EXPECT_TRUE(ds.QueryActive());
  EXPECT_NE(ds.FieldNamedOrNil("Name"), nullptr);
  delete component;
  EXPECT_EQ(ds.CompRef(), nullptr);
  EXPECT_EQ(ds.Source(), nullptr);
  EXPECT_FALSE(ds.QueryActive());
}

TEST(ObjDataSet, SettingTheSequenceNumberMovesToThatRecord) {
  OpenCrew o({"a", "b", "c"});
  o.ds.SetSequenceNo(3);
  EXPECT_EQ(Name(o.ds), "c");
  o.ds.SetSequenceNo(9);
  EXPECT_EQ(Name(o.ds), "c") << "a number past the records is ignored";
  o.ds.SetSequenceNo(1);
  EXPECT_EQ(o.ds.GetSequenceNo(), 1);
}

TEST(ObjDataSet, AQuickRecordSetIsEditedRowByRowAsItShowsThem) {
  TvpQuickRecordSet set;
  set.Fields()->AddField("Name", ftString, 20);
  set.Fields()->AddField("Age", ftInteger, 0);
  for (const auto& [name, age] : {std::pair{"bob", 30}, std::pair{"amy", 25}}) {
    const int row = set.Append();
    set.ValueAt("Name", row)->SetAsString(name);
    set.ValueAt("Age", row)->SetAsInteger(age);
  }
  TObjDataSet ds(nullptr);
  ds.SetSource(&set);
  ds.Activate();
  EXPECT_EQ(ds.CursorRecordCount(), 2);
  ds.GoLast();
  EXPECT_EQ(ds.FieldNamed("Name")->GetStringValue(), "amy");
  ds.StartEdit();
  ds.FieldNamed("Age")->SetIntegerValue(26);
  ds.CommitRecord();
  EXPECT_EQ(set.ValueAt("Age", 1)->AsInteger(), 26);
  EXPECT_EQ(set.ValueAt("Age", 0)->AsInteger(), 30);
  ds.StartAppend();
  ds.FieldNamed("Name")->SetStringValue("cat");
  ds.CommitRecord();
  ASSERT_EQ(set.RowCount(), 3);
  EXPECT_EQ(set.ValueAt("Name", 2)->AsString(), "cat");
  EXPECT_TRUE(set.ValueAt("Age", 2)->IsNull());
}

TEST(ObjDataSet, AStoredFormOfAnEarlierVersionGivesItsParameters) {
  TObjDataSet ds(nullptr);
  TStringStream in(
      "object Objects: TObjDataSet\r\n"
      "  ExpandSetProps = True\r\n"
      "  StrFieldsLength = 77\r\n"
      "  BlobStrTypes = 'Name;Notes'\r\n"
      "end\r\n");
  TMemoryStream binary;
  ObjectTextToBinary(in, binary);
  binary.SetPosition(0);
  TReader(binary).ReadRootComponent(&ds);
  EXPECT_TRUE(ds.ParamsObject()->ExpandSets());
  EXPECT_EQ(ds.ParamsObject()->StringLength(), 77);
  EXPECT_EQ(ds.ParamsObject()->BlobProperties(), "Name;Notes");

  // They are never written again under the old names.
  TMemoryStream out;
  TWriter(out).WriteRootComponent(&ds);
  out.SetPosition(0);
  TStringStream text;
  ObjectBinaryToText(out, text);
  EXPECT_EQ(text.DataString().find("StrFieldsLength"), std::string::npos);
  EXPECT_NE(text.DataString().find("StringLength = 77"), std::string::npos) << text.DataString();
}

// A component a stored form makes by its class name.
class TOdsProbe : public TComponent {
  KIV7_PERSISTENT(TOdsProbe)

 public:
  using TComponent::TComponent;
};

const TClassInfo& TOdsProbe::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TOdsProbe>, "TOdsProbe", &TComponent::StaticClassInfo());
  return info;
}

// A form holding an object data set that shows a component stored after it,
// so that the reference is settled only at the end of reading. A set stored
// open opens once reading is done, on that component, and the events
// assigned to it fire; a stored form naming handlers for the events reads.
TEST(ObjDataSet, ASetStoredOpenIsOpenAfterLoadingAndItsEventsFire) {
  const char* events[] = {"BeforeOpen",   "AfterOpen",    "BeforeClose",   "AfterClose",    "BeforeInsert",
                          "AfterInsert",  "BeforeEdit",   "AfterEdit",     "BeforePost",    "AfterPost",
                          "BeforeCancel", "AfterCancel",  "BeforeDelete",  "AfterDelete",   "BeforeScroll",
                          "AfterScroll",  "BeforeRefresh", "AfterRefresh", "OnCalcFields",  "OnDeleteError",
                          "OnEditError",  "OnNewRecord",  "OnPostError",   "OnCursorMove"};
  const struct {
    bool stored_open;
    std::vector<std::string> fired;
  } cases[] = {{true, {"BeforeOpen", "AfterOpen", "AfterScroll"}}, {false, {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored_open ? "stored open" : "stored closed");
    TComponent written(nullptr);
    written.SetName("Form1");
    auto* objects = new TObjDataSet(&written);
    objects->SetName("Objects");
    auto* probe = new TOdsProbe(&written);
    probe->SetName("Probe");
    objects->SetCompRef(probe);
    if (c.stored_open) objects->Activate();
    std::string form = testsupport::FormText(&written);
    EXPECT_EQ(form.find("Active = True") != std::string::npos, c.stored_open) << form;
    const std::string header = "  object Objects: TObjDataSet\r\n";
    const size_t at = form.find(header);
    ASSERT_NE(at, std::string::npos) << form;
    std::string handlers;
    for (const char* event : events) handlers += std::string("    ") + event + " = Form1Objects" + event + "\r\n";
    form.insert(at + header.size(), handlers);

    std::vector<std::string> fired;  // outlives the form, whose set closes as it goes
    TComponent read(nullptr);
    auto* target = new TObjDataSet(&read);
    target->SetName("Objects");
    target->BeforeOpen = [&](TDataSet*) {
      EXPECT_NE(target->CompRef(), nullptr) << "opens only once the reference is settled";
      fired.push_back("BeforeOpen");
    };
    target->AfterOpen = [&](TDataSet*) { fired.push_back("AfterOpen"); };
    target->AfterScroll = [&](TDataSet*) { fired.push_back("AfterScroll"); };
    RegisterClass(TOdsProbe::StaticClassInfo());
    testsupport::ReadFormText(form, &read);
    TComponent* target_probe = read.FindComponent("Probe");
    ASSERT_NE(target_probe, nullptr);
    EXPECT_EQ(target->CompRef(), target_probe);
    EXPECT_EQ(target->QueryActive(), c.stored_open);
    EXPECT_EQ(fired, c.fired);
    if (c.stored_open) {
      EXPECT_EQ(target->FieldNamed("Name")->GetStringValue(), "Probe");
    }
  }
}

// A set already open when a form is read into it starts anew after loading:
// closed unless the form stored it open.
TEST(ObjDataSet, ASetOpenBeforeReadingFollowsTheStoredForm) {
  for (const bool stored_open : {true, false}) {
    SCOPED_TRACE(stored_open);
    std::vector<std::string> fired;  // outlives the set, which closes as it goes
    TStringList lines;
    lines.Add("x");
    TObjDataSet ds(nullptr);
    ds.SetSource(&lines);
    ds.Activate();
    ds.AfterClose = [&](TDataSet*) { fired.push_back("AfterClose"); };
    ds.AfterOpen = [&](TDataSet*) { fired.push_back("AfterOpen"); };
    testsupport::ReadFormText(
        std::string("object Objects: TObjDataSet\r\n") + (stored_open ? "  Active = True\r\n" : "") + "end\r\n", &ds);
    EXPECT_EQ(ds.QueryActive(), stored_open);
    const std::vector<std::string> expected =
        stored_open ? std::vector<std::string>{"AfterClose", "AfterOpen"} : std::vector<std::string>{"AfterClose"};
    EXPECT_EQ(fired, expected);
    if (stored_open) {
      EXPECT_EQ(ds.FieldNamed("value")->GetStringValue(), "x");
    }
  }
}

}  // namespace ods_dataset_test
