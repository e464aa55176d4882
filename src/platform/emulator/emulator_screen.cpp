// The emulator control: the clipboard, the methods that read and write the screen, and the
// mouse table.

#include "emulator/emulator.h"

#include "emulator/asciitransfer.h"
#include "emulator/block.h"
#include "emulator/emulator_internal.h"
#include "emulator/screenview.h"
#include "runtime/errnum.h"
#include "runtime/wholefile.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QScopeGuard>

#include <algorithm>

namespace emu {

using detail::fail;
using detail::trimmedRight;

namespace {

// The whole word against a pattern with the wildcards * and ?, without case. Unlike a file
// glob, "/" is an ordinary character here: words on a screen are often paths.
bool wildcardMatch(const QString &pattern, const QString &word)
{
    QString expression = QRegularExpression::escape(pattern);
    expression.replace(QLatin1String("\\*"), QLatin1String(".*"));
    expression.replace(QLatin1String("\\?"), QLatin1String("."));
    const QRegularExpression re(
        QRegularExpression::anchoredPattern(expression), QRegularExpression::CaseInsensitiveOption);
    return re.match(word).hasMatch();
}

Int vbButton(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return 1;
    case Qt::RightButton:
        return 2;
    case Qt::MiddleButton:
        return 4;
    default:
        return 0;
    }
}

} // namespace

// --- Clipboard -----------------------------------------------------------------------------

void nvEmulator::setClipboardText(const QString &text)
{
    if (QClipboard *clipboard = QGuiApplication::clipboard())
        clipboard->setText(text);
}

void nvEmulator::offerSelection()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (clipboard && clipboard->supportsSelection() && m_screen->hasSelection())
        clipboard->setText(m_screen->selectedText(), QClipboard::Selection);
}

void nvEmulator::pasteSelection()
{
    const QClipboard *clipboard = QGuiApplication::clipboard();
    const QString text = clipboard && clipboard->supportsSelection()
        ? clipboard->text(QClipboard::Selection)
        : QString();
    if (text.isEmpty())
        return;
    if (!linkOpen()) {
        qCDebug(lcEmulator) << "middle button: no link to paste the selection to";
        return;
    }
    pasteToHost(text);
}

QString nvEmulator::rectangleText(const std::function<QString(int, int, int)> &lineText, int lines,
    Int left, Int top, Int right, Int bottom) const
{
    int l = std::max<int>(0, left);
    int r = right < 0 ? std::numeric_limits<int>::max() : int(right);
    int t = std::max<int>(0, top);
    int b = bottom < 0 ? lines - 1 : std::min<int>(bottom, lines - 1);
    if (r < l)
        std::swap(l, r);
    if (b < t)
        std::swap(t, b);
    QStringList out;
    for (int row = t; row <= b; ++row)
        out << trimmedRight(lineText(row, l, r));
    return out.join(u'\n');
}

void nvEmulator::Copy(Int left, Int top, Int right, Int bottom)
{
    if (left == 0 && top == 0 && right == 0 && bottom == 0) {
        if (m_screen->hasSelection())
            setClipboardText(m_screen->selectedText());
        return;
    }
    setClipboardText(rectangleText(
        [this](int row, int from, int to) { return m_screen->rowText(row, from, to); },
        m_screen->rows(), left, top, right, bottom));
}

void nvEmulator::CopyHistory(Int left, Int top, Int right, Int bottom)
{
    const int lines = m_screen->historyCount();
    if (left == 0 && top == 0 && right == 0 && bottom == 0) {
        right = -1;
        bottom = -1;
    }
    if (lines == 0) {
        setClipboardText(QString());
        return;
    }
    setClipboardText(rectangleText(
        [this](int row, int from, int to) { return m_screen->historyText(row, from, to); }, lines,
        left, top, right, bottom));
}

// A file pasted to the host is read whole first; a larger one is refused.
constexpr qint64 MaxPasteFileBytes = 16 * 1024 * 1024;

void nvEmulator::Paste(QString *fileName)
{
    const QString name = fileName ? *fileName : QString();
    QString text;
    if (name.isEmpty()) {
        const QClipboard *clipboard = QGuiApplication::clipboard();
        text = clipboard ? clipboard->text() : QString();
        if (text.isEmpty())
            return;
    } else {
        text = QString::fromUtf8(rt::readNamedFile(name, MaxPasteFileBytes));
    }
    requireConnection();
    pasteToHost(text);
}

void nvEmulator::pasteToHost(const QString &text)
{
    QByteArray bytes = toHost(text, m_settings->PasteEOLMode(), char(m_settings->PasteEOLChar()));
    if (m_settings->PasteEOFMode() != 0)
        bytes += char(m_settings->PasteEOFChar());
    sendToHost(bytes);
    if (m_settings->Duplex() != 0)
        m_screen->feed(bytes);
}

// --- Terminal ------------------------------------------------------------------------------

void nvEmulator::Reset(Int mode)
{
    if (mode < 0 || mode > 2)
        rt::raise(rt::err::InvalidCall);
    if (mode == 2 && m_settings->Device() == device::None)
        fail(emuerror::NoDevice);
    if (mode != 2) {
        m_screen->reset();
        m_screen->clearSelection();
        m_input.clear();
        applyTerminalModes();
        reportLocation(true);
    }
    if (mode != 1 && m_settings->Device() != device::None)
        connectHost();
}

void nvEmulator::Emulate(const QString &text)
{
    m_screen->feed(encodeHostText(text, hostEncoding()));
    reportLocation();
}

// A row or column given to a method: -1 is the cursor's, anything else must be on the screen.
static int checkedPlace(Int value, int cursor, int count, const char *what)
{
    if (value == -1)
        return cursor;
    if (value < 0 || value >= count)
        fail(emuerror::BadPosition, QStringLiteral("%1 %2").arg(QLatin1String(what)).arg(value));
    return value;
}

int nvEmulator::checkedRow(Int row) const
{
    return checkedPlace(row, m_screen->cursor().y(), m_screen->rows(), "row");
}

int nvEmulator::checkedCol(Int col) const
{
    return checkedPlace(col, m_screen->cursor().x(), m_screen->cols(), "column");
}

void nvEmulator::checkPage(Int page) const
{
    if (page != -1 && (page < 0 || page >= m_screen->pageCount()))
        fail(emuerror::BadPage, QString::number(page));
}

void nvEmulator::onPage(Int page, const std::function<void()> &work)
{
    checkPage(page);
    const int shown = m_screen->page();
    if (page == -1 || page == shown) {
        work();
        return;
    }
    m_screen->setPage(page);
    // The page shown before comes back however the work ends.
    const auto back = qScopeGuard([this, shown] { m_screen->setPage(shown); });
    work();
}

static int colorCode(Int color, Int current)
{
    if (color == -1)
        return current;
    if (color < -1 || color > 255)
        rt::raise(rt::err::InvalidPropertyValue);
    return color;
}

void nvEmulator::SetText(const QString &text, Int col, Int row, Int color)
{
    const int r = checkedRow(row);
    const int c = checkedCol(col);
    m_screen->putText(r, c, text, colorCode(color, m_color));
}

void nvEmulator::SetBlock(Block *block, Int left, Int top, Int page)
{
    if (!block)
        rt::raise(rt::err::ObjectNotSet);
    const int t = checkedRow(top);
    const int l = checkedCol(left);
    onPage(page, [&] {
        for (int r = 0; r < block->Rows() && t + r < m_screen->rows(); ++r)
            m_screen->putCells(t + r, l, block->row(r), block->Cols());
    });
}

Block *nvEmulator::GetBlock(Int left, Int top, Int right, Int bottom, Int page)
{
    int l = checkedCol(left);
    int t = checkedRow(top);
    int r = right == -1 ? m_screen->cols() - 1 : checkedCol(right);
    int b = bottom == -1 ? m_screen->rows() - 1 : checkedRow(bottom);
    if (r < l)
        std::swap(l, r);
    if (b < t)
        std::swap(t, b);
    auto block = std::make_unique<Block>(b - t + 1, r - l + 1);
    onPage(page, [&] {
        std::vector<Cell> cells(static_cast<size_t>(m_screen->cols()));
        for (int row = t; row <= b; ++row) {
            m_screen->readRow(row, cells.data());
            std::copy(cells.begin() + l, cells.begin() + r + 1, block->row(row - t));
        }
    });
    return block.release();
}

void nvEmulator::Break()
{
    requireConnection();
    m_channel->sendBreak();
}

void nvEmulator::Clear(Int left, Int top, Int right, Int bottom, Int color)
{
    const int code = colorCode(color, m_color);
    if (left == -1 && top == -1 && right == -1 && bottom == -1) {
        m_screen->clearRect(0, 0, m_screen->cols() - 1, m_screen->rows() - 1, code);
        m_screen->setCursor(0, 0);
        reportLocation();
        return;
    }
    const int l = left == -1 ? 0 : checkedCol(left);
    const int t = top == -1 ? 0 : checkedRow(top);
    const int r = right == -1 ? m_screen->cols() - 1 : checkedCol(right);
    const int b = bottom == -1 ? m_screen->rows() - 1 : checkedRow(bottom);
    m_screen->clearRect(std::min(l, r), std::min(t, b), std::max(l, r), std::max(t, b), code);
}

void nvEmulator::SetSelection(Int left, Int top, Int right, Int bottom)
{
    const int l = checkedCol(left);
    const int t = checkedRow(top);
    const int r = right == -1 ? m_screen->cols() - 1 : checkedCol(right);
    const int b = bottom == -1 ? m_screen->rows() - 1 : checkedRow(bottom);
    m_screen->setSelection({ m_screen->screenLine(t), l }, { m_screen->screenLine(b), r });
}

void nvEmulator::ClearSelection()
{
    m_screen->clearSelection();
}

void nvEmulator::Locate(Int col, Int row, Int page)
{
    checkPage(page);
    const int r = checkedRow(row);
    const int c = checkedCol(col);
    if (page != -1)
        m_screen->setPage(page);
    m_screen->setCursor(r, c);
    reportLocation();
}

QString nvEmulator::GetText(Int col, Int row, Int cols, Int)
{
    const int r = checkedRow(row);
    const int c = checkedCol(col);
    return m_screen->rowText(r, c, cols < 0 ? std::numeric_limits<int>::max() : c + cols - 1);
}

// --- Mouse table ---------------------------------------------------------------------------

void nvEmulator::MouseTableReset()
{
    m_mouseTable.clear();
}

void nvEmulator::MouseTableAdd(
    Int button, const QString &pattern, const QString &rClick, const QString &rDblClk)
{
    m_mouseTable.append({ button, pattern, rClick, rDblClk });
}

Int nvEmulator::shiftMask(Qt::KeyboardModifiers mods)
{
    Int mask = 0;
    if (mods & Qt::ShiftModifier)
        mask |= 1;
    if (mods & Qt::ControlModifier)
        mask |= 2;
    if (mods & Qt::AltModifier)
        mask |= 4;
    return mask;
}

bool nvEmulator::mouseTableHit(QMouseEvent *event, Int button, bool doubleClick)
{
    if (m_mouseTable.isEmpty())
        return false;
    auto *view = qobject_cast<ScreenView *>(sender());
    Screen::Pos pos;
    if (!view || !view->cellAt(event->position().toPoint(), &pos))
        return false;
    int from = 0;
    int to = 0;
    if (!m_screen->wordAt(pos, &from, &to))
        return false;
    const QString word = m_screen->lineText(pos.line, from, to);
    for (const MouseEntry &entry : std::as_const(m_mouseTable)) {
        if (entry.button != button || !wildcardMatch(entry.pattern, word))
            continue;
        const QString text = doubleClick ? entry.doubleClick : entry.click;
        if (text.isEmpty())
            return false;
        const QPoint p = event->position().toPoint();
        if (text.startsWith(QLatin1String("menu:"), Qt::CaseInsensitive))
            emit ContextMenu(3, Int(p.x()), Int(p.y()), text.mid(5));
        else
            sendKeys(toHost(text));
        return true;
    }
    return false;
}

void nvEmulator::onMousePressed(QMouseEvent *event, bool *handled, bool doubleClick)
{
    const Int button = vbButton(event->button());
    Int asked = button;
    const QPoint p = event->position().toPoint();
    if (!survives([&] {
            emit ButtonPress(&asked, shiftMask(event->modifiers()), Int(p.x()), Int(p.y()));
        }))
        return;
    if (asked == 0 || mouseTableHit(event, button, doubleClick)) {
        *handled = true;
        return;
    }
    if (event->button() == Qt::RightButton && !doubleClick) {
        *handled = true;
        emit ContextMenu(2, Int(p.x()), Int(p.y()), QString());
    } else if (event->button() == Qt::MiddleButton && !doubleClick) {
        *handled = true;
        pasteSelection();
    }
}

} // namespace emu
