#include "dbf/dbf_dbffile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <set>

#include "dbf/dbf_common.h"
#include "dbf/dbf_idxfile.h"
#include "dbf/dbf_lang.h"
#include "dbf/dbf_packmark.h"
#include "toolkit/core/binary.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/filereplace.h"
#include "toolkit/core/text.h"
#include "toolkit/sys/files.h"

namespace {

constexpr int kMaxFieldCount = 4095;
constexpr int kMaxHeaderSize = 65535;
constexpr int kMaxRecordSize = 65535;
// FoxPro counts a 263-byte area after the terminator (the database container link) into the header.
constexpr int kFoxProBacklinkSize = 263;
constexpr uint8_t kDescriptorEnd = 0x0D;
constexpr uint8_t kEofMark = 0x1A;

// Holds the header lock (record 0) of a table for a scope.
class THeaderLock {
 public:
  explicit THeaderLock(TDbfFile* table) : table_(table) { table_->LockRecord(0, true); }
  ~THeaderLock() { table_->UnlockRecord(0); }
  THeaderLock(const THeaderLock&) = delete;
  THeaderLock& operator=(const THeaderLock&) = delete;

 private:
  TDbfFile* table_;
};

// Julian day number of 0001-01-01 minus one, the day count of the toolkit's time stamps.
constexpr int kJulianDayDelta = 1721425;
constexpr const char* kLockFieldName = "_DBASELOCK";

int FixedHeaderSize(int version) { return version == kDbfVersionDBase7 ? 68 : 32; }
int DescriptorSize(int version) { return TDbfFieldDescriptor::Size(version); }

[[noreturn]] void InvalidFile() { throw EDbfError(STRING_INVALID_DBF_FILE); }

bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

// Gives the file made to replace original the original's owner (where the
// process may), group and permission bits.
// 0 unless the folder's sticky bit keeps this process from putting another
// file in place of file (and from removing the names it made beside it);
// else the reason. A sticky folder lets only the owners of a file or of the
// folder replace it, though others may write the file and make new ones
// there. A folder that takes no new file at all is said by the marker's
// creation, which names the file it could not make.
int CannotReplace(const std::string& file) {
  const std::string dir = ExtractFilePath(file).empty() ? std::string(".") : ExtractFilePath(file);
  struct stat dir_st, st;
  if (::stat(dir.c_str(), &dir_st) != 0 || ::stat(file.c_str(), &st) != 0) return errno;
  const uid_t me = ::geteuid();
  if ((dir_st.st_mode & S_ISVTX) && me != 0 && st.st_uid != me && dir_st.st_uid != me) return EPERM;
  return 0;
}

[[noreturn]] void CannotReplaceError(const std::string& file, int err) {
  throw EDbfWriteError(Format(STRING_PACK_CANNOT_REPLACE, {Utf8ToAnsi(file), Utf8ToAnsi(std::strerror(err))}));
}

void KeepOwnerAndModeOf(const std::string& original, const std::string& replacement) {
  struct stat st;
  if (::stat(original.c_str(), &st) != 0) return;
  const int fd = ::open(replacement.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return;
  KeepOwnerAndMode(fd, st.st_uid, st.st_gid, st.st_mode);
  ::close(fd);
}

}  // namespace

// ---- TDbfFieldDescriptor ----------------------------------------------------------

int TDbfFieldDescriptor::Size(int version) { return version == kDbfVersionDBase7 ? 48 : 32; }

int TDbfFieldDescriptor::NameLength(int version) { return version == kDbfVersionDBase7 ? 31 : 10; }

namespace {

// Where the parts of a descriptor lie, by level.
struct TDescriptorLayout {
  int name_bytes, letter_at, length_at, decimals_at;
};

TDescriptorLayout DescriptorLayout(int version) {
  if (version == kDbfVersionDBase7) return {32, 32, 33, 34};
  return {11, 11, 16, 17};
}

// FoxPro's offset of the field in the record, in the 32-byte form.
constexpr int kRecordOffsetAt = 12;

}  // namespace

TDbfTableHeader TDbfTableHeader::DecodeFrom(const uint8_t* d) {
  TDbfTableHeader h;
  h.Version = d[0];
  h.Year = d[1];
  h.Month = d[2];
  h.Day = d[3];
  h.RecordCount = GetLE32(d + 4);
  h.HeaderSize = GetLE16(d + 8);
  h.RecordSize = GetLE16(d + 10);
  std::memcpy(h.Reserved12.data(), d + 12, h.Reserved12.size());
  h.Flags = d[28];
  h.LanguageId = d[29];
  std::memcpy(h.Reserved30.data(), d + 30, h.Reserved30.size());
  return h;
}

void TDbfTableHeader::EncodeTo(uint8_t* d) const {
  d[0] = Version;
  d[1] = Year;
  d[2] = Month;
  d[3] = Day;
  PutLE32(d + 4, RecordCount);
  PutLE16(d + 8, HeaderSize);
  PutLE16(d + 10, RecordSize);
  std::memcpy(d + 12, Reserved12.data(), Reserved12.size());
  d[28] = Flags;
  d[29] = LanguageId;
  std::memcpy(d + 30, Reserved30.data(), Reserved30.size());
}

TDbfFieldDescriptor TDbfFieldDescriptor::DecodeFrom(const uint8_t* d, int version) {
  const TDescriptorLayout at = DescriptorLayout(version);
  TDbfFieldDescriptor desc;
  const char* raw_name = reinterpret_cast<const char*>(d);
  desc.Name.assign(raw_name, strnlen(raw_name, size_t(at.name_bytes)));
  desc.Letter = char(d[at.letter_at]);
  desc.Length = d[at.length_at];
  desc.Decimals = d[at.decimals_at];
  // 'C' keeps its length's high byte where the others keep their decimals.
  if (AnsiUpperChar(desc.Letter) == 'C') {
    desc.Length += desc.Decimals * 256;
    desc.Decimals = 0;
  }
  if (version == kDbfVersionDBase7)
    desc.AutoIncNext = GetLE32(d + kAutoIncNextAt);
  else
    desc.RecordOffset = GetLE32(d + kRecordOffsetAt);
  return desc;
}

void TDbfFieldDescriptor::EncodeTo(uint8_t* d, int version) const {
  const TDescriptorLayout at = DescriptorLayout(version);
  std::memset(d, 0, size_t(Size(version)));
  std::memcpy(d, Name.data(), std::min(Name.size(), size_t(NameLength(version))));
  d[at.letter_at] = uint8_t(Letter);
  int length = Length;
  int decimals = Decimals;
  if (AnsiUpperChar(Letter) == 'C') {
    decimals = length / 256;
    length %= 256;
  }
  d[at.length_at] = uint8_t(length);
  d[at.decimals_at] = uint8_t(decimals);
  if (version == kDbfVersionDBase7)
    PutLE32(d + kAutoIncNextAt, AutoIncNext);
  else
    PutLE32(d + kRecordOffsetAt, RecordOffset);
}

// ---- TDbfGlobals ------------------------------------------------------------------

TDbfGlobals::TDbfGlobals()
    : default_code_page_(GetACP()), default_language_id_(LookupLanguageId(GetACP(), kDefaultLcid, false)) {
  // Whether the converter has a code page is asked when a table needs it:
  // asking for every code page of the drivers would load every converter at
  // the start of every program that opens a table.
  for (int id = 0; id < 256; ++id) {
    const unsigned cp = LanguageDriver(uint8_t(id)).CodePage;
    const auto known = installed_.begin() + installed_count_;
    const auto same = [cp](const TInstalled& i) { return i.code_page == cp; };
    if (cp != 0 && std::find_if(installed_.begin(), known, same) == known)
      installed_[size_t(installed_count_++)] = {cp, TInstalled::kUnasked};
  }
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) name[0] = '\0';
  std::memcpy(computer_name_, name, std::min(std::strlen(name), sizeof computer_name_ - 1));
}

bool TDbfGlobals::IsInstalledCodePage(unsigned code_page) const {
  const std::lock_guard<std::mutex> lock(installed_mutex_);
  const auto known = installed_.begin() + installed_count_;
  const auto found =
      std::find_if(installed_.begin(), known, [code_page](const TInstalled& i) { return i.code_page == code_page; });
  if (found == known) return false;
  if (found->answer == TInstalled::kUnasked)
    found->answer = IsCodePageAvailable(code_page) ? TInstalled::kYes : TInstalled::kNo;
  return found->answer == TInstalled::kYes;
}

TDbfGlobals& DbfGlobals() {
  static TDbfGlobals globals;
  return globals;
}

namespace {

// The code page a table's text is read in: its own when the converter has
// it, else the ANSI code page, so that a table of a missing code page opens
// untranslated as one of an unknown driver does.
unsigned CodePageInUse(unsigned file_code_page) {
  return file_code_page != 0 && DbfGlobals().IsInstalledCodePage(file_code_page) ? file_code_page
                                                                                 : DbfGlobals().DefaultCodePage();
}

}  // namespace

// ---- TDbfFile: open and header ---------------------------------------------------

bool IsOwnProductionIndex(const std::string& table, const std::string& mdx) {
  const auto head = [](const std::string& name, uint8_t* bytes, size_t size) {
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool read = ::pread(fd, bytes, size, 0) == ssize_t(size);
    ::close(fd);
    return read;
  };
  uint8_t table_head[32], mdx_head[20];
  if (!head(table, table_head, sizeof table_head) || !head(mdx, mdx_head, sizeof mdx_head)) return false;
  // FoxPro keeps another meaning in the link byte: there the name alone tells.
  const bool foxpro = (table_head[0] & 0x07) == 2 || (table_head[0] & 0x07) == 5 || table_head[0] == 0x30 ||
                      table_head[0] == 0x31;
  if (!foxpro && table_head[28] == 0) return false;
  // The index file keeps the table's name without its extension, cut to 15 bytes.
  const std::string stem = ExtractFileName(ChangeFileExt(table, "")).substr(0, 15);
  const char* named = reinterpret_cast<const char*>(mdx_head + 4);
  return LowerCase(std::string(named, strnlen(named, 16))) == LowerCase(stem);
}

TDbfFile::TDbfFile() : field_defs_(std::make_unique<TDbfFieldDefs>()) {}

TDbfFile::~TDbfFile() {
  try {
    CloseAll();
  } catch (...) {
    // A destructor must not throw; an unwritten header shows at the next open.
  }
}

int TDbfFile::TableLevel() const {
  switch (version_) {
    case kDbfVersionDBase3: return 3;
    case kDbfVersionFoxPro: return 25;
    case kDbfVersionDBase7: return 7;
    default: return 4;
  }
}

uint32_t TDbfFile::HeaderRecordCount() const {
  return HeaderSize() >= TDbfTableHeader::kSize ? TableHeader().RecordCount : 0;
}

void TDbfFile::SetHeaderRecordCount(uint32_t count) {
  TDbfTableHeader header = TableHeader();
  header.RecordCount = count;
  SetTableHeader(header);
}

void TDbfFile::SetRecordSize(int size) {
  prev_buffer_.assign(size_t(std::max(0, size)), 0);
  TPagedFile::SetRecordSize(size);
}

void TDbfFile::OpenAndReadHeader() {
  open_aborted_ = false;
  // A pack stopped half way is finished or undone before anything is read.
  rekey_after_pack_ = (Mode() == pmReadOnly || Mode() == pmExclusiveOpen || Mode() == pmSharedOpen) && !packing_ &&
                      FinishInterruptedPack(FileName());
  OpenStream();
  if (Mode() == pmMemoryCreate || Mode() == pmExclusiveCreate || Mode() == pmSharedCreate) return;

  SetHeaderSize(TDbfTableHeader::kSize);
  const TDbfTableHeader fixed = TableHeader();
  const uint8_t version_byte = fixed.Version;
  switch (version_byte & 0x07) {
    case 2:
    case 5: version_ = kDbfVersionFoxPro; break;
    case 3: version_ = fixed.LanguageId != 0 ? kDbfVersionDBase4 : kDbfVersionDBase3; break;
    case 4: version_ = kDbfVersionDBase7; break;
    default:
      if (version_byte != 0x30 && version_byte != 0x31) InvalidFile();
      version_ = kDbfVersionFoxPro;
  }

  const int record_size = fixed.RecordSize;
  const int header_size = fixed.HeaderSize;
  if (record_size == 0 || header_size == 0) {
    SetHeaderSize(0);
    SetRecordSize(0);
    open_aborted_ = true;
    return;
  }
  // The header must at least hold its fixed part, one descriptor and the
  // terminator, and the file must hold the header: a header size beyond the
  // file's end would have the whole file taken for an empty header.
  if (header_size < FixedHeaderSize(version_) + DescriptorSize(version_) + 1) InvalidFile();
  if (Stream()->Size() < header_size) InvalidFile();
  SetRecordSize(record_size);
  SetHeaderSize(header_size);
  // The fields are checked against the record size before the count below
  // may be written back: a file refused is left as it was.
  ReadLanguage();
  LoadFieldDescriptors();

  // The file's size decides how many records there are: a table cut short
  // reports its whole records. A read-only open corrects this in memory only.
  // A shared open looks again under the header lock, which every append
  // holds while it raises the count and writes its record: outside it the
  // two differ for a moment, and a header stored then would take another
  // opener's count back and put an end mark on its record.
  const int64_t counted = std::min<int64_t>(RecordCount(), UINT32_MAX);
  if (counted != int64_t(HeaderRecordCount())) {
    SetHeaderRecordCount(uint32_t(counted));
    if (Mode() != pmReadOnly) {
      std::optional<THeaderLock> lock;
      bool store = true;
      if (NeedLocks()) {
        lock.emplace(this);
        ReadSharedCounters();
        const int64_t recounted = std::min<int64_t>(RecordCount(), UINT32_MAX);
        store = recounted != int64_t(HeaderRecordCount());
        SetHeaderRecordCount(uint32_t(recounted));
      }
      if (store) {
        storing_counters_ = true;  // this count is meant, not a stale copy
        StoreHeader();
        storing_counters_ = false;
      }
    }
  }

  FindCompanionFiles();
  if (rekey_after_pack_) {
    if (mdx_file_name_.empty()) {
      TagsRebuilt(FileName());  // no tags wait
    } else if (Mode() == pmReadOnly) {
      // Its tags still name the records before the pack: a read-only open
      // cannot rebuild them and answers without them.
      mdx_file_name_.clear();
    }
  }
  OpenMemoFile(false, 0);
}

void TDbfFile::ReadLanguage() {
  if (version_ != kDbfVersionDBase7) {
    language_id_ = TableHeader().LanguageId;
    file_code_page_ = LanguageDriver(language_id_).CodePage;
  } else {
    const uint8_t* name = Header() + 32;
    unsigned cp = 0;
    const auto text_at = [&](int offset, const char* text) {
      return std::memcmp(name + offset, text, std::strlen(text)) == 0;
    };
    const auto digits_at = [&](int offset) {
      if (!IsDigit(name[offset]) || !IsDigit(name[offset + 1]) || !IsDigit(name[offset + 2])) return 0u;
      return unsigned((name[offset] - '0') * 100 + (name[offset + 1] - '0') * 10 + (name[offset + 2] - '0'));
    };
    if (text_at(0, "DB")) {
      if (text_at(2, "WIN")) {
        cp = 1252;
      } else if (text_at(2, "HEBREW")) {
        cp = 1255;
      } else {
        cp = digits_at(2);
        if (cp != 0 && IsDigit(name[5])) cp = cp * 10 + unsigned(name[5] - '0');
      }
    } else if (text_at(0, "FOX")) {
      cp = text_at(5, "WIN") ? 1252 : digits_at(5);
    }
    file_code_page_ = cp;
    try {
      language_id_ = LanguageIdFromDriverName(LanguageDriverName());
    } catch (const EConvertError&) {
      // An empty or unusual driver name leaves the id unknown; the code page
      // read above still applies.
      language_id_ = 0;
    }
  }
  use_code_page_ = CodePageInUse(file_code_page_);
}

std::string TDbfFile::LanguageDriverName() const {
  if (version_ != kDbfVersionDBase7 || HeaderSize() < 64) return {};
  const char* name = reinterpret_cast<const char*>(Header() + 32);
  return std::string(name, strnlen(name, 32));
}

void TDbfFile::LoadFieldDescriptors() {
  field_defs_->Clear();
  field_defs_->SetDbfVersion(version_);
  field_defs_->SetUseFloatFields(use_float_fields_);
  lock_field_offset_ = lock_field_length_ = lock_user_length_ = 0;
  has_autoinc_ = false;

  const int fixed = FixedHeaderSize(version_);
  const int desc_size = DescriptorSize(version_);
  const int header_size = HeaderSize();
  const int max_count = header_size > fixed ? (header_size - fixed) / desc_size : 0;
  const uint8_t* header = Header();
  if (max_count == 0 || header[fixed] == kDescriptorEnd)
    throw EDbfError(Format(STRING_INVALID_FIELD_COUNT, {0}));

  int offset = 1;
  int count = 0;
  int terminator = -1;
  for (int i = 1; i <= max_count; ++i) {
    const TDbfFieldDescriptor desc = TDbfFieldDescriptor::DecodeFrom(header + fixed + (i - 1) * desc_size, version_);
    const AnsiString name = AnsiUpperCase(desc.Name);
    const char letter = AnsiUpperChar(desc.Letter);
    const int length = desc.Length;
    if (++count > kMaxFieldCount) throw EDbfError(Format(STRING_INVALID_FIELD_COUNT, {count}));
    TDbfFieldDef* def = field_defs_->AddFieldDef();
    def->SetFromDescriptor(name, letter, length, desc.Decimals);
    def->SetOffset(offset);
    if (version_ == kDbfVersionDBase7) {
      def->SetAutoIncNext(desc.AutoIncNext);
      if (letter == '+') has_autoinc_ = true;
    }
    if (name.empty() || def->FieldType() == ftUnknown) InvalidFile();
    // Every field must lie inside the record the header announces.
    if (length > RecordSize() - offset) InvalidFile();
    if (name == kLockFieldName && letter == 'C' && length >= 8) {
      def->SetIsLockField(true);
      lock_field_offset_ = offset;
      lock_field_length_ = length;
      lock_user_length_ = std::min<int>(length - 8, int(DbfGlobals().ComputerName().size()));
    }
    offset += length;
    const int next = fixed + i * desc_size;
    if (next >= header_size || header[next] == kDescriptorEnd) {
      if (next < header_size) terminator = next;
      break;
    }
  }

  // The fields fill the record exactly: a record size that differs from
  // theirs would read every record after the first at the wrong place.
  if (offset != RecordSize()) InvalidFile();

  if (version_ == kDbfVersionDBase7 && terminator >= 0 && header_size - (terminator + 1) >= 16)
    ReadPropertiesBlock(terminator + 1);
}

void TDbfFile::ReadPropertiesBlock(int block_start) {
  // Offsets inside the block are relative to its start; every one is checked
  // against the header's end before a byte is read.
  const uint8_t* block = Header() + block_start;
  const int64_t block_size = HeaderSize() - block_start;
  const int count = GetLE16(block);
  const int64_t first = GetLE16(block + 2);
  for (int i = 0; i < count; ++i) {
    const int64_t at = first + int64_t(i) * 15;
    if (at < 0 || at + 15 > block_size) break;
    const uint8_t* p = block + at;
    const int field_no = GetLE16(p + 2);
    const int kind = p[4];
    const int64_t value_at = GetLE16(p + 11);
    const int64_t value_length = GetLE16(p + 13);
    if (field_no < 1 || field_no > field_defs_->Count()) continue;
    TDbfFieldDef* def = field_defs_->Items(field_no - 1);
    if (kind == 1) {
      def->SetRequired(true);
    } else if (kind >= 2 && kind <= 4) {
      if (value_at + value_length > block_size) continue;
      def->SetPropertyValue(kind, block + value_at, int(value_length));
    }
  }
}

void TDbfFile::FindCompanionFiles() {
  memo_file_name_.clear();
  memo_file_exists_ = false;
  mdx_file_name_.clear();
  TDbfTableHeader header = TableHeader();
  const bool foxpro_fixed = header.Version == 0x30 || header.Version == 0x31;
  if (HasMemoFields()) {
    const std::string expected = ChangeFileExt(FileName(), MemoExtension());
    const std::string found = FileName().empty() ? std::string() : FindFileIgnoringCase(expected);
    memo_file_exists_ = !found.empty();
    memo_file_name_ = found.empty() ? expected : found;
    if (!foxpro_fixed) header.Version |= 0x80;
  } else if (!foxpro_fixed) {
    header.Version &= 0x7F;
  }
  SetTableHeader(header);
  if (version_ != kDbfVersionFoxPro && header.Flags != 0) {
    const std::string found =
        FileName().empty() ? std::string() : FindFileIgnoringCase(ChangeFileExt(FileName(), ".mdx"));
    if (!found.empty()) {
      mdx_file_name_ = found;
    } else {
      bool delete_link = true;
      if (OnIndexMissing) OnIndexMissing(delete_link);
      if (delete_link) {
        header.Flags = 0;
        SetTableHeader(header);
      } else {
        open_aborted_ = true;
      }
    }
  }
}

void TDbfFile::CloseAll() {
  index_files_.clear();
  memo_file_.reset();
  CloseStream();
  prev_buffer_.clear();
  language_id_ = 0;
  memo_file_name_.clear();
  memo_file_exists_ = false;
  mdx_file_name_.clear();
}

void TDbfFile::StoreHeader() {
  if (HeaderSize() == 0) return;
  // In shared mode the record count and the autoincrement counters belong to
  // every opener: a header stored from an older copy would take them back.
  const bool refresh = NeedLocks() && !storing_counters_ && Mode() != pmReadOnly;
  if (refresh) {
    LockRecord(0, true);
    ReadSharedCounters();
  }
  TScopeExit unlock([this, refresh] {
    if (refresh) UnlockRecord(0);
  });
  StampDate();
  TPagedFile::StoreHeader();
  if (Mode() != pmReadOnly) WriteEndMark();
}

void TDbfFile::StampDate() {
  int year = 0, month = 0, day = 0;
  DecodeDate(Date(), year, month, day);
  TDbfTableHeader header = TableHeader();
  header.Year = uint8_t(std::clamp(year - 1900, 0, 255));
  header.Month = uint8_t(month);
  header.Day = uint8_t(day);
  SetTableHeader(header);
}

void TDbfFile::StoreAppendedCount() {
  if (HeaderSize() < 8) return StoreHeader();
  StampDate();
  // The end mark a full store writes would land on the new record's place
  // and be overwritten by the record at once; the next full store (at the
  // latest the close) writes it after the last record.
  if (!NeedLocks()) {
    MarkHeaderModified();
    return;
  }
  // Only the date and the count: the rest of the header stays as it is in
  // the file, whatever others stored there meanwhile.
  constexpr int from = TDbfTableHeader::kDateAt, to = TDbfTableHeader::kRecordCountAt + 4;
  WriteBlock(Header() + from, to - from, from);
}

void TDbfFile::WriteEndMark() {
  // In shared mode this runs under the header lock, as do the appends'
  // record writes: the end of the file stands still meanwhile.
  const uint8_t mark = kEofMark;
  WriteBlock(&mark, 1, RecordOffset(RecordCount() + 1));
}

std::string TDbfFile::MemoExtension() const { return version_ == kDbfVersionFoxPro ? ".fpt" : ".dbt"; }

bool TDbfFile::HasMemoFields() const {
  for (int i = 0; i < field_defs_->Count(); ++i)
    if (field_defs_->Items(i)->IsBlob()) return true;
  return false;
}

TDbfFieldDef* TDbfFile::FindField(const AnsiString& name) const {
  const AnsiString wanted = AnsiUpperCase(name);
  for (int i = 0; i < field_defs_->Count(); ++i)
    if (field_defs_->Items(i)->FieldName() == wanted) return field_defs_->Items(i);
  return nullptr;
}

// ---- Creation ------------------------------------------------------------------------

namespace {

// The stored name of a field: upper case, cut to the level's length.
AnsiString StoredFieldName(const TDbfFieldDef& def, int version) {
  return AnsiUpperCase(def.FieldName()).substr(0, size_t(TDbfFieldDescriptor::NameLength(version)));
}

int64_t NewHeaderSize(int count, int version) {
  return int64_t(count) * DescriptorSize(version) + FixedHeaderSize(version) + 1 +
         (version == kDbfVersionFoxPro ? kFoxProBacklinkSize : 0);
}

}  // namespace

void TDbfFile::CheckNewTable(const TDbfFieldDefs& defs, int version) {
  const int count = defs.Count();
  if (count < 1 || count > kMaxFieldCount) throw EDbfError(Format(STRING_INVALID_FIELD_COUNT, {count}));
  std::set<AnsiString> seen;
  int64_t record_size = 1;
  for (int i = 0; i < count; ++i) {
    const TDbfFieldDef* def = defs.Items(i);
    const AnsiString name = StoredFieldName(*def, version);
    if (name.empty()) throw EDbfError(STRING_EMPTY_FIELD_NAME);
    if (!seen.insert(name).second) throw EDbfError(Format(STRING_DUPLICATE_FIELD_NAME, {name}));
    if (def->NativeFieldType() == '\0')
      throw EDbfError(Format(STRING_INVALID_FIELD_TYPE, {def->FieldName(), int(def->FieldType())}));
    // Only 'C' keeps a length above 255 (in the decimals byte).
    if (def->Size() < 0 || (def->NativeFieldType() != 'C' && (def->Size() > 255 || def->Precision() > 255)))
      throw EDbfError(Format(STRING_FIELD_OVERFLOW, {def->FieldName(), 255}));
    record_size += def->Size();
  }
  if (record_size > kMaxRecordSize) throw EDbfError(Format(STRING_RECORD_TOO_LARGE, {int(record_size)}));
  const int64_t header_size = NewHeaderSize(count, version);
  if (header_size > kMaxHeaderSize) throw EDbfError(Format(STRING_HEADER_TOO_LARGE, {int(header_size)}));
}

void TDbfFile::WriteNewHeader(const TDbfFieldDefs& defs, int memo_block_size) {
  const int version = version_;
  const bool foxpro = version == kDbfVersionFoxPro;
  const int fixed = FixedHeaderSize(version);
  const int desc_size = DescriptorSize(version);
  const int count = defs.Count();
  CheckNewTable(defs, version);
  std::vector<AnsiString> names;
  int64_t record_size = 1;
  for (int i = 0; i < count; ++i) {
    names.push_back(StoredFieldName(*defs.Items(i), version));
    record_size += defs.Items(i)->Size();
  }
  const int64_t header_size = NewHeaderSize(count, version);

  SetRecordCount(0);
  if (language_id_ == 0) language_id_ = DbfGlobals().DefaultLanguageId();
  file_code_page_ = LanguageDriver(language_id_).CodePage;
  use_code_page_ = CodePageInUse(file_code_page_);

  std::vector<uint8_t> header(size_t(header_size), 0);
  TDbfTableHeader fixed_part;
  if (version == kDbfVersionDBase7) {
    fixed_part.Version = 4;
    const std::string driver =
        MakeLanguageDriverName(file_code_page_, LanguageDriver(language_id_).Locale, false).substr(0, 31);
    std::memcpy(header.data() + 32, driver.data(), driver.size());
  } else {
    fixed_part.Version = foxpro ? 2 : 3;
    fixed_part.LanguageId = version == kDbfVersionDBase3 ? 0 : language_id_;
  }

  field_defs_->Clear();
  field_defs_->SetDbfVersion(version);
  field_defs_->SetUseFloatFields(use_float_fields_);
  has_autoinc_ = false;
  lock_field_offset_ = lock_field_length_ = lock_user_length_ = 0;
  int offset = 1;
  for (int i = 0; i < count; ++i) {
    const TDbfFieldDef* def = defs.Items(i);
    const char letter = def->NativeFieldType();
    TDbfFieldDescriptor desc;
    desc.Name = names[size_t(i)];
    desc.Letter = letter;
    desc.Length = def->Size();
    desc.Decimals = def->Precision();
    if (foxpro) desc.RecordOffset = uint32_t(offset);
    desc.EncodeTo(header.data() + fixed + i * desc_size, version);
    if (version == kDbfVersionDBase7 && letter == '+') has_autoinc_ = true;
    if (foxpro && fixed_part.Version == 2 && std::strchr("+0OTY", letter)) fixed_part.Version = 0x30;
    if (foxpro && letter == '+' && fixed_part.Version == 0x30) fixed_part.Version = 0x31;

    TDbfFieldDef* copy = field_defs_->AddFieldDef();
    copy->Assign(def);
    copy->SetFieldName(names[size_t(i)]);
    copy->SetOffset(offset);
    copy->SetAutoIncNext(0);
    offset += def->Size();
  }
  header[size_t(fixed + count * desc_size)] = kDescriptorEnd;

  if (HasMemoFields()) {
    if (version == kDbfVersionDBase3)
      fixed_part.Version |= 0x80;
    else if (foxpro && fixed_part.Version == 2)
      fixed_part.Version = 0xF5;
    else if (!foxpro)
      fixed_part.Version |= 0x88;
  }
  fixed_part.HeaderSize = uint16_t(header_size);
  fixed_part.RecordSize = uint16_t(record_size);
  fixed_part.EncodeTo(header.data());

  SetRecordSize(int(record_size));
  SetHeaderSize(int(header_size));
  std::memcpy(Header(), header.data(), header.size());
  StoreHeader();
  if (HasMemoFields() && !memo_file_) OpenMemoFile(true, memo_block_size);
}

// ---- Field codec ------------------------------------------------------------------------

namespace {

// A decoded value before it is laid out for the requested type.
struct Value {
  enum Kind { kInt, kFloat, kText } kind = kInt;
  int64_t i = 0;
  double f = 0;
  std::string text;
};

template <typename T>
void Put(void* dest, T value) {
  std::memcpy(dest, &value, sizeof value);
}

template <typename T>
T Get(const void* source) {
  T value;
  std::memcpy(&value, source, sizeof value);
  return value;
}

[[noreturn]] void RangeError() { throw ERangeError("Range check error"); }

int64_t CheckedInt(double value) {
  if (!std::isfinite(value) || value >= 9223372036854775808.0 || value < -9223372036854775808.0) RangeError();
  return int64_t(value);
}

// Lays a binary field's value out for the requested type; false when the
// type has no layout for it.
bool PutValue(const Value& v, TFieldType requested, void* dest, int text_capacity) {
  const auto as_int = [&] { return v.kind == Value::kInt ? v.i : CheckedInt(v.f); };
  const auto as_float = [&] { return v.kind == Value::kInt ? double(v.i) : v.f; };
  switch (requested) {
    case ftSmallint: {
      const int64_t n = as_int();
      if (n < INT16_MIN || n > INT16_MAX) RangeError();
      Put(dest, int16_t(n));
      return true;
    }
    case ftWord: {
      const int64_t n = as_int();
      if (n < 0 || n > UINT16_MAX) RangeError();
      Put(dest, uint16_t(n));
      return true;
    }
    case ftInteger:
    case ftAutoInc: {
      const int64_t n = as_int();
      if (n < INT32_MIN || n > INT32_MAX) RangeError();
      Put(dest, int32_t(n));
      return true;
    }
    case ftLargeint: Put(dest, as_int()); return true;
    case ftBoolean: Put(dest, uint16_t(as_float() != 0 ? 1 : 0)); return true;
    case ftFloat:
    case ftCurrency:
    case ftDate:
    case ftTime:
    case ftDateTime: Put(dest, as_float()); return true;
    case ftString:
    case ftFixedChar:
    case ftWideString: {
      std::string text;
      if (v.kind == Value::kInt) {
        text = std::to_string(v.i);
      } else {
        char buf[64];
        const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v.f);
        text.assign(buf, ec == std::errc() ? size_t(end - buf) : 0);
      }
      text = text.substr(0, size_t(std::max(0, text_capacity)));
      std::memcpy(dest, text.c_str(), text.size() + 1);
      return true;
    }
    default: return false;
  }
}

// The calendar date of year, month and day digits; 0.0 when they make no date.
TDateTime DateFromDigits(const char* text, int length, bool with_time) {
  const auto number = [&](int from, int count) {
    if (from + count > length) return int64_t(1);
    return FieldTextToInt64(text + from, count, 1);
  };
  TDateTime date = 0.0;
  if (!TryEncodeDate(int(number(0, 4)), int(number(4, 2)), int(number(6, 2)), date)) return 0.0;
  if (!with_time) return date;
  TDateTime time = 0.0;
  if (!TryEncodeTime(int(number(8, 2)), int(number(10, 2)), int(number(12, 2)), 0, time)) return 0.0;
  return date + time;
}

}  // namespace

bool TDbfFile::DecodeField(const TDbfFieldDef& field, TFieldType requested, void* dest,
                           const uint8_t* record) const {
  const uint8_t* src = record + field.Offset();
  const int size = field.Size();
  const bool foxpro = version_ == kDbfVersionFoxPro;
  const auto all_zero = [&](int count) {
    return size >= count && std::all_of(src, src + count, [](uint8_t b) { return b == 0; });
  };
  Value v;
  switch (field.NativeFieldType()) {
    case '+':
    case 'I':
      if (size < 4) return false;
      if (foxpro) {
        v.i = int32_t(GetLE32(src));
      } else {
        if (all_zero(4)) return false;
        v.i = int32_t(GetBE32(src) ^ 0x80000000u);
      }
      return PutValue(v, requested, dest, size);
    case '@': {
      // Only eight zero bytes mean "no value": a stamp whose low half is
      // zero is an ordinary time of day.
      if (size < 8 || all_zero(8)) return false;
      uint64_t bits = GetBE64(src);
      double stored;
      std::memcpy(&stored, &bits, sizeof stored);
      v.kind = Value::kFloat;
      v.f = date_time_handling_ == dtBDETimeStamp ? BdeStampToDateTime(stored) : stored;
      if (!std::isfinite(v.f)) v.f = 0.0;
      return PutValue(v, requested, dest, size);
    }
    case 'O': {
      if (size < 8 || all_zero(8)) return false;
      uint64_t bits = GetBE64(src);
      bits = (bits & 0x8000000000000000ull) ? bits ^ 0x8000000000000000ull : ~bits;
      v.kind = Value::kFloat;
      std::memcpy(&v.f, &bits, sizeof v.f);
      return PutValue(v, requested, dest, size);
    }
    case 'T': {
      if (size < 8) return false;
      const int32_t day = int32_t(GetLE32(src));
      const int32_t msecs = int32_t(GetLE32(src + 4));
      if (day == 0 && msecs == 0) return false;
      v.kind = Value::kFloat;
      // Any 32-bit day may stand in the file: the Julian day is taken off in
      // 64 bits (below 1 the 32 bits would overflow), and a day outside the
      // calendar reads as 0.0, as a damaged date does.
      const int64_t date = int64_t(day) - kJulianDayDelta;
      v.f = 0.0;
      if (date >= 1 && msecs >= 0 && msecs < MSecsPerDay) {
        try {
          v.f = TimeStampToDateTime(TTimeStamp{msecs, int(date)});
        } catch (const EConvertError&) {
        }
      }
      return PutValue(v, requested, dest, size);
    }
    case 'Y': {
      if (size < 8) return false;
      if (requested == ftBCD) {
        std::memcpy(dest, src, 8);
        return true;
      }
      v.kind = Value::kFloat;
      v.f = double(int64_t(GetLE64(src))) / 10000.0;
      return PutValue(v, requested, dest, size);
    }
    default: break;
  }

  // Text storage: blanks (and the NULs some writers pad with) around the value
  // carry nothing; leading blanks are kept for text fields.
  const char* text = reinterpret_cast<const char*>(src);
  int length = size;
  while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\0')) --length;
  if (requested != ftString) {
    while (length > 0 && (text[0] == ' ' || text[0] == '\0')) {
      ++text;
      --length;
    }
  }
  if (length == 0) {
    if (requested == ftString) static_cast<char*>(dest)[0] = '\0';
    return false;
  }
  switch (requested) {
    case ftString:
      std::memcpy(dest, text, size_t(length));
      static_cast<char*>(dest)[length] = '\0';
      return true;
    case ftSmallint: {
      const int64_t n = FieldTextToInt64(text, length, 0);
      if (n < INT16_MIN || n > INT16_MAX) RangeError();
      Put(dest, int16_t(n));
      return true;
    }
    case ftInteger: {
      const int64_t n = FieldTextToInt64(text, length, 0);
      if (n < INT32_MIN || n > INT32_MAX) RangeError();
      Put(dest, int32_t(n));
      return true;
    }
    case ftBoolean: Put(dest, uint16_t(text[0] == 'T' || text[0] == 't' ? 1 : 0)); return true;
    case ftFloat:
    case ftCurrency: Put(dest, FieldTextToFloat(text, length)); return true;
    case ftLargeint: Put(dest, FieldTextToInt64(text, length, 0)); return true;
    case ftDate:
    case ftDateTime:
      Put(dest, DateFromDigits(text, length, field.FieldType() == ftDateTime && requested == ftDateTime));
      return true;
    default: return true;
  }
}

namespace {

int64_t SourceInt(TFieldType requested, const void* source, const TDbfFieldDef& field) {
  switch (requested) {
    case ftSmallint: return Get<int16_t>(source);
    case ftWord:
    case ftBoolean: return Get<uint16_t>(source);
    case ftInteger:
    case ftAutoInc: return Get<int32_t>(source);
    case ftLargeint: return Get<int64_t>(source);
    default: {
      const double value = Get<double>(source);
      if (!std::isfinite(value)) throw EDbfError(Format(STRING_INVALID_NUMBER, {field.FieldName()}));
      if (value >= 9223372036854775808.0 || value < -9223372036854775808.0)
        throw EDbfError(Format(STRING_FIELD_OVERFLOW, {field.FieldName(), field.Size()}));
      return int64_t(value);
    }
  }
}

double SourceFloat(TFieldType requested, const void* source, const TDbfFieldDef& field) {
  double value;
  switch (requested) {
    case ftSmallint:
    case ftWord:
    case ftBoolean:
    case ftInteger:
    case ftAutoInc:
    case ftLargeint: value = double(SourceInt(requested, source, field)); break;
    default: value = Get<double>(source);
  }
  if (!std::isfinite(value)) throw EDbfError(Format(STRING_INVALID_NUMBER, {field.FieldName()}));
  return value;
}

// Two digits of a number, zero-padded.
void PutDigits(char* dest, int value, int count) {
  for (int i = count - 1; i >= 0; --i) {
    dest[i] = char('0' + value % 10);
    value /= 10;
  }
}

}  // namespace

void TDbfFile::EncodeField(const TDbfFieldDef& field, TFieldType requested, uint8_t* record,
                           const void* source) const {
  uint8_t* dest = record + field.Offset();
  const int size = field.Size();
  const bool foxpro = version_ == kDbfVersionFoxPro;
  const auto overflow = [&] { throw EDbfError(Format(STRING_FIELD_OVERFLOW, {field.FieldName(), size})); };
  // Binary letters: a null is all zero bytes.
  const char letter = field.NativeFieldType();
  int width = 0;
  if (letter == '+' || letter == 'I')
    width = 4;
  else if (letter == '@' || letter == 'O' || letter == 'T' || letter == 'Y')
    width = 8;
  if (width > 0) {
    if (size < width) overflow();
    if (!source) {
      std::memset(dest, 0, size_t(width));
      return;
    }
  }
  switch (letter) {
    case '+':
    case 'I': {
      const int64_t value = SourceInt(requested, source, field);
      if (value < INT32_MIN || value > INT32_MAX) overflow();
      if (foxpro)
        PutLE32(dest, uint32_t(int32_t(value)));
      else
        PutBE32(dest, uint32_t(int32_t(value)) ^ 0x80000000u);
      return;
    }
    case '@': {
      double value = SourceFloat(requested, source, field);
      if (date_time_handling_ == dtBDETimeStamp) {
        // Outside the calendar the stamp would be 0, which reads back as null.
        value = DateTimeToBdeStamp(value);
        if (value == 0.0) overflow();
      }
      uint64_t bits;
      std::memcpy(&bits, &value, sizeof bits);
      PutBE64(dest, bits);
      return;
    }
    case 'O': {
      // Stored so that the bytes sort as the numbers do: non-negative numbers
      // get the sign bit set, negative ones are complemented.
      const double value = SourceFloat(requested, source, field);
      uint64_t bits;
      std::memcpy(&bits, &value, sizeof bits);
      bits = value >= 0 ? bits | 0x8000000000000000ull : ~bits;
      PutBE64(dest, bits);
      return;
    }
    case 'T': {
      const double value = SourceFloat(requested, source, field);
      TTimeStamp stamp;
      try {
        stamp = DateTimeToTimeStamp(value);
      } catch (const EConvertError&) {
        overflow();
      }
      PutLE32(dest, uint32_t(stamp.Date + kJulianDayDelta));
      PutLE32(dest + 4, uint32_t(stamp.Time));
      return;
    }
    case 'Y': {
      if (requested == ftBCD) {
        std::memcpy(dest, source, 8);
        return;
      }
      // Amounts count ten-thousandths: the nearest count, since the product of
      // a decimal amount and 10,000 is often a hair below the whole number.
      const double scaled = std::round(SourceFloat(requested, source, field) * 10000.0);
      if (scaled >= 9223372036854775808.0 || scaled < -9223372036854775808.0) overflow();
      PutLE64(dest, uint64_t(int64_t(scaled)));
      return;
    }
    default: break;
  }

  char* text = reinterpret_cast<char*>(dest);
  if (!source) {
    std::memset(text, ' ', size_t(size));
    return;
  }
  switch (requested) {
    case ftString:
    case ftFixedChar:
    case ftWideString: {
      const char* value = static_cast<const char*>(source);
      const size_t length = strnlen(value, size_t(size));
      std::memcpy(text, value, length);
      std::memset(text + length, ' ', size_t(size) - length);
      return;
    }
    case ftSmallint:
    case ftWord:
    case ftInteger:
    case ftAutoInc:
    case ftLargeint: {
      // Memo fields keep their block number zero-padded.
      const char pad = (requested == ftInteger && field.IsBlob()) ? '0' : ' ';
      if (!IntToFieldText(SourceInt(requested, source, field), size, pad, text)) overflow();
      return;
    }
    case ftBoolean:
      std::memset(text, ' ', size_t(size));
      if (size > 0) text[0] = Get<uint16_t>(source) != 0 ? 'T' : 'F';
      return;
    case ftFloat:
    case ftCurrency: {
      const double value = SourceFloat(requested, source, field);
      if (!FloatToFieldText(value, size, field.Precision(), text)) overflow();
      return;
    }
    case ftDate:
    case ftDateTime: {
      const int needed = requested == ftDate ? 8 : 14;
      if (size < needed) overflow();
      const double value = SourceFloat(requested, source, field);
      int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
      DecodeDateTime(value, year, month, day, hour, minute, second, msec);
      // A value outside the calendar decodes to year 0: refused rather than
      // stored as the digits of no date.
      if (year == 0) overflow();
      std::memset(text, ' ', size_t(size));
      PutDigits(text, year, 4);
      PutDigits(text + 4, month, 2);
      PutDigits(text + 6, day, 2);
      if (requested == ftDateTime) {
        PutDigits(text + 8, hour, 2);
        PutDigits(text + 10, minute, 2);
        PutDigits(text + 12, second, 2);
      }
      return;
    }
    default: return;
  }
}

// ---- Memo file ---------------------------------------------------------------------------

void TDbfFile::OpenMemoFile(bool create, int block_size) {
  memo_file_.reset();
  if (!HasMemoFields()) return;
  if (create) {
    memo_file_name_ = ChangeFileExt(FileName(), MemoExtension());
    memo_file_exists_ = true;
  }
  if (memo_file_exists_)
    memo_file_ = NewMemoFile(version_);
  else
    memo_file_ = std::make_unique<TNullMemoFile>();
  memo_file_->SetDbfVersion(version_);
  memo_file_->SetFileName(memo_file_name_);
  // In the memory modes the memo file keeps its own memory stream.
  memo_file_->SetMode(Mode());
  memo_file_->SetAutoCreate(create);
  memo_file_->SetMemoRecordSize(create ? block_size : 0);
  memo_file_->OpenMemoFile();
}

int64_t TDbfFile::MemoBlock(const TDbfFieldDef& field, const uint8_t* record) const {
  const uint8_t* p = record + field.Offset();
  // Later FoxPro tables keep the block number as a 4-byte integer.
  if (field.Size() == 4) return GetLE32(p);
  const int64_t block = FieldTextToInt64(reinterpret_cast<const char*>(p), field.Size(), 0);
  return block > 0 ? block : 0;
}

void TDbfFile::SetMemoBlock(const TDbfFieldDef& field, uint8_t* record, int64_t block) const {
  uint8_t* p = record + field.Offset();
  if (field.Size() == 4) {
    PutLE32(p, uint32_t(std::max<int64_t>(0, block)));
    return;
  }
  char* text = reinterpret_cast<char*>(p);
  if (block <= 0) {
    std::memset(text, ' ', size_t(field.Size()));
    return;
  }
  if (!IntToFieldText(block, field.Size(), '0', text))
    throw EDbfError(Format(STRING_FIELD_OVERFLOW, {field.FieldName(), field.Size()}));
}

void TDbfFile::AddIndexFile(std::unique_ptr<TDbfIndexKeys> index) {
  // The pack finished at this open renumbered the records after its index
  // files were last written.
  if (rekey_after_pack_ && Mode() != pmReadOnly && !index->RekeyFileName().empty()) {
    index->RekeyAll();
    if (index->RekeyFileName() == mdx_file_name_ && !index->IndexWriteError()) TagsRebuilt(FileName());
  }
  index_files_.push_back(std::move(index));
}

std::unique_ptr<TDbfIndexKeys> TDbfFile::RemoveIndexFile(const TDbfIndexKeys* index) {
  for (auto it = index_files_.begin(); it != index_files_.end(); ++it) {
    if (it->get() != index) continue;
    std::unique_ptr<TDbfIndexKeys> taken = std::move(*it);
    index_files_.erase(it);
    return taken;
  }
  return nullptr;
}

void TDbfFile::EnterExclusiveMode() {
  TPagedFile::EnterExclusiveMode();
  if (!IsSharedMode(Mode()) && memo_file_ && memo_file_->Active()) memo_file_->EnterExclusiveMode();
}

void TDbfFile::LeaveExclusiveMode() {
  if (memo_file_ && memo_file_->Active()) memo_file_->LeaveExclusiveMode();
  TPagedFile::LeaveExclusiveMode();
  // A memo file opened while the table was exclusive (a pack reopens both)
  // follows the table back to its shared mode.
  if (memo_file_ && memo_file_->Active() && Active() && memo_file_->Mode() != Mode()) {
    memo_file_->CloseMemoFile();
    memo_file_->SetMode(Mode());
    memo_file_->OpenMemoFile();
  }
}

// ---- Record operations ----------------------------------------------------------------------

void TDbfFile::InitRecord(uint8_t* record) const {
  std::memset(record, ' ', size_t(RecordSize()));
  for (int i = 0; i < field_defs_->Count(); ++i) {
    const TDbfFieldDef* def = field_defs_->Items(i);
    uint8_t* p = record + def->Offset();
    const char letter = def->NativeFieldType();
    // FoxPro keeps 'T' and 'Y' in binary: blanks there would read as a date
    // and an amount instead of as empty.
    const bool binary = std::strchr("+@IO", letter) != nullptr ||
                        (version_ == kDbfVersionFoxPro && (letter == 'T' || letter == 'Y'));
    if (binary && letter != '\0') std::memset(p, 0, size_t(def->Size()));
    if (def->HasDefault())
      std::memcpy(p, def->DefaultBuf().data(), std::min<size_t>(def->DefaultBuf().size(), size_t(def->Size())));
  }
}

void TDbfFile::StampLockField(uint8_t* record) const {
  if (!HasLockField()) return;
  uint8_t* p = record + lock_field_offset_;
  PutLE16(p, uint16_t(GetLE16(p) + 1));  // wraps past 0xFFFF
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
  DecodeDateTime(Now(), year, month, day, hour, minute, second, msec);
  p[2] = uint8_t(hour);
  p[3] = uint8_t(minute);
  p[4] = uint8_t(second);
  p[5] = uint8_t(std::clamp(year - 1900, 0, 255));
  p[6] = uint8_t(month);
  p[7] = uint8_t(day);
  std::memset(p + 8, ' ', size_t(lock_field_length_ - 8));
  const std::string_view name = DbfGlobals().ComputerName();
  std::memcpy(p + 8, name.data(), std::min<size_t>(name.size(), size_t(lock_user_length_)));
}

void TDbfFile::ApplyAutoIncrement(uint8_t* record) {
  if (!has_autoinc_ || version_ != kDbfVersionDBase7) return;
  const bool shared = NeedLocks();
  if (shared) LockRecord(0, true);
  storing_counters_ = true;
  TScopeExit stored([this, shared] {
    storing_counters_ = false;
    if (shared) UnlockRecord(0);
  });
  // The descriptors' next values: from the file when others may have
  // taken values since it was read.
  if (shared) ReadSharedCounters();
  for (int i = 0; i < field_defs_->Count(); ++i) {
    TDbfFieldDef* def = field_defs_->Items(i);
    if (def->NativeFieldType() != '+' || def->Size() < 4) continue;
    const int64_t at = FixedHeaderSize(version_) + int64_t(DescriptorSize(version_)) * i + TDbfFieldDescriptor::kAutoIncNextAt;
    const uint32_t next = def->AutoIncNext();
    PutBE32(record + def->Offset(), next ^ 0x80000000u);
    def->SetAutoIncNext(next + 1);
    if (at + 4 <= HeaderSize()) PutLE32(Header() + at, next + 1);
  }
  StoreHeader();
}

void TDbfFile::ReadSharedCounters() {
  ReadBlock(Header() + TDbfTableHeader::kRecordCountAt, 4, TDbfTableHeader::kRecordCountAt);
  if (version_ != kDbfVersionDBase7) return;
  for (int i = 0; i < field_defs_->Count(); ++i) {
    TDbfFieldDef* def = field_defs_->Items(i);
    const int64_t at = FixedHeaderSize(version_) + int64_t(DescriptorSize(version_)) * i + TDbfFieldDescriptor::kAutoIncNextAt;
    if (def->NativeFieldType() != '+' || at + 4 > HeaderSize()) continue;
    if (ReadBlock(Header() + at, 4, at) == 4) def->SetAutoIncNext(GetLE32(Header() + at));
  }
}

void TDbfFile::UndoAppend(int64_t n, const uint8_t* record, size_t keyed, bool indexes_damaged) {
  for (size_t i = 0; i < keyed; ++i) {
    TDbfIndexKeys& index = *index_files_[i];
    index.DeleteRecordKey(n, record);
    if (index.IndexWriteError()) indexes_damaged = true;
    index.ClearIndexWriteError();
  }
  ClearWriteError();
  throw EDbfWriteError(indexes_damaged ? STRING_WRITE_INDEX_ERROR : STRING_WRITE_ERROR);
}

int64_t TDbfFile::AppendRecord(uint8_t* record) {
  // The whole append runs under the header lock. Without it a process could
  // take the slot after one that another process has locked but not yet
  // written, see the file grow past its own candidate, give that candidate up
  // and leave a slot that nobody ever fills; and end marks of others could
  // land on records between their writes.
  THeaderLock header_lock(this);

  // The first record number this process can lock: two processes appending
  // at once never write the same slot. The slot's lock goes with every way
  // out of the append, before the header lock.
  // The first candidate follows the count last seen (others can only have
  // added to it); the file's size, asked once the slot is held, tells
  // whether the slot is still free: a slot that another process has filled
  // and released meanwhile is no candidate.
  TRecordLock slot(this);
  int64_t n = KnownRecordCount() + 1;
  for (;;) {
    if (n > int64_t(UINT32_MAX)) throw EDbfError(STRING_RECORD_LOCKED);
    if (!slot.TryLock(n)) {
      ++n;
      continue;
    }
    if (!NeedLocks()) break;
    const int64_t count = RecordCount();
    if (count < n) break;
    slot.Unlock();
    n = count + 1;
  }

  ApplyAutoIncrement(record);
  for (const auto& index : index_files_) {
    int64_t holder = 0;
    AnsiString key;
    if (index->CheckKeyViolation(record, &holder, &key))
      throw EDbfError(Format(STRING_KEY_VIOLATION, {index->IndexName(), holder, TrimRight(key)}));
  }

  size_t keyed = 0;
  try {
    for (; keyed < index_files_.size(); ++keyed) {
      TDbfIndexKeys& index = *index_files_[keyed];
      index.InsertRecordKey(n, record);
      if (index.IndexWriteError()) UndoAppend(n, record, keyed + 1, true);
    }
  } catch (const EDbfWriteError&) {
    throw;
  } catch (...) {
    // A key the index refused: the keys inserted before it go again.
    for (size_t i = 0; i < keyed; ++i) index_files_[i]->DeleteRecordKey(n, record);
    throw;
  }

  // Others' appends count.
  if (NeedLocks()) ReadSharedCounters();
  const uint32_t old_count = HeaderRecordCount();
  storing_counters_ = true;
  // The record goes before the count that holds it: a process stopped in
  // between leaves a record the header does not count yet (an open counts
  // it from the file's size), never a count of a record that is not there.
  StampLockField(record);
  WriteRecordAt(n, record);
  bool failed = WriteError();
  if (!failed) {
    SetHeaderRecordCount(old_count + 1);
    StoreAppendedCount();
    failed = WriteError();
  }
  if (failed) {
    // The count must not stay raised for a record that is not kept; what
    // was written of the record goes again, unless other records follow it.
    ClearWriteError();
    if (Stream()->Size() <= RecordOffset(n + 1)) SetRecordCount(n - 1);
    SetHeaderRecordCount(old_count);
    StoreHeader();
  }
  storing_counters_ = false;
  if (failed) UndoAppend(n, record, keyed, false);
  return n;
}

void TDbfFile::AppendRecords(uint8_t* records, size_t count, size_t* appended) {
  *appended = 0;
  const size_t size = size_t(RecordSize());
  const auto one_by_one = [&] {
    for (; *appended < count; ++*appended) AppendRecord(records + *appended * size);
  };
  // Keys and counters are taken record by record.
  if (count <= 1 || !index_files_.empty() || has_autoinc_) return one_by_one();
  {
    THeaderLock header_lock(this);
    // Under the header lock the end of the file stands still: the batch's
    // slots follow the last record. They are locked as one range, for
    // readers and editors that go by record locks.
    const int64_t n = RecordCount() + 1;
    const int64_t last = n + int64_t(count) - 1;
    if (last > int64_t(UINT32_MAX)) throw EDbfError(STRING_RECORD_LOCKED);
    const bool ranged = NeedLocks() && VirtualLocks();
    if (!ranged || LockSection(kVirtualLockBase - last, int64_t(count), false)) {
      TScopeExit unlock_slots([&] {
        if (ranged) UnlockSection(kVirtualLockBase - last, int64_t(count));
      });
      for (size_t i = 0; i < count; ++i) StampLockField(records + i * size);
      // The records first, then the count that takes them in: stopped
      // between the two, the header still counts whole records only, which
      // any reader can trust (an open counts the rest from the file's size).
      // The header lock is held already: the stores below do not take it.
      TScopedValue<bool> storing(storing_counters_, true, false);
      WriteRecordsAt(n, records, int64_t(count));
      const bool records_failed = WriteError();
      ClearWriteError();
      // A write that fell short (a full disk) keeps the records that fit
      // whole, as appends one by one would have; the part of one goes again.
      // Nothing follows them: the header lock keeps other appenders out.
      int64_t landed = int64_t(count);
      if (records_failed) {
        landed = std::clamp<int64_t>((Stream()->Size() - RecordOffset(n)) / int64_t(size), 0, int64_t(count));
        SetRecordCount(n - 1 + landed);
        ClearWriteError();
      }
      if (landed > 0) {
        if (NeedLocks()) ReadSharedCounters();
        const uint32_t old_count = HeaderRecordCount();
        SetHeaderRecordCount(old_count + uint32_t(landed));
        StoreAppendedCount();
        if (WriteError()) {
          // Not counted, the records are not kept either.
          ClearWriteError();
          SetHeaderRecordCount(old_count);
          StoreHeader();
          SetRecordCount(n - 1);
          ClearWriteError();
          throw EDbfWriteError(STRING_WRITE_ERROR);
        }
      }
      *appended = size_t(landed);
      if (!records_failed) return;
      throw EDbfWriteError(STRING_WRITE_ERROR);
    }
  }
  // Another process holds a slot after the last record (a record lock
  // outside an append): the records find their slots one by one.
  one_by_one();
}

void TDbfFile::LockRecordForEdit(int64_t n, uint8_t* record) {
  if (n < 1 || n > RecordCount()) throw EDbfError(dbtext::kRecordNotFound);
  if (!LockRecord(n, false)) throw EDbfError(STRING_RECORD_LOCKED);
  if (ReadRecordAt(n, record) != RecordSize()) {
    UnlockRecord(n);
    throw EDbfError(dbtext::kRecordNotFound);
  }
  std::memcpy(prev_buffer_.data(), record, size_t(RecordSize()));
  if (!HasLockField()) return;
  StampLockField(record);
  WriteRecordAt(n, record);
  if (WriteError()) {
    ClearWriteError();
    UnlockRecord(n);
    throw EDbfWriteError(STRING_WRITE_ERROR);
  }
}

void TDbfFile::UpdateRecord(int64_t n, const uint8_t* record) {
  // Only a record LockRecordForEdit found is written back.
  assert(n >= 1 && n <= RecordCount() && "an update names a record the table does not hold");
  bool indexes_damaged = false;
  {
    TScopeExit unlock([this, n] { UnlockRecord(n); });
    // An index file whose write failed has put its own bytes back; the
    // others hold the new keys until the record is known to be written.
    std::vector<TDbfIndexKeys*> rekeyed;
    for (const auto& index : index_files_) {
      index->UpdateRecordKey(n, prev_buffer_.data(), record);
      if (index->IndexWriteError())
        indexes_damaged = true;
      else
        rekeyed.push_back(index.get());
      index->ClearIndexWriteError();
    }
    // A record written beside a tag that lacks its new key would be answered
    // wrongly by that tag: the record stays as it was.
    if (!indexes_damaged) WriteRecordAt(n, record);
    if (WriteError() || indexes_damaged) {
      // The file still holds the record as it was: its keys go back to match it.
      const uint8_t* previous = prev_buffer_.data();
      for (TDbfIndexKeys* index : rekeyed) {
        index->UpdateRecordKey(n, record, previous);
        if (previous[0] == '*' && record[0] != '*') index->RemoveDeletedRecordKey(n, previous);
        if (previous[0] != '*' && record[0] == '*') index->RestoreRecalledRecordKey(n, previous);
        if (index->IndexWriteError()) indexes_damaged = true;
        index->ClearIndexWriteError();
      }
    }
  }
  if (WriteError() || indexes_damaged) {
    ClearWriteError();
    throw EDbfWriteError(indexes_damaged ? STRING_WRITE_INDEX_ERROR : STRING_WRITE_ERROR);
  }
}

void TDbfFile::RemoveRecordKeys(int64_t n, const uint8_t* record) {
  for (const auto& index : index_files_) index->RemoveDeletedRecordKey(n, record);
}

void TDbfFile::RestoreRecordKeys(int64_t n, const uint8_t* record) {
  for (const auto& index : index_files_) index->RestoreRecalledRecordKey(n, record);
}

void TDbfFile::SetDeletionMark(int64_t n, uint8_t* record, bool deleted) {
  if (deleted) {
    record[0] = '*';
    RemoveRecordKeys(n, record);
    return;
  }
  if (record[0] != '*') return;
  record[0] = ' ';
  try {
    RestoreRecordKeys(n, record);
  } catch (...) {
    record[0] = '*';
    throw;
  }
}

// ---- Pack ----------------------------------------------------------------------------------

void TDbfFile::RebuildTableFile() {
  if (RecordSize() <= 0) return;
  // The pack works on files beside the table: a table kept in memory has
  // none, and its new files would land in the current folder.
  if (Mode() == pmMemoryCreate || Mode() == pmMemoryOpen) throw EDbfError(STRING_PACK_IN_MEMORY);
  // The temporary exclusive access ends on every way out.
  TExclusiveMode exclusive(this);
  RequireExclusive();
  const bool memo = HasMemoFields();
  CheckPackable(memo);
  TPackFiles files = ChoosePackFiles(memo);
  // From here on every stop, however abrupt, is finished or undone by the
  // next open of the table (see dbf_packmark.cpp).
  TPackMarker marker;
  marker.Create(files);
  WritePackedFiles(files, marker, memo);
  ReplaceWithPackedFiles(files, marker, memo);
}

void TDbfFile::CheckPackable(bool memo) const {
  // The record numbers of index entries are all wrong after a pack: every
  // index file must be able to rebuild its keys, and a production index file
  // linked in the header must be one of them (else it would go stale unseen).
  bool production_open = mdx_file_name_.empty();
  for (const auto& index : index_files_) {
    const std::string name = index->RekeyFileName();
    if (name.empty()) throw EDbfError(STRING_PACK_INDEX_FILES);
    if (name == mdx_file_name_) production_open = true;
  }
  if (!production_open) throw EDbfError(STRING_PACK_INDEX_FILES);
  // Without its memo file the table's memo references cannot be carried over;
  // packing would wipe them all.
  if (memo && !memo_file_exists_) throw EDbfError(Format(STRING_FILE_NOT_FOUND, {memo_file_name_}));
}

TPackFiles TDbfFile::ChoosePackFiles(bool memo) const {
  int counter = 0;
  std::string new_name, new_memo_name;
  do {
    new_name = NextFreeFileName(FileName(), &counter);
    new_memo_name = ChangeFileExt(new_name, MemoExtension());
  } while (memo && FileExists(new_memo_name));
  TPackFiles files{FileName(), new_name, {}, {}, {}};
  if (memo) {
    files.memo = memo_file_name_;
    files.fresh_memo = new_memo_name;
    int keep_counter = 0;
    do {
      files.keep = NextFreeFileName(memo_file_name_, &keep_counter);
    } while (files.keep == new_memo_name);
  }
  // Renames that would be refused at the end are said at once, with their
  // reason, before anything is made: the memo file's second name could not
  // even be removed again.
  if (const int err = CannotReplace(FileName())) CannotReplaceError(FileName(), err);
  if (memo)
    if (const int err = CannotReplace(memo_file_name_)) CannotReplaceError(memo_file_name_, err);
  return files;
}

void TDbfFile::WritePackedFiles(TPackFiles& files, TPackMarker& marker, bool memo) {
  auto fresh = std::make_unique<TDbfFile>();
  TScopeFail undone([&] {
    fresh.reset();
    DeleteFile(files.fresh);
    if (memo) DeleteFile(files.fresh_memo);
    if (!files.keep.empty()) DeleteFile(files.keep);
    marker.Remove();
  });
  fresh->SetFileName(files.fresh);
  fresh->SetMode(pmExclusiveCreate);
  fresh->SetAutoCreate(true);
  fresh->SetUseFloatFields(use_float_fields_);
  fresh->SetDateTimeHandling(date_time_handling_);
  fresh->SetDbfVersion(version_);
  fresh->SetLanguageId(language_id_);
  fresh->OnIndexMissing = OnIndexMissing;
  fresh->OpenAndReadHeader();
  const int block_size = memo && memo_file_->BlockSize() > 0 ? memo_file_->BlockSize() : 512;
  fresh->WriteNewHeader(*field_defs_, block_size);
  CarryHeaderOver(*fresh);
  CopyLiveRecords(*fresh, memo);
  fresh->StoreHeader();
  bool failed = fresh->WriteError();
  if (fresh->MemoFile()) {
    fresh->MemoFile()->CloseMemoFile();
    failed = failed || fresh->MemoFile()->WriteError();
  }
  fresh->CloseAll();
  if (failed || fresh->WriteError()) throw EDbfWriteError(STRING_WRITE_ERROR);
  fresh.reset();
  // Who may read and write the table stays as it was.
  KeepOwnerAndModeOf(FileName(), files.fresh);
  if (memo) KeepOwnerAndModeOf(memo_file_name_, files.fresh_memo);
  if (!SyncPath(files.fresh) || (memo && !SyncPath(files.fresh_memo))) throw EDbfWriteError(STRING_WRITE_ERROR);
  // A second name keeps the old memo file reachable after the new one has
  // replaced it, so that a table that cannot follow gets its own back.
  if (memo && ::link(memo_file_name_.c_str(), files.keep.c_str()) != 0) files.keep.clear();
  marker.SetState(psRenaming);
}

void TDbfFile::CarryHeaderOver(TDbfFile& fresh) const {
  // The production index stays linked: its tags are rebuilt after the pack.
  TDbfTableHeader linked = fresh.TableHeader();
  linked.Flags = TableHeader().Flags;
  fresh.SetTableHeader(linked);
  // The autoincrement counters go on where they were, or packing would
  // hand out numbers that kept records still carry.
  if (version_ == kDbfVersionDBase7) {
    for (int i = 0; i < field_defs_->Count(); ++i) {
      const int64_t at = FixedHeaderSize(version_) + int64_t(DescriptorSize(version_)) * i + TDbfFieldDescriptor::kAutoIncNextAt;
      if (at + 4 > HeaderSize() || at + 4 > fresh.HeaderSize()) continue;
      std::memcpy(fresh.Header() + at, Header() + at, 4);
      fresh.FieldDefs().Items(i)->SetAutoIncNext(GetLE32(Header() + at));
    }
  }
  // FoxPro's area after the descriptors names the table's database container.
  if (version_ == kDbfVersionFoxPro && fresh.HeaderSize() == HeaderSize())
    std::memcpy(fresh.Header() + HeaderSize() - kFoxProBacklinkSize, Header() + HeaderSize() - kFoxProBacklinkSize,
                kFoxProBacklinkSize);
}

void TDbfFile::CopyLiveRecords(TDbfFile& fresh, bool memo) {
  std::vector<uint8_t> record(static_cast<size_t>(RecordSize()));
  std::vector<uint8_t> copy(size_t(fresh.RecordSize()), ' ');
  const size_t copied = std::min(record.size(), copy.size());
  TMemoryStream value;
  const int64_t count = RecordCount();
  int64_t j = 0;
  for (int64_t i = 1; i <= count; ++i) {
    if (ReadRecordAt(i, record.data()) != RecordSize()) throw EDbfError(STRING_INVALID_DBF_FILE);
    if (record[0] == '*') continue;
    std::memcpy(copy.data(), record.data(), copied);
    if (memo) {
      for (int f = 0; f < field_defs_->Count(); ++f) {
        const TDbfFieldDef& def = *field_defs_->Items(f);
        if (!def.IsBlob()) continue;
        int64_t block = 0;
        const int64_t old_block = MemoBlock(def, record.data());
        if (old_block > 0) {
          // A value that cannot be read stops the pack: carried over
          // blank, it would be lost for good with the old memo file.
          try {
            memo_file_->ReadMemo(old_block, value);
          } catch (const EIntOverflow& e) {
            throw EIntOverflow(Format(STRING_MEMO_FIELD_DAMAGED, {def.FieldName(), i, e.Message()}));
          } catch (const EDbfError& e) {
            throw EDbfError(Format(STRING_MEMO_FIELD_DAMAGED, {def.FieldName(), i, e.Message()}));
          }
          fresh.MemoFile()->WriteMemo(block, 0, value);
        }
        // A record without a memo keeps a blank reference.
        fresh.SetMemoBlock(*fresh.FieldDefs().Items(f), copy.data(), block);
      }
    }
    fresh.WriteRecordAt(++j, copy.data());
    if (fresh.WriteError()) throw EDbfWriteError(STRING_WRITE_ERROR);
  }
  fresh.SetHeaderRecordCount(uint32_t(j));
}

void TDbfFile::ReplaceWithPackedFiles(TPackFiles& files, TPackMarker& marker, bool memo) {
  // The new files are complete: they replace the old ones, the memo file
  // first. rename() replaces its target in one step, but the pair cannot be
  // switched at once; the marker says how far it got.
  const std::string table_name = FileName();
  const std::string memo_name = memo_file_name_;
  const std::string& new_name = files.fresh;
  const std::string& new_memo_name = files.fresh_memo;
  // The index files stay open through the reopen below and are then rebuilt
  // from the new records (or, when the table stayed the old one, kept).
  std::vector<std::unique_ptr<TDbfIndexKeys>> indexes = std::move(index_files_);
  index_files_.clear();
  TScopeExit restore([this, &indexes] {
    for (auto& index : indexes) index_files_.push_back(std::move(index));
  });
  CloseAll();
  // The pack's own reopens find the marker held by this process: they pass it by.
  TScopedValue<bool> packing(packing_, true, false);
  const auto discard_new = [&] {
    DeleteFile(new_name);
    if (memo) DeleteFile(new_memo_name);
    if (!files.keep.empty()) DeleteFile(files.keep);
    SyncPath(ExtractFilePath(table_name));
    marker.Remove();
  };
  if (memo && std::rename(new_memo_name.c_str(), memo_name.c_str()) != 0) {
    // Nothing has changed yet.
    const int err = errno;
    discard_new();
    OpenAndReadHeader();
    CannotReplaceError(memo_name, err);
  }
  if (std::rename(new_name.c_str(), table_name.c_str()) != 0) {
    const int err = errno;
    // The old table with the new memo file would read other records' values.
    if (memo && files.keep.empty()) {
      // The old memo file is gone; the marker stays, and an open that can
      // rename the table finishes the pack.
      CannotReplaceError(table_name, err);
    }
    if (memo) {
      marker.SetState(psUndoing);
      if (std::rename(files.keep.c_str(), memo_name.c_str()) != 0) CannotReplaceError(memo_name, errno);
      files.keep.clear();
    }
    discard_new();
    OpenAndReadHeader();
    CannotReplaceError(table_name, err);
  }
  if (!files.keep.empty()) DeleteFile(files.keep);
  SyncPath(ExtractFilePath(table_name));
  OpenAndReadHeader();
  for (const auto& index : indexes) index->RekeyAll();
  marker.Remove();
}

void TDbfFile::CheckIntegrity(std::vector<std::string>& faults) {
  const std::string name = ExtractFileName(FileName());
  // The count as the file holds it: a read-only open corrects it in memory.
  uint8_t stored[4] = {};
  if (ReadBlock(stored, 4, 4) == 4) {
    const int64_t counted = GetLE32(stored), in_file = RecordCount();
    if (counted != in_file)
      faults.push_back(name + ": the header counts " + std::to_string(counted) + " records, the file holds " +
                       std::to_string(in_file));
  }
  std::vector<const TDbfFieldDef*> memo_fields;
  for (int i = 0; i < field_defs_->Count(); ++i) {
    const char letter = field_defs_->Items(i)->NativeFieldType();
    if (letter == 'M' || letter == 'B' || letter == 'G') memo_fields.push_back(field_defs_->Items(i));
  }
  if (!memo_fields.empty() && memo_file_ != nullptr) {
    const std::string memo_name = ExtractFileName(memo_file_name_);
    const int64_t block_size = memo_file_->BlockSize();
    const int64_t memo_size = memo_file_exists_ ? memo_file_->Stream()->Size() : 0;
    // dBase IV and 7 values and FoxPro ones say their length.
    const bool sized = version_ != kDbfVersionDBase3;
    const int64_t count = RecordCount();
    std::vector<uint8_t> record(static_cast<size_t>(RecordSize()));
    for (int64_t n = 1; n <= count; ++n) {
      if (ReadRecordAt(n, record.data()) != RecordSize()) break;
      for (const TDbfFieldDef* field : memo_fields) {
        const int64_t block = MemoBlock(*field, record.data());
        if (block <= 0) continue;
        const std::string what = "record " + std::to_string(n) + " field " + AnsiToUtf8(field->FieldName()) +
                                 ": memo block " + std::to_string(block);
        if (!memo_file_exists_ || block_size <= 0) {
          faults.push_back(name + " " + what + ", but there is no memo file " + memo_name);
          continue;
        }
        const int64_t at = block * block_size;
        if (at + (sized ? 8 : 1) > memo_size) {
          faults.push_back(memo_name + " " + what + " lies past the end of the file");
          continue;
        }
        if (!sized) continue;
        uint8_t head[8];
        if (memo_file_->ReadBlock(head, 8, at) != 8) continue;
        const bool foxpro = version_ == kDbfVersionFoxPro;
        // A value without its block header is the reader's to refuse.
        if (!foxpro && !(head[0] == 0xFF && head[1] == 0xFF && head[2] == 0x08 && head[3] == 0x00)) continue;
        const int64_t length = foxpro ? int64_t(GetBE32(head + 4)) + 8 : int64_t(GetLE32(head + 4));
        if (at + length > memo_size)
          faults.push_back(memo_name + " " + what + " runs past the end of the file");
      }
    }
  }
  for (const auto& index : index_files_) index->CheckIntegrity(faults);
}

void TDbfFile::RekeyIndex(TIndexFile* file, const AnsiString& tag, bool fresh_tag) {
  const AnsiString previous = file->SelectedTag() >= 0 ? file->TagName(file->SelectedTag()) : AnsiString();
  TScopeExit restore([file, &previous] {
    file->SetUpdateMode(true);
    if (!previous.empty()) file->SelectTag(previous);
  });
  if (tag.empty()) {
    file->ClearIndex();
    file->SetUpdateMode(true);
  } else {
    if (!file->SelectTag(tag)) return;
    if (!fresh_tag) file->ClearTag();
    file->SetUpdateMode(false);
  }
  file->AddRecordsFromTable();
}

void TDbfFile::RekeyAll() {
  for (const auto& index : index_files_) index->RekeyAll();
}

bool TDbfFile::SameIndexName(const AnsiString& a, const AnsiString& b) const {
  // A tag is known by the name its file stores (cut and upper-cased with the
  // code page's letters), whatever form the caller gave it in.
  if (ExtractFileExt(a).empty() && ExtractFileExt(b).empty()) {
    const int length = production_index_ != nullptr ? production_index_->TagNameLength() : kTagNameLength;
    return IndexTagName(a, length) == IndexTagName(b, length);
  }
  return SameText(Trim(a), Trim(b));
}

TIndexFile* TDbfFile::FindIndex(const AnsiString& name) const {
  for (const TDbfIndexName& entry : index_names_)
    if (SameIndexName(entry.name, name)) return entry.file;
  return nullptr;
}

void TDbfFile::ForgetIndexName(const AnsiString& name) {
  std::erase_if(index_names_, [&](const TDbfIndexName& e) { return SameIndexName(e.name, name); });
}

bool TDbfFile::NameRefersTo(const TIndexFile* file) const {
  return std::any_of(index_names_.begin(), index_names_.end(), [&](const TDbfIndexName& e) { return e.file == file; });
}

bool TDbfFile::NameRefersToOther(const TIndexFile* file, const AnsiString& name) const {
  return std::any_of(index_names_.begin(), index_names_.end(),
                     [&](const TDbfIndexName& e) { return e.file == file && !SameIndexName(e.name, name); });
}

TPageFileMode TDbfFile::IndexOpenMode(bool create) const {
  switch (table_open_mode_ != pmNone ? table_open_mode_ : Mode()) {
    case pmMemoryCreate:
    case pmMemoryOpen: return pmMemoryCreate;
    case pmSharedCreate:
    case pmSharedOpen: return create ? pmSharedCreate : pmSharedOpen;
    case pmReadOnly: return create ? pmExclusiveCreate : pmReadOnly;
    default: return create ? pmExclusiveCreate : pmExclusiveOpen;
  }
}

namespace {

// Closes the file and opens it again in another mode; its tags are read anew.
void ReopenIndexFile(TIndexFile& file, TPageFileMode mode) {
  file.CloseIndexFile();
  file.SetMode(mode);
  file.OpenIndexFile();
}

}  // namespace

TIndexFile* TDbfFile::OpenIndex(const AnsiString& name, const AnsiString& expression, TIndexOptions options,
                                bool create) {
  if (name.empty()) return nullptr;
  const bool is_tag = ExtractFileExt(name).empty();
  TIndexFile* file = FindIndex(name);
  if (file != nullptr && file == production_index_ && is_tag && create) {
    file->DeleteTag(name);
    ForgetIndexName(name);
    if (OnIndexChanged) OnIndexChanged(file, false);
    file = nullptr;
  }
  const TPageFileMode table_mode = table_open_mode_ != pmNone ? table_open_mode_ : Mode();
  const bool in_memory = table_mode == pmMemoryCreate || table_mode == pmMemoryOpen;
  bool opened_here = false;
  if (file == nullptr) {
    if (is_tag && production_index_ != nullptr) {
      file = production_index_;
    } else {
      // A table in memory gets its index files in memory too: the name only
      // tells the format and never reaches the disk.
      std::string file_name = is_tag ? ChangeFileExt(in_memory ? memory_table_name_ : FileName(), ".mdx")
                                     : std::string(name);
      // Definitions hold their names upper-cased: the file is found in any letter case.
      const std::string found = in_memory ? std::string() : FindFileIgnoringCase(file_name);
      if (!found.empty()) file_name = found;
      // An .mdx file beside a table whose header links none is not the
      // table's (a file left over, or one whose creation was cut short): a
      // new tag gets a new file instead of joining its tags.
      const bool stray = is_tag && create && mdx_file_name_.empty();
      const bool exists = !in_memory && !stray && FileExists(file_name);
      // Only the table's own file is made anew; one the table does not link
      // may hold another table's tags.
      if (stray && !in_memory && FileExists(file_name) && !IsOwnProductionIndex(FileName(), file_name))
        throw EDbfError(Format(STRING_INDEX_NOT_OWN, {Utf8ToAnsi(file_name)}));
      auto owned = std::make_unique<TIndexFile>(this);
      owned->SetFileName(file_name);
      owned->SetMode(IndexOpenMode(!exists));
      owned->SetAutoCreate(create || !expression.empty());
      owned->OnLocaleError = OnLocaleError;
      owned->OpenIndexFile();
      if (owned->Unusable()) return nullptr;
      if (!exists && expression.empty()) {
        owned->CloseIndexFile();
        owned.reset();
        if (!in_memory) DeleteFile(file_name);
        return nullptr;
      }
      file = owned.get();
      AddIndexFile(std::move(owned));
      opened_here = true;
      if (is_tag) {
        production_index_ = file;
        if (!in_memory) mdx_file_name_ = file_name;
      }
    }
    index_names_.push_back({name, file});
  }
  bool build = create;
  TIndexTagDef existing;
  if (!build && is_tag && file == production_index_ && !file->ReadIndexDef(name, &existing)) build = true;
  if (!build) return nullptr;

  // A shared table is exclusive while the tag is built, on every way out.
  TExclusiveMode exclusive(NeedLocks() ? this : nullptr);
  const AnsiString previous = file->SelectedTag() >= 0 ? file->TagName(file->SelectedTag()) : AnsiString();
  // A read-only table holds its index files read-only: the file that takes
  // the tag is written while the table is briefly exclusive and then held
  // read-only again, so that neither a new file stays writable nor an
  // existing one refuses the tag.
  const bool hold_read_only = table_mode == pmReadOnly;
  // A tag that could not be built is simply absent: its name, its entry in
  // the file and (when nothing else needs it) the file go again.
  auto forget_tag = [&] {
    ForgetIndexName(name);
    UndoStep([&] {
      if (file->IsMdx() && file->Active()) file->DeleteTag(name);
    });
    bool usable = true;
    if (hold_read_only && (!file->Active() || file->Mode() != pmReadOnly))
      usable = UndoStep([&] { ReopenIndexFile(*file, pmReadOnly); });
    UndoStep([&] {
      if (usable && !previous.empty()) file->SelectTag(previous);
    });
    // A production file that holds other tags stays; only a file this call
    // opened leaves the table (and the disk).
    const bool orphan = opened_here || !NameRefersTo(file);
    if (orphan || !usable) {
      const bool was_production = file == production_index_;
      UndoStep([&] { DropIndexFile(file, orphan); });
      if (was_production && orphan) UndoStep([&] { LinkProductionIndex(false); });
    }
  };
  try {
    if (hold_read_only && file->Mode() == pmReadOnly) ReopenIndexFile(*file, pmExclusiveOpen);
    file->CreateTag(UpperCase(expression), is_tag ? name : AnsiString(ExtractFileName(name)), options);
    RekeyIndex(file, file->IsMdx() ? name : AnsiString(), true);
    if (file->WriteError()) {
      file->ClearWriteError();
      throw EDbfWriteError(STRING_WRITE_ERROR);
    }
    if (hold_read_only) ReopenIndexFile(*file, pmReadOnly);
    if (!previous.empty()) file->SelectTag(previous);
    if (file == production_index_) LinkProductionIndex(true);
  } catch (const EDbfWriteError&) {
    // A failed write goes further: the disk is full or failing, and whoever
    // asked for the tag must learn it was not made.
    forget_tag();
    throw;
  } catch (...) {
    // Any other failure only leaves the tag absent.
    forget_tag();
  }
  exclusive.Leave();
  return file;
}

bool TDbfFile::CloseIndex(const AnsiString& name) {
  TIndexFile* file = FindIndex(name);
  if (file == nullptr || file == production_index_) return false;
  DropIndexFile(file, false);
  return true;
}

void TDbfFile::DropIndexFile(TIndexFile* file, bool delete_file) {
  if (OnIndexChanged) OnIndexChanged(file, true);
  const std::string name = file->FileName();
  std::erase_if(index_names_, [&](const TDbfIndexName& e) { return e.file == file; });
  if (file == production_index_) {
    production_index_ = nullptr;
    mdx_file_name_.clear();
  }
  std::unique_ptr<TDbfIndexKeys> owned = RemoveIndexFile(file);
  if (owned != nullptr) file->CloseIndexFile();
  owned.reset();
  // A table in memory has its index files in memory too.
  if (delete_file && Mode() != pmMemoryCreate && Mode() != pmMemoryOpen) DeleteFile(name);
}

bool TDbfFile::DeleteIndex(const AnsiString& name) {
  TIndexFile* file = FindIndex(name);
  if (file == nullptr) return false;
  if (file != production_index_ || !ExtractFileExt(name).empty()) {
    DropIndexFile(file, true);
    return true;
  }
  file->DeleteTag(name);
  ForgetIndexName(name);
  if (OnIndexChanged) OnIndexChanged(file, false);
  // The production file goes with its last tag.
  if (!NameRefersTo(file)) {
    DropIndexFile(file, true);
    LinkProductionIndex(false);
  }
  return true;
}

void TDbfFile::LinkProductionIndex(bool linked) {
  // In a FoxPro table the byte announces a compound index of another
  // format, which its readers then look for; the engine never reads it as a
  // link there. A table in memory has no file beside it.
  if (Mode() == pmMemoryCreate || Mode() == pmMemoryOpen || version_ == kDbfVersionFoxPro) return;
  TDbfTableHeader header = TableHeader();
  header.Flags = linked ? 1 : 0;
  SetTableHeader(header);
  StoreHeader();
}
