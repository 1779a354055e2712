#include "toolkit/sys/compound.h"

#include "toolkit/core/classes.h"
#include "toolkit/core/filereplace.h"

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-output.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

[[noreturn]] void Fail(TCompoundFailure failure, int code, const std::string& what) {
  throw ECompoundFileError(failure, code, what + ": " + std::generic_category().message(code));
}

// Drops one GObject reference when it goes out of scope.
struct GObjectRef {
  explicit GObjectRef(gpointer p) : object(p) {}
  ~GObjectRef() {
    if (object) g_object_unref(object);
  }
  GObjectRef(const GObjectRef&) = delete;
  GObjectRef& operator=(const GObjectRef&) = delete;
  gpointer object;
};

// The system's error number of a failed libgsf write to the file (libgsf
// keeps only a message), EIO when the failure was not the system's.
int WriteErrno(std::FILE* file) { return std::ferror(file) && errno != 0 ? errno : EIO; }

bool ValidStreamName(const std::string& name) {
  if (name.empty() || name.size() > 31) return false;
  for (char c : name)
    if (c == '/' || c == '\\' || c == ':' || c == '!' || static_cast<unsigned char>(c) < 32) return false;
  return true;
}

}  // namespace

void SaveCompoundFile(const std::string& file_name, const std::vector<TCompoundStream>& streams) {
  TFileReplacement temp;
  if (const int err = temp.Open(file_name)) Fail(TCompoundFailure::cfCreate, err, "Cannot create " + file_name);

  // The compound image goes straight into the temporary file: building it
  // in memory first would take and fill as much memory again as the file.
  GsfOutput* sink = gsf_output_stdio_new_FILE(file_name.c_str(), temp.File(), TRUE);
  if (!sink) Fail(TCompoundFailure::cfCreate, ENOMEM, "Cannot create " + file_name);
  GObjectRef sink_ref(sink);
  GsfOutfile* storage = gsf_outfile_msole_new(sink);
  if (!storage) Fail(TCompoundFailure::cfCreate, ENOMEM, "Cannot create the storage of " + file_name);
  const auto write_failed = [&] { Fail(TCompoundFailure::cfWrite, WriteErrno(temp.File()), "Cannot write " + file_name); };
  {
    GObjectRef storage_ref(storage);
    for (const auto& s : streams) {
      if (!ValidStreamName(s.name))
        Fail(TCompoundFailure::cfCreateStream, EINVAL, "Cannot create the stream \"" + s.name + "\"");
      GsfOutput* child = gsf_outfile_new_child(storage, s.name.c_str(), FALSE);
      if (!child) Fail(TCompoundFailure::cfCreateStream, EINVAL, "Cannot create the stream \"" + s.name + "\"");
      GObjectRef child_ref(child);
      // libgsf takes sizes as size_t but we feed it in pieces anyway, so a
      // failure stops early.
      const auto* p = reinterpret_cast<const guint8*>(s.bytes.data());
      size_t left = s.bytes.size();
      while (left > 0) {
        const size_t piece = left < (1u << 20) ? left : (1u << 20);
        errno = 0;
        if (!gsf_output_write(child, piece, p)) write_failed();
        p += piece;
        left -= piece;
      }
      errno = 0;
      if (!gsf_output_close(child) || gsf_output_error(child)) write_failed();
    }
    errno = 0;
    if (!gsf_output_close(GSF_OUTPUT(storage)) || gsf_output_error(GSF_OUTPUT(storage))) write_failed();
  }
  // Closing the storage closes its sink as well (the file stays open).
  errno = 0;
  if ((!gsf_output_is_closed(sink) && !gsf_output_close(sink)) || gsf_output_error(sink)) write_failed();
  if (const int err = temp.Commit()) Fail(TCompoundFailure::cfWrite, err, "Cannot write " + file_name);
}
