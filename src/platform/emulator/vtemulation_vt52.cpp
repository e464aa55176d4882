// VT52 mode of the VT100 to VT420 (DECANM): the VT52's sequences and keys (see vtemulation.h).

#include "emulator/vtemulation.h"

#include "emulator/controls.h"

namespace emu {

namespace {

constexpr int addressBias = 32; // ESC Y row column: each plus 32

} // namespace

void VtEmulation::setVt52(bool on)
{
    m_vt52 = on;
    m_vt52State = Vt52State::Ground;
    m_vt52Graphics = false;
}

void VtEmulation::takeVt52(char32_t ch)
{
    if (ch < 0x20) {
        // Controls act inside a sequence too; CAN and SUB end it, ESC starts another.
        if (ch == ESC)
            m_vt52State = Vt52State::Escape;
        else if (ch == CAN || ch == SUB)
            m_vt52State = Vt52State::Ground;
        else
            execute(ch);
        return;
    }
    if (ch >= 0x80 && ch < 0xA0)
        return; // no C1 controls in VT52 mode
    switch (std::exchange(m_vt52State, Vt52State::Ground)) {
    case Vt52State::Ground:
        if (ch != DEL)
            putChar(m_vt52Graphics ? charsetChar(Charset::DecGraphics, ch, false) : ch);
        return;
    case Vt52State::Escape:
        vt52Escape(ch);
        return;
    case Vt52State::Row:
        m_vt52Row = int(ch) - addressBias;
        m_vt52State = Vt52State::Column;
        return;
    case Vt52State::Column: {
        // A line out of range leaves the cursor on its line; a column beyond the last goes to
        // the last.
        const int column = int(ch) - addressBias;
        moveTo(m_vt52Row >= 0 && m_vt52Row < rows() ? m_vt52Row : m_row,
            std::min(column, cols() - 1));
        return;
    }
    }
}

void VtEmulation::vt52Escape(char32_t final)
{
    VtSequence one;
    one.count = 0;
    m_wrapPending = false;
    switch (final) {
    case 'A':
        doCursorUp(one, 0);
        break;
    case 'B':
        doCursorDown(one, 0);
        break;
    case 'C':
        doCursorRight(one, 0);
        break;
    case 'D':
        doCursorLeft(one, 0);
        break;
    case 'F':
        m_vt52Graphics = true;
        break;
    case 'G':
        m_vt52Graphics = false;
        break;
    case 'H':
        moveTo(0, 0);
        break;
    case 'I':
        reverseIndex();
        break;
    case 'J':
        eraseDisplay(0, false);
        break;
    case 'K':
        eraseLine(0, false);
        break;
    case 'Y':
        m_vt52State = Vt52State::Row;
        break;
    case 'Z':
        m_sink->answer(QByteArrayLiteral("\x1b/Z"));
        break;
    case '=':
        m_appKeypad = true;
        break;
    case '>':
        m_appKeypad = false;
        break;
    case '<':
        setVt52(false);
        break;
    default:
        break; // the printer's sequences and anything else: nothing
    }
}

QByteArray VtEmulation::vt52Key(const QByteArray &ansi) const
{
    // The cursor keys and PF1-PF4 (ESC [ or ESC O and a letter) send ESC and the letter; the
    // application keypad (ESC O and a letter) ESC ? and the letter.
    if (ansi.size() != 3 || ansi[0] != char(ESC) || (ansi[1] != '[' && ansi[1] != 'O'))
        return ansi;
    const char letter = ansi[2];
    if ((letter >= 'A' && letter <= 'D') || (letter >= 'P' && letter <= 'S'))
        return QByteArray("\x1b") + letter;
    if (ansi[1] == 'O')
        return QByteArray("\x1b?") + letter;
    return ansi;
}

} // namespace emu
