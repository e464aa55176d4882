#pragma once
// The dialogs' logging category ("norvalis.dialogs"): the settings, capture, transfer and dialing
// dialogs and the phone book. Debug lines are off unless QT_LOGGING_RULES turns them on.

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcDialogs)
