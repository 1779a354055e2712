// One page of a report template: its paper, margins and columns, the objects
// placed on it and its page script. A report page turns into built pages; a
// dialog page is shown as a modal form before the report pages are built.
//
// Page record (after the tag 255 of the template stream; little-endian, V the
// stream version):
//
//   marker                 i32  -1; any other value is the paper code itself
//                               (an older layout without page script)
//   Size                   i32  only when the marker is -1
//   paper width, height    i32  tenths of a millimetre
//   Left/Top/Right/BottomMargin  i32 each, page pixels
//   Orientation            u8   0 portrait, 1 landscape
//   (skipped)              6 bytes, only when V < 23
//   bin                    i32  only when V > 23 (else -1); -1 or 65535: the
//                               printer's default source
//   PrintToPrevPage        i16  Boolean (0 false, anything else true; -1 written)
//   use margins            i16  Boolean; "StretchToPrintable" is its inverse
//   Columns, ColumnGap     i32
//   when V >= 24:
//     Type                 u8   0 report page, 1 dialog page
//     page name            counted text
//     BorderStyle          u8   read: 0 becomes 3, 1 becomes 2
//     Caption              counted text
//     Color                i32
//     Left Top Width Height i32 each
//     Position             u8   read: anything but 0 becomes 4
//     page script          counted lines, only when the marker was -1
//
// Writers always write the marker -1 and every field: with an empty name, the
// caption "Form" and no script the record is 85 bytes. Reading ends with the
// page's paper applied through the printer layer.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "report/fr_class.h"
#include "report/fr_prntr.h"

class TfrBand;
class TfrInterpretator;
class TForm;
// Frees run-time bands and dialog forms where their classes are complete (fr_build.cpp).
struct TfrBandDeleter {
  void operator()(TfrBand* band) const;
};
struct TfrFormDeleter {
  void operator()(TForm* form) const;
};

// Page types.
inline constexpr uint8_t ptReport = 0;
inline constexpr uint8_t ptDialog = 1;

// Dialog form border styles and positions as pages store them.
inline constexpr int kPageBorderDialog = 3;
inline constexpr int kPageBorderSizeable = 2;
inline constexpr int kPagePositionDesigned = 0;
inline constexpr int kPagePositionScreenCenter = 4;

// The bin a page holds for the printer's default source.
inline constexpr int kPageDefaultBin = 0xFFFF;

// Where a page's bands may print, in page pixels.
struct TfrPageLimits {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool operator==(const TfrPageLimits&) const = default;
};

class TfrPage : public TfrObject {
 public:
  // Applies the paper (ApplyPagePaper); the other fields take their defaults.
  TfrPage(int size, int width, int height, int bin, uint8_t orientation);
  ~TfrPage() override;
  const char* ClassName() const override { return "TfrPage"; }

  // Applies a paper through the global printer layer (retried as a custom
  // size with the default bin when the printer refuses it), fills Metrics and
  // takes the printer's paper back; the fields stay as they were when both
  // attempts fail.
  void ApplyPagePaper(int size, int width, int height, int bin, uint8_t orientation);

  // The first object of that name, ignoring case; nullptr when none.
  TfrView* FindObject(std::string_view name) const;
  // Frees one object (nothing for an index out of range), or all of them.
  void DeleteObject(int index);
  void ClearObjects();

  // The page record (see the top of this file). A record cut short raises
  // EReadError, a paper the printer layer refuses EPrinter; either leaves
  // the page as it was.
  void ReadRecord(TStream& stream, int version);
  void WriteRecord(TStream& stream) const;

  // Name := "Page" + the smallest n from 1 to 10000 that no page of the
  // report carries (exact comparison, through PageNameTaken).
  void MakeDefaultName();
  // Whether a page of the report is named so; the report's page list sets it.
  std::function<bool(const AnsiString& name)> PageNameTaken;

  // Compiles and runs the lines with the report's interpreter when their
  // text is not empty; the current object is none meanwhile. Errors propagate.
  void RunScript(const TStrings& lines);

  void FillPropertyList() override;
  void PutProperty(std::string_view name, const Variant& value) override;
  Variant FetchProperty(std::string_view name) override;

  // The printer's limits with the page's margins (zero margins take the
  // printable area on that side; without margins the whole sheet).
  TfrPageLimits ComputeLimits() const;

  // Stored fields.
  int Size = kDefaultPaperSize;
  // Tenths of a millimetre, as printed (exchanged in landscape).
  int PaperWidth = 0, PaperHeight = 0;
  // Page pixels; 0 takes the printer's printable area on that side.
  int LeftMargin = 0, TopMargin = 0, RightMargin = 0, BottomMargin = 0;
  uint8_t Orientation = 0;
  // Paper source; kPageDefaultBin for the printer's default.
  int Bin = kPageDefaultBin;
  bool PrintToPrevPage = false;
  bool UseMargins = true;
  // Page columns (0 is taken as 1 when built) and the gap between them.
  int Columns = 1;
  int ColumnGap = 0;
  uint8_t Type = ptReport;
  AnsiString Name;
  // The dialog form of a dialog page.
  int BorderStyle = kPageBorderDialog;
  AnsiString Caption = "Form";
  TColor Color = clBtnFace;
  int Left = 220, Top = 120, Width = 380, Height = 300;
  int Position = kPagePositionScreenCenter;
  // Run before the page is built, or when its dialog activates.
  TStringList Script;
  bool Visible = true;
  // The page owns them.
  std::vector<std::unique_ptr<TfrView>> Objects;
  // Refreshed whenever paper is applied.
  PageMetrics Metrics;

  // Build state: set while a build has prepared the page, with the limits
  // its bands print within and the width of one column.
  bool Prepared = false;
  TfrPageLimits Limits;
  int ColumnWidth = 0;

  // ---- Building (fr_build.cpp) ----
  // Makes and links the run-time bands of a report page (a dialog page shows
  // its dialog); the final pass of two reuses the first pass's bands. Every
  // object's script is compiled in place (the build host runs it so), and
  // object tops become relative to their bands: the report reloads its
  // template after a build.
  void PrepareBuild();
  // Tells every data band which running totals its footers and summaries need.
  void RegisterAggregates();
  // Frees the run-time bands (kept between the two passes of a build).
  void FinishBuild();
  // Prints the page's bands over its record sources into built pages.
  void BuildPages();
  // Prints a band (records it on a page played through a sub-report);
  // nothing for none.
  void PrintBand(TfrBand* band);
  // The first band over all types whose band object is so named, ignoring case.
  void PrintBandByName(std::string_view name);
  void StartNewPage();
  // The next column, or a new page after the last; repeated headers follow.
  void StartNewColumn(TfrBand* band);
  void ResetRowCounter(TfrBand* band, int n);
  // Plays recorded band actions of a sub-report page from where the last
  // call stopped. True when all are played, false when the page is full.
  bool PlayRecords();
  void ClearRecords();
  // The head band of a type (0 to 22), nullptr before PrepareBuild.
  TfrBand* BandOfType(int type) const;
  // Whether the current position is where the body of a fresh page or
  // column starts (the top limit, or just below the headers a new page or
  // column printed): a band that does not fit there fits on no page.
  bool AtBodyTop() const;

  // Build fields.
  enum class TfrBandAction : uint8_t { Print, First, Next };
  struct TfrBandRecord {
    TfrBand* Band;
    TfrBandAction Action;
  };
  // Printed only through a sub-report object.
  bool Skip = false;
  // 0 normal, 1 recording (the page of a sub-report).
  uint8_t Mode = 0;
  std::vector<TfrBandRecord> Records;
  size_t PlayPosition = 0;
  // A band of this sub-report page whose own sub-reports go on on the next page.
  TfrBand* BandToContinue = nullptr;
  // The position for the next band and the lowest usable position.
  int CurY = 0, CurBottom = 0;
  // Added to every printed object's left (columns, sub-reports).
  int XAdjust = 0;
  int CurColumn = 0;
  // Where a new column starts (below the column header).
  int ColumnRestartY = 0;
  // CURRENT# and COLUMN#.
  int CurrentRecord = 1;
  int CrossColumn = 1;
  TfrBand* PrevBand = nullptr;
  bool RepeatHeadersOff = false;
  // The form a dialog page shows while a build runs.
  std::unique_ptr<TForm, TfrFormDeleter> DialogForm;
  // The built page, column and position where the body of the newest page
  // or column starts.
  int FreshPageIndex = -1, FreshColumn = -1, FreshY = 0;

 private:
  bool IsDialog() const { return Type == ptDialog; }
  void PrepareBands();
  // The steps of PrepareBands, in order.
  void ResetBands();
  std::vector<bool> PrepareObjects(TfrInterpretator& interpreter);
  void PlaceCrossBands(std::vector<bool>& placed, TfrInterpretator& interpreter);
  void PlaceBandsOfType(int type, std::vector<bool>& placed, TfrInterpretator& interpreter);
  void PlaceObjectsInBand(TfrBand& band, std::vector<bool>& placed);
  void PlaceLooseObjects(const std::vector<bool>& placed);
  void LinkHeadersAndFooters();
  void PairGroupFooters();
  void AttachColumnSources();
  void AttachChildBands();
  void AttachGroups();
  void LayOutColumns();
  void ShowDialog();
  void PrintDataLevel(int level);
  void PrintPageFooters();
  void PrintQueue();
  void Enqueue(TfrBand* band);
  std::array<TfrBand*, 23> bands_{};
  std::vector<std::unique_ptr<TfrBand, TfrBandDeleter>> band_store_;
  std::vector<TfrBand*> queue_;
  int deepest_level_ = 1;
  // Set while a new page prints its headers.
  bool starting_page_ = false;
};
