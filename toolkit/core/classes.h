// The toolkit's containers and streams: TList of untyped pointers, the string
// lists, and byte streams over memory and files. Index errors, short
// transfers and file errors raise the toolkit's exceptions with its texts.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/core/component.h"
#include "toolkit/core/exceptions.h"
#include "toolkit/core/scope.h"
#include "toolkit/core/text.h"

// ---- TList ----------------------------------------------------------------

// What happened to a pointer of a TList, told to Notify.
enum TListNotification { lnAdded, lnExtracted, lnDeleted };

// Orders two items: <0, 0 or >0.
using TListSortCompare = std::function<int(void* item1, void* item2)>;

// Raises EListError "List index out of bounds (%d)": a list's answer to an
// index outside it, for lists kept in other shapes too.
[[noreturn]] void RaiseListIndexError(int index);

// A list of untyped pointers. It owns nothing: deleting an item only removes
// the pointer. Descendants hear of every change through Notify; one that acts
// on lnDeleted clears the list in its own destructor, since the base
// destructor can no longer reach the override.
class TList {
 public:
  TList() = default;
  virtual ~TList();
  TList(const TList&) = delete;
  TList& operator=(const TList&) = delete;

  // Appends an item; returns its index.
  int Add(void* item);
  // Inserts an item before index (index == Count appends).
  void Insert(int index, void* item);
  // Removes the item at index.
  void Delete(int index);
  // Removes every item and releases the storage.
  virtual void Clear();
  // The index of the first occurrence of item, -1 when absent.
  int IndexOf(const void* item) const;
  // Removes the first occurrence of item; returns its former index or -1.
  int Remove(void* item);
  // Removes the first occurrence of item without a deletion notice; returns
  // the item, or nullptr when absent.
  void* Extract(void* item);
  // Swaps two items.
  void Exchange(int index1, int index2);
  // Moves the item at cur_index so that it ends at new_index.
  void Move(int cur_index, int new_index);
  // Removes every nullptr item.
  void Pack();
  // Sorts by compare (stable).
  void Sort(const TListSortCompare& compare);

  // The number of items; growing adds nullptr items, shrinking deletes.
  int Count() const { return static_cast<int>(items_.size()); }
  void SetCount(int count);
  // The number of items the list holds room for.
  int Capacity() const { return capacity_; }
  void SetCapacity(int capacity);
  // The item at index.
  void* Items(int index) const;
  void SetItems(int index, void* item);
  void* First() const { return Items(0); }
  void* Last() const { return Items(Count() - 1); }
  // Direct access to the pointers (valid until the next change).
  void* const* List() const { return items_.data(); }

 protected:
  // Called after an item was added and before it is deleted or extracted.
  virtual void Notify(void* item, TListNotification action);

 private:
  void CheckIndex(int index) const;
  void Grow();

  std::vector<void*> items_;
  int capacity_ = 0;
};

// ---- TStrings and TStringList --------------------------------------------

class TStream;

// What a sorted string list does when a string is already there.
enum TDuplicates { dupIgnore, dupAccept, dupError };

// An abstract list of 1251 strings, each with an untyped object pointer.
// Text forms: Text (lines ending in CR LF), CommaText and DelimitedText
// (quoted where needed), and "name=value" pairs.
class TStrings : public TPersistent {
  KIV7_PERSISTENT(TStrings)

 public:
  TStrings() = default;
  ~TStrings() override;
  TStrings(const TStrings&) = delete;
  TStrings& operator=(const TStrings&) = delete;

  // ---- the primitive operations a descendant provides
  virtual int Count() const = 0;
  // The string at index.
  virtual AnsiString Strings(int index) const = 0;
  virtual void SetStrings(int index, std::string_view s);
  // The object pointer at index (nullptr when the list keeps none).
  virtual void* Objects(int index) const;
  virtual void SetObjects(int index, void* object);
  virtual void Clear() = 0;
  virtual void Delete(int index) = 0;
  // Inserts s before index (index == Count appends).
  virtual void Insert(int index, std::string_view s) = 0;

  // ---- built on the primitives
  // Appends s; returns its index (a sorted list puts it in its place).
  virtual int Add(std::string_view s);
  virtual int AddObject(std::string_view s, void* object);
  void Append(std::string_view s) { Add(s); }
  void InsertObject(int index, std::string_view s, void* object);
  // Appends every string (and its object) of strings.
  virtual void AddStrings(const TStrings& strings);
  // Replaces the content by that of source (strings and objects).
  virtual void Assign(const TStrings& source);
  // Takes another string list's content; anything else is refused as usual.
  void Assign(const TPersistent* source) override;
  // A stored form keeps the lines as the list "Strings" (left out when there
  // are none); reading it replaces the lines.
  void DefineProperties(TFiler& filer) override;
  // The index of s, compared as the list compares (case-insensitively unless
  // told otherwise), -1 when absent.
  virtual int IndexOf(std::string_view s) const;
  // The index of the first "name=..." whose name matches, case-insensitively.
  int IndexOfName(std::string_view name) const;
  int IndexOfObject(const void* object) const;
  virtual void Exchange(int index1, int index2);
  virtual void Move(int cur_index, int new_index);
  // Same strings in the same order (exact bytes).
  bool Equals(const TStrings& other) const;

  // The name part of "name=value" at index ("" when there is no separator).
  AnsiString Names(int index) const;
  // The value of the first pair named name ("" when absent); setting an empty
  // value deletes the pair, setting a new name appends it.
  AnsiString Values(std::string_view name) const;
  void SetValues(std::string_view name, std::string_view value);
  // The value part of the pair at index.
  AnsiString ValueFromIndex(int index) const;
  void SetValueFromIndex(int index, std::string_view value);
  char NameValueSeparator() const { return name_value_separator_; }
  void SetNameValueSeparator(char c) { name_value_separator_ = c; }

  // Every string followed by CR LF.
  AnsiString Text() const;
  // Splits on CR LF, LF or CR; a final line break adds no empty line.
  virtual void SetText(std::string_view text);
  // The strings joined by Delimiter; a string that is empty-only, or holds a
  // control character, a blank, the quote or the delimiter, is quoted.
  AnsiString DelimitedText() const;
  // Splits at the delimiter and at blanks outside quotes; quoted items keep
  // their blanks and doubled quotes become one.
  void SetDelimitedText(std::string_view text);
  // DelimitedText with ',' and '"'.
  AnsiString CommaText() const;
  void SetCommaText(std::string_view text);
  char Delimiter() const { return delimiter_; }
  void SetDelimiter(char c) { delimiter_ = c; }
  char QuoteChar() const { return quote_char_; }
  void SetQuoteChar(char c) { quote_char_ = c; }

  // Text from and to files (UTF-8 file names, bytes kept as they are) and streams.
  virtual void LoadFromFile(const std::string& file_name);
  virtual void SaveToFile(const std::string& file_name) const;
  virtual void LoadFromStream(TStream& stream);
  virtual void SaveToStream(TStream& stream) const;

  // Defers change notices until the outermost EndUpdate.
  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return update_count_; }

 protected:
  // Told when the first BeginUpdate starts and the last EndUpdate ends.
  virtual void SetUpdateState(bool updating);
  // How the list compares two strings (IndexOf, sorting).
  virtual int CompareStrings(std::string_view a, std::string_view b) const;
  // Runs change between BeginUpdate and EndUpdate, ending the update also
  // when change raises.
  template <typename F>
  void InUpdate(F&& change) {
    TUpdateScope update(*this);
    change();
  }
  // Raises EStringListError with a message holding one integer ("%d").
  [[noreturn]] void Error(const char* message_format, int data) const;

 private:
  AnsiString JoinDelimited(char delimiter, char quote_char) const;
  void SplitDelimited(std::string_view text, char delimiter, char quote_char);

  int update_count_ = 0;
  char name_value_separator_ = '=';
  char delimiter_ = ',';
  char quote_char_ = '"';
};

class TStringList;
// Orders the strings at two indexes of list: <0, 0 or >0.
using TStringListSortCompare = std::function<int(TStringList& list, int index1, int index2)>;
// A change notice of a string list.
using TStringListNotify = std::function<void(TStringList* sender)>;

// The string list: strings with objects, optionally kept sorted.
class TStringList : public TStrings {
  KIV7_PERSISTENT(TStringList)

 public:
  TStringList() = default;
  ~TStringList() override;

  int Count() const override { return static_cast<int>(items_.size()); }
  AnsiString Strings(int index) const override;
  // A sorted list refuses a direct change of a string ("Operation not allowed on sorted list").
  void SetStrings(int index, std::string_view s) override;
  void* Objects(int index) const override;
  void SetObjects(int index, void* object) override;
  void Clear() override;
  void Delete(int index) override;
  // A sorted list refuses insertion at a position.
  void Insert(int index, std::string_view s) override;
  int Add(std::string_view s) override;
  int AddObject(std::string_view s, void* object) override;
  int IndexOf(std::string_view s) const override;
  void Exchange(int index1, int index2) override;

  // Binary search of a sorted list: true when s is there; *index is its index
  // (the first of equal strings), or where it would be inserted.
  virtual bool Find(std::string_view s, int* index) const;
  // Sorts by the list's comparison (stable), or by compare.
  virtual void Sort();
  virtual void CustomSort(const TStringListSortCompare& compare);

  // A sorted list keeps its order on every Add; turning it on sorts.
  bool Sorted() const { return sorted_; }
  void SetSorted(bool sorted);
  // What Add does on a sorted list when the string is there (dupIgnore by default).
  TDuplicates Duplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates duplicates) { duplicates_ = duplicates; }
  // Compare with case (AnsiCompareStr) or without (AnsiCompareText, the default).
  bool CaseSensitive() const { return case_sensitive_; }
  void SetCaseSensitive(bool case_sensitive);

  // Told before and after each change, unless an update is in progress.
  TStringListNotify OnChanging;
  TStringListNotify OnChange;

 protected:
  void SetUpdateState(bool updating) override;
  int CompareStrings(std::string_view a, std::string_view b) const override;
  virtual void Changing();
  virtual void Changed();

 private:
  struct Item {
    AnsiString text;
    void* object = nullptr;
  };
  void CheckIndex(int index) const;
  void InsertItem(int index, std::string_view s, void* object);

  std::vector<Item> items_;
  bool sorted_ = false;
  bool case_sensitive_ = false;
  TDuplicates duplicates_ = dupIgnore;
};

// ---- Streams --------------------------------------------------------------

// Where Seek counts from.
enum TSeekOrigin { soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2 };
inline constexpr TSeekOrigin soBeginning = soFromBeginning;
inline constexpr TSeekOrigin soCurrent = soFromCurrent;
inline constexpr TSeekOrigin soEnd = soFromEnd;

// A byte stream with a position. Read and Write may transfer fewer bytes than
// asked; ReadBuffer and WriteBuffer raise when they do.
class TStream {
 public:
  TStream() = default;
  virtual ~TStream();
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;

  // Reads up to count bytes at the position; returns how many were read.
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Writes up to count bytes at the position; returns how many were written.
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Moves the position; returns the new position (-1 when the stream refuses).
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

  int64_t Position() { return Seek(0, soFromCurrent); }
  void SetPosition(int64_t position) { Seek(position, soFromBeginning); }
  // The number of bytes in the stream.
  virtual int64_t Size();
  // Truncates or extends the stream.
  virtual void SetSize(int64_t size);

  // Reads or writes exactly count bytes, or raises EReadError "Stream read
  // error" / EWriteError "Stream write error".
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);
  // Copies count bytes from source's position; count 0 copies the whole of
  // source from its start. Returns the bytes copied.
  int64_t CopyFrom(TStream& source, int64_t count);
};

// A stream over a growable block of memory.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  ~TMemoryStream() override;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }
  // Extends with zero bytes; a position past the new end moves to the end.
  // Raises EStreamError "Out of memory while expanding memory stream" when
  // the memory cannot be had.
  void SetSize(int64_t size) override;

  // The bytes (valid until the next change of size).
  char* Memory() { return data_.data(); }
  const char* Memory() const { return data_.data(); }
  // The whole content (valid until the next change).
  std::string_view Bytes() const { return data_; }
  // Empties the stream.
  void Clear();
  // Replaces the content by the whole of stream / the file; position 0.
  void LoadFromStream(TStream& stream);
  void LoadFromFile(const std::string& file_name);
  // Writes the whole content to stream / a new file.
  void SaveToStream(TStream& stream);
  void SaveToFile(const std::string& file_name);

 private:
  std::string data_;
  int64_t position_ = 0;
};

// A memory stream that starts with a string and gives its bytes back as one.
class TStringStream : public TMemoryStream {
 public:
  explicit TStringStream(std::string_view data = {});
  // The whole content.
  std::string DataString() const;
  // Reads up to count bytes from the position.
  std::string ReadString(int64_t count);
  // Writes s at the position.
  void WriteString(std::string_view s);
};

// File open modes: one access mode, optionally or-ed with a share mode
// (share modes are accepted; locking is done with byte-range locks).
inline constexpr uint16_t fmCreate = 0xFF00;
inline constexpr uint16_t fmOpenRead = 0x0000;
inline constexpr uint16_t fmOpenWrite = 0x0001;
inline constexpr uint16_t fmOpenReadWrite = 0x0002;
inline constexpr uint16_t fmShareCompat = 0x0000;
inline constexpr uint16_t fmShareExclusive = 0x0010;
inline constexpr uint16_t fmShareDenyWrite = 0x0020;
inline constexpr uint16_t fmShareDenyRead = 0x0030;
inline constexpr uint16_t fmShareDenyNone = 0x0040;

// A stream over a file (UTF-8 name, 64-bit offsets). fmCreate creates or
// truncates the file for reading and writing. Failures raise EFCreateError
// "Cannot create file "%s". %s" or EFOpenError "Cannot open file "%s". %s"
// with the system's reason.
class TFileStream : public TStream {
 public:
  TFileStream(const std::string& file_name, uint16_t mode);
  ~TFileStream() override;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  // Raises EWriteError when the system refuses.
  void SetSize(int64_t size) override;

  // The file descriptor (for byte-range locks).
  int Handle() const { return fd_; }
  const std::string& FileName() const { return file_name_; }

 private:
  std::string file_name_;
  int fd_ = -1;
};
