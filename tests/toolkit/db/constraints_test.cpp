// A data set's check constraints: kept with the data set, copied as a whole,
// and stored with its form and read back.
#include <gtest/gtest.h>

#include "toolkit/core/filer.h"
#include "toolkit/core/objtext.h"
#include "toolkit/db/db.h"
#include "toolkit/db/memdataset.h"

namespace {

// A data set that publishes the framework's constraints, as a form's data set does.
class TConstrainedDataSet : public TMemDataSet {
  KIV7_PERSISTENT(TConstrainedDataSet)

 public:
  using TMemDataSet::TMemDataSet;
};

const TClassInfo& TConstrainedDataSet::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TConstrainedDataSet>, "TConstrainedDataSet", &TMemDataSet::StaticClassInfo(),
                               [](TPublisher<TConstrainedDataSet>& p) { PublishDataSetConstraints(p); });
  return info;
}

void AddConstraint(TDataSet& data_set, const char* custom, const char* message, bool dictionary, const char* imported) {
  TCheckConstraint* c = data_set.Constraints()->Add();
  c->SetCustomConstraint(custom);
  c->SetErrorMessage(message);
  c->SetFromDictionary(dictionary);
  c->SetImportedConstraint(imported);
}

std::string Describe(const TCheckConstraints& constraints) {
  std::string text;
  for (int i = 0; i < constraints.Count(); ++i) {
    const TCheckConstraint* c = constraints.Items(i);
    text += c->CustomConstraint() + "|" + c->ErrorMessage() + "|" + (c->FromDictionary() ? "dict" : "own") + "|" +
            c->ImportedConstraint() + ";";
  }
  return text;
}

TEST(CheckConstraints, AreStoredWithTheFormAndReadBack) {
  TConstrainedDataSet original(nullptr);
  original.SetName("Data1");
  AddConstraint(original, "N > 0", "N must be positive", false, "");
  AddConstraint(original, "", "", true, "R <= 100");
  AddConstraint(original, "P <> 0", "\xD0\xE0\xE2\xED\xEE \xED\xF3\xEB\xFE", true, "P IS NOT NULL");  // 1251 text
  TMemoryStream binary;
  TWriter(binary).WriteRootComponent(&original);
  binary.SetPosition(0);
  TStringStream text;
  ObjectBinaryToText(binary, text);
  EXPECT_NE(text.DataString().find("CustomConstraint = 'N > 0'"), std::string::npos) << text.DataString();
  EXPECT_EQ(text.DataString().find("FromDictionary = True"), std::string::npos) << "the default is not written";

  TConstrainedDataSet copy(nullptr);
  AddConstraint(copy, "old", "old", true, "old");  // replaced by the stored list
  binary.SetPosition(0);
  TReader(binary).ReadRootComponent(&copy);
  EXPECT_EQ(Describe(*copy.Constraints()), Describe(*original.Constraints()));
  EXPECT_EQ(copy.Constraints()->Count(), 3);
}

TEST(CheckConstraints, AnEmptyListIsNotWritten) {
  TConstrainedDataSet data_set(nullptr);
  data_set.SetName("Data1");
  TMemoryStream binary;
  TWriter(binary).WriteRootComponent(&data_set);
  binary.SetPosition(0);
  TStringStream text;
  ObjectBinaryToText(binary, text);
  EXPECT_EQ(text.DataString().find("Constraints"), std::string::npos) << text.DataString();
}

TEST(CheckConstraints, SettingCopiesEveryConstraintAndTheNamesFollowTheConditions) {
  TConstrainedDataSet source(nullptr), target(nullptr);
  AddConstraint(source, "N > 0", "positive", false, "");
  AddConstraint(source, "K > 0", "", true, "K BETWEEN 1 AND 9");
  AddConstraint(source, "", "no condition", true, "");
  AddConstraint(target, "gone", "gone", true, "gone");
  target.SetConstraints(source.Constraints());
  EXPECT_EQ(Describe(*target.Constraints()), Describe(*source.Constraints()));
  source.Constraints()->Items(0)->SetCustomConstraint("changed");
  EXPECT_EQ(target.Constraints()->Items(0)->CustomConstraint(), "N > 0") << "a copy, not shared";

  EXPECT_EQ(target.Constraints()->Items(0)->DisplayName(), "N > 0");
  EXPECT_EQ(target.Constraints()->Items(1)->DisplayName(), "K BETWEEN 1 AND 9");
  EXPECT_EQ(target.Constraints()->Items(2)->DisplayName(), target.Constraints()->Items(2)->ClassName());
  EXPECT_EQ(target.Constraints()->GetOwner(), &target);
}

}  // namespace
