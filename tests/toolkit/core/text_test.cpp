#include "toolkit/core/text.h"

#include <gtest/gtest.h>
#include <unicode/uchar.h>

#include <atomic>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/testsupport.h"

namespace text_test {

// A Russian text given in UTF-8 in this source, as the 1251 bytes the system holds.
AnsiString R(const char* utf8) { return Utf8ToAnsi(utf8); }

std::string AllBytes(int from, int to) {
  std::string s;
  for (int b = from; b <= to; ++b) s.push_back(static_cast<char>(b));
  return s;
}

std::string Hex(std::string_view s) {
  std::ostringstream out;
  for (unsigned char c : s) out << std::hex << static_cast<int>(c) << ' ';
  return out.str();
}

// ---- Code pages ------------------------------------------------------------

TEST(CodePages, AnsiAndOemAreFixed) {
  EXPECT_EQ(GetACP(), 1251u);
  EXPECT_EQ(GetOEMCP(), 866u);
}

TEST(CodePages, EveryAnsiByteRoundTripsThroughUtf16AndUtf8) {
  const std::string all = AllBytes(0, 255);
  const std::u16string wide = AnsiToWide(all);
  ASSERT_EQ(wide.size(), 256u);
  EXPECT_EQ(WideToAnsi(wide), all);
  const std::string utf8 = AnsiToUtf8(all);
  EXPECT_EQ(Utf8ToAnsi(utf8), all);
  EXPECT_EQ(ConvertCodePage(all, 1251, 1200), std::string(reinterpret_cast<const char*>(wide.data()), 512));
  // No byte of the upper half may fall back to '?'.
  for (int b = 0x80; b <= 0xFF; ++b) EXPECT_NE(wide[static_cast<size_t>(b)], u'?') << "byte " << b;
}

TEST(CodePages, KnownCharactersOfAnsiAndOem) {
  struct Case {
    unsigned code_page;
    unsigned char byte;
    char16_t unicode;
  };
  const Case cases[] = {
      {1251, 0xA8, u'\u0401'},  // Ё
      {1251, 0xB8, u'\u0451'},  // ё
      {1251, 0xC0, u'\u0410'},  // А
      {1251, 0xFF, u'\u044F'},  // я
      {1251, 0xB9, u'\u2116'},  // №
      {1251, 0x88, u'\u20AC'},  // €
      {1251, 0x80, u'\u0402'},  // Ђ
      {1251, 0x98, u'\u0098'},  // undefined slot: the C1 control, so it round-trips
      {866, 0x80, u'\u0410'},   // А
      {866, 0xAF, u'\u043F'},   // п
      {866, 0xE0, u'\u0440'},   // р
      {866, 0xF0, u'\u0401'},   // Ё
      {866, 0xF1, u'\u0451'},   // ё
      {866, 0xFC, u'\u2116'},   // №
      {437, 0x81, u'\u00FC'},   // ü
      {1252, 0x80, u'\u20AC'},  // €
  };
  for (const Case& c : cases) {
    const std::string byte(1, static_cast<char>(c.byte));
    EXPECT_EQ(MultiByteToWide(byte, c.code_page), std::u16string(1, c.unicode))
        << "cp " << c.code_page << " byte " << int(c.byte);
    EXPECT_EQ(WideToMultiByte(std::u16string(1, c.unicode), c.code_page), byte)
        << "cp " << c.code_page << " byte " << int(c.byte);
  }
}

// Python's codecs are an independent table of the single-byte code pages.
TEST(CodePages, SingleByteTablesAgreeWithPython) {
  const unsigned pages[] = {437, 850, 852, 866, 1250, 1251, 1252, 20866};
  for (unsigned cp : pages) {
    const char* codec = cp == 20866 ? "koi8_r" : nullptr;
    const std::string name = codec ? codec : "cp" + std::to_string(cp);
    std::string out;
    const std::string script =
        "import sys\n"
        "for b in range(256):\n"
        "    try: print(ord(bytes([b]).decode('" + name + "')))\n"
        "    except UnicodeDecodeError: print(-1)\n";
    ASSERT_EQ(testsupport::RunCommand(std::string(testsupport::Python()) + " -c \"" + script + "\"", &out), 0);
    std::istringstream lines(out);
    const std::u16string wide = MultiByteToWide(AllBytes(0, 255), cp);
    for (int b = 0; b < 256; ++b) {
      int expected = -2;
      lines >> expected;
      // Undefined bytes of the upper control range stand for the C1 control.
      if (expected == -1 && b >= 0x80 && b <= 0x9F) expected = b;
      if (expected == -1) expected = '?';
      EXPECT_EQ(static_cast<int>(wide[static_cast<size_t>(b)]), expected) << "cp " << cp << " byte " << b;
    }
  }
}

TEST(CodePages, OemRoundTripOfTheCyrillicRange) {
  const std::string cyrillic = AllBytes(0xC0, 0xFF) + "\xA8\xB8";
  const std::string oem = CharToOem(cyrillic);
  ASSERT_EQ(oem.size(), cyrillic.size());
  // А-п are 0x80-0xAF in 866, р-я 0xE0-0xEF, Ё/ё 0xF0/0xF1.
  EXPECT_EQ(oem, AllBytes(0x80, 0xAF) + AllBytes(0xE0, 0xEF) + "\xF0\xF1");
  EXPECT_EQ(OemToChar(oem), cyrillic);
  EXPECT_EQ(CharToOem("Abc 123"), "Abc 123");
}

TEST(CodePages, UnmappableAndMalformedBecomeQuestionMarks) {
  struct Case {
    const char* what;
    std::string input;
    unsigned from, to;
    std::string expected;
  };
  const Case cases[] = {
      {"CJK to 1251", "a\xE6\x97\xA5\xE6\x9C\xAC" "b", 65001, 1251, "a??b"},
      {"astral character is one mark", "x\xF0\x9F\x98\x80y", 65001, 1251, "x?y"},
      {"invalid UTF-8 lead byte goes on", "\xFF" "abc", 65001, 1251, "?abc"},
      {"truncated UTF-8 at the end", "ab\xD0", 65001, 1251, "ab?"},
      {"euro has no OEM place", "1\x88" "2", 1251, 866, "1?2"},
      {"box drawing has no ANSI place", "\xC9\xCD", 866, 1251, "??"},
      {"Cyrillic into a Latin page", "\xC0\xE1", 1251, 1252, "??"},
      {"Cyrillic into a double-byte page stays", "\xC0", 1251, 932, "\x84\x40"},
      {"Hebrew into a double-byte page", "\xD7\x90", 65001, 932, "?"},
      {"odd UTF-16 byte", std::string("A\0B", 3), 1200, 1251, "A?"},
      {"lone surrogate from UTF-16", std::string("\x00\xD8" "A\0", 4), 1200, 65001, "?A"},
      // Text that looks like it needs no converter, but does.
      {"a page whose percent sign is not ASCII's", "50%", 864, 65001, "50\xD9\xAA"},
      {"ASCII percent into that page", "50%", 1251, 864, "50?"},
      {"undefined byte into its own page", "a\xDB" "b", 874, 874, "a?b"},
      {"malformed UTF-8 into UTF-8", "a\xFF" "b", 65001, 65001, "a?b"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Hex(ConvertCodePage(c.input, c.from, c.to)), Hex(c.expected)) << c.what;
  }
}

TEST(CodePages, ShortcutsAgreeWithTheWayThroughUtf16) {
  // ASCII, same-page and single-byte-to-UTF-8 text skip the converter; every
  // byte of every single-byte page must come out as the general way has it.
  const std::string all = AllBytes(0x00, 0xFF);
  for (unsigned from : {437u, 864u, 866u, 874u, 1250u, 1251u, 1252u, 1255u, 10000u, 20866u, 28591u}) {
    for (unsigned to : {from, 1251u, 866u, 864u, 65001u}) {
      EXPECT_EQ(Hex(ConvertCodePage(all, from, to)), Hex(WideToMultiByte(MultiByteToWide(all, from), to)))
          << from << " to " << to;
      EXPECT_EQ(ConvertCodePage("Abc 123", from, to), WideToMultiByte(MultiByteToWide("Abc 123", from), to))
          << from << " to " << to;
    }
  }
}

TEST(CodePages, ThreadsConvertAtOnce) {
  // Converters are kept between calls; threads must not share their state.
  std::string utf8;
  std::string ansi;
  for (int i = 0; i < 2000; ++i) {
    utf8 += "\xD0\x96\xE6\x97\xA5";  // Ж and a character 1251 lacks
    ansi += "\xC6?";
  }
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) {
        if (Utf8ToAnsi(utf8) != ansi) ++wrong;
        if (ConvertCodePage(ansi, 1251, 932) != ConvertCodePage(ansi, 1251, 932)) ++wrong;
      }
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST(CodePages, LongTextsConvertWhole) {
  // Large enough to need many rounds of the converter's output buffer, with
  // bad bytes scattered through it.
  std::string utf8;
  std::string ansi;
  std::string clean_utf8;
  for (int i = 0; i < 100000; ++i) {
    utf8 += "\xD0\x96" "a\xD1\x91";  // Жaё
    clean_utf8 += "\xD0\x96" "a\xD1\x91";
    ansi += "\xC6" "a\xB8";
    if (i % 9973 == 0) {
      utf8 += "\xFF";
      clean_utf8 += "?";
      ansi += "?";
    }
  }
  const AnsiString converted = Utf8ToAnsi(utf8);
  EXPECT_EQ(converted.size(), ansi.size());
  EXPECT_EQ(converted, ansi);
  EXPECT_EQ(AnsiToUtf8(ansi), clean_utf8);
  EXPECT_EQ(ConvertCodePage(ConvertCodePage(ansi, 1251, 1200), 1200, 1251), ansi);
  EXPECT_EQ(ConvertCodePage(ConvertCodePage(ansi, 1251, 932), 932, 1251), ansi);
}

TEST(CodePages, AvailabilityByNumber) {
  for (unsigned cp : {437u, 850u, 852u, 866u, 1250u, 1251u, 1252u, 1257u, 932u, 1200u, 65001u}) {
    EXPECT_TRUE(IsCodePageAvailable(cp)) << cp;
  }
  for (unsigned cp : {0u, 1u, 42u, 1249u, 65535u}) {
    EXPECT_FALSE(IsCodePageAvailable(cp)) << cp;
    EXPECT_THROW(ConvertCodePage("a", 1251, cp), EConvertError) << cp;
    EXPECT_THROW(ConvertCodePage("a", cp, 1251), EConvertError) << cp;
  }
  EXPECT_STREQ(CodePageIconvName(1251), "CP1251");
  EXPECT_STREQ(CodePageIconvName(65001), "UTF-8");
  EXPECT_EQ(CodePageIconvName(42), nullptr);
}

// ---- Case ------------------------------------------------------------------

TEST(AnsiCase, RussianWordsChangeCase) {
  EXPECT_EQ(AnsiUpperCase(R("ёж")), R("ЁЖ"));
  EXPECT_EQ(AnsiLowerCase(R("ЁЖ")), R("ёж"));
  EXPECT_EQ(AnsiUpperCase(R("Съешь ещё этих мягких булок, Xyz 1")), R("СЪЕШЬ ЕЩЁ ЭТИХ МЯГКИХ БУЛОК, XYZ 1"));
  EXPECT_EQ(AnsiUpperCase(R("ўєїіґђ")), R("ЎЄЇІҐЂ"));
  EXPECT_EQ(UpperCase(R("abcёж")), "ABC" + R("ёж"));
  EXPECT_EQ(LowerCase(R("ABCЁЖ")), "abc" + R("ЁЖ"));
}

// Every byte's case, checked against Unicode's own mapping through ICU.
TEST(AnsiCase, EveryByteAgreesWithUnicode) {
  for (int b = 0; b < 256; ++b) {
    const std::string byte(1, static_cast<char>(b));
    const char16_t c = AnsiToWide(byte)[0];
    const std::string upper = WideToAnsi(std::u16string(1, static_cast<char16_t>(u_toupper(c))));
    const std::string lower = WideToAnsi(std::u16string(1, static_cast<char16_t>(u_tolower(c))));
    // A case partner outside 1251 (µ's capital is Greek) leaves the byte alone.
    const char expected_upper = upper == "?" && c != u'?' ? byte[0] : upper[0];
    const char expected_lower = lower == "?" && c != u'?' ? byte[0] : lower[0];
    EXPECT_EQ(AnsiUpperChar(byte[0]), expected_upper) << "byte " << b;
    EXPECT_EQ(AnsiLowerChar(byte[0]), expected_lower) << "byte " << b;
  }
}

// ---- Comparison ------------------------------------------------------------

int SignOf(int v) { return (v > 0) - (v < 0); }

TEST(LocaleCompare, RussianCollation) {
  struct Case {
    const char* a;
    const char* b;
    int with_case;
    int without_case;
  };
  const Case cases[] = {
      {"z", "а", -1, -1},          // Latin before Cyrillic
      {"Zebra", "арбуз", -1, -1},  //
      {"Ёлка", "Арбуз", 1, 1},     // bytes say Ё (0xA8) < А (0xC0); the alphabet says otherwise
      {"ёж", "жук", -1, -1},       //
      {"еж", "ёж", -1, -1},        // ё differs from е only by its accent
      {"ёж", "ежа", -1, -1},       // ... so the length decides first
      {"а", "А", -1, 0},           // small before capital when case counts
      {"абв", "АБВ", -1, 0},       //
      {"Ё", "ё", 1, 0},            //
      {"ё", "Е", 1, 1},            // the accent still counts without case
      {"дом", "дом", 0, 0},        //
      {"", "а", -1, -1},           //
      {"10", "9", -1, -1},         // digits compare as text
      {"Comment", "COMMENT", -1, 0},  // field names, as a report looks them up
      {"N", "DATE", 1, 1},            //
      {"P", "PP", -1, -1},            //
      {"n1", "N1", -1, 0},            //
      {"Ab1", "AB2", -1, -1},         //
      {"a1", "a 1", 1, 1},            // a blank is no letter
      {"ab", "a\x01" "b", 0, 0},      // a control character counts for nothing
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SignOf(AnsiCompareStr(R(c.a), R(c.b))), c.with_case) << c.a << " / " << c.b;
    EXPECT_EQ(SignOf(AnsiCompareStr(R(c.b), R(c.a))), -c.with_case) << c.b << " / " << c.a;
    EXPECT_EQ(SignOf(AnsiCompareText(R(c.a), R(c.b))), c.without_case) << c.a << " / " << c.b;
    EXPECT_EQ(AnsiSameText(R(c.a), R(c.b)), c.without_case == 0) << c.a << " / " << c.b;
    EXPECT_EQ(SignOf(CompareStringLocale(0x0419, false, R(c.a), R(c.b))), c.with_case);
  }
}

TEST(LocaleCompare, TheLocaleIdChoosesTheRules) {
  // Czech sorts "ch" after "h"; English does not. Swedish puts "ö" after "z".
  EXPECT_GT(CompareStringLocale(0x0405, false, "chata", "hrad"), 0);
  EXPECT_LT(CompareStringLocale(0x0409, false, "chata", "hrad"), 0);
  EXPECT_GT(CompareStringLocaleW(0x041D, false, u"\u00F6", u"z"), 0);
  EXPECT_LT(CompareStringLocaleW(0x0407, false, u"\u00F6", u"z"), 0);
  // The default ids and a sort id in the high bits mean Russian.
  EXPECT_STREQ(LcidToLocaleName(0x0419), "ru_RU");
  EXPECT_STREQ(LcidToLocaleName(0x0400), "ru_RU");
  EXPECT_STREQ(LcidToLocaleName(0x0800), "ru_RU");
  EXPECT_STREQ(LcidToLocaleName(0x10419), "ru_RU");
  EXPECT_STREQ(LcidToLocaleName(0x0409), "en_US");
  EXPECT_STREQ(LcidToLocaleName(0x7777), "root");
  // An unknown id still compares, by the root rules.
  EXPECT_LT(CompareStringLocale(0x7777, true, "a", R("б")), 0);
}

// Prefixes of collation weights never order two texts against the
// collation; where they cannot tell (contractions, equal weights, a prefix
// too short) they say so.
TEST(LocaleCompare, KeyPrefixesNeverContradictTheCollation) {
  struct Case {
    uint32_t lcid;
    unsigned code_page;
    std::vector<const char*> words;  // UTF-8
    bool mostly_decided;             // no contraction of the code page's common letters
  };
  const Case cases[] = {
      {0x0419, 1251, {"Бетон", "бетон", "Щебень", "ёлка", "Ель", "еж", "Ёж", "е-ж", "№ 5", "apple", "Zebra", "Я", "а",
                      "Л·л", "l·l", "L·", "a\x01" "b", "", "  ", "10", "9"}, true},
      {0x0405, 1250, {"chata", "hrad", "Chata", "cizí", "čas", "h", "c", "ch", "Ch", "CH", "cH"}, false},
      {0x0409, 1252, {"Æble", "Aeble", "ß", "ss", "straße", "strasse", "œuvre", "oeuvre", "Öl", "Ol", "zoo", "l·l"}, true},
      {0x041D, 1252, {"ö", "z", "Öl", "Ol", "å", "ä", "aa", "Zebra"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lcid);
    std::u16string alphabet;
    for (int b = 0; b < 256; ++b) {
      const std::u16string one = MultiByteToWide(std::string(1, char(b)), c.code_page);
      alphabet.push_back(one.empty() ? u'?' : one[0]);
    }
    const TCollationKeyPrefix prefixes(c.lcid, false, alphabet);
    ASSERT_TRUE(prefixes.Usable());
    // Every word and every pair of words, blank-padded as keys are.
    std::vector<std::string> texts;
    for (const char* a : c.words) {
      const std::string first = WideToMultiByte(MultiByteToWide(a, kUtf8CodePage), c.code_page);
      for (const char* b : c.words) {
        std::string text = first + " " + WideToMultiByte(MultiByteToWide(b, kUtf8CodePage), c.code_page);
        text.resize(30, ' ');
        texts.push_back(text);
      }
    }
    for (const size_t length : {size_t(4), size_t(24)}) {
      int decided = 0, pairs = 0;
      std::vector<std::vector<uint8_t>> made;
      for (const std::string& t : texts) {
        made.emplace_back(length);
        prefixes.Make(reinterpret_cast<const uint8_t*>(t.data()), t.size(), made.back().data(), length);
      }
      for (size_t i = 0; i < texts.size(); ++i) {
        for (size_t j = 0; j < texts.size(); ++j) {
          bool sure = false;
          const int by_prefix = TCollationKeyPrefix::Compare(made[i].data(), made[j].data(), length, &sure);
          ++pairs;
          if (!sure) continue;
          ++decided;
          const int by_collation = CompareStringLocaleW(c.lcid, false, MultiByteToWide(texts[i], c.code_page),
                                                        MultiByteToWide(texts[j], c.code_page));
          ASSERT_EQ(SignOf(by_prefix), SignOf(by_collation)) << texts[i] << " / " << texts[j] << " " << length;
        }
      }
      if (c.mostly_decided && length == 24) {
        EXPECT_GT(decided, pairs / 2);
      }
    }
  }
}

TEST(OrdinalCompare, BytesAndAsciiCase) {
  struct Case {
    std::string a, b;
    int str, text;
  };
  const Case cases[] = {
      {"a", "b", -1, -1},     {"b", "a", 1, 1},       {"ab", "a", 1, 1},     {"", "", 0, 0},
      {"abc", "ABC", 1, 0},   {"\xC0", "a", 1, 1},    {"\xB8", "\xA8", 1, 1},  // ё/Ё differ: ASCII folding only
      {"a_", "A_", 1, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SignOf(CompareStr(c.a, c.b)), c.str) << c.a << " / " << c.b;
    EXPECT_EQ(SignOf(CompareText(c.a, c.b)), c.text) << c.a << " / " << c.b;
    EXPECT_EQ(SameText(c.a, c.b), c.text == 0) << c.a << " / " << c.b;
  }
}

// ---- Helpers -----------------------------------------------------------------

TEST(StringHelpers, Trim) {
  struct Case {
    std::string in, both, left, right;
  };
  const Case cases[] = {
      {"  a b  ", "a b", "a b  ", "  a b"},
      {"\t\r\na\x01", "a", "a\x01", "\t\r\na"},
      {"   ", "", "", ""},
      {"", "", "", ""},
      {"\xA0x\xA0", "\xA0x\xA0", "\xA0x\xA0", "\xA0x\xA0"},  // 1251's no-break space is a character
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Trim(c.in), c.both) << Hex(c.in);
    EXPECT_EQ(TrimLeft(c.in), c.left) << Hex(c.in);
    EXPECT_EQ(TrimRight(c.in), c.right) << Hex(c.in);
  }
}

TEST(StringHelpers, StringReplace) {
  struct Case {
    AnsiString s, from, to;
    TReplaceFlags flags;
    AnsiString expected;
  };
  const Case cases[] = {
      {"a-b-c", "-", "+", 0, "a+b-c"},
      {"a-b-c", "-", "+", rfReplaceAll, "a+b+c"},
      {"aXbxc", "x", "", rfReplaceAll, "aXbc"},
      {"aXbxc", "x", "", rfReplaceAll | rfIgnoreCase, "abc"},
      {R("Ёлка ёлка"), R("ЁЛКА"), "tree", rfReplaceAll | rfIgnoreCase, "tree tree"},
      {"aaa", "aa", "a", rfReplaceAll, "aa"},  // no re-scan of replaced text
      {"abc", "", "x", rfReplaceAll, "abc"},
      {"abc", "z", "x", rfReplaceAll, "abc"},
  };
  for (const Case& c : cases) EXPECT_EQ(StringReplace(c.s, c.from, c.to, c.flags), c.expected) << c.s;
}

TEST(StringHelpers, PosAndCopyAreOneBased) {
  EXPECT_EQ(Pos("b", "abcb"), 2);
  EXPECT_EQ(Pos("abc", "abc"), 1);
  EXPECT_EQ(Pos("x", "abc"), 0);
  EXPECT_EQ(Pos("", "abc"), 0);
  EXPECT_EQ(Pos("abcd", "abc"), 0);
  struct Case {
    int index, count;
    const char* expected;
  };
  const Case cases[] = {
      {1, 2, "ab"}, {2, 100, "bcd"}, {4, 1, "d"}, {5, 1, ""}, {0, 2, "ab"}, {-3, 1, "a"}, {2, 0, ""}, {2, -1, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Copy("abcd", c.index, c.count), c.expected) << c.index << "," << c.count;
}

TEST(StringHelpers, Quoting) {
  EXPECT_EQ(AnsiQuotedStr("it's", '\''), "'it''s'");
  EXPECT_EQ(AnsiQuotedStr("", '"'), "\"\"");
  struct Case {
    std::string s;
    size_t start;
    std::string value;
    size_t end;
  };
  const Case cases[] = {
      {"'ab''c' rest", 0, "ab'c", 7},
      {"x'a'", 1, "a", 4},
      {"'unterminated", 0, "unterminated", 13},
      {"no quote", 0, "", 0},
      {"''", 0, "", 2},
  };
  for (const Case& c : cases) {
    size_t pos = c.start;
    EXPECT_EQ(AnsiExtractQuotedStr(c.s, &pos, '\''), c.value) << c.s;
    EXPECT_EQ(pos, c.end) << c.s;
  }
  EXPECT_EQ(AnsiDequotedStr("'a''b'", '\''), "a'b");
  EXPECT_EQ(AnsiDequotedStr("'a'b", '\''), "'a'b");
  EXPECT_EQ(AnsiDequotedStr("ab", '\''), "ab");
}

}  // namespace text_test
