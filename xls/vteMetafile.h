// Windows metafiles of pictures, made without a screen or a graphics library:
// the IMDATA record of a picture on a sheet holds one.
#pragma once

#include <string>

#include "xls/vteExcel.h"

// The bytes of a Windows metafile (a memory metafile: its header, the window
// set to the picture's size, the picture drawn at (0, 0) in its own size as a
// 24-bit device-independent bitmap, the end record). The picture must hold
// Width x Height pixels, each side 1 to 32767.
std::string PictureToMetafile(const TvtePicture& picture);
