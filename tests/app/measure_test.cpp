// The measurement row and the in-memory table that stands for a table file.
#include "app/measure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "toolkit/db/fields.h"

namespace measure_test {

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "no error";
}

TEST(MeasurementRow, TableGivesBackTheTwentyFieldsWithTheirClassesAndWidths) {
  TComponent owner(nullptr);
  auto* table = new TMeasurementMemTable(&owner);
  CreateMeasurementFields(*table, &owner);
  table->Activate();
  struct Expect {
    const char* name;
    const char* persistent;
    TFieldType type;
    int size;  // text fields only
  };
  const Expect expected[] = {
      {"N", "Dbf1N", ftInteger, 0},
      {"DATE", "Dbf1DATE", ftString, 10},
      {"TIME", "Dbf1TIME", ftString, 8},
      {"DEV_TYPE", "Dbf1DEV_TYPE", ftSmallint, 0},
      {"SERIAL", "Dbf1SERIAL", ftInteger, 0},
      {"NB_TYPE", "Dbf1NB_TYPE", ftSmallint, 0},
      {"P", "Dbf1P", ftFloat, 0},
      {"R", "Dbf1R", ftFloat, 0},
      {"ZAV", "Dbf1ZAV", ftString, 50},
      {"TYPE", "Dbf1TYPE", ftString, 15},
      {"COMMENT", "Dbf1COMMENT", ftString, 100},
      {"H", "Dbf1H", ftFloat, 0},
      {"T", "Dbf1T", ftFloat, 0},
      {"K", "Dbf1K", ftFloat, 0},
      {"A1", "Dbf1A1", ftFloat, 0},
      {"A2", "Dbf1A2", ftFloat, 0},
      {"A3", "Dbf1A3", ftFloat, 0},
      {"D1", "Dbf1D1", ftFloat, 0},
      {"D2", "Dbf1D2", ftFloat, 0},
      {"D3", "Dbf1D3", ftFloat, 0},
  };
  ASSERT_EQ(table->QueryFieldCount(), 20);
  for (int i = 0; i < 20; ++i) {
    const Expect& e = expected[i];
    SCOPED_TRACE(e.name);
    TField* f = table->Fields(i);
    EXPECT_EQ(f->FieldName(), e.name);
    EXPECT_EQ(f->DataType(), e.type);
    EXPECT_EQ(owner.FindComponent(e.persistent), f);
    if (e.type == ftString) {
      EXPECT_EQ(f->Size(), e.size);
    }
    // Integer columns are plain integer fields, not small ones, and vice versa.
    EXPECT_EQ(dynamic_cast<TSmallintField*>(f) != nullptr, e.type == ftSmallint);
    EXPECT_EQ(dynamic_cast<TIntegerField*>(f) != nullptr, e.type == ftInteger || e.type == ftSmallint);
    EXPECT_EQ(dynamic_cast<TFloatField*>(f) != nullptr, e.type == ftFloat);
  }
}

TEST(MeasurementRow, NumericFieldsHoldWhatTheirFieldTextHoldsOrRefuseTheValue) {
  TMeasurementMemTable table(nullptr);
  table.Activate();
  struct Case {
    const char* field;
    double value;
    double back;        // read back when accepted
    const char* error;  // nullptr when accepted
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {"P", 2.5, 2.5, nullptr},
      {"P", 1.0 / 3.0, 0.333333333, nullptr},
      {"R", 2.0 / 3.0, 0.666666667, nullptr},
      {"P", 99999999.25, 99999999.25, nullptr},
      {"P", -9999999.5, -9999999.5, nullptr},
      {"P", 1e-10, 0.0, nullptr},
      {"P", 100000000.0, 0, "Value does not fit field \"P\" of 18 characters."},
      {"P", 4294967295.0, 0, "Value does not fit field \"P\" of 18 characters."},
      {"D3", -12345678.0, 0, "Value does not fit field \"D3\" of 18 characters."},
      {"K", nan, 0, "Field \"K\" cannot hold a number that is not finite."},
      {"N", 999999999, 999999999, nullptr},
      {"N", 1000000000, 0, "Value does not fit field \"N\" of 9 characters."},
      {"SERIAL", 65535, 65535, nullptr},
      {"DEV_TYPE", 9999, 9999, nullptr},
      {"DEV_TYPE", -999, -999, nullptr},
      {"DEV_TYPE", 10000, 0, "Value does not fit field \"DEV_TYPE\" of 4 characters."},
      {"NB_TYPE", -1000, 0, "Value does not fit field \"NB_TYPE\" of 4 characters."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.field) + " " + std::to_string(c.value));
    table.StartAppend();
    TField* f = table.FieldNamed(c.field);
    const std::string error = ErrorOf([&] {
      if (f->DataType() == ftFloat)
        f->SetFloatValue(c.value);
      else
        f->SetIntegerValue(int(c.value));
    });
    if (c.error) {
      EXPECT_EQ(error, c.error);
      EXPECT_TRUE(f->HoldsNull());
    } else {
      EXPECT_EQ(error, "no error");
      EXPECT_EQ(f->GetFloatValue(), c.back);
    }
    table.DiscardChanges();
  }
  EXPECT_EQ(table.StoredRowCount(), 0);
}

TEST(MeasurementRow, EveryFloatFieldKeepsEightIntegerDigitsAndNineDecimals) {
  TMeasurementMemTable table(nullptr);
  table.Activate();
  struct Case {
    double value;
    double back;  // NaN: refused
  };
  const double refused = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {1.0 / 3.0, 0.333333333},  {-2.0 / 3.0, -0.666666667}, {99999999.999999999, refused},
      {99999999.25, 99999999.25}, {-9999999.5, -9999999.5},   {-10000000.0, refused},
  };
  for (const char* name : {"P", "R", "H", "T", "K", "A1", "A2", "A3", "D1", "D2", "D3"}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(name) + " " + std::to_string(c.value));
      table.StartAppend();
      TField* f = table.FieldNamed(name);
      const std::string error = ErrorOf([&] { f->SetFloatValue(c.value); });
      if (std::isnan(c.back)) {
        EXPECT_EQ(error, "Value does not fit field \"" + std::string(name) + "\" of 18 characters.");
      } else {
        EXPECT_EQ(error, "no error");
        EXPECT_EQ(f->GetFloatValue(), c.back);
      }
      table.DiscardChanges();
    }
  }
}

TEST(MeasurementRow, TextIsCutToItsFieldAndNewRowsGoToTheEnd) {
  TMeasurementMemTable table(nullptr);
  table.Activate();
  for (int n = 1; n <= 3; ++n) {
    // Inserting in front of the first row still adds the row at the end, as
    // a table file does.
    table.GoFirst();
    if (n == 1)
      table.StartAppend();
    else
      table.StartInsert();
    table.FieldNamed("N")->SetIntegerValue(n);
    table.FieldNamed("TYPE")->SetStringValue("6553,5x6553,5 mm and more");
    table.CommitRecord();
  }
  table.Reload();
  std::string order;
  for (table.GoFirst(); !table.Eof(); table.GoNext()) order += table.FieldNamed("N")->GetStringValue();
  EXPECT_EQ(order, "123");
  table.GoLast();
  EXPECT_EQ(table.FieldNamed("TYPE")->GetStringValue(), "6553,5x6553,5 m");
}

TEST(MeasurementRow, KindFiltersShowOneKindEach) {
  TMeasurementMemTable table(nullptr);
  table.Activate();
  for (int kind : {1, 0, 1, 1, 0}) {
    table.StartAppend();
    table.FieldNamed("NB_TYPE")->SetIntegerValue(kind);
    table.CommitRecord();
  }
  struct Case {
    int kind;
    const char* filter;
    int rows;
  };
  for (const Case& c : {Case{kPressKind, "NB_TYPE=0", 2}, Case{kAcousticKind, "NB_TYPE=1", 3}}) {
    EXPECT_EQ(KindFilter(c.kind), c.filter);
    table.SetFilter(KindFilter(c.kind));
    table.SetFiltered(true);
    int rows = 0;
    for (table.GoFirst(); !table.Eof(); table.GoNext()) {
      EXPECT_EQ(table.FieldNamed("NB_TYPE")->GetIntegerValue(), c.kind);
      ++rows;
    }
    EXPECT_EQ(rows, c.rows);
  }
}

}  // namespace measure_test
