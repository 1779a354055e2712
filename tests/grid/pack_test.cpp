// The library's defaults and its preset pack: what exists before any form,
// the presets' settings, the colour picker shown and typed in a grid cell of
// a real table, and the pack freed once at shut-down.
#include <gtest/gtest.h>

#include <iterator>
#include <string>

#include "grid/rs_blob.h"
#include "grid/rs_env.h"
#include "grid/rs_pack.h"
#include "grid/rs_str.h"
#include "tests/grid/edit_support.h"
#include "toolkit/ui/comctrls.h"
#include "toolkit/ui/dialogs.h"
#include "toolkit/ui/menus.h"

namespace pack_test {

using edit_support::GridForm;

// Counts the removal notices of one component.
struct Watcher : TComponent {
  Watcher() : TComponent(nullptr) {}
  TComponent* watched = nullptr;
  int removals = 0;
  void Notification(TComponent* component, TOperation operation) override {
    TComponent::Notification(component, operation);
    if (component == watched && operation == opRemove) ++removals;
  }
};

TEST(LibraryDefaults, TheDefaultDesignerAndVisionServeGridsThatNameNone) {
  EXPECT_NE(dynamic_cast<TStandardDesigner*>(DefaultGridDesigner()), nullptr);
  EXPECT_NE(DefaultVision(), nullptr);
  TForm form(nullptr);
  auto* grid = new TDBGridPro(&form);
  TgpColumn* column = grid->Columns()->Add();
  EXPECT_EQ(grid->Designer(), nullptr);
  EXPECT_EQ(grid->EffectiveDesigner(), DefaultGridDesigner());
  EXPECT_EQ(column->EffectiveVision(), DefaultVision());
  EXPECT_FALSE(DefaultDateTimeVision()->EnableButton());
  EXPECT_FALSE(DefaultDateVision()->EnableButton());
  EXPECT_NE(DefaultTimeVision(), nullptr);
}

TEST(DefPack, HoldsThePresetsWithTheirSettingsAndTheSharedDropDowns) {
  TrsDefPack* pack = DefPack();
  ASSERT_NE(pack, nullptr);
  EXPECT_EQ(DefPack(), pack) << "one pack";
  EXPECT_FALSE(pack->Visible());
  bool in_application = false;
  for (int i = 0; i < Application->ComponentCount(); ++i) in_application |= Application->Components(i) == pack;
  EXPECT_TRUE(in_application);

  EXPECT_EQ(pack->vtfDataList(), TStandardVision::DataListForm());
  EXPECT_EQ(pack->vtfCalendar(), TDateVision::CalendarForm());
  EXPECT_EQ(pack->vtfBlobPicker(), TDropDownBlobVision::BlobPicker());
  EXPECT_EQ(pack->vtfCalculator(), TNumericVision::Calculator());

  EXPECT_EQ(pack->Calendar->Buttons(), (TvpCalendarButtons{clbToday, clbClear}));
  EXPECT_EQ(pack->CalendarSimple->Buttons(), TvpCalendarButtons{});
  EXPECT_FALSE(pack->Date->EnableButton());
  EXPECT_FALSE(pack->Time->EnableButton());
  EXPECT_EQ(pack->Time->EditFormatKind(), tefDefault);
  EXPECT_EQ(pack->TimeShort->DisplayFormatKind(), dfkShort);
  EXPECT_EQ(pack->CheckBoxInt->ValueChecked(), "1");
  EXPECT_EQ(pack->CheckBoxInt->ValueUnChecked(), "0");
  EXPECT_EQ(pack->NumericDef->DisplayFormat(), "0.00");
  EXPECT_EQ(pack->NumericDefSep->DisplayFormat(), "0.00,");
  EXPECT_EQ(pack->NumericSpin->ButtonStyle(), pbsSpin);
  EXPECT_TRUE(pack->NumericSpin->EnableButton());
  EXPECT_EQ(pack->Calculator->DropDownKind(), ndkCalculator);
  EXPECT_EQ(pack->Calculator->GetDropDown(), TNumericVision::Calculator());
  EXPECT_FALSE(pack->Memo->EditWordWrap());
  EXPECT_TRUE(pack->TitleSurface->ReadOnly());

  const struct {
    TvpFieldVision* vision;
    const char* description;
  } texts[] = {
      {pack->TitleSurface, "Determines 3D style of the cell."},
      {pack->Date, "Displays and edits data as date."},
      {pack->Calendar, "Calendar control with buttons."},
      {pack->CalendarSimple, "Calendar control without buttons."},
      {pack->Numeric, "Dsiplays and edits data as number."},
      {pack->NumericDef, "Number format, two digits after decimal separator."},
      {pack->NumericDefSep,
       "Number format, two digits after decimal "
       "separator, thousand separator."},
      {pack->NumericSpin, "Number format, spin buttons are available."},
      {pack->CheckBoxBool, "Switch control for logical fields."},
      {pack->CheckBoxInt, "Switch control for integer fields. 0 - off, 1 - on."},
  };
  for (const auto& t : texts) EXPECT_EQ(t.vision->Description(), t.description) << t.vision->Name();

  TStrings* colors = pack->ColorPicker->PickList();
  ASSERT_GT(colors->Count(), 16);
  EXPECT_EQ(colors->Strings(0), "clBlack");
  EXPECT_EQ(colors->Strings(9), "clRed");
  EXPECT_GE(colors->IndexOf("clBtnFace"), 0);
  EXPECT_EQ(pack->ColorPicker->Images(), pack->NullImageList);
  EXPECT_EQ(pack->NullImageList->Count(), 0);
}

// The image edits' menu and the blob picker's picture menu: two menus with
// the same items, both showing the shared toolbar pictures.
TEST(DefPack, BothPictureMenusHoldThePictureItemsAndTheToolbarPictures) {
  TrsDefPack* pack = DefPack();
  TPopupMenu* const menus[] = {pack->BlobContextMenu(), pack->PictureContextMenu()};
  ASSERT_NE(menus[0], nullptr);
  ASSERT_NE(menus[1], nullptr);
  EXPECT_NE(menus[0], menus[1]);
  EXPECT_EQ(menus[1], static_cast<TvpBlobPicker*>(pack->vtfBlobPicker())->PictureContextMenu())
      << "the menu the picker's picture pops up";
  const struct {
    const char* caption;
    int tag;
  } items[] = {{"Cut", 1},        {"Copy", 2},       {"Paste", 3}, {"Clear", 4},  {"-", 0},
               {"Load...", 5},    {"Save to...", 6}, {"-", 0},     {"Preview", 7}};
  for (TPopupMenu* menu : menus) {
    EXPECT_EQ(menu->Images(), rsEnv()->ToolbarImages);
    ASSERT_EQ(menu->Items().Count(), static_cast<int>(std::size(items)));
    for (int i = 0; i < menu->Items().Count(); ++i) {
      EXPECT_EQ(menu->Items().Items(i)->Caption(), items[i].caption) << i;
      EXPECT_EQ(menu->Items().Items(i)->Tag(), items[i].tag) << i;
    }
  }
}

TEST(DefPack, TheColumnBuilderTakesTheWidthsThatAreNumbersAboveZero) {
  TForm form(nullptr);
  auto* grid = new TDBGridPro(&form);
  const int default_width = grid->Columns()->Add()->Width();
  grid->Columns()->Clear();
  TrsDefPack::AddColumns(*grid->Columns(), "A;B;C;D", "40;x;0");
  ASSERT_EQ(grid->Columns()->Count(), 4);
  const int widths[] = {40, default_width, default_width, default_width};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(grid->Columns()->Items(i)->FieldName(), std::string(1, char('A' + i)));
    EXPECT_EQ(grid->Columns()->Items(i)->Width(), widths[i]) << i;
  }
}

// The colour picker on the integer N of a table: the cell shows the colour's
// name, and a name, a number or nothing typed into it is posted as a colour.
TEST(DefPack, TheColorPickerShowsColourNamesAndTakesNamesAndNumbers) {
  const struct {
    const char* typed;  // nullptr: the text cleared
    int posted;
  } cases[] = {{"clBlue", 0xFF0000},
               {"123", 123},
               {"$00FF00", 0x00FF00},
               {"clInactiveCaptionText", clInactiveCaptionText},
               {nullptr, clNone}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed ? c.typed : "(empty)");
    GridForm f(edit_support::MakeTable("pack_color"), {"N", "COMMENT"});
    ASSERT_TRUE(f.table->FindByValues("N", Variant(1), TFindOptions()));
    f.table->StartEdit();
    f.table->FieldNamed("N")->SetIntegerValue(255);
    f.table->CommitRecord();
    TgpColumn* column = f.Column("N");
    column->SetVision(DefPack()->ColorPicker);
    EXPECT_EQ(DefPack()->ColorPicker->FieldsText(*column->FieldList(), true), "clRed");
    TgpInplaceEdit* edit = f.Edit(255, "N");
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->EditText(), "clRed");
    GridForm::Key(Qt::Key_A, Qt::ControlModifier);
    GridForm::Key(Qt::Key_Delete);
    if (c.typed) GridForm::Type(c.typed);
    GridForm::Key(Qt::Key_Return);
    EXPECT_EQ(f.table->FieldNamed("N")->GetIntegerValue(), c.posted);
    column->SetVision(nullptr);
  }
}

// Answers the colour dialog with a colour, or cancels it; keeps the colour
// it started with.
struct ColorAnswer : TDialogService {
  ColorAnswer(bool confirm, TColor color) : confirm(confirm), color(color), previous(SetDialogService(this)) {}
  ~ColorAnswer() override { SetDialogService(previous); }
  int MessageBox(const AnsiString&, const AnsiString&, unsigned) override { return 1; }
  int MessageDlg(const AnsiString&, TMsgDlgType, TMsgDlgButtons) override { return mrOk; }
  bool ExecuteFileDialog(TOpenDialog&) override { return false; }
  bool ExecuteColorDialog(TColorDialog& dialog) override {
    started = dialog.Color();
    ++shown;
    dialog.SetColor(color);
    return confirm;
  }
  bool OpenDocument(const std::string&) override { return false; }
  bool confirm;
  TColor color;
  TColor started = -1;
  int shown = 0;
  TDialogService* previous;
};

TEST(DefPack, ADoubleClickChoosesTheColourInTheColourDialog) {
  const struct {
    bool confirm;
    int after;
  } cases[] = {{true, 0x00FFFF}, {false, 255}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.confirm);
    GridForm f(edit_support::MakeTable("pack_color_dialog"), {"N", "COMMENT"});
    ASSERT_TRUE(f.table->FindByValues("N", Variant(2), TFindOptions()));
    f.table->StartEdit();
    f.table->FieldNamed("N")->SetIntegerValue(255);
    f.table->CommitRecord();
    TgpColumn* column = f.Column("N");
    column->SetVision(DefPack()->ColorPicker);
    TgpInplaceEdit* edit = f.Edit(255, "N");
    ASSERT_NE(edit, nullptr);
    ColorAnswer answer(c.confirm, 0x00FFFF);
    QTest::mouseDClick(edit->Widget(), Qt::LeftButton, {}, QPoint(edit->Width() / 2, edit->Height() / 2));
    QApplication::processEvents();
    EXPECT_EQ(answer.shown, 1);
    EXPECT_EQ(answer.started, 255) << "the dialog starts on the field's colour";
    EXPECT_EQ(f.table->FieldNamed("N")->GetIntegerValue(), c.after);
    if (f.table->CurrentMode() != dsBrowse) f.table->DiscardChanges();
    column->SetVision(nullptr);
  }
}

TEST(DefPack, IsFreedOnceAtShutDownAndTheDefaultsGoWithIt) {
  Watcher watcher;
  watcher.watched = DefPack();
  watcher.watched->FreeNotification(&watcher);
  TForm form(nullptr);
  auto* grid = new TDBGridPro(&form);
  TgpColumn* column = grid->Columns()->Add();
  column->SetVision(DefaultNumericVision());
  FreeLibraryDefaults();
  EXPECT_EQ(watcher.removals, 1);
  EXPECT_FALSE(DefPackMade());
  EXPECT_EQ(column->EffectiveVision(), DefaultVision()) << "a column on a freed default falls back";
  FreeLibraryDefaults();
  EXPECT_EQ(watcher.removals, 1) << "a second shut-down frees nothing again";
  EXPECT_NE(DefPack(), nullptr) << "asked for again, a new pack is made";
}

}  // namespace pack_test
