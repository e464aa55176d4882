#include "emulator/charemulation.h"

#include "emulator/emulog.h"

#include <algorithm>

namespace emu {

namespace {

// Bytes of host data decoded at a time.
constexpr qsizetype feedSlice = 16 * 1024;

bool printable(char32_t c)
{
    return (c >= 0x20 && c < 0x7F) || c >= 0xA0;
}

int keyMods(Qt::KeyboardModifiers mods)
{
    return ((mods & Qt::ShiftModifier) ? 1 : 0) | ((mods & Qt::ControlModifier) ? 2 : 0);
}

} // namespace

char32_t pcGraphic(int i)
{
    return i >= 0 && i < 128 ? char32_t(cp437Upper[i]) : char32_t(' ');
}

CharEmulation::CharEmulation(int rows, int cols, EmulationSink *sink)
    : m_sink(sink)
    , m_grid(rows, cols)
    , m_pages(1, Grid(rows, cols))
    , m_toHistory([this](const Cell *line) { lineLeaving(line); })
{
    m_tabs.assign(size_t(this->cols()), false);
    for (int c = 8; c < this->cols(); c += 8)
        m_tabs[size_t(c)] = true;
}

std::vector<CharEmulation::Sequence> CharEmulation::withBasicControls(
    const std::vector<Sequence> &more)
{
    using C = CharEmulation;
    std::vector<Sequence> table = {
        { "\x05", &C::doAnswerBack },
        { "\x07", &C::doBell },
        { "\x08", &C::doCursorLeft },
        { "\x09", &C::doTab },
        { "\x0a", &C::doLineFeed },
        { "\x0d", &C::doCarriageReturn },
    };
    table.insert(table.end(), more.begin(), more.end());
    return table;
}

void CharEmulation::setSequences(const std::vector<Sequence> &table)
{
    m_tables.clear();
    useSequences(addSequences(table));
}

int CharEmulation::addSequences(const std::vector<Sequence> &table)
{
    Table t;
    std::vector<QByteArray> patterns;
    for (const Sequence &s : table) {
        patterns.emplace_back(s.pattern);
        t.handlers.push_back(s.handler);
        t.params.push_back(s.param);
    }
    t.matcher = SequenceMatcher(patterns);
    m_tables.push_back(std::move(t));
    return int(m_tables.size()) - 1;
}

void CharEmulation::setDialect(const HostDialect &dialect)
{
    if (dialect.encoding != m_decoder.encoding())
        m_decoder.setEncoding(dialect.encoding);
}

void CharEmulation::setOptions(const TerminalOptions &options)
{
    const bool lookChanged = options.protectLook != m_options.protectLook;
    m_options = options;
    if (lookChanged)
        markRows(0, rows() - 1);
}

// --- Host data -------------------------------------------------------------------------------

void CharEmulation::feed(const char *data, qsizetype len)
{
    for (qsizetype at = 0; at < len; at += feedSlice) {
        m_chars.clear();
        m_decoder.decode(QByteArrayView(data + at, std::min(feedSlice, len - at)),
            [this](char32_t ch) { m_chars.push_back(ch); });
        for (const char32_t ch : m_chars)
            process(ch);
    }
    flushRows();
    if (len > 0)
        m_sink->cursorMoved();
}

void CharEmulation::process(char32_t ch)
{
    Table &table = m_tables[m_table];
    if (m_intercepting && table.matcher.idle() && intercept(ch))
        return;
    switch (table.matcher.feed(ch)) {
    case SequenceMatcher::Result::Plain:
        if (printable(ch))
            print(ch);
        return; // other controls (and C1) mean nothing to these terminals
    case SequenceMatcher::Result::Pending:
        return;
    case SequenceMatcher::Result::Matched: {
        m_wrapPending = false;
        const size_t i = size_t(table.matcher.matched());
        (this->*table.handlers[i])(table.matcher.args(), table.params[i]);
        return;
    }
    }
}

void CharEmulation::print(char32_t ch)
{
    if (m_graphics)
        ch = graphicChar(ch);
    const int width = charWidth(ch);
    if (width == 0) {
        // A combining mark has no cell of its own: it joins the character before the cursor.
        if (m_grid.combineBefore(m_row, m_wrapPending ? cols() : m_col, ch))
            m_changed.mark(m_row);
        return;
    }
    if (m_protectMode && !skipProtected())
        return;
    const bool wide = width == 2 && cols() > 1;
    if (m_wrapPending) {
        m_wrapPending = false;
        m_col = 0;
        doLineFeed({}, 0);
    }
    if (wide && m_col == cols() - 1) {
        if (!m_behaviour.autoWrap)
            return;
        m_col = 0;
        doLineFeed({}, 0);
    }
    Cell *line = m_grid.row(m_row);
    if (m_insertMode) {
        const int shift = wide ? 2 : 1;
        std::copy_backward(line + m_col, line + cols() - shift, line + cols());
    }
    Cell cell = m_pen;
    cell.ch = ch;
    cell.flags = quint8(m_pen.flags & (CellDim | CellConcealed));
    if (m_writeProtect)
        cell.flags |= CellProtected;
    m_grid.putChar(m_row, m_col, cell, wide);
    m_changed.mark(m_row);
    const int next = m_col + (wide ? 2 : 1);
    if (next < cols()) {
        m_col = next;
    } else if (m_behaviour.autoWrap && m_behaviour.pendingWrap) {
        m_col = cols() - 1;
        m_wrapPending = true;
    } else if (m_behaviour.autoWrap) {
        m_col = 0;
        doLineFeed({}, 0);
    } else {
        m_col = cols() - 1;
    }
}

bool CharEmulation::skipProtected()
{
    // Text goes to the next unprotected place, line after line, round to where it started;
    // rows known to be protected throughout are passed at once.
    const Grid &grid = m_grid;
    for (int n = 0; n <= rows(); ++n) {
        const int r = (m_row + n) % rows();
        if (grid.allProtected(r))
            continue;
        const Cell *line = grid.row(r);
        const int from = n == 0 ? m_col : 0;
        const int end = n == rows() ? m_col : cols();
        for (int c = from; c < end; ++c) {
            if (!(line[c].flags & CellProtected)) {
                m_row = r;
                m_col = c;
                return true;
            }
        }
    }
    return false;
}

void CharEmulation::flushRows()
{
    m_changed.report(m_sink);
}

void CharEmulation::markRows(int first, int last)
{
    m_changed.mark(std::max(0, first), std::min(rows() - 1, last));
}

// --- Cursor --------------------------------------------------------------------------------

void CharEmulation::moveTo(int row, int col)
{
    m_wrapPending = false;
    m_row = std::clamp(row, 0, rows() - 1);
    m_col = std::clamp(col, 0, cols() - 1);
}

void CharEmulation::doCarriageReturn(const SequenceArgs &, int)
{
    m_col = 0;
}

void CharEmulation::doLineFeed(const SequenceArgs &, int)
{
    if (m_row < rows() - 1)
        ++m_row;
    else
        scrollUp(1);
}

void CharEmulation::doNewLine(const SequenceArgs &a, int)
{
    m_col = 0;
    doLineFeed(a, 0);
}

void CharEmulation::doCursorLeft(const SequenceArgs &, int)
{
    if (m_col > 0) {
        --m_col;
    } else if (m_behaviour.backWrap && m_row > 0) {
        --m_row;
        m_col = cols() - 1;
    }
}

void CharEmulation::doCursorRight(const SequenceArgs &, int)
{
    if (m_col < cols() - 1) {
        ++m_col;
    } else if (m_behaviour.rightWraps && m_row < rows() - 1) {
        m_col = 0;
        ++m_row;
    }
}

void CharEmulation::doCursorUp(const SequenceArgs &, int)
{
    if (m_row > 0)
        --m_row;
    else if (m_behaviour.upWraps)
        m_row = rows() - 1;
}

void CharEmulation::doCursorDown(const SequenceArgs &, int)
{
    if (m_row < rows() - 1)
        ++m_row;
}

void CharEmulation::doHome(const SequenceArgs &, int param)
{
    moveTo(param == 1 ? rows() - 1 : 0, 0);
}

void CharEmulation::doAddress(const SequenceArgs &a, int param)
{
    int row = a.value(0) - 32;
    int col = a.value(1) - 32;
    if (param == 1)
        std::swap(row, col);
    moveTo(row, col);
}

void CharEmulation::doAddressDecimal(const SequenceArgs &a, int)
{
    moveTo(a.value(0) - 1, a.value(1) - 1);
}

void CharEmulation::doTab(const SequenceArgs &, int)
{
    int c = m_col + 1;
    while (c < cols() - 1 && !m_tabs[size_t(c)])
        ++c;
    m_col = std::min(c, cols() - 1);
}

void CharEmulation::doBackTab(const SequenceArgs &, int)
{
    int c = m_col - 1;
    while (c > 0 && !m_tabs[size_t(c)])
        --c;
    m_col = std::max(c, 0);
}

void CharEmulation::doSetTab(const SequenceArgs &, int)
{
    m_tabs[size_t(m_col)] = true;
}

void CharEmulation::doClearTab(const SequenceArgs &, int)
{
    m_tabs[size_t(m_col)] = false;
}

void CharEmulation::doClearAllTabs(const SequenceArgs &, int)
{
    std::fill(m_tabs.begin(), m_tabs.end(), false);
}

void CharEmulation::doReverseIndex(const SequenceArgs &, int)
{
    if (m_row > 0)
        --m_row;
    else
        scrollDown(1);
}

void CharEmulation::doSaveCursor(const SequenceArgs &, int)
{
    m_saved = { m_row, m_col, m_pen };
}

void CharEmulation::doRestoreCursor(const SequenceArgs &, int)
{
    moveTo(m_saved.row, m_saved.col);
    m_pen = m_saved.pen;
}

void CharEmulation::doCursorVisible(const SequenceArgs &, int param)
{
    m_cursorVisible = param != 0;
}

// --- Scrolling, erasing, insert and delete -------------------------------------------------

Cell CharEmulation::blankCell() const
{
    return erasedCell(m_pen);
}

void CharEmulation::lineLeaving(const Cell *line)
{
    // The top line: nothing above it gives it attributes, so without attribute cells it goes as
    // it is.
    if (!m_behaviour.attributeCookies
        || std::none_of(line, line + cols(), [](const Cell &c) { return c.flags & CellCookie; })) {
        m_sink->lineScrolledOff(line, cols());
        return;
    }
    std::vector<Cell> &shown = m_leaving;
    shown.resize(size_t(cols()));
    int look = 0;
    for (int c = 0; c < cols(); ++c) {
        Cell cell = line[c];
        if (cell.flags & CellCookie) {
            look = int(cell.bg);
            cell = Cell();
        } else if (look != 0) {
            cell = lookCell(cell, look);
        }
        shown[size_t(c)] = cell;
    }
    m_sink->lineScrolledOff(shown.data(), cols());
}

void CharEmulation::scrollUp(int n)
{
    // Every row moves: the rows marked before are marked with all of them.
    m_grid.scroll(0, rows(), n, blankCell(), m_toHistory);
    markRows(0, rows() - 1);
}

void CharEmulation::scrollDown(int n)
{
    m_grid.scroll(0, rows(), -n, blankCell());
    markRows(0, rows() - 1);
}

void CharEmulation::eraseCells(Cell *line, int from, int end, int erase)
{
    const bool keepProtected = m_protectMode && !(erase & EraseProtectedToo);
    Cell blank = blankCell();
    if (erase & EraseProtectedFill)
        blank.flags |= CellProtected;
    from = std::max(0, from);
    end = std::min(end, cols());
    if (!keepProtected) {
        std::fill(line + from, line + std::max(from, end), blank);
        return;
    }
    for (int c = from; c < end; ++c) {
        if (!(line[c].flags & CellProtected))
            line[c] = blank;
    }
}

void CharEmulation::clearRows(int first, int end, int fromCol, int toCol, int erase)
{
    // A whole row erased again the same way, unwritten since, stays as it is.
    const quint32 token = fromCol <= 0 && toCol >= cols() ? eraseToken(erase) : 0;
    for (int r = std::max(0, first); r < std::min(end, rows()); ++r) {
        if (token != 0 && m_grid.erasedBy(r, token))
            continue;
        eraseCells(m_grid.row(r), fromCol, toCol, erase);
        if (token != 0)
            m_grid.noteErased(r, token);
    }
    markRows(first, end - 1);
}

quint32 CharEmulation::eraseToken(int erase)
{
    const bool keepProtected = m_protectMode && !(erase & EraseProtectedToo);
    const EraseWay way { blankCell(), keepProtected, bool(erase & EraseProtectedFill) };
    if (m_eraseToken == 0 || !(way == m_eraseWay)) {
        m_eraseWay = way;
        if (++m_eraseToken == 0)
            ++m_eraseToken; // 0 names no erase
    }
    return m_eraseToken;
}

void CharEmulation::doEraseLine(const SequenceArgs &, int param)
{
    const int part = param & 3;
    const int from = part == EraseToEnd ? m_col : 0;
    const int end = part == EraseToStart ? m_col + 1 : cols();
    clearRows(m_row, m_row + 1, from, end, param);
}

void CharEmulation::doEraseScreen(const SequenceArgs &, int param)
{
    switch (param & 3) {
    case EraseToEnd:
        clearRows(m_row, m_row + 1, m_col, cols(), param);
        clearRows(m_row + 1, rows(), 0, cols(), param);
        break;
    case EraseToStart:
        clearRows(0, m_row, 0, cols(), param);
        clearRows(m_row, m_row + 1, 0, m_col + 1, param);
        break;
    default:
        clearRows(0, rows(), 0, cols(), param);
        break;
    }
    if (param & EraseHome)
        moveTo(0, 0);
}

void CharEmulation::doInsertLine(const SequenceArgs &a, int)
{
    m_grid.scroll(m_row, rows(), -a.count(0), blankCell());
    m_col = 0;
    markRows(m_row, rows() - 1);
}

void CharEmulation::doDeleteLine(const SequenceArgs &a, int)
{
    m_grid.scroll(m_row, rows(), a.count(0), blankCell());
    m_col = 0;
    markRows(m_row, rows() - 1);
}

void CharEmulation::doInsertChar(const SequenceArgs &a, int)
{
    const int n = std::min(a.count(0), cols() - m_col);
    Cell *line = m_grid.row(m_row);
    std::copy_backward(line + m_col, line + cols() - n, line + cols());
    std::fill(line + m_col, line + m_col + n, blankCell());
    markRows(m_row, m_row);
}

void CharEmulation::doDeleteChar(const SequenceArgs &a, int)
{
    const int n = std::min(a.count(0), cols() - m_col);
    Cell *line = m_grid.row(m_row);
    std::copy(line + m_col + n, line + cols(), line + m_col);
    std::fill(line + cols() - n, line + cols(), blankCell());
    markRows(m_row, m_row);
}

void CharEmulation::doInsertMode(const SequenceArgs &, int param)
{
    m_insertMode = param != 0;
}

// --- Attributes, protection, graphics ------------------------------------------------------

Cell CharEmulation::lookCell(Cell cell, int look)
{
    if (look & LookReverse)
        cell.attr |= AttrReverse;
    if (look & LookUnderline)
        cell.attr |= AttrUnderline;
    if (look & LookBlink)
        cell.attr |= AttrBlink;
    if (look & LookBold)
        cell.attr |= AttrBold;
    if (look & LookDim)
        cell.flags |= CellDim;
    if (look & LookBlank)
        cell.flags |= CellConcealed;
    return cell;
}

void CharEmulation::setPenLook(int look)
{
    m_pen = lookCell(erasedCell(m_pen), look);
}

int CharEmulation::penLook() const
{
    int look = 0;
    if (m_pen.attr & AttrReverse)
        look |= LookReverse;
    if (m_pen.attr & AttrUnderline)
        look |= LookUnderline;
    if (m_pen.attr & AttrBlink)
        look |= LookBlink;
    if (m_pen.attr & AttrBold)
        look |= LookBold;
    if (m_pen.flags & CellDim)
        look |= LookDim;
    if (m_pen.flags & CellConcealed)
        look |= LookBlank;
    return look;
}

void CharEmulation::putCookie(int look)
{
    // The look rides in the background byte of the cell, which shows as a plain blank.
    Cell cookie;
    cookie.bg = quint8(look);
    cookie.flags = CellCookie;
    if (m_writeProtect)
        cookie.flags |= CellProtected;
    m_grid.putChar(m_row, m_col, cookie, false);
    // The look reaches every later row.
    markRows(m_row, rows() - 1);
    if (m_col + 1 < cols()) {
        ++m_col;
    } else if (m_behaviour.autoWrap) {
        m_col = 0;
        doLineFeed({}, 0);
    }
}

int CharEmulation::lookBefore(int row) const
{
    for (int r = row - 1; r >= 0; --r) {
        const Cell *line = m_grid.row(r);
        for (int c = cols() - 1; c >= 0; --c) {
            if (line[c].flags & CellCookie)
                return int(line[c].bg);
        }
    }
    return 0;
}

void CharEmulation::resolveRow(int row, Cell *out) const
{
    static constexpr int looks[] = { LookDim, LookReverse, LookUnderline, LookDim | LookReverse, 0 };
    const int protectLook = m_protectLook >= 0
        ? m_protectLook
        : looks[std::clamp(m_options.protectLook, 0, int(std::size(looks)) - 1)];
    const Cell *line = m_grid.row(row);
    int look = m_behaviour.attributeCookies ? lookBefore(row) : 0;
    for (int c = 0; c < cols(); ++c) {
        Cell cell = line[c];
        if (cell.flags & CellCookie) {
            look = int(cell.bg);
            cell = Cell();
            cell.flags = line[c].flags & (CellCookie | CellProtected);
        } else if (look != 0) {
            cell = lookCell(cell, look);
        }
        if (cell.flags & CellProtected)
            cell = lookCell(cell, protectLook);
        out[c] = cell;
    }
}

void CharEmulation::doWriteProtect(const SequenceArgs &, int param)
{
    m_writeProtect = param != 0;
}

void CharEmulation::doProtectMode(const SequenceArgs &, int param)
{
    m_protectMode = param != 0;
}

void CharEmulation::doGraphics(const SequenceArgs &, int param)
{
    m_graphics = param != 0;
}

void CharEmulation::doGraphicChar(const SequenceArgs &a, int)
{
    const auto ch = char32_t(a.value(0));
    if (!printable(ch)) {
        // A control is no graphic character: it ends the sequence and acts as itself.
        process(ch);
        return;
    }
    const bool graphics = m_graphics;
    m_graphics = true;
    print(ch);
    m_graphics = graphics;
}

// --- Bell, answers, status line, programmed keys ------------------------------------------

void CharEmulation::doBell(const SequenceArgs &, int)
{
    m_sink->bell();
}

void CharEmulation::doAnswerBack(const SequenceArgs &, int)
{
    if (!m_answerBack.isEmpty())
        m_sink->answer(m_answerBack);
}

void CharEmulation::doStatusText(const SequenceArgs &a, int)
{
    setStatusMessage(a.text);
}

void CharEmulation::setStatusMessage(const QString &text)
{
    m_statusMessage = text;
    m_sink->statusLineChanged();
}

void CharEmulation::setLabel(int index, const QString &text)
{
    if (index < 0 || index >= int(m_labels.size()))
        return;
    m_labels[size_t(index)] = text;
    m_sink->statusLineChanged();
}

void CharEmulation::setLabelsShown(bool shown)
{
    m_labelsShown = shown;
    m_sink->statusLineChanged();
}

QString CharEmulation::statusLine() const
{
    if (!m_statusMessage.isEmpty())
        return m_statusMessage;
    if (!m_labelsShown
        || std::all_of(m_labels.begin(), m_labels.begin() + 8,
            [](const QString &label) { return label.isEmpty(); }))
        return QString();
    // Eight fields of eight characters, as on the terminal's label line.
    QString line;
    for (int i = 0; i < 8; ++i)
        line += m_labels[size_t(i)].left(8).leftJustified(8) + u' ';
    while (line.endsWith(u' '))
        line.chop(1);
    return line;
}

void CharEmulation::programKey(int n, bool shifted, const QByteArray &bytes)
{
    if (m_options.lockFunctionKeys) {
        qCDebug(lcEmulator) << "function keys are locked: the host's F" << n << "is not taken";
        return;
    }
    if (bytes.isEmpty())
        m_programmed.erase({ n, shifted });
    else
        m_programmed[{ n, shifted }] = bytes;
}

// --- The ANSI control sequences of the PC consoles ------------------------------------------

const std::vector<CharEmulation::Sequence> &CharEmulation::ansiSequences()
{
    using C = CharEmulation;
    static const std::vector<Sequence> table = {
        { "\x1b[%pH", &C::doCsiPosition },
        { "\x1b[%pf", &C::doCsiPosition },
        { "\x1b[%pA", &C::doCsiMove, 'A' },
        { "\x1b[%pB", &C::doCsiMove, 'B' },
        { "\x1b[%pC", &C::doCsiMove, 'C' },
        { "\x1b[%pD", &C::doCsiMove, 'D' },
        { "\x1b[%pG", &C::doCsiColumn },
        { "\x1b[%p`", &C::doCsiColumn },
        { "\x1b[%pd", &C::doCsiRow },
        { "\x1b[%pJ", &C::doCsiEraseScreen },
        { "\x1b[%pK", &C::doCsiEraseLine },
        { "\x1b[%pX", &C::doCsiEraseChars },
        { "\x1b[%pL", &C::doCsiInsertLines },
        { "\x1b[%pM", &C::doCsiDeleteLines },
        { "\x1b[%p@", &C::doCsiInsertChars },
        { "\x1b[%pP", &C::doCsiDeleteChars },
        { "\x1b[%pS", &C::doCsiScroll, 1 },
        { "\x1b[%pT", &C::doCsiScroll, -1 },
        { "\x1b[%pZ", &C::doBackTab },
        { "\x1b[%pm", &C::doCsiRendition },
        { "\x1b[%ph", &C::doCsiMode, 1 },
        { "\x1b[%pl", &C::doCsiMode, 0 },
        { "\x1b[%pn", &C::doCsiStatus },
        { "\x1b[s", &C::doSaveCursor },
        { "\x1b[u", &C::doRestoreCursor },
        { "\x1b" "7", &C::doSaveCursor },
        { "\x1b" "8", &C::doRestoreCursor },
        { "\x1b" "D", &C::doLineFeed },
        { "\x1b" "E", &C::doNewLine },
        { "\x1b" "M", &C::doReverseIndex },
        { "\x1b" "H", &C::doSetTab },
    };
    return table;
}

void CharEmulation::doCsiPosition(const SequenceArgs &a, int)
{
    moveTo(a.count(0) - 1, a.count(1) - 1);
}

void CharEmulation::doCsiMove(const SequenceArgs &a, int param)
{
    const int n = a.count(0);
    switch (param) {
    case 'A':
        moveTo(m_row - n, m_col);
        break;
    case 'B':
        moveTo(m_row + n, m_col);
        break;
    case 'C':
        moveTo(m_row, m_col + n);
        break;
    default:
        moveTo(m_row, m_col - n);
        break;
    }
}

void CharEmulation::doCsiColumn(const SequenceArgs &a, int)
{
    moveTo(m_row, a.count(0) - 1);
}

void CharEmulation::doCsiRow(const SequenceArgs &a, int)
{
    moveTo(a.count(0) - 1, m_col);
}

void CharEmulation::doCsiEraseScreen(const SequenceArgs &a, int)
{
    const int p = a.param(0);
    // As on the PC console, erasing the whole screen also homes the cursor.
    doEraseScreen(a, p == 1 ? EraseToStart : p == 2 ? EraseAll | EraseHome : EraseToEnd);
}

void CharEmulation::doCsiEraseLine(const SequenceArgs &a, int)
{
    const int p = a.param(0);
    doEraseLine(a, p == 1 ? EraseToStart : p == 2 ? EraseAll : EraseToEnd);
}

void CharEmulation::doCsiEraseChars(const SequenceArgs &a, int)
{
    clearRows(m_row, m_row + 1, m_col, m_col + a.count(0), 0);
}

void CharEmulation::doCsiInsertLines(const SequenceArgs &a, int)
{
    doInsertLine(a, 0);
}

void CharEmulation::doCsiDeleteLines(const SequenceArgs &a, int)
{
    doDeleteLine(a, 0);
}

void CharEmulation::doCsiInsertChars(const SequenceArgs &a, int)
{
    doInsertChar(a, 0);
}

void CharEmulation::doCsiDeleteChars(const SequenceArgs &a, int)
{
    doDeleteChar(a, 0);
}

void CharEmulation::doCsiScroll(const SequenceArgs &a, int param)
{
    const int n = std::min(a.count(0), rows());
    if (param > 0)
        scrollUp(n);
    else
        scrollDown(n);
}

void CharEmulation::doCsiRendition(const SequenceArgs &a, int)
{
    if (a.params.empty()) {
        setPenLook(0);
        m_pen.attr |= AttrDefaultFg | AttrDefaultBg;
        m_pen.fg = Cell().fg;
        m_pen.bg = Cell().bg;
        return;
    }
    for (const int p : a.params) {
        switch (p) {
        case -1:
        case 0:
            m_pen = Cell();
            break;
        case 1:
            m_pen.attr |= AttrBold;
            break;
        case 2:
            m_pen.flags |= CellDim;
            break;
        case 4:
            m_pen.attr |= AttrUnderline;
            break;
        case 5:
            m_pen.attr |= AttrBlink;
            break;
        case 7:
            m_pen.attr |= AttrReverse;
            break;
        case 8:
            m_pen.flags |= CellConcealed;
            break;
        case 22:
            m_pen.attr &= quint8(~AttrBold);
            m_pen.flags &= quint8(~CellDim);
            break;
        case 24:
            m_pen.attr &= quint8(~AttrUnderline);
            break;
        case 25:
            m_pen.attr &= quint8(~AttrBlink);
            break;
        case 27:
            m_pen.attr &= quint8(~AttrReverse);
            break;
        case 28:
            m_pen.flags &= quint8(~CellConcealed);
            break;
        case 39:
            m_pen.attr |= AttrDefaultFg;
            m_pen.fg = Cell().fg;
            break;
        case 49:
            m_pen.attr |= AttrDefaultBg;
            m_pen.bg = Cell().bg;
            break;
        default:
            if ((p >= 30 && p <= 37) || (p >= 90 && p <= 97)) {
                m_pen.fg = quint8(p >= 90 ? p - 90 + 8 : p - 30);
                m_pen.attr &= quint8(~AttrDefaultFg);
            } else if ((p >= 40 && p <= 47) || (p >= 100 && p <= 107)) {
                m_pen.bg = quint8(p >= 100 ? p - 100 + 8 : p - 40);
                m_pen.attr &= quint8(~AttrDefaultBg);
            }
            break;
        }
    }
}

void CharEmulation::doCsiMode(const SequenceArgs &a, int param)
{
    for (const int p : a.params) {
        if (a.paramMark == '?') {
            if (p == 7)
                m_behaviour.autoWrap = param != 0;
            else if (p == 25)
                m_cursorVisible = param != 0;
        } else if (a.paramMark == 0 && p == 4) {
            m_insertMode = param != 0;
        }
    }
}

void CharEmulation::doCsiStatus(const SequenceArgs &a, int)
{
    if (a.paramMark != 0)
        return;
    if (a.param(0) == 6)
        answer("\x1b[" + QByteArray::number(m_row + 1) + ';' + QByteArray::number(m_col + 1) + 'R');
    else if (a.param(0) == 5)
        answer("\x1b[0n");
}

// --- The screen as the control sees it -------------------------------------------------------

void CharEmulation::resize(int rows, int cols)
{
    rows = std::max(1, rows);
    cols = std::max(1, cols);
    if (rows == this->rows() && cols == this->cols())
        return;
    // The rows that no longer fit above the cursor go to the history.
    m_row -= m_grid.resizeKeeping(rows, cols, m_row, [this](const Cell *line) { lineLeaving(line); });
    const int oldCols = int(m_tabs.size());
    m_tabs.resize(size_t(cols), false);
    for (int c = (oldCols + 7) / 8 * 8; c < cols; c += 8)
        m_tabs[size_t(c)] = c > 0;
    m_col = std::min(m_col, cols - 1);
    for (int p = 0; p < pageCount(); ++p) {
        if (p != m_page)
            m_pages[size_t(p)].resize(rows, cols, 0);
    }
    m_sink->rowsChanged(0, rows - 1);
    m_sink->cursorMoved();
}

void CharEmulation::setPageCount(int pages)
{
    if (m_page >= pages)
        setPage(0);
    m_pages.resize(size_t(std::max(1, pages)), Grid(rows(), cols()));
}

void CharEmulation::setPage(int page)
{
    if (page < 0 || page >= pageCount() || page == m_page)
        return;
    std::swap(m_grid, m_pages[size_t(m_page)]);
    std::swap(m_grid, m_pages[size_t(page)]);
    m_page = page;
    m_sink->rowsChanged(0, rows() - 1);
    m_sink->cursorMoved();
}

void CharEmulation::readRow(int row, Cell *out) const
{
    resolveRow(row, out);
}

void CharEmulation::setCursor(int row, int col)
{
    const int oldRow = m_row;
    moveTo(row, col);
    m_sink->rowsChanged(std::min(oldRow, m_row), std::max(oldRow, m_row));
    m_sink->cursorMoved();
}

void CharEmulation::putCells(int row, int col, const Cell *cells, int n)
{
    // The rows below may take their look from attribute cells put here.
    if (m_grid.copyIn(row, col, cells, n))
        m_sink->rowsChanged(row, rows() - 1);
}

void CharEmulation::newLink()
{
    for (Table &table : m_tables)
        table.matcher.reset();
    m_decoder.reset();
    m_programmed.clear();
}

void CharEmulation::reset()
{
    for (Table &table : m_tables)
        table.matcher.reset();
    m_wrapPending = false;
    setPage(0);
    m_grid.fill(Cell());
    for (Grid &page : m_pages)
        page.fill(Cell());
    m_row = m_col = 0;
    m_pen = Cell();
    m_saved = Saved();
    m_cursorVisible = true;
    m_insertMode = m_writeProtect = m_protectMode = m_graphics = false;
    m_protectLook = -1;
    m_tabs.assign(size_t(cols()), false);
    for (int c = 8; c < cols(); c += 8)
        m_tabs[size_t(c)] = true;
    m_statusMessage.clear();
    for (QString &label : m_labels)
        label.clear();
    m_labelsShown = true;
    m_programmed.clear();
    resetFamily();
    m_sink->rowsChanged(0, rows() - 1);
    m_sink->cursorMoved();
    m_sink->statusLineChanged();
}

// --- Keyboard ------------------------------------------------------------------------------

QByteArray CharEmulation::functionKey(int, bool) const
{
    return QByteArray();
}

QByteArray CharEmulation::specialKey(int, int, bool, const QString &)
{
    return QByteArray();
}

QByteArray CharEmulation::encodeText(const QString &text) const
{
    if (m_decoder.encoding() == HostEncoding::Utf8)
        return text.toUtf8();
    QByteArray bytes;
    for (const char32_t ch : text.toUcs4()) {
        if (ch <= 0xFF)
            bytes.append(char(ch));
    }
    return bytes;
}

QByteArray CharEmulation::key(int qtKey, Qt::KeyboardModifiers modifiers, const QString &text)
{
    const int mods = keyMods(modifiers);
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F35) {
        const int n = qtKey - Qt::Key_F1 + 1;
        const bool shifted = mods & Shift;
        const auto programmed = m_programmed.find({ n, shifted });
        if (programmed != m_programmed.end())
            return programmed->second;
        return functionKey(n, shifted);
    }
    const QByteArray special
        = specialKey(qtKey, mods, modifiers.testFlag(Qt::KeypadModifier), text);
    if (!special.isEmpty())
        return special;
    // The table: the key with its modifiers, else the plain key.
    for (const int wanted : { mods, int(Plain) }) {
        for (const Key &k : m_keys) {
            if (k.qtKey == qtKey && k.mods == wanted)
                return QByteArray(k.bytes);
        }
    }
    if (const QByteArray basic = basicKeyBytes(qtKey); !basic.isEmpty())
        return basic;
    if ((mods & Ctrl) && !(modifiers & Qt::AltModifier)) {
        const int code = controlCodeOfKey(qtKey);
        if (code >= 0)
            return QByteArray(1, char(code));
    }
    return encodeText(text);
}

} // namespace emu
