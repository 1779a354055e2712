// Graphics objects: the system colour table, fonts, pens and brushes, the
// canvas interface, bitmaps and pictures.
//
// The headers stay free of Qt so that the program's units include them
// without it; the QPainter back end and the conversions to Qt types live in
// toolkit/gfx/qt_canvas.h, which only the toolkit's own units include.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "toolkit/core/colors.h"
#include "toolkit/core/component.h"
#include "toolkit/core/sets.h"

class QImage;
class TStream;

// ---- Geometry ----------------------------------------------------------------

struct TPoint {
  int x = 0;
  int y = 0;
  bool operator==(const TPoint&) const = default;
};

// Left and top inside, right and bottom outside.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool operator==(const TRect&) const = default;
};

inline TRect Rect(int left, int top, int right, int bottom) { return TRect{left, top, right, bottom}; }
inline TRect Bounds(int left, int top, int width, int height) {
  return TRect{left, top, left + width, top + height};
}

// ---- Colours -----------------------------------------------------------------

// GetSysColor, ColorToRGB, RGB and the channel getters live in toolkit/core/colors.h.

// ---- Fonts, pens, brushes ------------------------------------------------------

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = TSet<TFontStyle>;

// A graphics object that tells its user of every change.
class TGraphicsObject {
 public:
  virtual ~TGraphicsObject() = default;
  std::function<void()> OnChange;

 protected:
  void Changed() {
    if (OnChange) OnChange();
  }
};

// A font: face name, size in points (Height is the negative pixel height on
// the font's device: 96 pixels per inch unless the canvas owning it says
// otherwise), colour and style. Face names of the classic desktop resolve to
// the metric-compatible free faces (ResolvedName).
class TFont : public TGraphicsObject {
 public:
  const AnsiString& Name() const { return name_; }
  void SetName(const AnsiString& value);
  int Size() const { return size_; }
  void SetSize(int value);
  // Negative: the character height in pixels; set through Size as well.
  int Height() const;
  void SetHeight(int value);
  TColor Color() const { return color_; }
  void SetColor(TColor value);
  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles value);
  // The angle of the text's base line in tenths of a degree, counter-clockwise
  // (900: the text reads upwards); TextOut turns the text about its start.
  int Orientation() const { return orientation_; }
  void SetOrientation(int tenths_of_degree);
  // The resolution of the device the font draws on; Assign leaves it, as
  // the font stays on its device.
  int PixelsPerInch() const { return pixels_per_inch_; }
  void SetPixelsPerInch(int value);
  void Assign(const TFont& source);
  bool operator==(const TFont& other) const;

  // The face the system draws with for Name.
  std::string ResolvedName() const;

 private:
  AnsiString name_ = "MS Sans Serif";
  int size_ = 8;
  TColor color_ = clWindowText;
  TFontStyles style_;
  int orientation_ = 0;
  int pixels_per_inch_ = 96;
};

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };

class TPen : public TGraphicsObject {
 public:
  TColor Color() const { return color_; }
  void SetColor(TColor value);
  int Width() const { return width_; }
  void SetWidth(int value);
  TPenStyle Style() const { return style_; }
  void SetStyle(TPenStyle value);
  void Assign(const TPen& source);

 private:
  TColor color_ = clBlack;
  int width_ = 1;
  TPenStyle style_ = psSolid;
};

enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };

class TBrush : public TGraphicsObject {
 public:
  TColor Color() const { return color_; }
  void SetColor(TColor value);
  TBrushStyle Style() const { return style_; }
  void SetStyle(TBrushStyle value);
  void Assign(const TBrush& source);

 private:
  TColor color_ = clWhite;
  TBrushStyle style_ = bsSolid;
};

// ---- Canvas --------------------------------------------------------------------

class TBitmap;

// Which points a shape of several rings fills: those inside an odd number of
// rings (frAlternate: a ring inside another leaves a hole), or those the
// rings wind round at all (frWinding: rings drawn the same way round fill
// each other's holes).
enum TFillRule { frAlternate, frWinding };

// A drawing surface. Coordinates are device pixels; texts are 1251.
// Rectangle, Ellipse and Polygon outline with the pen and fill with the brush;
// FillRect fills with the brush alone; TextOut paints the text's background
// with the brush unless the brush is bsClear.
class TCanvas {
 public:
  virtual ~TCanvas() = default;

  TPen& Pen() { return pen_; }
  TBrush& Brush() { return brush_; }
  TFont& Font() { return font_; }
  TPoint PenPos() const { return pen_pos_; }
  // Device pixels per inch: how many pixels a point size makes. A printer's
  // canvas sets its resolution, so a text prints at its point size.
  int PixelsPerInch() const { return font_.PixelsPerInch(); }
  void SetPixelsPerInch(int value) { font_.SetPixelsPerInch(value); }

  void MoveTo(int x, int y) { pen_pos_ = {x, y}; }
  void LineTo(int x, int y);
  virtual void FillRect(const TRect& rect) = 0;
  virtual void Rectangle(int x1, int y1, int x2, int y2) = 0;
  virtual void Ellipse(int x1, int y1, int x2, int y2) = 0;
  virtual void Polygon(const TPoint* points, int count) = 0;
  // One shape of several closed rings, counts[i] points each, one after the
  // other in points: outlined ring by ring with the pen, filled as a whole
  // with the brush by rule.
  virtual void PolyPolygon(const TPoint* points, const int* counts, int rings, TFillRule rule) = 0;
  virtual void TextOut(int x, int y, const AnsiString& text) = 0;
  virtual int TextWidth(const AnsiString& text) = 0;
  virtual int TextHeight(const AnsiString& text) = 0;
  // Copies a bitmap with its top-left corner at (x, y).
  virtual void Draw(int x, int y, TBitmap& bitmap) = 0;
  // Copies the part of a bitmap (in its own coordinates) with its top-left
  // corner at (x, y).
  virtual void DrawPart(int x, int y, TBitmap& bitmap, const TRect& part);
  virtual TColor Pixel(int x, int y) = 0;
  virtual void SetPixel(int x, int y, TColor color) = 0;
  // Turns every pixel of rect into its inverse colour (black to white), as the
  // classic InvertRect; twice restores it. Pen and brush play no part.
  virtual void InvertRect(const TRect& rect) = 0;
  // Narrows drawing to the part of rect inside the current clip, until the
  // matching PopClip; pushes nest.
  virtual void PushClip(const TRect& rect) = 0;
  virtual void PopClip() = 0;

 protected:
  virtual void Line(int x1, int y1, int x2, int y2) = 0;

 private:
  TPen pen_;
  TBrush brush_;
  TFont font_;
  TPoint pen_pos_;
};

// Keeps a canvas's pen, brush, font and pen position for a scope: drawing
// played from a recording or a file sets them freely and leaves the canvas
// as it found it, also when the drawing ends with an error.
class TCanvasStateScope {
 public:
  explicit TCanvasStateScope(TCanvas& canvas) : canvas_(canvas), position_(canvas.PenPos()) {
    pen_.Assign(canvas.Pen());
    brush_.Assign(canvas.Brush());
    font_.Assign(canvas.Font());
  }
  ~TCanvasStateScope() {
    canvas_.Pen().Assign(pen_);
    canvas_.Brush().Assign(brush_);
    canvas_.Font().Assign(font_);
    canvas_.MoveTo(position_.x, position_.y);
  }
  TCanvasStateScope(const TCanvasStateScope&) = delete;
  TCanvasStateScope& operator=(const TCanvasStateScope&) = delete;

 private:
  TCanvas& canvas_;
  TPen pen_;
  TBrush brush_;
  TFont font_;
  TPoint position_;
};

// ---- Bitmaps and pictures ------------------------------------------------------

// A device-independent 32-bit image with a canvas. BMP files are read and
// written through the image library.
//
// Published as a property it is stored as picture data: the extra property
// "Data" holds a 4-byte little-endian length and then the picture as a BMP
// file of that length; an empty picture stores nothing. Reading data that is
// no such picture raises EInvalidGraphic and keeps the old picture.
class TBitmap : public TPersistent {
  KIV7_PERSISTENT(TBitmap)

 public:
  TBitmap();
  ~TBitmap() override;

  int Width() const;
  int Height() const;
  // Resizing keeps nothing of the old picture; the new one is white.
  void SetSize(int width, int height);
  void SetWidth(int value) { SetSize(value, Height()); }
  void SetHeight(int value) { SetSize(Width(), value); }
  bool Empty() const { return Width() == 0 || Height() == 0; }
  void Assign(const TBitmap& source);
  // Another bitmap's picture; nullptr empties this one.
  void Assign(const TPersistent* source) override;
  // Takes source's picture stretched (or shrunk) to width × height.
  void AssignScaled(TBitmap& source, int width, int height);

  // A canvas on the picture; valid until the bitmap changes size or dies.
  TCanvas& Canvas();

  // Reads a BMP (or any format the image library knows); raises EInvalidGraphic
  // when the file cannot be read as a picture. Names are UTF-8.
  void LoadFromFile(const std::string& file_name);
  // Writes a BMP; raises EFCreateError when the file cannot be written.
  void SaveToFile(const std::string& file_name);
  // Reads a BMP held in memory (a blob field's bytes); raises EInvalidGraphic
  // for bytes that are no BMP and keeps the old picture.
  void LoadFromBytes(const void* data, size_t size);
  // Reads an icon file's first image; what it leaves transparent is white,
  // the paper it is drawn on. Raises EInvalidGraphic for bytes that are no icon.
  void LoadIconFromBytes(const void* data, size_t size);
  // The picture as the bytes of a BMP file (empty for an empty picture).
  std::string SaveToBytes();

  // The picture itself, with any drawing finished (for the toolkit's own units).
  const QImage& Image();
  void SetImage(const QImage& image);

  // Raised when the picture is replaced as a whole (a new size, an assigned
  // or loaded picture, stored data read back); drawing on the canvas does
  // not raise it.
  std::function<void()> OnChange;

  // The stored picture data ("Data").
  void DefineProperties(TFiler& filer) override;
  // The picture data as stored: the length, then the BMP bytes (nothing for
  // an empty picture); and back.
  void WriteData(TStream& stream);
  void ReadData(TStream& stream);

 private:
  void Changed() {
    if (OnChange) OnChange();
  }
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

KIV7_DECLARE_EXCEPTION(EInvalidGraphic, Exception);

// A picture of any kind a control shows; this system's pictures are bitmaps.
class TPicture {
 public:
  TPicture();
  ~TPicture();
  TBitmap& Bitmap() { return *bitmap_; }
  // Reads a JPEG (known by its first bytes) or a BMP; raises EInvalidGraphic
  // for a file that is neither, keeping the old picture.
  void LoadFromFile(const std::string& file_name);
  // The same for bytes in memory.
  void LoadFromBytes(const void* data, size_t size);
  // Tells the user (the control showing the picture) that it changed.
  void Changed() {
    if (OnChange) OnChange();
  }
  std::function<void()> OnChange;

 private:
  std::unique_ptr<TBitmap> bitmap_;
};
