#pragma once
// The logging category of the settings stores and the file layer under them ("norvalis.stores"):
// the whole-file reader and writer, the INI engine and the registry store.

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcStores)
