// Enumerations and small records shared by the workbook model, the writer
// and the formula compiler.
#pragma once

#include <cstdint>
#include <string>

#include "toolkit/core/colors.h"
#include "toolkit/core/sets.h"
#include "toolkit/core/text.h"

// Horizontal alignment of a range, one byte: the BIFF8 XF alignment codes.
enum TvteHorzAlign : uint8_t {
  vtexlHAlignGeneral = 0,
  vtexlHAlignLeft = 1,
  vtexlHAlignCenter = 2,
  vtexlHAlignRight = 3,
  vtexlHAlignFill = 4,
  vtexlHAlignJustify = 5,
  vtexlHAlignCenterAcrossSelection = 6,
};

// Vertical alignment of a range, one byte: the BIFF8 XF alignment codes.
enum TvteVertAlign : uint8_t {
  vtexlVAlignTop = 0,
  vtexlVAlignCenter = 1,
  vtexlVAlignBottom = 2,
  vtexlVAlignJustify = 3,
};

// Border line styles, one byte: the BIFF8 border line style codes.
enum TvteLineStyle : uint8_t {
  vtelsNone = 0,
  vtelsThin = 1,
  vtelsMedium = 2,
  vtelsDashed = 3,
  vtelsDotted = 4,
  vtelsThick = 5,
  vtelsDouble = 6,
  vtelsHair = 7,
  vtelsMediumDashed = 8,
  vtelsDashDot = 9,
  vtelsMediumDashDot = 10,
  vtelsDashDotDot = 11,
  vtelsMediumDashDotDot = 12,
  vtelsSlantedDashDot = 13,
};

// The six borders of a range.
enum TvteBorderEdge : uint8_t {
  vtexlDiagonalDown = 0,  // top-left to bottom-right
  vtexlDiagonalUp = 1,
  vtexlEdgeBottom = 2,
  vtexlEdgeLeft = 3,
  vtexlEdgeRight = 4,
  vtexlEdgeTop = 5,
};

// Fill patterns of a range (model order; the writer maps them to BIFF8 codes).
enum TvteFillPattern : uint8_t {
  vtefpNone = 0,
  vtefpAutomatic,
  vtefpChecker,
  vtefpCrissCross,
  vtefpDown,
  vtefpGray8,
  vtefpGray16,
  vtefpGray25,
  vtefpGray50,
  vtefpGray75,
  vtefpGrid,
  vtefpHorizontal,
  vtefpLightDown,
  vtefpLightHorizontal,
  vtefpLightUp,
  vtefpLightVertical,
  vtefpSemiGray75,
  vtefpSolid,
  vtefpUp,
  vtefpVertical,
};
inline constexpr int kVteFillPatternCount = 20;

// What the top-left cell of a range holds.
enum TvteCellKind : uint8_t {
  vtecNumber = 0,
  vtecText = 1,
  vtecFormula = 2,
};

// Font styles of a range's font.
enum class TvteFontStyle : uint8_t { Bold, Italic, Underline, StrikeOut };
using TvteFontStyles = TSet<TvteFontStyle>;

// The font of a range: the attributes the writer compares and stores.
struct TvteXLSFont {
  AnsiString Name = "Arial";
  // Size in points.
  int Size = 10;
  TvteFontStyles Style;
  TColor Color = clBlack;
  // The font's character set (1: the system default).
  uint8_t Charset = 1;
  // Pitch and family byte (0: default pitch, any family).
  uint8_t Pitch = 0;

  friend bool operator==(const TvteXLSFont&, const TvteXLSFont&) = default;
};

// A rectangle of cells: 0-based, inclusive bounds.
struct TvteRect {
  int Left = -1;
  int Top = -1;
  int Right = -1;
  int Bottom = -1;

  friend bool operator==(const TvteRect&, const TvteRect&) = default;
};

// What the writer prepares for one range during one save.
struct TvteCellData {
  // Index of the range's cell format (XF record).
  int XF = 0;
  // Index of its text in the shared string table, -1 when it has none.
  int SST = -1;
  // Index of its FONT record (1-based with the gap at 4, as BIFF8 counts).
  int Font = 0;
  // Number of its number format (0: general).
  int Format = 0;
  // Index of its compiled formula's tokens among the writer's, -1 without
  // one (kept apart: a workbook of many cells has few formulas).
  int Formula = -1;
};

// One row of the built-in function table.
struct rvteExcelFunctionInfo {
  // The published name without its dots, each part capitalised ("GetWorkbook").
  const char* Name;
  // The function's number in the BIFF8 function table.
  uint16_t Number;
};
