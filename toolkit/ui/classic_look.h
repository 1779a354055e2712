// The look of a classic desktop program: the GUI library's built-in "Windows"
// style, a palette from the classic system colour table, the default GUI font
// (8 pt "MS Sans Serif", resolved as TFont resolves it) and embossed
// disabled images. TApplication::Initialize applies it once, so every window
// and message box of every program and test wears it. Only the toolkit's own
// units and GUI tests include this header.
#pragma once

#include <QFont>
#include <QPalette>
#include <QPixmap>

// The palette made of the system colours: faces, texts, the highlight, the
// 3D edges, tool tips and grey text for disabled controls.
QPalette ClassicPalette();
// The palette of menus and the menu bar: the menu colours of the table.
QPalette ClassicMenuPalette();
// The default GUI font.
QFont ClassicFont();
// The classic disabled image: where the image shows a dark part, a
// button-highlight copy offset by one pixel right and down lies under a
// button-shadow silhouette; light and transparent parts drop out.
QPixmap EmbossedPixmap(const QPixmap& source);
// Sets the style, palettes and font on the running application object.
void ApplyClassicLook();
