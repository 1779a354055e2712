// The text vision and the blob picker: the edit value of a text or memo
// field, what a cell shows, the picker set up afresh for each drop-down,
// and a comment edited in the picker posted into a dBASE table.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>

#include <memory>
#include <string>

#include "grid/rs_blob.h"
#include "grid/rs_edit.h"
#include "tests/grid/vision_grid_support.h"
#include "tests/grid/vision_support.h"
#include "toolkit/core/text.h"
#include "toolkit/ui/memo.h"
#include "toolkit/ui/stdctrls.h"

using namespace vision_support;

namespace {

// An edit of its own on a form, bound to one field through a text vision.
struct PickerFixture {
  PickerFixture(TDataSet* ds, const char* field) {
    source.SetDataSet(ds);
    form.SetBounds(0, 0, 300, 200);
    edit = new TDBProdiEdit(&form);
    edit->SetParent(&form);
    edit->SetDataSource(&source);
    edit->SetDataField(field);
    edit->SetVision(&vision);
  }
  TvpBlobPicker& Picker() { return *static_cast<TvpBlobPicker*>(TDropDownBlobVision::BlobPicker()); }
  TDataSource source{nullptr};
  TTextVision vision{nullptr};
  TForm form{nullptr};
  TDBProdiEdit* edit = nullptr;
};

TEST(TextVision, TheEditValueIsTheFieldsText) {
  auto ds = MemData();
  const struct {
    const char* field;
    int row;
    bool null;
    const char* text;
  } cases[] = {
      {"NAME", 0, false, "Иванов"},
      {"NOTE", 0, false, "первая строка\r\nвторая строка"},
      {"NAME", 1, true, ""},
      {"N", 0, false, "1"},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.field);
    ds->GoFirst();
    ds->Skip(t.row);
    PickerFixture f(ds.get(), t.field);
    f.vision.LoadEditValue(*f.edit);
    EXPECT_EQ(f.edit->CurrentValue().DataType(), ftString);
    EXPECT_EQ(f.edit->CurrentValue().IsNull(), t.null);
    EXPECT_EQ(AnsiToUtf8(f.edit->CurrentValue().AsString()), t.text);
    EXPECT_FALSE(f.edit->CurrentValue().Changed);
  }
}

TEST(TextVision, IsSelfDrawnAndDropsThePickerDownOnAClick) {
  TTextVision vision(nullptr);
  EXPECT_TRUE(vision.SelfDrawn());
  EXPECT_TRUE(vision.ComboBoxStyle());
  EXPECT_TRUE(vision.EnableButton());
  EXPECT_FALSE(vision.WantArrows());
  EXPECT_EQ(vision.DisplayAs(), tbmIcon);
  EXPECT_EQ(vision.GetDropDown(), TDropDownBlobVision::BlobPicker());
}

TEST(TextVision, ACellShowsTheWholeTextOrAMarker) {
  auto ds = MemData();
  RecordingConsumer c;
  TTextVision vision(nullptr);
  c.Fields.SetVision(&vision);
  c.Fields.SetFieldName("NOTE");
  c.Bind(ds.get());
  EditStandIn edit(c);
  edit.Inplace = true;
  TBitmap shot;
  shot.SetSize(200, 18);
  const auto ink = [&] {
    int dark = 0;
    for (int y = 0; y < 18; ++y)
      for (int x = 0; x < 200; ++x)
        if (ColorToRGB(shot.Canvas().Pixel(x, y)) != ColorToRGB(clWhite)) ++dark;
    return dark;
  };
  const auto paint = [&] {
    shot.Canvas().Brush().SetColor(clWhite);
    shot.Canvas().Brush().SetStyle(bsSolid);
    shot.Canvas().FillRect(Rect(0, 0, 200, 18));
    vision.PaintEdit(edit, shot.Canvas(), Rect(0, 0, 200, 18));
  };
  vision.SetDisplayAs(tbmText);
  paint();
  EXPECT_GT(ink(), 0) << "the memo's text is shown";
  ds->GoNext();  // NOTE null
  paint();
  EXPECT_EQ(ink(), 0);
}

TEST(BlobPicker, OptionsAreBuiltAfreshForEachDropDown) {
  auto ds = MemData();
  PickerFixture fixed(ds.get(), "NAME");
  fixed.vision.SetDropDownOptionsEx(TfvDropDownTextOptions{dtoNoSizing, dtoNoAutoPost, dtoNoWantReturns});
  PickerFixture plain(ds.get(), "NAME");
  TvpBlobPicker& picker = fixed.Picker();

  fixed.vision.LoadEditValue(*fixed.edit);
  picker.Prepare(fixed.vision, *fixed.edit);
  EXPECT_TRUE(picker.Options().Contains(tfoFixedWidth));
  EXPECT_TRUE(picker.Options().Contains(tfoFixedHeight));
  EXPECT_FALSE(picker.Options().Contains(tfoAlwaysPostChanges));
  EXPECT_FALSE(picker.TextBox()->WantReturns());

  plain.vision.LoadEditValue(*plain.edit);
  picker.Prepare(plain.vision, *plain.edit);
  EXPECT_FALSE(picker.Options().Contains(tfoFixedWidth)) << "the last use's fixed size is gone";
  EXPECT_FALSE(picker.Options().Contains(tfoFixedHeight));
  EXPECT_TRUE(picker.Options().Contains(tfoAlwaysPostChanges)) << "posting on leaving is back";
  EXPECT_TRUE(picker.Options().Contains(tfoFocusable));
  EXPECT_TRUE(picker.Options().Contains(tfoNoAutoPost));
  EXPECT_TRUE(picker.TextBox()->WantReturns());
  EXPECT_FALSE(picker.OkButton()->Enabled()) << "OK waits for a change";
}

TEST(BlobPicker, TheTextBoxTakesTheValueAndTheFieldsSize) {
  auto ds = MemData();
  PickerFixture f(ds.get(), "NAME");  // a string field of 20
  TvpBlobPicker& picker = f.Picker();
  f.vision.LoadEditValue(*f.edit);
  picker.Prepare(f.vision, *f.edit);
  EXPECT_EQ(AnsiToUtf8(picker.TextBox()->Text()), "Иванов");
  EXPECT_EQ(picker.TextBox()->MaxLength(), 20);
  EXPECT_FALSE(picker.TextBox()->Modified());
  f.vision.SetTextMaxLength(5);
  picker.Prepare(f.vision, *f.edit);
  EXPECT_EQ(picker.TextBox()->MaxLength(), 5);
  EXPECT_EQ(AnsiToUtf8(picker.TextBox()->Text()), "Ивано");

  // The size the user left the picker at is remembered, unless fixed.
  picker.SetBounds(0, 0, 250, 140);
  picker.Closed();
  EXPECT_EQ(f.vision.DropDownWidth(), 250);
  EXPECT_EQ(f.vision.DropDownHeight(), 140);
  picker.Prepare(f.vision, *f.edit);
  EXPECT_EQ(picker.Width(), 250);
  f.vision.SetDropDownOptionsEx(TfvDropDownTextOptions{dtoNoSizing});
  picker.Prepare(f.vision, *f.edit);
  picker.SetBounds(0, 0, 100, 90);
  picker.Closed();
  EXPECT_EQ(f.vision.DropDownWidth(), 250);
}

// Done when: a comment in Cyrillic edited in the picker reaches the table
// file in Windows-1251.
TEST(BlobPicker, ACommentEditedInThePickerIsPostedIntoTheTable) {
  std::string file;
  {
    auto t = DbfData("vision_blob_dbf");
    file = t->FilePathFull() + "/" + t->TableName();
    PickerFixture f(t.get(), "NAME");
    TvpBlobPicker& picker = f.Picker();
    f.vision.LoadEditValue(*f.edit);
    picker.Prepare(f.vision, *f.edit);
    picker.TextBox()->SetText(Utf8ToAnsi("проба № 7"));
    picker.PostChanges(*f.edit);
    EXPECT_TRUE(f.edit->CurrentValue().Changed);
    EXPECT_TRUE(f.vision.PostEditValue(*f.edit, false));
    t->CommitRecord();
    t->Deactivate();
  }
  EXPECT_EQ(ReadBack(file, "for r in rows: print(r['NAME'])\n"), "проба № 7\n\nQ\n");
}

TEST(BlobPicker, IsOwnedByTheApplicationAndMadeAgainAfterItIsFreed) {
  TVisionToolForm* picker = TDropDownBlobVision::BlobPicker();
  EXPECT_EQ(picker->Owner(), Application) << "freed with the application's components, before the windowing";
  EXPECT_EQ(TDropDownBlobVision::BlobPicker(), picker);
  FreeBlobDefaults();
  TVisionToolForm* again = TDropDownBlobVision::BlobPicker();
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->Owner(), Application);
  FreeBlobDefaults();
  FreeBlobDefaults();  // twice is harmless
}

// The picker dropped down from a grid cell: typing into its text box
// enables OK, and OK posts the text into the field of the table file.
TEST(BlobPicker, OkPostsWhatWasTypedInTheTextBox) {
  vision_grid::GridTable g("vision_blob_grid");
  TTextVision vision(nullptr);
  g.Column("P")->SetVision(&vision);
  TgpInplaceEdit* edit = g.Edit(1, "P");
  ASSERT_NE(edit, nullptr);
  TvpBlobPicker& picker = *static_cast<TvpBlobPicker*>(TDropDownBlobVision::BlobPicker());
  bool ok_enabled_after_typing = false;
  AnsiString text_box;
  QTimer::singleShot(0, [&] {
    QApplication::processEvents();
    if (QWidget* focus = QApplication::focusWidget()) {
      QTest::keyClick(focus, Qt::Key_End);
      QTest::keyClicks(focus, "7");
    }
    ok_enabled_after_typing = picker.OkButton()->Enabled();
    text_box = picker.TextBox() ? picker.TextBox()->Text() : AnsiString();
    picker.OkButton()->Click();
    if (picker.IsOpen()) picker.Close(false, false);
    QTimer::singleShot(1, [] {});
  });
  edit->DropDown();
  QApplication::processEvents();
  EXPECT_EQ(text_box, "1,57");
  EXPECT_TRUE(ok_enabled_after_typing);
  EXPECT_FALSE(picker.IsOpen());
  EXPECT_DOUBLE_EQ(g.table->FieldNamed("P")->GetFloatValue(), 1.57);
  g.Close();
  EXPECT_EQ(g.Read("r['P']"), "1.57\n3.0\n4.5\n");
}

}  // namespace
