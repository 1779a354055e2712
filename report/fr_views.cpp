#include "report/fr_views.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>

#include "report/FR_Pars.h"
#include "report/fr_band.h"
#include "report/fr_globals.h"
#include "report/fr_page.h"
#include "report/fr_memo.h"
#include "report/fr_utils.h"
#include "toolkit/core/binary.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "toolkit/db/fields.h"
#include "toolkit/gfx/jpeg.h"
#include "toolkit/gfx/metafile.h"

namespace {

struct FlagName {
  const char* name;
  uint16_t bit;
};

int RecordVersion(const TfrView& v) { return v.RecordMajor * 10 + v.RecordMinor; }

// A name read from a damaged file, fit for a message: a control byte (a NUL
// would end the text wherever it is shown) as its hexadecimal escape.
AnsiString PrintableName(const AnsiString& name) {
  AnsiString out;
  for (char c : name) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b != 0x7F) {
      out += c;
    } else {
      static const char kDigits[] = "0123456789ABCDEF";
      out += "\\x";
      out += kDigits[b >> 4];
      out += kDigits[b & 15];
    }
  }
  return out;
}

}  // namespace

AnsiString BandTypeName(int band_type) {
  if (band_type < 0 || band_type >= kBandTypeCount) return {};
  return LoadReportString(55077 + band_type);
}

bool IsDataBand(int band_type) {
  return band_type == btMasterData || band_type == btDetailData || band_type == btSubDetailData;
}

bool IsCrossBand(int band_type) { return band_type >= btCrossHeader && band_type <= btCrossFooter; }

// ---- Band object ----------------------------------------------------------------------

namespace {

constexpr FlagName kBandFlags[] = {{"FORMNEWPAGE", flBandNewPageAfter},
                                   {"PRINTIFSUBSETEMPTY", flBandPrintIfSubsetEmpty},
                                   {"BREAKED", flBandBreaked},
                                   {"ONFIRSTPAGE", flBandOnFirstPage},
                                   {"ONLASTPAGE", flBandOnLastPage},
                                   {"REPEATHEADER", flBandRepeatHeader},
                                   {"PRINTCHILDIFINVISIBLE", flBandPrintChildIfInvisible}};

bool TypeIn(int type, std::initializer_list<int> types) {
  return std::find(types.begin(), types.end(), type) != types.end();
}

}  // namespace

TfrBandView::TfrBandView() {
  TypeCode = gtBand;
  RecordMinor = 1;
  NamePrefix = "Band";
  FormatWord = 0;
  Flags = flBandOnFirstPage | flBandOnLastPage;
}

void TfrBandView::PutProperty(std::string_view name, const Variant& value) {
  TfrView::PutProperty(name, value);
  const AnsiString n = AnsiUpperCase(name);
  if (n == "CHILDBAND")
    ChildBand = VarToStr(value);
  else if (n == "MASTER")
    Master = VarToStr(value);
  else if (n == "CONDITION")
    FormatText = VarToStr(value);
  else if (n == "COLUMNS")
    Columns = value.AsInteger();
  else if (n == "COLUMNGAP")
    ColumnGap = value.AsInteger();
  else if (n == "COLUMNWIDTH")
    ColumnWidth = value.AsInteger();
  else if (n == "NEWCOLUMNAFTER")
    NewColumnAfter = value.AsInteger();
  for (const FlagName& f : kBandFlags)
    if (n == f.name) Flags = value.AsBoolean() ? (Flags | f.bit) : (Flags & ~f.bit);
  if (Parent == nullptr || !frPrinting()) return;
  TfrBand& band = *Parent;
  if (n == "CHILDBAND") {
    TfrPage* page = frCurrentPage();
    auto* child = page != nullptr ? dynamic_cast<TfrBandView*>(page->FindObject(ChildBand)) : nullptr;
    band.Child = child != nullptr && child->Parent != &band ? child->Parent : nullptr;
  } else if (n == "BREAKED") {
    band.MaySplit = value.AsBoolean();
  } else if (n == "CONDITION" && band.Type == btGroupHeader) {
    band.BindSource(FormatText);
  } else if (n == "LEFT") {
    band.Left = Left;
  } else if (n == "TOP") {
    band.Top = Top;
  } else if (n == "WIDTH") {
    band.Width = Width;
  } else if (n == "HEIGHT") {
    band.Height = Height;
  } else if (n == "VISIBLE") {
    band.Visible = Visible;
  } else if (n == "DATASOURCE") {
    band.ReleaseSources();
    band.BindSource(VarToStr(value));
  }
}

Variant TfrBandView::FetchProperty(std::string_view name) {
  const AnsiString n = AnsiUpperCase(name);
  TfrBand* band = frPrinting() ? Parent : nullptr;
  if (band != nullptr) {
    if (n == "LEFT") return band->Left;
    if (n == "TOP") return band->Top;
    if (n == "WIDTH") return band->Width;
    if (n == "HEIGHT") return band->Height;
    if (n == "VISIBLE") return band->Visible;
  }
  Variant result = TfrView::FetchProperty(name);
  if (!result.IsNull()) return result;
  if (n == "EOF" && band != nullptr && band->Source != nullptr) return band->Source->Eof();
  if (n == "BREAKED" && band != nullptr) return band->MaySplit;
  if (n == "CHILDBAND") return ChildBand;
  if (n == "MASTER") return Master;
  if (n == "CONDITION") return FormatText;
  if (n == "COLUMNS") return Columns;
  if (n == "COLUMNGAP") return ColumnGap;
  if (n == "NEWCOLUMNAFTER") return NewColumnAfter;
  if (n == "COLUMNWIDTH") return ColumnWidth;
  for (const FlagName& f : kBandFlags)
    if (n == f.name) return (Flags & f.bit) != 0;
  return result;
}

Variant TfrBandView::InvokeMethod(std::string_view name, const Variant& p1, const Variant& p2, const Variant& p3) {
  Variant result = TfrView::InvokeMethod(name, p1, p2, p3);
  TfrDataset* source = Parent != nullptr ? Parent->Source : nullptr;
  if (source == nullptr) return result;
  const AnsiString n = AnsiUpperCase(name);
  if (n == "NEXT")
    source->Next();
  else if (n == "PRIOR")
    source->Prior();
  else if (n == "FIRST")
    source->First();
  return result;
}

void TfrBandView::FillPropertyList() {
  TfrView::FillPropertyList();
  // The band's script is its OnBeforePrint.
  if (TfrPropRec* memo = FindProperty("Memo")) memo->Name = "OnBeforePrint";
  const int t = BandType();
  // The band names of this page, each followed by ";"; a designer fills them.
  if (t != btPageFooter) {
    AddEnumProperty("ChildBand", "", 0, {Null()});
    AddProperty("PrintChildIfInvisible", frdtBoolean);
  }
  if (TypeIn(t, {0, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 16, 17, 18, 21})) AddProperty("Stretched", frdtBoolean);
  if (TypeIn(t, {0, 1, 5, 6, 8, 9, 11, 12, 16})) AddProperty("FormNewPage", frdtBoolean);
  if (TypeIn(t, {5, 8})) AddProperty("PrintIfSubsetEmpty", frdtBoolean);
  if (TypeIn(t, {0, 1, 4, 5, 6, 7, 8, 9, 10, 11, 12, 16, 17, 21})) AddProperty("Breaked", frdtBoolean);
  if (TypeIn(t, {2, 3})) AddProperty("OnFirstPage", frdtBoolean);
  if (t == btPageFooter) AddProperty("OnLastPage", frdtBoolean);
  if (TypeIn(t, {4, 7, 10, 16, 18})) AddProperty("RepeatHeader", frdtBoolean);
  if (TypeIn(t, {19, 5, 8, 11})) AddProperty("DataSource", frdtHasEditor);
  if (IsDataBand(t)) {
    AddProperty("Columns", frdtInteger);
    AddProperty("ColumnWidth", frdtSize);
    AddProperty("ColumnGap", frdtSize);
  }
  if (t == btGroupHeader) {
    AddProperty("Condition", frdtString);
    AddEnumProperty("Master", "", 0, {Null()});
  }
  AddProperty("EOF", 0);
}

void TfrBandView::ReadRecord(TStream& stream, int version) {
  TfrView::ReadRecord(stream, version);
  if (version > 23) {
    ChildBand = ReadCountedString(stream);
    unsigned char columns[16];
    stream.ReadBuffer(columns, sizeof columns);
    Columns = static_cast<int32_t>(GetLE32(columns));
    ColumnWidth = static_cast<int32_t>(GetLE32(columns + 4));
    ColumnGap = static_cast<int32_t>(GetLE32(columns + 8));
    NewColumnAfter = static_cast<int32_t>(GetLE32(columns + 12));
    if (RecordVersion(*this) > 20) Master = ReadCountedString(stream);
  }
}

void TfrBandView::WriteRecord(TStream& stream) {
  // Written as 2.1 whatever was read, so that Master always follows.
  RecordMinor = 1;
  TfrView::WriteRecord(stream);
  WriteCountedString(stream, ChildBand);
  unsigned char columns[16];
  PutLE32(columns, static_cast<uint32_t>(Columns));
  PutLE32(columns + 4, static_cast<uint32_t>(ColumnWidth));
  PutLE32(columns + 8, static_cast<uint32_t>(ColumnGap));
  PutLE32(columns + 12, static_cast<uint32_t>(NewColumnAfter));
  stream.WriteBuffer(columns, sizeof columns);
  WriteCountedString(stream, Master);
}

namespace {

constexpr int kTitleTabHeight = 18;

int BandTitleWidth(TCanvas& canvas, const AnsiString& title) { return std::max(canvas.TextWidth(title) + 8, 100); }

void SetTitleFont(TCanvas& canvas) {
  canvas.Font().SetName("Arial");
  canvas.Font().SetSize(8);
  canvas.Font().SetColor(clBlack);
  canvas.Font().SetStyle({});
}

}  // namespace

void TfrBandView::DrawTo(TCanvas* canvas) {
  FrameWidth = 1;
  const bool cross = IsCrossBand(BandType());
  if (!cross) {
    Left = 0;
    Width = PageWidth;
  } else {
    Top = 0;
    Height = PageHeight;
  }
  BeginDraw(*this, canvas);
  ApplyScale();
  TCanvas& c = *canvas;
  // The band pattern: white and silver pixels in a checkerboard.
  TBitmap pattern;
  pattern.SetSize(8, 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) pattern.Canvas().SetPixel(x, y, (x + y) % 2 == 0 ? TColor(0xFFFFFF) : TColor(0xC0C0C0));
  c.PushClip(PaintRect);
  for (int y = PaintRect.Top; y < PaintRect.Bottom; y += 8)
    for (int x = PaintRect.Left; x < PaintRect.Right; x += 8) c.Draw(x, y, pattern);
  c.PopClip();
  SetTitleFont(c);
  c.Pen().SetWidth(1);
  c.Pen().SetStyle(psSolid);
  c.Pen().SetColor(clBtnFace);
  c.Brush().SetStyle(bsClear);
  c.Rectangle(Left, Top, Left + Width + 1, Top + Height + 1);
  if (Columns > 1) {
    c.Pen().SetColor(clBlack);
    c.Pen().SetStyle(psDot);
    for (int col = 0; col < Columns; ++col) {
      const int l = PageLeftMargin + col * (ColumnWidth + ColumnGap);
      c.Rectangle(l, Top, l + ColumnWidth + 1, Top + Height + 1);
    }
    c.Pen().SetStyle(psSolid);
  }
  // Titles stand outside the band in a tab above it (cross bands: left of
  // it, the title turned to read upwards).
  const AnsiString title = BandTypeName(BandType());
  const int tw = BandTitleWidth(c, title);
  const TRect tab =
      cross ? Rect(Left - kTitleTabHeight, Top, Left, Top + tw) : Rect(Left, Top - kTitleTabHeight, Left + tw, Top);
  c.Brush().SetStyle(bsSolid);
  c.Brush().SetColor(clBtnFace);
  c.FillRect(tab);
  c.Pen().SetColor(clBtnShadow);
  c.MoveTo(tab.Left, tab.Bottom - 1);
  c.LineTo(tab.Left, tab.Top);
  c.LineTo(tab.Right - 1, tab.Top);
  c.Pen().SetColor(clBlack);
  c.LineTo(tab.Right - 1, tab.Bottom);
  c.Brush().SetStyle(bsClear);
  c.PushClip(tab);
  if (cross) {
    TFont upright;
    upright.Assign(c.Font());
    c.Font().Assign(CreateRotatedFont(upright));
    c.TextOut(Left - 15, Top + tw + 4, title);
    c.Font().Assign(upright);
  } else {
    c.TextOut(Left + 4, Top - 17, title);
  }
  c.PopClip();
  RestoreGeometry();
}

TRect TfrBandView::BuildClipRegion(bool with_margin) {
  TRect r = Rect(Left, Top, Left + Width + 1, Top + Height + 1);
  if (with_margin) r = Rect(r.Left - 10, r.Top - 10, r.Right + 10, r.Bottom + 10);
  // With the tab the region reaches up (or left) over the title.
  TCanvas& c = frScratchCanvas();
  SetTitleFont(c);
  const int tw = BandTitleWidth(c, BandTypeName(BandType()));
  if (IsCrossBand(BandType())) {
    r.Left = std::min(r.Left, Left - kTitleTabHeight);
    r.Bottom = std::max(r.Bottom, Top + tw);
  } else {
    r.Top = std::min(r.Top, Top - kTitleTabHeight);
    r.Right = std::max(r.Right, Left + tw);
  }
  return r;
}

// ---- Sub-report placeholder ---------------------------------------------------------------

TfrSubReportView::TfrSubReportView() {
  TypeCode = gtSubReport;
  NamePrefix = "SubReport";
}

void TfrSubReportView::ReadRecord(TStream& stream, int version) {
  TfrView::ReadRecord(stream, version);
  SubPage = static_cast<int32_t>(ReadDword(stream));
}

void TfrSubReportView::WriteRecord(TStream& stream) {
  TfrView::WriteRecord(stream);
  WriteDword(stream, static_cast<uint32_t>(SubPage));
}

void TfrSubReportView::DrawTo(TCanvas* canvas) {
  BeginDraw(*this, canvas);
  FrameWidth = 1;
  ApplyScale();
  TCanvas& c = *canvas;
  c.Brush().SetStyle(bsSolid);
  c.Brush().SetColor(clWhite);
  c.Pen().SetColor(clBlack);
  c.Pen().SetWidth(1);
  c.Pen().SetStyle(psSolid);
  c.Rectangle(Left, Top, Left + Width + 1, Top + Height + 1);
  SetTitleFont(c);
  c.Brush().SetStyle(bsClear);
  c.PushClip(PaintRect);
  c.TextOut(Left + 2, Top + 2, Name);
  c.PopClip();
  RestoreGeometry();
}

// ---- Picture -----------------------------------------------------------------------------

namespace {

constexpr FlagName kPictureFlags[] = {{"CENTER", flPictCenter}, {"KEEPASPECT", flPictRatio}};

// The kind of a picture file, from its first bytes; pkNone when it is none the engine keeps.
uint8_t SniffPictureKind(std::string_view data) {
  auto starts = [&](std::string_view magic) { return data.substr(0, magic.size()) == magic; };
  if (starts("BM")) return pkBitmap;
  if (IsJPEGData(data.data(), data.size())) return pkJPEG;
  if (starts(std::string_view("\0\0\1\0", 4))) return pkIcon;
  if (TWindowsMetafile::Recognized(data)) return pkMetafile;
  return pkNone;
}

constexpr uint8_t kKindOfBlobType[] = {pkBitmap, pkJPEG, pkIcon, pkMetafile};

// Scripts name a picture by a number: the live picture objects by theirs, so
// that a number that names none is refused rather than followed.
std::map<int, TfrPictureView*>& LivePictures() {
  static std::map<int, TfrPictureView*> pictures;
  return pictures;
}

}  // namespace

TfrPictureView::TfrPictureView() {
  TypeCode = gtPicture;
  NamePrefix = "Picture";
  Flags = flStretched | flPictRatio;
  // Expressions and scripts name the blob formats.
  TfrVariables& constants = frGlobals().NamedConstants;
  constants.AssignVariable("btBMP", 0);
  constants.AssignVariable("btJPG", 1);
  constants.AssignVariable("btICO", 2);
  constants.AssignVariable("btWMF", 3);
  static int last_handle = 0;
  picture_handle_ = ++last_handle;
  LivePictures()[picture_handle_] = this;
}

TfrPictureView::~TfrPictureView() { LivePictures().erase(picture_handle_); }

void TfrPictureView::ClearPicture() { SetPicture(pkNone, {}); }

void TfrPictureView::SetPicture(uint8_t kind, std::string data) {
  picture_kind_ = data.empty() ? pkNone : kind;
  picture_data_ = picture_kind_ == pkNone ? std::string() : std::move(data);
  decoded_.reset();
  metafile_.reset();
  played_.reset();
  decode_tried_ = false;
}

void TfrPictureView::LoadPictureFromFile(const std::string& file_name) {
  TMemoryStream bytes;
  bytes.LoadFromFile(file_name);
  std::string data(bytes.Bytes());
  const uint8_t kind = SniffPictureKind(data);
  if (kind == pkNone) throw EInvalidGraphic("Unknown picture file extension (" + AnsiString(file_name) + ")");
  SetPicture(kind, std::move(data));
}

TBitmap* TfrPictureView::Decoded() {
  if (decode_tried_) return decoded_.get();
  decode_tried_ = true;
  try {
    if (picture_kind_ == pkJPEG) {
      TJPEGImage jpeg;
      jpeg.LoadFromBytes(picture_data_.data(), picture_data_.size());
      decoded_ = std::make_unique<TBitmap>();
      jpeg.AssignTo(*decoded_);
    } else if (picture_kind_ == pkBitmap) {
      decoded_ = std::make_unique<TBitmap>();
      decoded_->LoadFromBytes(picture_data_.data(), picture_data_.size());
    } else if (picture_kind_ == pkIcon) {
      decoded_ = std::make_unique<TBitmap>();
      decoded_->LoadIconFromBytes(picture_data_.data(), picture_data_.size());
    } else if (picture_kind_ == pkMetafile) {
      metafile_ = std::make_unique<TWindowsMetafile>();
      metafile_->LoadFromBytes(picture_data_);
    }
  } catch (const std::exception&) {
    decoded_.reset();  // a picture that cannot be read draws as none
    metafile_.reset();
  }
  return decoded_.get();
}

TWindowsMetafile* TfrPictureView::DecodedMetafile() {
  Decoded();
  return metafile_.get();
}

void TfrPictureView::DrawGraphic(TCanvas& canvas, const TRect& r) {
  if (TWindowsMetafile* metafile = DecodedMetafile()) {
    // To the printer as to the screen: a metafile is stretch-drawn, played
    // into our own recording at the canvas's resolution, so that texts take
    // the sizes they have there, then replayed; a repaint of the same place
    // replays the recording alone.
    if (!played_ || played_rect_ != r || played_ppi_ != canvas.PixelsPerInch()) {
      played_ = std::make_unique<TMetafile>();
      TMetafileCanvas recorder(*played_);
      recorder.SetPixelsPerInch(canvas.PixelsPerInch());
      metafile->StretchDraw(recorder, r);
      played_rect_ = r;
      played_ppi_ = canvas.PixelsPerInch();
    }
    played_->Replay(canvas);
    return;
  }
  TBitmap scaled;
  scaled.AssignScaled(*Decoded(), r.Width(), r.Height());
  canvas.Draw(r.Left, r.Top, scaled);
}

int TfrPictureView::PictureWidth() {
  if (picture_kind_ == pkIcon && picture_data_.size() >= 8) {
    const int w = static_cast<unsigned char>(picture_data_[6]);
    return w == 0 ? 256 : w;
  }
  if (TWindowsMetafile* m = DecodedMetafile()) return m->Width();
  TBitmap* b = Decoded();
  return b != nullptr ? b->Width() : 0;
}

int TfrPictureView::PictureHeight() {
  if (picture_kind_ == pkIcon && picture_data_.size() >= 8) {
    const int h = static_cast<unsigned char>(picture_data_[7]);
    return h == 0 ? 256 : h;
  }
  if (TWindowsMetafile* m = DecodedMetafile()) return m->Height();
  TBitmap* b = Decoded();
  return b != nullptr ? b->Height() : 0;
}

void TfrPictureView::PutProperty(std::string_view name, const Variant& value) {
  TfrView::PutProperty(name, value);
  const AnsiString n = AnsiUpperCase(name);
  for (const FlagName& f : kPictureFlags)
    if (n == f.name) Flags = value.AsBoolean() ? (Flags | f.bit) : (Flags & ~f.bit);
  if (n == "BLOBTYPE") BlobType = static_cast<uint8_t>(value.AsInteger());
  if (n == "PICTURE") {
    // Takes a copy of the picture the number names; nothing (0) empties it.
    const int handle = value.IsNull() ? 0 : value.AsInteger();
    if (handle == 0) {
      ClearPicture();
      return;
    }
    const auto found = LivePictures().find(handle);
    if (found == LivePictures().end())
      throw Exception(Format("%d names no picture", {handle}));
    if (found->second != this) SetPicture(found->second->picture_kind_, found->second->picture_data_);
  }
}

Variant TfrPictureView::FetchProperty(std::string_view name) {
  Variant result = TfrView::FetchProperty(name);
  if (!result.IsNull()) return result;
  const AnsiString n = AnsiUpperCase(name);
  for (const FlagName& f : kPictureFlags)
    if (n == f.name) return (Flags & f.bit) != 0;
  if (n == "BLOBTYPE") return static_cast<int>(BlobType);
  if (n == "PICTURE") return picture_handle_;
  return result;
}

Variant TfrPictureView::InvokeMethod(std::string_view name, const Variant& p1, const Variant& p2,
                                     const Variant& p3) {
  Variant result = TfrView::InvokeMethod(name, p1, p2, p3);
  if (AnsiUpperCase(name) == "LOADFROMFILE") {
    TfrParser& parser = frBuildHost().Parser();
    const AnsiString file_name = VarToStr(parser.EvaluateText(VarToStr(p1)));
    std::error_code error;
    if (!file_name.empty() && std::filesystem::is_regular_file(std::filesystem::path(file_name), error))
      LoadPictureFromFile(file_name);
    else
      ClearPicture();
  }
  return result;
}

void TfrPictureView::FillPropertyList() {
  TfrView::FillPropertyList();
  AddProperty("Picture", frdtHasEditor);
  for (const char* n : {"Stretched", "Center", "KeepAspect"}) AddProperty(n, frdtBoolean);
  AddProperty("DataField", frdtOneObject | frdtHasEditor | frdtString);
  AddEnumProperty("BlobType", "btBMP;btJPG;btICO;btWMF", 3, {0, 1, 2, 3});
}

void TfrPictureView::LoadFromField(TBlobField* field) {
  if (field == nullptr || field->HoldsNull()) {
    ClearPicture();
    return;
  }
  TMemoryStream bytes;
  field->SaveToStream(bytes);
  const uint8_t kind = BlobType < std::size(kKindOfBlobType) ? kKindOfBlobType[BlobType] : pkNone;
  SetPicture(kind, std::string(bytes.Bytes()));
}

void TfrPictureView::ReadRecord(TStream& stream, int version) {
  TfrView::ReadRecord(stream, version);
  const uint8_t kind = ReadByte(stream);
  if (RecordVersion(*this) > 10) BlobType = ReadByte(stream);
  const int64_t end = static_cast<int32_t>(ReadDword(stream));
  const int64_t here = stream.Position();
  // The end position is trusted only inside the stream and not behind us.
  if (end < here || end > stream.Size())
    throw EReadError(
        Format("Picture \"%s\" ends at %d, outside its stream", {PrintableName(Name), static_cast<int>(end)}));
  std::string data(static_cast<size_t>(end - here), '\0');
  if (!data.empty()) stream.ReadBuffer(data.data(), static_cast<int64_t>(data.size()));
  SetPicture(kind >= pkBitmap && kind <= pkJPEG ? kind : pkNone, std::move(data));
  stream.SetPosition(end);
}

void TfrPictureView::WriteRecord(TStream& stream) {
  TfrView::WriteRecord(stream);
  WriteByte(stream, picture_kind_);
  WriteByte(stream, BlobType);
  const int64_t placeholder = stream.Position();
  WriteDword(stream, 0);
  if (!picture_data_.empty()) stream.WriteBuffer(picture_data_.data(), static_cast<int64_t>(picture_data_.size()));
  const int64_t end = stream.Position();
  if (end > INT32_MAX) throw EWriteError("Picture data reach past what the template stream can address");
  stream.SetPosition(placeholder);
  WriteDword(stream, static_cast<uint32_t>(end));
  stream.Seek(0, soEnd);
}

TRect TfrPictureView::TargetRect() {
  const int pw = PictureWidth();
  const int ph = PictureHeight();
  const bool center = (Flags & flPictCenter) != 0;
  TRect r = PaintRect;
  if (Flags & flStretched) {
    if ((Flags & flPictRatio) && pw > 0 && ph > 0) {
      const double kx = static_cast<double>(Width) / pw;
      const double ky = static_cast<double>(Height) / ph;
      if (kx >= ky)
        r.Right = PaintRect.Left + frRound(pw * ky);
      else
        r.Bottom = PaintRect.Top + frRound(ph * kx);
      if (center) {
        const int dx = (PaintRect.Width() - r.Width()) / 2;
        const int dy = (PaintRect.Height() - r.Height()) / 2;
        r = Rect(r.Left + dx, r.Top + dy, r.Right + dx, r.Bottom + dy);
      }
    }
    return r;
  }
  const int w = frRound(pw * ScaleFactorX);
  const int h = frRound(ph * ScaleFactorY);
  if (center) {
    r.Left += (PaintRect.Width() - w) / 2;
    r.Top += (PaintRect.Height() - h) / 2;
  }
  r.Right = r.Left + w;
  r.Bottom = r.Top + h;
  return r;
}

void TfrPictureView::DrawTo(TCanvas* canvas) {
  BeginDraw(*this, canvas);
  ApplyScale();
  PaintFill();
  TBitmap* bitmap = Decoded();
  if (DecodedMetafile() != nullptr || (bitmap != nullptr && !bitmap->Empty())) {
    const TRect r = TargetRect();
    if (r.Width() > 0 && r.Height() > 0) DrawGraphic(*canvas, r);
  } else if (!frPrinting()) {
    SetTitleFont(*canvas);
    canvas->Brush().SetStyle(bsClear);
    canvas->PushClip(PaintRect);
    canvas->TextOut(Left + 20, Top + 3, LoadReportString(55228));
    canvas->PopClip();
  }
  PaintBorder();
  RestoreGeometry();
}

// ---- Line ---------------------------------------------------------------------------------

TfrLineView::TfrLineView() {
  TypeCode = gtLine;
  NamePrefix = "Line";
  FrameTyp = frbLeft;
  FillColor = 0xFFFFFF;
}

void TfrLineView::FillPropertyList() {
  TfrStretcheable::FillPropertyList();
  AddProperty("Stretched", frdtBoolean);
}

void TfrLineView::DrawTo(TCanvas* canvas) {
  BeginDraw(*this, canvas);
  if (Height < Width) {
    Height = 0;
    FrameTyp = frbTop;
  } else {
    Width = 0;
    FrameTyp = frbLeft;
  }
  ApplyScale();
  PaintBorder();
  RestoreGeometry();
}

TRect TfrLineView::BuildClipRegion(bool with_margin) {
  const double fw = FrameWidth;
  int a = static_cast<int>(fw * 0.5);
  int b = static_cast<int>((fw - 1) / 2);
  if (FrameStyle == frsDouble) {
    a = static_cast<int>(fw * 1.5);
    b = static_cast<int>((fw - 1) / 2 + fw);
  }
  TRect r = (FrameTyp & frbLeft) ? Rect(Left - a, Top, Left + Width + 1 + b, Top + Height + 1)
                                 : Rect(Left, Top - a, Left + Width + 1, Top + Height + 1 + b);
  if (with_margin) r = Rect(r.Left - 10, r.Top - 10, r.Right + 10, r.Bottom + 10);
  return r;
}

// ---- Factory --------------------------------------------------------------------------------

void RegisterStandardViews() {
  SetBuiltInViewConstructor(gtMemo, [] { return std::make_unique<TfrMemoView>(); });
  SetBuiltInViewConstructor(gtPicture, [] { return std::make_unique<TfrPictureView>(); });
  SetBuiltInViewConstructor(gtBand, [] { return std::make_unique<TfrBandView>(); });
  SetBuiltInViewConstructor(gtSubReport, [] { return std::make_unique<TfrSubReportView>(); });
  SetBuiltInViewConstructor(gtLine, [] { return std::make_unique<TfrLineView>(); });
}
