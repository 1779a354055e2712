// Display formats: the format word, the formatting it selects, the inline
// format of a bracket text.
#include <gtest/gtest.h>

#include "report/fr_fmt.h"
#include "report/fr_globals.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/ui/maskedit.h"
#include "toolkit/ui/stdctrls.h"

namespace fmt_test {

namespace {

// The library's texts (format names and predefined formats) come with the globals.
class DisplayFormat : public ::testing::Test {
 protected:
  void SetUp() override { frGlobals(); }
  ScopedFormatSettings russian{TFormatSettings::Russian()};
};

TEST_F(DisplayFormat, WordPartsBothWays) {
  struct Case {
    uint32_t word;
    TfrFormatWord parts;
  } cases[] = {
      {0x22C, {fcText, 0, 2, ','}},
      {0x104022C, {fcNumber, 4, 2, ','}},
      {0x100032C, {fcNumber, 0, 3, ','}},
      {0x403002E, {fcBoolean, 3, 0, '.'}},
  };
  for (const Case& c : cases) {
    const TfrFormatWord f = TfrFormatWord::Decode(c.word);
    EXPECT_EQ(f.Category, c.parts.Category) << std::hex << c.word;
    EXPECT_EQ(f.Kind, c.parts.Kind) << std::hex << c.word;
    EXPECT_EQ(f.Decimals, c.parts.Decimals) << std::hex << c.word;
    EXPECT_EQ(f.Separator, c.parts.Separator) << std::hex << c.word;
    EXPECT_EQ(c.parts.Encode(), c.word);
  }
  // What does not fit its bits is clamped, never spilt into the next field.
  EXPECT_EQ((TfrFormatWord{fcNumber, 1, 300, ','}.Encode()), 0x101FF2Cu);
  EXPECT_EQ((TfrFormatWord{fcNumber, 1, -4, ','}.Encode()), 0x101002Cu);
}

TEST_F(DisplayFormat, ValuesByWord) {
  const TDateTime day = EncodeDate(1998, 11, 5) + EncodeTime(2, 43, 35, 0);
  struct Case {
    const char* what;
    Variant value;
    uint32_t word;
    const char* format_text;
    const char* shown;
  } cases[] = {
      {"text", 12.5, 0x22C, "", "12,5"},
      {"custom number", 12.5, 0x104022C, "0.00", "12,50"},
      {"kind 0, three decimals", 2.3456, 0x100032C, "", "2,346"},
      {"kind 0, whole", 2, 0x100032C, "", "2"},
      {"kind 0", 1234.5, 0x100022C, "", "1234,5"},
      {"kind 1", 1234.5, 0x101022C, "", "1234,50"},
      {"kind 2", 1234.5, 0x102022C, "", "1\xA0" "234,5"},
      {"kind 3", 1234.5, 0x103022C, "", "1\xA0" "234,50"},
      {"point separator", 1234.5, 0x101022E, "", "1234.50"},
      {"custom with one decimal", 3.14159, 0x104002C, "0.0", "3,1"},
      {"date kind 0", day, 0x2000000, "", "05.11.98"},
      {"date kind 1", day, 0x2010000, "", "05.11.1998"},
      {"date custom", day, 0x2040000, "yyyy", "1998"},
      // The system's long date names the month as it follows the day.
      {"date kind 3", day, 0x2030000, "", "5 \xED\xEE\xFF\xE1\xF0\xFF 1998 \xE3."},          // 5 ноября 1998 г.
      {"date kind 3, March", EncodeDate(2024, 3, 5), 0x2030000, "", "5 \xEC\xE0\xF0\xF2\xE0 2024 \xE3."},  // 5 марта 2024 г.
      {"date kind 3, May", EncodeDate(2024, 5, 31), 0x2030000, "", "31 \xEC\xE0\xFF 2024 \xE3."},  // 31 мая 2024 г.
      {"time kind 0", day, 0x3000000, "", "02:43:35"},
      {"time kind 1", day, 0x3010000, "", "2:43:35"},
      {"time kind 2", day, 0x3020000, "", "02:43"},
      {"time kind 3", day, 0x3030000, "", "2:43"},
      {"boolean kind 1 true", true, 0x4010000, "", "\xC4\xE0"},   // "Да"
      {"boolean kind 1 false", false, 0x4010000, "", "\xCD\xE5\xF2"},  // "Нет"
      {"boolean kind 0", 1, 0x4000000, "", "1"},
      {"boolean kind 2", false, 0x4020000, "", "_"},
      {"boolean custom", true, 0x4040000, "off;on", "on"},
      {"null", Null(), 0x104022C, "0.00", ""},
      {"blank string", "  ", 0x104022C, "0.00", ""},
      {"a text under a number format shows as it is", "abc", 0x100022C, "", "abc"},
  };
  for (const Case& c : cases) EXPECT_EQ(ApplyDisplayFormat(c.value, c.word, c.format_text), c.shown) << c.what;
  // The locale's separator is the same afterwards.
  ApplyDisplayFormat(1.5, 0x101022E, "");
  EXPECT_EQ(FormatSettings().DecimalSeparator, ',');
}

TEST_F(DisplayFormat, InlineFormatsOfBracketTexts) {
  struct Case {
    const char* suffix;
    uint32_t word;
    const char* format_text;
  } cases[] = {
      {"N##0,00", 0x104002C, "##0.00"},
      {"N8.2", 0x101022E, "N8.2"},
      {"8.2", 0x101022E, "N8.2"},
      {"n#-000", 0x104002D, "#.000"},
      // More decimals than the word holds are clamped to what it holds.
      {"N8.300", 0x101FF2E, "N8.300"},
      {"BNo;Yes", 0x4040000, "No;Yes"},
      {"Ddd.mm", 0x2040000, "dd.mm"},
      {"Thh:nn", 0x2040000, "hh:nn"},
      {"Xyz", 0x22C, "Xyz"},
  };
  for (const Case& c : cases) {
    uint32_t word = 0x22C;
    AnsiString text = "old";
    ParseInlineFormat(c.suffix, word, text);
    EXPECT_EQ(word, c.word) << c.suffix;
    EXPECT_EQ(text, c.format_text) << c.suffix;
  }
  // Through the formatter: 1234.5 shows as the Part's examples say.
  uint32_t word = 0;
  AnsiString text;
  ParseInlineFormat("N##0,00", word, text);
  EXPECT_EQ(ApplyDisplayFormat(1234.5, word, text), "1234,50");
  ParseInlineFormat("8.2", word, text);
  EXPECT_EQ(ApplyDisplayFormat(1234.5, word, text), "1234.50");
  ParseInlineFormat("N8.300", word, text);
  EXPECT_NO_THROW(ApplyDisplayFormat(1.25, word, text));
}

TEST_F(DisplayFormat, CategoryAndKindNames) {
  EXPECT_EQ(FormatCategoryName(1), "\xD7\xE8\xF1\xEB\xEE");  // "Число"
  EXPECT_EQ(FormatKindName(1, 3), "1 234,50");
  EXPECT_EQ(FormatKindName(0, 1), "");  // texts the library lacks are empty
  EXPECT_EQ(FormatKindName(5, 0), "");
}

}  // namespace

namespace {

TEST_F(DisplayFormat, EditorEnablesTheEditsOfTheChosenFormat) {
  TfrFmtForm form(nullptr);
  form.AfterConstruction();
  form.Word = 0x100032C;
  form.FormatText = "0.00";
  form.FormActivate();
  EXPECT_EQ(form.CatLB->ItemCount(), 5);
  EXPECT_EQ(form.CatLB->ItemIndex(), fcNumber);
  EXPECT_EQ(form.TypeLB->ItemCount(), 5);
  EXPECT_EQ(form.TypeLB->ItemIndex(), 0);
  EXPECT_TRUE(form.DecEdit->Enabled());
  EXPECT_EQ(form.DecEdit->Text(), "3");
  EXPECT_EQ(form.SplEdit->Text(), ",");
  EXPECT_FALSE(form.FormatEdit->Enabled());

  // The custom kind takes the format text.
  form.TypeLB->SetItemIndex(4);
  form.TypeLBClick();
  EXPECT_TRUE(form.FormatEdit->Enabled());
  EXPECT_EQ(form.FormatEdit->Text(), "0.00");

  // A date has no decimals and no separator; OK with an empty separator
  // stores the comma.
  form.CatLB->SetItemIndex(fcDate);
  form.CatLBClick();
  EXPECT_FALSE(form.DecEdit->Enabled());
  EXPECT_FALSE(form.SplEdit->Enabled());
  EXPECT_EQ(form.DecEdit->Text(), "");
  EXPECT_EQ(form.SplEdit->Text(), "");
  form.TypeLB->SetItemIndex(1);
  form.TypeLBClick();
  form.FormDeactivate();
  EXPECT_EQ(form.Word, 0x201002Cu);

  // Text has one kind only.
  form.CatLB->SetItemIndex(fcText);
  form.CatLBClick();
  EXPECT_EQ(form.TypeLB->ItemCount(), 1);
}

}  // namespace

}  // namespace fmt_test
