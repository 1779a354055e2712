// A collection shown in a data grid through the object data set and edited
// with the keys a user types into the grid's cell editor.
#include <QApplication>
#include <QKeyEvent>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

#include "grid/rs.h"
#include "grid/rs_edit.h"
#include "grid/rs_ods.h"
#include "tests/grid/grid_support.h"
#include "tests/grid/ods_support.h"
#include "toolkit/ui/forms.h"

namespace ods_grid_test {

// The crew in an object data set, made before the grid on it and freed after.
struct CrewData {
  CrewData() {
    crew.Add("Mira", 4);
    crew.Add("Oleg", 2);
    crew.Add("Yana", 7);
    ds.SetSource(&crew.items);
    ds.Activate();
  }
  ods_support::Crew crew;
  TObjDataSet ds{nullptr};
};

struct CrewGrid : CrewData, grid_support::GridOnForm {
  CrewGrid() : GridOnForm(&ds, 360, 200, {"Name", "Grade"}) {}
  TgpInplaceEdit* Edit(int column) {
    EXPECT_TRUE(grid->Columns()->Items(column)->StartCellEdit());
    QApplication::processEvents();
    return grid->InplaceEditor();
  }
};

TEST(ObjDataSetGrid, ShowsOneRowPerItem) {
  CrewGrid g;
  ASSERT_TRUE(g.grid->LinkActive());
  TDataLink* link = g.grid->DataLink();
  ASSERT_EQ(link->QueryRowCount(), 3);
  std::string shown;
  for (int r = 0; r < 3; ++r) {
    link->ChangeActiveRow(r);
    shown += g.ds.FieldNamed("Name")->GetStringValue() + ":" + g.ds.FieldNamed("Grade")->GetStringValue() + ";";
  }
  EXPECT_EQ(shown, "Mira:4;Oleg:2;Yana:7;");
}

TEST(ObjDataSetGrid, TextTypedIntoACellIsWrittenIntoTheItem) {
  CrewGrid g;
  CrewGrid::Key(Qt::Key_Down);
  EXPECT_EQ(g.ds.FieldNamed("Name")->GetStringValue(), "Oleg");
  TgpInplaceEdit* edit = g.Edit(0);
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(edit->EditText(), "Oleg");
  CrewGrid::Type("Petr");
  EXPECT_EQ(edit->EditText(), "Petr");
  EXPECT_EQ(g.ds.CurrentMode(), dsEdit);
  CrewGrid::Key(Qt::Key_Return);
  EXPECT_EQ(g.ds.FieldNamed("Name")->GetStringValue(), "Petr");
  EXPECT_FALSE(g.grid->EditorShown()) << "Enter ends the edit";
  // Leaving the row posts the record into the item.
  CrewGrid::Key(Qt::Key_Down);
  EXPECT_EQ(g.ds.CurrentMode(), dsBrowse);
  EXPECT_EQ(g.crew.At(1)->name_, "Petr");
  EXPECT_EQ(g.crew.At(0)->name_, "Mira");

  // A number goes into the integer property of the third item.
  g.Edit(1);
  CrewGrid::Type("12");
  CrewGrid::Key(Qt::Key_Return);
  CrewGrid::Key(Qt::Key_Up);
  EXPECT_EQ(g.crew.At(2)->grade_, 12);
  EXPECT_EQ(g.crew.At(1)->grade_, 2);
  EXPECT_EQ(g.ds.FieldNamed("Name")->GetStringValue(), "Petr") << "the grid is back on the second row";
}

TEST(ObjDataSetGrid, EscapeLeavesTheItemAsItWas) {
  CrewGrid g;
  g.Edit(0);
  CrewGrid::Type("Zzz");
  CrewGrid::Key(Qt::Key_Escape);
  CrewGrid::Key(Qt::Key_Escape);
  EXPECT_EQ(g.ds.CurrentMode(), dsBrowse);
  EXPECT_EQ(g.crew.At(0)->name_, "Mira");
  EXPECT_EQ(g.ds.FieldNamed("Name")->GetStringValue(), "Mira");
}

}  // namespace ods_grid_test
