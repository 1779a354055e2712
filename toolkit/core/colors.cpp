#include "toolkit/core/colors.h"

#include "toolkit/core/colornames.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"

#include <array>

namespace {

struct NamedColor {
  TColor value;
  const char* name;
};

constexpr NamedColor kNamedColors[] = {
    {clBlack, "clBlack"},
    {clMaroon, "clMaroon"},
    {clGreen, "clGreen"},
    {clOlive, "clOlive"},
    {clNavy, "clNavy"},
    {clPurple, "clPurple"},
    {clTeal, "clTeal"},
    {clGray, "clGray"},
    {clSilver, "clSilver"},
    {clRed, "clRed"},
    {clLime, "clLime"},
    {clYellow, "clYellow"},
    {clBlue, "clBlue"},
    {clFuchsia, "clFuchsia"},
    {clAqua, "clAqua"},
    {clWhite, "clWhite"},
    {clMoneyGreen, "clMoneyGreen"},
    {clSkyBlue, "clSkyBlue"},
    {clCream, "clCream"},
    {clMedGray, "clMedGray"},
    {clActiveBorder, "clActiveBorder"},
    {clActiveCaption, "clActiveCaption"},
    {clAppWorkSpace, "clAppWorkSpace"},
    {clBackground, "clBackground"},
    {clBtnFace, "clBtnFace"},
    {clBtnHighlight, "clBtnHighlight"},
    {clBtnShadow, "clBtnShadow"},
    {clBtnText, "clBtnText"},
    {clCaptionText, "clCaptionText"},
    {clDefault, "clDefault"},
    {clGrayText, "clGrayText"},
    {clHighlight, "clHighlight"},
    {clHighlightText, "clHighlightText"},
    {clInactiveBorder, "clInactiveBorder"},
    {clInactiveCaption, "clInactiveCaption"},
    {clInactiveCaptionText, "clInactiveCaptionText"},
    {clInfoBk, "clInfoBk"},
    {clInfoText, "clInfoText"},
    {clMenu, "clMenu"},
    {clMenuText, "clMenuText"},
    {clNone, "clNone"},
    {clScrollBar, "clScrollBar"},
    {cl3DDkShadow, "cl3DDkShadow"},
    {cl3DLight, "cl3DLight"},
    {clWindow, "clWindow"},
    {clWindowFrame, "clWindowFrame"},
    {clWindowText, "clWindowText"},
};

}  // namespace

bool ColorToIdent(TColor color, AnsiString& ident) {
  for (const NamedColor& c : kNamedColors) {
    if (c.value == color) {
      ident = c.name;
      return true;
    }
  }
  return false;
}

bool IdentToColor(const AnsiString& ident, TColor& color) {
  for (const NamedColor& c : kNamedColors) {
    if (SameText(ident, c.name)) {
      color = c.value;
      return true;
    }
  }
  return false;
}

void GetColorValues(const std::function<void(const AnsiString&)>& proc) {
  for (const NamedColor& c : kNamedColors) proc(c.name);
}

AnsiString ColorToString(TColor color) {
  AnsiString ident;
  if (ColorToIdent(color, ident)) return ident;
  return "$" + IntToHex(static_cast<uint32_t>(color), 8);
}

TColor StringToColor(const AnsiString& text) {
  TColor color = 0;
  if (IdentToColor(text, color)) return color;
  // "$FF000005" is above the signed range but is the system colour's number.
  int64_t value = StrToInt64(text);
  if (value < INT32_MIN || value > static_cast<int64_t>(UINT32_MAX)) {
    throw EConvertError(Format("'%s' is not a valid integer value", {text}));
  }
  return static_cast<TColor>(static_cast<uint32_t>(value));
}

// ---- RGB values -------------------------------------------------------------

namespace {

// The classic desktop scheme, indexed by the system colour number (RGB).
constexpr std::array<TColor, 31> kSysColors = {
    RGB(212, 208, 200),  // 0 scroll bar
    RGB(58, 110, 165),   // 1 desktop
    RGB(10, 36, 106),    // 2 active caption
    RGB(128, 128, 128),  // 3 inactive caption
    RGB(212, 208, 200),  // 4 menu
    RGB(255, 255, 255),  // 5 window
    RGB(0, 0, 0),        // 6 window frame
    RGB(0, 0, 0),        // 7 menu text
    RGB(0, 0, 0),        // 8 window text
    RGB(255, 255, 255),  // 9 caption text
    RGB(212, 208, 200),  // 10 active border
    RGB(212, 208, 200),  // 11 inactive border
    RGB(128, 128, 128),  // 12 application work space
    RGB(10, 36, 106),    // 13 highlight
    RGB(255, 255, 255),  // 14 highlight text
    RGB(212, 208, 200),  // 15 button face
    RGB(128, 128, 128),  // 16 button shadow
    RGB(128, 128, 128),  // 17 grey text
    RGB(0, 0, 0),        // 18 button text
    RGB(212, 208, 200),  // 19 inactive caption text
    RGB(255, 255, 255),  // 20 button highlight
    RGB(64, 64, 64),     // 21 3D dark shadow
    RGB(212, 208, 200),  // 22 3D light
    RGB(0, 0, 0),        // 23 tool tip text
    RGB(255, 255, 225),  // 24 tool tip background
    RGB(181, 181, 181),  // 25 (unnamed)
    RGB(0, 0, 128),      // 26 hot-tracked item
    RGB(166, 202, 240),  // 27 active caption gradient
    RGB(192, 192, 192),  // 28 inactive caption gradient
    RGB(10, 36, 106),    // 29 menu highlight
    RGB(212, 208, 200),  // 30 menu bar
};

}  // namespace

TColor GetSysColor(int index) {
  if (index < 0 || index >= int(kSysColors.size())) return 0;
  return kSysColors[size_t(index)];
}

TColor ColorToRGB(TColor color) {
  if (color < 0) return GetSysColor(color & 0xFF);
  return color;
}
