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
// new file keeps the permission bits of the one it replaces.
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
