// Editing cells of a real table through the grid's in-place editor, with
// the keys a user types, and the file read back with a dBASE reader.
#include <gtest/gtest.h>

#include <string>

#include "grid/rs_std.h"
#include "tests/grid/edit_support.h"
#include "toolkit/ui/maskedit.h"

namespace {

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

}  // namespace
