#pragma once
// Keyboard: Windows virtual-key codes and the shift mask for Qt key events, and the keyboard's
// pause state (the program's stand-in for the Scroll Lock toggle).

#include "runtime/error.h"

#include <Qt>

class QKeyEvent;

namespace rt {

// Virtual-key codes the program names.
enum KeyCode : Int {
    vbKeyBack = 8,
    vbKeyTab = 9,
    vbKeyReturn = 13,
    vbKeyShift = 16,
    vbKeyControl = 17,
    vbKeyMenu = 18, // Alt
    vbKeyPause = 19,
    vbKeyCapital = 20,
    vbKeyEscape = 27,
    vbKeySpace = 32,
    vbKeyPageUp = 33,
    vbKeyPageDown = 34,
    vbKeyEnd = 35,
    vbKeyHome = 36,
    vbKeyLeft = 37,
    vbKeyUp = 38,
    vbKeyRight = 39,
    vbKeyDown = 40,
    vbKeyInsert = 45,
    vbKeyDelete = 46,
    vbKey0 = 48,
    vbKeyA = 65,
    vbKeyZ = 90,
    vbKeyNumpad0 = 96,
    vbKeyF1 = 112,
    vbKeyNumlock = 144,
    vbKeyScrollLock = 145,
};

// Shift mask of key events.
enum ShiftMask : Int { vbShiftMask = 1, vbCtrlMask = 2, vbAltMask = 4 };

// The virtual-key code of a Qt key (0 when the key has none). Shifted punctuation maps to the
// key that produces it on a US layout (Shift+1 "!" is the "1" key, 49).
Int virtualKeyCode(int qtKey, Qt::KeyboardModifiers modifiers);
// The shift mask of modifiers. A modifier key counts itself while it is down: pressing Ctrl
// reports 2, releasing it 0, whatever the window system put into the event.
Int shiftMask(Qt::KeyboardModifiers modifiers, int qtKey = 0, bool pressed = true);
Int virtualKeyCode(const QKeyEvent &event);
Int shiftMask(const QKeyEvent &event);

// The pause flag that stands in for the Scroll Lock toggle: kept by the program, never read from
// or written to the real keyboard.
bool pauseState();
void setPauseState(bool on);

} // namespace rt
