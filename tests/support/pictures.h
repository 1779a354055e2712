// Pictures of windows taken offscreen: saved under the build tree for a
// person to look at, and probed pixel by pixel by the tests.
#pragma once

#include <QDir>
#include <QImage>
#include <QString>

#include <string>

#include "toolkit/core/colors.h"

namespace testsupport {

// Saves image as <build>/pictures/<name>.png; true when written.
inline bool SavePicture(const QImage& image, const std::string& name) {
  const QString dir = QString::fromStdString(std::string(KIV7_BINARY_DIR) + "/pictures");
  QDir().mkpath(dir);
  return image.save(dir + "/" + QString::fromStdString(name) + ".png");
}

// The pixel as a toolkit colour.
inline TColor PixelColor(const QImage& image, int x, int y) {
  const QRgb p = image.pixel(x, y);
  return RGB(qRed(p), qGreen(p), qBlue(p));
}

// How many pixels of the image have the colour (a system colour resolved).
inline int CountColor(const QImage& image, TColor color) {
  const TColor rgb = ColorToRGB(color);
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (PixelColor(image, x, y) == rgb) ++count;
  return count;
}

}  // namespace testsupport
