// Files replaced whole or not at all (the implementation lives with the file
// streams in classes.cpp).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "toolkit/core/classes.h"

// A file replaced whole or not at all. The bytes go to a temporary file
// beside the target (a symbolic link is followed: the link stays and its
// target is replaced); Commit flushes it to the disk and renames it over the
// target. Given up before Commit (destroyed, or a failed step), it removes
// the temporary file and leaves an existing file as it was, so a full disk
// or a failed write never leaves a truncated or partial file behind. The
// new file keeps the permission bits and group of the one it replaces, and
// its owner where the process may set it (KeepOwnerAndMode). Temporary files
// that killed processes left in the folder are removed when a replacement
// there begins.
// Open and Commit return the system's error number, 0 on success.
class TFileReplacement {
 public:
  TFileReplacement() = default;
  ~TFileReplacement();
  TFileReplacement(const TFileReplacement&) = delete;
  TFileReplacement& operator=(const TFileReplacement&) = delete;

  int Open(const std::string& file_name);
  // The temporary file, open for reading and writing; null before Open.
  std::FILE* File() const { return file_; }
  int Commit();

 private:
  std::string folder_;
  std::string target_;
  std::string temp_;
  std::FILE* file_ = nullptr;
};

// Gives a file made to replace another (fd) the other's owner where the
// process may set it, its group where the process may set that, and its
// permission bits, so that replacing a file never changes who may read or
// write it. A file that could not keep the owner does not keep the set-user
// and set-group bits either.
void KeepOwnerAndMode(int fd, unsigned uid, unsigned gid, unsigned mode);

// The temporary name a replacement writes under: ".~kiv7-PID-N.tmp".
// Removes such files of processes that no longer exist from folder (with its
// trailing "/"): what a replacement killed half way left behind.
void RemoveStaleReplacements(const std::string& folder);

// A stream that replaces a file whole (TFileReplacement). Failures raise
// EFCreateError "Cannot create file "%s". %s" and EWriteError "Cannot write
// file "%s". %s" with the system's reason. Nothing reaches the file's name
// until Commit.
class TReplaceFileStream : public TStream {
 public:
  explicit TReplaceFileStream(const std::string& file_name);

  int64_t Read(void* buffer, int64_t count) override;
  // Raises EWriteError when the system refuses.
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  void SetSize(int64_t size) override;
  void Commit();

 private:
  [[noreturn]] void WriteFailed(int err) const;

  std::string file_name_;
  TFileReplacement file_;
};
