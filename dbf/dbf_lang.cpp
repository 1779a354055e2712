#include "dbf/dbf_lang.h"

#include <array>
#include <utility>

#include "toolkit/core/exceptions.h"

namespace {

// A name suffix as its 32-bit value: first character in the lowest byte.
constexpr uint32_t S(const char (&text)[3]) {
  return uint32_t(uint8_t(text[0])) | uint32_t(uint8_t(text[1])) << 8;
}
constexpr uint32_t S(const char (&text)[4]) {
  return uint32_t(uint8_t(text[0])) | uint32_t(uint8_t(text[1])) << 8 | uint32_t(uint8_t(text[2])) << 16;
}

struct Entry {
  uint8_t id;
  TLanguageDriver driver;
};

// The ids that carry data; every other id has code page 0, locale 0 and no suffix.
constexpr Entry kDrivers[] = {
      {0x00, {0, 0x10000, kLangSuffixNone}},
      {0x01, {437, 0x0409, S("US0")}},
      {0x02, {850, 0x0809, S("UK0")}},
      {0x03, {1252, 0x0809, S("UK0")}},
      {0x04, {10000, 0x0809, S("UK0")}},
      {0x08, {865, 0x0406, S("DA0")}},
      {0x09, {437, 0x0413, S("NL0")}},
      {0x0A, {850, 0x0413, S("NL0")}},
      {0x0B, {437, 0x040B, S("FI0")}},
      {0x0C, {850, 0x040B, S("FI0")}},
      {0x0D, {437, 0x040C, S("FR0")}},
      {0x0E, {850, 0x040C, S("FR0")}},
      {0x0F, {437, 0x0407, S("DE0")}},
      {0x10, {850, 0x0407, S("DE0")}},
      {0x11, {437, 0x0410, S("IT0")}},
      {0x12, {850, 0x0410, S("IT1")}},
      {0x13, {932, 0x0411, S("JP0")}},
      {0x14, {850, 0x040A, S("ES0")}},
      {0x15, {437, 0x041D, S("SV0")}},
      {0x16, {850, 0x041D, S("SV1")}},
      {0x17, {865, 0x0414, S("NO0")}},
      {0x18, {437, 0x040A, S("ES1")}},
      {0x19, {437, 0x0809, S("UK0")}},
      {0x1A, {850, 0x0809, S("UK0")}},
      {0x1B, {437, 0x0409, S("US0")}},
      {0x1C, {863, 0x0C0C, S("CF1")}},
      {0x1D, {850, 0x0C0C, S("CF1")}},
      {0x1F, {852, 0x0405, S("CZ0")}},
      {0x20, {867, 0x0405, S("CZ0")}},
      {0x22, {852, 0x040E, S("HDC")}},
      {0x23, {852, 0x0415, S("PO0")}},
      {0x24, {860, 0x0416, S("PT0")}},
      {0x25, {850, 0x0416, S("PT0")}},
      {0x26, {866, 0x0419, S("RU0")}},
      {0x37, {850, 0x0409, S("US0")}},
      {0x4D, {936, 0x0804, S("CN0")}},
      {0x4E, {949, 0x0412, S("KO0")}},
      {0x4F, {950, 0x0404, S("TW0")}},
      {0x50, {874, 0x041E, S("TH0")}},
      {0x56, {932, 0x0411, S("JP1")}},
      {0x57, {1252, 0x0000, S("US0")}},
      {0x58, {1252, 0x0809, S("WE0")}},
      {0x59, {1252, 0x040A, S("ES0")}},
      {0x5E, {437, 0x0407, S("DE")}},
      {0x5F, {437, 0x0414, S("NO")}},
      {0x60, {850, 0x0414, S("NO")}},
      {0x61, {1252, 0x0407, S("DE")}},
      {0x62, {1252, 0x0414, S("NO")}},
      {0x64, {852, 0x0405, S("CZ0")}},
      {0x65, {866, 0x0419, S("RU0")}},
      {0x66, {865, 0x0414, S("NO")}},
      {0x67, {861, 0x040F, S("IC0")}},
      {0x68, {895, 0x0405, S("CZ0")}},
      {0x69, {620, 0x0415, S("PO1")}},
      {0x6A, {737, 0x0408, S("GR0")}},
      {0x6B, {857, 0x041F, S("TR0")}},
      {0x78, {950, 0x0C04, S("CH0")}},
      {0x79, {949, 0x0412, S("KO0")}},
      {0x7A, {936, 0x21004, S("CS0")}},
      {0x7B, {932, 0x0411, S("JP0")}},
      {0x7C, {874, 0x041E, S("TH0")}},
      {0x7D, {1255, 0x040D, S("REW")}},
      {0x7E, {1256, 0x0401, S("AR0")}},
      {0x85, {862, 0x040D, S("REW")}},
      {0x86, {437, 0x0408, S("GR0")}},
      {0x87, {852, 0x041B, S("SL0")}},
      {0x88, {857, 0x041F, S("TR0")}},
      {0x8E, {868, 0x0402, kLangSuffixBgdb868}},
      {0x96, {10007, 0x0419, S("RU0")}},
      {0x97, {10029, 0x0405, S("CZ0")}},
      {0x98, {10006, 0x0408, S("GR0")}},
      {0x9B, {1250, 0x0405, 0}},
      {0x9C, {850, 0x0405, 0}},
      {0xC8, {1250, 0x0405, S("CZ0")}},
      {0xC9, {1251, 0x0419, S("RU0")}},
      {0xCA, {1254, 0x041F, S("TR0")}},
      {0xCB, {1253, 0x0408, S("GR0")}},
};

const std::array<TLanguageDriver, 256>& DriverTable() {
  static const std::array<TLanguageDriver, 256> table = [] {
    std::array<TLanguageDriver, 256> t{};
    for (const Entry& e : kDrivers) t[e.id] = e.driver;
    return t;
  }();
  return table;
}

// Scans every id for code page (0 = any) and a locale or suffix value. The
// last matching dBase id and the last matching FoxPro id are remembered.
uint8_t FindId(unsigned code_page, uint32_t value, bool by_suffix, bool foxpro) {
  int dbase_id = -1;
  int fox_id = -1;
  for (int id = 0; id < 256; ++id) {
    const TLanguageDriver& d = DriverTable()[size_t(id)];
    if (code_page != 0 && d.CodePage != code_page) continue;
    if ((by_suffix ? d.Suffix : d.Locale) != value) continue;
    if (IsDBaseLanguageId(uint8_t(id)))
      dbase_id = id;
    else
      fox_id = id;
  }
  if (dbase_id >= 0 && (!foxpro || fox_id < 0)) return uint8_t(dbase_id);
  return fox_id >= 0 ? uint8_t(fox_id) : 0;
}

std::string CodePageText(unsigned code_page) {
  return code_page == 1252 ? std::string("WIN") : std::to_string(code_page);
}

// The code-page part of a driver name: "WIN", "REW" or decimal digits.
unsigned ParseCodePageText(const std::string& text) {
  if (text == "WIN") return 1252;
  if (text == "REW") return 1255;
  unsigned value = 0;
  bool any = false;
  for (char c : text) {
    if (c < '0' || c > '9') {
      any = false;
      break;
    }
    value = value * 10 + unsigned(c - '0');
    any = true;
  }
  if (!any) throw EConvertError("'" + text + "' is not a valid integer value");
  return value;
}

uint32_t SuffixValue(const std::string& text) {
  uint32_t value = 0;
  for (size_t i = 0; i < text.size() && i < 4; ++i) value |= uint32_t(uint8_t(text[i])) << (8 * i);
  return value;
}

}  // namespace

const TLanguageDriver& LanguageDriver(uint8_t id) { return DriverTable()[id]; }

bool IsDBaseLanguageId(uint8_t id) {
  return id == 0x00 || (id >= 0x05 && id <= 0x5D) || id == 0x69 || (id >= 0x80 && id <= 0x90);
}

uint8_t LookupLanguageId(unsigned code_page, uint32_t locale, bool foxpro) {
  const uint8_t id = FindId(code_page, locale & 0xFFFF, false, foxpro);
  if (id != 0) return id;
  return FindId(0, locale, false, foxpro);
}

std::string LanguageSuffixText(uint32_t suffix) {
  if (suffix == kLangSuffixNone || suffix == kLangSuffixBgdb868) return {};
  std::string text;
  for (int i = 0; i < 4; ++i) {
    const char c = char((suffix >> (8 * i)) & 0xFF);
    if (c == 0) break;
    text += c;
  }
  return text;
}

std::string MakeLanguageDriverName(unsigned code_page, uint32_t locale, bool foxpro) {
  const uint8_t id = LookupLanguageId(code_page, locale, foxpro);
  const uint32_t suffix = LanguageDriver(id).Suffix;
  if (suffix == kLangSuffixNone) return {};
  if (foxpro) return "FOX" + LanguageSuffixText(suffix) + CodePageText(code_page);
  if (suffix == kLangSuffixBgdb868) return "BGDB868";
  return "DB" + CodePageText(code_page) + LanguageSuffixText(suffix);
}

uint8_t LanguageIdFromDriverName(const std::string& name) {
  // Fixed character positions: "FOX" + 2-character suffix + code page, or
  // "DB" + 3-character code page + 3-character suffix. A four-digit code page
  // does not fit this split, so names such as "DB1251RU0" match no id; the
  // table's code page is then read from the header by the table file.
  const bool foxpro = name.compare(0, 3, "FOX") == 0;
  const auto part = [&](size_t from, size_t count) { return from < name.size() ? name.substr(from, count) : ""; };
  const std::string cp_text = foxpro ? part(5, 3) : part(2, 3);
  const std::string suffix_text = foxpro ? part(3, 2) : part(5, 3);
  return FindId(ParseCodePageText(cp_text), SuffixValue(suffix_text), true, foxpro);
}
