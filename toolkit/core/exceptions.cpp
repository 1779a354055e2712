#include "toolkit/core/exceptions.h"

void Abort() { throw EAbort("Operation aborted"); }
