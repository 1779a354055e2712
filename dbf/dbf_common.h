// Shared routines of the table engine: folder and file-name rules, the
// fixed-width number text of dBASE fields, and time-stamp conversion.
#pragma once

#include <cstdint>
#include <string>

#include "dbf/dbf_str.h"
#include "toolkit/core/sysutils.h"

// ---- Paths (POSIX: "/" starts an absolute path and ends a folder) ----------

// True when the text names a path from the root ("/...").
bool IsAbsolutePath(const std::string& path);
// The text with a trailing separator ("/" for an empty text). The name is the
// engine's own; the separator is the platform's.
std::string IncludeBackslash(const std::string& path);
// A folder resolved against a base folder: an absolute path stays; with an
// empty base the path is expanded against the current folder; otherwise base
// + path, expanded. A non-empty result ends with the separator.
std::string ResolvePath(const std::string& base, const std::string& path);
// ResolvePath of the name's folder part followed by its file part.
std::string ResolveFileName(const std::string& base, const std::string& file_name);
// The first unused name of the form <name without extension>_<n><extension>,
// counting n up from *counter + 1; *counter is left at the n used.
std::string NextFreeFileName(const std::string& file_name, int* counter);

// ---- Undo ------------------------------------------------------------------

// Runs one step of undoing a failed change. The step's own error is dropped,
// so that the steps after it still run and the first error stays the one
// reported; false when the step failed.
template <class F>
bool UndoStep(F&& step) {
  try {
    step();
    return true;
  } catch (...) {
    return false;
  }
}

// ---- Number text of fields --------------------------------------------------

// Writes the decimal digits of |value| (no sign, no padding) to dest and
// returns their count (at most 19).
int GetStrFromInt(int64_t value, char* dest);
// Writes value right-aligned in width characters. With blank padding a minus
// sign stands right before the digits ("      -5"), with '0' padding in the
// first position ("-00000005"); dBASE readers expect both layouts. Returns
// false, writing nothing, when sign and digits do not fit.
bool IntToFieldText(int64_t value, int width, char pad, char* dest);
// Reads an integer from a span of field text: blanks around, an optional sign
// (blanks may follow it, as older writers put the sign in the first column),
// digits, an optional fraction that is dropped. Text that is empty or not such
// a number, or that overflows 64 bits, gives fallback.
int64_t FieldTextToInt64(const char* text, int length, int64_t fallback);
// A number with '.' as the decimal point from a span of field text; 0 when
// the text is not a number.
double FieldTextToFloat(const char* text, int length);
// Writes value in fixed-point with `decimals` decimals and '.' as the decimal
// point, right-aligned and blank-padded in width characters. Returns false,
// writing nothing, when the text does not fit or the value is not finite.
bool FloatToFieldText(double value, int width, int decimals, char* dest);

// ---- Time stamps -------------------------------------------------------------

// A TDateTime as milliseconds since the start of 0001-01-01 (the BDE time
// stamp stored in '@' fields). 0 for values outside the calendar.
double DateTimeToBdeStamp(TDateTime value);
// The reverse; the milliseconds are rounded to an integer first. A stamp
// outside the calendar (or not finite) gives 0.0.
TDateTime BdeStampToDateTime(double stamp);
