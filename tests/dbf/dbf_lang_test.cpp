#include "dbf/dbf_lang.h"

#include <gtest/gtest.h>

#include "toolkit/core/exceptions.h"
#include "toolkit/core/text.h"

namespace dbf_lang_test {

struct LookupCase {
  unsigned code_page;
  uint32_t locale;
  bool foxpro;
  uint8_t id;
};

TEST(LanguageDriver, LookupPrefersDBaseIdsUnlessFoxProIsWanted) {
  const LookupCase cases[] = {
      {1251, 0x0419, false, 0xC9},  // only a FoxPro id matches: it is taken
      {1251, 0x0419, true, 0xC9},
      {866, 0x0419, false, 0x26},   // 0x26 (dBase) and 0x65 (FoxPro) match
      {866, 0x0419, true, 0x65},
      {1252, 0x0409, false, 0x37},  // no entry for 1252: by locale alone, the last dBase id
      {437, 0x0409, false, 0x1B},   // 0x01 and 0x1B are both dBase ids: the last wins
      {936, 0x1004, false, 0x00},   // 0x7A's locale 0x21004 matches neither way
      {0, 0x21004, false, 0x7A},    // the whole locale id under any code page
      {1250, 0x0405, false, 0xC8},
      {1255, 0x040D, false, 0x7D},
  };
  for (const auto& c : cases)
    EXPECT_EQ(LookupLanguageId(c.code_page, c.locale, c.foxpro), c.id)
        << c.code_page << " " << std::hex << c.locale << " fox=" << c.foxpro;
}

TEST(LanguageDriver, TableEntriesAndIdRanges) {
  EXPECT_EQ(LanguageDriver(0xC9).CodePage, 1251);
  EXPECT_EQ(LanguageDriver(0xC9).Locale, 0x0419u);
  EXPECT_EQ(LanguageSuffixText(LanguageDriver(0xC9).Suffix), "RU0");
  EXPECT_EQ(LanguageDriver(0x00).Locale, kLangNoLocale);
  EXPECT_EQ(LanguageDriver(0x00).Suffix, kLangSuffixNone);
  EXPECT_EQ(LanguageDriver(0x8E).Suffix, kLangSuffixBgdb868);
  EXPECT_EQ(LanguageDriver(0x5E).Suffix, uint32_t('D') | uint32_t('E') << 8);
  EXPECT_EQ(LanguageDriver(0x21).CodePage, 0);  // unlisted id
  EXPECT_EQ(LanguageDriver(0xFF).CodePage, 0);
  const struct {
    uint8_t id;
    bool dbase;
  } ranges[] = {{0x00, true},  {0x01, false}, {0x04, false}, {0x05, true},  {0x5D, true}, {0x5E, false},
                {0x68, false}, {0x69, true},  {0x6A, false}, {0x7F, false}, {0x80, true}, {0x90, true},
                {0x91, false}, {0xC9, false}};
  for (const auto& r : ranges) EXPECT_EQ(IsDBaseLanguageId(r.id), r.dbase) << int(r.id);
}

TEST(LanguageDriver, DriverNamesAreBuiltFromTheSuffix) {
  const struct {
    unsigned code_page;
    uint32_t locale;
    bool foxpro;
    const char* name;
  } cases[] = {
      {1251, 0x0419, false, "DB1251RU0"},
      {1252, 0x0000, false, "DBWINUS0"},
      {437, 0x0407, true, "FOXDE437"},
      {1252, 0x0407, true, "FOXDEWIN"},
      {868, 0x0402, false, "BGDB868"},
      {1252, 0x0499, false, ""},  // nothing matches: id 0, which has no name
      {1252, 0x0419, false, "DBWINRU0"},  // by locale alone: 0x26
  };
  for (const auto& c : cases) EXPECT_EQ(MakeLanguageDriverName(c.code_page, c.locale, c.foxpro), c.name);
}

TEST(LanguageDriver, NamesParseBackToIds) {
  const struct {
    const char* name;
    uint8_t id;
  } cases[] = {
      {"DBWINUS0", 0x57},   // code page 1252 with suffix US0: the dBase id
      {"DB437DE0", 0x0F},
      {"DBREWREW", 0x7D},   // "REW" is 1255
      {"DB1251RU0", 0x00},  // four-digit code pages do not fit the split
      {"FOXDE437", 0x5E},   // 16-bit suffix, FoxPro preferred, but 0x5E is the only match
      {"FOXNOWIN", 0x62},
  };
  for (const auto& c : cases) EXPECT_EQ(LanguageIdFromDriverName(c.name), c.id) << c.name;
  EXPECT_THROW(LanguageIdFromDriverName("DBXYZUS0"), EConvertError);
  EXPECT_THROW(LanguageIdFromDriverName(""), EConvertError);
}

TEST(LanguageDriver, LongTextsConvertBetweenAnyCodePages) {
  // Conversion goes through the toolkit without the old 1024-character cap.
  const std::string ansi(2000, '\xC0');  // 1251 "А"
  const std::string oem = ConvertCodePage(ansi, 1251, 866);
  EXPECT_EQ(oem, std::string(2000, '\x80'));
  EXPECT_EQ(ConvertCodePage(oem, 866, 1251), ansi);
  EXPECT_EQ(ConvertCodePage(ansi, 1251, 10007).size(), 2000u);
}

}  // namespace dbf_lang_test
