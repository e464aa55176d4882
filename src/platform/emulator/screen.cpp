#include "emulator/screen.h"

#include "emulator/emusettings.h"
#include "emulator/pcmonitoremulation.h"
#include "emulator/tekemulation.h"
#include "emulator/ttyemulation.h"
#include "emulator/viewpointemulation.h"
#include "emulator/vt52emulation.h"
#include "emulator/vtemulation.h"
#include "emulator/wyseemulation.h"

#include <algorithm>

namespace emu {

class Screen::Sink : public EmulationSink
{
public:
    explicit Sink(Screen *screen)
        : m_screen(screen)
    { }
    void rowsChanged(int first, int last) override { m_screen->onRowsChanged(first, last); }
    void lineScrolledOff(const Cell *cells, int n) override
    {
        m_screen->onLineScrolledOff(cells, n);
    }
    bool lineScrolledBack(Cell *cells, int n) override
    {
        return m_screen->onLineScrolledBack(cells, n);
    }
    void cursorMoved() override { m_screen->onCursorMoved(); }
    void bell() override { emit m_screen->bell(); }
    void answer(const QByteArray &bytes) override { emit m_screen->answer(bytes); }
    void printScreenRequested() override { emit m_screen->printScreenRequested(); }
    void statusLineChanged() override { m_screen->onStatusLineChanged(); }
    void graphicsChanged() override { m_screen->onGraphicsChanged(); }
    void paletteChanged(int index, quint32 rgb) override
    {
        emit m_screen->paletteChanged(index, rgb);
    }
    void columnModeRequested(bool wide) override { emit m_screen->columnModeRequested(wide); }

private:
    Screen *m_screen;
};

namespace {

// The emulation each terminal type runs on, and the escape sequences that only some types of
// the VT family know.
enum class Engine {
    Tty,
    Vt,
    Wyse50,
    Wyse60,
    ViewpointA2,
    Viewpoint60,
    ViewpointA2Enhanced,
    Vt52,
    PcMonitor,
    Tek4014,
    Tek4100
};
struct TypeEngine
{
    int termType;
    Engine engine;
    bool scoCursor;
    bool linuxPalette;
    VtKeyboard keyboard;
};
constexpr VtKeyboard NoVt = VtKeyboard::Vt100; // the keyboard of a type outside the VT family
constexpr TypeEngine typeEngines[] = {
    { 0, Engine::Tty, false, false, NoVt }, // TTY Emulation
    { 1, Engine::ViewpointA2, false, false, NoVt }, // ADDS Viewpoint A2
    { 2, Engine::Viewpoint60, false, false, NoVt }, // ADDS Viewpoint 60
    { 3, Engine::Viewpoint60, false, false, NoVt }, // Procomm VP60
    { 4, Engine::ViewpointA2Enhanced, false, false, NoVt }, // Viewpoint A2 Enhanced
    { 5, Engine::Wyse50, false, false, NoVt },
    { 6, Engine::Wyse60, false, false, NoVt },
    { 7, Engine::Vt52, false, false, NoVt },
    { 8, Engine::Vt, false, false, VtKeyboard::Vt220 },
    { 9, Engine::Vt, true, false, VtKeyboard::Ansi },
    { 10, Engine::PcMonitor, false, false, NoVt }, // Pick PC Monitor
    { 11, Engine::Tek4014, false, false, NoVt },
    { 12, Engine::Vt, false, false, VtKeyboard::Vt100 },
    { 13, Engine::Vt, false, false, VtKeyboard::Vt320 },
    { 14, Engine::Vt, false, false, VtKeyboard::Vt420 },
    { 15, Engine::Vt, true, false, VtKeyboard::Sco },
    { 16, Engine::Vt, true, true, VtKeyboard::Linux },
    { 17, Engine::Tek4100, false, false, NoVt },
};

const TypeEngine &typeEngine(int termType)
{
    for (const TypeEngine &t : typeEngines) {
        if (t.termType == termType)
            return t;
    }
    return typeEngines[0];
}

// The end (exclusive) of columns up to `to` (inclusive) in a row of n cells.
int columnsEnd(int to, int n)
{
    return to >= n - 1 ? n : to + 1;
}

QString trimmedRight(QString s)
{
    qsizetype n = s.size();
    while (n > 0 && s.at(n - 1) == u' ')
        --n;
    s.truncate(n);
    return s;
}

} // namespace

// How often feedWithin looks at the clock.
namespace pieceCheck {
constexpr qint64 nsPerMs = 1000 * 1000;
constexpr qint64 slowNs = nsPerMs / 2; // a piece that takes longer is halved
constexpr qsizetype minBytes = 8;
constexpr qsizetype maxBytes = 256; // what the costliest bytes take in a few milliseconds
} // namespace pieceCheck

Screen::Screen(int rows, int cols, int historyRows, QObject *parent)
    : QObject(parent)
    , m_history(historyRows, cols)
    , m_sink(std::make_unique<Sink>(this))
    , m_turnTimer(new QTimer(this))
    , m_piece(pieceCheck::minBytes)
{
    m_emulation = makeEmulation(0, rows, cols);
    m_dirty.assign(size_t(this->rows()), true);
    // A timer due at once runs when the event loop has looked at everything else.
    m_turnTimer->setSingleShot(true);
    m_turnTimer->setInterval(0);
    connect(m_turnTimer, &QTimer::timeout, this, &Screen::nextTurn);
}

Screen::~Screen() = default;

bool Screen::isVtFamily(int termType)
{
    return typeEngine(termType).engine == Engine::Vt;
}

std::unique_ptr<Emulation> Screen::makeEmulation(int termType, int rows, int cols)
{
    EmulationSink *sink = m_sink.get();
    std::unique_ptr<Emulation> e;
    switch (typeEngine(termType).engine) {
    case Engine::Tty:
        e = std::make_unique<TtyEmulation>(rows, cols, sink);
        break;
    case Engine::Vt:
        e = std::make_unique<VtEmulation>(rows, cols, sink);
        break;
    case Engine::Wyse50:
        e = std::make_unique<WyseEmulation>(WyseEmulation::Model::Wyse50, rows, cols, sink);
        break;
    case Engine::Wyse60:
        e = std::make_unique<WyseEmulation>(WyseEmulation::Model::Wyse60, rows, cols, sink);
        break;
    case Engine::ViewpointA2:
        e = std::make_unique<ViewpointEmulation>(
            ViewpointEmulation::Model::A2, rows, cols, sink);
        break;
    case Engine::Viewpoint60:
        e = std::make_unique<ViewpointEmulation>(
            ViewpointEmulation::Model::Viewpoint60, rows, cols, sink);
        break;
    case Engine::ViewpointA2Enhanced:
        e = std::make_unique<ViewpointEmulation>(
            ViewpointEmulation::Model::A2Enhanced, rows, cols, sink);
        break;
    case Engine::Vt52:
        e = std::make_unique<Vt52Emulation>(rows, cols, sink);
        break;
    case Engine::PcMonitor:
        e = std::make_unique<PcMonitorEmulation>(rows, cols, sink);
        break;
    case Engine::Tek4014:
        e = std::make_unique<TekEmulation>(TekEmulation::Model::Tek4014, rows, cols, sink);
        break;
    case Engine::Tek4100:
        e = std::make_unique<TekEmulation>(TekEmulation::Model::Tek4100, rows, cols, sink);
        break;
    }
    e->setAnswerBack(m_answerBack);
    e->setDialect(dialect());
    e->setOptions(m_options);
    return e;
}

HostDialect Screen::dialect() const
{
    HostDialect d;
    d.encoding = m_encoding;
    d.scoCursor = typeEngine(m_termType).scoCursor;
    d.linuxPalette = typeEngine(m_termType).linuxPalette;
    d.keyboard = typeEngine(m_termType).keyboard;
    return d;
}

void Screen::setTerminalType(int termType)
{
    catchUp();
    const bool changed = typeEngine(termType).engine != typeEngine(m_termType).engine;
    m_termType = termType;
    if (!changed) {
        m_emulation->setDialect(dialect());
        return;
    }
    m_emulation = makeEmulation(termType, rows(), cols());
    markAll();
}

void Screen::setOptions(const TerminalOptions &options)
{
    catchUp();
    if (options == m_options)
        return;
    m_options = options;
    m_emulation->setOptions(options);
    markAll();
}

void Screen::setHostEncoding(HostEncoding encoding)
{
    catchUp();
    m_encoding = encoding;
    m_emulation->setDialect(dialect());
}

void Screen::feed(const char *data, qsizetype len)
{
    catchUp();
    feedPiece(data, len);
}

void Screen::feedPiece(const char *data, qsizetype len)
{
    const bool outer = !m_feeding;
    m_feeding = true;
    m_emulation->feed(data, len);
    m_feeding = !outer;
}

void Screen::feedWithin(QByteArrayView bytes)
{
    if (behind()) {
        m_backlog.append(bytes);
        return;
    }
    const qsizetype fed = feedFor(bytes);
    if (fed < bytes.size())
        m_backlog = bytes.sliced(fed).toByteArray();
}

qsizetype Screen::feedFor(QByteArrayView bytes)
{
    if (!m_turn.isValid())
        m_turn.start();
    qint64 before = m_turn.nsecsElapsed();
    qsizetype at = 0;
    while (at < bytes.size() && before < qint64(feedBudgetMs) * pieceCheck::nsPerMs) {
        const qsizetype n = std::min(m_piece, bytes.size() - at);
        feedPiece(bytes.data() + at, n);
        at += n;
        // Pieces grow while cheap and shrink while costly, so that the budget is kept closely
        // whatever a byte costs.
        const qint64 now = m_turn.nsecsElapsed();
        const qint64 took = now - before;
        before = now;
        if (took > pieceCheck::slowNs)
            m_piece = std::max(pieceCheck::minBytes, m_piece / 2);
        else if (took < pieceCheck::slowNs / 4)
            m_piece = std::min(pieceCheck::maxBytes, m_piece * 2);
    }
    // Due from now: timers that fell due while this turn fed run before the next one.
    m_turnTimer->start();
    return at;
}

void Screen::nextTurn()
{
    m_turn.invalidate();
    if (!behind())
        return;
    const QByteArray waiting = m_backlog; // the backlog may grow while it is fed
    m_backlog.remove(0, feedFor(waiting));
    if (!behind())
        emit caughtUp();
}

void Screen::catchUp()
{
    if (!behind() || m_feeding)
        return;
    const QByteArray waiting = std::exchange(m_backlog, QByteArray());
    feedPiece(waiting.constData(), waiting.size());
    emit caughtUp();
}

void Screen::resize(int rows, int cols)
{
    catchUp();
    rows = std::max(1, rows);
    cols = std::max(1, cols);
    if (rows == this->rows() && cols == this->cols())
        return;
    // History lines take the new width before the emulation pushes or pulls lines.
    m_history.reshape(m_history.capacity(), cols);
    m_emulation->resize(rows, cols);
    m_dirty.assign(size_t(this->rows()), true);
    markAll();
}

void Screen::setHistoryCapacity(int lines)
{
    m_history.reshape(lines, cols());
    m_historyDirty = true;
    signalDamage();
}

void Screen::clearHistory()
{
    m_history.clear();
    m_historyDirty = true;
    signalDamage();
}

const Cell *Screen::lineCells(qint64 line, std::vector<Cell> &buffer) const
{
    if (line >= m_pushed) {
        const qint64 row = line - m_pushed;
        if (row >= rows())
            return nullptr;
        buffer.resize(size_t(cols()));
        readRow(int(row), buffer.data());
        return buffer.data();
    }
    const qint64 i = line - firstLine();
    return i >= 0 ? m_history.line(int(i)) : nullptr;
}

QString Screen::rowText(int row, int from, int to) const
{
    if (row < 0 || row >= rows())
        return QString();
    return lineText(screenLine(row), from, to);
}

QString Screen::historyText(int i, int from, int to) const
{
    if (i < 0 || i >= m_history.count())
        return QString();
    return lineText(firstLine() + i, from, to);
}

QString Screen::lineText(qint64 line, int from, int to) const
{
    std::vector<Cell> buffer;
    const Cell *cells = lineCells(line, buffer);
    return cells ? cellsText(cells, from, columnsEnd(to, cols())) : QString();
}

void Screen::putText(int row, int col, const QString &text, int colorCode)
{
    const Cell look = blankCell(colorCode);
    std::vector<Cell> cells;
    cells.reserve(size_t(text.size()));
    for (const char32_t ch : text.toUcs4()) {
        Cell cell = look;
        const bool control = ch < 0x20 || (ch >= 0x7F && ch < 0xA0);
        const int width = control ? 1 : charWidth(ch);
        if (width == 0)
            continue;
        cell.ch = control ? U' ' : ch;
        if (width == 2) {
            cell.flags = CellWide;
            cells.push_back(cell);
            cell.ch = U' ';
            cell.flags = CellWideTail;
        }
        cells.push_back(cell);
    }
    putCells(row, col, cells.data(), int(cells.size()));
}

void Screen::putCells(int row, int col, const Cell *cells, int n)
{
    catchUp();
    if (row < 0 || row >= rows() || n <= 0)
        return;
    if (col < 0) {
        cells -= col;
        n += col;
        col = 0;
    }
    if (n > 0 && col < cols())
        m_emulation->putCells(row, col, cells, std::min(n, cols() - col));
}

void Screen::clearRect(int left, int top, int right, int bottom, int colorCode)
{
    catchUp();
    left = std::max(0, left);
    top = std::max(0, top);
    right = std::min(cols() - 1, right);
    bottom = std::min(rows() - 1, bottom);
    if (left > right || top > bottom)
        return;
    const std::vector<Cell> blanks(size_t(right - left + 1), blankCell(colorCode));
    for (int r = top; r <= bottom; ++r)
        m_emulation->putCells(r, left, blanks.data(), int(blanks.size()));
}

void Screen::reset()
{
    catchUp();
    m_emulation->reset();
    markAll();
}

void Screen::setAnswerBack(const QByteArray &text)
{
    catchUp();
    m_answerBack = text;
    m_emulation->setAnswerBack(text);
}

void Screen::setSelection(Pos from, Pos to)
{
    m_hasSelection = true;
    m_selFrom = from;
    m_selTo = to;
    markAll();
}

void Screen::clearSelection()
{
    if (!m_hasSelection)
        return;
    m_hasSelection = false;
    markAll();
}

bool Screen::isSelected(qint64 line, int col) const
{
    if (!m_hasSelection)
        return false;
    const Pos p { line, col };
    return selectionStart() <= p && p <= selectionEnd();
}

bool Screen::wordAt(Pos pos, int *from, int *to) const
{
    std::vector<Cell> buffer;
    const Cell *cells = lineCells(pos.line, buffer);
    const int n = cols();
    auto inWord = [cells, n](int i) {
        return i >= 0 && i < n && (isWideTail(cells, i) || !QChar::isSpace(cells[i].ch));
    };
    if (!cells || !inWord(pos.col))
        return false;
    *from = *to = pos.col;
    while (inWord(*from - 1))
        --*from;
    while (inWord(*to + 1))
        ++*to;
    return true;
}

QString Screen::text(Pos from, Pos to) const
{
    if (to < from)
        std::swap(from, to);
    from.line = std::max(from.line, firstLine());
    to.line = std::min(to.line, endLine() - 1);
    QStringList lines;
    for (qint64 line = from.line; line <= to.line; ++line) {
        const int start = line == from.line ? std::max(0, from.col) : 0;
        const int end = line == to.line ? to.col : std::numeric_limits<int>::max();
        lines << trimmedRight(end < start ? QString() : lineText(line, start, end));
    }
    return lines.join(u'\n');
}

QString Screen::selectedText() const
{
    return m_hasSelection ? text(selectionStart(), selectionEnd()) : QString();
}

Screen::Damage Screen::takeDamage()
{
    Damage d;
    d.rows.swap(m_dirty);
    m_dirty.assign(size_t(rows()), false);
    d.rows.resize(size_t(rows()), true);
    d.history = m_historyDirty;
    d.cursor = m_cursorDirty;
    d.statusLine = m_statusDirty;
    d.graphics = m_graphicsDirty;
    m_historyDirty = m_cursorDirty = m_statusDirty = m_graphicsDirty = false;
    m_damageSignalled = false;
    return d;
}

void Screen::signalDamage()
{
    if (m_damageSignalled)
        return;
    m_damageSignalled = true;
    emit damaged();
}

void Screen::markAll()
{
    m_dirty.assign(size_t(rows()), true);
    m_historyDirty = true;
    m_cursorDirty = true;
    m_statusDirty = true;
    m_graphicsDirty = true;
    signalDamage();
}

void Screen::onStatusLineChanged()
{
    m_statusDirty = true;
    signalDamage();
}

void Screen::onGraphicsChanged()
{
    m_graphicsDirty = true;
    signalDamage();
}

void Screen::onRowsChanged(int first, int last)
{
    const int n = int(m_dirty.size());
    for (int r = std::max(0, first); r <= last && r < n; ++r)
        m_dirty[size_t(r)] = true;
    signalDamage();
}

void Screen::onLineScrolledOff(const Cell *cells, int n)
{
    m_history.push(cells, n);
    ++m_pushed;
    m_historyDirty = true;
}

bool Screen::onLineScrolledBack(Cell *cells, int n)
{
    if (m_history.count() == 0)
        return false;
    std::vector<Cell> line(size_t(m_history.cols()));
    m_history.popNewest(line.data());
    std::fill(cells, cells + n, Cell());
    std::copy_n(line.begin(), std::min(n, m_history.cols()), cells);
    --m_pushed;
    m_historyDirty = true;
    return true;
}

void Screen::onCursorMoved()
{
    m_cursorDirty = true;
    signalDamage();
}

} // namespace emu
