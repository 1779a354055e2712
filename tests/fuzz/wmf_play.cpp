// fuzz-deps: kiv7_gfx Qt6::Gui
// Plays random Windows metafiles (placeable and enhanced) onto a small
// bitmap, directly and through a recording. Every input must end in a
// picture refused with EInvalidGraphic or in a picture played; playing must
// leave the canvas as it was (pen, brush, font, pen position, and no clip:
// a fill afterwards reaches every pixel). A crash, a hang, a sanitizer report,
// another exception or a canvas left changed is a finding.
#include <QGuiApplication>
#include <QImage>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "toolkit/core/exceptions.h"
#include "toolkit/gfx/metafile.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

void PlayAndCheck(const TWindowsMetafile& m, TCanvas& canvas, TBitmap& bitmap, bool recorded) {
  canvas.Pen().SetColor(clPurple);
  canvas.Brush().SetColor(clYellow);
  canvas.Font().SetName("Courier New");
  canvas.MoveTo(3, 4);
  if (recorded) {
    TMetafile recording;
    {
      TMetafileCanvas recorder(recording);
      m.StretchDraw(recorder, Rect(2, 3, 62, 45));
    }
    recording.Replay(canvas);
  } else {
    m.StretchDraw(canvas, Rect(2, 3, 62, 45));
  }
  Require(canvas.Pen().Color() == clPurple && canvas.Brush().Color() == clYellow);
  Require(canvas.Font().Name() == "Courier New" && canvas.PenPos() == (TPoint{3, 4}));
  canvas.Brush().SetStyle(bsSolid);
  canvas.FillRect(Rect(0, 0, 64, 48));
  const QImage& image = bitmap.Image();
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) Require((image.pixel(x, y) & 0xFFFFFFu) == 0xFFFF00u);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static int argc = 1;
  static char name[] = "fuzz_wmf_play";
  static char* argv[] = {name, nullptr};
  static QGuiApplication* app = new QGuiApplication(argc, argv);
  (void)app;
  TWindowsMetafile m;
  try {
    m.LoadFromBytes(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const EInvalidGraphic&) {
    return 0;
  }
  TBitmap bitmap;
  bitmap.SetSize(64, 48);
  PlayAndCheck(m, bitmap.Canvas(), bitmap, false);
  PlayAndCheck(m, bitmap.Canvas(), bitmap, true);
  return 0;
}
