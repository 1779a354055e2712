// The report's data dictionary: named variables grouped under categories,
// display aliases of data sets and fields, and the record sources chosen for
// bands in the designer.
//
// Stored form (the body of the template record with tag 254):
//
//   marker   i16   -2 written; -1 is read the same way, and then drops the
//                  aliases of empty text that name no field and the empty
//                  band sources
//   three lists    VariableTable, AliasTable, BandSourceTable, each:
//                    u32 count, then count pairs of counted texts (name, value)
//
// Older form (the first i16 is neither -1 nor -2 and belongs to what follows):
//
//   count    u32   variable records, each:
//     kind   u8    1 field reference, 2 expression or special variable, else empty
//     index  i32   kind 2: 1 the expression below, else the special variable at
//                  that position of PAGE#, (empty), DATE, TIME, LINE#,
//                  LINETHROUGH#, COLUMN#, CURRENT#, TOTALPAGES
//     a, b, c      u8 length + bytes each: data set, field or expression, name
//   lines          categories and variable names in the stream version's
//                  encoding of string lists
//
// In VariableTable a name starting with a blank is a category and any other
// name a variable of the category above it.
#pragma once

#include <functional>
#include <map>
#include <string_view>
#include <utility>
#include <vector>

#include "report/FR_Pars.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/variant.h"

class TDataSet;

// What the dictionary needs of the report's value resolution, which installs
// them. Field references are resolved by the library's name resolution
// against the default data set.
struct TfrDictionaryLinks {
  // The script variables' value of a name; false when they do not hold it.
  std::function<bool(const AnsiString& name, Variant& value)> ScriptVariable;
  // The value of a report expression; without it a variable's value is its text.
  std::function<Variant(const AnsiString& expression)> Evaluate;
};

class TfrDataDictionary {
 public:
  TfrDataDictionary();
  ~TfrDataDictionary();
  TfrDataDictionary(const TfrDataDictionary&) = delete;
  TfrDataDictionary& operator=(const TfrDataDictionary&) = delete;

  // Empties the three tables (not the field cache).
  void Clear();
  // Forgets every name resolved to a field; each build pass starts with it.
  void ClearCache();
  // Reads the tag-254 body of a template stream of version `version`. Every
  // count is checked against the bytes left; a damaged body raises
  // EReadError with the dictionary emptied.
  void LoadFromStream(TStream& stream, int version);
  // Writes the current form.
  void SaveToStream(TStream& stream) const;
  // Whether the name is a variable or resolves to a field.
  bool IsVariable(const AnsiString& name);
  // The data set and field that a name asked of IsVariable resolved to in this
  // build pass; false when the name is not cached (the outputs are then kept).
  bool FindCachedField(const AnsiString& name, TDataSet*& data_set, AnsiString& field) const;
  // The value of a variable or field; Null for anything else. A variable
  // whose expression comes back to itself raises EParserError.
  Variant GetValue(const AnsiString& name);
  // Splits at the last "." outside double quotes; the field part is unquoted.
  // Without such a "." both outputs stay as they were.
  static void SplitFieldRef(std::string_view text, AnsiString& data_set, AnsiString& field);
  // The AliasTable name whose alias equals `alias` ignoring case; the text itself when none.
  AnsiString AliasOwnerName(const AnsiString& alias) const;
  // Whether the tables hold nothing.
  bool IsEmpty() const;
  // Makes this dictionary's tables equal to other's (the cache is emptied).
  void Assign(const TfrDataDictionary& other);

  TfrVariables VariableTable;
  TfrVariables AliasTable;
  TfrVariables BandSourceTable;
  // Kept empty by everything in this system.
  TStringList ExcludedDataSets;
  TfrDictionaryLinks Links;

 private:
  struct CachedField {
    TDataSet* data_set = nullptr;
    AnsiString field;
  };
  struct NameLess {
    bool operator()(const AnsiString& a, const AnsiString& b) const;
  };
  bool Resolve(const AnsiString& text, CachedField& found) const;
  void LoadOlderForm(TStream& stream, int version);

  std::map<AnsiString, CachedField, NameLess> cache_;
  // Variables whose values are being computed, to stop an expression that
  // comes back to its own variable.
  std::vector<AnsiString> evaluating_;
};
