// The version resource: the program's version information, compiled in, and
// queried by path the way the platform's version API answers.
//
// A resource holds a list of translations (language id and code page, two
// 16-bit words each) and, per translation, string values such as
// "FileVersion". Query paths:
//   "\VarFileInfo\Translation"             the translations as bytes, 4 per entry
//                                          (language, then code page, little-endian)
//   "\StringFileInfo\041904E3\FileVersion" a string value of one translation
//                                          (language and code page as 4 hex digits
//                                          each, compared without case)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/core/exceptions.h"

struct TVersionString {
  uint16_t Language = 0;
  uint16_t CodePage = 0;
  AnsiString Name;
  AnsiString Value;
};

struct TVersionResource {
  std::vector<std::pair<uint16_t, uint16_t>> Translations;
  std::vector<TVersionString> Strings;
};

// The version resource of the program itself.
const TVersionResource& ProgramVersionResource();

// The value at a query path; false when the resource has none there.
bool VerQueryValue(const TVersionResource& resource, const AnsiString& sub_block, std::string* value);
