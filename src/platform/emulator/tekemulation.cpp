#include "emulator/tekemulation.h"

#include "emulator/controls.h"

#include <algorithm>

namespace emu {

namespace {

// Characters per line and lines per screen of the four character sizes.
constexpr int sizeColumns[] = { 74, 81, 121, 133 };
constexpr int sizeLines[] = { 35, 38, 58, 64 };

// One step of incremental plotting, in the 4096-point space (one point of 1024).
constexpr int step = 4;

// Steps of the arrow keys moving the crosshair: coarse, and fine with Shift (one address).
constexpr int crosshairStep = 32;
constexpr int crosshairFineStep = 4;

// Appends one character (beyond the Basic Multilingual Plane, a surrogate pair).
void appendChar(QString &text, char32_t ch)
{
    if (QChar::requiresSurrogates(ch)) {
        text.append(QChar(QChar::highSurrogate(ch)));
        text.append(QChar(QChar::lowSurrogate(ch)));
    } else
        text.append(QChar(char16_t(ch)));
}

} // namespace

TekEmulation::TekEmulation(Model model, int rows, int cols, EmulationSink *sink)
    : CharEmulation(rows, cols, sink)
    , m_model(model)
    , m_tekCode(model == Model::Tek4014)
{
    Behaviour b;
    b.autoWrap = true;
    b.pendingWrap = true; // the 4105's text margins
    b.rightWraps = false;
    setBehaviour(b);
    setIntercepting(true);

    using C = TekEmulation;
    using T = TekEmulation;
    const std::vector<Sequence> common = {
        { "\x07", &C::doBell },
        { "\x05", &C::doAnswerBack },
        { "\x1d", op(&T::doMode), int(Mode::Vector) },
        { "\x1c", op(&T::doMode), int(Mode::Point) },
        { "\x1e", op(&T::doMode), int(Mode::Incremental) },
        { "\x1f", op(&T::doMode), int(Mode::Alpha) },
        { "\x0d", op(&T::doAlphaControl), '\r' },
        { "\x0a", op(&T::doAlphaControl), '\n' },
        { "\x08", op(&T::doAlphaControl), '\b' },
        { "\x09", op(&T::doAlphaControl), '\t' },
        { "\x0b", op(&T::doAlphaControl), '\v' },
        { "\x1b\x0c", op(&T::doPage) },
        { "\x1b\x05", op(&T::doInquire) },
        { "\x1b" "8", op(&T::doCharSize), 0 },
        { "\x1b" "9", op(&T::doCharSize), 1 },
        { "\x1b:", op(&T::doCharSize), 2 },
        { "\x1b;", op(&T::doCharSize), 3 },
        { "\x1b`", op(&T::doLineStyle), 0 },
        { "\x1b" "a", op(&T::doLineStyle), 1 },
        { "\x1b" "b", op(&T::doLineStyle), 2 },
        { "\x1b" "c", op(&T::doLineStyle), 3 },
        { "\x1b" "d", op(&T::doLineStyle), 4 },
        { "\x1b\x0e", &C::doIgnore },
        { "\x1b\x0f", &C::doIgnore },
        { "\x1b\x17", &C::doIgnore },
        { "\x1b\x1a", op(&T::doGraphicsInput) },
    };
    if (model == Model::Tek4014) {
        setSequences(common);
        resetFamily();
        return;
    }
    std::vector<Sequence> tek = common;
    const std::vector<Sequence> commands = {
        { "\x1bLF", op(&T::doCommand), int(Command::Move) },
        { "\x1bLG", op(&T::doCommand), int(Command::Draw) },
        { "\x1bLH", op(&T::doCommand), int(Command::Marker) },
        { "\x1bLT", op(&T::doCommand), int(Command::Text) },
        { "\x1bML", op(&T::doCommand), int(Command::LineIndex) },
        { "\x1bMV", op(&T::doCommand), int(Command::LineStyle) },
        { "\x1bKA", op(&T::doCommand), int(Command::DialogArea) },
        { "\x1bLZ", op(&T::doClearDialog) },
        // Any other command, ESC % ! (select code) among them: see doCommand.
        { "\x1b%c%c", op(&T::doCommand), int(Command::Skip) },
    };
    tek.insert(tek.end(), commands.begin(), commands.end());
    std::vector<Sequence> ansi = withBasicControls({
        { "\x1b%%!%c", op(&T::doCode) },
        { "\x1b[=%pm", op(&T::doTekRendition) },
        { "\x1b[%pg", &C::doClearAllTabs },
        { "\x1b\x0c", op(&T::doPage) },
        { "\x1bLZ", op(&T::doClearDialog) },
    });
    const std::vector<Sequence> &csi = ansiSequences();
    ansi.insert(ansi.end(), csi.begin(), csi.end());
    m_tekTable = addSequences(tek);
    m_ansiTable = addSequences(ansi);
    resetFamily();
    setKeys({
        { Qt::Key_Up, Plain, "\x1b[1A" },
        { Qt::Key_Down, Plain, "\x1b[1B" },
        { Qt::Key_Right, Plain, "\x1b[1C" },
        { Qt::Key_Left, Plain, "\x1b[1D" },
    });
}

void TekEmulation::setTekCode(bool on)
{
    m_tekCode = on || m_model == Model::Tek4014;
    if (!m_tekCode)
        endGraphicsInput();
    if (m_model == Model::Tek4100)
        useSequences(m_tekCode ? m_tekTable : m_ansiTable);
}

void TekEmulation::resetFamily()
{
    m_layer.clear();
    m_mode = Mode::Alpha;
    m_charSize = 1;
    m_lineStyle = 0;
    m_lineIndex = 0;
    m_dark = true;
    m_penDown = false;
    m_command = Command::None;
    m_hiY = m_loY = m_hiX = m_extra = 0;
    m_gotLoY = m_lastWasLow = false;
    m_beam = QPoint(0, GraphicsLayer::height - lineHeight());
    m_graphicsInput = false;
    m_crosshair = QPoint(GraphicsLayer::width / 2, GraphicsLayer::height / 2);
    setTekCode(false);
    sink()->graphicsChanged();
}

int TekEmulation::charWidth() const
{
    return GraphicsLayer::width / sizeColumns[m_charSize];
}

int TekEmulation::lineHeight() const
{
    return GraphicsLayer::height / sizeLines[m_charSize];
}

QPoint TekEmulation::cursor() const
{
    if (m_model != Model::Tek4014)
        return CharEmulation::cursor();
    const int c = m_beam.x() * cols() / GraphicsLayer::width;
    const int r = (GraphicsLayer::height - 1 - m_beam.y()) * rows() / GraphicsLayer::height;
    return QPoint(std::clamp(c, 0, cols() - 1), std::clamp(r, 0, rows() - 1));
}

bool TekEmulation::cursorVisible() const
{
    return m_model != Model::Tek4014 && CharEmulation::cursorVisible();
}

void TekEmulation::add(GraphicsItem item)
{
    if (!options().graphics)
        return;
    item.color = quint8(m_lineIndex);
    item.style = quint8(m_lineStyle);
    item.size = quint8(m_charSize);
    m_runItems = 0; // no text run goes on in a new item
    if (m_layer.add(std::move(item)))
        sink()->graphicsChanged();
}

// --- Modes and controls ----------------------------------------------------------------------

// A new host's text is text: an address or a command the last host left unfinished goes, and
// so does graph mode.
void TekEmulation::newLink()
{
    CharEmulation::newLink();
    doMode(SequenceArgs(), int(Mode::Alpha));
}

void TekEmulation::doMode(const SequenceArgs &, int param)
{
    endGraphicsInput();
    m_mode = Mode(param);
    m_command = Command::None;
    m_gotLoY = m_lastWasLow = false;
    // Entering graph mode, the first address only moves the beam.
    if (m_mode == Mode::Vector)
        m_dark = true;
    if (m_mode == Mode::Incremental)
        m_penDown = false;
}

void TekEmulation::doAlphaControl(const SequenceArgs &a, int param)
{
    if (param == '\r') {
        m_mode = Mode::Alpha;
        endGraphicsInput();
    }
    if (m_model != Model::Tek4014) {
        switch (param) {
        case '\r':
            doCarriageReturn(a, 0);
            break;
        case '\n':
            doLineFeed(a, 0);
            break;
        case '\b':
            doCursorLeft(a, 0);
            break;
        case '\t':
            doTab(a, 0);
            break;
        default:
            doCursorUp(a, 0);
            break;
        }
        return;
    }
    const int top = GraphicsLayer::height - lineHeight();
    switch (param) {
    case '\r':
        m_beam.setX(0);
        break;
    case '\n':
        // At the bottom the beam goes back to the top line (a storage tube does not scroll).
        m_beam.setY(m_beam.y() - lineHeight() < 0 ? top : m_beam.y() - lineHeight());
        break;
    case '\b':
        m_beam.setX(std::max(0, m_beam.x() - charWidth()));
        break;
    case '\t':
        m_beam.setX(std::min(GraphicsLayer::width - charWidth(), m_beam.x() + charWidth()));
        break;
    default:
        m_beam.setY(std::min(top, m_beam.y() + lineHeight()));
        break;
    }
}

void TekEmulation::doPage(const SequenceArgs &a, int)
{
    m_layer.clear();
    doEraseScreen(a, EraseAll | EraseHome);
    endGraphicsInput();
    m_mode = Mode::Alpha;
    m_beam = QPoint(0, GraphicsLayer::height - lineHeight());
    sink()->graphicsChanged();
}

void TekEmulation::doInquire(const SequenceArgs &, int)
{
    // The status byte (alpha mode sets 4), then the address of the crosshair during graphics
    // input, else the beam's.
    const char status = char(0x20 | (m_mode == Mode::Alpha ? 0x04 : 0));
    const QPoint point = m_graphicsInput ? m_crosshair : m_beam;
    endGraphicsInput();
    answer(report(status, point));
}

void TekEmulation::doGraphicsInput(const SequenceArgs &, int)
{
    m_graphicsInput = true;
    sink()->graphicsChanged();
}

QByteArray TekEmulation::report(char first, QPoint point)
{
    const int x = std::clamp(point.x(), 0, GraphicsLayer::width - 1) >> 2;
    const int y = std::clamp(point.y(), 0, GraphicsLayer::height - 1) >> 2;
    const char bytes[] = { first, char(0x20 | (x >> 5)), char(0x20 | (x & 31)),
        char(0x20 | (y >> 5)), char(0x20 | (y & 31)), '\r' };
    return QByteArray(bytes, sizeof bytes);
}

// --- Graphics input ----------------------------------------------------------------------------

std::optional<QPoint> TekEmulation::graphicsInput() const
{
    if (!m_graphicsInput)
        return std::nullopt;
    return m_crosshair;
}

void TekEmulation::moveGraphicsInput(QPoint point)
{
    m_crosshair = QPoint(std::clamp(point.x(), 0, GraphicsLayer::width - 1),
        std::clamp(point.y(), 0, GraphicsLayer::height - 1));
}

void TekEmulation::pickGraphicsInput(char ch)
{
    if (!m_graphicsInput)
        return;
    endGraphicsInput();
    answer(report(ch, m_crosshair));
}

void TekEmulation::endGraphicsInput()
{
    if (!m_graphicsInput)
        return;
    m_graphicsInput = false;
    sink()->graphicsChanged();
}

QByteArray TekEmulation::key(int qtKey, Qt::KeyboardModifiers mods, const QString &text)
{
    if (!m_graphicsInput)
        return CharEmulation::key(qtKey, mods, text);
    if (crosshairKey(qtKey, mods))
        return QByteArray();
    // A key that sends one character picks the place with it; others do nothing meanwhile.
    const QByteArray bytes = CharEmulation::key(qtKey, mods, text);
    if (bytes.size() != 1)
        return QByteArray();
    endGraphicsInput();
    return report(bytes.at(0), m_crosshair);
}

bool TekEmulation::crosshairKey(int qtKey, Qt::KeyboardModifiers mods)
{
    const int distance = (mods & Qt::ShiftModifier) ? crosshairFineStep : crosshairStep;
    QPoint move;
    switch (qtKey) {
    case Qt::Key_Left:
        move = QPoint(-distance, 0);
        break;
    case Qt::Key_Right:
        move = QPoint(distance, 0);
        break;
    case Qt::Key_Up:
        move = QPoint(0, distance);
        break;
    case Qt::Key_Down:
        move = QPoint(0, -distance);
        break;
    default:
        return false;
    }
    moveGraphicsInput(m_crosshair + move);
    sink()->graphicsChanged();
    return true;
}

void TekEmulation::doCharSize(const SequenceArgs &, int param)
{
    m_charSize = param;
}

void TekEmulation::doLineStyle(const SequenceArgs &, int param)
{
    m_lineStyle = param;
}

void TekEmulation::doCode(const SequenceArgs &a, int)
{
    setTekCode(a.value(0) == '0');
    m_mode = Mode::Alpha;
    m_command = Command::None;
}

void TekEmulation::doCommand(const SequenceArgs &a, int param)
{
    m_command = Command(param);
    // ESC % ! n: the code n follows; other commands have their parameters skipped.
    if (m_command == Command::Skip && a.value(0) == '%' && a.value(1) == '!')
        m_command = Command::Code;
    m_intValue = 0;
    m_textLeft = -1;
    m_text.clear();
    m_gotLoY = m_lastWasLow = false;
}

void TekEmulation::doClearDialog(const SequenceArgs &a, int)
{
    doEraseScreen(a, EraseAll | EraseHome);
}

void TekEmulation::doTekRendition(const SequenceArgs &a, int)
{
    // ESC [ = n ; < r m: r 1 normal, 2 underline, 3 reverse, 4 bold, 5 blank, 6 dim, 7 blink.
    static constexpr int looks[] = { 0, 0, LookUnderline, LookReverse, LookBold, LookBlank,
        LookDim, LookBlink };
    const int r = a.param(1, 1);
    setPenLook(r >= 0 && r < int(std::size(looks)) ? looks[r] : 0);
}

// --- Characters in Tektronix code -------------------------------------------------------------

bool TekEmulation::intercept(char32_t ch)
{
    if (!m_tekCode)
        return false;
    if (m_command != Command::None)
        return commandParameter(ch);
    if (ch < 0x20 || ch == ESC)
        return false;
    switch (m_mode) {
    case Mode::Alpha:
        if (m_model != Model::Tek4014)
            return false; // the 4100 writes alpha text into its dialog area
        alphaChar(ch);
        return true;
    case Mode::Vector:
    case Mode::Point: {
        QPoint point;
        if (!address(ch, &point))
            return true;
        if (m_mode == Mode::Point) {
            add({ GraphicsItem::Kind::Point, 0, 0, 0, point, point, {} });
        } else if (!m_dark) {
            add({ GraphicsItem::Kind::Line, 0, 0, 0, m_beam, point, {} });
        }
        m_dark = false;
        m_beam = point;
        return true;
    }
    case Mode::Incremental:
        return incremental(ch);
    }
    return true;
}

bool TekEmulation::address(char32_t ch, QPoint *point)
{
    if (ch >= 0x80)
        return false;
    const int bits = int(ch) & 31;
    if (ch >= 0x20 && ch < 0x40) {
        // High Y, or high X once low Y came.
        (m_gotLoY ? m_hiX : m_hiY) = bits;
        m_lastWasLow = false;
        return false;
    }
    if (ch >= 0x60) {
        // Two low-Y bytes in a row: the first was the extra byte of a 12-bit address.
        if (m_lastWasLow)
            m_extra = m_loY;
        m_loY = bits;
        m_gotLoY = m_lastWasLow = true;
        return false;
    }
    // Low X ends the address.
    const int x = (m_hiX << 7) | (bits << 2) | (m_extra & 3);
    const int y = (m_hiY << 7) | (m_loY << 2) | ((m_extra >> 2) & 3);
    m_gotLoY = m_lastWasLow = false;
    *point = QPoint(std::min(x, GraphicsLayer::width - 1), std::min(y, GraphicsLayer::height - 1));
    return true;
}

bool TekEmulation::incremental(char32_t ch)
{
    struct Direction
    {
        char32_t ch;
        int dx;
        int dy;
    };
    static constexpr Direction directions[] = {
        { 'D', 0, 1 },
        { 'E', 1, 1 },
        { 'A', 1, 0 },
        { 'I', 1, -1 },
        { 'H', 0, -1 },
        { 'J', -1, -1 },
        { 'B', -1, 0 },
        { 'F', -1, 1 },
    };
    if (ch == ' ') {
        m_penDown = false;
        return true;
    }
    if (ch == 'P') {
        m_penDown = true;
        return true;
    }
    for (const Direction &d : directions) {
        if (d.ch == ch) {
            m_beam = QPoint(std::clamp(m_beam.x() + d.dx * step, 0, GraphicsLayer::width - 1),
                std::clamp(m_beam.y() + d.dy * step, 0, GraphicsLayer::height - 1));
            if (m_penDown)
                add({ GraphicsItem::Kind::Point, 0, 0, 0, m_beam, m_beam, {} });
            return true;
        }
    }
    return true;
}

void TekEmulation::alphaChar(char32_t ch)
{
    if (m_beam.x() + charWidth() > GraphicsLayer::width) {
        SequenceArgs none;
        doAlphaControl(none, '\r');
        doAlphaControl(none, '\n');
    }
    // A run of text on one line is one item: the last one, when this character goes where its
    // text ends.
    GraphicsItem *last = m_layer.last();
    if (last && m_layer.items().size() == m_runItems && m_beam == m_runEnd
        && last->kind == GraphicsItem::Kind::Text && last->size == m_charSize
        && last->color == m_lineIndex && last->text.size() < SequenceMatcher::maxText
        && options().graphics) {
        appendChar(last->text, ch);
        sink()->graphicsChanged();
    } else {
        QString text;
        appendChar(text, ch);
        add({ GraphicsItem::Kind::Text, 0, 0, 0, m_beam, m_beam, text });
    }
    m_beam.rx() += charWidth();
    m_runItems = m_layer.items().size();
    m_runEnd = m_beam;
}

// --- The 4100 commands' parameters ---------------------------------------------------------------

bool TekEmulation::commandParameter(char32_t ch)
{
    if (ch < 0x20 || ch == ESC || ch >= 0x80) {
        m_command = Command::None; // a control ends whatever was under way
        return false;
    }
    switch (m_command) {
    case Command::Move:
    case Command::Draw:
    case Command::Marker: {
        QPoint point;
        if (!address(ch, &point))
            return true;
        if (m_command == Command::Draw)
            add({ GraphicsItem::Kind::Line, 0, 0, 0, m_beam, point, {} });
        else if (m_command == Command::Marker)
            add({ GraphicsItem::Kind::Point, 0, 0, 0, point, point, {} });
        m_beam = point;
        m_command = Command::None;
        return true;
    }
    case Command::Skip:
        return true;
    case Command::Code:
        setTekCode(ch == '0');
        m_mode = Mode::Alpha;
        m_command = Command::None;
        return true;
    default:
        break;
    }
    if (m_command == Command::Text && m_textLeft >= 0) {
        m_text += QChar(char16_t(ch));
        if (--m_textLeft == 0)
            commandDone();
        return true;
    }
    // An integer: high characters (0x40-0x7F) give six bits each, the low one (0x20-0x3F) four
    // bits and the sign.
    if (ch >= 0x40) {
        m_intValue = std::min(m_intValue, 1 << 20) << 6 | (int(ch) & 0x3F);
        return true;
    }
    int value = (m_intValue << 4) | (int(ch) & 0x0F);
    if (!(ch & 0x10))
        value = -value;
    m_intValue = 0;
    switch (m_command) {
    case Command::LineIndex:
        m_lineIndex = std::clamp(value, 0, 15);
        break;
    case Command::LineStyle:
        m_lineStyle = std::clamp(value, 0, 7);
        break;
    case Command::Text:
        m_textLeft = std::clamp(value, 0, SequenceMatcher::maxText);
        if (m_textLeft > 0)
            return true;
        break;
    default:
        break;
    }
    commandDone();
    return true;
}

void TekEmulation::commandDone()
{
    if (m_command == Command::Text && !m_text.isEmpty())
        add({ GraphicsItem::Kind::Text, 0, 0, 0, m_beam, m_beam, m_text });
    m_command = Command::None;
    m_text.clear();
}

} // namespace emu
