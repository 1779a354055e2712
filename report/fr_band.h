// Run-time bands: while a report is built, every band object of a template
// page is represented by a TfrBand. The page build (fr_build.cpp) makes and
// links them; a band prints the objects lying in it onto the current built
// page at the page's current position. It runs its script, measures and
// stretches itself, moves to a new column or page when it does not fit,
// splits itself across pages when allowed, runs the sub-reports placed in
// it, prints the cells of cross bands across its row, steps multi-column
// bands sideways and keeps the running totals that footers show. All lengths
// are page pixels.
//
// A band that does not fit where the body of a fresh page or column starts
// fits on no page: it is split there instead of starting page after page, and
// when not even a part of it fits a fresh page, the build stops with an error.
//
// Running totals live in Totals under the keys of fr_funcs.h (band name #1
// code #1 expression #1 flag #1). An AVG, MIN or MAX over no records reads as
// Null rather than as a division by zero, 1e300 or 0; an average divides by
// the records its own entry counted.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "report/FR_DSet.h"
#include "report/FR_Pars.h"
#include "report/fr_views.h"

class TfrPage;
class TfrView;

// Sub-report objects one band runs at most.
inline constexpr int kMaxBandSubReports = 35;

class TfrBand {
 public:
  // An empty band of the type on the page: no objects, RowNo and RowThrough 1, visible.
  TfrBand(int type, TfrPage* page);
  ~TfrBand();
  TfrBand(const TfrBand&) = delete;
  TfrBand& operator=(const TfrBand&) = delete;

  // A group header's condition (kept in postfix form), else the record
  // source: a number of records, or the name of a record-source component.
  // A master data band without one takes the report's Dataset of a simple report.
  void BindSource(const AnsiString& text);
  // Closes Source and ColumnSource, freeing those the band made.
  void ReleaseSources();

  // Prints the band with its child. True when it did not fit and a new
  // column or page was started first (on a page printed through a
  // sub-report: the page is full), or a sub-report did not finish.
  bool Print();
  // Places the band at the current position and prints its objects.
  void PrintBody();
  // The height the fit test takes; NeededHeight grows to it.
  int CalcBandHeight();
  // Whether the band does not fit at `top` with `height`; unless test_only, a
  // new column (or page after the last column) is started when it does not.
  bool FitOrBreak(int top, int height, bool test_only);

  // Adds the current record to the running totals. With a column above 0
  // only the entries of that cross-tab column count (made from the column-0
  // entries when new); with 0 only the entries that belong to no column.
  void AddTotals(int column = 0);
  void ResetTotals();
  void SetTotal(const AnsiString& key, const Variant& value);
  // The entry's value; AVG divided by the records added. Null for an unknown
  // key and for AVG, MIN and MAX over no records.
  Variant GetTotal(const AnsiString& key) const;

  // Has a band object, or is the band of loose objects and holds one.
  bool IsUsed() const;
  bool IsDataBandType() const { return Type == btMasterData || Type == btDetailData || Type == btSubDetailData; }
  // Prints no objects at the current position and leaves it where it is.
  bool IsFixedPosition() const { return Type == btPageFooter || Type == btOverlay || Type == btNone; }
  // Holds objects that lie in cross bands too.
  bool HoldsCrossCells() const;

  TfrPage* Page;
  TfrBandView* View = nullptr;
  uint16_t Flags = 0;
  bool Stretches = false, PageAfter = false, PrintWithoutDetail = false, MaySplit = false, ChildWhenHidden = false;
  bool Visible = true;
  AnsiString Name;
  TStringList Memo;
  // Compiled when the band is prepared.
  TStringList Script;
  int Type;
  int Top = 0, Height = 0, Left = 0, Width = 0;
  int NeededHeight = -1;
  int PrintHeight = 0;

  TfrBand* Next = nullptr;
  TfrBand* Prev = nullptr;
  TfrBand* LastInChain = nullptr;
  TfrBand* Header = nullptr;
  TfrBand* Footer = nullptr;
  TfrBand* OwnerDataBand = nullptr;
  TfrBand* GroupHead = nullptr;
  TfrBand* GroupTail = nullptr;
  TfrBand* GroupInner = nullptr;
  TfrBand* GroupOuter = nullptr;
  TfrBand* Child = nullptr;
  TfrBand* TotalsBand = nullptr;

  TfrDataset* Source = nullptr;
  bool OwnsSource = false;
  TfrDataset* ColumnSource = nullptr;
  bool OwnsColumnSource = false;
  // The group condition in postfix form, and its value when the header last printed.
  AnsiString GroupExpr;
  Variant GroupValue;

  int RowNo = 1, RowThrough = 1;
  TfrVariables Totals;
  int TotalsCount = 0;

  int NewPageRequests = 0, NewColumnRequests = 0;
  bool ScriptDone = false, Repeating = false, KeepCurY = false;

  bool SubReportsDone = true;
  int FirstSubReport = 0;
  std::array<bool, kMaxBandSubReports> SubReportFinished{};
  int SubReportBottom = 0;

  int ColumnIndex = 1, ColumnStartX = 0;
  // Of the cross data band: the most records its source has had in a row.
  int MaxColumns = 0;

  // The objects lying in the band: its own, then cross cells, then sub-reports.
  // Their tops are relative to the band. The page owns them.
  std::vector<TfrView*> Objects;

  // Plays the band's sub-reports until all have finished, starting new pages
  // as they fill them; page_broke: a page has been started since the last
  // round (a band of a sub-report page that continues on the next page).
  // False when this page is itself played through a sub-report and its owner
  // must start the next page first.
  bool RunSubReports(bool page_broke);

 private:
  struct SplitState {
    bool printed = false;
    bool waiting = false;
    int top = 0, height = 0;
  };

  int StretchedHeight();
  bool PrintObjects();
  void PrintObject(TfrView& view);
  void PrintSplit();
  void MoveObjectsBelow(size_t index, int by);
  void StartSubReports();
  int ColumnFooterHeight() const;
  void PrintCrossCells();
  void PrintCrossBandCells(TfrBand& cross, int x);
  void CrossOverflow(int& x, int width);

  std::vector<SplitState> split_;
  // Records added per totals entry, so that AVG, MIN and MAX over nothing
  // read as Null and an average keeps its own count.
  TfrVariables counts_;
};

// Records that no page can take any part of the band and stops the build, so
// that it does not add pages without end.
void RecordBandDoesNotFit(const AnsiString& band_name);
