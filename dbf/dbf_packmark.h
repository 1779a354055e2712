// The record a pack keeps beside a table while it replaces the table's files,
// so that a pack stopped at any point (a crash, a kill, a power cut) is
// finished or undone by the next open instead of leaving the old table paired
// with the packed memo file. The file's layout is described in dbf_packmark.cpp.
#pragma once

#include <string>

// The files of one pack, as full names; all of them lie in the table's folder.
// Without memo fields the three memo names are empty; keep is empty as well
// when the memo file could not be given a second name.
struct TPackFiles {
  std::string table;       // the table file being packed
  std::string fresh;       // the packed table, written under a free name
  std::string memo;        // the table's memo file
  std::string fresh_memo;  // the packed memo file, written under a free name
  std::string keep;        // a second name of the old memo file (a hard link)
};

// What a pack is doing, as the marker says.
enum TPackState : char {
  // The new files are being written: they are incomplete, the old pair is whole.
  psCopying = 'C',
  // The new files are complete and being renamed over the old ones.
  psRenaming = 'R',
  // The memo file was replaced but the table could not be: the old memo file
  // is being put back from its second name.
  psUndoing = 'U',
  // The packed files are in place; the index files still hold the old
  // record numbers until an open that may write them rebuilds their tags.
  psTagsPending = 'I',
};

// The marker of a pack in progress. Made before the first new file; its
// exclusive lock is held until it is removed, so an opener in another process
// waits for a live pack instead of finishing it under its feet. Destroyed
// without Remove() (the pack stopped half way) it stays for the next open.
class TPackMarker {
 public:
  TPackMarker() = default;
  ~TPackMarker();
  TPackMarker(const TPackMarker&) = delete;
  TPackMarker& operator=(const TPackMarker&) = delete;

  // Writes the marker in state psCopying and puts it on the disk. Raises
  // EDbfWriteError when it cannot be written (nothing is left then).
  void Create(const TPackFiles& files);
  // Changes the state on the disk; EDbfWriteError when that failed.
  void SetState(TPackState state);
  // Deletes the marker: the pack is complete or fully undone.
  void Remove();

  // The marker's name for a table file: the table's name followed by ".pack".
  static std::string FileName(const std::string& table);

 private:
  std::string name_;
  int fd_ = -1;
};

// Run before a table file is opened: when a marker lies beside it, waits for
// a pack still running in another process, then completes the renames of a
// pack that had begun them or removes the new files of one that had not. True
// when the table file is now the packed one: its index files hold the old
// record numbers and must be rebuilt, and the marker stays (in state
// psTagsPending) until TagsRebuilt says they were; otherwise the marker goes.
// A marker that cannot be read, that does not describe this table or that
// belongs to a user who is neither the current one nor the table's owner
// raises EDbfError naming it, and nothing is touched.
bool FinishInterruptedPack(const std::string& table);

// The index files of a packed table were rebuilt (or it has none): the
// marker of a pack that waited for that goes.
void TagsRebuilt(const std::string& table);

// Puts a file's (or, for a folder, its entries') data on the disk before a
// step depends on it ("" is the current folder); false when that failed.
bool SyncPath(const std::string& name);
