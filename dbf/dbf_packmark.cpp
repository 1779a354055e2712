// The pack marker.
//
// The marker is a short text file named after the table file with ".pack"
// added (t.dbf gives t.dbf.pack), in the table's folder. Its lines end in a
// line feed; the first two have a fixed length, so that the state letter
// always sits at byte 17:
//
//   DBF PACK 1          the signature and the layout's version
//   state R             the state: C (copying), R (renaming) or U (undoing)
//   table t.dbf         the table file
//   new t_1.dbf         the packed table under its free name
//   memo t.dbt          only with memo fields: the memo file,
//   newmemo t_1.dbt       the packed memo file under its free name,
//   keep t_2.dbt          the second name of the old memo file (may be absent)
//   sum 0123abcd        FNV-1a (32 bits, eight lower-case hex digits) of the
//                       bytes from the "table" line to the line before "sum"
//
// Names are file names without a folder (bytes as the file system holds
// them; no "/", no line feed, no NUL, not "." or ".."): the files lie beside
// the table, so the folder may be moved while a marker is in it. The marker
// is written whole and put on the disk before the first new file is made; the
// state changes by rewriting its one byte in place, again put on the disk
// before the step it allows. A marker whose lines, names or sum do not agree
// is damaged: nothing it names is touched. The pack holds an exclusive
// lock (flock) on the marker from before it has its name until it is
// deleted; an open waits for that lock, so only a marker whose pack is gone
// is acted on.
//
// What the next open does, by state:
//   C  the new files may be incomplete: delete them (and the second name).
//   R  both new files still there: the renames had not begun, delete them;
//      the packed table still there but its memo file renamed: rename the
//      table too; the packed table gone: the renames are done. Then the
//      second name of the old memo file goes.
//   U  the old memo file comes back from its second name (when that is still
//      there); the new files are deleted.
#include "dbf/dbf_packmark.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dbf/dbf_str.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "toolkit/sys/files.h"

namespace {

constexpr const char kSignature[] = "DBF PACK 1\n";
constexpr size_t kStateOffset = sizeof(kSignature) - 1 + 6;  // after "state "
// A marker names five files at most: anything much longer is not one.
constexpr size_t kMaxMarkerSize = 16 * 1024;

uint32_t Fnv1a(const std::string& bytes) {
  uint32_t hash = 2166136261u;
  for (unsigned char c : bytes) {
    hash ^= c;
    hash *= 16777619u;
  }
  return hash;
}

std::string Hex8(uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08x", value);
  return text;
}

bool WriteAll(int fd, const std::string& bytes, off_t at) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, at + off_t(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

bool ValidName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

// The marker's text for these files (all in one folder).
std::string MarkerText(const TPackFiles& files, TPackState state) {
  std::string names = "table " + ExtractFileName(files.table) + "\nnew " + ExtractFileName(files.fresh) + "\n";
  if (!files.memo.empty()) {
    names += "memo " + ExtractFileName(files.memo) + "\nnewmemo " + ExtractFileName(files.fresh_memo) + "\n";
    if (!files.keep.empty()) names += "keep " + ExtractFileName(files.keep) + "\n";
  }
  return std::string(kSignature) + "state " + char(state) + "\n" + names + "sum " + Hex8(Fnv1a(names)) + "\n";
}

// Reads a marker's text back into file names in folder dir; false when the
// text is not a whole, undamaged marker.
bool ParseMarker(const std::string& text, const std::string& dir, TPackFiles* files, TPackState* state) {
  const std::string head = std::string(kSignature) + "state ";
  if (text.size() < kStateOffset + 2 || text.compare(0, head.size(), head) != 0 || text[kStateOffset + 1] != '\n')
    return false;
  const char letter = text[kStateOffset];
  if (letter != psCopying && letter != psRenaming && letter != psUndoing) return false;
  *state = TPackState(letter);

  std::vector<std::pair<std::string, std::string>> lines;
  size_t pos = kStateOffset + 2;
  const size_t names_begin = pos;
  size_t names_end = pos;
  while (pos < text.size()) {
    const size_t end = text.find('\n', pos);
    if (end == std::string::npos) return false;  // cut short
    const std::string line = text.substr(pos, end - pos);
    const size_t space = line.find(' ');
    if (space == std::string::npos) return false;
    lines.emplace_back(line.substr(0, space), line.substr(space + 1));
    if (lines.back().first != "sum") names_end = end + 1;
    pos = end + 1;
  }
  if (lines.empty() || lines.back().first != "sum") return false;
  if (lines.back().second != Hex8(Fnv1a(text.substr(names_begin, names_end - names_begin)))) return false;
  lines.pop_back();

  static const char* const kOrder[] = {"table", "new", "memo", "newmemo", "keep"};
  // Two lines, four (memo without a second name) or five.
  if (lines.size() != 2 && lines.size() != 4 && lines.size() != 5) return false;
  std::vector<std::string> names;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].first != kOrder[i] || !ValidName(lines[i].second)) return false;
    for (const std::string& other : names)
      if (other == lines[i].second) return false;
    names.push_back(lines[i].second);
  }
  *files = TPackFiles{};
  files->table = dir + names[0];
  files->fresh = dir + names[1];
  if (names.size() >= 4) {
    files->memo = dir + names[2];
    files->fresh_memo = dir + names[3];
  }
  if (names.size() == 5) files->keep = dir + names[4];
  return true;
}

[[noreturn]] void CannotFinish(const std::string& marker, const std::string& file) {
  throw EDbfError(Format(STRING_PACK_NOT_FINISHED, {marker, file, std::string(std::strerror(errno))}));
}

void DeleteIfThere(const std::string& marker, const std::string& name) {
  if (!name.empty() && ::unlink(name.c_str()) != 0 && errno != ENOENT) CannotFinish(marker, name);
}

bool Exists(const std::string& name) {
  struct stat st;
  return !name.empty() && ::lstat(name.c_str(), &st) == 0;
}

}  // namespace

bool SyncPath(const std::string& name) {
  const int fd = ::open(name.empty() ? "." : name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

std::string TPackMarker::FileName(const std::string& table) { return table + ".pack"; }

TPackMarker::~TPackMarker() {
  if (fd_ >= 0) ::close(fd_);
}

void TPackMarker::Create(const TPackFiles& files) {
  name_ = FileName(files.table);
  const std::string dir = ExtractFilePath(files.table);
  const std::string text = MarkerText(files, psCopying);
  // Written and locked as a file without a name, then given its name: an
  // opener never finds the marker empty or unlocked.
  fd_ = ::open(dir.empty() ? "." : dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0644);
  if (fd_ >= 0) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    if (::flock(fd_, LOCK_EX) != 0 || !WriteAll(fd_, text, 0) || ::fsync(fd_) != 0 ||
        ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name_.c_str(), AT_SYMLINK_FOLLOW) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  if (fd_ < 0) {
    // A file system without unnamed files: made under its name at once.
    fd_ = ::open(name_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    // A folder that takes no new file (read-only, no permission) is not a
    // full disk: the message says which file and why.
    if (fd_ < 0) {
      const std::string reason = std::strerror(errno);
      throw EDbfWriteError(Format(STRING_PACK_CANNOT_CREATE, {Utf8ToAnsi(name_), reason}));
    }
    if (::flock(fd_, LOCK_EX) != 0 || !WriteAll(fd_, text, 0) || ::fsync(fd_) != 0) {
      Remove();
      throw EDbfWriteError(STRING_WRITE_ERROR);
    }
  }
  if (!SyncPath(dir)) {
    Remove();
    throw EDbfWriteError(STRING_WRITE_ERROR);
  }
}

void TPackMarker::SetState(TPackState state) {
  if (fd_ < 0 || !WriteAll(fd_, std::string(1, char(state)), off_t(kStateOffset)) || ::fsync(fd_) != 0)
    throw EDbfWriteError(STRING_WRITE_ERROR);
}

void TPackMarker::Remove() {
  if (fd_ < 0) return;
  // Unlinked while still locked: an opener waiting for the lock sees the
  // marker gone and finds the table as the pack left it.
  ::unlink(name_.c_str());
  SyncPath(ExtractFilePath(name_));
  ::close(fd_);
  fd_ = -1;
}

bool FinishInterruptedPack(const std::string& table) {
  const std::string marker = TPackMarker::FileName(table);
  const int fd = ::open(marker.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return false;
    CannotFinish(marker, marker);
  }
  struct Close {
    int fd;
    ~Close() { ::close(fd); }
  } close_marker{fd};
  // A pack running in another process holds the lock until it is done.
  while (::flock(fd, LOCK_EX) != 0)
    if (errno != EINTR) CannotFinish(marker, marker);
  struct stat st;
  if (::fstat(fd, &st) != 0) CannotFinish(marker, marker);
  if (st.st_nlink == 0) return false;  // that pack finished (or another opener finished it)

  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::pread(fd, buffer, sizeof buffer, off_t(text.size()));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) CannotFinish(marker, marker);
    if (n == 0) break;
    text.append(buffer, size_t(n));
    if (text.size() > kMaxMarkerSize) break;
  }
  TPackFiles files;
  TPackState state = psCopying;
  const std::string dir = ExtractFilePath(table);
  if (text.size() > kMaxMarkerSize || !ParseMarker(text, dir, &files, &state) || files.table != table)
    throw EDbfError(Format(STRING_PACK_MARKER_DAMAGED, {marker}));

  const bool memo = !files.memo.empty();
  bool replaced = false;
  switch (state) {
    case psCopying: break;
    case psRenaming:
      if (Exists(files.fresh) && memo && !Exists(files.fresh_memo)) {
        // The packed memo file is in place: only its table may go with it.
        if (::rename(files.fresh.c_str(), files.table.c_str()) != 0) CannotFinish(marker, files.table);
        replaced = true;
      } else if (!Exists(files.fresh)) {
        replaced = true;
      }
      break;
    case psUndoing:
      if (Exists(files.keep) && ::rename(files.keep.c_str(), files.memo.c_str()) != 0)
        CannotFinish(marker, files.memo);
      break;
  }
  // Whatever was not renamed into place is left over.
  DeleteIfThere(marker, files.fresh);
  DeleteIfThere(marker, files.fresh_memo);
  DeleteIfThere(marker, files.keep);
  if (!SyncPath(dir)) CannotFinish(marker, dir);
  if (::unlink(marker.c_str()) != 0) CannotFinish(marker, marker);
  SyncPath(dir);
  return replaced;
}
