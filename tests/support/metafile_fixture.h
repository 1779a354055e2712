// Small Windows metafiles made by the tests, record by record, so that a
// test shows the drawing it checks. Placeable files carry 16-bit records
// (points y before x), enhanced ones 32-bit records with byte offsets.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace testsupport {

inline std::string Le16(int v) {
  const auto u = static_cast<uint16_t>(v);
  return {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
}
inline std::string Le32(int64_t v) {
  const auto u = static_cast<uint32_t>(v);
  std::string s;
  for (int i = 0; i < 4; ++i) s += static_cast<char>((u >> (8 * i)) & 0xFF);
  return s;
}
inline std::string Words(std::initializer_list<int> words) {
  std::string s;
  for (int w : words) s += Le16(w);
  return s;
}
inline std::string Dwords(std::initializer_list<int64_t> values) {
  std::string s;
  for (int64_t v : values) s += Le32(v);
  return s;
}

// A placeable metafile: the frame in units of `inch` per inch.
class PlaceableBuilder {
 public:
  PlaceableBuilder(int left, int top, int right, int bottom, int inch)
      : frame_(Words({left, top, right, bottom, inch})) {}
  // One record: the function and its parameter bytes.
  PlaceableBuilder& Add(int function, const std::string& params) {
    std::string p = params;
    if (p.size() % 2) p += '\0';
    const int64_t words = static_cast<int64_t>(3 + p.size() / 2);
    records_ += Le32(words) + Le16(function) + p;
    largest_ = std::max(largest_, words);
    return *this;
  }
  PlaceableBuilder& Add(int function, std::initializer_list<int> words) { return Add(function, Words(words)); }
  std::string Bytes() const {
    std::string head = Le32(0x9AC6CDD7) + Le16(0) + frame_ + Le32(0);
    uint16_t sum = 0;
    for (size_t i = 0; i < head.size(); i += 2)
      sum ^= static_cast<uint16_t>(static_cast<unsigned char>(head[i]) | (static_cast<unsigned char>(head[i + 1]) << 8));
    head += Le16(sum);
    const std::string body = records_ + Le32(3) + Le16(0);
    head += Words({1, 9, 0x300}) + Le32(static_cast<int64_t>(9 + body.size() / 2)) + Le16(16) + Le32(largest_) + Le16(0);
    return head + body;
  }

 private:
  std::string frame_;
  std::string records_;
  int64_t largest_ = 3;
};

// Parameters of common placeable records.
namespace wmf {
inline constexpr int kSetWindowOrg = 0x020B, kSetWindowExt = 0x020C, kSetMapMode = 0x0103, kSetBkMode = 0x0102,
                     kSetTextColor = 0x0209, kSetTextAlign = 0x012E, kRectangle = 0x041B, kEllipse = 0x0418,
                     kMoveTo = 0x0214, kLineTo = 0x0213, kPolygon = 0x0324, kPolyline = 0x0325, kTextOut = 0x0521,
                     kExtTextOut = 0x0A32, kCreatePen = 0x02FA, kCreateBrush = 0x02FC, kCreateFont = 0x02FB,
                     kSelectObject = 0x012D, kDeleteObject = 0x01F0, kSaveDC = 0x001E, kRestoreDC = 0x0127,
                     kIntersectClipRect = 0x0416, kPie = 0x081A, kStretchDib = 0x0F43, kPolyPolygon = 0x0538,
                     kSetPolyFillMode = 0x0106;
inline std::string Pen(int style, int width, uint32_t color) {
  return Words({style, width, 0}) + Le32(color);
}
inline std::string Brush(int style, uint32_t color, int hatch = 0) { return Le16(style) + Le32(color) + Le16(hatch); }
// A font description: height in logical units, weight, face (at most 31 bytes).
inline std::string Font(int height, int weight, const std::string& face) {
  std::string f = Words({height, 0, 0, 0, weight}) + std::string(8, '\0') + face;
  f.resize(18 + 32, '\0');
  return f;
}
inline std::string Text(const std::string& text, int x, int y) {
  std::string t = text;
  if (t.size() % 2) t += '\0';
  return Le16(static_cast<int>(text.size())) + t + Words({y, x});
}
}  // namespace wmf

// A 24-bit device-independent bitmap (header and bottom-up rows) filled
// by pixel(x, y) -> 0xRRGGBB, y counted from the top.
template <class Pixel>
std::string Dib24(int width, int height, Pixel pixel) {
  std::string dib = Dwords({40, width, height}) + Words({1, 24}) + Dwords({0, 0, 2835, 2835, 0, 0});
  const int stride = (width * 3 + 3) & ~3;
  for (int row = height - 1; row >= 0; --row) {
    std::string line;
    for (int x = 0; x < width; ++x) {
      const uint32_t c = pixel(x, row);
      line += static_cast<char>(c & 0xFF);
      line += static_cast<char>((c >> 8) & 0xFF);
      line += static_cast<char>((c >> 16) & 0xFF);
    }
    line.resize(static_cast<size_t>(stride), '\0');
    dib += line;
  }
  return dib;
}

// An enhanced metafile: the frame in 0.01 mm, a reference device of
// `pixels` per `millimetres`.
class EnhancedBuilder {
 public:
  EnhancedBuilder(int left, int top, int right, int bottom, int device_x = 1000, int device_y = 1000, int mm_x = 250,
                  int mm_y = 250)
      : frame_(Dwords({left, top, right, bottom})), device_(Dwords({device_x, device_y, mm_x, mm_y})) {}
  // One record: the type and its parameter bytes (padded to 4).
  EnhancedBuilder& Add(int type, const std::string& params) {
    std::string p = params;
    while (p.size() % 4) p += '\0';
    records_ += Le32(type) + Le32(static_cast<int64_t>(8 + p.size())) + p;
    ++count_;
    return *this;
  }
  EnhancedBuilder& Add(int type, std::initializer_list<int64_t> values) { return Add(type, Dwords(values)); }
  std::string Bytes() const {
    const std::string eof = Le32(14) + Le32(20) + Dwords({0, 16, 20});
    const std::string header_rest = Le32(0x464D4520) + Le32(0x10000);
    const size_t header_size = 88;
    const size_t total = header_size + records_.size() + eof.size();
    std::string head = Le32(1) + Le32(header_size) + Dwords({0, 0, 0, 0}) + frame_ + header_rest +
                       Le32(static_cast<int64_t>(total)) + Le32(count_ + 2) + Le16(8) + Le16(0) +
                       Dwords({0, 0, 0}) + device_;
    return head + records_ + eof;
  }

 private:
  std::string frame_;
  std::string device_;
  std::string records_;
  int count_ = 0;
};

namespace emf {
inline constexpr int kSetWindowExt = 9, kSetWindowOrg = 10, kSetViewportExt = 11, kSetMapMode = 17,
                     kSetBkMode = 18, kSetTextAlign = 22, kSetTextColor = 24, kMoveTo = 27, kSaveDC = 33,
                     kRestoreDC = 34, kSelectObject = 37, kCreatePen = 38, kCreateBrush = 39, kDeleteObject = 40,
                     kEllipse = 42, kRectangle = 43, kLineTo = 54, kPolygon16 = 86, kPolyline16 = 87,
                     kCreateFont = 82, kExtTextOutW = 84, kExtTextOutA = 83, kStretchDIBits = 81,
                     kIntersectClipRect = 30, kSetWorldTransform = 35, kSetPolyFillMode = 19, kPolyPolygon = 8,
                     kPolyPolygon16 = 91, kPolyBezierTo16 = 88, kPolylineTo16 = 89, kBeginPath = 59,
                     kEndPath = 60, kCloseFigure = 61, kFillPath = 62, kStrokeAndFillPath = 63, kStrokePath = 64,
                     kAbortPath = 68;
// Fill modes.
inline constexpr int kAlternate = 1, kWinding = 2;
inline constexpr int64_t kStock = 0x80000000LL;
inline constexpr int64_t kNullBrush = kStock + 5, kNullPen = kStock + 8;
inline std::string Points16(std::initializer_list<int> xy) {
  return Dwords({0, 0, 0, 0}) + Le32(static_cast<int64_t>(xy.size() / 2)) + Words(xy);
}
// A font description (logical height, weight, face) for slot `slot`.
inline std::string Font(int slot, int height, int weight, const std::u16string& face) {
  std::string f = Dwords({slot, height, 0, 0, 0, weight}) + std::string(8, '\0');
  std::string name;
  for (char16_t c : face) name += Le16(c);
  name.resize(64, '\0');
  return f + name;
}
// A text drawn at (x, y): UTF-16 for the W record, the bytes for the A record.
inline std::string Text(int x, int y, const std::string& units, size_t count) {
  const size_t offset = 8 + 16 + 12 + 8 + 4 + 4 + 4 + 16 + 4;  // record start to the text
  return Dwords({0, 0, 0, 0, 1, 0, 0, x, y, static_cast<int64_t>(count), static_cast<int64_t>(offset), 0, 0, 0,
                 0, 0, 0}) +
         units;
}
// Rings of one shape: the bounds, the counts, then every ring's points
// (x, y), 16-bit or 32-bit.
inline std::string Rings(const std::vector<std::vector<int>>& rings, bool wide) {
  std::string counts, points;
  int64_t total = 0;
  for (const auto& ring : rings) {
    counts += Le32(static_cast<int64_t>(ring.size() / 2));
    total += static_cast<int64_t>(ring.size() / 2);
    for (int v : ring) points += wide ? Le32(v) : Le16(v);
  }
  return Dwords({0, 0, 0, 0, static_cast<int64_t>(rings.size()), total}) + counts + points;
}
// The bounds that filling and stroking a path carry.
inline std::string PathBounds() { return Dwords({0, 0, 0, 0}); }
inline std::string Utf16(const std::u16string& text) {
  std::string s;
  for (char16_t c : text) s += Le16(c);
  return s;
}
}  // namespace emf

}  // namespace testsupport
