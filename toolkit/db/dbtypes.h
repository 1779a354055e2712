// The data-set framework's shared types: field types, modes, notice kinds,
// the enumerations of the back-end contract, the framework's error texts and
// the error helper. Ordinals are fixed: other libraries index tables by them
// (the grid's typed values by TFieldType, the back ends by TDataSetMode).
#pragma once

#include <cstdint>
#include <string>

#include "toolkit/core/alignment.h"
#include "toolkit/core/exceptions.h"
#include "toolkit/core/sets.h"

class TComponent;

// The type of a field's value. 38 members in this order; the seven blob kinds
// are ftBlob .. ftTypedBinary (15..21).
enum TFieldType {
  ftUnknown,      // 0
  ftString,       // 1
  ftSmallint,     // 2
  ftInteger,      // 3
  ftWord,         // 4
  ftBoolean,      // 5
  ftFloat,        // 6
  ftCurrency,     // 7
  ftBCD,          // 8
  ftDate,         // 9
  ftTime,         // 10
  ftDateTime,     // 11
  ftBytes,        // 12
  ftVarBytes,     // 13
  ftAutoInc,      // 14
  ftBlob,         // 15
  ftMemo,         // 16
  ftGraphic,      // 17
  ftFmtMemo,      // 18
  ftParadoxOle,   // 19
  ftDBaseOle,     // 20
  ftTypedBinary,  // 21
  ftCursor,       // 22
  ftFixedChar,    // 23
  ftWideString,   // 24
  ftLargeint,     // 25
  ftADT,          // 26
  ftArray,        // 27
  ftReference,    // 28
  ftDataSet,      // 29
  ftOraBlob,      // 30
  ftOraClob,      // 31
  ftVariant,      // 32
  ftInterface,    // 33
  ftIDispatch,    // 34
  ftGuid,         // 35
  ftTimeStamp,    // 36
  ftFMTBcd        // 37
};
inline constexpr int kFieldTypeCount = 38;

// The type's name without the "ft" prefix ("Integer"), as messages show it.
const char* FieldTypeName(TFieldType type);
// ftBlob .. ftTypedBinary, ftOraBlob and ftOraClob.
bool IsBlobFieldType(TFieldType type);
// Whether a field object of type `field` may bind to a field definition of
// type `def`: the same type, integer and autoincrement, text and fixed
// text, or two blob types.
bool FieldBindsToType(TFieldType field, TFieldType def);

// The framework's state (its mode), with the ordinals the back ends test.
enum TDataSetMode {
  dsInactive,     // 0
  dsBrowse,       // 1
  dsEdit,         // 2
  dsInsert,       // 3
  dsSetKey,       // 4
  dsCalcFields,   // 5
  dsFilter,       // 6
  dsNewValue,     // 7
  dsOldValue,     // 8
  dsCurValue,     // 9
  dsBlockRead,    // 10
  dsInternalCalc, // 11
  dsOpening       // 12
};
// The property-style name of the same type.
using TDataSetState = TDataSetMode;

// Notices a data set broadcasts to its data sources and their links.
enum TDataSetEventKind {
  deFieldChange,      // 0: info is the field
  deRecordChange,     // 1: info is the field or none
  deDataSetChange,    // 2: info is the shift of the window
  deDataSetScroll,    // 3: info is the shift of the window
  deLayoutChange,     // 4
  deUpdateRecord,     // 5: links write their pending editor values
  deUpdateState,      // 6
  deCheckBrowseMode,  // 7
  dePropertyChange,   // 8
  deFieldListChange,  // 9
  deFocusControl      // 10: info is the field to focus
};

// Which record FetchRecord fills the buffer with.
enum TFetchDirection { fdCurrent, fdNext, fdPrior };
// What FetchRecord achieved.
enum TFetchResult { frOK, frBOF, frEOF, frError };
// The position flag of a record buffer.
enum TBufferPosition : uint8_t { bpCurrent, bpBOF, bpEOF, bpInserted };

// Options of FindByValues.
enum TFindOption { fiCaseInsensitive, fiPartialKey };
using TFindOptions = TSet<TFindOption>;

// Access of a blob stream.
enum TBlobAccessMode { bmRead, bmWrite, bmReadWrite };

// Options of ResyncBuffers.
enum TResyncOption { rmExact, rmCenter };
using TResyncMode = TSet<TResyncOption>;

// Attributes of a field definition.
enum TFieldAttribute { faHiddenCol, faReadonly, faRequired, faLink, faUnNamed, faFixed };
using TFieldAttributes = TSet<TFieldAttribute>;

// Options of the published Filter.
enum TFilterOption { foCaseInsensitive, foNoPartialCompare };
using TFilterOptions = TSet<TFilterOption>;

// Where a field's value comes from.
enum TFieldKind { fkData, fkCalculated, fkLookup, fkInternalCalc };

// What an error event answers in the edit, post and delete retry loops.
enum TDataAction { daFail, daAbort, daRetry };


// A bookmark: the back end's bytes identifying a record; empty means none.
using TBookmark = std::string;
// A record buffer: memory the back end allocates and lays out.
using TRecordBuffer = uint8_t*;

// The framework's own error texts.
namespace dbtext {
inline constexpr const char* kDataSetClosed = "Cannot perform this operation on a closed dataset";
inline constexpr const char* kDataSetOpen = "Cannot perform this operation on an open dataset";
inline constexpr const char* kNotEditing = "Dataset not in edit or insert mode";
inline constexpr const char* kFieldNotFound = "Field '%s' not found";
inline constexpr const char* kRecordNotFound = "Record not found";
inline constexpr const char* kDataSetEmpty = "Cannot perform this operation on an empty dataset";
inline constexpr const char* kDataSetReadOnly = "Cannot modify a read-only dataset";
inline constexpr const char* kFieldRequired = "Field '%s' must have a value";
inline constexpr const char* kFieldReadOnly = "Field '%s' cannot be modified";
inline constexpr const char* kFieldAccess = "Cannot access field '%s' as type %s";
inline constexpr const char* kFieldRange = "%g is not a valid value for field '%s'. The allowed range is %g to %g";
inline constexpr const char* kInvalidInteger = "'%s' is not a valid integer value for field '%s'";
inline constexpr const char* kInvalidFloat = "'%s' is not a valid floating point value for field '%s'";
inline constexpr const char* kInvalidBool = "'%s' is not a valid boolean value for field '%s'";
inline constexpr const char* kInvalidBoolText = "\"%s\" is not a valid boolean value";
inline constexpr const char* kNoDataSet = "Field '%s' has no dataset";
inline constexpr const char* kDuplicateFieldName = "Duplicate field name '%s'";
inline constexpr const char* kFieldIndexError = "Field index out of range";
inline constexpr const char* kCircularDataLink = "Circular datalinks are not allowed";
inline constexpr const char* kNotBlob = "Field '%s' is not a blob field";
inline constexpr const char* kNoBlobStream = "Field '%s' has no blob data";
inline constexpr const char* kInvalidVarBytes = "Invalid variant type or size";
inline constexpr const char* kUnknownFieldType = "Field '%s' is of an unknown type";
inline constexpr const char* kFieldTypeMismatch = "Type mismatch for field '%s', expecting: %s actual: %s";
}  // namespace dbtext

// Raises EDatabaseError with the message, prefixed "%s: %s" by the component's
// name when a component with a name is given.
[[noreturn]] void RaiseDataSetError(const AnsiString& message, const TComponent* component = nullptr);
