#include "toolkit/ui/clipbrd.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>

namespace {

QClipboard* Clipboard() { return QGuiApplication::instance() ? QGuiApplication::clipboard() : nullptr; }

}  // namespace

bool ClipboardHasBitmap() {
  QClipboard* clipboard = Clipboard();
  const QMimeData* data = clipboard ? clipboard->mimeData() : nullptr;
  return data && data->hasImage();
}

bool ClipboardBitmap(TBitmap& bitmap) {
  if (!ClipboardHasBitmap()) return false;
  const QImage image = Clipboard()->image();
  if (image.isNull()) return false;
  bitmap.SetImage(image.convertToFormat(QImage::Format_RGB32));
  return true;
}

void SetClipboardBitmap(TBitmap& bitmap) {
  if (QClipboard* clipboard = Clipboard()) clipboard->setImage(bitmap.Image());
}
