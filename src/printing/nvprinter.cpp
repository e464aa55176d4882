#include "printing/nvprinter.h"

#include "app/msgbox.h"
#include "app/nvmain.h"
#include "print/device.h"
#include "print/printlog.h"
#include "print/spooler.h"
#include "runtime/errnum.h"
#include "runtime/screen.h"
#include "runtime/values.h"

#include <cmath>
#include <utility>

namespace {

constexpr rt::Int ScaleTwips = 1;
constexpr rt::Int ScalePixels = 3;
// Retry and Cancel with the exclamation icon.
constexpr rt::Int RetryCancelFlags = MsgBox::RetryCancel + MsgBox::Exclamation;
constexpr int MaxFaceNameLength = 31;
constexpr rt::Int BoldWeight = 700;
constexpr rt::Int NormalWeight = 400;

[[noreturn]] void fail(const QString &text)
{
    rt::raise(rt::err::PrinterFailure, text);
}

// Twips and device units convert rounding down.
rt::Long twipsOf(double device, int dpi)
{
    return rt::Long(std::floor(device * rt::TwipsPerInch / dpi));
}

rt::Long deviceOf(double twips, int dpi)
{
    return rt::Long(std::floor(twips * dpi / rt::TwipsPerInch));
}

// The brush of a style: 0 solid, 2 to 7 the six hatches, anything else hollow.
print::LogBrush brushOf(rt::Int style, rt::Long color)
{
    if (style == 0)
        return { 0, 0, color };
    if (style >= 2 && style <= 7)
        return { 2, style - 2, color };
    return { 1, 0, color };
}

// The driver name that the spooler's own printers carry; their port means nothing here.
bool isSpoolerDriver(const QString &driver)
{
    return driver.compare(QLatin1String("winspool"), Qt::CaseInsensitive) == 0;
}

} // namespace

nvPrinter::nvPrinter() = default;

nvPrinter::~nvPrinter()
{
    rt::ResumeNext quietly;
    quietly([this] { NVClose(); });
    rt::debugSwallowed(print::lcPrint(), quietly, "closing the printer object");
}

// --- Printer ------------------------------------------------------------------------------

::Papers &nvPrinter::Papers()
{
    if (!m_papersLoaded) {
        rt::ResumeNext quietly;
        quietly([this] { m_papers.LoadPapers(DeviceName(), m_port); });
        m_papersLoaded = true;
    }
    return m_papers;
}

::Bins &nvPrinter::Bins()
{
    if (!m_binsLoaded) {
        rt::ResumeNext quietly;
        quietly([this] { m_bins.LoadBins(DeviceName(), m_port); });
        m_binsLoaded = true;
    }
    return m_bins;
}

void nvPrinter::GetDefaultPrinter()
{
    const QString name = print::defaultPrinter();
    m_deviceName = name;
    if (name.isEmpty())
        return;
    for (const print::PrinterEntry &entry : print::printers()) {
        if (entry.name.compare(name, Qt::CaseInsensitive) == 0) {
            m_driverName = entry.driver;
            m_port = isSpoolerDriver(entry.driver) ? QString() : entry.port;
        }
    }
}

QString nvPrinter::DeviceName()
{
    if (!m_deviceName.isEmpty())
        return m_deviceName;
    GetDefaultPrinter();
    return std::exchange(m_deviceName, QString());
}

void nvPrinter::setDeviceName(const QString &value)
{
    const QString name = value.section(QStringLiteral(" on "), 0, 0);
    if (!name.isEmpty()) {
        bool installed = false;
        for (const print::PrinterEntry &entry : print::printers()) {
            if (!installed && entry.name.compare(name, Qt::CaseInsensitive) == 0) {
                installed = true;
                m_driverName = entry.driver;
                m_port = isSpoolerDriver(entry.driver) ? QString() : entry.port;
            }
        }
        if (!installed)
            fail(QStringLiteral("The printer is invalid"));
    }
    if (name.compare(m_deviceName, Qt::CaseInsensitive) != 0) {
        NVClose();
        m_papersLoaded = false;
        m_binsLoaded = false;
    }
    m_deviceName = name;
}

void nvPrinter::retryOrCancel(rt::Long number, const QString &text)
{
    qCDebug(print::lcPrint) << text;
    if (Nvmain::MessageBox(text, RetryCancelFlags) == MsgBox::Retry)
        return;
    AbortDoc();
    rt::raise(number, text);
}

void nvPrinter::OpenPrinterDevice()
{
    if (m_docName.isEmpty())
        m_docName = QStringLiteral("Print Job");
    // A retry looks for the default printer again: one may have been set up meanwhile.
    while (m_deviceName.isEmpty()) {
        GetDefaultPrinter();
        if (m_deviceName.isEmpty())
            retryOrCancel(
                rt::err::PrinterFailure, QStringLiteral("There are no printers available"));
    }
    std::optional<print::PrinterInfo> printer;
    while (!printer) {
        print::Failure failure;
        printer = print::openPrinter(m_deviceName, failure);
        if (!printer)
            retryOrCancel(failure.code, QStringLiteral("Could not open printer - ") + m_deviceName);
    }
    static rt::Long handles = 0;
    m_printerHandle = ++handles;
    m_driverName = printer->entry.driver;
    m_port = isSpoolerDriver(m_driverName) ? QString() : printer->entry.port;
    m_printer = std::make_unique<print::PrinterInfo>(std::move(*printer));
    m_deviceMode = std::make_unique<print::DeviceMode>(print::defaultMode(*m_printer));
    m_defaultOrientation = m_deviceMode->orientation;
    m_defaultPaperSize = m_deviceMode->paperSize;
    m_defaultBin = m_deviceMode->defaultSource;
}

void nvPrinter::CreatePrinterDC()
{
    if (m_printerHandle == 0)
        OpenPrinterDevice();
    static rt::Long handles = 0;
    m_dc = std::make_unique<print::DeviceContext>(*m_printer, *m_deviceMode);
    m_hdc = ++handles;
    setPaperSize(m_paperSize);
    setPaperBin(m_paperBin);
    setOrientation(m_orientation);
    applyPageSettings();
}

void nvPrinter::applyPageSettings()
{
    setScaleMode(m_scaleMode);
    setForeColor(m_foreColor);
    setBackColor(m_backColor);
    setDrawMode(m_drawMode);
    SelectFont(m_fontName, m_fontSize, m_fontBold, m_fontItalic);
    SelectPen(m_penStyle, m_penWidth, m_penColor);
    SelectBrush(m_brushStyle, m_brushColor);
}

void nvPrinter::StartDocument()
{
    needDC();
    m_job = m_dc->startDoc(m_docName);
}

void nvPrinter::StartPrinterPage()
{
    if (m_job == 0)
        StartDocument();
    if (m_pageState != 0)
        return;
    rt::ResumeNext quietly;
    quietly([this] {
        m_dc->startPage();
        applyPageSettings();
    });
    m_pageState = 1;
    m_pageToAsk = false;
    m_dc->moveTo(QPoint(0, 0));
}

void nvPrinter::EndPrinterPage(bool documentEnds)
{
    rt::ResumeNext quietly;
    if (!m_pending.isEmpty())
        quietly([this] { FlushText(); });
    if (m_pageState == 0)
        return;
    if (documentEnds && m_pageState == 1 && m_pageToAsk)
        m_dc->dropPage();
    else
        m_dc->endPage();
    m_pageState = 0;
}

void nvPrinter::NewPage()
{
    if (m_pageState != 0)
        EndPrinterPage();
    StartPrinterPage();
    m_page = rt::AddLong(m_page, 1);
}

print::DeviceContext &nvPrinter::needDC()
{
    if (!m_dc)
        CreatePrinterDC();
    return *m_dc;
}

print::DeviceContext &nvPrinter::needPage()
{
    if (m_pageState == 0)
        NewPage();
    return *m_dc;
}

print::DeviceContext &nvPrinter::needPageToAsk()
{
    if (m_pageState == 0) {
        NewPage();
        m_pageToAsk = true;
    }
    return *m_dc;
}

void nvPrinter::EndDoc()
{
    // Text still collected belongs to this document, even when nothing opened it yet.
    if (!m_pending.isEmpty()) {
        rt::ResumeNext quietly;
        quietly([this] { FlushText(); });
    }
    if (m_job == 0)
        return;
    EndPrinterPage(true);
    print::Failure failure;
    const bool sent = m_dc->endDoc(failure);
    m_job = 0;
    if (!sent)
        fail(QStringLiteral("The document could not be printed - ") + failure.text);
}

void nvPrinter::AbortDoc()
{
    m_pending.clear();
    if (m_job != 0) {
        m_dc->abortDoc();
        m_job = 0;
        m_pageState = 0;
        m_page = 0;
    }
    ReleasePrinter();
}

void nvPrinter::ReleasePrinter()
{
    if (m_dc)
        m_dc->selectStockObjects();
    m_fontSelected = m_penSelected = m_brushSelected = false;
    m_dc.reset();
    m_hdc = 0;
    if (m_printerHandle != 0) {
        m_printer.reset();
        m_printerHandle = 0;
    }
    m_docName.clear();
}

void nvPrinter::NVClose()
{
    rt::ResumeNext quietly;
    if (!m_pending.isEmpty())
        quietly([this] { FlushText(); });
    // A document the spooler refused is reported once everything is released.
    std::optional<rt::Error> refused;
    try {
        EndDoc();
    } catch (const rt::Error &error) {
        refused = error;
    }
    ReleasePrinter();
    if (refused)
        throw *refused;
}

// --- Device settings ----------------------------------------------------------------------

void nvPrinter::applyDeviceMode(rt::Int field, rt::Int value)
{
    rt::ResumeNext quietly;
    quietly([&] {
        print::DeviceMode mode = *m_deviceMode;
        rt::Int &current = field == print::FieldPaperSize ? mode.paperSize
            : field == print::FieldDefaultSource          ? mode.defaultSource
                                                          : mode.orientation;
        if (current == value)
            return;
        // The open page keeps the old settings; text not placed yet goes on the next page.
        if (m_pageState != 0)
            EndPrinterPage();
        current = value;
        mode.fields |= field;
        *m_deviceMode = mode;
        m_dc->reset(mode);
    });
}

void nvPrinter::setPaperSize(rt::Int id)
{
    if (id != 0 && !Papers().item(QString::number(id)))
        fail(QStringLiteral("Paper Size Not Supported"));
    m_paperSize = id;
    if (m_dc)
        applyDeviceMode(print::FieldPaperSize, id != 0 ? id : m_defaultPaperSize);
}

void nvPrinter::setPaperBin(rt::Int id)
{
    if (id != 0 && !Bins().item(QString::number(id)))
        fail(QStringLiteral("Bin Not Supported"));
    m_paperBin = id;
    if (m_dc)
        applyDeviceMode(print::FieldDefaultSource, id != 0 ? id : m_defaultBin);
}

void nvPrinter::setOrientation(rt::Long value)
{
    if (value < 0 || value > 2)
        fail(QStringLiteral("Invalid orientation"));
    m_orientation = value;
    const rt::Int effective = value != 0 ? rt::Int(value) : m_defaultOrientation;
    if (m_dc && (effective == print::Portrait || effective == print::Landscape))
        applyDeviceMode(print::FieldOrientation, effective);
}

void nvPrinter::setScaleMode(rt::Int mode)
{
    if (mode != ScaleTwips && mode != ScalePixels)
        fail(QStringLiteral("Invalid Scale Mode"));
    if (m_dc) {
        rt::ResumeNext quietly;
        quietly([&] {
            const bool changed = mode != m_scaleMode;
            const QPoint device = m_dc->lpToDp(m_dc->currentPosition());
            m_dc->setMapping(mode == ScaleTwips ? print::Mapping::Twips : print::Mapping::Pixels);
            if (!changed)
                return;
            m_scaleMode = mode;
            if (m_fontSelected)
                selectFontNow();
            m_dc->moveTo(m_dc->dpToLp(device));
        });
    }
    m_scaleMode = mode;
}

void nvPrinter::setForeColor(rt::Long color)
{
    if (m_dc)
        m_dc->setTextColor(color);
    m_foreColor = color;
}

void nvPrinter::setBackColor(rt::Long color)
{
    needDC().setBkColor(color);
    m_backColor = color;
}

void nvPrinter::setDrawMode(rt::Int mode)
{
    if (m_dc)
        m_dc->setRop2(mode);
    m_drawMode = mode;
}

void nvPrinter::selectFontNow()
{
    // The character height in device pixels, in logical units, negated.
    const rt::Long pixels = rt::CLng(double(m_fontSize) * m_dc->logPixelsY() / rt::PointsPerInch);
    const rt::Long height = -m_dc->dpToLp(QPoint(0, pixels)).y();
    const print::LogFont font { height, m_fontBold ? BoldWeight : NormalWeight, m_fontItalic,
        m_fontName.left(MaxFaceNameLength) };
    if (m_dc->selectFont(font))
        m_fontSelected = true;
}

void nvPrinter::SelectFont(const QString &name, rt::Int size, bool bold, bool italic)
{
    m_fontName = name;
    m_fontSize = size;
    m_fontBold = bold;
    m_fontItalic = italic;
    if (m_dc)
        selectFontNow();
}

void nvPrinter::SelectPen(rt::Int style, rt::Int width, rt::Long color)
{
    if (m_dc && m_dc->selectPen({ style, width, color }))
        m_penSelected = true;
    m_penStyle = style;
    m_penWidth = width;
    m_penColor = color;
}

void nvPrinter::SelectBrush(rt::Int style, rt::Long color)
{
    if (m_dc && m_dc->selectBrush(brushOf(style, color)))
        m_brushSelected = true;
    m_brushStyle = style;
    m_brushColor = color;
}

// --- Position and measures ----------------------------------------------------------------

rt::Long nvPrinter::CurrentX()
{
    print::DeviceContext &dc = needPageToAsk();
    return twipsOf(dc.lpToDp(dc.currentPosition()).x(), dc.logPixelsX());
}

rt::Long nvPrinter::CurrentY()
{
    print::DeviceContext &dc = needPageToAsk();
    return twipsOf(dc.lpToDp(dc.currentPosition()).y(), dc.logPixelsY());
}

void nvPrinter::setCurrentX(rt::Long twips)
{
    print::DeviceContext &dc = needPageToAsk();
    const int x = dc.dpToLp(QPoint(deviceOf(twips, dc.logPixelsX()), 0)).x();
    dc.moveTo(QPoint(x, dc.currentPosition().y()));
}

void nvPrinter::setCurrentY(rt::Long twips)
{
    print::DeviceContext &dc = needPageToAsk();
    const int y = dc.dpToLp(QPoint(0, deviceOf(twips, dc.logPixelsY()))).y();
    dc.moveTo(QPoint(dc.currentPosition().x(), y));
}

rt::Long nvPrinter::ScaleX()
{
    return needDC().currentPosition().x();
}

void nvPrinter::setScaleX(rt::Long x)
{
    print::DeviceContext &dc = needDC();
    dc.moveTo(QPoint(x, dc.currentPosition().y()));
}

rt::Long nvPrinter::ScaleY()
{
    return needDC().currentPosition().y();
}

void nvPrinter::setScaleY(rt::Long y)
{
    print::DeviceContext &dc = needDC();
    dc.moveTo(QPoint(dc.currentPosition().x(), y));
}

rt::Long nvPrinter::ScaleWidth()
{
    print::DeviceContext &dc = needDC();
    return dc.dpToLp(QPoint(dc.horzRes(), 0)).x();
}

rt::Long nvPrinter::ScaleHeight()
{
    print::DeviceContext &dc = needDC();
    return dc.dpToLp(QPoint(0, dc.vertRes())).y();
}

rt::Long nvPrinter::Width()
{
    print::DeviceContext &dc = needDC();
    return twipsOf(dc.horzRes(), dc.logPixelsX());
}

rt::Long nvPrinter::Height()
{
    print::DeviceContext &dc = needDC();
    return twipsOf(dc.vertRes(), dc.logPixelsY());
}

float nvPrinter::TwipsPerPixelX()
{
    return float(rt::TwipsPerInch) / float(needDC().logPixelsX());
}

float nvPrinter::TwipsPerPixelY()
{
    return float(rt::TwipsPerInch) / float(needDC().logPixelsY());
}

rt::Long nvPrinter::TextWidth(const QString &text)
{
    return needDC().textExtent(text).width();
}

rt::Long nvPrinter::TextHeight(const QString &text)
{
    return needDC().textExtent(text).height();
}

rt::Long nvPrinter::Page()
{
    needPageToAsk();
    return m_page;
}

void nvPrinter::ShowDialog()
{
    rt::raise(rt::err::NotImplemented, QStringLiteral("Not implemented"));
}

// --- Output -------------------------------------------------------------------------------

void nvPrinter::NVPrint(const QString &text, quint8 flags)
{
    for (qsizetype at = 0; at < text.size();) {
        const int run = print::FindControlChar(QStringView(text).mid(at));
        m_pending += QStringView(text).mid(at, run);
        at += run;
        if (at == text.size())
            break;
        switch (text.at(at).unicode()) {
        case '\n':
            PrintLF();
            break;
        case '\f':
            PrintFF();
            break;
        case '\r':
            PrintCR();
            break;
        default:
            break;
        }
        ++at;
    }
    if (flags & 1)
        PrintCR();
    if (flags & 2)
        PrintLF();
    if (flags & 4)
        PrintFF();
}

// The collected text where the current position is; the position moves past it.
void nvPrinter::FlushText()
{
    if (m_pending.isEmpty())
        return;
    print::DeviceContext &dc = needPage();
    rt::ResumeNext quietly;
    quietly([&] {
        const QPoint at = dc.currentPosition();
        dc.textOut(at.x(), at.y(), m_pending);
        dc.moveTo(QPoint(at.x() + dc.textExtent(m_pending).width(), at.y()));
    });
    m_pending.clear();
    m_pageState = 2;
}

void nvPrinter::PrintCR()
{
    FlushText();
    setCurrentX(0);
}

// Down one line of the font, keeping the column. When the next line would not fit above the
// bottom, the page ends (a line may not start in the last line's height and be cut off).
void nvPrinter::PrintLF()
{
    FlushText();
    print::DeviceContext &dc = needPageToAsk();
    const QPoint at = dc.currentPosition();
    const int lineHeight = dc.textExtent(QStringLiteral("A")).height();
    dc.moveTo(QPoint(at.x(), at.y() + lineHeight));
    if (Height() < CurrentY() + TextHeight(QStringLiteral("A")))
        PrintFF();
}

void nvPrinter::PrintFF()
{
    if (m_pageState != 0)
        EndPrinterPage();
    else
        NewPage();
}

void nvPrinter::DrawBox(rt::Long x1, rt::Long y1, rt::Long x2, rt::Long y2, rt::Int relative,
    rt::Int outline, rt::Int fill)
{
    print::DeviceContext &dc = needPage();
    rt::ResumeNext quietly;
    quietly([&] {
        QPoint a(x1, y1);
        QPoint b(x2, y2);
        if (relative != 0) {
            a += dc.currentPosition();
            b += dc.currentPosition();
        }
        if (outline != 0 && fill != 0) {
            dc.rectangle(a, b);
        } else if (outline != 0) {
            dc.moveTo(a);
            for (const QPoint corner : { QPoint(b.x(), a.y()), b, QPoint(a.x(), b.y()), a })
                dc.lineTo(corner);
        } else if (fill != 0) {
            dc.patBlt(a, b);
        }
    });
    m_pageState = 2;
}
