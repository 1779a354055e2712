// Editing cells of a real table through the grid's in-place editor, with
// the keys a user types, and the file read back with a dBASE reader.
#include <gtest/gtest.h>

#include <QImage>

#include <string>
#include <vector>

#include "grid/rs_num.h"
#include "grid/rs_std.h"
#include "tests/grid/edit_support.h"
#include "toolkit/ui/maskedit.h"

namespace edit_inplace_test {

using edit_support::GridForm;

TEST(InplaceEdit, ACyrillicCommentTypedIntoACellReachesTheFileInWindows1251) {
  GridForm g(edit_support::MakeTable("edit_cyrillic"));
  TgpInplaceEdit* edit = g.Edit(2, "COMMENT");
  ASSERT_NE(edit, nullptr);
  EXPECT_TRUE(g.grid->EditorShown());
  EXPECT_TRUE(edit->Visible());
  EXPECT_EQ(AnsiToUtf8(edit->EditText()), "вторая") << "the editor shows the field's edit text";
  EXPECT_EQ(edit->SelLength(), int(edit->EditText().size())) << "all selected: typing replaces it";
  GridForm::Type("проба № 7");
  EXPECT_EQ(AnsiToUtf8(edit->EditText()), "проба № 7");
  EXPECT_TRUE(edit->Fields().Modified());
  GridForm::Key(Qt::Key_Return);
  EXPECT_FALSE(g.grid->EditorShown()) << "Enter posts and ends the edit";
  EXPECT_EQ(g.Utf8("COMMENT"), "проба № 7");
  const std::string file = g.Close();
  EXPECT_EQ(edit_support::RawComment(file, 2), "\xEF\xF0\xEE\xE1\xE0 \xB9 7") << "Windows-1251 bytes";
  EXPECT_EQ(edit_support::ReadBack(file, "cp1251", "for r in rows: print(r['COMMENT'])\n"),
            "первая\nпроба № 7\nтретья\n");
}

TEST(InplaceEdit, ANumberInTheLocaleFormatIsStoredAsThatNumber) {
  GridForm g(edit_support::MakeTable("edit_number"));
  TgpInplaceEdit* edit = g.Edit(1, "P");
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(edit->EditText(), "1,5") << "the edit text uses the locale's decimal comma";
  GridForm::Type("12,5");
  GridForm::Key(Qt::Key_Return);
  EXPECT_DOUBLE_EQ(g.table->FieldNamed("P")->GetFloatValue(), 12.5);
  const std::string file = g.Close();
  EXPECT_EQ(edit_support::ReadBack(file, "cp1251", "for r in rows: print(r['P'])\n"), "12.5\n2.25\n3.0\n");
}

TEST(InplaceEdit, LettersAreRefusedWithABeepInANumberCell) {
  GridForm g(edit_support::MakeTable("edit_number_letters"));
  TgpInplaceEdit* edit = g.Edit(1, "P");
  const unsigned beeps = MessageBeepCount();
  GridForm::Type("4x");
  EXPECT_EQ(edit->EditText(), "4");
  EXPECT_EQ(MessageBeepCount(), beeps + 1);
}

TEST(InplaceEdit, EscapeDropsTheTypedTextAndTheFieldKeepsItsValue) {
  GridForm g(edit_support::MakeTable("edit_escape"));
  TgpInplaceEdit* edit = g.Edit(3, "COMMENT");
  GridForm::Type("zzz");
  EXPECT_EQ(edit->EditText(), "zzz");
  GridForm::Key(Qt::Key_Escape);
  EXPECT_FALSE(g.grid->EditorShown());
  EXPECT_EQ(g.Utf8("COMMENT"), "третья");
  // Opening the editor again shows the stored value, not the dropped text.
  edit = g.Edit(3, "COMMENT");
  EXPECT_EQ(AnsiToUtf8(edit->EditText()), "третья");
  GridForm::Key(Qt::Key_Escape);
  const std::string file = g.Close();
  EXPECT_EQ(edit_support::ReadBack(file, "cp1251", "print(rows[2]['COMMENT'])\n"), "третья\n");
}

TEST(InplaceEdit, TabPostsAndMovesToTheNextColumnAndDownPostsAndMovesDown) {
  GridForm g(edit_support::MakeTable("edit_tab"));
  g.Edit(1, "COMMENT");
  GridForm::Type("a");
  GridForm::Key(Qt::Key_Tab);
  EXPECT_EQ(g.Utf8("COMMENT"), "a");
  EXPECT_EQ(g.grid->CurrentColumn(), g.Column("P"));
  g.Edit(1, "COMMENT");
  GridForm::Type("b");
  GridForm::Key(Qt::Key_Down);
  EXPECT_EQ(g.table->FieldNamed("N")->GetIntegerValue(), 2) << "the grid moved a row down";
  g.table->GoFirst();
  EXPECT_EQ(g.Utf8("COMMENT"), "b") << "the move posted the record";
}

// The mend: a post that writes nothing does not report a posted value.
TEST(InplaceEdit, AfterFieldPostFollowsOnlyAValueReallyWritten) {
  GridForm g(edit_support::MakeTable("edit_after_post"));
  // A column whose field the table lacks is shown (its text comes from the
  // vision's OnGetValue) and edited, but posting it writes no field.
  TgpColumn* ghost = g.grid->Columns()->Add();
  ghost->SetFieldName("GHOST");
  int calls = 0;
  int last_code = -1;
  g.grid->AfterFieldPost = [&](TComponent*, TgpColumn*, int PostCode, TgpFieldEditAction&) {
    ++calls;
    last_code = PostCode;
  };
  struct Case {
    TgpColumn* column;
    int calls;
  };
  for (const Case& c : {Case{ghost, 0}, Case{g.Column("COMMENT"), 1}}) {
    calls = 0;
    ASSERT_TRUE(c.column->StartCellEdit()) << c.column->FieldName();
    QApplication::processEvents();
    GridForm::Type("q");
    GridForm::Key(Qt::Key_Return);
    EXPECT_EQ(calls, c.calls) << c.column->FieldName();
  }
  EXPECT_EQ(last_code, fpcReturnKey);
}

TEST(InplaceEdit, ACharacterTheTablesCodePageLacksIsRefusedWithABeepNotStoredAsAQuestionMark) {
  GridForm g(edit_support::MakeTable("edit_codepage", 0x65));
  ASSERT_EQ(g.table->TranslationCodePage(), 866u);
  TgpInplaceEdit* edit = g.Edit(1, "COMMENT");
  const unsigned beeps = MessageBeepCount();
  // "‰" is in Windows-1251 but not in code page 866; "中" is in neither.
  GridForm::Type("ж‰");
  QKeyEvent han(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString::fromUtf8("中"));
  QApplication::sendEvent(GridForm::Focus(), &han);
  GridForm::Type("ё");
  EXPECT_EQ(AnsiToUtf8(edit->EditText()), "жё");
  EXPECT_EQ(MessageBeepCount(), beeps + 2);
  GridForm::Key(Qt::Key_Return);
  const std::string file = g.Close();
  EXPECT_EQ(edit_support::ReadBack(file, "cp866", "print(rows[0]['COMMENT'])\n"), "жё\n");
}

TEST(InplaceEdit, AnEditMaskRefusesCharactersAndAnIncompleteTextIsNotPosted) {
  GridForm g(edit_support::MakeTable("edit_mask"));
  TLiteVision vision(nullptr);
  vision.SetEditMask(">LL-00;1;_");
  g.Column("COMMENT")->SetVision(&vision);
  TgpInplaceEdit* edit = g.Edit(1, "COMMENT");
  EXPECT_EQ(AnsiToUtf8(edit->EditText()), "ПЕ-__") << "what of the stored text fits the mask, upper-cased";
  edit->SetSelStart(0);
  GridForm::Type("жq1");
  EXPECT_EQ(AnsiToUtf8(edit->EditText()), "ЖQ-1_") << "upper-cased; the literal skipped";
  EXPECT_THROW(g.grid->EndEdit(feaPost, true), ERSError);
  EXPECT_TRUE(g.grid->EditorShown()) << "the editor stays for the text to be mended";
  EXPECT_EQ(edit->SelLength(), 5) << "with its text selected";
  edit->SetSelStart(4);
  GridForm::Type("2");
  GridForm::Key(Qt::Key_Return);
  EXPECT_EQ(AnsiToUtf8(g.table->FieldNamed("COMMENT")->GetStringValue()), "ЖQ-12");
  g.Column("COMMENT")->SetVision(nullptr);
}

TEST(InplaceEdit, AReadOnlyTableTakesNoTyping) {
  GridForm g(edit_support::MakeTable("edit_readonly"));
  g.grid->SetReadOnly(true);
  EXPECT_FALSE(g.Column("COMMENT")->StartCellEdit()) << "a read-only grid shows no editor";
  g.grid->SetReadOnly(false);
  g.Column("COMMENT")->SetReadOnly(true);
  EXPECT_FALSE(g.Column("COMMENT")->StartCellEdit());
}

// Typing into the current cell of the grid: the key that opens the editor is
// the text's first character, not one lost on the way.
TEST(InplaceEdit, TheKeyThatOpensTheEditorIsTheFirstCharacterTyped) {
  struct Case {
    const char* field;
    const char* typed;
    const char* read;  // as the reader prints the stored value
  };
  for (const Case& c : {Case{"P", "75", "75.0"}, Case{"COMMENT", "проба", "проба"}}) {
    GridForm g(edit_support::MakeTable(std::string("edit_first_key_") + c.field));
    g.Stand(1, c.field);
    GridForm::Type(c.typed);
    ASSERT_TRUE(g.grid->EditorShown()) << c.field;
    EXPECT_EQ(AnsiToUtf8(g.grid->InplaceEditor()->EditText()), c.typed) << c.field;
    GridForm::Key(Qt::Key_Return);
    EXPECT_FALSE(g.grid->EditorShown());
    const std::string file = g.Close();
    EXPECT_EQ(edit_support::ReadBack(file, "cp1251", std::string("print(rows[0]['") + c.field + "'])\n"),
              std::string(c.read) + "\n")
        << c.field;
  }
}

// Home and End, with Shift or without, move the caret and select inside an
// editor opened by F2: they edit the text and do not end the edit.
TEST(InplaceEdit, HomeAndEndMoveTheCaretAndSelectInsideTheEditor) {
  GridForm g(edit_support::MakeTable("edit_home_end"));
  struct Step {
    std::vector<QKeyCombination> keys;
    const char* typed;
    const char* stored;
  };
  const Step steps[] = {
      {{QKeyCombination(Qt::Key_Home)}, "x", "xвторая"},
      {{QKeyCombination(Qt::Key_End)}, "!", "xвторая!"},
      {{QKeyCombination(Qt::Key_Home), QKeyCombination(Qt::ShiftModifier, Qt::Key_End)}, "y", "y"},
      {{QKeyCombination(Qt::Key_End), QKeyCombination(Qt::ShiftModifier, Qt::Key_Home)}, "проба № 7", "проба № 7"},
  };
  for (const Step& step : steps) {
    g.Stand(2, "COMMENT");
    GridForm::Key(Qt::Key_F2);
    ASSERT_TRUE(g.grid->EditorShown()) << step.stored;
    for (const QKeyCombination key : step.keys) GridForm::Key(key.key(), key.keyboardModifiers());
    EXPECT_TRUE(g.grid->EditorShown()) << step.stored;
    EXPECT_EQ(g.grid->CurrentColumn(), g.Column("COMMENT")) << step.stored;
    GridForm::Type(step.typed);
    GridForm::Key(Qt::Key_Return);
    EXPECT_EQ(g.Utf8("COMMENT"), step.stored);
  }
  const std::string file = g.Close();
  EXPECT_EQ(edit_support::RawComment(file, 2), "\xEF\xF0\xEE\xE1\xE0 \xB9 7") << "Windows-1251 bytes";
}

// An editor the grid keeps shown hands Home and End to the grid while its
// value is unchanged (moving between columns); once typed into, they edit.
TEST(InplaceEdit, AnAlwaysShownEditorLeavesHomeAndEndToTheGridOnlyUntilTyped) {
  GridForm g(edit_support::MakeTable("edit_always_shown"));
  g.grid->SetOptionsEdit(g.grid->OptionsEdit().Include(geoAlwaysShowEditor));
  g.Edit(1, "COMMENT");
  GridForm::Key(Qt::Key_End);
  EXPECT_EQ(g.grid->CurrentColumn(), g.Column("P")) << "End went to the grid: the last column";
  ASSERT_TRUE(g.grid->EditorShown());
  GridForm::Type("1");
  GridForm::Key(Qt::Key_Home);
  GridForm::Type("9");
  EXPECT_EQ(g.grid->CurrentColumn(), g.Column("P"));
  EXPECT_EQ(g.grid->InplaceEditor()->EditText(), "91") << "Home moved the caret";
}

// Shift+Down out of the editor extends the selection as Shift+Down on the
// grid does: the record left and the one reached are both selected.
TEST(InplaceEdit, ShiftDownLeavingTheEditorExtendsTheSelection) {
  GridForm g(edit_support::MakeTable("edit_shift_down"));
  g.grid->SetMultiSelect(true);
  g.Stand(1, "COMMENT");
  GridForm::Key(Qt::Key_F2);
  GridForm::Type("z");
  GridForm::Key(Qt::Key_Down, Qt::ShiftModifier);
  EXPECT_FALSE(g.grid->EditorShown());
  EXPECT_EQ(g.table->FieldNamed("N")->GetIntegerValue(), 2);
  EXPECT_EQ(g.grid->Selection()->ExplicitCount(), 2) << "records 1 and 2";
  EXPECT_TRUE(g.grid->Selection()->IsCurrentSelected());
  GridForm::Key(Qt::Key_Down, Qt::ShiftModifier);
  EXPECT_EQ(g.grid->Selection()->ExplicitCount(), 3) << "the grid's own Shift+Down goes on with the same range";
  const std::string file = g.Close();
  EXPECT_EQ(edit_support::ReadBack(file, "cp1251", "print(rows[0]['COMMENT'])\n"), "z\n");
}

// The column's edit format reaches the editor: a mask on the column masks
// it, and a number edits in the column's format.
TEST(InplaceEdit, TheColumnsEditFormatHoldsInTheEditor) {
  GridForm g(edit_support::MakeTable("edit_column_format"));
  TNumericVision numeric(nullptr);
  g.Column("P")->SetVision(&numeric);
  g.Column("P")->SetEditFormat("0.000");
  g.Column("COMMENT")->SetEditFormat(">LL-00;1;_");
  struct Case {
    const char* field;
    const char* shown;
    const char* typed;
    const char* stored;
  };
  for (const Case& c : {Case{"P", "1,500", "2,5", "2.5"}, Case{"COMMENT", "ПЕ-__", "жq12", "ЖQ-12"}}) {
    g.Stand(1, c.field);
    GridForm::Key(Qt::Key_F2);
    ASSERT_TRUE(g.grid->EditorShown()) << c.field;
    EXPECT_EQ(AnsiToUtf8(g.grid->InplaceEditor()->EditText()), c.shown) << c.field;
    GridForm::Key(Qt::Key_Home);
    GridForm::Key(Qt::Key_End, Qt::ShiftModifier);
    GridForm::Type(c.typed);
    GridForm::Key(Qt::Key_Return);
    EXPECT_FALSE(g.grid->EditorShown()) << c.field;
  }
  g.Column("P")->SetVision(nullptr);
  const std::string file = g.Close();
  EXPECT_EQ(edit_support::ReadBack(file, "cp1251", "print(rows[0]['P'], rows[0]['COMMENT'])\n"), "2.5 ЖQ-12\n");
}

// The leftmost column of the editor's picture that is not its background.
int LeftmostInk(TgpInplaceEdit& edit) {
  const QImage image = edit.Widget()->grab().toImage();
  const QRgb background = image.pixel(image.width() - 1, image.height() - 1);
  for (int x = 0; x < image.width(); ++x)
    for (int y = 0; y < image.height(); ++y)
      if (image.pixel(x, y) != background) return x;
  return -1;
}

// The editor shows its text where the column aligns the cell's.
TEST(InplaceEdit, TheEditorAlignsItsTextAsTheColumnDoes) {
  GridForm g(edit_support::MakeTable("edit_alignment"));
  struct Case {
    TvpDefAlignment alignment;
    int from, to;  // where the text starts in the 120 pixels of the cell
  };
  for (const Case& c : {Case{talLeftJustify, 0, 10}, Case{talCenter, 40, 60}, Case{talRightJustify, 90, 118}}) {
    g.Column("P")->SetAlignment(c.alignment);
    g.Stand(1, "P");
    GridForm::Key(Qt::Key_F2);
    TgpInplaceEdit* edit = g.grid->InplaceEditor();
    ASSERT_TRUE(g.grid->EditorShown());
    ASSERT_EQ(edit->EditText(), "1,5");
    const int left = LeftmostInk(*edit);
    EXPECT_GE(left, c.from) << int(c.alignment);
    EXPECT_LE(left, c.to) << int(c.alignment);
    GridForm::Key(Qt::Key_Escape);
  }
}

// Deleting or clearing the columns while the editor is shown on one, or was
// last attached to it: neither the editor nor the grid reads the column
// that went (run under the sanitizer or valgrind to see a read of it).
TEST(InplaceEdit, ColumnsThatGoWhileTheEditorIsOnThemAreForgotten) {
  enum How { kDeleteShown, kClearShown, kDeleteAttached };
  for (const How how : {kDeleteShown, kClearShown, kDeleteAttached}) {
    GridForm g(edit_support::MakeTable("edit_column_goes_" + std::to_string(int(how))));
    TLiteVision vision(nullptr);
    g.Column("COMMENT")->SetVision(&vision);
    g.Stand(2, "COMMENT");
    GridForm::Key(Qt::Key_F2);
    ASSERT_TRUE(g.grid->EditorShown());
    GridForm::Type("q");
    if (how == kDeleteAttached) GridForm::Key(Qt::Key_Escape);
    if (how == kClearShown)
      g.grid->Columns()->Clear();
    else
      delete g.Column("COMMENT");
    QApplication::processEvents();
    EXPECT_FALSE(g.grid->EditorShown()) << int(how);
    EXPECT_EQ(g.grid->EditorColumn(), nullptr) << int(how);
    TgpInplaceEdit* edit = g.grid->InplaceEditor();
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->Column(), nullptr) << int(how);
    // What made the editor read its column: a change of the vision it still
    // hears of, and a relayout of the grid.
    vision.SetAlignment(talRightJustify);
    g.grid->Columns()->Add()->SetFieldName("N");
    QApplication::processEvents();
    GridForm::Key(Qt::Key_F2);
    EXPECT_TRUE(g.grid->EditorShown()) << int(how);
    GridForm::Key(Qt::Key_Escape);
    EXPECT_EQ(g.Utf8("COMMENT"), "вторая") << "the text typed into the column that went is not posted";
  }
}

}  // namespace edit_inplace_test
