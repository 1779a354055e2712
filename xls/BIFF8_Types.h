// The BIFF8 workbook format as this writer produces it.
//
// A workbook file is an OLE compound file whose root storage holds one stream
// named "Workbook". The stream is a sequence of records; each record is a
// 16-bit record number, a 16-bit length and that many bytes of data, all
// numbers little-endian. A record carries at most 8224 bytes of data: longer
// data continues in CONTINUE records that follow directly. (The shared string
// table splits its strings at character boundaries and repeats the option byte
// at the start of a CONTINUE that goes on inside a string.)
//
// The stream holds substreams, each opened by BOF and closed by EOF: first the
// workbook globals (fonts, number formats, cell formats (XF), styles, the
// palette, one BOUNDSHEET per sheet holding the stream position of the
// sheet's BOF, the external sheet references of formulas, and the shared
// string table SST with its index EXTSST), then one substream per sheet.
//
// A sheet substream holds its settings, then its cells in blocks of at most 32
// rows: the ROW records of the block, the cell records of those rows, and a
// DBCELL record giving the offsets from the block's first ROW record to the
// first cell of each row. The INDEX record near the sheet's start holds the
// stream position of every DBCELL. Then come WINDOW2, SELECTION and the merged
// areas (MERGEDCELLS, at most 1024 areas per record).
//
// Texts are UTF-16LE with a character count and an option byte (1:
// uncompressed 16-bit characters). Cell formats refer to fonts by index
// (index 4 does not exist), to number formats by number (below 164 the format
// reserves them for built-in formats) and to colours by palette index (8 to 63
// are the 56 palette entries, 64 and above system colours). A sheet has at
// most 65536 rows and 256 columns; a cell text holds at most 32767 characters.
#pragma once

#include <cassert>
#include <cstdint>
#include <string>

#include "toolkit/core/binary.h"
#include "toolkit/core/colors.h"

namespace biff8 {

// ---- Record numbers ------------------------------------------------------
inline constexpr uint16_t kBOF = 0x0809;
inline constexpr uint16_t kEOF = 0x000A;
inline constexpr uint16_t kCONTINUE = 0x003C;
inline constexpr uint16_t kINTERFACEHDR = 0x00E1;
inline constexpr uint16_t kMMS = 0x00C1;
inline constexpr uint16_t kINTERFACEEND = 0x00E2;
inline constexpr uint16_t kWRITEACCESS = 0x005C;
inline constexpr uint16_t kCODEPAGE = 0x0042;
inline constexpr uint16_t kDSF = 0x0161;
inline constexpr uint16_t kEXCEL9FILE = 0x01C0;
inline constexpr uint16_t kTABID = 0x013D;
inline constexpr uint16_t kFNGROUPCOUNT = 0x009C;
inline constexpr uint16_t kWINDOWPROTECT = 0x0019;
inline constexpr uint16_t kPROTECT = 0x0012;
inline constexpr uint16_t kPASSWORD = 0x0013;
inline constexpr uint16_t kPROT4REV = 0x01AF;
inline constexpr uint16_t kPROT4REVPASS = 0x01BC;
inline constexpr uint16_t kWINDOW1 = 0x003D;
inline constexpr uint16_t kBACKUP = 0x0040;
inline constexpr uint16_t kHIDEOBJ = 0x008D;
inline constexpr uint16_t kDATEMODE = 0x0022;
inline constexpr uint16_t kPRECISION = 0x000E;
inline constexpr uint16_t kREFRESHALL = 0x01B7;
inline constexpr uint16_t kBOOKBOOL = 0x00DA;
inline constexpr uint16_t kFONT = 0x0031;
inline constexpr uint16_t kFORMAT = 0x041E;
inline constexpr uint16_t kXF = 0x00E0;
inline constexpr uint16_t kSTYLE = 0x0293;
inline constexpr uint16_t kPALETTE = 0x0092;
inline constexpr uint16_t kUSESELFS = 0x0160;
inline constexpr uint16_t kBOUNDSHEET = 0x0085;
inline constexpr uint16_t kCOUNTRY = 0x008C;
inline constexpr uint16_t kSUPBOOK = 0x01AE;
inline constexpr uint16_t kEXTERNSHEET = 0x0017;
inline constexpr uint16_t kSST = 0x00FC;
inline constexpr uint16_t kEXTSST = 0x00FF;
inline constexpr uint16_t kINDEX = 0x020B;
inline constexpr uint16_t kCALCMODE = 0x000D;
inline constexpr uint16_t kCALCCOUNT = 0x000C;
inline constexpr uint16_t kREFMODE = 0x000F;
inline constexpr uint16_t kITERATION = 0x0011;
inline constexpr uint16_t kDELTA = 0x0010;
inline constexpr uint16_t kSAVERECALC = 0x005F;
inline constexpr uint16_t kPRINTHEADERS = 0x002A;
inline constexpr uint16_t kPRINTGRIDLINES = 0x002B;
inline constexpr uint16_t kGRIDSET = 0x0082;
inline constexpr uint16_t kGUTS = 0x0080;
inline constexpr uint16_t kDEFAULTROWHEIGHT = 0x0225;
inline constexpr uint16_t kHORIZONTALPAGEBREAKS = 0x001B;
inline constexpr uint16_t kWSBOOL = 0x0081;
inline constexpr uint16_t kHEADER = 0x0014;
inline constexpr uint16_t kFOOTER = 0x0015;
inline constexpr uint16_t kHCENTER = 0x0083;
inline constexpr uint16_t kVCENTER = 0x0084;
inline constexpr uint16_t kLEFTMARGIN = 0x0026;
inline constexpr uint16_t kRIGHTMARGIN = 0x0027;
inline constexpr uint16_t kTOPMARGIN = 0x0028;
inline constexpr uint16_t kBOTTOMMARGIN = 0x0029;
inline constexpr uint16_t kSETUP = 0x00A1;
inline constexpr uint16_t kDEFCOLWIDTH = 0x0055;
inline constexpr uint16_t kCOLINFO = 0x007D;
inline constexpr uint16_t kDIMENSIONS = 0x0200;
inline constexpr uint16_t kROW = 0x0208;
inline constexpr uint16_t kDBCELL = 0x00D7;
inline constexpr uint16_t kNUMBER = 0x0203;
inline constexpr uint16_t kLABELSST = 0x00FD;
inline constexpr uint16_t kFORMULA = 0x0006;
inline constexpr uint16_t kBLANK = 0x0201;
inline constexpr uint16_t kMULBLANK = 0x00BE;
inline constexpr uint16_t kWINDOW2 = 0x023E;
inline constexpr uint16_t kSELECTION = 0x001D;
inline constexpr uint16_t kMERGEDCELLS = 0x00E5;
inline constexpr uint16_t kOBJ = 0x005D;
inline constexpr uint16_t kIMDATA = 0x007F;

// ---- Record fields -------------------------------------------------------
// BOF: the format's version (also the lowest version the globals need), the
// kind of substream, and the build and year of the application the file
// says wrote it (build 3515, 1996).
inline constexpr uint16_t kBiffVersion8 = 0x0600;
inline constexpr uint16_t kSubstreamGlobals = 0x0005;
inline constexpr uint16_t kSubstreamWorksheet = 0x0010;
inline constexpr uint16_t kBofBuild = 0x0DBB;
inline constexpr uint16_t kBofYear = 0x07CC;
// The option byte of a text: 16-bit characters.
inline constexpr uint8_t kTextUncompressed = 0x01;
// WINDOW1 options: horizontal and vertical scroll bars, sheet tabs.
inline constexpr uint16_t kWindow1ScrollBarsAndTabs = 0x0038;
// FONT option bits (boldness travels in the weight), and the weights this
// writer gives bold and regular text.
inline constexpr uint16_t kFontItalic = 0x0002;
inline constexpr uint16_t kFontStruckOut = 0x0008;
inline constexpr uint16_t kFontWeightBold = 1000;
inline constexpr uint16_t kFontWeightRegular = 100;
// XF: the protection word of a cell format (locked), the alignment byte's
// wrap bit, the used-attribute flags (all taken from this format) with the
// merge bit, and the diagonal-line flags of the border word.
inline constexpr uint16_t kXfLocked = 0x0001;
inline constexpr uint8_t kXfWrapText = 0x08;
inline constexpr uint16_t kXfUsedAttributes = 0x7C00;
inline constexpr uint16_t kXfMergeCells = 0x0020;
inline constexpr uint16_t kXfDiagonalDown = 0x4000;
inline constexpr uint16_t kXfDiagonalUp = 0x8000;
// SUPBOOK: the marker that the book referred to is this workbook, and the
// first character of an encoded name of another book (a file name follows).
inline constexpr uint16_t kSupbookSelf = 0x0401;
inline constexpr uint16_t kEncodedFileName = 0x0001;
// FORMULA options: calculate again on every load.
inline constexpr uint16_t kFormulaAlwaysCalc = 0x0001;
// DEFAULTROWHEIGHT and ROW: the height in twips of a row nobody sized, and
// the ROW option bit of a row whose height is its own.
inline constexpr uint16_t kDefaultRowHeight = 255;
inline constexpr uint16_t kRowOwnHeight = 0x0040;
// WSBOOL: automatic page breaks shown, summary rows below and columns to the
// right of their details, outline symbols shown.
inline constexpr uint16_t kWsBoolDefault = 0x04C1;
// SETUP option bits.
inline constexpr uint16_t kSetupOverThenDown = 0x0001;
inline constexpr uint16_t kSetupPortrait = 0x0002;
inline constexpr uint16_t kSetupBlackAndWhite = 0x0008;
inline constexpr uint16_t kSetupDraft = 0x0010;
inline constexpr uint16_t kSetupNotes = 0x0020;
inline constexpr uint16_t kSetupUseStartPage = 0x0080;
// WINDOW2 options: gridlines, row and column headers, zeros, the automatic
// grid colour, outline symbols, the sheet shown; and the bit of the selected
// sheet.
inline constexpr uint16_t kWindow2Shown = 0x04B6;
inline constexpr uint16_t kWindow2Selected = 0x0200;
// SELECTION: the pane of a sheet without splits (top left).
inline constexpr uint8_t kPaneTopLeft = 3;
// OBJ of a picture: its 60 bytes, the object type, the option flags
// (locked, printable, sized with its cells), the fill pattern (solid) and the
// picture's format; IMDATA: a Windows metafile made on Windows.
inline constexpr int kObjPictureSize = 60;
inline constexpr uint16_t kObjPicture = 8;
inline constexpr uint16_t kObjPictureOptions = 0x0614;
inline constexpr uint8_t kObjFillSolid = 1;
inline constexpr uint16_t kImageWindowsMetafile = 2;
inline constexpr uint16_t kImageEnvironmentWindows = 1;
// Picture anchors: the parts of a column's width and of a row's height an
// offset counts in.
inline constexpr int kColumnOffsetUnits = 1024;
inline constexpr int kRowOffsetUnits = 256;

// ---- Formula tokens ------------------------------------------------------
inline constexpr uint8_t tAdd = 0x03;
inline constexpr uint8_t tSub = 0x04;
inline constexpr uint8_t tMul = 0x05;
inline constexpr uint8_t tDiv = 0x06;
inline constexpr uint8_t tPower = 0x07;
inline constexpr uint8_t tConcat = 0x08;
inline constexpr uint8_t tLT = 0x09;
inline constexpr uint8_t tLE = 0x0A;
inline constexpr uint8_t tEQ = 0x0B;
inline constexpr uint8_t tGE = 0x0C;
inline constexpr uint8_t tGT = 0x0D;
inline constexpr uint8_t tNE = 0x0E;
inline constexpr uint8_t tUplus = 0x12;
inline constexpr uint8_t tUminus = 0x13;
inline constexpr uint8_t tPercent = 0x14;
inline constexpr uint8_t tParen = 0x15;
inline constexpr uint8_t tMissArg = 0x16;
inline constexpr uint8_t tStr = 0x17;
inline constexpr uint8_t tInt = 0x1E;
inline constexpr uint8_t tNum = 0x1F;
inline constexpr uint8_t tArea = 0x25;
inline constexpr uint8_t tArea3d = 0x3B;
inline constexpr uint8_t tFuncVarV = 0x42;
inline constexpr uint8_t tRefV = 0x44;
inline constexpr uint8_t tRef3dV = 0x5A;

// Flags of a reference's column word.
inline constexpr uint16_t kColumnRelative = 0x4000;
inline constexpr uint16_t kRowRelative = 0x8000;

// ---- Limits --------------------------------------------------------------
// Data bytes of one record; more goes into CONTINUE records.
inline constexpr int kMaxRecordData = 8224;

// ---- Seams of the stream being built -------------------------------------
// The writer builds a stream in memory and fills some fields only once what
// they point at is written. These are its only writes into bytes already
// written.

// A 32-bit stream offset written into the bytes at `at` (a BOUNDSHEET's
// position of its sheet, an INDEX's DBCELL positions): the place lies
// inside the bytes written, and the offset points no further than their end.
inline void PatchStreamOffset(std::string& data, size_t at, uint32_t value, [[maybe_unused]] int64_t base) {
  assert(at <= data.size() && data.size() - at >= 4 && "a stream offset patched outside the bytes written");
  assert(value >= base && value <= base + int64_t(data.size()) && "a stream offset beyond the bytes written");
  PutLE32(&data[at], value);
}

// Ends the record whose header begins at `record`: its length field takes
// the bytes written after the header, at most kMaxRecordData.
inline void CloseRecordAt(std::string& data, size_t record) {
  assert(record <= data.size() && data.size() - record >= 4 && "a record closed before its header was written");
  const size_t length = data.size() - record - 4;
  assert(length <= size_t(kMaxRecordData) && "a record longer than a record may be");
  PutLE16(&data[record + 2], uint16_t(length));
}
inline constexpr int kMaxRows = 65536;
inline constexpr int kMaxColumns = 256;
// Characters of a cell text.
inline constexpr int kMaxCellText = 32767;
// Characters of a sheet name.
inline constexpr int kMaxSheetName = 31;
// Characters of a header or footer, of a number format and of a string constant in a formula.
inline constexpr int kMaxHeaderFooter = 255;
inline constexpr int kMaxFormatText = 255;
inline constexpr int kMaxFormulaString = 255;
// Bytes of a formula's tokens, and arguments of one function call.
inline constexpr int kMaxFormulaTokens = 1800;
inline constexpr int kMaxFunctionArguments = 30;
// Cell format records of a workbook.
inline constexpr int kMaxXF = 4050;
// Rows per row block, and merged areas per MERGEDCELLS record (8194 bytes).
inline constexpr int kRowsPerBlock = 32;
inline constexpr int kMergedAreasPerRecord = 1024;
// Strings per EXTSST bucket at least, and the buckets one EXTSST record holds.
inline constexpr int kMinStringsPerBucket = 8;
inline constexpr int kMaxExtSstBuckets = 1024;
// The first number a custom number format may have.
inline constexpr int kFirstCustomFormat = 164;

// ---- Palette -------------------------------------------------------------
// Colour indexes 8 to 63 of the format's default palette, as TColor values
// (0x00BBGGRR).
inline constexpr int kPaletteSize = 56;
inline constexpr int kFirstPaletteIndex = 8;
inline constexpr TColor kDefaultPalette[kPaletteSize] = {
    0x000000, 0xFFFFFF, 0x0000FF, 0x00FF00, 0xFF0000, 0x00FFFF, 0xFF00FF, 0xFFFF00,  // 8
    0x000080, 0x008000, 0x800000, 0x008080, 0x800080, 0x808000, 0xC0C0C0, 0x808080,  // 16
    0xFF9999, 0x663399, 0xCCFFFF, 0xFFFFCC, 0x660066, 0x8080FF, 0xCC6600, 0xFFCCCC,  // 24
    0x800000, 0xFF00FF, 0x00FFFF, 0xFFFF00, 0x800080, 0x000080, 0x808000, 0xFF0000,  // 32
    0xFFCC00, 0xFFFFCC, 0xCCFFCC, 0x99FFFF, 0xFFCC99, 0xCC99FF, 0xFF99CC, 0x99CCFF,  // 40
    0xFF6633, 0xCCCC33, 0x00CC99, 0x00CCFF, 0x0099FF, 0x0066FF, 0x996666, 0x969696,  // 48
    0x663300, 0x669933, 0x003300, 0x003333, 0x003399, 0x663399, 0x993333, 0x333333,  // 56
};

}  // namespace biff8
