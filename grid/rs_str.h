// The grid library's user texts and its error classes.
//
// The texts are numbered as the library has always numbered them, so that the
// code that raises or shows a text names it by its number; a number the
// library does not hold gives the empty text. The texts are English ASCII, the
// same bytes in UTF-8 and in Windows-1251.
#pragma once

#include <initializer_list>

#include "toolkit/core/exceptions.h"
#include "toolkit/core/sysutils.h"

// The library's error class: every failure the grid, the visions, the edits
// and the object data set raise.
KIV7_DECLARE_EXCEPTION(ERSError, Exception);
// Failures of the grid itself.
KIV7_DECLARE_EXCEPTION(EDBGridPro, ERSError);

// Text numbers. Ids 65109-65111 and 65152-65156 belong to other units.
enum TrsTextId : int {
  SOutOfRangeMinMax = 65104,       // "\"%s\" is out of range. The allowed range is %g to %g"
  SNoDataProvider = 65105,
  SBookmarkNotFound = 65106,
  SUnableToInsertData = 65107,
  SNoRecords = 65108,
  SVisionNumberSpin = 65120,
  SVisionLogicalSwitch = 65121,
  SVisionIntegerSwitch = 65122,
  SInternalError = 65123,          // "Internal error: %s"
  SValueNegative = 65124,          // "Value can not be negative (%d)"
  SValueNotPositive = 65125,       // "Value must be positive (%d)"
  SIndexOutOfRange = 65126,        // "Index is out of range (%d/%d)"
  SUnableToSelectColumn = 65127,   // "Unable to select column (%d)"
  SMethodCallCancelled = 65128,    // "Method call was cancelled (%s)"
  SInvalidLayoutPosition = 65129,  // "Invalid layout position (%d,%d)"
  SInvalidInputText = 65130,
  SBlankDate = 65131,
  SOutOfRangeMin = 65132,          // "\"%s\" is out of range. Value must be more than %s"
  SOutOfRangeMax = 65133,          // "\"%s\" is out of range. Value must be less than %s"
  SBlankNumber = 65134,
  SNotNumeric = 65135,             // "\"%s\" is not a valid numeric value"
  SPictureLoad = 65136,
  SPictureSaveTo = 65137,
  SPicturePreview = 65138,
  SButtonOK = 65139,
  SButtonCancel = 65140,
  SPicturePreviewCaption = 65141,
  SCustomize = 65142,
  SCustomizeClose = 65143,
  SMustBePlacedOn = 65144,         // "'%s' must be placed on '%s'"
  SVision3DStyle = 65145,
  SVisionDate = 65146,
  SVisionCalendarButtons = 65147,
  SVisionCalendarNoButtons = 65148,
  SVisionNumber = 65149,
  SVisionNumberTwoDigits = 65150,
  SVisionNumberThousands = 65151,
  SToday = 65157,
  SSearchHint = 65158,
  SFooterCaptions = 65159,         // ";"-list in footer-state order
  SFooterMarkers = 65160,          // ";"-list in footer-state order
  SDeleteRecord = 65161,
  SDeleteRecords = 65162,          // "Delete %d records. Are you sure?"
  SError = 65163,
  SCut = 65164,
  SCopy = 65165,
  SPaste = 65166,
  SClear = 65167,
};

// The text with that number; "" for a number the library does not hold.
AnsiString rsLoadStr(int id);

// The text with that number filled by Format.
AnsiString rsFormatStr(int id, std::initializer_list<TVarRec> args);

// Raise ERSError with the text of id (filled with args when given).
[[noreturn]] void rsError(int id);
[[noreturn]] void rsErrorFmt(int id, std::initializer_list<TVarRec> args);
