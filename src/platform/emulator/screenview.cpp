#include "emulator/screenview.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QVarLengthArray>

#include <algorithm>
#include <cmath>

namespace emu {

namespace {

// The xterm palette beyond the sixteen basic colours: a 6x6x6 cube and a 24-step grey ramp.
QRgb extendedColor(int index)
{
    if (index < 232) {
        const int i = index - 16;
        auto level = [](int v) { return v == 0 ? 0 : 55 + v * 40; };
        return qRgb(level(i / 36), level((i / 6) % 6), level(i % 6));
    }
    const int grey = 8 + (index - 232) * 10;
    return qRgb(grey, grey, grey);
}

const std::array<QRgb, 16> defaultBasicColors = {
    qRgb(0, 0, 0),
    qRgb(128, 0, 0),
    qRgb(0, 128, 0),
    qRgb(128, 128, 0),
    qRgb(0, 0, 128),
    qRgb(128, 0, 128),
    qRgb(0, 128, 128),
    qRgb(192, 192, 192),
    qRgb(128, 128, 128),
    qRgb(255, 0, 0),
    qRgb(0, 255, 0),
    qRgb(255, 255, 0),
    qRgb(0, 0, 255),
    qRgb(255, 0, 255),
    qRgb(0, 255, 255),
    qRgb(255, 255, 255),
};

struct Look
{
    QRgb fg;
    QRgb bg;
    quint8 attr;
    bool concealed;
    bool operator==(const Look &) const = default;
};

// Half intensity: the colour halfway to the background.
QRgb halfway(QRgb fg, QRgb bg)
{
    return qRgb((qRed(fg) + qRed(bg)) / 2, (qGreen(fg) + qGreen(bg)) / 2, (qBlue(fg) + qBlue(bg)) / 2);
}

// Line styles of the graphics layer: solid, dotted, dot-dashed, short and long dashes.
QPen stylePen(QColor color, int style)
{
    QPen pen(color);
    pen.setWidth(1);
    switch (style) {
    case 1:
        pen.setStyle(Qt::DotLine);
        break;
    case 2:
        pen.setStyle(Qt::DashDotLine);
        break;
    case 3:
        pen.setStyle(Qt::DashLine);
        break;
    case 4:
        pen.setDashPattern({ 8, 4 });
        break;
    default:
        break;
    }
    return pen;
}

// The characters the mouse buttons pick a graphics input place with.
char graphicsInputChar(Qt::MouseButton button, Qt::KeyboardModifiers mods)
{
    struct ButtonChar
    {
        Qt::MouseButton button;
        char ch;
    };
    static constexpr ButtonChar buttons[] = {
        { Qt::LeftButton, 'l' },
        { Qt::MiddleButton, 'm' },
        { Qt::RightButton, 'r' },
    };
    for (const ButtonChar &b : buttons) {
        if (b.button == button)
            return (mods & Qt::ShiftModifier) ? char(b.ch - 'a' + 'A') : b.ch;
    }
    return 0;
}

} // namespace

ScreenView::ScreenView(Screen *screen, Mode mode, QWidget *parent)
    : QWidget(parent)
    , m_screen(screen)
    , m_mode(mode)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(false);
    for (int i = 16; i < 256; ++i)
        m_colors[size_t(i)] = extendedColor(i);
    m_defaultCodes.fill(7);
    setBasicColors(defaultBasicColors);
    setTerminalFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_timer.setSingleShot(true);
    m_timer.setInterval(framePeriodMs());
    connect(&m_timer, &QTimer::timeout, this, &ScreenView::applyDamage);
    if (mode == Mode::Live)
        connect(m_screen, &Screen::damaged, this, &ScreenView::onDamaged);
}

// One frame of the screen the view is on (60 Hz when it does not say).
int ScreenView::framePeriodMs() const
{
    const QScreen *shown = screen();
    const qreal rate = shown && shown->refreshRate() > 1 ? shown->refreshRate() : 60;
    return std::clamp(int(std::lround(1000 / rate)), 4, 16);
}

void ScreenView::setTerminalFont(const QFont &font)
{
    m_font = font;
    m_font.setFixedPitch(true);
    m_font.setStyleHint(QFont::TypeWriter);
    m_font.setKerning(false);
    m_boldFont = m_font;
    m_boldFont.setBold(true);
    m_rawFonts = {};
    const QFontMetrics fm(m_font);
    m_cellWidth = std::max(1, fm.horizontalAdvance(QLatin1Char('M')));
    m_cellHeight = std::max(1, fm.height());
    m_ascent = fm.ascent();
    updateGeometry();
    update();
}

void ScreenView::setBasicColors(const std::array<QRgb, 16> &colors)
{
    std::copy(colors.begin(), colors.end(), m_colors.begin());
    update();
}

void ScreenView::setDefaultColorCodes(const std::array<quint8, 16> &codes)
{
    m_defaultCodes = codes;
    update();
}

void ScreenView::setCursorStyle(int style)
{
    m_cursorStyle = style;
    update();
}

void ScreenView::setTopLine(qint64 line)
{
    // Below the history come the screen's rows.
    const qint64 last = std::max(
        m_screen->firstLine(), m_screen->screenLine(0) + m_screen->rows() - visibleLines());
    line = std::clamp(line, m_screen->firstLine(), last);
    if (line == m_topLine)
        return;
    m_topLine = line;
    update();
}

qint64 ScreenView::topLine() const
{
    return std::max(m_topLine, m_screen->firstLine());
}

int ScreenView::visibleLines() const
{
    if (m_mode == Mode::Live)
        return m_screen->rows();
    return std::max(1, height() / m_cellHeight);
}

int ScreenView::extraRows() const
{
    return m_mode == Mode::Live && m_screen->hasStatusLine() ? 1 : 0;
}

QSize ScreenView::sizeHint() const
{
    return QSize(
        m_screen->cols() * m_cellWidth, (m_screen->rows() + extraRows()) * m_cellHeight);
}

void ScreenView::setKeepsSize(bool keeps)
{
    if (keeps == m_keepsSize)
        return;
    m_keepsSize = keeps;
    updateGeometry();
}

QSize ScreenView::minimumSizeHint() const
{
    return m_mode == Mode::Live && m_keepsSize ? sizeHint() : QWidget::minimumSizeHint();
}

bool ScreenView::cellAt(const QPoint &point, Screen::Pos *pos) const
{
    if (point.x() < 0 || point.y() < 0)
        return false;
    const int col = point.x() / m_cellWidth;
    const int row = point.y() / m_cellHeight;
    if (col >= m_screen->cols() || row >= visibleLines())
        return false;
    const qint64 line = lineAtRow(row);
    if (line < m_screen->firstLine() || line >= m_screen->endLine())
        return false;
    *pos = Screen::Pos { line, col };
    return true;
}

qint64 ScreenView::lineAtRow(int row) const
{
    return m_mode == Mode::Live ? m_screen->screenLine(row) : topLine() + row;
}

QRect ScreenView::rowRect(int row) const
{
    return QRect(0, row * m_cellHeight, width(), m_cellHeight);
}

void ScreenView::onDamaged()
{
    if (!m_timer.isActive())
        m_timer.start();
}

void ScreenView::flushDamage()
{
    m_timer.stop();
    applyDamage();
}

void ScreenView::applyDamage()
{
    const Screen::Damage damage = m_screen->takeDamage();
    for (size_t r = 0; r < damage.rows.size(); ++r) {
        if (damage.rows[r])
            update(rowRect(int(r)));
    }
    const QPoint cursor = m_screen->cursor();
    if (damage.cursor || cursor != m_paintedCursor) {
        update(rowRect(m_paintedCursor.y()));
        update(rowRect(cursor.y()));
    }
    if (damage.statusLine) {
        update(rowRect(m_screen->rows())); // also when the line has just gone
        if (extraRows() != m_extraRows) {
            m_extraRows = extraRows();
            updateGeometry();
        }
    }
    if (damage.graphics && m_screen->graphics())
        update();
    if (m_mode == Mode::Live) {
        setMouseTracking(m_screen->graphicsInput().has_value());
        updateCrosshair();
    }
    if (damage.history)
        emit historyChanged();
}

void ScreenView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const QRect area = event->rect();
    const int cols = m_screen->cols();
    const int rows = visibleLines();
    const QColor background = QColor::fromRgb(m_colors[m_defaultCodes[0] >> 4]);
    const bool live = m_mode == Mode::Live;
    const QPoint cursor = m_screen->cursor();
    const bool showCursor
        = live && m_screen->cursorVisible() && m_cursorStyle >= 0 && m_cursorStyle <= 2;

    std::vector<Cell> buffer(static_cast<size_t>(cols));
    const int firstRow = std::max(0, area.top() / m_cellHeight);
    const int lastRow = std::min(rows - 1, area.bottom() / m_cellHeight);
    for (int row = firstRow; row <= lastRow; ++row) {
        const qint64 line = lineAtRow(row);
        const Cell *cells = buffer.data();
        if (live) {
            m_screen->readRow(row, buffer.data());
        } else if (line < m_screen->screenLine(0)) {
            cells = m_screen->historyLine(int(line - m_screen->firstLine()));
        } else if (line < m_screen->screenLine(0) + m_screen->rows()) {
            m_screen->readRow(int(line - m_screen->screenLine(0)), buffer.data());
        } else {
            std::fill(buffer.begin(), buffer.end(), Cell());
        }
        paintLine(painter, row * m_cellHeight, line, cells, cols,
            showCursor && row == cursor.y() ? cursor.x() : -1);
    }
    if (extraRows() > 0 && area.bottom() >= rows * m_cellHeight)
        paintStatusLine(painter);
    // Beyond the text: the default background.
    const int textWidth = cols * m_cellWidth;
    const int textHeight = (rows + extraRows()) * m_cellHeight;
    if (area.right() >= textWidth)
        painter.fillRect(
            QRect(textWidth, area.top(), area.right() - textWidth + 1, area.height()), background);
    if (area.bottom() >= textHeight)
        painter.fillRect(
            QRect(area.left(), textHeight, area.width(), area.bottom() - textHeight + 1),
            background);
    if (live && m_screen->graphics() && !m_screen->graphics()->isEmpty())
        paintGraphics(painter, area);
    if (live) {
        m_paintedCursor = cursor;
        m_paintedCrosshair = m_screen->graphicsInput();
        if (m_paintedCrosshair)
            paintCrosshair(painter, *m_paintedCrosshair);
    }
}

void ScreenView::paintLine(
    QPainter &painter, int y, qint64 line, const Cell *cells, int n, int cursorCol)
{
    const int size = n > 0 ? cells[0].flags & LineSizeMask : 0;
    if (size == 0) {
        paintCells(painter, y, line, cells, n, cursorCol);
        return;
    }
    // Double width: each cell twice as wide; double height: the upper or lower half of
    // characters twice as high. The row's own rectangle clips the rest.
    painter.save();
    painter.setClipRect(QRect(0, y, n * m_cellWidth, m_cellHeight), Qt::IntersectClip);
    painter.fillRect(QRect(0, y, n * m_cellWidth, m_cellHeight),
        QColor::fromRgb(m_colors[m_defaultCodes[0] >> 4]));
    painter.translate(0, y - (size == LineDoubleBottom ? m_cellHeight : 0));
    painter.scale(2, size == LineDoubleWidth ? 1 : 2);
    paintCells(painter, 0, line, cells, (n + 1) / 2, cursorCol);
    painter.restore();
}

void ScreenView::paintStatusLine(QPainter &painter)
{
    const QRect rect = rowRect(m_screen->rows());
    const quint8 code = m_defaultCodes[0];
    const QColor fg = QColor::fromRgb(m_colors[code & 15]);
    painter.fillRect(rect, QColor::fromRgb(m_colors[code >> 4]));
    painter.fillRect(QRect(rect.left(), rect.top(), rect.width(), 1), fg);
    const QString text = m_screen->statusLine().left(m_screen->cols());
    painter.setFont(m_font);
    painter.setPen(fg);
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i) != u' ')
            painter.drawText(QPoint(i * m_cellWidth, rect.top() + m_ascent), QString(text.at(i)));
    }
}

void ScreenView::paintGraphics(QPainter &painter, const QRect &area)
{
    const GraphicsLayer &layer = *m_screen->graphics();
    const double h = GraphicsLayer::height * graphicsScale();
    auto at = [&](QPoint p) { return viewPointOf(p); };
    const QColor plain = QColor::fromRgb(m_colors[m_defaultCodes[0] & 15]);
    painter.save();
    painter.setClipRect(area.intersected(graphicsRect()));
    painter.setRenderHint(QPainter::Antialiasing, true);
    for (const GraphicsItem &item : layer.items()) {
        const QColor color = item.color == 0 ? plain : QColor::fromRgb(m_colors[item.color & 15]);
        switch (item.kind) {
        case GraphicsItem::Kind::Line:
            painter.setPen(stylePen(color, item.style));
            painter.drawLine(at(item.from), at(item.to));
            break;
        case GraphicsItem::Kind::Point:
            painter.fillRect(QRectF(at(item.from) - QPointF(0.5, 0.5), QSizeF(1.5, 1.5)), color);
            break;
        case GraphicsItem::Kind::Text: {
            // The character sizes: 35, 38, 58 and 64 lines to the screen.
            static constexpr int lines[] = { 35, 38, 58, 64 };
            QFont font = m_font;
            font.setPixelSize(std::max(6, int(h / lines[item.size & 3] * 0.8)));
            painter.setFont(font);
            painter.setPen(color);
            painter.drawText(at(item.from), item.text);
            break;
        }
        }
    }
    painter.restore();
}

void ScreenView::paintCrosshair(QPainter &painter, const QPoint &at)
{
    const QRect rect = graphicsRect();
    const QPoint p = pixelOf(at);
    const QColor plain = QColor::fromRgb(m_colors[m_defaultCodes[0] & 15]);
    painter.fillRect(QRect(rect.left(), p.y(), rect.width(), 1), plain);
    painter.fillRect(QRect(p.x(), rect.top(), 1, rect.height()), plain);
}

double ScreenView::graphicsScale() const
{
    // The layer fills the view as far as its proportions allow.
    return std::min(
        double(width()) / GraphicsLayer::width, double(height()) / GraphicsLayer::height);
}

QRect ScreenView::graphicsRect() const
{
    const double scale = graphicsScale();
    return QRect(0, 0, int(GraphicsLayer::width * scale) + 1, int(GraphicsLayer::height * scale) + 1);
}

QPointF ScreenView::viewPointOf(const QPoint &point) const
{
    const double scale = graphicsScale();
    return QPointF(point.x() * scale, (GraphicsLayer::height - point.y()) * scale);
}

QPoint ScreenView::pixelOf(const QPoint &point) const
{
    const QPointF p = viewPointOf(point);
    const QRect rect = graphicsRect();
    return QPoint(std::clamp(int(std::floor(p.x())), 0, std::max(0, rect.width() - 2)),
        std::clamp(int(std::floor(p.y())), 0, std::max(0, rect.height() - 2)));
}

QPoint ScreenView::layerPointAt(const QPointF &point) const
{
    // The middle of the pixel, so that each pixel maps to the points drawn on it.
    const double scale = graphicsScale();
    if (scale <= 0)
        return QPoint();
    const int x = int((point.x() + 0.5) / scale);
    const int y = int(GraphicsLayer::height - (point.y() + 0.5) / scale);
    return QPoint(std::clamp(x, 0, GraphicsLayer::width - 1),
        std::clamp(y, 0, GraphicsLayer::height - 1));
}

void ScreenView::updateCrosshair()
{
    const std::optional<QPoint> now = m_screen->graphicsInput();
    if (now == m_paintedCrosshair)
        return;
    const QRect rect = graphicsRect();
    for (const std::optional<QPoint> &at : { m_paintedCrosshair, now }) {
        if (!at)
            continue;
        const QPoint p = pixelOf(*at);
        update(QRect(rect.left(), p.y() - 1, rect.width(), 3));
        update(QRect(p.x() - 1, rect.top(), 3, rect.height()));
    }
}

void ScreenView::paintCells(
    QPainter &painter, int y, qint64 line, const Cell *cells, int n, int cursorCol)
{
    const bool focused = m_focusOwner ? m_focusOwner->hasFocus() : hasFocus();
    auto lookOf = [&](int col) {
        const Cell &c = cells[col];
        const int set = ((c.attr & AttrBold) ? 1 : 0) | ((c.attr & AttrUnderline) ? 2 : 0)
            | ((c.attr & AttrReverse) ? 4 : 0) | ((c.attr & AttrBlink) ? 8 : 0);
        const quint8 code = m_defaultCodes[size_t(set)];
        int fg = (c.attr & AttrDefaultFg) ? (code & 15) : c.fg;
        // Bold text in one of the eight basic colours shows in its bright form, as terminals do.
        if ((c.attr & AttrBold) && fg < 8)
            fg += 8;
        Look look { m_colors[size_t(fg)],
            (c.attr & AttrDefaultBg) ? m_colors[code >> 4] : m_colors[c.bg], c.attr,
            (c.flags & CellConcealed) != 0 };
        if (c.flags & CellDim)
            look.fg = halfway(look.fg, look.bg);
        bool inverse = (c.attr & AttrReverse) != 0;
        if (m_screen->isSelected(line, col))
            inverse = !inverse;
        if (col == cursorCol && m_cursorStyle == 0 && focused)
            inverse = !inverse;
        if (inverse)
            std::swap(look.fg, look.bg);
        return look;
    };
    int col = 0;
    while (col < n) {
        const Look look = lookOf(col);
        int end = col + 1;
        while (end < n && lookOf(end) == look)
            ++end;
        const QRect rect(col * m_cellWidth, y, (end - col) * m_cellWidth, m_cellHeight);
        painter.fillRect(rect, QColor::fromRgb(look.bg));
        const bool blank = look.concealed
            || std::all_of(cells + col, cells + end, [](const Cell &c) { return c.ch == U' '; });
        if (!blank) {
            painter.setPen(QColor::fromRgb(look.fg));
            paintRunText(painter, y, cells, col, end, look.attr);
        }
        if (!look.concealed && (look.attr & AttrUnderline))
            painter.fillRect(
                QRect(rect.left(), y + m_ascent + 1, rect.width(), 1), QColor::fromRgb(look.fg));
        if (!look.concealed && (look.attr & AttrStrike))
            painter.fillRect(QRect(rect.left(), y + m_ascent - QFontMetrics(m_font).strikeOutPos(),
                                 rect.width(), 1),
                QColor::fromRgb(look.fg));
        col = end;
    }
    if (cursorCol < 0 || cursorCol >= n)
        return;
    const Look look = lookOf(cursorCol);
    const QRect cell(cursorCol * m_cellWidth, y, m_cellWidth, m_cellHeight);
    if (m_cursorStyle == 0 && !focused) {
        painter.setPen(QColor::fromRgb(look.fg));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(cell.adjusted(0, 0, -1, -1));
    } else if (m_cursorStyle == 1) {
        painter.fillRect(
            QRect(cell.left(), cell.bottom() - 1, cell.width(), 2), QColor::fromRgb(look.fg));
    } else if (m_cursorStyle == 2) {
        painter.fillRect(
            QRect(cell.left(), cell.top(), 2, cell.height()), QColor::fromRgb(look.fg));
    }
}

// The characters of cells [col, end) that are not blank, each at its own cell (so a face whose
// advance differs cannot shift the columns). Those the font has are drawn by glyph, in one run
// and without shaping; the others (a character the font lacks, one beyond the Basic
// Multilingual Plane) as text, for which Qt finds a font that has them.
void ScreenView::paintRunText(
    QPainter &painter, int y, const Cell *cells, int col, int end, quint8 attr)
{
    const QRawFont &raw = rawFontFor(attr);
    QVarLengthArray<QChar, 256> chars;
    QVarLengthArray<int, 256> columns;
    QVarLengthArray<int, 16> others;
    for (int i = col; i < end; ++i) {
        const char32_t ch = cells[i].ch;
        if (ch == U' ')
            continue;
        if (ch > 0xFFFF || QChar::isSurrogate(ch) || !raw.isValid()) {
            others.append(i);
            continue;
        }
        chars.append(QChar(char16_t(ch)));
        columns.append(i);
    }
    QVarLengthArray<quint32, 256> glyphs(chars.size());
    int count = int(glyphs.size());
    if (count > 0 && !raw.glyphIndexesForChars(chars.constData(), int(chars.size()), glyphs.data(), &count))
        count = 0;
    QList<quint32> indexes;
    QList<QPointF> positions;
    indexes.reserve(count);
    positions.reserve(count);
    for (int k = 0; k < count; ++k) {
        if (glyphs[k] == 0) {
            others.append(columns[k]);
            continue;
        }
        indexes.append(glyphs[k]);
        positions.append(QPointF(columns[k] * m_cellWidth, y + m_ascent));
    }
    if (!indexes.isEmpty()) {
        QGlyphRun run;
        run.setRawFont(raw);
        run.setGlyphIndexes(indexes);
        run.setPositions(positions);
        painter.drawGlyphRun(QPointF(0, 0), run);
    }
    if (others.isEmpty())
        return;
    QFont font = (attr & AttrBold) ? m_boldFont : m_font;
    font.setItalic(attr & AttrItalic);
    painter.setFont(font);
    for (int i : others)
        painter.drawText(QPoint(i * m_cellWidth, y + m_ascent), QString::fromUcs4(&cells[i].ch, 1));
}

const QRawFont &ScreenView::rawFontFor(quint8 attr)
{
    const int face = ((attr & AttrBold) ? 1 : 0) | ((attr & AttrItalic) ? 2 : 0);
    std::optional<QRawFont> &raw = m_rawFonts[size_t(face)];
    if (!raw) {
        QFont font = (attr & AttrBold) ? m_boldFont : m_font;
        font.setItalic(attr & AttrItalic);
        raw = QRawFont::fromFont(font);
    }
    return *raw;
}

void ScreenView::mousePressEvent(QMouseEvent *event)
{
    if (m_mode == Mode::Live && m_screen->graphicsInput()) {
        m_screen->moveGraphicsInput(layerPointAt(event->position()));
        if (const char ch = graphicsInputChar(event->button(), event->modifiers()))
            m_screen->pickGraphicsInput(ch);
        updateCrosshair();
        return;
    }
    bool handled = false;
    emit mousePressed(event, &handled);
    if (handled || event->button() != Qt::LeftButton)
        return;
    Screen::Pos pos;
    m_screen->clearSelection();
    m_selecting = cellAt(event->position().toPoint(), &pos);
    m_anchor = pos;
}

void ScreenView::mouseMoveEvent(QMouseEvent *event)
{
    if (m_mode == Mode::Live && m_screen->graphicsInput()) {
        m_screen->moveGraphicsInput(layerPointAt(event->position()));
        updateCrosshair();
        return;
    }
    if (!m_selecting || !(event->buttons() & Qt::LeftButton))
        return;
    QPoint point = event->position().toPoint();
    point.setX(std::clamp(point.x(), 0, m_screen->cols() * m_cellWidth - 1));
    point.setY(std::clamp(point.y(), 0, visibleLines() * m_cellHeight - 1));
    Screen::Pos pos;
    if (cellAt(point, &pos))
        m_screen->setSelection(m_anchor, pos);
    update();
}

void ScreenView::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_selecting && event->button() == Qt::LeftButton) {
        m_selecting = false;
        if (m_screen->hasSelection())
            emit selectionFinished();
    }
}

void ScreenView::mouseDoubleClickEvent(QMouseEvent *event)
{
    bool handled = false;
    emit doubleClicked(event, &handled);
    if (handled || event->button() != Qt::LeftButton)
        return;
    Screen::Pos pos;
    if (cellAt(event->position().toPoint(), &pos))
        selectWordAt(pos);
}

void ScreenView::selectWordAt(const Screen::Pos &pos)
{
    int from = 0;
    int to = 0;
    if (!m_screen->wordAt(pos, &from, &to))
        return;
    m_screen->setSelection({ pos.line, from }, { pos.line, to });
    update();
    emit selectionFinished();
}

} // namespace emu
