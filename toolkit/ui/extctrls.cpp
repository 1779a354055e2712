#include "toolkit/ui/extctrls.h"

#include <QLabel>
#include <QPixmap>

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
