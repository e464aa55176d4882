#pragma once
// Process-wide helpers of the application core.

#include "runtime/error.h"

#include <QString>

namespace Globals {

// The text of an id in the program's string table, or "" when there is none; never fails.
QString LoadResStr(rt::Int id);

} // namespace Globals
