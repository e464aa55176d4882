#pragma once
// The signals that ask a program to end (SIGTERM, SIGINT, SIGHUP), turned into a call on the
// event loop: the program ends the way it chooses (closing its work, writing its stores) instead
// of at once inside the signal. The first such signal calls `end`; the handler then gives way to
// the signal's default action, so that a second signal ends a program whose ending hangs.

#include <functional>

namespace rt {

// Installs the handlers (once; a later call replaces `end`). Call after the application object
// exists.
void onEndSignals(std::function<void(int signal)> end);

} // namespace rt
