// Opening a table for reading and showing its values as text.
#include <algorithm>
#include <charconv>
#include <cstring>

#include "dbf/dbf_common.h"
#include "dbf/dbf_idxfile.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "tools/dbftool/dbftool.h"

namespace dbftool {

std::unique_ptr<TDbfFile> OpenTable(const std::string& file_name, TPageFileMode mode) {
  auto table = std::make_unique<TDbfFile>();
  table->SetFileName(file_name);
  table->SetMode(mode);
  table->SetUseFloatFields(true);
  table->OpenAndReadHeader();
  if (table->OpenAborted()) throw EDbfError(STRING_INVALID_DBF_FILE);
  return table;
}

std::unique_ptr<TDbfFile> OpenTableForChanges(const std::string& file_name, TPageFileMode mode) {
  auto table = OpenTable(file_name, mode);
  const std::string mdx = table->ProductionIndexFileName();
  if (mdx.empty()) return table;
  auto index = std::make_unique<TIndexFile>(table.get());
  index->SetFileName(mdx);
  index->SetMode(mode);
  index->OpenIndexFile();
  // Rows written past an index that cannot keep its keys would be missing
  // from its tags for good.
  if (index->Unusable())
    throw EDbfError(Utf8ToAnsi("the index file \"" + mdx +
                               "\" is in a collation this system lacks; its tags cannot follow the changes"));
  table->AddIndexFile(std::move(index));
  return table;
}

std::string TableTextToUtf8(const TDbfFile& table, const std::string& text) {
  const unsigned cp = table.UseCodePage();
  // A table in a code page the converter lacks is shown untranslated. The
  // answer is asked once per code page, not for every value of a dump.
  // Whether ASCII text reads as itself in the code page is found the same
  // way: most values of a table (numbers, dates) are ASCII.
  static unsigned known_cp = 0;
  static bool known_available = false;
  static bool known_keeps_ascii = false;
  if (cp != known_cp || known_cp == 0) {
    known_available = IsCodePageAvailable(cp);
    std::string ascii(0x80, '\0');
    for (int b = 0; b < 0x80; ++b) ascii[size_t(b)] = char(b);
    known_keeps_ascii = known_available && ConvertCodePage(ascii, cp, kUtf8CodePage) == ascii;
    known_cp = cp;
  }
  if (!known_available) return text;
  if (known_keeps_ascii &&
      std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
    return text;
  return ConvertCodePage(text, cp, kUtf8CodePage);
}

namespace {

std::string NumberText(double value) {
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  return ec == std::errc() ? std::string(buf, end) : std::string();
}

std::string DateTimeText(double value) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
  DecodeDateTime(value, y, mo, d, h, mi, s, ms);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
  return buf;
}

}  // namespace

std::string FieldText(const TDbfFile& table, const TDbfFieldDef& field, const uint8_t* record) {
  switch (field.NativeFieldType()) {
    case '+':
    case 'I': {
      int32_t value = 0;
      return table.DecodeField(field, ftInteger, &value, record) ? std::to_string(value) : std::string();
    }
    case 'O': {
      double value = 0;
      return table.DecodeField(field, ftFloat, &value, record) ? NumberText(value) : std::string();
    }
    case 'Y': {
      double value = 0;
      if (!table.DecodeField(field, ftCurrency, &value, record)) return {};
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.4f", value);
      return buf;
    }
    case '@':
    case 'T': {
      double value = 0;
      return table.DecodeField(field, ftDateTime, &value, record) ? DateTimeText(value) : std::string();
    }
    case 'M':
    case 'B':
    case 'G': {
      // The value lives in the memo file: text for 'M', bytes in hexadecimal
      // for the binary kinds.
      const int64_t block = table.MemoBlock(field, record);
      if (block == 0 || !table.MemoFile()) return {};
      TMemoryStream stream;
      table.MemoFile()->ReadMemo(block, stream);
      const std::string bytes(stream.Bytes());
      if (field.NativeFieldType() == 'M') return TableTextToUtf8(table, bytes);
      static const char kDigits[] = "0123456789abcdef";
      std::string hex;
      for (unsigned char c : bytes) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
      }
      return hex;
    }
    default: {
      // Stored as text: shown as stored, without the padding.
      std::string text(size_t(field.Size()) + 1, '\0');
      if (!table.DecodeField(field, ftString, text.data(), record)) return {};
      text.resize(std::strlen(text.c_str()));
      if (field.NativeFieldType() != 'C') text = Trim(text);
      return TableTextToUtf8(table, text);
    }
  }
}

}  // namespace dbftool
