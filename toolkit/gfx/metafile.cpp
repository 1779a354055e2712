#include "toolkit/gfx/metafile.h"

#include <QFontMetrics>
#include <QImage>

#include "toolkit/gfx/qt_canvas.h"

bool TMetaRecord::operator==(const TMetaRecord& o) const {
  return op == o.op && rect == o.rect && points == o.points && counts == o.counts && fill_rule == o.fill_rule &&
         text == o.text && color == o.color &&
         image_width == o.image_width && image_height == o.image_height && image == o.image &&
         pen_color == o.pen_color && pen_width == o.pen_width && pen_style == o.pen_style &&
         brush_color == o.brush_color && brush_style == o.brush_style && font == o.font;
}

// ---- Recording -------------------------------------------------------------------

TMetaRecord TMetafileCanvas::Record(TMetaOp op) {
  TMetaRecord r;
  r.op = op;
  r.pen_color = Pen().Color();
  r.pen_width = Pen().Width();
  r.pen_style = Pen().Style();
  r.brush_color = Brush().Color();
  r.brush_style = Brush().Style();
  r.font.Assign(Font());
  return r;
}

void TMetafileCanvas::FillRect(const TRect& rect) {
  TMetaRecord r = Record(TMetaOp::FillRect);
  r.rect = rect;
  metafile_.Add(std::move(r));
}

void TMetafileCanvas::Rectangle(int x1, int y1, int x2, int y2) {
  TMetaRecord r = Record(TMetaOp::Rectangle);
  r.rect = Rect(x1, y1, x2, y2);
  metafile_.Add(std::move(r));
}

void TMetafileCanvas::Ellipse(int x1, int y1, int x2, int y2) {
  TMetaRecord r = Record(TMetaOp::Ellipse);
  r.rect = Rect(x1, y1, x2, y2);
  metafile_.Add(std::move(r));
}

void TMetafileCanvas::Polygon(const TPoint* points, int count) {
  if (count <= 0) return;
  TMetaRecord r = Record(TMetaOp::Polygon);
  r.points.assign(points, points + count);
  metafile_.Add(std::move(r));
}

void TMetafileCanvas::PolyPolygon(const TPoint* points, const int* counts, int rings, TFillRule rule) {
  TMetaRecord r = Record(TMetaOp::PolyPolygon);
  size_t total = 0;
  for (int i = 0; i < rings; ++i) {
    if (counts[i] <= 0) continue;  // an empty ring draws nothing
    r.counts.push_back(counts[i]);
    total += static_cast<size_t>(counts[i]);
  }
  if (total == 0) return;
  // Points of empty rings are none, so the remaining rings' points follow on.
  r.points.assign(points, points + total);
  r.fill_rule = rule;
  metafile_.Add(std::move(r));
}

void TMetafileCanvas::Line(int x1, int y1, int x2, int y2) {
  TMetaRecord r = Record(TMetaOp::Line);
  r.rect = Rect(x1, y1, x2, y2);
  metafile_.Add(std::move(r));
}

void TMetafileCanvas::TextOut(int x, int y, const AnsiString& text) {
  TMetaRecord r = Record(TMetaOp::TextOut);
  r.rect = Rect(x, y, x, y);
  r.text = text;
  metafile_.Add(std::move(r));
  MoveTo(PenAfterText(x, TextWidth(text)), y);
}

TMetafileCanvas::TMetafileCanvas(TMetafile& metafile)
    : metafile_(metafile), measure_(std::make_unique<TQtTextMeasure>()) {}

TMetafileCanvas::~TMetafileCanvas() = default;

int TMetafileCanvas::TextWidth(const AnsiString& text) { return measure_->Advance(Font(), text); }

int TMetafileCanvas::TextHeight(const AnsiString&) { return measure_->MetricsOf(Font()).height(); }

void TMetafileCanvas::Draw(int x, int y, TBitmap& bitmap) {
  if (bitmap.Empty()) return;
  TMetaRecord r = Record(TMetaOp::Draw);
  r.rect = Rect(x, y, x, y);
  const QImage image = bitmap.Image().convertToFormat(QImage::Format_RGB32);
  r.image_width = image.width();
  r.image_height = image.height();
  r.image.reserve(size_t(image.width()) * size_t(image.height()));
  for (int row = 0; row < image.height(); ++row) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(row));
    for (int col = 0; col < image.width(); ++col) r.image.push_back(line[col] & 0xFFFFFFu);
  }
  metafile_.Add(std::move(r));
}

TColor TMetafileCanvas::Pixel(int, int) { return clNone; }

void TMetafileCanvas::SetPixel(int x, int y, TColor color) {
  TMetaRecord r = Record(TMetaOp::SetPixel);
  r.rect = Rect(x, y, x, y);
  r.color = color;
  metafile_.Add(std::move(r));
}

void TMetafileCanvas::InvertRect(const TRect& rect) {
  TMetaRecord r = Record(TMetaOp::InvertRect);
  r.rect = rect;
  metafile_.Add(std::move(r));
}

void TMetafileCanvas::PushClip(const TRect& rect) {
  ++clip_depth_;
  TMetaRecord r = Record(TMetaOp::PushClip);
  r.rect = rect;
  metafile_.Add(std::move(r));
}

void TMetafileCanvas::PopClip() {
  // An unmatched pop is dropped, so that the list always replays balanced.
  if (clip_depth_ == 0) return;
  --clip_depth_;
  metafile_.Add(Record(TMetaOp::PopClip));
}

// ---- Replaying -------------------------------------------------------------------

namespace {

TRect Moved(const TRect& r, int dx, int dy) { return Rect(r.Left + dx, r.Top + dy, r.Right + dx, r.Bottom + dy); }

}  // namespace

void TMetafile::Replay(TCanvas& canvas, int dx, int dy) const {
  const TCanvasStateScope kept(canvas);
  int open_clips = 0;
  for (const TMetaRecord& r : records_) {
    canvas.Pen().SetColor(r.pen_color);
    canvas.Pen().SetWidth(r.pen_width);
    canvas.Pen().SetStyle(r.pen_style);
    canvas.Brush().SetColor(r.brush_color);
    canvas.Brush().SetStyle(r.brush_style);
    if (!(canvas.Font() == r.font)) canvas.Font().Assign(r.font);
    const TRect at = Moved(r.rect, dx, dy);
    switch (r.op) {
      case TMetaOp::FillRect: canvas.FillRect(at); break;
      case TMetaOp::Rectangle: canvas.Rectangle(at.Left, at.Top, at.Right, at.Bottom); break;
      case TMetaOp::Ellipse: canvas.Ellipse(at.Left, at.Top, at.Right, at.Bottom); break;
      case TMetaOp::Polygon: {
        std::vector<TPoint> points = r.points;
        for (TPoint& p : points) p = {p.x + dx, p.y + dy};
        canvas.Polygon(points.data(), int(points.size()));
        break;
      }
      case TMetaOp::PolyPolygon: {
        std::vector<TPoint> points = r.points;
        for (TPoint& p : points) p = {p.x + dx, p.y + dy};
        size_t total = 0;
        for (int n : r.counts) total += n > 0 ? static_cast<size_t>(n) : 0;
        if (total != points.size()) break;  // a record that does not add up draws nothing
        canvas.PolyPolygon(points.data(), r.counts.data(), int(r.counts.size()), r.fill_rule);
        break;
      }
      case TMetaOp::Line:
        canvas.MoveTo(at.Left, at.Top);
        canvas.LineTo(at.Right, at.Bottom);
        break;
      case TMetaOp::TextOut: canvas.TextOut(at.Left, at.Top, r.text); break;
      case TMetaOp::Draw: {
        if (r.image_width <= 0 || r.image_height <= 0 ||
            r.image.size() != size_t(r.image_width) * size_t(r.image_height))
          break;
        QImage image(r.image_width, r.image_height, QImage::Format_RGB32);
        for (int row = 0; row < r.image_height; ++row) {
          auto* line = reinterpret_cast<QRgb*>(image.scanLine(row));
          for (int col = 0; col < r.image_width; ++col)
            line[col] = 0xFF000000u | r.image[size_t(row) * size_t(r.image_width) + size_t(col)];
        }
        TBitmap bitmap;
        bitmap.SetImage(image);
        canvas.Draw(at.Left, at.Top, bitmap);
        break;
      }
      case TMetaOp::SetPixel: canvas.SetPixel(at.Left, at.Top, r.color); break;
      case TMetaOp::InvertRect: canvas.InvertRect(at); break;
      case TMetaOp::PushClip:
        canvas.PushClip(at);
        ++open_clips;
        break;
      case TMetaOp::PopClip:
        if (open_clips > 0) {
          canvas.PopClip();
          --open_clips;
        }
        break;
    }
  }
  // A recording cut short leaves no clip behind on the target.
  for (; open_clips > 0; --open_clips) canvas.PopClip();
}

std::vector<TMetaTextRun> TMetafile::TextRuns() const {
  std::vector<TMetaTextRun> runs;
  std::vector<TRect> clips;
  for (const TMetaRecord& r : records_) {
    if (r.op == TMetaOp::PushClip) {
      TRect clip = r.rect;
      if (!clips.empty()) {
        const TRect& outer = clips.back();
        clip = Rect(std::max(clip.Left, outer.Left), std::max(clip.Top, outer.Top),
                    std::min(clip.Right, outer.Right), std::min(clip.Bottom, outer.Bottom));
      }
      clips.push_back(clip);
    } else if (r.op == TMetaOp::PopClip) {
      if (!clips.empty()) clips.pop_back();
    } else if (r.op == TMetaOp::TextOut) {
      TMetaTextRun run;
      run.x = r.rect.Left;
      run.y = r.rect.Top;
      run.text = r.text;
      run.font.Assign(r.font);
      run.brush_color = r.brush_color;
      run.brush_style = r.brush_style;
      run.clipped = !clips.empty();
      if (run.clipped) run.clip = clips.back();
      runs.push_back(std::move(run));
    }
  }
  return runs;
}

AnsiString TMetafile::Text() const {
  AnsiString result;
  for (const TMetaTextRun& run : TextRuns()) result += run.text + "\n";
  return result;
}
