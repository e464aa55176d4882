#pragma once
// The logging category of the automation components: the D-Bus bridge, the DDE server and the
// script host ("norvalis.automation"; debug lines are off unless QT_LOGGING_RULES turns them on).

#include <QLoggingCategory>

namespace automation {

Q_DECLARE_LOGGING_CATEGORY(lcAutomation)

} // namespace automation
