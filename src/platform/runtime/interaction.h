#pragma once
// Interaction with the user's session: letting pending events run, the beep, and the rule for
// modal windows when nobody can answer them.
//
// Nobody to answer: on the offscreen and minimal platforms no user sees a window, so no modal
// window waits there: the program's message boxes take their default answer, file dialogs
// cancel, the error reporter answers Fail and any other modal form closes at once as if
// cancelled; each such answer is logged (category norvalis.app). Tests that drive dialogs on the
// offscreen platform switch waiting on for themselves (setDialogsWaitOffscreen). And when the
// program is told to end (Terminate, File Exit), the modal windows open at that moment close as
// if cancelled (cancelModalWindows), so that none of them holds the shutdown.

#include "runtime/error.h"

namespace rt {

// Runs the events that are pending now (timers, input, posted messages, automation calls) and
// returns the number of loaded forms. Deferred deletions wait for their own event loop.
Int DoEvents();

// The default beep of the desktop.
void Beep();

// Whether a user can answer a modal window: a widget application on a platform that shows its
// windows, or one whose dialogs were told to wait anyway.
bool userCanAnswer();
// The one switch for tests that drive dialogs on the offscreen platform: true lets modal windows
// wait there as on a display; false restores the rule above.
void setDialogsWaitOffscreen(bool wait);
// Logs the answer a modal window got without a user: what was asked ("message box", "file
// dialog" ...), its text and the answer taken.
void logUnanswered(const QString &window, const QString &text, const QString &answer);

// Closes every modal window open now, innermost first, as if its user had closed it: the window
// gets a close request (a form's close box, a dialog's reject); one that stays open is hidden.
// Each one's modal loop ends when the code that opened it has control again.
void cancelModalWindows();

} // namespace rt
