#include "runtime/keyboard.h"

#include <QHash>
#include <QKeyEvent>

namespace rt {

namespace {

const QHash<int, Int> &keyTable()
{
    static const QHash<int, Int> table {
        { Qt::Key_Backspace, vbKeyBack },
        { Qt::Key_Tab, vbKeyTab },
        { Qt::Key_Backtab, vbKeyTab },
        { Qt::Key_Clear, 12 },
        { Qt::Key_Return, vbKeyReturn },
        { Qt::Key_Enter, vbKeyReturn },
        { Qt::Key_Shift, vbKeyShift },
        { Qt::Key_Control, vbKeyControl },
        { Qt::Key_Alt, vbKeyMenu },
        { Qt::Key_AltGr, vbKeyMenu },
        { Qt::Key_Pause, vbKeyPause },
        { Qt::Key_CapsLock, vbKeyCapital },
        { Qt::Key_Escape, vbKeyEscape },
        { Qt::Key_Space, vbKeySpace },
        { Qt::Key_PageUp, vbKeyPageUp },
        { Qt::Key_PageDown, vbKeyPageDown },
        { Qt::Key_End, vbKeyEnd },
        { Qt::Key_Home, vbKeyHome },
        { Qt::Key_Left, vbKeyLeft },
        { Qt::Key_Up, vbKeyUp },
        { Qt::Key_Right, vbKeyRight },
        { Qt::Key_Down, vbKeyDown },
        { Qt::Key_Select, 41 },
        { Qt::Key_Print, 44 },
        { Qt::Key_Insert, vbKeyInsert },
        { Qt::Key_Delete, vbKeyDelete },
        { Qt::Key_Help, 47 },
        { Qt::Key_Meta, 91 },
        { Qt::Key_Super_L, 91 },
        { Qt::Key_Super_R, 92 },
        { Qt::Key_Menu, 93 },
        { Qt::Key_NumLock, vbKeyNumlock },
        { Qt::Key_ScrollLock, vbKeyScrollLock },
        // Punctuation by the US key that carries it, unshifted and shifted.
        { Qt::Key_Semicolon, 186 },
        { Qt::Key_Colon, 186 },
        { Qt::Key_Equal, 187 },
        { Qt::Key_Plus, 187 },
        { Qt::Key_Comma, 188 },
        { Qt::Key_Less, 188 },
        { Qt::Key_Minus, 189 },
        { Qt::Key_Underscore, 189 },
        { Qt::Key_Period, 190 },
        { Qt::Key_Greater, 190 },
        { Qt::Key_Slash, 191 },
        { Qt::Key_Question, 191 },
        { Qt::Key_QuoteLeft, 192 },
        { Qt::Key_AsciiTilde, 192 },
        { Qt::Key_BracketLeft, 219 },
        { Qt::Key_BraceLeft, 219 },
        { Qt::Key_Backslash, 220 },
        { Qt::Key_Bar, 220 },
        { Qt::Key_BracketRight, 221 },
        { Qt::Key_BraceRight, 221 },
        { Qt::Key_Apostrophe, 222 },
        { Qt::Key_QuoteDbl, 222 },
        // Shifted digits.
        { Qt::Key_ParenRight, 48 },
        { Qt::Key_Exclam, 49 },
        { Qt::Key_At, 50 },
        { Qt::Key_NumberSign, 51 },
        { Qt::Key_Dollar, 52 },
        { Qt::Key_Percent, 53 },
        { Qt::Key_AsciiCircum, 54 },
        { Qt::Key_Ampersand, 55 },
        { Qt::Key_Asterisk, 56 },
        { Qt::Key_ParenLeft, 57 },
    };
    return table;
}

// Keys of the numeric keypad have codes of their own.
Int keypadCode(int qtKey)
{
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return Int(vbKeyNumpad0 + (qtKey - Qt::Key_0));
    switch (qtKey) {
    case Qt::Key_Asterisk:
        return 106;
    case Qt::Key_Plus:
        return 107;
    case Qt::Key_Minus:
        return 109;
    case Qt::Key_Period:
    case Qt::Key_Comma:
        return 110;
    case Qt::Key_Slash:
        return 111;
    default:
        return 0;
    }
}

bool gPauseState = false;

} // namespace

Int virtualKeyCode(int qtKey, Qt::KeyboardModifiers modifiers)
{
    if (modifiers & Qt::KeypadModifier) {
        if (const Int code = keypadCode(qtKey))
            return code;
    }
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)
        return Int(vbKeyA + (qtKey - Qt::Key_A));
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return Int(vbKey0 + (qtKey - Qt::Key_0));
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return Int(vbKeyF1 + (qtKey - Qt::Key_F1));
    return keyTable().value(qtKey, 0);
}

Int shiftMask(Qt::KeyboardModifiers modifiers, int qtKey, bool pressed)
{
    Int mask = 0;
    if (modifiers & Qt::ShiftModifier)
        mask |= vbShiftMask;
    if (modifiers & Qt::ControlModifier)
        mask |= vbCtrlMask;
    if (modifiers & Qt::AltModifier)
        mask |= vbAltMask;
    Int own = 0;
    switch (qtKey) {
    case Qt::Key_Shift:
        own = vbShiftMask;
        break;
    case Qt::Key_Control:
        own = vbCtrlMask;
        break;
    case Qt::Key_Alt:
        own = vbAltMask;
        break;
    default:
        break;
    }
    return pressed ? Int(mask | own) : Int(mask & ~own);
}

Int virtualKeyCode(const QKeyEvent &event)
{
    return virtualKeyCode(event.key(), event.modifiers());
}

Int shiftMask(const QKeyEvent &event)
{
    return shiftMask(event.modifiers(), event.key(), event.type() != QEvent::KeyRelease);
}

bool pauseState()
{
    return gPauseState;
}

void setPauseState(bool on)
{
    gPauseState = on;
}

} // namespace rt
