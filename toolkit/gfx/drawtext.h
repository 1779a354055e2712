// Formatted text output into a rectangle, with the flags of the classic
// platform's text routine: every grid cell, caption and report measurement
// goes through this one function, on any canvas.
#pragma once

#include "toolkit/gfx/graphics.h"

// Horizontal alignment of each line in the rectangle.
constexpr unsigned DT_LEFT = 0x0;
constexpr unsigned DT_CENTER = 0x1;
constexpr unsigned DT_RIGHT = 0x2;
// Vertical placement; DT_VCENTER and DT_BOTTOM act only with DT_SINGLELINE.
constexpr unsigned DT_TOP = 0x0;
constexpr unsigned DT_VCENTER = 0x4;
constexpr unsigned DT_BOTTOM = 0x8;
// Lines break between words where a word would pass the right edge.
constexpr unsigned DT_WORDBREAK = 0x10;
// One line: line breaks in the text do not break it.
constexpr unsigned DT_SINGLELINE = 0x20;
// Tabs advance to the next multiple of eight average character widths;
// without it tabs are not shown.
constexpr unsigned DT_EXPANDTABS = 0x40;
// Draws outside the rectangle as well.
constexpr unsigned DT_NOCLIP = 0x100;
// Measures only: the rectangle's right and bottom take the text's extent.
constexpr unsigned DT_CALCRECT = 0x400;
// '&' is an ordinary character; otherwise it underlines the next character
// and "&&" shows one '&'.
constexpr unsigned DT_NOPREFIX = 0x800;
// As a multi-line edit: a word wider than the rectangle breaks between
// characters, and a partly visible last line is not shown.
constexpr unsigned DT_EDITCONTROL = 0x2000;
// A line wider than the rectangle ends in "..." so that it fits; with
// DT_EDITCONTROL the last shown line does so as well when lines are left out.
constexpr unsigned DT_END_ELLIPSIS = 0x8000;

// Draws or measures 1251 text in rect with the canvas's font and brush
// (a solid brush fills behind the text). Returns the height of the text; with
// DT_SINGLELINE and DT_VCENTER or DT_BOTTOM, the distance from rect's top to
// the bottom of the text. An empty text has height 0.
int DrawText(TCanvas& canvas, const AnsiString& text, TRect& rect, unsigned flags);
