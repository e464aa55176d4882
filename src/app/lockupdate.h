#pragma once
// The window-update lock: freezes the drawing of the main window while the visible menu bands are
// swapped, so that the window is repainted once. Locks nest; the first one starts a 400 ms safety
// timer that releases a freeze nobody ended.

#include "runtime/error.h"

class QWidget;

namespace modLockUpdate {

// The window whose drawing the lock freezes (the main window, set when it loads; nullptr clears
// it). Until a window is set, LockUpdate does nothing.
void SetWindow(QWidget *window);
QWidget *Window();

void LockUpdate();
void UnlockUpdate();
// The safety timer's work: releases a freeze that is still held. Runs from the event loop.
void LockTimerProc();

// Nesting depth (0 when nothing is frozen) and whether the safety timer runs.
rt::Long Count();
bool TimerRunning();

} // namespace modLockUpdate
