#include "print/device.h"

#include "print/printlog.h"
#include "runtime/screen.h"

#include <QColor>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPdfWriter>

#include <cmath>
#include <cstdlib>

namespace print {

namespace {

constexpr int CopyPen = 13;
constexpr int DefaultFontPoints = 10;
constexpr int ScreenDpi = 96;
constexpr int NullPen = 5;
constexpr int NullBrush = 1;

// Pen styles by code; the last is the inside-frame pen, drawn solid.
constexpr Qt::PenStyle PenStyles[] = { Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine,
    Qt::DashDotDotLine, Qt::NoPen, Qt::SolidLine };

constexpr Qt::BrushStyle Hatches[] = { Qt::HorPattern, Qt::VerPattern, Qt::FDiagPattern,
    Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern };

// Fixed-pitch faces of other systems that programs ask for by name.
const char *const FixedPitchFaces[] = { "Courier New", "Courier", "Lucida Console", "Consolas",
    "Lucida Sans Typewriter", "Terminal", "Fixedsys" };

QColor colorOf(qint32 colorref)
{
    return QColor(colorref & 0xFF, (colorref >> 8) & 0xFF, (colorref >> 16) & 0xFF);
}

bool isFixedPitchFace(const QString &face)
{
    for (const char *name : FixedPitchFaces)
        if (face.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QFont fontOf(const LogFont &log)
{
    QFont font(log.faceName);
    if (isFixedPitchFace(log.faceName) && !QFontDatabase::hasFamily(log.faceName))
        font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(std::max(1, std::abs(log.height)));
    font.setWeight(QFont::Weight(std::clamp(log.weight == 0 ? 400 : log.weight, 1, 1000)));
    font.setItalic(log.italic);
    if (log.height > 0) {
        // A cell height: the font whose ascent and descent together take it.
        const QFontMetricsF metrics(font);
        if (metrics.height() > 0)
            font.setPixelSize(std::max(1, qRound(log.height * log.height / metrics.height())));
    }
    return font;
}

} // namespace

DeviceMode defaultMode(const PrinterInfo &printer)
{
    return { printer.defaultOrientation, printer.defaultPaper, printer.defaultBin, 0 };
}

DeviceContext::DeviceContext(PrinterInfo printer, const DeviceMode &mode)
    : m_printer(std::move(printer))
    , m_mode(mode)
    , m_metrics(std::make_unique<QPdfWriter>(&m_metricsBuffer))
{
    m_metrics->setResolution(m_printer.resolution);
    m_printable = pageLayout().paintRectPixels(m_printer.resolution).size();
    const int points = qRound(DefaultFontPoints * logPixelsY() / rt::PointsPerInch);
    setFont(fontOf({ -points, 400, false, QStringLiteral("Courier New") }));
    refreshTools();
}

void DeviceContext::setFont(const QFont &font)
{
    m_font = font;
    m_fontMetrics.emplace(m_font, m_metrics.get());
    if (m_painter.isActive())
        m_painter.setFont(m_font);
}

DeviceContext::~DeviceContext()
{
    abortDoc();
}

void DeviceContext::reset(const DeviceMode &mode)
{
    m_mode = mode;
    m_printable = pageLayout().paintRectPixels(m_printer.resolution).size();
}

QPageLayout DeviceContext::pageLayout() const
{
    const Media *media = m_printer.paper(m_mode.paperSize);
    if (!media)
        media = m_printer.paper(m_printer.defaultPaper);
    const QPageSize size = media
        ? QPageSize(media->size, QPageSize::Millimeter, media->name, QPageSize::ExactMatch)
        : QPageSize(QPageSize::A4);
    const auto orientation
        = m_mode.orientation == Landscape ? QPageLayout::Landscape : QPageLayout::Portrait;
    return QPageLayout(size, orientation, m_printer.margins, QPageLayout::Millimeter);
}

int DeviceContext::horzRes() const
{
    return m_printable.width();
}

int DeviceContext::vertRes() const
{
    return m_printable.height();
}

void DeviceContext::setMapping(Mapping mapping)
{
    m_mapping = mapping;
    refreshTools();
    if (m_painter.isActive())
        applyState();
}

// Dashes and hatches are as wide as on a screen of 96 dots per inch, whatever the printer's
// resolution: drawn in the printer's own pixels they would look solid grey on paper.
void DeviceContext::refreshTools()
{
    const double screenPixel = double(logPixelsX()) / ScreenDpi;
    Qt::PenStyle style = PenStyles[m_logPen.style];
    const bool hairline = m_logPen.width <= 1;
    if (!hairline && style != Qt::NoPen)
        style = Qt::SolidLine;
    m_pen = QPen(
        colorOf(m_logPen.color), hairline ? 0 : m_logPen.width, style, Qt::RoundCap, Qt::RoundJoin);
    if (hairline && style != Qt::SolidLine && style != Qt::NoPen) {
        QList<qreal> dashes = QPen(Qt::black, 1, style).dashPattern();
        for (qreal &dash : dashes)
            dash *= screenPixel;
        m_pen.setDashPattern(dashes);
    }
    switch (m_logBrush.style) {
    case 0:
        m_brush = QBrush(colorOf(m_logBrush.color));
        break;
    case 2: {
        m_brush = QBrush(colorOf(m_logBrush.color), Hatches[m_logBrush.hatch]);
        const double unit
            = m_mapping == Mapping::Twips ? double(rt::TwipsPerInch) / ScreenDpi : screenPixel;
        m_brush.setTransform(QTransform::fromScale(unit, unit));
        break;
    }
    default:
        m_brush = QBrush(Qt::NoBrush);
        break;
    }
    if (m_painter.isActive()) {
        m_painter.setPen(m_pen);
        m_painter.setBrush(m_brush);
    }
}

QPoint DeviceContext::lpToDp(QPoint logical) const
{
    if (m_mapping == Mapping::Pixels)
        return logical;
    return QPoint(qRound(double(logical.x()) * logPixelsX() / rt::TwipsPerInch),
        qRound(double(logical.y()) * logPixelsY() / rt::TwipsPerInch));
}

QPoint DeviceContext::dpToLp(QPoint device) const
{
    if (m_mapping == Mapping::Pixels)
        return device;
    return QPoint(qRound(double(device.x()) * rt::TwipsPerInch / logPixelsX()),
        qRound(double(device.y()) * rt::TwipsPerInch / logPixelsY()));
}

qint32 DeviceContext::startDoc(const QString &docName)
{
    static qint32 jobs = 0;
    abortDoc();
    m_buffer = std::make_unique<QBuffer>();
    m_buffer->open(QIODevice::WriteOnly);
    m_writer = std::make_unique<QPdfWriter>(m_buffer.get());
    m_writer->setResolution(m_printer.resolution);
    m_writer->setTitle(docName);
    m_writer->setCreator(QStringLiteral("Norvalis"));
    m_docName = docName;
    m_pagesDrawn = 0;
    return ++jobs;
}

void DeviceContext::startPage()
{
    if (!inDocument())
        return;
    m_pageOpen = true;
    m_pageDrawn = false;
}

bool DeviceContext::drawOn()
{
    if (!m_pageOpen)
        return false;
    if (m_pageDrawn)
        return true;
    m_writer->setPageLayout(pageLayout());
    if (m_painter.isActive()) {
        m_writer->newPage();
    } else {
        if (!m_painter.begin(m_writer.get())) {
            qCDebug(lcPrint) << "The PDF document for" << m_printer.entry.name << "could not start";
            return false;
        }
        m_firstPageMode = m_mode;
    }
    m_pageDrawn = true;
    ++m_pagesDrawn;
    applyState();
    return true;
}

void DeviceContext::endPage()
{
    drawOn();
    m_pageOpen = false;
}

void DeviceContext::dropPage()
{
    m_pageOpen = false;
}

bool DeviceContext::endDoc(Failure &failure)
{
    if (!inDocument())
        return true;
    m_pageOpen = false;
    const bool drawn = m_painter.isActive();
    if (drawn)
        m_painter.end();
    const QByteArray pdf = m_buffer->data();
    m_writer.reset();
    m_buffer.reset();
    if (!drawn)
        return true;
    return submitJob(m_printer, m_docName, pdf, m_firstPageMode.paperSize,
               m_firstPageMode.defaultSource, failure)
        != 0;
}

void DeviceContext::abortDoc()
{
    m_pageOpen = false;
    if (m_painter.isActive())
        m_painter.end();
    m_writer.reset();
    m_buffer.reset();
}

void DeviceContext::applyState()
{
    const double scale
        = m_mapping == Mapping::Twips ? double(logPixelsY()) / rt::TwipsPerInch : 1.0;
    m_painter.setWorldTransform(QTransform::fromScale(
        m_mapping == Mapping::Twips ? double(logPixelsX()) / rt::TwipsPerInch : 1.0, scale));
    m_painter.setFont(m_font);
    m_painter.setPen(m_pen);
    m_painter.setBrush(m_brush);
    m_painter.setRenderHint(QPainter::NonCosmeticBrushPatterns);
    m_painter.setBackgroundMode(Qt::OpaqueMode);
    m_painter.setBackground(colorOf(m_bkColor));
}

void DeviceContext::setTextColor(qint32 color)
{
    m_textColor = color;
}

void DeviceContext::setBkColor(qint32 color)
{
    m_bkColor = color;
    if (m_painter.isActive())
        m_painter.setBackground(colorOf(color));
}

void DeviceContext::setRop2(int rop)
{
    if (rop != CopyPen)
        qCDebug(lcPrint) << "Raster operation" << rop << "draws as a plain copy on"
                         << m_printer.entry.name;
}

bool DeviceContext::selectFont(const LogFont &font)
{
    if (font.height == 0 && font.faceName.isEmpty())
        return false;
    setFont(fontOf(font));
    return true;
}

bool DeviceContext::selectPen(const LogPen &pen)
{
    if (pen.style < 0 || pen.style >= int(std::size(PenStyles)) || pen.width < 0)
        return false;
    m_logPen = pen;
    refreshTools();
    return true;
}

bool DeviceContext::selectBrush(const LogBrush &brush)
{
    if (brush.style < 0 || brush.style > 2
        || (brush.style == 2 && (brush.hatch < 0 || brush.hatch >= int(std::size(Hatches)))))
        return false;
    m_logBrush = brush;
    refreshTools();
    return true;
}

void DeviceContext::selectStockObjects()
{
    m_logPen = { NullPen, 0, 0 };
    m_logBrush = { NullBrush, 0, 0 };
    const int points = qRound(DefaultFontPoints * logPixelsY() / rt::PointsPerInch);
    setFont(fontOf({ -points, 400, false, QStringLiteral("Courier New") }));
    refreshTools();
}

QPen DeviceContext::textPen() const
{
    return QPen(colorOf(m_textColor));
}

void DeviceContext::textOut(int x, int y, const QString &text)
{
    if (text.isEmpty() || !drawOn())
        return;
    m_painter.setPen(textPen());
    m_painter.drawText(QPointF(x, y + m_fontMetrics->ascent()), text);
    m_painter.setPen(m_pen);
}

QSize DeviceContext::textExtent(const QString &text) const
{
    return QSize(qRound(m_fontMetrics->horizontalAdvance(text)), qRound(m_fontMetrics->height()));
}

void DeviceContext::lineTo(QPoint logical)
{
    if (drawOn())
        m_painter.drawLine(m_position, logical);
    m_position = logical;
}

void DeviceContext::rectangle(QPoint corner1, QPoint corner2)
{
    if (drawOn())
        m_painter.drawRect(QRectF(corner1, corner2).normalized());
}

void DeviceContext::patBlt(QPoint corner1, QPoint corner2)
{
    if (drawOn())
        m_painter.fillRect(QRectF(corner1, corner2).normalized(), m_brush);
}

int FindControlChar(QStringView text)
{
    for (int i = 0; i < text.size(); ++i)
        if (text.at(i).unicode() < 32)
            return i;
    return int(text.size());
}

} // namespace print
