#include "emulator/wyseemulation.h"

namespace emu {

namespace {

// The Wyse 50's line-graphics characters '0' to '?'.
constexpr char16_t wyseGraphics[] = u"┬└┌┐├┘│█┼┤─▒═┴║░";

// Display memory: two pages of a screen each.
constexpr int kPages = 2;

} // namespace

WyseEmulation::WyseEmulation(Model model, int rows, int cols, EmulationSink *sink)
    : CharEmulation(rows, cols, sink)
    , m_model(model)
{
    Behaviour b;
    b.autoWrap = true;
    b.backWrap = true;
    b.upWraps = true;
    b.rightWraps = true;
    b.attributeCookies = model == Model::Wyse50;
    b.statusLine = true;
    setBehaviour(b);
    setPageCount(kPages);

    using C = WyseEmulation;
    using W = WyseEmulation;
    const int clearAll = EraseAll | EraseHome;
    setSequences(withBasicControls({
        { "\x0b", &C::doCursorUp },
        { "\x0c", &C::doCursorRight },
        { "\x1a", &C::doEraseScreen, clearAll },
        { "\x1e", &C::doHome },
        { "\x1f", &C::doNewLine },
        { "\x1b=%c%c", &C::doAddress },
        { "\x1b" "a%dR%dC", &C::doAddressDecimal },
        { "\x1b{", &C::doHome },
        { "\x1b?", op(&W::doReportCursor) },
        { "\x1b ", op(&W::doIdentify) },
        { "\x1b" "E", &C::doInsertLine },
        { "\x1bR", &C::doDeleteLine },
        { "\x1bQ", &C::doInsertChar },
        { "\x1bW", &C::doDeleteChar },
        { "\x1bq", &C::doInsertMode, 1 },
        { "\x1br", &C::doInsertMode, 0 },
        { "\x1bT", &C::doEraseLine, EraseToEnd },
        { "\x1bt", &C::doEraseLine, EraseToEnd },
        { "\x1bY", &C::doEraseScreen, EraseToEnd },
        { "\x1by", &C::doEraseScreen, EraseToEnd },
        { "\x1b*", &C::doEraseScreen, clearAll | EraseProtectedToo },
        { "\x1b+", &C::doEraseScreen, clearAll },
        { "\x1b;", &C::doEraseScreen, clearAll },
        { "\x1b:", &C::doEraseScreen, clearAll },
        { "\x1b,", &C::doEraseScreen, clearAll | EraseProtectedFill },
        { "\x1bj", &C::doReverseIndex },
        { "\x1bI", &C::doBackTab },
        { "\x1bi", &C::doTab },
        { "\x1b" "1", &C::doSetTab },
        { "\x1b" "2", &C::doClearTab },
        { "\x1b" "0", &C::doClearAllTabs },
        { "\x1b(", &C::doWriteProtect, 0 },
        { "\x1b)", &C::doWriteProtect, 1 },
        { "\x1b&", &C::doProtectMode, 1 },
        { "\x1b'", &C::doProtectMode, 0 },
        { "\x1bG%c", op(&W::doAttribute) },
        { "\x1b`%c", op(&W::doScreenFeature) },
        { "\x1bH\x02", op(&W::doLineGraphics), 1 },
        { "\x1bH\x03", op(&W::doLineGraphics), 0 },
        { "\x1bH%c", &C::doGraphicChar },
        { "\x1b" "cE", op(&W::doPcGraphics), 1 },
        { "\x1b" "cD", op(&W::doPcGraphics), 0 },
        { "\x1b" "c<", &C::doAnswerBack },
        { "\x1b" "c;%s\x19", &C::doIgnore }, // the answerback stays the session's own
        { "\x1b" "c=", &C::doIgnore },
        { "\x1b" "cB%c", &C::doIgnore },
        { "\x1b" "cC%c", &C::doIgnore },
        { "\x1b" "c2%c", &C::doIgnore },
        { "\x1b" "c3%c", &C::doIgnore },
        { "\x1b" "c6%c", &C::doIgnore },
        { "\x1b" "c7%c", &C::doIgnore },
        { "\x1b" "c@%c%c", &C::doIgnore },
        { "\x1b" "c0%c%c%c%c", &C::doIgnore },
        { "\x1b" "c1%c%c%c%c", &C::doIgnore },
        { "\x1b" "d/", &C::doIgnore }, // autowrap is always on
        { "\x1b" "d.", &C::doIgnore },
        { "\x1b" "d%c", &C::doIgnore },
        { "\x1b" "e%c", &C::doIgnore },
        { "\x1bw%c", op(&W::doShowPage) },
        { "\x1bJ", op(&W::doNextPage), -1 },
        { "\x1bK", op(&W::doNextPage), 1 },
        { "\x1b~%c", &C::doIgnore },
        { "\x1b^%c", &C::doIgnore },
        { "\x1b" "A%c%c", op(&W::doLineAttribute) },
        { "\x1b" "F%s\r", &C::doStatusText },
        // Labels '0'-'7' end with CR, function keys (whose text may hold a CR) with DEL.
        { "\x1bz0%s\r", op(&W::doLabel), 0 },
        { "\x1bz1%s\r", op(&W::doLabel), 1 },
        { "\x1bz2%s\r", op(&W::doLabel), 2 },
        { "\x1bz3%s\r", op(&W::doLabel), 3 },
        { "\x1bz4%s\r", op(&W::doLabel), 4 },
        { "\x1bz5%s\r", op(&W::doLabel), 5 },
        { "\x1bz6%s\r", op(&W::doLabel), 6 },
        { "\x1bz7%s\r", op(&W::doLabel), 7 },
        { "\x1bz%c%s\x7f", op(&W::doFunctionKey) },
        { "\x1bZ%c%c%s\x7f", op(&W::doProgramKey) },
        { "\x1bN", &C::doIgnore },
        { "\x1bO", &C::doIgnore },
        { "\x1bl", &C::doIgnore },
        { "\x1bk", &C::doIgnore },
        { "\x1bu", &C::doIgnore },
        { "\x1bU", &C::doIgnore },
        { "\x1bX", &C::doIgnore },
        { "\x1b<", &C::doIgnore },
        { "\x1b>", &C::doIgnore },
        { "\x1b#", &C::doIgnore },
        { "\x1b\"", &C::doIgnore },
        { "\x1bP", &C::doIgnore },
        { "\x1b@", &C::doIgnore },
        { "\x1bL", &C::doIgnore },
    }));

    setKeys({
        { Qt::Key_Up, Plain, "\x0b" },
        { Qt::Key_Down, Plain, "\x0a" },
        { Qt::Key_Left, Plain, "\x08" },
        { Qt::Key_Right, Plain, "\x0c" },
        { Qt::Key_Home, Plain, "\x1e" },
        { Qt::Key_Home, Shift, "\x1b{" },
        { Qt::Key_Backtab, Shift, "\x1bI" },
        { Qt::Key_Backtab, Plain, "\x1bI" },
        { Qt::Key_Tab, Shift, "\x1bI" },
        { Qt::Key_Insert, Plain, "\x1bQ" },
        { Qt::Key_Insert, Shift, "\x1b" "E" },
        { Qt::Key_Delete, Plain, "\x1bW" },
        { Qt::Key_Delete, Shift, "\x1bR" },
        { Qt::Key_PageUp, Plain, "\x1bJ" },
        { Qt::Key_PageDown, Plain, "\x1bK" },
        { Qt::Key_End, Plain, "\x1bT" },
        { Qt::Key_End, Shift, "\x1bY" },
        { Qt::Key_Print, Plain, "\x1bP" },
    });
}

void WyseEmulation::resetFamily()
{
    m_pcSet = false;
}

char32_t WyseEmulation::graphicChar(char32_t ch) const
{
    if (m_pcSet)
        return ch >= 0x20 && ch < 0x80 ? pcGraphic(int(ch)) : ch;
    return ch >= '0' && ch <= '?' ? char32_t(wyseGraphics[ch - '0']) : ch;
}

QByteArray WyseEmulation::functionKey(int n, bool shifted) const
{
    if (n < 1 || n > 16)
        return QByteArray();
    return QByteArray("\x01") + char((shifted ? '`' : '@') + n - 1) + '\r';
}

void WyseEmulation::doAttribute(const SequenceArgs &a, int)
{
    // '0'-'?': bit 0 blank, 1 blink, 2 reverse, 3 underline; 'p'-DEL the same at half intensity.
    const int code = a.value(0);
    const int look = (code & 0x0F) | ((code & 0x40) ? LookDim : 0);
    if (behaviour().attributeCookies)
        putCookie(look);
    else
        setPenLook(look);
}

void WyseEmulation::doScreenFeature(const SequenceArgs &a, int)
{
    switch (a.value(0)) {
    case '0':
        doCursorVisible(a, 0);
        break;
    case '1':
        doCursorVisible(a, 1);
        break;
    case '6':
        setProtectLook(LookReverse);
        break;
    case '7':
        setProtectLook(LookDim);
        break;
    case ':':
    case ';':
        // 80 or 132 columns: the session's normal or extended size, the screen cleared.
        doEraseScreen(a, EraseAll | EraseHome | EraseProtectedToo);
        sink()->columnModeRequested(a.value(0) == ';');
        break;
    default:
        break; // cursor shapes, screen blanking: the session's settings decide
    }
}

void WyseEmulation::doLineGraphics(const SequenceArgs &a, int param)
{
    m_pcSet = false;
    doGraphics(a, param);
}

void WyseEmulation::doPcGraphics(const SequenceArgs &a, int param)
{
    m_pcSet = param != 0;
    doGraphics(a, param);
}

void WyseEmulation::doShowPage(const SequenceArgs &a, int)
{
    const int code = a.value(0);
    if (code >= '0' && code <= '9')
        setPage(code - '0');
}

void WyseEmulation::doNextPage(const SequenceArgs &, int step)
{
    setPage(page() + step);
}

void WyseEmulation::doReportCursor(const SequenceArgs &, int)
{
    answer(QByteArray(1, char(32 + row())) + char(32 + std::min(col(), 223)) + '\r');
}

void WyseEmulation::doIdentify(const SequenceArgs &, int)
{
    answer(m_model == Model::Wyse50 ? "50\r" : "60\r");
}

void WyseEmulation::doLabel(const SequenceArgs &a, int param)
{
    setLabel(param, a.text);
}

void WyseEmulation::doFunctionKey(const SequenceArgs &a, int)
{
    // '@'-'O' F1-F16, '`'-'o' shifted.
    const int code = a.value(0);
    if (code >= '@' && code <= 'O')
        programKey(code - '@' + 1, false, encodeText(a.text));
    else if (code >= '`' && code <= 'o')
        programKey(code - '`' + 1, true, encodeText(a.text));
}

void WyseEmulation::doProgramKey(const SequenceArgs &a, int)
{
    // ESC Z 1 key text DEL programs the key for the host; ESC Z 2 for the terminal alone.
    if (a.value(0) != '1')
        return;
    SequenceArgs key = a;
    key.values[0] = a.value(1);
    doFunctionKey(key, 0);
}

void WyseEmulation::doLineAttribute(const SequenceArgs &a, int)
{
    // ESC A 1 attribute: the label line; attribute 1 blanks it.
    if (a.value(0) == '1')
        setLabelsShown(a.value(1) != '1');
}

} // namespace emu
