// dbftool create and create-measurement: new empty tables.
#include <cstdio>
#include <string_view>

#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "toolkit/sys/files.h"
#include "tools/dbftool/dbftool.h"

namespace dbftool {
namespace {

int LevelToVersion(const std::string& level) {
  if (level == "3") return kDbfVersionDBase3;
  if (level == "4") return kDbfVersionDBase4;
  if (level == "7") return kDbfVersionDBase7;
  if (level == "25") return kDbfVersionFoxPro;
  throw UsageError{"level must be 3, 4, 7 or 25"};
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

int Number(const std::string& text, const std::string& what) {
  int value = 0;
  if (!TryStrToInt(text, value) || value < 0) throw UsageError{"bad " + what + " \"" + text + "\""};
  return value;
}

// Writes a new table; nothing is left behind when the engine refuses the fields.
void WriteTable(const std::string& file, int version, bool use_float_fields, const TDbfFieldDefs& defs) {
  TDbfFile::CheckNewTable(defs, version);
  TDbfFile table;
  table.SetFileName(file);
  table.SetMode(pmExclusiveCreate);
  table.SetDbfVersion(version);
  table.SetUseFloatFields(use_float_fields);
  table.OpenAndReadHeader();
  table.WriteNewHeader(defs, 512);
  table.CloseAll();
}

}  // namespace

int RunCreate(const Args& args) {
  std::string file, level, fields;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--level" && i + 1 < args.size())
      level = args[++i];
    else if (args[i] == "--fields" && i + 1 < args.size())
      fields = args[++i];
    else if (file.empty() && !args[i].starts_with("--"))
      file = args[i];
    else
      throw UsageError{"unexpected argument \"" + args[i] + "\""};
  }
  if (file.empty() || level.empty() || fields.empty()) throw UsageError{"FILE, --level and --fields are required"};
  const int version = LevelToVersion(level);

  TDbfFieldDefs defs;
  defs.SetDbfVersion(version);
  for (const std::string& item : Split(fields, ',')) {
    const std::vector<std::string> parts = Split(item, ':');
    if (parts.size() < 2 || parts.size() > 4 || parts[1].size() != 1)
      throw UsageError{"bad field \"" + item + "\" (NAME:LETTER[:LEN[:DEC]])"};
    const char letter = AnsiUpperChar(parts[1][0]);
    if ((letter == 'C' || letter == 'N' || letter == 'F') && parts.size() < 3)
      throw UsageError{"field \"" + item + "\" needs a length"};
    TDbfFieldDef* def = defs.AddFieldDef();
    def->SetFieldName(Utf8ToAnsi(parts[0]));
    // Length and decimals first: the letter's rules then check them.
    def->SetFromDescriptor(def->FieldName(), letter, parts.size() > 2 ? Number(parts[2], "length") : 0,
                           parts.size() > 3 ? Number(parts[3], "decimals") : 0);
    if (def->NativeFieldType() == '\0') throw UsageError{"unknown field letter in \"" + item + "\""};
    // Readers of the level would not know the field: refused rather than written.
    if (version == kDbfVersionDBase3 && std::string_view("CNLDM").find(letter) == std::string_view::npos)
      throw UsageError{"field \"" + item + "\": dBase III (level 3) has no fields of type " + std::string(1, letter) +
                       ", only C, N, L, D and M"};
    if (letter == 'C' && def->Size() == 0)
      throw UsageError{"field \"" + item + "\": a character field needs a length of at least 1"};
    def->SetNativeFieldType(letter);
  }
  WriteTable(file, version, true, defs);
  return 0;
}

int RunCreateMeasurement(const Args& args) {
  if (args.size() != 1) throw UsageError{"expected one FILE"};
  // The instrument's measurement table: a dBase IV table read back with
  // integer, small-integer, float and text fields.
  struct Field {
    const char* name;
    TFieldType type;
    int size;
  };
  static const Field kFields[] = {
      {"N", ftInteger, 0},      {"DATE", ftString, 10},  {"TIME", ftString, 8},     {"DEV_TYPE", ftSmallint, 0},
      {"SERIAL", ftInteger, 0}, {"NB_TYPE", ftSmallint, 0}, {"P", ftFloat, 0},      {"R", ftFloat, 0},
      {"ZAV", ftString, 50},    {"TYPE", ftString, 15},  {"COMMENT", ftString, 100}, {"H", ftFloat, 0},
      {"T", ftFloat, 0},        {"K", ftFloat, 0},       {"A1", ftFloat, 0},        {"A2", ftFloat, 0},
      {"A3", ftFloat, 0},       {"D1", ftFloat, 0},      {"D2", ftFloat, 0},        {"D3", ftFloat, 0},
  };
  TDbfFieldDefs defs;
  defs.SetDbfVersion(kDbfVersionDBase4);
  defs.SetUseFloatFields(false);
  for (const Field& f : kFields) {
    TDbfFieldDef* def = defs.AddFieldDef();
    def->SetFieldName(f.name);
    def->SetFieldType(f.type);
    if (f.size > 0)
      def->SetSize(f.size);
    else
      def->SetDefaultSize();
  }
  WriteTable(args[0], kDbfVersionDBase4, false, defs);
  return 0;
}

}  // namespace dbftool
