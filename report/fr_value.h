// Value resolution during a build: what names, calls and bracketed texts of a
// template mean. The report component (TfrReport::ResolveVariable and its
// siblings, defined in fr_value.cpp) answers; this unit points the expression
// parser, the script interpreter, the dictionary and the text objects at the
// report being built.
//
// Special names (exact, upper case as the parser passes them): VALUE, PAGE#,
// DATE, TIME, LINE#, LINETHROUGH#, COLUMN#, CURRENT#, TOTALPAGES, the report
// info (REPORTCOMMENT, REPORTNAME, REPORTAUTOR, VMAJOR, VMINOR, VRELEASE,
// VBUILD, REPORTDATE, REPORTLASTCHANGE), CALCWIDTH, and of the page being
// built CURY, FREESPACE, FINALPASS, PAGEHEIGHT, PAGEWIDTH.
//
// Script procedures: STOPREPORT, NEWPAGE, NEWCOLUMN, SHOWBAND(band), INC(v),
// DEC(v), SETARRAY(a, i, v), GETARRAY(a, i). An array is a family of script
// variables named "Arr_" + array name + "_" + index.
#pragma once

#include "toolkit/core/classes.h"
#include "toolkit/core/variant.h"

class TfrReport;

// Points the parser's callbacks and the dictionary's links at `report`.
void InstallValueResolution(TfrReport& report);
