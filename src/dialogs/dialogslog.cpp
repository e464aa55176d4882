#include "dialogs/dialogslog.h"

Q_LOGGING_CATEGORY(lcDialogs, "norvalis.dialogs", QtInfoMsg)
