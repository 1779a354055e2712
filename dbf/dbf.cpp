#include "dbf/dbf.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>

#include "dbf/dbf_common.h"
#include "dbf/dbf_cursor.h"
#include "dbf/dbf_idxcur.h"
#include "dbf/dbf_idxfile.h"
#include "dbf/dbf_parser.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/text.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/core/variant.h"
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

// ---- blob streams ------------------------------------------------------------------------------

// The memo of one blob field for the record in view. It stays with the field
// while the table is open; a write keeps its bytes here until the post.
class TDbfBlobStream : public TMemoryStream {
 public:
  // The memo block the bytes were read from (0: none) and their stored size.
  int64_t block = 0;
  int64_t memo_size = 0;
  bool loaded = false;
  // Written in this edit and not yet stored.
  bool modified = false;
};

// What OpenBlobStream hands out: a view of the field's slot. Freeing a
// writer tells the data set that the field changed.
class TDbf::BlobHandle : public TStream {
 public:
  BlobHandle(TDbf* owner, TField* field, TDbfBlobStream* slot, TBlobAccessMode mode)
      : owner_(owner), field_(field), slot_(slot), mode_(mode) {}
  ~BlobHandle() override {
    if (mode_ == bmRead) return;
    try {
      owner_->NotifyFieldWritten(field_);
    } catch (const std::exception& e) {
      owner_->ReportError(e);
    }
  }
  int64_t Read(void* buffer, int64_t count) override { return slot_->Read(buffer, count); }
  int64_t Write(const void* buffer, int64_t count) override {
    if (mode_ == bmRead) return 0;
    slot_->modified = true;
    return slot_->Write(buffer, count);
  }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override { return slot_->Seek(offset, origin); }
  int64_t Size() override { return slot_->Size(); }
  void SetSize(int64_t size) override {
    if (mode_ == bmRead) throw EWriteError("Stream write error");
    slot_->modified = true;
    slot_->SetSize(size);
  }

 private:
  TDbf* owner_;
  TField* field_;
  TDbfBlobStream* slot_;
  TBlobAccessMode mode_;
};

// ---- construction --------------------------------------------------------------------------

TDbf::TDbf(TComponent* owner)
    : TDataSet(owner),
      index_defs_(std::make_unique<TDbfIndexDefs>(this)),
      master_link_(std::make_unique<TDbfMasterLink>(this)) {
  // The process-wide engine defaults are made with the first table.
  DbfGlobals();
  translation_code_page_ = GetACP();
  SetFilePath("");
}

TDbf::~TDbf() {
  destroying_ = true;
  try {
    master_link_->ChangeDataSource(nullptr);
  } catch (...) {
    // A destructor must not throw; the link goes with the table all the same.
  }
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
  // The definitions hold upper-case names, IndexName the name as it was set:
  // the definition is looked up by the name, not compared with it.
  const TDbfIndexDef* def = FindIndexDef(index_name_);
  return def != nullptr ? def->SortField() : AnsiString();
}

void TDbf::SetIndexFieldNames(const AnsiString& value) {
  const TDbfIndexDef* def = index_defs_->GetIndexByField(value);
  SetIndexName(def != nullptr ? def->IndexFile() : AnsiString());
}

void TDbf::SetIndexName(const AnsiString& value) {
  index_name_ = value;
  if (dbf_file_ == nullptr || cursor_ == nullptr) return;
  int64_t physical = 1;
  if (QueryActive()) SyncBackendToCurrent();
  if (cursor_->PhysicalRecNo() > 0) physical = cursor_->PhysicalRecNo();
  const std::string name = CompleteIndexName(Trim(value));
  TIndexFile* file = name.empty() ? nullptr : dbf_file_->FindIndex(name);
  // A separate index file has its one key; a production tag is chosen by name.
  if (file != nullptr && !(file->IsMdx() ? file->SelectTag(AnsiString(name)) : file->SelectTag(0))) file = nullptr;
  // The range of the detail belongs to the tag it walks.
  if (index_file_ != nullptr && index_file_ != file && index_file_->RangeActive()) index_file_->CancelRange();
  index_file_ = file;
  if (file != nullptr) {
    cursor_ = std::make_unique<TIndexCursor>(file);
    ApplyMasterRange();
  } else {
    // No error for an unknown name: physical order.
    index_name_.clear();
    cursor_ = std::make_unique<TDbfCursor>(dbf_file_.get());
  }
  cursor_->SetPhysicalRecNo(physical);
  if (QueryActive() && CurrentMode() == dsBrowse) ResyncBuffers({});
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

std::unique_ptr<TDbfFile> TDbf::NewTableFile(TPageFileMode mode) {
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
  file->SetTableOpenMode(OpenFileMode());
  file->SetMemoryTableName(table_name_);
  // The handler asked is the one in force when a file is opened.
  file->OnLocaleError = [this](TLocaleError error, uint32_t& solution) {
    if (OnLocaleError) OnLocaleError(error, solution);
  };
  // The cursor lets go of an index file or tag that goes.
  file->OnIndexChanged = [this](TIndexFile* index, bool leaving) { IndexChanged(index, leaving); };
  return file;
}

void TDbf::FillFieldDefs(TDbfFile& file) {
  TScopedValue<bool> loading(loading_defs_, true, false);
  TFieldDefs& defs = FieldDefs();
  TUpdateScope update(defs);
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
}

void TDbf::LoadFieldDefs() {
  if (dbf_file_ != nullptr) {
    FillFieldDefs(*dbf_file_);
    ImportProductionTags(dbf_file_->ProductionIndex());
    return;
  }
  // Closed: the file is read just for its field list and its production tags.
  if (storage_ == stoMemory && memory_stream_ == nullptr) return;
  std::unique_ptr<TDbfFile> file = NewTableFile(storage_ == stoMemory ? pmMemoryOpen : pmReadOnly);
  file->OpenAndReadHeader();
  if (file->OpenAborted()) return;
  FillFieldDefs(*file);
  // The production file's tags belong to the definitions read here too, so
  // that they show what an open table shows.
  const std::string production = file->ProductionIndexFileName();
  if (production.empty() || storage_ != stoFile) return;
  TIndexFile index(file.get());
  index.SetFileName(production);
  index.SetMode(pmReadOnly);
  index.OnLocaleError = OnLocaleError;
  index.OpenIndexFile();
  if (!index.Unusable()) ImportProductionTags(&index);
  index.CloseIndexFile();
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
  // The production index file of a table that had this name before goes
  // with it: left there, the next tag would be made into it. One that table
  // did not own (another table's of the same name before the extension)
  // stays. Asked before the old header is overwritten.
  const std::string old_mdx = existed ? FindFileIgnoringCase(ChangeFileExt(file_name, ".mdx")) : std::string();
  const bool old_mdx_own = !old_mdx.empty() && IsOwnProductionIndex(file_name, old_mdx);
  if (storage_ == stoMemory && memory_stream_ == nullptr) memory_stream_ = std::make_unique<TMemoryStream>();
  std::unique_ptr<TDbfFile> file = NewTableFile(storage_ == stoMemory ? pmMemoryCreate : pmExclusiveCreate);
  file->SetDbfVersion(version);
  file->SetLanguageId(language_id_);
  bool opened = false, written = false;
  {
    TScopeExit close([&] {
      file.reset();
      // Only a file this call has taken over is removed: a table that another
      // program holds open (the open refused) stays as it was.
      if (!written && storage_ == stoFile && (opened || !existed)) DeleteFile(file_name);
    });
    file->OpenAndReadHeader();
    opened = true;
    file->WriteNewHeader(defs, 512);
    file->CloseAll();
    written = true;
  }
  if (old_mdx_own) DeleteFile(old_mdx);
  // The index definitions are made with the table; index files live beside
  // a table file only.
  if (storage_ != stoFile || index_defs_->Count() == 0) return;
  dbf_file_ = NewTableFile(pmExclusiveOpen);
  bool indexed = false;
  TScopeExit close([&] {
    dbf_file_.reset();
    // A table whose indexes could not be made is not left behind half made.
    if (!indexed) DeleteFile(file_name);
  });
  dbf_file_->OpenAndReadHeader();
  for (int i = 0; i < index_defs_->Count(); ++i) {
    const TDbfIndexDef* def = index_defs_->Items(i);
    OpenIndex(CompleteIndexName(def->IndexFile()), def->SortField(), def->Options(), true);
  }
  indexed = true;
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
  blobs_.clear();
  blobs_.resize(size_t(dbf_file_->FieldDefs().Count()));

  if (!Filter().empty()) {
    try {
      CompileFilter(Filter());
    } catch (const EDbfError&) {
      // A filter naming a field this table lacks is dropped without a word.
      parser_.reset();
      TDataSet::ChangeFilter("");
    }
  }

  OpenProductionIndex();
  ImportProductionTags(dbf_file_->ProductionIndex());
  for (int i = 0; i < index_defs_->Count(); ++i) {
    const TDbfIndexDef* def = index_defs_->Items(i);
    if (def->FromFile()) continue;
    OpenIndex(CompleteIndexName(def->IndexFile()), def->SortField(), def->Options(), false);
  }

  cursor_ = std::make_unique<TDbfCursor>(dbf_file_.get());
  open_complete_ = true;
  SetIndexName(index_name_);
  CursorToFirst();
}

void TDbf::CloseBackend() {
  for (int i = index_defs_->Count() - 1; i >= 0; --i)
    if (index_defs_->Items(i)->FromFile()) index_defs_->Delete(i);
  blobs_.clear();
  work_buffer_.clear();
  AttachFields(false);
  if (DefaultFields()) DropDefaultFields();
  parser_.reset();
  cursor_.reset();
  index_file_ = nullptr;
  edit_locked_ = -1;
  if (dbf_file_ != nullptr) {
    TScopeExit close([this] {
      dbf_file_.reset();
      open_complete_ = false;
    });
    // Only a table opened whole gets its date and end mark stored: a file
    // whose open failed half way may be no table at all.
    if (!read_only_ && open_complete_ && dbf_file_->Active()) dbf_file_->StoreHeader();
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
  // The record is found by its number: an index cursor's sequence numbers
  // are estimates, which would put the cursor on some other record.
  const int32_t physical = LoadInt32(buffer + kBookmarkAt);
  if (index_file_ != nullptr && physical > 0)
    cursor_->SetPhysicalRecNo(physical);
  else
    cursor_->SetSequentialRecNo(LoadInt32(buffer + kSequenceAt));
}

// ---- fetching -------------------------------------------------------------------------------

bool TDbf::PassesFilter(TRecordBuffer buffer) {
  bool accept = true;
  TTemporaryModeScope filtering(*this, dsFilter, buffer);
  if (!Filter().empty() && parser_ != nullptr)
    accept = parser_->EvaluateRecord(reinterpret_cast<const char*>(buffer + kHeaderSize))[0] != 0;
  if (accept && OnFilterRecord()) OnFilterRecord()(this, accept);
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
  if (def.IsBlob()) {
    // The value itself travels through OpenBlobStream; here only whether there is one.
    TDbfBlobStream* slot = blobs_.size() > size_t(field->ColumnNumber() - 1)
                               ? blobs_[size_t(field->ColumnNumber() - 1)].get()
                               : nullptr;
    if (slot != nullptr && slot->modified) return slot->Size() > 0;
    return dbf_file_->MemoBlock(def, buffer + kHeaderSize) > 0;
  }
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
    // The parser keeps meaning the filter that stays in force, not the text
    // that failed half compiled; a filter that no longer compiles either
    // gives way to none.
    TScopeFail keep_previous([&] {
      const bool kept = UndoStep([&] {
        if (previous.empty())
          parser_.reset();
        else
          CompileFilter(previous);
      });
      if (!kept) {
        parser_.reset();
        TDataSet::ChangeFilter("");
      }
    });
    CompileFilter(value);
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
  {
    // A search that finds nothing, or fails, leaves the cursor where it was.
    TScopeExit settle([&] {
      finding_ = false;
      if (!found) cursor_->SetSequentialRecNo(saved);
      ResyncBuffers({});
    });
    finding_ = true;
    if (restart) {
      if (forward)
        cursor_->First();
      else
        cursor_->Last();
    }
    found = Fetch(work_buffer_.data(), forward ? fdNext : fdPrior, true) == frOK;
  }
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
  ResetBlobs();
  dbf_file_->LockRecordForEdit(n, buffer + kHeaderSize);
  edit_locked_ = n;
}

void TDbf::AbandonEdit() {
  ResetBlobs();
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
  WriteModifiedBlobs(image);
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
  const int64_t n = edit_locked_;
  dbf_file_->SetDeletionMark(n, CurrentBuffer() + kHeaderSize, true);
  SetModified(true);
  CommitRecord();
  // The post refilled the window and left the cursor on the last record it
  // read, maybe a window away. The delete's own resync starts from the
  // cursor: on the deleted record it finds the one that followed it, or the
  // new last one.
  PositionCursorOn(n);
  ForgetBackendPosition();
}

void TDbf::RecallRecord() {
  StartEdit();
  try {
    dbf_file_->SetDeletionMark(edit_locked_, CurrentBuffer() + kHeaderSize, false);
  } catch (...) {
    DiscardChanges();
    throw;
  }
  SetModified(true);
  CommitRecord();
}

void TDbf::AppendBuffer(TRecordBuffer buffer, bool) {
  if (dbf_file_ == nullptr) RaiseDataSetError(dbtext::kDataSetClosed, this);
  uint8_t* image = buffer + kHeaderSize;
  PositionCursorOn(dbf_file_->AppendRecord(image));
}

// ---- blobs -----------------------------------------------------------------------------------

void TDbf::ResetBlobs() {
  for (auto& slot : blobs_) {
    if (slot == nullptr) continue;
    slot->modified = false;
    slot->loaded = false;
    slot->block = 0;
  }
}

std::unique_ptr<TStream> TDbf::OpenBlobStream(TField* field, TBlobAccessMode mode) {
  if (mode != bmRead && CurrentMode() != dsEdit && CurrentMode() != dsInsert)
    RaiseDataSetError(dbtext::kNotEditing, this);
  if (dbf_file_ == nullptr || field->FieldKind() != fkData) return nullptr;
  const TDbfFieldDef& def = DataFieldDef(field);
  if (!def.IsBlob() || dbf_file_->MemoFile() == nullptr) return nullptr;
  const size_t column = size_t(field->ColumnNumber() - 1);
  if (column >= blobs_.size()) return nullptr;
  if (blobs_[column] == nullptr) blobs_[column] = std::make_unique<TDbfBlobStream>();
  TDbfBlobStream& slot = *blobs_[column];
  TRecordBuffer buffer = ValueBuffer();
  const int64_t block = buffer != nullptr ? dbf_file_->MemoBlock(def, buffer + kHeaderSize) : 0;
  if (mode == bmWrite) {
    slot.Clear();
    slot.modified = true;
  } else if (!slot.modified && (!slot.loaded || slot.block != block)) {
    // Bytes written in this edit are read back as written: only a stream not
    // written to is loaded from the stored memo (a new record has none).
    slot.Clear();
    slot.memo_size = 0;
    if (block > 0) {
      // A damaged value is the field's error: which field of which record
      // is what the user can act on; the memo file's error names the file.
      const auto field_error = [&](const Exception& e) {
        const int64_t record = LoadInt32(buffer + kBookmarkAt);
        return Format(STRING_MEMO_FIELD_DAMAGED, {field->FieldName(), record, e.Message()});
      };
      try {
        dbf_file_->MemoFile()->ReadMemo(block, slot);
      } catch (const EIntOverflow& e) {
        throw EIntOverflow(field_error(e));
      } catch (const EDbfError& e) {
        throw EDbfError(field_error(e));
      }
      slot.memo_size = slot.Size();
      if (def.NativeFieldType() == 'M' && slot.memo_size > 0) {
        AnsiString text(slot.Bytes()), translated;
        TranslateText(text, translated, false);
        slot.Clear();
        if (!translated.empty()) slot.WriteBuffer(translated.data(), int64_t(translated.size()));
      }
    }
    slot.block = block;
    slot.loaded = true;
  }
  slot.SetPosition(0);
  return std::make_unique<BlobHandle>(this, field, &slot, mode);
}

void TDbf::WriteModifiedBlobs(uint8_t* image) {
  for (size_t i = 0; i < blobs_.size(); ++i) {
    TDbfBlobStream* slot = blobs_[i].get();
    if (slot == nullptr || !slot->modified) continue;
    const TDbfFieldDef& def = *dbf_file_->FieldDefs().Items(int(i));
    AnsiString bytes(slot->Bytes());
    if (def.NativeFieldType() == 'M' && !bytes.empty()) {
      AnsiString translated;
      TranslateText(bytes, translated, true);
      bytes = translated;
    }
    TMemoryStream value;
    if (!bytes.empty()) value.WriteBuffer(bytes.data(), int64_t(bytes.size()));
    value.SetPosition(0);
    int64_t block = dbf_file_->MemoBlock(def, image);
    // The old size is only known for the memo the slot was read from; an
    // unknown one lets the memo file reuse no more than the first block.
    const int64_t old_size = slot->loaded && slot->block == block ? slot->memo_size : 0;
    dbf_file_->MemoFile()->WriteMemo(block, old_size, value);
    dbf_file_->SetMemoBlock(def, image, block);
    slot->block = block;
    slot->memo_size = int64_t(bytes.size());
    slot->loaded = true;
    slot->modified = false;
  }
}

// ---- locate -----------------------------------------------------------------------------------

bool TDbf::FindByValues(const AnsiString& field_names, const Variant& values, TFindOptions options) {
  SettlePendingEdit();
  // The index answers only an exact, case-sensitive search, the one it
  // answers as a scan would; a nearest key need not be the first row that
  // begins with the text (letter case sorts apart), so those searches scan
  // in index order.
  const bool exact = !options.Contains(fiPartialKey) && !options.Contains(fiCaseInsensitive);
  if (index_file_ == nullptr || index_file_->Expression() != field_names || values.IsArray() || !exact)
    return TDataSet::FindByValues(field_names, values, options);
  FireBeforeScroll();
  const TBookmark start = TakeBookmark();
  bool found = false;
  {
    TMuteScope muted(*this);
    found = SearchKeyValue(values, false);
    if (!found && !start.empty()) ReturnToBookmark(start);
  }
  if (found) FireAfterScroll();
  return found;
}

bool TDbf::SearchKeyValue(const Variant& value, bool nearest) {
  if (index_file_ == nullptr || cursor_ == nullptr) return false;
  const auto* index_cursor = static_cast<TIndexCursor*>(cursor_.get());
  const TSearchKeyType type = nearest ? stGreaterEqual : stEqual;
  if (index_file_->KeyType() != 'C') return SearchKey(index_cursor->ValueToKey(value), type);
  // Character keys are stored in the table's code page: the program's text
  // is translated as a field value is before it is written.
  AnsiString text;
  TranslateText(value.AsString(), text, true);
  return SearchKey(index_cursor->ValueToKey(Variant(text)), type);
}

bool TDbf::SearchKey(const std::vector<uint8_t>& key, TSearchKeyType type) {
  SettlePendingEdit();
  if (index_file_ == nullptr || int(key.size()) < index_file_->KeyLength()) return false;
  if (!index_file_->SearchKey(key.data(), type)) return false;
  ResyncBuffers({});
  const uint8_t* reached = index_file_->CurrentKey();
  if (reached == nullptr) return false;
  const int order = index_file_->CompareKeys(reached, key.data());
  return type == stEqual ? order == 0 : order >= 0;
}

// ---- index management -------------------------------------------------------------------------

bool TDbf::SameIndexName(const AnsiString& a, const AnsiString& b) const {
  // A tag is known by the name its file stores (cut and upper-cased with the
  // code page's letters), whatever form the caller gave it in.
  if (dbf_file_ != nullptr) return dbf_file_->SameIndexName(a, b);
  if (ExtractFileExt(a).empty() && ExtractFileExt(b).empty())
    return IndexTagName(a, kTagNameLength) == IndexTagName(b, kTagNameLength);
  return SameText(Trim(a), Trim(b));
}

TDbfIndexDef* TDbf::FindIndexDef(const AnsiString& name) const {
  for (int i = 0; i < index_defs_->Count(); ++i)
    if (SameIndexName(index_defs_->Items(i)->IndexFile(), name)) return index_defs_->Items(i);
  return nullptr;
}

std::vector<AnsiString> TDbf::IndexNames() const {
  std::vector<AnsiString> names;
  if (dbf_file_ == nullptr) return names;
  for (const TDbfIndexName& entry : dbf_file_->IndexNames()) names.push_back(entry.name);
  return names;
}

void TDbf::ReturnToPhysicalOrder() {
  // The cursor must not outlive the file it walks.
  index_file_ = nullptr;
  index_name_.clear();
  const int64_t physical = cursor_ != nullptr ? std::max<int64_t>(cursor_->PhysicalRecNo(), 1) : 1;
  cursor_ = std::make_unique<TDbfCursor>(dbf_file_.get());
  cursor_->SetPhysicalRecNo(physical);
}

void TDbf::IndexChanged(TIndexFile* file, bool leaving) {
  if (file != index_file_) return;
  if (leaving || !index_file_->SelectTag(index_name_)) ReturnToPhysicalOrder();
}

void TDbf::OpenProductionIndex() {
  const std::string name = dbf_file_->ProductionIndexFileName();
  if (name.empty() || storage_ == stoMemory) return;
  auto file = std::make_unique<TIndexFile>(dbf_file_.get());
  file->SetFileName(name);
  file->SetMode(dbf_file_->IndexOpenMode(false));
  file->OnLocaleError = dbf_file_->OnLocaleError;
  file->OpenIndexFile();
  if (file->Unusable()) return;
  TIndexFile* raw = file.get();
  dbf_file_->AddIndexFile(std::move(file));
  dbf_file_->SetProductionIndex(raw);
  for (int i = 0; i < raw->TagCount(); ++i) dbf_file_->IndexNames().push_back({Trim(raw->TagName(i)), raw});
}

void TDbf::ImportProductionTags(TIndexFile* production) {
  if (production == nullptr) return;
  for (int i = 0; i < production->TagCount(); ++i) {
    const AnsiString tag = Trim(production->TagName(i));
    if (FindIndexDef(tag) != nullptr) continue;
    TIndexTagDef read;
    if (!production->ReadIndexDef(tag, &read)) continue;
    TDbfIndexDef* def = index_defs_->Add();
    def->SetIndexFile(tag);
    def->SetSortField(read.SortField);
    def->SetOptions(read.Options);
    def->SetFromFile(true);
  }
}

void TDbf::OpenIndex(const AnsiString& name, const AnsiString& expression, TIndexOptions options, bool create) {
  if (dbf_file_ == nullptr) return;
  const int64_t physical = cursor_ != nullptr ? cursor_->PhysicalRecNo() : 0;
  TIndexFile* built = dbf_file_->OpenIndex(name, expression, options, create);
  // A file opened again has lost its position.
  if (built != nullptr && built == index_file_ && cursor_ != nullptr && physical > 0) cursor_->SetPhysicalRecNo(physical);
}

void TDbf::CreateIndexTag(const AnsiString& name, const AnsiString& expression, TIndexOptions options) {
  RequireOpen();
  SettlePendingEdit();
  OpenIndex(CompleteIndexName(Trim(name)), expression, options, true);
  ImportProductionTags(dbf_file_->ProductionIndex());
}

void TDbf::RemoveIndex(const AnsiString& name) {
  RequireOpen();
  SettlePendingEdit();
  const AnsiString complete = CompleteIndexName(Trim(name));
  const bool was_current = index_file_ != nullptr;
  TIndexFile* file = dbf_file_->FindIndex(complete);
  if (file == nullptr) return;
  // The cursor must not outlive what it walks: a file that goes, or its tag.
  if (file == index_file_) {
    const bool tag = file == dbf_file_->ProductionIndex() && ExtractFileExt(complete).empty();
    if (!tag || SameIndexName(complete, index_name_) || !dbf_file_->NameRefersToOther(file, complete))
      ReturnToPhysicalOrder();
  }
  dbf_file_->DeleteIndex(complete);
  if (index_file_ != nullptr) index_file_->SelectTag(index_name_);
  for (int i = index_defs_->Count() - 1; i >= 0; --i)
    if (index_defs_->Items(i)->FromFile() && SameIndexName(index_defs_->Items(i)->IndexFile(), complete))
      index_defs_->Delete(i);
  if (was_current && index_file_ == nullptr && QueryActive() && CurrentMode() == dsBrowse) ResyncBuffers({});
}

void TDbf::ReleaseIndexFile(const AnsiString& name) {
  RequireOpen();
  // Always a file name: a tag name resolves to a file that is not in the list.
  const std::string file_name = ResolveFileName(file_path_full_, Trim(name));
  const bool was_current = index_file_ != nullptr;
  // The cursor must not outlive the file it walks.
  if (index_file_ != nullptr && index_file_ == dbf_file_->FindIndex(file_name) &&
      index_file_ != dbf_file_->ProductionIndex())
    ReturnToPhysicalOrder();
  dbf_file_->CloseIndex(file_name);
  if (was_current && index_file_ == nullptr && QueryActive() && CurrentMode() == dsBrowse) ResyncBuffers({});
}

void TDbf::RebuildAllIndexes() {
  SettlePendingEdit();
  if (dbf_file_ == nullptr) return;
  // The cursor may stand anywhere in the window the data set read ahead:
  // the record to come back to is the current one.
  if (QueryActive() && cursor_ != nullptr && !HasNoRecords()) SyncBackendToCurrent();
  const int64_t physical = cursor_ != nullptr ? cursor_->PhysicalRecNo() : 0;
  dbf_file_->RekeyAll();
  if (cursor_ != nullptr && physical > 0) cursor_->SetPhysicalRecNo(physical);
  if (QueryActive() && CurrentMode() == dsBrowse) ResyncBuffers({});
}

// ---- pack and counting -------------------------------------------------------------------------

void TDbf::PackRecords() {
  SettlePendingEdit();
  if (dbf_file_ == nullptr) return;
  const AnsiString saved = index_name_;
  SetIndexName("");
  ResetBlobs();
  dbf_file_->RebuildTableFile();
  // The table's field list was read anew: the filter must not point at the old one.
  if (parser_ != nullptr && !Filter().empty()) CompileFilter(Filter());
  cursor_->First();
  cursor_->Next();
  SetIndexName(saved);
}

int TDbf::CountVisibleRecords() {
  if (cursor_ == nullptr) return 0;
  // In index order the sequence number is an estimate: the record is found again by number.
  const int64_t physical = cursor_->PhysicalRecNo();
  const int64_t sequence = cursor_->SequentialRecNo();
  int count = 0;
  {
    TScopeExit restore([&] {
      if (index_file_ != nullptr && physical > 0)
        cursor_->SetPhysicalRecNo(physical);
      else
        cursor_->SetSequentialRecNo(sequence);
    });
    cursor_->First();
    while (Fetch(work_buffer_.data(), fdNext, true) == frOK) ++count;
  }
  return count;
}

// ---- master-detail ----------------------------------------------------------------------------

TDbfMasterLink::TDbfMasterLink(TDbf* detail) : detail_(detail) {}

TDbfMasterLink::~TDbfMasterLink() = default;

void TDbfMasterLink::SetFieldNames(const AnsiString& value) {
  if (value == field_names_) return;
  field_names_ = value;
  ActivationNotice();
}

void TDbfMasterLink::ActivationNotice() {
  parser_.reset();
  valid_ = false;
  if (Active() && !field_names_.empty()) {
    // The master must be a table: the expression reads its record images.
    auto* master = dynamic_cast<TDbf*>(QueryDataSet());
    if (master != nullptr && master->DbfFile() != nullptr) {
      auto parser = std::make_unique<TDbfParser>(master->DbfFile());
      parser->CompileText(field_names_);
      parser_ = std::move(parser);
      valid_ = true;
    }
  }
  if (detail_->destroying_ || !detail_->QueryActive()) return;
  if (Active())
    detail_->MasterChanged();
  else
    detail_->MasterDisabled();
}

void TDbfMasterLink::BrowseModeNotice() {
  if (detail_->QueryActive()) detail_->SettlePendingEdit();
}

void TDbfMasterLink::LayoutNotice() { ActivationNotice(); }

void TDbfMasterLink::RecordNotice(TField*) {
  if (DataSource() != nullptr && DataSource()->State() != dsSetKey && detail_->QueryActive())
    detail_->MasterChanged();
}

std::vector<uint8_t> TDbfMasterLink::MasterKey(TIndexFile& index_file) {
  auto* master = dynamic_cast<TDbf*>(QueryDataSet());
  if (!valid_ || master == nullptr || master->CurrentBuffer() == nullptr || index_file.KeyLength() <= 0) return {};
  const char* result =
      parser_->EvaluateRecord(reinterpret_cast<const char*>(master->CurrentBuffer() + TDbf::kHeaderSize));
  if (result == nullptr) return {};
  std::vector<uint8_t> key(size_t(index_file.KeyLength()), 0);
  const TExprKind kind = parser_->GetResultKind();
  if (kind == ekString) {
    const size_t length = strnlen(result, size_t(std::max(parser_->ResultLength(), index_file.KeyLength())));
    index_file.TextToKey(AnsiString(result, length), key.data());
  } else if (kind == ekInteger) {
    int32_t v = 0;
    std::memcpy(&v, result, sizeof v);
    index_file.NumberToKey(double(v), key.data());
  } else if (kind == ekLargeInt) {
    int64_t v = 0;
    std::memcpy(&v, result, sizeof v);
    index_file.NumberToKey(double(v), key.data());
  } else if (kind == ekFloat) {
    double v = 0;
    std::memcpy(&v, result, sizeof v);
    index_file.NumberToKey(v, key.data());
  } else {
    return {};
  }
  return key;
}

TDataSource* TDbf::MasterSource() const { return master_link_->DataSource(); }

void TDbf::SetMasterSource(TDataSource* value) {
  // The chain of masters from the new source must not come back to this
  // table, however long it is (bounded, in case a cycle exists already).
  TDataSet* d = value != nullptr ? value->DataSet() : nullptr;
  for (int steps = 0; d != nullptr && steps < 1000; ++steps) {
    if (d == this) RaiseDataSetError(dbtext::kCircularDataLink, this);
    TDataSource* next = d->GetMasterSource();
    d = next != nullptr ? next->DataSet() : nullptr;
  }
  master_link_->ChangeDataSource(value);
}

const AnsiString& TDbf::MasterFields() const { return master_link_->FieldNames(); }

void TDbf::SetMasterFields(const AnsiString& value) { master_link_->SetFieldNames(value); }

void TDbf::ApplyMasterRange() {
  if (index_file_ == nullptr || !master_link_->Active() || !master_link_->Valid()) return;
  const std::vector<uint8_t> key = master_link_->MasterKey(*index_file_);
  if (key.empty()) return;
  index_file_->SetRange(key.data(), key.data());
}

void TDbf::MasterChanged() {
  SettlePendingEdit();
  if (index_file_ == nullptr) return;
  if (!master_link_->Active() || !master_link_->Valid()) {
    // A cleared expression lifts the range: the last master's rows would
    // otherwise stay the only ones shown.
    MasterDisabled();
    return;
  }
  ApplyMasterRange();
  if (QueryActive()) GoFirst();
}

void TDbf::MasterDisabled() {
  if (index_file_ == nullptr) return;
  index_file_->CancelRange();
  if (QueryActive() && CurrentMode() == dsBrowse) ResyncAfterChange();
}

// ---- index definitions ------------------------------------------------------------------------

TDbfIndexDef::TDbfIndexDef(TCollection* collection) : TCollectionItem(collection) {}

void TDbfIndexDef::SetIndexFile(const AnsiString& value) {
  // Only the name is upper-cased (files are found in any letter case); a
  // folder keeps its own spelling, or it could not be found.
  const AnsiString name = Trim(value);
  const size_t folder = name.find_last_of('/');
  index_file_ = folder == AnsiString::npos ? UpperCase(name) : name.substr(0, folder + 1) + UpperCase(name.substr(folder + 1));
}

void TDbfIndexDef::SetSortField(const AnsiString& value) { sort_field_ = UpperCase(Trim(value)); }

void TDbfIndexDef::Assign(const TPersistent* source) {
  if (const auto* def = dynamic_cast<const TDbfIndexDef*>(source)) {
    index_file_ = def->index_file_;
    sort_field_ = def->sort_field_;
    options_ = def->options_;
    from_file_ = def->from_file_;
    return;
  }
  TCollectionItem::Assign(source);
}

TDbfIndexDefs::TDbfIndexDefs(TPersistent* owner)
    : TOwnedCollection(owner, [](TCollection* c) { return new TDbfIndexDef(c); }) {}

TDbfIndexDef* TDbfIndexDefs::GetIndexByName(const AnsiString& name) const {
  for (int i = 0; i < Count(); ++i)
    if (Items(i)->IndexFile() == name) return Items(i);
  return nullptr;
}

TDbfIndexDef* TDbfIndexDefs::GetIndexByField(const AnsiString& field) const {
  const AnsiString wanted = UpperCase(Trim(field));
  for (int i = 0; i < Count(); ++i)
    if (UpperCase(Trim(Items(i)->SortField())) == wanted) return Items(i);
  return nullptr;
}

const TClassInfo& TDbfIndexDef::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TDbfIndexDef>, "TDbfIndexDef", &TCollectionItem::StaticClassInfo(),
                               [](TPublisher<TDbfIndexDef>& p) {
                                 p.String("IndexFile", &TDbfIndexDef::IndexFile, &TDbfIndexDef::SetIndexFile);
                                 p.String("SortField", &TDbfIndexDef::SortField, &TDbfIndexDef::SetSortField);
                               });
  return info;
}

const TClassInfo& TDbfMasterLink::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TDbfMasterLink>, "TDbfMasterLink", &TDataLink::StaticClassInfo());
  return info;
}

const TClassInfo& TDbfIndexDefs::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TDbfIndexDefs>, "TDbfIndexDefs", &TOwnedCollection::StaticClassInfo());
  return info;
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
    p.String("MasterFields", &TDbf::MasterFields, &TDbf::SetMasterFields);
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
