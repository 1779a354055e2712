// The per-user settings store: the registry of the current user, kept as an
// INI file. Registry keys are sections ("Software\Tessamyrlin\KIV7\1.0"),
// registry values are "name=value" lines.
//
// Where the file lives: the path in the environment variable KIV7_SETTINGS
// when it is set (tests point it into their own folder), else
// $XDG_CONFIG_HOME/kiv7/kiv7.ini, else ~/.config/kiv7/kiv7.ini.
//
// The file is UTF-8 so that a user can read and edit it. Names and values are
// 1251 text in the program; on disk they are UTF-8 with backslash escapes for
// what a line cannot hold or what 1251 has but Unicode lacks, so every byte
// string comes back exactly as written:
//   \\  backslash          \r \n \t  CR, LF, tab
//   \xHH  any other byte below 0x20, 0x7F, the unassigned 0x98, a blank at
//         either end, and in names "=" and a leading "[", ";" or "#".
// An unknown escape is kept as it stands, so hand-written paths survive.
// Section names keep their backslashes (they separate the keys) and write
// what a header cannot hold as "%HH".
// Lines starting with ";" or "#" are comments and are kept when the file is
// rewritten. Keys and value names compare without case, as registry names do.
// Every change is written at once (to a temporary file renamed over the old).
#pragma once

#include <string>
#include <string_view>

#include "toolkit/core/exceptions.h"

KIV7_DECLARE_EXCEPTION(ERegistryException, Exception);

// The path of the settings file as described above (UTF-8).
std::string SettingsFilePath();

// Escaping of one name or value for the file, and back (exposed for tests).
std::string EncodeSettingsText(std::string_view ansi, bool is_name);
AnsiString DecodeSettingsText(std::string_view utf8);

// The registry accessor of the current user's hive.
class TRegistry {
 public:
  TRegistry() = default;
  // A store in another file (the settings path by default).
  explicit TRegistry(std::string file_path) : file_path_(std::move(file_path)) {}

  // Opens a key: "\A\B" from the root, "A\B" below the open key. A missing key
  // is created when can_create, else the result is false and nothing changes.
  bool OpenKey(const AnsiString& key, bool can_create);
  // Closes the open key; values then belong to the root.
  void CloseKey();
  // The open key without its leading backslash ("" at the root).
  const AnsiString& CurrentPath() const { return current_path_; }
  // Whether a key exists ("\A" from the root, "A" below the open key).
  bool KeyExists(const AnsiString& key) const;

  // Values of the open key. A missing value reads as "".
  AnsiString ReadString(const AnsiString& name) const;
  void WriteString(const AnsiString& name, const AnsiString& value);
  // Raises ERegistryException "Invalid data type for 'name'" when the value is
  // missing or is not a decimal 32-bit integer.
  int ReadInteger(const AnsiString& name) const;
  void WriteInteger(const AnsiString& name, int value);
  bool ValueExists(const AnsiString& name) const;
  // True when the value existed and is gone.
  bool DeleteValue(const AnsiString& name);

  // The file this accessor reads and writes.
  std::string FilePath() const;

 private:
  AnsiString ResolveKey(const AnsiString& key) const;
  std::string file_path_;
  AnsiString current_path_;
};

// Registry access shaped as an INI file: a root key, sections below it
// ("Form\TfrPreviewForm" under "Software\ReportEngine"), values in them. Reads
// give the default for a missing section or value or one of the wrong kind;
// writes create the section.
class TRegistryIniFile {
 public:
  // The root key, from the hive's root ("Software\ReportEngine").
  explicit TRegistryIniFile(AnsiString root, std::string file_path = {});

  AnsiString ReadString(const AnsiString& section, const AnsiString& name, const AnsiString& fallback) const;
  int ReadInteger(const AnsiString& section, const AnsiString& name, int fallback) const;
  // Stored as the integers 1 and 0; any other integer reads as true.
  bool ReadBool(const AnsiString& section, const AnsiString& name, bool fallback) const;
  void WriteString(const AnsiString& section, const AnsiString& name, const AnsiString& value);
  void WriteInteger(const AnsiString& section, const AnsiString& name, int value);
  void WriteBool(const AnsiString& section, const AnsiString& name, bool value);

 private:
  // The registry accessor with the section's key open; false when it is
  // missing and may not be created.
  bool Open(TRegistry& reg, const AnsiString& section, bool can_create) const;
  AnsiString root_;
  std::string file_path_;
};
