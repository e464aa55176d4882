#include "emulator/vtparser.h"

#include "emulator/controls.h"

#include <algorithm>

namespace emu {

namespace {

bool isFinal(char32_t ch)
{
    return ch >= 0x40 && ch <= 0x7E;
}

bool isIntermediate(char32_t ch)
{
    return ch >= 0x20 && ch <= 0x2F;
}

bool isParam(char32_t ch)
{
    return (ch >= '0' && ch <= '9') || ch == ';' || ch == ':';
}

bool isLeader(char32_t ch)
{
    return ch >= 0x3C && ch <= 0x3F;
}

int hexValue(char32_t ch)
{
    if (ch >= '0' && ch <= '9')
        return int(ch - '0');
    if ((ch | 0x20) >= 'a' && (ch | 0x20) <= 'f')
        return int((ch | 0x20) - 'a' + 10);
    return -1;
}

} // namespace

void VtParser::reset()
{
    if (m_state == State::DcsPassthrough
        || (m_state == State::StringEscape && m_stringState == State::DcsPassthrough))
        m_sink->dcsEnd(false);
    m_state = State::Ground;
    clearSequence();
}

void VtParser::clearSequence()
{
    m_seq.count = 0;
    m_seq.subParams = 0;
    m_seq.leader = 0;
    m_seq.interCount = 0;
    m_seq.final = 0;
    m_paramStarted = false;
    m_paramsFull = false;
}

void VtParser::param(char32_t ch)
{
    if (!m_paramStarted) {
        m_paramStarted = true;
        m_seq.count = 1;
        m_seq.params[0] = VtSequence::Missing;
    }
    if (ch == ';' || ch == ':') {
        if (m_seq.count < VtSequence::MaxParams) {
            if (ch == ':')
                m_seq.subParams |= 1u << m_seq.count;
            m_seq.params[m_seq.count++] = VtSequence::Missing;
        } else {
            // Parameters beyond the last one kept are read and ignored; the count stays
            // within the array.
            m_paramsFull = true;
        }
        return;
    }
    if (m_paramsFull)
        return;
    int &p = m_seq.params[m_seq.count - 1];
    p = std::min(VtSequence::MaxValue, (p < 0 ? 0 : p) * 10 + int(ch - '0'));
}

void VtParser::collect(char32_t ch)
{
    if (m_seq.interCount < 2)
        m_seq.inter[m_seq.interCount] = char(ch);
    ++m_seq.interCount; // more than two: no sequence of ours, ignored at its end
}

void VtParser::endString()
{
    if (m_stringState == State::DcsPassthrough)
        m_sink->dcsEnd(true);
    m_stringState = State::Ground;
}

bool VtParser::anywhere(char32_t ch)
{
    if (ch == ESC) {
        enterEscape();
        return true;
    }
    if (ch == CAN || ch == SUB) {
        m_state = State::Ground;
        return true;
    }
    if (ch < 0x20) {
        m_sink->execute(ch);
        return true;
    }
    return ch == DEL;
}

void VtParser::put(char32_t ch)
{
    switch (m_state) {
    case State::Ground:
        if (ch >= 0x20 && ch != DEL)
            m_sink->print(ch);
        else if (ch == ESC)
            enterEscape();
        else if (ch != DEL)
            m_sink->execute(ch);
        return;
    case State::EscapeIntermediate:
        if (anywhere(ch))
            return;
        if (isIntermediate(ch)) {
            collect(ch);
        } else if (ch >= 0x30 && ch <= 0x7E) {
            m_seq.final = ch;
            m_state = State::Ground;
            m_sink->escape(m_seq);
        }
        return;
    case State::CsiEntry:
    case State::CsiParam:
        if (anywhere(ch))
            return;
        if (isParam(ch)) {
            param(ch);
            m_state = State::CsiParam;
        } else if (isLeader(ch)) {
            if (m_state == State::CsiEntry) {
                m_seq.leader = char(ch);
                m_state = State::CsiParam;
            } else {
                m_state = State::CsiIgnore;
            }
        } else if (isIntermediate(ch)) {
            collect(ch);
            m_state = State::CsiIntermediate;
        } else if (isFinal(ch)) {
            m_seq.final = ch;
            m_state = State::Ground;
            m_sink->controlSequence(m_seq);
        }
        return;
    case State::CsiIntermediate:
        if (anywhere(ch))
            return;
        if (isIntermediate(ch)) {
            collect(ch);
        } else if (isFinal(ch)) {
            m_seq.final = ch;
            m_state = State::Ground;
            m_sink->controlSequence(m_seq);
        } else if (ch >= 0x30 && ch <= 0x3F) {
            m_state = State::CsiIgnore;
        }
        return;
    case State::CsiIgnore:
        if (anywhere(ch))
            return;
        if (isFinal(ch))
            m_state = State::Ground;
        return;
    case State::DcsEntry:
    case State::DcsParam:
    case State::DcsIntermediate:
        if (ch == ESC || ch == CAN || ch == SUB) {
            anywhere(ch);
            return;
        }
        if (ch < 0x20 || ch == DEL)
            return; // controls do nothing in a device control string
        if (isParam(ch) && m_state != State::DcsIntermediate) {
            if (ch == ':') {
                m_state = State::DcsIgnore;
                return;
            }
            param(ch);
            m_state = State::DcsParam;
        } else if (isLeader(ch) && m_state == State::DcsEntry) {
            m_seq.leader = char(ch);
            m_state = State::DcsParam;
        } else if (isIntermediate(ch)) {
            collect(ch);
            m_state = State::DcsIntermediate;
        } else if (isFinal(ch)) {
            m_seq.final = ch;
            m_state = State::DcsPassthrough;
            m_stringState = State::DcsPassthrough;
            m_sink->dcsStart(m_seq);
        } else {
            m_state = State::DcsIgnore;
        }
        return;
    case State::DcsPassthrough:
        if (ch == ESC) {
            m_state = State::StringEscape;
            return;
        }
        if (ch == CAN || ch == SUB) {
            m_stringState = State::Ground;
            m_state = State::Ground;
            m_sink->dcsEnd(false);
            return;
        }
        if (ch >= 0x20 && ch != DEL)
            m_sink->dcsPut(ch);
        return;
    case State::DcsIgnore:
    case State::IgnoredString:
        if (ch == ESC) {
            m_stringState = m_state;
            m_state = State::StringEscape;
        } else if (ch == CAN || ch == SUB) {
            m_state = State::Ground;
        }
        return;
    case State::OscString:
        if (m_oscFirst && m_linuxPalette && (ch == 'P' || ch == 'R')) {
            m_oscFirst = false;
            if (ch == 'R') {
                m_state = State::Ground;
                m_sink->linuxPalette(-1, 0);
            } else {
                m_state = State::Palette;
                m_paletteDigits = 0;
                m_paletteValue = 0;
            }
            return;
        }
        m_oscFirst = false;
        if (ch == BEL || ch == CAN || ch == SUB) {
            m_state = State::Ground;
        } else if (ch == ESC) {
            m_stringState = State::OscString;
            m_state = State::StringEscape;
        }
        return;
    case State::StringEscape:
        if (ch == '\\') {
            m_state = State::Ground;
            endString();
            return;
        }
        // Another sequence starts: the string ends unfinished, and ch is the character after
        // its ESC.
        if (m_stringState == State::DcsPassthrough)
            m_sink->dcsEnd(false);
        m_stringState = State::Ground;
        enterEscape();
        if (ch == ESC || ch == CAN || ch == SUB || ch < 0x20) {
            anywhere(ch);
            return;
        }
        [[fallthrough]];
    case State::Escape:
        if (anywhere(ch))
            return;
        if (isIntermediate(ch)) {
            collect(ch);
            m_state = State::EscapeIntermediate;
        } else if (ch == '[') {
            m_state = State::CsiEntry;
        } else if (ch == ']') {
            m_state = State::OscString;
            m_oscFirst = true;
        } else if (ch == 'P') {
            m_state = State::DcsEntry;
        } else if (ch == 'X' || ch == '^' || ch == '_') {
            m_state = State::IgnoredString;
        } else if (ch >= 0x30 && ch <= 0x7E) {
            m_seq.final = ch;
            m_state = State::Ground;
            m_sink->escape(m_seq);
        }
        return;
    case State::Palette:
        if (const int digit = hexValue(ch); digit >= 0) {
            // n rr gg bb: the colour index, then its red, green and blue.
            m_paletteValue = m_paletteValue << 4 | quint32(digit);
            if (++m_paletteDigits == 7) {
                m_state = State::Ground;
                m_sink->linuxPalette(int(m_paletteValue >> 24), m_paletteValue & 0xFFFFFF);
            }
        } else if (!anywhere(ch)) {
            m_state = State::Ground; // another character ends it and goes with it
        }
        return;
    }
}

} // namespace emu
