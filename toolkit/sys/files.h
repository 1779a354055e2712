// Files and file names on POSIX: names are UTF-8, "/" separates folders and
// starts an absolute path. Table files travel between machines whose file
// systems ignore letter case, so a table's companion files (memo, index) are
// looked up without regard to case.
#pragma once

#include <string>

// The separator of folders in a path.
inline constexpr char kPathDelim = '/';

// True when a regular file (or a link to one) of that name exists.
bool FileExists(const std::string& path);
// True when a folder of that name exists.
bool DirectoryExists(const std::string& path);
// Deletes a file; false when it could not be deleted.
bool DeleteFile(const std::string& path);
// Renames a file (replacing nothing: false when the new name exists); false on failure.
bool RenameFile(const std::string& old_path, const std::string& new_path);

// The current folder, without a trailing separator.
std::string GetCurrentDir();

// The folder part including its trailing "/" ("" when the name has none).
std::string ExtractFilePath(const std::string& path);
// The part after the last "/".
std::string ExtractFileName(const std::string& path);
// The extension of the file part with its dot (".db"), "" when none.
std::string ExtractFileExt(const std::string& path);
// The name with its extension replaced (ext includes the dot; "" removes it).
std::string ChangeFileExt(const std::string& path, const std::string& ext);
// The path with a trailing "/" (a lone "/" for an empty path).
std::string IncludeTrailingPathDelimiter(const std::string& path);
// The path without a trailing "/" (the root stays "/").
std::string ExcludeTrailingPathDelimiter(const std::string& path);
// An absolute, normalised path: relative names are taken from the current
// folder, "." and ".." parts are resolved lexically (links are not followed),
// repeated separators fold. A trailing separator is kept.
std::string ExpandFileName(const std::string& path);

// The existing file whose name equals path's file part ignoring letter case
// (Unicode case folding), in path's folder; the exact name wins when it
// exists. "" when there is none.
std::string FindFileIgnoringCase(const std::string& path);

// Owns an open file descriptor: closes it when the owner goes, unless
// Release handed it on first. -1 holds none.
class TFileDescriptor {
 public:
  explicit TFileDescriptor(int fd = -1) : fd_(fd) {}
  ~TFileDescriptor();
  TFileDescriptor(const TFileDescriptor&) = delete;
  TFileDescriptor& operator=(const TFileDescriptor&) = delete;

  int Get() const { return fd_; }
  // Gives the descriptor up to the caller, who closes it from now on.
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};
