#include "toolkit/sys/version.h"

#include <cstdio>

#include "toolkit/core/text.h"

const TVersionResource& ProgramVersionResource() {
  // Russian (0x0419), code page 1251 (0x04E3).
  static const TVersionResource resource = {
      {{0x0419, 0x04E3}},
      {
          {0x0419, 0x04E3, "FileVersion", "1.0.2.0"},
          {0x0419, 0x04E3, "ProductVersion", "1.0.2.0"},
          {0x0419, 0x04E3, "InternalName", "kiv7"},
          {0x0419, 0x04E3, "OriginalFilename", "kiv7"},
      },
  };
  return resource;
}

bool VerQueryValue(const TVersionResource& resource, const AnsiString& sub_block, std::string* value) {
  if (SameText(sub_block, "\\VarFileInfo\\Translation")) {
    if (resource.Translations.empty()) return false;
    value->clear();
    for (const auto& [language, code_page] : resource.Translations) {
      for (uint16_t word : {language, code_page}) {
        value->push_back(char(word & 0xFF));
        value->push_back(char(word >> 8));
      }
    }
    return true;
  }
  static const AnsiString kStrings = "\\StringFileInfo\\";
  if (sub_block.size() < kStrings.size() + 9 || !SameText(sub_block.substr(0, kStrings.size()), kStrings)) return false;
  const AnsiString key = sub_block.substr(kStrings.size(), 8);
  if (sub_block[kStrings.size() + 8] != '\\') return false;
  const AnsiString name = sub_block.substr(kStrings.size() + 9);
  for (const TVersionString& s : resource.Strings) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%04X%04X", s.Language, s.CodePage);
    if (SameText(key, hex) && SameText(name, s.Name)) {
      *value = s.Value;
      return true;
    }
  }
  return false;
}
