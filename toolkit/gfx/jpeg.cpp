#include "toolkit/gfx/jpeg.h"

#include <QImage>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>
// After jpeglib.h, which it needs.
#include <jerror.h>


namespace {

// The largest picture decoded: a corrupt header must not ask for gigabytes.
constexpr long long kMaxPixels = 64LL * 1024 * 1024;

// libjpeg reports a fatal error by calling error_exit, which must not
// return; it jumps back to the call that began the work, and the caller
// raises the toolkit's error from there (no C++ object lives across the jump).
struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  int code;
};

extern "C" void JumpOnError(j_common_ptr info) {
  auto* manager = reinterpret_cast<ErrorManager*>(info->err);
  manager->code = info->err->msg_code;
  std::longjmp(manager->jump, 1);
}

extern "C" void KeepQuiet(j_common_ptr) {}

void InstallErrors(ErrorManager& manager, jpeg_error_mgr* pub) {
  jpeg_std_error(pub);
  pub->error_exit = JumpOnError;
  pub->output_message = KeepQuiet;
  manager.code = 0;
}

[[noreturn]] void Fail(int code) {
  throw EInvalidGraphic("JPEG error #" + std::to_string(code));
}

// Decodes into image (RGB32); returns 0 or a libjpeg message code (or -1 for
// a picture too large to hold). What changes after the jump point lives in
// the caller's frame (image, row), so a jump back leaves nothing stale.
int Decode(const unsigned char* data, size_t size, QImage& image, bool& grayscale,
           std::vector<unsigned char>& row) {
  jpeg_decompress_struct cinfo;
  ErrorManager errors;
  cinfo.err = &errors.pub;
  InstallErrors(errors, &errors.pub);
  if (setjmp(errors.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return errors.code ? errors.code : -1;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  const bool inverted = cinfo.saw_Adobe_marker;
  grayscale = cinfo.jpeg_color_space == JCS_GRAYSCALE;
  cinfo.out_color_space = cmyk ? JCS_CMYK : grayscale ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_start_decompress(&cinfo);
  const long long pixels = (long long)cinfo.output_width * cinfo.output_height;
  if (pixels <= 0 || pixels > kMaxPixels) {
    jpeg_destroy_decompress(&cinfo);
    return -1;
  }
  image = QImage(int(cinfo.output_width), int(cinfo.output_height), QImage::Format_RGB32);
  if (image.isNull()) {
    jpeg_destroy_decompress(&cinfo);
    return -1;
  }
  row.resize(size_t(cinfo.output_width) * size_t(cinfo.output_components));
  while (cinfo.output_scanline < cinfo.output_height) {
    const int y = int(cinfo.output_scanline);
    JSAMPROW rows[1] = {row.data()};
    jpeg_read_scanlines(&cinfo, rows, 1);
    auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (unsigned x = 0; x < cinfo.output_width; ++x) {
      const unsigned char* p = row.data() + size_t(x) * size_t(cinfo.output_components);
      if (grayscale) {
        out[x] = qRgb(p[0], p[0], p[0]);
      } else if (cmyk) {
        // Adobe writes CMYK inverted; others plain.
        const int c = inverted ? p[0] : 255 - p[0], m = inverted ? p[1] : 255 - p[1];
        const int yy = inverted ? p[2] : 255 - p[2], k = inverted ? p[3] : 255 - p[3];
        out[x] = qRgb(c * k / 255, m * k / 255, yy * k / 255);
      } else {
        out[x] = qRgb(p[0], p[1], p[2]);
      }
    }
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return 0;
}

// Encodes image; the bytes are libjpeg's, freed by the caller with free().
int Encode(const QImage& image, int quality, bool grayscale, unsigned char** bytes, unsigned long* size) {
  jpeg_compress_struct cinfo;
  ErrorManager errors;
  cinfo.err = &errors.pub;
  InstallErrors(errors, &errors.pub);
  const int components = grayscale ? 1 : 3;
  std::vector<unsigned char> row(size_t(image.width()) * size_t(components));
  if (setjmp(errors.jump)) {
    jpeg_destroy_compress(&cinfo);
    return errors.code ? errors.code : -1;
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, bytes, size);
  cinfo.image_width = JDIMENSION(image.width());
  cinfo.image_height = JDIMENSION(image.height());
  cinfo.input_components = components;
  cinfo.in_color_space = grayscale ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(int(cinfo.next_scanline)));
    for (int x = 0; x < image.width(); ++x) {
      if (grayscale) {
        row[size_t(x)] = static_cast<unsigned char>(qGray(in[x]));
      } else {
        row[size_t(x) * 3] = static_cast<unsigned char>(qRed(in[x]));
        row[size_t(x) * 3 + 1] = static_cast<unsigned char>(qGreen(in[x]));
        row[size_t(x) * 3 + 2] = static_cast<unsigned char>(qBlue(in[x]));
      }
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return 0;
}

}  // namespace

bool IsJPEGData(const void* data, size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  return size >= 3 && p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF;
}

TJPEGImage::TJPEGImage() : bitmap_(std::make_unique<TBitmap>()) {}
TJPEGImage::~TJPEGImage() = default;

void TJPEGImage::SetCompressionQuality(int value) { quality_ = std::clamp(value, 1, 100); }

void TJPEGImage::LoadFromBytes(const void* data, size_t size) {
  if (!IsJPEGData(data, size)) Fail(JERR_NO_SOI);
  QImage image;
  bool grayscale = false;
  std::vector<unsigned char> row;
  const int code = Decode(static_cast<const unsigned char*>(data), size, image, grayscale, row);
  if (code != 0) Fail(code);
  bitmap_->SetImage(image);
  grayscale_ = grayscale;
}

void TJPEGImage::LoadFromStream(TStream& stream) {
  const int64_t rest = stream.Size() - stream.Position();
  std::vector<char> bytes(size_t(std::max<int64_t>(0, rest)));
  if (!bytes.empty()) stream.ReadBuffer(bytes.data(), int64_t(bytes.size()));
  LoadFromBytes(bytes.data(), bytes.size());
}

void TJPEGImage::SaveToStream(TStream& stream) const {
  if (bitmap_->Empty()) Fail(JERR_EMPTY_IMAGE);
  unsigned char* bytes = nullptr;
  unsigned long size = 0;
  const int code = Encode(bitmap_->Image(), quality_, grayscale_, &bytes, &size);
  // The buffer is libjpeg's, whether or not it finished.
  const std::unique_ptr<unsigned char, decltype(&std::free)> owned(bytes, &std::free);
  if (code != 0) Fail(code);
  stream.WriteBuffer(bytes, int64_t(size));
}

void TJPEGImage::LoadFromFile(const std::string& file_name) {
  TFileStream file(file_name, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(file);
}

void TJPEGImage::SaveToFile(const std::string& file_name) const {
  // Compressed first, so that a failure leaves an existing file alone.
  TMemoryStream memory;
  SaveToStream(memory);
  memory.SaveToFile(file_name);
}

void TJPEGImage::Assign(TBitmap& source) { bitmap_->Assign(source); }

void TJPEGImage::AssignTo(TBitmap& target) const { target.Assign(*bitmap_); }
