#include "toolkit/sys/settings.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include "toolkit/core/classes.h"
#include "toolkit/core/filereplace.h"
#include "toolkit/core/text.h"

std::string SettingsFilePath() {
  if (const char* path = std::getenv("KIV7_SETTINGS"); path && *path) return path;
  std::filesystem::path base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg && xdg[0] == '/') {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::filesystem::path(home) / ".config";
  } else {
    base = std::filesystem::temp_directory_path();
  }
  return (base / "kiv7" / "kiv7.ini").string();
}

namespace {

char HexDigit(unsigned v) { return "0123456789ABCDEF"[v & 15]; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string EncodeSettingsText(std::string_view ansi, bool is_name) {
  std::string escaped;
  escaped.reserve(ansi.size() + 8);
  for (size_t i = 0; i < ansi.size(); ++i) {
    const auto c = static_cast<unsigned char>(ansi[i]);
    const bool at_end = i == 0 || i + 1 == ansi.size();
    bool hex = c < 0x20 || c == 0x7F || c == 0x98 || (c == ' ' && at_end);
    if (is_name && (c == '=' || c == ']' || (i == 0 && (c == '[' || c == ';' || c == '#')))) hex = true;
    if (c == '\\') {
      escaped += "\\\\";
    } else if (c == '\r') {
      escaped += "\\r";
    } else if (c == '\n') {
      escaped += "\\n";
    } else if (c == '\t') {
      escaped += "\\t";
    } else if (hex) {
      escaped += "\\x";
      escaped += HexDigit(c >> 4);
      escaped += HexDigit(c);
    } else {
      escaped += static_cast<char>(c);
    }
  }
  // Only ASCII escapes were added, so the conversion maps every other byte.
  return AnsiToUtf8(escaped);
}

AnsiString DecodeSettingsText(std::string_view utf8) {
  const AnsiString text = Utf8ToAnsi(utf8);
  AnsiString plain;
  plain.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      plain += text[i];
      continue;
    }
    const char e = text[i + 1];
    if (e == '\\') {
      plain += '\\';
      ++i;
    } else if (e == 'r') {
      plain += '\r';
      ++i;
    } else if (e == 'n') {
      plain += '\n';
      ++i;
    } else if (e == 't') {
      plain += '\t';
      ++i;
    } else if (e == 'x' && i + 3 < text.size() && HexValue(text[i + 2]) >= 0 && HexValue(text[i + 3]) >= 0) {
      plain += static_cast<char>(HexValue(text[i + 2]) * 16 + HexValue(text[i + 3]));
      i += 3;
    } else {
      plain += '\\';  // not an escape: a hand-written backslash
    }
  }
  return plain;
}

namespace {

// Section names are key paths whose backslashes separate the keys, so they
// stay literal there; what a header line cannot hold is written "%HH".
std::string EncodeSection(std::string_view ansi) {
  std::string escaped;
  for (size_t i = 0; i < ansi.size(); ++i) {
    const auto c = static_cast<unsigned char>(ansi[i]);
    const bool at_end = i == 0 || i + 1 == ansi.size();
    if (c < 0x20 || c == 0x7F || c == 0x98 || c == '%' || c == ']' || c == '[' || (c == ' ' && at_end)) {
      escaped += '%';
      escaped += HexDigit(c >> 4);
      escaped += HexDigit(c);
    } else {
      escaped += char(c);
    }
  }
  return AnsiToUtf8(escaped);
}

AnsiString DecodeSection(std::string_view utf8) {
  const AnsiString text = Utf8ToAnsi(utf8);
  AnsiString plain;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      plain += char(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      plain += text[i];
    }
  }
  return plain;
}

// One line of the file as read, with its meaning.
struct IniLine {
  enum Kind { kOther, kSection, kValue } kind = kOther;
  std::string raw;    // the line as it stands in the file (UTF-8)
  AnsiString name;    // section or value name, decoded
  AnsiString value;   // value, decoded
};

bool SameName(const AnsiString& a, const AnsiString& b) { return AnsiUpperCase(a) == AnsiUpperCase(b); }

AnsiString TrimBlanks(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
  return AnsiString(s.substr(b, e - b));
}

// The whole file as lines; a missing file is an empty store.
class IniFile {
 public:
  explicit IniFile(std::string path) : path_(std::move(path)) { Load(); }

  // Index of the section's header line, or -1.
  int FindSection(const AnsiString& section) const {
    for (size_t i = 0; i < lines_.size(); ++i)
      if (lines_[i].kind == IniLine::kSection && SameName(lines_[i].name, section)) return int(i);
    return -1;
  }
  // Whether the section or any section below it exists.
  bool KeyExists(const AnsiString& section) const {
    if (section.empty() || FindSection(section) >= 0) return true;
    const AnsiString prefix = AnsiUpperCase(section) + "\\";
    for (const auto& line : lines_)
      if (line.kind == IniLine::kSection && AnsiUpperCase(line.name).starts_with(prefix)) return true;
    return false;
  }
  // Index of a value line of the section, or -1. Values before any header
  // belong to the root ("").
  int FindValue(const AnsiString& section, const AnsiString& name) const {
    int start = section.empty() ? 0 : FindSection(section) + 1;
    if (!section.empty() && start == 0) return -1;
    for (size_t i = size_t(start); i < lines_.size(); ++i) {
      if (lines_[i].kind == IniLine::kSection) break;
      if (lines_[i].kind == IniLine::kValue && SameName(lines_[i].name, name)) return int(i);
    }
    return -1;
  }
  std::optional<AnsiString> Value(const AnsiString& section, const AnsiString& name) const {
    const int i = FindValue(section, name);
    if (i < 0) return std::nullopt;
    return lines_[size_t(i)].value;
  }

  void AddSection(const AnsiString& section) {
    if (section.empty() || FindSection(section) >= 0) return;
    if (!lines_.empty() && lines_.back().kind != IniLine::kOther) lines_.push_back(IniLine{});
    IniLine header;
    header.kind = IniLine::kSection;
    header.name = section;
    header.raw = "[" + EncodeSection(section) + "]";
    lines_.push_back(std::move(header));
  }
  void SetValue(const AnsiString& section, const AnsiString& name, const AnsiString& value) {
    IniLine line;
    line.kind = IniLine::kValue;
    line.name = name;
    line.value = value;
    line.raw = EncodeSettingsText(name, true) + "=" + EncodeSettingsText(value, false);
    if (const int i = FindValue(section, name); i >= 0) {
      lines_[size_t(i)] = std::move(line);
      return;
    }
    AddSection(section);
    // After the section's last value line, before trailing blanks and comments.
    size_t at = section.empty() ? 0 : size_t(FindSection(section)) + 1;
    size_t insert = at;
    for (size_t i = at; i < lines_.size() && lines_[i].kind != IniLine::kSection; ++i)
      if (lines_[i].kind == IniLine::kValue) insert = i + 1;
    lines_.insert(lines_.begin() + std::ptrdiff_t(insert), std::move(line));
  }
  bool RemoveValue(const AnsiString& section, const AnsiString& name) {
    const int i = FindValue(section, name);
    if (i < 0) return false;
    lines_.erase(lines_.begin() + i);
    return true;
  }

  // Writes the file through a temporary one; false on any failure.
  bool Save() const {
    std::error_code ec;
    const std::filesystem::path path(path_);
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
    TFileReplacement file;
    if (file.Open(path_) != 0) return false;
    for (const auto& line : lines_) {
      if (std::fwrite(line.raw.data(), 1, line.raw.size(), file.File()) != line.raw.size() ||
          std::fputc('\n', file.File()) == EOF)
        return false;
    }
    return file.Commit() == 0;
  }

 private:
  void Load() {
    std::ifstream in(path_, std::ios::binary);
    if (!in) return;
    std::string line;
    while (std::getline(in, line)) {
      IniLine parsed;
      parsed.raw = line;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const AnsiString trimmed = TrimBlanks(line);
      if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#') {
        // blank or comment
      } else if (trimmed[0] == '[' && trimmed.back() == ']') {
        parsed.kind = IniLine::kSection;
        parsed.name = DecodeSection(TrimBlanks(std::string_view(trimmed).substr(1, trimmed.size() - 2)));
        while (!parsed.name.empty() && parsed.name[0] == '\\') parsed.name.erase(0, 1);
      } else if (const size_t eq = trimmed.find('='); eq != std::string::npos) {
        parsed.kind = IniLine::kValue;
        parsed.name = DecodeSettingsText(TrimBlanks(std::string_view(trimmed).substr(0, eq)));
        parsed.value = DecodeSettingsText(TrimBlanks(std::string_view(trimmed).substr(eq + 1)));
      }
      lines_.push_back(std::move(parsed));
    }
  }

  std::string path_;
  std::vector<IniLine> lines_;
};

AnsiString InvalidType(const AnsiString& name) { return "Invalid data type for '" + name + "'"; }
AnsiString FailedToSet(const AnsiString& name) { return "Failed to set data for '" + name + "'"; }

}  // namespace

std::string TRegistry::FilePath() const { return file_path_.empty() ? SettingsFilePath() : file_path_; }

AnsiString TRegistry::ResolveKey(const AnsiString& key) const {
  AnsiString path;
  if (!key.empty() && key[0] == '\\') {
    path = key;
  } else if (key.empty()) {
    path = current_path_;
  } else {
    path = current_path_.empty() ? key : current_path_ + "\\" + key;
  }
  // One backslash between parts, none at either end.
  AnsiString clean;
  for (char c : path) {
    if (c == '\\' && (clean.empty() || clean.back() == '\\')) continue;
    clean += c;
  }
  while (!clean.empty() && clean.back() == '\\') clean.pop_back();
  return clean;
}

bool TRegistry::OpenKey(const AnsiString& key, bool can_create) {
  const AnsiString path = ResolveKey(key);
  IniFile file(FilePath());
  if (!file.KeyExists(path)) {
    if (!can_create) return false;
    file.AddSection(path);
    if (!file.Save()) return false;
  }
  current_path_ = path;
  return true;
}

void TRegistry::CloseKey() { current_path_.clear(); }

bool TRegistry::KeyExists(const AnsiString& key) const { return IniFile(FilePath()).KeyExists(ResolveKey(key)); }

AnsiString TRegistry::ReadString(const AnsiString& name) const {
  return IniFile(FilePath()).Value(current_path_, name).value_or(AnsiString());
}

void TRegistry::WriteString(const AnsiString& name, const AnsiString& value) {
  IniFile file(FilePath());
  file.SetValue(current_path_, name, value);
  if (!file.Save()) throw ERegistryException(FailedToSet(name));
}

int TRegistry::ReadInteger(const AnsiString& name) const {
  const auto value = IniFile(FilePath()).Value(current_path_, name);
  if (!value || value->empty()) throw ERegistryException(InvalidType(name));
  errno = 0;
  char* end = nullptr;
  const long long n = std::strtoll(value->c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || n < INT_MIN || n > INT_MAX || (*value)[0] == ' ')
    throw ERegistryException(InvalidType(name));
  return int(n);
}

void TRegistry::WriteInteger(const AnsiString& name, int value) { WriteString(name, std::to_string(value)); }

bool TRegistry::ValueExists(const AnsiString& name) const {
  return IniFile(FilePath()).Value(current_path_, name).has_value();
}

bool TRegistry::DeleteValue(const AnsiString& name) {
  IniFile file(FilePath());
  if (!file.RemoveValue(current_path_, name)) return false;
  if (!file.Save()) throw ERegistryException("Unable to delete value '" + name + "'");
  return true;
}

// ---- TRegistryIniFile ---------------------------------------------------------

TRegistryIniFile::TRegistryIniFile(AnsiString root, std::string file_path)
    : root_(std::move(root)), file_path_(std::move(file_path)) {}

bool TRegistryIniFile::Open(TRegistry& reg, const AnsiString& section, bool can_create) const {
  AnsiString key = "\\" + root_;
  if (!section.empty()) key += "\\" + section;
  return reg.OpenKey(key, can_create);
}

AnsiString TRegistryIniFile::ReadString(const AnsiString& section, const AnsiString& name,
                                        const AnsiString& fallback) const {
  TRegistry reg(file_path_);
  if (!Open(reg, section, false) || !reg.ValueExists(name)) return fallback;
  return reg.ReadString(name);
}

int TRegistryIniFile::ReadInteger(const AnsiString& section, const AnsiString& name, int fallback) const {
  TRegistry reg(file_path_);
  if (!Open(reg, section, false) || !reg.ValueExists(name)) return fallback;
  try {
    return reg.ReadInteger(name);
  } catch (const ERegistryException&) {
    return fallback;
  }
}

bool TRegistryIniFile::ReadBool(const AnsiString& section, const AnsiString& name, bool fallback) const {
  return ReadInteger(section, name, fallback ? 1 : 0) != 0;
}

void TRegistryIniFile::WriteString(const AnsiString& section, const AnsiString& name, const AnsiString& value) {
  TRegistry reg(file_path_);
  if (!Open(reg, section, true)) throw ERegistryException("Failed to create key " + root_ + "\\" + section);
  reg.WriteString(name, value);
}

void TRegistryIniFile::WriteInteger(const AnsiString& section, const AnsiString& name, int value) {
  WriteString(section, name, std::to_string(value));
}

void TRegistryIniFile::WriteBool(const AnsiString& section, const AnsiString& name, bool value) {
  WriteInteger(section, name, value ? 1 : 0);
}
