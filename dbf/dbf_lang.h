// Language drivers: the one-byte id a table keeps in its header (levels 3, 4
// and FoxPro) or the driver name of a dBase 7 header, and what each id means:
// a code page, a locale id and a short name suffix.
#pragma once

#include <cstdint>
#include <string>

// Suffix value of the driver that has no name (id 0).
inline constexpr uint32_t kLangSuffixNone = 0x00010000;
// Suffix value of the driver whose name is "BGDB868" (id 0x8E).
inline constexpr uint32_t kLangSuffixBgdb868 = 0x00020000;
// Locale id of a driver without locale (id 0).
inline constexpr uint32_t kLangNoLocale = 0x00010000;

// One entry of the language-driver table.
struct TLanguageDriver {
  uint16_t CodePage;  // 0 when the id is unused
  uint32_t Locale;    // Windows locale id
  uint32_t Suffix;    // up to 3 name bytes, first byte lowest; or a special value
};

// The table entry of an id (zeros for unused ids).
const TLanguageDriver& LanguageDriver(uint8_t id);

// True for the ids dBase uses (0x00, 0x05-0x5D, 0x69, 0x80-0x90); the rest are FoxPro ids.
bool IsDBaseLanguageId(uint8_t id);

// The id for a code page and locale id: first by the code page and the low 16
// bits of the locale id, then by the whole locale id under any code page. A
// dBase id is preferred unless a FoxPro one is wanted and found. 0 = none.
uint8_t LookupLanguageId(unsigned code_page, uint32_t locale, bool foxpro);

// The driver name for a code page and locale id ("DBWINUS0", "FOXDE437",
// "BGDB868"); empty when the driver has no name.
std::string MakeLanguageDriverName(unsigned code_page, uint32_t locale, bool foxpro);

// The id named by a driver name, 0 when none matches. A code-page part that is
// neither a number nor "WIN"/"REW" raises EConvertError.
uint8_t LanguageIdFromDriverName(const std::string& name);

// The suffix value as text ("RU0"; empty for the special values).
std::string LanguageSuffixText(uint32_t suffix);
