// A bitmap published as a property is stored with its form as picture data
// and reads back to the same pixels; damaged picture data is refused.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "toolkit/core/binary.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/filer.h"
#include "toolkit/core/objtext.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/gfx/graphics.h"

namespace {

// A component with a bitmap property, as a button holds its glyph.
class TPictureHolder : public TComponent {
  KIV7_PERSISTENT(TPictureHolder)

 public:
  explicit TPictureHolder(TComponent* owner) : TComponent(owner) {}
  TBitmap* Glyph() const { return glyph_.get(); }
  void SetGlyph(const TBitmap* value) { glyph_->Assign(value); }

 private:
  std::unique_ptr<TBitmap> glyph_ = std::make_unique<TBitmap>();
};

const TClassInfo& TPictureHolder::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TPictureHolder>, "TPictureHolder", &TComponent::StaticClassInfo(),
                               [](TPublisher<TPictureHolder>& p) {
                                 p.Object("Glyph", TBitmap::StaticClassInfo(), &TPictureHolder::Glyph,
                                          &TPictureHolder::SetGlyph);
                               });
  return info;
}

std::string ToText(TPictureHolder& holder) {
  TMemoryStream binary;
  TWriter(binary).WriteRootComponent(&holder);
  binary.SetPosition(0);
  TStringStream text;
  ObjectBinaryToText(binary, text);
  return text.DataString();
}

void FromText(TPictureHolder& holder, const std::string& text) {
  TStringStream input(text);
  TMemoryStream binary;
  ObjectTextToBinary(input, binary);
  binary.SetPosition(0);
  TReader(binary).ReadRootComponent(&holder);
}

std::string Hex(const std::string& bytes) {
  std::string hex;
  for (unsigned char c : bytes) {
    char two[3];
    std::snprintf(two, sizeof two, "%02X", c);
    hex += two;
  }
  return hex;
}

std::string FormWithData(const std::string& data) {
  return "object Holder1: TPictureHolder\r\n  Glyph.Data = {" + Hex(data) + "}\r\nend\r\n";
}

// A picture of distinct pixels: each one tells whether it came back in place.
void Paint(TBitmap& bitmap, int width, int height) {
  bitmap.SetSize(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) bitmap.Canvas().SetPixel(x, y, RGB(40 * x + 3, 50 * y + 7, (x * 7 + y * 13) % 256));
  }
}

TEST(BitmapPictureData, StreamsOutAndBackToTheSamePixels) {
  for (const auto& [width, height] : {std::pair{1, 1}, std::pair{3, 2}, std::pair{5, 7}}) {
    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
    TPictureHolder original(nullptr);
    original.SetName("Holder1");
    Paint(*original.Glyph(), width, height);
    const std::string text = ToText(original);
    ASSERT_NE(text.find("Glyph.Data = {"), std::string::npos) << text;

    TPictureHolder copy(nullptr);
    Paint(*copy.Glyph(), 2, 9);  // a different picture the stored one replaces
    FromText(copy, text);
    ASSERT_EQ(copy.Glyph()->Width(), width);
    ASSERT_EQ(copy.Glyph()->Height(), height);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        EXPECT_EQ(copy.Glyph()->Canvas().Pixel(x, y), original.Glyph()->Canvas().Pixel(x, y)) << x << "," << y;
      }
    }
  }
}

// The stored data is the length of a BMP file and then that file.
TEST(BitmapPictureData, IsTheLengthAndThenABmpFile) {
  TBitmap bitmap;
  Paint(bitmap, 4, 3);
  TMemoryStream data;
  bitmap.WriteData(data);
  const std::string bytes(data.Bytes());
  ASSERT_GT(bytes.size(), 4u + 54u);
  EXPECT_EQ(GetLE32(bytes.data()), bytes.size() - 4);
  EXPECT_EQ(bytes.substr(4, 2), "BM");
  EXPECT_EQ(GetLE32(bytes.data() + 4 + 2), bytes.size() - 4);  // the BMP's own file size
}

// An empty picture stores nothing, and data of length 0 reads as an empty picture.
TEST(BitmapPictureData, AnEmptyPictureStoresNothingAndReadsBackEmpty) {
  TPictureHolder original(nullptr);
  original.SetName("Holder1");
  const std::string text = ToText(original);
  EXPECT_EQ(text.find("Glyph"), std::string::npos) << text;

  TPictureHolder copy(nullptr);
  Paint(*copy.Glyph(), 3, 3);
  FromText(copy, text);
  EXPECT_EQ(copy.Glyph()->Width(), 3) << "nothing stored, nothing changed";

  FromText(copy, FormWithData(std::string(4, '\0')));
  EXPECT_TRUE(copy.Glyph()->Empty());
}

TEST(BitmapPictureData, DamagedDataIsRefusedAndTheOldPictureKept) {
  TBitmap good;
  Paint(good, 6, 5);
  TMemoryStream stream;
  good.WriteData(stream);
  const std::string valid(stream.Bytes());
  const std::string bmp = valid.substr(4);
  auto with_length = [](const std::string& body) {
    std::string data(4, '\0');
    PutLE32(data.data(), static_cast<uint32_t>(body.size()));
    return data + body;
  };
  const struct {
    const char* what;
    std::string data;
  } cases[] = {
      {"fewer bytes than the length", valid.substr(0, valid.size() - 10)},
      {"more bytes than the length", valid + "XYZ"},
      {"no room for the length", std::string("\x01\x00", 2)},
      {"not a picture", with_length("this is no bitmap at all, just words")},
      {"a picture cut short", with_length(bmp.substr(0, 54 + 12))},
      {"a header with a wrong signature", with_length("XX" + bmp.substr(2))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TPictureHolder holder(nullptr);
    Paint(*holder.Glyph(), 2, 2);
    const TColor before = holder.Glyph()->Canvas().Pixel(1, 1);
    try {
      FromText(holder, FormWithData(c.data));
      ADD_FAILURE() << "damaged data was read";
    } catch (const EInvalidGraphic& e) {
      EXPECT_STREQ(e.what(), "Bitmap image is not valid");
    }
    EXPECT_EQ(holder.Glyph()->Width(), 2);
    EXPECT_EQ(holder.Glyph()->Canvas().Pixel(1, 1), before);
  }
}

// Its user hears of a picture read back (a glyph's control re-measures), and
// not of damaged data that changed nothing.
TEST(BitmapPictureData, ReadingStoredDataRaisesTheChangeEvent) {
  TPictureHolder original(nullptr);
  original.SetName("Holder1");
  Paint(*original.Glyph(), 3, 3);
  const std::string text = ToText(original);
  TPictureHolder copy(nullptr);
  int changes = 0;
  copy.Glyph()->OnChange = [&changes] { ++changes; };
  FromText(copy, text);
  EXPECT_EQ(changes, 1);
  EXPECT_THROW(FromText(copy, FormWithData(std::string("\x05\x00\x00\x00" "BMxyz", 9))), EInvalidGraphic);
  EXPECT_EQ(changes, 1);
}

// Assigning copies the picture; assigning nothing empties it.
TEST(BitmapPictureData, AssignThroughThePersistentInterface) {
  TBitmap source;
  Paint(source, 3, 4);
  TBitmap target;
  static_cast<TPersistent&>(target).Assign(static_cast<const TPersistent*>(&source));
  ASSERT_EQ(target.Width(), 3);
  EXPECT_EQ(target.Canvas().Pixel(2, 3), source.Canvas().Pixel(2, 3));
  target.Assign(static_cast<const TPersistent*>(nullptr));
  EXPECT_TRUE(target.Empty());
}

}  // namespace
