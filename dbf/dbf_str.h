// The table engine's exception classes and its fixed English messages. Every
// engine failure is raised with one of these texts so that callers and tests
// can recognise it; the format placeholders follow Format() of toolkit/core.
#pragma once

#include "toolkit/core/exceptions.h"

// Every engine error; a data-set error for the framework and the application.
KIV7_DECLARE_EXCEPTION(EDbfError, EDatabaseError);
// A record or header write that wrote fewer bytes than asked.
KIV7_DECLARE_EXCEPTION(EDbfWriteError, EDbfError);
// A file another open holds in a share mode that forbids this open (another
// copy of a program, another process); its text names the file.
KIV7_DECLARE_EXCEPTION(EDbfFileInUse, EFOpenError);

// Opening a missing file without creation (raised as a plain Exception). Arg: file name.
extern const char* const STRING_FILE_NOT_FOUND;
// Edit start on a record another process holds, or a lock wait that ran out.
extern const char* const STRING_RECORD_LOCKED;
// A failed record or header write.
extern const char* const STRING_WRITE_ERROR;
// A failed write that left an index file damaged too.
extern const char* const STRING_WRITE_INDEX_ERROR;
// A primary-tag key that is already present. Args: index name, record number, key.
extern const char* const STRING_KEY_VIOLATION;
// A table file the engine cannot trust.
extern const char* const STRING_INVALID_DBF_FILE;
// A dBase IV/7 memo value whose block holds no block header. Args: block, memo file.
extern const char* const STRING_MEMO_NO_BLOCK_HEADER;
// A dBase IV/7 memo block header whose length is below its own 8 bytes
// (raised as EIntOverflow). Args: block, memo file, the stored length.
extern const char* const STRING_MEMO_LENGTH_BELOW_HEADER;
// A memo reference to a block at or past the end of the memo file, or a
// value running past it. Args: block, memo file.
extern const char* const STRING_MEMO_BEYOND_END;
// A memo field whose value cannot be read. Args: field, record, the memo file's error.
extern const char* const STRING_MEMO_FIELD_DAMAGED;
// Args: field count.
extern const char* const STRING_INVALID_FIELD_COUNT;
// Args: field name, field type ordinal (hex).
extern const char* const STRING_INVALID_FIELD_TYPE;
// Args: field name.
extern const char* const STRING_INDEX_BASED_ON_UNKNOWN_FIELD;
// Args: field name.
extern const char* const STRING_INDEX_BASED_ON_INVALID_FIELD;
// Args: expression, length.
extern const char* const STRING_INDEX_EXPRESSION_TOO_LONG;
extern const char* const STRING_INVALID_INDEX_TYPE;
extern const char* const STRING_CANNOT_CREATE_INDEX;
extern const char* const STRING_NEED_EXCLUSIVE_ACCESS;

// Messages of checks the engine adds to keep data whole.
// A value whose text does not fit its field. Args: field name, field length.
extern const char* const STRING_FIELD_OVERFLOW;
// NaN or an infinity written to a numeric field. Args: field name.
extern const char* const STRING_INVALID_NUMBER;
// Two fields whose stored names are equal. Args: stored name.
extern const char* const STRING_DUPLICATE_FIELD_NAME;
// A field without a name at creation.
extern const char* const STRING_EMPTY_FIELD_NAME;
// Args: header size.
extern const char* const STRING_HEADER_TOO_LARGE;
// Args: record size.
extern const char* const STRING_RECORD_TOO_LARGE;
// A tag to be made in a production index file the table does not own. Args: file.
extern const char* const STRING_INDEX_NOT_OWN;
// Pack of a table whose index files the engine cannot rebuild with it.
extern const char* const STRING_PACK_INDEX_FILES;
// A pack marker that cannot be read or does not describe its table. Args: marker file.
extern const char* const STRING_PACK_MARKER_DAMAGED;
// A pack marker owned by neither the current user nor the table's owner. Args: marker file.
extern const char* const STRING_PACK_MARKER_FOREIGN;
// A pack marker whose lock stayed held for the whole lock wait. Args: marker file.
extern const char* const STRING_PACK_MARKER_LOCKED;
// A step of finishing an interrupted pack that failed. Args: marker file, file, reason.
extern const char* const STRING_PACK_NOT_FINISHED;
// Pack of a table whose files cannot be replaced in their folder. Args: file, reason.
extern const char* const STRING_PACK_CANNOT_REPLACE;
// Pack of a table kept in memory.
extern const char* const STRING_PACK_IN_MEMORY;
// Pack of a table whose folder takes no new file. Args: file, reason.
extern const char* const STRING_PACK_CANNOT_CREATE;
