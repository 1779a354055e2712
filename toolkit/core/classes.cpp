#include "toolkit/core/classes.h"
#include "toolkit/core/filereplace.h"
#include "toolkit/core/filer.h"

#include "toolkit/core/typinfo.h"

#include <errno.h>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <numeric>
#include <stdexcept>

namespace {

template <typename E>
[[noreturn]] void RaiseWithInt(const char* message_format, int data) {
  char text[256];
  std::snprintf(text, sizeof text, message_format, data);
  throw E(text);
}

constexpr const char* kListIndexError = "List index out of bounds (%d)";
constexpr const char* kListCapacityError = "List capacity out of bounds (%d)";
constexpr const char* kListCountError = "List count out of bounds (%d)";
constexpr const char* kSortedListError = "Operation not allowed on sorted list";
constexpr const char* kDuplicateString = "String list does not allow duplicates";
constexpr const char* kMemoryStreamFull = "Out of memory while expanding memory stream";
// Beyond any memory this program will see (and beyond what the sanitizers'
// allocator accepts): a larger size is a damaged value, refused up front.
constexpr int64_t kMaxMemoryStreamSize = int64_t{1} << 40;

}  // namespace

// ---- TList ----------------------------------------------------------------------

TList::~TList() { Clear(); }

void RaiseListIndexError(int index) { RaiseWithInt<EListError>(kListIndexError, index); }

void TList::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) RaiseListIndexError(index);
}

void TList::Grow() {
  int delta = capacity_ > 64 ? capacity_ / 4 : (capacity_ > 8 ? 16 : 4);
  SetCapacity(capacity_ + delta);
}

int TList::Add(void* item) {
  const int index = Count();
  if (index == capacity_) Grow();
  items_.push_back(item);
  if (item != nullptr) Notify(item, lnAdded);
  return index;
}

void TList::Insert(int index, void* item) {
  if (index < 0 || index > Count()) RaiseWithInt<EListError>(kListIndexError, index);
  if (Count() == capacity_) Grow();
  items_.insert(items_.begin() + index, item);
  if (item != nullptr) Notify(item, lnAdded);
}

void TList::Delete(int index) {
  CheckIndex(index);
  void* item = items_[static_cast<size_t>(index)];
  items_.erase(items_.begin() + index);
  if (item != nullptr) Notify(item, lnDeleted);
}

void TList::Clear() {
  SetCount(0);
  SetCapacity(0);
}

int TList::IndexOf(const void* item) const {
  auto it = std::find(items_.begin(), items_.end(), item);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

int TList::Remove(void* item) {
  const int index = IndexOf(item);
  if (index >= 0) Delete(index);
  return index;
}

void* TList::Extract(void* item) {
  const int index = IndexOf(item);
  if (index < 0) return nullptr;
  items_.erase(items_.begin() + index);
  Notify(item, lnExtracted);
  return item;
}

void TList::Exchange(int index1, int index2) {
  CheckIndex(index1);
  CheckIndex(index2);
  std::swap(items_[static_cast<size_t>(index1)], items_[static_cast<size_t>(index2)]);
}

void TList::Move(int cur_index, int new_index) {
  if (cur_index == new_index) return;
  CheckIndex(new_index);
  CheckIndex(cur_index);
  void* item = items_[static_cast<size_t>(cur_index)];
  items_.erase(items_.begin() + cur_index);
  items_.insert(items_.begin() + new_index, item);
}

void TList::Pack() { items_.erase(std::remove(items_.begin(), items_.end(), nullptr), items_.end()); }

void TList::Sort(const TListSortCompare& compare) {
  std::stable_sort(items_.begin(), items_.end(), [&](void* a, void* b) { return compare(a, b) < 0; });
}

void TList::SetCount(int count) {
  if (count < 0) RaiseWithInt<EListError>(kListCountError, count);
  if (count > capacity_) SetCapacity(count);
  if (count > Count()) {
    items_.resize(static_cast<size_t>(count), nullptr);
    return;
  }
  for (int i = Count() - 1; i >= count; --i) Delete(i);
}

void TList::SetCapacity(int capacity) {
  if (capacity < Count()) RaiseWithInt<EListError>(kListCapacityError, capacity);
  if (capacity == 0) {
    std::vector<void*>().swap(items_);
  } else {
    items_.reserve(static_cast<size_t>(capacity));
  }
  capacity_ = capacity;
}

void* TList::Items(int index) const {
  CheckIndex(index);
  return items_[static_cast<size_t>(index)];
}

void TList::SetItems(int index, void* item) {
  CheckIndex(index);
  void* old = items_[static_cast<size_t>(index)];
  if (old == item) return;
  items_[static_cast<size_t>(index)] = item;
  if (old != nullptr) Notify(old, lnDeleted);
  if (item != nullptr) Notify(item, lnAdded);
}

void TList::Notify(void*, TListNotification) {}

// ---- TStrings --------------------------------------------------------------------

TStrings::~TStrings() { assert(update_count_ == 0 && "a string list was freed inside its own update"); }

void TStrings::SetStrings(int index, std::string_view s) {
  void* object = Objects(index);
  InUpdate([&] {
    Delete(index);
    InsertObject(index, s, object);
  });
}

void* TStrings::Objects(int) const { return nullptr; }
void TStrings::SetObjects(int, void*) {}

int TStrings::Add(std::string_view s) {
  const int index = Count();
  Insert(index, s);
  return index;
}

int TStrings::AddObject(std::string_view s, void* object) {
  const int index = Add(s);
  SetObjects(index, object);
  return index;
}

void TStrings::InsertObject(int index, std::string_view s, void* object) {
  Insert(index, s);
  SetObjects(index, object);
}

void TStrings::AddStrings(const TStrings& strings) {
  InUpdate([&] {
    for (int i = 0; i < strings.Count(); ++i) AddObject(strings.Strings(i), strings.Objects(i));
  });
}

const TClassInfo& TStrings::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TStrings>, "TStrings", &TPersistent::StaticClassInfo());
  return info;
}

const TClassInfo& TStringList::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TStringList>, "TStringList", &TStrings::StaticClassInfo());
  return info;
}

void TStrings::Assign(const TPersistent* source) {
  if (const auto* strings = dynamic_cast<const TStrings*>(source)) {
    Assign(*strings);
    return;
  }
  TPersistent::Assign(source);
}

void TStrings::DefineProperties(TFiler& filer) {
  TPersistent::DefineProperties(filer);
  filer.DefineProperty(
      "Strings",
      [this](TReader& reader) {
        reader.ReadListBegin();
        InUpdate([&] {
          Clear();
          while (!reader.EndOfList()) Add(reader.ReadString());
        });
        reader.ReadListEnd();
      },
      [this](TWriter& writer) {
        writer.WriteListBegin();
        for (int i = 0; i < Count(); ++i) writer.WriteString(Strings(i));
        writer.WriteListEnd();
      },
      Count() > 0);
}

void TStrings::Assign(const TStrings& source) {
  if (&source == this) return;
  InUpdate([&] {
    Clear();
    name_value_separator_ = source.name_value_separator_;
    delimiter_ = source.delimiter_;
    quote_char_ = source.quote_char_;
    AddStrings(source);
  });
}

int TStrings::IndexOf(std::string_view s) const {
  for (int i = 0; i < Count(); ++i) {
    if (CompareStrings(Strings(i), s) == 0) return i;
  }
  return -1;
}

int TStrings::IndexOfName(std::string_view name) const {
  for (int i = 0; i < Count(); ++i) {
    const AnsiString s = Strings(i);
    const size_t sep = s.find(name_value_separator_);
    if (sep != AnsiString::npos && CompareStrings(std::string_view(s).substr(0, sep), name) == 0) return i;
  }
  return -1;
}

int TStrings::IndexOfObject(const void* object) const {
  for (int i = 0; i < Count(); ++i) {
    if (Objects(i) == object) return i;
  }
  return -1;
}

void TStrings::Exchange(int index1, int index2) {
  InUpdate([&] {
    const AnsiString s1 = Strings(index1);
    void* o1 = Objects(index1);
    SetStrings(index1, Strings(index2));
    SetObjects(index1, Objects(index2));
    SetStrings(index2, s1);
    SetObjects(index2, o1);
  });
}

void TStrings::Move(int cur_index, int new_index) {
  if (cur_index == new_index) return;
  InUpdate([&] {
    const AnsiString s = Strings(cur_index);
    void* object = Objects(cur_index);
    if (new_index < 0 || new_index >= Count()) Error(kListIndexError, new_index);
    Delete(cur_index);
    InsertObject(new_index, s, object);
  });
}

bool TStrings::Equals(const TStrings& other) const {
  if (Count() != other.Count()) return false;
  for (int i = 0; i < Count(); ++i) {
    if (Strings(i) != other.Strings(i)) return false;
  }
  return true;
}

AnsiString TStrings::Names(int index) const {
  const AnsiString s = Strings(index);
  const size_t sep = s.find(name_value_separator_);
  return sep == AnsiString::npos ? AnsiString() : s.substr(0, sep);
}

AnsiString TStrings::Values(std::string_view name) const {
  const int index = IndexOfName(name);
  return index < 0 ? AnsiString() : ValueFromIndex(index);
}

void TStrings::SetValues(std::string_view name, std::string_view value) {
  const int index = IndexOfName(name);
  if (value.empty()) {
    if (index >= 0) Delete(index);
    return;
  }
  AnsiString line(name);
  line.push_back(name_value_separator_);
  line.append(value);
  if (index < 0) {
    Add(line);
  } else {
    SetStrings(index, line);
  }
}

AnsiString TStrings::ValueFromIndex(int index) const {
  const AnsiString s = Strings(index);
  const size_t sep = s.find(name_value_separator_);
  return sep == AnsiString::npos ? AnsiString() : s.substr(sep + 1);
}

void TStrings::SetValueFromIndex(int index, std::string_view value) {
  if (value.empty()) {
    Delete(index);
    return;
  }
  const AnsiString name = Names(index);
  AnsiString line = name.empty() && Strings(index).find(name_value_separator_) == AnsiString::npos
                        ? Strings(index)
                        : name;
  line.push_back(name_value_separator_);
  line.append(value);
  SetStrings(index, line);
}

AnsiString TStrings::Text() const {
  AnsiString out;
  for (int i = 0; i < Count(); ++i) {
    out += Strings(i);
    out += "\r\n";
  }
  return out;
}

void TStrings::SetText(std::string_view text) {
  InUpdate([&] {
    Clear();
    size_t i = 0;
    while (i < text.size()) {
      const size_t start = i;
      while (i < text.size() && text[i] != '\r' && text[i] != '\n') ++i;
      Add(text.substr(start, i - start));
      if (i < text.size() && text[i] == '\r') ++i;
      if (i < text.size() && text[i] == '\n') ++i;
    }
  });
}

AnsiString TStrings::DelimitedText() const { return JoinDelimited(delimiter_, quote_char_); }

void TStrings::SetDelimitedText(std::string_view text) { SplitDelimited(text, delimiter_, quote_char_); }

AnsiString TStrings::CommaText() const { return JoinDelimited(',', '"'); }

void TStrings::SetCommaText(std::string_view text) { SplitDelimited(text, ',', '"'); }

AnsiString TStrings::JoinDelimited(char delimiter, char quote_char) const {
  if (Count() == 1 && Strings(0).empty()) return AnsiString(2, quote_char);
  AnsiString out;
  for (int i = 0; i < Count(); ++i) {
    const AnsiString s = Strings(i);
    const bool quote = std::any_of(s.begin(), s.end(), [&](char c) {
      return static_cast<unsigned char>(c) <= ' ' || c == quote_char || c == delimiter;
    });
    if (i > 0) out.push_back(delimiter);
    out += quote ? AnsiQuotedStr(s, quote_char) : s;
  }
  return out;
}

void TStrings::SplitDelimited(std::string_view text, char delimiter, char quote_char) {
  auto is_blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  InUpdate([&] {
    Clear();
    size_t i = 0;
    while (i < text.size() && is_blank(text[i])) ++i;
    while (i < text.size()) {
      if (text[i] == quote_char) {
        Add(AnsiExtractQuotedStr(text, &i, quote_char));
      } else {
        const size_t start = i;
        while (i < text.size() && !is_blank(text[i]) && text[i] != delimiter) ++i;
        Add(text.substr(start, i - start));
      }
      while (i < text.size() && is_blank(text[i])) ++i;
      if (i < text.size() && text[i] == delimiter) {
        // A delimiter at the very end stands for one more, empty item.
        if (i + 1 == text.size()) Add("");
        ++i;
        while (i < text.size() && is_blank(text[i])) ++i;
      }
    }
  });
}

void TStrings::LoadFromFile(const std::string& file_name) {
  TFileStream stream(file_name, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(stream);
}

void TStrings::SaveToFile(const std::string& file_name) const {
  TReplaceFileStream stream(file_name);
  SaveToStream(stream);
  stream.Commit();
}

void TStrings::LoadFromStream(TStream& stream) {
  const int64_t size = stream.Size() - stream.Position();
  std::string bytes(static_cast<size_t>(std::max<int64_t>(size, 0)), '\0');
  stream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  SetText(bytes);
}

void TStrings::SaveToStream(TStream& stream) const {
  const AnsiString text = Text();
  stream.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

void TStrings::BeginUpdate() {
  if (update_count_++ == 0) SetUpdateState(true);
}

void TStrings::EndUpdate() {
  // An EndUpdate without its BeginUpdate is a caller's fault, ignored in release.
  assert(update_count_ > 0 && "EndUpdate without BeginUpdate");
  if (update_count_ == 0) return;
  if (--update_count_ == 0) SetUpdateState(false);
}

void TStrings::SetUpdateState(bool) {}

int TStrings::CompareStrings(std::string_view a, std::string_view b) const { return AnsiCompareText(a, b); }

void TStrings::Error(const char* message_format, int data) const {
  RaiseWithInt<EStringListError>(message_format, data);
}

// ---- TStringList ------------------------------------------------------------------

TStringList::~TStringList() {
  // No notices from a list that is going away.
  OnChange = nullptr;
  OnChanging = nullptr;
}

void TStringList::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) Error(kListIndexError, index);
}

AnsiString TStringList::Strings(int index) const {
  CheckIndex(index);
  return items_[static_cast<size_t>(index)].text;
}

void TStringList::SetStrings(int index, std::string_view s) {
  if (sorted_) throw EStringListError(kSortedListError);
  CheckIndex(index);
  Changing();
  items_[static_cast<size_t>(index)].text.assign(s);
  Changed();
}

void* TStringList::Objects(int index) const {
  CheckIndex(index);
  return items_[static_cast<size_t>(index)].object;
}

void TStringList::SetObjects(int index, void* object) {
  CheckIndex(index);
  Changing();
  items_[static_cast<size_t>(index)].object = object;
  Changed();
}

void TStringList::Clear() {
  if (items_.empty()) return;
  Changing();
  items_.clear();
  Changed();
}

void TStringList::Delete(int index) {
  CheckIndex(index);
  Changing();
  items_.erase(items_.begin() + index);
  Changed();
}

void TStringList::Insert(int index, std::string_view s) {
  if (sorted_) throw EStringListError(kSortedListError);
  if (index < 0 || index > Count()) Error(kListIndexError, index);
  InsertItem(index, s, nullptr);
}

void TStringList::InsertItem(int index, std::string_view s, void* object) {
  Changing();
  items_.insert(items_.begin() + index, Item{AnsiString(s), object});
  Changed();
}

int TStringList::Add(std::string_view s) { return AddObject(s, nullptr); }

int TStringList::AddObject(std::string_view s, void* object) {
  int index = Count();
  if (sorted_ && Find(s, &index)) {
    if (duplicates_ == dupIgnore) return index;
    if (duplicates_ == dupError) throw EStringListError(kDuplicateString);
    // dupAccept: after the equal strings already there, so the order of
    // equal strings is the order they came in.
    while (index < Count() && CompareStrings(items_[static_cast<size_t>(index)].text, s) == 0) ++index;
  }
  InsertItem(index, s, object);
  return index;
}

int TStringList::IndexOf(std::string_view s) const {
  if (!sorted_) return TStrings::IndexOf(s);
  int index = -1;
  return Find(s, &index) ? index : -1;
}

void TStringList::Exchange(int index1, int index2) {
  CheckIndex(index1);
  CheckIndex(index2);
  Changing();
  std::swap(items_[static_cast<size_t>(index1)], items_[static_cast<size_t>(index2)]);
  Changed();
}

bool TStringList::Find(std::string_view s, int* index) const {
  // The first position whose string is not less than s.
  int lo = 0;
  int hi = Count();
  while (lo < hi) {
    const int mid = lo + (hi - lo) / 2;
    if (CompareStrings(items_[static_cast<size_t>(mid)].text, s) < 0) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  *index = lo;
  return lo < Count() && CompareStrings(items_[static_cast<size_t>(lo)].text, s) == 0;
}

void TStringList::Sort() {
  CustomSort([](TStringList& list, int a, int b) {
    return list.CompareStrings(list.items_[static_cast<size_t>(a)].text, list.items_[static_cast<size_t>(b)].text);
  });
}

void TStringList::CustomSort(const TStringListSortCompare& compare) {
  if (Count() < 2) return;
  Changing();
  // The comparer sees the list unchanged while the order is worked out on
  // indexes; the items are moved once at the end.
  std::vector<int> order(items_.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return compare(*this, a, b) < 0; });
  std::vector<Item> sorted;
  sorted.reserve(items_.size());
  for (int i : order) sorted.push_back(std::move(items_[static_cast<size_t>(i)]));
  items_ = std::move(sorted);
  Changed();
}

void TStringList::SetSorted(bool sorted) {
  if (sorted == sorted_) return;
  if (sorted) Sort();
  sorted_ = sorted;
}

void TStringList::SetCaseSensitive(bool case_sensitive) {
  if (case_sensitive == case_sensitive_) return;
  case_sensitive_ = case_sensitive;
  if (sorted_) Sort();
}

void TStringList::SetUpdateState(bool updating) {
  // Called with the update count already raised (or not yet lowered), so the
  // notices go out directly.
  if (updating) {
    if (OnChanging) OnChanging(this);
  } else {
    if (OnChange) OnChange(this);
  }
}

int TStringList::CompareStrings(std::string_view a, std::string_view b) const {
  return case_sensitive_ ? AnsiCompareStr(a, b) : AnsiCompareText(a, b);
}

void TStringList::Changing() {
  if (UpdateCount() == 0 && OnChanging) OnChanging(this);
}

void TStringList::Changed() {
  if (UpdateCount() == 0 && OnChange) OnChange(this);
}

// ---- TStream ----------------------------------------------------------------------

TStream::~TStream() = default;

int64_t TStream::Size() {
  const int64_t position = Seek(0, soFromCurrent);
  const int64_t size = Seek(0, soFromEnd);
  Seek(position, soFromBeginning);
  return size;
}

void TStream::SetSize(int64_t) {}

void TStream::ReadBuffer(void* buffer, int64_t count) {
  if (count <= 0) return;
  if (Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count <= 0) return;
  if (Write(buffer, count) != count) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count < 0) return 0;
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  const int64_t total = count;
  std::string buffer(static_cast<size_t>(std::min<int64_t>(std::max<int64_t>(count, 0), 0xF000)), '\0');
  while (count > 0) {
    const int64_t n = std::min<int64_t>(count, static_cast<int64_t>(buffer.size()));
    source.ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    count -= n;
  }
  return total;
}

// ---- TMemoryStream ----------------------------------------------------------------

TMemoryStream::~TMemoryStream() = default;

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  // A position before the start (after a bad Seek) or past the end reads nothing.
  if (count <= 0 || position_ < 0 || position_ >= Size()) return 0;
  const int64_t n = std::min(count, Size() - position_);
  std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0 || position_ < 0 || count > kMaxMemoryStreamSize) return 0;
  // Streams are mostly written piece by piece at their end: appended, not
  // first zero-filled and then copied over.
  if (position_ == Size() && position_ <= kMaxMemoryStreamSize - count) {
    try {
      data_.append(static_cast<const char*>(buffer), static_cast<size_t>(count));
    } catch (const std::bad_alloc&) {
      throw EStreamError(kMemoryStreamFull);
    } catch (const std::length_error&) {
      throw EStreamError(kMemoryStreamFull);
    }
    position_ += count;
    return count;
  }
  int64_t end;
  if (__builtin_add_overflow(position_, count, &end)) end = INT64_MAX;
  if (end > Size()) SetSize(end);
  std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
  position_ = end;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int64_t base = origin == soFromCurrent ? position_ : (origin == soFromEnd ? Size() : 0);
  int64_t target;
  // An offset that overflows leaves the position where it was.
  if (__builtin_add_overflow(base, offset, &target)) return -1;
  position_ = target;
  return position_;
}

void TMemoryStream::SetSize(int64_t size) {
  if (size < 0) size = 0;
  // A size taken from a damaged file must end in the toolkit's error, not in
  // std::bad_alloc escaping through the message loop.
  if (size > kMaxMemoryStreamSize) throw EStreamError(kMemoryStreamFull);
  try {
    data_.resize(static_cast<size_t>(size), '\0');
  } catch (const std::bad_alloc&) {
    throw EStreamError(kMemoryStreamFull);
  } catch (const std::length_error&) {
    throw EStreamError(kMemoryStreamFull);
  }
  if (position_ > size) position_ = size;
}

void TMemoryStream::Clear() {
  std::string().swap(data_);
  position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& stream) {
  stream.SetPosition(0);
  const int64_t size = stream.Size();
  SetSize(size);
  if (size > 0) stream.ReadBuffer(data_.data(), size);
  position_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& file_name) {
  TFileStream stream(file_name, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(stream);
}

void TMemoryStream::SaveToStream(TStream& stream) {
  stream.WriteBuffer(data_.data(), Size());
}

void TMemoryStream::SaveToFile(const std::string& file_name) {
  TReplaceFileStream stream(file_name);
  SaveToStream(stream);
  stream.Commit();
}

// ---- TStringStream ----------------------------------------------------------------

TStringStream::TStringStream(std::string_view data) {
  WriteString(data);
  SetPosition(0);
}

std::string TStringStream::DataString() const { return std::string(Bytes()); }

std::string TStringStream::ReadString(int64_t count) {
  if (count <= 0) return std::string();
  std::string out(static_cast<size_t>(std::min(count, std::max<int64_t>(Size() - Position(), 0))), '\0');
  out.resize(static_cast<size_t>(Read(out.data(), static_cast<int64_t>(out.size()))));
  return out;
}

void TStringStream::WriteString(std::string_view s) { WriteBuffer(s.data(), static_cast<int64_t>(s.size())); }

// ---- TFileStream ------------------------------------------------------------------

namespace {

std::string SystemErrorText(int err) {
  char buffer[256];
  // The GNU strerror_r returns the text, which may or may not be in buffer.
  const char* text = strerror_r(err, buffer, sizeof buffer);
  std::string out = text;
  if (!out.empty() && out.back() != '.') out.push_back('.');
  return out;
}

template <typename E>
[[noreturn]] void RaiseFileError(const char* what, const std::string& file_name, int err) {
  // The file name is UTF-8; the message is 1251.
  throw E(std::string(what) + " \"" + Utf8ToAnsi(file_name) + "\". " + Utf8ToAnsi(SystemErrorText(err)));
}

}  // namespace

// ---- TFileReplacement ---------------------------------------------------------

void KeepOwnerAndMode(int fd, unsigned uid, unsigned gid, unsigned mode) {
  // Only the owner's superuser may give a file away; anyone may pass it to
  // a group they belong to. What cannot be kept stays the process's own.
  bool owner_kept = ::fchown(fd, uid_t(uid), gid_t(gid)) == 0;
  if (!owner_kept) {
    ::fchown(fd, uid_t(-1), gid_t(gid));
    struct stat now;
    owner_kept = ::fstat(fd, &now) == 0 && now.st_uid == uid && now.st_gid == gid;
  }
  ::fchmod(fd, mode_t(mode & (owner_kept ? 07777u : 01777u)));
}

void RemoveStaleReplacements(const std::string& folder) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return;
  const std::string prefix = ".~kiv7-";
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    unsigned long pid = 0, n = 0;
    int used = 0;
    if (std::sscanf(name.c_str() + prefix.size(), "%lu-%lu.tmp%n", &pid, &n, &used) != 2 ||
        prefix.size() + size_t(used) != name.size() || pid == 0 || pid > INT32_MAX)
      continue;
    // A living process (or one of another user: EPERM) may still write it.
    if (pid_t(pid) == ::getpid() || ::kill(pid_t(pid), 0) == 0 || errno != ESRCH) continue;
    ::unlinkat(::dirfd(dir), name.c_str(), 0);
  }
  ::closedir(dir);
}

TFileReplacement::~TFileReplacement() {
  if (file_) std::fclose(file_);
  if (!temp_.empty()) ::unlink(temp_.c_str());
}

int TFileReplacement::Open(const std::string& file_name) {
  if (file_name.empty()) return ENOENT;
  target_ = file_name;
  // A symbolic link stays: its target is what gets replaced.
  struct stat st;
  if (::lstat(file_name.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = ::realpath(file_name.c_str(), nullptr)) {
      target_ = real;
      std::free(real);
    }
  }
  const size_t slash = target_.rfind('/');
  folder_ = slash == std::string::npos ? std::string("./") : target_.substr(0, slash + 1);
  const bool exists = ::stat(target_.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) return EISDIR;
  RemoveStaleReplacements(folder_);
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string path = folder_ + ".~kiv7-" + std::to_string(::getpid()) + "-" + std::to_string(++counter) + ".tmp";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return errno;
    }
    temp_ = std::move(path);
    if (exists) KeepOwnerAndMode(fd, st.st_uid, st.st_gid, st.st_mode);
    file_ = ::fdopen(fd, "w+b");
    if (!file_) {
      const int err = errno;
      ::close(fd);
      return err;
    }
    return 0;
  }
  return EEXIST;
}

int TFileReplacement::Commit() {
  if (!file_) return EBADF;
  int err = 0;
  if (std::fflush(file_) != 0 || std::ferror(file_) || ::fsync(::fileno(file_)) != 0) err = errno ? errno : EIO;
  if (std::fclose(file_) != 0 && err == 0) err = errno;
  file_ = nullptr;
  if (err != 0) return err;
  if (::rename(temp_.c_str(), target_.c_str()) != 0) return errno;
  temp_.clear();
  // The rename itself made durable; a folder that cannot be synced is no error.
  const int dir_fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd >= 0) {
    ::fsync(dir_fd);
    ::close(dir_fd);
  }
  return 0;
}

// ---- TReplaceFileStream --------------------------------------------------------

TReplaceFileStream::TReplaceFileStream(const std::string& file_name) : file_name_(file_name) {
  if (const int err = file_.Open(file_name)) RaiseFileError<EFCreateError>("Cannot create file", file_name, err);
}

void TReplaceFileStream::WriteFailed(int err) const {
  RaiseFileError<EWriteError>("Cannot write file", file_name_, err ? err : EIO);
}

int64_t TReplaceFileStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || std::fflush(file_.File()) != 0) return 0;
  return static_cast<int64_t>(std::fread(buffer, 1, static_cast<size_t>(count), file_.File()));
}

int64_t TReplaceFileStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  errno = 0;
  const size_t done = std::fwrite(buffer, 1, static_cast<size_t>(count), file_.File());
  if (done != static_cast<size_t>(count)) WriteFailed(errno);
  return static_cast<int64_t>(done);
}

int64_t TReplaceFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int whence = origin == soFromBeginning ? SEEK_SET : (origin == soFromCurrent ? SEEK_CUR : SEEK_END);
  if (::fseeko(file_.File(), static_cast<off_t>(offset), whence) != 0) return -1;
  return static_cast<int64_t>(::ftello(file_.File()));
}

int64_t TReplaceFileStream::Size() {
  struct stat st;
  errno = 0;
  if (std::fflush(file_.File()) != 0) WriteFailed(errno);
  if (::fstat(::fileno(file_.File()), &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

void TReplaceFileStream::SetSize(int64_t size) {
  const int64_t position = Position();
  errno = 0;
  if (std::fflush(file_.File()) != 0) WriteFailed(errno);
  if (size < 0 || ::ftruncate(::fileno(file_.File()), static_cast<off_t>(size)) != 0) WriteFailed(errno);
  if (position > size) Seek(0, soFromEnd);
}

void TReplaceFileStream::Commit() {
  if (const int err = file_.Commit()) WriteFailed(err);
}

TFileStream::TFileStream(const std::string& file_name, uint16_t mode) : file_name_(file_name) {
  if ((mode & fmCreate) == fmCreate) {
    fd_ = ::open(file_name.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) RaiseFileError<EFCreateError>("Cannot create file", file_name, errno);
    return;
  }
  int flags = O_RDONLY;
  switch (mode & 0x0F) {
    case fmOpenWrite:
      flags = O_WRONLY;
      break;
    case fmOpenReadWrite:
      flags = O_RDWR;
      break;
    default:
      break;
  }
  fd_ = ::open(file_name.c_str(), flags | O_CLOEXEC);
  if (fd_ < 0) RaiseFileError<EFOpenError>("Cannot open file", file_name, errno);
  struct stat st;
  if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    RaiseFileError<EFOpenError>("Cannot open file", file_name, EISDIR);
  }
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  int64_t done = 0;
  auto* p = static_cast<char*>(buffer);
  while (done < count) {
    const ssize_t n = ::read(fd_, p + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  int64_t done = 0;
  const auto* p = static_cast<const char*>(buffer);
  while (done < count) {
    const ssize_t n = ::write(fd_, p + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int whence = origin == soFromBeginning ? SEEK_SET : (origin == soFromCurrent ? SEEK_CUR : SEEK_END);
  return static_cast<int64_t>(::lseek(fd_, static_cast<off_t>(offset), whence));
}

int64_t TFileStream::Size() {
  struct stat st;
  if (::fstat(fd_, &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

void TFileStream::SetSize(int64_t size) {
  const int64_t position = Position();
  if (size < 0 || ::ftruncate(fd_, static_cast<off_t>(size)) != 0) throw EWriteError("Stream write error");
  if (position > size) Seek(0, soFromEnd);
}
