// The recording canvas: drawing kept as a display list (our metafile) that
// replays on any canvas and lists its texts. Reports keep their pages so,
// and tests check painting through it without pixels.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/gfx/graphics.h"

enum class TMetaOp {
  FillRect,
  Rectangle,
  Ellipse,
  Polygon,
  PolyPolygon,
  Line,
  TextOut,
  Draw,
  SetPixel,
  PushClip,
  PopClip,
  InvertRect
};

// One drawing call with the canvas state it was made in.
struct TMetaRecord {
  TMetaOp op = TMetaOp::FillRect;
  // FillRect, Rectangle, Ellipse, PushClip, InvertRect: the rectangle; Line: from
  // (Left, Top) to (Right, Bottom); TextOut, Draw, SetPixel: (Left, Top).
  TRect rect;
  std::vector<TPoint> points;  // Polygon, PolyPolygon (all rings)
  std::vector<int> counts;     // PolyPolygon: the points of each ring
  TFillRule fill_rule = frAlternate;  // PolyPolygon
  AnsiString text;             // TextOut
  TColor color = clNone;       // SetPixel
  // Draw: the picture, top row first, as 0x00RRGGBB.
  int image_width = 0;
  int image_height = 0;
  std::vector<uint32_t> image;
  // The canvas state.
  TColor pen_color = clBlack;
  int pen_width = 1;
  TPenStyle pen_style = psSolid;
  TColor brush_color = clWhite;
  TBrushStyle brush_style = bsSolid;
  TFont font;
  bool operator==(const TMetaRecord& other) const;
};

// A text drawn into a metafile: where, what, in which font, and the clip it
// was drawn under (Clipped false: none).
struct TMetaTextRun {
  int x = 0;
  int y = 0;
  AnsiString text;
  TFont font;
  TColor brush_color = clWhite;
  TBrushStyle brush_style = bsSolid;
  bool clipped = false;
  TRect clip;
};

class TMetafile {
 public:
  // The extent the picture was drawn for, in pixels (0 when not given).
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetSize(int width, int height) {
    width_ = width;
    height_ = height;
  }

  const std::vector<TMetaRecord>& Records() const { return records_; }
  void Add(TMetaRecord record) { records_.push_back(std::move(record)); }
  void Clear() { records_.clear(); }
  bool Empty() const { return records_.empty(); }

  // Draws the records on canvas, moved by (dx, dy); the canvas's pen, brush,
  // font and pen position are as before afterwards.
  void Replay(TCanvas& canvas, int dx = 0, int dy = 0) const;
  // The texts in drawing order.
  std::vector<TMetaTextRun> TextRuns() const;
  // All texts joined, each run followed by a line feed.
  AnsiString Text() const;

  bool operator==(const TMetafile& other) const = default;

 private:
  std::vector<TMetaRecord> records_;
  int width_ = 0;
  int height_ = 0;
};

// A canvas whose drawing goes into a metafile. Texts are measured with the
// screen's fonts, as on a bitmap.
class TQtTextMeasure;
class TMetafileCanvas : public TCanvas {
 public:
  explicit TMetafileCanvas(TMetafile& metafile);
  ~TMetafileCanvas() override;

  void FillRect(const TRect& rect) override;
  void Rectangle(int x1, int y1, int x2, int y2) override;
  void Ellipse(int x1, int y1, int x2, int y2) override;
  void Polygon(const TPoint* points, int count) override;
  void PolyPolygon(const TPoint* points, const int* counts, int rings, TFillRule rule) override;
  void TextOut(int x, int y, const AnsiString& text) override;
  int TextWidth(const AnsiString& text) override;
  int TextHeight(const AnsiString& text) override;
  void Draw(int x, int y, TBitmap& bitmap) override;
  // A recording has no pixels to read: clNone.
  TColor Pixel(int x, int y) override;
  void SetPixel(int x, int y, TColor color) override;
  void InvertRect(const TRect& rect) override;
  void PushClip(const TRect& rect) override;
  void PopClip() override;

 protected:
  void Line(int x1, int y1, int x2, int y2) override;

 private:
  TMetaRecord Record(TMetaOp op);
  TMetafile& metafile_;
  int clip_depth_ = 0;
  std::unique_ptr<TQtTextMeasure> measure_;
};

// ---- Windows metafiles ------------------------------------------------------------
//
// Pictures, blob fields and the oldest prepared reports hold drawings in the
// two metafile file formats of the classic platform (all little-endian):
//
//   placeable   u32 key 0x9AC6CDD7, u16 handle (0), i16 left, top, right,
//               bottom (the frame in the file's own units), u16 units per
//               inch, u32 reserved, u16 checksum (XOR of the ten words before
//               it); then the 18-byte header: u16 type (1 memory, 2 disk),
//               u16 header words (9), u16 version, u32 size in words, u16
//               object slots, u32 largest record, u16 (0); then records of
//               u32 size in 16-bit words, u16 function, parameters (16-bit,
//               points as y before x), the last one function 0.
//   enhanced    records of u32 type and u32 size in bytes (a multiple of 4);
//               the first (type 1) holds the bounds in reference pixels, the
//               frame in 0.01 mm, the signature " EMF" at byte 40, version,
//               total bytes, record count, object slots, the description,
//               the reference device's size in pixels and in millimetres; the
//               last record is type 14.
//
// Playing maps the picture's frame onto a rectangle of the canvas and keeps
// drawing inside it. The records such drawings are made of are played
// (coordinate spaces, pens, brushes, fonts, lines, shapes, arcs, polygons of
// several rings filled by the fill mode, paths filled and stroked, texts in
// 1251 and UTF-16, device-independent bitmaps, clipping, saved states); the
// rest (palettes, clip paths, regions but their bounds, raster operations
// other than copying) is passed over. A damaged record ends playing: what was
// drawn stays, nothing is read outside the bytes, and the work is bounded by
// their number.
class TWindowsMetafile {
 public:
  // True when the bytes begin as one of the two formats.
  static bool Recognized(std::string_view bytes);

  // Takes a file's bytes; raises EInvalidGraphic when they are neither
  // format or the header's frame is unusable, keeping the picture held.
  void LoadFromBytes(std::string_view bytes);
  bool Empty() const { return bytes_.empty(); }
  // True for an enhanced metafile, false for a placeable one.
  bool Enhanced() const { return enhanced_; }
  // The picture's size in screen pixels (96 per inch).
  int Width() const { return width_; }
  int Height() const { return height_; }

  // Plays the records onto canvas with the frame mapped onto rect; drawing
  // stays inside rect. The canvas's pen, brush, font and pen position are as
  // before afterwards.
  void StretchDraw(TCanvas& canvas, const TRect& rect) const;

 private:
  std::string bytes_;
  bool enhanced_ = false;
  // Frame in the file's units (placeable: its own units; enhanced: 0.01 mm).
  double frame_left_ = 0, frame_top_ = 0, frame_right_ = 0, frame_bottom_ = 0;
  int width_ = 0;
  int height_ = 0;
};
