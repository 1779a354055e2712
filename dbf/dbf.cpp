#include "dbf/dbf.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "dbf/dbf_common.h"
#include "dbf/dbf_cursor.h"
#include "dbf/dbf_parser.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/text.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/sys/files.h"

// ---- default base folder ------------------------------------------------------------

namespace {

std::string ExecutableFolder() {
  char path[4096];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return IncludeBackslash(GetCurrentDir());
  return IncludeBackslash(ExtractFilePath(std::string(path, size_t(n))));
}

TDbfBasePathRoutine base_path_routine = &ExecutableFolder;

}  // namespace

TDbfBasePathRoutine SetDbfBasePathRoutine(TDbfBasePathRoutine routine) {
  const TDbfBasePathRoutine previous = base_path_routine;
  base_path_routine = routine != nullptr ? routine : &ExecutableFolder;
  return previous;
}

std::string DbfDefaultBasePath() { return IncludeBackslash(base_path_routine()); }

// ---- buffer header ------------------------------------------------------------------------

namespace {

constexpr int kBookmarkAt = 0;
constexpr int kPositionAt = 4;
constexpr int kSequenceAt = 5;
// The bookmarks that stand for the first and the last record.
constexpr int32_t kFirstBookmark = 0;
constexpr int32_t kLastBookmark = 0x7FFFFFFF;

int32_t LoadInt32(const uint8_t* p) {
  int32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

void StoreInt32(uint8_t* p, int32_t v) { std::memcpy(p, &v, sizeof v); }

int32_t ToInt32(int64_t n) { return int32_t(std::clamp<int64_t>(n, INT32_MIN, INT32_MAX)); }

bool IsTextType(TFieldType type) { return type == ftString || type == ftFixedChar || type == ftWideString; }

}  // namespace

// ---- construction --------------------------------------------------------------------------

TDbf::TDbf(TComponent* owner) : TDataSet(owner) {
  // The process-wide engine defaults are made with the first table.
  DbfGlobals();
  translation_code_page_ = GetACP();
  SetFilePath("");
}

TDbf::~TDbf() {
  try {
    Deactivate();
  } catch (const std::exception& e) {
    ReportError(e);
  }
}

// ---- properties -----------------------------------------------------------------------------

void TDbf::SetFilePath(const std::string& value) {
  RequireClosed();
  file_path_ = value.empty() ? std::string() : IncludeBackslash(value);
  file_path_full_ = IsAbsolutePath(value) ? IncludeBackslash(value) : ResolvePath(DbfDefaultBasePath(), value);
}

void TDbf::SetTableName(const std::string& value) {
  const std::string folder = ExtractFilePath(value);
  table_name_ = ExtractFileName(value);
  if (!folder.empty()) SetFilePath(folder);
  FieldDefs().SetUpdated(false);
}

void TDbf::SetTableLevel(int value) {
  RequireClosed();
  if (value == 3 || value == 4 || value == 7 || value == 25) table_level_ = value;
}

void TDbf::SetStorage(TDbfStorage value) {
  RequireClosed();
  storage_ = value;
}

void TDbf::SetShowDeleted(bool value) {
  if (value == show_deleted_) return;
  show_deleted_ = value;
  if (QueryActive()) ResyncAfterChange();
}

AnsiString TDbf::Version() const { return Format("%d.%02d", {6, 38}); }

AnsiString TDbf::IndexFieldNames() const {
  // The key expressions live in the index definitions, which come with the
  // index files; physical order has none.
  return {};
}

void TDbf::SetIndexFieldNames(const AnsiString&) { SetIndexName(""); }

void TDbf::SetIndexName(const AnsiString& value) {
  index_name_ = value;
  if (!QueryActive() || dbf_file_ == nullptr) return;
  // The index-name list of the table is empty until the index files are
  // opened with it: every name is unknown and gives physical order.
  int64_t physical = 1;
  SyncBackendToCurrent();
  if (cursor_ != nullptr && cursor_->PhysicalRecNo() > 0) physical = cursor_->PhysicalRecNo();
  index_name_.clear();
  cursor_ = std::make_unique<TDbfCursor>(dbf_file_.get());
  cursor_->SetPhysicalRecNo(physical);
  if (CurrentMode() == dsBrowse) ResyncBuffers({});
}

std::string TDbf::CompleteIndexName(const std::string& name) const {
  if (ExtractFileExt(name).empty()) return name;
  return ResolveFileName(file_path_full_, name);
}

int64_t TDbf::PhysicalRecNo() const { return cursor_ != nullptr ? cursor_->PhysicalRecNo() : 0; }

// ---- field definitions --------------------------------------------------------------------

TPageFileMode TDbf::OpenFileMode() const {
  if (storage_ == stoMemory) return pmMemoryOpen;
  if (read_only_) return pmReadOnly;
  return exclusive_ ? pmExclusiveOpen : pmSharedOpen;
}

std::unique_ptr<TDbfFile> TDbf::NewTableFile(TPageFileMode mode) const {
  auto file = std::make_unique<TDbfFile>();
  if (storage_ == stoMemory) {
    file->SetStream(memory_stream_.get());
  } else {
    file->SetFileName(file_path_full_ + table_name_);
  }
  file->SetMode(mode);
  file->SetAutoCreate(false);
  file->SetUseFloatFields(use_float_fields_);
  file->SetDateTimeHandling(date_time_handling_);
  file->OnIndexMissing = OnIndexMissing;
  return file;
}

void TDbf::FillFieldDefs(TDbfFile& file) {
  loading_defs_ = true;
  TFieldDefs& defs = FieldDefs();
  try {
    defs.BeginUpdate();
    defs.Clear();
    for (int i = 0; i < file.FieldDefs().Count(); ++i) {
      TDbfFieldDef* field = file.FieldDefs().Items(i);
      // A name met before gets 2, 3, ... appended, in the table's list too,
      // so that every field can be told by its name.
      AnsiString name = field->FieldName();
      for (int suffix = 2; defs.PositionOfName(name) >= 0; ++suffix) name = field->FieldName() + std::to_string(suffix);
      field->SetFieldName(name);
      const TFieldType type = field->FieldType();
      const bool sized = type == ftString || type == ftBCD || type == ftBytes;
      TFieldDef* def = defs.AppendNamedDef(name, type, sized ? field->Size() : 0, false);
      if (type == ftBCD) def->SetPrecision(field->Precision());
      TFieldAttributes attributes;
      if (type == ftAutoInc) attributes.Include(faReadonly);
      if (field->IsLockField()) attributes.Include(faHiddenCol);
      if (!attributes.Empty()) def->ChangeAttributes(attributes);
    }
    defs.EndUpdate();
  } catch (...) {
    defs.EndUpdate();
    loading_defs_ = false;
    throw;
  }
  loading_defs_ = false;
}

void TDbf::LoadFieldDefs() {
  if (dbf_file_ != nullptr) {
    FillFieldDefs(*dbf_file_);
    return;
  }
  // Closed: the file is read just for its field list.
  if (storage_ == stoMemory && memory_stream_ == nullptr) return;
  std::unique_ptr<TDbfFile> file = NewTableFile(storage_ == stoMemory ? pmMemoryOpen : pmReadOnly);
  file->OpenAndReadHeader();
  if (file->OpenAborted()) return;
  FillFieldDefs(*file);
}

void TDbf::PrepareFieldDefs() {
  LoadFieldDefs();
  FieldDefs().SetUpdated(true);
}

void TDbf::RefreshDefs() {
  LoadFieldDefs();
  FieldDefs().SetUpdated(true);
}

void TDbf::FieldDefsChanged() {
  if (!loading_defs_) store_defs_ = true;
}

// ---- create -------------------------------------------------------------------------------

void TDbf::CreateTableFile() {
  RequireClosed();
  if (FieldDefs().Count() == 0) DeriveFieldDefs();
  int version = kDbfVersionDBase4;
  switch (table_level_) {
    case 3: version = kDbfVersionDBase3; break;
    case 7: version = kDbfVersionDBase7; break;
    case 25: version = kDbfVersionFoxPro; break;
    default: break;
  }
  TDbfFieldDefs defs;
  defs.SetDbfVersion(version);
  defs.SetUseFloatFields(use_float_fields_);
  for (int i = 0; i < FieldDefs().Count(); ++i) {
    const TFieldDef* def = FieldDefs().DefAt(i);
    TDbfFieldDef* field = defs.AddFieldDef();
    field->SetFieldName(def->Name());
    field->SetFieldType(def->DataType());
    if (def->Size() > 0) {
      field->SetSize(def->Size());
      field->SetPrecision(def->Precision());
    } else {
      field->SetDefaultSize();
    }
  }
  // Checked before anything is written, so that a bad list leaves no file.
  TDbfFile::CheckNewTable(defs, version);

  const std::string file_name = file_path_full_ + table_name_;
  const bool existed = storage_ == stoFile && FileExists(file_name);
  if (storage_ == stoMemory && memory_stream_ == nullptr) memory_stream_ = std::make_unique<TMemoryStream>();
  std::unique_ptr<TDbfFile> file = NewTableFile(storage_ == stoMemory ? pmMemoryCreate : pmExclusiveCreate);
  file->SetDbfVersion(version);
  file->SetLanguageId(language_id_);
  bool opened = false;
  try {
    file->OpenAndReadHeader();
    opened = true;
    file->WriteNewHeader(defs, 512);
    file->CloseAll();
  } catch (...) {
    file.reset();
    // Mended: only a file this call has taken over is removed; a table that
    // another program holds open (the open refused) stays as it was.
    if (storage_ == stoFile && (opened || !existed)) DeleteFile(file_name);
    throw;
  }
}

// ---- open and close -----------------------------------------------------------------------

void TDbf::OpenBackend() {
  dbf_file_.reset();
  cursor_.reset();
  parser_.reset();
  open_complete_ = false;
  edit_locked_ = -1;

  const bool missing = storage_ == stoFile ? !FileExists(file_path_full_ + table_name_) : memory_stream_ == nullptr;
  const bool auto_create = storage_ == stoMemory || open_mode_ == omAutoCreate || open_mode_ == omTemporary;
  if (missing && auto_create) {
    bool do_create = true;
    if (BeforeAutoCreate) BeforeAutoCreate(this, do_create);
    // Declined: the set is open and empty, without a table.
    if (!do_create) return;
    CreateTableFile();
  }

  dbf_file_ = NewTableFile(OpenFileMode());
  dbf_file_->OpenAndReadHeader();
  if (dbf_file_->OpenAborted()) Abort();

  table_level_ = dbf_file_->TableLevel();
  language_id_ = dbf_file_->LanguageId();

  FillFieldDefs(*dbf_file_);
  FieldDefs().SetUpdated(true);
  if (DefaultFields()) BuildDefaultFields();
  AttachFields(true);
  SetBookmarkSize(4);

  DetermineTranslation();
  work_buffer_.assign(size_t(RecordBufferSize() + CalcFieldsSize()), 0);

  if (!Filter().empty()) {
    try {
      CompileFilter(Filter());
    } catch (const EDbfError&) {
      // A filter naming a field this table lacks is dropped without a word.
      parser_.reset();
      TDataSet::ChangeFilter("");
    }
  }

  cursor_ = std::make_unique<TDbfCursor>(dbf_file_.get());
  // Only physical order exists until the index files come: a stored index
  // name is one this table does not have.
  index_name_.clear();
  open_complete_ = true;
  CursorToFirst();
}

void TDbf::CloseBackend() {
  work_buffer_.clear();
  AttachFields(false);
  if (DefaultFields()) DropDefaultFields();
  parser_.reset();
  cursor_.reset();
  edit_locked_ = -1;
  if (dbf_file_ != nullptr) {
    // Mended: an open that failed half way (a file that is no table) must
    // not get a date and an end mark written into it.
    if (!read_only_ && open_complete_ && dbf_file_->Active()) {
      try {
        dbf_file_->StoreHeader();
      } catch (...) {
        dbf_file_.reset();
        open_complete_ = false;
        throw;
      }
    }
    dbf_file_.reset();
  }
  open_complete_ = false;
}

void TDbf::DetermineTranslation() {
  unsigned code_page = dbf_file_->FileCodePage() != 0 ? dbf_file_->FileCodePage() : DbfGlobals().DefaultCodePage();
  for (int round = 0; round < 2; ++round) {
    translation_code_page_ = code_page;
    if (code_page == GetACP()) {
      translation_mode_ = tmAnsi;
    } else if (code_page == GetOEMCP()) {
      translation_mode_ = tmOem;
    } else if (DbfGlobals().IsInstalledCodePage(code_page)) {
      translation_mode_ = tmInstalled;
    } else {
      translation_mode_ = tmNone;
      if (round > 0) return;
      TDbfLanguageAction action = laNoTranslation;
      if (OnLanguageWarning) OnLanguageWarning(this, action);
      switch (action) {
        case laUseOem:
          translation_mode_ = tmOem;
          translation_code_page_ = GetOEMCP();
          return;
        case laUseAnsi:
          translation_mode_ = tmAnsi;
          translation_code_page_ = GetACP();
          return;
        case laUseDefault:
          code_page = DbfGlobals().DefaultCodePage();
          continue;
        default:
          return;
      }
    }
    return;
  }
}

// ---- record buffers ---------------------------------------------------------------------

int TDbf::RecordBufferSize() { return kHeaderSize + (dbf_file_ != nullptr ? dbf_file_->RecordSize() : 0); }

void TDbf::ZeroCalcArea(TRecordBuffer buffer) {
  if (CalcFieldsSize() > 0) std::memset(buffer + RecordBufferSize(), 0, size_t(CalcFieldsSize()));
}

void TDbf::BlankRecordBuffer(TRecordBuffer buffer) {
  std::memset(buffer, 0, kHeaderSize);
  if (dbf_file_ != nullptr) dbf_file_->InitRecord(buffer + kHeaderSize);
}

void TDbf::ReadBookmark(TRecordBuffer buffer, void* destination) {
  std::memcpy(destination, buffer + kBookmarkAt, 4);
}

void TDbf::WriteBookmark(TRecordBuffer buffer, const TBookmark& bookmark) {
  int32_t n = -1;
  if (bookmark.size() == 4) std::memcpy(&n, bookmark.data(), 4);
  StoreInt32(buffer + kBookmarkAt, n);
}

TBufferPosition TDbf::ReadBookmarkFlag(TRecordBuffer buffer) { return TBufferPosition(buffer[kPositionAt] & 3); }

void TDbf::WriteBookmarkFlag(TRecordBuffer buffer, TBufferPosition position) { buffer[kPositionAt] = position; }

bool TDbf::BookmarkExists(const TBookmark& bookmark) {
  if (dbf_file_ == nullptr || bookmark.size() != 4) return false;
  int32_t n;
  std::memcpy(&n, bookmark.data(), 4);
  return n >= 1 && dbf_file_->RecordExists(n);
}

int TDbf::CompareBookmarkValues(const TBookmark& a, const TBookmark& b) {
  const bool has_a = a.size() == 4, has_b = b.size() == 4;
  if (!has_a || !has_b) return has_a == has_b ? 0 : (has_a ? -1 : 1);
  int32_t x, y;
  std::memcpy(&x, a.data(), 4);
  std::memcpy(&y, b.data(), 4);
  return x < y ? -1 : (x > y ? 1 : 0);
}

// ---- positioning ------------------------------------------------------------------------------

void TDbf::CursorToFirst() {
  if (cursor_ != nullptr) cursor_->First();
}

void TDbf::CursorToLast() {
  if (cursor_ != nullptr) cursor_->Last();
}

void TDbf::CursorToBookmark(const TBookmark& bookmark) {
  if (cursor_ == nullptr || bookmark.size() != 4) RaiseDataSetError(dbtext::kRecordNotFound, this);
  int32_t n;
  std::memcpy(&n, bookmark.data(), 4);
  if (n == kFirstBookmark || n == kLastBookmark) {
    // The first or last record the set delivers: found without touching the window.
    if (n == kFirstBookmark)
      cursor_->First();
    else
      cursor_->Last();
    Fetch(work_buffer_.data(), n == kFirstBookmark ? fdNext : fdPrior, true);
    return;
  }
  if (cursor_->PhysicalRecNo() != n) cursor_->SetPhysicalRecNo(n);
}

void TDbf::CursorToBuffer(TRecordBuffer buffer) {
  if (cursor_ == nullptr || ReadBookmarkFlag(buffer) == bpInserted) return;
  cursor_->SetSequentialRecNo(LoadInt32(buffer + kSequenceAt));
}

// ---- fetching -------------------------------------------------------------------------------

bool TDbf::PassesFilter(TRecordBuffer buffer) {
  bool accept = true;
  const TDataSetMode previous = EnterTemporaryMode(dsFilter, buffer);
  try {
    if (!Filter().empty() && parser_ != nullptr)
      accept = parser_->EvaluateRecord(reinterpret_cast<const char*>(buffer + kHeaderSize))[0] != 0;
    if (accept && OnFilterRecord()) OnFilterRecord()(this, accept);
  } catch (...) {
    LeaveTemporaryMode(previous);
    throw;
  }
  LeaveTemporaryMode(previous);
  return accept;
}

TFetchResult TDbf::Fetch(TRecordBuffer buffer, TFetchDirection direction, bool internal) {
  if (cursor_ == nullptr || dbf_file_ == nullptr) return frEOF;
  uint8_t* image = buffer + kHeaderSize;
  const int record_size = dbf_file_->RecordSize();
  TFetchResult result = frOK;
  for (;;) {
    if (direction == fdNext && !cursor_->Next()) {
      result = frEOF;
      break;
    }
    if (direction == fdPrior && !cursor_->Prev()) {
      result = frBOF;
      break;
    }
    const int64_t n = cursor_->PhysicalRecNo();
    // Record 0 is the header; a bookmark holds 31 bits.
    if (n < 1 || n > INT32_MAX || !dbf_file_->RecordExists(n) || dbf_file_->ReadRecordAt(n, image) != record_size) {
      result = frError;
      break;
    }
    bool accept = show_deleted_ || image[0] != '*';
    if (accept && (Filtered() || finding_)) accept = PassesFilter(buffer);
    if (accept) break;
    if (direction == fdCurrent) {
      result = frError;
      break;
    }
  }
  if (result != frOK) {
    StoreInt32(buffer + kBookmarkAt, -1);
  } else if (!internal && !finding_) {
    StoreInt32(buffer + kBookmarkAt, ToInt32(cursor_->PhysicalRecNo()));
    buffer[kPositionAt] = bpCurrent;
    StoreInt32(buffer + kSequenceAt, ToInt32(cursor_->SequentialRecNo()));
    ComputeCalcFields(buffer);
  }
  return result;
}

TFetchResult TDbf::FetchRecord(TRecordBuffer buffer, TFetchDirection direction, bool) {
  return Fetch(buffer, direction, false);
}

// ---- field values -------------------------------------------------------------------------------

const TDbfFieldDef& TDbf::DataFieldDef(const TField* field) const {
  const int column = field->ColumnNumber() - 1;
  if (dbf_file_ == nullptr || column < 0 || column >= dbf_file_->FieldDefs().Count())
    RaiseDataSetError(Format(dbtext::kFieldNotFound, {field->FieldName()}), this);
  return *dbf_file_->FieldDefs().Items(column);
}

bool TDbf::FetchFieldValue(TField* field, void* destination) {
  TRecordBuffer buffer = ValueBuffer();
  if (buffer == nullptr) return false;
  if (field->FieldKind() != fkData) return ReadCalcFieldValue(buffer, field, destination);
  const TDbfFieldDef& def = DataFieldDef(field);
  // Decoded into room for the widest value the codec writes for this field:
  // a persistent field may be declared shorter than the table's field.
  std::vector<uint8_t> value(size_t(std::max(def.Size() + 1, 64)), 0);
  const TFieldType type = field->DataType();
  const bool has_value = dbf_file_->DecodeField(def, type, value.data(), buffer + kHeaderSize);
  if (destination == nullptr) return has_value;
  const size_t size = size_t(std::max(field->ValueByteSize(), 0));
  if (IsTextType(type)) {
    if (size == 0) return has_value;
    const size_t length = std::min(strnlen(reinterpret_cast<const char*>(value.data()), value.size()), size - 1);
    std::memcpy(destination, value.data(), length);
    static_cast<char*>(destination)[length] = '\0';
  } else if (has_value) {
    std::memcpy(destination, value.data(), std::min(size, value.size()));
  }
  return has_value;
}

bool TDbf::FetchFieldValueNative(TField* field, void* destination, bool native) {
  if (!native || destination == nullptr || field->NativeByteSize() == field->ValueByteSize())
    return FetchFieldValue(field, destination);
  std::vector<uint8_t> value(size_t(std::max(field->ValueByteSize(), 1)), 0);
  if (!FetchFieldValue(field, value.data())) return false;
  ConvertValue(field, value.data(), destination, true);
  return true;
}

void TDbf::PutFieldValue(TField* field, const void* source) {
  TRecordBuffer buffer = ValueBuffer();
  if (buffer == nullptr) RaiseDataSetError(dbtext::kNotEditing, this);
  if (field->FieldKind() != fkData) {
    WriteCalcFieldValue(buffer, field, source);
  } else {
    const TDbfFieldDef& def = DataFieldDef(field);
    dbf_file_->EncodeField(def, field->DataType(), buffer + kHeaderSize, source);
  }
  NotifyFieldWritten(field);
}

void TDbf::PutFieldValueNative(TField* field, const void* source, bool native) {
  if (!native || source == nullptr || field->NativeByteSize() == field->ValueByteSize()) {
    PutFieldValue(field, source);
    return;
  }
  std::vector<uint8_t> value(size_t(std::max(field->ValueByteSize(), 1)), 0);
  ConvertValue(field, source, value.data(), false);
  PutFieldValue(field, value.data());
}

int TDbf::TranslateText(const AnsiString& source, AnsiString& destination, bool to_oem) {
  if (OnTranslate) {
    const int length = OnTranslate(this, source, destination, to_oem);
    if (length >= 0 && size_t(length) < destination.size()) destination.resize(size_t(length));
    return int(destination.size());
  }
  if (translation_mode_ == tmAnsi || translation_mode_ == tmNone || translation_code_page_ == GetACP()) {
    destination = source;
  } else if (to_oem) {
    destination = ConvertCodePage(source, GetACP(), translation_code_page_);
  } else {
    destination = ConvertCodePage(source, translation_code_page_, GetACP());
  }
  return int(destination.size());
}

// ---- filter ---------------------------------------------------------------------------------

void TDbf::CompileFilter(const AnsiString& text) {
  if (parser_ == nullptr) {
    parser_ = std::make_unique<TDbfParser>(dbf_file_.get());
    parser_->SetRawStrings(false);
  }
  parser_->SetPartialCompare(!FilterOptions().Contains(foNoPartialCompare));
  parser_->SetIgnoreCase(FilterOptions().Contains(foCaseInsensitive));
  parser_->CompileText(text);
}

void TDbf::ChangeFilter(const AnsiString& value) {
  if (!value.empty() && dbf_file_ != nullptr) {
    const AnsiString previous = Filter();
    try {
      CompileFilter(value);
    } catch (...) {
      // Mended: the parser must keep meaning the filter that stays in force,
      // not the text that failed half compiled.
      try {
        if (previous.empty())
          parser_.reset();
        else
          CompileFilter(previous);
      } catch (...) {
        parser_.reset();
        TDataSet::ChangeFilter("");
      }
      throw;
    }
  }
  TDataSet::ChangeFilter(value);
  if (QueryActive() && Filtered()) ResyncAfterChange();
}

void TDbf::ChangeFiltered(bool value) {
  TDataSet::ChangeFiltered(value);
  if (cursor_ != nullptr && QueryActive()) ResyncAfterChange();
}

void TDbf::ResyncAfterChange() {
  SettlePendingEdit();
  SyncBackendToCurrent();
  ResyncBuffers({});
}

bool TDbf::SeekFilteredRecord(bool restart, bool forward) {
  if (cursor_ == nullptr) return false;
  SettlePendingEdit();
  FireBeforeScroll();
  SyncBackendToCurrent();
  const int64_t saved = cursor_->SequentialRecNo();
  bool found = false;
  finding_ = true;
  try {
    if (restart) {
      if (forward)
        cursor_->First();
      else
        cursor_->Last();
    }
    found = Fetch(work_buffer_.data(), forward ? fdNext : fdPrior, true) == frOK;
  } catch (...) {
    finding_ = false;
    cursor_->SetSequentialRecNo(saved);
    ResyncBuffers({});
    throw;
  }
  finding_ = false;
  if (!found) cursor_->SetSequentialRecNo(saved);
  ResyncBuffers({});
  return found;
}

// ---- record numbers ------------------------------------------------------------------------

int TDbf::CursorRecordCount() {
  return cursor_ != nullptr ? ToInt32(cursor_->SequentialRecordCount()) : 0;
}

int TDbf::GetSequenceNo() {
  TRecordBuffer buffer = CurrentMode() == dsCalcFields ? ValueBuffer() : CurrentBuffer();
  if (buffer == nullptr) return 0;
  return LoadInt32(buffer + kSequenceAt);
}

void TDbf::SetSequenceNo(int n) {
  SettlePendingEdit();
  if (cursor_ == nullptr || n == GetSequenceNo()) return;
  FireBeforeScroll();
  cursor_->SetSequentialRecNo(std::max(n, 0));
  ResyncBuffers({rmCenter});
  FireAfterScroll();
}

bool TDbf::QueryCanModify() {
  // Without a table (auto create declined) there is nothing to write to.
  return !read_only_ && !ComponentState().Contains(csDesigning) && translation_mode_ != tmNone &&
         dbf_file_ != nullptr;
}

// ---- editing hooks ----------------------------------------------------------------------------

void TDbf::PrepareEdit() {
  TRecordBuffer buffer = CurrentBuffer();
  if (buffer == nullptr || cursor_ == nullptr) RaiseDataSetError(dbtext::kRecordNotFound, this);
  const int64_t n = cursor_->PhysicalRecNo();
  dbf_file_->LockRecordForEdit(n, buffer + kHeaderSize);
  edit_locked_ = n;
}

void TDbf::AbandonEdit() {
  if (edit_locked_ > 0 && dbf_file_ != nullptr) dbf_file_->UnlockRecord(edit_locked_);
  edit_locked_ = -1;
}

void TDbf::PositionCursorOn(int64_t physical) {
  if (cursor_ != nullptr) cursor_->SetPhysicalRecNo(physical);
}

void TDbf::StoreRecord() {
  TDataSet::StoreRecord();
  TRecordBuffer buffer = CurrentBuffer();
  if (buffer == nullptr || dbf_file_ == nullptr) RaiseDataSetError(dbtext::kNotEditing, this);
  uint8_t* image = buffer + kHeaderSize;
  if (CurrentMode() == dsEdit) {
    if (edit_locked_ < 1) RaiseDataSetError(dbtext::kRecordNotFound, this);
    const int64_t n = edit_locked_;
    // Kept until the write went through, so that a retry writes the same record.
    dbf_file_->UpdateRecord(n, image);
    edit_locked_ = -1;
    PositionCursorOn(n);
    return;
  }
  // A new record, inserted or appended, goes to the end of the file.
  PositionCursorOn(dbf_file_->AppendRecord(image));
}

void TDbf::RemoveRecord() {
  StartEdit();
  TRecordBuffer buffer = CurrentBuffer();
  uint8_t* image = buffer + kHeaderSize;
  image[0] = '*';
  dbf_file_->RemoveRecordKeys(edit_locked_, image);
  SetModified(true);
  CommitRecord();
}

void TDbf::AppendBuffer(TRecordBuffer buffer, bool) {
  if (dbf_file_ == nullptr) RaiseDataSetError(dbtext::kDataSetClosed, this);
  uint8_t* image = buffer + kHeaderSize;
  PositionCursorOn(dbf_file_->AppendRecord(image));
}

// ---- class descriptor -----------------------------------------------------------------------

const TClassInfo& TDbf::StaticClassInfo() {
  static const TTypeInfo date_time_handling =
      TTypeInfo::Enumeration("TDateTimeHandling", {"dtDateTime", "dtBDETimeStamp"});
  static const TTypeInfo open_mode = TTypeInfo::Enumeration("TDbfOpenMode", {"omNormal", "omAutoCreate", "omTemporary"});
  static const TTypeInfo storage = TTypeInfo::Enumeration("TDbfStorage", {"stoMemory", "stoFile"});
  static const TClassInfo info(kClassOf<TDbf>, "TDbf", &TDataSet::StaticClassInfo(), [](TPublisher<TDbf>& p) {
    p.Ordinal("DateTimeHandling", date_time_handling, &TDbf::DateTimeHandling, &TDbf::SetDateTimeHandling)
        .WithDefault(dtBDETimeStamp);
    p.Boolean("Exclusive", &TDbf::Exclusive, &TDbf::SetExclusive).WithDefault(0);
    p.String("FilePath", [](const TDbf& t) { return AnsiString(t.FilePath()); },
             [](TDbf& t, const AnsiString& v) { t.SetFilePath(v); });
    p.String("FilePathFull", [](const TDbf& t) { return AnsiString(t.FilePathFull()); },
             [](TDbf& t, const AnsiString& v) { t.SetFilePathFull(v); })
        .NotStored();
    p.String("IndexFieldNames", &TDbf::IndexFieldNames, &TDbf::SetIndexFieldNames);
    p.String("IndexName", &TDbf::IndexName, &TDbf::SetIndexName);
    p.Ordinal("OpenMode", open_mode, &TDbf::OpenMode, &TDbf::SetOpenMode).WithDefault(omNormal);
    p.Boolean("ReadOnly", &TDbf::ReadOnly, &TDbf::SetReadOnly).WithDefault(0);
    p.Boolean("ShowDeleted", &TDbf::ShowDeleted, &TDbf::SetShowDeleted).WithDefault(0);
    p.Ordinal("Storage", storage, &TDbf::Storage, &TDbf::SetStorage).WithDefault(stoFile);
    p.Boolean("StoreDefs", &TDbf::StoreDefs, &TDbf::SetStoreDefs).WithDefault(0);
    p.String("TableName", [](const TDbf& t) { return AnsiString(t.TableName()); },
             [](TDbf& t, const AnsiString& v) { t.SetTableName(v); });
    p.Integer("TableLevel", &TDbf::TableLevel, &TDbf::SetTableLevel).WithDefault(4);
    p.Boolean("UseFloatFields", &TDbf::UseFloatFields, &TDbf::SetUseFloatFields).WithDefault(1);
    p.String("Version", &TDbf::Version, &TDbf::SetVersion);
  });
  return info;
}
