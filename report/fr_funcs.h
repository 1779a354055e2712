// Function libraries of report expressions: the library base, the standard
// library (texts, numbers, dates, dialogs and the five aggregates), the
// database library (FIELDISNULL), the catalogue of function descriptions, the
// finder of aggregate calls, and the compression hook of built-page streams.
// The registry of libraries is in fr_utils.h.
//
// A function receives its arguments as the unevaluated argument texts of the
// call (string Variants, empty when absent) and evaluates what it needs with
// the report's single parser (frGlobals().ReportParser). Its result starts as
// the text "0", which stays when the function computes nothing.
//
// Aggregate totals live on the run-time bands; a key names one entry:
//   band name #1 code #1 expression #1 flag #1
// with the codes 11 SUM, 12 MIN, 13 MAX, 14 AVG, 15 COUNT as one character
// each, and, for a band that holds objects of other bands (cross layouts),
// "0" #1 in front when the entry is registered and the current column and #1
// when it is read.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "report/FR_Pars.h"
#include "report/fr_class.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/variant.h"

// ---- Library base ----------------------------------------------------------------

class TfrFunctionLibrary {
 public:
  TfrFunctionLibrary() = default;
  virtual ~TfrFunctionLibrary() = default;
  TfrFunctionLibrary(const TfrFunctionLibrary&) = delete;
  TfrFunctionLibrary& operator=(const TfrFunctionLibrary&) = delete;

  // The class name the registry tells libraries apart by.
  virtual const char* ClassName() const = 0;
  // When FunctionNames holds `name` (ignoring case): `value` := "0", then
  // CallByIndex with its index, and true. Otherwise false and nothing done.
  virtual bool HandleCall(const AnsiString& name, const Variant& p1, const Variant& p2, const Variant& p3,
                          Variant& value);
  // Runs the function numbered `index` in FunctionNames.
  virtual void CallByIndex(int index, const Variant& p1, const Variant& p2, const Variant& p3, Variant& value) = 0;

  // The names the library knows; a function's number is its index here.
  TStringList FunctionNames;
};

// ---- Aggregates --------------------------------------------------------------------

inline constexpr char kAggregateSeparator = '\x01';
inline constexpr int kAggregateSum = 11;
inline constexpr int kAggregateMin = 12;
inline constexpr int kAggregateMax = 13;
inline constexpr int kAggregateAvg = 14;
inline constexpr int kAggregateCount = 15;
// The start value of a MIN entry; every other entry starts at 0.
inline constexpr double kMinTotalStart = 1e300;

// The key of a totals entry (see the top of this file) for a band name.
AnsiString AggregateKey(std::string_view band_name, int code, std::string_view expression, std::string_view flag);

// The data band type whose totals an aggregate without a band name counts in
// a band of `band_type`: master data (5) in a report summary, page footer,
// master footer or group footer; detail data (8) in a detail footer;
// subdetail data (11) in a subdetail footer; cross data (19) in a cross
// footer; 22 (none) elsewhere.
int DefaultAggregateBandType(int band_type);

// Finds the aggregate calls (AVG, COUNT, MAX, MIN, SUM) of a band's texts and
// scripts and appends them to the output list.
class TAggregateFunctionsSplitter {
 public:
  // `found` is not owned. The variables are the current report's dictionary's
  // (the running build host's DictionaryVariables).
  explicit TAggregateFunctionsSplitter(TStrings* found);
  // Every bracketed text of every line, with its brackets.
  void SplitMemo(const TStrings& lines);
  // The expression of every compiled script line.
  void SplitScript(const TStrings& script);

 private:
  TStringList match_names_;
  TfrFunctionSplitter splitter_;
};

// ---- The standard and database libraries -------------------------------------------

// AVG, COUNT, DAYOF, FORMATDATETIME, FORMATFLOAT, FORMATTEXT, INPUT, LENGTH,
// LOWERCASE, MAX, MAXNUM, MESSAGEBOX, MIN, MINNUM, MONTHOF, NAMECASE, POS,
// SUM, TRIM, UPPERCASE, YEAROF (numbers 0 to 20).
class TfrStdFunctionLibrary : public TfrFunctionLibrary {
 public:
  TfrStdFunctionLibrary();
  const char* ClassName() const override { return "TfrStdFunctionLibrary"; }
  void CallByIndex(int index, const Variant& p1, const Variant& p2, const Variant& p3, Variant& value) override;

 private:
  void Aggregate(int code, const Variant& p1, const Variant& p2, const Variant& p3, Variant& value);
};

// FIELDISNULL.
class TDatabaseFunctionLibrary : public TfrFunctionLibrary {
 public:
  TDatabaseFunctionLibrary();
  const char* ClassName() const override { return "TDatabaseFunctionLibrary"; }
  void CallByIndex(int index, const Variant& p1, const Variant& p2, const Variant& p3, Variant& value) override;
};

// ---- Calls and catalogue ------------------------------------------------------------

// Asks every registered library in turn; the first that knows `name` runs the
// function. False when none does (`value` is then left as it was).
bool CallLibraryFunction(const AnsiString& name, const Variant& p1, const Variant& p2, const Variant& p3,
                         Variant& value);

// One record of the function catalogue.
struct TfrFunctionDescription {
  // The class name of the library that describes the function.
  AnsiString LibraryClass;
  AnsiString FunctionName;
  AnsiString Category;
  AnsiString Description;
};

// Descriptions of the functions for a design-time list.
class TfrInstalledFunctions {
 public:
  // Adds a record only when `description` is not empty and no record of that
  // function name (ignoring case) exists yet.
  void AddDescription(const TfrFunctionLibrary& library, std::string_view name, std::string_view category,
                      std::string_view description);
  // Drops the records of libraries of that class name.
  void RemoveLibraryDescriptions(std::string_view class_name);
  int Count() const { return static_cast<int>(records_.size()); }
  const TfrFunctionDescription& At(int index) const { return records_.at(static_cast<size_t>(index)); }
  // nullptr when the name has no record.
  const TfrFunctionDescription* Find(std::string_view name) const;
  void Clear() { records_.clear(); }

 private:
  std::vector<TfrFunctionDescription> records_;
};
// The process-wide catalogue.
TfrInstalledFunctions& InstalledFunctions();
// InstalledFunctions().AddDescription.
void AddFunctionDescription(const TfrFunctionLibrary& library, std::string_view name, std::string_view category,
                            std::string_view description);

// ---- Compression hook -----------------------------------------------------------------

// Called by the prepared-report code around page streams; neither step changes anything.
class TfrCompressor {
 public:
  TfrCompressor() = default;
  virtual ~TfrCompressor() = default;
  virtual void Compress(TStream& source, TStream& target);
  virtual void Decompress(TStream& source);
};
