// The grid library's numbered texts and its error classes.
#include <gtest/gtest.h>

#include "grid/rs_str.h"

namespace str_texts_test {

TEST(LibraryTexts, EveryNumberGivesItsExactText) {
  const struct {
    int id;
    const char* text;
  } cases[] = {
      {65104, "\"%s\" is out of range. The allowed range is %g to %g"},
      {65105, "No data provider. Please assign value to \"ObjectRef\" property"},
      {65106, "Bookmark not found"},
      {65107, "unable to insert data"},
      {65108, "no records"},
      {65120, "Number format, spin buttons are available."},
      {65121, "Switch control for logical fields."},
      {65122, "Switch control for integer fields. 0 - off, 1 - on."},
      {65123, "Internal error: %s"},
      {65124, "Value can not be negative (%d)"},
      {65125, "Value must be positive (%d)"},
      {65126, "Index is out of range (%d/%d)"},
      {65127, "Unable to select column (%d)"},
      {65128, "Method call was cancelled (%s)"},
      {65129, "Invalid layout position (%d,%d)"},
      {65130, "Invalid input text"},
      {65131, "Input value can not be blank. Please input valid date value"},
      {65132, "\"%s\" is out of range. Value must be more than %s"},
      {65133, "\"%s\" is out of range. Value must be less than %s"},
      {65134, "Input value can not be blank. Please input valid numeric value"},
      {65135, "\"%s\" is not a valid numeric value"},
      {65136, "Load..."},
      {65137, "Save to..."},
      {65138, "Preview"},
      {65139, "&OK"},
      {65140, "&Cancel"},
      {65141, "Picture preview"},
      {65142, "Customize"},
      {65143, "[Close]"},
      {65144, "'%s' must be placed on '%s'"},
      {65145, "Determines 3D style of the cell."},
      {65146, "Displays and edits data as date."},
      {65147, "Calendar control with buttons."},
      {65148, "Calendar control without buttons."},
      {65149, "Dsiplays and edits data as number."},
      {65150, "Number format, two digits after decimal separator."},
      {65151, "Number format, two digits after decimal separator, thousand separator."},
      {65157, "Today"},
      {65158, "Search: "},
      {65159, "Average;Count;Maximum;Minimum;Sum;None"},
      {65160, "AVG;;MAX;MIN;SUM;"},
      {65161, "Delete record. Are you sure?"},
      {65162, "Delete %d records. Are you sure?"},
      {65163, "Error"},
      {65164, "Cut"},
      {65165, "Copy"},
      {65166, "Paste"},
      {65167, "Clear"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(rsLoadStr(c.id), c.text);
  }
}

TEST(LibraryTexts, NumbersOutsideTheLibraryGiveEmptyText) {
  // Neighbours of the library's ranges and the ids that belong to other units.
  for (int id : {0, -1, 65103, 65109, 65110, 65111, 65119, 65152, 65156, 65168, 53000}) {
    SCOPED_TRACE(id);
    EXPECT_EQ(rsLoadStr(id), "");
  }
}

TEST(LibraryErrors, CarryTheFilledTextAndTheirClass) {
  ScopedFormatSettings russian{TFormatSettings::Russian()};
  const struct {
    const char* what;
    void (*raise)();
    const char* message;
  } cases[] = {
      {"plain", [] { rsError(SBookmarkNotFound); }, "Bookmark not found"},
      {"one number", [] { rsErrorFmt(SDeleteRecords, {12}); }, "Delete 12 records. Are you sure?"},
      {"two strings", [] { rsErrorFmt(SMustBePlacedOn, {"Edit1", "ToolForm"}); }, "'Edit1' must be placed on 'ToolForm'"},
      {"float range", [] { rsErrorFmt(SOutOfRangeMinMax, {"12,5", 1.5, 10.0}); },
       "\"12,5\" is out of range. The allowed range is 1,5 to 10"},
      {"nested text",
       [] { throw ERSError(rsFormatStr(SInternalError, {rsLoadStr(SUnableToInsertData)})); },
       "Internal error: unable to insert data"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      c.raise();
      ADD_FAILURE() << "nothing raised";
    } catch (const ERSError& e) {
      EXPECT_EQ(e.Message(), c.message);
      EXPECT_STREQ(e.ClassName(), "ERSError");
    }
  }
}

TEST(LibraryErrors, GridErrorIsALibraryError) {
  try {
    throw EDBGridPro(rsFormatStr(SMethodCallCancelled, {"UnfreezeGrid"}));
  } catch (const ERSError& e) {
    EXPECT_STREQ(e.ClassName(), "EDBGridPro");
    EXPECT_EQ(e.Message(), "Method call was cancelled (UnfreezeGrid)");
    EXPECT_NE(dynamic_cast<const Exception*>(&e), nullptr);
  }
}

}  // namespace str_texts_test
