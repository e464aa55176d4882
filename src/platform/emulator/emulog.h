#pragma once
// The emulator's logging category, norvalis.emulator: debug lines for what the emulator and its
// channels pass over on purpose (a failure that has its own report, or none to give).

#include <QLoggingCategory>

namespace emu {
Q_DECLARE_LOGGING_CATEGORY(lcEmulator)
} // namespace emu
