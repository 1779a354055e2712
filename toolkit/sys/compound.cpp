#include "toolkit/sys/compound.h"

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

// The temporary file beside the target, written through a stdio stream;
// removed unless it was renamed.
class TempFile {
 public:
  ~TempFile() {
    if (file_) std::fclose(file_);
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  // Creates a fresh file in the folder; returns errno or 0.
  int Create(const std::string& folder) {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string path = folder + ".~kiv7-" + std::to_string(::getpid()) + "-" + std::to_string(++counter) + ".tmp";
      const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd >= 0) {
        path_ = std::move(path);
        file_ = ::fdopen(fd, "wb");
        if (!file_) {
          const int err = errno;
          ::close(fd);
          return err;
        }
        return 0;
      }
      if (errno != EEXIST) return errno;
    }
    return EEXIST;
  }
  std::FILE* file() const { return file_; }
  int fd() const { return ::fileno(file_); }
  const std::string& path() const { return path_; }
  // Writes out what the stream holds, flushes the file to the disk and
  // closes it; returns errno or 0.
  int Finish() {
    int err = 0;
    if (std::fflush(file_) != 0 || ::fsync(::fileno(file_)) != 0) err = errno;
    if (std::fclose(file_) != 0 && err == 0) err = errno;
    file_ = nullptr;
    return err;
  }
  // The file now lives under another name: nothing to remove.
  void Release() { path_.clear(); }

 private:
  std::FILE* file_ = nullptr;
  std::string path_;
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

// The path the bytes finally go to: a symbolic link is followed, so the
// link stays and its target is replaced.
std::string ResolveTarget(const std::string& file_name) {
  struct stat st;
  if (::lstat(file_name.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = ::realpath(file_name.c_str(), nullptr)) {
      std::string resolved(real);
      std::free(real);
      return resolved;
    }
  }
  return file_name;
}

}  // namespace

void SaveCompoundFile(const std::string& file_name, const std::vector<TCompoundStream>& streams) {
  if (file_name.empty()) Fail(TCompoundFailure::cfCreate, ENOENT, "Cannot create the file");
  const std::string target = ResolveTarget(file_name);
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string("./") : target.substr(0, slash + 1);

  struct stat existing;
  const bool exists = ::stat(target.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) Fail(TCompoundFailure::cfCreate, EISDIR, "Cannot create " + file_name);

  TempFile temp;
  if (const int err = temp.Create(folder)) Fail(TCompoundFailure::cfCreate, err, "Cannot create " + file_name);
  if (exists) ::fchmod(temp.fd(), existing.st_mode & 07777);

  // The compound image goes straight into the temporary file: building it
  // in memory first would take and fill as much memory again as the file.
  GsfOutput* sink = gsf_output_stdio_new_FILE(temp.path().c_str(), temp.file(), TRUE);
  if (!sink) Fail(TCompoundFailure::cfCreate, ENOMEM, "Cannot create " + file_name);
  GObjectRef sink_ref(sink);
  GsfOutfile* storage = gsf_outfile_msole_new(sink);
  if (!storage) Fail(TCompoundFailure::cfCreate, ENOMEM, "Cannot create the storage of " + file_name);
  const auto write_failed = [&] { Fail(TCompoundFailure::cfWrite, WriteErrno(temp.file()), "Cannot write " + file_name); };
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
  if (const int err = temp.Finish()) Fail(TCompoundFailure::cfWrite, err, "Cannot write " + file_name);
  if (::rename(temp.path().c_str(), target.c_str()) != 0)
    Fail(TCompoundFailure::cfWrite, errno, "Cannot replace " + file_name);
  temp.Release();
  // Make the rename itself durable; a folder that cannot be synced is no error.
  const int dir_fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd >= 0) {
    ::fsync(dir_fd);
    ::close(dir_fd);
  }
}
