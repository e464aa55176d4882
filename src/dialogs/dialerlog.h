#pragma once
// The dialer's and the phone book's logging category ("norvalis.dialogs", the category of the
// capture, transfer and dialing dialogs).

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcDialer)
