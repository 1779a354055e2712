// Record snapshots and the grid's selection of records.
//
// The grid names a record by a snapshot: the record's bookmark and, as the
// grid is configured, the values of its unique fields, the values of its
// bookmark fields and its record number. One snapshot marks the grid's
// current record; the multi-selection is a list of snapshots kept in bookmark
// order. Snapshots keep what they captured; a change of the data set does not
// refresh them.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "toolkit/core/classes.h"
#include "toolkit/core/component.h"
#include "toolkit/core/scope.h"
#include "toolkit/core/variant.h"
#include "toolkit/db/db.h"

// How the grid follows the data set's current record: with gctSensitive its
// current record is always the data set's; the insensitive kinds keep their
// own, found again by bookmark or by the unique fields' values.
enum TgpCursorType { gctSensitive, gctInsensitiveBmrk, gctInsensitiveID };

// What the snapshots and the selection need of the grid they belong to.
class TgpSelectionSite {
 public:
  virtual ~TgpSelectionSite() = default;

  // The grid's data link (its data set and active row).
  virtual TDataLink* DataLink() const = 0;
  // ";"-lists of the fields that identify a record and of the fields whose
  // values each snapshot keeps.
  virtual const AnsiString& UniqueFields() const = 0;
  virtual const AnsiString& BookmarkFields() const = 0;
  // Snapshots keep the record number.
  virtual bool EnableRecNo() const = 0;
  virtual TgpCursorType CursorType() const = 0;
  // The row of the current-record snapshot; -1 for none.
  virtual int CurrentRow() const = 0;
  virtual void SetCurrentRow(int row) = 0;
  // The data link's active row as the grid last took it.
  virtual int ActiveRow() const = 0;
  // A move of the current cell is running.
  virtual bool Navigating() const = 0;
  // Repaint requests: one row (nothing for a negative row), all rows.
  virtual void InvalidateRow(int row) = 0;
  virtual void InvalidateRows() = 0;
  virtual void DoSelectionChange(bool CurrentChanged, bool SelectionChanged) = 0;
  virtual void FreezeGrid() = 0;
  virtual void UnfreezeGrid(bool Repaint) = 0;
  // Finds the row of the current-record snapshot after the rows moved by Distance.
  virtual void LocateCurrentRow(int Distance) = 0;
};

// Holds a grid frozen (FreezeGrid ... UnfreezeGrid(repaint)) for the scope;
// Grid is the grid or one of the faces it shows its parts.
template <class Grid>
class TFreezeScope : private TScopeGuardBase {
 public:
  TFreezeScope(Grid& grid, bool repaint) : grid_(grid), repaint_(repaint) { grid_.FreezeGrid(); }
  ~TFreezeScope() noexcept(false) {
    LeaveScope([this] { grid_.UnfreezeGrid(repaint_); });
  }
  TFreezeScope(const TFreezeScope&) = delete;
  TFreezeScope& operator=(const TFreezeScope&) = delete;

 private:
  Grid& grid_;
  bool repaint_;
};

// A record as the grid saw it when the snapshot was captured.
class TgpRecShot {
 public:
  explicit TgpRecShot(TgpSelectionSite* grid) : Grid(grid) {}
  virtual ~TgpRecShot() = default;
  TgpRecShot(const TgpRecShot&) = delete;
  TgpRecShot& operator=(const TgpRecShot&) = delete;

  TgpSelectionSite* const Grid;
  // The data set's bookmark of the record; empty for none.
  TBookmark Bookmark;
  // The values of the grid's UniqueFields (an array for several fields);
  // Unassigned when not taken.
  Variant UniqueValues;
  // The values of the grid's BookmarkFields, likewise.
  Variant BookmarkValues;
  // The record's number when the grid keeps numbers, else -1.
  int RecNo = -1;
  bool Valid = false;

  // Takes the snapshot of the data set's current record, which the caller
  // has made the record of bookmark (empty: no record).
  virtual void Capture(const TBookmark& bookmark);
  // Whether the data set's current record is the one captured.
  bool IsCurrent() const;
  // Makes the captured record the data set's current one; False when it
  // cannot be found.
  bool GoTo();

 protected:
  TDataSet* DataSet() const;
  bool LinkActive() const;
};

// The grid's current record. With an insensitive cursor it may differ from
// the data set's current record.
class TgpCurrentRecShot : public TgpRecShot {
 public:
  using TgpRecShot::TgpRecShot;

  // The snapshot was taken on a record (not set from values alone).
  bool OnRealRecord = false;

  // Also sets the grid's CurrentRow: the link's active row for a record or
  // an inserted one, else -1.
  void Capture(const TBookmark& bookmark) override;
  // Forgets the record (insensitive cursors only).
  void Invalidate(bool Notify);
  // Takes the data set's current record.
  void Recapture(bool CheckChanged);
  // Recapture while the grid follows the data set or a move is running.
  void RecaptureIfTracking(bool CheckChanged);
  // Whether the snapshot can be set by values (Mode 2) or at all (Mode 1);
  // when it can, it is forgotten first.
  bool CanTrack(int Mode);
  // Makes the record holding Values (of UniqueFields) current: found in the
  // data set with Locate, else taken as the values alone.
  void SetCurrentByValue(const Variant& Values, bool Locate, bool Notify);
};

// What the snapshots of many records captured, packed into blocks of bytes
// that never move: a record with two numbers kept costs some 30 bytes, where
// a snapshot with its Variants costs over 350 in many small allocations, and
// a selection of a million records pays for every page it touches. Texts and
// unusual kinds of value are kept as Variants beside the blocks.
class TgpShotStore {
 public:
  // Packs a record's capture; unique and values are the fields whose current
  // values are taken (nullptr: not taken). Returns where it is: records
  // added later are further on.
  uint32_t Add(const TBookmark& bookmark, const std::vector<TField*>* unique, const std::vector<TField*>* values,
               int rec_no);
  // What was added at at, as TgpRecShot::Capture would have taken it.
  TBookmark Bookmark(uint32_t at) const;
  Variant UniqueValues(uint32_t at) const;
  Variant BookmarkValues(uint32_t at) const;
  int RecNo(uint32_t at) const;
  void Clear();

 private:
  class Reader;
  void Pack(const Variant& value);
  const uint8_t* Data(uint32_t at) const;

  std::vector<std::unique_ptr<uint8_t[]>> blocks_;
  // Bytes used of the last block.
  size_t used_ = 0;
  std::vector<Variant> others_;
  // One record's bytes while they are packed.
  std::vector<uint8_t> scratch_;
};

// The records the user selected, and the current record. Created and owned
// by the grid. A selected record is kept as a compact row; the snapshot
// Items gives for it is made when first asked for and lives as long as the
// record stays selected.
class TgpSelection : public TPersistent {
 public:
  explicit TgpSelection(TgpSelectionSite* grid);
  ~TgpSelection() override;

  TgpSelectionSite* Grid() const { return grid_; }
  TgpCurrentRecShot* Current() const { return current_.get(); }

  // No record is selected explicitly.
  bool Empty() const { return empty_; }
  // With nothing selected: 1 for a valid current record, else 0; otherwise
  // the selected records.
  int Count() const;
  int GetCount() const { return Count(); }
  // The current snapshot for item 0 with nothing selected; otherwise the
  // selected snapshots in bookmark order (EListError outside them).
  TgpRecShot* Items(int index) const;
  TgpRecShot* GetItem(int index) const { return Items(index); }
  // Items(index)->BookmarkValues without making the snapshot: for reading
  // every selected record's values once.
  Variant BookmarkValuesOf(int index) const;
  int ExplicitCount() const { return static_cast<int>(rows_.size()); }

  // Where bookmark is in the sorted list, or would be inserted; True when found.
  bool Find(const TBookmark& bookmark, int& Pos) const;
  // The position of bookmark; -1 when not selected.
  int IndexOf(const TBookmark& bookmark) const;
  bool IsCurrentSelected() const;
  // Selects the data set's current record, which is bookmark's, at Pos.
  void Insert(int Pos, const TBookmark& bookmark);
  // Drops the snapshot at index; True when none is left.
  bool Delete(int index);
  // Selects or deselects the data set's current record; False when its
  // state was already so.
  bool SelectCurrent(bool Select, bool Repaint);
  // Repaints Row (all rows for -1) when asked and reports the change.
  void Notify(int Row, bool Repaint, bool CurrentChanged);
  // The record a range selection starts from.
  TBookmark Anchor() const;
  // Selects every record from the data set's current one to Target.
  void SelectRange(const TBookmark& Target);
  // Deselects everything; with AlsoCurrent the current record is forgotten too.
  void Clear(bool Repaint, bool AlsoCurrent);
  // Deletes the selected records from the data set, last first; with
  // Reposition the record that followed the first one becomes current.
  void DeleteSelected(bool Reposition, bool Repaint);

  const AnsiString& AnchorText() const { return anchor_text_; }
  void SetAnchorText(const AnsiString& value) { anchor_text_ = value; }
  bool ClearOnMouseUp() const { return clear_on_mouse_up_; }
  void SetClearOnMouseUp(bool value) { clear_on_mouse_up_ = value; }

 private:
  // A selected record is kept as where store_ holds what its snapshot
  // captured; records kept later are held further on.
  using Kept = uint32_t;
  class Taker;

  TDataSet* DataSet() const;
  Kept RowAt(int index) const;
  TBookmark BookmarkAt(int index) const { return store_.Bookmark(RowAt(index)); }
  // Selects the rows a range walk took (none of them selected before), in
  // one pass, and reports each as SelectCurrent would have; walked is left
  // empty.
  void Join(std::vector<Kept>& walked);
  // Forgets the rows and their snapshots.
  void DropAll();

  TgpSelectionSite* grid_;
  std::unique_ptr<TgpCurrentRecShot> current_;
  // The selected records in ascending bookmark order.
  std::vector<Kept> rows_;
  TgpShotStore store_;
  // The snapshots Items made, by where their record is kept.
  mutable std::unordered_map<Kept, std::unique_ptr<TgpRecShot>> shots_;
  bool empty_ = true;
  AnsiString anchor_text_;
  bool clear_on_mouse_up_ = false;
};
