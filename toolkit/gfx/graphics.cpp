#include "toolkit/gfx/graphics.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>
#include <QPolygon>
#include <QRawFont>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

#include "toolkit/core/binary.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/filereplace.h"
#include "toolkit/core/text.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/gfx/jpeg.h"
#include "toolkit/gfx/qt_canvas.h"

// ---- Colours -----------------------------------------------------------------

QColor ToQColor(TColor color) {
  const TColor rgb = ColorToRGB(color);
  return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

QString ToQString(const AnsiString& ansi) {
  const std::u16string wide = AnsiToWide(ansi);
  return QString(reinterpret_cast<const QChar*>(wide.data()), qsizetype(wide.size()));
}

AnsiString FromQString(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  return Utf8ToAnsi(std::string_view(utf8.constData(), size_t(utf8.size())));
}

// ---- Fonts, pens, brushes ------------------------------------------------------

namespace {

// Screen pixels per inch the classic sizes were laid out for.
constexpr int kScreenPpi = 96;

int RoundedMulDiv(int a, int b, int c) {
  const long long p = (long long)a * b;
  return int((p >= 0 ? p + c / 2 : p - c / 2) / c);
}

}  // namespace

void TFont::SetName(const AnsiString& value) {
  if (value == name_) return;
  name_ = value;
  Changed();
}

void TFont::SetSize(int value) {
  if (value == size_) return;
  size_ = value;
  Changed();
}

int TFont::Height() const { return -RoundedMulDiv(size_, pixels_per_inch_, 72); }

void TFont::SetHeight(int value) { SetSize(RoundedMulDiv(std::abs(value), 72, pixels_per_inch_)); }

void TFont::SetPixelsPerInch(int value) {
  value = value > 0 ? value : kScreenPpi;
  if (value == pixels_per_inch_) return;
  pixels_per_inch_ = value;
  Changed();
}

void TFont::SetColor(TColor value) {
  if (value == color_) return;
  color_ = value;
  Changed();
}

void TFont::SetStyle(TFontStyles value) {
  if (value == style_) return;
  style_ = value;
  Changed();
}

void TFont::Assign(const TFont& source) {
  name_ = source.name_;
  size_ = source.size_;
  color_ = source.color_;
  style_ = source.style_;
  orientation_ = source.orientation_;
  Changed();
}

void TFont::SetOrientation(int tenths_of_degree) {
  if (tenths_of_degree == orientation_) return;
  orientation_ = tenths_of_degree;
  Changed();
}

bool TFont::operator==(const TFont& other) const {
  return name_ == other.name_ && size_ == other.size_ && color_ == other.color_ && style_ == other.style_ &&
         orientation_ == other.orientation_ && pixels_per_inch_ == other.pixels_per_inch_;
}

std::string TFont::ResolvedName() const {
  // Faces of the classic desktop and their metric-compatible free faces, so
  // that texts laid out for the one keep their widths in the other.
  static const struct {
    const char* classic;
    const char* resolved;
  } kFaces[] = {
      {"Arial", "Liberation Sans"},          {"MS Sans Serif", "Liberation Sans"},
      {"Microsoft Sans Serif", "Liberation Sans"}, {"Tahoma", "Liberation Sans"},
      {"Verdana", "Liberation Sans"},        {"Times New Roman", "Liberation Serif"},
      {"MS Serif", "Liberation Serif"},      {"Courier New", "Liberation Mono"},
      {"Courier", "Liberation Mono"},
  };
  for (const auto& face : kFaces)
    if (SameText(name_, face.classic)) return face.resolved;
  return AnsiToUtf8(name_);
}

QFont ToQFont(const TFont& font) {
  QFont result(QString::fromStdString(font.ResolvedName()));
  result.setPixelSize(std::max(1, -font.Height()));
  result.setBold(font.Style().Contains(fsBold));
  result.setItalic(font.Style().Contains(fsItalic));
  result.setUnderline(font.Style().Contains(fsUnderline));
  result.setStrikeOut(font.Style().Contains(fsStrikeOut));
  // Widths of a text are the sum of its characters' widths, as layouts expect:
  // no kerning, and whole-pixel advances (full hinting), or a word measured
  // alone and within its line would differ by a fraction rounded either way.
  result.setKerning(false);
  result.setHintingPreference(QFont::PreferFullHinting);
  return result;
}

void TPen::SetColor(TColor value) {
  if (value == color_) return;
  color_ = value;
  Changed();
}

void TPen::SetWidth(int value) {
  if (value == width_) return;
  width_ = value;
  Changed();
}

void TPen::SetStyle(TPenStyle value) {
  if (value == style_) return;
  style_ = value;
  Changed();
}

void TPen::Assign(const TPen& source) {
  color_ = source.color_;
  width_ = source.width_;
  style_ = source.style_;
  Changed();
}

void TBrush::SetColor(TColor value) {
  if (value == color_) return;
  color_ = value;
  Changed();
}

void TBrush::SetStyle(TBrushStyle value) {
  if (value == style_) return;
  style_ = value;
  Changed();
}

void TBrush::Assign(const TBrush& source) {
  color_ = source.color_;
  style_ = source.style_;
  Changed();
}

// ---- Canvas --------------------------------------------------------------------

void TCanvas::DrawPart(int x, int y, TBitmap& bitmap, const TRect& part) {
  if (bitmap.Empty()) return;
  if (part.Left == 0 && part.Top == 0 && part.Width() == bitmap.Width() && part.Height() == bitmap.Height()) {
    Draw(x, y, bitmap);
    return;
  }
  TBitmap piece;
  piece.SetImage(bitmap.Image().copy(part.Left, part.Top, part.Width(), part.Height()));
  Draw(x, y, piece);
}

void TCanvas::LineTo(int x, int y) {
  Line(pen_pos_.x, pen_pos_.y, x, y);
  pen_pos_ = {x, y};
}

void TQtCanvas::ApplyPen() {
  const TPen& pen = Pen();
  if (pen.Style() == psClear) {
    painter_->setPen(Qt::NoPen);
    return;
  }
  Qt::PenStyle style = Qt::SolidLine;
  switch (pen.Style()) {
    case psDash: style = Qt::DashLine; break;
    case psDot: style = Qt::DotLine; break;
    case psDashDot: style = Qt::DashDotLine; break;
    case psDashDotDot: style = Qt::DashDotDotLine; break;
    default: break;
  }
  const QColor color = ToQColor(pen.Color());
  const int width = std::max(1, pen.Width());
  // Frames follow one another in one pen: the painter's is kept when it is
  // this one, rather than made again for every frame of a page.
  const QPen& current = painter_->pen();
  if (current.style() == style && current.widthF() == width && current.color() == color &&
      current.capStyle() == Qt::SquareCap && current.joinStyle() == Qt::BevelJoin && !current.isCosmetic() &&
      current.brush().style() == Qt::SolidPattern)
    return;
  QPen qpen(color);
  qpen.setWidth(width);
  qpen.setStyle(style);
  painter_->setPen(qpen);
}

void TQtCanvas::ApplyBrush() {
  const TBrush& brush = Brush();
  Qt::BrushStyle style = Qt::SolidPattern;
  switch (brush.Style()) {
    case bsClear: painter_->setBrush(Qt::NoBrush); return;
    case bsHorizontal: style = Qt::HorPattern; break;
    case bsVertical: style = Qt::VerPattern; break;
    case bsFDiagonal: style = Qt::FDiagPattern; break;
    case bsBDiagonal: style = Qt::BDiagPattern; break;
    case bsCross: style = Qt::CrossPattern; break;
    case bsDiagCross: style = Qt::DiagCrossPattern; break;
    default: break;
  }
  painter_->setBrush(QBrush(ToQColor(brush.Color()), style));
}

namespace {

// Rectangle edges held to a range far beyond any device, so that a rectangle's
// width, height and far edge fit the GUI library's integers; an edge held
// there lies off the device as the real one does.
constexpr int kFarEdge = 1 << 26;
int HeldEdge(int v) { return std::clamp(v, -kFarEdge, kFarEdge); }

}  // namespace

void TQtCanvas::FillRect(const TRect& given) {
  const TRect rect = Rect(HeldEdge(given.Left), HeldEdge(given.Top), HeldEdge(given.Right), HeldEdge(given.Bottom));
  if (Brush().Style() == bsClear || rect.Width() <= 0 || rect.Height() <= 0) return;
  ApplyBrush();
  painter_->fillRect(QRect(rect.Left, rect.Top, rect.Width(), rect.Height()), painter_->brush());
}

void TQtCanvas::Rectangle(int x1, int y1, int x2, int y2) {
  if (x2 <= x1 || y2 <= y1) return;
  x1 = HeldEdge(x1), y1 = HeldEdge(y1), x2 = HeldEdge(x2), y2 = HeldEdge(y2);
  if (x2 <= x1 || y2 <= y1) return;
  FillRect(Rect(x1, y1, x2, y2));
  if (Pen().Style() == psClear) return;
  ApplyPen();
  painter_->setBrush(Qt::NoBrush);
  // The outline lies inside the rectangle, right and bottom edges included.
  painter_->drawRect(x1, y1, x2 - x1 - 1, y2 - y1 - 1);
}

void TQtCanvas::Ellipse(int x1, int y1, int x2, int y2) {
  if (x2 <= x1 || y2 <= y1) return;
  x1 = HeldEdge(x1), y1 = HeldEdge(y1), x2 = HeldEdge(x2), y2 = HeldEdge(y2);
  if (x2 <= x1 || y2 <= y1) return;
  ApplyPen();
  ApplyBrush();
  painter_->drawEllipse(QRect(x1, y1, x2 - x1 - 1, y2 - y1 - 1));
}

void TQtCanvas::Polygon(const TPoint* points, int count) {
  if (count < 2) return;
  QPolygon polygon;
  for (int i = 0; i < count; ++i) polygon << QPoint(points[i].x, points[i].y);
  ApplyPen();
  ApplyBrush();
  painter_->drawPolygon(polygon);
}

void TQtCanvas::PolyPolygon(const TPoint* points, const int* counts, int rings, TFillRule rule) {
  QPainterPath shape;
  shape.setFillRule(rule == frWinding ? Qt::WindingFill : Qt::OddEvenFill);
  for (int i = 0; i < rings; ++i) {
    const int n = std::max(counts[i], 0);
    if (n >= 2) {
      QPolygonF ring;
      for (int k = 0; k < n; ++k) ring << QPointF(points[k].x, points[k].y);
      shape.addPolygon(ring);
      shape.closeSubpath();
    }
    points += n;
  }
  if (shape.isEmpty()) return;
  ApplyPen();
  ApplyBrush();
  painter_->drawPath(shape);
}

void TQtCanvas::Line(int x1, int y1, int x2, int y2) {
  if (Pen().Style() == psClear) return;
  ApplyPen();
  painter_->drawLine(x1, y1, x2, y2);
}

const QFont& TQtTextMeasure::FontOf(const TFont& font) {
  if (!qt_font_ || !(font_ == font)) {
    // Assign keeps a font on its own device; the kept one takes the device of
    // the font measured, or a printer's text would be sized for the screen.
    font_.SetPixelsPerInch(font.PixelsPerInch());
    font_.Assign(font);
    qt_font_ = ToQFont(font_);
    metrics_.reset();
    plain_.reset();
    ansi_state_ = AnsiState::kNone;
    ansi_glyphs_.clear();
    ansi_runs_.clear();
    advances_.clear();
    laid_out_.clear();
    glyphs_.clear();
  }
  return *qt_font_;
}

const QFontMetrics& TQtTextMeasure::MetricsOf(const TFont& font) {
  const QFont& qt_font = FontOf(font);
  if (!metrics_) metrics_.emplace(qt_font);
  return *metrics_;
}

namespace {

uint16_t BigEndian16(const QByteArray& bytes, qsizetype at) {
  return static_cast<uint16_t>((static_cast<unsigned char>(bytes[at]) << 8) | static_cast<unsigned char>(bytes[at + 1]));
}

// Whether a table of glyph rules (GSUB or GPOS) is absent or lists no
// feature but those allowed; a table too short to read allows nothing.
bool ListsOnlyFeatures(const QByteArray& table, std::initializer_list<const char*> allowed) {
  if (table.isEmpty()) return true;
  if (table.size() < 10) return false;
  const qsizetype list = BigEndian16(table, 6);
  if (list == 0) return true;
  if (list + 2 > table.size()) return false;
  const qsizetype count = BigEndian16(table, list);
  if (list + 2 + count * 6 > table.size()) return false;
  for (qsizetype i = 0; i < count; ++i) {
    const QByteArray tag = table.mid(list + 2 + i * 6, 4);
    if (std::none_of(allowed.begin(), allowed.end(), [&](const char* a) { return tag == a; })) return false;
  }
  return true;
}

// Whether the shaper puts this font's glyphs side by side as the characters
// map to them: nothing substituted, and only kerning to position, which the
// fonts made by ToQFont leave off.
bool SubstitutesNothing(const QRawFont& raw) {
  return ListsOnlyFeatures(raw.fontTable("GSUB"), {}) && ListsOnlyFeatures(raw.fontTable("GPOS"), {"kern"}) &&
         raw.fontTable("morx").isEmpty() && raw.fontTable("mort").isEmpty() && raw.fontTable("kerx").isEmpty();
}

// A character of the scripts without shaping rules of their own, drawn left
// to right, that is neither a mark nor a control nor a break.
bool IsPlainCharacter(QChar c) {
  if (c.isSurrogate()) return false;
  switch (c.category()) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_PrivateUse:
    case QChar::Other_NotAssigned:
      return false;
    default:
      break;
  }
  switch (c.direction()) {
    case QChar::DirR:
    case QChar::DirAL:
    case QChar::DirAN:
    case QChar::DirNSM:
    case QChar::DirBN:
    case QChar::DirB:
    case QChar::DirS:
      return false;
    default:
      break;
  }
  switch (c.script()) {
    case QChar::Script_Common:
    case QChar::Script_Latin:
    case QChar::Script_Greek:
    case QChar::Script_Cyrillic:
      return true;
    default:
      return false;
  }
}

}  // namespace

TQtTextMeasure::PlainFont& TQtTextMeasure::PlainOf(const QFont& font) {
  if (plain_) return *plain_;
  PlainFont& plain = plain_.emplace();
  // A digit laid out as a line gives the font the layout draws with and the
  // base line's place in the line; a font that lacks it is always shaped.
  QTextLayout layout(QStringLiteral("0"), font);
  layout.beginLayout();
  QTextLine line = layout.createLine();
  line.setLineWidth(1e6);
  layout.endLayout();
  const QList<QGlyphRun> runs = layout.glyphRuns();
  plain.raw = QRawFont::fromFont(font);
  if (runs.size() != 1 || runs[0].positions().size() != 1 || !(runs[0].rawFont() == plain.raw)) return plain;
  plain.ascent = runs[0].positions()[0].y();
  plain.usable = plain.raw.isValid() && SubstitutesNothing(plain.raw);
  return plain;
}

const TQtTextMeasure::Glyph* TQtTextMeasure::PlainGlyph(PlainFont& plain, QChar c) {
  auto found = plain.glyphs.find(c.unicode());
  if (found == plain.glyphs.end()) {
    Glyph glyph;
    if (IsPlainCharacter(c)) {
      const QList<quint32> index = plain.raw.glyphIndexesForString(QString(c));
      if (index.size() == 1 && index[0] != 0) {
        glyph.index = index[0];
        glyph.advance = plain.raw.advancesForGlyphIndexes(index).value(0).x();
      }
    }
    // A character that needs the shaper is kept with glyph 0, so it is asked once.
    found = plain.glyphs.emplace(c.unicode(), glyph).first;
  }
  return found->second.index != 0 ? &found->second : nullptr;
}

const TQtTextMeasure::Glyph* TQtTextMeasure::AnsiGlyph(PlainFont& plain, unsigned char byte) {
  uint8_t& known = plain.ansi_known[byte];
  if (known == 0) {
    const char ansi = static_cast<char>(byte);
    const std::u16string wide = AnsiToWide(std::string_view(&ansi, 1));
    const Glyph* glyph = wide.size() == 1 ? PlainGlyph(plain, QChar(wide[0])) : nullptr;
    if (glyph != nullptr) plain.ansi[byte] = *glyph;
    known = glyph != nullptr ? 1 : 2;
  }
  return known == 1 ? &plain.ansi[byte] : nullptr;
}

QGlyphRun TQtTextMeasure::PlainRun(const PlainFont& plain, const std::vector<const Glyph*>& glyphs) const {
  QList<quint32> indexes;
  QList<QPointF> positions;
  indexes.reserve(qsizetype(glyphs.size()));
  positions.reserve(qsizetype(glyphs.size()));
  qreal x = 0;
  for (const Glyph* glyph : glyphs) {
    indexes.push_back(glyph->index);
    positions.push_back(QPointF(x, plain.ascent));
    x += glyph->advance;
  }
  QGlyphRun run;
  run.setRawFont(plain.raw);
  run.setGlyphIndexes(indexes);
  run.setPositions(positions);
  run.setOverline(qt_font_->overline());
  run.setUnderline(qt_font_->underline());
  run.setStrikeOut(qt_font_->strikeOut());
  return run;
}

bool TQtTextMeasure::LayOutPlain(PlainFont& plain, const QString& text) {
  std::vector<const Glyph*> glyphs;
  glyphs.reserve(size_t(text.size()));
  qreal x = 0;
  for (const QChar c : text) {
    const Glyph* glyph = PlainGlyph(plain, c);
    if (glyph == nullptr) return false;
    glyphs.push_back(glyph);
    x += glyph->advance;
  }
  glyphs_ = {PlainRun(plain, glyphs)};
  laid_out_advance_ = static_cast<int>(std::lround(x));
  return true;
}

bool TQtTextMeasure::MeasurePlain(const TFont& font, const AnsiString& text) {
  const QFont& qt_font = FontOf(font);
  if (ansi_state_ != AnsiState::kNone && text == ansi_text_) return ansi_state_ != AnsiState::kShaped;
  ansi_text_ = text;
  ansi_state_ = AnsiState::kShaped;
  ansi_glyphs_.clear();
  PlainFont& plain = PlainOf(qt_font);
  if (!plain.usable || text.empty()) return false;
  qreal x = 0;
  for (const char c : text) {
    const Glyph* glyph = AnsiGlyph(plain, static_cast<unsigned char>(c));
    if (glyph == nullptr) return false;
    ansi_glyphs_.push_back(glyph);
    x += glyph->advance;
  }
  ansi_advance_ = static_cast<int>(std::lround(x));
  ansi_state_ = AnsiState::kMeasured;
  return true;
}

int TQtTextMeasure::Advance(const TFont& font, const AnsiString& text) {
  if (MeasurePlain(font, text)) return ansi_advance_;
  return Advance(font, ToQString(text));
}

const QList<QGlyphRun>* TQtTextMeasure::PlainGlyphsOf(const TFont& font, const AnsiString& text, int& advance) {
  if (!MeasurePlain(font, text)) return nullptr;
  if (ansi_state_ == AnsiState::kMeasured) {
    ansi_runs_ = {PlainRun(*plain_, ansi_glyphs_)};
    ansi_state_ = AnsiState::kLaidOut;
  }
  advance = ansi_advance_;
  return &ansi_runs_;
}

void TQtTextMeasure::LayOutShaped(const QFont& font, const QString& text) {
  QTextLayout layout(text, font);
  layout.setCacheEnabled(true);
  layout.beginLayout();
  QTextLine line = layout.createLine();
  line.setLineWidth(1e6);
  layout.endLayout();
  glyphs_ = layout.glyphRuns();
  laid_out_advance_ = static_cast<int>(std::lround(line.horizontalAdvance()));
}

const QList<QGlyphRun>& TQtTextMeasure::GlyphsOf(const TFont& font, const QString& text, int& advance) {
  const QFont& qt_font = FontOf(font);
  if (glyphs_.isEmpty() || text != laid_out_) {
    laid_out_ = text;
    PlainFont& plain = PlainOf(qt_font);
    if (!plain.usable || !LayOutPlain(plain, text)) LayOutShaped(qt_font, text);
  }
  advance = laid_out_advance_;
  return glyphs_;
}

int TQtTextMeasure::Advance(const TFont& font, const QString& text) {
  if (!text.isEmpty()) {
    int advance = 0;
    GlyphsOf(font, text, advance);
    return advance;
  }
  const QFontMetrics& metrics = MetricsOf(font);
  // A few pages of texts; a longer run of different ones starts afresh.
  constexpr size_t kKept = 4096;
  if (const auto found = advances_.find(text); found != advances_.end()) return found->second;
  if (advances_.size() >= kKept) advances_.clear();
  return advances_.emplace(text, metrics.horizontalAdvance(text)).first->second;
}

void TQtCanvas::TextOut(int x, int y, const AnsiString& text) {
  int advance = 0;
  const QList<QGlyphRun>* plain = measure_.PlainGlyphsOf(Font(), text, advance);
  const QString q = plain != nullptr ? QString() : ToQString(text);
  if (plain == nullptr) advance = measure_.Advance(Font(), q);
  const QFontMetrics& metrics = measure_.MetricsOf(Font());
  const int orientation = Font().Orientation();
  if (orientation != 0) {
    // Turned text: the box is laid out at the origin and turned about the
    // text's start, its top toward the start's side as the classic platform does.
    painter_->save();
    painter_->translate(x, y);
    painter_->rotate(-orientation / 10.0);
  }
  const QRect box(orientation != 0 ? 0 : x, orientation != 0 ? 0 : y, advance, metrics.height());
  if (Brush().Style() != bsClear) painter_->fillRect(box, ToQColor(Brush().Color()));
  // Glyphs are filled with the pen's colour alone. A solid pen keeps its
  // width, so a cell's text in the colour of its frame leaves the device's
  // state as the frame left it: a printed page changes it once, not per cell.
  const QColor ink = ToQColor(Font().Color());
  const QPen& current = painter_->pen();
  if (current.style() != Qt::SolidLine) {
    painter_->setPen(QPen(ink));
  } else if (current.color() != ink) {
    QPen pen = current;
    pen.setColor(ink);
    painter_->setPen(pen);
  }
  // One line from the box's top: drawn at its base line without a layout
  // unless breaks or tabs must be shown as spaces.
  if (plain != nullptr) {
    for (const QGlyphRun& run : *plain) painter_->drawGlyphRun(QPointF(box.left(), box.top()), run);
  } else if (q.contains(u'\n') || q.contains(u'\r') || q.contains(u'\t')) {
    // Glyph runs carry their font; only the library's own text drawing takes the painter's.
    painter_->setFont(measure_.FontOf(Font()));
    painter_->drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip | Qt::TextSingleLine, q);
  } else if (!q.isEmpty()) {
    for (const QGlyphRun& run : measure_.GlyphsOf(Font(), q, advance))
      painter_->drawGlyphRun(QPointF(box.left(), box.top()), run);
  }
  if (orientation != 0) painter_->restore();
  MoveTo(PenAfterText(x, box.width()), y);
}

int TQtCanvas::TextWidth(const AnsiString& text) { return measure_.Advance(Font(), text); }

int TQtCanvas::TextHeight(const AnsiString&) { return measure_.MetricsOf(Font()).height(); }

void TQtCanvas::Draw(int x, int y, TBitmap& bitmap) {
  if (bitmap.Empty()) return;
  painter_->drawImage(x, y, bitmap.Image());
}

void TQtCanvas::DrawPart(int x, int y, TBitmap& bitmap, const TRect& part) {
  if (bitmap.Empty()) return;
  painter_->drawImage(QPoint(x, y), bitmap.Image(), QRect(part.Left, part.Top, part.Width(), part.Height()));
}

TColor TQtCanvas::Pixel(int x, int y) {
  QImage* surface = Surface();
  if (!surface || !surface->valid(x, y)) return clNone;
  const QRgb p = surface->pixel(x, y);
  return RGB(qRed(p), qGreen(p), qBlue(p));
}

void TQtCanvas::SetPixel(int x, int y, TColor color) {
  painter_->setPen(ToQColor(color));
  painter_->drawPoint(x, y);
}

void TQtCanvas::InvertRect(const TRect& rect) {
  if (rect.Width() <= 0 || rect.Height() <= 0) return;
  // White XOR the pixel is its inverse; a raster surface (bitmaps, windows)
  // does it, a vector device (PDF) has no such operation and keeps its pixels.
  painter_->save();
  painter_->setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  painter_->fillRect(QRect(rect.Left, rect.Top, rect.Width(), rect.Height()), Qt::white);
  painter_->restore();
}

void TQtCanvas::PushClip(const TRect& rect) {
  painter_->save();
  ++clip_depth_;
  painter_->setClipRect(QRect(rect.Left, rect.Top, std::max(0, rect.Width()), std::max(0, rect.Height())),
                        painter_->hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
}

void TQtCanvas::PopClip() {
  // An unmatched pop would undo a state the caller of the painter saved.
  if (clip_depth_ == 0) return;
  --clip_depth_;
  painter_->restore();
}

// ---- Bitmaps -------------------------------------------------------------------

namespace {

class BitmapCanvas : public TQtCanvas {
 public:
  explicit BitmapCanvas(QImage* image) : TQtCanvas(nullptr), image_(image) {}
  // Begins painting on first use, so that the image stays free otherwise.
  void Begin() {
    if (!own_painter_) own_painter_ = std::make_unique<QPainter>(image_);
    SetPainter(own_painter_.get());
  }
  void End() {
    own_painter_.reset();
    SetPainter(nullptr);
  }

 protected:
  QImage* Surface() override { return image_; }

 private:
  QImage* image_;
  std::unique_ptr<QPainter> own_painter_;
};

}  // namespace

struct TBitmap::Impl {
  QImage image;
  std::unique_ptr<BitmapCanvas> canvas;
  void EndPainting() {
    if (canvas) canvas->End();
  }
};

TBitmap::TBitmap() : impl_(std::make_unique<Impl>()) {}
TBitmap::~TBitmap() { impl_->EndPainting(); }

int TBitmap::Width() const { return impl_->image.width(); }
int TBitmap::Height() const { return impl_->image.height(); }

void TBitmap::SetSize(int width, int height) {
  impl_->EndPainting();
  if (width <= 0 || height <= 0) {
    impl_->image = QImage();
    Changed();
    return;
  }
  impl_->image = QImage(width, height, QImage::Format_RGB32);
  impl_->image.fill(Qt::white);
  Changed();
}

void TBitmap::Assign(const TBitmap& source) {
  impl_->EndPainting();
  source.impl_->EndPainting();
  impl_->image = source.impl_->image.copy();
  Changed();
}

void TBitmap::Assign(const TPersistent* source) {
  if (source == nullptr) {
    SetSize(0, 0);
  } else if (auto* bitmap = dynamic_cast<const TBitmap*>(source)) {
    Assign(*bitmap);
  } else {
    TPersistent::Assign(source);
  }
}

const TClassInfo& TBitmap::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TBitmap>, "TBitmap", &TPersistent::StaticClassInfo());
  return info;
}

void TBitmap::DefineProperties(TFiler& filer) {
  filer.DefineBinaryProperty(
      "Data", [this](TStream& stream) { ReadData(stream); }, [this](TStream& stream) { WriteData(stream); },
      !Empty());
}

void TBitmap::WriteData(TStream& stream) {
  const std::string bytes = SaveToBytes();
  if (bytes.size() > std::numeric_limits<int32_t>::max()) throw EWriteError("Picture too large to be written");
  unsigned char length[4];
  PutLE32(length, static_cast<uint32_t>(bytes.size()));
  stream.WriteBuffer(length, sizeof length);
  stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

namespace {

// Whether a BMP file's bytes hold every pixel row its header promises. The
// image library fills the rows of a cut-off file with black, which would turn
// damaged picture data into a wrong picture instead of an error. Compressed
// pixels have no fixed size; the image library checks those itself.
bool BmpHasAllRows(const std::string& bytes) {
  if (bytes.size() < 26 || bytes[0] != 'B' || bytes[1] != 'M') return false;
  const char* p = bytes.data();
  const uint64_t pixels_at = GetLE32(p + 10);
  const uint32_t header_size = GetLE32(p + 14);
  int64_t width = 0, height = 0;
  uint32_t bits = 0, compression = 0;
  if (header_size == 12) {
    width = static_cast<int16_t>(GetLE16(p + 18));
    height = static_cast<int16_t>(GetLE16(p + 20));
    bits = GetLE16(p + 24);
  } else {
    if (bytes.size() < 34) return false;
    width = static_cast<int32_t>(GetLE32(p + 18));
    height = static_cast<int32_t>(GetLE32(p + 22));
    bits = GetLE16(p + 28);
    compression = GetLE32(p + 30);
  }
  constexpr uint32_t kRgb = 0, kBitFields = 3;
  if (compression != kRgb && compression != kBitFields) return true;
  if (width <= 0 || height == 0 || bits == 0) return false;
  const uint64_t row = (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
  const uint64_t rows = static_cast<uint64_t>(height < 0 ? -height : height);
  return pixels_at <= bytes.size() && row * rows <= bytes.size() - pixels_at;
}

}  // namespace

void TBitmap::ReadData(TStream& stream) {
  // The stored length must be exactly what follows: a cut or padded picture
  // is damaged data, not a picture to guess at.
  unsigned char length[4];
  const int64_t left = stream.Size() - stream.Position();
  if (left < 4 || stream.Read(length, sizeof length) != sizeof length) {
    throw EInvalidGraphic(Utf8ToAnsi("Bitmap image is not valid"));
  }
  const uint32_t size = GetLE32(length);
  if (static_cast<int64_t>(size) != left - 4) throw EInvalidGraphic(Utf8ToAnsi("Bitmap image is not valid"));
  if (size == 0) {
    SetSize(0, 0);
    return;
  }
  std::string bytes(size, '\0');
  stream.ReadBuffer(bytes.data(), size);
  if (!BmpHasAllRows(bytes)) throw EInvalidGraphic(Utf8ToAnsi("Bitmap image is not valid"));
  LoadFromBytes(bytes.data(), bytes.size());
}

void TBitmap::AssignScaled(TBitmap& source, int width, int height) {
  const QImage scaled = source.Empty() || width <= 0 || height <= 0
                            ? QImage()
                            : source.Image().scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  SetImage(scaled);
}

TCanvas& TBitmap::Canvas() {
  if (!impl_->canvas) impl_->canvas = std::make_unique<BitmapCanvas>(&impl_->image);
  impl_->canvas->Begin();
  return *impl_->canvas;
}

const QImage& TBitmap::Image() {
  impl_->EndPainting();
  return impl_->image;
}

void TBitmap::SetImage(const QImage& image) {
  impl_->EndPainting();
  impl_->image = image.convertToFormat(QImage::Format_RGB32);
  Changed();
}

void TBitmap::LoadFromFile(const std::string& file_name) {
  QImageReader reader(QString::fromStdString(file_name));
  QImage image = reader.read();
  if (image.isNull()) throw EInvalidGraphic(Utf8ToAnsi("Bitmap image is not valid"));
  impl_->EndPainting();
  impl_->image = image.convertToFormat(QImage::Format_RGB32);
  Changed();
}

void TBitmap::SaveToFile(const std::string& file_name) {
  // Encoded first and then replacing the file whole: a full disk leaves an
  // existing file as it was.
  const std::string bytes = SaveToBytes();
  if (bytes.empty()) throw EFCreateError("Cannot create file \"" + Utf8ToAnsi(file_name) + "\"");
  TReplaceFileStream file(file_name);
  file.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  file.Commit();
}

void TBitmap::LoadFromBytes(const void* data, size_t size) {
  QImage image;
  if (size > 0 && size <= static_cast<size_t>(std::numeric_limits<int>::max()))
    image.loadFromData(static_cast<const uchar*>(data), static_cast<int>(size), "BMP");
  if (image.isNull()) throw EInvalidGraphic(Utf8ToAnsi("Bitmap image is not valid"));
  impl_->EndPainting();
  impl_->image = image.convertToFormat(QImage::Format_RGB32);
  Changed();
}

void TBitmap::LoadIconFromBytes(const void* data, size_t size) {
  QImage image;
  if (size > 0 && size <= static_cast<size_t>(std::numeric_limits<int>::max()))
    image.loadFromData(static_cast<const uchar*>(data), static_cast<int>(size), "ICO");
  if (image.isNull()) throw EInvalidGraphic(Utf8ToAnsi("Icon image is not valid"));
  QImage opaque(image.size(), QImage::Format_RGB32);
  opaque.fill(Qt::white);
  QPainter painter(&opaque);
  painter.drawImage(0, 0, image);
  painter.end();
  impl_->EndPainting();
  impl_->image = opaque;
  Changed();
}

std::string TBitmap::SaveToBytes() {
  if (Empty()) return {};
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  Image().save(&buffer, "BMP");
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

TPicture::TPicture() : bitmap_(std::make_unique<TBitmap>()) {}

void TPicture::LoadFromBytes(const void* data, size_t size) {
  if (IsJPEGData(data, size)) {
    TJPEGImage jpeg;
    jpeg.LoadFromBytes(data, size);
    jpeg.AssignTo(*bitmap_);
  } else {
    bitmap_->LoadFromBytes(data, size);
  }
  Changed();
}

void TPicture::LoadFromFile(const std::string& file_name) {
  unsigned char head[3] = {0, 0, 0};
  {
    TFileStream file(file_name, fmOpenRead | fmShareDenyWrite);
    file.Read(head, sizeof head);
  }
  if (IsJPEGData(head, sizeof head)) {
    TJPEGImage jpeg;
    jpeg.LoadFromFile(file_name);
    jpeg.AssignTo(*bitmap_);
  } else {
    bitmap_->LoadFromFile(file_name);
  }
  Changed();
}
TPicture::~TPicture() = default;
