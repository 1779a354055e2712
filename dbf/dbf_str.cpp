#include "dbf/dbf_str.h"

const char* const STRING_FILE_NOT_FOUND = "Open: file not found: \"%s\".";
const char* const STRING_RECORD_LOCKED = "Record locked.";
const char* const STRING_WRITE_ERROR = "Error while writing occurred. (Disk full?)";
const char* const STRING_WRITE_INDEX_ERROR = "Error while writing occurred; indexes probably corrupted. (Disk full?)";
const char* const STRING_KEY_VIOLATION =
    "Key violation. (Key already present in file).\r\nIndex: %s\r\nRecord=%d Key='%s'.";
const char* const STRING_INVALID_DBF_FILE = "Invalid DBF file.";
const char* const STRING_MEMO_NO_BLOCK_HEADER =
    "The memo value at block %s of \"%s\" has no block header: the memo file or its block size is damaged.";
const char* const STRING_MEMO_BEYOND_END =
    "The memo value at block %s runs past the end of \"%s\": the memo file is cut short or not the table's.";
const char* const STRING_MEMO_FIELD_DAMAGED = "Field '%s' of record %d: %s";
const char* const STRING_MEMO_LENGTH_BELOW_HEADER =
    "Integer overflow: the memo value at block %s of \"%s\" gives the length %s, less than its 8-byte block header.";
const char* const STRING_INVALID_FIELD_COUNT = "Invalid field count: %d (must be between 1 and 4095).";
const char* const STRING_INVALID_FIELD_TYPE =
    "Cannot create field \"%s\", VCL field type %x not supported by DBF.";
const char* const STRING_INDEX_BASED_ON_UNKNOWN_FIELD = "Index based on unknown field \"%s\".";
const char* const STRING_INDEX_BASED_ON_INVALID_FIELD = "Field \"%s\" is an invalid field type to base index on.";
const char* const STRING_INDEX_EXPRESSION_TOO_LONG = "Index result for \"%s\" too long, >100 characters (%d).";
const char* const STRING_INVALID_INDEX_TYPE = "Invalid index type: can only be string or float.";
const char* const STRING_CANNOT_CREATE_INDEX = "Can not create index: too many indexes in file.";
const char* const STRING_NEED_EXCLUSIVE_ACCESS = "Exclusive access is required for this operation.";

const char* const STRING_FIELD_OVERFLOW = "Value does not fit field \"%s\" of %d characters.";
const char* const STRING_INVALID_NUMBER = "Field \"%s\" cannot hold a number that is not finite.";
const char* const STRING_DUPLICATE_FIELD_NAME = "Duplicate field name \"%s\".";
const char* const STRING_EMPTY_FIELD_NAME = "A field has no name.";
const char* const STRING_HEADER_TOO_LARGE = "Table header too large: %d bytes (at most 65535).";
const char* const STRING_RECORD_TOO_LARGE = "Record too large: %d bytes (at most 65535).";
const char* const STRING_INDEX_NOT_OWN =
    "The index file \"%s\" is not this table's: it is left as it is. Move it away to index this table.";
const char* const STRING_PACK_INDEX_FILES = "Cannot pack: the table's index files cannot be rebuilt with it.";
const char* const STRING_PACK_MARKER_DAMAGED =
    "An interrupted pack of this table left the file \"%s\", which is damaged: check the table's files, "
    "then delete that file to open the table.";
const char* const STRING_PACK_NOT_FINISHED =
    "An interrupted pack of this table (recorded in \"%s\") cannot be finished: \"%s\": %s.";
const char* const STRING_PACK_MARKER_FOREIGN =
    "The file \"%s\" left beside the table belongs to another user: it is not acted on. Check the table's files, "
    "then delete that file to open the table.";
const char* const STRING_PACK_MARKER_LOCKED =
    "A pack of this table is still running (its file \"%s\" stays locked): try again later.";
const char* const STRING_PACK_CANNOT_REPLACE = "Cannot pack: the file \"%s\" cannot be replaced: %s.";
const char* const STRING_PACK_IN_MEMORY = "Cannot pack: the table is kept in memory.";
const char* const STRING_PACK_CANNOT_CREATE = "Cannot pack: the file \"%s\" cannot be made beside the table: %s.";
