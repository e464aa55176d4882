#pragma once
// A printer device context: the pages of one printer and the drawing on them, in the manner of the
// classic printing interface the program was written for, drawn with QPainter into a PDF document
// (Qt's PDF engine, the same one Qt's own printing sends to CUPS) and handed to the spooler when
// the document ends.
//
// Coordinates are logical units: device pixels at the printer's resolution, or twips (1/1440
// inch) with the twips mapping; x grows to the right and y downward from the top left corner of
// the printable area. Colours are 0x00BBGGRR values.
//
// Pages: startPage opens a page; the page comes into the document with the first drawing on it,
// or blank when endPage ends it without any. dropPage leaves an open page that has nothing on it
// out, so a query that opened a page does not add a blank sheet. A document without pages sends
// no job. A change of paper, orientation or source (reset) applies from the next page on; the
// job as a whole goes to the paper source of its first page.

#include "print/spooler.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPoint>
#include <QSize>
#include <QString>
#include <memory>
#include <optional>

class QPdfWriter;

namespace print {

// The settings a device context prints with.
struct DeviceMode
{
    Id orientation = Portrait;
    Id paperSize = 0; // 0 or a paper the printer lacks: the printer's default paper
    Id defaultSource = 0; // 0: the printer's own choice
    qint32 fields = 0; // which of the three were set
};
constexpr qint32 FieldOrientation = 0x1;
constexpr qint32 FieldPaperSize = 0x2;
constexpr qint32 FieldDefaultSource = 0x200;

// A printer's own settings.
DeviceMode defaultMode(const PrinterInfo &printer);

// Fonts by face name. A face that is not installed is matched by the system's font
// configuration; the common fixed-pitch faces of other systems ("Courier New", "Courier",
// "Lucida Console" ...) then fall back to a monospaced face.
struct LogFont
{
    qint32 height = 0; // logical units; negative: the character height, positive: the cell
    qint32 weight = 400; // 400 normal, 700 bold
    bool italic = false;
    QString faceName;
};

// Pen styles: 0 solid, 1 dash, 2 dot, 3 dash-dot, 4 dash-dot-dot, 5 none, 6 inside frame. Widths
// 0 and 1 draw the finest line the device has; a wider pen draws the dashed styles solid.
struct LogPen
{
    int style = 0;
    qint32 width = 0;
    qint32 color = 0;
};

// Brush styles: 0 solid, 1 none, 2 hatched with hatch 0 horizontal, 1 vertical, 2 forward
// diagonal, 3 backward diagonal, 4 cross, 5 diagonal cross.
struct LogBrush
{
    int style = 0;
    int hatch = 0;
    qint32 color = 0xFFFFFF;
};

enum class Mapping { Pixels, Twips };

class DeviceContext
{
public:
    DeviceContext(PrinterInfo printer, const DeviceMode &mode);
    ~DeviceContext();
    DeviceContext(const DeviceContext &) = delete;
    DeviceContext &operator=(const DeviceContext &) = delete;

    const PrinterInfo &printer() const { return m_printer; }
    const DeviceMode &mode() const { return m_mode; }
    // A new paper, orientation or source, from the next page on.
    void reset(const DeviceMode &mode);

    // Dots per inch, and the printable area in device pixels, of the current page layout.
    int logPixelsX() const { return m_printer.resolution; }
    int logPixelsY() const { return m_printer.resolution; }
    int horzRes() const;
    int vertRes() const;

    void setMapping(Mapping mapping);
    Mapping mapping() const { return m_mapping; }
    QPoint lpToDp(QPoint logical) const;
    QPoint dpToLp(QPoint device) const;
    QPoint currentPosition() const { return m_position; }
    void moveTo(QPoint logical) { m_position = logical; }

    // The job's number (a positive count of this process) when the document could start.
    qint32 startDoc(const QString &docName);
    bool inDocument() const { return m_buffer != nullptr; }
    void startPage();
    void endPage();
    void dropPage();
    // Sends the document; false with failure when the spooler refused it (the document is gone
    // either way).
    bool endDoc(Failure &failure);
    void abortDoc();
    // Pages that came into the current document so far.
    int pagesDrawn() const { return m_pagesDrawn; }

    void setTextColor(qint32 color);
    void setBkColor(qint32 color);
    // A raster operation; PDF output knows only plain copying, others leave a debug line.
    void setRop2(int rop);
    // False when the description is not a valid one (the current one stays).
    bool selectFont(const LogFont &font);
    bool selectPen(const LogPen &pen);
    bool selectBrush(const LogBrush &brush);
    // The stock objects: no pen, no brush, the device's default font.
    void selectStockObjects();

    void textOut(int x, int y, const QString &text);
    // Advance width and cell height of text in the selected font, logical units.
    QSize textExtent(const QString &text) const;
    void lineTo(QPoint logical);
    // The area between two corners, outlined with the pen and filled with the brush.
    void rectangle(QPoint corner1, QPoint corner2);
    // The area between two corners filled with the brush alone.
    void patBlt(QPoint corner1, QPoint corner2);

    // The font that text is drawn with (after the fallbacks above).
    const QFont &font() const { return m_font; }

private:
    QPageLayout pageLayout() const;
    bool drawOn(); // makes the open page real; false when there is none
    void applyState();
    void refreshTools(); // the pen and brush for the current mapping
    void setFont(const QFont &font);
    QPen textPen() const;

    PrinterInfo m_printer;
    DeviceMode m_mode;
    DeviceMode m_firstPageMode;
    Mapping m_mapping = Mapping::Pixels;
    QPoint m_position;

    std::unique_ptr<QBuffer> m_buffer; // the document being drawn
    std::unique_ptr<QPdfWriter> m_writer;
    QPainter m_painter;
    QString m_docName;
    bool m_pageOpen = false;
    bool m_pageDrawn = false;
    int m_pagesDrawn = 0;

    qint32 m_textColor = 0;
    qint32 m_bkColor = 0xFFFFFF;
    QSize m_printable; // of the current page layout, device pixels
    QFont m_font;
    QBuffer m_metricsBuffer; // never written: the measuring device's output
    std::unique_ptr<QPdfWriter> m_metrics;
    std::optional<QFontMetricsF> m_fontMetrics;
    LogPen m_logPen;
    LogBrush m_logBrush;
    QPen m_pen;
    QBrush m_brush;
};

// The number of characters of text before its first control character (a code below 32), or
// its length when it holds none.
int FindControlChar(QStringView text);

} // namespace print
