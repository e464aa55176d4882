// The emulator control: printer mode, print jobs, the host's print requests and capture.

#include "emulator/emulator.h"

#include "emulator/capturefile.h"
#include "emulator/emulator_internal.h"
#include "emulator/emulog.h"
#include "emulator/printerjob.h"

#include <QDir>
#include <QFileInfo>

namespace emu {

using detail::fail;
using detail::trimmedRight;

namespace {

constexpr qint64 hostPrintIntervalMs = 1000;

} // namespace

// --- Printer -------------------------------------------------------------------------------

PrintOptions nvEmulator::printOptions() const
{
    PrintOptions options;
    options.printerName = m_settings->PrinterName();
    options.fontName = m_settings->PrinterFontName();
    options.fontSize = m_settings->PrinterFontSize();
    options.bold = m_settings->PrinterFontBold() != 0;
    options.italic = m_settings->PrinterFontItalic() != 0;
    options.orientation = m_settings->PrinterOrientation();
    options.paperSize = m_settings->PrinterPaperSize();
    options.paperSource = m_settings->PrinterPaperSource();
    options.pdfDirectory = m_settings->DefaultCaptureDir();
    if (!m_caption.isEmpty())
        options.title = m_caption;
    return options;
}

void nvEmulator::printData(QByteArrayView bytes)
{
    if (!captureData(2, bytes))
        return;
    if (!m_printJob)
        m_printJob = std::make_unique<PrinterJob>(hostEncoding());
    // A job the host never ends holds what it can (printerjob.h); the rest is left out until it
    // ends.
    m_printJob->add(bytes);
    const int timeout = m_settings->PrinterTimeout();
    if (timeout > 0)
        m_printTimer.start(timeout * 1000);
    updatePrinterState();
}

void nvEmulator::updatePrinterState()
{
    const Int state = (m_printerMode != 0 || m_controllerActive) ? printerstate::On
        : m_printJob                                             ? printerstate::Idle
                                                                 : printerstate::Off;
    if (state == m_printerState)
        return;
    m_printerState = state;
    if (!m_shutdown)
        emit PrinterChange(state);
}

void nvEmulator::closePrintJob(bool raiseErrors)
{
    m_printTimer.stop();
    std::unique_ptr<PrinterJob> job = std::move(m_printJob);
    if (!survives([this] { updatePrinterState(); }) || !job || job->isEmpty())
        return;
    try {
        m_lastPrintTarget = job->print(printOptions());
        if (!m_shutdown)
            emit StatusChange(QStringLiteral("Printed to ") + m_lastPrintTarget);
    } catch (const rt::Error &error) {
        if (raiseErrors)
            fail(emuerror::PrintFailed, error.description);
        qCDebug(lcEmulator) << "print job failed, shown on the status line:" << error.description;
        if (!m_shutdown)
            emit StatusChange(
                emuerror::text(emuerror::PrintFailed) + QStringLiteral(": ") + error.description);
    }
}

void nvEmulator::PrinterOn(Int transparent)
{
    m_printerMode = transparent ? 2 : 1;
    updatePrinterState();
}

void nvEmulator::PrinterOff()
{
    m_printerMode = 0;
    updatePrinterState();
}

void nvEmulator::PrinterClose()
{
    closePrintJob(true);
}

QStringList nvEmulator::screenLines() const
{
    QStringList lines;
    for (int r = 0; r < m_screen->rows(); ++r)
        lines << trimmedRight(m_screen->rowText(r));
    return lines;
}

// A host prints at most once a second, whatever it prints (the screen, a job of its print
// controller): what it asks for in between is logged and dropped, so that a host cannot fill
// the printer or the disk with jobs.
bool nvEmulator::admitHostPrint(const char *what)
{
    if (m_hostPrintClock.isValid() && m_hostPrintClock.elapsed() < hostPrintIntervalMs) {
        if (m_hostPrintsDropped++ == 0)
            qCInfo(lcEmulator) << "the host's print jobs within a second of its last are dropped:"
                               << what;
        else
            qCDebug(lcEmulator) << "the host's" << what << "dropped";
        return false;
    }
    if (m_hostPrintsDropped > 0)
        qCInfo(lcEmulator) << m_hostPrintsDropped << "of the host's print jobs were dropped";
    m_hostPrintClock.start();
    m_hostPrintsDropped = 0;
    return true;
}

// The print controller's start: a job the rate refuses is not printed, and its data is taken
// out of the stream all the same (it is not for the screen).
void nvEmulator::beginControllerJob()
{
    m_controllerActive = admitHostPrint("print controller job");
    m_controllerDropped = 0;
    updatePrinterState();
}

void nvEmulator::controllerData(QByteArrayView bytes)
{
    if (m_controllerActive)
        printData(bytes);
    else
        m_controllerDropped += bytes.size();
}

// The host's print job ends with its controller sequence.
void nvEmulator::endControllerJob()
{
    if (!m_controllerActive) {
        qCDebug(lcEmulator) << "a dropped print controller job ended:" << m_controllerDropped
                            << "bytes";
        return;
    }
    m_controllerActive = false;
    closePrintJob(false);
}

void nvEmulator::onHostPrintScreen()
{
    if (!admitHostPrint("print screen"))
        return;
    rt::ResumeNext quietly;
    if (!quietly([this] { PrintScreen(); })) {
        qCDebug(lcEmulator) << "the host's print-screen failed, shown on the status line:"
                            << quietly.error().description;
        emit StatusChange(quietly.error().description);
    }
}

void nvEmulator::PrintScreen()
{
    PrinterJob job;
    for (const QString &line : screenLines())
        job.addLine(line);
    try {
        m_lastPrintTarget = job.print(printOptions());
    } catch (const rt::Error &error) {
        fail(emuerror::PrintFailed, error.description);
    }
    emit StatusChange(QStringLiteral("Printed to ") + m_lastPrintTarget);
}

// --- Capture -------------------------------------------------------------------------------

void nvEmulator::Capture(const QString &fileName, Int source, Int mode)
{
    if (source != 1 && source != 2)
        fail(emuerror::BadCaptureSource);
    if (m_capture)
        fail(emuerror::Busy, QStringLiteral("a capture is running"));
    QString path = fileName;
    const QString dir = m_settings->DefaultCaptureDir();
    if (mode != 3 && QFileInfo(path).isRelative() && !dir.isEmpty())
        path = QDir(dir).filePath(path);
    m_capture = std::make_unique<CaptureFile>(path, mode, hostEncoding());
    m_captureSource = source;
    emit CaptureChange(rt::True);
}

void nvEmulator::CaptureEnd()
{
    stopCapture();
}

void nvEmulator::stopCapture()
{
    if (!m_capture)
        return;
    std::unique_ptr<CaptureFile> capture = std::move(m_capture);
    m_captureSource = 0;
    capture->finish();
    if (!m_shutdown)
        emit CaptureChange(rt::False);
}

bool nvEmulator::captureData(int source, QByteArrayView bytes)
{
    if (!m_capture || m_captureSource != source || m_capture->write(bytes))
        return true;
    const QString name = m_capture->fileName();
    return survives([this] { stopCapture(); },
        [&] {
            emit StatusChange(QStringLiteral("Capture stopped: %1 cannot be written").arg(name));
        });
}

Int nvEmulator::CaptureMode() const
{
    return m_capture ? Int(m_capture->mode()) : Int(0);
}

Int nvEmulator::CaptureSource() const
{
    return m_captureSource;
}

QString nvEmulator::CaptureFileName() const
{
    return m_capture && m_capture->mode() != 3 ? m_capture->fileName() : QString();
}

} // namespace emu
