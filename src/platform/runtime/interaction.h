#pragma once
// Interaction with the user's session: letting pending events run, and the beep.

#include "runtime/error.h"

namespace rt {

// Runs the events that are pending now (timers, input, posted messages, automation calls) and
// returns the number of loaded forms. Deferred deletions wait for their own event loop.
Int DoEvents();

// The default beep of the desktop.
void Beep();

} // namespace rt
