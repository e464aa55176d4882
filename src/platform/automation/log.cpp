#include "automation/log.h"

namespace automation {

Q_LOGGING_CATEGORY(lcAutomation, "norvalis.automation", QtInfoMsg)

} // namespace automation
