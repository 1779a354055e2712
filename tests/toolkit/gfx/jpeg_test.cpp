// JPEG pictures: round trips through libjpeg keep size and colours, and
// damaged files give the picture error, never a crash or a huge allocation.
#include "toolkit/gfx/jpeg.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cstdlib>

#include "tests/support/testsupport.h"

namespace jpeg_test {

// Four flat quadrants: red, green, blue, white on a 64 x 48 picture.
void Quadrants(TBitmap& bitmap) {
  bitmap.SetSize(64, 48);
  TCanvas& c = bitmap.Canvas();
  const struct {
    TRect r;
    TColor color;
  } parts[] = {{Rect(0, 0, 32, 24), clRed}, {Rect(32, 0, 64, 24), clLime},
               {Rect(0, 24, 32, 48), clBlue}, {Rect(32, 24, 64, 48), clWhite}};
  for (const auto& p : parts) {
    c.Brush().SetColor(p.color);
    c.FillRect(p.r);
  }
}

std::string Bytes(TJPEGImage& jpeg) {
  TMemoryStream memory;
  jpeg.SaveToStream(memory);
  return std::string(memory.Memory(), size_t(memory.Size()));
}

bool Near(QRgb got, TColor want, int tolerance) {
  return std::abs(qRed(got) - int(GetRValue(want))) <= tolerance &&
         std::abs(qGreen(got) - int(GetGValue(want))) <= tolerance &&
         std::abs(qBlue(got) - int(GetBValue(want))) <= tolerance;
}

TEST(Jpeg, RoundTripKeepsSizeAndColours) {
  const struct {
    int quality;
    bool grayscale;
    int tolerance;
  } cases[] = {{95, false, 12}, {50, false, 40}, {90, true, 12}};
  for (const auto& c : cases) {
    TBitmap source;
    Quadrants(source);
    TJPEGImage jpeg;
    jpeg.Assign(source);
    jpeg.SetCompressionQuality(c.quality);
    jpeg.SetGrayscale(c.grayscale);
    const std::string bytes = Bytes(jpeg);
    ASSERT_TRUE(IsJPEGData(bytes.data(), bytes.size()));

    TJPEGImage back;
    back.LoadFromBytes(bytes.data(), bytes.size());
    EXPECT_EQ(back.Width(), 64);
    EXPECT_EQ(back.Height(), 48);
    EXPECT_EQ(back.Grayscale(), c.grayscale);
    TBitmap decoded;
    back.AssignTo(decoded);
    const QImage& image = decoded.Image();
    const struct {
      int x, y;
      TColor color;
    } probes[] = {{16, 12, clRed}, {48, 12, clLime}, {16, 36, clBlue}, {48, 36, clWhite}};
    for (const auto& p : probes) {
      TColor want = p.color;
      if (c.grayscale) {
        const int g = qGray(qRgb(GetRValue(want), GetGValue(want), GetBValue(want)));
        want = RGB(g, g, g);
      }
      EXPECT_TRUE(Near(image.pixel(p.x, p.y), want, c.tolerance))
          << "quality " << c.quality << " at " << p.x << "," << p.y << std::hex << " got " << image.pixel(p.x, p.y);
    }
  }
  TJPEGImage jpeg;
  jpeg.SetCompressionQuality(0);
  EXPECT_EQ(jpeg.CompressionQuality(), 1);
  jpeg.SetCompressionQuality(500);
  EXPECT_EQ(jpeg.CompressionQuality(), 100);
}

TEST(Jpeg, HigherQualityMakesLargerFiles) {
  TBitmap source;
  Quadrants(source);
  source.Canvas().Font().SetSize(14);
  source.Canvas().TextOut(3, 3, "Detail");
  TJPEGImage jpeg;
  jpeg.Assign(source);
  jpeg.SetCompressionQuality(20);
  const size_t small = Bytes(jpeg).size();
  jpeg.SetCompressionQuality(100);
  EXPECT_GT(Bytes(jpeg).size(), small);
}

TEST(Jpeg, DamagedDataIsAPictureErrorAndKeepsTheOldPicture) {
  TBitmap source;
  Quadrants(source);
  TJPEGImage good;
  good.Assign(source);
  const std::string bytes = Bytes(good);
  // The frame header: FF C0, length, precision, then height and width.
  const size_t sof = bytes.find("\xFF\xC0", 2);
  ASSERT_NE(sof, std::string::npos);
  std::string huge = bytes;
  huge[sof + 5] = huge[sof + 6] = huge[sof + 7] = huge[sof + 8] = '\xFF';
  std::string zero = bytes;
  zero[sof + 5] = zero[sof + 6] = '\0';
  const struct {
    const char* name;
    std::string data;
  } cases[] = {
      {"empty", ""},
      {"not a JPEG", "BM this is something else"},
      {"start marker only", "\xFF\xD8\xFF"},
      {"header cut short", bytes.substr(0, sof + 4)},
      {"garbage after the start", std::string("\xFF\xD8\xFF\xE0") + std::string(200, '\x13')},
      {"picture too large to hold", huge},
      {"zero height", zero},
  };
  for (const auto& c : cases) {
    TJPEGImage jpeg;
    jpeg.Assign(source);
    EXPECT_THROW(jpeg.LoadFromBytes(c.data.data(), c.data.size()), EInvalidGraphic) << c.name;
    EXPECT_EQ(jpeg.Width(), 64) << c.name;
  }
  // A body cut short still shows what arrived, at the full size.
  TJPEGImage partial;
  const size_t scan = bytes.find("\xFF\xDA");
  ASSERT_NE(scan, std::string::npos);
  const std::string cut = bytes.substr(0, scan + (bytes.size() - scan) / 2);
  partial.LoadFromBytes(cut.data(), cut.size());
  EXPECT_EQ(partial.Width(), 64);
  EXPECT_EQ(partial.Height(), 48);
  TJPEGImage empty;
  TMemoryStream out;
  EXPECT_THROW(empty.SaveToStream(out), EInvalidGraphic);
}

TEST(Jpeg, PicturesLoadJpegAndBmpFilesByTheirContent) {
  const std::string dir = testsupport::TempDir("jpeg_picture");
  TBitmap source;
  Quadrants(source);
  TJPEGImage jpeg;
  jpeg.Assign(source);
  // A JPEG under a misleading name is still read as a JPEG.
  jpeg.SaveToFile(dir + "/photo.bmp");
  source.SaveToFile(dir + "/plain.bmp");
  testsupport::WriteFile(dir + "/junk.jpg", "not a picture at all");

  TPicture picture;
  int changes = 0;
  picture.OnChange = [&] { ++changes; };
  picture.LoadFromFile(dir + "/photo.bmp");
  EXPECT_EQ(picture.Bitmap().Width(), 64);
  EXPECT_TRUE(Near(picture.Bitmap().Image().pixel(16, 36), clBlue, 12));
  picture.LoadFromFile(dir + "/plain.bmp");
  EXPECT_EQ(picture.Bitmap().Image().pixel(48, 12), qRgb(0, 255, 0));
  EXPECT_EQ(changes, 2);
  EXPECT_THROW(picture.LoadFromFile(dir + "/junk.jpg"), EInvalidGraphic);
  EXPECT_THROW(picture.LoadFromFile(dir + "/missing.jpg"), EFOpenError);
  EXPECT_EQ(picture.Bitmap().Width(), 64);
  EXPECT_EQ(changes, 2);
  EXPECT_THROW(jpeg.SaveToFile(dir + "/no such folder/x.jpg"), EFCreateError);
}

}  // namespace jpeg_test
