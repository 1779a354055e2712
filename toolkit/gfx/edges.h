// Three-dimensional edges, frames and the small controls (push buttons,
// check boxes, scroll arrows) drawn pixel by pixel in the classic system
// colours, so that they look the same under every desktop style.
#pragma once

#include "toolkit/gfx/graphics.h"

// The edge layers: outer and inner, raised or sunken.
inline constexpr unsigned BDR_RAISEDOUTER = 0x1, BDR_SUNKENOUTER = 0x2, BDR_RAISEDINNER = 0x4,
                          BDR_SUNKENINNER = 0x8, BDR_OUTER = 0x3, BDR_INNER = 0xC, BDR_RAISED = 0x5,
                          BDR_SUNKEN = 0xA;
inline constexpr unsigned EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER,
                          EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER,
                          EDGE_ETCHED = BDR_SUNKENOUTER | BDR_RAISEDINNER,
                          EDGE_BUMP = BDR_RAISEDOUTER | BDR_SUNKENINNER;
// Which sides, and how: BF_MIDDLE fills the inside with the face colour,
// BF_ADJUST leaves the inside in the rectangle, BF_FLAT and BF_MONO draw
// flat (shadow and face) or mono (frame and window) edges.
inline constexpr unsigned BF_LEFT = 0x1, BF_TOP = 0x2, BF_RIGHT = 0x4, BF_BOTTOM = 0x8, BF_TOPLEFT = 0x3,
                          BF_BOTTOMRIGHT = 0xC, BF_RECT = 0xF, BF_MIDDLE = 0x800, BF_SOFT = 0x1000,
                          BF_ADJUST = 0x2000, BF_FLAT = 0x4000, BF_MONO = 0x8000;

// Draws the edge layers on the sides flags names: the top and left sides in
// the layer's light colour, the bottom and right (with the top-right and
// bottom-left corners) in its dark one. False for an empty rectangle.
bool DrawEdge(TCanvas& canvas, TRect& rect, unsigned edge, unsigned flags);

inline constexpr unsigned DFC_CAPTION = 1, DFC_MENU = 2, DFC_SCROLL = 3, DFC_BUTTON = 4;
inline constexpr unsigned DFCS_BUTTONCHECK = 0x0, DFCS_BUTTON3STATE = 0x8, DFCS_BUTTONPUSH = 0x10,
                          DFCS_SCROLLUP = 0x0, DFCS_SCROLLDOWN = 0x1, DFCS_SCROLLLEFT = 0x2, DFCS_SCROLLRIGHT = 0x3,
                          DFCS_SCROLLCOMBOBOX = 0x5, DFCS_INACTIVE = 0x100, DFCS_PUSHED = 0x200,
                          DFCS_CHECKED = 0x400, DFCS_ADJUSTRECT = 0x2000, DFCS_FLAT = 0x4000, DFCS_MONO = 0x8000;

// Draws a push button face, a check box or a scroll arrow button filling
// rect (a check box: the largest square centred in it; a checked three-state
// box shows its mark greyed on the face colour). With
// DFCS_ADJUSTRECT the rectangle becomes the face inside the frame. False for
// kinds not drawn here (captions, menus).
bool DrawFrameControl(TCanvas& canvas, TRect& rect, unsigned type, unsigned state);

// width one-pixel frames: top and left in top_color, bottom and right in
// bottom_color, each inside the last; rect ends up inside them.
void Frame3D(TCanvas& canvas, TRect& rect, TColor top_color, TColor bottom_color, int width);
