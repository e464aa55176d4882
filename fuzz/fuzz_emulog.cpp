// The emulator's logging category for the fuzz target, which builds the screen and its
// emulations without the rest of the platform library (where the category lives).

#include "emulator/emulog.h"

namespace emu {
Q_LOGGING_CATEGORY(lcEmulator, "norvalis.emulator", QtWarningMsg)
} // namespace emu
