// The report library's numbered user texts.
//
// The library asks for every user text by number (53000 to 55670). The texts
// are compiled into the program as its string table; a number the table does
// not hold gives the empty text, which callers treat as "no such text" (menu
// items and catalogue entries without a text are left out).
#pragma once

#include "toolkit/core/exceptions.h"  // AnsiString

class TfrLocale {
 public:
  // The text of that number in Windows-1251; empty when the table lacks it.
  // Texts are cut to 1023 bytes, as the loader's buffer of 1024 bytes holds.
  AnsiString LoadText(int number) const;
};

// Numbers of texts more than one of the library's forms and messages show.
inline constexpr int kTextOk = 55000;
inline constexpr int kTextCancel = 55001;
inline constexpr int kTextPrintCaption = 53040;
inline constexpr int kTextPreparing = 55203;
inline constexpr int kTextError = 55206;
inline constexpr int kTextUntitled = 55209;
inline constexpr int kTextBadFormat = 55345;

// The library's locale object, made on first use and freed by FreeLocaleObject
// (the report globals free it at shut-down).
TfrLocale& LocaleObject();
void FreeLocaleObject();
