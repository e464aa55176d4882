#pragma once
// The dialing properties' logging category ("norvalis.dialing").

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcDialing)
