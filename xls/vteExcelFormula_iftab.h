// The BIFF8 built-in function table of the formula compiler.
#pragma once

#include <string_view>

#include "xls/vteExcelTypes.h"

// The table (340 rows, in ascending number order); *count receives its length.
const rvteExcelFunctionInfo* vteExcelFunctions(int* count);

// The number of the function with that name (compared without case, so a
// dotted name is written without its dots), -1 when there is none.
int vteFindExcelFunction(std::string_view name);
