#include "toolkit/core/text.h"

#include <errno.h>
#include <iconv.h>
#include <unicode/coleitr.h>
#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/tblcoll.h>
#include <unicode/ucol.h>
#include <unicode/uniset.h>
#include <unicode/usetiter.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <thread>
#include <unordered_map>
#include <utility>

namespace {

// ---- Code page table --------------------------------------------------------

struct CodePageInfo {
  unsigned number;
  const char* iconv_name;
  bool single_byte;
};

// The code pages the system can name, by the platform's numbers.
constexpr CodePageInfo kCodePages[] = {
    {437, "CP437", true},          {737, "CP737", true},          {775, "CP775", true},
    {850, "CP850", true},          {852, "CP852", true},          {855, "CP855", true},
    {857, "CP857", true},          {860, "CP860", true},          {861, "CP861", true},
    {862, "CP862", true},          {863, "CP863", true},          {864, "CP864", true},
    {865, "CP865", true},          {866, "CP866", true},          {869, "CP869", true},
    {874, "CP874", true},          {932, "CP932", false},         {936, "CP936", false},
    {949, "CP949", false},         {950, "CP950", false},         {1200, "UTF-16LE", false},
    {1201, "UTF-16BE", false},     {1250, "CP1250", true},        {1251, "CP1251", true},
    {1252, "CP1252", true},        {1253, "CP1253", true},        {1254, "CP1254", true},
    {1255, "CP1255", true},        {1256, "CP1256", true},        {1257, "CP1257", true},
    {1258, "CP1258", true},        {10000, "MACINTOSH", true},    {10007, "MAC-CYRILLIC", true},
    {20866, "KOI8-R", true},       {21866, "KOI8-U", true},       {28591, "ISO-8859-1", true},
    {28592, "ISO-8859-2", true},   {28593, "ISO-8859-3", true},   {28594, "ISO-8859-4", true},
    {28595, "ISO-8859-5", true},   {28596, "ISO-8859-6", true},   {28597, "ISO-8859-7", true},
    {28598, "ISO-8859-8", true},   {28599, "ISO-8859-9", true},   {28605, "ISO-8859-15", true},
    {54936, "GB18030", false},     {65001, "UTF-8", false},
};

const CodePageInfo* FindCodePage(unsigned number) {
  for (const CodePageInfo& info : kCodePages) {
    if (info.number == number) return &info;
  }
  return nullptr;
}

constexpr char16_t kQuestion = u'?';
// Marks a byte of a single-byte code page that has no character.
constexpr char16_t kNoChar = 0xFFFF;

// An iconv descriptor closed with its owner.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

// A single-byte code page as two tables, built once from iconv. Bytes 0x80-0x9F
// the code page leaves undefined decode to the C1 control of the same number,
// as the platform does (1251's 0x98 is U+0098), so every byte round-trips.
struct SingleByteTable {
  std::array<char16_t, 256> to_wide{};
  std::unordered_map<char16_t, unsigned char> from_wide;
};

std::unique_ptr<SingleByteTable> BuildSingleByteTable(const char* iconv_name) {
  Iconv cd("UTF-16LE", iconv_name);
  if (!cd.ok()) return nullptr;
  auto table = std::make_unique<SingleByteTable>();
  for (int b = 0; b < 256; ++b) {
    iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
    char in = static_cast<char>(b);
    char out[16];
    char* in_p = &in;
    size_t in_left = 1;
    char* out_p = out;
    size_t out_left = sizeof out;
    size_t r = iconv(cd.get(), &in_p, &in_left, &out_p, &out_left);
    // Code pages with combining marks hold a base letter back until flushed.
    if (r != static_cast<size_t>(-1)) r = iconv(cd.get(), nullptr, nullptr, &out_p, &out_left);
    char16_t unit = kNoChar;
    if (r != static_cast<size_t>(-1) && in_left == 0 && out_p - out == 2) {
      unit = static_cast<char16_t>(static_cast<unsigned char>(out[0]) | (static_cast<unsigned char>(out[1]) << 8));
    } else if (b >= 0x80 && b <= 0x9F) {
      unit = static_cast<char16_t>(b);
    }
    table->to_wide[b] = unit;
    if (unit != kNoChar) table->from_wide.emplace(unit, static_cast<unsigned char>(b));
  }
  return table;
}

// The thread that ran the program's static start-up.
const std::thread::id g_main_thread = std::this_thread::get_id();

// A cache of one thread. A thread's own caches go with it, but the main
// thread's stay to the end of the process: objects with static lifetime are
// destroyed after the main thread's thread-locals and may still convert text
// as they go (an application freeing its components at exit).
template <class T>
T& PerThreadCache() {
  thread_local struct Holder {
    T* value = new T;
    ~Holder() {
      if (std::this_thread::get_id() != g_main_thread) delete value;
    }
  } holder;
  return *holder.value;
}

// The table of a single-byte code page, cached; nullptr when iconv lacks it.
const SingleByteTable* SingleByteTableFor(const CodePageInfo& info) {
  auto& cache = PerThreadCache<std::map<unsigned, std::unique_ptr<SingleByteTable>>>();
  auto it = cache.find(info.number);
  if (it == cache.end()) it = cache.emplace(info.number, BuildSingleByteTable(info.iconv_name)).first;
  return it->second.get();
}

// An iconv descriptor per pair of encodings, opened once per thread (a
// descriptor carries shift state, so threads do not share one); nullptr when
// iconv cannot convert between the two. A failed open is remembered too.
Iconv* CachedIconv(const char* to, const char* from) {
  auto& cache = PerThreadCache<std::map<std::pair<std::string_view, std::string_view>, std::unique_ptr<Iconv>>>();
  auto it = cache.find({to, from});
  if (it == cache.end()) it = cache.emplace(std::make_pair(to, from), std::make_unique<Iconv>(to, from)).first;
  return it->second->ok() ? it->second.get() : nullptr;
}

// True when every ASCII byte of the table stands for itself, so ASCII text
// passes through the code page unchanged.
bool KeepsAscii(const SingleByteTable& table) {
  for (int b = 0; b < 0x80; ++b) {
    if (table.to_wide[b] != static_cast<char16_t>(b)) return false;
  }
  return true;
}

// True when every byte decodes to a character, so text of the code page
// converts to itself byte for byte.
bool IsTotal(const SingleByteTable& table) {
  return std::none_of(table.to_wide.begin(), table.to_wide.end(), [](char16_t c) { return c == kNoChar; });
}

// What a single-byte code page allows without a converter, worked out once.
struct SingleByteTraits {
  bool keeps_ascii = false;
  bool total = false;
  // The UTF-8 form of each byte ("?" for a byte without a character).
  std::array<std::string, 256> utf8;
};

void AppendUtf8(std::string& out, char16_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

const SingleByteTraits& TraitsOf(const SingleByteTable& table) {
  // Nearly every conversion is of 1251 text: the last table asked for is at hand.
  thread_local const SingleByteTable* last_table = nullptr;
  thread_local const SingleByteTraits* last_traits = nullptr;
  if (&table == last_table) return *last_traits;
  auto& cache = PerThreadCache<std::map<const SingleByteTable*, std::unique_ptr<SingleByteTraits>>>();
  auto it = cache.find(&table);
  if (it == cache.end()) {
    auto traits = std::make_unique<SingleByteTraits>();
    traits->keeps_ascii = KeepsAscii(table);
    traits->total = IsTotal(table);
    for (int b = 0; b < 256; ++b) {
      const char16_t c = table.to_wide[b];
      // Single-byte tables hold no surrogates, so each unit is one character.
      if (c == kNoChar) {
        traits->utf8[b] = "?";
      } else {
        AppendUtf8(traits->utf8[b], c);
      }
    }
    it = cache.emplace(&table, std::move(traits)).first;
  }
  last_table = &table;
  last_traits = it->second.get();
  return *it->second;
}

bool IsAscii(std::string_view bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool IsUtf16(unsigned number) { return number == kUtf16LECodePage || number == kUtf16BECodePage; }

[[noreturn]] void CodePageMissing(unsigned number) {
  throw EConvertError("Code page " + std::to_string(number) + " is not available");
}

// The table of a single-byte code page, or nullptr for a multi-byte one;
// raises when the code page is not available. 1251 is asked for on every
// comparison, so its table is kept at hand; UTF-8, the other side of every
// text shown, once found available is kept as well.
const SingleByteTable* SingleByteTableOrRaise(const CodePageInfo*& info, unsigned number) {
  thread_local const SingleByteTable* ansi = nullptr;
  thread_local const CodePageInfo* ansi_info = nullptr;
  thread_local const CodePageInfo* utf8_info = nullptr;
  if (number == kAnsiCodePage && ansi != nullptr) {
    info = ansi_info;
    return ansi;
  }
  if (number == kUtf8CodePage && utf8_info != nullptr) {
    info = utf8_info;
    return nullptr;
  }
  info = FindCodePage(number);
  if (info == nullptr) CodePageMissing(number);
  if (!info->single_byte) {
    if (!IsCodePageAvailable(number)) CodePageMissing(number);
    if (number == kUtf8CodePage) utf8_info = info;
    return nullptr;
  }
  const SingleByteTable* table = SingleByteTableFor(*info);
  if (table == nullptr) CodePageMissing(number);
  if (number == kAnsiCodePage) {
    ansi = table;
    ansi_info = info;
  }
  return table;
}

// Runs iconv over the whole input. On a sequence the target cannot hold or the
// source does not allow, writes replacement and skips skip(in, left) bytes;
// an incomplete sequence at the end also becomes one replacement.
template <typename SkipFn>
std::string RunIconv(const char* to, const char* from, std::string_view input, std::string_view replacement,
                     SkipFn skip) {
  Iconv* converter = CachedIconv(to, from);
  if (converter == nullptr) throw EConvertError(std::string("Cannot convert from ") + from + " to " + to);
  const Iconv& cd = *converter;
  iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);  // a clean start whatever the last caller left
  std::string out;
  out.resize(input.size() * 2 + 16);
  size_t out_used = 0;
  char* in_p = const_cast<char*>(input.data());
  size_t in_left = input.size();
  bool flushing = false;
  for (;;) {
    char* out_p = out.data() + out_used;
    size_t out_left = out.size() - out_used;
    size_t r = flushing ? iconv(cd.get(), nullptr, nullptr, &out_p, &out_left)
                        : iconv(cd.get(), &in_p, &in_left, &out_p, &out_left);
    out_used = static_cast<size_t>(out_p - out.data());
    if (r != static_cast<size_t>(-1)) {
      if (flushing) break;
      flushing = true;
      continue;
    }
    const int err = errno;
    if (err == E2BIG) {
      out.resize(out.size() * 2);
      continue;
    }
    // EILSEQ or EINVAL: replace and go on.
    if (out.size() - out_used < replacement.size()) out.resize(out.size() * 2 + replacement.size());
    out.replace(out_used, replacement.size(), replacement);
    out_used += replacement.size();
    if (err == EINVAL) {
      in_left = 0;
      flushing = true;
      continue;
    }
    size_t n = std::min(in_left, std::max<size_t>(1, skip(in_p, in_left)));
    in_p += n;
    in_left -= n;
  }
  out.resize(out_used);
  return out;
}

std::u16string Utf16FromBytes(std::string_view bytes, bool big_endian) {
  std::u16string out;
  out.reserve(bytes.size() / 2 + 1);
  size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) {
    const auto lo = static_cast<unsigned char>(bytes[big_endian ? i + 1 : i]);
    const auto hi = static_cast<unsigned char>(bytes[big_endian ? i : i + 1]);
    out.push_back(static_cast<char16_t>(lo | (hi << 8)));
  }
  if (i < bytes.size()) out.push_back(kQuestion);  // an odd last byte
  return out;
}

std::string Utf16ToBytes(std::u16string_view text, bool big_endian) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char16_t c : text) {
    const char lo = static_cast<char>(c & 0xFF);
    const char hi = static_cast<char>(c >> 8);
    out.push_back(big_endian ? hi : lo);
    out.push_back(big_endian ? lo : hi);
  }
  return out;
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

unsigned GetACP() { return kAnsiCodePage; }
unsigned GetOEMCP() { return kOemCodePage; }

const char* CodePageIconvName(unsigned code_page) {
  const CodePageInfo* info = FindCodePage(code_page);
  return info ? info->iconv_name : nullptr;
}

bool IsCodePageAvailable(unsigned code_page) {
  const CodePageInfo* info = FindCodePage(code_page);
  if (info == nullptr) return false;
  if (IsUtf16(code_page)) return true;
  if (info->single_byte) return SingleByteTableFor(*info) != nullptr;
  // The descriptor that answers is the one a conversion from it will use.
  return CachedIconv("UTF-16LE", info->iconv_name) != nullptr;
}

std::u16string MultiByteToWide(std::string_view bytes, unsigned code_page) {
  const CodePageInfo* info = nullptr;
  if (const SingleByteTable* table = SingleByteTableOrRaise(info, code_page)) {
    std::u16string out(bytes.size(), u'\0');
    for (size_t i = 0; i < bytes.size(); ++i) {
      const char16_t c = table->to_wide[static_cast<unsigned char>(bytes[i])];
      out[i] = c == kNoChar ? kQuestion : c;
    }
    return out;
  }
  if (IsUtf16(code_page)) return Utf16FromBytes(bytes, code_page == kUtf16BECodePage);
  const std::string le = RunIconv("UTF-16LE", info->iconv_name, bytes, std::string_view("?\0", 2),
                                  [](const char*, size_t) { return size_t{1}; });
  return Utf16FromBytes(le, false);
}

std::string WideToMultiByte(std::u16string_view text, unsigned code_page) {
  const CodePageInfo* info = nullptr;
  if (const SingleByteTable* single = SingleByteTableOrRaise(info, code_page)) {
    const SingleByteTable& table = *single;
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
      const char16_t c = text[i];
      auto it = table.from_wide.find(c);
      if (it != table.from_wide.end()) {
        out.push_back(static_cast<char>(it->second));
        continue;
      }
      out.push_back('?');
      // A character outside the basic plane is one '?', not two.
      if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) ++i;
    }
    return out;
  }
  if (IsUtf16(code_page)) return Utf16ToBytes(text, code_page == kUtf16BECodePage);
  const std::string le = Utf16ToBytes(text, false);
  return RunIconv(info->iconv_name, "UTF-16LE", le, "?", [](const char* p, size_t left) -> size_t {
    if (left >= 4) {
      const auto c1 = static_cast<char16_t>(static_cast<unsigned char>(p[0]) | (static_cast<unsigned char>(p[1]) << 8));
      const auto c2 = static_cast<char16_t>(static_cast<unsigned char>(p[2]) | (static_cast<unsigned char>(p[3]) << 8));
      if (IsHighSurrogate(c1) && IsLowSurrogate(c2)) return 4;
    }
    return 2;
  });
}

std::string ConvertCodePage(std::string_view bytes, unsigned from_code_page, unsigned to_code_page) {
  // Both code pages are checked before any work on the source, as the
  // general path below does.
  const CodePageInfo* to_info = nullptr;
  const SingleByteTable* to_table = SingleByteTableOrRaise(to_info, to_code_page);
  const CodePageInfo* from_info = nullptr;
  const SingleByteTable* from_table = SingleByteTableOrRaise(from_info, from_code_page);
  // Text that converts to itself needs no converter: ASCII between code pages
  // that keep it, and text of a single-byte code page whose every byte is a
  // character into the same code page.
  const bool from_keeps_ascii = from_table ? TraitsOf(*from_table).keeps_ascii : from_code_page == kUtf8CodePage;
  const bool to_keeps_ascii = to_table ? TraitsOf(*to_table).keeps_ascii : to_code_page == kUtf8CodePage;
  if (from_keeps_ascii && to_keeps_ascii && IsAscii(bytes)) return std::string(bytes);
  if (from_table != nullptr && from_code_page == to_code_page && TraitsOf(*from_table).total) {
    return std::string(bytes);
  }
  // Single-byte text to UTF-8 through the table's ready-made sequences.
  if (from_table != nullptr && to_code_page == kUtf8CodePage) {
    const SingleByteTraits& traits = TraitsOf(*from_table);
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char c : bytes) out += traits.utf8[static_cast<unsigned char>(c)];
    return out;
  }
  return WideToMultiByte(MultiByteToWide(bytes, from_code_page), to_code_page);
}

std::string AnsiToUtf8(std::string_view ansi) { return ConvertCodePage(ansi, kAnsiCodePage, kUtf8CodePage); }
AnsiString Utf8ToAnsi(std::string_view utf8) { return ConvertCodePage(utf8, kUtf8CodePage, kAnsiCodePage); }
std::u16string AnsiToWide(std::string_view ansi, unsigned code_page) { return MultiByteToWide(ansi, code_page); }
AnsiString WideToAnsi(std::u16string_view wide, unsigned code_page) { return WideToMultiByte(wide, code_page); }
std::string CharToOem(std::string_view ansi) { return ConvertCodePage(ansi, kAnsiCodePage, kOemCodePage); }
AnsiString OemToChar(std::string_view oem) { return ConvertCodePage(oem, kOemCodePage, kAnsiCodePage); }

// ---- Case -------------------------------------------------------------------

namespace {

// Upper/lower pairs of the 1251 letters outside ASCII and А-я.
constexpr std::pair<unsigned char, unsigned char> kCyrillicCasePairs[] = {
    {0x80, 0x90},  // Ђ ђ
    {0x81, 0x83},  // Ѓ ѓ
    {0x8A, 0x9A},  // Љ љ
    {0x8C, 0x9C},  // Њ њ
    {0x8D, 0x9D},  // Ќ ќ
    {0x8E, 0x9E},  // Ћ ћ
    {0x8F, 0x9F},  // Џ џ
    {0xA1, 0xA2},  // Ў ў
    {0xA3, 0xBC},  // Ј ј
    {0xA5, 0xB4},  // Ґ ґ
    {0xA8, 0xB8},  // Ё ё
    {0xAA, 0xBA},  // Є є
    {0xAF, 0xBF},  // Ї ї
    {0xB2, 0xB3},  // І і
    {0xBD, 0xBE},  // Ѕ ѕ
};

struct CaseTables {
  std::array<unsigned char, 256> upper;
  std::array<unsigned char, 256> lower;
  CaseTables() {
    for (int i = 0; i < 256; ++i) upper[i] = lower[i] = static_cast<unsigned char>(i);
    for (int i = 'a'; i <= 'z'; ++i) {
      upper[i] = static_cast<unsigned char>(i - 32);
      lower[i - 32] = static_cast<unsigned char>(i);
    }
    for (int i = 0xE0; i <= 0xFF; ++i) {
      upper[i] = static_cast<unsigned char>(i - 32);
      lower[i - 32] = static_cast<unsigned char>(i);
    }
    for (const auto& [up, low] : kCyrillicCasePairs) {
      upper[low] = up;
      lower[up] = low;
    }
  }
};

const CaseTables& Cases() {
  static const CaseTables tables;
  return tables;
}

}  // namespace

char AnsiUpperChar(char c) { return static_cast<char>(Cases().upper[static_cast<unsigned char>(c)]); }
char AnsiLowerChar(char c) { return static_cast<char>(Cases().lower[static_cast<unsigned char>(c)]); }

AnsiString AnsiUpperCase(std::string_view s) {
  AnsiString out(s);
  for (char& c : out) c = AnsiUpperChar(c);
  return out;
}

AnsiString AnsiLowerCase(std::string_view s) {
  AnsiString out(s);
  for (char& c : out) c = AnsiLowerChar(c);
  return out;
}

AnsiString UpperCase(std::string_view s) {
  AnsiString out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return out;
}

AnsiString LowerCase(std::string_view s) {
  AnsiString out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return out;
}

// ---- Comparison -------------------------------------------------------------

namespace {

struct LocaleName {
  uint16_t lcid;
  const char* name;
};

// Windows locale ids (language and sublanguage) and their ICU locales.
constexpr LocaleName kLocales[] = {
    {0x0401, "ar_SA"}, {0x0402, "bg_BG"}, {0x0403, "ca_ES"}, {0x0404, "zh_TW"}, {0x0405, "cs_CZ"},
    {0x0406, "da_DK"}, {0x0407, "de_DE"}, {0x0408, "el_GR"}, {0x0409, "en_US"}, {0x040A, "es_ES"},
    {0x040B, "fi_FI"}, {0x040C, "fr_FR"}, {0x040D, "he_IL"}, {0x040E, "hu_HU"}, {0x040F, "is_IS"},
    {0x0410, "it_IT"}, {0x0411, "ja_JP"}, {0x0412, "ko_KR"}, {0x0413, "nl_NL"}, {0x0414, "nb_NO"},
    {0x0415, "pl_PL"}, {0x0416, "pt_BR"}, {0x0418, "ro_RO"}, {0x0419, "ru_RU"}, {0x041A, "hr_HR"},
    {0x041B, "sk_SK"}, {0x041C, "sq_AL"}, {0x041D, "sv_SE"}, {0x041E, "th_TH"}, {0x041F, "tr_TR"},
    {0x0422, "uk_UA"}, {0x0423, "be_BY"}, {0x0424, "sl_SI"}, {0x0425, "et_EE"}, {0x0426, "lv_LV"},
    {0x0427, "lt_LT"}, {0x042F, "mk_MK"}, {0x0437, "ka_GE"}, {0x043F, "kk_KZ"}, {0x0443, "uz_UZ"},
    {0x0444, "tt_RU"}, {0x0804, "zh_CN"}, {0x0807, "de_CH"}, {0x0809, "en_GB"}, {0x080A, "es_MX"},
    {0x080C, "fr_BE"}, {0x0810, "it_CH"}, {0x0813, "nl_BE"}, {0x0814, "nn_NO"}, {0x0816, "pt_PT"},
    {0x0819, "ru_MD"}, {0x081A, "sr_Latn_RS"}, {0x0C07, "de_AT"}, {0x0C09, "en_AU"}, {0x0C0A, "es_ES"},
    {0x0C0C, "fr_CA"}, {0x0C1A, "sr_Cyrl_RS"}, {0x1009, "en_CA"}, {0x100C, "fr_CH"},
};

// Collators are costly to open, so each (locale id, case rule) keeps its own.
icu::Collator* CollatorFor(uint32_t lcid, bool ignore_case) {
  auto& cache = PerThreadCache<std::map<std::pair<uint32_t, bool>, std::unique_ptr<icu::Collator>>>();
  const auto key = std::make_pair(lcid, ignore_case);
  auto it = cache.find(key);
  if (it != cache.end()) return it->second.get();
  const char* locale_name = LcidToLocaleName(lcid);
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(icu::Locale(locale_name), status));
  if (U_FAILURE(status)) {
    status = U_ZERO_ERROR;
    collator.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) collator.reset();
  }
  if (collator) {
    // Secondary strength drops case differences but keeps accents, as the
    // platform's case-insensitive comparison does.
    collator->setStrength(ignore_case ? icu::Collator::SECONDARY : icu::Collator::TERTIARY);
    // Common-data Russian (and other Cyrillic locales) put their own script
    // before Latin; the platform sorts Latin first in every locale, and lists
    // and indexes built there expect that order.
    const int32_t no_reorder[] = {UCOL_REORDER_CODE_NONE};
    UErrorCode reorder_status = U_ZERO_ERROR;
    collator->setReorderCodes(no_reorder, 1, reorder_status);
  }
  return cache.emplace(key, std::move(collator)).first->second.get();
}

template <typename T>
int Sign(T v) {
  return (v > 0) - (v < 0);
}

}  // namespace

const char* LcidToLocaleName(uint32_t lcid) {
  uint32_t id = lcid & 0xFFFF;  // the sort id in the high bits does not matter here
  if (id == 0 || id == kLocaleUserDefault || id == kLocaleSystemDefault) id = kDefaultLcid;
  for (const LocaleName& entry : kLocales) {
    if (entry.lcid == id) return entry.name;
  }
  return "root";
}

int CompareStringLocaleW(uint32_t lcid, bool ignore_case, std::u16string_view a, std::u16string_view b) {
  icu::Collator* collator = CollatorFor(lcid, ignore_case);
  if (collator != nullptr) {
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult r = collator->compare(a.data(), static_cast<int32_t>(a.size()), b.data(),
                                                 static_cast<int32_t>(b.size()), status);
    if (U_SUCCESS(status)) return r == UCOL_LESS ? -1 : (r == UCOL_GREATER ? 1 : 0);
  }
  // Without ICU data: code unit order.
  return Sign(a.compare(b));
}

TCollationKeyPrefix::TCollationKeyPrefix(uint32_t lcid, bool ignore_case, std::u16string_view alphabet)
    : weights_(alphabet.size()), linking_(alphabet.size(), false) {
  auto* collator = dynamic_cast<icu::RuleBasedCollator*>(CollatorFor(lcid, ignore_case));
  if (collator == nullptr) return;
  UErrorCode status = U_ZERO_ERROR;
  // The primary weights decide first only as long as no weight is moved to
  // a later level (shifted punctuation) and a character's weights do not
  // depend on the ones after it (normalization, numeric order, reordered
  // scripts read through the lead bytes of the key).
  if (collator->getAttribute(UCOL_NORMALIZATION_MODE, status) != UCOL_OFF ||
      collator->getAttribute(UCOL_NUMERIC_COLLATION, status) != UCOL_OFF ||
      collator->getAttribute(UCOL_ALTERNATE_HANDLING, status) != UCOL_NON_IGNORABLE || U_FAILURE(status))
    return;
  if (collator->getReorderCodes(nullptr, 0, status) != 0) return;
  status = U_ZERO_ERROR;
  icu::UnicodeSet letters;
  for (const char16_t c : alphabet) letters.add(c);
  icu::UnicodeSet contractions;
  ucol_getContractionsAndExpansions(collator->toUCollator(), contractions.toUSet(), nullptr, true, &status);
  if (U_FAILURE(status)) return;
  // A contraction the code page cannot spell never applies to its texts;
  // one it can applies only where its characters after the first are.
  icu::UnicodeSetIterator items(contractions);
  while (items.next()) {
    const icu::UnicodeString& spelt = items.getString();
    if (!letters.containsAll(spelt)) continue;
    for (int32_t i = 1; i < spelt.length(); ++i)
      for (size_t b = 0; b < alphabet.size(); ++b)
        if (alphabet[b] == spelt.charAt(i)) linking_[b] = true;
  }
  // The primary weights of every character (none for an ignorable one,
  // several for an expansion). The iterator hands out 64-bit weights in
  // halves: the second, marked 0xC0 in its low byte, holds the low 16 bits
  // of the primary weight.
  std::vector<std::vector<uint32_t>> primaries(alphabet.size());
  std::vector<uint32_t> all;
  for (size_t b = 0; b < alphabet.size(); ++b) {
    std::unique_ptr<icu::CollationElementIterator> elements(
        collator->createCollationElementIterator(icu::UnicodeString(alphabet[b])));
    if (elements == nullptr) return;
    bool open = false;
    for (int32_t ce = elements->next(status); ce != icu::CollationElementIterator::NULLORDER && U_SUCCESS(status);
         ce = elements->next(status)) {
      const uint32_t half = static_cast<uint32_t>(ce);
      if ((half & 0xC0) == 0xC0) {
        if (open) primaries[b].back() |= half >> 16;
        continue;
      }
      open = (half & 0xFFFF0000u) != 0;
      if (open) primaries[b].push_back(half & 0xFFFF0000u);
    }
    if (U_FAILURE(status)) return;
    all.insert(all.end(), primaries[b].begin(), primaries[b].end());
  }
  std::sort(all.begin(), all.end());
  all.erase(std::unique(all.begin(), all.end()), all.end());
  // Ranks in one byte when they fit, else two; every byte is above kUnknown.
  const bool wide = all.size() > 254;
  for (size_t b = 0; b < alphabet.size(); ++b) {
    for (const uint32_t p : primaries[b]) {
      const size_t rank = static_cast<size_t>(std::lower_bound(all.begin(), all.end(), p) - all.begin());
      if (wide) weights_[b].push_back(static_cast<char>(2 + rank / 254));
      weights_[b].push_back(static_cast<char>(2 + rank % 254));
    }
  }
  usable_ = true;
}

void TCollationKeyPrefix::Make(const uint8_t* text, size_t count, uint8_t* prefix, size_t length) const {
  bool known = usable_;
  for (size_t i = 0; known && i < count; ++i) known = text[i] < linking_.size() && !linking_[text[i]];
  if (!known) {
    std::fill(prefix, prefix + length, kUnknown);
    return;
  }
  size_t made = 0;
  for (size_t i = 0; i < count && made < length; ++i) {
    const std::string& w = weights_[text[i]];
    const size_t take = std::min(w.size(), length - made);
    std::memcpy(prefix + made, w.data(), take);
    made += take;
  }
  std::fill(prefix + made, prefix + length, kEnd);
}

int TCollationKeyPrefix::Compare(const uint8_t* a, const uint8_t* b, size_t length, bool* sure) {
  const auto differ = std::mismatch(a, a + length, b);
  const size_t at = static_cast<size_t>(differ.first - a);
  *sure = at < length && a[at] != kUnknown && b[at] != kUnknown;
  if (!*sure) return 0;
  return a[at] < b[at] ? -1 : 1;
}

int CompareStringLocale(uint32_t lcid, bool ignore_case, std::string_view a, std::string_view b) {
  return CompareStringLocaleW(lcid, ignore_case, AnsiToWide(a), AnsiToWide(b));
}

int AnsiCompareStr(std::string_view a, std::string_view b) { return CompareStringLocale(kDefaultLcid, false, a, b); }
int AnsiCompareText(std::string_view a, std::string_view b) { return CompareStringLocale(kDefaultLcid, true, a, b); }
bool AnsiSameStr(std::string_view a, std::string_view b) { return AnsiCompareStr(a, b) == 0; }
namespace {

bool IsAsciiWord(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  });
}

}  // namespace

bool AnsiSameText(std::string_view a, std::string_view b) {
  // Names are looked up by the thousand while a report is built: the same
  // bytes are the same text, and words of Latin letters and digits that
  // differ in more than case differ under every collation.
  if (a == b) return true;
  if (IsAsciiWord(a) && IsAsciiWord(b) && CompareText(a, b) != 0) return false;
  return AnsiCompareText(a, b) == 0;
}

int CompareStr(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const int d = static_cast<unsigned char>(a[i]) - static_cast<unsigned char>(b[i]);
    if (d != 0) return d;
  }
  return Sign(static_cast<int64_t>(a.size()) - static_cast<int64_t>(b.size()));
}

int CompareText(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    int ca = static_cast<unsigned char>(a[i]);
    int cb = static_cast<unsigned char>(b[i]);
    if (ca >= 'a' && ca <= 'z') ca -= 32;
    if (cb >= 'a' && cb <= 'z') cb -= 32;
    if (ca != cb) return ca - cb;
  }
  return Sign(static_cast<int64_t>(a.size()) - static_cast<int64_t>(b.size()));
}

bool SameText(std::string_view a, std::string_view b) { return CompareText(a, b) == 0; }

// ---- Small string helpers -----------------------------------------------------

namespace {
bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }
}  // namespace

AnsiString Trim(std::string_view s) { return TrimRight(TrimLeft(s)); }

AnsiString TrimLeft(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  return AnsiString(s.substr(i));
}

AnsiString TrimRight(std::string_view s) {
  size_t n = s.size();
  while (n > 0 && IsBlank(s[n - 1])) --n;
  return AnsiString(s.substr(0, n));
}

AnsiString StringReplace(std::string_view s, std::string_view old_pattern, std::string_view new_pattern,
                         TReplaceFlags flags) {
  if (old_pattern.empty()) return AnsiString(s);
  // 1251 is one byte per character, so positions in the folded copy are
  // positions in the original.
  const bool fold = (flags & rfIgnoreCase) != 0;
  const AnsiString hay = fold ? AnsiUpperCase(s) : AnsiString(s);
  const AnsiString needle = fold ? AnsiUpperCase(old_pattern) : AnsiString(old_pattern);
  AnsiString out;
  size_t from = 0;
  for (;;) {
    const size_t at = hay.find(needle, from);
    if (at == AnsiString::npos) break;
    out.append(s.substr(from, at - from));
    out.append(new_pattern);
    from = at + needle.size();
    if ((flags & rfReplaceAll) == 0) break;
  }
  out.append(s.substr(from));
  return out;
}

int Pos(std::string_view substr, std::string_view s) {
  if (substr.empty()) return 0;
  const size_t at = s.find(substr);
  return at == std::string_view::npos ? 0 : static_cast<int>(at) + 1;
}

AnsiString Copy(std::string_view s, int index, int count) {
  if (index < 1) index = 1;
  if (count <= 0 || static_cast<size_t>(index) > s.size()) return AnsiString();
  return AnsiString(s.substr(static_cast<size_t>(index) - 1, static_cast<size_t>(count)));
}

AnsiString AnsiQuotedStr(std::string_view s, char quote) {
  AnsiString out;
  out.reserve(s.size() + 2);
  out.push_back(quote);
  for (char c : s) {
    out.push_back(c);
    if (c == quote) out.push_back(quote);
  }
  out.push_back(quote);
  return out;
}

AnsiString AnsiExtractQuotedStr(std::string_view s, size_t* pos, char quote) {
  size_t i = *pos;
  if (i >= s.size() || s[i] != quote) return AnsiString();
  ++i;
  AnsiString out;
  while (i < s.size()) {
    if (s[i] == quote) {
      if (i + 1 < s.size() && s[i + 1] == quote) {
        out.push_back(quote);
        i += 2;
        continue;
      }
      ++i;
      *pos = i;
      return out;
    }
    out.push_back(s[i++]);
  }
  *pos = i;
  return out;
}

AnsiString AnsiDequotedStr(std::string_view s, char quote) {
  size_t pos = 0;
  if (s.empty() || s[0] != quote) return AnsiString(s);
  AnsiString inner = AnsiExtractQuotedStr(s, &pos, quote);
  // Text after the closing quote means the whole was not one quoted text.
  if (pos != s.size()) return AnsiString(s);
  return inner;
}
