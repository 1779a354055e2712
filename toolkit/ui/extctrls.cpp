#include "toolkit/ui/extctrls.h"

#include <QLabel>
#include <QPixmap>

#include "toolkit/gfx/edges.h"
#include "toolkit/ui/qt_host.h"

TImage::TImage(TComponent* owner) : TControl(owner) {
  auto* label = new Hosted<QLabel>(this);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  SetBounds(0, 0, 105, 105);
  AttachWidget(label);
  picture_.OnChange = [this] { PictureChanged(); };
}

TImage::~TImage() { picture_.OnChange = nullptr; }

void TImage::SetStretch(bool value) {
  stretch_ = value;
  PictureChanged();
}

void TImage::SetCenter(bool value) {
  center_ = value;
  PictureChanged();
}

void TImage::SetAutoSize(bool value) {
  auto_size_ = value;
  PictureChanged();
}

void TImage::PictureChanged() {
  auto* label = static_cast<QLabel*>(Widget());
  if (!label) return;
  TBitmap& bitmap = picture_.Bitmap();
  if (auto_size_ && !bitmap.Empty()) SetBounds(Left(), Top(), bitmap.Width(), bitmap.Height());
  label->setScaledContents(stretch_);
  label->setAlignment(center_ ? Qt::AlignCenter : (Qt::AlignLeft | Qt::AlignTop));
  label->setPixmap(bitmap.Empty() ? QPixmap() : QPixmap::fromImage(bitmap.Image()));
}

// ---- TPanel ---------------------------------------------------------------------

TPanel::TPanel(TComponent* owner) : TCustomControl(owner) { SetBounds(0, 0, 185, 41); }

void TPanel::SetBevelOuter(TPanelBevel value) {
  if (value == bevel_outer_) return;
  bevel_outer_ = value;
  Invalidate();
}

void TPanel::Paint() {
  if (bevel_outer_ == bvNone) return;
  TRect rect = Rect(0, 0, Width(), Height());
  DrawEdge(Canvas(), rect, bevel_outer_ == bvRaised ? BDR_RAISEDINNER : BDR_SUNKENOUTER, BF_RECT);
}

// ---- TBevel ---------------------------------------------------------------------

TBevel::TBevel(TComponent* owner) : TGraphicControl(owner) { SetBounds(0, 0, 50, 50); }

void TBevel::Paint() {
  TRect rect = Rect(0, 0, Width(), Height());
  DrawEdge(Canvas(), rect, BDR_SUNKENOUTER, BF_RECT);
}
