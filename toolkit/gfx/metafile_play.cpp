// Playing Windows metafiles (placeable and enhanced) onto a canvas. The file
// formats are described at TWindowsMetafile in metafile.h; the record numbers
// and layouts below are the platform's own.
//
// Coordinates go logical -> (enhanced: world transform) -> window/viewport ->
// reference space -> the destination rectangle. The reference space is the
// placeable header's units, or the enhanced metafile's reference device in
// pixels; its frame is what lands on the destination rectangle.
#include <QFontMetrics>
#include <QImage>
#include <QRectF>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <iterator>
#include <string_view>
#include <utility>
#include <vector>

#include "toolkit/core/binary.h"
#include "toolkit/core/exceptions.h"
#include "toolkit/core/text.h"
#include "toolkit/gfx/metafile.h"
#include "toolkit/gfx/qt_canvas.h"

namespace {

// ---- Constants of the formats -------------------------------------------------------

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7u;
// Key, handle, frame, units per inch, reserved, checksum.
constexpr size_t kPlaceableBytes = 22;
// Type, header words, version, size, object slots, largest record, (0).
constexpr size_t kStandardHeaderBytes = 18;
constexpr uint32_t kEnhancedSignature = 0x464D4520u;  // " EMF"
// The enhanced header up to and including the reference device's millimetres.
constexpr size_t kEnhancedHeaderBytes = 88;

// Map modes.
constexpr int MM_TEXT = 1, MM_LOMETRIC = 2, MM_HIMETRIC = 3, MM_LOENGLISH = 4, MM_HIENGLISH = 5, MM_TWIPS = 6,
              MM_ISOTROPIC = 7, MM_ANISOTROPIC = 8;
// Text alignment bits.
constexpr uint32_t TA_UPDATECP = 1, TA_RIGHT = 2, TA_CENTER = 6, TA_BOTTOM = 8, TA_BASELINE = 24;
// Text output options.
constexpr uint32_t ETO_OPAQUE = 2, ETO_CLIPPED = 4;
constexpr int kOpaque = 2;  // background mode
constexpr int WINDING = 2;  // polygon fill mode; 1 (alternate) is the other
// Brush styles.
constexpr int BS_SOLID = 0, BS_NULL = 1, BS_HATCHED = 2;
// Raster operations drawn: a copy of the source, the brush, black, white.
constexpr uint32_t SRCCOPY = 0x00CC0020u, SRCAND = 0x008800C6u, PATCOPY = 0x00F00021u, BLACKNESS = 0x00000042u,
                   WHITENESS = 0x00FF0062u;
// Region combination modes of the enhanced clip record.
constexpr uint32_t RGN_AND = 1, RGN_COPY = 5;

// Bounds that keep damaged input from costing more than its size.
constexpr size_t kMostSavedStates = 1024;
constexpr size_t kMostObjects = 65536;
constexpr int kMostImageSide = 16384;
constexpr int64_t kMostImagePixels = int64_t{1} << 25;
constexpr double kMostCoordinate = 1e8;

// ---- Bounded reading -------------------------------------------------------------------

// The bytes of one record; what lies outside reads as 0.
class Bytes {
 public:
  Bytes(const unsigned char* data, size_t size) : data_(data), size_(size) {}
  size_t Size() const { return size_; }
  bool Has(size_t offset, size_t count) const { return offset <= size_ && count <= size_ - offset; }
  uint16_t U16(size_t at) const { return Has(at, 2) ? GetLE16(data_ + at) : 0; }
  int16_t I16(size_t at) const { return static_cast<int16_t>(U16(at)); }
  uint32_t U32(size_t at) const { return Has(at, 4) ? GetLE32(data_ + at) : 0; }
  int32_t I32(size_t at) const { return static_cast<int32_t>(U32(at)); }
  float F32(size_t at) const {
    const uint32_t bits = U32(at);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return std::isfinite(f) ? f : 0.0f;
  }
  std::string_view View(size_t at, size_t count) const {
    return Has(at, count) ? std::string_view(reinterpret_cast<const char*>(data_) + at, count) : std::string_view();
  }

 private:
  const unsigned char* data_;
  size_t size_;
};

// ---- Graphic objects and the device state -------------------------------------------

struct LogPen {
  int style = 0;  // PS_SOLID .. PS_INSIDEFRAME; 5 none
  double width = 0;
  bool cosmetic = false;
  TColor color = clBlack;
};

struct LogBrush {
  int style = BS_SOLID;
  TColor color = clWhite;
  int hatch = 0;
};

struct LogFont {
  double height = 0;  // logical units; negative: character height, positive: cell height
  int escapement = 0;
  int weight = 400;
  bool italic = false, underline = false, strike_out = false;
  AnsiString face;
};

struct GdiObject {
  enum Kind { kNone, kPen, kBrush, kFont, kRegion, kOther } kind = kNone;
  LogPen pen;
  LogBrush brush;
  LogFont font;
  double left = 0, top = 0, right = 0, bottom = 0;  // a region's bounds (logical)
};

struct Xform {
  double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;
  Xform Then(const Xform& b) const {  // this first, then b
    return {m11 * b.m11 + m12 * b.m21, m11 * b.m12 + m12 * b.m22, m21 * b.m11 + m22 * b.m21,
            m21 * b.m12 + m22 * b.m22, dx * b.m11 + dy * b.m21 + b.dx, dx * b.m12 + dy * b.m22 + b.dy};
  }
};

struct DcState {
  int map_mode = MM_TEXT;
  double wox = 0, woy = 0, wex = 1, wey = 1;
  double vox = 0, voy = 0, vex = 1, vey = 1;
  Xform world;
  LogPen pen;
  LogBrush brush;
  LogFont font;
  TColor text_color = clBlack;
  TColor bk_color = clWhite;
  int bk_mode = kOpaque;
  uint32_t text_align = 0;
  int poly_fill_mode = 1;
  double cur_x = 0, cur_y = 0;
  size_t clips = 0;  // clips pushed on top of the frame's
};

TColor ColorRef(uint32_t value) { return static_cast<TColor>(value & 0xFFFFFFu); }

int Clamp(double v) {
  if (!std::isfinite(v)) return 0;
  return static_cast<int>(std::lround(std::clamp(v, -kMostCoordinate, kMostCoordinate)));
}

AnsiString FaceName(std::string_view bytes) { return AnsiString(bytes.substr(0, bytes.find('\0'))); }

AnsiString WideText(const Bytes& r, size_t at, size_t count) {
  std::u16string wide;
  wide.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const char16_t c = static_cast<char16_t>(r.U16(at + 2 * i));
    if (c == 0 && at + 2 * i >= r.Size()) break;
    wide.push_back(c);
  }
  return WideToAnsi(wide);
}

// ---- The player -----------------------------------------------------------------------------

class Player;

// A record's handler in a player's table, which is sorted by record number.
template <class Number>
struct RecordHandler {
  Number number;
  void (*play)(Player&, const Bytes&);
};

template <class Number, size_t N>
constexpr bool SortedByNumber(const RecordHandler<Number> (&table)[N]) {
  return std::is_sorted(std::begin(table), std::end(table), [](const RecordHandler<Number>& a,
                                                                const RecordHandler<Number>& b) {
    return a.number < b.number;
  });
}

class Player {
 public:
  Player(TCanvas& canvas, const TRect& rect) : canvas_(canvas), rect_(rect) {}
  ~Player() {
    for (; pushed_ > 0; --pushed_) canvas_.PopClip();
  }
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  void PlayPlaceable(const Bytes& file, double fl, double ft, double fr, double fb, double units_per_inch);
  void PlayEnhanced(const Bytes& file);

 private:
  // Maps the reference space's frame onto the destination rectangle.
  void SetFrame(double fl, double ft, double fr, double fb) {
    sx_ = fr != fl ? rect_.Width() / (fr - fl) : 0;
    sy_ = fb != ft ? rect_.Height() / (fb - ft) : 0;
    dx_ = rect_.Left - fl * sx_;
    dy_ = rect_.Top - ft * sy_;
  }
  // Logical to reference space.
  void ToReference(double x, double y, double& rx, double& ry) const;
  void Scale(double& kx, double& ky) const;
  double DevX(double rx) const { return rx * sx_ + dx_; }
  double DevY(double ry) const { return ry * sy_ + dy_; }
  TPoint Dev(double x, double y) const {
    double rx, ry;
    ToReference(x, y, rx, ry);
    return {Clamp(DevX(rx)), Clamp(DevY(ry))};
  }
  TRect DevRect(double l, double t, double r, double b) const {
    const TPoint a = Dev(l, t), c = Dev(r, b);
    return Rect(std::min(a.x, c.x), std::min(a.y, c.y), std::max(a.x, c.x), std::max(a.y, c.y));
  }
  TRect ReferenceRect(double l, double t, double r, double b) const {
    const int x1 = Clamp(DevX(l)), y1 = Clamp(DevY(t)), x2 = Clamp(DevX(r)), y2 = Clamp(DevY(b));
    return Rect(std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2));
  }

  // Objects.
  void Store(size_t slot, GdiObject object) {
    if (slot >= kMostObjects) return;
    if (slot >= objects_.size()) objects_.resize(slot + 1);
    objects_[slot] = std::move(object);
  }
  size_t FreeSlot() const {
    size_t slot = 0;
    while (slot < objects_.size() && objects_[slot].kind != GdiObject::kNone) ++slot;
    return slot;
  }
  void Select(const GdiObject& object);
  void SelectStock(uint32_t index);
  void Delete(size_t slot) {
    if (slot < objects_.size()) objects_[slot] = GdiObject();
  }

  // States and clips.
  void SaveDC() {
    if (saved_.size() < kMostSavedStates) saved_.push_back(dc_);
  }
  void RestoreDC(int which);
  void PushClip(const TRect& r) {
    canvas_.PushClip(r);
    ++pushed_;
    ++dc_.clips;
  }
  void PopClipsTo(size_t clips) {
    for (; dc_.clips > clips && pushed_ > 0; --dc_.clips, --pushed_) canvas_.PopClip();
    dc_.clips = std::min(dc_.clips, clips);
  }

  // Drawing.
  void ApplyPen();
  void ApplyBrush();
  void Polyline(const std::vector<TPoint>& points);
  // A polyline from the pen's position, which points begin with.
  void PolylineTo(const std::vector<TPoint>& points);
  void Polygon(const std::vector<TPoint>& points);
  // Rings that make one shape, filled by the polygon fill mode; polyline
  // false: each ring is a polyline of its own.
  void PolyPolygon(const std::vector<TPoint>& points, const std::vector<int>& counts, bool polygon);
  TFillRule FillRule() const { return dc_.poly_fill_mode == WINDING ? frWinding : frAlternate; }
  void Rectangle(double l, double t, double r, double b);
  void Ellipse(double l, double t, double r, double b);
  void RoundRect(double l, double t, double r, double b, double w, double h);
  enum ArcKind { kArc, kChord, kPie };
  void Arc(ArcKind kind, double l, double t, double r, double b, double xs, double ys, double xe, double ye);
  void LineTo(double x, double y);
  void Text(double x, double y, const AnsiString& text, uint32_t options, const TRect* box);
  void PatBlt(const TRect& r, uint32_t rop);
  void DrawDib(const TRect& dest, bool flip_x, bool flip_y, std::string_view bmi, std::string_view bits, int xs,
               int ys, int ws, int hs, uint32_t rop);
  void SetPixel(double x, double y, TColor color);

  // Paths. Between the start and the end of a path, lines and shapes go into
  // it instead of onto the canvas, in device coordinates as they are drawn;
  // filling or stroking it draws it as one shape and takes it away.
  struct Figure {
    std::vector<TPoint> points;
    bool closed = false;
  };
  void BeginPath() {
    path_.clear();
    in_path_ = true;
  }
  // The figure lines go on from, begun at the pen's position when none is open.
  Figure& OpenFigure();
  void AddFigure(const std::vector<TPoint>& points, bool closed) {
    if (!points.empty()) path_.push_back({points, closed});
  }
  void CloseFigure() {
    if (!path_.empty() && !path_.back().points.empty()) path_.back().closed = true;
  }
  void AbortPath() {
    in_path_ = false;
    path_.clear();
  }
  void DrawPath(bool fill, bool stroke);

  // Plays a record by the handler its number finds in the table; a number
  // the table lacks is passed over. A record too short for what it says it
  // holds raises BadRecord in its handler: false, which ends the play.
  struct BadRecord {};
  template <class Number, size_t N>
  bool PlayRecord(const RecordHandler<Number> (&table)[N], Number number, const Bytes& r) {
    const auto* handler = std::lower_bound(std::begin(table), std::end(table), number,
                                           [](const RecordHandler<Number>& h, Number n) { return h.number < n; });
    if (handler == std::end(table) || handler->number != number) return true;
    try {
      handler->play(*this, r);
    } catch (const BadRecord&) {
      return false;
    }
    return true;
  }

  bool PlaceableRecord(uint16_t function, const Bytes& r);
  // Handlers of placeable records too long for the record table.
  void PlaceableDib(const Bytes& r, double x, double y, double dw, double dh, size_t at, int xs, int ys, int ws,
                    int hs, uint32_t rop);
  void PlaceablePolyPolygon(const Bytes& r);
  void PlaceableTextOut(const Bytes& r);
  void PlaceableExtTextOut(const Bytes& r);
  void PlaceableFont(const Bytes& r);
  void PlaceablePlaceholder(GdiObject::Kind kind);
  void PlaceableArc(ArcKind kind, const Bytes& r);
  bool EnhancedRecord(uint32_t type, const Bytes& r);
  // Handlers of enhanced records too long for the record table.
  enum EnhancedShape { kPolygonShape, kPolylineShape, kBezierShape, kPolylineToShape, kBezierToShape };
  std::vector<TPoint> EnhancedPoints(const Bytes& r, size_t at, size_t count, bool wide);
  void EnhancedLast(const Bytes& r, size_t at, size_t count, bool wide);
  void EnhancedPoly(const Bytes& r, bool wide, EnhancedShape kind);
  void EnhancedPolyPoly(const Bytes& r, bool wide, bool polygon);
  void EnhancedBlit(double x, double y, double w, double h, std::pair<std::string_view, std::string_view> dib, int xs,
                    int ys, int ws, int hs, uint32_t rop);
  void EnhancedBitBlt(const Bytes& r, bool stretch);
  void EnhancedText(const Bytes& r, bool wide);
  void EnhancedWorld(const Bytes& r, uint32_t mode);
  void EnhancedArc(ArcKind kind, const Bytes& r);
  void EnhancedPlaceholderBrush(const Bytes& r);
  void EnhancedFont(const Bytes& r);

  TCanvas& canvas_;
  TRect rect_;
  bool enhanced_ = false;
  double sx_ = 0, sy_ = 0, dx_ = 0, dy_ = 0;
  // Pixels of the reference space per millimetre (fixed map modes).
  double ref_per_mm_x_ = 96 / 25.4, ref_per_mm_y_ = 96 / 25.4;
  // Placeable: the frame in its own units, which the window maps onto.
  double frame_l_ = 0, frame_t_ = 0, frame_w_ = 1, frame_h_ = 1;
  DcState dc_;
  std::vector<DcState> saved_;
  std::vector<GdiObject> objects_;
  size_t pushed_ = 0;
  TQtTextMeasure measure_;
  bool in_path_ = false;
  std::vector<Figure> path_;
};

void Player::ToReference(double x, double y, double& rx, double& ry) const {
  const Xform& w = dc_.world;
  const double px = x * w.m11 + y * w.m21 + w.dx;
  const double py = x * w.m12 + y * w.m22 + w.dy;
  double kx, ky;
  Scale(kx, ky);
  if (enhanced_) {
    rx = (px - dc_.wox) * kx + dc_.vox;
    ry = (py - dc_.woy) * ky + dc_.voy;
  } else {
    rx = (px - dc_.wox) * kx + frame_l_;
    ry = (py - dc_.woy) * ky + frame_t_;
  }
}

// Reference units per logical unit along x and y.
void Player::Scale(double& kx, double& ky) const {
  const double vex = enhanced_ ? dc_.vex : frame_w_;
  const double vey = enhanced_ ? dc_.vey : frame_h_;
  switch (dc_.map_mode) {
    case MM_ISOTROPIC:
    case MM_ANISOTROPIC: {
      kx = dc_.wex != 0 ? vex / dc_.wex : 0;
      ky = dc_.wey != 0 ? vey / dc_.wey : 0;
      if (dc_.map_mode == MM_ISOTROPIC) {
        const double k = std::min(std::abs(kx), std::abs(ky));
        kx = std::copysign(k, kx);
        ky = std::copysign(k, ky);
      }
      return;
    }
    case MM_LOMETRIC: kx = 0.1; break;
    case MM_HIMETRIC: kx = 0.01; break;
    case MM_LOENGLISH: kx = 0.254; break;
    case MM_HIENGLISH: kx = 0.0254; break;
    case MM_TWIPS: kx = 25.4 / 1440; break;
    default: kx = ky = 1; return;
  }
  // Fixed modes: millimetres, y upwards.
  ky = -kx * ref_per_mm_y_;
  kx *= ref_per_mm_x_;
}

void Player::Select(const GdiObject& object) {
  switch (object.kind) {
    case GdiObject::kPen: dc_.pen = object.pen; break;
    case GdiObject::kBrush: dc_.brush = object.brush; break;
    case GdiObject::kFont: dc_.font = object.font; break;
    case GdiObject::kRegion:
      // A region clips by its bounds.
      PopClipsTo(0);
      PushClip(DevRect(object.left, object.top, object.right, object.bottom));
      break;
    default: break;
  }
}

void Player::SelectStock(uint32_t index) {
  switch (index & 0x7FFFFFFFu) {
    case 0: dc_.brush = {BS_SOLID, clWhite, 0}; break;
    case 1: dc_.brush = {BS_SOLID, static_cast<TColor>(0xC0C0C0), 0}; break;
    case 2: dc_.brush = {BS_SOLID, static_cast<TColor>(0x808080), 0}; break;
    case 3: dc_.brush = {BS_SOLID, static_cast<TColor>(0x404040), 0}; break;
    case 4: dc_.brush = {BS_SOLID, clBlack, 0}; break;
    case 5: dc_.brush = {BS_NULL, clBlack, 0}; break;
    case 6: dc_.pen = {0, 0, true, clWhite}; break;
    case 7: dc_.pen = {0, 0, true, clBlack}; break;
    case 8: dc_.pen = {5, 0, true, clBlack}; break;
    case 10: case 11: case 12: case 13: case 14: case 16: case 17: dc_.font = LogFont(); break;
    default: break;
  }
}

void Player::RestoreDC(int which) {
  // Negative: that many states back; positive: the state of that number.
  const int64_t count = static_cast<int64_t>(saved_.size());
  const int64_t index = which < 0 ? count + which : int64_t{which} - 1;
  if (index < 0 || index >= count) return;
  const size_t clips = saved_[static_cast<size_t>(index)].clips;
  DcState state = saved_[static_cast<size_t>(index)];
  saved_.resize(static_cast<size_t>(index));
  PopClipsTo(clips);
  state.clips = dc_.clips;
  dc_ = state;
}

void Player::ApplyPen() {
  TPen& pen = canvas_.Pen();
  const int style = dc_.pen.style & 0xF;
  pen.SetStyle(style == 5 || style > 6 ? psClear : static_cast<TPenStyle>(style));
  pen.SetColor(dc_.pen.color);
  double kx, ky;
  Scale(kx, ky);
  const double device = dc_.pen.cosmetic ? 1 : std::abs(dc_.pen.width * kx * sx_);
  const double widest = 4.0 * std::max(rect_.Width(), rect_.Height()) + 1;
  pen.SetWidth(std::max(1, Clamp(std::min(device, widest))));
}

void Player::ApplyBrush() {
  TBrush& brush = canvas_.Brush();
  brush.SetColor(dc_.brush.color);
  static constexpr TBrushStyle kHatches[] = {bsHorizontal, bsVertical, bsFDiagonal,
                                             bsBDiagonal,  bsCross,    bsDiagCross};
  if (dc_.brush.style == BS_SOLID)
    brush.SetStyle(bsSolid);
  else if (dc_.brush.style == BS_HATCHED && dc_.brush.hatch >= 0 && dc_.brush.hatch < 6)
    brush.SetStyle(kHatches[dc_.brush.hatch]);
  else
    brush.SetStyle(bsClear);  // no brush, or a pattern this player does not paint
}

void Player::Polyline(const std::vector<TPoint>& points) {
  if (in_path_) return AddFigure(points, false);
  if (points.size() < 2) return;
  ApplyPen();
  canvas_.MoveTo(points[0].x, points[0].y);
  for (size_t i = 1; i < points.size(); ++i) canvas_.LineTo(points[i].x, points[i].y);
}

void Player::PolylineTo(const std::vector<TPoint>& points) {
  if (!in_path_) return Polyline(points);
  Figure& figure = OpenFigure();
  figure.points.insert(figure.points.end(), points.begin() + 1, points.end());
}

void Player::Polygon(const std::vector<TPoint>& points) {
  if (in_path_) return AddFigure(points, true);
  if (points.size() < 2) return;
  ApplyPen();
  ApplyBrush();
  canvas_.Polygon(points.data(), static_cast<int>(points.size()));
}

void Player::PolyPolygon(const std::vector<TPoint>& points, const std::vector<int>& counts, bool polygon) {
  if (in_path_ || !polygon) {
    auto from = points.begin();
    for (int n : counts) {
      const std::vector<TPoint> ring(from, from + n);
      from += n;
      if (polygon) Polygon(ring); else Polyline(ring);
    }
    return;
  }
  ApplyPen();
  ApplyBrush();
  canvas_.PolyPolygon(points.data(), counts.data(), static_cast<int>(counts.size()), FillRule());
}

Player::Figure& Player::OpenFigure() {
  // A figure goes on only from where the pen stands: a polyline left it elsewhere.
  const TPoint at = Dev(dc_.cur_x, dc_.cur_y);
  if (path_.empty() || path_.back().closed || !(path_.back().points.back() == at)) path_.push_back({{at}, false});
  return path_.back();
}

void Player::DrawPath(bool fill, bool stroke) {
  in_path_ = false;
  std::vector<Figure> path = std::move(path_);
  path_.clear();
  // Filling closes every figure, and the outline drawn with it is the filled
  // shape's; stroking alone closes those closed in the path.
  std::vector<TPoint> points, closed_points;
  std::vector<int> counts, closed_counts;
  for (const Figure& f : path) {
    if (f.points.size() < 2) continue;
    points.insert(points.end(), f.points.begin(), f.points.end());
    counts.push_back(static_cast<int>(f.points.size()));
    if (f.closed) {
      closed_points.insert(closed_points.end(), f.points.begin(), f.points.end());
      closed_counts.push_back(static_cast<int>(f.points.size()));
    }
  }
  if (counts.empty()) return;
  ApplyPen();
  if (fill) {
    if (!stroke) canvas_.Pen().SetStyle(psClear);
    ApplyBrush();
    canvas_.PolyPolygon(points.data(), counts.data(), static_cast<int>(counts.size()), FillRule());
    return;
  }
  canvas_.Brush().SetStyle(bsClear);
  if (!closed_counts.empty())
    canvas_.PolyPolygon(closed_points.data(), closed_counts.data(), static_cast<int>(closed_counts.size()),
                        FillRule());
  for (const Figure& f : path)
    if (!f.closed && f.points.size() >= 2) {
      canvas_.MoveTo(f.points[0].x, f.points[0].y);
      for (size_t i = 1; i < f.points.size(); ++i) canvas_.LineTo(f.points[i].x, f.points[i].y);
    }
}

void Player::Rectangle(double l, double t, double r, double b) {
  const TRect d = DevRect(l, t, r, b);
  if (in_path_) return Polygon({{d.Left, d.Top}, {d.Right, d.Top}, {d.Right, d.Bottom}, {d.Left, d.Bottom}});
  ApplyPen();
  ApplyBrush();
  canvas_.Rectangle(d.Left, d.Top, d.Right, d.Bottom);
}

void ArcPoints(std::vector<TPoint>& out, double cx, double cy, double rx, double ry, double a0, double sweep);

void Player::Ellipse(double l, double t, double r, double b) {
  const TRect d = DevRect(l, t, r, b);
  if (in_path_) {
    std::vector<TPoint> points;
    ArcPoints(points, (d.Left + d.Right) / 2.0, (d.Top + d.Bottom) / 2.0, d.Width() / 2.0, d.Height() / 2.0, 0,
              2 * M_PI);
    return Polygon(points);
  }
  ApplyPen();
  ApplyBrush();
  canvas_.Ellipse(d.Left, d.Top, d.Right, d.Bottom);
}

// Points of an elliptic arc in device space, from angle a0 through the sweep,
// counter-clockwise as seen.
void ArcPoints(std::vector<TPoint>& out, double cx, double cy, double rx, double ry, double a0, double sweep) {
  const int steps = std::clamp(static_cast<int>(std::ceil(std::abs(sweep) * std::max(rx, ry) / 4)), 2, 256);
  for (int i = 0; i <= steps; ++i) {
    const double a = a0 + sweep * i / steps;
    out.push_back({Clamp(cx + rx * std::cos(a)), Clamp(cy - ry * std::sin(a))});
  }
}

void Player::RoundRect(double l, double t, double r, double b, double w, double h) {
  const TRect d = DevRect(l, t, r, b);
  double kx, ky;
  Scale(kx, ky);
  const double rx = std::min(std::abs(w * kx * sx_) / 2, d.Width() / 2.0);
  const double ry = std::min(std::abs(h * ky * sy_) / 2, d.Height() / 2.0);
  std::vector<TPoint> points;
  constexpr double kQuarter = M_PI / 2;
  ArcPoints(points, d.Right - rx, d.Top + ry, rx, ry, 0, kQuarter);
  ArcPoints(points, d.Left + rx, d.Top + ry, rx, ry, kQuarter, kQuarter);
  ArcPoints(points, d.Left + rx, d.Bottom - ry, rx, ry, 2 * kQuarter, kQuarter);
  ArcPoints(points, d.Right - rx, d.Bottom - ry, rx, ry, 3 * kQuarter, kQuarter);
  Polygon(points);
}

void Player::Arc(ArcKind kind, double l, double t, double r, double b, double xs, double ys, double xe,
                 double ye) {
  const TRect d = DevRect(l, t, r, b);
  const double cx = (d.Left + d.Right) / 2.0, cy = (d.Top + d.Bottom) / 2.0;
  const double rx = d.Width() / 2.0, ry = d.Height() / 2.0;
  if (rx <= 0 || ry <= 0) return;
  const TPoint s = Dev(xs, ys), e = Dev(xe, ye);
  const double a0 = std::atan2(-(s.y - cy) / ry, (s.x - cx) / rx);
  double a1 = std::atan2(-(e.y - cy) / ry, (e.x - cx) / rx);
  if (a1 <= a0) a1 += 2 * M_PI;
  std::vector<TPoint> points;
  if (kind == kPie) points.push_back({Clamp(cx), Clamp(cy)});
  ArcPoints(points, cx, cy, rx, ry, a0, a1 - a0);
  if (kind == kArc)
    Polyline(points);
  else
    Polygon(points);
}

void Player::LineTo(double x, double y) {
  const TPoint from = Dev(dc_.cur_x, dc_.cur_y), to = Dev(x, y);
  if (in_path_) {
    OpenFigure().points.push_back(to);
  } else {
    ApplyPen();
    canvas_.MoveTo(from.x, from.y);
    canvas_.LineTo(to.x, to.y);
  }
  dc_.cur_x = x;
  dc_.cur_y = y;
}

void Player::SetPixel(double x, double y, TColor color) {
  TRect d = DevRect(x, y, x + 1, y + 1);
  d.Right = std::max(d.Right, d.Left + 1);
  d.Bottom = std::max(d.Bottom, d.Top + 1);
  canvas_.Brush().SetStyle(bsSolid);
  canvas_.Brush().SetColor(color);
  canvas_.FillRect(d);
}

void Player::Text(double x, double y, const AnsiString& text, uint32_t options, const TRect* box) {
  const bool update_cp = (dc_.text_align & TA_UPDATECP) != 0;
  if (update_cp) {
    x = dc_.cur_x;
    y = dc_.cur_y;
  }
  if (box != nullptr && (options & ETO_OPAQUE)) {
    canvas_.Brush().SetStyle(bsSolid);
    canvas_.Brush().SetColor(dc_.bk_color);
    canvas_.FillRect(*box);
  }
  if (text.empty()) return;
  double kx, ky;
  Scale(kx, ky);
  const LogFont& lf = dc_.font;
  // A positive height is the cell's, of which the character takes about 7/8.
  double pixels = std::abs(lf.height * ky * sy_);
  if (lf.height > 0) pixels *= 0.875;
  // No height: the 12-point default, 16 screen pixels.
  if (lf.height == 0) pixels = 16 * std::abs(sy_) * ref_per_mm_y_ * 25.4 / 96;
  pixels = std::clamp(pixels, 1.0, std::min(4.0 * std::max(rect_.Width(), rect_.Height()) + 1, 10000.0));
  TFont& font = canvas_.Font();
  font.SetName(lf.face.empty() ? AnsiString("Arial") : lf.face);
  font.SetHeight(-Clamp(pixels));
  TFontStyles style;
  if (lf.weight >= 600) style = style.Include(fsBold);
  if (lf.italic) style = style.Include(fsItalic);
  if (lf.underline) style = style.Include(fsUnderline);
  if (lf.strike_out) style = style.Include(fsStrikeOut);
  font.SetStyle(style);
  font.SetColor(dc_.text_color);
  // A y axis turned upwards turns the angle's sense as well.
  const int escapement = (ky * sy_ < 0) ? -lf.escapement : lf.escapement;
  font.SetOrientation(escapement % 3600);
  canvas_.Brush().SetColor(dc_.bk_color);
  canvas_.Brush().SetStyle(dc_.bk_mode == kOpaque ? bsSolid : bsClear);

  const int width = canvas_.TextWidth(text);
  const QFontMetrics& metrics = measure_.MetricsOf(font);
  double ox = 0, oy = 0;
  const uint32_t horizontal = dc_.text_align & TA_CENTER;
  if (horizontal == TA_CENTER)
    ox = -width / 2.0;
  else if (horizontal == TA_RIGHT)
    ox = -width;
  const uint32_t vertical = dc_.text_align & TA_BASELINE;
  if (vertical == TA_BASELINE)
    oy = -metrics.ascent();
  else if (vertical == TA_BOTTOM)
    oy = -metrics.height();
  const double angle = font.Orientation() * M_PI / 1800;
  const TPoint at = Dev(x, y);
  const double tx = at.x + ox * std::cos(angle) + oy * std::sin(angle);
  const double ty = at.y - ox * std::sin(angle) + oy * std::cos(angle);
  const bool clipped = box != nullptr && (options & ETO_CLIPPED);
  if (clipped) PushClip(*box);
  canvas_.TextOut(Clamp(tx), Clamp(ty), text);
  if (clipped) PopClipsTo(dc_.clips - 1);
  if (update_cp && kx * sx_ != 0) dc_.cur_x += (horizontal == TA_RIGHT ? -width : width) / (kx * sx_);
}

void Player::PatBlt(const TRect& r, uint32_t rop) {
  if (rop == PATCOPY) {
    ApplyBrush();
  } else if (rop == BLACKNESS || rop == WHITENESS) {
    canvas_.Brush().SetStyle(bsSolid);
    canvas_.Brush().SetColor(rop == BLACKNESS ? clBlack : clWhite);
  } else {
    return;
  }
  if (canvas_.Brush().Style() != bsClear) canvas_.FillRect(r);
}

// The size of a device-independent bitmap's header and colour table, from
// its header; 0 when the header cannot be trusted.
size_t DibHeaderBytes(std::string_view dib) {
  const Bytes b(reinterpret_cast<const unsigned char*>(dib.data()), dib.size());
  const uint32_t header = b.U32(0);
  if (header == 12) {
    const int bits = b.U16(10);
    return 12 + (bits <= 8 ? (size_t{3} << bits) : 0);
  }
  if (header < 40 || header > 1024) return 0;
  const int bits = b.U16(14);
  const uint32_t compression = b.U32(16);
  uint64_t colors = b.U32(32);
  if (colors == 0 && bits <= 8) colors = uint64_t{1} << bits;
  if (colors > 256 && bits <= 8) return 0;
  if (bits > 8 && colors > 4096) return 0;
  size_t masks = (header == 40 && (compression == 3 || compression == 6)) ? (compression == 3 ? 12 : 16) : 0;
  return header + masks + static_cast<size_t>(colors) * 4;
}

void Player::DrawDib(const TRect& dest, bool flip_x, bool flip_y, std::string_view bmi, std::string_view bits,
                     int xs, int ys, int ws, int hs, uint32_t rop) {
  if (rop != SRCCOPY && rop != SRCAND) return;  // masks and inversions are not painted
  if (dest.Width() <= 0 || dest.Height() <= 0) return;
  // Only the part inside the picture's rectangle is made: a bitmap stretched
  // far beyond it costs no more than the rectangle.
  const TRect seen = Rect(std::max(dest.Left, rect_.Left), std::max(dest.Top, rect_.Top),
                          std::min(dest.Right, rect_.Right), std::min(dest.Bottom, rect_.Bottom));
  if (seen.Width() <= 0 || seen.Height() <= 0 || seen.Width() > kMostImageSide || seen.Height() > kMostImageSide)
    return;
  if (int64_t{seen.Width()} * seen.Height() > kMostImagePixels) return;
  const Bytes h(reinterpret_cast<const unsigned char*>(bmi.data()), bmi.size());
  const bool core = h.U32(0) == 12;
  const int64_t w = core ? h.U16(4) : h.I32(4);
  const int64_t ht = core ? h.I16(6) : h.I32(8);
  if (w <= 0 || ht == 0 || w > kMostImageSide || std::abs(ht) > kMostImageSide ||
      w * std::abs(ht) > kMostImagePixels)
    return;
  std::string file = "BM";
  const size_t offset = 14 + bmi.size();
  const size_t total = offset + bits.size();
  if (total > UINT32_MAX) return;
  char word[4];
  PutLE32(word, static_cast<uint32_t>(total));
  file.append(word, 4);
  file.append(4, '\0');
  PutLE32(word, static_cast<uint32_t>(offset));
  file.append(word, 4);
  file.append(bmi);
  file.append(bits);
  TBitmap picture;
  try {
    picture.LoadFromBytes(file.data(), file.size());
  } catch (const EInvalidGraphic&) {
    return;
  }
  QImage image = picture.Image();
  // The source rectangle counts rows from the bottom of a bottom-up bitmap.
  const int iw = image.width(), ih = image.height();
  if (ws > 0 && hs > 0 && !(xs == 0 && ys == 0 && ws == iw && hs == ih)) {
    const int top = ht > 0 ? ih - ys - hs : ys;
    const QRect part = QRect(xs, top, ws, hs).intersected(image.rect());
    if (part.isEmpty()) return;
    image = image.copy(part);
  }
  if (flip_x || flip_y) image = image.mirrored(flip_x, flip_y);
  if (seen != dest) {
    const double kx = static_cast<double>(image.width()) / dest.Width();
    const double ky = static_cast<double>(image.height()) / dest.Height();
    const QRect part = QRectF((seen.Left - dest.Left) * kx, (seen.Top - dest.Top) * ky, seen.Width() * kx,
                              seen.Height() * ky)
                           .toAlignedRect()
                           .intersected(image.rect());
    if (part.isEmpty()) return;
    image = image.copy(part);
  }
  TBitmap source;
  source.SetImage(image);
  TBitmap scaled;
  scaled.AssignScaled(source, seen.Width(), seen.Height());
  canvas_.Draw(seen.Left, seen.Top, scaled);
}

// ---- Placeable metafile records ------------------------------------------------------------

std::vector<TPoint> PlaceablePoints(const Bytes& r, size_t at, size_t count, const Player* p,
                                    TPoint (Player::*dev)(double, double) const) {
  std::vector<TPoint> points;
  if (!r.Has(at, count * 4)) return points;
  points.reserve(count);
  for (size_t i = 0; i < count; ++i) points.push_back((p->*dev)(r.I16(at + 4 * i), r.I16(at + 4 * i + 2)));
  return points;
}

void Player::PlayPlaceable(const Bytes& file, double fl, double ft, double fr, double fb, double units_per_inch) {
  enhanced_ = false;
  frame_l_ = fl;
  frame_t_ = ft;
  frame_w_ = fr - fl;
  frame_h_ = fb - ft;
  ref_per_mm_x_ = ref_per_mm_y_ = units_per_inch / 25.4;
  SetFrame(fl, ft, fr, fb);
  // The window starts on the frame, as the classic player sets it up.
  dc_.map_mode = MM_ANISOTROPIC;
  dc_.wox = fl;
  dc_.woy = ft;
  dc_.wex = frame_w_;
  dc_.wey = frame_h_;
  const size_t header_words = file.U16(kPlaceableBytes + 2);
  size_t at = kPlaceableBytes + std::max<size_t>(header_words * 2, kStandardHeaderBytes);
  const uint16_t object_slots = file.U16(kPlaceableBytes + 10);
  objects_.reserve(object_slots);
  while (file.Has(at, 6)) {
    const uint64_t bytes = uint64_t{file.U32(at)} * 2;
    if (bytes < 6 || !file.Has(at, bytes)) break;
    const uint16_t function = file.U16(at + 4);
    if (function == 0) break;
    const Bytes record(reinterpret_cast<const unsigned char*>(file.View(at + 6, bytes - 6).data()), bytes - 6);
    if (!PlaceableRecord(function, record)) break;
    at += bytes;
  }
}

namespace {

// Parameter i of a placeable record: 16-bit words, points y before x,
// rectangles bottom, right, top, left.
double Word(const Bytes& r, size_t i) { return static_cast<double>(r.I16(2 * i)); }

}  // namespace

// A bitmap record's picture (its DIB from `at`) drawn into the logical
// rectangle at (x, y) of size dw × dh.
void Player::PlaceableDib(const Bytes& r, double x, double y, double dw, double dh, size_t at, int xs, int ys, int ws,
                          int hs, uint32_t rop) {
  const std::string_view dib = r.View(at, r.Size() - at);
  const size_t head = DibHeaderBytes(dib);
  if (head == 0 || head > dib.size()) return;
  const TPoint a = Dev(x, y), b = Dev(x + dw, y + dh);
  DrawDib(Rect(std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)), b.x < a.x, b.y < a.y,
          dib.substr(0, head), dib.substr(head), xs, ys, ws, hs, rop);
}

void Player::PlaceablePolyPolygon(const Bytes& r) {
  // Count, the counts, then all points.
  const size_t polygons = r.U16(0);
  if (!r.Has(2, polygons * 2)) throw BadRecord();
  size_t at = 2 + polygons * 2;
  std::vector<TPoint> points;
  std::vector<int> counts;
  for (size_t i = 0; i < polygons; ++i) {
    const size_t n = r.U16(2 + 2 * i);
    if (!r.Has(at, n * 4)) throw BadRecord();
    const std::vector<TPoint> ring = PlaceablePoints(r, at, n, this, &Player::Dev);
    points.insert(points.end(), ring.begin(), ring.end());
    counts.push_back(static_cast<int>(n));
    at += n * 4;
  }
  PolyPolygon(points, counts, true);
}

void Player::PlaceableTextOut(const Bytes& r) {
  // Length, the text (even), y, x.
  const size_t n = r.U16(0);
  const size_t after = 2 + ((n + 1) & ~size_t{1});
  if (!r.Has(2, n)) throw BadRecord();
  Text(r.I16(after + 2), r.I16(after), AnsiString(r.View(2, n)), 0, nullptr);
}

void Player::PlaceableExtTextOut(const Bytes& r) {
  // Y, x, length, options, [rectangle], text.
  const size_t n = r.U16(4);
  const uint16_t options = r.U16(6);
  size_t at = 8;
  TRect box;
  const bool has_box = (options & (ETO_OPAQUE | ETO_CLIPPED)) != 0;
  if (has_box) {
    box = DevRect(r.I16(8), r.I16(10), r.I16(12), r.I16(14));
    at += 8;
  }
  if (!r.Has(at, n)) throw BadRecord();
  Text(r.I16(2), r.I16(0), AnsiString(r.View(at, n)), options, has_box ? &box : nullptr);
}

void Player::PlaceableFont(const Bytes& r) {
  GdiObject o;
  o.kind = GdiObject::kFont;
  o.font.height = r.I16(0);
  o.font.escapement = r.I16(4);
  o.font.weight = r.I16(8);
  // Italic, underline and strike-out are bytes of the weight's word pair.
  o.font.italic = (r.U16(10) & 0xFF) != 0;
  o.font.underline = (r.U16(10) >> 8) != 0;
  o.font.strike_out = (r.U16(12) & 0xFF) != 0;
  o.font.face = FaceName(r.View(18, std::min<size_t>(32, r.Size() > 18 ? r.Size() - 18 : 0)));
  Store(FreeSlot(), o);
}

// A record that only takes a slot later records count on.
void Player::PlaceablePlaceholder(GdiObject::Kind kind) {
  GdiObject o;
  o.kind = kind;
  o.brush.style = BS_NULL;
  Store(FreeSlot(), o);
}

bool Player::PlaceableRecord(uint16_t function, const Bytes& r) {
  // By function number; viewport records belong to the player and the rest
  // is passed over.
  static constexpr RecordHandler<uint16_t> kHandlers[] = {
      {0x001E, [](Player& p, const Bytes&) { p.SaveDC(); }},  // SAVEDC
      {0x00F7, [](Player& p, const Bytes&) { p.PlaceablePlaceholder(GdiObject::kOther); }},  // CREATEPALETTE
      {0x0102, [](Player& p, const Bytes& r) { p.dc_.bk_mode = r.U16(0); }},                 // SETBKMODE
      {0x0103, [](Player& p, const Bytes& r) { p.dc_.map_mode = r.U16(0); }},                // SETMAPMODE
      {0x0106, [](Player& p, const Bytes& r) { p.dc_.poly_fill_mode = r.U16(0); }},          // SETPOLYFILLMODE
      {0x0127, [](Player& p, const Bytes& r) { p.RestoreDC(r.I16(0)); }},                    // RESTOREDC
      {0x012C,                                                                               // SELECTCLIPREGION
       [](Player& p, const Bytes& r) {
         const size_t slot = r.U16(0);
         if (slot < p.objects_.size() && p.objects_[slot].kind == GdiObject::kRegion) p.Select(p.objects_[slot]);
       }},
      {0x012D,  // SELECTOBJECT
       [](Player& p, const Bytes& r) {
         const size_t slot = r.U16(0);
         if (slot < p.objects_.size()) p.Select(p.objects_[slot]);
       }},
      {0x012E, [](Player& p, const Bytes& r) { p.dc_.text_align = r.U16(0); }},              // SETTEXTALIGN
      {0x0142, [](Player& p, const Bytes&) { p.PlaceablePlaceholder(GdiObject::kBrush); }},  // DIBCREATEPATTERNBRUSH
      {0x01F0, [](Player& p, const Bytes& r) { p.Delete(r.U16(0)); }},                       // DELETEOBJECT
      {0x01F9, [](Player& p, const Bytes&) { p.PlaceablePlaceholder(GdiObject::kBrush); }},  // CREATEPATTERNBRUSH
      {0x0201, [](Player& p, const Bytes& r) { p.dc_.bk_color = ColorRef(r.U32(0)); }},      // SETBKCOLOR
      {0x0209, [](Player& p, const Bytes& r) { p.dc_.text_color = ColorRef(r.U32(0)); }},    // SETTEXTCOLOR
      {0x020B, [](Player& p, const Bytes& r) { p.dc_.woy = Word(r, 0), p.dc_.wox = Word(r, 1); }},  // SETWINDOWORG
      {0x020C, [](Player& p, const Bytes& r) { p.dc_.wey = Word(r, 0), p.dc_.wex = Word(r, 1); }},  // SETWINDOWEXT
      {0x020F, [](Player& p, const Bytes& r) { p.dc_.woy += Word(r, 0), p.dc_.wox += Word(r, 1); }},  // OFFSETWINDOWORG
      {0x0213, [](Player& p, const Bytes& r) { p.LineTo(Word(r, 1), Word(r, 0)); }},                  // LINETO
      {0x0214, [](Player& p, const Bytes& r) { p.dc_.cur_y = Word(r, 0), p.dc_.cur_x = Word(r, 1); }},  // MOVETO
      {0x02FA,  // CREATEPENINDIRECT: style, width (x, y), colour
       [](Player& p, const Bytes& r) {
         GdiObject o;
         o.kind = GdiObject::kPen;
         o.pen.style = r.U16(0);
         o.pen.width = r.I16(2);
         o.pen.color = ColorRef(r.U32(6));
         p.Store(p.FreeSlot(), o);
       }},
      {0x02FB, [](Player& p, const Bytes& r) { p.PlaceableFont(r); }},  // CREATEFONTINDIRECT
      {0x02FC,  // CREATEBRUSHINDIRECT: style, colour, hatch
       [](Player& p, const Bytes& r) {
         GdiObject o;
         o.kind = GdiObject::kBrush;
         o.brush = {r.U16(0), ColorRef(r.U32(2)), r.U16(6)};
         p.Store(p.FreeSlot(), o);
       }},
      {0x0324, [](Player& p, const Bytes& r) { p.Polygon(PlaceablePoints(r, 2, r.U16(0), &p, &Player::Dev)); }},   // POLYGON
      {0x0325, [](Player& p, const Bytes& r) { p.Polyline(PlaceablePoints(r, 2, r.U16(0), &p, &Player::Dev)); }},  // POLYLINE
      {0x0410,  // SCALEWINDOWEXT
       [](Player& p, const Bytes& r) {
         if (Word(r, 0) != 0 && Word(r, 2) != 0)
           p.dc_.wey = p.dc_.wey * Word(r, 1) / Word(r, 0), p.dc_.wex = p.dc_.wex * Word(r, 3) / Word(r, 2);
       }},
      {0x0416, [](Player& p, const Bytes& r) { p.PushClip(p.DevRect(Word(r, 3), Word(r, 2), Word(r, 1), Word(r, 0))); }},  // INTERSECTCLIPRECT
      {0x0418, [](Player& p, const Bytes& r) { p.Ellipse(Word(r, 3), Word(r, 2), Word(r, 1), Word(r, 0)); }},    // ELLIPSE
      {0x041B, [](Player& p, const Bytes& r) { p.Rectangle(Word(r, 3), Word(r, 2), Word(r, 1), Word(r, 0)); }},  // RECTANGLE
      {0x041F, [](Player& p, const Bytes& r) { p.SetPixel(Word(r, 3), Word(r, 2), ColorRef(r.U32(0))); }},        // SETPIXEL
      {0x0521, [](Player& p, const Bytes& r) { p.PlaceableTextOut(r); }},      // TEXTOUT
      {0x0538, [](Player& p, const Bytes& r) { p.PlaceablePolyPolygon(r); }},  // POLYPOLYGON
      {0x061C,  // ROUNDRECT
       [](Player& p, const Bytes& r) {
         p.RoundRect(Word(r, 5), Word(r, 4), Word(r, 3), Word(r, 2), Word(r, 1), Word(r, 0));
       }},
      {0x061D,  // PATBLT
       [](Player& p, const Bytes& r) {
         p.PatBlt(p.DevRect(Word(r, 5), Word(r, 4), Word(r, 5) + Word(r, 3), Word(r, 4) + Word(r, 2)), r.U32(0));
       }},
      {0x06FF,  // CREATEREGION: the header, then the bounds at 14
       [](Player& p, const Bytes& r) {
         GdiObject o;
         o.kind = GdiObject::kRegion;
         o.left = r.I16(14), o.top = r.I16(16), o.right = r.I16(18), o.bottom = r.I16(20);
         p.Store(p.FreeSlot(), o);
       }},
      {0x0817, [](Player& p, const Bytes& r) { p.PlaceableArc(kArc, r); }},  // ARC
      {0x081A, [](Player& p, const Bytes& r) { p.PlaceableArc(kPie, r); }},  // PIE
      {0x0830, [](Player& p, const Bytes& r) { p.PlaceableArc(kChord, r); }},  // CHORD
      {0x0940,  // DIBBITBLT: rop, ys, xs, [reserved,] h, w, y, x, bitmap
       [](Player& p, const Bytes& r) {
         if (r.Size() == 9 * 2)
           p.PatBlt(p.DevRect(Word(r, 8), Word(r, 7), Word(r, 8) + Word(r, 6), Word(r, 7) + Word(r, 5)), r.U32(0));
         else
           p.PlaceableDib(r, Word(r, 7), Word(r, 6), Word(r, 5), Word(r, 4), 16, 0, 0, 0, 0, r.U32(0));
       }},
      {0x0A32, [](Player& p, const Bytes& r) { p.PlaceableExtTextOut(r); }},  // EXTTEXTOUT
      {0x0B41,  // DIBSTRETCHBLT: rop, hs, ws, ys, xs, [reserved,] h, w, y, x, bitmap
       [](Player& p, const Bytes& r) {
         if (r.Size() == 11 * 2)
           p.PatBlt(p.DevRect(Word(r, 10), Word(r, 9), Word(r, 10) + Word(r, 8), Word(r, 9) + Word(r, 7)), r.U32(0));
         else
           p.PlaceableDib(r, Word(r, 9), Word(r, 8), Word(r, 7), Word(r, 6), 20, r.I16(10), r.I16(8), r.I16(6),
                          r.I16(4), r.U32(0));
       }},
      {0x0F43,  // STRETCHDIB: rop, usage, hs, ws, ys, xs, h, w, y, x, bitmap
       [](Player& p, const Bytes& r) {
         p.PlaceableDib(r, Word(r, 10), Word(r, 9), Word(r, 8), Word(r, 7), 22, r.I16(12), r.I16(10), r.I16(8),
                        r.I16(6), r.U32(0));
       }},
  };
  static_assert(SortedByNumber(kHandlers));
  return PlayRecord(kHandlers, function, r);
}

void Player::PlaceableArc(ArcKind kind, const Bytes& r) {
  Arc(kind, Word(r, 7), Word(r, 6), Word(r, 5), Word(r, 4), Word(r, 3), Word(r, 2), Word(r, 1), Word(r, 0));
}

// ---- Enhanced metafile records -------------------------------------------------------------

void Player::PlayEnhanced(const Bytes& file) {
  enhanced_ = true;
  // The frame (0.01 mm) in reference pixels, by the reference device's size.
  const double dev_x = file.I32(72), dev_y = file.I32(76), mm_x = file.I32(80), mm_y = file.I32(84);
  double fl = file.I32(24), ft = file.I32(28), fr = file.I32(32), fb = file.I32(36);
  if (dev_x > 0 && dev_y > 0 && mm_x > 0 && mm_y > 0) {
    ref_per_mm_x_ = dev_x / mm_x;
    ref_per_mm_y_ = dev_y / mm_y;
    fl *= ref_per_mm_x_ / 100, fr *= ref_per_mm_x_ / 100;
    ft *= ref_per_mm_y_ / 100, fb *= ref_per_mm_y_ / 100;
  } else {
    fl = file.I32(8), ft = file.I32(12), fr = file.I32(16), fb = file.I32(20);
  }
  SetFrame(fl, ft, fr, fb);
  size_t at = 0;
  while (file.Has(at, 8)) {
    const uint32_t type = file.U32(at);
    const uint32_t size = file.U32(at + 4);
    if (size < 8 || size % 4 != 0 || !file.Has(at, size)) break;
    if (type == 14) break;  // EOF
    const Bytes record(reinterpret_cast<const unsigned char*>(file.View(at, size).data()), size);
    if (!EnhancedRecord(type, record)) break;
    at += size;
  }
}

// Points of 32-bit (wide) or 16-bit coordinates at an offset from the
// record's start, in device units.
std::vector<TPoint> Player::EnhancedPoints(const Bytes& r, size_t at, size_t count, bool wide) {
  std::vector<TPoint> p;
  const size_t step = wide ? 8 : 4, half = wide ? 4 : 2;
  if (!r.Has(at, count * step)) return p;
  p.reserve(count);
  for (size_t i = 0, q = at; i < count; ++i, q += step)
    p.push_back(wide ? Dev(r.I32(q), r.I32(q + half)) : Dev(r.I16(q), r.I16(q + half)));
  return p;
}

// The pen goes to the logical coordinates of the last point.
void Player::EnhancedLast(const Bytes& r, size_t at, size_t count, bool wide) {
  if (count == 0) return;
  const size_t step = wide ? 8 : 4, half = wide ? 4 : 2;
  const size_t p = at + (count - 1) * step;
  dc_.cur_x = wide ? r.I32(p) : r.I16(p);
  dc_.cur_y = wide ? r.I32(p + half) : r.I16(p + half);
}

// Start point, then three per curve: control, control, end.
std::vector<TPoint> Bezier(std::vector<TPoint> p) {
  std::vector<TPoint> line;
  if (p.empty()) return line;
  line.push_back(p[0]);
  for (size_t i = 1; i + 2 < p.size(); i += 3) {
    const TPoint a = line.back(), b = p[i], c = p[i + 1], d = p[i + 2];
    for (int s = 1; s <= 16; ++s) {
      const double t = s / 16.0, u = 1 - t;
      line.push_back({Clamp(u * u * u * a.x + 3 * u * u * t * b.x + 3 * u * t * t * c.x + t * t * t * d.x),
                      Clamp(u * u * u * a.y + 3 * u * u * t * b.y + 3 * u * t * t * c.y + t * t * t * d.y)});
    }
  }
  return line;
}

void Player::EnhancedPoly(const Bytes& r, bool wide, EnhancedShape kind) {
  const size_t count = r.U32(24);
  if (!r.Has(28, count * (wide ? 8 : 4))) throw BadRecord();
  std::vector<TPoint> p = EnhancedPoints(r, 28, count, wide);
  switch (kind) {
    case kPolygonShape: Polygon(p); break;
    case kPolylineShape: Polyline(p); break;
    case kBezierShape: Polyline(Bezier(std::move(p))); break;
    case kPolylineToShape:  // to: from the pen's position
    case kBezierToShape:
      p.insert(p.begin(), Dev(dc_.cur_x, dc_.cur_y));
      PolylineTo(kind == kBezierToShape ? Bezier(std::move(p)) : p);
      EnhancedLast(r, 28, count, wide);
      break;
  }
}

void Player::EnhancedPolyPoly(const Bytes& r, bool wide, bool polygon) {
  const size_t polys = r.U32(24);
  const size_t total = r.U32(28);
  if (!r.Has(32, polys * 4) || !r.Has(32 + polys * 4, total * (wide ? 8 : 4))) throw BadRecord();
  size_t at = 32 + polys * 4, used = 0;
  std::vector<int> counts;
  for (size_t i = 0; i < polys; ++i) {
    const size_t n = r.U32(32 + 4 * i);
    if (n > total - used) throw BadRecord();
    counts.push_back(static_cast<int>(n));
    used += n;
  }
  PolyPolygon(EnhancedPoints(r, at, used, wide), counts, polygon);
}

// A bitmap's header and bits by the offsets and sizes at off_bmi and off_bits.
std::pair<std::string_view, std::string_view> EnhancedBitmap(const Bytes& r, size_t off_bmi, size_t off_bits) {
  const uint32_t ob = r.U32(off_bmi), cb = r.U32(off_bmi + 4), obits = r.U32(off_bits), cbits = r.U32(off_bits + 4);
  if (cb == 0 || !r.Has(ob, cb) || !r.Has(obits, cbits)) return std::pair<std::string_view, std::string_view>();
  return std::pair(r.View(ob, cb), r.View(obits, cbits));
}

void Player::EnhancedBlit(double x, double y, double w, double h, std::pair<std::string_view, std::string_view> dib,
                          int xs, int ys, int ws, int hs, uint32_t rop) {
  const TPoint a = Dev(x, y), b = Dev(x + w, y + h);
  const TRect d = Rect(std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y));
  if (dib.first.empty())
    PatBlt(d, rop);
  else
    DrawDib(d, b.x < a.x, b.y < a.y, dib.first, dib.second, xs, ys, ws, hs, rop);
}

void Player::EnhancedText(const Bytes& r, bool wide) {
  // Bounds, graphics mode, scales, then the text: reference point, length,
  // offset, options, rectangle, offset of the spacing.
  const double x = r.I32(36), y = r.I32(40);
  const size_t n = r.U32(44), off = r.U32(48);
  const uint32_t options = r.U32(52);
  if (!r.Has(off, n * (wide ? 2 : 1))) throw BadRecord();
  const TRect box = DevRect(r.I32(56), r.I32(60), r.I32(64), r.I32(68));
  const AnsiString s = wide ? WideText(r, off, n) : AnsiString(r.View(off, n));
  Text(x, y, s, options, (options & (ETO_OPAQUE | ETO_CLIPPED)) ? &box : nullptr);
}

std::array<double, 4> RectAt(const Bytes& r, size_t at) {
  return {double(r.I32(at)), double(r.I32(at + 4)), double(r.I32(at + 8)), double(r.I32(at + 12))};
}

void Player::EnhancedWorld(const Bytes& r, uint32_t mode) {
  // 1 identity, 2 left multiply, 3 right multiply, 4 set.
  const Xform x{r.F32(8), r.F32(12), r.F32(16), r.F32(20), r.F32(24), r.F32(28)};
  if (mode == 1) dc_.world = Xform();
  if (mode == 2) dc_.world = x.Then(dc_.world);
  if (mode == 3) dc_.world = dc_.world.Then(x);
  if (mode == 4) dc_.world = x;
}

void Player::EnhancedArc(ArcKind kind, const Bytes& r) {
  const auto c = RectAt(r, 8);
  Arc(kind, c[0], c[1], c[2], c[3], r.I32(24), r.I32(28), r.I32(32), r.I32(36));
}

// Bounds, x, y, cx, cy, rop, xs, ys, transform, colour, usage, bitmap
// fields; stretching adds the source's cx and cy.
void Player::EnhancedBitBlt(const Bytes& r, bool stretch) {
  EnhancedBlit(r.I32(24), r.I32(28), r.I32(32), r.I32(36), EnhancedBitmap(r, 84, 92), r.I32(44), r.I32(48),
               stretch ? r.I32(100) : r.I32(32), stretch ? r.I32(104) : r.I32(36), r.U32(40));
}

// A brush this player paints as none, kept for the slot.
void Player::EnhancedPlaceholderBrush(const Bytes& r) {
  GdiObject o;
  o.kind = GdiObject::kBrush;
  o.brush.style = BS_NULL;
  Store(r.U32(8), o);
}

void Player::EnhancedFont(const Bytes& r) {
  // Slot, then the font description.
  GdiObject o;
  o.kind = GdiObject::kFont;
  o.font.height = r.I32(12);
  o.font.escapement = r.I32(20);
  o.font.weight = r.I32(28);
  const std::string_view flags = r.View(32, 3);
  if (flags.size() == 3) {
    o.font.italic = flags[0] != 0;
    o.font.underline = flags[1] != 0;
    o.font.strike_out = flags[2] != 0;
  }
  AnsiString face = WideText(r, 40, 32);
  o.font.face = face.substr(0, face.find('\0'));
  Store(r.U32(8), o);
}

bool Player::EnhancedRecord(uint32_t type, const Bytes& r) {
  // Offsets count from the record's start; 8 is the first parameter. By
  // record number; the header and what this player does not draw is passed
  // over.
  static constexpr RecordHandler<uint32_t> kHandlers[] = {
      {2, [](Player& p, const Bytes& r) { p.EnhancedPoly(r, true, kBezierShape); }},        // POLYBEZIER
      {3, [](Player& p, const Bytes& r) { p.EnhancedPoly(r, true, kPolygonShape); }},       // POLYGON
      {4, [](Player& p, const Bytes& r) { p.EnhancedPoly(r, true, kPolylineShape); }},      // POLYLINE
      {5, [](Player& p, const Bytes& r) { p.EnhancedPoly(r, true, kBezierToShape); }},      // POLYBEZIERTO
      {6, [](Player& p, const Bytes& r) { p.EnhancedPoly(r, true, kPolylineToShape); }},    // POLYLINETO
      {7, [](Player& p, const Bytes& r) { p.EnhancedPolyPoly(r, true, false); }},           // POLYPOLYLINE
      {8, [](Player& p, const Bytes& r) { p.EnhancedPolyPoly(r, true, true); }},            // POLYPOLYGON
      {9, [](Player& p, const Bytes& r) { p.dc_.wex = r.I32(8), p.dc_.wey = r.I32(12); }},   // SETWINDOWEXTEX
      {10, [](Player& p, const Bytes& r) { p.dc_.wox = r.I32(8), p.dc_.woy = r.I32(12); }},  // SETWINDOWORGEX
      {11, [](Player& p, const Bytes& r) { p.dc_.vex = r.I32(8), p.dc_.vey = r.I32(12); }},  // SETVIEWPORTEXTEX
      {12, [](Player& p, const Bytes& r) { p.dc_.vox = r.I32(8), p.dc_.voy = r.I32(12); }},  // SETVIEWPORTORGEX
      {15, [](Player& p, const Bytes& r) { p.SetPixel(r.I32(8), r.I32(12), ColorRef(r.U32(16))); }},  // SETPIXELV
      {17, [](Player& p, const Bytes& r) { p.dc_.map_mode = r.I32(8); }},                // SETMAPMODE
      {18, [](Player& p, const Bytes& r) { p.dc_.bk_mode = r.I32(8); }},                 // SETBKMODE
      {19, [](Player& p, const Bytes& r) { p.dc_.poly_fill_mode = r.I32(8); }},          // SETPOLYFILLMODE
      {22, [](Player& p, const Bytes& r) { p.dc_.text_align = r.U32(8); }},              // SETTEXTALIGN
      {24, [](Player& p, const Bytes& r) { p.dc_.text_color = ColorRef(r.U32(8)); }},    // SETTEXTCOLOR
      {25, [](Player& p, const Bytes& r) { p.dc_.bk_color = ColorRef(r.U32(8)); }},      // SETBKCOLOR
      {27,  // MOVETOEX
       [](Player& p, const Bytes& r) {
         p.dc_.cur_x = r.I32(8), p.dc_.cur_y = r.I32(12);
         if (p.in_path_) p.path_.push_back({{p.Dev(p.dc_.cur_x, p.dc_.cur_y)}, false});
       }},
      {30,  // INTERSECTCLIPRECT
       [](Player& p, const Bytes& r) {
         const auto c = RectAt(r, 8);
         p.PushClip(p.DevRect(c[0], c[1], c[2], c[3]));
       }},
      {31,  // SCALEVIEWPORTEXTEX: x num, x denominator, y num, y denominator
       [](Player& p, const Bytes& r) {
         if (r.I32(12) != 0 && r.I32(20) != 0)
           p.dc_.vex = p.dc_.vex * r.I32(8) / r.I32(12), p.dc_.vey = p.dc_.vey * r.I32(16) / r.I32(20);
       }},
      {32,  // SCALEWINDOWEXTEX
       [](Player& p, const Bytes& r) {
         if (r.I32(12) != 0 && r.I32(20) != 0)
           p.dc_.wex = p.dc_.wex * r.I32(8) / r.I32(12), p.dc_.wey = p.dc_.wey * r.I32(16) / r.I32(20);
       }},
      {33, [](Player& p, const Bytes&) { p.SaveDC(); }},                   // SAVEDC
      {34, [](Player& p, const Bytes& r) { p.RestoreDC(r.I32(8)); }},      // RESTOREDC
      {35, [](Player& p, const Bytes& r) { p.EnhancedWorld(r, 4); }},      // SETWORLDTRANSFORM
      {36, [](Player& p, const Bytes& r) { p.EnhancedWorld(r, r.U32(32)); }},  // MODIFYWORLDTRANSFORM
      {37,  // SELECTOBJECT
       [](Player& p, const Bytes& r) {
         const uint32_t h = r.U32(8);
         if (h & 0x80000000u)
           p.SelectStock(h);
         else if (h < p.objects_.size())
           p.Select(p.objects_[h]);
       }},
      {38,  // CREATEPEN: slot, style, width (x, y), colour
       [](Player& p, const Bytes& r) {
         GdiObject o;
         o.kind = GdiObject::kPen;
         o.pen.style = r.I32(12);
         o.pen.width = r.I32(16);
         o.pen.color = ColorRef(r.U32(24));
         p.Store(r.U32(8), o);
       }},
      {39,  // CREATEBRUSHINDIRECT: slot, style, colour, hatch
       [](Player& p, const Bytes& r) {
         GdiObject o;
         o.kind = GdiObject::kBrush;
         o.brush = {r.I32(12), ColorRef(r.U32(16)), r.I32(20)};
         p.Store(r.U32(8), o);
       }},
      {40, [](Player& p, const Bytes& r) { p.Delete(r.U32(8)); }},  // DELETEOBJECT
      {42,  // ELLIPSE
       [](Player& p, const Bytes& r) {
         const auto c = RectAt(r, 8);
         p.Ellipse(c[0], c[1], c[2], c[3]);
       }},
      {43,  // RECTANGLE
       [](Player& p, const Bytes& r) {
         const auto c = RectAt(r, 8);
         p.Rectangle(c[0], c[1], c[2], c[3]);
       }},
      {44,  // ROUNDRECT
       [](Player& p, const Bytes& r) {
         const auto c = RectAt(r, 8);
         p.RoundRect(c[0], c[1], c[2], c[3], r.I32(24), r.I32(28));
       }},
      {45, [](Player& p, const Bytes& r) { p.EnhancedArc(kArc, r); }},    // ARC
      {46, [](Player& p, const Bytes& r) { p.EnhancedArc(kChord, r); }},  // CHORD
      {47, [](Player& p, const Bytes& r) { p.EnhancedArc(kPie, r); }},    // PIE
      {54, [](Player& p, const Bytes& r) { p.LineTo(r.I32(8), r.I32(12)); }},  // LINETO
      {59, [](Player& p, const Bytes&) { p.BeginPath(); }},                     // BEGINPATH
      {60, [](Player& p, const Bytes&) { p.in_path_ = false; }},                // ENDPATH
      {61, [](Player& p, const Bytes&) { p.CloseFigure(); }},                   // CLOSEFIGURE
      {62, [](Player& p, const Bytes&) { p.DrawPath(true, false); }},           // FILLPATH
      {63, [](Player& p, const Bytes&) { p.DrawPath(true, true); }},            // STROKEANDFILLPATH
      {64, [](Player& p, const Bytes&) { p.DrawPath(false, true); }},           // STROKEPATH
      {67, [](Player& p, const Bytes&) { p.AbortPath(); }},  // SELECTCLIPPATH: a clip this player does not take
      {68, [](Player& p, const Bytes&) { p.AbortPath(); }},  // ABORTPATH
      {75,  // EXTSELECTCLIPRGN: data size, mode, region (header: bounds at 16)
       [](Player& p, const Bytes& r) {
         const uint32_t bytes = r.U32(8), mode = r.U32(12);
         if (mode == RGN_COPY) p.PopClipsTo(0);
         if (bytes >= 32 && (mode == RGN_COPY || mode == RGN_AND))
           p.PushClip(p.ReferenceRect(r.I32(32), r.I32(36), r.I32(40), r.I32(44)));
       }},
      {76, [](Player& p, const Bytes& r) { p.EnhancedBitBlt(r, false); }},  // BITBLT
      {77, [](Player& p, const Bytes& r) { p.EnhancedBitBlt(r, true); }},   // STRETCHBLT
      {81,  // STRETCHDIBITS: bounds, x, y, xs, ys, cxs, cys, bitmap fields, usage, rop, cx, cy
       [](Player& p, const Bytes& r) {
         p.EnhancedBlit(r.I32(24), r.I32(28), r.I32(72), r.I32(76), EnhancedBitmap(r, 48, 56), r.I32(32), r.I32(36),
                        r.I32(40), r.I32(44), r.U32(68));
       }},
      {82, [](Player& p, const Bytes& r) { p.EnhancedFont(r); }},  // EXTCREATEFONTINDIRECTW
      {83, [](Player& p, const Bytes& r) { p.EnhancedText(r, false); }},  // EXTTEXTOUTA
      {84, [](Player& p, const Bytes& r) { p.EnhancedText(r, true); }},   // EXTTEXTOUTW
      {85, [](Player& p, const Bytes& r) { p.EnhancedPoly(r, false, kBezierShape); }},      // POLYBEZIER16
      {86, [](Player& p, const Bytes& r) { p.EnhancedPoly(r, false, kPolygonShape); }},     // POLYGON16
      {87, [](Player& p, const Bytes& r) { p.EnhancedPoly(r, false, kPolylineShape); }},    // POLYLINE16
      {88, [](Player& p, const Bytes& r) { p.EnhancedPoly(r, false, kBezierToShape); }},    // POLYBEZIERTO16
      {89, [](Player& p, const Bytes& r) { p.EnhancedPoly(r, false, kPolylineToShape); }},  // POLYLINETO16
      {90, [](Player& p, const Bytes& r) { p.EnhancedPolyPoly(r, false, false); }},         // POLYPOLYLINE16
      {91, [](Player& p, const Bytes& r) { p.EnhancedPolyPoly(r, false, true); }},          // POLYPOLYGON16
      {93, [](Player& p, const Bytes& r) { p.EnhancedPlaceholderBrush(r); }},  // CREATEMONOBRUSH
      {94, [](Player& p, const Bytes& r) { p.EnhancedPlaceholderBrush(r); }},  // CREATEDIBPATTERNBRUSHPT
      {95,  // EXTCREATEPEN: slot, 4 bitmap fields, style, width, brush style, colour, hatch
       [](Player& p, const Bytes& r) {
         GdiObject o;
         o.kind = GdiObject::kPen;
         const uint32_t style = r.U32(28);
         o.pen.style = static_cast<int>(style & 0xF);
         o.pen.cosmetic = (style & 0x000F0000u) == 0;
         o.pen.width = r.U32(32);
         if (r.U32(36) == BS_NULL) o.pen.style = 5;
         o.pen.color = ColorRef(r.U32(40));
         p.Store(r.U32(8), o);
       }},
  };
  static_assert(SortedByNumber(kHandlers));
  return PlayRecord(kHandlers, type, r);
}

}  // namespace

// ---- TWindowsMetafile ---------------------------------------------------------------------

bool TWindowsMetafile::Recognized(std::string_view bytes) {
  if (bytes.size() >= 4 && GetLE32(bytes.data()) == kPlaceableKey) return true;
  return bytes.size() >= 44 && GetLE32(bytes.data()) == 1 && GetLE32(bytes.data() + 40) == kEnhancedSignature;
}

void TWindowsMetafile::LoadFromBytes(std::string_view bytes) {
  const Bytes b(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  bool enhanced = false;
  double fl, ft, fr, fb, width, height;
  if (b.Has(0, kPlaceableBytes + kStandardHeaderBytes) && b.U32(0) == kPlaceableKey) {
    fl = b.I16(6), ft = b.I16(8), fr = b.I16(10), fb = b.I16(12);
    const double inch = b.U16(14);
    const uint16_t kind = b.U16(kPlaceableBytes);
    if (inch == 0 || (kind != 1 && kind != 2)) throw EInvalidGraphic("Metafile is not valid");
    width = std::abs(fr - fl) * 96 / inch;
    height = std::abs(fb - ft) * 96 / inch;
  } else if (b.Has(0, kEnhancedHeaderBytes) && b.U32(0) == 1 && b.U32(40) == kEnhancedSignature &&
             b.U32(4) >= kEnhancedHeaderBytes && b.Has(0, b.U32(4))) {
    enhanced = true;
    fl = b.I32(24), ft = b.I32(28), fr = b.I32(32), fb = b.I32(36);
    width = std::abs(fr - fl) * 96 / 2540;
    height = std::abs(fb - ft) * 96 / 2540;
  } else {
    throw EInvalidGraphic("Metafile is not valid");
  }
  if (fr == fl || fb == ft) throw EInvalidGraphic("Metafile has no frame");
  bytes_.assign(bytes);
  enhanced_ = enhanced;
  frame_left_ = fl, frame_top_ = ft, frame_right_ = fr, frame_bottom_ = fb;
  width_ = static_cast<int>(std::lround(width));
  height_ = static_cast<int>(std::lround(height));
}

void TWindowsMetafile::StretchDraw(TCanvas& canvas, const TRect& rect) const {
  if (bytes_.empty() || rect.Width() <= 0 || rect.Height() <= 0) return;
  const TCanvasStateScope kept(canvas);
  canvas.PushClip(rect);
  try {
    const Bytes file(reinterpret_cast<const unsigned char*>(bytes_.data()), bytes_.size());
    Player player(canvas, rect);
    if (enhanced_)
      player.PlayEnhanced(file);
    else
      player.PlayPlaceable(file, frame_left_, frame_top_, frame_right_, frame_bottom_, file.U16(14));
  } catch (const Exception&) {
    // A record the toolkit cannot take (a text it cannot convert) ends the
    // picture as a damaged one does; the player has taken its clips back.
  }
  canvas.PopClip();
}
