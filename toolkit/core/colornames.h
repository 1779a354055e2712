// The identifiers of the named colours, for lists that offer them by name.
#pragma once

#include <functional>

#include "toolkit/core/colors.h"

// Calls proc with the identifier of every named colour, in the order
// ColorToIdent knows them.
void GetColorValues(const std::function<void(const AnsiString&)>& proc);
