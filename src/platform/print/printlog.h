#pragma once
// The printer services' logging category, norvalis.print: failures of the print service that are
// answered with an error, and errors swallowed on purpose.

#include <QLoggingCategory>

namespace print {
Q_DECLARE_LOGGING_CATEGORY(lcPrint)
}
