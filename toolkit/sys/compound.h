// The OLE compound file (structured storage) in place of the platform's
// storage interfaces, written through libgsf.
//
// A compound file is saved whole or not at all: libgsf's writer writes the
// image into a temporary file beside the target, which is flushed to the disk
// and renamed over the target only when every byte is there. A
// failure at any step removes the temporary file, so no partial file appears
// and an existing file of the same name is left as it was. (libgsf's own file
// output renames its partial temporary file over the target when it is
// released after an error, and reports some write failures only through its
// error state; we never let it touch the target.)
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "toolkit/core/exceptions.h"

// The step of a compound-file save that failed.
enum class TCompoundFailure {
  cfCreate,        // the file could not be created (missing folder, no permission, a folder of that name)
  cfCreateStream,  // a stream could not be created in the storage (invalid name)
  cfWrite,         // the bytes could not be written, flushed or put in place
};

// A failed compound-file save. Code() is the system's error number (errno).
class ECompoundFileError : public EOSError {
 public:
  ECompoundFileError(TCompoundFailure failure, int code, AnsiString message)
      : EOSError(std::move(message)), failure_(failure), code_(code) {}
  const char* ClassName() const override { return "ECompoundFileError"; }

  // The step that failed.
  TCompoundFailure Failure() const { return failure_; }
  // The system's error number.
  int Code() const { return code_; }

 private:
  TCompoundFailure failure_;
  int code_;
};

// One stream of the root storage: its name (at most 31 characters, no "/",
// "\", ":" or "!") and its bytes.
struct TCompoundStream {
  std::string name;
  std::string_view bytes;
};

// Saves a compound file whose root storage holds the given streams, in order.
// file_name is a UTF-8 path; an existing file is replaced (its permission
// bits are kept), a symbolic link is followed. Raises ECompoundFileError.
void SaveCompoundFile(const std::string& file_name, const std::vector<TCompoundStream>& streams);
