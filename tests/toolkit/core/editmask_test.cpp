// Edit masks as the edits read them, and what typing, deleting and pasting
// do to a masked or free text.
#include "toolkit/core/editmask.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "toolkit/core/text.h"

namespace editmask_test {

AnsiString A(const char* utf8) { return Utf8ToAnsi(utf8); }

TEST(EditMask, ReadsThePictureTheSaveFlagAndTheBlank) {
  struct Case {
    const char* mask;
    const char* empty;  // UTF-8
    bool save;
    char blank;
  };
  const std::vector<Case> cases = {
      {"", "", true, '_'},
      {"000", "___", true, '_'},
      {"!99/99/0000;1;_", "__.__.____", true, '_'},  // the date separator is the locale's
      {"(999) 000-00-00;0;*", "(***) ***-**-**", false, '*'},
      {"\\L\\0 L;1; ", "L0  ", true, ' '},
      {">LL<ll<>cc", "______", true, '_'},
      {"00:00", "__:__", true, '_'},
  };
  for (const Case& c : cases) {
    const TEditMask mask(c.mask);
    EXPECT_EQ(mask.EmptyText(), A(c.empty)) << c.mask;
    EXPECT_EQ(mask.SaveLiterals(), c.save) << c.mask;
    EXPECT_EQ(mask.Blank(), c.blank) << c.mask;
  }
}

TEST(EditMask, EachPositionTakesItsClassOfCharacterInItsCase) {
  struct Case {
    const char* mask;
    int pos;
    const char* typed;     // UTF-8, one character
    const char* accepted;  // UTF-8; "" when refused
  };
  const std::vector<Case> cases = {
      {"L", 0, "a", "a"},    {"L", 0, "ж", "ж"},   {"L", 0, "5", ""},   {"l", 0, "Ё", "Ё"},
      {"A", 0, "7", "7"},    {"A", 0, "-", ""},    {"C", 0, "-", "-"},  {"0", 0, "x", ""},
      {"9", 0, "3", "3"},    {"#", 0, "+", "+"},   {"#", 0, "a", ""},   {">L", 0, "ж", "Ж"},
      {"<L", 0, "Ё", "ё"},   {"><L", 0, "Q", "q"}, {"><>L", 0, "q", "q"}, {"0-0", 1, "-", ""},
      {"\\00", 0, "0", ""},  {"\\00", 1, "4", "4"},
  };
  for (const Case& c : cases) {
    const TEditMask mask(c.mask);
    char ch = A(c.typed)[0];
    const bool ok = mask.AcceptChar(c.pos, ch);
    EXPECT_EQ(ok, *c.accepted != 0) << c.mask << " " << c.typed;
    if (ok) {
      EXPECT_EQ(ch, A(c.accepted)[0]) << c.mask << " " << c.typed;
    }
  }
}

TEST(EditMask, ValuesGoInAndOutWithOrWithoutTheLiterals) {
  struct Case {
    const char* mask;
    const char* value;
    const char* edit_text;
    const char* value_back;
  };
  const std::vector<Case> cases = {
      {"(999) 000-00-00;0;_", "4951234567", "(495) 123-45-67", "4951234567"},
      {"(999) 000-00-00;1;_", "(495) 123-45-67", "(495) 123-45-67", "(495) 123-45-67"},
      {"000-000;0;_", "12", "12_-___", "12    "},
      {"!999-999;0;_", "12", "___-_12", "    12"},
      {"00.00;1;_", "1x.34", "1_.34", "1 .34"},
  };
  for (const Case& c : cases) {
    const TEditMask mask(c.mask);
    EXPECT_EQ(mask.FormatValue(c.value), c.edit_text) << c.mask;
    EXPECT_EQ(mask.ValueOf(c.edit_text), c.value_back) << c.mask;
  }
}

TEST(EditMask, ValidationFindsTheFirstMissingOrWrongPosition) {
  const TEditMask mask("00-99-LL;1;_");
  int pos = 0;
  EXPECT_TRUE(mask.Validate("12-__-ab", &pos));
  EXPECT_EQ(pos, -1);
  EXPECT_FALSE(mask.Validate("1_-34-ab", &pos));
  EXPECT_EQ(pos, 1);
  EXPECT_FALSE(mask.Validate("12-34-a1", &pos));
  EXPECT_EQ(pos, 7);
  EXPECT_FALSE(mask.Validate("12-34", &pos)) << "a short text misses its required letters";
  EXPECT_EQ(pos, 6);
}

TEST(EditBuffer, TypingOverAMaskSkipsLiteralsAndRefusesWhatDoesNotFit) {
  TEditBuffer b;
  b.SetMask("00/00;1;_");
  b.Select(0, 0);
  EXPECT_EQ(b.Text(), "__.__");
  EXPECT_TRUE(b.Type('1'));
  EXPECT_TRUE(b.Type('2'));
  EXPECT_EQ(b.Caret(), 3) << "the caret jumps over the separator";
  EXPECT_FALSE(b.Type('x'));
  EXPECT_EQ(b.Text(), "12.__");
  EXPECT_TRUE(b.Type('3'));
  EXPECT_TRUE(b.Type('4'));
  EXPECT_FALSE(b.Type('5')) << "no position left";
  EXPECT_EQ(b.Text(), "12.34");
  EXPECT_TRUE(b.Valid());
  EXPECT_TRUE(b.Backspace());
  EXPECT_EQ(b.Text(), "12.3_");
  EXPECT_FALSE(b.Valid());
  b.Select(0, 3);
  EXPECT_TRUE(b.Type('9')) << "a character over a selection blanks the rest of it";
  EXPECT_EQ(b.Text(), "9_.3_");
  b.Select(0, 0);
  EXPECT_TRUE(b.Delete());
  EXPECT_EQ(b.Text(), "__.3_");
  EXPECT_EQ(b.Value(), "  .3 ");
}

TEST(EditBuffer, FreeTextInsertsReplacesAndKeepsItsLengthLimit) {
  TEditBuffer b;
  b.SetMaxLength(5);
  b.SetText("abc");
  EXPECT_EQ(b.Caret(), 3);
  EXPECT_TRUE(b.Type('d'));
  EXPECT_TRUE(b.Type('e'));
  EXPECT_FALSE(b.Type('f'));
  EXPECT_EQ(b.Text(), "abcde");
  b.Select(1, 3);
  EXPECT_EQ(b.SelText(), "bc");
  EXPECT_TRUE(b.Type('X')) << "a selection makes room";
  EXPECT_EQ(b.Text(), "aXde");
  b.MoveCaret(0, false);
  EXPECT_FALSE(b.Backspace());
  EXPECT_TRUE(b.Delete());
  EXPECT_EQ(b.Text(), "Xde");
  b.SelectAll();
  EXPECT_FALSE(b.Replace("123456")) << "a paste longer than the limit changes nothing";
  EXPECT_EQ(b.Text(), "Xde");
  EXPECT_TRUE(b.Replace("12345"));
  EXPECT_EQ(b.Text(), "12345");
  b.SetMaxLength(2);
  EXPECT_EQ(b.Text(), "12");
}

TEST(EditBuffer, APasteIntoAMaskFitsEachCharacterOrNothing) {
  TEditBuffer b;
  b.SetMask("(999) 000-00-00;0;_");
  b.Select(0, 0);
  EXPECT_TRUE(b.Replace("(495) 123-45-67")) << "the pasted literals stand on the mask's own";
  EXPECT_EQ(b.Value(), "4951234567");
  b.Select(0, 0);
  EXPECT_FALSE(b.Replace("49a"));
  EXPECT_EQ(b.Value(), "4951234567") << "a refused paste leaves the text alone";
  b.SetValue("");
  b.Select(0, 0);
  EXPECT_TRUE(b.Replace("9161112233"));
  EXPECT_EQ(b.Text(), "(916) 111-22-33");
}

TEST(EditBuffer, ShiftSelectionFollowsTheCaretFromItsAnchor) {
  TEditBuffer b;
  b.SetText("hello");
  b.MoveCaret(2, false);
  b.MoveCaret(4, true);
  EXPECT_EQ(b.SelStart(), 2);
  EXPECT_EQ(b.SelLength(), 2);
  b.MoveCaret(0, true);
  EXPECT_EQ(b.SelStart(), 0);
  EXPECT_EQ(b.SelLength(), 2) << "the anchor stays at 2";
  EXPECT_EQ(b.Caret(), 0);
}

}  // namespace editmask_test
