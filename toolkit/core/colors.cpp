#include "toolkit/core/colors.h"

#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"

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
