#include "print/printlog.h"

namespace print {
Q_LOGGING_CATEGORY(lcPrint, "norvalis.print", QtInfoMsg)
}
