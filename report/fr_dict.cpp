#include "report/fr_dict.h"

#include <algorithm>

#include "report/fr_class.h"
#include "report/fr_utils.h"
#include "toolkit/db/db.h"
#include "toolkit/core/text.h"

namespace {

constexpr int16_t kMarkerCurrent = -2;
constexpr int16_t kMarkerDropEmpty = -1;

// Smallest stored sizes, by which a count is checked against the bytes left
// before anything is read by it: a pair of empty counted texts is 2 x (u16 + 0),
// an older variable record its kind, index and three empty short texts.
constexpr int64_t kMinPairBytes = 6;
constexpr int64_t kMinOlderRecordBytes = 1 + 4 + 3;

// The special variables of the older form, by their index.
constexpr const char* kSpecialVariables[] = {"PAGE#",        "",        "DATE",     "TIME",      "LINE#",
                                             "LINETHROUGH#", "COLUMN#", "CURRENT#", "TOTALPAGES"};


void CheckCount(TStream& stream, uint32_t count, int64_t min_item_bytes) {
  if (static_cast<int64_t>(count) > BytesLeft(stream) / min_item_bytes)
    throw EReadError(Format("Dictionary count %d exceeds the stream", {static_cast<int64_t>(count)}));
}

void ReadTable(TStream& stream, TfrVariables& table) {
  const uint32_t count = ReadDword(stream);
  CheckCount(stream, count, kMinPairBytes);
  for (uint32_t i = 0; i < count; ++i) {
    const AnsiString name = ReadCountedString(stream);
    const AnsiString value = ReadCountedString(stream);
    table.AssignVariable(name, Variant(value));
  }
}

void WriteTable(TStream& stream, const TfrVariables& table) {
  WriteDword(stream, static_cast<uint32_t>(table.VariableCount()));
  for (int i = 0; i < table.VariableCount(); ++i) {
    WriteCountedString(stream, table.VariableNameAt(i));
    const Variant value = table.VariableValueAt(i);
    WriteCountedString(stream, value.IsNull() || value.IsEmpty() ? AnsiString() : VarToStr(value));
  }
}

AnsiString ReadShortText(TStream& stream) {
  const uint8_t n = ReadByte(stream);
  AnsiString s(n, '\0');
  if (n > 0) stream.ReadBuffer(s.data(), n);
  return s;
}

bool StartsWithBlank(const AnsiString& s) { return !s.empty() && s[0] == ' '; }

void CopyTable(const TfrVariables& from, TfrVariables& to) {
  to.ClearVariables();
  for (int i = 0; i < from.VariableCount(); ++i) to.AssignVariable(from.VariableNameAt(i), from.VariableValueAt(i));
}

}  // namespace

bool TfrDataDictionary::NameLess::operator()(const AnsiString& a, const AnsiString& b) const {
  return CompareText(a, b) < 0;
}

TfrDataDictionary::TfrDataDictionary() = default;

TfrDataDictionary::~TfrDataDictionary() { ClearCache(); }

void TfrDataDictionary::Clear() {
  VariableTable.ClearVariables();
  AliasTable.ClearVariables();
  BandSourceTable.ClearVariables();
}

void TfrDataDictionary::ClearCache() { cache_.clear(); }

bool TfrDataDictionary::IsEmpty() const {
  return VariableTable.VariableCount() == 0 && AliasTable.VariableCount() == 0 &&
         BandSourceTable.VariableCount() == 0;
}

void TfrDataDictionary::Assign(const TfrDataDictionary& other) {
  if (&other == this) return;
  CopyTable(other.VariableTable, VariableTable);
  CopyTable(other.AliasTable, AliasTable);
  CopyTable(other.BandSourceTable, BandSourceTable);
  ExcludedDataSets.Assign(other.ExcludedDataSets);
  ClearCache();
}

void TfrDataDictionary::LoadFromStream(TStream& stream, int version) {
  Clear();
  {
    // Half a dictionary is worse than none.
    TScopeFail cleared([this] { Clear(); });
    const int16_t marker = static_cast<int16_t>(ReadWord(stream));
    if (marker == kMarkerCurrent || marker == kMarkerDropEmpty) {
      ReadTable(stream, VariableTable);
      ReadTable(stream, AliasTable);
      ReadTable(stream, BandSourceTable);
    } else {
      stream.Seek(-2, soFromCurrent);
      LoadOlderForm(stream, version);
    }

    // Categories start with a blank; a dictionary of the older convention
    // (categories without it, variables with it) is flipped.
    const AnsiString first = VariableTable.VariableNameAt(0);
    if (VariableTable.VariableCount() > 0 && !first.empty() && !StartsWithBlank(first)) {
      for (int i = 0; i < VariableTable.VariableCount(); ++i) {
        const AnsiString name = VariableTable.VariableNameAt(i);
        VariableTable.SetVariableNameAt(i, StartsWithBlank(name) ? name.substr(1) : ' ' + name);
      }
    }

    if (marker == kMarkerDropEmpty) {
      for (int i = AliasTable.VariableCount() - 1; i >= 0; --i) {
        CachedField found;
        if (VarToStr(AliasTable.VariableValueAt(i)).empty() && !Resolve(AliasTable.VariableNameAt(i), found))
          AliasTable.DeleteVariableAt(i);
      }
      for (int i = BandSourceTable.VariableCount() - 1; i >= 0; --i)
        if (VarToStr(BandSourceTable.VariableValueAt(i)).empty()) BandSourceTable.DeleteVariableAt(i);
    }
  }
}

void TfrDataDictionary::LoadOlderForm(TStream& stream, int version) {
  const uint32_t count = ReadDword(stream);
  CheckCount(stream, count, kMinOlderRecordBytes);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t kind = ReadByte(stream);
    const int32_t index = static_cast<int32_t>(ReadDword(stream));
    const AnsiString a = ReadShortText(stream);
    const AnsiString b = ReadShortText(stream);
    const AnsiString c = ReadShortText(stream);
    AnsiString value;
    if (kind == 2) {
      if (index == 1)
        value = b;
      else if (index >= 0 && index < static_cast<int32_t>(std::size(kSpecialVariables)))
        value = kSpecialVariables[index];
    } else if (kind == 1) {
      value = a + ".\"" + b + '"';
    }
    AliasTable.AssignVariable(' ' + c, Variant(value));
  }
  TStringList lines;
  ReadVersionedLines(stream, version, lines);
  for (int i = 0; i < lines.Count(); ++i) {
    const AnsiString line = lines.Strings(i);
    if (!line.empty() && !StartsWithBlank(line))
      VariableTable.AssignVariable(line, Variant(AnsiString()));
    else
      VariableTable.AssignVariable(line, AliasTable.FetchVariable(line));
  }
  AliasTable.ClearVariables();
}

void TfrDataDictionary::SaveToStream(TStream& stream) const {
  WriteWord(stream, static_cast<uint16_t>(kMarkerCurrent));
  WriteTable(stream, VariableTable);
  WriteTable(stream, AliasTable);
  WriteTable(stream, BandSourceTable);
}

void TfrDataDictionary::SplitFieldRef(std::string_view text, AnsiString& data_set, AnsiString& field) {
  bool quoted = false;
  size_t dot = std::string_view::npos;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"')
      quoted = !quoted;
    else if (text[i] == '.' && !quoted)
      dot = i;
  }
  if (dot == std::string_view::npos) return;
  data_set = AnsiString(text.substr(0, dot));
  field = UnquoteName(AnsiString(text.substr(dot + 1)));
}

AnsiString TfrDataDictionary::AliasOwnerName(const AnsiString& alias) const {
  for (int i = 0; i < AliasTable.VariableCount(); ++i)
    if (AnsiSameText(VarToStr(AliasTable.VariableValueAt(i)), alias)) return AliasTable.VariableNameAt(i);
  return alias;
}

bool TfrDataDictionary::Resolve(const AnsiString& text, CachedField& found) const {
  TDataSet* data_set = GetDefaultDataSet();
  AnsiString field;
  ResolveDataSetAndField(text, data_set, field);
  if (data_set == nullptr || field.empty()) return false;
  found.data_set = data_set;
  found.field = field;
  return true;
}

bool TfrDataDictionary::IsVariable(const AnsiString& name) {
  if (cache_.count(name) != 0) return true;
  const int index = VariableTable.IndexOfVariable(name);
  if (index >= 0) {
    const Variant value = VariableTable.VariableValueAt(index);
    if (!value.IsNull()) {
      const AnsiString text = VarToStr(value);
      CachedField found;
      if (text.find('.') != AnsiString::npos && Resolve(text, found)) cache_[name] = found;
    }
    return true;
  }
  AnsiString reference = name;
  if (name.find('.') != AnsiString::npos) {
    AnsiString data_set, field;
    SplitFieldRef(name, data_set, field);
    data_set = AliasOwnerName(data_set);
    for (int i = 0; i < AliasTable.VariableCount(); ++i) {
      if (!AnsiSameText(VarToStr(AliasTable.VariableValueAt(i)), field)) continue;
      const AnsiString entry = AliasTable.VariableNameAt(i);
      if (entry.compare(0, data_set.size(), data_set) != 0) continue;
      AnsiString entry_set, entry_field;
      SplitFieldRef(entry, entry_set, entry_field);
      field = entry_field;
      break;
    }
    reference = data_set + ".\"" + field + '"';
  }
  CachedField found;
  if (!Resolve(reference, found)) return false;
  cache_[name] = found;
  return true;
}

bool TfrDataDictionary::FindCachedField(const AnsiString& name, TDataSet*& data_set, AnsiString& field) const {
  const auto cached = cache_.find(name);
  if (cached == cache_.end()) return false;
  data_set = cached->second.data_set;
  field = cached->second.field;
  return true;
}

Variant TfrDataDictionary::GetValue(const AnsiString& name) {
  const auto cached = cache_.find(name);
  if (cached != cache_.end()) {
    TDataSet* data_set = cached->second.data_set;
    if (!data_set->QueryActive()) data_set->Activate();
    return GetFieldValue(data_set->FieldNamed(cached->second.field));
  }
  const int index = VariableTable.IndexOfVariable(name);
  if (index < 0) return Null();
  Variant value;
  if (Links.ScriptVariable && Links.ScriptVariable(name, value)) return value;
  value = VariableTable.VariableValueAt(index);
  if (value.VarType() != varString || VarToStr(value).empty() || !Links.Evaluate) return value;

  // A variable whose expression names itself, directly or through others,
  // would recurse until the machine stack runs out.
  const bool again = std::any_of(evaluating_.begin(), evaluating_.end(),
                                 [&](const AnsiString& busy) { return AnsiSameText(busy, name); });
  if (again) throw EParserError(Utf8ToAnsi("Переменная ссылается на саму себя: ") + name);
  evaluating_.push_back(name);
  TScopeExit leave([this] { evaluating_.pop_back(); });
  return Links.Evaluate(VarToStr(value));
}
