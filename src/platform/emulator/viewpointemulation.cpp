#include "emulator/viewpointemulation.h"

namespace emu {

namespace {

// ESC 0 x: the attribute bits of x as Look bits.
int attributeLook(int code)
{
    int look = 0;
    if (code & 0x01)
        look |= 0x10; // half intensity
    if (code & 0x02)
        look |= 0x02; // blink
    if (code & 0x04)
        look |= 0x01; // blank
    if (code & 0x10)
        look |= 0x04; // reverse
    if (code & 0x20)
        look |= 0x08; // underline
    return look;
}

constexpr int defaultTagLook = 0x08; // underline, as the A2's initialisation leaves it

} // namespace

ViewpointEmulation::ViewpointEmulation(Model model, int rows, int cols, EmulationSink *sink)
    : CharEmulation(rows, cols, sink)
    , m_model(model)
    , m_tagLook(defaultTagLook)
{
    Behaviour b;
    b.autoWrap = true;
    b.backWrap = false;
    b.upWraps = true;
    b.rightWraps = true;
    b.attributeCookies = model == Model::Viewpoint60;
    setBehaviour(b);

    using C = ViewpointEmulation;
    using V = ViewpointEmulation;
    std::vector<Sequence> table = withBasicControls({
        { "\x01", &C::doHome, model == Model::A2Enhanced ? 0 : 1 },
        { "\x06", &C::doCursorRight },
        { "\x0c", &C::doEraseScreen, EraseAll | EraseHome },
        { "\x15", &C::doCursorLeft },
        { "\x1a", &C::doCursorUp },
        { "\x1bY%c%c", &C::doAddress },
        { "\x1bK", &C::doEraseLine, EraseToEnd },
        { "\x1bk", &C::doEraseScreen, EraseToEnd },
        { "\x1bM", &C::doInsertLine },
        { "\x1bl", &C::doDeleteLine },
        { "\x1b" "0%c", op(&V::doAttribute) },
        { "\x1b?", op(&V::doReportCursor) },
    });
    if (model != Model::Viewpoint60) {
        table.push_back({ "\x0e", op(&V::doTag), 1 });
        table.push_back({ "\x0f", op(&V::doTag), 0 });
    }
    if (model == Model::A2Enhanced) {
        const std::vector<Sequence> enhanced = {
            { "\x1bW", &C::doDeleteChar },
            { "\x1bq", &C::doInsertMode, 1 },
            { "\x1br", &C::doInsertMode, 0 },
            { "\x1b=%c%c", &C::doAddress },
            { "\x1b" "E", &C::doInsertLine },
            { "\x1bR", &C::doDeleteLine },
            { "\x1bQ", &C::doInsertChar },
            { "\x1bT", &C::doEraseLine, EraseToEnd },
            { "\x1bt", &C::doEraseLine, EraseToEnd },
            { "\x1by", &C::doEraseScreen, EraseToEnd },
            { "\x1b*", &C::doEraseScreen, EraseAll | EraseHome | EraseProtectedToo },
            { "\x1b+", &C::doEraseScreen, EraseAll | EraseHome },
            { "\x1bj", &C::doReverseIndex },
            { "\x1bI", &C::doBackTab },
            { "\x1b(", &C::doWriteProtect, 0 },
            { "\x1b)", &C::doWriteProtect, 1 },
            { "\x1b&", &C::doProtectMode, 1 },
            { "\x1b'", &C::doProtectMode, 0 },
            { "\x1bG%c", op(&V::doWyseAttribute) },
            { "\x1b`%c", op(&V::doScreenFeature) },
        };
        table.insert(table.end(), enhanced.begin(), enhanced.end());
    }
    setSequences(table);

    setKeys({
        { Qt::Key_Up, Plain, "\x1a" },
        { Qt::Key_Down, Plain, "\x0a" },
        { Qt::Key_Left, Plain, "\x15" },
        { Qt::Key_Right, Plain, "\x06" },
        { Qt::Key_Home, Plain, "\x01" },
    });
}

void ViewpointEmulation::resetFamily()
{
    m_tagLook = defaultTagLook;
    m_tag = false;
}

QByteArray ViewpointEmulation::functionKey(int n, bool shifted) const
{
    if (n < 1 || n > 16)
        return QByteArray();
    QByteArray bytes("\x02");
    bytes += char((shifted ? 0x20 : 0x30) + n);
    if (m_model == Model::Viewpoint60)
        bytes += '\r';
    return bytes;
}

void ViewpointEmulation::doAttribute(const SequenceArgs &a, int)
{
    const int look = attributeLook(a.value(0));
    if (behaviour().attributeCookies) {
        putCookie(look);
        return;
    }
    m_tagLook = look;
    if (m_tag)
        setPenLook(look);
}

void ViewpointEmulation::doTag(const SequenceArgs &, int param)
{
    m_tag = param != 0;
    setPenLook(m_tag ? m_tagLook : 0);
}

void ViewpointEmulation::doWyseAttribute(const SequenceArgs &a, int)
{
    const int code = a.value(0);
    setPenLook((code & 0x0F) | ((code & 0x40) ? LookDim : 0));
}

void ViewpointEmulation::doScreenFeature(const SequenceArgs &a, int)
{
    if (a.value(0) == '0')
        doCursorVisible(a, 0);
    else if (a.value(0) == '1')
        doCursorVisible(a, 1);
    else if (a.value(0) == '6')
        setProtectLook(LookReverse);
    else if (a.value(0) == '7')
        setProtectLook(LookDim);
}

void ViewpointEmulation::doReportCursor(const SequenceArgs &, int)
{
    answer(QByteArray(1, char(32 + row())) + char(32 + std::min(col(), 223)) + '\r');
}

} // namespace emu
