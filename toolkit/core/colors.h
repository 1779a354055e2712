// The toolkit's colour number and its named values, without any graphics
// library: RGB in the low three bytes (red lowest), system colours as
// 0xFF0000nn (nn is the system colour index), clNone and clDefault as markers.
#pragma once

#include <cstdint>

#include "toolkit/core/exceptions.h"

using TColor = int32_t;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clOlive = 0x008080;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clPurple = 0x800080;
inline constexpr TColor clTeal = 0x808000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clYellow = 0x00FFFF;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clFuchsia = 0xFF00FF;
inline constexpr TColor clAqua = 0xFFFF00;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clMoneyGreen = 0xC0DCC0;
inline constexpr TColor clSkyBlue = 0xF0CAA6;
inline constexpr TColor clCream = 0xF0FBFF;
inline constexpr TColor clMedGray = 0xA4A0A0;
// "Not set".
inline constexpr TColor clNone = 0x1FFFFFFF;
// "Whatever the control's default is".
inline constexpr TColor clDefault = 0x20000000;

// System colours: the high byte 0xFF marks an index into the system colour table.
inline constexpr TColor clSystemColor = static_cast<TColor>(0xFF000000u);
inline constexpr TColor clScrollBar = clSystemColor | 0x00;
inline constexpr TColor clBackground = clSystemColor | 0x01;
inline constexpr TColor clActiveCaption = clSystemColor | 0x02;
inline constexpr TColor clInactiveCaption = clSystemColor | 0x03;
inline constexpr TColor clMenu = clSystemColor | 0x04;
inline constexpr TColor clWindow = clSystemColor | 0x05;
inline constexpr TColor clWindowFrame = clSystemColor | 0x06;
inline constexpr TColor clMenuText = clSystemColor | 0x07;
inline constexpr TColor clWindowText = clSystemColor | 0x08;
inline constexpr TColor clCaptionText = clSystemColor | 0x09;
inline constexpr TColor clActiveBorder = clSystemColor | 0x0A;
inline constexpr TColor clInactiveBorder = clSystemColor | 0x0B;
inline constexpr TColor clAppWorkSpace = clSystemColor | 0x0C;
inline constexpr TColor clHighlight = clSystemColor | 0x0D;
inline constexpr TColor clHighlightText = clSystemColor | 0x0E;
inline constexpr TColor clBtnFace = clSystemColor | 0x0F;
inline constexpr TColor clBtnShadow = clSystemColor | 0x10;
inline constexpr TColor clGrayText = clSystemColor | 0x11;
inline constexpr TColor clBtnText = clSystemColor | 0x12;
inline constexpr TColor clInactiveCaptionText = clSystemColor | 0x13;
inline constexpr TColor clBtnHighlight = clSystemColor | 0x14;
inline constexpr TColor cl3DDkShadow = clSystemColor | 0x15;
inline constexpr TColor cl3DLight = clSystemColor | 0x16;
inline constexpr TColor clInfoText = clSystemColor | 0x17;
inline constexpr TColor clInfoBk = clSystemColor | 0x18;

// The identifier of a named colour ("clRed"); false when the colour has none.
bool ColorToIdent(TColor color, AnsiString& ident);
// The colour of an identifier, compared without case; false when unknown.
bool IdentToColor(const AnsiString& ident, TColor& color);
// The identifier, or "$" and eight upper-case hexadecimal digits ("$00123456").
AnsiString ColorToString(TColor color);
// An identifier or an integer in decimal or "$" hexadecimal; anything else
// raises EConvertError "'%s' is not a valid integer value".
TColor StringToColor(const AnsiString& text);

// ---- RGB values -------------------------------------------------------------

// The colour of a system colour index as the classic desktop scheme gives it
// (0x00BBGGRR); 0 for an index the table lacks. Fixed, so that screens and
// printouts look the same on every desktop theme.
TColor GetSysColor(int index);
// The RGB value of any colour: system colours through the table above, the
// rest as they are.
TColor ColorToRGB(TColor color);
constexpr int GetRValue(TColor rgb) { return rgb & 0xFF; }
constexpr int GetGValue(TColor rgb) { return (rgb >> 8) & 0xFF; }
constexpr int GetBValue(TColor rgb) { return (rgb >> 16) & 0xFF; }
constexpr TColor RGB(int r, int g, int b) { return TColor((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16)); }
