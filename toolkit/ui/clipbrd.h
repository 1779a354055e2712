// Pictures on the system clipboard (texts are in toolkit/ui/maskedit.h).
#pragma once

#include "toolkit/gfx/graphics.h"

// Whether the clipboard holds a picture.
bool ClipboardHasBitmap();
// Copies the clipboard's picture into bitmap; false (bitmap unchanged) when
// the clipboard holds none.
bool ClipboardBitmap(TBitmap& bitmap);
// Puts a copy of bitmap on the clipboard.
void SetClipboardBitmap(TBitmap& bitmap);
