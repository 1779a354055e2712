// JPEG pictures, read and written through libjpeg. Decoded pictures live as
// bitmaps; a picture is compressed again only when it is saved.
#pragma once

#include <memory>
#include <string>

#include "toolkit/core/classes.h"
#include "toolkit/gfx/graphics.h"

class TJPEGImage {
 public:
  TJPEGImage();
  ~TJPEGImage();
  TJPEGImage(const TJPEGImage&) = delete;
  TJPEGImage& operator=(const TJPEGImage&) = delete;

  int Width() const { return bitmap_->Width(); }
  int Height() const { return bitmap_->Height(); }
  bool Empty() const { return bitmap_->Empty(); }
  // 1 (smallest) .. 100 (best) for saving; 90 unless set.
  int CompressionQuality() const { return quality_; }
  void SetCompressionQuality(int value);
  // The picture was stored as shades of grey; saving keeps it so.
  bool Grayscale() const { return grayscale_; }
  void SetGrayscale(bool value) { grayscale_ = value; }

  // Reads a JPEG from the stream's position to its end; raises EInvalidGraphic
  // for anything that is not a whole, readable JPEG and keeps the old picture.
  void LoadFromStream(TStream& stream);
  void LoadFromBytes(const void* data, size_t size);
  // Writes the picture as a baseline JPEG; raises EInvalidGraphic when empty.
  void SaveToStream(TStream& stream) const;
  // Names are UTF-8; a missing file raises EFOpenError, an unwritable one
  // EFCreateError (as TFileStream does).
  void LoadFromFile(const std::string& file_name);
  void SaveToFile(const std::string& file_name) const;

  // Takes the bitmap's picture / gives the picture to a bitmap.
  void Assign(TBitmap& source);
  void AssignTo(TBitmap& target) const;

 private:
  std::unique_ptr<TBitmap> bitmap_;
  int quality_ = 90;
  bool grayscale_ = false;
};

// Whether bytes begin as a JPEG file does (the start-of-image marker).
bool IsJPEGData(const void* data, size_t size);
