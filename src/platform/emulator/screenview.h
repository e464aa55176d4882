#pragma once
// Draws a Screen in a monospaced font: the live screen with its cursor, or the history (a pane
// that the user scrolls). The live view gathers the screen's changes and repaints the changed
// rows once per update interval (a frame of the screen it is on), so heavy output is not drawn
// per byte and the view changes at most at the screen's frame rate.
//
// The live view also shows what some terminals have beyond their character cells: a status or
// label line below the rows, and a graphics layer drawn over the text (its 4096 x 3120 points
// scaled to fill the view as far as their proportions allow). Lines of double width show each character two cells wide, lines
// of double height show the upper or lower half of characters twice as high.
//
// The view selects text with the mouse (drag, double-click for a word) and passes the mouse
// events it receives to its owner first (mousePressed) so that the owner can take them.
// While the terminal waits for graphics input, the live view draws the crosshair over the
// graphics (a full-width and a full-height line through it), the mouse moves it, and a press
// picks its place with the button's character (l, m, r; L, M, R with Shift) before the owner
// sees any press: the host is waiting for it.

#include "emulator/screen.h"

#include <QFont>
#include <QRawFont>
#include <QTimer>
#include <QWidget>

#include <array>

namespace emu {

class ScreenView : public QWidget
{
    Q_OBJECT

public:
    enum class Mode { Live, History };

    ScreenView(Screen *screen, Mode mode, QWidget *parent = nullptr);

    Mode mode() const { return m_mode; }
    void setTerminalFont(const QFont &font);
    QFont terminalFont() const { return m_font; }
    QSize cellSize() const { return QSize(m_cellWidth, m_cellHeight); }
    // The sixteen basic colours (0-7 normal, 8-15 bright); the rest of the 256 are the usual
    // colour cube and grey ramp.
    void setBasicColors(const std::array<QRgb, 16> &colors);
    QColor color(int index) const { return QColor::fromRgb(m_colors[size_t(index & 255)]); }
    // Colour codes (foreground + 16 * background) of cells without colours of their own, by
    // attribute set: bit 0 bold, bit 1 underline, bit 2 reverse, bit 3 blink.
    void setDefaultColorCodes(const std::array<quint8, 16> &codes);
    // 0 block, 1 underline, 2 vertical bar; any other value shows no cursor.
    void setCursorStyle(int style);
    // Milliseconds between repaints of changed rows (0-16).
    void setUpdateInterval(int ms) { m_timer.setInterval(std::clamp(ms, 0, 16)); }
    int updateInterval() const { return m_timer.interval(); }
    int framePeriodMs() const;

    // History mode: the line shown at the top, by its place in the text (Screen::Pos::line), so
    // the pane stays on its text while new lines arrive; kept within the history and the
    // screen's rows below it.
    void setTopLine(qint64 line);
    qint64 topLine() const;
    // Rows of text the view shows (the screen's rows in live mode).
    int visibleLines() const;
    // The widget whose keyboard focus the cursor shows (filled block when focused).
    void setFocusOwner(QWidget *owner) { m_focusOwner = owner; }

    // The cell under a point of the widget; false outside the text.
    bool cellAt(const QPoint &point, Screen::Pos *pos) const;
    // The point of the graphics layer under a point of the widget, clamped to the layer, and
    // where a point of the layer is drawn.
    QPoint layerPointAt(const QPointF &point) const;
    QPointF viewPointOf(const QPoint &point) const;
    QSize sizeHint() const override;
    // Keeping its size, the live view asks for room for the whole screen (a scroll area around
    // it scrolls); otherwise it takes what it gets (the font is fitted to it).
    void setKeepsSize(bool keeps);
    QSize minimumSizeHint() const override;

    // Repaints what changed now (the update timer does this by itself).
    void flushDamage();

signals:
    // Before the view handles a press: set *handled to keep the view from selecting.
    void mousePressed(QMouseEvent *event, bool *handled);
    void doubleClicked(QMouseEvent *event, bool *handled);
    // The history gained or lost lines (for the owner's history pane).
    void historyChanged();
    void selectionFinished();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void onDamaged();
    void applyDamage();
    void paintLine(QPainter &painter, int y, qint64 line, const Cell *cells, int n, int cursorCol);
    void paintCells(QPainter &painter, int y, qint64 line, const Cell *cells, int n, int cursorCol);
    void paintRunText(QPainter &painter, int y, const Cell *cells, int col, int end, quint8 attr);
    const QRawFont &rawFontFor(quint8 attr);
    void paintStatusLine(QPainter &painter);
    void paintGraphics(QPainter &painter, const QRect &area);
    void paintCrosshair(QPainter &painter, const QPoint &at);
    // Pixels per point of the graphics layer, and the part of the view the layer covers.
    double graphicsScale() const;
    QRect graphicsRect() const;
    // The pixel a point of the layer is on (within the layer's part of the view).
    QPoint pixelOf(const QPoint &point) const;
    // Repaints the crosshair's lines where it was painted and where it is now.
    void updateCrosshair();
    // Rows the live view shows below the screen's rows (the status line).
    int extraRows() const;
    qint64 lineAtRow(int row) const;
    QRect rowRect(int row) const;
    void selectWordAt(const Screen::Pos &pos);

    Screen *m_screen;
    Mode m_mode;
    bool m_keepsSize = false;
    QFont m_font;
    QFont m_boldFont;
    // The terminal font's glyphs in its four faces (bold | italic << 1), made when first drawn.
    std::array<std::optional<QRawFont>, 4> m_rawFonts;
    int m_cellWidth = 8;
    int m_cellHeight = 16;
    int m_ascent = 12;
    std::array<QRgb, 256> m_colors {};
    std::array<quint8, 16> m_defaultCodes {};
    int m_cursorStyle = 0;
    QTimer m_timer;
    QPoint m_paintedCursor { -1, -1 };
    int m_extraRows = 0; // the rows below the screen the size hint last counted
    std::optional<QPoint> m_paintedCrosshair;
    qint64 m_topLine = 0;
    QWidget *m_focusOwner = nullptr;
    bool m_selecting = false;
    Screen::Pos m_anchor;
};

} // namespace emu
