// The band, sub-report, picture and line objects of a template page.
//
// Records, after the common part of fr_class.h (V the stream version, R the
// record's major * 10 + minor version):
//
//   band         when V > 23: ChildBand (counted text), Columns, ColumnWidth,
//                ColumnGap, NewColumnAfter (i32 each), and when R > 20
//                Master (counted text). Band records are written as 2.1.
//   sub-report   i32 page index (0-based)
//   picture      u8 kind (0 none, 1 bitmap, 2 metafile, 3 icon, 4 JPEG);
//                when R > 10 u8 BlobType; i32 end position (absolute, just
//                after the picture data); the picture data in its own file
//                format. Reading goes on at the end position in every case.
//   line         nothing more
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "report/fr_view.h"

class TMetafile;
class TWindowsMetafile;

// Band types, held in a band object's FrameTyp.
enum TfrBandType : int {
  btReportTitle, btReportSummary, btPageHeader, btPageFooter, btMasterHeader, btMasterData, btMasterFooter,
  btDetailHeader, btDetailData, btDetailFooter, btSubDetailHeader, btSubDetailData, btSubDetailFooter,
  btOverlay, btColumnHeader, btColumnFooter, btGroupHeader, btGroupFooter, btCrossHeader, btCrossData,
  btCrossFooter, btChild, btNone
};
inline constexpr int kBandTypeCount = 23;

// Flags bits of a band object (bit 0 is flStretched).
inline constexpr uint16_t flBandNewPageAfter = 2;
inline constexpr uint16_t flBandPrintIfSubsetEmpty = 4;
inline constexpr uint16_t flBandBreaked = 8;
inline constexpr uint16_t flBandOnFirstPage = 16;
inline constexpr uint16_t flBandOnLastPage = 32;
inline constexpr uint16_t flBandRepeatHeader = 64;
inline constexpr uint16_t flBandPrintChildIfInvisible = 128;

// Flags bits of a picture (bit 0 is flStretched: scaled to the rectangle).
inline constexpr uint16_t flPictCenter = 2;
inline constexpr uint16_t flPictRatio = 4;

// Picture kinds of the record.
inline constexpr uint8_t pkNone = 0;
inline constexpr uint8_t pkBitmap = 1;
inline constexpr uint8_t pkMetafile = 2;
inline constexpr uint8_t pkIcon = 3;
inline constexpr uint8_t pkJPEG = 4;

// BlobType: the format of pictures taken from blob fields.
inline constexpr uint8_t btBMP = 0;
inline constexpr uint8_t btJPG = 1;
inline constexpr uint8_t btICO = 2;
inline constexpr uint8_t btWMF = 3;

// The English name of a band type (the library's texts 55077 to 55099); empty
// out of range.
AnsiString BandTypeName(int band_type);
bool IsDataBand(int band_type);
bool IsCrossBand(int band_type);

class TfrBandView : public TfrDrawnView<TfrView> {
 public:
  TfrBandView();
  const char* ClassName() const override { return "TfrBandView"; }

  // While a report prints, the geometry, visibility, child, split permission,
  // condition and record source also reach the run-time band made from the
  // object (Parent), and are read from it; NEXT, PRIOR and FIRST move its source.
  void PutProperty(std::string_view name, const Variant& value) override;
  Variant FetchProperty(std::string_view name) override;
  Variant InvokeMethod(std::string_view name, const Variant& p1, const Variant& p2, const Variant& p3) override;
  void FillPropertyList() override;
  void DrawTo(TCanvas* canvas) override;
  // Band objects never go into built pages.
  void PrintToPage(TStream&) override {}
  void ReadRecord(TStream& stream, int version) override;
  void WriteRecord(TStream& stream) override;
  TRect BuildClipRegion(bool with_margin) override;

  int BandType() const { return FrameTyp; }

  // Name of the child band object printed after this one.
  AnsiString ChildBand;
  // For a group header: the name of its master data band.
  AnsiString Master;
  int Columns = 1;
  int ColumnWidth = 200;
  int ColumnGap = 20;
  int NewColumnAfter = 1;
  // The page's width and height in pixels and its left margin, for the designer look.
  int PageWidth = 0;
  int PageHeight = 0;
  int PageLeftMargin = 0;

 protected:
  bool ListsFrameProperties() const override { return false; }
};

class TfrSubReportView : public TfrDrawnView<TfrView> {
 public:
  TfrSubReportView();
  const char* ClassName() const override { return "TfrSubReportView"; }
  void DrawTo(TCanvas* canvas) override;
  void ReadRecord(TStream& stream, int version) override;
  void WriteRecord(TStream& stream) override;

  // The template page that holds the sub-report, 0-based.
  int SubPage = 0;

 protected:
  bool ListsFrameProperties() const override { return false; }
};

class TfrPictureView : public TfrDrawnView<TfrView> {
 public:
  // Also names the blob formats btBMP to btWMF among the library's constants.
  TfrPictureView();
  ~TfrPictureView() override;
  TfrPictureView(const TfrPictureView&) = delete;
  TfrPictureView& operator=(const TfrPictureView&) = delete;
  const char* ClassName() const override { return "TfrPictureView"; }

  void PutProperty(std::string_view name, const Variant& value) override;
  Variant FetchProperty(std::string_view name) override;
  Variant InvokeMethod(std::string_view name, const Variant& p1, const Variant& p2, const Variant& p3) override;
  void FillPropertyList() override;
  void LoadFromField(TBlobField* field) override;
  void DrawTo(TCanvas* canvas) override;
  void ReadRecord(TStream& stream, int version) override;
  void WriteRecord(TStream& stream) override;

  // Empties the picture.
  void ClearPicture();
  // Takes a picture file's bytes; raises EInvalidGraphic for bytes that are no
  // picture of a kind the engine keeps (BMP, JPEG, icon, metafile).
  void LoadPictureFromFile(const std::string& file_name);
  // The kind (pk*) and the bytes of the picture in its own file format.
  uint8_t PictureKind() const { return picture_kind_; }
  const std::string& PictureData() const { return picture_data_; }
  void SetPicture(uint8_t kind, std::string data);
  // The picture's size in pixels; 0 x 0 when there is none or it cannot be decoded.
  int PictureWidth();
  int PictureHeight();
  // Where the picture goes inside PaintRect (after ApplyScale).
  TRect TargetRect();

  uint8_t BlobType = btBMP;

 private:
  // The picture read from its bytes: a bitmap for the raster kinds, a
  // metafile for pkMetafile; nullptr when it cannot be read.
  TBitmap* Decoded();
  TWindowsMetafile* DecodedMetafile();
  // Draws the picture stretched into r.
  void DrawGraphic(TCanvas& canvas, const TRect& r);
  uint8_t picture_kind_ = pkNone;
  std::string picture_data_;
  std::unique_ptr<TBitmap> decoded_;
  std::unique_ptr<TWindowsMetafile> metafile_;
  bool decode_tried_ = false;
  // The metafile played for the last rectangle and resolution, replayed
  // while the preview repaints the same page.
  std::unique_ptr<TMetafile> played_;
  TRect played_rect_;
  int played_ppi_ = 0;
  // The number scripts read as "Picture" and give another picture to copy it.
  int picture_handle_ = 0;
};

class TfrLineView : public TfrDrawnView<TfrStretcheable> {
 public:
  TfrLineView();
  const char* ClassName() const override { return "TfrLineView"; }
  void FillPropertyList() override;
  void DrawTo(TCanvas* canvas) override;
  TRect BuildClipRegion(bool with_margin) override;
  int CalcHeight() override { return Height; }
  int MinimumHeight() override { return 1; }
  int RemainingHeight() override { return 0; }
};

// Installs the constructors of type codes 0 to 4 into the object factory.
// Idempotent; the units that read templates call it before reading.
void RegisterStandardViews();
