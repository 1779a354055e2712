// The report library's window positions: a window's place, size and state
// kept per user in the settings store, under the library's registry root.
#pragma once

#include <string>

#include "toolkit/core/exceptions.h"  // AnsiString

class TForm;

// "Software\ReportEngine": the library's key in the current user's hive.
const AnsiString& frRegRootKey();

// Writes the form's left, top, width, height and whether it is maximized to
// the section "Form\" + its class name. `file_path` names another settings
// file (the user's by default).
void SaveFormPosition(TForm& form, const std::string& file_path = {});
// Takes them back: a form saved as not maximized shows normal (one never
// saved keeps its state); missing values keep the form's own, and a stored
// width or height below 1 keeps its size.
void RestoreFormPosition(TForm& form, const std::string& file_path = {});
