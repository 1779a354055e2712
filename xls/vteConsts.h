// The spreadsheet writer's texts and defaults. Messages are English, raised as
// plain Exception objects; "%d" and "%s" are Format placeholders.
#pragma once

namespace vte {

// The workbook's user name after construction (WRITEACCESS).
inline constexpr const char* kDefaultUserName = "PReport";
// The prefix of default sheet names ("Sheet1").
inline constexpr const char* kDefaultSheetPrefix = "Sheet";

// ---- The file ------------------------------------------------------------
// The file's name, then the system's reason.
inline constexpr const char* sCannotCreateFile = "Cannot create the file \"%s\": %s";
inline constexpr const char* sCannotWriteFile = "Cannot write the file \"%s\": %s";

// ---- Checks made before anything is written ------------------------------
inline constexpr const char* sInvalidPicture = "Invalid picture %d on sheet \"%s\"";
inline constexpr const char* sPictureOutsideSheet =
    "Picture %d on sheet \"%s\" lies outside 65536 rows and 256 columns";
inline constexpr const char* sInvalidRange = "Invalid range (%d, %d, %d, %d) on sheet \"%s\"";
inline constexpr const char* sRangeOutsideSheet =
    "Range (%d, %d, %d, %d) on sheet \"%s\" lies outside 65536 rows and 256 columns";
inline constexpr const char* sTextTooLong =
    "Text of %d characters at (%d, %d) on sheet \"%s\" is longer than a cell holds (32767)";
inline constexpr const char* sEmptySheetName = "Sheet %d has no name";
inline constexpr const char* sInvalidSheetName = "Invalid sheet name \"%s\"";
inline constexpr const char* sDuplicateSheetName = "Duplicate sheet name \"%s\"";
inline constexpr const char* sHeaderTooLong = "Header or footer of sheet \"%s\" is longer than 255 characters";
inline constexpr const char* sFormatTooLong = "Number format \"%s\" is longer than 255 characters";
inline constexpr const char* sFontNameTooLong = "Font name \"%s\" is longer than 255 characters";
inline constexpr const char* sInvalidFontSize = "Invalid font size %d";
inline constexpr const char* sInvalidColumnEntry = "Invalid column %d on sheet \"%s\"";
inline constexpr const char* sInvalidRowEntry = "Invalid row %d on sheet \"%s\"";
inline constexpr const char* sTooManyCellFormats = "Too many cell formats (at most 4050)";

// ---- Formula compiler ----------------------------------------------------
inline constexpr const char* sInvalidRangeReference = "Invalid range reference [%s]";
inline constexpr const char* sInvalidCellReference = "Invalid cell reference [%s]";
inline constexpr const char* sUnknownOperator = "Unknown operator [%s]";
inline constexpr const char* sUnknownFunction = "Unknown function [%s]";
inline constexpr const char* sInvalidBrackets = "Invalid brackets";
inline constexpr const char* sParameterWithoutFunction = "Parameter without function";
inline constexpr const char* sInvalidNumber = "Invalid number [%s]";
inline constexpr const char* sInvalidSymbol = "Invalid symbol [%s]";
inline constexpr const char* sInvalidString = "Invalid string";
// Formulas whose tokens a reader would reject: an operator without its
// operands, operands without an operator, nothing at all.
inline constexpr const char* sInvalidFormula = "Invalid formula [%s]";
inline constexpr const char* sStringTooLong = "String longer than 255 characters [%s]";
inline constexpr const char* sTooManyArguments = "Too many arguments [%s]";
inline constexpr const char* sFormulaTooLong = "Formula too long [%s]";

}  // namespace vte
