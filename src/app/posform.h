#pragma once
// The main window's placement between runs (its normal rectangle and window state in the
// registry, kept on the screen when restored), and the one-time move of the per-user settings
// that older versions kept in NVWIN.INI into the registry.

#include "runtime/form.h"

// A window's placement: its normal (restored) rectangle in pixels, right and bottom exclusive, and
// its show command (window state + 1: 1 normal, 2 minimized, 3 maximized). A top-level window's
// rectangle is its client area (its frame is the window manager's).
struct WindowPlacement
{
    rt::Long length = 44;
    rt::Long flags = 0;
    rt::Long showCmd = 1;
    QPoint minPosition;
    QPoint maxPosition;
    rt::Long left = 0;
    rt::Long top = 0;
    rt::Long right = 0;
    rt::Long bottom = 0;
};

namespace Nvmain {

// Reads a loaded form's placement; false when the form is not loaded.
bool GetWindowPlacement(const rt::Form &form, WindowPlacement &placement);
// Gives a loaded form its normal rectangle, then the window state of the show command (a command
// outside 1..3 leaves it normal). A hidden form stays hidden and takes the state when shown.
// False when the form is not loaded.
bool SetWindowPlacement(rt::Form &form, const WindowPlacement &placement);

// The placement stored in the registry for a screen of screenWidth x screenHeight twips, brought
// onto the screen: a left or top edge below 0 becomes 0 and one at 90% of the screen or beyond an
// eighth of the screen; a size that would reach past the right or bottom edge, or that is not
// above 0, becomes three quarters of the screen; an unknown window state becomes normal. Missing
// values default to the same eighth and three quarters. current supplies the other fields.
WindowPlacement StoredPlacement(const WindowPlacement &current, rt::Long screenWidth,
    rt::Long screenHeight, double twipsPerPixelX, double twipsPerPixelY);

// Restores form (the main window) to its stored placement on the primary screen.
void PosFormGet(rt::Form &form);
// Stores the main window's placement, only while it is visible: the normal rectangle in twips and
// the window state, so a maximized window keeps the rectangle it had before.
void PosFormSave();
// Copies the old NVWIN.INI settings of the program directory into the registry, once: the
// registry value X34 marks that it has run.
void MigrateIniSettings();

} // namespace Nvmain
