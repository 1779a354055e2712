#include "toolkit/sys/files.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <vector>

#include <unicode/uchar.h>
#include <unicode/unistr.h>

bool FileExists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool DeleteFile(const std::string& path) { return !path.empty() && ::unlink(path.c_str()) == 0; }

bool RenameFile(const std::string& old_path, const std::string& new_path) {
  // The platform's rename refuses an existing target; POSIX rename would
  // replace it silently, so link-then-unlink keeps the refusal atomic.
  if (::link(old_path.c_str(), new_path.c_str()) == 0) return ::unlink(old_path.c_str()) == 0;
  if (errno == EEXIST) return false;
  // Hard links are not available everywhere (some mounted file systems).
  struct stat st;
  if (::lstat(new_path.c_str(), &st) == 0) return false;
  return ::rename(old_path.c_str(), new_path.c_str()) == 0;
}

std::string GetCurrentDir() {
  std::vector<char> buf(4096);
  while (!::getcwd(buf.data(), buf.size())) {
    if (errno != ERANGE) return "/";
    buf.resize(buf.size() * 2);
  }
  return buf.data();
}

std::string ExtractFilePath(const std::string& path) {
  const size_t p = path.rfind(kPathDelim);
  return p == std::string::npos ? std::string() : path.substr(0, p + 1);
}

std::string ExtractFileName(const std::string& path) {
  const size_t p = path.rfind(kPathDelim);
  return p == std::string::npos ? path : path.substr(p + 1);
}

std::string ExtractFileExt(const std::string& path) {
  const std::string name = ExtractFileName(path);
  const size_t p = name.rfind('.');
  return p == std::string::npos ? std::string() : name.substr(p);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
  const std::string name = ExtractFileName(path);
  const size_t p = name.rfind('.');
  const std::string folder = ExtractFilePath(path);
  return folder + (p == std::string::npos ? name : name.substr(0, p)) + ext;
}

std::string IncludeTrailingPathDelimiter(const std::string& path) {
  if (!path.empty() && path.back() == kPathDelim) return path;
  return path + kPathDelim;
}

std::string ExcludeTrailingPathDelimiter(const std::string& path) {
  std::string result = path;
  while (result.size() > 1 && result.back() == kPathDelim) result.pop_back();
  return result;
}

std::string ExpandFileName(const std::string& path) {
  std::string full = path;
  if (full.empty() || full[0] != kPathDelim) full = IncludeTrailingPathDelimiter(GetCurrentDir()) + full;
  const bool trailing = full.back() == kPathDelim;
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= full.size()) {
    size_t end = full.find(kPathDelim, start);
    if (end == std::string::npos) end = full.size();
    const std::string part = full.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string result;
  for (const auto& part : parts) result += kPathDelim + part;
  if (result.empty()) return "/";
  if (trailing) result += kPathDelim;
  return result;
}

std::string FindFileIgnoringCase(const std::string& path) {
  if (FileExists(path)) return path;
  const std::string folder = ExtractFilePath(path);
  const std::string wanted_name = ExtractFileName(path);
  if (wanted_name.empty()) return {};
  const icu::UnicodeString wanted = icu::UnicodeString::fromUTF8(wanted_name);
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return {};
  std::string found;
  while (const dirent* entry = ::readdir(dir)) {
    const icu::UnicodeString name = icu::UnicodeString::fromUTF8(entry->d_name);
    if (name.caseCompare(wanted, U_FOLD_CASE_DEFAULT) == 0 && FileExists(folder + entry->d_name)) {
      // Several spellings may exist; the first in name order is taken so that
      // the answer does not depend on the directory's internal order.
      if (found.empty() || folder + entry->d_name < found) found = folder + entry->d_name;
    }
  }
  ::closedir(dir);
  return found;
}

TFileDescriptor::~TFileDescriptor() {
  if (fd_ >= 0) ::close(fd_);
}
