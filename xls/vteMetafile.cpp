#include "xls/vteMetafile.h"

#include "toolkit/core/binary.h"

namespace {

// Metafile record functions and the header's fields.
constexpr uint16_t kMetaSetWindowOrg = 0x020B;
constexpr uint16_t kMetaSetWindowExt = 0x020C;
constexpr uint16_t kMetaStretchDib = 0x0F43;
constexpr uint16_t kMetaEof = 0x0000;
constexpr uint16_t kMemoryMetafile = 1;
constexpr uint16_t kHeaderWords = 9;
constexpr uint16_t kMetafileVersion = 0x0300;
// The raster operation that copies the source, and colours given as RGB.
constexpr uint32_t kSrcCopy = 0x00CC0020;
constexpr uint16_t kDibRgbColors = 0;
constexpr uint32_t kBitmapInfoHeaderSize = 40;

// A record: its size in 16-bit words, its function, its parameters.
void PutRecord(std::string* out, uint16_t function, const std::string& params) {
  PutLE32(out, static_cast<uint32_t>((6 + params.size()) / 2));
  PutLE16(out, function);
  out->append(params);
}

}  // namespace

std::string PictureToMetafile(const TvtePicture& picture) {
  const auto width = static_cast<uint32_t>(picture.Width);
  const auto height = static_cast<uint32_t>(picture.Height);
  // Rows of a bitmap are padded to 4 bytes and stored bottom row first.
  const uint32_t row_bytes = (width * 3 + 3) & ~3u;

  std::string records;
  std::string p;
  PutLE16(&p, 0);  // y, then x
  PutLE16(&p, 0);
  PutRecord(&records, kMetaSetWindowOrg, p);
  p.clear();
  PutLE16(&p, static_cast<uint16_t>(height));
  PutLE16(&p, static_cast<uint16_t>(width));
  PutRecord(&records, kMetaSetWindowExt, p);

  p.clear();
  PutLE32(&p, kSrcCopy);
  PutLE16(&p, kDibRgbColors);
  // Source height, width, y, x; destination height, width, y, x.
  for (uint32_t v : {height, width, 0u, 0u, height, width, 0u, 0u}) PutLE16(&p, static_cast<uint16_t>(v));
  PutLE32(&p, kBitmapInfoHeaderSize);
  PutLE32(&p, width);
  PutLE32(&p, height);
  PutLE16(&p, 1);   // planes
  PutLE16(&p, 24);  // bits per pixel
  PutLE32(&p, 0);   // uncompressed
  PutLE32(&p, row_bytes * height);
  PutLE32(&p, 0);  // pixels per metre across and down: not given
  PutLE32(&p, 0);
  PutLE32(&p, 0);  // colours used, important colours: none (24 bits)
  PutLE32(&p, 0);
  p.reserve(p.size() + static_cast<size_t>(row_bytes) * height);
  for (uint32_t y = height; y-- > 0;) {
    const uint32_t* row = picture.Pixels.data() + static_cast<size_t>(y) * width;
    for (uint32_t x = 0; x < width; ++x) {
      p.push_back(static_cast<char>(row[x] & 0xFF));          // blue
      p.push_back(static_cast<char>((row[x] >> 8) & 0xFF));   // green
      p.push_back(static_cast<char>((row[x] >> 16) & 0xFF));  // red
    }
    p.append(row_bytes - width * 3, '\0');
  }
  const auto largest_record = static_cast<uint32_t>((6 + p.size()) / 2);
  PutRecord(&records, kMetaStretchDib, p);
  PutRecord(&records, kMetaEof, {});

  std::string out;
  PutLE16(&out, kMemoryMetafile);
  PutLE16(&out, kHeaderWords);
  PutLE16(&out, kMetafileVersion);
  PutLE32(&out, static_cast<uint32_t>((18 + records.size()) / 2));
  PutLE16(&out, 0);  // objects
  PutLE32(&out, largest_record);
  PutLE16(&out, 0);  // unused
  out += records;
  return out;
}
