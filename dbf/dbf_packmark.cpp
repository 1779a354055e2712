// The pack marker.
//
// The marker is a short text file named after the table file with ".pack"
// added (t.dbf gives t.dbf.pack), in the table's folder. Its lines end in a
// line feed; the first two have a fixed length, so that the state letter
// always sits at byte 17:
//
//   DBF PACK 1          the signature and the layout's version
//   state R             the state: C (copying), R (renaming), U (undoing)
//                       or I (index tags to rebuild)
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
// is damaged: nothing it names is touched; so is one naming a file of
// another scheme than the pack's (the table, its memo file in any letter
// case, and free names as NextFreeFileName makes them). Only a marker owned
// by the current user or by the table file's owner is acted on. The pack
// holds an exclusive lock (flock) on the marker from before it has its name
// until it is deleted; an open waits for that lock, as long as the table's
// lock waits last, so only a marker whose pack is gone is acted on.
//
// What the next open does, by state:
//   C  the new files may be incomplete: delete them (and the second name).
//   R  both new files still there: the renames had not begun, delete them;
//      the packed table still there but its memo file renamed: rename the
//      table too; the packed table gone: the renames are done. Then the
//      second name of the old memo file goes.
//   U  the old memo file comes back from its second name (when that is still
//      there); the new files are deleted.
//   I  the files are done; the index files wait for their tags to be
//      rebuilt from the packed table.
// A pack found done (R with its renames complete) turns the marker to I
// rather than removing it: an open that cannot write the index files (a
// read-only one) leaves their rebuilding to the next open that can, and
// until then does not use their tags.
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

#include "dbf/dbf_pgfile.h"
#include "dbf/dbf_str.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "toolkit/sys/files.h"

namespace {

constexpr const char kSignature[] = "DBF PACK 1\n";
constexpr size_t kStateOffset = sizeof(kSignature) - 1 + 6;  // after "state "
// A marker names five files at most: anything much longer is not one.
constexpr size_t kMaxMarkerSize = 16 * 1024;
// An open waiting for a marker's lock tries again at this interval.
constexpr int kMarkerRetryMs = 10;

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
  if (letter != psCopying && letter != psRenaming && letter != psUndoing && letter != psTagsPending) return false;
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

// True when name is stem + "_" + a counter + ext: a name NextFreeFileName
// gives, the only kind a pack makes beside its table.
bool OfPackScheme(const std::string& name, const std::string& stem, const std::string& ext) {
  if (name.size() <= stem.size() + 1 + ext.size() || name.compare(0, stem.size(), stem) != 0 ||
      name[stem.size()] != '_' || name.compare(name.size() - ext.size(), ext.size(), ext) != 0)
    return false;
  const std::string counter = name.substr(stem.size() + 1, name.size() - stem.size() - 1 - ext.size());
  return counter[0] != '0' && counter.size() <= 9 &&
         counter.find_first_not_of("0123456789") == std::string::npos;
}

// True when the marker names only files a pack of this table makes: the
// table itself, its memo file (any letter case, as the table finds it), the
// new files and the memo file's second name under free names of the pack's
// scheme. A marker naming anything else is not one a pack wrote.
bool NamesFollowThePack(const TPackFiles& files) {
  const std::string table = ExtractFileName(files.table);
  const std::string table_ext = ExtractFileExt(table);
  const std::string table_stem = table.substr(0, table.size() - table_ext.size());
  if (!OfPackScheme(ExtractFileName(files.fresh), table_stem, table_ext)) return false;
  if (files.memo.empty()) return true;
  const std::string memo = ExtractFileName(files.memo);
  const std::string memo_ext = ExtractFileExt(memo);
  if (LowerCase(memo_ext) != ".dbt" && LowerCase(memo_ext) != ".fpt") return false;
  const std::string memo_stem = memo.substr(0, memo.size() - memo_ext.size());
  if (LowerCase(memo_stem) != LowerCase(table_stem)) return false;
  const std::string fresh = ExtractFileName(files.fresh);
  if (ExtractFileName(files.fresh_memo) != ChangeFileExt(fresh, LowerCase(memo_ext))) return false;
  return files.keep.empty() || OfPackScheme(ExtractFileName(files.keep), memo_stem, memo_ext);
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
  // Not followed when it is a link: the marker itself must be a pack's.
  // Written to when the packed table waits for its tags to be rebuilt.
  int fd = ::open(marker.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0 && errno != ENOENT && errno != ELOOP)
    fd = ::open(marker.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT) return false;
    if (errno == ELOOP) throw EDbfError(Format(STRING_PACK_MARKER_DAMAGED, {marker}));
    CannotFinish(marker, marker);
  }
  struct Close {
    int fd;
    ~Close() { ::close(fd); }
  } close_marker{fd};
  // Only a marker written by this user or by the table's owner is acted on:
  // in a folder others may write to, anyone could leave one naming files of
  // the table's owner to be deleted or renamed.
  struct stat st, table_st;
  if (::fstat(fd, &st) != 0) CannotFinish(marker, marker);
  if (!S_ISREG(st.st_mode)) throw EDbfError(Format(STRING_PACK_MARKER_DAMAGED, {marker}));
  const bool table_owner = ::stat(table.c_str(), &table_st) == 0 && table_st.st_uid == st.st_uid;
  if (st.st_uid != ::geteuid() && !table_owner) throw EDbfError(Format(STRING_PACK_MARKER_FOREIGN, {marker}));
  // A pack running in another process holds the lock until it is done. The
  // wait is bounded as the table's own lock waits are: a lock that anyone
  // who may read the marker can take must not stop every open for good.
  for (int waited = 0; ::flock(fd, LOCK_EX | LOCK_NB) != 0; waited += kMarkerRetryMs) {
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) CannotFinish(marker, marker);
    if (waited >= TPagedFile::LockWaitMilliseconds())
      throw EDbfError(Format(STRING_PACK_MARKER_LOCKED, {marker}));
    ::usleep(kMarkerRetryMs * 1000);
  }
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
  if (text.size() > kMaxMarkerSize || !ParseMarker(text, dir, &files, &state) || files.table != table ||
      !NamesFollowThePack(files))
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
    case psTagsPending: return true;
  }
  // Whatever was not renamed into place is left over.
  DeleteIfThere(marker, files.fresh);
  DeleteIfThere(marker, files.fresh_memo);
  DeleteIfThere(marker, files.keep);
  if (!SyncPath(dir)) CannotFinish(marker, dir);
  // The packed table's tags are rebuilt by whichever open may write its
  // index files: until then the marker says so. A marker this user may not
  // write (the table owner's open of another's pack) cannot wait for that.
  if (replaced && WriteAll(fd, std::string(1, char(psTagsPending)), off_t(kStateOffset)) && ::fsync(fd) == 0)
    return true;
  if (::unlink(marker.c_str()) != 0) CannotFinish(marker, marker);
  SyncPath(dir);
  return replaced;
}

void TagsRebuilt(const std::string& table) {
  const std::string marker = TPackMarker::FileName(table);
  const int fd = ::open(marker.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return;
  char state = 0;
  const bool pending = ::pread(fd, &state, 1, off_t(kStateOffset)) == 1 && state == psTagsPending;
  ::close(fd);
  if (!pending) return;
  ::unlink(marker.c_str());
  SyncPath(ExtractFilePath(table));
}
