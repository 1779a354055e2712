// Text in the toolkit: AnsiString is std::string holding Windows-1251 bytes.
// Code pages are converted through glibc iconv with the ANSI code page fixed at
// 1251 and the OEM code page at 866: the system's files and texts are Russian
// Windows data, whatever the Linux locale says. Locale comparison goes through
// ICU collation keyed by a Windows locale id.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/core/exceptions.h"  // declares AnsiString

// ---- Code pages -----------------------------------------------------------

// The fixed ANSI and OEM code pages.
inline constexpr unsigned kAnsiCodePage = 1251;
inline constexpr unsigned kOemCodePage = 866;
// Code page numbers of the Unicode encodings.
inline constexpr unsigned kUtf16LECodePage = 1200;
inline constexpr unsigned kUtf16BECodePage = 1201;
inline constexpr unsigned kUtf8CodePage = 65001;

// The ANSI code page (always 1251) and the OEM code page (always 866).
unsigned GetACP();
unsigned GetOEMCP();

// The iconv name of a code page number ("CP1251", "UTF-8"), or nullptr when
// the number is not one we know.
const char* CodePageIconvName(unsigned code_page);

// True when the code page number is known and iconv can convert it.
bool IsCodePageAvailable(unsigned code_page);

// Converts text of any length from one code page to another. Characters the
// target cannot hold, and malformed input, become '?'. Raises EConvertError
// when either code page is not available.
std::string ConvertCodePage(std::string_view bytes, unsigned from_code_page, unsigned to_code_page);

// Multi-byte text to UTF-16 and back (the platform's MultiByteToWideChar and
// WideCharToMultiByte); the same '?' rule.
std::u16string MultiByteToWide(std::string_view bytes, unsigned code_page = kAnsiCodePage);
std::string WideToMultiByte(std::u16string_view text, unsigned code_page = kAnsiCodePage);

// 1251 to UTF-8 (for file names and the screen) and back.
std::string AnsiToUtf8(std::string_view ansi);
AnsiString Utf8ToAnsi(std::string_view utf8);
// 1251 (or another code page) to UTF-16 and back.
std::u16string AnsiToWide(std::string_view ansi, unsigned code_page = kAnsiCodePage);
AnsiString WideToAnsi(std::u16string_view wide, unsigned code_page = kAnsiCodePage);
// 1251 to 866 and back.
std::string CharToOem(std::string_view ansi);
AnsiString OemToChar(std::string_view oem);

// ---- Case -----------------------------------------------------------------

// 1251 case mapping of every letter of the code page (Cyrillic А-я, Ё/ё,
// Ў/ў, Є/є, Ї/ї, І/і, Ґ/ґ, Ђ/ђ, ... and ASCII).
char AnsiUpperChar(char c);
char AnsiLowerChar(char c);
AnsiString AnsiUpperCase(std::string_view s);
AnsiString AnsiLowerCase(std::string_view s);
// ASCII letters only; other bytes are kept.
AnsiString UpperCase(std::string_view s);
AnsiString LowerCase(std::string_view s);

// ---- Comparison -----------------------------------------------------------

// Windows locale ids.
inline constexpr uint32_t kLocaleRussian = 0x0419;
inline constexpr uint32_t kLocaleUserDefault = 0x0400;
inline constexpr uint32_t kLocaleSystemDefault = 0x0800;
// The locale id the system compares by when none is given (the user default).
inline constexpr uint32_t kDefaultLcid = kLocaleRussian;

// The ICU locale name of a Windows locale id ("ru_RU"); "root" when unknown.
// The user and system default ids name kDefaultLcid's locale.
const char* LcidToLocaleName(uint32_t lcid);

// Compares two 1251 texts by the locale's collation; <0, 0 or >0.
int CompareStringLocale(uint32_t lcid, bool ignore_case, std::string_view a, std::string_view b);
// The same for UTF-16 texts.
int CompareStringLocaleW(uint32_t lcid, bool ignore_case, std::u16string_view a, std::u16string_view b);

// Prefixes of many texts of a single-byte code page that order them as
// CompareStringLocaleW would wherever they tell: a prefix holds the ranks of
// the text's first primary collation weights. Two prefixes decide the order
// of their texts only up to the first place either is unknown (Compare).
class TCollationKeyPrefix {
 public:
  // alphabet: the character of every byte of the code page.
  TCollationKeyPrefix(uint32_t lcid, bool ignore_case, std::u16string_view alphabet);
  // Whether the locale's collation lets a text's weights be made character
  // by character (otherwise every prefix is unknown).
  bool Usable() const { return usable_; }
  // The prefix (length bytes) of the text's count bytes.
  void Make(const uint8_t* text, size_t count, uint8_t* prefix, size_t length) const;
  // <0, 0 or >0 when the prefixes decide the order of their texts (sure
  // set), otherwise 0 with sure cleared.
  static int Compare(const uint8_t* a, const uint8_t* b, size_t length, bool* sure);
  // Bytes of a prefix: the weights ended (kEnd), nothing known (kUnknown);
  // ranks are above both.
  static constexpr uint8_t kEnd = 0, kUnknown = 1;

 private:
  bool usable_ = false;
  // Per byte: the ranks of its primary weights, as prefix bytes.
  std::vector<std::string> weights_;
  // Per byte: it ends a contraction of characters of the code page, so the
  // weights of a text holding it are not its characters' one after another.
  std::vector<bool> linking_;
};

// Locale comparison in the default locale, with and without case.
int AnsiCompareStr(std::string_view a, std::string_view b);
int AnsiCompareText(std::string_view a, std::string_view b);
bool AnsiSameStr(std::string_view a, std::string_view b);
bool AnsiSameText(std::string_view a, std::string_view b);
// Ordinal comparison of bytes; CompareText and SameText fold ASCII letters only.
int CompareStr(std::string_view a, std::string_view b);
int CompareText(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);

// ---- Small string helpers (positions are 1-based) --------------------------

// Removes control characters and blanks (bytes <= ' ') from the ends.
AnsiString Trim(std::string_view s);
AnsiString TrimLeft(std::string_view s);
AnsiString TrimRight(std::string_view s);

// Flags of StringReplace.
enum TReplaceFlag : unsigned { rfReplaceAll = 1, rfIgnoreCase = 2 };
using TReplaceFlags = unsigned;
// Replaces the first (or every) occurrence of old_pattern; rfIgnoreCase
// matches by 1251 case.
AnsiString StringReplace(std::string_view s, std::string_view old_pattern, std::string_view new_pattern,
                         TReplaceFlags flags = 0);

// The 1-based position of substr in s, 0 when absent (or when substr is empty).
int Pos(std::string_view substr, std::string_view s);
// count bytes from the 1-based index; index and count are clamped to the text.
AnsiString Copy(std::string_view s, int index, int count);

// Quotes a text with quote, doubling the quotes inside ('it''s').
AnsiString AnsiQuotedStr(std::string_view s, char quote);
// Reads a quoted text starting at *pos (which must be at the quote) and
// advances *pos past its closing quote; doubled quotes become one. Without a
// closing quote the rest of the text is taken. Returns "" when s[*pos] is not
// the quote.
AnsiString AnsiExtractQuotedStr(std::string_view s, size_t* pos, char quote);
// The text without its quotes when it is quoted with quote, else unchanged.
AnsiString AnsiDequotedStr(std::string_view s, char quote);
