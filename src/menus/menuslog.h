#pragma once
// The menus' logging category ("norvalis.menus"); operations that swallow an error on purpose
// leave a debug line there (rt::debugSwallowed).

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcMenus)
