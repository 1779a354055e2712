// The text vision and the blob picker: the edit value of a text or memo
// field, what a cell shows, the picker set up afresh for each drop-down,
// and a comment edited in the picker posted into a dBASE table.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>

#include "grid/rs_blob.h"
#include "grid/rs_edit.h"
#include "grid/rs_img.h"
#include "tests/grid/vision_grid_support.h"
#include "tests/grid/vision_support.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/text.h"
#include "toolkit/ui/clipbrd.h"
#include "toolkit/ui/extctrls.h"
#include "toolkit/ui/focus.h"
#include "toolkit/ui/memo.h"
#include "toolkit/ui/menus.h"
#include "toolkit/ui/stdctrls.h"

namespace vision_blob_test {

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

// How the picker is left decides what becomes of the text typed into it:
// Escape keeps it (unless the vision says not to post on leaving), OK by its
// accelerator posts it, Cancel by its accelerator drops it. Either way the
// focus comes back to the grid's editor, and the file holds the comment in
// Windows-1251.
TEST(BlobPicker, LeavingItByEscapeOkOrCancelKeepsOrDropsTheTypedComment) {
  const struct {
    const char* name;
    TfvDropDownTextOptions options;
    Qt::Key key;
    Qt::KeyboardModifiers mods;
    const char* stored;
  } cases[] = {
      {"Escape", {}, Qt::Key_Escape, Qt::NoModifier, "проба № 7"},
      {"Escape, no posting on leaving", {dtoNoAutoPost}, Qt::Key_Escape, Qt::NoModifier, "третья"},
      {"Alt+O", {}, Qt::Key_O, Qt::AltModifier, "проба № 7"},
      {"Alt+C", {}, Qt::Key_C, Qt::AltModifier, "третья"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    edit_support::GridForm g(edit_support::MakeTable("vision_blob_leave"));
    TTextVision vision(nullptr);
    vision.SetDropDownOptionsEx(c.options);
    g.Column("COMMENT")->SetVision(&vision);
    TgpInplaceEdit* edit = g.Edit(3, "COMMENT");
    ASSERT_NE(edit, nullptr);
    TvpBlobPicker& picker = *static_cast<TvpBlobPicker*>(TDropDownBlobVision::BlobPicker());
    bool typed_into_text_box = false;
    QTimer::singleShot(0, [&] {
      QApplication::processEvents();
      typed_into_text_box = picker.TextBox() && QApplication::focusWidget() == picker.TextBox()->Widget();
      edit_support::GridForm::Key(Qt::Key_A, Qt::ControlModifier);
      edit_support::GridForm::Type("проба № 7");
      edit_support::GridForm::Key(c.key, c.mods);
      if (picker.IsOpen()) picker.Close(false, false);
      QTimer::singleShot(1, [] {});
    });
    edit->DropDown();
    QApplication::processEvents();
    EXPECT_TRUE(typed_into_text_box);
    EXPECT_FALSE(picker.IsOpen());
    EXPECT_EQ(FocusedControl(), edit) << "the focus is back in the editor";
    EXPECT_EQ(g.Utf8("COMMENT"), c.stored);
    const std::string file = g.Close();
    EXPECT_EQ(edit_support::ReadBack(file, "cp1251", "print(rows[2]['COMMENT'])\n"), std::string(c.stored) + "\n");
  }
}

// Where a control lies inside the picker, in the picker's coordinates.
QRect InPicker(TvpBlobPicker& picker, TControl* control) {
  const QPoint at = control->Widget()->mapTo(picker.Widget(), QPoint(0, 0));
  return QRect(at, QSize(control->Width(), control->Height()));
}

// What the user sees of the picker's layout: the text box over the whole
// client panel, the strip of buttons across the bottom with OK and Cancel at
// its right end, everything inside the host.
void ExpectPickerLaidOut(TvpBlobPicker& picker) {
  const QRect inside(0, 0, picker.Host()->ClientWidth(), picker.Host()->ClientHeight());
  EXPECT_EQ(QSize(picker.Width(), picker.Height()), inside.size());
  const QRect back = InPicker(picker, picker.BackPanel());
  const QRect strip = InPicker(picker, picker.ControlPanel());
  EXPECT_EQ(back, QRect(0, 0, inside.width(), inside.height() - 32));
  EXPECT_EQ(strip, QRect(0, inside.height() - 32, inside.width(), 32));
  ASSERT_NE(picker.TextBox(), nullptr);
  EXPECT_EQ(InPicker(picker, picker.TextBox()), back);
  const QRect ok = InPicker(picker, picker.OkButton()), cancel = InPicker(picker, picker.CancelButton());
  EXPECT_EQ(cancel.right(), inside.width() - 5) << "Cancel at the right end";
  EXPECT_EQ(ok.right(), cancel.left() - 5) << "OK beside it";
  EXPECT_TRUE(inside.contains(ok)) << "OK inside the host";
  EXPECT_TRUE(inside.contains(cancel)) << "Cancel inside the host";
}

// The editor of row 1's COMMENT in a grid, shown through a text vision.
struct CommentPicker {
  explicit CommentPicker(const char* folder) : g(edit_support::MakeTable(folder)) {
    g.Column("COMMENT")->SetVision(&vision);
    edit = g.Edit(1, "COMMENT");
  }
  edit_support::GridForm g;
  TTextVision vision{nullptr};
  TgpInplaceEdit* edit = nullptr;
  TvpBlobPicker& picker = *static_cast<TvpBlobPicker*>(TDropDownBlobVision::BlobPicker());
};

// The picker dragged larger or smaller by its corner lays its content out
// for the new size at once, and drops down next time at that size.
TEST(BlobPicker, ItsContentFollowsTheSizeTheUserGivesItAndKeepsItForTheNextDropDown) {
  const struct {
    const char* name;
    QPoint by;
  } cases[] = {{"larger", {80, 40}}, {"smaller", {-30, -10}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CommentPicker f("vision_blob_size");
    ASSERT_NE(f.edit, nullptr);
    TvpBlobPicker& picker = f.picker;
    TTextVision& vision = f.vision;
    TgpInplaceEdit* edit = f.edit;
    QSize first, dragged;
    QTimer::singleShot(0, [&] {
      QApplication::processEvents();
      QWidget* window = picker.Host()->Widget();
      first = QSize(picker.Width(), picker.Height());
      edit_support::DragFrame(window, QPoint(window->width() - 1, window->height() - 1), c.by);
      dragged = QSize(picker.Width(), picker.Height());
      ExpectPickerLaidOut(picker);
      edit_support::GridForm::Key(Qt::Key_Escape);
      if (picker.IsOpen()) picker.Close(false, false);
    });
    edit->DropDown();
    QApplication::processEvents();
    ASSERT_EQ(dragged, first + QSize(c.by.x(), c.by.y()));
    EXPECT_EQ(vision.DropDownWidth(), dragged.width());
    EXPECT_EQ(vision.DropDownHeight(), dragged.height());
    QSize again;
    QTimer::singleShot(0, [&] {
      QApplication::processEvents();
      again = QSize(picker.Width(), picker.Height());
      ExpectPickerLaidOut(picker);
      edit_support::GridForm::Key(Qt::Key_Escape);
      if (picker.IsOpen()) picker.Close(false, false);
    });
    edit->DropDown();
    QApplication::processEvents();
    EXPECT_EQ(again, dragged);
    EXPECT_FALSE(picker.IsOpen());
  }
}

// However the picker goes away (its window closed by the window system
// included), the next click on the cell drops it down again.
TEST(BlobPicker, AfterItsWindowIsClosedTheNextClickDropsItDownAgain) {
  const struct {
    const char* name;
    std::function<void(TvpBlobPicker&)> close;
  } cases[] = {
      {"the window closed", [](TvpBlobPicker& picker) { picker.Host()->Widget()->close(); }},
      {"Escape", [](TvpBlobPicker&) { edit_support::GridForm::Key(Qt::Key_Escape); }},
      {"Cancel clicked",
       [](TvpBlobPicker& picker) {
         QWidget* cancel = picker.CancelButton()->Widget();
         QTest::mouseClick(cancel, Qt::LeftButton, {}, cancel->rect().center());
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CommentPicker f("vision_blob_reopen");
    ASSERT_NE(f.edit, nullptr);
    TvpBlobPicker& picker = f.picker;
    TgpInplaceEdit* edit = f.edit;
    const auto click_edit = [&] {
      QWidget* w = edit->Widget();
      QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
    };
    // A picker that stays open once closed would hold its loop for ever: a
    // second later the test closes it itself and says so.
    bool stuck = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
      stuck = picker.IsOpen();
      if (picker.IsOpen()) picker.Close(false, false);
    });
    int drops = 0;
    QTimer::singleShot(0, [&] {
      QApplication::processEvents();
      drops += picker.IsOpen() ? 1 : 0;
      guard.start(1000);
      c.close(picker);
    });
    click_edit();
    QApplication::processEvents();
    guard.stop();
    EXPECT_FALSE(stuck) << "closing it left it open";
    EXPECT_FALSE(picker.IsOpen());
    EXPECT_EQ(edit->DropDownForm(), nullptr);
    QTimer::singleShot(0, [&] {
      QApplication::processEvents();
      drops += picker.IsOpen() ? 1 : 0;
      if (picker.IsOpen()) picker.Close(false, false);
    });
    click_edit();
    QApplication::processEvents();
    EXPECT_EQ(drops, 2) << "the next click drops it down again";
    EXPECT_FALSE(picker.IsOpen());
  }
}

// A picture of w × h in one colour, as the bytes of a BMP file.
std::string BmpBytes(int w, int h, TColor color) {
  TBitmap bitmap;
  bitmap.SetSize(w, h);
  bitmap.Canvas().Brush().SetColor(color);
  bitmap.Canvas().Brush().SetStyle(bsSolid);
  bitmap.Canvas().FillRect(Rect(0, 0, w, h));
  return bitmap.SaveToBytes();
}

// A shown form with an edit of its own, focused, over the picture field PIC
// of a one-row data set (a red picture of 3 × 2) through a blob vision.
struct PictureEditForm {
  PictureEditForm() {
    ds.FieldDefs().AppendNamedDef("N", ftInteger);
    ds.FieldDefs().AppendNamedDef("PIC", ftBlob);
    ds.Activate();
    ds.StartAppend();
    ds.FieldNamed("N")->SetIntegerValue(1);
    const std::string bytes = BmpBytes(3, 2, clRed);
    TMemoryStream stream;
    stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    stream.SetPosition(0);
    static_cast<TBlobField*>(ds.FieldNamed("PIC"))->LoadFromStream(stream);
    ds.CommitRecord();
    source.SetDataSet(&ds);
    form.SetBounds(20, 20, 300, 200);
    edit = new TDBProdiEdit(&form);
    edit->SetParent(&form);
    edit->SetBounds(5, 5, 120, 21);
    edit->SetVision(&vision);
    edit->SetDataSource(&source);
    edit->SetDataField("PIC");
    form.Show();
    form.Widget()->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(form.Widget()));
    edit->SetFocus();
    QApplication::processEvents();
  }
  ~PictureEditForm() { edit->SetVision(nullptr); }
  // Drops the picker down and runs steps inside its loop; a picker the steps
  // left open is closed after them.
  void InPicker(const std::function<void(TvpBlobPicker&)>& steps) {
    TvpBlobPicker& picker = *static_cast<TvpBlobPicker*>(TDropDownBlobVision::BlobPicker());
    QTimer::singleShot(0, [&] {
      QApplication::processEvents();
      steps(picker);
      if (picker.IsOpen()) picker.Close(false, false);
      QTimer::singleShot(1, [] {});
    });
    edit->DropDown();
    QApplication::processEvents();
  }
  // The width of the picture the field holds (0: none).
  int FieldPictureWidth() {
    TvpUniValue value(false, false);
    value.SetDataType(ftBlob);
    TMemoryStream stream;
    static_cast<TBlobField*>(ds.FieldNamed("PIC"))->SaveToStream(stream);
    stream.SetPosition(0);
    value.LoadFromStream(stream);
    TPicture stored;
    ValueToGraphic(value, stored);
    return stored.Bitmap().Width();
  }
  TMemDataSet ds{nullptr};
  TDataSource source{nullptr};
  TDropDownBlobVision vision{nullptr};
  TForm form{nullptr};
  TDBProdiEdit* edit = nullptr;
};

// The picker's menu item of a tag.
TMenuItem* MenuItem(TvpBlobPicker& picker, int tag) {
  TMenuItem& items = picker.PictureContextMenu()->Items();
  for (int i = 0; i < items.Count(); ++i)
    if (items.Items(i)->Tag() == tag) return items.Items(i);
  return nullptr;
}

// The picker's picture mode over a picture field: its menu offers what the
// picture allows, the clipboard keys cut and paste it (enabling and focusing
// OK), and OK by its accelerator posts the picture into the field.
TEST(BlobPicker, ThePictureModesMenuAndKeysEditThePictureAndOkPostsIt) {
  PictureEditForm f;
  // The state of each menu item as it pops up: "e" enabled, "d" disabled,
  // "h" hidden, "|" a shown separator.
  const auto menu = [](TvpBlobPicker& picker) {
    TPopupMenu& m = *picker.PictureContextMenu();
    m.OnPopup(&m);
    std::string out;
    for (int i = 0; i < m.Items().Count(); ++i) {
      TMenuItem* item = m.Items().Items(i);
      out += item->IsLine() ? (item->Visible() ? "|" : "") : !item->Visible() ? "h" : item->Enabled() ? "e" : "d";
    }
    return out;
  };
  TBitmap blue;
  blue.SetSize(2, 2);
  SetClipboardBitmap(blue);
  std::string at_open, after_cut, after_paste;
  int width_at_open = 0, width_after_cut = 0;
  bool ok_at_open = true, ok_after_cut = false, focus_on_ok = false, menu_on_view = false;
  f.InPicker([&](TvpBlobPicker& picker) {
    ASSERT_NE(picker.PictureView(), nullptr);
    menu_on_view = picker.PictureView()->PopupMenu() == picker.PictureContextMenu();
    width_at_open = picker.PictureView()->Picture().Bitmap().Width();
    ok_at_open = picker.OkButton()->Enabled();
    at_open = menu(picker);
    edit_support::GridForm::Key(Qt::Key_X, Qt::ControlModifier);
    width_after_cut = picker.PictureView()->Picture().Bitmap().Width();
    ok_after_cut = picker.OkButton()->Enabled();
    focus_on_ok = QApplication::focusWidget() == picker.OkButton()->Widget();
    after_cut = menu(picker);
    MenuItem(picker, 3)->Click();  // Paste: the picture cut comes back
    after_paste = menu(picker);
    edit_support::GridForm::Key(Qt::Key_O, Qt::AltModifier);
    EXPECT_FALSE(picker.IsOpen());
  });
  EXPECT_TRUE(menu_on_view);
  EXPECT_EQ(width_at_open, 3) << "the picture the field holds";
  EXPECT_FALSE(ok_at_open);
  // Cut Copy Paste Clear | Load Save | Preview
  EXPECT_EQ(at_open, "eeee|ee|e");
  EXPECT_EQ(width_after_cut, 0) << "Ctrl+X cut the picture";
  EXPECT_TRUE(ok_after_cut);
  EXPECT_TRUE(focus_on_ok);
  EXPECT_EQ(after_cut, "dded|ed|d") << "nothing to cut, copy, clear, save or show";
  EXPECT_EQ(after_paste, "eeee|ee|e");
  EXPECT_EQ(FocusedControl(), f.edit);
  EXPECT_EQ(f.FieldPictureWidth(), 3) << "the picture, cut and pasted back, is posted";
}

// Load... takes a picture from the file the dialog gives: the picker is
// changed and OK enabled only when one was loaded, and OK posts it.
TEST(BlobPicker, ThePictureMenusLoadEnablesOkOnlyForAPictureLoaded) {
  const std::string folder = testsupport::TempDir("vision_blob_load");
  testsupport::WriteFile(folder + "/wide.bmp", BmpBytes(7, 2, clBlue));
  struct FileAnswer : vision_grid::MessageLog {
    bool ExecuteFileDialog(TOpenDialog& dialog) override {
      if (Answer.empty()) return false;
      dialog.SetFileName(Answer);
      return true;
    }
    std::string Answer;
  };
  for (const bool chosen : {false, true}) {
    SCOPED_TRACE(chosen ? "a file chosen" : "the dialog cancelled");
    PictureEditForm f;
    FileAnswer dialogs;
    if (chosen) dialogs.Answer = folder + "/wide.bmp";
    bool ok_enabled = !chosen, changed = !chosen;
    f.InPicker([&](TvpBlobPicker& picker) {
      MenuItem(picker, 5)->Click();
      ok_enabled = picker.OkButton()->Enabled();
      changed = picker.Changed();
      if (ok_enabled) picker.OkButton()->Click();
    });
    EXPECT_EQ(ok_enabled, chosen);
    EXPECT_EQ(changed, chosen);
    EXPECT_EQ(f.FieldPictureWidth(), chosen ? 7 : 3);
  }
}

}  // namespace

}  // namespace vision_blob_test
