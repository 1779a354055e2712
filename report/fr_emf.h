// Prepared pages: what a build leaves for every output page (its paper and a
// stream of built-page object records with every expression replaced by its
// value), drawn on any canvas at any scale, handed to an export filter, hit
// tested, and saved to and read from prepared-report files (.frp).
//
// Object stream of a page: the byte 25, then one built-page object record
// after another: the type code; for code 10 the class name (counted text);
// the object's record written with RecordMode 1 (fr_class.h), which carries
// the expanded text instead of format and script. There is no index.
//
// Prepared-report file (little-endian):
//
//   version        u8   25 written. A first byte below 24 or above 31 means a
//                       file without it: version 0, read again from position 0.
//   compression    u8   0 written (no compressor is ever enabled here); 0, 1
//                       and 255 are the current layout, anything else the
//                       oldest one (below), read from position 0.
//   printer name   counted text (versioned text for version 0)
//   page count     i32
//   per page:
//     next page    i32  absolute position of the next page
//     paper size   u16, width i32, height i32 (0.1 mm), orientation u8
//     bin          i32  only when version > 23 (else -1)
//     use margins  u8
//     margins      4 x i32, page pixels, only when version > 23
//     object stream: the bytes up to the next page's position. Pages of a
//                    file with a non-zero compression flag come out empty.
//   generator version u8 (88)
//
// Oldest layout: zero-terminated lines whose first line is the printer name,
// i32 page count, and per page: i32 next page position, u16 paper size, i32
// width, i32 height, u8 orientation, u8 use margins, then a metafile up to the
// next page's position; each becomes a page with one picture covering it.
//
// A file is read into a store of its own, every position and count is checked
// against the file and every object record is read once, and only a file read
// whole replaces the pages held: a damaged file raises and changes nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "report/fr_class.h"
#include "report/fr_prntr.h"
#include "toolkit/core/classes.h"
#include "toolkit/gfx/graphics.h"

class TCanvas;
class TfrPage;
class TfrReport;
class TfrView;

// The first byte of every object stream and of the files written here.
inline constexpr uint8_t kBuiltStreamVersion = 25;
// The versions a prepared-report file may carry in its first byte.
inline constexpr uint8_t kBuiltFileFirstVersion = 24;
inline constexpr uint8_t kBuiltFileLastVersion = 31;

// One prepared page.
struct TfrPageInfo {
  TfrPageInfo();
  ~TfrPageInfo();
  TfrPageInfo(const TfrPageInfo&) = delete;
  TfrPageInfo& operator=(const TfrPageInfo&) = delete;

  // Where the preview placed the page on its page box.
  TRect PreviewRect;
  // The paper: a paper code (256 custom), 0.1 mm sides, 0 portrait or 1
  // landscape, the bin (-1 the printer's default).
  uint16_t PaperSize = 0;
  int32_t PaperWidth = 0, PaperHeight = 0;
  uint8_t Orientation = 0;
  int32_t Bin = kDefaultBin;
  // The template page's use-margins setting and margins (page pixels).
  bool UseMargins = false;
  int32_t LeftMargin = 0, TopMargin = 0, RightMargin = 0, BottomMargin = 0;
  // The printer layer's metrics of this paper.
  PageMetrics Metrics;
  // Set by the preview for the pages in view (and by printing while it draws).
  bool Visible = false;
  // The byte 25 and the built-page object records.
  std::unique_ptr<TMemoryStream> Stream;
  // The objects of Stream, made on demand (ObjectsToPage).
  std::unique_ptr<TfrPage> Page;
};

class TfrEMFPages {
 public:
  // `report` is told of new pages and hit objects; it may be nullptr.
  explicit TfrEMFPages(TfrReport* report);
  ~TfrEMFPages();
  TfrEMFPages(const TfrEMFPages&) = delete;
  TfrEMFPages& operator=(const TfrEMFPages&) = delete;

  TfrReport* Report() const { return report_; }
  int Count() const { return static_cast<int>(pages_.size()); }
  // The page of that index; EListError out of range.
  TfrPageInfo& Pages(int index) const;
  TfrPageInfo& operator[](int index) const { return Pages(index); }

  // A page with the paper, margins and metrics of the template page, its
  // object stream holding the byte 25; inserted at index, or appended when
  // index is at or beyond Count.
  void InsertPage(int index, const TfrPage& page);
  // Appends, then raises the report's OnBeginPage with the new page's number
  // (and the outer report's, when another report is the outer one).
  void AddPage(const TfrPage& page);
  // Frees a page with its objects; EListError out of range.
  void DeletePage(int index);
  void Clear();

  // Appends a finished object to the object stream of a page as a built-page
  // record (type code, class name, record in RecordMode 1), its Memo being the
  // text shown (ExpandedMemo := Memo, as PageToObjects does); the cached page,
  // if any, is dropped so the next drawing sees the object.
  void AppendObject(int index, TfrView& view);

  // Draws the page into `rect` of canvas, scaled so the page fills it. A page
  // not marked Visible frees its cached objects and draws nothing; a page
  // without a size on the device draws nothing.
  void DrawPage(int index, TCanvas* canvas, const TRect& rect);
  // Hands every object of the page to the active export filter.
  void ExportPage(int index);
  // Makes the cached page from the object stream (nothing when it exists).
  void ObjectsToPage(int index);
  // Writes the cached page's objects back into the object stream.
  void PageToObjects(int index);
  // Finds the topmost object under `point` (page pixels of the preview) and
  // raises the report's OnObjectClick (clicked) or OnMouseOverObject, which
  // may set `cursor`. True when an event was raised.
  bool ObjectAtPoint(int index, TPoint point, bool clicked, int& cursor);

  void WriteBuiltFile(TStream& stream);
  // See the top of this file. EReadError (or the object reader's errors)
  // for a damaged file, with the pages held left as they were.
  void ReadBuiltFile(TStream& stream);

  // The printer name the last file read named ("" when none).
  const AnsiString& PrinterName() const { return printer_name_; }

 private:
  TfrPageInfo& Checked(int index) const;
  std::vector<std::unique_ptr<TfrPageInfo>> pages_;
  TfrReport* report_ = nullptr;
  AnsiString printer_name_;
};
