// Fixed-width integer and IEEE double encoding for binary file formats. Table
// headers, memo blocks, BIFF records and compound files are little-endian;
// some index pages keep their keys big-endian. Bytes go through memcpy, never
// through a cast of an unaligned pointer.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace binary_detail {
inline uint64_t GetLE(const void* p, int width) {
  const auto* b = static_cast<const unsigned char*>(p);
  uint64_t v = 0;
  for (int i = width - 1; i >= 0; --i) v = (v << 8) | b[i];
  return v;
}
inline uint64_t GetBE(const void* p, int width) {
  const auto* b = static_cast<const unsigned char*>(p);
  uint64_t v = 0;
  for (int i = 0; i < width; ++i) v = (v << 8) | b[i];
  return v;
}
inline void PutLE(void* p, uint64_t v, int width) {
  unsigned char b[8];
  for (int i = 0; i < width; ++i) b[i] = static_cast<unsigned char>(v >> (8 * i));
  std::memcpy(p, b, static_cast<size_t>(width));
}
inline void PutBE(void* p, uint64_t v, int width) {
  unsigned char b[8];
  for (int i = 0; i < width; ++i) b[i] = static_cast<unsigned char>(v >> (8 * (width - 1 - i)));
  std::memcpy(p, b, static_cast<size_t>(width));
}
inline void Append(std::string* out, uint64_t v, int width, bool big_endian) {
  char b[8];
  if (big_endian) {
    PutBE(b, v, width);
  } else {
    PutLE(b, v, width);
  }
  out->append(b, static_cast<size_t>(width));
}
}  // namespace binary_detail

// Little-endian reads from a byte pointer (any alignment).
inline uint16_t GetLE16(const void* p) { return static_cast<uint16_t>(binary_detail::GetLE(p, 2)); }
inline uint32_t GetLE32(const void* p) { return static_cast<uint32_t>(binary_detail::GetLE(p, 4)); }
inline uint64_t GetLE64(const void* p) { return binary_detail::GetLE(p, 8); }
// An IEEE 754 double stored little-endian.
inline double GetLEDouble(const void* p) {
  const uint64_t bits = GetLE64(p);
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

// Little-endian writes to a byte pointer.
inline void PutLE16(void* p, uint16_t v) { binary_detail::PutLE(p, v, 2); }
inline void PutLE32(void* p, uint32_t v) { binary_detail::PutLE(p, v, 4); }
inline void PutLE64(void* p, uint64_t v) { binary_detail::PutLE(p, v, 8); }
inline void PutLEDouble(void* p, double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  PutLE64(p, bits);
}

// Little-endian appends to a byte string.
inline void PutLE16(std::string* out, uint16_t v) { binary_detail::Append(out, v, 2, false); }
inline void PutLE32(std::string* out, uint32_t v) { binary_detail::Append(out, v, 4, false); }
inline void PutLE64(std::string* out, uint64_t v) { binary_detail::Append(out, v, 8, false); }
inline void PutLEDouble(std::string* out, double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  PutLE64(out, bits);
}

// Big-endian reads and writes (index keys and page numbers of some index files).
inline uint16_t GetBE16(const void* p) { return static_cast<uint16_t>(binary_detail::GetBE(p, 2)); }
inline uint32_t GetBE32(const void* p) { return static_cast<uint32_t>(binary_detail::GetBE(p, 4)); }
inline uint64_t GetBE64(const void* p) { return binary_detail::GetBE(p, 8); }
inline void PutBE16(void* p, uint16_t v) { binary_detail::PutBE(p, v, 2); }
inline void PutBE32(void* p, uint32_t v) { binary_detail::PutBE(p, v, 4); }
inline void PutBE64(void* p, uint64_t v) { binary_detail::PutBE(p, v, 8); }
inline void PutBE16(std::string* out, uint16_t v) { binary_detail::Append(out, v, 2, true); }
inline void PutBE32(std::string* out, uint32_t v) { binary_detail::Append(out, v, 4, true); }
inline void PutBE64(std::string* out, uint64_t v) { binary_detail::Append(out, v, 8, true); }
