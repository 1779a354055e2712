// Index files: formats, B-tree nodes, keys and collation.
//
// The file is a sequence of 512-byte pages; page n lives at n * 512 and page
// numbers are the unit of every pointer. All integers are little-endian.
//
// NDX (single key). Page 0 is the header, which is also the only tag header;
// nodes are one page each.
//
// MDX (multi-tag). Pages 0-3 are the header (2048 bytes):
//   0  2 (3 on reading marks dBase 7 tag entries)   1  creation date (y-1900, m, d)
//   4  table name, at most 15 characters + NUL       20 2 (pages per node)  22 1024
//   24 1 (production)  25 48 (slots)  26 tag entry length (32)  28 tags in use
//   31 language id of the table  32 next free page (4 in a new file)
//   44 date of last update  529 1  544 the tag table: entry length bytes per tag
// Tag table entry: 0 page of the tag header, 4 name (11 bytes, upper case,
// NUL-padded; 33 bytes in dBase 7 entries, which shift the rest by 22),
// 15 key format (0x10, 0 for expression tags), 16-18 threads (0), 19 the
// value 2, 20 key type letter. 47 entries of 32 bytes fill the header to
// its end, so a 48th tag never fits although 48 slots are announced.
// Nodes and tag headers are 1024 bytes (2 pages).
//
// Tag header (MDX: its own node; NDX: the file header):
//   0 root page  4 pages allocated for the tag (NDX: pages in the file =
//   next free page)  8 flags: 0x08 descending, 0x10 character key, 0x40
//   unique, 0x60 primary  9 key type 'C'/'N'  10 NDX 0x5800, MDX 0
//   12 key length (<= 100)  14 keys per node  16 1 for NDX numeric keys
//   18 entry length = key length + overhead, rounded up to 4  20 2
//   23 uniqueness: '!' primary, 1 unique, 0 none  24 key expression, NUL-ended
//   (at most 219 characters)  246 1
//
// B-tree node: a 4-byte key count (MDX: then 4 zero bytes), then entries.
//   NDX entry: lower page (0 in leaves), record number, key.
//   MDX entry: one number (record number in leaves, lower page in interior
//   nodes), key.
// Interior nodes hold one pointer more than keys: the trailing pointer sits
// in the number field of slot `count`. A separator key is the last key of
// the subtree its pointer leads to. NDX: a node is interior when slot 0 has
// a lower page. MDX: when count < keys per node and slot `count` has a
// number (leaves keep the slot after their last key zeroed).
//
// Keys: character keys are the expression's text, blank-padded, in the
// table's code page. NDX numeric keys are 8-byte doubles. MDX numeric keys
// are 12-byte decimal numbers: byte 0 = 0x34 + exponent (digits before the
// point), byte 1 = digit bytes * 8 + 1 (0x80 set when negative), bytes 2-10
// two digits per byte, high nibble first, trailing zeros dropped; zero is
// 0x34 0x01 and zeros.
//
// Everything read is checked before use: a header, tag entry, tag header or
// node that does not agree with the layout raises EDbfError "Invalid index
// file.", never an access outside a buffer; the tree depth is bounded so
// that a pointer cycle cannot recurse forever.
#include "dbf/dbf_idxfile.h"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <unordered_map>

#include "dbf/dbf_idxfile_impl.h"
#include "dbf/dbf_lang.h"
#include "dbf/dbf_packmark.h"
#include "dbf/dbf_parser.h"
#include "toolkit/core/binary.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "toolkit/sys/files.h"

const char* const STRING_INVALID_INDEX_FILE = "Invalid index file.";
const char* const STRING_INDEX_EXPRESSION_TEXT_TOO_LONG = "Index expression too long: %d characters (at most 219).";
const char* const STRING_INDEX_UPDATE_CUT_SHORT =
    "The last update of index file \"%s\" was cut short and its tags do not match the table; open the table "
    "for writing to rebuild them.";

// ---- TLCIDList --------------------------------------------------------------

bool TLCIDList::Contains(uint32_t lcid) {
  const uint32_t id = lcid & 0xFFFF;
  if ((lcid >> 16) != 0 || id == 0 || id == kLocaleUserDefault || id == kLocaleSystemDefault) return false;
  return std::strcmp(LcidToLocaleName(lcid), "root") != 0;
}

// ---- TIndexFile: tags -----------------------------------------------------------

TIndexFile::TIndexFile(TDbfFile* dbf_file) : dbf_file_(dbf_file) {}

TIndexFile::~TIndexFile() {
  try {
    CloseIndexFile();
  } catch (...) {
    // A destructor must not throw; unwritten nodes show at the next open.
  }
}

void TIndexFile::Corrupt() const { throw EDbfError(STRING_INVALID_INDEX_FILE); }

void TIndexFile::AssertFailed(const char* what) {
  throw EDbfError(Format("Assertion failed: %s (Dbf_IdxFile).", {AnsiString(what)}));
}

TIndexFile::Tag* TIndexFile::Current() const {
  return selected_ >= 0 && selected_ < int(tags_.size()) ? tags_[size_t(selected_)].get() : nullptr;
}

uint8_t* TIndexFile::TagHeader() const {
  Tag* tag = Current();
  if (!mdx_) return const_cast<TIndexFile*>(this)->Header();
  return tag ? tag->header.data() : nullptr;
}

int TIndexFile::TagEntryLength() const { return FileHeader().TagEntryLength; }

TMdxFileHeader TIndexFile::FileHeader() const { return TMdxFileHeader::DecodeFrom(Header()); }

TIndexTagHeader TIndexFile::TagHeaderFields() const { return TIndexTagHeader::DecodeFrom(TagHeader()); }

uint32_t TIndexFile::NextFreePage() const {
  // NDX: the file header is its tag's header, whose page count is the next free page.
  return mdx_ ? FileHeader().NextFreePage : TIndexTagHeader::DecodeFrom(Header()).Pages;
}

void TIndexFile::SetNextFreePage(uint32_t page) {
  if (mdx_) {
    TMdxFileHeader h = FileHeader();
    h.NextFreePage = page;
    h.EncodeTo(Header());
  } else {
    TIndexTagHeader h = TIndexTagHeader::DecodeFrom(Header());
    h.Pages = page;
    h.EncodeTo(Header());
  }
}

void TIndexFile::SetFileTagCount(int count) {
  TMdxFileHeader h = FileHeader();
  h.TagCount = uint16_t(count);
  h.EncodeTo(Header());
}

int64_t TIndexFile::RootPage() const { return TagHeaderFields().RootPage; }

void TIndexFile::SetRootPage(int64_t page) {
  TIndexTagHeader h = TagHeaderFields();
  h.RootPage = uint32_t(page);
  h.EncodeTo(TagHeader());
}

void TIndexFile::EndExpression() {
  // The expression field ends within its bytes, whatever the file held.
  TIndexTagHeader h = TagHeaderFields();
  h.Other[24 + TIndexTagHeader::kMaxExpressionLength] = 0;
  h.EncodeTo(TagHeader());
}
int TIndexFile::TagNameLength() const { return version_ == 6 ? kLongTagNameLength : kTagNameLength; }
uint8_t* TIndexFile::TagEntry(int position) { return Header() + 512 + TagEntryLength() * (1 + position); }
const uint8_t* TIndexFile::TagEntry(int position) const {
  return Header() + 512 + TagEntryLength() * (1 + position);
}

TIndexPage* TIndexFile::Root() const {
  Tag* tag = Current();
  return tag ? tag->root.get() : nullptr;
}

TIndexPage* TIndexFile::Leaf() const {
  TIndexPage* node = Root();
  while (node && node->IsInterior() && node->OnEntry() && node->Child()) node = node->Child();
  return node;
}

std::unique_ptr<TIndexPage> TIndexFile::NewPage(TIndexPage* parent) {
  if (mdx_) return std::make_unique<TMdxPage>(this, parent);
  return std::make_unique<TNdxPage>(this, parent);
}

char TIndexFile::KeyType() const { return Current() ? Current()->key_type : 0; }
int TIndexFile::KeyLength() const { return Current() ? Current()->key_length : 0; }
int TIndexFile::EntryLength() const { return Current() ? Current()->entry_length : 0; }
int TIndexFile::MaxKeys() const { return Current() ? Current()->max_keys : 0; }
bool TIndexFile::Descending() const { return Current() && Current()->descending; }
int TIndexFile::UniqueMode() const { return Current() ? Current()->unique : 0; }
bool TIndexFile::RangeActive() const { return !ranges_off_ && Current() && Current()->range; }

AnsiString TIndexFile::Expression() const {
  if (TagHeader() == nullptr) return AnsiString();
  return AnsiString(TagHeaderFields().Expression);
}

int TIndexFile::TagCount() const { return int(tags_.size()); }

AnsiString TIndexFile::TagName(int position) const {
  if (position < 0 || position >= TagCount()) return AnsiString();
  if (!mdx_) return AnsiString(ExtractFileName(FileName()));
  const char* name = reinterpret_cast<const char*>(TagEntry(position) + 4);
  return AnsiString(name, strnlen(name, size_t(TagNameLength())));
}

bool TIndexFile::SelectTag(int position) {
  if (position < 0 || position >= TagCount()) return false;
  selected_ = position;
  return true;
}

AnsiString IndexTagName(std::string_view name, int name_length) {
  return AnsiUpperCase(Trim(name)).substr(0, size_t(std::max(name_length, 0)));
}

int TIndexFile::FindTag(std::string_view name) const {
  const AnsiString wanted = StoredTagName(name);
  // Names another writer stored in lower case are found too.
  for (int i = 0; i < TagCount(); ++i)
    if (StoredTagName(TagName(i)) == wanted) return i;
  return -1;
}

bool TIndexFile::SelectTag(const AnsiString& name) {
  if (!mdx_) return SelectTag(0);
  return SelectTag(FindTag(name));
}

void TIndexFile::ListTagNames(TStrings& list) {
  if (!mdx_) return;
  for (int i = 0; i < TagCount(); ++i) list.AddObject(TagName(i), this);
}

bool TIndexFile::ReadIndexDef(const AnsiString& name, TIndexTagDef* def) {
  const int keep = selected_;
  if (!SelectTag(name)) return false;
  def->IndexFile = mdx_ ? TagName(selected_) : AnsiString(ExtractFileName(FileName()));
  def->SortField = Expression();
  def->Options = TIndexOptions{ixExpression};
  if (Descending()) def->Options.Include(ixDescending);
  if (UniqueMode() == 1) def->Options.Include(ixUnique);
  if (UniqueMode() == 2) def->Options.Include(ixPrimary);
  def->FromFile = true;
  selected_ = keep;
  return true;
}

// ---- header codecs ------------------------------------------------------------------------

TMdxFileHeader TMdxFileHeader::DecodeFrom(const uint8_t* d) {
  TMdxFileHeader h;
  std::memcpy(h.Other.data(), d, kSize);
  h.Version = d[0];
  std::memcpy(h.Created.data(), d + 1, 3);
  h.TableName.assign(reinterpret_cast<const char*>(d + 4), strnlen(reinterpret_cast<const char*>(d + 4), 16));
  h.PagesPerNode = GetLE16(d + 20);
  h.NodeBytes = GetLE16(d + 22);
  h.Production = d[24];
  h.Slots = d[25];
  h.TagEntryLength = d[26];
  h.TagCount = GetLE16(d + 28);
  h.LanguageId = d[31];
  h.NextFreePage = GetLE32(d + kNextFreePageAt);
  std::memcpy(h.Updated.data(), d + 44, 3);
  h.UpdateMarks = d[kUpdateMarkAt];
  h.TagTableFlag = d[529];
  return h;
}

void TMdxFileHeader::EncodeTo(uint8_t* d) const {
  std::memcpy(d, Other.data(), kSize);
  d[0] = Version;
  std::memcpy(d + 1, Created.data(), 3);
  const size_t name = std::min<size_t>(TableName.size(), 15);
  std::memcpy(d + 4, TableName.data(), name);
  d[4 + name] = 0;
  PutLE16(d + 20, PagesPerNode);
  PutLE16(d + 22, NodeBytes);
  d[24] = Production;
  d[25] = Slots;
  d[26] = TagEntryLength;
  PutLE16(d + 28, TagCount);
  d[31] = LanguageId;
  PutLE32(d + kNextFreePageAt, NextFreePage);
  std::memcpy(d + 44, Updated.data(), 3);
  d[kUpdateMarkAt] = UpdateMarks;
  d[529] = TagTableFlag;
}

TIndexTagHeader TIndexTagHeader::DecodeFrom(const uint8_t* d) {
  TIndexTagHeader h;
  std::memcpy(h.Other.data(), d, kSize);
  h.RootPage = GetLE32(d);
  h.Pages = GetLE32(d + 4);
  h.Flags = d[8];
  h.KeyType = d[9];
  h.Form = GetLE16(d + 10);
  h.KeyLength = GetLE16(d + 12);
  h.KeysPerNode = GetLE16(d + 14);
  h.NumericNdx = GetLE16(d + 16);
  h.EntryLength = GetLE16(d + 18);
  h.Constant20 = GetLE16(d + 20);
  h.Uniqueness = d[23];
  h.Expression.assign(reinterpret_cast<const char*>(d + 24),
                      strnlen(reinterpret_cast<const char*>(d + 24), kMaxExpressionLength));
  h.Byte246 = d[246];
  return h;
}

void TIndexTagHeader::EncodeTo(uint8_t* d) const {
  std::memcpy(d, Other.data(), kSize);
  PutLE32(d, RootPage);
  PutLE32(d + 4, Pages);
  d[8] = Flags;
  d[9] = KeyType;
  PutLE16(d + 10, Form);
  PutLE16(d + 12, KeyLength);
  PutLE16(d + 14, KeysPerNode);
  PutLE16(d + 16, NumericNdx);
  PutLE16(d + 18, EntryLength);
  PutLE16(d + 20, Constant20);
  d[23] = Uniqueness;
  const size_t length = std::min<size_t>(Expression.size(), kMaxExpressionLength);
  std::memcpy(d + 24, Expression.data(), length);
  d[24 + length] = 0;
  d[246] = Byte246;
}

// ---- opening -----------------------------------------------------------------------

void TIndexFile::OpenIndexFile() {
  if (Active()) return;
  mdx_ = SameText(ExtractFileExt(FileName()), ".mdx");
  SetVirtualLocks(false);
  SetPageOffsetByHeader(false);
  SetHeaderOffset(0);
  SetRecordSize(kPageSize);
  OpenStream();
  {
    TScopeFail unopened([this] {
      tags_.clear();
      selected_ = -1;
      CloseStream();
    });
    // A shared file is read under its header's lock, which every change
    // holds: the tags are never seen half changed.
    bool shared_read = NeedLocks() && Mode() != pmSharedCreate;
    if (shared_read && !LockSectionShared(0, kPageSize, true)) throw EDbfError(STRING_RECORD_LOCKED);
    const auto unlock = [this, &shared_read] {
      if (shared_read) UnlockSection(0, kPageSize);
      shared_read = false;
    };
    TScopeExit unlock_on_exit(unlock);
    SetHeaderSize(mdx_ ? kMdxHeaderSize : kNdxHeaderSize);
    ReadHeader();
    tags_.clear();
    journal_.reset();
    change_depth_ = 0;
    header_held_ = false;
    writer_slot_ = -1;
    rebuild_pending_ = false;
    change_failed_ = false;
    found_cut_short_ = false;
    pending_tag_ = false;
    known_size_ = -1;
    upper_nodes_.clear();
    selected_ = -1;
    unusable_ = false;
    maintained_ = true;
    table_code_page_ = dbf_file_ ? dbf_file_->UseCodePage() : GetACP();
    const TPageFileMode mode = Mode();
    const bool creating = mode == pmMemoryCreate || mode == pmExclusiveCreate || mode == pmSharedCreate;
    if (creating && (mode != pmMemoryCreate || Stream()->Size() == 0)) {
      // New MDX files always get dBase IV tag entries: the header byte that
      // would announce dBase 7 entries is never written, so anything else
      // would not read back.
      version_ = mdx_ ? 3 : 2;
      ClearIndex();
      ChooseCollation();
      return;
    }
    if (Stream()->Size() < (mdx_ ? kMdxHeaderSize : kNdxHeaderSize)) Corrupt();
    if (mdx_) version_ = FileHeader().Version == 3 ? 6 : 3;
    else version_ = 2;
    ChooseCollation();
    if (unusable_) return;
    // Counts of writers that live are theirs to take back; one more is an
    // update whose writer died.
    found_cut_short_ = Header()[UpdateMarkOffset()] != 0 && Header()[UpdateMarkOffset()] > WritersElsewhere();
    // The nodes of a change cut short are not read before the tags are rebuilt.
    ReadTags(!found_cut_short_);
    if (!tags_.empty()) selected_ = 0;
    unlock();
    if (found_cut_short_) RecoverCutShortUpdate();
  }
}

void TIndexFile::RecoverCutShortUpdate() {
  const bool writable = Mode() != pmReadOnly && maintained_ && dbf_file_ != nullptr;
  if (writable) {
    // Nobody else may write the table while its keys are gathered again.
    TExclusiveMode exclusive(dbf_file_->NeedLocks() ? dbf_file_ : nullptr);
    if (!dbf_file_->NeedLocks()) {
      RekeyAll();
      if (WriteError()) throw EDbfWriteError(STRING_WRITE_INDEX_ERROR);
      return;
    }
  }
  // Kept as it is only when every tag still matches the table.
  {
    TScopedValue<int> keep(selected_);
    for (int i = 0; i < TagCount(); ++i) {
      selected_ = i;
      const int64_t root = RootPage();
      if (root > kMaxPage || (root > 0 && !NodeInFile(root))) Corrupt();
      tags_[size_t(i)]->root->LoadPage(root);
    }
  }
  std::vector<std::string> faults;
  CheckIntegrity(faults);
  if (!faults.empty()) throw EDbfError(Format(STRING_INDEX_UPDATE_CUT_SHORT, {AnsiString(ExtractFileName(FileName()))}));
}

void TIndexFile::CloseIndexFile() {
  if (!Active()) return;
  TScopeExit release([this] {
    tags_.clear();
    writer_slot_ = -1;
    pending_tag_ = false;
    known_size_ = -1;
    upper_nodes_.clear();
    selected_ = -1;
    CloseStream();
  });
  FlushPages();
}

void TIndexFile::ChooseCollation() {
  if (!mdx_) return SetLocale(kDefaultCollationLocale);
  const uint8_t table_id = dbf_file_ ? dbf_file_->LanguageId() : 0;
  const uint8_t index_id = FileHeader().LanguageId;
  TLocaleError error = leNone;
  uint32_t locale = kDefaultCollationLocale;
  if (table_id != 0 && index_id != 0 && table_id != index_id) {
    error = leLanguageMismatch;
  } else {
    const uint8_t id = table_id != 0 ? table_id : index_id;
    if (id != 0) {
      locale = LanguageDriver(id).Locale;
      if (locale == kLangNoLocale)
        error = leNoLocale;
      else if (locale != kDefaultCollationLocale && !TLCIDList::Contains(locale))
        error = leNotInstalled;
    }
  }
  if (error != leNone) {
    uint32_t solution = 0;
    if (OnLocaleError) OnLocaleError(error, solution);
    locale = kDefaultCollationLocale;
    if (solution == 0)
      unusable_ = true;
    else if (solution == 1)
      maintained_ = false;
    else
      locale = solution;
  }
  SetLocale(locale);
}

void TIndexFile::SetLocale(uint32_t locale) {
  locale_ = locale;
  collation_code_page_ = locale == kDefaultCollationLocale ? table_code_page_ : LocaleAnsiCodePage(locale);
  collation_chars_.clear();
  key_prefixes_.reset();
  if (locale == kDefaultCollationLocale || IsMultiByteCodePage(table_code_page_) ||
      IsMultiByteCodePage(collation_code_page_))
    return;
  // Single-byte code pages: every byte's character once, not per comparison.
  try {
    std::vector<char16_t> chars(256);
    for (int b = 0; b < 256; ++b) {
      const char byte = char(b);
      const std::string converted = ConvertCodePage(std::string_view(&byte, 1), table_code_page_, collation_code_page_);
      const std::u16string wide = MultiByteToWide(converted, collation_code_page_);
      chars[size_t(b)] = wide.empty() ? u'?' : wide[0];
    }
    collation_chars_ = std::move(chars);
  } catch (const EConvertError&) {
    // A code page the converter lacks: compare the bytes.
    locale_ = kDefaultCollationLocale;
  }
}

void TIndexFile::ComputeLayout(const TIndexTagHeader& header, bool validate) {
  Tag& tag = *Current();
  const int overhead = mdx_ ? 4 : 8;
  const int room = NodeSize() - (mdx_ ? 8 : 4);
  tag.key_type = char(header.KeyType);
  int key_length = header.KeyLength;
  if (validate) {
    if (tag.key_type != 'C' && tag.key_type != 'N') Corrupt();
    if (key_length > kMaxKeyLength) Corrupt();
    if (tag.key_type == 'N' && key_length != (mdx_ ? 12 : 8)) Corrupt();
  }
  int entry_length = header.EntryLength;
  // A stored entry length that would not fit the key or a node of two keys
  // is recomputed from the key length.
  if (entry_length < key_length + overhead || entry_length > room / 2) entry_length = RoundUp4(key_length + overhead);
  int max_keys = room / entry_length;
  const int stored_max = header.KeysPerNode;
  if (stored_max >= 4 && stored_max < max_keys) max_keys = stored_max;
  tag.key_length = key_length;
  tag.entry_length = entry_length;
  tag.max_keys = max_keys;
  tag.descending = (header.Flags & 0x08) != 0;
  tag.unique = header.Uniqueness == 0x21 ? 2 : (header.Uniqueness != 0 || (header.Flags & 0x40) != 0 ? 1 : 0);
}

void TIndexFile::CompileTag(Tag& tag) {
  tag.parser = std::make_unique<TDbfParser>(dbf_file_);
  const AnsiString expression = Expression();
  try {
    tag.parser->CompileText(expression);
  } catch (const EDbfError&) {
    throw;
  } catch (const Exception&) {
    // A key expression that does not parse: the header is damaged.
    Corrupt();
  }
  const TExprKind kind = tag.parser->GetResultKind();
  const bool text = kind == ekString;
  const bool number = kind == ekInteger || kind == ekLargeInt || kind == ekFloat;
  if ((tag.key_type == 'C' && !text) || (tag.key_type == 'N' && !number)) Corrupt();
}

void TIndexFile::ReadTags(bool load_roots) {
  if (!mdx_) {
    auto tag = std::make_unique<Tag>();
    tags_.push_back(std::move(tag));
    selected_ = 0;
    LoadTag(*tags_.back(), load_roots);
    return;
  }
  const TMdxFileHeader h = FileHeader();
  if (h.PagesPerNode != 2 || h.NodeBytes != 1024) Corrupt();
  const int count = h.TagCount;
  const int length = h.TagEntryLength;
  if (count > kMaxTags || length < (version_ == 6 ? 43 : 21)) Corrupt();
  if (512 + length * (1 + count) > kMdxHeaderSize) Corrupt();
  const int64_t next_free = h.NextFreePage;
  if (next_free < 4 || next_free > kMaxPage) Corrupt();
  for (int i = 0; i < count; ++i) {
    auto tag = std::make_unique<Tag>();
    tag->header_page = GetLE32(TagEntry(i));
    if (tag->header_page < 4 || tag->header_page > kMaxPage || !NodeInFile(tag->header_page)) Corrupt();
    tag->header.assign(1024, 0);
    if (!ReadNode(tag->header_page, tag->header.data())) Corrupt();
    tags_.push_back(std::move(tag));
    selected_ = i;
    LoadTag(*tags_.back(), load_roots);
  }
}

void TIndexFile::LoadTag(Tag& tag, bool load_root) {
  ComputeLayout(TagHeaderFields(), true);
  EndExpression();
  CompileTag(tag);
  tag.root = NewPage(nullptr);
  if (!load_root) return;
  const int64_t root = RootPage();
  // A root outside a file read from disk means the file was cut.
  if (root > kMaxPage || (root > 0 && !NodeInFile(root))) Corrupt();
  tag.root->LoadPage(root);
}

void TIndexFile::ReadTagHeader(Tag& tag) {
  if (mdx_) {
    if (!ReadNode(tag.header_page, tag.header.data())) Corrupt();
  } else {
    ReadHeader();
  }
  const int key_length = tag.key_length;
  ComputeLayout(TagHeaderFields(), true);
  EndExpression();
  // Another process that rebuilt the tag with another key: the compiled
  // expression no longer describes it.
  if (tag.key_length != key_length) Corrupt();
}

void TIndexFile::WriteTagHeader(Tag& tag) {
  if (!mdx_) {
    TPagedFile::StoreHeader();
    return;
  }
  if (tag.header_page > 0) WriteNode(tag.header_page, tag.header.data());
  tag.header_modified = false;
}

void TIndexFile::StoreHeader() {
  TPagedFile::StoreHeader();
  Tag* tag = Current();
  if (!mdx_ || tag == nullptr) return;
  if (NeedLocks())
    WriteTagHeader(*tag);
  else
    tag->header_modified = true;
}

void TIndexFile::WriteModified() {
  for (auto& tag : tags_) {
    if (tag->root) tag->root->WriteChain();
    if (mdx_ && tag->header_modified) WriteTagHeader(*tag);
  }
  // The header points at the nodes: they go first, so that a process stopped
  // in between leaves nodes nobody points at, never a pointer to nothing.
  WriteCachedNodes();
}

void TIndexFile::FlushPages() {
  if (!Active()) return;
  WriteModified();
  if (pending_tag_) {
    // A tag being created joins the tag table only once everything it
    // points at is on the disk; until then the file shows the tags of before.
    const bool in_memory = Mode() == pmMemoryCreate || Mode() == pmMemoryOpen;
    if (WriteError() || (!in_memory && !SyncPath(FileName()))) {
      if (!WriteError()) MarkWriteFailed();
      return;
    }
    SetFileTagCount(TagCount());
    pending_tag_ = false;
    TPagedFile::StoreHeader();
  }
  FlushHeader();
  // This open's count goes once all it covers is on the disk; the counts
  // of others stay theirs.
  if (writer_slot_ < 0 || change_depth_ > 0 || rebuild_pending_ || change_failed_ || WriteError() ||
      Mode() == pmReadOnly)
    return;
  const bool in_memory = Mode() == pmMemoryCreate || Mode() == pmMemoryOpen;
  if (!in_memory && !SyncPath(FileName())) {
    MarkWriteFailed();
    return;
  }
  SetUpdateMark(false);
}

bool TIndexFile::NodeInFile(int64_t n) {
  if (NodeInFile(n, NodeFileSize())) return true;
  if (node_cache_) return false;
  // The size known may be behind the file (another process appended a
  // node): it is asked again before a page counts as missing.
  known_size_ = Stream()->Size();
  return NodeInFile(n, known_size_);
}

bool TIndexFile::NodeCached(int64_t page) const { return node_cache_ && node_cache_->nodes.contains(page); }

int64_t TIndexFile::NodeFileSize() {
  if (node_cache_) return node_cache_->file_size;
  // Asked once, then kept: the file only grows while it is open (a cut
  // forgets the size), so a node inside the size known is in the file.
  if (known_size_ < 0) known_size_ = Stream()->Size();
  return known_size_;
}

void TIndexFile::WriteCachedNodes() {
  if (!node_cache_) return;
  ForgetUpperNodes(0, -1);
  NodeCache& cache = *node_cache_;
  std::vector<int64_t> pages;
  for (const auto& [page, node] : cache.nodes)
    if (node.dirty) pages.push_back(page);
  std::sort(pages.begin(), pages.end());
  // Nodes on consecutive pages go out in one write.
  const size_t node_size = size_t(NodeSize());
  std::vector<uint8_t> run;
  int64_t run_start = 0;
  const auto write_run = [&] {
    if (run.empty()) return;
    WriteBlock(run.data(), int64_t(run.size()), run_start * kPageSize);
    cache.disk_size = std::max(cache.disk_size, run_start * kPageSize + int64_t(run.size()));
    run.clear();
  };
  for (const int64_t page : pages) {
    if (!run.empty() && page != run_start + int64_t(run.size() / node_size) * PagesPerNode()) write_run();
    if (run.empty()) run_start = page;
    NodeCache::Node& node = cache.nodes[page];
    run.insert(run.end(), node.bytes.begin(), node.bytes.end());
    node.dirty = false;
  }
  write_run();
}

bool TIndexFile::NodeInFile(int64_t n, int64_t file_size) const {
  if (n < 0) return false;
  return (n + PagesPerNode()) * kPageSize <= file_size;
}

bool TIndexFile::ReadNode(int64_t page, uint8_t* buffer) {
  if (!node_cache_) {
    if (const auto kept = upper_nodes_.find(page); kept != upper_nodes_.end()) {
      std::memcpy(buffer, kept->second.data(), kept->second.size());
      return true;
    }
    return ReadBlock(buffer, NodeSize(), page * kPageSize) == NodeSize();
  }
  NodeCache& cache = *node_cache_;
  const size_t size = size_t(NodeSize());
  if (const auto found = cache.nodes.find(page); found != cache.nodes.end()) {
    std::memcpy(buffer, found->second.bytes.data(), size);
    return true;
  }
  const int64_t offset = page * kPageSize;
  if (offset + int64_t(size) > cache.file_size) return ReadBlock(buffer, int64_t(size), offset) == int64_t(size);
  // A page the cache has not written yet reads as the gap it still is.
  const int64_t on_disk = std::clamp<int64_t>(cache.disk_size - offset, 0, int64_t(size));
  if (on_disk > 0 && ReadBlock(buffer, on_disk, offset) != on_disk) return false;
  std::fill(buffer + on_disk, buffer + size, uint8_t(0));
  KeepNode(page, buffer, false);
  return true;
}

void TIndexFile::WriteNode(int64_t page, const uint8_t* buffer) {
  if (!node_cache_) {
    WriteNodes(page, buffer, NodeSize());
    return;
  }
  KeepNode(page, buffer, true);
  node_cache_->file_size = std::max(node_cache_->file_size, page * kPageSize + NodeSize());
}

void TIndexFile::KeepNode(int64_t page, const uint8_t* buffer, bool dirty) {
  NodeCache& cache = *node_cache_;
  const size_t size = size_t(NodeSize());
  if (cache.bytes + size > NodeCache::kLimitBytes && !cache.nodes.contains(page)) {
    WriteCachedNodes();
    cache.nodes.clear();
    cache.bytes = 0;
  }
  NodeCache::Node& node = cache.nodes[page];
  if (node.bytes.empty()) cache.bytes += size;
  node.bytes.assign(buffer, buffer + size);
  node.dirty = node.dirty || dirty;
}

void TIndexFile::LockNode(int64_t page) {
  if (!LockSection(page * kPageSize, NodeSize(), true)) throw EDbfError(STRING_RECORD_LOCKED);
}

void TIndexFile::UnlockNode(int64_t page) { UnlockSection(page * kPageSize, NodeSize()); }

void TIndexFile::KeepUpperNode(int64_t page, const uint8_t* bytes) {
  // Only a file nobody else writes: its nodes change only through here.
  if (NeedLocks() || node_cache_) return;
  if (upper_nodes_.size() >= kUpperNodes && !upper_nodes_.contains(page)) upper_nodes_.clear();
  upper_nodes_[page].assign(bytes, bytes + NodeSize());
}

void TIndexFile::ForgetUpperNodes(int64_t page, int64_t length) {
  if (upper_nodes_.empty()) return;
  if (length < 0) {
    upper_nodes_.clear();
    return;
  }
  for (int64_t at = 0; at < length; at += NodeSize()) upper_nodes_.erase(page + at / kPageSize);
}

void TIndexFile::WriteNodes(int64_t page, const uint8_t* bytes, int64_t length) {
  ForgetUpperNodes(page, length);
  if (WriteBlock(bytes, length, page * kPageSize) == length)
    known_size_ = std::max(known_size_, page * kPageSize + length);
}

void TIndexFile::ReadFileHeader() {
  if (!pending_tag_ || !mdx_) return ReadHeader();
  uint8_t* entry = TagEntry(TagCount() - 1);
  const std::vector<uint8_t> keep(entry, entry + TagEntryLength());
  ReadHeader();
  std::copy(keep.begin(), keep.end(), TagEntry(TagCount() - 1));
}

template <typename F>
void TIndexFile::ChangeFileHeader(F&& change) {
  // A file being rewritten whole keeps the header it is making: rereading
  // it from the disk would lose the tag entries not written yet.
  const bool locked = NeedLocks() && !rewriting_ && !header_held_;
  if (locked) {
    if (!LockSection(0, kPageSize, true)) throw EDbfError(STRING_RECORD_LOCKED);
    ReadFileHeader();
  }
  TScopeExit unlock([this, locked] {
    if (locked) UnlockSection(0, kPageSize);
  });
  change();
}

void TIndexFile::CountTagPages(int64_t pages) {
  if (!mdx_ || Current() == nullptr) return;
  TIndexTagHeader h = TagHeaderFields();
  h.Pages += uint32_t(pages);
  h.EncodeTo(TagHeader());
  Current()->header_modified = true;
}

int64_t TIndexFile::AllocatePage() {
  int64_t page = 0;
  ChangeFileHeader([&] {
    page = NextFreePage();
    // Never hand out a page the file already holds, whatever the header
    // says: the size is the file's own, not the one known.
    const int64_t size = node_cache_ ? node_cache_->file_size : (known_size_ = Stream()->Size());
    const int64_t in_file = (size + kPageSize - 1) / kPageSize;
    // Pages allocated but not yet written are few; a counter far past the
    // end of the file is damage, and trusting it would grow the file without end.
    if (page > in_file + kMaxUnwrittenPages) Corrupt();
    page = std::max({page, FirstNodePage(), in_file});
    SetNextFreePage(uint32_t(page + PagesPerNode()));
    CountTagPages(PagesPerNode());
    TPagedFile::StoreHeader();
  });
  return page;
}

void TIndexFile::ReservePagesUpTo(int64_t next) {
  ChangeFileHeader([&] {
    const int64_t taken = next - int64_t(NextFreePage());
    if (taken <= 0) return;
    SetNextFreePage(uint32_t(next));
    CountTagPages(taken);
    TPagedFile::StoreHeader();
  });
}

void TIndexFile::NewRoot() {
  Tag& tag = *Current();
  const int64_t page = AllocatePage();
  auto root = NewPage(nullptr);
  root->InitEmpty(page, true);
  root->SetNumbersAt(0, 0, tag.root->PageNo());
  root->SetBounds();
  root->entry_no_ = 0;
  tag.root->parent_ = root.get();
  root->child_ = std::move(tag.root);
  tag.root = std::move(root);
  if (mdx_ && NeedLocks()) LockNode(tag.header_page);
  SetRootPage(page);
  StoreHeader();
  if (mdx_ && NeedLocks()) UnlockNode(tag.header_page);
}

void TIndexFile::MakeRoot(Tag& tag) {
  const int64_t page = AllocatePage();
  if (!tag.root) tag.root = NewPage(nullptr);
  tag.root->child_.reset();
  tag.root->InitEmpty(page, false);
  SetRootPage(page);
  // Other processes reread the root before every search.
  if (NeedLocks()) tag.root->WriteBack();
}

void TIndexFile::ClearTag() {
  Tag* tag = Current();
  if (tag == nullptr) return;
  // Empty till AddRecordsFromTable fills it: an open finds it so.
  rebuild_pending_ = true;
  SetUpdateMark(true);
  tag->range = false;
  MakeRoot(*tag);
  StoreHeader();
}

void TIndexFile::ClearIndex() {
  // Only an owner of the table rebuilds every tag (a pack, which holds the
  // table exclusively): nobody else allocates pages meanwhile.
  TScopedValue<bool> rewrite(rewriting_, true);
  // Tags emptied stay so till AddRecordsFromTable fills them: an open finds them so.
  const bool refill = TagCount() > 0 && Mode() != pmReadOnly;
  if (refill) {
    rebuild_pending_ = true;
    SetUpdateMark(true);
  }
  FlushPages();
  uint8_t* h = Header();
  if (mdx_) {
    // The tag table stays; every tag gets fresh pages from page 4 on.
    TMdxFileHeader fresh;
    int year = 0, month = 0, day = 0;
    DecodeDate(Date(), year, month, day);
    fresh.Created = {uint8_t(year - 1900), uint8_t(month), uint8_t(day)};
    fresh.Updated = fresh.Created;
    if (dbf_file_ != nullptr) {
      fresh.TableName = ExtractFileName(ChangeFileExt(dbf_file_->FileName(), "")).substr(0, 15);
      fresh.LanguageId = dbf_file_->LanguageId();
    }
    fresh.TagCount = uint16_t(tags_.size());
    fresh.UpdateMarks = RebuiltMarkCount();
    fresh.EncodeTo(h);
    SetRecordCount(4);
    const int keep = selected_;
    for (int i = 0; i < TagCount(); ++i) {
      selected_ = i;
      Tag& tag = *tags_[size_t(i)];
      PutLE32(tag.header.data() + 4, 0);
      tag.header_page = 0;
      tag.header_page = AllocatePage();
      PutLE32(TagEntry(i), uint32_t(tag.header_page));
      tag.range = false;
      MakeRoot(tag);
      WriteTagHeader(tag);
    }
    selected_ = keep;
  } else {
    h[UpdateMarkOffset()] = RebuiltMarkCount();
    SetNextFreePage(1);
    SetRecordCount(1);
    if (Current() != nullptr) {
      MakeRoot(*Current());
    } else {
      TIndexTagHeader empty = TIndexTagHeader::DecodeFrom(h);
      empty.RootPage = 0;
      empty.EncodeTo(h);
    }
  }
  TPagedFile::StoreHeader();
  FlushPages();
  SetRecordCount(NextFreePage());
  known_size_ = -1;
  upper_nodes_.clear();
}

// ---- tag creation and removal --------------------------------------------------------

void TIndexFile::CreateTag(const AnsiString& expression, const AnsiString& name, TIndexOptions options) {
  if (dbf_file_ != nullptr) dbf_file_->RequireExclusive();
  char key_type = 0;
  int key_length = 0;
  {
    TDbfParser probe(dbf_file_);
    probe.CompileText(expression);
    const TExprKind kind = probe.GetResultKind();
    if (kind == ekString) {
      key_type = 'C';
      key_length = probe.ResultLength();
    } else if (kind == ekInteger || kind == ekLargeInt || kind == ekFloat) {
      key_type = 'N';
      key_length = mdx_ ? 12 : 8;
    } else {
      throw EDbfError(STRING_INVALID_INDEX_TYPE);
    }
  }
  if (int(expression.size()) > kMaxExpressionLength)
    throw EDbfError(Format(STRING_INDEX_EXPRESSION_TEXT_TOO_LONG, {int(expression.size())}));
  if (mdx_) {
    const int n = TagCount();
    if (n >= kMaxTags || 512 + TagEntryLength() * (n + 2) > kMdxHeaderSize)
      throw EDbfError(STRING_CANNOT_CREATE_INDEX);
    auto tag = std::make_unique<Tag>();
    tag->header.assign(1024, 0);
    tags_.push_back(std::move(tag));
    selected_ = n;
    uint8_t* entry = TagEntry(n);
    std::memset(entry, 0, size_t(TagEntryLength()));
    const AnsiString upper = StoredTagName(name);
    std::memcpy(entry + 4, upper.data(), upper.size());
    const int shift = version_ == 6 ? 22 : 0;
    entry[15 + shift] = options.Contains(ixExpression) ? 0x00 : 0x10;
    entry[19 + shift] = 2;
    entry[20 + shift] = uint8_t(key_type);
    Tag& t = *tags_.back();
    // The tag count in the header stays as it is until the tag's nodes are
    // written (FlushPages): a creation cut short leaves the old tags usable.
    pending_tag_ = true;
    pending_counter_ = FileHeader().NextFreePage;
    pending_file_size_ = Stream()->Size();
    t.header_page = AllocatePage();
    PutLE32(TagEntry(n), uint32_t(t.header_page));
  } else {
    tags_.clear();
    tags_.push_back(std::make_unique<Tag>());
    selected_ = 0;
    std::memset(Header(), 0, kNdxHeaderSize);
    SetNextFreePage(1);
  }
  Tag& tag = *Current();
  MakeRoot(tag);
  TIndexTagHeader h = TagHeaderFields();
  uint8_t flags = 0;
  if (options.Contains(ixDescending)) flags |= 0x08;
  if (key_type == 'C') flags |= 0x10;
  uint8_t unique = 0;
  if (options.Contains(ixPrimary)) {
    flags |= 0x60;
    unique = 0x21;
  } else if (options.Contains(ixUnique)) {
    flags |= 0x40;
    unique = 1;
  }
  h.Flags = flags;
  h.KeyType = uint8_t(key_type);
  h.Form = mdx_ ? 0 : 0x5800;
  h.KeyLength = uint16_t(key_length);
  const int entry_length = RoundUp4(key_length + (mdx_ ? 4 : 8));
  h.KeysPerNode = uint16_t((NodeSize() - (mdx_ ? 8 : 4)) / entry_length);
  h.NumericNdx = !mdx_ && key_type == 'N' ? 1 : 0;
  h.EntryLength = uint16_t(entry_length);
  h.Constant20 = 2;
  h.Other[22] = 0;
  h.Uniqueness = unique;
  std::fill(h.Other.begin() + 24, h.Other.begin() + 256, uint8_t(0));
  h.Expression = expression;
  h.Byte246 = 1;
  h.EncodeTo(TagHeader());
  ComputeLayout(h, false);
  tag.root->buffer_.assign(size_t(NodeSize()), 0);
  CompileTag(tag);
  StoreHeader();
}

void TIndexFile::DeleteTag(const AnsiString& name) {
  if (dbf_file_ != nullptr) dbf_file_->RequireExclusive();
  if (!mdx_) {
    tags_.clear();
    selected_ = -1;
    CloseStream();
    DeleteFileIfClosed();
    return;
  }
  const int position = FindTag(name);
  if (position < 0) return;
  const int count = TagCount();
  const int length = TagEntryLength();
  if (pending_tag_ && position == count - 1) {
    // A tag that never reached the tag table: its slot is cleared, and the
    // pages it took are given back, so the file is the one of before.
    std::memset(TagEntry(position), 0, size_t(length));
    pending_tag_ = false;
    tags_.erase(tags_.begin() + position);
    SetNextFreePage(pending_counter_);
    TPagedFile::StoreHeader();
    if (Stream()->Size() > pending_file_size_ && pending_file_size_ % kPageSize == 0)
      SetRecordCount(pending_file_size_ / kPageSize);
    known_size_ = -1;
    upper_nodes_.clear();
    selected_ = tags_.empty() ? -1 : 0;
    return;
  }
  std::memmove(TagEntry(position), TagEntry(position + 1), size_t((count - 1 - position) * length));
  std::memset(TagEntry(count - 1), 0, size_t(length));
  SetFileTagCount(count - 1);
  tags_.erase(tags_.begin() + position);
  TPagedFile::StoreHeader();
  selected_ = tags_.empty() ? -1 : 0;
}

// ---- integrity check ------------------------------------------------------------------

// What the walk of one tag gathers: its leaf entries in tree order and the
// faults of the tree itself.
struct TIndexFile::TagWalk {
  std::vector<uint8_t> keys;  // key length bytes per entry
  std::vector<int64_t> recnos;
  std::vector<std::string> faults;
  std::unordered_map<int64_t, bool> visited;
  std::vector<std::unique_ptr<TIndexPage>> levels;
  std::vector<uint8_t> last;  // the last key of the subtree walked last
  int leaf_depth = -1;
  int64_t file_size = 0;
};

void TIndexFile::WalkForCheck(int64_t page, int depth, TagWalk& walk) {
  walk.last.clear();
  if (page < FirstNodePage() || page > kMaxPage || !NodeInFile(page, walk.file_size)) {
    walk.faults.push_back("a node pointer names page " + std::to_string(page) + ", outside the file's nodes");
    return;
  }
  if (depth >= kMaxDepth || !walk.visited.emplace(page, true).second) {
    walk.faults.push_back("the node at page " + std::to_string(page) + " is reached twice");
    return;
  }
  if (walk.levels.size() <= size_t(depth)) walk.levels.push_back(NewPage(nullptr));
  TIndexPage& node = *walk.levels[size_t(depth)];
  if (!ReadNode(page, node.buffer_.data())) {
    walk.faults.push_back("the node at page " + std::to_string(page) + " cannot be read");
    return;
  }
  const int count = node.KeyCount();
  if (count < 0 || count > MaxKeys()) {
    walk.faults.push_back("the node at page " + std::to_string(page) + " counts " + std::to_string(count) +
                          " keys, more than the " + std::to_string(MaxKeys()) + " it holds");
    return;
  }
  const size_t key_length = size_t(KeyLength());
  if (!node.DetectInterior()) {
    if (walk.leaf_depth < 0) walk.leaf_depth = depth;
    if (walk.leaf_depth != depth)
      walk.faults.push_back("the leaf at page " + std::to_string(page) + " lies at another depth than the first leaf");
    for (int i = 0; i < count; ++i) {
      walk.keys.insert(walk.keys.end(), node.KeyAt(i), node.KeyAt(i) + key_length);
      walk.recnos.push_back(node.RecNoAt(i));
    }
    if (count > 0) walk.last.assign(node.KeyAt(count - 1), node.KeyAt(count - 1) + key_length);
    return;
  }
  if (count + 1 > MaxKeys()) {
    walk.faults.push_back("the node at page " + std::to_string(page) + " has no room for its last pointer");
    return;
  }
  // The node's bytes are needed after the walks below reuse the level's buffer.
  const std::vector<uint8_t> bytes = node.buffer_;
  for (int i = 0; i <= count; ++i) {
    TIndexPage& here = *walk.levels[size_t(depth)];
    here.buffer_ = bytes;
    const int64_t lower = here.LowerPageAt(i);
    std::vector<uint8_t> separator;
    if (i < count) separator.assign(here.KeyAt(i), here.KeyAt(i) + key_length);
    WalkForCheck(lower, depth + 1, walk);
    if (i < count && !walk.last.empty() && walk.last != separator)
      walk.faults.push_back("the separator " + std::to_string(i) + " of the node at page " + std::to_string(page) +
                            " is not the last key of the node it leads to");
  }
}

void TIndexFile::CheckTag(int position, std::vector<std::string>& faults) {
  selected_ = position;
  Tag& tag = *tags_[size_t(position)];
  const std::string where =
      ExtractFileName(FileName()) + (mdx_ ? " tag " + AnsiToUtf8(Trim(TagName(position))) : std::string()) + ": ";
  const size_t first_fault = faults.size();
  const auto fault = [&](const std::string& text) { faults.push_back(where + text); };
  TagWalk walk;
  walk.file_size = NodeFileSize();
  const int64_t root = RootPage();
  if (root > 0) WalkForCheck(root, 0, walk);
  for (const std::string& f : walk.faults) fault(f);

  const size_t key_length = size_t(KeyLength());
  const size_t entries = walk.recnos.size();
  const auto key_of = [&](size_t i) { return walk.keys.data() + i * key_length; };
  bool ordered = true;
  for (size_t i = 1; i < entries; ++i) {
    if (CompareKeys(key_of(i - 1), key_of(i)) <= 0) continue;
    fault("the key of record " + std::to_string(walk.recnos[i - 1]) + " stands before a smaller key");
    ordered = false;
    break;
  }
  if (dbf_file_ == nullptr) return;
  const int64_t count = dbf_file_->RecordCount();
  // Where each record's entry stands (-1: none yet).
  std::vector<int64_t> entry_of(size_t(std::max<int64_t>(count, 0)) + 1, -1);
  for (size_t i = 0; i < entries; ++i) {
    const int64_t recno = walk.recnos[i];
    if (recno < 1 || recno > count) {
      fault("a key names record " + std::to_string(recno) + ", but the table has " + std::to_string(count));
    } else if (entry_of[size_t(recno)] >= 0) {
      fault("record " + std::to_string(recno) + " has two keys");
    } else {
      entry_of[size_t(recno)] = int64_t(i);
    }
  }
  const auto has_key = [&](const uint8_t* key) {
    if (!ordered) return false;
    size_t low = 0, high = entries;
    while (low < high) {
      const size_t mid = low + (high - low) / 2;
      if (CompareKeys(key_of(mid), key) < 0) low = mid + 1;
      else high = mid;
    }
    return low < entries && CompareKeys(key_of(low), key) == 0;
  };
  const int64_t record_size = std::max(dbf_file_->RecordSize(), 1);
  const int64_t batch = std::max<int64_t>(1, (int64_t(1) << 16) / record_size);
  std::vector<uint8_t> records(size_t(record_size * batch));
  uint8_t key[kMaxKeyLength];
  for (int64_t first = 1; first <= count; first += batch) {
    const int64_t want = std::min(batch, count - first + 1);
    const int64_t got =
        dbf_file_->ReadBlock(records.data(), want * record_size, dbf_file_->RecordOffset(first)) / record_size;
    for (int64_t i = 0; i < got; ++i) {
      const uint8_t* record = records.data() + i * record_size;
      const int64_t n = first + i;
      const int64_t at = entry_of[size_t(n)];
      // Deleted records keep their keys in ordinary and unique tags only.
      if (record[0] == '*' && tag.unique == 2) {
        if (at >= 0) fault("a key names record " + std::to_string(n) + ", which is deleted");
        continue;
      }
      BuildKey(record, key);
      if (at >= 0) {
        if (CompareKeys(key_of(size_t(at)), key) != 0) fault("the key of record " + std::to_string(n) + " is not the record's");
      } else if (tag.unique == 0 || !has_key(key)) {
        // A unique tag keeps one record of a key.
        fault("record " + std::to_string(n) + " is missing from the tag");
      }
    }
    if (got < want) break;
  }
  // A tag gone wrong shows much the same fault over and over.
  constexpr size_t kShown = 20;
  if (faults.size() - first_fault > kShown) {
    const size_t more = faults.size() - first_fault - kShown;
    faults.resize(first_fault + kShown);
    fault("and " + std::to_string(more) + " more faults");
  }
}

void TIndexFile::CheckIntegrity(std::vector<std::string>& faults) {
  if (!Active() || unusable_) return;
  const int64_t size = NodeFileSize();
  const int64_t pages = (size + kPageSize - 1) / kPageSize;
  const int64_t counted = NextFreePage();
  // Pages past the count are harmless (a creation cut short before the
  // header took its tag); a count past the file names pages nobody wrote.
  if (counted > pages)
    faults.push_back(ExtractFileName(FileName()) + ": the header counts " + std::to_string(counted) +
                     " pages, the file holds " + std::to_string(pages));
  TScopedValue<int> keep(selected_);
  for (int i = 0; i < TagCount(); ++i) CheckTag(i, faults);
}
