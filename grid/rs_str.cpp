#include "grid/rs_str.h"

#include <algorithm>
#include <iterator>

namespace {

struct TrsText {
  int id;
  const char* text;
};

// Sorted by id.
constexpr TrsText kTexts[] = {
    {SOutOfRangeMinMax, "\"%s\" is out of range. The allowed range is %g to %g"},
    {SNoDataProvider, "No data provider. Please assign value to \"ObjectRef\" property"},
    {SBookmarkNotFound, "Bookmark not found"},
    {SUnableToInsertData, "unable to insert data"},
    {SNoRecords, "no records"},
    {SVisionNumberSpin, "Number format, spin buttons are available."},
    {SVisionLogicalSwitch, "Switch control for logical fields."},
    {SVisionIntegerSwitch, "Switch control for integer fields. 0 - off, 1 - on."},
    {SInternalError, "Internal error: %s"},
    {SValueNegative, "Value can not be negative (%d)"},
    {SValueNotPositive, "Value must be positive (%d)"},
    {SIndexOutOfRange, "Index is out of range (%d/%d)"},
    {SUnableToSelectColumn, "Unable to select column (%d)"},
    {SMethodCallCancelled, "Method call was cancelled (%s)"},
    {SInvalidLayoutPosition, "Invalid layout position (%d,%d)"},
    {SInvalidInputText, "Invalid input text"},
    {SBlankDate, "Input value can not be blank. Please input valid date value"},
    {SOutOfRangeMin, "\"%s\" is out of range. Value must be more than %s"},
    {SOutOfRangeMax, "\"%s\" is out of range. Value must be less than %s"},
    {SBlankNumber, "Input value can not be blank. Please input valid numeric value"},
    {SNotNumeric, "\"%s\" is not a valid numeric value"},
    {SPictureLoad, "Load..."},
    {SPictureSaveTo, "Save to..."},
    {SPicturePreview, "Preview"},
    {SButtonOK, "&OK"},
    {SButtonCancel, "&Cancel"},
    {SPicturePreviewCaption, "Picture preview"},
    {SCustomize, "Customize"},
    {SCustomizeClose, "[Close]"},
    {SMustBePlacedOn, "'%s' must be placed on '%s'"},
    {SVision3DStyle, "Determines 3D style of the cell."},
    {SVisionDate, "Displays and edits data as date."},
    {SVisionCalendarButtons, "Calendar control with buttons."},
    {SVisionCalendarNoButtons, "Calendar control without buttons."},
    // The misspelling is the text users have always seen; kept as it is.
    {SVisionNumber, "Dsiplays and edits data as number."},
    {SVisionNumberTwoDigits, "Number format, two digits after decimal separator."},
    {SVisionNumberThousands, "Number format, two digits after decimal separator, thousand separator."},
    {SToday, "Today"},
    {SSearchHint, "Search: "},
    {SFooterCaptions, "Average;Count;Maximum;Minimum;Sum;None"},
    {SFooterMarkers, "AVG;;MAX;MIN;SUM;"},
    {SDeleteRecord, "Delete record. Are you sure?"},
    {SDeleteRecords, "Delete %d records. Are you sure?"},
    {SError, "Error"},
    {SCut, "Cut"},
    {SCopy, "Copy"},
    {SPaste, "Paste"},
    {SClear, "Clear"},
};

}  // namespace

AnsiString rsLoadStr(int id) {
  auto it = std::lower_bound(std::begin(kTexts), std::end(kTexts), id,
                             [](const TrsText& t, int key) { return t.id < key; });
  if (it == std::end(kTexts) || it->id != id) return AnsiString();
  return it->text;
}

AnsiString rsFormatStr(int id, std::initializer_list<TVarRec> args) { return Format(rsLoadStr(id), args); }

void rsError(int id) { throw ERSError(rsLoadStr(id)); }

void rsErrorFmt(int id, std::initializer_list<TVarRec> args) { throw ERSError(rsFormatStr(id, args)); }
